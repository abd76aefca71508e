// The main window's menu bar on the test's X display, with a recording view in place of
// the image view and its shapes: the titles and rows, the shortcuts of the drawing tools
// and their radio marks, what every menu greys with no data and with a view in its
// states, the commands and what they ask of the view, "Open" and "Save", the tools item,
// the help and web entries through a stub opener, and an open menu on the screen. With
// ORVA_SCREENSHOTS set to a folder, screenshots of open menus go there.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/help_links.h"
#include "app/main_menu.h"
#include "app/panel_window.h"
#include "app/status_line.h"
#include "app/ui_startup.h"
#include "shell_fixture.h"
#include "test_support.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/input.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"
#include "toolkit/shortcuts.h"
#include "toolkit/widget.h"

#include <X11/keysym.h>

namespace orva {
namespace {

using namespace testing_util;

// ---- The recording view ---------------------------------------------------------------------

struct RecordingView {
    MenuViewState state;
    std::vector<std::string> calls;
};
RecordingView* gView = nullptr;
ComponentBase* gTarget = nullptr;
bool gClipboard = false;
std::vector<std::string> gShell;  // the calls that go to no view

class Target : public ComponentBase {
public:
    Target() : ComponentBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kInputId; }
};

void Note(void* view, const std::string& call) { static_cast<RecordingView*>(view)->calls.push_back(call); }

void InstallRecordingHooks() {
    MainMenuHooks& h = TheMainMenuHooks();
    h.openDataFiles = [](CUI* cui, int32_t mode) {
        gShell.push_back(std::string("open ") + (cui == &TheCUI() ? "cui " : "? ") + std::to_string(mode));
    };
    h.viewOfTarget = [](ComponentBase* t) -> void* { return t == gTarget ? gView : nullptr; };
    h.viewState = [](void* v, MenuViewState* s) {
        *s = static_cast<RecordingView*>(v)->state;
        return true;
    };
    h.startShapeTool = [](void* v, int32_t kind, int32_t mode) {
        Note(v, "tool " + std::to_string(kind) + " " + std::to_string(mode));
    };
    h.takeUpShape = [](void* v) { Note(v, "take up"); };
    h.endPlacement = [](void* v, int32_t result) { Note(v, "end " + std::to_string(result)); };
    h.repaintView = [](void* v) { Note(v, "repaint"); };
    h.undoStep = [](void* v, bool undo) { Note(v, undo ? "undo" : "redo"); };
    h.copyShape = [](void* v) {
        Note(v, "copy");
        gClipboard = true;
        return true;
    };
    h.pasteShapeAtPointer = [](void* v) { Note(v, "paste"); };
    h.removeShapes = [](void* v, bool all) { Note(v, all ? "remove all" : "remove current"); };
    h.setAnchorTool = [](void* v, int32_t tool) { Note(v, "anchor tool " + std::to_string(tool)); };
    h.clipShape = [](void* v) { Note(v, "clip"); };
    h.inscribeAnchors = [](void* v, int32_t mode) { Note(v, "inscribe " + std::to_string(mode)); };
    h.enterSelectMode = [](void* v) { Note(v, "select"); };
    h.leaveSelectMode = [](void* v) {
        Note(v, "leave select");
        return static_cast<RecordingView*>(v)->state.selectMode;
    };
    h.clipboardHasShape = [] { return gClipboard; };
    h.openEditShapePanel = [] { gShell.push_back("edit shape panel"); };
    h.setKeysMoveShape = [](void* v, bool on) {
        Note(v, on ? "keys move" : "keys scroll");
        static_cast<RecordingView*>(v)->state.keysMoveShape = on;
    };
}

// A view with its window, container and data, nothing else.
MenuViewState ReadyState() {
    MenuViewState s;
    s.hasWindow = s.hasContainer = s.hasData = true;
    s.selectPossible = true;
    return s;
}

class MainMenuTest : public ShellTest {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        gView = &view;
        gTarget = &target;
        gClipboard = false;
        gShell.clear();
        InstallRecordingHooks();
        Start(false);
        bar = cui().groups[0].menuBar;
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override {
        cui().menuTarget = nullptr;
        cui().menuView = nullptr;
        TheMainMenuHooks() = MainMenuHooks{};
        gView = nullptr;
        gTarget = nullptr;
        Stop();
    }
    // The view is the menu target's and the menu view.
    void Attach(const MenuViewState& state) {
        view.state = state;
        view.calls.clear();
        cui().menuTarget = &target;
        cui().menuView = &view;
    }
    static uint8_t Key(uint32_t code) { return gAccelDispatchKey(nullptr, TheCUI().mainWindow, code); }
    // Opens a title's menu as a press on the bar does (its update callbacks run).
    void OpenTitle(int32_t row) {
        bar->currentRow = row;
        bar->widget->value = 1;
        ASSERT_TRUE(bar->OpenMenu());
    }
    void CloseMenus() { bar->LetGo(); }
    // The enabled state of each labelled row ('+' enabled, '-' greyed).
    static std::string States(MainMenuGroup group) {
        MainMenuTable t = MainMenuRows(group);
        std::string s;
        for (int32_t i = 0; i < t.count; ++i)
            if (t.rows[i].label != nullptr) s += t.rows[i].item != nullptr && t.rows[i].item->state == 0 ? '+' : '-';
        return s;
    }
    static std::vector<std::string> Labels(MainMenuGroup group) {
        MainMenuTable t = MainMenuRows(group);
        std::vector<std::string> out;
        for (int32_t i = 0; i < t.count; ++i) out.push_back(t.rows[i].label != nullptr ? t.rows[i].label : "-");
        return out;
    }
    static gMenuItem* Item(MainMenuGroup group, const char* label) {
        MainMenuTable t = MainMenuRows(group);
        for (int32_t i = 0; i < t.count; ++i)
            if (t.rows[i].label != nullptr && std::string(t.rows[i].label) == label) return t.rows[i].item;
        return nullptr;
    }
    static uint8_t Choose(MainMenuGroup group, const char* label) {
        gMenuItem* item = Item(group, label);
        return item != nullptr && item->handler != nullptr ? item->handler(item, item->userData) : 0;
    }

