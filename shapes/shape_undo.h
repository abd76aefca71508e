#pragma once
// Undo steps of shape edits and the list that keeps them. Every change the
// user makes to a view's shapes is recorded as a step made from a
// four-character code: creation ("CRTE"), removal of one shape ("DLT0") or of
// all ("DLTA"), and changes of a shape's state ("ANCR", "PIVT", "OFST",
// "TPRL", "ALL0"), which restore a saved header. A list keeps at most 256.
#include <cstdint>
#include <memory>
#include <vector>

#include "shapes/shape.h"

namespace orva {

// The steps a list keeps.
constexpr uint32_t kUndoStepLimit = 256;

class ShapeUndoStep {
public:
    ShapeUndoStep() = default;
    ShapeUndoStep(const ShapeUndoStep&) = delete;
    ShapeUndoStep& operator=(const ShapeUndoStep&) = delete;
    virtual ~ShapeUndoStep() = default;

    virtual uint32_t Code() const = 0;
    // Runs once before the first undo of a step without a redo partner, and
    // makes the partner.
    virtual bool PrepareUndo() = 0;
    // The step whose Apply(false) redoes this one (nullptr: none).
    virtual ShapeUndoStep* RedoStep() = 0;
    // Sets (nullptr clears) the partner.
    virtual void SetRedoStep(ShapeUndoStep* step) = 0;
    // Whether another step may be this one's partner.
    virtual bool Matches(const ShapeUndoStep* step) const = 0;
    // Fills the step when it is recorded; false refuses it.
    virtual bool Capture(Shape* shape) = 0;
    // Undo (true) or redo (false); false when nothing could be done.
    virtual bool Apply(bool undo) = 0;
    virtual int32_t AddRef() = 0;
    virtual int32_t Release() = 0;

    ShapeUndoStep* newer = nullptr;  // links of the list
    ShapeUndoStep* older = nullptr;
    // Undone and redone together with the older step: two records of one edit (a cut
    // changes its shape and makes another).
    bool joinedWithOlder = false;
};

// A counted reference to a shape.
class ShapeRef {
public:
    ShapeRef() = default;
    explicit ShapeRef(Shape* shape);
    ShapeRef(ShapeRef&& other) noexcept;
    ShapeRef& operator=(ShapeRef&& other) noexcept;
    ShapeRef(const ShapeRef&) = delete;
    ShapeRef& operator=(const ShapeRef&) = delete;
    ~ShapeRef();

    void Reset(Shape* shape = nullptr);
    Shape* Get() const { return shape_; }
    // The referenced shape's header, or nullptr.
    const ShapeHeader* Header() const;

private:
    Shape* shape_ = nullptr;
};

// A reference to a shape and a copy of one of its states.
class ShapeSnapshot {
public:
    ShapeRef shape;
    ShapeHeader header;  // kind -1, role -512, SUBPIX 1, scale 1.0, no points when new
    const ShapeHeader* Header() const { return &header; }
};

// Creation and removal of one shape: the shape, the shapes chained to it and
// its container, held until the step goes. Not counted: Release deletes.
class ShapeMembershipStep : public ShapeUndoStep {
public:
    bool PrepareUndo() override { return true; }
    ShapeUndoStep* RedoStep() override { return this; }
    void SetRedoStep(ShapeUndoStep*) override {}
    bool Matches(const ShapeUndoStep*) const override { return false; }
    bool Capture(Shape* shape) override;
    int32_t AddRef() override { return 1; }
    int32_t Release() override;

