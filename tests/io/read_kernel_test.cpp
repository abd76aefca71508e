#include "io/read_kernel.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "data_set_fixture.h"
#include "io/frame_access.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::Sample;

class ReadKernel : public DataSetFixture {};

// Checks every delivered value of a window against the generator.
::testing::AssertionResult Matches(const TypedFrameBuffer& image, uint64_t x0, uint64_t y0,
                                   uint32_t w, uint32_t h, uint32_t frame) {
    const double* v = static_cast<const double*>(image.data);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const double want = Sample(x0 + x, y0 + y, frame);
            if (v[static_cast<size_t>(y) * w + x] != want)
                return ::testing::AssertionFailure()
                       << "at (" << x << "," << y << "): " << v[static_cast<size_t>(y) * w + x]
                       << " != " << want;
        }
    return ::testing::AssertionSuccess();
}

TEST(ReadKernelClip, EveryAxisKeepsTheWindowWithinTheByteLimit) {
    struct Case {
        uint64_t x, y, z, cropW, cropH, cropD, P, w, h, d;
        uint64_t wantW, wantH, wantD;
        uint32_t flags;
    };
    const uint64_t big = 1ull << 40;
    const Case cases[] = {
        {0, 0, 0, 100, 100, 1, 8, 50, 50, 1, 50, 50, 1, 0},
        {90, 0, 0, 100, 100, 1, 8, 50, 10, 1, 10, 10, 1, kWindowWidthClipped},
        {0, 95, 0, 100, 100, 1, 8, 10, 10, 1, 10, 5, 1, kWindowHeightClipped},
        {0, 0, 3, 10, 10, 5, 8, 10, 10, 9, 10, 10, 2, kWindowDepthClipped},
        // 131072-byte pixels: 4096 of them fit, far more than 0x2000000 bytes would allow.
        {0, 0, 0, big, big, 1, 131072, 300, 1, 1, 300, 1, 1, 0},
        {0, 0, 0, big, big, 1, 131072, 5000, 1, 1, 4096, 1, 1, kWindowWidthClipped},
        {0, 0, 0, big, big, 1, 131072, 300, 20, 1, 300, 13, 1, kWindowHeightClipped},
        {0, 0, 0, big, big, big, 131072, 100, 10, 50, 100, 10, 4, kWindowDepthClipped},
        // 8-byte pixels: 0x4000000 pixels per window.
        {0, 0, 0, big, big, 1, 8, 0x8000000, 1, 1, 0x4000000, 1, 1, kWindowWidthClipped},
        {0, 0, 0, big, big, 1, 8, 4096, 0x7FFFFFFF, 1, 4096, 0x4000, 1, kWindowHeightClipped},
        {0, 0, 0, big, big, big, 0, 1, 1, 0x7FFFFFFF, 1, 1, 0x20000000, kWindowDepthClipped},  // P 0: 1
    };
    for (const Case& c : cases) {
        uint64_t w = c.w, h = c.h, d = c.d;
        const uint32_t f = ClipReadWindow(c.x, c.y, c.z, c.cropW, c.cropH, c.cropD, c.P, &w, &h, &d);
        EXPECT_EQ(f, c.flags) << c.w << "x" << c.h << "x" << c.d;
        EXPECT_EQ(w, c.wantW);
        EXPECT_EQ(h, c.wantH);
        EXPECT_EQ(d, c.wantD);
    }
}

