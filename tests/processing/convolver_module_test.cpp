// The convolution module: its descriptor and instance lifecycle, the presets and
// their normalisation, stepping through them, the format negotiation, and the
// filter at work in a chain: whole frames and any tiling of requests, requests at the
// frame's edges, channel counts without kernels, and instances that keep their own
// presets.
#include <gtest/gtest.h>

#include <cmath>

#include <cstdio>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

#include "convolver_test_support.h"
#include "processing/modules/builtin_modules.h"
#include "processing/processing_component.h"
#include "processing_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

// ---- Descriptor and lifecycle -------------------------------------------------------------

TEST(ConvolverModuleTest, DescriptorOpenAndClose) {
    const FilterModuleDescriptor& d = ConvolverModuleDescriptor();
    EXPECT_EQ(std::tuple(std::string(d.key), std::string(d.title), d.flags, d.id, d.author),
              std::tuple(std::string("convl"), std::string("Convolver"), kFilterModuleFlag, &kConvolutionModuleId,
                         nullptr));
    EXPECT_EQ(std::string(d.id->name), "Convolution");
    // {ED313271-177D-4504-BBED-137364D09F01} as its 16 bytes.
    const uint8_t guid[16] = {0x71, 0x32, 0x31, 0xED, 0x7D, 0x17, 0x04, 0x45,
                              0xBB, 0xED, 0x13, 0x73, 0x64, 0xD0, 0x9F, 0x01};
    ASSERT_NE(d.guid, nullptr);
    EXPECT_EQ(std::memcmp(d.guid, guid, 16), 0);
    EXPECT_EQ(std::tuple(d.create, d.close, d.globalInit),
              std::tuple(&ConvolverModuleOpen, &ConvolverModuleClose, &ConvolverModuleAttach));

    EXPECT_TRUE(ConvolverModuleAttach(nullptr, 0));
    EXPECT_TRUE(ConvolverModuleAttach(nullptr, 1));
    EXPECT_EQ(ConvolverTableCount(), 1);

    const int32_t open = ConvolverOpenCount();
    FilterCallbacks c;
    ASSERT_TRUE(ConvolverModuleOpen(&c, &d));
    EXPECT_EQ(ConvolverOpenCount(), open + 1);
    auto* s = static_cast<ConvolverState*>(c.state);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s) % 32, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(s->matrix) % 32, 0u);
    EXPECT_EQ(c.stateBytes, sizeof(ConvolverState));
    EXPECT_EQ(std::tuple(s->size, s->zeroSum, s->plain, s->preset, s->table, s->channels, s->matrix[8]),
              std::tuple(3, 0, nullptr, nullptr, nullptr, 0, 0.0));
    EXPECT_EQ(std::tuple(c.process, c.frameQuery, c.frameData, c.event),
              std::tuple(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::tuple(c.negotiate, c.methodName, c.pageBuilder),
              std::tuple(&ConvolverNegotiate, &ConvolverMethodName, &ConvolverBuildPanel));
    // With instances open the global initialisation leaves the count alone.
    EXPECT_TRUE(ConvolverModuleAttach(nullptr, 1));
    EXPECT_EQ(ConvolverOpenCount(), open + 1);
    ConvolverModuleClose(&c);
    EXPECT_EQ(std::tuple(c.state, ConvolverOpenCount()), std::tuple(nullptr, open));
}

// ---- Presets ----------------------------------------------------------------------------------

std::string CoefficientText(const ConvolverPreset& p) {
    std::string text;
    char buffer[32];
    for (int i = 0; i < 9 && (p.integers != nullptr || p.reals != nullptr); ++i) {
        if (p.integers != nullptr) std::snprintf(buffer, sizeof buffer, "%d", p.integers[i]);
        else std::snprintf(buffer, sizeof buffer, "%g", p.reals[i]);
        text += (i == 0 ? "" : i % 3 == 0 ? " / " : " ") + std::string(buffer);
    }
    return text;
}

