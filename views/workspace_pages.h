#pragma once
// The workspace's tool pages: the page table that maps every page id the page machinery
// asks for onto one of thirteen page slots (with the page's build and refresh functions,
// its widget slot count and the layout flags of its group), the composite pages (value
// readout with the image preview, statistics chart, zoom bar, lens) and the workspace's
// own main page; the refresh-if-open rule the pages share; the immediate repaint of one
// field; and the page font cache. UI thread only.
#include <cstdint>

#include "app/property_pages.h"
// PageSlot, SetWidgetShown, SetWidgetValue and MarkPageRepaint are the pages' shared setters.
#include "views/source_page_parts.h"

namespace orva {

class UIElement;
class UIPage;
class WorkspaceComponent;
struct WindowGroup;
struct gElement;
struct gFont;
struct gWindow;

// ---- The page table -----------------------------------------------------------------------

// Indexes of the table (2 and 6 stay empty).
constexpr uint32_t kWsPageLens = 0;
constexpr uint32_t kWsPageZoomBar = 1;
constexpr uint32_t kWsPageGrid = 3;
constexpr uint32_t kWsPageFastSelector = 4;
constexpr uint32_t kWsPageStatistic = 5;
constexpr uint32_t kWsPageSelectTab = 7;
constexpr uint32_t kWsPageCoordinates = 8;
constexpr uint32_t kWsPageViewMode = 9;
constexpr uint32_t kWsPageValue = 10;
constexpr uint32_t kWsPageChannels = 11;
constexpr uint32_t kWsPageTransport = 12;
constexpr uint32_t kWsPageCount = 13;

// Page ids of the composite pages and of the first ids of the tool pages.
constexpr int32_t kWsIdMain = -1;
constexpr int32_t kWsIdValue = -2;        // value readout, channels and the image preview
constexpr int32_t kWsIdStatChart = -3;
constexpr int32_t kWsIdZoomBar = -4;
constexpr int32_t kWsIdLens = -5;
constexpr int32_t kWsIdLensAlso = -516;
constexpr int32_t kWsIdTransport = -512;
constexpr int32_t kWsIdGrid = -513;
constexpr int32_t kWsIdFastSelector = -514;
constexpr int32_t kWsIdStatistic = -515;
constexpr int32_t kWsIdSelectTab = 0;
constexpr int32_t kWsIdCoordinates = 9;
constexpr int32_t kWsIdViewMode = 10;

// The window-record style bit under which the transport, fast selector and select tab
// pages are offered (the main window group's).
constexpr uint32_t kWsMainGroupPages = 0x80000;

// Colour sets of the page windows.
constexpr uint32_t kWsColoursMain = 0x4000000;
constexpr uint32_t kWsColoursChart = 0x47F7F7F;
constexpr uint32_t kWsColoursBar = 0x4676A6A;

// One row of the table.
struct WorkspacePageEntry {
    uint32_t index;
    int32_t id;             // the first id
    int32_t also;           // a second id that opens the same page (0x7FFFFFFF: none)
    uint32_t slots;
    uint32_t flags;         // group flags for the first id
    uint32_t alsoFlags;     // for the second id
    bool mainGroupOnly;     // offered only under kWsMainGroupPages
    PageBuildFn build;
    PageRefreshFn refresh;
};
constexpr int32_t kWsNoId = 0x7FFFFFFF;
// The entry of a table index (null for 2, 6 and indexes past the table).
const WorkspacePageEntry* WorkspacePageEntryAt(uint32_t index);

// What the pages call in the page machinery and the toolkit; tests replace entries.
struct WorkspacePageHooks {
    bool (*showPage)(UIPage* page, gWindow* window, uint32_t style, PanelBuilder key, uint32_t slotCount,
                     uint32_t slotIndex, uint32_t tableSize, int32_t pageId, PageBuildFn build,
                     PageRefreshFn refresh, UIElement** outElement) = nullptr;
    // Sets a field's text (the readouts write through it).
    void (*setTextN)(gElement* widget, const char* text, int32_t length) = nullptr;
};
WorkspacePageHooks& TheWorkspacePageHooks();
void WorkspacePageHooksDefaults(WorkspacePageHooks* hooks);

// (The workspace's panel builder, WorkspacePanelBuilder of views/workspace.h, is defined
// here: the page of a page id built or refreshed in a window; the number of pages
// handled, single-page ids 1 or 0.)

// ---- Finding pages ------------------------------------------------------------------------

// The workspace whose pages a page record holds, or null.
WorkspaceComponent* WorkspaceOfPage(const UIPage* page);
// The workspace of a page element (the handlers' user data), or null.
WorkspaceComponent* WorkspaceOfElement(const UIElement* element);
// The page table of the workspace (the page the builder was last called with), or null.
UIPage* WorkspacePageTable(WorkspaceComponent* workspace);
// The element of a table index while it exists with a widget in its first slot; with
// `needUi` only while the user interface is up. Null otherwise.
UIElement* WorkspaceOpenPage(WorkspaceComponent* workspace, uint32_t index, bool needUi = true);
// The page's window is neither hidden nor minimised.
bool PageWindowVisible(const UIElement* element);

// ---- Fields ---------------------------------------------------------------------------------

// Sets a field's text through the hooks (null: empty).
void PageSetText(gElement* widget, const char* text);
// The same only when the text differs; true when it was written.
bool PageSetTextChanged(gElement* widget, const char* text);
// Paints one field at once: nothing while its window's state has a bit of 0x199C (the
// window is not touched); the field alone where the swap keeps the back buffer, else its
// window whole; the window's full-repaint mark is cleared when it was painted whole.
void RepaintFieldNow(gElement* widget);

// Places the group of a page being built at (x, y) of its window: where the page's first
// row starts, within the group's margins.
void PageGroupAt(UIElement* element, float x, float y);
// Moves the element's group, its rows and widgets with it, to (x, y).
void PageGroupMoveTo(UIElement* element, float x, float y);

// A page built before its window could make its font gets the window's font now: every
// widget of the window without a font takes it, and its text is laid out again.
void PageAdoptWindowFont(UIElement* element);

// ---- The page font ----------------------------------------------------------------------------

// The page font ("Times", 10 px, Cyrillic) of a window, from the cache of two places: a
// window that owns a place gets its font again (counted); a free place is filled for a
// new window. False when both places belong to other windows or the font cannot be made.
bool WorkspacePageFont(gWindow* window, gFont** out);
// Forgets both places (their windows went).
void WorkspacePageFontReset();

// ---- Building -----------------------------------------------------------------------------------

// Adds widgets to the group of a page being built, one after another; a new row starts
// after Row(). Each widget gets the element as its handlers' user data.
struct PageWidgets {
    gWindow* window = nullptr;
    uint32_t slot = 0;              // the group's slot bits
    uintptr_t data = 0;
    bool newRow = false;
    uint32_t buttonColour = 0x46D7070;

