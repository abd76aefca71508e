#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shape_test_support.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;
using shape_testing::StatusRecorder;
using shape_testing::TestItem;

using ShapeContainerModes = ContainerTest;
using ShapeContainerRemoval = ContainerTest;

TEST_F(ShapeContainerModes, NextAndPreviousWrapAround) {
    Shape* a = Add(kKindRect, {0, 0, 1, 1});
    Shape* b = Add(kKindRect, {0, 0, 2, 2});
    Shape* c = Add(kKindRect, {0, 0, 3, 3});
    box.SetCurrentShape(c, false, false);
    box.SelectAdjacentShape(true);
    EXPECT_EQ(box.current, a);
    EXPECT_TRUE(box.selectionFlag);
    EXPECT_TRUE(frame.shown);
    box.SelectAdjacentShape(false);
    EXPECT_EQ(box.current, c);
    box.SelectAdjacentShape(false);
    EXPECT_EQ(box.current, b);
    EXPECT_EQ(view.boundShape, b);

    // Reordering puts the current shape last (drawn on top) by exchanging it with the last.
    box.SetCurrentShape(a, false, true);
    EXPECT_EQ(Listed(), (std::vector<Shape*>{c, b, a}));
}

TEST_F(ShapeContainerModes, OneShapeIsBothNextAndPrevious) {
    Shape* only = Add(kKindCircle, {0, 0, 4, 4});
    box.SelectAdjacentShape(false);
    EXPECT_EQ(box.current, only);
    box.selectionFlag = 0;
    box.SelectAdjacentShape(true);
    EXPECT_EQ(box.current, only);
    EXPECT_TRUE(box.selectionFlag);
}

TEST_F(ShapeContainerModes, EditModeSteps) {
    Shape* s = Add(kKindPolyLine, {0, 0, 5, 5, 9, 1});
    std::vector<int32_t> forward;
    for (int i = 0; i < 5; ++i) {
        forward.push_back(box.editMode);
        box.StepEditMode(s, true);
    }
    EXPECT_EQ(forward, (std::vector<int32_t>{0, 1, 6, 7, 0}));
    struct Case {
        int32_t from, forward, backward;
    };
    for (Case c : {Case{0, 1, 7}, Case{1, 6, 0}, Case{2, 6, 2}, Case{5, 6, 5}, Case{6, 7, 1}, Case{7, 0, 6}}) {
        box.editMode = c.from;
        box.StepEditMode(s, true);
        EXPECT_EQ(box.editMode, c.forward) << c.from;
        box.editMode = c.from;
        box.StepEditMode(s, false);
        EXPECT_EQ(box.editMode, c.backward) << c.from;
    }
    // Frame modes select every point; modes 0 and 1 clear the selection.
    box.editMode = 1;
    box.StepEditMode(s, true);
    EXPECT_EQ(s->header.anchors.selectedCount, -1);
    box.StepEditMode(s, false);
    EXPECT_EQ(s->header.anchors.selectedCount, 0);
    // Shift steps backwards.
    view.shift = true;
    box.ToggleEditMode(s);
    EXPECT_EQ(box.editMode, 0);
}

TEST_F(ShapeContainerModes, FillModeAndAnchorTool) {
    EXPECT_FALSE(box.CycleFillMode());
    EXPECT_EQ(box.fillMode, 3);
    box.SetCurrentShape(Add(kKindRect, {0, 0, 1, 1}), false, false);
    std::vector<int32_t> modes;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(box.CycleFillMode());
        modes.push_back(box.fillMode);
    }
    EXPECT_EQ(modes, (std::vector<int32_t>{0, 1, 2, 3}));

    box.SetAnchorTool(kToolAddAnchor);
    EXPECT_EQ(std::pair(box.anchorTool, box.editMode), std::pair(2, 1));
    EXPECT_EQ(view.toolStops, 1);
    // From a frame mode too, with the anchors the frame selected let go.
    box.editMode = kEditResizeFrame;
    box.current->header.anchors.SelectAll(true);
    box.SetAnchorTool(kToolScissor);
    EXPECT_EQ(std::pair(box.anchorTool, box.editMode), std::pair(1, 1));
    EXPECT_EQ(box.current->header.anchors.selectedCount, 0);
    EXPECT_EQ(box.selectionFlag, 1);
    box.editMode = kEditMove;
    box.SetAnchorTool(kToolNone);
    EXPECT_EQ(box.editMode, kEditMove);
}

