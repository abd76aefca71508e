#include "data/kernel_pragmas.h"

// Positions and weights are formed by plain multiplications and additions, never
// fused: a pixel gets the same value from the baseline and the AVX2 loops, in every
// block, and as the formulas written out in double arithmetic. Set before anything
// is included, so that every function of the file is compiled alike and inlines.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#else
#pragma GCC optimize("fp-contract=off")
#endif

#include "processing/modules/affine_kernels.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <immintrin.h>
#include <new>
#include <type_traits>
#include <vector>

#include "common/log.h"
#include "data/affine_record.h"
#include "data/kernel_util.h"
#include "processing/modules/affine_module.h"

namespace orva {

namespace {

constexpr int32_t kOutside = -1;
constexpr int32_t kPullFailed = -2;
constexpr int32_t kNoState = -4;
constexpr int32_t kNoBuffer = -7;

// The largest frame side the kernels take: positions and block indices then stay
// exact and well inside 32-bit integers.
constexpr double kFar = 1073741824.0;  // 2^30
constexpr int64_t kMaxFrameSide = int64_t{1} << 30;

// The tile bodies of the rotated path are lambdas that must be compiled into the
// AVX2 build of the loop that calls them.
#define ORVA_LAMBDA_INLINE __attribute__((always_inline))

// Pixels of one tile of the rotated path, and the widest tile.
constexpr int32_t kTilePixels = 4096;
constexpr int32_t kMaxTileWidth = 256;

enum Mode { kNearest = 1, kBilinear = 2, kBicubic = 3, kBicubicFast = 4 };

template <class T>
constexpr uint32_t TypeCode() {
    return sizeof(T) == 8 ? 0x40u : 0x10u;
}
template <class T>
constexpr T Background() {
    if constexpr (std::is_same_v<T, double>) return -DBL_MAX;
    else return 0.0f;
}

constexpr double Cube(double x) { return x * x * x; }

// Six times the cubic B-spline, as the pieces add up from the left.
ORVA_INLINE constexpr double CubicWeight(double t) {
    double r = Cube(t + 2.0);
    r = t > -1.0 ? r - 4.0 * Cube(t + 1.0) : r;
    r = t > 0.0 ? r + 6.0 * Cube(t) : r;
    r = t > 1.0 ? r - 4.0 * Cube(t - 1.0) : r;
    return t > -2.0 && t < 2.0 ? r : 0.0;
}

ORVA_INLINE int32_t TableIndex(double t) {
    double q = (t + 2.0) * 128.0;
    // Not a finite float: entry 0. Beyond -1 and 513 the clamp below decides anyway,
    // and the rounding addition stays exact.
    const bool finite = q >= -static_cast<double>(FLT_MAX) && q <= static_cast<double>(FLT_MAX);
    q = q > -1.0 ? q : -1.0;
    q = q < 513.0 ? q : 513.0;
    q = finite ? q : -1.0;
    const float p = static_cast<float>(q);
    const float r = (p - 0.5f) + 12582912.0f;  // 1.5 * 2^23: rounds to a whole number, ties to even
    int32_t i = static_cast<int32_t>(std::bit_cast<uint32_t>(r)) - 0x4B400000;
    i = i > 0 ? i : 0;
    return i < 511 ? i : 511;
}

constexpr std::array<double, 512> MakeTableD() {
    std::array<double, 512> table{};
    for (int i = 0; i < 512; ++i) table[static_cast<size_t>(i)] = CubicWeight(i * 0.0078125 - 2.0);
    return table;
}
constexpr std::array<float, 512> MakeTableF() {
    std::array<float, 512> table{};
    for (int i = 0; i < 512; ++i) table[static_cast<size_t>(i)] = static_cast<float>(CubicWeight(i * 0.0078125 - 2.0));
    return table;
}

// The fast mode's weights of a position's four taps by its fraction f: the entries
// that TableIndex picks for the taps step by 128 whenever f lies more than 2^-14 / 128
// away from a multiple of 1/128 (then no rounding of (t + 2) * 128, at most half a
// float step of 2^-15 and a few double steps, moves a tap across an entry's edge or
// onto a whole number). For a column the taps' arguments are k - f, k = -1 .. 2, and
// their entries 127 - floor(128 f) + 128 (k + 1); for a row f - k, entries
// floor(128 f) + 128 (2 - k). Row a holds those four entries in tap order and their
// pair sum (w0 + w1) + (w2 + w3), as the kernels add them.
struct TapTable {
    alignas(32) double w[128][4];
    double sum[128];
};
constexpr TapTable MakeTapTable(bool rows) {
    const std::array<double, 512> table = MakeTableD();
    TapTable t{};
    for (int a = 0; a < 128; ++a) {
        for (int k = 0; k < 4; ++k) t.w[a][k] = table[static_cast<size_t>(a + 128 * (rows ? 3 - k : k))];
        t.sum[a] = (t.w[a][0] + t.w[a][1]) + (t.w[a][2] + t.w[a][3]);
    }
    return t;
}
constexpr double kTapStepMargin = 0x1p-14;  // of a step of 1/128

// A frame position held within +-2^30 (NaN at the low end): anything beyond lies
// outside every block, and within it floors and block indices are exact and fit.
ORVA_INLINE double Held(double p) { return p > -kFar ? (p < kFar ? p : kFar) : -kFar; }

// The block index of a frame position: floor(p) less the block's origin (at least
// -16), with the fraction above floor(p).
ORVA_INLINE int32_t IndexOf(double p, double origin, double* fraction) {
    const double q = Held(p);
    const double f = std::floor(q);
    *fraction = q - f;
    const double d = f - origin;  // whole numbers below 2^31: exact
    return static_cast<int32_t>(d > -16.0 ? d : -16.0);
}

// ---- What a kernel works on ----------------------------------------------------------------

// The request, the input frame and the filter's geometry fitted for it.
struct Setup {
    AffineRecord record;
    AffineInputMap map;
    double frameWidth = 0.0, frameHeight = 0.0;
    AffineSize output;       // the output frame
    uint32_t channels = 1;   // as negotiated
    int64_t x = 0, y = 0;
    int32_t width = 0, height = 0;
};

// The pulled input block.
template <class T>
struct Plane {
    const T* data = nullptr;
    size_t stride = 0;  // samples per row
    int32_t width = 0, height = 0;
    double x = 0.0, y = 0.0;  // origin in the frame
    uint32_t channels = 1;
    uint8_t invalid = 0;
    const T* Row(int32_t r) const { return data + static_cast<size_t>(r) * stride; }
};

// The output block.
template <class T>
struct Target {
    T* data = nullptr;
    int32_t width = 0, height = 0;
    uint32_t channels = 1;
    T* Row(int32_t j) const { return data + static_cast<size_t>(j) * static_cast<size_t>(width) * channels; }
};

int32_t Prepare(PullResult* own, const PullResult* out, Setup* s) {
    FilterInstance* instance = FilterInstanceOf(own);
    const AffineModuleState* state = AffineStateOf(instance);
    if (state == nullptr) return kNoState;
    const ReadWindow& w = out->window;
    if (w.width < 1 || w.height < 1) return kOutside;
    const FrameDataRecord* frame = ChainFirstCall(own, own->window.frame, own->window.section);
    if (!AffineFrameSizeUsable(frame)) return kPullFailed;
    s->record = state->head.record;
    AffineRecordFitFrame(&s->record, &s->output, AffineSize{frame->width, frame->height});
    s->channels = instance->input.channels != 0 ? instance->input.channels : 1;
    s->frameWidth = static_cast<double>(frame->width);
    s->frameHeight = static_cast<double>(frame->height);
    s->map = AffineRecordInputMap(&s->record, s->frameWidth, s->frameHeight);
    s->x = w.x;
    s->y = w.y;
    s->width = w.width;
    s->height = w.height;
    // A request beyond the output frame has no pixel of it: nothing to pull or fill.
    if (w.x >= s->output.width || w.y >= s->output.height || w.x + w.width <= 0 || w.y + w.height <= 0)
        return kOutside;
    return 0;
}

// The input position of output column (or row) origin + i along one axis.
ORVA_INLINE double AxisPosition(int64_t origin, int32_t i, double step, double size, bool flip, bool centred) {
    const double t = (static_cast<double>(origin + i) + 0.5) * step;
    const double p = flip ? size - t : t;
    return centred ? p - 0.5 : p;
}

// The input rectangle a request needs, into the own block: the box of the positions
// that its corner pixels sample (positions are affine in the pixel coordinates, so
// the corners bound them), widened by the mode's margin, which holds the taps of the
// interpolating modes and any rounding between a corner and the pixels between them,
// and clipped to the frame. False when nothing of the frame is left.
bool RequestInput(PullResult* own, const Setup& s, int32_t mode) {
    const bool centred = mode != kNearest;
    double x0, x1, y0, y1;
    if (s.record.rotated == 0) {
        const AffineRecord& r = s.record;
        const double a = AxisPosition(s.x, 0, r.stepX, s.frameWidth, r.flipX != 0, centred);
        const double b = AxisPosition(s.x, s.width - 1, r.stepX, s.frameWidth, r.flipX != 0, centred);
        const double c = AxisPosition(s.y, 0, r.stepY, s.frameHeight, r.flipY != 0, centred);
        const double d = AxisPosition(s.y, s.height - 1, r.stepY, s.frameHeight, r.flipY != 0, centred);
        x0 = std::min(a, b);
        x1 = std::max(a, b);
        y0 = std::min(c, d);
        y1 = std::max(c, d);
    } else {
        x0 = y0 = INFINITY;
        x1 = y1 = -INFINITY;
        const double half = centred ? 0.5 : 0.0;
        for (int corner = 0; corner < 4; ++corner) {
            const int64_t X = s.x + ((corner & 1) != 0 ? s.width - 1 : 0);
            const int64_t Y = s.y + ((corner & 2) != 0 ? s.height - 1 : 0);
            double x, y;
            AffineMapPoint(s.map, static_cast<double>(X) + 0.5, static_cast<double>(Y) + 0.5, &x, &y);
            x0 = std::min(x0, x - half);
            x1 = std::max(x1, x - half);
            y0 = std::min(y0, y - half);
            y1 = std::max(y1, y - half);
        }
    }
    const double margin = mode == kNearest ? 1.0 : mode == kBilinear ? 3.0 : 4.0;
    auto span = [margin](double lo, double hi, double size, int64_t* origin, int32_t* extent) {
        const double first = std::max(std::floor(Held(lo)) - margin, 0.0);
        const double last = std::min(std::floor(Held(hi)) + margin, size - 1.0);
        if (!(first <= last)) return false;
        *origin = static_cast<int64_t>(first);
        *extent = static_cast<int32_t>(last - first + 1.0);
        return true;
    };
    ReadWindow& w = own->window;
    return span(x0, x1, s.frameWidth, &w.x, &w.width) && span(y0, y1, s.frameHeight, &w.y, &w.height);
}

// The pulled block as the kernel reads it: nothing when it does not hold samples of
// the kernel's type and layout.
template <class T, uint32_t C>
bool TakePlane(const TypedFrameBuffer& b, Plane<T>* p) {
    if (b.data == nullptr || b.width < 1 || b.height < 1) return false;
    if (b.elementSize != sizeof(T) || (static_cast<uint32_t>(b.elementType) & 0x7Fu) != TypeCode<T>()) return false;
    if (b.elementsPerItem < 1 || (C != 0 && b.elementsPerItem != C)) return false;
    if (b.rowBytes < static_cast<uint64_t>(b.itemBytes) * b.width || b.rowBytes % sizeof(T) != 0) return false;
    if (b.width > kMaxFrameSide || b.height > kMaxFrameSide) return false;
    if (b.windowX < 0 || b.windowY < 0 || b.windowX > kMaxFrameSide || b.windowY > kMaxFrameSide) return false;
    p->data = static_cast<const T*>(b.data);
    p->stride = static_cast<size_t>(b.rowBytes / sizeof(T));
    p->width = static_cast<int32_t>(b.width);
    p->height = static_cast<int32_t>(b.height);
    p->x = static_cast<double>(b.windowX);
    p->y = static_cast<double>(b.windowY);
    p->channels = b.elementsPerItem;
    p->invalid = b.state;
    return true;
}

template <class T>
bool Allocate(PullResult* out, const Setup& s, uint32_t channels, Target<T>* t) {
    TypedFrameBuffer& image = out->image;
    image.SetTypeAndCount(static_cast<int32_t>(TypeCode<T>()), channels);
    if (!image.AllocImageBuffer(static_cast<uint32_t>(s.width), static_cast<uint32_t>(s.height))) {
        out->pending = 0;
        return false;
    }
    image.windowX = s.x;
    image.windowY = s.y;
    t->data = static_cast<T*>(image.data);
    t->width = s.width;
    t->height = s.height;
    t->channels = channels;
    return true;
}

// The first sample of a corner pixel of the output is the marker.
template <class T>
uint8_t CornerTest(const Target<T>& t) {
    if constexpr (!std::is_same_v<T, double>) {
        return 0;
    } else {
        const size_t last = static_cast<size_t>(t.width - 1) * t.channels;
        const T* top = t.Row(0);
        const T* bottom = t.Row(t.height - 1);
        return top[0] == -DBL_MAX || top[last] == -DBL_MAX || bottom[0] == -DBL_MAX || bottom[last] == -DBL_MAX ? 1
                                                                                                                : 0;
    }
}

template <uint32_t C>
ORVA_INLINE uint32_t Count(uint32_t n) {
    return C != 0 ? C : n;
}

template <class T, uint32_t C>
ORVA_INLINE void FillBackground(T* o, size_t pixels, uint32_t n) {
    const size_t count = pixels * Count<C>(n);
    for (size_t k = 0; k < count; ++k) o[k] = Background<T>();
}

template <class T, uint32_t C>
ORVA_INLINE void CopyPixel(T* o, const T* s, uint32_t n) {
    for (uint32_t c = 0; c < Count<C>(n); ++c) o[c] = s[c];
}

// ---- Separable positions ---------------------------------------------------------------------

struct Axis {
    int64_t origin;
    double step, size, blockOrigin;
    bool flip;
};

Axis AxisX(const Setup& s, double blockOrigin) {
    return Axis{s.x, s.record.stepX, s.frameWidth, blockOrigin, s.record.flipX != 0};
}
Axis AxisY(const Setup& s, double blockOrigin) {
    return Axis{s.y, s.record.stepY, s.frameHeight, blockOrigin, s.record.flipY != 0};
}

// Per-thread scratch tables, kept between calls; false when memory is short.
template <class V>
bool Fit(V& v, size_t n) {
    try {
        if (v.size() < n) v.resize(n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Nearest: the block index of each output position, -1 outside the block.
void NearestAxis(const Axis& a, int32_t count, int32_t limit, int32_t* index) {
    for (int32_t i = 0; i < count; ++i) {
        double f;
        const int32_t k = IndexOf(AxisPosition(a.origin, i, a.step, a.size, a.flip, false), a.blockOrigin, &f);
        index[i] = k >= 0 && k < limit ? k : -1;
    }
}

// Bilinear: per position its block index and fraction; kind 0 lies outside (the
// background), 1 on an edge of the block (one sample along this axis), 2 between
// two samples.
template <class T>
struct LinearTap {
    int32_t index;
    int32_t kind;
    T fraction;
};

template <class T>
void LinearAxis(const Axis& a, int32_t count, int32_t limit, LinearTap<T>* taps) {
    for (int32_t i = 0; i < count; ++i) {
        double f;
        const int32_t k = IndexOf(AxisPosition(a.origin, i, a.step, a.size, a.flip, true), a.blockOrigin, &f);
        const int32_t kind = k < -1 || k > limit - 1 ? 0 : k == -1 || k == limit - 1 ? 1 : 2;
        taps[i] = LinearTap<T>{k, kind, static_cast<T>(f)};
    }
}

// Bicubic: per position the first of four taps, their weights (0 for taps outside
// the block), the sum of the weights used; kind 0 background, 1 some taps outside,
// 2 all four inside.
template <class T>
struct CubicTap {
    int32_t first;
    int32_t kind;
    T weight[4];
    T sum;
};

template <class T, int M>
ORVA_INLINE T TapWeight(double t) {
    if constexpr (M == kBicubic) {
        return static_cast<T>(CubicWeight(t));
    } else if constexpr (std::is_same_v<T, double>) {
        return CubicWeightTableD[static_cast<size_t>(TableIndex(t))];
    } else {
        return CubicWeightTableF[static_cast<size_t>(TableIndex(t))];
    }
}

// `rows`: the weights of taps k - 1 .. k + 2 are K(f - k) (rows) or K(k - f) (columns).
template <class T, int M>
void CubicAxis(const Axis& a, int32_t count, int32_t limit, bool rows, CubicTap<T>* taps) {
    for (int32_t i = 0; i < count; ++i) {
        double f;
        int32_t k = IndexOf(AxisPosition(a.origin, i, a.step, a.size, a.flip, true), a.blockOrigin, &f);
        CubicTap<T>& t = taps[i];
        if (k < -1 || k >= limit) {
            t = CubicTap<T>{0, 0, {T(0), T(0), T(0), T(0)}, T(0)};
            continue;
        }
        // An index of -1 moves to 0; its fraction becomes negative.
        if (k == -1) {
            k = 0;
            f -= 1.0;
        }
        t.first = k - 1;
        t.sum = T(0);
        bool all = true;
        for (int32_t n = 0; n < 4; ++n) {
            const double d = static_cast<double>(n - 1);
            const T w = TapWeight<T, M>(rows ? f - d : d - f);
            const bool inside = t.first + n >= 0 && t.first + n < limit;
            t.weight[n] = inside ? w : T(0);
            if (inside) t.sum = t.sum + w;
            all = all && inside;
        }
        t.kind = all ? 2 : 1;
    }
}

// The range [lo, hi) of positions of a given kind or better; positions are monotonic
// along an axis, so each kind covers one run.
template <class Tap>
void RunOf(const Tap* taps, int32_t count, int32_t kind, int32_t* lo, int32_t* hi) {
    int32_t a = 0;
    while (a < count && taps[a].kind < kind) ++a;
    int32_t b = a;
    while (b < count && taps[b].kind >= kind) ++b;
    *lo = a;
    *hi = b;
}

// ---- Sampling of one pixel (every case; the runs below take the common one faster) ----------

// Bilinear with the edge rules: an edge row uses its one row, an edge column its one column.
template <class T, uint32_t C>
ORVA_INLINE void BilinearPixel(const Plane<T>& in, int32_t x, T fx, int32_t y, T fy, T* o) {
    const uint32_t n = Count<C>(in.channels);
    if (x < -1 || x > in.width - 1 || y < -1 || y > in.height - 1) {
        FillBackground<T, C>(o, 1, n);
        return;
    }
    const bool edgeColumn = x == -1 || x == in.width - 1;
    const size_t q = static_cast<size_t>(x < 0 ? 0 : x) * n;
    if (y == -1 || y == in.height - 1) {
        const T* r = in.Row(y < 0 ? 0 : y);
        for (uint32_t c = 0; c < n; ++c) o[c] = edgeColumn ? r[q + c] : r[q + c] + (r[q + n + c] - r[q + c]) * fx;
        return;
    }
    const T* r0 = in.Row(y);
    const T* r1 = in.Row(y + 1);
    for (uint32_t c = 0; c < n; ++c) {
        T a, b;
        if (edgeColumn) {
            a = r0[q + c];
            b = r1[q + c];
        } else {
            a = r0[q + c] + (r0[q + n + c] - r0[q + c]) * fx;
            b = r1[q + c] + (r1[q + n + c] - r1[q + c]) * fx;
        }
        o[c] = a + (b - a) * fy;
    }
}

template <class T>
ORVA_INLINE T Normalised(T sum, T weights) {
    return weights != T(0) ? sum / weights : sum;
}

// Bicubic over the taps inside the block: sum of wx * wy * sample / sum of wx * wy,
// taken row by row (the taps inside form a product of columns and rows).
template <class T, uint32_t C>
ORVA_INLINE void BicubicPixel(const Plane<T>& in, int32_t firstX, const T* wx, int32_t firstY, const T* wy, T* o) {
    const uint32_t n = Count<C>(in.channels);
    T sumX = T(0), sumY = T(0);
    for (int32_t k = 0; k < 4; ++k)
        if (firstX + k >= 0 && firstX + k < in.width) sumX = sumX + wx[k];
    for (int32_t l = 0; l < 4; ++l)
        if (firstY + l >= 0 && firstY + l < in.height) sumY = sumY + wy[l];
    const T weights = sumX * sumY;
    for (uint32_t c = 0; c < n; ++c) {
        T sum = T(0);
        for (int32_t l = 0; l < 4; ++l) {
            const int32_t y = firstY + l;
            if (y < 0 || y >= in.height) continue;
            const T* r = in.Row(y);
            T h = T(0);
            for (int32_t k = 0; k < 4; ++k) {
                const int32_t x = firstX + k;
                if (x >= 0 && x < in.width) h = h + wx[k] * r[static_cast<size_t>(x) * n + c];
            }
            sum = sum + wy[l] * h;
        }
        o[c] = Normalised(sum, weights);
    }
}

// A pixel with all sixteen taps inside: per column the rows weighted first, then the
// columns, each a sum of pairs; the weights sum the same way. `first` is the first
// tap's first sample.
template <class T>
ORVA_INLINE T PairSum(const T* w) {
    return (w[0] + w[1]) + (w[2] + w[3]);
}

template <class T>
ORVA_INLINE T TapSumInside(const T* first, size_t stride, uint32_t n, const T* wx, const T* wy) {
    const T* s0 = first;
    const T* s1 = s0 + stride;
    const T* s2 = s1 + stride;
    const T* s3 = s2 + stride;
    T v[4];
    for (int32_t k = 0; k < 4; ++k) {
        const size_t at = static_cast<size_t>(k) * n;
        v[k] = (wy[0] * s0[at] + wy[1] * s1[at]) + (wy[2] * s2[at] + wy[3] * s3[at]);
    }
    return (wx[0] * v[0] + wx[1] * v[1]) + (wx[2] * v[2] + wx[3] * v[3]);
}

template <class T, uint32_t C>
ORVA_INLINE void BicubicPixelInside(const Plane<T>& in, const T* first, const T* wx, const T* wy, T* o) {
    const uint32_t n = Count<C>(in.channels);
    const T weights = PairSum(wx) * PairSum(wy);
    for (uint32_t c = 0; c < n; ++c) o[c] = Normalised(TapSumInside(first + c, in.stride, n, wx, wy), weights);
}

// ---- Separable path ----------------------------------------------------------------------------

template <class T, uint32_t C>
ORVA_INLINE bool NearestSeparable(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    thread_local std::vector<int32_t> columns, rows;
    if (!Fit(columns, static_cast<size_t>(out.width)) || !Fit(rows, static_cast<size_t>(out.height))) return false;
    NearestAxis(AxisX(s, in.x), out.width, in.width, columns.data());
    NearestAxis(AxisY(s, in.y), out.height, in.height, rows.data());
    const uint32_t n = Count<C>(in.channels);
    int32_t lo = 0, hi = out.width;
    while (lo < hi && columns[static_cast<size_t>(lo)] < 0) ++lo;
    while (hi > lo && columns[static_cast<size_t>(hi - 1)] < 0) --hi;
    const int32_t* col = columns.data();
    for (int32_t j = 0; j < out.height; ++j) {
        T* o = out.Row(j);
        const int32_t y = rows[static_cast<size_t>(j)];
        if (y < 0) {
            FillBackground<T, C>(o, static_cast<size_t>(out.width), n);
            continue;
        }
        const T* r = in.Row(y);
        FillBackground<T, C>(o, static_cast<size_t>(lo), n);
        if constexpr (C == 1) {
            for (int32_t i = lo; i < hi; ++i) o[i] = r[col[i]];
        } else {
            for (int32_t i = lo; i < hi; ++i)
                CopyPixel<T, C>(o + static_cast<size_t>(i) * n, r + static_cast<size_t>(col[i]) * n, n);
        }
        FillBackground<T, C>(o + static_cast<size_t>(hi) * n, static_cast<size_t>(out.width - hi), n);
    }
    return true;
}

template <class T, uint32_t C>
ORVA_INLINE bool BilinearSeparable(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    thread_local std::vector<LinearTap<T>> columns, rows;
    if (!Fit(columns, static_cast<size_t>(out.width)) || !Fit(rows, static_cast<size_t>(out.height))) return false;
    LinearAxis(AxisX(s, in.x), out.width, in.width, columns.data());
    LinearAxis(AxisY(s, in.y), out.height, in.height, rows.data());
    const uint32_t n = Count<C>(in.channels);
    int32_t lo, hi;
    RunOf(columns.data(), out.width, 2, &lo, &hi);
    const LinearTap<T>* col = columns.data();
    for (int32_t j = 0; j < out.height; ++j) {
        T* o = out.Row(j);
        const LinearTap<T>& row = rows[static_cast<size_t>(j)];
        if (row.kind == 0) {
            FillBackground<T, C>(o, static_cast<size_t>(out.width), n);
            continue;
        }
        const int32_t y = row.index;
        auto pixel = [&](int32_t i) {
            const LinearTap<T>& c = col[i];
            BilinearPixel<T, C>(in, c.index, c.fraction, y, row.fraction, o + static_cast<size_t>(i) * n);
        };
        for (int32_t i = 0; i < lo; ++i) pixel(i);
        if (row.kind == 2) {
            const T* r0 = in.Row(y);
            const T* r1 = in.Row(y + 1);
            const T fy = row.fraction;
            if constexpr (C == 1) {
                for (int32_t i = lo; i < hi; ++i) {
                    const int32_t x = col[i].index;
                    const T fx = col[i].fraction;
                    const T a = r0[x] + (r0[x + 1] - r0[x]) * fx;
                    const T b = r1[x] + (r1[x + 1] - r1[x]) * fx;
                    o[i] = a + (b - a) * fy;
                }
            } else {
                for (int32_t i = lo; i < hi; ++i) {
                    const size_t x = static_cast<size_t>(col[i].index) * n;
                    const T fx = col[i].fraction;
                    T* p = o + static_cast<size_t>(i) * n;
                    for (uint32_t c = 0; c < Count<C>(n); ++c) {
                        const T a = r0[x + c] + (r0[x + n + c] - r0[x + c]) * fx;
                        const T b = r1[x + c] + (r1[x + n + c] - r1[x + c]) * fx;
                        p[c] = a + (b - a) * fy;
                    }
                }
            }
        } else {
            for (int32_t i = lo; i < hi; ++i) pixel(i);
        }
        for (int32_t i = hi; i < out.width; ++i) pixel(i);
    }
    return true;
}

// Bicubic, separable: the four row weights of an output row combine its input rows
// once (vertical pass over the columns the row needs), then each output column
// combines four of those sums with its own weights.
template <class T, uint32_t C, int M>
ORVA_INLINE bool BicubicSeparable(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    thread_local std::vector<CubicTap<T>> columns, rows;
    thread_local std::vector<T> sums;
    const uint32_t n = Count<C>(in.channels);
    if (!Fit(columns, static_cast<size_t>(out.width)) || !Fit(rows, static_cast<size_t>(out.height)) ||
        !Fit(sums, static_cast<size_t>(in.width) * n))
        return false;
    CubicAxis<T, M>(AxisX(s, in.x), out.width, in.width, false, columns.data());
    CubicAxis<T, M>(AxisY(s, in.y), out.height, in.height, true, rows.data());
    const CubicTap<T>* col = columns.data();
    int32_t lo, hi, anyLo, anyHi;
    RunOf(col, out.width, 2, &lo, &hi);
    RunOf(col, out.width, 1, &anyLo, &anyHi);
    // The block columns that some output column reads.
    int32_t need0 = in.width, need1 = 0;
    for (int32_t i = anyLo; i < anyHi; ++i) {
        need0 = std::min(need0, std::max(col[i].first, 0));
        need1 = std::max(need1, std::min(col[i].first + 4, in.width));
    }
    const size_t from = static_cast<size_t>(std::max(need0, 0)) * n;
    const size_t to = static_cast<size_t>(need1) * n;
    T* t = sums.data();
    for (int32_t j = 0; j < out.height; ++j) {
        T* o = out.Row(j);
        const CubicTap<T>& row = rows[static_cast<size_t>(j)];
        if (row.kind == 0 || anyLo >= anyHi) {
            FillBackground<T, C>(o, static_cast<size_t>(out.width), n);
            continue;
        }
        // Vertical pass.
        const T* w = row.weight;
        if (row.kind == 2) {
            const T* r0 = in.Row(row.first);
            const T* r1 = r0 + in.stride;
            const T* r2 = r1 + in.stride;
            const T* r3 = r2 + in.stride;
            for (size_t x = from; x < to; ++x) t[x] = ((w[0] * r0[x] + w[1] * r1[x]) + w[2] * r2[x]) + w[3] * r3[x];
        } else {
            for (size_t x = from; x < to; ++x) t[x] = T(0);
            for (int32_t l = 0; l < 4; ++l) {
                const int32_t y = row.first + l;
                if (y < 0 || y >= in.height) continue;
                const T* r = in.Row(y);
                for (size_t x = from; x < to; ++x) t[x] = t[x] + w[l] * r[x];
            }
        }
        // Horizontal pass.
        const T sumY = row.sum;
        auto edge = [&](int32_t i) {
            const CubicTap<T>& c = col[i];
            T* p = o + static_cast<size_t>(i) * n;
            if (c.kind == 0) {
                FillBackground<T, C>(p, 1, n);
                return;
            }
            const T weights = c.sum * sumY;
            for (uint32_t ch = 0; ch < n; ++ch) {
                T sum = T(0);
                for (int32_t k = 0; k < 4; ++k) {
                    const int32_t x = c.first + k;
                    if (x >= 0 && x < in.width) sum = sum + c.weight[k] * t[static_cast<size_t>(x) * n + ch];
                }
                p[ch] = Normalised(sum, weights);
            }
        };
        for (int32_t i = 0; i < lo; ++i) edge(i);
        if constexpr (C == 1) {
            for (int32_t i = lo; i < hi; ++i) {
                const CubicTap<T>& c = col[i];
                const T* v = t + c.first;
                const T sum = ((c.weight[0] * v[0] + c.weight[1] * v[1]) + c.weight[2] * v[2]) + c.weight[3] * v[3];
                o[i] = Normalised(sum, c.sum * sumY);
            }
        } else {
            for (int32_t i = lo; i < hi; ++i) {
                const CubicTap<T>& c = col[i];
                const T* v = t + static_cast<size_t>(c.first) * n;
                T* p = o + static_cast<size_t>(i) * n;
                const T weights = c.sum * sumY;
                for (uint32_t ch = 0; ch < Count<C>(n); ++ch) {
                    const T sum = ((c.weight[0] * v[ch] + c.weight[1] * v[n + ch]) + c.weight[2] * v[2 * n + ch]) +
                                  c.weight[3] * v[3 * n + ch];
                    p[ch] = Normalised(sum, weights);
                }
            }
        }
        for (int32_t i = hi; i < out.width; ++i) edge(i);
    }
    return true;
}

// ---- Rotated path ----------------------------------------------------------------------------
//
// The output is walked in tiles (kTile), a row of tiles at a time, so that the input a
// tile reads stays in the nearest caches. The positions of a whole tile are formed
// first (vectorised), one tile ahead with its input prefetched, then its samples are
// read: the loads of many rows are then in flight together.

// The positions of one tile, row by row: per pixel the offset in the block of its
// first tap when all its taps lie inside (-1 otherwise) and the fractions of its
// position. Pixels with taps outside are formed again one by one (PositionOf).
struct TilePositions {
    int32_t offset[kTilePixels];
    double fx[kTilePixels];
    double fy[kTilePixels];
};

// The map's term of an output row.
struct RowTerm {
    double x, y;
};
ORVA_INLINE RowTerm RowTermOf(const AffineInputMap& m, int64_t row) {
    const double v = (static_cast<double>(row) + 0.5) - m.centreY;
    return RowTerm{m.x0 + m.xPerV * v, m.y0 + m.yPerV * v};
}

// The sampled position of the pixel at `u` (its centre less the output centre) in a
// row: one multiply-add per axis; the interpolating modes take pixel centres at whole
// numbers (`half` less).
ORVA_INLINE void MapPixel(const AffineInputMap& m, RowTerm row, double u, double half, double* x, double* y) {
    *x = Held((row.x + m.xPerU * u) - half);
    *y = Held((row.y + m.yPerU * u) - half);
}

// Pixels first .. first + count - 1 of output row `row`. The mode samples from
// `Before` taps before the position's index to `After` taps after it.
template <int Before, int After, bool Fractions>
ORVA_INLINE void RowPositions(const Setup& s, const Plane<double>& shape, int64_t row, int64_t first, int32_t count,
                              int32_t* offset, double* fx, double* fy) {
    const AffineInputMap& m = s.map;
    const double half = After > 0 ? 0.5 : 0.0;
    const RowTerm term = RowTermOf(m, row);
    const double u0 = (static_cast<double>(first) + 0.5) - m.centreX;
    const double width = static_cast<double>(shape.width), height = static_cast<double>(shape.height);
    const double stride = static_cast<double>(shape.stride), n = static_cast<double>(shape.channels);
    for (int32_t k = 0; k < count; ++k) {
        double x, y;
        MapPixel(m, term, u0 + static_cast<double>(k), half, &x, &y);  // u: whole and half numbers, exact
        const double ix = std::floor(x), iy = std::floor(y);
        const double bx = ix - shape.x, by = iy - shape.y;  // exact
        const bool inside = (bx >= Before) & (bx < width - After) & (by >= Before) & (by < height - After);
        // Below 2^27 samples (the buffer's largest block): exact, and fits.
        offset[k] = inside ? static_cast<int32_t>((by - Before) * stride + (bx - Before) * n) : -1;
        if constexpr (Fractions) {
            fx[k] = x - ix;
            fy[k] = y - iy;
        }
    }
}

// One pixel's block indices (at least -16) and fractions, formed as RowPositions forms them.
struct PixelPosition {
    int32_t x, y;
    double fx, fy;
};
ORVA_INLINE PixelPosition PositionOf(const Setup& s, const Plane<double>& shape, int64_t row, int64_t column) {
    const AffineInputMap& m = s.map;
    double x, y;
    MapPixel(m, RowTermOf(m, row), (static_cast<double>(column) + 0.5) - m.centreX, 0.5, &x, &y);
    double fx, fy;
    const int32_t bx = IndexOf(x, shape.x, &fx), by = IndexOf(y, shape.y, &fy);
    return PixelPosition{bx, by, fx, fy};
}

// The block's shape (its samples are not read through it).
template <class T>
Plane<double> ShapeOf(const Plane<T>& in) {
    Plane<double> shape;
    shape.stride = in.stride;
    shape.width = in.width;
    shape.height = in.height;
    shape.x = in.x;
    shape.y = in.y;
    shape.channels = in.channels;
    return shape;
}

// The shape of the tiles: `width` pixels by `height` rows.
struct TileShape {
    int32_t width, height;
};
constexpr TileShape kTile{128, 32};
static_assert(kTile.width * kTile.height <= kTilePixels && kTile.width <= kMaxTileWidth);

// One tile: its first row and pixel, its rows and pixels per row.
struct Tile {
    int32_t j0, i0, rows, count;
};

// Walks the tiles of the output row of tiles by row of tiles, calling `samples(tile,
// positions)`. The positions of each tile are formed one tile ahead and the input
// lines its pixels read (rows 0 .. After past each first tap) are prefetched into the
// second-level cache, so that the loads of the tile find them there.
template <int Before, int After, bool Fractions, class Samples>
ORVA_INLINE void WalkTiles(const Setup& s, const Plane<double>& block, const void* data, size_t sampleBytes,
                           int32_t width, int32_t height, TileShape shape, TilePositions* p, Samples&& samples) {
    auto positions = [&](const Tile& t, TilePositions& q) ORVA_LAMBDA_INLINE {
        for (int32_t r = 0; r < t.rows; ++r) {
            const int32_t at = r * shape.width;
            RowPositions<Before, After, Fractions>(s, block, s.y + t.j0 + r, s.x + t.i0, t.count, q.offset + at,
                                                   q.fx + at, q.fy + at);
        }
        const auto* base = static_cast<const char*>(data);
        const size_t rowBytes = block.stride * sampleBytes;
        for (int32_t r = 0; r < t.rows; ++r)
            for (int32_t k = 0; k < t.count; k += 2) {
                const int32_t at = q.offset[r * shape.width + k];
                if (at < 0) continue;
                for (int32_t l = 0; l <= After; ++l)
                    __builtin_prefetch(base + static_cast<size_t>(at) * sampleBytes + static_cast<size_t>(l) * rowBytes, 0, 2);
            }
    };
    auto after = [&](Tile t) {
        t.i0 += shape.width;
        if (t.i0 >= width) {
            t.i0 = 0;
            t.j0 += shape.height;
        }
        t.rows = std::min(shape.height, height - t.j0);
        t.count = std::min(shape.width, width - t.i0);
        return t;
    };
    Tile current{0, 0, std::min(shape.height, height), std::min(shape.width, width)};
    int32_t at = 0;
    positions(current, p[at]);
    while (current.j0 < height) {
        const Tile next = after(current);
        if (next.j0 < height) positions(next, p[1 - at]);
        samples(current, static_cast<const TilePositions&>(p[at]));
        current = next;
        at = 1 - at;
    }
}

// ---- AVX2 loops of the rotated path for one-channel 64-bit reals ------------------------------
//
// The same operations as the plain loops, four values at a time: the results are
// the same bits.

ORVA_TARGET_AVX2_BEGIN

// Four samples at `base` + offsets (the plain gather leaves its result undefined
// before it fills it, which the compiler reports).
inline __m256d Gather4(const double* base, __m128i at) {
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), base, at, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8);
}

// Four offsets: lanes outside (-1) read offset 0.
inline __m128i SafeOffsets(const int32_t* offset) {
    const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(offset));
    return _mm_andnot_si128(_mm_cmpgt_epi32(_mm_setzero_si128(), at), at);
}

// Nearest: the samples at the offsets, the background where -1. Returns the pixels done.
inline int32_t NearestRowAvx2(const double* data, const int32_t* offset, int32_t count, double* o) {
    const __m256d background = _mm256_set1_pd(-DBL_MAX);
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(offset + k));
        const __m256d inside = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_cmpgt_epi32(at, _mm_set1_epi32(-1))));
        _mm256_storeu_pd(o + k, _mm256_mask_i32gather_pd(background, data, at, inside, 8));
    }
    return k;
}

