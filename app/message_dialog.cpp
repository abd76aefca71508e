#include "app/message_dialog.h"

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/check_button.h"
#include "app/cui.h"
#include "app/dialog_look.h"
#include "app/field_readers.h"
#include "app/panel_window.h"
#include "app/preferences.h"
#include "app/shell_hooks.h"
#include "app/status_line.h"
#include "app/ui_startup.h"
#include "common/clib.h"
#include "common/system.h"
#include "common/paths.h"
#include "common/log.h"
#include "framework/app_object.h"
#include "framework/handover.h"
#include "framework/app_services.h"
#include "framework/display_lock.h"
#include "io/output_writer.h"
#include "platform/clock.h"
#include "platform/msg_queue.h"
#include "platform/shell.h"
#include "platform/window_api.h"
#include "platform/window_icons.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/shortcuts.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// ---- Buttons and styles ----------------------------------------------------------------------------

struct ButtonDef {
    uint32_t bit;
    const char* label;
    uint32_t code;  // 0: "Help", which does not close
};

// In the order the dialog shows them.
constexpr ButtonDef kButtons[] = {
    {kMsgButtonOk, "Ok", kMsgOk},           {kMsgButtonTryAgain, "Try Again", kMsgTryAgain},
    {kMsgButtonRetry, "Retry", kMsgRetry},  {kMsgButtonIgnore, "Ignore", kMsgIgnore},
    {kMsgButtonContinue, "Continue", kMsgContinue}, {kMsgButtonSkip, "Skip", kMsgSkip},
    {kMsgButtonCancel, "Cancel", kMsgCancel}, {kMsgButtonAbort, "Abort", kMsgAbort},
    {kMsgButtonYes, "Yes", kMsgYes},        {kMsgButtonNo, "No", kMsgNo},
    {kMsgButtonClose, "Close", kMsgClose},  {kMsgButtonHelp, "Help", 0},
};

constexpr uint32_t kButtonBits = 0xFFF;
constexpr float kButtonWidth = 80.0f;
constexpr float kButtonHeight = 17.0f;
constexpr float kButtonStep = 23.0f;  // a button and the gap below it
constexpr float kCheckRowHeight = 27.0f;
constexpr int32_t kMinWidth = 214;
constexpr int32_t kMinHeight = 58;
constexpr int32_t kTextAllowance = 149;  // the window width less the room of the text
constexpr float kLineWidthMax = 500.0f;
constexpr float kLineGap = 4.0f;
// A dialog frame with a close box; Escape is the close key.

// The buttons of a style (the style less its "Help" and check-box flags); the mask for
// any other style, Ok alone when it holds no button.
uint32_t ButtonsOf(uint32_t style, uint32_t mask) {
    switch (style & ~(kMsgStyleHelp | kMsgStyleCheckBox)) {
        case 1: return kMsgButtonOk | kMsgButtonCancel;
        case 2: return kMsgButtonRetry | kMsgButtonIgnore | kMsgButtonAbort;
        case 3: return kMsgButtonCancel | kMsgButtonYes | kMsgButtonNo;
        case 4: return kMsgButtonYes | kMsgButtonNo;
        case 5: return kMsgButtonRetry | kMsgButtonCancel;
        case 6: return kMsgButtonTryAgain | kMsgButtonContinue | kMsgButtonCancel;
        case kMsgStyleSkipYesNo: return kMsgButtonSkip | kMsgButtonYes | kMsgButtonNo;
        case kMsgStyleCancelClose: return kMsgButtonCancel | kMsgButtonClose;
        default: return (mask & (kButtonBits | kMsgCheckBox)) == 0 ? kMsgButtonOk : mask & (kButtonBits | kMsgCheckBox);
    }
}

// Whether Enter presses the button in this style.
bool EnterBound(uint32_t code, uint32_t style) {
    style &= ~(kMsgStyleHelp | kMsgStyleCheckBox);
    switch (code) {
        case kMsgOk: case kMsgAbort: case kMsgYes: case kMsgClose: return true;
        case kMsgRetry: return style == 5;
        case kMsgCancel: return style == 6;
        default: return false;
    }
}

// ---- One run of a dialog ---------------------------------------------------------------------------

struct DialogRun {
    gWindow* window = nullptr;
    uint32_t result = 0;
    bool isBox = false;          // a message box: nests, closes on every button
    bool modalAtStart = false;   // the modal-open flag when the dialog opened
    uint32_t buttons = 0;
    gModalPressFn outsidePress = nullptr;  // takes presses on other windows' widgets
};

