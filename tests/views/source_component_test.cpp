// The Source without a user interface: format negotiation, the pull, the value-range,
// section and selection requests, the section block, the data set's notifications and
// the project item's data-set sink, on data sets described in code.
#include "views/source_component.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <vector>
#include <tuple>

#include "app/cui.h"
#include "io/data_set_fixture.h"
#include "io/frame_access.h"
#include "io/service_description.h"
#include "transform/transformation.h"
#include "transform/value_scaler.h"
#include "source_test_support.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::Sample;
using testing_views::Consumer;
using testing_views::CountingStatistics;
using testing_views::StandInChain;
using testing_views::TestUi;

auto Offer(const FormatRequest& f) { return std::tuple(f.format, f.element, f.channels, f.dims); }

class SourceTest : public DataSetFixture {
protected:
    void TearDown() override {
        for (ComponentBase* c : held)
            if (ComponentIsLive(c)) c->Release();
        for (DataSet* d : sets) d->Release();
        DataSetFixture::TearDown();
    }
    template <class T>
    T* Hold(T* c) {
        held.push_back(c);
        return c;
    }
    DataSet* Keep(DataSet* d) {
        sets.push_back(d);
        return d;
    }
    // A Source of its own (released at the end) holding the data set.
    SourceComponent* SourceOf(DataSet* d) {
        auto* s = Hold(new SourceComponent(nullptr));
        s->SetInput(d);
        return s;
    }
    // A data set of w x h x frames samples (Sample(x, y, f)) read from a file.
    DataSet* FileData(uint32_t w, uint32_t h, uint32_t frames) {
        return Keep(Describe(Write("d.raw", BigEndianFrames(w, h, frames)), w, h, frames));
    }
    std::vector<ComponentBase*> held;
    std::vector<DataSet*> sets;
};

TEST_F(SourceTest, NegotiationOffersRealsInTheDataSetsShape) {
    // Without a data set: one 64-bit real channel, the consumer's dimensions in 1..3.
    SourceComponent* empty = SourceOf(nullptr);
    for (auto [asked, given] : {std::pair{0u, 1u}, {2u, 2u}, {3u, 3u}, {7u, 3u}}) {
        FormatRequest r{0, 0, 1, asked, 0, 0};
        Consumer c;
        EXPECT_TRUE(empty->NegotiateInput(&c.input, &r));
        EXPECT_EQ(Offer(r), std::tuple(0x40u, 8u, 1u, given)) << asked;
    }

    // Three channels of 16 bits with high flag bits: 0x100BF go, 0x40 comes.
    DataSet* d = Keep(Shaped(0x02 | 0x80 | 0x100 | 0x10000 | 0x400000, 64, 48, 3));
    SourceComponent* s = SourceOf(d);
    Consumer all, one;
    one.maxChannels = 1;
    s->keyA.store(1);
    s->keyB.store(2);
    FormatRequest r;
    EXPECT_TRUE(s->NegotiateInput(&all.input, &r));
    EXPECT_EQ(std::pair(s->keyA.load(), s->keyB.load()), std::pair(uintptr_t{0}, uintptr_t{0}));
    ASSERT_EQ(all.offers.size(), 1u);
    EXPECT_EQ(Offer(all.offers[0]), std::tuple(0x400040u, 8u, 3u, 2u));
    EXPECT_EQ(std::tuple(d->output.type, d->output.channels, d->output.axes), std::tuple(0x400040u, 3u, 2u));
    // Refused at three channels, offered one; the data set delivers three as it is
    // described, so its prepare refuses the single channel.
    r = FormatRequest{};
    EXPECT_FALSE(s->NegotiateInput(&one.input, &r));
    ASSERT_EQ(one.offers.size(), 2u);
    EXPECT_EQ(std::pair(one.offers[0].channels, one.offers[1].channels), std::pair(3u, 1u));
    // A combining channel mode delivers one channel, which one-channel consumers take.
    d->channelMode = kChannelSumming;
    one.offers.clear();
    EXPECT_TRUE(s->NegotiateInput(&one.input, &r));
    EXPECT_EQ(one.offers.size(), 1u);
    EXPECT_EQ(r.channels, 1u);
    // Without a consumer the offer is all there is.
    r = FormatRequest{};
    EXPECT_TRUE(s->NegotiateInput(nullptr, &r));
    EXPECT_EQ(r.channels, 1u);

    // Dimensions by the y and z sizes.
    for (auto [y, z, dims] : {std::tuple(1, 1, 1u), std::tuple(1, 5, 1u), std::tuple(48, 1, 2u), std::tuple(48, 4, 3u)}) {
        DataSet* shaped = Keep(Shaped(0x08, 64, y));
        shaped->sizeZ = z;
        FormatRequest f;
        EXPECT_TRUE(SourceOf(shaped)->NegotiateInput(nullptr, &f));
        EXPECT_EQ(Offer(f), std::tuple(0x40u, 8u, 1u, dims)) << y << " " << z;
    }
}

