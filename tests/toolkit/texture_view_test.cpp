// The texture view: rotation merges and read regions by hand-computed tables; on a real
// GL window under the X server (skipped without $DISPLAY) the picture and outlines read
// back from the back buffer, the marker regions, presses and drags sent as X pointer
// events through the window procedure, and the read-back of the main window's pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "gl_test_support.h"
#include "toolkit/input.h"
#include "toolkit/texture_view.h"

namespace orva {
namespace {

using namespace testing_util;

TextureViewTransform Rotation(double angle, bool flipX = false) {
    TextureViewTransform t;
    t.rotateOn = angle != 0 ? 1 : 0;
    t.angle = angle;
    t.flipX = t.flipped = flipX ? 1 : 0;
    t.rotationActive = (t.rotateOn | t.flipped) != 0 ? 1 : 0;
    return t;
}

TEST(TextureViewMergeTest, AnglesRightAnglesAndFlips) {
    struct Case {
        double image, caller;
        bool imageFlip, callerFlip;
        double angle;
        uint8_t rotateOn, rightAngle, flipX, active;
        double cosA, sinA;
    } cases[] = {
        {350, 30, false, false, 20, 1, 0, 0, 1, std::cos(20 * M_PI / 180), std::sin(20 * M_PI / 180)},
        {45, 45, false, false, 90, 1, 1, 0, 1, 0.0, 1.0},
        {200, 160, false, false, 0, 0, 1, 0, 0, 1.0, 0.0},     // a full turn: no rotation
        {0, 0, true, true, 0, 0, 1, 0, 0, 1.0, 0.0},           // two flips cancel
        {30, 0, true, false, 30, 1, 1, 1, 1, 1.0, 0.0},        // caller without rotation: left as it was
        {-100, 10, false, true, -90, 1, 1, 1, 1, 0.0, -1.0},
    };
    for (const Case& c : cases) {
        TextureViewTransform image = Rotation(c.image, c.imageFlip);
        TextureView::MergeTransform(&image, Rotation(c.caller, c.callerFlip));
        EXPECT_NEAR(image.angle, c.angle, 1e-12) << c.image << "+" << c.caller;
        EXPECT_EQ(image.rotateOn, c.rotateOn) << c.image << "+" << c.caller;
        EXPECT_EQ(image.flipX, c.flipX) << c.image << "+" << c.caller;
        EXPECT_EQ(image.rotationActive, c.active) << c.image << "+" << c.caller;
        if (c.caller != 0) {
            EXPECT_EQ(image.rightAngle, c.rightAngle) << c.image << "+" << c.caller;
            EXPECT_NEAR(image.cosA, c.cosA, 1e-12) << c.image << "+" << c.caller;
            EXPECT_NEAR(image.sinA, c.sinA, 1e-12) << c.image << "+" << c.caller;
        }
    }
    TextureViewTransform right = Rotation(45);
    TextureView::MergeTransform(&right, Rotation(45));
    EXPECT_EQ(right.cosA, 0.0);  // exact at the right angle
    EXPECT_EQ(right.sinA, 1.0);
}

TEST(TextureViewMergeTest, ReadRegionsAreCutAndCentred) {
    struct Case {
        TextureRegion in;
        int32_t windowW, windowH;
        TextureRegion out;
    } cases[] = {
        {{0, 0, 2000, 1000}, 4000, 4000, {680, 340, 640, 320}},   // factor 0.32
        {{10, 20, 500, 1500}, 4000, 4000, {10, 370, 500, 800}},   // height cut, moved by 350
        {{5, 0, 1500, 500}, 4000, 4000, {355, 0, 800, 500}},      // width cut, moved by 350
        {{100, 50, 500, 500}, 400, 300, {100, 50, 300, 250}},     // cut to the window
        {{400, 0, 10, 10}, 400, 300, {400, 0, 0, 10}},            // starts beyond it
        {{0, 0, 800, 800}, 1000, 1000, {0, 0, 800, 800}},         // exactly 640000
    };
    for (const Case& c : cases) {
        TextureRegion r = c.in;
        TextureView::FitReadRegion(&r, c.windowW, c.windowH);
        EXPECT_EQ(r.x, c.out.x) << c.in.width << "x" << c.in.height;
        EXPECT_EQ(r.y, c.out.y) << c.in.width << "x" << c.in.height;
        EXPECT_EQ(r.width, c.out.width) << c.in.width << "x" << c.in.height;
        EXPECT_EQ(r.height, c.out.height) << c.in.width << "x" << c.in.height;
    }
}

TextureViewFrame Frame(int32_t width, int32_t height, int32_t channels, const uint8_t* pixels) {
    TextureViewFrame f;
    f.width = width;
    f.height = height;
    f.channels = channels;
    f.pixels = pixels;
    return f;
}

struct Moves {
    std::vector<std::pair<float, float>> steps;
    int presses = 0;
};
void OnMove(void* owner, float dx, float dy) { static_cast<Moves*>(owner)->steps.push_back({dx, dy}); }
bool OnPress(void* owner) {
    ++static_cast<Moves*>(owner)->presses;
    return false;
}
std::vector<std::pair<int32_t, std::string>> gStatus;
void RecordStatus(int32_t group, int32_t code, uint32_t flags, const char* text) {
    EXPECT_EQ(std::tuple(group, flags), std::tuple(0, 7u));
    gStatus.push_back({code, text != nullptr ? text : ""});
}

class TextureViewGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window_ = InitWithFrame(30, 30, 500, 360);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(gWinOpen(window_, "Overview", kStyleShown));
        PumpFor(300);
        ASSERT_NE(view_.Create(window_, {150, 100, 200, 100}, &moves_), nullptr);
        view_.moveHandler = OnMove;
        view_.pressHandler = OnPress;
        SetTextureViewStatusHook(RecordStatus);
        gStatus.clear();
        ASSERT_TRUE(gWinMakeCurrent(window_));
    }
    void TearDown() override {
        if (window_ == nullptr) return;
        SetTextureViewStatusHook(nullptr);
        FakeButton(false);
        gShutdown();
        EXPECT_EQ(view_.widget, nullptr);  // closed with its window
    }
    // Pointer at a point of the widget (upward coordinates).
    void PointAt(float x, float y) {
        FakeMotionIn(window_, static_cast<int>(150 + x), static_cast<int>(window_->clientHeight - (100 + y)));
    }
    static void Button(bool down) {
        FakeButton(down);
        PumpFor(60);
    }
    std::vector<uint8_t> Painted() {
        PaintWindow(window_);
        return ReadBack(window_);
    }
    const uint8_t* At(const std::vector<uint8_t>& p, int x, int y) {
        return &p[(static_cast<size_t>(y) * window_->clientWidth + x) * 3];
    }

