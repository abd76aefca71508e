// The Transformation's "View" page of an opened file in the running shell on the X server:
// a FITS ramp written by astropy is opened through the open road; the main window's tab
// bar then offers "View" beside "Source" and "Plug-ins", choosing it draws the page's
// blocks where the Source's pages were, and a click through the X server on the "1000"
// button of "High:" widens the range, which darkens the picture in the workspace. The
// real program shows the page of its one file with the palette in use named and the
// level rows' fields in columns under their "R", "G" and "B" heads.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <GL/gl.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "app/ui_elements.h"
#include "framework/display_lock.h"
#include "main/display_services.h"
#include "page_program.h"
#include "program_shell.h"
#include "test_support.h"
#include "toolkit/tab_bar.h"
#include "transform/transformation.h"
#include "views/display_cell.h"
#include "views/view_page.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(ViewPageProgram, TheViewPageIsATabOfTheMainWindow) { GTEST_SKIP() << "this build has no open road"; }

#else

using namespace testing_util;
using testing_program::StageColour;

// A 300 x 200 16-bit ramp x + y (0 … 498), written by astropy.
bool WriteRamp(const std::string& path) {
    return testing_program::RunPython(path + ".py",
                                      "import numpy as np\n"
                                      "from astropy.io import fits\n"
                                      "y, x = np.mgrid[0:200, 0:300]\n"
                                      "fits.PrimaryHDU((x + y).astype(np.int16)).writeto('" +
                                          path + "', overwrite=True)\n");
}

class ViewPageProgram : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallDisplayServices();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        services_.reset();
    }
    // The window painted and read back, rows top first.
    static ScreenImage Shot(gWindow* w) {
        PaintWindow(w);
        const std::vector<uint8_t> pixels = ReadBack(w);
        ScreenImage shot;
        shot.width = w->clientWidth;
        shot.height = w->clientHeight;
        for (int y = shot.height - 1; y >= 0; --y) {
            const uint8_t* row = pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(shot.width) * 3;
            for (int x = 0; x < shot.width; ++x) shot.pixels.push_back({row[3 * x], row[3 * x + 1], row[3 * x + 2]});
        }
        return shot;
    }
    // The pixels of a widget's box that differ between two pictures, and the box's size.
    static std::pair<int, int> Differing(const ScreenImage& a, const ScreenImage& b, const gElement* e) {
        int differ = 0, all = 0;
        for (int y = static_cast<int>(e->y); y < static_cast<int>(e->y + e->height) && y < a.height; ++y)
            for (int x = static_cast<int>(e->x); x < static_cast<int>(e->x + e->width) && x < a.width; ++x) {
                ++all;
                const Rgb p = a.At(x, y), q = b.At(x, y);
                if (p.r != q.r || p.g != q.g || p.b != q.b) ++differ;
            }
        return {differ, all};
    }
    // The summed brightness of the cell's view in its host window.
    static long ViewBrightness(DisplayComponent* cell, const char* name) {
        const ScreenImage shot = Shot(cell->window);
        EXPECT_TRUE(shot.SavePpm(std::string(ORVA_BINARY_DIR) + "/" + name + ".ppm"));
        const gElement* v = cell->widget;
        const int x0 = static_cast<int>(v->x) + cell->host.offsetX, y0 = static_cast<int>(v->y) + cell->host.offsetY;
        long sum = 0;
        for (int y = std::max(0, y0); y < std::min(shot.height, y0 + static_cast<int>(v->height)); ++y)
            for (int x = std::max(0, x0); x < std::min(shot.width, x0 + static_cast<int>(v->width)); ++x) {
                const Rgb p = shot.At(x, y);
                sum += p.r + p.g + p.b;
            }
        return sum;
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
};

