#include "shapes/editing/shape_edits.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/error_codes.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/geometry/anchor_pick.h"
#include "shapes/geometry/plane_geometry.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/glyph_list.h"
#include "toolkit/input.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// Boxes of an edit stay within this many data units.
constexpr double kBoxEditLimit = 16000.0;

bool IsBoxFigure(int32_t kind) { return kind == kKindRect || kind == kKindCircle || kind == kKindEllipse; }

void Refused(const char* text) { PrintStatusLine(kStatusGroupMain, -3, kStatusFlagsShow, "%s", text); }

// After an edit: the frame follows the current shape in a frame mode, the panel shows it
// again, the view is redrawn.
void AfterEdit(Shape* shape) {
    ShapeContainer* c = shape->container;
    if (c == nullptr) {
        if (shape->view != nullptr) shape->view->Redraw();
        return;
    }
    if (c->current == shape) {
        if (c->InRotateMode()) c->PlaceEditFrame();
        c->RefreshPanel();
    }
    c->Redraw();
}

// The pointer (window pixels) in the data coordinates of the shape's view.
void PointerToData(const Shape& shape, double px, double py, double* x, double* y) {
    ShapeView* v = shape.view != nullptr ? shape.view : shape.container != nullptr ? shape.container->view : nullptr;
    if (v == nullptr) {
        *x = px;
        *y = py;
        return;
    }
    v->Follow();
    *x = px - v->displayOffsetX - v->originX;
    *y = py - v->displayOffsetY - v->originY;
    if (v->zoom.active != 0) {
        *x *= v->zoom.x;
        *y *= v->zoom.y;
    }
}

double SegmentDistance(double px, double py, double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

}  // namespace

// ---- Moves -------------------------------------------------------------------------------------

void Shape::Move(float dx, float dy) {
    if ((dx == 0.0f && dy == 0.0f) || header.anchors.Count() == 0) return;
    BeginEdit();
    ApplyMove(dx, dy);
    if (container != nullptr) container->PushUndo(this, kUndoAnchors);
}

void Shape::ApplyMove(float dx, float dy) {
    AnchorBuffer& a = header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return;
    if (a.selectedCount >= 1) {
        MoveSelectedAnchors(dx, dy);
    } else {
        // The whole shape: its masks move with it and are placed anew, not rebuilt.
        ShapeLock lock(this);
        ShapeBoxBlock& b = header.box;
        b.x += dx;
        b.y += dy;
        b.secondX += dx;
        b.secondY += dy;
        header.pivotX += dx;
        header.pivotY += dy;
        float* p = a.Points();
        for (uint32_t i = 0; i < a.Count(); ++i) {
            p[2 * i] += dx;
            p[2 * i + 1] += dy;
        }
        statMark.centreX = -1.0;
        pixelBox = IntegerBox(b);
        if (procs.areaProcedure != nullptr) procs.areaProcedure(this, kUpdateNoArea);
    }
    RestartLinked();
    AfterEdit(this);
}

void Shape::MoveSelectedAnchors(float dx, float dy) {
    AnchorBuffer& a = header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return;
    ShapeLock lock(this);
    float* p = a.Points();
    const uint8_t* sel = a.Selection();
    const bool one = a.selectedCount == 1 && a.lastSelected >= 0 && static_cast<uint32_t>(a.lastSelected) < a.Count();
    for (uint32_t i = 0; i < a.Count(); ++i) {
        const bool moves = a.selectedCount == -1 || (one ? static_cast<int32_t>(i) == a.lastSelected
                                                         : sel != nullptr && sel[i] != 0);
        if (!moves) continue;
        p[2 * i] += dx;
        p[2 * i + 1] += dy;
    }
    ResetPivot(kUpdateMovedSelected);
}

// ---- Boxes -------------------------------------------------------------------------------------

void Shape::SetBoundBox(double x, double y, double w, double h, bool selectedOnly) {
    TheShapeGlobals().oldBox = header.box;
    SelectAllAnchors(true);
    if (header.kind == kKindPoint) {
        TheShapeGlobals().oldBox = header.box;
        ResetPivot(kUpdateNothing);
        if (container != nullptr && container->current == this && container->InRotateMode())
            container->PlaceEditFrame();
    }
    BeginEdit();
    ApplyBoundBox(x, y, w, h, selectedOnly);
    if (container != nullptr) container->PushUndo(this, kUndoAnchors);
}

