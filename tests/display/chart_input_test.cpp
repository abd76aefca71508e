// The chart window's keys, wheel and panning on a chart bound to a spectrum: y scroll by
// pixels and half-spans, x scroll and the integral x zoom steps, the curve style keys
// and settings, the view memories, and the keys that reach the host.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "display/chart_fixture.h"
#include "toolkit/input.h"

namespace orva {
namespace {

using display_test::ChartChain;
using display_test::Ramp;
using display_test::ServicesScope;

// What the doubles of the host's services heard.
struct Heard {
    std::vector<std::string> calls;
    std::string status;
    int statusGroup = -1, statusCode = 0, statusRedraw = 0;
    bool linkedState = false;
};
Heard* gHeard = nullptr;

class ChartInputTest : public ::testing::Test {
protected:
    ChartInputTest() {
        gHeard = &heard_;
        for (int i = 0; i < kChartMemories; ++i) ChartDefaultMemories()[i] = ChartMemory{};
        ChartHostServices& c = TheChartHostServices();
        c.status = [](int32_t group, int32_t code, int32_t redraw, const char* text) {
            gHeard->statusGroup = group;
            gHeard->statusCode = code;
            gHeard->statusRedraw = redraw;
            gHeard->status = text;
        };
        c.reduction = [](DisplayCellBase*, int32_t action, bool forward) {
            gHeard->calls.push_back("reduction " + std::to_string(action) + (forward ? " forward" : " back"));
            return true;
        };
        c.setLinked = [](DisplayCellBase*, GraphicsWindow*, bool state) {
            gHeard->calls.push_back(state ? "linked on" : "linked off");
            return true;
        };
        c.refreshGridCursorOptions = [](DisplayCellBase*) { gHeard->calls.push_back("grid"); };
        GraphicsHostServices& h = TheGraphicsHostServices();
        h.stepProjectItem = [](bool back) { gHeard->calls.push_back(back ? "item back" : "item next"); };
        h.hasProjects = [] { return true; };
        h.closeCurrentItem = [] { gHeard->calls.push_back("close item"); };
        h.closeData = [] { gHeard->calls.push_back("close data"); };
        GraphicsShapeServices& s = TheGraphicsShapeServices();
        s.removeShapesOf = [](void*, void* owner) { gHeard->calls.push_back(owner != nullptr ? "remove source's" : "remove all"); };
        s.removeShape = [](void*, void*) { gHeard->calls.push_back("remove current"); };
        s.currentKind = [](void*) { return 1; };
        s.selectAdjacent = [](void*, bool forward) { gHeard->calls.push_back(forward ? "next shape" : "previous shape"); };
        s.copyShape = [](void*) {
            gHeard->calls.push_back("copy shape");
            return true;
        };
    }
    ~ChartInputTest() override {
        TheChartHostServices() = chartServices_;
        for (int i = 0; i < kChartMemories; ++i) ChartDefaultMemories()[i] = ChartMemory{};
        gHeard = nullptr;
    }
    ServicesScope services_;
    ChartHostServices chartServices_ = TheChartHostServices();
    Heard heard_;
};

// A chart of 1000 samples (0..999), the user range [0, 880] (ten units a pixel on the
// 88-pixel plot).
struct LongChart {
    LongChart() : chain({Ramp(1000)}) {
        pulled = chain.Pull();
        chain.window->SetUserRange(0.0, 880.0);
    }
    ChartWindow& c() { return *chain.window; }
    ChartChain chain;
    bool pulled = false;
};

TEST_F(ChartInputTest, WithoutSamplesTheViewKeysAreUsedUpAndLettersWithModifiersPassOn) {
    ChartChain chain({});
    chain.Pull();
    ChartWindow& c = *chain.window;
    ASSERT_EQ(c.samples, 0);
    const double minimum = c.yMinimum, span = c.ySpan;
    const uint32_t flags = chain.device->style.flags;
    for (uint32_t key : {kKeyPageUp, kKeyPageDown, kKeyUp, kKeyDown, kKeyLeft, kKeyRight, kKeyPadAdd, kKeyPadSubtract,
                         kKeyRight | kKeyShiftL, kKeyPadAdd | kKeyShiftL, uint32_t{'B'}, uint32_t{'D'}, uint32_t{'E'},
                         uint32_t{'F'}, uint32_t{'G'}, uint32_t{'O'}, uint32_t{'Q'}, uint32_t{'S'}}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(c.OnKeyDown(key, 0), 1);
    }
    EXPECT_EQ(c.yMinimum, minimum);
    EXPECT_EQ(c.ySpan, span);
    EXPECT_EQ(c.rangeMode, kChartRangeDefault);
    EXPECT_EQ(chain.device->style.flags, flags);
    EXPECT_EQ(c.linked, 0);
    EXPECT_EQ(c.originMark, 0);
    EXPECT_EQ(c.cursorMarkShown, 0);
    EXPECT_EQ(c.slider.freeY, 0);
    EXPECT_TRUE(heard_.calls.empty());
    // Letters with a modifier, and keys of no use to a chart, are passed on.
    for (uint32_t key : {'B' | kKeyCtrlL, 'E' | kKeyShiftL, 'S' | kKeyAltL, 'O' | kKeyCtrlR, uint32_t{'X'},
                         uint32_t{kKeyHome}, uint32_t{kKeyPadAdd | kKeyAltL}}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(c.OnKeyDown(key, 0), 0);
    }
}

TEST_F(ChartInputTest, TheYScrollKeysMovePixelsTensAndHalfSpans) {
    LongChart l;
    ASSERT_TRUE(l.pulled);
    ChartWindow& c = l.c();
    ASSERT_EQ(c.plotHeight, 88);
    ASSERT_DOUBLE_EQ(c.ySpan, 880.0);
    // key, repeat count, the minimum's move.
    struct Case {
        uint32_t key;
        uint32_t repeat;
        double move;
    } cases[] = {
        {kKeyPageDown, 0, 440.0},  {kKeyPageUp, 0, -440.0}, {kKeyPageDown, 2, 1320.0},
        {kKeyUp, 0, -10.0},        {kKeyDown, 0, 10.0},     {kKeyUp | kKeyShiftL, 0, -100.0},
        {kKeyDown | kKeyShiftR, 1, 200.0}, {kKeyUp | kKeyCtrlL, 0, -440.0}, {kKeyDown | kKeyCtrlL, 0, 440.0},
        {kKeyUp, 3, -40.0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.key);
        const double before = c.yMinimum;
        EXPECT_EQ(c.OnKeyDown(k.key, k.repeat), 1);
        EXPECT_NEAR(c.yMinimum - before, k.move, 1e-9);
        EXPECT_DOUBLE_EQ(c.ySpan, 880.0);
        EXPECT_EQ(c.rangeMode & kChartRangeData, 0u);
        EXPECT_DOUBLE_EQ(c.userMaximum - c.userMinimum, 880.0);
    }
    // Up with Alt is not a chart key.
    EXPECT_EQ(c.OnKeyDown(kKeyUp | kKeyAltL, 0), 0);
    // A minimum that would pass DBL_MAX stays.
    c.SetUserRange(-DBL_MAX, DBL_MAX * 0.5);
    const double minimum = c.yMinimum;
    EXPECT_EQ(c.OnKeyDown(kKeyPageUp, 0), 1);
    EXPECT_EQ(c.yMinimum, minimum);
}

TEST_F(ChartInputTest, ShiftWithTheArrowsScrollsXAndStopsAtTheLastFullPage) {
    LongChart l;
    ChartWindow& c = l.c();
    c.SetZoomRatio(1);
    c.ApplyZoomRatio();
    ASSERT_EQ(c.visible, 180);
    EXPECT_TRUE(c.ScrollXTo(820, false));
    EXPECT_EQ(c.OnKeyDown(kKeyRight | kKeyShiftL, 0), 1);
    EXPECT_EQ(c.scroll, 820);
    EXPECT_EQ(c.OnKeyDown(kKeyLeft | kKeyShiftL, 0), 1);
    EXPECT_EQ(c.scroll, 760);  // a third of the view
    EXPECT_EQ(c.OnKeyDown(kKeyLeft | kKeyShiftL | kKeyCtrlL, 0), 1);
    EXPECT_EQ(c.scroll, 670);  // half of it
    EXPECT_EQ(c.OnKeyDown(kKeyLeft | kKeyShiftL, 20), 1);
    EXPECT_EQ(c.scroll, 0);
    EXPECT_EQ(c.OnKeyDown(kKeyRight | kKeyShiftL, 1), 1);
    EXPECT_EQ(c.scroll, 120);
    EXPECT_EQ(l.chain.device->style.visibleCount, 180u);
    // Scroll positions out of range are clamped.
    EXPECT_TRUE(c.ScrollXTo(-5, false));
    EXPECT_EQ(c.scroll, 0);
    EXPECT_FALSE(c.ScrollXTo(-5, false));
    EXPECT_TRUE(c.ScrollXTo(5000, false));
    EXPECT_EQ(c.scroll, 820);
}

TEST_F(ChartInputTest, TheArrowsMoveTheCursorAndTheViewFollows) {
    LongChart l;
    ChartWindow& c = l.c();
    c.SetZoomRatio(2);  // 90 samples shown
    c.ApplyZoomRatio();
    ASSERT_EQ(c.visible, 90);
    c.ScrollXTo(0, false);
    c.SetCursor(10.5, false);
    EXPECT_EQ(c.cursorIndex, 10);
    EXPECT_EQ(c.OnKeyDown(kKeyRight, 0), 1);
    EXPECT_DOUBLE_EQ(c.cursorPosition, 11.5);
    EXPECT_EQ(c.OnKeyDown(kKeyRight, 4), 1);
    EXPECT_DOUBLE_EQ(c.cursorPosition, 16.5);
    EXPECT_EQ(c.OnKeyDown(kKeyRight | kKeyCtrlL, 0), 1);  // coarse: a third of the view
    EXPECT_DOUBLE_EQ(c.cursorPosition, 46.5);
    EXPECT_EQ(c.scroll, 0);
    EXPECT_DOUBLE_EQ(c.cursorPixel, 46.5 * 2.0 + 1.0);
    // Past the right edge the view scrolls to keep the cursor shown.
    c.SetCursor(100.5, false);
    EXPECT_EQ(c.cursorIndex, 100);
    EXPECT_GT(c.scroll, 10);
    EXPECT_LE(c.scroll, 100);
    EXPECT_LT(100, c.scroll + c.visible);
    // Left of the view: it scrolls to the cursor.
    c.ScrollXTo(500, false);
    c.SetCursor(200.5, false);
    EXPECT_EQ(c.scroll, 200);
    // Beyond the data: the last sample and the last full page.
    c.SetCursor(5000.0, false);
    EXPECT_EQ(c.cursorIndex, 999);
    EXPECT_DOUBLE_EQ(c.cursorPosition, 999.5);
    EXPECT_EQ(c.scroll, 910);
    // Negative positions are ignored.
    c.SetCursor(-1.0, false);
    EXPECT_EQ(c.cursorIndex, 999);
}

TEST_F(ChartInputTest, ShiftWithTheGrayKeysStepsTheXZoomThroughWholeRatios) {
    LongChart l;
    ChartWindow& c = l.c();
    c.SetZoomRatio(1);
    c.ApplyZoomRatio();
    c.ScrollXTo(410, false);
    c.SetCursor(500.5, false);
    ASSERT_EQ(c.scroll, 410);
    char text[18];
    struct Step {
        uint32_t key;
        int32_t factor;
        const char* text;
    } steps[] = {
        {kKeyPadAdd, 2, "2:1"},       {kKeyPadAdd, 4, "4:1"},       {kKeyPadSubtract, 2, "2:1"},
        {kKeyPadSubtract, 1, "1:1"},  {kKeyPadSubtract, -2, "1:2"}, {kKeyPadSubtract, -4, "1:4"},
        {kKeyPadAdd, -2, "1:2"},      {kKeyPadAdd, 1, "1:1"},
    };
    bool first = true;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        EXPECT_EQ(c.OnKeyDown(s.key | kKeyShiftL, 0), 1);
        EXPECT_EQ(c.signedFactor, s.factor);
        c.ZoomText(text, sizeof text);
        EXPECT_STREQ(text, s.text);
        EXPECT_EQ(c.zoomMode, 1);
        EXPECT_LE(c.scroll, c.cursorIndex);
        EXPECT_LT(c.cursorIndex, c.scroll + c.visible);
        if (first) {
            // Centred on the cursor: 90 samples from 500 - 44.
            EXPECT_EQ(c.visible, 90);
            EXPECT_EQ(c.scroll, 456);
            first = false;
        }
    }
    // 1:8 shows more than the 1000 samples: the ratio is cut to what they need.
    c.SetZoomRatio(-4);
    c.ApplyZoomRatio();
    EXPECT_EQ(c.visible, 720);
    EXPECT_EQ(c.OnKeyDown(kKeyPadSubtract | kKeyShiftL, 0), 1);
    EXPECT_EQ(c.signedFactor, -8);
    EXPECT_EQ(c.zoomMode, 0);  // shows all: the fit
    // In the fit nothing more can be shown.
    EXPECT_EQ(c.OnKeyDown(kKeyPadSubtract | kKeyShiftL, 0), 1);
    EXPECT_EQ(c.zoomMode, 0);
    EXPECT_EQ(c.scroll, 0);
}

// The zoom bar's "+" and "-" reach a chart device as the zoom codes -1.0 and -2.0 on the
// x axis: each is one x zoom step, in and out, as Shift with Gray+ and Gray- take it.
TEST_F(ChartInputTest, TheZoomBarsCodesStepTheXZoom) {
    ChartChain chain({Ramp(720)});  // 4 samples a pixel in the fit
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    char text[18];
    struct Step {
        double code;
        bool changed;
        int32_t factor;
        const char* text;
    } steps[] = {{-1.0, true, -2, "1:2"}, {-1.0, true, 1, "1:1"}, {-1.0, true, 2, "2:1"},
                 {-2.0, true, 1, "1:1"},  {-2.0, true, -2, "1:2"}, {-2.0, true, -4, "1:4"}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.text);
        EXPECT_EQ(chain.device->SetZoom(true, s.code, false), s.changed);
        EXPECT_EQ(c.signedFactor, s.factor);
        c.ZoomText(text, sizeof text);
        EXPECT_STREQ(text, s.text);
    }
    // 1:4 shows all 720 samples: no step further out.
    EXPECT_FALSE(chain.device->SetZoom(true, -2.0, false));
    EXPECT_EQ(c.signedFactor, -4);
}

