// The generic window layer: the registry of live windows, classes, creation and
// destruction, show state, geometry, texts, capture, cursors, activation and painting.
// The active backend only makes the native side follow.
#include "platform/window_api.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "platform/cursor_resources.h"
#include "platform/msg_queue.h"
#include "platform/window_backend.h"
#include "platform/window_events.h"
#include "platform/window_icons.h"
#include "platform/window_registry.h"
#include "platform/window_text.h"
#include "platform/x11_backend.h"

namespace orva::platform {

namespace {

struct WindowClass {
    WndProc proc = nullptr;
    uint32_t style = 0;
};

std::mutex gRegistryMutex;
std::map<uintptr_t, std::unique_ptr<WindowObject>> gWindows;
std::vector<uintptr_t> gZOrder;  // top-level windows, topmost first
uintptr_t gNextId = 0x10;
std::map<std::string, WindowClass> gClasses;

WindowBackend* gBackend = nullptr;
std::unique_ptr<WindowBackend> gDefaultBackend;
bool gDefaultTried = false;
// Why the display could not be opened, for the log.
std::string gDisplayFailure;
std::thread::id gBackendThread;
bool gBackendThreadSet = false;
std::atomic<uint64_t> gOffThreadBackendCalls{0};

Hwnd gActive = nullptr;
Hwnd gFocus = nullptr;
Hwnd gCapture = nullptr;
Cursor gCursor = nullptr;
int gCursorCount = 0;
Point gPointer;

WindowObject* Find(Hwnd hwnd) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gWindows.find(IdFromHwnd(hwnd));
    return it == gWindows.end() ? nullptr : it->second.get();
}

Hwnd HandleOf(const WindowObject* window) { return HwndFromId(window->id); }

std::vector<uintptr_t> ChildrenOf(uintptr_t id) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    std::vector<uintptr_t> out;
    for (auto& [key, window] : gWindows) {
        if (window->parent == HwndFromId(id)) out.push_back(key);
    }
    return out;
}

std::vector<uintptr_t> OwnedBy(uintptr_t id) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    std::vector<uintptr_t> out;
    for (auto& [key, window] : gWindows) {
        if (window->owner == HwndFromId(id) && window->parent == nullptr) out.push_back(key);
    }
    return out;
}

Hwnd TopLevelOf(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    while (window != nullptr && window->parent != nullptr) {
        hwnd = window->parent;
        window = Find(hwnd);
    }
    return window == nullptr ? nullptr : hwnd;
}

bool IsDescendantOf(Hwnd hwnd, Hwnd ancestor) {
    for (WindowObject* window = Find(hwnd); window != nullptr; window = Find(window->parent)) {
        if (HandleOf(window) == ancestor) return true;
        if (window->parent == nullptr) break;
    }
    return false;
}

// The client area's top-left corner in screen coordinates.
Point ClientOrigin(const WindowObject& window) {
    Point origin{window.x + window.frame.left, window.y + window.frame.top};
    if (window.parent != nullptr) {
        if (WindowObject* parent = Find(window.parent)) {
            Point base = ClientOrigin(*parent);
            origin.x += base.x;
            origin.y += base.y;
        }
    }
    return origin;
}

LParam ClientSizeParam(const WindowObject& window) {
    return MakeLParam(window.ClientWidth(), window.ClientHeight());
}

// WM_SIZE kind for the current show state.
WParam SizeKind(const WindowObject& window) {
    if (window.showState == kSwShowMinimized) return kSizeMinimized;
    if (window.showState == kSwMaximize) return kSizeMaximized;
    return kSizeRestored;
}

void SendSizeAndMove(Hwnd hwnd, bool size, bool move) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return;
    if (size) {
        window->needsPaint = true;
        SendMessage(hwnd, kWmSize, SizeKind(*window), ClientSizeParam(*window));
    }
    window = Find(hwnd);
    if (window != nullptr && move) {
        int32_t cx = window->x + window->frame.left;
        int32_t cy = window->y + window->frame.top;
        SendMessage(hwnd, kWmMove, 0, MakeLParam(cx, cy));
    }
}

Rect OuterRect(const WindowObject& window) {
    return Rect{window.x, window.y, window.x + window.width, window.y + window.height};
}

// Asks the window procedure for the window's tracking limits (WM_GETMINMAXINFO) and
// keeps them; true when they changed. Only top-level windows have limits that the native
// side enforces (the window manager, while the user sizes the window).
bool QueryTrackSize(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    WindowBackend* backend = ActiveBackend();
    if (window == nullptr || window->parent != nullptr || backend == nullptr) return false;
    int32_t screenWidth = 0, screenHeight = 0;
    backend->ScreenSize(&screenWidth, &screenHeight);
    const FrameExtents& frame = window->frame;
    MinMaxInfo info;
    info.maxSize = Point{screenWidth + frame.left + frame.right, screenHeight + frame.top + frame.bottom};
    info.maxPosition = Point{-frame.left, -frame.top};
    info.maxTrackSize = info.maxSize;
    const Point unlimited = info.maxTrackSize;
    SendMessage(hwnd, kWmGetMinMaxInfo, 0, reinterpret_cast<LParam>(&info));
    window = Find(hwnd);
    if (window == nullptr) return false;
    Point minTrack{std::max(0, info.minTrackSize.x), std::max(0, info.minTrackSize.y)};
    Point maxTrack;
    if (info.maxTrackSize.x != unlimited.x || info.maxTrackSize.y != unlimited.y) {
        maxTrack = Point{std::max(1, info.maxTrackSize.x), std::max(1, info.maxTrackSize.y)};
    }
    bool changed = minTrack.x != window->minTrack.x || minTrack.y != window->minTrack.y ||
                   maxTrack.x != window->maxTrack.x || maxTrack.y != window->maxTrack.y;
    window->minTrack = minTrack;
    window->maxTrack = maxTrack;
    return changed;
}

