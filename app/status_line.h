#pragma once
// The status lines of the window groups. Every subsystem reports there: a code of the
// status table, optionally followed by a text, or a printf-style text. Calls before the
// user interface is ready, for a missing group or with an out-of-range code do nothing.
// UI thread only.
#include <cstdint>

namespace orva {

struct gElement;

// Colours of the status texts.
constexpr uint32_t kStatusErrorColour = 0x400007Fu;
constexpr uint32_t kStatusCancelColour = 0x4007F7Fu;
constexpr uint32_t kStatusDefaultColour = 0x4000000u;
// The longest status text.
constexpr int kStatusTextMax = 129;
// With this environment variable set (not empty), every text a status line takes is
// also logged as "# status line <group>: <text>", so that a test of the whole program
// can read what the user was shown.
constexpr const char kStatusLogVariable[] = "ORVA_TEST_STATUS_LOG";

// Redraw modes.
constexpr int kStatusRedrawNow = 7;    // at once (gWgtRedrawState 5)
constexpr int kStatusRedrawDraw = 5;   // through gWgtDrawState 5
// Anything else: the text changes at the next repaint.

// group 0..2; code -3..8 (0 "Ready", 1..7 failures, 8 cancelled; -2 the text in the
// default colour, -3 and below the text in the error colour); text may be null. A report
// is dropped only when its code and text equal what the line shows. Returns 1 when the
// line changed, else 0.
int SetGroupStatus(int group, int code, int redraw, const char* text);
// printf-style (the system's own spellings such as "%I64d" understood); acts for codes
// -2 and below, cut at 129 characters.
int PrintStatusLine(int group, int code, int redraw, const char* format, ...);
// The status line's handler: back to "Ready" in the default colour, redrawn at once.
void StatusResetHandler(gElement* widget, uintptr_t data);
// The same for a group's line (the window's pending-status clear).
void StatusResetGroup(int group);
// A report the line shows goes (back to "Ready"); a line at "Ready" stays as it is.
void StatusClearReport(int group);

// The text of a status code (nullptr outside 0..8).
const char* StatusCodeText(int code);

// Installs the library's status hooks (ShowWarning, ShowError, ShowErrorCode) and the
// status reports of the output writer and the texture views.
void InstallStatusLineHooks();

}  // namespace orva
