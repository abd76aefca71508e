// The affine kernels against OpenCV (single-threaded): nearest zoom 2 against
// cv::resize with INTER_NEAREST_EXACT, quarter turns and mirrors against cv::rotate
// and cv::flip, bilinear against cv::resize and cv::warpAffine with the record's
// inverse map (OpenCV rounds positions to 1/32 pixel and weighs 64-bit data with
// floats, hence the tolerances), and the bicubic modes where both interpolations are
// exact: a constant stays constant and a linear ramp is reproduced.
#include <gtest/gtest.h>

#if ORVA_HAVE_OPENCV

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "affine_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

cv::Mat MatOf(const Frame& f) {
    cv::Mat m(static_cast<int>(f.height), static_cast<int>(f.width), CV_64FC(static_cast<int>(f.channels)));
    std::memcpy(m.data, f.values.data(), f.values.size() * sizeof(double));
    return m;
}

// The whole output frame of the kernel the module chose, as a matrix.
cv::Mat Output(AffineChain& chain, const Geometry& g, int mode) {
    chain.Configure(g, mode);
    const AffineSize size = chain.OutputSize();
    PullResult out;
    EXPECT_EQ(chain.Pull(0, 0, static_cast<int32_t>(size.width), static_cast<int32_t>(size.height), &out), 3);
    cv::Mat m(static_cast<int>(size.height), static_cast<int>(size.width), CV_64FC1);
    const std::vector<double> v = SamplesOf(out.image);
    EXPECT_EQ(v.size(), m.total());
    std::memcpy(m.data, v.data(), std::min(v.size(), m.total()) * sizeof(double));
    return m;
}

bool SameBits(const cv::Mat& a, const cv::Mat& b) {
    return a.size == b.size && a.type() == b.type() && std::memcmp(a.data, b.data, a.total() * a.elemSize()) == 0;
}

class AffineOpenCvTest : public ::testing::Test {
protected:
    void SetUp() override { cv::setNumThreads(1); }
    Frame frame = MakeFrame(37, 23, 1);
    AffineChain chain{frame, 0x40};
    cv::Mat src = MatOf(frame);
};

TEST_F(AffineOpenCvTest, NearestZoomTwoTurnsAndMirrorsAreExact) {
    cv::Mat want;
    cv::resize(src, want, cv::Size(), 2, 2, cv::INTER_NEAREST_EXACT);
    EXPECT_TRUE(SameBits(Output(chain, {2, 2}, 1), want));
    // +90 degrees in the y-down frame is OpenCV's counterclockwise quarter turn.
    const std::tuple<double, int> turns[] = {
        {90, cv::ROTATE_90_COUNTERCLOCKWISE}, {180, cv::ROTATE_180}, {270, cv::ROTATE_90_CLOCKWISE}};
    for (const auto& [angle, code] : turns) {
        cv::rotate(src, want, code);
        // "Bicubic" is chosen, but a right angle is an exact permutation: nearest.
        EXPECT_TRUE(SameBits(Output(chain, {1, 1, angle}, 3), want)) << angle;
    }
    const std::tuple<bool, bool, int> mirrors[] = {{true, false, 1}, {false, true, 0}, {true, true, -1}};
    for (const auto& [x, y, code] : mirrors) {
        cv::flip(src, want, code);
        EXPECT_TRUE(SameBits(Output(chain, {1, 1, 0, x, y}, 2), want)) << x << y;
    }
}

