#pragma once
// What the Reduction tests wire together: a user interface that lists its
// components, an upstream stage that offers a format and answers frame-data
// queries, a downstream consumer whose format decision each test sets, a view
// device, shapes with masks in containers of their own, and kernels that record
// what they were given and whether they ran under the shape's container lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/app_object.h"
#include "framework/component.h"
#include "framework/device_view.h"
#include "platform/message_box.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"

namespace orva::reduction_testing {

// Lists the components added to it, as the user-interface object does.
class TestUi : public ComponentUi {
public:
    bool ListsComponent(const ComponentBase* c) const override {
        return std::find(list.begin(), list.end(), c) != list.end();
    }
    bool AddComponent(ComponentBase* c) override {
        if (refuse || c == nullptr) return false;
        list.push_back(c);
        c->ui = this;
        return true;
    }
    void ForgetComponent(ComponentBase* c) override { list.erase(std::remove(list.begin(), list.end(), c), list.end()); }
    std::vector<ComponentBase*> Components() const override { return list; }
    std::vector<ComponentBase*> list;
    bool refuse = false;
};

// Offers `offered` to its consumers, describes its frames as a data set does
// (five frames of 64 x 48) and answers frame-data queries with a record of the
// frame size.
class UpstreamStage : public ComponentBase {
public:
    explicit UpstreamStage(ProjectItemBase* owner = nullptr) : ComponentBase(owner) {
        data.width = 64;
        data.height = 48;
        data.frame = 0;
        data.section = 0;
        description.SetTotalFrames(5, true);
        description.sizeX = description.cropSizeX = 64;
        description.sizeY = description.cropSizeY = 48;
    }
    const ComponentId* GetClassId() const override { return &kProcessingId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &description; }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        data.frame = frame;
        data.section = section;
        return &data;
    }
    FormatRequest offered{0x40, 8, 1, 2, 0, 0};
    FrameDataRecord data;
    DataSetInfo description;
};

// A consumer's link: accepts formats of at most `maxChannels` channels (0: none).
class ConsumerEnd : public ConsumerLink {
public:
    explicit ConsumerEnd(ComponentBase* owner = nullptr) : ConsumerLink(owner) {}
    void OnUpstreamChanged() override { changed.fetch_add(1); }
    bool AcceptFormat(FormatRequest* r) override {
        offers.push_back(*r);
        return r->channels <= maxChannels;
    }
    uint32_t maxChannels = 16384;
    std::vector<FormatRequest> offers;
    std::atomic<int> changed{0};
};

// The device that shows a component (its "view").
class TestDevice : public DeviceViewBase {
public:
    explicit TestDevice(ComponentBase* owner) : DeviceViewBase(owner) {}
    const ComponentId* GetClassId() const override { return &kDevice1DId; }
};

// Every pixel of the region, absolute when an origin is added.
inline std::vector<std::pair<int64_t, int64_t>> Pixels(const Region& r, int64_t ox = 0, int64_t oy = 0) {
    std::vector<std::pair<int64_t, int64_t>> p;
    for (const RegionRect& q : r)
        for (int64_t y = q.y0; y < q.y1; ++y)
            for (int64_t x = q.x0; x < q.x1; ++x) p.emplace_back(x + ox, y + oy);
    std::sort(p.begin(), p.end());
    return p;
}

// What the test kernels saw.
struct KernelLog {
    std::atomic<int> statisticCalls{0};
    std::atomic<int> extractionCalls{0};
    std::atomic<bool> lockHeld{true};        // every call ran under the shape's container lock
    using PixelList = std::vector<std::pair<int64_t, int64_t>>;
    std::vector<PixelList> objects;          // the masks handed over, as absolute pixels
    std::vector<PixelList> backgrounds;
    std::vector<std::pair<int32_t, int32_t>> origins;
    std::vector<Shape*> markShapes;
    std::vector<Shape*> extracted;
    std::vector<uint8_t> readAgain;          // the request's first byte at each extraction
    int32_t extractionCode = 5;
    int32_t statisticCode = 5;
    bool keepMasks = true;
    std::mutex mutex;
    void Clear() {
        statisticCalls = 0;
        extractionCalls = 0;
        lockHeld = true;
        objects.clear();
        backgrounds.clear();
        origins.clear();
        markShapes.clear();
        extracted.clear();
        readAgain.clear();
        extractionCode = statisticCode = 5;
        keepMasks = true;
    }
};
inline KernelLog& TheKernelLog() {
    static KernelLog log;
    return log;
}

