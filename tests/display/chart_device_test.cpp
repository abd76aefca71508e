// The 1-D output device: the formats it takes, the pull of a whole spectrum, the range it
// keeps and the normalised samples it hands the chart, and the choice of the current row.
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <tuple>
#include <vector>

#include "display/chart_fixture.h"

namespace orva {
namespace {

using display_test::ChartChain;
using display_test::ServicesScope;

class ChartDeviceTest : public ::testing::Test {
protected:
    ServicesScope services_;
};

TEST_F(ChartDeviceTest, OnlyRealRowsAreAccepted) {
    struct Case {
        uint32_t format, channels;
        bool accepted;
    } cases[] = {
        {0x40, 1, true},        {0x140, 1, true},       {0x10040, 2, true},    {0x10040, 3, true},
        {0x40, 2, false},       {0x40, 0, false},       {0x10, 1, false},      {0x41, 1, false},
        {0x60, 1, false},       {0xC0, 1, false},       {0x200040, 1, false},  {0x40040, 1, false},
        {0x800040, 1, true},    {0x400040, 1, true},    {0x2000040, 1, true},
    };
    ChartChain chain({{1.0, 2.0}});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.format << " x" << c.channels);
        FormatRequest r{c.format, 8, c.channels, 1, 0, 0};
        EXPECT_EQ(chain.device->AcceptFormat(&r), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(chain.device->style.data.count, c.channels);
            EXPECT_NE(chain.device->input.format & 0x800000u, 0u);
        }
    }
}

TEST_F(ChartDeviceTest, ALongSpectrumIsPulledAsItsFirst20480Samples) {
    std::vector<double> row(30000);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<double>(i);
    ChartChain chain({row});
    ASSERT_TRUE(chain.bound);
    ASSERT_TRUE(chain.activated);
    ASSERT_TRUE(chain.Pull());
    EXPECT_EQ(chain.source->asked.width, 20480);
    EXPECT_EQ(chain.source->asked.x, 0);
    EXPECT_EQ(chain.source->asked.height, 1);
    EXPECT_EQ(chain.device->sampleCount, 20480u);
    EXPECT_EQ(chain.device->found.maximum, 20479.0);
    EXPECT_EQ(chain.window->samples, 20480);
    // The same frame again: nothing new is pulled.
    EXPECT_EQ(chain.device->Refresh(), 2);
    EXPECT_EQ(chain.source->pulls, 1);
}

struct Normalised {
    std::vector<double> samples;
    double foundMin, foundMax, normMin;
    std::vector<double> stored;
    double scale;
};

TEST_F(ChartDeviceTest, SamplesAreStoredNormalisedToTheirRange) {
    const double v = 7.25;
    const Normalised cases[] = {
        {{2.0, 4.0, 6.0}, 2.0, 6.0, 2.0, {0.0, 0.5, 1.0}, 0.25},
        {{5.0, 6.0}, 5.0, 6.0, 5.0, {0.0, 1.0}, 1.0},
        {{v, v, v}, v, v, v - 1.0, {1.0, 1.0, 1.0}, 1.0},
        {{v}, v, v, v - 1.0, {1.0}, 1.0},
        {{0.0, 1e-310, 1.0}, 0.0, 1.0, 0.0, {0.0, 0.0, 1.0}, 1.0},                // a denormal becomes 0
        {{-1e308, 1e308}, -1e308, 1e308, -1e308, {0.0, 1.0}, 0.5e-308},          // not flat
        {{1.0, -DBL_MAX, 3.0}, 1.0, 3.0, 1.0, {0.0, -DBL_MAX, 1.0}, 0.5},        // no data takes no part
    };
    for (const Normalised& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.samples));
        ChartChain chain({c.samples});
        std::feclearexcept(FE_ALL_EXCEPT);
        ASSERT_TRUE(chain.Pull());
        EXPECT_EQ(chain.device->found.minimum, c.foundMin);
        EXPECT_EQ(chain.device->found.maximum, c.foundMax);
        EXPECT_EQ(chain.device->normalisingRange.minimum, c.normMin);
        EXPECT_DOUBLE_EQ(chain.device->normalising.scale, c.scale);
        ASSERT_NE(chain.Stored(), nullptr);
        for (size_t i = 0; i < c.stored.size(); ++i) EXPECT_DOUBLE_EQ(chain.Stored()[i], c.stored[i]) << i;
        EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT), 0);
    }
}

