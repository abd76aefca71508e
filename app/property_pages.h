#pragma once
// Property pages: a component's panel builder calls ShowComponentPage once for each
// block of controls it owns; the block is built the first time it is shown in a window
// and only refreshed afterwards. The windows a component opens for its pages
// (OpenComponentWindow) and the panel builders of the options-window components.
// UI thread only.
#include <cstdint>

#include "app/ui_elements.h"

namespace orva {

struct gElement;
struct gWindow;

// Creates the block's widgets into the element's slot array.
using PageBuildFn = void (*)(UIElement* element, gElement** slots);
// Sets the block's widgets from the component's current values.
using PageRefreshFn = void (*)(UIPage* page, UIElement* element, int32_t pageId);

// style: group style bits (0xFC000) and placement flags for the block's group, 0 for the
// window's default group; key: the component's panel builder; slotCount 1..4096;
// slotIndex: the block's place in the page's table; tableSize: the table's size on the
// page's first build. True when the block was built or refreshed (or nothing had to be
// done); false when its group, view, slots or glyphs could not be had.
bool ShowComponentPage(UIPage* page, gWindow* window, uint32_t style, PanelBuilder key, uint32_t slotCount,
                       uint32_t slotIndex, uint32_t tableSize, int32_t pageId, PageBuildFn build,
                       PageRefreshFn refresh, UIElement** outElement);

// Window modes of OpenComponentWindow.
constexpr int32_t kWindowToggle = 0;   // shows a hidden window, closes a shown one
constexpr int32_t kWindowRefresh = 2;  // refreshes a shown window only
constexpr int32_t kWindowClose = 3;

// Opens, refreshes or closes the window of one record of an options-window component.
// Returns the window (null when it is closed or not made).
gWindow* OpenComponentWindow(OptionsWindow* component, gWindow* parent, int32_t mode, intptr_t extra,
                             UIWindowRecord* record);

// The close request of an options window: true when the window went (placement saved),
// false when it was only hidden.
bool OptionsWindowCloseRequest(gWindow* window, void* component);
// Bit 0: the -512 window was visible; bit 1: it is visible afterwards.
int32_t OptionsPageRefresh(OptionsWindow* component, gWindow* window, int32_t mode, intptr_t argument);
void OptionsRefreshStandardPage(OptionsWindow* component, gWindow* window);
// OpenComponentWindow over every record; the number of windows shown.
int32_t OptionsRefreshAll(OptionsWindow* component);

// The panel builders of the options-window components.
int32_t GenericWindowBuilder(PageWindow* page, void* window, int32_t pageId);
int32_t OptionsPageBuild(PageWindow* page, void* window, int32_t pageId);

// The tab bar of a record's window: one tab per block, the chosen block shown.
void WindowTabsRefresh(gElement* tabBar, UIWindowRecord* record);
bool WindowTabSelect(UIWindowRecord* record, int32_t index);
// The same for any tab bar over the blocks of a page in the tab bar's window: a block
// listed for the first time is moved below the tab bar; the chosen block is shown, the
// others hidden.
void PageTabsRefresh(gElement* tabBar, UIPage* page);
bool PageTabSelect(UIPage* page, gWindow* window, int32_t index);
// Moves a group with its rows and widgets down by dy (up when negative).
void ShiftGroupBy(gGroup* group, float dy);
// Shows or hides a group with its widgets; true when that changed anything.
bool SetGroupShown(gGroup* group, bool show);
// Shows or hides what a page record shows in a group window: its own block (the title
// label and, for a record with a tab bar, that tab bar) and the blocks of the page it
// hosts, of which a tab bar shows only the chosen one. True when that changed anything.
bool SetDockedPageShown(UIPage* record, gWindow* window, bool show);
// The group of that tab bar (null without one).
gGroup* DockedTabGroup(const UIPage* record);

// The toolkit window kept by the shell for the records' state buttons (null: none).
gWindow*& StateButtonBar();
// Reopens the standard page of the owner's current data.
void StateButtonPress(gElement* button, uintptr_t record);

}  // namespace orva
