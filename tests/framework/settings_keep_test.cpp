// Settings files keep what a user set: every line end reads as one and stays, a save
// changes only the values the program changed, and a file that cannot be read is left
// alone.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/keyword_file.h"
#include "framework/main_settings.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::CapturedLog;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

#define KEEP_MAIN_HEADER "[{424F4C47-00000000-4C505041424F4C47-00000000}]"

// The main section as the program writes it, with `eol` for every line end.
std::string MainBody(const std::string& eol, int warning, int windows) {
    std::string text = eol;
    const std::vector<std::pair<const char*, int>> keys = {
        {"Console", 0},          {"WarningOnExit", warning},    {"ConfirmClosing", 0},
        {"AutoOpenChartTools", 0}, {"ChartToolsOnTop", 0},      {"MaximizeWrkSpace", 0},
        {"MaxWorkSpaceWindows", windows}, {"RememberViewSetting", 1}, {"RememberProcSetting", 1},
        {"RememberChartToolsSetting", 1}, {"BitmapDefaultCenter", 1}, {"IncreaseSizeDlg", 0},
        {"BitmapFitDefault", 1}};
    for (const auto& [key, value] : keys) text += std::string(key) + "=" + std::to_string(value) + eol;
    return text;
}

// A foreign section before and after the main one, with odd spacing and a comment.
std::string Foreign(const std::string& eol, int which) {
    if (which == 0)
        return "// written by hand" + eol + "[{11111111-00000000-2222222222222222-00000000}]" + eol +
               "  DefaultFolder = \"/home/u/data\" ; FSBackup=1" + eol;
    return "[{33333333-00000000-4444444444444444-00000000}]" + eol + "\tX=1 // note" + eol;
}

class SettingsKeep : public ::testing::Test {
protected:
    void SetUp() override { ForgetSettingsBaselines(); }
    void TearDown() override { ForgetSettingsBaselines(); }
};

// CR, LF and CR LF: the values are read, and a save rewrites the main section alone,
// in the file's own line ends, the rest byte for byte.
TEST_F(SettingsKeep, EveryLineEndReadsAndStays) {
    const struct {
        const char* name;
        std::string eol;
    } cases[] = {{"LF", "\n"}, {"CR LF", "\r\n"}, {"CR alone", "\r"}};
    for (const auto& c : cases) {
        ForgetSettingsBaselines();
        TempFolder folder;
        const std::string path = folder.File("orva.cfg");
        const std::string before = Foreign(c.eol, 0) + c.eol + KEEP_MAIN_HEADER + c.eol + "WarningOnExit=0" + c.eol +
                                   "MaxWorkSpaceWindows=7" + c.eol + c.eol + Foreign(c.eol, 1);
        WriteText(path, before);
        MainSettings read;
        ASSERT_TRUE(ReadMainSettings(path.c_str(), &read, nullptr)) << c.name;
        EXPECT_EQ(read.maxWorkSpaceWindows, 7) << c.name;
        EXPECT_EQ(read.warningOnExit, 0) << c.name;
        EXPECT_EQ(read.exitDialog, 0) << c.name;

        read.maxWorkSpaceWindows = 9;
        ASSERT_TRUE(WriteMainSettings(path.c_str(), read, nullptr)) << c.name;
        const std::string after = Foreign(c.eol, 0) + c.eol + KEEP_MAIN_HEADER + c.eol + MainBody(c.eol, 0, 9) + c.eol +
                                  Foreign(c.eol, 1);
        EXPECT_EQ(ReadText(path), after) << c.name;
        // Saving again changes nothing.
        ASSERT_TRUE(WriteMainSettings(path.c_str(), read, nullptr)) << c.name;
        EXPECT_EQ(ReadText(path), after) << c.name;
        MainSettings again;
        ASSERT_TRUE(ReadMainSettings(path.c_str(), &again, nullptr)) << c.name;
        EXPECT_EQ(again.maxWorkSpaceWindows, 9) << c.name;
    }
}

// A line end the file lacks on its last line, and a new file, take LF.
TEST_F(SettingsKeep, NewFileAndUnendedLastLine) {
    TempFolder folder;
    const std::string path = folder.File("orva.cfg");
    MainSettings s;
    s.console = 1;
    ASSERT_TRUE(WriteMainSettings(path.c_str(), s, nullptr));
    std::string body = MainBody("\n", 1, 16);
    body.replace(body.find("Console=0"), 9, "Console=1");
    EXPECT_EQ(ReadText(path), KEEP_MAIN_HEADER "\n" + body);

    WriteText(path, "[{33333333-00000000-4444444444444444-00000000}]\r\nX=1");
    ASSERT_TRUE(WriteMainSettings(path.c_str(), s, nullptr));
    EXPECT_EQ(ReadText(path), "[{33333333-00000000-4444444444444444-00000000}]\r\nX=1\r\n\r\n" KEEP_MAIN_HEADER "\r\n" +
                                  MainBody("\r\n", 1, 16).replace(2, 9, "Console=1"));
}

