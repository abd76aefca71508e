#pragma once
// The grid page of the workspace and the grid menu of the zoom tool bar: they edit the
// grid of the active display cell (lines, look, spacing, chart cursor options) and show
// its settings. UI thread only.
#include <cstdint>

namespace orva {

class UIElement;
class UIPage;
class WorkspaceComponent;
struct ToolMenu;
struct gElement;

// Slots of the page.
constexpr uint32_t kGridColour = 0, kGridBold = 1, kGridStipple = 2, kGridBlend = 3, kGridShown = 4,
                   kGridHorizontal = 5, kGridVertical = 6, kGridDoubleStep = 7, kGridMajorX = 8, kGridMajorY = 9,
                   kGridMinimalX = 10, kGridMinimalY = 11, kGridUnlockX = 12, kGridUnlockY = 13,
                   kGridLockBounds = 14;
constexpr uint32_t kGridSlotCount = 15;
// Rows and ids of the grid menu (separators have none): the grid's ids 1 to 11, then the
// rulers of the view (both, the horizontal one along the top, the vertical one at the left).
constexpr int32_t kGridMenuRows = 17;
constexpr uint32_t kGridMenuRulers = 12, kGridMenuRulerH = 13, kGridMenuRulerV = 14;

void BuildGridPage(UIElement* element, gElement** slots);
void GridPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
// Refreshes the open page (user interface up); with `repaint` its window is drawn at once.
void UpdateGridPage(WorkspaceComponent* workspace, bool repaint);
// Only the cursor options and the unlock pair; the window is marked for repaint.
void RefreshGridCursorOptions(WorkspaceComponent* workspace);

// Handlers (the widget and the page element).
void GridTogglePress(gElement* toggle, uintptr_t element);
void GridUnlockPress(gElement* toggle, uintptr_t element);
void GridSpacingChanged(gElement* field, uintptr_t element);

// The grid menu of a drop-down button: made on the first press, prepared from the active
// cell's grid and opened under the button; a press while it is open keeps it open.
void GridMenuOpen(WorkspaceComponent* workspace, gElement* button);
// A choice of the menu (ids 1 to 14), as the menu calls it.
void GridMenuChoose(WorkspaceComponent* workspace, uint32_t id);
// Closes and frees the menu (the button's release).
void GridMenuFree();
// The menu as it is now (tests look at its items).
ToolMenu* GridMenu();

}  // namespace orva
