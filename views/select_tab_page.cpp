#include "views/select_tab_page.h"

#include <cmath>
#include <mutex>
#include <unordered_map>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/ui_elements.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/slider.h"
#include "toolkit/tab_bar.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/fast_selector.h"
#include "views/source_page_parts.h"
#include "views/transport_page.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"

namespace orva {

namespace {

constexpr uint32_t kSelectTabStyle = 0x44086;
constexpr uint32_t kTabColours = 0x4552C1E;
constexpr uint32_t kStatisticKind = 3;
constexpr float kStatisticColumns[2] = {60.0f, 110.0f};
constexpr int32_t kStatisticDefaultRows = 10;
// The window of the active cell takes no keys while any of these state bits is set.
constexpr uint32_t kCellNoKeys = 0x1D1C;
// The source state flags that mark a tab (the item's data was re-described or not read).
constexpr uint32_t kItemMarkFlags = 0xC00000;

// The identifiers of the tabs: one for each item, kept while the item lives, so that a
// tab whose item went (and whose address a new item may take) no longer names it.
struct TabIds {
    std::mutex lock;
    std::unordered_map<const ProjectItem*, uint32_t> ids;
    uint32_t next = 1;
};
TabIds& Ids() {
    static TabIds ids;
    return ids;
}

uint32_t IdOf(const ProjectItem* item) {
    TabIds& t = Ids();
    std::lock_guard<std::mutex> hold(t.lock);
    for (auto it = t.ids.begin(); it != t.ids.end();) {
        if (!ProjectItemIsLive(it->first)) {
            it = t.ids.erase(it);
        } else {
            ++it;
        }
    }
    auto [it, made] = t.ids.try_emplace(item, t.next);
    if (made) t.next = t.next == 0xFFFFFFFFu ? 1 : t.next + 1;
    return it->second;
}

// The live item of the project that carries the identifier, or null.
ProjectItem* ItemOfId(Project* project, uint32_t id) {
    if (project == nullptr || id == 0) return nullptr;
    for (ListNode* n = project->items.head; n != nullptr; n = n->next) {
        auto* item = static_cast<ProjectItem*>(n->item);
        if (item == nullptr || !ProjectItemIsLive(item)) continue;
        TabIds& t = Ids();
        std::lock_guard<std::mutex> hold(t.lock);
        auto it = t.ids.find(item);
        if (it != t.ids.end() && it->second == id) return item;
    }
    return nullptr;
}

// The tab being added: its label is read back by the control through the callback.
const char*& PendingLabel() {
    static const char* label = nullptr;
    return label;
}
const char* LabelOfPending(uint32_t, int32_t) { return PendingLabel(); }

Project* CurrentProject(WorkspaceComponent* ws) {
    const SelectTabHooks& h = TheSelectTabHooks();
    return h.currentProject != nullptr ? h.currentProject(ws) : nullptr;
}

Project* UiCurrentProject(WorkspaceComponent* ws) {
    auto* cui = ws != nullptr ? dynamic_cast<CUI*>(ws->ui) : nullptr;
    return cui != nullptr ? cui->currentProject : nullptr;
}

void RefreshAll() {
    const SelectTabHooks& h = TheSelectTabHooks();
    if (h.refreshAll != nullptr) h.refreshAll();
}

UIElement* OpenSelectTab(WorkspaceComponent* ws) { return WorkspaceOpenPage(ws, kWsPageSelectTab); }

gElement* StripOf(UIElement* e) {
    gElement* tabs = PageSlot(e, 0);
    return TabCtrl::FromWidget(tabs) != nullptr ? tabs : nullptr;
}

// The strip from the project's items; nothing without a project, items or a current item.
void Refill(gElement* tabs, Project* project) {
    if (tabs == nullptr || project == nullptr || project->items.head == nullptr) return;
    ProjectItem* current = project->currentItem.load();
    if (current == nullptr) return;
    for (ListNode* n = project->items.head; n != nullptr; n = n->next) {
        auto* item = static_cast<ProjectItem*>(n->item);
        if (item == nullptr) continue;
        TabDesc desc;
        desc.tabId = IdOf(item);
        desc.value = (item->openFlags & kItemMarkFlags) != 0 ? 1 : 0;
        desc.label = &LabelOfPending;
        PendingLabel() = SelectTabLabel(item);
        TabCtrl::AddTab(tabs, &desc, item == current);
        PendingLabel() = nullptr;
    }
    tabs->value = (current->openFlags & kItemMarkFlags) != 0 ? 1 : 0;
    if (gWindow* w = gWinValidate(tabs->window)) w->dirty = 7;
}

void FitWidth(gElement* tabs) {
    gWindow* w = tabs != nullptr ? gWinValidate(tabs->window) : nullptr;
    if (w == nullptr) return;
    const float width = static_cast<float>(w->clientWidth) - tabs->x - 2.0f;
    TabCtrl::SetWidth(tabs, width > 19.0f ? width : 19.0f);
}

// The strip's group when the strip stands in the window.
gGroup* StripGroupIn(WorkspaceComponent* ws, const gWindow* window) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageSelectTab, false);
    if (e == nullptr || window == nullptr || e->window != window || StripOf(e) == nullptr) return nullptr;
    gGroup* group = e->group;
    return group != nullptr && gWgtIsLive(group) ? group : nullptr;
}

