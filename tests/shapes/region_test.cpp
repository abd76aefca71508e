#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "region_test_support.h"
#include "shapes/geometry/region.h"

namespace orva {
namespace {

using shape_testing::Banded;
using shape_testing::Bitmap;
using shape_testing::Describe;
using shape_testing::PixelsOf;
using shape_testing::Rects;
using shape_testing::RectLimit;
using shape_testing::SetRects;

// The banded region of a bitmap, built row by row without the band merge.
void RegionFromBitmap(Bitmap& bits, Region* r) {
    std::vector<RegionRect> rects;
    size_t prevStart = 0, prevCount = 0;
    for (int y = bits.y0_; y < bits.y0_ + bits.h_; ++y) {
        std::vector<RegionRect> row;
        for (int x = bits.x0_; x < bits.x0_ + bits.w_;) {
            if (!bits.At(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            while (end < bits.x0_ + bits.w_ && bits.At(end, y)) ++end;
            row.push_back({x, y, end, y + 1});
            x = end;
        }
        bool join = !row.empty() && prevCount == row.size() && rects[prevStart].y1 == y;
        for (size_t k = 0; join && k < row.size(); ++k)
            join = rects[prevStart + k].x0 == row[k].x0 && rects[prevStart + k].x1 == row[k].x1;
        if (join) {
            for (size_t k = 0; k < row.size(); ++k) rects[prevStart + k].y1 = y + 1;
        } else if (!row.empty()) {
            prevStart = rects.size();
            prevCount = row.size();
            rects.insert(rects.end(), row.begin(), row.end());
        }
    }
    SetRects(r, rects);
}

TEST(RegionTest, UnionAndDifferenceCasesGiveTheirRectanglesAndBoxes) {
    struct Case {
        bool unite;
        std::vector<RegionRect> a, b, want;
        RegionRect box;
    } cases[] = {
        {true, {{0, 0, 10, 1}}, {{0, 1, 10, 2}}, {{0, 0, 10, 2}}, {0, 0, 10, 2}},
        {true, {{0, 0, 5, 1}}, {{5, 0, 10, 1}}, {{0, 0, 10, 1}}, {0, 0, 10, 1}},
        {false, {{0, 0, 10, 1}}, {{3, 0, 6, 1}}, {{0, 0, 3, 1}, {6, 0, 10, 1}}, {0, 0, 10, 1}},
        // A union's box is the union of the boxes; a difference's the exact box.
        {true, {{0, 0, 2, 2}}, {{5, 4, 6, 6}}, {{0, 0, 2, 2}, {5, 4, 6, 6}}, {0, 0, 6, 6}},
        {false, {{0, 0, 10, 3}}, {{0, 0, 10, 1}, {0, 2, 4, 3}}, {{0, 1, 10, 2}, {4, 2, 10, 3}}, {0, 1, 10, 3}},
        // One rectangle holding the other's box is the union as it is.
        {true, {{0, 0, 10, 10}}, {{2, 2, 3, 3}, {5, 5, 6, 6}}, {{0, 0, 10, 10}}, {0, 0, 10, 10}},
        {true, {{2, 2, 3, 3}, {5, 5, 6, 6}}, {{0, 0, 10, 10}}, {{0, 0, 10, 10}}, {0, 0, 10, 10}},
        {true, {}, {}, {}, {0, 0, 0, 0}},
        {false, {}, {{0, 0, 1, 1}}, {}, {0, 0, 0, 0}},
        {false, {{0, 0, 4, 4}}, {{4, 0, 5, 4}}, {{0, 0, 4, 4}}, {0, 0, 4, 4}},
        {false, {{0, 0, 4, 4}}, {{0, 0, 4, 4}}, {}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.a) + (c.unite ? " + " : " - ") + Describe(c.b));
        Region a, b, out;
        SetRects(&a, c.a);
        SetRects(&b, c.b);
        ASSERT_TRUE(c.unite ? RegionUnion(&out, a, b) : RegionSubtract(&out, a, b));
        EXPECT_EQ(Describe(Rects(out)), Describe(c.want));
        EXPECT_TRUE(out.box == c.box) << Describe({out.box});
        // In place, into the first operand.
        ASSERT_TRUE(c.unite ? RegionUnion(&a, a, b) : RegionSubtract(&a, a, b));
        EXPECT_EQ(Describe(Rects(a)), Describe(c.want));
    }
    // Uniting with itself or with nothing, in place, leaves the region as it is.
    Region a, none;
    SetRects(&a, {{0, 0, 3, 1}, {5, 0, 6, 1}, {0, 1, 6, 4}});
    const RegionRect* block = a.rects;
    ASSERT_TRUE(RegionUnion(&a, a, a));
    ASSERT_TRUE(RegionUnion(&a, a, none));
    ASSERT_TRUE(RegionSubtract(&a, a, none));
    EXPECT_EQ(a.rects, block);
    EXPECT_EQ(a.count, 3u);
}

TEST(RegionTest, RandomUnionsAndDifferencesMatchADenseBitmap) {
    std::mt19937 rng(1234);
    auto coin = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        Bitmap ba(-4, -4, 40, 40), bb(-4, -4, 40, 40);
        // A few blocks, and rows of noise, so that bands split and join.
        for (Bitmap* bm : {&ba, &bb}) {
            int blocks = 1 + static_cast<int>(rng() % 6);
            for (int k = 0; k < blocks; ++k) {
                int x = -4 + static_cast<int>(rng() % 36), y = -4 + static_cast<int>(rng() % 36);
                int w = 1 + static_cast<int>(rng() % 12), h = 1 + static_cast<int>(rng() % 12);
                bm->Fill(RegionRect{x, y, std::min(x + w, 36), std::min(y + h, 36)});
            }
            if (coin(30))
                for (int y = -4; y < 36; ++y)
                    for (int x = -4; x < 36; ++x)
                        if (coin(10)) bm->At(x, y) = 1;
        }
        Region a, b;
        RegionFromBitmap(ba, &a);
        RegionFromBitmap(bb, &b);
        if (coin(5)) a.Free();

        Bitmap orBits(-4, -4, 40, 40), notBits(-4, -4, 40, 40);
        orBits.Fill(a);
        orBits.Fill(b);
        notBits.Fill(a);
        for (const RegionRect& r : b)
            for (int y = r.y0; y < r.y1; ++y)
                for (int x = r.x0; x < r.x1; ++x) notBits.At(x, y) = 0;

        Region u, d, uA, uB, dA;
        ASSERT_TRUE(RegionUnion(&u, a, b));
        ASSERT_TRUE(RegionSubtract(&d, a, b));
        EXPECT_EQ(PixelsOf(u), orBits.Pixels());
        EXPECT_EQ(PixelsOf(d), notBits.Pixels());
        // The inputs have exact boxes, so the union's box (theirs united) is exact too.
        EXPECT_TRUE(Banded(u));
        EXPECT_TRUE(Banded(d));

        // In place into A and into B give the same rectangles.
        RegionCopy(&uA, a);
        RegionCopy(&uB, b);
        RegionCopy(&dA, a);
        ASSERT_TRUE(RegionUnion(&uA, uA, b));
        ASSERT_TRUE(RegionUnion(&uB, a, uB));
        ASSERT_TRUE(RegionSubtract(&dA, dA, b));
        EXPECT_EQ(Describe(Rects(uA)), Describe(Rects(u)));
        EXPECT_EQ(Describe(Rects(uB)), Describe(Rects(u)));
        EXPECT_EQ(Describe(Rects(dA)), Describe(Rects(d)));
    }
}

TEST(RegionTest, AMergeShrinksOnlyLargeBlocksThatAreLessThanHalfUsed) {
    // One rectangle per row, alternating columns so that no rows join.
    auto stairs = [](uint32_t rows, Region* r) {
        ASSERT_TRUE(r->ReserveExact(rows));
        for (uint32_t y = 0; y < rows; ++y) {
            const int32_t x = static_cast<int32_t>(y % 2), yy = static_cast<int32_t>(y);
            r->rects[r->count++] = RegionRect{x, yy, x + 1, yy + 1};
        }
        r->RecomputeBox();
    };
    struct Case {
        uint32_t rows;
        int32_t cutRows;    // rows 0 .. cutRows - 1 are taken away
        uint32_t capacity;  // after the merge
    } cases[] = {
        {kRegionShrinkAbove + 8, kRegionShrinkAbove + 6, 3},  // 2 left of 0x80008: max(2, 3)
        {kRegionShrinkAbove + 8, static_cast<int32_t>(kRegionShrinkAbove + 8), 0},  // nothing left: freed
        {kRegionShrinkAbove + 8, 10, kRegionShrinkAbove + 8},  // more than half used
        {kRegionShrinkAbove, static_cast<int32_t>(kRegionShrinkAbove) - 2, kRegionShrinkAbove},  // not above
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rows);
        Region a, cut, out;
        stairs(c.rows, &a);
        SetRects(&cut, {{0, 0, 2, c.cutRows}});
        ASSERT_TRUE(RegionSubtract(&out, a, cut));
        EXPECT_EQ(out.count, c.rows - static_cast<uint32_t>(c.cutRows));
        EXPECT_EQ(out.capacity, c.capacity);
        EXPECT_EQ(out.block == nullptr, c.capacity == 0);
    }
}

TEST(RegionTest, ARefusedBlockLeavesAnEmptyResultAndAnswersFalse) {
    Region a, b, out;
    SetRects(&a, {{0, 0, 1, 1}, {0, 2, 1, 3}, {0, 4, 1, 5}});
    SetRects(&b, {{2, 1, 3, 2}, {2, 3, 3, 4}, {2, 5, 3, 6}});
    Region hole;
    SetRects(&hole, {{1, 0, 2, 1}});
    Region wide;
    SetRects(&wide, {{0, 0, 3, 1}});
    {
        RectLimit limit(4);
        EXPECT_FALSE(RegionUnion(&out, a, b));  // six rectangles needed
        EXPECT_EQ(out.count, 0u);
        EXPECT_TRUE(out.box == (RegionRect{0, 0, 0, 0}));
        EXPECT_FALSE(RegionUnion(&a, a, b));  // in place: the operand is emptied
        EXPECT_EQ(a.count, 0u);
        EXPECT_EQ(Region::New(5), nullptr);
        EXPECT_FALSE(out.ReserveExact(5));
        // Splitting one rectangle in two fits.
        EXPECT_TRUE(RegionSubtract(&out, wide, hole));
        EXPECT_EQ(out.count, 2u);
    }
    std::unique_ptr<Region, void (*)(Region*)> heap(Region::New(5), [](Region* r) { r->Release(); });
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->flags & kRegionHeapFlag, kRegionHeapFlag);
    EXPECT_EQ(heap->capacity, 5u);
}

