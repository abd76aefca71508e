#include "data/kernel_pragmas.h"

#include "processing/modules/affine_kernels.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

#include "common/log.h"
#include "data/affine_record.h"
#include "data/kernel_util.h"
#include "processing/modules/affine_module.h"

// Positions and weights are formed by plain multiplications and additions, never
// fused: a pixel gets the same value from the baseline and the AVX2 loops, in every
// block, and as the formulas written out in double arithmetic.
#if defined(__clang__)
#pragma STDC FP_CONTRACT OFF
#else
#pragma GCC optimize("fp-contract=off")
#endif

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

// Output pixels of one strip of the rotated path: its input footprint stays in
// the first-level cache from one row to the next.
constexpr int32_t kStrip = 128;

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

// The block index of a frame position: floor(p) less the block's origin, with the
// fraction above floor(p). Positions beyond +-2^30 lie outside every block and are
// held there, so that the whole-number conversion is exact and the index fits.
ORVA_INLINE int32_t IndexOf(double p, double origin, double* fraction) {
    double q = p > -kFar ? p : -kFar;  // NaN too
    q = q < kFar ? q : kFar;
    const double t = static_cast<double>(static_cast<int32_t>(q));
    const double f = t > q ? t - 1.0 : t;
    *fraction = q - f;
    double d = f - origin;  // whole numbers below 2^31: exact
    d = d > -16.0 ? d : -16.0;
    return static_cast<int32_t>(d);
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
        auto held = [](double p) { return p > -kFar ? (p < kFar ? p : kFar) : -kFar; };  // NaN too
        const double first = std::max(std::floor(held(lo)) - margin, 0.0);
        const double last = std::min(std::floor(held(hi)) + margin, size - 1.0);
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

template <class T, uint32_t C>
ORVA_INLINE void NearestPixel(const Plane<T>& in, int32_t x, int32_t y, T* o) {
    const uint32_t n = Count<C>(in.channels);
    if (x >= 0 && x < in.width && y >= 0 && y < in.height) CopyPixel<T, C>(o, in.Row(y) + static_cast<size_t>(x) * n, n);
    else FillBackground<T, C>(o, 1, n);
}

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

// The same with all sixteen taps inside.
template <class T, uint32_t C>
ORVA_INLINE void BicubicPixelInside(const Plane<T>& in, int32_t firstX, const T* wx, int32_t firstY, const T* wy,
                                    T* o) {
    const uint32_t n = Count<C>(in.channels);
    const T weights = (((wx[0] + wx[1]) + wx[2]) + wx[3]) * (((wy[0] + wy[1]) + wy[2]) + wy[3]);
    const T* r = in.Row(firstY) + static_cast<size_t>(firstX) * n;
    for (uint32_t c = 0; c < n; ++c) {
        T sum = T(0);
        for (int32_t l = 0; l < 4; ++l) {
            const T* s = r + static_cast<size_t>(l) * in.stride + c;
            const T h = ((wx[0] * s[0] + wx[1] * s[n]) + wx[2] * s[2 * n]) + wx[3] * s[3 * n];
            sum = sum + wy[l] * h;
        }
        o[c] = Normalised(sum, weights);
    }
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

// The positions of one strip of a row: block indices and fractions of each pixel.
struct StripPositions {
    int32_t x[kStrip];
    int32_t y[kStrip];
    double fx[kStrip];
    double fy[kStrip];
};

// Positions of pixels first .. first + count - 1 of output row `row`: the map's row
// term once, then one multiply-add per pixel; `centred` subtracts the half pixel.
ORVA_INLINE void StripPositionsOf(const Setup& s, double bx, double by, int64_t row, int64_t first, int32_t count,
                                  bool centred, StripPositions* p) {
    const AffineInputMap& m = s.map;
    const double v = (static_cast<double>(row) + 0.5) - m.centreY;
    const double rowX = m.x0 + m.xPerV * v;
    const double rowY = m.y0 + m.yPerV * v;
    const double u0 = (static_cast<double>(first) + 0.5) - m.centreX;
    const double half = centred ? 0.5 : 0.0;
    for (int32_t k = 0; k < count; ++k) {
        const double u = u0 + static_cast<double>(k);  // whole and half numbers: exact
        const double x = (rowX + m.xPerU * u) - half;
        const double y = (rowY + m.yPerU * u) - half;
        p->x[k] = IndexOf(x, bx, &p->fx[k]);
        p->y[k] = IndexOf(y, by, &p->fy[k]);
    }
}

template <class T, uint32_t C>
ORVA_INLINE void NearestRotated(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    const uint32_t n = Count<C>(in.channels);
    StripPositions p;
    for (int32_t i0 = 0; i0 < out.width; i0 += kStrip) {
        const int32_t count = std::min(kStrip, out.width - i0);
        for (int32_t j = 0; j < out.height; ++j) {
            StripPositionsOf(s, in.x, in.y, s.y + j, s.x + i0, count, false, &p);
            T* o = out.Row(j) + static_cast<size_t>(i0) * n;
            for (int32_t k = 0; k < count; ++k) NearestPixel<T, C>(in, p.x[k], p.y[k], o + static_cast<size_t>(k) * n);
        }
    }
}

template <class T, uint32_t C>
ORVA_INLINE void BilinearRotated(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    const uint32_t n = Count<C>(in.channels);
    const auto innerX = static_cast<uint32_t>(in.width - 1), innerY = static_cast<uint32_t>(in.height - 1);
    StripPositions p;
    for (int32_t i0 = 0; i0 < out.width; i0 += kStrip) {
        const int32_t count = std::min(kStrip, out.width - i0);
        for (int32_t j = 0; j < out.height; ++j) {
            StripPositionsOf(s, in.x, in.y, s.y + j, s.x + i0, count, true, &p);
            T* o = out.Row(j) + static_cast<size_t>(i0) * n;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t x = p.x[k], y = p.y[k];
                const T fx = static_cast<T>(p.fx[k]), fy = static_cast<T>(p.fy[k]);
                T* q = o + static_cast<size_t>(k) * n;
                if (static_cast<uint32_t>(x) < innerX && static_cast<uint32_t>(y) < innerY) {
                    const T* r0 = in.Row(y) + static_cast<size_t>(x) * n;
                    const T* r1 = r0 + in.stride;
                    for (uint32_t c = 0; c < n; ++c) {
                        const T a = r0[c] + (r0[n + c] - r0[c]) * fx;
                        const T b = r1[c] + (r1[n + c] - r1[c]) * fx;
                        q[c] = a + (b - a) * fy;
                    }
                } else {
                    BilinearPixel<T, C>(in, x, fx, y, fy, q);
                }
            }
        }
    }
}

template <class T, uint32_t C, int M>
ORVA_INLINE void BicubicRotated(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    const uint32_t n = Count<C>(in.channels);
    StripPositions p;
    T wx[kStrip][4], wy[kStrip][4];
    for (int32_t i0 = 0; i0 < out.width; i0 += kStrip) {
        const int32_t count = std::min(kStrip, out.width - i0);
        for (int32_t j = 0; j < out.height; ++j) {
            StripPositionsOf(s, in.x, in.y, s.y + j, s.x + i0, count, true, &p);
            // Indices of -1 move to 0 (fractions then negative); the weights of all taps.
            for (int32_t k = 0; k < count; ++k) {
                const bool lowX = p.x[k] == -1, lowY = p.y[k] == -1;
                const double fx = lowX ? p.fx[k] - 1.0 : p.fx[k];
                const double fy = lowY ? p.fy[k] - 1.0 : p.fy[k];
                for (int32_t t = 0; t < 4; ++t) {
                    const double d = static_cast<double>(t - 1);
                    wx[k][t] = TapWeight<T, M>(d - fx);
                    wy[k][t] = TapWeight<T, M>(fy - d);
                }
            }
            T* o = out.Row(j) + static_cast<size_t>(i0) * n;
            for (int32_t k = 0; k < count; ++k) {
                const int32_t x = p.x[k], y = p.y[k];
                T* q = o + static_cast<size_t>(k) * n;
                if (x < -1 || x >= in.width || y < -1 || y >= in.height) {
                    FillBackground<T, C>(q, 1, n);
                    continue;
                }
                const int32_t firstX = (x < 0 ? 0 : x) - 1, firstY = (y < 0 ? 0 : y) - 1;
                if (firstX >= 0 && firstX + 3 < in.width && firstY >= 0 && firstY + 3 < in.height)
                    BicubicPixelInside<T, C>(in, firstX, wx[k], firstY, wy[k], q);
                else
                    BicubicPixel<T, C>(in, firstX, wx[k], firstY, wy[k], q);
            }
        }
    }
}

// ---- Dispatch: baseline and AVX2 builds of the same loops ---------------------------------------

template <class T, uint32_t C, int M>
ORVA_INLINE bool Fill(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    if (s.record.rotated == 0) {
        if constexpr (M == kNearest) return NearestSeparable<T, C>(s, in, out);
        else if constexpr (M == kBilinear) return BilinearSeparable<T, C>(s, in, out);
        else return BicubicSeparable<T, C, M>(s, in, out);
    }
    if constexpr (M == kNearest) NearestRotated<T, C>(s, in, out);
    else if constexpr (M == kBilinear) BilinearRotated<T, C>(s, in, out);
    else BicubicRotated<T, C, M>(s, in, out);
    return true;
}

template <class T, uint32_t C, int M>
[[gnu::target("avx2")]] bool FillAvx2(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    return Fill<T, C, M>(s, in, out);
}
template <class T, uint32_t C, int M>
bool FillBase(const Setup& s, const Plane<T>& in, const Target<T>& out) {
    return Fill<T, C, M>(s, in, out);
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
