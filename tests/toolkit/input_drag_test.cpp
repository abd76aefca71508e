// The far end of an edit field's selection following the pointer, with a font whose
// characters are all 6 wide: a box of 60 shows ten of them.
#include <gtest/gtest.h>

#include <tuple>

#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

class EditDragTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& g : font.glyphs) g.advance = 6;
        font.listType = kListTypeBitmap;
        e.font = &font;
        e.text = "abcdefghijklmnopqrst";  // 20 characters
        s = gWgtEditCreate(&e, nullptr, 0);
        ASSERT_NE(s, nullptr);
        s->editing = 1;
        s->boxX = 10;
        s->boxWidth = 60;
        s->visibleWidth = 60;
        s->firstVisible = 0;
        s->visibleCount = 10;
        s->margin = 3;
        Put(2, 0, 12);
        s->anchorX = 12;
    }
    void TearDown() override { e.font = nullptr; }
    void Put(int32_t caret, int32_t selection, float caretX) {
        s->caret = caret;
        s->selection = selection;
        s->caretX = caretX;
    }
    gFont font;
    gElement e;
    gEditState* s = nullptr;
};

TEST_F(EditDragTest, FarEndLandsOnCharacterBoundariesInTheDragDirection) {
    struct Case {
        float x, step;
        bool changed;
        float caretX;
        int32_t selection;
    };
    const Case cases[] = {
        {40, 1, true, 30, 3},    // behind the character under the pointer (index 4)
        {45, -1, false, 30, 3},  // pointer right of the end but the step went left
        {41, 1, false, 30, 3},   // within the margin of the end
        {23, -1, true, 12, 0},   // back before character 2
        {25, 1, false, 12, 0},   // 3 beyond the end: not more than half a character
        {26, 1, true, 18, 1},    // 4 beyond: the end moves behind character 2
        {5, -1, false, 18, 1},   // left of the box
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gEditCaretFromX(&e, c.x, c.step), c.changed) << c.x;
        EXPECT_EQ(s->caretX, c.caretX) << c.x;
        EXPECT_EQ(s->selection, c.selection) << c.x;
    }
}

TEST_F(EditDragTest, PastTheVisibleTextStepsThenScrolls) {
    // Inside the visible part the end steps one character per call.
    EXPECT_TRUE(gEditScrollBy(&e, 100));
    EXPECT_EQ(std::tuple(s->caretX, s->selection), std::tuple(18, 1));
    // At the box's edge the text scrolls by the characters covering the distance.
    Put(2, 8, 60);
    EXPECT_TRUE(gEditScrollBy(&e, 13));
    EXPECT_EQ(std::tuple(s->firstVisible, s->visibleCount, s->selection, s->caretX), std::tuple(2, 10, 10, 60));
    EXPECT_EQ(std::tuple(s->anchorX, s->visibleWidth), std::tuple(0, 60));
    // Back one character.
    EXPECT_TRUE(gEditScrollBy(&e, -5));
    EXPECT_EQ(std::tuple(s->selection, s->caretX), std::tuple(9, 54));
    // Nothing after the text's end.
    s->firstVisible = 10;
    Put(2, 18, 60);
    EXPECT_FALSE(gEditScrollBy(&e, 50));
    // At the start of the text nothing scrolls back.
    s->firstVisible = 0;
    Put(0, 0, 0);
    EXPECT_FALSE(gEditScrollBy(&e, -10));
    // An anchor before the visible part: a third of the box (four characters of 6 reach 20).
    s->firstVisible = 6;
    s->anchorX = 0;
    Put(2, 5, 0);
    EXPECT_TRUE(gEditScrollBy(&e, -10));
    EXPECT_EQ(std::tuple(s->firstVisible, s->anchorX, s->caretX), std::tuple(2, 24, 24));
}

}  // namespace
}  // namespace orva