TEST_F(ShapeContainerModes, OffsetDirectionCyclesRecordOneStepEach) {
    auto cycle = [&](Shape* s, int steps) {
        box.SetCurrentShape(s, false, false);
        std::vector<std::string> seen;
        for (int i = 0; i < steps; ++i) {
            uint32_t before = box.undo.count;
            EXPECT_TRUE(box.CycleOffsetDirection());
            EXPECT_EQ(box.undo.count, before + 1);
            uint32_t d = s->header.offset.direction;
            seen.emplace_back(reinterpret_cast<const char*>(&d), 4);
        }
        return seen;
    };
    Shape* polygon = Add(kKindPolygon, {0, 0, 5, 0, 2, 4});
    EXPECT_EQ(cycle(polygon, 3), (std::vector<std::string>{"CNRM", "AXIS", "CNRM"}));
    Shape* line = Add(kKindPolyLine, {0, 0, 5, 5});
    EXPECT_EQ(cycle(line, 5), (std::vector<std::string>{"CNRM", "AXIS", "FREE", "NRML", "CNRM"}));
    line->header.offset.direction = kOffsetAngl;
    EXPECT_FALSE(box.CycleOffsetDirection());

    // Undo walks the polyline back.
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(line->header.offset.direction, kOffsetNrml);
}

TEST_F(ShapeContainerModes, SelectionModeActivationAndTheLastPoint) {
    Shape* line = Add(kKindPolyLine, {1, 2, 3, 4});
    double x = 0, y = 0;
    box.SetCurrentShape(line, false, false);
    EXPECT_FALSE(box.LastPointOfCurrent(&x, &y));  // selection mode is off
    box.EnterSelectMode();
    EXPECT_TRUE(box.selectionFlag && frame.shown);
    view.originX = 10;
    view.originY = 20;
    view.pixelScale = {1, 2.0, 0.5};
    ASSERT_TRUE(box.LastPointOfCurrent(&x, &y));
    EXPECT_EQ(std::pair(x, y), std::pair(16.0, 22.0));

    box.remembered = line;
    line->header.anchors.SelectAll(true);
    EXPECT_EQ(box.LeaveSelectMode(), 1);
    EXPECT_EQ(std::tuple(box.selectionFlag, frame.shown, box.remembered), std::tuple(0, false, nullptr));
    EXPECT_EQ(line->header.anchors.selectedCount, 0);
    view.busy = true;
    EXPECT_EQ(box.LeaveSelectMode(), 0);
    view.busy = false;

    // An inactive view's shapes take no input; the frame comes back in a frame mode.
    box.Activate(false);
    EXPECT_EQ(line->glyph->enabled, 0);
    box.editMode = kEditRotateFrame;
    box.Activate(true);
    EXPECT_EQ(line->glyph->enabled, 1);
    EXPECT_TRUE(frame.shown);
}

// The window shows another file: the view's shapes are concealed (the panel lets go of
// them), a shape that joins them meanwhile as well, and all show again with their own
// visibility when the view's data do, the panel on the current shape.
TEST_F(ShapeContainerModes, AnInactiveViewsShapesAreConcealed) {
    Shape* shown = Add(kKindRect, {0, 0, 4, 4});
    Shape* hidden = Add(kKindRect, {0, 0, 6, 6});
    hidden->glyph->SetVisible(false);
    box.SetCurrentShape(shown, false, false);
    box.RefreshPanel();
    ASSERT_EQ(view.panelShape, shown);
    box.Activate(false);
    EXPECT_EQ(view.panelShape, nullptr);
    Shape* joined = Add(kKindCircle, {0, 0, 5, 5});
    for (Shape* s : {shown, hidden, joined}) EXPECT_EQ(s->glyph->concealed, 1);
    box.Activate(true);
    EXPECT_EQ(view.panelShape, box.current);
    for (Shape* s : {shown, hidden, joined}) EXPECT_EQ(s->glyph->concealed, 0);
    EXPECT_EQ(std::tuple(shown->glyph->visible, hidden->glyph->visible, joined->glyph->visible), std::tuple(1, 0, 1));
}

TEST_F(ShapeContainerModes, BindingRestartsTheItemsOfMeasuringShapes) {
    TestItem item;
    Shape* statistic = Add(kKindRect, {0, 0, 8, 8}, kRoleStatistic);
    Shape* gauge = Add(kKindRect, {0, 0, 8, 8}, kRoleGaugeArea);
    ASSERT_TRUE(statistic->items.Add(&item));
    ASSERT_TRUE(gauge->items.Add(&item));
    EXPECT_EQ(item.refs, 2);
    view.dataSource = &item;
    box.SetCurrentShape(gauge, false, false);
    EXPECT_EQ(item.restarts, 0);
    box.SetCurrentShape(statistic, true, false);
    EXPECT_EQ(item.restarts, 1);
    EXPECT_EQ(statistic->source, &item);
    EXPECT_EQ(view.panelShape, statistic);
    box.RemoveAllNow();
    EXPECT_EQ(item.refs, 0);  // the shapes went with their glyphs and released the item
}

