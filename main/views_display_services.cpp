#include "main/views_display_services.h"

#include <mutex>

#include "app/cui.h"
#include "app/shell_hooks.h"
#include "app/graphics_window.h"
#include "framework/display_lock.h"
#include "views/display_cell.h"
#include "views/playback.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"

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

// The pipeline asks for a cell in a group's window: the cell goes into the window that
// the group's workspace fills.
DisplayCellBase* CreateCell(CUI* cui, ComponentBase* workspace, void* hostWindow, int flag) {
    WorkspaceComponent* ws = AsWorkspace(workspace);
    auto* window = static_cast<gWindow*>(hostWindow);
    if (ws != nullptr && ws->window != nullptr && ws->group != nullptr && window == ws->group->windows[0])
        window = ws->window;
    return CreateDisplayCell(cui, ws, window, flag != 0);
}

bool InSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) {
    return CellInSlot(AsWorkspace(workspace), AsDisplayCell(cell), number);
}

bool CellOfWindow(const ComponentBase* component, const void* groupWindow) {
    DisplayComponent* cell = AsDisplayCell(const_cast<ComponentBase*>(component));
    if (cell == nullptr) return false;
    if (cell->window == groupWindow) return true;
    const WorkspaceComponent* ws = cell->workspace;
    return ws != nullptr && ws->group != nullptr && ws->group->windows[0] == groupWindow;
}

void GroupReady(OutputWindow* window, DeviceViewBase* device) {
    MarkGroupReady(window, device);
}

void WindowRedraw(DisplayCellBase* cell, OutputWindow*) {
    if (DisplayComponent* c = AsDisplayCell(cell)) MarkWindowForRedraw(c->window);
}

// ---- What the graphics windows ask of their cell

GraphicsHost* Host(DisplayCellBase* cell) { return DisplaySyncHost(AsDisplayCell(cell)); }

bool HasWorkspace(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    return c != nullptr && c->workspace != nullptr;
}

bool IsActive(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    return c != nullptr && c->IsActive();
}

GraphicsLens* PreviewLens(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    WorkspaceComponent* ws = c != nullptr ? c->workspace : nullptr;
    if (ws == nullptr) return nullptr;
    GraphicsLens& lens = ws->previewLens;
    lens.view = ws->preview.widget != nullptr ? &ws->preview : nullptr;
    lens.window = ws->preview.widget != nullptr ? ws->preview.widget->window : nullptr;
    lens.image = &ws->preview.image;
    lens.on = ws->previewOn;
    return &lens;
}

bool UpdateCoordText(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    const DisplayHooks& h = TheDisplayHooks();
    return c != nullptr && c->workspace != nullptr && h.updateCoordText != nullptr && h.updateCoordText(c->workspace);
}

void SelectTabPage(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    const DisplayHooks& h = TheDisplayHooks();
    if (c != nullptr && c->workspace != nullptr && h.refreshSelectTabPage != nullptr)
        h.refreshSelectTabPage(c->workspace);
}

void ViewModePage(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    const DisplayHooks& h = TheDisplayHooks();
    if (c != nullptr && c->workspace != nullptr && h.refreshViewModePage != nullptr)
        h.refreshViewModePage(c->workspace);
}

void RequestRedraw(DisplayCellBase* cell, int32_t level) { DisplayRequestRedraw(AsDisplayCell(cell), level); }

bool DataReady(DisplayCellBase* cell, int32_t level, DeviceViewBase* device) {
    return DisplayOnDataReady(level, AsDisplayCell(cell), device);
}

void Repaint(DisplayCellBase* cell) { DisplayRepaint(AsDisplayCell(cell)); }

void DataGone(DisplayCellBase* cell) { DisplayDataGone(AsDisplayCell(cell)); }

// Frame playback of the cell's port list: one frame redrawn through it; it runs.
void PlaybackRedraw(DisplayCellBase* cell) {
    if (cell != nullptr && cell->portList != nullptr) PlaybackStepRedraw(cell->portList);
}

bool PlaybackRuns(DisplayCellBase*) { return TheEventTimer().Running(); }

// Reload: the stages below the cell's source forget what they cached and the cell's
// devices read their frames again.
void ReloadSource(DisplayCellBase* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    DeviceViewBase* device = c != nullptr ? c->currentDevice : nullptr;
    ComponentBase* source = device != nullptr ? device->pin.upstream : nullptr;
    for (int depth = 0; source != nullptr && depth < 64; ++depth) {
        ConsumerLink* link = source->GetInputLink(0);
        if (link == nullptr || link->upstream == nullptr) break;
        source = link->upstream;
    }
    if (source == nullptr) return;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    ComponentClearValidDownstream(source);
    OutPort* port = c->port;
    for (DeviceViewBase* d = port != nullptr ? port->firstDevice : nullptr; d != nullptr; d = d->portNext)
        d->request.readAgain = 1;
}

void PlaceFloatingPages(CUI* cui) {
    if (cui == nullptr) return;
    for (WindowGroup& group : cui->groups) WorkspacePlaceFloatingPages(AsWorkspace(group.workspace));
}

}  // namespace

void InstallViewsDisplayServices() {
    ShellHooks& shell = TheShellHooks();
    shell.createWorkspaceContainer = &CreateWorkspace;
    shell.workspaceLayout = &Layout;
    shell.placeFloatingPages = &PlaceFloatingPages;
    shell.getCellByNumber = &CellByNumber;
    shell.placeCellInSlot = &PlaceCell;
    shell.createDisplayCell = &CreateCell;
    shell.cellInSlot = &InSlot;
    shell.cellOfWindow = &CellOfWindow;
    ComponentServices& services = TheComponentServices();
    services.markGroupReady = &GroupReady;
    services.markWindowRedraw = &WindowRedraw;
    GraphicsHostServices& host = TheGraphicsHostServices();
    host.host = &Host;
    host.hasWorkspace = &HasWorkspace;
    host.isActiveCell = &IsActive;
    host.lens = &PreviewLens;
    host.updateCoordText = &UpdateCoordText;
    host.refreshSelectTabPage = &SelectTabPage;
    host.refreshViewModePage = &ViewModePage;
    host.requestRedraw = &RequestRedraw;
    host.onDataReady = &DataReady;
    host.repaint = &Repaint;
    host.dataGone = &DataGone;
    host.playbackRedraw = &PlaybackRedraw;
    host.playbackRuns = &PlaybackRuns;
    host.reloadSource = &ReloadSource;
}

}  // namespace orva
