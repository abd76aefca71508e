#pragma once
// Statistics of 8- and 16-bit integer samples taken on the stored samples themselves:
// extremes and exact integer sums, finished into the same record the 64-bit real
// accumulator (InfoKernelReal64) fills. The section statistics of camera data take
// this road: it reads each sample once, with no conversion to doubles in between, so
// that a pass over a frame costs far less than delivering the frame.
#include <cstddef>
#include <cstdint>

#include "common/sample_type.h"
#include "data/element_type.h"

namespace orva {

// Extremes and sums of the folded samples, all exact.
struct IntegerInfo {
    int64_t minimum = INT64_MAX;
    int64_t maximum = INT64_MIN;
    int64_t sum = 0;                 // of the values
    unsigned __int128 squares = 0;   // of the values squared
    uint64_t count = 0;
    int64_t first = 0;               // the first value folded (valid once count > 0)
};

// Whether the samples of `type` (8- or 16-bit integer, signed or unsigned, either byte
// order) can be folded by IntegerInfoFold.
bool IntegerInfoTakes(ElementType type);

// Folds `count` samples of `type`, `stride` bytes apart (the element size for packed
// samples), read at `source`.
void IntegerInfoFold(const void* source, size_t count, size_t stride, ElementType type, IntegerInfo* info);

// Fills `out` (started by DataInfoStart for the same number of values) as
// InfoKernelReal64 would have filled it from the same values converted to doubles: the
// extremes, the count, the shift (the first value, 0 for a first value of 0), the sum
// of (value - shift) x factor and the sum of its squares; the sample type stays 0
// (every value is whole). The sums are exact here and rounded once, so they may differ
// from the real accumulator's in their last bits.
void IntegerInfoFinish(const IntegerInfo& info, DataInfo* out);

}  // namespace orva