void RefreshFollowing(WorkspaceComponent* ws) {
    RefreshTransportPage(ws);
    RefreshFastSelectorIfOpen(ws);
}

}  // namespace

void SelectTabHooksDefaults(SelectTabHooks* h) {
    *h = SelectTabHooks{};
    h->currentProject = &UiCurrentProject;
    h->selectItem = &ProjectSelectItem;
    h->refreshAll = &gWinRefreshAll;
}

SelectTabHooks& TheSelectTabHooks() {
    static SelectTabHooks hooks = [] {
        SelectTabHooks h;
        SelectTabHooksDefaults(&h);
        return h;
    }();
    return hooks;
}

const char* SelectTabLabel(const ProjectItem* item) {
    if (item == nullptr || item->name.empty()) return "[none]";
    return item->name.c_str();
}

// ---- Select tab ----------------------------------------------------------------------------------

void SelectTabPlace(const gWindow* window, float place[2]) {
    place[0] = 120.0f;
    place[1] = 1.0f;
    const auto* group = window != nullptr ? static_cast<const WindowGroup*>(window->userData) : nullptr;
    if (group != nullptr && IsWindowGroup(group) && group->windows[0] == window) {
        place[0] = static_cast<float>(group->sideWidth);
        place[1] = static_cast<float>(group->topMargin) + 1.0f;
    }
}

void BuildSelectTabPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr || element->window == nullptr) return;
    element->name = "SelectTab";
    element->flags = (element->flags & ~0x800u) | kElementNoView;
    gWindow* w = element->window;
    float place[2];
    SelectTabPlace(w, place);
    PageGroupAt(element, place[0], place[1]);
    // In a group's own window the strip stands above the workspace, whatever page of the
    // window is shown.
    const auto* owner = static_cast<const WindowGroup*>(w->userData);
    if (owner != nullptr && IsWindowGroup(owner) && owner->windows[0] == w) element->flags |= kElementKeepsPlace;
    gElement* tabs = TabCtrl::Create(w, nullptr, 16.0f, 120.0f, kSelectTabStyle, false, GetUIFont(w), nullptr);
    if (tabs == nullptr) return;
    tabs->color1 = tabs->color1Saved = kTabColours;
    tabs->color2 = tabs->color2Saved = kTabColours;
    gWgtSetHandler1(tabs, &SelectTabPress, reinterpret_cast<uintptr_t>(element));
    FitWidth(tabs);
    s[0] = tabs;
}

float SelectTabBandHeight(WorkspaceComponent* ws, const gWindow* window) {
    const gGroup* group = StripGroupIn(ws, window);
    if (group == nullptr || group->shown == 0) return 0.0f;
    return std::ceil(group->height + group->marginTop + group->marginBottom);
}

void SelectTabMoveTo(WorkspaceComponent* ws, const gWindow* window, float x, float y) {
    if (StripGroupIn(ws, window) == nullptr) return;
    PageGroupMoveTo(WorkspaceOpenPage(ws, kWsPageSelectTab, false), x, y);
    SelectTabFitWidth(ws);
}

