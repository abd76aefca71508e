#pragma once
// The grid of a display cell: which lines are drawn over the picture, how they look,
// their spacing on bitmaps and on charts, and three cursor options of chart views. The
// cell holds one record; the grid page and the grid menu change it through the
// operations below, which store the setting and repaint the cell. The lines are drawn
// in the cell's paint, under its plot-area clip. UI thread only.
#include <cstdint>

namespace orva {

class DisplayComponent;

// Spacing limits, in screen pixels.
constexpr uint32_t kGridSpacingMin = 40;
constexpr uint32_t kGridSpacingMax = 400;
constexpr uint32_t kGridMajorDefault = 100;
constexpr uint32_t kGridMinimalDefault = 40;

// The settings of one axis: the lines across it (X: vertical lines) on bitmaps and the
// smallest step between them on charts.
struct GridAxis {
    uint32_t major = kGridMajorDefault;
    uint32_t minimal = kGridMinimalDefault;
};

struct GridRecord {
    uint8_t shown = 0;
    uint8_t horizontal = 1;
    uint8_t vertical = 1;
    uint32_t doubleStep = 0;   // on when 1: a line halfway between two
    uint8_t colour = 0;        // coloured lines instead of grey
    uint8_t bold = 0;
    uint8_t stipple = 0;
    uint8_t blend = 0;         // half transparent
    GridAxis x;
    GridAxis y;
    uint8_t unlockX = 0;       // chart cursor: unlocked axis
    uint8_t unlockY = 0;
    uint8_t lockBounds = 0;    // chart: the left and right boundary are locked
};

// The settings a page or menu switches.
enum class GridSetting { kShown, kHorizontal, kVertical, kDoubleStep, kColour, kBold, kStipple, kBlend,
                         kUnlockX, kUnlockY, kLockBounds };

// Answers of DisplayGridSet.
constexpr int32_t kGridUnchanged = 0;
constexpr int32_t kGridChanged = 1;
constexpr int32_t kGridLinesChanged = 2;   // the grid and its line choice changed together

// The spacing an entry gives: 40 to 400, and an odd value there loses its lowest bit.
uint32_t GridSpacing(uint32_t entered);

// The cell's record, or null without a cell.
GridRecord* DisplayGrid(DisplayComponent* cell);
// True when the cell shows a chart (its graphics window is a chart's).
bool DisplayShowsChart(const DisplayComponent* cell);

// Switches a setting: the grid on without any line choice switches both lines on, a
// line switched on turns the grid on, and the last line switched off turns it off (each
// answering kGridLinesChanged). A change repaints the cell.
int32_t DisplayGridSet(DisplayComponent* cell, GridSetting setting, bool on);
// Stores a spacing (major on bitmaps, else the charts' minimal step) of an axis; false
// when it equals the stored one. A change repaints the cell.
bool DisplayGridSetSpacing(DisplayComponent* cell, bool axisX, bool minimal, uint32_t value);
// The cursor options of the record reach the cell's chart (free x, free y and the edge
// lock of its sliders), which is redrawn; nothing when the cell shows no chart.
void DisplayGridApplyCursorOptions(DisplayComponent* cell);
// The other way: the record takes the cursor options of the cell's chart (its keys changed
// them), and the grid page of the cell's workspace shows them.
void DisplayGridFollowChart(DisplayComponent* cell);
// Repaints the cell with its grid (at once when its window may draw, else marked).
void DisplayGridApply(DisplayComponent* cell);
// Draws the grid lines over a plot area of width x height pixels (GL context current,
// the model-view at the plot area's top-left corner, y down).
void DisplayGridDraw(const GridRecord& grid, bool chart, int32_t width, int32_t height);

}  // namespace orva
