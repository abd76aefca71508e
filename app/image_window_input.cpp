// What the user does in an image window with the keyboard and the mouse: the pointer,
// scrolling and zooming, position marks, move mode, the placing of shapes and the keys
// that edit the current shape. The display cell owns the tool and drag state (in its
// GraphicsHost record), the shape container owns the shapes (reached through
// GraphicsShapeServices), the device owns zoom and scroll. UI thread only.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "app/field_readers.h"
#include "app/image_window.h"
#include "app/main_menu.h"
#include "app/message_dialog.h"
#include "data/kernel_util.h"
#include "framework/display_lock.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/list_control.h"
#include "toolkit/scale.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using kernel::SaturateTrunc;

// The key codes in bits 0-7 of the character keys (their virtual keys).
constexpr uint32_t kVkSpace = 0x20;
constexpr uint32_t kVkSlash = 0xBF;      // "/" on the US layout
constexpr uint32_t kVkBackslash = 0xDC;  // "\" on the US layout
// A view widget that holds the mouse for the placement (the drag flags' capture bit).
constexpr uint32_t kViewCapture = 0x40000;
// Positions in the view are kept within this.
constexpr double kViewPixelLimit = 16777215.0;

const GraphicsShapeServices& Shapes() { return TheGraphicsShapeServices(); }

bool IsFigureKind(int32_t kind) { return kind >= kPlaceLine && kind <= kPlaceEllipse; }
// Kinds placed as a box: Rect to Quads, EllipseSeg and EllipseATSeg.
bool IsBoxKind(int32_t kind) { return (kind >= 4 && kind <= 10) || kind == 12 || kind == 13; }

int32_t AddSaturated(int32_t a, int64_t b) {
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(a) + b, INT32_MIN, INT32_MAX));
}

// The tool keys' placement argument: 1, Ctrl 2, Alt 0, both 3.
int32_t ToolArgument(uint32_t key) {
    const bool ctrl = (key & kKeyCtrl) != 0, alt = (key & kKeyAlt) != 0;
    if (ctrl && alt) return 3;
    if (ctrl) return 2;
    if (alt) return 0;
    return 1;
}

// The statistics list's rows to the clipboard: name and value a line.
void CopyStatistics(gElement* list) {
    ListCtrl* l = ListCtrl::FromWidget(list);
    if (l != nullptr && OnUiThread()) ListCtrl::CopyToClipboard(l, 1, 0, true, false);
}

}  // namespace

double NextKeyZoom(double z, double s, double minimum) {
    auto hundredths = [](double v) { return std::floor(v * 100.0 + 1e-6) / 100.0; };
    double next;
    if (s > 0.0) {
        if (z + s >= kMaxZoom) next = kMaxZoom;
        else if (s <= z) next = hundredths(z + s);
        else next = s < minimum ? minimum : s;
    } else {
        next = z + s;
        if (next > 0.0) next = hundredths(next);
        if (next < minimum) next = minimum;
    }
    if (!(next > 0.0)) next = 1.0;
    return next;
}

// ---- Handlers of the view widget ---------------------------------------------------------------

void ImageViewPointerTracker(gElement* view, const platform::Point* point) {
    Image2DWindow* w = ImageWindowOfView(view);
    if (w == nullptr || point == nullptr) return;
    w->OnPointerMove(static_cast<float>(point->x), static_cast<float>(point->y));
}

void ImageViewMoveDrag(gElement* view, const platform::Point* point) {
    (void)point;
    Image2DWindow* w = ImageWindowOfView(view);
    if (w == nullptr || gMouseButtonState() == 0) return;
    w->OnMoveDrag(gDragStep.x, gDragStep.y);
}

bool ImageViewButton(gElement* view, uintptr_t) {
    Image2DWindow* w = ImageWindowOfView(view);
    if (w == nullptr) return true;
    const bool down = gMouseButtonState() != 0;
    // Moves over the view reach the window only once the toolkit's hover has taken the view
    // up; a press that comes sooner (the pointer just moved in) acts at its own point, not
    // at a point left from before.
    if (down) w->OnPointerMove(static_cast<float>(gCursorPos.x), static_cast<float>(gCursorPos.y));
    w->OnButton(down);
    return true;
}

void ImageViewClick(gElement*, uintptr_t) {}

void ImageViewWheel(gElement* view, int delta, int keys) {
    if (Image2DWindow* w = ImageWindowOfView(view)) w->OnWheel(delta, static_cast<uint32_t>(keys));
}

// ---- Small helpers ----------------------------------------------------------------------------

uint32_t Image2DWindow::ModifiersNow() const {
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return s.modifiersNow != nullptr ? s.modifiersNow() : gKeyModifiersNow();
}

void Image2DWindow::RepaintNow() {
    GraphicsHost* h = Host();
    if (h != nullptr && OnUiThread()) RepaintWindowNow(gWinValidate(h->window), 7);
}

void Image2DWindow::ShowViewCursor(int id) {
    GraphicsHost* h = Host();
    gElement* view = h != nullptr ? h->view : nullptr;
    if (view == nullptr) return;
    platform::Cursor cursor = platform::LoadCursor(id);
    view->cursor = cursor;
    if (gHotWidget == view && view->window != nullptr && OnUiThread()) {
        view->window->cursor = cursor;
        platform::SetCursor(cursor);
    }
}

// The pointer at a view point without the readout refresh.
void Image2DWindow::SetPointerQuiet(float x, float y) {
    pointerX = x;
    pointerY = y;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    ReadValueUnderPointer();
}

