// The chart window's model: its defaults and plot geometry, the x fit and the integral
// zoom ratio, the user y range, the y zoom about the cursor, the cursor readout, the x
// axis taken from a statistics result's frames, and the scale routines.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "display/chart_fixture.h"

namespace orva {
namespace {

using display_test::ChartChain;
using display_test::Ramp;
using display_test::ServicesScope;

class ChartWindowTest : public ::testing::Test {
protected:
    ServicesScope services_;
    ChartHostServices chartServices_ = TheChartHostServices();
    ~ChartWindowTest() override { TheChartHostServices() = chartServices_; }
};

TEST_F(ChartWindowTest, ANewChartHasItsDefaults) {
    ChartWindow chart(nullptr);
    EXPECT_EQ(chart.xMode, kChartXIndex);
    EXPECT_EQ(chart.xStep, 1.0);
    EXPECT_EQ(chart.xStepKnown, 0);
    EXPECT_EQ(chart.rangeMode, 0x30u);
    EXPECT_EQ(chart.userMinimum, 0.0);
    EXPECT_EQ(chart.userMaximum, 1.0);
    EXPECT_EQ(chart.windowWidth, 180);
    EXPECT_EQ(chart.windowHeight, 100);
    EXPECT_EQ(chart.plotWidth, 180);
    EXPECT_EQ(chart.plotHeight, 88);
    EXPECT_EQ(chart.plotTop, 6);
    EXPECT_EQ(chart.plotBottom, 94);
    EXPECT_EQ(chart.zoomMode, 0);
    EXPECT_EQ(chart.signedFactor, 1);
    EXPECT_EQ(chart.readX, kChartNoReadout);
    EXPECT_EQ(chart.GetClassId(), &kChartWindowId);
    // Family and base ids answer with a reference; others leave the count alone.
    void* out = nullptr;
    EXPECT_TRUE(chart.QueryInterface(&kWindowDrawId, &out));
    EXPECT_EQ(chart.refCount.load(), 2);
    EXPECT_FALSE(chart.QueryInterface(&kImageWindowId, &out));
    EXPECT_EQ(chart.refCount.load(), 2);
    chart.refCount.store(1);
    // The shared colour list.
    GraphicsColourList* colours = chart.GetDefaults();
    ASSERT_GE(colours->entries.size(), 8u);
    EXPECT_STREQ(colours->entries[5].name, "Forest Green");
    EXPECT_EQ(colours->entries[5].colour, 0x04114511u);
    EXPECT_FALSE(chart.ResetView(true));
}

TEST_F(ChartWindowTest, APlotSmallerThanFortyPixelsKeepsTheOldOne) {
    ChartWindow chart(nullptr);
    chart.LayoutPlot(300, 200);
    EXPECT_EQ(chart.plotWidth, 300);
    EXPECT_EQ(chart.plotHeight, 188);
    chart.LayoutPlot(39, 500);
    EXPECT_EQ(chart.plotWidth, 300);
    chart.LayoutPlot(500, 51);  // 51 - 12 = 39
    EXPECT_EQ(chart.plotHeight, 188);
    EXPECT_EQ(chart.windowHeight, 51);
    chart.LayoutPlot(40, 52);
    EXPECT_EQ(chart.plotWidth, 40);
    EXPECT_EQ(chart.plotHeight, 40);
}

TEST_F(ChartWindowTest, TheFitShowsEverySampleAndTheRatioIsCut) {
    ChartChain chain({Ramp(7)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    EXPECT_EQ(c.samples, 7);
    EXPECT_DOUBLE_EQ(c.pixelsPerSample, 180.0 / 7.0);
    EXPECT_EQ(c.visible, 7);  // 7/180 x 180, rounded up
    EXPECT_EQ(c.usedWidth, 180.0f);
    EXPECT_EQ(chain.device->style.visibleCount, 7u);
    struct Ratio {
        int32_t asked;
        uint32_t factor;
        bool reduce;
        int32_t visible;
    } ratios[] = {
        {1, 1, false, 180},
        {0, 1, false, 180},
        {-1, 1, false, 180},
        {4, 4, false, 45},
        {500, 180, false, 1},                       // magnifying beyond the plot width
        {-2, 2, true, 360},
        {-11930464, 11930464, true, 2147483520},    // just below the limit
        {-11930465, 11930465, true, 0x7FFFFFFF},    // 2147483700: the limit
        {-30000000, 0xFFFFFFFFu / 180, true, 0x7FFFFFFF},  // n x width beyond 32 bits
    };
    for (const Ratio& r : ratios) {
        SCOPED_TRACE(r.asked);
        c.SetZoomRatio(r.asked);
        EXPECT_EQ(c.zoomFactor, r.factor);
        EXPECT_EQ(c.zoomFlags != 0, r.reduce);
        EXPECT_EQ(c.ratioVisible, r.visible);
    }
    // A ratio that shows fewer samples than there are scrolls about the cursor.
    ChartChain longer({Ramp(1000)});
    ASSERT_TRUE(longer.Pull());
    ChartWindow& w = *longer.window;
    w.cursorIndex = 500;
    w.cursorPosition = 500.5;
    w.SetZoomRatio(2);  // 2 pixels a sample: 90 visible
    EXPECT_TRUE(w.ApplyZoomRatio());
    EXPECT_EQ(w.zoomMode, 1);
    EXPECT_EQ(w.visible, 90);
    EXPECT_EQ(w.scroll, 500 - (90 / 2 - 1));
    EXPECT_EQ(w.pixelsPerSample, 2.0);
    EXPECT_EQ(longer.device->style.visibleCount, 90u);
    EXPECT_DOUBLE_EQ(w.cursorPixel, (500.5 - w.scroll) * 2.0 + 1.0);
    // A ratio showing all samples is the fit.
    w.SetZoomRatio(-8);
    w.ApplyZoomRatio();
    EXPECT_EQ(w.scroll, 0);
    EXPECT_DOUBLE_EQ(w.pixelsPerSample, 180.0 / 1000.0);
}

TEST_F(ChartWindowTest, TheUserRangeKeepsItsMaximumAboveItsMinimum) {
    ChartChain chain({Ramp(10, -5.0)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    EXPECT_EQ(c.yMinimum, -5.0);
    EXPECT_EQ(c.ySpan, 9.0);
    EXPECT_TRUE(c.SetUserRange(3.0, 3.0));
    EXPECT_EQ(c.rangeMode & kChartRangeData, 0u);
    EXPECT_EQ(c.userMinimum, 3.0);
    EXPECT_EQ(c.userMaximum, 4.0);
    EXPECT_EQ(c.userSet, 1);
    EXPECT_EQ(c.yMinimum, 3.0);
    EXPECT_EQ(c.ySpan, 1.0);
    EXPECT_FALSE(c.SetUserMinimum(9.0));  // not below the maximum: maximum - 1
    EXPECT_EQ(c.userMinimum, 3.0);
    c.SetUserMaximum(-2.0);  // not above the minimum: minimum + 1
    EXPECT_EQ(c.userMaximum, 4.0);
    // A span within DBL_EPSILON of 1 is stored as exactly 1.
    const double justBelowOne = 1.0 - DBL_EPSILON / 2;
    c.SetUserRange(0.0, justBelowOne);
    EXPECT_NE(justBelowOne, 1.0);
    EXPECT_EQ(c.ySpan, 1.0);
    EXPECT_EQ(c.pixelsPerUnit, 88.0);
    // Back to the data's range.
    c.rangeMode |= kChartRangeData;
    c.RecomputeRange();
    EXPECT_EQ(c.yMinimum, -5.0);
    // The zero line: 5 units of 9 above the bottom.
    EXPECT_FLOAT_EQ(c.zeroPixel, static_cast<float>(5.0 * 88.0 / 9.0));
}

TEST_F(ChartWindowTest, TheInputRangeIsTheSourcesOwn) {
    // Samples 0 to 10 in a source whose values run from -10 to 30.
    static int asked = 0;
    asked = 0;
    TheChartHostServices().inputRange = [](ComponentBase*, double* minimum, double* maximum) {
        ++asked;
        *minimum = -10.0;
        *maximum = 30.0;
        return true;
    };
    ChartChain chain({Ramp(11)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    EXPECT_EQ(asked, 0);  // the chart range is the default
    EXPECT_EQ(c.yMinimum, 0.0);
    EXPECT_EQ(c.ySpan, 10.0);
    c.rangeMode = kChartRangeData | kChartRangeInput;
    c.RecomputeRange();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(c.yMinimum, -10.0);
    EXPECT_EQ(c.ySpan, 40.0);
    // The curve keeps its values' rows: 0 a quarter up the plot, 10 half way.
    const double ppu = c.pixelsPerUnit;
    EXPECT_DOUBLE_EQ(ppu, 88.0 / 40.0);
    EXPECT_DOUBLE_EQ(chain.device->yShift, 10.0 * ppu);
    EXPECT_DOUBLE_EQ(chain.device->yScale, 10.0 * ppu);
    // A device that is not to ask its source, or a source that knows no range: the
    // range of the curves.
    chain.device->options |= 0x100;
    c.RecomputeRange();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(c.yMinimum, 0.0);
    EXPECT_EQ(c.ySpan, 10.0);
    chain.device->options &= ~0x100u;
    TheChartHostServices().inputRange = [](ComponentBase*, double*, double*) { return false; };
    c.RecomputeRange();
    EXPECT_EQ(c.yMinimum, 0.0);
    EXPECT_EQ(c.ySpan, 10.0);
}

TEST_F(ChartWindowTest, TheYZoomKeepsTheCursorValueOnItsRow) {
    ChartChain chain({Ramp(100, 0.0, 0.5)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    c.cursorPosition = 30.5;
    c.cursorIndex = 30;
    ASSERT_TRUE(c.UpdateReadout());
    EXPECT_DOUBLE_EQ(c.readY, 15.0);
    EXPECT_DOUBLE_EQ(c.readX, 31.0);  // sample 30 from 0 is the 31st
    const double before = (c.readY - c.yMinimum) * c.pixelsPerUnit;
    ASSERT_TRUE(c.ZoomYAboutCursor(4.0));
    EXPECT_EQ(c.rangeMode & kChartRangeData, 0u);
    EXPECT_DOUBLE_EQ(c.ySpan, 8.0);
    EXPECT_NEAR((c.readY - c.yMinimum) * c.pixelsPerUnit, before, 1e-9);
    // Refused: a vanishing span, or a range beyond DBL_MAX.
    const double minimum = c.yMinimum, span = c.ySpan;
    EXPECT_FALSE(c.ZoomYAboutCursor(1e-308));
    EXPECT_FALSE(c.ZoomYAboutCursor(1e308));
    EXPECT_FALSE(c.ZoomYAboutCursor(std::nan("")));
    EXPECT_EQ(c.yMinimum, minimum);
    EXPECT_EQ(c.ySpan, span);
}

TEST_F(ChartWindowTest, OutsideTheDataTheReadoutIsNoValueOnce) {
    ChartChain chain({Ramp(20)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    c.cursorPosition = 4.5;
    EXPECT_TRUE(c.UpdateReadout());
    EXPECT_DOUBLE_EQ(c.readY, 4.0);
    EXPECT_FALSE(c.UpdateReadout());  // unchanged
    c.cursorPosition = 25.0;
    EXPECT_TRUE(c.UpdateReadout());
    EXPECT_EQ(c.readX, kChartNoReadout);
    EXPECT_EQ(c.readY, kChartNoReadout);
    EXPECT_EQ(c.readout.values[0], kChartNoReadout);
    EXPECT_FALSE(c.UpdateReadout());
    c.cursorPosition = 2.5;
    EXPECT_TRUE(c.UpdateReadout());
    EXPECT_DOUBLE_EQ(c.readY, 2.0);
}

// ---- The linked 2-D view ----------------------------------------------------------------------

struct Linked {
    int asked = 0, shown = 0, redrawn = 0;
    double position = -1.0, x = 0.0, y = 0.0;
    bool has = true;
} gLinked;

TEST_F(ChartWindowTest, WithTheCursorMarkTheReadoutGivesTheLinkedViewsPoint) {
    gLinked = Linked{};
    ChartHostServices& s = TheChartHostServices();
    // The linked view's point list: sample position p lies at (10 + p, 2p).
    s.linkedPoint = [](DisplayCellBase*, double p, double* x, double* y) {
        ++gLinked.asked;
        gLinked.position = p;
        if (!gLinked.has) return false;
        *x = 10.0 + p;
        *y = 2.0 * p;
        return true;
    };
    s.showLinkedPoint = [](DisplayCellBase*, double x, double y) {
        ++gLinked.shown;
        gLinked.x = x;
        gLinked.y = y;
    };
    s.redrawReadout = [](DisplayCellBase*) { ++gLinked.redrawn; };
    ChartChain chain({Ramp(20, 0.0, 3.0)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    // Without the mark and outside a linked group the linked view is not asked.
    c.cursorPosition = 4.5;
    ASSERT_TRUE(c.UpdateReadout());
    EXPECT_EQ(gLinked.asked, 0);
    EXPECT_DOUBLE_EQ(c.readout.dataX, 5.0);  // counted from 1
    EXPECT_DOUBLE_EQ(c.readout.dataY, 12.0);
    struct Case {
        uint8_t mark, linked;
        bool has;
        double position, x, y;
    } cases[] = {
        {1, 0, true, 5.5, 15.5, 11.0},
        {0, 1, true, 6.5, 16.5, 13.0},
        {1, 1, false, 7.5, 8.0, 21.0},  // no point there: the chart's own coordinates
    };
    for (const Case& k : cases) {
        const double position = k.position;
        SCOPED_TRACE(position);
        gLinked.has = k.has;
        const int shownBefore = gLinked.shown;
        c.cursorMarkShown = k.mark;
        c.linked = k.linked;
        c.cursorPosition = position;
        ASSERT_TRUE(c.UpdateReadout());
        EXPECT_EQ(gLinked.position, position);
        EXPECT_DOUBLE_EQ(c.readout.dataX, k.x);
        EXPECT_DOUBLE_EQ(c.readout.dataY, k.y);
        EXPECT_DOUBLE_EQ(c.readout.values[0], 3.0 * std::floor(position));
        EXPECT_EQ(gLinked.shown, shownBefore + (k.has ? 1 : 0));
        if (k.has) {
            EXPECT_EQ(gLinked.x, k.x);
            EXPECT_EQ(gLinked.y, k.y);
        }
    }
    // A redraw after the cursor moved redraws the readout fields; an unchanged one not.
    c.cursorMarkShown = c.linked = 0;
    c.cursorPosition = 9.5;
    c.RedrawNow();
    EXPECT_EQ(gLinked.redrawn, 1);
    c.RedrawNow();
    EXPECT_EQ(gLinked.redrawn, 1);
}

// ---- The x axis from a statistics result's frames --------------------------------------------

ChartFrame gFrame;
uint32_t gFrames = 0;
int gRedrawAsks = 0;

TEST_F(ChartWindowTest, FramesChooseTheXAxis) {
    ChartHostServices& s = TheChartHostServices();
    s.frameCount = [](const void*) { return gFrames; };
    s.frame = [](const void*, uint32_t, ChartFrame* out) {
        *out = gFrame;
        return true;
    };
    // Every new frame asks the host whether to redraw at once (its image strip follows).
    s.redrawOnFrame = [](DisplayCellBase*) { return ++gRedrawAsks, false; };
    gRedrawAsks = 0;
    int token = 0;
    ChartChain chain({Ramp(40)});
    chain.source->statistic = &token;
    struct Case {
        double start, step;
        int32_t mode;
        uint8_t known;
    } cases[] = {
        {0.0, 1.0, kChartXIndex, 0},
        {0.5, 1.0, kChartXValue, 0},
        {-100.0, 0.0, kChartXValue, 0},   // a start below 0 is shown too
        {2.0, 0.25, kChartXValue, 1},
        {0.0, 0.25, kChartXIndex, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.start);
        gFrames = 1;
        gFrame = ChartFrame{1, k.start, k.step, 40, 0.0, 1.0};
        chain.device->OnEvent(kDeviceEventInvalidate, 0);
        ChartWindow& c = *chain.window;
        EXPECT_EQ(c.xMode, k.mode);
        EXPECT_EQ(c.xStepKnown, k.known);
        EXPECT_EQ(c.slider.horizontal.labelMode, kScaleLabelsShown);
        EXPECT_EQ(chain.cell->statisticsRows, 0);
        // The readout starts at the frame's start, the labels at the first whole multiple
        // of their step from there on.
        c.cursorPosition = 10.5;
        c.UpdateReadout();
        // Samples counted by index are numbered from 1.
        const double first = k.mode == kChartXValue ? k.start : k.known ? 0.0 : 1.0;
        EXPECT_DOUBLE_EQ(c.readX, 10.0 * (k.known ? k.step : 1.0) + first);
        const double from = first, tick = c.slider.horizontal.tickStep;
        const double labels = c.slider.horizontal.start;
        ASSERT_GT(tick, 0.0);
        EXPECT_GE(labels, from);
        EXPECT_LT(labels, from + tick);
        EXPECT_NEAR(labels / tick, std::round(labels / tick), 1e-9);
    }
    // Without frames: indices, labelled while there are samples, region statistics.
    gFrames = 0;
    const int before = chain.cell->regionStatistics, asked = gRedrawAsks;
    EXPECT_GE(asked, 5);
    chain.device->OnEvent(kDeviceEventInvalidate, 0);
    EXPECT_EQ(gRedrawAsks, asked + 1);
    EXPECT_EQ(chain.window->xMode, kChartXIndex);
    EXPECT_EQ(chain.window->xStepKnown, 0);
    EXPECT_EQ(chain.window->xStart, 0.0);
    EXPECT_EQ(chain.window->slider.horizontal.labelMode, kScaleLabelsShown);
    EXPECT_EQ(chain.cell->regionStatistics, before + 1);
}

// ---- Scales -------------------------------------------------------------------------------------

std::string XText(double v) {
    char text[32];
    ChartXLabelText(v, text, sizeof text);
    return text;
}

TEST(ChartScalesTest, XLabelTextsAndSteps) {
    EXPECT_EQ(XText(2.50), "2.5");
    EXPECT_EQ(XText(2.00), "2");
    EXPECT_EQ(XText(0.5), "0.5");
    EXPECT_EQ(XText(1234.2), "1235");      // whole numbers rounded up
    EXPECT_EQ(XText(-5.5), "-5");
    EXPECT_EQ(XText(1e20), "ERR");         // "%.2f" does not fit 16 characters
    EXPECT_EQ(XText(std::nan("")), "ERR");
    bool fraction = true;
    // A label 11.5 samples wide: n = 12, 10 is still narrower than the label: 20.
    EXPECT_EQ(ChartXTickStep(11.5, 1.0, 40.0, 180.0, &fraction), 20.0);
    EXPECT_FALSE(fraction);
    EXPECT_EQ(ChartXTickStep(30.0, 1.0, 40.0, 180.0, &fraction), 30.0);
    EXPECT_EQ(ChartXTickStep(6.5, 1.0, 40.0, 180.0, &fraction), 10.0);
    EXPECT_EQ(ChartXTickStep(5.0, 1.0, 40.0, 180.0, &fraction), 5.0);
    EXPECT_EQ(ChartXTickStep(2.5, 1.0, 40.0, 180.0, &fraction), 4.0);
    EXPECT_EQ(ChartXTickStep(0.5, 60.0, 40.0, 180.0, &fraction), 1.0);
    EXPECT_FALSE(fraction);
    // A sample wider than two labels: a fractional step of a tenth.
    EXPECT_DOUBLE_EQ(ChartXTickStep(0.34, 100.0, 34.0, 1.8, &fraction), 0.4);
    EXPECT_TRUE(fraction);
}

TEST(ChartScalesTest, YExponentsAndSteps) {
    EXPECT_EQ(ChartYExponent(0.0002, 0.0003), -4);
    EXPECT_EQ(ChartYExponent(1.0, 999.0), 0);
    EXPECT_EQ(ChartYExponent(0.0, 1.0), 0);
    EXPECT_EQ(ChartYExponent(1e7, 1e7), 7);
    EXPECT_EQ(ChartYExponent(1e6, 10.0), 0);
    EXPECT_DOUBLE_EQ(ChartYTickStep(0.23), 0.3);
    EXPECT_DOUBLE_EQ(ChartYTickStep(0.7), 0.7);
    EXPECT_DOUBLE_EQ(ChartYTickStep(0.0004), 0.0004);
    EXPECT_EQ(ChartYTickStep(1.0), 1.0);
    EXPECT_EQ(ChartYTickStep(3.2), 5.0);
    EXPECT_EQ(ChartYTickStep(12.0), 20.0);
}

TEST_F(ChartWindowTest, TheScaleRoutinesLabelTheAxes) {
    // No samples: whole numbers, one tick per plot width, from 0.
    ChartWindow empty(nullptr);
    ScaleRecord x;
    x.labelCapacity = 0;
    ChartXScaleRoutine(&x, false, &empty);
    EXPECT_EQ(x.valueKind, kScaleValueInteger);
    EXPECT_EQ(x.tickStep, 180.0);
    EXPECT_EQ(x.start, 0.0);
    // A y range from 0.0002 to 0.0005 shows the exponent -4; from 1 to 1000 none.
    ChartChain chain({{0.0002, 0.0005}});
    ASSERT_TRUE(chain.Pull());
    SliderCtrl& s = chain.window->slider;
    ASSERT_TRUE(s.SizeLabels(1000, 1000));
    s.vertical.rect[2] = 41;
    s.vertical.rect[3] = 100;
    chain.window->PlaceSliders();
    EXPECT_EQ(s.vertical.shownExponent, -4);
    EXPECT_EQ(s.vertical.valueKind, kScaleValueReal);
    ASSERT_GT(s.vertical.labelCount, 1);
    EXPECT_STREQ(s.vertical.labels[0].text, "E-004");
    EXPECT_EQ(s.vertical.highlighted, 1);
    ChartChain wide({{1.0, 1000.0}});
    ASSERT_TRUE(wide.Pull());
    wide.window->PlaceSliders();
    EXPECT_EQ(wide.window->slider.vertical.shownExponent, 0);
    // The y labels are multiples of the step, running upwards.
    SliderCtrl& w = wide.window->slider;
    ASSERT_TRUE(w.SizeLabels(1000, 1000));
    w.vertical.rect[2] = 41;
    w.vertical.rect[3] = 100;
    wide.window->PlaceSliders();
    ASSERT_GE(w.vertical.labelCount, 2);
    const double a = std::atof(w.vertical.labels[0].text), b = std::atof(w.vertical.labels[1].text);
    EXPECT_GT(a, b);
    EXPECT_LT(w.vertical.labels[0].y, w.vertical.labels[1].y);
    EXPECT_EQ(std::fmod(a, w.vertical.tickStep), 0.0);
    // A range wider than DBL_MAX: [-1e308, 1e308] is labelled in units of 1e308 from -1
    // to 1, so that the label 0 stands on the zero line in the plot's middle.
    ChartChain huge({{-1e308, 1e308}});
    ASSERT_TRUE(huge.Pull());
    SliderCtrl& v = huge.window->slider;
    huge.window->PlaceSliders();
    EXPECT_EQ(v.vertical.shownExponent, 308);
    const double h = huge.window->plotHeight;
    EXPECT_DOUBLE_EQ(v.vertical.unitsPerPixel * h, -2.0);
    EXPECT_FLOAT_EQ(huge.window->zeroPixel, static_cast<float>(h / 2.0));
}

TEST_F(ChartWindowTest, TheYZoomInARangeWiderThanDblMaxKeepsTheCursorRow) {
    ChartChain chain({{-1e308, 0.0, 1e308}});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    c.cursorPosition = 1.5;
    ASSERT_TRUE(c.UpdateReadout());
    ASSERT_EQ(c.readY, 0.0);
    // 0 lies in the middle of the plot, and stays there when the span shrinks to 1e300.
    EXPECT_DOUBLE_EQ(-c.yMinimum * c.pixelsPerUnit, c.plotHeight / 2.0);
    ASSERT_TRUE(c.ZoomYAboutCursor(0.5e300));
    EXPECT_DOUBLE_EQ(c.yMinimum, -0.5e300);
    EXPECT_DOUBLE_EQ(c.ySpan, 1e300);
    EXPECT_DOUBLE_EQ(-c.yMinimum * c.pixelsPerUnit, c.plotHeight / 2.0);
    // After a view reset the mapping is [0, 1] again.
    c.ResetView(false);
    EXPECT_EQ(c.ySpan, 1.0);
    EXPECT_DOUBLE_EQ(c.pixelsPerUnit, c.plotHeight);
}

}  // namespace
}  // namespace orva
