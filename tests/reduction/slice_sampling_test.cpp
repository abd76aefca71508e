// The path samplers against the floor rule as slice_reference.py computes it
// with numpy: a 12 x 9 frame of three channels whose value at (column, row)
// of channel c is 1000 c + 20 row + column, and a path that starts and ends
// outside the frame and leaves it in the middle.
#include "reduction/kernels/slice_sampling.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <vector>

#include "statistic_fixture.h"

namespace orva {
namespace {

using namespace reduction_testing;

constexpr double kNoSample = kMissingSample;
constexpr int64_t kW = 12, kH = 9;
constexpr uint32_t kC = 3;

// The reference output of slice_reference.py (channel 0; channel c adds 1000 c).
const std::vector<double> kLine0 = {20, 42, 44, kNoSample, 68, 90, 111};
const std::vector<double> kStrip0 = {kNoSample, kNoSample, 20, 41, 61,  1,   21, 42, 63,  63, 23, 23,
                                     44, 65, 85, kNoSample, kNoSample,  kNoSample,  kNoSample, kNoSample, 27,  47, 68, 89,
                                     89, 69, 69, 90, 111, 131, 70, 90, 111, kNoSample, kNoSample};

std::vector<double> Channel(const std::vector<double>& v, uint32_t c) {
    std::vector<double> out(v);
    for (double& x : out)
        if (x != kNoSample) x += 1000.0 * c;
    return out;
}

class SamplingTest : public ReductionTest {
protected:
    SamplingTest() : chain(&ui, kW, kH, kC), slice(kKindPolyLine, kRoleSlice) {
        interleaved.resize(kW * kH * kC);
        planar.resize(kW * kH * kC);
        for (int64_t y = 0; y < kH; ++y)
            for (int64_t x = 0; x < kW; ++x)
                for (uint32_t c = 0; c < kC; ++c) {
                    const double v = 1000.0 * c + 20.0 * y + x;
                    interleaved[(y * kW + x) * kC + c] = v;
                    planar[c * kW * kH + y * kW + x] = v;
                }
        const float anchor[2] = {2.5f, 1.25f};
        EXPECT_TRUE(slice.shape->header.anchors.SetPoints(anchor, 1));
        const float path[20] = {-4, 0, -2, 0.5f, 0, 1, 2,  1.5f, 4,  -2,
                                6,  2, 8,  3.5f, 9, 4, 10, 4,    11, 5};
        EXPECT_TRUE(slice.shape->derived.samples.SetPoints(path, 10));
        EditTransformState& o = slice.shape->header.offset;
        o.aperture[0] = 4;
        o.SetSides(3, 2);
        o.direction = kOffsetCnrm;
        o.vector[0] = 0.6f;
        o.vector[1] = 0.8f;
    }
    FrameDesc Desc(bool isPlanar) {
        FrameDesc d;
        d.values = isPlanar ? planar.data() : interleaved.data();
        d.width = kW;
        d.height = kH;
        d.channels = kC;
        d.samplesPerPixel = isPlanar ? 1 : kC;
        d.planar = isPlanar ? 1 : 0;
        return d;
    }
    ReductionComponent& R() { return *chain.reduction; }
    std::vector<double> Line(bool isPlanar) {
        PullResult item;
        const FrameDesc d = Desc(isPlanar);
        if (!R().samplers.line(&R(), &d, slice.shape, &item, &R().slice.path)) return {};
        const auto* v = static_cast<const double*>(item.image.data);
        return std::vector<double>(v, v + uint64_t{item.image.width} * item.image.elementsPerItem);
    }
    // The strip matrices of every channel taken, one after the other.
    std::vector<double> Strip(bool isPlanar, int32_t* code) {
        const FrameDesc d = Desc(isPlanar);
        *code = R().samplers.strip(&R(), &d, slice.shape, &R().slice.path);
        if (*code < 3) return {};
        const SliceWork& s = R().slice;
        return std::vector<double>(s.Strip(0), s.Strip(0) + s.cells * s.channels);
    }
    void Select(uint8_t all, uint32_t channel) {
        R().Options().values.allChannels = all;
        R().Options().values.nChannel = channel;
        R().SelectKernels();
    }

