#pragma once
// The frame window read kernel: reads one rectangular window of one plane of one
// section of one frame straight from the data file and converts it into 64-bit
// reals in the pull result's image buffer.
//
// Reads use pread at explicit offsets (readers sharing a descriptor never disturb
// one another) in cache-sized chunks, each converted by one call of the channel
// kernel right after it arrives. Data stored in the opposite byte order is
// converted by kernels that reverse every element themselves, so both twins read
// the same way; the swapped twin exists for the kernel tables.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class DataSet;

// Report bits of ReadWindow::flags.
constexpr uint32_t kWindowOutside = 0x200;     // frame, section, origin or position outside the data
constexpr uint32_t kWindowEmpty = 0x400;       // nothing was delivered
constexpr uint32_t kWindowWidthClipped = 0x8000;
constexpr uint32_t kWindowHeightClipped = 0x10000;
constexpr uint32_t kWindowDepthClipped = 0x20000;
constexpr uint32_t kWindowFileEnded = 0x40;    // always with kWindowHeightClipped

// Bytes a clipped window may hold per axis limit (width, height and depth alike).
constexpr uint64_t kWindowByteLimit = 0x20000000;
// Bytes of stored data read and converted per chunk: small enough to stay in cache.
constexpr uint32_t kReadChunkBytes = 0x40000;
// Staging blocks above this are freed after a row-by-row read.
constexpr uint32_t kStagingKeepLimit = 0x2000000;

// Clips a window at (x, y, z) of width x height x depth to the crop sizes and to
// kWindowByteLimit bytes of P-byte pixels on every axis (P of 0 or 1 counts as 1);
// returns the report bits it sets. The origin must lie inside the crop box.
uint32_t ClipReadWindow(uint64_t x, uint64_t y, uint64_t z, uint64_t cropWidth,
                        uint64_t cropHeight, uint64_t cropDepth, uint64_t pixelBytes,
                        uint64_t* width, uint64_t* height, uint64_t* depth);

bool InputReadKernel1(DataSet* dataSet, TypedFrameBuffer* image, ReadWindow* window);
bool InputReadKernel1Swapped(DataSet* dataSet, TypedFrameBuffer* image, ReadWindow* window);

}  // namespace orva
