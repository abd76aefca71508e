// The message dialog, the message box and the exit path, answered by the scripted
// responder on the recording backend: button sets and their codes, the check box, "Help",
// the close box, nesting, sizes, the exit question and the close-data question, questions
// from a second thread and from the readers and the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/message_dialog.h"
#include "app/field_readers.h"
#include "common/clib.h"
#include "common/error_codes.h"
#include "common/path_name.h"
#include "io/format_registry.h"
#include "io/input_source.h"
#include "io/output_writer.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/window_api.h"
#include "shell_fixture.h"
#include "test_support.h"
#include "toolkit/font.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

using testing_util::ServeQueue;

// A dialog as a responder sees it.
struct Seen {
    std::string title;
    std::vector<std::string> lines;
    std::vector<std::string> buttons;  // top to bottom
    bool checkBox = false;
    int32_t width = 0, height = 0;
};

std::vector<std::string> TextsOfKind(gWindow* d, int32_t kind) {
    std::vector<gElement*> found;
    for (gElement* e = d->widgets.head; e != nullptr; e = e->next)
        if (e->kind == kind) found.push_back(e);
    std::stable_sort(found.begin(), found.end(), [](gElement* a, gElement* b) { return a->y < b->y; });
    std::vector<std::string> texts;
    for (gElement* e : found) texts.push_back(e->text);
    return texts;
}

Seen Read(gWindow* d) {
    Seen s;
    s.title = d->title;
    s.lines = TextsOfKind(d, 3);
    s.buttons = TextsOfKind(d, 37);
    s.checkBox = FindDialogWidget(d, kDontShowAgain) != nullptr;
    s.width = d->clientWidth;
    s.height = d->clientHeight;
    return s;
}

class QuestionsTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        saved_ = TheApp().Settings();
        Start();
    }
    void TearDown() override {
        EXPECT_EQ(PendingModalResponders(), 0);
        ClearModalResponders();
        SetModalOpen(false);
        TheApp().Settings() = saved_;
        Stop();
    }
    // Asks with a responder that reads the dialog and then does `act`.
    uint32_t Ask(uint32_t style, uint32_t mask, Seen* seen, const std::function<void(gWindow*)>& act,
                 const char* const* lines = kLines) {
        QueueModalResponder([seen, act](gWindow* d) {
            if (seen != nullptr) *seen = Read(d);
            act(d);
        });
        return ShowMessageDialog(nullptr, "Question", lines, style, mask);
    }
    static constexpr const char* kLines[] = {"Line one", "Line two", nullptr};
    MainSettings saved_;
};

const std::map<std::string, uint32_t> kCodes = {{"Ok", 1},  {"Cancel", 2},    {"Abort", 3},     {"Retry", 4},
                                                {"Ignore", 5}, {"Yes", 6},    {"No", 7},        {"Close", 8},
                                                {"Try Again", 10}, {"Continue", 11}, {"Skip", 12}};

TEST_F(QuestionsTest, ButtonSetsShowInTheirOrderAndAnswerTheirCodes) {
    const struct {
        uint32_t style, mask;
        std::vector<std::string> buttons;
        bool checkBox;
        int32_t height;  // column + 10 (+ 27 with the check box), at least 58
    } cases[] = {
        {1, 0, {"Ok", "Cancel"}, false, 58},
        {2, 0, {"Retry", "Ignore", "Abort"}, false, 79},
        {3, 0, {"Cancel", "Yes", "No"}, false, 79},
        {4, 0, {"Yes", "No"}, false, 58},
        {5, 0, {"Retry", "Cancel"}, false, 58},
        {6, 0, {"Try Again", "Continue", "Cancel"}, false, 79},
        {0x10000, 0, {"Skip", "Yes", "No"}, false, 79},
        {0x20000, 0, {"Cancel", "Close"}, false, 58},
        {0, 0, {"Ok"}, false, 58},
        {7, 0, {"Ok"}, false, 58},  // any other style without a mask
        {0, 0x1212, {"Try Again", "Ignore", "Cancel"}, true, 106},  // the writer's clipping question
        {0x4004, 0, {"Yes", "No", "Help"}, false, 79},
        {0x8001, 0, {"Ok", "Cancel"}, true, 83},
        {0, 0xFFF,
         {"Ok", "Try Again", "Retry", "Ignore", "Continue", "Skip", "Cancel", "Abort", "Yes", "No", "Close", "Help"},
         false, 286},
    };
    for (const auto& c : cases) {
        for (const std::string& label : c.buttons) {
            if (label == "Help") continue;
            Seen seen;
            uint32_t result = Ask(c.style, c.mask, &seen, AnswerPress(label.c_str()));
            EXPECT_EQ(result, kCodes.at(label)) << std::hex << c.style << " " << label;
            EXPECT_EQ(seen.buttons, c.buttons) << std::hex << c.style;
            EXPECT_EQ(seen.checkBox, c.checkBox) << std::hex << c.style;
            EXPECT_EQ(seen.height, c.height) << std::hex << c.style;
            EXPECT_EQ(seen.width, 214) << std::hex << c.style;
            EXPECT_EQ(seen.title, "Question");
            EXPECT_EQ(seen.lines, (std::vector<std::string>{"Line one", "Line two"}));
            EXPECT_EQ(MessageDialogWindow(), nullptr);
        }
    }
}

