// The scroll slider: its range, resize and drag arithmetic, and the widget on the
// recording backend.
#include <gtest/gtest.h>

#include <tuple>

#include "fake_window_fixture.h"
#include "gl_test_support.h"
#include "platform/fake_backend.h"
#include "toolkit/layout.h"
#include "toolkit/scale.h"
#include "toolkit/slider.h"

namespace orva {
namespace {

using namespace testing_util;

// The widgets on the recording backend; the arithmetic alone needs none of it.
class ScrollSliderTest : public testing_util::FakeWindowTest {};

TEST_F(ScrollSliderTest, ThumbLengthStateAndFraction) {
    struct Case {
        float track;
        double visible, total, position;
        float thumb, pos;
        int state;
    } cases[] = {
        {100, 10, 1000, 0, 7, 1, 0},       // 7-pixel minimum, 13.3 < 93: state 0
        {100, 10, 1000, 990, 7, 93, 0},    // the end: the thumb ends at the track's end
        {100, 10, 1000, 5000, 7, 93, 0},   // past the end: lowered to total - visible
        {100, 50, 100, 25, 50, 26, 0},
        {5, 10, 1000, 0, 5, 1, 1},         // the minimum thumb exceeds the track: state 1
        {5, 999, 1000, 1, 5, 1, 1},
        {100, 1000, 10, 3, 100, 1, 0},     // everything visible: the thumb fills the track
        {100, 10, 100000, 0, 7, 1, 0},     // share raised to 7/100 whatever the rows
    };
    for (const Case& c : cases) {
        ScrollSlider s;
        ASSERT_TRUE(ScrollSliderApplyRange(&s, c.track, c.visible, c.total, c.position));
        EXPECT_EQ(s.thumbLength, c.thumb) << c.track << " " << c.visible << "/" << c.total;
        EXPECT_LE(s.thumbLength, c.track);
        EXPECT_EQ(s.thumbPos, c.pos) << c.track << " " << c.position;
        EXPECT_EQ(s.state, c.state) << c.track << " " << c.visible << "/" << c.total;
        EXPECT_GE(ScrollSliderFraction(&s, c.track), 0.0f);
        EXPECT_LE(ScrollSliderFraction(&s, c.track), 1.0f);
    }
    ScrollSlider s;
    EXPECT_FALSE(ScrollSliderApplyRange(&s, 100, -1, 10, 0));
    // 5-pixel track: no travel, so dragging never moves and the fraction is 0.
    ASSERT_TRUE(ScrollSliderApplyRange(&s, 5, 10, 1000, 500));
    EXPECT_FALSE(ScrollSliderMoveThumb(&s, 5, 3));
    EXPECT_EQ(ScrollSliderFraction(&s, 5), 0.0f);
    // 100-pixel track: travel 92 from start 1.
    ASSERT_TRUE(ScrollSliderApplyRange(&s, 100, 10, 1000, 0));
    EXPECT_TRUE(ScrollSliderMoveThumb(&s, 100, 47));
    EXPECT_FLOAT_EQ(ScrollSliderFraction(&s, 100), 46.0f / 92.0f);
    EXPECT_TRUE(ScrollSliderMoveThumb(&s, 100, 500));
    EXPECT_EQ(s.thumbPos, 93.0f);
    EXPECT_FLOAT_EQ(ScrollSliderFraction(&s, 100), 1.0f);
    EXPECT_TRUE(ScrollSliderMoveThumb(&s, 100, -20));
    EXPECT_EQ(s.thumbPos, 1.0f);
    // Resize keeps the shares and reapplies the minimum; share 1 fills the track.
    ASSERT_TRUE(ScrollSliderApplyRange(&s, 100, 30, 100, 35));  // share 0.3, position 0.5
    EXPECT_EQ(std::tuple(s.thumbLength, s.thumbPos), std::tuple(30.0f, 36.0f));
    ScrollSliderApplyResize(&s, 200);
    EXPECT_EQ(std::tuple(s.thumbLength, s.thumbPos), std::tuple(60.0f, 71.0f));
    ScrollSliderApplyResize(&s, 10);
    EXPECT_EQ(std::tuple(s.thumbLength, s.state), std::tuple(7.0f, 0));
    ASSERT_TRUE(ScrollSliderApplyRange(&s, 100, 100, 100, 0));
    ScrollSliderApplyResize(&s, 50);
    EXPECT_EQ(std::tuple(s.thumbLength, s.thumbPos), std::tuple(50.0f, 1.0f));
}

float gFraction = -1;
void OnScroll(uintptr_t data, float fraction) { gFraction = fraction + static_cast<float>(data); }

TEST_F(ScrollSliderTest, WidgetDragsReportTheFraction) {
    gElement* e = ScrollSliderCreate(window, nullptr, OnScroll, true, 100, 12, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, kScrollSliderV);
    EXPECT_EQ(ScrollSliderTrackLength(e), 100.0f);
    ScrollSlider* s = ScrollSliderFromWidget(e);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->thumbLength, 100.0f);  // nothing to scroll yet
    ASSERT_TRUE(ScrollSliderSetRange(e, 10, 1000, 0));
    EXPECT_EQ(s->thumbLength, 7.0f);
    pf::Point p{0, static_cast<int32_t>(e->y) + 50};  // thumb centred on the pointer: start 46
    ScrollSliderDrag(e, &p);
    EXPECT_EQ(std::tuple(s->thumbPos, gFraction), std::tuple(46.0f, 45.0f / 92.0f));
    gFraction = -1;
    ScrollSliderDrag(e, &p);  // no movement, no callback
    EXPECT_EQ(gFraction, -1.0f);
    e->cellHeight = 200;
    ScrollSliderResize(e);
    EXPECT_EQ(s->thumbLength, 7.0f);  // 0.01 of 200 is below the minimum
    EXPECT_EQ(s->thumbPos, 46.0f);     // position share 0: the thumb stays where dragged
    EXPECT_FALSE(ScrollSliderSetRange(e, 1, 2, -3));
    EXPECT_EQ(ScrollSliderFromWidget(nullptr), nullptr);

