// The edit frame and the "Edit Shape..." panel in the program on the X server: a
// rectangle placed on a frame opened into cell 1 shows its frame (the bottom-right
// handle's red core read back where it belongs), a synthetic drag of that handle grows
// the shape and one undo takes it back, and the panel opened from the main menu shows the
// current shape's box and follows a change of the current shape.
//
// Like the open-file test, it needs the open road and the image window.
//
// Then the real program driven by XTest alone, judged by the screen: Edit > Delete All
// and its undo and redo, the "Chart Tools" preview and list emptied with the shapes, and
// each anchor tool of the Edit menu on a fresh polyline.
#include <gtest/gtest.h>

#include "chart_screen.h"
#include "shape_program.h"

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

// ---- By hand ---------------------------------------------------------------------------------

class ShapeEditByHand : public testing_program::ShapeProgram {
protected:
    void SetUp() override {
        StartOn({"ramp.fits"});
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_NE(screen.WaitForWindow("Chart Tools", 20000), 0u);
    }
    static void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    // Over the picture, away from the shapes, where the view takes the keys.
    void Hover() {
        testing_program::MoveTo(D(), Root(), SX(385) + 1, SY(290));
        Pause(100);
        testing_program::MoveTo(D(), Root(), SX(385), SY(290));
        Pause(300);
    }
    void ClickFrame(int x, int y) {
        Walk(SX(385), SY(290), SX(x), SY(y));
        Pause(150);
        Click();
        Pause(300);
    }
    // Shapes' ink (the picture is a grey ramp) round the frame's pixel (x, y): `least`
    // coloured pixels within 3 pixels, or (0) none within 2.
    struct Spot {
        int x, y, least;
    };
    ::testing::AssertionResult Shows(const std::vector<Spot>& spots) {
        std::string why;
        for (int waited = 0; waited <= 6000; waited += 250) {
            Pause(250);
            if (!Grab(&shot)) continue;
            why.clear();
            for (const Spot& s : spots) {
                const int r = s.least == 0 ? 2 : 3;
                int n = 0;
                for (int v = s.y - r; v <= s.y + r; ++v)
                    for (int u = s.x - r; u <= s.x + r; ++u) {
                        const uint8_t* c = shot.At(SX(u), SY(v));
                        n += c[0] != c[1] || c[1] != c[2] ? 1 : 0;
                    }
                if (s.least == 0 ? n != 0 : n < s.least)
                    why += std::to_string(n) + " at " + std::to_string(s.x) + ", " + std::to_string(s.y) + "; ";
            }
            if (why.empty()) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "ink " << why;
    }
    // The "Chart Tools" preview: the box above its "V:" label holds a light pixel (its
    // curve is drawn white on black) or none.
    ::testing::AssertionResult PreviewEmpty(bool empty) {
        std::string why = "no preview found";
        for (int waited = 0; waited <= 8000; waited += 250) {
            Pause(250);
            testing_program::Picture w;
            Screen::Rect at;
            int vx = 0, vy = 0;
            if (!testing_program::GrabTools(screen, &w, &at) ||
                !testing_program::FindText(w, 0, 0, w.width / 2, w.height, "V:", &vx, &vy))
                continue;
            int light = 0;
            for (int y = std::max(vy - 150, 0); y < vy - 10; ++y)
                for (int x = vx; x < std::min(vx + 240, w.width); ++x)
                    light += w.At(x, y)[0] > 100 && w.At(x, y)[1] > 100 && w.At(x, y)[2] > 100 ? 1 : 0;
            if ((light == 0) == empty) return ::testing::AssertionSuccess();
            why = std::to_string(light) + " light pixels";
        }
        return ::testing::AssertionFailure() << why;
    }
    ::testing::AssertionResult ListShows(const std::vector<std::pair<std::string, std::string>>& rows) {
        testing_program::Picture window;
        Screen::Rect at;
        std::string why;
        if (testing_program::ToolsListShows(screen, rows, &window, &at, &why)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the statistic list: " << why;
    }
    // Opens the Edit menu and clicks its greyed "Paste": the row after "copy", as far below
    // it as "copy" is below "Cut" (a greyed text is not read off the screen).
    bool ClickGreyedPaste() {
        const Screen::Rect m = screen.RectOf(main);
        testing_program::ClickAt(D(), Root(), m.left + 20, m.top + 84);
        int cx = 0, cy = 0, px = 0, py = 0;
        if (!testing_program::WaitForScreenText(screen, &shot, "Cut", m.left + 40, m.top + 40, 400, 600, &cx, &cy) ||
            !testing_program::FindText(shot, m.left + 40, m.top + 40, 400, 600, "copy", &px, &py))
            return false;
        testing_program::MoveTo(D(), Root(), px + 5, 2 * py - cy + 4);
        Pause(150);
        testing_program::ClickAt(D(), Root(), px + 10, 2 * py - cy + 4);
        return true;
    }
    // A fresh polyline (Shift+F5) through the frame's pixels (150, 150), (250, 100), (350,
    // 150), the shapes drawn before taken away; shown with its ends and segments.
    ::testing::AssertionResult Polyline() {
        Hover();
        Press({XK_Escape});
        Press({XK_Shift_L, XK_Delete});
        std::string why;
        if (!WaitForNoOutline(&why)) return ::testing::AssertionFailure() << "shapes left: " << why;
        Press({XK_Shift_L, XK_F5});
        Pause(200);
        for (const auto& [x, y] : {std::pair{150, 150}, {250, 100}, {350, 150}}) ClickFrame(x, y);
        Press({XK_Escape});
        Hover();
        return Shows({{150, 150, 1}, {350, 150, 1}, {200, 125, 1}, {300, 125, 1}});
    }
};

// Two rectangles, Edit > Delete All: the picture, the statistic list and the preview
// empty; Ctrl+Z brings both back, measured, Ctrl+Y takes them again. Then a polyline just
// drawn (never put in anchor editing by a click) stays in place when clicked after a
// greyed menu entry, and each anchor tool chosen in the Edit menu works on it: the middle
// vertex goes, a vertex comes on a segment, the scissor cuts it in two that one Ctrl+Z
// makes one again.
TEST_F(ShapeEditByHand, DeleteAllComesBackAndTheAnchorToolsWorkFromTheMenu) {
    // The rectangle over [43, 123) x [50, 150) of the ramp 1000 + x + y: 8000 pixels.
    double sum = 0.0;
    for (int y = 43; y < 123; ++y)
        for (int x = 50; x < 150; ++x) sum += 1000 + x + y;
    const std::vector<std::pair<std::string, std::string>> measured = {
        {"Count:", "8000"},
        {"Flux:", testing_program::ListNumber(sum)},
        {"Min:", testing_program::ListNumber(1093)},
        {"Max:", testing_program::ListNumber(1271)}};
    const std::vector<std::pair<std::string, std::string>> empty = {{"Count:", ""}, {"Flux:", ""}};
    std::string why;

    DragRectangle(250, 180, 350, 260);
    DragRectangle(50, 43, 150, 123);
    Hover();
    ASSERT_TRUE(WaitForBox(50, 43, 350, 260, 1, &why)) << "the two rectangles: " << why;
    EXPECT_TRUE(ListShows(measured));
    EXPECT_TRUE(PreviewEmpty(false)) << "the preview before Delete All";
    ASSERT_TRUE(EditEntry("Delete All [Shapes]"));
    Hover();
    EXPECT_TRUE(WaitForNoOutline(&why)) << "after Delete All: " << why;
    EXPECT_TRUE(ListShows(empty));
    EXPECT_TRUE(PreviewEmpty(true)) << "the preview after Delete All";
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForBox(50, 43, 350, 260, 1, &why)) << "after the undo of Delete All: " << why;
    EXPECT_TRUE(ListShows(measured)) << "after the undo of Delete All";
    Press({XK_Control_L, XK_y});
    EXPECT_TRUE(WaitForNoOutline(&why)) << "after the redo of Delete All: " << why;
    EXPECT_TRUE(ListShows(empty));
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForBox(50, 43, 350, 260, 1, &why)) << "after the second undo: " << why;
    // Delete takes the measured rectangle, then the other one: the preview goes with them.
    ASSERT_TRUE(EditEntry("Delete"));
    ASSERT_TRUE(EditEntry("Delete"));
    Hover();
    EXPECT_TRUE(WaitForNoOutline(&why)) << "after two Deletes: " << why;
    EXPECT_TRUE(ListShows(empty));
    EXPECT_TRUE(PreviewEmpty(true)) << "the preview after Delete";