bool Image2DWindow::ShowMarkAtFrame(double fx, double fy) {
    const Image2DDevice* d = Device();
    if (d == nullptr || !std::isfinite(fx) || !std::isfinite(fy)) return false;
    const ImageViewRecord& v = d->view;
    const double x = v.originX + fx * (v.zoom.zoomedX != 0 ? v.zoom.x : 1.0);
    const double y = v.originY + fy * (v.zoom.zoomedY != 0 ? v.zoom.y : 1.0);
    SetPointerQuiet(static_cast<float>(std::clamp(x, -kViewPixelLimit, kViewPixelLimit)),
                    static_cast<float>(std::clamp(y, -kViewPixelLimit, kViewPixelLimit)));
    cursorMarkShown = 1;
    RepaintNow();
    return true;
}

bool Image2DWindow::ToFrame(float x, float y, double* fx, double* fy) const {
    const Image2DDevice* d = Device();
    if (d == nullptr) return false;
    const ImageViewRecord& v = d->view;
    *fx = (static_cast<double>(x) - v.originX) * (v.zoom.zoomedX != 0 ? v.zoom.inverseX : 1.0);
    *fy = (static_cast<double>(y) - v.originY) * (v.zoom.zoomedY != 0 ? v.zoom.inverseY : 1.0);
    return true;
}

void Image2DWindow::SnapDragEnd() {
    GraphicsHost* h = Host();
    if (h == nullptr || h->drag.state == 0) return;
    float end[2] = {pointerX, pointerY};
    bool snap = (ModifiersNow() & kKeyShift) != 0;
    if (h->shapeOptions.snapInvert != 0) snap = !snap;
    const float start[2] = {h->drag.startX, h->drag.startY};
    if (snap) SnapSegment(start, end);
    h->drag.x = end[0];
    h->drag.y = end[1];
    h->drag.endBeyond = 0;
}

namespace {

// The far edges of the frame (1 right, 2 bottom) that a view point lies on or beyond.
uint8_t BeyondFarEdges(const Image2DDevice* d, float x, float y) {
    if (d == nullptr) return 0;
    const ImageViewRecord& v = d->view;
    return static_cast<uint8_t>((x >= v.originX + v.scaledWidth ? 1 : 0) | (y >= v.originY + v.scaledHeight ? 2 : 0));
}

}  // namespace

// ---- The pointer ------------------------------------------------------------------------------

void Image2DWindow::OnPointerMove(float x, float y) {
    GraphicsHost* h = Host();
    if (h == nullptr || h->view == nullptr) return;
    const gElement* view = h->view;
    const float width = view->width > 0 ? view->width : static_cast<float>(h->width);
    const float height = view->height > 0 ? view->height : static_cast<float>(h->height);
    const float px = std::clamp(x - view->x, 0.0f, width) + 0.5f - static_cast<float>(h->offsetX);
    const float py = std::clamp(y - view->y, 0.0f, height) + 0.5f - static_cast<float>(h->offsetY);
    if (h->toolActive != 0) {
        // The placement tracker: the end point follows the pointer.
        const bool moved = px != pointerX || py != pointerY;
        pointerX = px;
        pointerY = py;
        if (h->drag.state != 0) SnapDragEnd();
        if (moved) RepaintNow();
        return;
    }
    if (px == pointerX && py == pointerY) return;
    SetPointer(px, py);
    SnapDragEnd();
}

void Image2DWindow::MovePointerBy(double dx, double dy) {
    GraphicsHost* h = Host();
    const float x = static_cast<float>(pointerX + dx), y = static_cast<float>(pointerY + dy);
    if (h != nullptr && h->view != nullptr && h->view->window != nullptr && OnUiThread()) {
        const double cx = std::floor(static_cast<double>(x) + h->view->x + h->offsetX);
        const double cy = std::floor(static_cast<double>(y) + h->view->y + h->offsetY);
        platform::pointerWarp(h->view->window->hwnd, platform::Point{SaturateTrunc<int32_t>(cx), SaturateTrunc<int32_t>(cy)});
    }
    SetPointerQuiet(x, y);
    cursorMarkShown = 0;
    SnapDragEnd();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (h != nullptr && h->readoutPage != nullptr && s.updateReadouts != nullptr) s.updateReadouts(cell);
    RepaintNow();
}

// ---- Scrolling and zoom --------------------------------------------------------------------------

bool Image2DWindow::ScrollAxisBy(bool axisX, int64_t step) {
    Image2DDevice* d = Device();
    if (d == nullptr || step == 0) return false;
    int32_t& scroll = axisX ? d->view.scrollX : d->view.scrollY;
    if ((step > 0 && scroll == INT32_MAX) || (step < 0 && scroll == INT32_MIN)) return false;
    scroll = AddSaturated(scroll, step);
    ViewRecompute(&d->view);
    PlaceSliders();
    RefreshAfterMove(false);
    return true;
}