TEST_F(SourceTest, PullsTheCurrentOrTheAskedFrame) {
    DataSet* d = FileData(8, 4, 3);
    SourceComponent* s = SourceOf(d);
    Consumer c;
    ASSERT_TRUE(ConsumerAttach(&c.input, s));
    PullResult r;
    auto matches = [&](uint32_t frame) {
        for (uint32_t y = 0; y < 4; ++y)
            for (uint32_t x = 0; x < 8; ++x)
                if (c.Values(r)[y * 8 + x] != Sample(x, y, frame)) return false;
        return true;
    };
    // The current frame, selected with message 257.
    FrameMessage select(kMsgSelectPosition, 2, 0);
    EXPECT_TRUE(s->OnMessage(&select, 0));
    EXPECT_EQ(c.Pull(&r, -1, -1, 8, 4), 3);
    EXPECT_EQ(std::tuple(r.pending, r.deliveredFrame, r.deliveredSection), std::tuple(uint8_t{1}, 2u, 0u));
    EXPECT_TRUE(matches(2));
    // A frame named in the window.
    EXPECT_EQ(c.Pull(&r, 1, 0, 8, 4), 3);
    EXPECT_EQ(r.deliveredFrame, 1u);
    EXPECT_TRUE(matches(1));
    // Backwards through the file: logical frame 0 is the last file frame.
    d->frameStep = -1;
    EXPECT_EQ(c.Pull(&r, 0, 0, 8, 4), 3);
    EXPECT_TRUE(matches(2));
    d->frameStep = 1;
    // A read that fails gives no data.
    EXPECT_EQ(c.Pull(&r, 0, 0, 0, 4), 0);
    EXPECT_EQ(c.Pull(&r, 3, 0, 8, 4), 0);
    EXPECT_EQ(r.pending, 0);
    // Without a data set nothing is produced.
    s->SetInput(nullptr);
    EXPECT_EQ(c.Pull(&r, 0, 0, 8, 4), 0);
    ConsumerDetach(&c.input);
}

TEST_F(SourceTest, SelectionNeedsAFramePair) {
    DataSet* d = FileData(4, 4, 5);
    SourceComponent* s = SourceOf(d);
    MessageRecord bare(kMsgSelectPosition);
    EXPECT_FALSE(s->OnMessage(&bare, 0));
    FrameMessage select(kMsgSelectPosition, 9, 0);
    EXPECT_TRUE(s->OnMessage(&select, 0));
    EXPECT_EQ(d->currentFrame, 4);  // clamped to the last frame
    MessageRecord ping(kMsgPing), reserved(kMsgSourceReserved);
    EXPECT_TRUE(s->OnMessage(&ping, 0));
    EXPECT_FALSE(s->OnMessage(&reserved, 0));
    // The shared selection codes: no panel window, handled all the same.
    MessageRecord other(4711);
    EXPECT_FALSE(s->OnMessage(&other, 0));
}

