#pragma once
// Questions to the user. The message dialog is the program's own modal dialog drawn with
// the toolkit: a title, lines of text, a column of buttons and an optional "Don't show
// this again" check box; at most one is open at a time. The message box is built the
// same way, nests inside a message dialog and is what the library and the readers and
// writers ask through. On top of them sit the two confirmations of the program, the
// exit path and the close request of the main window. A program-wide modal-open flag is
// set while a file dialog or a message box is open. A scripted responder answers modal
// loops in tests.
//
// UI thread only, except ShowMessageBox, which any thread may call.
#include <cstdint>
#include <functional>

#include "toolkit/window.h"

namespace orva {

struct gWindow;
struct gElement;
struct AppServices;

// Buttons of the explicit mask (used with style 0), in the order the dialog shows them:
// Ok, Try Again, Retry, Ignore, Continue, Skip, Cancel, Abort, Yes, No, Close, Help.
constexpr uint32_t kMsgButtonOk = 0x1;
constexpr uint32_t kMsgButtonCancel = 0x2;
constexpr uint32_t kMsgButtonAbort = 0x4;
constexpr uint32_t kMsgButtonRetry = 0x8;
constexpr uint32_t kMsgButtonIgnore = 0x10;
constexpr uint32_t kMsgButtonYes = 0x20;
constexpr uint32_t kMsgButtonNo = 0x40;
constexpr uint32_t kMsgButtonClose = 0x80;
constexpr uint32_t kMsgButtonHelp = 0x100;
constexpr uint32_t kMsgButtonTryAgain = 0x200;
constexpr uint32_t kMsgButtonContinue = 0x400;
constexpr uint32_t kMsgButtonSkip = 0x800;
constexpr uint32_t kMsgCheckBox = 0x1000;
// Style flags: "Help" and the check box.
constexpr uint32_t kMsgStyleHelp = 0x4000;
constexpr uint32_t kMsgStyleCheckBox = 0x8000;
// Styles 0x10000 (Skip, Yes, No) and 0x20000 (Cancel, Close); 1..6 are the box types.
constexpr uint32_t kMsgStyleSkipYesNo = 0x10000;
constexpr uint32_t kMsgStyleCancelClose = 0x20000;

// Results: the button code in the low 16 bits.
constexpr uint32_t kMsgOk = 1;
constexpr uint32_t kMsgCancel = 2;
constexpr uint32_t kMsgAbort = 3;
constexpr uint32_t kMsgRetry = 4;
constexpr uint32_t kMsgIgnore = 5;
constexpr uint32_t kMsgYes = 6;
constexpr uint32_t kMsgNo = 7;
constexpr uint32_t kMsgClose = 8;
constexpr uint32_t kMsgTryAgain = 10;
constexpr uint32_t kMsgContinue = 11;
constexpr uint32_t kMsgSkip = 12;
// Added while "Don't show this again" is ticked.
constexpr uint32_t kMsgTicked = 0x10000;
// The dialog window could not be made.
constexpr uint32_t kMsgNoWindow = 0xFFFF;

inline constexpr char kDontShowAgain[] = "Don't show this again";

// Asks with the dialog: owner (a live window, else the main window), title, the text
// lines (ended by null), the style and, for style 0, the button mask (Ok alone when 0).
// Returns the button code plus kMsgTicked while the check box was ticked; 0 when the
// window was closed without a button or when a dialog is already open (that one is kept
// on screen); kMsgNoWindow when the window cannot be made.
uint32_t ShowMessageDialog(gWindow* owner, const char* title, const char* const* lines, uint32_t style,
                           uint32_t buttons);
// The message box: the caller's type 0..6 chooses the button set of styles 0..6 (0x4000
// adds "Help"); lines are split at line feeds. Returns the button code; the close box
// answers Cancel when there is one and Ok for an Ok-only box (other boxes ignore it).
// Before the user interface is up, and without one, the platform's box answers. From
// another thread the box is asked on the user-interface thread while the caller waits.
int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t type);

