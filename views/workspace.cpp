#include "views/workspace.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "app/cui.h"
#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "common/aligned_memory.h"
#include "data/kernel_util.h"
#include "platform/window_api.h"
#include "toolkit/gl_colors.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "app/graphics_window.h"
#include "views/display_cell.h"
#include "views/playback.h"
#include "views/select_tab_page.h"
#include "views/layout_menu.h"
#include "views/workspace_pages.h"

namespace orva {

namespace {

std::unordered_set<const void*>& LiveWorkspaces() {
    static std::unordered_set<const void*> set;
    return set;
}

PanelBuilder& InstalledBuilder() {
    static PanelBuilder builder = &WorkspacePanelBuilder;
    return builder;
}

// The window styles under which a host window is not laid out.
constexpr uint32_t kNoLayoutStyle = 0x100 | 0x200;
// SetWindowPos without move, z-order change, activation, copying bits, owner z-order
// or changing notification.
constexpr uint32_t kResizeInPlace = 0x716;
// The style word and creation style of the cell area.
constexpr uint32_t kCellAreaStyle = 0x30024800;
constexpr uint32_t kCellAreaCreate = 0x40000000;
// Window state bits under which keys do not go to the graphics window.
constexpr uint32_t kNoKeyState = 0x1D1C;
// The part of a key word that holds the key (with Shift).
constexpr uint32_t kKeyBits = 0x3FFFF;
constexpr uint32_t kToolsKey = 0x400;
constexpr uint32_t kKeyW = 0x57, kKeyPlus = 0xBB, kKeyMinus = 0xBD, kKeyBackslash = 0xDC;
// Tool-bar strips of the groups are never lower than this.
constexpr int32_t kToolBarMinimum = 20;

void PaintNothing(gElement*) {}

CUI* CuiOf(const ComponentBase* c) { return c != nullptr ? dynamic_cast<CUI*>(c->ui) : nullptr; }

int GroupIndexOf(CUI* cui, const WindowGroup* group) {
    if (cui == nullptr || group == nullptr) return -1;
    for (int i = 0; i < kGroupCount; ++i)
        if (&cui->groups[i] == group) return i;
    return -1;
}

// The user-interface object's current cell follows a placed cell.
void FollowCurrentCell(WorkspaceComponent* ws, DisplayComponent* cell) {
    CUI* cui = CuiOf(ws);
    if (cui == nullptr || cell->ui != cui) return;
    DisplayComponent* current = AsDisplayCell(cui->currentCell);
    bool ours = current != nullptr && current->workspace == ws;
    bool mainEmpty = current == nullptr && cui->groups[0].workspace == ws;
    if (!ours && !mainEmpty) return;
    cui->currentCell = cell;
    // The Draw and Edit menus act on the current cell's view.
    cui->menuTarget = cell;
    cui->menuView = static_cast<ComponentBase*>(cell);
}

bool WindowShown(const gWindow* w) { return w != nullptr && (w->state & (kStateHidden | kStateHiddenByShow)) == 0; }
// A tool bar shown, or one that shows with its group's window when that is not shown yet
// (the bars are built before the window first shows).
bool BarShown(const gWindow* w) { return WindowShown(w) || (w != nullptr && (w->style & kStyleShown) != 0); }

// The group's insets around its workspace: left, top, right, bottom. The workspace never
// covers the group's own controls: when the group's tab bar lies in the workspace's
// columns (not in the page column at the left), the workspace starts below it. The
// select tab strip standing in the group's window takes a band between that top and the
// workspace: its group starts at `stripTop` (that top + 1), the workspace one pixel
// under it.
void GroupInsets(const WindowGroup* group, int32_t out[4], int32_t* stripTop = nullptr) {
    out[0] = out[1] = out[2] = out[3] = 0;
    if (stripTop != nullptr) *stripTop = 0;
    if (group == nullptr) return;
    out[0] = group->sideWidth;
    out[1] = group->topMargin;
    out[3] = group->bottomMargin;
    const gElement* tabs = group->tabBar;
    if (tabs != nullptr && gWgtIsLive(tabs) && tabs->x >= static_cast<float>(out[0])) {
        const int32_t below = static_cast<int32_t>(std::ceil(tabs->y + tabs->height)) + 3;
        out[1] = std::max(out[1], below);
    }
    if (stripTop != nullptr) *stripTop = out[1] + 1;
    const float band = SelectTabBandHeight(AsWorkspace(group->workspace), group->windows[0]);
    if (band > 0) out[1] += 2 + kernel::SaturateTrunc<int32_t>(band);
}

void HostResized(gWindow* window) { WorkspaceResizeLayout(WorkspaceOfWindow(window)); }

gWindow* PaintTarget(WorkspaceComponent* ws, DisplayComponent* cell) {
    return cell != nullptr && cell->window != nullptr ? cell->window : ws->window;
}

}  // namespace

// ---- The component ---------------------------------------------------------------------------------

WorkspaceComponent* AsWorkspace(ComponentBase* component) {
    if (component == nullptr || LiveWorkspaces().count(component) == 0) return nullptr;
    return static_cast<WorkspaceComponent*>(component);
}

WorkspaceComponent::WorkspaceComponent() : ComponentBase(nullptr) {
    LiveWorkspaces().insert(this);
    AffineRecordInit(&affine);
    LensSetSize(&lens, kLensDefaultSize);
    lens.zoom = kLensDefaultZoom;
    panelBuilder = InstalledBuilder();
    kind = kWorkspaceKind;
    name = "Workspace";
}

WorkspaceComponent::~WorkspaceComponent() {
    lens.on = 0;
    LensFreeBuffer(&lens);
    if (activeCell != nullptr) activeCell->workspace = nullptr;
    for (DisplayComponent*& c : cells) {
        if (c != nullptr) c->workspace = nullptr;
        c = nullptr;
    }
    activeCell = nullptr;
    if (CUI* cui = CuiOf(this)) {
        for (WindowGroup& g : cui->groups)
            if (g.workspace == this) g.workspace = nullptr;
    }
    if (window != nullptr && gWinValidate(window) != nullptr) {
        if (window->resizeHandler == &HostResized) window->resizeHandler = nullptr;
        if (window->keyDownHandler == &WorkspaceKeyDownHook) window->keyDownHandler = nullptr;
        if (window->keyUpHandler == &WorkspaceKeyUpHook) window->keyUpHandler = nullptr;
    }
    AlignedFree(textBlock);
    textBlock = nullptr;
    LiveWorkspaces().erase(this);
    // The page fonts were made for the workspaces' page windows.
    if (LiveWorkspaces().empty()) WorkspacePageFontReset();
}

const ComponentId* WorkspaceComponent::GetClassId() const { return &kWorkspaceId; }

bool WorkspaceComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new WorkspaceComponent;
    return *out != nullptr;
}

