#include "common/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "common/clib.h"
#include "common/printf_format.h"

namespace orva {

namespace {

// Element-type flag bits used by the type texts.
constexpr uint32_t kTypeRealMask = 0x50;
constexpr uint32_t kTypeUnsigned = 0x100;

// Data-kind bits of a data description's format word.
constexpr uint32_t kKindSpectrogram = 0x02000000;
constexpr uint32_t kKindPixel = 0x00400000;
constexpr uint32_t kKindCurve = 0x00800000;
constexpr uint32_t kKindVertex = 0x20000000;
constexpr uint32_t kKindWave = 0x04000000;
constexpr uint32_t kKindSpectrum = 0x08000000;
constexpr uint32_t kKindFourier = 0x01000000;
constexpr uint32_t kKindComplex = 0x00200000;

// Saturating double → int32 (NaN gives 0).
int32_t ToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// Bounds a requested digit count: negative counts mean none, and no double has
// more than a few hundred meaningful digits.
int ClampDigits(int n) {
    if (n < 0) return 0;
    if (n > 400) return 400;
    return n;
}

std::string Printed(const char* format, int precision, double value) {
    return FormatString(format, precision, value);
}

// Decimal exponent of |value| after rounding to `digits` significant digits
// (the exponent of "%.*e").
int DecimalExponent(double value, int digits) {
    std::string s = Printed("%.*e", ClampDigits(digits - 1), std::fabs(value));
    size_t e = s.find('e');
    if (e == std::string::npos) return 0;
    return std::atoi(s.c_str() + e + 1);
}

// Position of the decimal point: the number of digits before it, 0 or negative
// when |value| < 1 (0 for zero).
int PointPosition(double value, int digits) {
    if (value == 0.0) return 0;
    return DecimalExponent(value, digits) + 1;
}

// Drops the zeros that end the fraction, keeps "e" and its sign but not the
// exponent's leading zeros, and finally drops a point left as the last character.
void TrimNumber(std::string& s) {
    const char point = ClibDecimalPoint();
    size_t pt = s.find(point);
    if (pt == std::string::npos) return;
    size_t epos = s.find_first_of("eE", pt + 1);
    size_t end = epos == std::string::npos ? s.size() : epos;
    size_t q = end;
    while (q > pt + 1 && s[q - 1] == '0') --q;
    // A point left with no decimals goes too, also before an exponent ("5e-2", not "5.e-2").
    if (q == pt + 1) q = pt;
    std::string out = s.substr(0, q);
    if (epos != std::string::npos) {
        size_t i = epos;
        out.push_back(s[i++]);
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
        // One digit stays when the exponent is all zeros.
        while (i + 1 < s.size() && s[i] == '0') ++i;
        out.append(s, i, std::string::npos);
    }
    if (!out.empty() && out.back() == point) out.pop_back();
    s.swap(out);
}

int CopyOut(const std::string& s, char* buffer) {
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return static_cast<int>(s.size());
}

std::string FitText(int size, double value) {
    if (!std::isfinite(value)) return FormatString("%f", value);
    size = ClampDigits(size);
    int k = PointPosition(value, size > 0 ? size : 1);
    std::string s;
    if (k >= 0 && k <= size)
        s = Printed("%.*f", size - k, value);
    else
        s = Printed("%.*e", ClampDigits(size - 1), value);
    TrimNumber(s);
    return s;
}

// The notation choice shared by FormatDouble and FormatDoubleDigits.
int DigitsText(int p, int d, int k, double value, char* buffer) {
    std::string s;
    if (!std::isfinite(value)) {
        s = FormatString("%f", value);
    } else if (k >= 0 && k <= p + d) {
        s = Printed("%.*f", d, value);
    } else if (k < 0 && -(p + d) < k) {
        s = Printed("%.*f", ClampDigits(d - k), value);
    } else {
        s = Printed("%.*e", ClampDigits(p + d - 1), value);
    }
    TrimNumber(s);
    return CopyOut(s, buffer);
}

int VBounded(char* buffer, size_t size, const char* format, va_list args) {
    if (buffer == nullptr || size == 0) return 0;
    int n = VFormat(buffer, size, format, args);
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    if (static_cast<size_t>(n) >= size) return static_cast<int>(size - 1);
    return n;
}

template <typename T>
int UnsignedText(char* buffer, size_t size, T n, bool quiet) {
    char tmp[24];
    int len = std::snprintf(tmp, sizeof tmp, "%llu", static_cast<unsigned long long>(n));
    if (buffer == nullptr) return quiet ? 0 : -1;
    if (static_cast<size_t>(len) >= size) {
        if (size > 0) buffer[0] = '\0';
        return quiet ? 0 : -1;
    }
    std::memcpy(buffer, tmp, static_cast<size_t>(len) + 1);
    return len;
}

int AppendBounded(char* buffer, size_t size, int len, const char* format, ...) {
    if (len < 0 || static_cast<size_t>(len) >= size) return len;
    va_list args;
    va_start(args, format);
    int n = VBounded(buffer + len, size - static_cast<size_t>(len), format, args);
    va_end(args);
    return len + n;
}

constexpr size_t kTypeTextSize = 64;

// "UINT16" / "INT8" (at most 16 characters) or "IEEE-754 32Bits".
int TypeName(uint32_t type, uint32_t bits, char* buffer) {
    if (type & kTypeRealMask) return BoundedPrintf(buffer, kTypeTextSize, "IEEE-754 %uBits", bits);
    return BoundedPrintf(buffer, 17, "%s%u", (type & kTypeUnsigned) ? "UINT" : "INT", bits);
}

}  // namespace

char* FormatDoubleFit(int size, char* buffer, double value, int* length) {
    int n = CopyOut(FitText(size, value), buffer);
    if (length) *length = n;
    return buffer;
}

int FormatDouble(int significant, int decimals, double value, char* buffer) {
    int p = ClampDigits(significant);
    int d = ClampDigits(decimals);
    int k = PointPosition(value, 17);
    if (std::fabs(value) >= 1.0 && k < p) p = k;
    return DigitsText(p, d, k, value, buffer);
}

int FormatDoubleDigits(int digits, int decimals, double value, char* buffer) {
    return DigitsText(ClampDigits(digits), ClampDigits(decimals), PointPosition(value, 17), value,
                      buffer);
}

std::string ShortestDoubleText(double value) {
    if (value == 0.0) return "0";
    char text[64];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value);
    return r.ec == std::errc() ? std::string(text, r.ptr) : std::string();
}

