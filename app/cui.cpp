#include "app/cui.h"

#include <algorithm>
#include <cstring>

#include "app/property_pages.h"
#include "app/shell_hooks.h"
#include "app/ui_elements.h"
#include "app/ui_startup.h"
#include "common/aligned_memory.h"
#include "framework/app_object.h"
#include "framework/component_id.h"
#include "io/format_registry.h"
#include "platform/window_api.h"
#include "toolkit/menu.h"
#include "toolkit/window.h"

namespace orva {

namespace {

UIPage* LivePage(PageWindow* page) {
    auto* p = static_cast<UIPage*>(page);
    return UIPageIsLive(p) ? p : nullptr;
}

template <class T>
std::vector<T*> ItemsOf(const ListHead& list) {
    std::vector<T*> out;
    for (ListNode* n = list.head; n != nullptr; n = n->next)
        if (n->item != nullptr) out.push_back(static_cast<T*>(n->item));
    return out;
}

}  // namespace

// ---- The CUI ---------------------------------------------------------------------------------

CUI::CUI() {
    for (WindowGroup& g : groups) g.tag = kWindowGroupTag;
}

CUI::~CUI() {
    while (portLists.first != nullptr) PortListRemove(portLists.first);
    for (UIElement* e : elements) delete e;
    elements.clear();
    ListClearHead(&projects);
    ListClearHead(&components);
    ListClearHead(&containers);
    ListDestroyItemsHead(&windowRecords, [](void* item) { delete static_cast<UIPage*>(item); });
}

CUI& TheCUI() {
    static CUI cui;
    return cui;
}

bool CUI::ListsComponent(const ComponentBase* component) const {
    return component != nullptr && ListFindItem(components.head, const_cast<ComponentBase*>(component)) != nullptr;
}

void CUI::RemoveComponent(ComponentBase* component) { CUIRemoveComponent(this, component); }

void CUI::ForgetComponent(ComponentBase* component) { CUIForgetComponent(this, component); }

std::vector<ComponentBase*> CUI::Components() const { return ItemsOf<ComponentBase>(components); }

void CUI::ResetHistogram() { histogram.Reset(); }

bool CUI::IsUp() const { return gUiReady() && mainWindow != nullptr; }

bool CUI::RunsWithoutWindows() const { return !IsUp() && TheApp().Settings().windowless != 0; }

PageWindow* CUI::GetPageWindow() {
    if (!IsUp()) return nullptr;
    for (ListNode* n = windowRecords.head; n != nullptr; n = n->next)
        if (n->item != nullptr) return static_cast<UIPage*>(n->item);
    return nullptr;
}

void* CUI::GroupWindow(int group) {
    if (group < 0 || group >= kGroupCount) return nullptr;
    return groups[group].windows[0];
}

void CUI::LayoutGroup(int group) {
    if (group >= 0 && group < kGroupCount && groups[group].windows[0] != nullptr) GroupSized(groups[group].windows[0]);
}

void CUI::SetGroupPageSelector(int group, int32_t value) {
    if (group >= 0 && group < kGroupCount) groups[group].pageSelector = value;
}

ComponentBase* CUI::FindComponent(uint32_t number, void* window, uint32_t code3, uint32_t code4) {
    if (code3 == FourCC("DRAW") && code4 == FourCC("CTNR") && number == 0) {
        for (WindowGroup& g : groups)
            if (window != nullptr && g.windows[0] == window && g.workspace != nullptr) return g.workspace;
    }
    // A display cell of a group window is one of that window's: the cell of another group
    // (the main window's, when the second group asks) is not taken for it.
    auto cellOf = TheShellHooks().cellOfWindow;
    if (code3 == FourCC("CELX") && code4 == FourCC("DRAW") && window != nullptr && cellOf != nullptr) {
        uint32_t seen = 0;
        for (ListNode* node = components.head; node != nullptr; node = node->next) {
            auto* c = static_cast<ComponentBase*>(node->item);
            if (c == nullptr || !IdHasStage(c->GetClassId(), code3, code4) || !cellOf(c, window)) continue;
            if (seen++ == number) return c;
        }
        return nullptr;
    }
    return CUIFindComponent(this, number, window, code3, code4);
}

ComponentBase* CUI::CreateWorkspace(int group) {
    if (group < 0 || group >= kGroupCount || TheShellHooks().createWorkspaceContainer == nullptr) return nullptr;
    ComponentBase* workspace = TheShellHooks().createWorkspaceContainer(this, &groups[group]);
    if (workspace != nullptr) groups[group].workspace = workspace;
    return workspace;
}

DisplayCellBase* CUI::GetCellByNumber(ComponentBase* workspace, uint32_t number) {
    ShellHooks& hooks = TheShellHooks();
    return hooks.getCellByNumber != nullptr ? hooks.getCellByNumber(workspace, number) : nullptr;
}

bool CUI::PlaceCellInSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) {
    ShellHooks& hooks = TheShellHooks();
    return hooks.placeCellInSlot == nullptr || hooks.placeCellInSlot(workspace, cell, number);
}

