// The Processing stage in an opened file's chain: built by the default chain's script
// hook, frames unchanged through the affine stand-in, a doubling filter inserted from
// its record, a faulty filter bypassed, and chain edits on this thread while another
// thread pulls under the display lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/display_lock.h"
#include "framework/pipeline.h"
#include "processing_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

constexpr int32_t kWidth = 40, kHeight = 30;

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = ThePipelineServices();
        PipelineServices& s = ThePipelineServices();
        s.createProcessing = &CreateProcessingFromScript;
        s.createTransformation = [](ComponentUi*, ProjectItemBase* item, void*) -> ComponentBase* {
            return new ConsumerStage(item);
        };
        s.createReduction = s.createTransformation;
        source = new FrameSource(&item, kWidth, kHeight);
        item.firstStage = source;
        SourceOpenState open;
        SourceOpenStateInit(&open);
        open.ui = nullptr;  // no user interface: the chain is built, the displays are not
        log_ = CapturedLog([&] { BuildPipelineFromScript(&open, source); });
        ConsumerLink* first = source->firstLink;
        ASSERT_NE(first, nullptr);
        processing = dynamic_cast<ProcessingComponent*>(first->owner);
        ASSERT_NE(processing, nullptr);
        ASSERT_NE(processing->firstLink, nullptr);
        consumer = static_cast<ConsumerStage*>(processing->firstLink->owner);
        reduction = static_cast<ConsumerStage*>(processing->lastLink->owner);
    }
    void TearDown() override {
        // What the user interface's component list would release.
        for (ComponentBase* c : {static_cast<ComponentBase*>(consumer), static_cast<ComponentBase*>(reduction)}) {
            if (c == nullptr) continue;
            ConsumerDetach(c->GetInputLink(0));
            c->Release();
        }
        if (processing != nullptr) processing->Release();
        source->Release();
        PortListRemove(item.source.portList);
        ThePipelineServices() = saved_;
    }
    TestModule& Module(const char* title) { return modules.emplace_back(MakeModule(title)); }
    FilterInstance* Insert(TestModule& m) {
        FilterModuleRecord* record = RecordFor(m);
        FilterInstance* i = InsertModuleFilter(&processing->chain, record, true);
        record->Release();
        return i;
    }
    // Pulls frame `frame` through the consumer and compares it with the source's values.
    bool FrameIs(int32_t frame, double factor) {
        if (PullFrame(&consumer->input, &pulled, frame, kWidth, kHeight) < 2) return false;
        std::vector<double> want(static_cast<size_t>(kWidth) * kHeight);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) want[static_cast<size_t>(y) * kWidth + x] = factor * SourceValue(frame, x, y, kWidth);
        return pulled.image.width == kWidth && pulled.image.height == kHeight &&
               std::memcmp(pulled.image.data, want.data(), want.size() * sizeof(double)) == 0;
    }

    std::deque<TestModule> modules;
    ProjectItemBase item;
    FrameSource* source = nullptr;
    ProcessingComponent* processing = nullptr;
    ConsumerStage* consumer = nullptr;
    ConsumerStage* reduction = nullptr;
    PullResult pulled;
    std::string log_;

private:
    PipelineServices saved_;
};

TEST_F(PipelineTest, TheProcessingStageSitsBetweenSourceAndConsumersAndPassesFramesUnchanged) {
    EXPECT_EQ(log_.find("keloproc"), std::string::npos) << log_;
    EXPECT_STREQ(processing->GetClassId()->name, "MultiFilter");
    EXPECT_STREQ(processing->name, "Processing");
    EXPECT_EQ(std::tuple(item.processing, processing->owner, ComponentUpstream(processing), ComponentUpstream(consumer)),
              std::tuple(processing, &item, source, processing));
    FilterChain& chain = processing->chain;
    ASSERT_EQ(chain.count, 1);
    EXPECT_STREQ(chain.first->Title(), "Affine Transformations");
    EXPECT_EQ(chain.first->skip, 1);
    EXPECT_EQ(std::tuple(consumer->input.format.format, consumer->input.format.dims), std::tuple(0x40u, 2u));
    for (int32_t frame : {0, 1, 2}) EXPECT_TRUE(FrameIs(frame, 1.0)) << frame;
    EXPECT_EQ(processing->QueryFrameDescription(), &source->description);
}

