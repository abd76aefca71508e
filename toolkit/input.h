#pragma once
// Input routing: key codes and the key records, the input globals, the routing of keys,
// pointer messages and the toolkit timers (timer 1: auto-repeat and hover tracking,
// timer 3: caret blink), picking and the release of a press. UI thread only.
#include <cstdint>

#include "platform/msg_types.h"
#include "toolkit/window.h"

namespace orva {

// ---- Key codes ----------------------------------------------------------------------------
// Bits 0-7: the virtual key of a printable key; bits 8-15: the special key number;
// above: modifiers and the extended-key bit.
using gKeyCode = uint32_t;
constexpr gKeyCode kKeyShiftL = 0x10000, kKeyShiftR = 0x20000;
constexpr gKeyCode kKeyCtrlL = 0x40000, kKeyCtrlR = 0x80000;
constexpr gKeyCode kKeyAltL = 0x100000, kKeyAltR = 0x200000;
constexpr gKeyCode kKeyShift = 0x30000, kKeyCtrl = 0xC0000, kKeyAlt = 0x300000;
constexpr gKeyCode kKeyModifiers = 0x3F0000;
constexpr gKeyCode kKeyExtended = 0x400000;
constexpr gKeyCode kKeyF1 = 0x100;  // F n = n * 0x100, n = 1..12
constexpr gKeyCode KeyF(int n) { return static_cast<gKeyCode>(n) * 0x100u; }
constexpr gKeyCode kKeyTab = 0xD00, kKeyBackspace = 0xE00, kKeyPageUp = 0xF00, kKeyPageDown = 0x1000;
constexpr gKeyCode kKeyHome = 0x1100, kKeyEnd = 0x1200, kKeyLeft = 0x1300, kKeyUp = 0x1400;
constexpr gKeyCode kKeyRight = 0x1500, kKeyDown = 0x1600, kKeyInsert = 0x1700, kKeyDelete = 0x1800;
constexpr gKeyCode kKeyEscape = 0x1900, kKeyPause = 0x1A00, kKeyEnter = 0x1B00;
constexpr gKeyCode kKeyPad0 = 0x1C00;  // pad n = 0x1C00 + n * 0x100
constexpr gKeyCode kKeyPadMultiply = 0x2600, kKeyPadAdd = 0x2700, kKeyPadSeparator = 0x2800;
constexpr gKeyCode kKeyPadSubtract = 0x2900, kKeyPadDivide = 0x2A00;
constexpr gKeyCode kKeySpecialMask = 0xFF00, kKeyPrintableMask = 0xFF;

// The special key number (bits 8-15) of a virtual key, 0 when it has none.
gKeyCode gKeySpecialCode(uint32_t vk);
// True for the virtual keys that go into bits 0-7.
bool gKeyIsPrintable(uint32_t vk);

// The key-down record: code, character (Windows-1251; 127 for Delete), repeat count.
struct gKeyEvent {
    gKeyCode code = 0;
    uint32_t character = 0;
    uint32_t repeat = 0;
};
// The key-up record.
struct gKeyUpRecord {
    gKeyCode code = 0;
    uint32_t character = 0;
};
extern gKeyEvent gKeyDownEvent;   // the translated last key-down (handlers read it)
extern gKeyUpRecord gKeyUpEvent;  // the translated last key-up
extern uint32_t gLastKey;         // the virtual key of the last key-down

// Modifier bits of a key message (its key data carries the state of the moment).
uint32_t gKeyModifiersLR(pf::LParam keyData);
// The modifiers held now, as key code bits.
uint32_t gKeyModifiersNow();
// Fills the record from a key-down message; the low byte of the result is non-zero when
// the key gave a code.
int gKeyToChar(gKeyEvent* event, uint32_t vk, pf::LParam keyData);
// Fills the key-up record (the modifier bits are those no longer held).
int gKeyUpToChar(gKeyUpRecord* event, uint32_t vk, pf::LParam keyData);

// ---- Input globals ---------------------------------------------------------------------
// (gKeyTarget(), gMouseButtonState(), gTrackTimer() and gCaretTimer() live in window.h.)
extern gElement* gHotWidget;      // last widget picked under the pointer
extern gElement* gPressedWidget;  // the widget a button went down on
extern gElement* gFocusWidget;    // the edit field with the keyboard focus
extern gElement* gDragWidget;     // the widget that owns the drag
extern gElement* gKeyPressWidget; // the widget a key pressed
extern gElement* gRepeatWidget;   // the widget whose press repeats while held
extern pf::Point gCursorPos;        // pointer, client coordinates
extern pf::Point gCursorScreenPos;  // pointer, screen coordinates
extern pf::Point gLastMoveScreenPos;  // where the last move message put the pointer (screen)
extern pf::Point gDragStep;         // movement since the previous pointer message
extern float gDragGrab[2];          // grab offset
extern float gDragPos[2];           // computed drag position
extern int gRepeatCount;            // timer-1 ticks since gRepeatWidget was pressed
extern int gRepeatStep;             // +5 on every repeating tick (the press code reads it)
extern bool gDoubleClickStored;     // a double-click time is stored
extern uint64_t gDoubleClickMs;     // its time (monotonic clock, milliseconds)

// Makes the widget the auto-repeat widget (counters reset); null stops the repeat.
void gSetRepeatWidget(gElement* widget);

// A widget's key handler (0 or less: not taken, 1 taken, 2 taken and redraw me).
using gWidgetKeyFn = int (*)(gElement* widget, const gKeyEvent* key);
void gWgtSetKeyHandler(gElement* widget, gWidgetKeyFn handler);
gWidgetKeyFn gWgtKeyHandler(const gElement* widget);

// ---- What the edit fields, presses, menus and shortcut keys lend the routing ------------
// A null entry does nothing and reports "not taken".
struct gInputHooks {
    int (*press)(gWindow*, gElement*, int clicks) = nullptr;    // gWgtPress; -1 window gone
    bool (*editEnd)(gElement*) = nullptr;                       // gWgtEditEnd: redraw wanted
    bool (*onChar)(gElement*, const gKeyEvent*) = nullptr;      // gWgtOnChar: taken
    bool (*onKey)(gElement*, const gKeyEvent*) = nullptr;       // gWgtOnKey: taken
    bool (*isEditing)(const gElement*) = nullptr;               // an edit field in editing
    void (*selectWord)(gElement*) = nullptr;                    // gWgtSelectWord
    void (*selectAll)(gElement*) = nullptr;                     // gWgtCaretToEnd with selection
    void (*toggleCaret)(gElement*) = nullptr;                   // caret blink
    bool (*editDrag)(gWindow*, gElement*) = nullptr;            // selection follows the pointer
    void (*editGone)(gElement*) = nullptr;                      // the shared edit record's owner died
    bool (*accelDispatch)(gWindow*, const gKeyEvent*) = nullptr;  // window list then global
    void (*flushDirty)(gWindow*) = nullptr;                     // redraw the dirty widgets
};
gInputHooks& gInput();

// ---- Routing (installed into gHooks() by gInputInstall) --------------------------------
void gInputInstall();  // idempotent
void gWinOnKeyDown(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam);
void gWinOnKeyUp(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam);
pf::LResult gWinOnMouseMove(pf::Hwnd hwnd, pf::WParam wParam, pf::LParam lParam, bool* passOn);
int gWinOnButtonDown(pf::Hwnd hwnd, pf::LParam lParam);
int gWinOnMouse(pf::Hwnd hwnd, pf::LParam lParam);  // button release
void gWinOnDoubleClickMsg(pf::Hwnd hwnd, uint32_t message, pf::WParam wParam, pf::LParam lParam);
void gWinOnTimer(pf::Hwnd hwnd, uintptr_t id);
void gWinCancelPress(pf::Hwnd hwnd);
void gWinHover(gWindow* window);
bool gWinOnDrag(gWindow* window, gElement* widget);
bool gWinOnTripleClick(gWindow* window, gElement* widget);
bool gIsTripleClickTime(uint64_t doubleClickMs, uint64_t nowMs);
// Edit-field drags: the far end of the selection follows the pointer (true: changed).
bool gWinOnEditDrag(gWindow* window, gElement* field);
bool gEditCaretFromX(gElement* field, float x, float step);
bool gEditScrollBy(gElement* field, float distance);
void gEditScrollText(gElement* field, float amount);
int gWidgetKeyCall(gWindow* window, gElement* widget, gWidgetKeyFn handler);
void gWgtLeaveFocus(gElement* widget, gWindow* window);
void gWgtEndHover(gWindow* window);
bool gWinAfterHandler(gWindow* window, gElement* widget);
void gWidgetGone(gElement* widget);
bool gWinBroadcast(gWindow* window, void* message);
bool gWinBroadcastActive(gWindow* window, void* message);

// ---- Picking and drags ------------------------------------------------------------------
gElement* gPick(gWindow* window, int32_t x, int32_t y);
void gWgtRepick(gWindow* window, gElement* pressed);
void gWgtGrab(gElement* widget);  // grab offset from the cursor, drawn position home
void gWgtDragPos(gElement* widget, float out[2]);
// Redraws a widget alone (or its whole window when needed) and swaps.
void gWgtRedrawAlone(gWindow* window, gElement* widget, bool consultDirty);
// The corner projection of a widget's slot bits (identity without them).
void gWgtApplyProjection(const gWindow* window, const gElement* widget);

// Clears every input global (toolkit shut-down, tests).
void gInputClear();

}  // namespace orva