    RecordingView view;
    Target target;
    MenuBar* bar = nullptr;
};

TEST_F(MainMenuTest, TitlesRowsAndTheirKinds) {
    std::vector<std::string> titles;
    for (auto& t : bar->titles) titles.push_back(t->label + "|" + t->right);
    EXPECT_EQ(titles, (std::vector<std::string>{"Open|", "Save|", "Draw|", "Edit|", "View|", "Help|"}));
    EXPECT_NE(bar->titles[0]->command, nullptr);
    EXPECT_NE(bar->titles[1]->command, nullptr);
    EXPECT_TRUE(bar->titles[0]->tables.empty());
    EXPECT_EQ(Labels(MainMenuGroup::Draw),
              (std::vector<std::string>{"Cancel", "-", "Add Anchor(s)", "-", "Line", "PolyLine", "Curve", "Rectangle",
                                        "Circle", "Area of Search", "-", "Gauge | Coordinate [Point]",
                                        "Gauge | Distance [Line]", "Gauge | Distance [PolyLine]", "Gauge | Angle",
                                        "Gauge | Area"}));
    EXPECT_EQ(MainMenuRows(MainMenuGroup::EditFirst).count, 18);
    EXPECT_EQ(Labels(MainMenuGroup::EditSecond),
              (std::vector<std::string>{"Delete All [Shapes]", "-", "Select", "Cancel | Deselect", "-",
                                        "Edit Shape\x85", "Add Anchor(s)", "-"}));
    EXPECT_EQ(Labels(MainMenuGroup::Help), (std::vector<std::string>{"Contents", "-", "About", "-"}));
    EXPECT_EQ(Labels(MainMenuGroup::HelpWeb).size(), 7u);
    EXPECT_EQ(Labels(MainMenuGroup::EditKeys), (std::vector<std::string>{"Move Shape with Keys [Shift+Arrows, Wheel]", "-"}));
    // The Edit menu: both groups, the keys' option, then the "Preferences" submenu with the
    // preference pages.
    gMenu* edit = bar->titles[kMenuEdit]->menu;
    ASSERT_NE(edit, nullptr);
    int rows = 0;
    for (gMenuItem* i = edit->first; i != nullptr; i = i->next) ++rows;
    EXPECT_EQ(rows, 18 + 8 + 2 + 1);
    gMenuItem* preferences = ThePanelMenus().preferences;
    ASSERT_NE(preferences, nullptr);
    EXPECT_EQ(preferences->label, "Preferences");
    EXPECT_EQ(preferences->check, 2);
    std::vector<std::string> pages;
    for (gMenuItem* c = preferences->firstChild; c != nullptr; c = c->next) pages.push_back(c->label);
    EXPECT_EQ(pages, (std::vector<std::string>{"General", "Input", "Output"}));
    EXPECT_EQ(ThePanelMenus().layout->label, "Layout");
    EXPECT_EQ(ThePanelMenus().chartTools->label, "Chart Tools");
    EXPECT_EQ(cui().toolsItem, Item(MainMenuGroup::ViewTools, "Show Window \"Tools\""));
    // Radio rows: the drawing tools and "Cancel"; a check row: the tools item.
    MainMenuTable draw = MainMenuRows(MainMenuGroup::Draw);
    std::string kinds;
    for (int32_t i = 0; i < draw.count; ++i) kinds += static_cast<char>('0' + draw.kinds[i]);
    EXPECT_EQ(kinds, "2000222222022222");
    EXPECT_EQ(MainMenuRows(MainMenuGroup::ViewTools).kinds[0], kRowCheck);
    // Shortcut texts as the menus show them.
    EXPECT_EQ(Item(MainMenuGroup::Draw, "PolyLine")->shortcut, "Shift+F5");
    EXPECT_EQ(Item(MainMenuGroup::Draw, "Gauge | Area")->shortcut, "Alt+F9");
    EXPECT_EQ(Item(MainMenuGroup::EditFirst, "Undo")->shortcut, "Ctrl+Z");
    EXPECT_EQ(Item(MainMenuGroup::EditSecond, "Delete All [Shapes]")->shortcut, "Shift+Del");
}

TEST_F(MainMenuTest, ToolShortcutsStartTheirToolsWithRadioMarks) {
    const struct {
        uint32_t key;
        const char* row;
        const char* call;
    } cases[] = {
        {KeyF(5), "Line", "tool 3 5"},
        {kKeyShift | KeyF(5), "PolyLine", "tool 1 5"},
        {KeyF(6), "Curve", "tool 2 5"},
        {KeyF(7), "Rectangle", "tool 4 6"},
        {kKeyShift | KeyF(7), "Circle", "tool 6 6"},
        {kKeyShift | KeyF(8), "Area of Search", "tool 4 7"},
        {KeyF(8), "Gauge | Coordinate [Point]", "tool 0 1"},
        {KeyF(9), "Gauge | Distance [Line]", "tool 3 2"},
        {kKeyShift | KeyF(9), "Gauge | Distance [PolyLine]", "tool 1 2"},
        {kKeyCtrl | KeyF(9), "Gauge | Angle", "tool 1 4"},
        {kKeyAlt | KeyF(9), "Gauge | Area", "tool 4 3"},
    };
    // Without a view the keys start nothing.
    EXPECT_EQ(Key(KeyF(5)), 1);
    EXPECT_TRUE(view.calls.empty());
    Attach(ReadyState());
    MainMenuTable draw = MainMenuRows(MainMenuGroup::Draw);
    for (const auto& c : cases) {
        view.calls.clear();
        EXPECT_EQ(Key(c.key), 1) << c.row;
        EXPECT_EQ(view.calls, std::vector<std::string>{c.call}) << c.row;
        for (int32_t i = 0; i < draw.count; ++i) {
            if (draw.rows[i].item == nullptr || draw.rows[i].label == nullptr) continue;
            EXPECT_EQ(draw.rows[i].item->check, std::string(draw.rows[i].label) == c.row ? 1 : 0)
                << c.row << " / " << draw.rows[i].label;
        }
    }
    // The same tool chosen in the menu.
    view.calls.clear();
    EXPECT_EQ(Choose(MainMenuGroup::Draw, "Line"), 1);
    EXPECT_EQ(view.calls, std::vector<std::string>{"tool 3 5"});
    // "Cancel" ends the placement that is going on and takes the mark.
    view.state.placing = true;
    view.calls.clear();
    EXPECT_EQ(Choose(MainMenuGroup::Draw, "Cancel"), 1);
    EXPECT_EQ(view.calls, std::vector<std::string>{"end 0"});
    EXPECT_EQ(Item(MainMenuGroup::Draw, "Cancel")->check, 1);
    EXPECT_EQ(Item(MainMenuGroup::Draw, "Line")->check, 0);
    // A tool of mode 5 and above that ended loses its mark at once; others keep it.
    Key(KeyF(8));
    DrawToolEnded(1);
    EXPECT_EQ(Item(MainMenuGroup::Draw, "Gauge | Coordinate [Point]")->check, 1);
    Key(KeyF(7));
    DrawToolEnded(6);
    EXPECT_EQ(Item(MainMenuGroup::Draw, "Rectangle")->check, 0);
    // Through the X server: F5 pressed on the main window.
    view.calls.clear();
    FocusWindow(Main());
    FakeKey(XK_F5, true);
    FakeKey(XK_F5, false);
    PumpUntil([&] { return !view.calls.empty(); }, 1000);
    EXPECT_EQ(view.calls, std::vector<std::string>{"tool 3 5"});
}

TEST_F(MainMenuTest, WithNoDataDrawAndEditAreGreyed) {
    for (int32_t title : {kMenuDraw, kMenuEdit, kMenuView, kMenuHelp}) {
        OpenTitle(title);
        CloseMenus();
    }
    EXPECT_EQ(States(MainMenuGroup::Draw), "-------------");
    EXPECT_EQ(States(MainMenuGroup::EditFirst), "--------------");
    EXPECT_EQ(States(MainMenuGroup::EditSecond), "-----");
    EXPECT_EQ(States(MainMenuGroup::ViewTools), "+");
    EXPECT_EQ(States(MainMenuGroup::Help), "++");
    EXPECT_EQ(States(MainMenuGroup::HelpWeb), "+++++");
    // A view without its container counts as none.
    MenuViewState noContainer = ReadyState();
    noContainer.hasContainer = false;
    Attach(noContainer);
    OpenTitle(kMenuDraw);
    CloseMenus();
    EXPECT_EQ(States(MainMenuGroup::Draw), "-------------");
    // Nor does a view whose data were closed.
    MenuViewState noData = ReadyState();
    noData.hasData = false;
    Attach(noData);
    OpenTitle(kMenuDraw);
    CloseMenus();
    EXPECT_EQ(States(MainMenuGroup::Draw), "-------------");
    // "Open" and "Save" still work.
    bar->titles[kMenuOpen]->command(bar->widget, 0);
    EXPECT_EQ(gShell, std::vector<std::string>{"open cui 0"});
}

TEST_F(MainMenuTest, GreyingFollowsTheView) {
    Attach(ReadyState());
    OpenTitle(kMenuDraw);
    CloseMenus();
    // Everything but "Cancel", which needs a shape being drawn or selection mode.
    EXPECT_EQ(States(MainMenuGroup::Draw), "-++++++++++++");
    for (auto [placing, select] : {std::pair{true, false}, std::pair{false, true}}) {
        view.state.placing = placing;
        view.state.selectMode = select;
        DrawMenuUpdate(MainMenuRows(MainMenuGroup::Draw).rows, 0);
        EXPECT_EQ(States(MainMenuGroup::Draw), "+++++++++++++");
        EditMenuSecondUpdate(MainMenuRows(MainMenuGroup::EditSecond).rows, 0);
        EXPECT_EQ(Item(MainMenuGroup::EditSecond, "Cancel | Deselect")->state, 0);
    }
    view.state = ReadyState();

    // First Edit group, in the order Undo Redo Cut copy Paste Delete EXIT Add Delete Scissor
    // Clip Inscribe x3.
    const struct {
        const char* what;
        void (*set)(MenuViewState&);
        bool clipboard;
        const char* states;
    } first[] = {
        {"nothing", [](MenuViewState&) {}, false, "--------------"},
        {"undo", [](MenuViewState& s) { s.undoSteps = 2; }, false, "+-------------"},
        {"redo", [](MenuViewState& s) { s.redoSteps = 1; }, false, "-+------------"},
        // The anchor tools work on a current shape in any edit mode.
        {"current shape", [](MenuViewState& s) { s.hasCurrentShape = true; }, false, "--++-+-+++++++"},
        {"clipboard", [](MenuViewState&) {}, true, "----+---------"},
        {"edit mode", [](MenuViewState& s) { s.editMode = true; }, false, "-------+++----"},
        {"edit mode, counter 1", [](MenuViewState& s) { s.editMode = true, s.editCounter = 1; }, false,
         "------++++----"},
        {"counter without edit mode", [](MenuViewState& s) { s.editCounter = 3; }, false, "--------------"},
    };
    for (const auto& c : first) {
        view.state = ReadyState();
        c.set(view.state);
        gClipboard = c.clipboard;
        EditMenuFirstUpdate(MainMenuRows(MainMenuGroup::EditFirst).rows, 0);
        EXPECT_EQ(States(MainMenuGroup::EditFirst), c.states) << c.what;
    }
    // Second group: Delete All, Select, Cancel | Deselect, Edit Shape…, Add Anchor(s).
    view.state = ReadyState();
    view.state.shapeCount = 2;
    view.state.hasCurrentShape = true;
    std::string anchors;
    for (int32_t kind = -1; kind <= 13; ++kind) {
        view.state.currentShapeKind = kind;
        EditMenuSecondUpdate(MainMenuRows(MainMenuGroup::EditSecond).rows, 0);
        anchors += Item(MainMenuGroup::EditSecond, "Add Anchor(s)")->state == 0 ? '+' : '-';
    }
    EXPECT_EQ(anchors, "----++++-------");
    EXPECT_EQ(States(MainMenuGroup::EditSecond), "++-+-");
    view.state.selectMode = true;
    view.state.shapeCount = 0;
    EditMenuSecondUpdate(MainMenuRows(MainMenuGroup::EditSecond).rows, 0);
    EXPECT_EQ(States(MainMenuGroup::EditSecond), "--+--");
    view.state.selectMode = false;
    view.state.selectPossible = false;
    EditMenuSecondUpdate(MainMenuRows(MainMenuGroup::EditSecond).rows, 0);
    EXPECT_EQ(States(MainMenuGroup::EditSecond), "-----");
    // The interface not ready: greyed whatever the view says.
    view.state = ReadyState();
    view.state.undoSteps = 1;
    gSetUiReady(false);
    EditMenuFirstUpdate(MainMenuRows(MainMenuGroup::EditFirst).rows, 0);
    gSetUiReady(true);
    EXPECT_EQ(States(MainMenuGroup::EditFirst), "--------------");
}

TEST_F(MainMenuTest, PasteStaysGreyedUntilACopyOrCut) {
    Attach(ReadyState());
    auto paste = [&] {
        EditMenuFirstUpdate(MainMenuRows(MainMenuGroup::EditFirst).rows, 0);
        return Item(MainMenuGroup::EditFirst, "Paste")->state == 0;
    };
    EXPECT_FALSE(paste());
    // Ctrl+V and Ctrl+C do nothing without a clipboard shape or a current shape.
    Key(kKeyCtrl | 'V');
    Key(kKeyCtrl | 'C');
    EXPECT_TRUE(view.calls.empty());
    EXPECT_FALSE(paste());
    view.state.hasCurrentShape = true;
    EXPECT_EQ(Key(kKeyCtrl | 'X'), 1);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"copy", "remove current"}));
    EXPECT_TRUE(paste());
    view.calls.clear();
    Key(kKeyCtrl | 'V');
    EXPECT_EQ(view.calls, std::vector<std::string>{"paste"});
}

