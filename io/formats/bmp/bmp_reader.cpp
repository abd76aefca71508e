#include "io/formats/bmp/bmp_reader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/formats/bmp/decoded_image.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva {

namespace {

constexpr int kErrFlipFailed = -11;
constexpr int kErrShortPalette = -19;
constexpr int kErrCompression = -22;
constexpr int kErrBadHeader = -24;
constexpr uint32_t kStrictMask = 0x40008;
constexpr int64_t kMaxWidth = 0x2000000;
constexpr int64_t kChunkSamples = 0x20000;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadExact(FILE* f, void* buffer, size_t n) { return std::fread(buffer, 1, n, f) == n; }

bool SeekTo(FILE* f, int64_t offset) { return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0; }

const char* CompressionName(uint32_t code) {
    return code == 4 ? "Jpeg" : code == 5 ? "Png" : "";
}

int NotSupported(const char* name, uint32_t bits, uint32_t compression, int code) {
    LogPrintf("\"%s\": not supported format (bitsPixel %d, compression %s 0x%X)", name,
              static_cast<int>(bits), CompressionName(compression), compression);
    return code;
}

int Corrupt(const char* name) {
    LogPrintf("test bmp type: \"%s\": Corrupt file", name);
    return kErrCorrupt;
}

uint32_t LowestBit(uint32_t mask) { return mask ? static_cast<uint32_t>(std::countr_zero(mask)) : 0; }
uint32_t BitLength(uint32_t mask) { return 32u - static_cast<uint32_t>(std::countl_zero(mask)); }

// Shifts, widths and the decoded sample type from the channel masks.
void AnalyseMasks(BmpReader* rd) {
    BmpInfo* info = rd->info;
    uint32_t widest = 0;
    for (int c = 0; c < 4; ++c) {
        rd->downShift[c] = LowestBit(info->masks[c]);
        info->widths[c] = static_cast<uint32_t>(std::popcount(info->masks[c]));
        widest = std::max(widest, info->widths[c]);
    }
    uint32_t full = 255;
    rd->componentType = 1;
    info->sampleType = 0x101;
    if (widest > 16) {
        full = 0xFFFFFFFFu;
        rd->componentType = 8;
        info->sampleType = 0x108;
    } else if (widest > 8) {
        full = 65535;
        rd->componentType = 2;
        info->sampleType = 0x102;
    }
    for (int c = 0; c < 4; ++c) {
        const uint32_t top = info->masks[c] >> rd->downShift[c];
        rd->upShift[c] = top ? BitLength(full / top) - 1 : 0;
    }
}

void SetMasks(BmpReader* rd, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    rd->info->masks[0] = r;
    rd->info->masks[1] = g;
    rd->info->masks[2] = b;
    rd->info->masks[3] = a;
    AnalyseMasks(rd);
}

int64_t RowBytesOf(int64_t width, uint32_t bits) { return ((width * bits + 31) / 32) * 4; }

}  // namespace

BmpInfo::BmpInfo() { tag = MakeFormatTag("BMP"); }