// A new frame's statistics are read for a view whose range follows the frame, once per
// frame; a plain selection, a pull and a view with a range of its own read none.
TEST_F(SourceTest, SelectingAFrameReadsItsStatisticsOnlyForAViewThatFollows) {
    CountingStatistics statistics;
    DataSet* d = FileData(16, 12, 6);
    ProjectItemBase item;
    auto* s = Hold(new SourceComponent(&item));
    s->SetInput(d);
    item.firstStage = s;
    auto select = [&](int32_t frame) {
        FrameMessage m(kMsgSelectPosition, frame, 0);
        return s->OnMessage(&m, 0);
    };
    auto pull = [&](Consumer& c) {
        PullResult r;
        r.window = ReadWindow{-1, -1, 0, 0, 16, 12, 0, 1, 0};
        return ComponentPull(&c.input, &r, nullptr) == 3 && c.Values(r)[0] == Sample(0, 0, d->currentFrame);
    };
    Consumer plain;
    ASSERT_TRUE(ConsumerAttach(&plain.input, s));
    CountingStatistics::calls = 0;
    for (int32_t f : {1, 2, 3}) {
        ASSERT_TRUE(select(f));
        EXPECT_TRUE(pull(plain));
    }
    EXPECT_EQ(CountingStatistics::calls, 0);

    // A view over the frame's extremes: stored fileFrame + 1 .. 10 through zero 32768
    // (the counting kernel's figures).
    auto* view = Hold(new TransformationComponent(&item, nullptr, 0));
    ASSERT_TRUE(ConsumerAttach(&view->input, s));
    view->scaler.Current().rangeMode = 1;
    ValueScalerRefresh(&view->scaler, false);
    EXPECT_EQ(CountingStatistics::calls, 1);  // the shown frame's, for the view
    auto range = [&] { return std::pair(view->scaler.Current().min, view->scaler.Current().max); };
    EXPECT_EQ(range(), std::pair(32772.0, 32778.0));
    struct Step {
        int32_t frame;
        int calls;  // statistics read so far
        double low;
    };
    const Step steps[] = {{4, 2, 32773.0}, {4, 2, 32773.0}, {1, 3, 32770.0}, {4, 3, 32773.0}, {5, 4, 32774.0}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.frame);
        ASSERT_TRUE(select(step.frame));
        EXPECT_TRUE(pull(plain));
        EXPECT_EQ(CountingStatistics::calls, step.calls);
        EXPECT_EQ(range(), std::pair(step.low, 32778.0));
    }

    // A range typed by the user stays, and no statistics are read for it.
    view->scaler.Current().min = 0.0;
    view->scaler.Current().max = 70000.0;
    ASSERT_TRUE(select(0));
    EXPECT_EQ(CountingStatistics::calls, 4);
    EXPECT_EQ(range(), std::pair(0.0, 70000.0));
    ConsumerDetach(&view->input);
    ConsumerDetach(&plain.input);
    item.firstStage = nullptr;
}

// Stepping with a view that follows the frame: the statistics pass and the pull share
// one read of the frame, and the pull delivers exactly what a Source without such a
// view delivers from the same file, whole or cropped, forwards or backwards.
TEST_F(SourceTest, AFollowingViewsStepDeliversWhatAPlainPullDelivers) {
    const uint32_t W = 24, H = 10, F = 5;
    const std::string path = Write("follow.raw", BigEndianFrames(W, H, F));
    DataSet* followed = Keep(Describe(path, W, H, F));
    DataSet* plain = Keep(Describe(path, W, H, F));
    ProjectItemBase item;
    auto* s = Hold(new SourceComponent(&item));
    s->SetInput(followed);
    item.firstStage = s;
    auto* view = Hold(new TransformationComponent(&item, nullptr, 0));
    ASSERT_TRUE(ConsumerAttach(&view->input, s));
    view->scaler.Current().rangeMode = 1;
    ValueScalerRefresh(&view->scaler, false);
    SourceComponent* other = SourceOf(plain);
    Consumer a, b;
    ASSERT_TRUE(ConsumerAttach(&a.input, s));
    ASSERT_TRUE(ConsumerAttach(&b.input, other));
    auto select = [](SourceComponent* source, int32_t frame) {
        FrameMessage m(kMsgSelectPosition, frame, 0);
        return source->OnMessage(&m, 0);
    };
    auto deliver = [](Consumer& c) {
        PullResult r;
        r.window = ReadWindow{-1, -1, 0, 0, 64, 64, 0, 1, 0};
        if (ComponentPull(&c.input, &r, nullptr) != 3) return std::vector<double>{};
        return std::vector<double>(c.Values(r), c.Values(r) + uint64_t{r.image.width} * r.image.height);
    };
    auto step = [&](int32_t frame, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h) {
        SCOPED_TRACE(frame);
        ASSERT_TRUE(select(s, frame));
        ASSERT_TRUE(select(other, frame));
        EXPECT_TRUE(followed->keptPlane.Holds());  // the view's pass read the frame
        const std::vector<double> served = deliver(a);
        EXPECT_FALSE(followed->keptPlane.Holds());
        const std::vector<double> read = deliver(b);
        ASSERT_EQ(served.size(), uint64_t{w} * h);
        EXPECT_EQ(std::memcmp(served.data(), read.data(), served.size() * 8), 0);
        double low = DBL_MAX, high = -DBL_MAX;
        const uint32_t fileFrame = MapFrameByStep(*followed, frame);
        for (uint32_t y = y0; y < y0 + h; ++y)
            for (uint32_t x = x0; x < x0 + w; ++x) {
                low = std::min<double>(low, Sample(x, y, fileFrame));
                high = std::max<double>(high, Sample(x, y, fileFrame));
            }
        EXPECT_EQ(view->scaler.Current().min, low);
        EXPECT_EQ(view->scaler.Current().max, high);
    };
    for (int32_t f : {3, 1, 4}) step(f, 0, 0, W, H);
    // Cropped: the pass keeps only the rows' cropped parts.
    InputRegion region;
    region.position[0] = 5;
    region.position[1] = 2;
    region.size[0] = 11;
    region.size[1] = 6;
    region.size[2] = -1;
    ASSERT_TRUE(SetInputRegion(followed, &region));
    ASSERT_TRUE(SetInputRegion(plain, &region));
    for (int32_t f : {0, 2}) step(f, 5, 2, 11, 6);
    // Backwards through the file.
    followed->frameStep = plain->frameStep = -1;
    followed->FormatChanged();
    plain->FormatChanged();
    for (int32_t f : {1, 3}) step(f, 5, 2, 11, 6);
    ConsumerDetach(&a.input);
    ConsumerDetach(&b.input);
    ConsumerDetach(&view->input);
    item.firstStage = nullptr;
}

