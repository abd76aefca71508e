#pragma once
// Two one-widget pages of the workspace: the select tab, a strip with one tab per opened
// file (item) of the current project that makes the clicked item current, and the
// statistic overlay, a two-column list that the display cells fill with the statistics
// of the data under the cursor, whose Ctrl+C goes to the active cell. UI thread only.
#include <cstdint>

namespace orva {

class Project;
class ProjectItem;
class UIElement;
class UIPage;
class WorkspaceComponent;
class ListCtrl;
struct StatListDescriptor;
struct gElement;
struct gWindow;

// The label of an item's tab: its name, "[none]" without one.
const char* SelectTabLabel(const ProjectItem* item);

// ---- Select tab ----------------------------------------------------------------------------

// Where the strip's group starts in a window: in a project window group's own window right
// of its page column and just under its top margin (its side width and top margin + 1),
// elsewhere at (120, 1).
void SelectTabPlace(const gWindow* window, float place[2]);
void BuildSelectTabPage(UIElement* element, gElement** slots);
// The strip standing in a project window group's own window, above the workspace: the
// height of the band it takes there (its group with the group's margins), 0 when the
// workspace's strip is not open in that window or is hidden.
float SelectTabBandHeight(WorkspaceComponent* workspace, const gWindow* window);
// Moves that strip so that its group starts at (x, y) and fits its width to the window.
void SelectTabMoveTo(WorkspaceComponent* workspace, const gWindow* window, float x, float y);
// The strip as wide as its window leaves (the window's width less its x and 2).
void SelectTabFitWidth(WorkspaceComponent* workspace);
// The page machinery's refresh: the strip refilled from the current project.
void SelectTabPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
// Refills the strip, then refreshes the transport and fast selector pages.
void RefreshSelectTabStrip(WorkspaceComponent* workspace);
// The control lets its current tab follow its item, is repainted, and the transport and
// fast selector pages are refreshed.
void RefreshSelectTabPage(WorkspaceComponent* workspace);
// Empties and refills the strip alone; false when it is not open or the user interface
// is down.
bool SelectTabRefill(WorkspaceComponent* workspace);
// Empties and refills the strip; on event 7 every dirty window is repainted. False:
// nothing was done (page closed or the user interface down).
bool SelectTabCurrent(WorkspaceComponent* workspace, int32_t event);
// Makes the item's tab the strip's current one. True when the control took it, it is
// shown and the event (3 and above, but not 7, which repaints every dirty window
// itself) asks the caller to repaint.
bool SelectTabByIndex(WorkspaceComponent* workspace, ProjectItem* item, int32_t event);
// The tab-select handler: a tab of a live item of the current project makes it current;
// a tab whose item went is removed.
void SelectTabPress(gElement* tabs, uintptr_t element);
// The project the strip shows (the user interface's current one); tests replace it.
struct SelectTabHooks {
    Project* (*currentProject)(WorkspaceComponent* workspace) = nullptr;
    bool (*selectItem)(ProjectItem* item) = nullptr;
    void (*refreshAll)() = nullptr;
};
SelectTabHooks& TheSelectTabHooks();
void SelectTabHooksDefaults(SelectTabHooks* hooks);

// ---- Statistic overlay -------------------------------------------------------------------------

// The list's group starts at (2, 0) of its window.
constexpr float kStatisticPlace[2] = {2.0f, 0.0f};
void BuildStatisticPage(UIElement* element, gElement** slots);
// The list shows a table's labels (its kind and rows); its window fits the new height.
// True when the list holds that table.
bool StatisticListUseTable(ListCtrl* list, const StatListDescriptor* table);
// The height the list may take (0: as tall as its rows); what does not fit scrolls, with
// the bar and the wheel.
void StatisticListSetRoom(ListCtrl* list, float height);
// The list window's key handler: Ctrl+C and Ctrl+Insert go to the active cell of the
// workspace while its window may take keys, else to the sibling windows.
bool StatisticListKey(gWindow* window, gWindow* from, void* key);

}  // namespace orva