void SelectTabFitWidth(WorkspaceComponent* ws) { FitWidth(StripOf(WorkspaceOpenPage(ws, kWsPageSelectTab, false))); }

void SelectTabPageRefresh(UIPage*, UIElement* element, int32_t) {
    WorkspaceComponent* ws = WorkspaceOfElement(element);
    if (!ComponentUiUp()) return;
    Refill(StripOf(element), CurrentProject(ws));
}

void RefreshSelectTabStrip(WorkspaceComponent* ws) {
    UIElement* e = OpenSelectTab(ws);
    if (e == nullptr) return;
    Refill(StripOf(e), CurrentProject(ws));
    RefreshFollowing(ws);
}

void RefreshSelectTabPage(WorkspaceComponent* ws) {
    UIElement* e = OpenSelectTab(ws);
    gElement* tabs = StripOf(e);
    if (tabs == nullptr) return;
    TabCtrl::NotifyCurrent(tabs);
    RepaintFieldNow(tabs);
    RefreshFollowing(ws);
}

bool SelectTabRefill(WorkspaceComponent* ws) {
    gElement* tabs = StripOf(OpenSelectTab(ws));
    if (tabs == nullptr) return false;
    TabCtrl::RemoveAll(tabs);
    Refill(tabs, CurrentProject(ws));
    return true;
}

bool SelectTabCurrent(WorkspaceComponent* ws, int32_t event) {
    // The data closed before the tabs were refilled leave the cells that showed them.
    if (ws != nullptr)
        for (DisplayComponent* cell : ws->cells) DisplayDataClosed(cell);
    if (!SelectTabRefill(ws)) return false;
    RefreshFollowing(ws);
    if (event == 7) RefreshAll();
    return true;
}

bool SelectTabByIndex(WorkspaceComponent* ws, ProjectItem* item, int32_t event) {
    UIElement* e = OpenSelectTab(ws);
    gElement* tabs = StripOf(e);
    TabCtrl* t = TabCtrl::FromWidget(tabs);
    if (t == nullptr || item == nullptr || t->current == nullptr) return false;
    // The item's tab, when the strip has one.
    int32_t index = -1;
    {
        TabIds& ids = Ids();
        std::lock_guard<std::mutex> hold(ids.lock);
        auto it = ids.ids.find(item);
        if (it == ids.ids.end()) return false;
        for (int32_t i = 0; i < t->current->count; ++i)
            if (t->current->tabs[static_cast<size_t>(i)]->desc.tabId == it->second) index = i;
    }
    if (index < 0 || !TabCtrl::SelectTab(tabs, index)) return false;
    if (tabs->shown == 0 || event < 3) return false;
    if (t->current->current >= 0) {
        RepaintFieldNow(tabs);
    } else if (gWindow* w = gWinValidate(tabs->window)) {
        w->dirty = 7;
    }
    RefreshFollowing(ws);
    // The active view hears of the change.
    DisplayComponent* cell = AsDisplayCell(ws->activeCell);
    if (GraphicsWindow* view = cell != nullptr ? cell->Graphics() : nullptr) view->SelectTabChanged(0);
    if (event == 7) {
        RefreshAll();
        return false;
    }
    return true;
}

void SelectTabPress(gElement* tabs, uintptr_t data) {
    auto* e = reinterpret_cast<UIElement*>(data);
    if (e == nullptr || !UIElementIsLive(e)) return;
    TabCtrl* t = TabCtrl::FromWidget(tabs);
    if (t == nullptr || t->current == nullptr || t->current->current < 0) return;
    TabData* tab = t->current->tabs[static_cast<size_t>(t->current->current)].get();
    Project* project = CurrentProject(WorkspaceOfElement(e));
    ProjectItem* item = ItemOfId(project, tab->desc.tabId);
    if (item == nullptr) {
        TabCtrl::RemoveTab(tabs, tab);
        if (gWindow* w = gWinValidate(tabs->window)) w->dirty = 7;
        return;
    }
    const SelectTabHooks& h = TheSelectTabHooks();
    if (project->currentItem.load() != item && h.selectItem != nullptr) h.selectItem(item);
}

