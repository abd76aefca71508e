#include "main/views_display_services.h"

#include "app/cui.h"
#include "app/shell_hooks.h"
#include "views/cell_graphics.h"
#include "views/display_cell.h"
#include "views/workspace.h"

namespace orva {

namespace {

ComponentBase* CreateWorkspace(CUI* cui, WindowGroup* group) { return CreateWorkspaceContainer(cui, group); }

void Layout(gWindow* host, WindowGroup* group, int32_t width, int32_t height, int notify) {
    WorkspaceLayout(host, group, width, height, notify != 0);
}

DisplayCellBase* CellByNumber(ComponentBase* workspace, uint32_t number) {
    return GetCellByNumber(AsWorkspace(workspace), &number, false);
}

bool PlaceCell(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) {
    WorkspaceComponent* ws = AsWorkspace(workspace);
    // A cell without a workspace stands alone: nothing to place it in.
    if (ws == nullptr) return true;
    return PlaceCellInSlot(ws, AsDisplayCell(cell), number);
}

DisplayCellBase* CreateCell(CUI* cui, ComponentBase* workspace, void* hostWindow, int flag) {
    return CreateDisplayCell(cui, AsWorkspace(workspace), static_cast<gWindow*>(hostWindow), flag != 0);
}

bool InSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) {
    return CellInSlot(AsWorkspace(workspace), AsDisplayCell(cell), number);
}

void GroupReady(OutputWindow* window, DeviceViewBase* device) {
    MarkGroupReady(window, device);
    const CellGraphicsOps& ops = TheCellGraphicsOps();
    if (ops.idleWalk != nullptr) ops.idleWalk(window, device);
}

void WindowRedraw(DisplayCellBase* cell, OutputWindow*) {
    if (DisplayComponent* c = AsDisplayCell(cell)) MarkWindowForRedraw(c->window);
}

}  // namespace

void InstallViewsDisplayServices() {
    ShellHooks& shell = TheShellHooks();
    shell.createWorkspaceContainer = &CreateWorkspace;
    shell.workspaceLayout = &Layout;
    shell.getCellByNumber = &CellByNumber;
    shell.placeCellInSlot = &PlaceCell;
    shell.createDisplayCell = &CreateCell;
    shell.cellInSlot = &InSlot;
    ComponentServices& services = TheComponentServices();
    services.markGroupReady = &GroupReady;
    services.markWindowRedraw = &WindowRedraw;
}

}  // namespace orva
