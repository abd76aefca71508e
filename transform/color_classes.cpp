#include "transform/color_classes.h"

#include <cmath>
#include <cstring>

namespace orva {

namespace {

struct Rgb {
    uint32_t r, g, b;
};

// A colour before it is put on the output scale (1.0 = full).
struct Colour {
    double r, g, b;
};

// t rounded to the nearest integer, ties to even: 0 below 0.5 or for a value
// that is not a number, 0x7FFFFFFF at or above 2147483646.5.
uint32_t RoundIndex(double t) {
    if (!(t >= 0.5)) return 0;
    if (t >= 2147483646.5) return 0x7FFFFFFF;
    return static_cast<uint32_t>(std::lrint(t));
}

uint32_t Limit(uint32_t v, uint32_t top) { return v < top ? v : top; }

// T(v + 0.5) of the spectrum tables: truncated toward zero, kept on the scale.
uint32_t Trunc(double v, uint32_t full) {
    if (!(v >= 1.0)) return 0;
    return v >= full ? full : static_cast<uint32_t>(v);
}

template <class Word>
void Store(void* entries, size_t i, const Rgb& c) {
    Word* e = static_cast<Word*>(entries) + 3 * i;
    e[0] = static_cast<Word>(c.r);
    e[1] = static_cast<Word>(c.g);
    e[2] = static_cast<Word>(c.b);
}

// ---- Index rules -------------------------------------------------------------------------

// C8 and C6 use the 8-bit index without its upper clamp, so that intensities
// above 1.0 continue their last band.
uint32_t OpenIndex(double x) { return RoundIndex(x * 255.0); }

// ---- Fill functions by kind ---------------------------------------------------------------

using ColourOfIndex = Rgb (*)(uint32_t i);
using ColourOfIndexQ = Rgb (*)(uint32_t i, const ColorQuant& q);
using IndexRule = uint32_t (*)(double x);

template <ColourOfIndex Of, IndexRule Index>
void Fill8(void* entries, size_t n, const double* x, const ColorQuant*) {
    for (size_t i = 0; i < n; ++i) Store<uint8_t>(entries, i, Of(Index(x[i])));
}

template <ColourOfIndex Of, IndexRule Index>
void Fill16(void* entries, size_t n, const double* x, const ColorQuant*) {
    for (size_t i = 0; i < n; ++i) Store<uint16_t>(entries, i, Of(Index(x[i])));
}

template <ColourOfIndex Of>
void FillQuantised(void* entries, size_t n, const double* x, const ColorQuant* q) {
    for (size_t i = 0; i < n; ++i) Store<uint8_t>(entries, i, Of(ColorIndexQuantised(x[i], *q)));
}

template <ColourOfIndexQ Of>
void FillQuantisedWith(void* entries, size_t n, const double* x, const ColorQuant* q) {
    for (size_t i = 0; i < n; ++i) Store<uint8_t>(entries, i, Of(ColorIndexQuantised(x[i], *q), *q));
}

// ---- Grey and the single channels ---------------------------------------------------------

Rgb Grey(uint32_t i) { return {i, i, i}; }
Rgb Red(uint32_t i) { return {i, 0, 0}; }
Rgb Green(uint32_t i) { return {0, i, 0}; }
Rgb Blue(uint32_t i) { return {0, 0, i}; }

// ---- Spectra --------------------------------------------------------------------------------

// The builders on a scale of F (255 or 65535): H = (F + 1) / 2 and
// Q = (F + 1) / 4 bound the segments; c1 and c2 are 1/42 and 2/63 on the 8-bit
// scale, 1/10922 and 2/16383 on the 16-bit one; `dim` is the blue (or red) of
// the non-black end.
struct SpectrumScale {
    uint32_t full;
    double c1;
    double c2;
    uint32_t dim;
};

constexpr SpectrumScale kSpectrum8{255, 1.0 / 42.0, 2.0 / 63.0, 245};
constexpr SpectrumScale kSpectrum16{65535, 1.0 / 10922.0, 2.0 / 16383.0, 65525};

// The segments from Q + 1 on, shared by both builders.
Rgb SpectrumUpper(uint32_t k, const SpectrumScale& s) {
    const uint32_t F = s.full, H = (F + 1) / 2, Q = (F + 1) / 4;
    const double f = F, ratio = f / (f - 1.0), kk = k;
    if (k < H) {
        const double g = (H - 2 + kk) * ratio + 0.5;
        const double b = (s.c1 - (H - 2 + kk) / ((kk - 1.0) * (f - 1.0))) * (H - 1 - kk) * f + 0.5;
        return {0, Trunc(g, F), Trunc(b, F)};
    }
    if (k == H) return {0, F, 0};
    if (k < H + Q) return {Trunc((s.c2 - 1.0 / (f - kk)) * (kk - (H + 1)) * f + 0.5, F), F, 0};
    if (k < F) return {F, Trunc((s.c2 - 1.0 / (kk - H)) * (f - 1.0 - kk) * f + 0.5, F), 0};
    return {F, 4, 0};
}

// Builder A (k = i): black or dim blue at 0, full blue at 1, red at the top.
template <bool Black>
Rgb SpectrumA(uint32_t k, const SpectrumScale& s) {
    const uint32_t F = s.full, H = (F + 1) / 2, Q = (F + 1) / 4;
    const double f = F, ratio = f / (f - 1.0), kk = k;
    if (k == 0) return {0, 0, Black ? 0 : s.dim};
    if (k == 1) return {0, 0, F};
    if (k <= Q) {
        const double g = (s.c1 - (f - kk) / ((H - kk) * (f - 1.0))) * (kk - 2.0) * f + 0.5;
        return {0, Trunc(g, F), Trunc((f - kk) * ratio + 0.5, F)};
    }
    return SpectrumUpper(k, s);
}

// Builder B (k = F − i, so that high intensities are blue).
template <bool Black>
Rgb SpectrumB(uint32_t k, const SpectrumScale& s) {
    const uint32_t F = s.full, H = (F + 1) / 2, Q = (F + 1) / 4;
    const double f = F, ratio = f / (f - 1.0), kk = k;
    if (k == 0) return {0, 0, F};
    if (k <= Q) {
        const double g = (s.c1 - (f - 1.0 - kk) / ((H - 1 - kk) * (f - 1.0))) * (kk - 1.0) * f + 0.5;
        return {0, Trunc(g, F), Trunc((f - 1.0 - kk) * ratio + 0.5, F)};
    }
    if (k == F) return Black ? Rgb{0, 0, 0} : Rgb{s.dim, 4, 0};
    return SpectrumUpper(k, s);
}

Rgb SpectrumBlack8(uint32_t i) { return SpectrumB<true>(255 - i, kSpectrum8); }
Rgb Spectrum8(uint32_t i) { return SpectrumB<false>(255 - i, kSpectrum8); }
Rgb SpectrumReverseBlack8(uint32_t i) { return SpectrumA<true>(i, kSpectrum8); }
Rgb SpectrumReverse8(uint32_t i) { return SpectrumA<false>(i, kSpectrum8); }
Rgb SpectrumBlack16(uint32_t i) { return SpectrumB<true>(65535 - i, kSpectrum16); }
Rgb Spectrum16(uint32_t i) { return SpectrumB<false>(65535 - i, kSpectrum16); }
Rgb SpectrumReverseBlack16(uint32_t i) { return SpectrumA<true>(i, kSpectrum16); }
Rgb SpectrumReverse16(uint32_t i) { return SpectrumA<false>(i, kSpectrum16); }

// ---- C8 and C6 --------------------------------------------------------------------------------

// A product of a 32-bit multiplier (times `unit`: 1, or 257 on the 16-bit
// scale) and the index, rounded and limited to the scale.
uint32_t Product(float multiplier, uint32_t i, double unit, uint32_t full) {
    return Limit(RoundIndex(static_cast<double>(multiplier) * unit * i), full);
}

// The logarithmic top band of C8: E = ln(0.01 i) × 190 (32-bit reals).
float C8Log(uint32_t i) { return std::log(0.01f * static_cast<float>(i)) * 190.0f; }

// C8 below its top band; `redHalf` is the R of the band 155 … 185 (i / 2, or
// i / 4 in the quantised function).
Rgb C8Bands(uint32_t i, uint32_t redHalf) {
    if (i < 31) return {8 * i, 0, 0};
    if (i <= 61) return {Product(4.1f, i, 1, 255), 3 * i, 0};
    if (i <= 92) {
        const uint32_t v = Product(2.7f, i, 1, 255);
        return {v, v, 0};
    }
    if (i <= 123) return {0, 2 * i, 0};
    if (i <= 154) {
        const uint32_t v = Product(1.6f, i, 1, 255);
        return {i, v, v};
    }
    if (i <= 185) return {redHalf, i / 2, Product(1.37f, i, 1, 255)};
    return {Product(0.7f, i, 1, 255), 0, Product(1.17f, i, 1, 255)};
}

Rgb C8Top(uint32_t e) { return {Limit(e + 20, 255), Limit(e, 255), Limit(e + 100, 255)}; }

Rgb C8(uint32_t i) {
    if (i <= 216) return C8Bands(i, i / 2);
    const double e = C8Log(i);
    return {Limit(RoundIndex(e + 20.0), 255), Limit(RoundIndex(e), 255), Limit(RoundIndex(e + 100.0), 255)};
}

// The quantised C8: R = i / 4 in the band 155 … 185, and E quantised like an
// intensity before 20 and 100 are added.
Rgb C8Quantised(uint32_t i, const ColorQuant& q) {
    if (i <= 216) return C8Bands(i, i / 4);
    const uint32_t e = RoundIndex(RoundIndex(C8Log(i) * q.levels / 255.0) * q.step);
    return C8Top(e < 255 ? e : 255);
}

// The 16-bit C8: the 8-bit index, every coefficient times 257; R and G of the
// band 155 … 185 are 128.5 × i.
Rgb C8Wide(uint32_t i) {
    constexpr uint32_t F = 65535;
    constexpr double u = 257.0;
    if (i < 31) return {2056 * i, 0, 0};
    if (i <= 61) return {Product(4.1f, i, u, F), 771 * i, 0};
    if (i <= 92) {
        const uint32_t v = Product(2.7f, i, u, F);
        return {v, v, 0};
    }
    if (i <= 123) return {0, 514 * i, 0};
    if (i <= 154) {
        const uint32_t v = Product(1.6f, i, u, F);
        return {257 * i, v, v};
    }
    if (i <= 185) {
        const uint32_t v = Limit(RoundIndex(128.5 * i), F);
        return {v, v, Product(1.37f, i, u, F)};
    }
    if (i <= 216) return {Product(0.7f, i, u, F), 0, Product(1.17f, i, u, F)};
    const double e = std::log(0.01f * static_cast<float>(i)) * 48830.0f;
    return {Limit(RoundIndex(e + 5140.0), F), Limit(RoundIndex(e), F), Limit(RoundIndex(e + 25700.0), F)};
}

// C6 on a scale of 255 × unit (unit 1 or 257).
template <uint32_t Unit>
Rgb C6On(uint32_t i) {
    constexpr uint32_t F = 255 * Unit;
    constexpr double u = Unit;
    if (i <= 15) return {16 * Unit * i, Limit(RoundIndex(static_cast<double>(0.7f) * u * i * i), F), 0};
    if (i <= 31) {
        const uint32_t v = (8 * i + 7) * Unit;
        return {v, v, (i / 8) * i * Unit};
    }
    if (i <= 63) return {0, 4 * Unit * i, 0};
    if (i <= 99) return {0, 2 * Unit * i, Product(2.2f, i, u, F)};
    if (i <= 127) return {0, 0, Product(2.2f, i, u, F)};
    const uint32_t e = RoundIndex(std::log(0.0125f * static_cast<float>(i)) * (200.0f * static_cast<float>(Unit)));
    const uint32_t c = e < F ? e : F;
    return {c, c, e < F - 100 * Unit ? e + 100 * Unit : F};
}

Rgb C6(uint32_t i) { return C6On<1>(i); }
Rgb C6Wide(uint32_t i) { return C6On<257>(i); }

// ---- Hue ramps ------------------------------------------------------------------------------

// The sector conversion of the hue classes: h = H × M; with `greenLift` G is
// q + 0.1 in sector 1. Every channel is then multiplied by V / max(R, G, B).
Colour SectorColour(double H, double S, double V, double M, bool greenLift) {
    const double h = H < 0.0 ? 0.0 : H * M;
    int n = static_cast<int>(h);
    n = n > 5 ? 5 : n;
    const double f = h - n;
    const double p = 1.0 - S, q = 1.0 - f * S, u = 1.0 - (1.0 - f) * S;
    Colour c;
    switch (n) {
        case 0: c = {1.0, u, p}; break;
        case 1: c = {q, greenLift ? q + 0.1 : 1.0, p}; break;
        case 2: c = {p, 1.0, u}; break;
        case 3: c = {p, q, 1.0}; break;
        case 4: c = {u, p, 1.0}; break;
        default: c = {1.0, p, q}; break;
    }
    double top = c.r > c.g ? c.r : c.g;
    top = top > c.b ? top : c.b;
    const double k = top > 0.0 ? V / top : 0.0;
    return {c.r * k, c.g * k, c.b * k};
}

double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }
double AtMost(double v, double top) { return v < top ? v : top; }

Colour HsvRed(double t) {
    const double H = t < 0.9 ? 0.0 : (t < 2.5 ? (t - 0.9) * 0.625 : 1.0);
    const double S = t < 2.2 ? 1.0 : (t < 2.5 ? 1.0 - (t - 2.2) * 3.3333333333333353 : 0.0);
    return SectorColour(H, S, AtMost(t, 1.0), 5.0, false);
}

Colour HsvYellow(double t) {
    const double H = t < 0.6 ? 0.0 : (t < 5.0 ? (t - 0.6) * 0.22727272727272727 : 1.0);
    const double S = t < 4.0 ? 1.0 : (t < 5.0 ? 1.0 - (t - 4.0) : 0.0);
    return SectorColour(H, S, AtMost(t, 1.0), 5.9, true);
}

// The falling hue and rising saturation of "hsv green/red" and "hsv invert blue".
double FallingHue(double t) { return Clamp01(1.0 - 0.4 * t); }
double RisingSaturation(double t) { return t < 0.0 ? 0.0 : (t < 0.4 ? 2.5 * t : 1.0); }

Colour HsvGreenRed(double t) {
    const double V = t < 20.0 ? 1.5 - 0.075 * t : 0.0;
    return SectorColour(FallingHue(t), RisingSaturation(t), V, 5.9, false);
}

Colour HsvInvertBlue(double t) {
    return SectorColour(FallingHue(t), RisingSaturation(t), AtMost(t, 1.0), 5.9, false);
}

// The saturation falls from 1 at t = 2.9 to 0 at t = 3.8, continuously.
Colour HsvGreenCyan(double t) {
    const double S = t < 2.9 ? 1.0 : (t < 3.8 ? 1.0 - (t - 2.9) / 0.9 : 0.0);
    return SectorColour(Clamp01(t * 0.2777777777777778), S, AtMost(t, 2.3), 5.9, true);
}

// "hsv orange" works with a lightness and is not normalised by the maximum.
Colour HsvOrange(double t) {
    const double S0 = t < 3.8 ? 1.0 : (t < 4.3 ? 1.0 - 2.0 * (t - 3.8) : 0.0);
    const double V = AtMost(t, 1.0);
    if (!(V > 0.0)) return {0.0, 0.0, 0.0};
    const double L = S0 == 1.0 ? V * 0.5 : (V - S0) / (1.0 - S0);
    const double m = 2.0 * L - V;
    const double H = t < 0.7 ? 0.0 : (t < 4.3 ? (t - 0.7) * 0.2777777777777778 : 1.0);
    const double h = H * 5.99;
    int n = static_cast<int>(h);
    n = n > 5 ? 5 : n;
    const double d = (h - n) * (V - m);
    switch (n) {
        case 0: return {V, m + d, m};
        case 1: return {V - d, V, m};
        case 2: return {m, V, m + d};
        case 3: return {m, V - d, V};
        case 4: return {m + d, m, V};
        default: return {V, m, V - d};
    }
}

using HueOf = Colour (*)(double t);

// A hue class: its colour of t, K (t = x × K), K′ (t = i × K′ in the quantised
// function) and whether the scaled colour is inverted with R and G exchanged.
struct HueClass {
    HueOf of;
    bool invert;
    double k;
    double kQuantised;
};

constexpr HueClass kHsvRed{HsvRed, false, 2.397, 0.0094};
constexpr HueClass kHsvOrange{HsvOrange, false, 3.57, 0.014};
constexpr HueClass kHsvYellow{HsvYellow, false, 4.335, 0.017};
constexpr HueClass kHsvGreenRed{HsvGreenRed, true, 2.805, 0.011};
constexpr HueClass kHsvGreenCyan{HsvGreenCyan, false, 2.805, 0.011};
constexpr HueClass kHsvInvertBlue{HsvInvertBlue, false, 2.55, 0.01};

Rgb HueOnScale(const HueClass& h, double t, uint32_t full, IndexRule scale) {
    // An intensity that is not a number takes the colour of 0.
    const Colour c = h.of(t == t ? t : 0.0);
    const uint32_t r = scale(c.r), g = scale(c.g), b = scale(c.b);
    if (h.invert) return {full - g, full - r, full - b};
    return {r, g, b};
}

template <const HueClass* H>
void Hue8(void* entries, size_t n, const double* x, const ColorQuant*) {
    for (size_t i = 0; i < n; ++i) Store<uint8_t>(entries, i, HueOnScale(*H, x[i] * H->k, 255, ColorIndex8));
}

template <const HueClass* H>
void Hue16(void* entries, size_t n, const double* x, const ColorQuant*) {
    for (size_t i = 0; i < n; ++i) Store<uint16_t>(entries, i, HueOnScale(*H, x[i] * H->k, 65535, ColorIndex16));
}

template <const HueClass* H>
void HueQuantised(void* entries, size_t n, const double* x, const ColorQuant* q) {
    for (size_t i = 0; i < n; ++i) {
        const double t = ColorIndexQuantised(x[i], *q) * H->kQuantised;
        Store<uint8_t>(entries, i, HueOnScale(*H, t, 255, ColorIndex8));
    }
}

#define ORVA_INDEX_CLASS(key, title, of8, ofq, of16, index8, index16) \
    {key, title, FillQuantised<ofq>, Fill8<of8, index8>, Fill16<of16, index16>, {0, 0}}
#define ORVA_HUE_CLASS(key, title, hue) {key, title, HueQuantised<&hue>, Hue8<&hue>, Hue16<&hue>, {0, 0}}

const ColorClassDesc kClasses[] = {
    ORVA_INDEX_CLASS("userpal", "User  Palette", Grey, Grey, Grey, ColorIndex8, ColorIndex16),
    ORVA_INDEX_CLASS("Grey", "Grey  [Black/White]", Grey, Grey, Grey, ColorIndex8, ColorIndex16),
    ORVA_HUE_CLASS("hsv red", "HSV  [Red]", kHsvRed),
    ORVA_HUE_CLASS("hsv orange", "HSV  [Orange]", kHsvOrange),
    ORVA_HUE_CLASS("hsv yellow", "HSV  [Yellow]", kHsvYellow),
    ORVA_HUE_CLASS("hsv green/red", "HSV  [Green/Red]", kHsvGreenRed),
    ORVA_HUE_CLASS("hsv green/cyan", "HSV  [Green/Cyan]", kHsvGreenCyan),
    ORVA_HUE_CLASS("hsv invert blue", "HSV Invert  [Blue]", kHsvInvertBlue),
    ORVA_INDEX_CLASS("spectrum black", "Spectrum [+ black]", SpectrumBlack8, SpectrumBlack8, SpectrumBlack16,
                     ColorIndex8, ColorIndex16),
    ORVA_INDEX_CLASS("spectrum", "Spectrum", Spectrum8, Spectrum8, Spectrum16, ColorIndex8, ColorIndex16),
    ORVA_INDEX_CLASS("Spectrum reverse black", "Spectrum [reverse + black]", SpectrumReverseBlack8,
                     SpectrumReverseBlack8, SpectrumReverseBlack16, ColorIndex8, ColorIndex16),
    ORVA_INDEX_CLASS("spectrum reverse", "Spectrum [reverse]", SpectrumReverse8, SpectrumReverse8,
                     SpectrumReverse16, ColorIndex8, ColorIndex16),
    {"c8", "C8", FillQuantisedWith<C8Quantised>, Fill8<C8, OpenIndex>, Fill16<C8Wide, OpenIndex>, {0, 0}},
    ORVA_INDEX_CLASS("c6", "C6", C6, C6, C6Wide, OpenIndex, OpenIndex),
    ORVA_INDEX_CLASS("1 channel", "1 Channel", Red, Red, Red, ColorIndex8, ColorIndex16),
    ORVA_INDEX_CLASS("2 channel", "2 Channel", Green, Green, Green, ColorIndex8, ColorIndex16),
    ORVA_INDEX_CLASS("3 channel", "3 Channel", Blue, Blue, Blue, ColorIndex8, ColorIndex16),
};

#undef ORVA_INDEX_CLASS
#undef ORVA_HUE_CLASS

constexpr int kClassCount = static_cast<int>(sizeof kClasses / sizeof kClasses[0]);
static_assert(kClassCount <= kMaxColorClasses);

}  // namespace

