// What the edit frame's handles do to the current shape, without widgets: the edge and
// corner drags (plain, proportional, centred, degenerate boxes), the step a drag records,
// the rotation cursors' sectors, the aperture limits and the offset handle's drag, and
// the rotations of the "Edit Shape..." panel.
#include <gtest/gtest.h>

#include <cmath>

#include "shapes/editing/edit_frame.h"
#include "shapes/editing/handle_drags.h"
#include "shapes/editing/shape_rotation.h"
#include "shapes/shape_kinds.h"
#include "shapes/shape_test_support.h"
#include "shapes/shape_undo.h"
#include "toolkit/input.h"

namespace orva {
namespace {

using namespace shape_testing;

struct Box {
    double x, y, w, h;
};

class HandleDrags : public ContainerTest {
protected:
    // A Rect of the box, current, with a drag begun on it.
    Shape* Begin(Box b) {
        Shape* s = Add(kKindRect, {static_cast<float>(b.x), static_cast<float>(b.y), static_cast<float>(b.x + b.w),
                                   static_cast<float>(b.y + b.h)});
        box.SetCurrentShape(s, false, false);
        // A frame mode has every anchor selected.
        s->header.anchors.SelectAll(true);
        EXPECT_TRUE(BeginHandleDrag(&box));
        return s;
    }
    static void ExpectBox(const Shape* s, Box want, const char* what) {
        const ShapeBoxBlock& b = s->header.box;
        EXPECT_NEAR(b.x, want.x, 1e-4) << what;
        EXPECT_NEAR(b.y, want.y, 1e-4) << what;
        EXPECT_NEAR(b.w, want.w, 1e-4) << what;
        EXPECT_NEAR(b.h, want.h, 1e-4) << what;
    }
    uint32_t LastCode() const { return box.undo.last != nullptr ? box.undo.last->Code() : 0; }
};

TEST_F(HandleDrags, EdgeDrags) {
    struct Case {
        const char* what;
        Box start;
        int32_t handle;
        int32_t dx, dy;
        uint32_t keys;
        Box want;
    };
    const Case cases[] = {
        {"top plain", {0, 0, 20, 10}, kHandleTop, 0, -5, 0, {0, -5, 20, 15}},
        {"bottom plain", {0, 0, 20, 10}, kHandleBottom, 0, 4, 0, {0, 0, 20, 14}},
        {"left plain", {0, 0, 20, 10}, kHandleLeft, 3, 0, 0, {3, 0, 17, 10}},
        {"right plain", {0, 0, 20, 10}, kHandleRight, 6, 0, 0, {0, 0, 26, 10}},
        // Shift keeps the ratio: the top edge up by 5 makes 30 x 15, the left edge fixed.
        {"top shift", {0, 0, 20, 10}, kHandleTop, 0, -5, kKeyShift, {0, -5, 30, 15}},
        // The bottom edge the same way keeps the right edge.
        {"bottom shift", {0, 0, 20, 10}, kHandleBottom, 0, 5, kKeyShift, {-10, 0, 30, 15}},
        {"left shift", {0, 0, 20, 10}, kHandleLeft, -10, 0, kKeyShift, {-10, 0, 30, 15}},
        {"right shift", {0, 0, 20, 10}, kHandleRight, 10, 0, kKeyShift, {0, -5, 30, 15}},
        // Ctrl with Shift: both edges move.
        {"top centred", {0, 0, 20, 10}, kHandleTop, 0, -5, kKeyShift | kKeyCtrl, {0, -5, 20, 20}},
        {"right centred", {0, 0, 20, 10}, kHandleRight, 5, 0, kKeyShift | kKeyCtrl, {-5, 0, 30, 10}},
    };
    for (const Case& c : cases) {
        Shape* s = Begin(c.start);
        EdgeDragStep(&box, c.handle, c.dx, c.dy, c.keys);
        ExpectBox(s, c.want, c.what);
        EndHandleDrag(&box);
        s->Detach();
    }
}

TEST_F(HandleDrags, ALineMovesAsAWholeUnderAProportionalEdgeDrag) {
    // A horizontal line: the top edge with Shift moves it, its height stays 0.
    Shape* line = Add(kKindLine, {0, 5, 20, 5});
    box.SetCurrentShape(line, false, false);
    line->header.anchors.SelectAll(true);
    ASSERT_TRUE(BeginHandleDrag(&box));
    EdgeDragStep(&box, kHandleTop, 0, 3, kKeyShift);
    ExpectBox(line, {0, 8, 20, 0}, "line moved");
    EXPECT_FLOAT_EQ(line->header.anchors.Y(0), 8.0f);
    EXPECT_FLOAT_EQ(line->header.anchors.Y(1), 8.0f);
}

TEST_F(HandleDrags, TheContainersProportionalByteInvertsShift) {
    box.proportional = 1;
    Shape* s = Begin({0, 0, 20, 10});
    EdgeDragStep(&box, kHandleTop, 0, -5, 0);
    ExpectBox(s, {0, -5, 30, 15}, "proportional without Shift");
    EndHandleDrag(&box);
    s->Detach();
    s = Begin({0, 0, 20, 10});
    EdgeDragStep(&box, kHandleTop, 0, -5, kKeyShift);
    ExpectBox(s, {0, -5, 20, 15}, "Shift turns it off");
}

TEST_F(HandleDrags, CornerDrags) {
    struct Case {
        const char* what;
        Box start;
        int32_t handle;
        int32_t dx, dy;
        uint32_t keys;
        Box want;
    };
    const Case cases[] = {
        {"bottom-right", {0, 0, 40, 20}, kHandleBottomRight, 10, 5, 0, {0, 0, 50, 25}},
        {"top-left", {0, 0, 40, 20}, kHandleTopLeft, 10, 5, 0, {10, 5, 30, 15}},
        {"top-right", {0, 0, 40, 20}, kHandleTopRight, 10, 5, 0, {0, 5, 50, 15}},
        {"bottom-left", {0, 0, 40, 20}, kHandleBottomLeft, 10, 5, 0, {10, 0, 30, 25}},
        // Width driven with the ratio 0.5.
        {"bottom-right shift", {0, 0, 40, 20}, kHandleBottomRight, 10, 0, kKeyShift, {0, 0, 50, 25}},
        // Twice as fast about the centre (20, 10).
        {"bottom-right centred", {0, 0, 40, 20}, kHandleBottomRight, 10, 0, kKeyShift | kKeyCtrl, {-10, -5, 60, 30}},
        // A taller box: the height leads, the bottom-right corner stays.
        {"top-left shift tall", {0, 0, 20, 40}, kHandleTopLeft, 0, -10, kKeyShift, {-5, -10, 25, 50}},
    };
    for (const Case& c : cases) {
        Shape* s = Begin(c.start);
        CornerDragStep(&box, c.handle, c.dx, c.dy, c.keys);
        ExpectBox(s, c.want, c.what);
        EndHandleDrag(&box);
        s->Detach();
    }
}

TEST_F(HandleDrags, AFinishedDragIsOneStepAndAStillOneNone) {
    Shape* s = Begin({0, 0, 40, 20});
    const uint32_t steps = box.undo.count;
    CornerDragStep(&box, kHandleBottomRight, 4, 2, 0);
    CornerDragStep(&box, kHandleBottomRight, 6, 3, 0);
    EXPECT_TRUE(EndHandleDrag(&box));
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(LastCode(), kUndoAnchors);
    ExpectBox(s, {0, 0, 50, 25}, "two steps");
    ASSERT_TRUE(box.undo.Step(true));
    ExpectBox(s, {0, 0, 40, 20}, "undone");

    // Released without moving: nothing.
    ASSERT_TRUE(BeginHandleDrag(&box));
    const uint32_t before = box.undo.count;
    EXPECT_FALSE(EndHandleDrag(&box));
    EXPECT_EQ(box.undo.count, before);
    // In edit mode 7 the step is asked for whatever the box; a turn that left the shape
    // as it was is still no step, one that turned it is one.
    box.editMode = kEditRotateFrame;
    ASSERT_TRUE(BeginHandleDrag(&box));
    EXPECT_FALSE(EndHandleDrag(&box));
    ASSERT_TRUE(BeginHandleDrag(&box));
    RotateShapePoints(s, 1.0, 0.0, s->header.pivotX, s->header.pivotY, true);
    EXPECT_TRUE(EndHandleDrag(&box));
    EXPECT_EQ(box.undo.current, box.undo.last);
}

TEST_F(HandleDrags, NothingWithoutAFrameOrACurrentShape) {
    Shape* s = Begin({0, 0, 40, 20});
    box.editFrame = nullptr;
    CornerDragStep(&box, kHandleBottomRight, 10, 5, 0);
    EdgeDragStep(&box, kHandleTop, 0, 5, 0);
    ExpectBox(s, {0, 0, 40, 20}, "no frame");
    box.editFrame = &frame;
    box.current = nullptr;
    EXPECT_FALSE(BeginHandleDrag(&box));
    CornerDragStep(&box, kHandleBottomRight, 10, 5, 0);
    ExpectBox(s, {0, 0, 40, 20}, "no current shape");
    EXPECT_EQ(GetHandleMouseProc(540), nullptr);
    EXPECT_EQ(GetHandleMouseProc(527), nullptr);
    EXPECT_NE(GetHandleMouseProc(kHandleOffset), nullptr);
}

TEST_F(HandleDrags, AspectRatios) {
    struct Case {
        Box b;
        float wh, hw;
    };
    const Case cases[] = {{{0, 0, 40, 20}, 2.0f, 0.5f},
                          {{0, 0, 7, 7}, 1.0f, 1.0f},
                          {{0, 0, 10, 0}, 1.0f, 0.0f},
                          {{0, 0, 0, 10}, 0.0f, 1.0f}};
    for (const Case& c : cases) {
        Shape* s = Add(kKindLine, {static_cast<float>(c.b.x), static_cast<float>(c.b.y),
                                   static_cast<float>(c.b.x + c.b.w), static_cast<float>(c.b.y + c.b.h)});
        s->AspectRatio();
        EXPECT_FLOAT_EQ(TheShapeGlobals().aspectWidthOverHeight, c.wh) << c.b.w << " x " << c.b.h;
        EXPECT_FLOAT_EQ(TheShapeGlobals().aspectHeightOverWidth, c.hw) << c.b.w << " x " << c.b.h;
    }
    Shape* point = Add(kKindPoint, {3, 3});
    point->AspectRatio();
    EXPECT_FLOAT_EQ(TheShapeGlobals().aspectWidthOverHeight, 0.0f);
    EXPECT_FLOAT_EQ(TheShapeGlobals().aspectHeightOverWidth, 0.0f);
}

TEST(DirectionSector, SectorsTurnClockwiseFromUp) {
    const double pi = std::acos(-1.0);
    // y grows downwards: up is (0, -1), right (1, 0).
    EXPECT_EQ(DirectionSector(0, -1), kSectorUp);
    EXPECT_EQ(DirectionSector(1, 0), 1) << "the sector at pi/2";
    EXPECT_EQ(DirectionSector(-10, 0), 5) << "left, not up";
    EXPECT_EQ(DirectionSector(0, 0), kSectorUp) << "a null vector";
    EXPECT_EQ(DirectionSector(1e-13, -1e-13), kSectorUp);
    // The sector centres k * pi/4, clockwise from up.
    const int32_t want[8] = {kSectorUp, 0, 1, 2, 3, 4, 5, 6};
    for (int k = 0; k < 8; ++k) {
        const double a = k * pi / 4.0;
        EXPECT_EQ(DirectionSector(std::sin(a), -std::cos(a)), want[k]) << k;
    }
    // Either side of each boundary, the odd multiples of pi/8.
    for (int k = 0; k < 8; ++k) {
        const double b = (2 * k + 1) * pi / 8.0;
        const int32_t below = k == 0 ? kSectorUp : k - 1;
        const int32_t above = k == 7 ? kSectorUp : k;
        EXPECT_EQ(DirectionSector(std::sin(b - 1e-6), -std::cos(b - 1e-6)), below) << k;
        EXPECT_EQ(DirectionSector(std::sin(b + 1e-6), -std::cos(b + 1e-6)), above) << k;
    }
}

class Apertures : public ContainerTest {
protected:
    Shape* Slice() {
        Shape* s = Add(kKindRect, {0, 0, 40, 20}, kRoleSlice);
        s->header.offset.Reset();
        return s;
    }
    static uint32_t Width(const Shape* s) { return s->header.offset.Positive() + s->header.offset.Negative(); }
};

TEST_F(Apertures, TheLargestApertureFollowsTheDataFrame) {
    view.frameWidth = 1000;
    view.frameHeight = 400;
    Shape* s = Slice();
    EXPECT_TRUE(s->SetApertureChecked(5000, kAperturePositive));
    EXPECT_EQ(s->header.offset.Positive(), 1400u);
    EXPECT_TRUE(s->SetApertureChecked(5000, kApertureNegative));
    EXPECT_EQ(s->header.offset.Negative(), 1400u);
    s->header.offset.Reset();
    EXPECT_TRUE(s->SetApertureChecked(5000, kApertureCentred));
    EXPECT_EQ(Width(s), 2800u);
    // Mode 3 takes what is there from the limit.
    s->header.offset.Reset();
    s->header.offset.editFlag = kApertureProportional;
    EXPECT_TRUE(s->SetApertureChecked(500, kApertureCentred));
    const uint32_t extent = s->header.offset.Extent();
    EXPECT_TRUE(s->SetApertureChecked(9000, kApertureProportional));
    EXPECT_EQ(Width(s), 2800u - extent);
}

TEST_F(Apertures, ZeroWithoutViewDataAndALock) {
    Shape* s = Slice();
    EXPECT_TRUE(s->SetApertureChecked(10, kApertureCentred));
    // 0 in mode 2 becomes 1: the path pixel alone, no offset region.
    EXPECT_TRUE(s->SetApertureChecked(0, kApertureCentred));
    EXPECT_EQ(Width(s), 1u);
    EXPECT_EQ(s->header.offset.Extent(), 0u);
    EXPECT_EQ(s->derived.outline.rowsUsed, 0u);
    // Without a data view the limit is 0x400.
    EXPECT_TRUE(s->SetApertureChecked(100000, kApertureCentred));
    EXPECT_EQ(Width(s), 0x400u);
    // A locked aperture refuses and records nothing.
    s->header.offset.editFlag = kApertureLocked;
    const uint32_t steps = box.undo.count;
    EXPECT_FALSE(s->CommitAndSetAperture(12, kApertureCentred));
    EXPECT_EQ(box.undo.count, steps);
    EXPECT_EQ(Width(s), 0x400u);
}

TEST_F(Apertures, CommitIsOneOffsetStep) {
    Shape* s = Slice();
    const uint32_t steps = box.undo.count;
    EXPECT_TRUE(s->CommitAndSetAperture(12, kApertureCentred));
    EXPECT_EQ(Width(s), 12u);
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(box.undo.last->Code(), kUndoOffset);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Width(s), 1u);
    // The same value again is no change and no step.
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_FALSE(s->CommitAndSetAperture(12, kApertureCentred));
}

TEST_F(Apertures, TheOffsetHandleWidensByThePointersMove) {
    Shape* s = Slice();
    ASSERT_TRUE(s->SetApertureChecked(10, kApertureCentred));
    const uint32_t extent = s->header.offset.Extent();
    // Up by 3 pixels: 3 wider.
    EXPECT_TRUE(OffsetDragStep(s, 0, -3, 0));
    EXPECT_EQ(s->header.offset.Extent(), extent + 3);
    // A horizontal move of a closed shape does nothing.
    EXPECT_FALSE(OffsetDragStep(s, 5, 0, 0));
    // Down past 0: 0, the offset cleared.
    EXPECT_TRUE(OffsetDragStep(s, 0, 1000, 0));
    EXPECT_EQ(s->header.offset.Extent(), 0u);
    EXPECT_EQ(s->derived.outline.rowsUsed, 0u);
    EXPECT_FALSE(OffsetDragStep(s, 0, 0, 0));
}

class Rotations : public ContainerTest {};

TEST_F(Rotations, ARectTurnsAboutItsPivotAsOneStep) {
    Shape* s = Add(kKindRect, {0, 0, 10, 20});
    ASSERT_DOUBLE_EQ(s->header.pivotX, 5.0);
    ASSERT_DOUBLE_EQ(s->header.pivotY, 10.0);
    const uint32_t steps = box.undo.count;
    ASSERT_TRUE(RotateShape(s, true, 90.0));
    const AnchorBuffer& a = s->header.anchors;
    EXPECT_NEAR(a.X(0), 15.0f, 1e-5);
    EXPECT_NEAR(a.Y(0), 5.0f, 1e-5);
    EXPECT_NEAR(a.X(1), -5.0f, 1e-5);
    EXPECT_NEAR(a.Y(1), 15.0f, 1e-5);
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(box.undo.last->Code(), kUndoAnchors);
    // Too small an angle turns nothing.
    EXPECT_FALSE(RotateShape(s, true, 1e-14));
    EXPECT_EQ(box.undo.count, steps + 1);
}

TEST_F(Rotations, AllOtherShapesTurnAsOneStepThatOneUndoReverts) {
    Shape* kept = Add(kKindRect, {0, 0, 10, 20});
    Shape* a = Add(kKindLine, {0, 0, 10, 0});
    Shape* b = Add(kKindRect, {20, 20, 30, 40});
    const uint32_t steps = box.undo.count;
    ASSERT_TRUE(RotateAllShapes(&box, kept, 90.0));
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_FLOAT_EQ(kept->header.anchors.X(0), 0.0f);
    // The line about (5, 0) stands upright.
    EXPECT_NEAR(a->header.anchors.X(0), 5.0f, 1e-5);
    EXPECT_NEAR(a->header.anchors.Y(0), -5.0f, 1e-5);
    EXPECT_NEAR(b->header.anchors.X(0), 35.0f, 1e-5);
    for (Shape* s : {kept, a, b}) EXPECT_EQ(s->chainNext, nullptr);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_FLOAT_EQ(a->header.anchors.X(0), 0.0f);
    EXPECT_FLOAT_EQ(a->header.anchors.Y(0), 0.0f);
    EXPECT_FLOAT_EQ(b->header.anchors.X(0), 20.0f);
    EXPECT_FLOAT_EQ(b->header.anchors.Y(1), 40.0f);
}

TEST(HandleCounts, ByKindAndRole) {
    struct Case {
        int32_t kind, role, count;
    };
    const Case cases[] = {{kKindRect, kRoleNone, 1}, {kKindRect, 4, 1},  {kKindPoint, kRoleSlice, 1},
                          {kKindPolyLine, kRoleSlice, 9}, {kKindLine, 6, 9}, {kKindRect, kRoleSlice, 5},
                          {kKindPolygon, 7, 5}};
    for (const Case& c : cases) EXPECT_EQ(ShapeHandleCount(c.kind, c.role), c.count) << c.kind << "/" << c.role;
}

}  // namespace
}  // namespace orva