TEST_F(MainMenuTest, CommandsAskTheViewWhatTheRowSays) {
    MenuViewState full = ReadyState();
    full.undoSteps = full.redoSteps = 1;
    full.hasCurrentShape = true;
    full.currentShapeKind = 4;
    full.editMode = true;
    full.editCounter = 1;
    full.shapeCount = 3;
    Attach(full);
    gClipboard = true;
    const struct {
        MainMenuGroup group;
        const char* label;
        std::vector<std::string> calls;
    } cases[] = {
        {MainMenuGroup::EditFirst, "Undo", {"undo"}},
        {MainMenuGroup::EditFirst, "Redo", {"redo"}},
        {MainMenuGroup::EditFirst, "Cut", {"copy", "remove current"}},
        {MainMenuGroup::EditFirst, "copy", {"copy"}},
        {MainMenuGroup::EditFirst, "Paste", {"paste"}},
        {MainMenuGroup::EditFirst, "Delete", {"remove current"}},
        {MainMenuGroup::EditFirst, "EXIT EDIT MODE", {"anchor tool 0"}},
        {MainMenuGroup::EditFirst, "Add Anchor Point", {"anchor tool 2"}},
        {MainMenuGroup::EditFirst, "Delete Anchor Point", {"anchor tool 3"}},
        {MainMenuGroup::EditFirst, "Scissor Tools", {"anchor tool 1"}},
        {MainMenuGroup::EditFirst, "Clip Anchor Points", {"clip"}},
        {MainMenuGroup::EditFirst, "Inscribe Anchor Points", {"inscribe 2"}},
        {MainMenuGroup::EditFirst, "Inscribe Anchor Points [if outside]", {"inscribe 3"}},
        {MainMenuGroup::EditFirst, "Inscribe Anchor Points [Not proportionally]", {"inscribe 4"}},
        {MainMenuGroup::EditSecond, "Delete All [Shapes]", {"remove all"}},
        {MainMenuGroup::EditSecond, "Select", {"select"}},
        {MainMenuGroup::EditSecond, "Add Anchor(s)", {"take up"}},
        {MainMenuGroup::Draw, "Add Anchor(s)", {"take up"}},
    };
    for (const auto& c : cases) {
        view.calls.clear();
        EXPECT_EQ(Choose(c.group, c.label), 1) << c.label;
        EXPECT_EQ(view.calls, c.calls) << c.label;
    }
    EXPECT_EQ(Choose(MainMenuGroup::EditSecond, "Edit Shape\x85"), 1);
    EXPECT_EQ(gShell, std::vector<std::string>{"edit shape panel"});
    // The shortcut keys of the Edit menu.
    const struct {
        uint32_t key;
        const char* call;
    } keys[] = {{kKeyCtrl | 'Z', "undo"},         {kKeyCtrl | 'Y', "redo"},          {kKeyDelete, "remove current"},
                {kKeyShift | kKeyEscape, "anchor tool 0"}, {kKeyCtrl | 'P', "anchor tool 2"}, {kKeyShift | 'P', "anchor tool 3"},
                {kKeyShift | 'C', "clip"},         {kKeyShift | 'I', "inscribe 2"},   {kKeyAlt | 'I', "inscribe 3"},
                {kKeyCtrl | 'I', "inscribe 4"},    {kKeyShift | kKeyDelete, "remove all"}};
    for (const auto& k : keys) {
        view.calls.clear();
        EXPECT_EQ(Key(k.key), 1) << k.call;
        EXPECT_EQ(view.calls, std::vector<std::string>{k.call});
    }
    // "Cancel | Deselect" (ESC): a shape being drawn is cancelled; else the anchor tool and
    // selection mode end, and a shown frame is repainted.
    view.state.placing = true;
    view.calls.clear();
    Key(kKeyEscape);
    EXPECT_EQ(view.calls, std::vector<std::string>{"end 0"});
    view.state.placing = false;
    view.state.anchorToolActive = true;
    view.state.selectMode = true;
    view.state.frameShown = true;
    view.calls.clear();
    Key(kKeyEscape);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"anchor tool 0", "leave select", "repaint"}));
    view.state.anchorToolActive = false;
    view.state.frameShown = false;
    view.calls.clear();
    Key(kKeyEscape);
    EXPECT_EQ(view.calls, std::vector<std::string>{"leave select"});

    // Guards: outside edit mode, without a current shape or shapes, nothing is asked.
    view.state = ReadyState();
    view.calls.clear();
    gShell.clear();
    for (uint32_t key : {kKeyCtrl | 'Z', kKeyCtrl | 'Y', kKeyCtrl | 'X', kKeyDelete, kKeyShift | kKeyEscape,
                         kKeyCtrl | 'P', kKeyShift | 'C', kKeyShift | 'I', kKeyShift | kKeyDelete})
        Key(key);
    EXPECT_EQ(Choose(MainMenuGroup::EditFirst, "Scissor Tools"), 0);
    Choose(MainMenuGroup::EditSecond, "Edit Shape\x85");
    EXPECT_TRUE(view.calls.empty()) << view.calls.front();
    EXPECT_TRUE(gShell.empty());
}

