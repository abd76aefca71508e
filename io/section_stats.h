#pragma once
// The two kernels that look at a whole section of a data set without delivering
// it: the statistics kernel (minimum, maximum and sums of the first plane of the
// section's crop box, read whole when small enough and sampled in three bands of
// rows otherwise) and the preview kernel (the section reduced to at most 256
// pixels on its longer side, cached per data set so that asking again reads
// nothing).
//
// Both read with pread through the data set's stream, never past the end of the
// file, and hold the display lock while they touch the file.
#include <cstdint>

#include "common/global_buffer.h"
#include "io/data_set_info.h"

namespace orva {

class DataSet;

// A value scaling {scale, zero, inverse scale}.
struct ScalePair {
    double scale = 1.0;
    double zero = 0.0;
    double inverse = 1.0;
};
// A scale at or below DBL_MIN in magnitude becomes 0 with inverse -DBL_MAX (value 0 or
// negative) or +DBL_MAX; one within DBL_EPSILON of 1 becomes exactly 1; any other s
// keeps s with inverse 1/s.
void ScalePairSetScale(ScalePair* pair, double scale);
// A zero strictly between -1e-307 and 1e-307 becomes 0.
void ScalePairSetZero(ScalePair* pair, double zero);
void ScalePairSet(ScalePair* pair, double scale, double zero);

// The caller's preview record.
struct SectionPreview {
    uint32_t width = 0;
    uint32_t height = 0;
    double zoom = 1.0;               // source pixels per preview pixel
    uint32_t valuesPerPixel = 1;
    uint32_t type = 0;               // 0x40 with the stored type's 0xC00000 bits; 0x101 when empty
    ScalePair scale;
    uint8_t ready = 0;
    // The section's statistics when a valid record was given (its first six fields).
    double minimum = 0.0, maximum = 0.0, deviation = 0.0, mean = 0.0, total = 0.0;
    uint64_t count = 0;
    GlobalBuffer data;               // width x height x valuesPerPixel doubles
    const double* Values() const { return static_cast<const double*>(data.block); }
};

// The statistics kernel: fills `record` for (file frame, section). whole 1: read the
// whole plane or fail (the size limit grows with the processor's speed class); 0:
// sample large planes. `mode` is reserved (0).
bool InputReadKernel2(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                      SectionStatistics* record, int whole, int mode);
bool InputReadKernel2Swapped(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                             SectionStatistics* record, int whole, int mode);
// The preview kernel: `destination` is a SectionPreview; `record` the section's
// statistics when valid, else null.
bool InputReadKernel3(DataSet* dataSet, uint32_t fileFrame, uint32_t section, void* destination,
                      SectionStatistics* record);
bool InputReadKernel3Swapped(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                             void* destination, SectionStatistics* record);

// The byte limit of a whole-plane read for a processor speed class.
uint64_t WholePlaneLimit(int speedClass);

// What the statistics of a whole plane cost: the crop's width and height, its bytes in the
// larger of the stored and the converted (64-bit real) pixels (UINT64_MAX when they do not
// fit), the limit of this processor and whether the bytes exceed it (the whole read is then
// refused).
struct WholePlaneCost {
    uint64_t width = 0, height = 0;
    uint64_t bytes = 0, limit = 0;
    bool over = false;
};
// The cost of (file frame, section)'s first plane; false when it cannot be measured.
bool WholePlaneCostOf(DataSet* d, uint32_t fileFrame, uint32_t section, WholePlaneCost* cost);

// The rows and columns a sampled statistics read takes, and its bands.
struct SectionSample {
    uint64_t rows = 0, columns = 0;       // r, c
    uint64_t bandHeight = 0;              // b (= r for a single band)
    uint64_t gap = 0;                     // rows skipped between bands
    uint64_t lastBand = 0;                // rows of the third band (0 for one band)
};
// The sample of a C x R plane of Q-byte pixels: whole read when `whole` is set.
SectionSample ChooseSectionSample(uint64_t C, uint64_t R, uint64_t Q, bool whole);

// The preview sizes of a C x R section: width, height and the 16.16 step (1 when no
// reduction is needed).
void PreviewSize(uint64_t C, uint64_t R, uint32_t* width, uint32_t* height, uint64_t* step);

// Forgets the cached preview of a data set (a data set that goes away calls it).
void SectionPreviewForget(const DataSet* dataSet);

// Observer of every file read the section kernels and the signedness test make
// (offset, bytes asked); null: none. For tests and diagnostics.
using SectionReadObserver = void (*)(int64_t offset, uint64_t bytes);
void SetSectionReadObserver(SectionReadObserver observer);
// Reads through the observer; never past the file's end. Bytes read, or -1.
int64_t SectionRead(DataSet* dataSet, uint64_t offset, void* buffer, uint64_t bytes);

// The file offset of the first element of the section's crop box (window origin 0),
// the stored row length W and the section's stored rows H; false when the section
// does not exist or a product overflows.
bool SectionOrigin(DataSet* dataSet, uint32_t fileFrame, uint32_t section, uint64_t* offset,
                   uint64_t* rowLength, uint64_t* rows);
// The sections of a file frame (0 when it has none or is held only in part).
uint32_t SectionsInFileFrame(const DataSet* dataSet, uint32_t fileFrame);

}  // namespace orva
