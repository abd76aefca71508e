#pragma once
// The affine filter's settings page: the method and the interpolating mode with their
// arrows, "Filter" (interpolation on; off: nearest neighbour), "Lock" (the geometry
// controls take input only while it is set), the order of zoom and rotation, the two
// mirrors, the angle and the zoom per axis in per cent with reset and step buttons,
// "Default" and "Link [XY]". The page keeps no copy of the settings: every change goes
// to the instance's record under the display lock, the kernel is chosen again and the
// pipeline told, then the widgets are filled from the record.
#include <cstdint>

#include "processing/filter_chain.h"
#include "toolkit/widget.h"

namespace orva {

struct AffineModuleState;

// The controls below "Lock" that it switches (labels not counted).
constexpr int kAffineGeometryControls = 17;

struct AffinePanel {
    FilterInstance* instance = nullptr;  // null once the instance has gone
    AffineModuleState* state = nullptr;
    gElement* root = nullptr;
    gElement* method = nullptr;
    gElement* methodPrevious = nullptr;
    gElement* methodNext = nullptr;
    gElement* filter = nullptr;
    gElement* mode = nullptr;
    gElement* modePrevious = nullptr;
    gElement* modeNext = nullptr;
    gElement* lock = nullptr;
    // In building order: order, "Vertical", "Horizontal", the angle field, its reset,
    // down and up; "Default", "Link [XY]"; per axis X then Y: field, reset, down, up.
    gElement* geometry[kAffineGeometryControls] = {};
};

// Indexes into AffinePanel::geometry.
constexpr int kAffineOrder = 0, kAffineVertical = 1, kAffineHorizontal = 2, kAffineAngle = 3,
              kAffineAngleReset = 4, kAffineAngleDown = 5, kAffineAngleUp = 6, kAffineDefault = 7,
              kAffineLink = 8, kAffineZoomX = 9, kAffineZoomY = 13;  // then reset, down, up

// ---- Numbers --------------------------------------------------------------------------------

// The angle step in degrees for the modifier keys held (toolkit key bits): none 0.1,
// Shift 1, Ctrl 0.01, Ctrl+Shift 0.1, Alt 90, Alt+Shift 180, Alt+Ctrl 45, all three 90.
double AffineAngleStep(uint32_t modifiers);
// The zoom step: none 0.001, Shift 0.01, Ctrl 0.0001, Ctrl+Shift 0.001, Alt 1,
// Alt+Shift 2, Alt+Ctrl 0.1, all three 1.
double AffineZoomStep(uint32_t modifiers);
// One step of the angle: up, a result of 360 or more loses 360; down, one of -360 or
// less gains 360.
double AffineSteppedAngle(double angle, bool up, uint32_t modifiers);
// One step of a zoom factor: the step times (repeat + 1), held at most 512 going up and
// at least `lowest` going down, snapped to a multiple of 1e-4 when within rounding of one.
double AffineSteppedZoom(double zoom, bool up, uint32_t modifiers, int32_t repeat, double lowest);
// The per-cent text of a zoom factor ("100%", "50%", "12.5%"): z * 100 with at most
// twelve decimals, trailing zeros and point removed; below 0.1 (per cent) or within
// 1e-12 of zero FormatDouble(13, 3). The buffer holds 40 characters.
void AffinePercentText(double zoom, char text[40]);
// A typed per-cent value as a factor: the text's number (a trailing "%" allowed) / 100,
// raised to `lowest` and lowered to 512. False for text that does not read, for 0 and
// for negative values.
bool AffineTypedZoom(const char* text, double lowest, double* factor);
// The lowest factor of an axis: 1 / the instance's input width (axis 0) or height (1);
// 0.001 while no frame is described.
double AffineLowestZoom(FilterInstance* instance, int axis);

// ---- The page --------------------------------------------------------------------------------

// Entry 8: builds the page in `area` (a gWindow*) at its top-left corner; answers its root
// widget (a frame; destroying it frees the page).
void* AffineBuildPanel(FilterInstance* instance, void* area);
// Fills every control from the instance's state.
void AffineRefreshPanel(AffinePanel* panel);
// The page record of a root made by AffineBuildPanel, or nullptr.
AffinePanel* AffinePanelOf(void* page);
// The state goes: the page stops acting on it.
void AffinePanelDetach(AffinePanel* panel);

// What the controls do (each does nothing without an instance and state). `on` is the
// control's new state.
bool AffinePanelStepMethod(AffinePanel* panel, bool next);
bool AffinePanelStepMode(AffinePanel* panel, bool next);
bool AffinePanelSetFilter(AffinePanel* panel, bool on);
void AffinePanelSetLock(AffinePanel* panel, bool on);
void AffinePanelToggleOrder(AffinePanel* panel);
void AffinePanelSetMirror(AffinePanel* panel, bool horizontal, bool on);
void AffinePanelSetAngle(AffinePanel* panel, double degrees);
void AffinePanelStepAngle(AffinePanel* panel, bool up, uint32_t modifiers);
// The angle field's text as typed; false (the field shows the angle again) when it does not read.
bool AffinePanelTypedAngle(AffinePanel* panel, const char* text);
// Both factors 1.0 when either differs; false when nothing changed.
bool AffinePanelDefaultZoom(AffinePanel* panel);
void AffinePanelResetZoom(AffinePanel* panel, int axis);
void AffinePanelStepZoom(AffinePanel* panel, int axis, bool up, uint32_t modifiers, int32_t repeat);
bool AffinePanelTypedZoom(AffinePanel* panel, int axis, const char* text);
void AffinePanelSetLink(AffinePanel* panel, bool on);

}  // namespace orva
