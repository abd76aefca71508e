#include "shapes/shape_container.h"

#include <utility>

#include "common/error_codes.h"
#include "common/log.h"
#include "shapes/shape_batch.h"

namespace orva {

ShapeContainer::ShapeContainer(ShapeView* v, ShapeEditFrame* frame, std::unique_ptr<ShapeList> shapeList)
    : list(std::move(shapeList)) {
    if (list == nullptr) list = std::make_unique<MemoryShapeList>();
    Init(v, frame);
}

ShapeContainer::~ShapeContainer() {
    // The view and the frame may be going too: only the view's pointers to the
    // shapes are cleared.
    if (view != nullptr) {
        view->rememberedShape = nullptr;
        view->boundShape = nullptr;
        if (view->container == this) view->container = nullptr;
    }
    view = nullptr;
    editFrame = nullptr;
    closing_ = true;
    RemoveAllNow();
    undo.Clear();
    ownedFrame.reset();
    ShapeBatch::Forget(this);
}

void ShapeContainer::SetView(ShapeView* target) {
    if (view != nullptr && view->container == this) view->container = nullptr;
    view = target;
    if (view != nullptr) view->container = this;
}

void ShapeContainer::Init(ShapeView* v, ShapeEditFrame* frame) {
    SetView(v);
    editFrame = frame;
    enabled = 1;
    fillMode = 3;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetEnabled(false);
    glyphsEnabled_ = false;
    HideEditFrame();
}

// ---- Membership ------------------------------------------------------------------

bool ShapeContainer::LinkGlyph(Shape* shape) {
    if (shape->glyph == nullptr) {
        shape->glyph = list->MakeGlyph(shape);
        if (shape->glyph == nullptr) {
            LogPrintf("%s", "Can`t create gliph for shape...");
            return false;
        }
    }
    shape->glyph->SetConcealed(inactive != 0);
    if (shape->glyph->enabled == 0) glyphsEnabled_ = false;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    shape->AddRef();
    list->Link(shape->glyph, shape->glyph);
    shape->container = this;
    return true;
}

void ShapeContainer::DropFromList(Shape* shape, bool keepGlyph) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    ShapeGlyph* g = shape->glyph;
    list->Unlink(g, g);
    shape->container = nullptr;
    if (!keepGlyph) {
        shape->glyph = nullptr;
        delete g;
    }
    shape->Release();
}

bool ShapeContainer::LinkShape(Shape* shape) {
    if (shape == nullptr || !LinkGlyph(shape)) return false;
    if (shape->view == nullptr) shape->view = view;
    if (shape->header.kind == kKindPoint && shape->header.role == kRoleRefPoint && referencePoint == nullptr)
        referencePoint = shape;
    return true;
}

bool ShapeContainer::AddShape(Shape* shape) {
    if (shape == nullptr || shape == current || shape == referencePoint || IsInList(shape)) return false;
    return LinkShape(shape);
}

bool ShapeContainer::IsInList(const Shape* shape) const {
    return shape != nullptr && shape->container == this && shape->glyph != nullptr;
}

ShapeGlyph* ShapeContainer::NeighbourAfterRemoval(const ShapeGlyph* glyph) const {
    ShapeGlyph* next = list->Next(glyph);
    return next != nullptr ? next : list->Previous(glyph);
}

bool ShapeContainer::UnlinkShape(Shape* shape, Shape* nextCurrent, bool redraw) {
    if (!IsInList(shape)) return false;
    bool wasCurrent = current == shape;
    ShapeGlyph* neighbour = NeighbourAfterRemoval(shape->glyph);
    Shape* next = nullptr;
    if (nextCurrent != nullptr && nextCurrent != shape && IsInList(nextCurrent)) next = nextCurrent;
    else if (wasCurrent && neighbour != nullptr) next = neighbour->shape;
    ForgetShape(shape);
    DropFromList(shape, true);
    if (next != nullptr || wasCurrent) SetCurrentShape(next, redraw, false);
    return true;
}

void ShapeContainer::DetachShape(Shape* shape) {
    if (!IsInList(shape)) return;
    ForgetShape(shape);
    Withdraw(shape);
    DropFromList(shape, false);
}

void ShapeContainer::Withdraw(Shape* shape) {
    // A stage's own region (hidden) is left to its stage; a closing container leaves
    // the items to the stages that go with it.
    if (shape != nullptr && shape->state != kShapeHidden && !closing_) shape->WithdrawFromItems();
}

