#pragma once
// What the chart window and its 1-D devices share: the ChartParams value object that
// carries the chart's six view memories between the chart and its owner, and the
// statistics of one sample row that the chart shows in its readouts.
#include <atomic>
#include <cfenv>
#include <cstdint>

#include "framework/property_component.h"

namespace orva {

// Clears the floating-point exception flags when the chart's arithmetic raised any (an
// overflow or a NaN of the data), so that they do not reach the code that runs next.
inline void ClearRaisedFlags() {
    if (std::fetestexcept(FE_INVALID | FE_OVERFLOW | FE_UNDERFLOW | FE_DIVBYZERO) != 0) std::feclearexcept(FE_ALL_EXCEPT);
}

class OutPort;

// One view memory of a chart: a y range and a sample interval (empty when
// first >= end).
struct ChartMemory {
    double minimumY = 0.0;
    double maximumY = 0.0;
    int32_t first = 0;
    int32_t end = 0;
};
constexpr int32_t kChartMemories = 6;

// The value object, id "CPAR","DT1D","DEVI","OUTG". Counted; Release at 0 frees it.
// While its own-memories flag is clear, reads go to the process-wide memories (all
// zero at start).
class ChartParams final : public PropertyComponent {
public:
    ChartParams() = default;
    const ComponentId* GetClassId() const override;
    int AddRef() override { return refCount.fetch_add(1) + 1; }
    int Release() override;
    // The clone: a new object (count 1) with the memories copied and its own-memories
    // flag clear.
    bool CreateInstance(PropertyComponent** out) override;
    // Answers its own id only.
    bool QueryInterface(const ComponentId* id, void** out) override;
    // The operation that does nothing, and the two that answer false (the memories are
    // not written to any file).
    uint32_t* Flags() override { return &flags_; }
    void SaveClassParams() override {}
    void LoadClassParams() override {}
    bool Read(const char*) override { return false; }
    bool Write(const char*) override { return false; }
    const char* SettingsFileName() const override { return nullptr; }

    std::atomic<int32_t> refCount{1};
    uint8_t ownMemories = 0;
    ChartMemory memories[kChartMemories];

private:
    ~ChartParams() override = default;
    uint32_t flags_ = 0;
};

// A new object with count 1, or nullptr when memory is short.
ChartParams* ChartParamsCreate();
// The owner's (the port's entry container's) object with `id`, with a reference added;
// when the owner has none, a fresh object is offered to it. False (and *out null) when
// there is no owner or it refuses the object.
bool ChartParamsQuery(OutPort* owner, const ComponentId* id, ChartParams** out);
// View memory min(index, 5): the object's when its own-memories flag is set, else the
// process-wide one; a null object reads the process-wide memories.
const ChartMemory& ChartParamsGetMemory(const ChartParams* params, int32_t index);
// The process-wide memories (tests put them back to zero).
ChartMemory* ChartDefaultMemories();

// ---- Row statistics ---------------------------------------------------------------------

struct RowStats {
    double minimum = 0.0;
    double maximum = 0.0;
    double sigma = 0.0;
    double mean = 0.0;
    double sum = 0.0;
    uint64_t count = 0;
    uint32_t row = 0;
    uint8_t valid = 0;
};

// Statistics of `count` samples, overflow-safe. The range is the given one (minimum,
// maximum) or found from the finite samples (a NaN or infinite extreme, or none,
// gives [0, 0]). Sigma is the sample standard deviation (n - 1), taken from the
// deviations about the mean so that rows far from zero keep their spread. Two samples
// give sigma = (maximum - minimum) / 2; values beyond the
// square root of DBL_MAX take a path of scaled sums whose sigma is the marker -DBL_MIN
// (not computed). The floating-point status flags are cleared when the work raised
// any. `valid` stays 0 when no mean can be had.
void RowStatistics(const double* samples, uint64_t count, RowStats* result, const double* range);
// The marker of a sigma that was not computed (bit pattern 0x8010000000000000).
constexpr double kSigmaNotComputed = -2.2250738585072014e-308;

}  // namespace orva
