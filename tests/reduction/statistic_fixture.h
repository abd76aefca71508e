#pragma once
// What the statistic tests wire together: an upstream stage that serves
// windows of a frame held in memory (64-bit reals, one or several interleaved
// channels, optionally flagged as holding the missing mark), a Reduction
// connected to it and to a consumer so that its statistic kernel is in place,
// and pulls of its items.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "reduction/kernels/region_statistic.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction_fixture.h"
#include "statistic_reference.h"

namespace orva::reduction_testing {

// Serves windows of its frames, clipped to them, as the Source does (a window of no
// frame is served from the first, as the Source serves its current frame).
class FrameSource : public UpstreamStage {
public:
    FrameSource(ProjectItemBase* owner, int64_t width, int64_t height, uint32_t channels, int32_t frames = 1)
        : UpstreamStage(owner), values(static_cast<size_t>(width * height * channels * frames), 0.0), frames(frames) {
        data.width = width;
        data.height = height;
        offered.channels = channels;
        this->channels = channels;
        process = &Serve;
    }
    double& At(int64_t x, int64_t y, uint32_t c = 0, int32_t frame = 0) {
        return values[static_cast<size_t>(((frame * data.height + y) * data.width + x) * channels + c)];
    }
    static int32_t Serve(ComponentBase* component, PullResult* r, PullRequest*) {
        auto* s = static_cast<FrameSource*>(component);
        ++s->pulls;
        ReadWindow& w = r->window;
        const int64_t x0 = std::max<int64_t>(w.x, 0), y0 = std::max<int64_t>(w.y, 0);
        const int64_t x1 = std::min<int64_t>(w.x + w.width, s->data.width);
        const int64_t y1 = std::min<int64_t>(w.y + w.height, s->data.height);
        if (x0 >= x1 || y0 >= y1) {
            r->pending = 0;
            return 1;
        }
        w.x = x0;
        w.y = y0;
        w.width = static_cast<int32_t>(x1 - x0);
        w.height = static_cast<int32_t>(y1 - y0);
        if (w.frame < 0) w.frame = 0;
        if (w.frame >= s->frames) {
            r->pending = 0;
            return 1;
        }
        r->image.SetTypeAndCount(0x40, s->channels);
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width), static_cast<uint32_t>(w.height))) return -1;
        auto* out = static_cast<double*>(r->image.data);
        const size_t row = static_cast<size_t>(w.width) * s->channels;
        for (int64_t y = y0; y < y1; ++y)
            std::memcpy(out + (y - y0) * row, &s->At(x0, y, 0, w.frame), row * sizeof(double));
        r->image.state = s->missing;
        r->image.windowX = x0;
        r->image.windowY = y0;
        r->pending = 1;
        return 3;
    }
    std::vector<double> values;
    int32_t frames = 1;
    uint32_t channels = 1;
    uint8_t missing = 0;
    int pulls = 0;
};

// A Reduction behind a frame source, with a consumer connected so that the
// statistic kernel is installed.
struct StatisticChain {
    StatisticChain(TestUi* ui, int64_t width, int64_t height, uint32_t channels = 1, int32_t frames = 1) {
        source = new FrameSource(&item, width, height, channels, frames);
        reduction = static_cast<ReductionComponent*>(CreateReductionFromScript(ui, &item, nullptr));
        EXPECT_NE(reduction, nullptr);
        EXPECT_TRUE(ConsumerAttach(&reduction->input, source));
        sink = new UpstreamStage(&item);
        downstream.owner = sink;
        EXPECT_TRUE(ConsumerAttach(&downstream, reduction));
    }
    ~StatisticChain() {
        ConsumerDetach(&downstream);
        reduction->Release();
        source->Release();
        sink->Release();
    }
    StatisticChain(const StatisticChain&) = delete;
    StatisticChain& operator=(const StatisticChain&) = delete;

    // Runs the current item for frame 0 (or the given one, -1 for the upstream's own
    // choice); the pull code.
    int32_t Pull(uint8_t fresh = 1, uint8_t extended = 0, int32_t frame = 0) {
        result.window.frame = frame;
        result.window.section = -1;
        PullRequest request;
        request.readAgain = fresh;
        request.workMode = extended;
        return ReductionComponent::RunItem(reduction, &result, &request);
    }
    const StatisticBlock& Block() { return *reduction->Statistic(); }
    const StatisticResult& Record(uint32_t channel = 0) { return reduction->Statistic()->Results()[channel]; }
    // The item's 1-D output, all rows.
    std::vector<double> Output() {
        const TypedFrameBuffer& out = result.image;
        if (out.data == nullptr) return {};
        const auto* v = static_cast<const double*>(out.data);
        return std::vector<double>(v, v + uint64_t{out.width} * out.elementsPerItem);
    }
    ReductionStatValues& Stat() { return reduction->Options().values.stat; }

    ProjectItemBase item;
    FrameSource* source = nullptr;
    UpstreamStage* sink = nullptr;
    ReductionComponent* reduction = nullptr;
    ConsumerEnd downstream;
    PullResult result;
};

// A shape whose mask is the given rectangles (right and bottom exclusive) in
// its own frame at (ox, oy), with an optional ring.
inline void SetRects(Measured* m, int32_t ox, int32_t oy, const std::vector<RegionRect>& rects,
                     const std::vector<RegionRect>& ring = {}) {
    ShapeLock lock(m->shape);
    ShapeRegion& mask = m->shape->derived.mask;
    mask.ResetCount();
    for (const RegionRect& r : rects) ASSERT_TRUE(RegionAppendRect(&mask, r.x0, r.y0, r.x1, r.y1));
    mask.RecomputeBox();
    mask.originX = ox;
    mask.originY = oy;
    ShapeRegion& bg = m->shape->derived.offsetRegion;
    bg.ResetCount();
    for (const RegionRect& r : ring) ASSERT_TRUE(RegionAppendRect(&bg, r.x0, r.y0, r.x1, r.y1));
    bg.RecomputeBox();
    bg.originX = ox;
    bg.originY = oy;
}

}  // namespace orva::reduction_testing