void ShapeContainer::ForgetShape(const Shape* shape) {
    if (shape == nullptr) return;
    if (current == shape) {
        current = nullptr;
        currentGlyph = nullptr;
        chainCount = 0;
    }
    if (remembered == shape) remembered = nullptr;
    if (referencePoint == shape) referencePoint = nullptr;
    if (drawing == shape) drawing = nullptr;
    if (view != nullptr) {
        if (view->rememberedShape == shape) view->rememberedShape = nullptr;
        if (view->boundShape == shape) view->boundShape = nullptr;
    }
}

Shape* ShapeContainer::FirstShape() const {
    ShapeGlyph* g = list->First();
    return g != nullptr ? g->shape : nullptr;
}

Shape* ShapeContainer::LastShape() const {
    ShapeGlyph* g = list->Last();
    return g != nullptr ? g->shape : nullptr;
}

Shape* ShapeContainer::NextShape(const Shape* shape) const {
    if (!IsInList(shape)) return nullptr;
    ShapeGlyph* g = list->Next(shape->glyph);
    return g != nullptr ? g->shape : nullptr;
}

Shape* ShapeContainer::FirstVisibleShape() const {
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g))
        if (g->shape->state != kShapeHidden) return g->shape;
    return nullptr;
}

uint32_t ShapeContainer::ShapeCount() const {
    uint32_t n = 0;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) ++n;
    return n;
}

// ---- Current shape and modes -------------------------------------------------------

void ShapeContainer::SetCurrentShape(Shape* shape, bool redraw, bool reorder) {
    if (referencePoint != nullptr && referencePoint != shape && referencePoint->header.anchors.selectedCount != 0)
        referencePoint->SelectAllAnchors(false);
    current = shape;
    currentGlyph = shape != nullptr ? shape->glyph : nullptr;
    chainCount = 0;
    if (shape != nullptr) {
        shape->ClearChain();
        ShapeGlyph* lastGlyph = list->Last();
        if (reorder && IsInList(shape) && list->First() != lastGlyph && shape->glyph != lastGlyph) {
            // The current shape is drawn last, on top.
            std::lock_guard<std::recursive_mutex> hold(lock_);
            list->Exchange(shape->glyph, lastGlyph);
        }
        if (shape->header.kind != kKindPoint) {
            AnchorBuffer& a = shape->header.anchors;
            if (editMode < kEditResizeFrame) {
                if (a.selectedCount != 0) a.SelectAll(false);
            } else if (a.selectedCount != -1) {
                a.SelectAll(true);
            }
        }
        shape->BindToView(view);
    }
    if (redraw) RefreshPanel();
}

void ShapeContainer::SelectAdjacentShape(bool forward) {
    ShapeGlyph* first = list->First();
    if (first == nullptr || !enabled) return;
    ShapeGlyph* g = first;
    if (first != list->Last() && IsInList(current)) {
        g = forward ? list->Next(current->glyph) : list->Previous(current->glyph);
        if (g == nullptr) g = forward ? first : list->Last();
    }
    Shape* shape = g->shape;
    if (shape != current) {
        selectionFlag = 1;
        SetCurrentShape(shape, true, false);
        ShowEditFrame();
        Redraw();
    } else if (!selectionFlag) {
        selectionFlag = 1;
        ShowEditFrame();
    }
}

void ShapeContainer::EnterSelectMode() {
    if (current == nullptr || selectionFlag) return;
    selectionFlag = 1;
    ShowEditFrame();
    Redraw();
}

uint8_t ShapeContainer::LeaveSelectMode() {
    if (editFrame == nullptr || (view != nullptr && view->busy)) return 0;
    uint8_t old = selectionFlag;
    remembered = nullptr;
    HideEditFrame();
    selectionFlag = 0;
    if (current != nullptr && current->header.anchors.selectedCount != 0) {
        current->SelectAllAnchors(false);
        return 1;
    }
    return old;
}

