// Texture images on a real GL window under the X server (GL parts skipped without
// $DISPLAY): texture sizes, tile layouts, and pixels drawn 1:1 and read back from the
// back buffer before any swap, compared with the source pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "gl_test_support.h"
#include "test_support.h"
#include "toolkit/texture_image.h"

namespace orva {
namespace {

using namespace testing_util;

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng() >> 24);
    return v;
}

TEST(TextureImageFitTest, SizesCountsAndTheTooManyTilesLine) {
    ProgramLogCapture log;
    struct Case {
        int32_t w, h, limit, tw, th;
        uint32_t count;
    } cases[] = {
        {600, 400, 1024, 1024, 512, 1},  {3000, 1000, 1024, 1024, 1024, 3}, {2048, 2048, 1024, 1024, 1024, 4},
        {1024, 1024, 1024, 1024, 1024, 1}, {0, 0, 1024, 0, 0, 1},           {1, 1, 1024, 1, 1, 1},
        {1025, 3, 1024, 1024, 4, 2},     {320, 320, 64, 64, 64, 16},        {100, 100, 0, 0, 0, 0},
        {700, 5, 1000, 512, 8, 2},  // a limit that is no power of two counts as the one below
    };
    for (const Case& c : cases) {
        TextureSize size{c.w, c.h};
        EXPECT_EQ(TextureImage::FitSize(&size, c.limit), c.count) << c.w << "x" << c.h;
        EXPECT_EQ(size.width, c.tw) << c.w << "x" << c.h;
        EXPECT_EQ(size.height, c.th) << c.w << "x" << c.h;
    }
    EXPECT_EQ(log.Text(), "$ Can`t create many textures, big size, count 25, max 16, please setup...\n");
}

class TextureImageGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        saved_ = gTextureLimits();
        window_ = InitWithFrame(0, 0, 1000, 760, kStyleMain);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(gWinOpen(window_, "Texture", kStyleShown));
        ASSERT_TRUE(gWinMakeCurrent(window_));
        w_ = window_->clientWidth;
        h_ = window_->clientHeight;
        ASSERT_GE(w_, 512);
        ASSERT_GE(h_, 400);
        glViewport(0, 0, w_, h_);
        OrthoProjection(0, w_, 0, h_);  // frame row 0 at the bottom: read-back row 0
        glDisable(GL_BLEND);
        glDisable(GL_DITHER);
        glDisable(GL_DEPTH_TEST);
        glClearColor(0, 0, 0, 0);
        glColor3f(1, 1, 1);
    }
    void TearDown() override {
        if (window_ == nullptr) return;
        gTextureLimits() = saved_;
        platform::SwapBuffers(window_->hdc);
        CloseToolkit();
        EXPECT_EQ(platform::LiveWindowCount(), 0u);
    }
    // Draws the list with the frame shifted by (-ox, -oy) and reads the window's back
    // buffer: pixel (x, y) of the result is frame pixel (ox + x, oy + y).
    std::vector<uint8_t> DrawAndRead(const TextureImage& image, int ox, int oy) {
        glClear(GL_COLOR_BUFFER_BIT);
        glPushMatrix();
        glTranslatef(static_cast<float>(-ox), static_cast<float>(-oy), 0);
        glCallList(image.list);
        glPopMatrix();
        std::vector<uint8_t> out = ReadBack(window_);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        return out;
    }
    // Compares the drawn window with an RGB frame of fw x fh at offset (ox, oy); pixels
    // outside the frame must stay the clear colour. Returns the number of mismatches.
    int Compare(const std::vector<uint8_t>& drawn, const uint8_t* frame, int fw, int fh, int ox, int oy,
                int shownW = -1, int shownH = -1) {
        if (shownW < 0) shownW = fw;
        if (shownH < 0) shownH = fh;
        int bad = 0;
        for (int y = 0; y < h_; ++y) {
            for (int x = 0; x < w_; ++x) {
                int fx = ox + x, fy = oy + y;
                bool inside = fx < fw && fy < fh && fx < shownW && fy < shownH;
                for (int c = 0; c < 3; ++c) {
                    uint8_t want = inside ? frame[(static_cast<size_t>(fy) * fw + fx) * 3 + c] : 0;
                    uint8_t got = drawn[(static_cast<size_t>(y) * w_ + x) * 3 + c];
                    if (got != want && bad++ < 5) ADD_FAILURE() << "pixel " << fx << "," << fy << " channel " << c;
                }
            }
        }
        return bad;
    }
    GLint InternalFormat(uint32_t texture) {
        GLint value = 0;
        glBindTexture(GL_TEXTURE_2D, texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
        return value;
    }
    GLint EnvMode() {
        GLint mode = 0;
        glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
        return mode;
    }

    gWindow* window_ = nullptr;
    int w_ = 0, h_ = 0;
    gTextureSizeLimits saved_;
};