bool WorkspaceComponent::QueryInterface(const ComponentId* id, void** out) {
    static const ComponentId* const kSupported[] = {&kWorkspaceId, &kBaseId, &kComponentBaseId};
    return AnswerInterface(id, out, kSupported, 3);
}

int32_t WorkspaceComponent::Refresh(uint8_t) {
    PaintWindowNow(window, true);
    return 0;
}

bool WorkspaceComponent::QueryProperties(const ComponentId*, PropertyComponent**) { return false; }
ConsumerLink* WorkspaceComponent::GetInputLink(int) { return nullptr; }
bool WorkspaceComponent::NegotiateInput(ConsumerLink*, FormatRequest*) { return false; }

// ---- Cells ----------------------------------------------------------------------------------------

DisplayComponent* GetActiveCell(WorkspaceComponent* ws, uint32_t* number) {
    if (ws == nullptr) return nullptr;
    if (ws->activeCell != nullptr) {
        if (number == nullptr) return ws->activeCell;
        for (int i = 0; i < kWorkspaceSlots; ++i) {
            if (ws->cells[i] == ws->activeCell) {
                *number = static_cast<uint32_t>(i + 1);
                return ws->activeCell;
            }
        }
        return nullptr;
    }
    for (int i = 0; i < kWorkspaceSlots; ++i) {
        if (ws->cells[i] != nullptr) {
            if (number != nullptr) *number = static_cast<uint32_t>(i + 1);
            return ws->cells[i];
        }
    }
    return nullptr;
}

