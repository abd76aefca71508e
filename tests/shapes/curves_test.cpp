#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "shapes/geometry/bspline.h"
#include "shapes/geometry/path_sampler.h"
#include "shapes/geometry/plane_geometry.h"
#include "test_support.h"

namespace orva {
namespace {

struct Anchors : AnchorBuffer {
    Anchors(std::initializer_list<float> xy) { Set(std::vector<float>(xy)); }
    explicit Anchors(const std::vector<float>& xy) { Set(xy); }
    void Set(const std::vector<float>& xy) { SetPoints(xy.data(), static_cast<uint32_t>(xy.size() / 2)); }
    std::vector<float> Values() const { return std::vector<float>(Points(), Points() + 2 * Count()); }
};

std::vector<float> Values(const AnchorBuffer& b) { return std::vector<float>(b.Points(), b.Points() + 2 * b.Count()); }

// ---- B-splines --------------------------------------------------------------------------

TEST(CurvesTest, SegmentStepsFollowTheFourthRootOfTheDeviation) {
    struct Case {
        float deviation;
        int32_t steps;
    } cases[] = {{0.0f, 1}, {1.0f, 7}, {16.0f, 14}, {0.5f, 7}, {1e6f, 32}};
    for (const Case& c : cases)
        EXPECT_EQ(BSplineSegmentSteps({0, 0}, {5, c.deviation}, {10, 0}), c.steps) << c.deviation;
    // A chord of no length gives one step.
    EXPECT_EQ(BSplineSegmentSteps({3, 3}, {9, 9}, {3, 3}), 1);
}

TEST(CurvesTest, BSplinePolygonsStartAtTheFirstAnchorAndEndAtTheLast) {
    AnchorBuffer out;
    ASSERT_TRUE(BSplineToPolygon(&out, Anchors{2, 3, 7, -1}));
    EXPECT_EQ(Values(out), (std::vector<float>{0, 0, 5, -4}));  // two anchors: the chord
    ASSERT_TRUE(BSplineToPolygon(&out, Anchors{2, 3, 2, 3}));
    EXPECT_EQ(out.Count(), 0u);
    ASSERT_TRUE(BSplineToPolygon(&out, Anchors{2, 3, 2, 3, 2, 3}));
    EXPECT_EQ(out.Count(), 0u);
    // Three collinear anchors: one step per curved segment, and six points in all.
    ASSERT_TRUE(BSplineToPolygon(&out, Anchors{0, 0, 6, 0, 12, 0}));
    EXPECT_EQ(out.Count(), 6u);
    for (uint32_t i = 0; i < out.Count(); ++i) EXPECT_EQ(out.Y(i), 0.0f);
    const Anchors wavy{1.5f, 2.25f, 40, 80, -30, 10, 90, 95.5f, 13.75f, -7};
    ASSERT_TRUE(BSplineToPolygon(&out, wavy));
    ASSERT_GE(out.Count(), 6u);
    EXPECT_EQ(out.X(0), 0.0f);
    EXPECT_EQ(out.Y(0), 0.0f);
    EXPECT_EQ(out.X(out.Count() - 1), 13.75f - 1.5f);
    EXPECT_EQ(out.Y(out.Count() - 1), -7.0f - 2.25f);
}

TEST(CurvesTest, BSplinePointsLieOnScipysSpline) {
    if (std::system(ORVA_PYTHON " -c 'import scipy.interpolate' 2>/dev/null") != 0)
        GTEST_SKIP() << "/usr/bin/python3 cannot import scipy";
    testing_util::TempFolder dir;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coord(-500.0f, 500.0f);
    std::vector<std::vector<float>> anchorSets;
    std::vector<std::vector<BSplineSample>> sampleSets;
    std::ostringstream input;
    input.precision(17);
    for (int n = 3; n <= 12; ++n) {
        std::vector<float> xy;
        for (int i = 0; i < 2 * n; ++i) xy.push_back(coord(rng));
        if (n == 5) xy[2] = xy[0], xy[3] = xy[1];  // a repeated anchor
        Anchors anchors(xy);
        std::vector<BSplineSample> samples;
        BSplinePolygonSamples(
            anchors, [](void* user, const BSplineSample& s) { static_cast<std::vector<BSplineSample>*>(user)->push_back(s); },
            &samples);
        // The polygon is exactly these points.
        AnchorBuffer polygon;
        ASSERT_TRUE(BSplineToPolygon(&polygon, anchors));
        ASSERT_EQ(polygon.Count(), samples.size());
        for (size_t i = 0; i < samples.size(); ++i) {
            EXPECT_EQ(polygon.X(static_cast<uint32_t>(i)), samples[i].point.x);
            EXPECT_EQ(polygon.Y(static_cast<uint32_t>(i)), samples[i].point.y);
        }
        for (float v : xy) input << v << " ";
        input << "\n";
        for (const BSplineSample& s : samples) input << static_cast<double>(s.segment) + s.t << " ";
        input << "\n";
        anchorSets.push_back(xy);
        sampleSets.push_back(samples);
    }
    const std::string file = dir.File("curves.txt");
    testing_util::WriteText(file, input.str());
    const std::string command =
        std::string(ORVA_PYTHON " ") + ORVA_SOURCE_DIR + "/tests/shapes/bspline_reference.py " + file;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string printed;
    char buffer[4096];
    while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) printed.append(buffer, got);
    ASSERT_EQ(pclose(pipe), 0);

