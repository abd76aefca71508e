#pragma once
// Where the parts of the window groups go: the tool window's place beside the main
// window, and the page column left of a group window's workspace, which scrolls with the
// mouse wheel when its pages are taller than the window and shows only what lies inside
// it. UI thread only.
#include <cstdint>
#include <vector>

#include "platform/msg_types.h"

namespace orva {

struct gGroup;
struct gWindow;
struct WindowGroup;

// The smallest tool window the user can size, and the least height it is given below the
// main window before it goes to the screen's corner instead.
inline constexpr int32_t kToolMinWidth = 460;
inline constexpr int32_t kToolMinHeight = 484;
inline constexpr int32_t kToolBelowMinHeight = 200;
// The least room the tool window keeps for its chart right of its page column: the chart's
// zoom bar whole. A column that widens for the readouts raises the window's least width.
inline constexpr int32_t kToolChartMinWidth = 380;

struct ToolWindowRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
    // No place on the screen leaves the main window uncovered: it stands over its lower part.
    bool coversMain = false;
};

// The tool window's usual size, and the height below which its readouts stand beside the
// panel instead of above it.
inline constexpr int32_t kToolWidth = 710;
inline constexpr int32_t kToolHeight = 494;

// The main window's outer rectangle on a screen of that size with that work area: 900 x
// 706 at most, centred at the top. Where the tool window would cover it at the foot of the
// screen and the screen is wide enough for both side by side, it goes to the work area's
// left edge, leaving the tool window all the room on its right.
platform::Rect PlaceMainWindow(int32_t screenWidth, int32_t screenHeight, const platform::Rect& area);

// The tool window's outer rectangle beside the main window (its outer rectangle `main`,
// its page column `sideWidth` wide) on a screen of that size with that work area: right
// of the main window's page column at the foot of the screen, 710 x 494 at most. Where
// that would cover the main window: beside it when the work area has room for the
// smallest tool window, else below it (from the work area's left edge, so that it can
// widen) when that leaves at least kToolBelowMinHeight; with no room anywhere it goes to
// the foot of the screen from the work area's left edge, marked as covering the main
// window.
ToolWindowRect PlaceToolWindow(const platform::Rect& main, int32_t sideWidth, int32_t screenWidth,
                               int32_t screenHeight, const platform::Rect& area);
// The lowest screen row the group window's bottom edge may reach when it lengthens: the
// work area's bottom, and for the main window the top of a shown tool window that stands
// below it.
int32_t GroupWindowBottomLimit(WindowGroup& g);
// Whether two rectangles share pixels.
bool RectsOverlap(const platform::Rect& a, const platform::Rect& b);

// ---- The page column ---------------------------------------------------------------------

// The groups of the pages docked in the group's window (its tab pages, the blocks of the
// pages they host, and other pages' blocks left of the column's edge), shown or not.
std::vector<gGroup*> PageColumnGroups(WindowGroup& g);
// Where the column shows pages: from below the group's tab bar to above its status line.
bool PageColumnBand(WindowGroup& g, float* top, float* bottom);
// Whether the column's shown pages are taller than the column (it scrolls and shows its bar).
bool PageColumnScrolls(WindowGroup& g);
// Moves the column to its scroll position (kept within what its shown pages need) and
// hides the widgets that do not lie wholly inside the column; the window is marked for
// repaint when that changed anything.
void PageColumnApply(WindowGroup& g);
// Puts the column's pages back where they were built (the scroll position is kept for the
// next PageColumnApply): a block is placed among them before it is built.
void PageColumnRestore(gWindow* window);
// Scrolls the column back to its top (another tab was chosen).
void PageColumnToTop(WindowGroup& g);
// A wheel turn over the column of a group window (delta in 120ths of a notch, positive
// away from the user: the pages move down); false when the pointer is not over a column
// or the column cannot scroll that way.
bool PageColumnWheel(gWindow* window, int delta);
// After a block was built into a group window outside its tab pages (the chart's panel
// in the tool window): the column scrolls and clips it with the others.
void PageColumnRefresh(gWindow* window);
// Routes the toolkit's wheel turns that no widget takes to the page columns.
void InstallPageColumnWheel();
// The column's scroll bar, and the room kept for it at the column's right edge (the bar
// and a gap before the pages).
inline constexpr float kColumnBarWidth = 12.0f;
inline constexpr int32_t kColumnBarRoom = 15;
// Pixels the column scrolls per wheel notch.
inline constexpr float kColumnWheelStep = 40.0f;

}  // namespace orva
