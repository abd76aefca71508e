#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/log.h"
#include "framework/app_object.h"
#include "app/ui_startup.h"
#include "main/services.h"
#include "platform/instance_slots.h"
#include "program_start.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::ScopedEnv;

// Every test gets its own application-data and runtime folders, so that no
// test sees another's instance slots or writes into the real user folder.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir(appData_.c_str(), 0700);
        mkdir(runtime_.c_str(), 0700);
        mkdir((root_ + "/bin").c_str(), 0700);
    }
    void TearDown() override { LogPrintf(nullptr); }
    void Prepare(AppObject& app) {
        app.SetProgramPath(program_);
        app.SetAppDataFolder(appData_);
    }
    testing_util::TempFolder folder_;
    std::string root_ = folder_.Path(), appData_ = root_ + "/config", runtime_ = root_ + "/run",
                program_ = root_ + "/bin/orva";
    ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", runtime_};
};

TEST_F(StartupTest, FoldersAndLogNameOfTheFirstInstance) {
    AppObject app;
    Prepare(app);
    ASSERT_TRUE(app.Init());
    EXPECT_EQ(std::pair(app.InstanceNumber(), app.InstanceCount()), std::pair(1, 1));
    EXPECT_EQ(app.ProgramFolder(), root_ + "/bin/");
    EXPECT_EQ(app.UserFolder(), appData_ + "/ZEL Lab/");
    EXPECT_TRUE(std::filesystem::is_directory(appData_ + "/ZEL Lab"));
    EXPECT_EQ(app.LogFilePath(), appData_ + "/ZEL Lab/orva.log");
    EXPECT_EQ(app.GetConfigFilePath(kFolderMainConfig, nullptr), appData_ + "/ZEL Lab/orva.cfg");
    EXPECT_EQ(app.GetConfigFilePath(kFolderPropertySets, "x"),
              "<x>" + appData_ + "/ZEL Lab/orvaext.cfg");
    EXPECT_EQ(app.GetConfigFilePath(kFolderProgram, nullptr), root_ + "/bin/");
    std::string unused;
    EXPECT_FALSE(app.GetAppFolderPath(2, &unused) || app.GetAppFolderPath(6, &unused));

    // The first line creates the log; the file is truncated by the next start.
    LogPrintf("first %d", 1);
    EXPECT_EQ(ReadText(app.LogFilePath()), "first 1\n");
    app.Shutdown();
    EXPECT_EQ(app.InstanceCount(), 0);
}

