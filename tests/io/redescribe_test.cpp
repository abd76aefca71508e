// Re-describing a data set: property checks, the fitting of sizes and frames to the
// file, and the read states' snapshots.
#include "io/redescribe.h"

#include <cmath>
#include <limits>
#include <random>

#include "data_set_fixture.h"
#include "io/file_layout.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::Sample;

// Bytes a description covers from its data begin.
uint64_t Described(const DataSetInfo& i) {
    const uint64_t e = DataSetInfo::ElementBytes(NormalizeFormatWord(i.input.type));
    return static_cast<uint64_t>(i.sizeX) * i.sizeY * i.sizeZ * i.sections * i.TotalFrames() * e *
           std::max<uint32_t>(i.input.channels, 1);
}

DataSetInfo* Info(uint32_t type, int64_t x, int64_t y, int64_t z, uint64_t flags = 0) {
    auto* i = new DataSetInfo();
    i->input = {type, 8 * DataSetInfo::ElementBytes(type), 1};
    i->sizeX = x, i->sizeY = y, i->sizeZ = z;
    i->sections = 1;
    i->flags = flags;
    i->SetTotalFrames(1, true);
    return i;
}

TEST(FitDescriptionTest, Rules) {
    struct Case {
        const char* what;
        uint32_t type;
        int64_t x, y, z;
        uint64_t flags;
        int64_t length;
        int64_t wx, wy, wz;
        uint32_t frames;
    } cases[] = {
        {"square", 0x02, 0, 0, 0, 0, 20000, 100, 100, 1, 1},
        {"given sizes, frames from the rest", 0x02, 100, 50, 1, kFlagSizeX | kFlagSizeY, 20003,
         100, 50, 1, 2},
        {"too large: square", 0x02, 1000, 1000, 1, 0, 20000, 100, 100, 1, 1},
        {"width given", 0x02, 300, 1000, 1, kFlagSizeX, 20000, 300, 33, 1, 1},
        {"height given", 0x02, 1000, 40, 1, kFlagSizeY, 20000, 250, 40, 1, 1},
        {"depth falls to 1", 0x01, 0, 0, 8, 0, 5, 2, 2, 1, 1},
        {"width beyond everything", 0x01, 50, 1, 1, kFlagSizeX, 20, 20, 1, 1, 1},
    };
    for (const Case& c : cases) {
        std::unique_ptr<DataSetInfo> i(Info(c.type, c.x, c.y, c.z, c.flags));
        ASSERT_TRUE(FitDescriptionToFile(i.get(), c.length, FitHints{})) << c.what;
        EXPECT_EQ(i->sizeX, c.wx) << c.what;
        EXPECT_EQ(i->sizeY, c.wy) << c.what;
        EXPECT_EQ(i->sizeZ, c.wz) << c.what;
        EXPECT_EQ(i->TotalFrames(), c.frames) << c.what;
        EXPECT_LE(Described(*i), static_cast<uint64_t>(c.length)) << c.what;
        EXPECT_EQ(i->cropSizeX, i->sizeX) << c.what;
    }
    // Not one pixel within the file: nothing changes.
    std::unique_ptr<DataSetInfo> i(Info(0x40, 7, 7, 1));
    EXPECT_FALSE(FitDescriptionToFile(i.get(), 7, FitHints{}));
    i->dataBegin = 100;
    EXPECT_FALSE(FitDescriptionToFile(i.get(), 100, FitHints{}));
    EXPECT_EQ(i->sizeX, 7);
    // The width limit of wide elements.
    std::unique_ptr<DataSetInfo> wide(Info(0x40, 0x8000000, 1, 1, kFlagSizeX));
    ASSERT_TRUE(FitDescriptionToFile(wide.get(), int64_t{1} << 40, FitHints{}));
    EXPECT_EQ(wide->sizeX, 0x4000000);
}

