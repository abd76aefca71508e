#include <gtest/gtest.h>

#include <vector>

#include "shape_test_support.h"
#include "shapes/shape_undo.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;

class ShapeUndoList : public ContainerTest {
protected:
    // One recorded pivot move of the shape by dx (a moved pivot is pinned, so
    // that making the shape current does not put it back at the centre).
    bool MovePivot(Shape* s, double dx) {
        s->header.pivotPinned = 1;
        s->BeginEdit();
        s->header.pivotX += dx;
        return box.PushUndo(s, kUndoPivot);
    }
};

TEST_F(ShapeUndoList, KeepsTheNewest256Steps) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    for (int i = 1; i <= 257; ++i) ASSERT_TRUE(MovePivot(s, 1.0));
    EXPECT_EQ(box.undo.count, 256u);
    EXPECT_EQ(s->header.pivotX, 5.0 + 257);
    int undone = 0;
    while (box.undo.Step(true)) ++undone;
    EXPECT_EQ(undone, 256);
    EXPECT_EQ(s->header.pivotX, 6.0);  // the first move's step was dropped
    EXPECT_EQ(box.undo.count, 256u);
    int redone = 0;
    while (box.undo.Step(false)) ++redone;
    EXPECT_EQ(redone, 256);
    EXPECT_EQ(s->header.pivotX, 5.0 + 257);
}

// A step joins only the one before it (one undo takes both back, the cut's test shows),
// and stands alone once that one is pushed out at the limit.
TEST_F(ShapeUndoList, AJoinedStepStandsAloneOnceItsPartnerIsPushedOut) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    ASSERT_TRUE(MovePivot(s, 1.0));
    ASSERT_TRUE(MovePivot(s, 1.0));
    EXPECT_FALSE(box.undo.JoinNewest(box.undo.last));
    ASSERT_TRUE(box.undo.JoinNewest(box.undo.first));
    for (uint32_t i = 2; i <= kUndoStepLimit; ++i) ASSERT_TRUE(MovePivot(s, 1.0));
    EXPECT_FALSE(box.undo.first->joinedWithOlder);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(s->header.pivotX, 5.0 + kUndoStepLimit);
}

TEST_F(ShapeUndoList, RecordingAfterUndoDropsTheRedoSteps) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(MovePivot(s, 1.0));
    while (box.undo.Step(true)) {
    }
    EXPECT_EQ(s->header.pivotX, 5.0);
    ASSERT_TRUE(MovePivot(s, 10.0));
    EXPECT_EQ(box.undo.count, 1u);
    EXPECT_FALSE(box.undo.Step(false));
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(s->header.pivotX, 5.0);
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(s->header.pivotX, 15.0);

    // Undo two of three, then record: the undone ones go, the first stays.
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(MovePivot(s, 1.0));
    ASSERT_TRUE(box.undo.Step(true));
    ASSERT_TRUE(box.undo.Step(true));
    ASSERT_TRUE(MovePivot(s, 100.0));
    EXPECT_EQ(box.undo.count, 2u);
    EXPECT_FALSE(box.undo.Step(false));
}

TEST_F(ShapeUndoList, UnchangedEditsAndShapesOutsideRecordNothing) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    s->BeginEdit();
    s->header.pivotX += 3;  // a pivot drag that ends where it began
    s->header.pivotX -= 3;
    EXPECT_FALSE(box.PushUndo(s, kUndoPivot));
    EXPECT_FALSE(box.PushUndo(s, FourCC("MOVE")));
    Shape* loose = shape_testing::MakeShape(kKindRect, {0, 0, 1, 1});
    ShapeRef hold(loose);
    EXPECT_FALSE(box.undo.Push(loose, kUndoCreate));
    s->state = kShapeHidden;
    EXPECT_FALSE(box.PushUndo(s, kUndoCreate));
    EXPECT_FALSE(box.PushUndo(s, kUndoDelete));
    EXPECT_EQ(box.undo.count, 0u);
    // A state step needs a valid snapshot: a shape without points records nothing.
    s->state = kShapeNormal;
    s->snapshot.kind = kKindNone;
    s->header.anchors.rowsUsed = 0;
    EXPECT_FALSE(box.PushUndo(s, kUndoAll));
}

