// The View menu of the program as it starts, with its workspaces and their tool pages
// open: those pages are component windows, not panel pages, so they add nothing of their
// own to the submenus; "Layout" lists the main workspace's pages and "Chart Tools" those
// of the "Chart Tools" window.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "app/main_menu.h"
#include "main/menu_services.h"
#include "main/workspace_page_services.h"
#include "program_shell.h"
#include "test_support.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"

namespace orva {
namespace {

using namespace testing_util;

class ViewMenuProgram : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallWorkspacePageServices();
        InstallMenuServices();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        services_.reset();
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
};

TEST_F(ViewMenuProgram, LayoutAndChartToolsListTheirWorkspacesPages) {
    WorkspaceComponent* ws = AsWorkspace(cui().groups[0].workspace);
    ASSERT_NE(ws, nullptr);
    PumpFor(200);
    // The main workspace's tool pages are up.
    ASSERT_NE(WorkspaceOpenPage(ws, kWsPageTransport), nullptr);
    ASSERT_NE(WorkspaceOpenPage(ws, kWsPageFastSelector), nullptr);

    MenuBar* bar = cui().groups[0].menuBar;
    ASSERT_NE(bar, nullptr);
    bar->currentRow = kMenuView;
    bar->widget->value = 1;
    ASSERT_TRUE(bar->OpenMenu());
    bar->LetGo();
    std::vector<std::string> labels;
    std::vector<gMenuItem*> submenus;
    for (gMenuItem* i = bar->titles[kMenuView]->menu->first; i != nullptr; i = i->next) {
        if (i->check != 2) continue;
        labels.push_back(i->label);
        submenus.push_back(i);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Layout", "Chart Tools"}));
    ASSERT_EQ(submenus.size(), 2u);
    // "Layout": the workspace's own pages and nothing that a tool page adds.
    std::vector<std::string> entries;
    for (gMenuItem* c = submenus[0]->firstChild; c != nullptr; c = c->next) entries.push_back(c->label);
    EXPECT_EQ(entries, (std::vector<std::string>{"Coordinates", "View Mode", "Value Readout", "Channels", "Grid",
                                                 "Lens", "Zoom Bar", "Fast Selector", "Transport", "Select Tab",
                                                 "Statistic Overlay"}));
    EXPECT_EQ(submenus[0]->state, 0);
    // "Chart Tools": the pages of the "Chart Tools" window, its channel buttons among them.
    entries.clear();
    for (gMenuItem* c = submenus[1]->firstChild; c != nullptr; c = c->next) entries.push_back(c->label);
    EXPECT_EQ(entries, (std::vector<std::string>{"Coordinates", "Value Readout", "Channels", "Grid", "Lens", "Zoom Bar",
                                                 "Statistic List"}));
    EXPECT_EQ(submenus[1]->state, 0);
}

}  // namespace
}  // namespace orva
