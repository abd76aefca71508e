// The affine record's fit in a texture view on a real GL window (skipped without an X
// display): the picture is placed by AffineRecordFitSize's box for the same geometry,
// and agrees with the toolkit's own fit where the two describe the same drawing.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "common/numeric.h"
#include "data/affine_record.h"
#include "processing/affine_texture_fit.h"
#include "toolkit/gl_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

class AffineTextureFitTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window_ = InitWithFrame(30, 30, 400, 300);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(gWinOpen(window_, "Fit", kStyleShown));
        PumpFor(100);
        ASSERT_NE(view_.Create(window_, {50, 50, 200, 100}, nullptr), nullptr);
    }
    void TearDown() override {
        if (window_ != nullptr) gShutdown();
    }
    gWindow* window_ = nullptr;
    TextureView view_;
};

TEST_F(AffineTextureFitTest, PlacesThePictureByTheRecordsBox) {
    std::vector<uint8_t> pixels(100 * 50 * 3, 90);
    TextureViewFrame frame;
    frame.width = 100;
    frame.height = 50;
    frame.channels = 3;
    frame.pixels = pixels.data();
    struct Case {
        double angle;
        bool flipX, flipY;
    } cases[] = {{0, false, false}, {90, false, false}, {30, false, false}, {-135, true, false}, {0, false, true}};
    for (const Case& c : cases) {
        TextureViewTransform caller;
        caller.rotateOn = c.angle != 0 ? 1 : 0;
        caller.angle = c.angle;
        caller.flipX = c.flipX ? 1 : 0;
        caller.flipY = c.flipY ? 1 : 0;
        caller.flipped = (caller.flipX | caller.flipY) != 0 ? 1 : 0;
        caller.rotationActive = (caller.rotateOn | caller.flipped) != 0 ? 1 : 0;
        if (caller.rotateOn != 0) SinCosDegrees(&caller.sinA, &caller.cosA, c.angle);

        view_.fit = nullptr;
        ASSERT_TRUE(view_.ConvertAndUpload(&frame, &caller, nullptr, {100, 50}));
        const float toolkitX = view_.drawOffsetX, toolkitY = view_.drawOffsetY;
        const double toolkitCentre = view_.image.transform.centreX;

        view_.fit = &AffineTextureFit;
        ASSERT_TRUE(view_.ConvertAndUpload(&frame, &caller, nullptr, {100, 50}));
        // The same geometry as a record: the view's fit scale (2) as the zoom, drawn
        // scaled last only when the transform says so.
        AffineRecord r;
        AffineRecordInit(&r);
        AffineRecordSetZoomX(&r, view_.scaleX);
        AffineRecordSetZoomY(&r, view_.scaleY);
        AffineRecordSetAngle(&r, c.angle);
        AffineRecordSetFlips(&r, c.flipX, c.flipY);
        AffineBox box;
        AffineRecordFitSize(&r, &box, 100, 50);
        EXPECT_FLOAT_EQ(view_.drawOffsetX, static_cast<float>(view_.pictureX - box.left)) << c.angle;
        EXPECT_FLOAT_EQ(view_.drawOffsetY, static_cast<float>(view_.pictureY - box.top)) << c.angle;
        EXPECT_EQ(view_.image.transform.centreX, r.scaledCentreX) << c.angle;
        EXPECT_EQ(view_.image.transform.centreY, r.scaledCentreY) << c.angle;
        // Drawn scale first, both fits describe one picture.
        EXPECT_NEAR(view_.drawOffsetX, toolkitX, 1e-3) << c.angle;
        EXPECT_NEAR(view_.drawOffsetY, toolkitY, 1e-3) << c.angle;
        EXPECT_NEAR(view_.image.transform.centreX, toolkitCentre, 1e-9) << c.angle;
    }
    EXPECT_EQ(std::tuple(view_.scaleX, view_.pictureX), std::tuple(2.0, 0.0f));
}

}  // namespace
}  // namespace orva
