#include "main/display_services.h"

#include "app/cui.h"
#include "app/graphics_window.h"
#include "app/status_line.h"
#include "app/wait_cursor.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "io/data_set_info.h"
#include "io/output_writer.h"
#include "shapes/shape_batch.h"
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

// Without an owner it is the user's Shift+Del, which Ctrl+Z takes back; the shapes of an owner
// that goes (a device closing) go for good.
void RemoveShapesOf(void* container, void* owner) {
    Container(container)->RemoveShapesOf(0, owner, owner == nullptr ? kUndoModeRecord : kUndoModeNone, false);
}

void RemoveShape(void* container, void* owner) {
    ShapeContainer* c = Container(container);
    // A deleted shape comes back with Ctrl+Z.
    if (c->current != nullptr) c->RemoveShape(0, owner, c->current, true, false, kUndoModeRecord, nullptr);
}

void NotifyShapesOf(void* container, void*, int32_t reason) {
    ShapeContainer* c = Container(container);
    c->NotifyShapesOf(c->view, reason);
}

void RefreshRotateFrame(void* container) {
    ShapeContainer* c = Container(container);
    if (c->InRotateMode() && c->FrameShown()) c->PlaceEditFrame();
}

// ---- What the image window's keys and mouse ask of a view's shapes

int32_t CurrentKind(void* container) {
    const ShapeContainer* c = Container(container);
    return c->current != nullptr ? c->current->header.kind : -1;
}

void UndoStep(void* container, bool undo) {
    ShapeContainer* c = Container(container);
    // A step may bring back or take away many shapes: painted and measured once.
    ShapeBatch batch;
    if (c->undo.Step(undo)) c->Redraw();
}

void SelectAdjacent(void* container, bool forward) { Container(container)->SelectAdjacentShape(forward); }

bool LeaveAnchorTool(void* container) {
    ShapeContainer* c = Container(container);
    if (c->anchorTool == kToolNone) return false;
    c->SetAnchorTool(kToolNone);
    return true;
}

bool LeaveSelectMode(void* container) { return Container(container)->LeaveSelectMode() != 0; }

// The shapes' flag byte is bit 0 of every shape's flags.
void SetShapesFlag(void* container, bool on) { Container(container)->SetShapesFlag(1, on); }

void SetShapesVisible(void* container, bool on) { Container(container)->SetShapesVisible(on); }

void HideShapes(void* container) {
    ShapeContainer* c = Container(container);
    c->SetShapesVisible(false);
    if (c->FrameShown()) c->HideEditFrame();
}

// T: the next edit mode of the current shape (backwards with Shift), and the panel.
void CycleEditMode(void* container) {
    ShapeContainer* c = Container(container);
    if (c->current == nullptr) return;
    c->ToggleEditMode(c->current);
    c->RefreshPanel();
}

void SetCurrentShapeMode(void* container) { Container(container)->SetCurrentShapeMode(); }

void ResetPivots(void* container) { Container(container)->ResetPivots(); }

int32_t PlacingKind(void* container) {
    const ShapeContainer* c = Container(container);
    return c->drawing != nullptr ? c->drawing->header.kind : -1;
}

// The event timer arms its five-second stop of playback.
bool StartAutoStop() { return TheEventTimer().StartDelayedNotify(); }

// Status line 0 of the window groups.
void SetStatus(int32_t code, int32_t redraw, const char* text) { SetGroupStatus(0, code, redraw, text); }

bool HasProjects() { return TheCUI().projectCount > 0 || TheCUI().projects.head != nullptr; }

void StepProjectItem(bool backward) { ProjectStepItem(&TheCUI(), backward); }

void CloseCurrentItem() {
    Project* project = TheCUI().currentProject;
    ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
    if (item != nullptr) ProjectCloseItem(project, item, 7);
}

void CloseData() { ProjectCloseData(&TheCUI(), false); }

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
    // The clipboard, inscribing, moves, drag modes, view tools and the geometry of a
    // placed shape are the shape editing's own; their entries stay empty until it
    // fills them.
    shapes.currentKind = &CurrentKind;
    shapes.undoStep = &UndoStep;
    shapes.selectAdjacent = &SelectAdjacent;
    shapes.leaveAnchorTool = &LeaveAnchorTool;
    shapes.leaveSelectMode = &LeaveSelectMode;
    shapes.setShapesFlag = &SetShapesFlag;
    shapes.setShapesVisible = &SetShapesVisible;
    shapes.hideShapes = &HideShapes;
    shapes.cycleEditMode = &CycleEditMode;
    shapes.setCurrentShapeMode = &SetCurrentShapeMode;
    shapes.resetPivots = &ResetPivots;
    shapes.placingKind = &PlacingKind;
    host.startAutoStop = &StartAutoStop;
    host.setStatus = &SetStatus;
    host.hasProjects = &HasProjects;
    host.stepProjectItem = &StepProjectItem;
    host.closeCurrentItem = &CloseCurrentItem;
    host.closeData = &CloseData;
    OutputWriterHooks& writer = TheOutputWriterHooks();
    writer.beginWaitCursor = &BeginWaitCursor;
    writer.endWaitCursor = &EndWaitCursor;
}

}  // namespace orva
