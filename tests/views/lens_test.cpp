// The lens arithmetic: its size and buffer, the zoomed extent, where it samples and the
// text of the centre pixel's values.
#include <gtest/gtest.h>

#include <string>

#include "app/graphics_window.h"
#include "views/lens.h"
#include "views/workspace_readouts.h"
#include "views_test_support.h"

namespace orva {
namespace {

using views_testing::FakeWindow;
using views_testing::HookScope;
using views_testing::WiredCell;

TEST(LensSize, ClampedCentredAndTheBufferKeptWhileItHoldsTheSquare) {
    Lens lens;
    struct Row {
        uint32_t asked, size, centre, capacity;
    };
    const Row rows[] = {
        {24, 24, 828, 1728},      // ((12 - 1) x 24 + 12) x 3
        {1, 2, 3, 1728},          // at least 2: ((1 - 1) x 2 + 1) x 3; the buffer stays
        {0, 2, 3, 1728},
        {900, 800, 958800, 1920000},  // at most 800: ((400 - 1) x 800 + 400) x 3
        {10, 10, 135, 1920000},   // smaller: the buffer stays
        {25, 25, 861, 1920000},   // odd: ((12 - 1) x 25 + 12) x 3
    };
    for (const Row& r : rows) {
        uint8_t* before = lens.buffer;
        LensSetSize(&lens, r.asked);
        EXPECT_EQ(lens.size, r.size) << r.asked;
        EXPECT_EQ(lens.centreOffset, r.centre) << r.asked;
        EXPECT_EQ(lens.capacity, r.capacity) << r.asked;
        ASSERT_NE(lens.buffer, nullptr);
        if (before != nullptr && r.asked != 900) {
            EXPECT_EQ(lens.buffer, before) << r.asked;
        }
        EXPECT_LE(r.size * r.size * 3, lens.capacity);
    }
    LensFreeBuffer(&lens);
    EXPECT_EQ(lens.buffer, nullptr);
    EXPECT_EQ(lens.capacity, 0u);
}

TEST(LensSize, TheZoomedExtentRoundsHalvesAwayFromZero) {
    auto* ws = new WorkspaceComponent;
    struct Row {
        uint32_t size;
        float zoom;
        float available, extent, x;
    };
    const Row rows[] = {
        {24, 6.0f, 640, 144, 492},   // 640 - 144 - 4
        {5, 2.5f, 100, 13, 83},      // 12.5 -> 13
        {3, 1.5f, 100, 5, 91},       // 4.5 -> 5
        {7, 1.25f, 50, 9, 37},       // 8.75 -> 9
        {2, 0.1f, 10, 0, 6},
    };
    for (const Row& r : rows) {
        LensSetSize(&ws->lens, r.size);
        ws->lens.zoom = r.zoom;
        float x = 0, extent[2] = {-1, -1};
        LensPixelSize(ws, &x, extent, r.available);
        EXPECT_FLOAT_EQ(extent[0], r.extent) << r.size << " x " << r.zoom;
        EXPECT_FLOAT_EQ(extent[1], r.extent);
        EXPECT_FLOAT_EQ(x, r.x);
    }
    EXPECT_FLOAT_EQ(LensMargin(100.0f, 20.0f), 76.0f);
    ws->Release();
}

TEST(LensSampling, TheSquareStaysInsideTheCellWidget) {
    struct Row {
        uint32_t size;
        double cursorX, cursorY;
        float width, height;
        int32_t px, py;
    };
    const Row rows[] = {
        {24, 100, 50, 400, 300, 88, 38},    // cursor - 12: the cursor on block 12
        {24, 100.5, 50.4, 400, 300, 89, 38},  // rounded: 101 and 50
        {24, 399, 299, 400, 300, 376, 276},  // right and bottom edge: width - size
        {24, 390, 290, 400, 300, 376, 276},
        {24, 387, 287, 400, 300, 375, 275},  // just inside
        {24, 3, 3, 400, 300, 0, 0},          // left and top: 0
        {24, 12, 13, 400, 300, 0, 1},
        {24, -40, -40, 400, 300, 0, 0},
        {10, 20, 20, 30.4f, 30.6f, 15, 15},
        {10, 29, 29, 30.4f, 30.6f, 20, 21},  // the rounded widget size less the square
    };
    for (const Row& r : rows) {
        int32_t px = -9, py = -9;
        LensSampleOrigin(r.size, r.cursorX, r.cursorY, r.width, r.height, &px, &py);
        EXPECT_EQ(px, r.px) << r.cursorX;
        EXPECT_EQ(py, r.py) << r.cursorY;
    }
}

// The window keeps the pointer's pixel in floats; the cache, around which the lens
// samples, holds the same whole numbers.
TEST(LensCursor, TheReadoutCacheTakesThePointersPixelByValue) {
    auto* ws = new WorkspaceComponent;
    struct Row {
        float x, y;
        int32_t cx, cy;
    };
    const Row rows[] = {
        {301.0f, 215.0f, 301, 215},
        {0.0f, 1.0f, 0, 1},
        {-3.0f, -40.0f, -3, -40},
        {3.0e9f, -3.0e9f, INT32_MAX, INT32_MIN},  // beyond int32: held at the ends
    };
    for (const Row& r : rows) {
        GraphicsReadout record;
        record.cursorX = r.x;
        record.cursorY = r.y;
        WorkspaceCacheReadout(ws, record, kReadoutAll);
        EXPECT_EQ(ws->readouts.cursor[0], r.cx) << r.x;
        EXPECT_EQ(ws->readouts.cursor[1], r.cy) << r.y;
    }
    ws->Release();
}

// A record that reports its channels unchanged since its own last report still replaces
// the channels another window's record left in the cache (a one-channel chart, then a
// colour bitmap whose first report came before the cache was cleared).
TEST(LensCursor, ChannelsFromAnotherRecordAreReplacedThoughMarkedUnchanged) {
    auto* ws = new WorkspaceComponent;
    GraphicsReadout line;
    line.channelTotal = 1;
    EXPECT_NE(WorkspaceCacheReadout(ws, line, kReadoutAll) & kReadoutChannels, 0u);
    GraphicsReadout colour;
    colour.channelTotal = 3;
    colour.channelsUnchanged = 1;
    EXPECT_NE(WorkspaceCacheReadout(ws, colour, kReadoutAll) & kReadoutChannels, 0u);
    EXPECT_EQ(ws->readouts.channelCount, 3);
    EXPECT_EQ(WorkspaceCacheReadout(ws, colour, kReadoutAll) & kReadoutChannels, 0u);
    ws->Release();
}

TEST(LensValues, ThreeColumnsOfThree) {
    struct Row {
        uint8_t rgb[3];
        const char* text;
    };
    const Row rows[] = {{{7, 128, 255}, "  7128255"}, {{0, 0, 0}, "  0  0  0"}, {{255, 255, 255}, "255255255"},
                        {{10, 9, 100}, " 10  9100"}};
    for (const Row& r : rows) {
        char text[13];
        LensValuesText(r.rgb, text);
        EXPECT_STREQ(text, r.text);
    }
}

TEST(LensSwitch, PinnedAndTheStateFollowTheActiveCellsWindow) {
    HookScope hooks;
    auto* ws = new WorkspaceComponent;
    LensSetOn(ws, true);
    EXPECT_EQ(ws->lens.on, 1);
    EXPECT_EQ(ws->lens.pinned, 1);
    EXPECT_EQ(ws->lens.state, 1);  // no active cell
    {
        FakeWindow fake;
        WiredCell wired(&fake.window);
        ASSERT_TRUE(PlaceCellInSlot(ws, wired.cell, 1));
        wired.graphics->modeFlag = 7;
        LensSetOn(ws, false);
        EXPECT_EQ(ws->lens.on, 0);
        EXPECT_EQ(ws->lens.state, 0);
        EXPECT_EQ(wired.graphics->modeFlag, 0);
        LensSetOn(ws, true);
        EXPECT_EQ(wired.graphics->modeFlag, 1);
        // An active cell that goes switches an unpinned lens off.
        ws->lens.pinned = 0;
        ws->activeCell = wired.cell;
    }
    EXPECT_EQ(ws->lens.on, 0);
    EXPECT_EQ(ws->activeCell, nullptr);
    // Without a lens widget nothing fits its text.
    EXPECT_FALSE(LensFitText(ws));
    LensShowValues(ws, true);
    EXPECT_EQ(ws->lens.showValues, 1);
    ws->Release();
}

}  // namespace
}  // namespace orva
