// The parts of the component model that the stages build on: frame queries
// with their upstream fallbacks, message records with named parts, the state
// rule of codes, the shared format word rules and the block budget.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "component_test_doubles.h"
#include "framework/component.h"
#include "framework/component_message.h"
#include "framework/format_request.h"

namespace orva {
namespace {

using testing::TestItem;
using testing::TestStage;

// A producer that answers frame queries with records of its own and, like a
// source, keeps its answers in its validity words.
class Producer : public TestStage {
public:
    explicit Producer(ProjectItemBase* item) : TestStage(item, &kInputId) {}
    void* QueryFrameDescription() override {
        ++descriptionQueries;
        CacheFrameDescription(&description);
        return &description;
    }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        ++dataQueries;
        data.frame = frame < 0 ? 0 : frame;
        data.section = section < 0 ? 0 : section;
        CacheFrameData(&data);
        return &data;
    }
    int description = 0;
    FrameDataRecord data;
    int descriptionQueries = 0, dataQueries = 0;
};

TEST(ComponentSeams, FrameQueriesFallBackUpstreamAndCache) {
    TestItem item;
    auto* source = new Producer(&item);
    auto* middle = new TestStage(&item, &kProcessingId);
    auto* last = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(&middle->input, source));
    ASSERT_TRUE(ConsumerAttach(&last->input, middle));
    EXPECT_EQ(ComponentUpstream(last), middle);
    EXPECT_EQ(ComponentUpstream(source), nullptr);

    // The description travels down through a stage that has none of its own,
    // and each stage keeps it; the source is asked once.
    EXPECT_EQ(last->QueryFrameDescription(), &source->description);
    void* description = &source->description;
    EXPECT_EQ(std::pair(middle->CachedFrameDescription(), last->CachedFrameDescription()),
              std::pair(description, description));
    EXPECT_EQ(last->UpstreamFrameDescription(), &source->description);
    EXPECT_EQ(source->descriptionQueries, 1);
    // Without an upstream: null, kept as the (empty) cached answer.
    source->keyA = 5;
    EXPECT_EQ(source->TestStage::QueryFrameDescription(), nullptr);
    EXPECT_EQ(source->keyA.load(), 0u);
    source->CacheFrameDescription(&source->description);

    // The validity words are pointer-sized: a reload that clears the source's
    // description clears every stage that cached that very pointer.
    auto key = reinterpret_cast<uintptr_t>(&source->description);
    ComponentClearFlagDownstream(source, key);
    EXPECT_EQ(std::tuple(middle->keyA.load(), last->keyA.load()), std::tuple(uintptr_t{0}, uintptr_t{0}));

    // Frame data: the cached record answers when frame and sub-index match (a
    // negative one matches any); otherwise the upstream is asked anew.
    struct {
        int32_t frame, section;
        int queries;  // source queries after the call
    } steps[] = {{4, 2, 1}, {4, 2, 1}, {-1, -1, 1}, {4, -1, 1}, {-1, 2, 1}, {5, 2, 2}, {5, 3, 3}};
    for (const auto& s : steps) {
        FrameDataRecord* got = last->UpstreamFrameData(s.frame, s.section);
        ASSERT_EQ(got, &source->data);
        EXPECT_EQ(source->dataQueries, s.queries) << s.frame << " " << s.section;
    }
    EXPECT_EQ(std::pair(source->data.frame, source->data.section), std::pair(5, 3));
    // A stage without data of its own keeps what it passed on.
    EXPECT_EQ(last->QueryFrameData(-1, -1), &source->data);
    EXPECT_EQ(std::tuple(middle->CachedFrameData(), last->CachedFrameData()),
              std::tuple(&source->data, &source->data));
    ComponentClearSecondFlagDownstream(source, reinterpret_cast<uintptr_t>(&source->data));
    EXPECT_EQ(last->CachedFrameData(), nullptr);
    for (auto* c : {last, middle}) c->Release();
    source->Release();
}

// An object that messages can carry, counting its references.
class Target : public MessageTarget {
public:
    explicit Target(const ComponentId* id) : id(id) {}
    const ComponentId* GetClassId() const override { return id; }
    int32_t AddRef() override { return ++count; }
    int32_t Release() override { return --count; }
    const ComponentId* id;
    int32_t count = 1;
};