// The chart's readout describes its rows as the channels (the channel buttons choose
// the current row), and gives the next two rows' samples at the cursor after its own.
TEST_F(ChartInputTest, TheReadoutDescribesTheRowsAsChannels) {
    ChartChain chain({Ramp(90, 10.0), Ramp(90, 200.0), Ramp(90, 3000.0)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    c.SetCursor(5.0, false);
    c.UpdateReadout();
    EXPECT_EQ(c.readout.channelTotal, 3u);
    EXPECT_EQ(c.readout.firstChannel, 0u);
    EXPECT_EQ(c.readout.currentChannel, 0u);
    EXPECT_EQ(c.readout.values[1], 204.0);
    EXPECT_EQ(c.readout.values[2], 3004.0);
    c.UpdateReadout();
    EXPECT_EQ(c.readout.channelsUnchanged, 1);
    // Row 2 chosen: its next row and then the last value again (no third row after it).
    ASSERT_TRUE(c.SelectChannel(2));
    c.UpdateReadout();
    EXPECT_EQ(c.readout.currentChannel, 1u);
    EXPECT_EQ(c.readout.channelsUnchanged, 0);
    EXPECT_EQ(c.readout.values[1], 3004.0);
    EXPECT_EQ(c.readout.values[2], 3004.0);
}

TEST_F(ChartInputTest, FromTheFitTheXZoomStartsAtTheNearestRatio) {
    ChartChain chain({Ramp(720)});  // 4 samples a pixel
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    ASSERT_EQ(c.zoomMode, 0);
    EXPECT_EQ(c.CurrentZoomStep(), -4);
    EXPECT_EQ(c.OnKeyDown(kKeyPadAdd | kKeyShiftL, 0), 1);
    EXPECT_EQ(c.signedFactor, -2);
    EXPECT_EQ(c.visible, 360);
    // 100 samples at 1.8 pixels a sample start from 2:1.
    ChartChain small({Ramp(100)});
    ASSERT_TRUE(small.Pull());
    EXPECT_EQ(small.window->CurrentZoomStep(), 2);
    EXPECT_EQ(small.window->OnKeyDown(kKeyPadAdd | kKeyShiftL, 0), 1);
    EXPECT_EQ(small.window->signedFactor, 4);
    EXPECT_EQ(small.window->visible, 45);
}

TEST_F(ChartInputTest, TheGrayKeysZoomYAboutTheCursorByTwoPixelsOfCurve) {
    ChartChain chain({Ramp(100, 0.0, 0.5)});  // 0 .. 49.5
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    c.SetCursor(30.5, false);
    ASSERT_DOUBLE_EQ(c.readY, 15.0);
    // The curve fills the plot: 88 pixels; in: 89 + 2 = 91 pixels.
    ASSERT_DOUBLE_EQ(chain.device->yScale, 88.0);
    EXPECT_EQ(c.OnKeyDown(kKeyPadAdd, 0), 1);
    EXPECT_NEAR(c.ySpan, 88.0 * 49.5 / 91.0, 1e-9);
    EXPECT_NEAR((c.readY - c.yMinimum) * c.pixelsPerUnit, 15.0 / 49.5 * 88.0, 1e-9);
    EXPECT_NEAR(chain.device->yScale, 91.0, 1e-9);
    // Out: 91 - 2; with Ctrl: 89 - 44, made odd.
    EXPECT_EQ(c.OnKeyDown(kKeyPadSubtract, 0), 1);
    EXPECT_NEAR(chain.device->yScale, 89.0, 1e-9);
    EXPECT_EQ(c.OnKeyDown(kKeyPadSubtract | kKeyCtrlL, 0), 1);
    EXPECT_NEAR(chain.device->yScale, 45.0, 1e-9);
    EXPECT_EQ(c.OnKeyDown(kKeyPadAdd | kKeyCtrlL, 0), 1);
    EXPECT_NEAR(chain.device->yScale, 45.0 + 44.0, 1e-9);
}

TEST_F(ChartInputTest, TheStyleKeysAndCurveSettings) {
    LongChart l;
    Chart1DDevice& d = *l.chain.device;
    ChartWindow& c = l.c();
    const uint32_t both = kCurveContrast | kCurvePoints;
    d.style.flags = (d.style.flags & ~both) | 0x70;
    c.CycleCurveStyle();  // neither -> contrast, 0x10..0x40 cleared
    EXPECT_EQ(d.style.flags & (both | 0x70), kCurveContrast);
    EXPECT_EQ(c.OnKeyDown('E', 0), 1);
    EXPECT_EQ(d.style.flags & both, kCurvePoints);
    EXPECT_EQ(c.OnKeyDown('E', 0), 1);
    EXPECT_EQ(d.style.flags & both, both);
    EXPECT_EQ(c.OnKeyDown('E', 0), 1);
    EXPECT_EQ(d.style.flags & both, kCurveContrast);
    EXPECT_EQ(d.stop[kDeviceHiddenByte], 0);
    // Clearing a flag clears the step and nearest flags too; without both the curve is
    // hidden and the chart has no samples.
    d.style.flags |= kCurveStep | kCurveNearest;
    EXPECT_TRUE(c.SetCurveFlag(kCurveContrast, false));
    EXPECT_EQ(d.style.flags & (both | kCurveStep | kCurveNearest), 0u);
    EXPECT_EQ(d.stop[kDeviceHiddenByte], 1);
    EXPECT_EQ(c.samples, 0);
    EXPECT_FALSE(c.SetCurveFlag(kCurveContrast, false));
    EXPECT_TRUE(c.SetCurveFlag(kCurvePoints, true));
    EXPECT_EQ(d.stop[kDeviceHiddenByte], 0);
    EXPECT_EQ(c.samples, 1000);
    // The smooth flags flip; switching one off clears the two low bits.
    EXPECT_TRUE(c.ToggleSmoothFlag(kCurveSmoothLines));
    EXPECT_NE(d.style.flags & kCurveSmoothLines, 0u);
    d.style.flags |= kCurveNearest;
    EXPECT_TRUE(c.ToggleSmoothFlag(kCurveSmoothLines));
    EXPECT_EQ(d.style.flags & (kCurveSmoothLines | kCurveNearest), 0u);
    // Width 1..3, point size odd 1..11.
    struct Value {
        uint32_t asked, width, size;
    } values[] = {{0, 1, 1}, {1, 1, 1}, {2, 2, 3}, {3, 3, 3}, {4, 3, 5}, {7, 3, 7}, {10, 3, 11}, {12, 3, 11}, {4000000000u, 3, 11}};
    for (const Value& v : values) {
        SCOPED_TRACE(v.asked);
        EXPECT_EQ(c.SetLineWidth(v.asked), v.width);
        EXPECT_EQ(d.lineWidth, static_cast<float>(v.width));
        EXPECT_EQ(c.SetPointSize(v.asked), v.size);
        EXPECT_EQ(d.pointSize, static_cast<float>(v.size));
    }
    // Q flips the nearest flag.
    const uint32_t nearest = d.style.flags & kCurveNearest;
    EXPECT_EQ(c.OnKeyDown('Q', 0), 1);
    EXPECT_NE(d.style.flags & kCurveNearest, nearest);
}

TEST_F(ChartInputTest, TheOptionKeys) {
    LongChart l;
    ChartWindow& c = l.c();
    EXPECT_EQ(c.OnKeyDown('G', 0), 1);
    EXPECT_EQ(c.originMark, 1);
    EXPECT_EQ(c.OnKeyDown('O', 0), 1);
    EXPECT_EQ(c.cursorMarkShown, 1);
    EXPECT_EQ(c.cursorMarkWanted, 0);
    EXPECT_EQ(c.OnKeyDown('B', 0), 1);
    EXPECT_EQ(c.linked, 1);
    EXPECT_EQ(c.OnKeyDown('O', 0), 1);  // linked: the wanted mark follows
    EXPECT_EQ(c.cursorMarkShown, 0);
    EXPECT_EQ(c.cursorMarkWanted, 0);
    EXPECT_EQ(c.OnKeyDown('F', 0), 1);
    EXPECT_EQ(c.slider.freeY, 1);
    EXPECT_EQ(c.OnKeyDown('M', 0), 1);
    EXPECT_NE(c.slider.vertical.flags & kScaleMarker, 0u);
    EXPECT_EQ(c.OnKeyDown('M', 0), 1);
    EXPECT_EQ(c.slider.vertical.flags & (kScaleMarker | kScaleMarkerInvert), kScaleMarkerInvert);
    EXPECT_EQ(c.OnKeyDown('M', 0), 1);
    EXPECT_EQ(c.slider.vertical.flags & (kScaleMarker | kScaleMarkerInvert), 0u);
    const int32_t labels = c.ActiveSlider()->horizontal.labelMode;
    EXPECT_EQ(c.OnKeyDown('D', 0), 1);
    EXPECT_NE(c.ActiveSlider()->horizontal.labelMode, labels);
    c.slider.freeX = 1;  // free x: D leaves the labels
    EXPECT_EQ(c.OnKeyDown('D', 0), 1);
    EXPECT_NE(c.ActiveSlider()->horizontal.labelMode, labels);
    EXPECT_EQ(c.OnKeyDown('I', 0), 1);
    // S: in user range the device's range becomes the user range; then chart <-> input.
    EXPECT_EQ(c.OnKeyDown('S', 0), 1);
    EXPECT_EQ(c.userMinimum, 0.0);
    EXPECT_EQ(c.userMaximum, 999.0);
    c.rangeMode = kChartRangeData;
    EXPECT_EQ(c.OnKeyDown('S', 0), 1);
    EXPECT_EQ(c.rangeMode, kChartRangeData | kChartRangeInput);
    EXPECT_EQ(c.OnKeyDown('S', 0), 1);
    EXPECT_EQ(c.rangeMode, kChartRangeData);
    // F10: free options off, fit, chart range.
    c.slider.edgeLock = 1;
    c.SetZoomRatio(4);
    c.ApplyZoomRatio();
    c.rangeMode = kChartRangeInput;
    EXPECT_EQ(c.OnKeyDown(KeyF(10), 0), 1);
    EXPECT_EQ(c.slider.freeX, 0);
    EXPECT_EQ(c.slider.freeY, 0);
    EXPECT_EQ(c.slider.edgeLock, 0);
    EXPECT_EQ(c.zoomMode, 0);
    EXPECT_EQ(c.signedFactor, 1);
    EXPECT_EQ(c.rangeMode, kChartRangeData);
    EXPECT_DOUBLE_EQ(c.ySpan, 999.0);
    const std::vector<std::string> expected = {"linked on", "grid", "grid"};
    EXPECT_EQ(heard_.calls, expected);
}

TEST_F(ChartInputTest, KeysThatReachTheHost) {
    LongChart l;
    ChartWindow& c = l.c();
    display_test::FakeCell* cell = l.chain.cell;
    int shapes = 0;
    cell->host.shapes = &shapes;
    struct Case {
        uint32_t key;
        int32_t answer;
        const char* call;
    } cases[] = {
        {'1', 1, "reduction 0 back"},
        {'2', 1, "reduction 0 forward"},
        {'1' | kKeyCtrlL, 1, "reduction 1 back"},
        {'2' | kKeyAltL, 1, "reduction 2 forward"},
        {kKeyTab | kKeyCtrlL, 1, "item next"},
        {kKeyTab | kKeyCtrlL | kKeyShiftL, 1, "item back"},
        {kKeyTab, 1, "next shape"},
        {kKeyDelete, 1, "remove current"},
        {kKeyDelete | kKeyShiftL, 1, "remove source's"},
        {'C' | kKeyCtrlL, 1, "copy shape"},
        {'W' | kKeyCtrlL, 1, "close item"},
        {'W' | kKeyAltL, 1, "close data"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.call);
        heard_.calls.clear();
        EXPECT_EQ(c.OnKeyDown(k.key, 0), k.answer);
        ASSERT_EQ(heard_.calls.size(), 1u);
        EXPECT_EQ(heard_.calls[0], k.call);
    }
    // F12 without a tool object: the cell's flag, and the cell goes on with the key.
    EXPECT_EQ(c.OnKeyDown(KeyF(12), 0), kKeyToolFlagToggled);
    EXPECT_EQ(cell->host.cellFlag, 1);
    // Nothing to copy with Ctrl+Insert: not used.
    EXPECT_EQ(c.OnKeyDown(kKeyInsert | kKeyCtrlL, 0), 0);
    cell->host.shapes = nullptr;
}

TEST_F(ChartInputTest, MemoriesStoreRecallAndClear) {
    LongChart l;
    ChartWindow& c = l.c();
    c.SetZoomRatio(2);
    c.ApplyZoomRatio();
    c.ScrollXTo(300, false);
    c.SetUserRange(-5.0, 15.0);
    EXPECT_EQ(c.PressMemory(2, kKeyShiftL, 1), ChartMemoryPress::kStored);
    const ChartMemory& m = c.Memory(2);
    EXPECT_EQ(m.minimumY, -5.0);
    EXPECT_EQ(m.maximumY, 15.0);
    EXPECT_EQ(m.first, 300);
    EXPECT_EQ(m.end, 390);
    // Another view, then the recall: range, scroll and zoom.
    c.OnKeyDown(KeyF(10), 0);
    ASSERT_EQ(c.zoomMode, 0);
    EXPECT_EQ(c.PressMemory(2, 0, 1), ChartMemoryPress::kRecalled);
    EXPECT_EQ(c.yMinimum, -5.0);
    EXPECT_EQ(c.ySpan, 20.0);
    EXPECT_EQ(c.rangeMode & kChartRangeData, 0u);
    EXPECT_EQ(c.scroll, 300);
    EXPECT_EQ(c.visible, 90);
    EXPECT_DOUBLE_EQ(c.pixelsPerSample, 2.0);
    EXPECT_EQ(heard_.statusGroup, -1);
    // An empty memory leaves the chart and says how to store one.
    c.ScrollXTo(100, false);
    EXPECT_EQ(c.PressMemory(4, 0, 1), ChartMemoryPress::kEmpty);
    EXPECT_EQ(c.scroll, 100);
    EXPECT_EQ(c.yMinimum, -5.0);
    EXPECT_EQ(heard_.status, "push: Press a key 'Shift' and click by the button (read details in the help)...");
    EXPECT_EQ(heard_.statusGroup, 1);
    EXPECT_EQ(heard_.statusCode, -2);
    EXPECT_EQ(heard_.statusRedraw, 7);
    // Ctrl, or a right-button press (codes 5 and 6), clears; an empty one stays.
    EXPECT_EQ(c.PressMemory(2, kKeyCtrlL, 1), ChartMemoryPress::kCleared);
    EXPECT_EQ(c.Memory(2).first, 0);
    EXPECT_EQ(c.Memory(2).end, 0);
    EXPECT_EQ(c.PressMemory(2, kKeyCtrlL, 1), ChartMemoryPress::kNone);
    c.PressMemory(0, kKeyShiftR, 1);
    EXPECT_EQ(c.PressMemory(0, 0, 5), ChartMemoryPress::kCleared);
    c.PressMemory(0, kKeyShiftR, 1);
    EXPECT_EQ(c.PressMemory(0, 0, 6), ChartMemoryPress::kCleared);
    // The memories are the chart parameters' (here the process-wide ones).
    c.PressMemory(5, kKeyShiftL, 1);
    EXPECT_EQ(&c.Memory(5), &ChartDefaultMemories()[5]);
    EXPECT_LT(ChartDefaultMemories()[5].first, ChartDefaultMemories()[5].end);
}

TEST_F(ChartInputTest, TheWheelScrollsYOrMovesTheCursor) {
    LongChart l;
    ChartWindow& c = l.c();
    const double minimum = c.yMinimum;
    c.OnWheel(-240, 0);
    EXPECT_NEAR(c.yMinimum, minimum - 20.0, 1e-9);
    c.OnWheel(119, 0);  // less than a notch
    EXPECT_NEAR(c.yMinimum, minimum - 20.0, 1e-9);
    c.OnWheel(120, kKeyShiftL);
    EXPECT_NEAR(c.yMinimum, minimum + 80.0, 1e-9);
    c.OnWheel(120, kKeyCtrlL);
    EXPECT_NEAR(c.yMinimum, minimum + 520.0, 1e-9);
    // With Alt the cursor moves by samples and y stays.
    c.SetCursor(100.5, false);
    c.OnWheel(360, kKeyAltL);
    EXPECT_DOUBLE_EQ(c.cursorPosition, 103.5);
    EXPECT_NEAR(c.yMinimum, minimum + 520.0, 1e-9);
}

TEST_F(ChartInputTest, DraggingPansWithinTheData) {
    LongChart l;
    ChartWindow& c = l.c();
    c.SetZoomRatio(1);
    c.ApplyZoomRatio();
    c.ScrollXTo(10, false);
    c.PanPress();
    c.PanDrag(-50.0, 0.0, 0);
    EXPECT_EQ(c.scroll, 0);
    c.PanPress();
    c.PanDrag(300.0, 0.0, 0);
    EXPECT_EQ(c.scroll, 300);
    c.PanDrag(10000.0, 0.0, 0);
    EXPECT_EQ(c.scroll, 820);  // the last sample at the right edge
    EXPECT_EQ(c.panAccumulator, 821.0);
    c.PanDrag(-20.5, 0.0, 0);
    EXPECT_EQ(c.scroll, 800);
    // Ctrl: only y; Alt: only x; both: both.
    const double minimum = c.yMinimum;
    c.PanDrag(-100.0, 3.0, kKeyCtrlL);
    EXPECT_EQ(c.scroll, 800);
    EXPECT_NEAR(c.yMinimum, minimum - 30.0, 1e-9);
    EXPECT_EQ(c.rangeMode & kChartRangeData, 0u);
    c.PanDrag(-100.0, 3.0, kKeyAltL);
    EXPECT_EQ(c.scroll, 700);
    EXPECT_NEAR(c.yMinimum, minimum - 30.0, 1e-9);
    c.PanDrag(-100.0, -5.0, kKeyAltL | kKeyCtrlL);
    EXPECT_EQ(c.scroll, 600);
    EXPECT_NEAR(c.yMinimum, minimum + 20.0, 1e-9);
    // A pan that would pass DBL_MAX is ignored.
    c.SetUserRange(DBL_MAX * 0.5, DBL_MAX);
    const double top = c.yMinimum;
    c.PanDrag(0.0, -1e6, 0);
    EXPECT_EQ(c.yMinimum, top);
}

TEST_F(ChartInputTest, ThePointerSetsTheCursorSnappedOrFree) {
    LongChart l;
    ChartWindow& c = l.c();
    c.SetZoomRatio(1);
    c.ApplyZoomRatio();
    c.ScrollXTo(100, false);
    c.PointerX(11.0, false);  // (11 - 1) x 1 + 100, on the sample's middle
    EXPECT_DOUBLE_EQ(c.cursorPosition, 109.5);
    EXPECT_EQ(c.cursorIndex, 109);
    EXPECT_DOUBLE_EQ(c.cursorPixel, 10.5);
    c.PointerX(11.5, true);  // Alt: free
    EXPECT_DOUBLE_EQ(c.cursorPosition, 110.5);
    EXPECT_EQ(c.cursorIndex, 110);
    c.slider.freeX = 1;
    c.PointerX(11.25, false);
    EXPECT_DOUBLE_EQ(c.cursorPosition, 110.25);
    c.PointerX(11.25, true);  // Alt with free x: snapped
    EXPECT_DOUBLE_EQ(c.cursorPosition, 110.5);
    // Beyond the used width: the last sample, unless the edge is locked.
    c.ScrollXTo(900, false);
    ASSERT_EQ(c.scroll, 820);
    ASSERT_EQ(c.usedWidth, 180.0f);
    c.PointerX(200.0, false);
    EXPECT_EQ(c.cursorIndex, 999);
    c.slider.edgeLock = 1;
    c.slider.freeX = 0;
    c.PointerX(200.0, false);
    EXPECT_EQ(c.cursorIndex, 1018);
    // The height is kept within the plot.
    c.PointerY(-5.0);
    EXPECT_EQ(c.mouseY, 0.0);
    c.PointerY(500.0);
    EXPECT_EQ(c.mouseY, 88.0);
    // A chart without samples ignores the pointer.
    ChartChain none({});
    none.window->PointerX(20.0, false);
    EXPECT_EQ(none.window->cursorIndex, 0);
}

TEST_F(ChartInputTest, TheReadoutPageDragsThroughTheChart) {
    LongChart l;
    ChartWindow& c = l.c();
    GraphicsReadoutPage page;
    page.dragFactorX = 2.0;
    l.chain.cell->host.readoutPage = &page;
    c.AttachHost();
    ASSERT_NE(page.drag, nullptr);
    ASSERT_NE(page.dragPress, nullptr);
    EXPECT_EQ(page.dragData, &c);
    c.SetZoomRatio(1);
    c.ApplyZoomRatio();
    c.ScrollXTo(100, false);
    page.dragPress(page.dragData);
    EXPECT_EQ(page.dragAccumulator, 100.0);
    page.drag(page.dragData, 25.0, 0.0, 0);  // two samples a pixel
    EXPECT_EQ(c.scroll, 150);
    EXPECT_EQ(page.dragAccumulator, 150.0);
    // The window lets the page go with it.
    c.ReleaseViewHandlers();
    EXPECT_EQ(page.drag, nullptr);
    EXPECT_EQ(page.dragData, nullptr);
    l.chain.cell->host.readoutPage = nullptr;
}

TEST(ChartZoomTextTest, RatiosAsTexts) {
    struct Case {
        double factor, reciprocal;
        const char* text;
    } cases[] = {
        {0.5, 2.0, "1:2"},        {2.5, 0.4, "2.50:1"},   {1.0, 1.0, "1:1"},     {4.0, 0.25, "4:1"},
        {0.3, 1.0 / 0.3, "1:3.33"}, {std::nan(""), 8.0, "1:8"}, {1e20, 1e-20, "10000000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char text[18];
        FormatAspectRatio(c.factor, c.reciprocal, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

}  // namespace
}  // namespace orva
