// The edit frame in a GL window: where the frame and its handles go on the current
// shape, which procedures and cursors the handles get in each frame mode, the handle's
// paint read back, and drags of the handles with the X server's synthetic pointer, one
// undo step each.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <memory>
#include <string>

#include "platform/cursor_resources.h"
#include "platform/gl_context.h"
#include "platform/window_api.h"
#include "shapes/editing/edit_frame.h"
#include "shapes/editing/handle_drags.h"
#include "shapes/shape_test_support.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_drawing.h"
#include "shapes/ui/shape_labels.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/number_field.h"

namespace orva {
namespace {

using namespace testing_util;
using namespace shape_testing;
namespace pf = orva::platform;

class EditFrame : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        TheShapeGlobals().Reset();
        InstallShapeDrawing();
        InstallShapeEditFrame();
        window = InitWithFrame(40, 40, 320, 320);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(OpenShown(window, "Edit frame"));
        view.windowRect[2] = view.windowRect[3] = 320.0f;
        view.clipWidth = view.clipHeight = 320.0f;
        box = std::make_unique<ShapeContainer>(&view, nullptr, std::make_unique<ToolkitShapeList>(window, nullptr));
    }
    void TearDown() override {
        if (IsSkipped()) return;
        box.reset();
        TheShapeEditFrameMaker() = nullptr;
        TheShapeGlobals().Reset();
        CloseToolkit();
    }
    // A current shape in edit mode `mode` with its frame shown.
    Shape* Current(int32_t kind, std::initializer_list<float> xy, int32_t role = kRoleNone,
                   int32_t mode = kEditResizeFrame) {
        Shape* s = MakeShape(kind, xy, role);
        EXPECT_TRUE(box->AddShapeGlyph(s, nullptr, false, false));
        box->selectionFlag = 1;
        box->editMode = mode;
        s->header.anchors.SelectAll(true);
        box->ShowEditFrame();
        return s;
    }
    ToolkitEditFrame* Frame() const { return dynamic_cast<ToolkitEditFrame*>(box->editFrame); }
    gElement* Slot(int32_t slot) const { return Frame() != nullptr ? Frame()->Slot(slot) : nullptr; }
    static pf::Cursor Cursor(int id) { return pf::LoadCursor(id); }
    // A window point's screen pixel after a whole repaint.
    void Repaint() {
        ASSERT_TRUE(RepaintWindowAtOnce(window));
        ASSERT_TRUE(gWinMakeCurrent(window));
    }
    // Drags with the synthetic pointer from one window point to another, in steps.
    void Drag(int x0, int y0, int x1, int y1) {
        FakeMotionIn(window, x0, y0, 80);
        FakeButton(true);
        PumpFor(80);
        const int steps = 4;
        for (int i = 1; i <= steps; ++i) FakeMotionIn(window, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, 60);
        FakeButton(false);
        PumpFor(120);
    }
    static int Centre(const gElement* e, bool vertical) {
        return static_cast<int>(std::floor(vertical ? e->y : e->x)) + 3;
    }

    gWindow* window = nullptr;
    TestView view;
    std::unique_ptr<ShapeContainer> box;
};