TEST(ConvolverModuleTest, ThePresetsAreTheTwentySevenOfTheTable) {
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> table = {
        {"Contrast",
         {{"Contrast *+ [soft]", "1 -2 1 / -2 8 -2 / 1 -2 1"},
          {"Contrast + [soft]", "-1 1 -1 / 1 5 1 / -1 1 -1"},
          {"Contrast * [soft]", "-1 -1 -1 / -1 18 -1 / -1 -1 -1"},
          {"Contrast 2+ [soft]", "0 -1 0 / -1 7 -1 / 0 -1 0"},
          {"Contrast 2X", "-1 0 -1 / 0 7 0 / -1 0 -1"},
          {"Contrast 1+", "0 -1 0 / -1 5 -1 / 0 -1 0"},
          {"Contrast 1X", "-1 0 -1 / 0 5 0 / -1 0 -1"},
          {"Contrast", "-1 -1 -1 / -1 9 -1 / -1 -1 -1"},
          {"Contrast [vertical]", "0 0 0 / -1 4 -1 / 0 0 0"},
          {"Contrast [horizontal]", "0 -1 0 / 0 4 0 / 0 -1 0"}}},
        {"Smoothing",
         {{"Gaussian",
           "0.0927229 0.119059 0.0927229 / 0.119059 0.152874 0.119059 / 0.0927229 0.119059 0.0927229"},
          {"Blur | Mean", ""},
          {"Blur", "1 1 1 / 1 2 1 / 1 1 1"},
          {"Blur 3", "1 1 1 / 1 3 1 / 1 1 1"},
          {"Blur +", "0 1 0 / 1 1 1 / 0 1 0"},
          {"Blur 2 +", "0 1 0 / 1 2 1 / 0 1 0"},
          {"Blur 3 +", "0 1 0 / 1 3 1 / 0 1 0"},
          {"Blur 3 | 2 +", "1 2 1 / 2 3 2 / 1 2 1"},
          {"Blur 4 | 2 +", "1 2 1 / 2 4 2 / 1 2 1"}}},
        {"Edge Detect",
         {{"Edge", "1 -1 1 / -1 0 -1 / 1 -1 1"},
          {"Edge -", "1 0 1 / 0 -4 0 / 1 0 1"},
          {"Edge -8", "1 1 1 / 1 -8 1 / 1 1 1"},
          {"Embos", "-1 1 -1 / 1 0 1 / -1 1 -1"},
          {"Embos +", "0 -1 0 / -1 4 -1 / 0 -1 0"},
          {"Embos -", "-1 0 -1 / 0 4 0 / -1 0 -1"},
          {"Oil", "-1 0 -1 / 0 2 0 / -1 0 -1"},
          {"Oil 2", "-1 0 -1 / 0 3 0 / -1 0 -1"}}},
    };
    const ConvolverPresetSet& set = ConvolverBuiltinPresets();
    ASSERT_EQ(std::tuple(set.size, set.groupCount), std::tuple(3, 3));
    for (int g = 0; g < 3; ++g) {
        const ConvolverPresetGroup& group = set.groups[g];
        EXPECT_EQ(group.name, table[g].first);
        ASSERT_EQ(group.count, static_cast<int32_t>(table[g].second.size()));
        for (int p = 0; p < group.count; ++p) {
            const ConvolverPreset& preset = group.presets[p];
            EXPECT_EQ(std::tuple(std::string(preset.name), CoefficientText(preset), preset.factor),
                      std::tuple(table[g].second[p].first, table[g].second[p].second, 0.0));
            // Only "Gaussian" has real coefficients, only "Blur | Mean" none.
            EXPECT_EQ(preset.reals != nullptr, table[g].second[p].first == "Gaussian");
        }
    }
}

