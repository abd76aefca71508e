// Fonts: the built-in raster face's data, the code page, and (with a display) lists,
// metrics, fitting, drawing and outline fonts in real GL contexts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

#include "gl_test_support.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/text_layout.h"

namespace orva {
namespace {

bool Ink(const gFaceGlyph& g, int row, int col) { return (g.bitmap[row] & (0x80 >> col)) != 0; }

TEST(FontFaceTest, BuiltinFaceFieldsAndEveryGlyphMatchesItsBitmap) {
    const gFontFace* face = gBuiltinFace();
    ASSERT_TRUE(gFontFaceCheck(face));
    EXPECT_EQ(std::tuple(face->charset, face->firstListed, face->lastListed), std::tuple(204, 0, 255));
    EXPECT_EQ(std::tuple(face->firstGlyph, face->exactMetrics, face->lineHeight), std::tuple(30, 1, 11.0f));
    EXPECT_EQ(std::tuple(face->ascent, face->descent), std::tuple(9.0f, 2.0f));
    const gGlyphMetrics& zero = face->glyphs['0'].metrics;
    EXPECT_EQ(std::tuple(zero.advance, zero.leftBearing, zero.height, zero.top), std::tuple(6.0f, 1.0f, 9.0f, 9.0f));
    EXPECT_EQ(zero.bottom, 0.0f);
    const gGlyphMetrics& space = face->glyphs[' '].metrics;
    EXPECT_EQ(std::tuple(space.advance, space.rightBearing, space.height), std::tuple(3.0f, 2.0f, 1.0f));
    EXPECT_EQ(space.bottom, -1.0f);
    // The metrics of every inked glyph follow from its bitmap (rows bottom first,
    // yOrigin rows below the baseline).
    for (int c = 0; c < 256; ++c) {
        const gFaceGlyph& g = face->glyphs[c];
        ASSERT_EQ(g.width, 8);
        ASSERT_EQ(g.height, 13);
        int left = 8, right = -1, low = 99, high = -99;
        for (int r = 0; r < 13; ++r) {
            for (int x = 0; x < 8; ++x) {
                if (!Ink(g, r, x)) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                low = std::min(low, r - g.yOrigin);
                high = std::max(high, r - g.yOrigin);
            }
        }
        if (right < 0) continue;
        const gGlyphMetrics& m = g.metrics;
        EXPECT_EQ(m.leftBearing, left) << c;
        EXPECT_EQ(m.advance - m.rightBearing, right + 1) << c;
        EXPECT_EQ(m.top, high + 1) << c;
        EXPECT_EQ(m.bottom, low) << c;
        EXPECT_EQ(m.height, high - low + 1) << c;
        EXPECT_EQ(g.xAdvance, m.advance) << c;
    }
    // The symbols the toolkit draws carry ink; plain control codes do not.
    for (int c : {0, 2, 3, 4, 22, 0x88, int('A'), 0xC0, 0xFF}) {
        bool any = false;
        for (int r = 0; r < 13; ++r) any = any || face->glyphs[c].bitmap[r] != 0;
        EXPECT_TRUE(any) << c;
    }
    EXPECT_EQ(face->glyphs[1].bitmap[5], 0);
}

TEST(FontFaceTest, FaceChecksAndCodePage) {
    gFontFace bad = *gBuiltinFace();
    EXPECT_TRUE(gFontFaceCheck(&bad));
    gFontFace wrongTag = bad;
    wrongTag.tag = FourCC("GFNX");
    gFontFace wideRange = bad;
    wideRange.lastListed = 256;
    gFontFace tall = bad;
    tall.lineHeight = 201.0f;
    gFontFace deep = bad;
    deep.descent = 12.0f;  // above both the line height and the largest advance
    gFontFace noGlyphs = bad;
    noGlyphs.glyphs = nullptr;
    for (const gFontFace* f : {&wrongTag, &wideRange, &tall, &deep, &noGlyphs}) EXPECT_FALSE(gFontFaceCheck(f));
    EXPECT_FALSE(gFontFaceCheck(nullptr));

    struct Case {
        uint8_t code;
        uint32_t cp;
    };
    // Windows-1251 as python3's cp1251 codec maps it.
    for (Case c : {Case{'A', 0x41}, Case{0x80, 0x402}, Case{0x88, 0x20AC}, Case{0x98, 0}, Case{0xA8, 0x401},
                   Case{0xB9, 0x2116}, Case{0xC0, 0x410}, Case{0xFF, 0x44F}}) {
        EXPECT_EQ(gCp1251ToUnicode(c.code), c.cp) << int(c.code);
    }
    EXPECT_STREQ(gStockFontPattern(15), gStockFontPattern(12));
}

// ---- With a display ----------------------------------------------------------------------

class FontGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        ASSERT_NE(gInit(), nullptr);
        window = gWinCreateRec(10, 10, 200, 120, nullptr, nullptr, kStyleFrameClass | kStyleMain);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(gWinMakeCurrent(window));
    }
    void TearDown() override {
        if (window != nullptr) testing_util::CloseToolkit();
    }
    // Top-left frame, y downwards, as the corner projection of top-left slots.
    void TopLeftFrame() const {
        glViewport(0, 0, window->clientWidth, window->clientHeight);
        testing_util::OrthoProjection(0, window->clientWidth, window->clientHeight, 0);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor3f(1, 1, 1);
    }
    std::vector<uint8_t> ReadBack() const { return testing_util::ReadBack(window, GL_RED); }
    static int Lit(const std::vector<uint8_t>& pixels) {
        return static_cast<int>(std::count_if(pixels.begin(), pixels.end(), [](uint8_t v) { return v > 128; }));
    }
    // Pixels of the 8x13 cell of a built-in glyph whose baseline starts at window pixel
    // (x, baseline) (from the bottom-left) that differ from its bitmap; *ink counts lit ones.
    int Mismatches(const std::vector<uint8_t>& pixels, uint8_t c, int x, int baseline, int* ink = nullptr) const {
        const gFaceGlyph& g = gBuiltinFace()->glyphs[c];
        int wrong = 0, lit = 0;
        for (int r = 0; r < 13; ++r) {
            for (int col = 0; col < 8; ++col) {
                bool on = pixels[static_cast<size_t>(baseline - g.yOrigin + r) * window->clientWidth + x + col] > 128;
                lit += on;
                wrong += on != Ink(g, r, col);
            }
        }
        if (ink != nullptr) *ink = lit;
        return wrong;
    }
    gWindow* window = nullptr;
};