    gWindow* window_ = nullptr;
    TextureView view_{};
    Moves moves_;
};

TEST_F(TextureViewGlTest, UploadDrawsScaledPictureAndOutlines) {
    // A 100 x 50 frame for 400 x 200 data pixels: view scale 0.5, drawn twice as large.
    std::vector<uint8_t> frame(100 * 50 * 3);
    std::mt19937 rng(3);
    for (auto& b : frame) b = static_cast<uint8_t>(rng() >> 24);
    TextureViewFrame f = Frame(100, 50, 3, frame.data());
    f.word1 = 11;
    view_.Upload(&f, {400, 200});
    EXPECT_EQ(std::tuple(view_.scaleX, view_.centred, view_.frameWord1), std::tuple(0.5, 1, 11u));
    EXPECT_EQ(view_.image.transform.scaleX, 2.0);
    ASSERT_EQ(view_.widget->shown, 1);
    std::vector<uint8_t> p = Painted();
    int bad = 0;
    for (int y = 2; y < 98; ++y)
        for (int x = 2; x < 198; ++x)
            for (int c = 0; c < 3; ++c)
                bad += At(p, 150 + x, 100 + y)[c] != frame[((y / 2) * 100 + x / 2) * 3 + c];
    EXPECT_EQ(bad, 0);

    // A region starting left of the data: the marker sits right of the picture's edge.
    view_.SetVisibleRect({-40, 20, 200, 100}, {400, 200});
    EXPECT_EQ(std::tuple(view_.active, view_.markerX, view_.markerY), std::tuple(1, 20.0f, 0.0f));
    EXPECT_EQ(std::tuple(view_.markerWidth, view_.readX, view_.readWidth, view_.readY), std::tuple(100.0f, 0, 160, 20));
    EXPECT_EQ(std::tuple(view_.readHeight, view_.readDestY, view_.extentX), std::tuple(100, 10.0f, 20.0f));
    // Overflowing the data on the right: the marker moves left by the overflow.
    view_.SetVisibleRect({350, 0, 100, 50}, {400, 200});
    EXPECT_EQ(std::tuple(view_.markerX, view_.readWidth), std::tuple(-25.0f, 50));
    // Entirely beyond the data: nothing to read, inactive.
    view_.SetVisibleRect({400, 0, 100, 50}, {400, 200});
    EXPECT_EQ(std::tuple(view_.active, view_.readWidth), std::tuple(0, 0));

    // The extent outline (dashed, pink) and the marker (grey) on the painted window.
    // Edges placed on pixel centres: the marker's lower edge on row 10, the extent's
    // upper edge (-20.5 + 100 + 1) on row 80.
    view_.SetVisibleRect({100, 41, 100, 60}, {400, 200});
    view_.centred = 0;
    view_.markerX = view_.markerY = 10.5f;
    p = Painted();
    EXPECT_EQ(std::vector<uint8_t>(At(p, 150 + 30, 100 + 10), At(p, 150 + 30, 100 + 10) + 3),
              (std::vector<uint8_t>{204, 204, 204}));
    int pink = 0;
    for (int x = 0; x < 200; ++x) {
        const uint8_t* px = At(p, 150 + x, 100 + 80);
        pink += px[0] == 255 && (px[1] == 178 || px[1] == 179) && px[2] == px[1];
    }
    EXPECT_GT(pink, 50);  // dashed: about half of the 151 pixels
    EXPECT_LT(pink, 110);
    // An invalid fit turns the view off and frees the texture.
    EXPECT_FALSE(view_.FitImage({0, 10}));
    EXPECT_EQ(std::tuple(view_.image.texture, view_.widget->shown), std::tuple(0u, 0));
}

