#pragma once
// Kernels that measure sample buffers without changing them: minimum and maximum
// scans over strided runs of any element type, the statistics accumulator for runs
// already converted to doubles, and the dual accumulators that read raw integer
// samples as signed and as unsigned at once (for the signedness test).
//
// All are plain functions over caller buffers and caller records: no allocation,
// no lock, no state between calls. A count of zero or less does nothing.
#include <cstdint>

#include "common/sample_type.h"
#include "data/element_type.h"

namespace orva {

// ---- Minimum and maximum scans ------------------------------------------------------

// Callers start a pair at {+DBL_MAX, -DBL_MAX}; a pair still holding those after a
// scan means that nothing was found.
struct MinMaxPair {
    double minimum;
    double maximum;
};

// Folds data[first], data[first + stride], ... (count samples; index and stride in
// elements) into the pair. Integer samples convert to double (unsigned as unsigned,
// 64-bit unsigned correctly rounded). Non-finite samples (NaN, +-infinity) are
// skipped one by one: they never hide the finite samples of the run.
using MinMaxKernel = void (*)(const void* data, uint32_t count, uint32_t first, uint32_t stride,
                              MinMaxPair* pair);

// The scan of an element type: 0x40, 0x10, 0x20, 0x08, 0x02, 0x01 tested in this
// order, 0x100 choosing the unsigned integer kernel. The byte-order flag is ignored
// (the scan reads machine order) unless `swapped` asks for the kernels that reverse
// the bytes of every sample (8-bit data has nothing to reverse). Null for a type
// without a scan (such as 0x04).
MinMaxKernel SelectMinMaxKernel(ElementType type, bool swapped = false);

// ---- Statistics accumulator for 64-bit reals ------------------------------------------

// The accumulator keeps its multiplier in the record's first reserved field and the
// narrowest element type in sampleType.type (0 while every value is whole, 0x10 when
// a fraction fits a 32-bit real, 0x40 when a 64-bit real is needed).
inline double& DataInfoFactor(DataInfo& info) { return info.accumulatorReserved[0]; }
inline double DataInfoFactor(const DataInfo& info) { return info.accumulatorReserved[0]; }
// And the value its sums are taken about (chosen from the first values folded, so that
// the spread of values far from zero does not cancel).
inline double& DataInfoShift(DataInfo& info) { return info.accumulatorReserved[1]; }

// Clears a record for a run over `n` values in all: minimum +DBL_MAX, maximum
// -DBL_MAX, sums and count 0, factor 1/n (1.0 when n is 0), sample type 0.
void DataInfoStart(DataInfo* info, uint64_t n);

// Folds `count` values into the record: extremes, sum of value × factor, sum of
// squares of value × factor (saturating at +DBL_MAX), count of valid values and the
// narrowest type. Values equal to -DBL_MAX (missing) and non-finite values are skipped
// and not counted.
void InfoKernelReal64(const double* values, int32_t count, DataInfo* info);

// ---- Dual accumulators for integer data ---------------------------------------------

struct DualDataInfo {
    uint8_t swap = 0;  // nonzero: 16-, 32- and 64-bit samples are byte-reversed first
    double signedMinimum = 0.0;
    double signedMaximum = 0.0;
    double signedSumSquares = 0.0;
    double signedSum = 0.0;
    double unsignedMinimum = 0.0;
    double unsignedMaximum = 0.0;
    double unsignedSumSquares = 0.0;
    double unsignedSum = 0.0;
    uint32_t count = 0;  // wraps at 2^32
};

// Reads each sample once as signed and once as unsigned and folds both readings into
// their own extremes and f64 sums; the count grows by `count`.
using DualInfoKernel = void (*)(const void* data, int32_t count, DualDataInfo* info);

struct InfoKernelChoice {
    uint32_t key = 0;
    DualInfoKernel kernel = nullptr;
};

struct DualInfoKernelRow {
    ElementType type;
    DualInfoKernel kernel;
};
// Rows 0x01, 0x101, 0x02, 0x102, 0x08, 0x108, 0x20, 0x120, then a zero row.
extern const DualInfoKernelRow DualInfoKernelTable[9];

// Chooses the dual accumulator of an integer type (the byte-order flag plays no part).
// A real type or one absent from the table logs "DConvInfoSelect(): unkn. types...",
// clears the choice and fails; a zero key clears it and fails quietly.
bool DConvInfoSelect(InfoKernelChoice* choice, ElementType type);

}  // namespace orva