void ShapeContainer::Activate(bool on) {
    // The window the view draws into shows one file at a time: the shapes drawn on another
    // file stay with it, out of sight, until its data show again.
    inactive = on ? 0 : 1;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetConcealed(!on);
    if (!on) {
        for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetEnabled(false);
        glyphsEnabled_ = false;
        if (FrameShown()) HideEditFrame();
    } else if (enabled) {
        for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetEnabled(true);
        glyphsEnabled_ = true;
        if (InRotateMode()) ShowEditFrame();
    }
    // A concealed shape is not edited through the panel.
    if (!on && view != nullptr) view->ForgetPanel();
    else if (current != nullptr) RefreshPanel();
}

void ShapeContainer::SetAnchorTool(int32_t tool) {
    if (view != nullptr) view->StopTool();
    anchorTool = tool;
    if (tool > kToolNone) EnterAnchorEditing();
}

void ShapeContainer::EnterAnchorEditing() {
    // An anchor tool works on anchors whatever mode the shape was in: the move mode takes
    // no anchor, and a frame mode holds every anchor selected under its handles. The
    // current shape comes into anchor editing, shown selected, with no anchor picked yet.
    if (editMode != kEditAnchors) {
        editMode = kEditAnchors;
        if (current != nullptr && current->header.kind != kKindPoint && current->header.anchors.selectedCount != 0)
            current->SelectAllAnchors(false);
    }
    if (current == nullptr) return;
    selectionFlag = 1;
    ShowEditFrame();
}

bool ShapeContainer::CycleFillMode() {
    if (current == nullptr) return false;
    fillMode = fillMode >= 0 && fillMode < 3 ? fillMode + 1 : 0;
    Redraw();
    return true;
}

void ShapeContainer::StepEditMode(Shape* shape, bool forward) {
    int32_t m = editMode;
    int32_t next = m;
    if (forward) {
        if (m <= kEditMove) next = kEditAnchors;
        else if (m < kEditResizeFrame) next = kEditResizeFrame;
        else if (m == kEditResizeFrame) next = kEditRotateFrame;
        else next = kEditMove;
    } else {
        if (m == kEditMove) next = kEditRotateFrame;
        else if (m == kEditAnchors) next = kEditMove;
        else if (m == kEditResizeFrame) next = kEditAnchors;
        else if (m >= kEditRotateFrame) next = kEditResizeFrame;
    }
    editMode = next;
    if (shape != nullptr) {
        AnchorBuffer& a = shape->header.anchors;
        if (next >= kEditResizeFrame) {
            a.SelectAll(true);
            // The points stay where they are: the statistic mark measured on them stays too
            // (the pivot's reset would take it until the next measurement).
            const StatisticMark mark = shape->statMark;
            shape->ResetPivot(kUpdateFull);
            shape->statMark = mark;
        } else if (next <= kEditAnchors && a.selectedCount != 0) {
            a.SelectAll(false);
        }
    }
    ShowEditFrame();
    if (InRotateMode()) PlaceEditFrame();
}

void ShapeContainer::ToggleEditMode(Shape* shape) {
    StepEditMode(shape, !(view != nullptr && view->ShiftHeld()));
}

bool ShapeContainer::CycleOffsetDirection() {
    Shape* shape = current;
    if (shape == nullptr) return false;
    uint32_t d = shape->header.offset.direction;
    uint32_t next = 0;
    if (KindTakesEveryDirection(shape->header.kind)) {
        if (d == 0) next = kOffsetCnrm;
        else if (d == kOffsetFree) next = kOffsetNrml;
        else if (d == kOffsetNrml) next = kOffsetCnrm;
        else if (d == kOffsetCnrm) next = kOffsetAxis;
        else if (d == kOffsetAxis) next = kOffsetFree;
        else return false;
    } else {
        next = d == kOffsetCnrm ? kOffsetAxis : kOffsetCnrm;
    }
    shape->BeginEdit();
    if (!shape->SetOffsetDirection(next)) return false;
    PushUndo(shape, kUndoOffset);
    Redraw();
    return true;
}

bool ShapeContainer::LastPointOfCurrent(double* x, double* y) const {
    if (!selectionFlag || currentGlyph == nullptr || currentGlyph->shape == nullptr) return false;
    const AnchorBuffer& a = currentGlyph->shape->header.anchors;
    if (a.Count() == 0 || a.data == nullptr) return false;
    double px = a.X(a.Count() - 1);
    double py = a.Y(a.Count() - 1);
    if (view != nullptr) {
        if (view->pixelScale.flag) {
            px *= view->pixelScale.x;
            py *= view->pixelScale.y;
        }
        px += view->originX;
        py += view->originY;
    }
    if (x != nullptr) *x = px;
    if (y != nullptr) *y = py;
    return true;
}