// True when another thread cannot take the shape's container lock now.
inline bool LockHeldElsewhere(const Shape* shape) {
    std::recursive_mutex* lock = shape->ContainerLock();
    if (lock == nullptr) return false;
    return std::async(std::launch::async, [lock] {
               if (!lock->try_lock()) return true;
               lock->unlock();
               return false;
           }).get();
}

inline int32_t RecordingStatistic(ReductionComponent*, const StatisticMask& mask, PullResult*, const FrameDesc*,
                                  PullRequest*) {
    KernelLog& log = TheKernelLog();
    if (!LockHeldElsewhere(mask.markShape)) log.lockHeld = false;
    log.statisticCalls.fetch_add(1);
    if (log.keepMasks) {
        std::lock_guard<std::mutex> hold(log.mutex);
        log.objects.push_back(Pixels(*mask.object, mask.originX, mask.originY));
        log.backgrounds.push_back(mask.background != nullptr ? Pixels(*mask.background, mask.originX, mask.originY)
                                                             : KernelLog::PixelList{});
        log.origins.emplace_back(mask.originX, mask.originY);
        log.markShapes.push_back(mask.markShape);
    }
    return log.statisticCode;
}

inline int32_t RecordingExtraction(ReductionComponent*, Shape* shape, PullResult*, const FrameDesc*,
                                   PullRequest* request) {
    KernelLog& log = TheKernelLog();
    if (!LockHeldElsewhere(shape)) log.lockHeld = false;
    log.extractionCalls.fetch_add(1);
    std::lock_guard<std::mutex> hold(log.mutex);
    log.extracted.push_back(shape);
    log.readAgain.push_back(request != nullptr ? request->readAgain : 0xFF);
    return log.extractionCode;
}

// A region of one rectangle.
inline void SetRect(Region* r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    r->ResetCount();
    ASSERT_TRUE(RegionAppendRect(r, x0, y0, x1, y1));
    r->RecomputeBox();
}

// A shape in a container of its own, with a mask and a background ring.
// A view whose shapes go to one item (the Reduction's link, say) when they come back.
class ItemView : public ShapeView {
public:
    ShapeItem* DefaultItem() override { return item; }
    ShapeItem* item = nullptr;
};

class Measured {
public:
    Measured(int32_t kind, int32_t role) {
        shape = CreateShape(kind);
        shape->header.role = role;
        EXPECT_TRUE(box.AddShape(shape));
    }
    // A w x h square at (x, y) of its own frame, whose origin is (ox, oy), with
    // a ring `margin` pixels wide around it (0: none).
    void Square(int32_t ox, int32_t oy, int32_t x, int32_t y, int32_t w, int32_t h, int32_t margin) {
        ShapeLock lock(shape);
        ShapeRegion& m = shape->derived.mask;
        SetRect(&m, x, y, x + w, y + h);
        m.originX = ox;
        m.originY = oy;
        ShapeRegion& ring = shape->derived.offsetRegion;
        ring.originX = ox;
        ring.originY = oy;
        if (margin == 0) {
            ring.ResetCount();
            return;
        }
        SetRect(&ring, x - margin, y - margin, x + w + margin, y + h + margin);
        ASSERT_TRUE(RegionSubtract(&ring, ring, m));
    }
    // A figure with the points (x0, y0), (x1, y1) whose procedures build its mask
    // and, with an aperture width above 1, its background ring.
    void Figure(float x0, float y0, float x1, float y1, uint32_t apertureWidth) {
        const float xy[4] = {x0, y0, x1, y1};
        ASSERT_TRUE(shape->header.anchors.SetPoints(xy, 2));
        shape->header.offset.Reset();
        Shape::SetOffsetAperture(&shape->header.offset, apertureWidth, -1);
        shape->SetupKindProcs(nullptr, nullptr);
        shape->ResetPivot(kUpdateFull);
    }
    // A path of `points` points (the slice's sampled path).
    void Path(uint32_t points) {
        ShapeLock lock(shape);
        std::vector<float> xy(points * 2);
        for (uint32_t i = 0; i < points; ++i) xy[i * 2] = static_cast<float>(i);
        ASSERT_TRUE(shape->derived.samples.SetPoints(xy.data(), points));
    }
    ItemView view;
    ShapeContainer box{&view, nullptr, std::make_unique<MemoryShapeList>()};
    Shape* shape = nullptr;
};

}  // namespace orva::reduction_testing
