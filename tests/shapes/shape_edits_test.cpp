#include <gtest/gtest.h>

#include <vector>

#include "shapes/editing/shape_clipboard.h"
#include "shapes/editing/shape_edits.h"
#include "shapes/shape_test_support.h"

namespace orva {
namespace {

using namespace shape_testing;

std::vector<float> Points(const Shape* s) {
    const AnchorBuffer& a = s->header.anchors;
    return std::vector<float>(a.Points(), a.Points() + 2 * a.Count());
}

// A view that knows where the pointer is and shows a data frame.
class PointerView : public TestView {
public:
    bool PointerPosition(double* x, double* y) const override {
        *x = px;
        *y = py;
        return true;
    }
    double px = 0.0, py = 0.0;
};

class ShapeEdits : public ::testing::Test {
protected:
    ShapeEdits() {
        TheShapeGlobals().Reset();
        view.frameWidth = 100;
        view.frameHeight = 100;
    }
    ~ShapeEdits() override { TheShapeGlobals().Reset(); }
    Shape* Add(int32_t kind, std::initializer_list<float> xy, int32_t role = kRoleNone) {
        Shape* s = MakeShape(kind, xy, role);
        EXPECT_TRUE(box.AddShape(s));
        box.SetCurrentShape(s, false, false);
        return s;
    }
    PointerView view;
    TestFrame frame;
    ShapeContainer box{&view, &frame, std::make_unique<MemoryShapeList>()};
    StatusRecorder status;
};

TEST_F(ShapeEdits, RemovingAnchorsKeepsTheKindsMinimum) {
    Shape* poly = Add(kKindPolyLine, {0, 0, 10, 0, 10, 10});
    AnchorBuffer& a = poly->header.anchors;
    a.SelectAll(false);
    a.Selection()[1] = 1;
    a.selectedCount = 1;
    a.lastSelected = 1;
    EXPECT_EQ(poly->RemoveSelectedAnchors(true), 1);
    EXPECT_EQ(Points(poly), (std::vector<float>{0, 0, 10, 10}));
    a.Selection()[0] = 1;
    a.selectedCount = 1;
    EXPECT_EQ(poly->RemoveSelectedAnchors(true), 2) << "a polyline keeps two points";
    EXPECT_EQ(a.Count(), 2u);

    // A circle's anchors go with the whole circle.
    Shape* circle = Add(kKindCircle, {20, 20, 30, 30});
    circle->header.anchors.SelectAll(true);
    bool removed = false;
    EXPECT_TRUE(box.RemoveShape(0, nullptr, circle, false, true, kUndoModeRecord, &removed));
    EXPECT_TRUE(removed);
    EXPECT_EQ(box.ShapeCount(), 1u);
    ASSERT_GE(StatusRecorder::texts().size(), 1u);
    EXPECT_EQ(StatusRecorder::texts().front(), "Remove shape [undo Ctrl+Z]...");
}

TEST_F(ShapeEdits, AnchorsAreAddedToCurvesOnly) {
    Shape* rect = Add(kKindRect, {0, 0, 10, 10});
    EXPECT_FALSE(rect->AddAnchorPoint(5, 5));
    ASSERT_EQ(StatusRecorder::texts().size(), 1u);
    EXPECT_EQ(StatusRecorder::texts()[0], kCantAddAnchorText);
    EXPECT_EQ(StatusRecorder::codes()[0], -3);

    // The pointer next to the second segment puts the new anchor there, selected alone.
    Shape* poly = Add(kKindPolyLine, {0, 0, 10, 0, 10, 10});
    ASSERT_TRUE(poly->AddAnchorPoint(11, 6));
    EXPECT_EQ(Points(poly), (std::vector<float>{0, 0, 10, 0, 11, 6, 10, 10}));
    EXPECT_EQ(poly->header.anchors.selectedCount, 1);
    EXPECT_EQ(poly->header.anchors.lastSelected, 2);
}

TEST_F(ShapeEdits, BoxEditsFoldAndPinThePivot) {
    Shape* rect = Add(kKindRect, {60, 10, 80, 30});
    const uint32_t steps = box.undo.count;
    rect->SetBoundBox(50, 10, -10, 20, false);
    EXPECT_DOUBLE_EQ(rect->header.box.x, 40.0);
    EXPECT_DOUBLE_EQ(rect->header.box.w, 10.0);
    EXPECT_EQ(rect->header.pivotPinned, 1);
    EXPECT_EQ(box.undo.count, steps + 1);

    // The same box again, or a value beyond 16000, changes nothing and records nothing.
    const std::vector<float> before = Points(rect);
    rect->SetBoundBox(40, 10, 10, 20, false);
    rect->SetBoundBox(16000.5, 10, 10, 20, false);
    EXPECT_EQ(Points(rect), before);
    EXPECT_DOUBLE_EQ(rect->header.box.x, 40.0);
    EXPECT_EQ(box.undo.count, steps + 1);
}

TEST_F(ShapeEdits, MovesRecordAStepOnlyWhenSomethingMoved) {
    Shape* rect = Add(kKindRect, {10, 10, 30, 20});
    rect->header.offset.aperture[0] = 3;
    rect->ResetPivot(kUpdateFull);
    const uint32_t steps = box.undo.count;
    rect->Move(0, 0);
    EXPECT_EQ(box.undo.count, steps);
    // A snapshot and a step without a change record nothing either.
    rect->BeginEdit();
    box.PushUndo(rect, kUndoAnchors);
    EXPECT_EQ(box.undo.count, steps);

    // A whole-shape move: box, pivot and points move; the mask is placed anew, not rebuilt.
    rect->header.anchors.SelectAll(false);
    const uint32_t rects = rect->derived.mask.count;
    const RegionRect first = rect->derived.mask.rects[0];
    const double pivotX = rect->header.pivotX;
    rect->Move(5, -3);
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(Points(rect), (std::vector<float>{15, 7, 35, 17}));
    EXPECT_DOUBLE_EQ(rect->header.box.x, 15.0);
    EXPECT_DOUBLE_EQ(rect->header.box.y, 7.0);
    EXPECT_DOUBLE_EQ(rect->header.pivotX, pivotX + 5.0);
    EXPECT_EQ(rect->pixelBox.x, 15);
    EXPECT_EQ(rect->derived.mask.count, rects);
    EXPECT_EQ(rect->derived.mask.rects[0], first);
    // Undone, the shape is where it was.
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Points(rect), (std::vector<float>{10, 10, 30, 20}));
}

TEST_F(ShapeEdits, CuttingAPolylineMakesASecondShape) {
    Shape* poly = Add(kKindPolyLine, {0, 0, 10, 0, 20, 0, 30, 0}, kRoleSlice);
    poly->header.offset.aperture[0] = 2;
    // As the press of the scissor tool: the state before the cut is kept.
    poly->BeginEdit();
    const uint32_t steps = box.undo.count;
    ASSERT_TRUE(poly->CutAtPointer(15, 1));
    EXPECT_EQ(Points(poly), (std::vector<float>{0, 0, 10, 0, 15, 1}));
    EXPECT_EQ(poly->header.anchors.lastSelected, 2);
    ASSERT_EQ(box.ShapeCount(), 2u);
    Shape* second = box.LastShape();
    ASSERT_NE(second, poly);
    EXPECT_EQ(second->header.kind, kKindPolyLine);
    EXPECT_EQ(second->header.role, kRoleSlice);
    EXPECT_EQ(second->header.offset.aperture[0], 2);
    EXPECT_EQ(Points(second), (std::vector<float>{15, 1, 20, 0, 30, 0}));
    // One undo makes it whole again and takes the piece away; one redo cuts again.
    EXPECT_EQ(box.undo.count, steps + 2);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Points(poly), (std::vector<float>{0, 0, 10, 0, 20, 0, 30, 0}));
    EXPECT_FALSE(box.IsInList(second));
    EXPECT_EQ(box.ShapeCount(), 1u);
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(Points(poly), (std::vector<float>{0, 0, 10, 0, 15, 1}));
    EXPECT_TRUE(box.IsInList(second));
    EXPECT_EQ(Points(second), (std::vector<float>{15, 1, 20, 0, 30, 0}));
    // Undone again: the polyline stays, whole, alone.
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_TRUE(box.IsInList(poly));
    EXPECT_EQ(box.ShapeCount(), 1u);
}

