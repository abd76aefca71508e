#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "shapes/shape_test_support.h"
#include "shapes/ui/shape_labels.h"

namespace orva {
namespace {

using namespace shape_testing;

// A shape with points but no derived geometry (huge coordinates build no masks).
Shape* Bare(int32_t kind, std::initializer_list<float> xy) {
    Shape* s = CreateShape(kind);
    std::vector<float> p(xy);
    s->header.anchors.SetPoints(p.data(), static_cast<uint32_t>(p.size() / 2));
    return s;
}

std::string Line(const ShapeLabelText& t, int i) { return t.lines[i]; }

class ShapeLabels : public ContainerTest {};

TEST_F(ShapeLabels, FirstLinesOfEachKind) {
    ShapeRef rect(MakeShape(kKindRect, {0, 0, 10, 4}));
    StrReleaseClear(&rect.Get()->name);
    ShapeLabelText t;
    ASSERT_TRUE(FormatShapeLabel(*rect.Get(), 2, &t));
    EXPECT_EQ(Line(t, 0), "Rect  [W=10.0, H=4.0, S=40.0, A=0]");
    EXPECT_TRUE(t.Empty(1));
    EXPECT_FALSE(FormatShapeLabel(*rect.Get(), 1, &t)) << "level 1 draws no label";

    ShapeRef poly(MakeShape(kKindPolyLine, {0, 0, 5, 0, 5, 7.34f}));
    StrReleaseClear(&poly.Get()->name);
    poly.Get()->derived.length = 12.34;
    ASSERT_TRUE(FormatShapeLabel(*poly.Get(), 2, &t));
    EXPECT_EQ(Line(t, 0), "  [Vrx=3, L=12.3, A=1]");

    ShapeRef spline(MakeShape(kKindBSpline, {0, 0, 5, 0, 5, 7}));
    StrReleaseClear(&spline.Get()->name);
    spline.Get()->derived.length = 9.96;
    spline.Get()->header.offset.aperture[0] = 4;
    ASSERT_TRUE(FormatShapeLabel(*spline.Get(), 2, &t));
    EXPECT_EQ(Line(t, 0), "  [CtlPts=3, L=10.0, A=5]");

    // A named shape shows its first 12 characters.
    ShapeRef point(MakeShape(kKindPoint, {3, 4, 7, 8}));
    StrAssign(&point.Get()->name, "abcdefghijklmnopqrst", -1);
    ASSERT_TRUE(FormatShapeLabel(*point.Get(), 3, &t));
    EXPECT_EQ(Line(t, 0), "abcdefghijkl  N=1 / 2");
    EXPECT_EQ(Line(t, 1), "(3.0, 4.0)");
    // The point selected alone among several is the one labelled.
    point.Get()->header.anchors.selectedCount = 1;
    point.Get()->header.anchors.lastSelected = 1;
    ASSERT_TRUE(FormatShapeLabel(*point.Get(), 3, &t));
    EXPECT_EQ(Line(t, 0), "abcdefghijkl  N=2 / 2");
    EXPECT_EQ(Line(t, 1), "(7.0, 8.0)");
}

TEST_F(ShapeLabels, CoordinateLinesAtLevelThree) {
    ShapeRef line(MakeShape(kKindLine, {0, 0, 0, -5}));
    StrReleaseClear(&line.Get()->name);
    ShapeLabelText t;
    ASSERT_TRUE(FormatShapeLabel(*line.Get(), 3, &t));
    EXPECT_EQ(Line(t, 1), "(0.0, 0.0) (0.0, -5.0)");
    EXPECT_EQ(Line(t, 2), std::string("r=(0.0, -5.0) angle=-90.00") + '\xB0');
    ASSERT_TRUE(FormatShapeLabel(*line.Get(), 2, &t));
    EXPECT_TRUE(t.Empty(1));
    EXPECT_TRUE(t.Empty(2));

    ShapeRef rect(MakeShape(kKindRect, {1, 2, 11, 6}));
    ASSERT_TRUE(FormatShapeLabel(*rect.Get(), 3, &t));
    EXPECT_EQ(Line(t, 1), "(1.0, 2.0) (11.0, 6.0)");
    EXPECT_TRUE(t.Empty(2));

    // 89 characters fill the coordinate line's limit exactly: it is dropped; 88 are kept.
    const float p63 = std::ldexp(1.0f, 63), p60 = std::ldexp(1.0f, 60), p57 = std::ldexp(1.0f, 57);
    ShapeRef full(Bare(kKindRect, {p63, p60, std::ldexp(1.0f, 53), p57}));
    ASSERT_TRUE(FormatShapeLabel(*full.Get(), 3, &t));
    EXPECT_TRUE(t.Empty(1));
    EXPECT_FALSE(t.Empty(0));
    ShapeRef fits(Bare(kKindRect, {p63, p60, std::ldexp(1.0f, 49), p57}));
    ASSERT_TRUE(FormatShapeLabel(*fits.Get(), 3, &t));
    EXPECT_EQ(std::string(t.lines[1]).size(), 88u);
}

TEST_F(ShapeLabels, LabelsOfTheCurrentShapeOnly) {
    Shape* a = Add(kKindRect, {0, 0, 10, 10});
    Shape* b = Add(kKindRect, {20, 20, 30, 30});
    box.labelLevel = 3;
    box.SetCurrentShape(b, false, false);
    EXPECT_EQ(EffectiveLabelLevel(*a), 3);
    box.labelsForCurrentOnly = 1;
    EXPECT_EQ(EffectiveLabelLevel(*a), 0);
    EXPECT_EQ(EffectiveLabelLevel(*b), 3);
    ShapeLabelText t;
    EXPECT_FALSE(FormatShapeLabel(*a, EffectiveLabelLevel(*a), &t));
}

TEST_F(ShapeLabels, PlacedInsideTheWindowOrNotAtAll) {
    ShapeLabelText t;
    std::snprintf(t.lines[0], sizeof t.lines[0], "%s", "Rect  [W=10.0]");
    const float widths[3] = {80.0f, 0.0f, 0.0f};
    const float rect[4] = {10.0f, 20.0f, 200.0f, 100.0f};  // right edge 210, bottom 120
    const float offset[2] = {7.0f, 13.0f};
    ShapeLabelBox b;
    // Room enough: the box at the anchor plus the offset, 4 wider than the text.
    const float at[2] = {50.0f, 40.0f};
    ASSERT_TRUE(LayoutShapeLabel(kKindRect, t, widths, 13.0f, at, offset, rect, &b));
    EXPECT_FLOAT_EQ(b.x, 57.0f);
    EXPECT_FLOAT_EQ(b.y, 53.0f);
    EXPECT_FLOAT_EQ(b.width, 84.0f);
    EXPECT_FLOAT_EQ(b.height, 17.0f);
    EXPECT_FLOAT_EQ(b.baseline[0], 13.0f);
    // A wide one near the right edge is moved left so that it ends at the edge.
    const float near[2] = {180.0f, 40.0f};
    ASSERT_TRUE(LayoutShapeLabel(kKindRect, t, widths, 13.0f, near, offset, rect, &b));
    EXPECT_FLOAT_EQ(b.x, 210.0f - 84.0f);
    // An anchor within 5 units of the right or the bottom edge shows none.
    for (auto [x, y] : {std::pair{206.0f, 40.0f}, {205.0f, 40.0f}, {50.0f, 115.0f}}) {
        const float p[2] = {x, y};
        EXPECT_FALSE(LayoutShapeLabel(kKindRect, t, widths, 13.0f, p, offset, rect, &b)) << x << ", " << y;
    }
    const float inside[2] = {204.9f, 114.9f};
    EXPECT_TRUE(LayoutShapeLabel(kKindRect, t, widths, 13.0f, inside, offset, rect, &b));
    // The label's corner must lie right of and below the window's corner.
    const float left[2] = {0.0f, 40.0f};
    EXPECT_FALSE(LayoutShapeLabel(kKindRect, t, widths, 13.0f, left, offset, rect, &b));
}

TEST_F(ShapeLabels, BoxHeightFollowsTheLines) {
    ShapeLabelText t;
    std::snprintf(t.lines[0], sizeof t.lines[0], "%s", "  [Vrx=2]");
    std::snprintf(t.lines[1], sizeof t.lines[1], "%s", "(0.0, 0.0) (0.0, -5.0)");
    std::snprintf(t.lines[2], sizeof t.lines[2], "%s", "r=(0.0, -5.0) angle=-90.00");
    const float rect[4] = {0.0f, 0.0f, 500.0f, 500.0f}, at[2] = {50.0f, 50.0f}, offset[2] = {0.0f, 0.0f};
    // Line 3 is 4 characters longer than line 2: only it is measured of the two.
    const float widths[3] = {40.0f, 150.0f, 120.0f};
    ShapeLabelBox b;
    ASSERT_TRUE(LayoutShapeLabel(kKindLine, t, widths, 10.0f, at, offset, rect, &b));
    EXPECT_FLOAT_EQ(b.width, 124.0f);
    // Open curves: lines of font height + 2, the box 4 more.
    EXPECT_FLOAT_EQ(b.height, 12.0f * 3 + 4.0f);
    EXPECT_FLOAT_EQ(b.baseline[2], 36.0f);
    // A figure's second line is font height + 2 below its first (font height) one.
    t.lines[2][0] = '\0';
    ASSERT_TRUE(LayoutShapeLabel(kKindRect, t, widths, 10.0f, at, offset, rect, &b));
    EXPECT_FLOAT_EQ(b.height, 10.0f + 4.0f + 12.0f);
    EXPECT_FLOAT_EQ(b.baseline[1], 22.0f);
}

}  // namespace
}  // namespace orva
