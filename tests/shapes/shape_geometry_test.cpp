// Apertures and offsets of slices, and the geometry the update procedures
// derive: masks and background rings of closed figures checked pixel by pixel
// against distances computed here, placements, path lengths and slice bands.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

#include "shape_test_support.h"
#include "shapes/geometry/offset_geometry.h"
#include "shapes/geometry/shape_updates.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;
using shape_testing::MakeShape;
using Pixels = std::set<std::pair<int64_t, int64_t>>;

// The pixels of a region in absolute data coordinates.
Pixels AbsolutePixels(const ShapeRegion& r) {
    Pixels p;
    for (const RegionRect& q : r)
        for (int64_t y = q.y0; y < q.y1; ++y)
            for (int64_t x = q.x0; x < q.x1; ++x) p.insert({x + r.originX, y + r.originY});
    return p;
}

// Distance from the centre of pixel (x, y) to the box [x0, x1] x [y0, y1].
double CentreDistance(int64_t x, int64_t y, double x0, double y0, double x1, double y1) {
    const double cx = x + 0.5, cy = y + 0.5;
    const double dx = std::max({x0 - cx, 0.0, cx - x1});
    const double dy = std::max({y0 - cy, 0.0, cy - y1});
    return std::hypot(dx, dy);
}

EditTransformState Record(uint32_t positive, uint32_t negative, int32_t mode) {
    EditTransformState r;
    r.SetSides(positive, negative);
    r.direction = kOffsetCnrm;
    r.editFlag = mode;
    return r;
}

TEST(ApertureGeometry, WidthsSplitByMode) {
    struct Case {
        uint32_t positive, negative;
        int32_t recordMode, mode;
        uint32_t width;
        bool changed;
        uint32_t wantPositive, wantNegative;
    };
    const Case cases[] = {
        {1, 0, kApertureCentred, -1, 4, true, 2, 2},
        {1, 0, kApertureCentred, -1, 5, true, 3, 2},
        {2, 2, kApertureCentred, kApertureCentred, 0, true, 1, 0},  // width 0 is 1
        {1, 0, kApertureCentred, -1, 1, false, 1, 0},                // unchanged
        {3, 1, kApertureProportional, -1, 8, true, 5, 3},
        {5, 3, kApertureProportional, -1, 4, true, 3, 1},           // d = 2 from the positive side
        {1, 5, kApertureProportional, -1, 2, true, 0, 2},           // the positive side has too little
        {2, 2, kApertureCentred, kAperturePositive, 7, true, 7, 2},
        {2, 2, kApertureCentred, kApertureNegative, 0, true, 2, 0},  // mode 1 keeps 0
        {1, 0, kApertureCentred, -1, 0x80000000u, true, 0x40000000u, 0x3FFFFFFFu},
    };
    for (const Case& c : cases) {
        EditTransformState r = Record(c.positive, c.negative, c.recordMode);
        EXPECT_EQ(Shape::SetOffsetAperture(&r, c.width, c.mode), c.changed) << c.width;
        EXPECT_EQ(r.Positive(), c.wantPositive) << c.width;
        EXPECT_EQ(r.Negative(), c.wantNegative) << c.width;
        EXPECT_EQ(r.Extent(), c.wantPositive + c.wantNegative - 1) << c.width;
    }
    EditTransformState locked = Record(2, 2, kApertureLocked);
    EXPECT_FALSE(Shape::SetOffsetAperture(&locked, 9, kApertureCentred));
    EXPECT_EQ(locked.Extent(), 3u);
    EditTransformState wide = Record(1, 0, kApertureCentred);
    Shape::SetOffsetAperture(&wide, 0xFFFFFFFFu, -1);
    EXPECT_EQ(wide.Positive() + wide.Negative(), 0x7FFFFFFFu);
}

