// Hand-overs, questions and a restart as a user lives them, in the real program with the
// pointer and keys of XTest only, judged by the screen, the files it writes and its own
// record of its windows (ORVA_WIDGET_DUMP): with "CLOSE DATA?" switched on, a "-close"
// handed over asks and a "-open" handed over meanwhile waits for the answer and then asks
// its own, after which the tab, the picture, the Info page and the counters all name the
// opened file; a zoom far out and back to 100 % on both axes puts the picture back where
// it opened; File > Open's dialog keeps Esc after a hand-over opened a file behind it (and
// asked over it); switching files clears the "Chart Tools" preview with its list; after
// "-allclose" the pointer over the empty cell reads nothing; the grid page and the
// statistic overlay cover no control, come back where they were after a restart, and do
// so on screens of 1024 x 768 and 1920 x 1080 too, where the Options page's "Update" is
// reached with the pointer and writes the file's service description. On 1024 x 768
// "Chart Tools" starts over the main window's lower part and leaves the cells no room: the
// two pages stand above it, over its ground between its controls (covering none of them
// nor any of the main window), move over the cells as F4 puts it away (so that "Update"
// is reached), and back above it, again covering no control, as F4 brings it back.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "chart_screen.h"
#include "shape_program.h"
#include "widget_records.h"

namespace orva {
namespace {

using testing_program::ClickAt;
using testing_program::MoveTo;
using testing_program::Picture;
using testing_program::ProgramPlace;
using testing_program::ProgramRun;
using testing_program::Records;
using testing_program::RecordWidget;
using testing_program::RecordWindow;
using testing_program::Screen;

constexpr const char* kMain = testing_program::kMainWindowTitle;
const std::string kQuestion = std::string("Close Data?..") + kMain;

// A 120 x 100 ramp inside the same white border as the shape ramps.
constexpr const char* kSmall = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:100, 0:120]
v = (1000 + 3 * x + y).astype(np.int16)
v[:2, :] = v[-2:, :] = 4000
v[:, :2] = v[:, -2:] = 4000
fits.PrimaryHDU(v).writeto(sys.argv[1] + '/small.fits', overwrite=True)
)";

// The top-level page windows ("Workspace …") where they stand.
using Places = std::set<std::tuple<std::string, int, int, int, int>>;

