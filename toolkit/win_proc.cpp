// The window procedure of both toolkit window classes.
#include <GL/gl.h>

#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

#include "common/log.h"
#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/window.h"

namespace orva {

uint32_t& ToolkitFlagsRef();
uint32_t& ToolkitLastAdded();
void gReadScreenSize();
void gRunFrameHook();
void gRunOnceHook(pf::WParam wParam);
void gRun503Hook(pf::WParam wParam, pf::LParam lParam);

namespace {

bool IsMainAlone(const gWindow* window) { return window == gWinList() && window->next == nullptr; }

bool EndsProgram(const gWindow* window) {
    return IsMainAlone(window) || (window->style & (kStyleEndsProgram | kStyleMain)) != 0;
}

void PostQuitOnce() {
    uint32_t& flags = ToolkitFlagsRef();
    if ((flags & kFlagQuitPosted) != 0) return;
    flags |= kFlagQuitPosted;
    pf::PostQuitMessage(0);
}

// The first top-level window with a native window that is not `except`.
pf::Hwnd OtherHwnd(pf::Hwnd except) {
    for (gWindow* top = gWinList(); top != nullptr; top = top->next) {
        if (top->hwnd != nullptr && top->hwnd != except && (top->state & kStateClosed) == 0) return top->hwnd;
    }
    return nullptr;
}

void CloseOthers(gWindow* window) {
    std::vector<gWindow*> order;
    for (gWindow* top = gWinList(); top != nullptr; top = top->next) {
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild) order.push_back(child);
        order.push_back(top);
    }
    for (gWindow* other : order) {
        if (other != window && gWinValidate(other) != nullptr && (other->state & kStateClosed) == 0) {
            gWinClose(other);
        }
    }
}

pf::LResult OnCreate(pf::Hwnd hwnd, pf::LParam lParam) {
    auto* create = reinterpret_cast<pf::CreateStruct*>(lParam);
    auto* window = create == nullptr ? nullptr : static_cast<gWindow*>(create->createParams);
    if (window == nullptr || gWinValidate(window) == nullptr) return 1;
    pf::SetWindowLongPtr(hwnd, pf::kGwlpUserData, reinterpret_cast<pf::LParam>(window));
    if (window == gWinList()) gReadScreenSize();
    gWinUpdateRects(window, hwnd);
    window->savedX = window->x;
    window->savedY = window->y;
    if (window->minTrackWidth > window->width) window->minTrackWidth = window->width >> 1;
    if (window->minTrackHeight > window->height) window->minTrackHeight = window->height >> 1;
    window->hdc = pf::GetDC(hwnd);
    bool ok = window->hdc != nullptr && gChoosePixelFormat(window) == 0;
    if (ok) {
        window->hglrc = pf::CreateGlContext(window->hdc);
        ok = window->hglrc != nullptr && gWinMakeCurrent(window);
    }
    if (!ok) {
        if (window->hglrc != nullptr) pf::DeleteGlContext(window->hglrc);
        window->hglrc = nullptr;
        pf::ReleaseDC(hwnd, window->hdc);
        window->hdc = nullptr;
        return 1;
    }
    window->hwnd = hwnd;
    for (GLenum cap : {GL_DEPTH_TEST, GL_FOG, GL_BLEND, GL_LIGHTING, GL_TEXTURE_1D, GL_TEXTURE_2D, GL_CULL_FACE,
                       GL_NORMALIZE, GL_ALPHA_TEST, GL_DITHER, GL_STENCIL_TEST}) {
        glDisable(cap);
    }
    glShadeModel(GL_FLAT);
    glLineWidth(1.0f);
    for (GLenum hint : {GL_FOG_HINT, GL_PERSPECTIVE_CORRECTION_HINT, GL_LINE_SMOOTH_HINT, GL_POINT_SMOOTH_HINT,
                        GL_POLYGON_SMOOTH_HINT}) {
        glHint(hint, GL_FASTEST);
    }
    gInitExtensions();
    if (gHooks().buildFontLists != nullptr && !gHooks().buildFontLists(window)) window->font = nullptr;
    gWinMakeCurrent(window);
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    if (window->defaultCursor == nullptr) {
        window->defaultCursor = gCursorGet(4) != nullptr ? gCursorGet(4) : pf::GetCursor();
    }
    window->cursor = window->defaultCursor;
    return 0;
}

pf::LResult OnClose(pf::Hwnd hwnd, gWindow* window) {
    uint32_t& flags = ToolkitFlagsRef();
    bool allow = true;
    if (window != nullptr && (flags & kFlagClosing) == 0 && window->closeHandler != nullptr) {
        window->state |= kStateInHandler;
        allow = window->closeHandler(window, window->userData);
        if (!gWinAfterHandler(window)) return 0;
    }
    // A refused close leaves the window as it was: shown, painted, with its timers.
    if (!allow || window == nullptr) {
        if (window == nullptr && allow) pf::DestroyWindow(hwnd);
        return 0;
    }
    pf::ShowWindow(hwnd, pf::kSwHide);
    if (window->showHandler != nullptr) window->showHandler(window, false);
    bool passOn = (flags & kFlagClosing) == 0 && (ToolkitLastAdded() & kStyleEndsProgram) == 0;
    pf::Hwnd& caret = gCaretTimer();
    pf::Hwnd& track = gTrackTimer();
    if (caret == hwnd) {
        pf::KillTimer(hwnd, kCaretTimerId);
        caret = nullptr;
        gWindow* focus = gHooks().focusWidgetWindow != nullptr ? gHooks().focusWidgetWindow() : nullptr;
        if (passOn && focus != nullptr && focus != window && (focus->state & kStateClosed) == 0 &&
            focus->hwnd != nullptr) {
            caret = focus->hwnd;
            pf::SetTimer(caret, kCaretTimerId, 500);
        }
    }
    if (track == hwnd) {
        pf::KillTimer(hwnd, kTrackTimerId);
        track = nullptr;
        if (passOn) {
            pf::Hwnd other = OtherHwnd(hwnd);
            if (other == caret) other = nullptr;
            // Prefer a window other than the caret's holder; fall back to it.
            if (other == nullptr) other = caret;
            if (other != nullptr) {
                track = other;
                pf::SetTimer(track, kTrackTimerId, 100);
            }
        }
    }
    window->state |= kStateClosed;
    if (EndsProgram(window)) {
        flags |= kFlagClosing;
        if (window->parent != nullptr) {
            CloseOthers(window);
            return 0;
        }
    }
    if (window->parent == nullptr) pf::DestroyWindow(hwnd);
    return 0;
}

pf::LResult OnDestroy(gWindow* window) {
    if (window != nullptr) {
        if (EndsProgram(window) && window->parent == nullptr) PostQuitOnce();
        if ((window->state & kStateClosed) != 0) {
            gWinRelease(window);
        } else {
            window->state |= kStateClosed;
            if (window->firstChild == nullptr) gWinReapClosed(window);
        }
    }
    if (gWinList() == nullptr || !gWinAnyAlive()) PostQuitOnce();
    return 0;
}

pf::LResult OnActivate(pf::Hwnd hwnd, gWindow* window, pf::WParam wParam, pf::LParam lParam) {
    auto other = reinterpret_cast<pf::Hwnd>(lParam);
    if (pf::LoWord(wParam) == pf::kWaInactive) {
        window->state |= kStateInactive;
        if (gCaretTimer() == hwnd) {
            pf::KillTimer(hwnd, kCaretTimerId);
            gCaretTimer() = nullptr;
        }
        if (gHooks().hasHotWidget != nullptr && gHooks().hasHotWidget() && gHooks().endHover != nullptr) {
            gHooks().endHover(window);
        }
        if (other == nullptr) {
            gMouseButtonState() = 0;
            if (gHooks().menuEnd != nullptr && gHooks().menuOpen != nullptr && gHooks().menuOpen()) {
                gHooks().menuEnd(nullptr, false, false);
            }
            if (window == gWinList() && gHooks().cancelPress != nullptr) gHooks().cancelPress();
            pf::MakeGlCurrent(nullptr, nullptr);
        } else if (gWinFromHwndAny(other) == nullptr) {
            pf::PostMessage(hwnd, pf::kWmCancelMode, 0, 0);
        }
        return 0;
    }
    window->state &= ~kStateInactive;
    if (gTrackTimer() == nullptr) {
        gTrackTimer() = hwnd;
        pf::SetTimer(hwnd, kTrackTimerId, 100);
    }
    if (gCaretTimer() == nullptr) {
        gCaretTimer() = hwnd;
        pf::SetTimer(hwnd, kCaretTimerId, 500);
    }
    if ((gToolkitFlags() & kFlagQuitPosted) == 0) gWinMakeCurrent(window);
    if (other != nullptr && other != hwnd && gWinFromHwndAny(other) == nullptr) {
        pf::PostMessage(hwnd, pf::kWmCancelMode, 0, 0);
    }
    return 0;
}

pf::LResult OnSize(pf::Hwnd hwnd, gWindow* window, pf::WParam wParam, pf::LParam lParam) {
    if (wParam == pf::kSizeMinimized) {
        window->state |= kStateMinimised;
        return pf::DefWindowProc(hwnd, pf::kWmSize, wParam, lParam);
    }
    window->state &= ~kStateMinimised;
    pf::Rect client;
    pf::GetClientRect(hwnd, &client);
    int32_t w = std::max(1, client.right), h = std::max(1, client.bottom);
    if (w != window->clientWidth || h != window->clientHeight) {
        window->clientWidth = w;
        window->clientHeight = h;
        if (gWinMakeCurrent(window)) glViewport(0, 0, w, h);
        if (window->resizeHandler != nullptr) window->resizeHandler(window);
        if (gWinValidate(window) == nullptr) return 0;
    }
    if (wParam == pf::kSizeRestored || wParam == pf::kSizeMaximized || wParam == pf::kSizeMaxShow) {
        gWinUpdateRects(window, hwnd);
        gWindow* child = window->firstChild;
        if (window->parent == nullptr && child != nullptr && (child->style & kStyleEmbedded) != 0 &&
            (child->state & kStateChildMaximised) != 0 && child->hwnd != nullptr) {
            pf::SetWindowPos(child->hwnd, nullptr, 0, 0, window->clientWidth, window->clientHeight, 0x716);
        }
    }
    return 0;
}

// The frame bits an embedded child gives up while it fills its parent: caption, thick
// frame, system menu, minimise and maximise boxes.
constexpr uint32_t kChildFrameBits = 0xCF0000;
constexpr size_t kChildTitleMax = 30;

// An embedded child follows its placement: maximised, it fills its parent's client area
// without its frame and names itself in the parent's title; restored, it gets both back.
void OnChildActivate(pf::Hwnd hwnd, gWindow* window) {
    gWindow* parent = window->parent;
    pf::WindowPlacement placement;
    if ((window->style & kStyleEmbedded) == 0 || parent == nullptr || !pf::GetWindowPlacement(hwnd, &placement)) {
        return;
    }
    auto ws = static_cast<uint32_t>(pf::GetWindowLongPtr(hwnd, pf::kGwlStyle));
    if (placement.showCommand == pf::kSwShowNormal || placement.showCommand == pf::kSwRestore) {
        window->state &= ~kStateMinimised;
        if ((window->state & kStateMaximised) != 0) {
            window->state &= ~kStateMaximised;
            if ((window->style & kStyleSizable) != 0) window->state |= kStateSizable;
        }
        // A restored child no longer fills its parent, sizable or not: the parent's
        // resizing must stop stretching it.
        window->state &= ~kStateChildMaximised;
        if ((window->savedFrameStyle & ~ws) != 0) {
            pf::SetWindowLongPtr(hwnd, pf::kGwlStyle, static_cast<pf::LParam>(ws | window->savedFrameStyle));
            pf::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                             pf::kSwpNoSize | pf::kSwpNoMove | pf::kSwpNoZOrder | pf::kSwpFrameChanged |
                                 pf::kSwpShowWindow);
            window->savedFrameStyle = 0;
        }
        if (parent->hwnd != nullptr) pf::SetWindowText(parent->hwnd, parent->title.c_str());
        return;
    }
    if (placement.showCommand != pf::kSwMaximize || (window->state & kStateMaximised) != 0) return;
    window->savedFrameStyle = ws & kChildFrameBits;
    if (window->savedFrameStyle != 0) {
        pf::SetWindowLongPtr(hwnd, pf::kGwlStyle, static_cast<pf::LParam>(ws & ~kChildFrameBits));
    }
    pf::Rect area;
    if (parent->hwnd != nullptr && pf::GetClientRect(parent->hwnd, &area) &&
        pf::SetWindowPos(hwnd, nullptr, 0, 0, area.right, area.bottom, 0x774)) {
        window->state = (window->state | kStateChildMaximised) & ~kStateSizable;
        window->width = window->clientWidth;
        window->height = window->clientHeight;
    }
    window->state |= kStateMaximised;
    if (parent->hwnd == nullptr) return;
    char text[256];
    auto length = static_cast<size_t>(pf::GetWindowText(hwnd, text, sizeof text));
    std::string label;
    if (length > 0) {
        label.assign(text, std::min(length, kChildTitleMax));
        if (length > kChildTitleMax) label += "...";
    } else {
        int position = 1;
        for (gWindow* child = parent->firstChild; child != nullptr && child != window; child = child->firstChild) {
            ++position;
        }
        label = std::to_string(position);
    }
    pf::SetWindowText(parent->hwnd, (parent->title + " - [" + label + "]").c_str());
}

