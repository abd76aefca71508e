#pragma once
// The fixture of the component and runner tests: the program-wide state they
// touch put back around each test, and a Reduction connected between an
// upstream stage and a downstream consumer, listed by a test user interface.
#include <gtest/gtest.h>

#include "common/clib.h"
#include "reduction_test_support.h"

namespace orva::reduction_testing {

// A Reduction between an upstream stage of `channels` channels and a consumer.
struct Chain {
    explicit Chain(TestUi* ui, uint32_t channels = 1, StageDescription* description = nullptr) {
        up = new UpstreamStage(&item);
        up->offered.channels = channels;
        reduction = static_cast<ReductionComponent*>(CreateReductionFromScript(ui, &item, description));
        EXPECT_NE(reduction, nullptr);
        EXPECT_TRUE(ConsumerAttach(&reduction->input, up));
        sink = new UpstreamStage(&item);
        downstream.owner = sink;
    }
    ~Chain() {
        if (reduction->portRecord == &device) reduction->portRecord = nullptr;
        reduction->Release();
        up->Release();
        sink->Release();
    }
    // The consumer connects (the Reduction's negotiation runs); the device shows the Reduction.
    bool Connect() {
        reduction->portRecord = &device;
        return ConsumerAttach(&downstream, reduction);
    }
    ProjectItemBase item;
    UpstreamStage* up = nullptr;
    UpstreamStage* sink = nullptr;  // the consumer's own stage
    ReductionComponent* reduction = nullptr;
    ConsumerEnd downstream;
    TestDevice device{nullptr};
};

class ReductionTest : public ::testing::Test {
protected:
    ReductionTest() {
        TheShapeGlobals().Reset();
        TheApp().Properties().Clear();
        ResetCommonChangeQuestion();
        savedReduction_ = TheReductionServices();
        savedComponent_ = TheComponentServices();
        TheKernelLog().Clear();
    }
    ~ReductionTest() override {
        TheReductionServices() = savedReduction_;
        TheComponentServices() = savedComponent_;
        TheApp().Properties().Clear();
        ClibSetMessageHook(nullptr, nullptr);
        TheShapeGlobals().Reset();
    }
    TestUi ui;

private:
    ReductionServices savedReduction_;
    ComponentServices savedComponent_;
};

}  // namespace orva::reduction_testing
