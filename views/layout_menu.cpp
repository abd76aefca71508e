#include "views/layout_menu.h"

#include "app/cui.h"
#include "app/page_rows.h"
#include "app/main_menu.h"
#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "framework/app_object.h"
#include "platform/window_api.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/window.h"
#include "views/select_tab_page.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"

namespace orva {

namespace {

struct LayoutEntry {
    const char* label;
    uint32_t bit;
    int32_t id;      // the page's window
    uint32_t index;  // the page's place in the page table
    const char* chartLabel;  // its entry in View > "Chart Tools" (none: not listed there)
};

constexpr LayoutEntry kEntries[] = {
    {"Coordinates", kLayoutCoordinates, kWsIdCoordinates, kWsPageCoordinates, "Coordinates"},
    {"View Mode", kLayoutViewMode, kWsIdViewMode, kWsPageViewMode, nullptr},
    {"Value Readout", kLayoutValues, kWsIdValue, kWsPageValue, "Value Readout"},
    {"Channels", kLayoutChannels, kWsIdValue, kWsPageChannels, "Channels"},
    {"Grid", kLayoutGrid, kWsIdGrid, kWsPageGrid, "Grid"},
    {"Lens", kLayoutLens, kWsIdLens, kWsPageLens, "Lens"},
    {"Zoom Bar", kLayoutZoomBar, kWsIdZoomBar, kWsPageZoomBar, "Zoom Bar"},
    {"Fast Selector", kLayoutFastSelector, kWsIdFastSelector, kWsPageFastSelector, nullptr},
    {"Transport", kLayoutTransport, kWsIdTransport, kWsPageTransport, nullptr},
    {"Select Tab", kLayoutSelectTab, kWsIdSelectTab, kWsPageSelectTab, nullptr},
    {"Statistic Overlay", kLayoutStatistic, kWsIdStatistic, kWsPageStatistic, "Statistic List"},
};

// The "Chart Tools" entries carry this bit beside their page's.
constexpr uint32_t kChartEntry = 1u << 31;

const LayoutEntry* EntryOf(uint32_t bit) {
    for (const LayoutEntry& e : kEntries)
        if (e.bit == bit) return &e;
    return nullptr;
}

WorkspaceComponent* MainWorkspace() { return AsWorkspace(TheCUI().groups[0].workspace); }
WorkspaceComponent* ChartWorkspace() { return AsWorkspace(TheCUI().groups[1].workspace); }
bool IsChartWorkspace(WorkspaceComponent* ws) { return ws != nullptr && ws == ChartWorkspace(); }

// The pages the "Chart Tools" window shows in this run (it opens them all at start).
uint32_t& ChartPagesWanted() {
    static uint32_t wanted = kLayoutAll;
    return wanted;
}

gWindow* GroupWindow(WorkspaceComponent* ws) {
    return ws != nullptr && ws->group != nullptr ? gWinValidate(ws->group->windows[0]) : nullptr;
}

UIWindowRecord* RecordOf(WorkspaceComponent* ws, int32_t id) {
    return ws != nullptr && ws->container != nullptr ? UIWindowRecordFind(ws->container, id) : nullptr;
}

// The page's own window, when it is on the screen.
gWindow* ShownWindow(WorkspaceComponent* ws, int32_t id) {
    UIWindowRecord* r = RecordOf(ws, id);
    gWindow* w = r != nullptr ? gWinValidate(r->element.window) : nullptr;
    return gWinShownNow(w) ? w : nullptr;
}

// The channel buttons and the select tab strip live in windows of other pages: they are
// hidden in place, whatever their page does with them.
void HideWidgets(UIElement* element, bool hide) {
    if (element == nullptr || element->slots == nullptr) return;
    for (uint32_t s = 0; s < element->slotCount; ++s) SetWidgetHiddenFor(PageSlot(element, s), kHiddenByLayout, hide);
    MarkPageRepaint(element);
}

void ApplySelectTab(WorkspaceComponent* ws, bool on) {
    gWindow* window = GroupWindow(ws);
    UIElement* strip = WorkspaceOpenPage(ws, kWsPageSelectTab, false);
    if (window == nullptr || strip == nullptr || strip->group == nullptr || !gWgtIsLive(strip->group)) return;
    strip->group->shown = on ? 1 : 0;
    HideWidgets(strip, !on);
    // The workspace takes the strip's band, or gives it back.
    WindowGroup* group = ws->group;
    if (gWindow* host = gWinValidate(group->windows[1]))
        WorkspaceLayout(host, group, window->clientWidth, window->clientHeight, true);
    window->dirty = 7;
}

// The window the entry's page has in the workspace: the "Chart Tools" window's lens is
// a page of its own, not a strip under its cells.
int32_t PageIdIn(WorkspaceComponent* ws, const LayoutEntry& e) {
    return e.id == kWsIdLens && IsChartWorkspace(ws) ? kWsIdLensAlso : e.id;
}

// Opens or closes a page that has a window of its own.
void ApplyWindow(WorkspaceComponent* ws, const LayoutEntry& e, bool on) {
    gWindow* parent = GroupWindow(ws);
    const int32_t id = PageIdIn(ws, e);
    UIWindowRecord* r = RecordOf(ws, id);
    if (parent == nullptr || r == nullptr) return;
    const bool shown = ShownWindow(ws, id) != nullptr;
    if (shown == on) return;
    // A page window made once is shown and hidden; one never made is opened as the start
    // opens it.
    gWindow* made = gWinValidate(r->element.window);
    if (made != nullptr && made->hwnd != nullptr && on) {
        // Shown again through the page machinery, which first brings the page up to date
        // (a hidden page is not refreshed while the data it shows changes).
        OpenComponentWindow(ws->container, parent, kWindowToggle, 0, r);
    } else if (made != nullptr && made->hwnd != nullptr) {
        platform::EnableWindow(made->hwnd, false);
        gWinShow(made, false);
    } else if (on && e.id == kWsIdValue) {
        WorkspaceOpenValuePage(ws, IsChartWorkspace(ws));
    } else if (on) {
        // The grid page and the statistic overlay have no place of their own in the main
        // window: they stand over the cells, in their top-right corner (in the "Chart
        // Tools" window the statistic list stands with the readouts). The chart's lens
        // stands along the cells' bottom edge, where the main window has its strip.
        if (OpenComponentWindow(ws->container, parent, kWindowToggle, 0, r) != nullptr && id == kWsIdLensAlso)
            WorkspacePlaceOverCells(ws, id, true);
    }
    // The pages over the cells take their places anew whenever one of them comes or goes:
    // where they stand follows from which are shown.
    if (id == kWsIdGrid || id == kWsIdStatistic) WorkspacePlaceFloatingPages(ws);
    WindowGroup* group = ws->group;
    if (e.id == kWsIdLens || e.id == kWsIdZoomBar) {
        // The strips under the cell area: the workspace takes their room or gives it back.
        if (gWindow* host = gWinValidate(group->windows[1]))
            WorkspaceLayout(host, group, parent->clientWidth, parent->clientHeight, true);
    }
    if (IsChartWorkspace(ws)) {
        // The readouts close up around what came or went: each is painted anew.
        WorkspacePlaceChartReadouts(ws);
        gWinRefreshAll();
    } else {
        WorkspacePlaceToolPages(ws);
    }
    parent->dirty = 7;
}

void Apply(WorkspaceComponent* ws, const LayoutEntry& e, bool on) {
    if (e.bit == kLayoutChannels) {
        HideWidgets(WorkspaceOpenPage(ws, kWsPageChannels, false), !on);
    } else if (e.bit == kLayoutSelectTab) {
        ApplySelectTab(ws, on);
    } else {
        ApplyWindow(ws, e, on);
    }
}

void Keep(uint32_t bit, bool on) {
    MainSettings& s = TheApp().Settings();
    uint32_t wanted = LayoutPagesWanted();
    wanted = on ? wanted | bit : wanted & ~bit;
    s.layoutPages = wanted & kLayoutAll;
}

uint8_t LayoutCommand(void* item, uint32_t data) {
    WorkspaceComponent* ws = (data & kChartEntry) != 0 ? ChartWorkspace() : MainWorkspace();
    const uint32_t bit = data & ~kChartEntry;
    const LayoutEntry* e = EntryOf(bit);
    if (ws == nullptr || e == nullptr) return 0;
    const bool on = !LayoutPageShown(ws, bit);
    LayoutShowPage(ws, bit, on);
    auto* menuItem = static_cast<gMenuItem*>(item);
    if (menuItem != nullptr && gMenuIsItem(menuItem)) gMenuCheckItem(menuItem, LayoutPageShown(ws, bit));
    gWinRefreshAll();
    return 1;
}

}  // namespace

uint32_t LayoutBitOf(uint32_t pageIndex) {
    for (const LayoutEntry& e : kEntries)
        if (e.index == pageIndex) return e.bit;
    return 0;
}

uint32_t LayoutPagesWanted() {
    const uint32_t kept = TheApp().Settings().layoutPages;
    return kept == kLayoutPagesUnset ? kLayoutDefault : kept & kLayoutAll;
}

bool LayoutPageWanted(uint32_t bit) { return (LayoutPagesWanted() & bit) != 0; }

// Whether the workspace's page is wanted: the kept set for the main window, this run's
// choices for the "Chart Tools" window.
bool PageWantedIn(WorkspaceComponent* ws, uint32_t bit) {
    return IsChartWorkspace(ws) ? (ChartPagesWanted() & bit) != 0 : LayoutPageWanted(bit);
}

bool LayoutPageShown(WorkspaceComponent* ws, uint32_t bit) {
    const LayoutEntry* e = EntryOf(bit);
    if (ws == nullptr || e == nullptr) return false;
    if (bit == kLayoutChannels) {
        // With the value readout, unless taken away.
        return ShownWindow(ws, kWsIdValue) != nullptr && PageWantedIn(ws, kLayoutChannels);
    }
    if (bit == kLayoutSelectTab) {
        UIElement* strip = WorkspaceOpenPage(ws, kWsPageSelectTab, false);
        return strip != nullptr && strip->group != nullptr && gWgtIsLive(strip->group) && strip->group->shown != 0;
    }
    return ShownWindow(ws, PageIdIn(ws, *e)) != nullptr;
}

void LayoutShowPage(WorkspaceComponent* ws, uint32_t bit, bool on) {
    const LayoutEntry* e = EntryOf(bit);
    if (ws == nullptr || e == nullptr) return;
    if (IsChartWorkspace(ws)) ChartPagesWanted() = on ? ChartPagesWanted() | bit : ChartPagesWanted() & ~bit;
    else Keep(bit, on);
    Apply(ws, *e, on);
}

void FillLayoutMenu(WorkspaceComponent* ws) {
    gMenuItem* sub = LayoutMenuHeader();
    if (ws == nullptr || sub == nullptr || !gMenuIsItem(sub) || sub->check != 2) return;
    for (const LayoutEntry& e : kEntries) {
        bool present = false;
        for (gMenuItem* c = sub->firstChild; c != nullptr && !present; c = c->next)
            present = c->handler == &LayoutCommand && c->userData == e.bit;
        if (present) continue;
        gMenuRow row{e.label, 0, &LayoutCommand, 0, nullptr};
        gMenuBuild(sub, &row, 1, false, e.bit, nullptr);
    }
    gMenuItemSetState(sub, sub->childCursor == nullptr);
    LayoutMenuChecks(sub);
}

void LayoutApplyStart(WorkspaceComponent* ws) {
    if (ws == nullptr) return;
    if (!LayoutPageWanted(kLayoutSelectTab)) ApplySelectTab(ws, false);
    for (uint32_t bit : {kLayoutGrid, kLayoutStatistic})
        if (LayoutPageWanted(bit)) Apply(ws, *EntryOf(bit), true);
}

void LayoutApplyChannels(WorkspaceComponent* ws) {
    if (ws != nullptr && !PageWantedIn(ws, kLayoutChannels))
        HideWidgets(WorkspaceOpenPage(ws, kWsPageChannels, false), true);
}

void LayoutMenuChecks(gMenuItem* header) {
    if (header == nullptr || !gMenuIsItem(header)) return;
    for (gMenuItem* c = header->firstChild; c != nullptr; c = c->next) {
        if (c->handler != &LayoutCommand) continue;
        WorkspaceComponent* ws = (c->userData & kChartEntry) != 0 ? ChartWorkspace() : MainWorkspace();
        gMenuCheckItem(c, ws != nullptr && LayoutPageShown(ws, c->userData & ~kChartEntry));
    }
}

void FillChartToolsMenu(WorkspaceComponent* ws) {
    gMenuItem* sub = ChartToolsMenuHeader();
    if (ws == nullptr || sub == nullptr || !gMenuIsItem(sub) || sub->check != 2) return;
    for (const LayoutEntry& e : kEntries) {
        if (e.chartLabel == nullptr) continue;
        const uint32_t data = e.bit | kChartEntry;
        bool present = false;
        for (gMenuItem* c = sub->firstChild; c != nullptr && !present; c = c->next)
            present = c->handler == &LayoutCommand && c->userData == data;
        if (present) continue;
        gMenuRow row{e.chartLabel, 0, &LayoutCommand, 0, nullptr};
        gMenuBuild(sub, &row, 1, false, data, nullptr);
    }
    gMenuItemSetState(sub, sub->childCursor == nullptr);
    LayoutMenuChecks(sub);
}

}  // namespace orva
