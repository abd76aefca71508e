// The Reduction a chart's statistics keys act on: the one whose output the chart reads,
// found up the chart's chain, or else the one fed from that chain in the fewest steps.
#include <gtest/gtest.h>

#include <vector>

#include "framework/component.h"
#include "framework/component_id.h"
#include "reduction/linked_reduction.h"
#include "reduction/reduction_component.h"

namespace orva {
namespace {

// A stage with one input.
class Stage : public ComponentBase {
public:
    class Link : public ConsumerLink {
    public:
        explicit Link(ComponentBase* owner) : ConsumerLink(owner) {}
        void OnUpstreamChanged() override {}
        bool AcceptFormat(FormatRequest*) override { return true; }
    };
    Stage() : ComponentBase(nullptr), input(this) {}
    const ComponentId* GetClassId() const override { return &kProcessingId; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &input : nullptr; }
    Link input;
};

// Joins the consumer's first input to the upstream's list of consumers.
void Feed(ComponentBase* upstream, ComponentBase* consumer) {
    ConsumerLink* link = consumer->GetInputLink(0);
    ComponentAppendLink(upstream, link);
    link->upstream = upstream;
}

TEST(LinkedReduction, TheNearestReductionOfTheChain) {
    // source -> processing -> own (the item's Reduction) and -> other (a second one);
    // other -> after (a stage behind it); source -> cell (a 1-D picture of the source);
    // lone has neither Reduction in reach.
    auto* source = new Stage;
    auto* processing = new Stage;
    auto* cell = new Stage;
    auto* after = new Stage;
    auto* lone = new Stage;
    ReductionComponent* own = ReductionComponent::Create();
    ReductionComponent* other = ReductionComponent::Create();
    ASSERT_TRUE(own != nullptr && other != nullptr);
    Feed(source, processing);
    Feed(source, cell);
    Feed(processing, own);
    Feed(processing, other);
    Feed(other, after);

    struct Case {
        const char* what;
        ComponentBase* from;
        ReductionComponent* want;
    } cases[] = {
        {"a chart of the second Reduction's output", other, other},
        {"a stage behind the second Reduction", after, other},
        {"a chart of the source: the Reduction two steps down", cell, own},
        {"the processing stage: its first Reduction", processing, own},
        {"a chain without a Reduction", lone, nullptr},
        {"nothing", nullptr, nullptr},
    };
    for (const Case& k : cases) EXPECT_EQ(FindLinkedReduction(k.from), k.want) << k.what;

    const std::vector<ComponentBase*> consumers = {processing, cell, own, other, after};
    for (ComponentBase* c : consumers) ConsumerDetach(c->GetInputLink(0));
    const std::vector<ComponentBase*> all = {source, processing, cell, after, lone, own, other};
    for (ComponentBase* c : all) c->Release();
}

}  // namespace
}  // namespace orva