TEST_F(EditFrame, PlacementOnSmallAndLargeBoxes) {
    struct Case {
        float x, y, w, h;
        float fx, fy, fw, fh;
    };
    // A side below 18 pixels gets 25 centred on it; a longer one 21 across and 20 down,
    // from 10 pixels before it.
    const Case cases[] = {{50, 50, 10, 10, 43, 43, 25, 25}, {50, 50, 40, 40, 40, 40, 61, 60},
                          {100, 60, 40, 10, 90, 53, 61, 25}};
    for (const Case& c : cases) {
        Shape* s = Current(kKindRect, {c.x, c.y, c.x + c.w, c.y + c.h});
        ASSERT_NE(Frame(), nullptr);
        const gElement* rect = Slot(kSlotSelectRect);
        ASSERT_NE(rect, nullptr);
        EXPECT_FLOAT_EQ(rect->x, c.fx) << c.w;
        EXPECT_FLOAT_EQ(rect->y, c.fy) << c.h;
        EXPECT_FLOAT_EQ(rect->width, c.fw) << c.w;
        EXPECT_FLOAT_EQ(rect->height, c.fh) << c.h;
        // The handles at the middles of the sides and at the corners.
        const float x = c.fx, y = c.fy, w = c.fw, h = c.fh;
        struct Place {
            int32_t slot;
            float px, py;
        };
        const Place places[] = {{kSlotTop, x + (w - 6) * 0.5f, y - 4},      {kSlotBottom, x + (w - 6) * 0.5f, y - 4 + h},
                                {kSlotLeft, x - 3, y + (h - 6) * 0.5f},     {kSlotRight, x - 3 + w, y + (h - 6) * 0.5f},
                                {kSlotTopLeft, x - 3, y - 4},               {kSlotTopRight, x - 3 + w, y - 4},
                                {kSlotBottomLeft, x - 3, y - 4 + h},        {kSlotBottomRight, x - 3 + w, y - 4 + h}};
        for (const Place& p : places) {
            const gElement* e = Slot(p.slot);
            ASSERT_NE(e, nullptr) << p.slot;
            EXPECT_FLOAT_EQ(e->x, p.px) << p.slot;
            EXPECT_FLOAT_EQ(e->y, p.py) << p.slot;
            EXPECT_EQ(e->shown, 1) << p.slot;
        }
        s->Detach();
    }
}

TEST_F(EditFrame, ResizeCursorsAndTheirSwapOnMirroredFrames) {
    Current(kKindRect, {50, 50, 90, 90});
    EXPECT_EQ(Slot(kSlotTop)->cursor, Cursor(pf::kCursorSizeNs));
    EXPECT_EQ(Slot(kSlotBottom)->cursor, Cursor(pf::kCursorSizeNs));
    EXPECT_EQ(Slot(kSlotLeft)->cursor, Cursor(pf::kCursorSizeWe));
    EXPECT_EQ(Slot(kSlotRight)->cursor, Cursor(pf::kCursorSizeWe));
    EXPECT_EQ(Slot(kSlotTopLeft)->cursor, Cursor(pf::kCursorSizeNwse));
    EXPECT_EQ(Slot(kSlotBottomRight)->cursor, Cursor(pf::kCursorSizeNwse));
    EXPECT_EQ(Slot(kSlotTopRight)->cursor, Cursor(pf::kCursorSizeNesw));
    EXPECT_EQ(Slot(kSlotBottomLeft)->cursor, Cursor(pf::kCursorSizeNesw));
    EXPECT_EQ(Slot(kSlotTop)->onDrag, &ShapeHandleDrag);
    EXPECT_EQ(Slot(kSlotBottomRight)->onDrag, &DragBottomRightHandle);
    // Width and height of different signs: the diagonals swap.
    Frame()->SetHandleProcs(false, 40.0f, -40.0f);
    EXPECT_EQ(Slot(kSlotTopLeft)->cursor, Cursor(pf::kCursorSizeNesw));
    EXPECT_EQ(Slot(kSlotTopRight)->cursor, Cursor(pf::kCursorSizeNwse));
}

TEST_F(EditFrame, TheOffsetHandleShowsForMeasuringRolesInEditModeSix) {
    Shape* plain = Current(kKindRect, {50, 50, 90, 90});
    EXPECT_EQ(Slot(kSlotOffset)->shown, 0);
    plain->Detach();
    Shape* slice = Current(kKindRect, {50, 50, 90, 90}, kRoleSlice);
    EXPECT_EQ(Slot(kSlotOffset)->shown, 1);
    EXPECT_EQ(Slot(kSlotPivot)->shown, 0);
    // At the box's centre.
    EXPECT_FLOAT_EQ(Slot(kSlotOffset)->x, 70.0f);
    EXPECT_FLOAT_EQ(Slot(kSlotOffset)->y, 70.0f);
    slice->Detach();
    Shape* point = Current(kKindPoint, {60, 60}, kRoleSlice);
    EXPECT_EQ(Slot(kSlotOffset)->shown, 0);
    point->Detach();
    Current(kKindRect, {50, 50, 90, 90}, kRoleSlice, kEditRotateFrame);
    EXPECT_EQ(Slot(kSlotOffset)->shown, 0);
    EXPECT_EQ(Slot(kSlotPivot)->shown, 1);
}

