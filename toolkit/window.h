#pragma once
// Toolkit windows: the window record, start-up and shut-down, creating, opening,
// showing, sizing, painting, closing and releasing windows, the run loop, the modal
// loop and the one window procedure. UI thread only.
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/msg_types.h"
#include "toolkit/gl_colors.h"

namespace orva {

namespace pf = orva::platform;

struct gWindow;
struct gElement;   // widgets
struct gFont;      // fonts
struct gLayout;    // layout slots and groups
struct gAccel;     // shortcut keys
struct gSkinObject;

// The six operations the application reaches the toolkit through.
struct gUiTable {
    gWindow* (*gWinCreateRec)(int32_t x, int32_t y, int32_t width, int32_t height, gWindow* parent,
                              void* userData, uint32_t style);
    bool (*gWinOpen)(gWindow* window, const char* title, uint32_t style);
    void (*gMessageLoop)(uint8_t mode);
    bool (*gUiClose)(gWindow* window);
    bool (*gUiCloseQuiet)(gWindow* window);
    int (*gShutdown)();
};

constexpr uint32_t kWindowTag = 0x4E495747u;  // "GWIN" in memory order

// State bits.
constexpr uint32_t kStateSizable = 0x1;
constexpr uint32_t kStateChildMaximised = 0x2;
constexpr uint32_t kStateClosed = 0x10;
constexpr uint32_t kStateInHandler = 0x20;
constexpr uint32_t kStateSizing = 0x80;
constexpr uint32_t kStateMinimised = 0x100;
constexpr uint32_t kStateMaximised = 0x200;
constexpr uint32_t kStateInactive = 0x400;
constexpr uint32_t kStateHiddenByShow = 0x800;
constexpr uint32_t kStateHidden = 0x1000;
constexpr uint32_t kNotDrawnMask = 0x199c;
constexpr uint32_t kNoKeysMask = 0x1d3c;
constexpr uint32_t kNoWheelMask = 0x1d1c;

// Style flags.
constexpr uint32_t kStyleFit = 0x1;
constexpr uint32_t kStyleNotSizable = 0x10;
constexpr uint32_t kStyleEmbedded = 0x40;
constexpr uint32_t kStyleDialogFrame = 0x100;
constexpr uint32_t kStyleThickFrame = 0x200;
constexpr uint32_t kStyleSysMenu = 0x400;
constexpr uint32_t kStyleMinimiseBox = 0x800;
constexpr uint32_t kStyleMaximiseBox = 0x1000;
constexpr uint32_t kStyleBorder = 0x2000;
constexpr uint32_t kStyleFrame24 = 0x4000;
constexpr uint32_t kStyleFrame14 = 0x8000;
constexpr uint32_t kStyleSizable = 0x20000;
constexpr uint32_t kStyleNoHover = 0x40000;
constexpr uint32_t kStyleMain = 0x80000;
constexpr uint32_t kStyleEndsProgram = 0x100000;
constexpr uint32_t kStyleCloseKey = 0x200000;
constexpr uint32_t kStyleShown = 0x400000;
constexpr uint32_t kStyleStartMaximised = 0x800000;
constexpr uint32_t kStyleStartMinimised = 0x1000000;
constexpr uint32_t kStyleNoMinMax = 0x2000000;
constexpr uint32_t kStyleNoDefaultSizable = 0x4000000;
constexpr uint32_t kStyleFrameClass = 0x8000000;
constexpr uint32_t kStyleDisabled = 0x10000000;
constexpr uint32_t kStyleDeferred = 0x20000000;

constexpr uint32_t kCloseKeyDefault = 6400;

// Toolkit flags word.
constexpr uint32_t kFlagQuitPosted = 0x10;
constexpr uint32_t kFlagClosing = 0x8;

// Private messages.
constexpr uint32_t kMsgFrame = 0x501;
constexpr uint32_t kMsgOnce = 0x502;
constexpr uint32_t kMsg503 = 0x503;

// Toolkit timers.
constexpr uintptr_t kTrackTimerId = 1;
constexpr uintptr_t kCaretTimerId = 3;

struct gWindow {
    uint32_t tag = kWindowTag;
    gLayout* layout = nullptr;
    pf::Hwnd hwnd = nullptr;
    pf::Hdc hdc = nullptr;
    pf::GlContext hglrc = nullptr;
    // The window's viewport and matrices, kept here while the context it shares with the
    // other windows of its pixel format draws for another window (gWinMakeCurrent).
    struct {
        int32_t viewport[4] = {0, 0, 0, 0};
        float projection[16] = {};
        float modelview[16] = {};
        int32_t matrixMode = 0;
        uint8_t held = 0;
    } glView;
    uint32_t dirty = 0;
    void (*backgroundPainter)(gWindow*) = nullptr;
    void (*idleFunction)() = nullptr;
    // Read by the playback timer thread (may the window draw now?), hence atomic.
    std::atomic<uint32_t> state{0};
    void (*resizeHandler)(gWindow*) = nullptr;
    void (*doubleClickHandler)(gWindow*) = nullptr;
    bool (*keyDownHandler)(gWindow*, gWindow*, void* key) = nullptr;
    bool (*keyUpHandler)(gWindow*, void* key) = nullptr;
    int32_t clientWidth = 0, clientHeight = 0;
    int32_t minTrackWidth = 0, minTrackHeight = 0;
    pf::Cursor cursor = nullptr;
    pf::Cursor defaultCursor = nullptr;
    uint8_t activateRestores = 0;
    struct {
        gElement* head = nullptr;
        int32_t count = 0;
    } widgets;
    uint8_t* pendingUpdate = nullptr;  // its flag byte is cleared after a full repaint
    gColourTable colours{};
    bool (*sysCommandHandler)(gWindow*, bool) = nullptr;
    void (*copyDataHandler)(gWindow*, const pf::CopyDataStruct*) = nullptr;
    gWindow* firstChild = nullptr;  // top-level: first child; child: next sibling
    gWindow* next = nullptr;
    gWindow* parent = nullptr;
    gWindow* owner = nullptr;
    gFont* font = nullptr;
    gElement* defaultButton = nullptr;
    struct {
        gAccel* head = nullptr;
        gAccel* tail = nullptr;
    } shortcuts;
    uint32_t style = 0;
    uint32_t savedFrameStyle = 0;
    void* palette = nullptr;  // never made: true colour only
    void* userData = nullptr;
    int32_t x = 0, y = 0;
    int32_t savedX = 0, savedY = 0;
    int32_t width = 0, height = 0;
    uint32_t closeKey = 0;
    bool (*closeHandler)(gWindow*, void*) = nullptr;
    void (*destroyHandler)(gWindow*, void*) = nullptr;
    void (*showHandler)(gWindow*, bool) = nullptr;
    void* backdrop = nullptr;
    gFont* extraFont = nullptr;
    std::string title;
    gElement* statusWidget = nullptr;
    int32_t statusPending = 0;
    void (*statusClear)() = nullptr;
    gSkinObject* skinObject = nullptr;
    // Called after a whole-window repaint with the window's context current and the new
    // picture complete in the back buffer, right before the swap (gWinSwapPainted).
    void (*afterPaint)(gWindow*, void* data) = nullptr;
    void* afterPaintData = nullptr;
    uint32_t tagEnd = kWindowTag;
};

// ---- Seams for the parts that plug in later (widgets, layout, fonts, input routing,
// menus, shortcuts, skin). A null entry does nothing (or reports "not taken").
struct gToolkitHooks {
    // Layout and widgets.
    void (*refreshWidgets)(gWindow*) = nullptr;                  // update calls + layout
    void (*measureExtent)(gWindow*, int flag, int32_t* w, int32_t* h) = nullptr;
    void (*pruneGroups)(gWindow*) = nullptr;
    void (*paintWidgets)(gWindow*) = nullptr;                    // the widget chain
    void (*releaseWidgets)(gWindow*) = nullptr;                  // widgets and slot groups
    void (*clearGroupLinks)(gWindow*) = nullptr;
    void (*redrawWindow)(gWindow*) = nullptr;                    // gWinRedraw
    // Fonts.
    gFont* (*realizeFont)(gWindow*, const char* face, int mode) = nullptr;
    bool (*buildFontLists)(gWindow*) = nullptr;                  // in the new context
    void (*releaseFont)(gFont*) = nullptr;
    // Shortcuts and menus.
    void (*freeWindowShortcuts)(gWindow*) = nullptr;
    void (*freeGlobalShortcuts)() = nullptr;
    void (*menuHostFree)() = nullptr;
    bool (*isMenuHostWindow)(gWindow*) = nullptr;
    bool (*menuOpen)() = nullptr;
    bool (*menuOwnsWindow)(pf::Hwnd) = nullptr;
    void (*menuEnd)(pf::Hwnd, bool, bool) = nullptr;
    // Input routing.
    void (*keyDown)(pf::Hwnd, pf::WParam, pf::LParam) = nullptr;
    void (*keyUp)(pf::Hwnd, pf::WParam, pf::LParam) = nullptr;
    pf::LResult (*mouseMove)(pf::Hwnd, pf::WParam, pf::LParam, bool* passOn) = nullptr;
    int (*buttonDown)(pf::Hwnd, pf::LParam) = nullptr;           // 0 taken, 1 go on
    int (*buttonUp)(pf::Hwnd, pf::LParam) = nullptr;             // non-zero: pass on
    void (*doubleClick)(pf::Hwnd, uint32_t, pf::WParam, pf::LParam) = nullptr;
    void (*timer)(pf::Hwnd, uintptr_t) = nullptr;                // gWinOnTimer
    gWindow* (*focusWidgetWindow)() = nullptr;                   // window of gFocusWidget
    void (*leaveFocus)(gElement*, gWindow*) = nullptr;           // gWgtLeaveFocus
    bool (*hasHotWidget)() = nullptr;
    void (*endHover)(gWindow*) = nullptr;                        // gWgtEndHover
    void (*repeatKillFocus)() = nullptr;
    void (*cancelPress)() = nullptr;                             // gWinCancelPress
    bool (*wheel)(gWindow*, int delta, int keys) = nullptr;      // true when a widget took it
    void (*clearInputGlobals)() = nullptr;
    void (*freeEditSpare)() = nullptr;
    void (*calcClear)() = nullptr;
    const gShadeRecord* (*skinShades)() = nullptr;
};
gToolkitHooks& gHooks();

// Process-wide hooks reached by private messages and button presses; any thread may
// set them.
using gFrameHookFn = void (*)();
using gOnceHookFn = void (*)(pf::WParam);
using gMessage503Fn = void (*)(pf::WParam, pf::LParam);
using gClickHookFn = void (*)(gWindow*, gElement*);
gFrameHookFn gSetFrameHook(gFrameHookFn hook);
gOnceHookFn gSetOnceHook(gOnceHookFn hook);
void gSetMessage503Hook(gMessage503Fn hook);
gClickHookFn gSetMainHook(gClickHookFn hook);
gClickHookFn gMainHook();

// ---- Toolkit globals ----------------------------------------------------------------
gWindow* gWinList();          // the main window, first of the top-level chain
gWindow* gWinCurrent();
void gWinSetCurrent(gWindow* window);
gWindow* gAnimatedWindow();
void gSetAnimatedWindow(gWindow* window, gWindow* owner);
uint32_t gToolkitFlags();
int32_t gScreenWidth();
int32_t gScreenHeight();
gWindow* gModalWindow();      // the window of a running modal loop (also the key target)
gWindow*& gKeyTarget();
pf::Hwnd& gTrackTimer();
pf::Hwnd& gCaretTimer();
int& gMouseButtonState();
int gMouseState();
bool gIsDoubleClick();
uint32_t gUiThreadId();       // low word of the UI thread's id

// ---- Start and shut-down ------------------------------------------------------------
const gUiTable* gInit();
int gShutdown();
// The UI-ready flag: set by the application once its user interface is up; while it is
// clear, the controls' operations that application code calls do nothing and return 0.
bool gUiReady();
void gSetUiReady(bool ready);
bool gRegisterClasses();
int gRegisterClass(bool dialog);
pf::Cursor gCursorGet(int code);

// ---- Windows ------------------------------------------------------------------------
gWindow* gWinCreateRec(int32_t x, int32_t y, int32_t width, int32_t height, gWindow* parent, void* userData,
                       uint32_t style);
bool gWinOpen(gWindow* window, const char* title, uint32_t style);
int gWinCreate(gWindow* window, gWindow* parent, const char* title);
// The Win32-shaped style bits built from the toolkit style, and the extended style.
uint32_t gWinFrameStyle(const gWindow* window, bool parentHasWindow, uint32_t* exStyle);
gFont* gWinRealizeFont(gWindow* window, const char* face, int mode);
void gWinShow(gWindow* window, bool show);
// Whether the window has its native window and its state shows it (neither hidden nor
// hidden by a show request).
bool gWinShownNow(const gWindow* window);
void gWinPaint(gWindow* window);
// The swap after a whole-window repaint: the window's after-paint callback, then the
// swap (the back buffer is undefined after it, so reading the picture back goes there).
void gWinSwapPainted(gWindow* window);
void gWinSetAfterPaint(gWindow* window, void (*callback)(gWindow*, void*), void* data);
void gWinRefreshAll();
bool gWinSetTitle(gWindow* window, const char* text);
int gWinGetTitle(gWindow* window);
gWindow* gWinFromHwnd(pf::Hwnd hwnd);
gWindow* gWinFromHwndAny(pf::Hwnd hwnd);
gWindow* gWinValidate(const void* pointer);
// True while the window record is allocated (not yet released), whether shown or not.
bool gWinRecordLive(const gWindow* window);
pf::Cursor gWinSetCursor(gWindow* window, pf::Cursor cursor);
gWindow* gWinAddStyle(gWindow* window, uint32_t flags);
void gWinSetBackdrop(gWindow* window, void* image, uint32_t colours);
void gWinSetDestroyHandler(gWindow* window, void (*handler)(gWindow*, void*));
void gWinSetStatusWidget(gWindow* window, gElement* widget, void (*clear)());
bool gWinSetSize(gWindow* window, int32_t clientWidth, int32_t clientHeight, const pf::Point* position);
bool gWinKeepOnScreen(gWindow* window, uint8_t whole);
void gWinFitToContent(gWindow* window, int flag);
void gWinUpdateRects(gWindow* window, pf::Hwnd hwnd);
void gWinUpdateViewport(gWindow* window);
void gWinSetMinSize(gWindow* window, int32_t minWidth, int32_t minHeight);
void gWinRestorePlacement(gWindow* window, const pf::Rect* rect, bool minimise);
void gWinGetPos(gWindow* window, pf::Point* point);
bool gWorkArea(pf::Rect* rect, gWindow* window);
bool gWinMakeCurrent(gWindow* window);   // the window's context made current
gWindow* gWinCurrentGl();                // the window the current context draws for (null: none)
bool gWinAnyAlive();

// Closing and releasing.
void gWinClose(gWindow* window);
void gWinCloseQuiet(gWindow* window);
void gWinCloseEvery();
void gWinCloseEveryQuiet();
bool gUiClose(gWindow* window);
bool gUiCloseQuiet(gWindow* window);
void gWinRelease(gWindow* window);
void gWinReapClosed(gWindow* window);
int gWinFindLink(gWindow* window, gWindow** previous);
void gWinReleaseTree(gWindow* window);
void gWinDestroyAll();
// After a callback of the window ran with state 0x20: clears the bit, releases a window
// closed meanwhile; false when the window is gone.
bool gWinAfterHandler(gWindow* window);

// ---- Loops and the window procedure ----------------------------------------------
void gMessageLoop(uint8_t mode);
// A left press on a widget of another window while a modal window holds the input: true
// when the function took it. That window may be inside a handler of its own (the one that
// opened the modal window), so the press is handed over as widget and window rather than
// through the window's own press.
using gModalPressFn = bool (*)(gWindow* window, gElement* widget);
// Runs until the window closes or hides, or `done` is set. Only the window's own messages
// and paints are served; a press over another window of the program goes to `outsidePress`
// (when given) and otherwise nowhere.
void gModalLoop(gWindow* window, volatile uint8_t* done, gModalPressFn outsidePress = nullptr);
pf::LResult gWinProc(pf::Hwnd hwnd, uint32_t message, pf::WParam wParam, pf::LParam lParam);

}  // namespace orva