bool ShapeContainer::ResetPivots() {
    if (list->First() == nullptr || !enabled) return false;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->shape->ResetPivot(kUpdateFull);
    PlaceEditFrame();
    Redraw();
    return true;
}

void ShapeContainer::NotifyShapesOf(const ShapeView* target, int32_t reason) {
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) {
        Shape* s = g->shape;
        if (s->view != target || s->procs.areaProcedure == nullptr) continue;
        std::lock_guard<std::recursive_mutex> hold(lock_);
        s->procs.areaProcedure(s, reason);
    }
}

// ---- Edit frame and refreshes ------------------------------------------------------

void ShapeContainer::ShowEditFrame() {
    if (editFrame != nullptr && current != nullptr) editFrame->Show(*this);
}

void ShapeContainer::HideEditFrame() {
    if (editFrame != nullptr) editFrame->Hide(*this);
}

void ShapeContainer::PlaceEditFrame() {
    if (editFrame != nullptr && editFrame->Shown()) editFrame->Place(*this);
}

bool ShapeContainer::FrameShown() const { return editFrame != nullptr && editFrame->Shown(); }

void ShapeContainer::Refresh(bool redraw) {
    if (current != nullptr && selectionFlag) PlaceEditFrame();
    if (redraw) Redraw();
}

void ShapeContainer::Redraw() {
    if (view != nullptr && !ShapeBatch::DeferRedraw(this)) view->Redraw();
}

void ShapeContainer::RefreshPanel() {
    if (view != nullptr && !ShapeBatch::DeferPanel(this)) view->RefreshPanel(current);
}

void ShapeContainer::SetShapesFlag(uint32_t bits, bool on) {
    if (!enabled) return;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetFlag(bits, on);
}

void ShapeContainer::SetShapesEnabled(bool on) {
    if (!enabled) return;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetEnabled(on);
    glyphsEnabled_ = on;
}

void ShapeContainer::SetShapesVisible(bool on) {
    if (!enabled) return;
    for (ShapeGlyph* g = list->First(); g != nullptr; g = list->Next(g)) g->SetVisible(on);
}

void ShapeContainer::ClearCurrentSelection() {
    selectionFlag = 0;
    remembered = nullptr;
    if (current != nullptr && current->header.anchors.selectedCount != 0) current->SelectAllAnchors(false);
}

void ShapeContainer::PrintStatus(const char* text) {
    PrintStatusLine(kStatusGroupMain, -2, kStatusFlagsShow, "%s", text);
}

// ---- Removal -------------------------------------------------------------------------

bool ShapeContainer::RemoveShape(uint32_t ownerCode, const void* source, Shape* shape, bool whole, bool message,
                                 int undoMode, bool* removed) {
    if (removed != nullptr) *removed = false;
    if (list->First() == nullptr) return false;
    if (shape == nullptr) {
        shape = current;
    } else if (!Owns(shape) || undoMode < 0) {
        return false;
    }
    if (shape == nullptr || shape->glyph == nullptr || shape->state == kShapeProtected) return false;
    // A missing source or owner code accepts any.
    if (source != nullptr && shape->source != source) return false;
    if (ownerCode != 0 && (shape->view != nullptr ? shape->view->ownerCode : 0) != ownerCode) return false;

    if (view != nullptr) view->rememberedShape = nullptr;
    HideEditFrame();
    if (!whole && shape->RemoveSelectedAnchors(undoMode == kUndoModeRecord) != 2) return false;
    if (shape->state == kShapeHidden) return false;

    bool wasCurrent = current == shape;
    ShapeGlyph* neighbour = wasCurrent ? NeighbourAfterRemoval(shape->glyph) : nullptr;
    ForgetShape(shape);
    if (removed != nullptr) *removed = true;
    if (undoMode == kUndoModeRecord && !PushUndo(shape, kUndoDelete)) {
        // Not kept for a step: the shape goes now.
        undoMode = kUndoModeNone;
        if (removed != nullptr) *removed = false;
    }
    // Off the screen, off the items: the list's reference still holds the shape here.
    Withdraw(shape);
    DropFromList(shape, undoMode >= kUndoModeRecord);
    if (wasCurrent) SetCurrentShape(neighbour != nullptr ? neighbour->shape : nullptr, false, false);
    // The panel edits the shape now current (or none), never the removed one.
    RefreshPanel();
    Refresh(true);
    if (message) PrintStatus(kRemoveShapeText);
    return true;
}