    std::istringstream lines(printed);
    for (size_t set = 0; set < anchorSets.size(); ++set) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << set;
        std::istringstream values(line);
        const float x0 = anchorSets[set][0], y0 = anchorSets[set][1];
        for (const BSplineSample& s : sampleSets[set]) {
            double x, y;
            ASSERT_TRUE(values >> x >> y);
            // Relative to the extent of the anchors (1000).
            EXPECT_NEAR(x0 + static_cast<double>(s.point.x), x, 1e-5 * 1000) << set << " at " << s.segment + s.t;
            EXPECT_NEAR(y0 + static_cast<double>(s.point.y), y, 1e-5 * 1000) << set << " at " << s.segment + s.t;
        }
    }
}

// ---- Boxes ------------------------------------------------------------------------------

void ExpectBox(const PlaneBox& box, double x, double y, double w, double h) {
    EXPECT_EQ(box.x, x);
    EXPECT_EQ(box.y, y);
    EXPECT_EQ(box.w, w);
    EXPECT_EQ(box.h, h);
}

TEST(CurvesTest, BoxesOfAnchorsAndTheirSelection) {
    PlaneBox box;
    const float two[] = {1, 2, 4, 0};
    BoundingBoxOfPoints(two, 2, &box);
    ExpectBox(box, 1, 0, 3, 2);
    BoundingBoxOfPoints(two, 0, &box);
    ExpectBox(box, 1, 2, 0, 0);

    // Anchors left of and above the frame.
    Anchors a{-10, -20, 50, 50, -5, -8};
    a.Selection()[0] = a.Selection()[2] = 1;
    a.selectedCount = 2;
    SelectedAnchorsBox(a, &box);
    ExpectBox(box, -10, -20, 5, 12);
    a.selectedCount = 1;
    a.lastSelected = 1;
    SelectedAnchorsBox(a, &box);
    ExpectBox(box, 50, 50, 0, 0);
    a.selectedCount = -1;
    SelectedAnchorsBox(a, &box);
    ExpectBox(box, -10, -20, 60, 70);
    a.SelectAll(false);
    SelectedAnchorsBox(a, &box);
    ExpectBox(box, -10, -20, 60, 70);  // nothing selected: unchanged
}

TEST(CurvesTest, BoxEditsMoveAnchorsIntoAndOntoBoxes) {
    const PlaneBox frame{0, 0, 10, 10};
    Anchors edges{0, 5, 10, 5, 5, 9.5f};
    EXPECT_EQ(KeepAnchorsInBox(&edges, frame), 1);  // the right edge is outside
    EXPECT_EQ(edges.Values(), (std::vector<float>{0, 5, 5, 9.5f}));
    EXPECT_EQ(edges.selectedCount, -1);
    Anchors outside{-1, 5, 12, 5};
    EXPECT_EQ(KeepAnchorsInBox(&outside, frame), -1);
    EXPECT_EQ(KeepAnchorsInBox(&edges, frame), 0);

    Anchors clamp{-3, 4, 10, 12, 5, 5};
    EXPECT_EQ(ClampAnchorsToBox(&clamp, frame), 1);
    EXPECT_EQ(clamp.Values(), (std::vector<float>{0, 4, 10, 10, 5, 5}));
    Anchors inside{1, 1};
    EXPECT_EQ(ClampAnchorsToBox(&inside, frame), 0);

    // Scaled about the old corner and moved; a line of no height scales along
    // itself, one of no width shears with a new width.
    Anchors scaled{0, 0, 10, 10};
    const float source[] = {0, 0, 10, 10};
    RemapAnchorsToBox(&scaled, source, {5, 5, 20, 10}, {0, 0, 10, 10}, false);
    EXPECT_EQ(scaled.Values(), (std::vector<float>{5, 5, 25, 15}));
    const float flat[] = {0, 0, 10, 0};
    RemapAnchorsToBox(&scaled, flat, {0, 0, 20, 0}, {0, 0, 10, 0}, false);
    EXPECT_EQ(scaled.Values(), (std::vector<float>{0, 0, 20, 0}));
    const float upright[] = {0, 0, 0, 10};
    RemapAnchorsToBox(&scaled, upright, {0, 0, 5, 10}, {0, 0, 0, 10}, false);
    EXPECT_EQ(scaled.Values(), (std::vector<float>{0, 0, 5, 10}));
    scaled.Selection()[1] = 1;
    scaled.selectedCount = 1;
    RemapAnchorsToBox(&scaled, source, {1, 1, 10, 10}, {0, 0, 10, 10}, true);
    EXPECT_EQ(scaled.Values(), (std::vector<float>{0, 0, 11, 11}));

    // Overlaps; boxes of no size meet nothing.
    PlaneBox a{0, 0, 10, 10};
    EXPECT_TRUE(IntersectBoxes(&a, {5, 2, 100, 100}));
    ExpectBox(a, 5, 2, 5, 8);
    a = {0, 0, 0, 0};
    EXPECT_FALSE(IntersectBoxes(&a, {-5, -5, 10, 10}));
    a = {0, 0, 4, 4};
    EXPECT_FALSE(IntersectBoxes(&a, {0, 0, 0, 0}));
    ExpectBox(a, 0, 0, 0, 0);
    a = {20, 0, 4, 4};
    EXPECT_FALSE(IntersectBoxes(&a, {0, 0, 10, 10}));
    EXPECT_FALSE(BoxOutsideBox({0, 0, 0, 0}, {0, 0, 10, 10}));
    EXPECT_FALSE(BoxOutsideBox({1, 1, 2, 2}, {0, 0, 0, 0}));
    EXPECT_FALSE(BoxOutsideBox({1, 1, 2, 2}, {0, 0, 10, 10}));
    EXPECT_TRUE(BoxOutsideBox({8, 1, 4, 2}, {0, 0, 10, 10}));
    EXPECT_TRUE(BoxOutsideBox({-1, 1, 4, 2}, {0, 0, 10, 10}));
}

