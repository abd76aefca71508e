// The Reduction's "Extraction/Statistic" page with its three menus, and the Reduction's
// panel builder that serves it and the "SLICE / STATISTIC" page.
#include "views/extraction_page.h"

#include <cstring>
#include <mutex>

#include "app/cui.h"
#include "app/page_rows.h"
#include "app/property_pages.h"
#include "framework/display_lock.h"
#include "platform/clock.h"
#include "reduction/reduction_component.h"
#include "reduction/statistic_tables.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "shapes/ui/mask_save.h"
#include "shapes/ui/shape_files.h"
#include "shapes/ui/shape_panel.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/slice_page.h"
#include "views/view_page_parts.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

constexpr const char* kFileLabels[7] = {"Save",     "Save As\x85",     "Save Data As\x85", "Save all",
                                        "Save all As\x85", nullptr, "Load\x85"};
constexpr int32_t kFileSave = 1, kFileSaveAs = 2, kFileSaveDataAs = 3, kFileSaveAll = 4, kFileSaveAllAs = 5,
                  kFileLoad = 6;
constexpr const char* kStatisticLabels[11] = {"View",
                                              nullptr,
                                              "Add to Table",
                                              "Save Table As\x85",
                                              nullptr,
                                              "Add to Coord Table",
                                              "Save Coord Table As\x85",
                                              nullptr,
                                              "Clean Table(s)",
                                              nullptr,
                                              "Save As Text\x85"};
constexpr int32_t kStatView = 1, kStatAdd = 2, kStatSaveAs = 3, kStatAddCoord = 4, kStatSaveCoordAs = 5,
                  kStatClean = 6, kStatSaveText = 7;
// The kinds of the Create menu's entries: "Slice mask" (Line, Spline), "Statistic mask"
// (Rectangle, Circle).
constexpr int32_t kCreateKinds[2][2] = {{kKindPolyLine, kKindBSpline}, {kKindRect, kKindEllipse}};
// The element's word: its text widgets were emptied.
constexpr uint32_t kEmptied = 1;

SharedMenu& MenuOf(ExtractionMenu which) {
    static SharedMenu menus[3];
    return menus[static_cast<int>(which)];
}


UIElement* Element(uintptr_t data) { return ViewElement(data, kExtractionSlotCount); }

// The shape of the current entry: its own, else its group's own shape.
Shape* EntryShape(ReductionComponent* r) {
    if (r->items.count == 0 || r->items.currentIndex >= r->items.count) return nullptr;
    const ItemResultEntry& entry = r->items.entries[r->items.currentIndex];
    if (entry.shape != nullptr) return entry.shape;
    return entry.group != nullptr ? entry.group->shape : nullptr;
}

bool HasEntry(ReductionComponent* r) { return r->items.count != 0 && r->items.currentIndex < r->items.count; }

// The shape or a member of the current entry's group, when not empty.
bool IsEmpty(const Shape* s) {
    if (s == nullptr) return true;
    if (auto empty = TheExtractionPageHooks().shapeIsEmpty) return empty(s);
    return s->header.anchors.Count() == 0;
}

bool EntryHasMask(ReductionComponent* r) {
    if (!HasEntry(r)) return false;
    const ItemResultEntry& entry = r->items.entries[r->items.currentIndex];
    if (entry.shape != nullptr) return !IsEmpty(entry.shape);
    if (entry.group == nullptr) return false;
    if (entry.group->shape != nullptr && !IsEmpty(entry.group->shape)) return true;
    for (uint32_t i = 0; i < entry.group->memberCount; ++i)
        if (!IsEmpty(entry.group->members[i])) return true;
    return false;
}

// The current item's own shape, when it is, in a container, its container's current
// shape with the selection on: a file may be loaded into it.
Shape* SelectedItemShape(ReductionComponent* r) {
    if (!HasEntry(r)) return nullptr;
    Shape* s = r->items.entries[r->items.currentIndex].shape;
    if (s == nullptr) return nullptr;
    if (s->container != nullptr && (s->container->current != s || s->container->selectionFlag == 0)) return nullptr;
    return s;
}