DisplayComponent* GetCellByNumber(WorkspaceComponent* ws, uint32_t* number, bool fallback) {
    if (ws == nullptr || number == nullptr) return nullptr;
    if (*number == 0) return GetActiveCell(ws, number);
    if (*number >= 5) {
        *number = 4;
        if (!fallback) return nullptr;
    }
    DisplayComponent* cell = ws->cells[*number - 1];
    if (cell != nullptr || !fallback) return cell;
    for (int i = 0; i < kWorkspaceSlots; ++i) {
        if (ws->cells[i] != nullptr) {
            *number = static_cast<uint32_t>(i + 1);
            return ws->cells[i];
        }
    }
    return nullptr;
}

bool CellInSlot(const WorkspaceComponent* ws, const DisplayComponent* cell, uint32_t number) {
    return ws != nullptr && cell != nullptr && number >= 1 && number <= 4 && ws->cells[number - 1] == cell;
}

bool PlaceCellInSlot(WorkspaceComponent* ws, DisplayComponent* cell, uint32_t number) {
    if (ws == nullptr || cell == nullptr) return false;
    if (cell->workspace != nullptr && cell->workspace != ws) return false;
    bool held = std::find(std::begin(ws->cells), std::end(ws->cells), cell) != std::end(ws->cells);
    if (!held) {
        int slot = -1;
        if (number >= 1 && number <= 4 && ws->cells[number - 1] == nullptr) {
            slot = static_cast<int>(number) - 1;
        } else {
            for (int i = 0; i < kWorkspaceSlots && slot < 0; ++i)
                if (ws->cells[i] == nullptr) slot = i;
        }
        if (slot < 0) return false;
        ws->cells[slot] = cell;
    }
    cell->workspace = ws;
    const bool firstActive = ws->activeCell == nullptr;
    if (firstActive) ws->activeCell = cell;
    FollowCurrentCell(ws, cell);
    if (!held && ws->cellArea != nullptr) {
        const float rect[4] = {ws->cellArea->x, ws->cellArea->y, ws->cellArea->width, ws->cellArea->height};
        DisplaySetCellRect(cell, rect);
        DisplayApplyRulerOrigin(cell);
    }
    // The value readout and the preview of the active cell's frame come with it.
    // Only the main window opens it, and there only while the user keeps it.
    if (firstActive && LayoutPageWanted(kLayoutValues)) WorkspaceOpenValuePage(ws);
    // The chart's window, shown by now, takes back the width its readouts took.
    if (firstActive) WorkspacePlaceChartReadouts(ws);
    return true;
}

void RemoveCell(WorkspaceComponent* ws, DisplayComponent* cell) {
    if (ws == nullptr || cell == nullptr) return;
    if (ws->activeCell == cell) ws->activeCell = nullptr;
    for (DisplayComponent*& c : ws->cells)
        if (c == cell) c = nullptr;
    if (cell->workspace == ws) cell->workspace = nullptr;
    CUI* cui = CuiOf(ws);
    if (cui != nullptr && cui->currentCell == cell && cell->ui == cui) cui->currentCell = nullptr;
    if (cui != nullptr && cui->menuTarget == cell) {
        cui->menuTarget = nullptr;
        cui->menuView = nullptr;
    }
}

bool WorkspaceInstallPlayback(WorkspaceComponent* ws, int32_t a, int32_t b) {
    WorkspaceShellHooks& h = TheWorkspaceShellHooks();
    if (ws == nullptr || h.installPlayback == nullptr) return false;
    bool ok = h.installPlayback(ws, a, b);
    if (ok) MarkWindowForRedraw(ws->window);
    return ok;
}

// ---- Creation ---------------------------------------------------------------------------------------

void SetWorkspacePanelBuilder(PanelBuilder builder) {
    InstalledBuilder() = builder != nullptr ? builder : &WorkspacePanelBuilder;
}

