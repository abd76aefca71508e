#include "platform/viewer_windows.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orva::platform {

namespace {

// Characters that continue a file name around the name looked for in a title.
bool NameCharacter(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '-' || c == '.' || c == '~' || u >= 0x80;
}

// A window that goes away while it is looked at only makes its request fail.
int IgnoreError(Display*, XErrorEvent*) { return 0; }

// An own connection to $DISPLAY with a tolerant error handler, given back at the end.
class Connection {
public:
    Connection() {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0') return;
        display_ = XOpenDisplay(nullptr);
        if (display_ != nullptr) previous_ = XSetErrorHandler(&IgnoreError);
    }
    ~Connection() {
        if (display_ == nullptr) return;
        XSync(display_, False);
        XSetErrorHandler(previous_);
        XCloseDisplay(display_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Display* get() const { return display_; }

private:
    Display* display_ = nullptr;
    XErrorHandler previous_ = nullptr;
};

// A property of 32-bit items (windows, cardinals); empty when it is not there.
std::vector<unsigned long> LongsOf(Display* d, Window w, Atom property, Atom type) {
    std::vector<unsigned long> out;
    Atom got = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, property, 0, 1 << 16, False, type, &got, &format, &items, &after,
                           &data) == Success &&
        data != nullptr) {
        if (got == type && format == 32) {
            const auto* values = reinterpret_cast<const unsigned long*>(data);
            out.assign(values, values + items);
        }
        XFree(data);
    }
    return out;
}

// The window's title: _NET_WM_NAME (UTF-8) when it has one, else WM_NAME.
std::string TitleOf(Display* d, Window w) {
    std::string title;
    Atom got = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom netName = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    if (XGetWindowProperty(d, w, netName, 0, 4096, False, utf8, &got, &format, &items, &after,
                           &data) == Success &&
        data != nullptr) {
        if (got == utf8 && format == 8) title.assign(reinterpret_cast<const char*>(data), items);
        XFree(data);
    }
    if (!title.empty()) return title;
    char* name = nullptr;
    if (XFetchName(d, w, &name) && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

// The top-level windows of the programs on the display: the window manager's list when
// one runs, else the children of the root (and, below a frame without a title, its
// children).
std::vector<Window> TopLevelWindows(Display* d) {
    const Window root = DefaultRootWindow(d);
    std::vector<unsigned long> listed =
        LongsOf(d, root, XInternAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW);
    if (!listed.empty()) return std::vector<Window>(listed.begin(), listed.end());
    std::vector<Window> out;
    auto children = [d](Window parent) {
        std::vector<Window> list;
        Window r = 0, up = 0, *kids = nullptr;
        unsigned count = 0;
        if (XQueryTree(d, parent, &r, &up, &kids, &count) && kids != nullptr) {
            list.assign(kids, kids + count);
            XFree(kids);
        }
        return list;
    };
    for (Window w : children(root)) {
        out.push_back(w);
        if (TitleOf(d, w).empty())
            for (Window inner : children(w)) out.push_back(inner);
    }
    return out;
}

// The first top-level window of another process whose title names the file; 0 when none.
Window FindShowing(Display* d, const std::string& path) {
    const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
    const unsigned long self = static_cast<unsigned long>(::getpid());
    for (Window w : TopLevelWindows(d)) {
        const std::vector<unsigned long> pid = LongsOf(d, w, pidAtom, XA_CARDINAL);
        if (!pid.empty() && pid[0] == self) continue;
        if (TitleNamesFile(TitleOf(d, w), path)) return w;
    }
    return 0;
}

// A client message about window `w`, sent to `to` with the event mask.
void SendClientMessage(Display* d, Window to, Window w, Atom type, long a, long b, long mask) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = type;
    e.xclient.format = 32;
    e.xclient.data.l[0] = a;
    e.xclient.data.l[1] = b;
    XSendEvent(d, to, False, mask, &e);
}

// A request about window `w` to the window manager, through the root window.
void SendToRoot(Display* d, Window w, Atom type, long a, long b) {
    SendClientMessage(d, DefaultRootWindow(d), w, type, a, b,
                      SubstructureRedirectMask | SubstructureNotifyMask);
}

}  // namespace

bool TitleNamesFile(const std::string& title, const std::string& path) {
    if (title.empty() || path.empty()) return false;
    if (path.size() > 1 && title.find(path) != std::string::npos) return true;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) return false;
    for (size_t at = title.find(name); at != std::string::npos; at = title.find(name, at + 1)) {
        const size_t end = at + name.size();
        // A dot after the name continues it only when a name character follows the dot.
        const bool before = at > 0 && NameCharacter(title[at - 1]);
        const bool after =
            end < title.size() && NameCharacter(title[end]) &&
            !(title[end] == '.' && (end + 1 == title.size() || !NameCharacter(title[end + 1])));
        if (!before && !after) return true;
    }
    return false;
}

bool RaiseWindowShowing(const std::string& path) {
    Connection d;
    if (d.get() == nullptr) return false;
    const Window w = FindShowing(d.get(), path);
    if (w == 0) return false;
    XMapRaised(d.get(), w);
    // Source 2: asked by the user (a press of LOG).
    SendToRoot(d.get(), w, XInternAtom(d.get(), "_NET_ACTIVE_WINDOW", False), 2, CurrentTime);
    return true;
}

bool CloseWindowShowing(const std::string& path) {
    Connection d;
    if (d.get() == nullptr) return false;
    const Window w = FindShowing(d.get(), path);
    if (w == 0) return false;
    const Atom protocols = XInternAtom(d.get(), "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(d.get(), "WM_DELETE_WINDOW", False);
    Atom* taken = nullptr;
    int count = 0;
    bool asks = false;
    if (XGetWMProtocols(d.get(), w, &taken, &count) && taken != nullptr) {
        for (int i = 0; i < count; ++i) asks = asks || taken[i] == deleteWindow;
        XFree(taken);
    }
    if (asks) {
        SendClientMessage(d.get(), w, w, protocols, static_cast<long>(deleteWindow), CurrentTime,
                          NoEventMask);
    } else {
        // A window that takes no close request: its window manager is asked to close it.
        SendToRoot(d.get(), w, XInternAtom(d.get(), "_NET_CLOSE_WINDOW", False), CurrentTime, 2);
    }
    return true;
}

}  // namespace orva::platform