// That shape may be saved when it is not empty.
Shape* SavableShape(ReductionComponent* r) {
    Shape* s = SelectedItemShape(r);
    return s != nullptr && !IsEmpty(s) ? s : nullptr;
}

bool MeasuresArea(ReductionComponent* r) {
    const Shape* s = r->CurrentItemShape();
    return s != nullptr && (s->header.role == kRoleStatistic || s->header.role == kRoleFindArea);
}

bool HoldsStatistic(ReductionComponent* r) {
    Hold hold(DisplayLock());
    const StatisticBlock* b = r->Statistic();
    return b != nullptr && b->filled != 0;
}

bool TableOpen(ReductionComponent* r) {
    for (const StatTableWriter* w : r->tableWriters)
        if (w != nullptr && w->IsOpen()) return true;
    return false;
}

template <ExtractionMenu which>
void MenuCallback(gMenu*, const int32_t* rows, uint32_t) {
    UIElement* e = SharedMenuElement(MenuOf(which), kExtractionSlotCount);
    if (e == nullptr) return;
    if (rows == nullptr)
        ExtractionMenuPrepare(e, which);
    else
        ExtractionMenuCommand(e, which, rows[0], rows[1]);
}

gMenu* MakeCreateMenu(SharedMenu& m, gElement* owner) {
    if (m.menu != nullptr && gMenuIsMenu(m.menu)) return m.menu;
    m.menu = gMenuCreate(owner, &MenuCallback<ExtractionMenu::kCreate>, kMenuDefaultColour, 0, nullptr);
    if (m.menu == nullptr) return nullptr;
    gMenuRow slice[3] = {{"Slice mask"}, {"Line"}, {"Spline"}};
    gMenuRow statistic[3] = {{"Statistic mask"}, {"Rectangle"}, {"Circle"}};
    if (!gMenuAddItems(m.menu, slice, 3, true, 0, nullptr) || !gMenuAddItems(m.menu, statistic, 3, true, 0, nullptr)) {
        gMenuDelete(m.menu);
        m.menu = nullptr;
    }
    return m.menu;
}

template <ExtractionMenu which>
void OpenMenu(gElement* button, uintptr_t data) {
    UIElement* e = Element(data);
    if (e == nullptr || button == nullptr || SlicePageReduction(e) == nullptr) return;
    SharedMenu& m = MenuOf(which);
    if (m.menu != nullptr && gMenuIsMenu(m.menu) && gMenuIsOpen(m.menu)) return;
    gMenu* menu = nullptr;
    if (which == ExtractionMenu::kCreate)
        menu = MakeCreateMenu(m, button);
    else if (which == ExtractionMenu::kFile)
        menu = MakeSharedMenu(m, button, &MenuCallback<which>, kFileLabels, 7);
    else
        menu = MakeSharedMenu(m, button, &MenuCallback<which>, kStatisticLabels, 11);
    if (menu == nullptr) return;
    menu->ownerWidget = button;
    m.element = e;
    gMenuPopupAt(menu, button, 0);
}

template <ExtractionMenu which>
void MenuButtonGone(gElement* button) {
    ReleaseMenuButton(MenuOf(which), button);
}

template <ExtractionMenu which>
gElement* MenuButton(PageRows& r, float width, const char* text) {
    gElement* b = r.Button(38, width, text, &OpenMenu<which>);
    if (b != nullptr) HoldMenuButton(MenuOf(which), b, &MenuButtonGone<which>);
    return b;
}

void EditMaskPressed(gElement* button, uintptr_t data) {
    UIElement* e = Element(data);
    if (e == nullptr || SlicePageReduction(e) == nullptr) return;
    gWindow* parent = button != nullptr ? button->window : nullptr;
    while (parent != nullptr && parent->parent != nullptr) parent = parent->parent;
    ShowEditShapePanel(parent);
}

// A read-only field: it keeps its width whatever text it shows.
gElement* TextBox(PageRows& r, float width) { return r.Field(width, "", nullptr); }