int BmpTestType(BmpReader* rd, const char* name) {
    if (rd == nullptr || rd->file == nullptr || rd->info == nullptr) return kErrWrong;
    if (name == nullptr) name = "";
    BmpInfo* info = rd->info;
    FILE* f = rd->file;
    uint8_t h[40];
    if (!ReadExact(f, h, 14)) return kErrBadHeader;
    static const char* const kMagics[] = {"BM", "BA", "CI", "PI", "IC", "CP"};
    bool known = false;
    for (const char* m : kMagics) known = known || (h[0] == m[0] && h[1] == m[1]);
    if (!known) return kErrBadHeader;
    rd->dataOffset = U32(h + 10);
    const bool strict = (rd->strictFlags & kStrictMask) != 0;
    if (rd->dataOffset < 22 && strict) return kErrBadHeader;

    if (!ReadExact(f, h, 4)) return kErrBadHeader;
    const uint32_t headerSize = U32(h);
    if (headerSize <= 4) return kErrBadHeader;
    int64_t paletteOffset = 0;
    uint32_t colorsUsed = 0;
    int64_t pixelsPerMetre[2] = {0, 0};
    rd->bottomUp = true;
    if (headerSize == 12) {
        if (!ReadExact(f, h, 8)) return kErrBadHeader;
        info->os2 = true;
        info->width = U16(h);
        info->height = U16(h + 2);
        rd->bits = U16(h + 6);
        rd->compression = 0;
        paletteOffset = 26;
    } else {
        if (!ReadExact(f, h, 36)) return kErrBadHeader;
        int64_t w = static_cast<int32_t>(U32(h));
        int64_t hh = static_cast<int32_t>(U32(h + 4));
        if (w < 0) w = -w;
        if (hh < 0) {
            hh = -hh;
            rd->bottomUp = false;
        }
        info->width = w;
        info->height = hh;
        rd->bits = U16(h + 10);
        rd->compression = U32(h + 12);
        pixelsPerMetre[0] = static_cast<int32_t>(U32(h + 20));
        pixelsPerMetre[1] = static_cast<int32_t>(U32(h + 24));
        colorsUsed = U32(h + 28);
        paletteOffset = 14 + static_cast<int64_t>(headerSize);
    }
    info->bitsPerPixel = rd->bits;
    info->compression = rd->compression;
    if (info->width == 0 || info->height == 0) return kErrBadHeader;
    info->sizeZ = 1;
    info->type = 0x101;
    info->components = 3;
    info->bits = (rd->bits == 0 || rd->bits > 8) ? 8 : rd->bits;
    info->sampleType = 0x101;
    rd->componentType = 1;

    const uint32_t bits = rd->bits, comp = rd->compression;
    if (bits == 0 || bits > 32) return NotSupported(name, bits, comp, kErrUnsupported);
    bool accepted = false;
    switch (bits) {
    case 1: accepted = comp == 0; break;
    case 4: accepted = comp == 0 || comp == 2; break;
    case 8: accepted = comp == 0 || comp == 1; break;
    case 16:
        accepted = comp == 0 || comp == 3;
        if (comp == 0) SetMasks(rd, 0x7C00, 0x3E0, 0x1F, 0);
        break;
    case 24:
        accepted = comp == 0;
        if (accepted) SetMasks(rd, 0xFF0000, 0xFF00, 0xFF, 0);
        break;
    case 32:
        accepted = comp == 0 || comp == 3;
        if (comp == 0) SetMasks(rd, 0xFF0000, 0xFF00, 0xFF, 0);
        break;
    default: return NotSupported(name, bits, comp, kErrUnsupported);
    }
    if (!accepted) return NotSupported(name, bits, comp, kErrCompression);

    int64_t pos = 14 + 4 + (info->os2 ? 8 : 36);
    if (bits > 8) {
        if (comp == 3) {
            if (rd->dataOffset - pos < 12) return kErrBadHeader;
            uint8_t m[16];
            if (!ReadExact(f, m, 12)) return kErrBadHeader;
            uint32_t alpha = 0;
            pos += 12;
            if (rd->dataOffset - pos >= 4) {
                if (!ReadExact(f, m + 12, 4)) return kErrBadHeader;
                alpha = U32(m + 12);
                pos += 4;
            }
            uint32_t r = U32(m), g = U32(m + 4), b = U32(m + 8);
            if (bits == 16) {
                r &= 0xFFFF;
                g &= 0xFFFF;
                b &= 0xFFFF;
                alpha &= 0xFFFF;
            }
            SetMasks(rd, r, g, b, alpha);
            if (alpha != 0) info->components = 4;
        }
    } else {
        pos = paletteOffset;
        uint32_t count = 1u << bits;
        if (colorsUsed != 0 && colorsUsed < count) count = colorsUsed;
        rd->paletteCount = count;
        info->paletteCount = count;
        rd->hasPalette = true;
        const int entry = info->os2 ? 3 : 4;
        if (paletteOffset + static_cast<int64_t>(count) * entry <= rd->dataOffset) {
            if (!SeekTo(f, paletteOffset)) return kErrShortPalette;
            uint8_t e[4];
            for (uint32_t i = 0; i < count; ++i) {
                if (!ReadExact(f, e, static_cast<size_t>(entry))) return kErrShortPalette;
                rd->palette[i][0] = e[2];
                rd->palette[i][1] = e[1];
                rd->palette[i][2] = e[0];
                rd->palette[i][3] = entry == 3 ? 255 : e[3];
            }
            pos += static_cast<int64_t>(count) * entry;
        }
    }
    // The pixel data: the headers must not run past it in strict mode, and it must lie
    // within the file.
    if (pos > rd->dataOffset && strict) return Corrupt(name);
    if (rd->dataOffset > rd->fileLength || !SeekTo(f, rd->dataOffset)) return Corrupt(name);
    // Uncompressed rows have a known size: a header promising more than the file holds is
    // refused before anything is decoded.
    if (comp == 0 || comp == 3) {
        int64_t need = 0;
        if (__builtin_mul_overflow(RowBytesOf(info->width, bits), info->height, &need) ||
            need > rd->fileLength - rd->dataOffset)
            return kErrBadHeader;
    }
    for (int i = 0; i < 2; ++i) {
        double dpi = std::round(static_cast<double>(pixelsPerMetre[i]) * 0.0254000514892096);
        (i == 0 ? info->dpiX : info->dpiY) = dpi < 2.0 ? 0.0 : dpi;
    }
    return kResultReady;
}