TEST_F(FontGlTest, WindowGetsTheBuiltinFaceWithItsMetrics) {
    gFont* font = window->font;
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->face, gFaceValue(gBuiltinFace()));
    EXPECT_NE(font->listBase, 0u);
    EXPECT_EQ(std::tuple(font->listType, font->refCount), std::tuple(kListTypeBitmap, 1));
    EXPECT_TRUE(glIsList(font->listBase + '0'));
    EXPECT_EQ(gFontTextWidth(font, "0"), 6.0f);
    EXPECT_EQ(gFontTextWidthTrim(font, "0", true), 5.0f);
    EXPECT_EQ(gFontCharWidth(font, '0', true), 5.0f);
    EXPECT_EQ(gFontLineHeight(font), 11.0f);
    EXPECT_EQ(std::tuple(font->ascent, font->descent), std::tuple(9.0f, 2.0f));
    float descent = -1;
    EXPECT_EQ(gFontTextHeight(font, "0", &descent), 9.0f);
    EXPECT_EQ(descent, 0.0f);
    EXPECT_EQ(gFontTextHeight(font, "", &descent), 0.0f);
    float g = gBuiltinFace()->glyphs['g'].metrics.bottom;
    EXPECT_EQ(gFontTextHeight(font, "0g", &descent), 9.0f - g);
    EXPECT_EQ(descent, -g);
    EXPECT_EQ(gFontTextDescent(font, "0g"), -g);
    EXPECT_EQ(gFontTextAscent(font, "0g", nullptr), 9.0f);
    EXPECT_EQ(gFontMinAdvance(font, "0 0"), 3.0f);
    EXPECT_EQ(gFontTextWidthN(font, "000", 2), 12.0f);
    const char* list[] = {"0", "000", "00", nullptr};
    EXPECT_EQ(gFontMaxTextWidth(font, list, false), 18.0f);

    // Fitting "000" (advances 6): an exact fit counts the character; gFontFit allows
    // one pixel of overshoot.
    EXPECT_EQ(gFontFitCount(font, "000", 12.0f), 2);
    EXPECT_EQ(gFontFitCount(font, "000", 11.9f), 1);
    struct Fit {
        float room;
        bool trim;
        float width;
        int32_t count;
    };  // trimmed: -1 + 6 + 6, no right bearing
    int32_t count = -1;
    for (Fit f : {Fit{11.5f, false, 12, 2}, Fit{10.5f, false, 6, 1}, Fit{4, false, 0, 0}, Fit{11, true, 11, 2}}) {
        EXPECT_EQ(gFontFit(font, "000", f.room, &count, f.trim), f.width) << f.room;
        EXPECT_EQ(count, f.count) << f.room;
    }
    float dots = gFontTextWidth(font, "...");
    EXPECT_EQ(gFontFitTail(font, "00000", 0, 30.0f, &count, false), 30.0f);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(gFontFitTail(font, "00000", 0, 29.0f, &count, false), 6.0f * static_cast<int>((29.0f - dots) / 6.0f));
    EXPECT_EQ(count, static_cast<int>((29.0f - dots) / 6.0f));
    EXPECT_EQ(gFontFitTail(font, "00000", 2, 29.0f, &count, false), 12.0f);
    // Hit testing: character midpoints at 3, 9, 15.
    struct Hit {
        float x;
        int32_t index;
    };
    for (Hit h : {Hit{0.0f, 0}, Hit{-5.0f, 0}, Hit{2.9f, 0}, Hit{3.1f, 1}, Hit{9.5f, 2}, Hit{100.0f, 3}}) {
        int32_t index = -1;
        EXPECT_EQ(gFontHitTest(font, "000", h.x, &index), h.index) << h.x;
        EXPECT_EQ(index, h.index);
    }
}

