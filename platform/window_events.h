#pragma once
// Native events turned into window messages. The Xlib backend calls these while it
// reads its events; the fake backend's tests call them directly. UI thread only.
#include <cstdint>

#include "platform/msg_types.h"

namespace orva::platform {

// The window's contents were exposed: it needs painting (one WM_PAINT however many).
void OnNativeExpose(Hwnd hwnd);
// The client area now lies at (clientX, clientY) (screen coordinates; parent client
// coordinates for a child) with this size: WM_SIZE and WM_MOVE when they changed.
void OnNativeConfigure(Hwnd hwnd, int32_t clientX, int32_t clientY, int32_t width, int32_t height);
// The frame the window manager put around the window.
void OnNativeFrame(Hwnd hwnd, int32_t left, int32_t top, int32_t right, int32_t bottom);
// Keyboard focus came to or left the window: WM_ACTIVATE and WM_SETFOCUS, or
// WM_KILLFOCUS and WM_ACTIVATE (inactive). `next` is the window of ours that takes the
// focus when it leaves (null: none of ours, another program has it). When the focus
// enters our windows from elsewhere every top-level window gets WM_ACTIVATEAPP (1)
// first; when it leaves them all, WM_ACTIVATEAPP (0) after the WM_ACTIVATE.
void OnNativeFocus(Hwnd hwnd, bool in, Hwnd next = nullptr);
// The focused window went without a focus event (it was destroyed); `next` is the
// window of ours that holds the focus now. None of ours: WM_ACTIVATEAPP (0).
void OnNativeActiveGone(Hwnd next);
// Forgets the application's activation (a backend is installed).
void ResetNativeActivation();
// The window manager asks the window to close: WM_CLOSE.
void OnNativeCloseRequest(Hwnd hwnd);
// The window was mapped or unmapped by someone else (the window manager iconifying or
// restoring it): WM_SHOWWINDOW, and WM_SIZE with kSizeMinimized or kSizeRestored.
void OnNativeMapped(Hwnd hwnd, bool mapped);
// A button (1 left, 2 middle, 3 right, 4/5 wheel up/down, 6/7 wheel left/right, posted
// as the wheel with kMkControl) at the client point; mk holds kMk* flags of the buttons
// and keys held before the event; time in milliseconds.
void OnNativeButton(Hwnd hwnd, int button, bool press, int32_t x, int32_t y, uint32_t mk,
                    uint32_t time);
// The window a key that came to `hwnd` belongs to: the top-level window a press activated,
// for a key that came to the window active before the press while the server has not yet
// told of the focus change (keys typed after the click that reached the server before the
// focus moved); else `hwnd` itself. The clicked window is activated first.
Hwnd KeyWindowAfterPress(Hwnd hwnd);
// The pointer moved to the client point: WM_SETCURSOR (unless captured), WM_MOUSEMOVE.
void OnNativeMotion(Hwnd hwnd, int32_t x, int32_t y, uint32_t mk);
// The pointer grab was taken from us: the capture ends and WM_CANCELMODE is posted.
void OnNativeGrabLost();
// The screen changed size: WM_DISPLAYCHANGE (wParam 24 bits per pixel, lParam the size)
// to every top-level window.
void OnNativeDisplayChange(int32_t width, int32_t height);

// Double-click limits.
constexpr uint32_t kDoubleClickMs = 500;
constexpr int32_t kDoubleClickDistance = 2;  // pixels each way
// Forgets the last click (tests).
void ResetClickStateForTest();

}  // namespace orva::platform
