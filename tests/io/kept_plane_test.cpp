// The stored plane a whole statistics pass keeps for the frame read after it: the read
// delivers exactly what it delivers from the file, for every type, byte order, channel
// mode, crop and window, and never serves bytes of another frame or description.
#include "io/kept_plane.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/cpu_info.h"
#include "data_set_fixture.h"
#include "io/frame_access.h"
#include "io/read_kernel.h"
#include "io/section_stats.h"

namespace orva {
namespace {

using testing_io::SectionKernelFixture;
using testing_io::Sample;

TEST(KeptPlaneUnit, RowsAreFoundByTheirOffsets) {
    KeptPlaneKey key;
    key.dataBegin = 7;
    KeptPlane p;
    EXPECT_FALSE(p.Holds());
    // Three rows of 10 bytes, 30 bytes apart, from offset 1000.
    ASSERT_TRUE(p.Begin(key, 1000, 10, 30, 3));
    for (uint64_t r = 0; r < 3; ++r)
        for (uint64_t i = 0; i < 10; ++i) p.Row(r)[i] = static_cast<uint8_t>(r * 10 + i);
    EXPECT_EQ(p.Find(key, 1000, 10), nullptr);  // not committed yet
    p.Commit();
    ASSERT_TRUE(p.Holds());
    ASSERT_NE(p.Find(key, 1000, 10), nullptr);
    EXPECT_EQ(*p.Find(key, 1000, 10), 0);
    ASSERT_NE(p.Find(key, 1035, 5), nullptr);
    EXPECT_EQ(*p.Find(key, 1035, 5), 15);
    EXPECT_EQ(*p.Find(key, 1069, 1), 29);
    EXPECT_EQ(p.Find(key, 1035, 6), nullptr);   // past the row's end
    EXPECT_EQ(p.Find(key, 1010, 1), nullptr);   // between rows: never read
    EXPECT_EQ(p.Find(key, 1090, 1), nullptr);   // a fourth row
    EXPECT_EQ(p.Find(key, 999, 2), nullptr);    // before the plane
    EXPECT_EQ(p.Find(key, 1000, 0), nullptr);
    KeptPlaneKey other = key;
    other.generation = 1;
    EXPECT_EQ(p.Find(other, 1000, 10), nullptr);
    other = key;
    other.streamLength = 5;
    EXPECT_EQ(p.Find(other, 1000, 10), nullptr);
    p.Drop();
    EXPECT_FALSE(p.Holds());
    EXPECT_EQ(p.Find(key, 1000, 10), nullptr);

    // One contiguous run; the block of a former plane serves again.
    const uint64_t taken = GlobalBufferBlocksTaken();
    ASSERT_TRUE(p.Begin(key, 0, 25, 0, 1));
    EXPECT_EQ(GlobalBufferBlocksTaken(), taken);
    p.Commit();
    EXPECT_NE(p.Find(key, 24, 1), nullptr);
    EXPECT_EQ(p.Find(key, 24, 2), nullptr);

    // Too large, rows overlapping, nothing, or no memory: nothing is kept.
    EXPECT_FALSE(p.Begin(key, 0, kKeptPlaneMaxBytes + 1, 0, 1));
    EXPECT_FALSE(p.Holds());
    EXPECT_FALSE(p.Begin(key, 0, 10, 5, 2));
    EXPECT_FALSE(p.Begin(key, 0, 0, 0, 1));
    p.Drop(true);
    GlobalBufferRefuseBlocksForTest(1);
    EXPECT_FALSE(p.Begin(key, 0, 25, 0, 1));
    GlobalBufferRefuseBlocksForTest(0);
}

class KeptPlaneTest : public SectionKernelFixture {
protected:
    // Everything a window read gives: its result, values, window and image state.
    struct Delivery {
        bool ok = false;
        std::vector<uint8_t> values;
        ReadWindow window;
        uint32_t width = 0, height = 0, itemBytes = 0, state = 0;
        bool operator==(const Delivery& o) const {
            return ok == o.ok && values == o.values && width == o.width && height == o.height &&
                   itemBytes == o.itemBytes && state == o.state && window.width == o.window.width &&
                   window.height == o.window.height && window.flags == o.window.flags;
        }
    };
    Delivery Deliver(DataSet* d, ReadWindow w) {
        Delivery out;
        image.SetTypeAndCount(0x40, 1);
        out.ok = d->ReadWindowData(&image, &w);
        out.window = w;
        if (out.ok) {
            const auto* v = static_cast<const uint8_t*>(image.data);
            out.values.assign(v, v + uint64_t{image.width} * image.height * image.itemBytes);
            out.width = image.width;
            out.height = image.height;
            out.itemBytes = image.itemBytes;
            out.state = image.state;
        }
        return out;
    }
    // A whole pass over the frame; the record it filled.
    SectionStatistics Pass(DataSet* d, int32_t frame) {
        SectionStatistics r;
        EXPECT_TRUE(d->statisticsKernel(d, MapFrameByStep(*d, frame), 0, &r, 1, 0));
        EXPECT_EQ(r.whole, 1);
        return r;
    }
    static void ExpectSameStatistics(const SectionStatistics& a, const SectionStatistics& b) {
        EXPECT_EQ(a.minimum, b.minimum);
        EXPECT_EQ(a.maximum, b.maximum);
        EXPECT_EQ(a.deviation, b.deviation);
        EXPECT_EQ(a.mean, b.mean);
        EXPECT_EQ(a.total, b.total);
        EXPECT_EQ(a.count, b.count);
        EXPECT_EQ(a.sampleType, b.sampleType);
        EXPECT_EQ(a.sampleBits, b.sampleBits);
        EXPECT_EQ(a.valid, b.valid);
        EXPECT_EQ(a.whole, b.whole);
        EXPECT_EQ(a.invalidValues, b.invalidValues);
        EXPECT_EQ(a.rangeOverflow, b.rangeOverflow);
        EXPECT_EQ(a.channelOverflow, b.channelOverflow);
    }
    // The window read after a whole pass is the read from the file, byte for byte, and
    // the pass's statistics are the ones taken through the staging block alone.
    void ExpectServedAsRead(DataSet* d, int32_t frame, ReadWindow w, const char* what) {
        SCOPED_TRACE(what);
        w.frame = frame;
        d->SelectPosition(frame, 0);
        d->keptPlane.Drop(true);
        const Delivery fromFile = Deliver(d, w);
        const SectionStatistics first = Pass(d, frame);
        EXPECT_TRUE(d->keptPlane.Holds());
        // The plane's block refused (the staging blocks are sized already): the pass
        // folds through the staging block and keeps nothing.
        d->keptPlane.Drop(true);
        GlobalBufferRefuseBlocksForTest(1);
        const SectionStatistics staged = Pass(d, frame);
        GlobalBufferRefuseBlocksForTest(0);
        EXPECT_FALSE(d->keptPlane.Holds());
        ExpectSameStatistics(staged, first);
        const SectionStatistics kept = Pass(d, frame);
        ASSERT_TRUE(d->keptPlane.Holds());
        ExpectSameStatistics(staged, kept);
        const Delivery served = Deliver(d, w);
        EXPECT_FALSE(d->keptPlane.Holds());  // one read only
        EXPECT_TRUE(fromFile.ok);
        EXPECT_TRUE(served == fromFile);
    }
};

TEST_F(KeptPlaneTest, EveryTypeAndByteOrderReadsAsFromTheFile) {
    const uint32_t W = 37, H = 23, F = 3;
    // Bytes that make valid values of every type: no NaN patterns among the reals.
    std::string bytes(size_t{W} * H * F * 8, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 37 + i / 7) % 61 + 1);
    const std::string path = Write("mixed.raw", bytes);
    const ReadWindow whole{0, 0, 0, 0, static_cast<int32_t>(W), static_cast<int32_t>(H), 0, 1, 0};
    const ReadWindow part{0, 0, 3, 2, 10, 5, 0, 1, 0};
    for (uint32_t type : {0x01u, 0x101u, 0x02u, 0x82u, 0x102u, 0x182u, 0x08u, 0x88u, 0x10u, 0x90u, 0x40u, 0xC0u}) {
        DataSet* d = Keep(Shaped(type, W, H, 1, F));
        d->flags = kFlagSampleSize | kFlagSign | kFlagByteOrder;
        d->zero = type & 0x100 ? 0.0 : 32768.0;
        d->scale = type == 0x82u ? -0.5 : 1.0;
        Attach(d, path);
        const std::string name = "type " + std::to_string(type);
        ExpectServedAsRead(d, 1, whole, (name + " whole").c_str());
        ExpectServedAsRead(d, 2, part, (name + " part").c_str());
    }
}

TEST_F(KeptPlaneTest, ChannelModesAndCropsReadAsFromTheFile) {
    const uint32_t W = 16, H = 12, C = 3, F = 2;
    std::string data(size_t{W} * H * C * F * 2, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13 + 5);
    const std::string path = Write("channels.raw", data);
    const ReadWindow whole{0, 0, 0, 0, 64, 64, 0, 1, 0};
    for (int32_t mode : {int32_t{kChannelAsIs}, int32_t{kChannelSelected}, int32_t{kChannelSumming}}) {
        DataSet* d = Keep(Shaped(0x82, W, H, C, F));
        d->flags = kFlagSampleSize | kFlagSign | kFlagByteOrder;
        d->channelMode = mode;
        d->selectedChannel = 2;
        Attach(d, path);
        const std::string name = "mode " + std::to_string(mode);
        ExpectServedAsRead(d, 1, whole, name.c_str());
        // A crop that leaves part of every row: the pass keeps the rows it reads.
        InputRegion region;
        region.position[0] = 3;
        region.position[1] = 2;
        region.size[0] = 9;
        region.size[1] = 7;
        region.size[2] = -1;
        ASSERT_TRUE(SetInputRegion(d, &region));
        ExpectServedAsRead(d, 1, whole, (name + " cropped").c_str());
        ExpectServedAsRead(d, 0, ReadWindow{0, 0, 2, 1, 4, 3, 0, 1, 0}, (name + " cropped part").c_str());
    }
}

TEST_F(KeptPlaneTest, AnotherFrameOrDescriptionIsReadFromTheFile) {
    const uint32_t W = 40, H = 30;
    DataSet* d = Keep(Describe(Write("cube.raw", BigEndianFrames(W, H, 4)), W, H, 4));
    ASSERT_TRUE(d->keptPlane.Holds());  // the pass at attach kept frame 0
    EXPECT_EQ(Value(d, 5, 7), Sample(5, 7, 0));
    EXPECT_FALSE(d->keptPlane.Holds());

    // A new frame forgets the plane of the former one; its pass keeps its own.
    Pass(d, 1);
    ASSERT_TRUE(d->keptPlane.Holds());
    EXPECT_TRUE(d->SelectPosition(2, 0));
    EXPECT_FALSE(d->keptPlane.Holds());
    Pass(d, 2);
    EXPECT_EQ(Value(d, 9, 3, 2), Sample(9, 3, 2));
    // Frame 1's plane was read, not kept for frame 3: frame 3 comes from the file.
    Pass(d, 1);
    EXPECT_EQ(Value(d, 9, 3, 3), Sample(9, 3, 3));
    EXPECT_TRUE(d->keptPlane.Holds());
    EXPECT_EQ(Value(d, 9, 3, 1), Sample(9, 3, 1));

    // A changed description forgets the plane.
    Pass(d, 2);
    const uint64_t generation = d->generation;
    d->zero = 0.0;
    d->FormatChanged();
    EXPECT_GT(d->generation, generation);
    EXPECT_FALSE(d->keptPlane.Holds());
    EXPECT_EQ(Value(d, 9, 3, 2), static_cast<double>(static_cast<int16_t>(Sample(9, 3, 2) ^ 0x8000)));

    // Where the data begins is part of the key even when nobody said it changed.
    d->zero = 32768.0;
    d->FormatChanged();
    Pass(d, 2);
    ASSERT_TRUE(d->keptPlane.Holds());
    d->dataBegin = 2 * W;  // one row on
    EXPECT_EQ(Value(d, 9, 3, 2), Sample(9, 4, 2));
}

TEST_F(KeptPlaneTest, OnlyTheDataSetsThatReadLastKeepABlock) {
    const uint32_t W = 30, H = 20;
    const std::string path = Write("many.raw", BigEndianFrames(W, H, 2));
    std::vector<DataSet*> many;
    for (size_t i = 0; i < kKeptPlaneHolders + 2; ++i) many.push_back(Keep(Describe(path, W, H, 2)));
    for (DataSet* d : many) Pass(d, 1);
    for (size_t i = 0; i < many.size(); ++i) {
        const bool recent = i + kKeptPlaneHolders >= many.size();
        EXPECT_EQ(many[i]->keptPlane.Holds(), recent) << i;
        EXPECT_EQ(many[i]->keptPlane.BlockBytes() != 0, recent) << i;
    }
    // One that gave its block up reads from the file, and keeps again with its next pass.
    EXPECT_EQ(Value(many[0], 4, 6, 1), Sample(4, 6, 1));
    Pass(many[0], 1);
    EXPECT_TRUE(many[0]->keptPlane.Holds());
    EXPECT_FALSE(many[many.size() - kKeptPlaneHolders]->keptPlane.Holds());
    EXPECT_EQ(Value(many[0], 4, 6, 1), Sample(4, 6, 1));
    // A consumed plane keeps its block for the next frame; a data set let go of leaves
    // nothing behind for the others.
    EXPECT_FALSE(many[0]->keptPlane.Holds());
    EXPECT_NE(many[0]->keptPlane.BlockBytes(), 0u);
    many.back()->Release();
    sets.erase(std::find(sets.begin(), sets.end(), many.back()));
    many.pop_back();
    Pass(many[1], 1);
    EXPECT_TRUE(many[1]->keptPlane.Holds());
    EXPECT_NE(many[0]->keptPlane.BlockBytes(), 0u);
}

TEST_F(KeptPlaneTest, AShortFileKeepsNothing) {
    const uint32_t W = 20, H = 10;
    // Two and a half frames of three.
    std::string bytes = BigEndianFrames(W, H, 3);
    bytes.resize(bytes.size() - W * H);
    DataSet* d = Keep(Describe(Write("short.raw", bytes), W, H, 3));
    SectionStatistics r;
    d->SelectPosition(2, 0);
    EXPECT_TRUE(d->statisticsKernel(d, 2, 0, &r, 1, 0));
    EXPECT_EQ(r.whole, 0);
    EXPECT_FALSE(d->keptPlane.Holds());
    const ReadWindow w{2, 0, 0, 0, static_cast<int32_t>(W), static_cast<int32_t>(H), 0, 1, 0};
    const Delivery once = Deliver(d, w);
    ASSERT_TRUE(once.ok);
    EXPECT_EQ(once.height, H / 2);
    EXPECT_TRUE(once.window.flags & kWindowFileEnded);
    EXPECT_TRUE(Deliver(d, w) == once);
}

}  // namespace
}  // namespace orva
