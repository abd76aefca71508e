// The Processing stage in the chain of a file opened through the open road: a FITS
// cube written by astropy, its Source, the Processing stage the default chain builds
// and a consumer behind it. Frames pass unchanged through the skipped affine filter, a
// doubling filter inserted from its record doubles them, a faulty filter is bypassed,
// and chain edits on this thread while another thread pulls under the display lock
// leave every pulled frame whole.
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
#include "io/data_set_fixture.h"
#include "opened_file_support.h"

namespace orva {
namespace {

using namespace testing_util;
using testing_views::OpenedFile;

constexpr int32_t kWidth = 40, kHeight = 30, kFrames = 3;

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, numpy'"))
            GTEST_SKIP() << "astropy not installed";
        // 32-bit integers scaled by BSCALE and BZERO to the physical values SourceValue
        // gives, so that the Source's conversion to physical units is on the road too.
        const std::string path = file.folder.File("cube.fits");
        int status = -1;
        const std::string out = testing_io::RunCommand(
            ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits\n"
            "f, y, x = np.mgrid[0:" + std::to_string(kFrames) + ", 0:" + std::to_string(kHeight) + ", 0:" +
                std::to_string(kWidth) + "]\n"
                "physical = f * 100000 + y * " + std::to_string(kWidth) + " + x + 1\n"
                "h = fits.PrimaryHDU((2 * (physical - 10)).astype(np.int32))\n"
                "h.header['BSCALE'] = 0.5; h.header['BZERO'] = 10\n"
                "h.writeto('" + path + "')\" 2>&1",
            &status);
        ASSERT_EQ(status, 0) << out;
        log_ = CapturedLog([&] { opened_ = file.Open(path); });
        ASSERT_TRUE(opened_);
        processing = file.processing;
    }

    TestModule& Module(const char* title) { return modules.emplace_back(MakeModule(title)); }
    FilterInstance* Insert(TestModule& m) {
        FilterModuleRecord* record = RecordFor(m);
        FilterInstance* i = InsertModuleFilter(&processing->chain, record, true);
        record->Release();
        return i;
    }
    // Pulls frame `frame` behind the Processing stage and compares it bit for bit with
    // `factor` times what the Source delivers for it, which is the file's frame.
    bool FrameIs(int32_t frame, double factor) {
        PullResult direct;
        if (PullFrame(&file.direct, &direct, frame, kWidth, kHeight) != 3) return false;
        std::vector<double> want(static_cast<size_t>(kWidth) * kHeight);
        const auto* d = static_cast<const double*>(direct.image.data);
        for (size_t i = 0; i < want.size(); ++i) {
            const int32_t x = static_cast<int32_t>(i) % kWidth, y = static_cast<int32_t>(i) / kWidth;
            EXPECT_EQ(d[i], SourceValue(frame, x, y, kWidth)) << frame << " " << x << "," << y;
            want[i] = factor * d[i];
        }
        if (PullFrame(&file.consumer, &pulled, frame, kWidth, kHeight) != 3) return false;
        return pulled.image.width == kWidth && pulled.image.height == kHeight &&
               std::memcmp(pulled.image.data, want.data(), want.size() * sizeof(double)) == 0;
    }

    // The modules outlive the file's chain, whose instances point at their descriptors.
    std::deque<TestModule> modules;
    OpenedFile file;
    bool opened_ = false;
    std::string log_;
    ProcessingComponent* processing = nullptr;
    PullResult pulled;
};

TEST_F(PipelineTest, TheProcessingStageSitsBetweenSourceAndConsumersAndPassesFramesUnchanged) {
    EXPECT_EQ(log_.find("keloproc"), std::string::npos) << log_;
    EXPECT_STREQ(processing->GetClassId()->name, "MultiFilter");
    EXPECT_STREQ(processing->name, "Processing");
    // Source -> Processing -> (Transformation, Reduction and the test's consumer); the
    // Source's other link is the test's own, without an owning stage.
    std::vector<ComponentBase*> stages;
    for (ConsumerLink* l = file.source->firstLink; l != nullptr; l = l->next)
        if (l->owner != nullptr) stages.push_back(l->owner);
    EXPECT_EQ(stages, std::vector<ComponentBase*>{processing});
    EXPECT_EQ(std::tuple(file.item->processing, processing->owner, ComponentUpstream(processing), file.consumer.upstream),
              std::tuple(processing, static_cast<ProjectItemBase*>(file.item), file.source, processing));
    std::vector<const ComponentId*> behind;
    for (ConsumerLink* l = processing->firstLink; l != nullptr; l = l->next)
        if (l->owner != nullptr) behind.push_back(l->owner->GetClassId());
    EXPECT_EQ(behind, (std::vector<const ComponentId*>{&kTransformationId, &kReductionId}));
    FilterChain& chain = processing->chain;
    ASSERT_EQ(chain.count, 1);
    EXPECT_STREQ(chain.first->Title(), "Affine Transformations");
    EXPECT_EQ(chain.first->skip, 1);
    EXPECT_EQ(std::tuple(file.consumer.format.format & 0x7F, file.consumer.format.element, file.consumer.format.channels,
                         file.consumer.format.dims),
              std::tuple(0x40u, 8u, 1u, 2u));
    for (int32_t frame : {0, 1, 2, 1}) EXPECT_TRUE(FrameIs(frame, 1.0)) << frame;
    EXPECT_EQ(processing->QueryFrameDescription(), file.source->QueryFrameDescription());
    ASSERT_NE(processing->QueryFrameDescription(), nullptr);
}

TEST_F(PipelineTest, AnInsertedFilterWorksAndAFaultyOneIsBypassed) {
    TestModule& doubler = Module("Doubler");
    doubler.work = TestModule::kDouble;
    const int changesBefore = file.consumer.changed.load();
    FilterInstance* d = Insert(doubler);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::tuple(processing->chain.first, d->next, d->skip), std::tuple(d, processing->chain.last, 0));
    EXPECT_GT(file.consumer.changed.load(), changesBefore);  // the downstream heard of it
    EXPECT_TRUE(FrameIs(0, 2.0));
    EXPECT_TRUE(FrameIs(2, 2.0));
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
            frame = (frame + 1) % kFrames;
            if (PullFrame(&file.consumer, &result, frame, kWidth, kHeight) < 2) {
                wrong.fetch_add(1);
                continue;
            }
            // Every sample of one frame carries the same factor: 1 or 2.
            const auto* v = static_cast<const double*>(result.image.data);
            const double factor = v[0] / SourceValue(frame, 0, 0, kWidth);
            bool ok = (factor == 1.0 || factor == 2.0) && result.image.width == kWidth &&
                      result.image.height == kHeight;
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
        while (frames.load() + wrong.load() < 20) std::this_thread::yield();
    });
    stop.store(true);
    puller.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(frames.load(), 20);
    EXPECT_EQ(chain.count, 1);
    EXPECT_STREQ(chain.first->Title(), "Affine Transformations");
    EXPECT_TRUE(FrameIs(2, 1.0));
}

}  // namespace
}  // namespace orva