DisplayCellBase* CUI::CreateDisplayCell(ComponentBase* workspace, void* hostWindow, int flag) {
    ShellHooks& hooks = TheShellHooks();
    return hooks.createDisplayCell != nullptr ? hooks.createDisplayCell(this, workspace, hostWindow, flag) : nullptr;
}

bool CUI::CellInSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) {
    ShellHooks& hooks = TheShellHooks();
    return hooks.cellInSlot == nullptr || hooks.cellInSlot(workspace, cell, number);
}

PageWindow* CUI::FindPageWindow(void* window, PanelBuilder builder, uint32_t style) {
    OptionsWindow* c = FindContainerWindow(this, static_cast<gWindow*>(window), builder, style, nullptr);
    // A container that a registration made carries the style without the group-pages bit
    // (AttachPageContainer): the next file's stage of that kind shows its pages there, in
    // the one tab, rather than in a second tab of the same name.
    if (c == nullptr && window != nullptr && (style & kGroupPagesBit) != 0) {
        for (size_t at = 0; (c = FindContainerWindow(this, static_cast<gWindow*>(window), builder,
                                                     style & ~kGroupPagesBit, &at)) != nullptr;) {
            if (UIPage* record = LivePage(c->pageWindow); record != nullptr && record->id != 0) break;
        }
    }
    return c != nullptr ? c->ownPage : nullptr;
}

void CUI::RefreshPageWindow(PageWindow* window) {
    UIPage* page = LivePage(window);
    if (page == nullptr) return;
    // The container that hosts the page rebuilds it in the window it is shown in.
    for (ListNode* n = containers.head; n != nullptr; n = n->next) {
        OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(n->item));
        if (c == nullptr || c->ownPage != page) continue;
        UIPage* record = LivePage(c->pageWindow);
        if (record != nullptr && record->element.key != nullptr)
            record->element.key(record, reinterpret_cast<void*>(record->id), 0);
        return;
    }
    if (page->current != nullptr) RefreshComponentPanels(page->current, true);
}

void CUI::AttachPageContainer(ComponentBase* component, void* window, uint32_t style) {
    OptionsWindow* c = CreateOptionsWindow(this, 3);
    if (c == nullptr) return;
    if (!UIPageAttachComponent(c->ownPage, component)) {
        c->Release();
        return;
    }
    c->ownPage->flags |= style & kPageStyleMask;
    // The page is the component's: it takes the name the component's builder gives it.
    c->title.clear();
    c->ownPage->name.clear();
    // The container is a page of the window it was registered for: in a group window it
    // joins the tab bar beside the pages built at start, or no user could ever reach it.
    if (window != nullptr) AttachItemWindow(this, c, reinterpret_cast<uintptr_t>(window), style | kGroupPagesBit);
}

void CUI::QueuePageRegistration(ComponentBase* component, void* window, uint32_t style) {
    if (PageWindow* pages = FindPageWindow(window, component->panelBuilder, style)) {
        component->pageWindow = pages;
        if (pages->current == nullptr) {
            pages->current = component;
            pages->flags |= kPageNeedsBuild;
        }
        RefreshPageWindow(pages);
        return;
    }
    AttachPageContainer(component, window, style & ~kGroupPagesBit);
}

// ---- Start and end ---------------------------------------------------------------------------

void CUIChildListVisit(CUI* cui) {
    if (cui == nullptr) return;
    for (PortList* l = cui->portLists.first; l != nullptr; l = l->next)
        for (OutPort* p = l->firstPort; p != nullptr; p = p->next) PortRefresh(p);
}