    PageWidgets(UIElement* element);
    void Row() { newRow = true; }
    gElement* Add(int32_t kind, float width, float height, const char* text,
                  void (*onClick)(gElement*, uintptr_t) = nullptr, uint32_t colour = 0);
    // A caption sized to its text.
    gElement* Caption(const char* text, float height = 17.0f);
    // An edit field (kind 6) with its change handler.
    gElement* Field(float width, float height, const char* text, void (*onChange)(gElement*, uintptr_t) = nullptr);
    // A read-only text field.
    gElement* Display(float width, float height, const char* text);
    // A button showing a glyph of the symbol face.
    gElement* Glyph(int32_t kind, float width, float height, uint8_t glyph,
                    void (*onClick)(gElement*, uintptr_t) = nullptr);
};

// ---- Opening ---------------------------------------------------------------------------------------

// Opens the windows of the workspace's tool pages: the zoom bar, the lens and the value
// readout in its group's window and, in the main group, the fast selector and the
// transport page beside it.
void WorkspaceOpenToolPages(WorkspaceComponent* workspace);
// Puts a page window that the user opened over the cells in their top-right corner, or
// with `bottomLeft` in their bottom-left one.
// `passOver`: a window whose place does not count (it is placed next).
void WorkspacePlaceOverCells(WorkspaceComponent* workspace, int32_t id, bool bottomLeft = false,
                             gWindow* passOver = nullptr);
// Places the pages shown over the cells (the grid page, then the statistic overlay of the
// main window) each at the free place nearest the cells' top-right corner, the one after
// the other: where they stand follows from which of them are shown, not from the order
// they came in, so that a start shows them where they were.
void WorkspacePlaceFloatingPages(WorkspaceComponent* workspace);
// Places the chart window's readouts (the coordinates of the cursor and the statistics of
// the curve) in the room above its panel's tabs, side by side when they do not fit one
// above the other.
void WorkspacePlaceChartReadouts(WorkspaceComponent* workspace);
// Places the open transport window beside the fast selector's, on its right with their tops
// level, and the coordinates and view mode pages after it in that row, so that none covers
// another.
void WorkspacePlaceToolPages(WorkspaceComponent* workspace);

// Where the value page (-2) lies in a group window with the left inset `left`: in the
// first of the group's two panel rectangles (from its first tab-area point down to the
// second), one pixel below the top, as wide as the inset leaves and at least 100 x 100:
// {x, y, width, height}.
void ValuePagePlacement(const WindowGroup* group, int32_t left, int32_t out[4]);
// The value page with the image preview opens when a workspace whose group has a left
// inset gets an active cell and the page never had a window; placed by the inset of now.
// The tool window's opens only when asked for with `toolWindow` (its chart has something
// to show in the preview). True when the page's window was opened.
bool WorkspaceOpenValuePage(WorkspaceComponent* workspace, bool toolWindow = false);

}  // namespace orva
