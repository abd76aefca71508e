#include "app/panel_window.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/ui_startup.h"
#include "common/system.h"
#include "platform/window_api.h"
#include "platform/window_icons.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"
#include "toolkit/number_field.h"
#include "toolkit/tab_bar.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

constexpr uint32_t kMaxPageSlots = 4096;
constexpr uint32_t kPanelStyle = kStyleSysMenu | kStyleDialogFrame | kStyleNotSizable;
constexpr uint32_t kBackdropColour = 0x4676A6A;
constexpr float kPageMargin = 4.0f;

int32_t gSharedCascade[2] = {30, 100};

std::unordered_set<const DialogPages*>& LiveDialogs() {
    static std::unordered_set<const DialogPages*> set;
    return set;
}

DialogPages* AsDialog(void* data) {
    auto* d = static_cast<DialogPages*>(data);
    return d != nullptr && LiveDialogs().count(d) != 0 && d->tag == kDialogPagesTag ? d : nullptr;
}

// Menu entries carry a 32-bit word: the number of their item data in this table.
std::vector<PanelItemData*>& ItemTable() {
    static std::vector<PanelItemData*> table;
    return table;
}

uint32_t NameItem(PanelItemData* data) {
    if (data->id != 0) return data->id;
    std::vector<PanelItemData*>& table = ItemTable();
    auto free = std::find(table.begin(), table.end(), nullptr);
    if (free == table.end()) {
        table.push_back(data);
        data->id = static_cast<uint32_t>(table.size());
    } else {
        *free = data;
        data->id = static_cast<uint32_t>(free - table.begin()) + 1;
    }
    return data->id;
}

void ForgetItem(PanelItemData* data) {
    std::vector<PanelItemData*>& table = ItemTable();
    if (data->id != 0 && data->id <= table.size() && table[data->id - 1] == data) table[data->id - 1] = nullptr;
    data->id = 0;
}

PanelItemData* ItemById(uint32_t id) {
    std::vector<PanelItemData*>& table = ItemTable();
    return id != 0 && id <= table.size() ? table[id - 1] : nullptr;
}

bool WindowLive(const gWindow* w) { return w != nullptr && gWinValidate(w) != nullptr; }

bool Shown(const gWindow* w) { return WindowLive(w) && w->hwnd != nullptr && platform::IsWindowVisible(w->hwnd); }

void CheckItem(gMenuItem*& item, bool on) {
    if (item == nullptr) return;
    if (!gMenuIsItem(item)) {
        item = nullptr;
        return;
    }
    gMenuCheckItem(item, on);
}

void ClearChecks(DialogPages* d) {
    CheckItem(d->ownItem, false);
    for (PanelPage* p : d->pages) CheckItem(p->menuItem, false);
}

bool HasGroup(const PanelPage* p) { return p->geometry.group != nullptr && gWgtIsLive(p->geometry.group); }

// The page's widgets went with its window: only its own blocks are freed.
void ForgetPageWidgets(PanelPage* p) {
    p->geometry.group = nullptr;
    p->geometry.window = nullptr;
    UIElementReset(&p->geometry);
}

// Closes a page in a live window: its widgets and group go.
void ClosePage(PanelPage* p) { UIElementReset(&p->geometry); }

void NoPagesState(DialogPages* d) {
    if (!d->pages.empty() && d->noPages == 0) return;
    if (d->statusWidget != nullptr && gWgtIsLive(d->statusWidget)) gWgtSetText(d->statusWidget, "Ready");
    if (d->ownItem != nullptr && gMenuIsItem(d->ownItem)) gMenuEnableItem(d->ownItem, true);
}

// Sizes are the window's outer sizes, as the window is made with them.
void SavePlacement(DialogPages* d) {
    gWindow* w = d->window;
    if (!WindowLive(w)) return;
    d->position[0] = w->x;
    d->position[1] = w->y;
    d->size[0] = w->width;
    d->size[1] = w->height;
}

void PanelDestroyed(gWindow* window, void* data) {
    DialogPages* d = AsDialog(data);
    if (d == nullptr || d->window != window) return;
    SavePlacement(d);
    d->window = nullptr;
    d->tabBar = nullptr;
    d->statusWidget = nullptr;
    d->currentPage = nullptr;
    for (PanelPage* p : d->pages) ForgetPageWidgets(p);
    ClearChecks(d);
}

