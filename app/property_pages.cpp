#include "app/property_pages.h"

#include <algorithm>
#include <string>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/group_layout.h"
#include "app/page_rows.h"
#include "app/ui_startup.h"
#include "platform/window_api.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/tab_bar.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"

namespace orva {

namespace {

constexpr uint32_t kLabelColour = 0x46D7070;
constexpr uint32_t kLabelHighlight = 0xF1A1A1A;
constexpr size_t kTitleLimit = 260;

bool Shown(gWindow* w) {
    return w != nullptr && gWinValidate(w) != nullptr && w->hwnd != nullptr && platform::IsWindowVisible(w->hwnd);
}

void SetStateButton(UIWindowRecord* record, bool on) {
    gElement* b = record->stateButton;
    if (b == nullptr || !gWgtIsLive(b)) return;
    if ((b->value != 0) != on) {
        gWgtExchangeParam(b, on ? 1 : 0);
        gWgtDrawState(b, 5);
    }
}

// The page whose blocks a record's window shows: its component's own page.
UIPage* RecordPage(UIWindowRecord* record) {
    UIPage* page = record->element.page;
    return UIPageIsLive(page) ? page : nullptr;
}

PanelBuilder HostedBuilder(UIPage* page) {
    if (page == nullptr || page->current == nullptr || !ComponentIsLive(page->current)) return nullptr;
    return page->current->panelBuilder;
}

bool IsStandardPage(int32_t id) { return id >= kPageStandardFirst && id <= kPageOptions; }

// Keeps the record's saved placement from its window.
void SavePlacement(UIWindowRecord* record, gWindow* w) {
    record->savedX = w->x;
    record->savedY = w->y;
    record->savedWidth = w->clientWidth;
    record->savedHeight = w->clientHeight;
}

// The record's tab bar (the first control of its element), when it has one.
gElement* RecordTabBar(UIWindowRecord* record) {
    if ((record->flags & kRecordTabBar) == 0 || record->element.slots == nullptr) return nullptr;
    gElement* e = record->element.slots[0];
    return e != nullptr && gWgtIsLive(e) ? e : nullptr;
}

void TabSelected(gElement* tabBar, uintptr_t data) {
    auto* record = reinterpret_cast<UIWindowRecord*>(data);
    TabCtrl* t = TabCtrl::FromWidget(tabBar);
    if (t == nullptr || t->current == nullptr) return;
    WindowTabSelect(record, t->current->current);
}

// Drops the window a builder refused, with whatever blocks it made there.
void ForgetWindow(UIWindowRecord* record, gWindow* w) {
    if (UIPage* page = RecordPage(record)) UIPageDropWindow(page, w);
    int32_t pageId = record->element.pageId;
    uint32_t kept = record->element.flags & (kElementKind3 | kElementRestores);
    UIElementReset(&record->element);
    record->element.pageId = pageId;
    record->element.flags |= kept;
    record->element.window = nullptr;
    if (gWinValidate(w) != nullptr) {
        w->closeHandler = nullptr;
        w->keyDownHandler = nullptr;
        w->keyUpHandler = nullptr;
        w->resizeHandler = nullptr;
        w->userData = nullptr;
        gUiCloseQuiet(w);
    }
}

}  // namespace

// ---- Blocks ------------------------------------------------------------------------------------

bool ShowComponentPage(UIPage* page, gWindow* window, uint32_t style, PanelBuilder key, uint32_t slotCount,
                       uint32_t slotIndex, uint32_t tableSize, int32_t pageId, PageBuildFn build,
                       PageRefreshFn refresh, UIElement** outElement) {
    if (page == nullptr) return false;
    if (window == nullptr && pageId != kPageRefresh) return true;
    if (slotIndex < page->table.size() && page->table[slotIndex] != nullptr) {
        UIElement* e = page->table[slotIndex];
        if (outElement != nullptr) *outElement = e;
        if (refresh != nullptr) refresh(page, e, pageId);
        return true;
    }
    UIElement* e = nullptr;
    if (pageId == kPageRefresh) {
        if (page->table.empty()) return true;  // never built: nothing to refresh
        for (UIElement* candidate : page->elements) {
            if (candidate->key == key && candidate->index == slotIndex + 1 &&
                (window == nullptr || candidate->window == window)) {
                e = candidate;
                break;
            }
        }
        if (e == nullptr || e->group == nullptr) return true;
    } else {
        e = UIElementFindOrCreateAt(page, key, window, slotIndex + 1, pageId);
        if (e == nullptr) return false;
        if (page->table.size() < std::max<size_t>(tableSize, slotIndex + 1)) {
            try {
                page->table.resize(std::max<size_t>(tableSize, slotIndex + 1), nullptr);
            } catch (...) {
                return false;
            }
        }
    }
    if (window == nullptr) window = e->window;
    if (window == nullptr) return false;
    if (outElement != nullptr) *outElement = e;
    if (pageId == kPageRefresh) {
        if (e->slots != nullptr && refresh != nullptr) refresh(page, e, kPageRefresh);
        return true;
    }
    if (UIElementAllocSlots(e, slotCount)) {
        // A new block: its group (and, docked, its view), then its controls.
        if ((page->flags & kPageDocked) != 0 && !GLViewAttach(e, style)) return false;
        gGroup* group = UIElementGetGroup(e, style, style & (0x2000 | 0x10000 | 0x80000));
        if (group == nullptr) return false;
        gGrpSetActive(group);
        if (build != nullptr) build(e, e->slots);
        if (!UIElementEnsureGlyphs(e, slotCount)) return false;
        if ((page->flags & kPageDocked) != 0) UIElementSyncView(e);
    }
    if (e->slots == nullptr) return false;
    if (slotIndex >= page->table.size()) return false;
    page->table[slotIndex] = e;
    if (refresh != nullptr) refresh(page, e, pageId);
    return true;
}

// ---- Windows of a component --------------------------------------------------------------------

gWindow* OpenComponentWindow(OptionsWindow* component, gWindow* parent, int32_t mode, intptr_t extra,
                             UIWindowRecord* record) {
    (void)extra;
    if (AsOptionsWindow(component) == nullptr || record == nullptr) return nullptr;
    UIPage* page = RecordPage(record);
    PanelBuilder builder = HostedBuilder(page);
    bool hostless = builder == nullptr;
    gWindow* w = record->element.window;
    if (w != nullptr && gWinValidate(w) == nullptr) w = record->element.window = nullptr;
    if (w != nullptr) {
        auto* attached = static_cast<UIPage*>(component->pageWindow);
        if (hostless && UIPageIsLive(attached) && attached->element.key == &OptionsPageBuild) {
            if (record->titleLabel != nullptr && gWgtIsLive(record->titleLabel)) {
                gWgtRestoreColor(record->titleLabel);
                gWgtDrawState(record->titleLabel, 5);
            }
            SetStateButton(record, true);
        }
        bool visible = (record->element.flags & kElementKind3) != 0 && Shown(w);
        if (!visible && mode == kWindowRefresh) {
            SetStateButton(record, Shown(w));
            return nullptr;
        }
        // A refresh never closes a window.
        bool close = mode == kWindowClose || (visible && mode == kWindowToggle) || hostless;
        if (close) {
            if ((record->element.flags & kElementRestores) != 0) {
                SavePlacement(record, w);
                if (page != nullptr) UIPageDropWindow(page, w);
                if (gUiCloseQuiet(w)) {
                    record->element.window = nullptr;
                    SetStateButton(record, false);
                    return nullptr;
                }
            }
            if (visible) {
                if (platform::IsWindowEnabled(w->hwnd)) platform::EnableWindow(w->hwnd, false);
                gWinShow(w, false);
            }
            SetStateButton(record, false);
            return w;
        }
        if (!visible) {
            if (w->hwnd != nullptr && !platform::IsWindowEnabled(w->hwnd)) platform::EnableWindow(w->hwnd, true);
            builder(page, w, record->element.pageId);
            if (UIPageIsLive(page)) page->flags &= ~kPageNeedsBuild;
            if (gElement* tabs = RecordTabBar(record)) WindowTabsRefresh(tabs, record);
            std::string title = PageTitle(record, builder);
            if (!title.empty()) gWinSetTitle(w, title.c_str());
            SetStateButton(record, true);
            if (w->hwnd != nullptr) platform::BringWindowToTop(w->hwnd);
            KeepClearOfPageColumn(w);
            gWinShow(w, true);
        } else {
            builder(page, w, record->element.pageId);
            if (UIPageIsLive(page)) page->flags &= ~kPageNeedsBuild;
            if (gElement* tabs = RecordTabBar(record)) WindowTabsRefresh(tabs, record);
            RepaintWindowNow(w, 7);
        }
        return w;
    }
    if (hostless) {
        SetStateButton(record, false);
        return nullptr;
    }
    if (mode == kWindowRefresh) return nullptr;
    uint32_t style = record->style != 0 ? record->style : kWindowStyleKind3;
    int32_t x = record->savedX, y = record->savedY, width = record->width, height = record->height;
    if ((record->element.flags & kElementRestores) != 0 && record->savedWidth > 0) {
        width = record->savedWidth;
        height = record->savedHeight;
    }
    if (width <= 0) width = 254;
    if (height <= 0) height = 200;
    record->width = width;
    record->height = height;
    PlaceRecordWindow(record, parent, style, gScreenWidth(), gScreenHeight(), &x, &y, &width, &height);
    w = gWinCreateRec(x, y, width, height, parent, component, style);
    if (w == nullptr) return nullptr;
    record->element.window = w;
    // A window made deferred gets its native window (and with it its fonts) before its
    // page is built, hidden until the page stands: widgets take the fonts that exist.
    if ((style & kStyleDeferred) != 0 && !gWinOpen(w, nullptr, (style & ~kStyleShown) | kStyleDeferred)) {
        ForgetWindow(record, w);
        return nullptr;
    }
    if (record->kind > 1) {
        if (gFont* font = GetUIFont(w)) gWgtSelect(w, font);
        w->closeHandler = &OptionsWindowCloseRequest;
        gWinLayout(w);
    }
    if ((record->flags & kRecordTabBar) != 0 && UIElementAllocSlots(&record->element, 1)) {
        gWgtSelectWindow(w);
        gElement* tabs = TabCtrl::Create(w, nullptr, 276.0f, 68.0f, kTabStyle, false, GetUIFont(w), nullptr);
        if (tabs != nullptr) {
            tabs->color1 = tabs->color1Saved = kTabColour;
            tabs->color2 = tabs->color2Saved = kTabColour2;
            gWgtSetHandler1(tabs, &TabSelected, reinterpret_cast<uintptr_t>(record));
        }
        record->element.slots[0] = tabs;
    }
    int32_t built = builder(page, w, record->element.pageId);
    if (UIPageIsLive(page)) page->flags &= ~kPageNeedsBuild;
    if (built == 0) {
        ForgetWindow(record, w);
        return nullptr;
    }
    if (gElement* tabs = RecordTabBar(record)) WindowTabsRefresh(tabs, record);
    std::string title;
    if (IsStandardPage(record->element.pageId) && (record->flags & kRecordFileTitle) != 0) {
        title = ItemTitle(record);
    } else {
        bool tool = parent != nullptr && parent == TheCUI().groups[1].windows[0];
        title = WindowTitle(record, builder, tool ? kToolTitleSuffix : "", kTitleLimit);
    }
    // A window made deferred gets its native window now, with the record's style. It is
    // sized to its page and moved clear of the page column before it shows: shown first,
    // it would stand over the column for a moment and then jump aside, away from where a
    // user who saw it there clicks.
    gWinOpen(w, title.c_str(), (style & kStyleDeferred) != 0 ? style & ~kStyleShown : 0);
    KeepClearOfPageColumn(w);
    gWinShow(w, true);
    SetStateButton(record, true);
    return w;
}

bool OptionsWindowCloseRequest(gWindow* window, void* data) {
    OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(data));
    if (c == nullptr) return true;
    UIWindowRecord* record = UIWindowRecordByWindow(c, window);
    if (record == nullptr) return true;
    UIPage* page = RecordPage(record);
    if (HostedBuilder(page) == nullptr && page != nullptr && page->element.key == &OptionsPageBuild) {
        if (record->titleLabel != nullptr && gWgtIsLive(record->titleLabel)) gWgtRestoreColor(record->titleLabel);
    }
    if ((record->element.flags & kElementRestores) != 0) {
        SavePlacement(record, window);
        if (page != nullptr) UIPageDropWindow(page, window);
        record->element.window = nullptr;
        SetStateButton(record, false);
        return true;
    }
    if (window->hwnd != nullptr && platform::IsWindowEnabled(window->hwnd)) platform::EnableWindow(window->hwnd, false);
    gWinShow(window, false);
    SetStateButton(record, false);
    return false;
}