PanelBuilder TheWorkspacePanelBuilder() { return InstalledBuilder(); }

WorkspaceComponent* CreateWorkspaceContainer(CUI* cui, WindowGroup* group) {
    if (cui == nullptr || !ComponentUiUp()) return nullptr;
    auto* ws = new WorkspaceComponent;
    if (ws == nullptr) return nullptr;
    if (!cui->AddComponent(ws)) {
        ws->Release();
        return nullptr;
    }
    int gi = GroupIndexOf(cui, group);
    ws->group = group;
    if (gi >= 0) {
        ws->title = kWorkspaceNames[gi];
        if (gi <= 1) group->workspace = ws;
    }
    OptionsWindow* container = CreateOptionsWindow(cui, 0);
    if (container == nullptr) return ws;
    ws->container = container;
    container->title = ws->title != nullptr ? ws->title : "";
    UIWindowRecord* page = CreateUIWindow(container, kPageGeneric, 0);
    if (page == nullptr) {
        ws->Release();
        return nullptr;
    }
    gWindow* groupWindow = group != nullptr ? group->windows[0] : nullptr;
    int32_t insets[4];
    GroupInsets(group, insets);
    const int32_t left = insets[0], top = insets[1], bottom = insets[3];
    if (groupWindow != nullptr) {
        page->savedX = left;
        page->savedY = top;
        page->width = std::max(1, groupWindow->clientWidth - left);
        page->height = std::max(1, groupWindow->clientHeight - top - bottom);
    }
    UIWindowAttachComponent(page, ws);
    // The main group's pages include the transport, the fast selector and the select tab.
    if (group != nullptr && container->ownPage != nullptr) container->ownPage->flags |= group->style & kWsMainGroupPages;

    // The standard pages of the workspace, opened by their pages when asked for.
    const bool mainGroup = gi == 0;
    // The transport and fast selector pages lay out their texts with the window's fonts as
    // they build: their windows are made at once, not when first shown (a window made later
    // has no GL context yet, and its widgets would keep fonts without glyphs).
    auto toolPage = [&](int32_t id, uint32_t flags) {
        UIWindowRecord* r = CreateUIWindowWithFlags(container, id, flags, 3);
        if (r != nullptr && (id == kWsIdTransport || id == kWsIdFastSelector || id == kWsIdCoordinates ||
                             id == kWsIdViewMode))
            r->style = (r->style != 0 ? r->style : kWindowStyleKind3) & ~kStyleDeferred;
        // The main window's row of pages along its top stands in the window itself (no
        // window manager stacks it apart); the windows opened later cascade as beside it.
        if (r != nullptr && mainGroup && (id == kWsIdTransport || id == kWsIdFastSelector || id == kWsIdCoordinates ||
                                          id == kWsIdViewMode)) {
            r->style |= kStyleEmbedded;
            r->flags |= kRecordCascadeStep;
        }
        return r;
    };
    if (mainGroup) toolPage(kWsIdTransport, 6);
    toolPage(kWsIdGrid, 2);
    if (mainGroup) toolPage(kWsIdFastSelector, 6);
    UIWindowRecord* statistic = toolPage(kWsIdStatistic, 6);
    // What lies under the pointer: its coordinates and (main group) the values of the
    // channels; the chart's window shows the coordinates of its cursor.
    UIWindowRecord* coordinates = toolPage(kWsIdCoordinates, 6);
    if (mainGroup) toolPage(kWsIdViewMode, 6);
    // In the chart's window both stand in the window itself and go where it goes.
    if (!mainGroup) {
        for (UIWindowRecord* r : {statistic, coordinates})
            if (r != nullptr) r->style = ((r->style != 0 ? r->style : kWindowStyleKind3) | kStyleEmbedded) & ~kStyleDeferred;
    }
    if (group != nullptr) {
        if (UIWindowRecord* r = CreateUIWindow(container, kWsIdValue, 0)) {
            int32_t place[4];
            ValuePagePlacement(group, left, place);
            r->savedX = place[0];
            r->savedY = place[1];
            r->width = place[2];
            r->height = place[3];
        }
        if (mainGroup) {
            if (UIWindowRecord* r = CreateUIWindow(container, -3, 0)) {
                float x = group->tabArea[2][0] + 1.0f, y = group->tabArea[2][1] + 1.0f;
                r->savedX = static_cast<int32_t>(x);
                r->savedY = static_cast<int32_t>(y);
                r->width = std::max(1, static_cast<int32_t>(static_cast<float>(left) - x - 1.0f));
                r->height = std::max(1, static_cast<int32_t>(group->tabArea[2][1] - group->tabArea[1][1] - 1.0f));
            }
        }
        if (UIWindowRecord* r = CreateUIWindow(container, -4, 0)) {
            r->savedX = left;
            r->savedY = top + page->height;
            r->width = page->width;
            r->height = 21;
        }
        if (mainGroup) {
            if (UIWindowRecord* r = CreateUIWindow(container, -5, 0)) {
                r->savedX = left;
                r->savedY = top + page->height + 21;
                r->width = page->width;
                r->height = 45;
            }
        } else {
            CreateUIWindowWithFlags(container, -516, 2, 3);
        }
    }

    if (groupWindow == nullptr) return ws;
    AttachItemWindow(cui, container, reinterpret_cast<uintptr_t>(groupWindow), group->style);
    if (!ComponentIsLive(ws)) return nullptr;
    // The select tab strip came with the group window's pages: the workspace starts under it.
    GroupInsets(group, insets);
    if (insets[1] != top) {
        page->savedY = insets[1];
        page->height = std::max(1, groupWindow->clientHeight - insets[1] - bottom);
    }
    gWindow* host = OpenComponentWindow(container, groupWindow, kWindowToggle, 0, page);
    if (host != nullptr && group->windows[1] == nullptr) group->windows[1] = host;
    if (host != nullptr && WindowShown(host))
        WorkspaceLayout(host, group, groupWindow->clientWidth, groupWindow->clientHeight, true);
    if (host != nullptr && ComponentIsLive(ws)) WorkspaceOpenToolPages(ws);
    if (mainGroup && ComponentIsLive(ws)) {
        LayoutApplyStart(ws);
        FillLayoutMenu(ws);
    } else if (ComponentIsLive(ws) && GroupIndexOf(cui, group) == 1) {
        FillChartToolsMenu(ws);
    }
    return ws;
}

