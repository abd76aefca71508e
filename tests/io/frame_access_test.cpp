#include "io/frame_access.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <sstream>
#include <tuple>
#include <vector>

#include "data_set_fixture.h"
#include "io/section_stats.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;

TEST(FrameAccess, MapFrameByStep) {
    // Logical frames 0, 1, 2, ... of each step over ten file frames.
    const struct {
        int32_t step;
        std::vector<uint32_t> files;
    } rows[] = {
        {1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9}},
        {3, {0, 3, 6, 9, 9}},
        {-1, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0}},
        {-3, {9, 6, 3, 0, 0}},
        {0, {0, 9, 9, 9}},
    };
    for (const auto& row : rows)
        for (size_t n = 0; n < row.files.size(); ++n)
            EXPECT_EQ(MapFrameByStep(row.step, 10, static_cast<int64_t>(n)), row.files[n]) << row.step << " " << n;
    struct Case {
        int32_t step;
        uint32_t frames;
        int64_t logical;
        uint32_t file;
    };
    const Case cases[] = {
        // A product above 0x7FFFFFFF becomes 0x7FFFFFFF / |step|.
        {0x10000, 0x8000, 0x10000, 0x7FFF},
        {0x10000, 0x7FFF, 0x10000, 0x7FFE},
        {-0x10000, 0x8000, 0x10000, 0},
        {-0x10000, 0x10000, 0x10000, 0x8000},
        {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFE, 1},
        {-0x7FFFFFFF, 0x7FFFFFFF, 1, 0},
        {INT32_MIN, 10, 1, 9},
        {1, 10, INT64_MAX, 9},
        // No frames, a negative logical frame.
        {1, 0, 0, 0},
        {2, 5, -1, 0},
        {-1, 5, -1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MapFrameByStep(c.step, c.frames, c.logical), c.file)
            << c.step << " " << c.frames << " " << c.logical;
    // Every frame of a negative step is read exactly once, and the last one among them.
    for (int32_t step = -1; step >= -7; --step) {
        std::vector<int> seen(23, 0);
        DataSetInfo info;
        info.frameStep = step;
        info.SetTotalFrames(23, true);
        for (uint32_t f = 0; f < info.StepFrames(); ++f) ++seen[MapFrameByStep(info, f)];
        EXPECT_EQ(seen[22], 1) << step;
        for (int n : seen) EXPECT_LE(n, 1) << step;
    }
}

TEST(FrameAccess, FrameTableCountsAndRecords) {
    // Two frames; the file's last frame has five sections of which 2, 3 and 4 are held.
    SectionFrameTable t;
    t.totalFrames = 2;
    t.frameCount = 2;
    t.frames = {{3, 0}, {5, 3}};
    t.sections.resize(6);
    t.partialFirst = 2;
    t.partialCount = 3;
    // (frame, section) and the entry it finds (-1: none).
    const int lookups[][3] = {{1, 1, -1}, {1, 2, 3}, {1, 3, 4}, {1, 4, 5}, {1, 5, -1},
                              {0, 0, 0},  {0, 2, 2}, {0, 3, -1}, {2, 0, -1}};
    for (const auto& l : lookups)
        EXPECT_EQ(FrameTableSectionRecord(&t, l[0], l[1]), l[2] < 0 ? nullptr : &t.sections[l[2]])
            << l[0] << "," << l[1];
    // With a last frame held in part no frame reports sections; the records stay reachable.
    for (uint32_t f = 0; f < 3; ++f) EXPECT_EQ(FrameTableSectionCount(&t, f), 0u) << f;
    uint32_t count = 99;
    EXPECT_EQ(FrameTableSectionRecordEx(&t, 1, 7, &count), nullptr);
    EXPECT_EQ(count, 5u);  // stored before the section is checked
    count = 99;
    EXPECT_EQ(FrameTableSectionRecordEx(&t, 2, 0, &count), nullptr);
    EXPECT_EQ(count, 99u);  // outside the table: untouched

    // Complete: the entries' counts; the table's frames may start later than the file's.
    t.partialFirst = t.partialCount = 0;
    t.firstFrame = 4;
    t.totalFrames = 6;
    const uint32_t counts[] = {0, 3, 5, 0};  // file frames 3, 4, 5, 6
    for (uint32_t f = 3; f < 7; ++f) EXPECT_EQ(FrameTableSectionCount(&t, f), counts[f - 3]) << f;
    EXPECT_EQ(FrameTableSectionRecord(&t, 5, 4), nullptr) << "an index past the records";
    t.incomplete = true;
    EXPECT_EQ(FrameTableSectionCount(&t, 4), 0u);
    t.incomplete = false;
    // A last frame held from its section 2 on without a limit: sections below 2 have no
    // record, the others count from 2.
    t.partialFirst = 2;
    EXPECT_EQ(FrameTableSectionRecord(&t, 5, 1), nullptr);
    EXPECT_EQ(FrameTableSectionRecord(&t, 5, 2), &t.sections[3]);
    EXPECT_EQ(FrameTableSectionRecord(&t, 4, 1), &t.sections[1]);  // not the last frame
}

