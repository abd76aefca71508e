#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "region_test_support.h"
#include "shape_test_support.h"
#include "shapes/geometry/scan_convert.h"

#ifdef ORVA_HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace orva {
namespace {

using shape_testing::Banded;
using shape_testing::Describe;
using shape_testing::PixelCount;
using shape_testing::Pixel;
using shape_testing::PixelsOf;
using shape_testing::Rects;
using shape_testing::RectLimit;

// The rows of a region as (y, x0, x1), one per pixel row and rectangle.
std::vector<std::array<int, 3>> Rows(const Region& r) {
    std::vector<std::array<int, 3>> rows;
    for (const RegionRect& rect : r)
        for (int y = rect.y0; y < rect.y1; ++y) rows.push_back({y, rect.x0, rect.x1});
    std::sort(rows.begin(), rows.end());
    return rows;
}

// An anchor list of the points (x, y pairs).
struct AnchorList : AnchorBuffer {
    AnchorList(std::initializer_list<float> xy) {
        std::vector<float> v(xy);
        SetPoints(v.data(), static_cast<uint32_t>(v.size() / 2));
    }
};

// The mask as the midpoint walk describes it: every emitted row, and the
// middle rectangle, united into the region one at a time.
void LiteralEllipse(Region* out, int left, int top, int right, int bottom, int w, int h) {
    out->Free();
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    w = std::min(std::abs(w), right - left);
    h = std::min(std::abs(h), bottom - top);
    auto add = [&](int64_t l, int64_t r, int64_t y0, int64_t y1) {
        if (l >= r || y0 >= y1) return;
        Region row;
        shape_testing::SetRects(&row, {{int(l), int(y0), int(r), int(y1)}});
        ASSERT_TRUE(RegionUnion(out, *out, row));
    };
    if (w < 2 || h < 2) {
        add(left, right, top, bottom);
        return;
    }
    int64_t a = w >> 1, b = h >> 1, asq = a * a, bsq = b * b, he = h & ~1;
    int64_t d = (asq >> 2) - asq * b + bsq, xd = 0, yd = asq * he, l = left + a, r = right - a;
    int64_t t = top, bt = bottom;
    while (xd < yd) {
        if (d > 0) {
            add(l, r, t, t + 1), ++t;
            add(l, r, bt - 1, bt), --bt;
            yd -= 2 * asq;
            d -= yd;
        }
        --l, ++r;
        xd += b * he;
        d += bsq + xd;
    }
    d += ((asq - bsq) * 3 / 2 - xd - yd) / 2;
    while (yd >= 0) {
        add(l, r, t, t + 1), ++t;
        add(l, r, bt - 1, bt), --bt;
        if (d < 0) --l, ++r, xd += 2 * bsq, d += xd;
        yd -= 2 * asq;
        d += asq - yd;
    }
    add(l, r, t, bt);
}

TEST(ScanConvertTest, ShapesGiveThePixelsOfTheirRules) {
    ShapeHeader header;
    ShapeRegion r;
    // A two-anchor Rect: corners floored.
    ASSERT_TRUE(PolygonShapeRegion(&r, AnchorList({0.3f, 0.3f, 5.7f, 5.7f}), header));
    EXPECT_EQ(Describe(Rects(r)), "(0,0,5,5)");
    EXPECT_EQ(r.ShapeCode(), kRegionCodeRect);
    // AnchorList that floor to the same x give nothing.
    ASSERT_TRUE(PolygonShapeRegion(&r, AnchorList({0.2f, 0.0f, 0.7f, 5.0f}), header));
    EXPECT_EQ(r.count, 0u);
    ASSERT_TRUE(PolygonShapeRegion(&r, AnchorList({0.2f, 1.0f, 3.7f, 1.4f, 2.0f, 1.9f}), header));
    EXPECT_EQ(r.count, 0u);
    // A triangle: left and top edges inside, right and bottom outside.
    ASSERT_TRUE(PolygonShapeRegion(&r, AnchorList({0, 0, 4, 0, 0, 4}), header));
    EXPECT_EQ(Describe(Rects(r)), "(0,0,4,1)(0,1,3,2)(0,2,2,3)(0,3,1,4)");
    EXPECT_EQ(r.ShapeCode(), kRegionCodePolygon);
    // An axis-parallel rectangle of four anchors is its box; the origin and k move it.
    r.floatOriginX = 1.0f;
    r.floatOriginY = -1.0f;
    header.subpix = 2;
    ASSERT_TRUE(PolygonShapeRegion(&r, AnchorList({1, 1, 3, 1, 3, 2, 1, 2}), header));
    EXPECT_EQ(Describe(Rects(r)), "(0,4,4,6)");
    header.subpix = 1;
    r.floatOriginX = r.floatOriginY = 0.0f;

    // The inscribed ellipse of the box (0, 0, 10, 10).
    ASSERT_TRUE(EllipseRegion(&r, 0, 0, 10, 10, 10, 10));
    EXPECT_EQ(Describe(Rects(r)), "(3,0,7,1)(2,1,8,2)(1,2,9,3)(0,3,10,7)(1,7,9,8)(2,8,8,9)(3,9,7,10)");
    EXPECT_EQ(PixelCount(r), 76u);
    EXPECT_EQ(r.ShapeCode(), kRegionCodeElliptic);
    // Boxes lower or narrower than 2 are the plain box; an empty one gives nothing.
    ASSERT_TRUE(EllipseRegion(&r, 3, 2, 4, 9, 1, 7));
    EXPECT_EQ(Describe(Rects(r)), "(3,2,4,9)");
    ASSERT_TRUE(EllipseRegion(&r, 3, 2, 3, 9, 0, 7));
    EXPECT_EQ(r.count, 0u);

    // The ellipse box: corners ordered first, the smaller floored, the larger ceiled.
    ShapeRegion forward, backward;
    ASSERT_TRUE(EllipseShapeRegion(&forward, AnchorList({0.5f, 0.5f, 10.5f, 10.5f}), header));
    ASSERT_TRUE(EllipseShapeRegion(&backward, AnchorList({10.5f, 10.5f, 0.5f, 0.5f}), header));
    EXPECT_TRUE(forward.box == (RegionRect{0, 0, 11, 11}));
    EXPECT_EQ(Describe(Rects(forward)), Describe(Rects(backward)));
    forward.floatOriginX = 20.0f;  // relative coordinates below zero floor, not truncate
    ASSERT_TRUE(EllipseShapeRegion(&forward, AnchorList({10.5f, 0.0f, 13.0f, 4.0f}), header));
    EXPECT_TRUE(forward.box == (RegionRect{-10, 0, -7, 4}));

    // The staircase contour of one rectangle.
    AnchorBuffer outline;
    shape_testing::SetRects(&r, {{0, 0, 4, 3}});
    ASSERT_TRUE(RegionOutline(r, &outline));
    ASSERT_EQ(outline.Count(), 4u);
    EXPECT_EQ(std::vector<float>(outline.Points(), outline.Points() + 8),
              (std::vector<float>{4, 0, 4, 3, 0, 3, 0, 0}));
    r.Free();
    EXPECT_FALSE(RegionOutline(r, &outline));
    EXPECT_EQ(outline.Count(), 0u);
}

TEST(ScanConvertTest, TheLargeCircleHasItsAreaAndBothSymmetries) {
    Region r;
    ASSERT_TRUE(EllipseRegion(&r, 0, 0, 2000, 2000, 2000, 2000));
    EXPECT_EQ(PixelCount(r), 3140404u);  // pi r^2 = 3141592.7
    EXPECT_TRUE(Banded(r));
    EXPECT_TRUE(r.box == (RegionRect{0, 0, 2000, 2000}));
    auto rows = Rows(r);
    ASSERT_EQ(rows.size(), 2000u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][1] + rows[i][2], 2000) << "row " << i;       // left-right
        EXPECT_EQ(rows[i][1], rows[1999 - i][1]) << "row " << i;       // top-bottom
    }
}

