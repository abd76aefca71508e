#include "app/main_menu.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "app/cui.h"
#include "app/help_links.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "app/shell_hooks.h"
#include "app/ui_startup.h"
#include "platform/shell.h"
#include "toolkit/input.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using Handler = uint8_t (*)(void* item, uint32_t data);

// One row of a constant table.
struct RowDef {
    const char* label;
    uint32_t key;
    Handler handler;
    uint32_t flags;   // toolkit row flags
    uint8_t kind;     // kRowPlain, kRowCheck or kRowRadio
};

constexpr uint32_t kShift = kKeyShift, kCtrl = kKeyCtrl, kAlt = kKeyAlt;
constexpr uint32_t kEsc = kKeyEscape, kDel = kKeyDelete;

// ---- The views the commands act on ---------------------------------------------------------------

struct View {
    void* view = nullptr;
    MenuViewState state;
    bool ready = false;  // the user interface is up and the view has its window, container and data
};

View Examine(void* view) {
    View v;
    v.view = view;
    MainMenuHooks& h = TheMainMenuHooks();
    if (view == nullptr || !gUiReady() || h.viewState == nullptr || !h.viewState(view, &v.state)) return v;
    v.ready = v.state.hasWindow && v.state.hasContainer && v.state.hasData;
    return v;
}

// The view of the menu target (Draw, second Edit group).
View TargetView() {
    CUI& cui = TheCUI();
    MainMenuHooks& h = TheMainMenuHooks();
    void* view = cui.menuTarget != nullptr && h.viewOfTarget != nullptr ? h.viewOfTarget(cui.menuTarget) : nullptr;
    return Examine(view);
}

// The menu view (first Edit group).
View MenuView() { return Examine(TheCUI().menuView); }

template <class F>
void Call(F* fn, auto... args) {
    if (fn != nullptr) fn(args...);
}

// ---- The tables as built ---------------------------------------------------------------------------------

struct Tables;
Tables& Built();

// The drawing tools: kind and tool mode per Draw row.
struct Tool {
    int32_t row, kind, mode;
};
constexpr Tool kTools[] = {{4, 3, 5}, {5, 1, 5}, {6, 2, 5}, {7, 4, 6}, {8, 6, 6},
                           {9, 4, 7}, {11, 0, 1}, {12, 3, 2}, {13, 1, 2}, {14, 1, 4}, {15, 4, 3}};
constexpr int32_t kCancelRow = 0;

// Checks the radio row of the Draw menu (-1: none).
void MarkDrawRow(int32_t row);
// Shows the keys' option of the Edit menu checked or not.
void MarkKeysMoveShape(bool on);

// ---- Draw --------------------------------------------------------------------------------------------------

template <int Index>
uint8_t ToolCommand(void*, uint32_t) {
    View v = TargetView();
    if (!v.ready) return 1;
    const Tool& t = kTools[Index];
    Call(TheMainMenuHooks().startShapeTool, v.view, t.kind, t.mode);
    MarkDrawRow(t.row);
    return 1;
}

uint8_t DrawCancel(void*, uint32_t) {
    View v = TargetView();
    if (!v.ready) return 1;
    if (v.state.placing) {
        Call(TheMainMenuHooks().endPlacement, v.view, 0);
        MarkDrawRow(kCancelRow);
    }
    return 1;
}

uint8_t AddAnchors(void*, uint32_t) {
    View v = TargetView();
    if (v.ready) Call(TheMainMenuHooks().takeUpShape, v.view);
    return 1;
}

// ---- Edit, first group (the menu view) ----------------------------------------------------------------

uint8_t Undo(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || v.state.undoSteps <= 0) return 0;
    Call(TheMainMenuHooks().undoStep, v.view, true);
    return 1;
}

uint8_t Redo(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || v.state.redoSteps <= 0) return 0;
    Call(TheMainMenuHooks().undoStep, v.view, false);
    return 1;
}

bool CopyCurrent(const View& v) {
    MainMenuHooks& h = TheMainMenuHooks();
    return v.ready && v.state.hasCurrentShape && h.copyShape != nullptr && h.copyShape(v.view);
}

uint8_t Cut(void*, uint32_t) {
    View v = MenuView();
    if (!CopyCurrent(v)) return 0;
    Call(TheMainMenuHooks().removeShapes, v.view, false);
    return 1;
}