bool Image2DWindow::ZoomByKey(bool in, uint32_t key, uint32_t repeat) {
    Image2DDevice* d = Device();
    if (d == nullptr) return false;
    ImageViewRecord& v = d->view;
    const double s = ((key & kKeyShift) != 0 ? 0.1 : 0.01) * (static_cast<double>(repeat) + 1.0) * (in ? 1.0 : -1.0);
    const bool ctrl = (key & kKeyCtrl) != 0, alt = (key & kKeyAlt) != 0;
    const bool chosen = ctrl || alt;
    bool useX = !chosen || alt, useY = !chosen || ctrl;
    const double minX = v.frameWidth > 0 ? 1.0 / v.frameWidth : kMinZoomUnknownSize;
    const double minY = v.frameHeight > 0 ? 1.0 / v.frameHeight : kMinZoomUnknownSize;
    auto atLimit = [&](double z, double minimum) { return in ? z >= kMaxZoom : z <= minimum; };
    const bool limitX = atLimit(v.zoom.x, minX), limitY = atLimit(v.zoom.y, minY);
    if (!chosen) {
        if (limitX || limitY) return false;
    } else {
        if (useX && limitX) useX = false;
        if (useY && limitY) useY = false;
        if (!useX && !useY) return false;
    }
    const double oldX = v.zoom.x, oldY = v.zoom.y;
    double newX = oldX, newY = oldY;
    if (useX) {
        newX = NextKeyZoom(oldX, s, minX);
        if (useY) {
            if (oldX == oldY) {
                newY = newX;
            } else {
                newY = oldY * (newX / oldX);
                if (!(newY >= minY) || newY > kMaxZoom) return false;
            }
        }
    } else {
        newY = NextKeyZoom(oldY, s, minY);
    }
    const bool changeX = newX != oldX, changeY = newY != oldY;
    if (!changeX && !changeY) return false;
    if (changeX) {
        ZoomSetAxis(&v.zoom, true, newX);
        ViewRecompute(&v);
        d->ScrollX(v.zoom.x / oldX);
    }
    if (changeY) {
        ZoomSetAxis(&v.zoom, false, newY);
        ViewRecompute(&v);
        d->ScrollY(v.zoom.y / oldY);
    }
    UpdateScales();
    const GraphicsHostServices& hs = TheGraphicsHostServices();
    if (cell != nullptr && hs.refreshZoomBar != nullptr) hs.refreshZoomBar(cell, 0);
    NotifyAndRepaint(kDeviceEventShapes);
    return true;
}

// ---- Positions ------------------------------------------------------------------------------------

bool Image2DWindow::JumpToPosition(int32_t digit) {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    if (h == nullptr || d == nullptr || digit < 0 || digit > 9) return false;
    if (digit >= 6 && h->marks[digit - 6].set == 0) return false;
    const ImageViewRecord& v = d->view;
    if (h->remembered.set == 0) {
        h->remembered = GraphicsMark{1, AddSaturated(h->offsetX, v.scrollX), AddSaturated(h->offsetY, v.scrollY)};
    }
    const double W = h->width, H = h->height;
    const double fw = static_cast<double>(v.frameWidth) * v.zoom.x, fh = static_cast<double>(v.frameHeight) * v.zoom.y;
    double x = h->offsetX, y = h->offsetY;
    switch (digit) {
        case 0:
            x = static_cast<double>(h->remembered.x) - v.scrollX;
            y = static_cast<double>(h->remembered.y) - v.scrollY;
            h->remembered = GraphicsMark{};
            break;
        case 1:
            x = -v.originX;
            y = -v.originY;
            break;
        case 2:
            x = W - fw - v.originX;
            y = -v.originY;
            break;
        case 3:
            x = W - fw - v.originX;
            y = H - fh - v.originY;
            break;
        case 4:
            x = -v.originX;
            y = H - fh - v.originY;
            break;
        case 5:
            x = (W - fw) / 2.0 - v.originX;
            y = (H - fh) / 2.0 - v.originY;
            break;
        default: {
            const GraphicsMark& m = h->marks[digit - 6];
            x = static_cast<double>(m.x) - v.scrollX;
            y = static_cast<double>(m.y) - v.scrollY;
            break;
        }
    }
    const int32_t ox = SaturateTrunc<int32_t>(x), oy = SaturateTrunc<int32_t>(y);
    if (ox != h->offsetX || oy != h->offsetY) {
        h->offsetX = ox;
        h->offsetY = oy;
        const GraphicsHostServices& s = TheGraphicsHostServices();
        if (s.repaint != nullptr) s.repaint(cell);
    }
    return true;
}

// ---- Keys -----------------------------------------------------------------------------------------

bool Image2DWindow::ArrowKey(bool axisX, int32_t sign, uint32_t key, uint32_t repeat, bool page) {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    const bool shift = (key & kKeyShift) != 0, ctrl = (key & kKeyCtrl) != 0, alt = (key & kKeyAlt) != 0;
    const double times = static_cast<double>(repeat) + 1.0;
    if (!shift) {
        // The pointer step, capped at the view's width on both axes.
        double step = (ctrl ? 10.0 : 1.0) * times;
        const double width = h != nullptr && h->view != nullptr && h->view->width > 0 ? h->view->width
                             : h != nullptr                                          ? h->width
                                                                                     : step;
        if (step > width) step = width;
        MovePointerBy(axisX ? sign * step : 0.0, axisX ? 0.0 : sign * step);
        return true;
    }
    if (d == nullptr) return false;
    // The scroll step.
    int64_t step = ctrl ? 10 : 1;
    if (alt) step = axisX ? d->view.frameWidth / 2 : d->view.frameHeight / 2;
    if (page) step = d->view.frameHeight / 2;
    step *= static_cast<int64_t>(repeat) + 1;
    const GraphicsShapeServices& shapes = Shapes();
    const bool moveShape = h != nullptr && h->shapes != nullptr && h->shapeOptions.arrowKeysMove != 0 &&
                           shapes.currentKind != nullptr && shapes.currentKind(h->shapes) >= 0;
    if (moveShape) {
        const double by = static_cast<double>(sign) * static_cast<double>(step);
        SetPointerQuiet(static_cast<float>(pointerX + (axisX ? by : 0.0)), static_cast<float>(pointerY + (axisX ? 0.0 : by)));
        PlaceSliders();
        ++keyMoves;
        if (keyMoves == 1 && shapes.snapshotShape != nullptr) shapes.snapshotShape(h->shapes);
        const double inverse = axisX ? d->view.zoom.inverseX : d->view.zoom.inverseY;
        if (shapes.applyMove != nullptr)
            shapes.applyMove(h->shapes, axisX ? by * inverse : 0.0, axisX ? 0.0 : by * inverse);
        RepaintNow();
        return true;
    }
    // Scroll positions at the int32 limit: the key is not used.
    return ScrollAxisBy(axisX, sign * step);
}

