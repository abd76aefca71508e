// Glyph widgets on the recording backend: the container's list is a run of
// kind-541 widgets in the window's chain that follows every change of order,
// removal and undo, and a drag of a glyph moves its shape.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "shape_test_support.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/ui/glyph_list.h"
#include "toolkit/fake_window_fixture.h"
#include "toolkit/input.h"

namespace orva {
namespace {

class GlyphWidgets : public testing_util::FakeWindowTest {
protected:
    void SetUp() override {
        FakeWindowTest::SetUp();
        TheShapeGlobals().Reset();
        anchor = Add(3, 0, "view");
        auto list = std::make_unique<ToolkitShapeList>(window, anchor);
        box = std::make_unique<ShapeContainer>(&view, &frame, std::move(list));
    }
    void TearDown() override {
        box.reset();
        TheShapeGlobals().Reset();
        FakeWindowTest::TearDown();
    }
    Shape* Draw(float x0, float y0, float x1, float y1) {
        ShapeRequest r;
        r.kind = kKindRect;
        r.role = kRoleNone;
        r.start[0] = x0;
        r.start[1] = y0;
        r.end[0] = x1;
        r.end[1] = y1;
        return box->ShapeFromRequest(r, nullptr, nullptr);
    }
    // The shapes of the glyph widgets after the anchor widget, in chain order.
    std::vector<Shape*> Chain() const {
        std::vector<Shape*> shapes;
        for (gElement* e = anchor->next; e != nullptr; e = e->next) shapes.push_back(ShapeOfGlyphWidget(e));
        return shapes;
    }

    shape_testing::TestView view;
    shape_testing::TestFrame frame;
    gElement* anchor = nullptr;
    std::unique_ptr<ShapeContainer> box;
};

TEST_F(GlyphWidgets, TheListIsARunOfGlyphWidgets) {
    Shape* a = Draw(0, 0, 10, 10);
    Shape* b = Draw(20, 0, 30, 10);
    Shape* c = Draw(40, 0, 50, 10);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(Chain(), (std::vector<Shape*>{a, b, c}));
    gElement* w = ToolkitShapeList::WidgetOf(a->glyph);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->kind, kShapeGlyphKind);
    EXPECT_EQ(w->width, 20.0f);
    EXPECT_EQ(w->height, 20.0f);
    EXPECT_EQ(w->state0, 3);
    EXPECT_EQ(ShapeOfGlyphWidget(anchor), nullptr);

    // The current shape is drawn last.
    box->SetCurrentShape(a, false, true);
    EXPECT_EQ(Chain(), (std::vector<Shape*>{c, b, a}));

    // A removal kept for undo takes the widget out of the chain; undo puts it back.
    bool removed = false;
    ASSERT_TRUE(box->RemoveShape(0, nullptr, b, true, false, kUndoModeRecord, &removed));
    EXPECT_EQ(Chain(), (std::vector<Shape*>{c, a}));
    ASSERT_TRUE(box->undo.Step(true));
    EXPECT_EQ(Chain(), (std::vector<Shape*>{c, a, b}));
    box->RemoveAllShapes(kUndoModeRecord, nullptr, false);
    EXPECT_TRUE(Chain().empty());
    ASSERT_TRUE(box->undo.Step(true));
    EXPECT_EQ(Chain(), (std::vector<Shape*>{c, a, b}));

    box->SetShapesVisible(false);
    EXPECT_EQ(ToolkitShapeList::WidgetOf(c->glyph)->shown, 0);
}

TEST_F(GlyphWidgets, DraggingAGlyphMovesItsShape) {
    Shape* a = Draw(0, 0, 10, 10);
    ASSERT_NE(a, nullptr);
    gElement* w = ToolkitShapeList::WidgetOf(a->glyph);
    ASSERT_NE(w->onDrag, nullptr);
    gDragStep = pf::Point{4, -2};
    const AnchorBuffer& p = a->header.anchors;
    // A move with no button held (the pointer over the hot glyph) leaves the shape.
    gMouseButtonState() = 0;
    w->onDrag(w, &gCursorPos);
    EXPECT_EQ(p.X(0), 0.0f);
    EXPECT_EQ(p.Y(1), 10.0f);
    gMouseButtonState() = 1;
    w->onDrag(w, &gCursorPos);
    gMouseButtonState() = 0;
    EXPECT_EQ(p.X(0), 4.0f);
    EXPECT_EQ(p.Y(1), 8.0f);
    gDragStep = pf::Point{0, 0};
}

TEST_F(GlyphWidgets, AWindowThatDestroysItsWidgetsLeavesTheGlyphsWithout) {
    Shape* a = Draw(0, 0, 10, 10);
    ASSERT_NE(a, nullptr);
    gWinReleaseWidgets(window);
    EXPECT_EQ(ToolkitShapeList::WidgetOf(a->glyph), nullptr);
    box->RemoveAllNow();  // nothing left to unlink: no crash
    EXPECT_EQ(box->ShapeCount(), 0u);
}

}  // namespace
}  // namespace orva