TEST_F(StartupTest, UserFolderFallsBackToAPrivateTemporaryFolderNotTheProgramFolder) {
    // A file where the application-data folder should be: our folder cannot be created.
    std::string blocked = root_ + "/blocked";
    testing_util::WriteText(blocked, "x");
    const std::string temp = runtime_ + "/orva-" + std::to_string(geteuid()) + "/";
    {
        AppObject app;
        app.SetProgramPath(program_);
        app.SetAppDataFolder(blocked);
        ASSERT_TRUE(app.Init());
        EXPECT_EQ(app.UserFolder(), temp);
        EXPECT_EQ(app.LogFilePath(), temp + "orva.log");
        EXPECT_EQ(app.GetConfigFilePath(kFolderMainConfig, nullptr), temp + "orva.cfg");
        struct stat st;
        ASSERT_EQ(stat(temp.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    // A temporary folder open to others (or another user's) is not taken: no folder, no log.
    ASSERT_EQ(chmod(temp.c_str(), 0755), 0);
    AppObject app;
    app.SetProgramPath(program_);
    app.SetAppDataFolder(blocked);
    ASSERT_TRUE(app.Init());
    EXPECT_EQ(app.UserFolder(), "");
    EXPECT_EQ(app.LogFilePath(), "");
    EXPECT_EQ(app.GetConfigFilePath(kFolderMainConfig, nullptr), "");
    EXPECT_FALSE(testing_util::Exists(root_ + "/bin/orva.log"));
}

TEST_F(StartupTest, SecondInstanceNumbersItsLogAndGivesItsSlotBack) {
    platform::InstanceSlots first(runtime_, kInstanceCounterName);
    ASSERT_TRUE(first.Acquire());
    {
        AppObject app;
        Prepare(app);
        ASSERT_TRUE(app.Init());
        EXPECT_EQ(std::pair(app.InstanceNumber(), app.InstanceCount()), std::pair(2, 2));
        EXPECT_EQ(app.LogFilePath(), appData_ + "/ZEL Lab/orva2.log");
    }
    EXPECT_EQ(first.Count(), 1);
}

// Records the calls that start-up and shut-down make into the other subsystems.
std::vector<std::string>* gCalls = nullptr;
bool gUiStarts = false;
bool gHandOverKeeps = false;
void Note(const std::string& s) {
    if (gCalls) gCalls->push_back(s);
}

AppServices RecordingServices() {
    AppServices s;
    s.loadFilters = [](const char* f) { Note(std::string("loadFilters ") + f); };
    s.loadIOModules = [](const char* f) { Note(std::string("loadIOModules ") + f); };
    s.readPreferences = [](const char*) { Note("readPreferences"); };
    s.writePreferences = [](const char* p) {
        std::string path(p);
        Note("writePreferences " + path.substr(path.rfind('/') + 1));
    };
    s.registerProjectsIface = [] { Note("registerProjectsIface"); };
    s.uiInit = [] { return Note("uiInit"), gUiStarts; };
    s.dispatchCommandLine = [](const std::vector<std::string>& w) {
        std::string line = "dispatch";
        for (const auto& x : w) line += " " + x;
        Note(line);
    };
    s.messageLoop = [] { Note("messageLoop"); };
    s.stopEventTimer = [] { return Note("stopEventTimer"), true; };
    s.releaseProjects = [] { Note("releaseProjects"); };
    s.clearWindowGroups = [] { Note("clearWindowGroups"); };
    s.uiShutdown = [] { Note("uiShutdown"); };
    s.clearFilters = [] { Note("clearFilters"); };
    s.handOver = [](const std::vector<std::string>&) { return Note("handOver"), gHandOverKeeps; };
    return s;
}

// Runs the program's main on a prepared `app` with the recording services; answers the calls.
// `code`: the exit code expected (1 for a user interface that does not start).
std::vector<std::string> RunRecorded(AppObject& app, const std::vector<std::string>& words,
                                     bool uiStarts, bool handOverKeeps = false, int code = 0) {
    std::vector<std::string> calls;
    gCalls = &calls;
    gUiStarts = uiStarts;
    gHandOverKeeps = handOverKeeps;
    app.SetServices(RecordingServices());
    EXPECT_EQ(WinMain(app, words), code);
    gCalls = nullptr;
    return calls;
}

TEST_F(StartupTest, FullInstanceRunsTheStepsInOrder) {
    AppObject app;
    Prepare(app);
    std::vector<std::string> expected = {
        "readPreferences", "registerProjectsIface", "loadFilters " + root_ + "/bin/plug/filters/",
        "loadIOModules " + root_ + "/bin/plug/io/", "uiInit", "dispatch a.fits -exitdialog enable",
        "messageLoop", "stopEventTimer", "releaseProjects", "clearWindowGroups", "uiShutdown",
        "writePreferences orva.cfg", "clearFilters"};
    EXPECT_EQ(RunRecorded(app, {"a.fits", "-exitdialog", "enable"}, true), expected);
    EXPECT_FALSE(app.UiUp());
    std::string log = ReadText(app.LogFilePath());
    EXPECT_NE(log.find("OS Support for:\n"), std::string::npos);
    EXPECT_EQ(log.find("Can`t init CUI"), std::string::npos);
}

TEST_F(StartupTest, FailedUserInterfaceEndsInOrderWithoutWritingSettings) {
    AppObject app;
    Prepare(app);
    std::vector<std::string> calls = RunRecorded(app, {"a.fits"}, false, false, 1);
    // No command runs and no loop starts; the toolkit is shut down, nothing is written.
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"uiInit", "uiShutdown", "clearFilters"}));
    EXPECT_FALSE(testing_util::Exists(appData_ + "/ZEL Lab/orva.cfg"));
    EXPECT_NE(ReadText(app.LogFilePath()).find("***Can`t init CUI, Exit!\n"), std::string::npos);
}