// Asks again and hands changed limits to the native side.
void RefreshSizeLimits(Hwnd hwnd) {
    if (!QueryTrackSize(hwnd)) return;
    WindowObject* window = Find(hwnd);
    WindowBackend* backend = ActiveBackend();
    if (window != nullptr && backend != nullptr) backend->SetSizeLimits(*window);
}

// A child window shown, moved or sized with activation hears WM_CHILDACTIVATE (once:
// what its handler does to the window does not send another).
void SendChildActivate(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || window->parent == nullptr || window->inChildActivate) return;
    window->inChildActivate = true;
    SendMessage(hwnd, kWmChildActivate, 0, 0);
    if ((window = Find(hwnd)) != nullptr) window->inChildActivate = false;
}

// Moves and sizes the outer rectangle; sends WM_SIZE and WM_MOVE when they changed.
void Place(Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return;
    width = std::max(0, width);
    height = std::max(0, height);
    bool sized = width != window->width || height != window->height;
    bool moved = x != window->x || y != window->y;
    if (!sized && !moved) return;
    // The limits go with the new geometry: a size change asks for them as it does there.
    if (sized) {
        QueryTrackSize(hwnd);
        if ((window = Find(hwnd)) == nullptr) return;
    }
    window->x = x;
    window->y = y;
    window->width = width;
    window->height = height;
    if (WindowBackend* backend = ActiveBackend()) backend->SetGeometry(*window);
    SendSizeAndMove(hwnd, sized, moved);
}

Rect ParentArea(const WindowObject& window) {
    if (window.parent != nullptr) {
        if (WindowObject* parent = Find(window.parent)) {
            return Rect{0, 0, parent->ClientWidth(), parent->ClientHeight()};
        }
    }
    return GetWorkArea();
}

void RaiseInZOrder(uintptr_t id, bool top) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = std::find(gZOrder.begin(), gZOrder.end(), id);
    if (it == gZOrder.end()) return;
    gZOrder.erase(it);
    if (top) {
        gZOrder.insert(gZOrder.begin(), id);
    } else {
        gZOrder.push_back(id);
    }
}

// Raises a top-level window as the native side would without a window manager, and
// keeps the two rules of the stacking order that the system must keep itself there:
// the windows a window owns (its tool windows and dialogs) lie above it, and the
// windows kept on top (kWsExTopmost: the menus) lie above every other window. The
// window goes just below the lowest of those, which keep the order they had among
// themselves; hidden ones count too, so that they come up in their place when shown.
// The native side gets each window's place below its neighbour, so that windows
// already in place neither move nor need painting again. Nothing is activated.
void RaiseKeepingOrder(uintptr_t id, WindowBackend* backend) {
    std::vector<uintptr_t> chain;  // topmost first, the raised window last
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        auto it = gWindows.find(id);
        if (it == gWindows.end()) return;
        std::set<uintptr_t> owned;
        std::vector<uintptr_t> pending{id};
        while (!pending.empty()) {
            const Hwnd owner = HwndFromId(pending.back());
            pending.pop_back();
            for (auto& [key, window] : gWindows) {
                if (window->owner == owner && window->parent == nullptr && key != id && owned.insert(key).second)
                    pending.push_back(key);
            }
        }
        const bool keptOnTop = (it->second->exStyle & kWsExTopmost) != 0;
        if (!keptOnTop) {
            for (uintptr_t other : gZOrder) {
                auto found = gWindows.find(other);
                if (other != id && owned.count(other) == 0 && found != gWindows.end() &&
                    (found->second->exStyle & kWsExTopmost) != 0)
                    chain.push_back(other);
            }
        }
        for (uintptr_t other : gZOrder)
            if (owned.count(other) != 0) chain.push_back(other);
        chain.push_back(id);
        std::vector<uintptr_t> order = chain;
        for (uintptr_t other : gZOrder)
            if (std::find(chain.begin(), chain.end(), other) == chain.end()) order.push_back(other);
        gZOrder = std::move(order);
    }
    if (backend == nullptr) return;
    WindowObject* above = nullptr;
    for (uintptr_t which : chain) {
        WindowObject* window = Find(HwndFromId(which));
        if (window == nullptr) continue;
        if (above == nullptr) {
            backend->Restack(*window, true);
        } else {
            backend->RestackBelow(*window, *above);
        }
        above = window;
    }
}