TEST_F(FontGlTest, RecordsCountReferencesAndNormaliseParameters) {
    gFont* font = gFontGet(window, kFaceByName, "DejaVu Sans", -12, 0, 300, 0, 1000, nullptr);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->charset, 204);
    ASSERT_NE(font->logParams, nullptr);
    EXPECT_EQ(font->logParams->weight, 400);
    EXPECT_NE(font->listBase, 0u);
    EXPECT_EQ(font->exactMetrics, 1);
    EXPECT_GT(gFontLineHeight(font), 10.0f);
    EXPECT_GT(gFontTextWidth(font, "0"), 4.0f);
    // The same request with the record to reuse gives it back; a matching name in
    // another case still matches.
    EXPECT_EQ(gFontGet(window, kFaceByName, "dejavu sans", -12, 0, 204, 0, 400, font), font);
    EXPECT_EQ(gFontGet(window, kFaceByName, nullptr, -12, 0, 204, 0, 400, nullptr), nullptr);

    gFont* slot = nullptr;
    EXPECT_TRUE(RefAssign(&slot, font));
    EXPECT_TRUE(RefAssign(&slot, font));
    EXPECT_EQ(font->refCount, 1);
    gFont* other = gFontGet(window, kStockAnsiVar, nullptr, 0, 0, 204, 0, 400, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other->listBase, 0u);
    ++font->refCount;  // a second holder
    EXPECT_TRUE(RefAssign(&slot, other));  // the old font loses one reference
    EXPECT_EQ(std::tuple(font->refCount, other->refCount), std::tuple(1, 1));
    gFont stranger{};
    stranger.window = reinterpret_cast<gWindow*>(&stranger);
    EXPECT_FALSE(RefAssign(&slot, &stranger));
    static const gFont* forgotten = nullptr;
    gFontSetResetHook([](const gFont* f) { forgotten = f; });
    uint32_t lists = other->listBase;
    gFontRelease(slot);
    EXPECT_FALSE(glIsList(lists));
    EXPECT_EQ(forgotten, other);
    gFontSetResetHook(nullptr);
    gFontRelease(font);

    // A face record that fails its checks gives no lists; with retry the stock font 12
    // takes over.
    gFontFace broken = *gBuiltinFace();
    broken.tag = FourCC("XXXX");
    gFont* fallback = gFontForFace(window, nullptr, &broken);
    ASSERT_NE(fallback, nullptr);
    EXPECT_FALSE(gFontHasLists(fallback));
    EXPECT_FALSE(gFontEnsure(fallback, false));
    EXPECT_TRUE(gFontEnsure(fallback, true));
    EXPECT_EQ(fallback->face, kStockAnsiVar);
    gFontRelease(fallback);
}