TEST_F(TextureViewGlTest, PressesRecentreAndDragsMoveTheMarkerClamped) {
    std::vector<uint8_t> frame(200 * 100, 90);
    TextureViewFrame f = Frame(200, 100, 1, frame.data());
    view_.Upload(&f, {400, 200});
    view_.SetVisibleRect({100, 50, 100, 50}, {400, 200});  // marker 50 x 25 at (0, 0)
    PumpFor(100);
    // Within 10 pixels of the picture centre (100, 50): the marker centres there.
    PointAt(106, 45);
    Button(true);
    ASSERT_EQ(moves_.steps.size(), 1u);
    EXPECT_EQ(moves_.steps[0], std::make_pair(75.0f, 37.5f));
    EXPECT_EQ(moves_.presses, 1);
    ASSERT_FALSE(gStatus.empty());
    EXPECT_EQ(gStatus.back(), std::make_pair(-2, std::string(kTextureViewHint)));
    Button(false);
    EXPECT_EQ(gStatus.back(), std::make_pair(0, std::string()));

    // Inside the marker (75..125, 37.5..62.5), away from the centre: nothing moves ...
    moves_.steps.clear();
    PointAt(80, 40);
    Button(true);
    EXPECT_TRUE(moves_.steps.empty());
    // ... and dragging moves the marker with the pointer.
    PointAt(110, 60);
    ASSERT_FALSE(moves_.steps.empty());
    EXPECT_EQ(std::tuple(view_.markerX, view_.markerY), std::tuple(105.0f, 57.5f));
    float dx = 0, dy = 0;
    for (auto& s : moves_.steps) dx += s.first, dy += s.second;
    EXPECT_EQ(std::tuple(dx, dy), std::tuple(30.0f, 20.0f));
    // Far left and up: the marker leaves the widget only by its own width on the left.
    PointAt(-140, 300 - 100);
    EXPECT_EQ(std::tuple(view_.markerX, view_.markerY), std::tuple(-50.0f, 100.0f));
    Button(false);

    // Four pixels or more outside the marker: it centres on the point.
    moves_.steps.clear();
    view_.markerX = view_.markerY = 0;
    PointAt(180, 80);
    Button(true);
    Button(false);
    ASSERT_EQ(moves_.steps.size(), 1u);
    EXPECT_EQ(std::tuple(view_.markerX, view_.markerY), std::tuple(155.0f, 67.5f));
}

