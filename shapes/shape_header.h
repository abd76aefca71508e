#pragma once
// The parameter block of a shape: offset settings, kind and role, scale, the
// box with the positions that move with it, the pivot and the anchor points.
// A shape keeps two: the current one and the snapshot taken when an edit began;
// undo steps keep copies.
#include <cstdint>

#include "shapes/anchor_buffer.h"
#include "shapes/shape_kinds.h"

namespace orva {

// Aperture modes: how a new width is split between the sides of the path.
constexpr int32_t kApertureLocked = -2;  // the width does not change
constexpr int32_t kAperturePositive = 0;
constexpr int32_t kApertureNegative = 1;
constexpr int32_t kApertureCentred = 2;
constexpr int32_t kApertureProportional = 3;
// The widest aperture a shape takes, from a view or from a file.
constexpr uint32_t kApertureMax = 0x20000;

// The offset settings (the first six fields of the header): the aperture
// across a slice's path (or the margin of a closed figure's background ring)
// and the direction the offset is laid in.
struct EditTransformState {
    // extent (width - 1; the first 0: no offset region), pixels on the
    // positive side (the path pixel included), pixels on the negative side;
    // read as unsigned counts.
    int32_t aperture[3] = {0, 0, 0};
    uint32_t direction = 0;           // kOffsetCnrm ... or 0
    int32_t editFlag = 0;             // the aperture mode (kApertureCentred ...)
    float angle = 0.0f;               // degrees, with kOffsetAngl
    float vector[2] = {0.0f, 0.0f};   // the common offset direction, length L

    uint32_t Extent() const { return static_cast<uint32_t>(aperture[0]); }
    uint32_t Positive() const { return static_cast<uint32_t>(aperture[1]); }
    uint32_t Negative() const { return static_cast<uint32_t>(aperture[2]); }
    void SetSides(uint32_t positive, uint32_t negative);

    // Width 1 (the path pixel only), "CNRM", centred, vector (0, 0); the angle stays.
    void Reset();
    // Repairs a loaded record: the aperture mode 0 or outside 0..3 becomes
    // centred, an angle beyond +-360 its remainder, both sides 0 are rebuilt
    // from the extent, a vector of two tiny components becomes (0, 1).
    void Normalise();
    // A direction is set, the counts agree (extent = positive + negative - 1,
    // not both 0) and both vector components are exactly +-1.
    bool IsUnitFlip() const;
};

// The box in data coordinates (w and h never negative), a second position
// that moves with the shape and two further values.
struct ShapeBoxBlock {
    double x = 0.0;
    double y = 0.0;
    double w = 0.0;
    double h = 0.0;
    double secondX = 0.0;
    double secondY = 0.0;
    double further[2] = {0.0, 0.0};
};

struct ShapeHeader {
    ShapeHeader() = default;
    ShapeHeader(const ShapeHeader&) = delete;
    ShapeHeader& operator=(const ShapeHeader&) = delete;

    EditTransformState offset;
    uint8_t flag = 0;
    int32_t kind = kKindNone;
    int32_t role = kRoleUnset;
    int32_t scaleExponent = 0;  // slices divide their data scale by 2^b
    int32_t subpix = 1;         // sub-pixel factor of the first anchor
    float scale = 1.0f;
    ShapeBoxBlock box;
    double pivotX = 0.0;
    double pivotY = 0.0;
    uint8_t pivotPinned = 0;  // set: nothing re-centres the pivot
    AnchorBuffer anchors;

    // A kind, at least one point, two components per point: a state that can
    // be compared, recorded and restored.
    bool IsValidState() const;
    // Every field back to its default; the anchors emptied (block kept).
    void Reset();
};

bool SameOffsetWords(const EditTransformState& a, const EditTransformState& b);
bool SameBoxBlock(const ShapeBoxBlock& a, const ShapeBoxBlock& b);

// The snapshot of an edit: points and selection first; only when they could be
// copied, the selection counts, flag byte, kind, role, box block, pivot, pinned
// flag and offset words (SUBPIX, scale and exponent are not copied). A source
// without points leaves the target with none. False when the points could not
// be copied.
bool CopyEditState(ShapeHeader* target, const ShapeHeader& source);

// Whether a stored state equals a live one in kind, role, flag byte, pivot,
// offset words, box block and points.
bool SameEditState(const ShapeHeader& stored, const ShapeHeader& live);

// Widest box a stored state may restore.
constexpr double kRestoreBoxLimit = 4194304.0;

// Writes a stored state back into a live header: -1 nothing differed, 0 refused
// (a box beyond kRestoreBoxLimit) or out of memory, 1 only the pivot or flag
// byte differed, 2 the offset words differed, 3 points, box block, kind or role.
int ShapeRestore(const ShapeHeader& stored, ShapeHeader* live);

}  // namespace orva
