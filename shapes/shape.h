#pragma once
// A shape: one figure drawn on a data view to measure it. It has a kind (its
// geometry), a role (what it measures for), anchor points with a box and a
// pivot, and geometry derived from them. A shape belongs to the container of
// one view, whose lock guards every change that other threads may read, and is
// shown there by its glyph. Shapes are reference-counted: the container's list,
// undo steps, the clipboard and the items that measure with a shape each hold
// one reference; the last release deletes it.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "common/clib_string.h"
#include "shapes/geometry/path_sampler.h"
#include "shapes/geometry/region.h"
#include "shapes/shape_header.h"
#include "shapes/shape_items.h"
#include "shapes/shape_view.h"

namespace orva {

class Shape;
class ShapeContainer;
class ShapeUndoStep;
class ItemGroup;
struct ItemResultEntry;
struct ShapeRequest;

// Update events: 0 full update, 2 no area rasterising, 3 nothing for closed
// figures, 4 the box kept, 5 after moving selected points, 8 the pivot not
// re-centred, 9 and above the offset only.
constexpr int32_t kUpdateFull = 0;
constexpr int32_t kUpdateNoArea = 2;
constexpr int32_t kUpdateNothing = 3;
constexpr int32_t kUpdateKeepBox = 4;
constexpr int32_t kUpdateMovedSelected = 5;
constexpr int32_t kUpdateKeepPivot = 8;
constexpr int32_t kUpdateOffsetOnly = 9;

using ShapeUpdateProc = void (*)(Shape* shape, int32_t event);
using ShapeRasterProc = bool (*)(Shape* shape, int32_t event);

// The procedures chosen by kind, role and offset direction.
struct ShapeKindProcs {
    ShapeUpdateProc updateGeometry = nullptr;
    ShapeRasterProc outlineRasteriser = nullptr;
    ShapeRasterProc areaRasteriser = nullptr;
    ShapeRasterProc secondAreaRasteriser = nullptr;
    ShapeUpdateProc areaProcedure = nullptr;  // roles 5 and above
};

// The plain update: unless the event is 3 or 4, the box becomes the bounding
// box of the points; then the pixel box is recomputed (events other than 3).
void ShapeDefaultUpdate(Shape* shape, int32_t event);

// Pixel placement of the box: x, y rounded, width and height at least 1.
struct ShapePixelBox {
    int64_t x = 0;
    int64_t y = 0;
    int32_t w = 1;
    int32_t h = 1;
};
// x0 = round(x), y0 = round(y); width round(x + w) - x0, and 1 when w is 0 or
// the difference is below 1; height likewise.
ShapePixelBox IntegerBox(const ShapeBoxBlock& box);

// Written by the region statistics and drawn on the view; centreX -1: no mark.
struct StatisticMark {
    double centreX = -1.0;
    double centreY = 0.0;
    float halfFwhm = 0.0f;
    float thresholdRadius = 0.0f;
};

// Where a measuring stage lays a shape's masks on a frame. Both regions of a
// shape share one origin, the pixel anchor: the first anchor times SUBPIX to
// the nearest integer (0 when not finite); the placement box is the absolute
// box of the mask and the offset region together, the area a stage pulls.
struct ShapePlacement {
    int32_t pixelAnchorX = 0;
    int32_t pixelAnchorY = 0;
    float firstX = 0.0f;  // the first anchor
    float firstY = 0.0f;
    int64_t x = 0;
    int64_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
    const ShapeRegion* offset = nullptr;  // nullptr: no offset region to measure
    const ShapeRegion* mask = nullptr;
};

// Geometry the update procedures derive from the anchors. Everything here is
// written under the container's lock and read by the measuring stages under it.
struct ShapeDerived {
    AnchorBuffer outline;       // offset points relative to P0: band quads or ribs of a slice
    AnchorBuffer savedOutline;  // its saved copy
    ShapeRegion mask;           // the pixels a closed figure covers
    AnchorBuffer maskContour;   // the mask's staircase contour (circles and ellipses)
    // The second region: the background ring of a closed figure, the area
    // under a slice's aperture band. Shape code 8 (flag 0x800) when it holds
    // rectangles, 1 (0x100) when emptied.
    ShapeRegion offsetRegion;
    AnchorBuffer offsetContour;  // contour of the ring before the mask is taken out
    AnchorBuffer offsetPolygon;  // the box the ring is built from (closed figures)
    OpenOutline path;            // open curves: outline points and per-pixel path, relative to P0
    AnchorBuffer samples;        // open curves: samples every `scale` along the path, relative to P0
    AnchorBuffer normals;        // one offset normal per anchor ("NRML")
    ShapePlacement placement;
    double firstAnchor[2] = {0.0, 0.0};  // the path start / first anchor at the last area update
    uint32_t areaModes[2] = {0, 0};      // offset direction and aperture mode at the last area update
    double length = 0.0;                 // path length of an open curve
    uint32_t flags = 0;
};

enum ShapeState : int32_t {
    kShapeNormal = 0,
    kShapeProtected = 1,  // never removed
    kShapeHidden = 2,     // skipped by walks and removals; creation and removal not recorded
};

class Shape {
public:
    Shape();
    Shape(const Shape&) = delete;
    Shape& operator=(const Shape&) = delete;