TEST_F(QuestionsTest, CheckBoxHelpCloseAndASecondDialog) {
    // The check box adds 0x10000 while ticked.
    EXPECT_EQ(Ask(0x8004, 0, nullptr, AnswerTickAndPress("No")), kMsgTicked | kMsgNo);
    EXPECT_EQ(Ask(0x8004, 0, nullptr,
                  [](gWindow* d) {
                      TickDialogCheckBox(d);
                      TickDialogCheckBox(d);
                      PressDialogButton(d, "Yes");
                  }),
              kMsgYes);
    // Closing the window answers 0, with or without a tick.
    EXPECT_EQ(Ask(1, 0, nullptr, AnswerClose()), 0u);
    EXPECT_EQ(Ask(0x8001, 0, nullptr,
                  [](gWindow* d) {
                      TickDialogCheckBox(d);
                      CloseDialogWindow(d);
                  }),
              kMsgTicked);

    // "Help" does not close; without a help file the status line names it and nothing starts.
    testing_util::TempFolder bin;
    std::string record = bin.File("opened");
    testing_util::WriteText(bin.File("xdg-open"), "#!/bin/sh\ntouch " + record + "\n");
    chmod(bin.File("xdg-open").c_str(), 0755);
    testing_util::ScopedEnv pathEnv("PATH", bin.Path() + ":" + std::getenv("PATH"));
    bool stayed = false;
    std::string expectedPath = TheApp().ProgramFolder();
    if (!expectedPath.empty() && expectedPath.back() != '/') expectedPath += '/';
    expectedPath += "orva.chm";
    EXPECT_EQ(Ask(0x4001, 0, nullptr,
                  [&](gWindow* d) {
                      EXPECT_TRUE(PressDialogButton(d, "Help"));
                      stayed = gWinValidate(d) != nullptr && MessageDialogWindow() == d;
                      PressDialogButton(d, "Cancel");
                  }),
              kMsgCancel);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(cui().groups[0].statusWidget->text, "Can`t open " + expectedPath + "...");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(testing_util::Exists(record));

    // A second dialog while one is open answers 0 and leaves the first where it is.
    uint32_t inner = 99;
    gWindow* first = nullptr;
    EXPECT_EQ(Ask(1, 0, nullptr,
                  [&](gWindow* d) {
                      first = d;
                      inner = ShowMessageDialog(nullptr, "Second", kLines, 4, 0);
                      EXPECT_EQ(MessageDialogWindow(), d);
                      PressDialogButton(d, "Ok");
                  }),
              kMsgOk);
    EXPECT_EQ(inner, 0u);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(gWinValidate(first), nullptr);  // gone with its answer
}

// On the test's X display, where texts have their real widths.
class QuestionsOnDisplayTest : public QuestionsTest {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
        saved_ = TheApp().Settings();
        Start(false);
    }
};

TEST_F(QuestionsOnDisplayTest, TheWidthFollowsTheWidestLineUpTo500) {
    gFont* font = GetUIFont(Main());
    ASSERT_NE(font, nullptr);
    const std::string medium = "A line that is clearly wider than sixty-five pixels";
    const std::string wide(200, 'W');
    float mediumWidth = gFontTextWidth(font, medium.c_str());
    ASSERT_GT(mediumWidth, 65.0f);
    ASSERT_LT(mediumWidth, 500.0f);
    ASSERT_GT(gFontTextWidth(font, wide.c_str()), 500.0f);
    const char* mediumLines[] = {"short", medium.c_str(), nullptr};
    const char* wideLines[] = {wide.c_str(), nullptr};
    Seen seen;
    Ask(1, 0, &seen, AnswerPress("Ok"), mediumLines);
    EXPECT_EQ(seen.width, static_cast<int32_t>(std::ceil(mediumWidth)) + 149);
    Ask(1, 0, &seen, AnswerPress("Ok"), wideLines);
    EXPECT_EQ(seen.width, 649);
    // Many lines make the window taller than the button column asks.
    const char* many[] = {"1", "2", "3", "4", "5", "6", nullptr};
    Ask(1, 0, &seen, AnswerPress("Ok"), many);
    EXPECT_GT(seen.height, 58);
    EXPECT_EQ(seen.lines.size(), 6u);
}

