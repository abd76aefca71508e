// GL calls on a window, passed to the active backend.
#include "platform/gl_context.h"

#include "platform/window_api.h"
#include "platform/window_backend.h"

namespace orva::platform {

namespace {

WindowObject* WindowOf(Hdc hdc) {
    Hwnd hwnd = WindowFromDC(hdc);
    return hwnd == nullptr ? nullptr : FindWindowObject(hwnd);
}

}  // namespace

int ChoosePixelFormat(Hdc hdc, const PixelFormatRequest& request) {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr || WindowOf(hdc) == nullptr) return 0;
    return backend->ChoosePixelFormat(request);
}

bool DescribePixelFormat(Hdc hdc, int format, PixelFormatInfo* info) {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr || info == nullptr || WindowOf(hdc) == nullptr) return false;
    return backend->DescribePixelFormat(format, info);
}

bool SetPixelFormat(Hdc hdc, int format) {
    WindowBackend* backend = ActiveBackend();
    WindowObject* window = WindowOf(hdc);
    if (backend == nullptr || window == nullptr || format <= 0) return false;
    // A window's format is set once.
    if (window->pixelFormat != 0) return window->pixelFormat == format;
    if (!backend->SetPixelFormat(*window, format)) return false;
    window->pixelFormat = format;
    return true;
}

int GetPixelFormat(Hdc hdc) {
    WindowObject* window = WindowOf(hdc);
    return window == nullptr ? 0 : window->pixelFormat;
}

GlContext CreateGlContext(Hdc hdc) {
    WindowBackend* backend = ActiveBackend();
    WindowObject* window = WindowOf(hdc);
    if (backend == nullptr || window == nullptr || window->pixelFormat == 0) return nullptr;
    return backend->CreateContext(*window);
}

bool MakeGlCurrent(Hdc hdc, GlContext context) {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr) return false;
    if (context == nullptr) return backend->MakeCurrent(nullptr, nullptr);
    WindowObject* window = WindowOf(hdc);
    if (window == nullptr) return false;
    return backend->MakeCurrent(window, context);
}

GlContext CurrentGlContext() {
    WindowBackend* backend = ActiveBackend();
    return backend == nullptr ? nullptr : backend->CurrentContext();
}

Hdc CurrentGlDrawable() {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr) return nullptr;
    Hwnd hwnd = backend->CurrentWindow();
    return hwnd != nullptr ? GetDC(hwnd) : nullptr;
}

bool DeleteGlContext(GlContext context) {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr || context == nullptr) return false;
    backend->DeleteContext(context);
    return true;
}

bool SwapBuffers(Hdc hdc) {
    WindowBackend* backend = ActiveBackend();
    WindowObject* window = WindowOf(hdc);
    if (backend == nullptr || window == nullptr) return false;
    return backend->SwapBuffers(*window);
}

void* GlGetProcAddress(const char* name) {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr || name == nullptr) return nullptr;
    return backend->GetProcAddress(name);
}

}  // namespace orva::platform