TEST(ScanConvertTest, TheEllipseEqualsTheRowByRowUnion) {
    Region fast, literal;
    auto same = [&](int l, int t, int r, int b, int w, int h) {
        ASSERT_TRUE(EllipseRegion(&fast, l, t, r, b, w, h));
        LiteralEllipse(&literal, l, t, r, b, w, h);
        ASSERT_EQ(Describe(Rects(fast)), Describe(Rects(literal))) << l << " " << t << " " << r << " " << b
                                                                     << " " << w << " " << h;
        ASSERT_TRUE(fast.box == literal.box);
        ASSERT_TRUE(Banded(fast));
    };
    for (int w = 0; w <= 64; ++w)
        for (int h = 0; h <= 64; ++h) same(-3, 5, w - 3, h + 5, w, h);
    std::mt19937 rng(99);
    for (int i = 0; i < 300; ++i) {
        int w = static_cast<int>(rng() % 700), h = static_cast<int>(rng() % 700);
        int x = static_cast<int>(rng() % 2000) - 1000, y = static_cast<int>(rng() % 2000) - 1000;
        // Full ellipses, and rectangles with rounded corners of any smaller size.
        int ew = i % 2 ? w : static_cast<int>(rng() % (w + 1)), eh = i % 2 ? h : static_cast<int>(rng() % (h + 1));
        same(x + w, y, x, y + h, ew, -eh);
    }
    RectLimit limit(40);
    EXPECT_FALSE(EllipseRegion(&fast, 0, 0, 100, 100, 100, 100));
    EXPECT_EQ(fast.count, 0u);
}

