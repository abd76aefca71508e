#include "shapes/shape_header.h"

#include <cmath>
#include <cstring>

namespace orva {

static_assert(sizeof(EditTransformState) == 32, "offset words without padding");
static_assert(sizeof(ShapeBoxBlock) == 64, "box block without padding");

bool ShapeHeader::IsValidState() const {
    return kind != kKindNone && anchors.Count() >= 1 && anchors.elementsPerItem == 2 &&
           anchors.data != nullptr;
}

void ShapeHeader::Reset() {
    offset = EditTransformState{};
    flag = 0;
    kind = kKindNone;
    role = kRoleUnset;
    scaleExponent = 0;
    subpix = 1;
    scale = 1.0f;
    box = ShapeBoxBlock{};
    pivotX = pivotY = 0.0;
    pivotPinned = 0;
    anchors.rowsUsed = 0;
    anchors.ResetType();
    anchors.lastSelected = -1;
    anchors.selectedCount = 0;
}

// Offset words and box blocks compare as stored bits: an edit that writes the
// same value back is no change, and NaN equals itself.
bool SameOffsetWords(const EditTransformState& a, const EditTransformState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameBoxBlock(const ShapeBoxBlock& a, const ShapeBoxBlock& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

namespace {

bool SamePivot(const ShapeHeader& a, const ShapeHeader& b) {
    return std::memcmp(&a.pivotX, &b.pivotX, sizeof a.pivotX) == 0 &&
           std::memcmp(&a.pivotY, &b.pivotY, sizeof a.pivotY) == 0;
}

}  // namespace

bool CopyEditState(ShapeHeader* target, const ShapeHeader& source) {
    if (source.anchors.Count() != 0) {
        if (!target->anchors.CopyFrom(source.anchors)) return false;
    } else {
        target->anchors.rowsUsed = 0;
    }
    target->anchors.lastSelected = source.anchors.lastSelected;
    target->anchors.selectedCount = source.anchors.selectedCount;
    target->flag = source.flag;
    target->kind = source.kind;
    target->role = source.role;
    target->box = source.box;
    target->pivotX = source.pivotX;
    target->pivotY = source.pivotY;
    target->pivotPinned = source.pivotPinned;
    target->offset = source.offset;
    return true;
}

bool SameEditState(const ShapeHeader& stored, const ShapeHeader& live) {
    return stored.kind == live.kind && stored.role == live.role && stored.flag == live.flag &&
           SamePivot(stored, live) && SameOffsetWords(stored.offset, live.offset) &&
           SameBoxBlock(stored.box, live.box) && stored.anchors.SamePoints(live.anchors);
}

int ShapeRestore(const ShapeHeader& stored, ShapeHeader* live) {
    if (live == nullptr) return 0;
    // NaN is refused with the oversized boxes.
    if (!(std::fabs(stored.box.w) <= kRestoreBoxLimit) || !(std::fabs(stored.box.h) <= kRestoreBoxLimit))
        return 0;
    bool offsetSame = SameOffsetWords(stored.offset, live->offset);
    bool pointsSame = stored.anchors.SamePoints(live->anchors);
    bool boxSame = SameBoxBlock(stored.box, live->box);
    bool kindRoleSame = stored.kind == live->kind && stored.role == live->role;
    if (offsetSame && pointsSame && boxSame && kindRoleSame && stored.flag == live->flag &&
        SamePivot(stored, *live))
        return -1;

    if (!pointsSame && !live->anchors.CopyFrom(stored.anchors)) return 0;
    live->pivotX = stored.pivotX;
    live->pivotY = stored.pivotY;
    live->flag = stored.flag;
    if (!offsetSame) live->offset = stored.offset;
    if (!boxSame) live->box = stored.box;
    if (!kindRoleSame) {
        live->kind = stored.kind;
        live->role = stored.role;
        return 3;
    }
    if (!pointsSame || !boxSame) return 3;
    if (!offsetSame) return 2;
    return 1;
}

}  // namespace orva