TEST_F(ReadKernel, WindowsOfRowsNarrowAndAcrossTheEdge) {
    const uint32_t W = 257, H = 130;
    DataSet* d = Describe(Write("a.raw", BigEndianFrames(W, H, 2)), W, H, 2);
    ASSERT_EQ(d->windowKernel, &InputReadKernel1Swapped);

    ReadWindow w{1, 0, 0, 0, static_cast<int32_t>(W), static_cast<int32_t>(H), 0, 1, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(w.flags, 0u);
    EXPECT_EQ(image.layout, 2u);
    EXPECT_TRUE(Matches(image, 0, 0, W, H, 1));
    EXPECT_GT(d->chunkPixels, 0u);  // the staging block stays for the next read

    w = ReadWindow{0, 0, 100, 50, 37, 20, 0, 1, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(w.flags, 0u);
    EXPECT_EQ(image.layout, 0u);
    EXPECT_TRUE(Matches(image, 100, 50, 37, 20, 0));

    w = ReadWindow{0, 0, 240, 120, 100, 100, 0, 4, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(w.flags, kWindowWidthClipped | kWindowHeightClipped | kWindowDepthClipped);
    EXPECT_EQ(w.width, 17);
    EXPECT_EQ(w.height, 10);
    EXPECT_EQ(w.depth, 1);
    EXPECT_EQ(image.windowX, 240);
    EXPECT_TRUE(Matches(image, 240, 120, 17, 10, 0));

    // A negative origin reads from 0 and is written back.
    w = ReadWindow{0, 0, -5, -7, 4, 3, -1, 1, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(w.x, 0);
    EXPECT_EQ(w.y, 0);
    EXPECT_EQ(w.z, 0);
    EXPECT_TRUE(Matches(image, 0, 0, 4, 3, 0));

    // Refusals: outside the data (0x200), and invalid requests (no flag).
    const ReadWindow refused[] = {
        {0, 0, static_cast<int64_t>(W), 0, 4, 4, 0, 1, 0}, {0, 1, 0, 0, 4, 4, 0, 1, 0},
        {0, 0, 0, static_cast<int64_t>(H), 4, 4, 0, 1, 0}, {0, 0, 0, 0, 4, 4, 1, 1, 0}};
    for (ReadWindow r : refused) {
        EXPECT_FALSE(Read(d, &r));
        EXPECT_EQ(r.flags, kWindowOutside);
    }
    const ReadWindow invalid[] = {{2, 0, 0, 0, 4, 4, 0, 1, 0}, {-1, 0, 0, 0, 4, 4, 0, 1, 0},
                                  {0, -1, 0, 0, 4, 4, 0, 1, 0}, {0, 0, 0, 0, 0, 4, 0, 1, 0}};
    for (ReadWindow r : invalid) {
        EXPECT_FALSE(Read(d, &r));
        EXPECT_EQ(r.flags, 0u);
    }
    d->Release();
}

TEST_F(ReadKernel, SwappedAndNativeFilesGiveTheSameValues) {
    const uint32_t W = 64, H = 40;
    std::string big = BigEndianFrames(W, H, 1);
    std::string native = big;
    for (size_t i = 0; i + 1 < native.size(); i += 2) std::swap(native[i], native[i + 1]);
    DataSet* s = Describe(Write("big.raw", big), W, H, 1, 0x82);
    DataSet* n = Describe(Write("native.raw", native), W, H, 1, 0x02);
    EXPECT_EQ(s->windowKernel, &InputReadKernel1Swapped);
    EXPECT_EQ(n->windowKernel, &InputReadKernel1);
    ReadWindow a{0, 0, 3, 2, 50, 30, 0, 1, 0};
    ReadWindow b = a;
    ASSERT_TRUE(Read(s, &a));
    std::vector<double> first(static_cast<const double*>(image.data),
                              static_cast<const double*>(image.data) + 50 * 30);
    ASSERT_TRUE(Read(n, &b));
    EXPECT_EQ(0, std::memcmp(first.data(), image.data, first.size() * sizeof(double)));
    EXPECT_TRUE(Matches(image, 3, 2, 50, 30, 0));
    s->Release();
    n->Release();
}

// Windows far larger than the caches are stored past them, whole rows in pieces and
// narrower rows one at a time, each starting off a 32-byte boundary: the same values.
TEST_F(ReadKernel, WindowsLargerThanTheCachesGiveTheSameValues) {
    const uint32_t W = 1024, H = 1024;
    DataSet* s = Describe(Write("large.raw", BigEndianFrames(W, H, 1)), W, H, 1, 0x82);
    ReadWindow whole{0, 0, 0, 0, W, H, 0, 1, 0};
    ASSERT_TRUE(Read(s, &whole));
    EXPECT_TRUE(Matches(image, 0, 0, W, H, 0));
    ReadWindow part{0, 0, 3, 5, W - 6, H - 9, 0, 1, 0};
    ASSERT_TRUE(Read(s, &part));
    EXPECT_TRUE(Matches(image, 3, 5, W - 6, H - 9, 0));
    s->Release();
}

TEST_F(ReadKernel, NegativeStepReachesTheLastFrameAndReadsNoFrameTwice) {
    const uint32_t W = 8, H = 4, N = 10;
    DataSet* d = Describe(Write("cube.raw", BigEndianFrames(W, H, N)), W, H, N);
    d->frameStep = -3;
    d->Prepare();
    ASSERT_EQ(d->StepFrames(), 4u);
    const uint32_t want[] = {9, 6, 3, 0};
    for (int f = 0; f < 4; ++f) {
        ReadWindow w{f, 0, 0, 0, static_cast<int32_t>(W), static_cast<int32_t>(H), 0, 1, 0};
        ASSERT_TRUE(Read(d, &w));
        EXPECT_TRUE(Matches(image, 0, 0, W, H, want[f])) << "logical frame " << f;
    }
    d->Release();
}

TEST_F(ReadKernel, AFileShorterThanItsDescriptionGivesThePartialRow) {
    const uint32_t W = 1024, H = 768;
    std::string data = BigEndianFrames(W, H, 1);
    data.resize(static_cast<size_t>(W) * 2 * 300 + 500 * 2 + 1);  // 500 pixels and a half
    DataSet* d = Describe(Write("short.raw", data), W, H, 1);
    ReadWindow w{0, 0, 0, 0, static_cast<int32_t>(W), static_cast<int32_t>(H), 0, 1, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(w.flags, kWindowHeightClipped | kWindowFileEnded);
    EXPECT_EQ(w.height, 301);
    EXPECT_EQ(image.height, 301u);
    EXPECT_EQ(image.pixelCount, 301u * W);
    EXPECT_TRUE(Matches(image, 0, 0, W, 300, 0));
    for (uint32_t x = 0; x < W; ++x) ASSERT_EQ(At(x, 300), x < 500 ? Sample(x, 300, 0) : 0.0) << x;

    // Row by row: a narrow window ends the same way.
    w = ReadWindow{0, 0, 400, 250, 200, 100, 0, 1, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(w.flags, kWindowHeightClipped | kWindowFileEnded);
    EXPECT_EQ(w.height, 51);
    EXPECT_EQ(At(99, 50), Sample(499, 300, 0));
    EXPECT_EQ(At(100, 50), 0.0);
    d->Release();

    // Less than one pixel before the end: nothing is delivered.
    DataSet* e = Describe(Write("tiny.raw", std::string(6, '\1')), 4, 4, 1, 0x08, 4);
    w = ReadWindow{0, 0, 0, 0, 4, 4, 0, 1, 0};
    EXPECT_FALSE(Read(e, &w));
    EXPECT_EQ(w.flags, kWindowHeightClipped | kWindowFileEnded | kWindowEmpty);
    e->Release();
}

TEST_F(ReadKernel, SelectedChannelAndChannelsAsTheyAre) {
    // 4 channels of 8-bit samples: channel c of pixel p holds p * 4 + c.
    const uint32_t W = 6, H = 5;
    std::string data(W * H * 4, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i & 0x7F);
    DataSet* d = Shaped(0x01, W, H, 4);
    d->channelMode = kChannelSelected;
    d->selectedChannel = 3;
    Attach(d, Write("rgba.raw", data));
    ReadWindow w{0, 0, 1, 1, 3, 2, 0, 1, 0};
    ASSERT_TRUE(Read(d, &w));
    EXPECT_EQ(At(0, 0), (1 * W + 1) * 4 + 2);
    EXPECT_EQ(At(2, 1), (2 * W + 3) * 4 + 2);

    d->channelMode = kChannelAsIs;
    d->FormatChanged();
    w = ReadWindow{0, 0, 1, 1, 3, 2, 0, 1, 0};
    image.SetTypeAndCount(0x40, 1);  // the kernel makes room for 4 values per pixel
    ASSERT_TRUE(d->ReadWindowData(&image, &w));
    ASSERT_EQ(image.itemBytes, 32u);
    const double* v = static_cast<const double*>(image.data);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(v[4 * 5 + c], (2 * W + 3) * 4 + c);
    d->Release();
}

}  // namespace
}  // namespace orva
