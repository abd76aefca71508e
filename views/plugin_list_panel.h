#pragma once
// The "Plugins" panel of a Processing stage: its filter chain as a list ("On", "Name";
// rows of filters that failed dimmed), "Add Filter" with the module menu of the filter
// registry (a submenu per component id and per author, then the plain entries),
// "Edit" with the chain's commands, and the settings page of the current filter below
// the list. The chain is the model: every command edits it (under the display lock)
// and the list is filled from it again. UI thread only.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class FilterInstance;
class FilterModuleRecord;
class ProcessingComponent;
class UIElement;
class UIPage;
struct gElement;
struct gMenu;
struct PluginPanel;

// Slots of the panel.
constexpr uint32_t kPluginAddFilter = 0, kPluginEdit = 1, kPluginList = 2;
constexpr uint32_t kPluginSlotCount = 3;

// The commands of the "Edit" menu, by their codes.
constexpr int32_t kPluginProperties = 1, kPluginRemove = 2, kPluginRemoveAll = 3, kPluginMoveUp = 4,
                  kPluginMoveDown = 5, kPluginRescan = 6;

// The panel builder of every Processing stage (its component's panelBuilder).
int32_t PluginListPanelBuilder(PageWindow* page, void* window, int32_t pageId);
// The builder as the processing layer and the shell ask for it.
PanelBuilder PluginListPanelBuilderFn();

// The panel element that shows the component, or null.
UIElement* PluginListElement(ProcessingComponent* component);
// The panel record of an element, or null.
PluginPanel* PluginPanelOf(UIElement* element);
// The component the panel shows, or null.
ProcessingComponent* PluginPanelComponent(PluginPanel* panel);

// Refills the list of the component's panel; with `selectCurrent` the current instance's
// row is selected, with `showPage` its settings page shown, with `redraw` the panel
// repainted. False when the component shows no panel, and on any thread but the user
// interface's (a module fault in a pull elsewhere leaves the list as it is).
bool RefreshPluginList(ProcessingComponent* component, bool selectCurrent, bool showPage, bool redraw);

// The "Edit" menu's entries that are enabled, by command code (index 0 unused).
struct PluginEditStates {
    bool enabled[7] = {};
};
PluginEditStates PluginListEditStates(PluginPanel* panel);
// A command of the "Edit" menu (0: the menu opens, its entries are enabled as the chain
// allows). False when it did nothing.
bool PluginListCommand(PluginPanel* panel, int32_t command);
// "Edit": opens the menu when the chain has an instance; true when it opened.
bool PluginListOpenEdit(PluginPanel* panel);

// "Add Filter": the module menu, built from the registry at its first opening and
// dropped when the registry reloads. The menu (null when it cannot be made).
gMenu* PluginListModuleMenu(PluginPanel* panel);
bool PluginListOpenModules(PluginPanel* panel);
// Inserts a filter of the record's module at the chain's current place; on success the
// list shows it with its page and, when it runs, the stages below are told (event 12).
bool AddFilterFromMenu(PluginPanel* panel, FilterModuleRecord* record);

// A click on the list at a row (0-based; -1 outside the rows) and column (0 "On", 1
// "Name") with the toolkit's click state (2 and 6: double click).
void PluginListClick(PluginPanel* panel, int32_t row, int32_t column, int clickState);

// Shows the settings page of an instance of the panel's chain below the list (made on
// first use with the module's builder and kept by the instance); null hides the shown one.
bool PluginListShowPage(PluginPanel* panel, FilterInstance* instance);
// The page shown now (its root widget), or null.
gElement* PluginListShownPage(PluginPanel* panel);
// The instance goes: its page is hidden and destroyed.
void PluginListReleasePage(FilterInstance* instance);

// Lets every Processing stage build this panel and the chain refresh it.
void InstallPluginListPanel();

}  // namespace orva