void FocusLeavesOtherWindow(gWindow* window, bool withWindow) {
    gWindow* focus = gHooks().focusWidgetWindow != nullptr ? gHooks().focusWidgetWindow() : nullptr;
    if (focus == nullptr || focus == window || focus->parent == window) return;
    if (gHooks().leaveFocus != nullptr) gHooks().leaveFocus(nullptr, withWindow ? window : nullptr);
}

}  // namespace

pf::LResult gWinProc(pf::Hwnd hwnd, uint32_t message, pf::WParam wParam, pf::LParam lParam) {
    if (message == pf::kWmCreate) return OnCreate(hwnd, lParam);
    gWindow* window = gWinFromHwnd(hwnd);
    gToolkitHooks& hooks = gHooks();
    switch (message) {
        case pf::kWmDestroy:
            return OnDestroy(window);
        case pf::kWmPaint: {
            pf::PaintStruct paint;
            pf::BeginPaint(hwnd, &paint);
            if (window != nullptr && (gToolkitFlags() & kFlagQuitPosted) == 0 && gWinMakeCurrent(window)) {
                // The whole client area: a window sized while another context was current
                // (a popup moved and sized before it is shown) has its viewport set here.
                glViewport(0, 0, window->clientWidth, window->clientHeight);
                gWinPaint(window);
                gWinSwapPainted(window);
            }
            pf::EndPaint(hwnd, &paint);
            return 0;
        }
        case pf::kWmSetCursor:
            if (pf::LoWord(static_cast<uintptr_t>(lParam)) == pf::kHtClient) {
                if (window != nullptr) {
                    pf::Cursor cursor = window->cursor != nullptr ? window->cursor : window->defaultCursor;
                    if (cursor != nullptr && pf::GetCursor() != cursor) pf::SetCursor(cursor);
                }
                return 0;
            }
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case kMsgFrame:
            gRunFrameHook();
            return 0;
        case kMsgOnce:
            gRunOnceHook(wParam);
            return 0;
        case kMsg503:
            gRun503Hook(wParam, lParam);
            return 0;
        default:
            break;
    }
    if (window == nullptr) return pf::DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
        case pf::kWmSize:
            return OnSize(hwnd, window, wParam, lParam);
        case pf::kWmActivate:
            return OnActivate(hwnd, window, wParam, lParam);
        case pf::kWmSetFocus:
            FocusLeavesOtherWindow(window, true);
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmKillFocus:
            if (hooks.repeatKillFocus != nullptr) hooks.repeatKillFocus();
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmClose:
            return OnClose(hwnd, window);
        case pf::kWmQueryEndSession:
            return 1;
        case pf::kWmEraseBkgnd:
        case pf::kWmEndSession:
            return 0;
        case pf::kWmShowWindow:
            if (wParam == 0) {
                window->state |= kStateHiddenByShow;
            } else {
                window->state &= ~kStateHiddenByShow;
            }
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmActivateApp:
            if (window->activateRestores == 1) {
                if (wParam != 0) {
                    pf::ShowWindow(hwnd, pf::kSwShowNormal);
                    pf::MoveWindow(hwnd, 0, 0, window->savedX, window->savedY, true);
                    gWinMakeCurrent(window);
                } else {
                    pf::ShowWindow(hwnd, pf::kSwMinimize);
                    pf::MakeGlCurrent(nullptr, nullptr);
                }
            }
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmCancelMode:
            gMouseButtonState() = 0;
            if (hooks.cancelPress != nullptr) hooks.cancelPress();
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmChildActivate:
            OnChildActivate(hwnd, window);
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmGetMinMaxInfo:
            if (window->minTrackWidth != 0 && lParam != 0) {
                auto* info = reinterpret_cast<pf::MinMaxInfo*>(lParam);
                info->minTrackSize = pf::Point{window->minTrackWidth, window->minTrackHeight};
            }
            return 0;
        case pf::kWmCompacting:
            return 0;
        case pf::kWmCopyData:
            if (window->copyDataHandler == nullptr) return pf::DefWindowProc(hwnd, message, wParam, lParam);
            if (lParam != 0) window->copyDataHandler(window, reinterpret_cast<const pf::CopyDataStruct*>(lParam));
            return 1;
        case pf::kWmDisplayChange:
            gReadScreenSize();
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmKeyDown:
        case pf::kWmSysKeyDown:
            if (hooks.keyDown != nullptr) hooks.keyDown(hwnd, wParam, lParam);
            return 0;
        case pf::kWmKeyUp:
        case pf::kWmSysKeyUp:
            if (hooks.keyUp != nullptr) hooks.keyUp(hwnd, wParam, lParam);
            return 0;
        case pf::kWmSysCommand: {
            pf::WParam command = wParam & 0xFFF0;
            bool embedded = (window->style & kStyleEmbedded) != 0;
            if (command == pf::kScMinimize) {
                window->state |= kStateMinimised;
                if (window->style & kStyleSizable) window->state |= kStateSizable;
                if (embedded) window->state &= ~kStateChildMaximised;
            } else if (command == pf::kScMaximize && !embedded) {
                window->state = (window->state & ~kStateSizable) | kStateMaximised;
            } else if (command == pf::kScRestore && !embedded) {
                window->state &= ~(kStateMinimised | kStateMaximised);
                if (window->style & kStyleSizable) window->state |= kStateSizable;
            } else if (command == pf::kScScreenSave || command == pf::kScMonitorPower) {
                bool suppress = window->sysCommandHandler != nullptr &&
                                reinterpret_cast<intptr_t>(window->sysCommandHandler) != -1 &&
                                window->sysCommandHandler(window, true);
                if (command == pf::kScScreenSave && suppress) return 0;
            }
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        }
        case pf::kWmTimer:
            if ((gToolkitFlags() & kFlagQuitPosted) == 0 && hooks.timer != nullptr) hooks.timer(hwnd, wParam);
            return 0;
        case pf::kWmMouseMove:
            if (hooks.mouseMove != nullptr) {
                bool passOn = false;
                pf::LResult result = hooks.mouseMove(hwnd, wParam, lParam, &passOn);
                if (passOn) return pf::DefWindowProc(hwnd, message, wParam, lParam);
                return result;
            }
            return 0;
        case pf::kWmLButtonDown:
        case pf::kWmRButtonDown: {
            bool left = message == pf::kWmLButtonDown;
            gMouseButtonState() = left ? 1 : 5;
            FocusLeavesOtherWindow(window, false);
            int goOn = hooks.buttonDown != nullptr ? hooks.buttonDown(hwnd, lParam) : 1;
            if (goOn == 0) return 0;
            if (hooks.menuOpen != nullptr && hooks.menuOpen() && hooks.menuEnd != nullptr) {
                hooks.menuEnd(hwnd, true, true);
            }
            if (left) {
                if (gClickHookFn hook = gMainHook()) hook(nullptr, nullptr);
            }
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        }
        case pf::kWmLButtonUp:
        case pf::kWmRButtonUp: {
            gMouseButtonState() = 0;
            bool menuOpen = hooks.menuOpen != nullptr && hooks.menuOpen();
            if (menuOpen && hooks.menuOwnsWindow != nullptr && hooks.menuOwnsWindow(hwnd)) {
                if (hooks.menuEnd != nullptr) hooks.menuEnd(hwnd, true, true);
                return pf::DefWindowProc(hwnd, message, wParam, lParam);
            }
            int result = hooks.buttonUp != nullptr ? hooks.buttonUp(hwnd, lParam) : 0;
            if (hooks.menuOpen != nullptr && hooks.menuOpen() && hooks.menuEnd != nullptr) {
                hooks.menuEnd(hwnd, true, true);
            }
            return result != 0 ? pf::DefWindowProc(hwnd, message, wParam, lParam) : 0;
        }
        case pf::kWmLButtonDblClk:
        case pf::kWmRButtonDblClk:
            if (hooks.doubleClick != nullptr) hooks.doubleClick(hwnd, message, wParam, lParam);
            return 0;
        case pf::kWmMButtonDown:
            FocusLeavesOtherWindow(window, false);
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmMButtonUp:
            if (hooks.menuOpen != nullptr && hooks.menuOpen() && hooks.menuEnd != nullptr) {
                hooks.menuEnd(hwnd, true, true);
            }
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmMouseWheel:
            // The wheel turns what lies under the pointer (the X server sends it there), also
            // in a window that is not the active one: without a window manager nothing gives
            // the activation back once a page window shown from a menu took it.
            if (hooks.wheel != nullptr && (window->state & (kNoWheelMask & ~kStateInactive)) == 0 &&
                gWinMakeCurrent(window)) {
                hooks.wheel(window, static_cast<int16_t>(pf::HiWord(wParam)), pf::LoWord(wParam));
            }
            return 0;
        case pf::kWmEnterSizeMove:
            window->state |= kStateSizing;
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        case pf::kWmExitSizeMove: {
            window->state &= ~kStateSizing;
            auto redraw = [](gWindow* w) {
                gWinUpdateRects(w, w->hwnd);
                if ((w->state & kNotDrawnMask) == 0 && gWinMakeCurrent(w)) {
                    glViewport(0, 0, w->clientWidth, w->clientHeight);
                    gWinPaint(w);
                    gWinSwapPainted(w);
                }
            };
            redraw(window);
            for (gWindow* child = window->firstChild; child != nullptr; child = child->firstChild) {
                if (child->hwnd != nullptr) redraw(child);
            }
            if (window->firstChild != nullptr) gWinMakeCurrent(window);
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
        }
        case pf::kWmQueryNewPalette:
            return 0;
        default:
            return pf::DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace orva
