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
#include <cmath>
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

using testing_program::kScreenWait;
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

    // The red core of the bottom-right handle, inside its blue square (the statistic
    // mark's circle is red too, but has no blue round it; the cyan anchor square it may
    // pass is no blue), near the frame's pixel (x, y).
    bool BottomRightHandle(int cornerX, int cornerY, int* hx, int* hy) {
        int n = 0;
        *hx = *hy = 0;
        for (int waited = 0; waited <= kScreenWait && n == 0; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (!Grab(&shot)) continue;
            for (int y = SY(cornerY) - 16; y <= SY(cornerY) + 16; ++y)
                for (int x = SX(cornerX) - 16; x <= SX(cornerX) + 16; ++x) {
                    const uint8_t* c = shot.At(x, y);
                    const uint8_t* left = shot.At(x - 2, y);
                    if (c[0] > 200 && c[1] < 80 && c[2] < 80 && left[2] > 150 && left[0] < 80 && left[1] < 80) {
                        *hx += x;
                        *hy += y;
                        ++n;
                    }
                }
        }
        if (n == 0) return false;
        *hx /= n;
        *hy /= n;
        return true;
    }
    // Waits until the outlines' box is the frame's pixels (l, t) - (r, b), within a pixel;
    // `why` tells the last box seen.
    bool OutlineIs(int l, int t, int r, int b, std::string* why) {
        for (int waited = 0; waited <= kScreenWait; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            int sl = 0, st = 0, sr = 0, sb = 0;
            if (!Grab(&shot)) continue;
            if (!OutlineBox(shot, 60, &sl, &st, &sr, &sb)) {
                *why = "no outline";
                continue;
            }
            *why = "box " + std::to_string(sl - frame.left) + ", " + std::to_string(st - frame.top) + " - " +
                   std::to_string(sr - frame.left) + ", " + std::to_string(sb - frame.top);
            if (std::abs(sl - SX(l)) <= 1 && std::abs(st - SY(t)) <= 1 && std::abs(sr - SX(r)) <= 1 &&
                std::abs(sb - SY(b)) <= 1)
                return true;
        }
        return false;
    }
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
            ASSERT_TRUE(GrabSettled(&before));
            Press(k.keys);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (k.click) {
                Button(true);
                Button(false);
            }
            Walk(px, py, qx, qy);
            if (k.click) {
                bool outline = false;
                for (int waited = 0; waited <= 5000 && !outline; waited += 200) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    outline = Grab(&during) && Differing(before, during) > 50;
                }
                EXPECT_TRUE(outline) << "no outline while placing";
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
    for (int waited = 0; waited <= kScreenWait && !found; waited += 250) {
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
    int hx = 0, hy = 0;
    ASSERT_TRUE(BottomRightHandle(150, 123, &hx, &hy)) << "no bottom-right handle after two double-clicks";
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
// A drawing tool's press on an existing shape starts the new shape there: the rectangle
// already drawn stays where it is (the pointer's travel does not drag it), and the new one
// spans the pointer's pixels beside it.
TEST_F(ShapeDrawProgram, ADrawingToolPressOnAShapeStartsTheNewShape) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    std::string why;
    ASSERT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << "the first rectangle: " << why;
    // From a point of its top edge that carries no handle.
    DragRectangle(75, 43, 215, 103);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    EXPECT_TRUE(WaitForBox(50, 43, 215, 123, 1, &why)) << "both rectangles: " << why;
    // Undo takes the new rectangle away and leaves the first where it was drawn.
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << "after undo: " << why;
    EXPECT_EQ(program->End(), 0);
}

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
        for (int waited = 0; waited <= kScreenWait; waited += 250) {
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

    const std::string entry = "Move Shape with Keys [Shift+Arrows, Wheel]";
    ASSERT_TRUE(MenuEntry(84, entry)) << "no Edit > " << entry;
    // The view takes the keys once it has heard the pointer over it.
    Walk(SX(340), SY(250), SX(300), SY(250));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The box as this screen draws it: the moves are checked against it to the pixel. It is
    // read once the menu has come and gone, when the program has surely handled the
    // button's release: a busy program still showed the outline it draws while the button
    // is held, a pixel beside the drawn shape.
    ASSERT_TRUE(WaitForBox(50, 43, 150, 123, 1, &why)) << "the drawn rectangle: " << why;
    int l0 = 0, t0 = 0, r0 = 0, b0 = 0;
    ASSERT_TRUE(OutlineBox(shot, 60, &l0, &t0, &r0, &b0));
    l0 -= seen.left, r0 -= seen.left, t0 -= seen.top, b0 -= seen.top;
    auto movedBy = [&](int dx, int dy) { return WaitForBox(l0 + dx, t0 + dy, r0 + dx, b0 + dy, 0, &why); };
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

// Every kind of the Draw menu and its keys, drawn from the frame's pixel (x0, y0) to
// (x1, y1) (a point: clicked at (x0, y0)), the first of them the first shape after
// start-up: what the drawing changed on the picture spans the pointer's pixels, and the
// "Edit Shape..." panel shows the box in the frame's pixel centres.
// What tells the kinds apart on the screen: a box has its corner and the middle of its
// top edge, an ellipse the middle of its top edge but not the corner, a segment the
// middle between the pointer's pixels but not the top edge's middle.
enum class Look { kBox, kEllipse, kSegment, kCross };

struct KindCase {
    const char* name;
    std::vector<KeySym> keys;  // none: the Draw menu's entry
    const char* entry;
    bool point;   // placed by a click
    bool open;    // a curve (and the point tool) goes on until Esc
    bool figure;  // outlined 3 pixels wide while selected
    Look look;    // what stands between the pointer's two pixels
};

const std::vector<KindCase>& DrawnKinds() {
    static const std::vector<KindCase> kinds = {
        {"rectangle (F7)", {XK_F7}, "", false, false, true, Look::kBox},
        {"line (F5)", {XK_F5}, "", false, false, false, Look::kSegment},
        {"polyline (Shift+F5)", {XK_Shift_L, XK_F5}, "", false, true, false, Look::kSegment},
        {"curve (F6)", {XK_F6}, "", false, true, false, Look::kSegment},
        {"circle (Shift+F7)", {XK_Shift_L, XK_F7}, "", false, false, true, Look::kEllipse},
        {"area of search (Shift+F8)", {XK_Shift_L, XK_F8}, "", false, false, true, Look::kBox},
        {"point (F8)", {XK_F8}, "", true, true, false, Look::kCross},
        {"distance line (F9)", {XK_F9}, "", false, false, false, Look::kSegment},
        {"distance polyline (Shift+F9)", {XK_Shift_L, XK_F9}, "", false, true, false, Look::kSegment},
        {"angle (Ctrl+F9)", {XK_Control_L, XK_F9}, "", false, true, false, Look::kSegment},
        {"area (Draw > Gauge | Area)", {}, "Gauge | Area", false, false, true, Look::kBox},
        {"area (Alt+F9)", {XK_Alt_L, XK_F9}, "", false, false, true, Look::kBox},
        {"circle (Draw > Circle)", {}, "Circle", false, false, true, Look::kEllipse},
    };
    return kinds;
}

class ShapeKindsProgram : public ShapeDrawProgram {
protected:
    // The box of the pixels of the picture that differ from `blank` (false: none). The
    // statistic mark's pure red and green circles, which may reach beyond the shape, and
    // the red under-line of a zoomed curve are left out.
    static bool Mark(const uint8_t* c) {
        return (c[0] == 255 && c[1] == 0 && c[2] == 0) || (c[0] == 0 && c[1] == 255 && c[2] == 0);
    }
    // Waits until the picture shows a statistic mark (at least 20 of its pixels).
    bool StatisticMarkShown() {
        for (int waited = 0; waited <= kScreenWait; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (!Grab(&shot)) continue;
            int n = 0;
            for (int y = frame.top; y < frame.bottom; ++y)
                for (int x = frame.left; x < frame.right; ++x) n += Mark(shot.At(x, y)) ? 1 : 0;
            if (n >= 20) return true;
        }
        return false;
    }
    bool Changed(const Picture& blank, const Picture& now, int x, int y) const {
        return !Covered(x, y) && !Mark(now.At(x, y)) && std::memcmp(blank.At(x, y), now.At(x, y), 3) != 0;
    }
    // Whether a pixel within `r` of (x, y) changed.
    bool ChangedNear(const Picture& blank, const Picture& now, int x, int y, int r) const {
        for (int v = y - r; v <= y + r; ++v)
            for (int u = x - r; u <= x + r; ++u)
                if (Changed(blank, now, u, v)) return true;
        return false;
    }
    bool ChangedBox(const Picture& blank, const Picture& now, int* left, int* top, int* right, int* bottom) const {
        *left = frame.right;
        *top = frame.bottom;
        *right = *bottom = -1;
        for (int y = frame.top; y < frame.bottom; ++y)
            for (int x = frame.left; x < frame.right; ++x)
                if (Changed(blank, now, x, y)) {
                    *left = std::min(*left, x);
                    *right = std::max(*right, x);
                    *top = std::min(*top, y);
                    *bottom = std::max(*bottom, y);
                }
        return *right >= 0;
    }
    // Over the picture, the view takes the keys.
    void Hover(int x, int y) {
        testing_program::MoveTo(D(), Root(), x + 1, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        testing_program::MoveTo(D(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    static std::string Number(double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", v);
        std::string t = text;
        while (t.back() == '0') t.pop_back();
        if (t.back() == '.') t.pop_back();
        return t;
    }

    // Draws every kind in turn over the frame's pixels (x0, y0) - (x1, y1), each checked
    // and deleted before the next. Screen pixels point at the middle of a zoomed pixel.
    void DrawEveryKind(int x0, int y0, int x1, int y1) {
        const int mid = scale / 2;
        const int px = SX(x0) + mid, py = SY(y0) + mid, qx = SX(x1) + mid, qy = SY(y1) + mid;
        const int awayX = SX(x1) + 40 * scale < frame.right ? SX(x1) + 40 * scale : frame.right - 4;
        Hover(awayX, py);
        Picture blank;
        ASSERT_TRUE(GrabSettled(&blank));
        bool panelOpen = false;
        for (const KindCase& k : DrawnKinds()) {
            SCOPED_TRACE(k.name);
            if (k.keys.empty()) {
                ASSERT_TRUE(MenuEntry(62, k.entry)) << "no Draw > " << k.entry;
                Hover(px, py);
            } else {
                Hover(px, py);
                Press(k.keys);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            Button(true);
            if (!k.point) Walk(px, py, qx, qy);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Button(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (k.open) Press({XK_Escape});
            testing_program::MoveTo(D(), Root(), awayX, py);
            int l = 0, t = 0, r = 0, b = 0;
            std::string seen = "nothing drawn";
            bool found = false;
            for (int waited = 0; waited <= kScreenWait && !found; waited += 250) {
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                if (!Grab(&shot) || !ChangedBox(blank, shot, &l, &t, &r, &b)) continue;
                if (k.figure) {
                    // The middle of the 3 pixels wide outline.
                    ++l;
                    ++t;
                    --r;
                    --b;
                }
                seen = "changed " + std::to_string(l - px) + ", " + std::to_string(t - py) + " - " +
                       std::to_string(r - qx) + ", " + std::to_string(b - qy) + " from the pointer's pixels";
                // Within one frame pixel: figures are outlined along the edges of the
                // whole pixels of their mask, which at 400 % lie up to 4 screen pixels
                // from the pointer.
                auto near = [&](int a, int b) { return std::abs(a - b) <= scale; };
                if (k.point) {
                    // The cross stands centred on the pointer, 9 frame pixels wide.
                    found = near((l + r) / 2, px) && near((t + b) / 2, py);
                } else {
                    found = near(l, px) && near(t, py) && near(r, qx) && near(b, qy);
                }
                const int mx = (px + qx) / 2, my = (py + qy) / 2, e = scale + 1;
                const bool corner = ChangedNear(blank, shot, px, py, e), topMiddle = ChangedNear(blank, shot, mx, py, e);
                if (found && k.look == Look::kBox && !(corner && topMiddle)) seen = "not a box";
                if (found && k.look == Look::kEllipse && !(!corner && topMiddle)) seen = "not an ellipse";
                if (found && k.look == Look::kSegment && !(ChangedNear(blank, shot, mx, my, e) && !topMiddle))
                    seen = "not a segment";
                // The statistic mark's red circle (half the FWHM of the ramp under the
                // box, a few frame pixels) grows with the zoom once: it stays narrower
                // than the box.
                if (found && k.look == Look::kBox) {
                    int redLeft = frame.right, redRight = -1;
                    for (int y = frame.top; y < frame.bottom; ++y)
                        for (int x = frame.left; x < frame.right; ++x) {
                            const uint8_t* c = shot.At(x, y);
                            if (!Covered(x, y) && c[0] == 255 && c[1] == 0 && c[2] == 0) {
                                redLeft = std::min(redLeft, x);
                                redRight = std::max(redRight, x);
                            }
                        }
                    if (redRight - redLeft > r - l) seen = "not a box: its statistic mark is wider than the box";
                }
                if (seen.rfind("not ", 0) == 0) found = false;
            }
            EXPECT_TRUE(found) << seen;
            if (!panelOpen) {
                ASSERT_TRUE(MenuEntry(84, "Edit Shape\x85")) << "no Edit > Edit Shape...";
                panelOpen = true;
                CoverPanel();
            }
            // The box starts where the pointer stood, in frame units (pointer pixels sit
            // half a screen pixel in), and spans whole frame pixels.
            const double w = k.point ? 0 : x1 - x0, h = k.point ? 0 : y1 - y0;
            const double fx = (px - frame.left + 0.5) / scale, fy = (py - frame.top + 0.5) / scale;
            std::string missing;
            EXPECT_TRUE(PanelShows({Number(fx), Number(fy), Number(w), Number(h)}, &missing))
                << "the panel lacks " << missing;
            Hover(awayX, py);
            Press({XK_Delete});
            int left = 0;
            ASSERT_TRUE(WaitForSame(blank, &left)) << "Delete left " << left << " pixels changed";
        }
    }
};

// Esc pressed while the mouse button still holds the drag, then the release: no shape of
// any kind is left and no undo step was recorded (Ctrl+Z then takes the rectangle drawn
// before them). The ellipse (Shift+F7) is drawn while it is dragged as it will be placed:
// inside the dragged box.
TEST_F(ShapeKindsProgram, EscWithTheButtonHeldLeavesNoShapeAndNoUndoStep) {
    DragRectangle(250, 200, 350, 260);
    const int awayX = SX(380), awayY = SY(20);
    testing_program::MoveTo(D(), Root(), awayX, awayY);
    std::string why;
    ASSERT_TRUE(WaitForBox(250, 200, 350, 260, 1, &why)) << why;
    // The rectangle is measured before the release that placed it is done, and its mark
    // is painted only then: on a busy machine the bare outline stands still long enough
    // to pass for the finished picture, which the picture after each Esc is compared with.
    ASSERT_TRUE(StatisticMarkShown()) << "no statistic mark after the drawing";
    Picture drawn;
    ASSERT_TRUE(GrabSettled(&drawn));
    const std::vector<DrawKind> kinds = {
        {"line (F5)", {XK_F5}, true},
        {"polyline (Shift+F5)", {XK_Shift_L, XK_F5}, true},
        {"spline (F6)", {XK_F6}, true},
        {"rectangle (F7)", {XK_F7}, true},
        {"ellipse (Shift+F7)", {XK_Shift_L, XK_F7}, true},
        {"line (F9)", {XK_F9}, true},
        {"polyline (Shift+F9)", {XK_Shift_L, XK_F9}, true},
        {"polyline (Ctrl+F9)", {XK_Control_L, XK_F9}, true},
        {"polyline (Alt+F9)", {XK_Alt_L, XK_F9}, true},
    };
    const int px = SX(60), py = SY(50), qx = SX(180), qy = SY(140);
    for (const DrawKind& k : kinds) {
        SCOPED_TRACE(k.name);
        Hover(px, py);
        Press(k.keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Button(true);
        Walk(px, py, qx, qy);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (std::string(k.name).find("ellipse") != std::string::npos) {
            Picture during;
            int l = 0, t = 0, r = 0, b = 0;
            ASSERT_TRUE(Grab(&during));
            ASSERT_TRUE(ChangedBox(drawn, during, &l, &t, &r, &b)) << "no ellipse while dragging";
            EXPECT_GE(l, px - 2);
            EXPECT_GE(t, py - 2);
            EXPECT_LE(r, qx + 2);
            EXPECT_LE(b, qy + 2);
            EXPECT_GE(r - l, (qx - px) * 9 / 10);
        }
        Press({XK_Escape});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Button(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        testing_program::MoveTo(D(), Root(), awayX, awayY);
        int left = 0;
        EXPECT_TRUE(WaitForSame(drawn, &left)) << left << " pixels of the picture changed";
    }
    Hover(awayX, awayY);
    Press({XK_Control_L, XK_z});
    testing_program::MoveTo(D(), Root(), awayX, awayY);
    EXPECT_TRUE(WaitForNoOutline(&why)) << "the first Ctrl+Z did not take the rectangle: " << why;
    EXPECT_EQ(program->End(), 0);
}

// The statistic rectangle's mark (its red and green circles) stays on the picture when
// the rectangle is taken into the resize frame (two clicks on its edges and two
// double-clicks), not only after a handle was pressed.
TEST_F(ShapeKindsProgram, TheStatisticMarkStaysInTheResizeFrame) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    ASSERT_TRUE(StatisticMarkShown()) << "no statistic mark after the drawing";
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Walk(SX(300), SY(250), SX(100), SY(43));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Click();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ToResizeFrame(SX(100), SY(43), SX(150), SY(90));
    int hx = 0, hy = 0;
    ASSERT_TRUE(BottomRightHandle(150, 123, &hx, &hy)) << "no bottom-right handle after two double-clicks";
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    EXPECT_TRUE(StatisticMarkShown()) << "no statistic mark in the resize frame";
    EXPECT_EQ(program->End(), 0);
}

// A line's offset handle in its resize frame, pressed and dragged: the aperture field that
// opens beside it shows the aperture in its own colours (dark figures on pale cyan), not
// as a black box over the picture.
TEST_F(ShapeKindsProgram, TheApertureFieldBesideTheOffsetHandleIsReadable) {
    DragLine(50, 40, 200, 120);
    // The resize frame, its offset handle at the centre of the line's box.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ToResizeFrame(SX(200), SY(120), SX(125), SY(80));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    Button(true);
    Walk(SX(125), SY(80), SX(129), SY(70));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Button(false);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    // The field (48 x 13) stands 10 pixels right of and 18 below the handle.
    int back = 0, figures = 0;
    auto readable = [&] {
        if (!Grab(&shot)) return false;
        back = figures = 0;
        for (int y = SY(80); y < SY(80) + 50; ++y)
            for (int x = SX(125); x < SX(125) + 90; ++x) {
                const uint8_t* c = shot.At(x, y);
                const bool pale = (std::abs(c[0] - 140) <= 8 && std::abs(c[1] - 204) <= 8 && std::abs(c[2] - 204) <= 8) ||
                                  (std::abs(c[0] - 165) <= 8 && std::abs(c[1] - 229) <= 8 && std::abs(c[2] - 229) <= 8);
                back += pale ? 1 : 0;
                figures += c[0] < 70 && c[1] < 80 && c[2] < 120 && c[2] > c[0] + 20 ? 1 : 0;
            }
        return back >= 300 && figures >= 8;
    };
    EXPECT_TRUE(testing_util::WaitUntil(readable, 5000, 200))
        << back << " pale pixels, " << figures << " dark blue ones";
    EXPECT_EQ(program->End(), 0);
}

TEST_F(ShapeKindsProgram, EveryKindStandsUnderThePointerAtFit) {
    DrawEveryKind(60, 50, 180, 130);
    EXPECT_EQ(program->End(), 0);
}

// At 400 %, chosen in the zoom bar's preset menus, with the frame's corner brought to the
// view's corner with Ctrl+1.
TEST_F(ShapeKindsProgram, EveryKindStandsUnderThePointerAt400Percent) {
    ASSERT_TRUE(testing_program::ChooseZoom(screen, main, "400%", &shot));
    ASSERT_TRUE(testing_program::CornerToCorner(screen, main, &shot, &frame));
    scale = 4;
    DrawEveryKind(20, 10, 70, 45);
    EXPECT_EQ(program->End(), 0);
}

// In the rotate mode of the edit frame (a click and three double-clicks) the corner
// handle turns the rectangle about its centre by the pointer's travel: a quarter turn
// round the centre makes the 100 x 80 box 80 x 100 about the same centre. One undo
// brings back the box as it was; a second takes back the drawing itself.
TEST_F(ShapeDrawProgram, TheRotationHandleTurnsTheShapeByThePointersTravel) {
    DragRectangle(50, 43, 150, 123);
    Walk(SX(300), SY(250), SX(100), SY(43));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Click();
    for (int pair = 0; pair < 3; ++pair) {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        Click();
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        Click();
    }
    int hx = 0, hy = 0;
    ASSERT_TRUE(BottomRightHandle(150, 123, &hx, &hy)) << "no corner handle in the rotate mode";
    // The centre of the anchors (50.5, 43.5) and (150.5, 123.5), in screen units.
    const double cx = frame.left + 100.5, cy = frame.top + 83.5;
    Walk(SX(100), SY(43), hx, hy);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Button(true);
    for (int step = 1; step <= 12; ++step) {
        const double a = step * (3.14159265358979 / 2) / 12, c = std::cos(a), s = std::sin(a);
        const double dx = hx - cx, dy = hy - cy;
        testing_program::MoveTo(D(), Root(), static_cast<int>(std::lround(cx + dx * c - dy * s)),
                                static_cast<int>(std::lround(cy + dx * s + dy * c)));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Button(false);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    // Turned a quarter: the anchors go to (140.5, 33.5) and (60.5, 133.5).
    std::string why;
    EXPECT_TRUE(OutlineIs(60, 33, 140, 133, &why)) << "after the turn: " << why;
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(OutlineIs(50, 43, 150, 123, &why)) << "after one undo: " << why;
    Press({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForNoOutline(&why)) << "the second undo left the rectangle: " << why;
    EXPECT_EQ(program->End(), 0);
}

// Information labels, stepped by V (current shape only) and Shift+V (every shape): none
// at start; at level 2 the rectangle's size, area and aperture in a yellow box below it;
// at level 3 its corners too; a line's vertex count, length, aperture and direction; a
// point's index and position; with every shape labelled all show.
TEST_F(ShapeDrawProgram, InformationLabelsShowTheShapesMeasures) {
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), SX(300), SY(250));
    const std::string rect = "Rect  [W=100.0, H=80.0, S=8000.0, A=0]";
    auto shows = [&](const std::string& text, int* x, int* y, int ms = kScreenWait) {
        for (int waited = 0; waited <= ms; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            // A label may stand out past the frame's right edge.
            if (Grab(&shot) && FindText(shot, frame.left, frame.top, std::min(600, shot.width - frame.left),
                                        frame.bottom - frame.top, text, x, y))
                return true;
        }
        return false;
    };
    int x = 0, y = 0;
    EXPECT_FALSE(shows(rect, &x, &y, 1000)) << "a label before V";
    Press({XK_v});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Press({XK_v});
    ASSERT_TRUE(shows(rect, &x, &y)) << "no label at level 2";
    // The box stands at 0.7 of the width right of the first anchor and 26 pixels less
    // the font's height below the shape's bottom; the text 2 pixels inside it.
    EXPECT_NEAR(x, frame.left + 50.5 + 70 + 2, 3);
    EXPECT_GT(y, SY(123));
    EXPECT_LT(y, SY(123) + 26);
    Press({XK_v});
    EXPECT_TRUE(shows("(50.5, 43.5) (150.5, 123.5)", &x, &y)) << "no corners at level 3";

    // A line (the first, named after its kind) from (250, 170) to (350, 220), clear of
    // the rectangle's label: 2 vertices, length 111.8, a direction of atan(50 / 100) =
    // 26.57 degrees below the x axis (y grows downwards).
    DragLine(250, 170, 350, 220);
    testing_program::MoveTo(D(), Root(), SX(380), SY(40));
    EXPECT_TRUE(shows("Line  [Vrx=2, L=111.8, A=1]", &x, &y)) << "no label on the line";
    EXPECT_TRUE(shows("(250.5, 170.5) (350.5, 220.5)", &x, &y)) << "no ends on the line's label";
    EXPECT_TRUE(shows("r=(100.0, 50.0) angle=26.57\xB0", &x, &y)) << "no direction on the line's label";
    EXPECT_FALSE(shows(rect, &x, &y, 500)) << "the rectangle, no longer current, keeps its label";

    // A point clicked at (60, 240): the first of its one anchor, and where it stands.
    testing_program::MoveTo(D(), Root(), SX(60), SY(240));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Press({XK_F8});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Click();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Press({XK_Escape});
    testing_program::MoveTo(D(), Root(), SX(380), SY(40));
    // A point's lines stand one font height apart (the first line's slash reaches down
    // beside the second's closing parenthesis): they are read inside the yellow box,
    // without the ring below and right of them.
    auto pointShows = [&](const std::string& text) {
        for (int waited = 0; waited <= kScreenWait; waited += 250) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (!Grab(&shot)) continue;
            int l = frame.right, t = frame.bottom, r = -1, b = -1;
            for (int v = SY(240); v < frame.bottom; ++v)
                for (int u = SX(40); u < SX(240); ++u) {
                    const uint8_t* c = shot.At(u, v);
                    if (c[0] == 255 && c[1] == 255 && c[2] == 191) {
                        l = std::min(l, u);
                        r = std::max(r, u);
                        t = std::min(t, v);
                        b = std::max(b, v);
                    }
                }
            if (r > l && !testing_program::FindAllInk(shot, l, t, r - l + 1, b - t + 1, text, false).empty())
                return true;
        }
        return false;
    };
    EXPECT_TRUE(pointShows("Point  N=1 / 1")) << "no label on the point";
    EXPECT_TRUE(pointShows("(60.5, 240.5")) << "no position on the point's label";

    // Shift+V labels every shape and steps 3 -> 0 -> 1 -> 2.
    for (int i = 0; i < 3; ++i) {
        Press({XK_Shift_L, XK_v});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_TRUE(shows(rect, &x, &y)) << "no label on the rectangle with every shape labelled";
    EXPECT_TRUE(shows("Line  [Vrx=2, L=111.8, A=1]", &x, &y)) << "no label on the line with every shape labelled";
    EXPECT_TRUE(pointShows("Point  N=1 / 1")) << "no label on the point with every shape labelled";
    EXPECT_FALSE(shows("(250.5, 170.5) (350.5, 220.5)", &x, &y, 500)) << "corners at level 2";
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