// Winding number (or crossing parity) of the point just right of and below (x, y)
// against the floored polygon: left and top boundaries inside, right and bottom outside.
bool InsideByRule(const std::vector<std::pair<double, double>>& p, int x, int y, bool winding) {
    const double px = x + 1.0 / 1024, py = y + 1.0 / (1 << 20);
    int wn = 0, crossings = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        auto [x0, y0] = p[i];
        auto [x1, y1] = p[(i + 1) % p.size()];
        if ((y0 <= py) == (y1 <= py)) continue;
        double xc = x0 + (py - y0) * (x1 - x0) / (y1 - y0);
        if (xc > px) continue;
        ++crossings;
        wn += y1 > y0 ? 1 : -1;
    }
    return winding ? wn != 0 : crossings % 2 == 1;
}

TEST(ScanConvertTest, PolygonsMatchTheirRuleAtEveryPixel) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-2.0f, 66.0f);
    for (int round = 0; round < 300; ++round) {
        std::vector<float> xy;
        if (round % 3 == 0) {
            // Stars {n/m}: self-intersecting, winding 2 and more inside.
            int n = 5 + round % 7, m = 2 + round % 3;
            if (std::gcd(n, m) != 1) m = 1;
            double cx = 32 + (rng() % 5), cy = 30 + (rng() % 5), radius = 20 + rng() % 12;
            for (int i = 0; i < n; ++i) {
                double a = 2 * M_PI * i * m / n + 0.1 * round;
                xy.push_back(static_cast<float>(cx + radius * std::cos(a)));
                xy.push_back(static_cast<float>(cy + radius * std::sin(a)));
            }
        } else {
            int n = 3 + static_cast<int>(rng() % 12);
            for (int i = 0; i < 2 * n; ++i) xy.push_back(coord(rng));
        }
        std::vector<std::pair<double, double>> floored;
        for (size_t i = 0; i < xy.size(); i += 2) floored.push_back({std::floor(xy[i]), std::floor(xy[i + 1])});
        const uint32_t n = static_cast<uint32_t>(xy.size() / 2);
        for (int rule : {kFillWinding, kFillAlternate}) {
            SCOPED_TRACE(::testing::Message() << "round " << round << " rule " << rule);
            Region r;
            ASSERT_TRUE(PolygonRegion(&r, xy.data(), &n, 1, rule, 1, 0.0f, 0.0f));
            EXPECT_TRUE(Banded(r));
            std::set<Pixel> want;
            for (int y = -3; y < 68; ++y)
                for (int x = -3; x < 68; ++x)
                    if (InsideByRule(floored, x, y, rule == kFillWinding)) want.insert({y, x});
            ASSERT_EQ(PixelsOf(r), want);
        }
    }
    // Several polygons at once: their union by the winding rule when they turn alike.
    const float two[] = {0, 0, 4, 0, 4, 4, 0, 4, 10, 0, 12, 0, 12, 2, 10, 2};
    const uint32_t counts[] = {4, 4};
    Region r;
    ASSERT_TRUE(PolygonRegion(&r, two, counts, 2, kFillWinding, 1, 0.0f, 0.0f));
    EXPECT_EQ(Describe(Rects(r)), "(0,0,4,2)(10,0,12,2)(0,2,4,4)");
    RectLimit limit(2);
    Region fresh;
    EXPECT_FALSE(PolygonRegion(&fresh, two, counts, 2, kFillWinding, 1, 0.0f, 0.0f));
    EXPECT_EQ(fresh.count, 0u);
}

