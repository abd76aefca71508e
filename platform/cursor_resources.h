#pragma once
// The program's own cursors, known by resource numbers beside the standard cursor ids
// (msg_types.h). A number is drawn as a shape of the X cursor font where one fits, as a
// small picture drawn here in code where none does, and as the default arrow otherwise.
#include <cstddef>
#include <cstdint>
#include <vector>

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
// The edit frame around a shape: its resize handles, the offset handle and the pivot.
inline constexpr int kCursorSizeNesw = 108;   // top-right and bottom-left corners
inline constexpr int kCursorSizeNs = 109;     // top and bottom edges
inline constexpr int kCursorSizeNwse = 110;   // top-left and bottom-right corners
inline constexpr int kCursorSizeWe = 111;     // left and right edges
inline constexpr int kCursorOffset = 158;     // the offset handle
inline constexpr int kCursorPivot = 161;      // the pivot centre
// The nine cursors of a rotation: the first eight point at the directions 45, 90, ...,
// 360 degrees clockwise from up, the ninth (kCursorRotateUp) straight up.
inline constexpr int kCursorRotateFirst = 1200;
inline constexpr int kCursorRotateCount = 9;
inline constexpr int kCursorRotateUp = kCursorRotateFirst + kCursorRotateCount - 1;

bool IsCursorResource(int id);

// The X cursor-font shape (an even XC_* number) of a cursor id or resource number; the
// arrow for an unknown one.
unsigned int CursorFontShape(int id);

// A cursor picture of one bit a pixel: `bits` the pixels drawn in the foreground colour
// (black), `mask` every pixel shown at all (the others white where the mask is set), rows of
// (width + 7) / 8 bytes, the lowest bit of a byte the leftmost pixel.
struct CursorImage {
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    std::vector<uint8_t> bits;
    std::vector<uint8_t> mask;

    size_t RowBytes() const { return (static_cast<size_t>(width) + 7) / 8; }
    bool Valid() const;
    bool Bit(int x, int y) const;
    bool Masked(int x, int y) const;
};

// The picture of a number drawn in code (the diagonal resize arrows, the offset handle,
// the rotation directions); false for a number without one.
bool ProgramCursorImage(int id, CursorImage* out);

}  // namespace orva::platform
