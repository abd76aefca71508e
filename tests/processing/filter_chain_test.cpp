// The filter chain: the format rules, negotiation through the instances, creating
// and placing instances with their codes and log lines, and the pulls that modules
// make through the chain (size cap, clipping, held data, instances upstream).
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <tuple>

#include "processing/modules/builtin_modules.h"
#include "processing_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

TEST(FilterFormatTest, NormalisationAndElementSizes) {
    EXPECT_EQ(kFormatTagDmap, 0x50414D44u);  // "DMAP", first character lowest
    EXPECT_EQ(FourCC("DMAP"), kFormatTagDmap);
    struct Case {
        FormatRequest in;
        uint32_t format, element, channels, dims;
    } cases[] = {
        {{0x9200008, 0, 1, 1, 0, 0}, 0x8, 4, 1, 1},          // real-only bits go from a 32-bit integer
        {{0x9200040, 0, 1, 1, 0, 0}, 0x9200040, 8, 1, 1},    // and stay with the 64-bit real
        {{0x150, 0, 0, 0, 0, 0}, 0x50, 4, 1, 1},             // reals lose the unsigned bit
        {{0x181, 0, 20000, 9, 0, 0}, 0x101, 1, 16384, 3},    // 8-bit loses the swap bit
        {{0x182, 0, 3, 2, 0, 0}, 0x182, 2, 3, 2},
        {{0x04, 0, 1, 1, 0, 0}, 0x04, 3, 1, 1},
        {{0x18, 0, 1, 1, 0, 0}, 0x18, 4, 1, 1},
        {{0x60, 0, 1, 1, 0, 0}, 0x60, 8, 1, 1},
        {{0x800000, 7, 1, 1, 0, 0}, 0x800000, 0, 1, 1},     // no size bits: size 0
    };
    for (const Case& c : cases) {
        FormatRequest f = c.in;
        NormalizeFormatRequest(&f);
        EXPECT_EQ(std::tuple(f.format, f.element, f.channels, f.dims), std::tuple(c.format, c.element, c.channels, c.dims))
            << std::hex << c.in.format;
    }
}

class ChainTest : public ::testing::Test {
protected:
    void SetUp() override { host = new ProcessingComponent(&item); }
    void TearDown() override {
        host->Release();
        if (source != nullptr) source->Release();
    }
    // Modules live as long as the fixture: the instances keep their descriptors.
    TestModule& Module(const char* title) { return modules.emplace_back(MakeModule(title)); }
    FilterInstance* Add(const TestModule& m) {
        FilterInstance* i = nullptr;
        EXPECT_EQ(filterAdd(&host->chain, &m.descriptor, &i), 0) << m.descriptor.title;
        return i;
    }
    void Attach(int64_t w = 64, int64_t h = 48) {
        source = new FrameSource(&item, w, h);
        ASSERT_TRUE(ConsumerAttach(&host->chain, source));
    }
    std::deque<TestModule> modules;
    ProjectItemBase item;
    ProcessingComponent* host = nullptr;
    FrameSource* source = nullptr;
};

