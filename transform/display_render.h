#pragma once
// Rendering of raw frame samples into 8-bit display bitmaps without the
// Transformation stage: an automatic range (mean − 2.5σ … mean + 2σ for
// images, the extremes for strips), the bytes, the channels reduced to one or
// three, and a bilinear resize to the size the window asks for. Charts draw
// their strip of samples as curves into a preview bitmap.
//
// The windows call these through TheDisplayRenderServices() (data/display_bitmap.h),
// on the user-interface thread, under the display lock.
#include <cstdint>

#include "common/global_buffer.h"
#include "data/display_bitmap.h"

namespace orva {

// The largest side of a rendered bitmap.
constexpr int32_t kRenderMaxSide = 2024;

// Renders a dirty bitmap. Without a target (or with the present size) the
// bitmap keeps its size; with one it is resized: with `fit` clear it covers the
// target without being enlarged, with `fit` set it fits inside the target. A
// strip (kBitmapStrip) needs a target and is drawn as curves. True when the
// bitmap is ready; a failed resize frees the pixels.
bool RenderFrameToBitmap(DisplayBitmap* bitmap, const RenderTarget* target, bool fit);

// Draws a row of samples as curves (one per channel) into the preview bitmap
// of target.width × target.height pixels, the values mapped from the range onto
// min(target.height, 255) levels. True when the preview is ready.
bool RenderPreview(DisplayBitmap* preview, const PreviewRow& row, const PreviewColours& colours,
                   const PreviewRange& range, const RenderTarget& target);

// Mean and sample standard deviation of n values of an element type (16-bit,
// 32-bit real, 8-bit, 32-bit, 64-bit integers signed and unsigned, 64-bit
// real). n = 1 gives the value (a denormal gives 0) and σ 0. False for n = 0
// or a type without a kernel.
bool SampleStatistics(uint32_t type, const void* values, uint64_t n, double* mean, double* sigma);

// One coefficient of a bilinear resize along an axis: the source index (-1:
// outside the source, the target pixel is 0) and the fraction towards the next one.
struct ResampleEntry {
    int32_t index;
    float fraction;
};

// The coefficients of a resize, |targetWidth| column entries and then
// |targetHeight| row entries, in `block`; a negative target side mirrors that
// axis. nullptr with "Can`t alloc memory for coeff" in the log when the block
// cannot be had.
const ResampleEntry* ResampleCoefficients(GlobalBuffer* block, int32_t sourceWidth, int32_t sourceHeight,
                                          int32_t targetWidth, int32_t targetHeight);
// The entries of one axis into `out` (|target| of them).
void ResampleAxis(ResampleEntry* out, int32_t source, int32_t target);

// Bilinear resize of a byte image of `sourceChannels` bytes a pixel into one of
// `targetChannels` (1 from 1, 3 from 3, or 3 from the first three of more).
// Without coefficients the one-channel resize computes the same positions
// itself and the others clear the target.
void BilinearResize(const uint8_t* source, uint32_t sourceChannels, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* target, uint32_t targetChannels, int32_t targetWidth, int32_t targetHeight,
                    const ResampleEntry* coefficients);

// Gives the buffer `bytes` zero bytes (its block reused by the rule of
// GlobalBufferFit); false when it cannot.
bool SizeZeroedBlock(TypedBuffer* buffer, uint64_t bytes);

}  // namespace orva