struct DialogState {
    gWindow* open = nullptr;  // the one message dialog
    std::atomic<uint8_t> modalOpen{0};
    std::deque<ModalResponder> responders;
    std::map<gWindow*, ModalResponder> pending;
    std::atomic<pf::Hwnd> questionWindow{nullptr};
};

DialogState& State() {
    static DialogState state;
    return state;
}

DialogRun* RunOf(gWindow* w) {
    if (w == nullptr || gWinValidate(w) == nullptr) return nullptr;
    return static_cast<DialogRun*>(w->userData);
}

void CloseRun(DialogRun* run) {
    gWindow* w = run->window;
    if (w == nullptr || gWinValidate(w) == nullptr) return;
    if (!run->isBox && State().open == w) State().open = nullptr;
    gUiCloseQuiet(w);
}

void ButtonClick(gElement* e, uintptr_t code) {
    DialogRun* run = RunOf(e->window);
    if (run == nullptr) return;
    if (code == 0) {
        OpenHelpFile();
        return;
    }
    run->result = (run->result & kMsgTicked) | static_cast<uint32_t>(code);
    // A question asked over this dialog holds the modal-open flag: the press is only
    // recorded then. The flag as it was when this dialog opened does not stop it.
    if (run->isBox || (State().modalOpen.load() != 0) == run->modalAtStart) CloseRun(run);
}

void CheckClick(gElement* e, uintptr_t) {
    DialogRun* run = RunOf(e->window);
    if (run == nullptr) return;
    if (CheckButtonTicked(e)) {
        run->result |= kMsgTicked;
    } else {
        run->result &= ~kMsgTicked;
    }
}

void DialogDestroyed(gWindow* window, void*) {
    if (State().open == window) State().open = nullptr;
    State().pending.erase(window);
}

// The close box of a message box: Cancel where there is one, Ok for an Ok-only box;
// other boxes stay.
bool BoxCloseRequest(gWindow* window, void*) {
    DialogRun* run = RunOf(window);
    if (run == nullptr) return true;
    if ((run->buttons & kMsgButtonCancel) != 0) {
        run->result = kMsgCancel;
        return true;
    }
    if ((run->buttons & kButtonBits & ~kMsgButtonHelp) == kMsgButtonOk) {
        run->result = kMsgOk;
        return true;
    }
    return false;
}

float TextWidth(gFont* font, const char* text) {
    return font != nullptr && text != nullptr ? gFontTextWidth(font, text) : 0.0f;
}

float LineHeight(gFont* font) { return font != nullptr ? std::max(13.0f, std::ceil(gFontLineHeight(font))) : 13.0f; }

gGroup* NewGroup(gWindow* w, uint32_t slot, float marginX, float marginY, float gapY) {
    gWgtSelectWindow(w);
    gGroup* g = gGrpFind(w, slot, false);
    if (g == nullptr) return nullptr;
    gGrpSetActive(g);
    g->marginLeft = g->marginRight = marginX;
    g->marginTop = g->marginBottom = marginY;
    g->gapX = 2.0f;
    g->gapY = gapY;
    return g;
}

