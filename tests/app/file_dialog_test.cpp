// RunFileDialog through the scripted backend, on the recording backend: what a caller gets
// back (cancel, one file, several files, names as chosen, the buffer's limits), the
// defaults of the dialog kinds, the flags of open and save dialogs, the refusals, the
// modal-open flag after every way out, the open options of data files ("Open As:",
// "Default", "Copy of default", "Details", the remembered filter index), "Merge" of shape
// files, the list enlargement of the first open dialog, and the save dialog's output format
// that follows the chosen file type.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/file_dialog.h"
#include "app/message_dialog.h"
#include "app/preferences.h"
#include "app/shell_hooks.h"
#include "framework/app_object.h"
#include "io/format_registry.h"
#include "shell_fixture.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::CapturedLog;

constexpr char kDataFilter[] = "Fits [*.fits]\0*.fits;*.fit\0Text\0*.txt\0All\0*.*\0";

// The texts of a buffer that holds a folder and names.
std::vector<std::string> Texts(const char* buffer) {
    std::vector<std::string> texts;
    for (const char* p = buffer; *p != '\0'; p += std::strlen(p) + 1) texts.emplace_back(p);
    return texts;
}

std::vector<std::string> Descriptions(const std::vector<FileFilterEntry>& filters) {
    std::vector<std::string> out;
    for (const FileFilterEntry& f : filters) out.push_back(f.description + "|" + f.patterns);
    return out;
}

class FileDialogTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        savedSettings_ = TheApp().Settings();
        ResetFileDialogRunState();
        Start();
    }
    void TearDown() override {
        EXPECT_EQ(scripted.Pending(), 0);
        EXPECT_FALSE(ModalOpen());
        SetModalOpen(false);
        ResetFileDialogRunState();
        TheApp().Settings() = savedSettings_;
        Stop();
    }
    // An open dialog of data files over the main window.
    int32_t OpenData(FileDialogOptions* options, int32_t* index, uint32_t flags = 0x1E01) {
        return RunFileDialog(Main(), options, buffer, sizeof buffer, "/data", "Open data file(s)", flags, kDataFilter,
                             nullptr, kFileDialogData, index, kFileDialogOpen, &chosen);
    }
    const ScriptedFileDialog::Record& Last() { return scripted.Requests().back(); }

    ScriptedFileDialog scripted;
    ScopedFileDialogBackend backend{&scripted};
    char buffer[4096] = {};
    std::vector<std::string> chosen;
    MainSettings savedSettings_;
};

TEST_F(FileDialogTest, CancelOneFileAndSeveralFiles) {
    // One file: -1, its full path, the chosen filter index written back and remembered.
    scripted.Push(ScriptedFileDialog::Choose({"a.fits"}, "", 2));
    int32_t index = 0;
    FileDialogOptions options;
    EXPECT_EQ(OpenData(&options, &index), -1);
    EXPECT_STREQ(buffer, "/data/a.fits");
    EXPECT_EQ(chosen, std::vector<std::string>{"/data/a.fits"});
    EXPECT_EQ(index, 2);
    EXPECT_EQ(options.filterIndex, 2);
    EXPECT_EQ(TheOpenDialogState().filterIndex, 2u);

    // Cancelled: 0, the buffer's name and every filter index stay as they were.
    scripted.Push([](FileDialogRequest& r) {
        r.ChangeType(3);  // the user looked at another type, then cancelled
        return FileDialogAnswer{};
    });
    index = 0;
    options.filterIndex = 0;
    EXPECT_EQ(OpenData(&options, &index), 0);
    EXPECT_EQ(Last().filterIndex, 2);  // it started at the remembered one
    EXPECT_EQ(index, 0);
    EXPECT_EQ(options.filterIndex, 0);
    EXPECT_EQ(TheOpenDialogState().filterIndex, 2u);
    EXPECT_TRUE(chosen.empty());

    // Three files: the offset of the first name after the folder; the names in order.
    scripted.Push(ScriptedFileDialog::Choose({"a.fits", "b.fit", "c.fits"}, "/data/run 1"));
    buffer[0] = '\0';
    EXPECT_EQ(OpenData(&options, &index), static_cast<int32_t>(std::strlen("/data/run 1") + 1));
    EXPECT_EQ(Texts(buffer), (std::vector<std::string>{"/data/run 1", "a.fits", "b.fit", "c.fits"}));
    EXPECT_EQ(chosen, (std::vector<std::string>{"/data/run 1/a.fits", "/data/run 1/b.fit", "/data/run 1/c.fits"}));

    // Several names where the caller asked for one file: refused.
    scripted.Push(ScriptedFileDialog::Choose({"a.fits", "b.fits"}));
    std::string log = CapturedLog([&] { EXPECT_EQ(OpenData(&options, &index, 0x1C01), 0); });
    EXPECT_NE(log.find("several names chosen without multiple selection"), std::string::npos) << log;

    // Names come back exactly as chosen: blanks at the end stay.
    scripted.Push(ScriptedFileDialog::Choose({"name with blanks  "}));
    EXPECT_EQ(OpenData(&options, &index), -1);
    EXPECT_STREQ(buffer, "/data/name with blanks  ");
    // An empty name is no choice.
    scripted.Push(ScriptedFileDialog::Choose({""}));
    EXPECT_EQ(OpenData(&options, &index), 0);
}