    // The scales' widgets: made once, shown and hidden, freed with the control.
    {
        SliderCtrl c(1, 1);
        ASSERT_TRUE(c.Show(window, true, nullptr, 0));
        ASSERT_NE(c.widgetH, nullptr);
        EXPECT_EQ(std::tuple(c.widgetH->kind, c.widgetV->kind, c.useCount), std::tuple(kScaleKindH, kScaleKindV, 2));
        EXPECT_EQ(c.widgetH->shown, 1);
        EXPECT_EQ(ScaleControlOf(c.widgetV), &c);
        EXPECT_GE(c.horizontal.labelCapacity, 2);
        ASSERT_TRUE(c.Show(window, false, nullptr, 0));
        EXPECT_EQ(c.widgetV->shown, 0);
    }
}

TEST(ScaleGlTest, ScalesAndSliderPaint) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(30, 30, 320, 240);
    ASSERT_NE(window, nullptr);
    SliderCtrl c(1, 1);
    ASSERT_TRUE(c.Show(window, true, nullptr, 0));
    gElement* slider = ScrollSliderCreate(window, nullptr, nullptr, false, 100, 12, 0);
    ASSERT_NE(slider, nullptr);
    ASSERT_TRUE(ScrollSliderSetRange(slider, 50, 100, 0));  // thumb 50 long from the start
    ASSERT_TRUE(OpenShown(window, "Scales"));
    c.horizontal.step = 50;
    c.horizontal.remainder = 0;
    c.ValueFromPosH(c.widgetH->x, kScaleNoCursor);
    PaintWindow(window);
    gElement* h = c.widgetH;
    // The horizontal scale is white with a black major tick every step.
    EXPECT_EQ(WidgetPixel(window, h, h->x + 20, h->y + 3), (Rgb{255, 255, 255}));
    EXPECT_EQ(WidgetPixel(window, h, h->x + 50, h->y + 3), (Rgb{0, 0, 0}));
    // The slider's thumb differs from its track.
    Rgb thumb = WidgetPixel(window, slider, slider->x + 20, slider->y + 6);
    Rgb track = WidgetPixel(window, slider, slider->x + 80, slider->y + 6);
    EXPECT_FALSE(thumb == track);
    platform::SwapBuffers(window->hdc);
    CloseToolkit();
}

}  // namespace
}  // namespace orva