int32_t OptionsPageRefresh(OptionsWindow* component, gWindow* window, int32_t mode, intptr_t argument) {
    (void)window;
    if (AsOptionsWindow(component) == nullptr || component->panelBuilder != &OptionsPageBuild) return 0;
    UIWindowRecord* record = UIWindowRecordFind(component, kPageOptions);
    if (record == nullptr) return 0;
    int32_t result = Shown(record->element.window) ? 1 : 0;
    if (mode == kWindowClose && result == 0) return 0;
    gWindow* parent = TheCUI().mainWindow;
    gWindow* w = OpenComponentWindow(component, parent, mode, argument, record);
    if (w != nullptr && Shown(w)) result |= 2;
    return result;
}

void OptionsRefreshStandardPage(OptionsWindow* component, gWindow* window) {
    if (AsOptionsWindow(component) == nullptr || window == nullptr) return;
    UIWindowRecord* record = UIWindowRecordByWindow(component, window);
    if (record == nullptr || !IsStandardPage(record->element.pageId)) return;
    OpenComponentWindow(component, TheCUI().mainWindow, kWindowRefresh, 0, record);
}

int32_t OptionsRefreshAll(OptionsWindow* component) {
    if (AsOptionsWindow(component) == nullptr) return 0;
    int32_t shown = 0;
    std::vector<UIWindowRecord*> records = component->windows;
    for (UIWindowRecord* r : records) {
        if (AsOptionsWindow(component) == nullptr) break;
        gWindow* w = OpenComponentWindow(component, TheCUI().mainWindow, kWindowRefresh, 0, r);
        if (w != nullptr && Shown(w)) ++shown;
    }
    return shown;
}