TEST_F(FileDialogTest, NamesThatDoNotFitTheBufferAreRefused) {
    char small[16] = {};
    scripted.Push(ScriptedFileDialog::Choose({"a-long-name.fits"}));
    std::string log = CapturedLog([&] {
        EXPECT_EQ(RunFileDialog(Main(), nullptr, small, sizeof small, "/data", "Open", 0, nullptr, nullptr,
                                kFileDialogPalette, nullptr, 1),
                  0);
    });
    EXPECT_NE(log.find("the chosen name does not fit (16 bytes): /data/a-long-name.fits"), std::string::npos) << log;
    // Exactly full: the path and its NUL.
    scripted.Push(ScriptedFileDialog::Choose({"abc.pal"}, "/data/1"));
    EXPECT_EQ(RunFileDialog(Main(), nullptr, small, sizeof small, "/data", "Open", 0, nullptr, nullptr,
                            kFileDialogPalette, nullptr, 1),
              -1);
    EXPECT_STREQ(small, "/data/1/abc.pal");
    // Several names need room for every NUL and the final one.
    char ten[10];
    scripted.Push(ScriptedFileDialog::Choose({"a", "bc"}, "/dd"));
    EXPECT_EQ(RunFileDialog(Main(), nullptr, ten, 9, "/dd", "Open", kOfnAllowMultiSelect, nullptr, nullptr,
                            kFileDialogPalette, nullptr, 1),
              0);
    scripted.Push(ScriptedFileDialog::Choose({"a", "bc"}, "/dd"));
    EXPECT_EQ(RunFileDialog(Main(), nullptr, ten, 10, "/dd", "Open", kOfnAllowMultiSelect, nullptr, nullptr,
                            kFileDialogPalette, nullptr, 1),
              4);
    EXPECT_EQ(std::string(ten, 10), std::string("/dd\0a\0bc\0\0", 10));
    // No buffer at all: nothing is asked.
    EXPECT_EQ(RunFileDialog(Main(), nullptr, nullptr, 100, "/", "Open", 0, nullptr, nullptr, 3, nullptr, 1), 0);
    EXPECT_EQ(RunFileDialog(Main(), nullptr, small, 1, "/", "Open", 0, nullptr, nullptr, 3, nullptr, 1), 0);
    EXPECT_EQ(scripted.Requests().size(), 4u);
}