void ReleaseCaptureOf(Hwnd hwnd) {
    if (gCapture != nullptr && (gCapture == hwnd || IsDescendantOf(gCapture, hwnd))) {
        gCapture = nullptr;
        if (WindowBackend* backend = ActiveBackend()) backend->UngrabPointer();
    }
}

Hwnd WindowAt(uintptr_t id, Point point) {
    WindowObject* window = Find(HwndFromId(id));
    if (window == nullptr || !window->visible) return nullptr;
    Rect rect;
    GetWindowRect(HandleOf(window), &rect);
    if (point.x < rect.left || point.x >= rect.right || point.y < rect.top || point.y >= rect.bottom) {
        return nullptr;
    }
    std::vector<uintptr_t> children = ChildrenOf(id);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (Hwnd inner = WindowAt(*it, point)) return inner;
    }
    return HandleOf(window);
}

}  // namespace

int32_t WindowObject::ClientWidth() const { return std::max(0, width - frame.left - frame.right); }
int32_t WindowObject::ClientHeight() const { return std::max(0, height - frame.top - frame.bottom); }

// ---- Registry -----------------------------------------------------------------------------

std::mutex& RegistryMutex() { return gRegistryMutex; }

WindowObject* FindWindowObject(Hwnd hwnd) { return Find(hwnd); }

std::shared_ptr<ThreadQueue> QueueOfWindow(Hwnd hwnd) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gWindows.find(IdFromHwnd(hwnd));
    if (it == gWindows.end()) return nullptr;
    return it->second->queue;
}

std::vector<uintptr_t> WindowsOfQueue(const ThreadQueue* queue) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    std::vector<uintptr_t> out;
    for (auto& [id, window] : gWindows) {
        if (window->queue.get() == queue) out.push_back(id);
    }
    return out;
}

Point LastPointerPosition() { return gPointer; }
void SetLastPointerPosition(Point point) { gPointer = point; }

WindowBackend* ActiveBackend() {
    // The X connection and the GL contexts belong to the thread that opened them.
    if (gBackendThreadSet && std::this_thread::get_id() != gBackendThread)
        gOffThreadBackendCalls.fetch_add(1, std::memory_order_relaxed);
    if (gBackend != nullptr) return gBackend;
    if (!gDefaultTried) {
        gDefaultTried = true;
        gDefaultBackend = CreateX11Backend(&gDisplayFailure);
        if (gDefaultBackend) {
            gBackendThread = std::this_thread::get_id();
            gBackendThreadSet = true;
        }
    }
    return gDefaultBackend.get();
}

std::string DisplayOpenFailure() {
    if (gBackend != nullptr) return std::string();
    ActiveBackend();
    return gDefaultBackend != nullptr ? std::string() : gDisplayFailure;
}

void SetWindowBackend(WindowBackend* backend) {
    gBackend = backend;
    gBackendThread = std::this_thread::get_id();
    gBackendThreadSet = backend != nullptr || gDefaultBackend != nullptr;
    gActive = gFocus = gCapture = nullptr;
    gCursor = nullptr;
    ResetNativeActivation();
}

uint64_t BackendCallsOffItsThread() { return gOffThreadBackendCalls.load(); }

bool IsBackendThread() {
    return gBackendThreadSet && std::this_thread::get_id() == gBackendThread &&
           (gBackend != nullptr || gDefaultBackend != nullptr);
}

size_t LiveWindowCount() {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return gWindows.size();
}

// ---- Classes ------------------------------------------------------------------------------

int RegisterWindowClass(const char* name, WndProc proc, uint32_t classStyle) {
    if (name == nullptr || *name == '\0' || proc == nullptr) return 0;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    if (gClasses.count(name) != 0) return 2;
    gClasses[name] = WindowClass{proc, classStyle};
    return 1;
}

bool WindowClassExists(const char* name) {
    if (name == nullptr) return false;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return gClasses.count(name) != 0;
}

bool UnregisterWindowClass(const char* name) {
    if (name == nullptr) return false;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    return gClasses.erase(name) != 0;
}

// ---- Creation and destruction ---------------------------------------------------------