TEST(FitDescriptionTest, NeverMoreBytesThanTheFile) {
    std::mt19937_64 random(12345);
    const uint32_t types[] = {0x01, 0x02, 0x08, 0x10, 0x40, 0x04};
    int fitted = 0;
    for (int n = 0; n < 3000; ++n) {
        const uint32_t type = types[random() % 6];
        std::unique_ptr<DataSetInfo> i(Info(type, random() % 3000, random() % 3000,
                                            random() % 5, random() % 0x800));
        i->input.channels = 1 + random() % 4;
        i->sections = random() % 4;
        i->dataBegin = random() % 64;
        i->dataEnd = random() % 2 ? 0 : static_cast<int64_t>(random() % 500000);
        FitHints h;
        h.remembered[random() % 3] = random() % 2 ? static_cast<int64_t>(random() % 400) : 0;
        h.framesWanted = random() % 3 ? 0 : 1 + random() % 9;
        h.typeChanged = random() % 2;
        const int64_t length = 1 + random() % 400000;
        if (!FitDescriptionToFile(i.get(), length, h)) continue;
        ++fitted;
        EXPECT_GE(i->sizeX, 1);
        EXPECT_GE(i->sizeY, 1);
        EXPECT_GE(i->sizeZ, 1);
        EXPECT_LE(i->dataBegin + Described(*i), static_cast<uint64_t>(length)) << n;
    }
    EXPECT_GT(fitted, 2000);
}

TEST(FitDescriptionTest, FitTestAndTypeGuess) {
    int64_t x = 100, y = 100, z = 1;
    const uint64_t given = kFlagSizeX | kFlagSizeY;
    EXPECT_EQ(FitTest({0x02, 16, 1}, 1, 0, 20000, given, &x, &y, &z), 2);
    EXPECT_EQ(FitTest({0x02, 16, 1}, 1, 0, 20001, given, &x, &y, &z), 2);  // half a pixel
    EXPECT_EQ(FitTest({0x02, 16, 1}, 1, 0, 30000, given, &x, &y, &z), 1);
    EXPECT_EQ(FitTest({0x02, 16, 1}, 2, 0, 30000, given, &x, &y, &z), 0);
    EXPECT_EQ(FitTest({0x02, 16, 1}, 1, 0, 0, 0, &x, &y, &z), 2);
    EXPECT_EQ(FitTest({0x02, 16, 1}, 1, 0, 0, given, &x, &y, &z), 0);
    EXPECT_EQ(FitTest({0x01, 8, 1}, 1, 0, 64, 0, &x, &y, &z), 2);
    EXPECT_EQ(x, 8);

    x = 100, y = 100, z = 1;
    EXPECT_EQ(GuessSampleType({0x40, 64, 1}, 1, 0, 20000, given, &x, &y, &z).type, 0x02u);
    EXPECT_EQ(GuessSampleType({0x40, 64, 1}, 1, 0, 30000, given, &x, &y, &z).type, 0x02u);
    EXPECT_EQ(GuessSampleType({0x40, 64, 1}, 1, 0, 40000, given, &x, &y, &z).type, 0x10u);
    EXPECT_EQ(GuessSampleType({0x40, 64, 1}, 1, 0, 9999, given, &x, &y, &z).type, 0x40u);

    std::unique_ptr<DataSetInfo> i(Info(0x02, 10, 10, 1));
    EXPECT_EQ(SectionByteRange(*i, 0, 1, 1000), 5u);
    EXPECT_EQ(SectionByteRange(*i, 0, 3, 1000), 1u);
    EXPECT_EQ(SectionByteRange(*i, 900, 1, 1000), 0u);
    i->sections = 0;
    FitFramesToFile(i.get(), false, 1000);
    EXPECT_EQ(i->sections, 1u);
    EXPECT_EQ(i->TotalFrames(), 5u);
}

// Counts the source notifications.
struct CountingNotify : SourceNotify {
    void PropertiesChanged() override { ++calls; }
    int calls = 0;
};

class RedescribeTest : public DataSetFixture {
protected:
    DataSet* Open() {
        path = Write("data.raw", BigEndianFrames(100, 100, 2));
        DataSet* d = Describe(path, 100, 100, 2);
        d->notify = &notify;
        return d;
    }
    bool Set(DataSet* d, uint32_t id, PropertyValue v) { return ReadStateSetProperty(d, id, &v, 1); }
    std::string path;
    CountingNotify notify;
};

