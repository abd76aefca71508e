#include "reduction/reduction_options.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace orva {

const char* const kStatIntervalMethodNames[kStatIntervalMethodCount] = {
    "Sterdzhes: N < 100",
    "3 + 7 * lg(N): N<100",
    "4 * pow(0.75 * (N-1)^2, 1/5), N > 200",
    "Sqrt(N)",
    "5 * lg(N)",
    "4 * lg(N)",
    "Antikurtosis",
    "Kurtosis",
    "Parzen & Rosenblatt (by RMS)",
};

namespace {

constexpr char kNoName[] = "noname";

// Doubles count as changed unless equal (an unordered pair counts as a change).
template <class T>
bool Store(T* field, T value) {
    if (*field == value) return false;
    *field = value;
    return true;
}

int64_t Clamp(int64_t v, int64_t low, int64_t high) { return v < low ? low : (v > high ? high : v); }

bool NearOne(double v) { return std::fabs(v - 1.0) <= DBL_EPSILON; }

// A new copy of the text (nullptr stays nullptr); false when memory is short.
bool DupText(char** target, const char* text) {
    char* copy = nullptr;
    if (text != nullptr && (copy = strdup(text)) == nullptr) return false;
    std::free(*target);
    *target = copy;
    return true;
}

}  // namespace

double NormalizeGain(double gain) {
    const double m = std::fabs(gain);
    if (m < kTwiceDblMin) return 0.0;
    return NearOne(m) ? 1.0 : m;
}

double NormalizeScale(double scale) {
    if (std::fabs(scale) < kTwiceDblMin) return scale > 0.0 ? kTwiceDblMin : -kTwiceDblMin;
    return NearOne(scale) ? 1.0 : scale;
}

double NormalizeZero(double zero) {
    const double m = std::fabs(zero);
    if (m > kHalfDblMax) return zero < 0.0 ? -kHalfDblMax : kHalfDblMax;
    return m < DBL_EPSILON ? 0.0 : zero;
}

void NormalizeNoise(double noise, double* value, double* square) {
    double m = std::fabs(noise);
    double q = 0.0;
    if (m < kSqrtTwiceDblMin) {
        m = 0.0;
    } else if ((q = m * m) < kTwiceDblMin) {
        m = q = 0.0;
    } else if (NearOne(m)) {
        m = q = 1.0;
    }
    *value = m;
    *square = q;
}

ReductionOptions::~ReductionOptions() { FreeTexts(); }

void ReductionOptions::FreeTexts() {
    for (char** text : {&name, &sliceFileNameWeighCoeff, &sliceFileNameProfileCoeff, &statFileNameWeighCoeff}) {
        std::free(*text);
        *text = nullptr;
    }
}

void ReductionOptions::SetDefaults() { values = ReductionValues{}; }

void ReductionOptions::CopyValues(const ReductionOptions& source) {
    if (&source == this) return;
    values = source.values;
    DupText(&sliceFileNameWeighCoeff, source.sliceFileNameWeighCoeff);
    DupText(&sliceFileNameProfileCoeff, source.sliceFileNameProfileCoeff);
    DupText(&statFileNameWeighCoeff, source.statFileNameWeighCoeff);
}

void ReductionOptions::Copy(const ReductionOptions& source) {
    if (&source == this) return;
    CopyValues(source);
    SetName(source.name);
}

bool ReductionOptions::SetName(const char* text) {
    return DupText(&name, text != nullptr && *text != '\0' ? text : kNoName);
}

const char* ReductionOptionsName(const ReductionOptions& options) {
    return options.name != nullptr && *options.name != '\0' ? options.name : kNoName;
}

// ---- Setters --------------------------------------------------------------------------------

bool ReductionOptions::SetNChannel(uint32_t channel) { return Store(&values.nChannel, channel); }

bool ReductionOptions::ToggleExtendedPrecision() {
    values.extendedPrecision = values.extendedPrecision ? 0 : 1;
    return true;
}

bool ReductionOptions::SetAllChannels(bool on) { return Store<uint8_t>(&values.allChannels, on ? 1 : 0); }
bool ReductionOptions::SetSliceFlux(bool on) { return Store<uint8_t>(&values.slice.flux, on ? 1 : 0); }

bool ReductionOptions::ToggleSliceAutoProfile() {
    values.slice.autoProfile = values.slice.autoProfile ? 0 : 1;
    return true;
}

bool ReductionOptions::ToggleSliceRemoveBackground() {
    values.slice.removeBackground = values.slice.removeBackground ? 0 : 1;
    return true;
}

bool ReductionOptions::ToggleSliceAutoWeight() {
    values.slice.autoWeight = values.slice.autoWeight ? 0 : 1;
    return values.slice.autoWeight != 0;
}