uint32_t ColorIndex8(double x) {
    const double t = x * 255.0;
    if (!(t >= 0.5)) return 0;
    return t >= 254.5 ? 255 : static_cast<uint32_t>(std::lrint(t));
}

uint32_t ColorIndex16(double x) {
    const double t = x * 65535.0;
    if (!(t >= 0.5)) return 0;
    return t >= 65534.5 ? 65535 : static_cast<uint32_t>(std::lrint(t));
}

uint32_t ColorIndexQuantised(double x, const ColorQuant& q) {
    const uint32_t i =
        q.levels == 256.0 ? RoundIndex(x * 255.0) : RoundIndex(RoundIndex(x * q.levels) * q.step);
    return Limit(i, 255);
}

int CountColorClasses() { return kClassCount; }

const ColorClassDesc* ColorClassAt(int index) {
    return index >= 0 && index < kClassCount ? &kClasses[index] : nullptr;
}

int FindColorClass(const char* text, size_t length) {
    if (text == nullptr) return -1;
    if (length == 0) length = std::strlen(text);
    if (length == 0) return -1;
    int prefix = -1;
    for (int i = 0; i < kClassCount; ++i) {
        const char* key = kClasses[i].key;
        const size_t keyLength = std::strlen(key);
        if (keyLength < length || std::strncmp(key, text, length) != 0) continue;
        if (keyLength == length) return i;
        if (prefix < 0) prefix = i;
    }
    return prefix;
}

}  // namespace orva
