#pragma once
// The real program under the test's X display, seen from outside as a user sees it:
// started on its own configuration, runtime and home folders (so that it is the
// first instance and reads no settings of the machine), its log read, its windows
// found by title and their pixels read back with XGetImage; and the search for an
// expected picture among those pixels.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/screen_pixels.h"
#include "test_support.h"

namespace orva::testing_program {

// The main window's title.
constexpr const char* kMainWindowTitle = "ORVA (Test only, v.2.1.0) ";

// The colours of a tab bar's chosen tab and of its other tabs.
constexpr uint8_t kChosenTab[3] = {153, 255, 153};
constexpr uint8_t kOtherTab[3] = {41, 145, 41};

// What a start may take from elsewhere than its own folder: another X display, the
// runtime folder of another start, the name of its log (an instance after the first
// keeps "orvaN.log").
struct ProgramPlace {
    std::string display;   // empty: the test's
    std::string runtime;   // empty: its own
    std::string logName = "orva.log";
};

// One start of the program; it is ended (SIGTERM, then SIGKILL) when the object goes.
class ProgramRun {
public:
    // Starts ORVA_BINARY_DIR/orva with the arguments in `folder` (its own folders live
    // under it).
    ProgramRun(const std::string& folder, const std::vector<std::string>& arguments,
               const ProgramPlace& place = ProgramPlace())
        : folder_(folder), place_(place) {
        for (const char* sub : {"/config", "/run", "/home"}) mkdir((folder + sub).c_str(), 0700);
        pid_ = fork();
        if (pid_ == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            if (!place.display.empty()) setenv("DISPLAY", place.display.c_str(), 1);
            setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (place.runtime.empty() ? folder + "/run" : place.runtime).c_str(), 1);
            setenv("HOME", (folder + "/home").c_str(), 1);
            setenv("ORVA_MESSAGEBOX_ANSWER", "1", 1);
            std::vector<char*> argv{const_cast<char*>("orva")};
            for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(ORVA_BINARY_DIR "/orva", argv.data());
            _exit(127);
        }
    }
    ~ProgramRun() { End(); }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // Ends the program; its exit status (-1 when it had to be killed or was not running).
    // It returns once the X server has taken the program's windows away too: the server
    // notices the closed connection in its own time, and a start that followed at once
    // could otherwise find the old main window by its title, about to vanish.
    int End() {
        if (pid_ <= 0) return -1;
        const pid_t pid = pid_;
        kill(pid_, SIGTERM);
        int status = 0, result = -1;
        bool ended = false;
        // A busy machine (the sanitizers' leak check at exit among many tests) can take
        // several seconds to end in order: 30 s tell that from a hang.
        for (int i = 0; i < 1200 && !ended; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended = true;
                result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
            }
        }
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = 0;
        WaitUntilWindowsGone(pid, place_.display);
        return result;
    }
    bool Running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    pid_t Pid() const { return pid_; }

    // The process id a window carries (_NET_WM_PID); -1 without one.
    static long WindowProcess(Display* d, Atom pidAtom, Window w) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(d, w, pidAtom, 0, 1, False, AnyPropertyType, &type, &format, &items, &after,
                               &data) == Success &&
            data != nullptr) {
            if (format == 32 && items == 1) pid = *reinterpret_cast<long*>(data);
            XFree(data);
        }
        return pid;
    }

    std::string LogPath() const { return folder_ + "/config/ZEL Lab/" + place_.logName; }
    std::string Log() const {
        return testing_util::Exists(LogPath()) ? testing_util::ReadText(LogPath()) : "";
    }
    // Waits until the log holds `text`; false after `ms` milliseconds or when the program ended.
    bool WaitForLog(const std::string& text, int ms) {
        for (int waited = 0;; waited += 25) {
            if (Log().find(text) != std::string::npos) return true;
            if (waited >= ms || !Running()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }

private:
    // True when a window below `parent` carries the process id `pid`.
    static bool HasWindowOf(Display* d, Atom pidAtom, Window parent, pid_t pid) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, parent, &root, &up, &children, &count)) return false;
        bool found = false;
        for (unsigned i = 0; i < count && !found; ++i)
            found = WindowProcess(d, pidAtom, children[i]) == pid || HasWindowOf(d, pidAtom, children[i], pid);
        if (children != nullptr) XFree(children);
        return found;
    }
    static void WaitUntilWindowsGone(pid_t pid, const std::string& display) {
        Display* d = XOpenDisplay(display.empty() ? nullptr : display.c_str());
        if (d == nullptr) return;
        // A window destroyed between the listing and the read of its property is an error
        // that says nothing here.
        XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        const Atom pidAtom = XInternAtom(d, "_NET_WM_PID", False);
        for (int i = 0; i < 400 && HasWindowOf(d, pidAtom, DefaultRootWindow(d), pid); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        XSync(d, False);
        XSetErrorHandler(previous);
        XCloseDisplay(d);
    }

    std::string folder_;
    ProgramPlace place_;
    pid_t pid_ = -1;
};

