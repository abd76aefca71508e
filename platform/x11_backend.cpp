// The Xlib/GLX backend: native windows on the GLX visual, event translation, cursors,
// the pointer grab and GL contexts.
#include "platform/x11_backend.h"

#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>
#include <link.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/cursor_resources.h"
#include "platform/msg_types.h"
#include "platform/window_api.h"
#include "platform/window_events.h"
#include "platform/window_icons.h"
#include "platform/window_registry.h"
#include "platform/window_text.h"
#include "platform/x11_clipboard.h"
#include "platform/x11_keys.h"

#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

namespace orva::platform {

namespace {

// How long a dropped connection to the display is tried again, and how often.
constexpr std::chrono::milliseconds kDisplayRetryTime{2000};
constexpr std::chrono::milliseconds kDisplayRetryPause{50};
// How long a window manager is given to say what frame it would put round a window.
constexpr std::chrono::milliseconds kFrameAnswerTime{1000};

// The GL driver that the first GLX call loads stays loaded for the life of the
// process: a display closed and opened again (every test, and a program that
// closes all its windows) would otherwise load and initialise it anew, and the
// blocks it keeps for the whole process stay attributable to it.
void PinGlDriver() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) -> int {
            const char* name = info->dlpi_name;
            if (name && *name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium")))
                dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
            return 0;
        },
        nullptr);
}


X11KeyHandler gKeyHandler = PostX11KeyMessage;
class X11Backend;
X11Backend* gX11 = nullptr;

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

struct NativeWindow {
    ::Window xid = 0;
    Visual* visual = nullptr;
    int depth = 0;
    VisualID visualId = 0;
    bool mapped = false;
    // Unmaps we asked for whose UnmapNotify has not come back yet: a window hidden and
    // shown again quickly gets that late notice while it is meant to be shown.
    int pendingUnmaps = 0;
    // The size the server last said the window has. A picture drawn while a new size is
    // still on its way can come out for the old one (its rows off by the change); the
    // server's word on the new size brings a paint of the whole window.
    int confirmedWidth = -1, confirmedHeight = -1;
};

struct Config {
    GLXFBConfig config = nullptr;
    PixelFormatInfo info;
    VisualID visualId = 0;
    int visualDepth = 0;
};

// Motif hints that tell the window manager which decorations to draw.
struct MotifHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long inputMode;
    unsigned long status;
};

bool IsPopup(const WindowObject& window) {
    if (window.parent != nullptr) return false;
    if ((window.style & kWsPopup) == 0) return false;
    if ((window.style & (kWsCaption | kWsThickFrame | kWsSysMenu)) != 0) return false;
    return (window.exStyle & kWsExNoActivate) != 0 ||
           ((window.exStyle & kWsExToolWindow) != 0 && (window.exStyle & kWsExTopmost) != 0);
}

// Both windows lie in the same top-level window of ours.
bool SameTopLevel(Hwnd a, Hwnd b) {
    auto top = [](Hwnd h) {
        for (WindowObject* w = FindWindowObject(h); w != nullptr && w->parent != nullptr; w = FindWindowObject(h))
            h = w->parent;
        return FindWindowObject(h) != nullptr ? h : nullptr;
    };
    const Hwnd ta = top(a);
    return ta != nullptr && ta == top(b);
}

uint32_t MkFromState(unsigned int state) {
    uint32_t mk = 0;
    if (state & ShiftMask) mk |= kMkShift;
    if (state & ControlMask) mk |= kMkControl;
    if (state & Button1Mask) mk |= kMkLButton;
    if (state & Button2Mask) mk |= kMkMButton;
    if (state & Button3Mask) mk |= kMkRButton;
    return mk;
}

class X11Backend final : public WindowBackend {
public:
    explicit X11Backend(Display* display) : display_(display) {
        screen_ = DefaultScreen(display_);
        root_ = RootWindow(display_, screen_);
        XSetErrorHandler(IgnoreXError);
        const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                               "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL",
                               "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_UTILITY",
                               "_MOTIF_WM_HINTS", "_NET_WORKAREA", "_NET_FRAME_EXTENTS",
                               "_NET_ACTIVE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT",
                               "_NET_WM_STATE_MAXIMIZED_HORZ", "_NET_WM_ICON", "_NET_WM_PID",
                               "_NET_SUPPORTING_WM_CHECK", "_NET_REQUEST_FRAME_EXTENTS",
                               "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
        XInternAtoms(display_, const_cast<char**>(names), kAtomCount, False, atoms_);
        // The root window reports a change of the screen's size (RandR) as its own
        // ConfigureNotify; Xlib's DisplayWidth does not follow, so the size is kept here.
        screenWidth_ = DisplayWidth(display_, screen_);
        screenHeight_ = DisplayHeight(display_, screen_);
        XSelectInput(display_, root_, StructureNotifyMask);
        LoadConfigs();
        PinGlDriver();
    }

    ~X11Backend() override {
        glXMakeCurrent(display_, 0, nullptr);
        for (auto& [context, held] : contexts_) glXDestroyContext(display_, context);
        for (auto& [id, cursor] : cursors_) XFreeCursor(display_, cursor);
        for (auto& [id, colormap] : colormaps_) XFreeColormap(display_, colormap);
        X11ClipboardForget();
        XCloseDisplay(display_);
        if (gX11 == this) gX11 = nullptr;
    }

    Display* display() const { return display_; }

    Hwnd FindHwnd(::Window xid) const {
        auto it = byXid_.find(xid);
        return it == byXid_.end() ? nullptr : it->second;
    }

    // ---- Screen ----
    void ScreenSize(int32_t* width, int32_t* height) override {
        *width = screenWidth_;
        *height = screenHeight_;
    }