void Image2DWindow::EndKeyboardMoves() {
    GraphicsHost* h = Host();
    const GraphicsShapeServices& shapes = Shapes();
    if (keyMoves != 0 && h != nullptr && h->shapes != nullptr && shapes.currentKind != nullptr &&
        shapes.currentKind(h->shapes) >= 0 && shapes.attachViewTool != nullptr)
        shapes.attachViewTool(h->shapes, kViewToolAnchors);
    keyMoves = 0;
}

int32_t Image2DWindow::OnKeyDown(uint32_t key, uint32_t repeat) {
    if ((key & 0xFFFFu) == 0) return 0;
    if ((key & kKeySpecialMask) != 0) return OnSpecialKey(key, repeat);
    return OnCharacterKey(key);
}

int32_t Image2DWindow::OnSpecialKey(uint32_t key, uint32_t repeat) {
    GraphicsHost* h = Host();
    void* c = h != nullptr ? h->shapes : nullptr;
    const GraphicsShapeServices& shapes = Shapes();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    const bool shift = (key & kKeyShift) != 0, ctrl = (key & kKeyCtrl) != 0, alt = (key & kKeyAlt) != 0;
    const bool plain = (key & kKeyModifiers) == 0;
    switch (key & kKeySpecialMask) {
        case kKeyLeft:
            return ArrowKey(true, -1, key, repeat, false) ? 1 : 0;
        case kKeyRight:
            return ArrowKey(true, 1, key, repeat, false) ? 1 : 0;
        case kKeyUp:
        case kKeyPageUp:
            return ArrowKey(false, -1, key, repeat, (key & kKeySpecialMask) == kKeyPageUp) ? 1 : 0;
        case kKeyDown:
        case kKeyPageDown:
            return ArrowKey(false, 1, key, repeat, (key & kKeySpecialMask) == kKeyPageDown) ? 1 : 0;
        case kKeyPadAdd:
        case kKeyPadSubtract:
            // A zoom at its limit: the key is not used.
            return ZoomByKey((key & kKeySpecialMask) == kKeyPadAdd, key, repeat) ? 1 : 0;
        case KeyF(5):
            StartShapeTool(5, shift ? kPlacePolyLine : kPlaceLine, ToolArgument(key));
            return 1;
        case KeyF(6):
            StartShapeTool(5, kPlaceBSpline, ToolArgument(key));
            return 1;
        case KeyF(7):
            StartShapeTool(6, shift ? kPlaceEllipse : kPlaceRect, 1);
            return 1;
        case KeyF(8):
            if (shift) StartShapeTool(7, kPlaceRect, ToolArgument(key));
            else StartShapeTool(1, kPlacePoint, ToolArgument(key));
            return 1;
        case KeyF(9):
            // Alt alone is the Draw menu's shortcut of the area gauge: it does what the
            // menu shows.
            if (alt && !ctrl && !shift) StartShapeTool(3, kPlaceRect, 1);
            else StartShapeTool(ctrl ? 4 : 2, shift || ctrl ? kPlacePolyLine : kPlaceLine, ToolArgument(key));
            return 1;
        case KeyF(10):
            if (alt) return 0;
            if (!ctrl) {
                RefreshView(!shift);
                return 1;
            }
            if (shift) return 0;
            // Reload: the frame is read again from the source.
            if (Image2DDevice* d = Device()) {
                d->area = d->lastArea = DeviceArea{};
                d->cachedArea = 0;
            }
            if (cell != nullptr && s.reloadSource != nullptr) s.reloadSource(cell);
            if (c != nullptr && shapes.resetPivots != nullptr) shapes.resetPivots(c);
            if (Image2DDevice* d = Device()) d->OnEvent(kDeviceEventGeometry, kDeviceLevelRepaint);
            RepaintNow();
            return 1;
        case KeyF(12):
            if (cell != nullptr && s.toggleToolObject != nullptr && s.toggleToolObject(cell)) return 1;
            if (h != nullptr) h->cellFlag = h->cellFlag != 0 ? 0 : 1;
            return kKeyToolFlagToggled;
        case kKeyTab:
            if (alt) return 0;
            if (ctrl) {
                if (s.stepProjectItem != nullptr) s.stepProjectItem(shift);
                return 1;
            }
            if (c == nullptr || shapes.currentKind == nullptr || shapes.currentKind(c) < 0) return 0;
            if (shapes.selectAdjacent != nullptr) shapes.selectAdjacent(c, !shift);
            return 1;
        case kKeyEscape:
            if (h != nullptr && h->toolActive != 0) {
                EndPlacement(0);
                return 1;
            } else {
                bool changed = false;
                if (c != nullptr && shapes.leaveAnchorTool != nullptr) changed = shapes.leaveAnchorTool(c) || changed;
                if (c != nullptr && shapes.leaveSelectMode != nullptr) changed = shapes.leaveSelectMode(c) || changed;
                if (!changed) return 0;
                RepaintNow();
                return 1;
            }
        case kKeyEnter:
            if (plain) {
                if (h != nullptr && h->toolActive != 0) {
                    EndPlacement(2);
                    RepaintNow();
                }
                return 1;
            }
            if (alt && !ctrl && !shift) {
                if (cell != nullptr && s.playbackRedraw != nullptr) s.playbackRedraw(cell);
                return 1;
            }
            return 0;
        case kKeyDelete:
            if (c == nullptr) return plain || (shift && !ctrl && !alt) ? 1 : 0;
            if (plain) {
                if (shapes.removeShape != nullptr) shapes.removeShape(c, nullptr);
                return 1;
            }
            if (shift && !ctrl && !alt) {
                if (shapes.removeShapesOf != nullptr) shapes.removeShapesOf(c, nullptr);
                return 1;
            }
            return 0;
        case kKeyInsert:
            if (!ctrl || shift || alt) return 0;
            if (h != nullptr && h->statistics != nullptr) CopyStatistics(h->statistics);
            return 1;
        default:
            return 0;
    }
}