TEST_F(ShapeEdits, ClipboardCopiesAndPastes) {
    EXPECT_EQ(box.PasteShape(0), nullptr) << "an empty clipboard";
    Add(kKindPoint, {5, 5});
    EXPECT_FALSE(box.CopyShape()) << "a Point is not copied";
    EXPECT_FALSE(ShapeClipboardHasShape());

    Shape* rect = Add(kKindRect, {10, 20, 30, 30});
    ASSERT_TRUE(box.CopyShape());
    EXPECT_TRUE(ShapeClipboardHasShape());
    Shape* same = box.PasteShape(0);
    ASSERT_NE(same, nullptr);
    ASSERT_NE(same, rect);
    EXPECT_EQ(Points(same), Points(rect));
    // Mode 1: the first anchor under the pointer; mode 2: the box centred on it.
    view.px = 50;
    view.py = 60;
    Shape* first = box.PasteShape(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Points(first), (std::vector<float>{50, 60, 70, 70}));
    Shape* centred = box.PasteShape(2);
    ASSERT_NE(centred, nullptr);
    EXPECT_EQ(Points(centred), (std::vector<float>{40, 55, 60, 65}));
    EXPECT_EQ(box.ShapeCount(), 5u);
}

TEST_F(ShapeEdits, ClippingByKind) {
    // Points: the left edge is inside the data area, the right edge is not.
    Shape* points = Add(kKindPoint, {0, 5, 100, 5, 50, 50});
    ASSERT_TRUE(box.ClipShape(nullptr, nullptr, true));
    EXPECT_EQ(Points(points), (std::vector<float>{0, 5, 50, 50}));

    // A polyline that runs out on both sides is cut at both ends.
    Shape* poly = Add(kKindPolyLine, {-20, 50, 50, 50, 150, 50});
    ASSERT_TRUE(box.ClipShape(nullptr, nullptr, true));
    const std::vector<float> p = Points(poly);
    ASSERT_EQ(p.size(), 6u);
    EXPECT_GE(p[0], 0.0f);
    EXPECT_FLOAT_EQ(p[2], 50.0f);
    EXPECT_LT(p[4], 100.0f);

    // A Rect's outside anchor moves onto the edge; the pivot stays where the clip put it.
    Shape* rect = Add(kKindRect, {50, 50, 130, 120});
    ASSERT_TRUE(box.ClipShape(nullptr, nullptr, true));
    EXPECT_EQ(Points(rect), (std::vector<float>{50, 50, 100, 100}));
    EXPECT_EQ(rect->header.pivotPinned, 1);

    // A b-spline's clip warns; one without an offset direction takes "CNRM" and says so.
    StatusRecorder::texts().clear();
    Shape* spline = Add(kKindBSpline, {-10, 10, 50, 60, 90, 20});
    spline->SetOffsetDirection(kOffsetCnrm);
    ASSERT_TRUE(box.ClipShape(nullptr, nullptr, true));
    ASSERT_FALSE(StatusRecorder::texts().empty());
    EXPECT_EQ(StatusRecorder::texts().back(), kClipSplineText);
    Shape* bare = Add(kKindBSpline, {-10, 10, 50, 60, 90, 20});
    ASSERT_EQ(bare->header.offset.direction, 0u);
    ASSERT_TRUE(box.ClipShape(nullptr, nullptr, true));
    EXPECT_EQ(StatusRecorder::texts().back(), kClipSplineOffsetText);
    EXPECT_EQ(bare->header.offset.direction, kOffsetCnrm);
    // Already inside: nothing to do.
    Add(kKindRect, {10, 10, 20, 20});
    EXPECT_FALSE(box.ClipShape(nullptr, nullptr, true));
}