    Rect WorkArea() override {
        int32_t width = 0, height = 0;
        ScreenSize(&width, &height);
        Rect area{0, 0, width, height};
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, root_, atoms_[kWorkArea], 0, 4, False, XA_CARDINAL, &type,
                               &format, &count, &after, &data) == Success &&
            data != nullptr) {
            if (format == 32 && count >= 4) {
                const long* values = reinterpret_cast<const long*>(data);
                if (values[2] > 0 && values[3] > 0) {
                    area = Rect{static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]),
                                static_cast<int32_t>(values[0] + values[2]),
                                static_cast<int32_t>(values[1] + values[3])};
                }
            }
            XFree(data);
        }
        return area;
    }

    bool OffersTrueColor() override {
        Visual* visual = DefaultVisual(display_, screen_);
        return visual != nullptr && visual->c_class == TrueColor;
    }

    FrameExtents Frame(const WindowObject& window) override {
        (void)window;
        return FrameExtents{};  // learnt from the window manager once mapped
    }

    // ---- Windows ----
    bool CreateNative(WindowObject& window) override {
        const Config* config = ConfigOf(window.pixelFormat != 0 ? window.pixelFormat : defaultFormat_);
        if (config == nullptr) return false;
        auto* native = new NativeWindow;
        window.native = native;
        if (!MakeXWindow(window, *config)) {
            delete native;
            window.native = nullptr;
            return false;
        }
        return true;
    }

    void DestroyNative(WindowObject& window) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return;
        if (glXGetCurrentDrawable() == native->xid) glXMakeCurrent(display_, 0, nullptr);
        WithFocusCheck(window, [&] {
            byXid_.erase(native->xid);
            XDestroyWindow(display_, native->xid);
            XFlush(display_);
        });
        delete native;
        window.native = nullptr;
    }

    void SetVisible(WindowObject& window, bool visible) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return;
        if (!visible && native->mapped) ++native->pendingUnmaps;
        native->mapped = visible;
        if (visible) {
            XMapWindow(display_, native->xid);
        } else if (window.parent == nullptr) {
            WithFocusCheck(window, [&] { XWithdrawWindow(display_, native->xid, screen_); });
        } else {
            XUnmapWindow(display_, native->xid);
        }
        XFlush(display_);
    }

    void SetGeometry(WindowObject& window) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return;
        XMoveResizeWindow(display_, native->xid, window.x + window.frame.left, window.y + window.frame.top,
                          static_cast<unsigned>(std::max(1, window.ClientWidth())),
                          static_cast<unsigned>(std::max(1, window.ClientHeight())));
        if (window.parent == nullptr) SetSizeHints(window);
        RebindResized(*native);
        XFlush(display_);
    }

    // The software renderer reads a drawable's size when the context moves to it from
    // another drawable and after each swap, not when the window is sized: a window sized
    // while the current context is on it (a page sized for its rows and painted at once)
    // would be drawn into a picture of its old size, its rows off by the change, until a
    // later frame. The context goes to another window of the same visual and back after
    // the resize request, and reads the size the server has by then, the new one.
    void RebindResized(const NativeWindow& native) {
        if (glXGetCurrentDrawable() != native.xid) return;
        GLXContext context = glXGetCurrentContext();
        if (context == nullptr) return;
        for (const auto& [xid, hwnd] : byXid_) {
            const WindowObject* other = xid != native.xid ? FindWindowObject(hwnd) : nullptr;
            const auto* otherNative = other != nullptr ? static_cast<const NativeWindow*>(other->native) : nullptr;
            if (otherNative == nullptr || otherNative->visualId != native.visualId) continue;
            if (glXMakeCurrent(display_, xid, context) == True) break;
        }
        glXMakeCurrent(display_, native.xid, context);
    }

    void Restack(WindowObject& window, bool top) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return;
        if (top) {
            XRaiseWindow(display_, native->xid);
        } else {
            XLowerWindow(display_, native->xid);
        }
        XFlush(display_);
    }

    void RestackBelow(WindowObject& window, WindowObject& above) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        auto* sibling = static_cast<NativeWindow*>(above.native);
        if (native == nullptr || sibling == nullptr) return;
        XWindowChanges changes{};
        changes.sibling = sibling->xid;
        changes.stack_mode = Below;
        // Under a window manager the two are not siblings (each sits in its frame): the
        // request then goes to the manager.
        XReconfigureWMWindow(display_, native->xid, screen_, CWSibling | CWStackMode, &changes);
        XFlush(display_);
    }

    void Activate(WindowObject& window) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr || IsPopup(window)) return;
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = native->xid;
        event.xclient.message_type = atoms_[kActiveWindow];
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1;
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display_, native->xid, &attributes) && attributes.map_state == IsViewable) {
            XSetInputFocus(display_, native->xid, RevertToParent, CurrentTime);
        }
        XFlush(display_);
    }

    void SetIcon(WindowObject& window, int resourceId) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        std::vector<uint32_t> data;
        if (native == nullptr || !WindowIconData(resourceId, &data)) return;
        // Format-32 properties travel as longs on the client side.
        std::vector<unsigned long> cardinals(data.begin(), data.end());
        XChangeProperty(display_, native->xid, atoms_[kNetWmIcon], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(cardinals.data()),
                        static_cast<int>(cardinals.size()));
        XFlush(display_);
    }

    void SetTitle(WindowObject& window, const std::string& utf8) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return;
        XChangeProperty(display_, native->xid, atoms_[kNetWmName], atoms_[kUtf8String], 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
        std::string plain;
        for (char c : window.title) plain.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
        XStoreName(display_, native->xid, plain.c_str());
        XFlush(display_);
    }

    void StyleChanged(WindowObject& window) override {
        if (window.parent == nullptr) {
            SetDecorations(window);
            SetSizeHints(window);
            XFlush(display_);
        }
    }

    void Iconify(WindowObject& window) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr || window.parent != nullptr) return;
        XIconifyWindow(display_, native->xid, screen_);
        XFlush(display_);
    }

    void SetSizeLimits(WindowObject& window) override {
        if (window.parent != nullptr) return;
        SetSizeHints(window);
        XFlush(display_);
    }

    void DefinePixmapCursor(int cursorId, const CursorImage& image) override {
        (void)image;
        auto it = cursors_.find(cursorId);
        if (it == cursors_.end()) return;
        XFreeCursor(display_, it->second);
        cursors_.erase(it);
    }

    void ShowCursor(WindowObject* window, int cursorId) override {
        if (window == nullptr) return;
        auto* native = static_cast<NativeWindow*>(window->native);
        if (native == nullptr) return;
        if (cursorId == 0) {
            XUndefineCursor(display_, native->xid);
        } else {
            XDefineCursor(display_, native->xid, CursorFor(cursorId));
        }
        XFlush(display_);
    }

    bool GrabPointer(WindowObject& window) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return false;
        grabSerial_ = NextRequest(display_);
        int result = XGrabPointer(display_, native->xid, False,
                                  ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                                  GrabModeAsync, 0, 0, CurrentTime);
        XFlush(display_);
        return result == GrabSuccess;
    }

    void UngrabPointer() override {
        XUngrabPointer(display_, CurrentTime);
        XFlush(display_);
    }

    Point PointerPosition() override {
        ::Window rootReturn = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int mask = 0;
        if (XQueryPointer(display_, root_, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask)) {
            return Point{rootX, rootY};
        }
        return LastPointerPosition();
    }

    bool WarpPointer(WindowObject& window, Point client, Point* screen) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr || !native->mapped) return false;
        ::Window rootReturn = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int mask = 0;
        // Only a pointer over the window itself is moved: not one on another screen,
        // over a child window or outside the window.
        if (!XQueryPointer(display_, native->xid, &rootReturn, &child, &rootX, &rootY, &winX, &winY, &mask))
            return false;
        if (child != 0 || winX < 0 || winY < 0 || winX >= window.ClientWidth() || winY >= window.ClientHeight()) return false;
        ::Window unused = 0;
        int toX = 0, toY = 0;
        if (!XTranslateCoordinates(display_, native->xid, root_, client.x, client.y, &toX, &toY, &unused))
            return false;
        XWarpPointer(display_, 0, root_, 0, 0, 0, 0, toX, toY);
        XFlush(display_);
        if (screen != nullptr) *screen = Point{toX, toY};
        return true;
    }

    int EventFd() override { return ConnectionNumber(display_); }

    void Pump() override {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            Translate(event);
        }
        XFlush(display_);
    }

    // ---- GL ----
    int ChoosePixelFormat(const PixelFormatRequest& request) override {
        int best = 0;
        long bestScore = 0;
        int defaultDepth = DefaultDepth(display_, screen_);
        for (size_t i = 0; i < configs_.size(); ++i) {
            const PixelFormatInfo& info = configs_[i].info;
            if (info.doubleBuffer != request.doubleBuffer) continue;
            if (info.alphaBits < request.alphaBits || info.colorBits < request.colorBits ||
                info.depthBits < request.depthBits || info.stencilBits < request.stencilBits) {
                continue;
            }
            long score = 4L * (info.colorBits - request.colorBits) + (info.alphaBits - request.alphaBits) +
                         (info.depthBits - request.depthBits) + (info.stencilBits - request.stencilBits);
            if (configs_[i].visualDepth != defaultDepth) score += 1000;
            if (best == 0 || score < bestScore) {
                best = static_cast<int>(i) + 1;
                bestScore = score;
            }
        }
        return best;
    }

    bool DescribePixelFormat(int format, PixelFormatInfo* info) override {
        const Config* config = ConfigOf(format);
        if (config == nullptr) return false;
        *info = config->info;
        return true;
    }

    bool SetPixelFormat(WindowObject& window, int format) override {
        const Config* config = ConfigOf(format);
        auto* native = static_cast<NativeWindow*>(window.native);
        if (config == nullptr || native == nullptr) return false;
        if (native->visualId == config->visualId) return true;
        if (native->mapped) return false;
        // The visual is fixed when an X window is made: make it again with this one.
        byXid_.erase(native->xid);
        XDestroyWindow(display_, native->xid);
        if (!MakeXWindow(window, *config)) return false;
        if (!window.title.empty()) SetTitle(window, ProgramTextToUtf8(window.title));
        return true;
    }

    // Every window of one pixel format draws through one context, which the toolkit makes
    // current on each window's surface in turn (keeping each window's viewport and
    // matrices): a context of the software renderer holds megabytes of its own (its
    // binning scenes, and the shader variants it compiles for the draws made in it), and
    // the program's windows, panels and menus made eighteen of them at start, about half
    // of its memory before any file was opened. Each call counts a reference, which
    // DeleteContext gives back.
    // A large window (the main window) has a context of its own, though: when a context
    // comes to a surface from another, the renderer reads the whole window back from the
    // server into a new shared-memory image before its next draw, tens of milliseconds for
    // a window of a million pixels, paid again on each repaint that follows one of another
    // window; the small windows that share a context pay in proportion to their size. One
    // more context costs the program about ten megabytes.
    static constexpr int64_t kOwnContextArea = 400000;
    GlContext CreateContext(WindowObject& window) override {
        const Config* config = ConfigOf(window.pixelFormat);
        if (config == nullptr) return nullptr;
        const bool own = int64_t{window.ClientWidth()} * window.ClientHeight() >= kOwnContextArea;
        for (auto& [context, held] : contexts_) {
            if (!own && !held.own && held.config == config->config) {
                ++held.references;
                return reinterpret_cast<GlContext>(context);
            }
        }
        GLXContext share = contexts_.empty() ? nullptr : contexts_.begin()->first;
        GLXContext context = glXCreateNewContext(display_, config->config, GLX_RGBA_TYPE, share, True);
        if (context == nullptr && share != nullptr) {
            context = glXCreateNewContext(display_, config->config, GLX_RGBA_TYPE, nullptr, True);
        }
        if (context == nullptr) return nullptr;
        contexts_[context] = HeldContext{config->config, 1, own};
        return reinterpret_cast<GlContext>(context);
    }

    bool MakeCurrent(WindowObject* window, GlContext context) override {
        if (context == nullptr) return glXMakeCurrent(display_, 0, nullptr) == True;
        auto glx = reinterpret_cast<GLXContext>(context);
        if (contexts_.count(glx) == 0 || window == nullptr) return false;
        auto* native = static_cast<NativeWindow*>(window->native);
        if (native == nullptr) return false;
        if (glXGetCurrentContext() == glx && glXGetCurrentDrawable() == native->xid) return true;
        return glXMakeCurrent(display_, native->xid, glx) == True;
    }

    GlContext CurrentContext() override { return reinterpret_cast<GlContext>(glXGetCurrentContext()); }

    Hwnd CurrentWindow() override {
        if (glXGetCurrentContext() == nullptr) return nullptr;
        auto it = byXid_.find(glXGetCurrentDrawable());
        return it != byXid_.end() ? it->second : nullptr;
    }

    void DeleteContext(GlContext context) override {
        auto glx = reinterpret_cast<GLXContext>(context);
        auto found = contexts_.find(glx);
        if (found == contexts_.end() || --found->second.references > 0) return;
        contexts_.erase(found);
        if (glXGetCurrentContext() == glx) glXMakeCurrent(display_, 0, nullptr);
        glXDestroyContext(display_, glx);
    }

    bool SwapBuffers(WindowObject& window) override {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return false;
        glXSwapBuffers(display_, native->xid);
        // The software renderer puts the picture as an X request that waits in the buffer
        // until the next flush: sent now, it is on screen while the program goes on with
        // longer work (the preview of a large frame) before it reads its queue again.
        XFlush(display_);
        return true;
    }

    void* GetProcAddress(const char* name) override {
        return reinterpret_cast<void*>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
    }

