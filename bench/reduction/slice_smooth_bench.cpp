// The cross-profile smoothing of a slice strip of 3000 path positions by 51
// cross positions (a trace with a normal cross profile whose centre and flux
// drift along the path, Poisson-like and read noise, a few samples missing),
// window 7, the mean-or-median estimate: the whole kernel (window estimates,
// row scaling, the weighted smoothing spline along each of the 51 columns,
// unit-sum rows).
//
// The reference is the plain C++ equivalent of the scipy procedure that does
// the same job: sliding medians by std::nth_element on a copy of each window,
// and, per column, scipy.optimize.brentq over the smoothing parameter (on its
// logarithm, xtol 2e-12) where each step is one banded penalised
// least-squares solve, until the weighted sum of squares equals the target.
// Rates are strip values per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "reduction/slice_smooth.h"

namespace {

using namespace orva;

constexpr int64_t kRows = 3000;
constexpr int64_t kWidth = 51;
constexpr int64_t kWindow = 7;
constexpr double kGain = 1.0;
constexpr double kNoiseSquared = 100.0;

std::vector<double> MakeStrip() {
    std::mt19937_64 random(3000);
    std::vector<double> strip(kRows * kWidth);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int64_t r = 0; r < kRows; ++r) {
        const double centre = 25.0 + 3.0 * std::sin(r / 400.0),
                     flux = 1000.0 + 300.0 * std::sin(r / 50.0);
        for (int64_t c = 0; c < kWidth; ++c) {
            const double z = (c - centre) / 2.5;
            const double expected =
                flux * std::exp(-0.5 * z * z) / (2.5 * std::sqrt(2.0 * M_PI)) + 20.0;
            std::normal_distribution<double> noise(expected, std::sqrt(expected + kNoiseSquared));
            strip[r * kWidth + c] = unit(random) < 0.001 ? kSliceMissing : noise(random);
        }
    }
    return strip;
}

const std::vector<double>& Strip() {
    static const std::vector<double> strip = MakeStrip();
    return strip;
}

