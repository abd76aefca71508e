// Where the tool window goes beside the main window on screens of several sizes; the
// rectangles are worked out by hand from the rule (right of the page column at the foot
// of the screen, 710 x 494 at most; beside, below, or where it was when that covers the
// main window).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/group_layout.h"

namespace orva {
namespace {

struct PlaceCase {
    const char* what;
    platform::Rect main;
    int32_t side, screenWidth, screenHeight;
    platform::Rect area;
    ToolWindowRect expected;
};

TEST(ToolWindowPlace, BesideBelowOrAtTheFootOfTheScreen) {
    const std::vector<PlaceCase> cases = {
        // 1280 x 1024: the first rule's (530, 505) covers the main window's foot; 190
        // pixels beside it are too few, 318 below it are enough: from the left edge, where
        // it can widen.
        {"1280x1024", {190, 0, 1090, 706}, 320, 1280, 1024, {0, 0, 1280, 1024}, {0, 706, 710, 318}},
        // A panel along the bottom leaves 278 below the main window.
        {"1280x1024 panel", {190, 0, 1090, 706}, 320, 1280, 1024, {0, 0, 1280, 984}, {0, 706, 710, 278}},
        // 1024 x 768: 62 pixels on every side; at the foot of the screen from its left edge.
        {"1024x768", {62, 0, 962, 706}, 0, 1024, 768, {0, 0, 1024, 768}, {0, 249, 710, 494}},
        // 1920 x 1080, the main window at the left edge: 1020 to its right, 710 taken.
        {"1920x1080", {0, 0, 900, 706}, 320, 1920, 1080, {0, 0, 1920, 1080}, {900, 561, 710, 494}},
        // The main window centred there: 510 to its right, at the first rule's height.
        {"1920x1080 centred", {510, 0, 1410, 706}, 320, 1920, 1080, {0, 0, 1920, 1080}, {1410, 561, 510, 494}},
        // 2560 x 1440: the foot of the screen lies below the main window: the first rule holds.
        {"2560x1440", {830, 0, 1730, 706}, 320, 2560, 1440, {0, 0, 2560, 1440}, {1170, 921, 710, 494}},
        // The main window moved to the right edge: the room is on its left.
        {"moved right", {1010, 0, 1910, 706}, 320, 1920, 1080, {0, 0, 1920, 1080}, {300, 561, 710, 494}},
        // A short main window leaves the first rule's place free.
        {"short main", {190, 0, 1090, 400}, 320, 1280, 1024, {0, 0, 1280, 1024}, {530, 505, 710, 494}},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolWindowRect r = PlaceToolWindow(c.main, c.side, c.screenWidth, c.screenHeight, c.area);
        EXPECT_EQ(std::vector<int32_t>({r.x, r.y, r.width, r.height}),
                  std::vector<int32_t>({c.expected.x, c.expected.y, c.expected.width, c.expected.height}));
        const platform::Rect placed{r.x, r.y, r.x + r.width, r.y + r.height};
        // Only where there is no room is it marked as covering the main window.
        EXPECT_EQ(r.coversMain, c.screenWidth == 1024);
        // Wherever there was room, it covers nothing of the main window and stays in the work area.
        if (c.screenWidth != 1024) {
            EXPECT_FALSE(RectsOverlap(placed, c.main));
            EXPECT_GE(placed.left, c.area.left);
            EXPECT_LE(placed.right, c.area.right);
            EXPECT_LE(placed.bottom, c.area.bottom);
        }
    }
}

// The main window: 900 x 706 centred at the top, or at the left edge where the tool window
// would cover it at the foot of the screen and fits beside it (900 + 710 pixels).
TEST(MainWindowPlace, CentredOrLeftWhereTheToolWindowFitsBeside) {
    struct Case {
        int32_t width, height;
        platform::Rect area, expected;
    };
    const std::vector<Case> cases = {
        {1280, 1024, {0, 0, 1280, 1024}, {190, 0, 1090, 706}},
        {1920, 1080, {0, 0, 1920, 1080}, {0, 0, 900, 706}},
        {1920, 1080, {60, 0, 1920, 1080}, {60, 0, 960, 706}},
        {1024, 768, {0, 0, 1024, 768}, {62, 0, 962, 706}},
        // Room below for the tool window: centred.
        {2560, 1440, {0, 0, 2560, 1440}, {830, 0, 1730, 706}},
        // Narrower than 920: the width gives way, from x = 0.
        {800, 600, {0, 0, 800, 600}, {10, 0, 790, 600}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        const platform::Rect r = PlaceMainWindow(c.width, c.height, c.area);
        EXPECT_EQ(std::vector<int32_t>({r.left, r.top, r.right, r.bottom}),
                  std::vector<int32_t>({c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}));
    }
}

TEST(ToolWindowPlace, RectanglesThatTouchDoNotOverlap) {
    const platform::Rect a{0, 0, 10, 10};
    EXPECT_FALSE(RectsOverlap(a, platform::Rect{10, 0, 20, 10}));
    EXPECT_FALSE(RectsOverlap(a, platform::Rect{0, 10, 10, 20}));
    EXPECT_TRUE(RectsOverlap(a, platform::Rect{9, 9, 20, 20}));
    EXPECT_TRUE(RectsOverlap(a, platform::Rect{2, 2, 3, 3}));
    EXPECT_FALSE(RectsOverlap(a, platform::Rect{5, 5, 5, 5}));
}

}  // namespace
}  // namespace orva
