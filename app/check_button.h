#pragma once
// A labelled check box of the shell's dialogs: one toggle button whose face carries a
// small box at its left, ticked while the button's value is set; a press anywhere on the
// row toggles it. UI thread only.
#include <cstdint>

namespace orva {

struct gElement;
struct gWindow;

// The widget kind of the check buttons (a toggle whose text leaves room for the box).
constexpr int32_t kCheckButtonKind = 45;

// Adds a check button to the window's current group of the corner slot `slot` (a new
// row when `newRow`); `onClick` runs after each toggle with `data`. Null on failure.
gElement* AddCheckButton(gWindow* window, uint32_t slot, const char* label, float width, float height,
                         void (*onClick)(gElement*, uintptr_t), uintptr_t data, bool newRow);
// Sets the shown state without running the click handler; true when it changed.
bool SetCheckButton(gElement* button, bool ticked);
bool CheckButtonTicked(const gElement* button);

// The painter: the skin's button face and text, then the box with its tick.
void PaintCheckButton(gElement* e);

}  // namespace orva
