// The affine filter's settings page without its widgets: the step tables of the angle
// and the zoom, the wrap of the angle, the zoom's stops, snap and repeat, the per-cent
// texts, typed values (a zoom of 0 or below refused), "Link [XY]", "Default" and what
// each change tells the stage below.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

#include "affine_test_support.h"
#include "processing/modules/affine_panel.h"
#include "toolkit/input.h"

namespace orva {
namespace {

using namespace testing_util;

class AffinePanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel.instance = chain.instance;
        panel.state = chain.State();
    }
    // How often the stage below was told of a change.
    int Told() const { return chain.consumer.changed.load(); }

    AffineChain chain{MakeFrame(200, 80, 1), 0x40};
    AffinePanel panel;
};

constexpr uint32_t kShift = kKeyShiftL, kCtrl = kKeyCtrlR, kAlt = kKeyAltL;

TEST(AffinePanelNumbers, StepTablesByModifierKeys) {
    struct Case {
        uint32_t keys;
        double angle, zoom;
    } cases[] = {
        {0, 0.1, 0.001},
        {kShift, 1, 0.01},
        {kCtrl, 0.01, 0.0001},
        {kCtrl | kShift, 0.1, 0.001},
        {kAlt, 90, 1},
        {kAlt | kShift, 180, 2},
        {kAlt | kCtrl, 45, 0.1},
        {kAlt | kCtrl | kShift, 90, 1},
        // Either key of a pair counts.
        {kKeyShiftR | kKeyAltR, 180, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AffineAngleStep(c.keys), c.angle) << std::hex << c.keys;
        EXPECT_EQ(AffineZoomStep(c.keys), c.zoom) << std::hex << c.keys;
    }
}

TEST(AffinePanelNumbers, AngleWrapsAtAFullTurn) {
    EXPECT_NEAR(AffineSteppedAngle(359.95, true, 0), 0.05, 1e-9);
    EXPECT_NEAR(AffineSteppedAngle(-359.95, false, 0), -0.05, 1e-9);
    EXPECT_EQ(AffineSteppedAngle(270, true, kAlt), 0.0);
    EXPECT_EQ(AffineSteppedAngle(-270, false, kAlt), 0.0);
    // Below a full turn nothing is taken off.
    EXPECT_NEAR(AffineSteppedAngle(300, true, kShift), 301.0, 1e-12);
    EXPECT_NEAR(AffineSteppedAngle(-100, false, kAlt | kShift), -280.0, 1e-12);
}

TEST(AffinePanelNumbers, ZoomStepsStopsRepeatAndSnap) {
    struct Case {
        double zoom;
        bool up;
        uint32_t keys;
        int repeat;
        double lowest, expected;
    } cases[] = {
        {1.0, true, 0, 0, 0.001, 1.001},
        {1.0, true, 0, 4, 0.001, 1.005},     // the step times (repeat + 1)
        {1.0, false, kShift, 2, 0.001, 0.97},
        {511.5, true, kAlt, 0, 0.001, 512},  // held at 512
        {512, true, kAlt | kShift, 9, 0.001, 512},
        {0.01, false, kShift, 0, 0.005, 0.005},  // stopped at the lowest factor (1 / 200)
        {0.0015, false, 0, 0, 0.001, 0.001},
        {2.0, false, kAlt | kCtrl, 0, 0.001, 1.9},
    };
    for (const Case& c : cases) {
        const double z = AffineSteppedZoom(c.zoom, c.up, c.keys, c.repeat, c.lowest);
        EXPECT_NEAR(z, c.expected, 1e-12) << c.zoom << (c.up ? " up" : " down") << " x" << c.repeat + 1;
    }
}

TEST(AffinePanelNumbers, PercentTexts) {
    struct Case {
        double zoom;
        const char* text;
    } cases[] = {
        {1.0, "100%"}, {0.5, "50%"}, {0.125, "12.5%"}, {512, "51200%"}, {2.0, "200%"},
        {0.001, "0.1%"}, {1.0001, "100.01%"},
    };
    char text[40];
    for (const Case& c : cases) {
        AffinePercentText(c.zoom, text);
        EXPECT_STREQ(text, c.text) << c.zoom;
    }
    // Below 0.1 per cent the common library's 13-place, 3-decimal form.
    AffinePercentText(0.0005, text);
    EXPECT_STREQ(text, "0.05%");
}

