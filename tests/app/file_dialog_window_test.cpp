// The file dialog drawn with the toolkit, on the test's X display: a temporary folder with
// a.fits, b.FITS, c.txt, a hidden file and a subfolder, clicked and typed through the X
// server (XTest): the file types and what they list, Ctrl-clicks on two files, a save over
// an existing file with the overwrite question, folders entered and left, names typed with
// and without their extension, the open options, the list enlargement of the first open
// dialog, and what the screen shows. Also the folder listing and the name-field parsing on
// their own. With ORVA_SCREENSHOTS set to a folder, the dialog's screenshots go there.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <functional>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/file_dialog.h"
#include "app/file_dialog_window.h"
#include "app/message_dialog.h"
#include "app/preferences.h"
#include "framework/app_object.h"
#include "shell_fixture.h"
#include "test_support.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/input.h"
#include "toolkit/list_control.h"
#include "toolkit/shortcuts.h"

#include <X11/keysym.h>

namespace orva {
namespace {

using namespace testing_util;

// ---- The helpers on their own ----------------------------------------------------------------

TEST(FileDialogHelpers, PatternsAndNames) {
    EXPECT_EQ(SplitPatterns("*.fits; *.fit ;;*.FTS"), (std::vector<std::string>{"*.fits", "*.fit", "*.FTS"}));
    EXPECT_TRUE(SplitPatterns("").empty());
    const struct {
        const char* name;
        const char* patterns;
        bool match;
    } cases[] = {
        {"a.fits", "*.fits", true},     {"b.FITS", "*.fits", true},    {"c.Fit", "*.fits;*.fit", true},
        {"a.fits.gz", "*.fits", false}, {"README", "*.*", true},       {"README", "*.txt", false},
        {"x.txt", "*", true},           {"data_01.raw", "data_??.raw", true}, {"data_1.raw", "data_??.raw", false},
        {"fits", "*.fits", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameMatchesPatterns(c.name, SplitPatterns(c.patterns)), c.match) << c.name << " " << c.patterns;

    EXPECT_EQ(SplitNameField("\"a.fits\" \"b c.fits\""), (std::vector<std::string>{"a.fits", "b c.fits"}));
    EXPECT_EQ(SplitNameField("plain name  "), std::vector<std::string>{"plain name  "});
    EXPECT_EQ(SplitNameField("\"unclosed"), std::vector<std::string>{"\"unclosed"});
    EXPECT_TRUE(SplitNameField("   ").empty());
    EXPECT_EQ(ParentFolder("/a/b/c"), "/a/b");
    EXPECT_EQ(ParentFolder("/a/b/"), "/a");
    EXPECT_EQ(ParentFolder("/a"), "/");
    EXPECT_EQ(ParentFolder("/"), "/");
}

TEST(FileDialogHelpers, ListingAFolder) {
    TempFolder folder;
    for (const char* name : {"b.FITS", "a.fits", "C.txt", ".hidden.fits", "d.fits.bak"}) WriteText(folder.File(name), "x");
    std::filesystem::create_directory(folder.File("zeta"));
    std::filesystem::create_directory(folder.File("Alpha"));
    std::filesystem::create_directory(folder.File(".git"));
    std::filesystem::create_symlink(folder.File("zeta"), folder.File("link"));
    std::vector<FolderEntry> entries;
    ASSERT_EQ(ListFolder(folder.Path(), {"*.fits"}, &entries), 0);
    std::vector<std::string> names;
    for (const FolderEntry& e : entries) names.push_back(e.name + (e.folder ? "/" : ""));
    // Folders first (a link to a folder is one), each part by name without regard to case.
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha/", "link/", "zeta/", "a.fits", "b.FITS"}));
    EXPECT_EQ(entries[3].size, 1u);
    EXPECT_EQ(ListFolder(folder.File("missing"), {"*"}, &entries), ENOENT);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(NearestReadableFolder(folder.File("missing/deeper")), folder.Path());
}

// ---- The dialog ------------------------------------------------------------------------------------

constexpr char kWindowDataFilter[] = "Fits [*.fits]\0*.fits\0Text\0*.txt\0All\0*.*\0";

class FileDialogWindowTest : public ShellTest {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        saved_ = TheApp().Settings();
        ResetFileDialogRunState();
        Start(false);
        for (const char* name : {"a.fits", "b.FITS", "c.txt", ".hidden.fits"}) WriteText(folder.File(name), "data");
        std::filesystem::create_directory(folder.File("sub"));
        WriteText(folder.File("sub/inner.fits"), "data");
    }
    void TearDown() override {
        EXPECT_EQ(PendingModalResponders(), 0);
        ClearModalResponders();
        SetModalOpen(false);
        ResetFileDialogRunState();
        TheApp().Settings() = saved_;
        Stop();
    }
    int32_t OpenData(FileDialogOptions* options, int32_t* index, std::vector<std::string>* chosen = nullptr) {
        return RunFileDialog(Main(), options, buffer, sizeof buffer, folder.Path().c_str(), "Open data file(s)",
                             0x1E01, kWindowDataFilter, nullptr, kFileDialogData, index, kFileDialogOpen, chosen);
    }
    static const FileDialogParts& Parts(gWindow* d) { return *FileDialogPartsOf(d); }
    // A click at a point of the dialog; a pause first keeps two clicks from making a double click.
    static void ClickAt(gWindow* d, int x, int y, bool pause = true) {
        if (pause) PumpFor(450);
        FakeMotionIn(d, x, y);
        FakeButton(true);
        FakeButton(false);
        PumpFor(60);
    }
    static void Click(gWindow* d, const gElement* e) {
        ClickAt(d, static_cast<int>(e->x + e->cellWidth / 2), static_cast<int>(e->y + e->cellHeight / 2));
    }
    static void ClickRow(gWindow* d, const std::string& label, bool pause = true) {
        std::vector<std::string> rows = FileDialogRows(d);
        auto it = std::find(rows.begin(), rows.end(), label);
        ASSERT_NE(it, rows.end()) << label;
        int x = 0, y = 0;
        ASSERT_TRUE(FileDialogRowPoint(d, static_cast<int32_t>(it - rows.begin()), &x, &y));
        ClickAt(d, x, y, pause);
    }
    // Types through the X server's keys (a US layout): Shift for capitals, '*' and '_'.
    static void Type(const std::string& text) {
        for (char c : text) {
            bool shift = std::isupper(static_cast<unsigned char>(c)) || c == '*' || c == '_';
            KeySym sym = c == '.' ? XK_period
                         : c == '*' ? XK_8
                         : c == '_' ? XK_minus
                                    : static_cast<KeySym>(std::tolower(static_cast<unsigned char>(c)));
            if (shift) FakeKey(XK_Shift_L, true);
            FakeKey(sym, true);
            FakeKey(sym, false);
            if (shift) FakeKey(XK_Shift_L, false);
        }
        PumpFor(80);
    }
    // Clicks a field, selects its text and types over it.
    static void TypeInto(gWindow* d, const gElement* field, const std::string& text) {
        Click(d, field);
        FakeKey(XK_Control_L, true);
        FakeKey(XK_a, true);
        FakeKey(XK_a, false);
        FakeKey(XK_Control_L, false);
        Type(text);
    }
    static void Key(KeySym sym) {
        FakeKey(sym, true);
        FakeKey(sym, false);
        PumpFor(80);
    }
    static bool Open(gWindow* d) { return FileDialogPartsOf(d) != nullptr; }
    // A responder for the file dialog that, whatever happens in it, leaves no dialog open.
    static void QueueDialog(std::function<void(gWindow*)> act) {
        QueueModalResponder([act](gWindow* d) {
            act(d);
            PumpUntil([d] { return !Open(d); }, 1000);
            if (Open(d)) {
                ADD_FAILURE() << "the dialog was still open";
                CloseDialogWindow(d);
            }
        });
    }
    // Waits for the dialog to stand on the screen.
    static void Settle(gWindow* d) {
        PumpUntil([&] { return platform::IsWindowVisible(d->hwnd); }, 1000);
        PumpFor(150);
        FocusWindow(d);
    }

    TempFolder folder;
    char buffer[4096] = {};
    MainSettings saved_;
};

TEST_F(FileDialogWindowTest, TheFileTypesListWhatMatchesWithoutRegardToCase) {
    std::vector<std::vector<std::string>> seen;
    std::vector<std::string> types;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        for (int i = 0; i < 3; ++i) {
            seen.push_back(FileDialogRows(d));
            types.push_back(Parts(d).typeText->text);
            Click(d, Parts(d).typeForward);
        }
        EXPECT_EQ(Parts(d).typeText->text, "Fits [*.fits]");  // round again
        Click(d, Parts(d).typeBack);
        EXPECT_EQ(Parts(d).typeText->text, "All  (*.*)");
        Click(d, Parts(d).cancelButton);
    });
    int32_t index = 1;
    EXPECT_EQ(OpenData(nullptr, &index), 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (std::vector<std::string>{"..", "sub/", "a.fits", "b.FITS"}));
    EXPECT_EQ(seen[1], (std::vector<std::string>{"..", "sub/", "c.txt"}));
    EXPECT_EQ(seen[2], (std::vector<std::string>{"..", "sub/", "a.fits", "b.FITS", "c.txt"}));
    EXPECT_EQ(types, (std::vector<std::string>{"Fits [*.fits]", "Text  (*.txt)", "All  (*.*)"}));
    EXPECT_EQ(index, 1);  // cancelled: unchanged
}

