#pragma once
// What the convolution tests share: states prepared with a named preset, frames of
// random samples (some without data), the kernels run over a whole frame, a
// reference of the kernels written plainly here, and a stage that serves a given
// frame of one or three channels with its samples-without-data flag.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "framework/component.h"
#include "processing/modules/convolver_module.h"

namespace orva::testing_util {

// The group and preset indexes of a named preset of the built-in set (-1, -1 when none).
inline std::pair<int, int> PresetIndex(const std::string& name) {
    const ConvolverPresetSet& set = ConvolverBuiltinPresets();
    for (int g = 0; g < set.groupCount; ++g)
        for (int p = 0; p < set.groups[g].count; ++p)
            if (name == set.groups[g].presets[p].name) return {g, p};
    return {-1, -1};
}

// Every preset name of the built-in set, in order.
inline std::vector<std::string> PresetNames() {
    std::vector<std::string> names;
    const ConvolverPresetSet& set = ConvolverBuiltinPresets();
    for (int g = 0; g < set.groupCount; ++g)
        for (int p = 0; p < set.groups[g].count; ++p) names.push_back(set.groups[g].presets[p].name);
    return names;
}

// A state prepared with the named preset for `channels` channels.
inline std::unique_ptr<ConvolverState> PreparedState(const std::string& name, int channels) {
    auto state = std::make_unique<ConvolverState>();
    state->channels = channels;
    const auto [g, p] = PresetIndex(name);
    EXPECT_GE(g, 0) << name;
    state->currentGroup = g;
    state->currentPreset = p;
    EXPECT_EQ(ConvolverPrepare(state.get(), nullptr, 3), kConvolverChanged) << name;
    return state;
}

// The nine weights a state's kernel applies (the mean's for a preset without coefficients).
inline std::vector<double> Weights(const ConvolverState& s) {
    if (s.preset != nullptr && s.preset->integers == nullptr && s.preset->reals == nullptr)
        return std::vector<double>(9, kConvolverMeanFactor);
    return std::vector<double>(s.matrix, s.matrix + 9);
}

// A frame of width x height pixels of `channels` interleaved samples.
struct TestFrame {
    int width = 0, height = 0, channels = 1;
    std::vector<double> v;
    double& At(int x, int y, int c) { return v[(static_cast<size_t>(y) * width + x) * channels + c]; }
    double At(int x, int y, int c) const { return v[(static_cast<size_t>(y) * width + x) * channels + c]; }
    double MaxAbs() const {
        double m = 0;
        for (double x : v)
            if (x != kConvolverBlank) m = std::max(m, std::abs(x));
        return m;
    }
};

// Samples in [-1000, 1000); with `blanks` > 0 that share of them without data.
inline TestFrame RandomFrame(int width, int height, int channels, uint32_t seed, double blanks = 0.0) {
    TestFrame f{width, height, channels, std::vector<double>(static_cast<size_t>(width) * height * channels)};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> value(-1000.0, 1000.0), pick(0.0, 1.0);
    for (double& x : f.v) x = pick(rng) < blanks ? kConvolverBlank : value(rng);
    return f;
}

// The block of `in` whose top-left pixel is (x0, y0), `w` x `h` pixels, written to `out`
// with `stride` pixels from row to row.
inline ConvolverBlock BlockOf(const TestFrame& in, int x0, int y0, int w, int h, double* out, int stride) {
    ConvolverBlock b;
    b.input = in.v.data();
    b.inputStride = static_cast<size_t>(in.width) * in.channels;
    b.inputWidth = in.width;
    b.inputHeight = in.height;
    b.originX = x0;
    b.originY = y0;
    b.output = out;
    b.outputStride = static_cast<size_t>(stride) * in.channels;
    b.width = w;
    b.height = h;
    return b;
}

// Runs a kernel over the whole frame.
inline TestFrame RunKernel(ConvolverKernelFn kernel, const ConvolverState* state, const TestFrame& in) {
    TestFrame out{in.width, in.height, in.channels, std::vector<double>(in.v.size(), -1.0)};
    ConvolverBlock b = BlockOf(in, 0, 0, in.width, in.height, out.v.data(), in.width);
    EXPECT_EQ(kernel(state, &b), 0);
    return out;
}

// A sample without data: the marker or NaN.
inline bool IsBlankSample(double x) { return x == kConvolverBlank || std::isnan(x); }

// The filter written out plainly: edges repeated, the weights applied row by row,
// left to right; with `blank`, a blank centre stays as it was and a blank neighbour
// (the marker or NaN) counts as the centre.
inline TestFrame Reference(const TestFrame& in, const std::vector<double>& w, bool blank) {
    TestFrame out{in.width, in.height, in.channels, std::vector<double>(in.v.size())};
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            for (int c = 0; c < in.channels; ++c) {
                const double centre = in.At(x, y, c);
                if (blank && IsBlankSample(centre)) {
                    out.At(x, y, c) = centre;
                    continue;
                }
                double sum = 0;
                for (int r = 0; r < 3; ++r)
                    for (int k = 0; k < 3; ++k) {
                        const int yy = std::clamp(y + r - 1, 0, in.height - 1);
                        const int xx = std::clamp(x + k - 1, 0, in.width - 1);
                        double s = in.At(xx, yy, c);
                        if (blank && IsBlankSample(s)) s = centre;
                        const double term = w[static_cast<size_t>(r * 3 + k)] * s;
                        sum = r == 0 && k == 0 ? term : sum + term;
                    }
                out.At(x, y, c) = sum;
            }
    return out;
}

// A stage that serves a frame (clipped to it) as 64-bit reals of its channel count,
// flagging blocks as holding samples without data when `blankFlag` is set.
class TestFrameSource : public ComponentBase {
public:
    TestFrameSource(ProjectItemBase* owner, TestFrame frame) : ComponentBase(owner), frame(std::move(frame)) {
        process = &Produce;
        data.width = this->frame.width;
        data.height = this->frame.height;
        offered = FormatRequest{0x40, 8, static_cast<uint32_t>(this->frame.channels), 2, 0, 0};
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    FrameDataRecord* QueryFrameData(int32_t f, int32_t section) override {
        data.frame = f;
        data.section = section;
        return &data;
    }
    static int32_t Produce(ComponentBase* component, PullResult* r, PullRequest*) {
        auto* s = static_cast<TestFrameSource*>(component);
        ++s->pulls;
        s->windows.push_back(r->window);
        const ReadWindow w = r->window;
        const TestFrame& f = s->frame;
        const int64_t x1 = std::min<int64_t>(w.x + w.width, f.width), y1 = std::min<int64_t>(w.y + w.height, f.height);
        if (w.x < 0 || w.y < 0 || x1 <= w.x || y1 <= w.y) return 0;
        TypedFrameBuffer& image = r->image;
        image.SetTypeAndCount(0x40, static_cast<uint32_t>(f.channels));
        if (!image.AllocImageBuffer(static_cast<uint32_t>(x1 - w.x), static_cast<uint32_t>(y1 - w.y))) return 0;
        auto* v = static_cast<double*>(image.data);
        for (int64_t y = w.y; y < y1; ++y)
            for (int64_t x = w.x; x < x1; ++x)
                for (int c = 0; c < f.channels; ++c) *v++ = f.At(static_cast<int>(x), static_cast<int>(y), c);
        image.windowX = w.x;
        image.windowY = w.y;
        image.state = s->blankFlag ? 1 : 0;
        r->pending = 1;
        r->deliveredFrame = static_cast<uint32_t>(w.frame);
        return 3;
    }

    TestFrame frame;
    FormatRequest offered;
    bool blankFlag = false;
    int pulls = 0;
    std::vector<ReadWindow> windows;
    FrameDataRecord data;
};

// The samples of a pulled block as a frame.
inline TestFrame FrameOf(const PullResult& r, int channels) {
    const TypedFrameBuffer& image = r.image;
    TestFrame f{static_cast<int>(image.width), static_cast<int>(image.height), channels, {}};
    const auto* v = static_cast<const double*>(image.data);
    if (v != nullptr) f.v.assign(v, v + static_cast<size_t>(image.width) * image.height * channels);
    return f;
}

}  // namespace orva::testing_util