TEST_F(PipelineTest, AnInsertedFilterWorksAndAFaultyOneIsBypassed) {
    TestModule& doubler = Module("Doubler");
    doubler.work = TestModule::kDouble;
    FilterInstance* d = Insert(doubler);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::tuple(processing->chain.first, d->next, d->skip), std::tuple(d, processing->chain.last, 0));
    EXPECT_GT(consumer->input.changed.load(), 0);  // the downstream heard of it
    EXPECT_TRUE(FrameIs(0, 2.0));
    EXPECT_TRUE(FrameIs(1, 2.0));
    ChainSetInstanceOff(&processing->chain, d, true);
    EXPECT_TRUE(FrameIs(1, 1.0));
    ChainRemoveInstance(&processing->chain, d);

    TestModule& thrower = Module("Thrower");
    thrower.work = TestModule::kThrow;
    FilterInstance* t = Insert(thrower);
    ASSERT_NE(t, nullptr);
    bool same = false;
    std::string log = CapturedLog([&] { same = FrameIs(2, 1.0); });
    EXPECT_TRUE(same);
    EXPECT_EQ(log, "process: Thrower - module exeption...\n");
    EXPECT_EQ(std::tuple(t->bypass, t->skip), std::tuple(1, 1));
    EXPECT_TRUE(FrameIs(0, 1.0));
}

TEST_F(PipelineTest, ChainEditsAndPullsOnTwoThreadsStayConsistent) {
    TestModule &doubler = Module("Doubler"), &thrower = Module("Thrower"), &plain = Module("Plain");
    doubler.work = TestModule::kDouble;
    thrower.work = TestModule::kThrow;
    plain.noProcess = true;
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0}, wrong{0};
    std::thread puller([&] {
        PullResult result;
        int32_t frame = 0;
        while (!stop.load()) {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            frame = (frame + 1) % 5;
            if (PullFrame(&consumer->input, &result, frame, kWidth, kHeight) < 2) {
                wrong.fetch_add(1);
                continue;
            }
            // Every sample of one frame carries the same factor: 1 or 2.
            const auto* v = static_cast<const double*>(result.image.data);
            const double factor = v[0] / SourceValue(frame, 0, 0, kWidth);
            bool ok = (factor == 1.0 || factor == 2.0) && result.image.width == kWidth;
            for (int32_t i = 0; ok && i < kWidth * kHeight; ++i)
                ok = v[i] == factor * SourceValue(frame, i % kWidth, i / kWidth, kWidth);
            if (!ok) wrong.fetch_add(1);
            frames.fetch_add(1);
        }
    });
    FilterChain& chain = processing->chain;
    std::string log = CapturedLog([&] {
        for (int round = 0; round < 150; ++round) {
            FilterInstance* d = Insert(doubler);
            FilterInstance* t = Insert(thrower);
            FilterInstance* p = Insert(plain);
            ChainMoveInstance(&chain, d, false);
            ChainMoveInstance(&chain, p, true);
            ChainSetInstanceOff(&chain, d, round % 2 == 0);
            std::this_thread::yield();
            ChainRemoveInstance(&chain, t);
            ChainMoveInstance(&chain, chain.last, true);
            ChainRemoveInstance(&chain, d);
            ChainRemoveInstance(&chain, p);
            chain.current = chain.first;
        }
        // Let the puller see the final state too.
        while (frames.load() < 20) std::this_thread::yield();
    });
    stop.store(true);
    puller.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(frames.load(), 20);
    EXPECT_EQ(chain.count, 1);
    EXPECT_STREQ(chain.first->Title(), "Affine Transformations");
    EXPECT_TRUE(FrameIs(3, 1.0));
}

}  // namespace
}  // namespace orva
