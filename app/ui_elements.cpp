#include "app/ui_elements.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "app/cui.h"
#include "app/group_layout.h"
#include "app/property_pages.h"
#include "common/aligned_memory.h"
#include "common/log.h"
#include "framework/component_id.h"
#include "platform/window_api.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

constexpr uint32_t kMaxSlots = 4096;

// Registries of live records: a record that may have gone is looked up here before use.
std::unordered_set<const void*>& LiveElements() {
    static std::unordered_set<const void*> set;
    return set;
}
std::unordered_set<const void*>& LivePages() {
    static std::unordered_set<const void*> set;
    return set;
}
std::unordered_set<const void*>& LiveOptionsWindows() {
    static std::unordered_set<const void*> set;
    return set;
}

bool WindowShown(gWindow* window) {
    return window != nullptr && gWinValidate(window) != nullptr && window->hwnd != nullptr &&
           platform::IsWindowVisible(window->hwnd);
}

// A window that is gone counts as hidden.
bool WindowHiddenByState(const gWindow* window) {
    return window != nullptr && (gWinValidate(window) == nullptr || (window->state & 0x1800) != 0);
}

void FreeSlots(UIElement* e, bool removeWidgets) {
    if (e->slots == nullptr) return;
    if (removeWidgets) {
        for (uint32_t i = 0; i < e->slotCount; ++i)
            if (e->slots[i] != nullptr && gWgtIsLive(e->slots[i])) gWgtRemove(e->slots[i], true);
    }
    std::free(e->slots);
    e->slots = nullptr;
    e->slotCount = 0;
}

// The default cascade pair of windows that open without a group.
int32_t gDefaultCascade[2] = {30, 100};

}  // namespace

void* AllocZeroed(size_t size) {
    void* block = AlignedAlloc(size == 0 ? 1 : size, 32);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}

// ---- UIElement ------------------------------------------------------------------------------

void* UIElement::operator new(size_t size) noexcept { return AllocZeroed(size); }
void UIElement::operator delete(void* block) noexcept { AlignedFree(block); }

UIElement::UIElement() { LiveElements().insert(this); }

UIElement::~UIElement() {
    UIElementReset(this);
    LiveElements().erase(this);
}

bool UIElementIsLive(const UIElement* element) {
    return element != nullptr && LiveElements().count(element) != 0;
}

void UIElementReset(UIElement* e) {
    if (e == nullptr) return;
    bool windowLive = gUiReady() && e->window != nullptr && gWinValidate(e->window) != nullptr;
    FreeSlots(e, windowLive);
    if (e->group != nullptr) {
        gGroup* group = e->group;
        e->group = nullptr;
        if (gWgtIsLive(group)) {
            if (windowLive) gGrpUnlinkFromSlot(group);
            gGrpRelease(group);
        }
    }
    if (e->view != nullptr) {
        GLViewRelease(e->view);
        e->view = nullptr;
    }
    e->name.clear();
    e->x = e->y = e->width = e->height = 0;
    e->key = nullptr;
    e->notify = nullptr;
    e->flags &= kElementMade;
    e->index = 0;
    e->window = nullptr;
    e->word = 0;
}

UIElement* UIElementCreate(UIPage* page) {
    if (page == nullptr) return nullptr;
    auto* e = new UIElement;
    if (e == nullptr) {
        LogPrintf("%s", "__UI_create(): Can't alloc memory");
        return nullptr;
    }
    e->flags = kElementMade;
    e->page = page;
    try {
        page->elements.push_back(e);
    } catch (...) {
        delete e;
        return nullptr;
    }
    return e;
}

UIElement* UIElementFind(UIPage* page, PanelBuilder key) {
    if (page == nullptr) return nullptr;
    for (UIElement* e : page->elements)
        if (e->key == key) return e;
    return nullptr;
}

UIElement* UIElementFindFor(UIPage* page, PanelBuilder key, gWindow* window) {
    if (page == nullptr) return nullptr;
    for (UIElement* e : page->elements)
        if (e->key == key && (e->window == window || e->window == nullptr)) return e;
    return nullptr;
}

