#pragma once
// The native side of the window layer. The generic layer (window_api.cpp) keeps every
// window's record, geometry and state and sends the messages; a backend only makes
// the native windows and GL surfaces follow and feeds native events back through
// window_events.h. Two backends exist: Xlib/GLX and a recording fake for tests.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/cursor_resources.h"
#include "platform/gl_context.h"
#include "platform/msg_types.h"

namespace orva::platform {

struct ThreadQueue;

// Frame sizes around the client area of a top-level window.
struct FrameExtents {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// One window as the generic layer keeps it. Positions: for a top-level window the
// outer (frame) rectangle in screen coordinates; for a child the outer rectangle in
// its parent's client coordinates.
struct WindowObject {
    uintptr_t id = 0;
    std::string className;
    WndProc proc = nullptr;
    uint32_t classStyle = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    Hwnd parent = nullptr;  // child windows (kWsChild)
    Hwnd owner = nullptr;   // owned top-level windows
    std::string title;      // program text (8-bit)
    LParam userData = 0;
    int32_t x = 0, y = 0, width = 0, height = 0;
    FrameExtents frame;
    Rect normalRect;        // outer rectangle to restore from minimised or maximised
    bool visible = false;
    bool enabled = true;
    int showState = kSwShowNormal;  // kSwShowNormal, kSwShowMinimized or kSwMaximize
    bool needsPaint = false;
    bool destroying = false;
    bool sizeSent = false;
    bool inChildActivate = false;  // WM_CHILDACTIVATE runs: no second one meanwhile
    // Outer tracking limits the window procedure gave on WM_GETMINMAXINFO (0: none).
    Point minTrack;
    Point maxTrack;
    int pixelFormat = 0;
    Cursor cursor = nullptr;  // the cursor last set while the pointer was over it
    std::shared_ptr<ThreadQueue> queue;
    void* native = nullptr;   // backend data

    int32_t ClientWidth() const;
    int32_t ClientHeight() const;
};

class WindowBackend {
public:
    virtual ~WindowBackend() = default;

    virtual void ScreenSize(int32_t* width, int32_t* height) = 0;
    virtual Rect WorkArea() = 0;
    virtual bool OffersTrueColor() = 0;
    // The frame a window of these styles gets, as far as it is known before mapping.
    virtual FrameExtents Frame(const WindowObject& window) = 0;

    virtual bool CreateNative(WindowObject& window) = 0;
    virtual void DestroyNative(WindowObject& window) = 0;
    virtual void SetVisible(WindowObject& window, bool visible) = 0;
    virtual void SetGeometry(WindowObject& window) = 0;
    virtual void Restack(WindowObject& window, bool top) = 0;
    // Puts the window just below `above` in the stacking order.
    virtual void RestackBelow(WindowObject& window, WindowObject& above) = 0;
    virtual void Activate(WindowObject& window) = 0;
    virtual void SetTitle(WindowObject& window, const std::string& utf8) = 0;
    virtual void StyleChanged(WindowObject& window) = 0;
    virtual void Iconify(WindowObject& window) = 0;
    // The window's icon: the compiled-in picture of that resource number.
    virtual void SetIcon(WindowObject& window, int resourceId) = 0;
    // The window's tracking limits (minTrack, maxTrack) changed.
    virtual void SetSizeLimits(WindowObject& window) = 0;
    virtual void ShowCursor(WindowObject* window, int cursorId) = 0;
    // A pixmap cursor was made (or made again) under the number: a native cursor made
    // before for it is out of date.
    virtual void DefinePixmapCursor(int cursorId, const CursorImage& image) {
        (void)cursorId;
        (void)image;
    }
    virtual bool GrabPointer(WindowObject& window) = 0;
    virtual void UngrabPointer() = 0;
    virtual Point PointerPosition() = 0;
    // Moves the pointer to a point of the window's client area, but only while the
    // pointer lies over that window itself (not over a child or another window); the
    // screen point it went to is stored in `screen`. False when it did not move.
    virtual bool WarpPointer(WindowObject& window, Point client, Point* screen) {
        (void)window;
        (void)client;
        (void)screen;
        return false;
    }

    // Native events: a descriptor to wait on (-1 none), and the translation of every
    // event that is pending, without waiting.
    virtual int EventFd() = 0;
    virtual void Pump() = 0;

    // GL.
    virtual int ChoosePixelFormat(const PixelFormatRequest& request) = 0;
    virtual bool DescribePixelFormat(int format, PixelFormatInfo* info) = 0;
    virtual bool SetPixelFormat(WindowObject& window, int format) = 0;
    virtual GlContext CreateContext(WindowObject& window) = 0;
    virtual bool MakeCurrent(WindowObject* window, GlContext context) = 0;
    virtual GlContext CurrentContext() = 0;
    // The window whose surface the current context draws on (null: none, or not ours).
    virtual Hwnd CurrentWindow() = 0;
    virtual void DeleteContext(GlContext context) = 0;
    virtual bool SwapBuffers(WindowObject& window) = 0;
    virtual void* GetProcAddress(const char* name) = 0;
};

// The backend in use; the Xlib one is opened on first use when none was set. Null when
// no display can be opened.
WindowBackend* ActiveBackend();
// Backend look-ups (every X and GL call of the window layer makes one) from a thread
// other than the one that owns the backend, since the process started. The playback
// thread must make none: tests check that it stays put while frames play.
uint64_t BackendCallsOffItsThread();
// Installs a backend (tests install the fake); null returns to the default. The caller
// keeps ownership. Existing windows must be gone.
void SetWindowBackend(WindowBackend* backend);

// The generic layer's record of a live window (null when there is none). Only for the
// thread that owns the window (the UI thread).
WindowObject* FindWindowObject(Hwnd hwnd);

}  // namespace orva::platform