void CUIShutdown(CUI* cui) {
    if (cui == nullptr) return;
    PortListDetachSources(&cui->portLists);
    // The component list: each is forgotten, loses its owner and its list reference.
    while (cui->components.head != nullptr) {
        ListNode* node = cui->components.head;
        auto* c = static_cast<ComponentBase*>(node->item);
        ListUnlink(&cui->components, node);
        if (c == nullptr || !ComponentIsLive(c)) continue;
        ComponentLeaveList(c);
    }
    while (cui->containers.head != nullptr) {
        ListNode* node = cui->containers.head;
        auto* c = static_cast<ComponentBase*>(node->item);
        ListUnlink(&cui->containers, node);
        if (c == nullptr || !ComponentIsLive(c)) continue;
        if (UIPage* record = LivePage(c->pageWindow); record != nullptr && record->current == c) record->current = nullptr;
        c->pageWindow = nullptr;
        ComponentReleaseAndUnlink(c);
    }
    CUICloseAllProjects(cui, false);
    while (cui->portLists.first != nullptr) PortListRemove(cui->portLists.first);
    while (cui->windowRecords.head != nullptr) {
        ListNode* node = cui->windowRecords.head;
        auto* record = static_cast<UIPage*>(node->item);
        if (record == nullptr) {
            ListUnlink(&cui->windowRecords, node);
            continue;
        }
        CUIDetachWindowRecord(cui, record);
    }
    if (cui->IsUp()) gWinRefreshAll();
    cui->pendingFiles.clear();
    cui->currentOutput = nullptr;
    cui->menuTarget = nullptr;
    for (WindowGroup& g : cui->groups) g.workspace = nullptr;
}

void CUIClearWindowGroups(CUI* cui) {
    if (cui == nullptr) return;
    for (WindowGroup& g : cui->groups) {
        CUI* owner = g.owner;
        uint32_t style = g.style;
        g = WindowGroup{};
        g.owner = owner;
        g.style = style;
    }
    cui->mainWindow = nullptr;
}

// ---- Components ------------------------------------------------------------------------------

bool CUIAddComponent(CUI* cui, ComponentBase* component) {
    if (cui == nullptr || component == nullptr) return false;
    if (ListAppend(&cui->components, component) == nullptr) return false;
    component->ui = cui;
    return true;
}

bool CUI::AddComponent(ComponentBase* component) { return CUIAddComponent(this, component); }

bool CUIAddContainer(CUI* cui, ComponentBase* component) {
    if (cui == nullptr || component == nullptr) return false;
    if (ListAppend(&cui->containers, component) == nullptr) return false;
    component->ui = cui;
    return true;
}

void CUIRemoveComponent(CUI* cui, ComponentBase* component) {
    if (cui == nullptr || component == nullptr || component->ui != cui) return;
    if (!ListRemoveItem(&cui->components, component)) return;
    CUIForgetComponent(cui, component);
    component->ui = nullptr;
}

void CUIRemoveContainer(CUI* cui, ComponentBase* component) {
    if (cui == nullptr || component == nullptr || component->ui != cui) return;
    if (!ListRemoveItem(&cui->containers, component)) return;
    if (UIPage* record = LivePage(component->pageWindow)) CUIDetachWindowRecord(cui, record);
    component->ui = nullptr;
}

void CUIForgetComponent(CUI* cui, ComponentBase* component) {
    if (cui == nullptr || component == nullptr) return;
    ShellHooks& hooks = TheShellHooks();
    if (cui->currentOutput == component) {
        cui->currentOutput = nullptr;
    } else if (cui->currentOutput != nullptr && hooks.outputSource != nullptr &&
               hooks.outputSource(cui->currentOutput) == component && hooks.outputSourceGone != nullptr) {
        hooks.outputSourceGone(cui->currentOutput, component);
    }
    if (cui->menuTarget == component) cui->menuTarget = nullptr;
    if (cui->menuView == static_cast<void*>(component)) cui->menuView = nullptr;
    if (cui->currentCell == component) cui->currentCell = nullptr;
    for (WindowGroup& g : cui->groups)
        if (g.workspace == component) g.workspace = nullptr;
}

