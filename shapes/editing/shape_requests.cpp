#include "shapes/editing/shape_requests.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "common/error_codes.h"
#include "shapes/geometry/path_sampler.h"
#include "shapes/geometry/shape_updates.h"
#include "shapes/shape_batch.h"
#include "shapes/shape_container.h"
#include "toolkit/input.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// Points added to a kind that needs more than the shape has go this far right
// of the point before them.
constexpr float kAddedPointStep = 20.0f;
// A Polygon made from one point gets its third point here from its second.
constexpr float kPolygonPointStep = 10.0f;
// Glyph moves shorter than this (window pixels) stop at the data frame's edge.
constexpr int32_t kEdgeDamping = 9;

bool KindIn(int32_t kind, std::initializer_list<int32_t> kinds) {
    return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

bool IsSliceKind(int32_t kind) { return KindTakesEveryDirection(kind); }

uint32_t PolygonVertices(int32_t asked) {
    if (asked < 3) return 4;
    return std::min(static_cast<uint32_t>(asked), kMaxPolygonVertices);
}

void PutPoint(AnchorBuffer* a, double x, double y) {
    float* p = a->Points() + 2 * static_cast<size_t>(a->rowsUsed);
    p[0] = static_cast<float>(x);
    p[1] = static_cast<float>(y);
    a->Selection()[a->rowsUsed] = 0;
    ++a->rowsUsed;
}

// Room for `total` points, keeping those in use.
bool Room(AnchorBuffer* a, uint64_t total) { return total <= 0xFFFFFFFFu && a->EnsureRoom(static_cast<uint32_t>(total)); }

// n vertices on the ellipse inscribed in the box of s and e, the first at the
// top, at equal angles.
void PutPolygon(AnchorBuffer* a, const double s[2], const double e[2], uint32_t n) {
    const double cx = (s[0] + e[0]) * 0.5, cy = (s[1] + e[1]) * 0.5;
    const double rx = std::fabs(e[0] - s[0]) * 0.5, ry = std::fabs(e[1] - s[1]) * 0.5;
    for (uint32_t k = 0; k < n; ++k) {
        const double t = 2.0 * std::numbers::pi * k / n;
        PutPoint(a, cx + rx * std::sin(t), cy - ry * std::cos(t));
    }
}

void Redraw(Shape* shape) {
    if (shape->container != nullptr) shape->container->Redraw();
    else if (shape->view != nullptr) shape->view->Redraw();
}

void RefreshPanelOf(Shape* shape) {
    ShapeContainer* c = shape->container;
    if (c != nullptr && c->current == shape) c->RefreshPanel();
}

// Links the item to the shape unless it accepts it already; the item checks
// the shape and is unlinked again when it refuses. Answers whether it took it.
bool LinkItem(Shape* shape, ShapeItem* item) {
    if (!item->Accepts(shape) && !shape->items.Add(item)) return false;
    if (item->Check(shape)) return true;
    shape->items.Remove(item);
    return false;
}

}  // namespace

// ---- Tables ------------------------------------------------------------------------------

const char* ShapeRoleName(int32_t role) {
    switch (role) {
    case kRoleUnset: return "Unknow";
    case kRoleGauge: return "Gauge";
    case kRoleRefPoint: return "RefPoint";
    case kRoleDistanceMeter: return "Distance";
    case kRoleDipMeter: return "Angle";
    case kRoleSlice: return "Slice";
    case kRoleStatistic: return "Statistic";
    case kRoleFindArea: return "Area of Search";
    default: return "";
    }
}

uint32_t KindNeedsPoints(int32_t kind) {
    if (kind <= kKindPoint) return 1;
    if (kind <= kKindEllipse) return 2;
    if (kind <= kKindSimplex) return 3;
    if (kind <= kKindArc) return 4;
    return 5;
}

uint32_t KindFixedPoints(int32_t kind) {
    if (kind >= kKindLine && kind <= kKindEllipse) return 2;
    if (kind >= kKindEllipseAT && kind <= kKindArc) return 4;
    if (kind >= kKindEllipseSeg && kind <= 14) return 5;
    return 0;
}