TEST(ConvolverModuleTest, CoefficientsAreNormalisedUnlessTheySumToZero) {
    auto contrast = PreparedState("Contrast", 1);
    EXPECT_EQ(std::vector<double>(contrast->matrix, contrast->matrix + 9),
              (std::vector<double>{-1, -1, -1, -1, 9, -1, -1, -1, -1}));
    EXPECT_EQ(contrast->zeroSum, 0);
    auto blur = PreparedState("Blur", 1);
    EXPECT_EQ(std::vector<double>(blur->matrix, blur->matrix + 9),
              (std::vector<double>{0.1, 0.1, 0.1, 0.1, 0.2, 0.1, 0.1, 0.1, 0.1}));
    auto edge = PreparedState("Edge -8", 3);
    EXPECT_EQ(std::vector<double>(edge->matrix, edge->matrix + 9),
              (std::vector<double>{1, 1, 1, 1, -8, 1, 1, 1, 1}));
    EXPECT_EQ(std::tuple(edge->zeroSum, edge->plain, edge->blank),
              std::tuple(1, &ConvolverWeightedC3, &ConvolverWeightedBlankC3));
    auto oil = PreparedState("Oil", 1);  // sum -2
    EXPECT_EQ(std::tuple(oil->matrix[0], oil->matrix[4], oil->zeroSum), std::tuple(0.5, -1.0, 0));
    auto gauss = PreparedState("Gaussian", 1);
    const double s = 4 * 0.0927229 + 4 * 0.119059 + 0.152874;
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(gauss->matrix[i], gauss->preset->reals[i] / s, 1e-16) << i;
    double sum = 0;
    for (double w : gauss->matrix) sum += w;
    EXPECT_NEAR(sum, 1.0, 1e-15);
    auto mean = PreparedState("Blur | Mean", 1);
    EXPECT_EQ(std::tuple(mean->plain, mean->blank, mean->zeroSum), std::tuple(&ConvolverMeanC1, &ConvolverMeanBlankC1, 0));

    // The zero threshold is twice the smallest normal double; a preset's own factor wins.
    const double below[9] = {4.4e-308, 0, 0, 0, 0, 0, 0, 0, 0};
    const double above[9] = {4.5e-308, 0, 0, 0, 0, 0, 0, 0, 0};
    const int32_t twice[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const ConvolverPreset presets[] = {{"below", nullptr, below, nullptr, 0.0},
                                       {"above", nullptr, above, nullptr, 0.0},
                                       {"twice", twice, nullptr, nullptr, 2.0}};
    const ConvolverPresetGroup group{"Test", 3, presets};
    const ConvolverPresetSet set{3, 1, &group};
    ConvolverState state;
    state.channels = 1;
    state.presetSet = &set;
    ASSERT_EQ(ConvolverPrepare(&state, nullptr, 3), kConvolverChanged);
    EXPECT_EQ(std::tuple(state.preset, state.matrix[0], state.zeroSum), std::tuple(&presets[0], 4.4e-308, 1));
    ASSERT_TRUE(ConvolverNextPreset(&state));
    EXPECT_EQ(std::tuple(state.matrix[0], state.zeroSum), std::tuple(4.5e-308 * (1.0 / 4.5e-308), 0));
    ASSERT_TRUE(ConvolverNextPreset(&state));
    EXPECT_EQ(std::tuple(state.matrix[0], state.matrix[8], state.zeroSum), std::tuple(2.0, 18.0, 0));
    EXPECT_EQ(ConvolverPrepare(&state, nullptr, 3), kConvolverUnchanged);
    // Sizes without kernels.
    EXPECT_EQ(ConvolverPrepare(&state, nullptr, 5), kConvolverNoPair);
    state.tableIndex = 5;
    EXPECT_EQ(ConvolverSelectTable(&state, 7, 3), kConvolverUnchanged);  // the index held at the one table
    EXPECT_EQ(std::tuple(state.tableIndex, state.presetSet), std::tuple(0, &set));
}

TEST(ConvolverModuleTest, PresetsStepWithinAndAcrossGroups) {
    ConvolverState unprepared;
    EXPECT_FALSE(ConvolverNextPreset(&unprepared));  // no table and set yet
    EXPECT_EQ(ConvolverCurrentPreset(&unprepared)->name, std::string("Contrast *+ [soft]"));

    auto s = PreparedState("Contrast [horizontal]", 1);
    EXPECT_FALSE(ConvolverPrevPreset(PreparedState("Contrast *+ [soft]", 1).get()));
    ASSERT_TRUE(ConvolverNextPreset(s.get()));
    EXPECT_EQ(std::tuple(std::string(s->preset->name), s->currentGroup, s->currentPreset),
              std::tuple(std::string("Gaussian"), 1, 0));
    ASSERT_TRUE(ConvolverPrevPreset(s.get()));
    EXPECT_EQ(std::string(s->preset->name), "Contrast [horizontal]");
    ASSERT_TRUE(ConvolverNextPreset(s.get()));
    ASSERT_TRUE(ConvolverNextPreset(s.get()));
    EXPECT_EQ(std::tuple(std::string(s->preset->name), s->plain), std::tuple(std::string("Blur | Mean"), &ConvolverMeanC1));
    auto last = PreparedState("Oil 2", 3);
    EXPECT_FALSE(ConvolverNextPreset(last.get()));
    EXPECT_EQ(std::string(last->preset->name), "Oil 2");
    // Through the whole set: 26 steps forward, 26 back.
    auto walk = PreparedState("Contrast *+ [soft]", 1);
    int steps = 0;
    while (ConvolverNextPreset(walk.get())) ++steps;
    EXPECT_EQ(steps, 26);
    while (ConvolverPrevPreset(walk.get())) --steps;
    EXPECT_EQ(std::tuple(steps, std::string(walk->preset->name)), std::tuple(0, std::string("Contrast *+ [soft]")));
}

// ---- Negotiation --------------------------------------------------------------------------

TEST(ConvolverModuleTest, NegotiationAcceptsOnlyRealsAndAsksForThem) {
    struct Case {
        FormatRequest input;
        int32_t result;
        uint32_t dims;
    } cases[] = {
        {{0x40, 8, 1, 2, 0, 7}, 1, 2},
        {{0x40, 8, 3, 1, kFormatTagDmap, 7}, 1, 1},
        {{0x40, 8, 1, 3, 0, 7}, 0, 2},        // a cube: asks for two dimensions
        {{0x10, 4, 3, 2, 0, 7}, 0, 2},        // 32-bit reals: asks for 64-bit ones
        {{0x08, 4, 1, 1, 0, 7}, 0, 1},
        {{0x40, 8, 1, 2, FourCC("XXXX"), 7}, -1, 0},
    };
    for (const Case& c : cases) {
        ProcessingComponent host(nullptr);
        FilterInstance* i = nullptr;
        ASSERT_EQ(filterAdd(&host.chain, &ConvolverModuleDescriptor(), &i), 0);
        FormatRequest request{1, 1, 1, 1, 1, 1}, output;
        EXPECT_EQ(ConvolverNegotiate(i, &c.input, &request, &output), c.result) << std::hex << c.input.format;
        if (c.result < 0) continue;
        EXPECT_EQ(std::tuple(output.format, output.element, output.channels, output.dims, output.tag, output.extra),
                  std::tuple(0x40u, 8u, c.input.channels, c.dims, kFormatTagDmap, 7u));
        EXPECT_EQ(ConvolverStateOf(i)->channels, static_cast<int32_t>(c.input.channels));
        if (c.result == 0) {
            EXPECT_EQ(std::tuple(request.format, request.element, request.channels, request.dims),
                      std::tuple(0x40u, 8u, c.input.channels, c.dims));
            EXPECT_EQ(i->callbacks.process, nullptr);
        } else {
            EXPECT_EQ(std::tuple(request.format, i->callbacks.process), std::tuple(1u, &ConvolverProcess));
            EXPECT_EQ(std::string(ConvolverMethodName(i)), "Convolver");
        }
    }
}

// ---- In a chain -----------------------------------------------------------------------------

class ConvolverChainTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (auto& [host, source, consumer] : chains) {
            ConsumerDetach(consumer.get());
            host->Release();
            source->Release();
        }
        ConvolverFailStateAllocationForTest(false);
    }
    // A processing stage over a source of the frame, with a consumer behind it.
    ProcessingComponent* Chain(const TestFrame& frame, TestFrameSource** sourceOut = nullptr) {
        auto* host = new ProcessingComponent(&item);
        auto* source = new TestFrameSource(&item, frame);
        auto consumer = std::make_unique<ConsumerEnd>();
        EXPECT_TRUE(ConsumerAttach(&host->chain, source));
        EXPECT_TRUE(ConsumerAttach(consumer.get(), host));
        if (sourceOut != nullptr) *sourceOut = source;
        chains.push_back({host, source, std::move(consumer)});
        return host;
    }
    FilterInstance* AddConvolver(ProcessingComponent* host) {
        FilterInstance* i = nullptr;
        EXPECT_EQ(filterAdd(&host->chain, &ConvolverModuleDescriptor(), &i), 0);
        ChainRenegotiate(&host->chain);
        return i;
    }
    // Pulls a box of frame 0 through the consumer of chain `n`.
    int32_t Pull(size_t n, PullResult* r, int64_t x, int64_t y, int32_t w, int32_t h) {
        r->pending = 0;
        r->window = ReadWindow{};
        r->window.x = x;
        r->window.y = y;
        r->window.width = w;
        r->window.height = h;
        PullRequest request;
        return ComponentPull(std::get<2>(chains[n]).get(), r, &request);
    }
    TestFrame PullAll(size_t n, const TestFrame& like) {
        PullResult r;
        EXPECT_GE(Pull(n, &r, 0, 0, like.width, like.height), 2);
        return FrameOf(r, like.channels);
    }

    ProjectItemBase item;
    std::vector<std::tuple<ProcessingComponent*, TestFrameSource*, std::unique_ptr<ConsumerEnd>>> chains;
};