TEST_F(ShapeEdits, AShapeClippedAwayComesBackWithOneUndo) {
    Shape* outside = Add(kKindRect, {120, 120, 140, 150});
    const uint32_t steps = box.undo.count;
    StatusRecorder::texts().clear();
    EXPECT_TRUE(box.ClipShape(nullptr, nullptr, true));
    EXPECT_EQ(box.ShapeCount(), 0u);
    EXPECT_EQ(box.undo.count, steps + 1);
    ASSERT_FALSE(StatusRecorder::texts().empty());
    EXPECT_EQ(StatusRecorder::texts().back(), kRemoveShapeText);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(box.ShapeCount(), 1u);
    EXPECT_EQ(box.FirstShape(), outside);

    // A zero-size rectangle removes it too, also undoably.
    const double flat[4] = {0, 0, 0, 50};
    EXPECT_TRUE(box.ClipShape(outside, flat, true));
    EXPECT_EQ(box.ShapeCount(), 0u);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(box.FirstShape(), outside);
}

TEST_F(ShapeEdits, InscribingIntoTheDataArea) {
    Shape* rect = Add(kKindRect, {200, 300, 220, 310});
    ASSERT_TRUE(box.InscribeAnchors(nullptr, 2));
    const ShapeBoxBlock& b = rect->header.box;
    EXPECT_DOUBLE_EQ(b.x, 0.5);
    EXPECT_DOUBLE_EQ(b.y, 0.5);
    EXPECT_DOUBLE_EQ(b.w, 99.0);
    EXPECT_DOUBLE_EQ(b.h, 50.0);
    ASSERT_TRUE(box.InscribeAnchors(nullptr, 4));
    EXPECT_DOUBLE_EQ(b.w, 99.0);
    EXPECT_DOUBLE_EQ(b.h, 99.0);
    // Mode 3 leaves a shape that already lies inside.
    Shape* inside = Add(kKindRect, {10, 10, 30, 20});
    EXPECT_FALSE(box.InscribeAnchors(nullptr, 3));
    EXPECT_EQ(Points(inside), (std::vector<float>{10, 10, 30, 20}));
    // Undone, the inscribed shape is back where it was.
    box.SetCurrentShape(rect, false, false);
    ASSERT_TRUE(box.undo.Step(true));
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Points(rect), (std::vector<float>{200, 300, 220, 310}));
}

