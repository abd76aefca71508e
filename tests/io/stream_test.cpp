#include "io/stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace orva {
namespace {

class StreamTest : public ::testing::Test {
protected:
    void TearDown() override { CloseAllStreams(); }
    std::string Make(const char* name, const std::string& bytes) {
        testing_util::WriteText(folder.File(name), bytes);
        return folder.File(name);
    }
    int Count() {
        int n = 0;
        for (StreamRecord* r = StreamListHead(); r; r = r->next) ++n;
        return n;
    }
    testing_util::TempFolder folder;
    const std::string dir = folder.Path();
};

TEST_F(StreamTest, ReadersShareByIdentityAndReadIndependently) {
    std::string a = Make("data.bin", "0123456789");
    std::string link = dir + "/alias.bin";
    ASSERT_EQ(symlink(a.c_str(), link.c_str()), 0);
    StreamRecord *h1 = nullptr, *h2 = nullptr, *h3 = nullptr;
    EXPECT_EQ(StreamOpen(&h1, kStreamBinary, a.c_str()), 2);
    EXPECT_EQ(StreamOpen(&h2, kStreamBinary, link.c_str()), 2);  // another name, same file
    ASSERT_EQ(h1, h2);
    EXPECT_EQ(h1->refCount, 2);
    EXPECT_EQ(h1->length, 10);
    // A different case is a different file on Linux.
    EXPECT_LT(StreamOpen(&h3, kStreamBinary, (dir + "/DATA.BIN").c_str()), 0);
    EXPECT_EQ(h3, nullptr);
    // Interleaved reads at explicit offsets do not disturb each other.
    char x[4] = {}, y[4] = {};
    EXPECT_EQ(StreamRead(h1, 2, x, 3), 3);
    EXPECT_EQ(StreamRead(h2, 6, y, 3), 3);
    EXPECT_EQ(StreamRead(h1, 5, x, 3), 3);
    EXPECT_STREQ(x, "567");
    EXPECT_STREQ(y, "678");
    EXPECT_EQ(StreamRead(h1, 8, x, 3), 2);  // short at the end
    StreamClose(&h2);
    EXPECT_EQ(h2, nullptr);
    EXPECT_EQ(h1->refCount, 1);
    StreamClose(&h1);
    EXPECT_EQ(Count(), 0);
}

TEST_F(StreamTest, WritersArePrivateAndEmptyFilesAreNotKept) {
    std::string a = Make("data.bin", "abc");
    std::string e = Make("empty.bin", "");
    StreamRecord *r = nullptr, *w = nullptr, *rw = nullptr, *r2 = nullptr;
    EXPECT_EQ(StreamOpen(&r, kStreamBinary, a.c_str()), 2);
    EXPECT_EQ(StreamOpen(&w, kStreamBinary | kStreamWriteOnly, a.c_str()), 2);
    EXPECT_NE(w, r);  // opening for writing never shares
    EXPECT_EQ(StreamOpen(&rw, kStreamBinary | kStreamReadWrite, a.c_str()), 2);
    EXPECT_NE(rw, r);
    EXPECT_EQ(StreamOpen(&r2, kStreamBinary, a.c_str()), 2);
    EXPECT_EQ(r2, r);  // the reader finds the read-only record, not the writers
    EXPECT_TRUE(StreamIsReadOnly(r));
    EXPECT_FALSE(StreamIsReadOnly(rw));
    EXPECT_EQ(Count(), 3);
    StreamRecord* empty = nullptr;
    EXPECT_EQ(StreamOpen(&empty, kStreamBinary, e.c_str()), 1);
    EXPECT_EQ(empty, nullptr);
    StreamRecord* missing = nullptr;
    EXPECT_EQ(StreamOpen(&missing, kStreamBinary, (dir + "/none").c_str()), -2);
    // A created file writes through pwrite and extends the length.
    StreamRecord* c = nullptr;
    std::string out = dir + "/out.bin";
    EXPECT_EQ(StreamOpen(&c, kStreamCreate | kStreamTruncate | kStreamBinary, out.c_str()), 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->mode & kStreamReadWrite, kStreamReadWrite);
    EXPECT_EQ(StreamWrite(c, 4, "xy", 2), 2);
    EXPECT_EQ(c->length, 6);
    StreamClose(&c);
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 6);
    // A temporary stream has no name in the folder.
    StreamRecord* t = nullptr;
    std::string tmp = dir + "/tmp.bin";
    EXPECT_EQ(StreamOpen(&t, kStreamTemporary, tmp.c_str()), 2);
    EXPECT_NE(stat(tmp.c_str(), &st), 0);
    EXPECT_EQ(StreamWrite(t, 0, "q", 1), 1);
    for (StreamRecord** s : {&t, &r, &r2, &w, &rw}) StreamClose(s);
    EXPECT_EQ(Count(), 0);
}