// Builds and runs one dialog; the window's user data is the run while it lives.
uint32_t RunDialog(DialogRun* run, gWindow* owner, const char* title, const std::vector<std::string>& lines,
                   uint32_t style) {
    const uint32_t buttons = run->buttons;
    const bool check = (style & kMsgStyleCheckBox) != 0 || (buttons & kMsgCheckBox) != 0;
    const bool help = (style & kMsgStyleHelp) != 0 || (buttons & kMsgButtonHelp) != 0;
    int count = 0;
    for (const ButtonDef& b : kButtons)
        if ((buttons & b.bit) != 0 && b.bit != kMsgButtonHelp) ++count;
    if (help) ++count;
    const float column = kButtonStep * static_cast<float>(count);
    int32_t height = std::max(kMinHeight, static_cast<int32_t>(column) + 10 + (check ? 27 : 0));
    int32_t width = kMinWidth;

    if (owner == nullptr || gWinValidate(owner) == nullptr) owner = TheCUI().mainWindow;
    if (owner != nullptr && gWinValidate(owner) == nullptr) owner = nullptr;
    gWindow* w = gWinCreateRec(0, 0, width, height, owner, run, kDialogStyle);
    if (w == nullptr) return kMsgNoWindow;
    run->window = w;
    if (!run->isBox) State().open = w;
    gWinSetBackdrop(w, nullptr, kDialogBackdropColour);
    gWinSetDestroyHandler(w, &DialogDestroyed);
    if (run->isBox) w->closeHandler = &BoxCloseRequest;
    gWinSetAfterPaint(w, &PaintWindowEdge, nullptr);
    SetWindowIcon(w, platform::kProgramIcon);
    gFont* font = GetUIFont(w);
    gWgtSelect(w, font);

    // Width: the widest line (at most 500) beside the button column.
    float widest = 0;
    for (const std::string& line : lines) widest = std::max(widest, TextWidth(font, line.c_str()));
    widest = std::min(widest, kLineWidthMax);
    if (widest > static_cast<float>(width - kTextAllowance)) width = static_cast<int32_t>(std::ceil(widest)) + kTextAllowance;
    // Height: the lines need their room less 18.
    float lineHeight = LineHeight(font);
    float linesHeight = lines.empty() ? 0.0f
                                      : static_cast<float>(lines.size()) * lineHeight +
                                            static_cast<float>(lines.size() - 1) * kLineGap;
    if (linesHeight > static_cast<float>(height - 18)) height = static_cast<int32_t>(std::ceil(linesHeight)) + 18;

    // The text column at the left.
    gGroup* textGroup = lines.empty() ? nullptr : NewGroup(w, kWsLeft | kWsTop, kDialogMargin, 9.0f, kLineGap);
    if (textGroup != nullptr) {
        textGroup->rowAlign = 0;  // the lines start at the left edge
        for (const std::string& line : lines) {
            gWgtTemplate t{.desc = {.kind = 3, .style = kWsLeft | kWsTop, .width = -1.0f,
                                    .height = lineHeight, .color1 = kDialogTextColour, .text = line.c_str()}};
            gElement* label = gWgtAdd(w, nullptr, &t, 0);
            if (label == nullptr) continue;
            label->textColor = label->textColor2 = kDialogTextColour;
            if (label->cellWidth > kLineWidthMax) label->width = label->cellWidth = kLineWidthMax;
        }
    }
    // The button column at the right, in the order of the table.
    if (NewGroup(w, kWsRight | kWsTop, kDialogMargin, 5.0f, kButtonStep - kButtonHeight) != nullptr) {
        for (const ButtonDef& b : kButtons) {
            bool wanted = b.bit == kMsgButtonHelp ? help : (buttons & b.bit) != 0;
            if (!wanted) continue;
            gWgtTemplate t{.desc = {.kind = 37, .style = kWsRight | kWsTop, .width = kButtonWidth,
                                    .height = kButtonHeight, .color1 = kDialogButtonColour, .text = b.label,
                                    .onClick = &ButtonClick}};
            gElement* e = gWgtAdd(w, nullptr, &t, 0);
            if (e == nullptr) continue;
            e->handlerData = b.code;
            e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
            if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
            if (b.code == 0) {
                gAccelAddWidget(e, KeyF(1), kAccelPress, false, 0);
            } else if (EnterBound(b.code, style)) {
                gAccelAddWidget(e, kKeyEnter, kAccelPress, false, 0);
            }
        }
    }
    // The check box along the bottom.
    if (check && NewGroup(w, kWsLeft | kWsBottom, kDialogMargin, 5.0f, 0.0f) != nullptr) {
        AddCheckButton(w, kWsLeft | kWsBottom, kDontShowAgain, -1.0f, 17.0f, &CheckClick, 0, false);
    }
    gWinLayoutGroups(w);
    gGrpArrangeAll(gWinSlotTable(w));

    // Centred over the owner, inside the screen.
    int32_t sw = gScreenWidth(), sh = gScreenHeight();
    int32_t x, y;
    if (owner != nullptr) {
        x = owner->x + (owner->width - width) / 2;
        y = owner->y + (owner->height - height) / 2;
    } else {
        x = (sw - width) / 2;
        y = (sh - height) / 2;
    }
    x = std::max(0, std::min(x, sw - width));
    y = std::max(0, std::min(y, sh - height));
    pf::Point position{x, y};
    gWinSetSize(w, width, height, &position);

    if (!gWinOpen(w, title != nullptr ? title : "", kStyleShown)) {
        run->window = nullptr;
        w->userData = nullptr;
        gUiCloseQuiet(w);
        return kMsgNoWindow;
    }
    {
        // A line handed over meanwhile waits for the answer: it may close or open the very
        // data the question is about.
        CommandLineHold hold;
        RunModalLoop(w, run->outsidePress);
    }
    // The loop may end with the window still there (the program is ending).
    if (gWinValidate(w) != nullptr) {
        w->userData = nullptr;
        w->closeHandler = nullptr;
        if (State().open == w) State().open = nullptr;
        gUiCloseQuiet(w);
    }
    run->window = nullptr;
    return run->result;
}

