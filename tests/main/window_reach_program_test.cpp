// Every window and page within reach on the screens people use: the real program, started
// on a FITS file written by astropy under an X server of each size, has every page of
// every tab and window opened by clicks and keys sent through XTest (tabs, menus,
// buttons, a rectangle drawn for "Edit Shape..."), and after each the program's own
// record of its widgets (written on SIGUSR1 when ORVA_WIDGET_DUMP names a file) must show
// every control inside the part of its window that is on the screen, no caption or
// button text cut, no control hidden in a page column that would have to scroll (the
// main window's pages excepted: they scroll), and the "Chart Tools" window beside or
// below the main window, never over it, wherever the screen has room for that. The pages
// that float over the cells (the grid page and the statistic overlay of the main window,
// the grid page of "Chart Tools") cover no other page, no control and not the chart.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"
#include "widget_records.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Records;
using testing_program::Screen;

constexpr const char* kMain = testing_program::kMainWindowTitle;

// An X server of its own with one screen of the given size, for as long as the object
// lives; DISPLAY names it meanwhile.
class OwnXServer {
public:
    OwnXServer(int width, int height) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            const std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) dup2(null, 2);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", size.c_str(), "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c = 0;
        while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return;
        if (const char* before = std::getenv("DISPLAY")) saved_ = before;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        ok_ = true;
    }
    ~OwnXServer() {
        if (ok_) {
            if (saved_.empty())
                unsetenv("DISPLAY");
            else
                setenv("DISPLAY", saved_.c_str(), 1);
        }
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool ok() const { return ok_; }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
    std::string saved_;
};

constexpr const char* kMake = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:300, 0:400]
v = (np.sin(x / 20.0) + np.cos(y / 15.0)) * 100 + 300
fits.PrimaryHDU(v.astype(np.float32)).writeto(sys.argv[1] + '/waves.fits', overwrite=True)
)";