TEST_F(MainMenuTest, SaveOpensTheOutputPanel) {
    static std::vector<std::string> panels;
    static int32_t answer = 0;
    panels.clear();
    TheMainMenuHooks().openOutputPanel = [](int32_t page, int32_t flag) {
        panels.push_back(std::to_string(page) + "," + std::to_string(flag));
        return answer;
    };
    answer = 0;
    bar->titles[kMenuSave]->command(bar->widget, 0);
    EXPECT_EQ(panels, (std::vector<std::string>{"1,1", "3,1"}));
    // A panel the Save opened goes when the save ends; one that stood before stays.
    panels.clear();
    answer = kOutputPanelShown;
    bar->titles[kMenuSave]->command(bar->widget, 0);
    EXPECT_EQ(panels, (std::vector<std::string>{"1,1", "3,1"}));
    panels.clear();
    answer = kOutputPanelShown | kOutputPanelWasShown;
    bar->titles[kMenuSave]->command(bar->widget, 0);
    EXPECT_EQ(panels, std::vector<std::string>{"1,1"});
    // A click on the bar's "Save" row through the X server.
    panels.clear();
    const float step = bar->rowHeight + 1;
    FocusWindow(Main());
    FakeMotionIn(Main(), static_cast<int>(bar->widget->x + 10), static_cast<int>(bar->widget->y + 3 + step * 1.5f));
    FakeButton(true);
    FakeButton(false);
    PumpUntil([&] { return !panels.empty(); }, 1000);
    EXPECT_EQ(panels, std::vector<std::string>{"1,1"});
    // And "Open".
    PumpFor(450);
    FakeMotionIn(Main(), static_cast<int>(bar->widget->x + 12), static_cast<int>(bar->widget->y + 3 + step * 0.5f));
    FakeButton(true);
    FakeButton(false);
    PumpUntil([&] { return !gShell.empty(); }, 1000);
    EXPECT_EQ(gShell, std::vector<std::string>{"open cui 0"});
}

