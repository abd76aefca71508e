#pragma once
// The shapes of one data view: their list in drawing order, the current shape,
// the selection and edit modes, the anchor tool of the Edit menu, the edit
// frame and the undo list. Its lock is the one every reader of shape points
// and regions takes (the measuring stages run under it); the list and the
// current shape change only on the user-interface thread.
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/global_buffer.h"
#include "shapes/shape.h"
#include "shapes/shape_undo.h"

namespace orva {

// Edit modes: 0 move, 1 anchor edit, 6 resize frame, 7 rotate frame.
constexpr int32_t kEditMove = 0;
constexpr int32_t kEditAnchors = 1;
constexpr int32_t kEditResizeFrame = 6;
constexpr int32_t kEditRotateFrame = 7;

// Anchor tools of the Edit menu.
constexpr int32_t kToolNone = 0;    // "EXIT EDIT MODE"
constexpr int32_t kToolScissor = 1;
constexpr int32_t kToolAddAnchor = 2;
constexpr int32_t kToolDeleteAnchor = 3;

// Undo modes of the removals: below 0 nothing, 0 without undo, 1 recorded,
// above 1 kept for a step without recording one.
constexpr int kUndoModeNone = 0;
constexpr int kUndoModeRecord = 1;
constexpr int kUndoModeKeep = 2;

// Status texts of the removals (window group 0, status -2).
inline constexpr char kRemoveShapeText[] = "Remove shape...";
inline constexpr char kRemoveAllShapesText[] = "Remove all shape(s)...";

class ShapeContainer {
public:
    // The view and the edit frame may be missing (a view without a window).
    ShapeContainer(ShapeView* view, ShapeEditFrame* frame, std::unique_ptr<ShapeList> list);
    ShapeContainer(const ShapeContainer&) = delete;
    ShapeContainer& operator=(const ShapeContainer&) = delete;
    // Removes every shape now, then empties the undo list.
    ~ShapeContainer();

    std::recursive_mutex& Lock() { return lock_; }
    void Init(ShapeView* view, ShapeEditFrame* frame);
    // The view the container belongs to (attached once its window exists).
    void SetView(ShapeView* target);

    // ---- Membership
    // False when the shape is the current one, the reference point or listed.
    bool AddShape(Shape* shape);
    // Gives the shape a glyph (when it has none) and links it at the end; a
    // Point of role RefPoint becomes the reference point when there is none.
    bool LinkShape(Shape* shape);
    // Takes the shape out of the list without destroying its glyph (the list's
    // reference goes). The next current shape is `nextCurrent` when it is
    // listed here, else the neighbour when the shape was current.
    bool UnlinkShape(Shape* shape, Shape* nextCurrent, bool redraw);
    bool IsInList(const Shape* shape) const;
    bool Owns(const Shape* shape) const { return shape != nullptr && shape->container == this; }
    Shape* FirstVisibleShape() const;
    Shape* FirstShape() const;
    Shape* LastShape() const;
    Shape* NextShape(const Shape* shape) const;
    uint32_t ShapeCount() const;
    // Clears every field that names the shape.
    void ForgetShape(const Shape* shape);
    // Detach of a listed shape: out of the list, glyph destroyed.
    void DetachShape(Shape* shape);
    // A shape leaves the screen: the items that measure it let it go.
    void Withdraw(Shape* shape);

    // ---- Current shape and modes
    void SetCurrentShape(Shape* shape, bool redraw, bool reorder);
    void SelectAdjacentShape(bool forward);
    void EnterSelectMode();
    uint8_t LeaveSelectMode();
    void Activate(bool on);
    // Chooses the anchor tool; a tool brings the current shape into anchor editing.
    void SetAnchorTool(int32_t tool);
    // Edit mode 1 from any other, the current shape selected with no anchor picked.
    void EnterAnchorEditing();
    bool CycleFillMode();
    void StepEditMode(Shape* shape, bool forward);
    // StepEditMode forward unless Shift is held.
    void ToggleEditMode(Shape* shape);
    bool CycleOffsetDirection();
    bool LastPointOfCurrent(double* x, double* y) const;
    bool ResetPivots();
    // Runs the area procedure of every listed shape that measures the view.
    void NotifyShapesOf(const ShapeView* target, int32_t reason);

    // ---- Edit frame and refreshes
    void ShowEditFrame();
    void HideEditFrame();
    void PlaceEditFrame();
    bool FrameShown() const;
    bool InRotateMode() const { return editMode >= kEditResizeFrame; }
    void Refresh(bool redraw);
    void Redraw();
    void RefreshPanel();
    void SetShapesFlag(uint32_t bits, bool on);
    void SetShapesEnabled(bool on);
    void SetShapesVisible(bool on);

    // ---- Removal
    bool RemoveShape(uint32_t ownerCode, const void* source, Shape* shape, bool whole, bool message,
                     int undoMode, bool* removed);
    void RemoveAllShapes(int undoMode, bool* recorded, bool message);
    void RemoveShapesOf(uint32_t ownerCode, const void* source, int undoMode, bool message);
    void RemoveAllNow();

