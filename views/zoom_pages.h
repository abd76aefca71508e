#pragma once
// Two pages of the workspace that control how the active display cell is magnified: the
// lens page (the lens that follows the cursor, its zoom and the side of the area it
// shows) and the zoom tool bar (both zoom factors of the view in per cent with their
// presets, the zoom lock, chart zoom in and out, the 1:1 reset, the grid menu and the
// background colour menu). UI thread only.
#include <cstdint>

namespace orva {

class DisplayComponent;
class OutputDevice;
class UIElement;
class UIPage;
class WorkspaceComponent;
struct ToolMenu;
struct gElement;

// ---- The lens page ----------------------------------------------------------------------------

constexpr uint32_t kLensPageOn = 0, kLensPageValues = 1, kLensPageZoom = 2, kLensPageArea = 3, kLensPageScreen = 4;
constexpr uint32_t kLensPageSlotCount = 5;
// Limits of the lens: its zoom, its area and the lens size on screen (area x zoom).
constexpr float kLensZoomMin = 0.2f, kLensZoomMax = 30.0f, kLensZoomStep = 0.1f;
constexpr uint32_t kLensAreaMin = 10;
constexpr uint32_t kLensAreaLimit = 1000;
constexpr uint32_t kLensAreaReset = 24;
constexpr double kLensScreenMin = 70.0, kLensScreenMax = 1000.0;

// The largest area the lens may show: 1000 at a zoom of 1.0 and above or outside a
// project window group, else the room the group's window leaves; never above what the
// lens can read back.
uint32_t LensAreaMaximum(const WorkspaceComponent* workspace);

void BuildLensPage(UIElement* element, gElement** slots);
void LensPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
// The page's refresh when it is open (user interface up).
void RefreshLensPage(WorkspaceComponent* workspace);
// The "Lens" toggle follows the lens (page open, user interface up).
void LensPageSetFromView(WorkspaceComponent* workspace);
void LensPageSetFromCell(DisplayComponent* cell);

// Handlers (the widget and the page element).
void LensOnPress(gElement* toggle, uintptr_t element);
void LensValuesPress(gElement* toggle, uintptr_t element);
void LensZoomChanged(gElement* field, uintptr_t element);
void LensZoomReset(gElement* button, uintptr_t element);
void LensZoomDown(gElement* button, uintptr_t element);
void LensZoomUp(gElement* button, uintptr_t element);
void LensAreaChanged(gElement* field, uintptr_t element);
void LensAreaReset(gElement* button, uintptr_t element);
void LensAreaDown(gElement* button, uintptr_t element);
void LensAreaUp(gElement* button, uintptr_t element);

// ---- The zoom tool bar ------------------------------------------------------------------------

constexpr uint32_t kZoomSecondMenu = 0, kZoomSecondField = 1, kZoomFirstMenu = 2, kZoomFirstField = 3,
                   kZoomLock = 4, kZoomIn = 5, kZoomOut = 6, kZoomOneToOne = 7, kZoomReset = 8, kZoomGrid = 9,
                   kZoomBackground = 10;
constexpr uint32_t kZoomBarSlotCount = 11;
constexpr int32_t kZoomPresetCount = 8;

// A zoom factor as per cent: "0.05%" below 0.1 %, else up to three decimals ("100%").
void ZoomPercentText(double factor, char text[32]);
// The index of a whole per-cent value among the presets (400 % ... 5 %), -1 otherwise.
int32_t ZoomPresetIndex(double factor);
// The factor of preset i (4.0 ... 0.05).
double ZoomPresetFactor(int32_t index);

void BuildZoomBar(UIElement* element, gElement** slots);
void ZoomBarRefresh(UIPage* page, UIElement* element, int32_t pageId);
// Both zoom fields again; with `repaint` the bar's window is drawn at once.
void UpdateZoomBarPage(WorkspaceComponent* workspace, bool repaint);
void RefreshZoomBar(WorkspaceComponent* workspace, bool repaint);
// The factor a field shows: selector 1 the first, 0 the second (on a chart the product
// of its scale factors); false without a device.
bool ZoomBarFactor(WorkspaceComponent* workspace, int32_t selector, double* factor);

// Handlers (the widget and the page element).
void ZoomFieldChanged(gElement* field, uintptr_t element);
void ZoomLockPress(gElement* toggle, uintptr_t element);
void ZoomInPress(gElement* button, uintptr_t element);
void ZoomOutPress(gElement* button, uintptr_t element);
void ZoomResetPress(gElement* button, uintptr_t element);
void ZoomPresetMenuOpen(gElement* button, uintptr_t element);
void ZoomGridMenuOpen(gElement* button, uintptr_t element);
void ZoomBackgroundMenuOpen(gElement* button, uintptr_t element);
// A preset chosen (selector 1: the first factor's menu).
void ZoomPresetChoose(WorkspaceComponent* workspace, int32_t selector, int32_t index);
// The background colour menu's choice: entry i of the colour list, or the dialog (-1).
void ZoomBackgroundChoose(WorkspaceComponent* workspace, int32_t index);
// The menus as they are now (tests look at their items); freed with the bar.
ToolMenu* ZoomPresetMenu(int32_t selector);
ToolMenu* ZoomBackgroundMenu();
void ZoomBarMenusFree();
// What "Select Color..." runs: the colour dialog (tests may put their own in its place).
using BackgroundDialogFn = void (*)(WorkspaceComponent* workspace);
BackgroundDialogFn& TheBackgroundDialog();

}  // namespace orva