class QuestionAndRestartProgram : public testing_program::ShapeProgram {
protected:
    void SetUp() override {
        run = files.File("run");
        const std::string user = run + "/config/ZEL Lab";
        for (const std::string& f : {run, run + "/config", user}) mkdir(f.c_str(), 0700);
        testing_util::WriteText(user + "/orva.cfg",
                                "[{424F4C47-00000000-4C505041424F4C47-00000000}]\nConfirmClosing=1\n");
        testing_util::WriteText(files.File("small.py"), kSmall);
        int status = -1;
        testing_program::RunCommand(ORVA_PYTHON " '" + files.File("small.py") + "' '" + files.Path() + "' 2>&1",
                                    &status);
        ASSERT_EQ(status, 0);
        StartOn({"ramp.fits", "ramp2.fits"});
    }
    void TearDown() override {
        for (pid_t pid : senders) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // A later start with the running program's folders, in the test's folder; its pid.
    pid_t Hand(const std::vector<std::string>& args) {
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(files.Path().c_str()) != 0) _exit(126);
            setenv("XDG_CONFIG_HOME", (run + "/config").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (run + "/run").c_str(), 1);
            setenv("HOME", (run + "/home").c_str(), 1);
            std::vector<char*> argv{const_cast<char*>("orva")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ORVA_BINARY_DIR "/orva", argv.data());
            _exit(127);
        }
        senders.push_back(pid);
        return pid;
    }
    // The start's exit status once it ended within `ms`; -2 while it still runs.
    int Ended(pid_t pid, int ms) {
        for (int waited = 0;; waited += 50) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                senders.erase(std::remove(senders.begin(), senders.end(), pid), senders.end());
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (waited >= ms) return -2;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    // Answers "CLOSE DATA?" with its "Yes" (the first button of the column at its right).
    bool AnswerYes(Screen& on) {
        const Window box = on.WaitForWindow(kQuestion, 20000);
        if (box == 0) return false;
        const Screen::Rect r = on.RectOf(box);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ClickAt(on.display(), DefaultRootWindow(on.display()), r.right - 50, r.top + 13);
        // Gone (another question may take its place at once).
        for (int waited = 0; waited <= 5000; waited += 100) {
            if (on.FindWindow(kQuestion) != box) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        Picture p;
        if (on.Grab(DefaultRootWindow(on.display()), &p)) testing_program::WritePpm(ORVA_BINARY_DIR "/question.ppm", p);
        return false;
    }

    bool Read(pid_t pid = 0) { return testing_program::ReadRecords(pid != 0 ? pid : program->Pid(), dump, &now); }
    bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
        for (int waited = 0; waited <= ms; waited += 250) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    }
    // The labels of the file tabs of the main window.
    std::set<std::string> FileTabs() {
        std::set<std::string> labels;
        const RecordWindow* m = now.Titled(kMain);
        for (const auto& t : now.tabs)
            if (m != nullptr && t.window == m->id && t.label.size() > 5 && t.label.rfind(".fits") == t.label.size() - 5)
                labels.insert(t.label);
        return labels;
    }
    // A widget's box on the screen.
    Screen::Rect BoxOf(const RecordWidget& e) const {
        const RecordWindow* w = now.Window(e.window);
        if (w == nullptr) return Screen::Rect{};
        return Screen::Rect{w->x + static_cast<int>(e.x), w->y + static_cast<int>(e.y),
                            w->x + static_cast<int>(e.x + e.width), w->y + static_cast<int>(e.y + e.height)};
    }
    // A shown widget with that text in a shown window whose title starts so; its box on
    // the screen.
    bool WidgetBox(const std::string& title, const std::string& text, int kind, Screen::Rect* box,
                   const RecordWidget** found = nullptr) {
        for (const RecordWidget& e : now.widgets) {
            const RecordWindow* w = now.Window(e.window);
            if (w == nullptr || !w->visible || e.shown == 0 || e.text != text || (kind != 0 && e.kind != kind) ||
                w->title.rfind(title, 0) != 0)
                continue;
            *box = BoxOf(e);
            if (found != nullptr) *found = &e;
            return true;
        }
        return false;
    }
    // The picture widget of the "Chart Tools" value page (the window with its "V:").
    bool ChartPreview(Screen::Rect* box) {
        Screen::Rect v;
        const RecordWidget* label = nullptr;
        if (!WidgetBox("Workspace Chart Tools", "V:", 4, &v, &label)) return false;
        for (const RecordWidget& e : now.widgets)
            if (e.window == label->window && e.kind == 519 && e.shown != 0) {
                // The readouts' rows below it are left out.
                *box = BoxOf(e);
                box->bottom = std::min(box->bottom, v.top - 2);
                return true;
            }
        return false;
    }
    // The field right of a label, in the label's window and row.
    bool FieldRightOf(const std::string& title, const std::string& label, Screen::Rect* box) {
        const RecordWidget* l = nullptr;
        Screen::Rect lb;
        if (!WidgetBox(title, label, 0, &lb, &l)) return false;
        const RecordWidget* best = nullptr;
        for (const RecordWidget& e : now.widgets)
            if (e.window == l->window && e.kind == 6 && std::abs(e.y - l->y) < 3 && e.x > l->x &&
                (best == nullptr || e.x < best->x))
                best = &e;
        if (best == nullptr) return false;
        *box = BoxOf(*best);
        return true;
    }
    // Whether a box of the last screen shows exactly the text ("" for no ink at all).
    bool BoxShows(const Screen::Rect& b, const std::string& text) {
        return testing_program::ShowsText(shot, b.left, b.top, b.right - b.left, b.bottom - b.top, text);
    }
    // The top-level page windows shown now.
    Places PagePlaces() const {
        Places p;
        for (const RecordWindow& w : now.windows)
            if (w.visible && w.parent == "(nil)" && w.title.rfind("Workspace", 0) == 0)
                p.insert({w.title, w.x, w.y, w.width, w.height});
        return p;
    }
    // The main menu's View > Layout > `entry`: the bar's entry, then the submenu's, found
    // on the screen as a hand finds them.
    bool LayoutEntry(const std::string& entry) {
        const Screen::Rect m = screen.RectOf(main);
        for (int attempt = 0; attempt < 3; ++attempt) {
            ClickAt(D(), Root(), m.left + 20, m.top + 107);
            int x = 0, y = 0, x2 = 0, y2 = 0;
            if (!WaitForText("Layout", m.left + 40, m.top + 40, 300, 300, &x, &y, 3000)) continue;
            MoveTo(D(), Root(), x + 12, y + 5);
            if (!WaitForText(entry, x + 20, y - 40, 300, 400, &x2, &y2, 3000)) continue;
            // Along the entry's row into the submenu, then onto its entry.
            MoveTo(D(), Root(), x2 - 2, y + 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            MoveTo(D(), Root(), x2 + 5, y2 + 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ClickAt(D(), Root(), x2 + 10, y2 + 4);
            return true;
        }
        return false;
    }
    // The Options page's "Update", brought into view with the wheel over the page column
    // and clicked: the file's service description `written` appears. `on`: the screen.
    ::testing::AssertionResult ReachUpdate(Screen& on, pid_t pid, const std::string& written) {
        Display* d = on.display();
        const Window root = DefaultRootWindow(d);
        std::remove(written.c_str());
        int x = 0, y = 0;
        if (!WaitFor([&] { return Read(pid) && now.Centre(kMain, "Options", &x, &y); }))
            return ::testing::AssertionFailure() << "no Options tab";
        ClickAt(d, root, x, y);
        for (int turn = 0; turn < 20; ++turn) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Screen::Rect b;
            const RecordWindow* m = Read(pid) ? now.Titled(kMain) : nullptr;
            if (m == nullptr) continue;
            const testing_program::Rectangle seen = now.VisibleArea(*m);
            // Shown (not scrolled away) and inside the part of the window on the screen.
            if (WidgetBox(kMain, "Update", 37, &b) && b.left >= seen.left && b.top >= seen.top &&
                b.right <= seen.right && b.bottom <= seen.bottom) {
                ClickAt(d, root, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
                if (WaitFor([&] { return testing_util::Exists(written); }, 5000)) return ::testing::AssertionSuccess();
                return ::testing::AssertionFailure() << "\"Update\" at " << b.left << "," << b.top << " wrote no "
                                                     << written;
            }
            // The wheel over the page column's left margin (a field under the pointer would
            // take the wheel for itself), halfway down its band.
            int middle = m->y + m->height / 2;
            for (const auto& c : now.columns)
                if (c.window == m->id) middle = m->y + static_cast<int>((c.top + c.bottom) / 2);
            MoveTo(d, root, m->x + 6, middle);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            XTestFakeButtonEvent(d, 5, True, CurrentTime);
            XTestFakeButtonEvent(d, 5, False, CurrentTime);
            XSync(d, False);
        }
        std::string seen = "none";
        for (const RecordWidget& e : now.widgets)
            if (e.text == "Update")
                seen = "y " + std::to_string(e.y) + " shown " + std::to_string(e.shown) + " hidden by " +
                       std::to_string(e.hideReasons);
        Picture p;
        if (on.Grab(DefaultRootWindow(d), &p)) testing_program::WritePpm(ORVA_BINARY_DIR "/update.ppm", p);
        return ::testing::AssertionFailure() << "\"Update\" never came into view (" << seen << ", Options "
                                             << now.TabCurrent("Options") << ")";
    }
    std::string Faults() {
        std::string all;
        for (const std::string& f : testing_program::FloatingPageFaults(now, kMain)) all += "\n  " + f;
        return all;
    }
    // Whether "Chart Tools" stands over the main window now.
    bool ToolsOverMain() const {
        const RecordWindow* m = now.Titled(kMain);
        const RecordWindow* t = now.Titled("Chart Tools");
        return m != nullptr && t != nullptr &&
               !testing_program::Rectangle{m->x, m->y, m->x + m->width, m->y + m->height}
                    .Meet({t->x, t->y, t->x + t->width, t->y + t->height})
                    .Empty();
    }
    // With "Chart Tools" over the main window the grid page and the statistic overlay stand
    // above it: over no other page and no control of either window, and on top (a row of
    // each reads on the screen).
    ::testing::AssertionResult PagesAboveTools(Screen& on, pid_t pid) {
        ::testing::AssertionResult seen = ::testing::AssertionFailure() << "no widget records";
        WaitFor([&] { return Read(pid) && (seen = PagesAboveToolsNow(on)); }, 5000);
        return seen;
    }
    ::testing::AssertionResult PagesAboveToolsNow(Screen& on) {
        std::string all;
        for (const std::string& f : testing_program::FloatingPageFaults(now, kMain)) all += "\n  " + f;
        if (!all.empty()) return ::testing::AssertionFailure() << "the pages cover:" << all;
        Picture p;
        if (!on.Grab(DefaultRootWindow(on.display()), &p)) return ::testing::AssertionFailure() << "no screen";
        int found = 0;
        for (const RecordWindow& w : now.windows) {
            if (!w.visible || w.parent != "(nil)" || w.title != "Workspace Layout") continue;
            const bool grid = std::any_of(now.widgets.begin(), now.widgets.end(), [&](const RecordWidget& e) {
                return e.window == w.id && e.text == "Cursor options [charts]";
            });
            const bool overlay = std::any_of(now.widgets.begin(), now.widgets.end(),
                                             [&](const RecordWidget& e) { return e.window == w.id && e.kind == 88; });
            if (!grid && !overlay) continue;
            int x = 0, y = 0;
            const bool shows =
                grid ? testing_program::FindText(p, w.x, w.y, w.width, w.height, "Cursor options", &x, &y)
                     : testing_program::FindInk(p, w.x, w.y, w.width, w.height, testing_program::ListInk("Count:"), &x,
                                                &y);
            if (!shows) {
                testing_program::WritePpm(ORVA_BINARY_DIR "/pages_above_tools.ppm", p);
                return ::testing::AssertionFailure()
                       << (grid ? "the grid page" : "the statistic overlay") << " at " << w.x << "," << w.y
                       << " is hidden (pages_above_tools.ppm)";
            }
            ++found;
        }
        if (found != 2) return ::testing::AssertionFailure() << found << " of the two pages found";
        return ::testing::AssertionSuccess();
    }

    // Every start of the test writes its record of its windows there on SIGUSR1.
    const std::string dump = files.File("widgets.txt");
    testing_util::ScopedEnv dumpEnv{"ORVA_WIDGET_DUMP", dump};
    std::string run;
    Records now;
    std::vector<pid_t> senders;
};

TEST_F(QuestionAndRestartProgram, HandOversQuestionsPagesAndARestart) {
    std::string why;
    // 1. "-close" asks; a "-open" handed over meanwhile waits for the answer, says so, and
    // then asks for itself.
    const pid_t closing = Hand({"-close", files.File("ramp2.fits")});
    ASSERT_NE(screen.WaitForWindow(kQuestion, 20000), 0u) << program->Log();
    const pid_t opening = Hand({"-open", files.File("small.fits")});
    const std::string busy = "is busy: waiting for it to take the command line";
    const std::string third = run + "/config/ZEL Lab/orva3.log";
    EXPECT_TRUE(WaitFor([&] { return testing_util::ReadText(third).find(busy) != std::string::npos; }, 20000))
        << testing_util::ReadText(third);
    EXPECT_EQ(Ended(opening, 0), -2) << "the open ran under the question";
    ASSERT_TRUE(AnswerYes(screen));
    EXPECT_EQ(Ended(closing, 20000), 0);
    ASSERT_TRUE(AnswerYes(screen)) << "the handed-over open did not ask CLOSE DATA?";
    EXPECT_EQ(Ended(opening, 20000), 0);
    // Tab, picture, Info page and counters name one file.
    EXPECT_TRUE(WaitFor([&] { return Read() && FileTabs() == std::set<std::string>{"small.fits"}; }))
        << "file tabs: " << [&] { std::string s; for (const auto& t : FileTabs()) s += t + " "; return s; }();
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame)) << "no framed picture";
    EXPECT_EQ(std::pair(frame.right - frame.left, frame.bottom - frame.top), std::pair(120, 100));
    Screen::Rect files1, projects1;
    ASSERT_TRUE(Read() && FieldRightOf("Workspace Layout", "FILE(S):", &files1) &&
                FieldRightOf("Workspace Layout", "PROJECT(S):", &projects1));
    EXPECT_TRUE(WaitFor([&] {
        int nx = 0, ny = 0;
        return Grab() && BoxShows(files1, "1") && BoxShows(projects1, "1") &&
               testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height, testing_program::UiTextInk("Name"),
                                        &nx, &ny) &&
               testing_program::ListCellShows(shot, nx, ny, "small.fits");
    })) << "the counters or the Info page name another file";

    // 2. Both zooms far out and back to 100 %: the picture stands where it opened.
    const testing_program::Shown opened = frame;
    std::vector<Screen::Rect> zooms;
    ASSERT_TRUE(Read());
    for (const RecordWidget& e : now.widgets) {
        const RecordWindow* w = now.Window(e.window);
        if (w != nullptr && w->visible && e.kind == 6 && e.text == "100%" && w->title == "Workspace Layout")
            zooms.push_back(BoxOf(e));
    }
    ASSERT_EQ(zooms.size(), 2u) << "no zoom fields";
    MoveTo(D(), Root(), opened.left - 60, opened.top + 10);
    for (const char* percent : {"99999999", "100"}) {
        for (const Screen::Rect& z : zooms) {
            ClickAt(D(), Root(), (z.left + z.right) / 2, (z.top + z.bottom) / 2);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            Press({XK_End});
            for (int i = 0; i < 12; ++i) Press({XK_BackSpace});
            ASSERT_TRUE(testing_program::TypeText(D(), percent));
            Press({XK_Return});
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
        }
    }
    testing_program::Shown back;
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &back)) << "no picture at 100 %";
    EXPECT_EQ(back, opened) << "at " << back.left << "," << back.top << ", opened at " << opened.left << ","
                            << opened.top;

    // 3. File > Open's dialog; a file handed over opens behind it (asking over it first);
    // Esc still closes the dialog.
    const Screen::Rect m = screen.RectOf(main);
    ClickAt(D(), Root(), m.left + 20, m.top + 16);
    ASSERT_NE(screen.WaitForWindow("Open data file(s)", 10000), 0u) << "no Open dialog";
    const pid_t behind = Hand({"-open", files.File("ramp.fits")});
    ASSERT_TRUE(AnswerYes(screen));
    EXPECT_EQ(Ended(behind, 20000), 0);
    EXPECT_TRUE(WaitFor([&] { return Read() && FileTabs() == std::set<std::string>{"ramp.fits"}; }));
    ASSERT_NE(screen.FindWindow("Open data file(s)"), 0u) << "the hand-over closed the dialog";
    Press({XK_Escape});
    EXPECT_TRUE(WaitFor([&] { return screen.FindWindow("Open data file(s)") == 0; }, 5000))
        << "Esc no longer closes the Open dialog";

    // 4. Two files; a rectangle measured on one puts its histogram in the "Chart Tools"
    // preview; the other's tab clears it.
    const pid_t both = Hand({"-open", files.File("ramp2.fits"), files.File("ramp.fits")});
    ASSERT_TRUE(AnswerYes(screen));
    EXPECT_EQ(Ended(both, 20000), 0);
    ASSERT_TRUE(WaitFor([&] { return Read() && FileTabs().size() == 2 && now.TabCurrent("ramp.fits"); }));
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame));
    // The preview of "Chart Tools": the picture widget of the page with its "V:" readout.
    Screen::Rect preview;
    ASSERT_TRUE(Read() && ChartPreview(&preview)) << "no Chart Tools preview";
    auto lit = [&] {
        int n = 0;
        if (!Grab()) return -1;
        for (int y = preview.top; y < preview.bottom; ++y)
            for (int x = preview.left; x < preview.right; ++x) {
                const uint8_t* p = shot.At(x, y);
                n += p[0] > 150 && p[1] > 150 && p[2] > 150 ? 1 : 0;
            }
        return n;
    };
    DragRectangle(100, 80, 220, 180);
    EXPECT_TRUE(WaitFor([&] { return lit() > 30; })) << "no histogram in the preview";
    int tx = 0, ty = 0;
    ASSERT_TRUE(Read() && now.Centre(kMain, "ramp2.fits", &tx, &ty));
    ClickAt(D(), Root(), tx, ty);
    if (!WaitFor([&] { return lit() == 0; }, 5000)) {
        ADD_FAILURE() << lit() << " pixels of the first file's curve stay";
        testing_program::WritePpm(ORVA_BINARY_DIR "/preview.ppm", shot);
    }

    // 5. "-allclose": the pointer over the empty cell reads nothing.
    Screen::Rect value;
    ASSERT_TRUE(Read() && FieldRightOf("Workspace Layout", "V:", &value));
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame));
    MoveTo(D(), Root(), SX(150) + 1, SY(120));
    MoveTo(D(), Root(), SX(150), SY(120));
    EXPECT_TRUE(WaitFor([&] { return Grab() && !BoxShows(value, ""); }, 5000)) << "no value under the pointer";
    const pid_t closeAll = Hand({"-allclose"});
    ASSERT_TRUE(AnswerYes(screen));
    EXPECT_EQ(Ended(closeAll, 20000), 0);
    for (int step = 0; step < 3; ++step) {
        MoveTo(D(), Root(), SX(150) + 7 * step, SY(120) + 5 * step);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    EXPECT_TRUE(WaitFor([&] { return Grab() && BoxShows(value, ""); }, 3000)) << "V: still reads the closed file";

    // 6. A file again; the grid page and the statistic overlay: they cover no control, and
    // the Options page's "Update" is reached.
    EXPECT_EQ(Ended(Hand({files.File("ramp2.fits")}), 20000), 0);
    ASSERT_TRUE(WaitFor([&] { return Read() && FileTabs() == std::set<std::string>{"ramp2.fits"}; }));
    const size_t pagesBefore = PagePlaces().size();
    ASSERT_TRUE(LayoutEntry("Grid"));
    ASSERT_TRUE(WaitFor([&] { return Read() && PagePlaces().size() == pagesBefore + 1; })) << "no grid page";
    ASSERT_TRUE(LayoutEntry("Statistic Overlay"));
    ASSERT_TRUE(WaitFor([&] { return Read() && PagePlaces().size() == pagesBefore + 2; })) << "no statistic overlay";
    EXPECT_EQ(Faults(), "") << "1280 x 1024";
    const Places places = PagePlaces();
    EXPECT_TRUE(ReachUpdate(screen, program->Pid(), files.File("ramp2.fs"))) << "1280 x 1024";

    // 7. A restart: the pages come back where they were.
    EXPECT_EQ(program->End(), 0);
    main = testing_program::StartOnFiles(screen, program, run, {files.File("ramp.fits")}, &why);
    ASSERT_NE(main, 0u) << why;
    EXPECT_TRUE(WaitFor([&] { return Read() && PagePlaces() == places; }))
        << "the pages stand elsewhere after the restart";
    EXPECT_EQ(Faults(), "") << "1280 x 1024, restarted";
    EXPECT_EQ(program->End(), 0);

    // 8. The other screens: the kept pages cover nothing; "Update" is within reach. On
    // 1024 x 768 "Chart Tools" starts over the main window's lower part, the pages above
    // it; a user puts it away with F4 to reach what it covers (the pages move over the
    // cells), and F4 brings it back, the pages above it again.
    for (const char* size : {"1024x768x24", "1920x1080x24"}) {
        SCOPED_TRACE(size);
        testing_program::SecondDisplay display(size);
        ASSERT_FALSE(display.Name().empty()) << "no X server of that size";
        Screen other(display.Name().c_str());
        ProgramPlace place;
        place.display = display.Name();
        ProgramRun again(run, {files.File("ramp.fits")}, place);
        const Window otherMain = other.WaitForWindow(kMain, 20000);
        ASSERT_NE(otherMain, 0u) << again.Log();
        ASSERT_TRUE(again.WaitForLog("Source format", 20000)) << again.Log();
        EXPECT_TRUE(WaitFor([&] { return Read(again.Pid()) && PagePlaces().size() == places.size(); }))
            << "the pages did not come back";
        const bool toolsOver = ToolsOverMain();
        EXPECT_EQ(toolsOver, std::string(size) == "1024x768x24");
        const Places kept = PagePlaces();
        if (toolsOver) {
            EXPECT_TRUE(PagesAboveTools(other, again.Pid())) << "at start";
            ASSERT_TRUE(testing_program::PutToolsAway(other, otherMain));
            EXPECT_TRUE(WaitFor([&] { return Read(again.Pid()) && !ToolsOverMain() && PagePlaces() != kept; }))
                << "the pages stay where Chart Tools stood";
        }
        EXPECT_TRUE(WaitFor([&] { return Read(again.Pid()) && Faults().empty(); }, 5000)) << Faults();
        EXPECT_TRUE(ReachUpdate(other, again.Pid(), files.File("ramp.fs")));
        if (toolsOver) {
            const Screen::Rect m = other.RectOf(otherMain);
            MoveTo(other.display(), DefaultRootWindow(other.display()), (m.left + m.right) / 2, m.top + 120);
            testing_program::PressKeys(other.display(), {XK_F4});
            EXPECT_TRUE(WaitFor([&] { return Read(again.Pid()) && ToolsOverMain(); })) << "F4 brings no Chart Tools";
            EXPECT_TRUE(PagesAboveTools(other, again.Pid())) << "Chart Tools back";
        }
        EXPECT_EQ(again.End(), 0);
    }
}

}  // namespace
}  // namespace orva
