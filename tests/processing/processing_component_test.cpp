// The Processing component: pulls and queries through an idle chain, the codes of
// the instances' results, module faults, format changes handed downstream, the
// negotiation answer, identity and links, and its messages.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <string>
#include <tuple>

#include "framework/component_message.h"
#include "processing_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

class ProcessingTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = new ProcessingComponent(&item);
        source = new FrameSource(&item, 16, 8);
        ASSERT_TRUE(ConsumerAttach(&host->chain, source));
        ASSERT_TRUE(ConsumerAttach(&consumer, host));
    }
    void TearDown() override {
        ConsumerDetach(&consumer);
        host->Release();
        source->Release();
    }
    TestModule& Module(const char* title) { return modules.emplace_back(MakeModule(title)); }
    FilterInstance* Add(TestModule& m) {
        FilterInstance* i = nullptr;
        EXPECT_EQ(filterAdd(&host->chain, &m.descriptor, &i), 0);
        ChainRenegotiate(&host->chain);
        return i;
    }
    int32_t Pull(int32_t frame = 0) { return PullFrame(&consumer, &result, frame, 16, 8); }

    std::deque<TestModule> modules;
    ProjectItemBase item;
    ProcessingComponent* host = nullptr;
    FrameSource* source = nullptr;
    ConsumerEnd consumer;
    PullResult result;
};

TEST_F(ProcessingTest, AnIdleChainPassesEverythingUpstream) {
    EXPECT_EQ(host->chain.idle, 1);
    EXPECT_EQ(Pull(2), 3);
    ASSERT_NE(result.image.data, nullptr);
    const auto* v = static_cast<const double*>(result.image.data);
    EXPECT_EQ(std::tuple(v[0], v[16 * 8 - 1]), std::tuple(SourceValue(2, 0, 0, 16), SourceValue(2, 15, 7, 16)));
    EXPECT_EQ(host->chain.lastResult, &result);
    source->produce = false;
    EXPECT_EQ(Pull(), 0);
    EXPECT_EQ(host->chain.lastResult, nullptr);

    EXPECT_EQ(host->QueryFrameDescription(), &source->description);
    EXPECT_EQ(host->CachedFrameDescription(), &source->description);
    EXPECT_EQ(host->QueryFrameData(3, 1), &source->data);
    EXPECT_EQ(std::tuple(host->CachedFrameData(), source->data.frame, source->data.section),
              std::tuple(&source->data, 3, 1));
}

TEST_F(ProcessingTest, InstanceResultsBecomePullCodes) {
    TestModule &first = Module("First"), &last = Module("Last");
    first.processResult = 1;
    first.constant = 11.0;
    last.constant = 22.0;
    Add(first);
    Add(last);
    ASSERT_EQ(host->process, &ProcessingComponent::ChainProcess);
    struct Case {
        int32_t lastResult, code;
        uint8_t pending;
        double value;
    } cases[] = {{0, 3, 1, 22.0}, {4, 2, 1, 22.0}, {-1, 0, 0, 0.0}, {-2, 2, 1, 11.0}, {-7, 2, 1, 11.0}};
    for (const Case& c : cases) {
        last.processResult = c.lastResult;
        result.image.data = nullptr;
        result.pending = 1;
        result.window.frame = 5;
        PullRequest request;
        EXPECT_EQ(host->process(host, &result, &request), c.code) << c.lastResult;
        EXPECT_EQ(result.pending, c.pending) << c.lastResult;
        if (c.code > 0) {
            EXPECT_EQ(*static_cast<double*>(result.image.data), c.value) << c.lastResult;
            EXPECT_EQ(std::tuple(result.deliveredFrame, host->chain.lastResult), std::tuple(5u, &result));
        } else {
            EXPECT_EQ(host->chain.lastResult, nullptr);
        }
    }
    EXPECT_EQ(source->pulls, 0);
}