UIElement* UIElementFindExact(UIPage* page, PanelBuilder key, gWindow* window, uint32_t index, int32_t pageId) {
    if (page == nullptr) return nullptr;
    for (UIElement* e : page->elements) {
        if (e->key != key || e->index != index) continue;
        if (e->window == window && window != nullptr) return e;
        if (e->window == nullptr && (pageId == 0 || e->pageId == pageId)) return e;
    }
    return nullptr;
}

UIElement* UIElementFindFree(UIPage* page, gWindow* window) {
    if (page == nullptr) return nullptr;
    for (UIElement* e : page->elements)
        if (e->key == nullptr && (e->window == window || e->window == nullptr)) return e;
    return nullptr;
}

namespace {

// A free element taken over, or a new one, for the key in the window.
UIElement* TakeElement(UIPage* page, PanelBuilder key, gWindow* window, uint32_t index, int32_t pageId) {
    uint32_t style = page->flags & kPageStyleMask;
    if (UIElement* e = UIElementFindFree(page, window)) {
        e->key = key;
        if (e->window == nullptr) e->window = window;
        e->page = page;
        e->index = index;
        e->pageId = pageId;
        e->flags |= style;
        return e;
    }
    UIElement* e = UIElementCreate(page);
    if (e == nullptr) return nullptr;
    e->key = key;
    e->window = window;
    e->index = index;
    e->pageId = pageId;
    e->flags |= style;
    return e;
}

}  // namespace

UIElement* UIElementFindOrCreate(UIPage* page, PanelBuilder key, gWindow* window, bool exact) {
    if (page == nullptr) return nullptr;
    UIElement* e = exact ? UIElementFindExact(page, key, window, 0, 0) : UIElementFindFor(page, key, window);
    if (e != nullptr) return e;
    if (window == nullptr) return nullptr;
    return TakeElement(page, key, window, 0, 0);
}

UIElement* UIElementFindOrCreateAt(UIPage* page, PanelBuilder key, gWindow* window, uint32_t index,
                                   int32_t pageId) {
    if (page == nullptr) return nullptr;
    if (UIElement* e = UIElementFindExact(page, key, window, index, pageId)) return e;
    if (window == nullptr) return nullptr;
    return TakeElement(page, key, window, index, pageId);
}

bool UIElementAllocSlots(UIElement* e, uint32_t n) {
    if (e == nullptr || n < 1 || n > kMaxSlots || e->slots != nullptr) return false;
    auto** slots = static_cast<gElement**>(std::calloc(n, sizeof(gElement*)));
    if (slots == nullptr) return false;
    e->slots = slots;
    e->slotCount = n;
    return true;
}

bool UIElementEnsureGlyphs(UIElement* e, uint32_t n) {
    if (e == nullptr) return false;
    if (__gWgt_check_array(e->slots, n)) return true;
    UIElementReset(e);
    e->flags = 0;
    e->pageId = 0;
    return false;
}

namespace {

// The group a block of a page is placed against: its page's own group, or, for the page
// an options window hosts, the group of the page record that shows it in the window
// (its title label).
gGroup* PlacingGroup(const UIElement* e) {
    UIPage* page = e->page;
    if (page == nullptr || e == &page->element) return nullptr;
    if (page->element.group != nullptr && gWgtIsLive(page->element.group)) return page->element.group;
    for (ListNode* n = TheCUI().containers.head; n != nullptr; n = n->next) {
        OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(n->item));
        if (c == nullptr || c->ownPage != page) continue;
        auto* record = static_cast<UIPage*>(c->pageWindow);
        if (!UIPageIsLive(record) || record->element.window != e->window) return nullptr;
        gGroup* g = record->element.group;
        return g != nullptr && gWgtIsLive(g) ? g : nullptr;
    }
    return nullptr;
}

// Whether the block's page takes turns under a tab bar in the block's window: its blocks
// then share one place.
bool TabbedPage(const UIElement* e) {
    for (ListNode* n = TheCUI().containers.head; n != nullptr; n = n->next) {
        OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(n->item));
        if (c == nullptr || c->ownPage != e->page) continue;
        for (UIWindowRecord* r : c->windows)
            if ((r->flags & kRecordTabBar) != 0 && r->element.window == e->window) return true;
        auto* record = static_cast<UIPage*>(c->pageWindow);
        return UIPageIsLive(record) && record->element.window == e->window && record->element.slots != nullptr &&
               record->element.slotCount >= 2 && record->element.slots[0] != nullptr;
    }
    return false;
}

