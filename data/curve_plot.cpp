#include "data/curve_plot.h"

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "data/sample_load.h"

namespace orva {

namespace {

const uint32_t kColourTables[5][kCurveColourCount] = {
    {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00, 0xAAAAAA, 0x00AAFF, 0x00FFAA,
     0xFF00AA, 0xFFAAFF, 0xFFFFAA, 0xAAAAFF, 0xB4FFAA, 0xFFAAAA, 0xAAFFFF, 0xAA50FF, 0xAAFF50,
     0xFF50AA},
    {0xB4B4FF, 0xB4FFB4, 0xFFB4B4, 0xB4FFFF, 0xFFB4FF, 0xFFFFB4, 0xC8C8C8, 0xB4C8FF, 0xB4FFC8,
     0xFFB4C8, 0xFFB4FF, 0xFFFFC8, 0xC8C8FF, 0xC8FFC8, 0xFFC8C8, 0xC8FFFF, 0xC896FF, 0xC8FF96,
     0xFF96C8},
    {0xC8C8FF, 0xC8FFC8, 0xFFC8C8, 0xC8FFFF, 0xFFC8FF, 0xFFFFC8, 0xC8C8C8, 0xC8C8F5, 0xB4F5C8,
     0xF5C8C8, 0xF5C8F5, 0xF5F5C8, 0xC8C8F5, 0xC8F5C8, 0xFFC8C8, 0xC8F5F5, 0xC8B4F5, 0xC8F5B4,
     0xF5B4C8},
    {0x0000B4, 0x00B400, 0xB40000, 0x00B4B4, 0xB400B4, 0xB4B400, 0x787878, 0x0064B4, 0x00B464,
     0xB40064, 0xB464B4, 0xB4B464, 0x6464B4, 0x6EB464, 0xB46464, 0x64B4B4, 0x6432B4, 0x64B432,
     0xB43264},
    {0x000078, 0x007800, 0x780000, 0x007878, 0x780078, 0x787800, 0x505050, 0x005078, 0x007850,
     0x780050, 0x785078, 0x787850, 0x505078, 0x5A7850, 0x785050, 0x507878, 0x501478, 0x507814,
     0x781450},
};

// Walks a Bresenham line from (x0, y0) to (x1, y1), both ends included, calling
// put(x, y) for every pixel. The longer axis counts the steps; the error term starts
// at twice the shorter distance minus the longer one.
template <class Put>
void WalkLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Put put) {
    const int64_t dx = std::llabs(int64_t{x1} - x0);
    const int64_t dy = std::llabs(int64_t{y1} - y0);
    const int32_t sx = x1 >= x0 ? 1 : -1;
    const int32_t sy = y1 >= y0 ? 1 : -1;
    int32_t x = x0, y = y0;
    if (dx >= dy) {
        int64_t d = 2 * dy - dx;
        for (int64_t i = 0; i <= dx; ++i) {
            put(x, y);
            if (d > 0) {
                y += sy;
                d -= 2 * dx;
            }
            d += 2 * dy;
            x += sx;
        }
    } else {
        int64_t d = 2 * dx - dy;
        for (int64_t i = 0; i <= dy; ++i) {
            put(x, y);
            if (d > 0) {
                x += sx;
                d -= 2 * dy;
            }
            d += 2 * dx;
            y += sy;
        }
    }
}

inline void PutRgb(uint8_t* px, uint32_t colour) {
    px[0] = static_cast<uint8_t>(colour);
    px[1] = static_cast<uint8_t>(colour >> 8);
    px[2] = static_cast<uint8_t>(colour >> 16);
}

// Draws one curve through `line(x0, y0, x1, y1)`; values[i × stride] are the bytes.
template <class Line>
PlotPoint PlotCurve(const uint8_t* values, size_t stride, const BitmapSize* size,
                    uint32_t count, Line line) {
    if (values == nullptr || size == nullptr || count == 0 || size->width <= 0 ||
        size->height <= 0) {
        return PlotPoint{};
    }
    const int64_t step = (int64_t{size->width} << 16) / count;
    const int32_t top = size->height - 1;
    auto row = [top](uint8_t v) { return top - v < 0 ? 0 : top - v; };
    int64_t x = 0;
    PlotPoint last{0, row(values[0])};
    for (uint32_t i = 1; i < count; ++i) {
        x += step;
        const PlotPoint next{static_cast<int32_t>(x >> 16), row(values[size_t{i} * stride])};
        line(last.x, last.y, next.x, next.y);
        last = next;
    }
    return last;
}

PlotPoint PlotRgb(const uint8_t* values, uint8_t* bitmap, size_t stride, const BitmapSize* size,
                  uint32_t count, uint32_t colour) {
    if (bitmap == nullptr) return PlotPoint{};
    const int32_t w = size != nullptr ? size->width : 0;
    return PlotCurve(values, stride, size, count,
                     [=](int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
                         DrawLineRgb(bitmap, x0, y0, x1, y1, colour, w);
                     });
}

}  // namespace