int NumberText13G(char* buffer, int size, double value) {
    if (buffer == nullptr) return 0;
    buffer[0] = '\0';
    if (size <= 0) return 0;
    const size_t limit = static_cast<size_t>(size);
    std::string s = FitText(size, value);
    if (s.size() > limit && size > 14) s = FitText(size - 7, value);
    if (s.size() <= limit) return CopyOut(s, buffer);
    for (const char* f : {"%.13G", "%G", "%f"}) {
        s = FormatString(f, value);
        if (s.size() <= limit) return CopyOut(s, buffer);
    }
    return 0;
}

int UIntTextBuf(char* buffer, size_t size, uint32_t n) { return UnsignedText(buffer, size, n, false); }

int UInt64TextBuf(char* buffer, size_t size, uint64_t n) {
    return UnsignedText(buffer, size, n, false);
}

int UInt64TextOrEmpty(char* buffer, size_t size, uint64_t n) {
    return UnsignedText(buffer, size, n, true);
}

int BoundedPrintf(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = VBounded(buffer, size, format, args);
    va_end(args);
    return n;
}

int ThreeDigitText(int n, char* buffer) {
    if (n < 0) return BoundedPrintf(buffer, 12, "000");
    const unsigned u = static_cast<unsigned>(n);
    if (u < 10) return BoundedPrintf(buffer, 12, "00%u", u);
    if (u < 100) return BoundedPrintf(buffer, 12, "0%u", u);
    return BoundedPrintf(buffer, 12, "%u", u);
}

int FormatTimeHMSms(char* buffer, double seconds) {
    constexpr double kLimit = 86400000.0;
    double s = seconds;
    if (std::isnan(s)) s = 0.0;
    if (s > kLimit) s = kLimit;
    if (s < -kLimit) s = -kLimit;
    const double whole = std::floor(s);
    const double hours = std::floor(s / 3600.0);
    const double minutes = std::trunc((whole - hours * 3600.0) / 60.0);
    const double secs = std::floor(s - (hours * 60.0 + minutes) * 60.0);
    const double millis = std::floor((s - whole) * 1000.0);
    return BoundedPrintf(buffer, 24, "%.2d:%.2d:%.2d:%.3d", ToInt32(hours), ToInt32(minutes),
                         ToInt32(secs), ToInt32(millis));
}

int TimeSpanText(char* buffer, int64_t seconds) {
    constexpr size_t kSize = 40;
    const uint64_t s = seconds < 0 ? 0 : static_cast<uint64_t>(seconds);
    const uint64_t weeks = s / 604800;
    const unsigned days = static_cast<unsigned>(s % 604800 / 86400);
    const unsigned hours = static_cast<unsigned>(s % 86400 / 3600);
    const unsigned minutes = static_cast<unsigned>(s % 3600 / 60);
    const unsigned secs = static_cast<unsigned>(s % 60);
    buffer[0] = '\0';
    int len = 0;
    if (weeks) len = BoundedPrintf(buffer, kSize, "%I64uwk ", static_cast<unsigned long long>(weeks));
    if (weeks || days) len = AppendBounded(buffer, kSize, len, "%ud ", days);
    if (weeks || days || hours) return AppendBounded(buffer, kSize, len, "%u:%02u:%02u", hours, minutes, secs);
    return AppendBounded(buffer, kSize, len, "%u:%02u", minutes, secs);
}

