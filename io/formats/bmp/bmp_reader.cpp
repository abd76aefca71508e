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

// ---- Run-length data -----------------------------------------------------------------------

// What a walk over run-length data finds, at positions counted in file row order
// (row x width + column): runs of palette indexes, and stretches that take the first
// palette entry (the rest of a row at its end, skipped pixels, the rest of the picture
// at the end of the bitmap).
class RleSink {
public:
    virtual ~RleSink() = default;
    virtual bool Pixels(int64_t at, const uint8_t* indexes, int64_t count) = 0;
    virtual bool Fill(int64_t at, int64_t count) = 0;
};

enum class RleEnd { kEndOfBitmap, kPictureDone, kDataEnded, kSinkFailed };

struct RleWalk {
    RleEnd end;
    int64_t row;  // the row the data ended in
};

// Walks the codes from the file's position to the end of the bitmap, the end of the
// picture, or the end of the data, whichever comes first.
RleWalk WalkRle(FILE* f, bool four, int64_t width, int64_t height, RleSink* sink) {
    int64_t row = 0, x = 0;  // x may reach width: a full row waiting for its end code
    auto at = [&] { return row * width + x; };
    auto done = [&] { return row >= height || (row == height - 1 && x == width); };
    uint8_t run[256];
    while (!done()) {
        const int a = std::getc(f);
        const int b = a == EOF ? EOF : std::getc(f);
        if (b == EOF) return {RleEnd::kDataEnded, row};
        if (a > 0) {
            const int64_t n = std::min<int64_t>(a, width - x);
            for (int64_t i = 0; i < n; ++i)
                run[i] = four ? static_cast<uint8_t>(i % 2 == 0 ? b >> 4 : b & 0xF) : static_cast<uint8_t>(b);
            if (n > 0 && !sink->Pixels(at(), run, n)) return {RleEnd::kSinkFailed, row};
            x += n;
        } else if (b == 0) {
            if (width > x && !sink->Fill(at(), width - x)) return {RleEnd::kSinkFailed, row};
            ++row;
            x = 0;
        } else if (b == 1) {
            const int64_t rest = height * width - at();
            if (rest > 0 && !sink->Fill(at(), rest)) return {RleEnd::kSinkFailed, row};
            return {RleEnd::kEndOfBitmap, row};
        } else if (b == 2) {
            const int dx = std::getc(f);
            const int dy = dx == EOF ? EOF : std::getc(f);
            if (dy == EOF) return {RleEnd::kDataEnded, row};
            const int64_t target = std::min(at() + dx + static_cast<int64_t>(dy) * width, height * width);
            if (target > at() && !sink->Fill(at(), target - at())) return {RleEnd::kSinkFailed, row};
            row = target / width;
            x = target % width;
        } else {
            const int64_t n = b;
            const int64_t bytes = four ? (n + 1) / 2 : n;
            uint8_t literal[256];
            if (!ReadExact(f, literal, static_cast<size_t>(bytes))) return {RleEnd::kDataEnded, row};
            if (bytes % 2 == 1 && std::getc(f) == EOF) return {RleEnd::kDataEnded, row};
            const int64_t keep = std::min(n, width - x);
            for (int64_t i = 0; i < keep; ++i)
                run[i] = four ? static_cast<uint8_t>(i % 2 == 0 ? literal[i / 2] >> 4 : literal[i / 2] & 0xF)
                              : literal[i];
            if (keep > 0 && !sink->Pixels(at(), run, keep)) return {RleEnd::kSinkFailed, row};
            x += keep;
        }
    }
    return {RleEnd::kPictureDone, row};
}

// The first walk: looks only.
class RleCheck : public RleSink {
public:
    bool Pixels(int64_t, const uint8_t*, int64_t) override { return true; }
    bool Fill(int64_t, int64_t) override { return true; }
};