TEST_F(StreamTest, VacateMovesAnOpenFileAside) {
    std::string a = Make("out.fits", "OLDDATA");
    StreamRecord *viewer = nullptr, *second = nullptr;
    ASSERT_EQ(StreamOpen(&viewer, kStreamBinary, a.c_str()), 2);
    ASSERT_EQ(StreamOpen(&second, kStreamBinary, a.c_str()), 2);
    Make("out.fits1", "taken");
    EXPECT_EQ(StreamVacateFile(a.c_str(), false), 2);
    EXPECT_FALSE(access(a.c_str(), F_OK) == 0);
    EXPECT_EQ(viewer->name, a + "2");  // the first free numbered name
    char buf[8] = {};
    EXPECT_EQ(StreamRead(viewer, 0, buf, 7), 7);
    EXPECT_STREQ(buf, "OLDDATA");
    // A file nobody holds: kept under a free name, or deleted.
    std::string b = Make("b.dat", "1");
    EXPECT_EQ(StreamVacateFile(b.c_str(), true), 2);
    EXPECT_EQ(access((b + "1").c_str(), F_OK), 0);
    std::string c = Make("c.dat", "1");
    EXPECT_EQ(StreamVacateFile(c.c_str(), false), 2);
    EXPECT_NE(access(c.c_str(), F_OK), 0);
    EXPECT_EQ(StreamVacateFile((dir + "/none").c_str(), false), 2);
    // At exit every descriptor closes; the shared record stays (closed) for its holder.
    CloseAllStreams();
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(viewer->fd, -1);
    StreamClose(&second);
    EXPECT_EQ(Count(), 0);
    viewer = nullptr;
}

TEST(FrameCache, SeekGrowsToHoldTheEntry) {
    FrameCache c;
    EXPECT_TRUE(FrameCacheSeek(&c, 10, 5));  // end below the frame: the entry must still fit
    EXPECT_EQ(c.capacity, 11u);
    EXPECT_EQ(c.current, 10u);
    uint8_t* e = FrameCacheCurrent(&c);
    ASSERT_NE(e, nullptr);
    e[c.entrySize - 1] = 1;
    e[0] = 7;
    EXPECT_TRUE(FrameCacheSeek(&c, 20, 5000));
    EXPECT_EQ(c.capacity, 20u + 1024u);
    EXPECT_EQ(c.entries[10 * c.entrySize], 7);  // old entries kept
    EXPECT_FALSE(FrameCacheSeek(&c, -1, 0));
    EXPECT_FALSE(FrameCacheSeek(&c, kFrameCacheWindow + 1, 0));
    c.current = 10;
    FrameCacheInvalidate(&c);
    EXPECT_EQ(c.entries[11 * c.entrySize - 1], 0);
    EXPECT_EQ(c.entries[10 * c.entrySize], 7);
    FrameCacheFree(&c);
    EXPECT_EQ(c.capacity, 0u);
    EXPECT_EQ(c.entries, nullptr);
}

TEST(FrameTable, GrowthAndExtent) {
    FrameTable t;
    ASSERT_TRUE(FrameTableGrowSections(&t, 10));
    EXPECT_EQ(t.sectionCapacity, 10u + 9u);
    ASSERT_TRUE(FrameTableGrowIndex(&t));
    EXPECT_EQ(t.frameCapacity, 4u);
    // Three frames: 2, 1, 2 sections.
    const int64_t sizes[5][3] = {{4, 3, 0}, {4, 3, 0}, {8, 1, 2}, {4, 3, 0}, {4, 3, 0}};
    for (int i = 0; i < 5; ++i) {
        t.sections[i].sizeX = sizes[i][0];
        t.sections[i].sizeY = sizes[i][1];
        t.sections[i].sizeZ = sizes[i][2];
    }
    t.sectionCount = 5;
    t.frames[0] = {2, 0};
    t.frames[1] = {1, 2};
    t.frames[2] = {2, 3};
    t.frameCount = 3;
    int64_t ext[3];
    uint32_t most = 0;
    bool sameCount = true, sameSizes = true;
    FrameTableExtent(&t, ext, &most, &sameCount, &sameSizes, 1);
    EXPECT_EQ(std::vector<int64_t>(ext, ext + 3), (std::vector<int64_t>{8, 3, 2}));
    EXPECT_EQ(most, 2u);
    EXPECT_FALSE(sameCount);
    EXPECT_FALSE(sameSizes);
    FrameTableExtent(&t, ext, &most, &sameCount, &sameSizes, -2);  // frames 0 and 2
    EXPECT_EQ(ext[0], 4);
    EXPECT_EQ(ext[2], 1);  // z of 0 becomes 1 once x is known
    EXPECT_TRUE(sameCount);
    EXPECT_TRUE(sameSizes);
    ASSERT_TRUE(FrameTableGrowSections(&t, 0x30000));
    EXPECT_EQ(t.sectionCapacity, 0x30001u);
    EXPECT_EQ(t.sections[4].sizeX, 4);
    FrameTableClear(&t);
    EXPECT_EQ(t.sections, nullptr);
    EXPECT_EQ(t.frameCount, 0u);
}

}  // namespace
}  // namespace orva