bool KindIsTwoPointFigure(int32_t kind) { return kind >= kKindLine && kind <= kKindEllipse; }

int32_t NextKindForRole(const Shape* shape) {
    if (shape == nullptr) return -1;
    const int32_t kind = shape->header.kind, role = shape->header.role;
    if (kind < 0 && role < 0) return -1;
    const bool open = KindIn(kind, {kKindPoint, kKindPolyLine, kKindBSpline, kKindLine, kKindArc});
    if ((role == kRoleStatistic || role == kRoleFindArea) && open) return -1;
    if (role == kRoleSlice) {
        switch (kind) {
        case kKindLine: return kKindPolyLine;
        case kKindPolyLine: return kKindBSpline;
        case kKindBSpline: return shape->header.anchors.Count() < 3 ? kKindLine : kKindPolyLine;
        case kKindArc: return kKindPolyLine;
        default: return -1;
        }
    }
    if (role == kRoleGaugeArea || role == kRoleStatistic || role == kRoleFindArea)
        return kind == kKindRect ? kKindEllipse : kKindRect;
    return -1;
}

const ViewZoom* ZoomRecordOf(const ShapeView* view) {
    return view != nullptr && view->zoom.active ? &view->zoom : nullptr;
}

// ---- Kind and role -----------------------------------------------------------------------

bool Shape::SetKindAndRole(int32_t kind, int32_t role) {
    const bool newKind = kind >= 0 && kind != header.kind;
    const bool newRole = role >= 0 && role != header.role;
    if (!newKind && !newRole) return false;
    const int32_t k = kind >= 0 ? kind : header.kind;
    const int32_t r = role >= 0 ? role : header.role;
    const bool open = KindIn(k, {kKindPoint, kKindPolyLine, kKindBSpline, kKindLine, kKindArc});
    if (role >= 0 && (role == kRoleStatistic || role == kRoleFindArea) && open) return false;
    if (r == kRoleSlice && !IsSliceKind(k)) return false;
    if (r == kRoleRefPoint && k != kKindPoint) return false;

    BeginEdit();
    if (role >= 0) header.role = role;
    if (!newKind) {
        // Slices and area roles measure through an area procedure: it follows the role.
        {
            ShapeLock lock(this);
            ShapeKindProcs next = KindProcsFor(header.kind, header.role, header.offset.direction, axisVariantGate);
            if (next.areaProcedure != procs.areaProcedure) {
                procs = next;
                ResetPivot(kUpdateFull);
            }
        }
        if (container != nullptr) container->PushUndo(this, kUndoKindRole);
        RestartLinked();
        Redraw(this);
        RefreshPanelOf(this);
        return true;
    }

    // The points fit the kind, under the lock the measuring stages read them with.
    ShapeLock lock(this);
    AnchorBuffer& a = header.anchors;
    const uint32_t had = a.Count();
    const uint32_t need = KindNeedsPoints(k);
    const uint32_t fixed = KindFixedPoints(k);
    if (had < need) {
        if (!Room(&a, need)) return false;
        for (uint32_t i = had; i < need; ++i) {
            double x = 0.0, y = 0.0;
            if (i == 0) {
                x = header.box.x;
                y = header.box.y;
            } else if (i == had && had >= 2) {
                x = (static_cast<double>(a.X(0)) + a.X(1)) * 0.5;
                y = (static_cast<double>(a.Y(0)) + a.Y(1)) * 0.5;
            } else if (k == kKindPolygon && had == 1 && i == 2) {
                x = a.X(1) + kPolygonPointStep;
                y = a.Y(1) + kPolygonPointStep;
            } else {
                x = a.X(i - 1) + kAddedPointStep;
                y = a.Y(i - 1);
            }
            PutPoint(&a, x, y);
        }
    } else if (fixed != 0) {
        if (fixed == 2) {
            // The two corners of the box of every point.
            ResetBounds();
            const ShapeBoxBlock& b = header.box;
            a.Points()[0] = static_cast<float>(b.x);
            a.Points()[1] = static_cast<float>(b.y);
            a.Points()[2] = static_cast<float>(b.x + b.w);
            a.Points()[3] = static_cast<float>(b.y + b.h);
        }
        if (a.Count() >= fixed) a.rowsUsed = fixed;
    }
    const bool pointsChanged = !a.SamePoints(snapshot.anchors);

    // Kinds that take only "CNRM" and "AXIS" adopt "CNRM".
    const uint32_t direction = header.offset.direction;
    if (!KindTakesEveryDirection(k) && direction != 0 && direction != kOffsetCnrm && direction != kOffsetAxis)
        header.offset.direction = kOffsetCnrm;
    const bool offsetChanged = header.offset.direction != direction;

    header.kind = k;
    if (glyph != nullptr) glyph->KindChanged();
    SetupKindProcs(nullptr, nullptr);
    ResetBounds();
    ResetPivot(kUpdateFull);

    if (container != nullptr && container->current == this) {
        container->PlaceEditFrame();
        RestartLinked();
        container->Redraw();
        container->RefreshPanel();
    }
    if (container != nullptr) {
        uint32_t code = kUndoKindRole;
        if (pointsChanged && offsetChanged) code = kUndoAll;
        else if (pointsChanged) code = kUndoAnchors;
        else if (offsetChanged) code = kUndoOffset;
        container->PushUndo(this, code);
    }
    return true;
}

