// Shapes as a user draws them, in the real program on an image written by astropy, with
// the pointer and keys of XTest only, judged by the screen: Esc or Draw > Cancel during
// the placement of every kind the Draw keys start leaves the picture as it was (while
// the placement showed its outline), and a rectangle dragged open stands under the
// pointer's pixels, with the "Edit Shape..." panel showing its box at once.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "shape_program.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::Screen;

struct DrawKind {
    const char* name;
    std::vector<KeySym> keys;
    bool click;  // a click starts the outline (a point is placed by the click itself)
};

class ShapeDrawProgram : public testing_program::ShapeProgram {
protected:
    void SetUp() override { StartOn({"ramp.fits"}); }

    // Opens the Draw menu from the menu bar's third row and clicks its "Cancel".
    bool DrawCancel() { return DrawEntry("Cancel"); }
};

TEST_F(ShapeDrawProgram, EscAndDrawCancelLeaveNoShapeOfAnyKind) {
    const std::vector<DrawKind> kinds = {
        {"line (F5)", {XK_F5}, true},
        {"polyline (Shift+F5)", {XK_Shift_L, XK_F5}, true},
        {"spline (F6)", {XK_F6}, true},
        {"rectangle (F7)", {XK_F7}, true},
        {"ellipse (Shift+F7)", {XK_Shift_L, XK_F7}, true},
        {"point (F8)", {XK_F8}, false},
        {"area rectangle (Shift+F8)", {XK_Shift_L, XK_F8}, true},
        {"line (F9)", {XK_F9}, true},
        {"polyline (Shift+F9)", {XK_Shift_L, XK_F9}, true},
        {"polyline (Ctrl+F9)", {XK_Control_L, XK_F9}, true},
    };
    const int px = SX(60), py = SY(50), qx = SX(180), qy = SY(140);
    for (const bool byMenu : {false, true}) {
        for (const DrawKind& k : kinds) {
            SCOPED_TRACE(std::string(k.name) + (byMenu ? ", Draw > Cancel" : ", Esc"));
            // The view takes the keys once it has heard the pointer over it.
            testing_program::MoveTo(D(), Root(), px + 1, py);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            testing_program::MoveTo(D(), Root(), px, py);
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            Picture before, during;
            ASSERT_TRUE(Grab(&before));
            Press(k.keys);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (k.click) {
                Button(true);
                Button(false);
            }
            Walk(px, py, qx, qy);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ASSERT_TRUE(Grab(&during));
            if (k.click) {
                EXPECT_GT(Differing(before, during), 50) << "no outline while placing";
            }
            if (byMenu)
                ASSERT_TRUE(DrawCancel()) << "no Draw > Cancel";
            else
                Press({XK_Escape});
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            testing_program::MoveTo(D(), Root(), px, py);
            int left = 0;
            EXPECT_TRUE(WaitForSame(before, &left)) << left << " pixels of the picture changed";
        }
    }
    EXPECT_EQ(program->End(), 0);
}

// The first shape after start-up: a rectangle dragged from pixel (50, 43) to (150, 123)
// stands on those pixels, and the "Edit Shape..." panel shows its box (pixel centres, as
// the panel counts); a second rectangle drawn while the panel shows is shown at once.
TEST_F(ShapeDrawProgram, ARectangleStandsUnderThePointerAndThePanelFollowsIt) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    int left = 0, top = 0, right = 0, bottom = 0;
    bool found = false;
    for (int waited = 0; waited <= 4000 && !found; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        found = Grab(&shot) && OutlineBox(shot, 60, &left, &top, &right, &bottom);
    }
    ASSERT_TRUE(found) << "no rectangle on the picture";
    EXPECT_NEAR(left, SX(50), 1);
    EXPECT_NEAR(top, SY(43), 1);
    EXPECT_NEAR(right, SX(150), 1);
    EXPECT_NEAR(bottom, SY(123), 1);

    ASSERT_TRUE(MenuEntry(84, "Edit Shape\x85")) << "no Edit > Edit Shape...";
    std::string missing;
    EXPECT_TRUE(PanelShows({"50.5", "43.5", "100", "80"}, &missing)) << "the panel lacks " << missing;

    DragRectangle(200, 150, 260, 200);
    testing_program::MoveTo(D(), Root(), SX(380), SY(280));
    EXPECT_TRUE(PanelShows({"200.5", "150.5", "60", "50"}, &missing)) << "the panel lacks " << missing;
    EXPECT_EQ(program->End(), 0);
}

