#include "framework/main_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

#define MAIN "[{424F4C47-00000000-4C505041424F4C47-00000000}]\n"

// The section body of settings that differ from the defaults in Console and
// MaxWorkSpaceWindows.
const char kBody[] =
    "\n"
    "Console=1\n"
    "WarningOnExit=1\n"
    "ConfirmClosing=0\n"
    "AutoOpenChartTools=0\n"
    "ChartToolsOnTop=0\n"
    "MaximizeWrkSpace=0\n"
    "MaxWorkSpaceWindows=32\n"
    "RememberViewSetting=1\n"
    "RememberProcSetting=1\n"
    "RememberChartToolsSetting=1\n"
    "BitmapDefaultCenter=1\n"
    "IncreaseSizeDlg=0\n"
    "BitmapFitDefault=1\n";

bool SameStored(const MainSettings& a, const MainSettings& b) {
    return a.autoOpenChartTools == b.autoOpenChartTools && a.console == b.console &&
           a.exitDialog == b.exitDialog && a.warningOnExit == b.warningOnExit &&
           a.confirmClosing == b.confirmClosing && a.chartToolsOnTop == b.chartToolsOnTop &&
           a.maximizeWrkSpace == b.maximizeWrkSpace && a.maxWorkSpaceWindows == b.maxWorkSpaceWindows &&
           a.rememberViewSetting == b.rememberViewSetting &&
           a.rememberProcSetting == b.rememberProcSetting &&
           a.rememberChartToolsSetting == b.rememberChartToolsSetting &&
           a.bitmapDefaultCenter == b.bitmapDefaultCenter && a.bitmapFitDefault == b.bitmapFitDefault &&
           a.increaseSizeDlg == b.increaseSizeDlg;
}

TEST(MainSettings, DefaultsAndTwoSaves) {
    MainSettings s;
    EXPECT_EQ(std::tuple(s.warningOnExit, s.exitDialog, s.maxWorkSpaceWindows),
              std::tuple(1, 1, 16));
    EXPECT_EQ(s.rememberViewSetting + s.rememberProcSetting + s.rememberChartToolsSetting +
                  s.bitmapDefaultCenter + s.bitmapFitDefault,
              5);
    EXPECT_EQ(s.console + s.autoOpenChartTools + s.confirmClosing + s.chartToolsOnTop +
                  s.maximizeWrkSpace + s.increaseSizeDlg + s.windowless + s.quitRequest + s.bringToFront,
              0);

    TempFolder folder;
    std::string path = folder.File("orva.cfg");
    // A fresh installation: nothing read, the defaults stay.
    MainSettings read;
    EXPECT_FALSE(ReadMainSettings(path.c_str(), &read));
    EXPECT_TRUE(SameStored(read, MainSettings()));

    s.console = 1;
    s.maxWorkSpaceWindows = 32;
    s.exitDialog = 0;  // a run-time flag: not written
    EXPECT_TRUE(WriteMainSettings(path.c_str(), s));
    EXPECT_TRUE(WriteMainSettings(path.c_str(), s));
    EXPECT_EQ(ReadText(path), std::string(MAIN) + kBody);

    EXPECT_TRUE(ReadMainSettings(path.c_str(), &read));
    s.exitDialog = 1;  // copied from WarningOnExit on reading
    EXPECT_TRUE(SameStored(read, s));
    EXPECT_TRUE(read.Reset());
    EXPECT_TRUE(SameStored(read, MainSettings()));
}

TEST(MainSettings, HandEditedValues) {
    const struct {
        const char* text;
        int maxWindows, warning, exitDialog, console;
    } cases[] = {
        {"MaxWorkSpaceWindows=-3\n", 1, 1, 1, 0},
        {"maxworkspacewindows = 0\n", 1, 1, 1, 0},
        {"MaxWorkSpaceWindows=32 // wide screen\n", 32, 1, 1, 0},
        {"WarningOnExit=0\n", 16, 0, 0, 0},
        {"console=7; WarningOnExit=x\n", 16, 0, 0, 1},
        // Only keys the table lacks: nothing accepted, the old values stay.
        {"Conso=1\nMaxWindows=3\n", 5, 1, 1, 0},
    };
    TempFolder folder;
    std::string path = folder.File("orva.cfg");
    for (const auto& c : cases) {
        WriteText(path, std::string("[{424f4c47-00000000-4c505041424f4c47-00000000}]\r\n") + c.text);
        MainSettings s;
        s.maxWorkSpaceWindows = 5;
        EXPECT_TRUE(ReadMainSettings(path.c_str(), &s)) << c.text;
        EXPECT_EQ(std::tuple(s.maxWorkSpaceWindows, s.warningOnExit, s.exitDialog, s.console),
                  std::tuple(c.maxWindows, c.warning, c.exitDialog, c.console)) << c.text;
    }
}

TEST(MainSettings, OtherSectionsSurviveByteForByte) {
    TempFolder folder;
    std::string path = folder.File("orva.cfg");
    const std::string foreign =
        "// orva settings\n"
        "[{00000001-00000002-0000000300000004-00000005}]\n"
        "foo = 1 // c\n"
        "  bar=\"x//y\";Baz=<{q}>\n"
        "\n";
    const std::string prefs = "[{00000009-00000000-0000000000000000-00000000}]\nFolder=\"/tmp/a b\"\n";
    WriteText(path, foreign + MAIN "Console=0\n\n" + prefs);
    MainSettings s;
    s.console = 1;
    s.maxWorkSpaceWindows = 32;
    for (int save = 0; save < 2; ++save) {
        EXPECT_TRUE(WriteMainSettings(path.c_str(), s));
        EXPECT_EQ(ReadText(path), foreign + MAIN + kBody + "\n" + prefs) << save;
    }
}

}  // namespace
}  // namespace orva