// Bilinear for the pixels whose four taps lie inside (the others are written, then
// overwritten by the caller). Returns the pixels done.
inline int32_t BilinearRowAvx2(const double* data, size_t stride, const int32_t* offset, const double* fx,
                               const double* fy, int32_t count, double* o) {
    const double* below = data + stride;
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i at = SafeOffsets(offset + k);
        const __m256d a0 = Gather4(data, at), a1 = Gather4(data + 1, at);
        const __m256d b0 = Gather4(below, at), b1 = Gather4(below + 1, at);
        const __m256d x = _mm256_loadu_pd(fx + k), y = _mm256_loadu_pd(fy + k);
        const __m256d a = _mm256_add_pd(a0, _mm256_mul_pd(_mm256_sub_pd(a1, a0), x));
        const __m256d b = _mm256_add_pd(b0, _mm256_mul_pd(_mm256_sub_pd(b1, b0), x));
        _mm256_storeu_pd(o + k, _mm256_add_pd(a, _mm256_mul_pd(_mm256_sub_pd(b, a), y)));
    }
    return k;
}

inline __m256d Cube4(__m256d x) { return _mm256_mul_pd(_mm256_mul_pd(x, x), x); }

// CubicWeight of four arguments.
inline __m256d CubicWeight4(__m256d t) {
    const __m256d one = _mm256_set1_pd(1.0), two = _mm256_set1_pd(2.0), zero = _mm256_setzero_pd();
    const __m256d four = _mm256_set1_pd(4.0), six = _mm256_set1_pd(6.0);
    __m256d r = Cube4(_mm256_add_pd(t, two));
    r = _mm256_blendv_pd(r, _mm256_sub_pd(r, _mm256_mul_pd(four, Cube4(_mm256_add_pd(t, one)))),
                         _mm256_cmp_pd(t, _mm256_sub_pd(zero, one), _CMP_GT_OQ));
    r = _mm256_blendv_pd(r, _mm256_add_pd(r, _mm256_mul_pd(six, Cube4(t))), _mm256_cmp_pd(t, zero, _CMP_GT_OQ));
    r = _mm256_blendv_pd(r, _mm256_sub_pd(r, _mm256_mul_pd(four, Cube4(_mm256_sub_pd(t, one)))),
                         _mm256_cmp_pd(t, one, _CMP_GT_OQ));
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(t, _mm256_sub_pd(zero, two), _CMP_GT_OQ),
                                         _mm256_cmp_pd(t, two, _CMP_LT_OQ));
    return _mm256_and_pd(r, inside);
}

