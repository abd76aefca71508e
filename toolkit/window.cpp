// Toolkit start-up, window records and their lifetime, painting and the run loop.
#include "toolkit/window.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <set>
#include <vector>

#include "common/aligned_memory.h"
#include "common/clib.h"
#include "common/log.h"
#include "platform/clock.h"
#include "platform/gl_context.h"
#include "platform/message_box.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/font.h"
#include "toolkit/edit_field.h"
#include "toolkit/input.h"
#include "toolkit/shortcuts.h"
#include "toolkit/widget_props.h"

namespace orva {

namespace {

// The window whose viewport and matrices each context holds: windows of one pixel format
// share one context (the platform layer's), and each window draws as if it had its own.
std::vector<std::pair<pf::GlContext, gWindow*>>& ContextOwners() {
    static std::vector<std::pair<pf::GlContext, gWindow*>> owners;
    return owners;
}

gWindow*& ContextOwner(pf::GlContext context) {
    auto& owners = ContextOwners();
    for (auto& entry : owners)
        if (entry.first == context) return entry.second;
    owners.emplace_back(context, nullptr);
    return owners.back().second;
}

// A window that goes (or gives its context back) leaves no state to keep.
void ForgetContextOwner(const gWindow* window) {
    for (auto& entry : ContextOwners())
        if (entry.second == window) entry.second = nullptr;
}

// Reads the current context's viewport and matrices into `window`.
void KeepView(gWindow* window) {
    auto& v = window->glView;
    glGetIntegerv(GL_VIEWPORT, v.viewport);
    glGetIntegerv(GL_MATRIX_MODE, &v.matrixMode);
    glGetFloatv(GL_PROJECTION_MATRIX, v.projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, v.modelview);
    v.held = 1;
}

// Gives the current context `window`'s viewport and matrices: those it kept, or those of a
// context of its own made current on it for the first time (its whole client area, no
// transformation).
void LoadView(gWindow* window) {
    const auto& v = window->glView;
    if (v.held == 0) {
        glViewport(0, 0, window->clientWidth, window->clientHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        return;
    }
    glViewport(v.viewport[0], v.viewport[1], v.viewport[2], v.viewport[3]);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(v.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(v.modelview);
    glMatrixMode(static_cast<GLenum>(v.matrixMode));
}

}  // namespace

namespace {

gUiTable* gTable = nullptr;
gWindow* gList = nullptr;
gWindow* gCurrent = nullptr;
gWindow* gCache = nullptr;
gWindow* gAnimated = nullptr;
gWindow* gAnimatedOwner = nullptr;
gWindow* gKeyTargetWindow = nullptr;  // also the modal window
uint32_t gFlags = 0;
uint32_t gAllStyles = 0;
uint32_t gLastAdded = 0;
int32_t gScreenW = 0, gScreenH = 0;
pf::Cursor gCursors[4] = {};
pf::Hwnd gTrack = nullptr;
pf::Hwnd gCaret = nullptr;
int gButtons = 0;
bool gClassesRegistered = false;
gToolkitHooks gHookTable;
std::set<const gWindow*> gLive;  // every record allocated and not yet deleted
std::atomic<gFrameHookFn> gFrameHook{nullptr};
std::atomic<gOnceHookFn> gOnceHook{nullptr};
std::atomic<gMessage503Fn> g503Hook{nullptr};
std::atomic<gClickHookFn> gClickHook{nullptr};
const uint32_t gUiThread = static_cast<uint32_t>(pf::CurrentThreadId());

constexpr char kFrameClass[] = "TK_GW";
constexpr char kDialogClass[] = "TK_GWDLG";

void ReadScreen() {
    gScreenW = pf::GetSystemMetrics(pf::kSmCxScreen);
    gScreenH = pf::GetSystemMetrics(pf::kSmCyScreen);
}

// The record's clean-up before it is deleted, then the deletion.
void ReleaseRecord(gWindow* window) {
    if (window == nullptr || gLive.count(window) == 0) return;
    // Clean-up.
    if (gCache == window) gCache = nullptr;
    if (gCurrent == window) gCurrent = nullptr;
    if (gKeyTargetWindow == window) gKeyTargetWindow = nullptr;
    window->statusWidget = nullptr;
    window->pendingUpdate = nullptr;
    if (window->destroyHandler != nullptr) window->destroyHandler(window, window->userData);
    if (gAnimatedOwner == window || gAnimated == window) gAnimated = gAnimatedOwner = nullptr;
    if (gTrack != nullptr && gTrack == window->hwnd) gTrack = nullptr;
    if (gCaret != nullptr && gCaret == window->hwnd) gCaret = nullptr;
    // Deletion.
    gToolkitHooks& hooks = gHookTable;
    if (hooks.freeWindowShortcuts != nullptr) hooks.freeWindowShortcuts(window);
    if (hooks.isMenuHostWindow != nullptr && hooks.isMenuHostWindow(window) && hooks.menuHostFree != nullptr) {
        hooks.menuHostFree();
    }
    window->title.clear();
    if (hooks.clearGroupLinks != nullptr) hooks.clearGroupLinks(window);
    bool native = window->hwnd != nullptr && pf::IsWindow(window->hwnd);
    if (native && hooks.releaseWidgets != nullptr) hooks.releaseWidgets(window);
    if (hooks.releaseFont != nullptr) {
        if (window->font != nullptr) hooks.releaseFont(window->font);
        if (window->extraFont != nullptr) hooks.releaseFont(window->extraFont);
    }
    window->font = window->extraFont = nullptr;
    if (window->hglrc != nullptr) {
        ForgetContextOwner(window);
        if (pf::CurrentGlContext() == window->hglrc) pf::MakeGlCurrent(nullptr, nullptr);
        pf::DeleteGlContext(window->hglrc);
        window->hglrc = nullptr;
    }
    pf::Hwnd hwnd = window->hwnd;
    window->hwnd = nullptr;
    window->hdc = nullptr;
    if (native) {
        // The native window must not outlive its record: nothing may find the record
        // through it afterwards.
        pf::SetWindowLongPtr(hwnd, pf::kGwlpUserData, 0);
        pf::DestroyWindow(hwnd);
    }
    window->skinObject = nullptr;
    gLive.erase(window);
    window->tag = window->tagEnd = 0;
    window->~gWindow();
    AlignedFree(window);
}

void UnlinkTopLevel(gWindow* window, gWindow* previous) {
    if (previous == nullptr) {
        gList = window->next;
    } else {
        previous->next = window->next;
    }
    window->next = nullptr;
}

void UnlinkChild(gWindow* window, gWindow* previous) {
    if (previous == window->parent) {
        previous->firstChild = window->firstChild;
    } else {
        previous->firstChild = window->firstChild;  // the sibling link
    }
    window->firstChild = nullptr;
}

void ReleaseChildren(gWindow* window) {
    gWindow* child = window->firstChild;
    window->firstChild = nullptr;
    while (child != nullptr) {
        gWindow* next = child->firstChild;
        child->firstChild = nullptr;
        ReleaseRecord(child);
        child = next;
    }
}

// Outer size of a client size, from the window's current rectangles.
void FrameSize(gWindow* window, int32_t* dx, int32_t* dy) {
    pf::Rect outer, client;
    pf::GetWindowRect(window->hwnd, &outer);
    pf::GetClientRect(window->hwnd, &client);
    *dx = (outer.right - outer.left) - (client.right - client.left);
    *dy = (outer.bottom - outer.top) - (client.bottom - client.top);
}

}  // namespace

// ---- Globals ------------------------------------------------------------------------------

gToolkitHooks& gHooks() { return gHookTable; }
gWindow* gWinList() { return gList; }
gWindow* gWinCurrent() { return gCurrent; }
void gWinSetCurrent(gWindow* window) { gCurrent = window; }
gWindow* gAnimatedWindow() { return gAnimated; }
void gSetAnimatedWindow(gWindow* window, gWindow* owner) {
    gAnimated = window;
    gAnimatedOwner = owner;
}
uint32_t gToolkitFlags() { return gFlags; }
uint32_t& ToolkitFlagsRef();
uint32_t& ToolkitFlagsRef() { return gFlags; }
uint32_t& ToolkitLastAdded();
uint32_t& ToolkitLastAdded() { return gLastAdded; }
int32_t gScreenWidth() { return gScreenW; }
int32_t gScreenHeight() { return gScreenH; }
void gReadScreenSize();
void gReadScreenSize() { ReadScreen(); }
gWindow* gModalWindow() { return gKeyTargetWindow; }
gWindow*& gKeyTarget() { return gKeyTargetWindow; }
pf::Hwnd& gTrackTimer() { return gTrack; }
pf::Hwnd& gCaretTimer() { return gCaret; }
int& gMouseButtonState() { return gButtons; }
int gMouseState() { return gButtons; }
bool gIsDoubleClick() { return gButtons == 2 || gButtons == 6; }
uint32_t gUiThreadId() { return gUiThread; }

gFrameHookFn gSetFrameHook(gFrameHookFn hook) { return gFrameHook.exchange(hook); }
gOnceHookFn gSetOnceHook(gOnceHookFn hook) { return gOnceHook.exchange(hook); }
void gSetMessage503Hook(gMessage503Fn hook) { g503Hook.exchange(hook); }
gClickHookFn gSetMainHook(gClickHookFn hook) { return gClickHook.exchange(hook); }
gClickHookFn gMainHook() { return gClickHook.load(); }
void gRunFrameHook();
void gRunFrameHook() {
    if (gFrameHookFn hook = gFrameHook.load()) hook();
}
void gRunOnceHook(pf::WParam wParam);
void gRunOnceHook(pf::WParam wParam) {
    if (gOnceHookFn hook = gOnceHook.load()) {
        hook(wParam);
        gOnceHook.compare_exchange_strong(hook, nullptr);
    }
}
void gRun503Hook(pf::WParam wParam, pf::LParam lParam);
void gRun503Hook(pf::WParam wParam, pf::LParam lParam) {
    if (gMessage503Fn hook = g503Hook.load()) hook(wParam, lParam);
}

// ---- Start and shut-down --------------------------------------------------------------

int gRegisterClass(bool dialog) {
    const char* name = dialog ? kDialogClass : kFrameClass;
    if (pf::WindowClassExists(name)) return 2;
    uint32_t classStyle = pf::kCsVRedraw | pf::kCsHRedraw | pf::kCsDblClks | pf::kCsOwnDc;
    if (dialog) classStyle |= pf::kCsSaveBits;
    if (pf::RegisterWindowClass(name, gWinProc, classStyle) == 1) return 1;
    ClibMessageBox(nullptr, "RegisterClass() failed:  Can`t register window class.", "Error", pf::kMbOk);
    return 0;
}

bool gRegisterClasses() {
    int frame = gRegisterClass(false);
    int dialog = gRegisterClass(true);
    if (frame == 1 || dialog == 1) {
        ReadScreen();
        gCursors[0] = pf::LoadCursor(pf::kIdcArrow);
        gCursors[1] = pf::LoadCursor(pf::kIdcIBeam);
        gCursors[2] = pf::LoadCursor(pf::kIdcCross);
        gCursors[3] = pf::LoadCursor(pf::kIdcUpArrow);
        if (gCursors[0] == nullptr) gCursors[1] = gCursors[2] = gCursors[3] = nullptr;
    }
    gClassesRegistered = frame != 0 && dialog != 0;
    return gClassesRegistered;
}

pf::Cursor gCursorGet(int code) {
    switch (code) {
        case 4: return gCursors[0];
        case 8: return gCursors[1];
        case 12: return gCursors[2];
        case 16: return gCursors[3];
        default: return nullptr;
    }
}

const gUiTable* gInit() {
    if (gTable != nullptr) return gTable;
    if (ClibInit(nullptr, nullptr) != 0) return nullptr;
    gFontChooseDefault(1);  // the built-in raster face
    gFontInstallHooks();
    gInputInstall();  // keys, pointer and timers reach the widgets
    gEditFieldInstall();
    gShortcutsInstall();
    if (!gRegisterClasses()) return nullptr;
    gTable = new (std::nothrow) gUiTable{gWinCreateRec, gWinOpen, gMessageLoop, gUiClose, gUiCloseQuiet, gShutdown};
    return gTable;
}

namespace {
bool gReady = false;
}  // namespace

bool gUiReady() { return gReady; }
void gSetUiReady(bool ready) { gReady = ready; }

int gShutdown() {
    gReady = false;
    if (gHookTable.freeGlobalShortcuts != nullptr) gHookTable.freeGlobalShortcuts();
    gWinDestroyAll();
    if (gHookTable.menuHostFree != nullptr) gHookTable.menuHostFree();
    gCurrent = gCache = gAnimated = gAnimatedOwner = nullptr;
    gAllStyles = gLastAdded = 0;
    gFontCurrent() = nullptr;
    gFlags = 0;
    gToolkitForcedDefaults()[0] = gToolkitForcedDefaults()[1] = 0;
    gColourSetValue() = kDefaultColourSet;
    gButtons = 0;
    gTrack = gCaret = nullptr;
    if (gHookTable.clearInputGlobals != nullptr) gHookTable.clearInputGlobals();
    if (gHookTable.freeEditSpare != nullptr) gHookTable.freeEditSpare();
    pf::UnregisterWindowClass(kFrameClass);
    pf::UnregisterWindowClass(kDialogClass);
    gClassesRegistered = false;
    gScreenW = gScreenH = 0;
    gKeyTargetWindow = nullptr;
    if (gHookTable.calcClear != nullptr) gHookTable.calcClear();
    delete gTable;
    gTable = nullptr;
    return 0;
}

// ---- Windows ------------------------------------------------------------------------------

uint32_t gWinFrameStyle(const gWindow* window, bool parentHasWindow, uint32_t* exStyle) {
    uint32_t style = window->style;
    uint32_t ws = 0;
    bool embedded = (style & kStyleEmbedded) != 0 && parentHasWindow;
    ws |= (style & kStyleDialogFrame) != 0 ? pf::kWsDlgFrame : pf::kWsPopup;
    if (style & kStyleThickFrame) ws |= pf::kWsThickFrame;
    if (style & kStyleSysMenu) ws |= pf::kWsSysMenu;
    if ((style & kStyleNoMinMax) == 0) {
        if (style & kStyleMinimiseBox) ws |= pf::kWsMinimizeBox | pf::kWsSysMenu;
        if (style & kStyleMaximiseBox) ws |= pf::kWsMaximizeBox | pf::kWsSysMenu;
    }
    if (style & kStyleBorder) ws |= pf::kWsBorder;
    if (style & kStyleFrame24) ws |= 0x240000;
    if (style & kStyleFrame14) ws |= 0x140000;
    if (style & kStyleDisabled) ws |= pf::kWsDisabled;
    if (style & kStyleStartMaximised || window->state & kStateMaximised) ws |= pf::kWsMaximize;
    if (style & kStyleStartMinimised || window->state & kStateMinimised) ws |= pf::kWsMinimize;
    if (!parentHasWindow) {
        ws |= pf::kWsClipChildren;
    } else if (embedded) {
        ws |= pf::kWsChild | pf::kWsClipSiblings;
        ws &= ~(pf::kWsPopup | pf::kWsMinimize);
    } else {
        ws |= pf::kWsClipChildren | pf::kWsClipSiblings;
    }
    if (exStyle != nullptr) {
        *exStyle = pf::kWsExNoParentNotify;
        if ((style & kStyleNoMinMax) != 0 && (style & kStyleEmbedded) == 0) *exStyle = 0x84;
    }
    return ws;
}

int gWinCreate(gWindow* window, gWindow* parent, const char* title) {
    uint32_t exStyle = 0;
    bool parentHasWindow = parent != nullptr && parent->hwnd != nullptr;
    uint32_t ws = gWinFrameStyle(window, parentHasWindow, &exStyle);
    window->state &= ~(0x2u | 0x4u | 0x8u | 0x10u | 0x40u | 0x80u | 0x400u);
    if (gScreenW <= 0 || gScreenH <= 0) ReadScreen();
    int32_t x = window->x, y = window->y, w = window->width, h = window->height;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (gScreenW > 0 && w > gScreenW) w = gScreenW;
    if (gScreenH > 0 && h > gScreenH) h = gScreenH;
    if (gScreenW > 0 && x + w > gScreenW) x = std::max(0, gScreenW - w);
    if (gScreenH > 0 && y + h > gScreenH) y = std::max(0, gScreenH - h);
    window->x = x;
    window->y = y;
    window->width = w;
    window->height = h;
    const char* className = (window->style & kStyleFrameClass) != 0 ? kFrameClass : kDialogClass;
    pf::Hwnd hwnd = pf::CreateWindowEx(exStyle, className, title, ws, x, y, w, h,
                                       parentHasWindow ? parent->hwnd : nullptr, window);
    if (hwnd == nullptr) return 1;
    window->hwnd = hwnd;
    gWinSetMinSize(window, 10, 4);
    return 0;
}

namespace {

void StoreStyle(gWindow* window, uint32_t style) {
    if (style & kStyleMain) {
        bool taken = false;
        for (gWindow* w = gList; w != nullptr; w = w->next) {
            if (w != window && (w->style & kStyleMain) != 0) taken = true;
        }
        if (taken || window->parent != nullptr || window->owner != nullptr) style &= ~kStyleMain;
    }
    if ((style & (kStyleNotSizable | kStyleEmbedded | kStyleDialogFrame | kStyleNoDefaultSizable)) == 0) {
        style |= kStyleSizable;
    }
    if (window->parent == nullptr && (style & (kStyleSysMenu | kStyleMinimiseBox | kStyleMaximiseBox)) == 0 &&
        window->closeKey == 0) {
        style |= kStyleCloseKey;
    }
    if (style & kStyleCloseKey) window->closeKey = kCloseKeyDefault;
    if ((style & kStyleSizable) != 0 && (window->state & kStateMaximised) == 0) window->state |= kStateSizable;
    window->style = style;
    gAllStyles |= style;
}

}  // namespace

gWindow* gWinCreateRec(int32_t x, int32_t y, int32_t width, int32_t height, gWindow* parent, void* userData,
                       uint32_t style) {
    if (gTable == nullptr) return nullptr;
    if (parent != nullptr && gWinValidate(parent) == nullptr) return nullptr;
    void* memory = AlignedAlloc(sizeof(gWindow), 32);
    if (memory == nullptr) return nullptr;
    std::memset(memory, 0, sizeof(gWindow));
    gWindow* window = new (memory) gWindow;
    gLive.insert(window);
    window->x = window->savedX = x;
    window->y = window->savedY = y;
    window->width = window->clientWidth = width;
    window->height = window->clientHeight = height;
    window->state = kStateHidden;
    // Colours first, so the shade tables are built with the skin's parameters.
    window->skinObject = nullptr;
    gWinApplySkinColours(window, gHookTable.skinShades != nullptr ? gHookTable.skinShades() : nullptr);
    // Linking.
    if (parent != nullptr && (style & kStyleEmbedded) == 0 && parent->owner != nullptr) parent = parent->owner;
    if (gList == nullptr) {
        gList = window;
        gColorShades(window, kFirstWidgetShadeColour);
    } else if (parent != nullptr && (style & kStyleEmbedded) != 0) {
        window->parent = parent;
        window->owner = parent->owner;
        if (parent->firstChild == nullptr) {
            parent->firstChild = window;
        } else {
            gWindow* last = parent->firstChild;
            while (last->firstChild != nullptr) last = last->firstChild;
            last->firstChild = window;
        }
    } else {
        gWindow* last = gList;
        while (last->next != nullptr) last = last->next;
        last->next = window;
        window->owner = parent;
    }
    gCurrent = window;
    window->userData = userData;
    StoreStyle(window, style);
    if ((style & kStyleDeferred) == 0) {
        gWindow* nativeParent = window->parent != nullptr ? window->parent : window->owner;
        if (gWinCreate(window, nativeParent, nullptr) != 0 || window->hdc == nullptr) {
            gWinReleaseTree(window);
            return nullptr;
        }
        gWinRealizeFont(window, nullptr, 1);
    }
    return window;
}

gFont* gWinRealizeFont(gWindow* window, const char* face, int mode) {
    if (window == nullptr) window = gCurrent;
    if (window == nullptr || window->hdc == nullptr || (window->state & 0x1c) != 0 || mode < 0) return nullptr;
    if (!gWinMakeCurrent(window)) return nullptr;
    if (gHookTable.realizeFont == nullptr) return window->font;
    return gHookTable.realizeFont(window, face, mode);
}

bool gWinOpen(gWindow* window, const char* title, uint32_t style) {
    if (gTable == nullptr || gWinValidate(window) == nullptr) return false;
    if (window->hwnd == nullptr && (style & kStyleDeferred) != 0) {
        if (style != kStyleDeferred) StoreStyle(window, style & ~kStyleDeferred);
        gWindow* nativeParent = window->parent != nullptr ? window->parent : window->owner;
        if (nativeParent != nullptr && nativeParent->hwnd == nullptr) nativeParent = nullptr;
        if (gWinCreate(window, nativeParent, title) != 0) return false;
        if (window->hdc == nullptr) {
            pf::Hwnd hwnd = window->hwnd;
            window->hwnd = nullptr;
            pf::DestroyWindow(hwnd);
            return false;
        }
        gWinRealizeFont(window, nullptr, 1);
    }
    gCurrent = nullptr;
    if (gHookTable.refreshWidgets != nullptr) gHookTable.refreshWidgets(window);
    if (window->parent == nullptr && (window->style & kStyleFit) != 0) gWinFitToContent(window, 0);
    if (gHookTable.pruneGroups != nullptr) gHookTable.pruneGroups(window);
    if (title != nullptr) gWinSetTitle(window, title);
    if ((window->style & kStyleShown) != 0 || (style & kStyleShown) != 0) gWinShow(window, true);
    return true;
}


bool gWinMakeCurrent(gWindow* window) {
    if (window == nullptr || window->hdc == nullptr || window->hglrc == nullptr) return false;
    if (!pf::MakeGlCurrent(window->hdc, window->hglrc)) return false;
    gWindow*& owner = ContextOwner(window->hglrc);
    if (owner != window) {
        // The context's state is the last window's: kept with it, and this window's loaded.
        if (owner != nullptr) KeepView(owner);
        LoadView(window);
        owner = window;
    }
    return true;
}

gWindow* gWinCurrentGl() {
    const pf::GlContext context = pf::CurrentGlContext();
    return context == nullptr ? nullptr : ContextOwner(context);
}

bool gWinShownNow(const gWindow* window) {
    return window != nullptr && window->hwnd != nullptr && (window->state & (kStateHidden | kStateHiddenByShow)) == 0;
}

void gWinShow(gWindow* window, bool show) {
    if (gWinValidate(window) == nullptr) return;
    bool visible = window->hwnd != nullptr && pf::IsWindowVisible(window->hwnd);
    bool hiddenBit = (window->state & kStateHidden) != 0;
    // A child window of a window not shown yet counts as not visible but keeps its own
    // show state: it would come up with its parent.
    const bool shownInHiddenParent = !visible && window->hwnd != nullptr && window->parent != nullptr &&
                                     (pf::GetWindowLongPtr(window->hwnd, pf::kGwlStyle) & pf::kWsVisible) != 0;
    if (visible == show && hiddenBit == !show && !(show == false && shownInHiddenParent)) return;
    if (show) {
        window->style |= kStyleShown;
        if (window->parent == nullptr) {
            window->state &= ~kStateHidden;
            for (gWindow* child = window->firstChild; child != nullptr; child = child->firstChild) {
                if ((child->style & kStyleShown) != 0) {
                    child->state &= ~kStateHidden;
                    if (child->hwnd != nullptr && child->showHandler != nullptr) child->showHandler(child, true);
                }
            }
        } else if ((window->parent->state & kStateHidden) == 0) {
            window->state &= ~kStateHidden;
        }
        if (window->hwnd == nullptr) return;
        if (window->showHandler != nullptr) window->showHandler(window, true);
        pf::Cursor cursor = window->cursor != nullptr ? window->cursor : window->defaultCursor;
        if (cursor != nullptr && pf::GetCursor() != cursor) {
            pf::SetCursor(cursor);
            pf::ShowCursor(true);
        }
        if (!visible) {
            pf::ShowWindow(window->hwnd, pf::kSwShowNormal);
            if (window->activateRestores == 1) pf::BringWindowToTop(window->hwnd);
            pf::SetActiveWindow(window->hwnd);
            pf::UpdateWindow(window->hwnd);
        } else if (window->activateRestores == 1) {
            pf::SetActiveWindow(window->hwnd);
        }
        return;
    }
    window->state |= kStateHidden;
    window->style &= ~kStyleShown;
    if (window->parent == nullptr) {
        for (gWindow* child = window->firstChild; child != nullptr; child = child->firstChild) {
            child->state |= kStateHidden;
            if (child->showHandler != nullptr) child->showHandler(child, false);
        }
    }
    if (!visible) {
        if (shownInHiddenParent) pf::ShowWindow(window->hwnd, pf::kSwHide);
        return;
    }
    if (pf::GetCapture() == window->hwnd) pf::ReleaseCapture();
    pf::ShowWindow(window->hwnd, pf::kSwHide);
    if (window->showHandler != nullptr) window->showHandler(window, false);
    if (window == gList) {
        pf::SetWindowPos(window->hwnd, pf::kHwndBottom, 0, 0, 0, 0,
                         pf::kSwpNoSize | pf::kSwpNoMove | pf::kSwpNoActivate);
    }
    if (window->owner != nullptr && window->owner->hwnd != nullptr) pf::SetActiveWindow(window->owner->hwnd);
}

void gWinPaint(gWindow* window) {
    if (window == nullptr) return;
    window->dirty = 0;
    if (window->backgroundPainter != nullptr) {
        window->backgroundPainter(window);
    } else {
        glClearColor(window->colours.background[0], window->colours.background[1], window->colours.background[2],
                     1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (gHookTable.paintWidgets != nullptr) gHookTable.paintWidgets(window);
}

void gWinSwapPainted(gWindow* window) {
    if (window == nullptr) return;
    if (window->afterPaint != nullptr) {
        window->afterPaint(window, window->afterPaintData);
        // The callback may have gone away with the window.
        if (gWinValidate(window) == nullptr) return;
    }
    // The swap flushes only the context current on this window's drawable: whatever made
    // another one current meanwhile (a font built on its own window, a callback), the
    // window's own drawable and context are made current again, and text still waiting
    // in the batch is drawn, before the swap.
    if (!gWinMakeCurrent(window)) return;
    gTextBatchFlush();
    pf::SwapBuffers(window->hdc);
}

void gWinSetAfterPaint(gWindow* window, void (*callback)(gWindow*, void*), void* data) {
    if (window == nullptr) return;
    window->afterPaint = callback;
    window->afterPaintData = callback != nullptr ? data : nullptr;
}

void gWinRefreshAll() {
    auto redraw = [](gWindow* window) {
        if (window->dirty == 0) return;
        if (gHookTable.redrawWindow != nullptr) {
            gHookTable.redrawWindow(window);
        } else if ((window->state & kNotDrawnMask) == 0 && gWinMakeCurrent(window)) {
            gWinPaint(window);
            gWinSwapPainted(window);
        }
    };
    for (gWindow* top = gList; top != nullptr; top = top->next) {
        redraw(top);
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) redraw(child);
    }
}

bool gWinSetTitle(gWindow* window, const char* text) {
    if (window == nullptr) return false;
    window->title = text == nullptr ? "" : text;
    if (window->hwnd != nullptr) return pf::SetWindowText(window->hwnd, window->title.c_str());
    return true;
}

int gWinGetTitle(gWindow* window) {
    if (window == nullptr || window->hwnd == nullptr) return 0;
    int length = pf::GetWindowTextLength(window->hwnd);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    pf::GetWindowText(window->hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    window->title = text;
    return length;
}

bool gWinRecordLive(const gWindow* window) { return window != nullptr && gLive.count(window) != 0; }

gWindow* gWinValidate(const void* pointer) {
    auto* window = static_cast<const gWindow*>(pointer);
    if (window == nullptr || gLive.count(window) == 0) return nullptr;
    if (window->tag != kWindowTag || window->tagEnd != kWindowTag) return nullptr;
    for (gWindow* top = gList; top != nullptr; top = top->next) {
        if (top == window) return top;
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) {
            if (child == window) return child;
        }
    }
    return nullptr;
}

gWindow* gWinFromHwnd(pf::Hwnd hwnd) {
    if (hwnd == nullptr) return nullptr;
    if (gCache != nullptr && gCache->hwnd == hwnd) return gCache;
    if (gList != nullptr && gList->hwnd == hwnd) return gList;
    auto* window = reinterpret_cast<gWindow*>(pf::GetWindowLongPtr(hwnd, pf::kGwlpUserData));
    if (window == nullptr || gLive.count(window) == 0) return nullptr;
    if (window->tag != kWindowTag || window->tagEnd != kWindowTag || window->hwnd != hwnd) return nullptr;
    gCache = window;
    return window;
}

gWindow* gWinFromHwndAny(pf::Hwnd hwnd) {
    if (hwnd == nullptr) return nullptr;
    if (gCache != nullptr && gCache->hwnd == hwnd) return gCache;
    for (gWindow* top = gList; top != nullptr; top = top->next) {
        if (top->hwnd == hwnd) return gCache = top;
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) {
            if (child->hwnd == hwnd) return gCache = child;
        }
    }
    return nullptr;
}

pf::Cursor gWinSetCursor(gWindow* window, pf::Cursor cursor) {
    if (window == nullptr) return nullptr;
    pf::Cursor previous = window->defaultCursor;
    window->cursor = window->defaultCursor = cursor;
    return previous;
}

gWindow* gWinAddStyle(gWindow* window, uint32_t flags) {
    if (window == nullptr) window = gCurrent;
    if (window == nullptr || flags == 0) return window;
    if (flags & kStyleMain) {
        if (window->parent == nullptr && window->owner == nullptr) {
            for (gWindow* w = gList; w != nullptr; w = w->next) {
                if (w != window) w->style &= ~kStyleMain;
            }
        } else {
            flags &= ~kStyleMain;
            if (flags == 0) return window;
        }
    }
    if (flags & kStyleCloseKey) window->closeKey = kCloseKeyDefault;
    window->style |= flags;
    gLastAdded = flags & ~kStyleMain;
    return window;
}

void gWinSetBackdrop(gWindow* window, void* image, uint32_t colours) {
    if (window == nullptr) window = gCurrent;
    if (window == nullptr) return;
    gWinSetColors(window, colours);
    window->backdrop = image;
    if (image == nullptr) window->backgroundPainter = nullptr;
}

void gWinSetDestroyHandler(gWindow* window, void (*handler)(gWindow*, void*)) {
    if (window == nullptr) window = gCurrent;
    if (window != nullptr && handler != nullptr) window->destroyHandler = handler;
}

void gWinSetStatusWidget(gWindow* window, gElement* widget, void (*clear)()) {
    if (window == nullptr) return;
    window->statusWidget = widget;
    window->statusPending = -1;
    window->statusClear = clear;
}

void gWinUpdateRects(gWindow* window, pf::Hwnd hwnd) {
    if (window == nullptr) return;
    pf::Rect client, outer;
    if (pf::GetClientRect(hwnd, &client)) {
        window->clientWidth = std::max(1, client.right - client.left);
        window->clientHeight = std::max(1, client.bottom - client.top);
    }
    if (pf::GetWindowRect(hwnd, &outer)) {
        window->x = outer.left;
        window->y = outer.top;
        window->width = std::max(1, outer.right - outer.left);
        window->height = std::max(1, outer.bottom - outer.top);
    }
}

void gWinUpdateViewport(gWindow* window) {
    if (window == nullptr || window->hwnd == nullptr) return;
    gWinUpdateRects(window, window->hwnd);
    window->savedX = window->x;
    window->savedY = window->y;
    if (window->minTrackWidth > window->width || window->minTrackHeight > window->height) {
        if (window->minTrackWidth > window->width) window->minTrackWidth = window->width >> 1;
        if (window->minTrackHeight > window->height) window->minTrackHeight = window->height >> 1;
        pf::UpdateSizeLimits(window->hwnd);
    }
    if (gWinMakeCurrent(window)) glViewport(0, 0, window->clientWidth, window->clientHeight);
}

void gWinSetMinSize(gWindow* window, int32_t minWidth, int32_t minHeight) {
    if (window == nullptr) return;
    int32_t frameW = 0, frameH = 0;
    if (window->hwnd != nullptr) FrameSize(window, &frameW, &frameH);
    minWidth = std::max(minWidth, frameW + 1);
    minHeight = std::max(minHeight, frameH + 1);
    if (minWidth > window->width) minWidth = window->width / 2 > 0 ? window->width / 2 : window->width;
    if (minHeight > window->height) minHeight = window->height / 2 > 0 ? window->height / 2 : window->height;
    window->minTrackWidth = minWidth;
    window->minTrackHeight = minHeight;
    // The window manager enforces the minimum while the user sizes the window.
    if (window->hwnd != nullptr) pf::UpdateSizeLimits(window->hwnd);
}

bool gWinSetSize(gWindow* window, int32_t clientWidth, int32_t clientHeight, const pf::Point* position) {
    if (window == nullptr || window->hwnd == nullptr) return false;
    if (clientWidth < 0 || clientHeight < 0) return false;
    if (position != nullptr && (position->x < 0 || position->y < 0)) return false;
    bool unchanged = (clientWidth == 0 && clientHeight == 0) ||
                     (clientWidth == window->clientWidth && clientHeight == window->clientHeight);
    if (unchanged && position == nullptr) return true;
    int32_t x = 0, y = 0, outerW = 0, outerH = 0;
    uint32_t flags = 0x510;
    if (!unchanged) {
        pf::Rect outer;
        pf::GetWindowRect(window->hwnd, &outer);
        int32_t frameW = 0, frameH = 0;
        FrameSize(window, &frameW, &frameH);
        outerW = std::min(clientWidth + frameW, gScreenW);
        outerH = std::min(clientHeight + frameH, gScreenH);
        x = position != nullptr ? position->x : outer.left;
        y = position != nullptr ? position->y : outer.top;
        // A child window stays where its parent has it (its rectangle on the screen is no
        // place in its parent's client area); its parent keeps it in sight.
        if ((x + outerW <= gScreenW && y + outerH <= gScreenH) || (window->parent != nullptr && position == nullptr)) {
            flags = position != nullptr ? 0x510 : 0x716;
        } else {
            if (x + outerW > gScreenW) x = std::max(0, gScreenW - outerW);
            if (y + outerH > gScreenH) y = std::max(0, gScreenH - outerH);
            flags = 0x510;
        }
    } else {
        x = position->x;
        y = position->y;
        if (x + window->clientWidth > gScreenW) x = std::max(0, gScreenW - window->clientWidth);
        if (y + window->clientHeight > gScreenH) y = std::max(0, gScreenH - window->clientHeight);
        flags = 0x511;
    }
    bool ok = pf::SetWindowPos(window->hwnd, pf::kHwndTop, x, y, outerW, outerH, flags);
    gWinUpdateRects(window, window->hwnd);
    return ok;
}

bool gWinKeepOnScreen(gWindow* window, uint8_t whole) {
    if (window == nullptr || window->hwnd == nullptr) return false;
    pf::Rect rect;
    pf::GetWindowRect(window->hwnd, &rect);
    int32_t W = rect.right - rect.left, H = rect.bottom - rect.top;
    int32_t W2 = std::min(W, gScreenW), H2 = std::min(H, gScreenH);
    auto place = [&](int32_t edge, int32_t size, int32_t screen) {
        int32_t value = edge;
        if (!whole) {
            if (edge > screen - 20) value = screen - 20;
        } else if (edge + size >= screen) {
            value = screen - size;
        }
        return std::max(0, value);
    };
    int32_t x = place(rect.left, W2, gScreenW);
    int32_t y = place(rect.top, H2, gScreenH);
    if (x == rect.left && y == rect.top && W2 == W && H2 == H) return false;
    pf::Point position{x, y};
    return gWinSetSize(window, W2 - (W - window->clientWidth), H2 - (H - window->clientHeight), &position);
}

void gWinFitToContent(gWindow* window, int flag) {
    if (window == nullptr) return;
    int32_t w = 10, h = 4;
    if (gHookTable.measureExtent != nullptr) gHookTable.measureExtent(window, flag, &w, &h);
    gWinSetSize(window, std::max(10, w), std::max(4, h), nullptr);
}

void gWinRestorePlacement(gWindow* window, const pf::Rect* rect, bool minimise) {
    if (window == nullptr || window->hwnd == nullptr) return;
    pf::WindowPlacement placement;
    pf::GetWindowPlacement(window->hwnd, &placement);
    if (placement.showCommand == pf::kSwShowNormal || placement.showCommand == pf::kSwRestore) {
        placement.showCommand = minimise ? pf::kSwMinimize : pf::kSwMaximize;
        window->state &= ~kStateSizable;
        window->state |= minimise ? kStateMinimised : kStateMaximised;
    } else {
        placement.showCommand = pf::kSwRestore;
        if (rect != nullptr) placement.normalPosition = *rect;
        window->state &= ~(kStateMinimised | kStateMaximised);
        if ((window->style & kStyleSizable) != 0 && (window->style & kStyleEmbedded) == 0) {
            window->state |= kStateSizable;
        }
    }
    pf::SetWindowPlacement(window->hwnd, &placement);
}

void gWinGetPos(gWindow* window, pf::Point* point) {
    if (window == nullptr || point == nullptr) return;
    point->x = window->x;
    point->y = window->y;
    if ((window->style & kStyleEmbedded) != 0 && window->parent != nullptr && window->parent->hwnd != nullptr) {
        pf::Point origin{0, 0};
        pf::ClientToScreen(window->parent->hwnd, &origin);
        point->x -= origin.x;
        point->y -= origin.y;
    }
}

bool gWorkArea(pf::Rect* rect, gWindow* window) {
    if (rect == nullptr) return false;
    if (window != nullptr && pf::GetMonitorWorkArea(window->hwnd, rect)) return true;
    *rect = pf::GetWorkArea();
    if (rect->right > rect->left && rect->bottom > rect->top) return true;
    *rect = pf::Rect{0, 0, gScreenW, gScreenH};
    return true;
}

bool gWinAnyAlive() {
    for (gWindow* top = gList; top != nullptr; top = top->next) {
        if (top->hwnd != nullptr) return true;
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) {
            if (child->hwnd != nullptr) return true;
        }
    }
    return false;
}

// ---- Closing and releasing ---------------------------------------------------------------

void gWinClose(gWindow* window) {
    if (gWinValidate(window) == nullptr) return;
    if (window->hwnd == nullptr || (gFlags & kFlagQuitPosted) != 0 || (window->state & kStateClosed) != 0) {
        gWinRelease(window);
        return;
    }
    pf::SendMessage(window->hwnd, pf::kWmClose, 0, 0);
}

void gWinCloseQuiet(gWindow* window) {
    if (gWinValidate(window) == nullptr) return;
    window->closeHandler = nullptr;
    gWinClose(window);
}

namespace {

void CloseEvery(bool quiet) {
    std::vector<gWindow*> order;
    for (gWindow* top = gList; top != nullptr; top = top->next) {
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) order.push_back(child);
        order.push_back(top);
    }
    for (gWindow* window : order) {
        if (gWinValidate(window) == nullptr || (window->state & kStateClosed) != 0) continue;
        if (quiet) {
            gWinCloseQuiet(window);
        } else {
            gWinClose(window);
        }
    }
}

}  // namespace

void gWinCloseEvery() { CloseEvery(false); }
void gWinCloseEveryQuiet() { CloseEvery(true); }

bool gUiClose(gWindow* window) {
    if (window == nullptr) {
        if (gList == nullptr) return false;
        gWinCloseEvery();
        return true;
    }
    if (gWinValidate(window) == nullptr) return false;
    gWinClose(window);
    return true;
}

bool gUiCloseQuiet(gWindow* window) {
    if (window == nullptr) {
        if (gList == nullptr) return false;
        gWinCloseEveryQuiet();
        return true;
    }
    if (gWinValidate(window) == nullptr) return false;
    gWinCloseQuiet(window);
    return true;
}

int gWinFindLink(gWindow* window, gWindow** previous) {
    gWindow* before = nullptr;
    for (gWindow* top = gList; top != nullptr; before = top, top = top->next) {
        if (top == window) {
            if (previous != nullptr) *previous = before;
            return 1;
        }
        gWindow* prior = top;
        for (gWindow* child = top->firstChild; child != nullptr; prior = child, child = child->firstChild) {
            if (child == window) {
                if (previous != nullptr) *previous = prior;
                return 2;
            }
        }
    }
    return 0;
}

void gWinRelease(gWindow* window) {
    if (window == nullptr || gLive.count(window) == 0) return;
    if ((window->state & kStateInHandler) != 0) {
        window->state |= kStateClosed;
        return;
    }
    gWindow* previous = nullptr;
    int link = gWinFindLink(window, &previous);
    if (link == 1) {
        if (window->firstChild != nullptr) return;
        UnlinkTopLevel(window, previous);
        ReleaseRecord(window);
    } else if (link == 2) {
        UnlinkChild(window, previous);
        ReleaseRecord(window);
    }
}

void gWinReleaseTree(gWindow* window) {
    if (window == nullptr || gLive.count(window) == 0) return;
    if ((window->state & kStateInHandler) != 0) {
        window->state |= kStateClosed;
        return;
    }
    gWindow* previous = nullptr;
    int link = gWinFindLink(window, &previous);
    if (link == 1) {
        UnlinkTopLevel(window, previous);
        ReleaseChildren(window);
    } else if (link == 2) {
        UnlinkChild(window, previous);
    }
    ReleaseRecord(window);
}

void gWinReapClosed(gWindow* window) {
    if (window == nullptr || gLive.count(window) == 0) return;
    gWindow* owner = window->parent != nullptr ? window->parent : window;
    bool inHandler = (window->state & kStateInHandler) != 0;
    if (!inHandler) {
        gWindow* prior = owner;
        gWindow* child = owner->firstChild;
        while (child != nullptr) {
            gWindow* next = child->firstChild;
            if ((child->state & kStateClosed) != 0) {
                prior->firstChild = next;
                child->firstChild = nullptr;
                ReleaseRecord(child);
            } else {
                prior = child;
            }
            child = next;
        }
    }
    if ((owner->state & kStateClosed) != 0 && owner->firstChild == nullptr) gWinReleaseTree(owner);
}

void gWinDestroyAll() {
    // Detach everything first: destroying one native window destroys the windows it
    // owns, and their messages must not find records that are going away.
    std::vector<gWindow*> all;
    for (gWindow* top = gList; top != nullptr; top = top->next) {
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) all.push_back(child);
        all.push_back(top);
    }
    gList = nullptr;
    for (gWindow* window : all) {
        if (window->hwnd != nullptr) pf::SetWindowLongPtr(window->hwnd, pf::kGwlpUserData, 0);
        window->next = nullptr;
        window->firstChild = nullptr;
    }
    gCache = nullptr;
    for (gWindow* window : all) ReleaseRecord(window);
}