TEST_F(ShapeUndoList, AStepThatCannotBeRestoredLeavesTheList) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    ASSERT_TRUE(MovePivot(s, 1.0));
    s->BeginEdit();
    s->header.box.w = 3;
    ASSERT_TRUE(box.PushUndo(s, kUndoAnchors));
    // The recorded state of the newest step holds a box too wide to restore.
    auto* step = dynamic_cast<ShapeStateStep*>(box.undo.last);
    ASSERT_NE(step, nullptr);
    step->main.header.box.w = 5000000.0;
    EXPECT_FALSE(box.undo.Step(true));
    EXPECT_EQ(box.undo.count, 1u);
    EXPECT_EQ(s->header.box.w, 3.0);
    ASSERT_TRUE(box.undo.Step(true));  // the older step still works
    EXPECT_EQ(s->header.pivotX, 5.0);
}

TEST_F(ShapeUndoList, StateStepsOfOneShapePartnerEachOther) {
    Shape* s = Add(kKindRect, {0, 0, 10, 10});
    Shape* t = Add(kKindRect, {0, 0, 20, 20});
    ASSERT_TRUE(MovePivot(s, 1.0));
    ShapeUndoStep* first = box.undo.last;
    ASSERT_TRUE(MovePivot(s, 2.0));
    ShapeUndoStep* second = box.undo.last;
    EXPECT_EQ(first->RedoStep(), second);
    EXPECT_EQ(second->RedoStep(), nullptr);
    ASSERT_TRUE(MovePivot(t, 1.0));
    ShapeUndoStep* third = box.undo.last;
    EXPECT_FALSE(second->Matches(third));
    EXPECT_EQ(second->RedoStep(), nullptr);

    // The first undo of a step without a partner makes one from the shape as it is.
    ASSERT_TRUE(box.undo.Step(true));
    ASSERT_NE(third->RedoStep(), nullptr);
    EXPECT_TRUE(third->Matches(third->RedoStep()));
    EXPECT_EQ(t->header.pivotX, 10.0);
    ASSERT_TRUE(box.undo.Step(true));
    ASSERT_NE(second->RedoStep(), nullptr);
    EXPECT_EQ(s->header.pivotX, 6.0);
    ASSERT_TRUE(box.undo.Step(false));
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(std::pair(s->header.pivotX, t->header.pivotX), std::pair(8.0, 11.0));
    // A state step tells what changed.
    EXPECT_EQ(second->Code(), kUndoPivot);
}

TEST_F(ShapeUndoList, StateStepsCarryTheChainedShapes) {
    Shape* s = Add(kKindPolyLine, {0, 0, 10, 10});
    Shape* t = Add(kKindPolyLine, {5, 5, 20, 20});
    s->chainNext = t;
    s->BeginEdit();
    t->BeginEdit();
    s->header.anchors.Points()[0] = 1;
    t->header.anchors.Points()[0] = 7;
    t->ResetPivot(kUpdateFull);
    ASSERT_TRUE(box.PushUndo(s, kUndoAnchors));
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(s->header.anchors.X(0), 0.0f);
    EXPECT_EQ(t->header.anchors.X(0), 5.0f);
    EXPECT_EQ(t->header.box.x, 5.0);  // the chained shape's bounds recomputed
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(t->header.anchors.X(0), 7.0f);
}

TEST_F(ShapeUndoList, CreationStepsTakeTheShapeOutAndBack) {
    Shape* a = Add(kKindRect, {0, 0, 1, 1});
    Shape* b = Add(kKindRect, {0, 0, 2, 2});
    box.SetCurrentShape(b, false, false);
    ASSERT_TRUE(box.PushUndo(b, kUndoCreate));
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{a}));
    EXPECT_EQ(box.current, a);
    frame.shown = false;
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{a, b}));
    EXPECT_EQ(box.current, b);
    EXPECT_TRUE(frame.shown);
    EXPECT_TRUE(box.changed);
}

TEST_F(ShapeUndoList, ShapesKeptByStepsGoWithTheContainer) {
    auto* local = new ShapeContainer(&view, &frame, nullptr);
    Shape* s = shape_testing::MakeShape(kKindRect, {0, 0, 1, 1});
    ASSERT_TRUE(local->AddShape(s));
    ASSERT_TRUE(local->RemoveShape(0, nullptr, s, true, false, kUndoModeRecord, nullptr));
    Shape* t = shape_testing::MakeShape(kKindRect, {0, 0, 1, 1});
    ASSERT_TRUE(local->AddShape(t));
    delete local;  // the sanitizer build checks that both shapes and their glyphs went
}

}  // namespace
}  // namespace orva