TEST_F(TextureViewGlTest, ReadBackTakesTheSourceWindowsBackBuffer) {
    view_.sourceWindow = window_;
    ASSERT_TRUE(view_.FitImage({400, 300}));
    view_.SetVisibleRect({40, 30, 120, 60}, {400, 300});
    ASSERT_EQ(view_.active, 1);
    ASSERT_NE(view_.readBuffer, nullptr);
    EXPECT_EQ(view_.readDestWidth, 60.0f);
    // The main window's frame: a known colour in two halves.
    ASSERT_TRUE(gWinMakeCurrent(window_));
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.2f, 0.4f, 0.6f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    OrthoProjection(0, window_->clientWidth, 0, window_->clientHeight);
    glColor3ub(10, 250, 30);
    glRecti(100, 0, 500, 400);
    view_.ReadBack();
    int bad = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint8_t* px = &view_.readBuffer[(y * 120 + x) * 3];
            const uint8_t want[3] = {static_cast<uint8_t>(x + 40 >= 100 ? 10 : 51),
                                     static_cast<uint8_t>(x + 40 >= 100 ? 250 : 102),
                                     static_cast<uint8_t>(x + 40 >= 100 ? 30 : 153)};
            bad += px[0] != want[0] || px[1] != want[1] || px[2] != want[2];
        }
    EXPECT_EQ(bad, 0);
    view_.Close();
    EXPECT_EQ(std::tuple(view_.readBuffer, view_.widget), std::tuple(nullptr, nullptr));
}

// The owner's fit as a test double: a fixed box, the size it was asked for recorded.
TextureSize gFitSize;
void FixedFit(TextureViewTransform*, TextureFitResult* result, TextureSize size) {
    gFitSize = size;
    *result = TextureFitResult{-3, 0.5, 10, 10};
}

TEST_F(TextureViewGlTest, ConvertAndUploadKeepsAspectAndPlacesTheTransformedPicture) {
    std::vector<uint8_t> frame(50 * 50 * 4, 200);
    TextureViewFrame f = Frame(50, 50, 4, frame.data());
    // A square in the 200 x 100 widget: scale 2, centred horizontally.
    TextureZoom aspect{1, 2.0, 1.0};
    view_.fit = FixedFit;
    ASSERT_TRUE(view_.ConvertAndUpload(&f, nullptr, &aspect, {50, 50}));
    EXPECT_EQ(gFitSize.width, 50);
    EXPECT_EQ(view_.scaleX, 2.0);  // 100 x 50 after the aspect, twice as large in the widget
    EXPECT_EQ(view_.pictureX, 0.0f);
    EXPECT_EQ(view_.drawOffsetX, 6.0f);  // 0 - (-3 x 2)
    EXPECT_EQ(std::tuple(view_.drawOffsetY, view_.centred), std::tuple(-0.5f, 0));
    EXPECT_EQ(view_.image.transform.enabled, 1);  // the aspect zoom is drawn through it

    // The built-in fit: a 90 degree caller rotation of a 100 x 50 picture in the widget.
    view_.fit = nullptr;
    std::vector<uint8_t> wide(100 * 50 * 3, 7);
    f.width = 100;
    f.channels = 3;
    f.pixels = wide.data();
    TextureViewTransform turn = Rotation(90);
    ASSERT_TRUE(view_.ConvertAndUpload(&f, &turn, nullptr, {100, 50}));
    EXPECT_EQ(std::tuple(view_.scaleX, view_.image.transform.rotateOn), std::tuple(2.0, 1));
    EXPECT_EQ(view_.image.transform.centreX, 100.0);  // the scaled picture's centre
    // Rotated about (100, 50) the 200 x 100 picture spans x 50..150, y -50..150.
    EXPECT_EQ(std::tuple(view_.drawOffsetX, view_.drawOffsetY), std::tuple(-50.0f, 50.0f));
    EXPECT_FALSE(view_.ConvertAndUpload(&f, nullptr, nullptr, {0, 50}));
    EXPECT_EQ(view_.image.texture, 0u);
}

