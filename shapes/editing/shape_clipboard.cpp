#include "shapes/editing/shape_clipboard.h"

#include <cmath>
#include <vector>

#include "common/error_codes.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/geometry/plane_geometry.h"
#include "shapes/shape_batch.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"

namespace orva {

namespace {

// Without a data area, shapes are inscribed into this square.
constexpr double kInscribeBound = 16000.0;

bool IsOpenCurve(int32_t kind) { return kind >= kKindPolyLine && kind <= kKindLine; }

// The data area of the view: (0, 0, frame width, frame height).
bool DataArea(const ShapeView* view, double out[4]) {
    int64_t w = 0, h = 0;
    if (view == nullptr || !view->DataFrameSize(&w, &h)) return false;
    out[0] = out[1] = 0.0;
    out[2] = static_cast<double>(w);
    out[3] = static_cast<double>(h);
    return true;
}

void Warn(const char* text) { PrintStatusLine(kStatusGroupMain, -3, kStatusFlagsShow, "%s", text); }

}  // namespace

bool ShapeClipboardHasShape() { return TheShapeGlobals().clipboard.kind != kKindNone; }

void PixelCentreBox(const double rect[4], double out[4]) {
    const double x0 = std::round(rect[0]) + 0.5, y0 = std::round(rect[1]) + 0.5;
    const double x1 = std::round(rect[0] + rect[2]) + 0.5 - (rect[2] != 0.0 ? 1.0 : 0.0);
    const double y1 = std::round(rect[1] + rect[3]) + 0.5 - (rect[3] != 0.0 ? 1.0 : 0.0);
    out[0] = x0;
    out[1] = y0;
    out[2] = x1 - x0;
    out[3] = y1 - y0;
}

void InscribedBox(double w, double h, const double t[4], bool proportional, double out[4]) {
    double nw = t[2], nh = t[3];
    if (proportional && w != 0.0 && h != 0.0) {
        if (w * t[3] <= h * t[2]) {
            nh = t[3];
            nw = t[3] == h ? w : std::max(1.0, std::round(w / (h / t[3])));
        } else {
            nw = t[2];
            nh = t[2] == w ? h : std::max(1.0, std::round(h / (w / t[2])));
        }
    }
    out[0] = t[0];
    out[1] = t[1];
    out[2] = nw;
    out[3] = nh;
}

// ---- The clipboard -----------------------------------------------------------------------------

bool ShapeContainer::CopyShape() {
    if (currentGlyph == nullptr || current == nullptr) return false;
    const int32_t kind = current->header.kind;
    if (kind == kKindPoint || kind == kKindNone) return false;
    ShapeHeader& clip = TheShapeGlobals().clipboard;
    if (!CopyEditState(&clip, current->header)) {
        clip.kind = kKindNone;
        return false;
    }
    return true;
}

Shape* ShapeContainer::PasteShape(int32_t mode) {
    const ShapeHeader& clip = TheShapeGlobals().clipboard;
    if (clip.kind == kKindNone || view == nullptr) return nullptr;
    view->Follow();
    int64_t fw = 0, fh = 0;
    if (!view->DataFrameSize(&fw, &fh)) return nullptr;
    const AnchorBuffer& a = clip.anchors;
    const bool points = a.Count() != 0 && a.elementsPerItem == 2 && a.data != nullptr;
    double ox = 0.0, oy = 0.0, px = 0.0, py = 0.0;
    if ((mode == 1 || mode == 2) && view->PointerPosition(&px, &py)) {
        // The pointer in data coordinates: from the view's origin, in data units.
        double x = px - std::trunc(view->originX), y = py - std::trunc(view->originY);
        if (view->zoom.active != 0) {
            x *= view->zoom.x;
            y *= view->zoom.y;
        }
        if (mode == 1 && points) {
            ox = x - a.X(0);
            oy = y - a.Y(0);
        } else if (mode == 2) {
            ox = x - (clip.box.x + clip.box.w * 0.5);
            oy = y - (clip.box.y + clip.box.h * 0.5);
        }
    }
    std::vector<float> moved;
    ShapePointList list;
    ShapeRequest r;
    r.newShape = 1;
    r.kind = clip.kind;
    r.role = clip.role;
    r.flag = clip.flag;
    if (points) {
        moved.resize(2 * static_cast<size_t>(a.Count()));
        for (uint32_t i = 0; i < a.Count(); ++i) {
            moved[2 * i] = static_cast<float>(a.X(i) + ox);
            moved[2 * i + 1] = static_cast<float>(a.Y(i) + oy);
        }
        list.count = a.Count();
        list.data = moved.data();
        r.points = &list;
        r.start[0] = moved[0];
        r.start[1] = moved[1];
        r.end[0] = moved[moved.size() - 2];
        r.end[1] = moved[moved.size() - 1];
    } else {
        r.start[0] = static_cast<float>(clip.box.x + ox);
        r.start[1] = static_cast<float>(clip.box.y + oy);
        r.end[0] = static_cast<float>(clip.box.x + clip.box.w + ox);
        r.end[1] = static_cast<float>(clip.box.y + clip.box.h + oy);
    }
    const EditTransformState offset = clip.offset;
    // One paint and one measurement when the new shape is in place.
    ShapeBatch batch;
    return ShapeFromRequest(r, &offset, nullptr);
}

// ---- Clip and inscribe -------------------------------------------------------------------------

bool ShapeContainer::ClipShape(Shape* shape, const double* rect, bool enable) {
    if (shape == nullptr) shape = current;
    else if (!Owns(shape)) return false;
    if (shape == nullptr) return false;
    double area[4];
    if (rect != nullptr) {
        for (int i = 0; i < 4; ++i) area[i] = rect[i];
    } else if (!DataArea(view, area)) {
        return false;
    }
    const PlaneBox box{area[0], area[1], area[2], area[3]};
    shape->SelectAnchorsAndPlace();
    // A shape that is clipped away goes with an undo step that brings it back.
    auto removeShape = [&] { return RemoveShape(0, nullptr, shape, true, true, kUndoModeRecord, nullptr); };
    if (box.w == 0.0 || box.h == 0.0) return removeShape();
    const int32_t kind = shape->header.kind;
    if (kind < kKindPoint || kind > kKindEllipse) return false;
    const ShapeBoxBlock& b = shape->header.box;
    if (b.x > box.x + box.w || b.y > box.y + box.h || b.x + b.w < box.x || b.y + b.h < box.y) return removeShape();

    shape->BeginEdit();
    bool directionChanged = false;
    if (IsOpenCurve(kind)) {
        // The offset is laid anew on the clipped curve (a curve without one takes "CNRM").
        const uint32_t d = shape->header.offset.direction;
        if (d != kOffsetAngl && d != kOffsetFree && d != kOffsetNrml) {
            if (d == 0) {
                directionChanged = shape->SetOffsetDirection(kOffsetCnrm);
            } else {
                ShapeLock lock(shape);
                shape->SelectOffsetProcs(d, true);
            }
        }
    }
    int32_t result = 0;
    {
        ShapeLock lock(shape);
        AnchorBuffer& a = shape->header.anchors;
        if (kind == kKindPoint) result = KeepAnchorsInBox(&a, box);
        else if (IsOpenCurve(kind)) result = ClipPolylineToBox(&a, box, enable);
        else result = ClampAnchorsToBox(&a, box);
    }
    if (result < 0) return removeShape();
    if (result == 0) {
        if (directionChanged) PushUndo(shape, kUndoAnchors);
        return false;
    }
    if (kind == kKindBSpline) Warn(directionChanged ? kClipSplineOffsetText : kClipSplineText);
    else if (IsOpenCurve(kind) && directionChanged) Warn(kClipCurveOffsetText);
    shape->header.pivotPinned = 1;
    shape->ResetPivot(kUpdateFull);
    selectionFlag = 1;
    if (current != shape) {
        SetCurrentShape(shape, true, false);
    } else {
        Refresh(false);
        shape->RestartLinked();
        RefreshPanel();
    }
    PushUndo(shape, kUndoAnchors);
    Redraw();
    return true;
}

bool ShapeContainer::InscribeAnchors(const double* rect, int32_t mode) {
    Shape* shape = current;
    if (shape == nullptr) return false;
    if (mode == 1) return ClipShape(nullptr, rect, true);
    double area[4] = {-kInscribeBound, -kInscribeBound, 2.0 * kInscribeBound, 2.0 * kInscribeBound};
    if (rect != nullptr) {
        for (int i = 0; i < 4; ++i) area[i] = rect[i];
    } else {
        DataArea(view, area);
    }
    if (area[2] == 0.0 && area[3] == 0.0) return false;
    shape->SelectAnchorsAndPlace();
    double t[4];
    PixelCentreBox(area, t);
    const ShapeBoxBlock& b = shape->header.box;
    if (mode >= 6 && mode <= 11) {
        // Alignment: an edge (or the pivot) to the given point, the pointer when the view
        // knows it, else the target's corner.
        double gx = t[0], gy = t[1], px = 0.0, py = 0.0;
        if (view != nullptr && view->PointerPosition(&px, &py)) {
            gx = px - view->originX;
            gy = py - view->originY;
            if (view->zoom.active != 0) {
                gx *= view->zoom.x;
                gy *= view->zoom.y;
            }
        }
        double dx = 0.0, dy = 0.0;
        if (mode <= 8) {
            dx = gx - b.x;
            dy = mode == 6 ? gy - b.y : mode == 7 ? gy - (b.y + b.h) : gy - shape->header.pivotY;
        } else {
            dy = gy - b.y;
            dx = mode == 9 ? gx - b.x : mode == 10 ? gx - (b.x + b.w) : gx - shape->header.pivotX;
        }
        if (dx == 0.0 && dy == 0.0) return false;
        shape->Move(static_cast<float>(dx), static_cast<float>(dy));
        ShowEditFrame();
        return true;
    }
    if (mode == 3 && !BoxOutsideBox(PlaneBox{b.x, b.y, b.w, b.h}, PlaneBox{t[0], t[1], t[2], t[3]})) return false;
    const bool proportional = mode == 2 || mode == 3;
    if (!proportional && mode != 4 && mode != 12 && mode != 13) return false;
    double nu[4];
    InscribedBox(b.w, b.h, t, proportional, nu);
    TheShapeGlobals().oldBox = b;
    shape->ApplyBoundBox(nu[0], nu[1], nu[2], nu[3], false);
    ShowEditFrame();
    PushUndo(shape, kUndoAnchors);
    Redraw();
    return true;
}

void ShapeContainer::MoveAllShapes(double dx, double dy, Shape* skip) {
    Shape* first = FirstShape();
    if (first == nullptr || (skip != nullptr && first == skip && LastShape() == skip)) return;
    const void* source = current != nullptr ? current->source : nullptr;
    if (current != nullptr) current->ClearChain();
    Shape* head = nullptr;
    Shape* tail = nullptr;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) {
        Shape* s = g->shape;
        if (s == skip || (source != nullptr && s->source != source)) continue;
        if (tail != nullptr) tail->chainNext = s;
        else head = s;
        tail = s;
        s->BeginEdit();
        // The whole shape moves: a selection would move its anchors alone.
        const int32_t selected = s->header.anchors.selectedCount;
        const int32_t last = s->header.anchors.lastSelected;
        s->header.anchors.selectedCount = 0;
        s->ApplyMove(static_cast<float>(dx), static_cast<float>(dy));
        s->header.anchors.selectedCount = selected;
        s->header.anchors.lastSelected = last;
    }
    if (head == nullptr) return;
    PlaceEditFrame();
    RefreshPanel();
    Redraw();
    PushUndo(head, kUndoAnchors);
}

bool ShapeContainer::CycleDragMode() {
    proportional = proportional != 0 ? 0 : 1;
    return true;
}

}  // namespace orva
