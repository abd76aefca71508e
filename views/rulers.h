#pragma once
// What a display cell does around its picture: the ruler pair along the left and top
// edges of a view (a marker that follows the mouse, a wheel that scrolls the view), the
// layout callback of the cell's widget, and the setters of the view options that the
// grid page, the grid menu and the workspace keys call. Every setter repaints at once.
// UI thread only.
#include <cstdint>

#include "platform/msg_types.h"
#include "toolkit/scale.h"

namespace orva {

class DisplayComponent;
class OutputWindow;
struct gElement;
struct gFont;
struct gKeyEvent;
struct gWindow;

// The rulers' style flag that the workspace keys toggle.
constexpr uint32_t kRulerKeyFlag = 0x2;
// Room of the rulers in a cell: the vertical ruler's width (narrow cells) and the
// horizontal ruler's height.
constexpr float kRulerWidth = 41.0f;
constexpr float kRulerWidthNarrow = 35.0f;
constexpr float kRulerHeight = 15.0f;
// The style word of the ruler widgets.
constexpr uint32_t kRulerWidgetStyle = 512;

// The ruler pair of a view: the toolkit's scales with what the view keeps beside them.
// horizontal is the first scale (the ruler along the top), vertical the second.
class ViewRulers : public SliderCtrl {
public:
    // thickness: the vertical ruler's width and the horizontal ruler's height.
    ViewRulers(float verticalWidth, float horizontalHeight);

    float thickness[2] = {kRulerWidth, kRulerHeight};
    OutputWindow* target = nullptr;  // the graphics window served (null: hidden)
    int32_t markerX = -1, markerY = -1;
    uint8_t scaleShown[2] = {0, 0};    // horizontal, vertical
    uint8_t chartToggle[2] = {0, 0};   // horizontal, vertical
    uint8_t shown = 0;
    uint8_t optionC = 0, optionD = 0;  // options A and B are flagA and flagB
    uint8_t hidden = 0;
    uint8_t bothAxes = 0;
    float inner[2] = {0.0f, 0.0f};     // the inner extent (width, height)
    DisplayComponent* cell = nullptr;  // the cell whose window they live in
};

// ---- Placing and sizing ------------------------------------------------------------------------

// Shows the rulers in `window` around `rect` (x, y, width, height) for `target`.
bool RulersAttach(ViewRulers* rulers, gWindow* window, const float* rect, OutputWindow* target);
void RulersPlace(ViewRulers* rulers, float x, float y, float width, float height);
// Resizes the rulers to a new extent.
void CellSetCursorPoint(ViewRulers* rulers, float x, float y);
// Hides the cell's own ruler widgets and forgets their target.
void HideRulers(DisplayComponent* cell);
// Shows the cell's own ruler widgets (made on first use, for the cell's graphics window)
// along its left and top edges as the shown bytes say, or hides them; nothing while the
// rulers are hidden with the cell's port.
void RulersShowForCell(DisplayComponent* cell);
// Puts the cell's own rulers on the screen as their shown bytes say: made or shown along
// the cell's left and top edges for its graphics window with the picture moved past them
// and their labels placed, or hidden with the picture given the whole cell. No repaint.
void DisplayApplyRulers(DisplayComponent* cell);
// The ruler keys' flag stands for a shown scale: each scale is shown while its flag is
// set, and the rulers while either is; then as DisplayApplyRulers.
void RulersFollowKeyFlag(DisplayComponent* cell);

// ---- Markers, wheel and keys ----------------------------------------------------------------------

// The modifier bits of the toolkit held now (Alt is 0x300000); tests replace the source.
uint32_t RulerModifiersNow();
void SetRulerModifierSource(uint32_t (*source)());

void RulerHMove(gElement* widget, const platform::Point* point);
void RulerVMove(gElement* widget, const platform::Point* point);
void RulerHHover(gElement* widget, const platform::Point* point);
void RulerVHover(gElement* widget, const platform::Point* point);
// The wheel: notches = delta / 120 toward zero; when not zero the target scrolls by them
// (keys: bit 3 Ctrl, bit 2 Shift).
void RulersWheel(ViewRulers* rulers, bool vertical, int delta, int keys);
void RulerHWheel(gElement* widget, int delta, int keys);
void RulerVWheel(gElement* widget, int delta, int keys);
int RulerHKey(gElement* widget, const gKeyEvent* key);
int RulerVKey(gElement* widget, const gKeyEvent* key);
// The marker of a ruler from a point in window coordinates (`vertical`: the left ruler).
// Answers the cursor the ruler asks for: 0 none, 1 horizontal, 2 vertical, 3 both.
int RulerMarkerFromPoint(ViewRulers* rulers, bool vertical, float x, float y, bool alt);
// The three ruler cursors: the double arrows and the cross-hair.
platform::Cursor RulerCursor(int which);

// ---- The widget's layout ---------------------------------------------------------------------------

void DisplayOnWidgetLayout(gElement* widget);

// ---- View options ------------------------------------------------------------------------------------

int32_t SetRulersShown(DisplayComponent* cell, bool on);
int32_t ToggleRulersShown(DisplayComponent* cell);
int32_t SetHorizontalScaleShown(DisplayComponent* cell, bool on);
int32_t ToggleHorizontalScaleShown(DisplayComponent* cell);
int32_t SetVerticalScaleShown(DisplayComponent* cell, bool on);
int32_t ToggleVerticalScaleShown(DisplayComponent* cell);
bool SetRulerOptionD(DisplayComponent* cell, bool on);
bool ToggleRulerOptionD(DisplayComponent* cell);
bool SetRulerColourSet(DisplayComponent* cell, uint8_t index);
bool ToggleRulerColourSet(DisplayComponent* cell);
bool SetRulerColourVariant(DisplayComponent* cell, uint8_t variant);
bool ToggleRulerColourVariant(DisplayComponent* cell);
bool SetRulerOptionB(DisplayComponent* cell, bool on);
bool ToggleRulerOptionB(DisplayComponent* cell);
bool SetRulerOptionA(DisplayComponent* cell, bool on);
bool ToggleRulerOptionA(DisplayComponent* cell);
bool SetRulerOptionC(DisplayComponent* cell, bool on);
bool ToggleRulerOptionC(DisplayComponent* cell);
// `which` false: the second (vertical) scale's byte, true: the first one's.
bool SetChartToggle(DisplayComponent* cell, bool which, bool on);
bool ToggleChartToggle(DisplayComponent* cell, bool which);
// The chart's own toggles, reached when the cell shows a chart (the shell installs them).
struct ChartToggleHooks {
    void (*first)(OutputWindow* chart, bool on) = nullptr;
    void (*second)(OutputWindow* chart, bool on) = nullptr;
};
ChartToggleHooks& TheChartToggleHooks();

// True unless the cell is the active cell of its workspace (or has none) and shows a chart.
bool DisplayIsNotChart(const DisplayComponent* cell);
// The ruler pair the view options act on: the graphics window's (the cell's own unless the
// window names another); null without a graphics window.
ViewRulers* RulersOfCell(const DisplayComponent* cell);

}  // namespace orva