// Between reading and saving, another program (or the user) changed the file: the
// values this program did not change are taken from the file as it stands.
TEST_F(SettingsKeep, ASaveKeepsWhatOthersWroteMeanwhile) {
    TempFolder folder;
    const std::string path = folder.File("orva.cfg");
    WriteText(path, KEEP_MAIN_HEADER "\nMaxWorkSpaceWindows=7\n");
    MainSettings mine;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &mine, nullptr));
    ASSERT_EQ(mine.warningOnExit, 1);

    // The other program turned the exit question off and added a key of its own.
    WriteText(path, KEEP_MAIN_HEADER "\r\nwarningonexit = 0\r\nMaxWorkSpaceWindows=7\r\nLaterKey=\"a; b\"\r\n");
    mine.console = 1;  // this program's one change
    ASSERT_TRUE(WriteMainSettings(path.c_str(), mine, nullptr));
    std::string expected = MainBody("\r\n", 0, 7);
    expected.replace(expected.find("Console=0"), 9, "Console=1");
    expected.replace(expected.find("WarningOnExit=0"), 15, "WarningOnExit=0");
    expected.insert(expected.size(), "LaterKey=\"a; b\"\r\n");
    EXPECT_EQ(ReadText(path), KEEP_MAIN_HEADER "\r\n" + expected);
    MainSettings back;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &back, nullptr));
    EXPECT_EQ(std::tuple(back.console, back.warningOnExit, back.maxWorkSpaceWindows), std::tuple(1, 0, 7));

    // A value this program changes wins over the file's.
    WriteText(path, KEEP_MAIN_HEADER "\nConsole=0\nMaxWorkSpaceWindows=3\n");
    back.maxWorkSpaceWindows = 5;
    ASSERT_TRUE(WriteMainSettings(path.c_str(), back, nullptr));
    MainSettings last;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &last, nullptr));
    EXPECT_EQ(std::tuple(last.console, last.maxWorkSpaceWindows), std::tuple(0, 5));
}

// Keys the reader did not take (unknown to this program) stay in the section; keys it
// took under another name of its own are written under its name only.
TEST_F(SettingsKeep, UnknownKeysStayKnownOnesAreWrittenOnce) {
    TempFolder folder;
    const std::string path = folder.File("orva.cfg");
    WriteText(path, KEEP_MAIN_HEADER "\nLaterVersionKey=5\nconsole=1\n");
    MainSettings s;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &s, nullptr));
    ASSERT_EQ(s.console, 1);
    s.console = 0;
    ASSERT_TRUE(WriteMainSettings(path.c_str(), s, nullptr));
    std::string expected = MainBody("\n", 1, 16) + "LaterVersionKey=5\n";
    EXPECT_EQ(ReadText(path), KEEP_MAIN_HEADER "\n" + expected);
    ASSERT_TRUE(WriteMainSettings(path.c_str(), s, nullptr));
    EXPECT_EQ(ReadText(path), KEEP_MAIN_HEADER "\n" + expected);
    MainSettings back;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &back, nullptr));
    EXPECT_EQ(back.console, 0);
}

// A line ended by a CR alone before the section the save adds: the line end between
// them stays two ends (a CR, then the file's LF would read as one), so saving again
// changes nothing. A file with the section twice: the values read are written whole.
TEST_F(SettingsKeep, MixedLineEndsAndTwoSectionsStayStable) {
    TempFolder folder;
    const std::string path = folder.File("orva.cfg");
    WriteText(path, "// a\nx\r");
    MainSettings s;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &s, nullptr));
    ASSERT_TRUE(WriteMainSettings(path.c_str(), s, nullptr));
    const std::string once = ReadText(path);
    EXPECT_EQ(once, "// a\nx\r\r" KEEP_MAIN_HEADER "\n" + MainBody("\n", 1, 16));
    ASSERT_TRUE(WriteMainSettings(path.c_str(), s, nullptr));
    EXPECT_EQ(ReadText(path), once);

    ForgetSettingsBaselines();
    WriteText(path, KEEP_MAIN_HEADER "\nConsole=1\n" KEEP_MAIN_HEADER "\nMaxWorkSpaceWindows=3\n");
    MainSettings two;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &two, nullptr));
    EXPECT_EQ(std::tuple(two.console, two.maxWorkSpaceWindows), std::tuple(1, 16));
    ASSERT_TRUE(WriteMainSettings(path.c_str(), two, nullptr));
    std::string expected = MainBody("\n", 1, 16);
    expected.replace(expected.find("Console=0"), 9, "Console=1");
    EXPECT_EQ(ReadText(path), KEEP_MAIN_HEADER "\n" + expected);
}