void DrawLine8(uint8_t* bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
               int32_t rowLength) {
    if (bitmap == nullptr) return;
    WalkLine(x0, y0, x1, y1, [=](int32_t x, int32_t y) {
        bitmap[int64_t{y} * rowLength + x] = 255;
    });
}

void DrawLineRgb(uint8_t* bitmap, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                 uint32_t colour, int32_t rowLength) {
    if (bitmap == nullptr) return;
    WalkLine(x0, y0, x1, y1, [=](int32_t x, int32_t y) {
        PutRgb(bitmap + (int64_t{y} * rowLength + x) * 3, colour);
    });
}

PlotPoint PlotCurve8(const uint8_t* values, uint8_t* bitmap, const BitmapSize* size,
                     uint32_t count) {
    if (bitmap == nullptr) return PlotPoint{};
    const int32_t w = size != nullptr ? size->width : 0;
    return PlotCurve(values, 1, size, count, [=](int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        DrawLine8(bitmap, x0, y0, x1, y1, w);
    });
}

PlotPoint PlotCurveRgb(const uint8_t* values, uint8_t* bitmap, const BitmapSize* size,
                       uint32_t count, uint32_t colour) {
    return PlotRgb(values, bitmap, 1, size, count, colour);
}

PlotPoint PlotCurveRgbStrided(const uint8_t* values, uint8_t* bitmap, uint32_t stride,
                              const BitmapSize* size, uint32_t count, uint32_t colour) {
    return PlotRgb(values, bitmap, stride, size, count, colour);
}

PlotPoint PlotChannelsInterleavedColours(const uint8_t* values, uint8_t* bitmap,
                                         uint32_t channels, const BitmapSize* size,
                                         uint32_t count, const uint32_t* colours,
                                         uint32_t colourCount) {
    PlotPoint last{};
    if (values == nullptr || colours == nullptr || colourCount == 0) return last;
    for (uint32_t c = 0; c < channels; ++c) {
        last = PlotRgb(values + c, bitmap, channels, size, count, colours[c % colourCount]);
    }
    return last;
}

PlotPoint PlotChannelsInterleaved(const uint8_t* values, uint8_t* bitmap, uint32_t channels,
                                  const BitmapSize* size, uint32_t count) {
    return PlotChannelsInterleavedColours(values, bitmap, channels, size, count,
                                          kColourTables[0], kCurveColourCount);
}

PlotPoint PlotChannelsPlanarColours(const uint8_t* values, uint8_t* bitmap, uint32_t channels,
                                    const BitmapSize* size, uint32_t count,
                                    const uint32_t* colours, uint32_t colourCount) {
    PlotPoint last{};
    if (values == nullptr || colours == nullptr || colourCount == 0) return last;
    for (uint32_t c = 0; c < channels; ++c) {
        last = PlotRgb(values + size_t{c} * count, bitmap, 1, size, count,
                       colours[c % colourCount]);
    }
    return last;
}