TEST_F(ProcessingTest, AModuleFaultIsBypassedLoggedAndTheListRefreshed) {
    TestModule& thrower = Module("Thrower");
    thrower.work = TestModule::kThrow;
    FilterInstance* t = Add(thrower);
    int refreshes = 0;
    static int* counter = nullptr;
    counter = &refreshes;
    TheProcessingServices().refreshPluginList = [](ProcessingComponent*, bool, bool, bool) {
        ++*counter;
        return true;
    };
    int32_t code = 0;
    std::string log = CapturedLog([&] { code = Pull(1); });
    TheProcessingServices().refreshPluginList = nullptr;
    EXPECT_EQ(log, "process: Thrower - module exeption...\n");
    EXPECT_EQ(code, 3);  // the pull went on upstream
    EXPECT_EQ(static_cast<const double*>(result.image.data)[0], SourceValue(1, 0, 0, 16));
    EXPECT_EQ(std::tuple(t->bypass, t->skip, host->chain.pluginListRefreshes, refreshes), std::tuple(1, 1, 1, 1));
    // Switched off for good: no second fault.
    EXPECT_EQ(CapturedLog([&] { Pull(1); }), "");
    EXPECT_EQ(StateOf(t)->processCalls, 1);
}

TEST_F(ProcessingTest, FormatChangesReachTheDownstreamLinksUnlessOnlyTheSizeWordChanged) {
    const int before = consumer.accepted;
    FormatRequest f{0x40, 8, 1, 2, 0, 0};
    EXPECT_TRUE(host->chain.AcceptFormat(&f));
    EXPECT_EQ(consumer.accepted, before);  // the same as attached
    f.element = 4;
    host->chain.AcceptFormat(&f);
    EXPECT_EQ(consumer.accepted, before);
    f.channels = 3;
    host->chain.AcceptFormat(&f);
    EXPECT_EQ(std::tuple(consumer.accepted, consumer.format.channels), std::tuple(before + 1, 3u));
    f.tag = kFormatTagDmap;
    host->chain.AcceptFormat(&f);
    EXPECT_EQ(consumer.accepted, before + 2);
    FormatRequest empty{0x800000, 0, 1, 1, 0, 0};  // no size bits, word 5 zero: nothing handed on
    host->chain.AcceptFormat(&empty);
    EXPECT_EQ(consumer.accepted, before + 2);

    // An active instance selects the chain's process function, none the pass-through one.
    TestModule& m = Module("M");
    FilterInstance* i = Add(m);
    EXPECT_EQ(host->process, &ProcessingComponent::ChainProcess);
    ChainRemoveInstance(&host->chain, i);
    EXPECT_EQ(host->process, &ProcessingComponent::PassThroughProcess);
}

TEST_F(ProcessingTest, NegotiationAnswersTheChainOutput) {
    ProcessingComponent fresh(nullptr);
    // An empty chain output: 64-bit reals (word 0 replaced whole), channels held to
    // 1..16384, word 3 to 1..3, the request's words 4 and 5 kept.
    struct Case {
        uint32_t format, channels, dims;
        uint32_t wantChannels, wantDims;
    } cases[] = {
        {0, 0, 9, 1, 3},           {0, 16384, 0, 16384, 1},          {0, 16385, 1, 16384, 1},
        {0x9200000, 70000, 2, 16384, 2}, {0, 0xFFFFFFFFu, 3, 16384, 3}, {0x80, 3, 2, 3, 2},
    };
    FormatRequest request;
    for (const Case& c : cases) {
        fresh.chain.output = FormatRequest{c.format, 0, c.channels, c.dims, 0, 0};
        request = FormatRequest{0x20, 4, 5, 1, kFormatTagDmap, 77};
        EXPECT_TRUE(fresh.NegotiateInput(nullptr, &request));
        EXPECT_EQ(std::tuple(request.format, request.element, request.channels, request.dims, request.tag, request.extra),
                  std::tuple(0x40u, 8u, c.wantChannels, c.wantDims, kFormatTagDmap, 77u))
            << std::hex << c.format << std::dec << " " << c.channels << " " << c.dims;
    }
    fresh.chain.output = FormatRequest{0x10, 4, 3, 2, 0, 0};
    ConsumerEnd link;
    EXPECT_TRUE(fresh.NegotiateInput(&link, &request));
    EXPECT_EQ(std::tuple(link.format.format, link.format.channels, link.format.tag), std::tuple(0x10u, 3u, 0u));
}

