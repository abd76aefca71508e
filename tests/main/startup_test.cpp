#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/log.h"
#include "framework/app_object.h"
#include "main/stand_ins.h"
#include "platform/instance_slots.h"

namespace orva {
namespace {

std::string MakeTempDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orva_startup_XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    char* dir = mkdtemp(buf.data());
    return dir ? std::string(dir) : std::string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool IsDir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Every test gets its own application-data and runtime folders, so that no
// test sees another's instance slots or writes into the real user folder.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = MakeTempDir();
        ASSERT_FALSE(root_.empty());
        appData_ = root_ + "/config";
        runtime_ = root_ + "/run";
        program_ = root_ + "/bin/orva";
        mkdir(appData_.c_str(), 0700);
        mkdir(runtime_.c_str(), 0700);
        mkdir((root_ + "/bin").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    void TearDown() override {
        LogPrintf(nullptr);
        std::string cmd = "rm -rf '" + root_ + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    void Prepare(AppObject& app) {
        app.SetProgramPath(program_);
        app.SetAppDataFolder(appData_);
    }
    std::string root_, appData_, runtime_, program_;
};

TEST_F(StartupTest, FoldersAndLogNameOfTheFirstInstance) {
    AppObject app;
    Prepare(app);
    ASSERT_TRUE(app.Init());
    EXPECT_EQ(app.InstanceNumber(), 1);
    EXPECT_EQ(app.InstanceCount(), 1);
    EXPECT_EQ(app.ProgramFolder(), root_ + "/bin/");
    EXPECT_EQ(app.UserFolder(), appData_ + "/ZEL Lab/");
    EXPECT_TRUE(IsDir(appData_ + "/ZEL Lab"));
    EXPECT_EQ(app.LogFilePath(), appData_ + "/ZEL Lab/orva.log");
    EXPECT_EQ(app.GetConfigFilePath(kFolderMainConfig, nullptr), appData_ + "/ZEL Lab/orva.cfg");
    EXPECT_EQ(app.GetConfigFilePath(kFolderPropertySets, "x"), "<x>" + appData_ + "/ZEL Lab/orvaext.cfg");
    EXPECT_EQ(app.GetConfigFilePath(kFolderProgram, nullptr), root_ + "/bin/");
    std::string unused;
    EXPECT_FALSE(app.GetAppFolderPath(2, &unused));
    EXPECT_FALSE(app.GetAppFolderPath(6, &unused));

    // The first line creates the log; the file is truncated by the next start.
    LogPrintf("first %d", 1);
    EXPECT_EQ(ReadFile(app.LogFilePath()), "first 1\n");
    app.Shutdown();
    EXPECT_EQ(app.InstanceCount(), 0);
}

TEST_F(StartupTest, UserFolderFallsBackToTheProgramFolder) {
    // A file where the application-data folder should be: our folder cannot be created.
    std::string blocked = root_ + "/blocked";
    std::ofstream(blocked) << "x";
    AppObject app;
    app.SetProgramPath(program_);
    app.SetAppDataFolder(blocked);
    ASSERT_TRUE(app.Init());
    EXPECT_EQ(app.UserFolder(), root_ + "/bin/");
    EXPECT_EQ(app.LogFilePath(), root_ + "/bin/orva.log");
    EXPECT_EQ(app.GetConfigFilePath(kFolderMainConfig, nullptr), root_ + "/bin/orva.cfg");
}

TEST_F(StartupTest, SecondInstanceNumbersItsLogAndGivesItsSlotBack) {
    platform::InstanceSlots first(runtime_, kInstanceCounterName);
    ASSERT_TRUE(first.Acquire());
    {
        AppObject app;
        Prepare(app);
        ASSERT_TRUE(app.Init());
        EXPECT_EQ(app.InstanceNumber(), 2);
        EXPECT_EQ(app.InstanceCount(), 2);
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
    s.uiInit = [] {
        Note("uiInit");
        return gUiStarts;
    };
    s.dispatchCommandLine = [](const std::vector<std::string>& w) {
        std::string line = "dispatch";
        for (const auto& x : w) line += " " + x;
        Note(line);
    };
    s.messageLoop = [] { Note("messageLoop"); };
    s.stopEventTimer = [] {
        Note("stopEventTimer");
        return true;
    };
    s.releaseProjects = [] { Note("releaseProjects"); };
    s.clearWindowGroups = [] { Note("clearWindowGroups"); };
    s.uiShutdown = [] { Note("uiShutdown"); };
    s.clearFilters = [] { Note("clearFilters"); };
    s.handOver = [](const std::vector<std::string>&) {
        Note("handOver");
        return gHandOverKeeps;
    };
    return s;
}

TEST_F(StartupTest, FullInstanceRunsTheStepsInOrder) {
    std::vector<std::string> calls;
    gCalls = &calls;
    gUiStarts = true;
    AppObject app;
    Prepare(app);
    app.SetServices(RecordingServices());
    EXPECT_EQ(WinMain(app, {"-open", "a.fits"}), 0);
    gCalls = nullptr;
    std::vector<std::string> expected = {
        "readPreferences",
        "registerProjectsIface",
        "loadFilters " + root_ + "/bin/plug/filters/",
        "loadIOModules " + root_ + "/bin/plug/io/",
        "uiInit",
        "dispatch -open a.fits",
        "messageLoop",
        "stopEventTimer",
        "releaseProjects",
        "clearWindowGroups",
        "uiShutdown",
        "writePreferences orva.cfg",
        "clearFilters",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_FALSE(app.UiUp());
    std::string log = ReadFile(app.LogFilePath());
    EXPECT_NE(log.find("OS Support for:\n"), std::string::npos);
    EXPECT_EQ(log.find("Can`t init CUI"), std::string::npos);
}

TEST_F(StartupTest, FailedUserInterfaceStillEndsInOrder) {
    std::vector<std::string> calls;
    gCalls = &calls;
    gUiStarts = false;
    AppObject app;
    Prepare(app);
    app.SetServices(RecordingServices());
    EXPECT_EQ(WinMain(app, {"a.fits"}), 0);
    gCalls = nullptr;
    // No command runs and no loop starts, but the toolkit is shut down and the settings written.
    std::vector<std::string> tail(calls.end() - 4, calls.end());
    std::vector<std::string> expected = {"uiInit", "uiShutdown", "writePreferences orva.cfg",
                                         "clearFilters"};
    EXPECT_EQ(tail, expected);
    EXPECT_NE(ReadFile(app.LogFilePath()).find("***Can`t init CUI, Exit!\n"), std::string::npos);
}

TEST_F(StartupTest, SecondStartHandsOverUnlessItAskedForItsOwnInstance) {
    platform::InstanceSlots first(runtime_, kInstanceCounterName);
    ASSERT_TRUE(first.Acquire());
    std::vector<std::string> calls;
    gCalls = &calls;
    gUiStarts = false;
    {
        gHandOverKeeps = false;
        AppObject app;
        Prepare(app);
        app.SetServices(RecordingServices());
        EXPECT_EQ(WinMain(app, {"b.fits"}), 0);
        // It hands over and ends: no modules loaded, no settings written.
        std::vector<std::string> expected = {"readPreferences", "registerProjectsIface", "handOver"};
        EXPECT_EQ(calls, expected);
    }
    calls.clear();
    {
        gHandOverKeeps = true;
        AppObject app;
        Prepare(app);
        app.SetServices(RecordingServices());
        EXPECT_EQ(WinMain(app, {"--newinstance"}), 0);
        ASSERT_GE(calls.size(), 4u);
        EXPECT_EQ(calls[2], "handOver");
        EXPECT_EQ(calls[3].rfind("loadFilters", 0), 0u);
    }
    gCalls = nullptr;
}

TEST_F(StartupTest, LibraryStartFailureEndsWithMinusOne) {
    AppObject app;
    Prepare(app);
    app.ForceClibFailure(true);
    setenv("ORVA_MESSAGEBOX_ANSWER", "1", 1);
    EXPECT_EQ(WinMain(app, {}), -1);
}

// The program itself, as a user starts it.
struct RunResult {
    int status;
    std::string log;
};

class ProgramTest : public StartupTest {
protected:
    RunResult Run(const std::vector<std::string>& extraEnv) {
        std::string cmd = "env XDG_CONFIG_HOME='" + appData_ + "' XDG_RUNTIME_DIR='" + runtime_ +
                          "' ORVA_MESSAGEBOX_ANSWER=1";
        for (const auto& e : extraEnv) cmd += " " + e;
        cmd += " '" ORVA_BINARY_DIR "/orva' 2>/dev/null";
        int raw = system(cmd.c_str());
        RunResult r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.log = ReadFile(appData_ + "/ZEL Lab/orva.log");
        return r;
    }
};

TEST_F(ProgramTest, StartsWritesItsReportAndEnds) {
    RunResult r = Run({});
    EXPECT_EQ(r.status, 0);
    for (const char* line :
         {"Vendor Name: ", "OS Support for:\n", "MMX: Y\n", "-----------\n",
          "Load filter(s): 0 modules, plugins 0\n",
          "Load 12 IO module(s)... Format(s): input 12, output 3\n", "***Can`t init CUI, Exit!\n"}) {
        EXPECT_NE(r.log.find(line), std::string::npos) << line;
    }
    // The report comes before the modules, the modules before the user interface.
    EXPECT_LT(r.log.find("-----------"), r.log.find("Load filter(s)"));
    EXPECT_LT(r.log.find("Load 12 IO"), r.log.find("***Can`t init CUI"));
}

TEST_F(ProgramTest, FailedLibraryStartExitsWith255) {
    RunResult r = Run({"ORVA_TEST_FAIL_CLIB=1"});
    EXPECT_EQ(r.status, 255);
}

}  // namespace
}  // namespace orva