Hwnd CreateWindowEx(uint32_t exStyle, const char* className, const char* title, uint32_t style,
                    int32_t x, int32_t y, int32_t width, int32_t height, Hwnd parent,
                    void* createParam) {
    WindowClass windowClass;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        auto it = gClasses.find(className == nullptr ? "" : className);
        if (it == gClasses.end()) return nullptr;
        windowClass = it->second;
    }
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr) return nullptr;
    if ((style & kWsChild) != 0 && Find(parent) == nullptr) return nullptr;
    if (parent != nullptr && Find(parent) == nullptr) parent = nullptr;

    auto object = std::make_unique<WindowObject>();
    WindowObject* window = object.get();
    window->className = className;
    window->proc = windowClass.proc;
    window->classStyle = windowClass.style;
    window->style = style & ~kWsVisible;
    window->exStyle = exStyle;
    if ((style & kWsChild) != 0) {
        window->parent = parent;
    } else if (parent != nullptr) {
        window->owner = TopLevelOf(parent);
    }
    window->title = title == nullptr ? "" : title;
    window->x = x;
    window->y = y;
    window->width = std::max(0, width);
    window->height = std::max(0, height);
    window->enabled = (style & kWsDisabled) == 0;
    window->queue = CurrentThreadQueue();
    window->frame = backend->Frame(*window);
    window->normalRect = OuterRect(*window);
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        window->id = gNextId++;
        if (window->parent == nullptr) gZOrder.insert(gZOrder.begin(), window->id);
        gWindows[window->id] = std::move(object);
    }
    Hwnd hwnd = HandleOf(window);
    if (!backend->CreateNative(*window)) {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        std::erase(gZOrder, IdFromHwnd(hwnd));
        gWindows.erase(IdFromHwnd(hwnd));
        return nullptr;
    }
    if (!window->title.empty()) backend->SetTitle(*window, ProgramTextToUtf8(window->title));

    CreateStruct create;
    create.createParams = createParam;
    create.parent = parent;
    create.x = x;
    create.y = y;
    create.cx = width;
    create.cy = height;
    create.style = style;
    create.exStyle = exStyle;
    create.name = title;
    create.className = className;
    LResult created = SendMessage(hwnd, kWmCreate, 0, reinterpret_cast<LParam>(&create));
    if (created == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (Find(hwnd) == nullptr) return nullptr;
    RefreshSizeLimits(hwnd);
    SendSizeAndMove(hwnd, true, true);
    if ((style & kWsVisible) != 0 && Find(hwnd) != nullptr) {
        int command = kSwShow;
        if ((style & kWsMaximize) != 0) command = kSwMaximize;
        if ((style & kWsMinimize) != 0) command = kSwShowMinimized;
        ShowWindow(hwnd, command);
    }
    return Find(hwnd) != nullptr ? hwnd : nullptr;
}

namespace {

void CollectTree(uintptr_t id, std::vector<uintptr_t>* out) {
    out->push_back(id);
    for (uintptr_t child : ChildrenOf(id)) CollectTree(child, out);
}

}  // namespace

bool DestroyWindow(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    if (window->destroying) return true;
    window->destroying = true;
    for (uintptr_t owned : OwnedBy(IdFromHwnd(hwnd))) DestroyWindow(HwndFromId(owned));

    std::vector<uintptr_t> tree;
    CollectTree(IdFromHwnd(hwnd), &tree);
    WindowBackend* backend = ActiveBackend();
    window = Find(hwnd);
    if (window != nullptr && window->visible) {
        window->visible = false;
        if (backend != nullptr) backend->SetVisible(*window, false);
    }
    ReleaseCaptureOf(hwnd);
    for (uintptr_t id : tree) {
        if (gActive == HwndFromId(id)) gActive = nullptr;
        if (gFocus == HwndFromId(id)) gFocus = nullptr;
    }
    for (uintptr_t id : tree) {
        if (WindowObject* member = Find(HwndFromId(id))) {
            member->destroying = true;
            SendMessage(HwndFromId(id), kWmDestroy, 0, 0);
        }
    }
    // Children first, so a native child goes before its parent.
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        Hwnd member = HwndFromId(*it);
        WindowObject* object = Find(member);
        if (object == nullptr) continue;
        std::shared_ptr<ThreadQueue> queue = object->queue;
        if (backend != nullptr) backend->DestroyNative(*object);
        {
            std::lock_guard<std::mutex> lock(gRegistryMutex);
            std::erase(gZOrder, *it);
            gWindows.erase(*it);
        }
        if (queue) {
            ForgetWindowMessages(*queue, member);
            FailSentMessages(*queue, member);
        }
    }
    return true;
}

bool IsWindow(Hwnd hwnd) {
    if (hwnd == nullptr) return false;
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gWindows.find(IdFromHwnd(hwnd));
    return it != gWindows.end();
}

LResult CallWindowProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    return SendMessage(hwnd, message, wParam, lParam);
}

LResult DefWindowProc(Hwnd hwnd, uint32_t message, WParam wParam, LParam lParam) {
    (void)lParam;
    switch (message) {
        case kWmClose:
            DestroyWindow(hwnd);
            return 0;
        case kWmPaint:
            ValidateRect(hwnd);
            return 0;
        case kWmQueryEndSession:
            return 1;
        case kWmSysCommand:
            switch (wParam & 0xFFF0) {
                case kScMinimize: ShowWindow(hwnd, kSwMinimize); break;
                case kScMaximize: ShowWindow(hwnd, kSwMaximize); break;
                case kScRestore: ShowWindow(hwnd, kSwRestore); break;
                case kScClose: SendMessage(hwnd, kWmClose, 0, 0); break;
                default: break;
            }
            return 0;
        default:
            return 0;
    }
}

// ---- Showing ------------------------------------------------------------------------------

