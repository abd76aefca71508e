#pragma once
// The edit field: a single-line text field with horizontal scrolling, a caret, a
// selection, clipboard copy, cut and paste, a length limit and a working copy that
// keeps the text from before the edit until it is committed or cancelled. Also the
// press of any widget (by the mouse or by a shortcut key). UI thread only.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

struct gElement;
struct gWindow;

// Text flags (gElement::textAlign) of edit fields.
constexpr uint32_t kEditReadOnly = 0x1000000;
constexpr uint32_t kEditMarginFirst = 0x2000000;   // margin from the first character
constexpr uint32_t kEditMarginOne = 0x4000000;     // margin from the digit one
constexpr uint32_t kEditNumberLike = 0x1C000000;   // spaces restricted
constexpr uint32_t kEditFullStop = 0x10000000;
constexpr int32_t kEditNoLimit = 0x100000;          // a limit below 1 means this many
constexpr uint32_t kEditFromRight = 0x10000;        // style: measured from the right edge

// The edit record of a field, with the text-block fields only edit fields use.
struct gEditState {
    uint8_t option = 0;
    uint8_t caretOn = 0;
    uint8_t editing = 0;
    void (*caretDraw)(gElement*) = nullptr;
    float boxX = 0, boxY = 0, boxWidth = 0;
    float caretX = 0, caretY = 0;
    float visibleWidth = 0;
    float anchorX = 0;
    void (*caretPainter)(gElement*) = nullptr;
    // Text block.
    int32_t firstVisible = 0;
    int32_t visibleCount = 0;
    int32_t margin = 0;
    int32_t caret = 0;
    int32_t selection = 0;   // from the caret; negative runs backwards
};

// Makes the widget an edit field (a zeroed record). Without a caret painter of its own the
// field draws the skin's caret (the general record's painter).
gEditState* gWgtEditCreate(gElement* e, void (*caretPainter)(gElement*), uint8_t option);
// The field's edit record, null for other widgets.
gEditState* gWgtEdit(const gElement* e);

// ---- Caret ---------------------------------------------------------------------------------
// The text box in the field's slot frame, from its cell: box x and y, and the box width
// (the field's width). With style bit 0x10000 the text runs from box x + box width.
void gWgtEditPlaceBox(gElement* e);
// The record's caret draw: the caret painter at the current origin (nothing without one).
void gWgtCaretDraw(gElement* e);
// The caret path, run after the field's paint: while the caret is on (its blink phase),
// the caret draw at box x + caret x (box x + box width - caret x from the right), box y +
// caret y. Nothing while picking.
void gWgtPaintCaret(gElement* e);

// Lends the input routing the press, the edit keys and the caret (idempotent; the
// first edit field created calls it too).
void gEditFieldInstall();

// ---- Press ---------------------------------------------------------------------------------
// 0 nothing done or refused, 1 pressed, -1 the click handler destroyed the window.
int gWgtPress(gWindow* window, gElement* e, bool byMouse);

// ---- Focus and the working copy ---------------------------------------------------------------
gElement* gWgtEditBegin(gElement* e);
bool gWgtEditEnd(gElement* e);
// Drops the selection (also the glyph list's copy) and gives the field back the text it
// had when editing began; gWgtKillFocus also takes the focus and the pressed value.
void gWgtClearSelection(gElement* e);
void gWgtKillFocus(gElement* e);
bool gWgtEditCommit(gElement* e);
bool gWgtEditApply(gElement* e);
void gWgtEditCancel(gElement* e);
void gWgtEditRevert(gElement* e);
void gWgtEditHome(gElement* e);
gElement* gEditWorkWidget();   // the widget owning the working copy, or null
void gEditWorkFree();

// ---- Keys (both read gKeyEvent) -----------------------------------------------------------------
bool gWgtOnChar(gWindow* window, gElement* e);
bool gWgtOnKey(gElement* e);

// ---- Text operations ---------------------------------------------------------------------------
bool gWgtDeleteSelection(gElement* e);
bool gWgtInsert(gElement* e, bool paste);
bool gWgtSelectWord(gElement* e);
void gWgtCaretToEnd(gElement* e, bool selectAll);
void gWgtScrollCaretIn(gElement* e);
void gWgtEditRelayout(gElement* e);
void gWgtPlaceCaret(gElement* e, float x);
void gWgtScrollToX(gElement* e, float x);
void gWgtStripUnit(gElement* e);
// The margin and visible part after the text was set (gWgtSetText).
void gWgtEditMeasure(gElement* e);
// Puts the selection (or the whole text) on the clipboard.
bool gWgtCopyText(gElement* e);

// ---- Clipboard ------------------------------------------------------------------------------------
// The clipboard text, cut to room + 1 bytes and to its printable length (up to the first
// control character other than a tab), tabs turned into blanks; null when there is none.
// Free it with gClipboardFree.
char* gClipboardGetText(void* windowHandle, int32_t room);
void gClipboardFree(char* text);
// The clipboard services behind the edit field (the real X selection by default; a test
// may put its own).
struct gClipboardOps {
    bool (*setText)(const char* text, size_t length, void* owner) = nullptr;
    bool (*getText)(std::string* out) = nullptr;
};
void gClipboardSetOps(const gClipboardOps* ops);
// Installs the X selection as the common library's ClipboardSetText hook (keeping the
// other window hooks as given by the caller: fills hooks->clipboardSetText).
struct WindowHooks;
void gClipboardFillHooks(WindowHooks* hooks);

}  // namespace orva
