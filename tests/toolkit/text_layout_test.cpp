// Text layout as arithmetic on a hand-made font (no GL): widths, margins, the "..."
// cut, enlarged extents, offsets; the ellipsis width cache; a widget's own layout and
// its visible characters.
#include <gtest/gtest.h>

#include <tuple>

#include "toolkit/font.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

// Every character 6 wide with a left bearing of 1 and 9 high on the baseline; "." is
// 2 wide (ellipsis 3 x 2 + 2 = 8), character 2 (the two-state mark) 10; line height 11,
// descent 2. listBase 1 only marks the font as having lists: nothing is drawn.
gFont MakeFont() {
    gFont font{.listBase = 1, .listType = kListTypeBitmap, .exactMetrics = 1, .lineHeight = 11, .descent = 2, .ascent = 9};
    for (gGlyphMetrics& g : font.glyphs) g = {6, 0, 1, 9, 9, 0};
    font.glyphs['.'].advance = 2;
    font.glyphs[2].advance = 10;
    return font;
}

TEST(TextLayoutTest, RulesMarginsCutAndOffsets) {
    gFont font = MakeFont();
    struct Case {
        const char* name;
        uint32_t flags;
        float mx, my;
        const char* text;
        float extent[2];
        bool withBox;
        float box[2];
        int32_t adjust;
        // Expected.
        float width, we, he, bw, bh, ox, oy;
        int32_t shown, cut;
    };
    const Case cases[] = {
        // Grows: 5 characters (30) plus margin 2; baseline at the descent.
        {"grow", 0x8, 2, 0, "abcde", {0, 0}, false, {0, 0}, 0, 30, 32, 11, 0, 0, 2, 2, 5, -1},
        // 0x40 drops both margins.
        {"no margins", 0x48, 5, 5, "abcde", {0, 0}, false, {0, 0}, 0, 30, 30, 11, 0, 0, 0, 2, 5, -1},
        // Cut: 48 wide in 20; room 20 - "..." (6) keeps 2 characters.
        {"cut", 0x3, 0, 0, "abcdefgh", {20, 11}, false, {0, 0}, 0, 12, 20, 11, 0, 0, 0, 2, 2, 1},
        // Narrower than the ellipsis (8): nothing fits beside it, the extent widens to 8 + 1.
        {"ellipsis room", 0x3, 1, 0, "abcdefgh", {5, 11}, false, {0, 0}, 0, 0, 9, 11, 0, 0, 1, 2, 0, 1},
        // All fits: no cut.
        {"fits", 0x3, 0, 0, "ab", {40, 11}, false, {0, 0}, 0, 12, 40, 11, 0, 0, 0, 2, 2, 0},
        // Fit alone with no room shows nothing.
        {"no room", 0x1, 3, 0, "abc", {3, 11}, false, {0, 0}, 0, 0, 3, 11, 0, 0, 3, 2, 0, -1},
        // Two-state button: the mark's advance (10) comes off 40: 5 characters fit.
        {"two-state", 0x1, 0, 0, "abcdefgh", {40, 15}, true, {40, 15}, 38, 30, 40, 15, 40, 15, 0, 2, 5, -1},
        {"plain kind", 0x1, 0, 0, "abcdefgh", {40, 15}, true, {40, 15}, 37, 36, 40, 15, 40, 15, 0, 2, 6, -1},
        {"negative adjust", 0x1, 0, 0, "abcdefgh", {40, 15}, true, {40, 15}, -16, 24, 40, 15, 40, 15, 0, 2, 4, -1},
        // Centred without a width rule: the start at the middle of the box (h = 5).
        {"centre", 0x8000, 0, 0, "abc", {50, 20}, true, {40, 15}, 0, 0, 50, 20, 40, 15, 25, 4, 3, -1},
        // Right: 50 - 30 - 2.
        {"right", 0x10004, 2, 0, "abcde", {50, 11}, false, {0, 0}, 0, 30, 50, 11, 0, 0, 18, 2, 5, -1},
        // 0x4 widens only when short of room.
        {"grow if needed", 0x4, 2, 0, "abcde", {20, 11}, false, {0, 0}, 0, 30, 32, 11, 0, 0, 2, 2, 5, -1},
        // A box lower than the line: box and extent take the line height.
        {"tall line", 0x0, 0, 0, "ab", {20, 5}, true, {20, 5}, 0, 0, 20, 11, 20, 11, 0, 2, 2, -1},
        // Middle: (15 - 11) / 2; top: 15 - 11.
        {"middle", 0x40000, 0, 0, "ab", {30, 15}, true, {30, 15}, 0, 0, 30, 15, 30, 15, 0, 2, 2, -1},
        {"top", 0x20000, 0, 1, "ab", {30, 15}, true, {30, 15}, 0, 0, 30, 15, 30, 15, 0, 3, 2, -1},
        // Ink: width trimmed by the first left bearing (29), x less it; height from the ink.
        {"ink", 0x108, 2, 0, "abcde", {0, 0}, false, {0, 0}, 0, 29, 31, 9, 0, 0, 1, 0, 5, -1},
        // Box beside the text (0x20): available 60 - 3 - 20 - 2 = 35 (6 characters, the
        // sixth within the pixel of slack); x after margin + 1.
        {"beside", 0x21, 3, 0, "abcdefghij", {60, 15}, true, {20, 15}, 0, 36, 60, 15, 20, 15, 4, 2, 6, -1},
        // Box above (0x10): extent height line + box; y = dy + my - descent.
        {"above", 0x10, 0, 0, "ab", {30, 10}, true, {30, 10}, 0, 0, 30, 21, 30, 10, 0, 10, 2, -1},
    };
    for (const Case& c : cases) {
        // The cut mark of 7 stays unless the rule writes it.
        gTextBlock block{.text = c.text, .cut = 7, .flags = c.flags, .marginX = c.mx, .marginY = c.my};
        float extent[2] = {c.extent[0], c.extent[1]};
        float box[2] = {c.box[0], c.box[1]};
        float width = gWgtLayoutText(&font, &block, extent, c.withBox ? box : nullptr, c.adjust);
        EXPECT_FLOAT_EQ(width, c.width) << c.name;
        EXPECT_FLOAT_EQ(extent[0], c.we) << c.name;
        EXPECT_FLOAT_EQ(extent[1], c.he) << c.name;
        if (c.withBox) {
            EXPECT_FLOAT_EQ(box[0], c.bw) << c.name;
            EXPECT_FLOAT_EQ(box[1], c.bh) << c.name;
        }
        EXPECT_FLOAT_EQ(block.offsetX, c.ox) << c.name;
        EXPECT_FLOAT_EQ(block.offsetY, c.oy) << c.name;
        EXPECT_EQ(block.shown, c.shown) << c.name;
        EXPECT_EQ(block.cut, c.cut < 0 ? 7 : c.cut) << c.name;
    }
    // The first visible character is where the layout measures from.
    gTextBlock tail;
    tail.text = "xyabcde";
    tail.firstVisible = 2;
    tail.flags = 0x8;
    float extent[2] = {0, 0};
    EXPECT_FLOAT_EQ(gWgtLayoutText(&font, &tail, extent, nullptr, 0), 30.0f);
    EXPECT_EQ(tail.shown, 5);
    // An outline font (em units x 12.7) with a line that rounds to 0 gets a line of 1.
    gFont outline = MakeFont();
    outline.listType = kListTypeOutline;
    outline.lineHeight = 0.01f;
    gTextBlock block;
    block.text = "a";
    float small[2] = {0, 0};
    gWgtLayoutText(&outline, &block, small, nullptr, 0);
    EXPECT_FLOAT_EQ(small[1], 1.0f);
    gFontReset(&font);  // the ellipsis cache forgets this stack record
}