TEST_F(QuestionsTest, TheExitPath) {
    MainSettings& settings = TheApp().Settings();
    settings.warningOnExit = settings.exitDialog = 1;
    gWindow* main = Main();

    // Nothing at all while the modal-open flag is set (no dialog: no responder needed).
    SetModalOpen(true);
    ExitPath();
    EXPECT_FALSE(MainWindowCloseRequest(main, nullptr));
    SetModalOpen(false);
    EXPECT_EQ(gWinValidate(main), main);

    // The question; ticked + "Cancel" keeps the program and switches the question off.
    Seen seen;
    QueueModalResponder([&](gWindow* d) {
        seen = Read(d);
        TickDialogCheckBox(d);
        PressDialogButton(d, "Cancel");
    });
    ExitPath();
    EXPECT_EQ(seen.title, "Close all windows?..");
    EXPECT_EQ(seen.lines, std::vector<std::string>{"E X I T   ORVA ?"});
    EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Ok", "Cancel"}));
    EXPECT_TRUE(seen.checkBox);
    EXPECT_EQ(gWinValidate(main), main);
    EXPECT_EQ(settings.warningOnExit, 0);
    EXPECT_EQ(settings.exitDialog, 0);

    // A second press while the question is open closes it; the program goes on.
    settings.warningOnExit = settings.exitDialog = 1;
    bool closed = false;
    QueueModalResponder([&](gWindow* d) {
        ExitPath();
        closed = gWinValidate(d) == nullptr || (d->state & kStateClosed) != 0;
    });
    ExitPath();
    EXPECT_TRUE(closed);
    EXPECT_EQ(MessageDialogWindow(), nullptr);
    EXPECT_EQ(gWinValidate(main), main);
    EXPECT_EQ(settings.exitDialog, 1);

    // The close request asks too and refuses the close itself; a closed question keeps
    // the program.
    QueueModalResponder(AnswerPress("Cancel"));
    EXPECT_FALSE(MainWindowCloseRequest(main, nullptr));
    QueueModalResponder(AnswerClose());
    ExitPath();
    EXPECT_EQ(gWinValidate(main), main);
    EXPECT_TRUE(MainWindowCloseRequest(nullptr, nullptr));

    // "Ok" ends the program: the main window goes and the loop is told to end.
    TheApp().SetUiUp(true);
    QueueModalResponder(AnswerPress("Ok"));
    ExitPath();
    ServeQueue();
    EXPECT_EQ(cui().mainWindow, nullptr);
    EXPECT_FALSE(TheApp().UiUp());
}

