// The select tab strip of the main window as a user sees it: the program started on an
// image and a spectrum written by astropy shows one tab per file in a strip above the
// workspace (not under it), the last file's tab chosen and its chart in the workspace;
// a click on the other tab shows the image, and a click back the chart again. Read back
// with XGetImage and clicked with XTest.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::ChildWindow;
using testing_program::ColourRun;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;

using testing_program::kChosenTab;
using testing_program::kOtherTab;

// The strip as found on the screen: its row, its two tabs and the workspace under it.
struct Strip {
    int y = -1;
    ColourRun chosen, other;
    ChildWindow host;
};

// The workspace: the largest child window of the main window right of the page column.
ChildWindow Workspace(Display* d, Window main) {
    ChildWindow host;
    for (const ChildWindow& ch : testing_program::ChildWindows(d, main))
        if (ch.width * ch.height > host.width * host.height) host = ch;
    return host;
}

// A row above the workspace, within its columns, that holds one chosen and one other tab
// (the page column's own tab bar lies left of the workspace).
Strip FindStrip(const Picture& p, const ChildWindow& host) {
    Strip s;
    s.host = host;
    for (int y = 0; y < host.y && y < p.height; ++y) {
        std::vector<ColourRun> chosen, other;
        for (const ColourRun& r : testing_program::RunsInRow(p, kChosenTab, y, 12))
            if (r.from >= host.x) chosen.push_back(r);
        for (const ColourRun& r : testing_program::RunsInRow(p, kOtherTab, y, 12))
            if (r.from >= host.x) other.push_back(r);
        if (chosen.size() == 1 && other.size() == 1) {
            s.y = y;
            s.chosen = chosen[0];
            s.other = other[0];
            return s;
        }
    }
    return s;
}

// The grey levels shown in the workspace: a ramp image shows hundreds, a chart a handful
// (its background, its curve and its rulers).
size_t GreyLevels(const Picture& p, const ChildWindow& host) {
    std::set<int> levels;
    for (int y = host.y; y < host.y + host.height && y < p.height; ++y) {
        for (int x = host.x; x < host.x + host.width && x < p.width; ++x) {
            const uint8_t* c = p.At(x, y);
            if (c[0] == c[1] && c[1] == c[2]) levels.insert(c[0]);
        }
    }
    return levels.size();
}

constexpr size_t kImageLevels = 100;  // at least, for the ramp
constexpr size_t kChartLevels = 40;   // at most, for the chart

// Waits until the strip shows the tab that starts at `x` chosen; the picture and strip
// then seen.
bool WaitForChosen(Screen& screen, Window main, int x, int ms, Picture* shown, Strip* strip) {
    Display* d = screen.display();
    for (int waited = 0; waited < ms; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        screen.Raise(main);
        if (!screen.Grab(main, shown)) continue;
        *strip = FindStrip(*shown, Workspace(d, main));
        if (strip->y >= 0 && strip->chosen.from <= x + 2 && strip->chosen.to > x) return true;
    }
    return false;
}

TEST(SelectTabProgram, TheStripAboveTheWorkspaceShowsTheClickedFile) {
    if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "astropy or numpy not installed";
    Screen screen;
    ASSERT_NE(screen.display(), nullptr) << "no X display";
    Display* d = screen.display();
    int a, b, c, e;
    if (!XTestQueryExtension(d, &a, &b, &c, &e)) GTEST_SKIP() << "no XTest";
    testing_util::TempFolder files;
    const std::string image = files.File("ramp.fits");
    const std::string spectrum = files.File("line.fits");
    int status = -1;
    testing_program::RunCommand(ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
                                "y, x = np.mgrid[0:200, 0:300]; "
                                "fits.PrimaryHDU((x + y).astype(np.int16)).writeto(\"" + image + "\"); "
                                "t = np.arange(500); "
                                "fits.PrimaryHDU((100 * np.sin(t / 40.0)).astype(np.float32)).writeto(\"" +
                                    spectrum + "\")' 2>&1",
                                &status);
    ASSERT_EQ(status, 0);
    const std::string folder = files.File("run");
    mkdir(folder.c_str(), 0700);
    ProgramRun program(folder, {image, spectrum});
    const Window main = screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u) << program.Log();
    ASSERT_TRUE(program.WaitForLog("line.fits", 20000)) << program.Log();

    // The strip with its two tabs above the workspace, the spectrum's (the last opened)
    // chosen and on the right, its chart shown.
    Picture shown;
    Strip strip;
    bool ready = false;
    for (int waited = 0; waited < 20000 && !ready; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        screen.Raise(main);
        if (!screen.Grab(main, &shown)) continue;
        strip = FindStrip(shown, Workspace(d, main));
        ready = strip.y >= 0 && strip.chosen.from > strip.other.from && GreyLevels(shown, strip.host) <= kChartLevels;
    }
    testing_program::WritePpm(ORVA_BINARY_DIR "/select_tab_first.ppm", shown);
    ASSERT_TRUE(ready) << "no strip with the spectrum's tab chosen above a chart; grey levels "
                       << GreyLevels(shown, strip.host) << "\n" << program.Log();
    // Nothing covers it: no child window over the strip's row.
    for (const ChildWindow& ch : testing_program::ChildWindows(d, main)) {
        const bool covers = ch.y <= strip.y && ch.y + ch.height > strip.y && ch.x < strip.chosen.to &&
                            ch.x + ch.width > strip.other.from;
        EXPECT_FALSE(covers) << "a child window at (" << ch.x << ", " << ch.y << ") " << ch.width << " x "
                             << ch.height;
    }
    const int imageTab = strip.other.from, spectrumTab = strip.chosen.from;

    // A click on the image's tab: its tab is chosen and the ramp shows.
    testing_program::ClickAt(d, main, (strip.other.from + strip.other.to) / 2, strip.y + 2);
    ASSERT_TRUE(WaitForChosen(screen, main, imageTab, 10000, &shown, &strip)) << program.Log();
    size_t levels = 0;
    for (int waited = 0; waited < 10000 && levels < kImageLevels; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        screen.Raise(main);
        if (screen.Grab(main, &shown)) levels = GreyLevels(shown, Workspace(d, main));
    }
    testing_program::WritePpm(ORVA_BINARY_DIR "/select_tab_image.ppm", shown);
    EXPECT_GE(levels, kImageLevels) << program.Log();

    // And back: the spectrum's chart again.
    strip = FindStrip(shown, Workspace(d, main));
    ASSERT_GE(strip.y, 0);
    testing_program::ClickAt(d, main, (strip.other.from + strip.other.to) / 2, strip.y + 2);
    ASSERT_TRUE(WaitForChosen(screen, main, spectrumTab, 10000, &shown, &strip)) << program.Log();
    for (int waited = 0; waited < 10000 && levels > kChartLevels; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        screen.Raise(main);
        if (screen.Grab(main, &shown)) levels = GreyLevels(shown, Workspace(d, main));
    }
    testing_program::WritePpm(ORVA_BINARY_DIR "/select_tab_chart.ppm", shown);
    EXPECT_LE(levels, kChartLevels);
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
