#pragma once
// The edit frame around a view's current shape, made of toolkit widgets in the view's
// window: the select rectangle (528) with the eight resize handles (529 top, 530 bottom,
// 531 left, 532 right, 533 to 536 the corners from top-left to bottom-right), the offset
// handle (537), the pivot centre (538) and the aperture field. The container shows,
// hides and places it; in edit mode 6 the handles resize the shape's box, in edit mode 7
// they turn it about the pivot, which is then shown and can be dragged. What the drags do
// to the shape is handle_drags.h's. UI thread.
#include <cstdint>

#include "platform/msg_types.h"
#include "shapes/geometry/anchor_pick.h"
#include "shapes/shape_view.h"

namespace orva {

class ShapeContainer;
struct gElement;
struct gWindow;

// The frame's widgets, in the order of its slots.
enum FrameSlot : int32_t {
    kSlotSelectRect = 0,
    kSlotTop,
    kSlotBottom,
    kSlotLeft,
    kSlotRight,
    kSlotTopLeft,
    kSlotTopRight,
    kSlotBottomLeft,
    kSlotBottomRight,
    kSlotOffset,
    kSlotPivot,
    kSlotField,
    kFrameSlotCount
};

// Sizes of the frame's widgets.
constexpr float kHandleSide = 7.0f;
constexpr float kSelectRectSide = 25.0f;
constexpr float kPivotSide = 20.0f;
constexpr float kFieldWidth = 48.0f;
constexpr float kFieldHeight = 13.0f;
// The style word of the frame's widgets.
constexpr uint32_t kFrameWidgetStyle = 0x30024000u;

class ToolkitEditFrame final : public ShapeEditFrame, public RotateDragFeedback {
public:
    ToolkitEditFrame(ShapeContainer* container, gWindow* window);
    ~ToolkitEditFrame() override;
    ToolkitEditFrame(const ToolkitEditFrame&) = delete;
    ToolkitEditFrame& operator=(const ToolkitEditFrame&) = delete;

    // Builds the widgets once: false when the select rectangle cannot be made ("Can`t
    // create select rect..."); a handle or the pivot that cannot be made is left out.
    bool Create();

    // ShapeEditFrame: edit mode 6 shows the select rectangle and the eight handles, and the
    // offset handle for roles 5 and above (not for Points); edit mode 7 the select
    // rectangle, the handles and the pivot centre; lower modes nothing.
    void Show(ShapeContainer& container) override;
    void Hide(ShapeContainer& container) override;
    bool Shown() const override { return up_; }
    void Place(ShapeContainer& container) override;
    void SetEnabled(bool on) override;
    void DropHighlight() override;
    void CloseField() override;

    // The frame on the current shape's box (window pixels): a side below 18 pixels gets 25
    // pixels centred on it, a longer one 21 (across) or 20 (down) more, from 10 pixels
    // before it; then the handles.
    void PlaceFrame();
    // The handles on the select rectangle (x, y, w, h), their procedures and cursors, and
    // the offset handle and the aperture field.
    void PlaceHandles(float x, float y, float w, float h);
    // Resize procedures and cursors (the diagonals swap when the frame's width and height
    // have different signs), or in rotation the rotation drag with a cursor per direction.
    void SetHandleProcs(bool rotate, float w, float h);
    // The rotation cursor of each handle by its direction from the pivot.
    void HandleAngles();
    // The offset handle at the box's centre, the aperture field beside it.
    void PlaceInfoLabel();
    // Shows the frame's widgets for the container's edit mode (the field stays as it is).
    void ShowForMode();
    // While a handle is held only it stays.
    void ShowOnly(gElement* handle);
    void HideAll();
    // The frame's widgets lead the window's chain (the toolkit picks the first widget
    // hit), the overlay that draws them ends it.
    void KeepBeforeShapes();
    gElement* Overlay() const;

    // The aperture field: shown beside the shape with the text of the aperture width.
    void OpenField();
    bool FieldShown() const;

    // The widget of a slot while it lives (nullptr otherwise).
    gElement* Slot(int32_t slot) const;
    // The data point under a window point.
    void WindowToData(double px, double py, double* x, double* y) const;
    // A data point in window pixels.
    void DataToWindow(double x, double y, double* px, double* py) const;

    ShapeContainer* container;
    gWindow* window;
    double rotateStart[2] = {0.0, 0.0};  // where a rotation drag began (data)
    gElement* held = nullptr;            // the handle a drag holds
    int32_t sector = -1;                 // the cursor sector of the rotation drag

private:
    void Rotated(const RotateDrag& drag, double dirX, double dirY) override;
    gElement* slots_[kFrameSlotCount] = {};
    gElement* overlay_ = nullptr;
    bool up_ = false;
    bool created_ = false;
};

// The frame a widget belongs to, when it is one of a live frame's widgets.
ToolkitEditFrame* EditFrameOf(const gElement* widget);

// The frame of a container whose shapes are toolkit widgets (nullptr otherwise); the
// container owns it. InstallShapeEditFrame makes every such container get one.
ShapeEditFrame* MakeToolkitEditFrame(ShapeContainer& container);
void InstallShapeEditFrame();

// Procedures of the handles (the toolkit calls them with the widget).
using HandleMouseProc = void (*)(gElement* handle, const platform::Point* pointer);
// The resize drag of handles 529 to 536 and the offset drag of 537; nullptr for any other id.
HandleMouseProc GetHandleMouseProc(int32_t id);
bool ShapeHandleDown(gElement* handle, uintptr_t data);
void ShapeHandleDrag(gElement* handle, const platform::Point* pointer);
void DragTopLeftHandle(gElement* handle, const platform::Point* pointer);
void DragTopRightHandle(gElement* handle, const platform::Point* pointer);
void DragBottomLeftHandle(gElement* handle, const platform::Point* pointer);
void DragBottomRightHandle(gElement* handle, const platform::Point* pointer);
void RotateHandleDrag(gElement* handle, const platform::Point* pointer);
bool OffsetHandleButton(gElement* handle, uintptr_t data);
void OffsetHandleDrag(gElement* handle, const platform::Point* pointer);
void OffsetFieldChanged(gElement* field, uintptr_t data);
bool ShapeHandleUp(gElement* pivot, uintptr_t data);
void PivotCentreDrag(gElement* pivot, const platform::Point* pointer);

// Painters.
void PaintSelectRect(gElement* widget);
void PaintEditHandle(gElement* widget);
void PaintOffsetHandle(gElement* widget);
void PaintOffsetField(gElement* widget);
void PaintPivotCentre(gElement* widget);
// Draws the frame's shown widgets over the window's others.
void PaintFrameOverlay(gElement* overlay);

}  // namespace orva
