// The look the program's own dialogs share (message boxes, the file dialog, the colour
// dialog): one frame style, one set of colours, one margin and row height.
#pragma once

#include <cstdint>

#include "toolkit/window.h"

namespace orva {

constexpr uint32_t kDialogStyle = kStyleSysMenu | kStyleDialogFrame | kStyleNotSizable | kStyleCloseKey;
constexpr uint32_t kDialogTextColour = 0x4101214;
constexpr uint32_t kDialogButtonColour = 0x46D7070;
constexpr uint32_t kDialogBackdropColour = 0x4676A6A;
constexpr float kDialogMargin = 10.0f;
constexpr float kDialogRowHeight = 17.0f;

}  // namespace orva
