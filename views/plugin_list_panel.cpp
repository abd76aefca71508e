#include "views/plugin_list_panel.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "app/field_readers.h"
#include "app/property_pages.h"
#include "app/shell_hooks.h"
#include "app/ui_elements.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "platform/clock.h"
#include "processing/filter_registry.h"
#include "processing/module_guard.h"
#include "processing/processing_component.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"
#include "views/source_page_parts.h"

namespace orva {

constexpr uint32_t kPluginPanelTag = FourCC("PLGP");

struct PluginPanel {
    uint32_t tag = kPluginPanelTag;
    UIElement* element = nullptr;
    gElement* area = nullptr;              // the row the settings page joins
    gMenu* modules = nullptr;              // "Add Filter", built at its first opening
    std::vector<FilterMenuEntry> entries;  // its entries (holding their records)
    std::vector<FilterModuleRecord*> records;  // by menu item number - 1
    bool observing = false;
    gMenu* edit = nullptr;                 // "Edit"
    gMenuRow editRows[9] = {};
    FilterInstance* shown = nullptr;       // the instance whose page is shown
    gElement* shownPage = nullptr;
};

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

constexpr uint32_t kMenuColour = 0x4676A6Au;
constexpr float kListWidth = 257.0f;
constexpr float kOnColumn = 30.0f;
constexpr int32_t kListRows = 6;
constexpr int32_t kEditRowCount = 9;

// The live panels (a page that goes is taken out of the one that shows it).
std::vector<PluginPanel*>& Panels() {
    static std::vector<PluginPanel*> panels;
    return panels;
}

bool Live(const PluginPanel* p) {
    return p != nullptr && std::find(Panels().begin(), Panels().end(), p) != Panels().end() &&
           p->tag == kPluginPanelTag;
}

FilterChain* ChainOf(PluginPanel* p) {
    ProcessingComponent* c = PluginPanelComponent(p);
    return c != nullptr ? &c->chain : nullptr;
}

// The instance at a 0-based position of the chain, or null.
FilterInstance* InstanceAt(FilterChain* chain, int32_t row) {
    if (chain == nullptr || row < 0) return nullptr;
    FilterInstance* i = chain->first;
    for (int32_t k = 0; i != nullptr && k < row; ++k) i = i->next;
    return i;
}

// The 0-based position of an instance of the chain, or -1.
int32_t PositionOf(FilterChain* chain, const FilterInstance* instance) {
    if (chain == nullptr || instance == nullptr || instance->list != chain) return -1;
    int32_t k = 0;
    for (FilterInstance* i = chain->first; i != nullptr; i = i->next, ++k)
        if (i == instance) return k;
    return -1;
}

FilterInstance* CurrentOf(FilterChain* chain) {
    return chain != nullptr && chain->current != nullptr && chain->current->list == chain ? chain->current : nullptr;
}

PluginPanel* PanelOfWidget(const gElement* w) {
    if (w == nullptr) return nullptr;
    return PluginPanelOf(reinterpret_cast<UIElement*>(w->handlerData));
}

PluginPanel* PanelOfMenuItem(void* item) {
    auto* i = static_cast<gMenuItem*>(item);
    if (i == nullptr || !gMenuIsItem(i) || i->owner == nullptr) return nullptr;
    return PanelOfWidget(i->owner->ownerWidget);
}

// ---- The settings page in the panel's last row -------------------------------------------

void HideShownPage(PluginPanel* p) {
    gElement* page = p->shownPage;
    p->shownPage = nullptr;
    p->shown = nullptr;
    if (page == nullptr || !gWgtIsLive(page)) return;
    gWgtLeaveRow(page);
    page->shown = 0;
    if (page->window != nullptr) page->window->dirty = 7;
}

// The page joins the area's row: it moves (with its controls) to the row's place and
// goes with the panel's group from then on (shown and hidden with the group's page,
// moved with its rows).
void PlacePage(PluginPanel* p, gElement* page) {
    gElement* area = p->area;
    if (area == nullptr || !gWgtIsLive(area) || area->row == nullptr) {
        page->shown = 1;
        return;
    }
    gRow* row = area->row;
    gWgtShiftChain(page, area->x - page->x, area->y + area->cellHeight - page->y);
    page->row = row;
    page->rowFirst = row->first;
    page->rowNext = nullptr;
    if (row->last != nullptr && row->last != page) row->last->rowNext = page;
    row->last = page;
    row->contentWidth = std::max(row->contentWidth, page->cellWidth);
    row->contentHeight = std::max(row->contentHeight, area->cellHeight + page->cellHeight);
    row->outerWidth = std::max(row->outerWidth, row->contentWidth);
    row->outerHeight = std::max(row->outerHeight, row->contentHeight);
    page->shown = area->shown;
    if (p->element != nullptr && p->element->group != nullptr) {
        float box[4];
        gGrpBounds(p->element->group, true, box);
        UIElementSyncView(p->element);
    }
    if (page->window != nullptr) page->window->dirty = 7;
}

// ---- Menus ---------------------------------------------------------------------------------

void DropModuleMenu(PluginPanel* p) {
    if (p->modules != nullptr && gMenuIsMenu(p->modules)) gMenuDelete(p->modules);
    p->modules = nullptr;
    p->records.clear();
    p->entries.clear();  // their references go
}

// The registry reloads (before and after): the menu is built again at its next opening.
void RegistryReloaded(void* context) {
    auto* p = static_cast<PluginPanel*>(context);
    if (Live(p)) DropModuleMenu(p);
}

uint8_t ModuleChosen(void* item, uint32_t number) {
    PluginPanel* p = PanelOfMenuItem(item);
    if (p == nullptr || number == 0 || number > p->records.size()) return 0;
    AddFilterFromMenu(p, p->records[number - 1]);
    return 1;
}

uint8_t EditChosen(void* item, uint32_t command) {
    PluginPanel* p = PanelOfMenuItem(item);
    if (p == nullptr) return 0;
    PluginListCommand(p, static_cast<int32_t>(command));
    return 1;
}

// Numbers a record for the menu (its position in the panel's table, from 1).
uint32_t Number(PluginPanel* p, FilterModuleRecord* record) {
    p->records.push_back(record);
    return static_cast<uint32_t>(p->records.size());
}

bool AddGroups(PluginPanel* p, std::vector<FilterMenuEntry>& groups) {
    for (FilterMenuEntry& g : groups) {
        if (g.children.empty()) continue;
        const int32_t n = static_cast<int32_t>(std::min<size_t>(g.children.size(), kMenuMaxRows - 1));
        std::vector<gMenuRow> rows(static_cast<size_t>(n) + 1);
        rows[0] = gMenuRow{g.label.c_str(), 0, nullptr};
        for (int32_t k = 0; k < n; ++k)
            rows[static_cast<size_t>(k) + 1] = gMenuRow{g.children[static_cast<size_t>(k)].label.c_str(), 0, &ModuleChosen};
        if (!gMenuAddItems(p->modules, rows.data(), n + 1, true, 0, nullptr)) return false;
        for (int32_t k = 0; k < n; ++k) {
            gMenuItem* item = rows[static_cast<size_t>(k) + 1].item;
            if (item != nullptr) item->userData = Number(p, g.children[static_cast<size_t>(k)].record);
        }
    }
    return true;
}

// The first button goes (the panel's widgets go together): the record goes with it.
void PanelGone(gElement* button) {
    const auto* element = reinterpret_cast<const UIElement*>(button->handlerData);
    auto& panels = Panels();
    auto it = std::find_if(panels.begin(), panels.end(), [&](const PluginPanel* p) { return p->element == element; });
    if (it == panels.end()) return;
    PluginPanel* p = *it;
    panels.erase(it);
    // The page belongs to its instance: it only leaves the group that goes now.
    HideShownPage(p);
    if (p->observing) RemoveReloadObserver(&TheFilterRegistry(), &RegistryReloaded, p);
    DropModuleMenu(p);
    if (p->edit != nullptr && gMenuIsMenu(p->edit)) gMenuDelete(p->edit);
    p->tag = 0;
    delete p;
}

// ---- Handlers --------------------------------------------------------------------------------

void OnAddFilter(gElement* button, uintptr_t) { PluginListOpenModules(PanelOfWidget(button)); }
void OnEdit(gElement* button, uintptr_t) { PluginListOpenEdit(PanelOfWidget(button)); }

// The press on the list: the row and column under the pointer, whatever was selected.
bool OnListPress(gElement* widget, uintptr_t data) {
    ListCtrl* list = ListCtrl::FromWidget(widget);
    PluginPanel* p = PluginPanelOf(reinterpret_cast<UIElement*>(data));
    if (list == nullptr || p == nullptr || gMouseButtonState() == 0) return false;
    const int click = gIsDoubleClick() ? 2 : 1;
    ListCtrl::ClearSelection(list);
    ListCtrl::PressAt(list, static_cast<float>(gCursorPos.x) - widget->x, static_cast<float>(gCursorPos.y) - widget->y,
                      click);
    const int32_t row = list->IndexOf(list->selectedRow);
    PluginListClick(p, row, row >= 0 ? list->selectedColumn : -1, click);
    return false;
}

// ---- Building ---------------------------------------------------------------------------------

void BuildPanel(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr || element->window == nullptr) return;
    auto* p = new (std::nothrow) PluginPanel;
    if (p == nullptr) return;
    p->element = element;
    element->name = "Plugins";
    gFont* font = GetUIFont(element->window);
    if (font != nullptr) gWgtSelect(element->window, font);
    PageRows rows(element);
    s[kPluginAddFilter] = rows.Button(37, 175.0f, "Add Filter", &OnAddFilter);
    s[kPluginEdit] = rows.Button(37, 80.0f, "Edit", &OnEdit);
    if (s[kPluginAddFilter] == nullptr) {
        delete p;
        return;
    }
    Panels().push_back(p);
    // The record lives as long as the first button; the handlers find it through the element.
    gElement* owner = s[kPluginAddFilter];
    owner->onDestroy = &PanelGone;
    owner->destroyArmed = 1;
    static const float kColumns[2] = {kOnColumn, kListWidth - kOnColumn};
    static const char* const kTitles[2] = {"On", "Name"};
    const uint32_t slot = element->group != nullptr ? (element->group->style & kWsSlotBits) : 0;
    // As high as its rows and the titles (a row: the font's line and 4 pixels), whatever
    // the chain holds.
    gFont* listFont = font != nullptr ? font : element->window->font;
    const float line = listFont != nullptr ? gFontLineHeight(listFont) : 0.0f;
    const float rowHeight = line > 0.0f ? std::ceil(line) + 4.0f : 16.0f;
    ListCtrlLayout layout{.width = kListWidth, .height = static_cast<float>(kListRows + 1) * rowHeight + 2.0f,
                          .columnCount = 2, .columnWidths = kColumns, .titles = kTitles};
    gElement* list = ListCtrl::Create(element->window, nullptr, 1, &layout, slot | kWsNewRow, false, font);
    s[kPluginList] = list;
    if (ListCtrl* l = ListCtrl::FromWidget(list)) {
        l->resizeFlags &= ~kListColumnsResizable;
        list->onPress = &OnListPress;
        list->handlerData = reinterpret_cast<uintptr_t>(element);
        list->active = 1;
    }
    rows.NewRow();
    p->area = rows.Add(3, 1.0f, "");
    gWinLayoutGroups(element->window);
}