TEST_F(ChainTest, NegotiationWalksTheInstances) {
    FilterChain& chain = host->chain;
    // Channels or dimensions zero: idle, the input passed through as it is.
    EXPECT_FALSE(SetChainInputFormat(&chain, {0x40, 8, 0, 1, 0, 3}));
    EXPECT_EQ(std::tuple(chain.idle, chain.output.channels, chain.output.extra), std::tuple(1, 0u, 3u));

    TestModule &a = Module("A"), &b = Module("B"), &c = Module("C");
    a.outputChannels = 2;
    a.outputExtra = 7;
    a.scratchRequestFormat = 0x10;
    c.negotiateResult = -1;
    FilterInstance* ia = Add(a);
    FilterInstance* ib = Add(b);
    FilterInstance* ic = Add(c);
    ASSERT_EQ(std::tuple(chain.first, chain.first->next, chain.last), std::tuple(ia, ib, ic));
    EXPECT_TRUE(SetChainInputFormat(&chain, {0x40, 8, 1, 2, 0, 0}));
    EXPECT_EQ(chain.idle, 0);
    // C refused: flagged and skipped; the output is what B produced.
    EXPECT_EQ(std::tuple(ic->error, ic->skip, ia->skip, ib->skip), std::tuple(1, 1, 0, 0));
    EXPECT_EQ(std::tuple(chain.output.channels, chain.output.extra), std::tuple(2u, 7u));
    // The request and output formats are not reset between instances: B saw A's.
    EXPECT_EQ(std::tuple(StateOf(ib)->seenRequest.format, StateOf(ib)->seenOutput.extra,
                         StateOf(ib)->seenOutput.element),
              std::tuple(0x10u, 7u, 8u));
    EXPECT_EQ(std::tuple(ib->input.channels, ib->output.channels), std::tuple(2u, 2u));

    // A module that asks for a converted input is switched off for the stream.
    b.negotiateResult = 0;
    ChainSetInstanceOff(&chain, ia, true);
    EXPECT_TRUE(NegotiateChainFormat(&chain));  // A still binds (switched off, not refused)
    EXPECT_EQ(std::tuple(ia->skip, ia->error, ib->error, ib->skip), std::tuple(1, 0, 1, 1));
    EXPECT_EQ(chain.output.channels, 2u);  // A's output; B and C passed over
    // Off stays off through any later negotiation.
    b.negotiateResult = 1;
    EXPECT_TRUE(NegotiateChainFormat(&chain));
    EXPECT_EQ(std::tuple(ia->skip, ia->off, ib->skip, ib->error), std::tuple(1, 1, 0, 0));

    // Nothing binds: idle, the output is the input.
    a.negotiateResult = b.negotiateResult = -1;
    EXPECT_FALSE(NegotiateChainFormat(&chain));
    EXPECT_EQ(std::tuple(chain.idle, chain.output.channels), std::tuple(1, 1u));
}

TEST_F(ChainTest, AddingInstancesGivesCodesAndLogLines) {
    FilterChain& chain = host->chain;
    struct Case {
        const char* name;
        void (*setup)(TestModule*);
        int32_t code;
        const char* log;
    } cases[] = {
        {"no create", [](TestModule* m) { m->descriptor.create = nullptr; }, -2, ""},
        {"state too large", [](TestModule* m) { m->stateBytes = kFilterMaxStateBytes + 1; }, -2,
         "$plugins:  [] (external) memory leak...\nT\n"},
        {"not a filter", [](TestModule* m) { m->descriptor.flags = 0x10000; }, -4, "$filterAdd: unkn. type...\n"},
        {"create throws", [](TestModule* m) { m->createThrows = true; }, -7, "$module: exeption...\nT\n"},
        {"create refuses, state left", [](TestModule* m) { m->createRefuses = m->createLeavesState = true; }, -8,
         "$plugins:  [] (external) memory leak...\nT\n"},
        {"create refuses", [](TestModule* m) { m->createRefuses = true; }, -8, "T\n"},
        {"no negotiation", [](TestModule* m) { m->noNegotiate = true; }, -8,
         "$plugins:  [] (external) memory leak...\nT\n"},
    };
    for (const Case& c : cases) {
        TestModule m = MakeModule("T");
        c.setup(&m);
        FilterInstance* out = reinterpret_cast<FilterInstance*>(&chain);  // must stay untouched
        int32_t code = 0;
        std::string log = CapturedLog([&] { code = filterAdd(&chain, &m.descriptor, &out); });
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(log, c.log) << c.name;
        EXPECT_EQ(out, reinterpret_cast<FilterInstance*>(&chain)) << c.name;
        EXPECT_EQ(chain.count, 0) << c.name;
    }
    EXPECT_EQ(filterAdd(&chain, nullptr, nullptr), -2);

    // No memory for the instance: -6 before the module is asked (its create would
    // throw and log), nothing logged, nothing linked; through "Add Filter" no instance
    // and the record's reference given back.
    {
        TestModule m = MakeModule("T");
        m.createThrows = true;
        FilterInstance* out = reinterpret_cast<FilterInstance*>(&chain);
        FilterModuleRecord* record = RecordFor(m);
        int32_t code = 0;
        FilterInstance* inserted = reinterpret_cast<FilterInstance*>(&chain);
        FilterChainFailInstanceAllocationForTest(true);
        const std::string log = CapturedLog([&] {
            code = filterAdd(&chain, &m.descriptor, &out);
            inserted = InsertModuleFilter(&chain, record, true);
        });
        FilterChainFailInstanceAllocationForTest(false);
        EXPECT_EQ(std::tuple(code, log, out, chain.count, chain.first),
                  std::tuple(kFilterNoMemory, std::string(), reinterpret_cast<FilterInstance*>(&chain), 0, nullptr));
        EXPECT_EQ(std::tuple(inserted, record->refCount.load()), std::tuple(nullptr, 1));
        record->Release();
    }

    // Without a process entry: created and linked, never run.
    TestModule& idle = Module("Idle");
    idle.noProcess = true;
    FilterInstance* i = Add(idle);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(std::tuple(i->skip, chain.count, chain.current), std::tuple(1, 1, i));
}

