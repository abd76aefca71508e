#pragma once
// The format that two pipeline stages agree on (six words), and the one set of
// rules that every stage, the data set and the format registry apply to its
// element type word: the normalisation and the element size.
#include <cstdint>

namespace orva {

// Offered by a consumer as {0, 0, 1, 1, 0, 0} and overwritten by the upstream's
// NegotiateInput with the format it produces.
struct FormatRequest {
    uint32_t format = 0;    // element type word: size bits 0x7F, swap 0x80, unsigned 0x100, layout bits
    uint32_t element = 0;   // bytes of one element (FormatElementSize of `format`)
    uint32_t channels = 1;  // samples per pixel, 1..kFormatMaxChannels
    uint32_t dims = 1;      // axes of a frame: 1 a row, 2 an image, 3 a cube
    uint32_t tag = 0;       // what describes a frame: 0, or kFormatTagDmap
    uint32_t extra = 0;     // handed on unchanged by every stage
};

// The largest channel count a format carries.
constexpr uint32_t kFormatMaxChannels = 16384;
// Word 4 of a format whose frames come with a data map ("DMAP", first character lowest).
constexpr uint32_t kFormatTagDmap = 0x50414D44;

// Bits that only a 64-bit real (0x40) may carry; other types lose them.
constexpr uint32_t kFormatRealOnlyBits = 0x09200000;
// Type bits of a real element (32-bit 0x10, 64-bit 0x40).
constexpr uint32_t kFormatRealBits = 0x50;
constexpr uint32_t kFormatSizeBits = 0x7F;
constexpr uint32_t kFormatSwapped = 0x80;
constexpr uint32_t kFormatUnsigned = 0x100;

// The element type word as every stage reads it: the real-only bits go from
// other types, a real type loses the unsigned bit, an 8-bit type the swap bit.
// Applying it twice changes nothing.
uint32_t NormalizeFormatWord(uint32_t word);

// The same, then fitted to what a file format allows (the allowed-type mask of
// a format descriptor: bits 0x7F signed or plain sizes, 0x2F00 unsigned sizes,
// 0x80 swapped order, 0x8000 native order). A byte order the mask does not
// allow is turned round, a sign it does not allow is changed, and a word
// without size bits takes the largest size it allows. Mask 0 allows any type
// and gives a word without size bits the 64-bit real.
uint32_t NormalizeFormatWord(uint32_t word, uint32_t allowedTypes);

// Bytes of one element of the word: 1 (0x01), 2 (0x02), 3 (0x04), 4 (0x08 or
// 0x10), 8 (0x20 or 0x40), tested in that order; 0 without size bits.
uint32_t FormatElementSize(uint32_t word);

// True for a format that describes nothing yet: no size bits and word 5 zero.
inline bool FormatIsEmpty(const FormatRequest& f) { return (f.format & kFormatSizeBits) == 0 && f.extra == 0; }

// Channels into 1..kFormatMaxChannels (0 becomes 1), dims into 1..3.
uint32_t ClampFormatChannels(uint32_t channels);
uint32_t ClampFormatDims(uint32_t dims);

}  // namespace orva