int32_t Image2DWindow::OnCharacterKey(uint32_t key) {
    GraphicsHost* h = Host();
    void* c = h != nullptr ? h->shapes : nullptr;
    const GraphicsShapeServices& shapes = Shapes();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    const bool shift = (key & kKeyShift) != 0, ctrl = (key & kKeyCtrl) != 0, alt = (key & kKeyAlt) != 0;
    const bool plain = (key & kKeyModifiers) == 0;
    const uint32_t vk = key & kKeyPrintableMask;
    auto inscribe = [&](int32_t mode) {
        if (c != nullptr && shapes.inscribeAnchors != nullptr) shapes.inscribeAnchors(c, mode);
        return 1;
    };
    auto undo = [&](bool back) {
        if (c != nullptr && shapes.undoStep != nullptr) shapes.undoStep(c, back);
        return 1;
    };
    auto currentShape = [&] { return c != nullptr && shapes.currentKind != nullptr && shapes.currentKind(c) >= 0; };

    if (vk >= '0' && vk <= '9') {
        const int32_t digit = static_cast<int32_t>(vk - '0');
        if (ctrl && !shift && !alt) return JumpToPosition(digit) ? 1 : 0;
        if (shift && !ctrl && !alt && digit >= 6) {
            Image2DDevice* d = Device();
            if (h == nullptr || d == nullptr) return 0;
            h->marks[digit - 6] = GraphicsMark{1, AddSaturated(h->offsetX, d->view.scrollX),
                                               AddSaturated(h->offsetY, d->view.scrollY)};
            return 1;
        }
        return 0;
    }
    switch (vk) {
        case 'Z':
            return ctrl ? undo(true) : 0;
        case 'X':
            if (ctrl) return undo(false);
            return inscribe(shift ? 7 : alt ? 6 : 8);
        case 'Y':
            if (ctrl) return undo(false);
            return inscribe(shift ? 10 : alt ? 9 : 11);
        case kVkBackslash:
            return ctrl ? undo(false) : inscribe(12);
        case kVkSlash:
            return ctrl ? undo(false) : inscribe(13);
        case 'C':
            if (plain) {
                if (cursorMarkShown != 0 && cursorMarkWanted == 0) cursorMarkWanted = 1;
                else cursorMarkWanted = cursorMarkWanted != 0 ? 0 : 1;
                if (!(gMouseButtonState() != 0 && IsTracking())) {
                    cursorMarkShown = cursorMarkWanted;
                    RepaintNow();
                }
                return 1;
            }
            if (shift && !ctrl && !alt) return inscribe(1);
            if (ctrl && !shift && !alt) {
                if (h != nullptr && h->statistics != nullptr && gFocusWidget == h->statistics) {
                    CopyStatistics(h->statistics);
                } else if (c != nullptr && shapes.copyShape != nullptr) {
                    shapes.copyShape(c);
                }
                return 1;
            }
            return 0;
        case 'V':
            if (plain || (shift && !ctrl && !alt)) {
                if (h == nullptr) return 1;
                h->shapeOptions.drawingMode = shift ? 0 : 1;
                h->shapeOptions.drawingStep = static_cast<uint8_t>((h->shapeOptions.drawingStep + 1) % 4);
                if (c != nullptr && shapes.setLabels != nullptr)
                    shapes.setLabels(c, h->shapeOptions.drawingStep, h->shapeOptions.drawingMode != 0);
                RepaintNow();
                return 1;
            }
            if (alt && !ctrl && !shift) {
                if (c != nullptr && shapes.pasteShape != nullptr) shapes.pasteShape(c, 1);
                return 1;
            }
            if (ctrl && !alt) {
                if (c != nullptr && shapes.pasteShape != nullptr) shapes.pasteShape(c, shift ? 2 : 0);
                return 1;
            }
            return 0;
        case 'W':
            if (ctrl == alt || shift) return 0;
            if (s.hasProjects == nullptr || !s.hasProjects()) return 1;
            if (ctrl) {
                if (s.closeCurrentItem != nullptr) s.closeCurrentItem();
            } else if (s.closeData != nullptr) {
                s.closeData();
            }
            return 1;
        case 'A':
            if (c != nullptr && shapes.cycleDragMode != nullptr && shapes.cycleDragMode(c)) RepaintNow();
            return 1;
        case 'D': {
            if (!plain) return 0;
            if (h != nullptr && h->sliders != nullptr) {
                ScaleRecord* scales[2] = {&h->sliders->horizontal, &h->sliders->vertical};
                const int32_t mode = scales[0]->labelMode == kScaleLabelsShown ? kScaleLabelsNone : kScaleLabelsShown;
                for (ScaleRecord* scale : scales) scale->labelMode = mode;
                PlaceSliders();
            }
            if (cell != nullptr && s.redrawCoordReadout != nullptr) s.redrawCoordReadout(cell);
            RepaintNow();
            return 1;
        }
        case 'F':
            if (!plain) return 0;
            if (h != nullptr) h->shapeOptions.display = h->shapeOptions.display != 0 ? 0 : 1;
            RepaintNow();
            return 1;
        case 'H':
            if (c != nullptr && shapes.setCurrentShapeMode != nullptr) shapes.setCurrentShapeMode(c);
            return 1;
        case 'P':
            if (!plain) return 0;
            originMark = originMark != 0 ? 0 : 1;
            RepaintNow();
            return 1;
        case 'R':
            if (!plain) return 0;
            if (h == nullptr) return 1;
            h->shapeOptions.snapInvert = h->shapeOptions.snapInvert != 0 ? 0 : 1;
            if (h->drag.state != 0) {
                SnapDragEnd();
                RepaintNow();
            }
            return 1;
        case 'T':
            if (currentShape() && shapes.cycleEditMode != nullptr) shapes.cycleEditMode(c);
            return 1;
        case kVkSpace:
            if (ctrl) {
                if (!shift && !alt && cell != nullptr && s.playbackRedraw != nullptr) s.playbackRedraw(cell);
                return shift || alt ? 0 : 1;
            }
            if (shift && alt) return 0;
            EnterMoveMode();
            return 1;
        default:
            return 0;
    }
}

