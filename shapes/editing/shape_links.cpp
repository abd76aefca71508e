#include "shapes/editing/shape_links.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "shapes/shape_container.h"
#include "toolkit/window.h"

namespace orva {

// ---- The shape and its items ---------------------------------------------------------

bool Shape::EnsureInContainer() {
    quiet = 0;
    if (glyph == nullptr || container != nullptr) return false;
    ShapeContainer* owner = view != nullptr ? view->container : nullptr;
    if (owner == nullptr) return false;
    if (owner->AddShape(this)) Reselect(owner);
    return true;
}

bool Shape::DetachGlyph() {
    quiet = 1;
    ShapeContainer* owner = container;
    if (glyph == nullptr || owner == nullptr || !owner->IsInList(this)) return false;
    // The list's reference goes with the glyph: the caller holds one.
    owner->UnlinkShape(this, nullptr, false);
    owner->Refresh(true);
    return true;
}

bool Shape::LeaveView() {
    if (glyph == nullptr || container == nullptr) return false;
    AddRef();
    for (ObjectList::Node* n = items.head; n != nullptr; n = n->next)
        if (n->object != nullptr) n->object->Notify(this);
    // Held by the list, this reference and someone else: the shape survives its glyph.
    const bool detach = refCount.load() > 2;
    if (detach) DetachGlyph();
    Release();
    return detach;
}

bool Shape::UnlinkItem(ShapeItem* item) {
    if (glyph == nullptr) return false;
    if (container == nullptr) return true;
    if (item != nullptr) {
        if (!items.Remove(item)) return false;
    } else {
        items.ReleaseAll();
    }
    AddRef();
    DetachGlyph();
    Release();
    return true;
}

bool Shape::ReleaseItems() {
    bool any = false;
    for (ObjectList::Node* n = items.head; n != nullptr; n = n->next)
        if (n->object != nullptr && n->object->Detach(this)) any = true;
    items.ReleaseAll();
    if (any && gUiReady()) gWinRefreshAll();
    return any;
}

void Shape::SuspendItems() {
    quiet = 1;
    for (ObjectList::Node* n = items.head; n != nullptr; n = n->next)
        if (n->object != nullptr) n->object->Detach(this);
}

void Shape::WithdrawFromItems() {
    // The caller's reference keeps the shape while an item drops the one it held. The
    // links go too: a shape kept only by an undo step may outlive the items (a closed
    // file's Reduction), and it finds its item again through its view when it comes back.
    AddRef();
    for (ObjectList::Node* n = items.head; n != nullptr; n = n->next)
        if (n->object != nullptr) n->object->Detach(this);
    items.ReleaseAll();
    Release();
}

void Shape::RejoinItems() {
    if (header.role < kRoleSlice || items.head != nullptr || container == nullptr) return;
    // The item of the data the view shows, when the shape was drawn on those data.
    ShapeView* target = container->view;
    if (target == nullptr || (source != nullptr && target->dataSource != nullptr && source != target->dataSource))
        return;
    ShapeItem* item = target->DefaultItem();
    if (item != nullptr && items.Add(item) && !item->Accepts(this)) items.Remove(item);
}

// ---- Shape file blocks ------------------------------------------------------------------

namespace {

bool TagIs(const char* tag, const char* text) { return std::strncmp(tag, text, 8) == 0; }

void SetTag(char* tag, const char* text) {
    std::memset(tag, 0, 9);
    std::memcpy(tag, text, std::min<size_t>(std::strlen(text), 8));
}

// The reader starts a record with these offset words.
bool OffsetAtReaderDefaults(const EditTransformState& o) {
    return o.aperture[0] == 0 && o.aperture[1] == 0 && o.aperture[2] == 0 && o.direction == 0 && o.editFlag == -1 &&
           o.angle == 0.0f && !std::signbit(o.angle);
}

}  // namespace

bool ShapeTagFixup(ShapeHeader* header, ShapeFileTags* tags) {
    if (header == nullptr || tags == nullptr) return false;
    if (TagIs(tags->object, "REGION") || TagIs(tags->data, "RECT")) return false;
    if (header->kind < 0) {
        if (TagIs(tags->data, "REFPOINT")) {
            header->kind = kKindPoint;
            SetTag(tags->object, "REFPOINT");
        } else {
            SetTag(tags->object, "ANCHOR");
            SetTag(tags->data, "POINT");
            const uint32_t points = header->anchors.Count();
            switch (header->role) {
            case kRoleStatistic:
            case kRoleFindArea: header->kind = points == 0 || points >= 3 ? kKindPolygon : kKindRect; break;
            case kRoleSlice: header->kind = kKindPolyLine; break;
            default: header->kind = kKindPoint; break;
            }
        }
    }
    const int32_t kind = header->kind;
    if (header->role == kRoleUnset) {
        if (kind >= kKindPolyLine && kind <= kKindLine) header->role = kRoleSlice;
        else if (kind > 0) header->role = kRoleStatistic;
        else header->role = kRoleRefPoint;
    } else if (header->role == kRoleSlice && ((kind >= kKindRect && kind <= kKindQuads) || kind == kKindEllipseSeg ||
                                              kind == kKindEllipseATSeg)) {
        header->role = kRoleStatistic;
    } else if (header->role == kRoleStatistic && kind >= kKindPolyLine && kind <= kKindLine) {
        header->role = kRoleSlice;
    }
    // Two components per point (an empty buffer of another layout is retyped).
    if (header->anchors.elementsPerItem != 2 && header->anchors.Count() == 0) header->anchors.ResetType();
    if (!OffsetAtReaderDefaults(header->offset)) header->offset.Normalise();
    return true;
}

}  // namespace orva
