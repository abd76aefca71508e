// The workspaces of the shell's window groups on the X server: each group window gets
// its workspace with a host window in its client area that follows the group window's
// size, and the user-interface object makes and places the display cells through it.
#include <gtest/gtest.h>

#include "../../app/shell_fixture.h"
#include "../../toolkit/gl_test_support.h"
#include "app/cui.h"
#include "app/shell_hooks.h"
#include "framework/component.h"
#include "main/views_display_services.h"
#include "toolkit/widget.h"
#include "views/display_cell.h"
#include "views/workspace.h"

namespace orva {
namespace {

using namespace testing_util;

// Where a child window's client area lies in its parent's client area.
platform::Point InParent(const gWindow* parent, const gWindow* child) {
    platform::Point origin{0, 0}, at{0, 0};
    platform::ClientToScreen(parent->hwnd, &origin);
    platform::ClientToScreen(child->hwnd, &at);
    return platform::Point{at.x - origin.x, at.y - origin.y};
}

class WorkspaceInShell : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        savedServices_ = TheComponentServices();
        savedDisplay_ = TheDisplayHooks();
        InstallViewsDisplayServices();
        Start(false);
        PumpFor(200);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        TheComponentServices() = savedServices_;
        TheDisplayHooks() = savedDisplay_;
    }
    ComponentServices savedServices_;
    DisplayHooks savedDisplay_;
};

TEST_F(WorkspaceInShell, EachGroupWindowHoldsItsNamedWorkspaceInAHostWindow) {
    const char* names[2] = {"Layout", "Chart Tools"};
    for (int g = 0; g < 2; ++g) {
        WindowGroup& group = cui().groups[g];
        WorkspaceComponent* ws = AsWorkspace(group.workspace);
        ASSERT_NE(ws, nullptr) << g;
        EXPECT_STREQ(ws->title, names[g]);
        EXPECT_EQ(ws->ui, &cui());
        EXPECT_EQ(cui().FindComponent(0, group.windows[0], FourCC("DRAW"), FourCC("CTNR")), ws);
        gWindow* host = ws->window;
        ASSERT_NE(host, nullptr);
        EXPECT_EQ(group.windows[1], host);
        EXPECT_EQ(host->parent, group.windows[0]);
        EXPECT_EQ(host->keyDownHandler, &WorkspaceKeyDownHook);
        EXPECT_EQ(WorkspaceOfWindow(host), ws);
        // Left of it the group's page column, below it the status line.
        const platform::Point at = InParent(group.windows[0], host);
        EXPECT_EQ(at.x, group.sideWidth);
        EXPECT_GE(at.y, group.topMargin);
        EXPECT_EQ(host->clientWidth, group.windows[0]->clientWidth - group.sideWidth);
        // Under it the zoom bar, which ends above the status line (it never covers it).
        gWindow* bar = group.windows[2];
        ASSERT_NE(bar, nullptr);
        const platform::Point barAt = InParent(group.windows[0], bar);
        EXPECT_EQ(at.y + host->clientHeight, barAt.y);
        EXPECT_LE(barAt.y + bar->clientHeight, group.windows[0]->clientHeight - group.bottomMargin);
        // The cell area and the lens at its right edge.
        ASSERT_NE(ws->cellArea, nullptr);
        EXPECT_FLOAT_EQ(ws->cellArea->width, static_cast<float>(host->clientWidth));
        ASSERT_NE(ws->lens.widget, nullptr);
        EXPECT_FLOAT_EQ(ws->lens.widget->width, 144.0f);
        EXPECT_FLOAT_EQ(ws->lens.widget->x, static_cast<float>(host->clientWidth) - 144.0f - 4.0f);
        EXPECT_FLOAT_EQ(ws->lens.widget->y, 2.0f);
    }
    // The main group's workspace starts below the group's tab bar: Exit and the tabs stay free.
    const WindowGroup& main = cui().groups[0];
    ASSERT_NE(main.tabBar, nullptr);
    EXPECT_GE(static_cast<float>(InParent(main.windows[0], AsWorkspace(main.workspace)->window).y),
              main.tabBar->y + main.tabBar->height);
}

