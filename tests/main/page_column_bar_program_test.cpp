// What the main window tells a user beyond its texts, read off the screen of the running
// program on a ramp written by astropy: a page taller than the page column shows a scroll
// bar at the column's right edge, which pages the column when its track is clicked; and a
// greyed menu row greys its shortcut with its label.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "page_program.h"

namespace orva {
namespace {

using testing_program::ClickAt;
using testing_program::FindText;
using testing_program::PageProgram;
using testing_program::Picture;
using testing_program::Screen;

bool Near(const uint8_t* a, const uint8_t* b, int tolerance) {
    return std::abs(a[0] - b[0]) <= tolerance && std::abs(a[1] - b[1]) <= tolerance &&
           std::abs(a[2] - b[2]) <= tolerance;
}

int BarRows(const PageProgram& p, const Screen::Rect& c, int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y) n += p.BarRow(c, y) ? 1 : 0;
    return n;
}

TEST(PageColumnBarProgram, ATallPageShowsAScrollBarThatAClickPages) {
    PageProgram p;
    bool skip = false;
    if (const std::string why = p.Start(&skip); !why.empty()) {
        if (skip) GTEST_SKIP() << why;
        FAIL() << why;
    }
    Screen::Rect c = p.Column();
    int x = 0, y = 0;
    // Options is taller than the column: a bar along it.
    ASSERT_TRUE(p.ClickPageTab(1));
    int nx = 0, ny = 0;
    ASSERT_TRUE(p.WaitForText("NAME:", c, &nx, &ny)) << p.Keep("column_bar");
    if (p.WaitForText("D:", c, nullptr, nullptr, 600))
        GTEST_SKIP() << "the Options page fits the column on this screen: nothing to scroll";
    // The column widens to the wider page.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    c = p.Column();
    const int barX = PageProgram::BarX(c);
    ASSERT_TRUE(p.Grab());
    EXPECT_GT(BarRows(p, c, ny, ny + 250), 245) << "no scroll bar: " << p.Keep("column_bar");
    int top = 0, bottom = 0;
    ASSERT_TRUE(p.BarAround(c, ny, &top, &bottom));
    ASSERT_GT(bottom - top, 250);

    // A click low on the track pages down: the crop box's last row comes, "NAME:" goes.
    ClickAt(p.X(), p.Root(), barX, bottom - 5);
    EXPECT_TRUE(p.WaitForText("D:", c, &x, &y)) << p.Keep("column_bar");
    EXPECT_TRUE(p.WaitForText("Crop Bound Box:", c, &x, &y, 500)) << p.Keep("column_bar");
    EXPECT_FALSE(p.WaitForText("NAME:", c, &x, &y, 1500, false)) << p.Keep("column_bar");
    // A click high on the track pages back up.
    ClickAt(p.X(), p.Root(), barX, top + 5);
    EXPECT_TRUE(p.WaitForText("NAME:", c, &x, &y)) << p.Keep("column_bar");
    EXPECT_FALSE(p.WaitForText("D:", c, &x, &y, 1500, false)) << p.Keep("column_bar");
    EXPECT_TRUE(p.program->Running());
}

// The darkest pixel of a box and its brightness (the sum of its channels).
int Darkest(const Picture& shot, int x0, int y0, int x1, int y1, const uint8_t** at) {
    int best = 1000;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* q = shot.At(x, y);
            if (q[0] + q[1] + q[2] < best) {
                best = q[0] + q[1] + q[2];
                *at = q;
            }
        }
    return best;
}

TEST(PageColumnBarProgram, AGreyedMenuRowGreysItsShortcut) {
    PageProgram p;
    bool skip = false;
    if (const std::string why = p.Start(&skip); !why.empty()) {
        if (skip) GTEST_SKIP() << why;
        FAIL() << why;
    }
    // "Draw", the third row of the menu column at the window's left: with no shape being
    // drawn its "Cancel" row (ESC) is greyed; "Line" (F5) is not.
    const Screen::Rect m = p.MainRect();
    ClickAt(p.X(), p.Root(), m.left + 20, m.top + 62);
    const Screen::Rect screen{0, 0, 1 << 14, 1 << 14};
    int ax = 0, ay = 0, fx = 0, fy = 0;
    ASSERT_TRUE(p.WaitForText("Add Anchor(s)", screen, &ax, &ay)) << p.Keep("greyed_shortcut");
    ASSERT_TRUE(p.WaitForText("F5", Screen::Rect{ax + 60, ay, ax + 400, ay + 80}, &fx, &fy)) << p.Keep("greyed_shortcut");
    // Away from the rows, so that none is hovered.
    testing_program::MoveTo(p.X(), p.Root(), ax + 40, ay + 30);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(p.Grab());
    const uint8_t *enabledKey = nullptr, *label = nullptr, *key = nullptr;
    const int black = Darkest(p.shot, fx - 1, fy - 1, fx + 16, fy + 14, &enabledKey);
    // The "Cancel" row stands above "Add Anchor(s)" and a separator; its shortcut ends
    // where "F5" ends.
    const int labelDark = Darkest(p.shot, ax - 2, ay - 34, ax + 50, ay - 8, &label);
    const int keyDark = Darkest(p.shot, fx - 20, ay - 34, fx + 20, ay - 8, &key);
    ASSERT_NE(label, nullptr);
    ASSERT_NE(key, nullptr);
    EXPECT_LT(black, 60) << "an enabled shortcut is drawn in black";
    EXPECT_LT(labelDark, 450) << "no greyed label: " << p.Keep("greyed_shortcut");
    EXPECT_LT(keyDark, 450) << "no shortcut on the greyed row: " << p.Keep("greyed_shortcut");
    EXPECT_GT(keyDark, black + 60) << "the greyed row's shortcut is as dark as an enabled one: "
                                   << p.Keep("greyed_shortcut");
    EXPECT_TRUE(Near(label, key, 10)) << "the shortcut's colour differs from its greyed label's";
    testing_program::PressKeys(p.X(), {XK_Escape});
    EXPECT_TRUE(p.program->Running());
}

}  // namespace
}  // namespace orva