TEST_F(StartupTest, SecondStartHandsOverUnlessItAskedForItsOwnInstance) {
    platform::InstanceSlots first(runtime_, kInstanceCounterName);
    ASSERT_TRUE(first.Acquire());
    {
        AppObject app;
        Prepare(app);
        // It hands over and ends: no modules loaded, no settings written.
        EXPECT_EQ(
            RunRecorded(app, {"b.fits"}, false, false),
            (std::vector<std::string>{"readPreferences", "registerProjectsIface", "handOver"}));
    }
    AppObject app;
    Prepare(app);
    std::vector<std::string> calls = RunRecorded(app, {"--newinstance"}, false, true, 1);
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[2] + " " + calls[3].substr(0, 11), "handOver loadFilters");
}

TEST_F(StartupTest, AToolkitThatCannotStartEndsTheProgramInOrder) {
    AppObject app;
    Prepare(app);
    app.SetServices(DefaultAppServices());
    ForceToolkitFailureForTest(true);
    EXPECT_EQ(WinMain(app, {}), 1);
    ForceToolkitFailureForTest(false);
    app.Shutdown();
    std::string log = ReadText(app.LogFilePath());
    size_t failed = log.find("Can't init UI...\n");
    EXPECT_NE(failed, std::string::npos) << log;
    EXPECT_LT(failed, log.find("***Can`t init CUI, Exit!\n")) << log;
}

TEST_F(StartupTest, LibraryStartFailureEndsWithMinusOne) {
    AppObject app;
    Prepare(app);
    app.ForceClibFailure(true);
    ScopedEnv answer("ORVA_MESSAGEBOX_ANSWER", "1");
    EXPECT_EQ(WinMain(app, {}), -1);
}

// The program itself, as a user starts it, without a display: the user interface cannot
// start and the program ends at once.
class ProgramTest : public StartupTest {
protected:
    int Run(const std::vector<std::string>& extraEnv = {}) {
        std::vector<std::string> env = {"-u", "DISPLAY", "XDG_CONFIG_HOME=" + appData_, "XDG_RUNTIME_DIR=" + runtime_,
                                        "ORVA_MESSAGEBOX_ANSWER=1"};
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        return testing_util::RunProgram(ORVA_BINARY_DIR "/orva", env);
    }
    // The program with its windows on the test's display, ended by SIGTERM once they show.
    testing_program::Outcome RunWithWindows() {
        testing_program::Start s;
        s.env = {{"XDG_CONFIG_HOME", appData_}, {"XDG_RUNTIME_DIR", runtime_}, {"ORVA_MESSAGEBOX_ANSWER", "1"}};
        s.windows = true;
        return testing_program::RunStart(s);
    }
    std::string Log() const { return ReadText(appData_ + "/ZEL Lab/orva.log"); }
};