TEST_F(QuestionsTest, OnlyExitAndTheCloseBoxAreTheMainWindowsExitControls) {
    gWindow* main = Main();
    struct Case {
        const char* text;
        bool exitControl;
    };
    for (Case c : {Case{"Exit", true}, {"x", true}, {"_", false}, {"\x81", false}, {"LOG", false}}) {
        gElement* e = FindDialogWidget(main, c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(IsMainExitControl(main, e), c.exitControl) << c.text;
        EXPECT_FALSE(IsMainExitControl(Tools(), e)) << c.text;
    }
    EXPECT_FALSE(IsMainExitControl(main, nullptr));
}

TEST_F(QuestionsTest, WithoutTheQuestionExitEndsAtOnce) {
    MainSettings& settings = TheApp().Settings();
    settings.warningOnExit = settings.exitDialog = 0;
    EXPECT_TRUE(MainWindowCloseRequest(Main(), nullptr));
    ExitPath();  // a dialog here would wait for a responder that never comes
    ServeQueue();
    EXPECT_EQ(cui().mainWindow, nullptr);
}

TEST_F(QuestionsTest, TheCloseDataQuestion) {
    MainSettings& settings = TheApp().Settings();
    settings.confirmClosing = 1;
    Seen seen;
    QueueModalResponder([&](gWindow* d) {
        seen = Read(d);
        PressDialogButton(d, "No");
    });
    EXPECT_FALSE(ConfirmCloseDataQuestion());
    EXPECT_EQ(seen.title, "Close Data?..ORVA (Test only, v.2.1.0) ");
    EXPECT_EQ(seen.lines, std::vector<std::string>{"CLOSE DATA?"});
    EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_TRUE(seen.checkBox);
    QueueModalResponder(AnswerClose());
    EXPECT_FALSE(ConfirmCloseDataQuestion());
    QueueModalResponder(AnswerPress("Yes"));
    EXPECT_TRUE(ConfirmCloseDataQuestion());
    EXPECT_EQ(settings.confirmClosing, 1);
    QueueModalResponder(AnswerTickAndPress("No"));
    EXPECT_FALSE(ConfirmCloseDataQuestion());
    EXPECT_EQ(settings.confirmClosing, 0);
    // The shell's close commands ask through it.
    QueueModalResponder(AnswerPress("Yes"));
    EXPECT_TRUE(ConfirmCloseData());
    // Before the user interface is up: yes at once.
    gSetUiReady(false);
    EXPECT_TRUE(ConfirmCloseDataQuestion());
    gSetUiReady(true);
}

TEST_F(QuestionsTest, MessageBoxes) {
    // The close box: ignored by a box without Cancel or a lone Ok.
    int refusedClose = -1;
    QueueModalResponder([&](gWindow* d) {
        platform::SendMessage(d->hwnd, platform::kWmClose, 0, 0);
        refusedClose = gWinValidate(d) != nullptr && (d->state & kStateClosed) == 0;
        PressDialogButton(d, "No");
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "Question?", "Caption", 4), 7);
    EXPECT_EQ(refusedClose, 1);
    QueueModalResponder(AnswerClose());
    EXPECT_EQ(ShowMessageBox(nullptr, "Question?", "Caption", 1), 2);
    QueueModalResponder(AnswerClose());
    EXPECT_EQ(ShowMessageBox(nullptr, "Notice", "Caption", 0), 1);
    QueueModalResponder(AnswerClose());
    EXPECT_EQ(ShowMessageBox(nullptr, "Question?", "Caption", 3 | 0x20 | 0x100), 2);

    // Buttons of the types, lines split at line feeds, the modal-open flag while it is open.
    Seen seen;
    bool modal = false;
    QueueModalResponder([&](gWindow* d) {
        seen = Read(d);
        modal = ModalOpen();
        PressDialogButton(d, "Abort");
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "First\r\nSecond", "Box", 2), 3);
    EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Retry", "Ignore", "Abort"}));
    // The caption heads the lines: our windows show no title bar.
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"Box", "First", "Second"}));
    EXPECT_EQ(seen.title, "Box");
    EXPECT_TRUE(modal);
    EXPECT_FALSE(ModalOpen());
    // A flag that was set stays set.
    SetModalOpen(true);
    QueueModalResponder(AnswerPress("Ok"));
    EXPECT_EQ(ShowMessageBox(nullptr, "x", "y", 0), 1);
    EXPECT_TRUE(ModalOpen());
    SetModalOpen(false);

    // A box nests inside a message dialog; the dialog's buttons still close it after.
    int boxAnswer = 0;
    QueueModalResponder([&](gWindow* d) {
        QueueModalResponder(AnswerPress("Yes"));
        boxAnswer = ShowMessageBox(nullptr, "Inner?", "Inner", 4);
        PressDialogButton(d, "Ok");
    });
    EXPECT_EQ(ShowMessageDialog(nullptr, "Outer", nullptr, 1, 0), kMsgOk);
    EXPECT_EQ(boxAnswer, 6);

    // Before the user interface and without one, the platform's box answers.
    platform::SetMessageBoxAnswer(6);
    gSetUiReady(false);
    EXPECT_EQ(ShowMessageBox(nullptr, "Early?", "Start", 4), 6);
    gSetUiReady(true);
    TheApp().Settings().windowless = 1;
    EXPECT_EQ(ShowMessageBox(nullptr, "Windowless?", "Run", 4), 6);
    TheApp().Settings().windowless = 0;
    platform::SetMessageBoxAnswer(0);
}

