// A FITS file with two image extensions, SCI (16-bit, 64 x 48) and ERR (32-bit reals,
// 40 x 32), opened in the real program and stepped through with the fast selector's
// "STREAM(S):" arrows as a user does (XTest): the selector, the Source's Info page, the
// workspace's picture (over the extension's own range), the preview and "Copy to
// clipboard" all show the chosen extension. The same file under a name in UTF-8 with
// letters beyond any 8-bit code page: the file tab and the Info page draw the name as
// written and "Copy to clipboard" copies it as UTF-8.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

// Latin letters with marks (no Windows-1251 byte has them) and Cyrillic ones.
constexpr const char* kUtf8Name = "\xC3\xBCn\xC3\xAF" "c\xC3\xB8" "d\xC3\xA9_\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.fits";

class ExtensionsProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        const std::string script =
            "import numpy as np\n"
            "from astropy.io import fits\n"
            "y, x = np.mgrid[0:48, 0:64]\n"
            "sci = ((x * 50 + y * 30) % 3000 - 500).astype(np.int16)\n"
            "y, x = np.mgrid[0:32, 0:40]\n"
            "err = (1000.0 + x * 7.5 - y * 3.25).astype(np.float32)\n"
            "fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(sci, name='SCI'), fits.ImageHDU(err, name='ERR')])"
            ".writeto('" + files.File("ext.fits") + "')\n"
            "import shutil\n"
            "shutil.copy('" + files.File("ext.fits") + "', '" + files.File(kUtf8Name) + "')\n";
        testing_util::WriteText(files.File("make.py"), script);
        int status = -1;
        const std::string out =
            testing_program::RunCommand(ORVA_PYTHON " '" + files.File("make.py") + "' 2>&1", &status);
        if (status != 0) GTEST_SKIP() << "astropy could not write the file: " << out;
    }

    Display* D() const { return screen.display(); }
    Window Root() const { return DefaultRootWindow(screen.display()); }
    std::string Keep(const std::string& name) {
        const std::string path = std::string(ORVA_BINARY_DIR) + "/" + name + ".ppm";
        screen.Grab(Root(), &shot);
        testing_program::WritePpm(path, shot);
        return path;
    }

    testing_util::TempFolder files;
    Screen screen;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
};

// What a box of the screen shows of an extension: the size of the box round its pixels
// that are not black, and whether a sharp step runs through it (SCI's values wrap from
// 2499 to -500 along a diagonal; ERR is a smooth ramp).
struct Seen {
    int width = 0, height = 0;
    bool sharp = false;
    int spread = 0;  // of the grey levels inside the box
};

Seen SeenIn(const Picture& p, int x0, int y0, int x1, int y1) {
    int left = x1, right = -1, top = y1, bottom = -1;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (p.At(x, y)[0] > 8 || p.At(x, y)[1] > 8) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    Seen seen;
    if (right < left) return seen;
    seen.width = right - left + 1;
    seen.height = bottom - top + 1;
    // Inside the box, off its border: a step of more than half the grey scale.
    int low = 255, high = 0;
    for (int y = top + 1; y <= bottom - 1; ++y)
        for (int x = left + 1; x < right - 1; ++x) {
            low = std::min(low, int{p.At(x, y)[0]});
            high = std::max(high, int{p.At(x, y)[0]});
            if (y >= top + 3 && y <= bottom - 3 && x >= left + 3 && x < right - 3)
                seen.sharp = seen.sharp || std::abs(int{p.At(x, y)[0]} - int{p.At(x + 1, y)[0]}) > 128;
        }
    seen.spread = high - low;
    return seen;
}

