#pragma once
// Masks: sets of whole data pixels held as lists of integer rectangles in
// banded form, with union and difference, the bounding box, GL drawing and the
// statistics of the data under a mask.
//
// Banded form, kept by every region these operations and the scan conversion
// produce: rectangles sorted by y0, then x0; rectangles with the same y0 form
// a band and share y0 and y1; within a band they neither overlap nor touch;
// bands do not overlap vertically, and the band merge joins a band to the one
// above it when they touch and hold the same x extents.
#include <cstdint>

#include "common/global_buffer.h"

namespace orva {

// Pixels x0 <= x < x1, y0 <= y < y1; a stored rectangle is never empty.
struct RegionRect {
    int32_t x0;
    int32_t y0;
    int32_t x1;
    int32_t y1;
    bool operator==(const RegionRect&) const = default;
};

// The most rectangles a region block holds (a block of 0x20000000 bytes).
constexpr uint32_t kRegionMaxRects = 0x2000000u;
// A merge result that reserved more than this and uses less than half of it
// gets a smaller block.
constexpr uint32_t kRegionShrinkAbove = 0x80000u;

// What built a region (bits 8 to 15 of its flags); informational only.
constexpr uint32_t kRegionCodeEmpty = 1;
constexpr uint32_t kRegionCodeRect = 2;
constexpr uint32_t kRegionCodePolygon = 8;
constexpr uint32_t kRegionCodeElliptic = 12;

// Flag bit 0: made on the heap by Region::New.
constexpr uint32_t kRegionHeapFlag = 1;

// The rectangle limit every region request is checked against. Tests lower it
// to reach the refusals; SetRegionRectLimit(kRegionMaxRects) restores it.
uint32_t RegionRectLimit();
void SetRegionRectLimit(uint32_t rects);

// The block (GlobalBuffer's size and block) holds `capacity` rectangles;
// `rects` points at it while the region holds or is about to hold rectangles.
class Region : public GlobalBuffer {
public:
    Region() = default;
    ~Region() override;

    // A heap region (flag bit 0 set) with room for n rectangles; nullptr when n
    // passes the limit or memory is short.
    static Region* New(uint32_t n);
    // Deletes a heap region; an embedded one is only freed.
    void Release();

    // Gives the block back: no rectangles, no capacity, box 0, empty code.
    void Free() override;
    // The same, through the region's own slot.
    virtual void Clear();
    // No rectangles, box 0, empty code, no rectangle pointer; the block stays.
    void MakeEmpty();
    // No rectangles, box 0, empty code; the block and the pointer stay.
    void ResetCount();
    // Room for n rectangles with none in use: the block stays when it holds n,
    // else a block of exactly n replaces it. False when n passes the limit or
    // memory is short (the old block stays).
    bool ReserveExact(uint32_t n);
    // The bounding box from the rectangles (0 and no pointer when there are none).
    void RecomputeBox();

    uint32_t ShapeCode() const { return (flags >> 8) & 0xFFu; }
    void SetShapeCode(uint32_t code) { flags = (flags & ~0xFF00u) | ((code & 0xFFu) << 8); }
    bool IsEmpty() const { return count == 0; }
    const RegionRect* begin() const { return rects; }
    const RegionRect* end() const { return rects + count; }

    RegionRect* rects = nullptr;
    uint32_t capacity = 0;
    uint32_t flags = kRegionCodeEmpty << 8;
    uint32_t count = 0;
    RegionRect box{0, 0, 0, 0};  // all 0 while empty
};

// A frame's place in data coordinates and its size in pixels.
struct FrameBox {
    int64_t x = 0;
    int64_t y = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// A region in its own pixel frame, whose (0, 0) lies at the integer origin in
// data coordinates; the scan conversion subtracts the float origin from anchor
// coordinates.
class ShapeRegion : public Region {
public:
    // The box in data coordinates.
    void AbsoluteBox(FrameBox* out) const;