// The table entries of four arguments in (-2, 3) (the taps of a pixel whose taps all
// lie inside): TableIndex, four at a time, where no argument needs the clamps that
// keep the float conversion and the rounding addition exact.
inline __m256d TabulatedWeight4(__m256d t) {
    const __m256d q = _mm256_mul_pd(_mm256_add_pd(t, _mm256_set1_pd(2.0)), _mm256_set1_pd(128.0));
    const __m128 r = _mm_add_ps(_mm_sub_ps(_mm256_cvtpd_ps(q), _mm_set1_ps(0.5f)), _mm_set1_ps(12582912.0f));
    const __m128i i = _mm_min_epi32(_mm_sub_epi32(_mm_castps_si128(r), _mm_set1_epi32(0x4B400000)), _mm_set1_epi32(511));
    return Gather4(CubicWeightTableD.data(), i);
}

// One pixel whose sixteen taps lie inside: its sum and weight sum as TapSumInside
// and PairSum form them.
template <int M>
inline void BicubicSumsAvx2(const double* s0, size_t stride, double fx, double fy, double* sum, double* weight) {
    const __m256d taps = _mm256_set_pd(2.0, 1.0, 0.0, -1.0);
    const __m256d tx = _mm256_sub_pd(taps, _mm256_set1_pd(fx));
    const __m256d ty = _mm256_sub_pd(_mm256_set1_pd(fy), taps);
    const __m256d wx = M == kBicubic ? CubicWeight4(tx) : TabulatedWeight4(tx);
    const __m256d wy = M == kBicubic ? CubicWeight4(ty) : TabulatedWeight4(ty);
    const __m256d v = _mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(_mm256_permute4x64_pd(wy, 0x00), _mm256_loadu_pd(s0)),
                      _mm256_mul_pd(_mm256_permute4x64_pd(wy, 0x55), _mm256_loadu_pd(s0 + stride))),
        _mm256_add_pd(_mm256_mul_pd(_mm256_permute4x64_pd(wy, 0xAA), _mm256_loadu_pd(s0 + 2 * stride)),
                      _mm256_mul_pd(_mm256_permute4x64_pd(wy, 0xFF), _mm256_loadu_pd(s0 + 3 * stride))));
    // Pairs: (p0 + p1) + (p2 + p3), for the products and for each weight vector.
    const __m256d p = _mm256_hadd_pd(_mm256_mul_pd(wx, v), wx);  // [p0+p1, x0+x1, p2+p3, x2+x3]
    const __m256d w = _mm256_hadd_pd(wy, wy);                      // [y0+y1, y0+y1, y2+y3, y2+y3]
    const __m128d pairs = _mm_add_pd(_mm256_castpd256_pd128(p), _mm256_extractf128_pd(p, 1));
    const __m128d ws = _mm_add_pd(_mm256_castpd256_pd128(w), _mm256_extractf128_pd(w, 1));
    _mm_store_sd(sum, pairs);
    _mm_store_sd(weight, _mm_mul_sd(_mm_unpackhi_pd(pairs, pairs), ws));
}