bool Image2DWindow::OnKeyUp(uint32_t key) {
    const uint32_t special = key & kKeySpecialMask;
    const bool shiftHeld = (ModifiersNow() & kKeyShift) != 0;
    if (special == 0 && (key & kKeyPrintableMask) == kVkSpace) {
        if (moveMode == 0) return false;
        LeaveMoveMode();
        return true;
    }
    // Shift itself released: a run of keyboard moves ends.
    if ((key & 0xFFFFu) == 0 && (key & kKeyShift) != 0) {
        EndKeyboardMoves();
        return false;
    }
    const bool moveKey = special == kKeyLeft || special == kKeyRight || special == kKeyUp || special == kKeyDown ||
                         special == kKeyPageUp || special == kKeyPageDown;
    if (!moveKey) return false;
    if (shiftHeld) {
        EndKeyboardMoves();
        return true;
    }
    if (cursorMarkShown != cursorMarkWanted) {
        cursorMarkShown = cursorMarkWanted;
        RepaintNow();
    }
    return true;
}

// ---- Move mode ------------------------------------------------------------------------------------

void Image2DWindow::EnterMoveMode() {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    const GraphicsShapeServices& shapes = Shapes();
    if (h->shapes != nullptr && shapes.setShapesFlag != nullptr) shapes.setShapesFlag(h->shapes, false);
    ShowViewCursor(kImageCursorMove);
    if (h->view == nullptr || !IsTracking()) return;
    h->view->onDrag = &ImageViewMoveDrag;
    h->view->onPress = nullptr;
    moveMode = 1;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.setStatus != nullptr) s.setStatus(-2, 7, kMoveModeText);
}

void Image2DWindow::LeaveMoveMode() {
    GraphicsHost* h = Host();
    moveMode = 0;
    if (h == nullptr) return;
    ShowViewCursor(h->toolActive != 0 ? kImageCursorPlacing : kImageCursorView);
    if (h->view != nullptr) {
        gWgtSetTag(h->view, &ImageViewPointerTracker);
        h->view->onPress = buttonHandler;
    }
    const GraphicsShapeServices& shapes = Shapes();
    if (h->shapes != nullptr && shapes.setShapesVisible != nullptr) shapes.setShapesVisible(h->shapes, true);
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.setStatus != nullptr) s.setStatus(0, 7, nullptr);
}

void Image2DWindow::OnMoveDrag(int32_t dx, int32_t dy) {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    if (h == nullptr || (dx == 0 && dy == 0)) return;
    const GraphicsShapeServices& shapes = Shapes();
    if (h->shapes != nullptr && shapes.dropHighlight != nullptr) shapes.dropHighlight(h->shapes);
    if ((ModifiersNow() & kKeyAlt) != 0) {
        if (d == nullptr) return;
        d->view.scrollX = AddSaturated(d->view.scrollX, dx);
        d->view.scrollY = AddSaturated(d->view.scrollY, dy);
        ViewRecompute(&d->view);
        PlaceSliders();
        RefreshAfterMove(false);
        return;
    }
    h->offsetX = AddSaturated(h->offsetX, dx);
    h->offsetY = AddSaturated(h->offsetY, dy);
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.repaint != nullptr) s.repaint(cell);
}

// ---- The wheel ---------------------------------------------------------------------------------------

void Image2DWindow::OnWheel(int32_t delta, uint32_t keys) {
    int32_t steps = delta / 120;
    if ((keys & platform::kMkShift) != 0) steps *= 10;
    if (steps == 0) return;
    const bool horizontal = (keys & (platform::kMkRButton | platform::kMkControl | platform::kMkMButton)) != 0;
    const bool both = (keys & platform::kMkMButton) != 0;
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    const GraphicsShapeServices& shapes = Shapes();
    const bool moveShape = h != nullptr && h->shapes != nullptr && h->shapeOptions.arrowKeysMove != 0 &&
                           shapes.currentKind != nullptr && shapes.currentKind(h->shapes) >= 0;
    if (moveShape) {
        const double dx = horizontal ? steps : 0.0, dy = !horizontal || both ? steps : 0.0;
        SetPointerQuiet(static_cast<float>(pointerX + dx), static_cast<float>(pointerY + dy));
        if (shapes.moveShape != nullptr && d != nullptr)
            shapes.moveShape(h->shapes, dx * d->view.zoom.inverseX, dy * d->view.zoom.inverseY);
        PlaceSliders();
        RefreshAfterMove(false);
        return;
    }
    if (d == nullptr) return;
    if (horizontal) d->view.scrollX = AddSaturated(d->view.scrollX, steps);
    if (!horizontal || both) d->view.scrollY = AddSaturated(d->view.scrollY, steps);
    ViewRecompute(&d->view);
    PlaceSliders();
    RefreshAfterMove(false);
}

