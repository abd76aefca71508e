#include "reduction/kernels/slice_profile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "reduction/kernels/sample_moments.h"
#include "reduction/reduction_component.h"
#include "shapes/result_code_error.h"

namespace orva {

namespace {

constexpr double kTwoDblMin = 4.450147717014403e-308;

// Collects the runs of missing positions while a kernel walks the positions.
class RunRecorder {
public:
    explicit RunRecorder(MissingRunRecord* record) : record_(record) {}
    void Missing(uint32_t i) {
        if (!open_) {
            start_ = i;
            open_ = true;
        }
    }
    void Present(uint32_t i) {
        if (open_) Close(i);
    }
    // Closes a run still open at L; 1 when every position was missing, else 3.
    int32_t Finish(uint32_t L) {
        if (open_) Close(L);
        record_->count = count_;
        return count_ == 1 && record_->runs[0].start == 0 && record_->runs[0].end >= L ? 1 : 3;
    }

private:
    void Close(uint32_t end) {
        record_->runs[count_++] = MissingRun{start_, end};
        open_ = false;
    }
    MissingRunRecord* record_;
    uint32_t count_ = 0;
    uint32_t start_ = 0;
    bool open_ = false;
};

// Sum and count of the present values of one row.
template <class Acc>
inline void RowSum(const double* row, uint32_t W, Acc* sum, uint32_t* count) {
    Acc s = 0;
    uint32_t m = 0;
    for (uint32_t j = 0; j < W; ++j) {
        const double v = row[j];
        const bool present = v != kMissingSample;
        s += present ? static_cast<Acc>(v) : Acc(0);
        m += present ? 1 : 0;
    }
    *sum = s;
    *count = m;
}

template <class Acc>
int32_t Collapse(const StripParams& p, const double* strip, double* out, MissingRunRecord* record) {
    RunRecorder runs(record);
    const uint32_t W = p.width;
    for (uint32_t i = 0; i < p.points; ++i) {
        Acc s;
        uint32_t m;
        RowSum<Acc>(strip + uint64_t{i} * W, W, &s, &m);
        if (m == 0) {
            runs.Missing(i);
            continue;
        }
        runs.Present(i);
        if (!p.flux)
            out[i] = static_cast<double>(s / static_cast<Acc>(m));
        else
            out[i] = m == W ? static_cast<double>(s)
                            : static_cast<double>(s * (static_cast<Acc>(W) / m));
    }
    return runs.Finish(p.points);
}

template <class Acc>
int32_t CollapseWeighted(const StripParams& p, const double* strip, double* out,
                         MissingRunRecord* record) {
    RunRecorder runs(record);
    const uint32_t W = p.width;
    const Acc gain = StripVarianceFloor(p.gain), noise = StripVarianceFloor(p.noiseSquared);
    for (uint32_t i = 0; i < p.points; ++i) {
        const double* row = strip + uint64_t{i} * W;
        Acc sw = 0, swv = 0;
        for (uint32_t j = 0; j < W; ++j) {
            const double v = row[j];
            if (v == kMissingSample) continue;
            const Acc w = Acc(1) / (std::fabs(static_cast<Acc>(v)) * gain + noise);
            sw += w;
            swv += w * v;
        }
        if (!(sw > kTwoDblMin)) {
            runs.Missing(i);
            continue;
        }
        runs.Present(i);
        const Acc value = swv / sw;
        out[i] = static_cast<double>(p.flux ? value * W : value);
    }
    return runs.Finish(p.points);
}

// Optimal weighting; `noise` false uses unit variances.
template <class Acc, bool Noise>
int32_t WeightProfile(const StripParams& p, const double* profile, const double* strip, double* out,
                      MissingRunRecord* record) {
    RunRecorder runs(record);
    const uint32_t W = p.width;
    const Acc gain = StripVarianceFloor(p.gain), noise = StripVarianceFloor(p.noiseSquared);
    for (uint32_t i = 0; i < p.points; ++i) {
        const double* d = strip + uint64_t{i} * W;
        const double* pr = profile + uint64_t{i} * W;
        Acc a = 0, b = 0;
        for (uint32_t j = 0; j < W; ++j) {
            const double v = d[j];
            if (v == kMissingSample) continue;
            const Acc P = pr[j];
            const Acc w = Noise ? P / (std::fabs(static_cast<Acc>(v)) * gain + noise) : P;
            a += w * P;
            b += w * v;
        }
        if (!(a > kTwoDblMin)) {
            runs.Missing(i);
            continue;
        }
        runs.Present(i);
        out[i] = static_cast<double>(p.flux ? b / a : b / (static_cast<Acc>(W) * a));
    }
    return runs.Finish(p.points);
}

// The options and geometry of the component's strip.
StripParams ParamsOf(ReductionComponent* c) {
    const ReductionSliceValues& s = c->Options().values.slice;
    StripParams p;
    p.width = c->slice.width;
    p.points = c->slice.points;
    p.flux = s.flux != 0;
    p.gain = s.gain;
    p.noiseSquared = s.noiseSquared;
    return p;
}

bool Extended(const ReductionComponent* c) {
    return c->slice.extended;
}

using CollapseKernel = int32_t (*)(const StripParams&, const double*, double*, MissingRunRecord*);

// Room for C rows of L values in the item's image.
double* PrepareProfileOutput(PullResult* item, uint32_t C, uint32_t L) {
    TypedFrameBuffer& out = item->image;
    out.SetTypeAndCount(static_cast<int32_t>(kReductionOutputFormat), C);
    if (!out.AllocImageBuffer(L, 1)) return nullptr;
    return static_cast<double*>(out.data);
}

// The per-record reserve and the run list made ready for C records.
uint32_t ResetRuns(MissingRunList* runs, uint32_t C, uint32_t L) {
    const uint32_t reserve = static_cast<uint32_t>((uint64_t{L} + 1) / 2);
    runs->Reset(C, reserve, C > 1 ? 2 * reserve : reserve);
    return reserve;
}

int32_t BuildWith(ReductionComponent* c, PullResult* item, CollapseKernel collapse) {
    SliceWork& slice = c->slice;
    const StripParams p = ParamsOf(c);
    const uint32_t C = slice.channels, L = p.points;
    if (C == 0 || L == 0 || p.width == 0 || item == nullptr) return 0;
    double* out = PrepareProfileOutput(item, C, L);
    if (out == nullptr) return 0;
    uint32_t produced = 0;
    const uint32_t code = CatchResultCode([&] {
        const uint32_t reserve = ResetRuns(&slice.runs, C, L);
        for (uint32_t ch = 0; ch < C; ++ch) {
            MissingRunRecord* record = slice.runs.NextRecord(reserve);
            double* row = out + uint64_t{ch} * L;
            if (collapse(p, slice.Strip(ch), row, record) < 3)
                std::fill(row, row + L, 0.0);
            else
                ++produced;
            slice.runs.CloseRecord(record);
        }
        slice.runs.Finish();
    });
    if (code != 0) {
        slice.runs.Empty();
        return 0;
    }
    return produced != 0 ? 3 : 0;
}

}  // namespace

double StripVarianceFloor(double v) {
    return v < kTwoDblMin || v != v ? kTwoDblMin : v;
}

int32_t CollapseStrip(const StripParams& p, const double* strip, double* out,
                      MissingRunRecord* record) {
    return Collapse<double>(p, strip, out, record);
}
int32_t CollapseStripWeighted(const StripParams& p, const double* strip, double* out,
                              MissingRunRecord* record) {
    return CollapseWeighted<double>(p, strip, out, record);
}
int32_t WeightProfileNoise(const StripParams& p, const double* profile, const double* strip,
                           double* out, MissingRunRecord* record) {
    return WeightProfile<double, true>(p, profile, strip, out, record);
}
int32_t WeightProfilePlain(const StripParams& p, const double* profile, const double* strip,
                           double* out, MissingRunRecord* record) {
    return WeightProfile<double, false>(p, profile, strip, out, record);
}

namespace {

// The same kernels with extended accumulators.
int32_t CollapseStripLong(const StripParams& p, const double* s, double* o, MissingRunRecord* r) {
    return Collapse<long double>(p, s, o, r);
}
int32_t CollapseStripWeightedLong(const StripParams& p, const double* s, double* o,
                                  MissingRunRecord* r) {
    return CollapseWeighted<long double>(p, s, o, r);
}
int32_t WeightProfileNoiseLong(const StripParams& p, const double* pr, const double* s, double* o,
                               MissingRunRecord* r) {
    return WeightProfile<long double, true>(p, pr, s, o, r);
}
int32_t WeightProfilePlainLong(const StripParams& p, const double* pr, const double* s, double* o,
                               MissingRunRecord* r) {
    return WeightProfile<long double, false>(p, pr, s, o, r);
}

}  // namespace

int32_t BuildCrossProfile(ReductionComponent* c, PullResult* item) {
    return BuildWith(c, item, Extended(c) ? &CollapseStripLong : &CollapseStrip);
}

int32_t BuildCrossProfileWeighted(ReductionComponent* c, PullResult* item) {
    return BuildWith(c, item, Extended(c) ? &CollapseStripWeightedLong : &CollapseStripWeighted);
}

int32_t BuildCrossProfileOptimal(ReductionComponent* c, PullResult* item) {
    SliceWork& slice = c->slice;
    const StripParams p = ParamsOf(c);
    const uint32_t C = slice.channels, W = p.width, L = p.points;
    if (W == 1) return BuildCrossProfile(c, item);
    if (C == 0 || L == 0 || W == 0 || item == nullptr) return 0;
    const uint64_t need = uint64_t{C} * slice.cells + 2ull * L;
    if (need > kGlobalBufferMaxBytes / sizeof(double) ||
        !GrowScratchBlock(&slice.scratch, need * sizeof(double)))
        return -4;
    double* out = PrepareProfileOutput(item, C, L);
    if (out == nullptr) return 0;
    const bool extended = Extended(c);
    CollapseKernel collapse = extended ? &CollapseStripLong : &CollapseStrip;
    WeightingKernel weighting = c->weighting;
    if (extended && weighting == &WeightProfileNoise) weighting = &WeightProfileNoiseLong;
    if (extended && weighting == &WeightProfilePlain) weighting = &WeightProfilePlainLong;
    SliceSmoothWork& smooth = c->sliceSmooth;
    smooth.width = W;
    smooth.rows = L;
    smooth.window = c->Options().values.slice.lSmoothAverWin;
    auto* scratch = static_cast<double*>(slice.scratch.block);
    double* scales = scratch + uint64_t{C} * slice.cells;
    uint32_t produced = 0;
    const uint32_t code = CatchResultCode([&] {
        const uint32_t reserve = ResetRuns(&slice.runs, C, L);
        for (uint32_t ch = 0; ch < C; ++ch) {
            MissingRunRecord* record = slice.runs.NextRecord(reserve);
            double* row = out + uint64_t{ch} * L;
            double* profile = scratch + uint64_t{ch} * slice.cells;
            const double* strip = slice.Strip(ch);
            int32_t r;
            if (c->smoothing(c, strip, profile, scales) == 3)
                r = weighting(p, profile, strip, row, record);
            else
                r = collapse(p, strip, row, record);
            if (r < 3)
                std::fill(row, row + L, 0.0);
            else
                ++produced;
            slice.runs.CloseRecord(record);
        }
        slice.runs.Finish();
    });
    if (code != 0) {
        slice.runs.Empty();
        return 0;
    }
    return produced != 0 ? 3 : 0;
}

}  // namespace orva
