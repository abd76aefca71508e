#include <gtest/gtest.h>

#include "platform/window_api.h"
#include "shapes/geometry/region.h"
#include "shapes/region_test_support.h"
#include "toolkit/gl_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

TEST(RegionDrawTest, RegionsDrawTheirRectanglesAndAnEmptyOneItsMark) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(0, 0, 200, 200);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(OpenShown(window, "Regions"));
    ASSERT_TRUE(gWinMakeCurrent(window));
    const int w = window->clientWidth, h = window->clientHeight;
    glViewport(0, 0, w, h);
    glDisable(GL_BLEND);
    glDisable(GL_DITHER);
    glClearColor(0, 0, 0, 1);
    glColor3f(1, 1, 1);

    // Three strips side by side, each a data frame of 16 x 16 units with its
    // origin in the middle and one pixel per unit: read-back row 0 is the bottom.
    Region empty, two;
    shape_testing::SetRects(&two, {{-6, -6, -2, -4}, {3, 4, 5, 7}});
    auto strip = [&](int left, auto draw) {
        glViewport(left, 0, 16, 16);
        OrthoProjection(-8, 8, -8, 8);
        draw();
    };
    glClear(GL_COLOR_BUFFER_BIT);
    strip(0, [&] { RegionDrawQuads(empty); });
    strip(20, [&] { RegionDrawQuadsOrMark(empty); });
    strip(40, [&] { RegionDrawQuadsOrMark(two); });
    glFinish();
    const std::vector<uint8_t> pixels = ReadBack(window, GL_RED);
    auto lit = [&](int x, int y) { return pixels[static_cast<size_t>(y) * w + x] > 127; };

    int drawnByEmpty = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) drawnByEmpty += lit(x, y);
    EXPECT_EQ(drawnByEmpty, 0);
    // The mark: the two diagonals of the 4 x 4 square around the origin, nothing else.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int u = x - 8, v = y - 8;  // the pixel [u, u + 1) x [v, v + 1)
            const bool onMark = u >= -2 && u < 2 && v >= -2 && v < 2 && (u == v || u == -v - 1);
            const bool farOff = u < -3 || u > 2 || v < -3 || v > 2;
            EXPECT_TRUE(!onMark || lit(20 + x, y)) << u << "," << v;
            EXPECT_TRUE(!farOff || !lit(20 + x, y)) << u << "," << v;
        }
    }
    // The rectangles: exactly their pixels.
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int u = x - 8, v = y - 8;
            const bool inside = (u >= -6 && u < -2 && v >= -6 && v < -4) || (u >= 3 && u < 5 && v >= 4 && v < 7);
            EXPECT_EQ(lit(40 + x, y), inside) << u << "," << v;
        }
    }
    platform::SwapBuffers(window->hdc);
    CloseToolkit();
}

}  // namespace
}  // namespace orva
