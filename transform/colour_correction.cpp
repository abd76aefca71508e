#include "transform/colour_correction.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orva {

namespace {

// 1/255 as a 32-bit real, as the 8-bit gamma curve takes it.
constexpr double kInverse255 = 0.003921568859368563;
constexpr double kInverse65535 = 1.5259021896696422e-5;
// Added by the brightening flag.
constexpr uint32_t kBrightenStep = 50;

// True when every value concerned (the first, or all four with `each`) lies
// within `tolerance` of `neutral`; they then become exactly `neutral`.
bool SnapToNeutral(float values[4], float neutral, float tolerance, bool each) {
    const int n = each ? 4 : 1;
    for (int c = 0; c < n; ++c) {
        if (!(std::fabs(neutral - values[c]) < tolerance)) return false;
    }
    for (int c = 0; c < n; ++c) values[c] = neutral;
    return true;
}

uint32_t MaskByte(uint32_t mask, uint32_t c) { return (mask >> (8 * c)) & 0xFF; }

// T(y) limited to 0 … full; a value that is not a number gives 0.
uint32_t Level(double y, uint32_t full) {
    if (!(y >= 1.0)) return 0;
    return y >= full ? full : static_cast<uint32_t>(y);
}

// Fills the table's column `c` with the curve of gamma `g` on a scale of `full`.
template <class Word>
void FillCurve(Word* levels, uint32_t c, float g, uint32_t full, double inverse) {
    const double exponent = 1.0 / static_cast<double>(g);
    levels[c] = 0;
    for (uint32_t k = 1; k < full; ++k) {
        const double r = std::pow(k * inverse, exponent);
        levels[4 * k + c] = static_cast<Word>(Level(full * r + 0.5, full));
    }
    levels[4 * size_t{full} + c] = static_cast<Word>(full);
}

template <class Word>
void FillTable(GammaTable* t, uint32_t full, double inverse) {
    Word* levels = static_cast<Word*>(t->data);
    for (uint32_t c = 0; c < 4; ++c) {
        uint32_t same = c;
        for (uint32_t before = 0; before < c; ++before) {
            if (t->gammas[before] == t->gammas[c]) {
                same = before;
                break;
            }
        }
        if (same == c) {
            FillCurve(levels, c, t->gammas[c], full, inverse);
        } else {
            for (uint32_t k = 0; k <= full; ++k) levels[4 * size_t{k} + c] = levels[4 * size_t{k} + same];
        }
    }
}

template <class Word>
void Correct(Word* entries, size_t n, const ColourCorrection& cc, const GammaTable* gamma, uint32_t full) {
    const uint32_t mask = cc.colorMask;
    const uint32_t flags = cc.colorFlags;
    const size_t values = n * 3;
    if (mask != 0xFFFFFFFF || !cc.blackLevelIsZero || !cc.amplificationIsOne) {
        const double F = full;
        if (!cc.amplificationIsOne) {
            for (size_t i = 0; i < values; ++i) {
                const uint32_t c = i % 3;
                const double black = cc.blackLevelIsZero ? 0.0 : cc.effectiveBlackLevel[c] * F;
                entries[i] = static_cast<Word>(Level(entries[i] * double(cc.effectiveAmplification[c]) + black + 0.5, full));
            }
        } else if (!cc.blackLevelIsZero) {
            int64_t offset[3];
            bool cleared[3];
            const bool masked = (mask & 0xFFFFFF) != 0xFFFFFF;
            for (uint32_t c = 0; c < 3; ++c) {
                double o = cc.effectiveBlackLevel[c] * F + 0.5;
                o = o == o ? o : 0.0;
                o = o < -F ? -F : (o > F ? F : o);
                offset[c] = static_cast<int64_t>(o);
                cleared[c] = masked && MaskByte(mask, c) == 0;
            }
            for (size_t i = 0; i < values; ++i) {
                const uint32_t c = i % 3;
                int64_t v = int64_t{entries[i]} + offset[c];
                v = v < 0 ? 0 : (v > full ? full : v);
                entries[i] = cleared[c] ? 0 : static_cast<Word>(v);
            }
        } else {
            // An 8-bit value keeps the bits of its mask byte; a 16-bit one all or none.
            Word bits[3];
            for (uint32_t c = 0; c < 3; ++c) {
                const uint32_t byte = MaskByte(mask, c);
                bits[c] = static_cast<Word>(sizeof(Word) == 1 ? byte : (byte != 0 ? full : 0));
            }
            for (size_t i = 0; i < values; ++i) entries[i] = static_cast<Word>(entries[i] & bits[i % 3]);
        }
    }
    if (flags & kColourInvert) {
        for (size_t i = 0; i < values; ++i) entries[i] = static_cast<Word>(full - entries[i]);
    }
    if (gamma != nullptr) {
        const Word* levels = static_cast<const Word*>(gamma->data);
        for (size_t i = 0; i < values; ++i) entries[i] = levels[4 * size_t{entries[i]} + i % 3];
    }
    if (flags & kColourBrighten) {
        for (size_t i = 0; i < values; ++i) {
            const uint32_t v = entries[i] + kBrightenStep;
            entries[i] = static_cast<Word>(v < full ? v : full);
        }
    }
}

}  // namespace