private:
    enum {
        kWmProtocols, kWmDeleteWindow, kNetWmName, kUtf8String, kWindowType, kTypeNormal, kTypeDialog,
        kTypeUtility, kMotifHints, kWorkArea, kFrameExtents, kActiveWindow, kNetWmState, kMaxVert,
        kMaxHorz, kNetWmIcon, kNetWmPid, kWmCheck, kRequestFrameExtents, kSkipTaskbar, kSkipPager, kAtomCount
    };

    const Config* ConfigOf(int format) const {
        if (format <= 0 || static_cast<size_t>(format) > configs_.size()) return nullptr;
        return &configs_[static_cast<size_t>(format) - 1];
    }

    bool SoftwareRenderer() {
        if (const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE")) {
            if (*software != '\0' && std::strcmp(software, "0") != 0) return true;
        }
        using QueryRenderer = Bool (*)(Display*, int, int, int, unsigned int*);
        auto query = reinterpret_cast<QueryRenderer>(
            glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXQueryRendererIntegerMESA")));
        if (query != nullptr) {
            unsigned int accelerated = 1;
            constexpr int kRendererAccelerated = 0x8186;
            if (query(display_, screen_, 0, kRendererAccelerated, &accelerated)) return accelerated == 0;
        }
        return false;
    }

    void LoadConfigs() {
        int count = 0;
        GLXFBConfig* list = glXGetFBConfigs(display_, screen_, &count);
        if (list == nullptr) return;
        bool software = SoftwareRenderer();
        for (int i = 0; i < count; ++i) {
            auto attribute = [&](int name) {
                int value = 0;
                glXGetFBConfigAttrib(display_, list[i], name, &value);
                return value;
            };
            if ((attribute(GLX_RENDER_TYPE) & GLX_RGBA_BIT) == 0) continue;
            if ((attribute(GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT) == 0) continue;
            if (!attribute(GLX_X_RENDERABLE)) continue;
            XVisualInfo* visual = glXGetVisualFromFBConfig(display_, list[i]);
            if (visual == nullptr) continue;
            bool trueColour = visual->c_class == TrueColor;
            Config config;
            config.config = list[i];
            config.visualId = visual->visualid;
            config.visualDepth = visual->depth;
            XFree(visual);
            if (!trueColour) continue;
            PixelFormatInfo& info = config.info;
            info.redBits = attribute(GLX_RED_SIZE);
            info.greenBits = attribute(GLX_GREEN_SIZE);
            info.blueBits = attribute(GLX_BLUE_SIZE);
            info.alphaBits = attribute(GLX_ALPHA_SIZE);
            info.colorBits = attribute(GLX_BUFFER_SIZE);
            info.depthBits = attribute(GLX_DEPTH_SIZE);
            info.stencilBits = attribute(GLX_STENCIL_SIZE);
            info.doubleBuffer = attribute(GLX_DOUBLEBUFFER) != 0;
            info.generic = software || attribute(GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
            info.rgba = true;
            configs_.push_back(config);
        }
        XFree(list);
        // The visual every window starts with: the first hit of the usual search.
        for (int alpha : {8, 0}) {
            for (int colour : {32, 24, 16}) {
                for (int stencil : {8, 0}) {
                    for (int depth : {32, 24, 16, 8}) {
                        if (defaultFormat_ != 0) return;
                        defaultFormat_ = ChoosePixelFormat(PixelFormatRequest{alpha, colour, depth, stencil, true});
                    }
                }
            }
        }
        if (defaultFormat_ == 0 && !configs_.empty()) defaultFormat_ = 1;
    }

    Colormap ColormapFor(Visual* visual, VisualID id) {
        // On the screen's own visual the screen's colormap serves: a window with a colormap
        // of its own over another such window is shown black by screen readers that read
        // window by window (xwd), and nothing is gained by the copy.
        if (visual == DefaultVisual(display_, screen_)) return DefaultColormap(display_, screen_);
        auto it = colormaps_.find(id);
        if (it != colormaps_.end()) return it->second;
        Colormap colormap = XCreateColormap(display_, root_, visual, AllocNone);
        colormaps_[id] = colormap;
        return colormap;
    }

    ::Cursor CursorFor(int id) {
        auto it = cursors_.find(id);
        if (it != cursors_.end()) return it->second;
        ::Cursor cursor = 0;
        if (const CursorImage* picture = PixmapCursorImage(id)) cursor = MakePixmapCursor(*picture);
        if (cursor == 0) cursor = XCreateFontCursor(display_, CursorFontShape(id));
        cursors_[id] = cursor;
        return cursor;
    }

    // A cursor from a one-bit picture and its mask: black where the picture is set, white
    // elsewhere inside the mask. 0 when the server cannot make it.
    ::Cursor MakePixmapCursor(const CursorImage& picture) {
        if (!picture.Valid()) return 0;
        const auto w = static_cast<unsigned int>(picture.width), h = static_cast<unsigned int>(picture.height);
        Pixmap source = XCreateBitmapFromData(display_, root_, reinterpret_cast<const char*>(picture.bits.data()), w, h);
        Pixmap mask = XCreateBitmapFromData(display_, root_, reinterpret_cast<const char*>(picture.mask.data()), w, h);
        ::Cursor cursor = 0;
        if (source != 0 && mask != 0) {
            XColor black{}, white{};
            white.red = white.green = white.blue = 0xFFFF;
            black.flags = white.flags = DoRed | DoGreen | DoBlue;
            cursor = XCreatePixmapCursor(display_, source, mask, &black, &white,
                                         static_cast<unsigned int>(picture.hotX),
                                         static_cast<unsigned int>(picture.hotY));
        }
        if (source != 0) XFreePixmap(display_, source);
        if (mask != 0) XFreePixmap(display_, mask);
        return cursor;
    }

    bool MakeXWindow(WindowObject& window, const Config& config) {
        auto* native = static_cast<NativeWindow*>(window.native);
        XVisualInfo* visual = glXGetVisualFromFBConfig(display_, config.config);
        if (visual == nullptr) return false;
        ::Window parentX = root_;
        if (window.parent != nullptr) {
            WindowObject* parent = FindWindowObject(window.parent);
            auto* parentNative = parent == nullptr ? nullptr : static_cast<NativeWindow*>(parent->native);
            if (parentNative == nullptr) {
                XFree(visual);
                return false;
            }
            parentX = parentNative->xid;
        }
        XSetWindowAttributes attributes{};
        attributes.background_pixmap = 0;
        attributes.border_pixel = 0;
        attributes.colormap = ColormapFor(visual->visual, visual->visualid);
        attributes.event_mask = ExposureMask | StructureNotifyMask | FocusChangeMask | ButtonPressMask |
                                ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask |
                                KeyPressMask | KeyReleaseMask | PropertyChangeMask;
        attributes.override_redirect = IsPopup(window) ? True : False;
        unsigned long mask = CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask | CWOverrideRedirect;
        native->xid = XCreateWindow(display_, parentX, window.x + window.frame.left, window.y + window.frame.top,
                                    static_cast<unsigned>(std::max(1, window.ClientWidth())),
                                    static_cast<unsigned>(std::max(1, window.ClientHeight())), 0, visual->depth,
                                    InputOutput, visual->visual, mask, &attributes);
        native->visual = visual->visual;
        native->depth = visual->depth;
        native->visualId = visual->visualid;
        XFree(visual);
        if (native->xid == 0) return false;
        native->confirmedWidth = std::max(1, window.ClientWidth());
        native->confirmedHeight = std::max(1, window.ClientHeight());
        byXid_[native->xid] = HwndFromId(window.id);
        if (window.parent == nullptr) {
            XSetWMProtocols(display_, native->xid, &atoms_[kWmDeleteWindow], 1);
            XClassHint classHint;
            classHint.res_name = const_cast<char*>("orva");
            classHint.res_class = const_cast<char*>(window.className.c_str());
            XSetClassHint(display_, native->xid, &classHint);
            XWMHints hints{};
            hints.flags = InputHint | StateHint;
            hints.input = (window.exStyle & kWsExNoActivate) != 0 ? False : True;
            hints.initial_state = NormalState;
            XSetWMHints(display_, native->xid, &hints);
            // Window managers (and anything that must tell one run of the program from the
            // next on the same display) find the process behind a window through its pid.
            const long pid = static_cast<long>(getpid());
            XChangeProperty(display_, native->xid, atoms_[kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
            if (window.owner != nullptr) {
                if (WindowObject* owner = FindWindowObject(window.owner)) {
                    if (auto* ownerNative = static_cast<NativeWindow*>(owner->native)) {
                        XSetTransientForHint(display_, native->xid, ownerNative->xid);
                    }
                }
            }
            Atom type = atoms_[kTypeNormal];
            if ((window.exStyle & kWsExToolWindow) != 0) {
                type = atoms_[kTypeUtility];
            } else if (window.owner != nullptr || (window.style & kWsCaption) == kWsDlgFrame) {
                type = atoms_[kTypeDialog];
            }
            XChangeProperty(display_, native->xid, atoms_[kWindowType], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&type), 1);
            SetDecorations(window);
            SetSizeHints(window);
            SetTaskbarState(window);
            if (!IsPopup(window)) LearnFrameBeforeMap(window);
        }
        XFlush(display_);
        return true;
    }

    // A window of the program's own pages (an owned window without a title bar) is a part
    // of the window that owns it: the desktop's task bar, pager and window switcher list
    // the owner alone.
    void SetTaskbarState(const WindowObject& window) {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr || window.owner == nullptr || (window.style & kWsCaption) == kWsCaption) return;
        const Atom states[] = {atoms_[kSkipTaskbar], atoms_[kSkipPager]};
        XChangeProperty(display_, native->xid, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(states), 2);
    }

    // The window manager that runs on the screen now: its check window names itself.
    bool WindowManagerRunning() {
        auto checkOf = [this](::Window w) -> ::Window {
            Atom type = 0;
            int format = 0;
            unsigned long count = 0, after = 0;
            unsigned char* data = nullptr;
            ::Window found = 0;
            if (XGetWindowProperty(display_, w, atoms_[kWmCheck], 0, 1, False, XA_WINDOW, &type, &format, &count,
                                   &after, &data) == Success &&
                data != nullptr) {
                if (format == 32 && count == 1) found = static_cast<::Window>(*reinterpret_cast<const long*>(data));
                XFree(data);
            }
            return found;
        };
        const ::Window check = checkOf(root_);
        return check != 0 && checkOf(check) == check;
    }

    // The program places a window by its outer rectangle, frame and all. Under a window
    // manager the frame it will add is asked for before the window is first shown, and the
    // client area is put inside that rectangle: a window placed at the screen's top then
    // has its title bar on the screen, and windows placed one under another do not overlap
    // by their frames. A manager that does not answer in time leaves the frame last seen
    // on a window decorated alike (none for the first), and the frame it gives once the
    // window is shown then grows around the client area.
    void LearnFrameBeforeMap(WindowObject& window) {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr || !WindowManagerRunning()) return;
        const unsigned long kind = DecorationKind(window);
        FrameExtents frame{};
        if (!AskFrameExtents(native->xid, &frame)) {
            auto seen = framesSeen_.find(kind);
            if (seen == framesSeen_.end()) return;
            frame = seen->second;
        }
        framesSeen_[kind] = frame;
        const int32_t width = window.width, height = window.height;
        window.frame = frame;
        // The frame never takes the whole window: a window too small for it keeps a client
        // area of one pixel.
        window.width = std::max(width, frame.left + frame.right + 1);
        window.height = std::max(height, frame.top + frame.bottom + 1);
        native->confirmedWidth = std::max(1, window.ClientWidth());
        native->confirmedHeight = std::max(1, window.ClientHeight());
        XMoveResizeWindow(display_, native->xid, window.x + frame.left, window.y + frame.top,
                          static_cast<unsigned>(native->confirmedWidth), static_cast<unsigned>(native->confirmedHeight));
        SetSizeHints(window);
    }

    // Windows decorated alike get frames alike.
    static unsigned long DecorationKind(const WindowObject& window) {
        return (window.style & (kWsCaption | kWsThickFrame | kWsSysMenu | kWsBorder | kWsDlgFrame)) ^
               (window.owner != nullptr ? 1ul : 0ul);
    }

    // Asks the window manager for the frame it would give the (not yet shown) window and
    // waits a while for its answer; true with the frame when it came.
    bool AskFrameExtents(::Window xid, FrameExtents* frame) {
        XEvent request{};
        request.xclient.type = ClientMessage;
        request.xclient.window = xid;
        request.xclient.message_type = atoms_[kRequestFrameExtents];
        request.xclient.format = 32;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
        XFlush(display_);
        struct Wanted {
            ::Window xid;
            Atom atom;
        } wanted{xid, atoms_[kFrameExtents]};
        auto isAnswer = [](Display*, XEvent* event, XPointer arg) -> Bool {
            const auto* w = reinterpret_cast<const Wanted*>(arg);
            return event->type == PropertyNotify && event->xproperty.window == w->xid &&
                   event->xproperty.atom == w->atom;
        };
        const auto giveUp = std::chrono::steady_clock::now() + kFrameAnswerTime;
        XEvent answer;
        while (!XCheckIfEvent(display_, &answer, isAnswer, reinterpret_cast<XPointer>(&wanted))) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd fd{ConnectionNumber(display_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 50)));
        }
        return ReadExtents(xid, frame);
    }

    bool ReadExtents(::Window xid, FrameExtents* frame) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool read = false;
        if (XGetWindowProperty(display_, xid, atoms_[kFrameExtents], 0, 4, False, XA_CARDINAL, &type, &format,
                               &count, &after, &data) == Success &&
            data != nullptr) {
            if (format == 32 && count == 4) {
                const long* v = reinterpret_cast<const long*>(data);
                // Left, right, top, bottom; a frame of a fifth of the screen is no frame.
                auto side = [](long value) { return static_cast<int32_t>(std::clamp(value, 0l, 200l)); };
                *frame = FrameExtents{side(v[0]), side(v[2]), side(v[1]), side(v[3])};
                read = true;
            }
            XFree(data);
        }
        return read;
    }

    void SetDecorations(WindowObject& window) {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr || IsPopup(window)) return;
        MotifHints hints{};
        hints.flags = 3;  // functions and decorations
        constexpr unsigned long kFuncResize = 2, kFuncMove = 4, kFuncMinimize = 8, kFuncMaximize = 16,
                                kFuncClose = 32;
        constexpr unsigned long kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16,
                                kDecorMinimize = 32, kDecorMaximize = 64;
        hints.functions = kFuncMove | kFuncClose;
        if (window.style & (kWsBorder | kWsDlgFrame | kWsThickFrame)) hints.decorations |= kDecorBorder;
        if ((window.style & kWsCaption) == kWsCaption) hints.decorations |= kDecorTitle;
        if (window.style & kWsThickFrame) {
            hints.decorations |= kDecorResize;
            hints.functions |= kFuncResize;
        }
        if (window.style & kWsSysMenu) hints.decorations |= kDecorMenu;
        if (window.style & kWsMinimizeBox) {
            hints.decorations |= kDecorMinimize;
            hints.functions |= kFuncMinimize;
        }
        if (window.style & kWsMaximizeBox) {
            hints.decorations |= kDecorMaximize;
            hints.functions |= kFuncMaximize;
        }
        XChangeProperty(display_, native->xid, atoms_[kMotifHints], atoms_[kMotifHints], 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&hints), 5);
    }

    void SetSizeHints(WindowObject& window) {
        auto* native = static_cast<NativeWindow*>(window.native);
        if (native == nullptr) return;
        XSizeHints* hints = XAllocSizeHints();
        if (hints == nullptr) return;
        hints->flags = USPosition | USSize | PWinGravity;
        hints->x = window.x + window.frame.left;
        hints->y = window.y + window.frame.top;
        hints->width = std::max(1, window.ClientWidth());
        hints->height = std::max(1, window.ClientHeight());
        hints->win_gravity = StaticGravity;
        if ((window.style & kWsThickFrame) == 0) {
            hints->flags |= PMinSize | PMaxSize;
            hints->min_width = hints->max_width = hints->width;
            hints->min_height = hints->max_height = hints->height;
        } else {
            // The window procedure's tracking limits are outer sizes; the hints are the
            // client's.
            int32_t frameWidth = window.frame.left + window.frame.right;
            int32_t frameHeight = window.frame.top + window.frame.bottom;
            if (window.minTrack.x > 0 || window.minTrack.y > 0) {
                hints->flags |= PMinSize;
                hints->min_width = std::max(1, window.minTrack.x - frameWidth);
                hints->min_height = std::max(1, window.minTrack.y - frameHeight);
            }
            if (window.maxTrack.x > 0 && window.maxTrack.y > 0) {
                hints->flags |= PMaxSize;
                hints->max_width = std::max(1, window.maxTrack.x - frameWidth);
                hints->max_height = std::max(1, window.maxTrack.y - frameHeight);
            }
        }
        XSetWMNormalHints(display_, native->xid, hints);
        XFree(hints);
    }

    void ReadFrameExtents(Hwnd hwnd, ::Window xid) {
        FrameExtents frame;
        if (!ReadExtents(xid, &frame)) return;
        if (WindowObject* window = FindWindowObject(hwnd)) framesSeen_[DecorationKind(*window)] = frame;
        OnNativeFrame(hwnd, frame.left, frame.top, frame.right, frame.bottom);
    }

    // Runs `change` (a withdrawal or a destruction of a top-level window). The window
    // may go before its FocusOut is read, so when it held the focus the activation is
    // settled from where the focus went.
    template <class Change>
    void WithFocusCheck(const WindowObject& window, Change change) {
        bool hadFocus = window.parent == nullptr && FocusHolder() == HwndFromId(window.id);
        change();
        if (hadFocus) OnNativeActiveGone(FocusHolder());
    }

    // The window of ours that holds the keyboard focus now (the server's state, ahead of
    // the events still queued), null when another program's window or none has it.
    Hwnd FocusHolder() {
        ::Window focus = 0;
        int revert = 0;
        XGetInputFocus(display_, &focus, &revert);
        return focus == None || focus == PointerRoot ? nullptr : FindHwnd(focus);
    }

    void Translate(XEvent& event) {
        // Selection traffic goes to the clipboard's own window.
        if (event.type == SelectionRequest || event.type == SelectionNotify || event.type == SelectionClear) {
            X11ClipboardHandleEvent(&event);
            return;
        }
        if (event.xany.window == root_) {
            if (event.type == ConfigureNotify &&
                (event.xconfigure.width != screenWidth_ || event.xconfigure.height != screenHeight_)) {
                screenWidth_ = event.xconfigure.width;
                screenHeight_ = event.xconfigure.height;
                OnNativeDisplayChange(screenWidth_, screenHeight_);
            }
            return;
        }
        Hwnd hwnd = FindHwnd(event.xany.window);
        if (hwnd == nullptr) return;
        WindowObject* window = FindWindowObject(hwnd);
        if (window == nullptr) return;
        switch (event.type) {
            case Expose:
                OnNativeExpose(hwnd);
                break;
            case ConfigureNotify: {
                int x = event.xconfigure.x, y = event.xconfigure.y;
                if (window->parent == nullptr && !event.xconfigure.send_event) {
                    ::Window child = 0;
                    XTranslateCoordinates(display_, event.xconfigure.window, root_, 0, 0, &x, &y, &child);
                }
                OnNativeConfigure(hwnd, x, y, event.xconfigure.width, event.xconfigure.height);
                if (auto* native = static_cast<NativeWindow*>(window->native);
                    native != nullptr && (event.xconfigure.width != native->confirmedWidth ||
                                          event.xconfigure.height != native->confirmedHeight)) {
                    native->confirmedWidth = event.xconfigure.width;
                    native->confirmedHeight = event.xconfigure.height;
                    InvalidateRect(hwnd);
                }
                break;
            }
            case MapNotify:
                OnNativeMapped(hwnd, true);
                break;
            case UnmapNotify: {
                auto* native = static_cast<NativeWindow*>(window->native);
                const bool ours = native != nullptr && native->pendingUnmaps > 0;
                if (ours) --native->pendingUnmaps;
                // Our own hide, seen after the window was shown again: not a loss of the
                // window, so neither the capture nor the show state changes.
                if (ours && window->visible) break;
                if (GetCapture() == hwnd) OnNativeGrabLost();
                OnNativeMapped(hwnd, false);
                break;
            }
            case FocusIn:
                if (event.xfocus.detail == NotifyPointer || event.xfocus.detail == NotifyInferior) break;
                if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) break;
                OnNativeFocus(hwnd, true);
                break;
            case FocusOut: {
                if (event.xfocus.detail == NotifyPointer || event.xfocus.detail == NotifyInferior) break;
                if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) break;
                // A window hidden and shown again with activation gets the notice of its
                // hide after the focus came back: not a loss, the new capture stays.
                Hwnd holder = FocusHolder();
                if (holder == hwnd) break;
                // The focus going to the window that holds the capture (a press there
                // activated it and started a drag) takes nothing from the drag. Nor does
                // a focus change the server made before the capture was taken: a press
                // activates its window and then opens a menu that grabs the pointer, and
                // the notice of that activation often comes only after the grab.
                const bool beforeGrab = event.xfocus.serial < grabSerial_;
                if (GetCapture() != nullptr && !beforeGrab && !SameTopLevel(GetCapture(), holder))
                    OnNativeGrabLost();
                OnNativeFocus(hwnd, false, holder);
                break;
            }
            case ClientMessage:
                if (event.xclient.message_type == atoms_[kWmProtocols] &&
                    static_cast<Atom>(event.xclient.data.l[0]) == atoms_[kWmDeleteWindow]) {
                    OnNativeCloseRequest(hwnd);
                }
                break;
            case ButtonPress:
            case ButtonRelease:
                OnNativeButton(hwnd, static_cast<int>(event.xbutton.button), event.type == ButtonPress,
                               event.xbutton.x, event.xbutton.y, MkFromState(event.xbutton.state),
                               static_cast<uint32_t>(event.xbutton.time));
                break;
            case MotionNotify:
                OnNativeMotion(hwnd, event.xmotion.x, event.xmotion.y, MkFromState(event.xmotion.state));
                break;
            case EnterNotify:
                if (event.xcrossing.mode == NotifyNormal) {
                    OnNativeMotion(hwnd, event.xcrossing.x, event.xcrossing.y, MkFromState(event.xcrossing.state));
                }
                break;
            case PropertyNotify:
                if (event.xproperty.atom == atoms_[kFrameExtents]) ReadFrameExtents(hwnd, event.xproperty.window);
                break;
            case KeyPress:
            case KeyRelease:
                if (gKeyHandler != nullptr) gKeyHandler(hwnd, event.type == KeyPress, &event.xkey);
                break;
            default:
                break;
        }
    }

    Display* display_;
    int screen_ = 0;
    ::Window root_ = 0;
    int32_t screenWidth_ = 0, screenHeight_ = 0;
    Atom atoms_[kAtomCount] = {};
    std::vector<Config> configs_;
    int defaultFormat_ = 0;
    // The contexts made, with the pixel format each serves and its count of windows.
    struct HeldContext {
        GLXFBConfig config = nullptr;
        int references = 0;
        bool own = false;  // one window's alone
    };
    std::map<GLXContext, HeldContext> contexts_;
    std::map<int, ::Cursor> cursors_;
    std::map<VisualID, Colormap> colormaps_;
    std::unordered_map<::Window, Hwnd> byXid_;
    unsigned long grabSerial_ = 0;  // the request number of the last pointer grab
    // The frames the window manager gave, by the kind of decoration.
    std::map<unsigned long, FrameExtents> framesSeen_;
};

}  // namespace