TEST_F(SourceTest, ValueRangeRequests) {
    CountingStatistics statistics;
    DataSet* d = Keep(Shaped(0x02, 16, 16, 1, 10));
    d->sections = 2;
    d->scale = 2.0;
    d->zero = 1.0;
    d->rangeMin = -5.0;
    d->rangeMax = 5.0;
    CountingStatistics::Install(d);
    SourceComponent* s = SourceOf(d);
    ValueRangeTarget* target = ValueRangeTarget::Create();
    auto ask = [&](MessageRecord* m) {
        const int32_t before = target->refCount.load();
        const bool answer = s->OnMessage(m, 0);
        EXPECT_EQ(target->refCount.load(), before) << "reference kept";
        return answer;
    };

    // The kept statistics of the current section in physical units: 2 v + 1.
    DataMessage current(kMsgValueRange, target);
    ASSERT_TRUE(ask(&current));
    EXPECT_EQ(std::tuple(target->range.min, target->range.max, target->range.rms, target->range.mean,
                         target->range.sum, target->range.count),
              std::tuple(3.0, 21.0, 4.0, 11.0, 88.0, int64_t{8}));
    EXPECT_EQ(target->flags, kValueRangeMinMax | kValueRangeMeanRms | kValueRangeHeader);
    EXPECT_EQ(std::pair(target->headerRange.low, target->headerRange.high), std::pair(-5.0, 5.0));
    EXPECT_EQ(target->channel, 0);
    // One section: its record, mapped (file frame 3 + 1 = 4, section 1: 20).
    FrameDataMessage section(kMsgValueRangePartial, target, 3, 1);
    ASSERT_TRUE(ask(&section));
    EXPECT_EQ(std::pair(target->range.min, target->range.max), std::pair(9.0, 41.0));
    // A section that does not exist: no statistics, flag word 0.
    FrameDataMessage missing(kMsgValueRange, target, 3, 2);
    ASSERT_TRUE(ask(&missing));
    EXPECT_EQ(target->flags, 0u);

    // A stated range upside down clears bit 2; the file's service description states one.
    auto* service = new ServiceDescription;
    service->flags = kFlagValueRange;
    service->min = 1.0;
    service->max = 2.0;
    d->service = service;
    d->rangeMin = 5.0;
    d->rangeMax = -5.0;
    target->flags = kValueRangeHeader;
    ASSERT_TRUE(ask(&current));
    EXPECT_EQ(target->flags, kValueRangeMinMax | kValueRangeMeanRms | kValueRangeLayout);
    EXPECT_EQ(std::pair(target->layoutRange.low, target->layoutRange.high), std::pair(1.0, 2.0));
    // No stated layout range: bit 3 keeps its value; a reversed one clears it.
    service->flags = 0;
    ASSERT_TRUE(ask(&current));
    EXPECT_NE(target->flags & kValueRangeLayout, 0u);
    service->flags = kFlagValueRange;
    service->min = 3.0;
    ASSERT_TRUE(ask(&current));
    EXPECT_EQ(target->flags & kValueRangeLayout, 0u);
    // Without a mean only min and max are flagged.
    SectionStatistics* record = DataSetSectionRecord(d, 0, 0, nullptr);
    ASSERT_NE(record, nullptr);
    record->mean = kStatisticUnset;
    d->cacheValid = 0;
    ASSERT_TRUE(ask(&current));
    EXPECT_EQ(target->flags & 3u, kValueRangeMinMax);

    // The channel word: the selected channel less one, or -1 for combined channels.
    d->input.channels = 3;
    d->channelMode = kChannelSelected;
    d->selectedChannel = 2;
    ASSERT_TRUE(ask(&current));
    EXPECT_EQ(target->channel, 1);
    d->channelMode = kChannelMean;
    ASSERT_TRUE(ask(&current));
    EXPECT_EQ(target->channel, -1);

    // Refusals: no target, a target of another class, no data set.
    MessageRecord bare(kMsgValueRange);
    EXPECT_FALSE(s->OnMessage(&bare, 0));
    DataMessage none(kMsgValueRange, nullptr);
    EXPECT_FALSE(s->OnMessage(&none, 0));
    auto* array = new ReductionDataArray;
    DataMessage wrong(kMsgValueRange, array);
    EXPECT_FALSE(s->OnMessage(&wrong, 0));
    EXPECT_EQ(array->refCount.load(), 2);
    array->Release();
    EXPECT_FALSE(SourceOf(nullptr)->OnMessage(&current, 0));
    // A data set without frames: true, the target untouched.
    SourceComponent* frameless = SourceOf(Keep(DataSet::Create(MakeFormatTag("TEST"))));
    target->flags = 0xF0;
    target->range.min = 123.0;
    const int32_t before = target->refCount.load();
    EXPECT_TRUE(frameless->OnMessage(&current, 0));
    EXPECT_EQ(target->refCount.load(), before);
    EXPECT_EQ(std::pair(target->flags, target->range.min), std::pair(0xF0u, 123.0));
    target->Release();
}

