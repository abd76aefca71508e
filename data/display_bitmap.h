#pragma once
// The 8-bit bitmap a graphics window shows when it draws raw frame samples
// itself (an image held by a window, the lens, the strip under a chart): the
// window puts the samples in and marks the bitmap dirty, and the rendering
// routines of the transformation layer turn them into bytes in place, with a
// range of their own, and resample them to the size the window asks for.
//
// The record lives in the window that owns it; the rendering routines reach it
// through the table below, which the composition root fills at start-up (the
// windows lie below the transformation layer).
#include <cstdint>

#include "common/global_buffer.h"
#include "data/curve_plot.h"

namespace orva {

// Format bits of a bitmap besides the element type.
constexpr uint32_t kBitmapPlanar = 0x10000;    // the channels one after another in a row
constexpr uint32_t kBitmapImage = 0x400000;
constexpr uint32_t kBitmapStrip = 0x800000;    // one row: a strip under a chart

struct DisplayBitmap {
    DisplayBitmap() = default;
    DisplayBitmap(const DisplayBitmap&) = delete;
    DisplayBitmap& operator=(const DisplayBitmap&) = delete;

    uint8_t ready = 0;   // the bytes are valid
    uint8_t dirty = 0;   // new samples were put in
    int32_t width = 0;
    int32_t height = 0;
    // The window's horizontal zoom factor; every resize multiplies it by old / new size.
    double xScale = 1.0;
    // Set: the view transform is reset on the next render, through the window's own
    // routine (the transform is the window's).
    uint8_t resetView = 0;
    void (*resetViewTransform)(void* context) = nullptr;
    void* viewContext = nullptr;
    uint32_t channels = 0;
    // Owns the pixels; `spare` is the second block a resize or a strip draws into
    // (the two are exchanged, so that steady frames allocate nothing).
    TypedBuffer buffer;
    TypedBuffer spare;
    uint32_t elementSize = 0;
    uint32_t pixelBytes = 0;
    uint32_t rowBytes = 0;
    void* pixels = nullptr;
    uint32_t format = 0;
    // byte = value × scale + offset; the inverse scale is 1 / scale.
    double displayScale = 0.0;
    double displayOffset = 0.0;
    double inverseScale = 0.0;
    // The samples' statistics when the window knows them (count 0: none).
    double minimum = 0.0;
    double maximum = 0.0;
    double sigma = 0.0;
    double mean = 0.0;
    uint64_t statisticsCount = 0;
};

// A target size of a render: width and height (a negative side mirrors that axis).
using RenderTarget = BitmapSize;

// One row of samples for the preview of a chart: pixels, channels, samples per
// channel, element type (with kBitmapPlanar for channels one after another),
// and whether unset 64-bit real samples (-DBL_MAX) are drawn as 0.
struct PreviewRow {
    const void* pixels = nullptr;
    uint32_t channels = 1;
    uint32_t width = 0;
    uint32_t format = 0;
    uint8_t skipUnset = 0;
};

// The curve colours of a preview with more than one channel: a table of colours
// (lowest byte red) and its length.
struct PreviewColours {
    const uint32_t* table = nullptr;
    uint32_t count = 0;
};

// The value interval a preview maps onto its levels.
struct PreviewRange {
    double low = 0.0;
    double high = 0.0;
};

// The rendering interface of the graphics windows; both entries may be empty
// (the window then keeps showing nothing new).
struct DisplayRenderServices {
    // Renders the dirty samples into bytes (resampled to `target` unless it is
    // null); true when the bitmap is ready.
    bool (*renderFrame)(DisplayBitmap* bitmap, const RenderTarget* target, bool fit) = nullptr;
    // Draws a row of samples as curves into the preview bitmap; true when ready.
    bool (*renderPreview)(DisplayBitmap* preview, const PreviewRow& row, const PreviewColours& colours,
                          const PreviewRange& range, const RenderTarget& target) = nullptr;
};

inline DisplayRenderServices& TheDisplayRenderServices() {
    static DisplayRenderServices services;
    return services;
}

}  // namespace orva
