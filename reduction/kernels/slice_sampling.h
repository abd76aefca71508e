#pragma once
// The path samplers of a slice: the line sampler takes one value per path
// point, the strip sampler a cross-section of pixels across the path at every
// path point. One pair exists per channel layout of the input (one channel;
// the selected channel of several, interleaved or planar; all of three
// channels; all of any other number), chosen by the Reduction's kernel
// selection.
//
// A point's pixel is (floor(x + ox), floor(y + oy)) with the shift (ox, oy)
// from the shape's origin to the frame's taken as floats; a coordinate that
// is not finite counts as 0. Points outside the frame at either end of the
// path are dropped; points outside in the middle, and frame values that are
// not numbers, are kept as the missing mark.
#include <cstdint>

#include "reduction/reduction_kernels.h"

namespace orva {

// The frame a sampler reads, as the extraction hands it: the pulled window's
// values (`values`), its size, the frame coordinates of its first value
// (originX, originY), samplesPerPixel interleaved samples per pixel, or with
// `planar` `channels` planes of width x height values.

// The sampler pair of a layout.
SamplerPair SliceSamplerPair(SamplerLayout layout);

// The shape's path as the samplers read it: whether it has an aperture (then
// the strip sampler is used), and the counts across it.
bool SliceHasAperture(const Shape* shape);

}  // namespace orva