TEST_F(FileDialogTest, DefaultsOfTheKinds) {
    const struct {
        int32_t kind;
        std::vector<std::string> filters;
        std::string extension;
    } cases[] = {
        {kFileDialogData, {"All|*.*"}, "fits"},
        {kFileDialogShapes, {"All|*.*"}, ""},
        {kFileDialogPalette, {"Palette [*.pal]|*.pal", "All|*.*"}, "pal"},
        {kFileDialogText, {"Text [*.txt]|*.txt", "All|*.*"}, "txt"},
        {kFileDialogText2, {"Text [*.txt]|*.txt", "All|*.*"}, "txt"},
        {7, {"All|*.*"}, ""},
    };
    for (const auto& c : cases) {
        scripted.Push(ScriptedFileDialog::Cancel());
        EXPECT_EQ(RunFileDialog(Main(), nullptr, buffer, sizeof buffer, nullptr, "T", 0, nullptr, nullptr, c.kind,
                                nullptr, 1),
                  0);
        EXPECT_EQ(Descriptions(Last().filters), c.filters) << c.kind;
        EXPECT_EQ(Last().defaultExtension, c.extension) << c.kind;
    }
    // The caller's filter and extension win (a leading dot is dropped).
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, nullptr, "T", 0, "Masks\0*.msk\0", ".msk", 4, nullptr, 1);
    EXPECT_EQ(Descriptions(Last().filters), std::vector<std::string>{"Masks|*.msk"});
    EXPECT_EQ(Last().defaultExtension, "msk");
    // Without a folder the dialog starts in the current one.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(Last().folder, cwd);
    EXPECT_EQ(ParseFilterText("A\0*.a\0Dangling\0"), (std::vector<FileFilterEntry>{{"A", "*.a"}}));
}

TEST_F(FileDialogTest, FlagsOfOpenAndSaveDialogs) {
    const uint32_t base = kOfnExplorer | kOfnEnableSizing;
    const uint32_t hooked = kOfnEnableHook | kOfnEnableTemplate;
    const uint32_t save = kOfnDontAddToRecent | kOfnNoChangeDir;
    const struct {
        int32_t kind, mode;
        uint32_t flags, expected;
        int32_t panel;
    } cases[] = {
        {kFileDialogData, 1, 0x1E01 | kOfnNoDereferenceLinks, 0x1E01 | base | hooked, kPanelOpenData},
        {kFileDialogShapes, 0, 0x1804, 0x1804 | base | hooked, kPanelShapes},
        {kFileDialogPalette, 1, 0x1C05, 0x1C05 | base, kPanelNone},
        {kFileDialogPalette, 2, 0xC00, 0xC02 | base | save, kPanelNone},
        {kFileDialogData, 2, 0xC02, 0xC02 | base | save, kPanelNone},
        {kFileDialogText, 3, 0xC02, 0xC00 | base | save, kPanelNone},
        {kFileDialogShapes, 3, 0x10C00, 0x10C00 | base | save, kPanelNone},
    };
    for (const auto& c : cases) {
        scripted.Push(ScriptedFileDialog::Cancel());
        RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "T", c.flags, kDataFilter, nullptr, c.kind, nullptr,
                      c.mode);
        EXPECT_EQ(Last().flags, c.expected) << c.kind << " " << c.mode;
        EXPECT_EQ(Last().save, c.mode > 1);
        EXPECT_EQ(Last().panelKind, c.panel);
    }
}