void BuildExtraction(UIElement* e, gElement** s) {
    if (e->name.empty()) {
        ReductionComponent* r = SlicePageReduction(e);
        const bool single = r != nullptr && r->name != nullptr && std::strlen(r->name) == 1;
        e->name = single ? r->name : kExtractionPageTitle;
    }
    PageRows r(e);
    s[kExtEditMask] = r.Button(40, 93.0f, "Edit Mask", &EditMaskPressed);
    s[kExtStatisticMenu] = MenuButton<ExtractionMenu::kStatistic>(r, 93.0f, "Statistic");
    r.NewRow();
    r.Label("Mask:");
    s[kExtCreateMenu] = MenuButton<ExtractionMenu::kCreate>(r, 82.0f, "Create");
    s[kExtFileMenu] = MenuButton<ExtractionMenu::kFile>(r, 93.0f, "File");
    r.NewRow();
    r.Label("Shape:");
    s[kExtShape] = r.Field(221.0f, "", nullptr);
    r.NewRow();
    r.Label("Mask:");
    s[kExtMask] = TextBox(r, 214.0f);
    r.NewRow();
    r.Label("Source:");
    s[kExtSource] = TextBox(r, 214.0f);
    r.NewRow();
    r.Label("List:");
    s[kExtList] = TextBox(r, 214.0f);
    e->word = 0;
}

void RefreshExtractionBlock(UIPage*, UIElement* e, int32_t) { RefreshExtractionPage(e); }

UIPage* PageOf(ReductionComponent* r) {
    if (r == nullptr || !ComponentIsLive(r)) return nullptr;
    auto* page = static_cast<UIPage*>(r->pageWindow);
    return page != nullptr && UIPageIsLive(page) && page->current == r ? page : nullptr;
}

bool ShowExtractionPage(UIPage* page, gWindow* window, int32_t pageId) {
    return ShowComponentPage(page, window, kViewBlockStyle, &ReductionPanelBuilder, kExtractionSlotCount,
                             kReductionExtractionIndex, kReductionPageTableSize, pageId, &BuildExtraction,
                             &RefreshExtractionBlock, nullptr);
}

}  // namespace

ExtractionPageHooks& TheExtractionPageHooks() {
    // The shape files and the mask savers by default; tests put recorders in their place.
    static ExtractionPageHooks hooks = [] {
        ExtractionPageHooks h;
        h.shapeIsEmpty = &ShapeIsEmpty;
        h.saveShapeFile = &SaveShapeFile;
        h.saveShapeAs = &SaveShapeAs;
        h.loadShapeAs = &LoadShapeAs;
        h.saveMasks = &SaveMasks;
        h.saveMasksByRole = &SaveMasksByRole;
        return h;
    }();
    return hooks;
}