TEST(AffinePanelNumbers, TypedZoomsAreReadCheckedAndHeld) {
    struct Case {
        const char* text;
        bool read;
        double factor;
    } cases[] = {
        {"200", true, 2.0}, {"50%", true, 0.5}, {" 12.5 % ", true, 0.125}, {"0", false, 0},
        {"-50", false, 0},  {"abc", false, 0},  {"", false, 0},            {"%", false, 0},
        {"1e9", true, 512}, {"0.01", true, 0.005},  // raised to the lowest factor
        {"nan", false, 0},  {"inf", false, 0},
    };
    for (const Case& c : cases) {
        double factor = -1.0;
        EXPECT_EQ(AffineTypedZoom(c.text, 0.005, &factor), c.read) << c.text;
        if (c.read) {
            EXPECT_DOUBLE_EQ(factor, c.factor) << c.text;
        }
    }
}

TEST_F(AffinePanelTest, AltUpFromZeroTurnsByARightAngleWithTheNearestKernel) {
    ASSERT_TRUE(AffineSetFilter(chain.instance, true));
    const int before = Told();
    AffinePanelStepAngle(&panel, true, kAlt);
    const AffineRecord& r = chain.Record();
    EXPECT_EQ(std::tuple(r.angle, r.rotated, r.rightAngle, r.active), std::tuple(90.0, 1, 1, 1));
    EXPECT_EQ(r.cosA, 0.0);
    EXPECT_EQ(r.sinA, 1.0);
    EXPECT_EQ(chain.instance->callbacks.process, &AffineNearestD1);
    EXPECT_EQ(chain.instance->skip, 0);
    EXPECT_GT(Told(), before);
    // Another angle uses the selected mode ("Bilinear").
    AffinePanelStepAngle(&panel, true, kAlt | kCtrl);
    EXPECT_EQ(chain.Record().angle, 135.0);
    EXPECT_EQ(chain.instance->callbacks.process, &AffineBilinearD1);
    // Stepping up from 359.95 lands on 0.05.
    AffinePanelSetAngle(&panel, 359.95);
    AffinePanelStepAngle(&panel, true, 0);
    EXPECT_NEAR(chain.Record().angle, 0.05, 1e-9);
    // The reset turns the filter back to the identity: skipped again.
    AffinePanelSetAngle(&panel, 0.0);
    EXPECT_EQ(std::tuple(chain.Record().rotated, chain.instance->skip), std::tuple(0, 1));
}

TEST_F(AffinePanelTest, ZoomStopsAtTheFrameAndLinkKeepsTheRatio) {
    // The lowest factors come from the input frame, 200 x 80.
    EXPECT_DOUBLE_EQ(AffineLowestZoom(chain.instance, 0), 1.0 / 200);
    EXPECT_DOUBLE_EQ(AffineLowestZoom(chain.instance, 1), 1.0 / 80);
    AffinePanelSetLink(&panel, false);
    ASSERT_TRUE(AffinePanelTypedZoom(&panel, 0, "1%"));
    AffinePanelStepZoom(&panel, 0, false, kShift, 0);
    EXPECT_DOUBLE_EQ(chain.Record().zoomX, 1.0 / 200);
    EXPECT_EQ(chain.Record().zoomY, 1.0);

    // Linked and equal: both follow; linked and different: the ratio stays, capped at 512.
    ASSERT_TRUE(AffinePanelDefaultZoom(&panel));
    AffinePanelSetLink(&panel, true);
    AffinePanelStepZoom(&panel, 0, true, kAlt, 0);
    EXPECT_EQ(std::tuple(chain.Record().zoomX, chain.Record().zoomY), std::tuple(2.0, 2.0));
    ASSERT_TRUE(AffinePanelTypedZoom(&panel, 1, "400"));
    AffinePanelStepZoom(&panel, 0, true, kAlt | kShift, 0);  // 2 -> 4: Y 4 -> 8
    EXPECT_EQ(std::tuple(chain.Record().zoomX, chain.Record().zoomY), std::tuple(4.0, 8.0));
    ASSERT_TRUE(AffinePanelTypedZoom(&panel, 1, "80000"));  // 800 is held at 512
    EXPECT_EQ(chain.Record().zoomY, 512.0);
    AffinePanelStepZoom(&panel, 0, true, kAlt, 0);  // 4 -> 5 with Y 512 * 5 / 4: held
    EXPECT_EQ(std::tuple(chain.Record().zoomX, chain.Record().zoomY), std::tuple(5.0, 512.0));
    EXPECT_EQ(std::tuple(chain.Record().scaled, chain.Record().stepX), std::tuple(1, 0.2));
}

