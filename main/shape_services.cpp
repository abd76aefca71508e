#include "main/shape_services.h"

#include "main/chart_services.h"

#include <atomic>
#include <memory>
#include <new>

#include "app/image_window.h"
#include "app/message_dialog.h"
#include "framework/component.h"
#include "framework/device_view.h"
#include "main/chart_services.h"
#include "main/reduction_services.h"
#include "platform/msg_queue.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/geometry/bspline.h"
#include "shapes/geometry/path_sampler.h"
#include "shapes/shape_container.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_drawing.h"
#include "shapes/ui/shape_panel.h"
#include "toolkit/input.h"
#include "views/display_cell.h"

namespace orva {

namespace {

// The data view of a display cell's shapes: the cell's image window, found anew on every
// call (the cell makes and drops its windows as its data come and go; the cell itself may
// go before its port's container).
class CellShapeView final : public ShapeView {
public:
    explicit CellShapeView(DisplayCellBase* cell) : cell_(cell) {}

    DisplayComponent* Cell() const { return AsDisplayCell(cell_); }
    Image2DWindow* Window() const {
        DisplayComponent* c = Cell();
        return c != nullptr ? dynamic_cast<Image2DWindow*>(c->Graphics()) : nullptr;
    }
    Image2DDevice* Device() const {
        Image2DWindow* w = Window();
        return w != nullptr ? w->Device() : nullptr;
    }

    // The shapes changed: the statistics list follows what is measured now (a deleted
    // region is measured no more), and the picture is painted.
    void Redraw() override {
        DisplayComponent* c = Cell();
        if (c == nullptr || c->window == nullptr || !ComponentUiUp()) return;
        RefreshImageStatistics(c);
        PaintWindowNow(c->window, true);
    }
    // The statistics list follows now; the picture is painted by the refresh of the dirty
    // windows that ends the change (the measurement that follows repaints it anyway).
    void MarkForRedraw() override {
        DisplayComponent* c = Cell();
        if (c == nullptr || c->window == nullptr || !ComponentUiUp()) return;
        RefreshImageStatistics(c);
        MarkWindowForRedraw(c->window);
    }
    // The window is painted by the next refresh of the dirty windows rather than at
    // once: a measurement runs inside another window's pull, whose paint it must not
    // interrupt. From another thread the window is asked for a paint through its queue.
    void RedrawLater() {
        if (!OnUiThread()) {
            if (platform::Hwnd hwnd = windowHandle_.load()) platform::PostMessage(hwnd, platform::kWmPaint, 0, 0);
            return;
        }
        DisplayComponent* c = Cell();
        Remember(c);
        if (c != nullptr && c->window != nullptr) MarkWindowForRedraw(c->window);
    }
    void StopTool() override {
        Image2DWindow* w = Window();
        GraphicsHost* h = w != nullptr ? w->Host() : nullptr;
        if (h != nullptr && h->toolActive != 0) w->EndPlacement(0);
    }
    // The "Edit Shape..." panel shows the view's current shape.
    void RefreshPanel(Shape* shape) override {
        ShapePanelSetTarget(shape);
        ShapePanelSync(shape);
    }
    void ForgetPanel() override { ShapePanelForgetView(this); }
    bool ShiftHeld() const override { return (gKeyModifiersNow() & kKeyShift) != 0; }
    bool WindowReady() const override {
        DisplayComponent* c = Cell();
        return c != nullptr && c->window != nullptr && Device() != nullptr;
    }
    // The Reduction of the project item whose data the view shows.
    ShapeItem* DefaultItem() override {
        DisplayComponent* c = Cell();
        Remember(c);
        DeviceViewBase* d = c != nullptr ? c->Device() : nullptr;
        return d != nullptr ? ReductionItemOfStage(d->pin.upstream) : nullptr;
    }
    // The data file of the stage the cell's device is connected to.
    bool SourcePath(char* buffer) const override {
        DisplayComponent* c = Cell();
        DeviceViewBase* d = c != nullptr ? c->Device() : nullptr;
        return d != nullptr && GetSourceFileName(d->pin.upstream, buffer, nullptr);
    }
    bool DataFrameSize(int64_t* width, int64_t* height) const override {
        const Image2DDevice* d = Device();
        if (d == nullptr || d->view.frameWidth <= 0 || d->view.frameHeight <= 0) return false;
        *width = d->view.frameWidth;
        *height = d->view.frameHeight;
        return true;
    }
    bool PointerPosition(double* x, double* y) const override {
        const Image2DWindow* w = Window();
        if (w == nullptr) return false;
        *x = w->pointerX;
        *y = w->pointerY;
        return true;
    }
    // The picture starts at the view widget's corner moved by the cell's offsets; frame
    // pixel 0 lies at the device's scrolled origin from there, each pixel `zoom` wide.
    void Follow() override {
        DisplayComponent* c = Cell();
        Remember(c);
        GraphicsHost* h = DisplaySyncHost(c);
        if (h == nullptr || h->view == nullptr) return;
        const gElement* v = h->view;
        windowRect[0] = v->x;
        windowRect[1] = v->y;
        windowRect[2] = v->width;
        windowRect[3] = v->height;
        clipWidth = static_cast<float>(c->plotWidth);
        clipHeight = static_cast<float>(c->plotHeight);
        displayOffsetX = static_cast<double>(v->x) + h->offsetX;
        displayOffsetY = static_cast<double>(v->y) + h->offsetY;
        const Image2DDevice* d = Device();
        if (d == nullptr) return;
        const ImageViewRecord& r = d->view;
        originX = r.originX;
        originY = r.originY;
        const bool zoomed = r.zoom.any != 0;
        pixelScale = ViewPixelScale{static_cast<uint8_t>(zoomed ? 1 : 0), r.zoom.x, r.zoom.y};
        zoom = ViewZoom{static_cast<uint8_t>(zoomed ? 1 : 0), r.zoom.inverseX, r.zoom.inverseY};
        dataSource = d;
    }

private:
    // The window's handle, for measurements on other threads, which must not look the
    // cell up (user-interface thread only).
    void Remember(const DisplayComponent* c) {
        windowHandle_.store(c != nullptr && c->window != nullptr ? c->window->hwnd : nullptr);
    }