    // ---- Drawing requests (editing/shape_requests.cpp)
    // Continues the shape being drawn or makes a new one from a request
    // (offset: the offset words to take, or nullptr; origin: x, y or nullptr).
    // nullptr when nothing is drawn.
    Shape* ShapeFromRequest(const ShapeRequest& request, const EditTransformState* offset, const double* origin);
    // Gives the shape its glyph and puts it into the container; roles 5 and
    // above are linked to `item`, else to the view's default item.
    bool AddShapeGlyph(Shape* shape, ShapeItem* item, bool hidden, bool remember);
    // Switches the current shape to the next kind its role allows.
    bool SetCurrentShapeMode();

    // ---- Clipboard, clip and inscribe (editing/shape_clipboard.cpp)
    // Copies the current shape (not a Point) to the program's shape clipboard.
    bool CopyShape();
    // Pastes the clipboard's shape: mode 0 where it was, 1 its first anchor under the
    // pointer, 2 its box centred on the pointer. The new shape, or nullptr.
    Shape* PasteShape(int32_t mode);
    // Clips a shape (the current one) to a rectangle (x, y, w, h; the data area) by its
    // kind; a shape left without anchors, or a rectangle without area, removes it with an
    // undo step. `enable` lets open curves be clipped.
    bool ClipShape(Shape* shape, const double* rect, bool enable);
    // Fits the current shape into a rectangle (the data area): mode 1 clips, 2 keeps the
    // proportions, 3 as 2 but only a shape that lies outside, 4 fills the target; 6 to 8
    // put the left edge at the rectangle's x with the top, bottom or pivot at its y, 9 to
    // 11 the top edge at its y with the left edge, right edge or pivot at its x; 12 and 13
    // fit as 4.
    bool InscribeAnchors(const double* rect, int32_t mode);
    // Moves the shapes of the current shape's data source (all but `skip`) together.
    void MoveAllShapes(double dx, double dy, Shape* skip);
    // Steps the drag mode: handle drags keep the aspect ratio or not.
    bool CycleDragMode();

    // ---- Undo
    // "CRTE" and "DLT0" of hidden shapes are not recorded.
    bool PushUndo(Shape* shape, uint32_t code);

    // Takes the stretch of glyphs from `from` to the last out of the list:
    // destroyed, or kept with their shapes for an undo step.
    void TakeOutStretch(ShapeGlyph* from, bool keep);
    // Removes the stretch from `from` on as a removal of all shapes does: the
    // view's remembered shape, the frame and the selection cleared first.
    void RemoveStretch(ShapeGlyph* from, bool keep);

    uint8_t proportional = 0;       // handle drags keep the aspect ratio (Shift reverses)
    uint8_t dragging = 0;           // a shape is dragged
    uint8_t handleDragging = 0;     // an edit handle is pressed
    uint8_t selectionFlag = 0;      // selection mode: the edit frame is shown
    uint8_t enabled = 0;            // walks that show or hide shapes act only when set
    uint8_t inactive = 0;           // the view shows other data: the glyphs are concealed
    uint8_t noStatisticMarks = 0;
    uint8_t labelsForCurrentOnly = 0;
    int32_t labelLevel = 0;
    int32_t fillMode = 3;           // 0 filled inverted, 1 filled, 2 outline inverted, 3 outline
    int32_t anchorTool = kToolNone;
    Shape* current = nullptr;
    int32_t chainCount = 0;
    ShapeBoxBlock selectionBox;
    ShapeGlyph* currentGlyph = nullptr;
    ShapeEditFrame* editFrame = nullptr;
    std::unique_ptr<ShapeEditFrame> ownedFrame;  // the frame the container made itself
    ShapeView* view = nullptr;
    Shape* drawing = nullptr;       // the shape being drawn by a drag
    Shape* remembered = nullptr;    // cleared whenever selection mode ends
    Shape* referencePoint = nullptr;
    int32_t editMode = kEditMove;
    uint8_t changed = 0;
    ShapeUndoList undo;
    TypedBuffer buffers[3];
    std::unique_ptr<ShapeList> list;

private:
    // Links a glyph that exists (or is made) and takes the list's reference.
    bool LinkGlyph(Shape* shape);
    // Out of the list: container cleared, glyph destroyed unless kept, the
    // list's reference released. The shape may be gone afterwards.
    void DropFromList(Shape* shape, bool keepGlyph);
    ShapeGlyph* NeighbourAfterRemoval(const ShapeGlyph* glyph) const;
    void ClearCurrentSelection();
    void PrintStatus(const char* text);

    std::recursive_mutex lock_;
    // Every listed glyph was enabled by the last walk over them: a shape added then
    // enables its own glyph alone (a file of many shapes adds them one by one).
    bool glyphsEnabled_ = false;
    bool closing_ = false;  // the destructor runs: the shapes go with the view
};

}  // namespace orva
