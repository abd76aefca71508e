// Missing-sample runs: building them from rows of samples, the block they
// live in, and the three ways of filling them.
#include "reduction/kernels/slice_runs.h"

#include <gtest/gtest.h>

#include <vector>

#include "shapes/result_code_error.h"

namespace orva {
namespace {

constexpr double kGap = kMissingSample;

std::vector<std::pair<uint32_t, uint32_t>> Runs(const MissingRunList& list, uint32_t record) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    const MissingRunRecord& r = list.Record(record);
    for (uint32_t i = 0; i < r.count; ++i) out.emplace_back(r.runs[i].start, r.runs[i].end);
    return out;
}

TEST(MissingRunsTest, RunsOfEveryRowAndTheWhollyMissingFlag) {
    MissingRunList list;
    bool all = true;
    // Row 0: runs inside and at the end (closed at n); row 1: wholly missing; row 2: none.
    const std::vector<double> rows = {kGap, 1,  kGap, kGap, 2, kGap, kGap, kGap, kGap,
                                      kGap, kGap, kGap, 1,  2, 3,  4,  5,  6};
    ASSERT_TRUE(BuildMissingRuns(&list, rows.data(), 6, 3, &all));
    EXPECT_FALSE(all);
    ASSERT_EQ(list.RecordCount(), 3u);
    using R = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(Runs(list, 0), (R{{0, 1}, {2, 4}, {5, 6}}));
    EXPECT_EQ(Runs(list, 1), (R{{0, 6}}));
    EXPECT_EQ(Runs(list, 2), R{});
    EXPECT_EQ(list.Record(2).runs, nullptr);
    EXPECT_EQ(list.RunsInUse(), 4u);

    // Every row wholly missing.
    const std::vector<double> missing(8, kGap);
    ASSERT_TRUE(BuildMissingRuns(&list, missing.data(), 4, 2, &all));
    EXPECT_TRUE(all);
    EXPECT_EQ(Runs(list, 1), (R{{0, 4}}));
}

TEST(MissingRunsTest, AListWithoutRunsEndsEmptyAndGivesBackALargeBlock) {
    MissingRunList list;
    bool all = true;
    std::vector<double> row(5000, 1.0);
    ASSERT_TRUE(BuildMissingRuns(&list, row.data(), 5000, 1, &all));
    EXPECT_EQ(std::tuple(all, list.RecordCount(), list.RunsInUse(), list.Capacity()),
              std::tuple(false, 0u, 0u, 0u));
    // A small block stays for the next rows.
    row.resize(10);
    ASSERT_TRUE(BuildMissingRuns(&list, row.data(), 10, 1, &all));
    EXPECT_EQ(list.Capacity(), 5u);
}

TEST(MissingRunsTest, ABlockMostlyUnusedIsCompacted) {
    MissingRunList list;
    bool all = true;
    // Two rows of 40,000 reserve 20,000 pairs each: 40,000 pairs for 3 runs.
    std::vector<double> rows(80000, 1.0);
    rows[7] = rows[40000 + 2] = rows[79999] = kGap;
    ASSERT_TRUE(BuildMissingRuns(&list, rows.data(), 40000, 2, &all));
    EXPECT_EQ(std::tuple(list.RunsInUse(), list.Capacity()), std::tuple(3u, 3u));
    using R = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(Runs(list, 0), (R{{7, 8}}));
    EXPECT_EQ(Runs(list, 1), (R{{2, 3}, {39999, 40000}}));
    // Fewer than 8,192 unused pairs: no compaction.
    std::vector<double> small(2 * 8000, 1.0);
    small[0] = kGap;
    ASSERT_TRUE(BuildMissingRuns(&list, small.data(), 8000, 2, &all));
    EXPECT_EQ(std::tuple(list.RunsInUse(), list.Capacity()), std::tuple(1u, 8000u));
}

TEST(MissingRunsTest, AnAllocationFailureLeavesAnEmptyList) {
    MissingRunList list;
    bool all = true;
    std::vector<double> row(3000, kGap);
    row[5] = 1.0;
    GlobalBufferRefuseBlocksForTest(2);
    EXPECT_FALSE(BuildMissingRuns(&list, row.data(), 3000, 1, &all));
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_EQ(std::tuple(all, list.RecordCount(), list.RunsInUse()), std::tuple(false, 0u, 0u));
    // A record past the last raises the invalid-argument code.
    list.Reset(1, 2, 2);
    EXPECT_EQ(CatchResultCode([&] { list.NextRecord(2); }), 0u);
    EXPECT_EQ(CatchResultCode([&] { list.NextRecord(2); }), kResultInvalidArg);
}

TEST(MissingRunsTest, GrowingKeepsTheRunsOfEveryRecord) {
    MissingRunList list;
    list.Reset(3, 1, 1);
    MissingRunRecord* a = list.NextRecord(1);
    a->runs[0] = MissingRun{1, 2};
    a->count = 1;
    list.CloseRecord(a);
    MissingRunRecord* b = list.NextRecord(3);  // the block grows: a's run is copied
    b->runs[0] = MissingRun{4, 6};
    b->runs[1] = MissingRun{7, 9};
    b->count = 2;
    list.CloseRecord(b);
    MissingRunRecord* c = list.NextRecord(2);
    list.CloseRecord(c);
    list.Finish();
    using R = std::vector<std::pair<uint32_t, uint32_t>>;
    EXPECT_EQ(Runs(list, 0), (R{{1, 2}}));
    EXPECT_EQ(Runs(list, 1), (R{{4, 6}, {7, 9}}));
    EXPECT_EQ(Runs(list, 2), R{});
    EXPECT_EQ(list.RunsInUse(), 3u);
}

// One row filled by a mode: 0 constant, 1 neighbours, 2 linear.
std::vector<double> Filled(std::vector<double> row, int mode, uint32_t maxGap,
                           bool* result = nullptr) {
    MissingRunList list;
    bool all = false;
    EXPECT_TRUE(BuildMissingRuns(&list, row.data(), static_cast<uint32_t>(row.size()), 1, &all));
    const auto n = static_cast<uint32_t>(row.size());
    bool r = false;
    if (mode == 0) r = FillMissingConstant(list, row.data(), n, 1, -7.0);
    if (mode == 1) r = FillMissingNeighbour(list, row.data(), n, 1, -7.0);
    if (mode == 2) r = FillMissingLinear(list, row.data(), n, 1, maxGap, -7.0);
    if (result != nullptr) *result = r;
    return row;
}

TEST(MissingRunsTest, FillingByEachMode) {
    using V = std::vector<double>;
    const V gap3 = {1, 10, kGap, kGap, kGap, 50, 2};
    const V gap5 = {10, kGap, kGap, kGap, kGap, kGap, 50};
    const V ends = {kGap, kGap, 4, 5, kGap};
    struct Case {
        V row;
        int mode;
        V want;
    } cases[] = {
        {gap3, 2, {1, 10, 20, 30, 40, 50, 2}},
        {gap5, 2, {10, -7, -7, -7, -7, -7, 50}},
        {{3, kGap, kGap, 3}, 2, {3, 3, 3, 3}},
        {gap3, 1, {1, 10, 30, 30, 30, 50, 2}},
        {gap3, 0, {1, 10, -7, -7, -7, 50, 2}},
        {ends, 0, {-7, -7, 4, 5, -7}},
        {ends, 1, {4, 4, 4, 5, 5}},
        {ends, 2, {4, 4, 4, 5, 5}},
    };
    for (const Case& c : cases) EXPECT_EQ(Filled(c.row, c.mode, 4), c.want) << c.mode;

    // A wholly missing row takes the fill value in every mode and counts.
    for (int mode = 0; mode < 3; ++mode) {
        bool result = true;
        EXPECT_EQ(Filled({kGap, kGap, kGap}, mode, 4, &result), (V{-7, -7, -7}));
        EXPECT_FALSE(result);
    }
    // Of two rows one wholly missing: fewer than processed, true.
    std::vector<double> rows = {kGap, kGap, 1, kGap};
    MissingRunList list;
    bool all = false;
    ASSERT_TRUE(BuildMissingRuns(&list, rows.data(), 2, 2, &all));
    EXPECT_TRUE(FillMissingLinear(list, rows.data(), 2, 2, 4, 0.0));
    EXPECT_EQ(rows, (V{0, 0, 1, 1}));
}

}  // namespace
}  // namespace orva
