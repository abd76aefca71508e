#pragma once
// Curves of byte values drawn as polylines into 8-bit masks and 24-bit images (for
// previews and histograms), and the scaling of samples of any element type to bytes.
#include <cstdint>

#include "data/element_type.h"

namespace orva {

// ---- Plots --------------------------------------------------------------------------------

// Width (also the row length in pixels) and height of a bitmap. Row 0 is the top row.
struct BitmapSize {
    int32_t width = 0;
    int32_t height = 0;
};

// A pixel position: column and row.
struct PlotPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// Bresenham lines including both end points. `rowLength` is in pixels; 8-bit lines are
// drawn with 255, 24-bit lines with the low three bytes of `colour` (lowest byte first
// in memory). The caller keeps the end points inside the bitmap.
void DrawLine8(uint8_t* bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
               int32_t rowLength);
void DrawLineRgb(uint8_t* bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                 uint32_t colour, int32_t rowLength);

// One curve of `count` byte values spread over the bitmap's width: value i at column
// (i × step) >> 16 with step = width × 65536 / count, row (height - 1) - value (rows
// above the top are drawn in row 0); consecutive points are joined by lines. Returns
// the last point; nothing is drawn (and {0, 0} returned) for an empty bitmap, a count
// of 0 or a null pointer.
PlotPoint PlotCurve8(const uint8_t* values, uint8_t* bitmap, const BitmapSize* size,
                     uint32_t count);
PlotPoint PlotCurveRgb(const uint8_t* values, uint8_t* bitmap, const BitmapSize* size,
                       uint32_t count, uint32_t colour);
// The same with the values taken every `stride` bytes.
PlotPoint PlotCurveRgbStrided(const uint8_t* values, uint8_t* bitmap, uint32_t stride,
                              const BitmapSize* size, uint32_t count, uint32_t colour);

// One curve per channel of interleaved values (stride = channels), channel c in colour
// c mod 19 of the first colour table (channel 0 in 0x0000FF), or in colour
// c mod colourCount of the given table. Returns the last point of the last channel.
PlotPoint PlotChannelsInterleaved(const uint8_t* values, uint8_t* bitmap, uint32_t channels,
                                  const BitmapSize* size, uint32_t count);
PlotPoint PlotChannelsInterleavedColours(const uint8_t* values, uint8_t* bitmap,
                                         uint32_t channels, const BitmapSize* size,
                                         uint32_t count, const uint32_t* colours,
                                         uint32_t colourCount);
// The same for planar values: channel c starts count bytes after channel c - 1.
PlotPoint PlotChannelsPlanar(const uint8_t* values, uint8_t* bitmap, uint32_t channels,
                             const BitmapSize* size, uint32_t count);
PlotPoint PlotChannelsPlanarColours(const uint8_t* values, uint8_t* bitmap, uint32_t channels,
                                    const BitmapSize* size, uint32_t count,
                                    const uint32_t* colours, uint32_t colourCount);

// The five plot colour tables of 19 colours each (`CurveColourTables`).
constexpr uint32_t kCurveColourCount = 19;
void GetCurveColourTables(const uint32_t* tables[5], uint32_t* count);

// ---- Scaling samples to bytes -----------------------------------------------------------------

// Scale and offset of ScaleToBytesInPlace.
struct ByteScale {
    double scale = 1.0;
    double offset = 0.0;
};

// Sample s becomes y = s × scale + offset, then a byte: 255 for +infinity, a NaN with a
// clear sign bit, and y >= 254.5; 0 for -infinity, a NaN with its sign bit set, and
// y < 0.5; else y rounded to the nearest whole number (halves up).
uint8_t ScaleSampleToByte(double s, double scale, double offset);

// Converts `count` samples at the start of `buffer` into `count` bytes at its start
// (each byte overwrites the samples already read). 64-bit real samples at or below
// -1.7976931348623157e308 (unset) give 0. The type is taken by its flags 0x40, 0x10,
// 0x20, 0x08, 0x02, 0x01 in this order (0x100 unsigned); any other type converts nothing.
void ScaleToBytesInPlace(const ByteScale* scale, ElementType type, void* buffer,
                         uint32_t count);

// The same from `source` into a separate `target`; unset 64-bit real samples give 0
// only when `skipUnset` is true.
void ScaleToBytes(uint8_t* target, ElementType type, const void* source, uint32_t count,
                  double scale, double offset, bool skipUnset);

}  // namespace orva