// A second X server of the test's own (Xvfb on the first free display number), ended
// with the object. Name() is empty when it could not be started.
class SecondDisplay {
public:
    // `screen`: Xvfb's screen size and depth.
    explicit SecondDisplay(const char* screen = "1024x768x24") {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(pipeFds[0]);
            const std::string fd = std::to_string(pipeFds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        // The server writes its number once it takes connections.
        std::string number;
        char c = 0;
        while (pid_ > 0 && read(pipeFds[0], &c, 1) == 1 && c != '\n') number += c;
        close(pipeFds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~SecondDisplay() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    SecondDisplay(const SecondDisplay&) = delete;
    SecondDisplay& operator=(const SecondDisplay&) = delete;
    const std::string& Name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// A connection to the test's display (or another).
class Screen {
    // The X server resets when its last client (the previous test's program and screen)
    // has gone, and refuses connections meanwhile: a display that is named is tried again
    // for a few seconds.
    static Display* OpenDisplay(const char* named) {
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (Display* d = XOpenDisplay(named)) return d;
            const char* name = named != nullptr ? named : std::getenv("DISPLAY");
            if (name == nullptr || *name == '\0') break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return nullptr;
    }

public:
    // The windows read belong to another process and can go at any moment: an error about
    // one of them is answered by the failed call, never by Xlib ending the test.
    // `name`: another display than the test's.
    explicit Screen(const char* name = nullptr) : display_(OpenDisplay(name)) {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~Screen() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    Display* display() const { return display_; }

    // The first mapped window titled `title` below the root, searched depth first; 0 when none.
    Window FindWindow(const std::string& title) { return Find(DefaultRootWindow(display_), title); }
    // Waits up to `ms` milliseconds for the window.
    Window WaitForWindow(const std::string& title, int ms) {
        for (int waited = 0;; waited += 50) {
            if (Window w = FindWindow(title)) return w;
            if (waited >= ms) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    // The window's rectangle on the screen (right and bottom exclusive); empty when it
    // cannot be read.
    struct Rect {
        int left = 0, top = 0, right = 0, bottom = 0;
        bool Overlaps(const Rect& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
    };
    Rect RectOf(Window w) {
        XWindowAttributes a;
        int x = 0, y = 0;
        Window child = 0;
        if (!XGetWindowAttributes(display_, w, &a) ||
            !XTranslateCoordinates(display_, w, DefaultRootWindow(display_), 0, 0, &x, &y, &child))
            return Rect{};
        return Rect{x, y, x + a.width, y + a.height};
    }
    // The rectangle with the frame a window manager put around the window (read from its
    // _NET_FRAME_EXTENTS: left, right, top, bottom); without a manager, RectOf.
    Rect FramedRectOf(Window w) {
        Rect r = RectOf(w);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const Atom extents = XInternAtom(display_, "_NET_FRAME_EXTENTS", False);
        if (XGetWindowProperty(display_, w, extents, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                               &data) == Success &&
            data != nullptr) {
            if (format == 32 && count == 4) {
                const long* v = reinterpret_cast<const long*>(data);
                r = Rect{int(r.left - v[0]), int(r.top - v[2]), int(r.right + v[1]), int(r.bottom + v[3])};
            }
            XFree(data);
        }
        return r;
    }
    // Puts the window above its siblings, so that nothing covers what is read back.
    void Raise(Window w) {
        XRaiseWindow(display_, w);
        XSync(display_, False);
    }
    // The window's pixels (its whole area, or a region of it) as RGB.
    bool Grab(Window w, Picture* out, int x = 0, int y = 0, int width = 0, int height = 0) {
        return GrabWindow(display_, w, out, x, y, width, height);
    }

private:
    Window Find(Window parent, const std::string& title) {
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display_, parent, &root, &up, &children, &count)) return 0;
        Window found = 0;
        for (unsigned i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            XWindowAttributes a;
            if (XFetchName(display_, children[i], &name) && name != nullptr) {
                if (title == name && XGetWindowAttributes(display_, children[i], &a) &&
                    a.map_state == IsViewable)
                    found = children[i];
                XFree(name);
            }
            if (found == 0) found = Find(children[i], title);
        }
        if (children != nullptr) XFree(children);
        return found;
    }

    Display* display_;
};

// Writes a picture as a binary PPM (P6), to look at after a failure.
inline bool WritePpm(const std::string& path, const Picture& p) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
    const bool ok = std::fwrite(p.rgb.data(), 1, p.rgb.size(), f) == p.rgb.size();
    return std::fclose(f) == 0 && ok;
}

// Starts the program in `folder` (made when missing) on the files; its main window once it
// shows and the log says a file was read, else 0 with the reason in *why.
inline Window StartOnFiles(Screen& screen, std::optional<ProgramRun>& program, const std::string& folder,
                           const std::vector<std::string>& files, std::string* why) {
    mkdir(folder.c_str(), 0700);
    program.emplace(folder, files);
    const Window main = screen.WaitForWindow(kMainWindowTitle, 20000);
    if (main == 0) {
        *why = "no main window\n" + program->Log();
        return 0;
    }
    if (!program->WaitForLog("Source format", 20000)) {
        *why = "the file did not open\n" + program->Log();
        return 0;
    }
    return main;
}

// The pixels of the status line along the bottom of the main window drawn in the error
// colour (a strong red); -1 when it cannot be read. The main window is raised first unless
// `raise` is false (raised, it covers the program's page windows over it).
inline int ErrorPixelsOnTheStatusLine(Screen& screen, Window main, bool raise = true) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(screen.display(), main, &a) || a.height < 24) return -1;
    if (raise) screen.Raise(main);
    Picture line;
    if (!screen.Grab(main, &line, 0, a.height - 22, a.width, 22)) return -1;
    int red = 0;
    for (int y = 0; y < line.height; ++y)
        for (int x = 0; x < line.width; ++x) {
            const uint8_t* p = line.At(x, y);
            red += p[0] >= 200 && p[1] <= 60 && p[2] <= 60;
        }
    return red;
}

}  // namespace orva::testing_program