TEST_F(SourceTest, SectionBlockIsKeptUntilAnotherIsAsked) {
    CountingStatistics statistics;
    DataSet* d = Keep(Shaped(0x02, 16, 12, 1, 10));
    d->sections = 3;
    d->cropSizeZ = 1;
    SourceComponent* s = SourceOf(d);
    // Not readable (no file): no block.
    EXPECT_EQ(s->QueryFrameData(0, 0), nullptr);
    d->Release();
    sets.pop_back();

    d = FileData(16, 12, 10);
    d->sections = 3;
    s = SourceOf(d);
    CountingStatistics::calls = 0;
    auto* b = static_cast<SourceSection*>(s->QueryFrameData(4, 2));
    ASSERT_NE(b, nullptr);
    // The block reads no statistics: it is asked for on every frame a display draws.
    EXPECT_EQ(CountingStatistics::calls, 0);
    EXPECT_EQ(std::tuple(b->frame, b->section, b->sectionCount, b->width, b->height, b->cropSize[2]),
              std::tuple(4, 2, 3u, int64_t{16}, int64_t{12}, uint64_t{1}));
    EXPECT_EQ(std::pair(b->minimum, b->maximum), std::pair(DBL_MAX, -DBL_MAX));
    EXPECT_EQ(s->CachedFrameData(), b);
    // Statistics taken for something else (a value-range request of the section) bring
    // the block its extremes: stored 5 and 30 through zero 32768.
    ValueRangeTarget* asked = ValueRangeTarget::Create();
    FrameDataMessage ask(kMsgValueRange, asked, 4, 2);
    ASSERT_TRUE(s->OnMessage(&ask, 0));
    asked->Release();
    EXPECT_EQ(CountingStatistics::calls, 1);
    // The same block again without a read, now with the extremes.
    EXPECT_EQ(s->QueryFrameData(-1, -1), b);
    EXPECT_EQ(std::pair(b->minimum, b->maximum), std::pair(32773.0, 32798.0));
    EXPECT_EQ(s->QueryFrameData(4, -1), b);
    EXPECT_EQ(CountingStatistics::calls, 1);
    // Another section of the frame: only its record, whose statistics nobody took yet.
    EXPECT_EQ(s->QueryFrameData(-1, 0), b);
    EXPECT_EQ(std::tuple(b->frame, b->section, b->maximum), std::tuple(4, 0, -DBL_MAX));
    EXPECT_EQ(CountingStatistics::calls, 1);
    ASSERT_NE(DataSetSectionInfo(d, 4, 0, 1), nullptr);
    EXPECT_EQ(s->QueryFrameData(-1, 0), b);
    EXPECT_EQ(std::tuple(b->frame, b->section, b->maximum), std::tuple(4, 0, 32778.0));
    EXPECT_EQ(s->QueryFrameData(-1, 3), nullptr);
    // A scale that reverses the values: the block's minimum stays below its maximum, as
    // the value-range answer has them.
    d->scale = -2.0;
    d->zero = 0.0;
    s->keyB.store(0);
    b = static_cast<SourceSection*>(s->QueryFrameData(4, 2));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::pair(b->minimum, b->maximum), std::pair(-60.0, -10.0));
    ValueRangeTarget* target = ValueRangeTarget::Create();
    FrameDataMessage m(kMsgValueRange, target, 4, 2);
    ASSERT_TRUE(s->OnMessage(&m, 0));
    EXPECT_EQ(std::pair(target->range.min, target->range.max), std::pair(-60.0, -10.0));
    target->Release();
    // Negative frame and section without a block: frame 0, section 0.
    s->keyB.store(0);
    b = static_cast<SourceSection*>(s->QueryFrameData(-3, -1));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::pair(b->frame, b->section), std::pair(0, 0));
    EXPECT_EQ(s->QueryFrameData(0, 3), nullptr);

    // A frame table: the entry's crop box and the frame's section count.
    auto table = std::make_shared<SectionFrameTable>();
    table->totalFrames = table->frameCount = 2;
    table->frames = {{2, 0}, {3, 2}};
    table->sections.resize(5);
    table->sections[4].geometry.cropSizeX = 7;
    table->sections[4].geometry.cropSizeY = 5;
    table->sections[4].geometry.cropSizeZ = 2;
    d->frameTable = table;
    d->framesToUse = 2;
    s->keyB.store(0);
    b = static_cast<SourceSection*>(s->QueryFrameData(1, 2));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(std::tuple(b->sectionCount, b->width, b->height, b->cropSize[2]),
              std::tuple(3u, int64_t{7}, int64_t{5}, uint64_t{2}));
    d->frameTable.reset();
    // The description: the data set's own.
    EXPECT_EQ(s->QueryFrameDescription(), static_cast<DataSetInfo*>(d));
    EXPECT_EQ(s->CachedFrameDescription(), static_cast<DataSetInfo*>(d));
}