std::vector<std::string> SplitLines(const char* text) {
    std::vector<std::string> lines;
    if (text == nullptr) return lines;
    std::string line;
    for (const char* p = text;; ++p) {
        if (*p == '\n' || *p == '\0') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
            if (*p == '\0') break;
        } else {
            line += *p;
        }
    }
    return lines;
}

// ---- Calls run on the user-interface thread -----------------------------------------------------------
// The toolkit's message 0x503 carries a function (wParam) and its data (lParam).

using CallFn = void (*)(void*);

void RunCall(pf::WParam fn, pf::LParam data) {
    if (fn != 0) reinterpret_cast<CallFn>(fn)(reinterpret_cast<void*>(data));
}

pf::WParam CallWord(CallFn fn) { return reinterpret_cast<pf::WParam>(fn); }

struct BoxRequest {
    void* owner;
    const char* text;
    const char* caption;
    uint32_t type;
    int result;
};

void RunBoxRequest(void* data) {
    auto* r = static_cast<BoxRequest*>(data);
    r->result = ShowMessageBox(r->owner, r->text, r->caption, r->type);
}

void RunPendingResponder(void* data) {
    auto* window = static_cast<gWindow*>(data);
    auto it = State().pending.find(window);
    if (it == State().pending.end()) return;
    ModalResponder responder = std::move(it->second);
    State().pending.erase(it);
    if (gWinValidate(window) != nullptr && responder) responder(window);
}

// ---- Hooks of the writer --------------------------------------------------------------------------

int WriterBox(const char* text, const char* title, uint32_t flags) { return ShowMessageBox(nullptr, text, title, flags); }

int WriterDialog(const char* title, const char* text, uint32_t buttons) {
    const char* lines[] = {text, nullptr};
    return static_cast<int>(ShowMessageDialog(nullptr, title, lines, 0, buttons));
}

bool DontAskAgain(uint32_t result) { return result != kMsgNoWindow && (result & kMsgTicked) != 0; }

}  // namespace

bool OnUiThread() { return static_cast<uint32_t>(platform::CurrentThreadId()) == gUiThreadId(); }

bool CallOnUiThread(gWindow* window, void (*fn)(void*), void* data) {
    if (fn == nullptr) return false;
    if (OnUiThread()) {
        fn(data);
        return true;
    }
    gSetMessage503Hook(&RunCall);
    const pf::Hwnd target = window != nullptr ? window->hwnd : nullptr;
    pf::LResult ignored = 0;
    return target != nullptr && pf::SendMessageChecked(target, kMsg503, CallWord(fn), reinterpret_cast<pf::LParam>(data), &ignored);
}

// ---- The dialog and the box ---------------------------------------------------------------------------

namespace {

uint32_t AskDialog(gWindow* owner, const char* title, const char* const* lines, uint32_t style, uint32_t buttons,
                   gModalPressFn outsidePress) {
    DialogState& s = State();
    if (s.open != nullptr && gWinValidate(s.open) != nullptr) {
        gWinKeepOnScreen(s.open, 1);
        return 0;
    }
    s.open = nullptr;
    std::vector<std::string> text;
    for (const char* const* p = lines; p != nullptr && *p != nullptr; ++p) text.emplace_back(*p);
    DialogRun run;
    run.buttons = ButtonsOf(style, buttons);
    run.modalAtStart = s.modalOpen.load() != 0;
    run.outsidePress = outsidePress;
    return RunDialog(&run, owner, title, text, style);
}

}  // namespace

uint32_t ShowMessageDialog(gWindow* owner, const char* title, const char* const* lines, uint32_t style,
                           uint32_t buttons) {
    return AskDialog(owner, title, lines, style, buttons, nullptr);
}