// The quotient, or the sum itself where the weights sum to 0, four at a time.
inline __m256d Normalised4(__m256d sum, __m256d weight) {
    const __m256d zero = _mm256_cmp_pd(weight, _mm256_setzero_pd(), _CMP_EQ_OQ);
    return _mm256_blendv_pd(_mm256_div_pd(sum, weight), sum, zero);
}

// Bicubic for the pixels whose sixteen taps lie inside: their sums and weight sums
// as TapSumInside and PairSum form them, then the quotients, four at a time (the
// other pixels are written too, then overwritten by the caller).
inline void BicubicRowAvx2(const double* data, size_t stride, const int32_t* offset, const double* fx,
                           const double* fy, int32_t count, double* o) {
    alignas(32) double sums[kMaxTileWidth], weights[kMaxTileWidth];
    for (int32_t k = 0; k < count; ++k) {
        if (offset[k] < 0) {
            sums[k] = 0.0;
            weights[k] = 1.0;
            continue;
        }
        BicubicSumsAvx2<kBicubic>(data + offset[k], stride, fx[k], fy[k], sums + k, weights + k);
    }
    int32_t k = 0;
    for (; k + 4 <= count; k += 4)
        _mm256_storeu_pd(o + k, Normalised4(_mm256_load_pd(sums + k), _mm256_load_pd(weights + k)));
    for (; k < count; ++k) o[k] = Normalised(sums[k], weights[k]);
}

