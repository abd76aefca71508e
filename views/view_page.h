#pragma once
// The blocks of a Transformation's "View" page: the scaling range (High, Low, Step,
// Lock, the region toggle and the "Range" menu), the colour settings (class,
// quantisation, channel mask, flags, levels and the palette menu) and the scaling
// class options (class, formula and the class's parameters). Each block is a page
// element keyed by its builder; its handlers find the page's component through the
// element and change the settings that the stage uses now (its own or the shared
// defaults), under the display lock, then tell the pipeline. UI thread only.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class UIElement;
class UIPage;
class ValueScaler;
class ColorConverter;
struct gElement;
struct gMenu;
struct TransformationUiServices;

// ---- Slots of the colour block ---------------------------------------------------------
constexpr uint32_t kColQuantize = 0, kColQuantizeNone = 1, kColQuantizeDown = 2, kColQuantizeUp = 3,
                   kColTitle = 4, kColClassDefault = 5, kColClassPrevious = 6, kColClassNext = 7, kColMenu = 8,
                   kColMaskR = 9, kColMaskG = 10, kColMaskB = 11, kColHalfGamma = 12, kColInvert = 13,
                   kColBrighten = 14, kColReset = 15, kColAmplification = 16, kColAmplificationLink = 19,
                   kColAmplificationReset = 20, kColBlackLevel = 21, kColBlackLevelLink = 24,
                   kColBlackLevelReset = 25, kColGamma = 26, kColGammaLink = 29, kColGammaReset = 30;
constexpr uint32_t kColourSlotCount = 31;

// ---- Slots of the class options block ----------------------------------------------------
constexpr uint32_t kClsTitle = 0, kClsFirst = 1, kClsPrevious = 2, kClsNext = 3, kClsFormula = 4;
// Row r (0: Value1 … 3: Value4) starts at 5 + 5 r: label, field, default, down, up.
constexpr uint32_t kClsRow = 5, kClsRowSlots = 5;
constexpr uint32_t kClsLabel = 0, kClsField = 1, kClsDefault = 2, kClsDown = 3, kClsUp = 4;
constexpr uint32_t kClassSlotCount = 25;

// ---- Slots of the range block ------------------------------------------------------------
constexpr uint32_t kRngMask = 0, kRngRestore = 1, kRngOrigin = 2, kRngMenu = 3, kRngHigh = 4, kRngHighStats = 5,
                   kRngHighDown = 6, kRngHighUp = 7, kRngHighDecade = 8, kRngLow = 11, kRngLowStats = 12,
                   kRngLowDown = 13, kRngLowUp = 14, kRngLowDecade = 15, kRngStep = 18, kRngLock = 19;
constexpr uint32_t kRangeSlotCount = 20;

// The channel toggles' colour pairs, normal (R, G, B) and inverted (cyan, magenta, yellow).
inline constexpr uint32_t kChannelColours[3][2] = {
    {0x400005Au, 0x420207Fu}, {0x40F5500u, 0x4287F28u}, {0x4552C1Eu, 0x47F480Fu}};
inline constexpr uint32_t kChannelColoursInverted[3][2] = {
    {0x4504F2Fu, 0x4665C02u}, {0x4301858u, 0x4605B7Fu}, {0x4005A5Au, 0x4007F7Fu}};

// ---- The builders (the page's panel functions and the keys of their elements) ----------
// Each builds its block on the first call for a page and window and shows the current
// values on every call; 0 when the page has no Transformation or the block cannot be made.
int32_t ColorPanelBuild(PageWindow* page, void* window, int32_t pageId);
int32_t ScaleClassPanelBuild(PageWindow* page, void* window, int32_t pageId);
int32_t ScaleRangePanelBuild(PageWindow* page, void* window, int32_t pageId);

// The blocks' refreshes from the current settings.
void ColorPanelRefresh(UIElement* element);
void ScaleClassPanelRefresh(UIElement* element);
void ScaleRangePanelRefresh(UIElement* element);

// The worker's refresh after it computed a range: writes Min and Max into the range
// block of the scaler's own page (when that page shows the scaler's stage) and draws
// both fields at once. Nothing while the user interface is down.
void ValueScalerShowRange(ValueScaler* scaler);

// What the range block asks of the layers above: the data offset of the view that
// shows a stage (its region's box moves to the negated offset). Empty: offset 0.
class TransformationComponent;
struct TransformationViewHooks {
    void (*viewOffset)(TransformationComponent* stage, double* x, double* y) = nullptr;
};
TransformationViewHooks& TheTransformationViewHooks();

// Puts the three blocks and the range refresh into the Transformation's page services.
void InstallViewPagePanels(TransformationUiServices* services);

// ---- Menus (shared by every block of their kind; counted by their buttons) ----------------
// The menu when it exists, and the number of menu buttons that hold it.
gMenu* PaletteMenu();
gMenu* RangeMenu();
int32_t PaletteMenuButtons();
int32_t RangeMenuButtons();
// The menu button's action: opens the menu under the button for the button's element.
void PaletteMenuOpen(gElement* button, uintptr_t element);
void RangeMenuOpen(gElement* button, uintptr_t element);
// Before the menu opens (rowNumbers null: check marks and greyed entries) and when an
// entry is chosen (rowNumbers[0]: its number, counted from 1 without separators). The
// element is the one whose button opened the menu last.
void PaletteMenuCallback(gMenu* menu, const int32_t* rowNumbers, uint32_t userData);
void RangeMenuCallback(gMenu* menu, const int32_t* rowNumbers, uint32_t userData);
// The entries' commands for an element: palette 0 "Load Palette" … 3 "Common
// Properties"; range 0 "Previous" … 7 "Paste", 8 "Common Properties".
void PaletteMenuCommand(UIElement* element, int32_t command);
void RangeMenuCommand(UIElement* element, int32_t command);
// Sets the entries' states for an element as the menu shows them before it opens.
void PaletteMenuPrepare(UIElement* element);
void RangeMenuPrepare(UIElement* element);

}  // namespace orva