std::unique_ptr<WindowBackend> CreateX11Backend(std::string* failure) {
    if (failure != nullptr) failure->clear();
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        if (failure != nullptr) *failure = "no display is set (DISPLAY)";
        return nullptr;
    }
    // An X server resets when its last client leaves, and drops the connections it takes
    // meanwhile (a reset, or an end before the answer). A start racing a short-lived client
    // on the same display meets that, so a failed open is tried again for a while, unless
    // nothing listens there at all.
    Display* display = nullptr;
    int error = 0;
    const auto giveUp = std::chrono::steady_clock::now() + kDisplayRetryTime;
    for (;;) {
        errno = 0;
        display = XOpenDisplay(nullptr);
        error = errno;
        if (display != nullptr || error == ECONNREFUSED || error == ENOENT) break;
        if (std::chrono::steady_clock::now() + kDisplayRetryPause > giveUp) break;
        std::this_thread::sleep_for(kDisplayRetryPause);
    }
    if (display == nullptr) {
        if (failure != nullptr) {
            *failure = std::string("can`t open display \"") + name + "\"";
            if (error != 0) *failure += std::string(" (") + std::strerror(error) + ")";
        }
        return nullptr;
    }
    auto backend = std::make_unique<X11Backend>(display);
    gX11 = backend.get();
    // A held key repeats as presses alone, without a release before each.
    Bool detectable = False;
    XkbSetDetectableAutoRepeat(display, True, &detectable);
    return backend;
}

void SetX11KeyHandler(X11KeyHandler handler) { gKeyHandler = handler; }

void* X11Display() {
    return gX11 != nullptr && ActiveBackend() == gX11 ? gX11->display() : nullptr;
}

unsigned long X11WindowOf(Hwnd hwnd) {
    if (X11Display() == nullptr) return 0;
    WindowObject* window = FindWindowObject(hwnd);
    if (window == nullptr || window->native == nullptr) return 0;
    return static_cast<NativeWindow*>(window->native)->xid;
}

Hwnd X11FindWindow(unsigned long xWindow) {
    if (X11Display() == nullptr) return nullptr;
    return gX11->FindHwnd(xWindow);
}

bool X11GrabKeyboard(Hwnd hwnd) {
    auto* display = static_cast<Display*>(X11Display());
    unsigned long xid = X11WindowOf(hwnd);
    if (display == nullptr || xid == 0) return false;
    bool grabbed = XGrabKeyboard(display, xid, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    XFlush(display);
    return grabbed;
}

void X11UngrabKeyboard() {
    auto* display = static_cast<Display*>(X11Display());
    if (display == nullptr) return;
    XUngrabKeyboard(display, CurrentTime);
    XFlush(display);
}

}  // namespace orva::platform
