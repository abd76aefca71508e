#include "views/workspace_pages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/group_layout.h"
#include "app/page_rows.h"
#include "app/ui_startup.h"
#include "app/ui_elements.h"
#include "data/kernel_util.h"
#include "platform/window_api.h"
#include "toolkit/font.h"
#include "toolkit/gl_colors.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/number_field.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/fast_selector.h"
#include "views/grid_page.h"
#include "views/layout_menu.h"
#include "views/readout_pages.h"
#include "views/select_tab_page.h"
#include "views/transport_page.h"
#include "views/workspace.h"
#include "views/zoom_pages.h"

namespace orva {

namespace {

// The toolkit's state bits of a hidden or minimised window.
constexpr uint32_t kHiddenOrMinimised = kStateHiddenByShow | kStateHidden | kStateMinimised;
// The alignment of the composite pages' groups and of the preview's group.
constexpr uint32_t kCompositeAlign = 0x40000000;
// SetWindowPos flags that move a window only (no size, no z-order, no activation), and the
// gap between two tool page windows side by side.
constexpr uint32_t kMoveOnly = 0x615;
// The same, the window also raised above the others (nothing activated).
constexpr uint32_t kMoveAndRaise = kMoveOnly & ~platform::kSwpNoZOrder;
constexpr int32_t kToolPageGap = 2;
// The room the chart panel takes in the tool window's page column: its widest row (the
// range buttons) with the block's margins.
constexpr int32_t kToolPanelRoom = 284;
// The value page is never smaller than this on either side.
constexpr int32_t kValuePageMinimum = 100;
// The row of tool pages along the main window's top, in its order, and where it starts
// (right of the menu column).
constexpr std::pair<int32_t, uint32_t> kToolRow[] = {{kWsIdFastSelector, kWsPageFastSelector},
                                                     {kWsIdTransport, kWsPageTransport},
                                                     {kWsIdCoordinates, kWsPageCoordinates},
                                                     {kWsIdViewMode, kWsPageViewMode}};
constexpr int32_t kToolRowLeft = 72;

// The table, in index order; 2 and 6 stay empty.
const WorkspacePageEntry kEntries[] = {
    {kWsPageLens, kWsIdLens, kWsIdLensAlso, 5, 0x30000, 0x24000, false, &BuildLensPage, &LensPageRefresh},
    {kWsPageZoomBar, kWsIdZoomBar, kWsNoId, 11, 0x30000, 0, false, &BuildZoomBar, &ZoomBarRefresh},
    {kWsPageGrid, kWsIdGrid, 4, 15, 0x24000, 0, false, &BuildGridPage, &GridPageRefresh},
    {kWsPageFastSelector, kWsIdFastSelector, 5, 16, 0x84000, 0, true, &BuildFastSelectorPage,
     &FastSelectorPageRefresh},
    {kWsPageStatistic, kWsIdStatistic, 6, 1, 0x24000, 0x24000, false, &BuildStatisticPage, nullptr},
    {kWsPageSelectTab, kWsIdSelectTab, 8, 1, 0x24000, 0, true, &BuildSelectTabPage, &SelectTabPageRefresh},
    {kWsPageCoordinates, kWsIdCoordinates, kWsNoId, 14, 0, 0, false, &BuildCoordinatesPage,
     &CoordinatesPageRefresh},
    {kWsPageViewMode, kWsIdViewMode, kWsNoId, 7, 0, 0, false, &BuildViewModePage, &ViewModePageRefresh},
    {kWsPageValue, kWsIdValue, 11, 4, 0x84000, 0, false, &BuildValuePage, &ValuePageRefresh},
    {kWsPageChannels, kWsIdValue, 12, 4, 0x30000, 0, false, &BuildChannelsPage, &ChannelsPageRefresh},
    {kWsPageTransport, kWsIdTransport, 13, 23, 0x84000, 0, true, &BuildTransportPage, &TransportPageRefresh},
};

// The entry of an index; an empty entry (id kWsNoId) for 2, 6 and beyond the table.
const WorkspacePageEntry& Entry(uint32_t index) {
    static const WorkspacePageEntry kNone{0, kWsNoId, kWsNoId, 0, 0, 0, false, nullptr, nullptr};
    for (const WorkspacePageEntry& e : kEntries)
        if (e.index == index) return e;
    return kNone;
}

struct FontPlace {
    gWindow* window = nullptr;
    gFont* font = nullptr;
};
FontPlace& Place(int i) {
    static FontPlace places[2];
    return places[i];
}

// A place whose window went is emptied.
void DropStale(FontPlace& p) {
    if (p.font == nullptr) return;
    if (gWinValidate(p.window) != nullptr && p.font->window == p.window) return;
    gFontRelease(p.font);
    p = FontPlace{};
}

bool Offered(const UIPage* page, const WorkspacePageEntry& e) {
    return !e.mainGroupOnly || (page->flags & kWsMainGroupPages) != 0;
}

// ShowComponentPage for the entry with the id asked for: the entry's first id takes its
// group flags, the second id its second ones.
bool ShowEntry(UIPage* page, gWindow* window, const WorkspacePageEntry& e, int32_t pageId) {
    const WorkspacePageHooks& h = TheWorkspacePageHooks();
    if (h.showPage == nullptr) return false;
    const uint32_t flags = pageId == e.id ? e.flags : e.alsoFlags;
    return h.showPage(page, window, flags, TheWorkspacePanelBuilder(), e.slots, e.index, kWorkspaceKind, pageId,
                      e.build, e.refresh, nullptr);
}

// One page for the id when the id is the entry's; 1 when it was shown.
int32_t ShowIfAsked(UIPage* page, gWindow* window, uint32_t index, int32_t pageId) {
    const WorkspacePageEntry& e = Entry(index);
    if (pageId != e.id && pageId != e.also) return 0;
    if (!Offered(page, e)) return 0;
    return ShowEntry(page, window, e, pageId) ? 1 : 0;
}

// The window joins its group's tool-bar slot (2: the zoom bar, 3: the lens) when it is a
// child of the group's window.
void LinkIntoGroup(WorkspaceComponent* ws, gWindow* window, int slot) {
    WindowGroup* group = ws->group;
    if (group == nullptr || !IsWindowGroup(group) || window->parent == nullptr || window->parent != group->windows[0])
        return;
    if (group->windows[slot] == window) return;
    group->windows[slot] = window;
    gWindow* gw = group->windows[0];
    if (ws->window != nullptr && gw != nullptr)
        WorkspaceLayout(ws->window, group, gw->clientWidth, gw->clientHeight, true);
}

// The graphics window of the workspace's active cell and its host record, or nulls.
struct ActiveHost {
    GraphicsHost* host = nullptr;
    void* window = nullptr;  // the window object as it hands itself to the pages
};
ActiveHost ActiveCellHost(void* owner) {
    WorkspaceComponent* ws = AsWorkspace(static_cast<WorkspaceComponent*>(owner));
    DisplayComponent* cell = ws != nullptr ? GetActiveCell(ws, nullptr) : nullptr;
    GraphicsWindow* gw = cell != nullptr ? cell->Graphics() : nullptr;
    if (gw == nullptr) return {};
    return {DisplaySyncHost(cell), dynamic_cast<void*>(gw)};
}

// A press in the preview: a chart keeps where its pan starts, and the press moves
// nothing (its strip follows the drag's travel only); an image's marker jumps to it.
bool PreviewPress(void* owner) {
    ActiveHost a = ActiveCellHost(owner);
    GraphicsReadoutPage* page = a.host != nullptr ? a.host->readoutPage : nullptr;
    if (page == nullptr || page->dragPress == nullptr || page->dragData != a.window) return false;
    page->dragPress(page->dragData);
    return true;
}

// The preview's marker moved by dx, dy preview pixels (upwards positive): the active
// cell's window follows, a chart by panning, an image by moving its view; the window then
// places the marker again from the view it shows.
void PreviewMove(void* owner, float dx, float dy) {
    ActiveHost a = ActiveCellHost(owner);
    if (a.host == nullptr) return;
    const uint32_t keys = gKeyModifiersNow();
    GraphicsReadoutPage* readout = a.host->readoutPage;
    GraphicsZoomPage* zoom = a.host->zoomPage;
    if (readout != nullptr && readout->drag != nullptr && readout->dragData == a.window) {
        readout->drag(readout->dragData, dx, dy, keys);
    } else if (zoom != nullptr && zoom->lensDrag != nullptr && zoom->lensDragData == a.window) {
        zoom->lensDrag(zoom->lensDragData, dx, dy, keys);
    }
}

// Page -2 after its two pages: the window's colours and, once, the image preview.
int32_t BuildValueComposite(WorkspaceComponent* ws, gWindow* window, int32_t count) {
    gWinSetColors(window, kWsColoursMain);
    if (ws->preview.widget == nullptr || !gWgtIsLive(ws->preview.widget)) {
        ws->preview.widget = nullptr;
        gWgtSelectWindow(window);
        gWinSetDefaultSlot(window, 0);
        const uint32_t previous = gGrpSetAlign(0, kCompositeAlign);
        // 18 pixels from the top (the channel buttons) and 42 from the bottom (the value
        // readout); the view's own frame runs upwards from the window's lower left corner.
        const float width = static_cast<float>(window->clientWidth) - 2.0f - 21.0f;
        const float height = static_cast<float>(window->clientHeight) - 18.0f - 42.0f;
        TextureViewRect rect{2.0f, static_cast<float>(window->clientHeight) - 18.0f - height, width, height};
        if (width > 0.0f && height > 0.0f && ws->preview.Create(window, rect, ws) != nullptr) {
            ws->preview.pressHandler = &PreviewPress;
            ws->preview.moveHandler = &PreviewMove;
            // A preview made after the active cell showed its frame shows it from now on.
            DisplayComponent* cell = GetActiveCell(ws, nullptr);
            if (cell != nullptr && cell->workspace == ws && cell->activeShapes != nullptr && ws->previewOn == 0) {
                ws->preview.widget->shown = 1;
                ws->previewOn = 1;
                ws->previewRendered = 0;
                cell->Redraw();
            }
        }
        gGrpSetAlign(0, previous);
    }
    // The channel buttons were laid out before the window had its size: they go to its
    // top-right corner, over the preview's right edge.
    if (UIElement* channels = WorkspaceOpenPage(ws, kWsPageChannels, false)) {
        gGroup* group = channels->group;
        if (group != nullptr && gWgtIsLive(group))
            PageGroupMoveTo(channels, std::floor(static_cast<float>(window->clientWidth) - 21.0f - group->width), 2.0f);
    }
    return count + 1;
}

// Page -3: the statistics chart of the user interface, placed once.
int32_t BuildStatChart(WorkspaceComponent* ws, gWindow* window) {
    gWinSetColors(window, kWsColoursChart);
    auto* cui = dynamic_cast<CUI*>(ws->ui);
    if (cui == nullptr) return 1;
    HistogramChart& chart = cui->histogram;
    if (chart.widget != nullptr && gWgtIsLive(chart.widget)) return 1;
    gWinSetFlagB(window, kWsReadOnly);
    gWgtSelectWindow(window);
    gWinSetDefaultSlot(window, 0);
    const uint32_t previous = gGrpSetAlign(0, kCompositeAlign);
    gFont* font = nullptr;
    const bool own = WorkspacePageFont(window, &font);
    const float advance = own ? font->avgWidth : 6.0f;
    const float wide = own ? font->maxAdvance : 10.0f;
    const float line = own ? gFontLineHeight(font) : 12.0f;
    ChartRect rect;
    rect.x = 6.0f * advance + wide + advance + 1.0f;
    rect.y = line + 4.0f + 3.0f;
    rect.width = static_cast<float>(window->clientWidth) - rect.x - 21.0f;
    rect.height = static_cast<float>(window->clientHeight) - rect.y - 2.0f * (line + 4.0f) - 2.0f;
    if (rect.width > 0.0f && rect.height > 0.0f) chart.Create(window, rect, own ? font : nullptr, ws);
    if (own) gFontRelease(font);
    gGrpSetAlign(0, previous);
    return 1;
}

}  // namespace

const WorkspacePageEntry* WorkspacePageEntryAt(uint32_t index) {
    if (index >= kWsPageCount) return nullptr;
    const WorkspacePageEntry& e = Entry(index);
    return e.id == kWsNoId ? nullptr : &e;
}

// ---- Hooks ------------------------------------------------------------------------------------

void WorkspacePageHooksDefaults(WorkspacePageHooks* h) {
    *h = WorkspacePageHooks{};
    h->showPage = &ShowComponentPage;
    h->setTextN = &gWgtSetTextN;
}

WorkspacePageHooks& TheWorkspacePageHooks() {
    static WorkspacePageHooks hooks = [] {
        WorkspacePageHooks h;
        WorkspacePageHooksDefaults(&h);
        return h;
    }();
    return hooks;
}

// ---- The builder --------------------------------------------------------------------------------

int32_t WorkspacePanelBuilder(PageWindow* pageWindow, void* windowArg, int32_t pageId) {
    auto* page = static_cast<UIPage*>(pageWindow);
    if (!UIPageIsLive(page)) return 0;
    WorkspaceComponent* ws = AsWorkspace(page->current);
    if (ws == nullptr) return 0;
    ws->pageTable = page;
    auto* window = static_cast<gWindow*>(windowArg);
    if (window != nullptr && gWinValidate(window) == nullptr) return 0;

    // Pages of one slot each.
    switch (pageId) {
        case kWsIdFastSelector:
        case 5:
            return ShowIfAsked(page, window, kWsPageFastSelector, pageId);
        case kWsIdStatistic:
        case 6:
            return ShowIfAsked(page, window, kWsPageStatistic, pageId);
        case kWsIdGrid:
        case 4:
            return ShowIfAsked(page, window, kWsPageGrid, pageId);
        case kWsIdTransport:
        case 13:
            return ShowIfAsked(page, window, kWsPageTransport, pageId);
        case kWsIdSelectTab:
        case 8:
            return ShowIfAsked(page, window, kWsPageSelectTab, pageId);
        case kWsIdCoordinates:
            return ShowIfAsked(page, window, kWsPageCoordinates, pageId);
        case kWsIdViewMode:
            return ShowIfAsked(page, window, kWsPageViewMode, pageId);
        case 11:
            return ShowIfAsked(page, window, kWsPageValue, pageId);
        case 12:
            return ShowIfAsked(page, window, kWsPageChannels, pageId);
        default:
            break;
    }

    // The composite pages.
    int32_t count = 0;
    switch (pageId) {
        case kWsIdValue:
            count += ShowIfAsked(page, window, kWsPageValue, pageId);
            count += ShowIfAsked(page, window, kWsPageChannels, pageId);
            if (window == nullptr) return 1;
            return BuildValueComposite(ws, window, count);
        case kWsIdStatChart:
            if (window == nullptr) return 1;
            return BuildStatChart(ws, window);
        case kWsIdZoomBar:
            if (window == nullptr) return 1;
            gWinSetColors(window, kWsColoursBar);
            count = ShowIfAsked(page, window, kWsPageZoomBar, pageId);
            // A window whose page was not built is closed again by the page machinery.
            if (count > 0) LinkIntoGroup(ws, window, 2);
            return count;
        case kWsIdLens:
        case kWsIdLensAlso:
            if (window == nullptr) return 1;
            gWinSetColors(window, kWsColoursBar);
            count = ShowIfAsked(page, window, kWsPageLens, pageId);
            if (count > 0 && pageId == kWsIdLens) LinkIntoGroup(ws, window, 3);
            return count;
        case kWsIdMain: {
            if (!UIElementMatchesOwner(page, TheWorkspacePanelBuilder())) return 0;
            if (window == nullptr) return 1;
            UIWindowRecord* record = ws->container != nullptr ? UIWindowRecordFind(ws->container, kPageGeneric) : nullptr;
            return WorkspaceBuildMainPage(ws, record, window);
        }
        default:
            return 0;
    }
}

// ---- Finding pages ------------------------------------------------------------------------------

WorkspaceComponent* WorkspaceOfPage(const UIPage* page) {
    if (!UIPageIsLive(page)) return nullptr;
    return AsWorkspace(page->current);
}

WorkspaceComponent* WorkspaceOfElement(const UIElement* element) {
    if (element == nullptr || !UIElementIsLive(element)) return nullptr;
    return WorkspaceOfPage(element->page);
}

UIPage* WorkspacePageTable(WorkspaceComponent* ws) {
    if (ws == nullptr) return nullptr;
    auto* page = static_cast<UIPage*>(ws->pageTable);
    if (!UIPageIsLive(page) || page->current != ws) return nullptr;
    return page;
}

UIElement* WorkspaceOpenPage(WorkspaceComponent* ws, uint32_t index, bool needUi) {
    UIPage* page = WorkspacePageTable(ws);
    if (page == nullptr || index >= page->table.size()) return nullptr;
    UIElement* e = page->table[index];
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr || e->slotCount == 0) return nullptr;
    if (e->slots[0] == nullptr || !gWgtIsLive(e->slots[0])) return nullptr;
    if (needUi && !ComponentUiUp()) return nullptr;
    return e;
}