TEST_F(ChainTest, FiltersAddedWhileTheAffineFilterIsCurrentGoBeforeIt) {
    FilterChain& chain = host->chain;
    EXPECT_TRUE(FilterChainInit(&chain));
    EXPECT_STREQ(chain.name, "MultiFilter");
    ASSERT_EQ(chain.count, 1);
    FilterInstance* affine = chain.first;
    EXPECT_STREQ(affine->Title(), "Affine Transformations");
    TestModule &x = Module("X"), &y = Module("Y");
    FilterInstance* ix = Add(x);
    FilterInstance* iy = Add(y);
    // X went before the affine filter and became current; Y after X.
    EXPECT_EQ(std::tuple(chain.first, ix->next, iy->next, chain.last, chain.current), std::tuple(ix, iy, affine, affine, iy));
    chain.keepLast = 0;
    chain.current = affine;
    FilterInstance* iz = Add(Module("Z"));
    EXPECT_EQ(chain.last, iz);
    ChainRemoveInstance(&chain, iz);
    EXPECT_EQ(std::tuple(chain.count, chain.current), std::tuple(3, affine));
}

// A module that pulls through the chain (doubling what it gets).
TEST_F(ChainTest, BlocksAreCappedClippedAndHeld) {
    Attach(64, 48);
    TestModule& puller = Module("Puller");
    puller.work = TestModule::kDouble;
    FilterInstance* p = Add(puller);
    ASSERT_TRUE(NegotiateChainFormat(&host->chain));
    ASSERT_EQ(p->skip, 0);
    PullRequest fresh;
    fresh.readAgain = 1;

    // The cap of 64 Mi elements (the source refuses, so nothing is allocated), over data
    // larger than every request.
    source->produce = false;
    source->data.width = source->data.height = int64_t{1} << 40;
    struct Cap {
        int32_t width, height, wantWidth, wantHeight;
    } caps[] = {{10000, 10000, 10000, 6710}, {0x5000000, 1, 0x4000000, 1}, {0x3000000, 3, 0x3000000, 1}, {64, 48, 64, 48}};
    for (const Cap& c : caps) {
        p->block.window = ReadWindow{};
        p->block.window.width = c.width;
        p->block.window.height = c.height;
        EXPECT_FALSE(ProcessChainBlock(&p->block, &fresh));
        EXPECT_EQ(std::tuple(source->lastWindow.width, source->lastWindow.height), std::tuple(c.wantWidth, c.wantHeight))
            << c.width << "x" << c.height;
    }
    source->produce = true;

    // Clipped to the upstream's data extent (its frame-data answer), read again or not.
    source->data.width = 50;
    source->data.height = 40;
    PullRequest normal;
    p->block.window = ReadWindow{2, 0, 10, 5, 100, 100};
    ASSERT_TRUE(ProcessChainBlock(&p->block, &fresh));
    EXPECT_EQ(std::tuple(source->lastWindow.x, source->lastWindow.y, source->lastWindow.width,
                         source->lastWindow.height),
              std::tuple(10, 5, 40, 35));
    p->block.window = ReadWindow{2, 0, 10, 5, 100, 100};
    ASSERT_TRUE(ProcessChainBlock(&p->block, &normal));
    EXPECT_EQ(std::tuple(source->lastWindow.x, source->lastWindow.y, source->lastWindow.width, source->lastWindow.height),
              std::tuple(10, 5, 40, 35));
    EXPECT_EQ(std::tuple(p->block.pending, p->block.deliveredFrame), std::tuple(1, 2u));

    // Held: the same frame and a box inside answer without an upstream call.
    const int pulls = source->pulls;
    p->block.window = ReadWindow{2, 0, 20, 10, 5, 5};
    EXPECT_TRUE(ProcessChainBlock(&p->block, &normal));
    p->block.window = ReadWindow{-1, -1, 10, 5, 40, 35};  // negative: any frame
    EXPECT_TRUE(ProcessChainBlock(&p->block, &normal));
    EXPECT_EQ(source->pulls, pulls);
    p->block.window = ReadWindow{3, 0, 20, 10, 5, 5};  // another frame
    EXPECT_TRUE(ProcessChainBlock(&p->block, &normal));
    p->block.window = ReadWindow{3, 0, 0, 0, 5, 5};  // outside the held box
    EXPECT_TRUE(ProcessChainBlock(&p->block, &normal));
    p->block.window = ReadWindow{3, 0, 0, 0, 5, 5};  // fresh data asked for
    EXPECT_TRUE(ProcessChainBlock(&p->block, &fresh));
    EXPECT_EQ(source->pulls, pulls + 3);
    // An upstream change clears the done flags.
    host->chain.OnUpstreamChanged();
    EXPECT_EQ(p->block.pending, 0);
}

