#pragma once
// The option block of the Reduction: every parameter of slice extraction and of
// region statistics, with the setters that normalise a value, store it and
// report whether anything changed (the pages refresh only on a change).
//
// The values are compared and copied as one block; two coefficient-set words
// and four owned texts (the name and three file names) follow it.
#include <cstdint>

namespace orva {

// The slice part of the values, from SliceFlux to the extraction variant (the
// stretch that a paste compares).
struct ReductionSliceValues {
    uint8_t flux = 1;
    uint8_t autoProfile = 1;
    uint8_t removeBackground = 0;  // stored and shown; no kernel reads it
    uint8_t autoWeight = 1;
    uint8_t weighing = 1;
    uint32_t lSmoothAverWin = 7;
    uint32_t flagBadPixInterpolate = 2;
    uint32_t maxBadPixInterpolate = 4;
    double gain = 1.0;
    double noiseSquared = 1.0;     // always the square of noise
    double scale = 1.0;
    double zero = 0.0;
    double fillValue = 0.0;        // given to missing samples that are not interpolated
    double noise = 1.0;
    int32_t extractMethod = 0;     // 0 simple, 1 weighted, 2 optimal
    int32_t extractionVariant = 0; // 0..5, set by the option page; no kernel reads it
    bool operator==(const ReductionSliceValues&) const = default;
};

// The statistic part, from StatIntervalInteger to StatVis.
struct ReductionStatValues {
    uint8_t intervalInteger = 0;
    uint8_t boundaryEnable = 0;
    uint8_t intervalAuto = 1;
    uint8_t weigh = 0;
    double interval = 1.0;
    double boundaryLow = 0.0;
    double boundaryHigh = 255.0;
    int32_t intervalMethod = 4;    // the histogram interval rules 0..8
    int32_t vis = 0;               // 0 histogram, 1 distribution
    bool operator==(const ReductionStatValues&) const = default;
};

struct ReductionValues {
    uint32_t nChannel = 1;         // the selected channel, 1-based
    uint8_t extendedPrecision = 0;
    uint8_t allChannels = 1;
    ReductionSliceValues slice;
    int32_t lSmoothMethod = 0;     // 0 mean or median, 1 mean, 2 median
    ReductionStatValues stat;
    bool operator==(const ReductionValues&) const = default;
};

// The names of the histogram interval rules, by StatIntervalMethod.
constexpr int32_t kStatIntervalMethodCount = 9;
extern const char* const kStatIntervalMethodNames[kStatIntervalMethodCount];

// Limits of the setters.
constexpr double kTwiceDblMin = 4.450147717014403e-308;       // 2 x DBL_MIN
constexpr double kSqrtTwiceDblMin = 2.983336292480083e-154;   // its square root
constexpr double kHalfDblMax = 8.988465674311579e307;         // DBL_MAX / 2
constexpr uint32_t kReductionMaxKeyChannel = 16384;

class ReductionOptions {
public:
    ReductionOptions() = default;
    ReductionOptions(const ReductionOptions&) = delete;
    ReductionOptions& operator=(const ReductionOptions&) = delete;
    ~ReductionOptions();

    // The values back to their defaults (the texts and coefficient words stay).
    void SetDefaults();
    // The values, the three file names as new texts and the name (SetName);
    // nothing when `source` is this block.
    void Copy(const ReductionOptions& source);
    // The values and the file names, not the name.
    void CopyValues(const ReductionOptions& source);
    // "noname" for a missing or empty text. False when memory is short (the old name stays).
    bool SetName(const char* text);
    // Frees the four texts.
    void FreeTexts();

    // ---- Setters: true when the stored value changed.
    bool SetNChannel(uint32_t channel);
    bool ToggleExtendedPrecision();            // true
    bool SetAllChannels(bool on);
    bool SetSliceFlux(bool on);
    bool ToggleSliceAutoProfile();             // true
    bool ToggleSliceRemoveBackground();        // true
    bool ToggleSliceAutoWeight();              // the new value
    bool ToggleSliceWeighing();                // the new value
    bool SetSliceLSmoothAverWin(int64_t window);
    bool SetFlagBadPixInterpolate(int64_t flag);
    bool SetMaxBadPixInterpolate(uint32_t count);
    bool SetGain(double gain);
    bool SetNoise(double noise);
    bool SetScale(double scale);
    bool SetZero(double zero);
    bool SetZeroScale(double zero, double scale);
    bool SetSliceExtractMethod(int64_t method);
    bool SetExtractionVariant(int64_t variant);
    bool SetSliceLSmoothMethod(int64_t method);
    bool SetStatIntervalInteger(bool on);
    bool SetStatBoundaryEnable(bool on);
    bool SetStatIntervalAuto(bool on);
    bool SetStatInterval(double interval);
    bool SetStatBoundary(double low, double high);
    bool SetStatIntervalMethod(int64_t method);
    bool SetStatVis(int64_t vis);
    // Steps through 0..8 (8 wraps to 0, 0 back to 8).
    bool CycleIntervalMethod(bool forward);
    // Steps through 0..1 with wrap-around.
    bool ToggleStatVis(bool forward);
    // Interval 1.0, automatic interval on, method 4 and visibility 0: false
    // when they hold already.
    bool ResetHistogram();

    ReductionValues values;
    // The weighing- and profile-coefficient sets: nothing fills them yet, and
    // they are not copied with the options.
    uint32_t weighingCoefficients = 0;
    uint32_t profileCoefficients = 0;
    char* name = nullptr;                       // owned (malloc)
    char* sliceFileNameWeighCoeff = nullptr;
    char* sliceFileNameProfileCoeff = nullptr;
    char* statFileNameWeighCoeff = nullptr;
};

// The name as shown: the name, or "noname".
const char* ReductionOptionsName(const ReductionOptions& options);

// The rules of the setters, for callers that normalise a value before storing it.
double NormalizeGain(double gain);
double NormalizeScale(double scale);
double NormalizeZero(double zero);
// The noise and its square.
void NormalizeNoise(double noise, double* value, double* square);

// The option clipboard: one block for the program, filled with the defaults at
// start-up and by the pages' copy command.
struct ReductionOptionClipboard {
    ReductionOptions options;
    bool valid = true;
};
ReductionOptionClipboard& TheReductionOptionClipboard();

}  // namespace orva