bool ShowWindow(Hwnd hwnd, int command) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    WindowBackend* backend = ActiveBackend();
    bool wasVisible = window->visible;
    if (command == kSwHide) {
        if (!wasVisible) return false;
        SendMessage(hwnd, kWmShowWindow, 0, 0);
        window = Find(hwnd);
        if (window == nullptr) return true;
        window->visible = false;
        ReleaseCaptureOf(hwnd);
        if (backend != nullptr) backend->SetVisible(*window, false);
        if (gActive == hwnd) gActive = nullptr;
        return true;
    }
    auto becomeVisible = [&]() {
        window = Find(hwnd);
        if (window == nullptr || window->visible) return;
        SendMessage(hwnd, kWmShowWindow, 1, 0);
        RefreshSizeLimits(hwnd);  // the window manager reads them when the window maps
        window = Find(hwnd);
        if (window == nullptr) return;
        window->visible = true;
        window->needsPaint = true;
        if (backend != nullptr) backend->SetVisible(*window, true);
    };
    bool activate = command != kSwShowNa && command != kSwShowNoActivate &&
                    command != kSwShowMinNoActive && command != kSwMinimize;
    switch (command) {
        case kSwMinimize:
        case kSwShowMinimized:
        case kSwShowMinNoActive:
            becomeVisible();
            window = Find(hwnd);
            if (window == nullptr || window->showState == kSwShowMinimized) break;
            if (window->showState == kSwShowNormal) window->normalRect = OuterRect(*window);
            window->showState = kSwShowMinimized;
            if (backend != nullptr) backend->Iconify(*window);
            SendMessage(hwnd, kWmSize, kSizeMinimized, 0);
            break;
        case kSwMaximize: {
            becomeVisible();
            window = Find(hwnd);
            if (window == nullptr) break;
            if (window->showState == kSwShowNormal) window->normalRect = OuterRect(*window);
            bool changed = window->showState != kSwMaximize;
            window->showState = kSwMaximize;
            Rect area = ParentArea(*window);
            int32_t before = window->width * 65536 + window->height;
            Place(hwnd, area.left, area.top, area.right - area.left, area.bottom - area.top);
            window = Find(hwnd);
            if (window != nullptr && changed && before == window->width * 65536 + window->height) {
                SendMessage(hwnd, kWmSize, kSizeMaximized, ClientSizeParam(*window));
            }
            break;
        }
        case kSwShowNormal:
        case kSwRestore: {
            bool wasMinimised = window->showState == kSwShowMinimized;
            bool restore = window->showState != kSwShowNormal;
            window->showState = kSwShowNormal;
            becomeVisible();
            window = Find(hwnd);
            if (window == nullptr || !restore) break;
            Rect r = window->normalRect;
            if (backend != nullptr && wasMinimised) backend->SetVisible(*window, true);
            int32_t before = window->width * 65536 + window->height;
            Place(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top);
            window = Find(hwnd);
            if (window != nullptr && before == window->width * 65536 + window->height) {
                window->needsPaint = true;
                SendMessage(hwnd, kWmSize, kSizeRestored, ClientSizeParam(*window));
            }
            break;
        }
        default:
            becomeVisible();
            break;
    }
    window = Find(hwnd);
    if (window != nullptr && activate && window->parent == nullptr && backend != nullptr &&
        window->visible) {
        backend->Activate(*window);
    } else if (window != nullptr && activate && window->parent != nullptr) {
        SendChildActivate(hwnd);
    }
    return wasVisible;
}

bool IsWindowVisible(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    while (window != nullptr) {
        if (!window->visible) return false;
        if (window->parent == nullptr) return true;
        window = Find(window->parent);
    }
    return false;
}

bool IsIconic(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    return window != nullptr && window->showState == kSwShowMinimized;
}

bool IsZoomed(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    return window != nullptr && window->showState == kSwMaximize;
}

bool EnableWindow(Hwnd hwnd, bool enable) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    bool wasDisabled = !window->enabled;
    window->enabled = enable;
    if (enable) {
        window->style &= ~kWsDisabled;
    } else {
        window->style |= kWsDisabled;
    }
    if (wasDisabled == enable) SendMessage(hwnd, kWmEnable, enable ? 1 : 0, 0);
    return wasDisabled;
}

bool IsWindowEnabled(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    return window != nullptr && window->enabled;
}

bool AcceptsInput(Hwnd hwnd) {
    for (int depth = 0; hwnd != nullptr && depth < 64; ++depth) {
        WindowObject* window = Find(hwnd);
        if (window == nullptr || !window->enabled) return false;
        hwnd = window->parent;
    }
    return true;
}

// ---- Geometry -----------------------------------------------------------------------------