void WorkspaceLayout(gWindow* host, WindowGroup* group, int32_t width, int32_t height, bool notify) {
    if (host == nullptr || group == nullptr || (host->style & kNoLayoutStyle) != 0) return;
    int32_t insets[4];
    int32_t stripTop = 0;
    GroupInsets(group, insets, &stripTop);
    const int32_t left = insets[0], top = insets[1], bottom = insets[3];
    SelectTabMoveTo(AsWorkspace(group->workspace), group->windows[0], static_cast<float>(left),
                    static_cast<float>(stripTop));
    int32_t bars = 0;
    for (int i = 2; i < 4; ++i) {
        gWindow* bar = gWinValidate(group->windows[i]);
        if (bar != nullptr && bar->hwnd != nullptr && BarShown(bar)) bars += bar->clientHeight;
    }
    int32_t w = std::max(1, width - left);
    int32_t h = std::max(1, height - top - bottom - bars);
    // A page column that widened moves the workspace to its right.
    gWindow* groupWindow = group->windows[0];
    bool moved = false;
    if (host->hwnd != nullptr && groupWindow != nullptr && groupWindow->hwnd != nullptr && host->parent == groupWindow) {
        platform::Rect outer{};
        if (platform::GetWindowRect(host->hwnd, &outer)) {
            platform::Point at{outer.left, outer.top};
            if (platform::ScreenToClient(groupWindow->hwnd, &at) && (at.x != left || at.y != top)) {
                platform::SetWindowPos(host->hwnd, nullptr, left, top, w, h, kResizeInPlace & ~platform::kSwpNoMove);
                moved = true;
            }
        }
    }
    if (host->hwnd != nullptr && (moved || w != host->clientWidth || h != host->clientHeight)) {
        if (!moved) platform::SetWindowPos(host->hwnd, nullptr, 0, 0, w, h, kResizeInPlace);
        if (notify || moved) gWinUpdateViewport(host);
    }
    // The tool bars under the workspace.
    // A tool bar whose window closed is passed over.
    gWindow* first = gWinValidate(group->windows[2]);
    int32_t below = top + h;
    if (first != nullptr && first->hwnd != nullptr && BarShown(first)) {
        int32_t fw = width - left;
        if (fw != first->clientWidth && fw > 0)
            platform::SetWindowPos(first->hwnd, nullptr, left, below, fw, first->clientHeight, 0x614);
        else
            platform::SetWindowPos(first->hwnd, nullptr, left, below, 0, 0, 0x615);
        below += first->clientHeight;
    }
    // The second takes the width of the first too: its window was made as wide as the
    // group window was before the page column took its part, and its widgets, laid out
    // from the right, would lie beyond the group window's edge.
    gWindow* second = gWinValidate(group->windows[3]);
    if (second != nullptr && second->hwnd != nullptr && BarShown(second)) {
        int32_t sh = std::max(kToolBarMinimum, height - bottom - below);
        int32_t sw = width - left > 0 ? width - left : second->clientWidth;
        platform::SetWindowPos(second->hwnd, nullptr, left, below, sw, sh, 0x614);
    }
    // The transport window beside the fast selector's; the pages over the cells follow
    // the cells.
    if (group->workspace != nullptr) {
        WorkspacePlaceToolPages(AsWorkspace(group->workspace));
        WorkspacePlaceFloatingPages(AsWorkspace(group->workspace));
    }
}