uint8_t Copy(void*, uint32_t) { return CopyCurrent(MenuView()) ? 1 : 0; }

bool ClipboardHasShape() {
    MainMenuHooks& h = TheMainMenuHooks();
    return h.clipboardHasShape != nullptr && h.clipboardHasShape();
}

uint8_t Paste(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || !ClipboardHasShape()) return 0;
    Call(TheMainMenuHooks().pasteShapeAtPointer, v.view);
    return 1;
}

uint8_t Delete(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || !v.state.hasCurrentShape) return 0;
    Call(TheMainMenuHooks().removeShapes, v.view, false);
    return 1;
}

uint8_t ExitEditMode(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || !v.state.editMode || v.state.editCounter < 1) return 0;
    Call(TheMainMenuHooks().setAnchorTool, v.view, 0);
    return 1;
}

// An anchor tool works on the current shape in any edit mode: choosing it brings the shape
// into anchor editing.
bool AnchorToolsOpen(const MenuViewState& s) { return s.editMode || s.hasCurrentShape; }

template <int Tool>
uint8_t AnchorTool(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || !AnchorToolsOpen(v.state)) return 0;
    Call(TheMainMenuHooks().setAnchorTool, v.view, Tool);
    return 1;
}

uint8_t ClipAnchors(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || !v.state.hasCurrentShape) return 0;
    Call(TheMainMenuHooks().clipShape, v.view);
    return 1;
}

template <int Mode>
uint8_t Inscribe(void*, uint32_t) {
    View v = MenuView();
    if (!v.ready || !v.state.hasCurrentShape) return 0;
    Call(TheMainMenuHooks().inscribeAnchors, v.view, Mode);
    return 1;
}

// ---- Edit, second group (the menu target's view) ------------------------------------------------------

uint8_t DeleteAll(void*, uint32_t) {
    View v = TargetView();
    if (v.ready && v.state.shapeCount > 0) Call(TheMainMenuHooks().removeShapes, v.view, true);
    return 1;
}

uint8_t Select(void*, uint32_t) {
    View v = TargetView();
    if (v.ready && v.state.selectPossible && !v.state.selectMode) Call(TheMainMenuHooks().enterSelectMode, v.view);
    return 1;
}

uint8_t Deselect(void*, uint32_t) {
    View v = TargetView();
    if (!v.ready) return 1;
    MainMenuHooks& h = TheMainMenuHooks();
    if (v.state.placing) {
        Call(h.endPlacement, v.view, 0);
        MarkDrawRow(kCancelRow);
        return 1;
    }
    if (v.state.anchorToolActive) Call(h.setAnchorTool, v.view, 0);
    bool was = h.leaveSelectMode != nullptr && h.leaveSelectMode(v.view);
    if (was && v.state.frameShown) Call(h.repaintView, v.view);
    return 1;
}

uint8_t EditShape(void*, uint32_t) {
    View v = TargetView();
    if (v.ready && v.state.shapeCount > 0) Call(TheMainMenuHooks().openEditShapePanel);
    return 1;
}

// ---- Edit, the keys' option (the menu target's view) ----------------------------------------------

// The view's shapes scroll with Shift and the arrows unless the user chooses that the
// keys, and the wheel, move the current shape instead.
uint8_t KeysMoveShape(void*, uint32_t) {
    View v = TargetView();
    if (!v.ready) return 1;
    const bool on = !v.state.keysMoveShape;
    Call(TheMainMenuHooks().setKeysMoveShape, v.view, on);
    MarkKeysMoveShape(on);
    return 1;
}

// ---- View and Help -------------------------------------------------------------------------------------

uint8_t ShowTools(void*, uint32_t) {
    if (!gUiReady()) return 0;
    CUI& cui = TheCUI();
    bool shown = ToolWindowToggle(&cui);
    if (cui.toolsItem != nullptr) gMenuCheckItem(cui.toolsItem, shown);
    return 1;
}

// The Output panel, shown or put away from the View menu: its settings are set there
// before a Save, and a panel opened so stands through the saves.
uint8_t ShowOutputOptions(void*, uint32_t) {
    MainMenuHooks& h = TheMainMenuHooks();
    if (!gUiReady() || h.openOutputPanel == nullptr) return 0;
    const bool shown = h.outputPanelShown != nullptr && h.outputPanelShown();
    h.openOutputPanel(shown ? kOutputPanelClose : kOutputPanelShow, 1);
    SyncOutputMenuCheck();
    return 1;
}

