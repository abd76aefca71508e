// The main window and "Chart Tools": where they stand, their titles and status lines,
// the keys of the window groups, the tool window's close box and F4, "LOG", the texture
// report, the clipboard, and a hand-over that brings the main window to the front. On
// the recording backend where the X server does not matter, on the test display where
// it does.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/field_readers.h"
#include "app/ui_elements.h"
#include "common/system.h"
#include "framework/handover.h"
#include "platform/cursor_resources.h"
#include "platform/window_api.h"
#include "platform/x11_backend.h"
#include "pump_support.h"
#include "shell_fixture.h"
#include "test_support.h"
#include "toolkit/input.h"
#include "toolkit/menu.h"
#include "toolkit/texture_image.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/widget.h"

#include <X11/Xlib.h>

namespace orva {
namespace {

using testing_util::ServeQueue;

// A menu item of the test's own, for the View menu's tools item.
struct ToolsItem {
    ToolsItem() {
        menu = gMenuCreate(nullptr, nullptr, 0, 0, nullptr);
        if (menu != nullptr) gMenuAddItems(menu, rows, 1, false, 0, nullptr);
    }
    ~ToolsItem() { gMenuDelete(menu); }
    gMenuRow rows[1] = {{"Show Window \"Tools\"", 0, nullptr, 0, nullptr}};
    gMenu* menu = nullptr;
    gMenuItem* item() { return rows[0].item; }
};

bool Visible(gWindow* w) { return w != nullptr && platform::IsWindowVisible(w->hwnd); }

class ShellWindowsTest : public testing_util::ShellTest {};

TEST_F(ShellWindowsTest, WindowsTitlesAndStatusLinesOnA1024x768Screen) {
    Start();
    gWindow* main = Main();
    gWindow* tools = Tools();
    ASSERT_NE(main, nullptr);
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(std::vector<int32_t>({main->x, main->y, main->width, main->height}),
              std::vector<int32_t>({62, 0, 900, 706}));
    // No place on this screen leaves the main window uncovered: the tool window stands at
    // the foot of the screen, from its left edge, over the main window's lower part, shown
    // from the start as on every screen.
    EXPECT_EQ(std::vector<int32_t>({tools->x, tools->y, tools->width, tools->height}),
              std::vector<int32_t>({0, 249, 710, 494}));
    EXPECT_EQ(main->title, "ORVA (Test only, v.2.1.0) ");
    EXPECT_EQ(tools->title, "Chart Tools");
    EXPECT_EQ(std::string(MainWindowTitle(2)), "ORVA (Test only, v.2.1.0)  [2]");
    EXPECT_EQ(std::string(MainWindowTitle(150)), "ORVA (Test only, v.2.1.0)  [100]");
    for (int g : {0, 1}) EXPECT_EQ(cui().groups[g].statusWidget->text, "Ready");
    EXPECT_EQ(cui().groups[2].windows[0], nullptr);  // the third group has no window
    EXPECT_TRUE(Visible(main));
    EXPECT_TRUE(Visible(tools));
    EXPECT_NE(Fake().Count("icon 147"), 0u);
    // The cursors: the toolkit's default first, then the 29 resources.
    EXPECT_EQ(UICursor(1), platform::LoadCursor(102));
    EXPECT_EQ(UICursor(29), platform::LoadCursor(206));
    EXPECT_EQ(UICursor(30), nullptr);

    // Building group 1 again changes nothing.
    size_t windows = platform::LiveWindowCount();
    EXPECT_TRUE(StartUI(&cui(), 1));
    EXPECT_EQ(std::make_pair(Tools(), platform::LiveWindowCount()), std::make_pair(tools, windows));

    // The About box: made once, shown again.
    ShowAboutBox();
    gWindow* about = AboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->title, "About");
    ShowAboutBox();
    EXPECT_EQ(AboutWindow(), about);

