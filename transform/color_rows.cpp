// Built with -fno-math-errno, like the scaling kernels: lrint is then the one
// rounding instruction (ties to even in the default rounding mode).
#include "data/kernel_pragmas.h"

#include "transform/color_rows.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <type_traits>

#include "data/kernel_util.h"

namespace orva {

namespace {

// The index rule on a scale of 255 (top index 511) or 65535 (top 0x1FFFF).
template <bool Wide>
struct Scale {
    static constexpr double kFactor = Wide ? 65535.0 : 255.0;
    static constexpr double kHigh = Wide ? 131070.5 : 510.5;
    static constexpr double kTop = Wide ? 131071.0 : 511.0;
};

template <bool Wide>
ORVA_INLINE uint32_t IndexOf(double v) {
    double t = v * Scale<Wide>::kFactor;
    t = t >= Scale<Wide>::kHigh ? Scale<Wide>::kTop : t;
    t = t >= 0.5 ? t : 0.0;  // also for NaN
    return static_cast<uint32_t>(std::lrint(t));
}

// The same rule for 16 values at a time, two per vector.
template <bool Wide>
ORVA_INLINE void Indexes16(const double* in, uint32_t* idx) {
    const __m128d factor = _mm_set1_pd(Scale<Wide>::kFactor);
    const __m128d high = _mm_set1_pd(Scale<Wide>::kHigh);
    const __m128d top = _mm_set1_pd(Scale<Wide>::kTop);
    const __m128d half = _mm_set1_pd(0.5);
    for (int k = 0; k < 16; k += 4) {
        __m128d a = _mm_mul_pd(_mm_loadu_pd(in + k), factor);
        __m128d b = _mm_mul_pd(_mm_loadu_pd(in + k + 2), factor);
        const __m128d aHigh = _mm_cmpge_pd(a, high);
        const __m128d bHigh = _mm_cmpge_pd(b, high);
        a = _mm_or_pd(_mm_and_pd(aHigh, top), _mm_andnot_pd(aHigh, a));
        b = _mm_or_pd(_mm_and_pd(bHigh, top), _mm_andnot_pd(bHigh, b));
        a = _mm_and_pd(_mm_cmpge_pd(a, half), a);
        b = _mm_and_pd(_mm_cmpge_pd(b, half), b);
        // Converted in the current rounding mode: to nearest, ties to even.
        const __m128i ia = _mm_cvtpd_epi32(a);
        const __m128i ib = _mm_cvtpd_epi32(b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(idx + k), _mm_unpacklo_epi64(ia, ib));
    }
}

// An entry moved with one load and store of `Move` bytes: the bytes past the
// entry land on the next pixel, whose own store follows.
template <size_t Move>
ORVA_INLINE void CopyWide(uint8_t* out, const uint8_t* entry) {
    unsigned char word[Move];
    std::memcpy(word, entry, Move);
    std::memcpy(out, word, Move);
}

// One channel: every pixel but the last takes its entry with a wider move (the
// palette has slack past its end); the last takes exactly its bytes.
template <bool Wide>
void RowOneChannel(void* out, size_t count, const double* in, const PaletteTable* palette) {
    if (count == 0) return;
    constexpr size_t kBytes = Wide ? 6 : 3;
    constexpr size_t kMove = Wide ? 8 : 4;
    uint8_t* o = static_cast<uint8_t*>(out);
    const uint8_t* p = palette->data;
    const size_t body = count - 1;
    size_t i = 0;
    for (; i + 16 <= body; i += 16) {
        uint32_t idx[16];
        Indexes16<Wide>(in + i, idx);
        for (int k = 0; k < 16; ++k) CopyWide<kMove>(o + (i + k) * kBytes, p + idx[k] * kBytes);
    }
    for (; i < body; ++i) CopyWide<kMove>(o + i * kBytes, p + IndexOf<Wide>(in[i]) * kBytes);
    std::memcpy(o + i * kBytes, p + IndexOf<Wide>(in[i]) * kBytes, kBytes);
}

// Two or three channels: R from the first channel's entry, G from the
// second's, B from the third's or 0; 16 pixels a pass before the remainder.
template <bool Wide, int Channels>
void RowChannels(void* out, size_t count, const double* in, const PaletteTable* palette) {
    using Word = std::conditional_t<Wide, uint16_t, uint8_t>;
    Word* o = static_cast<Word*>(out);
    const Word* p = reinterpret_cast<const Word*>(palette->data);
    size_t i = 0;
    for (; i + 16 <= count; i += 16, in += 16 * Channels, o += 48) {
        uint32_t idx[16 * Channels];
        for (int k = 0; k < Channels; ++k) Indexes16<Wide>(in + 16 * k, idx + 16 * k);
        for (int k = 0; k < 16; ++k) {
            o[3 * k] = p[3 * idx[Channels * k]];
            o[3 * k + 1] = p[3 * idx[Channels * k + 1] + 1];
            o[3 * k + 2] = Channels == 3 ? p[3 * idx[Channels * k + 2] + 2] : Word{0};
        }
    }
    for (; i < count; ++i, in += Channels, o += 3) {
        o[0] = p[3 * IndexOf<Wide>(in[0])];
        o[1] = p[3 * IndexOf<Wide>(in[1]) + 1];
        o[2] = Channels == 3 ? p[3 * IndexOf<Wide>(in[2]) + 2] : Word{0};
    }
}

}  // namespace

void ColorRowNone(void*, size_t, const double*, const PaletteTable*) {}

void ColorRow8x1(void* out, size_t count, const double* in, const PaletteTable* palette) {
    RowOneChannel<false>(out, count, in, palette);
}
void ColorRow8x2(void* out, size_t count, const double* in, const PaletteTable* palette) {
    RowChannels<false, 2>(out, count, in, palette);
}
void ColorRow8x3(void* out, size_t count, const double* in, const PaletteTable* palette) {
    RowChannels<false, 3>(out, count, in, palette);
}
void ColorRow16x1(void* out, size_t count, const double* in, const PaletteTable* palette) {
    RowOneChannel<true>(out, count, in, palette);
}
void ColorRow16x2(void* out, size_t count, const double* in, const PaletteTable* palette) {
    RowChannels<true, 2>(out, count, in, palette);
}
void ColorRow16x3(void* out, size_t count, const double* in, const PaletteTable* palette) {
    RowChannels<true, 3>(out, count, in, palette);
}

ColorRowFn ColorRowFor(bool sixteenBit, uint32_t channels) {
    switch (channels) {
        case 1: return sixteenBit ? ColorRow16x1 : ColorRow8x1;
        case 2: return sixteenBit ? ColorRow16x2 : ColorRow8x2;
        case 3: return sixteenBit ? ColorRow16x3 : ColorRow8x3;
        default: return nullptr;
    }
}

}  // namespace orva
