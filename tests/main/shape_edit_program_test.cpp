// The edit frame and the "Edit Shape..." panel in the program on the X server: a
// rectangle placed on a frame opened into cell 1 shows its frame (the bottom-right
// handle's red core read back where it belongs), a synthetic drag of that handle grows
// the shape and one undo takes it back, and the panel opened from the main menu shows the
// current shape's box and follows a change of the current shape.
//
// Like the open-file test, it needs the open road and the image window.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/graphics_window.h"
#include "app/main_menu.h"
#include "app/shell_hooks.h"
#include "main/display_services.h"
#include "main/shape_edit_services.h"
#include "shapes/editing/edit_frame.h"
#include "shapes/editing/handle_drags.h"
#include "shapes/shape_container.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/shape_panel.h"
#include "test_support.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/workspace.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(ShapeEditProgram, TheFrameAndThePanel) { GTEST_SKIP() << "this build has no open road or no image window"; }

#else

using namespace testing_util;

// A flat 16-bit frame written by astropy.
bool WriteFlat(const std::string& path, int width, int height) {
    const std::string script =
        "import numpy as np\n"
        "from astropy.io import fits\n"
        "fits.PrimaryHDU(np.full((" + std::to_string(height) + ", " + std::to_string(width) +
        "), 1000, dtype=np.int16)).writeto('" + path + "', overwrite=True)\n";
    return testing_program::RunPython(path + ".py", script);
}

class ShapeEditProgram : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallShapeEditServices();
        InstallDisplayServices();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        ResetEditShapePanel();
        Stop();
        services_.reset();
        TheShapeEditFrameMaker() = nullptr;
    }
    DisplayComponent* Open(const std::string& path) { return testing_program::OpenIntoCellOne(&cui(), path); }
    // A rectangle placed on the cell's frame (frame coordinates), current.
    static Shape* Place(ShapeContainer* c, float x0, float y0, float x1, float y1) {
        const float rect[4] = {x0, y0, x1, y1};
        if (TheGraphicsShapeServices().placeShape(c, kKindRect, kRoleNone, rect) == 0) return nullptr;
        TheGraphicsShapeServices().releasePlacing(c);
        return c->current;
    }
    static int Centre(const gElement* e, bool vertical) {
        return static_cast<int>(std::floor(vertical ? e->y : e->x)) + 3;
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
};

TEST_F(ShapeEditProgram, TheFrameAndThePanel) {
    const std::string path = folder.File("flat.fits");
    if (!WriteFlat(path, 200, 120)) GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    auto* c = static_cast<ShapeContainer*>(cell->host.shapes);
    ASSERT_NE(c, nullptr);
    Shape* s = Place(c, 40, 30, 100, 70);
    ASSERT_NE(s, nullptr);
    const ShapeBoxBlock start = s->header.box;

    // The frame of edit mode 6.
    c->editMode = kEditResizeFrame;
    c->selectionFlag = 1;
    s->header.anchors.SelectAll(true);
    c->ShowEditFrame();
    auto* frame = dynamic_cast<ToolkitEditFrame*>(c->editFrame);
    ASSERT_NE(frame, nullptr);
    const gElement* corner = frame->Slot(kSlotBottomRight);
    ASSERT_NE(corner, nullptr);
    ASSERT_TRUE(RepaintWindowAtOnce(cell->window));
    ASSERT_TRUE(gWinMakeCurrent(cell->window));
    const int cx = Centre(corner, false), cy = Centre(corner, true);
    EXPECT_TRUE(RgbNear(PixelAt(cell->window, cx, cy), {255, 0, 0}, 8)) << "the handle's red core";

    // A drag of the handle by (+10, +5) pixels at zoom 1.
    const uint32_t steps = c->undo.count;
    FakeMotionIn(cell->window, cx, cy, 80);
    FakeButton(true);
    PumpFor(80);
    for (int i = 1; i <= 5; ++i) FakeMotionIn(cell->window, cx + 2 * i, cy + i, 60);
    FakeButton(false);
    PumpFor(150);
    EXPECT_DOUBLE_EQ(s->header.box.w, start.w + 10.0);
    EXPECT_DOUBLE_EQ(s->header.box.h, start.h + 5.0);
    EXPECT_DOUBLE_EQ(s->header.box.x, start.x);
    EXPECT_EQ(c->undo.count, steps + 1);
    ASSERT_TRUE(c->undo.Step(true));
    EXPECT_DOUBLE_EQ(s->header.box.w, start.w);
    EXPECT_DOUBLE_EQ(s->header.box.h, start.h);

    // The panel from the main menu shows the current shape and follows its change.
    ASSERT_NE(TheMainMenuHooks().openEditShapePanel, nullptr);
    TheMainMenuHooks().openEditShapePanel();
    PumpFor(100);
    ASSERT_TRUE(ShapePanelShown());
    c->SetCurrentShape(s, true, false);
    char text[kPanelNumberSize];
    FormatPanelNumber(s->header.box.w, text);
    ASSERT_NE(ShapePanelSlot(kPanelW), nullptr);
    EXPECT_EQ(ShapePanelSlot(kPanelW)->text, text);
    Shape* other = Place(c, 10, 10, 30, 25);
    ASSERT_NE(other, nullptr);
    c->SetCurrentShape(other, true, false);
    EXPECT_EQ(ShapePanelTarget(), other);
    EXPECT_EQ(ShapePanelSlot(kPanelW)->text, "20");
    EXPECT_EQ(ShapePanelSlot(kPanelH)->text, "15");
}