// Moves a new block that would cover an earlier block of its page in the same window
// below it (or, placed to the right, beside it), so that the blocks stack.
void StackBlock(UIElement* e, gGroup* group, bool right) {
    if (e->page == nullptr || TabbedPage(e)) return;
    for (bool moved = true; moved;) {
        moved = false;
        for (const UIElement* other : e->page->elements) {
            if (other == e || other->window != e->window || other->group == nullptr || other->group == group ||
                !gWgtIsLive(other->group))
                continue;
            const gGroup* o = other->group;
            if (o->x != group->x || o->y != group->y) continue;
            if (right) {
                group->x = o->x + o->width + o->marginLeft + o->marginRight + 2.0f;
            } else {
                group->y = o->y + o->height + o->marginTop + o->marginBottom + 2.0f;
            }
            moved = true;
        }
    }
}

}  // namespace

gGroup* UIElementGetGroup(UIElement* e, uint32_t style, uint32_t place) {
    if (e == nullptr) return nullptr;
    if (e->group != nullptr && gWgtIsLive(e->group)) return e->group;
    gWindow* window = e->window;
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    gSlotTable* table = gWinSlotTable(window);
    if (table == nullptr) return nullptr;
    uint32_t slot = style & kWsSlotBits;
    if (slot == 0) {
        // The window's default style, set from the given style when still unset.
        slot = table->slotStyle & kWsSlotBits;
        if (slot == 0) return nullptr;
    }
    // A new block is placed among the others as they were built: a scrolled page column
    // of a group window goes back first (and scrolls again once its pages changed).
    PageColumnRestore(window);
    gWgtSelectWindow(window);
    gGroup* group = gGrpFind(window, slot, false);
    if (group == nullptr) return nullptr;
    group->align = 17;
    gGroup* pageGroup = PlacingGroup(e);
    if (pageGroup != nullptr) {
        group->marginLeft = pageGroup->marginLeft;
        group->marginTop = pageGroup->marginTop;
        group->marginRight = pageGroup->marginRight;
        group->marginBottom = pageGroup->marginBottom;
        group->color1 = pageGroup->color1;
        group->color2 = pageGroup->color2;
        group->color1Saved = pageGroup->color1Saved;
        group->color2Saved = pageGroup->color2Saved;
        if (place == 0 || place == 0x80000) {
            group->x = pageGroup->x;
            group->y = pageGroup->y + pageGroup->height + pageGroup->marginTop + pageGroup->marginBottom + 2.0f;
        } else if (place == 0x10000) {
            group->x = pageGroup->x + pageGroup->width + pageGroup->marginLeft + pageGroup->marginRight + 2.0f;
            group->y = pageGroup->y;
        } else {
            group->x = pageGroup->x;
            group->y = pageGroup->y;
        }
    } else {
        // The first block of a page: at the start of the window's page area.
        float x = 0, y = 0;
        GroupPageOrigin(window, &x, &y);
        group->marginLeft = group->marginTop = group->marginRight = group->marginBottom = 4.0f;
        group->x = x + 2.0f;
        group->y = y + 2.0f;
    }
    if (place == 0 || place == 0x80000 || place == 0x10000) StackBlock(e, group, place == 0x10000);
    e->group = group;
    return group;
}

void UIElementSyncView(UIElement* e) {
    if (e == nullptr || e->group == nullptr || !gWgtIsLive(e->group)) return;
    gGroup* g = e->group;
    e->x = g->x;
    e->y = g->y;
    e->width = g->width + g->marginLeft + g->marginRight;
    e->height = g->height + g->marginTop + g->marginBottom;
    if (e->view != nullptr && (e->flags & kElementNoView) == 0) {
        e->view->x = e->x;
        e->view->y = e->y;
        e->view->width = e->width;
        e->view->height = e->height;
    }
}

void UIElementsNotify(UIPage* page, PanelBuilder key, intptr_t argument) {
    if (page == nullptr) return;
    std::vector<UIElement*> elements = page->elements;
    for (UIElement* e : elements) {
        if (!UIElementIsLive(e) || e->key != key || e->slots == nullptr || e->notify == nullptr) continue;
        if (WindowHiddenByState(e->window)) continue;
        e->notify(e, argument);
    }
}