void RefreshPanel(UIPage*, UIElement* element, int32_t) {
    PluginPanel* p = PluginPanelOf(element);
    ProcessingComponent* c = PluginPanelComponent(p);
    if (c != nullptr) RefreshPluginList(c, true, true, false);
}

void FillList(PluginPanel* p, FilterChain* chain, bool selectCurrent) {
    ListCtrl* list = ListCtrl::FromWidget(PageSlot(p->element, kPluginList));
    if (list == nullptr) return;
    std::vector<std::string> names;
    std::vector<const char*> on, name;
    std::vector<uint8_t> dimmed;
    const ProcessingComponent* host = chain != nullptr ? chain->Host() : nullptr;
    {
        Hold hold(DisplayLock());
        for (FilterInstance* i = chain != nullptr ? chain->first : nullptr;
             i != nullptr && static_cast<int32_t>(names.size()) < kListMaxRows; i = i->next) {
            names.emplace_back(i->Title());
            on.push_back(i->off == 0 ? "[x]" : "[ ]");
            dimmed.push_back(i->bypass != 0 || i->error != 0 || host == nullptr || host->owner == nullptr ? 1 : 0);
        }
    }
    for (const std::string& n : names) name.push_back(n.c_str());
    const int32_t count = static_cast<int32_t>(names.size());
    ListCtrl::FillRows(list, 0, on.data(), count);
    ListCtrl::FillRows(list, 1, name.data(), count);
    ListCtrl::ClearSelection(list);
    for (int32_t r = 0; r < count; ++r) list->rows[static_cast<size_t>(r)].emphasised = dimmed[static_cast<size_t>(r)];
    if (selectCurrent) {
        const int32_t k = PositionOf(chain, CurrentOf(chain));
        if (k >= 0 && k < count) {
            ListRow& row = list->rows[static_cast<size_t>(k)];
            row.selected = 1;
            list->selectedRow = &row;
            list->selectedCount = 1;
            list->selectedColumn = 1;
        }
    }
    ListCtrl::LayoutRows(list);
}