TEST_F(ConvolverChainTest, AnyTilingOfRequestsGivesTheWholeFramesOutput) {
    for (int channels : {1, 3}) {
        for (bool blanks : {false, true}) {
            SCOPED_TRACE(std::to_string(channels) + (blanks ? " channels, blanks" : " channels"));
            const TestFrame frame = RandomFrame(23, 17, channels, 40 + channels, blanks ? 0.05 : 0.0);
            TestFrameSource* source = nullptr;
            ProcessingComponent* host = Chain(frame, &source);
            source->blankFlag = blanks;
            FilterInstance* i = AddConvolver(host);
            ASSERT_EQ(i->skip, 0);
            const size_t n = chains.size() - 1;
            // The whole frame is the kernel's output over the whole frame.
            auto state = PreparedState("Contrast *+ [soft]", channels);
            const TestFrame whole = PullAll(n, frame);
            EXPECT_EQ(whole.v, RunKernel(blanks ? state->blank : state->plain, state.get(), frame).v);
            for (auto [tw, th] : {std::pair{1, 1}, {4, 3}, {7, 17}, {23, 2}, {10, 10}}) {
                TestFrame tiled{frame.width, frame.height, channels, std::vector<double>(frame.v.size(), 0.0)};
                for (int y = 0; y < frame.height; y += th)
                    for (int x = 0; x < frame.width; x += tw) {
                        PullResult r;
                        ASSERT_GE(Pull(n, &r, x, y, tw, th), 2);
                        const TestFrame t = FrameOf(r, channels);
                        ASSERT_EQ(std::tuple(r.image.windowX, r.image.windowY, r.image.state),
                                  std::tuple(int64_t{x}, int64_t{y}, uint8_t{blanks}));
                        for (int yy = 0; yy < t.height; ++yy)
                            for (int xx = 0; xx < t.width; ++xx)
                                for (int c = 0; c < channels; ++c) tiled.At(x + xx, y + yy, c) = t.At(xx, yy, c);
                    }
                EXPECT_EQ(tiled.v, whole.v) << tw << "x" << th;
            }
        }
    }
}