bool PageWindowVisible(const UIElement* element) {
    if (element == nullptr) return false;
    gWindow* w = gWinValidate(element->window);
    return w != nullptr && (w->state & kHiddenOrMinimised) == 0;
}

// ---- Fields -------------------------------------------------------------------------------------

void PageSetText(gElement* widget, const char* text) {
    if (widget == nullptr) return;
    const WorkspacePageHooks& h = TheWorkspacePageHooks();
    if (text == nullptr) text = "";
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    if (h.setTextN != nullptr) h.setTextN(widget, text, length);
}

bool PageSetTextChanged(gElement* widget, const char* text) {
    if (widget == nullptr) return false;
    if (widget->text == (text != nullptr ? text : "")) return false;
    PageSetText(widget, text);
    return true;
}

void RepaintFieldNow(gElement* widget) { PaintWidgetNow(widget); }

void PageGroupMoveTo(UIElement* element, float x, float y) {
    gGroup* group = element != nullptr ? element->group : nullptr;
    if (group == nullptr || !gWgtIsLive(group)) return;
    const float dx = x - group->x, dy = y - group->y;
    if (dx == 0 && dy == 0) return;
    for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
        row->x += dx;
        row->y += dy;
        gRowShift(row, dx, dy);
    }
    group->x = x;
    group->y = y;
}