// A chain edit the stages below must see: done flags cleared from `from`, event 12.
void TellHost(FilterChain* chain, FilterInstance* from) {
    const ProcessingComponent* host = chain != nullptr ? chain->Host() : nullptr;
    if (host != nullptr && host->owner != nullptr) ChainNotifyHost(chain, from, true);
}

}  // namespace

// ---- Public ------------------------------------------------------------------------------------

PluginPanel* PluginPanelOf(UIElement* element) {
    if (element == nullptr || !UIElementIsLive(element)) return nullptr;
    for (PluginPanel* p : Panels())
        if (p->element == element) return p;
    return nullptr;
}

ProcessingComponent* PluginPanelComponent(PluginPanel* p) {
    if (!Live(p) || p->element == nullptr || !UIElementIsLive(p->element)) return nullptr;
    UIPage* page = p->element->page;
    if (page == nullptr || !UIPageIsLive(page) || page->current == nullptr || !ComponentIsLive(page->current))
        return nullptr;
    return dynamic_cast<ProcessingComponent*>(page->current);
}

UIElement* PluginListElement(ProcessingComponent* c) {
    if (c == nullptr || !ComponentIsLive(c)) return nullptr;
    auto* page = static_cast<UIPage*>(c->pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || page->current != c || page->table.empty()) return nullptr;
    UIElement* e = page->table[0];
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= kPluginSlotCount ? e : nullptr;
}

