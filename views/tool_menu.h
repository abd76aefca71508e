#pragma once
// A popup menu of a tool page's drop-down button: made from a table of labels (null: a
// separator) and item ids, kept until its button goes or it is rebuilt. UI thread only.
#include <cstdint>
#include <vector>

#include "toolkit/menu.h"

namespace orva {

struct ToolMenu {
    gMenu* menu = nullptr;
    std::vector<gMenuRow> rows;   // one per label; the builder writes each row's item back
    std::vector<uint32_t> ids;
};

// The menu of `m`, made when it has none (or its menu went): every labelled row calls
// `handler` with its id as the user data.
gMenu* ToolMenuMake(ToolMenu* m, gElement* owner, const char* const* labels, const uint32_t* ids, int32_t count,
                    gAccelHandler handler, uint32_t colour);
// The live item of an id, or null.
gMenuItem* ToolMenuItem(ToolMenu* m, uint32_t id);
void ToolMenuCheck(ToolMenu* m, uint32_t id, bool on);
void ToolMenuEnable(ToolMenu* m, uint32_t id, bool on);
// Opens the menu from its drop-down button in the menu's colour: at 4 pixels before the
// button's right end and half its height down, with the button's width less 8 as the
// anchor a menu that flips to the left keeps clear of. The button's corner slot is
// honoured: in a right slot x counts from the window's right edge, so the right end lies at
// the window's width less the button's x (a bottom slot likewise counts y from the bottom).
bool ToolMenuPopup(gMenu* menu, gElement* button, uint32_t colour);
// The client point and anchor width ToolMenuPopup opens at; false without a live button in
// a live window.
bool ToolMenuPopupPoint(const gElement* button, int32_t* x, int32_t* y, int32_t* anchor);
// Closes and frees the menu.
void ToolMenuFree(ToolMenu* m);
bool ToolMenuLive(const ToolMenu* m);

}  // namespace orva