void BM_SliceSmooth_ours(benchmark::State& state) {
    const std::vector<double>& strip = Strip();
    std::vector<double> profile(strip.size()), scales(kRows);
    SliceSmoothWork work;
    work.rows = kRows;
    work.width = kWidth;
    work.window = kWindow;
    for (auto _ : state) {
        const int32_t result =
            SmoothSlice(SliceEstimator::kMeanOrMedian, work, kGain, kNoiseSquared, strip.data(),
                        profile.data(), scales.data());
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(profile.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows * kWidth);
}
BENCHMARK(BM_SliceSmooth_ours)->Unit(benchmark::kMillisecond);

// ---- The reference
// --------------------------------------------------------------------------------------------------

// The penalised least-squares fit of one column for a smoothing parameter p:
// (T + p Q' S^2 Q) c = Q' y over the interior points (pentadiagonal, solved
// by an LDL' factorisation), a = y - p S^2 Q c. Returns the weighted sum of
// squares of the residuals.
struct PenalisedFit {
    void Prepare(const std::vector<double>& x, const std::vector<double>& y,
                 const std::vector<double>& s) {
        n = static_cast<int64_t>(x.size());
        xs = &x;
        ys = &y;
        sigma = &s;
        const int64_t m = n - 2;
        t0.assign(m, 0.0), t1.assign(m, 0.0), m0.assign(m, 0.0), m1.assign(m, 0.0),
            m2.assign(m, 0.0);
        rhs.assign(m, 0.0);
        // Rows of S Q (three entries each) for the bands of Q' S^2 Q.
        std::vector<double> qa(m), qb(m), qc(m);
        for (int64_t i = 0; i < m; ++i) {
            const double h0 = x[i + 1] - x[i], h1 = x[i + 2] - x[i + 1];
            t0[i] = 2.0 * (h0 + h1) / 3.0;
            t1[i] = h1 / 3.0;
            qa[i] = 1.0 / h0;
            qb[i] = -1.0 / h0 - 1.0 / h1;
            qc[i] = 1.0 / h1;
            rhs[i] = (y[i + 2] - y[i + 1]) / h1 - (y[i + 1] - y[i]) / h0;
        }
        for (int64_t i = 0; i < m; ++i) {
            const double sa = s[i] * s[i], sb = s[i + 1] * s[i + 1], sc = s[i + 2] * s[i + 2];
            m0[i] = qa[i] * qa[i] * sa + qb[i] * qb[i] * sb + qc[i] * qc[i] * sc;
            if (i + 1 < m) m1[i] = qb[i] * qa[i + 1] * sb + qc[i] * qb[i + 1] * sc;
            if (i + 2 < m) m2[i] = qc[i] * qa[i + 2] * sc;
        }
        d.assign(m, 0.0), l1.assign(m, 0.0), l2.assign(m, 0.0), c.assign(n, 0.0), a.assign(n, 0.0),
            v.assign(n, 0.0);
    }

    double Solve(double p) {
        const int64_t m = n - 2;
        const std::vector<double>& x = *xs;
        // LDL' of the pentadiagonal matrix.
        for (int64_t i = 0; i < m; ++i) {
            double di = t0[i] + p * m0[i];
            if (i >= 1) di -= l1[i - 1] * l1[i - 1] * d[i - 1];
            if (i >= 2) di -= l2[i - 2] * l2[i - 2] * d[i - 2];
            d[i] = di;
            // Column i of L below the diagonal.
            if (i + 1 < m) {
                double f1 = t1[i] + p * m1[i];
                if (i >= 1) f1 -= l1[i - 1] * l2[i - 1] * d[i - 1];
                l1[i] = f1 / di;
            }
            if (i + 2 < m) l2[i] = p * m2[i] / di;
        }
        // Solve L z = rhs, D w = z, L' c = w.
        std::vector<double>& z = scratch;
        z.assign(m, 0.0);
        for (int64_t i = 0; i < m; ++i) {
            double zi = rhs[i];
            if (i >= 1) zi -= l1[i - 1] * z[i - 1];
            if (i >= 2) zi -= l2[i - 2] * z[i - 2];
            z[i] = zi;
        }
        for (int64_t i = m - 1; i >= 0; --i) {
            double ci = z[i] / d[i];
            if (i + 1 < m) ci -= l1[i] * c[i + 2];
            if (i + 2 < m) ci -= l2[i] * c[i + 3];
            c[i + 1] = ci;
        }
        c[0] = c[n - 1] = 0.0;
        double chi2 = 0.0, previous = 0.0;
        for (int64_t i = 0; i < n; ++i) {
            const double slope = i + 1 < n ? (c[i + 1] - c[i]) / (x[i + 1] - x[i]) : 0.0;
            const double s2 = (*sigma)[i] * (*sigma)[i];
            v[i] = (slope - previous) * s2;
            a[i] = (*ys)[i] - p * v[i];
            const double r = (p * v[i]) / (*sigma)[i];
            chi2 += r * r;
            previous = slope;
        }
        return chi2;
    }

    int64_t n = 0;
    const std::vector<double>* xs = nullptr;
    const std::vector<double>* ys = nullptr;
    const std::vector<double>* sigma = nullptr;
    std::vector<double> t0, t1, m0, m1, m2, rhs, d, l1, l2, c, a, v, scratch;
};

// scipy.optimize.brentq: Brent's method on [xa, xb] with f(xa), f(xb) of
// opposite signs, ending when the bracket is within xtol + rtol |x|.
template <class F>
double Brentq(F f, double xa, double xb, double xtol, double rtol, int maxiter) {
    double xpre = xa, xcur = xb, xblk = 0.0, fblk = 0.0, spre = 0.0, scur = 0.0;
    double fpre = f(xpre), fcur = f(xcur);
    if (fpre * fcur > 0) return xcur;
    if (fpre == 0) return xpre;
    if (fcur == 0) return xcur;
    for (int i = 0; i < maxiter; ++i) {
        if (fpre != 0 && fcur != 0 && (std::signbit(fpre) != std::signbit(fcur))) {
            xblk = xpre;
            fblk = fpre;
            spre = scur = xcur - xpre;
        }
        if (std::fabs(fblk) < std::fabs(fcur)) {
            xpre = xcur, xcur = xblk, xblk = xpre;
            fpre = fcur, fcur = fblk, fblk = fpre;
        }
        const double delta = (xtol + rtol * std::fabs(xcur)) / 2;
        const double sbis = (xblk - xcur) / 2;
        if (fcur == 0 || std::fabs(sbis) < delta) return xcur;
        if (std::fabs(spre) > delta && std::fabs(fcur) < std::fabs(fpre)) {
            double stry;
            if (xpre == xblk) {
                stry = -fcur * (xcur - xpre) / (fcur - fpre);
            } else {
                const double dpre = (fpre - fcur) / (xpre - xcur),
                             dblk = (fblk - fcur) / (xblk - xcur);
                stry = -fcur * (fblk * dblk - fpre * dpre) / (dblk * dpre * (fblk - fpre));
            }
            if (2 * std::fabs(stry) < std::min(std::fabs(spre), 3 * std::fabs(sbis) - delta)) {
                spre = scur;
                scur = stry;
            } else {
                spre = sbis;
                scur = sbis;
            }
        } else {
            spre = sbis;
            scur = sbis;
        }
        xpre = xcur;
        fpre = fcur;
        xcur += std::fabs(scur) > delta ? scur : (sbis > 0 ? delta : -delta);
        fcur = f(xcur);
    }
    return xcur;
}

void ReferenceSmooth(const std::vector<double>& strip, std::vector<double>& profile,
                     std::vector<double>& scales) {
    const int64_t half = kWindow / 2, m = kRows - kWindow + 1;
    std::vector<double> window(kWindow);
    // Sliding medians of every column, rows scaled to unit mean.
    for (int64_t k = 0; k < m; ++k) {
        double* out = &profile[(half + k) * kWidth];
        for (int64_t c = 0; c < kWidth; ++c) {
            int64_t n = 0;
            for (int64_t j = 0; j < kWindow; ++j) {
                const double value = strip[(k + j) * kWidth + c];
                if (value != kSliceMissing) window[n++] = value;
            }
            if (n == 0) {
                out[c] = kSliceMissing;
                continue;
            }
            std::nth_element(window.begin(), window.begin() + n / 2, window.begin() + n);
            double median = window[n / 2];
            if (n % 2 == 0)
                median = 0.5 * (median + *std::max_element(window.begin(), window.begin() + n / 2));
            out[c] = median;
        }
        double sum = 0.0;
        int64_t count = 0;
        for (int64_t c = 0; c < kWidth; ++c)
            if (out[c] != kSliceMissing) sum += out[c], ++count;
        const double mean = sum / static_cast<double>(count);
        scales[half + k] = mean;
        for (int64_t c = 0; c < kWidth; ++c)
            if (out[c] != kSliceMissing) out[c] /= mean;
    }
    // Per column the smoothing parameter whose fit has the target sum of squares.
    const double gain = kGain / kWindow, noise = kNoiseSquared / kWindow;
    std::vector<double> x, y, sigma;
    std::vector<int64_t> rows;
    PenalisedFit fit;
    for (int64_t c = 0; c < kWidth; ++c) {
        x.clear(), y.clear(), sigma.clear(), rows.clear();
        for (int64_t k = 0; k < m; ++k) {
            const double value = profile[(half + k) * kWidth + c];
            if (value == kSliceMissing) continue;
            const double scale = std::fabs(scales[half + k]);
            x.push_back(static_cast<double>(k));
            y.push_back(value);
            sigma.push_back(std::sqrt(std::fabs(value) * scale * gain + noise) / scale);
            rows.push_back(k);
        }
        const auto n = static_cast<int64_t>(x.size());
        if (n < 3) continue;
        const double target = ((n - 1.0) - std::sqrt(2.0 * n)) * 0.5;
        fit.Prepare(x, y, sigma);
        const double logP = Brentq([&](double lp) { return fit.Solve(std::exp(lp)) - target; },
                                   -30.0, 30.0, 2e-12, 4 * DBL_EPSILON, 100);
        fit.Solve(std::exp(logP));
        for (int64_t i = 0; i < n; ++i) profile[(half + rows[i]) * kWidth + c] = fit.a[i];
    }
    // Non-negative rows of unit sum, the edge rows copied.
    for (int64_t k = 0; k < m; ++k) {
        double* row = &profile[(half + k) * kWidth];
        double sum = 0.0;
        for (int64_t c = 0; c < kWidth; ++c)
            if (row[c] != kSliceMissing) sum += row[c] = std::fabs(row[c]);
        for (int64_t c = 0; c < kWidth; ++c)
            if (row[c] != kSliceMissing) row[c] /= sum;
    }
    for (int64_t r = 0; r < half; ++r)
        std::copy_n(&profile[half * kWidth], kWidth, &profile[r * kWidth]);
    for (int64_t r = half + m; r < kRows; ++r)
        std::copy_n(&profile[(half + m - 1) * kWidth], kWidth, &profile[r * kWidth]);
}

void BM_SliceSmooth_ref(benchmark::State& state) {
    const std::vector<double>& strip = Strip();
    std::vector<double> profile(strip.size()), scales(kRows);
    for (auto _ : state) {
        ReferenceSmooth(strip, profile, scales);
        benchmark::DoNotOptimize(profile.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows * kWidth);
    // The same job: the largest difference from the kernel with the median
    // estimate, relative to the profile's peak.
    std::vector<double> ours(strip.size()), oursScales(kRows);
    SliceSmoothWork work;
    work.rows = kRows;
    work.width = kWidth;
    work.window = kWindow;
    SmoothSlice(SliceEstimator::kMedian, work, kGain, kNoiseSquared, strip.data(), ours.data(),
                oursScales.data());
    double difference = 0.0, peak = 0.0;
    for (size_t i = 0; i < ours.size(); ++i) {
        difference = std::max(difference, std::fabs(ours[i] - profile[i]));
        peak = std::max(peak, ours[i]);
    }
    state.counters["diff_vs_median_kernel"] = difference / peak;
}
BENCHMARK(BM_SliceSmooth_ref)->Unit(benchmark::kMillisecond);

}  // namespace