int32_t PluginListPanelBuilder(PageWindow* pageWindow, void* windowArg, int32_t pageId) {
    auto* page = static_cast<UIPage*>(pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || page->current == nullptr) return 0;
    if (dynamic_cast<ProcessingComponent*>(page->current) == nullptr) return 0;
    auto* window = static_cast<gWindow*>(windowArg);
    if (window != nullptr && gWinValidate(window) == nullptr) window = nullptr;
    const uint32_t style = pageId == kPageOptions ? 0x24000u : 0u;
    UIElement* element = nullptr;
    if (!ShowComponentPage(page, window, style, &PluginListPanelBuilder, kPluginSlotCount, 0, 1, pageId,
                           &BuildPanel, &RefreshPanel, &element))
        return 0;
    // A panel shown the first time for this component shows its chain.
    if (PluginPanel* p = PluginPanelOf(element)) {
        if (ProcessingComponent* c = PluginPanelComponent(p)) RefreshPluginList(c, true, true, false);
    }
    return 1;
}

PanelBuilder PluginListPanelBuilderFn() { return &PluginListPanelBuilder; }

bool RefreshPluginList(ProcessingComponent* c, bool selectCurrent, bool showPage, bool redraw) {
    // A module fault in a pull on another thread: the widgets are the user interface's.
    if (static_cast<uint32_t>(platform::CurrentThreadId()) != gUiThreadId()) return false;
    UIElement* e = PluginListElement(c);
    PluginPanel* p = PluginPanelOf(e);
    if (p == nullptr) return false;
    FilterChain* chain = &c->chain;
    // A page shown for an instance of another chain (the panel now shows another stage).
    if (p->shown != nullptr && PositionOf(chain, p->shown) < 0) HideShownPage(p);
    FillList(p, chain, selectCurrent);
    if (showPage) PluginListShowPage(p, CurrentOf(chain));
    if (redraw) {
        MarkPageRepaint(e);
        RefreshAllWindowsWhenUp();
    }
    return true;
}

PluginEditStates PluginListEditStates(PluginPanel* p) {
    PluginEditStates s;
    s.enabled[kPluginRescan] = true;
    FilterChain* chain = ChainOf(p);
    if (chain == nullptr) return s;
    Hold hold(DisplayLock());
    FilterInstance* current = CurrentOf(chain);
    s.enabled[kPluginRemoveAll] = chain->count > 0;
    if (current == nullptr) return s;
    s.enabled[kPluginProperties] = current->callbacks.pageBuilder != nullptr;
    s.enabled[kPluginRemove] = true;
    s.enabled[kPluginMoveUp] = current->previous != nullptr;
    s.enabled[kPluginMoveDown] = current->next != nullptr;
    return s;
}