TEST_F(EditFrame, RotateModeCursorsFollowTheDirectionFromThePivot) {
    // A square about (70, 70): the top handle straight above the pivot, the right one
    // straight right of it.
    Current(kKindRect, {50, 50, 90, 90}, kRoleNone, kEditRotateFrame);
    EXPECT_EQ(Slot(kSlotTop)->onDrag, &RotateHandleDrag);
    EXPECT_EQ(Slot(kSlotTop)->cursor, Cursor(pf::kCursorRotateUp));
    EXPECT_EQ(Slot(kSlotRight)->cursor, Cursor(RotationCursor(1)));
    EXPECT_EQ(Slot(kSlotLeft)->cursor, Cursor(RotationCursor(5)));
    EXPECT_EQ(Slot(kSlotBottomRight)->cursor, Cursor(RotationCursor(2)));
    // Back to edit mode 6: the resize procedures and cursors again.
    box->editMode = kEditResizeFrame;
    box->ShowEditFrame();
    EXPECT_EQ(Slot(kSlotTop)->onDrag, &ShapeHandleDrag);
    EXPECT_EQ(Slot(kSlotTop)->cursor, Cursor(pf::kCursorSizeNs));
}

TEST_F(EditFrame, TheBottomRightHandleHasARedCoreAndADragResizesTheShape) {
    Shape* s = Current(kKindRect, {60, 60, 120, 100});
    Repaint();
    const gElement* h = Slot(kSlotBottomRight);
    ASSERT_NE(h, nullptr);
    const int cx = Centre(h, false), cy = Centre(h, true);
    EXPECT_TRUE(RgbNear(PixelAt(window, cx, cy), {255, 0, 0}, 8)) << "the red core";
    EXPECT_TRUE(RgbNear(PixelAt(window, Centre(Slot(kSlotTopLeft), false), Centre(Slot(kSlotTopLeft), true)),
                        {0, 255, 0}, 8))
        << "the green core";

    const uint32_t steps = box->undo.count;
    Drag(cx, cy, cx + 10, cy + 5);
    EXPECT_DOUBLE_EQ(s->header.box.x, 60.0);
    EXPECT_DOUBLE_EQ(s->header.box.y, 60.0);
    EXPECT_DOUBLE_EQ(s->header.box.w, 70.0);
    EXPECT_DOUBLE_EQ(s->header.box.h, 45.0);
    EXPECT_EQ(box->undo.count, steps + 1);
    // The frame is back, placed on the new box.
    EXPECT_EQ(Slot(kSlotTopLeft)->shown, 1);
    EXPECT_FLOAT_EQ(Slot(kSlotSelectRect)->width, 91.0f);
    ASSERT_TRUE(box->undo.Step(true));
    EXPECT_DOUBLE_EQ(s->header.box.w, 60.0);
    EXPECT_DOUBLE_EQ(s->header.box.h, 40.0);
}

TEST_F(EditFrame, ARotateDragTurnsTheAnchorUnderThePointerWithIt) {
    // A Line from (100, 160) to (220, 160) about (160, 160); its right handle is dragged
    // a quarter turn down.
    Shape* s = Current(kKindLine, {100, 160, 220, 160}, kRoleNone, kEditRotateFrame);
    const gElement* h = Slot(kSlotRight);
    ASSERT_NE(h, nullptr);
    const int x0 = Centre(h, false), y0 = Centre(h, true);
    const double pivotX = s->header.pivotX, pivotY = s->header.pivotY;
    const double r = x0 - pivotX;
    const uint32_t steps = box->undo.count;
    FakeMotionIn(window, x0, y0, 80);
    FakeButton(true);
    PumpFor(80);
    for (int i = 1; i <= 4; ++i) {
        const double a = i * 3.14159265358979323846 / 8.0;
        FakeMotionIn(window, static_cast<int>(pivotX + r * std::cos(a)), static_cast<int>(pivotY + r * std::sin(a)), 60);
    }
    // While it turns, the held handle's cursor points where the pointer is: down.
    EXPECT_EQ(h->cursor, Cursor(RotationCursor(3)));
    EXPECT_EQ(Slot(kSlotTop)->shown, 0) << "only the held handle stays";
    FakeButton(false);
    PumpFor(120);
    // The right end turned a quarter down, the left end a quarter up.
    EXPECT_NEAR(s->header.anchors.X(1), 160.0f, 2.0f);
    EXPECT_NEAR(s->header.anchors.Y(1), 220.0f, 2.0f);
    EXPECT_NEAR(s->header.anchors.X(0), 160.0f, 2.0f);
    EXPECT_NEAR(s->header.anchors.Y(0), 100.0f, 2.0f);
    EXPECT_EQ(box->undo.count, steps + 1);
    ASSERT_TRUE(box->undo.Step(true));
    EXPECT_FLOAT_EQ(s->header.anchors.X(1), 220.0f);
}

