// The 2-D view geometry: zoom with its special values and bounds, linked axes, the
// re-scroll about the placement point, fit and centre, and clipping points to the frame.
#include <gtest/gtest.h>

#include <cmath>

#include "app/image_view.h"

namespace orva {
namespace {

ImageViewRecord Frame(int64_t width, int64_t height) {
    ImageViewRecord v;
    ApplyFrameOffsets(&v, width, height, 0, 0);
    return v;
}

// The frame pixel (fractional) under a view coordinate on the x axis.
double FramePixelX(const ImageViewRecord& v, double viewX) { return (viewX - v.originX) / v.zoom.x; }
double FramePixelY(const ImageViewRecord& v, double viewY) { return (viewY - v.originY) / v.zoom.y; }

TEST(ImageView, SetZoomSpecialValuesAndBounds) {
    struct Case {
        int32_t width;
        double start, factor, want;
    } cases[] = {
        {1000, 300.0, -1.0, 512.0},   // twice 300 is capped at 512
        {100, 0.03, -2.0, 0.02},      // half of 0.03 stops at 2 / 100
        {1000, 2.0, -1.0, 4.0},
        {1000, 2.0, -2.0, 1.0},
        {1000, 3.0, 0.0, 1.0},        // 0 means 1
        {1000, 1.0, 1000.0, 512.0},
        {1000, 1.0, 0.0001, 0.002},
        {0, 1.0, 0.0001, 0.002},      // no frame size: 2 x 0.001
    };
    for (const Case& c : cases) {
        ImageViewRecord v = Frame(c.width, c.width);
        ViewSetZoom(&v, true, c.start, false, 0, 0);
        ViewSetZoom(&v, true, c.factor, false, 0, 0);
        EXPECT_DOUBLE_EQ(v.zoom.x, c.want) << c.start << " " << c.factor;
        EXPECT_DOUBLE_EQ(v.zoom.inverseX, 1.0 / c.want);
        EXPECT_EQ(v.zoom.zoomedX, c.want == 1.0 ? 0 : 1);
        EXPECT_DOUBLE_EQ(v.zoom.y, 1.0);  // not linked: y stays
    }
}

TEST(ImageView, UnchangedZoomAnswersFalse) {
    ImageViewRecord v = Frame(100, 100);
    EXPECT_FALSE(ViewSetZoom(&v, true, 1.0, true, 0, 0));
    EXPECT_TRUE(ViewSetZoom(&v, true, 512.0, false, 0, 0));
    EXPECT_FALSE(ViewSetZoom(&v, true, -1.0, false, 0, 0));  // already at the top
    EXPECT_EQ(v.scaledWidth, 51200);
    EXPECT_EQ(v.scaledHeight, 100);
}

TEST(ImageView, LinkedAxes) {
    // Equal zooms: the other axis takes the same factor.
    ImageViewRecord v = Frame(1000, 1000);
    EXPECT_TRUE(ViewSetZoom(&v, true, 4.0, true, 0, 0));
    EXPECT_DOUBLE_EQ(v.zoom.y, 4.0);
    // Unequal zooms: the other axis follows the ratio...
    ImageViewRecord u = Frame(1000, 1000);
    ViewSetZoom(&u, true, 2.0, false, 0, 0);
    ViewSetZoom(&u, false, 8.0, false, 0, 0);
    EXPECT_TRUE(ViewSetZoom(&u, true, 4.0, true, 0, 0));
    EXPECT_DOUBLE_EQ(u.zoom.x, 4.0);
    EXPECT_DOUBLE_EQ(u.zoom.y, 16.0);
    // ... and a change that takes it above 512 or below its minimum is refused whole.
    EXPECT_FALSE(ViewSetZoom(&u, true, 256.0, true, 0, 0));  // y would be 1024
    EXPECT_DOUBLE_EQ(u.zoom.x, 4.0);
    EXPECT_DOUBLE_EQ(u.zoom.y, 16.0);
    ImageViewRecord w = Frame(1000, 100);
    ViewSetZoom(&w, false, 0.05, false, 0, 0);
    EXPECT_FALSE(ViewSetZoom(&w, true, 0.3, true, 0, 0));  // y would be 0.015 < 2 / 100
    EXPECT_DOUBLE_EQ(w.zoom.x, 1.0);
    EXPECT_TRUE(ViewSetZoom(&w, true, 4.0, true, 0, 0));
    EXPECT_DOUBLE_EQ(w.zoom.y, 0.2);
}

TEST(ImageView, ZoomKeepsThePlacementPointOnItsPixel) {
    struct Case {
        double from, to, placeX, placeY;
        int32_t scrollX;
    } cases[] = {
        {1.0, 2.0, 137.5, 20.25, 0},
        {2.0, 0.5, 10.0, 300.0, 5},
        {0.25, 8.0, 899.5, 705.5, -40},
        {1.0, 512.0, 3.0, 3.0, 0},
    };
    for (const Case& c : cases) {
        ImageViewRecord v = Frame(4096, 4096);
        v.scrollX = c.scrollX;
        v.offsetX = 17.0;
        v.roundedX = 17.0;
        ViewRecompute(&v);
        ViewSetZoom(&v, true, c.from, true, c.placeX, c.placeY);
        // The exact offsets place the point; the drawn origin is rounded toward zero.
        const double beforeX = (c.placeX - (c.scrollX + v.offsetX)) / v.zoom.x;
        const double beforeY = (c.placeY - (v.scrollY + v.offsetY)) / v.zoom.y;
        ASSERT_TRUE(ViewSetZoom(&v, true, c.to, true, c.placeX, c.placeY));
        const double exactX = (c.placeX - (c.scrollX + v.offsetX)) / v.zoom.x;
        EXPECT_NEAR(exactX, beforeX, 1e-9);
        const double exactY = (c.placeY - (v.scrollY + v.offsetY)) / v.zoom.y;
        EXPECT_NEAR(exactY, beforeY, 1e-9);
        EXPECT_LE(std::fabs(FramePixelX(v, c.placeX) - beforeX), 1.0 / v.zoom.x + 1e-9);
        EXPECT_LE(std::fabs(FramePixelY(v, c.placeY) - beforeY), 1.0 / v.zoom.y + 1e-9);
        EXPECT_EQ(v.roundedX, std::trunc(v.offsetX));
    }
}

TEST(ImageView, ScrollAxisByRatio) {
    ImageViewRecord v = Frame(100, 100);
    v.offsetX = 10.0;
    // w = P - scroll = 50; o = 50 + (10 - 50) x 3 = -70.
    ViewScrollAxis(&v, true, 3.0, 50.0);
    EXPECT_DOUBLE_EQ(v.offsetX, -70.0);
    EXPECT_DOUBLE_EQ(v.roundedX, -70.0);
    ViewScrollAxis(&v, true, 0.5, 51.0);  // 51 + (-121) x 0.5 = -9.5
    EXPECT_DOUBLE_EQ(v.offsetX, -9.5);
    EXPECT_DOUBLE_EQ(v.roundedX, -9.0);   // toward zero
    EXPECT_DOUBLE_EQ(v.originX, -9.0);
}

TEST(ImageView, ScaledSizesSaturate) {
    EXPECT_EQ(ScaledSize(100, 0.333, true), 34);
    EXPECT_EQ(ScaledSize(100, 1.0, false), 100);
    EXPECT_EQ(ScaledSize(0x7FFFFFFF, 512.0, true), 0x7FFFFFFF);
    EXPECT_EQ(ScaledSize(4194304, 512.0, true), 0x7FFFFFFF);  // 2^31: above 2147483646
    EXPECT_EQ(ScaledSize(4194303, 512.0, true), 2147483136);
}

TEST(ImageView, FitUsesTheCappedSizeForLargeFrames) {
    // 4000 x 3000 x 24 bytes is above 64 MiB: the fit computes with 1182 x 1182, so in a
    // 900 x 706 view (898 x 704 available) the zoom is floor(704 / 1182 x 1000) / 1000.
    ImageViewRecord v = Frame(4000, 3000);
    float px = 5.0f, py = 5.0f;
    EXPECT_TRUE(ViewFitAndCentre(&v, 900, 706, true, false, &px, &py));
    EXPECT_DOUBLE_EQ(v.zoom.x, 0.595);
    EXPECT_DOUBLE_EQ(v.zoom.y, 0.595);
    // A frame below the cap fits whole: 1600 x 1200 in 898 x 704 gives 0.561 (x) vs 0.586.
    ImageViewRecord u = Frame(1600, 1200);
    ViewFitAndCentre(&u, 900, 706, true, false, &px, &py);
    EXPECT_DOUBLE_EQ(u.zoom.x, 0.561);
    // A frame that fits keeps zoom 1.
    ImageViewRecord s = Frame(800, 600);
    ViewFitAndCentre(&s, 900, 706, true, false, &px, &py);
    EXPECT_DOUBLE_EQ(s.zoom.x, 1.0);
}

TEST(ImageView, CentreAndPlacementPoint) {
    ImageViewRecord v = Frame(100, 50);
    float px = -10.0f, py = 3.0f;
    EXPECT_TRUE(ViewFitAndCentre(&v, 300, 200, true, true, &px, &py));
    // (298 - 100) / 2 = 99; (198 - 50) / 2 = 74.
    EXPECT_DOUBLE_EQ(v.originX, 99.0);
    EXPECT_DOUBLE_EQ(v.originY, 74.0);
    // The placement point lay outside: the host's centre less 1.5.
    EXPECT_FLOAT_EQ(px, 148.5f);
    EXPECT_FLOAT_EQ(py, 98.5f);
    // Again: nothing changes.
    EXPECT_FALSE(ViewFitAndCentre(&v, 300, 200, true, true, &px, &py));
    // Without fit and centre: offset 0 and the point at (1, 1).
    EXPECT_TRUE(ViewFitAndCentre(&v, 300, 200, false, false, &px, &py));
    EXPECT_DOUBLE_EQ(v.originX, 0.0);
    EXPECT_FLOAT_EQ(px, 1.0f);
    EXPECT_FLOAT_EQ(py, 1.0f);
}

// Zoomed far about a point near a corner and back: each axis back at 100 % is centred
// again where the frame fits (as a new frame is), and left where it lies where it does not.
TEST(ImageView, CentreAxisBackAtFullSize) {
    struct Case {
        int32_t host;     // host size on the axis
        int64_t size;     // frame size on the axis
        double place;     // the zoom's placement point
        bool centred;
        double origin;    // the origin after ViewCentreAxis
    } cases[] = {
        {300, 100, 290.0, true, 99.0},   // (298 - 100) / 2
        {300, 298, 5.0, true, 0.0},      // fits exactly
        {300, 299, 5.0, false, -1.0},    // does not fit: left where the zooms put it
    };
    for (const Case& c : cases) {
        for (const bool axisX : {true, false}) {
            ImageViewRecord v = axisX ? Frame(c.size, 10) : Frame(10, c.size);
            ViewSetZoom(&v, axisX, 512.0, false, c.place, c.place);
            ViewSetZoom(&v, axisX, 1.0, false, c.place + 0.37, c.place + 0.37);
            const double before = axisX ? v.originX : v.originY;
            EXPECT_EQ(ViewCentreAxis(&v, axisX, c.host), c.centred) << c.size;
            const double after = axisX ? v.originX : v.originY;
            EXPECT_DOUBLE_EQ(after, c.centred ? c.origin : before) << c.size << " " << axisX;
            // The other axis is left alone.
            EXPECT_DOUBLE_EQ(axisX ? v.originY : v.originX, 0.0);
        }
    }
}

TEST(ImageView, ClampPointToFrameTable) {
    ImageViewRecord v = Frame(100, 60);
    v.offsetX = v.roundedX = 20.0;
    v.offsetY = v.roundedY = 10.0;
    ViewRecompute(&v);  // the frame covers x 20..119, y 10..69
    struct Case {
        float x, y;
        int32_t mode;
        int32_t want;
        float wantX, wantY;
    } cases[] = {
        {5.0f, 40.0f, 1, 0, 20.0f, 40.0f},     // left of the frame at mid height: the left edge
        {5.0f, 40.0f, 2, 0, 70.0f, 40.0f},     // ... or the horizontal centre
        {50.0f, 40.0f, 1, 1, 50.0f, 40.0f},    // inside
        {500.0f, 500.0f, 1, 0, 119.0f, 69.0f},
        {500.0f, 500.0f, 2, 0, 70.0f, 40.0f},
    };
    for (const Case& c : cases) {
        float x = c.x, y = c.y;
        EXPECT_EQ(ClampPointToFrame(v, &x, &y, nullptr, c.mode), c.want) << c.x << "," << c.y;
        EXPECT_FLOAT_EQ(x, c.wantX);
        EXPECT_FLOAT_EQ(y, c.wantY);
    }
    // A rectangle that narrows the frame; a reversed one works the same.
    ViewRectF r{60.0f, 30.0f, 40.0f, 50.0f};
    float x = 10.0f, y = 40.0f;
    EXPECT_EQ(ClampPointToFrame(v, &x, &y, &r, 1), 0);
    EXPECT_FLOAT_EQ(x, 40.0f);
    // The frame wholly beyond the rectangle: -1, also for a point inside the rectangle.
    ViewRectF away{300.0f, 0.0f, 400.0f, 50.0f};
    x = 350.0f;
    y = 20.0f;
    EXPECT_EQ(ClampPointToFrame(v, &x, &y, &away, 1), -1);
    x = 0.0f;
    EXPECT_EQ(ClampPointToFrame(v, &x, &y, &away, 2), -1);
}

}  // namespace
}  // namespace orva