TEST_F(MainMenuTest, TheToolsItemFollowsTheToolWindow) {
    gMenuItem* tools = cui().toolsItem;
    ASSERT_NE(tools, nullptr);
    OpenTitle(kMenuView);
    CloseMenus();
    bool shown = platform::IsWindowVisible(Tools()->hwnd);
    EXPECT_EQ(tools->check, shown ? 1 : 0);
    EXPECT_EQ(Choose(MainMenuGroup::ViewTools, "Show Window \"Tools\""), 1);
    PumpFor(100);
    EXPECT_EQ(platform::IsWindowVisible(Tools()->hwnd), !shown);
    EXPECT_EQ(tools->check, shown ? 0 : 1);
    // The tool window's close box clears it; the View menu's update puts it right.
    if (!shown) {
        ToolCloseRequest(Tools(), nullptr);
        EXPECT_EQ(tools->check, 0);
    }
    ToolWindowSetShown(&cui(), true);
    OpenTitle(kMenuView);
    CloseMenus();
    EXPECT_EQ(tools->check, 1);
}

TEST_F(MainMenuTest, HelpAndTheWebEntries) {
    // "Contents" without orva.chm in the program folder: the status line says so.
    EXPECT_EQ(Choose(MainMenuGroup::Help, "Contents"), 1);
    WindowGroup& g = cui().groups[0];
    EXPECT_EQ(g.statusCode, 3);
    EXPECT_EQ(g.statusWidget->text.rfind(StatusCodeText(3), 0), 0u) << g.statusWidget->text;
    // "About".
    EXPECT_EQ(Choose(MainMenuGroup::Help, "About"), 1);
    EXPECT_NE(AboutWindow(), nullptr);
    // The web entries through a stub opener that writes down what it was given.
    TempFolder bin;
    std::string record = bin.File("opened");
    WriteText(bin.File("xdg-open"), "#!/bin/sh\nprintf '%s\\n' \"$*\" >> " + record + "\n");
    chmod(bin.File("xdg-open").c_str(), 0755);
    std::string path = bin.Path() + ":" + (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    ScopedEnv pathEnv("PATH", path);
    for (const char* label : {"Send Mail", "ORVA Home Page", "ORVA at the Maker's Site", "The Maker's Home Page"}) {
        std::string before = Exists(record) ? ReadText(record) : "";
        EXPECT_EQ(Choose(MainMenuGroup::HelpWeb, label), 1) << label;
        for (int i = 0; i < 300 && (Exists(record) ? ReadText(record) : "") == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ReadText(record), std::string(kSupportMailTarget) + "\n" + kProductHomePage + "\n" + kProductMakerPage +
                                    "\n" + kMakerHomePage + "\n");
}

TEST_F(MainMenuTest, AnOpenMenuStandsOnTheScreen) {
    MenuViewState s = ReadyState();
    s.placing = true;
    Attach(s);
    FocusWindow(Main());
    const float step = bar->rowHeight + 1;
    FakeMotionIn(Main(), static_cast<int>(bar->widget->x + 10), static_cast<int>(bar->widget->y + 3 + step * 2.5f));
    FakeButton(true);
    FakeButton(false);
    gMenuHost* host = gMenuHostPeek();
    ASSERT_NE(host, nullptr);
    PumpUntil([&] { return host->open != 0; }, 1000);
    ASSERT_TRUE(host->open);
    EXPECT_EQ(host->current, bar->titles[kMenuDraw]->menu);
    PumpFor(200);
    Shot("menu_draw");
    // The popup as the screen shows it: its background in the rows' gaps and dark text in
    // the label of every row; the greyed rows none here (the view is ready).
    gWindow* popup = host->mainWindow;
    ScreenImage image = ReadScreen(XDisplay(), platform::X11WindowOf(popup->hwnd));
    ASSERT_EQ(image.width, popup->clientWidth);
    Rgb back = Background(popup);
    int onBack = 0, ink = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            Rgb p = image.At(x, y);
            onBack += Near(p, back, 6) ? 1 : 0;
            ink += p.r < 80 && p.g < 80 && p.b < 80 ? 1 : 0;
        }
    }
    const int all = image.width * image.height;
    EXPECT_GT(onBack, all / 2) << "the popup is not painted in its background";
    EXPECT_GT(ink, 16 * 20) << "too little text on the popup";
    EXPECT_EQ(States(MainMenuGroup::Draw), "+++++++++++++");
    FakeKey(XK_Escape, true);
    FakeKey(XK_Escape, false);
    PumpUntil([&] { return host->open == 0; }, 1000);
    EXPECT_FALSE(host->open);
}


