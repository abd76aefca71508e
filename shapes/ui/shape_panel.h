#pragma once
// The "Edit Shape..." panel: a floating window of one page that shows the numbers of
// the shape it is pointed at (the current shape of the active view) and lets the user
// type them: the box, the three apertures, the selected anchor (shown only), and a move
// or a rotation of the shape, of every other shape or of all shapes. The panel holds a
// reference on its shape, so that a shape removed meanwhile lives on until the panel
// turns to another. The move steps and the angle are program-wide values of the run
// (ShapeGlobals). UI thread.
#include <cstddef>
#include <cstdint>

#include "shapes/shape.h"

namespace orva {

struct DialogPages;
struct PanelPage;
struct gWindow;

// The page's widgets, by slot.
enum ShapePanelSlot : int32_t {
    kPanelX = 0,
    kPanelY,
    kPanelW,
    kPanelH,
    kPanelAperture,
    kPanelA1,
    kPanelA2,
    kPanelAnchorButton,
    kPanelAnchorIndex,
    kPanelAnchorX,
    kPanelAnchorY,
    kPanelSelected,
    kPanelAll,
    kPanelExclude,
    kPanelMove,
    kPanelMoveX,
    kPanelDx,
    kPanelMoveY,
    kPanelDy,
    kPanelRotate,
    kPanelAngle,
    kPanelSlotCount
};

// What Move and Rotate act on (the radio items).
enum ShapePanelScope : int32_t { kScopeSelected = 0, kScopeAll = 1, kScopeExclude = 2 };

// The page's title, ending in the ellipsis of the program's code page, and the window's.
inline constexpr char kEditShapePageTitle[] = "Edit Shape\x85";
inline constexpr char kEditShapeWindowTitle[] = "Edit Shape";

// The text of a number in a panel field: "%.2f" with a trailing "0" dropped, and with it
// the "0." or "." before it ("12", "12.5", "0"); a number that "%.2f" cannot show in 19
// characters is shown with "%.9g". `out` holds at least 20 characters.
constexpr size_t kPanelNumberSize = 20;
void FormatPanelNumber(double value, char* out);

// The panel's record, made on first use and kept for the run (its window is made when it
// is first shown).
DialogPages& TheEditShapePanel();
// Shows the panel's window over `parent` (made when there is none); true when it stands.
bool ShowEditShapePanel(gWindow* parent);
// Builds the panel's window over `parent`, hidden (the program builds it with its main
// window); true when it stands.
bool BuildEditShapePanel(gWindow* parent);
// Points the panel at a shape (nullptr: none); a shown panel that turned to another shape
// shows it at once.
void ShapePanelSetTarget(Shape* shape);
Shape* ShapePanelTarget();
// Whether the panel's window is shown.
bool ShapePanelShown();
// Refreshes a shown panel that shows this shape, and repaints its window at once.
void ShapePanelSync(Shape* shape);
// Turns the panel away from a shape of the view (a view that goes).
void ShapePanelForgetView(const ShapeView* view);
// The panel's target callback: flag set takes a reference on the new target (and drops
// the one on the old), flag clear drops the one on the target.
void ShapePanelHoldTarget(void* target, int flag);

// The page: built into the panel's window, refreshed with the target's numbers, the
// fields written.
int ShapeEditPanel(gWindow* window, PanelPage* page);
void ShapeEditPanelUpdate(gWindow* window, PanelPage* page, int flag);
void ShapePanelRefresh(PanelPage* page);
// The page of the panel, and a widget of it while it lives (tests).
PanelPage* ShapePanelPage();
struct gElement;
gElement* ShapePanelSlot(int32_t slot);

// The buttons: Move by (dx, dy) (what = 0), by (dx, 0) (1) or by (0, dy) (2); Rotate by
// the angle. Display orientations 5 and 6 turn both the other way. False when nothing
// moved or turned.
bool ShapePanelMove(int what);
bool ShapePanelRotate();
// Chooses what Move and Rotate act on, as the radio items do.
void ShapePanelSetScope(int32_t scope);

// Closes the panel's window, points it at nothing and gives back the program-wide values
// (tests).
void ResetEditShapePanel();

}  // namespace orva
