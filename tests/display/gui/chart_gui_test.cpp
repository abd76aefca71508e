// The chart drawn on a real GL window under the X server: three rows of a 20480-sample
// spectrum as three curves in their table colours, the grey cursor area, the zero line,
// and no cursor area with the cursor at the plot's edge. Pixels are read back from the
// back buffer before any swap, only where no antialiasing reaches.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <memory>
#include <vector>

#include "display/chart_fixture.h"
#include "toolkit/gl_test_support.h"

namespace orva {
namespace {

using namespace testing_util;
using display_test::ChartChain;
using display_test::ServicesScope;

constexpr int kHostWidth = 900;
constexpr int kHostHeight = 706;
constexpr int kSamples = 20480;

class ChartGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window_ = InitWithFrame(0, 0, kHostWidth + 40, kHostHeight + 60, kStyleMain);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(OpenShown(window_, "Chart Tools"));
        ASSERT_GE(window_->clientWidth, kHostWidth);
        ASSERT_GE(window_->clientHeight, kHostHeight);
    }
    void TearDown() override {
        if (window_ != nullptr) CloseToolkit();
    }
    // Three rows: a falling line near the top, a wave in the middle and a rising line
    // near the bottom; the range [-1.25, 2] puts the zero line inside the plot.
    std::unique_ptr<ChartChain> MakeChain() {
        std::vector<std::vector<double>> rows(3, std::vector<double>(kSamples));
        for (int i = 0; i < kSamples; ++i) {
            const double t = static_cast<double>(i) / (kSamples - 1);
            rows[0][i] = 2.0 - 0.25 * t;
            rows[1][i] = 0.5 + 0.1 * std::sin(12.0 * t);
            rows[2][i] = -1.25 + 0.25 * t;
        }
        auto chain = std::make_unique<ChartChain>(std::move(rows), kHostWidth, kHostHeight, 0x10040);
        chain->cell->host.window = window_;
        return chain;
    }
    void Draw(ChartWindow* chart) {
        ASSERT_TRUE(gWinMakeCurrent(window_));
        glViewport(0, 0, window_->clientWidth, window_->clientHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, window_->clientWidth, window_->clientHeight, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DITHER);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        chart->draw(chart);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        pixels_ = ReadBack(window_);
    }
    // A pixel of the drawing, rows from the top.
    Rgb At(int x, int y) const {
        const size_t i = (static_cast<size_t>(window_->clientHeight - 1 - y) * window_->clientWidth + x) * 3;
        return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
    }
    // Pixels of the plot with exactly this colour.
    int Count(const ChartWindow* c, Rgb want) const {
        int n = 0;
        for (int y = c->plotTop; y < c->plotBottom; ++y)
            for (int x = c->plotLeft; x < c->plotRight; ++x)
                if (At(x, y) == want) ++n;
        return n;
    }
    // The plot row of a value.
    static double RowOf(const ChartWindow* c, double v) {
        return c->plotTop + c->plotHeight + 1.5 - (v - c->yMinimum) * c->pixelsPerUnit;
    }

    gWindow* window_ = nullptr;
    ServicesScope services_;
    std::vector<uint8_t> pixels_;
};

TEST_F(ChartGlTest, ThreeRowsShowAsThreeCurvesOverTheCursorArea) {
    auto chain = MakeChain();
    ChartWindow* c = chain->window;
    ASSERT_TRUE(chain->Pull());
    ASSERT_EQ(chain->device->rows, 3u);
    ASSERT_EQ(c->plotWidth, kHostWidth);
    ASSERT_EQ(c->plotHeight, kHostHeight - 12);
    EXPECT_DOUBLE_EQ(c->yMinimum, -1.25);
    EXPECT_DOUBLE_EQ(c->ySpan, 3.25);
    c->cursorPosition = 2000.5;
    c->RecomputeCurveExtent();
    ASSERT_TRUE(c->CursorOn());
    Draw(c);
    // The rows take the first three colours of the bright table: red, green, blue.
    const int width = c->plotWidth;
    EXPECT_GT(Count(c, {255, 0, 0}), width / 2);
    EXPECT_GT(Count(c, {0, 255, 0}), width / 2);
    EXPECT_GT(Count(c, {0, 0, 255}), width / 2);
    // The top row's line near its value at the left and at the right.
    const int xLeft = c->plotLeft + 40, xRight = c->plotRight - 20;
    auto hasColourNear = [&](int x, double row, Rgb want) {
        for (int y = static_cast<int>(row) - 2; y <= static_cast<int>(row) + 2; ++y)
            if (At(x, y) == want) return true;
        return false;
    };
    EXPECT_TRUE(hasColourNear(xLeft, RowOf(c, 2.0 - 0.25 * 40.0 / width), {255, 0, 0}));
    EXPECT_TRUE(hasColourNear(xRight, RowOf(c, 1.75 + 0.25 * 20.0 / width), {255, 0, 0}));
    EXPECT_TRUE(hasColourNear(xRight, RowOf(c, -1.0 - 0.25 * 20.0 / width), {0, 0, 255}));
    // Right of the cursor the plot is grey 0.9; left of it the background shows.
    const int clear = static_cast<int>(RowOf(c, 1.25));  // between the rows
    EXPECT_TRUE(RgbNear(At(c->plotRight - 5, clear), {230, 230, 230}, 1));
    EXPECT_TRUE(RgbNear(At(c->plotLeft + static_cast<int>(c->cursorPixel) + 10, clear), {230, 230, 230}, 1));
    EXPECT_EQ(At(c->plotLeft, clear), (Rgb{0, 0, 0}));
    // The zero line's row is (0.9, 0.7, 0.7).
    const double z = c->zeroPixel;
    ASSERT_GT(z, 0.0);
    const int zeroRow = static_cast<int>(std::floor(c->plotTop + c->plotHeight + 1.0 - z));
    EXPECT_TRUE(RgbNear(At(c->plotRight - 5, zeroRow), {230, 179, 179}, 1));
    EXPECT_TRUE(RgbNear(At(c->plotLeft + width / 2, zeroRow), {230, 179, 179}, 1));
    // The rows above and below it are the cursor area's grey.
    EXPECT_TRUE(RgbNear(At(c->plotRight - 5, zeroRow - 2), {230, 230, 230}, 1));
    EXPECT_TRUE(RgbNear(At(c->plotRight - 5, zeroRow + 2), {230, 230, 230}, 1));
}

