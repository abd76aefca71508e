#pragma once
// A shape's anchor points: x, y pairs of 32-bit floats in the first area of a
// typed buffer, and one selection byte per point (1 selected) in the second
// area, behind room for every point the block can take. The point count is the
// buffer's rows in use.
#include <cstdint>

#include "common/global_buffer.h"

namespace orva {

// The element type code of anchor components (32-bit floats).
constexpr int32_t kAnchorElementType = 7;
// Points of room added whenever a block has to be replaced.
constexpr uint32_t kAnchorSparePoints = 64;

class AnchorBuffer : public TypedBuffer {
public:
    // Empty, with the anchor element type and two components per point.
    AnchorBuffer();

    uint32_t Count() const { return rowsUsed; }
    float* Points() { return static_cast<float*>(data); }
    const float* Points() const { return static_cast<const float*>(data); }
    uint8_t* Selection() { return static_cast<uint8_t*>(area2); }
    const uint8_t* Selection() const { return static_cast<const uint8_t*>(area2); }
    float X(uint32_t i) const { return Points()[i * 2]; }
    float Y(uint32_t i) const { return Points()[i * 2 + 1]; }

    // Back to the anchor element type and two components, keeping the block.
    void ResetType();

    // Room for `points` points and their selection bytes, keeping the points in
    // use: the block stays while it is large enough and its surplus is under
    // kGlobalBufferReuseSlack, else a block for points + kAnchorSparePoints
    // replaces it. False (buffer unchanged) above kGlobalBufferMaxBytes or when
    // memory is short.
    bool EnsureRoom(uint32_t points);

    // The points of `xy` (count pairs), none selected.
    bool SetPoints(const float* xy, uint32_t count);

    // Takes the source's element type and sizes, points, selection bytes and
    // selection counts. False (and the count 0) when the room cannot be had.
    bool CopyFrom(const AnchorBuffer& source);

    // Same count, element type, components and point bytes.
    bool SamePoints(const AnchorBuffer& other) const;

    // Every selection byte set (selected count -1) or cleared (0).
    void SelectAll(bool on);
    // The last point alone selected (selected count 1).
    void SelectLast();

    int32_t lastSelected = -1;
    // -1 all selected, 0 none, else the number of selected points.
    int32_t selectedCount = 0;
};

}  // namespace orva