// ---- The submenus that panel pages fill ------------------------------------------------------

// A page of one label, as the panels' pages are.
int LabelPage(gWindow* window, PanelPage* page) {
    if (!PageAllocSlots(page, 1) || PageOpenGroup(window, page, kWsLeft | kWsTop) == nullptr) return 0;
    gWgtTemplate t{.desc = {.kind = 3, .style = kWsLeft | kWsTop, .width = 150, .height = 17,
                            .text = page->label.c_str()}};
    page->geometry.slots[0] = gWgtAdd(window, nullptr, &t, 0);
    if (!PageEnsureGlyphs(page)) return 0;
    PageUpdateGeometry(page);
    return 1;
}
void NoRefresh(gWindow*, PanelPage*, int) {}

class PanelSubmenuTest : public MainMenuTest {
protected:
    // Presses View on the bar through the X server, as a user does.
    void PressView() {
        FocusWindow(Main());
        const float step = bar->rowHeight + 1;
        FakeMotionIn(Main(), static_cast<int>(bar->widget->x + 10),
                     static_cast<int>(bar->widget->y + 3 + step * (kMenuView + 0.5f)));
        FakeButton(true);
        FakeButton(false);
        host = gMenuHostPeek();
        ASSERT_NE(host, nullptr);
        PumpUntil([&] { return host->open != 0; }, 1000);
        ASSERT_TRUE(host->open);
        ASSERT_EQ(host->current, bar->titles[kMenuView]->menu);
    }
    // Puts the pointer on a row of the open popup (or of the submenu) and waits past the
    // submenu delay.
    void Hover(gWindow* popup, const gMenuItem* row, float rowHeight) {
        FakeMotionIn(popup, 30, host->edgeInset + row->rowBottom - static_cast<int>(rowHeight / 2));
        PumpFor(400);
    }
    void Escape() {
        FakeKey(XK_Escape, true);
        FakeKey(XK_Escape, false);
        PumpUntil([&] { return host->open == 0; }, 1000);
        if (host->open) bar->LetGo();
    }
    bool SubmenuShown() const {
        return host->subWindow != nullptr && platform::IsWindowVisible(host->subWindow->hwnd);
    }
    // Dark pixels in the label band of a row of a popup as the screen shows it: black
    // text for an enabled row, none for a greyed (engraved) one.
    int Ink(gWindow* popup, const gMenuItem* row, float rowHeight) const {
        ScreenImage image = ReadScreen(XDisplay(), platform::X11WindowOf(popup->hwnd));
        const int top = host->edgeInset + row->rowBottom - static_cast<int>(rowHeight);
        int ink = 0;
        for (int y = std::max(top, 0); y < std::min(top + static_cast<int>(rowHeight), image.height); ++y)
            for (int x = 19; x < std::min(19 + static_cast<int>(row->labelWidth), image.width); ++x) {
                Rgb p = image.At(x, y);
                ink += p.r < 20 && p.g < 20 && p.b < 20 ? 1 : 0;
            }
        return ink;
    }
    static std::vector<std::string> Children(const gMenuItem* sub) {
        std::vector<std::string> labels;
        for (gMenuItem* c = sub->firstChild; c != nullptr; c = c->next) {
            labels.push_back(c->label);
            if (c == sub->childCursor) break;
        }
        if (sub->childCursor == nullptr) labels.clear();
        return labels;
    }
    gMenuHost* host = nullptr;
};

