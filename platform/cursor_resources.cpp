#include "platform/cursor_resources.h"

#include <X11/cursorfont.h>

#include "platform/msg_types.h"

namespace orva::platform {

namespace {

struct Shape {
    int id;
    unsigned int shape;
};

// Standard ids first, then the program's resource numbers that have a shape of their own.
constexpr Shape kShapes[] = {
    {kIdcArrow, XC_left_ptr},
    {kIdcIBeam, XC_xterm},
    {kIdcWait, XC_watch},
    {kIdcCross, XC_crosshair},
    {kIdcUpArrow, XC_center_ptr},
    {kIdcSizeNwse, XC_bottom_right_corner},
    {kIdcSizeNesw, XC_bottom_left_corner},
    {kIdcSizeWe, XC_sb_h_double_arrow},
    {kIdcSizeNs, XC_sb_v_double_arrow},
    {kIdcSizeAll, XC_fleur},
    {kIdcNo, XC_X_cursor},
    {kIdcHand, XC_hand2},
    {kCursorMove, XC_fleur},
    {kCursorPlacing, XC_pencil},
    {kCursorImageView, XC_tcross},
};

}  // namespace

bool IsCursorResource(int id) {
    for (int r : kCursorResources)
        if (r == id) return true;
    return false;
}

unsigned int CursorFontShape(int id) {
    for (const Shape& s : kShapes)
        if (s.id == id) return s.shape;
    return XC_left_ptr;
}

}  // namespace orva::platform