    StatisticChain chain;
    Measured slice;
    std::vector<double> interleaved, planar;
};

TEST_F(SamplingTest, LineOfEveryChannelLayoutFollowsTheFloorRule) {
    for (const bool isPlanar : {false, true}) {
        SCOPED_TRACE(isPlanar ? "planar" : "interleaved");
        // All channels: channel c of point i at c L + i.
        Select(1, 1);
        std::vector<double> all;
        for (uint32_t c = 0; c < kC; ++c) {
            const std::vector<double> row = Channel(kLine0, c);
            all.insert(all.end(), row.begin(), row.end());
        }
        EXPECT_EQ(Line(isPlanar), all);
        // The path positions kept, shifted into the frame.
        const auto* xy = static_cast<const float*>(R().slice.path.data);
        EXPECT_EQ(std::vector<float>(xy, xy + 4), (std::vector<float>{0.5f, 1.75f, 2.5f, 2.25f}));
        // The point outside in the middle is a run of every channel.
        ASSERT_EQ(R().slice.runs.RecordCount(), kC);
        for (uint32_t c = 0; c < kC; ++c) {
            const MissingRunRecord& r = R().slice.runs.Record(c);
            ASSERT_EQ(r.count, 1u);
            EXPECT_EQ(std::pair(r.runs[0].start, r.runs[0].end), std::pair(3u, 4u));
        }
        // One channel, the selected one: min(NChannel, C) - 1.
        for (const uint32_t channel : {1u, 2u, 3u, 7u}) {
            Select(0, channel);
            EXPECT_EQ(Line(isPlanar), Channel(kLine0, std::min(channel, kC) - 1)) << channel;
        }
    }
}

TEST_F(SamplingTest, StripOfEveryChannelLayoutFollowsTheFloorRule) {
    for (const bool isPlanar : {false, true}) {
        SCOPED_TRACE(isPlanar ? "planar" : "interleaved");
        Select(1, 1);
        std::vector<double> all;
        for (uint32_t c = 0; c < kC; ++c) {
            const std::vector<double> m = Channel(kStrip0, c);
            all.insert(all.end(), m.begin(), m.end());
        }
        int32_t code = 0;
        EXPECT_EQ(Strip(isPlanar, &code), all);
        EXPECT_EQ(code, 3);
        const SliceWork& s = R().slice;
        EXPECT_EQ(std::tuple(s.width, s.points, s.cells, s.channels, s.nMinus),
                  std::tuple(5u, 7u, 35ull, 3u, 2u));
        Select(0, 2);
        EXPECT_EQ(Strip(isPlanar, &code), Channel(kStrip0, 1));
    }
}

TEST_F(SamplingTest, AStripOfOneColumnIsTheLine) {
    Select(0, 1);
    EditTransformState& o = slice.shape->header.offset;
    o.aperture[0] = 0;
    o.SetSides(1, 0);
    int32_t code = 0;
    EXPECT_EQ(Strip(false, &code), kLine0);
    EXPECT_EQ(Line(false), kLine0);
}

TEST_F(SamplingTest, APathWhollyOutsideStoresNothing) {
    Select(0, 1);
    const float path[4] = {-10, -10, 30, -10};
    ASSERT_TRUE(slice.shape->derived.samples.SetPoints(path, 2));
    R().slice.width = 99;
    int32_t code = 0;
    EXPECT_TRUE(Line(false).empty());
    EXPECT_TRUE(Strip(false, &code).empty());
    EXPECT_EQ(code, 1);
    EXPECT_EQ(R().slice.width, 99u);
}

TEST_F(SamplingTest, NotANumberAndTheMissingMarkInTheFrameAreMissingSamples) {
    Select(0, 1);
    interleaved[(1 * kW + 0) * kC] = std::nan("");  // the first kept point's pixel (0, 1)
    interleaved[(5 * kW + 11) * kC] = kNoSample;           // the last kept point's pixel (11, 5)
    std::vector<double> want = kLine0;
    want[0] = kNoSample;
    want[6] = kNoSample;
    EXPECT_EQ(Line(false), want);
    const MissingRunRecord& r = R().slice.runs.Record(0);
    ASSERT_EQ(r.count, 3u);
    EXPECT_EQ(std::tuple(r.runs[0].start, r.runs[0].end, r.runs[2].start, r.runs[2].end),
              std::tuple(0u, 1u, 6u, 7u));
}

TEST_F(SamplingTest, ALineWhoseEveryKeptValueIsMissingGivesNothing) {
    Select(0, 1);
    for (double& v : interleaved) v = std::nan("");
    EXPECT_TRUE(Line(false).empty());
    EXPECT_EQ(R().slice.runs.RecordCount(), 0u);
}

}  // namespace
}  // namespace orva

namespace orva {
namespace {

using namespace reduction_testing;

class WideStripTest : public ReductionTest {};

// A strip wider than the sampler's batch of pixels: down the columns of a tall frame.
TEST_F(WideStripTest, EveryCellOfAWideStripIsItsPixel) {
    StatisticChain chain(&ui, 3, 5000);
    Measured slice(kKindPolyLine, kRoleSlice);
    const float anchor[2] = {0.5f, 2500.5f};
    ASSERT_TRUE(slice.shape->header.anchors.SetPoints(anchor, 1));
    const float path[6] = {0, 0, 1, 0, 2, 0};
    ASSERT_TRUE(slice.shape->derived.samples.SetPoints(path, 3));
    EditTransformState& o = slice.shape->header.offset;
    o.aperture[0] = 4099;
    o.SetSides(2100, 2000);
    o.direction = kOffsetCnrm;
    o.vector[1] = 1.0f;
    std::vector<double> frame(3 * 5000);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<double>((i / 3) * 10 + i % 3);
    FrameDesc d;
    d.values = frame.data();
    d.width = 3;
    d.height = 5000;
    d.channels = d.samplesPerPixel = 1;
    ReductionComponent& r = *chain.reduction;
    r.SelectKernels();
    ASSERT_EQ(r.samplers.strip(&r, &d, slice.shape, &r.slice.path), 3);
    ASSERT_EQ(r.slice.cells, 3u * 4100u);
    uint32_t wrong = 0;
    for (uint32_t i = 0; i < 3; ++i)
        for (int64_t j = 0; j < 4100; ++j)
            wrong +=
                r.slice.Strip(0)[i * 4100 + j] != static_cast<double>((2500 + j - 2000) * 10 + i)
                    ? 1
                    : 0;
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
}  // namespace orva