bool ShapeContainer::SetCurrentShapeMode() {
    if (current == nullptr) return false;
    const int32_t kind = NextKindForRole(current);
    if (kind < 0) return false;
    return current->SetKindAndRole(kind, -1);
}

int32_t ChangeShapeKind(ShapeContainer* editor, const ShapeRequest& description, const EditTransformState* offset) {
    if (editor == nullptr || editor->current == nullptr) return 0;
    Shape* shape = editor->current;
    bool done = shape->SetKindAndRole(description.kind, description.role >= 0 ? description.role : -1);
    if (offset != nullptr && !SameOffsetWords(*offset, shape->header.offset)) {
        shape->BeginEdit();
        shape->header.offset = *offset;
        shape->SelectOffsetProcs(offset->direction, true);
        shape->ResetPivot(kUpdateFull);
        editor->PushUndo(shape, kUndoOffset);
        shape->RestartLinked();
        editor->Redraw();
        done = true;
    }
    return done ? 1 : 0;
}

// ---- Requests ----------------------------------------------------------------------------

bool Shape::FillFromRequest(const ShapeRequest& r, const EditTransformState* offset, const double* origin) {
    // Measuring stages read the points under the lock.
    ShapeLock lock(this);
    AnchorBuffer& a = header.anchors;
    if (a.elementsPerItem != 2) {
        a.rowsUsed = 0;
        a.ResetType();
    }
    const int32_t kind = r.kind;
    if (kind < 0) return false;
    const uint32_t need = KindNeedsPoints(kind);
    const uint32_t fixed = KindFixedPoints(kind);
    const double ox = origin != nullptr ? origin[0] : 0.0;
    const double oy = origin != nullptr ? origin[1] : 0.0;
    // Start and end in data coordinates: the request's less the origin.
    double s[2] = {r.start[0] - ox, r.start[1] - oy};
    double e[2] = {r.end[0] - ox, r.end[1] - oy};
    bool listed = false;

    if (r.points != nullptr && r.points->data != nullptr && r.points->count != 0) {
        const ShapePointList& list = *r.points;
        if (list.stride < 2) return false;
        const uint32_t existing = r.append ? a.Count() : 0;
        uint32_t take = list.count;
        if (fixed != 0) take = std::min(take, fixed - std::min(existing, fixed));
        // The list's points lie relative to the origin.
        auto listX = [&](uint32_t i) { return list.data[static_cast<size_t>(i) * list.stride] + ox; };
        auto listY = [&](uint32_t i) { return list.data[static_cast<size_t>(i) * list.stride + 1] + oy; };
        if (static_cast<uint64_t>(existing) + take >= need) {
            a.rowsUsed = existing;
            if (!Room(&a, static_cast<uint64_t>(existing) + take)) return false;
            for (uint32_t i = 0; i < take; ++i) PutPoint(&a, listX(i), listY(i));
            listed = true;
        } else {
            if (list.count < 2) return false;
            s[0] = listX(0);
            s[1] = listY(0);
            e[0] = listX(list.count - 1);
            e[1] = listY(list.count - 1);
        }
    }

    if (!listed) {
        const bool fresh = a.Count() == 0 || KindIsTwoPointFigure(kind);
        uint32_t add = kind == kKindPoint ? 1 : kind == kKindPolygon ? PolygonVertices(r.vertexCount) : 2;
        if (fresh) {
            a.rowsUsed = 0;
        } else {
            const uint32_t n = a.Count();
            if (kind == kKindPolygon) {
                if (n >= kMaxPolygonVertices) return false;
                add = std::min(add, kMaxPolygonVertices - n);
            } else {
                add = 1;
            }
            // A path may be closed on its first point.
            const uint32_t from = IsSliceKind(kind) && n > 3 ? 1 : 0;
            for (uint32_t i = from; i < n; ++i)
                if (a.X(i) == static_cast<float>(e[0]) && a.Y(i) == static_cast<float>(e[1])) return false;
            if (n >= 2 && a.X(n - 1) == a.X(n - 2) && a.Y(n - 1) == a.Y(n - 2)) --a.rowsUsed;
        }
        if (r.mode == 1 && r.step != 0 && !KindIsTwoPointFigure(kind)) {
            if (!SampleSegmentStepped(&a, static_cast<float>(s[0]), static_cast<float>(s[1]), e[0] - s[0],
                                      e[1] - s[1], r.step, 0))
                return false;
            std::memset(a.Selection(), 0, a.Count());
        } else {
            if (!Room(&a, static_cast<uint64_t>(a.Count()) + add)) return false;
            if (kind == kKindPolygon) {
                PutPolygon(&a, s, e, add);
            } else if (add == 1) {
                PutPoint(&a, e[0], e[1]);
            } else {
                PutPoint(&a, s[0], s[1]);
                PutPoint(&a, e[0], e[1]);
            }
        }
    }
    if (a.Count() < need || (fixed != 0 && a.Count() < fixed)) return false;

    header.kind = kind;
    header.role = r.role;
    header.flag = r.flag;
    if (offset != nullptr) {
        header.offset = *offset;
    } else {
        header.offset.Reset();
        SetOffsetAperture(&header.offset, header.offset.Positive() + header.offset.Negative(), -1);
    }
    SetupKindProcs(nullptr, nullptr);
    ResetBounds();
    if (header.offset.Extent() == 0) {
        derived.outline.rowsUsed = 0;
        derived.offsetRegion.MakeEmpty();
    }
    return true;
}

