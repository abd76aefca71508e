#include "main/menu_services.h"

#include "app/image_window.h"
#include "app/main_menu.h"
#include "framework/port.h"
#include "shapes/editing/shape_clipboard.h"
#include "shapes/shape_batch.h"
#include "shapes/shape_container.h"
#include "views/display_cell.h"

namespace orva {

namespace {

// The menus' view is the display cell itself (the CUI keeps it as a component, which
// it forgets when the cell goes); a cell that is gone is no view.
DisplayComponent* CellOf(void* view) { return AsDisplayCell(static_cast<ComponentBase*>(view)); }

Image2DWindow* WindowOf(DisplayComponent* cell) {
    return cell != nullptr ? dynamic_cast<Image2DWindow*>(cell->Graphics()) : nullptr;
}

ShapeContainer* ShapesOf(DisplayComponent* cell) {
    ViewConsumer* port = cell != nullptr ? cell->View() : nullptr;
    return port != nullptr ? static_cast<ShapeContainer*>(port->shapes) : nullptr;
}

ShapeContainer* ShapesOf(void* view) { return ShapesOf(CellOf(view)); }

void* ViewOfTarget(ComponentBase* target) {
    DisplayComponent* cell = AsDisplayCell(target);
    return cell != nullptr ? static_cast<ComponentBase*>(cell) : nullptr;
}

// Steps the undo list can take back, and whether the step after the current one can be
// done again.
int32_t UndoSteps(const ShapeUndoList& list) {
    int32_t n = 0;
    for (const ShapeUndoStep* s = list.current; s != nullptr; s = s->older) ++n;
    return n;
}

int32_t RedoSteps(const ShapeUndoList& list) {
    ShapeUndoStep* next = list.current != nullptr ? list.current->newer : list.first;
    return next != nullptr && next->RedoStep() != nullptr ? 1 : 0;
}

bool ViewState(void* view, MenuViewState* state) {
    DisplayComponent* cell = CellOf(view);
    if (cell == nullptr || state == nullptr) return false;
    *state = MenuViewState{};
    Image2DWindow* window = WindowOf(cell);
    state->hasWindow = window != nullptr && cell->window != nullptr;
    ShapeContainer* c = ShapesOf(cell);
    state->hasContainer = c != nullptr;
    // A view whose data was closed keeps its window and container: nothing can be drawn
    // there until data comes.
    const Image2DDevice* device = window != nullptr ? window->Device() : nullptr;
    state->hasData = device != nullptr && device->pin.upstream != nullptr && ComponentIsLive(device->pin.upstream);
    if (c == nullptr) return true;
    GraphicsHost* host = DisplaySyncHost(cell);
    state->placing = (host != nullptr && host->toolActive != 0) || c->drawing != nullptr;
    state->selectMode = c->selectionFlag != 0;
    state->selectPossible = c->current != nullptr;
    state->editMode = c->editMode != kEditMove;
    state->editCounter = c->anchorTool != kToolNone ? 1 : 0;
    state->shapeCount = static_cast<int32_t>(c->ShapeCount());
    state->hasCurrentShape = c->current != nullptr;
    state->currentShapeKind = c->current != nullptr ? c->current->header.kind : -1;
    state->undoSteps = UndoSteps(c->undo);
    state->redoSteps = RedoSteps(c->undo);
    state->anchorToolActive = c->anchorTool != kToolNone;
    state->frameShown = c->FrameShown();
    state->keysMoveShape = host != nullptr && host->shapeOptions.arrowKeysMove != 0;
    return true;
}

void SetKeysMoveShape(void* view, bool on) {
    if (GraphicsHost* host = DisplaySyncHost(CellOf(view))) host->shapeOptions.arrowKeysMove = on ? 1 : 0;
}

void StartShapeTool(void* view, int32_t kind, int32_t toolMode) {
    if (Image2DWindow* w = WindowOf(CellOf(view))) w->StartShapeTool(toolMode, kind, 1);
}

void TakeUpShape(void* view) {
    if (Image2DWindow* w = WindowOf(CellOf(view))) w->TakeUpShape();
}

void EndPlacement(void* view, int32_t result) {
    if (Image2DWindow* w = WindowOf(CellOf(view))) w->EndPlacement(result);
}

void RepaintView(void* view) {
    if (Image2DWindow* w = WindowOf(CellOf(view))) w->RepaintNow();
}

void ViewUndoStep(void* view, bool undo) {
    ShapeContainer* c = ShapesOf(view);
    // A step may bring back or take away many shapes: painted and measured once.
    ShapeBatch batch;
    if (c != nullptr && c->undo.Step(undo)) c->Redraw();
}

void RemoveShapes(void* view, bool all) {
    DisplayComponent* cell = CellOf(view);
    if (cell == nullptr || !DisplayRemoveShapes(cell, all, nullptr)) return;
    if (ShapeContainer* c = ShapesOf(cell)) c->Redraw();
}

void SetAnchorTool(void* view, int32_t tool) {
    ShapeContainer* c = ShapesOf(view);
    if (c == nullptr) return;
    c->SetAnchorTool(tool);
    c->Redraw();
}

void EnterSelectMode(void* view) {
    if (ShapeContainer* c = ShapesOf(view)) c->EnterSelectMode();
}

bool ViewLeaveSelectMode(void* view) {
    ShapeContainer* c = ShapesOf(view);
    return c != nullptr && c->LeaveSelectMode() != 0;
}

bool CopyShape(void* view) {
    ShapeContainer* c = ShapesOf(view);
    return c != nullptr && c->CopyShape();
}

// The menu pastes where the copied shape was.
void PasteShape(void* view) {
    if (ShapeContainer* c = ShapesOf(view)) c->PasteShape(0);
}

void ClipShape(void* view) {
    ShapeContainer* c = ShapesOf(view);
    if (c == nullptr) return;
    c->ClipShape(nullptr, nullptr, true);
    c->Redraw();
}

void InscribeAnchors(void* view, int32_t mode) {
    ShapeContainer* c = ShapesOf(view);
    if (c != nullptr && c->InscribeAnchors(nullptr, mode)) c->Redraw();
}

}  // namespace

void InstallMenuServices() {
    MainMenuHooks& h = TheMainMenuHooks();
    h.viewOfTarget = &ViewOfTarget;
    h.viewState = &ViewState;
    h.startShapeTool = &StartShapeTool;
    h.takeUpShape = &TakeUpShape;
    h.endPlacement = &EndPlacement;
    h.repaintView = &RepaintView;
    h.undoStep = &ViewUndoStep;
    h.removeShapes = &RemoveShapes;
    h.setAnchorTool = &SetAnchorTool;
    h.enterSelectMode = &EnterSelectMode;
    h.leaveSelectMode = &ViewLeaveSelectMode;
    h.copyShape = &CopyShape;
    h.pasteShapeAtPointer = &PasteShape;
    h.clipShape = &ClipShape;
    h.inscribeAnchors = &InscribeAnchors;
    h.clipboardHasShape = &ShapeClipboardHasShape;
    h.setKeysMoveShape = &SetKeysMoveShape;
}

}  // namespace orva