// The second walk: red, green and blue of each pixel, written straight to the pixel's
// place in the decoded file (top row first, whatever the file's order) through one
// block of fixed size, so that neither memory nor the writes depend on the header.
class RleWriter : public RleSink {
public:
    RleWriter(StreamRecord* stream, const BmpReader* rd, int64_t width, int64_t height)
        : stream_(stream), rd_(rd), width_(width), height_(height) {}
    bool Ready() {
        try {
            block_.resize(kBlockBytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    bool Pixels(int64_t at, const uint8_t* indexes, int64_t count) override {
        for (int64_t i = 0; i < count; ++i)
            if (!Put(at + i, rd_->palette[indexes[i]], 1)) return false;
        return true;
    }
    bool Fill(int64_t at, int64_t count) override { return Put(at, rd_->palette[0], count); }
    bool Flush() {
        if (used_ == 0) return true;
        errno = 0;
        const bool ok = StreamWrite(stream_, start_, block_.data(), used_) == static_cast<int64_t>(used_);
        if (!ok) error_ = errno ? errno : ENOSPC;
        used_ = 0;
        return ok;
    }
    int Error() const { return error_; }

private:
    static constexpr size_t kBlockBytes = 3 << 18;  // whole pixels
    // `count` pixels of one colour from `at` on, row by row.
    bool Put(int64_t at, const uint8_t* rgb, int64_t count) {
        while (count > 0) {
            const int64_t row = at / width_, x = at % width_;
            const int64_t n = std::min(count, width_ - x);
            const int64_t fileRow = rd_->bottomUp ? height_ - 1 - row : row;
            int64_t offset = (fileRow * width_ + x) * 3;
            for (int64_t i = 0; i < n;) {
                if (used_ > 0 && offset != start_ + static_cast<int64_t>(used_) && !Flush()) return false;
                if (used_ == 0) start_ = offset;
                const int64_t m = std::min<int64_t>(n - i, static_cast<int64_t>((kBlockBytes - used_) / 3));
                for (int64_t j = 0; j < m; ++j) std::memcpy(block_.data() + used_ + 3 * j, rgb, 3);
                used_ += static_cast<size_t>(3 * m);
                i += m;
                offset += 3 * m;
                if (used_ == kBlockBytes && !Flush()) return false;
            }
            at += n;
            count -= n;
        }
        return true;
    }
    StreamRecord* stream_;
    const BmpReader* rd_;
    int64_t width_, height_;
    std::vector<uint8_t> block_;
    size_t used_ = 0;
    int64_t start_ = 0;
    int error_ = 0;
};

int DecodeRle(BmpReader* rd, StreamRecord* stream, const char* name, int64_t width, int64_t height) {
    const bool four = rd->decoder == BmpDecoder::kRle4;
    // Two bytes of run-length data can fill any number of pixels (the end of the bitmap, a
    // skip), so a small file can declare a picture that takes minutes and gigabytes to
    // decode. Pictures beyond what such data plausibly describe are refused at once.
    const int64_t dataBytes = std::max<int64_t>(0, rd->fileLength - rd->dataOffset);
    const int64_t limit = RlePixelLimit(dataBytes);
    if (width * height > limit) {
        LogPrintf("\"%s\": Not supported size [%I64d x %I64d] of run-length data: %I64d bytes of it are "
                  "decoded to at most %I64d pixels",
                  name, width, height, dataBytes, limit);
        return kErrUnsupported2;
    }
    // Data that end before the picture does are refused before anything is written: a
    // few damaged bytes must not make the decoder fill a file of the header's size.
    RleCheck check;
    const RleWalk seen = WalkRle(rd->file, four, width, height, &check);
    if (seen.end == RleEnd::kDataEnded) {
        LogPrintf("\"%s\": damaged run-length data: they end in row %I64d of %I64d, before the end of the bitmap",
                  name, seen.row + 1, height);
        return kErrCorrupt;
    }
    const int space = CheckDecodedSpace(name, static_cast<uint64_t>(width * height * 3));
    if (space < kResultReady) return space;
    if (!SeekTo(rd->file, rd->dataOffset)) return Corrupt(name);
    RleWriter writer(stream, rd, width, height);
    if (!writer.Ready()) return kErrOutOfMemory;
    const RleWalk walked = WalkRle(rd->file, four, width, height, &writer);
    if (walked.end == RleEnd::kSinkFailed || !writer.Flush()) return DecodedWriteFailed(name, writer.Error());
    if (walked.end == RleEnd::kDataEnded) {
        LogPrintf("\"%s\": damaged run-length data: the file changed while it was read", name);
        return kErrCorrupt;
    }
    return kResultReady;
}

}  // namespace

int BmpDecodeToStream(BmpReader* rd, StreamRecord* stream, const char* name) {
    if (rd == nullptr || rd->info == nullptr || stream == nullptr) return kErrWrong;
    if (name == nullptr) name = "";
    BmpInfo* info = rd->info;
    const int64_t width = info->width, height = info->height;
    // Alpha is dropped: red, green and blue are written for every pixel.
    const int64_t components = 3;
    const int64_t sampleBytes = rd->decoder == BmpDecoder::kMasks ? rd->componentType : 1;
    int64_t imageBytes = 0;
    if (width < 1 || width > kMaxWidth || height < 1 ||
        __builtin_mul_overflow(width * components * sampleBytes, height, &imageBytes)) {
        LogPrintf("\"%s\": Not supported size [%d x %d] of the data", name, static_cast<int>(width),
                  static_cast<int>(height));
        return kErrUnsupported2;
    }
    info->width = width;
    if (rd->decoder == BmpDecoder::kRle8 || rd->decoder == BmpDecoder::kRle4)
        return DecodeRle(rd, stream, name, width, height);

    // Uncompressed rows: the headers were checked against the file's length, so what
    // follows is in proportion to the file.
    const int space = CheckDecodedSpace(name, static_cast<uint64_t>(imageBytes));
    if (space < kResultReady) return space;
    const int64_t chunkRows =
        width * height <= kChunkSamples ? height : std::clamp<int64_t>(kChunkSamples / width, 1, height);
    const int64_t outRowBytes = width * components * sampleBytes;
    const int64_t inRowBytes = RowBytesOf(width, rd->bits);
    std::vector<uint8_t> out, in;
    try {
        out.resize(static_cast<size_t>(chunkRows * outRowBytes));
        in.resize(static_cast<size_t>(inRowBytes));
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    int64_t written = 0;
    bool ended = false;
    while (written < height && !ended) {
        const int64_t want = std::min(chunkRows, height - written);
        int64_t got = 0;
        for (; got < want; ++got) {
            if (!ReadExact(rd->file, in.data(), static_cast<size_t>(inRowBytes))) break;
            DecodeRow(rd, in.data(), width, out.data() + got * outRowBytes);
        }
        if (got < want) ended = true;
        if (got > 0) {
            const int64_t n = got * outRowBytes;
            errno = 0;
            if (StreamWrite(stream, written * outRowBytes, out.data(), static_cast<size_t>(n)) != n)
                return DecodedWriteFailed(name, errno ? errno : ENOSPC);
            written += got;
        }
    }
    if (rd->bottomUp && !FlipRowsInFile(stream, outRowBytes, written)) return kErrFlipFailed;
    info->height = written;
    if (written == 0) return kResultDataEmpty;
    if (written < height) return kResultIncomplete;
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
