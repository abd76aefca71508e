#include "main/shape_services.h"

#include <memory>
#include <new>

#include "framework/component.h"
#include "shapes/shape_container.h"

namespace orva {

namespace {

// A port's container starts without a view; the image window attaches itself
// (and its glyph list) when it is made.
void* CreateContainer(DisplayCellBase* cell, int argument) {
    (void)cell;
    (void)argument;
    return new (std::nothrow) ShapeContainer(nullptr, nullptr, nullptr);
}

void DestroyContainer(void* container) { delete static_cast<ShapeContainer*>(container); }

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