TEST(ApertureGeometry, ResetNormaliseAndUnitFlip) {
    EditTransformState r;
    r.angle = 12.0f;
    r.Reset();
    EXPECT_EQ(r.Extent(), 0u);
    EXPECT_EQ(r.Positive(), 1u);
    EXPECT_EQ(r.Negative(), 0u);
    EXPECT_EQ(r.direction, kOffsetCnrm);
    EXPECT_EQ(r.editFlag, kApertureCentred);
    EXPECT_EQ(r.angle, 12.0f);

    for (int32_t mode : {0, 7, -5}) {
        EditTransformState n;
        n.editFlag = mode;
        n.Normalise();
        EXPECT_EQ(n.editFlag, kApertureCentred) << mode;
    }
    EditTransformState n;
    n.editFlag = kApertureProportional;
    n.angle = 370.0f;
    n.aperture[0] = 4;  // extent only: sides rebuilt
    n.vector[0] = 1e-39f;
    n.vector[1] = -2e-39f;
    n.Normalise();
    EXPECT_EQ(n.editFlag, kApertureProportional);
    EXPECT_FLOAT_EQ(n.angle, 10.0f);
    EXPECT_EQ(n.Positive(), 2u);
    EXPECT_EQ(n.Negative(), 3u);
    EXPECT_EQ(n.Extent(), 4u);
    EXPECT_EQ(n.vector[0], 0.0f);
    EXPECT_EQ(n.vector[1], 1.0f);

    EditTransformState flip = Record(2, 1, kApertureCentred);
    flip.vector[0] = -1.0f;
    flip.vector[1] = 1.0f;
    EXPECT_TRUE(flip.IsUnitFlip());
    flip.vector[1] = 0.5f;
    EXPECT_FALSE(flip.IsUnitFlip());
    flip.vector[1] = 1.0f;
    flip.direction = 0;
    EXPECT_FALSE(flip.IsUnitFlip());
}

TEST(ApertureGeometry, OffsetDirectionsFromAnchors) {
    struct Case {
        uint32_t direction;
        float x1, y1;
        float scale;
        bool ok;
        float vx, vy;
    };
    const Case cases[] = {
        {kOffsetAxis, 10, 0, 1, true, 0, -1},  // going right
        {kOffsetAxis, -10, 2, 2, true, 0, 2},
        {kOffsetAxis, 1, 10, 1, true, -1, 0},  // going down
        {kOffsetAxis, 1, -10, 3, true, 3, 0},
        {kOffsetCnrm, 10, 0, 1, true, 0, -1},  // negative y, scaled to L
        {kOffsetCnrm, 10, 0, 2.5f, true, 0, -2.5f},
        {kOffsetCnrm, 0, 0, 1, true, 1, 0},    // no mean direction: along x
        {kOffsetAxis, 0, 0, 1, false, 0, 0},   // all anchors equal
    };
    for (const Case& c : cases) {
        Shape* s = MakeShape(kKindLine, {0, 0, c.x1, c.y1}, kRoleSlice);
        s->AddRef();
        s->header.scale = c.scale;
        s->header.offset.direction = c.direction;
        ASSERT_TRUE(RegionAppendRect(&s->derived.offsetRegion, 0, 0, 1, 1));
        EXPECT_EQ(UpdateSliceOffset(s), c.ok) << c.x1 << "," << c.y1;
        if (c.ok) {
            EXPECT_FLOAT_EQ(s->header.offset.vector[0], c.vx) << c.x1 << "," << c.y1;
            EXPECT_FLOAT_EQ(s->header.offset.vector[1], c.vy) << c.x1 << "," << c.y1;
        } else {
            EXPECT_TRUE(s->derived.offsetRegion.IsEmpty());
        }
        s->Release();
    }
    Shape* one = MakeShape(kKindPolyLine, {3, 3}, kRoleSlice);
    one->AddRef();
    one->header.offset.direction = kOffsetCnrm;
    EXPECT_FALSE(UpdateSliceOffset(one));
    one->Release();
}

TEST(ApertureGeometry, VectorsSetTheWidth) {
    Shape* s = MakeShape(kKindLine, {0, 0, 10, 0}, kRoleSlice);
    s->AddRef();
    s->header.offset.Reset();
    EXPECT_FALSE(s->SetOffsetVector(0, 0, false));
    EXPECT_TRUE(s->SetOffsetVector(0, -3, false));
    EXPECT_FLOAT_EQ(s->header.offset.vector[1], -1.0f);
    EXPECT_FALSE(s->SetOffsetVector(0, -7, false));  // the same direction: no change
    EXPECT_TRUE(s->SetOffsetVector(4, 0, true));     // ceil(1 x 4): width 4, centred
    EXPECT_EQ(s->header.offset.Positive(), 2u);
    EXPECT_EQ(s->header.offset.Negative(), 2u);
    EXPECT_FLOAT_EQ(s->header.offset.vector[0], 1.0f);
    s->Release();
}