TEST_F(ChartDeviceTest, ANaNOrAnInfinityGivesTheRangeZeroAndOverflowsAreBounded) {
    for (double bad : {std::nan(""), static_cast<double>(INFINITY), -static_cast<double>(INFINITY)}) {
        ChartChain chain({{1.0, bad, 3.0}});
        std::feclearexcept(FE_ALL_EXCEPT);
        ASSERT_TRUE(chain.Pull());
        EXPECT_EQ(chain.device->found.minimum, 0.0);
        EXPECT_EQ(chain.device->found.maximum, 0.0);
        // [0, 0] normalises with [-1, 0]: v + 1; the bad value is bounded.
        EXPECT_EQ(chain.Stored()[0], 2.0);
        EXPECT_TRUE(std::isfinite(chain.Stored()[1]));
        EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT), 0);
    }
    // A value beyond a narrow range overflows to the largest value of its sign.
    ChartNormalising n = ChartNormalisingFor(ChartRange{0.0, 1e-300});
    double out[3] = {};
    const double in[3] = {1e300, -1e300, 5e-301};
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_TRUE(ChartNormaliseSamples(in, 3, n, out));
    EXPECT_EQ(out[0], DBL_MAX);
    EXPECT_EQ(out[1], -DBL_MAX);
    EXPECT_DOUBLE_EQ(out[2], 0.5);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT), 0);
    // A span within DBL_EPSILON of 1 is taken as 1.
    n = ChartNormalisingFor(ChartRange{0.1, 1.1});
    EXPECT_EQ(n.scale, 1.0);
    EXPECT_EQ(n.span, 1.0);
}

TEST_F(ChartDeviceTest, RowsAreSelectedWithinTheChannels) {
    ChartChain chain({{1, 2}, {3, 4}, {5, 6}}, 180, 100, 0x10040);
    ASSERT_TRUE(chain.bound);
    ASSERT_TRUE(chain.Pull());
    EXPECT_EQ(chain.device->rows, 3u);
    EXPECT_EQ(chain.device->found.minimum, 1.0);
    EXPECT_EQ(chain.device->found.maximum, 6.0);
    EXPECT_TRUE(chain.device->SelectIndex(5));
    EXPECT_EQ(chain.device->currentRow, 2u);
    EXPECT_EQ(chain.device->style.currentRow, 2u);
    EXPECT_FALSE(chain.device->SelectIndex(3));
    EXPECT_TRUE(chain.device->SelectIndex(0));
    EXPECT_EQ(chain.device->currentRow, 0u);
    EXPECT_FALSE(chain.device->SelectIndex(1));
    // The current row's statistics come from the pulled samples.
    chain.device->SelectIndex(2);
    RowStats stats;
    chain.device->RowStatisticsCurrent(&stats);
    EXPECT_EQ(stats.row, 1u);
    EXPECT_DOUBLE_EQ(stats.mean, 3.5);
    // A device that is not the cell's current one leaves its row alone.
    chain.cell->currentDevice = nullptr;
    EXPECT_FALSE(chain.device->SelectIndex(3));
    chain.cell->currentDevice = chain.device;
}

