#pragma once
// What the three blocks of the "View" page share: the stage behind a block, widgets by
// slot, the step buttons with their glyphs and auto-repeat, the modifier steps, and the
// popup menus that every block of a kind shares. UI thread only.
#include <cstdint>

#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "views/source_page_parts.h"

namespace orva {

class ColorConverter;
class ValueScaler;
class TransformationComponent;
struct gMenu;

// The live element of a handler's user data that holds at least `slots` slots, or null.
UIElement* ViewElement(uintptr_t data, uint32_t slots);
// The Transformation attached to the element's page, or null.
TransformationComponent* ViewStage(UIElement* element);
// What the page's component answers for its colour converter and its value scaler.
ColorConverter* ViewConverter(UIElement* element);
ValueScaler* ViewScaler(UIElement* element);
// The element of a page's table at `index` when it is live with its slots, or null.
UIElement* ViewBlock(UIPage* page, uint32_t index, uint32_t slots);

// The blocks' groups: rows from the top left corner of the window's page area down.
constexpr uint32_t kViewBlockStyle = 0x24000;
// Where the blocks sit in the page's table.
constexpr uint32_t kViewRangeIndex = 0, kViewColourIndex = 1, kViewClassIndex = 2, kViewTableSize = 3;

// Shows (building it the first time) the block of the page's table at `index` in the
// window; false when the page has no live Transformation or the block cannot be shown.
bool ShowViewBlock(PageWindow* page, void* window, int32_t pageId, PanelBuilder key, uint32_t slots, uint32_t index,
                   PageBuildFn build, PageRefreshFn refresh);

// Places a new block's group under the block at `previous` in the page's table when that
// one sits in the same window, so that the page's blocks stack; called before the new
// block adds its widgets.
void StackBelowBlock(UIElement* element, uint32_t previous);

// Sets a field's text and draws it at once.
void ShowText(gElement* widget, const char* text);
// A real number as the blocks show it (`FormatDouble` with the given digits).
void ShowDouble(gElement* widget, int significant, int decimals, double value);
// Sets a toggle's value and draws it when it changed.
void ShowToggle(gElement* toggle, bool on);
// Marks or unmarks a widget (the toolkit's mark state) and draws it when it changed.
void ShowMark(gElement* widget, bool on);
// Sets both colour words of a widget and draws it when they changed.
void ShowColours(gElement* widget, uint32_t colour1, uint32_t colour2);

// The second colour word of the blocks' toggles.
constexpr uint32_t kToggleColour2 = 0x47F7F7Fu;

// The step glyphs of the buttons.
constexpr uint8_t kStepBack = 0x03, kStepForward = 0x04, kStepReset = 0x9D;
// A button showing a step glyph (the reset glyph of the symbol face for 0x9D). Arrow
// buttons repeat while held: the handler runs again on every repeating tick.
gElement* StepButton(PageRows& rows, uint8_t glyph, float width, void (*press)(gElement*, uintptr_t));
// False while a held step button repeats: true for the first step of a press.
bool FirstStepOfPress(const gElement* button);
// The modifiers held now: Ctrl, and Ctrl with Shift.
bool CtrlHeld();
bool CtrlShiftHeld();

// A popup menu shared by every block of one kind: made on first use, held by the menu
// buttons that exist and freed with the last of them. `element` is the block whose
// button opened it last.
struct SharedMenu {
    gMenu* menu = nullptr;
    int32_t buttons = 0;
    UIElement* element = nullptr;
};
// Counts a new menu button; the destroy callback must call ReleaseMenuButton.
void HoldMenuButton(SharedMenu& menu, gElement* button, void (*gone)(gElement*));
void ReleaseMenuButton(SharedMenu& menu, gElement* button);
// The menu, made with its rows (label null: a separator) when it does not exist. Items
// are numbered from 1 in their user data, separators not counted.
gMenu* MakeSharedMenu(SharedMenu& menu, gElement* owner, void (*callback)(gMenu*, const int32_t*, uint32_t),
                      const char* const* labels, int32_t count);
// The live item of an entry number (from 1), or null.
struct gMenuItem;
gMenuItem* SharedMenuItem(SharedMenu& menu, int32_t number);
// Sets an entry's greyed state and check mark.
void SetMenuEntry(SharedMenu& menu, int32_t number, bool greyed, bool checked);
// The element the menu was opened for, while it lives.
UIElement* SharedMenuElement(SharedMenu& menu, uint32_t slots);

}  // namespace orva
