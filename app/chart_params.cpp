#include "app/chart_params.h"

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <new>

#include "framework/component_id.h"
#include "framework/port.h"

namespace orva {

namespace {

// The square root of DBL_MAX: beyond it a square overflows.
constexpr double kSqrtDblMax = 1.3407807929942597e+154;

bool Finite(double v) { return std::isfinite(v); }
bool Denormal(double v) { return v != 0.0 && std::fabs(v) < DBL_MIN; }

// A finite result, or the bound of its sign (an overflow shown as the largest value).
double Bounded(double v) {
    if (std::isnan(v)) return 0.0;
    return std::isfinite(v) ? v : std::copysign(DBL_MAX, v);
}

// The exact minimum and maximum of the samples; false when a NaN is among them.
bool ScanRange(const double* x, uint64_t n, double* lo, double* hi) {
    double mn = x[0], mx = x[0];
    for (uint64_t i = 0; i < n; ++i) {
        const double v = x[i];
        if (std::isnan(v)) return false;
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    *lo = mn;
    *hi = mx;
    return true;
}

// k x sum of the samples, and k^2 x the sum of their squares, each scaled before it is
// added (the path for values whose plain sums overflow).
void ScaledSums(const double* x, uint64_t n, double k, double* m, double* t) {
    double a = 0.0, b = 0.0;
    for (uint64_t i = 0; i < n; ++i) {
        const double v = k * x[i];
        a += v;
        b += v * v;
    }
    *m = a;
    if (t != nullptr) *t = b;
}

// The sample standard deviation (n - 1 in the denominator) about the mean, from the
// deviations in a second pass: the mean of squares less the squared mean cancels to
// nothing for values far from zero (1e8 + a unit spread has squares of 1e16, whose last
// bit is worth 2). The deviations are taken in units of the range so that their squares
// cannot overflow, and their sum corrects the rounding of the mean. -1 when they
// overflowed all the same (the range was given and does not hold the samples).
double SpreadAbout(const double* x, uint64_t n, double mean, double range) {
    const double unit = range > 0.0 && Finite(range) ? range : 1.0;
    const double inverse = 1.0 / unit;
    double c = 0.0, q = 0.0;
    for (uint64_t i = 0; i < n; ++i) {
        const double d = (x[i] - mean) * inverse;
        c += d;
        q += d * d;
    }
    if (!Finite(c) || !Finite(q)) return -1.0;
    const double dn = static_cast<double>(n);
    const double v = (q - c * c / dn) / (dn - 1.0);
    return v > 0.0 ? unit * std::sqrt(v) : 0.0;
}

// The sum of a mean taken as n x m, with the markers of the scaled path.
double SumFromMean(double m, double n, double k) {
    if (m == 0.0) return 0.0;
    if (std::fabs(m) >= DBL_MAX * k) return -DBL_MAX;
    return n * m;
}

ChartMemory gDefaultMemories[kChartMemories];

}  // namespace

// ---- ChartParams ----------------------------------------------------------------------------

const ComponentId* ChartParams::GetClassId() const { return &kParams1DId; }

int ChartParams::Release() {
    const int32_t left = refCount.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

bool ChartParams::CreateInstance(PropertyComponent** out) {
    if (out == nullptr) return false;
    ChartParams* clone = ChartParamsCreate();
    *out = clone;
    if (clone == nullptr) return false;
    std::copy(std::begin(memories), std::end(memories), std::begin(clone->memories));
    clone->ownMemories = 0;
    return true;
}

bool ChartParams::QueryInterface(const ComponentId* id, void** out) {
    if (!SameComponentId(id, &kParams1DId)) return false;
    if (out != nullptr) {
        AddRef();
        *out = this;
    }
    return true;
}

ChartParams* ChartParamsCreate() { return new (std::nothrow) ChartParams; }

ChartMemory* ChartDefaultMemories() { return gDefaultMemories; }

bool ChartParamsQuery(OutPort* owner, const ComponentId* id, ChartParams** out) {
    if (out == nullptr) return false;
    *out = nullptr;
    if (owner == nullptr || id == nullptr) return false;
    PropertyComponent* found = nullptr;
    if (PortFindEntry(owner, id, &found)) {
        auto* params = dynamic_cast<ChartParams*>(found);
        if (params != nullptr) {
            *out = params;
            return true;
        }
        found->Release();
        return false;
    }
    ChartParams* made = ChartParamsCreate();
    if (made == nullptr) return false;
    if (!PortAddEntry(owner, made)) {
        made->Release();
        return false;
    }
    *out = made;
    return true;
}

const ChartMemory& ChartParamsGetMemory(const ChartParams* params, int32_t index) {
    const int32_t i = std::clamp(index, 0, kChartMemories - 1);
    if (params != nullptr && params->ownMemories != 0) return params->memories[i];
    return ChartDefaultMemories()[i];
}

// ---- Row statistics -------------------------------------------------------------------------

void RowStatistics(const double* x, uint64_t n, RowStats* r, const double* range) {
    if (r == nullptr) return;
    if (x == nullptr) n = 0;
    r->count = n;
    r->valid = 1;
    r->sigma = 0.0;

    // One pass: the sums and squares in four lanes (independent additions keep the
    // adder busy), with the lanes' extremes.
    double s = 0.0, q = 0.0, laneMin = DBL_MAX, laneMax = -DBL_MAX;
    if (n != 0) {
        double s4[4] = {0.0, 0.0, 0.0, 0.0}, q4[4] = {0.0, 0.0, 0.0, 0.0};
        double mn4[4] = {x[0], x[0], x[0], x[0]}, mx4[4] = {x[0], x[0], x[0], x[0]};
        uint64_t i = 0;
        for (; i + 4 <= n; i += 4) {
            for (int l = 0; l < 4; ++l) {
                const double v = x[i + l];
                s4[l] += v;
                q4[l] += v * v;
                mn4[l] = v < mn4[l] ? v : mn4[l];
                mx4[l] = v > mx4[l] ? v : mx4[l];
            }
        }
        for (int l = 0; i < n; ++i, ++l) {
            const double v = x[i];
            s4[l] += v;
            q4[l] += v * v;
            mn4[l] = v < mn4[l] ? v : mn4[l];
            mx4[l] = v > mx4[l] ? v : mx4[l];
        }
        s = (s4[0] + s4[1]) + (s4[2] + s4[3]);
        q = (q4[0] + q4[1]) + (q4[2] + q4[3]);
        laneMin = std::min(std::min(mn4[0], mn4[1]), std::min(mn4[2], mn4[3]));
        laneMax = std::max(std::max(mx4[0], mx4[1]), std::max(mx4[2], mx4[3]));
    }
    const bool sumsFinite = Finite(s) && Finite(q);

    // 1. The range.
    double lo, hi;
    if (range != nullptr) {
        lo = range[0];
        hi = range[1];
    } else {
        lo = DBL_MAX;
        hi = -DBL_MAX;
        if (n == 1) {
            if (Finite(x[0])) lo = hi = x[0];
        } else if (n >= 2) {
            // Finite sums hold no NaN and no infinity: the lanes' extremes are exact.
            double smin = laneMin, smax = laneMax;
            const bool clean = sumsFinite || ScanRange(x, n, &smin, &smax);
            if (clean && Finite(smin) && Finite(smax)) {
                if (smin < DBL_MAX) lo = smin;
                if (smax > -DBL_MAX) hi = smax;
            }
        }
    }
    if (hi < lo || std::isnan(lo) || std::isnan(hi)) lo = hi = 0.0;
    r->minimum = lo;
    r->maximum = hi;

    const double dn = static_cast<double>(n);
    if (n < 2 || lo == hi) {
        // 3. One value.
        r->sum = Bounded(dn * lo);
        r->mean = lo;
        r->sigma = 0.0;
    } else if (n == 2) {
        // 4. Two values: the half-sum and the half-difference, taken in halves where the
        // whole would overflow.
        if (DBL_MAX - hi <= lo) r->sum = DBL_MAX;
        else if (-DBL_MAX - hi >= lo) r->sum = -DBL_MAX;
        else r->sum = lo + hi;
        const bool halves = std::fabs(lo) > DBL_MAX / 2 || std::fabs(hi) > DBL_MAX / 2;
        if (lo == -hi) r->mean = 0.0;
        else r->mean = halves ? lo * 0.5 + hi * 0.5 : (lo + hi) / 2;
        r->sigma = halves ? hi * 0.5 - lo * 0.5 : (hi - lo) / 2;
    } else if (std::fabs(lo) > kSqrtDblMax || std::fabs(hi) > kSqrtDblMax || lo * lo > DBL_MAX - hi * hi) {
        // 5. Large values: the mean from scaled samples; no sigma.
        const double k = 1.0 / dn;
        double m = 0.0;
        ScaledSums(x, n, k, &m, nullptr);
        if (!Finite(m)) {
            r->valid = 0;
        } else {
            if (Denormal(m)) m = 0.0;
            r->sum = SumFromMean(m, dn, k);
            r->mean = m;
            r->sigma = kSigmaNotComputed;
        }
    } else if (sumsFinite) {
        // 6. The plain sums.
        if (Denormal(s)) s = 0.0;
        r->sum = s;
        r->mean = s / dn;
        if (q == 0.0 || Denormal(q)) {
            r->sigma = 0.0;
        } else {
            r->sigma = SpreadAbout(x, n, r->mean, hi - lo);
            if (r->sigma < 0.0) {
                // The deviations overflowed against a range that does not hold the
                // samples: the spread from the sums.
                const double root = std::sqrt(q / dn);
                const double a = std::fabs(r->mean);
                r->sigma = a < root ? std::sqrt(dn / (dn - 1.0) * (root + a) * (root - a)) : 0.0;
            }
        }
    } else {
        // 7. A sum or a square overflowed: scaled sums.
        const double k = 1.0 / dn;
        double m = 0.0, t = 0.0;
        bool ok = true;
        if (!Finite(s)) {
            ScaledSums(x, n, k, &m, &t);
            if (!Finite(m)) {
                r->valid = 0;
                ok = false;
            } else {
                if (Denormal(m)) m = 0.0;
                r->sum = SumFromMean(m, dn, k);
            }
        } else {
            if (Denormal(s)) s = 0.0;
            m = k * s;
            r->sum = s;
            double unused = 0.0;
            ScaledSums(x, n, k, &unused, &t);
        }
        if (ok) {
            r->mean = m;
            if (!Finite(t)) {
                r->sigma = -DBL_MAX;
            } else if (t == 0.0 || Denormal(t)) {
                r->sigma = 0.0;
            } else {
                const double root = std::sqrt(dn) * std::sqrt(t);
                const double a = std::fabs(m);
                r->sigma = a < root ? std::sqrt(root + a) * std::sqrt((root - a) * dn / (dn - 1.0)) : 0.0;
            }
        }
    }
    // 8. What the work raised is not left for the caller to find.
    ClearRaisedFlags();
}

}  // namespace orva