TEST_F(PanelSubmenuTest, EmptySubmenusAreGreyedAndNeverOpen) {
    gMenuItem* layout = ThePanelMenus().layout;
    gMenuItem* chart = ThePanelMenus().chartTools;
    ASSERT_NE(layout, nullptr);
    ASSERT_NE(chart, nullptr);
    // The shell's own panels put nothing into "Layout" or "Chart Tools".
    EXPECT_TRUE(Children(layout).empty());
    EXPECT_TRUE(Children(chart).empty());
    PressView();
    gMenu* view = host->current;
    EXPECT_EQ(layout->state, 1);
    EXPECT_EQ(chart->state, 1);
    EXPECT_EQ(cui().toolsItem->state, 0);
    PumpFor(100);
    gWindow* popup = host->mainWindow;
    EXPECT_GT(Ink(popup, cui().toolsItem, view->rowHeight), 20) << "the tools row shows no text";
    EXPECT_EQ(Ink(popup, layout, view->rowHeight), 0) << "\"Layout\" is not greyed on the screen";
    // Resting on either, and the Right key, open nothing.
    for (gMenuItem* sub : {layout, chart}) {
        Hover(popup, sub, view->rowHeight);
        EXPECT_EQ(view->hovered, sub) << sub->label;
        EXPECT_FALSE(SubmenuShown()) << sub->label;
        FakeKey(XK_Right, true);
        FakeKey(XK_Right, false);
        PumpFor(100);
        EXPECT_FALSE(SubmenuShown()) << sub->label;
    }
    Shot("menu_view_greyed");
    Escape();
    // The preference pages are in theirs: it stays enabled.
    OpenTitle(kMenuEdit);
    CloseMenus();
    EXPECT_EQ(ThePanelMenus().preferences->state, 0);
}