TEST_F(SourceTest, NotificationsReachDownstream) {
    DataSet* d = FileData(8, 8, 4);
    SourceComponent* s = SourceOf(d);
    EXPECT_EQ(d->notify, s);
    Consumer c;
    ASSERT_TRUE(ConsumerAttach(&c.input, s));
    c.keyA.store(5);
    // A new crop region tells the Source, which tells and invalidates its consumers.
    InputRegion region;
    region.size[0] = 4;
    region.size[1] = -1;
    region.size[2] = -1;
    ASSERT_TRUE(SetInputRegion(d, &region));
    EXPECT_EQ(c.changes, 1);
    EXPECT_EQ(c.keyA.load(), 0u);
    // Described anew: the consumers are offered the new format first.
    const size_t offers = c.offers.size();
    ASSERT_TRUE(DataSetRefreshKernels(d));
    EXPECT_EQ(c.offers.size(), offers + 1);
    EXPECT_EQ(c.changes, 2);
    // A refresh (playback starting) reads the input anew.
    d->cacheValid = 1;
    s->Refresh(1);
    EXPECT_EQ(d->cacheValid, 0);
    EXPECT_EQ(c.changes, 3);

    // A second Source takes the data set: the first lets go of it and stops producing.
    auto* other = Hold(new SourceComponent(nullptr));
    other->SetInput(d);
    EXPECT_EQ(s->Input(), nullptr);
    EXPECT_EQ(s->process, &ComponentProcessDefault);
    EXPECT_EQ(d->notify, other);
    EXPECT_EQ(std::pair(d->sizeX, d->cropSizeX), std::pair(int64_t{8}, int64_t{4}));  // its description stays
    const int32_t references = d->refCount.load();
    other->Release();
    EXPECT_EQ(d->refCount.load(), references - 1);
    EXPECT_EQ(d->notify, nullptr);
    ConsumerDetach(&c.input);
}