TEST_F(ProgramTest, StartsWritesItsReportAndEnds) {
    EXPECT_EQ(Run(), 1);
    std::string log = Log();
    for (const char* line :
         {"Vendor Name: ", "OS Support for:\n", "MMX: Y\n", "-----------\n",
          "Load filter(s): 2 modules, plugins 2\n",
          "Load 12 IO module(s)... Format(s): input 12, output 3\n",
          "startMainUI(): no display is set (DISPLAY)\nstartMainUI(): can`t create UI Grp\n",
          "***Can`t init CUI, Exit!\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    // The report comes before the modules, the modules before the user interface.
    EXPECT_LT(log.find("-----------"), log.find("Load filter(s)"));
    EXPECT_LT(log.find("Load 12 IO"), log.find("startMainUI()"));
    EXPECT_LT(log.find("startMainUI()"), log.find("***Can`t init CUI"));
}

// A display whose server takes each connection and drops it unread, as an X server does
// while it resets after its last client left: the start tries again for a while, then
// names the display and the reason in the log and ends. So it does, at once, where no
// server listens.
TEST_F(ProgramTest, ADisplayThatDropsEveryConnectionIsTriedAgainThenNamedInTheLog) {
    std::string path;
    int number = 4000 + static_cast<int>(getpid() % 1000);
    for (;; ++number) {
        path = "/tmp/.X11-unix/X" + std::to_string(number);
        if (!testing_util::Exists(path)) break;
    }
    mkdir("/tmp/.X11-unix", 01777);
    int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
    ASSERT_EQ(listen(listener, 8), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> taken{0};
    std::thread server([&] {
        while (!stop) {
            pollfd wait{listener, POLLIN, 0};
            if (poll(&wait, 1, 50) <= 0) continue;
            int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            ++taken;
            // Closed once the client's greeting is in, unread: the client reads a reset.
            pollfd greeting{client, POLLIN, 0};
            poll(&greeting, 1, 1000);
            close(client);
        }
    });
    const std::string display = ":" + std::to_string(number);
    EXPECT_EQ(Run({"DISPLAY=" + display}), 1);
    stop = true;
    server.join();
    close(listener);
    unlink(path.c_str());
    EXPECT_GE(taken.load(), 2);
    EXPECT_NE(Log().find("startMainUI(): can`t open display \"" + display +
                         "\" (Connection reset by peer)\nstartMainUI(): can`t create UI Grp\n"),
              std::string::npos)
        << Log();
    // Where nothing listens at all, the start does not wait.
    EXPECT_EQ(Run({"DISPLAY=" + display}), 1);
    EXPECT_NE(Log().find("startMainUI(): can`t open display \"" + display + "\" (Connection refused)\n"),
              std::string::npos)
        << Log();
}

// The program on a screen of 1024 x 768 of its own: its windows where the user expects
// them, a second instance of its own, and both ends (a second start's exit, SIGTERM).
TEST_F(ProgramTest, OpensItsWindowsOnAScreenOf1024x768) {
    if (std::system("command -v xvfb-run xwininfo xprop >/dev/null 2>&1") != 0) GTEST_SKIP() << "X tools missing";
    std::string out = root_ + "/out", script = root_ + "/windows.sh";
    mkdir(out.c_str(), 0700);
    testing_util::WriteText(script, R"(#!/bin/sh
orva="$1"; out="$2"
main='ORVA (Test only, v.2.1.0) '
wait_for() { for i in $(seq 1 300); do xwininfo -root -tree 2>/dev/null | grep -q "$1" && return 0; sleep 0.1; done; return 1; }
"$orva" & first=$!
wait_for '"Chart Tools"' && wait_for "\"$main\""
# The tool window's state is read once it is shown, or after five seconds.
for i in $(seq 1 50); do xwininfo -name 'Chart Tools' | grep -q IsViewable && break; sleep 0.1; done
xwininfo -name "$main" > "$out/main"
xwininfo -name 'Chart Tools' > "$out/tools"
xprop -name "$main" WM_NAME _NET_WM_NAME _NET_WM_ICON > "$out/props"
"$orva" --newinstance & second=$!
wait_for '\[2\]'
xwininfo -root -tree > "$out/tree"
kill -TERM $second; wait $second; echo $? > "$out/second"
"$orva" -exit; echo $? > "$out/sender"
wait $first; echo $? > "$out/first"
)");
    std::string command = "env -u XDG_RUNTIME_DIR XDG_CONFIG_HOME=" + testing_util::ShellQuote(appData_) +
                          " ORVA_MESSAGEBOX_ANSWER=1 xvfb-run -a -s '-screen 0 1024x768x24' sh " +
                          testing_util::ShellQuote(script) + " " + ORVA_BINARY_DIR "/orva " +
                          testing_util::ShellQuote(out) + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    auto field = [](const std::string& text, const std::string& name) {
        size_t at = text.find(name);
        return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + name.size());
    };
    std::string main = ReadText(out + "/main"), tools = ReadText(out + "/tools");
    EXPECT_EQ(std::vector<int>({field(main, "Absolute upper-left X:"), field(main, "Absolute upper-left Y:"),
                                field(main, "Width:"), field(main, "Height:")}),
              std::vector<int>({62, 0, 900, 706}))
        << main;
    // No place leaves the main window uncovered: "Chart Tools" stands over its lower part at
    // the foot of the screen from its left edge, widened over the whole screen for its
    // readouts, shown from the start as on every screen.
    EXPECT_EQ(std::vector<int>({field(tools, "Absolute upper-left X:"), field(tools, "Absolute upper-left Y:"),
                                field(tools, "Width:"), field(tools, "Height:")}),
              std::vector<int>({0, 249, 1024, 494}))
        << tools;
    EXPECT_NE(tools.find("Map State: IsViewable"), std::string::npos) << tools;
    std::string props = ReadText(out + "/props");
    EXPECT_NE(props.find("WM_NAME(STRING) = \"ORVA (Test only, v.2.1.0) \""), std::string::npos) << props;
    for (const char* icon : {"Icon (16 x 16):", "Icon (32 x 32):"})
        EXPECT_NE(props.find(icon), std::string::npos) << icon;
    EXPECT_NE(ReadText(out + "/tree").find("\"ORVA (Test only, v.2.1.0)  [2]\""), std::string::npos);
    for (const char* status : {"/second", "/sender", "/first"}) EXPECT_EQ(ReadText(out + status), "0\n") << status;
    std::string user = appData_ + "/ZEL Lab";
    EXPECT_TRUE(testing_util::Exists(user + "/orva.cfg"));
    // No instance's socket is left.
    for (const auto& e : std::filesystem::directory_iterator(user))
        EXPECT_NE(e.path().extension(), ".sock") << e.path();

    // The log holds the texture capabilities and the one closing line they imply.
    std::string log = ReadText(user + "/orva.log");
    for (const char* line : {"# Max texture size ", "# Proxying ", "# proxy RGB16 allocation...\n",
                             "# proxy RGBA16 allocation...\n", "# proxy RGB8 allocation...\n",
                             "# proxy RGBA8 allocation...\n", "# Subbitmapel bits: ", "# Aux buffers: ",
                             "# Read buffers: ", "# Draw buffers: "})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    auto sizeAfter = [&](const char* probe) {
        size_t at = log.find(probe);
        if (at == std::string::npos) return -1;
        at = log.find('\n', at) + 1;
        return log.compare(at, 3, "\t [") == 0 ? std::atoi(log.c_str() + at + 3) : 0;
    };
    int rgb16 = sizeAfter("# proxy RGB16"), rgba16 = sizeAfter("# proxy RGBA16");
    const char* closing = rgb16 > 2048 || rgba16 > 2048 ? "# Check 16bit texture - available...\n"
                          : rgb16 == 0 && rgba16 == 0     ? "$ 16bit texture allocation failed, select 8bit texture...\n"
                                                          : "# Select 8bit texture...\n";
    EXPECT_NE(log.find(closing), std::string::npos) << log;
    int closings = 0;
    for (const char* c : {"# Check 16bit texture", "$ 16bit texture allocation failed", "# Select 8bit texture...\n"})
        closings += log.find(c) != std::string::npos;
    EXPECT_EQ(closings, 1) << log;
}

TEST_F(ProgramTest, ALinkedSettingsFileStaysALink) {
    testing_util::TempFolder dots;
    std::string user = appData_ + "/ZEL Lab", config = user + "/orva.cfg", target = dots.File("orva.cfg");
    ASSERT_TRUE(std::filesystem::create_directories(user));
    testing_util::WriteText(target, "// mine\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink(target.c_str(), config.c_str()), 0);
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    EXPECT_EQ(RunWithWindows().status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(config));
    std::string text = ReadText(target);
    for (const char* part : {"// mine\n", "[{424F4C47-00000000-4C505041424F4C47-00000000}]\n", "MaxWorkSpaceWindows=16\n"})
        EXPECT_NE(text.find(part), std::string::npos) << text;
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A settings file that is a device, a FIFO or one endless line: a logged bad file, a
// normal start and end, nothing left behind.
TEST_F(ProgramTest, SettingsFilesThatCannotBeReadDoNotStopTheProgram) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    std::string user = appData_ + "/ZEL Lab", config = user + "/orva.cfg";
    ASSERT_TRUE(std::filesystem::create_directories(user));
    const std::vector<std::pair<const char*, std::function<bool()>>> kinds = {
        {"link to /dev/zero", [&] { return symlink("/dev/zero", config.c_str()) == 0; }},
        {"FIFO", [&] { return mkfifo(config.c_str(), 0600) == 0; }},
        {"1 GiB line", [&] { return truncate((testing_util::WriteText(config, ""), config).c_str(), 1LL << 30) == 0; }},
    };
    for (const auto& [kind, make] : kinds) {
        unlink(config.c_str());
        ASSERT_TRUE(make()) << kind;
        // Kept, not written over: the run says so, and ends as one whose settings are lost.
        const testing_program::Outcome out = RunWithWindows();
        EXPECT_EQ(out.status, 1) << kind;
        EXPECT_NE(out.err.find("orva: the settings could not be saved in '" + config + "'"), std::string::npos)
            << kind << ": " << out.err;
        std::string log = Log();
        for (std::string line : {"$bad file: '" + config + "'\n", "WriteFile: error: " + config + "\n"})
            EXPECT_NE(log.find(line), std::string::npos) << kind << ": " << line << "\n" << log;
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(user)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"orva.cfg", "orva.log"})) << kind;
    }
    unlink(config.c_str());
}

