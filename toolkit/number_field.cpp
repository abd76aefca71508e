#include "toolkit/number_field.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_map>

#include "common/calculator.h"
#include "common/number_parse.h"
#include "common/number_text.h"
#include "toolkit/edit_field.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

std::unordered_map<const gElement*, gValueRecord>& Records() {
    static auto* records = new std::unordered_map<const gElement*, gValueRecord>;   // outlives every widget
    return *records;
}

CalcContext gCalc;

void ForgetRecord(gElement* e) { Records().erase(e); }

void InstallOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    gWgtAddDestroyObserver(ForgetRecord);
    if (gHooks().calcClear == nullptr) gHooks().calcClear = [] { CalcContextClear(&gCalc); };
}

// Truncation towards zero with saturation (NaN gives 0).
template <class T> T SatTrunc(double v) {
    if (std::isnan(v)) return 0;
    if (v <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    // The largest value of a 64-bit type is not a double; compare with 2^bits instead.
    constexpr double top = 2.0 * static_cast<double>(std::numeric_limits<T>::max() / 2 + 1);
    if (v >= top) return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

const char* SkipBlanks(const char* p) {
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

// A text of decimal digits only (blanks around them allowed): its exact unsigned value,
// saturated at all ones. False for any other text.
bool ExactDigits(const std::string& text, uint64_t* out) {
    const char* p = SkipBlanks(text.c_str());
    const char* start = p;
    uint64_t v = 0;
    bool over = false;
    while (*p >= '0' && *p <= '9') {
        unsigned d = static_cast<unsigned>(*p - '0');
        if (v > (UINT64_MAX - d) / 10) over = true;
        if (!over) v = v * 10 + d;
        ++p;
    }
    if (p == start || *SkipBlanks(p) != '\0') return false;
    *out = over ? UINT64_MAX : v;
    return true;
}

// The same with a leading "-": the exact signed value, saturated at either end, so that
// the text a field shows for its lowest value (-9223372036854775808) reads back to it.
bool ExactSignedDigits(const std::string& text, int64_t* out) {
    const char* p = SkipBlanks(text.c_str());
    const bool negative = *p == '-';
    uint64_t magnitude = 0;
    if (!ExactDigits(negative ? std::string(p + 1) : text, &magnitude)) return false;
    if (negative && p[1] != '\0' && std::isspace(static_cast<unsigned char>(p[1]))) return false;
    const uint64_t top = static_cast<uint64_t>(INT64_MAX);
    if (!negative) *out = magnitude > top ? INT64_MAX : static_cast<int64_t>(magnitude);
    else *out = magnitude > top ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return true;
}

bool FieldHasText(const gElement* e) { return e != nullptr && !e->text.empty(); }

template <class T> void Clamp(uint64_t& value, uint64_t minimum, uint64_t maximum) {
    if (minimum == maximum) return;
    T v = gValueAs<T>(value), lo = gValueAs<T>(minimum), hi = gValueAs<T>(maximum);
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    value = gValueBits(v);
}

// Evaluates a field's text with the toolkit's calculator. A number the calculator had
// to cut is no value for a field: the evaluation fails with the calculator's note as
// its message, so that the field keeps its value and its reader can say why.
bool EvaluateField(CalcContext* calc, const char* text) {
    if (!CalcEvaluate(calc, text)) return false;
    if (calc->cutNumber == nullptr) return true;
    calc->message = calc->cutNumber;
    calc->error = kCalcErrorSyntax;
    return false;
}

}  // namespace

CalcContext* gToolkitCalc() {
    InstallOnce();
    return &gCalc;
}

gValueRecord* gWgtValueRecord(gElement* e, bool create) {
    if (e == nullptr) return nullptr;
    InstallOnce();
    auto& records = Records();
    auto it = records.find(e);
    if (it != records.end()) return &it->second;
    if (!create) return nullptr;
    return &records[e];
}

void gWgtSetNumberField(gElement* e, int32_t kind, uint64_t value, uint64_t minimum, uint64_t maximum) {
    gValueRecord* r = gWgtValueRecord(e, true);
    if (r == nullptr) return;
    e->kind = kind;
    r->value = value;
    r->minimum = minimum;
    r->maximum = maximum;
}

// ---- Text -------------------------------------------------------------------------------

void gWgtSetTextN(gElement* e, const char* text, int32_t length) {
    if (e == nullptr) return;
    if (text == nullptr || length == 0 || text[0] == '\0') {
        e->text.clear();
    } else {
        size_t n = length < 0 ? std::strlen(text) : strnlen(text, static_cast<size_t>(length));
        e->text.assign(text, n);
    }
    if (gWgtEdit(e) != nullptr) {
        gWgtEditMeasure(e);
    } else if (gTextHooks().layout != nullptr) {
        gTextHooks().layout(e);
    }
}

void gWgtSetText(gElement* e, const char* text) { gWgtSetTextN(e, text, -1); }

int32_t gWgtGetText(const gElement* e, char* buffer, int32_t size, bool trim) {
    if (buffer == nullptr || size < 1) return 0;
    buffer[0] = '\0';
    if (!FieldHasText(e)) return 0;
    const char* p = e->text.c_str();
    if (trim) p = SkipBlanks(p);
    size_t n = std::min(std::strlen(p), static_cast<size_t>(size - 1));
    std::memcpy(buffer, p, n);
    buffer[n] = '\0';
    return static_cast<int32_t>(n);
}

// ---- Reading ----------------------------------------------------------------------------------

bool gWgtReadNumber(const gElement* e, double* out, bool useCalculator) {
    if (!FieldHasText(e) || out == nullptr) return false;
    const char* p = SkipBlanks(e->text.c_str());
    if (*p == '\0') return false;
    double v = 0;
    if (!useCalculator) {
        bool digit = std::isdigit(static_cast<unsigned char>(p[0])) ||
                     (p[0] == '.' && std::isdigit(static_cast<unsigned char>(p[1])));
        if (!digit) return false;
        char* end = nullptr;
        v = std::strtod(p, &end);
        if (end == p || v == HUGE_VAL || v == -HUGE_VAL) return false;
    } else {
        CalcContext* calc = gToolkitCalc();
        if (!EvaluateField(calc, p)) return false;
        if (calc->result.type == kCalcTypeInteger) {
            v = static_cast<double>(calc->result.integer);
        } else {
            v = calc->result.real;
            if (std::isnan(v)) return false;   // no value to store
        }
    }
    if (v > -1e-307 && v < 1e-307) v = 0.0;
    *out = v;
    return true;
}

bool gWgtReadFloat(const gElement* e, float* out, bool useCalculator) {
    double v = 0;
    if (out == nullptr || !gWgtReadNumber(e, &v, useCalculator)) return false;
    constexpr double top = 3.4028234663852886e38;
    if (v > top) v = top;
    if (v < -top) v = -top;
    *out = static_cast<float>(v);
    return true;
}

bool gWgtReadInt(const gElement* e, int32_t* out, bool useCalculator) {
    double v = 0;
    if (out == nullptr || !gWgtReadNumber(e, &v, useCalculator)) return false;
    if (v > 2147483647.0) {
        *out = INT32_MAX;
    } else if (v < -2147483648.0) {
        *out = INT32_MIN;
    } else {
        *out = SatTrunc<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
    }
    return true;
}

bool gWgtReadUInt(const gElement* e, uint32_t* out, bool useCalculator) {
    double v = 0;
    if (out == nullptr || !gWgtReadNumber(e, &v, useCalculator)) return false;
    if (v > 4294967295.0) {
        *out = UINT32_MAX;
    } else if (v < 0.5) {
        *out = 0;
    } else {
        *out = SatTrunc<uint32_t>(v + 0.5);
    }
    return true;
}

bool gWgtReadInt64(const gElement* e, int64_t* out, bool useCalculator) {
    if (out == nullptr || !FieldHasText(e)) return false;
    int64_t exact = 0;
    // Plain digits: no trip through a double (a sign only where the calculator reads one).
    if ((useCalculator || SkipBlanks(e->text.c_str())[0] != '-') && ExactSignedDigits(e->text, &exact)) {
        *out = exact;
        return true;
    }
    if (useCalculator && EvaluateField(gToolkitCalc(), SkipBlanks(e->text.c_str())) &&
        gToolkitCalc()->result.type == kCalcTypeInteger) {
        *out = gToolkitCalc()->result.integer;
        return true;
    }
    double v = 0;
    if (!gWgtReadNumber(e, &v, useCalculator)) return false;
    *out = SatTrunc<int64_t>(v >= 0 ? v + 0.5 : v - 0.5);
    return true;
}

bool gWgtReadUInt64(const gElement* e, uint64_t* out, bool useCalculator) {
    if (out == nullptr || !FieldHasText(e)) return false;
    uint64_t exact = 0;
    if (ExactDigits(e->text, &exact)) {   // exact up to all ones, saturated above
        *out = exact;
        return true;
    }
    if (useCalculator && EvaluateField(gToolkitCalc(), SkipBlanks(e->text.c_str())) &&
        gToolkitCalc()->result.type == kCalcTypeInteger) {
        int64_t i = gToolkitCalc()->result.integer;
        *out = i < 0 ? 0 : static_cast<uint64_t>(i);
        return true;
    }
    double v = 0;
    if (!gWgtReadNumber(e, &v, useCalculator)) return false;
    if (v < 0.5) {
        *out = 0;
    } else if (v < 9007199254740992.0) {
        *out = static_cast<uint64_t>(v + 0.5);
    } else {
        *out = SatTrunc<uint64_t>(v);   // every double here is an integer
    }
    return true;
}

bool gWgtReadHex(const gElement* e, uint32_t* out) {
    if (out == nullptr || !FieldHasText(e)) return false;
    const char* p = e->text.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(p, &end, 16);
    if (end == p) return false;
    *out = v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
    return true;
}

bool gWgtReadBinary(const gElement* e, uint32_t* out) {
    if (out == nullptr || !FieldHasText(e)) return false;
    const char* p = e->text.c_str();
    const char* end = p;
    uint32_t v = CalcParseNumber(p, &end, 2, kCalcParseUnsigned);
    if (end == p) return false;
    *out = v;
    return true;
}

bool gWgtReadTime(const gElement* e, int32_t* milliseconds) {
    if (milliseconds == nullptr || !FieldHasText(e)) return false;
    return ParseTimeText(e->text.c_str(), milliseconds, nullptr);
}

bool gWgtReadValue(gElement* e, bool useCalculator) {
    if (e == nullptr || !gIsValueKind(e->kind) || !FieldHasText(e)) return false;
    gValueRecord* r = gWgtValueRecord(e, false);
    if (r == nullptr) return false;
    uint64_t bits = 0;
    switch (e->kind) {
        case kValueInt32: {
            int32_t v = 0;
            if (!gWgtReadInt(e, &v, useCalculator)) return false;
            bits = gValueBits(v);
            Clamp<int32_t>(bits, r->minimum, r->maximum);
            break;
        }
        case kValueBinary:
        case kValueHex: {
            uint32_t v = 0;
            if (!(e->kind == kValueHex ? gWgtReadHex(e, &v) : gWgtReadBinary(e, &v))) return false;
            bits = gValueBits(v);
            Clamp<uint32_t>(bits, r->minimum, r->maximum);
            break;
        }
        case kValueUInt32:
        case kValueHex0x: {
            uint32_t v = 0;
            if (!gWgtReadUInt(e, &v, useCalculator)) return false;
            bits = gValueBits(v);
            Clamp<uint32_t>(bits, r->minimum, r->maximum);
            break;
        }
        case kValueBool: {
            uint32_t v = 0;
            if (!gWgtReadUInt(e, &v, useCalculator)) return false;
            bits = gValueBits<uint32_t>(v > 1 ? 1 : v);
            break;
        }
        case kValueInt64: {
            int64_t v = 0;
            if (!gWgtReadInt64(e, &v, useCalculator)) return false;
            bits = gValueBits(v);
            Clamp<int64_t>(bits, r->minimum, r->maximum);
            break;
        }
        case kValueUInt64: {
            uint64_t v = 0;
            if (!gWgtReadUInt64(e, &v, useCalculator)) return false;
            bits = v;
            Clamp<uint64_t>(bits, r->minimum, r->maximum);
            break;
        }
        case kValueSeconds:
        case kValueMillis:
        case kValueTimeSpan: {
            int32_t ms = 0;
            if (!gWgtReadTime(e, &ms)) return false;
            if (e->kind == kValueSeconds) bits = gValueBits(ms * 0.001);
            if (e->kind == kValueMillis) bits = gValueBits(static_cast<uint32_t>(ms < 0 ? 0 : ms));
            if (e->kind == kValueTimeSpan) bits = static_cast<uint64_t>(ms < 0 ? 0 : ms / 1000);
            break;
        }
        case kValueFloat: {
            float v = 0;
            if (!gWgtReadFloat(e, &v, useCalculator)) return false;
            bits = gValueBits(v);
            Clamp<float>(bits, r->minimum, r->maximum);
            break;
        }
        default: {   // angle, percent, double
            double v = 0;
            if (!gWgtReadNumber(e, &v, useCalculator)) return false;
            bits = gValueBits(v);
            Clamp<double>(bits, r->minimum, r->maximum);
            if (e->kind == kValueAngle) bits = gValueBits(std::fmod(gValueAs<double>(bits), 360.0));
            break;
        }
    }
    r->value = bits;
    return true;
}

// ---- Formatting ----------------------------------------------------------------------------------

int gFormatValueText(int32_t kind, uint64_t value, int32_t maxLength, bool editing, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    char text[96] = {0};
    int n = 0;
    const uint32_t u = gValueAs<uint32_t>(value);
    const int32_t limit = maxLength;
    switch (kind) {
        case kValueInt32: n = BoundedPrintf(text, sizeof text, "%d", gValueAs<int32_t>(value)); break;
        case kValueBinary: {
            int digits = limit < 9 ? 8 : 32;
            for (int i = 0; i < digits; ++i) text[i] = ((u >> (digits - 1 - i)) & 1u) ? '1' : '0';
            n = digits;
            break;
        }
        case kValueUInt32:
        case kValueBool: n = BoundedPrintf(text, sizeof text, "%u", u); break;
        case kValueInt64: n = BoundedPrintf(text, sizeof text, "%I64d", gValueAs<int64_t>(value)); break;
        case kValueUInt64: n = BoundedPrintf(text, sizeof text, "%I64u", value); break;
        case kValueHex:
            // A field shows as many digits as its length allows, so the mask keeps
            // exactly those digits.
            if (limit < 2) n = BoundedPrintf(text, sizeof text, "%.1X", u & 0xFFu);
            else if (limit == 2) n = BoundedPrintf(text, sizeof text, "%.2X", u & 0xFFu);
            else if (limit == 3) n = BoundedPrintf(text, sizeof text, "%.3X", u & 0xFFFu);
            else if (limit == 4) n = BoundedPrintf(text, sizeof text, "%.4X", u & 0xFFFFu);
            else n = BoundedPrintf(text, sizeof text, "%.8X", u);
            break;
        case kValueHex0x:
            if (limit < 4) n = BoundedPrintf(text, sizeof text, "0x%.1X", u & 0xFu);
            else if (limit == 4) n = BoundedPrintf(text, sizeof text, "0x%.2X", u & 0xFFu);
            else if (limit == 5) n = BoundedPrintf(text, sizeof text, "0x%.3X", u & 0xFFFu);
            else if (limit == 6) n = BoundedPrintf(text, sizeof text, "0x%.4X", u & 0xFFFFu);
            else n = BoundedPrintf(text, sizeof text, "0x%.8X", u);
            break;
        case kValueSeconds: n = FormatTimeHMSms(text, gValueAs<double>(value)); break;
        // Half a millisecond more, so that the truncating time text shows the exact count
        // (3723004 * 0.001 lies just below 3723.004).
        case kValueMillis: n = FormatTimeHMSms(text, (u + 0.5) * 0.001); break;
        case kValueTimeSpan:
            n = TimeSpanText(text, value > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX
                                                                          : static_cast<int64_t>(value));
            break;
        case kValueAngle:
            n = FormatDouble(13, 3, gValueAs<double>(value), text);
            if (!editing && n + 1 < static_cast<int>(sizeof text)) {
                text[n++] = static_cast<char>(0xB0);
                text[n] = '\0';
            }
            break;
        case kValuePercent: {
            double v = gValueAs<double>(value);
            if (v > 1e-12 && v < 0.1) {
                n = BoundedPrintf(text, 23, "%.12f%%", v);
            } else {
                n = FormatDouble(13, 3, v, text);
                if (!editing && n + 1 < static_cast<int>(sizeof text)) {
                    text[n++] = '%';
                    text[n] = '\0';
                }
            }
            break;
        }
        case kValueFloat: n = FormatDoubleDigits(9, 3, gValueAs<float>(value), text); break;
        case kValueDouble: n = FormatDoubleDigits(12, 3, gValueAs<double>(value), text); break;
        default: buffer[0] = '\0'; return 0;
    }
    if (n < 0) n = 0;
    size_t len = std::min(static_cast<size_t>(n), size - 1);
    std::memcpy(buffer, text, len);
    buffer[len] = '\0';
    return static_cast<int>(len);
}

bool gWgtFormatValue(gElement* e, char* buffer, size_t size) {
    if (e == nullptr || !gIsValueKind(e->kind) || buffer == nullptr || size == 0) return false;
    gValueRecord* r = gWgtValueRecord(e, false);
    if (r == nullptr) return false;
    const gEditState* edit = gWgtEdit(e);
    int n = gFormatValueText(e->kind, r->value, e->textLimit, edit != nullptr && edit->editing != 0, buffer, size);
    gWgtSetTextN(e, buffer, n);
    return true;
}

bool gWgtFormatValue(gElement* e) {
    char buffer[96];
    return gWgtFormatValue(e, buffer, sizeof buffer);
}

}  // namespace orva