float TabStripWidth(const DialogPages* d) { return d->tabWidth > 10.0f && d->tabWidth < 2000.0f ? d->tabWidth : 276.0f; }
float TabWidth(const DialogPages* d) { return d->tabBarWidth > 0.0f && d->tabBarWidth < 300.0f ? d->tabBarWidth : 68.0f; }

// Tabs name their page by the page's item number.
const char* TabLabel(uint32_t tabId, int32_t) {
    PanelItemData* data = ItemById(tabId);
    if (data == nullptr || data->dialog == nullptr || data->page < 1) return nullptr;
    DialogPages* d = data->dialog;
    if (static_cast<size_t>(data->page) > d->pages.size()) return nullptr;
    return d->pages[static_cast<size_t>(data->page) - 1]->label.c_str();
}

int32_t PageNumber(const DialogPages* d, const PanelPage* page) {
    for (size_t i = 0; i < d->pages.size(); ++i)
        if (d->pages[i] == page) return static_cast<int32_t>(i) + 1;
    return 0;
}

void ShowGroup(gGroup* group, bool on) {
    if (group == nullptr || !gWgtIsLive(group)) return;
    group->shown = on ? 1 : 0;
    for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow)
        for (gElement* e = row->first; e != nullptr; e = e->rowNext) e->shown = on ? 1 : 0;
}

// The current page alone is shown; its menu entry alone is checked.
void ShowCurrentPage(DialogPages* d) {
    for (PanelPage* p : d->pages) {
        bool current = p == d->currentPage;
        ShowGroup(p->geometry.group, current);
        CheckItem(p->menuItem, current && Shown(d->window));
    }
    gWindow* w = d->window;
    if (!WindowLive(w)) return;
    w->dirty = 7;
    if (Shown(w)) gWinRedraw(w);
}

void TabSwitch(gElement* tabBar, uintptr_t data) {
    DialogPages* d = AsDialog(reinterpret_cast<void*>(data));
    TabCtrl* t = TabCtrl::FromWidget(tabBar);
    if (d == nullptr || t == nullptr || t->current == nullptr || t->current->current < 0) return;
    TabGroup* g = t->current;
    if (static_cast<size_t>(g->current) >= g->tabs.size()) return;
    PanelItemData* item = ItemById(g->tabs[static_cast<size_t>(g->current)]->desc.tabId);
    if (item == nullptr || item->dialog != d || item->page < 1 || static_cast<size_t>(item->page) > d->pages.size()) return;
    PanelPage* page = d->pages[static_cast<size_t>(item->page) - 1];
    if (!HasGroup(page)) return;
    d->currentPage = page;
    if (page->refresh != nullptr) page->refresh(d->window, page, 0);
    ShowCurrentPage(d);
}

// Where the pages begin: below the tab bar.
float PageTop(const DialogPages* d) {
    if (d->tabBar != nullptr && gWgtIsLive(d->tabBar)) return d->tabBar->y + d->tabBar->cellHeight + 2.0f;
    return 0.0f;
}

void RebuildTabs(DialogPages* d) {
    gElement* tabs = d->tabBar;
    if ((d->flags & kPanelTabBar) == 0 || tabs == nullptr || !gWgtIsLive(tabs)) return;
    TabCtrl::RemoveAll(tabs);
    int32_t index = 0, currentIndex = -1;
    for (PanelPage* p : d->pages) {
        if (!HasGroup(p)) continue;
        TabDesc desc;
        desc.tabId = NameItem(&p->itemData);
        desc.groupId = 1;
        desc.label = &TabLabel;
        TabCtrl::AddTab(tabs, &desc, false);
        if (p == d->currentPage) currentIndex = index;
        ++index;
    }
    if (currentIndex >= 0) TabCtrl::SelectTab(tabs, currentIndex);
}

