// Section statistics and preview kernels on data sets described in code.
#include "io/section_stats.h"

#include <fcntl.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "common/cpu_info.h"
#include "data_set_fixture.h"
#include "io/frame_access.h"
#include "io/read_kernel.h"

namespace orva {
namespace {

using testing_io::SectionKernelFixture;
using testing_io::Sample;

std::vector<std::pair<int64_t, uint64_t>> gReads;
void Record(int64_t offset, uint64_t bytes) { gReads.emplace_back(offset, bytes); }

class SectionStatsTest : public SectionKernelFixture {
protected:
    void SetUp() override {
        SectionKernelFixture::SetUp();
        gReads.clear();
        SetSectionReadObserver(&Record);
    }
    void TearDown() override {
        SetSectionReadObserver(nullptr);
        SectionKernelFixture::TearDown();
    }
};

TEST(SectionSampleTest, ChoiceAndBands) {
    // 4000 x 4000 of 8-byte values: 512 x 512 in bands of 170, 170 and 172 rows.
    SectionSample s = ChooseSectionSample(4000, 4000, 8, false);
    EXPECT_EQ(s.rows, 512u);
    EXPECT_EQ(s.columns, 512u);
    EXPECT_EQ(s.bandHeight, 170u);
    EXPECT_EQ(s.gap, 1744u);
    EXPECT_EQ(s.lastBand, 172u);
    // A whole read of a short plane is one band.
    s = ChooseSectionSample(100, 100, 8, true);
    EXPECT_EQ(s.rows, 100u);
    EXPECT_EQ(s.bandHeight, 100u);
    EXPECT_EQ(s.lastBand, 0u);
    // Rows of 2^20 pixels: no full row fits, the sample is square-ish within 4 MiB.
    s = ChooseSectionSample(1u << 20, 1000, 8, false);
    EXPECT_EQ(s.rows, 512u);
    EXPECT_EQ(s.columns, 512u);
    s = ChooseSectionSample(1u << 20, 1u << 20, 1u << 20, false);  // n = 4 < 8
    EXPECT_EQ(s.rows, 1u);
    EXPECT_EQ(s.columns, 4u);
    EXPECT_EQ(WholePlaneLimit(0), 0x800000u);
    EXPECT_EQ(WholePlaneLimit(2), 38000000u);
    EXPECT_EQ(WholePlaneLimit(7), 48000000u);
}

TEST(SectionSampleTest, PreviewSizesAndScalePair) {
    uint32_t w = 0, h = 0;
    uint64_t step = 0;
    PreviewSize(1000, 300, &w, &h, &step);
    EXPECT_EQ(w, 256u);
    EXPECT_EQ(h, 76u);
    EXPECT_EQ(step, 256000u);
    PreviewSize(200, 100, &w, &h, &step);
    EXPECT_EQ(w, 200u);
    EXPECT_EQ(h, 100u);
    EXPECT_EQ(step, 1u);
    PreviewSize(3, 100000, &w, &h, &step);
    EXPECT_EQ(w, 1u);
    EXPECT_EQ(h, 256u);

    struct Case {
        double in, scale, inverse;
    } cases[] = {{0.0, 0.0, -DBL_MAX},        {-1e-310, 0.0, -DBL_MAX}, {1e-310, 0.0, DBL_MAX},
                 {1.0 + DBL_EPSILON, 1.0, 1.0}, {-4.0, -4.0, -0.25},     {2.0, 2.0, 0.5}};
    for (const Case& c : cases) {
        ScalePair p;
        ScalePairSet(&p, c.in, 5e-308);
        EXPECT_EQ(p.scale, c.scale) << c.in;
        EXPECT_EQ(p.inverse, c.inverse) << c.in;
        EXPECT_EQ(p.zero, 0.0);
    }
    ScalePair p;
    ScalePairSetZero(&p, -1e-307);
    EXPECT_EQ(p.zero, -1e-307);
}

TEST_F(SectionStatsTest, LargeRealPlaneIsSampledInThreeBands) {
    const int64_t side = 4000;
    const std::string path = dir + "/big.raw";
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, side * side * 8), 0);  // sparse: zeros everywhere
    auto put = [&](int64_t x, int64_t y, double v) {
        ASSERT_EQ(pwrite(fd, &v, 8, (y * side + x) * 8), 8);
    };
    put(10, 100, 5.0);     // sampled (band 1)
    put(0, 3900, -3.0);    // sampled (band 3)
    put(300, 2000, 2.0);   // sampled (band 2)
    put(10, 1000, 99.0);   // between bands
    put(600, 100, 77.0);   // beyond the sampled columns
    close(fd);