// ---- Statistic overlay ---------------------------------------------------------------------------

namespace {
// The list's rows and its bar: a list with more rows than its room shows as many as fit,
// with a bar beside them that scrolls them; one that shows all of them has no bar. The
// bar stands outside the page's rows (the list keeps its width), so its window takes
// the bar's width while it is shown.
constexpr float kStatisticBarWidth = 14.0f;
void FitStatisticList(ListCtrl* list) {
    gElement* widget = list->widget;
    ListCtrl::LayoutCells(list);
    ListCtrl::LayoutRows(list);
    const bool scrolls = list->visibleRows < list->rowCount;
    gElement* bar = list->verticalBar != nullptr && gWgtIsLive(list->verticalBar) ? list->verticalBar : nullptr;
    gWindow* w = gWinValidate(widget->window);
    if (w == nullptr) return;
    gWinLayoutGroups(w);
    gWinFitToContent(w, 0);
    int32_t width = w->clientWidth;
    if (bar != nullptr) {
        SetWidgetShown(bar, scrolls);
        bar->x = bar->homeX = widget->x + widget->width + 1.0f;
        bar->y = bar->homeY = widget->y;
        if (scrolls) width += static_cast<int32_t>(kStatisticBarWidth) + 2;
    }
    // The page's rows keep the height they were laid out with: the window ends under the
    // list's last shown row.
    gWinSetSize(w, width, static_cast<int32_t>(std::ceil(widget->y + widget->height)) + 3, nullptr);
    w->dirty = 7;
}

void ScrollStatisticList(uintptr_t widget, float fraction) {
    if (ListCtrl* list = ListCtrl::FromWidget(reinterpret_cast<const gElement*>(widget)))
        ListCtrl::ScrollTo(list, fraction);
}

// Three rows a notch of the wheel over the list or its bar.
void StatisticListWheel(gElement* widget, int delta, int) {
    const ScrollSlider* bar = ScrollSliderFromWidget(widget);
    ListCtrl* list = ListCtrl::FromWidget(bar != nullptr ? bar->owner : widget);
    const int notches = delta / 120;
    // The wheel's message paints nothing of its own: the window shows the rows now.
    if (list != nullptr && notches != 0 && ListCtrl::ScrollRows(list, -3 * notches))
        if (gWindow* w = gWinValidate(list->widget->window)) PaintWindowNow(w, true);
}

// The list's bar: a slider of the window of its own, placed beside the list by
// FitStatisticList, taking presses and the wheel.
void AddStatisticBar(ListCtrl* list) {
    gElement* widget = list->widget;
    gElement* bar = ScrollSliderCreate(widget->window, nullptr, &ScrollStatisticList, true, widget->height,
                                       kStatisticBarWidth, reinterpret_cast<uintptr_t>(widget), true);
    if (bar == nullptr) return;
    if (ScrollSlider* record = ScrollSliderFromWidget(bar)) record->owner = widget;
    bar->active = 1;
    bar->onWheel = &StatisticListWheel;
    list->verticalBar = bar;
}
}  // namespace

bool StatisticListUseTable(ListCtrl* list, const StatListDescriptor* table) {
    if (list == nullptr || table == nullptr || list->widget == nullptr || !gWgtIsLive(list->widget)) return false;
    if (list->mode == static_cast<uint32_t>(table->kind) && list->rowCount == table->rows) return true;
    ListCtrl::SetMode(list->widget, static_cast<uint32_t>(table->kind));
    if (!ListCtrl::FillRows(list, 0, table->labels, table->rows)) return false;
    // The list, and its window with it, take the table's height (as far as its room goes).
    list->firstVisible = 0;
    FitStatisticList(list);
    return true;
}

void StatisticListSetRoom(ListCtrl* list, float height) {
    if (list == nullptr || list->widget == nullptr || !gWgtIsLive(list->widget)) return;
    const float room = height > 0.0f ? height : 0.0f;
    if (list->requestedHeight == room) return;
    list->requestedHeight = room;
    FitStatisticList(list);
}

void BuildStatisticPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr || element->window == nullptr) return;
    element->flags &= ~0x800u;
    if (element->name.empty()) element->name = "Statistic";
    gWindow* w = element->window;
    PageGroupAt(element, kStatisticPlace[0], kStatisticPlace[1]);
    const StatListDescriptor* desc = StatListDesc();
    const int32_t rows = desc != nullptr && desc->rows > 0 ? desc->rows : kStatisticDefaultRows;
    const uint32_t slot = element->group != nullptr ? element->group->style & kWsSlotBits : 0;
    gFont* font = GetUIFont(w);
    // Without a room of its own the list is as tall as its rows (height 0).
    ListCtrlLayout layout{.x = 2.0f,
                          .y = 1.0f,
                          .width = kStatisticColumns[0] + kStatisticColumns[1],
                          .height = 0.0f,
                          .columnCount = 2,
                          .columnWidths = kStatisticColumns};
    gElement* widget = ListCtrl::Create(w, nullptr, kStatisticKind, &layout, slot | kWsNewRow, false, font);
    ListCtrl* list = ListCtrl::FromWidget(widget);
    if (list == nullptr) return;
    list->resizeFlags &= ~kListColumnsResizable;
    if (desc != nullptr) {
        ListCtrl::SetMode(widget, static_cast<uint32_t>(desc->kind));
        ListCtrl::FillRows(list, 0, desc->labels, rows);
    }
    widget->onWheel = &StatisticListWheel;
    AddStatisticBar(list);
    FitStatisticList(list);
    if (WorkspaceComponent* ws = WorkspaceOfElement(element)) {
        ws->statisticsList = list;
        ws->statisticsWindow = w;
        for (DisplayComponent* cell : ws->cells) {
            if (cell == nullptr || AsDisplayCell(cell) == nullptr) continue;
            cell->statisticsList = list;
            cell->statisticsWindow = w;
        }
    }
    widget->handlerData = reinterpret_cast<uintptr_t>(element);
    s[0] = widget;
    w->keyDownHandler = &StatisticListKey;
    gWinLayoutGroups(w);
    // What the cells measure shows at once, not at their next change.
    if (WorkspaceComponent* ws = WorkspaceOfElement(element)) {
        for (DisplayComponent* cell : ws->cells) {
            if (cell == nullptr || AsDisplayCell(cell) == nullptr) continue;
            DisplaySyncHost(cell);
            GraphicsWindow* gw = cell->Graphics();
            if (gw != nullptr && gw->refreshStatistics != nullptr) gw->refreshStatistics(gw);
        }
    }
}

bool StatisticListKey(gWindow* window, gWindow*, void* key) {
    auto* event = static_cast<gKeyEvent*>(key);
    if (window == nullptr || event == nullptr) return false;
    const uint32_t code = event->code;
    if ((code & kKeyCtrl) == 0) return false;
    const uint32_t vk = code & 0xFFFF;
    if (vk != kKeyInsert && vk != 'C' && event->character != 'C') return false;
    // The workspace of the page whose list lives in this window.
    WorkspaceComponent* ws = nullptr;
    auto listOf = [](gElement* e) -> WorkspaceComponent* {
        if (ListCtrl::FromWidget(e) == nullptr) return nullptr;
        auto* element = reinterpret_cast<UIElement*>(e->handlerData);
        return UIElementIsLive(element) ? WorkspaceOfElement(element) : nullptr;
    };
    for (gElement* e = window->widgets.head; e != nullptr && ws == nullptr; e = e->next) {
        ws = listOf(e);
        for (gElement* child = e->nextChild; child != nullptr && ws == nullptr; child = child->nextChild)
            ws = listOf(child);
    }
    DisplayComponent* cell = ws != nullptr ? AsDisplayCell(ws->activeCell) : nullptr;
    gWindow* cellWindow = cell != nullptr ? cell->window : nullptr;
    if (cellWindow != nullptr && (cellWindow->state & kCellNoKeys) == 0) {
        GraphicsWindow* gw = cell->Graphics();
        if (gw != nullptr && gw->keyDown != nullptr && gw->keyDown(gw, code) != 0) return true;
    }
    return gWinBroadcast(window, key);
}

}  // namespace orva
