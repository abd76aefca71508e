// The "Edit Shape..." panel without its window: the numbers as its fields show them, the
// reference it holds on its shape, and its Move and Rotate on the shape, on all others or
// on all shapes, mirrored for the display orientations that mirror the data.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "shapes/shape_test_support.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/shape_panel.h"

namespace orva {
namespace {

using namespace shape_testing;

std::string Shown(double value) {
    char text[kPanelNumberSize];
    FormatPanelNumber(value, text);
    return text;
}

TEST(PanelNumbers, TrailingZerosGoAndLongNumbersKeepTheirDigits) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {12.0, "12"},     {12.5, "12.5"},   {0.0, "0"},        {0.25, "0.25"},  {10.0, "10"},
        {100.1, "100.1"}, {-3.5, "-3.5"},   {-2.0, "-2"},      {1.004, "1"},    {99999.99, "99999.99"},
        // "%.2f" of these does not fit in 19 characters.
        {1e20, "1e+20"},  {-1.5e17, "-1.5e+17"}, {123456789012345678.0, "1.23456789e+17"},
    };
    for (const Case& c : cases) EXPECT_EQ(Shown(c.value), c.text) << c.value;
}

class ShapePanel : public ContainerTest {
protected:
    ~ShapePanel() override { ResetEditShapePanel(); }
};

TEST_F(ShapePanel, HoldsAReferenceOnItsShape) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    const int32_t refs = static_cast<int32_t>(s->refCount.load());
    ShapePanelSetTarget(s);
    EXPECT_EQ(ShapePanelTarget(), s);
    EXPECT_EQ(static_cast<int32_t>(s->refCount.load()), refs + 1);
    // Another target: the first reference goes, the second comes.
    Shape* t = Add(kKindRect, {20, 20, 30, 30});
    ShapePanelSetTarget(t);
    EXPECT_EQ(static_cast<int32_t>(s->refCount.load()), refs);
    ShapePanelSetTarget(nullptr);
    EXPECT_EQ(ShapePanelTarget(), nullptr);
    EXPECT_EQ(static_cast<int32_t>(t->refCount.load()), refs);
}

TEST_F(ShapePanel, MovesTheShapeOrTheOthersMirroredForOrientationsFiveAndSix) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    Shape* other = Add(kKindRect, {20, 20, 30, 30});
    ShapePanelSetTarget(s);
    ShapeGlobals& g = TheShapeGlobals();
    g.panelMoveX = 1.0f;
    g.panelMoveY = 2.0f;
    ASSERT_TRUE(ShapePanelMove(1));
    EXPECT_DOUBLE_EQ(s->header.box.x, 1.0);
    EXPECT_DOUBLE_EQ(s->header.box.y, 0.0);
    ASSERT_TRUE(ShapePanelMove(2));
    EXPECT_DOUBLE_EQ(s->header.box.y, 2.0);
    g.displayOrientation = 5;
    ASSERT_TRUE(ShapePanelMove(1));
    EXPECT_DOUBLE_EQ(s->header.box.x, 0.0) << "dx = 1 moves by -1";
    g.displayOrientation = 0;
    EXPECT_DOUBLE_EQ(other->header.box.x, 20.0);
    // All others: the panel's shape stays, one step moves the rest, one undo reverts it.
    ShapePanelSetScope(kScopeExclude);
    const uint32_t steps = box.undo.count;
    ASSERT_TRUE(ShapePanelMove(0));
    EXPECT_DOUBLE_EQ(s->header.box.x, 0.0);
    EXPECT_DOUBLE_EQ(other->header.box.x, 21.0);
    EXPECT_DOUBLE_EQ(other->header.box.y, 22.0);
    EXPECT_EQ(box.undo.count, steps + 1);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_DOUBLE_EQ(other->header.box.x, 20.0);
    // All shapes.
    ShapePanelSetScope(kScopeAll);
    ASSERT_TRUE(ShapePanelMove(1));
    EXPECT_DOUBLE_EQ(s->header.box.x, 1.0);
    EXPECT_DOUBLE_EQ(other->header.box.x, 21.0);
    // Nothing to move.
    g.panelMoveX = g.panelMoveY = 0.0f;
    EXPECT_FALSE(ShapePanelMove(0));
}

TEST_F(ShapePanel, RotatesByTheAngleMirroredForOrientationSix) {
    Shape* s = Add(kKindRect, {0, 0, 10, 20});
    ShapePanelSetTarget(s);
    ShapeGlobals& g = TheShapeGlobals();
    g.panelAngle = 90.0f;
    const uint32_t steps = box.undo.count;
    ASSERT_TRUE(ShapePanelRotate());
    EXPECT_NEAR(s->header.anchors.X(0), 15.0f, 1e-5);
    EXPECT_NEAR(s->header.anchors.Y(0), 5.0f, 1e-5);
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(box.undo.last->Code(), kUndoAnchors);
    // Mirrored: back again.
    g.displayOrientation = 6;
    ASSERT_TRUE(ShapePanelRotate());
    EXPECT_NEAR(s->header.anchors.X(0), 0.0f, 1e-5);
    EXPECT_NEAR(s->header.anchors.Y(0), 0.0f, 1e-5);
    g.panelAngle = 0.0f;
    EXPECT_FALSE(ShapePanelRotate());
}

}  // namespace
}  // namespace orva