TEST(ComponentSeams, MessagePartsByTag) {
    Target target(&kDataInfoStackId);
    MessageRecord plain(7);
    FrameMessage frame(257, 4, 2);
    DataMessage data(130, &target);
    FrameDataMessage frameData(kMsgFrameRequest, &target, 3, 1);
    EXPECT_EQ(target.count, 3);  // each data record holds a reference

    struct {
        MessageRecord* record;
        uint32_t tag;
        bool code, frameCode, data;  // what the query answers: the record itself or nothing
        const MessageFramePair* pair;
    } rows[] = {
        {&plain, FourCC("ECSE"), true, false, false, nullptr},
        {&frame, FourCC("ECSF"), true, false, false, &frame.pair},
        {&data, FourCC("ECDA"), false, false, false, nullptr},
        {&frameData, FourCC("ECDF"), true, false, true, &frameData.pair},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.record->Tag(), r.tag);
        EXPECT_EQ(r.record->Query(kMessageTagCode) != nullptr, r.code) << std::hex << r.tag;
        EXPECT_EQ(r.record->Query(kMessageTagFrameCode) != nullptr, r.frameCode) << std::hex << r.tag;
        EXPECT_EQ(r.record->Query(kMessageTagData) != nullptr, r.data) << std::hex << r.tag;
        EXPECT_EQ(MessageFramePairOf(r.record), r.pair) << std::hex << r.tag;
    }
    // The "ECDA" part: the record itself for a data record, its query for others.
    EXPECT_EQ(MessageDataOf(&data), &data);
    EXPECT_EQ(MessageDataOf(&frameData), &frameData);
    EXPECT_EQ(MessageDataOf(&frame), nullptr);
    EXPECT_EQ(MessageTargetOf(&frameData), &target);
    EXPECT_EQ(MessageTargetOf(&plain), nullptr);
    EXPECT_TRUE(MessageTargetIs(&target, &kDataInfoStackId));
    EXPECT_FALSE(MessageTargetIs(&target, &kReductionDataId));
    EXPECT_EQ(AsReductionDataArray(&target), nullptr);
    EXPECT_EQ(std::pair(frame.pair.frame, frame.pair.section), std::pair(4, 2));

    // Resets: code 0, pairs -1, targets given back.
    frame.Reset();
    frameData.Reset();
    data.Hold(nullptr);
    EXPECT_EQ(std::tuple(frame.code, frame.pair.frame, frame.pair.section), std::tuple(0, -1, -1));
    EXPECT_EQ(std::tuple(frameData.code, frameData.pair.frame, frameData.Target()),
              std::tuple(0, -1, static_cast<MessageTarget*>(nullptr)));
    EXPECT_EQ(target.count, 1);
    {
        DataMessage scoped(258, &target);
        EXPECT_EQ(target.count, 2);
    }
    EXPECT_EQ(target.count, 1);
}

TEST(ComponentSeams, ReductionDataArrayTravelsInMessages) {
    auto* array = new ReductionDataArray;
    array->table = std::malloc(64);
    array->tableBytes = 64;
    array->setWord = 1;
    array->scale = 4.0;
    {
        DataMessage message(259, array);
        ReductionDataArray* found = AsReductionDataArray(MessageTargetOf(&message));
        ASSERT_EQ(found, array);
        EXPECT_EQ(found->refCount.load(), 2);
        EXPECT_TRUE(MessageTargetIs(found, &kReductionDataId));
    }
    EXPECT_EQ(array->refCount.load(), 1);
    // The last release deletes the array with its table (the sanitizer build
    // reports a leak when it does not).
    EXPECT_EQ(array->Release(), 0);
    auto* second = new ReductionDataArray;
    second->table = std::malloc(8);
    DataArrayDelete(second);
}

TEST(ComponentSeams, SendCodeAndDeliveryKeepTheStateRule) {
    TestItem item;
    auto* c = new TestStage(&item, &kReductionId);
    // Slot 19: a repeated state is not delivered but answers true; codes of 128
    // and above always pass and do not become the state.
    std::vector<bool> answers;
    for (int32_t code : {5, 5, 300, 300, 5, 7}) answers.push_back(c->ComponentSendCode(code, 0));
    EXPECT_EQ(c->codes, (std::vector<int32_t>{5, 300, 300, 7}));
    EXPECT_EQ(answers, (std::vector<bool>{false, true, true, true, true, false}));
    EXPECT_EQ(c->lastMessageCode, 7);

    // Forwarding to another stage: code 0 and a repeated state go nowhere.
    c->codes.clear();
    c->message.code = 9;
    MessageRecord none(0), seven(7), eight(8);
    ComponentDeliverMessage(c, &none, 0);
    ComponentDeliverMessage(c, &seven, 0);
    EXPECT_TRUE(c->codes.empty());
    EXPECT_EQ(c->message.code, 0);  // the pending-message word is cleared
    ComponentDeliverMessage(c, &eight, 0);
    EXPECT_EQ(c->codes, (std::vector<int32_t>{8}));
    EXPECT_FALSE(ComponentDeliverMessageQuery(nullptr, &eight, 0));
    EXPECT_FALSE(ComponentDeliverMessageQuery(c, &none, 0));
    EXPECT_TRUE(ComponentDeliverMessageQuery(c, &eight, 0));    // repeat: true, not delivered
    MessageRecord select(kMsgSelect), other(200);
    EXPECT_TRUE(ComponentDeliverMessageQuery(c, &select, 0));   // handled by OnMessage
    EXPECT_FALSE(ComponentDeliverMessageQuery(c, &other, 0));   // nobody handles 200
    EXPECT_EQ(c->codes, (std::vector<int32_t>{8, kMsgSelect, 200}));
    c->Release();
}