BmpDecoder BmpChooseDecoder(const BmpReader* rd) {
    const uint32_t* m = rd->info->masks;
    switch (rd->compression) {
    case 0:
        if (rd->bits <= 8) return rd->hasPalette ? BmpDecoder::kIndex : BmpDecoder::kNone;
        if (rd->bits == 16) return BmpDecoder::kRgb555;
        if (rd->bits == 24) return BmpDecoder::kBgr24;
        if (rd->bits == 32) return BmpDecoder::kBgrx32;
        return BmpDecoder::kNone;
    case 1: return rd->bits == 8 && rd->hasPalette ? BmpDecoder::kRle8 : BmpDecoder::kNone;
    case 2: return rd->bits == 4 && rd->hasPalette ? BmpDecoder::kRle4 : BmpDecoder::kNone;
    case 3:
        if (rd->bits == 16) {
            if (m[0] == 0x7C00 && m[1] == 0x3E0 && m[2] == 0x1F && rd->componentType == 1)
                return BmpDecoder::kRgb555;
            if (m[0] == 0 && m[1] == 0 && m[2] == 0) return BmpDecoder::kNone;
            return BmpDecoder::kMasks;
        }
        if (rd->bits == 32) return BmpDecoder::kMasks;
        return BmpDecoder::kNone;
    default: return BmpDecoder::kNone;
    }
}

namespace {

// ---- Pixel decoders -----------------------------------------------------------------------

template <typename T>
void MaskRow(const BmpReader* rd, const uint8_t* in, int64_t width, T* out) {
    const uint32_t* masks = rd->info->masks;
    const bool wide = rd->bits == 32;
    for (int64_t x = 0; x < width; ++x) {
        const uint32_t p = wide ? U32(in + 4 * x) : U16(in + 2 * x);
        for (int c = 0; c < 3; ++c) {
            uint32_t v = (p & masks[c]) >> rd->downShift[c];
            if (sizeof(T) == 1) v &= 0xFF;
            // Up-shifts are below the sample width by construction; keep them bounded anyway.
            out[3 * x + c] = static_cast<T>(rd->upShift[c] < 32 ? v << rd->upShift[c] : 0);
        }
    }
}

// One uncompressed row into 8-bit red, green, blue samples (or the typed samples of
// the mask decoder).
void DecodeRow(const BmpReader* rd, const uint8_t* in, int64_t width, uint8_t* out) {
    switch (rd->decoder) {
    case BmpDecoder::kIndex: {
        const uint32_t bits = rd->bits;
        const uint32_t perByte = 8 / bits;
        const uint32_t valueMask = (1u << bits) - 1;
        for (int64_t x = 0; x < width; ++x) {
            const uint8_t byte = in[x / perByte];
            const uint32_t shift = 8 - bits * (static_cast<uint32_t>(x % perByte) + 1);
            const uint8_t* e = rd->palette[(byte >> shift) & valueMask];
            std::memcpy(out + 3 * x, e, 3);
        }
        break;
    }
    case BmpDecoder::kRgb555:
        for (int64_t x = 0; x < width; ++x) {
            const uint32_t p = U16(in + 2 * x);
            out[3 * x] = static_cast<uint8_t>((p >> 7) & 0xF8);
            out[3 * x + 1] = static_cast<uint8_t>((p >> 2) & 0xF8);
            out[3 * x + 2] = static_cast<uint8_t>(p << 3);
        }
        break;
    case BmpDecoder::kBgr24:
    case BmpDecoder::kBgrx32: {
        const int step = rd->decoder == BmpDecoder::kBgr24 ? 3 : 4;
        for (int64_t x = 0; x < width; ++x) {
            const uint8_t* p = in + step * x;
            out[3 * x] = p[2];
            out[3 * x + 1] = p[1];
            out[3 * x + 2] = p[0];
        }
        break;
    }
    case BmpDecoder::kMasks:
        if (rd->componentType == 2)
            MaskRow(rd, in, width, reinterpret_cast<uint16_t*>(out));
        else if (rd->componentType == 8)
            MaskRow(rd, in, width, reinterpret_cast<uint32_t*>(out));
        else
            MaskRow(rd, in, width, out);
        break;
    default: break;
    }
}

// Run-length decoding of `rows` rows of palette indexes (one byte each) into `idx`,
// which the caller zero-filled. The rows completed.
int64_t RleRows(BmpReader* rd, uint8_t* idx, int64_t rows, int64_t width) {
    const int64_t total = rows * width;
    if (rd->endOfBitmap) return rows;
    int64_t row = 0, x = 0;
    if (rd->pendingSkip > 0) {
        const int64_t n = std::min(rd->pendingSkip, total);
        rd->pendingSkip -= n;
        if (n == total) return rows;
        row = n / width;
        x = n % width;
    }
    const bool four = rd->decoder == BmpDecoder::kRle4;
    FILE* f = rd->file;
    for (;;) {
        const int a = std::getc(f);
        const int b = std::getc(f);
        if (a == EOF || b == EOF) return row;
        uint8_t* line = idx + row * width;
        if (a > 0) {
            const int64_t n = std::min<int64_t>(a, width - x);
            for (int64_t i = 0; i < n; ++i)
                line[x + i] = four ? static_cast<uint8_t>(i % 2 == 0 ? b >> 4 : b & 0xF)
                                   : static_cast<uint8_t>(b);
            x += n;
        } else if (b == 0) {
            x = 0;
            if (++row == rows) return rows;
        } else if (b == 1) {
            rd->endOfBitmap = true;
            return rows;
        } else if (b == 2) {
            const int dx = std::getc(f);
            const int dy = std::getc(f);
            if (dx == EOF || dy == EOF) return row;
            const int64_t target = row * width + x + dx + static_cast<int64_t>(dy) * width;
            if (target >= total) {
                rd->pendingSkip = target - total;
                return rows;
            }
            row = target / width;
            x = target % width;
        } else {
            const int64_t n = b;
            const int64_t bytes = four ? (n + 1) / 2 : n;
            uint8_t literal[256];
            if (!ReadExact(f, literal, static_cast<size_t>(bytes))) return row;
            if (bytes % 2 == 1 && std::getc(f) == EOF) return row;
            const int64_t keep = std::min(n, width - x);
            for (int64_t i = 0; i < keep; ++i)
                line[x + i] = four ? static_cast<uint8_t>(i % 2 == 0 ? literal[i / 2] >> 4
                                                                     : literal[i / 2] & 0xF)
                                   : literal[i];
            x += keep;
        }
    }
}

}  // namespace