TEST(TextLayoutTest, EllipsisWidthIsCachedUntilTheFontIsReset) {
    gFont a = MakeFont(), b = MakeFont();
    b.glyphs['.'].advance = 4;
    EXPECT_FLOAT_EQ(gFontEllipsisWidth(&a), 8.0f);
    a.glyphs['.'].advance = 3;
    EXPECT_FLOAT_EQ(gFontEllipsisWidth(&a), 8.0f);   // the last font asked: cached
    gFontReset(&a);                                  // forgets it (and its lists)
    EXPECT_FLOAT_EQ(gFontEllipsisWidth(&a), 10.0f);  // without lists
    a.listBase = 1;
    EXPECT_FLOAT_EQ(gFontEllipsisWidth(&a), 11.0f);
    EXPECT_FLOAT_EQ(gFontEllipsisWidth(&b), 14.0f);
    EXPECT_FLOAT_EQ(gFontEllipsisWidth(nullptr), 10.0f);
    gFontReset(&a);
    gFontReset(&b);
}

TEST(TextLayoutTest, WidgetLayoutAndVisibleCharacters) {
    gFont font = MakeFont();
    gElement e;
    e.font = &font;
    e.kind = 37;
    e.textAlign = 0x3;
    e.textMarginX = 2;
    e.width = e.cellWidth = 40;
    e.height = e.cellHeight = 15;
    e.text = "abcdefghij";
    gWgtLayoutElementText(&e);
    // Available 38 less "..." (6): 5 characters.
    gTextRun run = gWgtVisibleText(&e);
    EXPECT_EQ(std::tuple(e.textShown, run.count), std::tuple(5, 5));
    EXPECT_TRUE(run.cut);
    EXPECT_STREQ(run.text, e.text.c_str());
    EXPECT_FLOAT_EQ(e.textOffsetX, 2.0f);
    // A text shorter than the layout's count is clamped when drawn.
    e.text = "ab";
    EXPECT_EQ(gWgtVisibleText(&e).count, 2);
    // Laid out before with 0x4 (not centred or right): a new text just shows whole.
    e.textAlign = 0x4;
    e.textOffsetX = 9;
    e.text = "abcdefghijklmnop";
    gWgtLayoutElementText(&e);
    EXPECT_EQ(std::tuple(e.textShown, e.textOffsetX, e.cellWidth), std::tuple(16, 9.0f, 40.0f));
    // Never laid out: the layout runs and widens the cell to the text.
    gElement fresh;
    fresh.font = &font;
    fresh.textAlign = 0x4;
    fresh.width = fresh.cellWidth = 40;
    fresh.text = e.text;
    EXPECT_EQ(gWgtVisibleText(&fresh).count, 16);   // -1: all shown
    gWgtLayoutElementText(&fresh);
    EXPECT_EQ(std::tuple(fresh.cellWidth, fresh.cellHeight), std::tuple(96.0f, 11.0f));
    // Without a font the offsets are the margins.
    gElement bare;
    bare.textMarginX = 3;
    bare.textMarginY = 4;
    bare.text = "abc";
    gWgtLayoutElementText(&bare);
    EXPECT_EQ(std::tuple(bare.textOffsetX, bare.textOffsetY, bare.textShown), std::tuple(3.0f, 4.0f, 3));
    // An edit line without lists keeps its glyph list switched off.
    font.listBase = 0;
    gWgtPlaceEditGlyphs(&e);
    ASSERT_NE(e.glyphList, nullptr);
    EXPECT_EQ(e.glyphList->draw, nullptr);
    e.font = fresh.font = nullptr;
    gFontReset(&font);
}

}  // namespace
}  // namespace orva