TEST_F(FileDialogTest, RefusalsAndTheModalFlagAfterEveryWayOut) {
    // A save of data files needs its file types.
    std::string log = CapturedLog([&] {
        EXPECT_EQ(RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "Save data", 0xC02, nullptr, nullptr,
                                kFileDialogData, nullptr, 2),
                  0);
    });
    EXPECT_NE(log.find("File dialog 'Save data': no file types to save data as"), std::string::npos) << log;
    EXPECT_TRUE(scripted.Requests().empty());
    EXPECT_FALSE(ModalOpen());
    // While a dialog or a message box is open, no second dialog.
    SetModalOpen(true);
    EXPECT_EQ(OpenData(nullptr, nullptr), 0);
    EXPECT_TRUE(scripted.Requests().empty());
    SetModalOpen(false);
    // Inside a dialog: the flag is set, a second dialog is refused.
    int32_t inner = 7;
    bool modalInside = false;
    scripted.Push([&](FileDialogRequest&) {
        modalInside = ModalOpen();
        char other[64];
        inner = RunFileDialog(Main(), nullptr, other, sizeof other, "/", "Second", 0, nullptr, nullptr, 3, nullptr, 1);
        return FileDialogAnswer{};
    });
    EXPECT_EQ(OpenData(nullptr, nullptr), 0);
    EXPECT_TRUE(modalInside);
    EXPECT_EQ(inner, 0);
    EXPECT_EQ(scripted.Requests().size(), 1u);
    EXPECT_FALSE(ModalOpen());
    // A script that throws: no choice, a log line, the flag clear.
    scripted.Push([](FileDialogRequest&) -> FileDialogAnswer { throw std::runtime_error("backend broke"); });
    log = CapturedLog([&] { EXPECT_EQ(OpenData(nullptr, nullptr), 0); });
    EXPECT_NE(log.find("File dialog 'Open data file(s)': backend broke"), std::string::npos) << log;
    EXPECT_FALSE(ModalOpen());
    // A callback that throws (the panel's ok) likewise.
    scripted.Push([](FileDialogRequest& r) {
        r.onAccept = [](FileDialogRequest&) -> bool { throw 3; };
        return ScriptedFileDialog::Choose({"a.fits"})(r);
    });
    log = CapturedLog([&] { EXPECT_EQ(OpenData(nullptr, nullptr), 0); });
    EXPECT_NE(log.find("File dialog 'Open data file(s)': failed"), std::string::npos) << log;
    EXPECT_FALSE(ModalOpen());
    // Chosen and cancelled: clear as well.
    scripted.Push(ScriptedFileDialog::Choose({"a.fits"}));
    EXPECT_EQ(OpenData(nullptr, nullptr), -1);
    EXPECT_FALSE(ModalOpen());
    // No script: cancelled.
    EXPECT_EQ(OpenData(nullptr, nullptr), 0);
    EXPECT_FALSE(ModalOpen());
}

TEST_F(FileDialogTest, TheNameInTheBufferGivesTheStartFolder) {
    // An open dialog with a default extension drops the name, its folder is where the
    // dialog starts; a save dialog proposes the name it was given.
    std::strcpy(buffer, "/data/night/frame.fits");
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/elsewhere", "T", 0, nullptr, nullptr, kFileDialogPalette,
                  nullptr, 1);
    EXPECT_EQ(Last().folder, "/data/night");
    EXPECT_EQ(Last().fileName, "");
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/elsewhere", "T", 0, nullptr, "txt", kFileDialogPalette,
                  nullptr, 2);
    EXPECT_EQ(Last().folder, "/data/night");
    EXPECT_EQ(Last().fileName, "frame.fits");
    // Without one the name is proposed.
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/elsewhere", "T", 0, nullptr, nullptr, kFileDialogShapes,
                  nullptr, 2);
    EXPECT_EQ(Last().folder, "/data/night");
    EXPECT_EQ(Last().fileName, "frame.fits");
    // A bare name keeps the caller's folder; the buffer's last byte is made a NUL.
    std::memset(buffer, 'x', sizeof buffer);
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/elsewhere/", "T", 0, nullptr, nullptr, kFileDialogShapes,
                  nullptr, 1);
    EXPECT_EQ(Last().folder, "/elsewhere");
    EXPECT_EQ(Last().fileName, std::string(sizeof buffer - 1, 'x'));
}