gElement* CreateCellArea(WorkspaceComponent* ws, gWindow* window, const float* rect) {
    if (ws == nullptr || window == nullptr) return nullptr;
    ws->marginSums[0] = ws->margins[0] + ws->margins[2];
    ws->marginSums[1] = ws->margins[1] + ws->margins[3];
    WidgetDesc d;
    d.kind = kCellAreaKind;
    d.style = kCellAreaStyle | kWsNoPlace;
    float x = rect != nullptr ? rect[0] : ws->margins[0];
    float y = rect != nullptr ? rect[1] : ws->margins[1];
    d.width = d.cellWidth = rect != nullptr ? rect[2] : static_cast<float>(window->clientWidth) - ws->marginSums[0];
    d.height = d.cellHeight = rect != nullptr ? rect[3] : static_cast<float>(window->clientHeight) - ws->marginSums[1];
    d.width = d.cellWidth = std::max(d.width, 1.0f);
    d.height = d.cellHeight = std::max(d.height, 1.0f);
    d.offsetX = x;
    d.offsetY = y;
    d.state[1] = 0;  // drawn, never picked
    d.state[2] = 1;
    d.paint = &PaintNothing;
    gElement* e = gWgtCreate(window, nullptr, nullptr, &d, kCellAreaCreate);
    if (e == nullptr) return nullptr;
    e->handlerData = reinterpret_cast<uintptr_t>(static_cast<ComponentBase*>(ws));
    return e;
}

WorkspaceComponent* WorkspaceOfWindow(const gWindow* window) {
    if (window == nullptr) return nullptr;
    for (const void* p : LiveWorkspaces()) {
        auto* ws = static_cast<WorkspaceComponent*>(const_cast<void*>(p));
        if (ws->window == window) return ws;
    }
    return nullptr;
}

int32_t WorkspaceBuildMainPage(WorkspaceComponent* ws, UIWindowRecord* record, gWindow* window) {
    if (ws == nullptr || window == nullptr) return 0;
    if (record != nullptr && record->element.window == nullptr) record->element.window = window;
    ws->window = window;
    gWinSetColors(window, kCellDefaultColours);
    if (ws->cellArea == nullptr || !gWgtIsLive(ws->cellArea)) {
        ws->cellArea = CreateCellArea(ws, window, nullptr);
        if (ws->cellArea == nullptr) return 1;
    }
    if (ws->lens.widget == nullptr || !gWgtIsLive(ws->lens.widget)) {
        if (!CreateLensView(ws, window, ws)) return 1;
    }
    window->resizeHandler = &HostResized;
    window->keyDownHandler = &WorkspaceKeyDownHook;
    window->keyUpHandler = &WorkspaceKeyUpHook;
    WorkspaceResizeLayout(ws);
    return 2;
}