void Shape::ApplyBoundBox(double x, double y, double w, double h, bool selectedOnly) {
    header.pivotPinned = 1;
    BeginEdit();
    if (!MapToBox(x, y, w, h, selectedOnly)) return;
    RestartLinked();
    AfterEdit(this);
}

bool Shape::MapToBox(double x, double y, double w, double h, bool selectedOnly) {
    const ShapeBoxBlock& old = TheShapeGlobals().oldBox;
    if (x == old.x && y == old.y && w == old.w && h == old.h) return false;
    for (double v : {x, y, w, h})
        if (!(std::fabs(v) <= kBoxEditLimit)) return false;
    AnchorBuffer& a = header.anchors;
    if (selectedOnly && a.selectedCount == 0) return false;
    const AnchorBuffer& s = snapshot.anchors;
    if (snapshot.kind == kKindNone || s.Count() == 0 || s.elementsPerItem != 2 || s.Count() != a.Count() ||
        s.elementType != a.elementType || s.data == nullptr)
        return false;
    const PlaneBox from{old.x, old.y, old.w, old.h}, to{x, y, w, h};
    ShapeLock lock(this);
    RemapAnchorsToBox(&a, s.Points(), to, from, selectedOnly);
    if (!selectedOnly || a.selectedCount == -1) {
        ShapeBoxBlock& b = header.box;
        if (old.w == 0.0 && old.h == 0.0) {
            b.x = x;
            b.y = y;
        } else {
            b.x = w < 0.0 ? x + w : x;
            b.w = std::fabs(w);
            b.y = h < 0.0 ? y + h : y;
            b.h = std::fabs(h);
        }
    }
    ResetPivot(kUpdateFull);
    if (container != nullptr && container->selectionFlag != 0 && container->InRotateMode()) container->PlaceEditFrame();
    return true;
}

void Shape::SelectAnchorsAndPlace() {
    header.anchors.SelectAll(true);
    if (container != nullptr && container->current == this && container->InRotateMode()) container->PlaceEditFrame();
}

// ---- Anchors -----------------------------------------------------------------------------------

int32_t Shape::NearestSegment(double px, double py, double* dataX, double* dataY) const {
    double x = 0.0, y = 0.0;
    PointerToData(*this, px, py, &x, &y);
    if (dataX != nullptr) *dataX = x;
    if (dataY != nullptr) *dataY = y;
    const AnchorBuffer& a = header.anchors;
    const uint32_t n = a.Count();
    if (n == 0 || a.data == nullptr) return -1;
    if (n == 1) return 0;
    // A Polygon closes on its first anchor.
    const uint32_t segments = header.kind == kKindPolygon ? n : n - 1;
    int32_t best = 0;
    double bestDistance = 0.0;
    for (uint32_t i = 0; i < segments; ++i) {
        const uint32_t j = (i + 1) % n;
        const double d = SegmentDistance(x, y, a.X(i), a.Y(i), a.X(j), a.Y(j));
        if (i == 0 || d < bestDistance) {
            best = static_cast<int32_t>(i);
            bestDistance = d;
        }
    }
    return best;
}

bool Shape::AddAnchorPoint(double pointerX, double pointerY) {
    if (IsBoxFigure(header.kind)) {
        Refused(kCantAddAnchorText);
        return false;
    }
    double x = 0.0, y = 0.0;
    const int32_t i = NearestSegment(pointerX, pointerY, &x, &y);
    if (i < 0) return false;
    AnchorBuffer& a = header.anchors;
    const uint32_t n = a.Count();
    {
        ShapeLock lock(this);
        if (!a.EnsureRoom(n + 1)) return false;
        float* p = a.Points();
        const uint32_t at = static_cast<uint32_t>(i) + 1;
        std::memmove(p + 2 * (at + 1), p + 2 * at, sizeof(float) * 2 * (n - at));
        p[2 * at] = static_cast<float>(x);
        p[2 * at + 1] = static_cast<float>(y);
        a.rowsUsed = n + 1;
        std::memset(a.Selection(), 0, a.Count());
        a.Selection()[at] = 1;
        a.selectedCount = 1;
        a.lastSelected = static_cast<int32_t>(at);
        ResetPivot(kUpdateFull);
    }
    RestartLinked();
    AfterEdit(this);
    return true;
}