ComponentBase* CUIFindComponent(CUI* cui, uint32_t n, const void* owner, uint32_t tag3, uint32_t tag4) {
    if (cui == nullptr) return nullptr;
    uint32_t seen = 0;
    for (ListNode* node = cui->components.head; node != nullptr; node = node->next) {
        auto* c = static_cast<ComponentBase*>(node->item);
        if (c == nullptr || !IdHasStage(c->GetClassId(), tag3, tag4)) continue;
        if (c->owner != nullptr && static_cast<const void*>(c->owner) != owner) continue;
        if (seen++ == n) return c;
    }
    return nullptr;
}

ComponentBase* CUIFindNextComponent(CUI* cui, size_t* inoutIndex, uint32_t tag3, uint32_t tag4, uint32_t flags) {
    if (cui == nullptr) return nullptr;
    size_t start = inoutIndex != nullptr ? *inoutIndex : 0, index = 0;
    for (ListNode* node = cui->components.head; node != nullptr; node = node->next, ++index) {
        if (index < start) continue;
        auto* c = static_cast<ComponentBase*>(node->item);
        if (c == nullptr || !IdHasStage(c->GetClassId(), tag3, tag4)) continue;
        UIPage* page = LivePage(c->pageWindow);
        if (page != nullptr && (page->flags & kPageStyleMask) != (flags & kPageStyleMask)) continue;
        if (inoutIndex != nullptr) *inoutIndex = index + 1;
        return c;
    }
    if (inoutIndex != nullptr) *inoutIndex = index;
    return nullptr;
}

// ---- The current output ----------------------------------------------------------------------

bool CUISetCurrentOutput(CUI* cui, ComponentBase* output, bool force) {
    if (cui == nullptr || output == nullptr || output->ui != cui) return false;
    if (!force && cui->currentOutput != nullptr && cui->currentOutput != output) return false;
    cui->currentOutput = output;
    return true;
}

ComponentBase* CUIGetCurrentOutput(CUI* cui) {
    if (cui == nullptr) return nullptr;
    if (cui->currentOutput != nullptr) return cui->currentOutput;
    ShellHooks& hooks = TheShellHooks();
    ComponentBase* output = hooks.createItemOutput != nullptr ? hooks.createItemOutput(cui) : nullptr;
    if (output == nullptr) return nullptr;
    PanelBuilder builder = hooks.getOutputPanelBuilder != nullptr ? hooks.getOutputPanelBuilder() : nullptr;
    if (cui->mainWindow != nullptr && builder != nullptr) {
        uint32_t style = cui->groups[0].style & ~kGroupPagesBit;
        OptionsWindow* window = FindContainerWindow(cui, cui->mainWindow, builder, style, nullptr);
        if (window == nullptr) {
            window = CreateOptionsWindow(cui, 3);
            if (window != nullptr) {
                CreateUIWindowWithFlags(window, kPageOptions, 4, 3);
                window->ownPage->flags |= cui->groups[0].style & kPageStyleMask;
                window->ownPage->element.key = builder;
                AttachItemWindow(cui, window, reinterpret_cast<uintptr_t>(cui->mainWindow),
                                 cui->groups[0].style + 0xC000);
            }
        }
        if (window != nullptr && window->ownPage != nullptr) {
            UIPage* page = window->ownPage;
            if (page->current == nullptr) {
                output->panelBuilder = builder;
                UIPageAttachComponent(page, output);
                page->flags |= kPageNeedsBuild;
            }
            if (page->current != nullptr && page->element.key != nullptr) {
                page->element.key(page, page->element.window, page->element.pageId);
                page->flags &= ~kPageNeedsBuild;
            }
        }
    }
    cui->currentOutput = output;
    return output;
}

ComponentBase* ItemGetOutput(ProjectItem* item) { return CUIGetCurrentOutput(CUIOfItem(item)); }

ComponentBase* SourceGetOutput(ProjectItem* item) {
    if (item == nullptr) return nullptr;
    return item->output != nullptr ? item->output : ItemGetOutput(item);
}

void CUIRedrawCurrentOutput(CUI* cui) {
    if (cui == nullptr || cui->currentOutput == nullptr) return;
    RedrawVisibleComponentWindows(cui->currentOutput);
    if (cui->IsUp()) gWinRefreshAll();
}

// ---- Window records --------------------------------------------------------------------------