// ---- Values under a mask ----------------------------------------------------------

struct Frame {
    FrameBox box;
    uint32_t channels = 1;
    std::vector<double> values;
};

TEST(RegionTest, MinMaxGivesTheMomentsOfTheValuesUnderTheMask) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> ramp;
    for (int k = 0; k < 1000; ++k) ramp.push_back(1e9 + k);
    struct Case {
        const char* name;
        Frame frame;
        std::vector<RegionRect> rects;
        int32_t originX, originY;
        uint8_t skipBlank;
        bool ok;
        double minimum, maximum, mean, sigma;
        uint32_t count;
    } cases[] = {
        {"two values", {{0, 0, 2, 1}, 1, {2, 6}}, {{0, 0, 2, 1}}, 0, 0, 0, true, 2, 6, 4, 2, 2},
        {"three values", {{0, 0, 3, 1}, 1, {1, 2, 3}}, {{0, 0, 3, 1}}, 0, 0, 0, true, 1, 3, 2, 1, 3},
        // numpy: v = 1e9 + arange(1000); v.mean(), v.std(ddof=1)
        {"large mean", {{0, 0, 1000, 1}, 1, ramp}, {{0, 0, 1000, 1}}, 0, 0, 0, true, 1e9, 1e9 + 999,
         1000000499.5, 288.8194360957494, 1000},
        {"NaN is not counted", {{0, 0, 4, 1}, 1, {1, nan, 2, 3}}, {{0, 0, 4, 1}}, 0, 0, 0, true, 1, 3, 2, 1, 3},
        {"NaN first", {{0, 0, 4, 1}, 1, {nan, 1, 2, 3}}, {{0, 0, 4, 1}}, 0, 0, 1, true, 1, 3, 2, 1, 3},
        {"blanks skipped", {{0, 0, 4, 1}, 1, {-DBL_MAX, 1, 2, 3}}, {{0, 0, 4, 1}}, 0, 0, 1, true, 1, 3, 2, 1, 3},
        {"all blank", {{0, 0, 2, 1}, 1, {-DBL_MAX, -DBL_MAX}}, {{0, 0, 2, 1}}, 0, 0, 1, false, 0, 0, 0, 0, 0},
        {"outside", {{0, 0, 2, 1}, 1, {1, 2}}, {{5, 0, 7, 1}}, 0, 0, 0, false, 0, 0, 0, 0, 0},
        // Two channels side by side; the region at origin (10, 20) over a frame at
        // (9, 19): rectangle (0, 0, 1, 2) covers frame pixels (1, 1) and (1, 2).
        {"channels and origins",
         {{9, 19, 2, 3}, 2, {0, 0, 0, 0, 0, 0, 10, 11, 0, 0, 12, 13}},
         {{0, 0, 1, 2}},
         10,
         20,
         0,
         true,
         10,
         13,
         11.5,
         1.2909944487358056,
         4},
        // Frame positions are 64-bit: 2^32 + 1 away is far outside, not one pixel left.
        {"64-bit frame", {{int64_t{1} << 32 | 1, 0, 4, 1}, 1, {1, 2, 3, 4}}, {{-1, 0, 3, 1}}, 0, 0, 0, false,
         0, 0, 0, 0, 0},
        {"too large to square", {{0, 0, 3, 1}, 1, {-1e154, 0, 1e154}}, {{0, 0, 3, 1}}, 0, 0, 0, false, 0, 0, 0,
         0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShapeRegion region;
        SetRects(&region, c.rects);
        region.originX = c.originX;
        region.originY = c.originY;
        RegionStats stats;
        ASSERT_EQ(RegionMinMax(region, c.frame.box, c.frame.values.data(), c.frame.channels, c.skipBlank, &stats),
                  c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(stats.minimum, c.minimum);
        EXPECT_EQ(stats.maximum, c.maximum);
        EXPECT_EQ(stats.count, c.count);
        EXPECT_NEAR(stats.mean, c.mean, 1e-12 * std::fabs(c.mean));
        EXPECT_NEAR(stats.sigma, c.sigma, 1e-9 * c.sigma);
        EXPECT_NEAR(stats.sum, c.mean * c.count, 1e-12 * std::fabs(c.mean * c.count));
    }
    ShapeRegion empty;
    RegionStats stats;
    double one = 1.0;
    EXPECT_FALSE(RegionMinMax(empty, FrameBox{0, 0, 1, 1}, &one, 1, 0, &stats));
}

TEST(RegionTest, AbsoluteBoxAddsTheOriginInSixtyFourBits) {
    ShapeRegion r;
    SetRects(&r, {{-5, 2, 7, 9}});
    r.originX = 2147483647;
    r.originY = -2147483647 - 1;
    FrameBox box;
    r.AbsoluteBox(&box);
    EXPECT_EQ(box.x, 2147483642);
    EXPECT_EQ(box.y, -2147483646LL);
    EXPECT_EQ(box.width, 12u);
    EXPECT_EQ(box.height, 7u);
}

}  // namespace
}  // namespace orva
