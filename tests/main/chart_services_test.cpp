// The input range of a chart: the Source at the head of the device's chain is asked for
// its values' extremes, its complete statistics first and, when it has none, what it
// holds so far. The frame behind a chart's strip: the request that reaches its source.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "app/chart_request.h"
#include "display/chart_fixture.h"
#include "framework/component.h"
#include "framework/component_message.h"
#include "io/value_range.h"
#include "main/chart_services.h"
#include "toolkit/histogram_chart.h"

namespace orva {
namespace {

// A Source that answers the value-range requests from what it is told it knows.
class RangeSource : public ComponentBase {
public:
    RangeSource() : ComponentBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool OnMessage(MessageRecord* message, uint32_t) override {
        codes.push_back(message->code);
        ValueRangeTarget* target = AsValueRangeTarget(MessageTargetOf(message));
        if (target == nullptr) return false;
        const bool knows = message->code == kMsgValueRange ? complete : partial;
        if (!knows) {
            target->flags = 0;
            return true;
        }
        target->range.min = minimum;
        target->range.max = maximum;
        target->range.count = 4;
        target->flags = kValueRangeMinMax;
        return true;
    }

    bool complete = true, partial = true;
    double minimum = -3.0, maximum = 12.5;
    std::vector<int32_t> codes;
};

// A stage between the Source and the chart's device.
class Stage : public ComponentBase {
public:
    class Link : public ConsumerLink {
    public:
        explicit Link(ComponentBase* owner) : ConsumerLink(owner) {}
        void OnUpstreamChanged() override {}
        bool AcceptFormat(FormatRequest*) override { return true; }
    };
    explicit Stage(ComponentBase* upstream) : ComponentBase(nullptr), input(this) { input.upstream = upstream; }
    ~Stage() override { input.LinkForget(); }
    const ComponentId* GetClassId() const override { return &kReductionId; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &input : nullptr; }
    Link input;
};

// A curve's values in the region table: what they tell by themselves, worked out by
// hand for 1, 2, 3, 4 and 100 (mean 22, the squares of the deviations 441, 400, 361, 324
// and 6084); no histogram, background or centre.
TEST(ChartServices, ACurvesStatisticsAreThoseOfItsValues) {
    StatisticsRecord t;
    ASSERT_TRUE(CurveStatistics({4.0, 100.0, 1.0, 3.0, 2.0}, &t));
    EXPECT_EQ(t.count, 5u);
    EXPECT_DOUBLE_EQ(t.flux, 110.0);
    EXPECT_DOUBLE_EQ(t.minimum, 1.0);
    EXPECT_DOUBLE_EQ(t.maximum, 100.0);
    EXPECT_DOUBLE_EQ(t.range, 99.0);
    EXPECT_DOUBLE_EQ(t.mean, 22.0);
    EXPECT_DOUBLE_EQ(t.median, 3.0);
    EXPECT_DOUBLE_EQ(t.dispersion, 7610.0 / 4.0);  // the sample variance
    EXPECT_DOUBLE_EQ(t.rms, std::sqrt(7610.0 / 4.0));
    const double m2 = 7610.0 / 5.0, m3 = (-9261.0 - 8000.0 - 6859.0 - 5832.0 + 474552.0) / 5.0;
    EXPECT_NEAR(t.skewness, m3 / (m2 * std::sqrt(m2)), 1e-12);
    EXPECT_EQ(t.backgroundOn, 0);
    for (double unset : {t.mode, t.backgroundThreshold, t.fwhm, t.radius}) EXPECT_EQ(unset, DBL_MAX);
    EXPECT_LT(t.xCentre, 0.0);  // the centre rows stay empty
    EXPECT_LT(t.yCentre, 0.0);
    // The median of an even count: the mean of the middle pair.
    ASSERT_TRUE(CurveStatistics({5.0, 1.0, 7.0, 2.0}, &t));
    EXPECT_DOUBLE_EQ(t.median, 3.5);
    EXPECT_FALSE(CurveStatistics({}, &t));
}

TEST(ChartServices, TheInputRangeIsTheSourcesAboveTheChain) {
    auto* source = new RangeSource;
    auto* middle = new Stage(source);
    auto* last = new Stage(middle);
    struct Case {
        bool complete, partial;
        bool found;
        std::vector<int32_t> codes;
    } cases[] = {
        {true, true, true, {kMsgValueRange}},
        {false, true, true, {kMsgValueRange, kMsgValueRangePartial}},
        {false, false, false, {kMsgValueRange, kMsgValueRangePartial}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.codes.size());
        source->complete = k.complete;
        source->partial = k.partial;
        source->codes.clear();
        double minimum = 0.0, maximum = 0.0;
        EXPECT_EQ(ChartInputRange(last, &minimum, &maximum), k.found);
        EXPECT_EQ(source->codes, k.codes);
        if (k.found) {
            EXPECT_EQ(minimum, -3.0);
            EXPECT_EQ(maximum, 12.5);
        }
    }
    // An empty range (minimum above maximum) is none.
    source->complete = true;
    source->minimum = 5.0;
    source->maximum = 1.0;
    EXPECT_FALSE(ChartInputRange(last, nullptr, nullptr));
    // The Source itself, and a chain without one.
    source->minimum = 1.0;
    EXPECT_TRUE(ChartInputRange(source, nullptr, nullptr));
    auto* orphan = new Stage(nullptr);
    EXPECT_FALSE(ChartInputRange(orphan, nullptr, nullptr));
    EXPECT_FALSE(ChartInputRange(nullptr, nullptr, nullptr));
    orphan->Release();
    last->Release();
    middle->Release();
    source->Release();
}

// A stage that makes frame pictures, through its request operation or only through its
// prepare operation: sample i of frame f is f x 1000 + i.
class PictureStage : public ComponentBase {
public:
    PictureStage() : ComponentBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kTransformationId; }
    bool OnMessage(MessageRecord* message, uint32_t) override { return onRequest && Answer(message); }
    bool QueryPageMessage(MessageRecord* message, uint32_t) override { return onPrepare && Answer(message); }
    bool Answer(MessageRecord* message) {
        codes.push_back(message->code);
        auto* target = dynamic_cast<FramePictureTarget*>(MessageTargetOf(message));
        const MessageFramePair* pair = MessageFramePairOf(message);
        if (target == nullptr || target->picture == nullptr || pair == nullptr) return false;
        box = target->picture->window;
        TypedFrameBuffer& image = target->picture->image;
        image.SetTypeAndCount(0x40, 1);
        if (!image.AllocImageBuffer(static_cast<uint32_t>(box.width), 1)) return false;
        for (int32_t i = 0; i < box.width; ++i) static_cast<double*>(image.data)[i] = pair->frame * 1000.0 + i;
        return true;
    }
    bool onRequest = true, onPrepare = false;
    std::vector<int32_t> codes;
    ReadWindow box;
};

TEST(ChartServices, TheStripsFrameRequestFillsTheDevicesStripFrame) {
    display_test::ServicesScope services;
    display_test::ChartChain chain({std::vector<double>(50, 1.0)});
    ASSERT_TRUE(chain.Pull());
    Chart1DDevice* d = chain.device;
    auto* stage = new PictureStage;
    ChartFrameRequest record(kRequestFrameKind, d, 3, 0);
    ASSERT_TRUE(ChartAskFrame(stage, &record, false));
    EXPECT_EQ(stage->codes, std::vector<int32_t>{0x102});
    // The box of the device's pull, the record's frame and channel.
    EXPECT_EQ(stage->box.width, 50);
    EXPECT_EQ(stage->box.height, 1);
    EXPECT_EQ(stage->box.frame, 3);
    EXPECT_EQ(stage->box.section, 0);
    ASSERT_EQ(d->stripFrame.image.width, 50u);
    EXPECT_EQ(static_cast<const double*>(d->stripFrame.image.data)[7], 3007.0);
    // A stage that knows it only through its prepare operation; one that refuses leaves
    // the strip frame empty.
    stage->onRequest = false;
    stage->onPrepare = true;
    EXPECT_FALSE(ChartAskFrame(stage, &record, false));
    EXPECT_FALSE(d->stripFrame.image.HoldsFrame());
    EXPECT_TRUE(ChartAskFrame(stage, &record, true));
    EXPECT_EQ(d->stripFrame.image.width, 50u);
    stage->onPrepare = false;
    EXPECT_FALSE(ChartAskFrame(stage, &record, true));
    EXPECT_FALSE(d->stripFrame.image.HoldsFrame());
    // A record that holds no chart device asks nothing.
    ChartFrameRequest empty(kRequestFrameKind, nullptr, 3, 0);
    stage->onRequest = true;
    EXPECT_FALSE(ChartAskFrame(stage, &empty, false));
    EXPECT_EQ(stage->codes.size(), 2u);
    stage->Release();
}

}  // namespace
}  // namespace orva