TEST_F(ShapeContainerRemoval, CurrentShapeFallsToItsNeighbour) {
    StatusRecorder status;
    Shape* a = Add(kKindRect, {0, 0, 1, 1});
    Shape* b = Add(kKindRect, {0, 0, 2, 2});
    Shape* c = Add(kKindRect, {0, 0, 3, 3});
    box.SetCurrentShape(c, false, false);
    EXPECT_TRUE(box.RemoveShape(0, nullptr, nullptr, true, true, kUndoModeNone, nullptr));
    EXPECT_EQ(box.current, b);
    box.SetCurrentShape(a, false, false);
    EXPECT_TRUE(box.RemoveShape(0, nullptr, nullptr, true, false, kUndoModeNone, nullptr));
    EXPECT_EQ(box.current, b);
    bool removed = false;
    EXPECT_TRUE(box.RemoveShape(0, nullptr, nullptr, true, true, kUndoModeNone, &removed));
    EXPECT_TRUE(removed);
    EXPECT_EQ(box.current, nullptr);
    EXPECT_EQ(box.FirstShape(), nullptr);
    EXPECT_FALSE(box.RemoveShape(0, nullptr, nullptr, true, true, kUndoModeNone, &removed));
    EXPECT_EQ(status.texts(), (std::vector<std::string>{"Remove shape...", "Remove shape..."}));
    EXPECT_EQ(status.codes(), (std::vector<int>{-2, -2}));
}

TEST_F(ShapeContainerRemoval, RefusalsChangeNothing) {
    int sourceA = 0, sourceB = 0;
    ShapeView otherView;
    otherView.ownerCode = 77;
    view.ownerCode = 5;
    Shape* normal = Add(kKindRect, {0, 0, 1, 1});
    Shape* guarded = Add(kKindRect, {0, 0, 1, 1});
    Shape* hidden = Add(kKindRect, {0, 0, 1, 1});
    Shape* foreign = Add(kKindRect, {0, 0, 1, 1});
    guarded->state = kShapeProtected;
    hidden->state = kShapeHidden;
    normal->source = &sourceA;
    foreign->view = &otherView;
    box.SetCurrentShape(normal, false, false);
    std::vector<Shape*> before = Listed();
    uint32_t steps = box.undo.count;

    bool removed = true;
    EXPECT_FALSE(box.RemoveShape(0, nullptr, guarded, true, true, kUndoModeRecord, &removed));
    EXPECT_FALSE(removed);
    EXPECT_FALSE(box.RemoveShape(0, nullptr, hidden, true, true, kUndoModeRecord, &removed));
    EXPECT_FALSE(box.RemoveShape(0, &sourceB, normal, true, true, kUndoModeRecord, &removed));
    EXPECT_FALSE(box.RemoveShape(5, nullptr, foreign, true, true, kUndoModeRecord, &removed));
    EXPECT_FALSE(box.RemoveShape(0, nullptr, normal, true, true, -1, &removed));
    ShapeContainer elsewhere(nullptr, nullptr, nullptr);
    EXPECT_FALSE(elsewhere.RemoveShape(0, nullptr, normal, true, true, kUndoModeRecord, &removed));
    EXPECT_EQ(Listed(), before);
    EXPECT_EQ(box.current, normal);
    EXPECT_EQ(box.undo.count, steps);

    // Its own source and owner code; a rectangle's anchors go as the whole shape.
    EXPECT_TRUE(box.RemoveShape(5, &sourceA, normal, false, false, kUndoModeNone, &removed));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{guarded, hidden, foreign}));
}

TEST_F(ShapeContainerRemoval, SelectedAnchorsGoBeforeTheShape) {
    StatusRecorder status;
    Shape* line = Add(kKindPolyLine, {0, 0, 1, 1, 2, 2});
    box.SetCurrentShape(line, false, false);
    line->header.anchors.Selection()[1] = 1;
    line->header.anchors.selectedCount = 1;
    EXPECT_FALSE(box.RemoveShape(0, nullptr, nullptr, false, true, kUndoModeRecord, nullptr));
    EXPECT_EQ(line->header.anchors.Count(), 2u);
    EXPECT_EQ(line->header.anchors.X(1), 2.0f);
    EXPECT_EQ(box.undo.count, 1u);  // "ANCR"
    // Two points are the minimum: the shape itself goes.
    line->header.anchors.SelectAll(true);
    EXPECT_TRUE(box.RemoveShape(0, nullptr, line, false, true, kUndoModeRecord, nullptr));
    EXPECT_EQ(box.FirstShape(), nullptr);

    Shape* circle = Add(kKindCircle, {0, 0, 4, 4});
    EXPECT_TRUE(box.RemoveShape(0, nullptr, circle, false, true, kUndoModeNone, nullptr));
    EXPECT_EQ(status.texts(), (std::vector<std::string>{"Remove shape...", "Remove shape [undo Ctrl+Z]...",
                                                        "Remove shape..."}));
}