TEST(ApertureGeometry, NormalsBandsRibsAndMarginBoxes) {
    Shape* s = MakeShape(kKindPolyLine, {0, 0, 10, 0, 10, 0, 10, 10}, kRoleSlice);
    s->AddRef();
    AnchorBuffer normals;
    ASSERT_TRUE(AnchorNormals(&normals, s->header));
    ASSERT_EQ(normals.Count(), 4u);
    // The zero segment takes the next normal; the last anchor repeats the last one.
    const float want[4][2] = {{0, -1}, {1, 0}, {1, 0}, {1, 0}};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(normals.X(i), want[i][0]) << i;
        EXPECT_FLOAT_EQ(normals.Y(i), want[i][1]) << i;
    }

    // A reset record: the band runs from -0.5 to +0.5 across the path.
    EditTransformState r;
    r.Reset();
    r.vector[0] = 0.0f;
    r.vector[1] = 1.0f;
    AnchorBuffer band;
    ASSERT_TRUE(ApertureBandQuads(&band, r, s->header.anchors, nullptr));
    ASSERT_EQ(band.Count(), 4u * 3);
    EXPECT_FLOAT_EQ(band.Y(0), -0.5f);
    EXPECT_FLOAT_EQ(band.Y(1), 0.5f);
    EXPECT_FLOAT_EQ(band.X(2), 10.0f);
    EXPECT_FLOAT_EQ(band.Y(2), 0.5f);
    AnchorBuffer ribs;
    ASSERT_TRUE(ApertureRibs(&ribs, r, s->header.anchors, &normals));
    ASSERT_EQ(ribs.Count(), 2u * 4);
    EXPECT_FLOAT_EQ(ribs.X(7), 10.5f);  // last anchor + 0.5 x (1, 0)
    r.direction = 0;
    EXPECT_FALSE(ApertureBandQuads(&band, r, s->header.anchors, nullptr));
    EXPECT_EQ(band.Count(), 0u);

    AnchorBuffer box;
    EXPECT_FALSE(LineMarginBox(&box, 0, s->header.anchors));
    Shape* up = MakeShape(kKindRect, {10, 10, 4, 2});
    up->AddRef();
    ASSERT_TRUE(LineMarginBox(&box, 3, up->header.anchors));
    const float corners[4][2] = {{3, 3}, {-9, 3}, {-9, -11}, {3, -11}};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(box.X(i), corners[i][0]) << i;
        EXPECT_FLOAT_EQ(box.Y(i), corners[i][1]) << i;
    }
    up->Release();
    s->Release();
}

// ---- Closed figures --------------------------------------------------------------------------

// A container whose shapes get the procedures of their kind and role.
class MeasuredShapes : public ContainerTest {
protected:
    Shape* Add(int32_t kind, std::initializer_list<float> xy, int32_t role = kRoleNone) {
        Shape* s = ContainerTest::Add(kind, xy, role);
        s->SetupKindProcs(nullptr, nullptr);
        s->ResetPivot(kUpdateFull);
        return s;
    }
    Shape* AddWithWidth(int32_t kind, std::initializer_list<float> xy, int32_t role, uint32_t width) {
        Shape* s = ContainerTest::Add(kind, xy, role);
        s->header.offset.Reset();
        Shape::SetOffsetAperture(&s->header.offset, width, -1);
        s->SetupKindProcs(nullptr, nullptr);
        s->ResetPivot(kUpdateFull);
        return s;
    }
};

using ClosedFigures = MeasuredShapes;

