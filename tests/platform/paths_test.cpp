#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace orva::platform {
namespace {

// Sets or unsets an environment variable for one scope.
class EnvGuard {
public:
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvGuard() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string MakeTempDir() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/orva_paths_XXXXXX";
    char* made = ::mkdtemp(pattern.data());
    return made ? std::string(made) : std::string();
}

TEST(PlatformPaths, ExecutablePathIsThisTestProgram) {
    std::string path = ExecutablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path[0], '/');
    EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
    EXPECT_EQ(path, std::filesystem::read_symlink("/proc/self/exe").string());
}

TEST(PlatformPaths, AppDataFolderFollowsXdgThenHome) {
    EnvGuard home("HOME", "/home/someone");
    {
        EnvGuard xdg("XDG_CONFIG_HOME", "/tmp/orva-config");
        EXPECT_EQ(AppDataFolder(), "/tmp/orva-config");
    }
    {
        EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(AppDataFolder(), "/home/someone/.config");
    }
    {
        // A relative or empty value is not a usable base folder.
        EnvGuard xdg("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(AppDataFolder(), "/home/someone/.config");
        EnvGuard empty("XDG_CONFIG_HOME", "");
        EXPECT_EQ(AppDataFolder(), "/home/someone/.config");
    }
    {
        EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
        EnvGuard slash("HOME", "/home/other/");
        EXPECT_EQ(AppDataFolder(), "/home/other/.config");
    }
}

TEST(PlatformPaths, DocumentsFolderFollowsXdgThenHome) {
    EnvGuard home("HOME", "/home/someone");
    {
        EnvGuard xdg("XDG_DOCUMENTS_DIR", "/data/docs");
        EXPECT_EQ(DocumentsFolder(), "/data/docs");
    }
    EnvGuard xdg("XDG_DOCUMENTS_DIR", nullptr);
    EXPECT_EQ(DocumentsFolder(), "/home/someone");
    EXPECT_EQ(HomeFolder(), "/home/someone");
}

TEST(PlatformPaths, CurrentDirectoryMatchesTheLibrary) {
    EXPECT_EQ(CurrentDirectory(), std::filesystem::current_path().string());
}

TEST(PlatformPaths, CreateFolderAndIsDirectory) {
    std::string base = MakeTempDir();
    ASSERT_FALSE(base.empty());
    std::string folder = base + "/made here";
    EXPECT_FALSE(IsDirectory(folder));
    EXPECT_TRUE(CreateFolder(folder));
    EXPECT_TRUE(IsDirectory(folder));
    EXPECT_FALSE(CreateFolder(folder));  // exists already
    EXPECT_FALSE(CreateFolder(base + "/missing/child"));
    EXPECT_FALSE(CreateFolder(""));
    EXPECT_FALSE(CreateFolder("/" + std::string(kPathMax, 'a')));

    std::string file = base + "/file";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_FALSE(IsDirectory(file));
    EXPECT_FALSE(IsDirectory(""));
    std::filesystem::remove_all(base);
}

}  // namespace
}  // namespace orva::platform