TEST_F(FileDialogWindowTest, CtrlClicksOnTwoFilesReturnBoth) {
    std::string nameField;
    Rgb selected{}, unselected{}, backdrop{};
    int okInk = 0;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        ClickRow(d, "a.fits");
        FakeKey(XK_Control_L, true);
        ClickRow(d, "b.FITS");
        FakeKey(XK_Control_L, false);
        PumpFor(200);
        nameField = Parts(d).nameField->text;
        Shot("file_dialog_two_files");
        // What the screen shows: the two rows marked, the others not, the dialog's own
        // background and a button face that differs from it.
        ScreenImage image = ReadScreen(XDisplay(), platform::X11WindowOf(d->hwnd));
        ASSERT_FALSE(image.pixels.empty());
        int x = 0, y = 0;
        ASSERT_TRUE(FileDialogRowPoint(d, 3, &x, &y));
        selected = image.At(x + 200, y);
        ASSERT_TRUE(FileDialogRowPoint(d, 1, &x, &y));
        unselected = image.At(x + 200, y);
        backdrop = image.At(d->clientWidth - 4, d->clientHeight - 6);
        const gElement* ok = Parts(d).okButton;
        for (int yy = static_cast<int>(ok->y) + 2; yy < static_cast<int>(ok->y + ok->cellHeight) - 2; ++yy)
            for (int xx = static_cast<int>(ok->x) + 2; xx < static_cast<int>(ok->x + ok->cellWidth) - 2; ++xx)
                okInk += image.At(xx, yy).r < 90 ? 1 : 0;
        Click(d, Parts(d).okButton);
    });
    std::vector<std::string> chosen;
    int32_t result = OpenData(nullptr, nullptr, &chosen);
    EXPECT_EQ(nameField, "\"a.fits\" \"b.FITS\"");
    EXPECT_EQ(result, static_cast<int32_t>(folder.Path().size() + 1));
    EXPECT_EQ(chosen, (std::vector<std::string>{folder.File("a.fits"), folder.File("b.FITS")}));
    EXPECT_FALSE(Near(selected, unselected, 10)) << selected << " " << unselected;
    EXPECT_TRUE(RgbNear(backdrop, Background(Main()), 12)) << "the dialog is not painted";
    EXPECT_GE(okInk, 8) << "no text on the Ok button";
}