TEST_F(ExtensionsProgram, TheSelectorInfoPagePictureAndClipboardShowOneExtension) {
    std::string why;
    main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File("ext.fits")}, &why);
    ASSERT_NE(main, 0u) << why;
    ASSERT_TRUE(program->WaitForLog("Source format", 20000)) << program->Log();

    // What the screen shows of extension `n` (1 SCI, 2 ERR): the selector's current field,
    // the Info page's "Original size", the workspace's picture (1:1) and the preview.
    auto shows = [&](int n, std::string* what) {
        const bool sci = n == 1;
        const std::string size = sci ? "64 x 48" : "40 x 32";
        if (!screen.Grab(Root(), &shot)) return (*what = "no screen", false);
        int sx = 0, sy = 0, ox = 0, oy = 0;
        if (!testing_program::FindText(shot, 0, 0, shot.width, 200, "STREAM(S):", &sx, &sy))
            return (*what = "no STREAM(S):", false);
        if (!testing_program::ShowsText(shot, sx + 105, sy - 4, 44, 17, std::to_string(n), what)) return false;
        if (!testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height,
                                      testing_program::UiTextInk("Original size"), &ox, &oy))
            return (*what = "no Info page", false);
        // The value column, right of the label's tail.
        if (!testing_program::ShowsInk(shot, ox + 66, oy - 4, 194, 18, testing_program::UiTextInk(size), size, what))
            return false;
        const Screen::Rect m = screen.RectOf(main);
        const testing_program::ChildWindow ws = testing_program::LargestChildWindow(D(), main);
        const Seen picture = SeenIn(shot, m.left + ws.x + 2, m.top + ws.y + 2, m.left + ws.x + ws.width - 2,
                                    m.top + ws.y + ws.height - 2);
        // Over the extension's own range: its grey levels span most of the scale.
        if (picture.width != (sci ? 64 : 40) || picture.height != (sci ? 48 : 32) || picture.sharp != sci ||
            picture.spread < 180) {
            *what = "the picture is " + std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                    (picture.sharp ? ", with a step" : ", smooth") + ", grey levels spread " +
                    std::to_string(picture.spread);
            return false;
        }
        const std::vector<Window> pages = testing_program::ValuePageWindows(D(), main);
        if (pages.empty()) return (*what = "no preview", false);
        const Screen::Rect pr = screen.RectOf(pages.front());
        // The preview stands above the value fields at the foot of the page.
        const Seen preview = SeenIn(shot, pr.left + 2, pr.top + 2, pr.right - 2, pr.bottom - 45);
        if (preview.width < 20 || preview.sharp != sci) {
            *what = "the preview is " + std::to_string(preview.width) + " x " + std::to_string(preview.height) +
                    (preview.sharp ? ", with a step" : ", smooth");
            return false;
        }
        return true;
    };
    auto waitShows = [&](int n, std::string* what) {
        for (int waited = 0; waited < 10000; waited += 250) {
            if (shows(n, what)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    };
    // The clipboard once it holds `expected` (the copy is made in the program's own time),
    // or what it held last.
    auto clipboard = [&](const std::string& expected) {
        std::string text;
        for (int waited = 0; waited <= 10000; waited += 250) {
            int status = -1;
            text = testing_program::RunCommand("timeout 5 xclip -selection clipboard -o 2>&1", &status);
            if (text.find(expected) != std::string::npos) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return text;
    };
    // "Copy to clipboard" stands 168 pixels right of the Info page's "Original size" label
    // and 213 below it.
    auto copy = [&]() {
        int ox = 0, oy = 0;
        if (!screen.Grab(Root(), &shot) ||
            !testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height,
                                      testing_program::UiTextInk("Original size"), &ox, &oy))
            return false;
        testing_program::ClickAt(D(), Root(), ox + 168, oy + 213);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        return true;
    };
    auto stepStream = [&](bool forward) {
        int sx = 0, sy = 0;
        if (!screen.Grab(Root(), &shot) || !testing_program::FindText(shot, 0, 0, shot.width, 200, "STREAM(S):", &sx, &sy))
            return false;
        testing_program::ClickAt(D(), Root(), sx + (forward ? 168 : 157), sy + 4);
        return true;
    };

    // Opened: SCI everywhere, and "Copy to clipboard" copies SCI.
    EXPECT_TRUE(waitShows(1, &why)) << why << "\n" << Keep("ext_open");
    ASSERT_TRUE(copy());
    std::string copied = clipboard("64 x 48");
    EXPECT_NE(copied.find("64 x 48"), std::string::npos) << copied;
    EXPECT_EQ(copied.find("40 x 32"), std::string::npos) << copied;

    // Stream 2: ERR everywhere, also after "Copy to clipboard", which copies ERR.
    ASSERT_TRUE(stepStream(true));
    EXPECT_TRUE(waitShows(2, &why)) << why << "\n" << Keep("ext_stream2");
    ASSERT_TRUE(copy());
    copied = clipboard("40 x 32");
    EXPECT_NE(copied.find("40 x 32"), std::string::npos) << copied;
    EXPECT_EQ(copied.find("64 x 48"), std::string::npos) << copied;
    EXPECT_TRUE(waitShows(2, &why)) << why << "\n" << Keep("ext_stream2_copied");

    // Back to stream 1: SCI again.
    ASSERT_TRUE(stepStream(false));
    EXPECT_TRUE(waitShows(1, &why)) << why << "\n" << Keep("ext_stream1");
    EXPECT_TRUE(program->Running());
    EXPECT_EQ(program->End(), 0);
}

TEST_F(ExtensionsProgram, ANameInUtf8IsDrawnAndCopiedAsWritten) {
    std::string why;
    main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File(kUtf8Name)}, &why);
    ASSERT_NE(main, 0u) << why;
    ASSERT_TRUE(program->WaitForLog("Source format", 20000)) << program->Log();
    const testing_program::InkMask name = testing_program::UiTextInk(kUtf8Name);
    ASSERT_GT(name.width, 0);

    // The Info page's "Name" row shows it in the value column (66 pixels right of the
    // labels, as "Original size" shows the size), the file tab right of the page column.
    auto shown = [&](std::string* what) {
        int ox = 0, oy = 0, nx = 0, ny = 0, tx = 0, ty = 0;
        if (!screen.Grab(Root(), &shot)) return (*what = "no screen", false);
        if (!testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height,
                                      testing_program::UiTextInk("Original size"), &ox, &oy))
            return (*what = "no Info page", false);
        if (!testing_program::FindInk(shot, ox - 4, oy - 120, 60, 120, testing_program::UiTextInk("Name"), &nx, &ny))
            return (*what = "no Name row", false);
        if (!testing_program::ShowsInk(shot, ox + 66, ny - 4, 194, 18, name, kUtf8Name, what)) return false;
        if (!testing_program::FindInk(shot, ox + 260, 0, shot.width - ox - 260, oy, name, &tx, &ty))
            return (*what = "the file tab does not show the name", false);
        return true;
    };
    bool ok = false;
    for (int waited = 0; waited < 15000 && !ok; waited += 250) {
        ok = shown(&why);
        if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_TRUE(ok) << why << "\n" << Keep("utf8_name");

    // "Copy to clipboard" (168 pixels right of "Original size", 213 below it): the name
    // as UTF-8, as the UTF8_STRING target gives it.
    int ox = 0, oy = 0;
    ASSERT_TRUE(testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height,
                                         testing_program::UiTextInk("Original size"), &ox, &oy));
    std::string copied;
    for (int waited = 0; waited < 10000; waited += 700) {
        testing_program::ClickAt(D(), Root(), ox + 168, oy + 213);
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        int status = -1;
        copied = testing_program::RunCommand("timeout 5 xclip -selection clipboard -t UTF8_STRING -o 2>&1", &status);
        if (copied.find("Name ") != std::string::npos) break;
    }
    EXPECT_NE(copied.find(std::string(": ") + kUtf8Name + "\r\n"), std::string::npos) << copied;
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