TEST_F(ProgramTest, FailedLibraryStartExitsWith255) {
    EXPECT_EQ(Run({"ORVA_TEST_FAIL_CLIB=1"}), 255);
}

// Asked for its usage, the program writes it to its standard output and ends with 0 at
// once: no log, no settings folder, no window (there is no display here).
TEST_F(ProgramTest, HelpWritesTheUsageAndEnds) {
    for (const char* word : {"--help", "-h"}) {
        const std::string command = "env -u DISPLAY XDG_CONFIG_HOME=" + testing_util::ShellQuote(appData_) + " " +
                                    ORVA_BINARY_DIR "/orva " + word + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
        const int status = pclose(pipe);
        ASSERT_TRUE(WIFEXITED(status)) << word;
        EXPECT_EQ(WEXITSTATUS(status), 0) << word;
        EXPECT_EQ(out.substr(0, out.find('\n')), "Usage: orva [file ...] [-command [argument ...]] ...") << word;
        for (const char* line : {"\n  -open, -o file ", "\n  -close, -c file ", "\n  -allclose ", "\n  -exit ",
                                 "\n  -exitdialog disable|enable ", "\n  -h, --help "})
            EXPECT_NE(out.find(line), std::string::npos) << word << ": " << line;
        EXPECT_EQ(out.find("Can`t open file"), std::string::npos) << out;
        EXPECT_FALSE(std::filesystem::exists(appData_ + "/ZEL Lab")) << word;
    }
}

}  // namespace
}  // namespace orva
