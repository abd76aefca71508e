#pragma once
// A backend without a display, for tests: it records what the window layer asks of the
// native side as short text lines, keeps no native state beyond that, and offers a list
// of pixel formats chosen by the test. Native events are fed through window_events.h.
#include <string>
#include <vector>

#include "platform/window_backend.h"

namespace orva::platform {

class FakeBackend final : public WindowBackend {
public:
    FakeBackend();
    ~FakeBackend() override;

    // Test settings.
    int32_t screenWidth = 1280;
    int32_t screenHeight = 1024;
    Rect workArea{0, 0, 1280, 1000};
    bool trueColor = true;
    // Frame of a top-level window with a caption, a border-only frame, and none.
    FrameExtents captionFrame{4, 24, 4, 4};
    FrameExtents borderFrame{1, 1, 1, 1};
    bool failCreate = false;
    std::vector<PixelFormatInfo> formats;  // format n is formats[n - 1]
    Point pointer;
    // The pointer warp moves the pointer only while this is set (the pointer "over" the
    // window asked for).
    bool pointerOverWindow = true;

    // What was asked, one line per call ("create TK_GW", "show 1", "geometry 10,20 300x200",
    // "raise", "lower", "below <title of the window above>", "activate", "title <utf8>", "grab", "ungrab", "cursor 32512",
    // "iconify", "icon 147", "limits 10x4 0x0" (minimum, maximum), "pixmap-cursor 158 16x16",
    // "swap", "current", "release-current",
    // "context", "delete-context", "warp 12,34" (client point)).
    std::vector<std::string> calls;
    std::vector<std::string> CallsFor(Hwnd hwnd) const;
    size_t Count(const std::string& call) const;
    void ClearCalls() { calls.clear(); }

    // The window the fake context is current on, and the number of swaps.
    Hwnd currentWindow = nullptr;
    GlContext currentContext = nullptr;
    int swaps = 0;

    void ScreenSize(int32_t* width, int32_t* height) override;
    Rect WorkArea() override;
    bool OffersTrueColor() override;
    FrameExtents Frame(const WindowObject& window) override;
    bool CreateNative(WindowObject& window) override;
    void DestroyNative(WindowObject& window) override;
    void SetVisible(WindowObject& window, bool visible) override;
    void SetGeometry(WindowObject& window) override;
    void Restack(WindowObject& window, bool top) override;
    void RestackBelow(WindowObject& window, WindowObject& above) override;
    void Activate(WindowObject& window) override;
    void SetTitle(WindowObject& window, const std::string& utf8) override;
    void StyleChanged(WindowObject& window) override;
    void Iconify(WindowObject& window) override;
    void SetIcon(WindowObject& window, int resourceId) override;
    void SetSizeLimits(WindowObject& window) override;
    void ShowCursor(WindowObject* window, int cursorId) override;
    void DefinePixmapCursor(int cursorId, const CursorImage& image) override;
    bool GrabPointer(WindowObject& window) override;
    void UngrabPointer() override;
    Point PointerPosition() override;
    bool WarpPointer(WindowObject& window, Point client, Point* screen) override;
    int EventFd() override;
    void Pump() override;
    int ChoosePixelFormat(const PixelFormatRequest& request) override;
    bool DescribePixelFormat(int format, PixelFormatInfo* info) override;
    bool SetPixelFormat(WindowObject& window, int format) override;
    GlContext CreateContext(WindowObject& window) override;
    bool MakeCurrent(WindowObject* window, GlContext context) override;
    GlContext CurrentContext() override;
    Hwnd CurrentWindow() override;
    void DeleteContext(GlContext context) override;
    bool SwapBuffers(WindowObject& window) override;
    void* GetProcAddress(const char* name) override;

private:
    void Record(const WindowObject* window, const std::string& text);
    std::vector<std::pair<uintptr_t, std::string>> tagged_;
    uintptr_t nextContext_ = 1;
    std::vector<uintptr_t> contexts_;
};

// Installs a fresh fake backend for the lifetime of the object (tests).
class ScopedFakeBackend {
public:
    ScopedFakeBackend();
    ~ScopedFakeBackend();
    FakeBackend& operator*() { return backend_; }
    FakeBackend* operator->() { return &backend_; }

private:
    FakeBackend backend_;
};

}  // namespace orva::platform