void UIPageNotifyAll(UIPage* page, intptr_t argument) {
    if (page == nullptr) return;
    std::vector<UIElement*> elements = page->elements;
    for (UIElement* e : elements) {
        if (!UIElementIsLive(e) || e->slots == nullptr || e->notify == nullptr) continue;
        if (WindowHiddenByState(e->window)) continue;
        e->notify(e, argument);
    }
}

void UIPageDropWindow(UIPage* page, gWindow* window) {
    if (page == nullptr) return;
    for (size_t i = 0; i < page->elements.size();) {
        UIElement* e = page->elements[i];
        if (e->window != window) {
            ++i;
            continue;
        }
        for (UIElement*& slot : page->table)
            if (slot == e) slot = nullptr;
        page->elements.erase(page->elements.begin() + static_cast<std::ptrdiff_t>(i));
        delete e;
    }
    bool any = std::any_of(page->table.begin(), page->table.end(), [](UIElement* e) { return e != nullptr; });
    if (!any) {
        page->table.clear();
        page->table.shrink_to_fit();
        page->flags |= kPageNeedsBuild;
    }
    if (page->element.window == window) UIElementReset(&page->element);
}

// ---- Docked views ------------------------------------------------------------------------------

bool GLViewAttach(UIElement* e, uint32_t style) {
    (void)style;
    if (e == nullptr || e->window == nullptr) return false;
    if (e->view == nullptr) {
        auto* view = new (std::nothrow) UIView;
        if (view == nullptr) return false;
        view->window = e->window;
        e->view = view;
    }
    UIView* view = e->view;
    view->dockFlags = 0;
    view->edges[0] = 1.0f;
    view->edges[1] = 2.0f;
    view->edges[2] = 1.0f;
    view->edges[3] = 1.0f;
    view->y += 1.0f;
    return true;
}

void GLViewRelease(UIView* view) {
    if (view != nullptr && --view->refCount <= 0) delete view;
}

void UIWindowSetMargins(UIView* view, uint32_t flags) {
    if (view == nullptr) return;
    view->dockFlags = flags;
    for (float& e : view->edges) e = 1.0f;
    if (flags & 2) {
        view->edges[1] = 5.0f;
    } else if (flags & 0x10) {
        view->edges[0] = 5.0f;
    } else if (flags & 0x100) {
        view->edges[2] = 5.0f;
    }
}

// ---- UIPage ------------------------------------------------------------------------------------

void* UIPage::operator new(size_t size) noexcept { return AllocZeroed(size); }
void UIPage::operator delete(void* block) noexcept { AlignedFree(block); }

UIPage::UIPage() {
    element.page = this;
    element.flags = kElementMade;
    LivePages().insert(this);
}

UIPage::~UIPage() {
    LivePages().erase(this);
    if (current != nullptr && ComponentIsLive(current) && current->pageWindow == this) current->pageWindow = nullptr;
    current = nullptr;
    table.clear();
    std::vector<UIElement*> owned;
    owned.swap(elements);
    for (UIElement* e : owned) delete e;
}

bool UIPageIsLive(const UIPage* page) { return page != nullptr && LivePages().count(page) != 0; }

namespace {

UIPage* AsPage(PageWindow* page) {
    auto* p = static_cast<UIPage*>(page);
    return UIPageIsLive(p) ? p : nullptr;
}

// Destroys every block of the page and resets its own element; the page needs a build.
void UIPageReset(UIPage* page) {
    page->table.clear();
    std::vector<UIElement*> owned;
    owned.swap(page->elements);
    for (UIElement* e : owned) delete e;
    UIElementReset(&page->element);
    page->flags |= kPageNeedsBuild;
}

}  // namespace

bool UIPageAttachComponent(UIPage* page, ComponentBase* component) {
    if (page == nullptr || component == nullptr || component->panelBuilder == nullptr) return false;
    if (UIPage* other = AsPage(component->pageWindow); other != nullptr && other != page) {
        if (other->current == component) other->current = nullptr;
    }
    if (page->current != nullptr && page->current != component && ComponentIsLive(page->current) &&
        page->current->pageWindow == page) {
        page->current->pageWindow = nullptr;
    }
    page->current = component;
    component->pageWindow = page;
    page->element.key = component->panelBuilder;
    return true;
}