std::string ItemSourceName(ReductionComponent* r) {
    if (r == nullptr || EntryShape(r) == nullptr) return std::string();
    const ProjectItemBase* item = r->owner;
    if (item == nullptr || !ProjectItemIsLive(item)) return std::string();
    const std::string path = item->source.fileName;
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

UIElement* ExtractionPageElement(ReductionComponent* r) {
    UIPage* page = PageOf(r);
    if (page == nullptr) return nullptr;
    for (UIElement* e : page->elements)
        if (e != nullptr && UIElementIsLive(e) && e->key == &ReductionPanelBuilder &&
            e->index == kReductionExtractionIndex + 1 && e->slots != nullptr && e->slotCount >= kExtractionSlotCount)
            return e;
    return nullptr;
}

void RefreshExtractionPage(UIElement* e) {
    if (Element(reinterpret_cast<uintptr_t>(e)) == nullptr) return;
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    Shape* shape = EntryShape(r);
    if (shape == nullptr) {
        if ((e->word & kEmptied) != 0) return;
        for (uint32_t slot : {kExtShape, kExtMask, kExtSource, kExtList}) ShowText(PageSlot(e, slot), "");
        SetWidgetEnabled(PageSlot(e, kExtShape), false);
        RedrawWidget(PageSlot(e, kExtShape));
        e->word |= kEmptied;
        return;
    }
    e->word &= ~kEmptied;
    std::string mask = shape->state != kShapeHidden ? "Displayed" : "Hide";
    const char* role = ShapeRoleName(shape->header.role);
    if (role != nullptr && *role != '\0') mask = mask + ", " + role;
    ShowText(PageSlot(e, kExtMask), mask.c_str());
    const std::string source = ItemSourceName(r);
    ShowText(PageSlot(e, kExtSource), source.empty() ? "[src none]" : source.c_str());
    const bool named = shape->name != nullptr;
    ShowText(PageSlot(e, kExtShape), named ? shape->name : "");
    if (gElement* field = PageSlot(e, kExtShape); field != nullptr && (field->enabled != 0) != named) {
        SetWidgetEnabled(field, named);
        RedrawWidget(field);
    }
    ShowText(PageSlot(e, kExtList), "");
}

void ReductionRefreshExtractionPage(ReductionComponent* r) {
    // A pull on the playback thread may ask: the widgets are the user interface's.
    if (!ComponentUiUp() || static_cast<uint32_t>(platform::CurrentThreadId()) != gUiThreadId()) return;
    UIElement* e = ExtractionPageElement(r);
    if (e == nullptr) return;
    RefreshExtractionPage(e);
}

void ReductionRefreshPages(ReductionComponent* r) {
    ReductionRefreshExtractionPage(r);
    ReductionRefreshSlicePage(r);
}

namespace {

// The "SLICE / STATISTIC" page lives in the options window of the container that hosts the
// Reduction's page; the container's title label over the "Extraction/Statistic" page is
// its state button: a press opens that window, a second press closes it.
void LinkOptionsWindow(UIPage* page) {
    constexpr uint32_t kClickAtPress = 0x20000000;
    for (ListNode* n = TheCUI().containers.head; n != nullptr; n = n->next) {
        auto* item = static_cast<ComponentBase*>(n->item);
        OptionsWindow* c = item != nullptr && ComponentIsLive(item) ? AsOptionsWindow(item) : nullptr;
        if (c == nullptr || c->ownPage != page) continue;
        UIWindowRecord* record = UIWindowRecordFind(c, kPageOptions);
        gElement* label = record != nullptr ? record->titleLabel : nullptr;
        if (label == nullptr || !gWgtIsLive(label) || label->onClick != nullptr) return;
        label->style |= kClickAtPress;
        gWgtSetHandler1(label, &StateButtonPress, reinterpret_cast<uintptr_t>(record));
        return;
    }
}

}  // namespace

int32_t ReductionPanelBuilder(PageWindow* pw, void* window, int32_t pageId) {
    auto* page = static_cast<UIPage*>(pw);
    if (page == nullptr || !UIPageIsLive(page) || page->current == nullptr || !ComponentIsLive(page->current) ||
        dynamic_cast<ReductionComponent*>(page->current) == nullptr)
        return 0;
    auto* w = static_cast<gWindow*>(window);
    if (w != nullptr && gWinValidate(w) == nullptr) w = nullptr;
    // The page is named as its first block when it has no name yet (the tab that shows it
    // carries this name).
    if (page->name.empty()) {
        const auto* r = static_cast<const ReductionComponent*>(page->current);
        const bool single = r->name != nullptr && std::strlen(r->name) == 1;
        page->name = single ? r->name : kExtractionPageTitle;
    }
    if (pageId == 0 || pageId == 1) {
        const bool shown = ShowExtractionPage(page, w, pageId);
        if (shown && UIPageIsLive(page)) LinkOptionsWindow(page);
        return shown ? 1 : 0;
    }
    if (pageId == kPageOptions) return ShowSlicePage(page, w, pageId) ? 1 : 0;
    if (pageId == kPageRefresh) {
        const bool a = ShowExtractionPage(page, w, pageId);
        const bool b = ShowSlicePage(page, w, pageId);
        return a && b ? 1 : 0;
    }
    return 0;
}

gMenu* ExtractionPageMenu(ExtractionMenu which) {
    SharedMenu& m = MenuOf(which);
    return m.menu != nullptr && gMenuIsMenu(m.menu) ? m.menu : nullptr;
}

bool ExtractionEntryEnabled(UIElement* e, ExtractionMenu which, int32_t entry) {
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return false;
    if (which == ExtractionMenu::kFile) {
        if (entry >= kFileSave && entry <= kFileSaveDataAs) return SavableShape(r) != nullptr;
        if (entry == kFileLoad) return SelectedItemShape(r) != nullptr;
        return entry == kFileSaveAll || entry == kFileSaveAllAs ? EntryHasMask(r) : false;
    }
    if (which == ExtractionMenu::kStatistic) {
        if (entry == kStatView) return true;
        if (entry == kStatClean) return TableOpen(r);
        return entry >= kStatAdd && entry <= kStatSaveText && MeasuresArea(r) && HoldsStatistic(r);
    }
    return true;
}

void ExtractionMenuPrepare(UIElement* e, ExtractionMenu which) {
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr || which == ExtractionMenu::kCreate) return;
    SharedMenu& m = MenuOf(which);
    const int32_t entries = which == ExtractionMenu::kFile ? kFileLoad : 7;
    for (int32_t n = 1; n <= entries; ++n) {
        bool checked = false;
        if (which == ExtractionMenu::kStatistic && n == kStatView) {
            auto shown = TheExtractionPageHooks().toolPageShown;
            checked = shown != nullptr && shown(r);
        }
        SetMenuEntry(m, n, !ExtractionEntryEnabled(e, which, n), checked);
    }
}