// The fast mode: four pixels at a time, each position's taps weighted by whole rows of
// kColumnTaps and kRowTaps when its fractions lie away from the table's steps; the
// products summed per pixel in pairs, (p0 + p1) + (p2 + p3), by two transposing adds.
// A group with a fraction near a step, or with a pixel whose taps reach outside (written,
// then overwritten by the caller), is weighted tap by tap.
inline void BicubicFastRowAvx2(const double* data, size_t stride, const int32_t* offset, const double* fx,
                               const double* fy, int32_t count, double* o) {
    static constexpr TapTable kColumnTaps = MakeTapTable(false);
    static constexpr TapTable kRowTaps = MakeTapTable(true);
    const __m256d scale = _mm256_set1_pd(128.0);
    const __m256d low = _mm256_set1_pd(kTapStepMargin), high = _mm256_set1_pd(1.0 - kTapStepMargin);
    auto pixels = [&](int32_t k, int32_t end) {
        for (; k < end; ++k) {
            if (offset[k] < 0) continue;
            double sum, weight;
            BicubicSumsAvx2<kBicubicFast>(data + offset[k], stride, fx[k], fy[k], &sum, &weight);
            o[k] = Normalised(sum, weight);
        }
    };
    int32_t k = 0;
    for (; k + 4 <= count; k += 4) {
        const __m128i at = _mm_loadu_si128(reinterpret_cast<const __m128i*>(offset + k));
        const __m256d gx = _mm256_mul_pd(_mm256_loadu_pd(fx + k), scale);
        const __m256d gy = _mm256_mul_pd(_mm256_loadu_pd(fy + k), scale);
        const __m256d ix = _mm256_floor_pd(gx), iy = _mm256_floor_pd(gy);
        const __m256d rx = _mm256_sub_pd(gx, ix), ry = _mm256_sub_pd(gy, iy);
        const __m256d clear =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(rx, low, _CMP_GT_OQ), _mm256_cmp_pd(rx, high, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(ry, low, _CMP_GT_OQ), _mm256_cmp_pd(ry, high, _CMP_LT_OQ)));
        if (_mm256_movemask_pd(clear) != 0xF || _mm_movemask_ps(_mm_castsi128_ps(at)) != 0) {
            pixels(k, k + 4);
            continue;
        }
        const __m128i columns = _mm_sub_epi32(_mm_set1_epi32(127), _mm256_cvttpd_epi32(ix));
        const __m128i rows = _mm256_cvttpd_epi32(iy);
        alignas(16) int32_t a[4], b[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(a), columns);
        _mm_store_si128(reinterpret_cast<__m128i*>(b), rows);
        const __m256d weight = _mm256_mul_pd(Gather4(kColumnTaps.sum, columns), Gather4(kRowTaps.sum, rows));
        __m256d p[4];
        for (int q = 0; q < 4; ++q) {
            const double* s0 = data + offset[k + q];
            const double* wy = kRowTaps.w[b[q]];
            const __m256d v = _mm256_add_pd(
                _mm256_add_pd(_mm256_mul_pd(_mm256_broadcast_sd(wy), _mm256_loadu_pd(s0)),
                              _mm256_mul_pd(_mm256_broadcast_sd(wy + 1), _mm256_loadu_pd(s0 + stride))),
                _mm256_add_pd(_mm256_mul_pd(_mm256_broadcast_sd(wy + 2), _mm256_loadu_pd(s0 + 2 * stride)),
                              _mm256_mul_pd(_mm256_broadcast_sd(wy + 3), _mm256_loadu_pd(s0 + 3 * stride))));
            p[q] = _mm256_mul_pd(_mm256_load_pd(kColumnTaps.w[a[q]]), v);
        }
        const __m256d p01 = _mm256_add_pd(_mm256_unpacklo_pd(p[0], p[1]), _mm256_unpackhi_pd(p[0], p[1]));
        const __m256d p23 = _mm256_add_pd(_mm256_unpacklo_pd(p[2], p[3]), _mm256_unpackhi_pd(p[2], p[3]));
        const __m256d sum =
            _mm256_add_pd(_mm256_permute2f128_pd(p01, p23, 0x20), _mm256_permute2f128_pd(p01, p23, 0x31));
        _mm256_storeu_pd(o + k, Normalised4(sum, weight));
    }
    pixels(k, count);
}

