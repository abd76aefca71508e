// Keys and menu items as a user meets them over the picture, in the real program on a
// ramp written by astropy, with XTest's pointer and keys only: F4 with the pointer over
// the picture toggles the "Chart Tools" window as it does elsewhere, and once the data are
// closed (Alt+W) the Draw menu's tools are greyed, so that none is armed on an empty view;
// a zoom typed far beyond the largest and then back to 100 % shows the picture again; the
// About box closes with Enter and with Esc.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <string>
#include <thread>

#include "framed_picture.h"
#include "screen_text.h"
#include "shape_program.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::Screen;

class KeysAndMenusProgram : public testing_program::ShapeProgram {
protected:
    void SetUp() override { StartOn({"ramp.fits"}); }
    void Hover(int x, int y) {
        testing_program::MoveTo(D(), Root(), x + 1, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        testing_program::MoveTo(D(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // Waits until the "Chart Tools" window is shown (or hidden).
    bool ToolsShown(bool shown) {
        for (int waited = 0; waited <= 5000; waited += 200) {
            if ((screen.FindWindow("Chart Tools") != 0) == shown) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
};

TEST_F(KeysAndMenusProgram, F4OverThePictureTogglesTheChartTools) {
    ASSERT_TRUE(ToolsShown(true));
    Hover(SX(200), SY(150));
    Press({XK_F4});
    EXPECT_TRUE(ToolsShown(false)) << "F4 over the picture left Chart Tools shown";
    Press({XK_F4});
    EXPECT_TRUE(ToolsShown(true)) << "a second F4 did not show Chart Tools again";
    EXPECT_EQ(program->End(), 0);
}

// A greyed entry is drawn engraved, in two colours: it is not found as the plain text of
// an entry that can be chosen.
TEST_F(KeysAndMenusProgram, WithTheDataClosedTheDrawToolsAreGreyed) {
    const Screen::Rect m = screen.RectOf(main);
    auto drawMenuOffers = [&](const std::string& entry, bool* opened) {
        Picture before, open;
        *opened = false;
        // The screen as it stands once what came before has been drawn (two grabs agree).
        if (!Grab(&before)) return false;
        for (int waited = 0; waited <= 10000; waited += 300) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (!Grab(&open)) return false;
            const bool same = open.rgb == before.rgb;
            before = open;
            if (same) break;
        }
        testing_program::ClickAt(D(), Root(), m.left + 20, m.top + 62);
        // The menu stands over the page column once it is open: many pixels there changed.
        // Its entries are drawn with it, so the first picture that shows it tells.
        auto changed = [&] {
            int n = 0;
            for (int v = m.top + 70; v < m.top + 300; ++v)
                for (int u = m.left + 60; u < m.left + 300; ++u)
                    n += std::memcmp(before.At(u, v), open.At(u, v), 3) != 0 ? 1 : 0;
            return n;
        };
        for (int waited = 0; waited <= 10000 && !*opened; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            *opened = Grab(&open) && changed() > 2000;
        }
        int x = 0, y = 0;
        const bool found = *opened && testing_program::FindText(open, m.left + 40, m.top + 40, 400, 600, entry, &x, &y);
        Press({XK_Escape});
        // Gone from the screen before the bar is clicked again: a click on the bar while
        // the menu still stood would close it.
        bool closed = false;
        for (int waited = 0; waited <= 10000 && *opened && !closed; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            closed = Grab(&open) && changed() < 200;
        }
        return found;
    };
    bool opened = false;
    EXPECT_TRUE(drawMenuOffers("Rectangle", &opened)) << "Draw > Rectangle with data";
    EXPECT_TRUE(opened);
    Hover(SX(200), SY(150));
    Press({XK_Alt_L, XK_w});
    // The picture goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    for (const char* entry : {"Rectangle", "Line", "Gauge | Area"}) {
        EXPECT_FALSE(drawMenuOffers(entry, &opened)) << "Draw > " << entry << " without data";
        EXPECT_TRUE(opened) << "the Draw menu did not open";
    }
    EXPECT_EQ(program->End(), 0);
}

// The zoom bar's x field (right of its "1:1" field): 99999999 (held at the largest zoom,
// which carries the frame beyond the view), then 100: the whole framed picture stands in
// the view at 100 % again.
TEST_F(KeysAndMenusProgram, AZoomFarBeyondTheLargestAndBackShowsThePicture) {
    const Screen::Rect ws = testing_program::WorkspaceOf(screen, main);
    int ox = 0, oy = 0;
    ASSERT_TRUE(Grab(&shot) && testing_program::FindText(shot, ws.left, ws.bottom, ws.right - ws.left, 30, "1:1", &ox, &oy))
        << "no zoom bar";
    auto typeZoom = [&](const std::string& percent) {
        testing_program::ClickAt(D(), Root(), ox + 140, oy + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Press({XK_End});
        for (int i = 0; i < 12; ++i) Press({XK_BackSpace});
        ASSERT_TRUE(testing_program::TypeText(D(), percent));
        Press({XK_Return});
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    };
    // The zoom keeps the point under the pointer where it is: the pointer left of the
    // picture puts the frame far right of the view at the largest zoom.
    Hover(SX(-40), SY(150));
    typeZoom("99999999");
    typeZoom("100");
    testing_program::Shown again;
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &again, 8000))
        << "no framed picture after 99999999 % and 100 %";
    EXPECT_NEAR(again.zoom(400), 1.0, 1e-9);
    EXPECT_EQ(program->End(), 0);
}

TEST_F(KeysAndMenusProgram, TheAboutBoxClosesWithEnterAndEsc) {
    for (const KeySym key : {XK_Return, XK_Escape}) {
        SCOPED_TRACE(key == XK_Return ? "Enter" : "Esc");
        ASSERT_TRUE(testing_program::ChooseMainMenuEntry(screen, main, 131, "About")) << "no Help > About";
        const Window about = screen.WaitForWindow("About", 5000);
        ASSERT_NE(about, 0u) << "no About box";
        const Screen::Rect r = screen.RectOf(about);
        Hover((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Press({key});
        bool gone = false;
        for (int waited = 0; waited <= 5000 && !gone; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            gone = screen.FindWindow("About") == 0;
        }
        EXPECT_TRUE(gone) << "the About box stayed";
    }
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