int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t type) {
    if (!OnUiThread()) {
        pf::Hwnd target = State().questionWindow.load();
        BoxRequest request{owner, text, caption, type, 0};
        pf::LResult ignored = 0;
        if (target != nullptr &&
            pf::SendMessageChecked(target, kMsg503, CallWord(&RunBoxRequest), reinterpret_cast<pf::LParam>(&request),
                                   &ignored)) {
            return request.result;
        }
        return ClibMessageBoxDirect(owner, text, caption, type);
    }
    if (!gUiReady() || TheApp().Settings().windowless != 0) return ClibMessageBoxDirect(owner, text, caption, type);
    DialogRun run;
    run.isBox = true;
    uint32_t style = (type & 0xF) <= 6 ? (type & 0xF) : 0;
    run.buttons = ButtonsOf(style, 0);
    if ((type & kMsgStyleHelp) != 0) style |= kMsgStyleHelp;
    gWindow* ownerWindow = gWinValidate(owner);
    if (ownerWindow == nullptr && owner != nullptr) ownerWindow = gWinFromHwnd(static_cast<pf::Hwnd>(owner));
    const char* title = caption != nullptr ? caption : "Error";
    // Our dialog windows carry no title bar, and a box's caption is often the question
    // itself ("... Open as binary?" over a file name): it heads the box's lines.
    std::vector<std::string> lines = SplitLines(text);
    if (*title != '\0') lines.insert(lines.begin(), title);
    uint32_t result;
    {
        ModalOpenScope modal;
        result = RunDialog(&run, ownerWindow, title, lines, style);
    }
    if (result == kMsgNoWindow) return ClibMessageBoxDirect(owner, text, caption, type);
    return static_cast<int>(result & 0xFFFF);
}

gWindow* MessageDialogWindow() {
    gWindow* w = State().open;
    return w != nullptr && gWinValidate(w) != nullptr ? w : nullptr;
}

bool CloseMessageDialog() {
    gWindow* w = MessageDialogWindow();
    State().open = nullptr;
    if (w == nullptr) return false;
    gUiCloseQuiet(w);
    return true;
}

bool ModalOpen() { return State().modalOpen.load() != 0; }
void SetModalOpen(bool on) { State().modalOpen.store(on ? 1 : 0); }

// ---- The exit path -------------------------------------------------------------------------------------

void EndProgram() {
    TheApp().StopUI();
    gWindow* main = TheCUI().mainWindow;
    if (main == nullptr || gWinValidate(main) == nullptr) return;
    gWinAddStyle(main, kStyleEndsProgram);
    gUiCloseQuiet(main);
}

namespace {

// The one press of the main window that reaches it while the exit question is open: its
// "Exit" or its close box, which take the exit path again (the main window is still inside
// the handler that asked, so the press does not go through the window's own press).
bool ExitControlPressed(gWindow* window, gElement* widget) {
    if (!IsMainExitControl(window, widget)) return false;
    ExitCommand();
    return true;
}

}  // namespace

void ConfirmExit() {
    static const char* const kLines[] = {"E X I T   ORVA ?", nullptr};
    constexpr char kTitle[] = "Close all windows?..";
    // A second press of "Exit" or of the close box runs the exit path while the question
    // is open, which closes the question.
    uint32_t result = AskDialog(nullptr, kTitle, kLines, kMsgStyleCheckBox | 1, 0, &ExitControlPressed);
    if (result == kMsgNoWindow) {
        // Without the dialog the question is still asked: the program never ends unasked.
        if (ShowMessageBox(nullptr, kLines[0], kTitle, 1) == static_cast<int>(kMsgOk)) EndProgram();
        return;
    }
    uint32_t button = result & 0xFFFF;
    if ((result & kMsgTicked) != 0) {
        MainSettings& settings = TheApp().Settings();
        settings.warningOnExit = 0;
        settings.exitDialog = 0;
        if (button == kMsgCancel) PreferencesDialogOpen(2, 0);
    }
    if (button != kMsgCancel && button != 0) EndProgram();
}

void ExitPath() {
    if (ModalOpen()) return;
    if (TheApp().Settings().exitDialog == 0) {
        EndProgram();
        return;
    }
    if (CloseMessageDialog()) return;
    ConfirmExit();
}

bool ConfirmCloseDataQuestion() {
    if (!gUiReady()) return true;
    static const char* const kLines[] = {"CLOSE DATA?", nullptr};
    const std::string title = std::string("Close Data?..") + kProductTitle;
    uint32_t result = ShowMessageDialog(nullptr, title.c_str(), kLines, kMsgStyleCheckBox | 4, 0);
    if (result == kMsgNoWindow) return ShowMessageBox(nullptr, kLines[0], title.c_str(), 4) == static_cast<int>(kMsgYes);
    if (DontAskAgain(result)) {
        TheApp().Settings().confirmClosing = 0;
        PreferencesDialogOpen(2, 0);
    }
    uint32_t button = result & 0xFFFF;
    return button != kMsgNo && button != 0;
}