// ---- The builders of the options-window components ----------------------------------------------

namespace {

gElement* DockedTabBar(const UIPage* record);
gElement* MakeDockedTabBar(UIPage* record, gGroup* above, gWindow* window);

OptionsWindow* ContainerOf(UIPage* page) {
    return page != nullptr ? AsOptionsWindow(page->current) : nullptr;
}

}  // namespace

int32_t GenericWindowBuilder(PageWindow* pageWindow, void* windowArg, int32_t pageId) {
    auto* page = static_cast<UIPage*>(pageWindow);
    if (!UIPageIsLive(page)) return 0;
    OptionsWindow* c = ContainerOf(page);
    if (c == nullptr) return 0;
    if (pageId != 0 && c->storedPageId != 0 && pageId != c->storedPageId && pageId != kPageRefresh) return 0;
    UIPageClaim(page, &GenericWindowBuilder);
    auto* window = static_cast<gWindow*>(windowArg);
    if (window == nullptr) {
        if (pageId != kPageRefresh) return 1;
        window = c->storedWindow;
        if (window == nullptr) return 0;
    }
    if (c->storedWindow == nullptr) c->storedWindow = window;
    if (pageId != kPageRefresh) c->storedPageId = pageId;
    int32_t result = 0;
    UIPage* hosted = c->ownPage;
    if (PanelBuilder builder = HostedBuilder(hosted)) {
        result += builder(hosted, window, pageId);
        if (UIPageIsLive(hosted)) hosted->flags &= ~kPageNeedsBuild;
    }
    if (AsOptionsWindow(c) != nullptr) result += OptionsRefreshAll(c);
    return result;
}