class SectionAccess : public DataSetFixture {
protected:
    static inline int statisticsCalls = 0;
    static bool FillStatistics(DataSet*, uint32_t fileFrame, uint32_t section,
                               SectionStatistics* r, int, int) {
        ++statisticsCalls;
        r->minimum = fileFrame;
        r->maximum = 100.0 + section;
        r->mean = 50.0;
        r->count = 4;
        r->valid = 1;
        r->whole = 1;
        return true;
    }
    void SetUp() override {
        DataSetFixture::SetUp();
        statisticsCalls = 0;
        savedKernels_ = TheSectionKernels();
        TheSectionKernels().statistics = &FillStatistics;
        TheSectionKernels().statisticsSwapped = &FillStatistics;
    }
    void TearDown() override {
        TheSectionKernels() = savedKernels_;
        DataSetFixture::TearDown();
    }
    SectionKernelTable savedKernels_;
};

TEST_F(SectionAccess, RecordsOfARegularFile) {
    DataSet* d = Describe(Write("a.raw", BigEndianFrames(4, 4, 20)), 4, 2, 20);
    EXPECT_EQ(statisticsCalls, 1);  // attaching computes frame 0, section 0
    statisticsCalls = 0;
    d->ClearRecordWindow();
    d->sections = 2;
    d->frameStep = -3;
    d->SetTotalFrames(10, true);
    d->Prepare();
    ASSERT_EQ(d->StepFrames(), 4u);
    uint32_t fileFrame = 99;
    SectionStatistics* r = DataSetSectionRecord(d, 1, 1, &fileFrame);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(fileFrame, 6u);
    EXPECT_EQ(DataSetSectionRecord(d, 1, 1, nullptr), r);
    EXPECT_NE(DataSetSectionRecord(d, 1, 0, nullptr), r);
    EXPECT_EQ(DataSetSectionRecord(d, 1, 2, nullptr), nullptr);  // section = sections per frame
    EXPECT_EQ(DataSetSectionRecord(d, 4, 0, nullptr), nullptr);  // beyond the frames visited
    EXPECT_EQ(SourceSectionData(d, 3, 1, nullptr), DataSetSectionRecord(d, 3, 1, nullptr));

    // Mode 2 never computes; mode 0 does, once.
    EXPECT_EQ(DataSetSectionInfo(d, 2, 0, 2), nullptr);
    EXPECT_EQ(statisticsCalls, 0);
    SectionStatistics* s = DataSetSectionInfo(d, 2, 0, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->minimum, 3.0);  // file frame of logical frame 2
    EXPECT_EQ(DataSetSectionInfo(d, 2, 0, 2), s);
    EXPECT_EQ(statisticsCalls, 1);

    // The current section in physical units: stored x scale + zero.
    d->zero = 1.0;
    d->scale = 2.0;
    ASSERT_TRUE(d->SelectPosition(1, 1));
    EXPECT_FALSE(d->SelectPosition(1, 5));  // clamped to the last section: unchanged
    const SectionStatistics* t = DataSetTotalInfo(d, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->minimum, 6.0 * 2 + 1);
    EXPECT_EQ(t->maximum, 101.0 * 2 + 1);
    EXPECT_EQ(DataSetTotalInfo(d, 1), t);  // cached, and whole

    // A channel factor that would overflow saturates.
    d->SelectPosition(0, 0);
    d->zero = 0.0;
    d->scale = 1.0;
    d->channelFactor = 4.0;
    SectionStatistics* raw = DataSetSectionRecord(d, 0, 0, nullptr);
    raw->valid = 1;
    raw->maximum = DBL_MAX / 2;
    raw->minimum = -DBL_MAX / 3;
    t = DataSetTotalInfo(d, 0);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->maximum, DBL_MAX);
    EXPECT_EQ(t->minimum, -DBL_MAX);
    EXPECT_EQ(d->cacheRawMax, DBL_MAX);
    d->Release();
}