// Builds the pages that have no group yet, refreshes the others, makes the wanted page
// (1-based; 0 the current one) current and shows it.
void RebuildPages(DialogPages* d, int32_t wanted) {
    gWindow* w = d->window;
    if (!WindowLive(w)) return;
    if (wanted == 0) wanted = PageNumber(d, d->currentPage);
    PanelPage* current = nullptr;
    PanelPage* last = nullptr;
    int32_t number = 0;
    for (PanelPage* p : d->pages) {
        ++number;
        // An entry of menus that are gone is made again in the menus there are now.
        if (p->menuItem != nullptr && !gMenuIsItem(p->menuItem)) p->menuItem = nullptr;
        if (!HasGroup(p)) {
            p->geometry.window = w;
            if (p->build == nullptr || p->build(w, p) != 1) continue;
            if (p->kind != kPageNoMenu && p->menuItem == nullptr) {
                int32_t kind = p->kind >= 0 && p->kind <= 5 ? p->kind : 4;
                p->menuItem = AddPageMenuItem(d, kind, p->label.c_str(), &p->itemData);
            }
        }
        if (!HasGroup(p)) continue;
        if (p->refresh != nullptr) p->refresh(w, p, 0);
        if (number == wanted) current = p;
        last = p;
    }
    d->currentPage = current != nullptr ? current : last;
    // A panel over a window of no group is only put away when closed.
    if (d->parent == nullptr || FindWindowSettings(d->parent) == nullptr) w->closeHandler = &ForeignPanelCloseRequest;
    RebuildTabs(d);
    ShowCurrentPage(d);
}

// The next place from the cascade of the parent's group (or the shared one).
void CascadePlace(DialogPages* d, int32_t* x, int32_t* y) {
    gWindow* parent = d->parent;
    int32_t* cascade = FindWindowSettings(parent);
    if (cascade == nullptr) cascade = gSharedCascade;
    *x = cascade[0] + parent->x + (parent == TheCUI().mainWindow ? 70 : -200);
    *y = cascade[1] + 260 + parent->y;
    cascade[0] += 26;
    cascade[1] += 30;
}

// Width and height at most the screen's, the window inside it.
void ClampToScreen(int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
    int32_t sw = gScreenWidth(), sh = gScreenHeight();
    if (sw > 0) {
        *width = std::min(*width, sw);
        *x = std::min(*x, sw - *width);
    }
    if (sh > 0) {
        *height = std::min(*height, sh);
        *y = std::min(*y, sh - *height);
    }
    *x = std::max(0, *x);
    *y = std::max(0, *y);
}

// The size the pages need (every page, so that switching pages keeps the window still);
// the window takes it at its place, inside the screen.
void FitToPages(DialogPages* d, int32_t x, int32_t y) {
    gWindow* w = d->window;
    gSlotTable* table = gWinSlotTable(w);
    if (table == nullptr) return;
    gWinLayoutGroups(w);
    gGrpArrangeAll(table);
    int32_t width = 0, height = 0;
    gSlotTableExtent(table, &width, &height, false);
    width = std::max(width + 4, static_cast<int32_t>(TabStripWidth(d)) + 8) + (w->width - w->clientWidth);
    height = std::max(height + 4, 40) + (w->height - w->clientHeight);
    ClampToScreen(&x, &y, &width, &height);
    platform::Point position{x, y};
    gWinSetSize(w, width - (w->width - w->clientWidth), height - (w->height - w->clientHeight), &position);
    d->size[0] = w->width;
    d->size[1] = w->height;
}

const char* TitleOf(const DialogPages* d) { return d->title != nullptr ? d->title : "Unnamed"; }

void BringForward(gWindow* w) {
    if (w->hwnd != nullptr && platform::IsWindowEnabled(w->hwnd)) {
        platform::RestoreAndActivate(w->hwnd);
    } else {
        w->dirty = 7;
    }
}