bool WorkspaceResizeLayout(WorkspaceComponent* ws) {
    if (ws == nullptr || ws->window == nullptr || ws->lens.widget == nullptr || !gWgtIsLive(ws->lens.widget))
        return false;
    gWindow* w = ws->window;
    const float cw = static_cast<float>(w->clientWidth), ch = static_cast<float>(w->clientHeight);
    float width = std::max(cw - ws->margins[0], 1.0f);
    if (width != ws->layoutWidth) {
        ws->layoutWidth = width;
        gElement* lens = ws->lens.widget;
        lens->x = lens->placedX = lens->homeX = LensMargin(cw - ws->margins[2], lens->width);
        SelectTabFitWidth(ws);
    }
    ws->layoutHeight = std::max(ch - ws->margins[1], 6.0f);
    if (ws->cellArea != nullptr && gWgtIsLive(ws->cellArea)) {
        ws->cellArea->width = ws->cellArea->cellWidth = std::max(cw - ws->marginSums[0], 1.0f);
        ws->cellArea->height = ws->cellArea->cellHeight = std::max(ch - ws->marginSums[1], 1.0f);
        DisplayComponent* cell = ws->activeCell;
        if (cell != nullptr) {
            const float rect[4] = {ws->cellArea->x, ws->cellArea->y, ws->cellArea->width, ws->cellArea->height};
            DisplaySetCellRect(cell, rect);
            cell->Relayout();
        }
    }
    return true;
}

// ---- Snapping and keys ------------------------------------------------------------------------------------

void WorkspaceSnapActive(WorkspaceComponent* ws, bool paint) {
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    if (cell == nullptr || cell->host.drag.state == 0 || cell->currentDevice == nullptr) return;
    GraphicsDrag& drag = cell->host.drag;
    float p[2] = {drag.x, drag.y};
    if (GraphicsWindow* gw = cell->Graphics()) {
        p[0] = gw->pointerX;
        p[1] = gw->pointerY;
    }
    WorkspaceShellHooks& h = TheWorkspaceShellHooks();
    uint32_t held = h.modifiersNow != nullptr ? h.modifiersNow() : 0;
    bool snap = (held & kKeyShift) != 0;
    if (cell->host.shapeOptions.snapInvert != 0) snap = !snap;
    const float start[2] = {drag.startX, drag.startY};
    if (snap) SnapSegment(start, p);
    drag.x = p[0];
    drag.y = p[1];
    if (paint) PaintWindowNow(PaintTarget(ws, cell), true);
}

bool WorkspaceOnKeyRelease(gWindow* window, uint32_t key) {
    if ((key & kKeyBits) == 0) return false;
    WorkspaceComponent* ws = WorkspaceOfWindow(window);
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    if (cell == nullptr || cell->currentWindow == nullptr) return false;
    if (cell->host.drag.state == 0 || (key & kKeyShift) == 0) {
        GraphicsWindow* gw = cell->Graphics();
        return gw != nullptr && gw->keyUp != nullptr && gw->keyUp(gw, key) != 0;
    }
    ws->snapPending = 1;
    if (cell->currentDevice != nullptr) WorkspaceSnapActive(ws, false);
    PaintWindowNow(PaintTarget(ws, cell), true);
    return true;
}