TEST_F(TextureImageGlTest, SingleFormSizesFormatsAndPixels) {
    gTextureLimits().rgb8 = 1024;
    TextureImage image{};
    EXPECT_TRUE(image.Release());  // empty: still true
    std::vector<uint8_t> rgb = RandomBytes(600 * 400 * 3, 1);
    ASSERT_TRUE(image.Upload(window_, rgb.data(), 3, false, {600, 400}));
    EXPECT_EQ(std::tuple(image.textureWidth, image.textureHeight, image.sMax), std::tuple(1024, 512, 0.5859375f));
    EXPECT_EQ(std::tuple(image.tMax, image.count, image.layout), std::tuple(0.78125f, 1u, 0u));
    EXPECT_EQ(EnvMode(), GL_DECAL);
    EXPECT_EQ(Compare(DrawAndRead(image, 0, 0), rgb.data(), 600, 400, 0, 0), 0);

    // RGBA of the same size: storage redefined in the new format; opaque alpha draws
    // the texture colour under the decal mode.
    std::vector<uint8_t> rgba = RandomBytes(600 * 400 * 4, 2);
    std::vector<uint8_t> rgbOfRgba(600 * 400 * 3);
    for (size_t i = 0; i < 600 * 400; ++i) {
        rgba[i * 4 + 3] = 255;
        for (int c = 0; c < 3; ++c) rgbOfRgba[i * 3 + c] = rgba[i * 4 + c];
    }
    uint32_t texture = image.texture;
    ASSERT_TRUE(image.Upload(window_, rgba.data(), 4, false, {600, 400}));
    EXPECT_EQ(std::tuple(image.texture, image.layout), std::tuple(texture, kTextureLayoutRgba));
    EXPECT_EQ(InternalFormat(image.texture), GL_RGBA8);
    EXPECT_EQ(Compare(DrawAndRead(image, 0, 0), rgbOfRgba.data(), 600, 400, 0, 0), 0);

    // A smaller picture keeps the storage; only the used part and sMax/tMax shrink.
    ASSERT_TRUE(image.Upload(window_, rgb.data(), 3, false, {100, 50}));
    EXPECT_EQ(std::tuple(image.textureWidth, image.textureHeight, image.sMax), std::tuple(1024, 512, 100.0f / 1024.0f));
    EXPECT_EQ(image.tMax, 50.0f / 512.0f);
    EXPECT_EQ(InternalFormat(image.texture), GL_RGB8);

    // Drawn through a transform: scaled by 2 first, then flipped in x.
    image.transform.enabled = 1;
    image.transform.scaleOn = image.transform.scaledX = image.transform.scaledY = 1;
    image.transform.scaleX = image.transform.scaleY = 2.0;
    image.transform.inverseScaleX = image.transform.inverseScaleY = 0.5;
    image.transform.flipX = 1;
    ASSERT_TRUE(image.Upload(window_, rgb.data(), 3, false, {100, 50}));
    std::vector<uint8_t> drawn = DrawAndRead(image, 0, 0);
    std::vector<uint8_t> want(200 * 100 * 3);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 200; ++x)
            for (int c = 0; c < 3; ++c) want[(y * 200 + x) * 3 + c] = rgb[((y / 2) * 100 + (99 - x / 2)) * 3 + c];
    EXPECT_EQ(Compare(drawn, want.data(), 200, 100, 0, 0), 0);

    // A zero size empties the record.
    EXPECT_TRUE(image.Upload(window_, nullptr, 3, false, {0, 0}));
    EXPECT_EQ(std::tuple(image.texture, image.list, image.count), std::tuple(0u, 0u, 0u));
    EXPECT_FALSE(image.Upload(window_, rgb.data(), 5, false, {10, 10}));
    EXPECT_FALSE(image.Upload(nullptr, rgb.data(), 3, false, {10, 10}));
}