bool MainWindowCloseRequest(gWindow* window, void*) {
    if (ModalOpen()) return false;
    if (window == nullptr) return true;
    if (TheApp().Settings().exitDialog == 0) {
        TheEventTimer().Stop(false);
        return true;
    }
    ConfirmExit();
    return false;
}

bool OpenHelpFile() {
    std::string path = TheApp().ProgramFolder();
    if (!path.empty() && path.back() != '/') path += '/';
    path += "orva.chm";
    if (!FileExists(path.c_str())) {
        SetGroupStatus(0, 3, kStatusRedrawNow, path.c_str());
        return false;
    }
    return platform::SpawnDetached({"xdg-open", path});
}

// ---- Installation ------------------------------------------------------------------------------------------

void SetQuestionWindow(gWindow* window) {
    State().questionWindow.store(window != nullptr && gWinValidate(window) != nullptr ? window->hwnd : nullptr);
}

void InstallQuestions(AppServices* services) {
    gSetMessage503Hook(&RunCall);
    if (services != nullptr) services->showMessageBox = &ShowMessageBox;
    ShellHooks& hooks = TheShellHooks();
    hooks.exitCommand = &ExitPath;
    hooks.mainCloseRequest = &MainWindowCloseRequest;
    hooks.confirmCloseData = &ConfirmCloseDataQuestion;
    OutputWriterHooks& writer = TheOutputWriterHooks();
    writer.messageBox = &WriterBox;
    writer.messageDialog = &WriterDialog;
}

// ---- The scripted responder -----------------------------------------------------------------------------------

void QueueModalResponder(ModalResponder responder) { State().responders.push_back(std::move(responder)); }

void ClearModalResponders() {
    State().responders.clear();
    State().pending.clear();
}

int PendingModalResponders() { return static_cast<int>(State().responders.size()); }

void RunModalLoop(gWindow* dialog, gModalPressFn outsidePress) {
    DialogState& s = State();
    if (gWinValidate(dialog) == nullptr) return;
    if (!s.responders.empty() && dialog->hwnd != nullptr) {
        s.pending[dialog] = std::move(s.responders.front());
        s.responders.pop_front();
        pf::PostMessage(dialog->hwnd, kMsg503, CallWord(&RunPendingResponder), reinterpret_cast<pf::LParam>(dialog));
    }
    gModalLoop(dialog, nullptr, outsidePress);
    s.pending.erase(dialog);
}

gElement* FindDialogWidget(gWindow* dialog, const char* label) {
    if (gWinValidate(dialog) == nullptr || label == nullptr) return nullptr;
    for (gElement* e = dialog->widgets.head; e != nullptr; e = e->next) {
        if (gWgtIsLive(e) && e->text == label) return e;
    }
    return nullptr;
}

namespace {

bool PressWidget(gWindow* dialog, gElement* e) {
    if (e == nullptr || !e->enabled || !e->shown) return false;
    gWinMakeCurrent(dialog);
    return gWgtPress(dialog, e, false) != 0;
}

}  // namespace

bool PressDialogButton(gWindow* dialog, const char* label) { return PressWidget(dialog, FindDialogWidget(dialog, label)); }

bool TickDialogCheckBox(gWindow* dialog, const char* label) { return PressWidget(dialog, FindDialogWidget(dialog, label)); }

void CloseDialogWindow(gWindow* dialog) {
    if (gWinValidate(dialog) != nullptr && dialog->hwnd != nullptr) pf::PostMessage(dialog->hwnd, pf::kWmClose, 0, 0);
}

ModalResponder AnswerPress(const char* label) {
    std::string text = label != nullptr ? label : "";
    return [text](gWindow* dialog) { PressDialogButton(dialog, text.c_str()); };
}

ModalResponder AnswerTickAndPress(const char* label) {
    std::string text = label != nullptr ? label : "";
    return [text](gWindow* dialog) {
        TickDialogCheckBox(dialog);
        PressDialogButton(dialog, text.c_str());
    };
}

ModalResponder AnswerClose() {
    return [](gWindow* dialog) { CloseDialogWindow(dialog); };
}

}  // namespace orva