bool SetWindowPos(Hwnd hwnd, Hwnd insertAfter, int32_t x, int32_t y, int32_t width,
                  int32_t height, uint32_t flags) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    WindowBackend* backend = ActiveBackend();
    if ((flags & kSwpFrameChanged) != 0 && backend != nullptr) {
        FrameExtents before = window->frame;
        window->frame = backend->Frame(*window);
        backend->StyleChanged(*window);
        if (std::memcmp(&before, &window->frame, sizeof before) != 0) {
            SendSizeAndMove(hwnd, true, false);
        }
        window = Find(hwnd);
        if (window == nullptr) return false;
    }
    int32_t nx = (flags & kSwpNoMove) != 0 ? window->x : x;
    int32_t ny = (flags & kSwpNoMove) != 0 ? window->y : y;
    int32_t nw = (flags & kSwpNoSize) != 0 ? window->width : width;
    int32_t nh = (flags & kSwpNoSize) != 0 ? window->height : height;
    Place(hwnd, nx, ny, nw, nh);
    window = Find(hwnd);
    if (window == nullptr) return false;
    if (window->showState == kSwShowNormal) window->normalRect = OuterRect(*window);
    if ((flags & kSwpNoZOrder) == 0 && window->parent == nullptr) {
        if (insertAfter != kHwndBottom) {
            RaiseKeepingOrder(window->id, backend);
        } else {
            RaiseInZOrder(window->id, false);
            if (backend != nullptr) backend->Restack(*window, false);
        }
        window = Find(hwnd);
        if (window == nullptr) return false;
    }
    if ((flags & kSwpShowWindow) != 0) {
        ShowWindow(hwnd, (flags & kSwpNoActivate) != 0 ? kSwShowNa : kSwShow);
    } else if ((flags & kSwpHideWindow) != 0) {
        ShowWindow(hwnd, kSwHide);
    } else if ((flags & kSwpNoActivate) == 0) {
        SendChildActivate(hwnd);
    }
    return true;
}

bool MoveWindow(Hwnd hwnd, int32_t x, int32_t y, int32_t width, int32_t height, bool repaint) {
    (void)repaint;
    return SetWindowPos(hwnd, nullptr, x, y, width, height, kSwpNoZOrder | kSwpNoActivate);
}

bool GetWindowRect(Hwnd hwnd, Rect* rect) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || rect == nullptr) return false;
    Point origin{window->x, window->y};
    if (window->parent != nullptr) {
        if (WindowObject* parent = Find(window->parent)) {
            Point base = ClientOrigin(*parent);
            origin.x += base.x;
            origin.y += base.y;
        }
    }
    *rect = Rect{origin.x, origin.y, origin.x + window->width, origin.y + window->height};
    return true;
}

bool GetClientRect(Hwnd hwnd, Rect* rect) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || rect == nullptr) return false;
    *rect = Rect{0, 0, window->ClientWidth(), window->ClientHeight()};
    return true;
}

bool ClientToScreen(Hwnd hwnd, Point* point) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || point == nullptr) return false;
    Point origin = ClientOrigin(*window);
    point->x += origin.x;
    point->y += origin.y;
    return true;
}

bool ScreenToClient(Hwnd hwnd, Point* point) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || point == nullptr) return false;
    Point origin = ClientOrigin(*window);
    point->x -= origin.x;
    point->y -= origin.y;
    return true;
}

bool BringWindowToTop(Hwnd hwnd) {
    Hwnd top = TopLevelOf(hwnd);
    if (top == nullptr) return false;
    return SetWindowPos(top, kHwndTop, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize | kSwpNoActivate);
}

Hwnd WindowFromPoint(Point point) {
    std::vector<uintptr_t> order;
    {
        std::lock_guard<std::mutex> lock(gRegistryMutex);
        order = gZOrder;
    }
    for (uintptr_t id : order) {
        if (Hwnd hit = WindowAt(id, point)) return hit;
    }
    return nullptr;
}

bool GetWindowPlacement(Hwnd hwnd, WindowPlacement* placement) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || placement == nullptr) return false;
    placement->showCommand = window->showState;
    placement->normalPosition =
        window->showState == kSwShowNormal ? OuterRect(*window) : window->normalRect;
    return true;
}

bool SetWindowPlacement(Hwnd hwnd, const WindowPlacement* placement) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr || placement == nullptr) return false;
    window->normalRect = placement->normalPosition;
    if (placement->showCommand == kSwShowNormal || placement->showCommand == kSwRestore) {
        if (window->showState != kSwShowNormal) {
            ShowWindow(hwnd, kSwRestore);
        } else {
            Rect r = placement->normalPosition;
            Place(hwnd, r.left, r.top, r.right - r.left, r.bottom - r.top);
        }
        return true;
    }
    ShowWindow(hwnd, placement->showCommand);
    return true;
}

// ---- Texts and words ------------------------------------------------------------------

bool SetWindowText(Hwnd hwnd, const char* text) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    window->title = text == nullptr ? "" : text;
    if (WindowBackend* backend = ActiveBackend()) backend->SetTitle(*window, ProgramTextToUtf8(window->title));
    return true;
}

int GetWindowText(Hwnd hwnd, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return 0;
    size_t length = std::min(window->title.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, window->title.data(), length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

int GetWindowTextLength(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    return window == nullptr ? 0 : static_cast<int>(window->title.size());
}

LParam GetWindowLongPtr(Hwnd hwnd, int index) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return 0;
    switch (index) {
        case kGwlStyle: return static_cast<LParam>(window->style | (window->visible ? kWsVisible : 0));
        case kGwlExStyle: return static_cast<LParam>(window->exStyle);
        case kGwlpUserData: return window->userData;
        default: return 0;
    }
}

LParam SetWindowLongPtr(Hwnd hwnd, int index, LParam value) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return 0;
    LParam previous = GetWindowLongPtr(hwnd, index);
    switch (index) {
        case kGwlStyle:
            window->style = static_cast<uint32_t>(value) & ~kWsVisible;
            break;
        case kGwlExStyle:
            window->exStyle = static_cast<uint32_t>(value);
            break;
        case kGwlpUserData:
            window->userData = value;
            break;
        default:
            return 0;
    }
    return previous;
}

