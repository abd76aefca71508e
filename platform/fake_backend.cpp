// The recording backend used by tests.
#include "platform/fake_backend.h"

#include <algorithm>
#include <cstdio>

#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "platform/window_registry.h"

namespace orva::platform {

FakeBackend::FakeBackend() {
    PixelFormatInfo format;
    format.alphaBits = 8;
    format.colorBits = 32;
    format.redBits = format.greenBits = format.blueBits = 8;
    format.depthBits = 24;
    format.stencilBits = 8;
    format.doubleBuffer = true;
    formats.push_back(format);
}

FakeBackend::~FakeBackend() = default;

void FakeBackend::Record(const WindowObject* window, const std::string& text) {
    calls.push_back(text);
    tagged_.emplace_back(window == nullptr ? 0 : window->id, text);
}

std::vector<std::string> FakeBackend::CallsFor(Hwnd hwnd) const {
    std::vector<std::string> out;
    for (const auto& [id, text] : tagged_) {
        if (id == IdFromHwnd(hwnd)) out.push_back(text);
    }
    return out;
}

size_t FakeBackend::Count(const std::string& call) const {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

void FakeBackend::ScreenSize(int32_t* width, int32_t* height) {
    *width = screenWidth;
    *height = screenHeight;
}

Rect FakeBackend::WorkArea() { return workArea; }
bool FakeBackend::OffersTrueColor() { return trueColor; }

FrameExtents FakeBackend::Frame(const WindowObject& window) {
    if ((window.style & kWsCaption) == kWsCaption || (window.style & kWsThickFrame) != 0) return captionFrame;
    if ((window.style & (kWsBorder | kWsDlgFrame)) != 0) return borderFrame;
    return FrameExtents{};
}

bool FakeBackend::CreateNative(WindowObject& window) {
    Record(&window, "create " + window.className);
    return !failCreate;
}

void FakeBackend::DestroyNative(WindowObject& window) {
    if (currentWindow == HwndFromId(window.id)) currentWindow = nullptr;
    Record(&window, "destroy");
}

void FakeBackend::SetVisible(WindowObject& window, bool visible) {
    Record(&window, visible ? "show 1" : "show 0");
}

void FakeBackend::SetGeometry(WindowObject& window) {
    char text[96];
    std::snprintf(text, sizeof text, "geometry %d,%d %dx%d", window.x, window.y, window.width, window.height);
    Record(&window, text);
}

void FakeBackend::Restack(WindowObject& window, bool top) { Record(&window, top ? "raise" : "lower"); }
void FakeBackend::RestackBelow(WindowObject& window, WindowObject& above) { Record(&window, "below " + above.title); }
void FakeBackend::Activate(WindowObject& window) { Record(&window, "activate"); }
void FakeBackend::SetTitle(WindowObject& window, const std::string& utf8) { Record(&window, "title " + utf8); }
void FakeBackend::StyleChanged(WindowObject& window) { Record(&window, "style"); }
void FakeBackend::Iconify(WindowObject& window) { Record(&window, "iconify"); }
void FakeBackend::SetIcon(WindowObject& window, int resourceId) {
    Record(&window, "icon " + std::to_string(resourceId));
}

void FakeBackend::SetSizeLimits(WindowObject& window) {
    char text[96];
    std::snprintf(text, sizeof text, "limits %dx%d %dx%d", window.minTrack.x, window.minTrack.y, window.maxTrack.x,
                  window.maxTrack.y);
    Record(&window, text);
}

void FakeBackend::ShowCursor(WindowObject* window, int cursorId) {
    Record(window, "cursor " + std::to_string(cursorId));
}

void FakeBackend::DefinePixmapCursor(int cursorId, const CursorImage& image) {
    Record(nullptr, "pixmap-cursor " + std::to_string(cursorId) + " " + std::to_string(image.width) + "x" +
                        std::to_string(image.height));
}

bool FakeBackend::GrabPointer(WindowObject& window) {
    Record(&window, "grab");
    return true;
}

void FakeBackend::UngrabPointer() { Record(nullptr, "ungrab"); }
Point FakeBackend::PointerPosition() { return pointer; }

bool FakeBackend::WarpPointer(WindowObject& window, Point client, Point* screen) {
    if (!pointerOverWindow) return false;
    Record(&window, "warp " + std::to_string(client.x) + "," + std::to_string(client.y));
    Point at = client;
    ClientToScreen(HwndFromId(window.id), &at);
    pointer = at;
    if (screen != nullptr) *screen = at;
    return true;
}
int FakeBackend::EventFd() { return -1; }
void FakeBackend::Pump() {}

int FakeBackend::ChoosePixelFormat(const PixelFormatRequest& request) {
    for (size_t i = 0; i < formats.size(); ++i) {
        const PixelFormatInfo& info = formats[i];
        if (info.doubleBuffer == request.doubleBuffer && info.alphaBits >= request.alphaBits &&
            info.colorBits >= request.colorBits && info.depthBits >= request.depthBits &&
            info.stencilBits >= request.stencilBits) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

bool FakeBackend::DescribePixelFormat(int format, PixelFormatInfo* info) {
    if (format <= 0 || static_cast<size_t>(format) > formats.size()) return false;
    *info = formats[static_cast<size_t>(format) - 1];
    return true;
}

bool FakeBackend::SetPixelFormat(WindowObject& window, int format) {
    Record(&window, "pixel-format " + std::to_string(format));
    return format > 0 && static_cast<size_t>(format) <= formats.size();
}

GlContext FakeBackend::CreateContext(WindowObject& window) {
    Record(&window, "context");
    contexts_.push_back(nextContext_);
    return reinterpret_cast<GlContext>(nextContext_++);
}

bool FakeBackend::MakeCurrent(WindowObject* window, GlContext context) {
    if (context == nullptr) {
        currentWindow = nullptr;
        currentContext = nullptr;
        Record(nullptr, "release-current");
        return true;
    }
    auto id = reinterpret_cast<uintptr_t>(context);
    if (window == nullptr || std::find(contexts_.begin(), contexts_.end(), id) == contexts_.end()) return false;
    if (currentContext != context || currentWindow != HwndFromId(window->id)) Record(window, "current");
    currentWindow = HwndFromId(window->id);
    currentContext = context;
    return true;
}

GlContext FakeBackend::CurrentContext() { return currentContext; }

Hwnd FakeBackend::CurrentWindow() { return currentContext != nullptr ? currentWindow : nullptr; }

void FakeBackend::DeleteContext(GlContext context) {
    auto id = reinterpret_cast<uintptr_t>(context);
    std::erase(contexts_, id);
    if (currentContext == context) {
        currentContext = nullptr;
        currentWindow = nullptr;
    }
    Record(nullptr, "delete-context");
}

bool FakeBackend::SwapBuffers(WindowObject& window) {
    ++swaps;
    Record(&window, "swap");
    return true;
}

void* FakeBackend::GetProcAddress(const char* name) {
    (void)name;
    return nullptr;
}

ScopedFakeBackend::ScopedFakeBackend() {
    SetWindowBackend(&backend_);
    ResetThreadQueueForTest();
}

ScopedFakeBackend::~ScopedFakeBackend() {
    // Windows left by a test go with their backend.
    std::vector<uintptr_t> ids = WindowsOfQueue(CurrentThreadQueue().get());
    for (uintptr_t id : ids) DestroyWindow(HwndFromId(id));
    ResetThreadQueueForTest();
    SetWindowBackend(nullptr);
}

}  // namespace orva::platform
