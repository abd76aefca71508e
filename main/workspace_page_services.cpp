#include "main/workspace_page_services.h"

#include "app/graphics_window.h"
#include "app/shell_hooks.h"
#include "views/display_cell.h"
#include "views/fast_selector.h"
#include "views/playback.h"
#include "views/readout_pages.h"
#include "views/select_tab_page.h"
#include "views/transport_page.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "views/workspace_readouts.h"

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
}

bool TabsByItem(ComponentBase* container, ProjectItem* item, int32_t code) {
    return SelectTabByIndex(AsWorkspace(container), item, code);
}

bool TabsCurrent(ComponentBase* container, int32_t code) { return SelectTabCurrent(AsWorkspace(container), code); }

}  // namespace

void InstallWorkspacePageServices() {
    SetWorkspacePanelBuilder(&WorkspacePanelBuilder);
    DisplayHooks& display = TheDisplayHooks();
    display.updateCoordText = &WorkspaceUpdateCoordText;
    display.refreshViewModePage = &RefreshViewModePage;
    display.refreshFollowingPages = &FollowingPages;
    display.refreshSelectTabPage = &RefreshSelectTabPage;
    ShellHooks& shell = TheShellHooks();
    shell.selectTabByIndex = &TabsByItem;
    shell.selectTabCurrent = &TabsCurrent;
    GraphicsHostServices& host = TheGraphicsHostServices();
    host.updateReadouts = &UpdateReadouts;
    host.redrawCoordReadout = &RedrawCoordReadout;
    host.redrawFastSelectorFrame = &RedrawSelectorFrame;
    TransportFillPlaybackHooks(&ThePlaybackHooks());
}

}  // namespace orva