int32_t OptionsPageBuild(PageWindow* pageWindow, void* windowArg, int32_t pageId) {
    auto* page = static_cast<UIPage*>(pageWindow);
    if (!UIPageIsLive(page)) return 0;
    OptionsWindow* c = ContainerOf(page);
    if (c == nullptr && pageId != 0 && pageId != kPageRefresh && static_cast<uintptr_t>(pageId) != page->id) return 0;
    if (!UIPageClaim(page, &OptionsPageBuild)) return 0;
    auto* window = static_cast<gWindow*>(windowArg);
    if (c == nullptr) return 0;
    if (window == nullptr) {
        if (pageId != kPageRefresh) return 1;
        window = c->storedWindow;
        if (window == nullptr) return 0;
    }
    if (gWinValidate(window) == nullptr) return 0;
    if (c->storedWindow == nullptr) c->storedWindow = window;
    if (pageId != kPageRefresh) c->storedPageId = pageId;
    UIElement& own = page->element;
    if (own.window == nullptr) own.window = window;
    bool reuseGroup = (page->flags & kPageReuseGroup) != 0;
    if (!reuseGroup) {
        if ((page->flags & kPageDocked) != 0) GLViewAttach(&own, 0);
        gWinSlotTable(window);
    }
    gGroup* group = UIElementGetGroup(&own, reuseGroup ? 0 : 0x24000, 0);
    UIWindowRecord* record = UIWindowRecordFind(c, kPageOptions);
    if (!reuseGroup && group != nullptr && record != nullptr &&
        (record->titleLabel == nullptr || !gWgtIsLive(record->titleLabel))) {
        gGrpSetActive(group);
        gWgtTemplate t{.desc = {.kind = 11, .style = (group->style & kWsSlotBits) | 0x481C3u, .width = 82.0f,
                                .height = 17.0f, .color1 = kLabelColour, .color2 = kLabelHighlight}};
        record->titleLabel = gWgtAdd(window, nullptr, &t, 0);
    }
    // In a window group's page column (not a window of the record's own) a record with a
    // tab bar gets its tab bar under the title label: its blocks take turns below it.
    UIPage* hosted = c->ownPage;
    PanelBuilder hostedBuilder = HostedBuilder(hosted);
    gElement* dockedTabs = nullptr;
    if (!reuseGroup && group != nullptr && hostedBuilder != nullptr && record != nullptr &&
        (record->flags & kRecordTabBar) != 0 && record->element.window != window && own.window == window) {
        dockedTabs = DockedTabBar(page);
        if (dockedTabs == nullptr) dockedTabs = MakeDockedTabBar(page, group, window);
    }
    if (record != nullptr && record->titleLabel != nullptr && gWgtIsLive(record->titleLabel)) {
        std::string text = ItemTitle(record);
        if (text.size() > 10) {
            size_t blank = text.find(' ');
            if (blank != std::string::npos) text.resize(blank);
        }
        if ((page->flags & kPageTitleFromHosted) != 0 && !c->title.empty()) text = c->title;
        if (text.empty()) text = c->title;
        gWgtSetText(record->titleLabel, text.c_str());
        if (hostedBuilder != nullptr) {
            gWgtChangeColor(record->titleLabel, kLabelHighlight);
        } else {
            gWgtRestoreColor(record->titleLabel);
        }
    }
    int32_t result = 0;
    if ((own.flags & kElementNoHostedBuild) == 0 && hostedBuilder != nullptr) {
        result += hostedBuilder(hosted, window, 0);
        if (UIPageIsLive(hosted)) {
            hosted->flags &= ~kPageNeedsBuild;
            if (page->name.empty()) page->name = hosted->name;
        }
    }
    if (dockedTabs != nullptr && UIPageIsLive(page) && UIPageIsLive(hosted)) PageTabsRefresh(dockedTabs, hosted);
    if ((page->flags & kPageDocked) != 0 && UIPageIsLive(page)) UIElementSyncView(&own);
    GroupPagesChanged(window);
    return result > 0 ? result : 1;
}

