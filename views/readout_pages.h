#pragma once
// The workspace's readout pages: what lies under the pointer in the active display cell.
// The coordinates page (X and Y of the data point, rounded or real), the value readout
// page ("C:" the pointer position, "V:" the values of up to three channels), the channel
// buttons "1", "2", "3" and the view mode page (the fast-mode toggle and the channel
// values). Each page has its build function (widgets into the slots in a fixed order),
// its refresh function and its button handlers. UI thread only.
#include <cstdint>
#include <string>

namespace orva {

class UIElement;
class UIPage;
class WorkspaceComponent;
struct WorkspaceReadouts;
struct gElement;

// Slots of the coordinates page.
constexpr uint32_t kCoordRound = 0, kCoordTitle = 1, kCoordXCaption = 2, kCoordX = 3, kCoordYCaption = 6,
                   kCoordY = 7, kCoordZCaption = 10, kCoordZ = 11;
// Slots of the value readout page.
constexpr uint32_t kValueValues = 1, kValuePosition = 3, kValueVCaption = 0, kValueCCaption = 2;
// Slots of the channels page: the three buttons and the marker.
constexpr uint32_t kChannelMarker = 3;
// Slots of the view mode page.
constexpr uint32_t kViewModeToggle = 0, kViewModeValue1 = 4, kViewModeValue2 = 5, kViewModeValue3 = 6;
constexpr uint32_t kViewModeCaption1 = 1, kViewModeCaption2 = 2, kViewModeCaption3 = 3;

// The rounding mode that shows a coordinate as it is.
constexpr int32_t kAxisReal = 2;
// Rounding of a data coordinate by an axis mode: 0 up (ceiling), 1 toward zero, any
// other value leaves it.
double RoundCoordinate(int32_t mode, double value);
// The two rounding modes of the active view's axis record; null without an active view
// with a graphics window (both count as 2 then).
int32_t* ActiveAxisModes(WorkspaceComponent* workspace);
// The channels shown: total less the first shown channel when that is smaller, else the
// total.
uint32_t ShownChannelCount(uint32_t total, uint32_t first);

// The values text of the value readout: up to three values with FormatDoubleDigits(10, 3)
// joined by two blanks; an unset value (-DBL_MAX) or one that formats to nothing is "*".
// `live`: the readouts' form, where the second of exactly two values, when unset, leaves
// the text ending in the two blanks.
std::string ChannelValuesText(const double values[3], uint32_t shown, bool live);
// One channel value, empty when unset.
std::string ChannelValueText(double value);

// The rounded cursor X and Y (coordinate digits, 2) into the coordinates page's fields;
// nothing without an active view, the fields keep their text without an axis record.
void FormatCursorXY(WorkspaceComponent* workspace, UIElement* coordinatesPage);
// X and Y (value digits, 2), each rounded by its axis mode, joined by two blanks.
void FormatCursorPosition(WorkspaceComponent* workspace, gElement* field);
// The channel buttons from a channel record (count 0: from the record's total and first
// shown channel): "1" and "2" hidden below two channels, "3" below three, the marker
// below four; the current channel's button pressed among the three.
void SetChannelButtons(UIElement* channelsPage, const WorkspaceReadouts* record, uint32_t count);
// The view mode page's "2:" and "3:" rows shown for as many channels as the record shows
// (hidden below two and three); the shown count.
uint32_t ShowViewModeChannels(UIElement* viewModePage, const WorkspaceReadouts& record);
// Step 1 of the view mode refresh, when the page exists.
void RefreshViewModePage(WorkspaceComponent* workspace);

// ---- Pages --------------------------------------------------------------------------------
void BuildCoordinatesPage(UIElement* element, gElement** slots);
void CoordinatesPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
void BuildValuePage(UIElement* element, gElement** slots);
void ValuePageRefresh(UIPage* page, UIElement* element, int32_t pageId);
void BuildChannelsPage(UIElement* element, gElement** slots);
void ChannelsPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
void BuildViewModePage(UIElement* element, gElement** slots);
void ViewModePageRefresh(UIPage* page, UIElement* element, int32_t pageId);

// ---- Handlers (widget, the page element) ----------------------------------------------------
void CoordinatesRoundPress(gElement* button, uintptr_t element);
void ChannelButtonPress(gElement* button, uintptr_t element);
void ViewModePress(gElement* button, uintptr_t element);

}  // namespace orva
