#include "io/frame_access.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "data_set_fixture.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;

TEST(FrameAccess, MapFrameByStep) {
    struct Case {
        int32_t step;
        uint32_t frames;
        int64_t logical;
        uint32_t file;
    };
    const Case cases[] = {
        {3, 10, 0, 0},  {3, 10, 1, 3},   {3, 10, 2, 6},   {3, 10, 3, 9},  {3, 10, 4, 9},
        {-3, 10, 0, 9}, {-3, 10, 1, 6},  {-3, 10, 2, 3},  {-3, 10, 3, 0}, {-3, 10, 4, 0},
        {-1, 5, 0, 4},  {-1, 5, 1, 3},   {-1, 5, 4, 0},   {-2, 10, 0, 9}, {-2, 10, 1, 7},
        {1, 5, 2, 2},   {0, 5, 2, 2},    {1, 0, 0, 0},    {2, 5, -1, 0},
        {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFE, 0x7FFFFFFE},
        {-0x7FFFFFFF, 0x7FFFFFFF, 1, 0},
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
    table->frames = {{3, 0}, {3, 3}};
    table->sections.resize(6);
    table->partialFirst = 2;
    table->partialCount = 3;
    // (frame, section) and the entry it finds (-1: none).
    const int lookups[][3] = {{1, 1, -1}, {1, 2, 3}, {1, 3, 4}, {1, 5, -1}, {0, 2, 2}, {0, 3, -1}, {2, 0, -1}};
    for (const auto& l : lookups)
        EXPECT_EQ(FrameTableSectionRecord(table.get(), l[0], l[1]), l[2] < 0 ? nullptr : &table->sections[l[2]])
            << l[0] << "," << l[1];

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
    // The position follows the table's section counts.
    EXPECT_TRUE(d->SelectPosition(1, 2));
    EXPECT_EQ(d->sectionsInFrame, 3);
    table->incomplete = true;
    EXPECT_FALSE(d->SelectPosition(0, 0));
    EXPECT_EQ(d->currentSection, 0);
    d->Release();
}

}  // namespace
}  // namespace orva