TEST_F(ClosedFigures, MeasurePixelBoxAndMask) {
    Shape* rect = Add(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    EXPECT_DOUBLE_EQ(rect->measure, 200.0);
    EXPECT_EQ(rect->pixelBox.x, 10);
    EXPECT_EQ(rect->pixelBox.y, 10);
    EXPECT_EQ(rect->pixelBox.w, 10);
    EXPECT_EQ(rect->pixelBox.h, 20);
    const ShapeRegion& m = rect->derived.mask;
    ASSERT_EQ(m.count, 1u);
    EXPECT_EQ(m.rects[0], (RegionRect{0, 0, 10, 20}));
    EXPECT_EQ(m.originX, 10);
    EXPECT_EQ(m.originY, 10);
    const ShapePlacement& p = rect->derived.placement;
    EXPECT_EQ(p.mask, &m);
    EXPECT_EQ(p.offset, nullptr);  // aperture 0: no background
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 10);
    EXPECT_EQ(p.w, 10);
    EXPECT_EQ(p.h, 20);

    // The floor rule on absolute coordinates.
    Shape* fractional = Add(kKindRect, {0.6f, 0.6f, 5.7f, 5.7f}, kRoleStatistic);
    Pixels want;
    for (int64_t y = 0; y < 5; ++y)
        for (int64_t x = 0; x < 5; ++x) want.insert({x, y});
    EXPECT_EQ(AbsolutePixels(fractional->derived.mask), want);

    Shape* ellipse = Add(kKindEllipse, {10, 10, 20, 30});
    EXPECT_EQ(ellipse->measure, 157.07963705062866);
    Shape* flat = Add(kKindEllipse, {10, 10, 10, 30});
    EXPECT_EQ(flat->measure, 0.0);
    EXPECT_EQ(flat->pixelBox.w, 1);  // width 0 gives 1
}

TEST_F(ClosedFigures, AxisRingsKeepTheirDistanceFromTheBox) {
    for (int32_t a = 1; a <= 10; ++a) {
        Shape* s = AddWithWidth(kKindRect, {10, 10, 20, 30}, kRoleStatistic, static_cast<uint32_t>(a) + 1);
        ASSERT_EQ(s->header.offset.Extent(), static_cast<uint32_t>(a));
        ASSERT_TRUE(s->SetOffsetDirection(kOffsetAxis));
        const ShapeRegion& ring = s->derived.offsetRegion;
        EXPECT_NE(ring.flags & 0x800, 0u) << a;
        const Pixels mask = AbsolutePixels(s->derived.mask);
        const Pixels pixels = AbsolutePixels(ring);
        for (const auto& [x, y] : pixels) {
            EXPECT_EQ(mask.count({x, y}), 0u) << a;
            EXPECT_LE(CentreDistance(x, y, 10, 10, 20, 30), a) << a << " " << x << "," << y;
        }
        for (int64_t y = 10 - a - 1; y < 30 + a + 1; ++y)
            for (int64_t x = 10 - a - 1; x < 20 + a + 1; ++x)
                if (mask.count({x, y}) == 0 && CentreDistance(x, y, 10, 10, 20, 30) <= a - 0.5) {
                    EXPECT_EQ(pixels.count({x, y}), 1u) << a << " " << x << "," << y;
                }
        if (a == 3) {
            EXPECT_EQ(pixels.size(), 204u);
        }
        // The placement covers mask and ring.
        const ShapePlacement& p = s->derived.placement;
        EXPECT_EQ(p.offset, &ring);
        EXPECT_EQ(p.x, 10 - a);
        EXPECT_EQ(p.w, 10 + 2 * a);
        box.RemoveAllNow();
    }
}

TEST_F(ClosedFigures, NormalRingsAreTheMarginBoxLessTheMask) {
    Shape* s = AddWithWidth(kKindRect, {10, 10, 20, 30}, kRoleStatistic, 4);  // extent 3
    Pixels want;
    for (int64_t y = 7; y < 33; ++y)
        for (int64_t x = 7; x < 23; ++x)
            if (x < 10 || x >= 20 || y < 10 || y >= 30) {
                want.insert({x, y});
            }
    EXPECT_EQ(AbsolutePixels(s->derived.offsetRegion), want);

    // Event 2 re-places what was built without calling the builders.
    static int calls;
    calls = 0;
    auto counting = [](Shape*, int32_t) {
        ++calls;
        return true;
    };
    s->procs.areaRasteriser = counting;
    s->procs.secondAreaRasteriser = counting;
    const Pixels before = AbsolutePixels(s->derived.offsetRegion);
    for (uint32_t i = 0; i < 2; ++i) {
        s->header.anchors.Points()[2 * i] += 5;
        s->header.anchors.Points()[2 * i + 1] -= 2;
    }
    s->UpdateGeometry(kUpdateNoArea);
    EXPECT_EQ(calls, 0);
    Pixels moved;
    for (const auto& [x, y] : before) moved.insert({x + 5, y - 2});
    EXPECT_EQ(AbsolutePixels(s->derived.offsetRegion), moved);
    EXPECT_EQ(s->derived.placement.x, 7 + 5);
    EXPECT_EQ(s->derived.placement.y, 7 - 2);
    // Event 3 does nothing at all.
    s->header.anchors.Points()[0] = 100;
    s->UpdateGeometry(kUpdateNothing);
    EXPECT_EQ(s->derived.placement.x, 12);
    EXPECT_EQ(calls, 0);
}