// Del on the image window and Edit > Delete each take the current shape away as one
// undo step: Ctrl+Z brings the same shape back, current, with its anchor points.
TEST_F(ShapeEditProgram, DeletedShapesComeBackWithUndo) {
    const std::string path = folder.File("flat.fits");
    if (!WriteFlat(path, 200, 120)) GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = Open(path);
    ASSERT_NE(cell, nullptr);
    auto* c = static_cast<ShapeContainer*>(cell->host.shapes);
    ASSERT_NE(c, nullptr);
    auto points = [](const Shape* s) {
        const AnchorBuffer& a = s->header.anchors;
        return std::vector<float>(a.Points(), a.Points() + 2 * a.Count());
    };
    struct Road {
        const char* name;
        std::function<void()> remove;
    };
    const Road roads[] = {
        {"Del key", [&] { TheGraphicsShapeServices().removeShape(c, nullptr); }},
        {"Edit > Delete", [&] { ASSERT_TRUE(DisplayRemoveShapes(cell, false, nullptr)); }},
    };
    for (const Road& road : roads) {
        Shape* kept = Place(c, 10, 10, 30, 25);
        Shape* s = Place(c, 40, 30, 100, 70);
        ASSERT_NE(kept, nullptr);
        ASSERT_NE(s, nullptr);
        const std::vector<float> before = points(s);
        ASSERT_FALSE(before.empty());
        const size_t shapes = c->ShapeCount();
        const uint32_t steps = c->undo.count;
        road.remove();
        EXPECT_EQ(c->ShapeCount(), shapes - 1) << road.name;
        EXPECT_FALSE(c->IsInList(s)) << road.name;
        EXPECT_EQ(c->current, kept) << road.name;
        EXPECT_EQ(c->undo.count, steps + 1) << road.name;
        ASSERT_TRUE(c->undo.Step(true)) << road.name;
        EXPECT_EQ(c->ShapeCount(), shapes) << road.name;
        ASSERT_TRUE(c->IsInList(s)) << road.name;
        EXPECT_EQ(c->current, s) << road.name;
        EXPECT_EQ(points(s), before) << road.name;
        // Redo takes it away again.
        ASSERT_TRUE(c->undo.Step(false)) << road.name;
        EXPECT_FALSE(c->IsInList(s)) << road.name;
    }
}

#endif

}  // namespace
}  // namespace orva