    DataSet* d = Keep(Shaped(0x40, side, side));
    d->flags = kFlagSampleSize;
    Attach(d, path);
    EXPECT_TRUE(gReads.empty());  // the whole read at attach is refused before any read

    SectionStatistics r;
    EXPECT_FALSE(d->statisticsKernel(d, 0, 0, &r, 1, 0));  // class 0: above 0x800000 bytes
    EXPECT_TRUE(gReads.empty());
    // What the refusal tells: the plane's size and bytes against the class's limit.
    WholePlaneCost cost;
    ASSERT_TRUE(WholePlaneCostOf(d, 0, 0, &cost));
    EXPECT_EQ(std::vector<uint64_t>({cost.width, cost.height, cost.bytes, cost.limit}),
              std::vector<uint64_t>({4000, 4000, 4000ull * 4000 * 8, 0x800000}));
    EXPECT_TRUE(cost.over);
    EXPECT_FALSE(WholePlaneCostOf(d, 1, 0, &cost));  // no such frame
    ASSERT_TRUE(d->statisticsKernel(d, 0, 0, &r, 0, 0));
    EXPECT_EQ(r.valid, 1);
    EXPECT_EQ(r.whole, 0);
    EXPECT_EQ(r.count, 512u * 512u);
    EXPECT_EQ(r.minimum, -3.0);
    EXPECT_EQ(r.maximum, 5.0);
    EXPECT_NEAR(r.mean, 4.0 / (512.0 * 512.0), 1e-15);
    std::set<int64_t> rows;
    for (const auto& [offset, bytes] : gReads) {
        EXPECT_EQ(bytes, 512u * 8);
        EXPECT_EQ(offset % (side * 8), 0);
        rows.insert(offset / (side * 8));
    }
    std::set<int64_t> expected;
    for (int64_t y = 0; y <= 169; ++y) expected.insert(y);
    for (int64_t y = 1914; y <= 2083; ++y) expected.insert(y);
    for (int64_t y = 3828; y <= 3999; ++y) expected.insert(y);
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(gReads.size(), 512u);
}