TEST(ComponentSeams, NameKindAndOutputSettings) {
    static int destroyed;
    destroyed = 0;
    struct Settings : OutputSettingsList {
        ~Settings() override { ++destroyed; }
    };
    TestItem item;
    auto* c = new TestStage(&item, &kProcessingId);
    EXPECT_TRUE(c->name == nullptr && c->kind == 0 && c->outputSettings == nullptr);
    c->outputSettings = new Settings;
    c->Release();
    EXPECT_EQ(destroyed, 1);
}

// The format word rules that the data set, the registry and every stage share,
// with the cases each of their former copies was checked against.
TEST(FormatWord, NormalisationAndElementSize) {
    struct {
        uint32_t word, normal;
    } stream[] = {
        {0x09200040, 0x09200040}, {0x09200002, 0x02},   {0x00200010, 0x10},  {0x150, 0x50},
        {0x110, 0x10},            {0x181, 0x101},       {0x182, 0x182},      {0x10040, 0x10040},
        {0x1C0, 0xC0},            {0x1000080, 0x80},    {0, 0},              {0x400101, 0x400101},
    };
    for (const auto& c : stream) {
        EXPECT_EQ(NormalizeFormatWord(c.word), c.normal) << std::hex << c.word;
        EXPECT_EQ(NormalizeFormatWord(c.normal), c.normal) << std::hex << c.word;
    }
    // Against a descriptor's allowed types (the registration rule).
    struct {
        uint32_t type, mask, expected;
    } registry[] = {
        {0x40, 0x1FA, 0xC0},    {0x02, 0x82, 0x82},      {0, 0, 0x40},        {0x101, 0x100, 0x101},
        {0x140, 0, 0x40},       {0x181, 0, 0x101},       {0x02, 0x8200, 0x102}, {0x108, 0x08, 0x08},
        {0, 0x8208, 0x08},      {0, 0x8200, 0x102},      {0x200040, 0, 0x200040}, {0x200002, 0x8002, 0x02},
    };
    for (const auto& c : registry)
        EXPECT_EQ(NormalizeFormatWord(c.type, c.mask), c.expected) << std::hex << c.type << " " << c.mask;
    // Element sizes, first matching bit wins; no size bits: 0.
    struct {
        uint32_t word, size;
    } sizes[] = {{0, 0},    {0x01, 1}, {0x41, 1},  {0x02, 2},    {0x06, 2},    {0x04, 3}, {0x08, 4},
                 {0x10, 4}, {0x18, 4}, {0x20, 8},  {0x40, 8},    {0x10040, 8}, {0x10000, 0}, {0x180, 0}};
    for (const auto& c : sizes) EXPECT_EQ(FormatElementSize(c.word), c.size) << std::hex << c.word;

    FormatRequest offer;
    EXPECT_EQ(std::tuple(offer.format, offer.element, offer.channels, offer.dims, offer.tag, offer.extra),
              std::tuple(0u, 0u, 1u, 1u, 0u, 0u));
    EXPECT_TRUE(FormatIsEmpty(offer));
    offer.extra = 1;
    EXPECT_FALSE(FormatIsEmpty(offer));
    EXPECT_EQ(kFormatTagDmap, FourCC("DMAP"));
    EXPECT_EQ(std::tuple(ClampFormatChannels(0), ClampFormatChannels(3), ClampFormatChannels(20000)),
              std::tuple(1u, 3u, 16384u));
    EXPECT_EQ(std::tuple(ClampFormatDims(0), ClampFormatDims(2), ClampFormatDims(7)), std::tuple(1u, 2u, 3u));
}

TEST(BlockRequest, BoxAndBudget) {
    ReadWindow w;
    w.frame = 3;
    BlockIteratorInit(&w, BlockBox{-5, 7, 20000, 20000});
    EXPECT_EQ(std::tuple(w.frame, w.x, w.y, w.width, w.height), std::tuple(3, int64_t{-5}, int64_t{7}, 20000, 20000));
    struct {
        int32_t width, height;
        int64_t budget;
        bool fits;
        int32_t outWidth, outHeight;
    } cases[] = {
        {20000, 20000, 0x4000000, false, 20000, 3355},   // rows cut to the budget
        {0x5000000, 1, 0x4000000, false, 0x4000000, 1}, // one row: the width is cut
        {0x3000000, 4, 0x4000000, false, 0x3000000, 1}, // too wide for two rows: one row
        {0x5000000, 3, 0x4000000, false, 0x4000000, 1}, // one row, cut to the budget
        {8192, 8192, 0x4000000, true, 8192, 8192},      // exactly the budget
        {2000, 1000, 0x80000, false, 2000, 262},
        {0, 5, 16, true, 0, 5},
    };
    for (const auto& c : cases) {
        w.width = c.width;
        w.height = c.height;
        EXPECT_EQ(BlockFitBudget(&w, c.budget), c.fits) << c.width << "x" << c.height;
        EXPECT_EQ(std::pair(w.width, w.height), std::pair(c.outWidth, c.outHeight)) << c.width << "x" << c.height;
    }
}

}  // namespace
}  // namespace orva