Hwnd GetParent(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return nullptr;
    return window->parent != nullptr ? window->parent : window->owner;
}

Hwnd GetOwner(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    return window == nullptr ? nullptr : window->owner;
}

// ---- Activation, focus and capture ---------------------------------------------------------

Hwnd SetActiveWindow(Hwnd hwnd) {
    Hwnd previous = gActive;
    Hwnd top = TopLevelOf(hwnd);
    WindowObject* window = Find(top);
    if (window == nullptr) return previous;
    if (WindowBackend* backend = ActiveBackend()) {
        if (window->visible) backend->Activate(*window);
    }
    return previous;
}

bool SetForegroundWindow(Hwnd hwnd) {
    if (Find(hwnd) == nullptr) return false;
    BringWindowToTop(hwnd);
    SetActiveWindow(hwnd);
    return true;
}

Hwnd GetActiveWindow() { return gActive; }

namespace {
std::vector<Hwnd>& ModalWindows() {
    static std::vector<Hwnd> windows;
    return windows;
}
}  // namespace

void EnterModalWindow(Hwnd hwnd) {
    if (hwnd != nullptr) ModalWindows().push_back(hwnd);
}

void LeaveModalWindow(Hwnd hwnd) {
    std::vector<Hwnd>& windows = ModalWindows();
    for (auto it = windows.end(); it != windows.begin();) {
        --it;
        if (*it == hwnd) {
            windows.erase(it);
            return;
        }
    }
}

void RestoreAndActivate(Hwnd hwnd) {
    Hwnd top = TopLevelOf(hwnd);
    WindowObject* window = Find(top);
    if (window == nullptr) return;
    if (window->showState == kSwShowMinimized) {
        ShowWindow(top, kSwRestore);
    } else if (!window->visible) {
        ShowWindow(top, kSwShow);
    }
    SetForegroundWindow(top);
    // A dialog waiting for its answer stays in front of the window and keeps the keys.
    std::vector<Hwnd>& modal = ModalWindows();
    for (auto it = modal.rbegin(); it != modal.rend(); ++it) {
        WindowObject* dialog = Find(*it);
        if (dialog == nullptr || !dialog->visible || *it == top) continue;
        SetForegroundWindow(*it);
        break;
    }
}

Hwnd SetFocus(Hwnd hwnd) {
    Hwnd previous = gFocus;
    if (hwnd != nullptr && Find(hwnd) == nullptr) return nullptr;
    if (hwnd == previous) return previous;
    if (previous != nullptr && IsWindow(previous)) SendMessage(previous, kWmKillFocus, reinterpret_cast<WParam>(hwnd), 0);
    gFocus = hwnd;
    if (hwnd != nullptr) {
        SendMessage(hwnd, kWmSetFocus, reinterpret_cast<WParam>(previous), 0);
        Hwnd top = TopLevelOf(hwnd);
        if (top != gActive) SetActiveWindow(top);
    }
    return previous;
}

Hwnd GetFocus() { return gFocus; }

// Used by the event translator to keep activation in step.
void NoteNativeActivation(Hwnd active, Hwnd focus) {
    gActive = active;
    gFocus = focus;
}

Hwnd SetCapture(Hwnd hwnd) {
    Hwnd previous = gCapture;
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return previous;
    if (WindowBackend* backend = ActiveBackend()) backend->GrabPointer(*window);
    gCapture = hwnd;
    return previous;
}

bool ReleaseCapture() {
    if (gCapture == nullptr) return true;
    gCapture = nullptr;
    if (WindowBackend* backend = ActiveBackend()) backend->UngrabPointer();
    return true;
}

Hwnd GetCapture() {
    if (gCapture != nullptr && !IsWindow(gCapture)) gCapture = nullptr;
    return gCapture;
}

void ForgetCapture() { gCapture = nullptr; }

// ---- Cursors ------------------------------------------------------------------------------

namespace {

// The pictures of the pixmap cursors, by number (UI thread).
std::map<int, CursorImage>& PixmapCursors() {
    static std::map<int, CursorImage> pictures;
    return pictures;
}

Cursor CursorOf(int id) { return reinterpret_cast<Cursor>(static_cast<uintptr_t>(id)); }

}  // namespace

Cursor LoadCursor(int id) {
    switch (id) {
        case kIdcArrow: case kIdcIBeam: case kIdcWait: case kIdcCross: case kIdcUpArrow:
        case kIdcSizeNwse: case kIdcSizeNesw: case kIdcSizeWe: case kIdcSizeNs:
        case kIdcSizeAll: case kIdcNo: case kIdcHand:
            return CursorOf(id);
        default:
            break;
    }
    if (PixmapCursors().count(id) != 0) return CursorOf(id);
    CursorImage picture;
    if (ProgramCursorImage(id, &picture)) {
        if (Cursor made = CreatePixmapCursor(id, picture)) return made;
    }
    return IsCursorResource(id) ? CursorOf(id) : nullptr;
}