TEST_F(FileDialogTest, TheOpenOptionsOfDataFiles) {
    // "Binary" gives the type tag "BINARY"; the boxes come back in the first word.
    FileDialogPanel atInit;
    scripted.Push([&](FileDialogRequest& r) {
        atInit = r.panel;
        r.SetOpenAs(1);
        r.SetBox(FileDialogControl::Default, true);
        return ScriptedFileDialog::Choose({"a.dat"})(r);
    });
    FileDialogOptions options;
    options.passThrough = 1;
    EXPECT_EQ(OpenData(&options, nullptr), -1);
    EXPECT_EQ(atInit.openAs, 0);
    EXPECT_FALSE(atInit.defaultBox);
    EXPECT_STREQ(options.typeTag, "BINARY");
    EXPECT_EQ(options.defaults[0], 1);
    EXPECT_EQ(options.defaults[1], 0);
    EXPECT_EQ(options.passThrough, 1);
    EXPECT_EQ(options.flags, 19u);

    // The next dialog starts with the boxes as they were chosen and "Auto"; "Fits".
    scripted.Push([&](FileDialogRequest& r) {
        atInit = r.panel;
        r.SetOpenAs(2);
        r.SetBox(FileDialogControl::CopyOfDefault, true);
        return ScriptedFileDialog::Choose({"a.dat"})(r);
    });
    options = FileDialogOptions{};  // pass-through -1: kept as it was
    EXPECT_EQ(OpenData(&options, nullptr), -1);
    EXPECT_TRUE(atInit.defaultBox);
    EXPECT_EQ(atInit.openAs, 0);
    EXPECT_STREQ(options.typeTag, "FITS");
    EXPECT_EQ(options.defaults[0], 1);
    EXPECT_EQ(options.defaults[1], 1);
    EXPECT_EQ(options.passThrough, 1);

    // Unticking clears the option at once, even when the dialog is then cancelled; "Auto"
    // gives an empty tag.
    scripted.Push([&](FileDialogRequest& r) {
        r.SetBox(FileDialogControl::Default, false);
        return FileDialogAnswer{};
    });
    options.passThrough = 0;
    EXPECT_EQ(OpenData(&options, nullptr), 0);
    EXPECT_EQ(TheOpenDialogState().defaultBox, 0);
    EXPECT_EQ(TheOpenDialogState().copyBox, 1);
    EXPECT_EQ(TheOpenDialogState().passThrough, 0);
    scripted.Push(ScriptedFileDialog::Choose({"a.dat"}));
    EXPECT_EQ(OpenData(&options, nullptr), -1);
    EXPECT_STREQ(options.typeTag, "");
    EXPECT_EQ(options.defaults[0], 0);
    EXPECT_EQ(options.defaults[1], 1);
    EXPECT_EQ(options.passThrough, 0);
}

TEST_F(FileDialogTest, TheFilterIndexToStartWith) {
    TheOpenDialogState().filterIndex = 3;
    FileDialogOptions options;
    const struct {
        int32_t argument, record;
        int32_t expected;
    } cases[] = {{2, 1, 2}, {0, 1, 1}, {0, 0, 3}, {-1, 0, 3}, {9, 0, 3}, {0, 0, 3}};
    for (const auto& c : cases) {
        scripted.Push(ScriptedFileDialog::Cancel());
        int32_t index = c.argument;
        options.filterIndex = c.record;
        OpenData(&options, &index);
        EXPECT_EQ(Last().filterIndex, c.expected) << c.argument << " " << c.record;
    }
    // Other dialogs start at their argument, else the first entry.
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "T", 0, kDataFilter, nullptr, 3, nullptr, 1);
    EXPECT_EQ(Last().filterIndex, 1);
    scripted.Push(ScriptedFileDialog::Choose({"x.txt"}, "", 2));
    int32_t own = 3;
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "T", 0, kDataFilter, nullptr, 4, &own, 2);
    EXPECT_EQ(Last().filterIndex, 3);
    EXPECT_EQ(own, 2);
    EXPECT_EQ(TheOpenDialogState().filterIndex, 3u);  // only open dialogs of data files remember
}

