#pragma once
// Windows and OS/2 bitmap files: the headers are checked, a pixel decoder is chosen
// for the bit depth and compression, the whole image is decoded once into a private
// temporary raw file (8-, 16- or 32-bit samples, red, green and blue per pixel, top
// row first) and that file is served as a BINARY data set.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "io/file_layout.h"

namespace orva {

struct InputSource;
struct StreamRecord;

inline constexpr ComponentId kBmpInfoId{{FourCC("BITM"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// The BMP information component: the layout with tag "BMP" and what the headers told.
struct BmpInfo : FormatInfoOf<BmpInfo, kBmpInfoId> {
    BmpInfo();
    bool os2 = false;            // OS/2 1.x header (12 bytes)
    uint32_t compression = 0;    // 0 none, 1 RLE8, 2 RLE4, 3 BITFIELDS, 4 Jpeg, 5 Png
    uint32_t bitsPerPixel = 0;
    uint32_t sampleType = 0x101; // type of the decoded samples: 0x101, 0x102 or 0x108
    uint32_t paletteCount = 0;
    uint32_t masks[4] = {0, 0, 0, 0};   // red, green, blue, alpha
    uint32_t widths[4] = {0, 0, 0, 0};  // set bits of each mask
    int64_t width = 0;
    int64_t height = 0;
    uint32_t components = 3;     // components of the file's pixels (4 with an alpha mask)
    double dpiX = 0.0, dpiY = 0.0;
};

enum class BmpDecoder { kNone, kIndex, kRgb555, kBgr24, kBgrx32, kRle8, kRle4, kMasks };

// One open: the file, its headers and the decoder's state.
struct BmpReader {
    FILE* file = nullptr;
    int64_t fileLength = 0;
    BmpInfo* info = nullptr;           // not owned
    uint32_t strictFlags = 0;          // the request's 0x40008 bits
    uint8_t palette[256][4] = {};      // red, green, blue, reserved; unread entries stay zero
    uint32_t paletteCount = 0;
    bool hasPalette = false;
    uint32_t bits = 0;
    uint32_t compression = 0;
    bool bottomUp = true;
    uint32_t downShift[4] = {0, 0, 0, 0};
    uint32_t upShift[4] = {0, 0, 0, 0};
    uint32_t componentType = 1;        // 1: 8-bit, 2: 16-bit, 8: 32-bit samples
    BmpDecoder decoder = BmpDecoder::kNone;
    int64_t dataOffset = 0;
};

// Reads and checks the headers and the palette, leaving the file at the pixel data.
// 2, or -24 short or bad header, -23 corrupt, -22 compression, -19 short palette,
// -14 no memory, -13 bit depth.
int BmpTestType(BmpReader* reader, const char* name);
// The decoder for the headers read (kNone when there is none).
BmpDecoder BmpChooseDecoder(const BmpReader* reader);
// Decodes the whole image into the stream, top row first. 2 complete, 3 fewer rows
// than the height, 1 no row, -12 size, -14 memory, -11 flip; -3 (or the error of the
// write) when the decoded picture does not fit the temporary folder, -12 also for a
// run-length picture larger than RlePixelLimit of its data, -23 run-length
// data that end before the picture does. Failures are logged with the file's name.
int BmpDecodeToStream(BmpReader* reader, StreamRecord* stream, const char* name);

// The most pixels a run-length picture is decoded to from `dataBytes` bytes of its data:
// every picture of up to 2^24 pixels, larger ones up to 16 pixels a byte. Larger
// declarations are refused (-12) before anything is decoded.
constexpr int64_t kRleFreePixels = int64_t{1} << 24;
constexpr int64_t kRlePixelsPerByte = 16;
constexpr int64_t RlePixelLimit(int64_t dataBytes) {
    return dataBytes > kRleFreePixels / kRlePixelsPerByte ? dataBytes * kRlePixelsPerByte : kRleFreePixels;
}

// The descriptor's open.
int BmpOpen(InputSource* source);
// Information texts: item 1 the compression, 4 the pixel format. True when it wrote.
bool BmpInfoText(const BmpInfo* info, uint32_t item, char* buffer, size_t size);


}  // namespace orva
