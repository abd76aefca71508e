#include "common/printf_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva {

std::string TranslateFormat(const char* format) {
    std::string out;
    if (format == nullptr) return out;
    out.reserve(std::strlen(format) + 8);
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        out.push_back(*p++);
        if (*p == '%') {
            out.push_back(*p++);
            continue;
        }
        // Flags, width and precision pass through unchanged.
        while (*p && std::strchr("-+ #0123456789.*", *p)) out.push_back(*p++);
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            out += "ll";
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            p += 3;
        }
    }
    return out;
}

int VFormat(char* buffer, size_t size, const char* format, va_list args) {
    if (format == nullptr) {
        if (buffer && size) buffer[0] = '\0';
        return 0;
    }
    // Translate only when needed, so that the common case stays allocation-free.
    if (std::strstr(format, "I64") == nullptr && std::strstr(format, "I32") == nullptr)
        return std::vsnprintf(buffer, size, format, args);
    std::string f = TranslateFormat(format);
    return std::vsnprintf(buffer, size, f.c_str(), args);
}

std::string VFormatString(const char* format, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = VFormat(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    VFormat(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string FormatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string s = VFormatString(format, args);
    va_end(args);
    return s;
}

}  // namespace orva

namespace orva {

namespace {

// The length of the well-formed UTF-8 sequence at p (at most `left` bytes), or 0.
size_t Utf8Length(const unsigned char* p, size_t left, uint32_t* code) {
    unsigned char c = p[0];
    size_t n;
    uint32_t value, least;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2, value = c & 0x1Fu, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, value = c & 0x0Fu, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, value = c & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (left < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        value = (value << 6) | (p[i] & 0x3Fu);
    }
    // Over-long forms, surrogates and values past the last code point are not UTF-8.
    if (value < least || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return 0;
    *code = value;
    return n;
}

void AppendEscaped(std::string* out, unsigned char c) {
    static const char kHex[] = "0123456789abcdef";
    out->append("\\x");
    out->push_back(kHex[c >> 4]);
    out->push_back(kHex[c & 0x0F]);
}

// Formats one conversion `spec` (already translated) with one value.
template <typename... Values>
void AppendFormatted(std::string* out, const std::string& spec, Values... values) {
    char small[128];
    int n = std::snprintf(small, sizeof small, spec.c_str(), values...);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        out->append(small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), spec.c_str(), values...);
    out->append(big.data(), static_cast<size_t>(n));
}

// Appends one conversion whose "*" width and precision (when the conversion has them) take
// the values read from the arguments.
template <typename Value>
void AppendWithStars(std::string* out, const std::string& spec, bool widthStar, bool precisionStar, int width,
                     int precision, Value value) {
    if (widthStar && precisionStar)
        AppendFormatted(out, spec, width, precision, value);
    else if (widthStar)
        AppendFormatted(out, spec, width, value);
    else if (precisionStar)
        AppendFormatted(out, spec, precision, value);
    else
        AppendFormatted(out, spec, value);
}

}  // namespace

std::string EscapeOutsideText(const char* text, size_t length) {
    std::string out;
    if (text == nullptr) return out;
    out.reserve(length);
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < length;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F)
                AppendEscaped(&out, c);
            else
                out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        uint32_t code = 0;
        size_t n = Utf8Length(p + i, length - i, &code);
        if (n == 0 || code < 0xA0) {
            // Not UTF-8, or a C1 control (a terminal takes U+009B as an escape): byte by byte.
            AppendEscaped(&out, c);
            ++i;
            continue;
        }
        out.append(text + i, n);
        i += n;
    }
    return out;
}