TEST_F(RedescribeTest, RejectedValuesChangeNothing) {
    DataSet* d = Open();
    using P = PropertyValue;
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        uint32_t id;
        P value;
    } cases[] = {
        {0, P::Int64(2)},        {0, P::UInt32(0x80)},     {1, P::Int32(1)},
        {2, P::UInt32(1)},       {3, P::Double(0.0)},      {3, P::Double(1e-310)},
        {3, P::Double(inf)},     {3, P::Double(std::nan(""))}, {3, P::Int32(2)},
        {4, P::Double(-inf)},    {6, P::Boolean(true)},       {7, P::Int64(0)},
        {8, P::Int64(-5)},       {9, P::Int64(5)},         {10, P::UInt32(5)},
        {11, P::Int64(5)},       {12, P::Int64(-1)},       {13, P::Int32(5)},
        {15, P::Int64(-1)},      {16, P::Int64(0)},        {20, P::Int64(-2)},
        {21, P::UInt32(0)},      {21, P::UInt32(3)},       {22, P::UInt32(0)},
        {23, P::Int32(0)},       {23, P::UInt32(2)},       {26, P::Boolean(true)},
    };
    for (const Case& c : cases) EXPECT_FALSE(Set(d, c.id, c.value)) << c.id;
    P one = P::Double(2.0);
    EXPECT_FALSE(ReadStateSetProperty(d, 5, &one, 1));   // scale and zero need two values
    EXPECT_FALSE(ReadStateSetProperty(d, 3, nullptr, 1));
    EXPECT_FALSE(ReadStateSetProperty(d, 3, &one, 0));
    EXPECT_EQ(notify.calls, 0);
    EXPECT_EQ(d->input.type, 0x82u);
    EXPECT_EQ(d->sizeX, 100);
    EXPECT_EQ(d->scale, 1.0);
    EXPECT_EQ(d->TotalFrames(), 2u);

    // Valid but unchanged values answer true and change nothing.
    const Case unchanged[] = {{3, P::Double(1.0)}, {4, P::Double(32768.0)}, {7, P::Int64(100)}, {21, P::UInt32(2)},
                              {23, P::Int32(1)},   {1, P::Boolean(false)},      {24, P::Boolean(false)}};
    for (const Case& c : unchanged) EXPECT_TRUE(Set(d, c.id, c.value)) << c.id;
    EXPECT_EQ(notify.calls, 0);
    d->Release();
}

TEST_F(RedescribeTest, ScaleSignednessAndOrder) {
    DataSet* d = Open();
    const double stored = static_cast<double>(Sample(3, 4, 0)) - 32768.0;
    EXPECT_EQ(Value(d, 3, 4), Sample(3, 4, 0));
    PropertyValue sz[2] = {PropertyValue::Double(2.0), PropertyValue::Double(10.0)};
    ASSERT_TRUE(ReadStateSetProperty(d, 5, sz, 2));
    EXPECT_EQ(notify.calls, 1);
    EXPECT_EQ(d->axisScale[1], 1.0);
    EXPECT_EQ(d->axisZero[1], 32768.0);
    EXPECT_EQ(d->inverseScale, 0.5);
    EXPECT_EQ(Value(d, 3, 4), 2.0 * stored + 10.0);
    ASSERT_TRUE(Set(d, 3, PropertyValue::Double(-1.0)));
    EXPECT_EQ(Value(d, 3, 4), -stored + 10.0);

    // Native order: the bytes of every sample are read the other way round.
    ASSERT_TRUE(Set(d, 2, PropertyValue::Boolean(false)));
    EXPECT_EQ(d->input.type, 0x02u);
    const uint16_t s = static_cast<uint16_t>(Sample(3, 4, 0) ^ 0x8000);
    const int16_t swapped = static_cast<int16_t>(static_cast<uint16_t>((s >> 8) | (s << 8)));
    EXPECT_EQ(Value(d, 3, 4), -static_cast<double>(swapped) + 10.0);
    ASSERT_TRUE(Set(d, 1, PropertyValue::Boolean(true)));
    EXPECT_EQ(d->input.type, 0x102u);
    EXPECT_EQ(Value(d, 3, 4), -static_cast<double>(static_cast<uint16_t>(swapped)) + 10.0);
    d->Release();

    // Byte order on 8-bit data counts as off: nothing changes.
    const std::string bytes(64, '\x05');
    DataSet* e = Describe(Write("u8.raw", bytes), 8, 8, 1, 0x01);
    const int before = notify.calls;
    e->notify = &notify;
    EXPECT_TRUE(Set(e, 2, PropertyValue::Boolean(true)));
    EXPECT_EQ(e->input.type, 0x01u);
    EXPECT_EQ(notify.calls, before);
    e->Release();
}