TEST_F(ShapeContainerRemoval, UndoRedoUndoKeepsTheSameShape) {
    Shape* a = Add(kKindRect, {0, 0, 1, 1});
    Shape* b = Add(kKindEllipse, {0, 0, 2, 2});
    box.SetCurrentShape(b, false, false);
    bool removed = false;
    ASSERT_TRUE(box.RemoveShape(0, nullptr, nullptr, true, false, kUndoModeRecord, &removed));
    EXPECT_TRUE(removed);
    EXPECT_EQ(b->container, nullptr);
    EXPECT_EQ(b->refCount, 1u);  // the step's
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{a, b}));
    EXPECT_EQ(box.current, b);
    EXPECT_TRUE(frame.shown);
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{a}));
    EXPECT_EQ(box.current, a);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{a, b}));
    EXPECT_EQ(b->refCount, 2u);  // list and step
}

TEST_F(ShapeContainerRemoval, RemovingAllWithOneVisibleRemovesThatOne) {
    StatusRecorder status;
    Shape* hidden = Add(kKindRect, {0, 0, 1, 1});
    hidden->state = kShapeHidden;
    Shape* visible = Add(kKindRect, {0, 0, 2, 2});
    bool recorded = false;
    box.RemoveAllShapes(kUndoModeRecord, &recorded, true);
    EXPECT_TRUE(recorded);
    EXPECT_EQ(Listed(), (std::vector<Shape*>{hidden}));
    EXPECT_EQ(box.undo.last->Code(), kUndoDelete);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{hidden, visible}));
    EXPECT_EQ(status.texts(), (std::vector<std::string>{"Remove shape..."}));
}

TEST_F(ShapeContainerRemoval, RemovingAllIsOneStepAndLeavesHiddenShapesInFront) {
    StatusRecorder status;
    Shape* hidden = Add(kKindRect, {0, 0, 1, 1});
    hidden->state = kShapeHidden;
    Shape* a = Add(kKindRect, {0, 0, 2, 2});
    Shape* b = Add(kKindPolyLine, {0, 0, 2, 2});
    Shape* c = Add(kKindCircle, {0, 0, 2, 2});
    box.SetCurrentShape(b, false, false);
    box.remembered = c;
    bool recorded = false;
    box.RemoveAllShapes(kUndoModeRecord, &recorded, true);
    EXPECT_TRUE(recorded);
    EXPECT_EQ(Listed(), (std::vector<Shape*>{hidden}));
    EXPECT_EQ(box.current, nullptr);
    EXPECT_EQ(status.texts(), (std::vector<std::string>{"Remove all shape(s)..."}));

    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{hidden, a, b, c}));
    EXPECT_EQ(box.current, b);
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{hidden}));
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed(), (std::vector<Shape*>{hidden, a, b, c}));

    // Without undo every shape goes, hidden ones too; the steps keep theirs alive.
    box.RemoveAllShapes(kUndoModeNone, nullptr, false);
    EXPECT_EQ(box.FirstShape(), nullptr);
}

TEST_F(ShapeContainerRemoval, ShapesOfOneSourceGo) {
    int sourceA = 0, sourceB = 0;
    Shape* a1 = Add(kKindRect, {0, 0, 1, 1});
    Shape* b1 = Add(kKindRect, {0, 0, 1, 1});
    Shape* a2 = Add(kKindRect, {0, 0, 1, 1});
    a1->source = a2->source = &sourceA;
    b1->source = &sourceB;
    box.SetCurrentShape(a2, false, false);
    box.RemoveShapesOf(0, &sourceA, kUndoModeRecord, false);
    EXPECT_EQ(Listed(), (std::vector<Shape*>{b1}));
    EXPECT_EQ(box.current, b1);
    EXPECT_EQ(box.undo.count, 0u);  // detached without undo
    // When every shape matches, it is a removal of all.
    box.RemoveShapesOf(0, &sourceB, kUndoModeRecord, false);
    EXPECT_EQ(box.FirstShape(), nullptr);
    EXPECT_EQ(box.undo.count, 1u);
}

}  // namespace
}  // namespace orva