// A histogram of three channels as the Reduction hands it on: one frame row whose items
// hold the three channels, the bins of channel c after those of channel c - 1. Each row
// of the chart is its own channel's bins, and the readout gives each channel's count.
TEST_F(ChartDeviceTest, EachRowOfAThreeChannelHistogramIsItsOwnChannelsBins) {
    // Red 0, 1, 1, 1, 2; green 2, 2, 2, 0, 0; blue 1 five times; bins of width 1 at 0, 1, 2.
    const std::vector<std::vector<double>> bins = {{1, 3, 1}, {2, 0, 3}, {0, 5, 0}};
    ChartChain chain(bins, 180, 100, 0x10040);
    chain.source->oneItem = true;
    ASSERT_TRUE(chain.bound);
    ASSERT_TRUE(chain.Pull());
    ASSERT_EQ(std::tuple(chain.device->rows, chain.device->sampleCount), std::tuple(3u, 3u));
    EXPECT_EQ(std::tuple(chain.device->found.minimum, chain.device->found.maximum), std::tuple(0.0, 5.0));
    for (uint32_t c = 0; c < 3; ++c)
        for (int64_t i = 0; i < 3; ++i) {
            double v = -1;
            EXPECT_TRUE(chain.device->RowSample(c, i, &v));
            EXPECT_EQ(v, bins[c][static_cast<size_t>(i)]) << "channel " << c << ", bin " << i;
            EXPECT_DOUBLE_EQ(chain.Stored()[c * 3 + static_cast<uint32_t>(i)], bins[c][static_cast<size_t>(i)] / 5.0);
        }
    // The cursor over bin 2: red 1, green 3, blue 0.
    chain.window->cursorPosition = 2.5;
    chain.window->cursorIndex = 2;
    chain.window->UpdateReadout();
    EXPECT_EQ(std::vector<double>(chain.window->readout.values, chain.window->readout.values + 3),
              (std::vector<double>{1, 3, 0}));
    EXPECT_EQ(chain.window->readout.channelTotal, 3u);
}

TEST_F(ChartDeviceTest, APullWithoutDataClearsTheCurve) {
    ChartChain chain({{1.0, 2.0, 3.0}});
    ASSERT_TRUE(chain.Pull());
    EXPECT_TRUE(chain.device->HoldsSamples());
    chain.source->rows.clear();
    chain.device->OnEvent(kDeviceEventInvalidate, 0);
    EXPECT_FALSE(chain.device->HoldsSamples());
    EXPECT_EQ(chain.window->samples, 0);
    EXPECT_EQ(chain.window->empty, 1);
}

TEST_F(ChartDeviceTest, IdentityStyleAndHiddenCurves) {
    ChartChain chain({{1.0, 2.0}});
    void* out = nullptr;
    EXPECT_TRUE(chain.device->QueryInterface(&kDevice1DId, &out));
    EXPECT_TRUE(chain.device->QueryInterface(&kDeviceDrawId, &out));
    EXPECT_TRUE(chain.device->QueryInterface(&kBaseId, &out));
    EXPECT_FALSE(chain.device->QueryInterface(&kDevice2DId, &out));
    chain.device->Release();
    chain.device->Release();
    chain.device->Release();
    EXPECT_EQ(chain.device->GetClassId(), &kDevice1DId);
    // The defaults the view reset restores.
    EXPECT_EQ(chain.device->lineWidth, 1.0f);
    EXPECT_EQ(chain.device->pointSize, 3.0f);
    EXPECT_EQ(chain.device->style.flags, kCurveDefaultFlags);
    ASSERT_NE(chain.device->params, nullptr);
    // A curve with neither contrast nor points is hidden.
    EXPECT_FALSE(chain.device->UpdateHidden());
    chain.device->style.flags &= ~kCurveContrast;
    EXPECT_TRUE(chain.device->UpdateHidden());
    EXPECT_EQ(chain.device->stop[kDeviceHiddenByte], 1);
    chain.device->style.flags |= kCurvePoints;
    EXPECT_TRUE(chain.device->UpdateHidden());
    chain.device->ToggleNearest();
    EXPECT_NE(chain.device->style.flags & kCurveNearest, kCurveNearest);
    chain.device->SetNearest(true);
    EXPECT_EQ(chain.device->style.draw, &CurveDrawSteps);
}

}  // namespace
}  // namespace orva