// A click selects a rectangle and a second click on another of its edges leaves it where
// it is; two double-clicks step its edit mode to the frame, whose handles show (the
// bottom-right one with its red core by the shape's corner); dragging that handle resizes
// the shape by the pointer's travel, and one undo takes it back.
TEST_F(ShapeDrawProgram, TheFrameHandleResizesByThePointersTravel) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    auto click = [&] {
        Button(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Button(false);
    };
    auto boxIs = [&](int right, int bottom, std::string* why) { return WaitForBox(50, 43, right, bottom, 1, why); };
    std::string why;
    Walk(SX(300), SY(250), SX(100), SY(43));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    click();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Walk(SX(100), SY(43), SX(150), SY(90));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    click();
    testing_program::MoveTo(D(), Root(), SX(150), SY(90));
    EXPECT_TRUE(boxIs(150, 123, &why)) << "after two clicks on its edges: " << why;
    // Each pair well apart from the click before it, so that no click pairs across.
    for (int pair = 0; pair < 2; ++pair) {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        click();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        click();
    }
    // The red core of the bottom-right handle, inside its blue square (the statistic
    // mark's circle is red too, but has no blue round it), near the shape's corner.
    int hx = 0, hy = 0, n = 0;
    for (int waited = 0; waited <= 4000 && n == 0; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (!Grab(&shot)) continue;
        for (int y = SY(123) - 16; y <= SY(123) + 16; ++y)
            for (int x = SX(150) - 16; x <= SX(150) + 16; ++x) {
                const uint8_t* c = shot.At(x, y);
                const uint8_t* left = shot.At(x - 2, y);
                if (c[0] > 200 && c[1] < 80 && c[2] < 80 && left[2] > 150 && left[0] < 80) {
                    hx += x;
                    hy += y;
                    ++n;
                }
            }
    }
    ASSERT_GT(n, 0) << "no bottom-right handle after two double-clicks";
    hx /= n;
    hy /= n;
    Walk(SX(150), SY(90), hx, hy);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Button(true);
    Walk(hx, hy, hx + 40, hy + 30);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Button(false);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    EXPECT_TRUE(boxIs(190, 153, &why)) << "after the drag: " << why;
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(boxIs(150, 123, &why)) << "after one undo: " << why;
    EXPECT_EQ(program->End(), 0);
}

