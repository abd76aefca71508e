// Texts of the pages that must show whole, read off the screen of the running program on
// a 300 x 200 ramp written by astropy: each case reaches its page as a user does (tabs,
// menus, buttons, the wheel over a page column) and reads its texts with the built-in
// face. A text cut by its button, its field or the edge of its column is not found.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "page_program.h"

namespace orva {
namespace {

using testing_program::ClickAt;
using testing_program::FindText;
using testing_program::MoveTo;
using testing_program::PageProgram;
using testing_program::Screen;

// Whether `value` stands in the field right of `caption`, both in the box.
bool FieldShows(PageProgram& p, const Screen::Rect& box, const std::string& caption, const std::string& value,
                std::string* why) {
    int x = 0, y = 0;
    if (!p.WaitForText(caption, box, &x, &y, 1500)) {
        *why = "no \"" + caption + "\"";
        return false;
    }
    int vx = 0, vy = 0;
    const int after = x + testing_program::TextInk(caption).width;
    if (!FindText(p.shot, after, y - 4, 170, 22, value, &vx, &vy)) {
        *why = "\"" + caption + "\" does not show " + value;
        return false;
    }
    return true;
}

// The Source's Options page, scrolled down the column with the wheel: the crop box's
// fields show the ramp's whole section (0, 0, 0 and 300 x 200 x 1).
bool CropBox(PageProgram& p, std::string* why) {
    if (!p.ClickGroupTab(0) || !p.ClickPageTab(1)) {
        *why = "no Options tab";
        return false;
    }
    const Screen::Rect c = p.Column();
    int x = 0, y = 0;
    if (!p.WaitForText("NAME:", c, &x, &y) ||
        !p.WheelUntil("D:", c.left + 60, y + 100, p.Column(), &x, &y)) {
        *why = "the wheel does not bring the crop box's last row";
        return false;
    }
    const Screen::Rect crop{c.left, y - 70, p.Column().right, y + 20};
    for (const auto& [caption, value] : std::vector<std::pair<std::string, std::string>>{
             {"X:", "0"}, {"W:", "300"}, {"Y:", "0"}, {"H:", "200"}, {"Z:", "0"}, {"D:", "1"}})
        if (!FieldShows(p, crop, caption, value, why)) return false;
    return true;
}

// The Output page (menu "Save", its file dialog cancelled): the drive line under "Disk
// Info:" shows the free space with its unit at the end.
bool DriveLine(PageProgram& p, std::string* why) {
    // View > "Output Options".
    const Screen::Rect m = p.MainRect();
    ClickAt(p.X(), p.Root(), m.left + 20, m.top + 107);
    const Screen::Rect screen{0, 0, p.shot.width, p.shot.height};
    int x = 0, y = 0;
    if (!p.WaitForText("Output Options", screen, &x, &y, 5000)) {
        *why = "no View menu";
        return false;
    }
    MoveTo(p.X(), p.Root(), x + 5, y + 4);
    ClickAt(p.X(), p.Root(), x + 10, y + 4);
    if (!p.WaitForText("Disk Info:", screen, &x, &y, 5000)) {
        *why = "no \"Disk Info:\"";
        return false;
    }
    const Screen::Rect line{x - 10, y - 2, x + 330, y + 40};
    int fx = 0, fy = 0;
    if (!p.WaitForText("free:", line, &fx, &fy, 1500)) {
        *why = "no \"free:\" in the drive line";
        return false;
    }
    // The last size ends with its unit: the free space's, or, when the space left to the
    // user differs from it, the one after " | ".
    int from = fx + 30, bx = 0, by = 0;
    if (FindText(p.shot, from, fy - 3, 330, 19, "|", &bx, &by)) from = bx + 4;
    for (const char* unit : {"Gb", "Mb", "Kb", "Byte(s)"})
        if (FindText(p.shot, from, fy - 3, 330, 19, unit, &x, &y)) return true;
    *why = "the drive line's last size has no unit";
    return false;
}

// Plug-ins: "Add Filter" > "Convolution" > "Convolver" puts the convolver's page in the
// column; the arrow right of its preset name, which must lie inside the column, steps to
// the next preset.
bool ConvolverArrows(PageProgram& p, std::string* why) {
    if (!p.ClickGroupTab(1)) {
        *why = "no Plug-ins tab";
        return false;
    }
    const Screen::Rect c = p.Column();
    const Screen::Rect screen{0, 0, p.shot.width, p.shot.height};
    int x = 0, y = 0;
    if (!p.WaitForText("Add Filter", c, &x, &y)) {
        *why = "no \"Add Filter\"";
        return false;
    }
    ClickAt(p.X(), p.Root(), x + 10, y + 4);
    if (!p.WaitForText("Convolution", screen, &x, &y)) {
        *why = "no \"Convolution\" in the filter menu";
        return false;
    }
    MoveTo(p.X(), p.Root(), x + 10, y + 4);
    int cx = 0, cy = 0;
    if (!p.WaitForText("Convolver", Screen::Rect{x + 40, y - 10, x + 400, y + 40}, &cx, &cy)) {
        *why = "no \"Convolver\" in the submenu";
        return false;
    }
    MoveTo(p.X(), p.Root(), cx - 5, y + 4);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    ClickAt(p.X(), p.Root(), cx + 10, cy + 4);
    int nx = 0, ny = 0;
    if (!p.WaitForText("Contrast *+ [soft]", c, &nx, &ny, 5000)) {
        *why = "no convolver page with its first preset";
        return false;
    }
    // The arrows stand right of the name, inside the page's frame: from the column's edge
    // leftwards, past the frame's line, the first mark is the "next" arrow's right edge.
    const int row = ny + 5;
    const uint8_t* ground = p.shot.At(c.left + 3, row);
    auto plain = [&](int px) {
        const uint8_t* q = p.shot.At(px, row);
        return std::abs(q[0] - ground[0]) < 30 && std::abs(q[1] - ground[1]) < 30 && std::abs(q[2] - ground[2]) < 30;
    };
    const int from = nx + testing_program::TextInk("Contrast *+ [soft]").width + 4;
    int px = p.Column().right - 16;
    while (px > from && plain(px)) --px;
    while (px > from && !plain(px)) --px;
    while (px > from && plain(px)) --px;
    if (px <= from) {
        *why = "no arrow right of the preset name inside the column";
        return false;
    }
    const int arrow = px - 4;
    ClickAt(p.X(), p.Root(), arrow, row);
    if (!p.WaitForText("Contrast + [soft]", c, &nx, &ny, 3000)) {
        *why = "the arrow did not step to the next preset";
        return false;
    }
    return true;
}

// "Chart Tools": its column, paged with its scroll bar, shows the panel's last rows whole.
bool ChartPanelRows(PageProgram& p, std::string* why) {
    const Window tools = p.screen.WaitForWindow("Chart Tools", 5000);
    if (tools == 0) {
        *why = "no Chart Tools window";
        return false;
    }
    const Screen::Rect t = p.screen.RectOf(tools);
    int x = 0, y = 0;
    if (!p.WaitForText("BIND SOURCES", t, &x, &y, 3000)) {
        *why = "no chart panel";
        return false;
    }
    // The column's bar pages it: click low on its track until the last rows come.
    for (const char* text : {"reset X", "Chart Y", "Memory:"}) {
        if (!p.PageDownUntil(text, tools, y + 4)) {
            *why = std::string("no whole \"") + text + "\" in the chart panel";
            return false;
        }
    }
    return true;
}

struct TextCase {
    const char* what;
    std::function<bool(PageProgram&, std::string*)> check;
};

TEST(PageTextsProgram, ThePagesShowTheirTextsWhole) {
    PageProgram p;
    bool skip = false;
    if (const std::string why = p.Start(&skip); !why.empty()) {
        if (skip) GTEST_SKIP() << why;
        FAIL() << why;
    }
    const std::vector<TextCase> cases = {
        {"the crop box of Source > Options", &CropBox},
        {"the convolver's page in the Plug-ins column", &ConvolverArrows},
        {"the chart panel of Chart Tools", &ChartPanelRows},
        // Last: the Output page's window stands over the column.
        {"the drive line of the Output page", &DriveLine},
    };
    for (const TextCase& c : cases) {
        std::string why;
        const bool ok = c.check(p, &why);
        EXPECT_TRUE(ok) << c.what << ": " << why << "\nthe screen: " << p.Keep("page_texts_" + std::to_string(&c - cases.data()));
    }
    EXPECT_TRUE(p.program->Running());
}

}  // namespace
}  // namespace orva
