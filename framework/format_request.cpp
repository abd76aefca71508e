#include "framework/format_request.h"

#include <bit>

#include "common/global_buffer.h"

namespace orva {

namespace {

// Byte-order bits of a format descriptor's allowed-type mask.
constexpr uint32_t kAllowSwappedOrder = 0x80;
constexpr uint32_t kAllowNativeOrder = 0x8000;
// Integer size bits that have an unsigned form (8, 16, 32, 64 bits and 24).
constexpr uint32_t kIntegerSizeBits = 0x2F;

}  // namespace

uint32_t NormalizeFormatWord(uint32_t t) {
    if ((t & kFormatRealOnlyBits) != 0 && (t & 0x40) == 0) t &= ~kFormatRealOnlyBits;
    if ((t & kFormatRealBits) != 0)
        t &= ~kFormatUnsigned;
    else if ((t & 0x01) != 0)
        t &= ~kFormatSwapped;
    return t;
}

uint32_t NormalizeFormatWord(uint32_t t, uint32_t m) {
    t = NormalizeFormatWord(t);
    if (m == 0) {
        if ((t & kFormatSizeBits) == 0) t = (t & ~0x1FFu) | 0x40;
        return t;
    }
    // Byte order, when the mask allows only one of them.
    const bool maskSwapped = (m & kAllowSwappedOrder) != 0, maskNative = (m & kAllowNativeOrder) != 0;
    if ((t & 0x01) == 0 && maskSwapped != maskNative) {
        if ((t & kFormatSwapped) != 0 && !maskSwapped)
            t &= ~kFormatSwapped;
        else if ((t & kFormatSwapped) == 0 && !maskNative)
            t |= kFormatSwapped;
    }
    // Sign.
    if ((t & kIntegerSizeBits) != 0 && (t & kFormatRealBits) == 0 && (m & 0x2F7F) != 0) {
        const uint32_t size = t & kIntegerSizeBits;
        if ((t & kFormatUnsigned) != 0) {
            if ((m & (size << 8)) == 0) t &= ~kFormatUnsigned;
        } else if ((m & size) == 0 && (m & (size << 8)) != 0) {
            t |= kFormatUnsigned;
        }
    }
    // No size: the largest the mask allows.
    if ((t & kFormatSizeBits) == 0) {
        t &= ~0x17Fu;
        uint32_t b = std::bit_floor(m & kFormatSizeBits);
        if (b != 0)
            t |= b;
        else if ((b = std::bit_floor((m >> 8) & kIntegerSizeBits)) != 0)
            t |= b | kFormatUnsigned;
        if ((t & 0x01) != 0) t &= ~kFormatSwapped;
    }
    return t;
}

uint32_t FormatElementSize(uint32_t word) {
    const uint32_t size = word & kFormatSizeBits;
    return size == 0 ? 0 : ElementSizeOfType(static_cast<int32_t>(size));
}

uint32_t ClampFormatChannels(uint32_t channels) {
    if (channels == 0) return 1;
    return channels > kFormatMaxChannels ? kFormatMaxChannels : channels;
}

uint32_t ClampFormatDims(uint32_t dims) {
    if (dims == 0) return 1;
    return dims > 3 ? 3 : dims;
}

}  // namespace orva
