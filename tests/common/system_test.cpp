#include "common/system.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include "platform/clock.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ScopedEnv;
using testing_util::TempFolder;

TEST(ModuleName, BaseNameWithInstanceNumber) {
    const struct {
        const char* path;
        unsigned instance;
        const char* name;
    } cases[] = {
        {"/p/app.exe", 1, "app"}, {"/p/app.exe", 0, "app"},   {"/p/app.exe", 3, "app3"},
        {"/p/app", 99, "app99"},  {"/p/app", 100, "app100"},  {"/p/app", 250, "app100"},
        {"/p/app", 0xFFFFFFFFu, "app100"},
        // The extension is the part after the last dot of the file name only.
        {"/p.d/app", 1, "app"},   {"/p/a.b.c", 2, "a.b2"},    {"/p/.hidden", 1, ".hidden"},
        {"/app", 1, "app"},
    };
    std::string name;
    for (const auto& c : cases) {
        name = "unchanged";
        ASSERT_TRUE(ModuleBaseNameOf(c.path, c.instance, &name)) << c.path;
        EXPECT_EQ(name, c.name) << c.path << " " << c.instance;
    }
    // No folder part, no file name, no path, a path too long: none.
    std::string longPath = "/" + std::string(4095, 'a');
    for (const char* none :
         {"app.exe", "/p/", "", static_cast<const char*>(nullptr), longPath.c_str()}) {
        name = "unchanged";
        EXPECT_FALSE(ModuleBaseNameOf(none, 1, &name)) << (none ? none : "(null)");
        if (none && std::string(none) == "app.exe") { EXPECT_EQ(name, ""); }
    }
    EXPECT_TRUE(ModuleBaseNameOf(longPath.substr(0, 4095).c_str(), 1, &name));
    EXPECT_EQ(name.size(), 4094u);
}

TEST(ModuleName, FolderEndsWithSlash) {
    std::string folder;
    const std::pair<const char*, const char*> cases[] = {
        {"/p/app", "/p/"}, {"/usr/local/bin/orva", "/usr/local/bin/"}, {"/orva", "/"},
        {"orva", nullptr}};
    for (auto [path, expected] : cases) {
        folder = "unchanged";
        EXPECT_EQ(ModuleFolderOf(path, &folder), expected != nullptr) << path;
        EXPECT_EQ(folder, expected ? expected : "") << path;
    }
    EXPECT_FALSE(ModuleFolderOf(nullptr, &folder));
    EXPECT_FALSE(ModuleFolderOf("/p/app", nullptr));
}

TEST(ModuleName, TheRunningProgram) {
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
    std::string folder, name;
    ASSERT_TRUE(ModuleFolder(nullptr, &folder));
    EXPECT_EQ(folder, exe.parent_path().string() + "/");
    ASSERT_TRUE(ModuleBaseName(nullptr, 2, &name));
    EXPECT_EQ(name, "common_tests2");
    int anything = 0;
    ASSERT_TRUE(ModuleBaseName(&anything, 1, &name));
    EXPECT_EQ(name, "common_tests");
}

TEST(SpecialFolders, FromTheEnvironment) {
    TempFolder homeFolder, docsFolder;
    const std::string& home = homeFolder.Path();
    const std::string& docs = docsFolder.Path();
    ScopedEnv h("HOME", home);
    ScopedEnv c("XDG_CONFIG_HOME", "/tmp/orva-test-config/");
    ScopedEnv d("XDG_DOCUMENTS_DIR", docs);
    char buffer[4096];
    ASSERT_TRUE(SpecialFolder(buffer, kSpecialFolderAppData));
    EXPECT_STREQ(buffer, "/tmp/orva-test-config");  // need not exist; no trailing "/"
    for (int which : {kSpecialFolderPersonal, kSpecialFolderSearch}) {
        ASSERT_TRUE(SpecialFolder(buffer, which));
        EXPECT_EQ(std::string(buffer), docs) << which;
    }
    {
        // A documents folder that does not exist: the search goes on to the home folder.
        ScopedEnv missing("XDG_DOCUMENTS_DIR", docs + "/gone");
        ASSERT_TRUE(SpecialFolder(buffer, kSpecialFolderSearch));
        EXPECT_EQ(std::string(buffer), home);
        // Neither exists: the search fails with an empty buffer.
        ScopedEnv noHome("HOME", home + "/gone");
        EXPECT_FALSE(SpecialFolder(buffer, kSpecialFolderSearch));
        EXPECT_STREQ(buffer, "");
    }
    {
        ScopedEnv noConfig("XDG_CONFIG_HOME", nullptr);
        std::string out;
        ASSERT_TRUE(SpecialFolder(kSpecialFolderAppData, &out));
        EXPECT_EQ(out, home + "/.config");
    }
    std::string out = "x";
    EXPECT_FALSE(SpecialFolder(kSpecialFolderMyPictures, &out));
    EXPECT_EQ(out, "");
    EXPECT_FALSE(SpecialFolder(1234, &out));
    EXPECT_TRUE(ShellVersion("shell32.dll") == 0x50000u && GetWindowsPlatform() == 2);
}

