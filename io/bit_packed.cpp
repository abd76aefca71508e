#include "io/bit_packed.h"

#include <cstring>
#include <limits>

namespace orva {

void UnpackBits(const uint8_t* in, uint64_t firstBit, uint32_t bits, uint64_t count, bool signedSamples,
                uint32_t elementBytes, void* out) {
    if (in == nullptr || out == nullptr || bits == 0 || bits > 32 || count == 0) return;
    const uint8_t* p = in + firstBit / 8;
    const uint32_t skip = static_cast<uint32_t>(firstBit % 8);
    // Holds fewer than bits + 8 <= 40 unread bits at any time.
    uint64_t held = *p++ & (0xFFu >> skip);
    uint32_t have = 8 - skip;
    const uint64_t mask = (uint64_t{1} << bits) - 1;
    const uint64_t sign = uint64_t{1} << (bits - 1);
    auto* o8 = static_cast<uint8_t*>(out);
    for (uint64_t i = 0; i < count; ++i) {
        while (have < bits) {
            held = (held << 8) | *p++;
            have += 8;
        }
        have -= bits;
        uint64_t v = (held >> have) & mask;
        held &= (uint64_t{1} << have) - 1;
        if (signedSamples && (v & sign)) v |= ~mask;
        switch (elementBytes) {
            case 1: o8[i] = static_cast<uint8_t>(v); break;
            case 2: {
                const uint16_t e = static_cast<uint16_t>(v);
                std::memcpy(o8 + 2 * i, &e, 2);
                break;
            }
            default: {
                const uint32_t e = static_cast<uint32_t>(v);
                std::memcpy(o8 + 4 * i, &e, 4);
                break;
            }
        }
    }
}

int64_t UnpackedLength(int64_t length, uint32_t bits, uint32_t elementBytes) {
    if (length <= 0 || bits == 0) return 0;
    const unsigned __int128 samples = static_cast<unsigned __int128>(length) * 8 / bits;
    const unsigned __int128 bytes = samples * elementBytes;
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    return bytes > static_cast<unsigned __int128>(kMax) ? kMax : static_cast<int64_t>(bytes);
}

}  // namespace orva
