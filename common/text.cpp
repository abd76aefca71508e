#include "common/text.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace orva {

void TextCopyBounded(char* out, const char* text, int* size) {
    if (out == nullptr || size == nullptr) return;
    if (*size <= 0) {
        *size = 0;
        return;
    }
    size_t room = static_cast<size_t>(*size) - 1;
    size_t n = text ? strnlen(text, room) : 0;
    std::memcpy(out, text ? text : "", n);
    out[n] = '\0';
    *size = static_cast<int>(n);
}

void TextAppendBounded(char* out, const char* text, int* size) {
    if (out == nullptr || size == nullptr) return;
    if (*size <= 0) {
        *size = 0;
        return;
    }
    size_t room = static_cast<size_t>(*size) - 1;
    size_t have = strnlen(out, static_cast<size_t>(*size));
    if (have >= room) {
        // Full already (or not terminated within the buffer): nothing changes.
        *size = static_cast<int>(have > room ? room : have);
        return;
    }
    size_t n = text ? strnlen(text, room - have) : 0;
    std::memcpy(out + have, text ? text : "", n);
    out[have + n] = '\0';
    *size = static_cast<int>(have + n);
}

char* TextDupN(const char* text, int n) {
    if (text == nullptr || text[0] == '\0' || n == 0) return nullptr;
    size_t length = n < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(n));
    char* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

void TextFree(char* text) { std::free(text); }

char* StrCopy(char* out, const char* text) {
    if (out == nullptr) return nullptr;
    if (text == nullptr) {
        out[0] = '\0';
        return out;
    }
    return std::strcpy(out, text);
}

size_t StrLen(const char* text) { return text ? std::strlen(text) : 0; }

int TextPrintableLength(const char* text) {
    if (text == nullptr) return 0;
    int n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, ++n)
        if ((*p < 0x20 && *p != '\t') || *p == 127) break;
    return n;
}

int FileNameCharsLength(const char* text) {
    if (text == nullptr) return 0;
    int n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, ++n)
        if (*p < 0x20 || std::strchr("\"\\/><*?|", *p)) break;
    return n;
}

void TextTabsToBlanks(char* text) {
    if (text == nullptr) return;
    for (; *text; ++text)
        if (*text == '\t') *text = ' ';
}

int CountUntilRepeat(const char* text, char c) {
    if (text == nullptr) return 0;
    int n = 0;
    while (text[n] && text[n] != c) ++n;
    if (c != '\0')
        while (text[n] == c) ++n;
    return n;
}

int TextRemoveChar(char* text, char c) {
    if (text == nullptr || c == '\0') return 0;
    size_t length = std::strlen(text);
    size_t i = 0;
    while (i < length) {
        if (text[i] == c) {
            std::memmove(text + i, text + i + 1, length - i);  // terminator included
            --length;
        }
        ++i;  // the character that moved into place is not looked at again
    }
    return 0;
}

namespace {

constexpr int kListMaxEntries = 1024;

int FindInList(const char* word, size_t wordLength, const char* list) {
    if (word == nullptr || list == nullptr) return -1;
    const char* entry = list;
    for (int i = 0; i < kListMaxEntries && *entry; ++i) {
        size_t length = std::strlen(entry);
        if (entry[0] != '*' && length == wordLength && strncasecmp(entry, word, length) == 0)
            return 0;
        entry += length + 1;
    }
    return -1;
}

std::array<uint32_t, 256> MakeCrc32Table() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xA001u ^ (c >> 1) : c >> 1;
        table[i] = static_cast<uint16_t>(c);
    }
    return table;
}

// The same polynomial one nibble at a time.
std::array<uint16_t, 16> MakeCrc16NibbleTable() {
    std::array<uint16_t, 16> table{};
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 4; ++k) c = (c & 1) ? 0xA001u ^ (c >> 1) : c >> 1;
        table[i] = static_cast<uint16_t>(c);
    }
    return table;
}

}  // namespace

int FindWordInList(const char* word, const char* list) {
    if (word == nullptr) return -1;
    return FindInList(word, std::strlen(word), list);
}

int FindWordPrefixInList(const char* text, const char* list, int n) {
    if (text == nullptr || n < 0) return -1;
    return FindInList(text, strnlen(text, static_cast<size_t>(n)), list);
}

uint32_t TextCrc32(const char* text) {
    if (text == nullptr || text[0] == '\0') return 0;
    static const std::array<uint32_t, 256> table = MakeCrc32Table();
    uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        crc = table[(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t NameHash24(const char* text) {
    static const std::array<uint16_t, 256> byteTable = MakeCrc16Table();
    static const std::array<uint16_t, 16> nibbleTable = MakeCrc16NibbleTable();
    uint32_t a = 0xFFFF, b = 0xFFFF;
    if (text != nullptr) {
        for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
            a = byteTable[(a ^ *p) & 0xFF] ^ (a >> 8);
            b ^= *p;
            b = nibbleTable[b & 0xF] ^ (b >> 4);
            b = nibbleTable[b & 0xF] ^ (b >> 4);
        }
    }
    return ((a << 8) | b) & 0xFFFFFFu;
}

int CountPointers(const void* const* list) {
    if (list == nullptr) return 0;
    int n = 0;
    while (n < 0x40000 && list[n] != nullptr) ++n;
    return n;
}

int CountPointers256(const void* const* list) {
    if (list == nullptr) return 0;
    int n = 0;
    while (n < 256 && list[n] != nullptr) ++n;
    return n;
}

}  // namespace orva
