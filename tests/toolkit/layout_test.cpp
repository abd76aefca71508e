// Corner slots filled from descriptors and the redraw state machine, on the recording
// backend.
#include <gtest/gtest.h>

#include <tuple>

#include "fake_window_fixture.h"

namespace orva {
namespace {

int gPaints = 0;
void CountPaint(gElement*) { ++gPaints; }

class LayoutTest : public testing_util::FakeWindowTest {};

TEST_F(LayoutTest, FourCornersFromDescriptors) {
    const uint32_t corners[4] = {0x24000, 0x30000, 0x84000, 0x90000};
    gElement* made[4][4] = {};
    for (int c = 0; c < 4; ++c) {
        gWinCurrentSlot(window, corners[c] | kWsSlotFromWindow);  // widgets inherit the window's slot
        made[c][0] = Add(37, corners[c], "OK");    // button: 2 x 6 + 2 x 4 wide, 15 high
        made[c][1] = Add(2, corners[c]);           // check box 12 x 12, origin offset 4
        made[c][2] = Add(3, corners[c], "Abc");    // label: 18 wide, 19 high
        made[c][3] = Add(6, corners[c], "12");     // edit field: 20 wide, 15 high
    }
    ASSERT_TRUE(gWinOpen(window, "Corners", kStyleShown));
    // The default group stacks downwards (alignment 10); narrower cells are centred
    // across the column (row alignment 0x8000).
    const float expected[4][4] = {{0, 0, 20, 15}, {8, 17, 12, 12}, {1, 31, 18, 19}, {0, 52, 20, 15}};
    for (int c = 0; c < 4; ++c) {
        gGroup* group = gGrpLookupSlot(window, corners[c]);
        ASSERT_NE(group, nullptr) << c;
        EXPECT_EQ(std::tuple(group->style, group->width, group->height), std::tuple(corners[c], 20.0f, 67.0f));
        for (int k = 0; k < 4; ++k) {
            gElement* e = made[c][k];
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->style & kWsSlotBits, corners[c]);
            EXPECT_FLOAT_EQ(e->x, expected[k][0]) << c << "," << k;
            EXPECT_FLOAT_EQ(e->y, expected[k][1]) << c << "," << k;
            EXPECT_FLOAT_EQ(e->cellWidth, expected[k][2]) << c << "," << k;
            EXPECT_FLOAT_EQ(e->cellHeight, expected[k][3]) << c << "," << k;
            EXPECT_EQ(e->shown, 1);
        }
    }
    EXPECT_EQ(std::tuple(made[0][3]->kind, made[0][3]->extraPair[0]), std::tuple(6, 8u));
    EXPECT_TRUE(made[0][0]->style & kWsReadOnly);  // the skin's style flags 0x21100000
    int32_t w = 0, h = 0;
    EXPECT_TRUE(gSlotTableExtent(gWinSlotTable(window), &w, &h));
    EXPECT_EQ(std::tuple(w, h), std::tuple(20, 67));