TEST(CurvesTest, PolylinesAreClippedToTheBoxFromBothEnds) {
    const PlaneBox frame{0, 0, 10, 10};
    // In from the left by whole steps, out to the right pulled back inside.
    Anchors across{-5, 5, 5, 5, 15.5f, 5};
    EXPECT_EQ(ClipPolylineToBox(&across, frame, true), 1);
    EXPECT_EQ(across.Values(), (std::vector<float>{0, 5, 5, 5, 9.5f, 5}));
    // A left overshoot of 2.3 moves by 3.
    double p[2] = {-2.3, 4}, q[2] = {6, 4};
    EXPECT_EQ(ClipSegmentToBox(p, q, 10, 10), 1);
    EXPECT_DOUBLE_EQ(p[0], 0.7);
    // A slanted end lands inside on a whole step of the dominant axis.
    double s[2] = {-4, -2}, t[2] = {6, 3};
    EXPECT_EQ(ClipSegmentToBox(s, t, 10, 10), 1);
    EXPECT_DOUBLE_EQ(s[0], 0.0);
    EXPECT_DOUBLE_EQ(s[1], 0.0);
    double u[2] = {-4, -1}, v[2] = {-1, 20};
    EXPECT_EQ(ClipSegmentToBox(u, v, 10, 10), -1);
    // Segments that miss go from the front; the rest are kept in order.
    Anchors late{-5, -5, -1, -5, 5, 5, 5, 8};
    EXPECT_EQ(ClipPolylineToBox(&late, frame, true), 1);
    ASSERT_EQ(late.Count(), 3u);
    EXPECT_EQ(late.selectedCount, -1);
    EXPECT_EQ(late.X(2), 5.0f);
    EXPECT_GE(late.Y(0), 0.0f);
    Anchors away{-5, -5, 20, -5, 20, -1};
    EXPECT_EQ(ClipPolylineToBox(&away, frame, true), -1);
    Anchors within{1, 1, 2, 2};
    EXPECT_EQ(ClipPolylineToBox(&within, frame, true), 0);
    EXPECT_EQ(ClipPolylineToBox(&across, frame, false), 0);
}

// ---- Samplers ---------------------------------------------------------------------------

