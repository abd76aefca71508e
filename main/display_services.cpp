#include "main/display_services.h"

#include "app/graphics_window.h"
#include "app/wait_cursor.h"
#include "framework/component.h"
#include "io/data_set_info.h"
#include "io/output_writer.h"
#include "shapes/shape_container.h"
#include "transform/transformation.h"

namespace orva {

namespace {

// The description a Source's frame query answers is its data set's description.
int64_t FrameCount(const void* description) {
    return static_cast<const DataSetInfo*>(description)->StepFrames();
}

// Behind a Transformation's pixels lie the 64-bit real samples of the block it pulled
// last; the caller holds the display lock, under which the stage works too.
bool ReadoutFrameOf(ComponentBase* consumer, ReadoutFrame* out) {
    auto* t = dynamic_cast<TransformationComponent*>(consumer);
    if (t == nullptr || t->frameCache.pending == 0) return false;
    const TypedFrameBuffer& block = t->frameCache.image;
    if (block.data == nullptr || block.width == 0 || block.height == 0 || t->channels == 0) return false;
    out->values = static_cast<const double*>(block.data);
    out->left = t->frameCache.window.x;
    out->top = t->frameCache.window.y;
    out->width = std::min<int64_t>(block.width, t->frameCache.window.width);
    out->height = std::min<int64_t>(block.height, t->frameCache.window.height);
    out->channels = t->channels;
    out->format = static_cast<uint32_t>(block.elementType) & 0xFFu;
    out->frame = t->frameCache.window.frame;
    out->channel = t->frameCache.window.section;
    return true;
}

ShapeContainer* Container(void* container) { return static_cast<ShapeContainer*>(container); }

void RemoveShapesOf(void* container, void* owner) { Container(container)->RemoveShapesOf(0, owner, 0, false); }

void RemoveShape(void* container, void* owner) {
    ShapeContainer* c = Container(container);
    if (c->current != nullptr) c->RemoveShape(0, owner, c->current, true, false, 0, nullptr);
}

void NotifyShapesOf(void* container, void*, int32_t reason) {
    ShapeContainer* c = Container(container);
    c->NotifyShapesOf(c->view, reason);
}

void RefreshRotateFrame(void* container) {
    ShapeContainer* c = Container(container);
    if (c->InRotateMode() && c->FrameShown()) c->PlaceEditFrame();
}

}  // namespace

void InstallDisplayServices() {
    ComponentServices& components = TheComponentServices();
    components.createImageWindow = &CreateImageWindow;
    components.pollComponentState = &PollComponentState;
    GraphicsHostServices& host = TheGraphicsHostServices();
    host.frameCount = &FrameCount;
    host.readoutFrame = &ReadoutFrameOf;
    GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    shapes.removeShapesOf = &RemoveShapesOf;
    shapes.removeShape = &RemoveShape;
    shapes.notifyShapesOf = &NotifyShapesOf;
    shapes.refreshRotateFrame = &RefreshRotateFrame;
    OutputWriterHooks& writer = TheOutputWriterHooks();
    writer.beginWaitCursor = &BeginWaitCursor;
    writer.endWaitCursor = &EndWaitCursor;
}

}  // namespace orva
