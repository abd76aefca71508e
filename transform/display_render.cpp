#include "data/kernel_pragmas.h"

#include "transform/display_render.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "common/log.h"
#include "common/sample_type.h"
#include "data/byte_swap.h"
#include "data/curve_plot.h"
#include "data/minmax.h"

namespace orva {

namespace {

// Below this the inverse scale of a bitmap counts as unset (its sign is kept).
constexpr double kInverseUnset = 4.450147717014403e-308;
// Scales within this of 1.0 are stored as exactly 1.0.
constexpr double kUnitScale = 2.220446049250313e-16;
// Offsets within this of 0 are stored as 0.
constexpr double kTinyOffset = 1e-307;
// The longest row a strip or a preview takes.
constexpr int32_t kMaxStripWidth = 65535;
constexpr uint32_t kKeptFormatBits = 0xC10000;
constexpr uint32_t kByteFormat = 0x101;

// ---- Statistics --------------------------------------------------------------------------

void FinishSingle(double value, double* mean, double* sigma) {
    *mean = std::fpclassify(value) == FP_SUBNORMAL ? 0.0 : value;
    *sigma = 0.0;
}

// 8- and 16-bit samples: exact integer sums (n is bounded by the largest block,
// so neither sum can overflow), and the variance from them without cancellation.
template <class T>
bool SmallIntegerStatistics(const T* v, uint64_t n, double* mean, double* sigma) {
    int64_t s1 = 0;
    uint64_t s2 = 0;
    for (uint64_t i = 0; i < n; ++i) {
        const int64_t x = v[i];
        s1 += x;
        s2 += static_cast<uint64_t>(x * x);
    }
    if (n == 1) {
        FinishSingle(static_cast<double>(v[0]), mean, sigma);
        return true;
    }
    const double count = static_cast<double>(n);
    *mean = static_cast<double>(s1) / count;
    const __int128 spread = static_cast<__int128>(n) * s2 - static_cast<__int128>(s1) * s1;
    *sigma = spread > 0 ? std::sqrt(static_cast<double>(spread) / (count * (count - 1.0))) : 0.0;
    return true;
}

// Other samples: sums of the distances to the first value in four lanes (data
// with a large mean keep their spread), pre-divided by n when they overflow.
template <class T>
bool RealStatistics(const T* v, uint64_t n, double* mean, double* sigma) {
    const double v0 = static_cast<double>(v[0]);
    if (n == 1) {
        FinishSingle(v0, mean, sigma);
        return true;
    }
    const double count = static_cast<double>(n);
    auto sums = [&](double factor, double* s1, double* s2) {
        double a[4] = {0, 0, 0, 0}, b[4] = {0, 0, 0, 0};
        uint64_t i = 0;
        for (; i + 4 <= n; i += 4) {
            for (int k = 0; k < 4; ++k) {
                const double d = (static_cast<double>(v[i + k]) - v0) * factor;
                a[k] += d;
                b[k] += d * d;
            }
        }
        for (; i < n; ++i) {
            const double d = (static_cast<double>(v[i]) - v0) * factor;
            a[0] += d;
            b[0] += d * d;
        }
        *s1 = (a[0] + a[1]) + (a[2] + a[3]);
        *s2 = (b[0] + b[1]) + (b[2] + b[3]);
    };
    double s1, s2;
    sums(1.0, &s1, &s2);
    double spread, factor;  // σ = sqrt(spread × factor)
    if (std::isfinite(s1) && std::isfinite(s2)) {
        *mean = v0 + s1 / count;
        spread = s2 - s1 * (s1 / count);
        factor = 1.0 / (count - 1.0);
    } else {
        // Sums of the distances over n: their spread is n⁻² of the sums', and
        // σ is formed without its square where the square would overflow.
        sums(1.0 / count, &s1, &s2);
        *mean = v0 + s1;
        spread = s2 - s1 * (s1 / count);
        factor = count * (count / (count - 1.0));
    }
    *sigma = spread > 0.0 ? std::sqrt(spread) * std::sqrt(factor) : (std::isnan(spread) ? spread : 0.0);
    return true;
}

template <class T>
bool Statistics(const void* values, uint64_t n, double* mean, double* sigma) {
    const T* v = static_cast<const T*>(values);
    if constexpr (sizeof(T) <= 2 && std::is_integral_v<T>)
        return SmallIntegerStatistics(v, n, mean, sigma);
    else
        return RealStatistics(v, n, mean, sigma);
}

// ---- Scale and offset -------------------------------------------------------------------------

// Stores a display scale g (its inverse with it) and the offset that goes with it.
void StoreScaleOffset(DisplayBitmap* b, double g, double offset) {
    if (std::fabs(g) <= DBL_MIN) {
        b->displayScale = 0.0;
        b->inverseScale = g <= 0.0 ? -DBL_MAX : DBL_MAX;
    } else if (std::fabs(g - 1.0) < kUnitScale) {
        b->displayScale = 1.0;
        b->inverseScale = 1.0;
    } else {
        b->displayScale = g;
        b->inverseScale = 1.0 / g;
    }
    if (std::fabs(offset) <= kTinyOffset) offset = 0.0;
    b->displayOffset = offset;
}

// Maps low … high onto 0 … levels: the scale keeps the sign the bitmap had, and
// the offset puts `high` at `levels` (±DBL_MAX when that overflows).
void StoreRange(DisplayBitmap* b, double levels, double low, double high) {
    double width = high - low;
    if (!std::isfinite(width) || width >= DBL_MAX) width = DBL_MAX;
    // An empty width (a range at the limits of the type) maps like a width of 1.
    if (!(width > 0.0)) width = 1.0;
    double g = levels / width;
    if (b->displayScale < 0.0) g = -g;
    StoreScaleOffset(b, g, 0.0);
    double offset = levels - b->displayScale * high;
    if (!std::isfinite(offset)) offset = std::signbit(high) != std::signbit(b->displayScale) ? DBL_MAX : -DBL_MAX;
    StoreScaleOffset(b, g, offset);
}

// The range of an image: mean − 2.5σ … mean + 2σ seen through the bitmap's own
// offset and inverse scale, or the element type's whole range without statistics.
void ImageRange(DisplayBitmap* b, uint64_t n, double* low, double* high) {
    const double z = b->displayOffset;
    double k = std::fabs(b->inverseScale);
    if (k < kInverseUnset) k = std::signbit(b->inverseScale) ? -1.0 : 1.0;
    double mean = 0.0, sigma = 0.0;
    bool known;
    if (b->statisticsCount != 0 && b->minimum <= b->maximum) {
        mean = b->mean;
        sigma = b->sigma;
        known = true;
    } else {
        known = SampleStatistics(b->format, b->pixels, n, &mean, &sigma);
    }
    if (!known || sigma == kStatisticUnset) {
        SampleTypeRange(b->format, low, high);
        return;
    }
    *low = (mean - 2.5 * sigma - z) * k;
    *high = (mean + 2.0 * sigma - z) * k;
}

// The extremes of a strip: the bitmap's own, else a scan, else the type's range.
void StripRange(const DisplayBitmap* b, uint64_t n, double* low, double* high) {
    if (b->statisticsCount != 0 && b->minimum <= b->maximum) {
        *low = b->minimum;
        *high = b->maximum;
    } else {
        MinMaxPair pair{DBL_MAX, -DBL_MAX};
        MinMaxKernel scan = SelectMinMaxKernel(b->format & ~kElemSwapped);
        if (scan != nullptr) scan(b->pixels, static_cast<uint32_t>(n), 0, 1, &pair);
        if (scan == nullptr || pair.minimum > pair.maximum) {
            SampleTypeRange(b->format, low, high);
        } else {
            *low = pair.minimum;
            *high = pair.maximum;
        }
    }
    if (!(*high > *low)) *low = *high - 1.0;
}

// ---- Blocks ----------------------------------------------------------------------------------------

void SwapBlocks(TypedBuffer& a, TypedBuffer& b) {
    std::swap(a.block, b.block);
    std::swap(a.size, b.size);
    std::swap(a.data, b.data);
}

// The bitmap's pixels become the byte image of its buffer (or of its spare
// block, exchanged in) with the given geometry.
void TakeImage(DisplayBitmap* b, int32_t width, int32_t height, uint32_t channels) {
    b->width = width;
    b->height = height;
    b->channels = channels;
    b->elementSize = 1;
    b->pixelBytes = channels;
    b->rowBytes = channels * static_cast<uint32_t>(width);
    b->pixels = b->buffer.data;
}

void DropPixels(DisplayBitmap* b) {
    b->buffer.Free();
    b->pixels = nullptr;
    b->ready = 0;
}

bool SideFits(int64_t side) { return side >= 1 && side <= kRenderMaxSide; }

// The channels of a byte image reduced in place: a pair to its mean, four or
// more to the first three.
void ReduceChannels(uint8_t* p, uint64_t pixels, uint32_t channels) {
    if (channels == 2) {
        for (uint64_t i = 0; i < pixels; ++i) p[i] = static_cast<uint8_t>((p[2 * i] + p[2 * i + 1]) >> 1);
    } else if (channels > 3) {
        for (uint64_t i = 0; i < pixels; ++i) {
            const uint8_t* from = p + i * channels;
            uint8_t* to = p + i * 3;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
}

// A size side that follows another in proportion, rounded, at least 1.
int64_t Proportional(int64_t side, int64_t newOther, int64_t oldOther) {
    const double v = std::nearbyint(static_cast<double>(side) * static_cast<double>(newOther) /
                                    static_cast<double>(oldOther));
    return v < 1.0 ? 1 : (v > 1e9 ? static_cast<int64_t>(1e9) : static_cast<int64_t>(v));
}

// The curves of a row of bytes (count samples a channel) into a zeroed image of
// the target size: one channel in 8-bit, more in RGB with the colours.
void PlotRow(const uint8_t* values, uint32_t channels, uint32_t count, bool planar, uint8_t* image,
             const BitmapSize& size, const uint32_t* colours, uint32_t colourCount) {
    if (channels <= 1) {
        PlotCurve8(values, image, &size, count);
    } else if (planar) {
        PlotChannelsPlanarColours(values, image, channels, &size, count, colours, colourCount);
    } else {
        PlotChannelsInterleavedColours(values, image, channels, &size, count, colours, colourCount);
    }
}

bool RenderStrip(DisplayBitmap* b, const RenderTarget* target, uint64_t n) {
    if (target == nullptr || target->width > kMaxStripWidth || !SideFits(target->width) ||
        !SideFits(target->height))
        return false;
    const double levels = std::min(target->height, 255);
    double low, high;
    StripRange(b, n, &low, &high);
    StoreRange(b, levels, low, high);
    const ByteScale scale{b->displayScale, b->displayOffset};
    ScaleToBytesInPlace(&scale, b->format, b->pixels, static_cast<uint32_t>(n));
    const uint32_t sourceChannels = b->channels;
    const uint32_t channels = sourceChannels > 1 ? 3 : 1;
    const bool planar = (b->format & kBitmapPlanar) != 0;
    b->format = (b->format & kKeptFormatBits) | kByteFormat;
    const uint64_t bytes = uint64_t{channels} * static_cast<uint64_t>(target->width) * target->height;
    if (!SizeZeroedBlock(&b->spare, bytes)) {
        DropPixels(b);
        return false;
    }
    const uint32_t* tables[5];
    uint32_t colourCount = 0;
    GetCurveColourTables(tables, &colourCount);
    PlotRow(static_cast<const uint8_t*>(b->pixels), sourceChannels, static_cast<uint32_t>(b->width), planar,
            static_cast<uint8_t*>(b->spare.data), BitmapSize{target->width, target->height}, tables[0], colourCount);
    b->xScale *= static_cast<double>(b->width) / target->width;
    SwapBlocks(b->buffer, b->spare);
    TakeImage(b, target->width, target->height, channels);
    b->ready = 1;
    return true;
}

}  // namespace

// ---- Statistics ------------------------------------------------------------------------------------

bool SampleStatistics(uint32_t type, const void* values, uint64_t n, double* mean, double* sigma) {
    if (n == 0 || values == nullptr || mean == nullptr || sigma == nullptr) return false;
    const bool u = (type & kElemUnsigned) != 0;
    if (type & kElemInt16) return u ? Statistics<uint16_t>(values, n, mean, sigma) : Statistics<int16_t>(values, n, mean, sigma);
    if (type & kElemReal32) return Statistics<float>(values, n, mean, sigma);
    if (type & kElemInt8) return u ? Statistics<uint8_t>(values, n, mean, sigma) : Statistics<int8_t>(values, n, mean, sigma);
    if (type & kElemInt32) return u ? Statistics<uint32_t>(values, n, mean, sigma) : Statistics<int32_t>(values, n, mean, sigma);
    if (type & kElemInt64) return u ? Statistics<uint64_t>(values, n, mean, sigma) : Statistics<int64_t>(values, n, mean, sigma);
    if (type & kElemReal64) return Statistics<double>(values, n, mean, sigma);
    return false;
}

// ---- Resampling --------------------------------------------------------------------------------------

namespace {

// The entries of one axis, one after another: positions in single precision,
// as the coefficient block holds them; a mirrored axis walks from the far end back.
class AxisWalk {
public:
    AxisWalk(int32_t source, int32_t target) : source_(source) {
        const bool mirror = target < 0;
        const float count = static_cast<float>(mirror ? -static_cast<int64_t>(target) : target);
        const float step = static_cast<float>(source) / count;
        x_ = mirror ? static_cast<float>(source) - step * 0.5f - 0.5f : step * 0.5f - 0.5f;
        delta_ = mirror ? -step : step;
    }
    ResampleEntry Next() {
        const float x = x_;
        x_ += delta_;
        const float f = std::floor(x);
        if (!(f >= -1.0f) || f > static_cast<float>(source_ - 1)) return {-1, 0.0f};
        // Before the first sample: its value, not an extrapolation past it.
        if (f < 0.0f) return {0, 0.0f};
        const auto i = static_cast<int32_t>(f);
        return {i, i == source_ - 1 ? 0.0f : x - f};
    }

private:
    int32_t source_;
    float x_;
    float delta_;
};

// Interpolates one value between the samples at `at` and `next` (fx towards the
// next one) on two rows (fy towards the second), rounded and kept in 0 … 255.
inline uint8_t Interpolate(const uint8_t* row0, const uint8_t* row1, size_t at, size_t next, float fx, float fy) {
    float top = row0[at];
    if (fx != 0.0f) top += (static_cast<float>(row0[next]) - top) * fx;
    float value = top;
    if (fy != 0.0f) {
        float bottom = row1[at];
        if (fx != 0.0f) bottom += (static_cast<float>(row1[next]) - bottom) * fx;
        value = top + (bottom - top) * fy;
    }
    const float r = std::nearbyint(value);
    return !(r > 0.0f) ? 0 : (r >= 255.0f ? 255 : static_cast<uint8_t>(r));
}

// Entries from a coefficient block, or walked when there is none.
struct TableEntries {
    const ResampleEntry* table;
    ResampleEntry At(int32_t k) { return table[k]; }
};
struct WalkedEntries {
    AxisWalk walk;
    ResampleEntry At(int32_t) { return walk.Next(); }
};

template <class Rows, class MakeColumns>
void Resize(const uint8_t* source, uint32_t sc, int32_t sw, uint8_t* target, uint32_t out, int32_t tw, int32_t th,
            Rows rows, MakeColumns makeColumns) {
    const size_t rowBytes = static_cast<size_t>(sw) * sc;
    for (int32_t ty = 0; ty < th; ++ty) {
        uint8_t* pixel = target + static_cast<size_t>(ty) * static_cast<size_t>(tw) * out;
        const ResampleEntry r = rows.At(ty);
        if (r.index < 0) {
            std::memset(pixel, 0, static_cast<size_t>(tw) * out);
            continue;
        }
        const uint8_t* row0 = source + static_cast<size_t>(r.index) * rowBytes;
        const uint8_t* row1 = r.fraction != 0.0f ? row0 + rowBytes : row0;
        auto columns = makeColumns();
        for (int32_t tx = 0; tx < tw; ++tx, pixel += out) {
            const ResampleEntry c = columns.At(tx);
            if (c.index < 0) {
                std::memset(pixel, 0, out);
                continue;
            }
            const size_t at = static_cast<size_t>(c.index) * sc;
            for (uint32_t k = 0; k < out; ++k) pixel[k] = Interpolate(row0, row1, at + k, at + sc + k, c.fraction, r.fraction);
        }
    }
}

}  // namespace

void ResampleAxis(ResampleEntry* out, int32_t source, int32_t target) {
    if (out == nullptr || target == 0 || source <= 0) return;
    const int64_t count = std::llabs(static_cast<int64_t>(target));
    AxisWalk walk(source, target);
    for (int64_t k = 0; k < count; ++k) out[k] = walk.Next();
}

const ResampleEntry* ResampleCoefficients(GlobalBuffer* block, int32_t sourceWidth, int32_t sourceHeight,
                                          int32_t targetWidth, int32_t targetHeight) {
    const int64_t columns = std::llabs(static_cast<int64_t>(targetWidth));
    const int64_t rows = std::llabs(static_cast<int64_t>(targetHeight));
    const uint64_t bytes = static_cast<uint64_t>(columns + rows) * sizeof(ResampleEntry);
    if (block == nullptr || bytes == 0 || bytes > kGlobalBufferMaxBytes ||
        !block->Reserve(static_cast<uint32_t>(bytes))) {
        LogPrintf("%s", "Can`t alloc memory for coeff");
        return nullptr;
    }
    auto* entries = static_cast<ResampleEntry*>(block->block);
    ResampleAxis(entries, sourceWidth, targetWidth);
    ResampleAxis(entries + columns, sourceHeight, targetHeight);
    return entries;
}

void BilinearResize(const uint8_t* source, uint32_t sourceChannels, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* target, uint32_t targetChannels, int32_t targetWidth, int32_t targetHeight,
                    const ResampleEntry* coefficients) {
    if (source == nullptr || target == nullptr || sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 ||
        targetHeight <= 0 || sourceChannels < targetChannels || targetChannels == 0)
        return;
    if (coefficients != nullptr) {
        const ResampleEntry* columns = coefficients;
        Resize(source, sourceChannels, sourceWidth, target, targetChannels, targetWidth, targetHeight,
               TableEntries{coefficients + targetWidth}, [columns] { return TableEntries{columns}; });
    } else if (targetChannels == 1) {
        Resize(source, sourceChannels, sourceWidth, target, 1, targetWidth, targetHeight,
               WalkedEntries{AxisWalk(sourceHeight, targetHeight)},
               [&] { return WalkedEntries{AxisWalk(sourceWidth, targetWidth)}; });
    } else {
        std::memset(target, 0, static_cast<size_t>(targetWidth) * static_cast<size_t>(targetHeight) * targetChannels);
    }
}

bool SizeZeroedBlock(TypedBuffer* buffer, uint64_t bytes) {
    if (buffer == nullptr || bytes == 0 || !GlobalBufferFit(buffer, bytes)) return false;
    std::memset(buffer->data, 0, static_cast<size_t>(bytes));
    return true;
}

// ---- Rendering ------------------------------------------------------------------------------------------

bool RenderFrameToBitmap(DisplayBitmap* b, const RenderTarget* target, bool fit) {
    if (b == nullptr || b->pixels == nullptr || b->dirty == 0) return false;
    if (b->resetView != 0) {
        b->resetView = 0;
        if (b->resetViewTransform != nullptr) b->resetViewTransform(b->viewContext);
    }
    const bool strip = (b->format & kBitmapStrip) != 0;
    if (b->width <= 0 || b->channels == 0 || (!strip && b->height <= 0)) return false;
    const uint32_t elementSize = ElementSizeOfType(static_cast<int32_t>(b->format & kElemFlagMask));
    uint64_t n = uint64_t{static_cast<uint32_t>(b->width)} * b->channels;
    if (!strip) n *= static_cast<uint32_t>(b->height);
    // Samples that claim more than their block holds are not read.
    if (elementSize == 0 || n > kGlobalBufferMaxBytes / elementSize ||
        (b->pixels == b->buffer.block && n * elementSize > b->buffer.size))
        return false;
    if ((b->format & kElemSwapped) != 0 && elementSize > 1) {
        if (SwapRoutine swap = ByteSwapSelect(b->format & kElemFlagMask)) swap(b->pixels, static_cast<int64_t>(n));
    }
    b->dirty = 0;
    b->ready = 0;
    if (strip) return RenderStrip(b, target, n);

    double low = 0.0, high = 0.0;
    ImageRange(b, n, &low, &high);
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0.0;
        high = 1.0;
    }
    if (!(high > low)) high = low + 1.0;
    StoreRange(b, 255.0, low, high);
    const ByteScale scale{b->displayScale, b->displayOffset};
    ScaleToBytesInPlace(&scale, b->format, b->pixels, static_cast<uint32_t>(n));

    const uint32_t sourceChannels = b->channels;
    const uint32_t channels = sourceChannels > 2 ? 3 : 1;
    b->format = (b->format & kKeptFormatBits) | kByteFormat;
    b->elementSize = 1;
    b->pixelBytes = channels;
    auto* bytes = static_cast<uint8_t*>(b->pixels);
    const int64_t w = b->width, h = b->height;
    const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    auto keepSize = [&] {
        ReduceChannels(bytes, pixels, sourceChannels);
        b->channels = channels;
        b->rowBytes = channels * static_cast<uint32_t>(w);
        b->ready = 1;
        return true;
    };
    if (target == nullptr || (target->width == w && target->height == h)) return keepSize();

    const int64_t tw = target->width, th = target->height;
    const bool taller = w * th <= h * tw;
    int64_t nw, nh;
    if (!fit) {
        if ((taller && w < tw) || (!taller && h < th)) return keepSize();
        if (taller) {
            nw = tw;
            nh = Proportional(h, tw, w);
        } else {
            nh = th;
            nw = Proportional(w, th, h);
        }
    } else if (taller) {
        nh = th;
        nw = Proportional(w, th, h);
    } else {
        nw = tw;
        nh = Proportional(h, tw, w);
    }
    if (!SideFits(nw) || !SideFits(nh) ||
        !GlobalBufferFit(&b->spare, static_cast<uint64_t>(channels) * static_cast<uint64_t>(nw * nh))) {
        DropPixels(b);
        return false;
    }
    b->xScale *= (!fit) == taller ? static_cast<double>(w) / static_cast<double>(nw)
                                  : static_cast<double>(h) / static_cast<double>(nh);
    uint32_t fromChannels = sourceChannels;
    if (sourceChannels == 2) {
        ReduceChannels(bytes, pixels, 2);
        fromChannels = 1;
    }
    GlobalBuffer coefficients;
    const ResampleEntry* entries = ResampleCoefficients(&coefficients, static_cast<int32_t>(w), static_cast<int32_t>(h),
                                                        static_cast<int32_t>(nw), static_cast<int32_t>(nh));
    BilinearResize(bytes, fromChannels, static_cast<int32_t>(w), static_cast<int32_t>(h),
                   static_cast<uint8_t*>(b->spare.data), channels, static_cast<int32_t>(nw), static_cast<int32_t>(nh),
                   entries);
    SwapBlocks(b->buffer, b->spare);
    TakeImage(b, static_cast<int32_t>(nw), static_cast<int32_t>(nh), channels);
    b->ready = 1;
    return true;
}

bool RenderPreview(DisplayBitmap* b, const PreviewRow& row, const PreviewColours& colours, const PreviewRange& range,
                   const RenderTarget& target) {
    if (b == nullptr || row.pixels == nullptr || row.width == 0 || row.channels == 0) return false;
    if (target.width > kMaxStripWidth || !SideFits(target.width) || !SideFits(target.height)) return false;
    const double levels = std::min(target.height, 255);
    double g, offset;
    if (range.low < range.high) {
        g = levels / (range.high - range.low);
        offset = -g * range.low;
    } else {
        g = levels;
        offset = -levels * range.low;
    }
    if (!std::isfinite(offset)) offset = std::signbit(offset) ? -DBL_MAX : DBL_MAX;
    StoreScaleOffset(b, g, offset);
    // The work block of the bytes only grows.
    const uint64_t count = uint64_t{row.channels} * row.width;
    if (count > kGlobalBufferMaxBytes) return false;
    if (b->spare.size < count && !b->spare.Reserve(static_cast<uint32_t>(count))) return false;
    auto* values = static_cast<uint8_t*>(b->spare.data);
    ScaleToBytes(values, row.format & kElemFlagMask, row.pixels, static_cast<uint32_t>(count), b->displayScale,
                 b->displayOffset, row.skipUnset != 0);
    const uint32_t channels = row.channels > 1 ? 3 : 1;
    b->format = (row.format & kKeptFormatBits) | kByteFormat;
    const uint64_t bytes = uint64_t{channels} * static_cast<uint64_t>(target.width) * static_cast<uint64_t>(target.height);
    if (!SizeZeroedBlock(&b->buffer, bytes)) {
        DropPixels(b);
        return false;
    }
    PlotRow(values, row.channels, row.width, (row.format & kBitmapPlanar) != 0, static_cast<uint8_t*>(b->buffer.data),
            BitmapSize{target.width, target.height}, colours.table, colours.count);
    b->xScale = static_cast<double>(row.width) / target.width;
    TakeImage(b, target.width, target.height, channels);
    b->dirty = 0;
    b->ready = 1;
    return true;
}

}  // namespace orva