int BuildPanel(DialogPages* d, int32_t mode, int32_t page, gWindow* parent) {
    d->mode = mode == kPanelRefresh ? 0 : mode;
    if (WindowLive(parent)) d->parent = parent;
    if (!WindowLive(d->parent)) {
        d->parent = nullptr;
        return 0;
    }
    bool savedSize = d->size[0] > 0 && d->size[1] > 0;
    int32_t cascadeX, cascadeY;
    CascadePlace(d, &cascadeX, &cascadeY);
    int32_t x = cascadeX, y = cascadeY;
    int32_t width = savedSize ? d->size[0] : static_cast<int32_t>(TabStripWidth(d)) + 8;
    int32_t height = savedSize ? d->size[1] : 200;
    ClampToScreen(&x, &y, &width, &height);
    gWindow* w = gWinCreateRec(x, y, width, height, d->parent, d, kPanelStyle);
    if (w == nullptr) return 0;
    d->window = w;
    SetWindowIcon(w, platform::kProgramIcon);
    gWinSetBackdrop(w, nullptr, kBackdropColour);
    w->closeHandler = &PanelCloseRequest;
    gWinSetDestroyHandler(w, &PanelDestroyed);
    gWinSetAfterPaint(w, &PaintWindowEdge, nullptr);
    gFont* font = GetUIFont(w);
    gWgtSelect(w, font);
    if ((d->flags & kPanelTabBar) != 0) {
        gWgtSelectWindow(w);
        if (gGroup* group = gGrpFind(w, kTopLeft, false)) {
            gGrpSetActive(group);
            group->x = 2.0f;
            group->y = 2.0f;
            group->marginLeft = group->marginRight = 2.0f;
            group->marginTop = group->marginBottom = 2.0f;
            gElement* tabs = TabCtrl::Create(w, nullptr, TabStripWidth(d), TabWidth(d), kTabStyle, false, font, nullptr);
            if (tabs != nullptr) {
                tabs->color1 = tabs->color1Saved = kTabColour;
                tabs->color2 = tabs->color2Saved = kTabColour2;
                gWgtSetHandler1(tabs, &TabSwitch, reinterpret_cast<uintptr_t>(d));
                d->tabBar = tabs;
            }
            gGrpArrange(group);
        }
    }
    RebuildPages(d, page);
    if (!savedSize) FitToPages(d, cascadeX, cascadeY);
    KeepClearOfPageColumn(w);
    if (d->ownItem != nullptr && !gMenuIsItem(d->ownItem)) d->ownItem = nullptr;
    if (d->ownMenuKind != kPageNoMenu && d->ownItem == nullptr) {
        d->ownItemData.page = 0;
        d->ownItem = AddPageMenuItem(d, d->ownMenuKind, TitleOf(d), &d->ownItemData);
    }
    bool show = mode != kPanelRefresh;
    if (!gWinOpen(w, TitleOf(d), show ? kStyleShown : 0)) {
        gUiCloseQuiet(w);
        return 0;
    }
    if (!show) {
        ClearChecks(d);
        return 0;
    }
    CheckItem(d->ownItem, true);
    BringForward(w);
    ShowCurrentPage(d);
    return kPanelShown;
}

int ClosePanel(DialogPages* d) {
    gWindow* w = d->window;
    bool wasShown = Shown(w);
    ClearChecks(d);
    if ((d->flags & kPanelDestroyOnClose) != 0) {
        SavePlacement(d);
        w->closeHandler = nullptr;
        gUiCloseQuiet(w);
        return 0;
    }
    if (w->hwnd != nullptr) platform::EnableWindow(w->hwnd, false);
    gWinShow(w, false);
    return wasShown ? 1 : 0;
}

}  // namespace

// ---- The record ----------------------------------------------------------------------------------------

PanelPage::~PanelPage() { ForgetItem(&itemData); }

DialogPages::~DialogPages() { DialogPagesDestroy(this); }

void DialogPagesInit(DialogPages* d) {
    if (d == nullptr) return;
    d->tag = kDialogPagesTag;
    d->ownItemData.dialog = d;
    d->ownItemData.page = 0;
    LiveDialogs().insert(d);
}

void DialogPagesDestroy(DialogPages* d) {
    if (d == nullptr || LiveDialogs().count(d) == 0) return;
    DialogSetTarget(d, nullptr, d->changeCallback);
    if (WindowLive(d->window)) {
        gWindow* w = d->window;
        w->closeHandler = nullptr;
        gUiCloseQuiet(w);
        if (WindowLive(w) && w->userData == d) w->userData = nullptr;
    }
    d->window = nullptr;
    for (PanelPage* p : d->pages) {
        if (p->geometry.window != nullptr && !WindowLive(p->geometry.window)) ForgetPageWidgets(p);
        delete p;
    }
    d->pages.clear();
    d->currentPage = nullptr;
    ForgetItem(&d->ownItemData);
    LiveDialogs().erase(d);
    d->tag = 0;
}