    // The default slot and the slot lookups; a horizontal group set up front.
    EXPECT_EQ(gGrpLookupSlot(window, 0), gGrpLookupSlot(window, 0x90000));  // the last slot set
    gWinSetDefaultSlot(window, 0x24000 | kWsSlotFromWindow);
    EXPECT_EQ(gGrpLookupDefault(window), gGrpLookupSlot(window, 0x24000));
    EXPECT_EQ(gGrpLookupSlot(window, 0), gGrpLookupSlot(window, 0x24000));
    gWgtSelectWindow(window);
    gGroup* row = gGrpFind(window, 0x24000, false);
    ASSERT_NE(row, nullptr);
    EXPECT_FLOAT_EQ(row->y, 67 + 2.0f);  // below the first group
    gGrpSetAlign(0x24000, 1);
    gElement* a = Add(37, 0x24000, "OK");
    gElement* b = Add(37, 0x24000, "OK");
    EXPECT_EQ(std::tuple(a->y, b->x, b->y), std::tuple(69.0f, 22.0f, 69.0f));
}

TEST_F(LayoutTest, RedrawStateMachine) {
    gElement* a = Add(0, 0x24000, nullptr, CountPaint);
    gElement* b = Add(0, 0x24000, nullptr, CountPaint);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(gWinOpen(window, "Redraw", kStyleShown));
    uint8_t pending = 1;
    window->pendingUpdate = &pending;
    ASSERT_TRUE(gWinCanDraw(window));
    gLayout* layout = window->layout;
    int swaps = fake->swaps;

    // A state change queues a partial widget; without a copying swap the redraw
    // repaints the whole window.
    window->dirty = 0;
    gWgtUnmark(a);
    EXPECT_EQ(window->dirty, 5u);
    ASSERT_EQ(layout->queue.size(), 1u);
    gWgtUnmark(a);  // unchanged: nothing
    gWgtMark(b);    // already enabled: nothing
    EXPECT_EQ(layout->queue.size(), 1u);
    gPaints = 0;
    gWinRedraw(window);
    EXPECT_EQ(std::tuple(gPaints, fake->swaps, window->dirty, pending), std::tuple(2, swaps + 1, 0u, 0));
    EXPECT_TRUE(layout->queue.empty());

    // With a copying swap only the queued widgets are painted.
    gWinSetSwapCopies(window, true);
    gWgtMark(a);
    gWgtUnmark(b);
    EXPECT_EQ(layout->queue.size(), 2u);
    gPaints = 0;
    gWinRedraw(window);
    EXPECT_EQ(gPaints, 2);
    gWgtMark(b);
    gPaints = 0;
    gWinRedraw(window);
    EXPECT_EQ(std::tuple(gPaints, fake->swaps), std::tuple(1, swaps + 3));

    // State 7 absorbs partial changes; a widget that is not partial asks for 7.
    window->dirty = 7;
    gWgtUnmark(a);
    EXPECT_EQ(window->dirty, 7u);
    EXPECT_TRUE(layout->queue.empty());
    window->dirty = 0;
    b->partial = 0;
    gWgtUnmark(b);
    EXPECT_EQ(window->dirty, 7u);
    // State 4 repaints everything without a swap.
    window->dirty = 4;
    gPaints = 0;
    gWinRedraw(window);
    EXPECT_EQ(std::tuple(gPaints, fake->swaps), std::tuple(2, swaps + 3));

    // Hiding a partial widget: drawn at once; a hidden widget is not painted.
    gWinSetSwapCopies(window, false);
    gWgtDrawState(a, 1);
    EXPECT_EQ(std::tuple(a->shown, fake->swaps), std::tuple(0, swaps + 4));
    gWgtDrawState(a, 1);  // already hidden: nothing
    EXPECT_EQ(fake->swaps, swaps + 4);
    gWgtDrawState(a, 3);
    EXPECT_EQ(std::tuple(a->shown, window->dirty), std::tuple(1, 5u));
    // A window in a callback defers immediate redraws.
    window->state |= kStateInHandler;
    window->dirty = 0;
    gWgtRedrawState(a, 5);
    EXPECT_EQ(std::tuple(window->dirty, fake->swaps), std::tuple(5u, swaps + 4));
    window->state &= ~kStateInHandler;
    gWgtRedrawState(a, 5);
    EXPECT_EQ(fake->swaps, swaps + 5);
    // A hidden window drops what was queued.
    gWinShow(window, false);
    window->dirty = 5;
    gWgtMark(a);
    EXPECT_EQ(window->dirty, 0u);
    EXPECT_TRUE(layout->queue.empty());
    window->dirty = 7;
    gWinRedraw(window);
    EXPECT_EQ(std::tuple(fake->swaps, window->dirty), std::tuple(swaps + 5, 0u));
}

}  // namespace
}  // namespace orva
