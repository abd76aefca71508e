// Two data files in one project, in the program's shell on the X server: the main window
// has one tab per kind of stage ("Source", "Plug-ins", "Extraction/Statistic", "View"),
// every tab shows the current file's stage, and the pages follow when the other file
// becomes current. The page that is not chosen draws none of its widgets, so no two
// shown widgets of the page column lie over each other.
//
// The test needs the open road and the image window; a build without them skips it.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

// Before the X headers (their Bool macro).
#include "views/source_pages.h"

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/group_layout.h"
#include "app/page_rows.h"
#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "io/service_description.h"
#include "main/source_page_services.h"
#include "test_support.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "views/open_data_files.h"
#include "views/source_component.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(ShownFilePages, TwoFiles) { GTEST_SKIP() << "this build has no open road or no image window"; }

#else

using namespace testing_util;

class ShownFilePages : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        savedPages_ = TheSourcePageHooks();
        savedSave_ = TheServiceSaveHooks();
        services_.emplace();
        InstallSourcePageServices();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
        started_ = true;
    }
    void TearDown() override {
        if (!started_) return;
        Stop();
        services_.reset();
        TheSourcePageHooks() = savedPages_;
        TheServiceSaveHooks() = savedSave_;
    }

    ProjectItem* Current() {
        orva::Project* p = cui().currentProject;
        return p != nullptr ? p->currentItem.load() : nullptr;
    }
    // The component each tab of the main window shows (its container's hosted page's).
    std::vector<ComponentBase*> TabComponents() {
        std::vector<ComponentBase*> out;
        for (UIPage* record : cui().groups[0].tabPages) {
            OptionsWindow* c = AsOptionsWindow(record->current);
            out.push_back(c != nullptr && UIPageIsLive(c->ownPage) ? c->ownPage->current : nullptr);
        }
        return out;
    }
    // The file name the Info page lists.
    bool InfoNames(const std::string& name) {
        for (UIPage* record : cui().groups[0].tabPages) {
            OptionsWindow* c = AsOptionsWindow(record->current);
            if (c == nullptr || !UIPageIsLive(c->ownPage) || c->ownPage->table.empty()) continue;
            UIElement* info = c->ownPage->table[0];
            if (info == nullptr || info->name != "Info" || info->slots == nullptr) continue;
            ListCtrl* list = ListCtrl::FromWidget(info->slots[kInfoDescription]);
            if (list == nullptr) return false;
            for (const ListRow& row : list->rows)
                for (const TextCell& cell : row.cells)
                    if (cell.text == name) return true;
        }
        return false;
    }
    // Every shown widget of the main window's page column: the groups of the pages docked
    // there.
    std::vector<gElement*> ShownColumnWidgets() {
        std::vector<gElement*> out;
        for (gGroup* g : PageColumnGroups(cui().groups[0]))
            for (gRow* row = g->rowsHead; row != nullptr; row = row->nextRow)
                for (gElement* e = row->first; e != nullptr; e = e->rowNext)
                    if (e->shown != 0 && e->cellWidth > 0 && e->cellHeight > 0) out.push_back(e);
        return out;
    }
    // Each tab of the main window shows the current item's stage; the widgets of the page
    // column lie side by side, none over another.
    void ExpectPagesOf(const char* name) {
        SCOPED_TRACE(name);
        ProjectItem* item = Current();
        ASSERT_NE(item, nullptr);
        ASSERT_EQ(item->path.FileName(), name);
        EXPECT_EQ(cui().groups[0].tabLabels,
                  (std::vector<std::string>{"Source", "Plug-ins", "Extraction/Statistic", "View"}));
        for (ComponentBase* c : TabComponents()) {
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c->owner, item) << c->name;
        }
        EXPECT_TRUE(InfoNames(name));
        const std::vector<gElement*> shown = ShownColumnWidgets();
        EXPECT_GT(shown.size(), 10u);
        for (size_t i = 0; i < shown.size(); ++i) {
            for (size_t j = i + 1; j < shown.size(); ++j) {
                const gElement* a = shown[i];
                const gElement* b = shown[j];
                const bool over = a->x < b->x + b->cellWidth && b->x < a->x + a->cellWidth &&
                                  a->y < b->y + b->cellHeight && b->y < a->y + a->cellHeight;
                EXPECT_FALSE(over) << "\"" << a->text << "\" at (" << a->x << ", " << a->y << ") and \"" << b->text
                                   << "\" at (" << b->x << ", " << b->y << ")";
            }
        }
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
    SourcePageHooks savedPages_;
    ServiceSaveHooks savedSave_;
    bool started_ = false;
};

TEST_F(ShownFilePages, TheTabsShowTheCurrentFilesStages) {
    // A 2-D frame and a cube of 3 frames, so that the Options pages differ.
    ASSERT_TRUE(testing_program::RunPython(
        folder.File("write.py"),
        "import numpy as np\n"
        "from astropy.io import fits\n"
        "fits.PrimaryHDU(np.arange(48 * 32, dtype=np.int16).reshape(32, 48)).writeto('" +
            folder.File("flat.fits") +
            "')\n"
            "fits.PrimaryHDU(np.ones((3, 20, 30), dtype=np.float32)).writeto('" +
            folder.File("cube.fits") + "')\n"));
    // Both files into one project, as the file dialog hands them over (the last first).
    for (const char* name : {"flat.fits", "cube.fits"})
        cui().pendingFiles.push_back(PendingFile{folder.File(name), kOpenDefaultFlags | kOpenFromDialog, 0});
    OpenParameters request;
    ASSERT_NE(OpenSourceFileList(&cui(), nullptr, &request, true), nullptr);
    PumpFor(300);
    ASSERT_EQ(cui().currentProject->count, 2);
    const std::string first = Current()->path.FileName();
    ExpectPagesOf(first.c_str());
    if (HasFatalFailure()) return;

    // The other file becomes current (as a click on the select tab makes it): every tab
    // follows, and back.
    ProjectItem* other = nullptr;
    for (ListNode* n = cui().currentProject->items.head; n != nullptr; n = n->next)
        if (n->item != Current()) other = static_cast<ProjectItem*>(n->item);
    ASSERT_NE(other, nullptr);
    const std::string second = other->path.FileName();
    ASSERT_TRUE(ProjectSelectItem(other));
    PumpFor(200);
    ExpectPagesOf(second.c_str());
    ASSERT_TRUE(ProjectStepItem(&cui(), false));
    PumpFor(200);
    ExpectPagesOf(first.c_str());
}

#endif

}  // namespace
}  // namespace orva
