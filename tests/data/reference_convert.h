#pragma once
// A scalar reference for the numeric kernels, written element by element from the
// rules of the conversions, for the kernel tests to compare against. It shares no
// code with the kernels: values are held as long double (exact for every element
// of every type), bytes are reversed by hand and bounds are tested explicitly.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "data/element_type.h"

namespace orva::ref {

struct TypeInfo {
    int size = 0;
    bool real = false;
    bool isUnsigned = false;
    long double min = 0, max = 0;  // integers only
};

inline TypeInfo Info(ElementType t) {
    TypeInfo i;
    t &= ~kElemSwapped;
    switch (t) {
        case kTypeF64: i = {8, true, false, 0, 0}; break;
        case kTypeF32: i = {4, true, false, 0, 0}; break;
        case kTypeI64: i = {8, false, false, -9223372036854775808.0L, 9223372036854775807.0L}; break;
        case kTypeU64: i = {8, false, true, 0, 18446744073709551615.0L}; break;
        case kTypeI32: i = {4, false, false, -2147483648.0L, 2147483647.0L}; break;
        case kTypeU32: i = {4, false, true, 0, 4294967295.0L}; break;
        case kTypeI16: i = {2, false, false, -32768, 32767}; break;
        case kTypeU16: i = {2, false, true, 0, 65535}; break;
        case kTypeI8: i = {1, false, false, -128, 127}; break;
        case kTypeU8: i = {1, false, true, 0, 255}; break;
        default: break;
    }
    return i;
}

// Copies n bytes, reversing their order when swap is set.
inline void CopyBytes(unsigned char* dst, const unsigned char* src, int n, bool swap) {
    for (int k = 0; k < n; ++k) dst[k] = swap ? src[n - 1 - k] : src[k];
}

// The exact value of one element (native bytes) as long double.
inline long double ValueOf(const unsigned char* b, ElementType t) {
    switch (t & ~kElemSwapped) {
        case kTypeF64: { double v; std::memcpy(&v, b, 8); return v; }
        case kTypeF32: { float v; std::memcpy(&v, b, 4); return v; }
        case kTypeI64: { int64_t v; std::memcpy(&v, b, 8); return static_cast<long double>(v); }
        case kTypeU64: { uint64_t v; std::memcpy(&v, b, 8); return static_cast<long double>(v); }
        case kTypeI32: { int32_t v; std::memcpy(&v, b, 4); return v; }
        case kTypeU32: { uint32_t v; std::memcpy(&v, b, 4); return v; }
        case kTypeI16: { int16_t v; std::memcpy(&v, b, 2); return v; }
        case kTypeU16: { uint16_t v; std::memcpy(&v, b, 2); return v; }
        case kTypeI8: { int8_t v; std::memcpy(&v, b, 1); return v; }
        case kTypeU8: { uint8_t v; std::memcpy(&v, b, 1); return v; }
    }
    return 0;
}

// Writes an integer value that is already within the type's range.
inline void PutInteger(unsigned char* out, ElementType t, long double v) {
    const TypeInfo i = Info(t);
    if (i.isUnsigned) {
        const uint64_t u = static_cast<uint64_t>(v);
        std::memcpy(out, &u, i.size);  // little-endian: the low bytes come first
    } else {
        const int64_t s = static_cast<int64_t>(v);
        std::memcpy(out, &s, i.size);
    }
}

// The highest and lowest value of a type, written to out.
inline void PutExtreme(unsigned char* out, ElementType t, bool lowest) {
    const TypeInfo i = Info(t);
    if ((t & ~kElemSwapped) == kTypeF64) {
        const double v = lowest ? -DBL_MAX : DBL_MAX;
        std::memcpy(out, &v, 8);
    } else if ((t & ~kElemSwapped) == kTypeF32) {
        const float v = lowest ? -FLT_MAX : FLT_MAX;
        std::memcpy(out, &v, 4);
    } else {
        PutInteger(out, t, lowest ? i.min : i.max);
    }
}

// Writes an integer value clamped to the type's bounds.
inline void PutClamped(unsigned char* out, ElementType t, long double v) {
    const TypeInfo i = Info(t);
    PutInteger(out, t, v < i.min ? i.min : v > i.max ? i.max : v);
}

// Real value to integer: NaN gives 0, truncation toward zero, then the bounds.
inline void PutTruncated(unsigned char* out, ElementType t, long double y) {
    PutClamped(out, t, std::isnan(y) ? 0 : std::truncl(y));
}

// Real value to integer: NaN gives 0, halves away from zero, then the bounds.
inline void PutRounded(unsigned char* out, ElementType t, long double y) {
    PutClamped(out, t, std::isnan(y) ? 0 : std::roundl(y));
}

// Double to float with the bounds +-FLT_MAX, NaN kept.
inline float ToFloatClamped(long double y) {
    if (std::isnan(y)) return static_cast<float>(y);
    if (y > FLT_MAX) return FLT_MAX;
    if (y < -FLT_MAX) return -FLT_MAX;
    return static_cast<float>(static_cast<double>(y));  // y is a double here: one rounding
}

// Whether a conversion from a real input honours the special-values flag.
inline bool HonoursSpecial(ElementType in, ElementType out) {
    in &= ~kElemSwapped;
    if (in == kTypeF32) return true;
    if (in == kTypeF64)
        return out == kTypeF64 || out == kTypeI64 || out == kTypeU64 || out == kTypeU32 ||
               out == kTypeU16 || out == kTypeU8;
    return false;
}

// Writes a double result y (from a scaled computation) as the output type.
inline void PutScaledResult(unsigned char* out, ElementType outType, double y) {
    if (outType == kTypeF64) {
        double v = y;
        if (std::isinf(v)) v = v > 0 ? DBL_MAX : -DBL_MAX;  // overflow is stored as +-DBL_MAX
        std::memcpy(out, &v, 8);
    } else if (outType == kTypeF32) {
        const float f = ToFloatClamped(y);
        std::memcpy(out, &f, 4);
    } else {
        PutTruncated(out, outType, y);
    }
}

// Converts one element. in: the element's bytes as stored (reversed when inType
// carries 0x80 and is wider than 8 bits). outType is a plain type.
inline void ConvertElement(const unsigned char* in, ElementType inType, unsigned char* out,
                           ElementType outType, bool scaled, const ScaleZero& p) {
    const TypeInfo ii = Info(inType);
    const TypeInfo oi = Info(outType);
    const bool swapped = (inType & kElemSwapped) != 0 && ii.size > 1;
    const ElementType plainIn = inType & ~kElemSwapped;
    unsigned char native[8];
    CopyBytes(native, in, ii.size, swapped);
    long double x = ValueOf(native, plainIn);

    if (ii.real && p.specialValues && HonoursSpecial(plainIn, outType)) {
        if (std::isnan(x) || std::isinf(x)) {
            const bool negative = (native[ii.size - 1] & 0x80) != 0;
            return PutExtreme(out, outType, negative);
        }
        const long double smallest = plainIn == kTypeF32 ? FLT_MIN : DBL_MIN;
        if (x != 0 && std::fabs(x) < smallest) {
            if (scaled) return PutScaledResult(out, outType, p.zero);
            x = 0;  // plain: the denormal is taken as 0
            std::memset(native, 0, sizeof native);
        }
    }

    if (scaled) {
        double y;
        if (plainIn == kTypeF64 && x == -DBL_MAX) {
            y = -DBL_MAX;  // the "no value" mark is never scaled
        } else {
            const double xd = static_cast<double>(x);  // nearest double of the exact value
            const double product = xd * p.scale;
            y = product + p.zero;
        }
        return PutScaledResult(out, outType, y);
    }

    // Plain conversions.
    if (plainIn == outType) {
        std::memcpy(out, native, ii.size);
        return;
    }
    if (!ii.real && !oi.real) return PutClamped(out, outType, x);
    if (outType == kTypeF64) {
        const double d = static_cast<double>(x);  // exact for reals, one rounding for integers
        std::memcpy(out, &d, 8);
        return;
    }
    if (outType == kTypeF32) {
        float f;
        if (ii.real) f = ToFloatClamped(x);
        else f = static_cast<float>(x);  // nearest float of the exact integer
        std::memcpy(out, &f, 4);
        return;
    }
    PutTruncated(out, outType, x);
}

// In-place scaling of one element of plain type t (machine order). mode 1
// truncates, any other mode rounds halves away from zero.
inline void ScaleElement(unsigned char* e, ElementType t, int mode, const ScaleZero& p) {
    const long double x = ValueOf(e, t);
    if (t == kTypeF64 && x == -DBL_MAX) return;  // the "no value" mark stays
    const double y = static_cast<double>(x) * p.scale + p.zero;
    if (Info(t).real || mode == 1) return PutScaledResult(e, t, y);  // reals, or truncation
    PutRounded(e, t, y);
}

// True when the two elements of type t are equal (any two NaNs are equal).
inline bool SameElement(const unsigned char* a, const unsigned char* b, ElementType t) {
    const TypeInfo i = Info(t);
    if (i.real) {
        const long double x = ValueOf(a, t), y = ValueOf(b, t);
        if (std::isnan(x) && std::isnan(y)) return true;
    }
    return std::memcmp(a, b, i.size) == 0;
}

}  // namespace orva::ref