TEST_F(WorkspaceInShell, TheHostFollowsTheGroupWindowsSize) {
    WindowGroup& group = cui().groups[1];
    gWindow* window = group.windows[0];
    WorkspaceComponent* ws = AsWorkspace(group.workspace);
    ASSERT_NE(ws, nullptr);
    const int32_t width = window->clientWidth + 40, height = window->clientHeight - 30;
    ASSERT_TRUE(gWinSetSize(window, width, height, nullptr));
    PumpUntil([&] { return ws->window->clientWidth == width - group.sideWidth; }, 2000);
    EXPECT_EQ(ws->window->clientWidth, width - group.sideWidth);
    // The tool bars that are shown sit under the workspace down to the bottom margin.
    int32_t bars = 0;
    for (int i = 2; i < 4; ++i) {
        const gWindow* bar = group.windows[i];
        if (bar != nullptr && bar->hwnd != nullptr && (bar->state & (kStateHidden | kStateHiddenByShow)) == 0) bars += bar->clientHeight;
    }
    EXPECT_EQ(InParent(window, ws->window).y + ws->window->clientHeight + bars, height - group.bottomMargin);
    // The resize layout moved the lens with the right edge.
    EXPECT_FLOAT_EQ(ws->lens.widget->x, static_cast<float>(ws->window->clientWidth) - 148.0f);
    EXPECT_FLOAT_EQ(ws->cellArea->width, static_cast<float>(ws->window->clientWidth));
}

TEST_F(WorkspaceInShell, TheUserInterfaceObjectMakesAndPlacesCells) {
    ComponentBase* workspace = cui().groups[0].workspace;
    WorkspaceComponent* ws = AsWorkspace(workspace);
    ASSERT_NE(ws, nullptr);
    EXPECT_EQ(cui().GetCellByNumber(workspace, 1), nullptr);
    DisplayCellBase* made = cui().CreateDisplayCell(workspace, nullptr, 1);
    DisplayComponent* cell = AsDisplayCell(made);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->window, ws->window);  // the workspace's host window
    EXPECT_FLOAT_EQ(cell->rulers.thickness[0], 35.0f);  // narrow
    EXPECT_EQ(cell->ui, &cui());
    ASSERT_NE(cell->widget, nullptr);
    EXPECT_EQ(cell->widget->window, ws->window);
    ASSERT_TRUE(cui().PlaceCellInSlot(workspace, made, 0));
    EXPECT_TRUE(cui().CellInSlot(workspace, made, 1));
    EXPECT_FALSE(cui().CellInSlot(workspace, made, 2));
    EXPECT_EQ(cui().GetCellByNumber(workspace, 1), made);
    EXPECT_EQ(cui().GetCellByNumber(workspace, 0), made);
    EXPECT_EQ(ws->activeCell, cell);
    EXPECT_EQ(cui().currentCell, cell);
    // The cell took the cell area's rectangle.
    EXPECT_FLOAT_EQ(cell->cellRect[2], ws->cellArea->width);
    EXPECT_FLOAT_EQ(cell->cellRect[3], ws->cellArea->height);
    // The lens stays the last widget: it reads what the cells drew.
    gElement* last = ws->window->widgets.head;
    while (last != nullptr && last->next != nullptr) last = last->next;
    EXPECT_EQ(last, ws->lens.widget);
    // Asked for in the group's window (as the pipeline asks), a cell goes into the
    // window the workspace fills.
    DisplayComponent* second = AsDisplayCell(cui().CreateDisplayCell(workspace, cui().groups[0].windows[0], 0));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->window, ws->window);
    EXPECT_FLOAT_EQ(second->rulers.thickness[0], 41.0f);
    second->Release();
    // The cell goes with the ui's list; its slot and the current cell with it.
    made->Release();
    EXPECT_EQ(ws->cells[0], nullptr);
    EXPECT_EQ(cui().currentCell, nullptr);
}

}  // namespace
}  // namespace orva
