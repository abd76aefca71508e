#pragma once
// The format a consumer stage last took from its upstream, kept so that a
// repeated offer of the same format changes nothing, with the buffer that
// holds what the stage cached for it.
#include <cstdint>

#include "common/global_buffer.h"

namespace orva {

struct InputFormatCache {
    uint32_t format = 0;       // the normalised element type word
    uint32_t sizeCode = 0;     // bytes of one element (FormatElementSize)
    uint32_t channels = 0;     // at least 1 once a format was taken
    uint64_t rowBytes = 0;
    uint8_t valid = 0;         // the buffer holds data of this format
    TypedFrameBuffer buffer;   // owned

    // True when the cache holds valid data for the same channel count and the
    // same normalised type word.
    bool Matches(uint32_t channelCount, uint32_t flags) const;
    // Takes a new format: the word normalised, its element size, the channel
    // count (at least 1) and the row size, (count + 1) elements of every
    // channel (of one channel when the word carries 0x10000). Data held for the
    // old format is no longer valid. False, with the row size 0, for a word
    // without size bits.
    bool Update(uint32_t channelCount, uint32_t flags, uint32_t count);
    // Every field cleared, the scale 1.0, the attached object released, the
    // blocks freed (the spare item block only when it holds kItemSpareTrimCount
    // items or more).
    void Reset();
};

// The flag of a format whose channels come one row each.
constexpr uint32_t kFormatRowPerChannel = 0x10000;

}  // namespace orva