bool ReductionOptions::ToggleSliceWeighing() {
    values.slice.weighing = values.slice.weighing ? 0 : 1;
    return values.slice.weighing != 0;
}

bool ReductionOptions::SetSliceLSmoothAverWin(int64_t window) {
    return Store(&values.slice.lSmoothAverWin, static_cast<uint32_t>(Clamp(window, 1, UINT32_MAX)));
}

bool ReductionOptions::SetFlagBadPixInterpolate(int64_t flag) {
    return Store(&values.slice.flagBadPixInterpolate, static_cast<uint32_t>(Clamp(flag, 0, 2)));
}

bool ReductionOptions::SetMaxBadPixInterpolate(uint32_t count) {
    return Store(&values.slice.maxBadPixInterpolate, count);
}

bool ReductionOptions::SetGain(double gain) { return Store(&values.slice.gain, NormalizeGain(gain)); }

bool ReductionOptions::SetNoise(double noise) {
    double value, square;
    NormalizeNoise(noise, &value, &square);
    const bool changed = !(values.slice.noise == value);
    values.slice.noise = value;
    values.slice.noiseSquared = square;
    return changed;
}

bool ReductionOptions::SetScale(double scale) { return Store(&values.slice.scale, NormalizeScale(scale)); }
bool ReductionOptions::SetZero(double zero) { return Store(&values.slice.zero, NormalizeZero(zero)); }

bool ReductionOptions::SetZeroScale(double zero, double scale) {
    const bool a = SetZero(zero);
    const bool b = SetScale(scale);
    return a || b;
}

bool ReductionOptions::SetSliceExtractMethod(int64_t method) {
    return Store(&values.slice.extractMethod, static_cast<int32_t>(Clamp(method, 0, 2)));
}

bool ReductionOptions::SetExtractionVariant(int64_t variant) {
    return Store(&values.slice.extractionVariant, static_cast<int32_t>(Clamp(variant, 0, 5)));
}

bool ReductionOptions::SetSliceLSmoothMethod(int64_t method) {
    return Store(&values.lSmoothMethod, static_cast<int32_t>(Clamp(method, 0, 2)));
}

bool ReductionOptions::SetStatIntervalInteger(bool on) {
    return Store<uint8_t>(&values.stat.intervalInteger, on ? 1 : 0);
}
bool ReductionOptions::SetStatBoundaryEnable(bool on) {
    return Store<uint8_t>(&values.stat.boundaryEnable, on ? 1 : 0);
}
bool ReductionOptions::SetStatIntervalAuto(bool on) { return Store<uint8_t>(&values.stat.intervalAuto, on ? 1 : 0); }

bool ReductionOptions::SetStatInterval(double interval) {
    // A NaN interval would make every histogram rule fail: it counts as the smallest.
    return Store(&values.stat.interval, interval > DBL_MIN ? interval : DBL_MIN);
}

bool ReductionOptions::SetStatBoundary(double low, double high) {
    if (!(low < high)) {
        if (low == HUGE_VAL)
            low = high - 1.0;
        else
            high = low + 1.0;
    }
    const bool a = Store(&values.stat.boundaryLow, low);
    const bool b = Store(&values.stat.boundaryHigh, high);
    return a || b;
}

bool ReductionOptions::SetStatIntervalMethod(int64_t method) {
    return Store(&values.stat.intervalMethod, static_cast<int32_t>(Clamp(method, 0, kStatIntervalMethodCount - 1)));
}

bool ReductionOptions::SetStatVis(int64_t vis) { return Store(&values.stat.vis, static_cast<int32_t>(Clamp(vis, 0, 1))); }

bool ReductionOptions::CycleIntervalMethod(bool forward) {
    int32_t m = values.stat.intervalMethod + (forward ? 1 : -1);
    if (m > kStatIntervalMethodCount - 1) m = 0;
    if (m < 0) m = kStatIntervalMethodCount - 1;
    return SetStatIntervalMethod(m);
}

bool ReductionOptions::ToggleStatVis(bool forward) {
    int32_t v = values.stat.vis + (forward ? 1 : -1);
    if (v > 1) v = 0;
    if (v < 0) v = 1;
    return SetStatVis(v);
}

bool ReductionOptions::ResetHistogram() {
    ReductionStatValues& s = values.stat;
    if (s.interval == 1.0 && s.intervalAuto == 1 && s.vis == 0 && s.intervalMethod == 4) return false;
    s.interval = 1.0;
    s.intervalAuto = 1;
    s.vis = 0;
    s.intervalMethod = 4;
    return true;
}

ReductionOptionClipboard& TheReductionOptionClipboard() {
    static ReductionOptionClipboard clipboard;
    return clipboard;
}

}  // namespace orva