TEST_F(RedescribeTest, SizesPositionsFramesAndType) {
    DataSet* d = Open();  // 100 x 100 x 2 frames of 2 bytes: 40000 bytes
    std::unique_ptr<ReadState> state = MakeReadState(d);
    auto set = [&](uint32_t id, PropertyValue v) {
        return ReadStateSetProperty(state.get(), d, id, &v, 1);
    };
    ASSERT_TRUE(set(7, PropertyValue::Int64(50)));
    EXPECT_EQ(testing_io::XY(*d), testing_io::XY(50, 100));
    EXPECT_EQ(d->TotalFrames(), 4u);
    EXPECT_TRUE(d->flags & kFlagSizeX);
    EXPECT_EQ(Value(d, 0, 1), Sample(50, 0, 0));  // row 1 of 50 is the second half of row 0
    ASSERT_TRUE(set(8, PropertyValue::Int64(1000)));  // too tall: the width gives way
    EXPECT_EQ(testing_io::XY(*d), testing_io::XY(20, 1000));
    EXPECT_EQ(d->TotalFrames(), 1u);
    EXPECT_LE(Described(*d), 40000u);

    ASSERT_TRUE(set(12, PropertyValue::Int64(4)));
    EXPECT_EQ(d->dataBegin, 4);
    EXPECT_LE(d->dataBegin + Described(*d), 40000u);
    EXPECT_EQ(Value(d, 0, 0), Sample(2, 0, 0));
    ASSERT_TRUE(set(13, PropertyValue::Int64(1 << 30)));  // beyond the file: its length
    EXPECT_EQ(d->dataEnd, 40000);
    ASSERT_TRUE(set(14, PropertyValue::Int64(5000)));    // 5000 elements from byte 4
    EXPECT_EQ(d->dataEnd, 10004);
    EXPECT_EQ(d->sizeY, 1000);  // the height set stays; the width gives way
    EXPECT_EQ(d->sizeX, 5);
    EXPECT_LE(Described(*d), 10000u);
    ASSERT_TRUE(set(12, PropertyValue::Int64(0)));
    ASSERT_TRUE(set(13, PropertyValue::Int64(40000)));

    ASSERT_TRUE(set(22, PropertyValue::UInt32(4)));
    EXPECT_EQ(d->TotalFrames(), 4u);
    EXPECT_LE(Described(*d), 40000u);
    ASSERT_TRUE(set(21, PropertyValue::UInt32(2)));
    EXPECT_EQ(d->framesToUse, 2u);
    ASSERT_TRUE(set(23, PropertyValue::Int32(-1)));
    EXPECT_EQ(d->frameStep, -1);

    // A new sample type keeps the byte order and refits the sizes.
    ASSERT_TRUE(set(0, PropertyValue::UInt32(0x08)));
    EXPECT_EQ(d->input.type, 0x88u);
    EXPECT_EQ(d->input.bits, 16u);  // the present bits fit the wider element
    EXPECT_LE(Described(*d), 40000u);

    // Crop sizes are clamped to the data.
    ASSERT_TRUE(set(16, PropertyValue::Int64(1 << 20)));
    EXPECT_EQ(d->cropSizeX, d->sizeX);
    ASSERT_TRUE(set(15, PropertyValue::Int64(3)));
    EXPECT_EQ(d->cropX, 3);
    EXPECT_EQ(d->cropSizeX, d->sizeX - 3);

    // Snapshot 0 puts the first description back.
    EXPECT_FALSE(state->CompareSnapshot(d, 0));
    ASSERT_TRUE(state->ApplySnapshot(d, 0));
    EXPECT_TRUE(state->CompareSnapshot(d, 0));
    EXPECT_EQ(d->input.type, 0x82u);
    EXPECT_EQ(d->sizeX, 100);
    EXPECT_EQ(Value(d, 3, 4), Sample(3, 4, 0));
    d->Release();
}

