// Leaving the program as a user does, on the test's X display: a click on "Exit" (the
// pointer moved and pressed through the X server) ends the program at once or asks
// "E X I T   ORVA ?" first, and a ticked "Don't show this again" reaches orva.cfg.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/message_dialog.h"
#include "app/shell_fixture.h"
#include "framework/main_settings.h"
#include "test_support.h"
#include "toolkit/widget.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace orva {
namespace {

// The centre of a widget in its window's client area (corner slots mirror their axes).
struct Spot {
    int x = -1, y = -1;
};
Spot CentreOf(const gElement* e) {
    const gWindow* w = e->window;
    float cx = e->x + e->cellWidth / 2, cy = e->y + e->cellHeight / 2;
    if (e->style & kWsRight) cx = static_cast<float>(w->clientWidth) - cx;
    if (e->style & kWsBottom) cy = static_cast<float>(w->clientHeight) - cy;
    return {static_cast<int>(cx), static_cast<int>(cy)};
}

// Where the controls are: the same code lays them out in this process on this display.
struct Layout {
    Spot exit, close, ok, cancel, tick;
};

class LayoutProbe : public testing_util::ShellTest {
public:
    void TestBody() override {}
    Layout Measure() {
        Layout layout;
        Start(false);
        if (gElement* e = FindDialogWidget(Main(), "Exit")) layout.exit = CentreOf(e);
        if (gElement* e = FindDialogWidget(Main(), "x")) layout.close = CentreOf(e);
        QueueModalResponder([&](gWindow* d) {
            if (gElement* e = FindDialogWidget(d, "Ok")) layout.ok = CentreOf(e);
            if (gElement* e = FindDialogWidget(d, "Cancel")) layout.cancel = CentreOf(e);
            if (gElement* e = FindDialogWidget(d, kDontShowAgain)) layout.tick = CentreOf(e);
            PressDialogButton(d, "Cancel");
        });
        MainSettings saved = TheApp().Settings();
        ConfirmExit();
        TheApp().Settings() = saved;
        Stop();
        return layout;
    }
};

class ExitProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr);
        int a, b, c, d;
        if (!XTestQueryExtension(display_, &a, &b, &c, &d)) GTEST_SKIP() << "no XTest";
        mkdir(config_.c_str(), 0700);
        mkdir(runtime_.c_str(), 0700);
        mkdir(user_.c_str(), 0700);
        layout_ = LayoutProbe().Measure();
        ASSERT_GE(layout_.exit.x, 0);
        ASSERT_GE(layout_.close.x, 0);
        ASSERT_GE(layout_.tick.x, 0);
    }
    void TearDown() override {
        for (pid_t pid : {pid_, other_}) {
            if (pid <= 0) continue;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    void Spawn() { pid_ = SpawnWith({}); }
    pid_t SpawnWith(const std::vector<std::string>& args) {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
            setenv("ORVA_MESSAGEBOX_ANSWER", "1", 1);
            std::vector<char*> argv{const_cast<char*>("orva")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ORVA_BINARY_DIR "/orva", argv.data());
            _exit(127);
        }
        return pid;
    }
    // The top-level window with that title, once it is on screen; 0 after `ms`.
    Window Find(const std::string& title, int ms = 10000) {
        for (int waited = 0; waited <= ms; waited += 25) {
            Window root, parent, *children = nullptr;
            unsigned count = 0;
            Window found = 0;
            if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
                for (unsigned i = 0; i < count && found == 0; ++i) {
                    char* name = nullptr;
                    XWindowAttributes a;
                    if (XFetchName(display_, children[i], &name) && name != nullptr && title == name &&
                        XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable) {
                        found = children[i];
                    }
                    if (name != nullptr) XFree(name);
                }
                if (children != nullptr) XFree(children);
            }
            if (found != 0) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return 0;
    }
    // Whether the window with that title has left the screen within `ms`: a busy program
    // takes a while to handle the click that closes it.
    bool Gone(const std::string& title, int ms = 10000) {
        return testing_util::WaitUntil([&] { return Find(title, 0) == 0; }, ms, 25);
    }
    void Click(Window window, Spot at) {
        int x = 0, y = 0;
        Window child;
        XTranslateCoordinates(display_, window, DefaultRootWindow(display_), at.x, at.y, &x, &y, &child);
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        XTestFakeButtonEvent(display_, 1, True, CurrentTime);
        XTestFakeButtonEvent(display_, 1, False, CurrentTime);
        XSync(display_, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // The exit status, waiting up to `ms`; -1 while it runs.
    int ExitStatus(int ms) { return ExitStatusOf(&pid_, ms); }
    int ExitStatusOf(pid_t* pid, int ms) {
        for (int waited = 0; waited <= ms; waited += 25) {
            int status = 0;
            if (waitpid(*pid, &status, WNOHANG) == *pid) {
                *pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return -1;
    }
    std::string Config() const { return testing_util::ReadText(user_ + "/orva.cfg"); }

    testing_util::TempFolder folder_;
    std::string config_ = folder_.File("config"), runtime_ = folder_.File("run");
    std::string user_ = config_ + "/ZEL Lab";
    Display* display_ = nullptr;
    pid_t pid_ = 0;
    pid_t other_ = 0;  // a second program
    Layout layout_;
    static constexpr const char* kMain = "ORVA (Test only, v.2.1.0) ";
    static constexpr const char* kQuestion = "Close all windows?..";
};

TEST_F(ExitProgramTest, WithoutTheQuestionExitEndsTheProgram) {
    MainSettings settings;
    settings.warningOnExit = settings.exitDialog = 0;
    ASSERT_TRUE(WriteMainSettings((user_ + "/orva.cfg").c_str(), settings));
    Spawn();
    Window main = Find(kMain);
    ASSERT_NE(main, 0u);
    Click(main, layout_.exit);
    EXPECT_EQ(ExitStatus(10000), 0);
    EXPECT_TRUE(Gone(kQuestion));
    EXPECT_NE(Config().find("WarningOnExit=0\n"), std::string::npos);
}

TEST_F(ExitProgramTest, TheQuestionAndDontShowThisAgain) {
    // Ticked + "Cancel": the program goes on, without the question from then on.
    Spawn();
    Window main = Find(kMain);
    ASSERT_NE(main, 0u);
    Click(main, layout_.exit);
    Window question = Find(kQuestion);
    ASSERT_NE(question, 0u);
    Click(question, layout_.tick);
    Click(question, layout_.cancel);
    EXPECT_TRUE(Gone(kQuestion));
    EXPECT_EQ(ExitStatus(500), -1);
    Click(main, layout_.exit);
    EXPECT_EQ(ExitStatus(10000), 0);
    EXPECT_NE(Config().find("WarningOnExit=0\n"), std::string::npos) << Config();

    // Asked again on a fresh start with the question on: ticked + "Ok" ends the program and
    // orva.cfg keeps the question off.
    MainSettings settings;
    ASSERT_TRUE(WriteMainSettings((user_ + "/orva.cfg").c_str(), settings));
    ASSERT_NE(Config().find("WarningOnExit=1\n"), std::string::npos);
    Spawn();
    main = Find(kMain);
    ASSERT_NE(main, 0u);
    Click(main, layout_.exit);
    question = Find(kQuestion);
    ASSERT_NE(question, 0u);
    Click(question, layout_.tick);
    Click(question, layout_.ok);
    EXPECT_EQ(ExitStatus(10000), 0);
    EXPECT_NE(Config().find("WarningOnExit=0\n"), std::string::npos) << Config();
}

TEST_F(ExitProgramTest, ASecondPressOfExitOrTheCloseBoxClosesTheQuestion) {
    Spawn();
    Window main = Find(kMain);
    ASSERT_NE(main, 0u);
    // "Exit" asks; "Exit" again, pressed on the main window while the question holds the
    // pointer, takes the question away and the program goes on; a third press asks again.
    Click(main, layout_.exit);
    ASSERT_NE(Find(kQuestion), 0u);
    Click(main, layout_.exit);
    EXPECT_TRUE(Gone(kQuestion));
    EXPECT_EQ(ExitStatus(300), -1);
    Click(main, layout_.exit);
    ASSERT_NE(Find(kQuestion), 0u);
    // The close box ("x") of the main window does the same, from either question.
    Click(main, layout_.close);
    EXPECT_TRUE(Gone(kQuestion));
    EXPECT_EQ(ExitStatus(300), -1);
    Click(main, layout_.close);
    Window question = Find(kQuestion);
    ASSERT_NE(question, 0u);
    Click(main, layout_.close);
    EXPECT_TRUE(Gone(kQuestion));
    EXPECT_EQ(ExitStatus(300), -1);
    // The question's own buttons still answer it.
    Click(main, layout_.exit);
    question = Find(kQuestion);
    ASSERT_NE(question, 0u);
    Click(question, layout_.ok);
    EXPECT_EQ(ExitStatus(10000), 0);
}

// A 16 x 16 picture of 8-bit values, as FITS: the program opens it and so makes its colour
// settings, which it writes back at the end.
std::string TinyFits() {
    std::string header;
    for (const char* card : {"SIMPLE  =                    T", "BITPIX  =                    8",
                             "NAXIS   =                    2", "NAXIS1  =                   16",
                             "NAXIS2  =                   16", "END"}) {
        std::string line = card;
        line.resize(80, ' ');
        header += line;
    }
    header.resize(2880, ' ');
    std::string data(2880, '\0');
    for (int i = 0; i < 256; ++i) data[i] = static_cast<char>(i);
    return header + data;
}

// Two programs on one settings file, and a hand edit while they run: the second program
// (started with --newinstance) turns the exit question off through the question's tick,
// the user changes MaxWorkSpaceWindows by hand, and the first program, ending last, keeps
// both. orva.cfg has CR line ends and orvaext.cfg CR LF: every value is read, the files
// keep their line ends, the foreign sections stay byte for byte, and the palette named in
// orvaext.cfg is still named there.
TEST_F(ExitProgramTest, TwoProgramsAndAHandEditLoseNothing) {
    const std::string foreignHead =
        "// kept by hand\r[{11111111-00000000-2222222222222222-00000000}]\r  Mine = \"a b\" ; Other=2\r";
    const std::string foreignTail = "[{33333333-00000000-4444444444444444-00000000}]\r\tX=1 // note\r";
    testing_util::WriteText(user_ + "/orva.cfg", foreignHead + "\r[{424F4C47-00000000-4C505041424F4C47-00000000}]\r" +
                                                     "WarningOnExit=1\rMaxWorkSpaceWindows=7\r\r" + foreignTail);
    const std::string palette = folder_.File("plain.pal");
    testing_util::WriteText(palette, "0\n0\n0\n128\n128\n128\n255\n255\n255\n");
    const std::string paletteLine = "Palette=\"" + palette + "\"\r\n";
    const std::string foreignExt = "[{99999999-00000000-0000000000000000-00000000}]\r\nKeep=1 ; More = 2\r\n";
    testing_util::WriteText(user_ + "/orvaext.cfg", "[{504F5250-00000000-524C4F43564E4F43-00000000}]\r\nQbits=8\r\n" +
                                                        paletteLine + "\r\n" + foreignExt);
    const std::string fits = folder_.File("tiny.fits");
    testing_util::WriteText(fits, TinyFits());

    pid_ = SpawnWith({fits});
    Window first = Find(kMain);
    ASSERT_NE(first, 0u);
    const std::string log = user_ + "/orva.log";
    ASSERT_TRUE(testing_util::WaitUntil(
        [&] { return testing_util::ReadText(log).find("Source format") != std::string::npos; }, 20000))
        << testing_util::ReadText(log);
    other_ = SpawnWith({"--newinstance"});
    Window second = Find(std::string(kMain) + " [2]");
    ASSERT_NE(second, 0u);

    // The user edits the file meanwhile.
    std::string edited = Config();
    const size_t at = edited.find("MaxWorkSpaceWindows=7");
    ASSERT_NE(at, std::string::npos) << edited;
    edited.replace(at, 21, "MaxWorkSpaceWindows=5");
    testing_util::WriteText(user_ + "/orva.cfg", edited);

    // The second program: its exit question, ticked, then "Ok".
    Click(second, layout_.exit);
    Window question = Find(kQuestion);
    ASSERT_NE(question, 0u);
    Click(question, layout_.tick);
    Click(question, layout_.ok);
    EXPECT_EQ(ExitStatusOf(&other_, 10000), 0);
    EXPECT_NE(Config().find("WarningOnExit=0\r"), std::string::npos) << Config();
    EXPECT_NE(Config().find("MaxWorkSpaceWindows=5\r"), std::string::npos) << Config();

    // The first program still asks (it read the question on), and changed nothing.
    Click(first, layout_.exit);
    question = Find(kQuestion);
    ASSERT_NE(question, 0u);
    Click(question, layout_.ok);
    EXPECT_EQ(ExitStatus(10000), 0);

    const std::string config = Config();
    EXPECT_EQ(config.find('\n'), std::string::npos) << "a line end that is not CR";
    EXPECT_EQ(config.rfind(foreignHead, 0), 0u) << config;
    // The preferences section follows the last foreign one.
    EXPECT_NE(config.find("\r\r" + foreignTail + "\r[{"), std::string::npos) << config;
    EXPECT_NE(config.find("\rWarningOnExit=0\r"), std::string::npos) << config;
    EXPECT_NE(config.find("\rMaxWorkSpaceWindows=5\r"), std::string::npos) << config;

    const std::string ext = testing_util::ReadText(user_ + "/orvaext.cfg");
    EXPECT_NE(ext.find("\r\n" + paletteLine), std::string::npos) << ext;
    EXPECT_NE(ext.find(foreignExt), std::string::npos) << ext;
    for (size_t i = ext.find('\n'); i != std::string::npos; i = ext.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && ext[i - 1] == '\r') << "a line end that is not CR LF at " << i << ":\n" << ext;
}

}  // namespace
}  // namespace orva