ORVA_TARGET_END

// ---- Quarter turns without zoom: a permutation of the pixels ------------------------------------
//
// A turn by a multiple of 90 degrees at zoom 1 moves every pixel whole: the position
// of each output pixel is an exact sum of half pixels, so its block index is a
// whole-number affine map of the output pixel with coefficients 0 and +-1. Such a
// request is filled by copying: rows (or reversed rows) when the output's rows run
// along the input's rows, else tile by tile as a transpose, which reads the input a
// cache-sized square at a time instead of down whole columns. The indices are the
// ones the general loop forms, so the pixels are the same.

// Output pixel (i, j) of the request reads block pixel (x0 + xi * i + xj * j,
// y0 + yi * i + yj * j).
struct Permutation {
    int64_t x0, y0;
    int32_t xi, xj, yi, yj;
};

// The request's map as a permutation, or false when it is not one.
bool PermutationOf(const Setup& s, const Plane<double>& block, Permutation* p) {
    const AffineInputMap& m = s.map;
    auto unit = [](double c) { return c == 0.0 || c == 1.0 || c == -1.0; };
    if (!unit(m.xPerU) || !unit(m.xPerV) || !unit(m.yPerU) || !unit(m.yPerV)) return false;
    // One output axis for each input axis.
    const bool xu = m.xPerU != 0.0, xv = m.xPerV != 0.0, yu = m.yPerU != 0.0, yv = m.yPerV != 0.0;
    if (xu == xv || yu == yv || xu == yu) return false;
    // Origins and centres on half pixels, far from where sums would round.
    auto halves = [](double c) { return std::fabs(c) <= kFar && c * 2.0 == std::floor(c * 2.0); };
    if (!halves(m.x0) || !halves(m.y0) || !halves(m.centreX) || !halves(m.centreY)) return false;
    // Every position of the request within the range that positions are held to (the
    // corners bound them).
    for (int corner = 0; corner < 4; ++corner) {
        const int64_t X = s.x + ((corner & 1) != 0 ? s.width - 1 : 0);
        const int64_t Y = s.y + ((corner & 2) != 0 ? s.height - 1 : 0);
        double x, y;
        MapPixel(m, RowTermOf(m, Y), (static_cast<double>(X) + 0.5) - m.centreX, 0.0, &x, &y);
        if (!(std::fabs(x) < kFar && std::fabs(y) < kFar)) return false;
    }
    double x, y;
    MapPixel(m, RowTermOf(m, s.y), (static_cast<double>(s.x) + 0.5) - m.centreX, 0.0, &x, &y);
    p->x0 = static_cast<int64_t>(std::floor(x) - block.x);
    p->y0 = static_cast<int64_t>(std::floor(y) - block.y);
    p->xi = static_cast<int32_t>(m.xPerU);
    p->xj = static_cast<int32_t>(m.xPerV);
    p->yi = static_cast<int32_t>(m.yPerU);
    p->yj = static_cast<int32_t>(m.yPerV);
    return true;
}

// The t in [0, count) with 0 <= base + step * t < limit, step +-1: [*lo, *hi).
void UnitRange(int64_t base, int32_t step, int64_t limit, int32_t count, int32_t* lo, int32_t* hi) {
    const int64_t a = step > 0 ? -base : base - limit + 1;
    const int64_t b = step > 0 ? limit - base : base + 1;
    *lo = static_cast<int32_t>(std::clamp<int64_t>(a, 0, count));
    *hi = static_cast<int32_t>(std::clamp<int64_t>(b, *lo, count));
}

// The side of the squares that the transposing copy walks.
constexpr int32_t kTurnTile = 128;

ORVA_TARGET_AVX2_BEGIN

// A 4 x 4 square of one-channel 64-bit samples, transposed: output row j + q, pixels
// i .. i + 3, from block rows r[0..3] (one per output pixel) at columns c .. c + 3
// (column c + q for output row q, or c + 3 - q when `reversed`).
inline void Transpose4Avx2(const double* const r[4], int64_t c, bool reversed, double* const o[4]) {
    const __m256d l0 = _mm256_loadu_pd(r[0] + c), l1 = _mm256_loadu_pd(r[1] + c);
    const __m256d l2 = _mm256_loadu_pd(r[2] + c), l3 = _mm256_loadu_pd(r[3] + c);
    const __m256d a = _mm256_unpacklo_pd(l0, l1), b = _mm256_unpackhi_pd(l0, l1);
    const __m256d e = _mm256_unpacklo_pd(l2, l3), f = _mm256_unpackhi_pd(l2, l3);
    const __m256d t[4] = {_mm256_permute2f128_pd(a, e, 0x20), _mm256_permute2f128_pd(b, f, 0x20),
                          _mm256_permute2f128_pd(a, e, 0x31), _mm256_permute2f128_pd(b, f, 0x31)};
    for (int q = 0; q < 4; ++q) _mm256_storeu_pd(o[q], t[reversed ? 3 - q : q]);
}

ORVA_TARGET_END

// Fills the request by the permutation; false when the map is not one (the general
// loop then runs).
template <class T, uint32_t C, bool Avx2>
ORVA_INLINE bool PermuteRotated(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    Permutation p;
    if (!PermutationOf(s, ShapeOf(in), &p)) return false;
    const uint32_t n = Count<C>(in.channels);
    const bool rows = p.xi != 0;  // output rows run along input rows
    // The pixels that fall inside the block: a rectangle.
    int32_t i0, i1, j0, j1;
    if (rows) {
        UnitRange(p.x0, p.xi, in.width, out.width, &i0, &i1);
        UnitRange(p.y0, p.yj, in.height, out.height, &j0, &j1);
    } else {
        UnitRange(p.y0, p.yi, in.height, out.width, &i0, &i1);
        UnitRange(p.x0, p.xj, in.width, out.height, &j0, &j1);
    }
    if (i0 >= i1) j0 = j1 = 0;
    const size_t w = static_cast<size_t>(out.width);
    for (int32_t j = 0; j < out.height; ++j) {
        T* o = out.Row(j);
        if (j < j0 || j >= j1) {
            FillBackground<T, C>(o, w, n);
            continue;
        }
        FillBackground<T, C>(o, static_cast<size_t>(i0), n);
        FillBackground<T, C>(o + static_cast<size_t>(i1) * n, w - static_cast<size_t>(i1), n);
    }
    if (j0 >= j1) return true;
    if (rows) {
        for (int32_t j = j0; j < j1; ++j) {
            const T* r = in.Row(static_cast<int32_t>(p.y0 + static_cast<int64_t>(p.yj) * j));
            T* o = out.Row(j) + static_cast<size_t>(i0) * n;
            const int64_t first = p.x0 + static_cast<int64_t>(p.xi) * i0;
            const size_t count = static_cast<size_t>(i1 - i0);
            if (p.xi > 0) {
                std::copy(r + static_cast<size_t>(first) * n, r + (static_cast<size_t>(first) + count) * n, o);
            } else {
                for (size_t k = 0; k < count; ++k)
                    CopyPixel<T, C>(o + k * n, r + (static_cast<size_t>(first) - k) * n, n);
            }
        }
        return true;
    }
    // Output row j reads block column x0 + xj * j; its pixel i block row y0 + yi * i.
    auto row = [&](int32_t i) { return in.Row(static_cast<int32_t>(p.y0 + static_cast<int64_t>(p.yi) * i)); };
    auto column = [&](int32_t j) { return p.x0 + static_cast<int64_t>(p.xj) * j; };
    for (int32_t jt = j0; jt < j1; jt += kTurnTile) {
        const int32_t je = std::min(jt + kTurnTile, j1);
        for (int32_t it = i0; it < i1; it += kTurnTile) {
            const int32_t ie = std::min(it + kTurnTile, i1);
            int32_t j = jt;
            if constexpr (Avx2 && C == 1 && std::is_same_v<T, double>) {
                const int32_t ie4 = it + (ie - it) / 4 * 4;
                for (; j + 4 <= je; j += 4) {
                    double* const o[4] = {out.Row(j), out.Row(j + 1), out.Row(j + 2), out.Row(j + 3)};
                    const int64_t c = p.xj > 0 ? column(j) : column(j + 3);
                    for (int32_t i = it; i < ie4; i += 4) {
                        const double* const r[4] = {row(i), row(i + 1), row(i + 2), row(i + 3)};
                        double* const at[4] = {o[0] + i, o[1] + i, o[2] + i, o[3] + i};
                        Transpose4Avx2(r, c, p.xj < 0, at);
                    }
                    for (int32_t q = 0; q < 4; ++q) {
                        const int64_t cq = column(j + q);
                        for (int32_t i = ie4; i < ie; ++i) o[q][i] = row(i)[cq];
                    }
                }
            }
            for (; j < je; ++j) {
                T* o = out.Row(j);
                const size_t c = static_cast<size_t>(column(j)) * n;
                for (int32_t i = it; i < ie; ++i) CopyPixel<T, C>(o + static_cast<size_t>(i) * n, row(i) + c, n);
            }
        }
    }
    return true;
}