TEST_F(FileDialogWindowTest, ShiftTakesARangeAndAPlainClickOneFile) {
    WriteText(folder.File("d.fits"), "data");
    std::vector<std::string> names;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        ClickRow(d, "a.fits");
        FakeKey(XK_Shift_L, true);
        ClickRow(d, "d.fits");
        FakeKey(XK_Shift_L, false);
        names.push_back(Parts(d).nameField->text);
        ClickRow(d, "b.FITS");
        names.push_back(Parts(d).nameField->text);
        // A folder is chosen alone, and leaves the name as it was.
        FakeKey(XK_Control_L, true);
        ClickRow(d, "sub/");
        FakeKey(XK_Control_L, false);
        names.push_back(Parts(d).nameField->text);
        // Down moves the choice to the next row.
        Key(XK_Down);
        names.push_back(Parts(d).nameField->text);
        Click(d, Parts(d).okButton);
    });
    std::vector<std::string> chosen;
    EXPECT_EQ(OpenData(nullptr, nullptr, &chosen), -1);
    EXPECT_EQ(names, (std::vector<std::string>{"\"a.fits\" \"b.FITS\" \"d.fits\"", "b.FITS", "b.FITS", "a.fits"}));
    EXPECT_EQ(chosen, std::vector<std::string>{folder.File("a.fits")});
}