PlotPoint PlotChannelsPlanar(const uint8_t* values, uint8_t* bitmap, uint32_t channels,
                             const BitmapSize* size, uint32_t count) {
    return PlotChannelsPlanarColours(values, bitmap, channels, size, count, kColourTables[0],
                                     kCurveColourCount);
}

void GetCurveColourTables(const uint32_t* tables[5], uint32_t* count) {
    if (tables != nullptr) {
        for (int t = 0; t < 5; ++t) tables[t] = kColourTables[t];
    }
    if (count != nullptr) *count = kCurveColourCount;
}

// ---- Scaling to bytes -------------------------------------------------------------------------

uint8_t ScaleSampleToByte(double s, double scale, double offset) {
    const double y = s * scale + offset;
    if (!(std::fabs(y) <= DBL_MAX)) return std::signbit(y) ? 0 : 255;
    if (y >= 254.5) return 255;
    if (!(y >= 0.5)) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(y + 0.5));
}

namespace {

// Reads sample i before byte i is written: the byte lies at or before the sample's
// first byte, so a forward walk never overwrites a sample it has yet to read.
template <class T>
void ScaleRun(uint8_t* target, const unsigned char* source, uint32_t count, double scale,
              double offset, bool skipUnset) {
    for (uint32_t i = 0; i < count; ++i) {
        const double s = sample_load::ToDouble(sample_load::Load<T, false>(source, i));
        uint8_t b;
        if constexpr (std::is_same_v<T, double>) {
            b = skipUnset && s <= -DBL_MAX ? 0 : ScaleSampleToByte(s, scale, offset);
        } else {
            b = ScaleSampleToByte(s, scale, offset);
        }
        target[i] = b;
    }
}

void ScaleDispatch(uint8_t* target, ElementType type, const void* source, uint32_t count,
                   double scale, double offset, bool skipUnset) {
    if (target == nullptr || source == nullptr || count == 0) return;
    const unsigned char* p = static_cast<const unsigned char*>(source);
    const bool u = (type & kElemUnsigned) != 0;
    if (type & kElemReal64) {
        ScaleRun<double>(target, p, count, scale, offset, skipUnset);
    } else if (type & kElemReal32) {
        ScaleRun<float>(target, p, count, scale, offset, false);
    } else if (type & kElemInt64) {
        u ? ScaleRun<uint64_t>(target, p, count, scale, offset, false)
          : ScaleRun<int64_t>(target, p, count, scale, offset, false);
    } else if (type & kElemInt32) {
        u ? ScaleRun<uint32_t>(target, p, count, scale, offset, false)
          : ScaleRun<int32_t>(target, p, count, scale, offset, false);
    } else if (type & kElemInt16) {
        u ? ScaleRun<uint16_t>(target, p, count, scale, offset, false)
          : ScaleRun<int16_t>(target, p, count, scale, offset, false);
    } else if (type & kElemInt8) {
        u ? ScaleRun<uint8_t>(target, p, count, scale, offset, false)
          : ScaleRun<int8_t>(target, p, count, scale, offset, false);
    } else {
        return;
    }
    // Overflow, underflow and invalid operations of the scaling leave no trace in the
    // floating-point status; the inexact flag alone is left as it is.
    if (std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT) != 0) std::feclearexcept(FE_ALL_EXCEPT);
}

}  // namespace

void ScaleToBytesInPlace(const ByteScale* scale, ElementType type, void* buffer,
                         uint32_t count) {
    if (scale == nullptr) return;
    ScaleDispatch(static_cast<uint8_t*>(buffer), type, buffer, count, scale->scale, scale->offset,
                  true);
}

void ScaleToBytes(uint8_t* target, ElementType type, const void* source, uint32_t count,
                  double scale, double offset, bool skipUnset) {
    ScaleDispatch(target, type, source, count, scale, offset, skipUnset);
}

}  // namespace orva