// ---- Buttons --------------------------------------------------------------------------------------------

bool Image2DWindow::OnButton(bool down) {
    GraphicsHost* h = Host();
    if (h == nullptr) return true;
    const GraphicsShapeServices& shapes = Shapes();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (!down) {
        if (cursorMarkShown != cursorMarkWanted) {
            cursorMarkShown = cursorMarkWanted;
            RepaintNow();
        }
        if (h->toolActive != 0) EndPlacement(1);
        return true;
    }
    if (cursorMarkShown != 0) cursorMarkShown = 0;
    if (h->toolActive != 0) {
        float x = pointerX, y = pointerY;
        if (Image2DDevice* d = Device()) ClampPointToFrame(d->view, &x, &y, nullptr, 1);
        if (h->drag.state != 0 && (h->drag.startX != h->drag.x || h->drag.startY != h->drag.y)) {
            h->drag.x = x;
            h->drag.y = y;
            h->drag.endBeyond = BeyondFarEdges(Device(), pointerX, pointerY);
        } else {
            h->drag.startX = x;
            h->drag.startY = y;
            BeginPlacement(0);
        }
        return true;
    }
    const bool runs = cell != nullptr && s.playbackRuns != nullptr && s.playbackRuns(cell);
    if (!runs) {
        if ((ModifiersNow() & kKeyShift) != 0 && h->shapes != nullptr && shapes.leaveSelectMode != nullptr &&
            shapes.leaveSelectMode(h->shapes))
            RepaintNow();
        return true;
    }
    if (s.startAutoStop != nullptr && s.startAutoStop() && h->shapes != nullptr && shapes.hideShapes != nullptr)
        shapes.hideShapes(h->shapes);
    return true;
}

// ---- Placing shapes ----------------------------------------------------------------------------------------

void Image2DWindow::StartShapeTool(int32_t mode, int32_t kind, int32_t argument) {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    if (h->toolActive != 0) EndPlacement(3);
    h->toolMode = mode;
    h->toolKind = kind;
    h->toolActive = 1;
    BeginPlacement(argument);
}

void Image2DWindow::TakeUpShape() {
    GraphicsHost* h = Host();
    if (h == nullptr || h->shapes == nullptr) return;
    const GraphicsShapeServices& shapes = Shapes();
    const int32_t placing = shapes.placingKind != nullptr ? shapes.placingKind(h->shapes) : -1;
    const int32_t kind = shapes.currentKind != nullptr ? shapes.currentKind(h->shapes) : -1;
    if (placing < 0 && kind >= 0 && h->shapeOptions.arrowKeysMove != 0 && !IsFigureKind(kind) &&
        shapes.takeUpCurrent != nullptr && shapes.takeUpCurrent(h->shapes)) {
        if (h->toolActive != 0) EndPlacement(3);
        h->toolKind = kind;
        h->toolActive = 1;
        BeginPlacement(1);
        return;
    }
    if (shapes.dropPlacing != nullptr) shapes.dropPlacing(h->shapes);
}

int32_t Image2DWindow::BeginPlacement(int32_t argument) {
    GraphicsHost* h = Host();
    if (h == nullptr || !IsTracking()) return 0;
    const GraphicsShapeServices& shapes = Shapes();
    ShowViewCursor(kImageCursorPlacing);
    if (h->shapes != nullptr && shapes.setShapesFlag != nullptr) shapes.setShapesFlag(h->shapes, true);
    h->view->dragFlags |= kViewCapture;
    const GraphicsDrag before = h->drag;
    float sx = h->drag.startX, sy = h->drag.startY;
    float ex = h->drag.x, ey = h->drag.y;
    uint8_t endBeyond = 0;
    bool cellStart = true;
    // A shape of the kind being continued (a polyline, say) goes on from its last point.
    if (h->shapes != nullptr && shapes.placingKind != nullptr && !IsFigureKind(h->toolKind) &&
        shapes.placingKind(h->shapes) == h->toolKind && shapes.lastPointOfCurrent != nullptr) {
        double fx = 0.0, fy = 0.0;
        Image2DDevice* d = Device();
        if (d != nullptr && shapes.lastPointOfCurrent(h->shapes, &fx, &fy)) {
            sx = static_cast<float>(fx * d->view.zoom.x + d->view.originX);
            sy = static_cast<float>(fy * d->view.zoom.y + d->view.originY);
            cellStart = false;
        }
    }
    if (argument > 2 && sx == ex && sy == ey) argument = 0;
    switch (argument) {
        case 0: {
            float x = pointerX, y = pointerY;
            if (Image2DDevice* d = Device()) ClampPointToFrame(d->view, &x, &y, nullptr, 1);
            endBeyond = BeyondFarEdges(Device(), pointerX, pointerY);
            // The pointer is moved only where the frame's edge took the point in: a
            // press handled late (a busy machine) would otherwise pull back a pointer
            // the user has already moved on, and the release would land at the press.
            if ((x != pointerX || y != pointerY) && h->view->window != nullptr && OnUiThread()) {
                const double cx = std::floor(static_cast<double>(x) + h->view->x + h->offsetX);
                const double cy = std::floor(static_cast<double>(y) + h->view->y + h->offsetY);
                platform::pointerWarp(h->view->window->hwnd,
                                      platform::Point{SaturateTrunc<int32_t>(cx), SaturateTrunc<int32_t>(cy)});
            }
            h->drag.state = 1;
            SetPointerQuiet(x, y);
            ex = x;
            ey = y;
            break;
        }
        case 1:
        case 2: {
            ex = pointerX;
            ey = pointerY;
            if (argument == 2) {
                float x = ex, y = ey;
                Image2DDevice* d = Device();
                if (d != nullptr && ClampPointToFrame(d->view, &x, &y, nullptr, 0) != 1) h->drag.state = 1;
            }
            break;
        }
        default:
            h->drag.state = 1;
            break;
    }
    if (cellStart) {
        sx = ex;
        sy = ey;
    }
    h->drag.startBeyond = cellStart ? endBeyond : 0;
    h->drag.startX = sx;
    h->drag.startY = sy;
    h->drag.x = ex;
    h->drag.y = ey;
    h->drag.endBeyond = endBeyond;
    h->drag.mode = h->drag.state != 0 ? h->toolKind : 0;
    const GraphicsDrag& now = h->drag;
    if (now.state != before.state || now.startX != before.startX || now.startY != before.startY || now.x != before.x ||
        now.y != before.y)
        RepaintNow();
    return 1;
}

