#pragma once
// Colour correction: amplification, black level, colour mask, inversion,
// gamma and brightening, applied once to a working palette after each rebuild
// (never per pixel). Gamma goes through a table of levels that is rebuilt only
// when its inputs change.
#include <cstddef>
#include <cstdint>

#include "transform/palette_table.h"

namespace orva {

// ColorFlags bits.
constexpr uint32_t kColourInvert = 0x02;           // each channel v becomes its complement
constexpr uint32_t kColourBrighten = 0x04;         // + 50 on every channel, limited to full scale
constexpr uint32_t kColourHalfGamma = 0x08;        // the gamma table even at gamma one, gammas halved
constexpr uint32_t kColourAmplifyEach = 0x10;      // an amplification per channel (else the first for all)
constexpr uint32_t kColourBlackLevelEach = 0x20;   // a black level per channel
constexpr uint32_t kColourGammaEach = 0x40;        // a gamma per channel

// The four channels R, G, B and a fourth; the settings' values and the
// effective ones derived from them with the mask and the flags.
struct ColourCorrection {
    float effectiveAmplification[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float amplification[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    uint8_t amplificationIsOne = 1;
    float effectiveBlackLevel[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float blackLevel[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // in units of full scale
    uint8_t blackLevelIsZero = 1;
    float effectiveGamma[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float gamma[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    uint8_t gammaIsOne = 1;
    uint8_t neutral = 1;
    uint32_t colorMask = 0xFFFFFFFF;  // bytes, lowest first, enable R, G, B, fourth (0xFF on, 0 off)
    uint32_t colorFlags = 0;
};

// The derived values from the settings' values: the three "is one / is zero"
// flags (within 1e-7, 1e-6 and 1e-4 of the neutral value, in 32-bit reals;
// the values concerned then become exactly neutral), the effective values and
// the neutral flag.
void RecomputeColourCorrection(ColourCorrection* c);
// Amplification, black level and gamma neutral, mask 0xFFFFFFFF (ColorFlags
// kept), then the derived values.
void ResetColourCorrection(ColourCorrection* c);
// The full reset of a new record: ColorFlags 0 as well.
void ResetColourCorrectionFully(ColourCorrection* c);
void ResetAmplification(ColourCorrection* c);
void ResetBlackLevel(ColourCorrection* c);
void ResetGamma(ColourCorrection* c);

// Levels of a gamma curve: for each level (256 for 8-bit palettes, 65536 for
// 16-bit ones) four channel values (bytes or 16-bit words). The table is
// owned; it is rebuilt only when the depth, the channel count, the mode or
// the gammas change.
class GammaTable {
public:
    GammaTable() = default;
    ~GammaTable();
    GammaTable(const GammaTable&) = delete;
    GammaTable& operator=(const GammaTable&) = delete;

    // Channel c of a level (no bounds check).
    uint32_t Level(uint32_t level, uint32_t c) const;

    size_t capacity = 0;  // bytes
    uint8_t sixteenBit = 0;
    uint8_t fourChannels = 0;
    uint8_t sameGamma = 0;
    float gammas[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // the gammas the table was built for
    void* data = nullptr;
};

// Makes the table hold the curves of the gammas (gamma[0] for every channel
// in same-gamma mode, which per-channel gammas that are all equal also give),
// each times `factor` when it is not 0. 8-bit levels k = 1 … 254 become
// min(255, T(255 × (k / 255)^(1 / gamma) + 0.5)); 16-bit levels follow the same
// rule with 65535. Level 0 stays 0 and the top level full. False (no table)
// when memory is short.
bool UpdateGammaTable(GammaTable* table, bool sixteenBit, bool fourChannels, const float gamma[4], bool sameGamma,
                      float factor);

// Corrects a working palette in place (a 4-channel one is left as it is
// after the gamma table was brought up to date): levels (amplification, black
// level, mask), inversion, gamma, brightening.
void ApplyColourCorrection(PaletteTable* palette, const ColourCorrection& c, GammaTable* gammaTable);

}  // namespace orva