bool WorkspaceOnKeyPress(gWindow* window, uint32_t key) {
    if ((key & kKeyBits) == 0) return true;
    WorkspaceComponent* ws = WorkspaceOfWindow(window);
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    if (cell == nullptr || cell->currentWindow == nullptr) return false;
    WorkspaceShellHooks& h = TheWorkspaceShellHooks();
    const uint32_t special = key & kKeySpecialMask, printable = key & kKeyPrintableMask;
    const bool alt = (key & kKeyAlt) != 0, ctrl = (key & kKeyCtrl) != 0;
    if ((key & kKeyShift) != 0) {
        if (ws->snapPending != 0 && cell->host.drag.state != 0) {
            ws->snapPending = 0;
            WorkspaceSnapActive(ws, true);
            return true;
        }
        if ((key & 0xFFFF) == 0) return true;
    }
    // The window's own keys come before the shortcuts here: F4 goes on to the shortcut
    // (or the group window) that toggles "Chart Tools" and checks its item after.
    if (special == kToolsKey) return false;
    if (special == 0 && printable == kKeyW && (ctrl || alt)) {
        if (h.hasProjects == nullptr || !h.hasProjects()) return true;
        if (alt) {
            if (h.closeData != nullptr) h.closeData();
        } else if (h.closeCurrentItem != nullptr) {
            h.closeCurrentItem();
        }
        return true;
    }
    if (special == 0 && (key & kKeyModifiers) == 0 &&
        (printable == kKeyPlus || printable == kKeyMinus || printable == kKeyBackslash)) {
        ViewRulers* r = RulersOfCell(cell);
        bool changed = false;
        if (r != nullptr) {
            ScaleRecord* hs = &r->horizontal;
            ScaleRecord* vs = &r->vertical;
            if (printable == kKeyPlus) {
                bool both = (hs->flags & kRulerKeyFlag) != 0 && (vs->flags & kRulerKeyFlag) != 0;
                changed = SliderCtrl::SetFlags(hs, kRulerKeyFlag, !both);
                changed = SliderCtrl::SetFlags(vs, kRulerKeyFlag, !both) || changed;
            } else {
                ScaleRecord* s = printable == kKeyMinus ? vs : hs;
                changed = SliderCtrl::SetFlags(s, kRulerKeyFlag, (s->flags & kRulerKeyFlag) == 0);
            }
        }
        if (changed) {
            // The flag shows its scale: the keys switch the rulers on and off.
            RulersFollowKeyFlag(cell);
            PaintWindowNow(PaintTarget(ws, cell), true);
        }
        return true;
    }
    GraphicsWindow* gw = cell->Graphics();
    if (gw == nullptr || gw->keyDown == nullptr || (window->state & kNoKeyState) != 0) return false;
    return gw->keyDown(gw, key) != 0;
}

bool WorkspaceKeyDownHook(gWindow* window, gWindow*, void* key) {
    return key != nullptr && WorkspaceOnKeyPress(window, static_cast<gKeyEvent*>(key)->code);
}

bool WorkspaceKeyUpHook(gWindow* window, void* key) {
    return key != nullptr && WorkspaceOnKeyRelease(window, static_cast<gKeyUpRecord*>(key)->code);
}

// ---- Shell hooks ---------------------------------------------------------------------------------------

namespace {

bool HasProjects() { return TheCUI().projectCount > 0 || TheCUI().projects.head != nullptr; }

void CloseData() { ProjectCloseData(&TheCUI(), false); }

void CloseCurrentItem() {
    Project* project = TheCUI().currentProject;
    if (project == nullptr) return;
    ProjectItem* item = project->currentItem.load();
    if (item != nullptr) ProjectCloseItem(project, item, 7);
}

}  // namespace

void WorkspaceShellHooksDefaults(WorkspaceShellHooks* h) {
    *h = WorkspaceShellHooks{};
    h->modifiersNow = &gKeyModifiersNow;
    h->hasProjects = &HasProjects;
    h->closeData = &CloseData;
    h->closeCurrentItem = &CloseCurrentItem;
    h->syncToolsMenu = &SyncToolsMenuCheck;
    h->installPlayback = [](WorkspaceComponent*, int32_t ready, int32_t flags) {
        return PlaybackInstall(&TheEventTimer(), 1, ready, flags);
    };
}

WorkspaceShellHooks& TheWorkspaceShellHooks() {
    static WorkspaceShellHooks hooks = [] {
        WorkspaceShellHooks h;
        WorkspaceShellHooksDefaults(&h);
        return h;
    }();
    return hooks;
}

}  // namespace orva
