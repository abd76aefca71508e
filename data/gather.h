#pragma once
// Byte moves between stored rows and the conversion kernels: gathering every n-th
// pixel of a row, and pulling one channel out of interleaved pixels row by row.
#include <cstdint>

#include "data/convert_kernels.h"
#include "data/element_type.h"

namespace orva {

// The parameters of a gather kernel.
struct GatherStep {
    uint32_t step;        // source pixels per output pixel, unsigned 16.16 fixed point
    uint32_t components;  // components per pixel (read by the general kernels only)
    uint64_t end;         // source position (16.16) at which the row ends
};

// Copies whole pixels of the source row at indexes floor(k * step / 65536) for
// k = 0, 1, ... while k * step < end, and always the pixel at index 0. The
// destination holds that many pixels. A step of 0 copies pixel 0 only.
using GatherKernel = void (*)(const void* source, void* destination, const GatherStep& step);

// The gather kernel for pixels of components x componentSize bytes: fixed-size
// kernels for 1..4 components, general kernels for 0 or 5 and more components.
// Null for a component size other than 1, 2, 4 or 8.
GatherKernel PixelCopyKernels(uint32_t components, uint32_t componentSize);

// For each of rows rows: packs the element of channel channelIndex of each of the
// pixelsPerRow pixels of the source row into scratch (pixelsPerRow x elementSize
// bytes), converts scratch into the destination row with kernel, then advances the
// source and destination by their row strides. With a single channel the source
// row is converted directly. Nothing happens for 0 pixels or rows, a null kernel,
// element size 0, or a channel index outside the channels.
void StridedCopyConvert(void* destination, const void* source, void* scratch, uint32_t pixelsPerRow,
                        uint32_t rows, uint32_t sourceStride, uint32_t destinationStride,
                        const ScaleZero& params, DConvKernel kernel, uint32_t channels,
                        ElementType sourceType, uint32_t channelIndex, uint32_t elementSize);

}  // namespace orva
