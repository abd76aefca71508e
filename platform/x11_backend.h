#pragma once
// The Xlib/GLX backend of the window layer.
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
