#include "platform/x11_clipboard.h"

#include <poll.h>

#include <chrono>
#include <cstring>

#include "platform/window_backend.h"
#include "platform/window_text.h"
#include "platform/x11_backend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace orva::platform {

namespace {

struct ClipState {
    Display* display = nullptr;
    ::Window window = 0;
    Atom clipboard = 0, targets = 0, utf8 = 0, property = 0, incr = 0;
    std::string utf8Text;   // what we serve while we own the selection
    std::string programText;  // the same as the program gave it
    bool owned = false;
};
// Never destroyed: the backend may forget it while static objects are torn down.
ClipState& gClip = *new ClipState;

bool Ensure() {
    ActiveBackend();   // opens the Xlib backend when none is in use yet
    Display* display = static_cast<Display*>(X11Display());
    if (display == nullptr) return false;
    if (gClip.display == display && gClip.window != 0) return true;
    gClip = ClipState{};
    gClip.display = display;
    gClip.window = XCreateSimpleWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, 0);
    if (gClip.window == 0) {
        gClip.display = nullptr;
        return false;
    }
    gClip.clipboard = XInternAtom(display, "CLIPBOARD", False);
    gClip.targets = XInternAtom(display, "TARGETS", False);
    gClip.utf8 = XInternAtom(display, "UTF8_STRING", False);
    gClip.property = XInternAtom(display, "ORVA_CLIPBOARD", False);
    gClip.incr = XInternAtom(display, "INCR", False);
    return true;
}

// Latin-1 for the STRING target: other characters become '?'.
std::string Utf8ToLatin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0;
        size_t n = 1;
        if (c < 0x80) cp = c;
        else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) cp = ((c & 0x1Fu) << 6) | (utf8[i + 1] & 0x3Fu), n = 2;
        else if ((c & 0xF0) == 0xE0) cp = 0xFFFD, n = 3;
        else if ((c & 0xF8) == 0xF0) cp = 0xFFFD, n = 4;
        else cp = 0xFFFD;
        out.push_back(cp < 256 ? static_cast<char>(cp) : '?');
        i += n;
    }
    return out;
}

void Serve(const XSelectionRequestEvent& request) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = request.display;
    reply.requestor = request.requestor;
    reply.selection = request.selection;
    reply.target = request.target;
    reply.time = request.time;
    Atom property = request.property != None ? request.property : request.target;   // old clients
    reply.property = None;
    if (gClip.owned && request.selection == gClip.clipboard) {
        if (request.target == gClip.targets) {
            Atom list[3] = {gClip.targets, gClip.utf8, XA_STRING};
            XChangeProperty(gClip.display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(list), 3);
            reply.property = property;
        } else if (request.target == gClip.utf8 || request.target == XA_STRING) {
            std::string data = request.target == XA_STRING ? Utf8ToLatin1(gClip.utf8Text) : gClip.utf8Text;
            XChangeProperty(gClip.display, request.requestor, property, request.target, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
            reply.property = property;
        }
    }
    XSendEvent(gClip.display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(gClip.display);
}

Bool IsSelectionEvent(Display*, XEvent* event, XPointer) {
    return (event->type == SelectionNotify || event->type == SelectionRequest || event->type == SelectionClear) &&
           event->xany.window == gClip.window;
}

// Asks the owner for the target; true with the property's bytes when it answered.
bool Convert(Atom target, std::string* out, std::chrono::steady_clock::time_point deadline) {
    XDeleteProperty(gClip.display, gClip.window, gClip.property);
    XConvertSelection(gClip.display, gClip.clipboard, target, gClip.property, gClip.window, CurrentTime);
    XFlush(gClip.display);
    for (;;) {
        XEvent event;
        while (XCheckIfEvent(gClip.display, &event, IsSelectionEvent, nullptr)) {
            if (event.type != SelectionNotify) {
                X11ClipboardHandleEvent(&event);
                continue;
            }
            if (event.xselection.property == None) return false;
            Atom type = 0;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(gClip.display, gClip.window, gClip.property, 0, 0x4000000, True, AnyPropertyType,
                                   &type, &format, &count, &after, &data) != Success) {
                return false;
            }
            bool ok = data != nullptr && type != gClip.incr && format == 8;
            if (ok) out->assign(reinterpret_cast<const char*>(data), count);
            if (data != nullptr) XFree(data);
            return ok;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd fd{ConnectionNumber(gClip.display), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        XEventsQueued(gClip.display, QueuedAfterReading);
    }
}

}  // namespace

bool X11ClipboardSetText(const char* text, size_t length) {
    if (text == nullptr || !Ensure()) return false;
    length = strnlen(text, length);
    // Names the system gave in UTF-8 go out as they are, the program's own texts from
    // their code page.
    gClip.programText.assign(text, length);
    gClip.utf8Text = ProgramTextToUtf8(gClip.programText);
    XSetSelectionOwner(gClip.display, gClip.clipboard, gClip.window, CurrentTime);
    gClip.owned = XGetSelectionOwner(gClip.display, gClip.clipboard) == gClip.window;
    XFlush(gClip.display);
    return gClip.owned;
}

bool X11ClipboardOwned() {
    return Ensure() && gClip.owned && XGetSelectionOwner(gClip.display, gClip.clipboard) == gClip.window;
}

bool X11ClipboardGetText(std::string* out, int timeoutMs) {
    if (out == nullptr || !Ensure()) return false;
    out->clear();
    if (X11ClipboardOwned()) {
        *out = gClip.programText;
        return true;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::string raw;
    if (Convert(gClip.utf8, &raw, deadline)) {
        *out = Utf8ToCp1251(raw);
        return true;
    }
    if (Convert(XA_STRING, &raw, deadline)) {   // Latin-1
        std::string utf8;
        for (unsigned char c : raw) {
            if (c < 0x80) {
                utf8.push_back(static_cast<char>(c));
            } else {
                utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
                utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        *out = Utf8ToCp1251(utf8);
        return true;
    }
    return false;
}

bool X11ClipboardHandleEvent(void* xEvent) {
    XEvent* event = static_cast<XEvent*>(xEvent);
    if (event == nullptr || gClip.window == 0 || event->xany.display != gClip.display) return false;
    switch (event->type) {
        case SelectionRequest:
            if (event->xselectionrequest.owner != gClip.window) return false;
            Serve(event->xselectionrequest);
            return true;
        case SelectionClear:
            if (event->xselectionclear.window != gClip.window) return false;
            if (event->xselectionclear.selection == gClip.clipboard) {
                gClip.owned = false;
                gClip.utf8Text.clear();
                gClip.programText.clear();
            }
            return true;
        case SelectionNotify:
            return event->xselection.requestor == gClip.window;   // a late answer: dropped
        default: return false;
    }
}

void X11ClipboardForget() { gClip = ClipState{}; }

}  // namespace orva::platform
