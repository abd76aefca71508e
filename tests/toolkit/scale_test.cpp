// Scale readout, labels, flags and ranges (no window needed).
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>
#include <vector>
#include <cmath>

#include "toolkit/scale.h"

namespace orva {
namespace {

std::string Fmt(double v, bool asInt = false, size_t size = 16) {
    char out[32];
    ScaleFormatValue(v, asInt, out, size);
    return out;
}

TEST(ScaleTest, LabelTextsTrimTheirZeros) {
    for (auto [value, text] : std::initializer_list<std::pair<double, const char*>>{
             {3.10, "3.1"}, {3.00, "3"}, {3.05, "3.05"}, {12.5, "12.5"}, {-0.5, "-0.5"}, {100, "100"}})
        EXPECT_EQ(Fmt(value), text) << value;
    EXPECT_EQ(Fmt(1e15), "ERR");  // "1000000000000000" does not fit 15 characters
    EXPECT_EQ(Fmt(-9007199254740993.0, true, 21), "-9007199254740992");
    EXPECT_EQ(Fmt(1e300, true, 21), "9223372036854775807");  // saturated
    EXPECT_EQ(ScaleLabelCapacity(1280, 6.4f), 1280 * 2 / (6 * 3 + 4) + 2);
    EXPECT_EQ(ScaleLabelCapacity(0, 0), 2600 * 2 / 34 + 2);
    EXPECT_EQ(ScaleLabelCapacity(7000, -1), 2600 * 2 / 34 + 2);
}

TEST(ScaleTest, LabelsAppearFromAFortyPixelStepWithExponentAndShift) {
    SliderCtrl c(2.7f, 3.9f);
    EXPECT_EQ(std::tuple(c.scaleX, c.scaleY), std::tuple(2.0f, 3.0f));
    ASSERT_TRUE(c.SizeLabels(1000, 800));
    ScaleRecord& h = c.horizontal;
    h.rect[0] = 10, h.rect[1] = 5, h.rect[2] = 400, h.rect[3] = 20;
    h.stepIndex = 2;
    h.range = 100;
    h.remainder = 0;
    h.step = 39;
    SliderCtrl::BuildLabels(&h, false);
    EXPECT_EQ(h.labelCount, 0);
    h.step = 40;
    SliderCtrl::BuildLabels(&h, false);
    ASSERT_EQ(h.labelCount, 11);  // ticks at 0, 40, ..., 400
    EXPECT_STREQ(h.labels[0].text, "200");
    EXPECT_STREQ(h.labels[10].text, "1200");
    EXPECT_EQ(h.highlighted, 0);

    h.exponent = 3;
    h.shift = -2.5;
    SliderCtrl::BuildLabels(&h, false);
    EXPECT_STREQ(h.labels[0].text, "SCALE X: E+003");
    EXPECT_EQ(std::tuple(h.labels[0].x, h.labels[0].y), std::tuple(236.0f, 22.0f));
    EXPECT_STREQ(h.labels[1].text, "SHIFTING X: -2.5");
    EXPECT_EQ(h.highlighted, 1);
    ScaleRecord& v = c.vertical;
    v.step = 50, v.exponent = -12, v.shift = 4;
    v.rect[3] = 100;
    SliderCtrl::BuildLabels(&v, true);
    EXPECT_STREQ(v.labels[0].text, "SCALE Y: E-12");  // "%03d" counts the sign
    EXPECT_STREQ(v.labels[1].text, "SHIFTING Y: +4");
    // Integer labels.
    h.exponent = 0, h.shift = 0, h.flags = kScaleInt64, h.range = 3, h.stepIndex = -1;
    SliderCtrl::BuildLabels(&h, false);
    EXPECT_STREQ(h.labels[0].text, "-3");
    EXPECT_STREQ(h.labels[1].text, "0");
    // A full table stops the labels.
    h.labelCapacity = 2;
    SliderCtrl::BuildLabels(&h, false);
    EXPECT_EQ(h.labelCount, 2);
}

TEST(ScaleTest, ReadoutFlagsAndRange) {
    SliderCtrl c(1, 1);
    ScaleRecord& h = c.horizontal;
    h.rect[0] = 10;
    h.base = 0;
    h.step = 100;
    h.flags = kScaleDecompose;
    c.ValueFromPosH(260.4f, 300.0f);  // r = floor(10 - 260.4) = -251, value 251
    EXPECT_EQ(std::tuple(h.rounded, h.stepIndex, h.remainder), std::tuple(-251.0f, -2, 51.0f));
    EXPECT_FLOAT_EQ(h.cursorDistance, 551.0f);
    h.flags = 0, h.threshold = 0;
    c.ValueFromPosH(260.4f, kScaleNoCursor);
    EXPECT_EQ(std::tuple(h.stepIndex, h.remainder, h.cursorDistance), std::tuple(0, 251.0f, -1.0f));

    // Flags: "on" clears the change mask, "off" keeps the bits the user changed.
    EXPECT_TRUE(SliderCtrl::SetFlags(&h, 2, true));
    EXPECT_FALSE(SliderCtrl::SetFlags(&h, 2, true));
    EXPECT_TRUE(SliderCtrl::SetFlagsMasked(&h, &c.vertical, 4, true));
    EXPECT_EQ(h.changeMask, 4u);
    EXPECT_FALSE(SliderCtrl::SetFlags(&h, 4, false));  // held by the change mask
    EXPECT_TRUE(SliderCtrl::SetFlags(&h, 2, false));
    EXPECT_EQ(h.flags, 4u);
    c.vertical.flags = 4;
    EXPECT_TRUE(SliderCtrl::SetFlagsMasked(&h, &c.vertical, 4, false));
    EXPECT_EQ(std::tuple(h.flags, c.vertical.changeMask), std::tuple(0u, 4u));
    EXPECT_FALSE(SliderCtrl::SetFlagsMasked(&h, &c.vertical, 4, false));

    h.flags = kScaleInt64 | 2, h.range = 30, h.exponent = 2;
    c.SetRange(7, 9);
    EXPECT_EQ(std::tuple(h.flags, h.step, h.exponent, h.stepIndex), std::tuple(7u, 30.0, 0, 7));
    EXPECT_EQ(c.vertical.stepIndex, 9);
    SliderCtrl::SetColours(&h, true, true);
    EXPECT_EQ(std::tuple(h.colours[0], h.colours[5]), std::tuple(0.45f, 0.70f));
    SliderCtrl::ResetScale(&h);
    EXPECT_EQ(std::tuple(h.range, h.stepIndex), std::tuple(100, 100));
    EXPECT_FLOAT_EQ(h.colours[0], 0.60f);
}

TEST(ScaleTest, NiceTickSteps) {
    struct Case {
        double units;
        bool integer;
        double want;
    } cases[] = {
        {40.0, true, 50.0}, {800.0, true, 1000.0}, {10.0, true, 10.0}, {11.0, true, 20.0}, {0.078125, true, 1.0},
        {0.078125, false, 0.1}, {0.3, false, 0.5}, {1.5, false, 2.0}, {0.0, true, 1.0}, {-3.0, false, 1.0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(SliderCtrl::NiceTickStep(c.units, c.integer), c.want) << c.units;
}

// A value scale 400 pixels long: value = pixel position less the origin, times the units
// per pixel; labels every nice step at least 40 pixels apart.
TEST(ScaleTest, ValueLabelsFollowOriginAndUnits) {
    struct Case {
        double origin, units;
        int32_t kind;
        double pixelStep;
        float first;
        std::vector<std::string> texts;
    } cases[] = {
        {37.0, 1.0, kScaleValueInteger, 50.0, 37.0f, {"0", "50", "100", "150", "200", "250", "300", "350"}},
        {-30.0, 20.0, kScaleValueReal, 50.0, 20.0f, {"1000", "2000", "3000", "4000", "5000", "6000", "7000", "8000"}},
        {0.0, 0.25, kScaleValueInteger, 40.0, 0.0f, {"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}},
        {-600.0, 1.0 / 512.0, kScaleValueInteger, 512.0, 0.0f, {}},
        {-600.0, 1.0 / 512.0, kScaleValueReal, 51.2f, 0.0f, {}},
        {100.5, 2.0, kScaleValueInteger, 50.0, 0.5f, {"-200", "-100", "0", "100", "200", "300", "400", "500"}},
    };
    for (const Case& c : cases) {
        SliderCtrl ctrl(1, 1);
        ASSERT_TRUE(ctrl.SizeLabels(1000, 800));
        ScaleRecord& h = ctrl.horizontal;
        h.rect[0] = 0, h.rect[1] = 0, h.rect[2] = 400, h.rect[3] = 15;
        h.origin = c.origin;
        h.unitsPerPixel = c.units;
        h.valueKind = c.kind;
        SliderCtrl::BuildValueLabels(&h, false);
        EXPECT_NEAR(h.step, c.pixelStep, 1e-3) << c.origin << " " << c.units;
        const double first = std::fmod(static_cast<double>(h.remainder), h.step);
        if (!c.texts.empty()) {
            EXPECT_NEAR(first, c.first, 1e-3) << c.origin;
            ASSERT_EQ(h.labelCount, static_cast<int32_t>(c.texts.size())) << c.origin;
            for (size_t i = 0; i < c.texts.size(); ++i) EXPECT_STREQ(h.labels[i].text, c.texts[i].c_str()) << i;
            EXPECT_FLOAT_EQ(h.labels[0].x, c.first + 2.0f);
        }
    }
    // Zoomed in far: -600 pixels lie before the scale, a label each 512 pixels (whole
    // units) or each 0.1 unit (reals): the first at 1.2 units, pixel 14.4.
    SliderCtrl ctrl(1, 1);
    ASSERT_TRUE(ctrl.SizeLabels(1000, 800));
    ScaleRecord& h = ctrl.horizontal;
    h.rect[2] = 400;
    h.origin = -600.0;
    h.unitsPerPixel = 1.0 / 512.0;
    h.valueKind = kScaleValueReal;
    SliderCtrl::BuildValueLabels(&h, false);
    ASSERT_GE(h.labelCount, 7);
    EXPECT_STREQ(h.labels[0].text, "1.2");
    EXPECT_NEAR(h.labels[0].x, 14.4f + 2.0f, 1e-3);
    EXPECT_STREQ(h.labels[1].text, "1.3");
    // Whole units: unit 2 would lie at pixel 424, beyond the scale; from origin -300
    // unit 1 lies at pixel 212.
    h.valueKind = kScaleValueInteger;
    SliderCtrl::BuildValueLabels(&h, false);
    EXPECT_EQ(h.labelCount, 0);
    h.origin = -300.0;
    SliderCtrl::BuildValueLabels(&h, false);
    ASSERT_EQ(h.labelCount, 1);
    EXPECT_STREQ(h.labels[0].text, "1");
    EXPECT_FLOAT_EQ(h.labels[0].x, 214.0f);
}

// Ticks at the owner's step: start + k x step wherever they fall on the scale, values
// running with the pixels or against them, and a shown exponent first and highlighted.
TEST(ScaleTest, TickLabelsFollowTheOwnersStep) {
    SliderCtrl ctrl(1, 1);
    ASSERT_TRUE(ctrl.SizeLabels(1000, 800));
    ScaleRecord& h = ctrl.horizontal;
    h.rect[2] = 400;
    h.rect[3] = 15;
    // Pixel 10 is value 4000.5, a pixel is 0.5 units, a tick each 20 units (40 pixels).
    h.origin = 10.0;
    h.start = 4000.5;
    h.unitsPerPixel = 0.5;
    h.tickStep = 20.0;
    h.valueKind = kScaleValueReal;
    SliderCtrl::BuildTickLabels(&h, false);
    EXPECT_DOUBLE_EQ(h.step, 40.0);
    EXPECT_NEAR(h.remainder, 10.0f, 1e-4);
    ASSERT_EQ(h.labelCount, 10);  // pixels 10, 50, ..., 370
    EXPECT_STREQ(h.labels[0].text, "4000.5");
    EXPECT_STREQ(h.labels[1].text, "4020.5");
    EXPECT_FLOAT_EQ(h.labels[1].x, 52.0f);
    // The first tick before pixel 0 is skipped: the next one stands at pixel 30.
    h.origin = -10.0;
    SliderCtrl::BuildTickLabels(&h, false);
    EXPECT_STREQ(h.labels[0].text, "4020.5");
    EXPECT_FLOAT_EQ(h.labels[0].x, 32.0f);
    // Labels off: the ticks stay, the texts go.
    h.labelMode = kScaleLabelsNone;
    SliderCtrl::BuildTickLabels(&h, false);
    EXPECT_EQ(h.labelCount, 0);
    EXPECT_DOUBLE_EQ(h.step, 40.0);

    // A y scale: value 0 at pixel 200, values growing upwards, 0.25 units a tick of 25
    // pixels, shown as multiples of 10^-3.
    ScaleRecord& v = ctrl.vertical;
    v.rect[2] = 41;
    v.rect[3] = 200;
    v.origin = 200.0;
    v.start = 0.0;
    v.unitsPerPixel = -0.01;
    v.tickStep = 0.25;
    v.valueKind = kScaleValueReal;
    v.shownExponent = -3;
    SliderCtrl::BuildTickLabels(&v, true);
    ASSERT_GE(v.labelCount, 3);
    EXPECT_STREQ(v.labels[0].text, "E-003");
    EXPECT_EQ(v.highlighted, 1);
    // From the top: value 1.75 at pixel 25, 1.5 at 50, ... (value 2 at pixel 0 has no room).
    EXPECT_STREQ(v.labels[1].text, "1.75");
    EXPECT_FLOAT_EQ(v.labels[1].y, 23.0f);
    EXPECT_STREQ(v.labels[2].text, "1.5");
    EXPECT_EQ(v.labelCount, 1 + 8);  // 1.75 down to 0 at pixel 200
    // Nothing to build from a step or scale of 0, or a NaN.
    v.tickStep = 0.0;
    SliderCtrl::BuildTickLabels(&v, true);
    EXPECT_EQ(v.labelCount, 0);
    v.tickStep = 0.25;
    v.unitsPerPixel = std::nan("");
    SliderCtrl::BuildTickLabels(&v, true);
    EXPECT_EQ(v.labelCount, 0);
}

int gRoutineCalls = 0;
void CountingRoutine(ScaleRecord* s, bool vertical, void* data) {
    ++gRoutineCalls;
    EXPECT_TRUE(vertical);
    EXPECT_EQ(data, &gRoutineCalls);
    s->labelCount = 0;
}

TEST(ScaleTest, ReadoutRunsTheOwnersLabelRoutineOrNone) {
    SliderCtrl c(1, 1);
    ASSERT_TRUE(c.SizeLabels(1000, 800));
    ScaleRecord& v = c.vertical;
    v.rect[1] = 20, v.rect[2] = 41, v.rect[3] = 300;
    v.step = 40;
    v.labelRoutine = &CountingRoutine;
    v.labelData = &gRoutineCalls;
    gRoutineCalls = 0;
    c.ValueFromPosV(75.0f, kScaleNoCursor);  // r = floor(20 - 75) = -55: the origin 55 pixels down
    EXPECT_EQ(gRoutineCalls, 1);
    EXPECT_DOUBLE_EQ(v.origin, 55.0);
    // Without a routine the step-index labels are built, unless labels are off.
    v.labelRoutine = nullptr;
    c.ValueFromPosV(75.0f, kScaleNoCursor);
    EXPECT_GT(v.labelCount, 0);
    v.labelMode = kScaleLabelsNone;
    c.ValueFromPosV(75.0f, kScaleNoCursor);
    EXPECT_EQ(v.labelCount, 0);
    SliderCtrl::ResetScale(&v);
    EXPECT_EQ(std::tuple(v.labelMode, v.valueKind, v.labelSpacing), std::tuple(kScaleLabelsShown, kScaleValueInteger, 40));
}

}  // namespace
}  // namespace orva