    // Only the last Release deletes a shape.
    virtual ~Shape();

    // True for kinds 0, 1, 2, 3 and 11.
    virtual bool IsOpenCurve() const;
    // The undo step for a step code, captured later by the undo list; nullptr
    // when there is nothing to record (see shape_undo.h).
    virtual ShapeUndoStep* MakeUndoStep(uint32_t code);
    virtual const char* KindName() const;
    virtual const char16_t* KindNameW() const;
    // Clears the derived geometry, selects the default anchors, chooses the
    // procedures for kind and role and re-applies the offset direction. The
    // handle count receives ShapeHandleCount; `changed` tells that the
    // direction was re-applied. False for kinds 8 to 13 (plain update only).
    virtual bool SetupKindProcs(int32_t* handleCount, bool* changed);

    int32_t AddRef();
    // Drops one reference; the last one deletes the shape. Answers the count left.
    int32_t Release();
    // Takes the shape off its view: out of its container's list (the list's
    // reference goes with it) and its glyph destroyed.
    void Detach();

    // Names the shape after its kind; with `count`, the kind's counter steps
    // and from the second shape of a kind on the name is "<kind> <counter>".
    void MakeName(bool count);
    const char* FamilyName() const;
    const char* RoleName() const;
    const char* RoleGroupName() const;

    // False when the code is the current one. Closed kinds take only "CNRM"
    // and "AXIS" (anything else becomes "CNRM").
    bool SetOffsetDirection(uint32_t code);
    // Stores a direction and the procedures that go with it; unless forced,
    // false when neither changes.
    bool SelectOffsetProcs(uint32_t code, bool force);
    // Empties the derived geometry (under the container's lock).
    void ClearDerived();

    void SelectAllAnchors(bool on);
    // Every point selected, or for a Point shape its last point alone.
    void SelectDefaultAnchors();

    // The box becomes the bounding box of the anchors (nothing without anchors).
    void ResetBounds();
    void UpdateGeometry(int32_t event);
    // The statistic mark dropped, the geometry updated with the reason and,
    // unless the reason is 8 or the pivot is pinned, the pivot put at the box
    // centre; all under the container's lock.
    void ResetPivot(int32_t reason);
    // The pivot at the box centre (x when w is 0, y when h is 0) unless pinned.
    void RecentrePivot();
    // Takes the snapshot an edit starts from.
    void BeginEdit();
    // Binds the shape to a view: the view's data source when the shape has
    // none, the view pointed at the shape, the geometry refreshed and, for
    // roles 5 and above, the linked items that take the shape restarted.
    void BindToView(ShapeView* target);
    // Restarts the linked items unless the shape is quiet.
    void RestartLinked();
    // Shows the shape again as its container's current one after an undo or
    // redo: made current when it is not (else its items restarted), the edit
    // frame shown, the view and the panel refreshed.
    void Reselect(ShapeContainer* owner);
    // Removes the selected anchors: 1 done, 2 refused (nothing removable; for
    // rectangles, circles and ellipses the caller removes the whole shape).
    int32_t RemoveSelectedAnchors(bool recordUndo);
    // Empties the chain that starts at the shape.
    void ClearChain();

    // ---- Edits (editing/shape_edits.cpp). Each takes the snapshot it is undone to,
    // and records its step when the shape lies in a container.
    // Moves the whole shape (or its selected anchors) by data units; nothing for (0, 0).
    void Move(float dx, float dy);
    // The move itself, without the snapshot and the step: without a selection the box,
    // pivot and points move and the masks are re-placed (not rebuilt), else the selected
    // anchors move and the geometry is rebuilt.
    void ApplyMove(float dx, float dy);
    void MoveSelectedAnchors(float dx, float dy);
    // Applies an edited box (folded when negative); the pivot is pinned from then on.
    void SetBoundBox(double x, double y, double w, double h, bool selectedOnly);
    void ApplyBoundBox(double x, double y, double w, double h, bool selectedOnly);
    // Maps the anchors from the old box (ShapeOldBox) onto the new one; nothing when it is
    // the old box, beyond +-16000 or the snapshot does not fit the shape.
    bool MapToBox(double x, double y, double w, double h, bool selectedOnly);
    // Inserts an anchor on the segment nearest the pointer (window pixels); false for
    // Rects, circles and Ellipses ("Can`t add anchor point...") or when it cannot grow.
    bool AddAnchorPoint(double pointerX, double pointerY);
    // Cuts an open shape at the pointer: it keeps its points up to the cut, a second
    // shape of its kind, role and offset takes the rest.
    bool CutAtPointer(double pointerX, double pointerY);
    // The segment nearest the pointer (window pixels) and the pointer in data
    // coordinates; -1 without a segment.
    int32_t NearestSegment(double pointerX, double pointerY, double* dataX, double* dataY) const;
    // Every anchor selected; in a frame mode of the current shape the frame follows.
    void SelectAnchorsAndPlace();