Cursor CreatePixmapCursor(int id, const CursorImage& image) {
    // Numbers of the standard cursors and 0 (no cursor) stay what they are.
    if (id <= 0 || id >= kIdcArrow || !image.Valid()) return nullptr;
    try {
        PixmapCursors()[id] = image;
    } catch (...) {
        return nullptr;
    }
    if (WindowBackend* backend = ActiveBackend()) backend->DefinePixmapCursor(id, image);
    return CursorOf(id);
}

const CursorImage* PixmapCursorImage(int id) {
    auto it = PixmapCursors().find(id);
    return it != PixmapCursors().end() ? &it->second : nullptr;
}

bool SetNativeIcon(Hwnd hwnd, int resourceId) {
    WindowObject* window = Find(hwnd);
    std::vector<uint32_t> data;
    if (window == nullptr || !WindowIconData(resourceId, &data)) return false;
    if (WindowBackend* backend = ActiveBackend()) backend->SetIcon(*window, resourceId);
    return true;
}

Cursor SetCursor(Cursor cursor) {
    Cursor previous = gCursor;
    gCursor = cursor;
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr) return previous;
    Hwnd target = gCapture != nullptr ? gCapture : WindowFromPoint(gPointer);
    WindowObject* window = Find(target);
    if (window != nullptr) window->cursor = cursor;
    int id = static_cast<int>(reinterpret_cast<uintptr_t>(cursor));
    backend->ShowCursor(window, gCursorCount < 0 ? 0 : id);
    return previous;
}

Cursor GetCursor() { return gCursor; }

int ShowCursor(bool show) {
    gCursorCount += show ? 1 : -1;
    return gCursorCount;
}

bool GetCursorPos(Point* point) {
    if (point == nullptr) return false;
    if (WindowBackend* backend = ActiveBackend()) gPointer = backend->PointerPosition();
    *point = gPointer;
    return true;
}

bool pointerWarp(Hwnd hwnd, Point client) {
    WindowObject* window = Find(hwnd);
    WindowBackend* backend = ActiveBackend();
    if (window == nullptr || backend == nullptr || !window->visible) return false;
    Point now;
    GetCursorPos(&now);
    if (WindowFromPoint(now) != hwnd) return false;
    Point screen;
    if (!backend->WarpPointer(*window, client, &screen)) return false;
    SetLastPointerPosition(screen);
    return true;
}

// ---- Painting -----------------------------------------------------------------------------

bool InvalidateRect(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    window->needsPaint = true;
    return true;
}

bool ValidateRect(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    window->needsPaint = false;
    return true;
}

bool NeedsPaint(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    return window != nullptr && window->needsPaint;
}

bool UpdateWindow(Hwnd hwnd) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return false;
    if (window->needsPaint && IsWindowVisible(hwnd)) {
        SendMessage(hwnd, kWmPaint, 0, 0);
        if (WindowObject* again = Find(hwnd)) again->needsPaint = false;
    }
    return true;
}

Hdc BeginPaint(Hwnd hwnd, PaintStruct* paint) {
    WindowObject* window = Find(hwnd);
    if (window == nullptr) return nullptr;
    window->needsPaint = false;
    Hdc hdc = GetDC(hwnd);
    if (paint != nullptr) {
        paint->hdc = hdc;
        paint->erase = false;
        paint->paint = Rect{0, 0, window->ClientWidth(), window->ClientHeight()};
    }
    return hdc;
}

bool EndPaint(Hwnd hwnd, const PaintStruct* paint) {
    (void)paint;
    return IsWindow(hwnd);
}

Hdc GetDC(Hwnd hwnd) {
    if (!IsWindow(hwnd)) return nullptr;
    return reinterpret_cast<Hdc>(hwnd);
}

int ReleaseDC(Hwnd hwnd, Hdc hdc) {
    return IsWindow(hwnd) && hdc == reinterpret_cast<Hdc>(hwnd) ? 1 : 0;
}

Hwnd WindowFromDC(Hdc hdc) {
    Hwnd hwnd = reinterpret_cast<Hwnd>(hdc);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

// ---- The screen ---------------------------------------------------------------------------

bool UpdateSizeLimits(Hwnd hwnd) {
    if (Find(hwnd) == nullptr) return false;
    RefreshSizeLimits(hwnd);
    return true;
}

int32_t GetSystemMetrics(int index) {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr) return 0;
    int32_t width = 0, height = 0;
    backend->ScreenSize(&width, &height);
    if (index == kSmCxScreen) return width;
    if (index == kSmCyScreen) return height;
    return 0;
}

Rect GetWorkArea() {
    WindowBackend* backend = ActiveBackend();
    if (backend == nullptr) return Rect{};
    return backend->WorkArea();
}

bool GetMonitorWorkArea(Hwnd hwnd, Rect* rect) {
    if (rect == nullptr || ActiveBackend() == nullptr) return false;
    (void)hwnd;
    *rect = GetWorkArea();
    return rect->right > rect->left && rect->bottom > rect->top;
}

bool DisplayIsTrueColor() {
    WindowBackend* backend = ActiveBackend();
    return backend != nullptr && backend->OffersTrueColor();
}

}  // namespace orva::platform
