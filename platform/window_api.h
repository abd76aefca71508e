#pragma once
// Windows: classes, creation and destruction, showing, geometry, texts, the user-data
// word, capture, cursors, activation, painting and the screen. Shaped like the API the
// program was written for; every window belongs to the thread that made it, and all of
// these run on that thread (the UI thread).
#include <cstdint>
#include <string>

#include "platform/cursor_resources.h"
#include "platform/msg_types.h"

namespace orva::platform {

// Window classes. RegisterWindowClass returns 1 when registered, 2 when a class of
// that name exists already, 0 on failure (empty name or no procedure).
int RegisterWindowClass(const char* name, WndProc proc, uint32_t classStyle);
bool WindowClassExists(const char* name);
bool UnregisterWindowClass(const char* name);

// Creates a window: WM_CREATE (lParam: CreateStruct*) runs before this returns; a
// result of -1 from it destroys the window and gives null. Then WM_SIZE and WM_MOVE
// are sent, and a window with kWsVisible is shown. x, y, width and height are the
// outer rectangle (screen coordinates, or the parent's client coordinates for a child).
Hwnd CreateWindowEx(uint32_t exStyle, const char* className, const char* title, uint32_t style,
                    int32_t x, int32_t y, int32_t width, int32_t height, Hwnd parent,
                    void* createParam);
// WM_DESTROY goes to the window, then to its children and to its owned windows; their
// timers die, and messages sent to them from other threads fail.
bool DestroyWindow(Hwnd hwnd);
bool IsWindow(Hwnd hwnd);          // any thread
LResult DefWindowProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);
LResult CallWindowProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam);

// Showing. ShowWindow returns whether the window was visible before.
bool ShowWindow(Hwnd hwnd, int command);
bool IsWindowVisible(Hwnd hwnd);   // the window and all its parents are shown
bool IsIconic(Hwnd hwnd);
bool IsZoomed(Hwnd hwnd);
bool EnableWindow(Hwnd hwnd, bool enable);
bool IsWindowEnabled(Hwnd hwnd);
// True when pointer and key input may reach the window: it and every parent are enabled.
bool AcceptsInput(Hwnd hwnd);

// Geometry.
bool SetWindowPos(Hwnd hwnd, Hwnd insertAfter, int32_t x, int32_t y, int32_t width,
                  int32_t height, uint32_t flags);
bool MoveWindow(Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height, bool repaint);
bool GetWindowRect(Hwnd hwnd, Rect* rect);   // outer rectangle, screen coordinates
bool GetClientRect(Hwnd hwnd, Rect* rect);   // (0, 0, client width, client height)
bool ClientToScreen(Hwnd hwnd, Point* point);
bool ScreenToClient(Hwnd hwnd, Point* point);
bool BringWindowToTop(Hwnd hwnd);
// The topmost visible window of ours (children before their parent) under the point.
Hwnd WindowFromPoint(Point point);

// The window's placement: show state (1 normal, 2 minimised, 3 maximised) and the
// rectangle it has when restored.
struct WindowPlacement {
    int showCommand = kSwShowNormal;
    Rect normalPosition;
};
bool GetWindowPlacement(Hwnd hwnd, WindowPlacement* placement);
bool SetWindowPlacement(Hwnd hwnd, const WindowPlacement* placement);

// Texts are the program's 8-bit texts; the native title gets UTF-8.
bool SetWindowText(Hwnd hwnd, const char* text);
int GetWindowText(Hwnd hwnd, char* buffer, int size);  // length copied
int GetWindowTextLength(Hwnd hwnd);

// kGwlStyle, kGwlExStyle and kGwlpUserData. Set returns the previous value.
LParam GetWindowLongPtr(Hwnd hwnd, int index);
LParam SetWindowLongPtr(Hwnd hwnd, int index, LParam value);
Hwnd GetParent(Hwnd hwnd);
Hwnd GetOwner(Hwnd hwnd);

