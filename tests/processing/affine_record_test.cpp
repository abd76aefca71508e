// The affine transform record: defaults, the setters' rules, fitting by hand-computed
// sizes, and the input rectangle against a brute-force mapping of every output pixel.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <tuple>

#include "data/affine_record.h"

namespace orva {
namespace {

AffineRecord Record(double zoomX, double zoomY, double angle, bool flipX = false, bool flipY = false,
                    uint8_t order = 0) {
    AffineRecord r;
    AffineRecordInit(&r);
    r.order = order;
    AffineRecordSetZoomX(&r, zoomX);
    AffineRecordSetZoomY(&r, zoomY);
    AffineRecordSetAngle(&r, angle);
    AffineRecordSetFlips(&r, flipX, flipY);
    return r;
}

TEST(AffineRecordTest, FreshRecordsAreInactive) {
    AffineRecord r;
    r.active = 7;  // Init must overwrite whatever was there
    AffineRecordInit(&r);
    EXPECT_EQ(std::tuple(r.active, r.order, r.linked, r.rightAngle, r.rotated, r.scaled), std::tuple(0, 0, 1, 1, 0, 0));
    EXPECT_EQ(std::tuple(r.zoomX, r.zoomY, r.stepX, r.stepY, r.cosA, r.sinA), std::tuple(1.0, 1.0, 1.0, 1.0, 1.0, 0.0));

    AffineFilterRecord head;
    head.flag = 1;
    head.flags = 5;
    head.record.flipX = 1;
    AffineFilterRecordInit(&head);
    EXPECT_EQ(std::tuple(head.flag, head.flags, head.record.order, head.record.active, head.record.flipX),
              std::tuple(0, 0u, 1, 0, 0));
}

TEST(AffineRecordTest, AnglesAreReducedAndRightAnglesExact) {
    struct Case {
        double in, angle;
        uint8_t rotated, right;
        double cosA, sinA;
    } cases[] = {
        {450, 90, 1, 1, 0.0, 1.0},
        {-270, -270, 1, 1, 0.0, 1.0},
        {540, 180, 1, 1, -1.0, 0.0},
        {1e-308, 1e-308, 0, 1, 1.0, 0.0},
        {720, 0, 0, 1, 1.0, 0.0},
        {30, 30, 1, 0, std::cos(M_PI / 6), std::sin(M_PI / 6)},
        {-400, -40, 1, 0, std::cos(-40 * M_PI / 180), std::sin(-40 * M_PI / 180)},
        {NAN, 0, 0, 1, 1.0, 0.0},       // not a number: no rotation
        {INFINITY, 0, 0, 1, 1.0, 0.0},
    };
    for (const Case& c : cases) {
        AffineRecord r = Record(1, 1, c.in);
        EXPECT_NEAR(r.angle, c.angle, 1e-12) << c.in;
        EXPECT_EQ(std::tuple(r.rotated, r.rightAngle, r.geometric, r.active), std::tuple(c.rotated, c.right, c.rotated, c.rotated))
            << c.in;
        if (c.right) {
            EXPECT_EQ(std::tuple(r.cosA, r.sinA), std::tuple(c.cosA, c.sinA)) << c.in;  // exact
        } else {
            EXPECT_NEAR(r.cosA, c.cosA, 1e-15) << c.in;
            EXPECT_NEAR(r.sinA, c.sinA, 1e-15) << c.in;
        }
    }
}

TEST(AffineRecordTest, ZoomsAreBoundedAndNearOneIsExact) {
    struct Case {
        double in, zoom, step;
        uint8_t scaled;
    } cases[] = {
        {1000, 512, 1.0 / 512, 1}, {0, 1, 1, 0},  {-2, 1, 1, 0},        {NAN, 1, 1, 0},
        {1 - 1e-16, 1, 1, 0},      {1 + DBL_EPSILON, 1 + DBL_EPSILON, 1 / (1 + DBL_EPSILON), 1}, {2, 2, 0.5, 1}, {0.25, 0.25, 4, 1},
        {INFINITY, 512, 1.0 / 512, 1},
    };
    for (const Case& c : cases) {
        AffineRecord r = Record(c.in, 1, 0);
        EXPECT_EQ(std::tuple(r.zoomX, r.stepX, r.scaledX, r.scaled, r.active), std::tuple(c.zoom, c.step, c.scaled, c.scaled, c.scaled))
            << c.in;
    }
    AffineRecord flipped = Record(1, 1, 0, false, true);
    EXPECT_EQ(std::tuple(flipped.flipped, flipped.geometric, flipped.active, flipped.rotated), std::tuple(1, 1, 1, 0));
}

TEST(AffineRecordTest, FittingFramesAndSizes) {
    AffineSize out;
    AffineRecord zoomX = Record(2, 1, 0);
    AffineRecordFitFrame(&zoomX, &out, {100, 50});
    EXPECT_EQ(std::tuple(out.width, out.height), std::tuple(200, 50));  // ceil(199.5)
    EXPECT_EQ(std::tuple(zoomX.centreX, zoomX.centreY, zoomX.scaledCentreX), std::tuple(100.0, 25.0, 100.0));

    AffineRecord odd = Record(1.5, 1, 0);  // 7 x 1.5 = 10.5: ceil(10.0) = 10
    AffineRecordFitFrame(&odd, &out, {7, 3});
    EXPECT_EQ(std::tuple(out.width, out.height, odd.centreX, odd.scaledCentreX), std::tuple(10, 3, 5.0, 5.25));

    AffineRecord turn = Record(1, 1, 90);
    AffineRecordFitFrame(&turn, &out, {100, 50});
    EXPECT_EQ(std::tuple(out.width, out.height), std::tuple(50, 100));
    EXPECT_EQ(std::tuple(turn.centreX, turn.centreY, turn.scaledCentreX), std::tuple(25.0, 50.0, 50.0));

    // 30 degrees: extents 100 cos + 50 sin = 111.60 and 100 sin + 50 cos = 93.30.
    AffineRecord tilt = Record(1, 1, 30);
    AffineRecordFitFrame(&tilt, &out, {100, 50});
    EXPECT_EQ(std::tuple(out.width, out.height), std::tuple(112, 93));

    // A uniform zoom composes the same in both orders; an anisotropic one does not.
    for (double angle : {30.0, 90.0, 137.0}) {
        AffineSize a, b;
        AffineRecord first = Record(1.5, 1.5, angle, false, false, 0), second = Record(1.5, 1.5, angle, false, false, 1);
        AffineRecordFitFrame(&first, &a, {100, 50});
        AffineRecordFitFrame(&second, &b, {100, 50});
        EXPECT_EQ(std::tuple(a.width, a.height), std::tuple(b.width, b.height)) << angle;
    }
    AffineSize a, b;
    AffineRecord first = Record(2, 1, 30, false, false, 0), second = Record(2, 1, 30, false, false, 1);
    AffineRecordFitFrame(&first, &a, {100, 50});   // (111.60 x 2, 93.30) -> 223 x 93
    AffineRecordFitFrame(&second, &b, {100, 50});  // 200 x 50 turned: 198.2 x 143.3 -> 198 x 143
    EXPECT_EQ(std::tuple(a.width, a.height, b.width, b.height), std::tuple(223, 93, 198, 143));

    // The size fit: unrounded, the rotated box about the scaled picture's centre.
    AffineBox box;
    AffineRecordFitSize(&zoomX, &box, 101, 50);
    EXPECT_EQ(std::tuple(box.left, box.top, box.width, box.height), std::tuple(0.0, 0.0, 202.0, 50.0));
    AffineRecord turn2 = Record(2, 2, 90);
    AffineRecordFitSize(&turn2, &box, 100, 50);
    EXPECT_EQ(std::tuple(box.left, box.top, box.width, box.height), std::tuple(50.0, -50.0, 100.0, 200.0));
    EXPECT_EQ(std::tuple(turn2.centreX, turn2.centreY, turn2.scaledCentreX), std::tuple(50.0, 100.0, 100.0));
}

// The mapping of an output position into the input, written from its definition.
void Reference(const AffineRecord& r, double x, double y, double w, double h, double* px, double* py) {
    const double u = x - r.centreX, v = y - r.centreY;
    double dx, dy;
    if (r.order == 0) {
        dx = r.cosA * r.stepX * u - r.sinA * r.stepY * v;
        dy = r.sinA * r.stepX * u + r.cosA * r.stepY * v;
    } else {
        dx = r.stepX * (r.cosA * u - r.sinA * v);
        dy = r.stepY * (r.sinA * u + r.cosA * v);
    }
    *px = w / 2 + (r.flipX ? -dx : dx);
    *py = h / 2 + (r.flipY ? -dy : dy);
}

TEST(AffineRecordTest, SourceRectanglesClipAndSaturate) {
    AffineRecord identity = Record(1, 1, 0, true, false);  // a mirror alone: geometric
    AffineSize frame{100, 50};
    AffineSize out;
    AffineRecordFitFrame(&identity, &out, frame);
    // Mirrored, an output block at x > 100 maps to x < 0: nothing of the frame.
    AffineRect left{101, 0, 20, 10};
    EXPECT_FALSE(AffineSourceRectOrder0(&identity, &left, frame));
    AffineRect empty{0, 0, 0, 10};
    EXPECT_FALSE(AffineSourceRectOrder0(&identity, &empty, frame));

    // A block wider than the frame on both sides: x 0, the frame's width.
    AffineRect wide{-30, 5, 160, 10};
    ASSERT_TRUE(AffineSourceRectOrder0(&identity, &wide, frame));
    EXPECT_EQ(std::tuple(wide.x, wide.y, wide.width, wide.height), std::tuple(0, 5, 100, 11));
    // Starting left of the frame and ending inside: cut at the old end.
    AffineRect part{70, 0, 40, 1};  // mirrored: input -10 .. 30
    ASSERT_TRUE(AffineSourceRectOrder0(&identity, &part, frame));
    EXPECT_EQ(std::tuple(part.x, part.width), std::tuple(0, 31));

    // An input extent of 2^31 or more saturates.
    AffineRecord tiny = Record(0.0001, 1, 0, true, false);
    AffineSize huge{int64_t{1} << 40, 10};
    AffineRecordFitFrame(&tiny, &out, huge);
    AffineRect big{0, 0, 300000, 1};
    ASSERT_TRUE(AffineSourceRectOrder0(&tiny, &big, huge));
    EXPECT_EQ(big.width, 0x7FFFFFFF);

    // Orders differ only for an anisotropic zoom with rotation.
    auto both = [&](const AffineRecord& r) {
        AffineRecord fitted = r;
        AffineRecordFitFrame(&fitted, &out, frame);
        AffineRect a{out.width / 2 - 15, out.height / 2 - 10, 30, 20}, b = a;
        const bool okA = AffineSourceRectOrder0(&fitted, &a, frame), okB = AffineSourceRectOrder1(&fitted, &b, frame);
        return std::tuple(okA, okB, a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height);
    };
    EXPECT_EQ(both(Record(2, 2, 30)), std::tuple(true, true, true));
    EXPECT_EQ(both(Record(2, 0.5, 0, true)), std::tuple(true, true, true));
    EXPECT_EQ(both(Record(2, 0.5, 30)), std::tuple(true, true, false));
}

TEST(AffineRecordTest, SourceRectangleCoversEveryReachedInputPixel) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> zoom(0.2, 4.0), angle(-360.0, 360.0), unit(0.0, 1.0);
    std::uniform_int_distribution<int> side(1, 60), coin(0, 1);
    int checked = 0, refused = 0;
    for (int trial = 0; trial < 400; ++trial) {
        AffineRecord r = Record(zoom(rng), coin(rng) ? zoom(rng) : 1.0, coin(rng) ? angle(rng) : 90.0 * coin(rng),
                                coin(rng), coin(rng), static_cast<uint8_t>(coin(rng)));
        const AffineSize frame{side(rng), side(rng)};
        AffineSize out;
        AffineRecordFitFrame(&r, &out, frame);
        // A block somewhere in and around the output frame.
        AffineRect want{static_cast<int64_t>((unit(rng) * 1.4 - 0.2) * static_cast<double>(out.width)),
                        static_cast<int64_t>((unit(rng) * 1.4 - 0.2) * static_cast<double>(out.height)),
                        1 + static_cast<int32_t>(unit(rng) * static_cast<double>(out.width)),
                        1 + static_cast<int32_t>(unit(rng) * static_cast<double>(out.height))};
        AffineRect got = want;
        const bool ok = AffineSourceRect(&r, &got, frame);
        refused += ok ? 0 : 1;
        for (int32_t j = 0; j < want.height; ++j)
            for (int32_t i = 0; i < want.width; ++i) {
                double px, py;
                Reference(r, static_cast<double>(want.x + i) + 0.5, static_cast<double>(want.y + j) + 0.5,
                          static_cast<double>(frame.width), static_cast<double>(frame.height), &px, &py);
                const int64_t ix = static_cast<int64_t>(std::floor(px)), iy = static_cast<int64_t>(std::floor(py));
                if (ix < 0 || iy < 0 || ix >= frame.width || iy >= frame.height) continue;
                ASSERT_TRUE(ok) << "trial " << trial << ": pixel " << ix << "," << iy << " reached";
                ASSERT_TRUE(ix >= got.x && ix < got.x + got.width && iy >= got.y && iy < got.y + got.height)
                    << "trial " << trial << ": " << ix << "," << iy << " outside " << got.x << "," << got.y << " "
                    << got.width << "x" << got.height;
                ++checked;
            }
        if (ok) {
            EXPECT_GE(got.x, 0);
            EXPECT_LE(got.x + got.width, frame.width);
            EXPECT_LE(got.y + got.height, frame.height);
        }
    }
    EXPECT_GT(checked, 10000);
    EXPECT_GT(refused, 0);  // some blocks lay outside
}

}  // namespace
}  // namespace orva
