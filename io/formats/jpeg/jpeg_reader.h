#pragma once
// Baseline and progressive JPEG files, decoded once through libjpeg into a private
// temporary raw file of 8-bit samples (one component for grey images, red, green and
// blue for the others) that is then served as a BINARY data set.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "io/file_layout.h"

namespace orva {

struct InputSource;
struct StreamRecord;

inline constexpr ComponentId kJpegInfoId{{FourCC("JPEG"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// The JPEG information component: the layout with tag "JPEG" and what the header told.
struct JpegInfo : FormatInfoOf<JpegInfo, kJpegInfoId> {
    JpegInfo();
    int colorSpace = 0;          // the library's code: 1 grey, 2 RGB, 3 YCbCr, 4 CMYK, 5 YCCK
    uint16_t densityX = 0, densityY = 0;
    uint8_t progressive = 0;
    int64_t width = 0, height = 0;
    uint32_t components = 0;     // 1..16384
};

// What the decoder wrote.
struct JpegDecodeState {
    uint32_t type = 0;           // 0x400101
    uint32_t components = 0;
    int64_t width = 0;
    int64_t rows = 0;
};

// Decodes the open file into the stream from offset 0: 2 complete, 3 fewer rows, -10
// the library's fatal error or more memory than the decoder may take, -12 size, -14
// memory, -23 data that end before the picture does, -3 (or the error of the write)
// a decoded picture the temporary folder cannot hold; every failure is logged.
int JpegDecode(FILE* file, StreamRecord* stream, JpegInfo* info, JpegDecodeState* state,
               const char* name);

// The descriptor's open.
int JpegOpen(InputSource* source);
// Information texts: item 1 "Jpeg", item 4 the colour space. True when it wrote.
bool JpegInfoText(const JpegInfo* info, uint32_t item, char* buffer, size_t size);

}  // namespace orva