void UIPageDetachComponent(UIPage* page, ComponentBase* except) {
    if (page == nullptr) return;
    ComponentBase* c = page->current;
    page->current = nullptr;
    if (c != nullptr && ComponentIsLive(c) && c->pageWindow == page) c->pageWindow = nullptr;
    bool keep = except != nullptr && ComponentIsLive(except) && except->panelBuilder == page->element.key;
    if (!keep) UIPageReset(page);
}

bool UIElementMatchesOwner(UIPage* page, PanelBuilder builder) {
    if (page == nullptr || builder == nullptr) return false;
    if (page->current != nullptr) {
        if (page->current->panelBuilder != builder) return false;
        return page->element.key == nullptr || page->element.key == builder;
    }
    return page->element.key == builder;
}

bool UIPageClaim(UIPage* page, PanelBuilder builder) {
    if (page == nullptr || builder == nullptr) return false;
    if (page->element.key == nullptr &&
        (page->current == nullptr || page->current->panelBuilder == builder)) {
        page->element.key = builder;
    }
    return UIElementMatchesOwner(page, builder);
}

void RefreshComponentPanels(ComponentBase* component, bool first) {
    if (!gUiReady() || component == nullptr || !ComponentIsLive(component)) return;
    UIPage* page = AsPage(component->pageWindow);
    PanelBuilder builder = component->panelBuilder;
    if (page == nullptr || builder == nullptr) return;
    if (WindowShown(page->element.window)) builder(page, page->element.window, page->element.pageId);
    bool zeroBuilt = !first;
    std::vector<UIElement*> elements = page->elements;
    for (UIElement* e : elements) {
        if (!UIPageIsLive(page) || !UIElementIsLive(e) || !WindowShown(e->window)) continue;
        if (e->window == page->element.window) continue;
        if (e->pageId == 0) {
            if (zeroBuilt) continue;
            zeroBuilt = true;
        }
        builder(page, e->window, e->pageId);
    }
}

void RedrawVisibleComponentWindows(ComponentBase* component) { RefreshComponentPanels(component, true); }

namespace {

void TreeRefresh(ComponentBase* c, int depth) {
    if (c == nullptr || depth > 64 || !ComponentIsLive(c)) return;
    UIPage* page = AsPage(c->pageWindow);
    if (page != nullptr && !page->elements.empty() && page->current != nullptr) UIPageNotifyAll(page, 0);
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) TreeRefresh(link->owner, depth + 1);
}

}  // namespace

void UIWindowTreeRefresh(ComponentBase* component) { TreeRefresh(component, 0); }

// ---- Window records ----------------------------------------------------------------------------

void* UIWindowRecord::operator new(size_t size) noexcept { return AllocZeroed(size); }
void UIWindowRecord::operator delete(void* block) noexcept { AlignedFree(block); }

UIWindowRecord::UIWindowRecord() { element.flags = kElementMade; }

UIWindowRecord::~UIWindowRecord() {
    gWindow* window = element.window;
    if (window != nullptr && gWinValidate(window) != nullptr && window->userData == owner) {
        window->closeHandler = nullptr;
        window->userData = nullptr;
        gUiCloseQuiet(window);
    }
    element.window = nullptr;
}

UIWindowRecord* UIWindowRecordNew(OptionsWindow* component, int32_t id, int32_t kind) {
    if (component == nullptr) return nullptr;
    auto* record = new UIWindowRecord;
    if (record == nullptr) {
        LogPrintf("%s", "pUI win create(): Can't alloc memory");
        return nullptr;
    }
    record->element.pageId = id;
    record->element.key = component->panelBuilder;
    record->element.page = component->ownPage;
    record->kind = kind;
    record->owner = component;
    if (kind == 3) {
        record->element.flags |= kElementKind3;
        record->width = 254;
        record->height = 200;
    }
    record->style = kind == 3 ? kWindowStyleKind3 : kind == 1 ? kWindowStyleKind1 : kWindowStyleKind02;
    try {
        component->windows.push_back(record);
    } catch (...) {
        delete record;
        return nullptr;
    }
    return record;
}

UIWindowRecord* UIWindowRecordFind(OptionsWindow* component, int32_t id) {
    if (component == nullptr) return nullptr;
    for (UIWindowRecord* r : component->windows)
        if (r->element.pageId == id) return r;
    return nullptr;
}