class WindowReach : public ::testing::TestWithParam<std::pair<int, int>> {
protected:
    void SetUp() override {
        if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "astropy or numpy not installed";
        if (access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "no Xvfb";
        server.emplace(GetParam().first, GetParam().second);
        ASSERT_TRUE(server->ok()) << "no X server of that size";
        screen.emplace();
        if (const std::string why = testing_program::WhyNoProgramTest(*screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), kMake);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("make.py") + "' '" + files.Path() + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
        const std::string folder = files.File("run");
        mkdir(folder.c_str(), 0700);
        dump = files.File("widgets.txt");
        setenv("ORVA_WIDGET_DUMP", dump.c_str(), 1);
        program.emplace(folder, std::vector<std::string>{files.File("waves.fits")});
        unsetenv("ORVA_WIDGET_DUMP");
        ASSERT_NE(screen->WaitForWindow(kMain, 20000), 0u) << program->Log();
        ASSERT_TRUE(program->WaitForLog("Source format", 20000)) << program->Log();
        ASSERT_TRUE(WaitFor([](const Records& r) { return r.TabCurrent("Info"); })) << "no Source page";
        if (GetParam().second < 1000) {
            // "Chart Tools" starts over the main window's lower part there, as it starts on
            // every screen; the pages under it are reached with it hidden.
            ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Chart Tools"); })) << "Chart Tools hidden at start";
            ASSERT_TRUE(MenuEntry(107, "Show Window")) << "no View > Show Window \"Tools\"";
            ASSERT_TRUE(WaitFor([&](const Records&) { return !Shown("Chart Tools"); }));
        }
    }
    void TearDown() override {
        program.reset();
        screen.reset();
        server.reset();
    }

    Display* D() const { return screen->display(); }
    Window Root() const { return DefaultRootWindow(D()); }

    bool Read() { return testing_program::ReadRecords(program->Pid(), dump, &now); }
    // Reads the records until they satisfy the test (10 s at most).
    bool WaitFor(const std::function<bool(const Records&)>& test, int ms = 10000) {
        for (int waited = 0; waited <= ms; waited += 200) {
            if (Read() && test(now)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }
    bool Shown(const std::string& title) { return now.Titled(title) != nullptr; }

    void Click(int x, int y) {
        testing_program::ClickAt(D(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    // Clicks the shown tab or widget with that text (in a window of that title when given).
    bool ClickOn(const std::string& title, const std::string& text) {
        int x = 0, y = 0;
        if (!WaitFor([&](const Records& r) { return r.Centre(title, text, &x, &y); })) return false;
        Click(x, y);
        return true;
    }
    bool ChooseTab(const std::string& title, const std::string& label) {
        return ClickOn(title, label) && WaitFor([&](const Records& r) { return r.TabCurrent(label); });
    }
    void Key(std::initializer_list<KeySym> keys) {
        testing_program::PressKeys(D(), keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    // Clicks the main menu bar's title in that row (its y in the main window).
    bool ClickBar(int rowY) {
        if (!Read() || now.Titled(kMain) == nullptr) return false;
        Click(now.Titled(kMain)->x + 20, now.Titled(kMain)->y + rowY);
        return true;
    }
    // Opens the main menu bar's menu in that row (its y in the main window) and clicks the
    // entry found by its text on the screen; with `submenu` the entry only opens a submenu
    // whose `entry2` is clicked.
    bool MenuEntry(int rowY, const std::string& entry, const std::string& entry2 = "") {
        const testing_program::RecordWindow* main = now.Titled(kMain);
        if (main == nullptr) return false;
        for (int attempt = 0; attempt < 3; ++attempt) {
            Click(main->x + 20, main->y + rowY);
            int x = 0, y = 0;
            if (!FindOnScreen(entry, main->x + 40, main->y, &x, &y)) continue;
            testing_program::MoveTo(D(), Root(), x + 5, y + 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (entry2.empty()) {
                Click(x + 10, y + 4);
                return true;
            }
            testing_program::MoveTo(D(), Root(), x + 12, y + 5);
            int x2 = 0, y2 = 0;
            // The submenu stands beside its entry: a page over the cells may show the same text.
            if (!FindOnScreen(entry2, x + 20, y - 40, &x2, &y2, 300)) continue;
            // Along the entry's row into the submenu, then onto its entry.
            testing_program::MoveTo(D(), Root(), x2 - 2, y + 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            testing_program::MoveTo(D(), Root(), x2 + 5, y2 + 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Click(x2 + 10, y2 + 4);
            return true;
        }
        return false;
    }
    // Waits for a text of the built-in face on the screen right of and below (x, y) (at
    // most `width` pixels right of it when given).
    bool FindOnScreen(const std::string& text, int x0, int y0, int* x, int* y, int width = 0) {
        Picture p;
        for (int waited = 0; waited <= 3000; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!screen->Grab(Root(), &p)) continue;
            x0 = std::max(0, x0);
            y0 = std::max(0, y0);
            const int w = width > 0 ? std::min(width, p.width - x0) : p.width - x0;
            if (testing_program::FindText(p, x0, y0, w, p.height - y0, text, x, y)) return true;
        }
        return false;
    }

    // The faults the records show now, each noted once with where it was seen. The main
    // window's page column scrolls by design; any other column that hides a control does
    // not let it be reached.
    void Check(const std::string& where) {
        ASSERT_TRUE(Read()) << where << ": no widget records";
        // To look at afterwards: ORVA_TEST_SHOTS names a folder for a picture of each page.
        if (const char* shots = std::getenv("ORVA_TEST_SHOTS"); shots != nullptr && *shots != '\0') {
            Picture p;
            std::string name = where;
            for (char& c : name)
                if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
            if (screen->Grab(Root(), &p))
                testing_program::WritePpm(std::string(shots) + "/" + std::to_string(GetParam().first) + "_" +
                                              std::to_string(checked) + "_" + name + ".ppm",
                                          p);
        }
        const testing_program::RecordWindow* main = now.Titled(kMain);
        for (std::string fault : testing_program::ReachFaults(now, true)) {
            if (main != nullptr && fault.rfind("\"" + std::string(kMain) + "\"", 0) == 0 &&
                fault.find("until its page column scrolls") != std::string::npos)
                continue;
            if (seen.insert(fault).second) faults.push_back(where + ": " + fault);
        }
        ++checked;
    }
    // The "Chart Tools" window covers nothing of the main window.
    void ExpectToolsBesideMain() {
        ASSERT_TRUE(Read());
        const auto* main = now.Titled(kMain);
        const auto* tools = now.Titled("Chart Tools");
        ASSERT_NE(main, nullptr);
        ASSERT_NE(tools, nullptr) << "no Chart Tools window";
        const bool apart = tools->x >= main->x + main->width || main->x >= tools->x + tools->width ||
                           tools->y >= main->y + main->height || main->y >= tools->y + tools->height;
        EXPECT_TRUE(apart) << "Chart Tools at " << tools->x << "," << tools->y << " " << tools->width << "x"
                           << tools->height << " covers the main window at " << main->x << "," << main->y << " "
                           << main->width << "x" << main->height;
    }

    // Every page the program shows, one after another.
    void VisitEverything() {
        const bool roomy = GetParam().second >= 1000;
        Check("start, Source > Info");
        ASSERT_TRUE(ChooseTab(kMain, "Options")) << "no Source > Options";
        Check("Source > Options");
        ASSERT_TRUE(ChooseTab(kMain, "Info"));

        // The plug-ins: the affine module's page, then the convolver added from the menus.
        ASSERT_TRUE(ChooseTab(kMain, "Plug-ins"));
        Check("Plug-ins, Affine Transformations");
        ASSERT_TRUE(Read());
        const size_t before = now.widgets.size();
        ASSERT_TRUE(ClickOn(kMain, "Add Filter"));
        int x = 0, y = 0;
        ASSERT_TRUE(FindOnScreen("Convolution", 0, 0, &x, &y)) << "no Add Filter menu";
        testing_program::MoveTo(D(), Root(), x + 5, y + 4);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        int cx = 0, cy = 0;
        ASSERT_TRUE(FindOnScreen("Convolver", x + 20, y - 20, &cx, &cy)) << "no Convolution submenu";
        testing_program::MoveTo(D(), Root(), cx - 2, y + 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        Click(cx + 10, cy + 4);
        ASSERT_TRUE(WaitFor([&](const Records& r) { return r.widgets.size() > before; })) << "no convolver page";
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        Check("Plug-ins, Convolver");

        // The reduction's page and its SLICE / STATISTIC window (the page's title label).
        ASSERT_TRUE(ChooseTab(kMain, "Extraction/S.."));
        Check("Extraction/Statistic");
        ASSERT_TRUE(ClickOn(kMain, "Reduction"));
        ASSERT_TRUE(WaitFor([](const Records& r) {
            return std::any_of(r.windows.begin(), r.windows.end(), [](const auto& w) {
                return w.visible && w.title == "Reduction | Extraction/Statistic";
            });
        })) << "no SLICE / STATISTIC window";
        Check("SLICE / STATISTIC window");
        // Not so soon that the two clicks make a double click.
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ASSERT_TRUE(ClickOn(kMain, "Reduction"));
        ASSERT_TRUE(WaitFor([&](const Records&) { return !Shown("Reduction | Extraction/Statistic"); }))
            << "a second click leaves the SLICE / STATISTIC window";

        ASSERT_TRUE(ChooseTab(kMain, "View"));
        Check("View");
        ASSERT_TRUE(ChooseTab(kMain, "Source"));

        // "Chart Tools" and its panel: beside or below the main window where there is room;
        // where there is none it was hidden (above) and comes back with the View menu.
        if (roomy) {
            ExpectToolsBesideMain();
        } else {
            ASSERT_TRUE(Read());
            EXPECT_FALSE(Shown("Chart Tools")) << "Chart Tools shows over the main window";
            const auto* main = now.Titled(kMain);
            ASSERT_NE(main, nullptr);
            ASSERT_TRUE(MenuEntry(107, "Show Window")) << "no View > Show Window \"Tools\"";
            ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Chart Tools"); })) << "the View menu shows no Chart Tools";
        }
        Check("Chart Tools");
        if (!roomy) {
            ASSERT_TRUE(MenuEntry(107, "Show Window"));
            ASSERT_TRUE(WaitFor([&](const Records&) { return !Shown("Chart Tools"); }));
        }

        // "Edit Shape..." for a rectangle drawn on the picture.
        ASSERT_TRUE(Read());
        const testing_program::RecordWindow* cells = nullptr;
        for (const auto& w : now.windows)
            if (w.visible && w.title == "Workspace Layout" &&
                (cells == nullptr || w.width * w.height > cells->width * cells->height))
                cells = &w;
        ASSERT_NE(cells, nullptr);
        const int mx = cells->x + cells->width / 2, my = cells->y + cells->height / 2;
        testing_program::MoveTo(D(), Root(), mx - 41, my - 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        testing_program::MoveTo(D(), Root(), mx - 40, my - 30);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        Key({XK_F7});
        XTestFakeButtonEvent(D(), 1, True, CurrentTime);
        XSync(D(), False);
        for (int i = 1; i <= 6; ++i) {
            testing_program::MoveTo(D(), Root(), mx - 40 + 80 * i / 6, my - 30 + 60 * i / 6);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        XTestFakeButtonEvent(D(), 1, False, CurrentTime);
        XSync(D(), False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ASSERT_TRUE(MenuEntry(84, "Edit Shape\x85")) << "no Edit > Edit Shape...";
        ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Edit Shape"); })) << "no Edit Shape window";
        Check("Edit Shape");
        // It stands apart from the page column, where its pages would be taken for one of it.
        const auto* shape = now.Titled("Edit Shape");
        const auto* main = now.Titled(kMain);
        ASSERT_TRUE(shape != nullptr && main != nullptr);
        EXPECT_GE(shape->x, main->x + SideWidth()) << "Edit Shape lies over the main window's pages";

        // The output page and its file dialog.
        ASSERT_TRUE(ClickBar(38));
        ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Output Options"); })) << "Save opens no output page";
        ASSERT_TRUE(WaitFor([&](const Records& r) {
            return std::any_of(r.windows.begin(), r.windows.end(),
                               [](const auto& w) { return w.visible && w.title.rfind("Save As", 0) == 0; });
        })) << "no Save As dialog";
        Check("Output Options with Save As");
        ASSERT_TRUE(ClickOn("", "Cancel"));
        ASSERT_TRUE(WaitFor([](const Records& r) {
            return std::none_of(r.windows.begin(), r.windows.end(),
                                [](const auto& w) { return w.visible && w.title.rfind("Save As", 0) == 0; });
        }));
        // The page the Save opened goes with its dialog.
        ASSERT_TRUE(WaitFor([&](const Records&) { return !Shown("Output Options"); })) << "the output page stayed";

        // The file dialog of Open.
        ASSERT_TRUE(ClickBar(16));
        ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Open data file(s)"); })) << "Open opens no dialog";
        Check("Open data file(s)");
        ASSERT_TRUE(ClickOn("Open data file(s)", "Cancel"));
        ASSERT_TRUE(WaitFor([&](const Records&) { return !Shown("Open data file(s)"); }));

        // The preferences, page by page.
        ASSERT_TRUE(MenuEntry(84, "Preferences", "General")) << "no Edit > Preferences > General";
        ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Preferences"); })) << "no Preferences window";
        for (const char* page : {"General", "Input", "Output"}) {
            ASSERT_TRUE(ChooseTab("Preferences", page)) << page;
            Check(std::string("Preferences > ") + page);
        }
    }

    // What the floating pages cover now, one line each.
    std::vector<std::string> Covered() {
        if (!Read()) return {"no widget records"};
        return testing_program::FloatingPageFaults(now, kMain);
    }

    // The main window's page column width from its record.
    int SideWidth() const {
        const auto* main = now.Titled(kMain);
        for (const auto& c : now.columns)
            if (main != nullptr && c.window == main->id) return static_cast<int>(c.side);
        return 0;
    }

    std::optional<OwnXServer> server;
    std::optional<Screen> screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    std::string dump;
    Records now;
    std::set<std::string> seen;
    std::vector<std::string> faults;
    int checked = 0;
};

TEST_P(WindowReach, EveryPageOfEveryWindow) {
    VisitEverything();
    std::string all;
    for (const std::string& f : faults) all += "\n  " + f;
    EXPECT_TRUE(faults.empty()) << faults.size() << " controls out of reach after " << checked << " pages:" << all;
    EXPECT_EQ(program->End(), 0);
}

TEST_P(WindowReach, FloatingPagesCoverNoOtherPageNorControl) {
    const bool roomy = GetParam().second >= 1000;
    auto expectNothingCovered = [&](const std::string& where) {
        ASSERT_TRUE(WaitFor([](const Records&) { return true; }));
        std::string all;
        for (const std::string& f : Covered()) all += "\n  " + f;
        EXPECT_TRUE(all.empty()) << where << ":" << all;
    };
    auto count = [](const Records& r, const std::string& prefix) {
        return static_cast<int>(std::count_if(r.windows.begin(), r.windows.end(), [&](const auto& w) {
            return w.visible && w.parent == "(nil)" && w.title.rfind(prefix, 0) == 0;
        }));
    };
    // Chooses the entry until the number of pages so titled is `n` (a busy machine may miss
    // a click on a menu).
    auto chooseUntil = [&](const std::string& menu, const std::string& entry, const std::string& prefix, int n) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!MenuEntry(107, menu, entry)) continue;
            if (WaitFor([&](const Records& r) { return count(r, prefix) == n; }, 5000)) return true;
        }
        return false;
    };
    // The main window's grid page, then its statistic overlay.
    ASSERT_TRUE(Read());
    const int before = count(now, "Workspace Layout");
    ASSERT_TRUE(chooseUntil("Layout", "Grid", "Workspace Layout", before + 1)) << "no grid page";
    expectNothingCovered("the grid page");
    ASSERT_TRUE(chooseUntil("Layout", "Statistic Overlay", "Workspace Layout", before + 2)) << "no statistic overlay";
    expectNothingCovered("the grid page and the statistic overlay");
    if (!roomy) {
        // "Chart Tools" comes over the main window's lower part, where these pages stand.
        ASSERT_TRUE(chooseUntil("Layout", "Grid", "Workspace Layout", before + 1));
        ASSERT_TRUE(chooseUntil("Layout", "Statistic Overlay", "Workspace Layout", before));
        ASSERT_TRUE(MenuEntry(107, "Show Window")) << "no View > Show Window \"Tools\"";
        ASSERT_TRUE(WaitFor([&](const Records&) { return Shown("Chart Tools"); }));
    }
    // The grid page of "Chart Tools".
    ASSERT_TRUE(chooseUntil("Chart Tools", "Grid", "Workspace Chart Tools", 1)) << "no grid page of Chart Tools";
    expectNothingCovered("the grid page of Chart Tools");
    EXPECT_EQ(program->End(), 0);
}

INSTANTIATE_TEST_SUITE_P(Screens, WindowReach,
                         ::testing::Values(std::pair{1280, 1024}, std::pair{1920, 1080}, std::pair{1024, 768}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

}  // namespace
}  // namespace orva
