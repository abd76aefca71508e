// The preferences: the record's defaults and moves, the section written to and read from
// orva.cfg beside the main settings (folders, key order, the default folder, keys that do
// not parse, a failed line), the layers that keep their own copies, and the dialog's
// three pages on the recording backend.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/check_button.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "app/preferences.h"
#include "framework/component_id.h"
#include "framework/keyword_file.h"
#include "framework/main_settings.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/output_writer.h"
#include "io/sign_test.h"
#include "platform/window_api.h"
#include "shell_fixture.h"
#include "test_support.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

// The settings the preferences hand to other layers, put back after each test.
struct SavedSettings {
    SavedSettings()
        : data(TheDataSetServices()), sign(TheSignTestSettings()), layout(TheLayoutSettings()),
          writer(TheOutputWriterHooks()), main(TheApp().Settings()) {
        TheCUI().preferences.Reset();
    }
    ~SavedSettings() {
        TheDataSetServices() = data;
        TheSignTestSettings() = sign;
        TheLayoutSettings() = layout;
        TheOutputWriterHooks() = writer;
        TheApp().Settings() = main;
        TheCUI().preferences.Reset();
        TheCUI().createNewProject = 0;
    }
    DataSetServices data;
    SignTestSettings sign;
    LayoutSettings layout;
    OutputWriterHooks writer;
    MainSettings main;
};