TEST_F(TextureImageGlTest, SingleFormLuminanceWideAndSixteenBit) {
    // 1 x 1 luminance: a 1 x 1 texture, modulated by the (white) current colour.
    TextureImage one{};
    uint8_t grey = 0x9C;
    ASSERT_TRUE(one.Upload(window_, &grey, 1, false, {1, 1}));
    EXPECT_EQ(std::tuple(one.textureWidth, one.textureHeight), std::tuple(1, 1));
    EXPECT_EQ(EnvMode(), GL_MODULATE);
    EXPECT_EQ(InternalFormat(one.texture), GL_LUMINANCE8);
    uint8_t greyRgb[3] = {grey, grey, grey};
    EXPECT_EQ(Compare(DrawAndRead(one, 0, 0), greyRgb, 1, 1, 0, 0), 0);

    // Two samples per pixel: the first of each pair is the luminance.
    std::vector<uint8_t> pairs = RandomBytes(37 * 11 * 2, 3);
    std::vector<uint8_t> pairsRgb(37 * 11 * 3);
    for (size_t i = 0; i < 37 * 11; ++i)
        for (int c = 0; c < 3; ++c) pairsRgb[i * 3 + c] = pairs[i * 2];
    ASSERT_TRUE(one.Upload(window_, pairs.data(), 2, false, {37, 11}));
    EXPECT_EQ(std::tuple(one.textureWidth, one.textureHeight), std::tuple(64, 16));
    // The decal mode set meanwhile by another image does not leak into this one's list.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    EXPECT_EQ(Compare(DrawAndRead(one, 0, 0), pairsRgb.data(), 37, 11, 0, 0), 0);
    EXPECT_TRUE(one.Release());

    // Wider and taller than the limit: the texture shows the top-left limit x limit.
    gTextureLimits().rgb8 = 256;
    TextureImage wide{};
    std::vector<uint8_t> rgb = RandomBytes(300 * 280 * 3, 4);
    ASSERT_TRUE(wide.Upload(window_, rgb.data(), 3, false, {300, 280}));
    EXPECT_EQ(std::tuple(wide.textureWidth, wide.usedWidth, wide.usedHeight), std::tuple(256, 256, 256));
    EXPECT_EQ(wide.sMax, 1.0f);
    EXPECT_EQ(Compare(DrawAndRead(wide, 0, 0), rgb.data(), 300, 280, 0, 0, 256, 256), 0);
    GLint rowLength = -1;
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
    EXPECT_EQ(rowLength, 0);
    wide.Release();

    // 16-bit samples are held to their own limit and kept exactly.
    gTextureLimits().rgb16 = 0;
    std::vector<uint16_t> deep(5 * 3 * 3);
    for (size_t i = 0; i < deep.size(); ++i) deep[i] = static_cast<uint16_t>(i * 4099 + 17);
    EXPECT_FALSE(wide.Upload(window_, deep.data(), 3, true, {5, 3}));
    gTextureLimits().rgb16 = 4;
    ASSERT_TRUE(wide.Upload(window_, deep.data(), 3, true, {5, 3}));
    EXPECT_EQ(std::tuple(wide.layout, wide.textureWidth, wide.textureHeight), std::tuple(kTextureLayout16Bit, 4, 4));
    std::vector<uint16_t> back(4 * 4 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_SHORT, back.data());
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(back[(y * 4 + x) * 3 + c], deep[(y * 5 + x) * 3 + c]);
    wide.Release();
}