TEST_F(FontGlTest, BitmapTextDrawsItsGlyphAtTheBaselineInEveryFrame) {
    gFont* font = window->font;
    ASSERT_TRUE(gFontHasLists(font));
    const gFaceGlyph& zero = gBuiltinFace()->glyphs['0'];
    int h = window->clientHeight;
    for (int frame = 0; frame < 2; ++frame) {
        TopLeftFrame();
        if (frame == 1) testing_util::OrthoProjection(window->clientWidth, 0, 0, h);  // bottom-right: x leftwards, y up
        // Baseline start at window pixel (20, h - 30) from the bottom-left.
        float x = frame == 0 ? 20.0f : static_cast<float>(window->clientWidth - 20);
        float y = frame == 0 ? 30.0f : static_cast<float>(h - 30);
        gTextDrawAt(font, x, y, "0");
        int ink = 0;
        EXPECT_EQ(Mismatches(ReadBack(), '0', 20, h - 30, &ink), 0) << frame;
        EXPECT_GT(ink, 10);
    }
    // Engraved: the shadow (red) one pixel right and one down, the text (green) on top.
    TopLeftFrame();
    gTextDrawEngravedAt(window, font, 0x0400007Fu, 0x04007F00u, 20.0f, 30.0f, "0");
    std::vector<uint8_t> rgb = testing_util::ReadBack(window);
    auto at = [&](int x, int y) { return &rgb[(static_cast<size_t>(y) * window->clientWidth + x) * 3]; };
    int wrong = 0;
    for (int r = 0; r < 13; ++r) {
        for (int c = 0; c < 8; ++c) {
            const uint8_t* p = at(20 + c, h - 30 - zero.yOrigin + r);
            bool text = Ink(zero, r, c);
            bool shadow = !text && c >= 1 && r + 1 < 13 && Ink(zero, r + 1, c - 1);
            wrong += text != (p[1] > 200) || shadow != (p[0] > 200);
        }
    }
    EXPECT_EQ(wrong, 0);
    // The check mark (character 0) is drawable although it ends a C text.
    TopLeftFrame();
    gTextDrawCharAt(font, 0, 50.0f, 50.0f);
    EXPECT_GT(Lit(ReadBack()), 5);
    platform::SwapBuffers(window->hdc);
}