    // The main window's pages are tabs of its tab bar; the tool window has none yet.
    EXPECT_EQ(cui().groups[0].tabLabels, (std::vector<std::string>{"Source", "Plug-ins"}));
    EXPECT_TRUE(cui().groups[1].tabLabels.empty());
    // A page attached later to the tool window joins its tab bar.
    OptionsWindow* page = CreateOptionsWindow(&cui(), 3);
    ASSERT_NE(page, nullptr);
    page->title = "Chart";
    ASSERT_NE(AttachItemWindow(&cui(), page, reinterpret_cast<uintptr_t>(tools), kGroupStyleChart | kGroupPagesBit),
              nullptr);
    EXPECT_EQ(cui().groups[1].tabLabels, (std::vector<std::string>{"Chart"}));
}

// Records the keys that reach the data window of slot 1.
std::vector<gKeyCode> gPassed;
gWindow* gMain = nullptr;
bool gNested = false;
bool RecordKey(gWindow*, gWindow*, void* key) {
    gKeyCode code = static_cast<gKeyEvent*>(key)->code;
    gPassed.push_back(code);
    if (code == 'V') {
        // A key that arrives during the window's own key procedure is left alone.
        gKeyEvent inner{'A', 'a', 1};
        gNested = GroupKeyDown(gMain, gMain, &inner);
    }
    return true;
}
bool RecordKeyUp(gWindow*, void* key) {
    gPassed.push_back(static_cast<gKeyUpRecord*>(key)->code | 0x80000000u);
    return true;
}

TEST_F(ShellWindowsTest, KeysOfTheWindowGroups) {
    Start();
    gMain = Main();
    gWindow* data = gWinCreateRec(0, 0, 100, 100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(gWinOpen(data, "data", kStyleShown));
    data->keyDownHandler = &RecordKey;
    data->keyUpHandler = &RecordKeyUp;
    cui().groups[0].windows[1] = data;
    gPassed.clear();
    auto down = [&](gKeyCode code) {
        gKeyEvent e{code, 0, 1};
        return GroupKeyDown(gMain, gMain, &e);
    };
    const gKeyCode passed[] = {kKeyTab, KeyF(10), KeyF(12), kKeyPageUp, kKeyPageDown, kKeyLeft, kKeyUp, kKeyRight,
                               kKeyDown, kKeyInsert, kKeyPadAdd, kKeyPadSubtract, '0', '9', 'A' | kKeyCtrl, 'C',
                               'E', 'G', 'M', 'O', 'P', 'R', 'T' | kKeyShift, 0xBB, 0xBD, 0xDC | kKeyAlt, 'B',
                               'D', 'F', 'I', 'Q', 'S'};
    for (gKeyCode code : passed) EXPECT_TRUE(down(code)) << std::hex << code;
    EXPECT_EQ(gPassed, std::vector<gKeyCode>(std::begin(passed), std::end(passed)));
    gPassed.clear();
    const gKeyCode refused[] = {'B' | kKeyCtrl, 'D' | kKeyShift, 'F' | kKeyAlt, 'I' | kKeyCtrl, 'Q' | kKeyShift,
                                'S' | kKeyCtrl, 'W', 'X', KeyF(2), kKeyEscape};
    for (gKeyCode code : refused)
        EXPECT_FALSE(down(code)) << std::hex << code;
    EXPECT_TRUE(gPassed.empty());
    EXPECT_TRUE(down('V'));
    EXPECT_FALSE(gNested);
    EXPECT_EQ(gPassed, std::vector<gKeyCode>({'V'}));

    // Key-ups: the arrows, the page keys, Space and every key with Shift.
    gPassed.clear();
    for (gKeyCode code : {kKeyLeft, kKeyPageDown, gKeyCode{' '}, 'K' | kKeyShift}) {
        gKeyUpRecord up{code, 0};
        EXPECT_TRUE(GroupKeyUp(gMain, &up));
    }
    gKeyUpRecord other{'K', 0};
    EXPECT_FALSE(GroupKeyUp(gMain, &other));
    EXPECT_EQ(gPassed.size(), 4u);

    // A busy data window takes nothing; without one nothing is passed.
    data->state |= kStateInHandler;
    EXPECT_FALSE(down('C'));
    data->state &= ~kStateInHandler;
    cui().groups[0].windows[1] = nullptr;
    EXPECT_FALSE(down('C'));

    // Alt+F4 runs the exit path; F4 toggles the tool window (shown from the start, also on
    // this screen where it stands over the main window's lower part).
    static int exits;
    exits = 0;
    TheShellHooks().exitCommand = [] { ++exits; };
    EXPECT_TRUE(down(KeyF(4) | kKeyAltL));
    EXPECT_EQ(exits, 1);
    EXPECT_TRUE(Visible(Tools()));
    EXPECT_TRUE(down(KeyF(4)));
    EXPECT_FALSE(Visible(Tools()));
    EXPECT_FALSE(platform::IsWindowEnabled(Tools()->hwnd));
    EXPECT_TRUE(down(KeyF(4)));
    EXPECT_TRUE(Visible(Tools()));
    EXPECT_TRUE(platform::IsWindowEnabled(Tools()->hwnd));
    gUiCloseQuiet(data);
    ServeQueue();
}

TEST_F(ShellWindowsTest, AHandOverOfAnEmptyLineRaisesTheMainWindow) {
    Start();
    AppServices services;
    InstallAppShell(&services);
    TheApp().SetServices(services);
    Fake().ClearCalls();
    ReceiveCommandLine(TheApp(), {});
    TheApp().SetServices(AppServices{});
    EXPECT_NE(std::find(Fake().calls.begin(), Fake().calls.end(), "activate"), Fake().calls.end());
    bool mainActivated = false;
    for (const std::string& call : Fake().CallsFor(Main()->hwnd)) mainActivated = mainActivated || call == "activate";
    EXPECT_TRUE(mainActivated);
}

// ---- On the test's X display --------------------------------------------------------------------

class ShellOnDisplayTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    }
    void ServeFor(int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            ServeQueue();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    static bool Mapped(gWindow* w) {
        auto* display = static_cast<Display*>(platform::X11Display());
        XWindowAttributes a;
        return XGetWindowAttributes(display, platform::X11WindowOf(w->hwnd), &a) && a.map_state == IsViewable;
    }
};

TEST_F(ShellOnDisplayTest, TheToolWindowsCloseBoxHidesIt) {
    std::string log = testing_util::CapturedLog([&] { Start(false); });
    ServeFor(200);
    ToolsItem tools;
    ASSERT_NE(tools.item(), nullptr);
    cui().toolsItem = tools.item();
    gMenuCheckItem(tools.item(), true);
    ASSERT_TRUE(Mapped(Tools()));
    // The close box as a window manager sends it.
    auto* display = static_cast<Display*>(platform::X11Display());
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = platform::X11WindowOf(Tools()->hwnd);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XSync(display, False);
    ServeFor(300);
    ASSERT_NE(Tools(), nullptr);  // only hidden
    EXPECT_FALSE(Mapped(Tools()));
    EXPECT_FALSE(platform::IsWindowEnabled(Tools()->hwnd));
    EXPECT_EQ(tools.item()->check, 0);
    EXPECT_TRUE(Mapped(Main()));
    // F4 brings it back.
    gKeyEvent f4{KeyF(4), 0, 1};
    EXPECT_TRUE(GroupKeyDown(Main(), Main(), &f4));
    ServeFor(300);
    EXPECT_TRUE(Mapped(Tools()));
    EXPECT_TRUE(platform::IsWindowEnabled(Tools()->hwnd));
    EXPECT_EQ(tools.item()->check, 1);
    cui().toolsItem = nullptr;

    // The texture report: the limits hold the logged RGB8 and RGB16 sizes.
    auto logged = [&](const char* probe) {
        size_t at = log.find(probe);
        if (at == std::string::npos) return -1;
        at = log.find('\n', at) + 1;
        return log.compare(at, 3, "\t [") == 0 ? std::atoi(log.c_str() + at + 3) : 0;
    };
    EXPECT_EQ(gTextureLimits().rgb8, logged("# proxy RGB8 allocation"));
    EXPECT_EQ(gTextureLimits().rgb16, logged("# proxy RGB16 allocation"));
    EXPECT_GT(gTextureLimits().rgb8, 0);
}

TEST_F(ShellOnDisplayTest, TheTabBarShowsTheChosenPage) {
    Start(false);
    ServeFor(200);
    WindowGroup& g = cui().groups[0];
    ASSERT_EQ(g.tabPages.size(), 2u);
    auto shown = [&](size_t i) {
        gGroup* group = g.tabPages[i]->element.group;
        return group != nullptr && group->shown != 0;
    };
    EXPECT_TRUE(shown(0));
    EXPECT_FALSE(shown(1));
    // A click on the second tab, as the user makes it.
    gElement* tabs = g.tabBar;
    testing_util::FocusWindow(Main());
    testing_util::FakeMotionIn(Main(), static_cast<int>(tabs->x + 83 + 30), static_cast<int>(tabs->y + 8));
    testing_util::FakeButton(true);
    testing_util::FakeButton(false);
    ServeFor(200);
    EXPECT_FALSE(shown(0));
    EXPECT_TRUE(shown(1));
}

TEST_F(ShellOnDisplayTest, LogButtonAndClipboard) {
    testing_util::TempFolder bin;
    std::string record = bin.File("opened");
    testing_util::WriteText(bin.File("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > " + record + ".tmp && mv " +
                                                      record + ".tmp " + record + "\n");
    chmod(bin.File("xdg-open").c_str(), 0755);
    std::string path = bin.Path() + ":" + (std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
    testing_util::ScopedEnv pathEnv("PATH", path), visual("VISUAL", nullptr), editor("EDITOR", nullptr);
    // The log lives in the user folder (there is none beside the program); the folder
    // stays for the other tests of this process, which may write there too.
    static testing_util::TempFolder appData;
    TheApp().SetAppDataFolder(appData.Path());
    TheApp().FindFolders();
    ASSERT_EQ(TheApp().LogFilePath(), appData.Path() + "/ZEL Lab/app_tests.log");
    Start(false);
    gElement* log = nullptr;
    for (gElement* e = Main()->widgets.head; e != nullptr; e = e->next)
        if (e->text == "LOG") log = e;
    ASSERT_NE(log, nullptr);
    log->onClick(log, log->handlerData);
    for (int i = 0; i < 200 && !testing_util::Exists(record); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(testing_util::ReadText(record), TheApp().LogFilePath());

    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip missing";
    EXPECT_TRUE(ClipboardSetText("x=1", 3, nullptr));
    EXPECT_EQ(testing_util::RunPumping("xclip -o -selection clipboard"), "x=1");
}

}  // namespace
}  // namespace orva