    int32_t originX = 0;
    int32_t originY = 0;
    float floatOriginX = 0.0f;
    float floatOriginY = 0.0f;
};

// ---- Building regions ---------------------------------------------------------------

// Appends (x0, y0, x1, y1), growing the block by the band rule (to twice the
// count plus one when count + 1 reaches the capacity). False when the growth is
// refused; the region then holds what it held.
bool RegionAppendRect(Region* region, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Makes `target` hold the rectangles, count and box of `source`; an empty
// target (false) when the room cannot be had.
bool RegionCopy(Region* target, const Region& source);

// The band callbacks of the merge: they append the rectangles of one band
// piece [top, bot) and answer false when the result could not grow.
using RegionBandOnly = bool (*)(Region* result, const RegionRect* r, const RegionRect* rEnd, int32_t top,
                                int32_t bot);
using RegionBandOverlap = bool (*)(Region* result, const RegionRect* a, const RegionRect* aEnd,
                                   const RegionRect* b, const RegionRect* bEnd, int32_t top, int32_t bot);

// The band merge behind union and difference. The result may be A or B: both
// are read as they were before. False when a block was refused: the result is
// then empty, never a mask with rectangles missing.
bool RegionBandMerge(Region* result, const Region& a, const Region& b, RegionBandOverlap overlap,
                     RegionBandOnly onlyA, RegionBandOnly onlyB);

// Joins the band that starts at curStart to the one at prevStart when they
// touch and hold the same x extents; answers the start of the band the next
// join compares with.
uint32_t RegionCoalesce(Region* region, uint32_t prevStart, uint32_t curStart);

bool RegionAppendBand(Region* result, const RegionRect* r, const RegionRect* rEnd, int32_t top, int32_t bot);
bool RegionUnionBand(Region* result, const RegionRect* a, const RegionRect* aEnd, const RegionRect* b,
                     const RegionRect* bEnd, int32_t top, int32_t bot);
bool RegionSubtractBand(Region* result, const RegionRect* a, const RegionRect* aEnd, const RegionRect* b,
                        const RegionRect* bEnd, int32_t top, int32_t bot);

// result = A ∪ B; its box is the union of the two boxes. The result may be A
// or B. False (result empty) when memory was refused.
bool RegionUnion(Region* result, const Region& a, const Region& b);
// result = A minus B with the exact box. The result may be A. False (result
// empty) when memory was refused.
bool RegionSubtract(Region* result, const Region& a, const Region& b);

// ---- Drawing (GL, the caller's transformation and colour) --------------------------

// One GL quad per rectangle.
void RegionDrawQuads(const Region& region);
// The same; an empty region draws the diagonals of a 4 x 4 square at the origin.
void RegionDrawQuadsOrMark(const Region& region);

// ---- Values under a mask ------------------------------------------------------------

struct RegionStats {
    double minimum = 0.0;
    double maximum = 0.0;
    double sigma = 0.0;
    double mean = 0.0;
    double sum = 0.0;
    uint32_t count = 0;
    uint32_t zero = 0;
};

// Sums of one pass over the values, shifted by the first value v0 so that the
// spread of data with a large mean does not cancel.
struct RegionMoments {
    double v0 = 0.0;
    double shiftedSum = 0.0;      // sum of (v - v0)
    double shiftedSquares = 0.0;  // sum of (v - v0)^2
    double minimum = 1.7976931348623157e308;
    double maximum = -1.7976931348623157e308;
    uint64_t count = 0;
};

// Minimum, maximum, mean, sum and sample sigma from the moments; false when
// there are no values or they are too large to square without overflow. Two
// values give sigma (max - min) / 2.
bool RegionStatsFinish(const RegionMoments& moments, RegionStats* stats);

// The statistics of the frame's values under the mask (every channel of every
// pixel is one value). NaN is never counted; with skipBlank neither is the
// missing mark (-DBL_MAX). False for an empty region, a region outside the
// frame, no countable value or values too large.
bool RegionMinMax(const ShapeRegion& region, const FrameBox& frame, const double* values, uint32_t channels,
                  uint8_t skipBlank, RegionStats* stats);

}  // namespace orva