// Clicks on a shape without moving record no undo step: after two clicks the first undo
// takes back the drawing itself, and redo brings the rectangle back where it was.
TEST_F(ShapeDrawProgram, ClicksRecordNoUndoStep) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    for (const int y : {43, 123}) {
        Walk(SX(300), SY(250), SX(100), SY(y));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Button(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Button(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
    }
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto outline = [&](bool want) {
        for (int waited = 0; waited <= 4000; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            int l = 0, t = 0, r = 0, b = 0;
            if (!Grab(&shot)) continue;
            const bool found = OutlineBox(shot, 60, &l, &t, &r, &b);
            if (!want && !found) return true;
            if (want && found && std::abs(l - SX(50)) <= 1 && std::abs(r - SX(150)) <= 1 && std::abs(t - SY(43)) <= 1 &&
                std::abs(b - SY(123)) <= 1)
                return true;
        }
        return false;
    };
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(outline(false)) << "the first undo left the rectangle";
    Press({XK_Control_L, XK_y});
    EXPECT_TRUE(outline(true)) << "redo did not bring the rectangle back";
    EXPECT_EQ(program->End(), 0);
}

// Edit > "Move Shape with Keys [Shift+Arrows, Wheel]" lets Shift with the arrows move the
// current shape instead of scrolling: one pixel a key at 100 %, ten with Ctrl, each key
// one undo step, and a notch of the wheel one pixel down (up) for a turn up (down). Undo
// takes the moves back one by one; chosen again, the entry gives the keys back to the
// scrolling, which carries picture and shape together.
TEST_F(ShapeDrawProgram, ShiftWithTheArrowsMovesTheCurrentShapeOnceChosenInTheEditMenu) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    std::string why;
    ASSERT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << "the drawn rectangle: " << why;
    // The box as this screen draws it: the moves are checked against it to the pixel.
    int l0 = 0, t0 = 0, r0 = 0, b0 = 0;
    ASSERT_TRUE(OutlineBox(shot, 60, &l0, &t0, &r0, &b0));
    l0 -= seen.left, r0 -= seen.left, t0 -= seen.top, b0 -= seen.top;
    auto movedBy = [&](int dx, int dy) { return WaitForBox(l0 + dx, t0 + dy, r0 + dx, b0 + dy, 0, &why); };

    const std::string entry = "Move Shape with Keys [Shift+Arrows, Wheel]";
    ASSERT_TRUE(MenuEntry(84, entry)) << "no Edit > " << entry;
    // The view takes the keys once it has heard the pointer over it.
    Walk(SX(340), SY(250), SX(300), SY(250));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    struct Move {
        std::vector<KeySym> keys;
        int dx, dy;  // where the shape stands after the key, from where it was drawn
    };
    const std::vector<Move> moves = {
        {{XK_Shift_L, XK_Control_L, XK_Right}, 10, 0},
        {{XK_Shift_L, XK_Right}, 11, 0},
        {{XK_Shift_L, XK_Control_L, XK_Down}, 11, 10},
        {{XK_Shift_L, XK_Up}, 11, 9},
        {{XK_Shift_L, XK_Left}, 10, 9},
    };
    for (const Move& m : moves) {
        Press(m.keys);
        EXPECT_TRUE(movedBy(m.dx, m.dy)) << "after the key to " << m.dx << ", " << m.dy << ": " << why;
    }
    EXPECT_EQ(seen, frame) << "the picture scrolled";
    // The wheel: a turn down moves the shape one pixel up.
    XTestFakeButtonEvent(D(), 5, True, CurrentTime);
    XTestFakeButtonEvent(D(), 5, False, CurrentTime);
    XSync(D(), False);
    EXPECT_TRUE(movedBy(10, 8)) << "after a turn of the wheel: " << why;

    const int back[][2] = {{10, 9}, {11, 9}, {11, 10}, {11, 0}, {10, 0}, {0, 0}};
    for (const auto& b : back) {
        Press({XK_Control_L, XK_z});
        EXPECT_TRUE(movedBy(b[0], b[1])) << "after undo to " << b[0] << ", " << b[1] << ": " << why;
    }

    // Chosen again, the entry lets Shift with the arrows scroll: the picture moves and
    // the shape with it.
    ASSERT_TRUE(MenuEntry(84, entry)) << "no Edit > " << entry;
    Walk(SX(340), SY(250), SX(300), SY(250));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Press({XK_Shift_L, XK_Control_L, XK_Right});
    bool scrolled = false;
    for (int attempt = 0; attempt < 3 && !scrolled; ++attempt)
        scrolled = WaitForBox(l0, t0, r0, b0, 0, &why) && seen.left != frame.left;
    EXPECT_TRUE(scrolled) << "the picture did not scroll with the shape: picture at " << seen.left - frame.left
                          << ", " << seen.top - frame.top << ", " << why;
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