int BmpDecodeToStream(BmpReader* rd, StreamRecord* stream, const char* name) {
    if (rd == nullptr || rd->info == nullptr || stream == nullptr) return kErrWrong;
    BmpInfo* info = rd->info;
    const int64_t width = info->width, height = info->height;
    // Alpha is dropped: red, green and blue are written for every pixel.
    const int64_t components = 3;
    const int64_t sampleBytes = rd->decoder == BmpDecoder::kMasks ? rd->componentType : 1;
    int64_t imageBytes = 0;
    if (width < 1 || width > kMaxWidth || height < 1 ||
        __builtin_mul_overflow(width * components * sampleBytes, height, &imageBytes)) {
        LogPrintf("\"%s\": Not supported size [%d x %d] of the data", name ? name : "",
                  static_cast<int>(width), static_cast<int>(height));
        return kErrUnsupported2;
    }
    const int64_t chunkRows =
        width * height <= kChunkSamples ? height : std::clamp<int64_t>(kChunkSamples / width, 1, height);
    const int64_t outRowBytes = width * components * sampleBytes;
    const bool rle = rd->decoder == BmpDecoder::kRle8 || rd->decoder == BmpDecoder::kRle4;
    const int64_t inRowBytes = RowBytesOf(width, rd->bits);
    std::vector<uint8_t> out, in;
    try {
        out.resize(static_cast<size_t>((chunkRows + 1) * outRowBytes));
        in.resize(static_cast<size_t>(rle ? chunkRows * width : inRowBytes));
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    rd->endOfBitmap = false;
    rd->pendingSkip = 0;
    int64_t written = 0;
    bool failedWrite = false;
    bool ended = false;
    while (written < height && !ended && !failedWrite) {
        const int64_t want = std::min(chunkRows, height - written);
        int64_t got = 0;
        if (rle) {
            std::fill(in.begin(), in.begin() + want * width, 0);
            got = RleRows(rd, in.data(), want, width);
            for (int64_t i = 0; i < got * width; ++i) std::memcpy(&out[3 * i], rd->palette[in[i]], 3);
        } else {
            for (; got < want; ++got) {
                if (!ReadExact(rd->file, in.data(), static_cast<size_t>(inRowBytes))) break;
                DecodeRow(rd, in.data(), width, out.data() + got * outRowBytes);
            }
        }
        if (got < want) ended = true;
        if (got > 0) {
            const int64_t n = got * outRowBytes;
            if (StreamWrite(stream, written * outRowBytes, out.data(), static_cast<size_t>(n)) != n)
                failedWrite = true;
            else
                written += got;
        }
    }
    if (rd->bottomUp && !FlipRowsInFile(stream, outRowBytes, written)) return kErrFlipFailed;
    info->height = written;
    info->width = width;
    if (written == 0) return kResultDataEmpty;
    if (written < height || failedWrite) return kResultIncomplete;
    return kResultReady;
}

int BmpOpen(InputSource* source) {
    if (source == nullptr || source->request == nullptr || source->name == nullptr ||
        source->name->Length() <= source->name->NameOffset())
        return kErrWrong;
    const char* name = source->name->Text();
    BmpReader rd;
    rd.file = std::fopen(name, "rb");
    if (rd.file == nullptr) return ErrnoToErrorValue(errno);
    FormatInfoRef<BmpInfo> info(BmpInfo::Create());
    if (!info) {
        std::fclose(rd.file);
        return kErrOutOfMemory;
    }
    rd.info = info.get();
    rd.strictFlags = source->options;
    struct stat st;
    rd.fileLength = fstat(fileno(rd.file), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    int r = BmpTestType(&rd, name);
    if (r >= kResultReady) {
        rd.decoder = BmpChooseDecoder(&rd);
        if (rd.decoder == BmpDecoder::kNone) r = kErrUnsupported;
    }
    if (r >= kResultReady) {
        r = OpenDecodedStream(&source->stream, name);
        if (r >= kResultReady) {
            const int decoded = BmpDecodeToStream(&rd, source->stream, name);
            if (decoded < kResultReady) {
                StreamClose(&source->stream);
                r = decoded;
            } else {
                DecodedImage image;
                image.type = info->sampleType;
                image.components = 3;
                image.width = info->width;
                image.height = info->height;
                image.rangeMax = rd.componentType == 8 ? 4294967295.0 : rd.componentType == 2 ? 65535.0 : 255.0;
                r = AttachDecodedImage(source, image, info.get());
                if (r == kResultReady) r = decoded;
            }
        }
    }
    std::fclose(rd.file);
    return r;
}

bool BmpInfoText(const BmpInfo* info, uint32_t item, char* buffer, size_t size) {
    if (info == nullptr || buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    std::string s;
    if (item == 1) {
        static const char* const kNames[] = {"[none]", "RLE8", "RLE4", "BITFIELDS", "Jpeg", "PNG"};
        if (info->compression > 5) return false;
        s = kNames[info->compression];
        if (s.size() >= size) return false;
        if (info->os2 && s.size() + 6 < size) s += " [OS2]";
    } else if (item == 4) {
        const uint32_t bits = info->bitsPerPixel;
        char t[32];
        if (info->compression == 0 && bits <= 8) {
            std::snprintf(t, sizeof t, "%d ", static_cast<int>(info->paletteCount));
            s = std::string("Palette ") + t + (info->os2 ? "RGB" : "ARGB");
        } else if (bits < 16) {
            s = "RGB";
        } else {
            if (size <= 69) return false;
            const uint32_t* m = info->masks;
            const uint32_t* w = info->widths;
            if (bits == 16 || bits == 32) {
                const int unused = static_cast<int>(bits) - static_cast<int>(BitLength(m[3] ? m[3] : m[0]));
                if (unused > 0) {
                    std::snprintf(t, sizeof t, "X%d ", unused);
                    s += t;
                }
                if (w[3]) {
                    std::snprintf(t, sizeof t, "A%d ", static_cast<int>(w[3]));
                    s += t;
                }
            }
            if (w[0]) {
                std::snprintf(t, sizeof t, "R%d ", static_cast<int>(w[0]));
                s += t;
            }
            if (w[1]) {
                std::snprintf(t, sizeof t, "G%d ", static_cast<int>(w[1]));
                s += t;
            }
            if (m[2]) {
                std::snprintf(t, sizeof t, "B%d", static_cast<int>(w[2]));
                s += t;
                if (LowestBit(m[2])) {
                    std::snprintf(t, sizeof t, " X%d", static_cast<int>(LowestBit(m[2])));
                    s += t;
                }
            }
            s += info->sampleType == 0x102 ? " / 16b" : info->sampleType == 0x108 ? " / 32b" : " / 8b";
        }
    } else {
        return false;
    }
    if (s.size() >= size) return false;
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return true;
}

}  // namespace orva