class PreferencesTest : public ::testing::Test {
protected:
    // The lines of the preferences section in a settings file.
    static std::string Section(const std::string& text) {
        std::string header = "[{" + SectionNameOf(&kProjectListId, 0) + "}]\n";
        size_t at = text.find(header);
        if (at == std::string::npos) return "(no section)";
        at += header.size();
        size_t end = text.find("[{", at);
        return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    static std::string Body(const PreferencesRecord& record) {
        FILE* out = std::tmpfile();
        int state = 0;
        EXPECT_TRUE(WritePreferencesBody(out, record, &state));
        std::string text;
        std::rewind(out);
        char buffer[512];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
        std::fclose(out);
        return text;
    }
    SavedSettings saved_;
    testing_util::TempFolder folder_;
};

constexpr char kDefaultFlags[] =
    "UseDefaultFolders=0\nCreateNewProject=0\nIEEE754Detect=0\nDetectUnsignUseMin=0\nDetectUnsignInt=0\n"
    "LoadByteswap=1\nCalcStatistic=1\nSaveSwitchWrkMode=1\nFSSave=1\nOldSIFormat=0\nSIShortExt=1\nFSBackup=0\n"
    "DataBackup=0\n";

TEST_F(PreferencesTest, DefaultsMovesAndTheWrittenLines) {
    PreferencesRecord r;
    // Every flag 0 except CalcStatistic, LoadByteswap, SaveSwitchWrkMode, FSSave and SIShortExt;
    // without folders the first line is UseDefaultFolders and LoadByteswap comes before
    // CalcStatistic.
    EXPECT_EQ(Body(r), kDefaultFlags);

    // Moves hand the texts over; every text is freed once (ASan watches).
    r.defaultFolder = strdup("/d/");
    r.saveFolder = strdup("/s/");
    r.fsBackup = 1;
    PreferencesRecord moved(std::move(r));
    EXPECT_EQ(r.defaultFolder, nullptr);
    EXPECT_EQ(r.saveFolder, nullptr);
    EXPECT_STREQ(moved.defaultFolder, "/d/");
    PreferencesRecord other;
    other.loadFolder = strdup("/old/");
    other = std::move(moved);
    EXPECT_EQ(other.loadFolder, nullptr);
    EXPECT_STREQ(other.saveFolder, "/s/");
    EXPECT_EQ(other.fsBackup, 1);
    other = std::move(other);
    EXPECT_STREQ(other.saveFolder, "/s/");
    other.projectFolder = strdup("/p/");
    other.loadMaskFolder = strdup("/m/");
    other.loadFolder = strdup("/l/");
    EXPECT_EQ(Body(other), "DefaultFolder=\"/d/\"\nProjectFolder=\"/p/\"\nLoadFolder=\"/l/\"\nSaveFolder=\"/s/\"\n"
                           "LoadMaskFolder=\"/m/\"\nUseDefaultFolders=0\nCreateNewProject=0\nIEEE754Detect=0\n"
                           "DetectUnsignUseMin=0\nDetectUnsignInt=0\nLoadByteswap=1\nCalcStatistic=1\n"
                           "SaveSwitchWrkMode=1\nFSSave=1\nOldSIFormat=0\nSIShortExt=1\nFSBackup=1\nDataBackup=0\n");
    other.Reset();
    EXPECT_EQ(other.defaultFolder, nullptr);
    EXPECT_EQ(other.fsBackup, 0);

    // A line that cannot be written stops the body with -5.
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    int state = 0;
    EXPECT_FALSE(WritePreferencesBody(full, other, &state));
    EXPECT_EQ(state, -5);
    std::fclose(full);
}

TEST_F(PreferencesTest, ReadingTheSectionBesideTheMainSettings) {
    CUI& cui = TheCUI();
    std::string path = folder_.File("orva.cfg");
    // A missing file leaves the record as it is.
    cui.preferences.fsBackup = 1;
    ReadPreferences(&cui, path.c_str());
    EXPECT_EQ(cui.preferences.fsBackup, 1);
    cui.preferences.Reset();

    // The default folder stands for all five; OldSIFormat is never read back; a value that
    // does not parse keeps the default.
    MainSettings main;
    main.maxWorkSpaceWindows = 7;
    ASSERT_TRUE(WriteMainSettings(path.c_str(), main));
    std::string text = testing_util::ReadText(path);
    text += "[{" + SectionNameOf(&kProjectListId, 0) + "}]\n"
            "UseDefaultFolders=1\nDefaultFolder=\"/data/d\"\nLoadFolder=\"/elsewhere\"\nOldSIFormat=1\n"
            "CalcStatistic=off\nFSSave=maybe\nCreateNewProject=1\n";
    testing_util::WriteText(path, text);
    EXPECT_TRUE(ReadPreferences(&cui, path.c_str()));
    const PreferencesRecord& p = cui.preferences;
    for (char* folder : {p.defaultFolder, p.projectFolder, p.loadFolder, p.saveFolder, p.loadMaskFolder})
        EXPECT_STREQ(folder, "/data/d/");
    EXPECT_NE(p.loadFolder, p.saveFolder);  // copies of their own
    EXPECT_EQ(p.oldSIFormat, 0);
    EXPECT_EQ(p.calcStatistic, 0);
    EXPECT_EQ(p.fsSave, 1);
    EXPECT_EQ(p.createNewProject, 1);
    EXPECT_EQ(cui.createNewProject, 1);
    EXPECT_EQ(PreferenceFolder(5), "/data/d/");
    EXPECT_EQ(PreferenceFolder(9), "/data/d/");
    EXPECT_EQ(PreferenceFolder(6), "");

    // Written back beside the main section, which stays.
    ASSERT_TRUE(WritePreferences(&cui, path.c_str()));
    text = testing_util::ReadText(path);
    EXPECT_EQ(Section(text),
              "DefaultFolder=\"/data/d/\"\nProjectFolder=\"/data/d/\"\nLoadFolder=\"/data/d/\"\nSaveFolder=\"/data/d/\"\n"
              "LoadMaskFolder=\"/data/d/\"\nUseDefaultFolders=1\nCreateNewProject=1\nIEEE754Detect=0\n"
              "DetectUnsignUseMin=0\nDetectUnsignInt=0\nLoadByteswap=1\nCalcStatistic=0\nSaveSwitchWrkMode=1\n"
              "FSSave=1\nOldSIFormat=0\nSIShortExt=1\nFSBackup=0\nDataBackup=0\n");
    MainSettings back;
    ASSERT_TRUE(ReadMainSettings(path.c_str(), &back));
    EXPECT_EQ(back.maxWorkSpaceWindows, 7);

    // Without a DefaultFolder key the folders stay as read.
    cui.preferences.Reset();
    testing_util::WriteText(path, "[{" + SectionNameOf(&kProjectListId, 0) +
                                      "}]\nUseDefaultFolders=1\nLoadFolder=\"/x\"\nSaveFolder=/y/\n");
    EXPECT_TRUE(ReadPreferences(&cui, path.c_str()));
    EXPECT_EQ(p.defaultFolder, nullptr);
    EXPECT_STREQ(p.loadFolder, "/x/");
    EXPECT_STREQ(p.saveFolder, "/y/");
    EXPECT_EQ(p.projectFolder, nullptr);
    EXPECT_EQ(PreferenceFolder(7), "/x/");
    EXPECT_EQ(PreferenceFolder(8), "/y/");
}

TEST_F(PreferencesTest, TheFlagsReachTheLayersThatKeepTheirOwn) {
    CUI& cui = TheCUI();
    std::string path = folder_.File("orva.cfg");
    testing_util::WriteText(path, "[{" + SectionNameOf(&kProjectListId, 0) +
                                      "}]\nFSSave=0\nDetectUnsignInt=1\nDetectUnsignUseMin=1\nIEEE754Detect=1\n"
                                      "SIShortExt=0\nFSBackup=1\nDataBackup=1\nSaveSwitchWrkMode=0\n");
    TheOutputWriterHooks().siShortExt = true;
    EXPECT_TRUE(ReadPreferences(&cui, path.c_str()));
    EXPECT_FALSE(TheDataSetServices().saveServiceFiles);
    EXPECT_FALSE(PreferenceFSSave());
    EXPECT_TRUE(TheDataSetServices().detectUnsignedInt);
    EXPECT_TRUE(TheSignTestSettings().useMinMax);
    EXPECT_TRUE(TheLayoutSettings().ieee754Detect);
    const OutputWriterHooks& w = TheOutputWriterHooks();
    EXPECT_FALSE(w.siShortExt);
    EXPECT_TRUE(w.fsBackup);
    EXPECT_TRUE(w.dataBackup);
    EXPECT_FALSE(w.oldSIFormat);
    EXPECT_EQ(w.saveSwitchWrkMode, 0);
    // The application's folder look-up asks the preferences: the save and mask folders fall
    // back to the load folder.
    cui.preferences.loadFolder = strdup("/load/");
    AppServices services;
    InstallAppShell(&services);
    TheApp().SetServices(services);
    std::string folder;
    EXPECT_TRUE(TheApp().GetAppFolderPath(8, &folder));
    EXPECT_EQ(folder, "/load/");
    TheApp().SetServices(AppServices{});
    TheShellHooks() = ShellHooks{};
}

// The dialog over the shell's main window.
class PreferencesDialogTest : public testing_util::ShellTest {
protected:
    void SetUp() override { Start(); }
    void TearDown() override {
        ClearModalResponders();
        Stop();
    }
    static gWindow* Dialog() { return ThePreferencesDialog().window; }
    static bool Ticked(const char* label) {
        gElement* box = FindDialogWidget(Dialog(), label);
        EXPECT_NE(box, nullptr) << label;
        return CheckButtonTicked(box);
    }
    static void Click(const char* label) { EXPECT_TRUE(PressDialogButton(Dialog(), label)) << label; }
    SavedSettings saved_;
};

TEST_F(PreferencesDialogTest, ThePagesShowAndStoreTheSettings) {
    // Built hidden with the main window.
    ASSERT_NE(Dialog(), nullptr);
    EXPECT_FALSE(PreferencesDialogIsShown());
    EXPECT_EQ(Dialog()->title, "Preferences");

    // "General": six main settings.
    MainSettings& m = TheApp().Settings();
    m.bitmapFitDefault = 0;
    m.bitmapDefaultCenter = 1;
    m.autoOpenChartTools = 1;
    m.warningOnExit = m.exitDialog = 1;
    m.confirmClosing = 0;
    m.increaseSizeDlg = 1;
    m.maxWorkSpaceWindows = 5;
    EXPECT_EQ(PreferencesDialogOpen(kPanelShow, 1), kPanelShown);
    EXPECT_TRUE(PreferencesDialogIsShown());
    EXPECT_FALSE(Ticked("Fit Bitmap image to window"));
    EXPECT_TRUE(Ticked("Move Bitmap image to Center window"));
    EXPECT_TRUE(Ticked("Autoshow of Chart Tools window"));
    EXPECT_TRUE(Ticked("To Confirm Closing the Program"));
    EXPECT_FALSE(Ticked("To Confirm Closing the Data"));
    EXPECT_TRUE(Ticked("Increase Size \"Open Dialog\" [win2k/XP]"));
    Click("To Confirm Closing the Program");
    EXPECT_EQ(m.warningOnExit, 0);
    EXPECT_EQ(m.exitDialog, 0);
    Click("To Confirm Closing the Data");
    EXPECT_EQ(m.confirmClosing, 1);
    // "Set Default" puts the six back and leaves the other main settings alone.
    Click("Set Default");
    const MainSettings defaults;
    EXPECT_EQ(m.bitmapFitDefault, defaults.bitmapFitDefault);
    EXPECT_EQ(m.autoOpenChartTools, defaults.autoOpenChartTools);
    EXPECT_EQ(m.warningOnExit, defaults.warningOnExit);
    EXPECT_EQ(m.exitDialog, defaults.warningOnExit);
    EXPECT_EQ(m.confirmClosing, defaults.confirmClosing);
    EXPECT_EQ(m.increaseSizeDlg, defaults.increaseSizeDlg);
    EXPECT_EQ(m.maxWorkSpaceWindows, 5);
    EXPECT_TRUE(Ticked("Fit Bitmap image to window"));
    EXPECT_FALSE(Ticked("Autoshow of Chart Tools window"));
    EXPECT_TRUE(Ticked("To Confirm Closing the Program"));
    EXPECT_FALSE(Ticked("Increase Size \"Open Dialog\" [win2k/XP]"));
    // A tick in the exit question refreshes the shown page.
    QueueModalResponder(AnswerTickAndPress("Cancel"));
    ConfirmExit();
    EXPECT_FALSE(Ticked("To Confirm Closing the Program"));

    // "Input": the signed box shows the inverse of unsigned detection, as its label says;
    // "Calc statistic" shows and stores the value itself.
    EXPECT_EQ(PreferencesDialogOpen(kPanelShow, 2), kPanelAlreadyShown);
    PreferencesRecord& p = TheCUI().preferences;
    EXPECT_FALSE(Ticked("To add data to the new project [on open data]"));
    EXPECT_TRUE(Ticked("To open raw data as 'signed'..."));
    EXPECT_FALSE(Ticked("Select 'signed detect' method : average / min-max"));
    EXPECT_TRUE(Ticked("To open as byteswap [raw data on different platform]"));
    EXPECT_FALSE(Ticked("IEEE-754 type detect [NB: long time loading big a file]"));
    EXPECT_TRUE(Ticked("Calc statistic [NB: long time loading big a file]"));
    Click("Calc statistic [NB: long time loading big a file]");
    EXPECT_EQ(p.calcStatistic, 0);
    EXPECT_FALSE(Ticked("Calc statistic [NB: long time loading big a file]"));
    Click("To open raw data as 'signed'...");
    EXPECT_EQ(p.detectUnsignInt, 1);
    EXPECT_TRUE(TheDataSetServices().detectUnsignedInt);
    Click("To add data to the new project [on open data]");
    EXPECT_EQ(TheCUI().createNewProject, 1);
    // The other pages' boxes are hidden.
    EXPECT_EQ(FindDialogWidget(Dialog(), "Fit Bitmap image to window")->shown, 0);

    // "Output": the accurate-processing box stores its state; the old-format box does nothing.
    EXPECT_EQ(PreferencesDialogOpen(kPanelShow, 3), kPanelAlreadyShown);
    EXPECT_TRUE(Ticked("Force accurate processing"));
    Click("Force accurate processing");
    EXPECT_EQ(p.saveSwitchWrkMode, 0);
    EXPECT_FALSE(Ticked("Force accurate processing"));
    Click("Force accurate processing");
    EXPECT_EQ(p.saveSwitchWrkMode, 1);
    EXPECT_TRUE(Ticked("Force accurate processing"));
    Click("Save \"service\" file use old format [*.%]");
    EXPECT_EQ(p.oldSIFormat, 0);
    EXPECT_FALSE(Ticked("Save \"service\" file use old format [*.%]"));
    Click("Save \"service\" file [*.fs]");
    EXPECT_EQ(p.fsSave, 0);
    EXPECT_FALSE(TheDataSetServices().saveServiceFiles);
    Click("Backup data file(s)");
    EXPECT_TRUE(TheOutputWriterHooks().dataBackup);

    // The close box puts it away; mode 2 then leaves it hidden.
    platform::SendMessage(Dialog()->hwnd, platform::kWmClose, 0, 0);
    EXPECT_FALSE(PreferencesDialogIsShown());
    EXPECT_EQ(PreferencesDialogOpen(kPanelRefresh, 0), 0);
    EXPECT_FALSE(PreferencesDialogIsShown());
}

}  // namespace
}  // namespace orva