TEST_F(FileDialogTest, DetailsShowsThePreferencesAndTheyGoAwayAfterwards) {
    ASSERT_FALSE(PreferencesDialogIsShown());
    bool shownInside = false;
    scripted.Push([&](FileDialogRequest& r) {
        r.SetBox(FileDialogControl::Details, true);
        shownInside = PreferencesDialogIsShown();
        return FileDialogAnswer{};
    });
    OpenData(nullptr, nullptr);
    EXPECT_TRUE(shownInside);
    EXPECT_FALSE(PreferencesDialogIsShown());
    EXPECT_EQ(TheOpenDialogState().detailsState & 2, 2u);

    // The next dialog shows them again at once with "Details" ticked; unticking hides them.
    bool shownAtStart = false, shownAfterUntick = true;
    scripted.Push([&](FileDialogRequest& r) {
        shownAtStart = PreferencesDialogIsShown();
        r.SetBox(FileDialogControl::Details, false);
        shownAfterUntick = PreferencesDialogIsShown();
        return FileDialogAnswer{};
    });
    OpenData(nullptr, nullptr);
    EXPECT_TRUE(shownAtStart);
    EXPECT_TRUE(Last().panelAtInit.detailsBox);
    EXPECT_FALSE(shownAfterUntick);
    EXPECT_EQ(TheOpenDialogState().detailsState & 2, 0u);
    scripted.Push(ScriptedFileDialog::Cancel());
    OpenData(nullptr, nullptr);
    EXPECT_FALSE(Last().panelAtInit.detailsBox);

    // Shown before the dialog: they stay.
    PreferencesDialogOpen(1, 1);
    ASSERT_TRUE(PreferencesDialogIsShown());
    scripted.Push([&](FileDialogRequest& r) {
        r.SetBox(FileDialogControl::Details, true);
        return FileDialogAnswer{};
    });
    OpenData(nullptr, nullptr);
    EXPECT_TRUE(PreferencesDialogIsShown());
    PreferencesDialogOpen(3, 1);
}

TEST_F(FileDialogTest, MergeOfShapeFiles) {
    FileDialogOptions options;
    options.passThrough = 1;
    scripted.Push(ScriptedFileDialog::Choose({"s.msk"}));
    EXPECT_EQ(RunFileDialog(Main(), &options, buffer, sizeof buffer, "/m", "Open shapes", 0x1804, nullptr, "msk",
                            kFileDialogShapes, nullptr, 1),
              -1);
    EXPECT_TRUE(Last().panelAtInit.mergeBox);
    EXPECT_EQ(options.passThrough, 1);
    EXPECT_EQ(options.filterIndex, 1);
    // Remembered: without a wish the next dialog starts ticked; unticked it comes back 0.
    options.passThrough = -1;
    scripted.Push([](FileDialogRequest& r) {
        r.SetBox(FileDialogControl::Merge, false);
        return ScriptedFileDialog::Choose({"s.msk"})(r);
    });
    RunFileDialog(Main(), &options, buffer, sizeof buffer, "/m", "Open shapes", 0x1804, nullptr, "msk",
                  kFileDialogShapes, nullptr, 1);
    EXPECT_TRUE(Last().panelAtInit.mergeBox);
    EXPECT_EQ(options.passThrough, 0);
    // Optional for shapes: no record, no harm.
    scripted.Push(ScriptedFileDialog::Choose({"s.msk"}));
    EXPECT_EQ(RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/m", "Open shapes", 0x1804, nullptr, "msk",
                            kFileDialogShapes, nullptr, 1),
              -1);
    EXPECT_FALSE(Last().panelAtInit.mergeBox);
}

TEST_F(FileDialogTest, OnlyTheFirstOpenDialogOfARunHasTheTallerList) {
    // Switched off: no enlargement, and none is used up.
    TheApp().Settings().increaseSizeDlg = 0;
    scripted.Push(ScriptedFileDialog::Cancel());
    OpenData(nullptr, nullptr);
    EXPECT_FALSE(Last().enlargeList);
    TheApp().Settings().increaseSizeDlg = 1;
    // Save dialogs and dialogs without a panel never have it.
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "T", 0xC02, kDataFilter, nullptr, 0, nullptr, 2);
    EXPECT_FALSE(Last().enlargeList);
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "T", 0, nullptr, nullptr, 3, nullptr, 1);
    EXPECT_FALSE(Last().enlargeList);
    // The first open dialog with a panel (shapes count too), then never again.
    scripted.Push(ScriptedFileDialog::Cancel());
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/", "T", 0, nullptr, nullptr, 1, nullptr, 1);
    EXPECT_TRUE(Last().enlargeList);
    scripted.Push(ScriptedFileDialog::Cancel());
    OpenData(nullptr, nullptr);
    EXPECT_FALSE(Last().enlargeList);
    // A new run starts over.
    ResetFileDialogRunState();
    scripted.Push(ScriptedFileDialog::Cancel());
    OpenData(nullptr, nullptr);
    EXPECT_TRUE(Last().enlargeList);
}

