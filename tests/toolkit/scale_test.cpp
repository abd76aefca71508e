// Scale readout, labels, flags and ranges (no window needed).
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <tuple>
#include <utility>

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

}  // namespace
}  // namespace orva