bool DialogCreatePages(DialogPages* d, const PageRow* rows, int count) {
    if (d == nullptr || rows == nullptr || count < 0) return false;
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        const PageRow& row = rows[i];
        if (row.build == nullptr || row.refresh == nullptr) continue;
        auto* p = new (std::nothrow) PanelPage;
        if (p == nullptr) {
            ok = false;
            break;
        }
        p->build = row.build;
        p->refresh = row.refresh;
        p->kind = row.kind >= -1 && row.kind <= 5 ? row.kind : kPageNoMenu;
        if (row.label != nullptr) p->label = row.label;
        p->data = row.data;
        p->owner = d;
        p->itemData.dialog = d;
        try {
            d->pages.push_back(p);
        } catch (...) {
            delete p;
            ok = false;
            break;
        }
        p->itemData.page = static_cast<int32_t>(d->pages.size());
    }
    if (WindowLive(d->window)) RebuildPages(d, 0);
    return ok;
}

void DialogSetCallback(DialogPages* d, PanelTargetFn callback) {
    if (d != nullptr) d->changeCallback = callback;
}

void DialogSetTarget(DialogPages* d, void* target, PanelTargetFn callback) {
    if (d == nullptr) return;
    for (PanelPage* p : d->pages) {
        if (p->target == target) continue;
        if (d->changeCallback != nullptr) d->changeCallback(target, 1);
        if (callback != nullptr && callback != d->changeCallback) callback(target, 1);
        p->target = target;
    }
    d->changeCallback = callback;
}

// ---- Opening and closing ---------------------------------------------------------------------------------

bool PanelShown(const DialogPages* d) { return d != nullptr && Shown(d->window); }

int OpenPanelWindow(DialogPages* d, int32_t mode, int32_t page, gWindow* parent) {
    if (d == nullptr || d->tag != kDialogPagesTag) return 0;
    if (d->window != nullptr && !WindowLive(d->window)) d->window = nullptr;
    gWindow* w = d->window;
    if (w == nullptr) return BuildPanel(d, mode, page, parent);
    NoPagesState(d);
    bool shown = Shown(w);
    if (!shown) {
        if (mode == kPanelRefresh) {
            ClearChecks(d);
            return 0;
        }
        if (mode == kPanelToggle || mode == kPanelShow) {
            if (w->hwnd != nullptr) platform::EnableWindow(w->hwnd, true);
            RebuildPages(d, page);
            gWinSetTitle(w, TitleOf(d));
            CheckItem(d->ownItem, true);
            gWinKeepOnScreen(w, 1);
            KeepClearOfPageColumn(w);
            gWinShow(w, true);
            BringForward(w);
            ShowCurrentPage(d);
            return kPanelShown;
        }
    } else if (mode == kPanelShow || mode == kPanelRefresh) {
        RebuildPages(d, page);
        BringForward(w);
        return kPanelAlreadyShown;
    }
    return ClosePanel(d) != 0 ? 1 : 0;
}

bool PanelCloseRequest(gWindow* window, void* data) {
    DialogPages* d = AsDialog(data);
    if (d == nullptr || d->window != window) return true;
    ClearChecks(d);
    NoPagesState(d);
    if ((d->flags & kPanelDestroyOnClose) == 0) {
        if (window->hwnd != nullptr) platform::EnableWindow(window->hwnd, false);
        gWinShow(window, false);
        return false;
    }
    SavePlacement(d);
    return true;
}

bool ForeignPanelCloseRequest(gWindow* window, void* data) {
    DialogPages* d = AsDialog(data);
    if (d != nullptr && d->window == window) ClearChecks(d);
    if (window->hwnd != nullptr) platform::EnableWindow(window->hwnd, false);
    gWinShow(window, false);
    return false;
}

// ---- Menu entries ---------------------------------------------------------------------------------------------

PanelMenus& ThePanelMenus() {
    static PanelMenus menus;
    return menus;
}

gMenuItem* AddPageMenuItem(DialogPages* d, int32_t kind, const char* label, PanelItemData* data) {
    if (d == nullptr || data == nullptr) return nullptr;
    data->dialog = d;
    uint32_t id = NameItem(data);
    if (kind < 0 || kind > 5) kind = 4;
    gMenuRow row{label != nullptr ? label : "Unnamed", 0, &PageMenuCommand, 0, nullptr};
    CUI& cui = TheCUI();
    gWindow* main = cui.mainWindow;
    gWindow* tools = cui.groups[1].windows[0];
    bool groupParent = d->parent != nullptr && (d->parent == main || d->parent == tools);
    if (groupParent && (kind == kPagePreferences || kind == kPageLayout)) {
        PanelMenus& menus = ThePanelMenus();
        gMenuItem* sub = kind == kPagePreferences ? menus.preferences : d->parent == main ? menus.layout : menus.chartTools;
        if (sub == nullptr || !gMenuIsItem(sub) || sub->check != 2) return nullptr;
        for (gMenuItem* c = sub->firstChild; c != nullptr; c = c->next)
            if (c->userData == id && c->handler == &PageMenuCommand) return nullptr;
        if (!gMenuBuild(sub, &row, 1, false, id, nullptr)) return nullptr;
        return row.item;
    }
    MenuBar* bar = cui.groups[0].menuBar;
    int32_t title = kind == 0 || kind == 1 ? kEditMenuTitle : kViewMenuTitle;
    if (bar == nullptr || title >= static_cast<int32_t>(bar->titles.size())) return nullptr;
    if (MenuBar::ItemAt(bar, title, id)) return nullptr;
    if (!MenuBar::AddItems(bar, title, &row, 1, false, true, nullptr, id)) return nullptr;
    return row.item;
}