// A float file's NaN samples come unmarked: the filter finds them and takes the blank
// variant (a NaN spreads to no neighbour), and marks its own result; a block without NaN
// keeps the plain variant and no mark.
TEST_F(ConvolverChainTest, UnmarkedNaNSamplesTakeTheBlankVariant) {
    for (int channels : {1, 3}) {
        SCOPED_TRACE(std::to_string(channels) + " channels");
        TestFrame frame = RandomFrame(19, 11, channels, 70 + channels);
        const TestFrame clean = frame;
        for (int k : {0, 40, 41, 100, 208}) frame.v[static_cast<size_t>(k) * channels % frame.v.size()] = std::nan("");
        auto state = PreparedState("Contrast *+ [soft]", channels);  // what a new instance takes
        for (const TestFrame* f : {static_cast<const TestFrame*>(&frame), &clean}) {
            ProcessingComponent* host = Chain(*f);
            ASSERT_EQ(AddConvolver(host)->skip, 0);
            const size_t n = chains.size() - 1;
            PullResult r;
            ASSERT_GE(Pull(n, &r, 0, 0, f->width, f->height), 2);
            const TestFrame got = FrameOf(r, channels);
            const bool nans = f == &frame;
            EXPECT_EQ(r.image.state, uint8_t{nans});
            const TestFrame want = Reference(*f, Weights(*state), true);
            size_t gotNaN = 0, wantNaN = 0;
            for (size_t i = 0; i < got.v.size(); ++i) {
                gotNaN += std::isnan(got.v[i]);
                wantNaN += std::isnan(f->v[i]);
                if (!std::isnan(want.v[i])) EXPECT_EQ(got.v[i], want.v[i]) << i;
                else EXPECT_TRUE(std::isnan(got.v[i])) << i;
            }
            EXPECT_EQ(gotNaN, wantNaN);  // only the missing samples themselves
            // A tile over one NaN sample with two more just outside its edge.
            PullResult tile;
            ASSERT_GE(Pull(n, &tile, 3, 3, 4, 4), 2);
            const TestFrame t = FrameOf(tile, channels);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    for (int c = 0; c < channels; ++c) {
                        const double w = want.At(x + 3, y + 3, c);
                        if (std::isnan(w)) EXPECT_TRUE(std::isnan(t.At(x, y, c)));
                        else EXPECT_EQ(t.At(x, y, c), w);
                    }
        }
    }
}

