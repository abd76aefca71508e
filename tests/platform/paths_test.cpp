#include "platform/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace orva::platform {
namespace {

using testing_util::ScopedEnv;

TEST(PlatformPaths, ExecutablePathIsThisTestProgram) {
    std::string path = ExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], '/');
    EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
    EXPECT_EQ(path, std::filesystem::read_symlink("/proc/self/exe").string());
}

TEST(PlatformPaths, FoldersFollowXdgThenHome) {
    struct Case {
        std::string (*folder)();
        const char* variable;
        const char* value;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {AppDataFolder, "XDG_CONFIG_HOME", "/tmp/orva-config", "/home/someone", "/tmp/orva-config"},
        {AppDataFolder, "XDG_CONFIG_HOME", nullptr, "/home/someone", "/home/someone/.config"},
        // A relative or empty value is not a usable base folder.
        {AppDataFolder, "XDG_CONFIG_HOME", "relative/config", "/home/someone", "/home/someone/.config"},
        {AppDataFolder, "XDG_CONFIG_HOME", "", "/home/someone", "/home/someone/.config"},
        {AppDataFolder, "XDG_CONFIG_HOME", nullptr, "/home/other/", "/home/other/.config"},
        {DocumentsFolder, "XDG_DOCUMENTS_DIR", "/data/docs", "/home/someone", "/data/docs"},
        {DocumentsFolder, "XDG_DOCUMENTS_DIR", nullptr, "/home/someone", "/home/someone"},
        {HomeFolder, "XDG_DOCUMENTS_DIR", "/data/docs", "/home/someone", "/home/someone"},
    };
    for (const Case& c : cases) {
        ScopedEnv home("HOME", c.home);
        ScopedEnv xdg(c.variable, c.value);
        EXPECT_EQ(c.folder(), c.expected) << c.variable << "=" << (c.value ? c.value : "(unset)");
    }
}

TEST(PlatformPaths, CurrentDirectoryMatchesTheLibrary) {
    EXPECT_EQ(CurrentDirectory(), std::filesystem::current_path().string());
}

TEST(PlatformPaths, CreateFolderAndIsDirectory) {
    testing_util::TempFolder temp;
    const std::string& base = temp.Path();
    std::string folder = base + "/made here";
    EXPECT_FALSE(IsDirectory(folder));
    EXPECT_TRUE(CreateFolder(folder));
    EXPECT_TRUE(IsDirectory(folder));
    EXPECT_TRUE(CreateFolder(folder));  // exists already: still a folder
    // Missing parents are made too, each with the mode asked for (less the umask).
    std::string deep = base + "/missing/child";
    EXPECT_TRUE(CreateFolder(deep + "/", 0700));
    struct stat st;
    ASSERT_EQ(stat((base + "/missing").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(IsDirectory(deep));
    EXPECT_FALSE(CreateFolder(""));
    EXPECT_FALSE(CreateFolder("/" + std::string(kPathMax, 'a')));

    std::string file = base + "/file";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_FALSE(IsDirectory(file));
    EXPECT_FALSE(IsDirectory(""));
    EXPECT_FALSE(CreateFolder(file + "/below"));  // a file stands in the way
}

}  // namespace
}  // namespace orva::platform
