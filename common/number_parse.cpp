#include "common/number_parse.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orva {

namespace {

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipBlanks(const char* p) {
    while (IsSpace(*p)) ++p;
    return p;
}

// A plain decimal number: blanks, [sign] digits [. digits] [e [sign] digits].
// Hexadecimal floats, "inf" and "nan" are not numbers here. On success *end is
// past the number and *value holds it (±infinity when it overflows).
bool ScanDouble(const char* text, const char** end, double* value) {
    const char* start = SkipBlanks(text);
    const char* p = start;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    while (IsDigit(*p)) ++p, ++digits;
    if (*p == '.') {
        ++p;
        while (IsDigit(*p)) ++p, ++digits;
    }
    if (digits == 0) return false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            while (IsDigit(*q)) ++q;
            p = q;
        }
    }
    // strtod on a copy of exactly the scanned span, so that it cannot read more.
    std::string span(start, p);
    *value = std::strtod(span.c_str(), nullptr);
    *end = p;
    return true;
}

bool ReadFiniteDouble(const char* p, const char** end, double* v) {
    return ScanDouble(p, end, v) && std::isfinite(*v);
}

bool ReadInt64(const char* p, const char** end, int64_t* v) {
    const char* start = SkipBlanks(p);
    // strtoll would skip blanks again and accept them after a sign; only a sign or
    // a digit may start the number.
    if (!(IsDigit(*start) || ((*start == '+' || *start == '-') && IsDigit(start[1])))) return false;
    char* e = nullptr;
    errno = 0;
    long long n = std::strtoll(start, &e, 0);  // saturates at the 64-bit bounds
    if (e == start) return false;
    *v = static_cast<int64_t>(n);
    *end = e;
    return true;
}

// Reads up to `most` items separated by ',' or blanks, storing each through
// `store(index, value)` as it is read. Text after the last allowed item fails.
// Returns the number of items, or -1.
template <typename T, typename Read, typename Store>
int ParseList(const char* text, int most, Read read, Store store) {
    if (text == nullptr) return -1;
    const char* p = text;
    int count = 0;
    for (;;) {
        T v;
        const char* e = nullptr;
        if (!read(p, &e, &v)) return -1;
        store(count, v);
        ++count;
        const char* q = e;
        bool blank = false;
        while (IsSpace(*q)) ++q, blank = true;
        if (*q == '\0') return count;
        if (count == most) return -1;
        if (*q == ',')
            p = q + 1;
        else if (blank)
            p = q;
        else
            return -1;
    }
}

uint32_t ClampToUInt32(double v) {
    if (!(v > 0.0)) return 0;  // zero, negative and NaN
    if (v >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(v);
}

bool StartsWithNoCase(const char* text, const char* word) {
    for (; *word; ++word, ++text)
        if (std::toupper(static_cast<unsigned char>(*text)) != *word) return false;
    return true;
}

}  // namespace

int ParseBool(const char* text, bool* flag) {
    if (text == nullptr) return -1;
    double v;
    const char* end;
    if (ScanDouble(text, &end, &v)) {
        if (flag) *flag = v != 0.0;
        return 1;
    }
    const char* p = SkipBlanks(text);
    bool value;
    if (StartsWithNoCase(p, "ON") || StartsWithNoCase(p, "TRUE"))
        value = true;
    else if (StartsWithNoCase(p, "OFF") || StartsWithNoCase(p, "FALSE"))
        value = false;
    else
        return -1;
    if (flag) *flag = value;
    return 1;
}

int ParseDoubleValue(const char* text, double values[4]) {
    return ParseList<double>(text, 4, ReadFiniteDouble,
                             [&](int i, double v) { values[i] = v; });
}

int ParseUInt32Clamped(const char* text, uint32_t values[4]) {
    return ParseList<double>(text, 4, ReadFiniteDouble,
                             [&](int i, double v) { values[i] = ClampToUInt32(v); });
}

int ParseInt64Value(const char* text, int64_t values[4]) {
    return ParseList<int64_t>(text, 4, ReadInt64, [&](int i, int64_t v) { values[i] = v; });
}

int ParseDoubleChecked(const char* text, double pair[2]) {
    double v[2];
    if (ParseList<double>(text, 2, ReadFiniteDouble, [&](int i, double x) { v[i] = x; }) != 2)
        return -1;
    if (v[0] > v[1]) return -1;
    pair[0] = v[0];
    pair[1] = v[1];
    return 1;
}

int ParseDoublePair(const char* text, double* first, double* second) {
    return ParseList<double>(text, 2, ReadFiniteDouble,
                             [&](int i, double v) { *(i == 0 ? first : second) = v; });
}

int ParseFloatPair(const char* text, float* first, float* second) {
    auto readFloat = [](const char* p, const char** end, double* v) {
        return ReadFiniteDouble(p, end, v) && std::fabs(*v) <= static_cast<double>(FLT_MAX);
    };
    return ParseList<double>(text, 2, readFloat, [&](int i, double v) {
        *(i == 0 ? first : second) = static_cast<float>(v);
    });
}

bool ParseTimeText(const char* text, int32_t* milliseconds, bool* changed) {
    if (text == nullptr) return false;
    long long fields[4] = {0, 0, 0, 0};
    int count = 0;
    bool anyNumber = false;
    const char* p = text;
    while (count < 4) {
        p = SkipBlanks(p);
        long long v = 0;
        if (IsDigit(*p) || ((*p == '+' || *p == '-') && IsDigit(p[1]))) {
            char* e = nullptr;
            v = std::strtoll(p, &e, 10);
            p = e;
            anyNumber = true;
        }
        fields[count++] = v;
        p = SkipBlanks(p);
        if (*p != ':') break;
        ++p;
    }
    if (!anyNumber) return false;
    // With fewer than four fields, the fields given are the last ones.
    long long hms[4] = {0, 0, 0, 0};
    for (int i = 0; i < count; ++i) hms[4 - count + i] = fields[i];
    const long long caps[4] = {59, 59, 59, 999};
    for (int i = 0; i < 4; ++i) {
        if (hms[i] < 0) hms[i] = 0;
        if (hms[i] > caps[i]) hms[i] = caps[i];
    }
    const auto result =
        static_cast<int32_t>(hms[0] * 3600000 + hms[1] * 60000 + hms[2] * 1000 + hms[3]);
    if (changed) *changed = result != *milliseconds;
    *milliseconds = result;
    return true;
}

bool ParseShortDecimal(const char* text, double* value, char** end) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) return false;
    uint64_t digits = 0;
    int significant = 0, exp10 = 0;
    bool any = false;
    const auto digit = [&](char c) {
        any = true;
        if (digits == 0 && c == '0') return true;
        digits = digits * 10 + static_cast<uint64_t>(c - '0');
        return ++significant <= 15;
    };
    for (; IsDigit(*p); ++p)
        if (!digit(*p)) return false;
    if (*p == '.') {
        for (++p; IsDigit(*p); ++p, --exp10)
            if (!digit(*p)) return false;
    }
    if (!any) return false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        const bool below = *q == '-';
        if (*q == '+' || *q == '-') ++q;
        if (IsDigit(*q)) {
            int e = 0;
            for (; IsDigit(*q); ++q) e = e < 10000 ? e * 10 + (*q - '0') : e;
            exp10 += below ? -e : e;
            p = q;
        }
    }
    if (exp10 < -22 || exp10 > 22) return false;
    double v = static_cast<double>(digits);
    v = exp10 < 0 ? v / kPow10[-exp10] : v * kPow10[exp10];
    *value = negative ? -v : v;
    *end = const_cast<char*>(p);
    return true;
}


}  // namespace orva
