#include "shapes/editing/shape_rotation.h"

#include <cmath>

#include "shapes/editing/handle_drags.h"
#include "shapes/shape_container.h"
#include "shapes/ui/shape_panel.h"

namespace orva {

namespace {

// The turn of an angle in degrees; false when it is too small.
bool TurnOf(double degrees, double* sine, double* cosine) {
    const double radians = degrees * kRadiansPerDegree;
    if (!(std::fabs(radians) >= kSmallestTurn)) return false;
    *sine = std::sin(radians);
    *cosine = std::cos(radians);
    return true;
}

}  // namespace

void RotateShapePoints(Shape* shape, double sine, double cosine, double cx, double cy, bool allPoints) {
    if (shape == nullptr) return;
    AnchorBuffer& a = shape->header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return;
    {
        ShapeLock lock(shape);
        if (!(sine == 0.0 && cosine == 1.0)) {
            const bool onlySelected = !allPoints && a.selectedCount > 0 && a.Selection() != nullptr;
            const bool one = onlySelected && a.selectedCount == 1 && a.lastSelected >= 0 &&
                             static_cast<uint32_t>(a.lastSelected) < a.Count();
            float* p = a.Points();
            for (uint32_t i = 0; i < a.Count(); ++i) {
                if (onlySelected && (one ? static_cast<int32_t>(i) != a.lastSelected : a.Selection()[i] == 0)) continue;
                const double x = static_cast<double>(p[2 * i]) - cx, y = static_cast<double>(p[2 * i + 1]) - cy;
                p[2 * i] = static_cast<float>(x * cosine - y * sine + cx);
                p[2 * i + 1] = static_cast<float>(y * cosine + x * sine + cy);
            }
        }
        shape->statMark.centreX = -1.0;
        shape->UpdateGeometry(kUpdateKeepPivot);
    }
    ShapeContainer* c = shape->container;
    if (c != nullptr && c->current == shape && c->InRotateMode() && c->selectionFlag != 0) c->PlaceEditFrame();
    ShapePanelSync(shape);
}

bool RotateShape(Shape* shape, bool allPoints, double degrees) {
    if (shape == nullptr) return false;
    shape->ClearChain();
    double sine = 0.0, cosine = 1.0;
    if (!TurnOf(degrees, &sine, &cosine)) return false;
    shape->BeginEdit();
    RotateShapePoints(shape, sine, cosine, shape->header.pivotX, shape->header.pivotY, allPoints);
    const bool restarted = RestartLinkedItems(shape);
    RedrawChangedShape(shape, restarted);
    if (shape->container != nullptr) shape->container->PushUndo(shape, kUndoAnchors);
    return true;
}

bool RotateAllShapes(ShapeContainer* c, Shape* skip, double degrees) {
    if (c == nullptr) return false;
    double sine = 0.0, cosine = 1.0;
    if (!TurnOf(degrees, &sine, &cosine)) return false;
    const void* source = c->current != nullptr ? c->current->source : nullptr;
    if (c->current != nullptr) c->current->ClearChain();
    // The turned shapes, chained in list order from the first that changed: that one
    // carries the step, and a shape that did not change (a Point about its own pivot)
    // neither heads nor joins it.
    Shape* head = nullptr;
    Shape* tail = nullptr;
    for (Shape* s = c->FirstShape(); s != nullptr; s = c->NextShape(s)) {
        if (s == skip || (source != nullptr && s->source != source)) continue;
        s->BeginEdit();
        RotateShapePoints(s, sine, cosine, s->header.pivotX, s->header.pivotY, true);
        RestartLinkedItems(s);
        if (s->snapshot.IsValidState() && SameEditState(s->snapshot, s->header)) continue;
        if (tail != nullptr) tail->chainNext = s;
        else head = s;
        tail = s;
    }
    if (head == nullptr) {
        c->Redraw();
        return false;
    }
    c->PushUndo(head, kUndoAnchors);
    head->ClearChain();
    c->PlaceEditFrame();
    c->Redraw();
    return true;
}

}  // namespace orva