    ASSERT_TRUE(Polyline());
    ASSERT_TRUE(ClickGreyedPaste());
    ClickFrame(200, 125);
    Hover();
    EXPECT_TRUE(Shows({{150, 150, 1}, {350, 150, 1}, {200, 125, 1}, {300, 125, 1}})) << "after a click on it";
    ASSERT_TRUE(EditEntry("Delete Anchor Point"));
    ClickFrame(250, 100);
    Hover();
    EXPECT_TRUE(Shows({{150, 150, 1}, {350, 150, 1}, {250, 150, 1}, {200, 125, 0}, {300, 125, 0}}))
        << "after Delete Anchor Point on the middle vertex";

    // The segment alone inks fewer than 20 pixels round (200, 125), an anchor's square 30
    // and more.
    ASSERT_TRUE(Polyline());
    ASSERT_TRUE(EditEntry("Add Anchor Point"));
    ClickFrame(200, 125);
    Hover();
    EXPECT_TRUE(Shows({{150, 150, 1}, {350, 150, 1}, {300, 125, 1}, {200, 125, 30}})) << "after Add Anchor Point";

    // Del after the cut takes the piece cut off (made current) and leaves the stretch up to
    // the cut; the piece comes back with Ctrl+Z, one more makes the polyline whole, which
    // one Del takes whole.
    ASSERT_TRUE(Polyline());
    ASSERT_TRUE(EditEntry("Scissor Tools"));
    ClickFrame(200, 125);
    Press({XK_Escape});
    Hover();
    Press({XK_Delete});
    EXPECT_TRUE(Shows({{150, 150, 1}, {175, 137, 1}, {300, 125, 0}, {350, 150, 0}})) << "after the cut and Del";
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(Shows({{150, 150, 1}, {300, 125, 1}, {350, 150, 1}})) << "after undoing Del";
    Press({XK_Control_L, XK_z});
    Pause(500);
    Press({XK_Delete});
    EXPECT_TRUE(WaitForNoOutline(&why)) << "the undone cut left a piece: " << why;
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