#ifdef ORVA_HAVE_OPENCV

// The region drawn into an 8-bit image of the given size.
cv::Mat Render(const Region& r, int w, int h) {
    cv::Mat image = cv::Mat::zeros(h, w, CV_8U);
    for (const RegionRect& rect : r)
        image(cv::Rect(rect.x0, rect.y0, rect.x1 - rect.x0, rect.y1 - rect.y0)).setTo(cv::Scalar(255));
    return image;
}

// Pixels set in exactly one of two images.
int Differing(const cv::Mat& a, const cv::Mat& b) {
    cv::Mat x;
    cv::bitwise_xor(a, b, x);
    return cv::countNonZero(x);
}

TEST(ScanConvertTest, LargeSimplePolygonsAgreeWithOpenCv) {
    std::mt19937 rng(5);
    for (int round = 0; round < 4; ++round) {
        // A polygon around the centre with random radii: simple, concave.
        const int n = 40 + round * 50;
        std::vector<float> xy;
        std::vector<cv::Point> points;
        for (int i = 0; i < n; ++i) {
            double a = 2 * M_PI * i / n, radius = 200 + rng() % 800;
            int x = 1024 + static_cast<int>(radius * std::cos(a)), y = 1024 + static_cast<int>(radius * std::sin(a));
            xy.push_back(static_cast<float>(x));
            xy.push_back(static_cast<float>(y));
            points.push_back({x, y});
        }
        double perimeter = 0;
        for (int i = 0; i < n; ++i) perimeter += cv::norm(points[(i + 1) % n] - points[i]);
        Region r;
        const uint32_t count = static_cast<uint32_t>(n);
        ASSERT_TRUE(PolygonRegion(&r, xy.data(), &count, 1, kFillWinding, 1, 0.0f, 0.0f));
        cv::Mat image = cv::Mat::zeros(2048, 2048, CV_8U);
        cv::fillPoly(image, std::vector<std::vector<cv::Point>>{points}, cv::Scalar(255), cv::LINE_8);
        EXPECT_LT(Differing(Render(r, 2048, 2048), image), perimeter) << "round " << round;
    }
}