    DisplayCellBase* cell_;
    std::atomic<platform::Hwnd> windowHandle_{nullptr};
};

// A port's container with the view it belongs to; the view is made first and goes last,
// after the container has let its shapes go.
struct ViewHolder {
    explicit ViewHolder(DisplayCellBase* cell) : cellView(cell) {}
    CellShapeView cellView;
};

class CellShapeContainer final : private ViewHolder, public ShapeContainer {
public:
    CellShapeContainer(DisplayCellBase* cell, std::unique_ptr<ShapeList> list)
        : ViewHolder(cell), ShapeContainer(&cellView, nullptr, std::move(list)) {}
};

}  // namespace

DisplayComponent* CellOfShapeContainer(ShapeContainer* container) {
    auto* cellView = container != nullptr ? dynamic_cast<CellShapeView*>(container->view) : nullptr;
    return cellView != nullptr ? cellView->Cell() : nullptr;
}

namespace {

// The pointer over a shape is over the picture: the readouts follow it there as elsewhere.
void PointerOverShapes(ShapeContainer* container, int32_t x, int32_t y) {
    auto* view = container != nullptr ? dynamic_cast<CellShapeView*>(container->view) : nullptr;
    if (Image2DWindow* w = view != nullptr ? view->Window() : nullptr)
        w->OnPointerMove(static_cast<float>(x), static_cast<float>(y));
}

}  // namespace

void RedrawShapeViewLater(ShapeContainer* container) {
    if (container == nullptr) return;
    if (auto* cellView = dynamic_cast<CellShapeView*>(container->view)) cellView->RedrawLater();
}

namespace {

// The shapes' glyphs are widgets of the cell's window, following its view widget.
void* CreateContainer(DisplayCellBase* cell, int argument) {
    (void)argument;
    DisplayComponent* c = AsDisplayCell(cell);
    std::unique_ptr<ShapeList> list;
    if (c != nullptr && c->window != nullptr) list.reset(new (std::nothrow) ToolkitShapeList(c->window, c->widget));
    auto* container = new (std::nothrow) CellShapeContainer(cell, std::move(list));
    return container != nullptr ? static_cast<ShapeContainer*>(container) : nullptr;
}

void DestroyContainer(void* container) {
    auto* c = static_cast<CellShapeContainer*>(static_cast<ShapeContainer*>(container));
    if (c != nullptr) ShapePanelForgetView(c->view);
    delete static_cast<CellShapeContainer*>(static_cast<ShapeContainer*>(container));
}

void SetVisible(void* container, DisplayCellBase* cell, uint8_t visible) {
    (void)cell;
    if (container != nullptr) static_cast<ShapeContainer*>(container)->SetShapesVisible(visible != 0);
}

// ---- What the image window's keys and mouse ask of a view's shapes

ShapeContainer* Container(void* container) { return static_cast<ShapeContainer*>(container); }

bool CopyShape(void* container) { return Container(container)->CopyShape(); }

void SetLabels(void* container, int32_t level, bool currentOnly) {
    ShapeContainer* c = Container(container);
    c->labelLevel = level;
    c->labelsForCurrentOnly = currentOnly ? 1 : 0;
}

void PasteShape(void* container, int32_t mode) { Container(container)->PasteShape(mode); }

void InscribeAnchors(void* container, int32_t mode) {
    ShapeContainer* c = Container(container);
    if (c->InscribeAnchors(nullptr, mode)) c->Redraw();
}

bool CycleDragMode(void* container) { return Container(container)->CycleDragMode(); }

// The wheel moves the current shape by data units, one step each.
void MoveShape(void* container, double dx, double dy) {
    ShapeContainer* c = Container(container);
    if (c->current != nullptr) c->current->Move(static_cast<float>(dx), static_cast<float>(dy));
}

// Keyboard moves: the first of a run takes the snapshot, the run ends with its step.
void SnapshotShape(void* container) {
    ShapeContainer* c = Container(container);
    if (c->current != nullptr) c->current->BeginEdit();
}

bool ApplyMove(void* container, double dx, double dy) {
    Shape* s = Container(container)->current;
    if (s == nullptr || s->state == kShapeProtected) return false;
    s->ApplyMove(static_cast<float>(dx), static_cast<float>(dy));
    return true;
}

void AttachViewTool(void* container, uint32_t code) {
    ShapeContainer* c = Container(container);
    if (c->current != nullptr) c->PushUndo(c->current, code);
}

void DropHighlight(void* container) {
    ShapeContainer* c = Container(container);
    if (c->editFrame != nullptr) c->editFrame->DropHighlight();
}

// The shape being placed: the one a placement continues.
Shape* Placing(ShapeContainer* c) { return c->drawing != nullptr ? c->drawing : nullptr; }

bool LastPointOfCurrent(void* container, double* x, double* y) {
    ShapeContainer* c = Container(container);
    const Shape* s = Placing(c);
    if (s == nullptr && c->selectionFlag != 0 && c->currentGlyph != nullptr) s = c->currentGlyph->shape;
    if (s == nullptr) return false;
    const AnchorBuffer& a = s->header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return false;
    *x = a.X(a.Count() - 1);
    *y = a.Y(a.Count() - 1);
    return true;
}

bool TakeUpCurrent(void* container) {
    ShapeContainer* c = Container(container);
    if (c->current == nullptr) return false;
    c->drawing = c->current;
    c->remembered = c->current;
    c->changed = 1;
    return true;
}

// The placement's rectangle (first and far corner, frame coordinates) becomes a shape of
// the tool's kind in the tool's role, or the next point of the shape being placed.
int32_t PlaceShape(void* container, int32_t kind, int32_t mode, const float rect[4]) {
    ShapeContainer* c = Container(container);
    ShapeRequest r;
    r.kind = kind;
    r.role = mode;
    r.start[0] = rect[0];
    r.start[1] = rect[1];
    r.end[0] = rect[2];
    r.end[1] = rect[3];
    if (c->drawing == nullptr) r.newShape = 1;
    Shape* s = c->ShapeFromRequest(r, nullptr, nullptr);
    if (s == nullptr) return 0;
    c->drawing = s;
    c->changed = 1;
    c->Redraw();
    return 1;
}

void ReleasePlacing(void* container) {
    ShapeContainer* c = Container(container);
    c->drawing = nullptr;
    c->remembered = nullptr;
}

void DropPlacing(void* container) {
    ReleasePlacing(container);
    Container(container)->Redraw();
}

void DrawScaled(double dx, double dy) { DrawScaledPoints(static_cast<float>(dx), static_cast<float>(dy)); }

const Shape* Spline(ShapeContainer* c) {
    const Shape* s = Placing(c) != nullptr ? Placing(c) : c->current;
    return s != nullptr && s->header.kind == kKindBSpline ? s : nullptr;
}

void SplineDraw(void* container, double x, double y) {
    if (const Shape* s = Spline(Container(container)))
        BSplineDraw(s->header.anchors, static_cast<float>(x), static_cast<float>(y));
}

int32_t CurrentShapePoints(void* container) {
    const Shape* s = Spline(Container(container));
    return s != nullptr ? static_cast<int32_t>(s->header.anchors.Count()) : 0;
}

}  // namespace

void InstallShapeServices() {
    ComponentServices& s = TheComponentServices();
    s.createShapeContainer = &CreateContainer;
    s.destroyShapeContainer = &DestroyContainer;
    s.setShapesVisible = &SetVisible;
    InstallShapeDrawing();
    TheShapeGlyphHooks().pointerOver = &PointerOverShapes;
    GraphicsShapeServices& g = TheGraphicsShapeServices();
    g.copyShape = &CopyShape;
    g.pasteShape = &PasteShape;
    g.inscribeAnchors = &InscribeAnchors;
    g.cycleDragMode = &CycleDragMode;
    g.setLabels = &SetLabels;
    g.moveShape = &MoveShape;
    g.snapshotShape = &SnapshotShape;
    g.applyMove = &ApplyMove;
    g.attachViewTool = &AttachViewTool;
    g.dropHighlight = &DropHighlight;
    g.lastPointOfCurrent = &LastPointOfCurrent;
    g.takeUpCurrent = &TakeUpCurrent;
    g.placeShape = &PlaceShape;
    g.releasePlacing = &ReleasePlacing;
    g.dropPlacing = &DropPlacing;
    g.drawScaledPoints = &DrawScaled;
    g.bsplineDraw = &SplineDraw;
    g.currentShapePoints = &CurrentShapePoints;
}

}  // namespace orva
