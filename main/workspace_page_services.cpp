#include "main/workspace_page_services.h"

#include "app/graphics_window.h"
#include "app/main_menu.h"
#include "app/shell_hooks.h"
#include "views/display_cell.h"
#include "views/fast_selector.h"
#include "views/grid_page.h"
#include "views/layout_menu.h"
#include "views/playback.h"
#include "views/readout_pages.h"
#include "views/select_tab_page.h"
#include "views/transport_page.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "views/workspace_readouts.h"
#include "views/zoom_pages.h"

namespace orva {

namespace {

// The workspace whose pages follow the cell: the cell's, while the cell is its active one.
WorkspaceComponent* ActiveWorkspaceOf(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    return cell != nullptr && cell->IsActive() ? cell->workspace : nullptr;
}

void UpdateReadouts(DisplayCellBase* cell) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) WorkspaceUpdateReadouts(ws);
}

void RedrawCoordReadout(DisplayCellBase* cell) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) RedrawImageCoordReadout(ws);
}

void RedrawSelectorFrame(DisplayCellBase* cell) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) RedrawFastSelectorFrame(ws);
}

// The pages that follow the active cell when it changes.
void FollowingPages(WorkspaceComponent* ws) {
    RefreshFastSelectorIfOpen(ws);
    RefreshTransportPage(ws);
    RefreshLensPage(ws);
    UpdateZoomBarPage(ws, false);
    UpdateGridPage(ws, false);
}

// The device asks from within its own window's refresh: the bar is only marked, and drawn
// with the next refresh of all windows.
void ZoomBar(DisplayCellBase* cell, uint32_t) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) RefreshZoomBar(ws, false);
}

void ZoomBarPage(DisplayCellBase* cell, bool repaint) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) UpdateZoomBarPage(ws, repaint);
}

void GridPage(DisplayCellBase* cell, bool repaint) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) UpdateGridPage(ws, repaint);
}

void LensPage(DisplayCellBase* cell) {
    if (WorkspaceComponent* ws = ActiveWorkspaceOf(cell)) LensPageSetFromView(ws);
}

bool TabsByItem(ComponentBase* container, ProjectItem* item, int32_t code) {
    return SelectTabByIndex(AsWorkspace(container), item, code);
}

bool TabsCurrent(ComponentBase* container, int32_t code) { return SelectTabCurrent(AsWorkspace(container), code); }

bool TabsRefill(ComponentBase* container) { return SelectTabRefill(AsWorkspace(container)); }

}  // namespace

void InstallWorkspacePageServices() {
    SetWorkspacePanelBuilder(&WorkspacePanelBuilder);
    DisplayHooks& display = TheDisplayHooks();
    display.updateCoordText = &WorkspaceUpdateCoordText;
    display.refreshViewModePage = &RefreshViewModePage;
    display.refreshFollowingPages = &FollowingPages;
    display.refreshSelectTabPage = &RefreshSelectTabPage;
    display.refreshLensPage = &LensPageSetFromView;
    display.markSelectorFrame = &MarkFastSelectorFrame;
    ShellHooks& shell = TheShellHooks();
    shell.selectTabByIndex = &TabsByItem;
    shell.selectTabCurrent = &TabsCurrent;
    shell.refillSelectTab = &TabsRefill;
    GraphicsHostServices& host = TheGraphicsHostServices();
    host.updateReadouts = &UpdateReadouts;
    host.redrawCoordReadout = &RedrawCoordReadout;
    host.redrawFastSelectorFrame = &RedrawSelectorFrame;
    host.refreshZoomBar = &ZoomBar;
    host.updateZoomBarPage = &ZoomBarPage;
    host.updateGridPage = &GridPage;
    host.lensPageSetFromView = &LensPage;
    TransportFillPlaybackHooks(&ThePlaybackHooks());
    TheMainMenuHooks().layoutMenuChecks = &LayoutMenuChecks;
}

}  // namespace orva