bool Shape::ApplyRequest(const ShapeRequest& r, const EditTransformState* offset, const double* origin, bool select,
                         ShapeItem* item) {
    ShapeContainer* c = container;
    if (c != nullptr && c->remembered == this && KindIsTwoPointFigure(r.kind)) c->remembered = nullptr;
    if (header.IsValidState()) BeginEdit();
    if (!FillFromRequest(r, offset, origin) || !header.IsValidState()) return false;
    if (c != nullptr && glyph == nullptr) return c->AddShapeGlyph(this, item, state == kShapeHidden, true);

    ResetBounds();
    ResetPivot(kUpdateFull);
    if (c != nullptr) {
        if (!select) c->LeaveSelectMode();
        if (c->current != this) {
            c->dragging = 0;
            c->SetCurrentShape(this, false, false);
        }
        c->changed = 1;
        if (!KindIsTwoPointFigure(header.kind)) c->remembered = this;
    }
    if (item != nullptr && header.role > kRoleDipMeter && LinkItem(this, item)) {
        RefreshItem(item, 1);
        Redraw(this);
        RefreshPanelOf(this);
    }
    RestartLinked();
    Redraw(this);
    RefreshPanelOf(this);
    if (c != nullptr) c->PushUndo(this, kUndoAll);
    return true;
}

