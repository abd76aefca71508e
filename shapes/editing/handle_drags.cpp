#include "shapes/editing/handle_drags.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/cursor_resources.h"
#include "platform/gl_context.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_panel.h"
#include "toolkit/input.h"
#include "toolkit/window.h"

namespace orva {

namespace {

namespace pf = orva::platform;

// The odd multiples of pi/8: the bounds of the rotation sectors.
constexpr double kSectorBounds[8] = {0.39269908169872414, 1.1780972450961724, 1.9634954084936207,
                                     2.748893571891069,   3.5342917352885173, 4.319689898685966,
                                     5.105088062083414,   5.8904862254808625};

// The largest aperture a view may ask for.
constexpr int64_t kApertureCap = kApertureMax;
// Without a view that knows its data.
constexpr uint32_t kApertureNoView = 0x400;

// View pixels per data unit (1 without a scale).
double ViewPerData(const ShapeView* v, bool vertical) {
    if (v == nullptr || v->pixelScale.flag == 0) return 1.0;
    return vertical ? v->pixelScale.y : v->pixelScale.x;
}

// Data units per window pixel (1 without a zoom record).
double DataPerPixel(const ShapeView* v, bool vertical) {
    const ViewZoom* z = ZoomRecordOf(v);
    if (z == nullptr) return 1.0;
    return vertical ? z->y : z->x;
}

ShapeView* ViewOf(const ShapeContainer* c, const Shape* s) {
    if (c != nullptr && c->view != nullptr) return c->view;
    return s != nullptr ? s->view : nullptr;
}

bool SameBox(const ShapeBoxBlock& a, const ShapeBoxBlock& b) {
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

// Maps the shape onto the working box. A box that came back to the one the drag started
// from gives the shape its points from before the drag again (the box edit refuses a
// box equal to the old one and would leave the points of the previous step).
void MapToWorkingBox(Shape* s) {
    const ShapeBoxBlock& w = TheShapeGlobals().workingBox;
    const ShapeBoxBlock& old = TheShapeGlobals().oldBox;
    if (!SameBox(w, old)) {
        s->MapToBox(w.x, w.y, w.w, w.h, true);
        return;
    }
    AnchorBuffer& a = s->header.anchors;
    const AnchorBuffer& saved = s->snapshot.anchors;
    if (s->snapshot.kind == kKindNone || saved.Count() != a.Count() || saved.itemBytes != a.itemBytes ||
        saved.data == nullptr || a.data == nullptr)
        return;
    {
        ShapeLock lock(s);
        std::memcpy(a.Points(), saved.Points(), static_cast<size_t>(a.Count()) * a.itemBytes);
        s->ResetPivot(kUpdateFull);
    }
    ShapeContainer* c = s->container;
    if (c != nullptr && c->selectionFlag != 0 && c->InRotateMode()) c->PlaceEditFrame();
}

// After a drag step: the items, the view and the panel follow.
void AfterStep(Shape* s) {
    const bool restarted = RestartLinkedItems(s);
    RedrawChangedShape(s, restarted);
    ShapePanelSync(s);
}

// Which edges of the box a corner moves: the left one (else the right), the top one
// (else the bottom).
struct Corner {
    bool left;
    bool top;
};

Corner CornerOf(int32_t handle) {
    switch (handle) {
        case kHandleTopLeft: return {true, true};
        case kHandleTopRight: return {false, true};
        case kHandleBottomLeft: return {true, false};
        default: return {false, false};
    }
}

}  // namespace

// ---- Directions ----------------------------------------------------------------------------------

int32_t DirectionSector(double dx, double dy) {
    if (!(std::fabs(dx) >= 1e-12 || std::fabs(dy) >= 1e-12)) return kSectorUp;
    const double length = std::sqrt(dx * dx + dy * dy);
    double theta = std::acos(std::clamp(-dy / length, -1.0, 1.0));
    if (dx < 0.0) theta = 2.0 * 3.14159265358979323846 - theta;
    int32_t passed = 0;
    while (passed < 8 && theta >= kSectorBounds[passed]) ++passed;
    return passed == 0 || passed == 8 ? kSectorUp : passed - 1;
}

int RotationCursor(int32_t sector) {
    if (sector < 0 || sector > kSectorUp) sector = kSectorUp;
    return pf::kCursorRotateFirst + sector;
}

// ---- Repaints ----------------------------------------------------------------------------------

bool RepaintWindowAtOnce(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return false;
    if ((window->state & kNotDrawnMask) != 0 || window->hwnd == nullptr) {
        window->dirty = 7;
        return false;
    }
    gWindow* previous = gWinCurrentGl();
    if (!gWinMakeCurrent(window)) {
        window->dirty = 7;
        return false;
    }
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    gWinPaint(window);
    if (window->pendingUpdate != nullptr) *window->pendingUpdate = 0;
    gWinSwapPainted(window);
    if (previous != nullptr && previous != window) gWinMakeCurrent(previous);
    return true;
}

bool RestartLinkedItems(Shape* shape) {
    if (shape == nullptr || shape->quiet != 0 || shape->items.head == nullptr) return false;
    shape->RestartLinked();
    return true;
}

void RedrawChangedShape(Shape* shape, bool itemsRestarted) {
    if (shape == nullptr) return;
    // Only a glyph of a toolkit list is a widget with a window.
    const ShapeContainer* c = shape->container;
    const bool widgets = c != nullptr && dynamic_cast<const ToolkitShapeList*>(c->list.get()) != nullptr;
    gElement* glyph = widgets ? ToolkitShapeList::WidgetOf(shape->glyph) : nullptr;
    gWindow* window = glyph != nullptr ? glyph->window : nullptr;
    if (window != nullptr && gUiReady()) {
        RepaintWindowAtOnce(window);
        if (itemsRestarted) gWinRefreshAll();
        return;
    }
    ShapeView* v = ViewOf(shape->container, shape);
    if (v != nullptr) v->Redraw();
}

// ---- The press and the release ------------------------------------------------------------------

void Shape::AspectRatio() {
    for (Shape* s = this; s != nullptr; s = s->chainNext) {
        if (s->header.kind == kKindPoint) continue;
        AnchorBuffer& a = s->header.anchors;
        if (a.selectedCount == 0 || a.selectedCount == 2) a.SelectAll(false);
    }
    const ShapeBoxBlock& b = chainNext != nullptr && container != nullptr ? container->selectionBox : header.box;
    ShapeGlobals& g = TheShapeGlobals();
    if (b.w != 0.0 && b.h != 0.0) {
        g.aspectWidthOverHeight = b.w == b.h ? 1.0f : static_cast<float>(b.w / b.h);
        g.aspectHeightOverWidth = b.w == b.h ? 1.0f : static_cast<float>(b.h / b.w);
    } else if (b.w != 0.0) {
        g.aspectWidthOverHeight = 1.0f;
        g.aspectHeightOverWidth = 0.0f;
    } else if (b.h != 0.0) {
        g.aspectWidthOverHeight = 0.0f;
        g.aspectHeightOverWidth = 1.0f;
    } else {
        g.aspectWidthOverHeight = 0.0f;
        g.aspectHeightOverWidth = 0.0f;
    }
}

bool BeginHandleDrag(ShapeContainer* c) {
    Shape* s = c != nullptr ? c->current : nullptr;
    if (s == nullptr) return false;
    c->handleDragging = 1;
    ShapeGlobals& g = TheShapeGlobals();
    g.oldBox = s->chainNext != nullptr ? c->selectionBox : s->header.box;
    g.workingBox = g.oldBox;
    for (Shape* t = s; t != nullptr; t = t->chainNext) t->BeginEdit();
    s->AspectRatio();
    return true;
}

bool EndHandleDrag(ShapeContainer* c) {
    if (c == nullptr) return false;
    c->handleDragging = 0;
    c->dragging = 0;
    Shape* s = c->current;
    if (s == nullptr) return false;
    const ShapeGlobals& g = TheShapeGlobals();
    if (c->editMode != kEditRotateFrame && SameBox(g.workingBox, g.oldBox)) return false;
    return c->PushUndo(s, kUndoAnchors);
}

// ---- Edge drags ----------------------------------------------------------------------------------

void EdgeDragStep(ShapeContainer* c, int32_t handle, int32_t dx, int32_t dy, uint32_t keys) {
    Shape* s = c != nullptr ? c->current : nullptr;
    if (s == nullptr || c->editFrame == nullptr) return;
    if (handle < kHandleTop || handle > kHandleRight) return;
    c->dragging = 1;
    const ShapeView* v = ViewOf(c, s);
    const bool vertical = handle == kHandleTop || handle == kHandleBottom;
    const double d = vertical ? dy * DataPerPixel(v, true) : dx * DataPerPixel(v, false);
    const bool proportional = (c->proportional != 0) != ((keys & kKeyShift) != 0);
    const bool symmetric = (keys & kKeyCtrl) != 0;
    ShapeGlobals& g = TheShapeGlobals();
    ShapeBoxBlock& b = g.workingBox;
    const ShapeBoxBlock& o = g.oldBox;
    // A derived size is a whole number unless the view shows a data unit wider than a pixel.
    auto whole = [&](double value, bool alongY) {
        return ViewPerData(v, alongY) > 1.0 ? value : std::round(value);
    };
    const double wh = g.aspectWidthOverHeight, hw = g.aspectHeightOverWidth;
    const bool degenerate = o.w == 0.0 || o.h == 0.0;
    switch (handle) {
        case kHandleTop:
            if (!proportional) {
                b.h -= d;
                b.y += d;
            } else if (!degenerate) {
                b.y += d;
                if (symmetric) {
                    b.h -= 2.0 * d;
                } else {
                    b.h -= d;
                    b.w = whole(b.h * wh, false);
                }
            } else if (symmetric) {
                b.h -= 4.0 * d;
                b.y += 2.0 * d;
            } else {
                b.y += d;
                if (o.w == 0.0) b.h -= d;
                else b.h = 0.0;
            }
            break;
        case kHandleBottom:
            if (!proportional) {
                b.h += d;
            } else if (!degenerate) {
                if (symmetric) {
                    b.y -= d;
                    b.h += 2.0 * d;
                } else {
                    b.h += d;
                    const double w = whole(b.h * wh, false);
                    b.x += b.w - w;
                    b.w = w;
                }
            } else if (symmetric) {
                b.h += 4.0 * d;
                b.y -= 2.0 * d;
            } else if (o.w == 0.0) {
                b.h += d;
            } else {
                b.h = 0.0;
                b.y += d;
            }
            break;
        case kHandleLeft:
            if (!proportional) {
                b.x += d;
                b.w -= d;
            } else if (!degenerate) {
                b.x += d;
                if (symmetric) {
                    b.w -= 2.0 * d;
                } else {
                    b.w -= d;
                    b.h = whole(b.w * hw, true);
                }
            } else if (symmetric) {
                b.w -= 4.0 * d;
                b.x += 2.0 * d;
            } else {
                b.x += d;
                if (o.h == 0.0) b.w -= d;
                else b.w = 0.0;
            }
            break;
        default:  // right
            if (!proportional) {
                b.w += d;
            } else if (!degenerate) {
                if (symmetric) {
                    b.x -= d;
                    b.w += 2.0 * d;
                } else {
                    b.w += d;
                    const double h = whole(b.w * hw, true);
                    b.y += b.h - h;
                    b.h = h;
                }
            } else if (symmetric) {
                b.w += 4.0 * d;
                b.x -= 2.0 * d;
            } else if (o.h == 0.0) {
                b.w += d;
            } else {
                b.w = 0.0;
                b.x += d;
            }
            break;
    }
    MapToWorkingBox(s);
    AfterStep(s);
}

// ---- Corner drags --------------------------------------------------------------------------------

void CornerDragStep(ShapeContainer* c, int32_t handle, int32_t dx, int32_t dy, uint32_t keys) {
    Shape* s = c != nullptr ? c->current : nullptr;
    if (s == nullptr || c->editFrame == nullptr) return;
    if (handle < kHandleTopLeft || handle > kHandleBottomRight) return;
    c->dragging = 1;
    const ShapeView* v = ViewOf(c, s);
    const Corner corner = CornerOf(handle);
    // The pointer's move in data units, and the same with the corner's signs: a growing
    // right or bottom edge is a negative change of the left or top one.
    const double rx = dx * DataPerPixel(v, false), ry = dy * DataPerPixel(v, true);
    const double fx = corner.left ? rx : -rx, fy = corner.top ? ry : -ry;
    const bool proportional = (c->proportional != 0) != ((keys & kKeyShift) != 0);
    const bool centred = (keys & kKeyCtrl) != 0;
    ShapeGlobals& g = TheShapeGlobals();
    ShapeBoxBlock& b = g.workingBox;
    const ShapeBoxBlock& o = g.oldBox;
    auto whole = [&](double value, bool alongY) {
        return ViewPerData(v, alongY) > 1.0 ? value : std::trunc(value);
    };
    // The edge rules of the corner, each with a factor for the centred drag.
    auto xEdge = [&](double k) {
        if (corner.left) b.x += k * fx;
        b.w -= k * fx;
    };
    auto yEdge = [&](double k) {
        if (corner.top) b.y += k * fy;
        b.h -= k * fy;
    };

    if (!proportional) {
        if (handle == kHandleTopRight) {
            if (o.h == 0.0) b.h += fy;
            else yEdge(1.0);
            if (o.w == 0.0 && o.h != 0.0) {
                b.x -= fx;
                b.w += fx;
            } else {
                xEdge(1.0);
            }
        } else if (handle == kHandleBottomLeft) {
            if (o.w == 0.0) b.w += fx;
            else xEdge(1.0);
            if (o.h == 0.0 && o.w != 0.0) {
                b.y -= fy;
                b.h += fy;
            } else {
                yEdge(1.0);
            }
        } else {
            xEdge(1.0);
            yEdge(1.0);
        }
    } else if (o.w == 0.0 || o.h == 0.0) {
        // A line moves along its zero side and changes along the other.
        if (o.w == 0.0) {
            b.x += rx;
            yEdge(1.0);
        } else {
            b.y += ry;
            xEdge(1.0);
        }
    } else {
        const double wh = g.aspectWidthOverHeight, hw = g.aspectHeightOverWidth;
        const double k = centred ? 2.0 : 1.0;
        if (std::fabs(wh) < 1.0) {
            // The height leads.
            if (centred) b.h -= k * fy;
            else yEdge(1.0);
            const double w = whole(b.h * wh, false);
            if (!centred && corner.left) b.x += b.w - w;
            b.w = w;
        } else {
            if (centred) b.w -= k * fx;
            else xEdge(1.0);
            const double h = whole(b.w * hw, true);
            if (!centred && corner.top) b.y += b.h - h;
            b.h = h;
        }
        if (centred) {
            b.x = whole(o.x + (o.w - b.w) * 0.5, false);
            b.y = whole(o.y + (o.h - b.h) * 0.5, true);
        }
    }
    MapToWorkingBox(s);
    AfterStep(s);
}

// ---- Rotation -----------------------------------------------------------------------------------

void RotateDragStep(ShapeContainer* c, double startX, double startY, double mouseX, double mouseY, uint32_t keys,
                    RotateDragFeedback* feedback) {
    Shape* s = c != nullptr ? c->current : nullptr;
    if (s == nullptr) return;
    c->dragging = 1;
    RotateDrag drag;
    drag.shape = s;
    drag.startX = static_cast<float>(startX);
    drag.startY = static_cast<float>(startY);
    drag.mouseX = static_cast<float>(mouseX);
    drag.mouseY = static_cast<float>(mouseY);
    drag.modifiers = keys;
    drag.feedback = feedback;
    RotateDragHandler(&drag);
}

// ---- The offset handle -------------------------------------------------------------------------

bool OffsetDragStep(Shape* s, int32_t dx, int32_t dy, uint32_t keys) {
    if (s == nullptr || (dx == 0 && dy == 0)) return false;
    EditTransformState& o = s->header.offset;
    if (o.direction != kOffsetAngl && o.direction != kOffsetFree) {
        int64_t value = 0;
        if (o.editFlag == kAperturePositive) value = o.Positive();
        else if (o.editFlag == kApertureNegative) value = o.Negative();
        else value = static_cast<int64_t>(o.Extent()) + 1;
        const ShapeBoxBlock& b = s->header.box;
        const int32_t kind = s->header.kind;
        const bool open = kind == kKindPolyLine || kind == kKindBSpline || kind == kKindLine || kind == kKindArc;
        const int32_t step = open && std::fabs(b.h) > std::fabs(b.w) ? dx : -dy;
        if (step == 0) return false;
        value = std::clamp<int64_t>(value + step, 0, 0x7fffffff);
        if (!Shape::SetOffsetAperture(&o, static_cast<uint32_t>(value), kApertureCentred)) return false;
        if (o.aperture[0] == 0) {
            ShapeLock lock(s);
            s->derived.outline.rowsUsed = 0;
            s->derived.offsetRegion.MakeEmpty();
            s->derived.offsetRegion.SetShapeCode(1);
        }
        return true;
    }
    const double a = static_cast<double>(o.Extent()) + 1.0;
    const double vx = a * o.vector[0] + dx, vy = a * o.vector[1] + dy;
    const double limit = std::fabs(static_cast<double>(s->header.scale));
    if (std::fabs(vx) <= limit && std::fabs(vy) <= limit) return false;
    return s->SetOffsetVector(static_cast<float>(vx), static_cast<float>(vy), (keys & (kKeyShift | kKeyCtrl)) != 0);
}

// ---- Apertures ---------------------------------------------------------------------------------

uint32_t Shape::ApertureLimit(int32_t mode) const {
    const EditTransformState& o = header.offset;
    if (mode == -1) mode = o.editFlag;
    const bool widthMode = mode == kApertureCentred || mode == kApertureProportional;
    ShapeView* v = view != nullptr ? view : container != nullptr ? container->view : nullptr;
    int64_t fw = 0, fh = 0;
    if (v == nullptr || !v->DataFrameSize(&fw, &fh)) return kApertureNoView;
    const int64_t larger = std::max(std::clamp<int64_t>(fw, 0, kApertureCap), std::clamp<int64_t>(fh, 0, kApertureCap));
    int64_t l = static_cast<int64_t>(static_cast<double>(larger) * (widthMode ? 2.8 : 1.4));
    l = std::clamp<int64_t>(l, 1, kApertureCap);
    if (mode == kApertureProportional) l = l > o.aperture[0] ? l - o.aperture[0] : 1;
    return static_cast<uint32_t>(l);
}

bool Shape::SetApertureChecked(uint32_t value, int32_t mode) {
    EditTransformState& o = header.offset;
    if (o.editFlag == kApertureLocked) return false;
    if (mode == -1) mode = o.editFlag;
    const bool widthMode = mode == kApertureCentred || mode == kApertureProportional;
    const uint32_t limit = ApertureLimit(mode);
    if (widthMode && value == 0) value = 1;
    if (value > limit) value = limit;
    if (!SetOffsetAperture(&o, value, mode)) return false;
    if (o.aperture[0] == 0) {
        ShapeLock lock(this);
        derived.outline.rowsUsed = 0;
        derived.offsetRegion.MakeEmpty();
        derived.offsetRegion.SetShapeCode(1);
    }
    if (container != nullptr && container->current == this) container->PlaceEditFrame();
    UpdateGeometry(kUpdateFull);
    const bool restarted = RestartLinkedItems(this);
    RedrawChangedShape(this, restarted);
    ShapePanelSync(this);
    return true;
}

bool Shape::CommitAndSetAperture(uint32_t value, int32_t mode) {
    if (container != nullptr && container->editFrame != nullptr) container->editFrame->CloseField();
    BeginEdit();
    if (!SetApertureChecked(value, mode)) return false;
    if (container != nullptr) container->PushUndo(this, kUndoOffset);
    return true;
}

}  // namespace orva