TEST(ShapeInscribe, TargetsOnPixelCentresAndProportions) {
    struct Case {
        double rect[4];
        double want[4];
    };
    for (const Case& c : {Case{{0, 0, 100, 100}, {0.5, 0.5, 99, 99}}, Case{{10.4, 3.6, 20, 0}, {10.5, 4.5, 19, 0}},
                          Case{{-5.5, 2, 10, 10}, {-5.5, 2.5, 10, 9}}}) {
        double out[4];
        PixelCentreBox(c.rect, out);
        for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(out[i], c.want[i]) << i;
    }
    const double t[4] = {0.5, 0.5, 99, 99};
    double out[4];
    InscribedBox(20, 10, t, true, out);
    EXPECT_DOUBLE_EQ(out[2], 99);
    EXPECT_DOUBLE_EQ(out[3], 50);  // 49.5 rounds away from zero
    InscribedBox(10, 30, t, true, out);
    EXPECT_DOUBLE_EQ(out[2], 33);
    EXPECT_DOUBLE_EQ(out[3], 99);
    InscribedBox(0, 30, t, true, out);
    EXPECT_DOUBLE_EQ(out[2], 99);  // a zero side takes the target
    EXPECT_DOUBLE_EQ(out[3], 99);
}

}  // namespace
}  // namespace orva
