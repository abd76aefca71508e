#pragma once
// The main window's menu bar: the direct commands "Open" and "Save" and the menus "Draw",
// "Edit", "View" and "Help", built from constant row tables. Each menu's update callback
// greys or enables its items every time it opens; the commands act on the shapes of the
// current data view, open the data files, the Output panel, the tool window, the help and
// the web pages. The views, shapes, the open road and the Output live above the shell:
// they hand their operations in through MainMenuHooks at start-up. UI thread only.
#include <cstdint>

namespace orva {

class CUI;
class ComponentBase;
struct MenuBar;
struct gMenuItem;
struct gMenuRow;

// The positions of the bar.
constexpr int32_t kMenuOpen = 0;
constexpr int32_t kMenuSave = 1;
constexpr int32_t kMenuDraw = 2;
constexpr int32_t kMenuEdit = 3;
constexpr int32_t kMenuView = 4;
constexpr int32_t kMenuHelp = 5;

// Row kinds kept beside the rows (the toolkit's rows have no such flag).
constexpr uint8_t kRowPlain = 0;
constexpr uint8_t kRowCheck = 1;
constexpr uint8_t kRowRadio = 2;

// A data view as the menus see it (filled by MainMenuHooks::viewState).
struct MenuViewState {
    bool hasWindow = false;         // the view has its graphics window
    bool hasContainer = false;      // and a shape container
    bool hasData = false;           // and shows data (shapes are drawn on data only)
    bool placing = false;           // a shape is being drawn
    bool selectMode = false;        // selection mode is on (the select frame is active)
    bool selectPossible = false;    // the view can select
    bool editMode = false;          // the container is in edit mode
    int32_t editCounter = 0;        // the view's edit counter
    int32_t shapeCount = 0;         // the view's shape count
    bool hasCurrentShape = false;
    int32_t currentShapeKind = -1;
    int32_t undoSteps = 0;          // steps the undo list can undo
    int32_t redoSteps = 0;          // and redo
    bool anchorToolActive = false;
    bool frameShown = false;        // the view's frame widget is shown
    bool keysMoveShape = false;     // Shift with the arrows, and the wheel, move the current shape
};

// The answer of the Output panel's opening: it shows now; it stood already before the call
// (a Save leaves such a panel standing and closes one that it opened itself).
constexpr int32_t kOutputPanelShown = 1;
constexpr int32_t kOutputPanelWasShown = 2;
constexpr int32_t kOutputPanelShow = 1;  // page codes
constexpr int32_t kOutputPanelClose = 3;

// What the menus call in the layers above the shell. An entry that is not installed does
// nothing; without viewState every view counts as missing (the Draw and Edit items grey).
struct MainMenuHooks {
    // "Open": the "Open data file(s)" dialog of the open road, with mode 0.
    void (*openDataFiles)(CUI* cui, int32_t mode) = nullptr;
    // The Output panel of the workspace: page code 1 shows it, 3 closes it; the result's
    // bits are kOutputPanelShown and kOutputPanelWasShown.
    int32_t (*openOutputPanel)(int32_t pageCode, int32_t flag) = nullptr;
    // Whether the Output panel stands on the screen now.
    bool (*outputPanelShown)() = nullptr;
    // The view of a graphics window (the CUI's menu target); the Draw menu and the second
    // Edit group act on it. The first Edit group acts on the CUI's menu view.
    void* (*viewOfTarget)(ComponentBase* target) = nullptr;
    bool (*viewState)(void* view, MenuViewState* state) = nullptr;
    // The image view: a drawing tool started (kind, tool mode; an active tool ends first),
    // the current shape taken up again, the placement ended with a result, a repaint.
    void (*startShapeTool)(void* view, int32_t kind, int32_t toolMode) = nullptr;
    void (*takeUpShape)(void* view) = nullptr;
    void (*endPlacement)(void* view, int32_t result) = nullptr;
    void (*repaintView)(void* view) = nullptr;
    // The view's shape container.
    void (*undoStep)(void* view, bool undo) = nullptr;
    bool (*copyShape)(void* view) = nullptr;
    void (*pasteShapeAtPointer)(void* view) = nullptr;
    void (*removeShapes)(void* view, bool all) = nullptr;        // with a redraw
    void (*setAnchorTool)(void* view, int32_t tool) = nullptr;   // 0 none, 1 scissor, 2 add, 3 delete
    void (*clipShape)(void* view) = nullptr;                     // to the data area, with a redraw
    void (*inscribeAnchors)(void* view, int32_t mode) = nullptr; // modes 2..4, with a redraw
    void (*enterSelectMode)(void* view) = nullptr;
    bool (*leaveSelectMode)(void* view) = nullptr;               // whether it was on
    bool (*clipboardHasShape)() = nullptr;
    // Switches whether Shift with the arrows, and the wheel, move the view's current shape
    // (instead of scrolling).
    void (*setKeysMoveShape)(void* view, bool on) = nullptr;
    // The "Edit Shape…" panel, shown.
    void (*openEditShapePanel)() = nullptr;
    // View > "Layout" is about to open: its entries' check marks.
    void (*layoutMenuChecks)(gMenuItem* header) = nullptr;
};
MainMenuHooks& TheMainMenuHooks();

// Builds the bar's titles and menus (the shell's buildMainMenus hook). Sets the CUI's
// tools item and the submenus the panels fill ("Preferences", "Layout", "Chart Tools").
void BuildMainMenus(CUI* cui, MenuBar* bar);

// The rows of the menus as built (tests read the items and call the update callbacks).
struct MainMenuTable {
    gMenuRow* rows = nullptr;
    const uint8_t* kinds = nullptr;  // kRowPlain, kRowCheck or kRowRadio per row
    int32_t count = 0;
};
enum class MainMenuGroup { Draw, EditFirst, EditSecond, EditKeys, EditPreferences, ViewTools, ViewLayout, ViewChartTools,
                           ViewEnd, Help, HelpWeb, ViewOutput };
MainMenuTable MainMenuRows(MainMenuGroup group);
// The update callbacks, as the menus run them when they open.
void DrawMenuUpdate(gMenuRow* rows, uint32_t data);
void EditMenuFirstUpdate(gMenuRow* rows, uint32_t data);
void EditMenuSecondUpdate(gMenuRow* rows, uint32_t data);
void EditMenuKeysUpdate(gMenuRow* rows, uint32_t data);
void ViewMenuUpdate(gMenuRow* rows, uint32_t data);
// View > "Output Options" is about to open; and its check mark set to whether the Output
// panel stands (the panel also goes by Esc and at the end of a Save that opened it).
void ViewOutputUpdate(gMenuRow* rows, uint32_t data);
void SyncOutputMenuCheck();
// The submenus that panel pages fill ("Preferences", "Layout", "Chart Tools") are greyed
// while no page has put an entry into them, so that they never open empty; the first
// entry enables them at the next opening.
void PageSubmenuUpdate(gMenuRow* rows, uint32_t data);

// A placement that ended the tool: with tool modes 5 and above the drawing tool's mark
// goes at once, with the others at the next start of a tool.
void DrawToolEnded(int32_t toolMode);

// The View menu's "Layout" submenu item (null before the menus are built).
gMenuItem* LayoutMenuHeader();
// The View menu's "Chart Tools" submenu (its entries are the "Chart Tools" window's pages).
gMenuItem* ChartToolsMenuHeader();

// Installs the menus in the shell's start-up.
void InstallMainMenus();

}  // namespace orva