// A source of the current item, and what the Output was asked.
class Source : public ComponentBase {
public:
    Source() : ComponentBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kInputId; }
};
std::vector<const FormatDesc*> gSelected;
int gFollowAsked = 0;

TEST_F(FileDialogTest, TheSaveDialogsOutputFormatFollowsTheChosenType) {
    FormatRegistry formats;
    LoadIOModules(formats, "");
    ASSERT_GE(formats.output.entries.size(), 2u);
    TheFormatRegistry().currentOutput = &formats.output;
    formats.output.current = 1;
    auto* project = new Project;
    ProjectItem* item = ProjectCreateItem(project, "/data/a.fits");
    ASSERT_TRUE(CUIAddProject(&cui(), project));
    project->currentItem = item;
    ASSERT_EQ(cui().currentProject, project);
    Source source;
    Source output;
    item->output = &output;
    ShellHooks& hooks = TheShellHooks();
    gSelected.clear();
    gFollowAsked = 0;
    hooks.outputFollowsDialog = [](ComponentBase*) {
        ++gFollowAsked;
        return true;
    };
    hooks.outputSelectFormat = [](ComponentBase*, const FormatDesc* f) {
        gSelected.push_back(f);
        return true;
    };
    const std::string& filter = formats.output.filter;

    // No source yet: the list follows, the Output is not asked.
    scripted.Push(ScriptedFileDialog::Choose({"out.fits"}, "", 2));
    int32_t index = 1;
    EXPECT_EQ(RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/data", "Save", 0xC02, filter.c_str(), nullptr,
                            kFileDialogData, &index, 2),
              -1);
    EXPECT_EQ(formats.output.current, 2);
    EXPECT_EQ(gFollowAsked, 0);
    // With a source the Output takes the chosen format; a changed folder repaints the
    // current output (nothing to see without one, and nothing breaks).
    item->currentSource = &source;
    formats.output.current = 1;
    index = 1;
    scripted.Push(ScriptedFileDialog::Choose({"out.fits"}, "/data/other", 2));
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/data", "Save", 0xC02, filter.c_str(), nullptr,
                  kFileDialogData, &index, 2);
    EXPECT_EQ(gFollowAsked, 1);
    int32_t second = 2;
    ASSERT_EQ(gSelected.size(), 1u);
    EXPECT_EQ(gSelected[0], OutputFormatByIndex(formats.output, &second));
    // Other save dialogs leave the formats alone.
    scripted.Push(ScriptedFileDialog::Choose({"p.pal"}, "", 2));
    formats.output.current = 1;
    index = 1;
    RunFileDialog(Main(), nullptr, buffer, sizeof buffer, "/data", "Save", 0xC02, kDataFilter, nullptr,
                  kFileDialogPalette, &index, 2);
    EXPECT_EQ(formats.output.current, 1);

    item->currentSource = nullptr;
    item->output = nullptr;
    TheFormatRegistry().currentOutput = nullptr;
    ReleaseFormats(formats);
}

// The extension a name without one gets follows the chosen type: the default one when the
// type lists it or takes any name, else the type's first.
TEST(FileDialogExtension, TheChosenTypeNamesTheFile) {
    FileDialogRequest r;
    r.defaultExtension = "fits";
    r.filters = {{"FITS", "*.fts;*.fit;*.fits;*.mt"}, {"Binary", "*.dat;*.data;*.bin"}, {"[*.*]  Binary", "*.*"},
                 {"Odd", "fits"}, {"Text", "*.txt"}};
    const char* want[] = {"fits", "dat", "fits", "fits", "txt"};
    for (int32_t i = 1; i <= 5; ++i) {
        r.filterIndex = i;
        EXPECT_EQ(ChosenTypeExtension(r), want[i - 1]) << i;
    }
    r.filterIndex = 9;  // outside the list
    EXPECT_EQ(ChosenTypeExtension(r), "fits");
    r.filterIndex = 2;
    r.defaultExtension = "";
    EXPECT_EQ(ChosenTypeExtension(r), "dat");
}

}  // namespace
}  // namespace orva