TEST_F(FileDialogWindowTest, SavingOverAnExistingFileAsksFirst) {
    std::vector<std::string> question;
    bool openAfterNo = false;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        ClickRow(d, "c.txt");
        Click(d, Parts(d).okButton);
        PumpUntil([] { return PendingModalResponders() == 1 && MessageDialogWindow() == nullptr; }, 3000);
        openAfterNo = Open(d) && platform::IsWindowVisible(d->hwnd);
        Click(d, Parts(d).okButton);
    });
    QueueModalResponder([&](gWindow* q) {
        PumpFor(300);
        for (gElement* e = q->widgets.head; e != nullptr; e = e->next)
            if (e->kind == 3) question.push_back(e->text);
        Shot("file_dialog_overwrite_question");
        PressDialogButton(q, "No");
    });
    QueueModalResponder(AnswerPress("Yes"));
    int32_t index = 0;
    std::vector<std::string> chosen;
    int32_t result = RunFileDialog(Main(), nullptr, buffer, sizeof buffer, folder.Path().c_str(), "Save table", 0xC02,
                                   nullptr, nullptr, kFileDialogText, &index, kFileDialogSave, &chosen);
    EXPECT_TRUE(openAfterNo);
    EXPECT_EQ(question, (std::vector<std::string>{folder.File("c.txt") + " already exists.", "Do you want to replace it?"}));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(chosen, std::vector<std::string>{folder.File("c.txt")});
    EXPECT_EQ(index, 1);
    // Mode 3 saves without asking.
    QueueDialog([&](gWindow* d) {
        Settle(d);
        ClickRow(d, "c.txt");
        Click(d, Parts(d).okButton);
    });
    EXPECT_EQ(RunFileDialog(Main(), nullptr, buffer, sizeof buffer, folder.Path().c_str(), "Save table", 0xC02, nullptr,
                            nullptr, kFileDialogText, nullptr, kFileDialogSaveQuiet),
              -1);
    EXPECT_EQ(std::string(buffer), folder.File("c.txt"));
}

TEST_F(FileDialogWindowTest, TypedNamesFoldersAndTheStatusLine) {
    std::vector<std::string> folders, status;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        // A double click enters a folder, ".." and "Up" leave it.
        ClickRow(d, "sub/");
        ClickRow(d, "sub/", false);
        PumpFor(100);
        folders.push_back(FileDialogFolder(d));
        EXPECT_EQ(FileDialogRows(d), (std::vector<std::string>{"..", "inner.fits"}));
        Click(d, Parts(d).upButton);
        folders.push_back(FileDialogFolder(d));
        // A name that does not exist: the status line says so, the dialog stays.
        TypeInto(d, Parts(d).nameField, "missing");
        Key(XK_Return);
        status.push_back(Parts(d).status->text);
        EXPECT_TRUE(Open(d));
        // A folder typed as the name is entered.
        TypeInto(d, Parts(d).nameField, "sub");
        Key(XK_Return);
        folders.push_back(FileDialogFolder(d));
        status.push_back(Parts(d).status->text);
        // Typed without its extension, the default one is added.
        TypeInto(d, Parts(d).nameField, "inner");
        Key(XK_Return);
    });
    std::vector<std::string> chosen;
    EXPECT_EQ(OpenData(nullptr, nullptr, &chosen), -1);
    EXPECT_EQ(folders, (std::vector<std::string>{folder.File("sub"), folder.Path(), folder.File("sub")}));
    EXPECT_EQ(status, (std::vector<std::string>{"File not found: " + folder.File("missing.fits"), ""}));
    EXPECT_EQ(chosen, std::vector<std::string>{folder.File("sub/inner.fits")});
}