TEST_F(AffinePanelTest, TypedZeroAndNegativeZoomsAreRefused) {
    ASSERT_TRUE(AffinePanelTypedZoom(&panel, 0, "250%"));
    const int before = Told();
    for (const char* text : {"0", "-50", "x"}) {
        EXPECT_FALSE(AffinePanelTypedZoom(&panel, 0, text)) << text;
        EXPECT_EQ(chain.Record().zoomX, 2.5) << text;
    }
    EXPECT_EQ(Told(), before);
    // A typed angle that does not read changes nothing either.
    EXPECT_FALSE(AffinePanelTypedAngle(&panel, "ten"));
    EXPECT_TRUE(AffinePanelTypedAngle(&panel, "450"));
    EXPECT_EQ(std::tuple(chain.Record().angle, chain.Record().rightAngle), std::tuple(90.0, 1));
}

TEST_F(AffinePanelTest, DefaultAtOneTellsNothingAndResetsOtherwise) {
    const int start = Told();
    EXPECT_FALSE(AffinePanelDefaultZoom(&panel));
    AffinePanelResetZoom(&panel, 0);
    EXPECT_EQ(Told(), start);
    ASSERT_TRUE(AffinePanelTypedZoom(&panel, 0, "300"));
    ASSERT_TRUE(AffinePanelTypedZoom(&panel, 1, "50"));
    EXPECT_EQ(chain.instance->skip, 0);
    const int scaled = Told();
    EXPECT_GT(scaled, start);
    AffinePanelResetZoom(&panel, 1);
    EXPECT_EQ(std::tuple(chain.Record().zoomX, chain.Record().zoomY, chain.Record().scaledY), std::tuple(3.0, 1.0, 0));
    EXPECT_TRUE(AffinePanelDefaultZoom(&panel));
    EXPECT_EQ(std::tuple(chain.Record().zoomX, chain.Record().scaled, chain.Record().active), std::tuple(1.0, 0, 0));
    EXPECT_EQ(chain.instance->skip, 1);
    EXPECT_GT(Told(), scaled);  // the identity again: the stage below sees the input
}

TEST_F(AffinePanelTest, MirrorsOrderFilterAndModes) {
    AffinePanelSetMirror(&panel, true, true);
    EXPECT_EQ(std::tuple(chain.Record().flipX, chain.Record().flipY, chain.Record().flipped), std::tuple(1, 0, 1));
    EXPECT_EQ(chain.instance->callbacks.process, &AffineNearestD1);
    AffinePanelSetMirror(&panel, false, true);
    AffinePanelSetMirror(&panel, true, false);
    EXPECT_EQ(std::tuple(chain.Record().flipX, chain.Record().flipY, chain.Record().geometric), std::tuple(0, 1, 1));
    const uint8_t order = chain.Record().order;
    AffinePanelToggleOrder(&panel);
    EXPECT_EQ(chain.Record().order, order != 0 ? 0 : 1);
    // Modes step without wrapping; "Filter" switches interpolation.
    EXPECT_FALSE(AffinePanelStepMode(&panel, false));
    EXPECT_TRUE(AffinePanelStepMode(&panel, true));
    EXPECT_TRUE(AffinePanelStepMode(&panel, true));
    EXPECT_FALSE(AffinePanelStepMode(&panel, true));
    EXPECT_STREQ(AffineModeName(chain.instance), "Bicubic [fast]");
    EXPECT_TRUE(AffinePanelSetFilter(&panel, true));
    EXPECT_FALSE(AffinePanelSetFilter(&panel, true));
    EXPECT_FALSE(AffinePanelStepMethod(&panel, true));  // one method
    // Without an instance every control does nothing.
    AffinePanel none;
    AffinePanelStepAngle(&none, true, kAlt);
    EXPECT_FALSE(AffinePanelTypedZoom(&none, 0, "200"));
    EXPECT_FALSE(AffinePanelDefaultZoom(&none));
}

}  // namespace
}  // namespace orva