TEST_F(SectionAccess, PerFrameTableWithAPartialLastFrame) {
    auto table = std::make_shared<SectionFrameTable>();
    table->totalFrames = 2;
    table->frameCount = 2;
    table->frames = {{3, 0}, {5, 3}};
    table->sections.resize(6);
    table->partialFirst = 2;
    table->partialCount = 3;

    DataSet* d = Describe(Write("t.raw", BigEndianFrames(4, 4, 1)), 4, 4, 1);
    d->frameTable = table;
    d->framesToUse = 2;
    d->Prepare();
    EXPECT_EQ(d->TotalFrames(), 2u);
    // Only entries marked present reach the read kernels.
    EXPECT_EQ(SourceSectionData(d, 1, 3, nullptr), nullptr);
    table->sections[4].stats.valid = 1;
    EXPECT_EQ(SourceSectionData(d, 1, 3, nullptr), &table->sections[4].stats);
    EXPECT_EQ(DataSetSectionRecord(d, 1, 1, nullptr), nullptr);
    // A table held in part counts no sections: the position has none to select, and the
    // statistics kernel refuses its sections as the pages do.
    EXPECT_FALSE(d->SelectPosition(1, 2));
    EXPECT_EQ(d->sectionsInFrame, 0);
    EXPECT_EQ(SectionsInFileFrame(d, 1), 0u);
    // Complete, the position follows the table's section counts.
    table->partialFirst = table->partialCount = 0;
    EXPECT_TRUE(d->SelectPosition(1, 7));
    EXPECT_EQ(std::tuple(d->sectionsInFrame, d->currentFrame, d->currentSection), std::tuple(5, 1, 4));
    EXPECT_EQ(SectionsInFileFrame(d, 1), 5u);
    table->incomplete = true;
    EXPECT_FALSE(d->SelectPosition(0, 0));
    EXPECT_EQ(d->currentSection, 0);
    EXPECT_EQ(SectionsInFileFrame(d, 0), 0u);
    d->Release();
}

TEST_F(SectionAccess, ClampOfTheCurrentFrameAndSection) {
    DataSet* d = Shaped(0x02, 4, 4, 1, 10);
    d->sections = 3;
    auto kept = [&](uint8_t on) { d->cacheValid = d->cacheHasData = on; };
    auto position = [&] { return std::tuple(d->currentFrame, d->currentSection, d->sectionsInFrame); };
    auto flags = [&] { return std::pair(d->cacheValid, d->cacheHasData); };

    // A section equal to the count moves to the last one and forgets the statistics.
    d->currentFrame = 4;
    d->currentSection = 3;
    kept(1);
    EXPECT_TRUE(SourceClampCurrentFrame(d));
    EXPECT_EQ(position(), std::tuple(4, 2, 3));
    EXPECT_EQ(flags(), (std::pair<uint8_t, uint8_t>(0, 0)));
    // Known count: nothing is looked at again.
    kept(1);
    d->currentSection = 9;
    EXPECT_TRUE(SourceClampCurrentFrame(d));
    EXPECT_EQ(position(), std::tuple(4, 9, 3));
    EXPECT_EQ(flags(), (std::pair<uint8_t, uint8_t>(1, 1)));
    // A frame at the logical frame count moves to the last one.
    d->sectionsInFrame = -1;
    d->currentFrame = 10;
    d->currentSection = 1;
    EXPECT_TRUE(SourceClampCurrentFrame(d));
    EXPECT_EQ(position(), std::tuple(9, 1, 3));
    EXPECT_EQ(flags(), (std::pair<uint8_t, uint8_t>(0, 0)));
    // In range: the flags stay.
    d->sectionsInFrame = -1;
    kept(1);
    EXPECT_TRUE(SourceClampCurrentFrame(d));
    EXPECT_EQ(flags(), (std::pair<uint8_t, uint8_t>(1, 1)));
    // Every second frame of ten: five logical frames.
    d->frameStep = 2;
    d->sectionsInFrame = -1;
    d->currentFrame = 7;
    EXPECT_TRUE(SourceClampCurrentFrame(d));
    EXPECT_EQ(d->currentFrame, 4);
    // No sections: section 0, flags cleared, false.
    d->sections = 0;
    d->sectionsInFrame = -1;
    kept(1);
    EXPECT_FALSE(SourceClampCurrentFrame(d));
    EXPECT_EQ(std::tuple(d->currentSection, d->sectionsInFrame), std::tuple(0, 0));
    EXPECT_EQ(flags(), (std::pair<uint8_t, uint8_t>(0, 0)));
    d->Release();
    // No logical frames.
    DataSet* empty = DataSet::Create(MakeFormatTag("TEST"));
    EXPECT_FALSE(SourceClampCurrentFrame(empty));
    empty->Release();
    EXPECT_FALSE(SourceClampCurrentFrame(nullptr));
}