// True on the user-interface thread.
bool OnUiThread();
// Runs fn(data) on the user-interface thread: at once when called there, else through
// the window's queue (the toolkit's message 0x503) while the caller waits. False when it
// did not run (no window, or the window went away meanwhile). The caller must hold no
// lock that the user-interface thread may wait for.
bool CallOnUiThread(gWindow* window, void (*fn)(void*), void* data);

// The open message dialog's window, null when none is open.
gWindow* MessageDialogWindow();
// Closes the open message dialog quietly (its question answers 0); false when none.
bool CloseMessageDialog();

// ---- The modal-open flag ------------------------------------------------------------------------
bool ModalOpen();
void SetModalOpen(bool on);
// Sets the flag for its lifetime and puts the previous state back.
class ModalOpenScope {
public:
    ModalOpenScope() : previous_(ModalOpen()) { SetModalOpen(true); }
    ~ModalOpenScope() { SetModalOpen(previous_); }
    ModalOpenScope(const ModalOpenScope&) = delete;
    ModalOpenScope& operator=(const ModalOpenScope&) = delete;

private:
    bool previous_;
};

// ---- The exit path and the confirmations ----------------------------------------------------------
// "Exit", the "x" title button and Alt+F4: nothing while the modal-open flag is set;
// without the exit question the program ends at once; with it, an open message dialog
// is closed (a second press asks again), else the question is asked.
void ExitPath();
// "E X I T   ORVA ?": ends the program unless the answer is "Cancel" or the window was
// closed; a ticked box switches the question off.
void ConfirmExit();
// "CLOSE DATA?": false for "No" and for a closed window; true at once while the user
// interface is not up; a ticked box switches the question off.
bool ConfirmCloseDataQuestion();
// The main window's close request: false while the modal-open flag is set; without the
// exit question the event timer stops and the window closes; else the question.
bool MainWindowCloseRequest(gWindow* window, void* data);
// Stops the user interface and closes the main window as the window that ends the
// program (every other window follows, the loop ends).
void EndProgram();

// Opens orva.chm of the program folder with the desktop's viewer; when it is missing,
// status line 0 says so with its path and nothing is started.
bool OpenHelpFile();

// Installs the questions: the application's message box, the shell's exit path, close
// request and close-data question, the writer's questions, and the cross-thread call
// through which other threads ask.
void InstallQuestions(AppServices* services);
// The window over which questions from other threads are asked (the main window); null
// lets them take the platform's box.
void SetQuestionWindow(gWindow* window);

// ---- The scripted responder (tests) ----------------------------------------------------------------
// Each queued responder answers one modal loop, in order: it runs inside that loop on the
// user-interface thread once the dialog is on screen, and acts through the dialog's own
// controls (or does whatever a test needs there).
using ModalResponder = std::function<void(gWindow* dialog)>;
void QueueModalResponder(ModalResponder responder);
void ClearModalResponders();
int PendingModalResponders();
// Runs a dialog's modal loop, handing it to the next queued responder first. Every modal
// dialog of the shell runs through here.
// `outsidePress` is offered the presses on other windows' widgets (see gModalLoop).
void RunModalLoop(gWindow* dialog, gModalPressFn outsidePress = nullptr);
// Presses the button with that label as its shortcut key would; false when none.
bool PressDialogButton(gWindow* dialog, const char* label);
// Toggles the check box with that label (kDontShowAgain by default); false when none.
bool TickDialogCheckBox(gWindow* dialog, const char* label = kDontShowAgain);
// The window manager's close request.
void CloseDialogWindow(gWindow* dialog);
// Ready-made responders.
ModalResponder AnswerPress(const char* label);
ModalResponder AnswerTickAndPress(const char* label);
ModalResponder AnswerClose();
// A widget of the window whose text is the label (buttons, check boxes, lines).
gElement* FindDialogWidget(gWindow* dialog, const char* label);

}  // namespace orva