uint8_t Contents(void*, uint32_t) {
    if (!gUiReady()) return 0;
    OpenHelpFile();
    return 1;
}

uint8_t About(void*, uint32_t) {
    if (!gUiReady()) return 0;
    ShowAboutBox();
    return 1;
}

template <const char* Target>
uint8_t OpenLink(void*, uint32_t) {
    if (!gUiReady()) return 0;
    platform::SpawnDetached({"xdg-open", Target});
    return 1;
}

// ---- The tables ----------------------------------------------------------------------------------------

constexpr RowDef kDraw[] = {
    {"Cancel", kEsc, &DrawCancel, kMenuRowNoShortcut, kRowRadio},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Add Anchor(s)", 0, &AddAnchors, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Line", KeyF(5), &ToolCommand<0>, 0, kRowRadio},
    {"PolyLine", kShift | KeyF(5), &ToolCommand<1>, 0, kRowRadio},
    {"Curve", KeyF(6), &ToolCommand<2>, 0, kRowRadio},
    {"Rectangle", KeyF(7), &ToolCommand<3>, 0, kRowRadio},
    {"Circle", kShift | KeyF(7), &ToolCommand<4>, 0, kRowRadio},
    {"Area of Search", kShift | KeyF(8), &ToolCommand<5>, 0, kRowRadio},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Gauge | Coordinate [Point]", KeyF(8), &ToolCommand<6>, 0, kRowRadio},
    {"Gauge | Distance [Line]", KeyF(9), &ToolCommand<7>, 0, kRowRadio},
    {"Gauge | Distance [PolyLine]", kShift | KeyF(9), &ToolCommand<8>, 0, kRowRadio},
    {"Gauge | Angle", kCtrl | KeyF(9), &ToolCommand<9>, 0, kRowRadio},
    {"Gauge | Area", kAlt | KeyF(9), &ToolCommand<10>, 0, kRowRadio},
};

