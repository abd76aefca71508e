// The program itself, started more than once on an account as a new user has it (no
// ~/.config, no session runtime folder), its windows on the test's display: later starts
// hand their lines to a running instance, whichever that is, and failed hand-overs are
// logged and never run a line twice.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/handover_socket.h"
#include "platform/instance_slots.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

// After the test framework: the X headers define None and Bool.
#include <X11/extensions/XTest.h>

namespace {

using orva::testing_util::Exists;
using orva::testing_util::ReadText;

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class HandoverProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir(home_.c_str(), 0700);
        mkdir(elsewhere_.c_str(), 0700);
    }
    void TearDown() override {
        for (pid_t& pid : running_) {
            if (pid <= 0) continue;
            kill(pid, SIGCONT);
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // Starts an instance that keeps running (its windows open) in `folder`; answers its index.
    size_t Spawn(const std::vector<std::string>& args = {}, const std::string& folder = "") {
        pid_t pid = fork();
        if (pid == 0) {
            if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
            unsetenv("XDG_CONFIG_HOME");
            unsetenv("XDG_RUNTIME_DIR");
            setenv("HOME", home_.c_str(), 1);
            setenv("ORVA_MESSAGEBOX_ANSWER", "1", 1);
            std::vector<char*> argv{const_cast<char*>("orva")};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ORVA_BINARY_DIR "/orva", argv.data());
            _exit(127);
        }
        running_.push_back(pid);
        return running_.size() - 1;
    }
    // Waits until the instance of `slot` takes lines.
    bool Listening(int slot) {
        std::string socket = Socket(slot);
        for (int i = 0; i < 400 && !Exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
        return Exists(socket);
    }
    // The exit status of a spawned instance, waiting up to 20 s; -1 when it does not end.
    int Wait(size_t index) {
        for (int i = 0; i < 800; ++i) {
            int status = 0;
            if (waitpid(running_[index], &status, WNOHANG) == running_[index]) {
                running_[index] = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return -1;
    }
    // Runs the program to its end in `folder` and answers its exit status.
    int Run(const std::vector<std::string>& args, const std::string& folder = "") {
        std::vector<std::string> env = {"-u", "XDG_CONFIG_HOME", "-u", "XDG_RUNTIME_DIR", "HOME=" + home_,
                                        "ORVA_MESSAGEBOX_ANSWER=1"};
        if (!folder.empty()) env.insert(env.begin(), {"-C", folder});
        return orva::testing_util::RunProgram(ORVA_BINARY_DIR "/orva", env, args);
    }
    std::string Log(int number = 1) const {
        return ReadText(user_ + (number > 1 ? "/orva" + std::to_string(number) : std::string("/orva")) + ".log");
    }
    // The socket of a slot's instance on this display with these settings.
    std::string Socket(int slot) const {
        return user_ + "/orvaCommonSharedData." + std::to_string(slot) + "." +
               orva::platform::HandoverIdentity(std::getenv("DISPLAY"), user_ + "/") + ".sock";
    }
    // Waits until the instance of `number` has its main window on the screen (it probes
    // the textures while it builds it) and takes lines: a later start hands its line to
    // an instance that is no longer busy starting.
    bool Ready(int number) {
        if (WaitForLog(kWindowMade, number).find(kWindowMade) == std::string::npos || !Listening(number)) return false;
        std::string title = orva::testing_program::kMainWindowTitle;
        if (number > 1) title += " [" + std::to_string(number) + "]";
        return screen_.WaitForWindow(title, 20000) != 0;
    }
    static constexpr const char* kWindowMade = "# Max texture size";
    // The real handler's line for a name that names no file.
    std::string Missing(const std::string& path) const { return "* Can`t open file: " + path + "\n"; }
    // Waits until the log of `number` holds `text`.
    std::string WaitForLog(const std::string& text, int number = 1) {
        std::string log = Log(number);
        for (int i = 0; i < 800 && log.find(text) == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
            log = Log(number);
        }
        return log;
    }

    orva::testing_program::Screen screen_;
    orva::testing_util::TempFolder folder_;
    std::string home_ = folder_.File("home"), elsewhere_ = folder_.File("elsewhere");
    std::string user_ = home_ + "/.config/ZEL Lab";
    std::vector<pid_t> running_;
};

TEST_F(HandoverProgramTest, AFreshAccountStartsCleanlyAndHandsOver) {
    size_t a = Spawn();
    ASSERT_TRUE(Ready(1));
    // Folders made, private to the user; no error on the way.
    struct stat st;
    ASSERT_EQ(stat(user_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string log = Log();
    for (const char* error : {"Error", "***"}) EXPECT_EQ(log.find(error), std::string::npos) << log;

    // A name with a terminal's escape sequence reaches the log escaped.
    EXPECT_EQ(Run({"c d.fits", "e\x1b]0;x\x07.fits"}, elsewhere_), 0);
    log = WaitForLog("* Can`t open file:");
    for (std::string line : {std::string("Received command line: c d.fits e\\x1b]0;x\\x07.fits\n"),
                             Missing(elsewhere_ + "/c d.fits")})
        EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    // Nothing loose in ~/.config, nothing beside the program.
    EXPECT_EQ(FolderNames(home_ + "/.config"), std::vector<std::string>{"ZEL Lab"});
    for (std::string name : {std::string("orva.log"), std::string("orva.cfg"), std::string("orvaCommonSharedData.1.lock"),
                             std::filesystem::path(Socket(1)).filename().string()})
        EXPECT_FALSE(Exists(std::string(ORVA_BINARY_DIR "/") + name)) << name;

    // An instance of its own: number 2, its own log and windows; the first sees nothing.
    size_t second = Spawn({"--NewInstance"});
    ASSERT_TRUE(Ready(2));
    EXPECT_EQ(Log(2).find("init CUI"), std::string::npos) << Log(2);
    EXPECT_EQ(Log().find("newinstance"), std::string::npos);
    kill(running_[second], SIGTERM);
    EXPECT_EQ(Wait(second), 0);

    // exit closes the first instance: its settings written, its socket gone.
    EXPECT_EQ(Run({"-exit"}), 0);
    EXPECT_EQ(Wait(a), 0);
    EXPECT_NE(Log().find("Received command line: -exit\n"), std::string::npos);
    EXPECT_TRUE(Exists(user_ + "/orva.cfg"));
    EXPECT_FALSE(Exists(Socket(1)));
}

TEST_F(HandoverProgramTest, TheLineGoesToWhicheverInstanceStillRuns) {
    size_t a = Spawn();
    ASSERT_TRUE(Ready(1));
    Spawn({"--newinstance"});
    ASSERT_TRUE(Ready(2));
    // A ends; the next start takes its free slot but hands its line to B.
    EXPECT_EQ(Run({"-exit"}), 0);
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Run({"-open", "c.fits"}, elsewhere_), 0);
    std::string log = WaitForLog("* Can`t open file:", 2);
    EXPECT_NE(log.find(Missing(elsewhere_ + "/c.fits")), std::string::npos) << log;
    // No third full instance: the start that took slot 1 only handed over, so the log of
    // that slot is still A's.
    EXPECT_NE(Log().find("Received command line: -exit\n"), std::string::npos) << Log();
}

TEST_F(HandoverProgramTest, AKilledInstanceLeavesNothingBehind) {
    size_t a = Spawn();
    ASSERT_TRUE(Ready(1));
    kill(running_[a], SIGKILL);
    waitpid(running_[a], nullptr, 0);
    running_[a] = 0;
    ASSERT_TRUE(Exists(Socket(1)));  // left behind by the dead owner
    // The next start is the only instance again and takes over the socket (its log is
    // waited for, not the dead one's).
    unlink((user_ + "/orva.log").c_str());
    size_t b = Spawn();
    ASSERT_TRUE(Ready(1));
    EXPECT_FALSE(Exists(user_ + "/orva2.log"));
    EXPECT_EQ(Run({"f.fits"}, elsewhere_), 0);
    std::string log = WaitForLog("* Can`t open file:");
    EXPECT_NE(log.find(Missing(elsewhere_ + "/f.fits")), std::string::npos) << log << "\n--- orva2.log:\n" << Log(2);
    // SIGTERM (a desktop logout) ends the program in order: settings written, socket gone.
    unlink((user_ + "/orva.cfg").c_str());
    kill(running_[b], SIGTERM);
    EXPECT_EQ(Wait(b), 0);
    EXPECT_FALSE(Exists(Socket(1)));
    EXPECT_TRUE(Exists(user_ + "/orva.cfg"));
}

TEST_F(HandoverProgramTest, FailedHandOversAreLoggedAndTheLineRunsOnce) {
    // A dead socket: slot 1 is held by a process that does not listen, and its socket
    // file is a dead owner's. The start logs the refusal and opens the file itself.
    {
        mkdir((home_ + "/.config").c_str(), 0700);
        mkdir(user_.c_str(), 0700);
        orva::platform::InstanceSlots holder(user_, "orvaCommonSharedData");
        ASSERT_TRUE(holder.Acquire());
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, Socket(1).c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
        size_t start = Spawn({"d.fits"}, elsewhere_);
        const std::string opened = Missing(elsewhere_ + "/d.fits");
        std::string log = WaitForLog(opened, 2);
        EXPECT_NE(log.find("***can`t send cmd: " + Socket(1) + ": Connection refused\n"), std::string::npos) << log;
        EXPECT_EQ(Count(log, opened), 1u) << log;
        kill(running_[start], SIGTERM);
        EXPECT_EQ(Wait(start), 0);
        unlink(Socket(1).c_str());
    }
    // A busy owner: it takes the connection but answers nothing for a while (its main
    // thread is held, as by a long operation). The start waits for it, says so, and no
    // second program comes; the owner, going on, runs the line once.
    size_t a = Spawn();
    ASSERT_TRUE(Ready(1));
    kill(running_[a], SIGSTOP);
    size_t b = Spawn({"h.fits"}, elsewhere_);
    const std::string busy = "The running program (1) is busy: waiting for it to take the command line\n";
    std::string second = WaitForLog(busy, 2);
    EXPECT_NE(second.find(busy), std::string::npos) << second;
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    EXPECT_EQ(screen_.WaitForWindow(std::string(orva::testing_program::kMainWindowTitle) + " [2]", 0), 0u);
    kill(running_[a], SIGCONT);
    EXPECT_EQ(Wait(b), 0);
    const std::string opened = Missing(elsewhere_ + "/h.fits");
    std::string first = WaitForLog(opened);
    second = Log(2);
    EXPECT_EQ(second, busy + "The running program (1) ran the command line\n");
    EXPECT_EQ(Run({"-exit"}), 0);
    EXPECT_EQ(Wait(a), 0);
    EXPECT_EQ(Count(Log(), opened), 1u) << Log();
}

// A question on the running program's screen, asked for a file handed over: the start
// that handed it waits for the answer, says so, and ends once its line ran; a start while
// the question is open waits too, and its line runs after the answer, in order. No
// second program comes and no log calls a hand-over failed.
TEST_F(HandoverProgramTest, AStartWhileTheProgramAsksWaitsForTheAnswer) {
    // Bytes no reader takes: the program asks whether to open them as binary.
    std::string junk(4000, '\0');
    uint32_t seed = 12345;
    for (char& c : junk) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(0x80 | (seed >> 24));
    }
    orva::testing_util::WriteText(elsewhere_ + "/q.qqq", junk);
    size_t a = Spawn();
    ASSERT_TRUE(Ready(1));
    // The start that hands the file over waits while the question is open.
    size_t b = Spawn({"q.qqq"}, elsewhere_);
    const Window box = screen_.WaitForWindow("Cannot detect the type of file... Open as binary?", 20000);
    ASSERT_NE(box, 0u) << Log();
    const std::string waiting = "The running program (1) has the command line and runs it once it is free: waiting\n";
    const std::string ran = "The running program (1) ran the command line\n";
    EXPECT_NE(WaitForLog(waiting, 2).find(waiting), std::string::npos) << Log(2);

    // A start while the question is open: its line waits for the answer (it might close
    // what the question is about), and the start says so.
    size_t c = Spawn({"h.fits"}, elsewhere_);
    const std::string busy = "The running program (1) is busy: waiting for it to take the command line\n";
    EXPECT_NE(WaitForLog(busy, 3).find(busy), std::string::npos) << Log(3);
    const std::string opened = Missing(elsewhere_ + "/h.fits");
    EXPECT_EQ(Log().find(opened), std::string::npos) << Log();
    for (const char* number : {" [2]", " [3]"})
        EXPECT_EQ(screen_.WaitForWindow(std::string(orva::testing_program::kMainWindowTitle) + number, 0), 0u);
    int status = 0;
    EXPECT_EQ(waitpid(running_[b], &status, WNOHANG), 0) << "the start ended before its line ran";
    EXPECT_EQ(waitpid(running_[c], &status, WNOHANG), 0) << "the line ran under the question";

    // The user answers "No" (the second button of the column at the box's right).
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(screen_.display(), box, &attributes));
    screen_.Raise(box);
    Display* d = screen_.display();
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(d, box, DefaultRootWindow(d), attributes.width - 50, 36, &rx, &ry, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rx, ry, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);

    EXPECT_EQ(Wait(b), 0);
    EXPECT_EQ(Wait(c), 0);
    // On a busy machine the program may also be slow to take a line at all (its start not yet
    // done, or the line before still running): a start says so as well.
    const std::string second = Log(2), third = Log(3);
    EXPECT_TRUE(second == waiting + ran || second == busy + waiting + ran) << second;
    EXPECT_TRUE(third == busy + ran || third == busy + waiting + ran) << third;
    const std::string first = Log();
    EXPECT_EQ(Count(first, opened), 1u) << first;
    EXPECT_EQ(Count(first, "Received command line: q.qqq\n"), 1u) << first;
    // In the order they came: the line held back runs after the answered one.
    EXPECT_LT(first.find("Received command line: q.qqq\n"), first.find("Received command line: h.fits\n")) << first;
    EXPECT_EQ(Run({"-exit"}), 0);
    EXPECT_EQ(Wait(a), 0);
}

TEST_F(HandoverProgramTest, ExitOnAFirstInstanceRunsTheLineWithoutUserInterface) {
    std::string list = ORVA_BINARY_DIR "/cmdlist.txt";
    unlink(list.c_str());
    // The missing file is the line's failure, and the run's: status 1.
    EXPECT_EQ(Run({"g.fits", "--keylist", "--EXIT"}, elsewhere_), 1);
    EXPECT_EQ(ReadText(list), ReadText(ORVA_SOURCE_DIR "/tests/framework/cmdlist_golden.txt"));
    std::string log = Log();
    EXPECT_NE(log.find(Missing(elsewhere_ + "/g.fits")), std::string::npos) << log;
    for (const char* absent : {"init UI", "init CUI"}) EXPECT_EQ(log.find(absent), std::string::npos) << log;
    // No settings are written in this mode.
    EXPECT_FALSE(Exists(user_ + "/orva.cfg") || Exists(Socket(1)));
}

// "-close" handed over for a file that is open beside the one shown: its tab leaves the
// strip and "FILE(S):" counts one file at once, with no input to the window.
TEST_F(HandoverProgramTest, AFileClosedFromTheCommandLineLeavesItsTabAtOnce) {
    int status = -1;
    orva::testing_program::RunCommand(ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits; "
                                      "[fits.PrimaryHDU(np.full((40, 50), v, np.int16)).writeto('" +
                                          elsewhere_ + "/' + n, overwrite=True) for n, v in (('left.fits', 100), "
                                          "('right.fits', 900))]\" 2>&1",
                                      &status);
    ASSERT_EQ(status, 0);
    Spawn({"left.fits", "right.fits"}, elsewhere_);
    ASSERT_TRUE(Ready(1));
    const Window main = screen_.WaitForWindow(orva::testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(main, 0u);
    const orva::testing_program::Screen::Rect m = screen_.RectOf(main);
    // The pixels of tabs other than the current one (their darker green) in the rows of
    // the tab strip's blue bar; the current tab is light green.
    auto otherTabPixels = [&]() {
        orva::testing_program::Picture p;
        if (!screen_.Grab(main, &p)) return -1;
        const auto is = [&](int x, int y, int r, int g, int b) {
            const uint8_t* c = p.At(x, y);
            return c[0] == r && c[1] == g && c[2] == b;
        };
        int n = 0;
        for (int y = 0; y < p.height; ++y) {
            int bar = 0;
            for (int x = 0; x < p.width; ++x) bar += is(x, y, 60, 88, 170) ? 1 : 0;
            if (bar < p.width / 4) continue;
            for (int x = 0; x < p.width; ++x) n += is(x, y, 41, 145, 41) ? 1 : 0;
        }
        return n;
    };
    // The row's current field reads `count`; the fields follow the caption, which is
    // narrower than that of the "FRAME(S):" row, whose current field stands 96 pixels on.
    const int shorter = orva::testing_program::TextInk("FRAME(S):").width - orva::testing_program::TextInk("FILE(S):").width;
    auto filesRead = [&](const std::string& count) {
        for (int i = 0; i < 40; ++i) {
            orva::testing_program::Picture p;
            int fx = 0, fy = 0;
            if (screen_.Grab(DefaultRootWindow(screen_.display()), &p) &&
                orva::testing_program::FindText(p, m.left, m.top, 600, 120, "FILE(S):", &fx, &fy) &&
                orva::testing_program::ShowsText(p, fx + 96 - shorter, fy - 4, 44, 17, count))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    };
    ASSERT_TRUE(filesRead("2")) << "two files open";
    ASSERT_TRUE(orva::testing_util::WaitUntil([&] { return otherTabPixels() > 100; }, 10000))
        << "no tab beside the current one";
    EXPECT_EQ(Run({"-close", "left.fits"}, elsewhere_), 0);
    WaitForLog("Received command line: -close left.fits");
    EXPECT_TRUE(filesRead("1")) << "FILE(S): still counts two";
    EXPECT_TRUE(orva::testing_util::WaitUntil([&] { return otherTabPixels() == 0; }, 5000))
        << "the tab of left.fits stayed";
    EXPECT_EQ(Run({"-exit"}), 0);
}

}  // namespace