// ---- Open curves ------------------------------------------------------------------------------

using OpenCurves = MeasuredShapes;

TEST_F(OpenCurves, LengthsOverThePerPixelPath) {
    Shape* line = Add(kKindLine, {0, 0, 3, 4});
    EXPECT_DOUBLE_EQ(line->derived.length, 5.0);
    Shape* diagonal = Add(kKindLine, {0, 0, 2, 2});
    EXPECT_EQ(diagonal->derived.length, 2 * 1.4142135623730951);
    Shape* bent = Add(kKindPolyLine, {0, 0, 0, 7, 4, 7});
    EXPECT_DOUBLE_EQ(bent->derived.length, 11.0);
    EXPECT_GT(bent->derived.samples.Count(), 0u);
    Shape* upright = Add(kKindLine, {5, 1, 5, 9});
    EXPECT_EQ(upright->pixelBox.w, 1);
    EXPECT_EQ(upright->pixelBox.h, 8);
    EXPECT_DOUBLE_EQ(PathLength(upright->derived.path.pixelPath), 8.0);
}

TEST_F(OpenCurves, SliceBandsAndAreaMasks) {
    Shape* single = AddWithWidth(kKindPolyLine, {4, 4}, kRoleSlice, 5);
    EXPECT_TRUE(single->derived.offsetRegion.IsEmpty());
    EXPECT_EQ(single->derived.outline.Count(), 0u);

    Shape* slice = AddWithWidth(kKindPolyLine, {10, 10, 20, 10, 30, 10}, kRoleSlice, 5);  // sides 3 and 2
    ASSERT_EQ(slice->derived.outline.Count(), 8u);
    const ShapeRegion& area = slice->derived.offsetRegion;
    ASSERT_FALSE(area.IsEmpty());
    EXPECT_NE(area.flags & 0x800, 0u);
    // The band runs 2.5 across the path on either side ("CNRM" points to
    // negative y here): the rows 7 to 11, five pixels for a width of 5.
    const Pixels pixels = AbsolutePixels(area);
    for (int64_t y = 5; y < 14; ++y) EXPECT_EQ(pixels.count({20, y}), y >= 7 && y <= 11 ? 1u : 0u) << y;
    EXPECT_EQ(pixels.size(), 5u * 20);
    EXPECT_EQ(slice->derived.placement.offset, &area);
    EXPECT_EQ(slice->derived.placement.mask, nullptr);
    // The outer box holds the band.
    EXPECT_LT(slice->header.box.secondY, slice->header.box.y);

    // A width of 1 has no band and no area.
    Shape::SetOffsetAperture(&slice->header.offset, 1, -1);
    slice->ResetPivot(kUpdateFull);
    EXPECT_EQ(slice->derived.outline.Count(), 0u);
    EXPECT_TRUE(slice->derived.offsetRegion.IsEmpty());

    Shape* curve = Add(kKindBSpline, {0, 0, 10, 10, 20, 0}, kRoleSlice);
    ResetSliceOffset(curve);
    EXPECT_EQ(curve->header.offset.direction, kOffsetNrml);
    Shape::SetOffsetAperture(&curve->header.offset, 3, -1);
    curve->ResetPivot(kUpdateFull);
    EXPECT_EQ(curve->derived.outline.Count(), 6u);  // two ribs per anchor
    EXPECT_FALSE(curve->derived.offsetRegion.IsEmpty());
    EXPECT_GT(curve->derived.length, 20.0);
}

}  // namespace
}  // namespace orva