UIWindowRecord* CreateUIWindow(OptionsWindow* component, int32_t id, int32_t kind) {
    if (UIWindowRecord* r = UIWindowRecordFind(component, id)) return r;
    return UIWindowRecordNew(component, id, kind);
}

UIWindowRecord* CreateUIWindowWithFlags(OptionsWindow* component, int32_t id, uint32_t flags, int32_t kind) {
    UIWindowRecord* r = CreateUIWindow(component, id, kind);
    if (r == nullptr) return nullptr;
    r->flags |= flags & 7;
    if ((flags & 7) != 0 && component->ownPage != nullptr) component->ownPage->flags |= 0x1000;
    return r;
}

UIWindowRecord* UIWindowRecordByWindow(OptionsWindow* component, gWindow* window) {
    if (component == nullptr || window == nullptr) return nullptr;
    for (UIWindowRecord* r : component->windows)
        if (r->element.window == window) return r;
    return nullptr;
}

bool UIWindowAttachComponent(UIWindowRecord* record, ComponentBase* component) {
    if (record == nullptr) return false;
    auto* owner = static_cast<OptionsWindow*>(record->owner);
    if (AsOptionsWindow(owner) == nullptr || owner->ownPage == nullptr) return false;
    return UIPageAttachComponent(owner->ownPage, component);
}

// ---- The options-window component --------------------------------------------------------------

OptionsWindow::OptionsWindow() : ComponentBase(nullptr) {
    name = "Options";
    LiveOptionsWindows().insert(this);
}

OptionsWindow::~OptionsWindow() {
    LiveOptionsWindows().erase(this);
    // The page it is attached to forgets it.
    if (UIPage* page = AsPage(pageWindow); page != nullptr && page->current == this) page->current = nullptr;
    pageWindow = nullptr;
    CUI* cui = owner;
    if (cui != nullptr) {
        ListRemoveItem(&cui->containers, this);
        // The CUI's records that show it forget it.
        for (ListNode* n = cui->windowRecords.head; n != nullptr; n = n->next) {
            auto* record = static_cast<UIPage*>(n->item);
            if (record != nullptr && record->current == this) record->current = nullptr;
        }
    }
    std::vector<UIWindowRecord*> records;
    records.swap(windows);
    for (UIWindowRecord* r : records) delete r;
    if (ownPage != nullptr) {
        if (cui != nullptr) {
            CUIDetachWindowRecord(cui, ownPage);
        } else {
            delete ownPage;
        }
        ownPage = nullptr;
    }
}

const ComponentId* OptionsWindow::GetClassId() const { return &kControlContainerId; }

bool OptionsWindow::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new OptionsWindow;
    return *out != nullptr;
}

bool OptionsWindow::QueryInterface(const ComponentId* id, void** out) {
    static const ComponentId* const kSupported[] = {&kControlContainerId, &kComponentBaseId, &kBaseId};
    return AnswerInterface(id, out, kSupported, 3);
}

int32_t OptionsWindow::Refresh(uint8_t) { return 0; }

OptionsWindow* AsOptionsWindow(ComponentBase* component) {
    if (component == nullptr || LiveOptionsWindows().count(component) == 0) return nullptr;
    return static_cast<OptionsWindow*>(component);
}

OptionsWindow* CreateOptionsWindow(CUI* cui, int32_t kind) {
    if (cui == nullptr) return nullptr;
    auto* c = new OptionsWindow;
    if (c == nullptr) return nullptr;
    c->ui = cui;
    c->owner = cui;
    c->kindNumber = kind;
    UIPage* page = CUIFindFreeWindowRecord(cui);
    if (page == nullptr) page = CUICreateWindowRecord(cui);
    if (page == nullptr) {
        c->Release();
        return nullptr;
    }
    page->flags |= kPageInUse | kPageNeedsBuild;
    c->ownPage = page;
    bool ok = true;
    if (kind == 0 || kind == 2) {
        c->panelBuilder = &GenericWindowBuilder;
        page->name = "window";
        ok = UIWindowRecordNew(c, kPageGeneric, kind) != nullptr;
    } else if (kind == 3) {
        c->panelBuilder = &OptionsPageBuild;
        c->title = "Options";
        page->name = "Options";
        ok = UIWindowRecordNew(c, kPageOptions, 3) != nullptr;
    }
    if (!ok || !CUIAddContainer(cui, c)) {
        c->Release();
        return nullptr;
    }
    return c;
}