struct HookLog {
    std::string title, text;
    size_t length = 0;
    void* owner = nullptr;
    void* window = nullptr;
    int icon = 0;
} gHookLog;

TEST(WindowHelpers, WithoutAndWithTheWindowLayer) {
    SetWindowHooks(nullptr);
    EXPECT_FALSE(CloseWindowByTitle("orva.log") || ClipboardSetText("abc", 3, nullptr));
    int window = 0;
    SetWindowIcon(&window, 101);  // nothing happens

    WindowHooks hooks;
    hooks.closeWindowByTitle = [](const char* title) {
        gHookLog.title = title;
        return true;
    };
    hooks.clipboardSetText = [](const char* text, size_t length, void* owner) {
        gHookLog.text = text;
        gHookLog.length = length;
        gHookLog.owner = owner;
        return true;
    };
    hooks.setWindowIcon = [](void* w, int id) {
        gHookLog.window = w;
        gHookLog.icon = id;
    };
    SetWindowHooks(&hooks);
    EXPECT_TRUE(CloseWindowByTitle("orva.log"));
    EXPECT_EQ(gHookLog.title, "orva.log");
    EXPECT_TRUE(ClipboardSetText("abcdef", 3, &window));
    EXPECT_EQ(std::tuple(gHookLog.text, gHookLog.length, gHookLog.owner),
              std::tuple(std::string("abcdef"), size_t{3}, static_cast<void*>(&window)));
    SetWindowIcon(&window, 101);
    EXPECT_EQ(std::pair(gHookLog.window, gHookLog.icon),
              std::pair(static_cast<void*>(&window), 101));
    EXPECT_FALSE(CloseWindowByTitle(nullptr));
    SetWindowHooks(nullptr);
    EXPECT_FALSE(CloseWindowByTitle("orva.log"));
}

TEST(DiskSpace, RootOfTheTemporaryFolder) {
    uint64_t caller = 0, total = 0, free = 0;
    std::string tmp = std::filesystem::temp_directory_path().string();
    ASSERT_TRUE(DiskFreeSpaceEx(tmp.c_str(), &caller, &total, &free));
    EXPECT_EQ(total, std::filesystem::space(tmp).capacity);
    EXPECT_LE(caller, free);
    EXPECT_FALSE(DiskFreeSpaceEx("/nonexistent/orva", &caller, &total, &free));
}

using testing_util::BusyForCpu;
using testing_util::ThreadUsageUs;

TEST(StopWatchTest, ThreadTimeCountsOnlyThisThreadsWork) {
    TimerSelect();
    EXPECT_EQ(StopWatchTable().start, StopWatchThreadTimeOps().start);

    StopWatch w;
    StopWatchStart(&w);
    EXPECT_EQ(w.running, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    StopWatchStop(&w);
    EXPECT_EQ(w.running, 0);
    EXPECT_LT(w.elapsed, 200000u);  // 50 ms asleep cost well under 20 ms

    uint64_t before = ThreadUsageUs();
    StopWatchStartCycles(&w);
    BusyForCpu(30000);
    StopWatchStopCycles(&w);
    uint64_t used = ThreadUsageUs() - before;
    // 30 ms of work or more, and no more than the work measured around the watch
    // (the two clocks differ by their granularity).
    EXPECT_GE(w.elapsed, 290000u);
    EXPECT_LE(w.elapsed, used * 10 + 20000);
#if defined(__x86_64__)
    EXPECT_GT(w.cycles, 1000000u);  // 30 ms at any clock rate above 34 MHz
#endif

    // Stopping a watch that is not running measures nothing.
    StopWatchStop(&w);
    EXPECT_EQ(w.elapsed, 0u);
    StopWatchStart(nullptr);
    StopWatchStop(nullptr);
}

TEST(StopWatchTest, CounterVariantMeasuresWallTimeIn100ns) {
    const StopWatchOps& ops = StopWatchCounterOps();
    StopWatch w;
    ops.startCycles(&w);
    EXPECT_EQ(w.frequency, 1000000000u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ops.stopCycles(&w);
    EXPECT_TRUE(w.elapsed >= 200000u && w.elapsed < 50000000u) << w.elapsed;
    ops.stop(&w);
    EXPECT_EQ(w.elapsed, 0u);
}

}  // namespace
}  // namespace orva