uint8_t PageMenuCommand(void*, uint32_t id) {
    PanelItemData* data = ItemById(id);
    if (data == nullptr) return 0;
    DialogPages* d = AsDialog(data->dialog);
    if (d == nullptr || d->pages.empty()) return 0;
    // Toggling closes the panel only from the entry of what it shows: another page's
    // entry shows that page.
    int32_t mode = d->mode;
    bool otherPage = data->page > 0 && static_cast<size_t>(data->page) <= d->pages.size() &&
                     d->pages[static_cast<size_t>(data->page) - 1] != d->currentPage;
    if (mode == kPanelToggle && otherPage && PanelShown(d)) mode = kPanelShow;
    OpenPanelWindow(d, mode, data->page, d->parent);
    return 1;
}

// ---- Page routines ---------------------------------------------------------------------------------------------

bool PageAllocSlots(PanelPage* page, uint32_t count) {
    if (page == nullptr || count < 1 || count > kMaxPageSlots) return false;
    if (page->geometry.slots != nullptr) return page->geometry.slotCount == count;
    return UIElementAllocSlots(&page->geometry, count);
}

bool PageEnsureGlyphs(PanelPage* page) {
    if (page == nullptr) return false;
    if (__gWgt_check_array(page->geometry.slots, page->geometry.slotCount)) return true;
    ClosePage(page);
    return false;
}

gGroup* PageOpenGroup(gWindow* window, PanelPage* page, uint32_t slot) {
    if (page == nullptr || !WindowLive(window)) return nullptr;
    UIElement& g = page->geometry;
    slot &= kWsSlotBits;
    if (slot == 0) slot = kTopLeft;
    if (HasGroup(page)) {
        gGroup* group = g.group;
        if (group->window != window || !gSlotCompatible(slot, group->style)) return nullptr;
        if (group->dead) return nullptr;
        gWgtSelectWindow(window);
        gGrpSetActive(group);
        return group;
    }
    gWgtSelectWindow(window);
    gGroup* group = gGrpFind(window, slot, false);
    if (group == nullptr) return nullptr;
    gGrpSetActive(group);
    group->align = 17;
    group->gapX = 2.0f;
    group->gapY = 1.0f;
    group->marginLeft = group->marginRight = kPageMargin;
    group->marginTop = group->marginBottom = kPageMargin;
    group->x = 2.0f;
    DialogPages* d = page->owner;
    group->y = (d != nullptr ? PageTop(d) : 0.0f) + 2.0f;
    g.group = group;
    g.window = window;
    return group;
}

void PageUpdateGeometry(PanelPage* page) {
    if (page == nullptr || !HasGroup(page)) return;
    gGrpArrange(page->geometry.group);
    UIElementSyncView(&page->geometry);
}

void PaintWindowEdge(gWindow* window, void*) {
    if (window == nullptr || window->clientWidth <= 0 || window->clientHeight <= 0) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, window->clientWidth, window->clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    float w = static_cast<float>(window->clientWidth), h = static_cast<float>(window->clientHeight);
    glColor3f(0.35f, 0.36f, 0.36f);
    glBegin(GL_LINE_LOOP);
    glVertex2f(0.5f, 0.5f);
    glVertex2f(w - 0.5f, 0.5f);
    glVertex2f(w - 0.5f, h - 0.5f);
    glVertex2f(0.5f, h - 0.5f);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void ResetPanelCascade() {
    gSharedCascade[0] = 30;
    gSharedCascade[1] = 100;
}

}  // namespace orva
