#include "common/printf_format.h"

#include <cstdio>
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
