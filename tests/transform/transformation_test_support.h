#pragma once
// What the Transformation tests share: an upstream of 64-bit real ramps, a
// consumer of RGB pixels, a region shape with its services, and a component
// set up with "range" and "Grey" between the two.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

#include "framework/component_test_doubles.h"
#include "framework/display_lock.h"
#include "transform/transformation.h"
#include "transform_test_support.h"

namespace orva::testing_transform {

// The ramp frame: value(i) = i × 65535 / (width × height − 1), i = row × width + column.
inline double RampValue(int64_t width, int64_t height, int64_t x, int64_t y) {
    return static_cast<double>(y * width + x) * (65535.0 / static_cast<double>(width * height - 1));
}

// An upstream of ramp frames that clips each request to its frame, as a source
// does (or, with `wholeFrame`, delivers the whole frame whatever is asked).
class RampSource : public testing::TestStage {
public:
    RampSource(int64_t width, int64_t height, uint32_t channels = 1)
        : TestStage(nullptr, &kInputId, 0x40), width(width), height(height), channels(channels) {
        process = &Produce;
        frame.width = width;
        frame.height = height;
    }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        r->format = 0x40;
        r->element = 8;
        r->channels = channels;
        return link == nullptr || link->AcceptFormat(r);
    }
    FrameDataRecord* QueryFrameData(int32_t f, int32_t s) override {
        frame.frame = f;
        frame.section = s;
        return &frame;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<RampSource*>(c);
        ++s->pulls;
        s->asked.push_back(r->window);
        if (s->nextCode < 2) {
            r->pending = s->setPending;
            return s->nextCode;
        }
        ReadWindow& w = r->window;
        int64_t x0 = 0, y0 = 0, x1 = s->width, y1 = s->height;
        if (!s->wholeFrame) {
            x0 = std::max<int64_t>(w.x, 0);
            y0 = std::max<int64_t>(w.y, 0);
            x1 = std::min<int64_t>(w.x + w.width, s->width);
            y1 = std::min<int64_t>(w.y + w.height, s->height);
        }
        if (x1 <= x0 || y1 <= y0) return 1;
        w.x = x0;
        w.y = y0;
        w.width = static_cast<int32_t>(x1 - x0);
        w.height = static_cast<int32_t>(y1 - y0);
        TypedFrameBuffer& image = r->image;
        image.SetTypeAndCount(0x40, s->channels);
        if (!image.AllocImageBuffer(static_cast<uint32_t>(w.width), static_cast<uint32_t>(w.height))) return -4;
        auto* v = static_cast<double*>(image.data);
        for (int64_t y = y0; y < y1; ++y)
            for (int64_t x = x0; x < x1; ++x)
                for (uint32_t k = 0; k < s->channels; ++k) *v++ = RampValue(s->width, s->height, x, y) + k;
        r->pending = 1;
        r->deliveredFrame = static_cast<uint32_t>(w.frame);
        r->deliveredSection = static_cast<uint32_t>(w.section);
        return s->nextCode;
    }

    int64_t width, height;
    uint32_t channels;
    FrameDataRecord frame;
    bool wholeFrame = false;
    int32_t nextCode = 3;
    uint8_t setPending = 0;
    std::atomic<int> pulls{0};
    std::vector<ReadWindow> asked;
};

// A consumer that takes RGB pixels of one format and records what it was offered.
class PixelSink : public ConsumerLink {
public:
    struct Offer {
        uint32_t format, element, channels;
        bool operator==(const Offer&) const = default;
    };
    PixelSink() : ConsumerLink(nullptr) {}
    void OnUpstreamChanged() override { ++changed; }
    bool AcceptFormat(FormatRequest* r) override {
        offers.push_back({r->format, r->element, r->channels});
        return r->format == accept && r->channels == 3;
    }
    uint32_t accept = 0x400101;
    std::vector<Offer> offers;
    int changed = 0;
};

// A region shape: a rectangle of data pixels, its container's lock, a count.
struct FakeRegion {
    std::recursive_mutex lock;
    BlockBox box;
    bool hasRects = true;
    std::atomic<int> refs{1};
    int state = 0;
    bool inContainer = true;
    int unlinked = 0;
};

inline FakeRegion* AsRegion(void* shape) { return static_cast<FakeRegion*>(shape); }