UIPage* CUICreateWindowRecord(CUI* cui) {
    if (cui == nullptr) return nullptr;
    auto* record = new UIPage;
    if (record == nullptr) return nullptr;
    if (ListAppend(&cui->windowRecords, record) == nullptr) {
        delete record;
        return nullptr;
    }
    return record;
}

UIPage* CUIFindFreeWindowRecord(CUI* cui) {
    if (cui == nullptr) return nullptr;
    for (UIPage* r : ItemsOf<UIPage>(cui->windowRecords))
        if (r->element.key == nullptr && r->id == 0 && (r->flags & 0x1079EE02u) == 0) return r;
    return nullptr;
}

UIPage* CUIFindWindowRecord(CUI* cui, PanelBuilder builder, uintptr_t id, uint32_t flags) {
    if (cui == nullptr) return nullptr;
    for (UIPage* r : ItemsOf<UIPage>(cui->windowRecords)) {
        if (r->element.key == builder && r->id == id && (r->flags & kPageInUse) != 0 &&
            (r->flags & kPageMatchMask) == (flags & kPageMatchMask))
            return r;
    }
    return nullptr;
}

namespace {

void AttachTo(UIPage* record, ComponentBase* component, uintptr_t id) {
    if (record->current == nullptr) UIPageAttachComponent(record, component);
    if (record->id == 0) record->id = id;
    if (record->current == component && (record->flags & kPageNeedsBuild) != 0 && record->element.key != nullptr) {
        record->element.key(record, reinterpret_cast<void*>(record->id), 0);
        if (UIPageIsLive(record)) record->flags &= ~kPageNeedsBuild;
    }
}

}  // namespace

UIPage* AttachItemWindow(CUI* cui, ComponentBase* component, uintptr_t id, uint32_t flags) {
    if (cui == nullptr || component == nullptr || component->panelBuilder == nullptr || id == 0) return nullptr;
    UIPage* record = CUIFindFreeWindowRecord(cui);
    if (record == nullptr) record = CUICreateWindowRecord(cui);
    if (record == nullptr) return nullptr;
    record->flags |= (flags & kPageStyleMask) | kPageInUse | kPageNeedsBuild;
    UIPageAttachComponent(record, component);
    AttachTo(record, component, id);
    // A page of a group window joins that window's tab bar.
    for (WindowGroup& g : cui->groups) {
        uint32_t wanted = g.style | kGroupPagesBit;
        if (g.windows[0] != nullptr && g.tabBar != nullptr && g.style != 0 && (record->flags & wanted) == wanted)
            RebuildGroupTabs(&g);
    }
    return record;
}

UIPage* AttachItemWindowById(CUI* cui, ComponentBase* component, uintptr_t id, uint32_t flags) {
    if (cui == nullptr || component == nullptr) return nullptr;
    if (flags != 0) {
        if (UIPage* record = CUIFindWindowRecord(cui, component->panelBuilder, id, flags)) {
            AttachTo(record, component, id);
            return record;
        }
    }
    return AttachItemWindow(cui, component, id, flags);
}

void CUIDetachWindowRecord(CUI* cui, UIPage* record) {
    if (cui == nullptr || record == nullptr) return;
    ListRemoveItem(&cui->windowRecords, record);
    if (!UIPageIsLive(record)) return;
    for (ComponentBase* c : ItemsOf<ComponentBase>(cui->components))
        if (ComponentIsLive(c) && c->pageWindow == record) c->pageWindow = nullptr;
    for (ComponentBase* c : ItemsOf<ComponentBase>(cui->containers)) {
        if (!ComponentIsLive(c)) continue;
        if (c->pageWindow == record) c->pageWindow = nullptr;
        if (OptionsWindow* w = AsOptionsWindow(c); w != nullptr && w->ownPage == record) w->ownPage = nullptr;
    }
    for (WindowGroup& g : cui->groups) {
        for (size_t i = 0; i < g.tabPages.size(); ++i)
            if (g.tabPages[i] == record) g.tabPages[i] = nullptr;
    }
    delete record;
}

void CUIRefreshWindowRecords(CUI* cui) {
    if (cui == nullptr) return;
    for (UIPage* r : ItemsOf<UIPage>(cui->windowRecords)) {
        if (!UIPageIsLive(r) || r->current == nullptr || r->current->panelBuilder == nullptr) continue;
        r->current->panelBuilder(r, r->element.window, kPageRefresh);
    }
}