TEST_F(TextureImageGlTest, SingleFormWithAStepKeepsTheMiddlePixelOfEachBlock) {
    gTextureLimits().rgb8 = 1024;
    // 37 x 21 RGB pixels, one texel for each 4 x 4 block: 10 x 6 texels in a 16 x 8
    // texture, drawn at the picture's full size. Screen pixel (x, y) shows pixel
    // (4 (x / 4) + 2, 4 (y / 4) + 2), the last block's cut short by the edge (x 36, y 20).
    std::vector<uint8_t> rgb = RandomBytes(37 * 21 * 3, 4);
    TextureImage image{};
    ASSERT_TRUE(image.Upload(window_, rgb.data(), 3, false, {37, 21}, 4));
    EXPECT_EQ(std::tuple(image.step, image.textureWidth, image.textureHeight), std::tuple(4, 16, 8));
    EXPECT_EQ(std::tuple(image.usedWidth, image.usedHeight), std::tuple(37, 21));
    EXPECT_EQ(std::tuple(image.sMax, image.tMax), std::tuple(37.0f / 64.0f, 21.0f / 32.0f));
    std::vector<uint8_t> expected(rgb.size());
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 37; ++x) {
            const int sx = std::min(x / 4 * 4 + 2, 36), sy = std::min(y / 4 * 4 + 2, 20);
            for (int c = 0; c < 3; ++c) expected[(y * 37 + x) * 3 + c] = rgb[(sy * 37 + sx) * 3 + c];
        }
    }
    EXPECT_EQ(Compare(DrawAndRead(image, 0, 0), expected.data(), 37, 21, 0, 0), 0);
    // Step 1 again: every pixel, the texture grown to hold them.
    ASSERT_TRUE(image.Upload(window_, rgb.data(), 3, false, {37, 21}));
    EXPECT_EQ(std::tuple(image.step, image.textureWidth, image.textureHeight), std::tuple(1, 64, 32));
    EXPECT_EQ(Compare(DrawAndRead(image, 0, 0), rgb.data(), 37, 21, 0, 0), 0);
    image.Release();
}