TEST_F(ChainTest, InstancesUpstreamServeAModulesPull) {
    Attach(8, 8);
    TestModule &maker = Module("Maker"), &puller = Module("Puller");
    maker.constant = 21.0;
    puller.work = TestModule::kDouble;
    FilterInstance* m = Add(maker);
    FilterInstance* p = Add(puller);
    ASSERT_TRUE(NegotiateChainFormat(&host->chain));
    PullRequest request;
    p->block.window = ReadWindow{0, 0, 0, 0, 1, 1};
    ASSERT_TRUE(ProcessChainBlock(&p->block, &request));
    EXPECT_EQ(*static_cast<double*>(p->block.image.data), 21.0);
    EXPECT_EQ(std::tuple(source->pulls.load(), StateOf(m)->processCalls), std::tuple(0, 1));

    // -1 ends the pull; below -1 goes on upstream; a fault switches the maker off for good.
    p->block.pending = 0;
    maker.processResult = -1;
    EXPECT_FALSE(ProcessChainBlock(&p->block, &request));
    maker.processResult = -3;
    EXPECT_TRUE(ProcessChainBlock(&p->block, &request));
    EXPECT_EQ(source->pulls, 1);
    p->block.pending = 0;
    maker.work = TestModule::kThrow;
    std::string log = CapturedLog([&] { EXPECT_TRUE(ProcessChainBlock(&p->block, &request)); });
    EXPECT_EQ(log, "process: Maker - module exeption...\n");
    EXPECT_EQ(std::tuple(m->bypass, m->skip, host->chain.pluginListRefreshes, source->pulls.load()),
              std::tuple(1, 1, 1, 2));
    EXPECT_TRUE(NegotiateChainFormat(&host->chain));
    EXPECT_EQ(std::tuple(m->bypass, m->skip), std::tuple(1, 1));
}