TEST_F(FontGlTest, BlocksWidgetsAndGlyphListsDrawTheirVisibleCharacters) {
    gFont* font = window->font;
    ASSERT_TRUE(gFontHasLists(font));
    const int w = window->clientWidth, h = window->clientHeight;
    // A block: characters 1..2 and "..." moved by its offsets (5 right, 3 up) from the
    // point, the same pixels as the run drawn there directly.
    gTextBlock block{.offsetX = 5, .offsetY = 3, .text = "abcdef", .firstVisible = 1, .shown = 2, .cut = 1};
    TopLeftFrame();
    gTextDrawGlyphs(font, &block, 20.0f, 40.0f);
    std::vector<uint8_t> drawn = ReadBack();
    TopLeftFrame();
    gTextDrawAt(font, 25.0f, 37.0f, "bc", 2, true);
    std::vector<uint8_t> expected = ReadBack();
    EXPECT_EQ(drawn, expected);
    EXPECT_GT(Lit(drawn), 20);
    // A widget in the top-right slot (x leftwards): its text starts at the cell's left
    // edge on screen (w - 10 - 60) plus 4; the baseline 3 above the cell's bottom (35).
    gElement e;
    e.window = window;
    e.font = font;
    e.enabled = 1;
    e.style = kWsTop | kWsRight;
    e.x = 10;
    e.y = 20;
    e.width = e.cellWidth = 60;
    e.height = e.cellHeight = 15;
    e.textOffsetX = 4;
    e.textOffsetY = 3;
    e.text = "0";
    TopLeftFrame();
    testing_util::OrthoProjection(w, 0, h, 0);
    gTextDraw(&e);
    EXPECT_EQ(Mismatches(ReadBack(), '0', w - 66, h - 32), 0);
    // The edit line scrolled by one character: its glyph list draws "0" at the text
    // start (top-left slot), through the element's own projection.
    e.style = kWsTop | kWsLeft;
    e.text = "x0";
    ASSERT_NE(gWgtEditCreate(&e, nullptr, 0), nullptr);
    gWgtEdit(&e)->firstVisible = 1;
    gWgtPlaceEditGlyphs(&e);
    ASSERT_NE(e.glyphList, nullptr);
    EXPECT_EQ(e.glyphList->first, 1);
    EXPECT_FLOAT_EQ(e.glyphList->firstX, gFontCharWidth(font, 'x', false));
    TopLeftFrame();
    gWgtPaintGlyphs(&e);
    EXPECT_EQ(Mismatches(ReadBack(), '0', 14, h - 32), 0);
    e.font = nullptr;
    platform::SwapBuffers(window->hdc);
}

// Runs placed within a paint pass's batch come from the run cache, whose texture is made
// when the first run is kept: they draw the pixels the glyphs draw, a run kept before
// included, and leave the texture binding as they found it.
TEST_F(FontGlTest, BatchedRunsDrawThePixelsOfTheGlyphs) {
    gFont* font = window->font;
    ASSERT_TRUE(gFontHasLists(font));
    const char* texts[] = {"0123", "Run cache", "0123", "x"};
    auto draw = [&](bool batched) {
        TopLeftFrame();
        if (batched) gTextBatchBegin();
        for (int i = 0; i < 4; ++i) gTextDrawAt(font, 10.0f + 7 * i, 20.0f + 22 * i, texts[i]);
        if (batched) gTextBatchEnd();
        return ReadBack();
    };
    GLuint bound = 0;
    glGenTextures(1, &bound);
    glBindTexture(GL_TEXTURE_2D, bound);
    const std::vector<uint8_t> direct = draw(false);
    const std::vector<uint8_t> batched = draw(true);
    EXPECT_EQ(batched, direct);
    EXPECT_GT(Lit(direct), 60);
    GLint after = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
    EXPECT_EQ(static_cast<GLuint>(after), bound);
    glDeleteTextures(1, &bound);
    platform::SwapBuffers(window->hdc);
}