void PageGroupAt(UIElement* element, float x, float y) {
    gGroup* group = element != nullptr ? element->group : nullptr;
    if (group == nullptr || !gWgtIsLive(group)) return;
    group->x = x;
    group->y = y;
}

void PageAdoptWindowFont(UIElement* element) {
    gWindow* w = element != nullptr ? gWinValidate(element->window) : nullptr;
    if (w == nullptr || !gFontHasLists(w->font)) return;
    auto adopt = [&](gElement* e) {
        if (gFontHasLists(e->font) || e->text.empty()) return;
        // A one-character text below the blank is a pictogram of the symbol face.
        const bool glyph = e->text.size() == 1 && static_cast<unsigned char>(e->text[0]) < 0x20;
        gFont* font = glyph ? gSymbolFont(w) : w->font;
        if (!gFontHasLists(font)) return;
        gWgtSetFont(e, font);
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    };
    for (gElement* e = w->widgets.head; e != nullptr; e = e->next) {
        adopt(e);
        for (gElement* child = e->nextChild; child != nullptr; child = child->nextChild) adopt(child);
    }
}

// ---- The page font ------------------------------------------------------------------------------

bool WorkspacePageFont(gWindow* window, gFont** out) {
    if (out == nullptr) return false;
    *out = nullptr;
    if (gWinValidate(window) == nullptr) return false;
    for (int i = 0; i < 2; ++i) DropStale(Place(i));
    for (int i = 0; i < 2; ++i) {
        FontPlace& p = Place(i);
        if (p.window == window && p.font != nullptr) {
            gFont* font = nullptr;
            if (!RefAssign(&font, p.font)) return false;
            *out = font;
            return true;
        }
    }
    FontPlace* free = Place(0).font == nullptr ? &Place(0) : Place(1).font == nullptr ? &Place(1) : nullptr;
    if (free == nullptr) return false;
    gFont* made = gFontGet(window, kFaceByName, "Times", -10, 0, kDefaultCharset, 0, 400, nullptr);
    if (made == nullptr) return false;
    gFont* kept = nullptr;
    RefAssign(&kept, made);
    free->window = window;
    free->font = kept;
    gFont* given = nullptr;
    RefAssign(&given, kept);
    *out = given;
    return true;
}

