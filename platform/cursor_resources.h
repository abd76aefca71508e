#pragma once
// The program's own cursors, known by resource numbers beside the standard cursor ids
// (msg_types.h). Each is drawn as a shape of the X cursor font; a number without a
// shape of its own shows the default arrow until its user gives it one here.
#include <cstddef>

namespace orva::platform {

// The resource numbers the user interface loads, in the order it loads them.
inline constexpr int kCursorResources[] = {102, 182, 161, 164, 104, 177, 106, 158, 112, 111,
                                           109, 110, 108, 173, 167, 168, 169, 171, 172, 170,
                                           174, 166, 197, 202, 199, 203, 201, 200, 206};
inline constexpr size_t kCursorResourceCount = sizeof kCursorResources / sizeof kCursorResources[0];

// Numbers with a shape of their own.
inline constexpr int kCursorMove = 102;       // moving a shape or a view
inline constexpr int kCursorPlacing = 177;    // placing a new shape
inline constexpr int kCursorImageView = 106;  // the image view's default

bool IsCursorResource(int id);

// The X cursor-font shape (an even XC_* number) of a cursor id or resource number; the
// arrow for an unknown one.
unsigned int CursorFontShape(int id);

}  // namespace orva::platform
