#include "platform/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace orva::platform {
namespace {

using testing_util::TempFolder;

// Waits up to five seconds for a file with content to appear; returns its content.
std::string WaitForFile(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (testing_util::Exists(path)) {
            std::string text = testing_util::ReadText(path);
            if (!text.empty()) return text;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::string();
}

TEST(PlatformShell, ViewerCommandChoice) {
    using Words = std::vector<std::string>;
    const std::string file = "/tmp/my log.log";
    // No editor: the desktop's opener.
    EXPECT_EQ(ViewerCommand(file, nullptr, nullptr, ":0"), (Words{"xdg-open", file}));
    EXPECT_EQ(ViewerCommand(file, "", "", ":0"), (Words{"xdg-open", file}));
    // An editor without a display cannot get a terminal: the desktop's opener again.
    EXPECT_EQ(ViewerCommand(file, "vi", nullptr, nullptr), (Words{"xdg-open", file}));
    // $VISUAL before $EDITOR, in a terminal.
    Words visual = ViewerCommand(file, "gvim -f", "nano", ":0");
    EXPECT_EQ(visual, (Words{"x-terminal-emulator", "-T", file, "-e", "/bin/sh", "-c",
                             "exec gvim -f \"$1\"", "sh", file}));
    Words editor = ViewerCommand(file, nullptr, "nano", ":1");
    EXPECT_EQ(editor[6], "exec nano \"$1\"");
}

TEST(PlatformShell, EditorCommandHandsTheFileOverAsOneWord) {
    TempFolder dir;
    // A stand-in editor that writes the words it gets into a file.
    std::string script = dir.File("editor.sh");
    std::string out = dir.File("out.txt");
    testing_util::WriteText(script, "printf '%s|' \"$@\" > '" + out + "'\n");
    const std::string tricky = dir.File("a b'c\"$HOME;x.log");
    std::vector<std::string> words = ViewerCommand(tricky, ("/bin/sh " + script).c_str(), nullptr, ":0");
    ASSERT_EQ(words[0], "x-terminal-emulator");
    // Run the part after the terminal's "-e" directly.
    std::vector<std::string> inner(words.begin() + 4, words.end());
    ASSERT_TRUE(SpawnDetached(inner));
    EXPECT_EQ(WaitForFile(out), tricky + "|");
}

// With an editor set and no terminal to run it in, the desktop's viewer shows the file;
// with neither, the call says so.
TEST(PlatformShell, WithoutATerminalTheDesktopsViewerShowsTheFile) {
    TempFolder dir;
    const std::string out = dir.File("opened");
    testing_util::WriteText(dir.File("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + out + "'\n");
    ASSERT_EQ(::chmod(dir.File("xdg-open").c_str(), 0700), 0);
    testing_util::ScopedEnv visual{"VISUAL", "vi"}, display{"DISPLAY", ":0"}, path{"PATH", dir.Path()};
    EXPECT_TRUE(OpenViewer("/tmp/the.log"));
    EXPECT_EQ(WaitForFile(out), "/tmp/the.log");
    ::unlink(dir.File("xdg-open").c_str());
    EXPECT_FALSE(OpenViewer("/tmp/the.log"));
}

TEST(PlatformShell, SpawnDetachedReportsStartAndLeavesNoChild) {
    TempFolder dir;
    std::string out = dir.File("pid");
    ASSERT_TRUE(SpawnDetached({"/bin/sh", "-c", "echo $PPID > \"$1\"", "sh", out}));
    std::string text = WaitForFile(out);
    ASSERT_FALSE(text.empty());
    // The started program is not our child (its parent is not this process) and the
    // intermediate process has been reaped already.
    EXPECT_NE(std::stol(text), static_cast<long>(::getpid()));
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    EXPECT_FALSE(SpawnDetached({"/nonexistent/orva-viewer"}));
    EXPECT_FALSE(SpawnDetached({"orva-no-such-program-anywhere"}));
    EXPECT_FALSE(SpawnDetached({}));
    EXPECT_FALSE(SpawnDetached({""}));
    EXPECT_TRUE(SpawnDetached({"true"}));  // found through PATH
    EXPECT_FALSE(OpenViewer(""));
}

}  // namespace
}  // namespace orva::platform
