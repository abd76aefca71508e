#pragma once
// Value ranges of element types, the smallest type that holds a value, and the
// finishing of a statistics record (mean, sample standard deviation, sample type).
#include <cstdint>

namespace orva {

// An element type word and the number of bits its values need.
struct SampleTypeInfo {
    uint32_t type = 0;
    uint32_t bits = 0;
};

// Statistics of a run of values. The accumulators fill the sums; ChooseSampleType
// then turns `sum` into the mean and `sumSquares` into the standard deviation.
struct DataInfo {
    double minimum = 0.0;
    double maximum = 0.0;
    double sumSquares = 0.0;  // on success: the standard deviation
    double sum = 0.0;         // on success: the mean
    double total = 0.0;       // the plain sum
    int64_t count = 0;        // values gathered
    // Room for the accumulators' own fields; the second is the value the scaled sums
    // were taken about (their shift), which the finishing adds back to the mean.
    double accumulatorReserved[2] = {0.0, 0.0};
    SampleTypeInfo sampleType;
    // With the "scaled" flag: every value was multiplied by 1/n before it was summed.
    int64_t n = 0;
};

// 1.7976931348623157e308 with a minus sign: the mark of a value that is not set.
constexpr double kStatisticUnset = -1.7976931348623157e308;

// The highest size bit of an element type (mask 0x7F), 0 when none.
uint32_t TypeFlagHighestBit(uint32_t type);

// Lowest and highest value of an element type (0..1 when no size bit is set).
void SampleTypeRange(uint32_t type, double* minimum, double* maximum);

// The smallest element type, and the bits, that hold a non-negative value.
void MinTypeForValue(SampleTypeInfo* record, double value);

// Finishes a statistics record. `scaled` tells that sum and sumSquares were
// gathered over values multiplied by 1/n. False (and the record marked empty)
// when the count is 0, a bound is not finite or minimum > maximum.
bool ChooseSampleType(DataInfo* info, bool scaled);

// An axis mapping indices to coordinates: coordinate = offset + index × step.
struct LinearAxis {
    double step = 0.0;
    double offset = 0.0;
};

struct LinearRange {
    double low = 0.0;
    double high = 0.0;
};

// The coordinates offset - a × step .. offset + b × step; an empty range is widened
// by 1.0 at the top. False (range untouched) when the step or the offset is unset
// or a bound is not finite.
bool LinearRangeFromIndices(const LinearAxis* axis, LinearRange* range, double a, double b);

}  // namespace orva