TEST_F(EditFrame, AnImmediateRepaintGivesBackTheContextThatWasCurrent) {
    gWindow* other = NewFrame(400, 40, 120, 120);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(OpenShown(other, "Other"));
    ASSERT_TRUE(gWinMakeCurrent(other));
    const pf::GlContext context = pf::CurrentGlContext();
    const pf::Hdc drawable = pf::CurrentGlDrawable();
    ASSERT_NE(context, nullptr);
    window->dirty = 0;
    EXPECT_TRUE(RepaintWindowAtOnce(window));
    EXPECT_EQ(pf::CurrentGlContext(), context);
    EXPECT_EQ(pf::CurrentGlDrawable(), drawable);
    // A hidden window is marked for a repaint instead.
    gWinShow(other, false);
    PumpFor(50);
    ASSERT_NE(other->state & kNotDrawnMask, 0u);
    other->dirty = 0;
    EXPECT_FALSE(RepaintWindowAtOnce(other));
    EXPECT_EQ(other->dirty, 7u);
}

TEST_F(EditFrame, ThePivotIsDraggedAndPinnedAsOneStep) {
    Shape* s = Current(kKindRect, {100, 100, 160, 140}, kRoleNone, kEditRotateFrame);
    const double px = s->header.pivotX, py = s->header.pivotY;
    ASSERT_EQ(Slot(kSlotPivot)->shown, 1);
    const uint32_t steps = box->undo.count;
    Drag(static_cast<int>(px), static_cast<int>(py), static_cast<int>(px) + 12, static_cast<int>(py) + 8);
    EXPECT_DOUBLE_EQ(s->header.pivotX, px + 12.0);
    EXPECT_DOUBLE_EQ(s->header.pivotY, py + 8.0);
    EXPECT_EQ(s->header.pivotPinned, 1);
    EXPECT_EQ(box->undo.count, steps + 1);
    EXPECT_EQ(box->undo.last->Code(), kUndoPivot);
}

TEST_F(EditFrame, TheOffsetHandleOpensTheApertureFieldWhichSetsTheAperture) {
    Shape* s = Current(kKindRect, {60, 60, 120, 120}, kRoleSlice);
    s->header.offset.Reset();
    ASSERT_TRUE(s->SetApertureChecked(5, kApertureCentred));
    const gElement* handle = Slot(kSlotOffset);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(handle->shown, 1);
    const int x = static_cast<int>(handle->x), y = static_cast<int>(handle->y);
    FakeMotionIn(window, x, y, 80);
    FakeButton(true);
    PumpFor(80);
    FakeButton(false);
    PumpFor(120);
    gElement* field = Slot(kSlotField);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->shown, 1);
    // The aperture's extent plus 1.
    EXPECT_EQ(field->text, std::to_string(s->header.offset.Extent() + 1));

    const uint32_t steps = box->undo.count;
    gWgtSetText(field, "12");
    field->onChange(field, field->handlerData);
    EXPECT_EQ(s->header.offset.Positive() + s->header.offset.Negative(), 12u);
    EXPECT_EQ(box->undo.count, steps + 1);
    EXPECT_EQ(box->undo.last->Code(), kUndoOffset);
    // Not a number: nothing changes.
    gWgtSetText(field, "x");
    field->onChange(field, field->handlerData);
    EXPECT_EQ(s->header.offset.Positive() + s->header.offset.Negative(), 12u);
    EXPECT_EQ(box->undo.count, steps + 1);
}

}  // namespace
}  // namespace orva
