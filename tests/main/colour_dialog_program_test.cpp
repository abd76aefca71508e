// The background colour dialog as a user meets it: the real program on an image written
// by astropy, the zoom bar's "BG" menu > "Select Color...", levels typed into its fields
// with XTest keys. OK paints the cell's background in exactly the typed colour and the
// menu then checks it; Cancel leaves the background as it was.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <string>
#include <thread>

#include "extraction_program.h"
#include "program_input.h"
#include "screen_text.h"

namespace orva {
namespace {

using testing_program::ClickAt;
using testing_program::MoveTo;
using testing_program::Screen;

// A 200 x 160 grey ramp, far from the colours typed below.
constexpr const char* kMake = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:160, 0:200]
fits.PrimaryHDU((1000 + x + y).astype(np.int16)).writeto(sys.argv[1] + '/ramp.fits', overwrite=True)
)";

class ColourDialogProgram : public testing_program::ExtractionProgram {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), kMake);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " " + files.File("make.py") + " " + files.Path(), &status);
        ASSERT_EQ(status, 0) << out;
        ASSERT_TRUE(Start("ramp.fits"));
    }

    Display* D() { return screen.display(); }

    // The cell's background: the pixel near the main window's right edge, a little above
    // the zoom bar's "BG" button (the picture stands centred, far from it).
    bool Background(uint8_t rgb[3]) {
        const Screen::Rect m = screen.RectOf(main);
        int x = 0, y = 0;
        if (!WaitForText("BG", m.left, m.top, m.right - m.left, m.bottom - m.top, &x, &y)) return false;
        if (!Grab()) return false;
        const uint8_t* p = shot.At(m.right - 20, y - 15);
        std::copy(p, p + 3, rgb);
        return true;
    }

    // "BG" > `entry` of the zoom bar under the cell; where the menu's "Black" row stands.
    ::testing::AssertionResult ChooseBg(const std::string& entry, int* blackX = nullptr, int* blackY = nullptr) {
        const Screen::Rect m = screen.RectOf(main);
        int x = 0, y = 0;
        if (!WaitForText("BG", m.left, m.top, m.right - m.left, m.bottom - m.top, &x, &y))
            return ::testing::AssertionFailure() << "no BG button";
        ClickAt(D(), Root(), x + 6, y + 4);
        int bx = 0, by = 0;
        if (!WaitForText("Black", x - 20, y, 300, 60, &bx, &by)) return ::testing::AssertionFailure() << "no BG menu";
        if (blackX != nullptr) *blackX = bx;
        if (blackY != nullptr) *blackY = by;
        if (entry.empty()) return ::testing::AssertionSuccess();
        int ex = 0, ey = 0;
        if (!WaitForText(entry, bx - 10, by, 300, 300, &ex, &ey)) return ::testing::AssertionFailure() << "no " << entry;
        MoveTo(D(), Root(), ex + 10, ey + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        ClickAt(D(), Root(), ex + 10, ey + 4);
        return ::testing::AssertionSuccess();
    }

    // Types the three levels into the dialog's fields (found by their captions); the
    // dialog's box in `dialog`. (The focused field's caret touches its text, so the text
    // is judged by what OK then paints.)
    ::testing::AssertionResult TypeLevels(const char* const levels[3], Screen::Rect* dialog) {
        const Window w = screen.WaitForWindow("Select Color", 10000);
        if (w == 0) return ::testing::AssertionFailure() << "no colour dialog";
        // The window is found as soon as it is made, before it stands where it opens: its
        // box is taken once it stays put.
        Screen::Rect r = screen.RectOf(w);
        for (int waited = 0; waited < 5000; waited += 300) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const Screen::Rect now = screen.RectOf(w);
            const bool same = now.left == r.left && now.top == r.top && now.right == r.right && now.bottom == r.bottom;
            r = now;
            if (same && waited >= 600) break;
        }
        *dialog = r;
        static const char* const kCaptions[3] = {"Red:", "Green:", "Blue:"};
        // The captions are found before anything is typed: a field being edited draws
        // over its neighbourhood until its entry ends.
        int at[3][2] = {};
        for (int i = 0; i < 3; ++i)
            if (!WaitForText(kCaptions[i], r.left, r.top, r.right - r.left, r.bottom - r.top, &at[i][0], &at[i][1]))
                return ::testing::AssertionFailure() << "no " << kCaptions[i];
        for (int i = 0; i < 3; ++i) {
            const int x = at[i][0], y = at[i][1];
            // The field stands right of the caption's cell (44 pixels wide).
            // (A dialog just opened may take the first click for itself.)
            for (int click = 0; click < 2; ++click) {
                ClickAt(D(), Root(), x + 60, y + 4);
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
            testing_program::PressKeys(D(), {XK_End});
            for (int k = 0; k < 4; ++k) testing_program::PressKeys(D(), {XK_BackSpace});
            for (const char* c = levels[i]; *c != '\0'; ++c)
                testing_program::PressKeys(D(), {static_cast<KeySym>(XK_0 + (*c - '0'))});
            // Tab ends the entry, as Enter does; a click elsewhere would drop it.
            testing_program::PressKeys(D(), {XK_Tab});
        }
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult Press(const Screen::Rect& r, const std::string& button) {
        int x = 0, y = 0;
        if (!WaitForText(button, r.left, r.top, r.right - r.left, r.bottom - r.top, &x, &y)) {
            testing_program::WritePpm(ORVA_BINARY_DIR "/colour_dialog_shown.ppm", shot);
            return ::testing::AssertionFailure() << "no " << button << " (the screen: " ORVA_BINARY_DIR
                                                 "/colour_dialog_shown.ppm)";
        }
        ClickAt(D(), Root(), x + 4, y + 4);
        MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
        return ::testing::AssertionSuccess();
    }

    // Waits for the background to become `want`.
    ::testing::AssertionResult BackgroundIs(const uint8_t want[3]) {
        uint8_t rgb[3] = {};
        for (int waited = 0; waited <= 5000; waited += 250) {
            if (Background(rgb) && rgb[0] == want[0] && rgb[1] == want[1] && rgb[2] == want[2])
                return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return ::testing::AssertionFailure() << "background " << int(rgb[0]) << "," << int(rgb[1]) << "," << int(rgb[2])
                                             << " wanted " << int(want[0]) << "," << int(want[1]) << "," << int(want[2]);
    }

    // Whether the menu row at `y` holds ink right of its label column (the check mark).
    bool Checked(int labelX, int y) {
        if (!Grab()) return false;
        int ink = 0;
        for (int py = y - 2; py < y + 12; ++py)
            for (int px = labelX + 70; px < labelX + 100; ++px) {
                const uint8_t* p = shot.At(px, py);
                if (p[0] < 80 && p[1] < 80 && p[2] < 80) ++ink;
            }
        return ink >= 4;
    }
};

TEST_F(ColourDialogProgram, TheTypedColourBecomesTheBackgroundAndTheMenuChecksIt) {
    uint8_t before[3] = {};
    ASSERT_TRUE(Background(before));

    // Cancel: nothing changes, though the fields held another colour.
    ASSERT_TRUE(ChooseBg("Select Color"));
    Screen::Rect dialog;
    static const char* const kMagenta[3] = {"255", "0", "255"};
    ASSERT_TRUE(TypeLevels(kMagenta, &dialog));
    ASSERT_TRUE(Press(dialog, "Cancel"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(BackgroundIs(before)) << "after Cancel";

    // OK: the background is the typed colour (levels a 7-bit channel holds exactly).
    ASSERT_TRUE(ChooseBg("Select Color"));
    ASSERT_TRUE(TypeLevels(kMagenta, &dialog));
    ASSERT_TRUE(Press(dialog, "OK"));
    const uint8_t magenta[3] = {255, 0, 255};
    EXPECT_TRUE(BackgroundIs(magenta)) << "after OK";

    // The menu lists the colour as "Color", checked, and "Black" no longer.
    int bx = 0, by = 0;
    ASSERT_TRUE(ChooseBg("", &bx, &by));
    int cx = 0, cy = 0;
    ASSERT_TRUE(WaitForText("Color", bx - 10, by + 10, 200, 200, &cx, &cy)) << "no entry for the new colour";
    EXPECT_TRUE(Checked(bx, cy)) << "the new colour's row is not checked";
    EXPECT_FALSE(Checked(bx, by)) << "Black is still checked";
    testing_program::PressKeys(D(), {XK_Escape});
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