TEST_F(ProcessingTest, IdentityLinksAndCreation) {
    const ComponentId plug = kPlugId;
    struct Case {
        const ComponentId* id;
        bool answer;
    } cases[] = {{&kProcessingId, true}, {&kBaseId, true}, {&kComponentBaseId, true}, {&plug, false}, {&kInputId, false}};
    for (const Case& c : cases) {
        void* out = nullptr;
        EXPECT_EQ(host->QueryInterface(c.id, &out), c.answer) << c.id->code[0];
        if (out != nullptr) static_cast<ComponentBase*>(out)->Release();
    }
    EXPECT_STREQ(host->GetClassId()->name, "MultiFilter");
    EXPECT_STREQ(host->name, "Processing");
    EXPECT_EQ(std::tuple(host->GetInputLink(-1), host->GetInputLink(1), host->GetInputLink(2)),
              std::tuple(&host->chain, &host->chain, nullptr));

    ComponentObject* made = nullptr;
    ASSERT_TRUE(host->CreateInstance(&made));
    auto* other = static_cast<ProcessingComponent*>(made);
    EXPECT_EQ(std::tuple(other->chain.count, other->owner), std::tuple(0, nullptr));
    other->Release();

    // The script's stage: the affine filter first, owned by the item, listed by the ui.
    class RefusingUi : public ComponentUi {
    public:
        bool AddComponent(ComponentBase*) override { return refuse ? false : true; }
        bool refuse = false;
    } ui;
    ProjectItemBase owner;
    ComponentBase* stage = CreateProcessingFromScript(&ui, &owner, nullptr);
    ASSERT_NE(stage, nullptr);
    auto* processing = static_cast<ProcessingComponent*>(stage);
    EXPECT_EQ(std::tuple(processing->chain.count, owner.processing, processing->owner), std::tuple(1, stage, &owner));
    EXPECT_STREQ(processing->chain.first->Title(), "Affine Transformations");
    ProjectItemBase second;
    EXPECT_TRUE(SetOwner(processing, &second));
    EXPECT_EQ(std::tuple(owner.processing, second.processing), std::tuple(nullptr, stage));
    stage->Release();
    EXPECT_EQ(second.processing, nullptr);
    ui.refuse = true;
    EXPECT_EQ(CreateProcessingFromScript(&ui, &owner, nullptr), nullptr);
    EXPECT_EQ(owner.processing, nullptr);
}

TEST_F(ProcessingTest, MessagesReleaseDataAndRouteParametersToTheFilters) {
    TestModule& puller = Module("Puller");
    puller.work = TestModule::kDouble;
    FilterInstance* p = Add(puller);
    ASSERT_EQ(Pull(), 3);
    ASSERT_NE(p->block.image.block, nullptr);
    MessageRecord release(1);
    EXPECT_TRUE(host->OnMessage(&release, 0));
    EXPECT_EQ(std::tuple(p->block.pending, p->block.image.block, p->block.image.data), std::tuple(0, nullptr, nullptr));

    auto* array = new ReductionDataArray;
    array->table = std::malloc(16);
    array->tableBytes = 16;
    DataMessage section(258, array);
    EXPECT_FALSE(host->OnMessage(&section, 0));
    DataMessage parameters(259, array);
    EXPECT_FALSE(host->OnMessage(&parameters, 0));  // set word 0
    array->setWord = 1;
    EXPECT_TRUE(host->OnMessage(&parameters, 0));
    EXPECT_EQ(StateOf(p)->lastEvent, array->table);
    EXPECT_EQ(array->refCount.load(), 3);  // the test's and the two messages'
    MessageRecord bare(259);
    EXPECT_FALSE(host->OnMessage(&bare, 0));
    array->Release();

    // Page messages go upstream; a state code that repeats the upstream's state does not.
    MessageRecord page(140), state(5);
    host->SendPageMessage(&page, 0);
    host->SendPageMessage(&state, 0);
    host->SendPageMessage(&state, 0);
    host->SendPageMessage(&page, 0);
    EXPECT_EQ(source->messages, (std::vector<int32_t>{140, 5, 140}));
    EXPECT_TRUE(host->QueryPageMessage(&state, 0));  // a dropped repeat answers true
    EXPECT_EQ(source->messages.size(), 3u);
}

}  // namespace
}  // namespace orva
