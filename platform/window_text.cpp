// Windows-1251 <-> UTF-8 for window titles and the clipboard.
#include "platform/window_text.h"

#include <cstdint>

namespace orva::platform {

namespace {

// Unicode code points of the bytes 0x80-0xFF (0 for 0x98, which the code page leaves
// unassigned).
constexpr uint16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

void AppendUtf8(std::string* out, uint32_t code) {
    if (code < 0x80) {
        out->push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (code >> 6)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (code >> 12)));
        out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

uint32_t Cp1251ToUnicode(uint8_t byte) { return byte < 0x80 ? byte : kHigh[byte - 0x80]; }

int UnicodeToCp1251(uint32_t code) {
    if (code < 0x80) return static_cast<int>(code);
    if (code >= 0x410 && code <= 0x44F) return static_cast<int>(code - 0x410 + 0xC0);
    for (int k = 0; k < 64; ++k)
        if (kHigh[k] != 0 && kHigh[k] == code) return 0x80 + k;
    return -1;
}

std::string Cp1251ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        uint8_t byte = static_cast<uint8_t>(c);
        uint32_t code = Cp1251ToUnicode(byte);
        AppendUtf8(&out, code != 0 || byte == 0 ? code : 0xFFFD);
    }
    return out;
}

int Utf8SequenceAt(const char* p, size_t available, uint32_t* code) {
    if (p == nullptr || available < 2) return 0;
    const auto* b = reinterpret_cast<const uint8_t*>(p);
    int length = 0;
    uint32_t cp = 0, least = 0;
    if (b[0] >= 0xC2 && b[0] <= 0xDF) {
        length = 2;
        cp = b[0] & 0x1Fu;
        least = 0x80;
    } else if (b[0] >= 0xE0 && b[0] <= 0xEF) {
        length = 3;
        cp = b[0] & 0x0Fu;
        least = 0x800;
    } else if (b[0] >= 0xF0 && b[0] <= 0xF4) {
        length = 4;
        cp = b[0] & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (static_cast<size_t>(length) > available) return 0;
    for (int k = 1; k < length; ++k) {
        if ((b[k] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b[k] & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    if (code != nullptr) *code = cp;
    return length;
}

std::string ProgramTextToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        if (const int n = Utf8SequenceAt(text.data() + i, text.size() - i, nullptr); n > 0) {
            out.append(text.data() + i, static_cast<size_t>(n));
            i += static_cast<size_t>(n);
            continue;
        }
        const auto byte = static_cast<uint8_t>(text[i++]);
        const uint32_t code = Cp1251ToUnicode(byte);
        AppendUtf8(&out, code != 0 || byte == 0 ? code : 0xFFFD);
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        uint8_t lead = static_cast<uint8_t>(text[i]);
        uint32_t code = 0;
        size_t length = 0;
        if (lead < 0x80) {
            code = lead;
            length = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            length = 2;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            length = 3;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07;
            length = 4;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back('?');
            ++i;
            continue;
        }
        i += length;
        int mapped = UnicodeToCp1251(code);
        out.push_back(mapped < 0 ? '?' : static_cast<char>(mapped));
    }
    return out;
}

}  // namespace orva::platform