// Whether some pixel of a row of a tile has taps outside the block (offset -1).
ORVA_INLINE bool AnyOutside(const int32_t* offset, int32_t count) {
    int32_t all = 0;
    for (int32_t k = 0; k < count; ++k) all |= offset[k];
    return all < 0;
}

template <class T, uint32_t C, bool Avx2>
ORVA_INLINE void NearestRotated(const Setup& s, const Plane<T>& in, const Target<T>& out, TilePositions* tiles) {
    const uint32_t n = Count<C>(in.channels);
    const Plane<double> block = ShapeOf(in);
    const TileShape shape = kTile;
    auto samples = [&](const Tile& t, const TilePositions& p) ORVA_LAMBDA_INLINE {
        const int32_t j0 = t.j0, i0 = t.i0, count = t.count;
        for (int32_t r = 0; r < t.rows; ++r) {
            T* o = out.Row(j0 + r) + static_cast<size_t>(i0) * n;
            const int32_t* offset = p.offset + r * shape.width;
            int32_t k = 0;
            if constexpr (Avx2 && C == 1 && std::is_same_v<T, double>) k = NearestRowAvx2(in.data, offset, count, o);
            for (; k < count; ++k) {
                T* q = o + static_cast<size_t>(k) * n;
                if (offset[k] >= 0) CopyPixel<T, C>(q, in.data + offset[k], n);
                else FillBackground<T, C>(q, 1, n);
            }
        }
    };
    WalkTiles<0, 0, false>(s, block, in.data, sizeof(T), out.width, out.height, shape, tiles, samples);
}

template <class T, uint32_t C, bool Avx2>
ORVA_INLINE void BilinearRotated(const Setup& s, const Plane<T>& in, const Target<T>& out, TilePositions* tiles) {
    const uint32_t n = Count<C>(in.channels);
    const Plane<double> block = ShapeOf(in);
    const TileShape shape = kTile;
    auto samples = [&](const Tile& t, const TilePositions& p) ORVA_LAMBDA_INLINE {
        const int32_t j0 = t.j0, i0 = t.i0, count = t.count;
        for (int32_t r = 0; r < t.rows; ++r) {
            T* o = out.Row(j0 + r) + static_cast<size_t>(i0) * n;
            const int32_t* offset = p.offset + r * shape.width;
            const double* fx = p.fx + r * shape.width;
            const double* fy = p.fy + r * shape.width;
            int32_t k = 0;
            if constexpr (Avx2 && C == 1 && std::is_same_v<T, double>)
                k = BilinearRowAvx2(in.data, in.stride, offset, fx, fy, count, o);
            for (; k < count; ++k) {
                if (offset[k] < 0) continue;
                const T x = static_cast<T>(fx[k]), y = static_cast<T>(fy[k]);
                const T* r0 = in.data + offset[k];
                const T* r1 = r0 + in.stride;
                T* q = o + static_cast<size_t>(k) * n;
                for (uint32_t c = 0; c < n; ++c) {
                    const T a = r0[c] + (r0[n + c] - r0[c]) * x;
                    const T b = r1[c] + (r1[n + c] - r1[c]) * x;
                    q[c] = a + (b - a) * y;
                }
            }
            // The pixels with taps outside, by the edge rules.
            if (!AnyOutside(offset, count)) continue;
            for (k = 0; k < count; ++k) {
                if (offset[k] >= 0) continue;
                const PixelPosition e = PositionOf(s, block, s.y + j0 + r, s.x + i0 + k);
                BilinearPixel<T, C>(in, e.x, static_cast<T>(e.fx), e.y, static_cast<T>(e.fy),
                                    o + static_cast<size_t>(k) * n);
            }
        }
    };
    WalkTiles<0, 1, true>(s, block, in.data, sizeof(T), out.width, out.height, shape, tiles, samples);
}

template <class T, uint32_t C, int M, bool Avx2>
ORVA_INLINE void BicubicRotated(const Setup& s, const Plane<T>& in, const Target<T>& out, TilePositions* tiles) {
    const uint32_t n = Count<C>(in.channels);
    const Plane<double> block = ShapeOf(in);
    const TileShape shape = kTile;
    auto samples = [&](const Tile& t, const TilePositions& p) ORVA_LAMBDA_INLINE {
        const int32_t j0 = t.j0, i0 = t.i0, count = t.count;
        for (int32_t r = 0; r < t.rows; ++r) {
            T* o = out.Row(j0 + r) + static_cast<size_t>(i0) * n;
            const int32_t* offset = p.offset + r * shape.width;
            const double* fx = p.fx + r * shape.width;
            const double* fy = p.fy + r * shape.width;
            if constexpr (Avx2 && C == 1 && std::is_same_v<T, double>) {
                if constexpr (M == kBicubic) BicubicRowAvx2(in.data, in.stride, offset, fx, fy, count, o);
                else BicubicFastRowAvx2(in.data, in.stride, offset, fx, fy, count, o);
            } else {
                for (int32_t k = 0; k < count; ++k) {
                    if (offset[k] < 0) continue;
                    T w[4], h[4];
                    for (int32_t t = 0; t < 4; ++t) {
                        const double d = static_cast<double>(t - 1);
                        w[t] = TapWeight<T, M>(d - fx[k]);
                        h[t] = TapWeight<T, M>(fy[k] - d);
                    }
                    BicubicPixelInside<T, C>(in, in.data + offset[k], w, h, o + static_cast<size_t>(k) * n);
                }
            }
            // The pixels with taps outside: the taps inside, renormalised.
            if (!AnyOutside(offset, count)) continue;
            for (int32_t k = 0; k < count; ++k) {
                if (offset[k] >= 0) continue;
                T* q = o + static_cast<size_t>(k) * n;
                PixelPosition e = PositionOf(s, block, s.y + j0 + r, s.x + i0 + k);
                if (e.x < -1 || e.x >= in.width || e.y < -1 || e.y >= in.height) {
                    FillBackground<T, C>(q, 1, n);
                    continue;
                }
                // An index of -1 moves to 0, its fraction becoming negative.
                if (e.x == -1) {
                    e.x = 0;
                    e.fx -= 1.0;
                }
                if (e.y == -1) {
                    e.y = 0;
                    e.fy -= 1.0;
                }
                T w[4], h[4];
                for (int32_t t = 0; t < 4; ++t) {
                    w[t] = TapWeight<T, M>(static_cast<double>(t - 1) - e.fx);
                    h[t] = TapWeight<T, M>(e.fy - static_cast<double>(t - 1));
                }
                BicubicPixel<T, C>(in, e.x - 1, w, e.y - 1, h, q);
            }
        }
    };
    WalkTiles<1, 2, true>(s, block, in.data, sizeof(T), out.width, out.height, shape, tiles, samples);
}

// ---- Dispatch: baseline and AVX2 builds of the same loops ---------------------------------------

template <class T, uint32_t C, int M, bool Avx2>
ORVA_INLINE bool Fill(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    if (s.record.rotated == 0) {
        if constexpr (M == kNearest) return NearestSeparable<T, C>(s, in, out);
        else if constexpr (M == kBilinear) return BilinearSeparable<T, C>(s, in, out);
        else return BicubicSeparable<T, C, M>(s, in, out);
    }
    if constexpr (M == kNearest)
        if (PermuteRotated<T, C, Avx2>(s, in, out)) return true;
    thread_local std::vector<TilePositions> tiles;
    if (!Fit(tiles, 2)) return false;
    if constexpr (M == kNearest) NearestRotated<T, C, Avx2>(s, in, out, tiles.data());
    else if constexpr (M == kBilinear) BilinearRotated<T, C, Avx2>(s, in, out, tiles.data());
    else BicubicRotated<T, C, M, Avx2>(s, in, out, tiles.data());
    return true;
}

template <class T, uint32_t C, int M>
[[gnu::target("avx2")]] bool FillAvx2(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    return Fill<T, C, M, true>(s, in, out);
}
template <class T, uint32_t C, int M>
bool FillBase(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    return Fill<T, C, M, false>(s, in, out);
}