TEST_F(SourceTest, DestructionClearsWhatDownstreamKeptOfIt) {
    DataSet* d = FileData(8, 8, 4);
    ProjectItemBase item;
    TestUi ui;
    SourceComponent* s = SourceCreate(&ui, &item);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(item.firstStage, s);
    EXPECT_TRUE(ui.ListsComponent(s));
    s->SetInput(d);
    Consumer c;
    ASSERT_TRUE(ConsumerAttach(&c.input, s));
    // The consumer keeps the Source's answers as its own cached ones.
    EXPECT_EQ(c.QueryFrameDescription(), static_cast<DataSetInfo*>(d));
    EXPECT_NE(c.QueryFrameData(1, 0), nullptr);
    EXPECT_NE(c.keyA.load(), 0u);
    EXPECT_NE(c.keyB.load(), 0u);
    ui.RemoveComponent(s);
    s->Release();
    EXPECT_EQ(std::pair(c.keyA.load(), c.keyB.load()), std::pair(uintptr_t{0}, uintptr_t{0}));
    EXPECT_EQ(item.firstStage, nullptr);
    EXPECT_EQ(d->notify, nullptr);
    EXPECT_EQ(c.input.upstream, nullptr);
    // A list that refuses it: no Source.
    ui.refuse = true;
    EXPECT_EQ(SourceCreate(&ui, &item), nullptr);
    EXPECT_EQ(item.firstStage, nullptr);
}

TEST_F(SourceTest, ProjectItemTakesTheDataSet) {
    StandInChain chain;
    DataSet* d = FileData(8, 8, 2);
    TestUi ui;
    SourceOpenState state;
    SourceOpenStateInit(&state);
    state.ui = &ui;
    auto attach = [&](ProjectItem* item, DataSet* data) {
        const int32_t references = data->refCount.load();
        const int code = ProjectItemAttachDataSet(item, data);
        EXPECT_EQ(item->openResult, code);
        if (code != 2) {
            EXPECT_EQ(data->refCount.load(), references);
        }
        return code;
    };

    ProjectItem* item = ProjectItemNew((dir + "/d.raw").c_str());
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(attach(item, d), -16);  // no pipeline context
    item->pipelineContext = &state;
    DataSet* unread = Keep(Shaped(0x02, 4, 4));
    EXPECT_EQ(attach(item, unread), -16);
    ui.refuse = true;
    EXPECT_EQ(attach(item, d), -14);
    EXPECT_EQ(item->currentSource.load(), nullptr);
    ui.refuse = false;
    // No page window: the chain is not finished; the Source is given up.
    ui.pageWindow = false;
    EXPECT_EQ(attach(item, d), -7);
    EXPECT_EQ(item->currentSource.load(), nullptr);
    EXPECT_EQ(item->firstStage, nullptr);
    EXPECT_FALSE(item->source.loaded);
    EXPECT_EQ(d->notify, nullptr);
    // Done: the Source heads the chain of the item.
    ui.pageWindow = true;
    EXPECT_EQ(attach(item, d), 2);
    auto* source = dynamic_cast<SourceComponent*>(item->currentSource.load());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(std::string(source->name), "Source");
    EXPECT_EQ(source->Input(), d);
    EXPECT_EQ(item->firstStage, source);
    EXPECT_EQ(source->owner, item);
    EXPECT_TRUE(item->source.loaded);
    EXPECT_EQ(item->source.fileName, dir + "/d.raw");
    EXPECT_TRUE(ui.ListsComponent(source));
    ASSERT_NE(source->firstLink, nullptr);
    EXPECT_EQ(source->firstLink->owner->GetClassId(), &kProcessingId);
    EXPECT_EQ(source->panelBuilder, GetSourcePanelBuilder());
    item->pipelineContext = nullptr;
    delete item;
    EXPECT_FALSE(ComponentIsLive(source));
}

}  // namespace
}  // namespace orva
