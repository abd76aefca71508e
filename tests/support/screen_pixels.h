#pragma once
// The pixel work of the program tests: a window's pixels read back from the X server,
// and the searches for an expected picture or text ink among them. Built once, optimised
// and without sanitizer checks in every build: these loops run over whole screens many
// times a test, and they are the tests' tools, not the code under test.
#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orva::testing_program {

// An RGB picture, 3 bytes a pixel, rows from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// A one-bit picture, rows from the top.
struct InkMask {
    int width = 0, height = 0;
    std::vector<uint8_t> bits;
    bool At(int x, int y) const { return bits[static_cast<size_t>(y) * width + x] != 0; }
    bool Empty() const { return width == 0 || height == 0; }
    bool operator==(const InkMask& o) const { return width == o.width && height == o.height && bits == o.bits; }
    // Rows of '#' and '.', for a failure message.
    std::string Art() const {
        std::string out;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) out += At(x, y) ? '#' : '.';
            out += '\n';
        }
        return out;
    }
};

// The pixels of a region of the window (its whole area when width or height is 0) as RGB;
// false when the window or the region cannot be read.
bool GrabWindow(Display* display, Window w, Picture* out, int x = 0, int y = 0, int width = 0, int height = 0);

// Where a picture was found inside a larger one.
struct Placement {
    bool found = false;
    int x = 0, y = 0;      // its top-left pixel in the larger picture
    bool flipped = false;  // shown with its last row at the top
    int worst = 0;         // the largest channel difference
};

// Looks for `want` in `within`, shown at its size (one pixel of the picture on one
// pixel of the screen), with its rows in order or reversed: every channel of every
// pixel within `tolerance` levels. The first position that fits, searched row by row.
Placement FindPicture(const Picture& within, const Picture& want, int tolerance);

// The mask cut to the smallest box holding its ink (empty when it has none).
InkMask CropInk(const InkMask& m);

// The ink of a box of the picture: every pixel that differs by more than 40 levels in a
// channel from the box's most common colour (the field's face); `faceOut` gets that colour.
InkMask InkOfBox(const Picture& p, int x, int y, int width, int height, uint32_t* faceOut);

// The ink of a field, its frame lines taken away, cut to what is left.
InkMask InkOf(const Picture& p, int x, int y, int width, int height);

// Finds the ink in the box: the position of its top-left pixel, where the ink stands in
// one colour on a ground of one other colour, the ground also all round it (a one-pixel
// ring). False when it is not there.
bool FindInk(const Picture& p, int x, int y, int width, int height, const InkMask& want, int* atX, int* atY);

// Every place in the box where the ink stands exactly, with no other ink in the column
// left of it, the row above it and (when `right`) the column right of it, row by row.
std::vector<std::pair<int, int>> FindAllInkOf(const Picture& p, int x, int y, int width, int height,
                                              const InkMask& want, bool right);

}  // namespace orva::testing_program