TEST_F(ConvolverChainTest, RequestsAreWidenedByOnePixelAndClippedAtTheFrame) {
    const TestFrame frame = RandomFrame(12, 9, 1, 5);
    TestFrameSource* source = nullptr;
    ProcessingComponent* host = Chain(frame, &source);
    FilterInstance* i = AddConvolver(host);
    const TestFrame whole = PullAll(0, frame);
    struct Case {
        int64_t x, y;
        int32_t w, h;
        ReadWindow upstream;  // x, y, width, height asked of the source
        int32_t width, height;
    } cases[] = {
        {4, 3, 2, 2, {0, 0, 3, 2, 4, 4}, 2, 2},
        {0, 0, 3, 3, {0, 0, 0, 0, 4, 4}, 3, 3},
        {10, 7, 5, 5, {0, 0, 9, 6, 3, 3}, 2, 2},  // past the corner: the part within the frame
    };
    for (const Case& c : cases) {
        PullResult r;
        source->windows.clear();
        ChainClearDone(i);  // nothing held: the block is pulled anew
        ASSERT_GE(Pull(0, &r, c.x, c.y, c.w, c.h), 2);
        ASSERT_FALSE(source->windows.empty());
        const ReadWindow& up = source->windows.back();
        EXPECT_EQ(std::tuple(up.x, up.y, up.width, up.height),
                  std::tuple(c.upstream.x, c.upstream.y, c.upstream.width, c.upstream.height));
        EXPECT_EQ(std::tuple(r.window.width, r.window.height, r.image.width, r.image.height),
                  std::tuple(c.width, c.height, uint32_t(c.width), uint32_t(c.height)));
        const TestFrame t = FrameOf(r, 1);
        for (int y = 0; y < t.height; ++y)
            for (int x = 0; x < t.width; ++x)
                EXPECT_EQ(t.At(x, y, 0), whole.At(static_cast<int>(c.x) + x, static_cast<int>(c.y) + y, 0));
    }
    // A request wholly beyond the frame gets nothing from the filter (and nothing upstream).
    PullResult r;
    EXPECT_LT(Pull(0, &r, 40, 40, 2, 2), 2);
}