TEST_F(TextureImageGlTest, MosaicTilesSeamsAndReuse) {
    gTextureLimits().rgb8 = 1024;
    TextureImage image{};
    EXPECT_FALSE(image.FreeTiles());
    std::vector<uint8_t> big = RandomBytes(3000 * 1000 * 3, 5);
    MosaicFrame frame{3000, 1000, big.data(), 1, 0};
    ASSERT_TRUE(image.BuildMosaic(window_, &frame));
    ASSERT_EQ(image.count, 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::tuple(image.tiles[i].x, image.tiles[i].y), std::tuple(1024 * i, 0));
        EXPECT_EQ(std::tuple(image.tiles[i].usedHeight, image.tiles[i].textureWidth), std::tuple(1000, 1024));
        EXPECT_EQ(image.tiles[i].textureHeight, 1024);
    }
    EXPECT_EQ(std::tuple(image.tiles[2].usedWidth, image.tiles[2].sMax), std::tuple(952, 952.0f / 1024.0f));
    EXPECT_EQ(image.tiles[0].sMax, 1.0f);
    EXPECT_EQ(InternalFormat(image.tiles[1].texture), GL_RGB8);
    // Both seams (1023/1024 and 2047/2048) and the top rows.
    EXPECT_EQ(Compare(DrawAndRead(image, 600, 300), big.data(), 3000, 1000, 600, 300), 0);
    EXPECT_EQ(Compare(DrawAndRead(image, 2000, 0), big.data(), 3000, 1000, 2000, 0), 0);

    // Four full tiles: the vertical seam too, and texture corners exactly 1.0.
    std::vector<uint8_t> square = RandomBytes(2048 * 2048 * 3, 6);
    frame = {2048, 2048, square.data(), 1, 0};
    ASSERT_TRUE(image.BuildMosaic(window_, &frame));
    ASSERT_EQ(image.count, 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::tuple(image.tiles[i].sMax, image.tiles[i].tMax), std::tuple(1.0f, 1.0f));
        EXPECT_EQ(image.tiles[i].x, 1024 * (i % 2));
        EXPECT_EQ(image.tiles[i].y, 1024 * (i / 2));
    }
    EXPECT_EQ(Compare(DrawAndRead(image, 700, 700), square.data(), 2048, 2048, 700, 700), 0);
    uint32_t fourth = image.tiles[3].texture;

    // A smaller frame: fewer tiles, storage kept, surplus tiles kept for reuse.
    std::vector<uint8_t> small = RandomBytes(600 * 400 * 3, 7);
    frame = {600, 400, small.data(), 1, 0};
    ASSERT_TRUE(image.BuildMosaic(window_, &frame));
    EXPECT_EQ(std::tuple(image.count, image.tiles[0].textureHeight), std::tuple(1u, 1024));
    EXPECT_EQ(std::tuple(image.tiles[0].sMax, image.tiles[0].tMax), std::tuple(600.0f / 1024.0f, 400.0f / 1024.0f));
    EXPECT_EQ(image.tiles[3].texture, fourth);
    EXPECT_EQ(Compare(DrawAndRead(image, 0, 0), small.data(), 600, 400, 0, 0), 0);

    // Tile 0 keeps a 1024-high storage while the new frame needs only 512 rows: the
    // first row's tiles grow to tile 0's height from a zero buffer that must cover it.
    TextureImage grown{};
    std::vector<uint8_t> half = RandomBytes(1500 * 1000 * 3, 11);
    frame = {1500, 1000, half.data(), 1, 0};
    ASSERT_TRUE(grown.BuildMosaic(window_, &frame));
    EXPECT_EQ(grown.tiles[1].textureWidth, 512);
    std::vector<uint8_t> strip = RandomBytes(3000 * 400 * 3, 8);
    frame = {3000, 400, strip.data(), 1, 0};
    ASSERT_TRUE(grown.BuildMosaic(window_, &frame));
    EXPECT_EQ(std::tuple(grown.count, grown.tiles[1].textureWidth), std::tuple(3u, 1024));
    EXPECT_EQ(std::tuple(grown.tiles[1].textureHeight, grown.tiles[2].usedWidth), std::tuple(1024, 952));
    EXPECT_EQ(grown.tiles[2].tMax, 400.0f / 1024.0f);
    EXPECT_EQ(Compare(DrawAndRead(grown, 600, 0), strip.data(), 3000, 400, 600, 0), 0);
    EXPECT_TRUE(grown.FreeTiles());
    frame = {3000, 400, strip.data(), 1, 0};
    ASSERT_TRUE(image.BuildMosaic(window_, &frame));

    // Filtering and environment re-applied to every tile.
    glBindTexture(GL_TEXTURE_2D, image.tiles[2].texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    image.SetNearest(nullptr);
    GLint filter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    image.SetNearest(window_);
    glBindTexture(GL_TEXTURE_2D, image.tiles[2].texture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    image.SetDecal(window_);
    EXPECT_EQ(EnvMode(), GL_DECAL);

    // An absent frame empties the mosaic.
    frame.present = 0;
    EXPECT_TRUE(image.BuildMosaic(window_, &frame));
    EXPECT_EQ(std::tuple(image.count, image.list), std::tuple(0u, 0u));
    for (const MosaicTile& tile : image.tiles) EXPECT_EQ(tile.texture, 0u);
    EXPECT_FALSE(image.FreeTiles());
    EXPECT_FALSE(image.BuildMosaic(nullptr, &frame));
}

TEST_F(TextureImageGlTest, MosaicSixteenBitOffsetsAndTooManyTiles) {
    // 16-bit: four tiles of a 100 x 70 frame at limit 64; each tile's texels match the
    // frame exactly at 16 bits.
    gTextureLimits().rgb16 = 64;
    std::vector<uint16_t> deep(100 * 70 * 3);
    std::mt19937 rng(9);
    for (auto& v : deep) v = static_cast<uint16_t>(rng());
    TextureImage image{};
    MosaicFrame frame{100, 70, deep.data(), 1, kMosaicFrame16Bit};
    ASSERT_TRUE(image.BuildMosaic(window_, &frame));
    ASSERT_EQ(image.count, 4u);
    struct Want {
        int x, y, w, h, tw, th;
    } want[4] = {{0, 0, 64, 64, 64, 64}, {64, 0, 36, 64, 64, 64}, {0, 64, 64, 6, 64, 8}, {64, 64, 36, 6, 64, 8}};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int i = 0; i < 4; ++i) {
        const MosaicTile& t = image.tiles[i];
        EXPECT_EQ(std::tuple(t.x, t.y, t.usedWidth), std::tuple(want[i].x, want[i].y, want[i].w));
        EXPECT_EQ(std::tuple(t.usedHeight, t.textureWidth), std::tuple(want[i].h, want[i].tw));
        EXPECT_EQ(t.textureHeight, want[i].th);
        EXPECT_EQ(t.tMax, static_cast<float>(want[i].h) / static_cast<float>(want[i].th));
        std::vector<uint16_t> back(static_cast<size_t>(t.textureWidth) * t.textureHeight * 3);
        glBindTexture(GL_TEXTURE_2D, t.texture);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_SHORT, back.data());
        int bad = 0;
        for (int y = 0; y < t.usedHeight; ++y)
            for (int x = 0; x < t.usedWidth * 3; ++x)
                bad += back[static_cast<size_t>(y) * t.textureWidth * 3 + x] !=
                       deep[static_cast<size_t>(t.y + y) * 300 + t.x * 3 + x];
        EXPECT_EQ(bad, 0) << "tile " << i;
    }
    EXPECT_EQ(InternalFormat(image.tiles[0].texture), GL_RGB16);
    EXPECT_TRUE(image.FreeTiles());

    // 25 tiles needed: 16 laid out row by row (five per row), the rest not shown.
    gTextureLimits().rgb8 = 64;
    std::vector<uint8_t> rgb = RandomBytes(320 * 320 * 3, 10);
    frame = {320, 320, rgb.data(), 1, 0};
    ASSERT_TRUE(image.BuildMosaic(window_, &frame));
    ASSERT_EQ(image.count, 16u);
    for (int i = 1; i < 16; ++i) {
        EXPECT_EQ(image.tiles[i].x, 64 * (i % 5)) << i;
        EXPECT_EQ(image.tiles[i].y, 64 * (i / 5)) << i;
    }
    std::vector<uint8_t> shown(rgb);
    for (int y = 192; y < 320; ++y)
        for (int x = 0; x < 320; ++x)
            if (y >= 256 || x >= 64)
                for (int c = 0; c < 3; ++c) shown[(static_cast<size_t>(y) * 320 + x) * 3 + c] = 0;
    EXPECT_EQ(Compare(DrawAndRead(image, 0, 0), shown.data(), 320, 320, 0, 0), 0);
    EXPECT_TRUE(image.FreeTiles());
}

}  // namespace
}  // namespace orva