int32_t Image2DWindow::EndPlacement(int32_t result) {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    if (h == nullptr) return 0;
    const GraphicsShapeServices& shapes = Shapes();
    const int32_t kind = h->toolKind;
    const bool same = h->drag.startX == h->drag.x && h->drag.startY == h->drag.y;
    int32_t r = result;
    if (same && kind != kPlacePoint) {
        if (result == 1 || result == 2) return 0;
        if (result == 3 || result == 4) r = 0;
    } else if (!same && result > 0 && result < 4 && IsFigureKind(kind)) {
        // A figure dragged open is finished by a release, Enter or another tool;
        // Esc (and Draw > Cancel) still cancels it, as it cancels every other kind.
        r = 4;
    }
    auto endTool = [&](bool keepCursor) {
        h->toolActive = 0;
        // The Draw menu's mark of the tool goes with it.
        DrawToolEnded(h->toolMode);
        if (keepCursor) return;
        if (h->view != nullptr) h->view->dragFlags &= ~kViewCapture;
        ShowViewCursor(IsTracking() ? kImageCursorView : kImageCursorMove);
        if (h->shapes != nullptr && shapes.setShapesFlag != nullptr) shapes.setShapesFlag(h->shapes, false);
    };
    auto cancel = [&] {
        if (h->toolActive != 0) endTool(false);
        h->drag.state = 0;
        h->drag.mode = 0;
        if (h->shapes != nullptr && shapes.dropPlacing != nullptr) shapes.dropPlacing(h->shapes);
        RepaintNow();
        return 0;
    };
    if (r == 0 || r > 2) endTool(result == 3);
    if (r != 2) {
        h->drag.state = 0;
        h->drag.mode = 0;
    }
    if (r == 0 || d == nullptr) return cancel();

    // The corners in frame coordinates, within a frame of at least 16 x 16.
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    float sx = h->drag.startX, sy = h->drag.startY, ex = h->drag.x, ey = h->drag.y;
    // A point stands on the frame however late the press that placed it was handled: a
    // release taken before the press (a quick click just after the tool's key) carries
    // the pointer's own place, which may lie beside the frame.
    if (kind == kPlacePoint) {
        ClampPointToFrame(d->view, &sx, &sy, nullptr, 1);
        ClampPointToFrame(d->view, &ex, &ey, nullptr, 1);
    }
    ToFrame(sx, sy, &x0, &y0);
    ToFrame(ex, ey, &x1, &y1);
    const double fw = std::max(16, d->view.frameWidth), fh = std::max(16, d->view.frameHeight);
    // A corner that a press beyond the right or bottom edge put on the frame's last screen
    // pixel is that edge, as a release beyond it is: at every zoom.
    if (IsBoxKind(kind)) {
        if (h->drag.startBeyond & 1) x0 = fw;
        if (h->drag.startBeyond & 2) y0 = fh;
        if (h->drag.endBeyond & 1) x1 = fw;
        if (h->drag.endBeyond & 2) y1 = fh;
    }
    // A corner dragged to or past the frame's edge stands on that edge, so that the last
    // column and row can be inside; a corner within keeps a whole number of pixels from
    // the first.
    const bool xEdge = x1 <= 0 || x1 >= fw, yEdge = y1 <= 0 || y1 >= fh;
    if (IsBoxKind(kind)) {
        const bool beyond = (x0 < 0 && x1 < 0) || (y0 < 0 && y1 < 0) || (x0 > fw && x1 > fw) || (y0 > fh && y1 > fh);
        if (beyond || x0 == x1 || y0 == y1) return cancel();
        x0 = std::clamp(x0, 0.0, fw);
        x1 = std::clamp(x1, 0.0, fw);
        y0 = std::clamp(y0, 0.0, fh);
        y1 = std::clamp(y1, 0.0, fh);
    } else if (PointOnSegmentTest(x0, y0, x1, y1, fw, fh) == -1) {
        return cancel();
    }
    h->placeRect[0] = static_cast<float>(x0);
    h->placeRect[1] = static_cast<float>(y0);
    const bool box = IsBoxKind(kind);
    h->placeRect[2] = static_cast<float>(box && xEdge ? x1 : x0 + std::trunc(x1 - x0));
    h->placeRect[3] = static_cast<float>(box && yEdge ? y1 : y0 + std::trunc(y1 - y0));
    const bool made = h->shapes != nullptr && shapes.placeShape != nullptr &&
                      shapes.placeShape(h->shapes, kind, h->toolMode, h->placeRect) != 0;
    if (!made) return cancel();
    if (h->toolActive != 0) {
        h->drag.startX = h->drag.x;
        h->drag.startY = h->drag.y;
        h->drag.startBeyond = h->drag.endBeyond;
    } else if (shapes.releasePlacing != nullptr) {
        shapes.releasePlacing(h->shapes);
    }
    RepaintNow();
    return r;
}

}  // namespace orva
