// The look the program's own dialogs share (message boxes, the file dialog, the colour
// dialog): one frame style, one set of colours, one margin and row height.
#pragma once

#include <algorithm>
#include <cstdint>

#include "toolkit/window.h"

namespace orva {

constexpr uint32_t kDialogStyle = kStyleSysMenu | kStyleDialogFrame | kStyleNotSizable | kStyleCloseKey;
constexpr uint32_t kDialogTextColour = 0x4101214;
constexpr uint32_t kDialogButtonColour = 0x46D7070;
constexpr uint32_t kDialogBackdropColour = 0x4676A6A;
constexpr float kDialogMargin = 10.0f;
constexpr float kDialogRowHeight = 17.0f;

// Gives the dialog its size and puts it in the middle of its owner (of the screen without
// one), kept inside the screen.
inline void PlaceDialog(gWindow* dialog, const gWindow* owner, int32_t width, int32_t height) {
    const int32_t sw = gScreenWidth(), sh = gScreenHeight();
    int32_t x = owner != nullptr ? owner->x + (owner->width - width) / 2 : (sw - width) / 2;
    int32_t y = owner != nullptr ? owner->y + (owner->height - height) / 2 : (sh - height) / 2;
    x = std::max(0, std::min(x, sw - width));
    y = std::max(0, std::min(y, sh - height));
    const pf::Point position{x, y};
    gWinSetSize(dialog, width, height, &position);
}

}  // namespace orva