TEST_F(PanelSubmenuTest, APageEntryEnablesItsSubmenuAndShowsAndHidesItsPage) {
    gMenuItem* layout = ThePanelMenus().layout;
    gMenuItem* chart = ThePanelMenus().chartTools;
    ASSERT_NE(layout, nullptr);
    // A panel over the main window with one page for "Layout".
    DialogPages panel;
    DialogPagesInit(&panel);
    panel.title = "Layout panel";
    const PageRow rows[] = {{"Grid page", &LabelPage, &NoRefresh, kPageLayout, 0, 0}};
    ASSERT_TRUE(DialogCreatePages(&panel, rows, 1));
    ASSERT_EQ(OpenPanelWindow(&panel, kPanelToggle, 0, Main()), kPanelShown);
    EXPECT_EQ(Children(layout), std::vector<std::string>{"Grid page"});
    EXPECT_TRUE(Children(chart).empty());
    gMenuItem* entry = panel.pages[0]->menuItem;
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->check, 1);

    PressView();
    gMenu* view = host->current;
    EXPECT_EQ(layout->state, 0);
    EXPECT_EQ(chart->state, 1);
    PumpFor(100);
    EXPECT_GT(Ink(host->mainWindow, layout, view->rowHeight), 20) << "\"Layout\" shows no text";
    // Resting on "Layout" opens it with its entry, drawn readable.
    Hover(host->mainWindow, layout, view->rowHeight);
    ASSERT_TRUE(SubmenuShown());
    PumpFor(100);
    EXPECT_GT(Ink(host->subWindow, entry, view->rowHeight), 20) << "the entry shows no text";
    Shot("menu_view_layout");
    // Choosing the entry of the shown page puts the panel away and clears its mark.
    Hover(host->subWindow, entry, view->rowHeight);
    EXPECT_EQ(layout->hoveredChild, entry);
    FakeButton(true);
    FakeButton(false);
    PumpUntil([&] { return !panel.window || !PanelShown(&panel); }, 1000);
    EXPECT_FALSE(PanelShown(&panel));
    EXPECT_EQ(entry->check, 0);
    if (host->open) Escape();
    // Chosen again, it shows the page and marks it. The submenu opens again above the
    // main window that the first choice brought forward, readable.
    PressView();
    EXPECT_EQ(layout->state, 0);
    Hover(host->mainWindow, layout, view->rowHeight);
    ASSERT_TRUE(SubmenuShown());
    platform::Point centre{host->subWindow->clientWidth / 2, host->subWindow->clientHeight / 2};
    platform::ClientToScreen(host->subWindow->hwnd, &centre);
    EXPECT_EQ(platform::WindowFromPoint(centre), host->subWindow->hwnd);
    PumpFor(100);
    EXPECT_GT(Ink(host->subWindow, entry, view->rowHeight), 20) << "the entry shows no text the second time";
    Hover(host->subWindow, entry, view->rowHeight);
    FakeButton(true);
    FakeButton(false);
    PumpUntil([&] { return PanelShown(&panel); }, 1000);
    EXPECT_TRUE(PanelShown(&panel));
    EXPECT_EQ(entry->check, 1);
    EXPECT_EQ(panel.currentPage, panel.pages[0]);
    if (host->open) Escape();
}

// The keys' option shows the view's state as its check mark, greys without a view, and
// each choice switches it over.
TEST_F(MainMenuTest, TheKeysOptionFollowsTheViewAndSwitchesIt) {
    gMenuItem* item = Item(MainMenuGroup::EditKeys, "Move Shape with Keys [Shift+Arrows, Wheel]");
    ASSERT_NE(item, nullptr);
    auto update = [] { EditMenuKeysUpdate(MainMenuRows(MainMenuGroup::EditKeys).rows, 0); };
    update();
    EXPECT_EQ(States(MainMenuGroup::EditKeys), "-") << "no view";
    MenuViewState s = ReadyState();
    s.keysMoveShape = true;
    Attach(s);
    update();
    EXPECT_EQ(States(MainMenuGroup::EditKeys), "+");
    EXPECT_EQ(item->check, 1) << "checked as the view has it";
    EXPECT_EQ(Choose(MainMenuGroup::EditKeys, "Move Shape with Keys [Shift+Arrows, Wheel]"), 1);
    EXPECT_EQ(item->check, 0);
    EXPECT_EQ(Choose(MainMenuGroup::EditKeys, "Move Shape with Keys [Shift+Arrows, Wheel]"), 1);
    EXPECT_EQ(item->check, 1);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"keys scroll", "keys move"}));
}

}  // namespace
}  // namespace orva