OptionsWindow* FindContainerWindow(CUI* cui, gWindow* window, PanelBuilder builder, uint32_t style,
                                   size_t* inoutIndex) {
    if (cui == nullptr) return nullptr;
    size_t start = inoutIndex != nullptr ? *inoutIndex : 0;
    size_t index = 0;
    for (ListNode* n = cui->containers.head; n != nullptr; n = n->next, ++index) {
        if (index < start) continue;
        OptionsWindow* c = AsOptionsWindow(static_cast<ComponentBase*>(n->item));
        if (c == nullptr || c->ownPage == nullptr || c->ownPage->element.key != builder) continue;
        if ((c->ownPage->flags & kPageStyleMask) != (style & kPageStyleMask)) continue;
        UIPage* record = AsPage(c->pageWindow);
        if (record != nullptr && record->id != reinterpret_cast<uintptr_t>(window)) continue;
        if (inoutIndex != nullptr) *inoutIndex = index + 1;
        return c;
    }
    if (inoutIndex != nullptr) *inoutIndex = index;
    return nullptr;
}

// ---- Placement and titles -------------------------------------------------------------------------

void ResetDefaultCascade() {
    gDefaultCascade[0] = 30;
    gDefaultCascade[1] = 100;
}

void PlaceRecordWindow(UIWindowRecord* record, gWindow* parent, uint32_t style, int32_t screenWidth,
                       int32_t screenHeight, int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
    int32_t w = record != nullptr ? record->width : 0;
    int32_t h = record != nullptr ? record->height : 0;
    int32_t px = *x, py = *y;
    const bool embedded = (style & 0x40) != 0;
    if (record != nullptr && record->kind == 3 && (!embedded || (record->flags & kRecordCascadeStep) != 0)) {
        int32_t* cascade = parent != nullptr ? FindWindowSettings(parent) : nullptr;
        if (cascade == nullptr) cascade = gDefaultCascade;
        if (!embedded) {
            px = cascade[0];
            py = parent != nullptr ? cascade[1] : 100;
        }
        cascade[0] += 20;
        cascade[1] += 20;
        if (parent != nullptr && !embedded) {
            px += parent->x + (parent == TheCUI().mainWindow ? 70 : -200);
            py += parent->y;
        }
    }
    if (screenWidth > 0) {
        w = std::min(w, screenWidth);
        if (px + w >= screenWidth) px = screenWidth - w - 1;
    }
    px = std::max(px, 0);
    if (screenHeight > 0) {
        h = std::min(h, screenHeight);
        if (py + h >= screenHeight) py = screenHeight - h - 1;
    }
    py = std::max(py, 0);
    *x = px;
    *y = py;
    *width = w;
    *height = h;
}

std::string ItemTitle(const UIWindowRecord* record) {
    if (record == nullptr || record->element.page == nullptr) return std::string();
    const ComponentBase* c = record->element.page->current;
    std::string title;
    if (c != nullptr && ComponentIsLive(c) && c->name != nullptr) title = c->name;
    auto* owner = AsOptionsWindow(record->owner);
    if (owner != nullptr && !owner->title.empty()) {
        if (!title.empty()) title += ' ';
        title += owner->title;
    }
    return title;
}

std::string PageTitle(const UIWindowRecord* record, PanelBuilder builder) {
    std::string item = record != nullptr && record->element.page != nullptr ? ItemTitle(record) : "noname";
    std::string name;
    if (record != nullptr && record->element.page != nullptr) {
        for (const UIElement* e : record->element.page->elements) {
            if (e->key == builder && !e->name.empty() && e->window != nullptr && !WindowHiddenByState(e->window)) {
                name = e->name;
                break;
            }
        }
    }
    if (item.empty()) return name;
    if (name.empty()) return item;
    return item + " | " + name;
}

std::string WindowTitle(const UIWindowRecord* record, PanelBuilder builder, const char* suffix, size_t limit) {
    std::string title = PageTitle(record, builder);
    if (suffix != nullptr && title.size() + std::strlen(suffix) < limit) title += suffix;
    if (limit >= 5 && title.size() >= limit - 4) {
        title.resize(limit - 4);
        title += '\x85';
    }
    return title;
}

}  // namespace orva
