// The Reduction's items: adding and removing shapes, and the process function
// that runs one item per pull.
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

#include "framework/device_view.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "reduction/reduction_component.h"
#include "shapes/result_code_error.h"
#include "shapes/shape.h"
#include "shapes/shape_batch.h"
#include "shapes/shape_container.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

// The sampled path of a slice shape.
uint32_t PathPointCount(const Shape* shape) { return shape->derived.samples.Count(); }

// A mask that holds pixels: rectangles and a box that is not empty.
bool HasArea(const Region& region) { return region.count != 0 && region.box.y0 < region.box.y1; }

// `source` moved by (dx, dy) into `target`; false when memory is short or a
// moved edge would leave the 32-bit range.
bool ShiftedCopy(Region* target, const Region& source, int64_t dx, int64_t dy) {
    if (source.count == 0) {
        target->ResetCount();
        return true;
    }
    auto fits = [](int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    const RegionRect& b = source.box;
    if (!fits(b.x0 + dx) || !fits(b.x1 + dx) || !fits(b.y0 + dy) || !fits(b.y1 + dy)) return false;
    if (!RegionCopy(target, source)) return false;
    auto move = [dx, dy](RegionRect* r) {
        r->x0 = static_cast<int32_t>(r->x0 + dx);
        r->x1 = static_cast<int32_t>(r->x1 + dx);
        r->y0 = static_cast<int32_t>(r->y0 + dy);
        r->y1 = static_cast<int32_t>(r->y1 + dy);
    };
    for (uint32_t i = 0; i < target->count; ++i) move(&target->rects[i]);
    move(&target->box);
    return true;
}

// Adds `source`, moved by (dx, dy), to the union in `target`.
bool UniteShifted(Region* target, Region* scratch, const Region& source, int64_t dx, int64_t dy) {
    if (source.count == 0) return true;
    return ShiftedCopy(scratch, source, dx, dy) && RegionUnion(target, *target, *scratch);
}

// The container locks of a group's members, entered in member order and left
// in reverse.
class MemberLocks {
public:
    bool Enter(Shape* const* members, uint32_t count) {
        try {
            locks_.reserve(count);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (uint32_t i = 0; i < count; ++i) {
            std::recursive_mutex* lock = members[i]->ContainerLock();
            if (lock != nullptr) lock->lock();
            locks_.push_back(lock);
        }
        return true;
    }
    void Leave() {
        for (size_t i = locks_.size(); i-- > 0;)
            if (locks_[i] != nullptr) locks_[i]->unlock();
        locks_.clear();
    }
    ~MemberLocks() { Leave(); }

private:
    std::vector<std::recursive_mutex*> locks_;
};

}  // namespace

// ---- Items ---------------------------------------------------------------------------------------

bool ReductionTakesShapeKind(int32_t kind, int32_t role) {
    const bool open = kind == kKindPolyLine || kind == kKindBSpline || kind == kKindLine || kind == kKindArc;
    const bool closed = (kind >= kKindRect && kind <= kKindQuads) || kind == kKindEllipseSeg ||
                        kind == kKindEllipseATSeg;
    return (role == kRoleSlice && open) || (role >= kRoleStatistic && closed);
}

bool ReductionComponent::CreateItemShape(const ShapeRequest* description, const EditTransformState* offset) {
    ShapeRequest slice;
    slice.kind = kKindLine;
    slice.role = kRoleSlice;
    if (description == nullptr || !ReductionTakesShapeKind(description->kind, description->role)) description = &slice;
    return NodeShapeAction(&node, description, offset);
}

bool ReductionComponent::Node::FrameSize(int64_t* width, int64_t* height) {
    FrameDataRecord* up = owner_->UpstreamFrameData(-1, -1);
    if (up == nullptr || up->width <= 0 || up->height <= 0 || up->width == INT64_MAX || up->height == INT64_MAX)
        return false;
    *width = up->width;
    *height = up->height;
    return true;
}

void ReductionComponent::Node::VisibleOrigin(double* x, double* y) {
    *x = *y = 0.0;
    if (auto origin = TheReductionServices().visibleOrigin) origin(owner_, x, y);
}

namespace {

// The shape container of the display a device shows on; nullptr without one.
ShapeContainer* ContainerOf(DeviceViewBase* device) {
    auto* port = device != nullptr ? dynamic_cast<ViewConsumer*>(device->port) : nullptr;
    return port != nullptr ? static_cast<ShapeContainer*>(port->shapes) : nullptr;
}

bool HoldsShapes(const ShapeContainer* c) { return c != nullptr && c->view != nullptr && c->view->WindowReady(); }

// Depth first below `stage`: the display of a stage whose view hands its new shapes to
// `item`. A chain is a handful of stages; the depth bound keeps a malformed one finite.
ShapeContainer* ViewOfItem(ComponentBase* stage, ShapeItem* item, int depth) {
    if (stage == nullptr || depth > 64) return nullptr;
    ShapeContainer* c = ContainerOf(stage->portRecord);
    if (HoldsShapes(c) && c->view->DefaultItem() == item) return c;
    for (ConsumerLink* l = stage->firstLink; l != nullptr; l = l->next)
        if (ShapeContainer* found = ViewOfItem(l->owner, item, depth + 1)) return found;
    return nullptr;
}

}  // namespace

ShapeContainer* ReductionComponent::Node::Display() {
    ShapeContainer* own = ContainerOf(owner_->portRecord);
    if (HoldsShapes(own)) return own;
    // The display of the Reduction's own output (its chart) draws no shapes: the masks go
    // to the image display of the same data, whose view gives its new shapes to us.
    ComponentBase* head = owner_;
    for (int depth = 0; depth < 64; ++depth) {
        ComponentBase* above = ComponentUpstream(head);
        if (above == nullptr || above == head) break;
        head = above;
    }
    return ViewOfItem(head, &owner_->itemLink, 0);
}

bool ReductionComponent::Node::TakeShape(Shape* shape) {
    if (ShapeContainer* display = Display()) return display->AddShapeGlyph(shape, &owner_->itemLink, false, true);
    if (!shape->items.Add(&owner_->itemLink)) return false;
    if (owner_->AddItem(shape)) return true;
    shape->items.Remove(&owner_->itemLink);
    return false;
}

bool ReductionComponent::HoldsItemOf(const Shape* shape) const {
    if (shape == nullptr) return false;
    if (shape->itemEntry != nullptr) return shape->itemEntry->list == &items;
    const ItemGroup* group = shape->itemGroup;
    return group != nullptr && group->holder != nullptr && group->holder->list == &items;
}

Shape* ReductionComponent::CurrentItemShape() const {
    if (items.count == 0 || items.currentIndex >= items.count) return nullptr;
    const ItemResultEntry& e = items.entries[items.currentIndex];
    if (e.shape != nullptr) return e.shape;
    return e.group != nullptr && e.group->memberCount != 0 ? e.group->members[0] : nullptr;
}

void ReductionComponent::RefreshItems(bool repaint) {
    if (!HasNoItems() && ComponentUpstream(this) != nullptr)
        RequestRefresh();
    else
        ComponentResetResults(this);
    if (repaint) RefreshAllWindowsWhenUp();
}

void ReductionComponent::ItemsChanged(bool wasEmpty, bool current) {
    // Shapes that join together (a file of them, an undo that brings back many) change
    // the pages once, when the last is in place.
    if (current && ShapeBatch::Defer(this, 0, [this] { ItemsChanged(false, true); })) current = false;
    if (wasEmpty && ShapeBatch::Defer(this, 1, [this] { ItemsChanged(true, false); })) wasEmpty = false;
    const ReductionServices& s = TheReductionServices();
    if (current) {
        if (s.refreshPages) s.refreshPages(this);
        const ComponentServices& c = TheComponentServices();
        if (portRecord != nullptr && c.playbackRange != nullptr) c.playbackRange(portRecord->portList, nullptr);
    }
    if (wasEmpty && s.windowTreeRefresh != nullptr) s.windowTreeRefresh(this);
}

bool ReductionComponent::AddItem(Shape* shape) {
    if (shape == nullptr) return false;
    bool wasEmpty;
    {
        Hold hold(DisplayLock());
        wasEmpty = HasNoItems();
        // A shape the list holds already becomes the measured item (a click, Tab or an
        // edit made it the view's current shape); the current one is left as it is.
        const int found = items.Find(shape);
        if (found < 1) return false;
        if (found == 2) return true;
        if (CurrentItemShape() == shape && portRecord != nullptr) {
            keyA.store(0);
            keyB.store(0);
            ComponentClearValidDownstream(this);
        }
        if (StatisticBlock* b = Statistic()) b->filled = 0;
    }
    ItemsChanged(wasEmpty && ComponentUiUp() && portRecord != nullptr, true);
    return true;
}

bool ReductionComponent::AddGroupItem(ItemGroup* group) {
    if (group == nullptr || group->holder != nullptr) return false;
    bool wasEmpty;
    {
        Hold hold(DisplayLock());
        if (items.busy) return false;
        wasEmpty = HasNoItems();
        const uint32_t index = items.Count();
        if (CatchResultCode([&] { items.SetCount(index + 1); }) != 0) return false;
        ItemResultEntry& entry = items.entries[index];
        entry.list = &items;
        entry.group = group;
        group->AddRef();
        group->holder = &entry;
        items.totalSize += group->size;
        items.currentIndex = index;
        if (StatisticBlock* b = Statistic()) b->filled = 0;
    }
    ItemsChanged(wasEmpty && ComponentUiUp() && portRecord != nullptr, true);
    return true;
}

bool ReductionComponent::RemoveItem(Shape* shape) { return LetGo(shape, true); }

bool ReductionComponent::LetGo(Shape* shape, bool unlink) {
    bool current = false, left = false, none = false, entryGone = false;
    {
        Hold hold(DisplayLock());
        if (items.busy) return false;
        if (shape == nullptr) shape = CurrentItemShape();
        if (shape == nullptr || !HoldsItemOf(shape)) return false;
        // The measured item stays the one it was when another goes (the entries after
        // the removed one move down); with none measured, none stays.
        const bool wasNone = items.currentIndex >= items.Count();
        Shape* measured = CurrentItemShape();
        // Before the shape's last reference may go with the entry.
        if (unlink) shape->items.Remove(&itemLink);
        if (ItemResultEntry* entry = shape->itemEntry) {
            current = !wasNone && static_cast<uint32_t>(entry - items.entries) == items.currentIndex;
            if (CatchResultCode([&] { items.Remove(entry); }) != 0) return false;
            entryGone = true;
        } else {
            ItemGroup* group = shape->itemGroup;
            current = !wasNone && static_cast<uint32_t>(group->holder - items.entries) == items.currentIndex;
            group->RemoveMember(shape);
        }
        // A shape that left the screen hands the measurement to the shape the screen
        // makes current next (it asks for it); until then nothing is measured.
        none = wasNone || (current && entryGone && !unlink);
        if (none) items.currentIndex = items.Count();
        else if (!current) PointAtItemOf(measured);
        if (current) {
            ResultBufferReset(&outputData);
            if (StatisticBlock* b = Statistic()) b->filled = 0;
        }
        left = !HasNoItems() && !none;
    }
    if (current) {
        ItemsChanged(true, true);
        // Without a measured item the chart and the list beside it drop what they show:
        // the pull that follows finds nothing to measure, and the chart lets its curve go.
        if (!left) ComponentResetResults(this);
        if (ComponentUpstream(this) != nullptr) RequestRefresh();
        if (!left) RefreshAllWindowsWhenUp();
    }
    return true;
}

void ReductionComponent::PointAtItemOf(const Shape* shape) {
    if (shape == nullptr) return;
    if (shape->itemEntry != nullptr && shape->itemEntry->list == &items)
        items.currentIndex = static_cast<uint32_t>(shape->itemEntry - items.entries);
    else if (shape->itemGroup != nullptr && shape->itemGroup->holder != nullptr && shape->itemGroup->holder->list == &items)
        items.currentIndex = static_cast<uint32_t>(shape->itemGroup->holder - items.entries);
}

// ---- The shapes' view of the component -----------------------------------------------------------

// The component takes itself out of the item lists of the shapes it lets go,
// so the links count no references: a component and its shapes never keep
// each other alive.
int32_t ReductionComponent::ItemLink::AddRef() { return 1; }
int32_t ReductionComponent::ItemLink::Release() { return 1; }
bool ReductionComponent::ItemLink::Check(Shape* shape) { return owner_->AddItem(shape); }
// The shape walks its item list: the link stays in it.
bool ReductionComponent::ItemLink::Detach(Shape* shape) { return owner_->LetGo(shape, false); }
// A shape that leaves its view stays an item: it comes back with the view.
void ReductionComponent::ItemLink::Notify(Shape*) {}
void ReductionComponent::ItemLink::Refresh(int32_t flag) { owner_->RefreshItems(flag != 0); }
// The item takes a slice or area shape that it does not hold yet.
bool ReductionComponent::ItemLink::Accepts(Shape* shape) { return owner_->AddItem(shape); }
// The item's numbers are new: every window that shows them (the statistics list beside
// the chart is a window of its own) is repainted with them.
void ReductionComponent::ItemLink::Restart() {
    if (owner_->HasNoItems() || ComponentUpstream(owner_) == nullptr) return;
    owner_->RequestRefresh();
    RefreshAllWindowsWhenUp();
}

// ---- The consumer side ---------------------------------------------------------------------------

void ReductionComponent::Input::OnUpstreamChanged() {
    auto* self = static_cast<ReductionComponent*>(owner);
    Hold hold(DisplayLock());
    self->outputData.state = 0;
    // The frame the statistic held is not the upstream's any more.
    self->heldFrame.pending = 0;
}

bool ReductionComponent::Input::AcceptFormat(FormatRequest* request) {
    return static_cast<ReductionComponent*>(owner)->OnUpstreamChange(request);
}

void* ReductionComponent::Input::DataAccess() { return &static_cast<ReductionComponent*>(owner)->outputData; }

// ---- The runner ----------------------------------------------------------------------------------

const FrameDesc* ReductionComponent::DescribeFrame(int32_t frame, int32_t channel) {
    if (auto query = TheReductionServices().queryFrameDesc) return query(this, frame, channel);
    FrameDataRecord* up = UpstreamFrameData(frame, -1);
    if (up == nullptr) return nullptr;
    frameDesc = FrameDesc{};
    frameDesc.requestFrame = frame;
    frameDesc.requestSection = channel;
    frameDesc.valid = 1;
    frameDesc.frame = up->frame;
    frameDesc.section = up->section;
    frameDesc.width = up->width;
    frameDesc.height = up->height;
    frameDesc.channels = InputChannelCount();
    frameDesc.samplesPerPixel = frameDesc.channels;
    return &frameDesc;
}

namespace {

// A slice produced its profile: the pull result is marked filled and carries the
// object the shape has attached (the one it held before is let go).
void TakeProfile(const Shape* shape, PullResult* result) {
    if (shape->attached != nullptr) result->image.sub.Attach(shape->attached);
    result->image.flags |= kReductionResultFilled;
}

}  // namespace

int32_t ReductionComponent::RunShape(Shape* shape, PullResult* result, const FrameDesc* frame,
                                     PullRequest* request) {
    ShapeLock lock(shape);
    if (shape->header.role != kRoleSlice) {
        const ShapeRegion& mask = shape->derived.mask;
        if (!HasArea(mask)) return 1;
        StatisticMask m{&mask, &shape->derived.offsetRegion, mask.originX, mask.originY, shape};
        return statisticKernel(this, m, result, frame, request);
    }
    if (PathPointCount(shape) == 0) return 1;
    const int32_t code = extraction(this, shape, result, frame, request);
    if (code >= 2) TakeProfile(shape, result);
    return code;
}

int32_t ReductionComponent::RunGroup(ItemGroup* group, PullResult* result, const FrameDesc* frame,
                                     PullRequest* request) {
    Shape* const* members = group->members;
    const uint32_t n = group->memberCount;
    if (members[0]->header.role == kRoleSlice) {
        // Every member adds to one slice: after the first that produced data,
        // the request no longer asks for a fresh start.
        PullRequest local = request != nullptr ? *request : PullRequest{};
        bool produced = false;
        for (uint32_t i = 0; i < n; ++i) {
            Shape* member = members[i];
            ShapeLock lock(member);
            if (PathPointCount(member) == 0) continue;
            if (extraction(this, member, result, frame, &local) >= 2 && !produced) {
                produced = true;
                local.readAgain = 0;
            }
        }
        if (!produced) return 1;
        ShapeLock lock(members[n - 1]);
        TakeProfile(members[n - 1], result);
        return 5;
    }

    // Area members: one object mask (the union of the members' masks) and one
    // background (the union of their backgrounds less the object), in the frame
    // of the smallest member origin.
    MemberLocks locks;
    if (!locks.Enter(members, n)) return -1;
    Shape* first = nullptr;
    uint32_t valid = 0;
    int64_t originX = INT32_MAX, originY = INT32_MAX;
    for (uint32_t i = 0; i < n; ++i) {
        const ShapeRegion& mask = members[i]->derived.mask;
        if (!HasArea(mask)) continue;
        if (first == nullptr) first = members[i];
        ++valid;
        if (mask.originX < originX) originX = mask.originX;
        if (mask.originY < originY) originY = mask.originY;
    }
    if (valid == 0) return 1;
    if (valid == 1) {
        locks.Leave();
        return RunShape(first, result, frame, request);
    }
    Region object, background, scratch;
    bool ok = true;
    for (uint32_t i = 0; i < n && ok; ++i) {
        const ShapeRegion& mask = members[i]->derived.mask;
        if (!HasArea(mask)) continue;
        const ShapeRegion& ring = members[i]->derived.offsetRegion;
        ok = UniteShifted(&object, &scratch, mask, mask.originX - originX, mask.originY - originY) &&
             UniteShifted(&background, &scratch, ring, ring.originX - originX, ring.originY - originY);
    }
    locks.Leave();
    if (ok && !object.IsEmpty() && !background.IsEmpty()) ok = RegionSubtract(&background, background, object);
    if (!ok) return -1;
    ShapeLock lock(first);  // the marks go to the first valid member
    StatisticMask m{&object, &background, static_cast<int32_t>(originX), static_cast<int32_t>(originY), first};
    return statisticKernel(this, m, result, frame, request);
}

int32_t ReductionComponent::RunItem(ComponentBase* component, PullResult* result, PullRequest* request) {
    auto* self = static_cast<ReductionComponent*>(component);
    if (self == nullptr || result == nullptr) return 0;
    ItemResultList& items = self->items;
    int32_t index = result->window.section;
    if (index < 0) index = static_cast<int32_t>(items.currentIndex);
    const uint32_t plane = self->PlaneIndex();
    const FrameDesc* frame = nullptr;
    if (items.Count() == 0 || static_cast<uint32_t>(index) >= items.Count() || ComponentUpstream(self) == nullptr ||
        (frame = self->DescribeFrame(result->window.frame, static_cast<int32_t>(plane))) == nullptr ||
        frame->channels <= plane) {
        // Nothing to measure: the result goes empty.
        if (result->pending == 0) return 0;
        result->pending = 0;
        result->image.Reset();
        StatisticBlock* block = self->Statistic();
        if (result->statistic != nullptr && block != nullptr) {
            block->filled = 0;
            result->statistic = block;
        } else {
            result->statistic = nullptr;
        }
        return 1;
    }
    result->statistic = nullptr;
    result->image.DropFrame();
    result->image.flags = 0;
    if (StatisticBlock* block = self->Statistic()) block->filled = 0;
    int32_t code = 1;

    ItemGroup* group = nullptr;
    Shape* shape = nullptr;
    if (CatchResultCode([&] {
            ItemResultEntry& entry = items.At(static_cast<uint32_t>(index));
            group = entry.group;
            shape = entry.shape;
        }) != 0)
        return code;
    if (group != nullptr) group->AddRef();
    if (shape != nullptr) shape->AddRef();
    if (shape != nullptr)
        code = self->RunShape(shape, result, frame, request);
    else if (group != nullptr && group->memberCount > 1)
        code = self->RunGroup(group, result, frame, request);
    else if (group != nullptr && group->memberCount == 1)
        code = self->RunShape(group->members[0], result, frame, request);
    if (shape != nullptr) shape->Release();
    if (group != nullptr) group->Release();
    if (code >= 2) {
        // A slice's profile carries its frame list; a statistic's block was handed
        // along by its kernel.
        if ((result->image.flags & kReductionResultFilled) != 0 && result->statistic == nullptr) {
            self->sliceFrames.samples = result->image.width;
            result->statistic = &self->sliceFrames;
        }
        result->pending = 1;
        result->deliveredFrame = static_cast<uint32_t>(result->window.frame);
        result->deliveredSection = static_cast<uint32_t>(index);
    }
    return code;
}

}  // namespace orva