void RecomputeColourCorrection(ColourCorrection* c) {
    const uint32_t flags = c->colorFlags;
    c->amplificationIsOne = SnapToNeutral(c->amplification, 1.0f, 1e-7f, flags & kColourAmplifyEach);
    c->blackLevelIsZero = SnapToNeutral(c->blackLevel, 0.0f, 1e-6f, flags & kColourBlackLevelEach);
    c->gammaIsOne = SnapToNeutral(c->gamma, 1.0f, 1e-4f, flags & kColourGammaEach);
    const bool allOn = c->colorMask == 0xFFFFFFFF;
    for (uint32_t ch = 0; ch < 4; ++ch) {
        const bool off = !allOn && MaskByte(c->colorMask, ch) == 0;
        const float a = (flags & kColourAmplifyEach) ? c->amplification[ch] : c->amplification[0];
        const float b = (flags & kColourBlackLevelEach) ? c->blackLevel[ch] : c->blackLevel[0];
        c->effectiveAmplification[ch] = off ? 0.0f : a;
        c->effectiveBlackLevel[ch] = off ? 0.0f : b;
        c->effectiveGamma[ch] = (flags & kColourGammaEach) ? c->gamma[ch] : c->gamma[0];
    }
    c->neutral = allOn && c->amplificationIsOne && c->blackLevelIsZero && c->gammaIsOne && flags == 0;
}

void ResetAmplification(ColourCorrection* c) {
    for (float& v : c->amplification) v = 1.0f;
    for (float& v : c->effectiveAmplification) v = 1.0f;
    RecomputeColourCorrection(c);
}

void ResetBlackLevel(ColourCorrection* c) {
    for (float& v : c->blackLevel) v = 0.0f;
    for (float& v : c->effectiveBlackLevel) v = 0.0f;
    RecomputeColourCorrection(c);
}

void ResetGamma(ColourCorrection* c) {
    for (float& v : c->gamma) v = 1.0f;
    for (float& v : c->effectiveGamma) v = 1.0f;
    RecomputeColourCorrection(c);
}

void ResetColourCorrection(ColourCorrection* c) {
    const uint32_t flags = c->colorFlags;
    *c = ColourCorrection();
    c->colorFlags = flags;
    RecomputeColourCorrection(c);
}

void ResetColourCorrectionFully(ColourCorrection* c) {
    c->colorFlags = 0;
    ResetColourCorrection(c);
}

GammaTable::~GammaTable() { std::free(data); }

uint32_t GammaTable::Level(uint32_t level, uint32_t c) const {
    if (sixteenBit) return static_cast<const uint16_t*>(data)[4 * size_t{level} + c];
    return static_cast<const uint8_t*>(data)[4 * size_t{level} + c];
}

bool UpdateGammaTable(GammaTable* t, bool sixteenBit, bool fourChannels, const float gamma[4], bool sameGamma,
                      float factor) {
    const uint32_t channels = fourChannels ? 4 : 3;
    if (!sameGamma) {
        bool equal = true;
        for (uint32_t c = 1; c < channels; ++c) equal = equal && gamma[c] == gamma[0];
        sameGamma = equal;
    }
    float used[4];
    for (uint32_t c = 0; c < 4; ++c) {
        used[c] = sameGamma ? gamma[0] : gamma[c];
        if (factor != 0.0f) used[c] *= factor;
    }
    const bool layoutKept = t->data != nullptr && t->sixteenBit == sixteenBit && t->fourChannels == fourChannels;
    if (layoutKept && t->sameGamma == sameGamma && std::memcmp(t->gammas, used, sizeof used) == 0) return true;
    if (!layoutKept) {
        const size_t need = sixteenBit ? 0x80000 : 1024;
        if (t->data == nullptr || t->capacity < need) {
            std::free(t->data);
            t->data = std::malloc(need);
            t->capacity = t->data != nullptr ? need : 0;
            if (t->data == nullptr) return false;
        }
        t->sixteenBit = sixteenBit;
        t->fourChannels = fourChannels;
    }
    t->sameGamma = sameGamma;
    std::memcpy(t->gammas, used, sizeof used);
    if (sixteenBit) FillTable<uint16_t>(t, 65535, kInverse65535);
    else FillTable<uint8_t>(t, 255, kInverse255);
    return true;
}

void ApplyColourCorrection(PaletteTable* palette, const ColourCorrection& c, GammaTable* gammaTable) {
    const GammaTable* gamma = nullptr;
    if ((!c.gammaIsOne || (c.colorFlags & kColourHalfGamma)) && gammaTable != nullptr) {
        const float factor = (c.colorFlags & kColourHalfGamma) ? 0.5f : 0.0f;
        if (UpdateGammaTable(gammaTable, palette->sixteenBit, palette->fourChannels, c.effectiveGamma,
                             !(c.colorFlags & kColourGammaEach), factor))
            gamma = gammaTable;
    }
    if (palette->fourChannels || palette->data == nullptr) return;
    const size_t n = palette->WorkingEntries();
    if (n * palette->EntryBytes() > palette->capacity) return;
    if (palette->sixteenBit) Correct(reinterpret_cast<uint16_t*>(palette->data), n, c, gamma, 65535);
    else Correct(palette->data, n, c, gamma, 255);
}

}  // namespace orva
