// The Reduction's "SLICE / STATISTIC" page as a user reaches it in the running shell: a
// FITS image written by astropy is opened, the "Extraction/Statistic" tab chosen, and a
// click through the X server on the page's title label opens the Reduction's options
// window with the SLICE / STATISTIC page; its widgets are drawn with their texts, a click
// on "Distribution" switches the histogram to a distribution, and a second click on the
// label closes the window again.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "app/ui_elements.h"
#include "main/display_services.h"
#include "platform/window_api.h"
#include "program_shell.h"
#include "reduction/reduction_component.h"
#include "test_support.h"
#include "toolkit/tab_bar.h"
#include "views/display_cell.h"
#include "views/slice_page.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(SlicePageProgram, TheTitleLabelOpensTheSlicePage) { GTEST_SKIP() << "this build has no open road"; }

#else

using namespace testing_util;

class SlicePageProgram : public ShellTest {
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
    static void ClickIn(const gWindow* w, const gElement* e) {
        FakeMotionIn(w, static_cast<int>(e->x + e->width / 2), static_cast<int>(e->y + e->height / 2), 150);
        FakeButton(true);
        PumpFor(50);
        FakeButton(false);
        PumpFor(400);
    }
    static bool Shown(const gWindow* w) {
        return w != nullptr && w->hwnd != nullptr && platform::IsWindowVisible(w->hwnd);
    }
    // The distinct colours inside a widget's box on a window read back.
    static size_t Colours(gWindow* w, const gElement* e) {
        PaintWindow(w);
        const std::vector<uint8_t> pixels = ReadBack(w);
        std::vector<uint32_t> seen;
        for (int y = static_cast<int>(e->y); y < static_cast<int>(e->y + e->height); ++y)
            for (int x = static_cast<int>(e->x); x < static_cast<int>(e->x + e->width); ++x) {
                if (x < 0 || y < 0 || x >= w->clientWidth || y >= w->clientHeight) continue;
                const uint8_t* p = pixels.data() + 3 * (static_cast<size_t>(w->clientHeight - 1 - y) * w->clientWidth + x);
                seen.push_back(static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2]);
            }
        std::sort(seen.begin(), seen.end());
        return static_cast<size_t>(std::unique(seen.begin(), seen.end()) - seen.begin());
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
};

TEST_F(SlicePageProgram, TheTitleLabelOpensTheSlicePage) {
    const std::string path = folder.File("field.fits");
    if (!testing_program::RunPython(path + ".py", "import numpy as np\n"
                                                  "from astropy.io import fits\n"
                                                  "y, x = np.mgrid[0:120, 0:160]\n"
                                                  "fits.PrimaryHDU((x * 3 + y).astype(np.int16)).writeto('" +
                                                      path + "', overwrite=True)\n"))
        GTEST_SKIP() << "no astropy";
    ASSERT_NE(testing_program::OpenIntoCellOne(&cui(), path), nullptr);
    ReductionComponent* r = nullptr;
    for (ComponentBase* c : cui().Components())
        if (auto* found = dynamic_cast<ReductionComponent*>(c)) r = found;
    ASSERT_NE(r, nullptr);

    // The container that hosts the Reduction's page in the main window, and its options
    // window record, whose title label heads the page.
    auto* page = static_cast<UIPage*>(r->pageWindow);
    ASSERT_TRUE(UIPageIsLive(page));
    OptionsWindow* host = nullptr;
    for (ListNode* n = cui().containers.head; n != nullptr; n = n->next)
        if (OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(n->item)); c != nullptr && c->ownPage == page)
            host = c;
    ASSERT_NE(host, nullptr);
    UIWindowRecord* record = UIWindowRecordFind(host, kPageOptions);
    ASSERT_NE(record, nullptr);
    gElement* label = record->titleLabel;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(record->element.window, nullptr);
    EXPECT_EQ(SlicePageElement(r), nullptr);

    // The "Extraction/Statistic" tab shows the page with its title label.
    WindowGroup& g = cui().groups[0];
    const auto tab = std::find(g.tabLabels.begin(), g.tabLabels.end(), "Extraction/Statistic");
    ASSERT_NE(tab, g.tabLabels.end());
    TabCtrl* tabs = TabCtrl::FromWidget(g.tabBar);
    ASSERT_NE(tabs, nullptr);
    ASSERT_NE(tabs->current, nullptr);
    const int32_t index = static_cast<int32_t>(tab - g.tabLabels.begin());
    FakeMotionIn(Main(), static_cast<int>(g.tabBar->x + tabs->TabX(tabs->current, index) + tabs->tabHeight),
                 static_cast<int>(g.tabBar->y + g.tabBar->height / 2), 150);
    FakeButton(true);
    PumpFor(50);
    FakeButton(false);
    PumpFor(300);
    ASSERT_EQ(tabs->current->current, index);
    ASSERT_NE(label->shown, 0);

    // A click on the label opens the options window with the SLICE / STATISTIC page.
    ClickIn(Main(), label);
    gWindow* w = record->element.window;
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(Shown(w));
    UIElement* slice = SlicePageElement(r);
    ASSERT_NE(slice, nullptr);
    ASSERT_EQ(slice->window, w);
    gElement* histogram = slice->slots[kSlcHistogram];
    gElement* distribution = slice->slots[kSlcDistribution];
    ASSERT_NE(distribution, nullptr);
    EXPECT_EQ(distribution->text, "Distribution");
    // The page's title is drawn: its label shows more than its background.
    const gElement* title = nullptr;
    ASSERT_NE(slice->group, nullptr);
    for (gRow* row = slice->group->rowsHead; row != nullptr && title == nullptr; row = row->nextRow)
        for (gElement* x = row->first; x != nullptr; x = x->rowNext)
            if (x->text == "SLICE / STATISTIC") title = x;
    ASSERT_NE(title, nullptr);
    EXPECT_GT(Colours(w, title), 2u);
    EXPECT_EQ(r->Options().values.stat.vis, 0);

    // Its controls work: "Distribution" pressed through the X server.
    ClickIn(w, distribution);
    EXPECT_EQ(r->Options().values.stat.vis, 1);
    EXPECT_NE(distribution->value, 0u);
    EXPECT_EQ(histogram->value, 0u);

    // A second click on the label closes the window; a third brings it back, built once.
    ClickIn(Main(), label);
    EXPECT_FALSE(Shown(w));
    ClickIn(Main(), label);
    EXPECT_EQ(record->element.window, w);
    EXPECT_TRUE(Shown(w));
    EXPECT_EQ(SlicePageElement(r), slice);
}

#endif

}  // namespace
}  // namespace orva