// Activation and focus. Activation of top-level windows is reported by the native side
// (WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS follow when it happens).
Hwnd SetActiveWindow(Hwnd hwnd);
bool SetForegroundWindow(Hwnd hwnd);
Hwnd GetActiveWindow();
Hwnd SetFocus(Hwnd hwnd);
Hwnd GetFocus();

// Capture: a pointer grab. Mouse messages go to the capture window until it is
// released; losing it to another program posts WM_CANCELMODE.
Hwnd SetCapture(Hwnd hwnd);
bool ReleaseCapture();
Hwnd GetCapture();

// Cursors from the standard cursor ids (kIdcArrow ...) and the program's cursor numbers
// (cursor_resources.h); a number with a picture drawn in code is made a pixmap cursor on
// first use. Null for an unknown id.
Cursor LoadCursor(int id);
// Makes a cursor from a picture under a number of the program's own (the picture replaces
// one made before under that number); LoadCursor(id) returns it from then on. Null when
// the picture is not valid.
Cursor CreatePixmapCursor(int id, const CursorImage& image);
// The picture of a pixmap cursor made under the number, or null.
const CursorImage* PixmapCursorImage(int id);
// The cursor shown over our windows; returns the previous one.
Cursor SetCursor(Cursor cursor);
Cursor GetCursor();
int ShowCursor(bool show);  // display count
bool GetCursorPos(Point* point);
// Moves the pointer to a client point of the window, only while the pointer lies over
// that window itself (no other window of ours and no child window in front of it at
// the pointer). False when the pointer stayed where it was.
bool pointerWarp(Hwnd hwnd, Point client);

// The window's icon from a compiled-in picture (window_icons.h); false for an unknown
// window or picture.
bool SetNativeIcon(Hwnd hwnd, int resourceId);
// Brings a top-level window to the front: restored when minimised, shown when hidden,
// raised and made the active window (asking the window manager for it). While a modal
// loop runs, its window comes to the front after it and keeps the keyboard, as the
// owner of a modal dialog hands its activation to the dialog.
void RestoreAndActivate(Hwnd hwnd);
// The windows of the modal loops that run, innermost last: each loop enters its window
// when it starts and leaves it when it ends.
void EnterModalWindow(Hwnd hwnd);
void LeaveModalWindow(Hwnd hwnd);

// Painting: InvalidateRect marks the whole window (WM_PAINT follows when the queue is
// otherwise empty); BeginPaint validates it.
bool InvalidateRect(Hwnd hwnd);
bool ValidateRect(Hwnd hwnd);
bool UpdateWindow(Hwnd hwnd);   // sends WM_PAINT now when the window needs painting
Hdc BeginPaint(Hwnd hwnd, PaintStruct* paint);
bool EndPaint(Hwnd hwnd, const PaintStruct* paint);
bool NeedsPaint(Hwnd hwnd);

// The window's drawing surface.
Hdc GetDC(Hwnd hwnd);
int ReleaseDC(Hwnd hwnd, Hdc hdc);
Hwnd WindowFromDC(Hdc hdc);

// Asks the window procedure for its tracking limits again (WM_GETMINMAXINFO: the
// minimum and, when it lowers it, the maximum outer size) and hands them to the window
// manager. They are also asked for when the window is created, shown or resized.
bool UpdateSizeLimits(Hwnd hwnd);

// The screen. A change of the screen's size sends WM_DISPLAYCHANGE (wParam: bits per
// pixel, lParam: the new width and height) to every top-level window.
int32_t GetSystemMetrics(int index);
// The work area of the screen (the screen less the desktop's panels).
Rect GetWorkArea();
// The work area of the monitor that holds the window (one monitor: the work area).
bool GetMonitorWorkArea(Hwnd hwnd, Rect* rect);
// True when the display offers true colour (no palettes are made here).
bool DisplayIsTrueColor();
// Why no display could be opened ("can`t open display ":5" (Connection refused)"), or
// empty when one is in use.
std::string DisplayOpenFailure();

// Number of live windows (tests).
size_t LiveWindowCount();

}  // namespace orva::platform