bool gWinAfterHandler(gWindow* window) {
    if (window == nullptr || gLive.count(window) == 0) return false;
    window->state &= ~kStateInHandler;
    if ((window->state & kStateClosed) == 0) return gWinValidate(window) != nullptr;
    if (window->hwnd == nullptr || !pf::IsWindow(window->hwnd)) {
        gWinReleaseTree(window);
    } else {
        gWinRelease(window);
    }
    return gLive.count(window) != 0 && gWinValidate(window) != nullptr;
}

// ---- The run loop ---------------------------------------------------------------------

void gMessageLoop(uint8_t mode) {
    if (gList == nullptr || !gWinAnyAlive()) return;
    gCurrent = nullptr;
    pf::Msg msg;
    if (mode != 1) {
        while (pf::GetMessage(&msg)) pf::DispatchMessage(&msg);
    } else {
        for (;;) {
            if (pf::PeekMessage(&msg, false)) {
                if (!pf::GetMessage(&msg)) break;
                pf::DispatchMessage(&msg);
                continue;
            }
            gWindow* animated = gAnimated;
            if (animated == nullptr) {
                pf::WaitMessage();
                continue;
            }
            if (!gWinMakeCurrent(animated)) continue;
            if (animated->idleFunction != nullptr) animated->idleFunction();
            animated = gAnimated;
            if (animated != nullptr && gWinMakeCurrent(animated)) {
                gWinPaint(animated);
                gWinSwapPainted(animated);
            }
        }
    }
    gWinDestroyAll();
}

}  // namespace orva