bool PluginListCommand(PluginPanel* p, int32_t command) {
    FilterChain* chain = ChainOf(p);
    if (chain == nullptr) return false;
    ProcessingComponent* c = chain->Host();
    FilterInstance* current = CurrentOf(chain);
    switch (command) {
        case 0: {
            const PluginEditStates s = PluginListEditStates(p);
            int32_t code = 0;
            for (gMenuRow& row : p->editRows) {
                if (row.label == nullptr) continue;
                ++code;
                if (row.item != nullptr && gMenuIsItem(row.item)) gMenuEnableItem(row.item, !s.enabled[code]);
            }
            return true;
        }
        case kPluginProperties:
            if (current == nullptr || current->callbacks.pageBuilder == nullptr) return false;
            return PluginListShowPage(p, current);
        case kPluginRemove:
            if (current == nullptr) return false;
            if (p->shown == current) HideShownPage(p);
            ChainRemoveInstance(chain, current);
            RefreshPluginList(c, true, true, true);
            return true;
        case kPluginRemoveAll:
            if (chain->count <= 0) return false;
            HideShownPage(p);
            ChainRemoveAll(chain);
            RefreshPluginList(c, false, false, true);
            return true;
        case kPluginMoveUp:
        case kPluginMoveDown:
            if (current == nullptr || !ChainMoveInstance(chain, current, command == kPluginMoveUp)) return false;
            RefreshPluginList(c, true, true, true);
            return true;
        case kPluginRescan:
            TheApp().ReloadFilterPlugIns();
            return true;
        default:
            return false;
    }
}

bool PluginListOpenEdit(PluginPanel* p) {
    FilterChain* chain = ChainOf(p);
    gElement* button = PageSlot(p != nullptr ? p->element : nullptr, kPluginEdit);
    if (chain == nullptr || button == nullptr || chain->count <= 0) return false;
    if (p->edit == nullptr || !gMenuIsMenu(p->edit)) {
        static const char* const kLabels[kEditRowCount] = {"Properties", nullptr,     "Remove",  "Remove All",
                                                           nullptr,      "Move Up",   "Move Down", nullptr,
                                                           "Rescan Plugins"};
        p->edit = gMenuCreate(button, nullptr, kMenuColour, 0, nullptr);
        if (p->edit == nullptr) return false;
        uint32_t code = 0;
        for (int32_t i = 0; i < kEditRowCount; ++i) {
            const bool separator = kLabels[i] == nullptr;
            p->editRows[i] = gMenuRow{kLabels[i], 0, separator ? nullptr : &EditChosen};
            if (!gMenuAddItems(p->edit, &p->editRows[i], 1, false, separator ? 0 : ++code, nullptr)) {
                gMenuDelete(p->edit);
                p->edit = nullptr;
                return false;
            }
        }
    }
    PluginListCommand(p, 0);
    return gMenuPopupAt(p->edit, button, kMenuColour);
}

gMenu* PluginListModuleMenu(PluginPanel* p) {
    gElement* button = PageSlot(p != nullptr ? p->element : nullptr, kPluginAddFilter);
    if (button == nullptr || !Live(p)) return nullptr;
    if (p->modules != nullptr && gMenuIsMenu(p->modules)) return p->modules;
    DropModuleMenu(p);
    FilterRegistry& registry = TheFilterRegistry();
    if (!p->observing) {
        AddReloadObserver(&registry, &RegistryReloaded, p);
        p->observing = true;
    }
    p->modules = gMenuCreate(button, nullptr, kMenuColour, 0, nullptr);
    if (p->modules == nullptr) return nullptr;
    std::vector<FilterMenuEntry> byId = FilterMenuEntries(registry, FilterMenuList::kById);
    std::vector<FilterMenuEntry> byAuthor = FilterMenuEntries(registry, FilterMenuList::kByAuthor);
    std::vector<FilterMenuEntry> plain = FilterMenuEntries(registry, FilterMenuList::kPlain);
    bool ok = AddGroups(p, byId);
    // The separator parts the groups by id from what follows, when anything follows.
    if (ok && !byId.empty() && (!byAuthor.empty() || !plain.empty())) ok = gMenuAddSeparator(p->modules) != nullptr;
    if (ok) ok = AddGroups(p, byAuthor);
    for (size_t k = 0; ok && k < plain.size(); ++k) {
        gMenuRow row{plain[k].label.c_str(), 0, &ModuleChosen};
        ok = gMenuAddItems(p->modules, &row, 1, false, Number(p, plain[k].record), nullptr);
    }
    for (auto* list : {&byId, &byAuthor, &plain})
        for (FilterMenuEntry& entry : *list) p->entries.push_back(std::move(entry));
    if (!ok || p->records.empty()) {
        DropModuleMenu(p);
        return nullptr;
    }
    return p->modules;
}