TEST_F(ViewPageProgram, TheViewPageIsATabOfTheMainWindow) {
    const std::string path = folder.File("ramp.fits");
    if (!WriteRamp(path)) GTEST_SKIP() << "no astropy";
    DisplayComponent* cell = testing_program::OpenIntoCellOne(&cui(), path);
    ASSERT_NE(cell, nullptr);
    auto* stage = dynamic_cast<TransformationComponent*>(cell->currentDevice->pin.upstream);
    ASSERT_NE(stage, nullptr);

    // The tabs: the two pages built at start, then the file's Reduction and Transformation
    // pages in the order they register; the display cells' registrations, which show
    // nothing there, are no tabs.
    WindowGroup& g = cui().groups[0];
    EXPECT_EQ(g.tabLabels, (std::vector<std::string>{"Source", "Plug-ins", "Extraction/Statistic", "View"}));
    const auto view = std::find(g.tabLabels.begin(), g.tabLabels.end(), "View");
    ASSERT_NE(view, g.tabLabels.end());
    const int32_t viewTab = static_cast<int32_t>(view - g.tabLabels.begin());
    // The "Chart Tools" window has no tab for the file's pages.
    EXPECT_EQ(std::count(cui().groups[1].tabLabels.begin(), cui().groups[1].tabLabels.end(), "View"), 0);

    // The page's range block is built in the main window, hidden while "Source" is chosen.
    auto* page = static_cast<UIPage*>(stage->pageWindow);
    ASSERT_TRUE(UIPageIsLive(page));
    UIElement* range = UIElementFind(page, &ScaleRangePanelBuild);
    ASSERT_NE(range, nullptr);
    ASSERT_NE(range->slots, nullptr);
    ASSERT_EQ(range->window, Main());
    gElement* thousand = range->slots[kRngHighDecade + 2];
    ASSERT_NE(thousand, nullptr);
    ASSERT_NE(range->group, nullptr);
    EXPECT_EQ(range->group->shown, 0);
    const ScreenImage before = Shot(Main());

    // A click on the "View" tab shows the block: the button's box is drawn anew.
    TabCtrl* tabs = TabCtrl::FromWidget(g.tabBar);
    ASSERT_NE(tabs, nullptr);
    ASSERT_NE(tabs->current, nullptr);
    ASSERT_FALSE(tabs->HasArrows());
    const float tabX = g.tabBar->x + tabs->TabX(tabs->current, viewTab) + tabs->tabHeight;
    FakeMotionIn(Main(), static_cast<int>(tabX), static_cast<int>(g.tabBar->y + g.tabBar->height / 2), 150);
    FakeButton(true);
    PumpFor(50);
    FakeButton(false);
    PumpFor(300);
    EXPECT_EQ(tabs->current->current, viewTab);
    EXPECT_NE(range->group->shown, 0);
    const ScreenImage shown = Shot(Main());
    EXPECT_TRUE(shown.SavePpm(std::string(ORVA_BINARY_DIR) + "/view_page_tab.ppm"));
    const auto [differ, all] = Differing(before, shown, thousand);
    ASSERT_GT(all, 50);
    EXPECT_GT(differ, all / 4);
    platform::SwapBuffers(Main()->hdc);
    PumpFor(100);

    // Max 498: the brightest pixel is white. A click on "1000" through the X server makes
    // Max 1498, so 498 shows as 498 / 1498 of full scale.
    EXPECT_EQ(stage->scaler.Current().max, 498.0);
    const Rgb white = StageColour(cell, 299, 199);
    EXPECT_EQ(white.r, 255);
    const long bright = ViewBrightness(cell, "view_page_bright");
    FakeMotionIn(Main(), static_cast<int>(thousand->x + thousand->width / 2),
                 static_cast<int>(thousand->y + thousand->height / 2), 150);
    FakeButton(true);
    PumpFor(50);
    FakeButton(false);
    PumpFor(500);
    EXPECT_EQ(stage->scaler.Current().max, 1498.0);
    const Rgb dimmed = StageColour(cell, 299, 199);
    EXPECT_NEAR(dimmed.r, 498.0 / 1498.0 * 255.0, 1.0);
    EXPECT_EQ(dimmed.g, dimmed.r);
    // The picture on the screen darkens with it: its mean over the ramp drops to about a third.
    const long dark = ViewBrightness(cell, "view_page_dark");
    EXPECT_LT(dark, bright / 2);

    // Closing the file takes its "View" tab away.
    EXPECT_TRUE(ProjectCloseData(&cui(), false));
    PumpFor(300);
    EXPECT_EQ(g.tabLabels, (std::vector<std::string>{"Source", "Plug-ins"}));
    // Its blocks are gone with the page, or hidden.
    EXPECT_TRUE(!UIElementIsLive(range) || range->group == nullptr || !gWgtIsLive(range->group) ||
                range->group->shown == 0);
}