TEST_F(AffineOpenCvTest, BilinearAgreesWithResizeAndWarpAffine) {
    double lo, hi;
    cv::minMaxLoc(src, &lo, &hi);
    // Output pixel i samples input position (i + 0.5) / zoom - 0.5 on each axis, as cv::resize
    // does: at zoom 3, and at zoom 2 along one axis and 1 along the other (where the rule
    // (i - 0.5) / zoom would shift each row or column by half an input pixel), too.
    for (const auto& [zx, zy] :
         {std::pair(2.0, 2.0), std::pair(3.0, 3.0), std::pair(2.0, 1.0), std::pair(1.0, 2.0)}) {
        cv::Mat want;
        cv::resize(src, want, cv::Size(), zx, zy, cv::INTER_LINEAR);
        const cv::Mat got = Output(chain, {zx, zy}, 2);
        ASSERT_EQ(std::tuple(got.rows, got.cols), std::tuple(want.rows, want.cols))
            << zx << " " << zy;
        EXPECT_LE(cv::norm(got, want, cv::NORM_INF), 1e-6 * (hi - lo)) << zx << " " << zy;
    }

    // The steepest change of the data between neighbours bounds what OpenCV's 1/32
    // pixel rounding of positions may move a value.
    cv::Mat dx, dy;
    cv::Sobel(src, dx, CV_64F, 1, 0, 1);
    cv::Sobel(src, dy, CV_64F, 0, 1, 1);
    double gx, gy;
    cv::minMaxLoc(cv::abs(dx), nullptr, &gx);
    cv::minMaxLoc(cv::abs(dy), nullptr, &gy);
    const double gradient = std::hypot(gx, gy) / 2;  // Sobel of aperture 1 spans two pixels
    const Geometry cases[] = {
        {1.5, 1.5, 30, false, false, 1}, {2, 0.7, -47, false, true, 0}, {2, 0.7, -47, true, false, 1},
        {0.8, 1.3, 123.4, true, true, 1}, {3, 2, 0, true, false, 1},
    };
    for (const Geometry& g : cases) {
        const cv::Mat ours = Output(chain, g, 2);
        AffineRecord r = chain.Record();
        AffineSize size;
        AffineRecordFitFrame(&r, &size, AffineSize{frame.width, frame.height});
        const Reference ref{frame, r, 2, -DBL_MAX};
        // The inverse map: output pixel index to input position, centres at whole numbers.
        double x00, y00, x10, y10, x01, y01;
        ref.Position(0, 0, &x00, &y00);
        ref.Position(1, 0, &x10, &y10);
        ref.Position(0, 1, &x01, &y01);
        const cv::Mat M = (cv::Mat_<double>(2, 3) << x10 - x00, x01 - x00, x00, y10 - y00, y01 - y00, y00);
        cv::Mat theirs;
        cv::warpAffine(src, theirs, M, ours.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
        double squares = 0.0;
        int compared = 0;
        for (int y = 0; y < ours.rows; ++y)
            for (int x = 0; x < ours.cols; ++x) {
                double px, py;
                ref.Position(x, y, &px, &py);
                if (px < 0 || py < 0 || px > static_cast<double>(frame.width - 1) ||
                    py > static_cast<double>(frame.height - 1))
                    continue;
                const double d = ours.at<double>(y, x) - theirs.at<double>(y, x);
                squares += d * d;
                ++compared;
            }
        ASSERT_GT(compared, 100) << g.angle;
        EXPECT_LE(std::sqrt(squares / compared), gradient / 32) << g.angle << " order " << int{g.order};
    }
}

// OpenCV's INTER_CUBIC is the Keys cubic (a = -0.75), ours the B-spline: they agree on
// what both keep exactly, a constant. A linear ramp, which the B-spline reproduces, is
// checked on ours alone (the Keys cubic with a = -0.75 does not reproduce it).
TEST_F(AffineOpenCvTest, BicubicWhereBothAreExact) {
    const Frame flat{40, 30, 1, std::vector<double>(1200, 17.25)};
    Frame ramp{40, 30, 1, {}};
    for (int64_t y = 0; y < 30; ++y)
        for (int64_t x = 0; x < 40; ++x) ramp.values.push_back(3.0 * x - 2.0 * y + 5.0);
    for (int mode : {3, 4}) {
        SCOPED_TRACE(mode);
        AffineChain c(flat, 0x40);
        for (const Geometry& g : {Geometry{1.7, 1.7, 33}, Geometry{2.5, 0.6}}) {
            const cv::Mat ours = Output(c, g, mode);
            AffineRecord fitted = c.Record();
            AffineSize size;
            AffineRecordFitFrame(&fitted, &size, AffineSize{40, 30});
            const Reference ref{flat, fitted, mode, -DBL_MAX};
            double x00, y00, x10, y10, x01, y01;
            ref.Position(0, 0, &x00, &y00);
            ref.Position(1, 0, &x10, &y10);
            ref.Position(0, 1, &x01, &y01);
            const cv::Mat M = (cv::Mat_<double>(2, 3) << x10 - x00, x01 - x00, x00, y10 - y00, y01 - y00, y00);
            cv::Mat theirs;
            cv::warpAffine(MatOf(flat), theirs, M, ours.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                           cv::BORDER_REPLICATE);
            int inside = 0;
            for (int y = 0; y < ours.rows; ++y)
                for (int x = 0; x < ours.cols; ++x) {
                    const double v = ours.at<double>(y, x);
                    if (v == -DBL_MAX) continue;  // no tap inside the frame
                    ASSERT_NEAR(v, 17.25, 1e-12) << x << "," << y;
                    ASSERT_NEAR(theirs.at<double>(y, x), 17.25, 1e-5) << x << "," << y;
                    ++inside;
                }
            EXPECT_GT(inside, 1000);
        }
        AffineChain r(ramp, 0x40);
        const Geometry g{1.7, 1.7, 33};
        const cv::Mat ours = Output(r, g, mode);
        AffineRecord fitted = r.Record();
        AffineSize size;
        AffineRecordFitFrame(&fitted, &size, AffineSize{40, 30});
        const Reference ref{ramp, fitted, mode, -DBL_MAX};
        int compared = 0;
        for (int y = 0; y < ours.rows; ++y)
            for (int x = 0; x < ours.cols; ++x) {
                double px, py;
                ref.Position(x, y, &px, &py);
                if (px < 1 || py < 1 || px >= 37 || py >= 27) continue;  // all sixteen taps inside
                // The fast mode's tabulated weights stand for a position up to 1/128 pixel
                // away on each axis.
                EXPECT_NEAR(ours.at<double>(y, x), 3.0 * px - 2.0 * py + 5.0, mode == 3 ? 1e-9 : 5.0 / 128)
                    << x << "," << y;
                ++compared;
            }
        EXPECT_GT(compared, 500);
    }
}

}  // namespace
}  // namespace orva

#endif  // ORVA_HAVE_OPENCV