constexpr RowDef kEditFirst[] = {
    {"Undo", kCtrl | 'Z', &Undo, 0, kRowPlain},
    {"Redo", kCtrl | 'Y', &Redo, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Cut", kCtrl | 'X', &Cut, 0, kRowPlain},
    {"copy", kCtrl | 'C', &Copy, 0, kRowPlain},
    {"Paste", kCtrl | 'V', &Paste, 0, kRowPlain},
    {"Delete", kDel, &Delete, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"EXIT EDIT MODE", kShift | kEsc, &ExitEditMode, 0, kRowRadio},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Add Anchor Point", kCtrl | 'P', &AnchorTool<2>, 0, kRowPlain},
    {"Delete Anchor Point", kShift | 'P', &AnchorTool<3>, 0, kRowPlain},
    {"Scissor Tools", 0, &AnchorTool<1>, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Clip Anchor Points", kShift | 'C', &ClipAnchors, 0, kRowPlain},
    {"Inscribe Anchor Points", kShift | 'I', &Inscribe<2>, 0, kRowPlain},
    {"Inscribe Anchor Points [if outside]", kAlt | 'I', &Inscribe<3>, 0, kRowPlain},
    {"Inscribe Anchor Points [Not proportionally]", kCtrl | 'I', &Inscribe<4>, 0, kRowPlain},
};

constexpr RowDef kEditSecond[] = {
    {"Delete All [Shapes]", kShift | kDel, &DeleteAll, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Select", 0, &Select, 0, kRowPlain},
    {"Cancel | Deselect", kEsc, &Deselect, 0, kRowRadio},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"Edit Shape\x85", 0, &EditShape, 0, kRowRadio},
    {"Add Anchor(s)", 0, &AddAnchors, kMenuRowNoShortcut, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
};

constexpr RowDef kEditKeys[] = {
    {"Move Shape with Keys [Shift+Arrows, Wheel]", 0, &KeysMoveShape, 0, kRowCheck},
    {nullptr, 0, nullptr, 0, kRowPlain},
};

constexpr RowDef kEditPreferences[] = {{"Preferences", 0, nullptr, 0, kRowPlain}};

constexpr RowDef kViewTools[] = {
    {"Show Window \"Tools\"", KeyF(4), &ShowTools, 0, kRowCheck},
    {nullptr, 0, nullptr, 0, kRowPlain},
};
constexpr RowDef kViewLayout[] = {{"Layout", 0, nullptr, 0, kRowPlain}};
constexpr RowDef kViewChartTools[] = {{"Chart Tools", 0, nullptr, 0, kRowPlain}};
constexpr RowDef kViewEnd[] = {{nullptr, 0, nullptr, 0, kRowPlain}};
constexpr RowDef kViewOutput[] = {{"Output Options", 0, &ShowOutputOptions, 0, kRowCheck}};

constexpr RowDef kHelp[] = {
    {"Contents", 0, &Contents, 0, kRowCheck},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"About", 0, &About, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
};
constexpr RowDef kHelpWeb[] = {
    {"Web", 0, nullptr, 0, kRowPlain},
    {"Send Mail", 0, &OpenLink<kSupportMailTarget>, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"ORVA Home Page", 0, &OpenLink<kProductHomePage>, 0, kRowPlain},
    {"ORVA at the Maker's Site", 0, &OpenLink<kProductMakerPage>, 0, kRowPlain},
    {nullptr, 0, nullptr, 0, kRowPlain},
    {"The Maker's Home Page", 0, &OpenLink<kMakerHomePage>, 0, kRowPlain},
};

// The rows of one table as the toolkit builds them, with their kinds.
template <size_t N>
struct Group {
    gMenuRow rows[N];
    uint8_t kinds[N];
    void Reset(const RowDef (&defs)[N]) {
        for (size_t i = 0; i < N; ++i) {
            rows[i] = gMenuRow{defs[i].label, defs[i].key, defs[i].handler, defs[i].flags, nullptr};
            kinds[i] = defs[i].kind;
        }
    }
    MainMenuTable Table() { return {rows, kinds, static_cast<int32_t>(N)}; }
};

struct Tables {
    Group<std::size(kDraw)> draw;
    Group<std::size(kEditFirst)> editFirst;
    Group<std::size(kEditSecond)> editSecond;
    Group<std::size(kEditKeys)> editKeys;
    Group<std::size(kEditPreferences)> editPreferences;
    Group<std::size(kViewTools)> viewTools;
    Group<std::size(kViewLayout)> viewLayout;
    Group<std::size(kViewChartTools)> viewChartTools;
    Group<std::size(kViewEnd)> viewEnd;
    Group<std::size(kViewOutput)> viewOutput;
    Group<std::size(kHelp)> help;
    Group<std::size(kHelpWeb)> helpWeb;
};

Tables& Built() {
    static Tables tables;
    return tables;
}

void MarkDrawRow(int32_t row) {
    auto& draw = Built().draw;
    int32_t n = static_cast<int32_t>(std::size(draw.rows));
    // Only the radio rows carry a mark; k counts the rows that can carry one.
    int32_t k = -1, number = 0;
    for (int32_t i = 0; i < n; ++i) {
        gMenuItem* item = draw.rows[i].item;
        if (item == nullptr || draw.rows[i].label == nullptr) continue;
        if (draw.kinds[i] != kRowRadio) {
            gMenuCheckItem(item, false);
            ++number;
            continue;
        }
        if (i == row) k = number;
        ++number;
    }
    if (k < 0) {
        gMenuCheckItemList(draw.rows, n);
    } else {
        gMenuCheckItems(draw.rows, n, k);
    }
}

void MarkKeysMoveShape(bool on) {
    if (gMenuItem* item = Built().editKeys.rows[0].item) gMenuCheckItem(item, on);
}

// Greys every row of a table (true) or enables them.
void GreyAll(gMenuRow* rows, int32_t n, bool grey) { gMenuEnableItems(rows, n, grey); }

void Enable(gMenuRow& row, bool on) {
    if (row.item != nullptr) gMenuEnableItem(row.item, !on);
}

// The bar's direct commands.
void OpenCommand(gElement*, uintptr_t) {
    if (!gUiReady()) return;
    Call(TheMainMenuHooks().openDataFiles, &TheCUI(), 0);
}

// The Output panel stands beside the save's dialog. One that this Save opened goes when
// the save ends, written, failed or cancelled (the outcome is on the status line and in
// the log): it would stay over the picture with nothing left to set. One the user opened
// from the View menu stays.
void SaveCommand(gElement*, uintptr_t) {
    if (!gUiReady()) return;
    MainMenuHooks& h = TheMainMenuHooks();
    if (h.openOutputPanel == nullptr) return;
    const int32_t result = h.openOutputPanel(kOutputPanelShow, 1);
    if ((result & kOutputPanelShown) != 0 && !ModalOpen()) {
        ShellHooks& shell = TheShellHooks();
        WindowSaveCurrentItem(TheCUI().mainWindow, 3,
                              shell.getOutputPanelBuilder != nullptr ? shell.getOutputPanelBuilder() : nullptr);
    }
    if ((result & kOutputPanelWasShown) == 0) h.openOutputPanel(kOutputPanelClose, 1);
    SyncOutputMenuCheck();
}

template <class G>
bool Add(MenuBar* bar, int32_t title, G& group, bool submenu, MenuBarBeforeOpen update) {
    return MenuBar::AddItems(bar, title, group.rows, static_cast<int32_t>(std::size(group.rows)), submenu, false,
                             update, 0);
}

}  // namespace

MainMenuHooks& TheMainMenuHooks() {
    static MainMenuHooks hooks;
    return hooks;
}

MainMenuTable MainMenuRows(MainMenuGroup group) {
    Tables& t = Built();
    switch (group) {
        case MainMenuGroup::Draw: return t.draw.Table();
        case MainMenuGroup::EditFirst: return t.editFirst.Table();
        case MainMenuGroup::EditSecond: return t.editSecond.Table();
        case MainMenuGroup::EditKeys: return t.editKeys.Table();
        case MainMenuGroup::EditPreferences: return t.editPreferences.Table();
        case MainMenuGroup::ViewTools: return t.viewTools.Table();
        case MainMenuGroup::ViewLayout: return t.viewLayout.Table();
        case MainMenuGroup::ViewChartTools: return t.viewChartTools.Table();
        case MainMenuGroup::ViewEnd: return t.viewEnd.Table();
        case MainMenuGroup::ViewOutput: return t.viewOutput.Table();
        case MainMenuGroup::Help: return t.help.Table();
        case MainMenuGroup::HelpWeb: return t.helpWeb.Table();
    }
    return {};
}

void DrawMenuUpdate(gMenuRow* rows, uint32_t) {
    const int32_t n = static_cast<int32_t>(std::size(kDraw));
    View v = TargetView();
    if (!v.ready) {
        GreyAll(rows, n, true);
        return;
    }
    GreyAll(rows, n, false);
    Enable(rows[kCancelRow], v.state.placing || v.state.selectMode);
}

void EditMenuFirstUpdate(gMenuRow* rows, uint32_t) {
    const int32_t n = static_cast<int32_t>(std::size(kEditFirst));
    View v = MenuView();
    if (!v.ready) {
        GreyAll(rows, n, true);
        return;
    }
    const MenuViewState& s = v.state;
    GreyAll(rows, n, false);
    Enable(rows[0], s.undoSteps > 0);
    Enable(rows[1], s.redoSteps > 0);
    for (int32_t i : {3, 4, 6, 14, 15, 16, 17}) Enable(rows[i], s.hasCurrentShape);
    Enable(rows[5], ClipboardHasShape());
    Enable(rows[8], s.editMode && s.editCounter >= 1);
    for (int32_t i : {10, 11, 12}) Enable(rows[i], AnchorToolsOpen(s));
}

void EditMenuSecondUpdate(gMenuRow* rows, uint32_t) {
    const int32_t n = static_cast<int32_t>(std::size(kEditSecond));
    View v = TargetView();
    if (!v.ready) {
        GreyAll(rows, n, true);
        return;
    }
    const MenuViewState& s = v.state;
    GreyAll(rows, n, false);
    Enable(rows[0], s.shapeCount > 0);
    Enable(rows[2], s.selectPossible && !s.selectMode);
    Enable(rows[3], s.selectMode || s.placing);
    Enable(rows[5], s.shapeCount > 0);
    Enable(rows[6], s.hasCurrentShape && s.currentShapeKind >= 3 && s.currentShapeKind <= 6);
}

void EditMenuKeysUpdate(gMenuRow* rows, uint32_t) {
    View v = TargetView();
    GreyAll(rows, static_cast<int32_t>(std::size(kEditKeys)), !v.ready);
    MarkKeysMoveShape(v.ready && v.state.keysMoveShape);
}

void ViewMenuUpdate(gMenuRow*, uint32_t) { SyncToolsMenuCheck(); }

void ViewOutputUpdate(gMenuRow*, uint32_t) { SyncOutputMenuCheck(); }

void SyncOutputMenuCheck() {
    gMenuItem* item = Built().viewOutput.rows[0].item;
    if (item == nullptr) return;
    const MainMenuHooks& h = TheMainMenuHooks();
    gMenuCheckItem(item, h.outputPanelShown != nullptr && h.outputPanelShown());
}

void PageSubmenuUpdate(gMenuRow* rows, uint32_t) {
    gMenuItem* header = rows != nullptr ? rows[0].item : nullptr;
    if (header == nullptr || !gMenuIsItem(header) || header->check != 2) return;
    const MainMenuHooks& hooks = TheMainMenuHooks();
    if ((header == ThePanelMenus().layout || header == ThePanelMenus().chartTools) && hooks.layoutMenuChecks != nullptr)
        hooks.layoutMenuChecks(header);
    // Only the header: the entries keep the states their panels gave them.
    gMenuItemSetState(header, header->childCursor == nullptr);
}

void DrawToolEnded(int32_t toolMode) {
    if (toolMode >= 5) MarkDrawRow(-1);
}

void BuildMainMenus(CUI* cui, MenuBar* bar) {
    if (cui == nullptr || bar == nullptr) return;
    Tables& t = Built();
    t.draw.Reset(kDraw);
    t.editFirst.Reset(kEditFirst);
    t.editSecond.Reset(kEditSecond);
    t.editKeys.Reset(kEditKeys);
    t.editPreferences.Reset(kEditPreferences);
    t.viewTools.Reset(kViewTools);
    t.viewLayout.Reset(kViewLayout);
    t.viewChartTools.Reset(kViewChartTools);
    t.viewEnd.Reset(kViewEnd);
    t.viewOutput.Reset(kViewOutput);
    t.help.Reset(kHelp);
    t.helpWeb.Reset(kHelpWeb);

    MenuBar::BuildItems(bar, "Open");
    MenuBar::SetItemData(bar, -1, &OpenCommand);
    MenuBar::BuildItems(bar, "Save");
    MenuBar::SetItemData(bar, -1, &SaveCommand);
    MenuBar::BuildItems(bar, "Draw\t");
    Add(bar, kMenuDraw, t.draw, false, &DrawMenuUpdate);
    MenuBar::BuildItems(bar, "Edit\t");
    Add(bar, kMenuEdit, t.editFirst, false, &EditMenuFirstUpdate);
    Add(bar, kMenuEdit, t.editSecond, false, &EditMenuSecondUpdate);
    Add(bar, kMenuEdit, t.editKeys, false, &EditMenuKeysUpdate);
    Add(bar, kMenuEdit, t.editPreferences, true, &PageSubmenuUpdate);
    MenuBar::BuildItems(bar, "View\t");
    Add(bar, kMenuView, t.viewTools, false, &ViewMenuUpdate);
    Add(bar, kMenuView, t.viewLayout, true, &PageSubmenuUpdate);
    Add(bar, kMenuView, t.viewChartTools, true, &PageSubmenuUpdate);
    Add(bar, kMenuView, t.viewEnd, false, nullptr);
    Add(bar, kMenuView, t.viewOutput, false, &ViewOutputUpdate);
    MenuBar::BuildItems(bar, "Help\t");
    Add(bar, kMenuHelp, t.help, false, nullptr);
    Add(bar, kMenuHelp, t.helpWeb, true, nullptr);

    cui->toolsItem = t.viewTools.rows[0].item;
    ThePanelMenus() = PanelMenus{t.editPreferences.rows[0].item, t.viewLayout.rows[0].item,
                                 t.viewChartTools.rows[0].item};
    SyncToolsMenuCheck();
}

gMenuItem* LayoutMenuHeader() { return ThePanelMenus().layout; }
gMenuItem* ChartToolsMenuHeader() { return ThePanelMenus().chartTools; }

void InstallMainMenus() { TheShellHooks().buildMainMenus = &BuildMainMenus; }

}  // namespace orva