// The program on one file, as a user opens its "View" page: the palette box names the grey
// palette the picture is drawn with, and the three level rows stand in columns, each
// column under its head.
TEST(ViewPageOfTheProgram, NamesThePaletteInUseAndHeadsItsColumns) {
    testing_program::PageProgram run;
    bool skip = false;
    if (const std::string why = run.Start(&skip); !why.empty()) {
        if (skip) GTEST_SKIP() << why;
        FAIL() << why;
    }
    ASSERT_TRUE(run.ClickGroupTab(3)) << "no View tab";
    const testing_program::Screen::Rect column = run.Column();
    int px = 0, py = 0;
    ASSERT_TRUE(run.WaitForText("Palette:", column, &px, &py, 10000)) << run.Keep("view_page_palette");
    int x = 0, y = 0;
    EXPECT_TRUE(run.WaitForText("Grey  [Black/White]", {px, py - 4, px + 220, py + 14}, &x, &y))
        << "the palette box does not name Grey: " << run.Keep("view_page_palette");

    // Each level row's first value (the others are greyed while the row is linked): the
    // rows' fields stand in one set of columns.
    auto firstValue = [&](const char* label, const char* value, int* vx, int* vy) {
        int lx = 0, ly = 0;
        return testing_program::FindText(run.shot, column.left, column.top, column.right - column.left,
                                         column.bottom - column.top, label, &lx, &ly) &&
               testing_program::FindText(run.shot, lx + 40, ly - 3, 120, 16, value, vx, vy);
    };
    int ax = 0, ay = 0, bx = 0, by = 0, gx = 0, gy = 0;
    ASSERT_TRUE(firstValue("Amplification:", "1", &ax, &ay)) << run.Keep("view_page_levels");
    ASSERT_TRUE(firstValue("Black Level:", "0", &bx, &by)) << run.Keep("view_page_levels");
    ASSERT_TRUE(firstValue("Gamma:", "1", &gx, &gy)) << run.Keep("view_page_levels");
    EXPECT_NEAR(bx, ax, 1) << "Black Level's fields stand apart from Amplification's";
    EXPECT_NEAR(gx, ax, 1) << "Gamma's fields stand apart from Amplification's";
    // The heads in the row above: "R" over the first field (50 pixels from a little left
    // of its value), "G" and "B" each a field further.
    int head[3] = {0, 0, 0};
    const char* heads[3] = {"R", "G", "B"};
    for (int c = 0; c < 3; ++c) {
        int hy = 0;
        ASSERT_TRUE(testing_program::FindText(run.shot, column.left, ay - 24, column.right - column.left, 20,
                                              heads[c], &head[c], &hy))
            << heads[c] << ": " << run.Keep("view_page_heads");
    }
    EXPECT_GT(head[0], ax + 8) << "R stands left of its column: " << run.Keep("view_page_heads");
    EXPECT_LT(head[0], ax + 40) << "R stands right of its column";
    EXPECT_GT(head[1] - head[0], 45) << "G stands by R, not over the second column";
    EXPECT_GT(head[2] - head[1], 45) << "B stands by G, not over the third column";
    EXPECT_EQ(run.program->End(), 0);
}

#endif

}  // namespace
}  // namespace orva
