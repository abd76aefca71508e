#include "main/shape_services.h"

#include <memory>
#include <new>

#include "app/image_window.h"
#include "framework/component.h"
#include "shapes/shape_container.h"
#include "shapes/ui/glyph_list.h"
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

    void Redraw() override {
        DisplayComponent* c = Cell();
        if (c == nullptr || c->window == nullptr || !ComponentUiUp()) return;
        PaintWindowNow(c->window, true);
    }
    void StopTool() override {
        Image2DWindow* w = Window();
        GraphicsHost* h = w != nullptr ? w->Host() : nullptr;
        if (h != nullptr && h->toolActive != 0) w->EndPlacement(0);
    }
    bool ShiftHeld() const override { return (gKeyModifiersNow() & kKeyShift) != 0; }
    bool WindowReady() const override {
        DisplayComponent* c = Cell();
        return c != nullptr && c->window != nullptr && Device() != nullptr;
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
    DisplayCellBase* cell_;
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
    delete static_cast<CellShapeContainer*>(static_cast<ShapeContainer*>(container));
}

void SetVisible(void* container, DisplayCellBase* cell, uint8_t visible) {
    (void)cell;
    if (container != nullptr) static_cast<ShapeContainer*>(container)->SetShapesVisible(visible != 0);
}

}  // namespace

void InstallShapeServices() {
    ComponentServices& s = TheComponentServices();
    s.createShapeContainer = &CreateContainer;
    s.destroyShapeContainer = &DestroyContainer;
    s.setShapesVisible = &SetVisible;
}

}  // namespace orva
