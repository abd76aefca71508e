#include "io/value_range.h"

#include <cmath>
#include <new>
#include <utility>

namespace orva {

ValueRangeTarget* ValueRangeTarget::Create() { return new (std::nothrow) ValueRangeTarget(); }

int32_t ValueRangeTarget::Release() {
    const int32_t count = refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

ValueRangeTarget* AsValueRangeTarget(MessageTarget* target) {
    return MessageTargetIs(target, &kDataInfoStackId) ? static_cast<ValueRangeTarget*>(target) : nullptr;
}

// ---- Saturating arithmetic ----------------------------------------------------------

namespace {

bool Overflowed(double v) { return !std::isfinite(v); }

double Bound(bool negative) { return negative ? -DBL_MAX : DBL_MAX; }

// An expression whose double evaluation overflowed, formed again in the extended
// type: its exponent reaches far beyond any product of three doubles, so the value
// is exact to rounding. Beyond the double range it gives the bound of its sign; a
// value within it (the overflow was one of the way, as c / a for a small a) is kept.
double Clamped(long double exact) {
    if (std::isnan(exact)) return DBL_MAX;
    if (std::fabs(exact) > static_cast<long double>(DBL_MAX)) return Bound(std::signbit(exact));
    return static_cast<double>(exact);
}

bool SameSign(double v, double d) { return (v > 0.0 && d > 0.0) || (v < 0.0 && d < 0.0); }

// v + d, or the bound of v's own sign when the sum would leave the range.
double AddSaturated(double v, double d) {
    if (SameSign(v, d) && std::fabs(v) >= DBL_MAX - std::fabs(d)) return Bound(v < 0.0);
    return v + d;
}

double Times(double v, double factor) {
    MulSaturate(&v, factor, 1.0);
    return v;
}

double ScaledOffset(double v, double a, double b) {
    ScaleOffsetSaturate(&v, a, b);
    return v;
}

void Order(ValueRangeRecord* r) {
    if (r->max < r->min) std::swap(r->min, r->max);
}

// The sum of `count` values whose mean is m.
double SumOfMean(double m, int64_t count) { return Times(m, static_cast<double>(count)); }

bool IsBound(double v) { return v == DBL_MAX || v == -DBL_MAX; }

}  // namespace

void MulSaturate(double* x, double a, double b) {
    const bool byB = std::fabs(a) >= std::fabs(b);
    const double first = byB ? b : a, second = byB ? a : b;
    const double p = *x * first;
    if (Overflowed(p)) {
        // p is an infinity of the partial product's sign.
        *x = Bound(std::signbit(p) != std::signbit(second));
        return;
    }
    const double q = p * second;
    *x = Overflowed(q) ? Bound(std::signbit(p) != std::signbit(second)) : q;
}

void ScaleOffsetSaturate(double* x, double a, double b) {
    const double r = a * *x + b;
    *x = Overflowed(r) ? Clamped(static_cast<long double>(a) * *x + b) : r;
}

void ShiftScaleSaturate(double* x, double a, double b, double c) {
    if (a == 0.0) {
        *x = c;
        return;
    }
    const double r = (b * *x + c / a) * a;
    *x = Overflowed(r) ? Clamped(static_cast<long double>(a) * b * *x + c) : r;
}

void RangeAddSaturate(ValueRangeRecord* r, double d) {
    if (r == nullptr || d == 0.0) return;
    r->min = AddSaturated(r->min, d);
    r->max = AddSaturated(r->max, d);
    if (r->mean == kStatisticUnset) return;
    r->mean = AddSaturated(r->mean, d);
    if (r->count <= 0) return;
    const double m = r->sum / static_cast<double>(r->count);
    if (SameSign(m, d) && std::fabs(m) >= DBL_MAX - std::fabs(d))
        r->sum = Bound(m < 0.0);
    else
        r->sum = SumOfMean(m + d, r->count);
}

void RangeScaleOffsetSaturate(ValueRangeRecord* r, double a, double b) {
    if (r == nullptr) return;
    const bool meanSet = r->mean != kStatisticUnset;
    const bool rmsSet = r->rms != kStatisticUnset;
    if (a == 0.0) {
        r->min = r->max = r->mean = b;
        if (rmsSet) r->rms = 0.0;
        r->sum = SumOfMean(b, r->count);
        return;
    }
    if (b == 0.0) {
        if (a == 1.0) return;
        // Below 1 in magnitude nothing can overflow; above it the limit L guards.
        const bool large = std::fabs(a) > 1.0;
        const double limit = large ? DBL_MAX / std::fabs(a) : DBL_MAX;
        auto scaled = [&](double v) {
            if (large && std::fabs(v) >= limit) return Bound(std::signbit(v) != std::signbit(a));
            return a * v;
        };
        r->min = scaled(r->min);
        r->max = scaled(r->max);
        Order(r);
        if (meanSet) r->mean = scaled(r->mean);
        if (meanSet || !large) r->sum = scaled(r->sum);
        if (rmsSet) r->rms = large && r->rms >= limit ? DBL_MAX : std::fabs(a) * r->rms;
        return;
    }
    if (a == 1.0) {
        RangeAddSaturate(r, b);
        return;
    }
    r->min = ScaledOffset(r->min, a, b);
    r->max = ScaledOffset(r->max, a, b);
    Order(r);
    if (meanSet) {
        r->mean = ScaledOffset(r->mean, a, b);
        if (r->count > 0) {
            const double m = ScaledOffset(r->sum / static_cast<double>(r->count), a, b);
            r->sum = IsBound(m) ? m : SumOfMean(m, r->count);
        }
    }
    if (rmsSet) r->rms = Times(r->rms, std::fabs(a));
}

void MapRangeToPhysical(ValueRangeRecord* r, double s, double z, double f) {
    if (r == nullptr || (s == 1.0 && f == 1.0 && z == 0.0)) return;
    if (s == 0.0 || f == 0.0) {
        RangeScaleOffsetSaturate(r, 0.0, z);
        return;
    }
    if (!(std::fabs(f) > 1.0 && s != 1.0)) {
        RangeScaleOffsetSaturate(r, f * s, z);
        return;
    }
    // |f| > 1: the product f × s may leave the range where f × s × v does not.
    const bool meanSet = r->mean != kStatisticUnset;
    auto map = [&](double* v) {
        if (z == 0.0)
            MulSaturate(v, f, s);
        else
            ShiftScaleSaturate(v, f, s, z);
    };
    map(&r->min);
    map(&r->max);
    Order(r);
    if (meanSet) {
        map(&r->mean);
        if (z == 0.0) {
            MulSaturate(&r->sum, f, s);
        } else if (r->count > 0) {
            double m = r->sum / static_cast<double>(r->count);
            ShiftScaleSaturate(&m, f, s, z);
            r->sum = SumOfMean(m, r->count);
        }
    }
    if (r->rms != kStatisticUnset) MulSaturate(&r->rms, std::fabs(f), std::fabs(s));
}

}  // namespace orva