// Sizes the output and resamples into it; the caller's state byte is left for the
// flag rules. -7 when the output (or a scratch table) cannot be had.
template <class T, uint32_t C, int M>
int32_t Resample(const Setup& s, const Plane<T>& in, PullResult* out, Target<T>* target) {
    if (!Allocate<T>(out, s, in.channels, target)) return kNoBuffer;
    const bool filled = kernel::CpuHasAvx2() ? FillAvx2<T, C, M>(s, in, *target) : FillBase<T, C, M>(s, in, *target);
    if (!filled) {
        LogPrintf("%s", "Can't alloc memory...");
        out->pending = 0;
        return kNoBuffer;
    }
    return 0;
}

// The invalid-samples flag of an output block. D: the flag of the input or the corner
// test where the geometry can leave background only at the corners, else set; F has
// no marker: nearest passes the input's flag on, the interpolating modes clear it on
// the rotated path and leave the caller's on the separable one.
template <class T>
uint8_t FlagOf(const Setup& s, int mode, uint8_t input, uint8_t callers, const Target<T>& t) {
    const bool rotated = s.record.rotated != 0, right = s.record.rightAngle != 0;
    if constexpr (std::is_same_v<T, double>) {
        if (mode == kNearest) {
            if (!rotated) return input != 0 ? input : CornerTest(t);
            return right && input == 0 ? CornerTest(t) : 1;
        }
        if (!rotated || (mode == kBilinear && right)) return CornerTest(t);
        return 1;
    } else {
        (void)t;
        if (mode == kNearest) return input;
        return rotated ? 0 : callers;
    }
}

template <class T, uint32_t C>
int32_t NearestCore(const Setup& s, const Plane<T>& in, PullResult* out) {
    Target<T> target;
    const int32_t result = Resample<T, C, kNearest>(s, in, out, &target);
    if (result != 0) return result;
    out->image.state = FlagOf(s, kNearest, in.invalid, 0, target);
    return 0;
}

template <class T, uint32_t C>
int32_t NearestCoreEntry(PullResult* own, PullResult* out) {
    Setup s;
    const int32_t prepared = Prepare(own, out, &s);
    if (prepared != 0) return prepared;
    Plane<T> in;
    if (!TakePlane<T, C>(own->image, &in)) return kPullFailed;
    return NearestCore<T, C>(s, in, out);
}

// A request inside the output frame whose pixels all lie beyond the input frame (a
// corner of a turned frame): the background, as the same pixels of a larger request.
template <class T, uint32_t C>
int32_t BackgroundBlock(const Setup& s, int mode, PullResult* out) {
    const uint8_t callers = out->image.state;
    Target<T> target;
    if (!Allocate<T>(out, s, Count<C>(s.channels), &target)) return kNoBuffer;
    FillBackground<T, C>(target.data, static_cast<size_t>(s.width) * static_cast<size_t>(s.height), target.channels);
    out->image.state = FlagOf(s, mode, 0, callers, target);
    return 0;
}

template <class T, uint32_t C, int M>
int32_t Kernel(PullResult* own, PullResult* out, const PullRequest* request) {
    Setup s;
    const int32_t prepared = Prepare(own, out, &s);
    if (prepared != 0) return prepared;
    if (!RequestInput(own, s, M)) return BackgroundBlock<T, C>(s, M, out);
    if (!ProcessChainBlock(own, request)) return kPullFailed;
    Plane<T> in;
    if (!TakePlane<T, C>(own->image, &in)) return kPullFailed;
    if (M == kNearest || in.invalid != 0) return NearestCore<T, C>(s, in, out);
    const uint8_t callers = out->image.state;
    Target<T> target;
    const int32_t result = Resample<T, C, M>(s, in, out, &target);
    if (result != 0) return result;
    out->image.state = FlagOf(s, M, 0, callers, target);
    return 0;
}

}  // namespace

// ---- Public entries ----------------------------------------------------------------------------

double CubicBSplineWeight(double t) { return CubicWeight(t); }

constinit const std::array<double, 512> CubicWeightTableD = MakeTableD();
constinit const std::array<float, 512> CubicWeightTableF = MakeTableF();

int32_t CubicTableIndex(double t) { return TableIndex(t); }

bool AffineFrameSizeUsable(const FrameDataRecord* frame) {
    return frame != nullptr && frame->width >= 1 && frame->height >= 1 && frame->width <= kMaxFrameSide &&
           frame->height <= kMaxFrameSide;
}

#define ORVA_AFFINE_KERNEL(name, T, C, M) \
    int32_t name(PullResult* own, PullResult* out, const PullRequest* request) { return Kernel<T, C, M>(own, out, request); }
ORVA_AFFINE_KERNEL(AffineNearestD1, double, 1, kNearest)
ORVA_AFFINE_KERNEL(AffineNearestD3, double, 3, kNearest)
ORVA_AFFINE_KERNEL(AffineNearestDN, double, 0, kNearest)
ORVA_AFFINE_KERNEL(AffineNearestF1, float, 1, kNearest)
ORVA_AFFINE_KERNEL(AffineNearestF3, float, 3, kNearest)
ORVA_AFFINE_KERNEL(AffineNearestFN, float, 0, kNearest)
ORVA_AFFINE_KERNEL(AffineBilinearD1, double, 1, kBilinear)
ORVA_AFFINE_KERNEL(AffineBilinearD3, double, 3, kBilinear)
ORVA_AFFINE_KERNEL(AffineBilinearDN, double, 0, kBilinear)
ORVA_AFFINE_KERNEL(AffineBilinearF1, float, 1, kBilinear)
ORVA_AFFINE_KERNEL(AffineBilinearF3, float, 3, kBilinear)
ORVA_AFFINE_KERNEL(AffineBilinearFN, float, 0, kBilinear)
ORVA_AFFINE_KERNEL(AffineBicubicD1, double, 1, kBicubic)
ORVA_AFFINE_KERNEL(AffineBicubicD3, double, 3, kBicubic)
ORVA_AFFINE_KERNEL(AffineBicubicDN, double, 0, kBicubic)
ORVA_AFFINE_KERNEL(AffineBicubicF1, float, 1, kBicubic)
ORVA_AFFINE_KERNEL(AffineBicubicF3, float, 3, kBicubic)
ORVA_AFFINE_KERNEL(AffineBicubicFN, float, 0, kBicubic)
ORVA_AFFINE_KERNEL(AffineBicubicFastD1, double, 1, kBicubicFast)
ORVA_AFFINE_KERNEL(AffineBicubicFastD3, double, 3, kBicubicFast)
ORVA_AFFINE_KERNEL(AffineBicubicFastDN, double, 0, kBicubicFast)
ORVA_AFFINE_KERNEL(AffineBicubicFastF1, float, 1, kBicubicFast)
ORVA_AFFINE_KERNEL(AffineBicubicFastF3, float, 3, kBicubicFast)
ORVA_AFFINE_KERNEL(AffineBicubicFastFN, float, 0, kBicubicFast)
#undef ORVA_AFFINE_KERNEL

int32_t AffineNearestCoreD1(PullResult* own, PullResult* out) { return NearestCoreEntry<double, 1>(own, out); }
int32_t AffineNearestCoreD3(PullResult* own, PullResult* out) { return NearestCoreEntry<double, 3>(own, out); }
int32_t AffineNearestCoreDN(PullResult* own, PullResult* out) { return NearestCoreEntry<double, 0>(own, out); }
int32_t AffineNearestCoreF1(PullResult* own, PullResult* out) { return NearestCoreEntry<float, 1>(own, out); }
int32_t AffineNearestCoreF3(PullResult* own, PullResult* out) { return NearestCoreEntry<float, 3>(own, out); }
int32_t AffineNearestCoreFN(PullResult* own, PullResult* out) { return NearestCoreEntry<float, 0>(own, out); }

namespace {

constexpr AffineKernelGroup Group(FilterProcessFn general) { return AffineKernelGroup{{general, nullptr, nullptr, nullptr}}; }

constexpr AffineKernelSet kSetD1{{Group(&AffineNearestD1), Group(&AffineBilinearD1), Group(&AffineBicubicD1),
                                  Group(&AffineBicubicFastD1)}};
constexpr AffineKernelSet kSetD3{{Group(&AffineNearestD3), Group(&AffineBilinearD3), Group(&AffineBicubicD3),
                                  Group(&AffineBicubicFastD3)}};
constexpr AffineKernelSet kSetDN{{Group(&AffineNearestDN), Group(&AffineBilinearDN), Group(&AffineBicubicDN),
                                  Group(&AffineBicubicFastDN)}};
constexpr AffineKernelSet kSetF1{{Group(&AffineNearestF1), Group(&AffineBilinearF1), Group(&AffineBicubicF1),
                                  Group(&AffineBicubicFastF1)}};
constexpr AffineKernelSet kSetF3{{Group(&AffineNearestF3), Group(&AffineBilinearF3), Group(&AffineBicubicF3),
                                  Group(&AffineBicubicFastF3)}};
constexpr AffineKernelSet kSetFN{{Group(&AffineNearestFN), Group(&AffineBilinearFN), Group(&AffineBicubicFN),
                                  Group(&AffineBicubicFastFN)}};

}  // namespace

const AffineKernelRow AffineKernelTable[3] = {
    {0x40, 0x40, &kSetD1, &kSetD3, &kSetDN},
    {0x10, 0x10, &kSetF1, &kSetF3, &kSetFN},
    {0, 0, nullptr, nullptr, nullptr},
};

}  // namespace orva
