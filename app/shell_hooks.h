#pragma once
// What the shell calls in the layers built on it (the workspace, the draw containers,
// the Output, playback, the plug-in list, the shape panel, the exit path and the
// preferences, the menus). Each layer installs its functions at start-up; an empty entry
// does what the shell does without that layer.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class CUI;
class ProjectItem;
struct FormatDesc;
struct WindowGroup;
struct MenuBar;
struct gWindow;

struct ShellHooks {
    // Workspace: the draw container of a group window, and the layout of a data window in
    // a group window's client area.
    ComponentBase* (*createWorkspaceContainer)(CUI* cui, WindowGroup* group) = nullptr;
    void (*workspaceLayout)(gWindow* dataWindow, WindowGroup* group, int32_t width, int32_t height,
                            int notify) = nullptr;
    // Every window of the start stands: the pages shown over the cells take their places.
    void (*placeFloatingPages)(CUI* cui) = nullptr;
    // The display cells of a workspace: by slot number (0: the active one), placed in a
    // slot, made for a window, and the test whether a cell sits in a slot.
    DisplayCellBase* (*getCellByNumber)(ComponentBase* workspace, uint32_t number) = nullptr;
    bool (*placeCellInSlot)(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) = nullptr;
    DisplayCellBase* (*createDisplayCell)(CUI* cui, ComponentBase* workspace, void* hostWindow, int flag) = nullptr;
    bool (*cellInSlot)(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) = nullptr;
    // The display cell is one of the group window's (drawn in it or in its workspace).
    bool (*cellOfWindow)(const ComponentBase* cell, const void* groupWindow) = nullptr;
    // Tab selection of the draw containers: by item (the item closed or selected) and of
    // the current tab; true when the selection changed.
    bool (*selectTabByIndex)(ComponentBase* container, ProjectItem* item, int32_t code) = nullptr;
    bool (*selectTabCurrent)(ComponentBase* container, int32_t code) = nullptr;
    // The strip alone refilled from the current project (no other page refreshed).
    bool (*refillSelectTab)(ComponentBase* container) = nullptr;

    // The Output.
    ComponentBase* (*createItemOutput)(CUI* cui) = nullptr;
    PanelBuilder (*getOutputPanelBuilder)() = nullptr;
    void (*reconnectItemOutput)(ComponentBase* output, ProjectItem* item) = nullptr;
    bool (*outputSelectFormat)(ComponentBase* output, const FormatDesc* format) = nullptr;
    bool (*outputSaveCommand)(ComponentBase* output, ProjectItem* item, int32_t code, PanelBuilder builder) = nullptr;
    // The Output's source went away.
    void (*outputSourceGone)(ComponentBase* output, ComponentBase* source) = nullptr;
    // The component whose data the Output writes (null: none).
    ComponentBase* (*outputSource)(ComponentBase* output) = nullptr;
    // Bit 2 of the output options: the output's format follows the save dialog.
    bool (*outputFollowsDialog)(ComponentBase* output) = nullptr;

    // Playback: stops or refreshes the playback handler before the current data changes.
    void (*playbackRefresh)(int32_t code) = nullptr;

    // Panels of the main window.
    PanelBuilder (*getPluginListPanelBuilder)() = nullptr;
    void (*showEditShapePanel)(void* panelRecord, gWindow* mainWindow) = nullptr;
    void (*preferencesDialog)(gWindow* mainWindow) = nullptr;

    // The exit path: "Exit", the close box and Alt+F4 (empty: the main window closes);
    // the close request of the main window (empty: the close goes on).
    void (*exitCommand)() = nullptr;
    bool (*mainCloseRequest)(gWindow* window, void* data) = nullptr;
    // The question before open data is closed: true to go on (empty: go on).
    bool (*confirmCloseData)() = nullptr;

    // The menus of the main window's menu bar.
    void (*buildMainMenus)(CUI* cui, MenuBar* bar) = nullptr;
};
ShellHooks& TheShellHooks();

// What the shell does itself where a layer is not installed.
void PlaybackRefresh(int32_t code);
bool ConfirmCloseData();
void ExitCommand();

}  // namespace orva