TEST(ScanConvertTest, LargeCirclesHaveTheirAreaAndAgreeWithOpenCv) {
    for (int d : {500, 1001, 2000, 4000}) {
        SCOPED_TRACE(d);
        Region r;
        ASSERT_TRUE(EllipseRegion(&r, 0, 0, d, d, d, d));
        // The midpoint rule leaves about 0.19 pixels per unit of perimeter out:
        // 0.16 % of the area at 500, 0.04 % at 2000.
        const double area = M_PI * d * d / 4;
        EXPECT_NEAR(static_cast<double>(PixelCount(r)), area, (d < 1000 ? 0.002 : 0.001) * area);
        // The same circle through OpenCV: centre and half-axes on pixel centres.
        cv::Mat image = cv::Mat::zeros(d, d, CV_8U);
        cv::ellipse(image, cv::Point(d - 1, d - 1), cv::Size(d - 1, d - 1), 0, 0, 360, cv::Scalar(255), cv::FILLED,
                    cv::LINE_8, 1);
        const double theirs = cv::countNonZero(image);
        EXPECT_NEAR(static_cast<double>(PixelCount(r)), theirs, 0.002 * theirs);
        EXPECT_LT(Differing(Render(r, d, d), image), 1.5 * M_PI * d);
    }
}

#endif  // ORVA_HAVE_OPENCV

// A row window builds exactly the window's lines of the whole mask: edges that start above
// it enter it where stepping would have brought them, at any scale and origin, by both
// rules; polygons many times taller than the window (steep, shallow and crossing edges).
TEST(ScanConvertTest, ARowWindowBuildsTheWindowsLinesOfTheWholeMask) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coord(-100.0f, 100.0f);
    struct Window {
        double from, to;
    };
    const Window windows[] = {{-20, 20}, {0, 1}, {-99.5, -50}, {37.25, 400}, {-1000, -900}};
    for (int round = 0; round < 60; ++round) {
        std::vector<float> xy;
        const int n = 3 + static_cast<int>(rng() % 20);
        for (int i = 0; i < 2 * n; ++i) xy.push_back(coord(rng));
        const uint32_t count = static_cast<uint32_t>(n);
        const int32_t k = round % 3 == 0 ? 3 : 1;
        const float originX = round % 2 == 0 ? 0.0f : 10.5f, originY = round % 4 == 1 ? -7.25f : 0.0f;
        for (int rule : {kFillWinding, kFillAlternate}) {
            Region whole;
            ASSERT_TRUE(PolygonRegion(&whole, xy.data(), &count, 1, rule, k, originX, originY));
            for (const Window& w : windows) {
                SCOPED_TRACE(::testing::Message() << "round " << round << " rule " << rule << " rows " << w.from
                                                  << ".." << w.to);
                const RowWindow rows{w.from, w.to};
                Region part;
                ASSERT_TRUE(PolygonRegion(&part, xy.data(), &count, 1, rule, k, originX, originY, &rows));
                EXPECT_TRUE(Banded(part));
                const int64_t first = static_cast<int64_t>(std::floor((w.from - originY) * k));
                const int64_t last = static_cast<int64_t>(std::ceil((w.to - originY) * k));
                std::vector<std::array<int, 3>> want;
                for (const auto& row : Rows(whole))
                    if (row[0] >= first && row[0] < last) want.push_back(row);
                ASSERT_EQ(Rows(part), want);
            }
        }
    }
}

// Many crossings on each line (a polygon of random vertices, most of its edges active on
// every line) are counted per column: the mask still follows the rule at every pixel.
TEST(ScanConvertTest, ADensePolygonFollowsItsRuleAtEveryPixel) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> coord(0, 40);
    std::vector<float> xy;
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i < 600; ++i) {
        const int x = coord(rng), y = coord(rng);
        xy.push_back(static_cast<float>(x));
        xy.push_back(static_cast<float>(y));
        points.push_back({x, y});
    }
    const uint32_t n = static_cast<uint32_t>(points.size());
    for (int rule : {kFillWinding, kFillAlternate}) {
        Region r;
        ASSERT_TRUE(PolygonRegion(&r, xy.data(), &n, 1, rule, 1, 0.0f, 0.0f));
        std::set<Pixel> want;
        for (int y = -1; y < 42; ++y)
            for (int x = -1; x < 42; ++x)
                if (InsideByRule(points, x, y, rule == kFillWinding)) want.insert({y, x});
        EXPECT_EQ(PixelsOf(r), want) << "rule " << rule;
    }
}

}  // namespace
}  // namespace orva