TEST_F(FileDialogWindowTest, APatternTypedAsTheNameListsWhatItMatches) {
    std::vector<std::string> rows;
    std::string type;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        Click(d, Parts(d).typeForward);  // "Text", the caller's second type
        TypeInto(d, Parts(d).nameField, "*.FITS");
        Key(XK_Return);
        rows = FileDialogRows(d);
        type = Parts(d).typeText->text;
        ClickRow(d, "b.FITS");
        Click(d, Parts(d).okButton);
    });
    int32_t index = 1;
    std::vector<std::string> chosen;
    EXPECT_EQ(OpenData(nullptr, &index, &chosen), -1);
    EXPECT_EQ(rows, (std::vector<std::string>{"..", "sub/", "a.fits", "b.FITS"}));
    EXPECT_EQ(type, "*.FITS");
    EXPECT_EQ(chosen, std::vector<std::string>{folder.File("b.FITS")});
    EXPECT_EQ(index, 2);  // one of the caller's own types
}

int gShortcutRuns = 0;
uint8_t CountShortcut(void*, uint32_t) {
    ++gShortcutRuns;
    return 1;
}

TEST_F(FileDialogWindowTest, TheShortcutsOfTheProgramWaitWhileTheDialogStands) {
    gShortcutRuns = 0;
    gAccel* entry = gAccelAdd(nullptr, KeyF(11), &CountShortcut, 0, 0);
    ASSERT_NE(entry, nullptr);
    QueueDialog([&](gWindow* d) {
        Settle(d);
        ClickRow(d, "a.fits");
        Key(XK_F11);
        Key(XK_Delete);
        EXPECT_TRUE(Open(d));
        Click(d, Parts(d).cancelButton);
    });
    EXPECT_EQ(OpenData(nullptr, nullptr), 0);
    EXPECT_EQ(gShortcutRuns, 0);
    // Without the dialog the key runs it.
    EXPECT_EQ(gAccelDispatchKey(nullptr, Main(), KeyF(11)), 1);
    EXPECT_EQ(gShortcutRuns, 1);
    gAccelRemove(entry);
}

TEST_F(FileDialogWindowTest, TheOpenOptionsPanel) {
    ASSERT_FALSE(PreferencesDialogIsShown());
    bool prefsShown = false;
    std::string openAs;
    QueueDialog([&](gWindow* d) {
        Settle(d);
        ASSERT_NE(Parts(d).openAsText, nullptr);
        EXPECT_EQ(Parts(d).openAsText->text, "Auto");
        EXPECT_FALSE(Parts(d).previewButton->enabled);
        Click(d, Parts(d).openAsForward);
        openAs = Parts(d).openAsText->text;
        Click(d, Parts(d).defaultBox);
        Click(d, Parts(d).detailsBox);
        prefsShown = PreferencesDialogIsShown();
        Shot("file_dialog_open_options");
        ClickRow(d, "a.fits");
        Click(d, Parts(d).okButton);
    });
    FileDialogOptions options;
    EXPECT_EQ(OpenData(&options, nullptr), -1);
    EXPECT_EQ(openAs, "Binary");
    EXPECT_TRUE(prefsShown);
    EXPECT_FALSE(PreferencesDialogIsShown());
    EXPECT_STREQ(options.typeTag, "BINARY");
    EXPECT_EQ(options.defaults[0], 1);
}

TEST_F(FileDialogWindowTest, OnlyTheFirstOpenDialogHasTheTallerList) {
    TheApp().Settings().increaseSizeDlg = 1;
    std::vector<float> lists;
    std::vector<int32_t> windows;
    auto measure = [&](gWindow* d) {
        Settle(d);
        lists.push_back(Parts(d).list->cellHeight);
        windows.push_back(d->clientHeight);
        if (lists.size() == 1) Shot("file_dialog_taller_list");
        Click(d, Parts(d).cancelButton);
    };
    for (int i = 0; i < 2; ++i) {
        QueueDialog(measure);
        EXPECT_EQ(OpenData(nullptr, nullptr), 0);
    }
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0] - lists[1], 100.0f);
    EXPECT_EQ(windows[0] - windows[1], 100);
}

}  // namespace
}  // namespace orva
