// The chart's image strip in a texture view of a real GL window: a strip wider than the
// preview rendering draws (a zoomed-in chart) is drawn 2024 pixels wide, uploaded and
// stretched, so that it stays visible; releasing it frees the texture.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "display/chart_fixture.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/texture_view.h"

namespace orva {
namespace {

using namespace testing_util;
using display_test::ChartChain;
using display_test::ServicesScope;

// The preview double: the target filled with one colour.
std::vector<uint8_t>& Pixels() {
    static std::vector<uint8_t> pixels;
    return pixels;
}
constexpr Rgb kStripColour{200, 40, 40};

bool FillPreview(DisplayBitmap* b, const PreviewRow&, const PreviewColours&, const PreviewRange&, const RenderTarget& t) {
    std::vector<uint8_t>& p = Pixels();
    p.assign(static_cast<size_t>(t.width) * t.height * 3, 0);
    for (size_t i = 0; i < p.size(); i += 3) {
        p[i] = static_cast<uint8_t>(kStripColour.r);
        p[i + 1] = static_cast<uint8_t>(kStripColour.g);
        p[i + 2] = static_cast<uint8_t>(kStripColour.b);
    }
    b->width = t.width;
    b->height = t.height;
    b->channels = 3;
    b->pixels = p.data();
    b->ready = 1;
    return true;
}

class ChartStripGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window_ = InitWithFrame(0, 0, 400, 300, kStyleMain);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(OpenShown(window_, "Chart Tools"));
        TheDisplayRenderServices().renderPreview = &FillPreview;
    }
    void TearDown() override {
        TheDisplayRenderServices() = render_;
        Pixels().clear();
        if (window_ != nullptr) CloseToolkit();
    }
    gWindow* window_ = nullptr;
    ServicesScope services_;
    DisplayRenderServices render_ = TheDisplayRenderServices();
};

TEST_F(ChartStripGlTest, AZoomedInStripIsStretchedNotLost) {
    std::vector<double> ramp(1000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i);
    ChartChain chain({ramp});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    TextureView view;
    ASSERT_NE(view.Create(window_, TextureViewRect{10.0f, 10.0f, 180.0f, 88.0f}, nullptr), nullptr);
    c.SetZoomRatio(4);
    c.ApplyZoomRatio();
    ASSERT_TRUE(c.RenderToTextureView(&view));
    EXPECT_EQ(view.image.count, 1u);
    EXPECT_EQ(view.image.width, 2024);
    EXPECT_EQ(view.image.height, 88);
    EXPECT_DOUBLE_EQ(view.scaleX, 180.0 / 4000.0);
    EXPECT_EQ(view.widget->shown, 1);
    PaintWindow(window_);
    EXPECT_TRUE(RgbNear(PixelAt(window_, 10 + 5, window_->clientHeight - 1 - (10 + 44)), kStripColour, 8));
    // After a scroll the picture is fitted and placed again without a new rendering.
    Pixels().clear();
    c.ScrollXTo(300, false);
    EXPECT_TRUE(c.UpdateStrip(&view));
    EXPECT_EQ(c.stripRect[0], 1200);
    c.ReleaseStrip(&view);
    EXPECT_EQ(view.image.count, 0u);
    view.Close();
}

}  // namespace
}  // namespace orva