bool PluginListOpenModules(PluginPanel* p) {
    gMenu* menu = PluginListModuleMenu(p);
    gElement* button = PageSlot(p != nullptr ? p->element : nullptr, kPluginAddFilter);
    return menu != nullptr && gMenuPopupAt(menu, button, kMenuColour);
}

bool AddFilterFromMenu(PluginPanel* p, FilterModuleRecord* record) {
    FilterChain* chain = ChainOf(p);
    if (chain == nullptr || record == nullptr) return false;
    FilterInstance* instance = InsertModuleFilter(chain, record, false);
    if (instance == nullptr) return false;
    ProcessingComponent* c = chain->Host();
    RefreshPluginList(c, true, true, false);
    if (instance->skip == 0) TellHost(chain, instance);
    return true;
}

void PluginListClick(PluginPanel* p, int32_t row, int32_t column, int clickState) {
    FilterChain* chain = ChainOf(p);
    if (chain == nullptr) return;
    FilterInstance* instance = InstanceAt(chain, row);
    if (instance == nullptr) {
        // Outside the rows: nothing changes (the selection shows the current instance).
        RefreshPluginList(chain->Host(), true, false, true);
        return;
    }
    const bool moved = instance != CurrentOf(chain);
    if (moved) {
        Hold hold(DisplayLock());
        chain->current = instance;
    }
    if (column == 0) ChainSetInstanceOff(chain, instance, instance->off == 0);
    const bool showPage = moved || (column != 0 && (clickState == 2 || clickState == 6));
    RefreshPluginList(chain->Host(), true, showPage, true);
}

bool PluginListShowPage(PluginPanel* p, FilterInstance* instance) {
    FilterChain* chain = ChainOf(p);
    if (chain == nullptr) return false;
    if (instance == nullptr || PositionOf(chain, instance) < 0) {
        HideShownPage(p);
        return false;
    }
    auto* page = static_cast<gElement*>(instance->settingsPage);
    if (page != nullptr && !gWgtIsLive(page)) {
        page = nullptr;
        instance->settingsPage = nullptr;
    }
    if (p->shown == instance && p->shownPage == page && page != nullptr) {
        page->shown = p->area != nullptr ? p->area->shown : 1;
        return true;
    }
    HideShownPage(p);
    gWindow* window = p->element->window;
    if (page == nullptr) {
        FilterPageBuilderFn build = instance->callbacks.pageBuilder;
        if (build == nullptr || window == nullptr) return false;
        void* made = nullptr;
        if (!CallModule([&] { made = build(instance, window); })) {
            FilterInstanceFault(instance);
            return false;
        }
        page = static_cast<gElement*>(made);
        if (page == nullptr || !gWgtIsLive(page) || page->window != window) return false;
        instance->settingsPage = page;
    }
    PlacePage(p, page);
    p->shown = instance;
    p->shownPage = page;
    return true;
}

gElement* PluginListShownPage(PluginPanel* p) {
    return Live(p) && p->shownPage != nullptr && gWgtIsLive(p->shownPage) ? p->shownPage : nullptr;
}

void PluginListReleasePage(FilterInstance* instance) {
    if (instance == nullptr) return;
    for (PluginPanel* p : Panels())
        if (p->shown == instance) HideShownPage(p);
    auto* page = static_cast<gElement*>(instance->settingsPage);
    instance->settingsPage = nullptr;
    if (page == nullptr || !gWgtIsLive(page)) return;
    gWgtLeaveRow(page);
    if (page->window != nullptr && gUiReady()) page->window->dirty = 7;
    gWgtDestroy(page);
}

void InstallPluginListPanel() {
    ProcessingServices& s = TheProcessingServices();
    s.pluginListPanel = &PluginListPanelBuilder;
    s.refreshPluginList = &RefreshPluginList;
    s.releaseSettingsPage = &PluginListReleasePage;
    TheShellHooks().getPluginListPanelBuilder = &PluginListPanelBuilderFn;
}

}  // namespace orva