void ShapeContainer::TakeOutStretch(ShapeGlyph* from, bool keep) {
    if (from == nullptr) return;
    // The items let the shapes go before the list does (outside the lock: the
    // measuring stages take the display lock, then this one).
    for (ShapeGlyph* g = from; g != nullptr; g = list->Next(g)) Withdraw(g->shape);
    std::lock_guard<std::recursive_mutex> hold(lock_);
    ShapeGlyph* to = list->Last();
    for (ShapeGlyph* g = from; g != nullptr; g = list->Next(g)) ForgetShape(g->shape);
    list->Unlink(from, to);
    for (ShapeGlyph* g = from; g != nullptr;) {
        ShapeGlyph* next = list->Next(g);
        Shape* s = g->shape;
        s->container = nullptr;
        if (!keep) {
            s->glyph = nullptr;
            delete g;
        }
        s->Release();
        g = next;
    }
}

void ShapeContainer::RemoveStretch(ShapeGlyph* from, bool keep) {
    if (view != nullptr) view->rememberedShape = nullptr;
    HideEditFrame();
    ClearCurrentSelection();
    TakeOutStretch(from, keep);
    Refresh(true);
    RefreshPanel();
}

void ShapeContainer::RemoveAllShapes(int undoMode, bool* recorded, bool message) {
    if (recorded != nullptr) *recorded = false;
    if (undoMode == kUndoModeNone) {
        RemoveAllNow();
        return;
    }
    if (undoMode < 0) return;
    Shape* first = FirstVisibleShape();
    if (first == nullptr) return;
    if (first->glyph == list->Last()) {
        bool removed = false;
        RemoveShape(0, nullptr, first, true, message, undoMode, &removed);
        if (recorded != nullptr) *recorded = removed && undoMode == kUndoModeRecord;
        return;
    }
    if (undoMode == kUndoModeRecord) {
        if (PushUndo(first, kUndoDeleteAll)) {
            if (recorded != nullptr) *recorded = true;
        } else {
            undoMode = kUndoModeNone;
        }
    }
    RemoveStretch(first->glyph, undoMode >= kUndoModeRecord);
    if (message) PrintStatus(kRemoveAllShapesText);
}

void ShapeContainer::RemoveShapesOf(uint32_t ownerCode, const void* source, int undoMode, bool message) {
    if (list->First() == nullptr) return;
    auto matches = [&](const Shape* s) {
        if (source != nullptr) return s->source == source;
        if (ownerCode != 0) return s->view != nullptr && s->view->ownerCode == ownerCode;
        return true;
    };
    bool all = true;
    for (ShapeGlyph* g = list->First(); g != nullptr && all; g = list->Next(g)) all = matches(g->shape);
    if (all) {
        RemoveAllShapes(undoMode, nullptr, message);
        return;
    }
    if (view != nullptr) view->rememberedShape = nullptr;
    HideEditFrame();
    bool any = false;
    bool currentGone = false;
    for (ShapeGlyph* g = list->First(); g != nullptr;) {
        ShapeGlyph* next = list->Next(g);
        Shape* s = g->shape;
        if (s->state != kShapeHidden && matches(s)) {
            if (s == current) currentGone = true;
            DetachShape(s);
            any = true;
        }
        g = next;
    }
    if (!any) return;
    if (!currentGone) {
        RefreshPanel();
        return;
    }
    if (Shape* first = FirstShape()) {
        SetCurrentShape(first, true, false);
    } else {
        RefreshPanel();
        Refresh(false);
    }
}

void ShapeContainer::RemoveAllNow() {
    ShapeGlyph* first = list->First();
    if (first == nullptr) return;
    RemoveStretch(first, false);
}

// ---- Undo ------------------------------------------------------------------------------

bool ShapeContainer::PushUndo(Shape* shape, uint32_t code) {
    if (shape != nullptr && shape->state == kShapeHidden && (code == kUndoCreate || code == kUndoDelete))
        return false;
    return undo.Push(shape, code);
}

}  // namespace orva