std::string VFormatEscaped(const char* format, va_list args) {
    std::string out;
    if (format == nullptr) return out;
    va_list ap;
    va_copy(ap, args);
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            const char* next = std::strchr(p, '%');
            size_t n = next ? static_cast<size_t>(next - p) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out.push_back('%');
            ++p;
            continue;
        }
        std::string spec = "%";
        while (*p && std::strchr("-+ #0", *p)) spec.push_back(*p++);
        bool widthStar = false, precisionStar = false;
        int width = 0, precision = -1;
        if (*p == '*') {
            width = va_arg(ap, int);
            widthStar = true;
            spec.push_back(*p++);
        }
        while (*p >= '0' && *p <= '9') spec.push_back(*p++);
        std::string precisionText;
        if (*p == '.') {
            precisionText.push_back(*p++);
            if (*p == '*') {
                precision = va_arg(ap, int);
                precisionStar = true;
                precisionText.push_back(*p++);
            } else {
                std::string digits;
                while (*p >= '0' && *p <= '9') digits.push_back(*p++);
                precisionText += digits;
                precision = digits.empty() ? 0 : std::atoi(digits.c_str());
            }
        }
        // Length: the C library's, and the system's own I64 / I32.
        enum { kInt, kLong, kLongLong, kSize, kLongDouble } length = kInt;
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            length = kLongLong;
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            p += 3;
        } else if (p[0] == 'l' && p[1] == 'l') {
            length = kLongLong;
            p += 2;
        } else if (p[0] == 'h' && p[1] == 'h') {
            p += 2;
        } else if (*p == 'h') {
            ++p;
        } else if (*p == 'l') {
            length = kLong;
            ++p;
        } else if (*p == 'z' || *p == 't' || *p == 'j') {
            length = *p == 'j' ? kLongLong : kSize;
            ++p;
        } else if (*p == 'L' || *p == 'q') {
            length = *p == 'L' ? kLongDouble : kLongLong;
            ++p;
        }
        const char conversion = *p;
        if (conversion == '\0') {
            out.append(start);
            break;
        }
        ++p;
        const char* lengthText = length == kLongLong ? "ll" : length == kLong ? "l" : length == kSize ? "z"
                               : length == kLongDouble ? "L" : "";
        switch (conversion) {
            case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': {
                std::string full = spec + precisionText + lengthText + conversion;
                if (length == kLongLong)
                    AppendWithStars(&out, full, widthStar, precisionStar, width, precision, va_arg(ap, long long));
                else if (length == kLong || length == kSize)
                    AppendWithStars(&out, full, widthStar, precisionStar, width, precision, va_arg(ap, long));
                else
                    AppendWithStars(&out, full, widthStar, precisionStar, width, precision, va_arg(ap, int));
                break;
            }
            case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': {
                std::string full = spec + precisionText + lengthText + conversion;
                if (length == kLongDouble)
                    AppendWithStars(&out, full, widthStar, precisionStar, width, precision, va_arg(ap, long double));
                else
                    AppendWithStars(&out, full, widthStar, precisionStar, width, precision, va_arg(ap, double));
                break;
            }
            case 'c': {
                char c = static_cast<char>(va_arg(ap, int));
                std::string text = EscapeOutsideText(&c, 1);
                // A precision means nothing to %c: only the width is kept.
                AppendWithStars(&out, spec + "s", widthStar, false, width, 0, text.c_str());
                break;
            }
            case 's': {
                const char* text = va_arg(ap, const char*);
                if (text == nullptr) text = "(null)";
                // A negative "*" precision counts as none.
                size_t n = precision >= 0 ? strnlen(text, static_cast<size_t>(precision)) : std::strlen(text);
                std::string safe = EscapeOutsideText(text, n);
                // The precision was applied to the argument; the width applies to the result.
                AppendWithStars(&out, spec + "s", widthStar, false, width, 0, safe.c_str());
                break;
            }
            case 'p':
                AppendFormatted(&out, "%p", va_arg(ap, void*));
                break;
            case 'n':
                (void)va_arg(ap, void*);  // never written through
                break;
            default:
                out.append(start, static_cast<size_t>(p - start));
                break;
        }
    }
    va_end(ap);
    return out;
}

}  // namespace orva