// ---- Tab bars of record windows -------------------------------------------------------------------

namespace {

// The labels of the blocks listed in record tab bars, by tab identifier (1-based).
std::vector<std::string>& RecordTabLabels() {
    static std::vector<std::string> labels;
    return labels;
}

}  // namespace

void PageTabsRefresh(gElement* tabBar, UIPage* page) {
    TabCtrl* t = TabCtrl::FromWidget(tabBar);
    if (t == nullptr || page == nullptr || !UIPageIsLive(page)) return;
    // The tabs of blocks that went (their page was reset or dropped) go too.
    auto listed = [&](uint32_t tabId) {
        return std::any_of(page->elements.begin(), page->elements.end(), [&](const UIElement* e) {
            return e->word == tabId && e->window == tabBar->window && e->group != nullptr;
        });
    };
    if (t->current != nullptr) {
        std::vector<uint32_t> gone;
        for (const auto& tab : t->current->tabs)
            if (!listed(tab->desc.tabId)) gone.push_back(tab->desc.tabId);
        for (uint32_t id : gone) TabCtrl::RemoveTabById(tabBar, t->current->groupId, id);
    }
    for (UIElement* e : page->elements) {
        if (e->window != tabBar->window || e->group == nullptr) continue;
        // Each block is listed once under its name (" " without one).
        std::vector<std::string>& labels = RecordTabLabels();
        TabDesc desc;
        desc.groupId = 1;
        desc.tabId = e->word != 0 ? e->word : static_cast<uint32_t>(labels.size() + 1);
        if (e->word == 0) {
            labels.push_back(e->name.empty() ? std::string(" ") : e->name.substr(0, 20));
            e->word = desc.tabId;
        }
        desc.label = [](uint32_t tabId, int32_t) -> const char* {
            const std::vector<std::string>& all = RecordTabLabels();
            return tabId >= 1 && tabId <= all.size() ? all[tabId - 1].c_str() : nullptr;
        };
        int added = TabCtrl::AddTab(tabBar, &desc, false);
        if (added == 1 && (e->flags & kElementBelowTabs) == 0 && e->group != nullptr && gWgtIsLive(e->group)) {
            float dy = tabBar->y + tabBar->height + 3.0f - e->group->y;
            if (dy > 0) ShiftGroupBy(e->group, dy);
            e->flags |= kElementBelowTabs;
        }
    }
    if (t->current != nullptr && t->current->current >= 0) PageTabSelect(page, tabBar->window, t->current->current);
}

