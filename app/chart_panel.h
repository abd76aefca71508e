#pragma once
// The chart's tool panel ("Chart"): one block of controls in the "Chart Tools" window
// that edits the chart shown in a display cell: its binding, curve and point style, the
// y range and its mode, the x range and the six view memories. The block belongs to the
// page of the cell; its handlers act on the cell's current window when that is a chart.
// UI thread only.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/ui_elements.h"

namespace orva {

class ChartWindow;
struct gElement;
struct gWindow;

// The controls of the block, by slot.
enum ChartPanelSlot : uint32_t {
    kChartSlotBind = 0,       // "BIND SOURCES"
    kChartSlotReset = 1,      // "RESET"
    kChartSlotCurve = 2,      // "CURVE"
    kChartSlotCurveOn = 3,    // "S" of the curve
    kChartSlotPoints = 4,     // "POINTS"
    kChartSlotPointsOn = 5,   // "S" of the points
    kChartSlotWidth = 6,      // curve width
    kChartSlotSize = 7,       // point size
    kChartSlotStepwise = 8,
    kChartSlotLinear = 9,
    kChartSlotGetY = 10,
    kChartSlotSrcY = 11,
    kChartSlotChartY = 12,
    kChartSlotAuto = 13,
    kChartSlotRangeName = 14,
    kChartSlotRangeY = 15,
    kChartSlotMaxY = 16,
    kChartSlotMinY = 17,
    kChartSlotMemory = 18,    // 18..23: "1".."6"
    kChartSlotXStart = 24,
    kChartSlotXCount = 25,
    kChartSlotResetX = 26,
    kChartSlotCount = 27,
};

// The block's place in the table of the cell's page.
constexpr uint32_t kChartPanelBlock = 0;
// Colour pairs of the toggles and the push buttons.
constexpr uint32_t kChartToggleColour = 0x46D7070, kChartToggleColour2 = 0x47F7F7F;
constexpr uint32_t kChartButtonColour = 0x46D7070, kChartButtonColour2 = 0xF1A1A1A;

// The name of a range mode: "User range", "Chart range" or "Input range".
const char* ChartRangeName(uint32_t modeBits);
// The text of a y value in the panel's fields: 11 significant digits, always with a
// decimal point or an exponent ("1.0", "-5.0", "0.12345678901").
void ChartYText(double value, char* out, size_t size);
// The text of the RANGE Y field: maximum - minimum, or 1.0 when that is not above
// DBL_MIN or lies within DBL_EPSILON of 1.0.
void ChartRangeText(double minimum, double maximum, char* out, size_t size);

// The block's build function (ShowComponentPage).
void BuildChartPanel(UIElement* element, gElement** slots);
// The block of a chart: its cell's page's, when built and live; null otherwise.
UIElement* ChartPanelOf(const ChartWindow* chart);
// The chart the block edits: the page's attached cell's current window when it is a
// chart; null otherwise (`attached`, when given, tells whether the page has a live
// component at all).
ChartWindow* ChartPanelChart(UIElement* element, bool* attached = nullptr);
// Sets the block's controls from its chart (disable false), or greys every control
// once (disable true, or no chart).
void ChartPanelRefresh(UIElement* element, bool disable);
// One item of the block (kChartPanel* of app/chart_window.h; 0 the whole block).
void ChartPanelRefreshItem(UIElement* element, uint32_t item);
// Builds the chart's block into the "Chart Tools" window (or refreshes it); false
// without a page or a window.
bool ChartPanelBuildFor(ChartWindow* chart, int32_t pageId);
// The chart blocks built into a window (at most one of them is shown).
std::vector<UIElement*> ChartPanelsIn(const gWindow* window);
// Fills the chart panel hooks of the chart window.
void InstallChartPanel();

}  // namespace orva