TEST_F(SectionStatsTest, SmallPlaneIsReadWholeAndShortFilesEndTheScan) {
    const std::string path = Write("small.raw", BigEndianFrames(100, 100, 1));
    DataSet* d = Keep(Describe(path, 100, 100, 1));
    double lo = DBL_MAX, hi = -DBL_MAX, sum = 0.0;
    for (uint64_t y = 0; y < 100; ++y)
        for (uint64_t x = 0; x < 100; ++x) {
            const double v = static_cast<double>(Sample(x, y, 0)) - 32768.0;  // stored units
            lo = std::min(lo, v), hi = std::max(hi, v), sum += v;
        }
    for (int whole : {0, 1}) {
        SectionStatistics r;
        ASSERT_TRUE(d->statisticsKernel(d, 0, 0, &r, whole, 0));
        EXPECT_EQ(r.whole, 1);
        EXPECT_EQ(r.count, 10000u);
        EXPECT_EQ(r.minimum, lo);
        EXPECT_EQ(r.maximum, hi);
        EXPECT_NEAR(r.mean, sum / 10000.0, 1e-9);
        EXPECT_EQ(r.rangeOverflow, 0);
    }
    // Frame and section beyond the data are refused.
    SectionStatistics r;
    EXPECT_FALSE(d->statisticsKernel(d, 1, 0, &r, 0, 0));
    EXPECT_FALSE(d->statisticsKernel(d, 0, 1, &r, 0, 0));
    EXPECT_FALSE(d->statisticsKernel(d, 0, 0, nullptr, 0, 0));

    // The file holds 40 of 100 rows: what came is counted, the plane is not whole.
    const std::string cut = Write("cut.raw", BigEndianFrames(100, 40, 1));
    DataSet* e = Keep(Describe(cut, 100, 100, 1));
    gReads.clear();
    ASSERT_TRUE(e->statisticsKernel(e, 0, 0, &r, 0, 0));
    EXPECT_EQ(r.whole, 0);
    EXPECT_EQ(r.count, 4000u);
    for (const auto& [offset, bytes] : gReads)
        EXPECT_LE(static_cast<uint64_t>(offset) + bytes, 100u * 40 * 2);
}

// A pass between two frame reads reads the plane in the frame read's chunk size and
// leaves the frame read its staging block and chunk.
TEST_F(SectionStatsTest, APassBetweenFrameReadsLeavesThemTheirChunk) {
    constexpr uint32_t kW = 512, kH = 384;
    DataSet* d = Keep(Describe(Write("two.raw", BigEndianFrames(kW, kH, 2)), kW, kH, 2));
    OutputFormat agreed{0x40, 8, 1, 2, {0, 0}};
    ASSERT_TRUE(d->SetOutputFormat(&agreed));
    TypedFrameBuffer image;
    ReadWindow w{0, 0, 0, 0, kW, kH, 0, 1, 0};
    ASSERT_TRUE(d->ReadWindowData(&image, &w));
    const void* staging = d->staging.block;
    const uint32_t chunk = d->chunkPixels;
    ASSERT_NE(chunk, 0u);

    gReads.clear();
    SectionStatistics r;
    ASSERT_TRUE(d->statisticsKernel(d, 1, 0, &r, 1, 0));
    EXPECT_EQ(static_cast<const void*>(d->staging.block), staging);
    EXPECT_EQ(d->chunkPixels, chunk);
    uint64_t bytes = 0;
    for (const auto& [offset, n] : gReads) {
        EXPECT_LE(n, uint64_t{kReadChunkBytes});
        bytes += n;
    }
    EXPECT_EQ(bytes, uint64_t{kW} * kH * 2);  // the plane once
    double lo = DBL_MAX, hi = -DBL_MAX, sum = 0.0;
    for (uint64_t y = 0; y < kH; ++y)
        for (uint64_t x = 0; x < kW; ++x) {
            const double v = static_cast<double>(Sample(x, y, 1)) - 32768.0;  // stored units
            lo = std::min(lo, v), hi = std::max(hi, v), sum += v;
        }
    EXPECT_EQ(std::tuple(r.whole, r.count, r.minimum, r.maximum), std::tuple(uint8_t{1}, uint64_t{kW} * kH, lo, hi));
    EXPECT_NEAR(r.mean, sum / (kW * kH), 1e-9);

    // The next frame read goes on with the same block.
    w = ReadWindow{1, 0, 0, 0, kW, kH, 0, 1, 0};
    ASSERT_TRUE(d->ReadWindowData(&image, &w));
    EXPECT_EQ(static_cast<const void*>(d->staging.block), staging);
    EXPECT_EQ(d->chunkPixels, chunk);
    EXPECT_EQ(static_cast<const double*>(image.data)[5 * kW + 7], Sample(7, 5, 1));
}