// The merge itself, case by case: what stands in the baseline as it stands in ours is
// the file's; the rest is ours; keys only the file has stay.
TEST(SettingsMerge, TakesTheFileWhereNothingChanged) {
    using Values = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* name;
        std::string ours, baseline;
        Values file;
        std::string merged;
        std::vector<std::string> read = {};
        std::map<std::string, std::string> seen = {};
    } cases[] = {
        {"a value the file still holds as last seen is written as this program writes it", "[{S}]\nA=1\nB=2\n",
         "[{S}]\nA=1\nB=2\n", {{"A", "01"}, {"B", "3"}}, "[{S}]\nA=1\nB=3\n", {}, {{"a", "01"}, {"b", "2"}}},
        {"unchanged value taken from the file", "[{S}]\nA=1\nB=2\n", "[{S}]\nA=1\nB=2\n", {{"A", "5"}},
         "[{S}]\nA=5\nB=2\n"},
        {"changed value stays ours", "[{S}]\nA=3\n", "[{S}]\nA=1\n", {{"A", "5"}}, "[{S}]\nA=3\n"},
        {"a key the file lacks stays ours", "[{S}]\nA=1\n", "[{S}]\nA=1\n", {}, "[{S}]\nA=1\n"},
        {"a key the file holds twice is ours (which one the reader takes depends on its values)",
         "[{S}]\nA=1\n", "[{S}]\nA=1\n", {{"A", "4"}, {"a", "6"}}, "[{S}]\nA=1\n"},
        {"keys only the file has are added after ours", " [{S}]\n A=1\n}\n", " [{S}]\n A=1\n}\n",
         {{"Palette", "\"/p.pal\""}, {"A", "1"}}, " [{S}]\n A=1\n Palette=\"/p.pal\"\n}\n"},
        {"a key this program dropped stays dropped", "[{S}]\nA=1\n", "[{S}]\nA=1\nPalette=x\n",
         {{"Palette", "y"}}, "[{S}]\nA=1\n"},
        {"a key written twice is ours", "[{S}]\nA=1\nA=2\n", "[{S}]\nA=1\nA=2\n", {{"A", "9"}},
         "[{S}]\nA=1\nA=2\n"},
        {"a section without keys gets the file's after its header", "[{S}]\n", "[{S}]\n", {{"K", "v"}},
         "[{S}]\nK=v\n"},
        {"a key the reader took (another spelling of one of ours) is not carried", "[{S}]\nAmplification=3\n",
         "[{S}]\nAmplification=2\n", {{"Amp", "2"}}, "[{S}]\nAmplification=3\n", {"amp"}},
        {"with another spelling in the file, no value of the file stands in for ours",
         "[{S}]\nAmplification=2\nGamma=1\n", "[{S}]\nAmplification=2\nGamma=1\n",
         {{"Amplification", "1"}, {"Amp", "2"}, {"Gamma", "5"}}, "[{S}]\nAmplification=2\nGamma=1\n",
         {"amplification", "amp", "gamma"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MergeSettingsBlock(c.ours, SettingsBaseline{c.baseline, c.read, c.seen}, c.file), c.merged)
            << c.name;
}

// A file that cannot be read is kept byte for byte, and the log says so.
TEST_F(SettingsKeep, AnUnreadableFileIsKept) {
    TempFolder folder;
    const std::string path = folder.File("orva.cfg");
    const std::string bad = std::string(KEEP_MAIN_HEADER "\nMaxWorkSpaceWindows=7\nX=\x01\n[{") + '\0' + "}]\n";
    WriteText(path, bad);
    MainSettings s;
    const std::string log = CapturedLog([&] {
        EXPECT_FALSE(ReadMainSettings(path.c_str(), &s, nullptr));
        s.console = 1;
        EXPECT_FALSE(WriteMainSettings(path.c_str(), s, nullptr));
    });
    EXPECT_EQ(s.maxWorkSpaceWindows, 16);
    EXPECT_EQ(ReadText(path), bad);
    EXPECT_NE(log.find("'" + path + "' could not be read: it is kept as it is and nothing is saved into it"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("WriteFile: error: " + path), std::string::npos) << log;
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"orva.cfg"});
}

}  // namespace
}  // namespace orva

#undef KEEP_MAIN_HEADER