TEST_F(QuestionsTest, ABoxAskedFromASecondThreadAppearsOnTheUserInterfaceThread) {
    // Inside an open message dialog a worker asks; the box runs on this thread with the
    // responder's answer, which goes back to the worker. The worker then closes the dialog.
    const uint64_t uiThread = platform::CurrentThreadId();
    std::atomic<uint64_t> boxThread{0};
    std::atomic<int> answer{0};
    std::thread worker;
    QueueModalResponder([&](gWindow* dialog) {
        QueueModalResponder([&](gWindow* box) {
            boxThread = platform::CurrentThreadId();
            EXPECT_EQ(Read(box).lines, (std::vector<std::string>{"Worker", "From the worker"}));
            PressDialogButton(box, "No");
        });
        platform::Hwnd hwnd = dialog->hwnd;
        worker = std::thread([&answer, hwnd] {
            answer = ShowMessageBox(nullptr, "From the worker", "Worker", 4);
            platform::PostMessage(hwnd, platform::kWmClose, 0, 0);
        });
    });
    EXPECT_EQ(ShowMessageDialog(nullptr, "Open", nullptr, 1, 0), 0u);
    worker.join();
    EXPECT_EQ(answer.load(), 7);
    EXPECT_EQ(boxThread.load(), uiThread);

    // Without the window to ask over, the worker gets the platform's answer.
    SetQuestionWindow(nullptr);
    platform::SetMessageBoxAnswer(1);
    std::thread([&] { answer = ShowMessageBox(nullptr, "Alone", "Worker", 1); }).join();
    EXPECT_EQ(answer.load(), 1);
    platform::SetMessageBoxAnswer(0);
}

TEST_F(QuestionsTest, TheReadersAndTheWriterAskWithTheToolkitBox) {
    // The writer's clipping question and its size warning.
    const OutputWriterHooks& writer = TheOutputWriterHooks();
    ASSERT_NE(writer.messageDialog, nullptr);
    Seen seen;
    QueueModalResponder([&](gWindow* d) {
        seen = Read(d);
        TickDialogCheckBox(d);
        PressDialogButton(d, "Ignore");
    });
    EXPECT_EQ(writer.messageDialog("Clipping Detect...", "Error: (delta) min 1, max 2", kClipDialogStyle),
              kClipAnswerDontAskAgain | kClipAnswerIgnore);
    EXPECT_EQ(seen.title, "Clipping Detect...");
    EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Try Again", "Ignore", "Cancel"}));
    QueueModalResponder(AnswerPress("Cancel"));
    EXPECT_EQ(writer.messageBox("Too large", "Output: Warning (Large file size)...", 1), 2);

    // A reader's question through the library's hook: a file of no known kind.
    ClibSetMessageHook(&ShowMessageBox, &ShowMessageBox);
    testing_util::TempFolder folder;
    std::string file = folder.File("mystery.qqq");
    std::string bytes;
    for (int i = 0; i < 4096; ++i) bytes += static_cast<char>((i * 7919 + 13) & 0xFF);
    testing_util::WriteText(file, bytes);
    QueueModalResponder([&](gWindow* d) {
        seen = Read(d);
        PressDialogButton(d, "No");
    });
    PathName name;
    ASSERT_EQ(name.Set(file.c_str()), 2);
    FormatRegistry registry;
    LoadIOModules(registry, "");
    {
        OpenRequest request;
        request.registry = &registry;
        InputSource source;
        EXPECT_EQ(OpenInputFile(&source, &request, &name), kErrUserAbort);
    }
    ReleaseFormats(registry);
    ClibSetMessageHook(nullptr, nullptr);
    EXPECT_EQ(seen.title, "Cannot detect the type of file... Open as binary?");
    // The question is the caption: the user reads it above the file's name.
    EXPECT_EQ(seen.lines, (std::vector<std::string>{"Cannot detect the type of file... Open as binary?", file}));
    EXPECT_EQ(seen.buttons, (std::vector<std::string>{"Yes", "No"}));
}

// Without the toolkit the dialog cannot be made: the exit question is still asked, and the
// program ends only on "Ok".
TEST(ExitQuestionWithoutDialog, AsksThroughTheBoxAndEndsOnlyOnOk) {
    MainSettings saved = TheApp().Settings();
    ASSERT_FALSE(gUiReady());
    TheApp().SetUiUp(true);
    platform::SetMessageBoxAnswer(2);
    std::string log = testing_util::CapturedLog([] { ConfirmExit(); });
    EXPECT_NE(log.find("Close all windows?..: E X I T   ORVA ?"), std::string::npos) << log;
    EXPECT_TRUE(TheApp().UiUp());
    platform::SetMessageBoxAnswer(1);
    ConfirmExit();
    EXPECT_FALSE(TheApp().UiUp());
    platform::SetMessageBoxAnswer(0);
    TheApp().Settings() = saved;
}

}  // namespace
}  // namespace orva