TEST_F(ConvolverChainTest, ChannelCountsWithoutKernelsPassFramesUnfiltered) {
    // A new instance on two channels stays inactive.
    const TestFrame two = RandomFrame(6, 5, 2, 9);
    ProcessingComponent* host = Chain(two);
    FilterInstance* fresh = AddConvolver(host);
    EXPECT_EQ(std::tuple(fresh->callbacks.process, fresh->skip), std::tuple(nullptr, 1));
    EXPECT_EQ(PullAll(0, two).v, two.v);

    // An active one-channel instance whose input turns into two channels stops running
    // (its one-channel kernel must not read the new layout): the frames pass unfiltered.
    const TestFrame one = RandomFrame(6, 5, 1, 10);
    TestFrameSource* source = nullptr;
    host = Chain(one, &source);
    FilterInstance* i = AddConvolver(host);
    ASSERT_EQ(std::tuple(i->callbacks.process, i->skip), std::tuple(&ConvolverProcess, 0));
    EXPECT_NE(PullAll(1, one).v, one.v);
    source->frame = two;
    source->offered.channels = 2;
    FormatRequest changed = source->offered;
    ASSERT_TRUE(host->chain.AcceptFormat(&changed));
    EXPECT_EQ(std::tuple(i->callbacks.process, i->skip, i->block.pending), std::tuple(nullptr, 1, 0));
    EXPECT_EQ(PullAll(1, two).v, two.v);
    // Back to three channels: the filter runs again.
    const TestFrame three = RandomFrame(6, 5, 3, 11);
    source->frame = three;
    source->offered.channels = 3;
    changed = source->offered;
    ASSERT_TRUE(host->chain.AcceptFormat(&changed));
    auto state = PreparedState("Contrast *+ [soft]", 3);
    EXPECT_EQ(std::tuple(i->callbacks.process, i->skip), std::tuple(&ConvolverProcess, 0));
    EXPECT_EQ(PullAll(1, three).v, RunKernel(state->plain, state.get(), three).v);

    // Other sample types are asked to be converted, which the chain does not do.
    TestFrameSource* floats = nullptr;
    ProcessingComponent* other = Chain(one, &floats);
    floats->offered = FormatRequest{0x10, 4, 1, 2, 0, 0};
    changed = floats->offered;
    other->chain.AcceptFormat(&changed);
    FilterInstance* skipped = AddConvolver(other);
    EXPECT_EQ(std::tuple(skipped->error, skipped->skip), std::tuple(1, 1));
}

TEST_F(ConvolverChainTest, InstancesKeepTheirOwnPresets) {
    const TestFrame frame = RandomFrame(8, 6, 1, 12);
    ProcessingComponent* a = Chain(frame);
    ProcessingComponent* b = Chain(frame);
    FilterInstance* ia = AddConvolver(a);
    FilterInstance* ib = AddConvolver(b);
    ASSERT_TRUE(ConvolverNextPreset(ConvolverStateOf(ia)));
    ChainClearDone(ia);
    // The other chain prepares again (as at its next negotiation) and keeps its preset.
    ChainRenegotiate(&b->chain);
    EXPECT_EQ(std::tuple(std::string(ConvolverStateOf(ia)->preset->name), std::string(ConvolverStateOf(ib)->preset->name)),
              std::tuple(std::string("Contrast + [soft]"), std::string("Contrast *+ [soft]")));
    auto first = PreparedState("Contrast *+ [soft]", 1), second = PreparedState("Contrast + [soft]", 1);
    EXPECT_EQ(PullAll(0, frame).v, RunKernel(second->plain, second.get(), frame).v);
    EXPECT_EQ(PullAll(1, frame).v, RunKernel(first->plain, first.get(), frame).v);
}

TEST_F(ConvolverChainTest, AFailedStateAllocationAddsNoFilter) {
    ProcessingComponent* host = Chain(RandomFrame(4, 4, 1, 13));
    ConvolverFailStateAllocationForTest(true);
    const int32_t before = host->chain.count;
    FilterInstance* i = nullptr;
    const std::string log =
        CapturedLog([&] { EXPECT_EQ(filterAdd(&host->chain, &ConvolverModuleDescriptor(), &i), kFilterCreateRefused); });
    EXPECT_NE(log.find("$filter convolver: can`t alloc memory..."), std::string::npos) << log;
    EXPECT_EQ(std::tuple(host->chain.count, i), std::tuple(before, nullptr));
}

}  // namespace
}  // namespace orva