// ---- Groups and tool windows -----------------------------------------------------------------

int32_t* FindWindowSettings(gWindow* window) {
    if (window == nullptr) return nullptr;
    for (WindowGroup& g : TheCUI().groups)
        if (g.windows[0] == window || g.windows[1] == window) return g.cascade;
    return nullptr;
}

bool IsWindowGroup(const void* record) {
    if (record == nullptr) return false;
    for (const WindowGroup& g : TheCUI().groups)
        if (&g == record) return g.tag == kWindowGroupTag;
    return false;
}

bool WindowGroupForgetWidget(void* record) {
    if (!IsWindowGroup(record)) return false;
    static_cast<WindowGroup*>(record)->menuBar = nullptr;
    return true;
}

namespace {

bool ToolShown(gWindow* w) { return w != nullptr && w->hwnd != nullptr && platform::IsWindowVisible(w->hwnd); }

void SetToolShown(gWindow* w, bool on) {
    if (on) {
        if (!platform::IsWindowEnabled(w->hwnd)) platform::EnableWindow(w->hwnd, true);
        gWinShow(w, true);
        // Its pages may have been placed and sized while it was hidden: each takes its size
        // and is painted anew.
        for (gWindow* child = w->firstChild; child != nullptr; child = child->firstChild) {
            gWinUpdateViewport(child);
            child->dirty = 7;
        }
        w->dirty = 7;
        gWinRefreshAll();
    } else {
        if (platform::IsWindowEnabled(w->hwnd)) platform::EnableWindow(w->hwnd, false);
        gWinShow(w, false);
    }
    // What it stood over, or the room it leaves, changes where the pages over the cells
    // stand.
    PlaceFloatingPagesAnew(&TheCUI());
}

}  // namespace

void PlaceFloatingPagesAnew(CUI* cui) {
    if (cui != nullptr && TheShellHooks().placeFloatingPages != nullptr) TheShellHooks().placeFloatingPages(cui);
}

bool ToolWindowToggle(CUI* cui) {
    if (cui == nullptr) return false;
    gWindow* w = cui->groups[1].windows[0];
    if (w == nullptr || gWinValidate(w) == nullptr || w->hwnd == nullptr) return false;
    bool show = !ToolShown(w);
    SetToolShown(w, show);
    return show;
}

bool ToolWindowSetShown(CUI* cui, bool on) {
    if (cui == nullptr) return false;
    gWindow* w = cui->groups[1].windows[0];
    if (w == nullptr || gWinValidate(w) == nullptr || w->hwnd == nullptr) return false;
    if (ToolShown(w) != on) SetToolShown(w, on);
    return ToolShown(w);
}

void SyncToolsMenuCheck() {
    CUI& cui = TheCUI();
    if (cui.toolsItem == nullptr) return;
    gMenuCheckItem(cui.toolsItem, ToolShown(cui.groups[1].windows[0]));
}

// ---- The current windows of an item ------------------------------------------------------------

ComponentBase* FindCurrentItemWindow(ProjectItem* item, uint32_t tag3, uint32_t tag4) {
    if (item == nullptr) return nullptr;
    for (int slot : {1, 3, 0, 2}) {
        ComponentBase* c = item->currentWindows[slot];
        if (c != nullptr && IdHasStage(c->GetClassId(), tag3, tag4)) return c;
    }
    return nullptr;
}

bool HasCurrentItemWindow(const ProjectItem* item) {
    if (item == nullptr) return false;
    return std::any_of(std::begin(item->currentWindows), std::end(item->currentWindows),
                       [](const ComponentBase* c) { return c != nullptr; });
}

void ClearCurrentItemWindow(ProjectItem* item, const ComponentBase* component) {
    if (item == nullptr) return;
    for (int slot = 1; slot < 4; ++slot)
        if (item->currentWindows[slot] == component) item->currentWindows[slot] = nullptr;
    if (item->output == component) item->output = nullptr;
}