    ShapeRef shape;
    std::vector<ShapeRef> chain;
    ShapeContainer* container = nullptr;

protected:
    // Puts the shapes back into the container and makes the shape current.
    bool PutBack();
    // Takes them out, kept for the step.
    bool TakeOut();
};

class ShapeCreateStep final : public ShapeMembershipStep {
public:
    uint32_t Code() const override { return kUndoCreate; }
    bool Apply(bool undo) override { return undo ? TakeOut() : PutBack(); }
};

class ShapeDeleteStep final : public ShapeMembershipStep {
public:
    uint32_t Code() const override { return kUndoDelete; }
    bool Apply(bool undo) override { return undo ? PutBack() : TakeOut(); }
};

// Removal of every shape from the first visible one on: a reference to each
// shape of the removed stretch, in list order (their glyphs go back with them),
// and the container's current and remembered shapes when they were among them.
class ShapeDeleteAllStep final : public ShapeUndoStep {
public:
    uint32_t Code() const override { return kUndoDeleteAll; }
    bool PrepareUndo() override { return true; }
    ShapeUndoStep* RedoStep() override { return this; }
    void SetRedoStep(ShapeUndoStep*) override {}
    bool Matches(const ShapeUndoStep*) const override { return false; }
    bool Capture(Shape* shape) override;
    bool Apply(bool undo) override;
    int32_t AddRef() override { return 1; }
    int32_t Release() override;

    ShapeContainer* container = nullptr;
    ShapeRef current;
    ShapeRef remembered;
    std::vector<ShapeRef> stretch;
};

// A saved state of a shape and of the shapes chained to it. Reference-counted
// (1 when made); its partner restores the state the undo replaced.
class ShapeStateStep final : public ShapeUndoStep {
public:
    // `code`: what changed ("ANCR", "PIVT", "OFST", "TPRL" or "ALL0").
    explicit ShapeStateStep(uint32_t code = kUndoAll) : code_(code) {}
    ~ShapeStateStep() override;
    uint32_t Code() const override { return code_; }
    bool PrepareUndo() override;
    ShapeUndoStep* RedoStep() override { return partner_; }
    void SetRedoStep(ShapeUndoStep* step) override;
    bool Matches(const ShapeUndoStep* step) const override;
    // Copies the shape's snapshot (the state before the edit).
    bool Capture(Shape* shape) override;
    bool Apply(bool undo) override;
    int32_t AddRef() override;
    int32_t Release() override;

    ShapeSnapshot main;
    std::vector<std::unique_ptr<ShapeSnapshot>> chain;

private:
    // Copies the current (false) or the snapshot (true) header of the shape and its chain.
    bool Fill(Shape* shape, bool fromSnapshot);

    uint32_t code_;
    ShapeUndoStep* partner_ = nullptr;  // counted unless it is this step
    std::atomic<int32_t> refs_{1};
};

class ShapeUndoList {
public:
    ShapeUndoList() = default;
    ShapeUndoList(const ShapeUndoList&) = delete;
    ShapeUndoList& operator=(const ShapeUndoList&) = delete;
    ~ShapeUndoList() { Clear(); }

    // Records a step for the shape: the steps after the current one go, the
    // oldest goes beyond kUndoStepLimit, the newest takes the new step as its
    // partner when it has none, and the new step becomes current. False when
    // nothing was recorded ("DLTA" needs a shape of the container only).
    bool Push(Shape* shape, uint32_t code);
    // Undo (true) or redo (false) one step, with the steps joined to it; false when
    // there is none or it failed (a failed undo drops its step).
    bool Step(bool undo);
    // Joins the newest step to `older` when that is the step before it: one undo takes
    // both back. False otherwise.
    bool JoinNewest(const ShapeUndoStep* older);
    // Joins every step recorded after `before` (nullptr: from the first) to the first of
    // them, so that one undo takes them all back. Nothing while the list is at its step
    // limit: `before` may have been dropped on the way.
    void JoinSince(const ShapeUndoStep* before);
    // Releases every step.
    void Clear();

    ShapeUndoStep* first = nullptr;    // oldest
    ShapeUndoStep* last = nullptr;     // newest
    ShapeUndoStep* current = nullptr;  // the last step applied; nullptr: all undone
    uint32_t count = 0;

private:
    void Drop(ShapeUndoStep* step);
    bool StepOne(bool undo);
};

}  // namespace orva