bool Shape::CutAtPointer(double pointerX, double pointerY) {
    if (header.kind == kKindPoint) return false;
    double x = 0.0, y = 0.0;
    const int32_t i = NearestSegment(pointerX, pointerY, &x, &y);
    AnchorBuffer& a = header.anchors;
    const uint32_t n = a.Count();
    if (i < 0 || n <= static_cast<uint32_t>(i) + 1) return false;
    const uint32_t cut = static_cast<uint32_t>(i) + 1;
    // The rest, from the cut on, for the second shape.
    std::vector<float> rest;
    rest.reserve(2 * static_cast<size_t>(n - cut + 1));
    rest.push_back(static_cast<float>(x));
    rest.push_back(static_cast<float>(y));
    for (uint32_t k = cut; k < n; ++k) {
        rest.push_back(a.X(k));
        rest.push_back(a.Y(k));
    }
    {
        ShapeLock lock(this);
        a.Points()[2 * cut] = static_cast<float>(x);
        a.Points()[2 * cut + 1] = static_cast<float>(y);
        a.rowsUsed = cut + 1;
        std::memset(a.Selection(), 0, a.Count());
        a.Selection()[cut] = 1;
        a.selectedCount = 1;
        a.lastSelected = static_cast<int32_t>(cut);
        ResetPivot(kUpdateFull);
    }
    RestartLinked();
    AfterEdit(this);
    ShapeContainer* c = container;
    if (c == nullptr) return true;
    // The cut is one undo step: this shape as the press found it, joined by the making of
    // the piece cut off. The release then records only what a drag adds.
    ShapeUndoStep* cutStep = c->PushUndo(this, kUndoAnchors) ? c->undo.last : nullptr;
    BeginEdit();
    ShapePointList list;
    list.count = static_cast<uint32_t>(rest.size() / 2);
    list.data = rest.data();
    ShapeRequest r;
    r.newShape = 1;
    r.kind = header.kind;
    r.role = header.role;
    r.flag = header.flag;
    r.points = &list;
    r.start[0] = rest[0];
    r.start[1] = rest[1];
    r.end[0] = rest[rest.size() - 2];
    r.end[1] = rest[rest.size() - 1];
    const EditTransformState offset = header.offset;
    c->ShapeFromRequest(r, &offset, nullptr);
    c->undo.JoinNewest(cutStep);
    c->changed = 1;
    return true;
}

// ---- The glyph's mouse handler ---------------------------------------------------------------------

bool ShapeGlyphPress(gElement* glyph, uintptr_t) {
    Shape* shape = ShapeOfGlyphWidget(glyph);
    if (shape == nullptr || shape->container == nullptr) return true;
    // The press may remove shapes: the shape stays until the handler is done.
    ShapeRef hold(shape);
    ShapeContainer* c = shape->container;
    const int state = gMouseButtonState();
    if (state == 0) {
        // The release: what the press and the drag changed is one step.
        c->dragging = 0;
        c->PushUndo(shape, kUndoAnchors);
        c->Refresh(true);
        return true;
    }
    const bool press = state == 1 || state == 5;
    const int32_t tool = c->anchorTool;
    if (tool != kToolNone && !press) return true;
    if (press) {
        shape->BeginEdit();
        c->selectionFlag = 1;
        if (c->currentGlyph != shape->glyph) c->SetCurrentShape(shape, true, true);
        // A chosen tool edits anchors whatever mode the shape came in (a new shape, the
        // piece of a cut too, puts the mode back to move).
        if (tool != kToolNone) c->EnterAnchorEditing();
        if (c->editMode != kEditMove || shape->header.kind == kKindPoint) {
            const double px = gCursorPos.x, py = gCursorPos.y;
            if (c->view != nullptr) c->view->Follow();
            if (PickAnchor(shape, px, py, gKeyModifiersNow()) > 0) {
                if (tool == kToolDeleteAnchor) {
                    if (shape->RemoveSelectedAnchors(false) == 2) Refused(kCantRemoveAnchorText);
                    if (shape->header.kind == kKindPoint) {
                        shape->ResetPivot(kUpdateNothing);
                        if (c->InRotateMode()) c->PlaceEditFrame();
                    }
                } else if (tool == kToolScissor) {
                    shape->CutAtPointer(px, py);
                }
            } else if (tool == kToolScissor) {
                shape->CutAtPointer(px, py);
            } else if (tool == kToolAddAnchor) {
                shape->AddAnchorPoint(px, py);
            }
        }
    } else if (state == 2 && tool == kToolNone) {
        c->ToggleEditMode(shape);
    }
    if (shape->container == c) {
        c->ShowEditFrame();
        if (c->InRotateMode()) c->PlaceEditFrame();
        if (c->current == shape) c->RefreshPanel();
    }
    c->Redraw();
    return true;
}

}  // namespace orva