TEST_F(ChainTest, QueriesAndEventsFollowTheChain) {
    Attach();
    TestModule &a = Module("A"), &b = Module("B");
    FilterInstance* ia = Add(a);
    FilterInstance* ib = Add(b);
    // Without module answers the frame queries reach the upstream.
    EXPECT_EQ(ChainFirstQuery(&ib->block), &source->description);
    EXPECT_EQ(ChainFirstCall(&ib->block, 4, 1), &source->data);
    EXPECT_EQ(std::tuple(source->data.frame, source->data.section), std::tuple(4, 1));

    // Idle: no event reaches a module.
    int event = 0;
    EXPECT_FALSE(ChainBroadcast(&host->chain, &event));
    ASSERT_TRUE(NegotiateChainFormat(&host->chain));
    b.eventHandled = false;
    EXPECT_TRUE(ChainBroadcast(&host->chain, &event));
    EXPECT_EQ(std::tuple(StateOf(ia)->lastEvent, StateOf(ib)->lastEvent), std::tuple(&event, &event));
    a.eventHandled = false;
    EXPECT_FALSE(ChainBroadcast(&host->chain, &event));

    // Done flags are cleared from an instance to the end, skipped ones left.
    ia->block.pending = ib->block.pending = 1;
    ChainClearDone(ib);
    EXPECT_EQ(std::tuple(ia->block.pending, ib->block.pending), std::tuple(1, 0));
}

TEST_F(ChainTest, EditsMoveRemoveAndSwitchInstances) {
    FilterChain& chain = host->chain;
    TestModule &a = Module("A"), &b = Module("B"), &c = Module("C");
    FilterInstance* ia = Add(a);
    FilterInstance* ib = Add(b);
    FilterInstance* ic = Add(c);
    ASSERT_TRUE(SetChainInputFormat(&chain, {0x40, 8, 1, 2, 0, 0}));
    EXPECT_FALSE(ChainMoveInstance(&chain, ia, true));   // first: cannot move up
    EXPECT_FALSE(ChainMoveInstance(&chain, ic, false));  // last: cannot move down
    EXPECT_TRUE(ChainMoveInstance(&chain, ic, true));
    EXPECT_EQ(std::tuple(chain.first, ia->next, ic->next, ib->next, chain.last), std::tuple(ia, ic, ib, nullptr, ib));
    EXPECT_TRUE(ChainMoveInstance(&chain, ia, false));
    EXPECT_EQ(std::tuple(chain.first, ic->next, ia->next, chain.last, chain.current), std::tuple(ic, ia, ib, ib, ic));
    EXPECT_TRUE(ChainSetInstanceOff(&chain, ia, true));
    EXPECT_EQ(std::tuple(ia->off, ia->skip), std::tuple(1, 1));
    EXPECT_TRUE(ChainSetInstanceOff(&chain, ia, false));
    EXPECT_EQ(ia->skip, 0);

    chain.current = ia;
    EXPECT_TRUE(ChainRemoveInstance(&chain, ia));
    EXPECT_EQ(std::tuple(chain.count, chain.current, ic->next), std::tuple(2, ib, ib));
    ProcessingComponent other(nullptr);
    EXPECT_FALSE(ChainRemoveInstance(&other.chain, ib));  // not its chain
    ChainRemoveAll(&chain);
    EXPECT_EQ(std::tuple(chain.count, chain.first, chain.last, chain.current, chain.idle),
              std::tuple(0, nullptr, nullptr, nullptr, 1));
}

}  // namespace
}  // namespace orva
