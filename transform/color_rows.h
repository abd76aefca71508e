#pragma once
// The row converters of the colour stage: intensities (64-bit reals, 1.0 =
// full scale; one per channel per pixel, interleaved) become RGB pixels by one
// look-up per channel in a working palette. They take no locks, allocate
// nothing and read the palette only.
//
// The palette index of an intensity v, with t = v × 255 (8-bit) or v × 65535
// (16-bit): 511 (0x1FFFF) when t ≥ 510.5 (131070.5), 0 when t < 0.5 or v is
// not a number, otherwise t rounded to the nearest integer, ties to even.
#include <cstddef>
#include <cstdint>

#include "transform/palette_table.h"

namespace orva {

// Converts `count` pixels into `out`: 3 bytes or three 16-bit words a pixel.
using ColorRowFn = void (*)(void* out, size_t count, const double* in, const PaletteTable* palette);

// Converts nothing: in place while no class is selected for the format.
void ColorRowNone(void* out, size_t count, const double* in, const PaletteTable* palette);
// 1 channel: the whole entry of the value. 2 channels: R of the first
// channel's entry, G of the second's, B = 0. 3 channels: R, G and B of the
// entries of the three channels. The palette holds 3-channel entries.
void ColorRow8x1(void* out, size_t count, const double* in, const PaletteTable* palette);
void ColorRow8x2(void* out, size_t count, const double* in, const PaletteTable* palette);
void ColorRow8x3(void* out, size_t count, const double* in, const PaletteTable* palette);
void ColorRow16x1(void* out, size_t count, const double* in, const PaletteTable* palette);
void ColorRow16x2(void* out, size_t count, const double* in, const PaletteTable* palette);
void ColorRow16x3(void* out, size_t count, const double* in, const PaletteTable* palette);

// The converter for an output depth and a data channel count, or nullptr for
// a count other than 1, 2 or 3.
ColorRowFn ColorRowFor(bool sixteenBit, uint32_t channels);

}  // namespace orva
