#include "shapes/shape_undo.h"

#include <new>
#include <utility>

#include "shapes/result_code_error.h"
#include "shapes/shape_container.h"

namespace orva {

// ---- References -------------------------------------------------------------------------

ShapeRef::ShapeRef(Shape* shape) { Reset(shape); }

ShapeRef::ShapeRef(ShapeRef&& other) noexcept : shape_(std::exchange(other.shape_, nullptr)) {}

ShapeRef& ShapeRef::operator=(ShapeRef&& other) noexcept {
    if (this != &other) {
        Reset();
        shape_ = std::exchange(other.shape_, nullptr);
    }
    return *this;
}

ShapeRef::~ShapeRef() { Reset(); }

void ShapeRef::Reset(Shape* shape) {
    if (shape != nullptr) shape->AddRef();
    Shape* old = std::exchange(shape_, shape);
    if (old != nullptr) old->Release();
}

const ShapeHeader* ShapeRef::Header() const { return shape_ != nullptr ? &shape_->header : nullptr; }

// ---- Making a step -------------------------------------------------------------------------

ShapeUndoStep* Shape::MakeUndoStep(uint32_t code) {
    if (code == kUndoCreate) return new (std::nothrow) ShapeCreateStep;
    if (code == kUndoDelete) return new (std::nothrow) ShapeDeleteStep;
    if (code == kUndoKindRole || code == kUndoAll || code == kUndoAnchors || code == kUndoOffset ||
        code == kUndoPivot) {
        if (snapshot.IsValidState() && SameEditState(snapshot, header)) return nullptr;  // nothing changed
        return new (std::nothrow) ShapeStateStep(code);
    }
    return nullptr;
}

// ---- Creation and removal of one shape -------------------------------------------------

bool ShapeMembershipStep::Capture(Shape* target) {
    if (target == nullptr) return false;
    shape.Reset(target);
    container = target->container;
    uint32_t failure = CatchResultCode([&] {
        chain.clear();
        for (Shape* s = target->chainNext; s != nullptr; s = s->chainNext) chain.emplace_back(s);
    });
    if (failure != 0) chain.clear();
    return failure == 0;
}

int32_t ShapeMembershipStep::Release() {
    delete this;
    return 0;
}

bool ShapeMembershipStep::PutBack() {
    Shape* s = shape.Get();
    if (container == nullptr || s == nullptr) return false;
    bool any = container->AddShape(s);
    for (ShapeRef& r : chain) any = container->AddShape(r.Get()) || any;
    if (!any) return false;
    // Back on the screen, back among the items (measured and saved again).
    for (ShapeRef& r : chain) r.Get()->RejoinItems();
    s->RejoinItems();
    s->Reselect(container);
    return true;
}

bool ShapeMembershipStep::TakeOut() {
    if (container == nullptr) return false;
    bool any = false;
    auto takeOut = [&](Shape* s) {
        if (s == nullptr || !container->IsInList(s)) return;
        container->Withdraw(s);
        any = container->UnlinkShape(s, nullptr, false) || any;
    };
    takeOut(shape.Get());
    for (ShapeRef& r : chain) takeOut(r.Get());
    if (any) {
        container->RefreshPanel();
        container->Refresh(true);
    }
    return any;
}

// ---- Removal of all shapes -------------------------------------------------------------

bool ShapeDeleteAllStep::Capture(Shape* shape) {
    if (shape == nullptr || shape->container == nullptr || shape->glyph == nullptr) return false;
    ShapeContainer* c = shape->container;
    const ShapeList& list = *c->list;
    if (list.First() == nullptr) return false;
    container = c;
    ShapeGlyph* last = list.Last();
    uint32_t failure = CatchResultCode([&] {
        for (ShapeGlyph* g = shape->glyph; g != nullptr; g = list.Next(g)) {
            stretch.emplace_back(g->shape);
            if (g->shape == c->current) current.Reset(g->shape);
            if (g->shape == c->remembered) remembered.Reset(g->shape);
            if (g == last) break;
        }
    });
    return failure == 0;
}

int32_t ShapeDeleteAllStep::Release() {
    delete this;
    return 0;
}

bool ShapeDeleteAllStep::Apply(bool undo) {
    if (container == nullptr || stretch.empty()) return false;
    Shape* head = stretch.front().Get();
    if (!undo) {
        if (!container->IsInList(head)) return false;
        container->RemoveStretch(head->glyph, true);
        return true;
    }
    // The shapes go back in their order, each with the glyph it had; a shape
    // that lost its glyph or sits in a list again makes the step fail.
    for (const ShapeRef& r : stretch)
        if (r.Get()->glyph == nullptr || r.Get()->container != nullptr) return false;
    for (const ShapeRef& r : stretch) container->LinkShape(r.Get());
    for (const ShapeRef& r : stretch)
        if (r.Get()->state != kShapeHidden) r.Get()->RejoinItems();
    if (Shape* shown = current.Get()) shown->Reselect(container);
    else container->Redraw();
    return true;
}

// ---- State steps ---------------------------------------------------------------------------

ShapeStateStep::~ShapeStateStep() { SetRedoStep(nullptr); }

int32_t ShapeStateStep::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

int32_t ShapeStateStep::Release() {
    int32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

bool ShapeStateStep::Fill(Shape* shape, bool fromSnapshot) {
    if (shape == nullptr) return false;
    const ShapeHeader& state = fromSnapshot ? shape->snapshot : shape->header;
    if (!state.IsValidState() || !CopyEditState(&main.header, state)) return false;
    main.shape.Reset(shape);
    bool ok = true;
    uint32_t failure = CatchResultCode([&] {
        chain.clear();
        for (Shape* s = shape->chainNext; s != nullptr && ok; s = s->chainNext) {
            const ShapeHeader& linked = fromSnapshot ? s->snapshot : s->header;
            auto copy = std::make_unique<ShapeSnapshot>();
            ok = linked.IsValidState() && CopyEditState(&copy->header, linked);
            copy->shape.Reset(s);
            chain.push_back(std::move(copy));
        }
    });
    if (failure != 0 || !ok) {
        chain.clear();
        return false;
    }
    return true;
}

bool ShapeStateStep::Capture(Shape* shape) { return Fill(shape, true); }

bool ShapeStateStep::PrepareUndo() {
    auto* partner = new (std::nothrow) ShapeStateStep(code_);
    if (partner == nullptr) return false;
    bool filled = partner->Fill(main.shape.Get(), false);
    if (filled) SetRedoStep(partner);
    partner->Release();
    return filled;
}

void ShapeStateStep::SetRedoStep(ShapeUndoStep* step) {
    ShapeUndoStep* old = partner_;
    ShapeUndoStep* next = nullptr;
    if (step == this) {
        next = this;
    } else if (step != nullptr && Matches(step)) {
        step->AddRef();
        next = step;
    }
    partner_ = next;
    if (old != nullptr && old != this) old->Release();
}

bool ShapeStateStep::Matches(const ShapeUndoStep* step) const {
    const auto* other = dynamic_cast<const ShapeStateStep*>(step);
    // State steps of the same shapes partner each other whatever changed.
    if (other == nullptr || other->main.shape.Get() != main.shape.Get() ||
        other->chain.size() != chain.size())
        return false;
    for (size_t i = 0; i < chain.size(); ++i)
        if (chain[i]->shape.Get() != other->chain[i]->shape.Get()) return false;
    return true;
}

namespace {

int RestoreLocked(const ShapeSnapshot& snapshot) {
    Shape* shape = snapshot.shape.Get();
    if (shape == nullptr) return 0;
    ShapeLock lock(shape);
    const int32_t kind = shape->header.kind;
    const int result = ShapeRestore(snapshot.header, &shape->header);
    if (result > 0 && shape->header.kind != kind) {
        // A kind given back brings its own procedures, painter and bounds, as a change of
        // kind set them.
        if (shape->glyph != nullptr) shape->glyph->KindChanged();
        shape->SetupKindProcs(nullptr, nullptr);
        shape->ResetBounds();
    }
    return result;
}

// The bounds and the unpinned pivot recomputed, the linked items restarted.
void Recompute(Shape* shape) {
    shape->ResetPivot(kUpdateFull);
    shape->RestartLinked();
}

}  // namespace

bool ShapeStateStep::Apply(bool undo) {
    (void)undo;  // undo and redo restore alike: a redo is the partner's Apply
    Shape* shape = main.shape.Get();
    if (shape == nullptr) return false;
    int result = RestoreLocked(main);
    bool anyChanged = result > 0;
    for (const auto& linked : chain) {
        int r = RestoreLocked(*linked);
        if (r > 0) anyChanged = true;
        if (r > 1 && result > 0) Recompute(linked->shape.Get());
    }
    if (!anyChanged) return false;
    if (result > 1) Recompute(shape);

    ShapeContainer* c = shape->container;
    if (c == nullptr) {
        if (shape->glyph != nullptr && shape->view != nullptr) shape->view->Redraw();
        return true;
    }
    shape->Reselect(c);
    return true;
}

// ---- The list ---------------------------------------------------------------------------

void ShapeUndoList::Drop(ShapeUndoStep* step) {
    // A step joined to this one stands alone now.
    if (step->newer != nullptr) step->newer->joinedWithOlder = false;
    if (step->older != nullptr) step->older->newer = step->newer;
    else first = step->newer;
    if (step->newer != nullptr) step->newer->older = step->older;
    else last = step->older;
    step->newer = step->older = nullptr;
    --count;
    step->Release();
}

void ShapeUndoList::Clear() {
    current = nullptr;
    while (first != nullptr) Drop(first);
}

bool ShapeUndoList::Push(Shape* shape, uint32_t code) {
    ShapeUndoStep* step = nullptr;
    if (code == kUndoDeleteAll) {
        if (shape == nullptr) return false;
        step = new (std::nothrow) ShapeDeleteAllStep;
    } else {
        if (shape == nullptr || shape->container == nullptr) return false;
        step = shape->MakeUndoStep(code);
    }
    if (step == nullptr) return false;
    if (!step->Capture(shape)) {
        step->Release();
        return false;
    }
    // Recording after undos drops the steps that could have been redone.
    if (current != last) {
        ShapeUndoStep* from = current != nullptr ? current->newer : first;
        while (from != nullptr) {
            ShapeUndoStep* next = from->newer;
            Drop(from);
            from = next;
        }
    }
    if (count >= kUndoStepLimit) {
        ShapeUndoStep* oldest = first;
        if (current == oldest) current = oldest->newer;
        Drop(oldest);
    }
    if (last != nullptr && last->RedoStep() == nullptr) last->SetRedoStep(step);
    step->older = last;
    step->newer = nullptr;
    if (last != nullptr) last->newer = step;
    else first = step;
    last = step;
    current = step;
    ++count;
    return true;
}

bool ShapeUndoList::JoinNewest(const ShapeUndoStep* older) {
    if (older == nullptr || last == nullptr || last->older != older) return false;
    last->joinedWithOlder = true;
    return true;
}

void ShapeUndoList::JoinSince(const ShapeUndoStep* before) {
    if (count >= kUndoStepLimit) return;
    ShapeUndoStep* const first = before != nullptr ? before->newer : this->first;
    if (first == nullptr) return;
    for (ShapeUndoStep* step = first->newer; step != nullptr; step = step->newer) step->joinedWithOlder = true;
}

bool ShapeUndoList::Step(bool undo) {
    if (undo) {
        ShapeUndoStep* step = current;
        if (!StepOne(true)) return false;
        // A failed step of a joined run leaves the list: what went before stays undone.
        while (step->joinedWithOlder && current != nullptr && current == step->older) {
            step = current;
            if (!StepOne(true)) break;
        }
        return true;
    }
    if (!StepOne(false)) return false;
    while (current != nullptr && current->newer != nullptr && current->newer->joinedWithOlder)
        if (!StepOne(false)) break;
    return true;
}

bool ShapeUndoList::StepOne(bool undo) {
    if (undo) {
        ShapeUndoStep* step = current;
        if (step == nullptr) return false;
        if (step->RedoStep() == nullptr) step->PrepareUndo();
        if (step->Apply(true)) {
            current = step->older;
            return true;
        }
        // A step that cannot be undone leaves the list.
        step->SetRedoStep(nullptr);
        current = step->older;
        Drop(step);
        return false;
    }
    ShapeUndoStep* next = current != nullptr ? current->newer : first;
    if (next == nullptr) return false;
    ShapeUndoStep* partner = next->RedoStep();
    if (partner == nullptr) return false;
    if (partner->Apply(false)) {
        current = next;
        return true;
    }
    next->SetRedoStep(nullptr);
    return false;
}

}  // namespace orva