TEST(CurvesTest, SamplesAreEquallySpacedAndNeverPassASegmentEnd) {
    ShapeHeader header;
    AnchorBuffer samples;
    struct Line {
        float dx, dy;
        std::vector<float> want;
    } lines[] = {
        {5.0f, 0.0f, {0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0}},
        {0.5f, 0.0f, {0, 0}},
        {0.0f, -5.5f, {0, 0, 0, -1, 0, -2, 0, -3, 0, -4, 0, -5}},
        {3.0f, 4.0f, {0, 0, 0.6f, 0.8f, 1.2f, 1.6f, 1.8f, 2.4f, 2.4f, 3.2f, 3.0f, 4.0f}},
    };
    for (const Line& l : lines) {
        ASSERT_TRUE(SampleSegment(&samples, l.dx, l.dy, header));
        const std::vector<float> got = Values(samples);
        ASSERT_EQ(got.size(), l.want.size()) << l.dx << "," << l.dy;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], l.want[i], 1e-6) << i;
    }
    ASSERT_TRUE(PathSampler(&samples, Anchors{0, 0, 5, 0}, header));
    EXPECT_EQ(samples.Count(), 6u);

    // Along polylines, at the header's step, with any sub-pixel factor: every sample
    // lies at a whole multiple of the step along the path, and none beyond its end.
    struct Path {
        std::vector<float> outline;
        float step;
        int32_t subpix;
    } paths[] = {
        {{0, 0, 3, 0, 3, 4}, 1.0f, 2},
        {{0, 0, 3, 0, 3, 4}, 0.5f, 2},
        {{0, 0, 0.7f, 0, 0.9f, 0, 3, 0}, 1.0f, 1},  // a segment shorter than the carry
        {{0, 0, 2.5f, 0, 2.5f, 0.2f, 2.5f, 3.7f, -1, 3.7f}, 0.75f, 3},
    };
    for (const Path& p : paths) {
        SCOPED_TRACE(::testing::Message() << p.outline.size() / 2 << " points, step " << p.step);
        header.scale = p.step;
        header.subpix = p.subpix;
        Anchors outline(p.outline);
        ASSERT_TRUE(PathSampler(&samples, outline, header));
        // Arc length of each sample on the outline.
        std::vector<double> at;
        double total = 0;
        for (uint32_t seg = 0; seg + 1 < outline.Count(); ++seg) total += SegmentLength(outline.X(seg + 1) - outline.X(seg), outline.Y(seg + 1) - outline.Y(seg));
        for (uint32_t i = 0; i < samples.Count(); ++i) {
            double walked = 0, found = -1;
            for (uint32_t seg = 0; seg + 1 < outline.Count() && found < 0; ++seg) {
                const double ax = outline.X(seg), ay = outline.Y(seg);
                const double dx = outline.X(seg + 1) - ax, dy = outline.Y(seg + 1) - ay;
                const double len = SegmentLength(dx, dy);
                const double along = ((samples.X(i) - ax) * dx + (samples.Y(i) - ay) * dy) / (len * len);
                const double off = std::hypot(ax + along * dx - samples.X(i), ay + along * dy - samples.Y(i));
                if (along >= -1e-5 && along <= 1 + 1e-5 && off < 1e-4) found = walked + along * len;
                walked += len;
            }
            ASSERT_GE(found, 0.0) << "sample " << i << " is off the path";
            at.push_back(found);
        }
        ASSERT_EQ(at.size(), static_cast<size_t>(std::floor(total / p.step + 1e-6)) + 1);
        for (size_t i = 0; i < at.size(); ++i) EXPECT_NEAR(at[i], i * p.step, 1e-4) << i;
    }
}

TEST(CurvesTest, OutlinesStepWholePixelsAndCarrySubPixelSegments) {
    OpenOutline outline;
    ASSERT_TRUE(PolylineOutline(&outline, Anchors{0.5f, 0.5f, 3.5f, 2.5f, 3.5f, 4.5f}));
    EXPECT_EQ(Values(outline.points), (std::vector<float>{0, 0, 3, 2, 3, 4}));
    // (0.5, 0.5) to (3.5, 2.5): three x steps; then two y steps.
    const std::vector<float> steps = Values(outline.pixelPath);
    const std::vector<float> want = {0, 0, 1, 2.0f / 3, 2, 4.0f / 3, 3, 2, 3, 3, 3, 4};
    ASSERT_EQ(steps.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(steps[i], want[i], 1e-6) << i;

    // Segments inside one pixel add nothing until one crosses into the next.
    ASSERT_TRUE(PolylineOutline(&outline, Anchors{0.1f, 0.1f, 0.4f, 0.1f, 0.7f, 0.1f, 0.95f, 0.1f, 1.2f, 0.1f}));
    ASSERT_EQ(outline.pixelPath.Count(), 2u);
    EXPECT_NEAR(outline.pixelPath.X(1), 0.85f + 1.0f, 1e-6);

    // Stepped samples: every second pixel, records of one point and one spare.
    AnchorBuffer stepped;
    ASSERT_TRUE(SampleSegmentStepped(&stepped, 1, 1, 5, 2, 2, 1));
    ASSERT_EQ(stepped.Count(), 6u);
    const float* s = stepped.Points();
    EXPECT_EQ((std::vector<float>{s[0], s[1], s[4], s[5], s[8], s[9]}), (std::vector<float>{1, 1, 3, 1, 5, 2}));
}

}  // namespace
}  // namespace orva
