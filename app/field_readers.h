#pragma once
// Small routines the panels share on toolkit controls: reading numbers from edit fields
// (plain or as expressions, the calculator's complaint on the main status line),
// highlighting a field, radio groups of toggle buttons, toggle glyphs, an immediate
// repaint of a window and the windows' UI font. UI thread only.
#include <cstdint>

namespace orva {

struct gElement;
struct gFont;
struct gWindow;

// Each reads the field's text (with `expression`, through the expression calculator) and
// answers whether it read as a number; with `expression`, a complaint of the calculator
// goes to status line 0 in the error colour.
bool ReadFieldDouble(gElement* field, double* out, bool expression);
bool ReadFieldFloat(gElement* field, float* out, bool expression);
bool ReadFieldInt(gElement* field, int32_t* out, bool expression);
bool ReadFieldUInt(gElement* field, uint32_t* out, bool expression);
bool ReadFieldInt64(gElement* field, int64_t* out, bool expression);

// The warning colour of a field.
constexpr uint32_t kFieldMarkColour = 0x423317Fu;
// flag set: the warning colour; clear: the field's own colour. MarkFieldColor also redraws
// the field at once when its colour changed; both answer whether it changed.
bool SetFieldEnabled(gElement* field, bool flag);
bool MarkFieldColor(gElement* field, bool flag);
// Glyph 0x0F of the symbol face while the toggle's value is set, 0x10 otherwise.
void SetToggleGlyph(gElement* toggle);
// Every other toggle whose value differs from the inverse of the pressed one's gets it.
void UpdateRadioGroup(gElement** toggles, int count, gElement* pressed);
void UpdateRadioGroupNow(gElement** toggles, int count, gElement* pressed);
// Events below 3 do nothing; 7 paints a window that can draw now and swaps; anything else
// (or a busy window) marks it for a repaint.
void RepaintWindowNow(gWindow* window, int event);
// The window's UI font ("Arial", 10 pixels, bold, Cyrillic), made on first use and kept
// as the window's second font; the window's own font when that fails.
gFont* GetUIFont(gWindow* window);
// The widget's text, or " " without one; clears the flag.
const char* EntryName(const gElement* entry, uint8_t* outFlag);

}  // namespace orva