TEST_F(SectionStatsTest, PreviewIsReducedAndCached) {
    const std::string path = Write("wide.raw", BigEndianFrames(1000, 300, 2));
    DataSet* d = Keep(Describe(path, 1000, 300, 2));  // big-endian: the swapping twin
    EXPECT_EQ(d->previewKernel, &InputReadKernel3Swapped);
    SectionPreview p;
    gReads.clear();
    ASSERT_TRUE(DataSetSectionInfoEx(d, 1, 0, &p));
    EXPECT_FALSE(gReads.empty());
    EXPECT_EQ(p.width, 256u);
    EXPECT_EQ(p.height, 76u);
    EXPECT_DOUBLE_EQ(p.zoom, 1000.0 / 256.0);
    EXPECT_EQ(p.valuesPerPixel, 1u);
    EXPECT_EQ(p.type, 0x40u);
    EXPECT_EQ(p.ready, 1);
    EXPECT_EQ(p.scale.scale, 1.0);
    auto expect = [&](uint32_t j, uint32_t k) {
        return static_cast<double>(Sample((j * 256000ull) >> 16, (k * 256000ull) >> 16, 1)) -
               32768.0;
    };
    for (uint32_t k : {0u, 1u, 37u, 75u})
        for (uint32_t j : {0u, 1u, 128u, 255u})
            EXPECT_EQ(p.Values()[k * 256 + j], expect(j, k)) << j << "," << k;
    const std::vector<double> first(p.Values(), p.Values() + 256 * 76);

    SectionPreview again;
    gReads.clear();
    ASSERT_TRUE(DataSetSectionInfoEx(d, 1, 0, &again));
    EXPECT_TRUE(gReads.empty());
    EXPECT_EQ(std::memcmp(first.data(), again.Values(), first.size() * 8), 0);

    // Another frame, or a changed crop box, reads again.
    ASSERT_TRUE(DataSetSectionInfoEx(d, 0, 0, &again));
    EXPECT_FALSE(gReads.empty());
    EXPECT_EQ(again.Values()[1], expect(1, 0) - 101.0);
    InputRegion region;
    region.position[0] = 100;
    region.size[0] = 200;
    region.size[1] = 100;
    region.size[2] = -1;
    ASSERT_TRUE(SetInputRegion(d, &region));
    gReads.clear();
    ASSERT_TRUE(DataSetSectionInfoEx(d, 0, 0, &again));
    EXPECT_FALSE(gReads.empty());
    EXPECT_EQ(again.width, 200u);
    EXPECT_EQ(again.height, 100u);
    EXPECT_EQ(again.zoom, 1.0);
    EXPECT_EQ(again.Values()[5 * 200 + 7],
              static_cast<double>(Sample(107, 5, 0)) - 32768.0);

    // Native order, a valid whole record: its range is copied.
    std::vector<int16_t> v(200 * 100);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int16_t>(i % 1000 - 500);
    const std::string native = Write("native.raw", std::string(reinterpret_cast<const char*>(v.data()), v.size() * 2));
    DataSet* n = Keep(Describe(native, 200, 100, 1, 0x02));
    EXPECT_EQ(n->previewKernel, &InputReadKernel3);
    SectionStatistics r;
    ASSERT_TRUE(n->statisticsKernel(n, 0, 0, &r, 0, 0));
    ASSERT_TRUE(n->previewKernel(n, 0, 0, &p, &r));
    EXPECT_EQ(p.width, 200u);
    EXPECT_EQ(p.minimum, -500.0);
    EXPECT_EQ(p.maximum, 499.0);
    EXPECT_EQ(p.count, 20000u);
    EXPECT_EQ(p.Values()[1234], 234.0 - 500.0);

    // A failure leaves the empty description.
    EXPECT_FALSE(n->previewKernel(n, 5, 0, &p, nullptr));
    EXPECT_EQ(p.width, 0u);
    EXPECT_EQ(p.type, 0x101u);
    EXPECT_EQ(p.ready, 0);
}

}  // namespace
}  // namespace orva
