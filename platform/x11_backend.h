#pragma once
// The Xlib/GLX backend of the window layer.
//
// With a window manager and without one. A window stands where the program puts it by
// its outer rectangle: under a manager that follows the freedesktop hints
// (_NET_SUPPORTING_WM_CHECK on the root) the frame it adds is asked for before the window
// is first mapped (_NET_REQUEST_FRAME_EXTENTS) and the client area is put inside that
// rectangle, so that title bars and status lines stay where the layout put them. Windows
// the program places inside another (the pages along the main window's top) are child X
// windows of it: no manager stacks, iconifies or lists them apart from it. Top-level
// windows with an owner are transient for it; those without a title bar of their own
// stay off the task bar and the pager. Without a manager nothing is framed: the outer
// rectangle is the client's.
#include <memory>
#include <string>

#include "platform/msg_types.h"
#include "platform/window_backend.h"

namespace orva::platform {

// Opens the display named by $DISPLAY; null when there is none, with the reason in
// `failure` (when given).
std::unique_ptr<WindowBackend> CreateX11Backend(std::string* failure = nullptr);

// Keys are translated by the keyboard layer: it gets every key event of our windows
// (xKeyEvent points to the XKeyEvent) and posts the key messages itself.
using X11KeyHandler = void (*)(Hwnd hwnd, bool press, const void* xKeyEvent);
void SetX11KeyHandler(X11KeyHandler handler);

// The Display* of the Xlib backend in use (null when the Xlib backend is not in use),
// and the X window of one of our windows (0 when none), for the layers that talk to
// the X server themselves (keyboard, clipboard). UI thread only.
void* X11Display();
unsigned long X11WindowOf(Hwnd hwnd);
// The window of ours that this X window belongs to (null when none).
Hwnd X11FindWindow(unsigned long xWindow);
// Keyboard grab next to the pointer grab of the capture: while it holds, every key
// event goes to that window of ours. False when the grab failed or no X display is in
// use. Ungrabbing without a grab does nothing.
bool X11GrabKeyboard(Hwnd hwnd);
void X11UngrabKeyboard();

}  // namespace orva::platform
