#pragma once
// The catalogue of colour classes: how an intensity (the output of value
// scaling, 1.0 = full scale) becomes a colour. Each class has three functions
// that fill a palette from a ramp of intensities: one for 8-bit output with
// quantisation (fewer than 8 bits of levels), one for 8-bit output and one for
// 16-bit output. They run once per palette rebuild, never per pixel.
#include <cstddef>
#include <cstdint>

namespace orva {

// Quantisation: L levels (2^Qbits) and the step S between them on the output
// scale (255 / L, or 1.0 from 8 bits on).
struct ColorQuant {
    double levels = 0.0;
    double step = 0.0;
};

// Writes n entries of three channels R, G, B (bytes for the 8-bit functions,
// 16-bit words for the 16-bit one) from n intensities; allocates nothing.
// The 8-bit and 16-bit functions ignore the quantisation.
using ColorClassFn = void (*)(void* entries, size_t n, const double* intensities, const ColorQuant* quant);

struct ColorClassDesc {
    const char* key;    // the "CCClass" value
    const char* title;  // shown in the colour panel
    ColorClassFn quantised;
    ColorClassFn fn8;
    ColorClassFn fn16;
    uintptr_t reserved[2];
};

// Catalogues hold at most this many classes.
constexpr int kMaxColorClasses = 256;

// The number of classes (17), and the row at a list index (nullptr outside).
// Index 0 is the user palette, 1 "Grey".
int CountColorClasses();
const ColorClassDesc* ColorClassAt(int index);

// The list index of the class whose key equals the text (`length` characters;
// 0 takes the text's own length), else of the first class whose key begins
// with it; keys compare case-sensitively. −1 for no match or an empty text.
int FindColorClass(const char* text, size_t length);

// The palette index of an intensity on a scale of `full` (255 or 65535):
// 0 below 0.5 / full or for a value that is not a number, `full` from
// (full − 0.5) / full on, else x × full rounded to the nearest (ties to even).
uint32_t ColorIndex8(double x);
uint32_t ColorIndex16(double x);
// The quantised 8-bit index: x × 255 rounded when L is 256, else x × L rounded
// and then times S rounded; limited to 255.
uint32_t ColorIndexQuantised(double x, const ColorQuant& quant);

}  // namespace orva
