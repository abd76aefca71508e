// Widget properties without a window: colours, chain moves, descriptor size codes
// and the widget lists.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

#include "toolkit/widget_props.h"

namespace orva {
namespace {

TEST(WidgetPropsTest, ColoursAndTheirDerivedSecondWord) {
    gElement e;
    e.baseColor = 0x04101010u;
    e.color2 = 0x0F000000u;                        // automatic, lightening
    gWgtSetColor(&e, 0x04404040u);
    EXPECT_EQ(e.color1Saved, 0u);                  // the drawing copy is gWgtSetColors' business
    EXPECT_EQ(e.color2Saved, 0x0F5A5A5Au);         // 0x40 + 26 per channel
    e.color2 = 0x0E000000u;                        // darkening
    gWgtSetColor(&e, 0x047F0010u);                 // red 16 - 26 is held at 0
    EXPECT_EQ(e.color2, 0x0E650000u);
    e.color2 = 0x04111111u;                        // a plain second colour stays
    EXPECT_FALSE(gWgtChangeColor(&e, 0x047F0010u));
    EXPECT_TRUE(gWgtChangeColor(&e, 0x24000000u));
    EXPECT_EQ(e.color2, 0x04111111u);
    EXPECT_TRUE(gWgtRestoreColor(&e));
    EXPECT_EQ(e.color1, 0x04101010u);
    EXPECT_FALSE(gWgtRestoreColor(&e));
    gWgtSetColors(&e, 0x04222222u);
    EXPECT_EQ(e.color1Saved, 0x04222222u);
}

TEST(WidgetPropsTest, ChainMovesKeepPressedOffsetsAndChildren) {
    auto* top = new gElement;
    auto* child = new gElement;
    top->nextChild = child;
    child->prevChild = child->container = top;
    top->glyphList = new gGlyphList;
    top->x = 11, top->homeX = top->placedX = 10;   // drawn one to the right (pressed)
    child->x = child->homeX = child->placedX = 30;

    gWgtMoveChain(top, 50, 20);   // offset (40, 20)
    EXPECT_EQ(std::tuple(top->x, top->placedY, top->glyphList->x, child->homeX), std::tuple(51, 20, 40, 70));
    gWgtMoveChainX(top, 0);       // x only
    EXPECT_EQ(std::tuple(child->x, child->y), std::tuple(20, 20));
    gWgtShiftChainY(child, -4);   // a child moves alone
    EXPECT_EQ(std::tuple(child->y, top->y), std::tuple(16, 20));
    delete top;                   // takes its child along
}

TEST(WidgetPropsTest, SizeCodes) {
    struct Case {
        float w, h, cellW, cellH, scaleX, scaleY;
        float outW, outH, outCellW, outCellH;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {-5, -5, 0, 0, 1, 1, 15, 15, 15, 15},
        {-3, 20, 0, 0, 1, 1, 20, 20, 20, 20},       // width of the height
        {30, -2, 40, 0, 1, 1, 30, 30, 40, 30},      // height of the width
        {-3, -2, 0, 0, 1, 1, 15, 15, 15, 15},       // each refers to the other: defaults
        {-3, -1, 0, 0, 1, 1, 15, 15, 15, 15},       // the height's default is then taken
        {0, -7, 0, 0, 1, 1, 1, 15, 1, 15},          // not positive: 1; unknown code: default
        {10, 20, 12, 0, 2, 0.5f, 20, 10, 24, 10},   // scaled, then the cell raised
        {10, 20, 0, 0, -2, nan, 10, 20, 10, 20},    // unusable factors are ignored
    };
    for (const Case& c : cases) {
        WidgetDesc d;
        d.width = c.w, d.height = c.h, d.cellWidth = c.cellW, d.cellHeight = c.cellH;
        d.scaleX = c.scaleX, d.scaleY = c.scaleY;
        gDescResolveSize(&d, nullptr);
        EXPECT_FLOAT_EQ(d.width, c.outW) << c.w << " " << c.h;
        EXPECT_FLOAT_EQ(d.height, c.outH) << c.w << " " << c.h;
        EXPECT_FLOAT_EQ(d.cellWidth, c.outCellW) << c.w << " " << c.h;
        EXPECT_FLOAT_EQ(d.cellHeight, c.outCellH) << c.w << " " << c.h;
    }
    gDescDefaults big;
    big.width = 40;
    WidgetDesc d;
    d.width = -5;
    gDescResolveSize(&d, &big);
    EXPECT_FLOAT_EQ(d.width, 40);
}

TEST(WidgetPropsTest, EmptyTextGroupsComeFromTheParent) {
    WidgetDesc parent, d;
    parent.textAlign = 0x48000 | 0x10 | 0x8;
    parent.textMarginX = 3;
    d.textAlign = 0x4;   // its own horizontal rule
    gDescInheritText(&d, &parent);
    EXPECT_EQ(std::tuple(d.textAlign, d.textMarginX), std::tuple(0x48014u, 3));
    parent.textAlign |= 0x40;   // no margins: the margin is not taken
    WidgetDesc e;
    gDescInheritText(&e, &parent);
    EXPECT_EQ(std::tuple(e.textAlign, e.textMarginX), std::tuple(parent.textAlign, 0));
    gDescDefaultsGet().textAlign = 0x200;   // no parent: the toolkit defaults
    WidgetDesc f;
    gDescInheritText(&f, nullptr);
    EXPECT_EQ(f.textAlign, 0x200u);
    gDescDefaultsGet() = gDescDefaults{};
}

TEST(WidgetPropsTest, ListsUnlinkRunsAndReleaseMembers) {
    gElement* n[4];
    {
        gOwningList owned;
        for (auto*& e : n) owned.Append(e = new gElement);
        gElement* head = n[0];
        gElement* tail = n[3];
        auto unlink = gListUnlinkRun<gElement, &gElement::next, &gElement::prev>;
        EXPECT_FALSE(unlink(head, tail, n[2], n[1]));   // last before first
        ASSERT_TRUE(unlink(head, tail, n[1], n[2]));
        EXPECT_TRUE(n[0]->next == n[3] && n[3]->prev == n[0]);
        EXPECT_TRUE(n[1]->next == n[2] && n[1]->prev == nullptr && n[2]->next == nullptr);
        ASSERT_TRUE(unlink(head, tail, n[0], n[3]));
        EXPECT_TRUE(head == nullptr && tail == nullptr);
        owned.head = n[1];   // the list deletes what it holds
    }
    EXPECT_FALSE(gWgtIsLive(n[1]) || gWgtIsLive(n[2]));
    delete n[0];
    delete n[3];

    auto* once = new gGroup;    // held only by the list after its maker lets go
    auto* shared = new gGroup;  // still held by its maker
    {
        gGroupList groups;
        groups.Append(once);
        groups.Append(shared);
        --once->refCount;
    }
    EXPECT_FALSE(gWgtIsLive(once));
    ASSERT_TRUE(gWgtIsLive(shared));
    EXPECT_EQ(shared->refCount, 1);
    delete shared;
}

}  // namespace
}  // namespace orva
