// The number parser of integer fields and of the calculator's integer tokens,
// and the word-wise cursor moves of edit fields.
#include "common/calculator.h"

#include <cerrno>
#include <cstring>

namespace orva {

namespace {

bool IsParseBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return -1;
}

bool HasHexPrefix(const char* p) {
    return p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && IsHexDigit(p[2]);
}

// Parses into a magnitude bounded by the type, then applies sign and saturation.
uint64_t ParseNumber(const char* text, const char** end, int radix, uint32_t flags, bool wide) {
    if (end != nullptr) *end = text;
    if (text == nullptr || radix < 0 || radix == 1 || radix > 36) return 0;
    const bool isUnsigned = (flags & kCalcParseUnsigned) != 0;
    const char* p = text;
    while (IsParseBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (radix == 0) {
        if (HasHexPrefix(p)) {
            radix = 16;
            p += 2;
        } else {
            radix = *p == '0' ? 8 : 10;
        }
    } else if (radix == 16 && HasHexPrefix(p)) {
        p += 2;
    }
    const uint64_t typeMax = wide ? (isUnsigned ? UINT64_MAX : uint64_t{INT64_MAX})
                                  : (isUnsigned ? uint64_t{UINT32_MAX} : uint64_t{INT32_MAX});
    // A negative signed value may reach one beyond the positive maximum.
    const uint64_t limit = (!isUnsigned && negative) ? typeMax + 1 : typeMax;
    const auto base = static_cast<uint64_t>(radix);
    uint64_t magnitude = 0;
    bool overflow = false;
    const char* digits = p;
    for (;; ++p) {
        int d = DigitValue(*p);
        if (d < 0) break;
        if (d >= radix) {
            if ((flags & kCalcParseClampDigits) == 0) break;
            d = radix - 1;
        }
        const auto digit = static_cast<uint64_t>(d);
        if (overflow) continue;
        if (magnitude > (limit - digit) / base) {
            overflow = true;
        } else {
            magnitude = magnitude * base + digit;
        }
    }
    if (p == digits) return 0;
    if (end != nullptr) *end = p;
    if (isUnsigned) {
        if (overflow) {
            errno = ERANGE;
            return negative ? 0 : typeMax;
        }
        if (negative && magnitude != 0) {
            errno = ERANGE;
            return 0;
        }
        return magnitude;
    }
    if (overflow) {
        errno = ERANGE;
        magnitude = limit;
    }
    // Two's complement negation on unsigned words is defined for every magnitude.
    return negative ? (~magnitude + 1) : magnitude;
}

bool IsWordBlank(char c) { return c == ' ' || c == '\t'; }

bool IsDelimiter(char c, const char* delimiters) {
    return c != '\0' && std::strchr(delimiters, c) != nullptr;
}

}  // namespace

uint32_t CalcParseNumber(const char* text, const char** end, int radix, uint32_t flags) {
    return static_cast<uint32_t>(ParseNumber(text, end, radix, flags, false));
}

uint64_t CalcParseNumber64(const char* text, const char** end, int radix, uint32_t flags) {
    return ParseNumber(text, end, radix, flags, true);
}

const char kCalcWordDelimiters[] = " .,:-+*()/";

int TextWordLengthForwardEx(const char* text, const char* delimiters) {
    if (text == nullptr || *text == '\0') return 0;
    if (delimiters == nullptr) delimiters = kCalcWordDelimiters;
    const char* p = text;
    if (IsWordBlank(*p)) {
        // Blanks alone form the word.
    } else if (IsDelimiter(*p, delimiters)) {
        while (*p != '\0' && !IsWordBlank(*p) && IsDelimiter(*p, delimiters)) ++p;
    } else {
        while (*p != '\0' && !IsWordBlank(*p) && !IsDelimiter(*p, delimiters)) ++p;
    }
    while (IsWordBlank(*p)) ++p;
    const int length = static_cast<int>(p - text);
    return length > 0 ? length : 1;
}

int TextWordLengthForward(const char* text) {
    return TextWordLengthForwardEx(text, kCalcWordDelimiters);
}

int TextWordLengthBackward(const char* text, int position) {
    if (text == nullptr || position <= 0) return 0;
    const int length = static_cast<int>(std::strlen(text));
    if (position > length) position = length;
    int i = position;
    while (i > 0 && IsWordBlank(text[i - 1])) --i;
    if (i > 0) {
        const bool delimiterRun = IsDelimiter(text[i - 1], kCalcWordDelimiters);
        while (i > 0 && !IsWordBlank(text[i - 1]) &&
               IsDelimiter(text[i - 1], kCalcWordDelimiters) == delimiterRun) {
            --i;
        }
    }
    return position - i;
}

}  // namespace orva
