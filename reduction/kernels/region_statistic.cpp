#include "data/kernel_pragmas.h"
#include "reduction/kernels/region_statistic.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "common/log.h"
#include "data/kernel_util.h"
#include "framework/input_format_cache.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"

namespace orva {

namespace {

constexpr double kMissingMark = -1.7976931348623157e308;
// The diameter of a disc of n pixels is sqrt(n 4/pi), its radius sqrt(n/pi).
constexpr double kDiameterFactor = 1.2732395447351628;
constexpr double kRadiusFactor = 0.3183098861837907;
// A fixed interval beyond this many intervals is widened to range / 65535.
constexpr double kIntervalCountLimit = 65535.0;
constexpr double kInverseIntervalCountLimit = 1.5259021896696422e-05;

// The values of the pulled frame as the kernel reads them: value (x, y) of
// plane p sits at data[p planeStride + y rowStride + x pixelStride].
struct FrameView {
    const double* data = nullptr;
    int64_t x = 0;  // frame coordinates of the first value
    int64_t y = 0;
    int64_t width = 0;
    int64_t height = 0;
    int64_t pixelStride = 1;
    int64_t rowStride = 0;
    int64_t planeStride = 0;
    bool skipMissing = false;
};

// A rectangle in view coordinates.
struct Span {
    int64_t x0, y0, x1, y1;
};

// A region rectangle moved by the origin into view coordinates and clipped to
// the delivered data; false when nothing is left.
bool ClipRect(const RegionRect& r, int64_t ox, int64_t oy, const FrameView& v, Span* s) {
    s->x0 = std::max<int64_t>(r.x0 + ox - v.x, 0);
    s->y0 = std::max<int64_t>(r.y0 + oy - v.y, 0);
    s->x1 = std::min<int64_t>(r.x1 + ox - v.x, v.width);
    s->y1 = std::min<int64_t>(r.y1 + oy - v.y, v.height);
    return s->x0 < s->x1 && s->y0 < s->y1;
}

uint64_t CountPixels(const Region& region, int64_t ox, int64_t oy, const FrameView& v) {
    uint64_t n = 0;
    Span s;
    for (const RegionRect& r : region)
        if (ClipRect(r, ox, oy, v, &s)) n += static_cast<uint64_t>(s.x1 - s.x0) * static_cast<uint64_t>(s.y1 - s.y0);
    return n;
}

// Copies a run of values leaving out NaN; the count kept. Runs without NaN,
// the usual case, are copied whole.
ORVA_INLINE uint64_t CopyNumbersBody(const double* p, int64_t count, double* out) {
    constexpr int64_t kRun = 64;
    uint64_t w = 0;
    int64_t i = 0;
    for (; i + kRun <= count; i += kRun) {
        bool clean = true;
        for (int64_t k = 0; k < kRun; ++k) clean &= p[i + k] == p[i + k];
        if (clean) {
            std::memcpy(out + w, p + i, kRun * sizeof(double));
            w += kRun;
            continue;
        }
        for (int64_t k = 0; k < kRun; ++k) {
            const double x = p[i + k];
            out[w] = x;
            w += x == x ? 1 : 0;
        }
    }
    for (; i < count; ++i) {
        const double x = p[i];
        out[w] = x;
        w += x == x ? 1 : 0;
    }
    return w;
}
[[gnu::target("avx2")]] uint64_t CopyNumbersAvx2(const double* p, int64_t count, double* out) {
    return CopyNumbersBody(p, count, out);
}
uint64_t CopyNumbersBase(const double* p, int64_t count, double* out) { return CopyNumbersBody(p, count, out); }
uint64_t CopyNumbers(const double* p, int64_t count, double* out) {
    return kernel::CpuHasAvx2() ? CopyNumbersAvx2(p, count, out) : CopyNumbersBase(p, count, out);
}

// Copies the values of one plane under the region, leaving out NaN and, when
// the frame holds them, the missing mark. Returns the count kept.
uint32_t Gather(const Region& region, int64_t ox, int64_t oy, const FrameView& v, int64_t plane, double* out) {
    uint64_t n = 0;
    Span s;
    const double* base = v.data + plane * v.planeStride;
    for (const RegionRect& r : region) {
        if (!ClipRect(r, ox, oy, v, &s)) continue;
        const int64_t count = s.x1 - s.x0;
        for (int64_t y = s.y0; y < s.y1; ++y) {
            const double* p = base + y * v.rowStride + s.x0 * v.pixelStride;
            double* o = out + n;
            uint64_t w = 0;
            if (v.pixelStride == 1 && !v.skipMissing) {
                w = CopyNumbers(p, count, o);
            } else {
                const int64_t step = v.pixelStride;
                for (int64_t i = 0; i < count; ++i) {
                    const double x = p[i * step];
                    o[w] = x;
                    w += x == x && !(v.skipMissing && x == kMissingMark) ? 1 : 0;
                }
            }
            n += w;
        }
    }
    return static_cast<uint32_t>(n);
}

// The vector helpers pass 32-byte vectors between inlined functions only; the
// note on their calling convention is reported at the end of the file.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double Vec4 __attribute__((vector_size(32)));

// Adds the values k = from .. count - 1 of a row (every `step`-th double) to the
// sums of d = v - T for v > T: sum d, sum i d, sum i^2 d, sum i^3 d, with
// i = i0 + k.
template <class Acc>
ORVA_INLINE void AddRowMoments(const double* p, int64_t from, int64_t count, int64_t step, double i0,
                               double threshold, Acc* s) {
    for (int64_t k = from; k < count; ++k) {
        const double v = p[k * step];
        if (!(v > threshold)) continue;
        const Acc d = static_cast<Acc>(v) - threshold, c = static_cast<Acc>(i0) + static_cast<Acc>(k);
        s[0] += d;
        s[1] += c * d;
        s[2] += c * c * d;
        s[3] += c * c * c * d;
    }
}

// The sums over one row of d = v - T for v > T: sum d, sum i d, sum i^2 d,
// sum i^3 d, i counting from `i0` at the first value.
ORVA_INLINE void RowMomentsBody(const double* p, int64_t count, double i0, double threshold, double* out) {
    Vec4 r0 = {0, 0, 0, 0}, r1 = r0, r2 = r0, r3 = r0;
    Vec4 i = {i0, i0 + 1, i0 + 2, i0 + 3};
    const Vec4 four = {4, 4, 4, 4}, t = {threshold, threshold, threshold, threshold}, zero = r0;
    int64_t k = 0;
    for (; k + 4 <= count; k += 4) {
        Vec4 v;
        std::memcpy(&v, p + k, sizeof v);
        const Vec4 d = v > t ? v - t : zero;
        const Vec4 id = i * d, iid = i * id;
        r0 += d;
        r1 += id;
        r2 += iid;
        r3 += i * iid;
        i += four;
    }
    out[0] = (r0[0] + r0[1]) + (r0[2] + r0[3]);
    out[1] = (r1[0] + r1[1]) + (r1[2] + r1[3]);
    out[2] = (r2[0] + r2[1]) + (r2[2] + r2[3]);
    out[3] = (r3[0] + r3[1]) + (r3[2] + r3[3]);
    AddRowMoments<double>(p, k, count, 1, i0, threshold, out);
}
[[gnu::target("avx2")]] void RowMomentsAvx2(const double* p, int64_t count, double i0, double t, double* out) {
    RowMomentsBody(p, count, i0, t, out);
}
void RowMomentsBase(const double* p, int64_t count, double i0, double t, double* out) {
    RowMomentsBody(p, count, i0, t, out);
}

template <class Acc>
void RowMoments(const double* p, int64_t count, int64_t step, double i0, double threshold, Acc* out) {
    if constexpr (std::is_same_v<Acc, double>) {
        if (step == 1) {
            if (kernel::CpuHasAvx2())
                RowMomentsAvx2(p, count, i0, threshold, out);
            else
                RowMomentsBase(p, count, i0, threshold, out);
            return;
        }
    }
    out[0] = out[1] = out[2] = out[3] = 0;
    AddRowMoments<Acc>(p, 0, count, step, i0, threshold, out);
}

// The intensity-weighted centroid of the values above the threshold, with
// its spreads, covariance and asymmetries. Coordinates count from a pixel
// near the middle of the measured box, which keeps the raw moments small; the
// results do not depend on that choice.
template <class Acc>
void Centroid(const Region& region, int64_t ox, int64_t oy, const FrameView& v, int64_t plane,
              const StatisticBlock& header, StatisticResult* r) {
    const double boxCentreX = static_cast<double>(header.boxX) + header.boxW / 2.0;
    const double boxCentreY = static_cast<double>(header.boxY) + header.boxH / 2.0;
    const double threshold = r->bkgrThreshold;
    if (threshold >= r->max) {
        r->xc = boxCentreX;
        r->yc = boxCentreY;
        return;
    }
    const int64_t refX = header.boxX + header.boxW / 2, refY = header.boxY + header.boxH / 2;
    Acc s0 = 0, sx = 0, sxx = 0, sxxx = 0, sy = 0, syy = 0, syyy = 0, sxy = 0;
    const double* base = v.data + plane * v.planeStride;
    Span s;
    for (const RegionRect& rect : region) {
        if (!ClipRect(rect, ox, oy, v, &s)) continue;
        const double i0 = static_cast<double>(v.x + s.x0 - refX);
        for (int64_t y = s.y0; y < s.y1; ++y) {
            Acc row[4];
            RowMoments<Acc>(base + y * v.rowStride + s.x0 * v.pixelStride, s.x1 - s.x0, v.pixelStride, i0, threshold,
                            row);
            const Acc j = static_cast<Acc>(v.y + y - refY);
            s0 += row[0];
            sx += row[1];
            sxx += row[2];
            sxxx += row[3];
            sy += j * row[0];
            syy += j * j * row[0];
            syyy += j * j * j * row[0];
            sxy += j * row[1];
        }
    }
    if (s0 == 0) {
        r->xc = boxCentreX;
        r->yc = boxCentreY;
        return;
    }
    const Acc mx = sx / s0, my = sy / s0, mxx = sxx / s0, myy = syy / s0;
    const Acc mxxx = sxxx / s0, myyy = syyy / s0, mxy = sxy / s0;
    r->xysig = static_cast<double>(mxy - mx * my);
    const Acc vx = mxx - mx * mx, vy = myy - my * my;
    if (vx > 0) {
        const Acc sigma = std::sqrt(vx);
        r->xsig = static_cast<double>(sigma);
        r->xasym = static_cast<double>((mxxx - (2 * vx + mxx) * mx) / (sigma * vx));
    }
    if (vy > 0) {
        const Acc sigma = std::sqrt(vy);
        r->ysig = static_cast<double>(sigma);
        r->yasym = static_cast<double>((myyy - (2 * vy + myy) * my) / (sigma * vy));
    }
    r->xc = static_cast<double>(static_cast<Acc>(refX) + mx);
    r->yc = static_cast<double>(static_cast<Acc>(refY) + my);
}

// The background of one channel: the estimate from the ring's values, then
// the mean and spread of the values between Bkgr - 4 RMSBkgr and Bkgr + 6 RMSBkgr.
template <class Acc>
void MeasureBackground(const double* values, uint32_t n, StatisticResult* r) {
    double level = 0.0, spread = 0.0;
    if (!BackgroundEstimate<Acc>(values, n, kMeanDeviationToSigma, &level, &spread)) return;
    uint32_t count = n;
    if (n > 2) {
        const double lo = level - 4.0 * spread, hi = level + 6.0 * spread;
        if (lo != hi) {
            // Sums about the first estimate: the spread of values with a large level does not cancel.
            uint32_t m = 0;
            Acc sum = 0, squares = 0;
            bool allZero = true;
            for (uint32_t i = 0; i < n; ++i) {
                const double x = values[i];
                if (!(lo <= x && x < hi)) continue;
                const Acc d = static_cast<Acc>(x) - level;
                ++m;
                sum += d;
                squares += d * d;
                allZero = allZero && x == 0.0;
            }
            if (m > 0 && m < n) {
                count = m;
                if (allZero) {
                    level = 0.0;
                    spread = 0.0;
                } else {
                    const Acc mean = static_cast<Acc>(level) + sum / static_cast<Acc>(m);
                    if (m > 1) {
                        const Acc q = squares - sum * (sum / static_cast<Acc>(m));
                        if (q > 0) spread = static_cast<double>(std::sqrt(q / static_cast<Acc>(m - 1)));
                    }
                    level = static_cast<double>(mean);
                }
            }
        }
    }
    r->bkgr = level;
    r->rmsBkgr = spread;
    r->nproBkgr = count;
    r->backgroundValid = 1;
}

// Everything one call works with.
struct Run {
    ReductionComponent* component;
    const StatisticMask* mask;
    PullResult* item;
    StatisticBlock* block;
    FrameView view;
    uint32_t channels;     // C
    int64_t firstPlane;    // the plane of channel 0
    uint32_t selected;     // 1-based
    uint64_t objectCount;  // pixels of the mask on the data (values per channel at most)
    double* values;
};

int64_t PlaneOf(const Run& run, uint32_t channel) { return run.firstPlane + channel; }

// The item's output: C rows of `length` values (the format the Reduction offers).
bool PrepareOutput(Run& run, uint32_t length) {
    TypedFrameBuffer& out = run.item->image;
    out.SetTypeAndCount(static_cast<int32_t>(kReductionOutputFormat), run.channels);
    if (!out.AllocImageBuffer(length, 1)) {
        out.Reset();
        run.item->pending = 0;
        return false;
    }
    return true;
}

// Marks the output's changes of length and rows and answers 5.
int32_t Produced(Run& run, uint32_t length) {
    ReductionComponent* c = run.component;
    TypedFrameBuffer& out = run.item->image;
    if (length != c->outputLength) out.flags |= kOutputLengthChanged;
    if (run.channels != c->outputRows) out.flags |= kOutputRowsChanged;
    c->outputLength = length;
    c->outputRows = run.channels;
    run.item->status = c->Options().values.stat.vis != 0 ? kStatisticOutputDistribution : kStatisticOutputHistogram;
    return 5;
}

template <class Acc>
int32_t Measure(Run& run) {
    ReductionComponent* c = run.component;
    const ReductionValues& options = c->Options().values;
    const ReductionStatValues& stat = options.stat;
    const StatisticMask& mask = *run.mask;
    const FrameView& view = run.view;
    StatisticBlock* header = run.block;
    StatisticResult* records = header->Results();
    const uint32_t C = run.channels;
    const StatisticScratch scratch{&c->workBlocks[2], &c->workBlocks[3]};

    // Background, from the ring around the shape.
    const Region* ring = mask.background;
    if (ring != nullptr && ring->count != 0 && ring->box.y0 < ring->box.y1) {
        for (uint32_t ch = 0; ch < C; ++ch) {
            const uint32_t n = Gather(*ring, mask.originX, mask.originY, view, PlaneOf(run, ch), run.values);
            if (n != 0) MeasureBackground<Acc>(run.values, n, &records[ch]);
        }
    }

    // The values under the mask, channel after channel.
    const Region& object = *mask.object;
    uint32_t largest = 0;
    for (uint32_t ch = 0; ch < C; ++ch) {
        records[ch].npro =
            Gather(object, mask.originX, mask.originY, view, PlaneOf(run, ch), run.values + ch * run.objectCount);
        largest = std::max(largest, records[ch].npro);
    }
    // The measured rectangle: the mask's one rectangle, else its bounding box, on the data.
    Span s;
    const RegionRect& measured = object.count == 1 ? object.rects[0] : object.box;
    if (ClipRect(measured, mask.originX, mask.originY, view, &s)) {
        header->boxX = view.x + s.x0;
        header->boxY = view.y + s.y0;
        header->boxW = static_cast<int32_t>(s.x1 - s.x0);
        header->boxH = static_cast<int32_t>(s.y1 - s.y0);
    }
    if (largest == 0) return 1;

    // Moments of every channel, the histogram's limits and the moment rules' interval count.
    double histMin = DBL_MAX, histMax = -DBL_MAX;
    const bool momentRules = stat.intervalAuto != 0 && largest >= 9 && stat.intervalMethod >= 6;
    uint32_t ruleCount = 0;
    for (uint32_t ch = 0; ch < C; ++ch) {
        StatisticResult& r = records[ch];
        if (r.npro == 0) continue;
        r.invN = 1.0 / r.npro;
        SampleMoments<Acc>(run.values + ch * run.objectCount, r.npro, &r, scratch);
        histMin = std::min(histMin, r.min);
        histMax = std::max(histMax, r.max);
        if (momentRules && r.npro > 9 && r.range != 0.0)
            ruleCount = std::max(ruleCount, MomentRuleIntervalCount(r.npro, stat.intervalMethod, r));
    }
    double range = histMax - histMin;
    header->range = range;
    header->histMin = histMin;
    header->histMax = histMax;

    // The interval width and count.
    double width = 1.0;
    uint32_t intervals = 0;
    if (ruleCount != 0) {
        const IntervalChoice choice = IntervalWidthFromCount(ruleCount, range, stat, largest);
        width = choice.width;
        intervals = choice.count;
    } else if (range == 0.0 || (C == 1 && largest == 1)) {
        // One value, or all equal: one bin that holds everything.
        header->intervalWidth = header->histWidth = 1.0;
        header->firstEdge = histMin;
        header->binCount = 1;
        for (uint32_t ch = 0; ch < C; ++ch) {
            if (records[ch].npro == 0) continue;
            records[ch].xc = static_cast<double>(header->boxX) + header->boxW / 2.0;
            records[ch].yc = static_cast<double>(header->boxY) + header->boxH / 2.0;
        }
        if (!PrepareOutput(run, 1)) return -1;
        auto* out = static_cast<double*>(run.item->image.data);
        for (uint32_t ch = 0; ch < C; ++ch) out[ch] = records[ch].npro;
        header->filled = C;
        return Produced(run, 1);
    } else if (stat.intervalAuto == 0 && stat.interval > 0.0) {
        width = stat.intervalInteger != 0 ? std::ceil(stat.interval) : stat.interval;
        if (1.5 * width > range) {
            intervals = 1;
        } else if (range / width <= kIntervalCountLimit) {
            intervals = RoundHalfUp(range / width);
            if (intervals % 2 == 1) ++intervals;
        } else {
            width = range * kInverseIntervalCountLimit;
            if (stat.intervalInteger != 0) {
                width = std::ceil(width);
                intervals = RoundHalfUp(range / width);
                if (intervals % 2 == 1) ++intervals;
            } else {
                intervals = 65535;
            }
        }
    } else {
        const IntervalChoice choice = HistogramIntervalCount(largest, range, stat);
        width = choice.width;
        intervals = choice.count;
    }

    // Fixed boundaries widen the histogram to take them in.
    if (stat.boundaryEnable != 0) {
        bool changed = false;
        if (stat.boundaryLow < histMin) {
            histMin = stat.boundaryLow;
            changed = true;
        }
        if (stat.boundaryHigh > histMax) {
            histMax = stat.boundaryHigh;
            changed = true;
        }
        if (changed) {
            range = histMax - histMin;
            intervals = RoundHalfUp(range / width);
            if (intervals % 2 == 1) ++intervals;
            if (intervals > 65535) {
                const IntervalChoice choice = IntervalWidthFromCount(65535, range, stat, largest);
                width = choice.width;
                intervals = choice.count;
            }
            header->range = range;
            header->histMin = histMin;
            header->histMax = histMax;
        }
    }

    const uint32_t K = intervals + 1;
    header->binCount = K;
    header->intervalWidth = width;
    const uint64_t binValues = uint64_t{K} * C + K;
    if (!GrowScratchBlock(&c->workBlocks[1], binValues * sizeof(double))) {
        run.item->image.DropFrame();
        return -1;
    }
    auto* bins = static_cast<double*>(c->workBlocks[1].block);
    double* edges = bins + uint64_t{K} * C;
    HistogramUpperEdges(histMin, width, K, edges);
    const HistogramGrid grid{histMin, width, K, edges};

    for (uint32_t ch = 0; ch < C; ++ch) {
        StatisticResult& r = records[ch];
        double* b = bins + uint64_t{ch} * K;
        if (r.npro == 0) {
            std::fill(b, b + K, 0.0);
            continue;
        }
        if (r.backgroundValid == 0 || IsStatBelowData(r.bkgrThreshold))
            r.bkgrThreshold = r.median + r.deviationUnbiased;
        const double base = r.backgroundValid != 0 ? r.bkgr : r.median;
        double half = (base + r.max) / 2;
        if (half > r.max) half = (r.max + histMin) / 2;
        HistogramTallies tallies;
        HistogramFill(b, run.values + ch * run.objectCount, r.npro, grid, r.min, half, r.bkgrThreshold, scratch,
                      &tallies);
        // The mode: the centre of the first fullest bin.
        uint32_t modeBin = 0;
        for (uint32_t i = 1; i < K; ++i)
            if (b[i] > b[modeBin]) modeBin = i;
        r.modeBin = modeBin;
        r.mode = histMin + modeBin * width;
        if (tallies.atLeastHalf != 0) r.fwhm = std::sqrt(static_cast<double>(tallies.atLeastHalf) * kDiameterFactor);
        if (r.min < r.bkgrThreshold && r.bkgrThreshold < r.max)
            r.thresholdRadius = std::sqrt(static_cast<double>(tallies.aboveThreshold) * kRadiusFactor);
        Centroid<Acc>(object, mask.originX, mask.originY, view, PlaneOf(run, ch), *header, &r);
    }

    // The marks of the selected channel on the shape.
    if (Shape* shape = mask.markShape) {
        const StatisticResult& r = records[run.selected - 1];
        shape->statMark.centreX = r.xc;
        shape->statMark.centreY = r.yc;
        shape->statMark.halfFwhm = kernel::ClampToFloat(r.fwhm / 2);
        shape->statMark.thresholdRadius = kernel::ClampToFloat(r.thresholdRadius);
        const bool marksShown = shape->container == nullptr || shape->container->noStatisticMarks == 0;
        if (shape->glyph != nullptr && marksShown) {
            if (auto notify = TheReductionServices().statisticMarks) notify(shape);
        }
    }

    // The histogram, or its running sum, as the item's output.
    if (!PrepareOutput(run, K)) return -1;
    auto* out = static_cast<double*>(run.item->image.data);
    const uint64_t all = uint64_t{K} * C;
    if (stat.vis == 0) {
        std::copy(bins, bins + all, out);
    } else {
        for (uint32_t ch = 0; ch < C; ++ch) {
            double sum = 0.0;
            for (uint32_t i = 0; i < K; ++i) {
                sum += bins[uint64_t{ch} * K + i];
                out[uint64_t{ch} * K + i] = sum;
            }
        }
    }
    header->histWidth = width;
    header->firstEdge = histMin - width / 2;
    header->filled = C;
    return Produced(run, K);
}

// Clears the block for C channels; the fields the moments mark when they are
// not computed start with the mark.
void ResetBlock(StatisticBlock* block, uint32_t bytes, uint32_t samplesPerPixel, uint32_t channels,
                uint32_t selected) {
    std::memset(static_cast<void*>(block), 0, bytes);
    block->tag = kStatisticBlockTag;
    block->size = bytes;
    block->samplesPerPixel = samplesPerPixel;
    block->channels = channels;
    block->selectedChannel = selected;
    StatisticResult* r = block->Results();
    for (uint32_t i = 0; i < channels; ++i) {
        r[i].rVar = r[i].skewnessUnbiased = r[i].kurtosisUnbiased = kStatNotComputed;
        r[i].mode = kStatNotComputed;
    }
}

int32_t TooLarge(StatisticBlock* block, uint64_t values, uint64_t limit) {
    LogPrintf("Statistic: region too large (%llu values, limit %llu)", static_cast<unsigned long long>(values),
              static_cast<unsigned long long>(limit));
    if (block != nullptr) block->filled = 0;
    return -1;
}

}  // namespace

bool ClipBoxToFrame(int64_t frameWidth, int64_t frameHeight, BlockBox* box) {
    if (box == nullptr || frameWidth <= 0 || frameHeight <= 0) return false;
    const int64_t x0 = std::max<int64_t>(box->x, 0), y0 = std::max<int64_t>(box->y, 0);
    const int64_t x1 = std::min<int64_t>(box->x + box->width, frameWidth);
    const int64_t y1 = std::min<int64_t>(box->y + box->height, frameHeight);
    if (x0 >= x1 || y0 >= y1) return false;
    box->x = x0;
    box->y = y0;
    box->width = static_cast<int32_t>(std::min<int64_t>(x1 - x0, INT32_MAX));
    box->height = static_cast<int32_t>(std::min<int64_t>(y1 - y0, INT32_MAX));
    return true;
}

int32_t PullHeldFrame(ReductionComponent* c, const ReadWindow& want, PullRequest* request) {
    // The held frame serves when the request names its frame and the box lies inside it.
    PullResult& held = c->heldFrame;
    const ReadWindow& w = held.window;
    const bool fresh = request != nullptr && request->readAgain != 0;
    const bool reuse = !fresh && held.pending != 0 && held.image.data != nullptr && want.frame >= 0 &&
                       w.frame == want.frame && w.x <= want.x && w.y <= want.y &&
                       w.x + w.width >= want.x + want.width && w.y + w.height >= want.y + want.height;
    if (reuse) return 2;
    held.pending = 0;
    held.window = want;
    const int32_t code = ComponentPull(&c->input, &held, request);
    if (code < 2) return code;
    held.pending = 1;
    return code;
}

int32_t RegionStatistic(ReductionComponent* c, const StatisticMask& mask, PullResult* item, const FrameDesc* frame,
                        PullRequest* request) {
    if (c == nullptr || item == nullptr || mask.object == nullptr) return 1;
    StatisticBlock* block = c->Statistic();
    item->statistic = block;
    if (mask.markShape != nullptr) mask.markShape->statMark.centreX = -1.0;
    auto nothing = [&](int32_t code) {
        if (block != nullptr) block->filled = 0;
        return code;
    };

    // The box the mask and its background ring cover, on the frame.
    const Region& object = *mask.object;
    if (object.count == 0 || !(object.box.y0 < object.box.y1) || frame == nullptr) return nothing(1);
    RegionRect cover = object.box;
    const Region* ring = mask.background;
    if (ring != nullptr && ring->count != 0 && ring->box.y0 < ring->box.y1) {
        cover.x0 = std::min(cover.x0, ring->box.x0);
        cover.y0 = std::min(cover.y0, ring->box.y0);
        cover.x1 = std::max(cover.x1, ring->box.x1);
        cover.y1 = std::max(cover.y1, ring->box.y1);
    }
    const int64_t coverW = int64_t{cover.x1} - cover.x0, coverH = int64_t{cover.y1} - cover.y0;
    if (coverW < 1 || coverH < 1) return nothing(1);
    BlockBox box{int64_t{cover.x0} + mask.originX, int64_t{cover.y0} + mask.originY,
                 static_cast<int32_t>(std::min<int64_t>(coverW, INT32_MAX)),
                 static_cast<int32_t>(std::min<int64_t>(coverH, INT32_MAX))};
    if (!ClipBoxToFrame(frame->width, frame->height, &box)) return nothing(1);

    // A box too large to pull at once is not measured at all.
    const uint64_t limit = std::min<uint64_t>(c->statisticValueLimit, kGlobalBufferMaxBytes / sizeof(double));
    const uint64_t samples = std::max<uint32_t>(c->InputChannelCount(), 1);
    const uint64_t boxValues = static_cast<uint64_t>(box.width) * static_cast<uint64_t>(box.height) * samples;
    if (boxValues > limit) return TooLarge(block, boxValues, limit);

    ReadWindow want;
    want.frame = frame->requestFrame;
    want.section = -1;
    BlockIteratorInit(&want, box);
    const int32_t pulled = PullHeldFrame(c, want, request);
    if (pulled < 2) return nothing(pulled);
    PullResult& held = c->heldFrame;

    // The channels of the pulled frame: interleaved samples, or planes of one row each.
    const TypedFrameBuffer& image = held.image;
    if (image.data == nullptr || image.itemBytes == 0 || image.itemBytes % sizeof(double) != 0) return nothing(1);
    const uint32_t V = image.itemBytes / sizeof(double);
    Run run{};
    run.component = c;
    run.mask = &mask;
    run.item = item;
    FrameView& view = run.view;
    view.data = static_cast<const double*>(image.data);
    view.x = held.window.x;
    view.y = held.window.y;
    view.width = std::min<int64_t>(held.window.width, image.width);
    view.height = std::min<int64_t>(held.window.height, image.height);
    view.rowStride = static_cast<int64_t>(image.rowBytes / sizeof(double));
    view.skipMissing = image.state != 0 || frame->hasMissing != 0;
    uint32_t planes = V;
    if (V == 1 && (c->format.format & kFormatRowPerChannel) != 0 && c->InputChannelCount() > 1) {
        planes = c->InputChannelCount();
        view.pixelStride = 1;
        view.planeStride = view.rowStride * view.height;
    } else {
        view.pixelStride = V;
        view.planeStride = 1;
    }
    if (view.width <= 0 || view.height <= 0) return nothing(1);
    // Never read past the block, whatever the layout claims.
    const uint64_t reach = static_cast<uint64_t>((planes - 1) * view.planeStride + (view.height - 1) * view.rowStride +
                                                 (view.width - 1) * view.pixelStride + 1);
    if (reach * sizeof(double) > image.size) return nothing(1);

    const ReductionValues& options = c->Options().values;
    run.channels = options.allChannels != 0 ? planes : 1;
    run.firstPlane = options.allChannels != 0 ? 0 : std::min<int64_t>(c->PlaneIndex(), planes - 1);
    const uint32_t C = run.channels;
    run.selected = std::clamp<uint32_t>(options.nChannel, 1, C);

    // The work block takes every channel's values (the ring's, one channel at a time, before them).
    run.objectCount = CountPixels(object, mask.originX, mask.originY, view);
    const uint64_t ringCount = ring != nullptr ? CountPixels(*ring, mask.originX, mask.originY, view) : 0;
    const uint64_t needed = std::max(run.objectCount * C, ringCount);
    if (needed > limit) return TooLarge(block, needed, limit);
    if (!GrowScratchBlock(&c->workBlocks[0], std::max<uint64_t>(needed, 1) * sizeof(double))) {
        item->image.Reset();
        item->pending = 0;
        return nothing(-4);
    }
    run.values = static_cast<double*>(c->workBlocks[0].block);

    // The block: one record per channel, every field cleared for this run.
    const uint64_t bytes = StatisticBlockBytes(C);
    if (bytes > kGlobalBufferMaxBytes) return nothing(-1);
    if (block == nullptr || c->statistic.size < bytes) {
        if (!c->statistic.Reserve(static_cast<uint32_t>(bytes))) return nothing(-1);
        block = c->Statistic();
    }
    ResetBlock(block, static_cast<uint32_t>(bytes), V, C, run.selected);
    // The frame the values came from: the one asked for, else the one the upstream chose.
    block->frame = frame->requestFrame >= 0 ? frame->requestFrame : held.window.frame;
    item->statistic = block;
    run.block = block;

    const bool extended = options.extendedPrecision != 0 || (request != nullptr && request->workMode != 0);
    const int32_t code = extended ? Measure<long double>(run) : Measure<double>(run);
    if (code < 2) {
        block->filled = 0;
        item->image.DropFrame();
    }
    return code;
}

}  // namespace orva