TEST_F(ChartGlTest, WithTheCursorAtTheEdgeNoCursorAreaIsDrawn) {
    auto chain = MakeChain();
    ChartWindow* c = chain->window;
    ASSERT_TRUE(chain->Pull());
    c->cursorPixel = c->plotWidth - 0.5;
    Draw(c);
    const int clear = static_cast<int>(RowOf(c, 1.25));
    EXPECT_EQ(At(c->plotRight - 5, clear), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(c->plotLeft + c->plotWidth / 2, clear), (Rgb{0, 0, 0}));
    // The curves are still there.
    EXPECT_GT(Count(c, {0, 255, 0}), c->plotWidth / 2);
}

TEST_F(ChartGlTest, ValuesFarOutsideThePlotReachTheGlBounded) {
    // A user range around 0 narrower than 1e-299: the curves' pixels lie beyond a
    // float's range, and are handed to the GL a few plot heights out instead.
    auto chain = MakeChain();
    ChartWindow* c = chain->window;
    ASSERT_TRUE(chain->Pull());
    c->cursorPosition = 2000.5;
    c->SetUserRange(-1e-300, 1e-300);
    ASSERT_EQ(c->rangeMode & kChartRangeData, 0u);
    Draw(c);
    EXPECT_EQ(Count(c, {255, 0, 0}), 0);
    EXPECT_EQ(Count(c, {0, 0, 255}), 0);
    // The zero line stands in the middle; the plot around it is the cursor area's grey.
    const int zeroRow = static_cast<int>(std::floor(c->plotTop + c->plotHeight + 1.0 - c->zeroPixel));
    EXPECT_TRUE(RgbNear(At(c->plotRight - 5, zeroRow), {230, 179, 179}, 1));
    EXPECT_TRUE(RgbNear(At(c->plotRight - 5, c->plotTop + 10), {230, 230, 230}, 1));
}

TEST_F(ChartGlTest, MarkedIntervalsAreBandsUnderTheCurve) {
    // One row from 0 to 1: the band of samples [5000, 10000) spans the curve's range and
    // a tenth more above and below, in the band colour that the grey area asks for.
    std::vector<double> row(kSamples);
    for (int i = 0; i < kSamples; ++i) row[i] = static_cast<double>(i) / (kSamples - 1);
    ChartChain chain({row}, kHostWidth, kHostHeight);
    chain.cell->host.window = window_;
    ChartWindow* c = chain.window;
    ASSERT_TRUE(chain.Pull());
    chain.device->marks = {{5000, 10000}};
    Draw(c);
    const double pps = c->pixelsPerSample;
    const int inside = static_cast<int>(c->plotLeft + 1.5 + 7500 * pps);
    const int outside = static_cast<int>(c->plotLeft + 1.5 + 15000 * pps);
    const int y = c->plotTop + 5;  // above the curve, inside the band's tenth beyond 1.0
    EXPECT_EQ(chain.device->style.bandColour, 0xFFDCDCu);
    EXPECT_EQ(At(inside, y), (Rgb{0xDC, 0xDC, 0xFF}));
    EXPECT_TRUE(RgbNear(At(outside, y), {230, 230, 230}, 1));
}

TEST_F(ChartGlTest, ACurveThatLosesItsDataLetsAMarkedLensGo) {
    // The lens of the cell's workspace is marked for refresh; when the spectrum goes, the
    // chart's re-layout lets the lens image go and marks the lens window for a repaint.
    auto chain = MakeChain();
    ASSERT_TRUE(chain->Pull());
    GraphicsLens& lens = chain->cell->lens;
    lens.window = window_;
    lens.refresh = 1;
    lens.ready = 1;
    window_->dirty = 0;
    chain->source->rows.clear();
    chain->device->OnEvent(kDeviceEventInvalidate, 0);
    EXPECT_FALSE(chain->device->HoldsSamples());
    EXPECT_EQ(lens.refresh, 0);
    EXPECT_EQ(lens.ready, 0);
    EXPECT_EQ(window_->dirty, kWindowDirtyRepaint);
    // Unmarked, it is left alone.
    lens.ready = 1;
    chain->source->rows.assign(1, std::vector<double>(kSamples, 1.0));
    chain->device->OnEvent(kDeviceEventInvalidate, 0);
    chain->source->rows.clear();
    chain->device->OnEvent(kDeviceEventInvalidate, 0);
    EXPECT_EQ(lens.ready, 1);
    lens.window = nullptr;
}

}  // namespace
}  // namespace orva
