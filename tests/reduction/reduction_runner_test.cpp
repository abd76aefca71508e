// The Reduction's items and its runner: which item a pull runs, the emptied
// result, single shapes, groups of slices and of statistic shapes measured as
// one mask, adding and removing items, and a pull from a second thread while
// the user-interface thread reshapes the measured shape.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "framework/display_lock.h"
#include "reduction_fixture.h"

namespace orva {
namespace {

using namespace reduction_testing;
using Pixels_t = KernelLog::PixelList;

class RunnerTest : public ReductionTest {
protected:
    RunnerTest() : chain(&ui, 1) {
        EXPECT_TRUE(chain.Connect());
        r = chain.reduction;
        r->statisticKernel = &RecordingStatistic;
        r->extraction = &RecordingExtraction;
    }
    int32_t Pull(int32_t item, uint8_t readAgain = 1) {
        result.window.frame = 0;
        result.window.section = item;
        PullRequest request;
        request.readAgain = readAgain;
        return ReductionComponent::RunItem(r, &result, &request);
    }
    // A group of the shapes, held by the component as one item.
    ReductionResult* Group(std::initializer_list<Shape*> members) {
        ReductionResult* g = ReductionResult::Create(r);
        for (Shape* s : members) EXPECT_TRUE(g->AddMember(s));
        EXPECT_TRUE(r->AddGroupItem(g));
        g->Release();
        return g;
    }
    Chain chain;
    ReductionComponent* r = nullptr;
    PullResult result;
    KernelLog& log = TheKernelLog();
};

TEST_F(RunnerTest, APullRunsTheAskedOrCurrentItemAndEmptiesBeyondTheList) {
    EXPECT_EQ(Pull(-1), 0);  // no items, nothing held: nothing
    Measured a(kKindRect, kRoleStatistic), b(kKindRect, kRoleStatistic);
    a.Square(0, 0, 0, 0, 4, 4, 0);
    b.Square(0, 0, 0, 0, 5, 5, 0);
    ASSERT_TRUE(r->AddItem(a.shape));
    ASSERT_TRUE(r->AddItem(b.shape));
    EXPECT_EQ(r->CurrentItemShape(), b.shape);
    EXPECT_EQ(Pull(-1), 5);
    EXPECT_EQ(log.markShapes.back(), b.shape);
    EXPECT_EQ(std::tuple(result.pending, result.deliveredSection), std::tuple(1, 1u));
    EXPECT_EQ(Pull(0), 5);
    EXPECT_EQ(log.markShapes.back(), a.shape);
    EXPECT_TRUE(log.lockHeld);

    // Beyond the list: a valid result is emptied (1) and points at the cleared statistic block.
    result.statistic = r->Statistic();
    r->Statistic()->filled = 3;
    EXPECT_EQ(Pull(2), 1);
    EXPECT_EQ(result.pending, 0);
    EXPECT_EQ(result.statistic, r->Statistic());
    EXPECT_EQ(r->Statistic()->filled, 0u);
    EXPECT_EQ(Pull(7), 0);
    // A channel the frame does not have empties the result as well.
    EXPECT_EQ(Pull(0), 5);
    r->Options().values.allChannels = 0;
    r->Options().values.nChannel = 2;
    chain.up->offered.channels = 2;
    FormatRequest two{0x40, 8, 2, 2, 0, 0};
    ASSERT_TRUE(r->input.AcceptFormat(&two));
    TheReductionServices().queryFrameDesc = [](ReductionComponent*, int32_t, int32_t) -> const FrameDesc* {
        static FrameDesc one;
        one.channels = 1;
        return &one;
    };
    EXPECT_EQ(Pull(0), 1);
    EXPECT_EQ(log.statisticCalls.load(), 3);
}

TEST_F(RunnerTest, SingleShapesRunTheirKernelOnlyWithSomethingToMeasure) {
    Measured empty(kKindRect, kRoleStatistic), area(kKindEllipse, kRoleFindArea), slice(kKindLine, kRoleSlice);
    ASSERT_TRUE(r->AddItem(empty.shape));
    EXPECT_EQ(Pull(-1), 1);
    EXPECT_EQ(log.statisticCalls.load(), 0);

    area.Square(3, 4, 1, 1, 6, 2, 2);
    ASSERT_TRUE(r->AddItem(area.shape));
    EXPECT_EQ(Pull(-1), 5);
    ASSERT_EQ(log.origins.size(), 1u);
    EXPECT_EQ(log.origins[0], std::make_pair(3, 4));
    EXPECT_EQ(log.objects[0].size(), 12u);
    EXPECT_EQ(log.backgrounds[0].size(), 10u * 6 - 12);

    ASSERT_TRUE(r->AddItem(slice.shape));
    EXPECT_EQ(Pull(-1), 1);  // no path yet
    slice.Path(4);
    EXPECT_EQ(Pull(-1), 5);
    EXPECT_EQ(std::tuple(log.extracted.size(), result.image.flags & kReductionResultFilled), std::tuple(1u, 1u));
    log.extractionCode = 1;
    EXPECT_EQ(Pull(-1), 1);
    EXPECT_EQ(result.image.flags & kReductionResultFilled, 0u);
    EXPECT_TRUE(log.lockHeld);

    // A group of exactly one shape is that shape.
    Measured only(kKindRect, kRoleStatistic);
    only.Square(-5, 2, 0, 0, 3, 3, 1);
    Group({only.shape});
    EXPECT_EQ(Pull(-1), 5);
    EXPECT_EQ(std::tuple(log.markShapes.back(), log.origins.back(), log.objects.back().size()),
              std::tuple(only.shape, std::make_pair(-5, 2), 9u));
}

TEST_F(RunnerTest, GroupedSlicesAddToOneSlice) {
    Measured a(kKindLine, kRoleSlice), b(kKindPolyLine, kRoleSlice), c(kKindLine, kRoleSlice);
    a.Path(3);
    c.Path(5);  // b has no path: it is passed over
    Group({a.shape, b.shape, c.shape});
    EXPECT_EQ(Pull(-1, 1), 5);
    ASSERT_EQ(log.extracted.size(), 2u);
    EXPECT_EQ(std::tuple(log.extracted[0], log.extracted[1]), std::tuple(a.shape, c.shape));
    // The first member starts the slice; the others add to it.
    EXPECT_EQ(std::tuple(log.readAgain[0], log.readAgain[1]), std::tuple(1, 0));
    EXPECT_EQ(result.image.flags & kReductionResultFilled, 1u);
    // Until a member has produced data, the request stays as it was.
    log.extractionCode = 1;
    EXPECT_EQ(Pull(-1, 1), 1);
    EXPECT_EQ(std::tuple(log.readAgain[2], log.readAgain[3]), std::tuple(1, 1));
    EXPECT_TRUE(log.lockHeld);
}

// An object a shape carries, counting its references.
class CountedObject : public AttachedObject {
public:
    void AddRef() override { ++refs; }
    void Release() override { --refs; }
    int refs = 0;
};

void Carry(Shape* shape, CountedObject* object) {
    object->AddRef();
    shape->attached = object;
}

TEST_F(RunnerTest, ASliceHandsTheObjectItsShapeCarriesToThePull) {
    // They outlive the fixture's pull result, which may still hold one when a check fails.
    static CountedObject first, second, third;
    for (CountedObject* o : {&first, &second, &third}) o->refs = 0;
    {
        Measured a(kKindLine, kRoleSlice), b(kKindLine, kRoleSlice);
        a.Path(4);
        Carry(a.shape, &first);
        ASSERT_TRUE(r->AddItem(a.shape));
        EXPECT_EQ(Pull(-1), 5);
        EXPECT_EQ(std::tuple(result.image.sub.attached, first.refs, result.image.flags & kReductionResultFilled),
                  std::tuple(&first, 2, 1u));
        EXPECT_EQ(Pull(-1), 5);  // pulled again: still one reference for the result
        EXPECT_EQ(first.refs, 2);
        log.extractionCode = 1;  // no profile: the object held stays
        EXPECT_EQ(Pull(-1), 1);
        EXPECT_EQ(std::tuple(result.image.sub.attached, first.refs), std::tuple(&first, 2));
        log.extractionCode = 5;

        // The next slice's object replaces the one held.
        b.Path(3);
        Carry(b.shape, &second);
        ASSERT_TRUE(r->AddItem(b.shape));
        EXPECT_EQ(Pull(-1), 5);
        EXPECT_EQ(std::tuple(result.image.sub.attached, first.refs, second.refs), std::tuple(&second, 1, 2));

        // Slices measured as one: the last member's object.
        Measured d(kKindLine, kRoleSlice), e(kKindLine, kRoleSlice), f(kKindLine, kRoleSlice);
        d.Path(3);
        e.Path(2);
        f.Path(4);
        Carry(d.shape, &third);
        Carry(f.shape, &first);
        Group({d.shape, f.shape, e.shape});
        EXPECT_EQ(Pull(-1), 5);
        EXPECT_EQ(result.image.sub.attached, &second);  // e carries nothing
        Group({d.shape, e.shape, f.shape});
        EXPECT_EQ(Pull(-1), 5);
        EXPECT_EQ(std::tuple(result.image.sub.attached, first.refs, second.refs, third.refs),
                  std::tuple(&first, 3, 1, 1));

        // An emptied result lets its object go.
        EXPECT_EQ(Pull(9), 1);
        EXPECT_EQ(std::tuple(result.image.sub.attached, first.refs), std::tuple(nullptr, 2));
        r->PresetCommand(1);
    }
    // A destroyed shape lets go of what it carried.
    EXPECT_EQ(std::tuple(first.refs, second.refs, third.refs), std::tuple(0, 0, 0));
}

TEST_F(RunnerTest, GroupedStatisticShapesAreMeasuredAsOneMaskWithOneBackground) {
    // Two 10 x 10 squares with 2-pixel rings in two containers, their regions in frames of their own.
    Measured a(kKindRect, kRoleStatistic), b(kKindRect, kRoleStatistic), none(kKindRect, kRoleStatistic);
    a.Square(100, 50, 2, 2, 10, 10, 2);  // absolute [102, 112) x [52, 62)
    b.Square(95, 58, 12, 0, 10, 10, 2);  // absolute [107, 117) x [58, 68): overlaps a's ring and a
    ASSERT_NE(&a.box, &b.box);
    Group({none.shape, a.shape, b.shape});
    EXPECT_EQ(Pull(-1), 5);
    ASSERT_EQ(log.statisticCalls.load(), 1);
    EXPECT_EQ(log.origins[0], std::make_pair(95, 50));
    EXPECT_EQ(log.markShapes[0], a.shape);  // the first member that measures something
    EXPECT_TRUE(log.lockHeld);

    // The reference: every absolute pixel of the squares, and of the rings less the squares.
    auto square = [](int64_t x0, int64_t y0, int64_t w, int64_t h, Pixels_t* out) {
        for (int64_t y = y0; y < y0 + h; ++y)
            for (int64_t x = x0; x < x0 + w; ++x) out->emplace_back(x, y);
    };
    Pixels_t object, rings;
    square(102, 52, 10, 10, &object);
    square(107, 58, 10, 10, &object);
    square(100, 50, 14, 14, &rings);
    square(105, 56, 14, 14, &rings);
    auto unique = [](Pixels_t* p) {
        std::sort(p->begin(), p->end());
        p->erase(std::unique(p->begin(), p->end()), p->end());
    };
    unique(&object);
    unique(&rings);
    Pixels_t background;
    std::set_difference(rings.begin(), rings.end(), object.begin(), object.end(), std::back_inserter(background));
    EXPECT_EQ(log.objects[0], object);
    EXPECT_EQ(log.backgrounds[0], background);
    EXPECT_EQ(object.size(), 200u - 4 * 5);

    // Figures whose masks and rings their own procedures built: the kernel sees
    // the union of the masks and the union of the rings less the masks, in place.
    Measured ellipse(kKindEllipse, kRoleStatistic), rect(kKindRect, kRoleStatistic);
    ellipse.Figure(20.5f, 30.25f, 41.0f, 44.0f, 4);
    rect.Figure(36.0f, 18.0f, 50.0f, 33.0f, 6);
    ASSERT_FALSE(ellipse.shape->derived.offsetRegion.IsEmpty());
    ASSERT_NE(ellipse.shape->derived.mask.originX, rect.shape->derived.mask.originX);
    Group({ellipse.shape, rect.shape});
    EXPECT_EQ(Pull(-1), 5);
    Pixels_t figures, ringsOnly;
    for (const Shape* f : {ellipse.shape, rect.shape}) {
        const ShapeRegion& m = f->derived.mask;
        const ShapeRegion& g = f->derived.offsetRegion;
        for (auto p : Pixels(m, m.originX, m.originY)) figures.push_back(p);
        for (auto p : Pixels(g, g.originX, g.originY)) ringsOnly.push_back(p);
    }
    unique(&figures);
    unique(&ringsOnly);
    Pixels_t ringsLessFigures;
    std::set_difference(ringsOnly.begin(), ringsOnly.end(), figures.begin(), figures.end(),
                        std::back_inserter(ringsLessFigures));
    ASSERT_EQ(log.objects.size(), 2u);
    EXPECT_EQ(log.objects[1], figures);
    EXPECT_EQ(log.backgrounds[1], ringsLessFigures);
    EXPECT_EQ(log.markShapes[1], ellipse.shape);
    r->PresetCommand(1);
    Group({none.shape, a.shape, b.shape});
    log.Clear();

    // One member left with a mask: the item is that shape.
    b.shape->derived.mask.ResetCount();
    EXPECT_EQ(Pull(-1), 5);
    EXPECT_EQ(std::tuple(log.markShapes[0], log.origins[0], log.objects[0].size()),
              std::tuple(a.shape, std::make_pair(100, 50), 100u));
    // None: nothing measured.
    a.shape->derived.mask.ResetCount();
    EXPECT_EQ(Pull(-1), 1);
    EXPECT_EQ(log.statisticCalls.load(), 1);
}

TEST_F(RunnerTest, ItemsComeAndGo) {
    Measured a(kKindRect, kRoleStatistic), b(kKindRect, kRoleStatistic), c(kKindRect, kRoleStatistic);
    // The window tree is refreshed when the first item comes while the user interface is up.
    static int trees;
    trees = 0;
    TheReductionServices().windowTreeRefresh = [](ComponentBase*) { ++trees; };
    TheComponentServices().uiUp = [] { return true; };
    ASSERT_TRUE(r->AddItem(a.shape));
    ASSERT_TRUE(r->AddItem(b.shape));
    EXPECT_EQ(trees, 1);
    const uint32_t refs = b.shape->refCount.load();
    r->items.currentIndex = 0;
    // A shape already held (made current on its view) becomes the measured item: no new
    // entry, no new reference; again, nothing changes.
    EXPECT_TRUE(r->AddItem(b.shape));
    EXPECT_EQ(std::tuple(r->items.Count(), r->items.currentIndex, b.shape->refCount.load()), std::tuple(2u, 1u, refs));
    EXPECT_TRUE(r->AddItem(b.shape));
    EXPECT_EQ(std::tuple(r->items.Count(), r->items.currentIndex, b.shape->refCount.load()), std::tuple(2u, 1u, refs));
    r->items.currentIndex = 0;
    EXPECT_TRUE(r->HoldsItemOf(b.shape));
    EXPECT_FALSE(r->HoldsItemOf(c.shape));
    EXPECT_TRUE(r->itemLink.Accepts(a.shape));

    r->items.busy = 1;
    EXPECT_FALSE(r->RemoveItem(a.shape));
    r->items.busy = 0;
    EXPECT_TRUE(r->RemoveItem(nullptr));  // the current item, a
    EXPECT_EQ(std::tuple(r->items.Count(), r->CurrentItemShape(), r->HoldsItemOf(a.shape)),
              std::tuple(1u, b.shape, false));
    EXPECT_FALSE(r->RemoveItem(c.shape));
    // A member of a group leaves the group.
    ReductionResult* g = Group({a.shape, c.shape});
    EXPECT_TRUE(r->HoldsItemOf(c.shape));
    EXPECT_TRUE(r->itemLink.Detach(c.shape));
    EXPECT_EQ(std::tuple(g->memberCount, c.shape->itemGroup), std::tuple(1u, static_cast<ItemGroup*>(nullptr)));

    // The kinds and roles the Reduction makes shapes of.
    struct Kind {
        int32_t kind, role;
        bool taken;
    };
    const Kind kinds[] = {{kKindBSpline, kRoleSlice, true},      {kKindArc, kRoleSlice, true},
                          {kKindRect, kRoleSlice, false},        {kKindEllipse, kRoleStatistic, true},
                          {kKindEllipseATSeg, kRoleFindArea, true}, {kKindPolyLine, kRoleStatistic, false},
                          {kKindPoint, kRoleSlice, false},       {kKindRect, kRoleGaugeArea, false}};
    for (const Kind& k : kinds) EXPECT_EQ(ReductionTakesShapeKind(k.kind, k.role), k.taken) << k.kind << " " << k.role;

    // The reset lets every item go, and leaves the shapes' item lists.
    ASSERT_TRUE(b.shape->items.Add(&r->itemLink));
    r->PresetCommand(1);
    EXPECT_EQ(b.shape->items.head, nullptr);
    EXPECT_TRUE(r->HasNoItems());
    EXPECT_FALSE(r->HoldsItemOf(b.shape));
}

// The range of the played frames is made anew with every port of the view's list, its
// own included: a Reduction that gets (or loses) its measured item brings its chart into
// the played frames (or takes it out), so that the chart pulls the frame the cells show.
TEST_F(RunnerTest, AnItemMakesThePlayedRangeAnewWithTheChartsOwnPort) {
    static std::vector<std::pair<PortList*, OutPort*>> ranges;
    ranges.clear();
    TheComponentServices().playbackRange = [](PortList* list, OutPort* leaveOut) { ranges.emplace_back(list, leaveOut); };
    struct ChartPort : OutPort {
        bool CreateOutputWindow(const ComponentId*, const FormatRequest*, OutputWindow**) override { return false; }
    } port;
    PortList list;
    chain.device.portList = &list;
    chain.device.port = &port;
    Measured a(kKindRect, kRoleStatistic);
    ASSERT_TRUE(r->AddItem(a.shape));
    EXPECT_TRUE(r->RemoveItem(a.shape));
    EXPECT_EQ(ranges, (std::vector<std::pair<PortList*, OutPort*>>{{&list, nullptr}, {&list, nullptr}}));
    chain.device.portList = nullptr;
    chain.device.port = nullptr;
}

// A shape deleted, removed with all others or taken away by an undo is no item any
// more; the measured item stays the one it was when another goes, is none when it goes
// itself, and comes back, measured, with the step that brings its shape back.
TEST_F(RunnerTest, ShapesOffTheirViewAreNoItems) {
    Measured a(kKindRect, kRoleStatistic), b(kKindRect, kRoleStatistic), c(kKindRect, kRoleStatistic);
    for (Measured* m : {&a, &b, &c}) {
        m->view.item = &r->itemLink;
        ASSERT_TRUE(m->shape->items.Add(&r->itemLink));
        ASSERT_TRUE(r->AddItem(m->shape));
    }
    ASSERT_EQ(r->CurrentItemShape(), c.shape);
    auto state = [&] { return std::tuple(r->items.Count(), r->CurrentItemShape()); };
    bool removed = false;
    ASSERT_TRUE(a.box.RemoveShape(0, nullptr, a.shape, true, false, kUndoModeRecord, &removed));
    EXPECT_TRUE(removed);
    EXPECT_EQ(state(), std::tuple(2u, c.shape));
    EXPECT_FALSE(r->HoldsItemOf(a.shape));
    // The shape left its item's list too: a Reduction that goes first leaves it nothing.
    EXPECT_EQ(a.shape->items.head, nullptr);
    ASSERT_TRUE(c.box.RemoveShape(0, nullptr, c.shape, true, false, kUndoModeRecord, &removed));
    EXPECT_EQ(state(), std::tuple(1u, static_cast<Shape*>(nullptr)));
    // Undo: c is back and measured (after b), redo takes it away again, undo once more.
    ASSERT_TRUE(c.box.undo.Step(true));
    EXPECT_EQ(state(), std::tuple(2u, c.shape));
    EXPECT_EQ(r->items.entries[0].shape, b.shape);
    ASSERT_TRUE(c.box.undo.Step(false));
    EXPECT_EQ(state(), std::tuple(1u, static_cast<Shape*>(nullptr)));
    ASSERT_TRUE(c.box.undo.Step(true));
    EXPECT_EQ(state(), std::tuple(2u, c.shape));
    // The creation of a shape undone and redone.
    Measured d(kKindRect, kRoleStatistic);
    d.view.item = &r->itemLink;
    ASSERT_TRUE(d.shape->items.Add(&r->itemLink));
    ASSERT_TRUE(r->AddItem(d.shape));
    ASSERT_TRUE(d.box.PushUndo(d.shape, kUndoCreate));
    ASSERT_TRUE(d.box.undo.Step(true));
    EXPECT_EQ(state(), std::tuple(2u, static_cast<Shape*>(nullptr)));
    ASSERT_TRUE(d.box.undo.Step(false));
    EXPECT_EQ(state(), std::tuple(3u, d.shape));
    // Removed without a step (Shift+Del) and with one.
    // (b goes with its glyph: the item held the last reference.)
    b.box.RemoveShapesOf(0, nullptr, kUndoModeNone, false);
    EXPECT_EQ(state(), std::tuple(2u, d.shape));
    c.box.RemoveAllShapes(kUndoModeRecord, nullptr, false);
    EXPECT_EQ(state(), std::tuple(1u, d.shape));
    ASSERT_TRUE(c.box.undo.Step(true));
    EXPECT_EQ(state(), std::tuple(2u, c.shape));
    // A shape of the Reduction's own item list that is not on a view stays an item when
    // its list removes another.
    EXPECT_TRUE(r->RemoveItem(d.shape));
    EXPECT_EQ(state(), std::tuple(1u, c.shape));
}

TEST_F(RunnerTest, ShapesAskedOfTheReductionBecomeItsItems) {
    // A point-sized statistic request becomes a box half the frame's width (64 x 48 upstream).
    ShapeRequest point;
    point.kind = kKindRect;
    point.role = kRoleStatistic;
    point.start[0] = point.end[0] = 5.0f;
    point.start[1] = point.end[1] = 5.0f;
    ASSERT_TRUE(r->CreateItemShape(&point, nullptr));
    Shape* made = r->CurrentItemShape();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(std::tuple(made->header.kind, made->header.role, made->header.box.w, made->header.box.h),
              std::tuple(kKindRect, kRoleStatistic, 32.0, 32.0));
    EXPECT_TRUE(made->items.Contains(&r->itemLink));

    // A description the Reduction does not measure becomes a slice Line, here at the
    // visible origin moved back into the frame.
    ShapeRequest wrong = point;
    wrong.role = kRoleSlice;
    TheReductionServices().visibleOrigin = [](ReductionComponent*, double* x, double* y) {
        *x = 60.0;
        *y = 40.0;
    };
    ASSERT_TRUE(r->CreateItemShape(&wrong, nullptr));
    made = r->CurrentItemShape();
    EXPECT_EQ(std::tuple(made->header.kind, made->header.role, made->header.box.x, made->header.box.y),
              std::tuple(kKindLine, kRoleSlice, 32.0, 16.0));
    EXPECT_EQ(r->items.Count(), 2u);

    // On a display the shape is shown there, linked to the items.
    Measured host(kKindRect, kRoleStatistic);
    ViewConsumer port(nullptr, 0);
    port.shapes = &host.box;
    chain.device.port = &port;
    ASSERT_TRUE(r->CreateItemShape(&point, nullptr));
    made = r->CurrentItemShape();
    EXPECT_TRUE(host.box.IsInList(made));
    EXPECT_EQ(std::tuple(host.box.current, r->items.Count()), std::tuple(made, 3u));
    EXPECT_TRUE(made->items.Contains(&r->itemLink));
    // Removed from the items, the shape leaves the component's link too.
    EXPECT_TRUE(r->RemoveItem(made));
    EXPECT_FALSE(made->items.Contains(&r->itemLink));
    port.shapes = nullptr;
    chain.device.port = nullptr;
}

// A kernel that counts the masks it sees that are neither of the two the
// user-interface thread switches between.
std::atomic<int> gTornMasks{0};
std::atomic<int> gMeasured{0};
int32_t WholeMaskKernel(ReductionComponent*, const StatisticMask& mask, PullResult*, const FrameDesc*, PullRequest*) {
    const Pixels_t p = Pixels(*mask.object, mask.originX, mask.originY);
    const bool first = p.size() == 100 && p.front() == std::make_pair<int64_t, int64_t>(10, 10);
    const bool second = p.size() == 120 && p.front() == std::make_pair<int64_t, int64_t>(40, 3);
    if (!first && !second) gTornMasks.fetch_add(1);
    gMeasured.fetch_add(1);
    return 5;
}

TEST_F(RunnerTest, APullOnAnotherThreadSeesWholeMasksWhileTheShapeChanges) {
    Measured m(kKindRect, kRoleStatistic);
    m.Square(10, 10, 0, 0, 10, 10, 0);
    ASSERT_TRUE(r->AddItem(m.shape));
    r->statisticKernel = &WholeMaskKernel;
    gTornMasks = 0;
    gMeasured = 0;
    std::atomic<bool> stop{false};
    std::thread timer([&] {
        // The playback timer pulls under the display lock.
        PullResult own;
        while (!stop.load()) {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            own.window.section = -1;
            PullRequest request;
            ComponentPull(&chain.downstream, &own, &request);
        }
    });
    while (gMeasured.load() == 0) std::this_thread::yield();
    for (int round = 0; round < 2000; ++round) {
        // Moved and reshaped in steps, as an edit rebuilds a mask, all under the lock.
        ShapeLock lock(m.shape);
        ShapeRegion& mask = m.shape->derived.mask;
        mask.ResetCount();
        if (round % 2 == 0) {
            mask.originX = 40;
            mask.originY = 3;
            ASSERT_TRUE(RegionAppendRect(&mask, 0, 0, 20, 6));
        } else {
            mask.originX = 10;
            mask.originY = 10;
            ASSERT_TRUE(RegionAppendRect(&mask, 0, 0, 10, 10));
        }
        mask.RecomputeBox();
    }
    stop = true;
    timer.join();
    EXPECT_GT(gMeasured.load(), 0);
    EXPECT_EQ(gTornMasks.load(), 0);
}

}  // namespace
}  // namespace orva
