// The input range of a chart: the Source at the head of the device's chain is asked for
// its values' extremes, its complete statistics first and, when it has none, what it
// holds so far.
#include <gtest/gtest.h>

#include <vector>

#include "framework/component.h"
#include "framework/component_message.h"
#include "io/value_range.h"
#include "main/chart_services.h"

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

}  // namespace
}  // namespace orva