bool PageTabSelect(UIPage* page, gWindow* w, int32_t index) {
    if (page == nullptr || !UIPageIsLive(page)) return false;
    int32_t at = 0;
    bool found = false, changed = false;
    for (UIElement* e : page->elements) {
        if (e->window != w || e->group == nullptr || !gWgtIsLive(e->group)) continue;
        bool show = at++ == index;
        found = found || show;
        changed = SetGroupShown(e->group, show) || changed;
    }
    if (changed && w != nullptr && gWinValidate(w) != nullptr) w->dirty = 7;
    return found;
}

void WindowTabsRefresh(gElement* tabBar, UIWindowRecord* record) {
    if (record != nullptr) PageTabsRefresh(tabBar, RecordPage(record));
}

bool WindowTabSelect(UIWindowRecord* record, int32_t index) {
    if (record == nullptr) return false;
    return PageTabSelect(RecordPage(record), record->element.window, index);
}

void ShiftGroupBy(gGroup* group, float dy) {
    if (group == nullptr || !gWgtIsLive(group) || dy == 0) return;
    for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
        row->y += dy;
        gRowShift(row, 0, dy);
    }
    group->y += dy;
}

bool SetGroupShown(gGroup* group, bool show) {
    if (group == nullptr || !gWgtIsLive(group)) return false;
    const uint8_t value = show ? 1 : 0;
    bool changed = group->shown != value;
    group->shown = value;
    // Each widget keeps what its page wants of it (a field a page hides for some data
    // stays hidden when the page is shown again), and a page's refresh while it is hidden
    // shows none of its widgets over the page that is shown.
    for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
        for (gElement* x = row->first; x != nullptr; x = x->rowNext) changed = SetWidgetHiddenFor(x, kHiddenWithPage, !show) || changed;
    }
    return changed;
}

// ---- Pages docked in a window group ---------------------------------------------------------------