TEST_F(FontGlTest, OutlineArialMeasuresInEmUnitsAndRenders) {
    gFont* font = gFontCreateOutline(window, nullptr, "Arial", -12, 0, 1, 0.0f, 0.0f, 256);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(std::tuple(font->charset, font->source), std::tuple(204, kFontSourceOutline));
    EXPECT_EQ(font->listType, kListTypeOutline);
    ASSERT_NE(font->listBase, 0u);
    EXPECT_EQ(gFontOutlineReady(font), font);
    // Liberation Sans shares Arial's advances: A and B 1366/2048 em, 0 1139/2048 em.
    EXPECT_NEAR(font->glyphs['A'].advance, 1366.0 / 2048.0, 1e-6);
    EXPECT_NEAR(font->glyphs['0'].advance, 1139.0 / 2048.0, 1e-6);
    float sum = font->glyphs['A'].advance + font->glyphs['B'].advance + font->glyphs['0'].advance;
    EXPECT_FLOAT_EQ(gFontTextWidth(font, "AB0"), 12.7f * sum);
    EXPECT_NEAR(gFontTextWidth(font, "AB0"), 12.7 * (1366 + 1366 + 1139) / 2048.0, 1e-4);

    // Drawn large (scale 4 on top of 12.7): ink inside the text's box, none far off.
    TopLeftFrame();
    glPushMatrix();
    glTranslatef(10.0f, 80.0f, 0.0f);
    glScalef(4.0f, 4.0f, 1.0f);
    gTextDrawAt(font, 0.0f, 0.0f, "Arial");
    glPopMatrix();
    std::vector<uint8_t> pixels = ReadBack();
    float width = 4.0f * gFontTextWidth(font, "Arial");
    int inside = 0, outside = 0, h = window->clientHeight;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < window->clientWidth; ++x) {
            bool lit = pixels[static_cast<size_t>(y) * window->clientWidth + x] > 128;
            int top = h - 1 - y;  // distance from the top edge
            bool box = x >= 8 && x <= 12 + width && top >= 80 - 4 * 12.7 * 0.8 && top <= 82;
            (box ? inside : outside) += lit;
        }
    }
    EXPECT_GT(inside, 400);
    EXPECT_EQ(outside, 0);
    platform::SwapBuffers(window->hdc);

    // Re-made in place: same record, same parameter block, new lists.
    gFontParams* params = font->logParams;
    EXPECT_EQ(gFontCreateOutline(window, font, "DejaVu Sans", -10, 0, 0, 0.01f, 0.0f, 204), font);
    EXPECT_EQ(std::tuple(font->logParams, params->height, params->format), std::tuple(params, -10, 0));
    EXPECT_NE(font->listBase, 0u);
    EXPECT_EQ(gFontCreateOutline(window, nullptr, nullptr, 0, 0, 1, 0, 0, 204), nullptr);
    gFontRelease(font);
}

// Ink per column of the 8-pixel cell of a glyph drawn with its baseline at window pixel
// (x, baseline) from the bottom-left.
std::vector<int> ColumnInk(const std::vector<uint8_t>& pixels, int width, int x, int baseline) {
    std::vector<int> ink(8, 0);
    for (int r = -2; r < 11; ++r)
        for (int c = 0; c < 8; ++c) ink[c] += pixels[static_cast<size_t>(baseline + r) * width + x + c] > 128;
    return ink;
}

