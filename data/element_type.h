#pragma once
// Element types of stored samples and the linear scaling record that every
// numeric kernel receives.
#include <cstdint>
#include <cstring>

namespace orva {

// A 32-bit flag word: width, integer or real, unsigned, and opposite byte order.
// Bits above 0x100 carry layout marks of other modules and are ignored by the kernels.
using ElementType = uint32_t;

constexpr ElementType kElemInt8 = 0x01;       // 8-bit integer
constexpr ElementType kElemInt16 = 0x02;      // 16-bit integer
constexpr ElementType kElemInt24 = 0x04;      // 3-byte integer: described, never converted
constexpr ElementType kElemInt32 = 0x08;      // 32-bit integer
constexpr ElementType kElemReal32 = 0x10;     // IEEE 754 single
constexpr ElementType kElemInt64 = 0x20;      // 64-bit integer
constexpr ElementType kElemReal64 = 0x40;     // IEEE 754 double
constexpr ElementType kElemSwapped = 0x80;    // bytes in the order opposite to the machine's
constexpr ElementType kElemUnsigned = 0x100;  // unsigned (integers only)

constexpr ElementType kElemRealMask = kElemReal32 | kElemReal64;  // 0x50
constexpr ElementType kElemFlagMask = 0x1FF;                      // the nine flag bits

// The ten plain types, in the order in which the conversion table lists its outputs.
constexpr ElementType kTypeF64 = kElemReal64;
constexpr ElementType kTypeF32 = kElemReal32;
constexpr ElementType kTypeI64 = kElemInt64;
constexpr ElementType kTypeU64 = kElemInt64 | kElemUnsigned;
constexpr ElementType kTypeI32 = kElemInt32;
constexpr ElementType kTypeU32 = kElemInt32 | kElemUnsigned;
constexpr ElementType kTypeI16 = kElemInt16;
constexpr ElementType kTypeU16 = kElemInt16 | kElemUnsigned;
constexpr ElementType kTypeI8 = kElemInt8;
constexpr ElementType kTypeU8 = kElemInt8 | kElemUnsigned;
constexpr ElementType kPlainTypes[10] = {kTypeF64, kTypeF32, kTypeI64, kTypeU64, kTypeI32,
                                         kTypeU32, kTypeI16, kTypeU16, kTypeI8,  kTypeU8};

constexpr bool ElementIsReal(ElementType t) { return (t & kElemRealMask) != 0; }
constexpr bool ElementIsUnsigned(ElementType t) {
    return (t & kElemUnsigned) != 0 && !ElementIsReal(t);
}
// True when the data needs byte reversal (8-bit data never does).
constexpr bool ElementIsSwapped(ElementType t) {
    return (t & kElemSwapped) != 0 && (t & kElemInt8) == 0;
}

// Bytes per element: 1, 2, 3, 4 or 8; 0 for a word that names no single width.
constexpr uint32_t ElementSize(ElementType t) {
    switch (t & 0x7F) {
        case kElemInt8: return 1;
        case kElemInt16: return 2;
        case kElemInt24: return 3;
        case kElemInt32: return 4;
        case kElemReal32: return 4;
        case kElemInt64: return 8;
        case kElemReal64: return 8;
        default: return 0;
    }
}
constexpr uint32_t ElementBits(ElementType t) { return ElementSize(t) * 8; }

// Normalised form of a word: only the nine flags; reals never carry 0x100 and
// 8-bit integers never carry 0x80.
constexpr ElementType ElementNormalize(ElementType t) {
    t &= kElemFlagMask;
    if (ElementIsReal(t)) t &= ~kElemUnsigned;
    if (t & kElemInt8) t &= ~kElemSwapped;
    return t;
}

// The linear scaling of stored values: physical = stored * scale + zero.
struct ScaleZero {
    double scale = 1.0;
    double zero = 0.0;
    double spare = 1.0;         // not read by the kernels; 1.0 in the identity record
    uint8_t swap = 0;           // set by DConvSelectIn: the chosen row reads swapped input
    uint8_t specialValues = 0;  // non-zero: denormal, infinite and NaN real inputs are replaced
};

// (1.0, 0.0) is the identity: the scale must be exactly +1.0 (bit for bit) and
// the zero must compare equal to 0.0 (so -0.0 counts, a NaN does not).
inline bool IsIdentity(const ScaleZero& p) {
    const double one = 1.0;
    return std::memcmp(&p.scale, &one, sizeof(double)) == 0 && p.zero == 0.0;
}

}  // namespace orva
