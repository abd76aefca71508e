#pragma once
// Samples packed to a bit count that is not a multiple of 8: 1 to 31 bits each, the
// most significant bit first, one after another with no padding between rows (a
// camera's raw stream, numpy's packbits). They are read as samples of the next wider
// integer type, unpacked on the way from the file; every conversion after that is
// the one of that type.
#include <cstdint>

namespace orva {

// True for 1 to 31 bits that are not a multiple of 8.
constexpr bool IsBitPacked(uint32_t bits) { return bits > 0 && bits < 32 && bits % 8 != 0; }

// The element type bit a packed sample unpacks into: 0x01 up to 8 bits, 0x02 up to 16,
// 0x08 up to 32; 0 for other counts.
constexpr uint32_t PackedElementType(uint32_t bits) {
    return bits == 0 ? 0 : bits <= 8 ? 0x01 : bits <= 16 ? 0x02 : bits <= 32 ? 0x08 : 0;
}

// Unpacks `count` samples of `bits` bits (1 to 32), the first starting `firstBit` bits
// into `in`, into elements of `elementBytes` (1, 2 or 4) in machine order; signed
// samples are sign-extended. Reads ceil((firstBit % 8 + count x bits) / 8) bytes from
// in + firstBit / 8.
void UnpackBits(const uint8_t* in, uint64_t firstBit, uint32_t bits, uint64_t count, bool signedSamples,
                uint32_t elementBytes, void* out);

// The bytes that `length` bytes of packed samples of `bits` bits take once unpacked into
// elements of `elementBytes` (whole samples only); saturates at INT64_MAX.
int64_t UnpackedLength(int64_t length, uint32_t bits, uint32_t elementBytes);

}  // namespace orva
