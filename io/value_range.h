#pragma once
// Statistics of a set of values as a source hands them downstream, and the
// target record of the value-range requests (codes 130 and 131) in which a
// consumer asks the source for them.
#include <atomic>
#include <cfloat>
#include <cstdint>

#include "common/sample_type.h"
#include "framework/component_id.h"
#include "framework/component_message.h"

namespace orva {

// Value-range requests to a source: 130 takes complete statistics only, 131
// incomplete ones too.
constexpr int32_t kMsgValueRange = 130;
constexpr int32_t kMsgValueRangePartial = 131;

// Statistics of a set of values. An empty range holds min = +DBL_MAX and
// max = −DBL_MAX; rms and mean hold kStatisticUnset (−DBL_MAX) when not known,
// and the sum means something only while the mean is set.
struct ValueRangeRecord {
    double min = DBL_MAX;
    double max = -DBL_MAX;
    double rms = kStatisticUnset;   // root-mean-square deviation from the mean
    double mean = kStatisticUnset;
    double sum = 0.0;
    int64_t count = 0;
};

// ---- Saturating arithmetic ----------------------------------------------------------
// Value statistics never overflow: a result whose exponent is all ones (an infinity
// or a NaN) becomes +DBL_MAX or -DBL_MAX by the sign of the exact result. x is
// updated in place.

// x = x × a × b: x is multiplied first by the factor of the smaller magnitude (b when
// |a| >= |b|), so that a product that fits never overflows on the way.
void MulSaturate(double* x, double a, double b);
// x = a × x + b, evaluated once in that order.
void ScaleOffsetSaturate(double* x, double a, double b);
// x = a × b × x + c formed as (b × x + c / a) × a, without the intermediate a × b × x
// (a = 0 gives c).
void ShiftScaleSaturate(double* x, double a, double b, double c);
// Adds d to every location value of the range (min, max and a set mean); the sum
// moves through the mean and stays as it is while the mean is unset.
void RangeAddSaturate(ValueRangeRecord* range, double d);
// Maps the range through v -> a × v + b: locations, the sum through the mean, the
// spread by |a|; min and max are exchanged when the map reverses them.
void RangeScaleOffsetSaturate(ValueRangeRecord* range, double a, double b);
// Moves statistics of stored values into physical units with a data set's scale s,
// zero z and channel factor f (physical = f × s × stored + z); min and max come out
// ordered, an unset spread or mean stays unset.
void MapRangeToPhysical(ValueRangeRecord* range, double scale, double zero, double factor);

// What a value-range answer holds (the target's flag word).
constexpr uint32_t kValueRangeMinMax = 1;    // min and max
constexpr uint32_t kValueRangeMeanRms = 2;   // mean and rms as well
constexpr uint32_t kValueRangeHeader = 4;    // the data set's stated range (headerRange)
constexpr uint32_t kValueRangeLayout = 8;    // the range the file layout states (layoutRange)

// The target object of a value-range request, class {"STAC", "DTMT", "DIFO",
// "INFO"}: the source fills it. Counted; it starts at 1 and Release at 0 frees it.
class ValueRangeTarget : public MessageTarget {
public:
    // A new target with count 1, or nullptr when memory is short.
    static ValueRangeTarget* Create();

    const ComponentId* GetClassId() const override { return &kDataInfoStackId; }
    int32_t AddRef() override { return refCount.fetch_add(1) + 1; }
    int32_t Release() override;

    ValueRangeRecord range;
    uint32_t flags = 0;
    LinearRange headerRange;
    LinearRange layoutRange;
    // 0 for single-channel data; with several channels the selected channel
    // minus 1, or −1 when the channels are combined.
    int32_t channel = 0;
    std::atomic<int32_t> refCount{1};

private:
    ValueRangeTarget() = default;
    ~ValueRangeTarget() override = default;
};

// The target as a value-range target when it is one, else nullptr.
ValueRangeTarget* AsValueRangeTarget(MessageTarget* target);

}  // namespace orva