// Mean, sample σ and extremes of the values of a block under a rectangle.
inline bool RectangleStatistics(void* shape, const BlockBox& block, const double* values, uint32_t channels,
                                RegionStatistics* out) {
    const BlockBox& r = AsRegion(shape)->box;
    const int64_t x0 = std::max(r.x, block.x), y0 = std::max(r.y, block.y);
    const int64_t x1 = std::min(r.x + r.width, block.x + block.width);
    const int64_t y1 = std::min(r.y + r.height, block.y + block.height);
    std::vector<double> v;
    for (int64_t y = y0; y < y1; ++y)
        for (int64_t x = x0; x < x1; ++x)
            for (uint32_t k = 0; k < channels; ++k)
                v.push_back(values[((y - block.y) * block.width + (x - block.x)) * channels + k]);
    if (v.size() < 2) return false;
    double sum = 0;
    out->minimum = out->maximum = v[0];
    for (double d : v) {
        sum += d;
        out->minimum = std::min(out->minimum, d);
        out->maximum = std::max(out->maximum, d);
    }
    out->mean = sum / static_cast<double>(v.size());
    double squares = 0;
    for (double d : v) squares += (d - out->mean) * (d - out->mean);
    out->sigma = std::sqrt(squares / static_cast<double>(v.size() - 1));
    return true;
}

// Region services over FakeRegion; the shape actions are recorded.
struct RegionScope {
    struct Action {
        const void* request;
        int32_t kind, role;
    };
    RegionScope() {
        actions().clear();
        RegionShapeServices& s = TheRegionShapeServices();
        s.addRef = [](void* shape) { return ++AsRegion(shape)->refs; };
        s.release = [](void* shape) { return --AsRegion(shape)->refs; };
        s.containerLock = [](void* shape) { return &AsRegion(shape)->lock; };
        s.regionBox = [](void* shape, BlockBox* box) {
            *box = AsRegion(shape)->box;
            return AsRegion(shape)->hasRects;
        };
        s.regionStatistics = &RectangleStatistics;
        s.markRegion = [](void* shape) { AsRegion(shape)->state = 2; };
        s.ensureInContainer = [](void* shape) { return AsRegion(shape)->inContainer; };
        s.unlinkItem = [](void* shape, ComponentBase*) { ++AsRegion(shape)->unlinked; };
        s.moveBox = [](void* shape, double x, double y) {
            AsRegion(shape)->box.x = static_cast<int64_t>(x);
            AsRegion(shape)->box.y = static_cast<int64_t>(y);
        };
        s.requestKindRole = [](const void* request, int32_t* kind, int32_t* role) {
            const auto* words = static_cast<const int32_t*>(request);
            *kind = words[0];
            *role = words[1];
            return true;
        };
        s.nodeShapeAction = [](ComponentBase*, const void* request, int32_t kind, int32_t role) {
            actions().push_back({request, kind, role});
            return true;
        };
    }
    ~RegionScope() { TheRegionShapeServices() = RegionShapeServices{}; }
    RegionScope(const RegionScope&) = delete;
    RegionScope& operator=(const RegionScope&) = delete;
    static std::vector<Action>& actions() {
        static std::vector<Action> list;
        return list;
    }
};

// A Transformation between a ramp source and a pixel sink, showing "range"
// over 0 … 65535 through "Grey".
class TransformationFixture : public TransformTest {
protected:
    void Build(int64_t width, int64_t height, uint32_t channels = 1) {
        source = new RampSource(width, height, channels);
        stage = new TransformationComponent(nullptr, nullptr, 0);
        ASSERT_TRUE(ConsumerAttach(&stage->input, source));
        ASSERT_TRUE(ConsumerAttach(&sink, stage));
        ASSERT_TRUE(ValueScalerSetClass(&stage->scaler, FindScaleClass("range", 5)));
        ASSERT_TRUE(ColorConverterSetClass(&stage->converter, 1));
        SetRange(0.0, 65535.0);
    }
    void TearDown() override {
        ConsumerDetach(&sink);
        if (stage != nullptr) stage->Release();
        if (source != nullptr) source->Release();
        TransformTest::TearDown();
    }
    void SetRange(double low, double high) {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        stage->scaler.Current().min = low;
        stage->scaler.Current().max = high;
        stage->scaler.Current().UpdateScale();
    }
    std::pair<double, double> Range() const { return {stage->scaler.Current().min, stage->scaler.Current().max}; }
    // Runs the worker for a window (frame and section -1 unless given).
    int32_t Pull(int64_t x, int64_t y, int32_t w, int32_t h, bool fresh = false, PullResult* into = nullptr) {
        PullResult& r = into != nullptr ? *into : result;
        r.window = ReadWindow{};
        r.window.frame = r.window.section = -1;
        r.window.x = x;
        r.window.y = y;
        r.window.width = w;
        r.window.height = h;
        PullRequest request;
        request.readAgain = fresh ? 1 : 0;
        return stage->process(stage, &r, &request);
    }
    std::vector<uint8_t> Pixels(const PullResult& r) const {
        const auto* p = static_cast<const uint8_t*>(r.image.data);
        return std::vector<uint8_t>(p, p + r.image.rowBytes * r.image.height);
    }

    RampSource* source = nullptr;
    TransformationComponent* stage = nullptr;
    PixelSink sink;
    PullResult result;
};

}  // namespace orva::testing_transform