// A picture whose pixels the owner gave back is shown again from the texels the texture
// holds: the painted view is the same, with the transform applied anew, and only uploads
// of pixels give the view a new stamp.
TEST_F(TextureViewGlTest, KeptTexelsAreShownAgainWithoutPixels) {
    std::vector<uint8_t> frame(100 * 50 * 3);
    std::mt19937 rng(5);
    for (auto& b : frame) b = static_cast<uint8_t>(rng() >> 24);
    TextureViewFrame f = Frame(100, 50, 3, frame.data());
    ASSERT_TRUE(view_.ConvertAndUpload(&f, nullptr, nullptr, {100, 50}));
    const uint64_t stamp = view_.pictureStamp;
    EXPECT_NE(stamp, 0u);
    const std::vector<uint8_t> shown = Painted();
    // Flipped in y, the same picture through the kept texels.
    TextureViewFrame kept = Frame(100, 50, 3, nullptr);
    kept.keepTexels = 1;
    kept.transform.enabled = kept.transform.flipY = kept.transform.flipped = kept.transform.rotationActive = 1;
    ASSERT_TRUE(view_.ConvertAndUpload(&kept, nullptr, nullptr, {100, 50}));
    EXPECT_EQ(view_.pictureStamp, stamp);
    const std::vector<uint8_t> flipped = Painted();
    int bad = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            bad += std::memcmp(At(flipped, 150 + x, 100 + y), At(shown, 150 + x, 199 - y), 3) != 0;
    // The mirrored quad's edge may be rasterised a pixel apart.
    EXPECT_LE(bad, 2);
    // Unflipped again: the first picture exactly.
    kept.transform = TextureViewTransform{};
    ASSERT_TRUE(view_.ConvertAndUpload(&kept, nullptr, nullptr, {100, 50}));
    EXPECT_TRUE(Painted() == shown);
    // Pixels again: a new stamp.
    ASSERT_TRUE(view_.ConvertAndUpload(&f, nullptr, nullptr, {100, 50}));
    EXPECT_GT(view_.pictureStamp, stamp);
}

TEST_F(TextureViewGlTest, AFrameShownSmallKeepsOnlyTheTexelsItDraws) {
    // 800 x 400 pixels in the 200 x 100 view: a quarter of their size, one texel for each
    // 4 x 4 block (its pixel at +2, +2), drawn exactly as the nearest texel of the whole
    // frame would be.
    std::vector<uint8_t> frame(800 * 400 * 3);
    std::mt19937 rng(9);
    for (auto& b : frame) b = static_cast<uint8_t>(rng() >> 24);
    TextureViewFrame f = Frame(800, 400, 3, frame.data());
    ASSERT_TRUE(view_.ConvertAndUpload(&f, nullptr, nullptr, {800, 400}));
    EXPECT_EQ(std::tuple(view_.image.step, view_.image.textureWidth, view_.image.textureHeight),
              std::tuple(4, 256, 128));
    EXPECT_EQ(std::tuple(view_.image.usedWidth, view_.image.usedHeight), std::tuple(800, 400));
    std::vector<uint8_t> p = Painted();
    int bad = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            bad += std::memcmp(At(p, 150 + x, 100 + y), &frame[((4 * y + 2) * 800 + 4 * x + 2) * 3], 3) != 0;
    EXPECT_EQ(bad, 0);

    // Drawn four times as large, the kept texels are too few: refused, so that the caller
    // hands the pixels again; with them the texture holds every pixel.
    TextureViewFrame kept = Frame(800, 400, 3, nullptr);
    kept.keepTexels = 1;
    TextureViewTransform zoom;
    zoom.scaleX = zoom.scaleY = 4.0;
    EXPECT_FALSE(view_.ConvertAndUpload(&kept, &zoom, nullptr, {800, 400}));
    ASSERT_TRUE(view_.ConvertAndUpload(&f, &zoom, nullptr, {800, 400}));
    EXPECT_EQ(std::tuple(view_.image.step, view_.image.textureWidth, view_.image.textureHeight),
              std::tuple(1, 1024, 512));
}

}  // namespace
}  // namespace orva