void ExtractionMenuCommand(UIElement* e, ExtractionMenu which, int32_t entry, int32_t sub) {
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr || Element(reinterpret_cast<uintptr_t>(e)) == nullptr) return;
    const ExtractionPageHooks& hooks = TheExtractionPageHooks();
    switch (which) {
        case ExtractionMenu::kCreate:
            if (entry >= 1 && entry <= 2 && sub >= 1 && sub <= 2)
                CreateReductionItem(r, false, true, kCreateKinds[entry - 1][sub - 1]);
            break;
        case ExtractionMenu::kFile: {
            if (!ExtractionEntryEnabled(e, which, entry)) return;
            Shape* shape = entry == kFileLoad ? SelectedItemShape(r) : SavableShape(r);
            if (entry == kFileLoad && hooks.loadShapeAs != nullptr) {
                // The shape may have another kind, role and name now.
                if (hooks.loadShapeAs(shape)) ReductionRefreshPages(r);
            }
            else if (entry == kFileSave && hooks.saveShapeFile != nullptr)
                hooks.saveShapeFile(shape, nullptr, 1, 0, true);
            else if ((entry == kFileSaveAs || entry == kFileSaveDataAs) && hooks.saveShapeAs != nullptr)
                hooks.saveShapeAs(shape, entry == kFileSaveAs ? 1 : 0, -512);
            else if (entry == kFileSaveAll && hooks.saveMasks != nullptr)
                hooks.saveMasks(&r->items, nullptr, true, true, 1, kAnyRole);
            else if (entry == kFileSaveAllAs && hooks.saveMasksByRole != nullptr)
                hooks.saveMasksByRole(&r->items, -2, 1, kAnyRole);
            break;
        }
        case ExtractionMenu::kStatistic:
            if (entry == kStatView) {
                if (hooks.refreshToolPage != nullptr) hooks.refreshToolPage(r);
                return;
            }
            if (!ExtractionEntryEnabled(e, which, entry)) return;
            if (entry == kStatAdd)
                AddToStatisticTable(r, kStatValueTable);
            else if (entry == kStatAddCoord)
                AddToStatisticTable(r, kStatCoordTable);
            else if (entry == kStatSaveAs)
                SaveStatisticDialog(r, kStatValueTable);
            else if (entry == kStatSaveCoordAs)
                SaveStatisticDialog(r, kStatCoordTable);
            else if (entry == kStatSaveText)
                SaveStatisticDialog(r, kStatReport);
            else if (entry == kStatClean)
                CloseStatisticTables(r);
            break;
    }
}

}  // namespace orva