    // ---- Offset and aperture (offset_geometry.cpp)
    // Sets the aperture width of a record: mode -1 takes the record's own
    // mode. False when nothing changed or the width is locked.
    static bool SetOffsetAperture(EditTransformState* record, uint32_t width, int32_t mode);
    // Scales the vector to the offset length L (the header's scale) and stores
    // it; with `withAperture` the aperture width becomes ceil(L x |v|) too.
    // Answers whether anything changed.
    bool SetOffsetVector(float x, float y, bool withAperture);

    // ---- Handle drags and apertures (editing/handle_drags.cpp)
    // The aspect ratios of the box a handle drag starts from (the selection box when
    // shapes are chained); the shapes of the selection that are not Points and whose
    // selection is empty or holds exactly two points lose their selection first.
    void AspectRatio();
    // The largest first aperture value the shape's view takes in that mode (-1: the
    // shape's own); without a view's data, a fixed bound.
    uint32_t ApertureLimit(int32_t mode) const;
    // Limits the first aperture value to what the view's data allow (mode -1: the shape's
    // own aperture mode), sets it, rebuilds and repaints the shape and refreshes the
    // "Edit Shape..." panel. False when the aperture is locked or did not change.
    bool SetApertureChecked(uint32_t value, int32_t mode);
    // The same as one edit: the aperture field closed, the snapshot taken, one "OFST" step.
    bool CommitAndSetAperture(uint32_t value, int32_t mode);

    // ---- Kind, role and drawing requests (shape_requests.cpp)
    // Changes kind and/or role in place (a negative argument keeps the value)
    // with its undo step; false when refused or nothing changes.
    bool SetKindAndRole(int32_t kind, int32_t role);
    // Sets kind, role and points from a request (origin: x, y or nullptr).
    bool FillFromRequest(const ShapeRequest& request, const EditTransformState* offset, const double* origin);
    // Fills the shape from a request and shows it; `item` is linked for roles 5 and above.
    bool ApplyRequest(const ShapeRequest& request, const EditTransformState* offset, const double* origin,
                      bool select, ShapeItem* item);

    // ---- Item links (shape_links.cpp)
    // Puts a shape whose glyph is off its view back into its view's container
    // and makes it current; true when there is such a view.
    bool EnsureInContainer();
    // Removes the item (nullptr: all) and takes the shape off its view.
    bool UnlinkItem(ShapeItem* item);
    // Tells the items that the shape leaves its view and detaches its glyph
    // when others still hold the shape.
    bool LeaveView();
    // Suspends the items and takes the glyph out of the container (kept).
    bool DetachGlyph();
    // Asks every item to let the shape go and empties the list.
    bool ReleaseItems();
    // Suspends the items: they are asked to let the shape go but stay listed.
    void SuspendItems();
    // The shape left the screen (deleted, cut, taken away by an undo): every linked
    // item lets it go and the links go, so it is measured, listed and saved no more.
    void WithdrawFromItems();
    // The shape is back on the screen (in its container): for roles 5 and above the
    // item of its view's data takes it again (the Reduction appends it to its items).
    void RejoinItems();

    // The lock of the container the shape belongs to, or nullptr.
    std::recursive_mutex* ContainerLock() const;

    ShapeHeader header;
    uint8_t quiet = 0;  // suspended: edits do not restart the linked items
    int32_t state = kShapeNormal;
    std::atomic<uint32_t> refCount{0};
    ObjectList items;                      // linked processing items
    Shape* chainNext = nullptr;            // next shape of the selection chain
    ShapeView* view = nullptr;             // the data view the shape measures
    const void* source = nullptr;          // the data it measures, by identity
    ShapeContainer* container = nullptr;   // set while the shape is listed in one
    ShapeGlyph* glyph = nullptr;           // owned
    ShapeKindProcs procs;
    ShapePixelBox pixelBox;
    uint32_t axisVariantGate = 0;          // the "AXIS" variants apply below 3
    ShapeDerived derived;
    double measure = 0.0;                  // area of a closed figure
    StatisticMark statMark;
    ShapeHeader snapshot;                  // kind -1: none
    ClibString name = nullptr;
    // An object the shape's owner hangs on it (one reference held, released
    // with the shape); a slice hands it along with its profile to whoever pulls it.
    AttachedObject* attached = nullptr;
    uint32_t serial = 0;
    char* maskFileName = nullptr;          // owned, remembered by the files
    char* dataFileName = nullptr;          // owned
    ItemResultEntry* itemEntry = nullptr;  // the result-list entry that holds it
    ItemGroup* itemGroup = nullptr;        // the group item it is a member of
};

// A new named shape of the kind with reference count 0; nullptr when memory is short.
Shape* CreateShape(int32_t kind);

// Holds the lock of a shape's container (nothing outside a container).
class ShapeLock {
public:
    explicit ShapeLock(const Shape* shape);
    ShapeLock(const ShapeLock&) = delete;
    ShapeLock& operator=(const ShapeLock&) = delete;
    ~ShapeLock();

private:
    std::recursive_mutex* lock_;
};

}  // namespace orva