// New sizes take a crop box that held the whole frame along to the whole new frame, larger
// or smaller; a crop box the user made stays where it is, fitted into the new frame.
TEST_F(RedescribeTest, NewSizesTakeAWholeCropBoxAlongAndFitAPartOne) {
    DataSet* d = Open();  // 100 x 100 x 2 frames
    std::unique_ptr<ReadState> state = MakeReadState(d);
    auto set = [&](uint32_t id, int64_t v) {
        const PropertyValue p = PropertyValue::Int64(v);
        return ReadStateSetProperty(state.get(), d, id, &p, 1);
    };
    auto crop = [&] {
        return std::vector<int64_t>{d->cropX, d->cropSizeX, d->cropY, d->cropSizeY};
    };
    ASSERT_TRUE(set(7, 50));
    EXPECT_EQ(crop(), (std::vector<int64_t>{0, 50, 0, 100}));
    ASSERT_TRUE(set(7, 80));  // wider: the whole new width
    EXPECT_EQ(crop(), (std::vector<int64_t>{0, 80, 0, 100}));
    ASSERT_TRUE(set(12, 400));  // the data begin further in: a frame less tall
    EXPECT_EQ(crop(), (std::vector<int64_t>{0, d->sizeX, 0, d->sizeY}));
    ASSERT_TRUE(set(12, 0));
    ASSERT_TRUE(set(8, 40));
    ASSERT_TRUE(set(7, 100));
    EXPECT_EQ(crop(), (std::vector<int64_t>{0, 100, 0, 40}));
    // A part of the frame: kept while it fits, cut where it does not.
    ASSERT_TRUE(set(15, 5));
    ASSERT_TRUE(set(16, 20));
    EXPECT_EQ(crop(), (std::vector<int64_t>{5, 20, 0, 40}));
    ASSERT_TRUE(set(7, 60));
    EXPECT_EQ(crop(), (std::vector<int64_t>{5, 20, 0, d->sizeY}));
    ASSERT_TRUE(set(7, 10));
    EXPECT_EQ(crop(), (std::vector<int64_t>{5, 5, 0, d->sizeY}));
    d->Release();
}

TEST_F(RedescribeTest, ServiceDescriptionAndFrameTable) {
    DataSet* d = Open();
    EXPECT_FALSE(Set(d, 6, PropertyValue{}));  // none attached
    d->service = new ServiceDescription();
    d->service->active = 1;
    d->service->flags = kFlagCropBox | kFlagSizeX | kFlagSizeY;
    d->service->sizeX = 200;
    d->service->sizeY = 50;
    d->service->cropX = 500;      // beyond the width: the last column
    d->service->cropSizeX = 0;    // 0: the width
    d->service->cropSizeY = 900;  // beyond the height: the height
    ASSERT_TRUE(Set(d, 6, PropertyValue{}));
    EXPECT_EQ(testing_io::XY(*d), testing_io::XY(200, 50));
    EXPECT_EQ(d->cropX, 199);
    EXPECT_EQ(d->cropSizeX, 1);
    EXPECT_EQ(d->cropSizeY, 50);
    EXPECT_LE(Described(*d), 40000u);

    // With a frame table only the shared properties are taken.
    auto table = std::make_shared<SectionFrameTable>();
    table->totalFrames = 1;
    d->frameTable = table;
    std::unique_ptr<ReadState> state = MakeReadState(d);
    auto set = [&](uint32_t id, PropertyValue v) {
        return ReadStateSetProperty(state.get(), d, id, &v, 1);
    };
    using P = PropertyValue;
    const std::pair<uint32_t, P> ownOnly[] = {
        {0, P::UInt32(0x02)}, {7, P::Int64(10)}, {22, P::UInt32(1)}, {12, P::Int64(0)}};
    for (const auto& [id, value] : ownOnly) EXPECT_FALSE(set(id, value)) << id;
    EXPECT_TRUE(set(3, PropertyValue::Double(4.0)));
    EXPECT_EQ(d->scale, 4.0);
    EXPECT_TRUE(state->ApplySnapshot(d, 0));
    EXPECT_EQ(d->scale, 1.0);
    d->frameTable.reset();
    d->Release();
}

}  // namespace
}  // namespace orva