void WorkspacePageFontReset() {
    for (int i = 0; i < 2; ++i) {
        FontPlace& p = Place(i);
        if (p.font != nullptr) gFontRelease(p.font);
        p = FontPlace{};
    }
}

// ---- Building -----------------------------------------------------------------------------------

PageWidgets::PageWidgets(UIElement* element)
    : window(element != nullptr ? element->window : nullptr),
      slot(element != nullptr && element->group != nullptr ? element->group->style & kWsSlotBits : 0),
      data(reinterpret_cast<uintptr_t>(element)) {}

gElement* PageWidgets::Add(int32_t kind, float width, float height, const char* text,
                           void (*onClick)(gElement*, uintptr_t), uint32_t colour) {
    gWgtTemplate t{.desc = {.kind = kind, .style = slot | (newRow ? kWsNewRow : 0u), .width = width,
                            .height = height, .text = text}};
    if (onClick != nullptr) t.desc.onClick = onClick;
    if (colour != 0) {
        t.desc.color1 = colour;
    } else if (kind >= 36) {
        t.desc.color1 = buttonColour;
    }
    newRow = false;
    gElement* e = gWgtAdd(window, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->handlerData = data;
    if (kind >= 36) {
        e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    }
    return e;
}

gElement* PageWidgets::Caption(const char* text, float height) {
    // A window that has no font yet cannot measure the text: the caption gets the room of
    // six pixels a character, so that the row leaves space for it when the font comes.
    gWindow* w = gWinValidate(window);
    if (w != nullptr && !gFontHasLists(w->font) && text != nullptr)
        return Add(3, 6.0f * static_cast<float>(std::strlen(text)) + 2.0f, height, text);
    return Add(3, -1.0f, height, text);
}

gElement* PageWidgets::Field(float width, float height, const char* text, void (*onChange)(gElement*, uintptr_t)) {
    gElement* e = Add(6, width, height, text);
    if (e != nullptr && onChange != nullptr) e->onChange = onChange;
    return e;
}

gElement* PageWidgets::Display(float width, float height, const char* text) {
    gElement* e = Add(6, width, height, text);
    if (e != nullptr) e->textAlign |= 0x1000000u;  // read-only edit line
    return e;
}

gElement* PageWidgets::Glyph(int32_t kind, float width, float height, uint8_t glyph,
                             void (*onClick)(gElement*, uintptr_t)) {
    const char text[2] = {static_cast<char>(glyph), '\0'};
    gElement* e = Add(kind, width, height, text, onClick);
    if (e == nullptr) return nullptr;
    gFont* symbols = gSymbolFont(window);
    if (symbols != nullptr) {
        gWgtSetFont(e, symbols);
        gWgtSetText(e, text);
    }
    return e;
}

// ---- Opening the pages ----------------------------------------------------------------------------

void WorkspaceOpenToolPages(WorkspaceComponent* ws) {
    if (ws == nullptr || ws->container == nullptr || ws->group == nullptr) return;
    gWindow* parent = gWinValidate(ws->group->windows[0]);
    if (parent == nullptr || !ComponentUiUp()) return;
    const UIPage* table = WorkspacePageTable(ws) != nullptr ? WorkspacePageTable(ws) : ws->container->ownPage;
    const bool mainGroup = table != nullptr && (table->flags & kWsMainGroupPages) != 0;
    // The strips under the cell area; in the main group also the frame selector and the
    // transport page. The readouts beside the cell area open when the user asks for them.
    // Only pages that have widgets to build get a window.
    // In the main window, only the pages the user keeps (View > "Layout").
    auto open = [&](int32_t id, uint32_t index) {
        const WorkspacePageEntry* e = WorkspacePageEntryAt(index);
        if (e == nullptr || e->build == nullptr) return;
        if (mainGroup && LayoutBitOf(index) != 0 && !LayoutPageWanted(LayoutBitOf(index))) return;
        UIWindowRecord* r = UIWindowRecordFind(ws->container, id);
        if (r != nullptr && r->element.window == nullptr) OpenComponentWindow(ws->container, parent, kWindowToggle, 0, r);
    };
    open(kWsIdZoomBar, kWsPageZoomBar);
    open(kWsIdLens, kWsPageLens);
    if (!mainGroup) {
        // The chart's window: the readout of its cursor and the statistics of its curve.
        // With them from the start, the value page, whose preview shows the chart's
        // strip: the window takes its width once, before anything is measured.
        if (ws->group->menuBar == nullptr) {
            open(kWsIdCoordinates, kWsPageCoordinates);
            open(kWsIdStatistic, kWsPageStatistic);
            WorkspaceOpenValuePage(ws, true);
        }
        WorkspacePlaceChartReadouts(ws);
        return;
    }
    // The row along the window's top: every page of it gets its window now, those the
    // user keeps off the screen hidden at once. Its band then stays theirs (the value page
    // starts under it), and a page shown later comes back into the row, not to wherever a
    // window made late would be put.
    for (const auto& [id, index] : kToolRow) {
        UIWindowRecord* r = UIWindowRecordFind(ws->container, id);
        if (r == nullptr || r->element.window != nullptr) continue;
        gWindow* w = OpenComponentWindow(ws->container, parent, kWindowToggle, 0, r);
        if (w == nullptr || LayoutPageWanted(LayoutBitOf(index)) || w->hwnd == nullptr) continue;
        platform::EnableWindow(w->hwnd, false);
        gWinShow(w, false);
    }
    WorkspacePlaceToolPages(ws);
}

void ValuePagePlacement(const WindowGroup* group, int32_t left, int32_t out[4]) {
    out[0] = out[1] = 0;
    out[2] = out[3] = kValuePageMinimum;
    if (group == nullptr) return;
    const float x = group->tabArea[0][0], y = group->tabArea[0][1] + 1.0f;
    out[0] = kernel::SaturateTrunc<int32_t>(x);
    out[1] = kernel::SaturateTrunc<int32_t>(y);
    out[2] = std::max(kValuePageMinimum, kernel::SaturateTrunc<int32_t>(static_cast<float>(left) - x));
    out[3] = std::max(kValuePageMinimum, kernel::SaturateTrunc<int32_t>(group->tabArea[1][1] - y));
}

// The native window of one of the workspace's pages, when it is a child or an owned window
// of the group's window.
static gWindow* GroupToolPageWindow(WorkspaceComponent* ws, gWindow* parent, int32_t id) {
    UIWindowRecord* r = UIWindowRecordFind(ws->container, id);
    gWindow* w = r != nullptr ? gWinValidate(r->element.window) : nullptr;
    return w != nullptr && w->hwnd != nullptr && (w->parent == parent || w->owner == parent) ? w : nullptr;
}

// The main window's menus stand in a column, so the band under them ends at the page tabs:
// the value page would cover the tabs at its least height. It takes the room between the
// tool pages along the window's top and the tab bar instead, as tall as that room allows.
static void FitValuePageAboveTabs(WorkspaceComponent* ws, int32_t place[4]) {
    const WindowGroup* group = ws->group;
    const gElement* tabs = group->tabBar;
    if (tabs == nullptr || !tabs->shown) return;
    const int32_t limit = kernel::SaturateTrunc<int32_t>(tabs->y) - 1;
    if (place[1] + place[3] <= limit) return;
    gWindow* parent = gWinValidate(group->windows[0]);
    platform::Point origin{0, 0};
    if (parent == nullptr || parent->hwnd == nullptr || !platform::ClientToScreen(parent->hwnd, &origin)) return;
    int32_t top = 0;
    for (int32_t id : {kWsIdFastSelector, kWsIdTransport}) {
        gWindow* w = GroupToolPageWindow(ws, parent, id);
        platform::Rect rect;
        if (w != nullptr && platform::GetWindowRect(w->hwnd, &rect))
            top = std::max(top, static_cast<int32_t>(rect.bottom - origin.y) + 1);
    }
    const int32_t y = top > 0 ? top : limit - place[3];
    if (limit - y < 40) return;  // no room above the tabs: keep the usual place
    place[1] = y;
    place[3] = limit - y;
}

bool WorkspaceOpenValuePage(WorkspaceComponent* ws, bool toolWindow) {
    if (ws == nullptr || ws->container == nullptr || ws->group == nullptr || !ComponentUiUp()) return false;
    WindowGroup* group = ws->group;
    gWindow* parent = gWinValidate(group->windows[0]);
    if (parent == nullptr || group->sideWidth <= 0) return false;
    // The tool window's page is placed with its readouts (asked for with `toolWindow`),
    // not in the main window's way.
    if (group->menuBar == nullptr && !toolWindow) return false;
    UIWindowRecord* r = UIWindowRecordFind(ws->container, kWsIdValue);
    if (r == nullptr || r->element.window != nullptr) return false;
    int32_t place[4];
    ValuePagePlacement(group, group->sideWidth, place);
    FitValuePageAboveTabs(ws, place);
    r->savedX = place[0];
    r->savedY = place[1];
    r->width = place[2];
    r->height = place[3];
    if (OpenComponentWindow(ws->container, parent, kWindowToggle, 0, r) == nullptr) return false;
    LayoutApplyChannels(ws);
    // In the tool window the readouts make room for it.
    if (toolWindow) WorkspacePlaceChartReadouts(ws);
    return true;
}

// ---- Room for a page over the cells ---------------------------------------------------------

namespace {

struct Box {
    int32_t left, top, right, bottom;
    // What covering a pixel of it costs a page that finds no free room.
    int32_t weight = 1;
    bool Meets(const Box& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
    bool Holds(const Box& o) const { return o.left >= left && o.right <= right && o.top >= top && o.bottom <= bottom; }
    int64_t Overlap(const Box& o) const {
        const int64_t w = std::min(right, o.right) - std::max(left, o.left);
        const int64_t h = std::min(bottom, o.bottom) - std::max(top, o.top);
        return w > 0 && h > 0 ? w * h : 0;
    }
};

// A pixel of a window standing on its own (another page, a dialog) or of the tool row's
// band costs as much as this many pixels of a control.
constexpr int32_t kWholeWindowWeight = 1000;

bool ScreenBox(gWindow* w, Box* out) {
    platform::Rect r;
    if (w == nullptr || w->hwnd == nullptr || !platform::GetWindowRect(w->hwnd, &r)) return false;
    *out = {r.left, r.top, r.right, r.bottom};
    return true;
}

bool OnScreenNow(gWindow* w) { return w != nullptr && w->hwnd != nullptr && gWinShownNow(w) && platform::IsWindowVisible(w->hwnd); }

// The shown widgets of a window, on the screen (each corner slot counts from its corner).
// A window over them (`covering`) and a child window over them (`under`) hide what of
// them reaches under it.
void AddWidgetBoxes(gWindow* w, const Box* covering, std::vector<Box>* out, const Box* under = nullptr) {
    platform::Point origin{0, 0};
    if (!OnScreenNow(w) || !platform::ClientToScreen(w->hwnd, &origin)) return;
    for (gElement* e = w->widgets.head; e != nullptr; e = e->next) {
        if (dynamic_cast<gGroup*>(e) != nullptr || e->shown == 0 || e->cellWidth <= 0 || e->cellHeight <= 0) continue;
        const int slot = gSlotIndex(e->style);
        float left = e->x, top = e->y;
        if (slot == 1 || slot == 3) left = static_cast<float>(w->clientWidth) - e->x - e->cellWidth;
        if (slot == 2 || slot == 3) top = static_cast<float>(w->clientHeight) - e->y - e->cellHeight;
        // The status line is as wide as its text of now: the next message takes its band
        // across the window.
        const float right = e == w->statusWidget ? std::max(left + e->cellWidth, static_cast<float>(w->clientWidth))
                                                 : left + e->cellWidth;
        const Box b{origin.x + kernel::SaturateTrunc<int32_t>(left), origin.y + kernel::SaturateTrunc<int32_t>(top),
                    origin.x + kernel::SaturateTrunc<int32_t>(std::ceil(right)),
                    origin.y + kernel::SaturateTrunc<int32_t>(std::ceil(top + e->cellHeight))};
        // What a window standing over this one (`covering`), or a child window of its own
        // (`under`), hides of it needs no room kept.
        Box seen = b;
        bool hidden = false;
        for (const Box* over : {covering, under}) {
            if (over == nullptr || !seen.Meets(*over)) continue;
            if (over->Holds(seen)) {
                hidden = true;
                break;
            }
            if (seen.left < over->left) seen.right = std::min(seen.right, over->left);
            else if (seen.right > over->right) seen.left = std::max(seen.left, over->right);
            else if (seen.top < over->top) seen.bottom = std::min(seen.bottom, over->top);
            else seen.top = std::max(seen.top, over->bottom);
        }
        if (!hidden) out->push_back(seen);
    }
}

// How much a page set over the cells leaves uncovered, from the most to the least.
enum class Leave {
    // Every control of the program's two windows and their strips (the main window's
    // cells excepted: the pages stand over them), the chart of the "Chart Tools" window,
    // the band of the main window's tool row and every other window of ours on the screen
    // (for a page of the main window the "Chart Tools" window too).
    kEverything,
    // The same, but the ground of the two windows between their controls is room: a page
    // of the main window may stand over the part of "Chart Tools" that holds no control.
    // The main window's controls that "Chart Tools" stands over are kept clear too, so
    // that the page covers none once "Chart Tools" is put away.
    kControls,
    // The same, but what of the main window "Chart Tools" stands over is out of reach
    // while it stands there, and counts as room.
    kSeenControls,
};

// What the page must leave uncovered; a window kept whole weighs kWholeWindowWeight.
std::vector<Box> KeptClear(gWindow* page, bool mainPage, gWindow* passOver, Leave leave) {
    std::vector<Box> kept;
    CUI& cui = TheCUI();
    gWindow* main = gWinValidate(cui.groups[0].windows[0]);
    gWindow* tools = gWinValidate(cui.groups[1].windows[0]);
    gWindow* mainCells = gWinValidate(cui.groups[0].windows[1]);
    gWindow* chart = gWinValidate(cui.groups[1].windows[1]);
    Box toolsBox{};
    const bool toolsShown = OnScreenNow(tools) && ScreenBox(tools, &toolsBox);
    auto whole = [&kept](gWindow* w) {
        Box b{};
        if (ScreenBox(w, &b)) {
            b.weight = kWholeWindowWeight;
            kept.push_back(b);
        }
    };
    for (gWindow* top = gWinList(); top != nullptr; top = top->next) {
        if (top == page || top == passOver || !OnScreenNow(top)) continue;
        // A page of the main window first leaves the "Chart Tools" window whole, as every
        // other window.
        if ((top != main && top != tools) || (top == tools && mainPage && leave == Leave::kEverything)) {
            whole(top);
            continue;
        }
        // The main window's controls that the "Chart Tools" window stands over are out of
        // reach anyway (a small screen has it over the main window's lower part).
        const Box* covering = top == main && toolsShown && leave != Leave::kControls ? &toolsBox : nullptr;
        Box cellsBox{};
        const bool cellsShown = top == main && OnScreenNow(mainCells) && ScreenBox(mainCells, &cellsBox);
        AddWidgetBoxes(top, covering, &kept, cellsShown ? &cellsBox : nullptr);
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) {
            if (child == page || child == passOver || child == mainCells) continue;
            Box b{};
            if (child == chart) {
                if (OnScreenNow(child) && ScreenBox(child, &b)) kept.push_back(b);
                continue;
            }
            AddWidgetBoxes(child, covering, &kept);
        }
    }
    // The tool row's band, also where its pages are hidden now: they come back there.
    if (main != nullptr && main->hwnd != nullptr) {
        platform::Point origin{0, 0};
        int32_t bottom = 0;
        WorkspaceComponent* ws = AsWorkspace(cui.groups[0].workspace);
        if (ws != nullptr && ws->container != nullptr && platform::ClientToScreen(main->hwnd, &origin)) {
            for (const auto& [id, index] : kToolRow) {
                (void)index;
                UIWindowRecord* r = UIWindowRecordFind(ws->container, id);
                gWindow* w = r != nullptr ? gWinValidate(r->element.window) : nullptr;
                Box b{};
                if (w != nullptr && ScreenBox(w, &b)) bottom = std::max(bottom, b.bottom);
            }
            if (bottom > origin.y)
                kept.push_back(
                    {origin.x + kToolRowLeft, origin.y, origin.x + main->clientWidth, bottom, kWholeWindowWeight});
        }
    }
    return kept;
}

// The place nearest to `want` (top-left corner) where the page's box lies on the screen
// and meets nothing kept clear; false when there is none.
bool RoomNear(gWindow* page, bool mainPage, platform::Point want, platform::Point* at, gWindow* passOver,
              Leave leave) {
    Box own{};
    if (!ScreenBox(page, &own)) return false;
    const int32_t width = own.right - own.left, height = own.bottom - own.top;
    const int32_t screenWidth = gScreenWidth(), screenHeight = gScreenHeight();
    if (width <= 0 || height <= 0 || width > screenWidth || height > screenHeight) return false;
    const std::vector<Box> kept = KeptClear(page, mainPage, passOver, leave);
    constexpr int32_t kStep = 2;
    int64_t best = -1;
    std::vector<const Box*> band;
    for (int32_t y = 0; y + height <= screenHeight; y += kStep) {
        band.clear();
        for (const Box& k : kept)
            if (k.top < y + height && y < k.bottom) band.push_back(&k);
        for (int32_t x = 0; x + width <= screenWidth; x += kStep) {
            const int64_t dx = x - want.x, dy = y - want.y;
            const int64_t distance = dx * dx + dy * dy;
            if (best >= 0 && distance >= best) continue;
            const Box b{x, y, x + width, y + height};
            bool free = true;
            for (const Box* k : band)
                if (b.Meets(*k)) {
                    free = false;
                    break;
                }
            if (!free) continue;
            best = distance;
            *at = {x, y};
        }
    }
    return best >= 0;
}

// The heights the statistic overlay's list (with `list`) tries, tallest first: all its
// rows, then three fewer at a time (they scroll) down to `rows` rows; the page alone has
// its one size (0).
std::vector<float> ListHeights(ListCtrl* list, int32_t rows) {
    std::vector<float> heights{0.0f};
    if (list == nullptr) return heights;
    const float least = list->headerHeight + static_cast<float>(rows) * list->rowHeight + 2.0f;
    for (float height = list->listHeight - 3.0f * list->rowHeight; height >= least; height -= 3.0f * list->rowHeight)
        heights.push_back(height);
    return heights;
}

// RoomNear for the page, the statistic overlay (with its `list`) first with all its rows,
// then giving up three rows at a time (they scroll), down to the short table's count.
bool RoomForPage(gWindow* page, bool mainPage, platform::Point want, platform::Point* at, gWindow* passOver,
                 ListCtrl* list, Leave leave) {
    // Where it stands follows from the screen of now, not from the room it found before.
    for (float height : ListHeights(list, kStatShortRows)) {
        StatisticListSetRoom(list, height);
        if (RoomNear(page, mainPage, want, at, passOver, leave)) return true;
    }
    return false;
}

// Where no room is free: the place where the page covers the least of what is kept clear
// (other windows and the tool row's band weighing most), the statistic overlay's list
// down to a few rows; of places that cover as much, the one with the taller list, then the
// one nearest to `want`. False only when the page is larger than the screen.
bool LeastCovered(gWindow* page, bool mainPage, platform::Point want, platform::Point* at, gWindow* passOver,
                  ListCtrl* list) {
    constexpr int32_t kLeastRows = 3;
    constexpr int32_t kStep = 4;
    const std::vector<Box> kept = KeptClear(page, mainPage, passOver, Leave::kSeenControls);
    const int32_t screenWidth = gScreenWidth(), screenHeight = gScreenHeight();
    int64_t bestCost = -1, bestDistance = 0;
    float bestHeight = 0.0f;
    std::vector<const Box*> band;
    for (float height : ListHeights(list, kLeastRows)) {
        StatisticListSetRoom(list, height);
        Box own{};
        if (!ScreenBox(page, &own)) return false;
        const int32_t w = own.right - own.left, h = own.bottom - own.top;
        if (w <= 0 || h <= 0 || w > screenWidth || h > screenHeight) continue;
        // The last place of each axis lies on the screen's edge.
        auto places = [kStep](int32_t room) {
            std::vector<int32_t> v;
            for (int32_t p = 0; p < room; p += kStep) v.push_back(p);
            v.push_back(room);
            return v;
        };
        const std::vector<int32_t> xs = places(screenWidth - w), ys = places(screenHeight - h);
        for (int32_t y : ys) {
            band.clear();
            for (const Box& k : kept)
                if (k.top < y + h && y < k.bottom) band.push_back(&k);
            for (int32_t x : xs) {
                const Box b{x, y, x + w, y + h};
                int64_t cost = 0;
                for (const Box* k : band) cost += b.Overlap(*k) * k->weight;
                const int64_t dx = x - want.x, dy = y - want.y;
                const int64_t distance = dx * dx + dy * dy;
                if (bestCost >= 0 && (cost > bestCost || (cost == bestCost && distance >= bestDistance))) continue;
                // A shorter list only where it covers less.
                if (bestCost >= 0 && cost == bestCost && height != bestHeight) continue;
                bestCost = cost;
                bestDistance = distance;
                bestHeight = height;
                *at = {x, y};
            }
        }
    }
    if (bestCost < 0) return false;
    StatisticListSetRoom(list, bestHeight);
    return true;
}

}  // namespace

void WorkspacePlaceOverCells(WorkspaceComponent* ws, int32_t id, bool bottomLeft, gWindow* passOver) {
    if (ws == nullptr || ws->container == nullptr || ws->group == nullptr) return;
    gWindow* parent = gWinValidate(ws->group->windows[0]);
    gWindow* host = gWinValidate(ws->group->windows[1]);
    if (parent == nullptr || parent->hwnd == nullptr || host == nullptr || host->hwnd == nullptr) return;
    // The page may be owned by the program's first window (the "Chart Tools" window's
    // pages are): it stands over these cells all the same.
    UIWindowRecord* record = UIWindowRecordFind(ws->container, id);
    gWindow* page = record != nullptr ? gWinValidate(record->element.window) : nullptr;
    if (page != nullptr && page->hwnd == nullptr) page = nullptr;
    platform::Rect cells, own;
    if (page == nullptr || !platform::GetWindowRect(host->hwnd, &cells) || !platform::GetWindowRect(page->hwnd, &own))
        return;
    platform::Point at{std::max(cells.left, cells.right - (own.right - own.left) - 4), cells.top + 4};
    if (bottomLeft) at = {cells.left, std::max(cells.top, cells.bottom - (own.bottom - own.top))};
    // The grid page and the statistic overlay take the free place nearest to that corner:
    // over the cells while they leave room, else beside them, never over another page or a
    // control (or the chart of the "Chart Tools" window). A page that stands on its own
    // may then stand over the ground of another window between its controls (on a small
    // screen "Chart Tools" stands over the main window's lower part and leaves the cells
    // no room), above it; where even that leaves none, it stands where it covers the
    // least.
    platform::Point room{0, 0};
    bool raise = false;
    if (!bottomLeft && (id == kWsIdGrid || id == kWsIdStatistic)) {
        const bool mainPage = ws->group == &TheCUI().groups[0];
        ListCtrl* list = id == kWsIdStatistic ? ws->statisticsList : nullptr;
        if (list != nullptr && (list->widget == nullptr || !gWgtIsLive(list->widget) || list->widget->window != page))
            list = nullptr;
        bool found = RoomForPage(page, mainPage, at, &room, passOver, list, Leave::kEverything);
        if (!found && page->parent != parent) {
            found = RoomForPage(page, mainPage, at, &room, passOver, list, Leave::kControls) ||
                    RoomForPage(page, mainPage, at, &room, passOver, list, Leave::kSeenControls) ||
                    LeastCovered(page, mainPage, at, &room, passOver, list);
            raise = found;
        }
        if (found) at = room;
    }
    if (page->parent == parent) {
        platform::Point origin{0, 0};
        if (!platform::ClientToScreen(parent->hwnd, &origin)) return;
        at.x -= origin.x;
        at.y -= origin.y;
    }
    platform::SetWindowPos(page->hwnd, nullptr, at.x, at.y, 0, 0, raise ? kMoveAndRaise : kMoveOnly);
}

void WorkspacePlaceFloatingPages(WorkspaceComponent* ws) {
    if (ws == nullptr || ws->container == nullptr || ws->group == nullptr) return;
    // The page windows may be owned by the program's first window (the "Chart Tools"
    // window's are): found by their records.
    auto shown = [ws](int32_t id) -> gWindow* {
        UIWindowRecord* r = UIWindowRecordFind(ws->container, id);
        gWindow* w = r != nullptr ? gWinValidate(r->element.window) : nullptr;
        return w != nullptr && w->hwnd != nullptr && gWinShownNow(w) ? w : nullptr;
    };
    // The chart's statistic list stands with its readouts, not over the cells.
    gWindow* grid = shown(kWsIdGrid);
    gWindow* stats = ws->group->menuBar != nullptr ? shown(kWsIdStatistic) : nullptr;
    // The grid page first, wherever the overlay stood before; the overlay then beside it.
    if (grid != nullptr) WorkspacePlaceOverCells(ws, kWsIdGrid, false, stats);
    if (stats != nullptr) WorkspacePlaceOverCells(ws, kWsIdStatistic, false);
}

void WorkspacePlaceChartReadouts(WorkspaceComponent* ws) {
    // Only the chart's window (the main window has its menus) shows them there.
    if (ws == nullptr || ws->container == nullptr || ws->group == nullptr || ws->group->menuBar != nullptr) return;
    WindowGroup* group = ws->group;
    gWindow* parent = gWinValidate(group->windows[0]);
    if (parent == nullptr || parent->hwnd == nullptr) return;
    gWindow* coords = GroupToolPageWindow(ws, parent, kWsIdCoordinates);
    gWindow* stats = GroupToolPageWindow(ws, parent, kWsIdStatistic);
    if (coords == nullptr && stats == nullptr) return;
    // The list is placed as tall as all its rows would make it; it is given less room
    // below when that is more than the window has.
    ListCtrl* statList = ListCtrl::IsLive(ws->statisticsList) ? ws->statisticsList : nullptr;
    platform::Point origin{0, 0};
    if (!platform::ClientToScreen(parent->hwnd, &origin)) return;
    gWindow* value = GroupToolPageWindow(ws, parent, kWsIdValue);
    platform::Rect rect;
    // They stand in the room above the panel's tabs: the value page (whose preview shows
    // the chart's strip, once the chart has a curve) in its top-left corner, the
    // coordinates right of it, the statistics under the coordinates when the room is tall
    // enough, else beside them. A window too short for that room (its tabs start at the
    // top) has them beside its pages, from the top down to its status line. The page
    // column is widened for them.
    int32_t left = kernel::SaturateTrunc<int32_t>(group->tabArea[0][0]) + 1;
    const int32_t y = kernel::SaturateTrunc<int32_t>(group->tabArea[0][1]) + 1;
    int32_t bottom = kernel::SaturateTrunc<int32_t>(group->tabArea[1][1]);
    const gElement* tabs = group->tabBar;
    const bool beside = tabs != nullptr && gWgtIsLive(tabs) && tabs->y < static_cast<float>(bottom);
    if (beside) {
        // Right of the column's widest shown block (the panel), or of the room the panel
        // takes when it is not built yet.
        float right = static_cast<float>(kToolPanelRoom);
        for (const gGroup* block : PageColumnGroups(*group))
            if (block->shown != 0)
                right = std::max(right, block->x + block->width + block->marginLeft + block->marginRight +
                                            static_cast<float>(kToolPageGap));
        left = std::max(left, static_cast<int32_t>(std::ceil(right)));
        bottom = parent->clientHeight - group->bottomMargin;
    }
    auto place = [&](gWindow* w, int32_t at, int32_t top) {
        if (w->parent != parent) {
            at += origin.x;
            top += origin.y;
        }
        platform::SetWindowPos(w->hwnd, nullptr, at, top, 0, 0, kMoveOnly);
        w->dirty = 7;
    };
    int32_t x = left, wanted = 0;
    if (value != nullptr && platform::GetWindowRect(value->hwnd, &rect)) {
        place(value, x - 1, y - 1);
        x += (rect.right - rect.left) + kToolPageGap;
        wanted = x;
    }
    int32_t right = x, below = y;
    // Each window as large as its page; the list's window ends under its last row (and
    // is as wide as the list with its bar, when shown).
    const gElement* list = statList != nullptr ? statList->widget : nullptr;
    const bool ownList = stats != nullptr && list != nullptr && gWgtIsLive(list) && list->window == stats;
    for (gWindow* w : {coords, stats})
        if (w != nullptr && (w != stats || !ownList)) gWinFitToContent(w, 0);
    auto fitList = [&] {
        if (ownList)
            gWinSetSize(stats, stats->clientWidth, kernel::SaturateTrunc<int32_t>(std::ceil(list->y + list->height)) + 3,
                        nullptr);
    };
    fitList();
    if (coords != nullptr && platform::GetWindowRect(coords->hwnd, &rect)) {
        place(coords, x, y);
        right = x + (rect.right - rect.left) + kToolPageGap;
        below = y + (rect.bottom - rect.top) + kToolPageGap;
        wanted = std::max(wanted, right);
    }
    if (stats != nullptr && platform::GetWindowRect(stats->hwnd, &rect)) {
        // The list's window less the list: what a room for it must add.
        const int32_t frame = ownList ? (rect.bottom - rect.top) - static_cast<int32_t>(list->height) : 0;
        const int32_t height =
            ownList ? frame + static_cast<int32_t>(std::ceil(statList->headerHeight +
                                                             static_cast<float>(statList->rowCount) * statList->rowHeight + 2.0f))
                    : rect.bottom - rect.top;
        // Under the coordinates while all its rows fit there, or as many as the short
        // table has; else beside them from the top. The rows that do not fit down to the
        // room's foot scroll.
        const float least = ownList ? statList->headerHeight + kStatShortRows * statList->rowHeight + 2.0f : 0.0f;
        const bool under = below + height <= bottom || (ownList && static_cast<float>(bottom - below - frame) >= least);
        const int32_t top = under ? below : y;
        if (ownList) {
            StatisticListSetRoom(statList, top + height > bottom ? static_cast<float>(bottom - top - frame) : 0.0f);
            fitList();
        }
        int32_t width = rect.right - rect.left;
        if (platform::GetWindowRect(stats->hwnd, &rect)) width = rect.right - rect.left;
        const int32_t at = under ? x : right;
        place(stats, at, top);
        wanted = std::max(wanted, at + width + 1);
    }
    // Above the tabs, the tab bar reaches under them.
    if (!beside && tabs != nullptr && gWgtIsLive(tabs) && wanted > group->sideWidth &&
        tabs->x < static_cast<float>(wanted))
        group->tabBar->width = static_cast<float>(wanted - 1) - tabs->x;
    if (PageColumnWiden(parent, wanted)) {
        if (gWindow* host = gWinValidate(group->windows[1]))
            WorkspaceLayout(host, group, parent->clientWidth, parent->clientHeight, true);
    }
    // The pages moved: each is painted anew, not left with what the server showed of it
    // on the way.
    gWinRefreshAll();
}

void WorkspacePlaceToolPages(WorkspaceComponent* ws) {
    // Only the main window (the one with the menus) has the row; the chart's window places
    // its readouts with its panel.
    if (ws == nullptr || ws->container == nullptr || ws->group == nullptr || ws->group->menuBar == nullptr) return;
    gWindow* parent = gWinValidate(ws->group->windows[0]);
    if (parent == nullptr || parent->hwnd == nullptr) return;
    platform::Point origin{0, 0};
    if (!platform::ClientToScreen(parent->hwnd, &origin)) return;
    // The row starts right of the menus at the window's top: the fast selector, the
    // transport page, then the readouts of the pointer (coordinates, then the view mode
    // with the channel values), top edges level. The pages shown close up from the row's
    // start; the hidden ones wait after them, each to take its turn when shown again.
    int32_t x = origin.x + kToolRowLeft;
    for (const bool shown : {true, false}) {
        for (const auto& [id, index] : kToolRow) {
            (void)index;
            gWindow* page = GroupToolPageWindow(ws, parent, id);
            platform::Rect rect;
            if (page == nullptr || gWinShownNow(page) != shown) continue;
            // A child window is not fitted to its page when it opens, as a window of its own is.
            if (page->parent == parent) gWinFitToContent(page, 0);
            if (!platform::GetWindowRect(page->hwnd, &rect)) continue;
            platform::Point at{x, origin.y};
            // A child window is placed in its parent's client area, an owned one on the screen.
            if (page->parent == parent) at = {x - origin.x, 0};
            platform::SetWindowPos(page->hwnd, nullptr, at.x, at.y, 0, 0, kMoveOnly);
            x += (rect.right - rect.left) + kToolPageGap;
        }
    }
}

}  // namespace orva
