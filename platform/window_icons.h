#pragma once
// The program's window icons, compiled in: the pictures a window manager shows for our
// windows, in the _NET_WM_ICON layout (width, height, then ARGB pixels row by row, one
// 32-bit value each), several sizes one after the other.
#include <cstdint>
#include <vector>

namespace orva::platform {

// The icon resource of the program's windows.
inline constexpr int kProgramIcon = 147;

// The cardinals of the icon with that resource number (16 x 16 and 32 x 32); false for
// an unknown number.
bool WindowIconData(int resourceId, std::vector<uint32_t>* cardinals);

}  // namespace orva::platform
