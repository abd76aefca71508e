#pragma once
// Clipboard text on X: the CLIPBOARD selection. Setting the text makes us the owner
// (a small unmapped window of ours); the requests of other programs are answered from
// the message loop (TARGETS, UTF8_STRING, STRING). Reading asks the owner and waits a
// bounded time, handling only selection events meanwhile. Program texts are 8-bit
// Windows-1251; the selection carries UTF-8. UI thread only.
#include <cstddef>
#include <string>

namespace orva::platform {

// Takes the CLIPBOARD selection with `length` bytes of text (Windows-1251). False
// without an X display or when the server refused the ownership.
bool X11ClipboardSetText(const char* text, size_t length);
// The selection's text converted to Windows-1251; false when there is none, no display,
// or the owner did not answer within timeoutMs milliseconds.
bool X11ClipboardGetText(std::string* out, int timeoutMs);
// True while we own the selection.
bool X11ClipboardOwned();
// Serves a selection event of the Xlib backend (xEvent points to an XEvent); false when
// it is not a selection event of ours.
bool X11ClipboardHandleEvent(void* xEvent);
// The display is about to close: forget the window made on it.
void X11ClipboardForget();

}  // namespace orva::platform
