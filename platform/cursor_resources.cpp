#include "platform/cursor_resources.h"

#include <X11/cursorfont.h>

#include <cmath>
#include <cstdlib>

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
    {kCursorSizeNs, XC_sb_v_double_arrow},
    {kCursorSizeWe, XC_sb_h_double_arrow},
    {kCursorPivot, XC_fleur},
};

constexpr int kSide = 16;
constexpr double kPi = 3.14159265358979323846;

// A 16 x 16 picture drawn with lines; the mask is the picture widened by one pixel, so
// that a white rim shows it on any background.
class Canvas {
public:
    void Plot(int x, int y) {
        if (x >= 0 && y >= 0 && x < kSide && y < kSide) on_[y][x] = true;
    }
    void Line(int x0, int y0, int x1, int y1) {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
        const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        int error = dx + dy;
        for (;;) {
            Plot(x0, y0);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * error;
            if (e2 >= dy) {
                error += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                error += dx;
                y0 += sy;
            }
        }
    }
    // An arrow head at (x, y) pointing along the unit vector (ux, uy).
    void Head(double x, double y, double ux, double uy, double length) {
        for (double side : {-1.0, 1.0}) {
            const double c = std::cos(side * 0.6), s = std::sin(side * 0.6);
            const double bx = -(ux * c - uy * s), by = -(ux * s + uy * c);
            Line(Round(x), Round(y), Round(x + bx * length), Round(y + by * length));
        }
    }
    void Fill(CursorImage* out, int hotX, int hotY) const {
        out->width = out->height = kSide;
        out->hotX = hotX;
        out->hotY = hotY;
        const size_t row = out->RowBytes();
        out->bits.assign(row * kSide, 0);
        out->mask.assign(row * kSide, 0);
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                bool near = false;
                for (int ny = y - 1; ny <= y + 1 && !near; ++ny)
                    for (int nx = x - 1; nx <= x + 1 && !near; ++nx)
                        near = nx >= 0 && ny >= 0 && nx < kSide && ny < kSide && on_[ny][nx];
                const uint8_t bit = static_cast<uint8_t>(1u << (x % 8));
                if (on_[y][x]) out->bits[row * static_cast<size_t>(y) + static_cast<size_t>(x / 8)] |= bit;
                if (near) out->mask[row * static_cast<size_t>(y) + static_cast<size_t>(x / 8)] |= bit;
            }
        }
    }
    static int Round(double v) { return static_cast<int>(std::lround(v)); }

private:
    bool on_[kSide][kSide] = {};
};

// A double arrow between two corners, with heads at both ends.
void DoubleArrow(Canvas* c, int x0, int y0, int x1, int y1) {
    c->Line(x0, y0, x1, y1);
    const double length = std::hypot(x1 - x0, y1 - y0);
    const double ux = (x1 - x0) / length, uy = (y1 - y0) / length;
    c->Head(x1, y1, ux, uy, 5.0);
    c->Head(x0, y0, -ux, -uy, 5.0);
}

// The rotation cursor of a direction: an arrow from the centre's far side through the
// centre to the direction, and a small ring round the centre (the pivot).
void RotationArrow(Canvas* c, double degrees) {
    const double t = degrees * kPi / 180.0;
    const double ux = std::sin(t), uy = -std::cos(t);
    const double cx = 7.5, cy = 7.5;
    const double tipX = cx + ux * 7.0, tipY = cy + uy * 7.0;
    c->Line(Canvas::Round(cx - ux * 2.0), Canvas::Round(cy - uy * 2.0), Canvas::Round(tipX), Canvas::Round(tipY));
    c->Head(tipX, tipY, ux, uy, 4.5);
    for (int k = 0; k < 16; ++k) {
        const double a = k * kPi / 8.0;
        c->Plot(Canvas::Round(cx + 2.5 * std::cos(a)), Canvas::Round(cy + 2.5 * std::sin(a)));
    }
}

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

bool CursorImage::Valid() const {
    if (width <= 0 || height <= 0 || width > 64 || height > 64) return false;
    const size_t size = RowBytes() * static_cast<size_t>(height);
    return bits.size() == size && mask.size() == size && hotX >= 0 && hotY >= 0 && hotX < width && hotY < height;
}

bool CursorImage::Bit(int x, int y) const {
    if (!Valid() || x < 0 || y < 0 || x >= width || y >= height) return false;
    return (bits[RowBytes() * static_cast<size_t>(y) + static_cast<size_t>(x / 8)] >> (x % 8)) & 1u;
}

bool CursorImage::Masked(int x, int y) const {
    if (!Valid() || x < 0 || y < 0 || x >= width || y >= height) return false;
    return (mask[RowBytes() * static_cast<size_t>(y) + static_cast<size_t>(x / 8)] >> (x % 8)) & 1u;
}

bool ProgramCursorImage(int id, CursorImage* out) {
    if (out == nullptr) return false;
    Canvas c;
    if (id == kCursorSizeNwse) {
        DoubleArrow(&c, 2, 2, 13, 13);
    } else if (id == kCursorSizeNesw) {
        DoubleArrow(&c, 13, 2, 2, 13);
    } else if (id == kCursorOffset) {
        // A vertical double arrow through a bar: the aperture widens or narrows.
        DoubleArrow(&c, 7, 1, 7, 14);
        c.Line(3, 7, 11, 7);
        c.Line(3, 8, 11, 8);
    } else if (id >= kCursorRotateFirst && id < kCursorRotateFirst + kCursorRotateCount) {
        const int k = id - kCursorRotateFirst;
        RotationArrow(&c, k == kCursorRotateCount - 1 ? 0.0 : 45.0 * (k + 1));
    } else {
        return false;
    }
    c.Fill(out, 7, 7);
    return true;
}

}  // namespace orva::platform