// The statistics of a cube written by astropy (BITPIX 16, BSCALE 2, BZERO 100) in
// physical units, against numpy's over the scaled data; then with a scale and zero
// whose image leaves the double range.
class TotalInfo : public DataSetFixture {};

TEST_F(TotalInfo, PhysicalUnitsAgainstNumpy) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits'")) GTEST_SKIP() << "astropy not installed";
    const std::string path = folder.File("scaled_cube.fits");
    int status = -1;
    const std::string out = testing_io::RunCommand(
        ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits\n"
        "rng = np.random.default_rng(5)\n"
        "stored = rng.integers(-300, 300, size=(3, 48, 64), dtype=np.int16)\n"
        "h = fits.PrimaryHDU(stored); h.header['BSCALE'] = 2; h.header['BZERO'] = 100\n"
        "h.writeto('" + path + "')\n"
        "v = fits.getdata('" + path + "').astype(np.float64)\n"
        "for f in range(3): print(repr(v[f].min()), repr(v[f].max()), repr(v[f].mean()), repr(v[f].sum()))\"",
        &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    testing_io::BuiltinFormats formats;
    testing_io::KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &keep), 2);
    DataSet* d = keep.kept;
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(std::pair(d->scale, d->zero), std::pair(2.0, 100.0));
    for (int32_t f = 0; f < 3; ++f) {
        double lo, hi, mean, sum;
        ASSERT_TRUE(lines >> lo >> hi >> mean >> sum);
        d->SelectPosition(f, 0);
        const SectionStatistics* t = DataSetTotalInfo(d, 1);
        ASSERT_NE(t, nullptr) << f;
        EXPECT_EQ(t->count, 3072u);
        EXPECT_EQ(std::pair(t->minimum, t->maximum), std::pair(lo, hi)) << f;
        EXPECT_NEAR(t->mean, mean, 1e-12 * std::fabs(mean) + 1e-12) << f;
        EXPECT_NEAR(t->total, sum, 1e-12 * std::fabs(sum)) << f;
    }
    // Scale 1e308 and zero 1e308: every location of these samples leaves the range on
    // the positive side and stops at DBL_MAX; none becomes infinite.
    d->scale = 1e308;
    d->zero = 1e308;
    d->cacheValid = 0;
    const SectionStatistics* t = DataSetTotalInfo(d, 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->maximum, DBL_MAX);
    for (double v : {t->minimum, t->maximum, t->mean, t->deviation, t->total})
        EXPECT_TRUE(std::isfinite(v)) << v;
    EXPECT_EQ(t->deviation, DBL_MAX);
    EXPECT_LE(t->minimum, t->maximum);
}

// The spread of data far from zero, as astropy writes it (64-bit reals), against numpy's
// sample deviation: no cancellation for offsets up to 1e12 with spreads of 1e-6 of them.
TEST_F(TotalInfo, SpreadsFarFromZeroAgainstNumpy) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits'")) GTEST_SKIP() << "astropy not installed";
    const std::string path = folder.File("offsets.fits");
    int status = -1;
    const std::string out = testing_io::RunCommand(
        ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits\n"
        "rng = np.random.default_rng(9)\n"
        "cases = [(0, 1), (1e6, 1), (1e8, 1e-2), (1e8, 100), (1e12, 1e6), (-1e12, 2e6)]\n"
        "cube = np.array([o + s * rng.standard_normal((40, 50)) for o, s in cases])\n"
        "fits.PrimaryHDU(cube).writeto('" + path + "')\n"
        "for f in cube: print(repr(f.mean()), repr(f.std(ddof=1)))\"",
        &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    testing_io::BuiltinFormats formats;
    testing_io::KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &keep), 2);
    DataSet* d = keep.kept;
    ASSERT_NE(d, nullptr);
    for (int32_t f = 0; f < 6; ++f) {
        double mean, sigma;
        ASSERT_TRUE(lines >> mean >> sigma);
        d->SelectPosition(f, 0);
        const SectionStatistics* t = DataSetTotalInfo(d, 1);
        ASSERT_NE(t, nullptr) << f;
        EXPECT_NEAR(t->mean, mean, 1e-15 * std::fabs(mean) + 1e-12 * sigma) << f;
        EXPECT_NEAR(t->deviation, sigma, 1e-9 * sigma) << f;
    }
}

}  // namespace
}  // namespace orva