int ByteSizeText(char* buffer, uint64_t bytes) {
    constexpr size_t kSize = 32;
    if (bytes <= 1000) return BoundedPrintf(buffer, kSize, "%u Byte(s)", static_cast<unsigned>(bytes));
    if (bytes < 1000000) {
        const unsigned kb = static_cast<unsigned>(bytes / 1000), rest = static_cast<unsigned>(bytes % 1000);
        if (rest == 0) return BoundedPrintf(buffer, kSize, "%u Kb", kb);
        return BoundedPrintf(buffer, kSize, "%u.%03u Kb", kb, rest);
    }
    if (bytes < 1000000000) {
        const unsigned mb = static_cast<unsigned>(bytes / 1000000);
        const unsigned rest = static_cast<unsigned>(bytes % 1000000 / 1000);
        if (rest == 0) return BoundedPrintf(buffer, kSize, "%u Mb", mb);
        return BoundedPrintf(buffer, kSize, "%u.%03u Mb", mb, rest);
    }
    int len = UInt64TextOrEmpty(buffer, kSize, bytes / 1000000000);
    const unsigned rest = static_cast<unsigned>(bytes % 1000000000 / 1000000);
    if (rest == 0) return AppendBounded(buffer, kSize, len, " Gb");
    return AppendBounded(buffer, kSize, len, ".%03u Gb", rest);
}

int DataTypeText(uint32_t type, uint32_t bits, uint32_t channels, char* buffer) {
    int len = TypeName(type, bits, buffer);
    if (channels != 0) len = AppendBounded(buffer, kTypeTextSize, len, ", Dim/Channels %u", channels);
    return len;
}

int DataTypeTextAxis(uint32_t type, uint32_t bits, uint32_t channels, uint32_t axis,
                     char* buffer) {
    int len = TypeName(type, bits, buffer);
    return AppendBounded(buffer, kTypeTextSize, len, ", Dim/Channels %u, Axis %u", channels, axis);
}

int DataTypeTextShort(uint32_t type, uint32_t bits, uint32_t channels, char* buffer) {
    int len = BoundedPrintf(buffer, kTypeTextSize, (type & kTypeRealMask) ? "Float %u" : "Integer %u",
                            bits);
    if (channels != 0) len = AppendBounded(buffer, kTypeTextSize, len, ", Dim/Channels %u", channels);
    return len;
}

int DataKindText(uint32_t format, char* buffer) {
    const char* kind = "";
    if (format & kKindSpectrogram)
        kind = "SPECTROGRAM";
    else if (format & kKindPixel)
        kind = "PIXEL";
    else if (format & kKindCurve)
        kind = "CURVE";
    else if (format & kKindVertex)
        kind = "VERTEX";
    const char* suffix = "";
    if (format & kKindWave)
        suffix = ".WAVE";
    else if (format & kKindSpectrum)
        suffix = ".SPECTR";
    else if (format & kKindFourier)
        suffix = ".FOURIER";
    else if (format & kKindComplex)
        suffix = ".COMPLEX";
    return BoundedPrintf(buffer, 32, "%s%s", kind, suffix);
}

namespace {
struct GuidParts {
    uint32_t a, b;
    uint64_t c;
};
GuidParts SplitGuid(const void* id) {
    GuidParts g;
    const auto* p = static_cast<const unsigned char*>(id);
    std::memcpy(&g.a, p, 4);
    std::memcpy(&g.b, p + 4, 4);
    std::memcpy(&g.c, p + 8, 8);
    return g;
}
}  // namespace

int GuidText(char* buffer, const void* id, uint32_t number) {
    if (id == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    GuidParts g = SplitGuid(id);
    return BoundedPrintf(buffer, 48, "%.8X-%.8X-%.16I64X-%.8X", g.a, g.b,
                         static_cast<unsigned long long>(g.c), number);
}

int WriteGuidText(FILE* stream, const void* id, uint32_t number) {
    if (stream == nullptr || id == nullptr) return -1;
    char text[48];
    GuidText(text, id, number);
    return std::fprintf(stream, "{%s}", text);
}

int LocalTimeAsctime(char* buffer) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr || asctime_r(&local, buffer) == nullptr) {
        std::memcpy(buffer, "\n", 2);
    }
    return static_cast<int>(std::strlen(buffer));
}

}  // namespace orva