namespace {

// The tab bar of a page shown in a group window, with its group: the first two slots of
// the page's own element.
gElement* DockedTabBar(const UIPage* record) {
    if (record == nullptr || record->element.slots == nullptr || record->element.slotCount < 2) return nullptr;
    gElement* e = record->element.slots[0];
    return e != nullptr && gWgtIsLive(e) ? e : nullptr;
}

UIPage* HostedPage(const UIPage* record) {
    OptionsWindow* c = record != nullptr ? AsOptionsWindow(record->current) : nullptr;
    return c != nullptr && UIPageIsLive(c->ownPage) ? c->ownPage : nullptr;
}

void DockedTabSelected(gElement* tabBar, uintptr_t data) {
    auto* record = reinterpret_cast<UIPage*>(data);
    TabCtrl* t = TabCtrl::FromWidget(tabBar);
    if (!UIPageIsLive(record) || t == nullptr || t->current == nullptr) return;
    PageTabSelect(HostedPage(record), tabBar->window, t->current->current);
    GroupPagesChanged(tabBar->window);
}

// Makes the tab bar below the page's own group (its title label): in a group of its
// own, so that the blocks go below it.
gElement* MakeDockedTabBar(UIPage* record, gGroup* above, gWindow* window) {
    UIElement& own = record->element;
    if (own.slots == nullptr && !UIElementAllocSlots(&own, 2)) return nullptr;
    if (own.slotCount < 2) return nullptr;
    // Placed below the title as it was built, not as the column is scrolled now.
    PageColumnRestore(window);
    gWgtSelectWindow(window);
    gGroup* group = gGrpFind(window, above->style & kWsSlotBits, false);
    if (group == nullptr) return nullptr;
    group->align = 17;
    group->marginLeft = above->marginLeft;
    group->marginTop = above->marginTop;
    group->marginRight = above->marginRight;
    group->marginBottom = above->marginBottom;
    group->x = above->x;
    group->y = above->y + above->height + above->marginTop + above->marginBottom + 2.0f;
    gGrpSetActive(group);
    gElement* tabs = TabCtrl::Create(window, nullptr, 276.0f, 68.0f, kTabStyle, false, GetUIFont(window), nullptr);
    if (tabs == nullptr) return nullptr;
    tabs->color1 = tabs->color1Saved = kTabColour;
    tabs->color2 = tabs->color2Saved = kTabColour2;
    gWgtSetHandler1(tabs, &DockedTabSelected, reinterpret_cast<uintptr_t>(record));
    own.slots[0] = tabs;
    own.slots[1] = group;
    return tabs;
}

}  // namespace

gGroup* DockedTabGroup(const UIPage* record) {
    if (DockedTabBar(record) == nullptr) return nullptr;
    gElement* g = record->element.slots[1];
    return g != nullptr && gWgtIsLive(g) ? static_cast<gGroup*>(g) : nullptr;
}

bool SetDockedPageShown(UIPage* record, gWindow* window, bool show) {
    if (!UIPageIsLive(record)) return false;
    bool changed = false;
    // A hosted page whose component went (its file was closed) keeps its blocks for the
    // next component of its kind, but shows neither them nor their tabs: they hold the
    // closed file's values. The page's own title stays with its tab.
    UIPage* hosted = HostedPage(record);
    const bool blocks = show && !(hosted != nullptr && hosted->current == nullptr);
    auto setShown = [&](UIElement* e, bool on) {
        if (UIElementIsLive(e) && e->window == window && (e->flags & kElementKeepsPlace) == 0)
            changed = SetGroupShown(e->group, on) || changed;
    };
    setShown(&record->element, show);
    if (gElement* tabs = DockedTabBar(record); tabs != nullptr && record->element.window == window) {
        changed = SetGroupShown(DockedTabGroup(record), blocks) || changed;
        changed = changed || tabs->shown != (blocks ? 1 : 0);
        tabs->shown = blocks ? 1 : 0;
    }
    for (UIElement* e : record->elements) setShown(e, show);
    if (hosted == nullptr) return changed;
    setShown(&hosted->element, blocks);
    // A page with a tab bar shows the chosen block only.
    TabCtrl* t = TabCtrl::FromWidget(DockedTabBar(record));
    const int32_t chosen = blocks && t != nullptr && t->current != nullptr && record->element.window == window
                               ? t->current->current
                               : -1;
    int32_t at = 0;
    for (UIElement* e : hosted->elements) {
        if (!UIElementIsLive(e) || e->window != window || (e->flags & kElementKeepsPlace) != 0) continue;
        if (chosen < 0 || e->group == nullptr || !gWgtIsLive(e->group)) {
            setShown(e, blocks);
            continue;
        }
        changed = SetGroupShown(e->group, at++ == chosen) || changed;
    }
    return changed;
}

// ---- State buttons ------------------------------------------------------------------------------

gWindow*& StateButtonBar() {
    static gWindow* bar = nullptr;
    return bar;
}

void StateButtonPress(gElement* button, uintptr_t data) {
    (void)button;
    auto* record = reinterpret_cast<UIWindowRecord*>(data);
    if (record == nullptr) return;
    OptionsWindow* owner = AsOptionsWindow(record->owner);
    if (owner == nullptr) return;
    OpenComponentWindow(owner, TheCUI().mainWindow, kWindowToggle, 0, record);
}

}  // namespace orva