Shape* ShapeContainer::ShapeFromRequest(const ShapeRequest& r, const EditTransformState* offset,
                                        const double* origin) {
    const bool listed = r.points != nullptr && r.points->data != nullptr && r.points->count != 0;
    if (!listed && r.start[0] == r.end[0] && r.start[1] == r.end[1] && r.kind >= kKindPolyLine && r.kind <= 14)
        return nullptr;
    if (view == nullptr || !view->WindowReady()) return nullptr;
    if (remembered != nullptr && KindIsTwoPointFigure(r.kind)) remembered = nullptr;

    Shape* shape = nullptr;
    if (r.role == kRoleRefPoint && r.kind == kKindPoint) {
        shape = referencePoint;
    } else if (!r.newShape && changed && remembered != nullptr && remembered->header.kind == r.kind &&
               remembered->header.role == r.role) {
        shape = remembered;
    }
    if (shape != nullptr && shape->header.anchors.elementsPerItem != static_cast<uint32_t>(r.components))
        shape = nullptr;
    if (shape != nullptr) {
        if (offset == nullptr) offset = &shape->header.offset;
        if (shape->ApplyRequest(r, offset, origin, true, nullptr)) return shape;
        PrintStatusLine(kStatusGroupMain, -3, kStatusFlagsShow, "%s", kCantChangeShapeText);
        return nullptr;
    }

    shape = CreateShape(r.kind);
    if (shape == nullptr) return nullptr;
    shape->header.flag = r.flag;
    shape->state = r.initialState;
    shape->container = this;
    shape->AddRef();
    const bool made = shape->ApplyRequest(r, offset, origin, true, nullptr);
    if (!made && shape->container == this && !IsInList(shape)) shape->container = nullptr;
    const bool kept = shape->Release() > 0;
    return made && kept ? shape : nullptr;
}

bool ShapeContainer::AddShapeGlyph(Shape* shape, ShapeItem* item, bool hidden, bool remember) {
    if (shape == nullptr) return false;
    if (shape->glyph != nullptr && IsInList(shape)) return true;
    if (view == nullptr || !view->WindowReady()) return false;
    editMode = kEditMove;
    const bool othersEnabled = glyphsEnabled_ && enabled;
    if (!LinkShape(shape)) return false;
    if (gUiReady()) {
        enabled = 1;
        if (othersEnabled) {
            shape->glyph->SetEnabled(true);
            glyphsEnabled_ = true;
        } else {
            SetShapesEnabled(true);
        }
        if (editFrame != nullptr) editFrame->SetEnabled(true);
    }
    if (editFrame == nullptr && TheShapeEditFrameMaker() != nullptr) {
        ownedFrame.reset(TheShapeEditFrameMaker()(*this));
        editFrame = ownedFrame.get();
    }
    if (hidden) {
        shape->glyph->SetVisible(false);
        remembered = nullptr;
        if (shape->view == nullptr) shape->view = view;
    } else {
        shape->glyph->SetVisible(true);
        SetCurrentShape(shape, false, false);
        selectionFlag = 1;
        if (remember && !KindIsTwoPointFigure(shape->header.kind)) remembered = shape;
        HideEditFrame();
        Redraw();
        // The "Edit Shape..." panel follows the new current shape.
        RefreshPanel();
        if (shape->state != kShapeHidden) PushUndo(shape, kUndoCreate);
    }
    if (shape->header.role >= kRoleSlice) {
        ShapeItem* target = item;
        if (target == nullptr && shape->items.head == nullptr) target = view->DefaultItem();
        if (target != nullptr && shape->items.Add(target)) {
            if (!target->Accepts(shape)) shape->items.Remove(target);
            else if (!hidden) RefreshItem(target, 1);
        }
    }
    return true;
}