TEST_F(FontGlTest, SymbolFaceDrawsLegiblePictograms) {
    ASSERT_TRUE(gFontFaceCheck(gSymbolFace()));
    gFont* font = gSymbolFont(window);
    ASSERT_NE(font, nullptr);
    ASSERT_TRUE(gFontHasLists(font));
    const int w = window->clientWidth, h = window->clientHeight;
    auto draw = [&](uint8_t code) {
        TopLeftFrame();
        const char text[2] = {static_cast<char>(code), '\0'};
        gTextDrawAt(font, 20.0f, 30.0f, text);
        return ColumnInk(ReadBack(), w, 20, h - 30);
    };
    auto trim = [](std::vector<int> v) {
        while (!v.empty() && v.front() == 0) v.erase(v.begin());
        while (!v.empty() && v.back() == 0) v.pop_back();
        return v;
    };
    // Play: a triangle pointing right, tallest at its left edge and narrowing.
    std::vector<int> play = trim(draw(kGlyphPlay));
    ASSERT_GE(play.size(), 4u);
    for (size_t c = 1; c < play.size(); ++c) EXPECT_LE(play[c], play[c - 1]) << c;
    EXPECT_GT(play.front(), play.back());
    // The arrows mirror each other.
    std::vector<int> left = trim(draw(kGlyphArrowLeft)), right = trim(draw(kGlyphArrowRight));
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left, std::vector<int>(right.rbegin(), right.rend()));
    EXPECT_GT(left.back(), left.front());  // pointing left: tallest at the right
    // Pause: two equal bars with a gap between them.
    std::vector<int> pause = trim(draw(kGlyphPause));
    ASSERT_GE(pause.size(), 5u);
    EXPECT_EQ(pause[2], 0);
    EXPECT_EQ(pause[0], pause[pause.size() - 1]);
    EXPECT_GE(pause[0], 5);
    // Stop: a full square.
    std::vector<int> stop = trim(draw(kGlyphStop));
    EXPECT_EQ(stop, std::vector<int>(stop.size(), static_cast<int>(stop.size())));
    // Every named code draws something and no two of them look alike.
    const uint8_t codes[] = {kGlyphArrowLeft, kGlyphArrowRight, kGlyphStepForward, kGlyphToLast, kGlyphStepBack,
                             kGlyphToFirst,   kGlyphStop,       kGlyphPlay,        kGlyphPause,  kGlyphLoop,
                             kGlyphReverseOn, kGlyphReverseOff, kGlyphReturn,      kGlyphReset};
    std::vector<std::vector<uint8_t>> seen;
    for (uint8_t code : codes) {
        TopLeftFrame();
        const char text[2] = {static_cast<char>(code), '\0'};
        gTextDrawAt(font, 20.0f, 30.0f, text);
        std::vector<uint8_t> pixels = ReadBack();
        EXPECT_GT(Lit(pixels), 8) << int(code);
        for (const auto& other : seen) EXPECT_NE(pixels, other) << int(code);
        seen.push_back(std::move(pixels));
    }
    gFontRelease(font);
    platform::SwapBuffers(window->hdc);
}

TEST_F(FontGlTest, OutlineBeforeTheDeviceContextGetsListsWhenReady) {
    gWindow* later = gWinCreateRec(30, 30, 120, 80, nullptr, nullptr, kStyleFrameClass | kStyleDeferred);
    ASSERT_NE(later, nullptr);
    gFont* font = gFontCreateOutline(later, nullptr, "Arial", 0, 0, 1, 0, 0, 204);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->listBase, 0u);
    EXPECT_EQ(gFontOutlineReady(font), nullptr);
    ASSERT_TRUE(gWinOpen(later, "Later", kStyleDeferred));
    EXPECT_EQ(gFontOutlineReady(font), font);
    EXPECT_NE(font->listBase, 0u);
    gFontRelease(font);

    // The window got its default font when it was opened; a named face and an outline
    // face re-make the window's record in place.
    gFont* own = later->font;
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->face, gFaceValue(gBuiltinFace()));
    EXPECT_EQ(gWinRealizeFont(later, "DejaVu Sans", 1), own);
    EXPECT_EQ(std::tuple(own->face, own->listType), std::tuple(kFaceByName, kListTypeBitmap));
    EXPECT_TRUE(gFontHasLists(own));
    EXPECT_EQ(gWinRealizeFont(later, "Arial", 2), own);
    EXPECT_EQ(std::tuple(own->listType, own->refCount), std::tuple(kListTypeOutline, 1));
    EXPECT_EQ(gWinRealizeFont(later, nullptr, -1), nullptr);
    gFontChooseDefault(0);  // the platform value: stock font 12
    EXPECT_EQ(gWinRealizeFont(later, nullptr, 1), own);
    EXPECT_EQ(own->face, kStockAnsiVar);
    EXPECT_TRUE(gFontHasLists(own));
    gFontChooseDefault(1);

    int32_t sizes[5] = {-1, -1, -1, -1, -1};
    ASSERT_TRUE(gProbeTextureSize(window, sizes));
    EXPECT_GT(sizes[0], 0);
    for (int i = 1; i < 5; ++i) {
        EXPECT_GT(sizes[i], 0) << i;
        EXPECT_LE(sizes[i], sizes[0]) << i;
    }
}

}  // namespace
}  // namespace orva