void ReleaseItemConsumers(ProjectItem* item) {
    if (item == nullptr) return;
    // The item's user interface: its project's, else the one its Source was listed in
    // (an item that leaves its project keeps the stages its Source feeds).
    ComponentUi* ui = CUIOfItem(item);
    ComponentBase* current = item->currentSource.load();
    if (ui == nullptr && current != nullptr && ComponentIsLive(current)) ui = current->ui;
    if (ui == nullptr) return;
    auto isSource = [&](const ComponentBase* c) {
        return c == current || std::find(item->sources.begin(), item->sources.end(), c) != item->sources.end();
    };
    for (ComponentBase* c : ui->Components()) {
        if (!ComponentIsLive(c) || c->owner != item || isSource(c)) continue;
        if (IdHasStage(c->GetClassId(), FourCC("CELX"), FourCC("DRAW"))) {
            ClearItemWindowsOf(item, c);
            c->owner = nullptr;
            continue;
        }
        ComponentReleaseAndUnlink(c);
    }
}

void RefreshItemOptionsWindow(ProjectItem* item) {
    ShellHooks& hooks = TheShellHooks();
    ComponentBase* output = ItemGetOutput(item);
    if (output != nullptr && hooks.reconnectItemOutput != nullptr) hooks.reconnectItemOutput(output, item);
    ItemPagesFollow(item);
}

void ItemPagesFollow(ProjectItem* item) {
    CUI* cui = CUIOfItem(item);
    if (cui == nullptr) return;
    // The stages of every item share one page each (a container's, a tab of a group
    // window); the item shown now takes them over (the select message), also the stages
    // its displays do not pull from (a chart bypasses the Transformation), so that no tab
    // shows another file's settings.
    auto shared = [cui](const PageWindow* page) {
        for (ListNode* n = cui->containers.head; n != nullptr; n = n->next) {
            OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(n->item));
            if (c != nullptr && c->ownPage == page) return true;
        }
        return false;
    };
    // With several sources (units of one file), only the current one's chain: another's
    // stages would take the pages over from it.
    ComponentBase* current = item->currentSource.load();
    auto otherChain = [&](const ComponentBase* c) {
        if (item->sources.size() < 2 || current == nullptr || ItemChainHolds(current, c)) return false;
        for (ComponentBase* s : item->sources)
            if (s != current && ItemChainHolds(s, c)) return true;
        return false;
    };
    std::vector<ComponentBase*> stages;
    for (ListNode* n = cui->components.head; n != nullptr; n = n->next) {
        auto* c = static_cast<ComponentBase*>(n->item);
        if (c != nullptr && c->owner == item && c->panelBuilder != nullptr && LivePage(c->pageWindow) != nullptr &&
            c->pageWindow->current != c && shared(c->pageWindow) && !otherChain(c))
            stages.push_back(c);
    }
    for (ComponentBase* c : stages) {
        if (!ComponentIsLive(c)) continue;
        MessageRecord select(kMsgSelect);
        ComponentOnSelect(c, &select, 0);
    }
}

void OutputFormatFollowsDialog(ProjectItem* item, ComponentBase* output, int32_t a, int32_t b) {
    (void)a;
    ShellHooks& hooks = TheShellHooks();
    if (output == nullptr) output = SourceGetOutput(item);
    if (output == nullptr || hooks.outputFollowsDialog == nullptr || !hooks.outputFollowsDialog(output)) return;
    int32_t index = 0;
    const FormatDesc* format = CurrentOutputFormat(TheFormatRegistry(), &index);
    if (format == nullptr || hooks.outputSelectFormat == nullptr || !hooks.outputSelectFormat(output, format)) return;
    if (b != 0) {
        RedrawVisibleComponentWindows(output);
        if (gUiReady()) gWinRefreshAll();
    }
}

bool ItemSaveOutput(ProjectItem* item, ComponentBase* output, int32_t code, PanelBuilder builder) {
    ShellHooks& hooks = TheShellHooks();
    if (output == nullptr) output = SourceGetOutput(item);
    if (output == nullptr || hooks.outputSaveCommand == nullptr) return false;
    return hooks.outputSaveCommand(output, item, code, builder);
}

bool WindowSaveCurrentItem(gWindow* window, int32_t code, PanelBuilder builder) {
    if (window != nullptr && (window->state & kStateInHandler) != 0) return false;
    CUI& cui = TheCUI();
    Project* project = cui.currentProject;
    ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
    if (item == nullptr) return false;
    return ItemSaveOutput(item, nullptr, code, builder);
}

}  // namespace orva