// ---- Glyph drags ---------------------------------------------------------------------------

namespace {

// Whether a move of `d` pixels along an axis is dropped at the frame's edge:
// the first and last point's rounded coordinates against 0 and the size (or
// -1 and size - 1 when the first lies beyond the last).
bool DroppedAtEdge(int32_t d, float first, float last, int64_t size) {
    if (std::abs(d) >= kEdgeDamping) return false;
    const double a = std::round(static_cast<double>(first)), b = std::round(static_cast<double>(last));
    const bool reversed = a > b;
    const double low = reversed ? -1.0 : 0.0, high = reversed ? static_cast<double>(size) - 1.0 : size;
    const double lower = std::min(a, b), upper = std::max(a, b);
    return std::fabs(lower - low) <= 1.0 || std::fabs(upper - high) <= 1.0;
}

// Whether the first or the last point is selected.
bool EndSelected(const AnchorBuffer& a) {
    if (a.selectedCount == -1) return true;
    const uint32_t n = a.Count();
    return a.Selection()[0] != 0 || a.Selection()[n - 1] != 0;
}

void GlyphDrag(Shape* shape, int32_t dx, int32_t dy, uint32_t keys, bool curve) {
    if (shape == nullptr) return;
    ShapeContainer* c = shape->container;
    if (c != nullptr) c->dragging = 1;
    AnchorBuffer& a = shape->header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return;
    ShapeView* view = c != nullptr ? c->view : shape->view;
    if (view != nullptr) view->Follow();
    const bool selected = a.selectedCount != 0;
    if (view != nullptr && (!curve || (selected && EndSelected(a)))) view->CloseOverlay();

    // Shift locks the move to one axis: the vertical one, the horizontal one with Ctrl.
    if ((keys & kKeyShift) != 0) {
        if ((keys & kKeyCtrl) != 0) dy = 0;
        else dx = 0;
        if (dx == 0 && dy == 0) return;
        int64_t width = 0, height = 0;
        if (view != nullptr && view->DataFrameSize(&width, &height)) {
            const uint32_t last = a.Count() - 1;
            if (DroppedAtEdge(dx, a.X(0), a.X(last), width)) dx = 0;
            else if (DroppedAtEdge(dy, a.Y(0), a.Y(last), height)) dy = 0;
        }
    }
    if (dx == 0 && dy == 0) return;
    double mx = dx, my = dy;
    if (const ViewZoom* z = ZoomRecordOf(view)) {
        mx *= z->x;
        my *= z->y;
    }
    // Selected anchors move alone; without a selection (or with all) the whole shape.
    shape->ApplyMove(static_cast<float>(mx), static_cast<float>(my));
}

}  // namespace

void ShapeGlyphDrag(Shape* shape, int32_t dx, int32_t dy, uint32_t keys) { GlyphDrag(shape, dx, dy, keys, false); }
void ShapeGlyphDragCurve(Shape* shape, int32_t dx, int32_t dy, uint32_t keys) {
    GlyphDrag(shape, dx, dy, keys, true);
}
void ShapeGlyphDragRound(Shape* shape, int32_t dx, int32_t dy, uint32_t keys) {
    GlyphDrag(shape, dx, dy, keys, false);
}

ShapeGlyphDragProc GlyphDragFor(int32_t kind) {
    switch (kind) {
    case kKindBSpline:
    case kKindArc: return &ShapeGlyphDragCurve;
    case kKindCircle:
    case kKindEllipse:
    case kKindPolygon:
    case kKindSimplex:
    case kKindEllipseAT:
    case kKindEllipseSeg:
    case kKindEllipseATSeg: return &ShapeGlyphDragRound;
    default: return &ShapeGlyphDrag;
    }
}

}  // namespace orva
