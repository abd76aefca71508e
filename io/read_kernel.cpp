#include "io/read_kernel.h"

#include <algorithm>
#include <cfenv>
#include <cstring>

#include "data/kernel_util.h"
#include "io/data_set.h"
#include "io/frame_access.h"
#include "io/kept_plane.h"
#include "common/numeric.h"

namespace orva {

namespace {


// The file offset of the window origin; false when a product overflows.
bool OriginOffset(uint64_t base, uint64_t x, uint64_t y, uint64_t z, uint64_t cx, uint64_t cy,
                  uint64_t cz, uint64_t W, uint64_t H, uint64_t B, uint64_t* out) {
    uint64_t plane, zTerm, yTerm, elements, bytes;
    if (!MulFits(W, H, &plane) || !MulFits(z + cz, plane, &zTerm) || !MulFits(y + cy, W, &yTerm)) return false;
    if (!AddFits(zTerm, yTerm, &elements) || !AddFits(elements, cx + x, &elements)) return false;
    if (!MulFits(elements, B, &bytes)) return false;
    return AddFits(base, bytes, out);
}

// Gives the staging buffer room for `want` pixels of B bytes; the chunk it holds.
uint32_t SizeStaging(DataSet* d, uint64_t want, uint32_t B) {
    const uint64_t need = want * B;
    GlobalBuffer& s = d->staging;
    if (s.block != nullptr && s.size >= need && s.size - need < kGlobalBufferReuseSlack)
        return static_cast<uint32_t>(s.size / B);
    if (s.Reserve(static_cast<uint32_t>(need))) return static_cast<uint32_t>(want);
    if (s.block != nullptr && s.size >= B) return static_cast<uint32_t>(s.size / B);
    return 0;
}

}  // namespace

uint32_t ClipReadWindow(uint64_t x, uint64_t y, uint64_t z, uint64_t cropW, uint64_t cropH,
                        uint64_t cropD, uint64_t P, uint64_t* width, uint64_t* height,
                        uint64_t* depth) {
    uint32_t flags = 0;
    if (P < 1) P = 1;
    const uint64_t limit = std::max<uint64_t>(1, kWindowByteLimit / P);  // pixels
    if (x + *width > cropW || *width > limit) {
        *width = std::min(cropW > x ? cropW - x : 1, limit);
        flags |= kWindowWidthClipped;
    }
    if (*width < 1) *width = 1;
    if (y + *height > cropH || *width * *height > limit) {
        if (y + *height > cropH) *height = cropH > y ? cropH - y : 1;
        if (*width * *height > limit) *height = limit / *width;
        if (*height < 1) *height = 1;
        flags |= kWindowHeightClipped;
    }
    uint64_t volume = 0;
    const bool tooMany = __builtin_mul_overflow(*width * *height, *depth, &volume) || volume > limit;
    if (z + *depth > cropD || tooMany) {
        if (z + *depth > cropD) *depth = cropD > z ? cropD - z : 1;
        const uint64_t planes = limit / (*width * *height);
        if (*depth > planes) *depth = planes;
        if (*depth < 1) *depth = 1;
        flags |= kWindowDepthClipped;
    }
    return flags;
}

bool InputReadKernel1(DataSet* d, TypedFrameBuffer* image, ReadWindow* w) {
    if (d == nullptr || image == nullptr || w == nullptr || d->readKernel == nullptr) return false;
    // 1. The request.
    const uint32_t visited = d->StepFrames();
    if (d->TotalFrames() == 0 || visited == 0 || w->frame < 0 ||
        static_cast<uint32_t>(w->frame) >= visited || w->section < 0 || w->width < 1 ||
        w->height < 1)
        return false;
    if (w->x < 0) w->x = 0;
    if (w->y < 0) w->y = 0;
    if (w->z < 0) w->z = 0;
    const uint64_t x = static_cast<uint64_t>(w->x), y = static_cast<uint64_t>(w->y),
                   z = static_cast<uint64_t>(w->z);

    // 2. The file frame.
    const uint32_t fileFrame = MapFrameByStep(*d, w->frame);

    // 3. Geometry and the position of the window origin.
    const uint64_t B = d->StoredPixelBytes();
    const uint64_t cropW = d->cropSizeX > 0 ? static_cast<uint64_t>(d->cropSizeX) : 0;
    const uint64_t cropH = d->cropSizeY > 0 ? static_cast<uint64_t>(d->cropSizeY) : 0;
    const uint64_t cropD = d->cropSizeZ > 0 ? static_cast<uint64_t>(d->cropSizeZ) : 0;
    const uint64_t cx = d->cropX > 0 ? static_cast<uint64_t>(d->cropX) : 0;
    const uint64_t cy = d->cropY > 0 ? static_cast<uint64_t>(d->cropY) : 0;
    const uint64_t cz = d->cropZ > 0 ? static_cast<uint64_t>(d->cropZ) : 0;
    uint64_t W = 0, position = 0;
    bool inside = B != 0 && x < cropW && y < cropH && z < cropD;
    if (inside && !d->frameTable) {
        W = d->sizeX > 0 ? static_cast<uint64_t>(d->sizeX) : 0;
        const uint64_t H = d->sizeY > 0 ? static_cast<uint64_t>(d->sizeY) : 0;
        const uint64_t D = d->sizeZ > 0 ? static_cast<uint64_t>(d->sizeZ) : 0;
        uint64_t sectionBytes = 0, sectionIndex = 0, frameOffset = 0, base = 0;
        inside = static_cast<uint32_t>(w->section) < d->sections && d->dataBegin >= 0 &&
                 MulFits(D, W, &sectionBytes) && MulFits(sectionBytes, H, &sectionBytes) &&
                 MulFits(sectionBytes, B, &sectionBytes) &&
                 MulFits(fileFrame, d->sections, &sectionIndex) &&
                 AddFits(sectionIndex, static_cast<uint32_t>(w->section), &sectionIndex) &&
                 MulFits(sectionIndex, sectionBytes, &frameOffset) &&
                 AddFits(static_cast<uint64_t>(d->dataBegin), frameOffset, &base) &&
                 OriginOffset(base, x, y, z, cx, cy, cz, W, H, B, &position);
    } else if (inside) {
        SectionEntry* e = FrameTableSectionRecord(d->frameTable.get(), fileFrame,
                                                  static_cast<uint32_t>(w->section));
        inside = e != nullptr;
        if (inside) {
            const SectionGeometry& g = e->geometry;
            W = g.rowLength;
            const bool zTerm = z != 0 || cz != 0;
            inside = OriginOffset(g.dataPosition, x, y, zTerm ? z : 0, cx, cy, zTerm ? cz : 0, W,
                                  g.rows, B, &position);
        }
    }
    // 4. The position must lie inside the file.
    StreamRecord* stream = d->stream;
    const int64_t readable = d->ReadableLength();
    if (!inside || stream == nullptr || stream->fd < 0 || readable <= 0 ||
        position >= static_cast<uint64_t>(readable)) {
        w->flags |= kWindowOutside;
        return false;
    }
    const uint64_t fileLength = static_cast<uint64_t>(readable);

    // 5. Clip. Every axis keeps the window within kWindowByteLimit bytes.
    const uint32_t V = d->channelMode == kChannelAsIs ? (d->workChannels ? d->workChannels : 1) : 1;
    if (image->itemBytes != 8 * V) image->SetTypeAndCount(0x40, V);
    uint64_t width = static_cast<uint64_t>(w->width);
    uint64_t height = static_cast<uint64_t>(w->height);
    uint64_t depth = w->depth > 0 ? static_cast<uint64_t>(w->depth) : 1;
    w->flags |= ClipReadWindow(x, y, z, cropW, cropH, cropD, image->itemBytes, &width, &height,
                               &depth);
    w->width = static_cast<int32_t>(width);
    w->depth = static_cast<int32_t>(depth);

    // 6. The image buffer.
    if (!image->AllocImageBuffer(static_cast<uint32_t>(width), static_cast<uint32_t>(height))) {
        d->staging.Free();
        d->conversion.Free();
        d->chunkPixels = 0;
        return false;
    }

    // 7. The staging buffer: cache-sized chunks, each converted as soon as it is read.
    uint64_t want = std::max<uint64_t>(1, kReadChunkBytes / B);
    if (want > width * height) want = width * height;
    uint32_t chunk = d->chunkPixels;
    if (chunk < want || d->staging.block == nullptr || d->staging.size < uint64_t{chunk} * B)
        chunk = SizeStaging(d, want, static_cast<uint32_t>(B));
    if (chunk == 0) {
        d->staging.Free();
        d->conversion.Free();
        d->chunkPixels = 0;
        return false;
    }
    d->chunkPixels = chunk;

    // 8. Conversion: V values per pixel; the selected channel starts further in.
    const uint8_t* staging = static_cast<const uint8_t*>(d->staging.block);
    const uint8_t* source = staging;
    if (d->channelMode == kChannelSelected && d->selectedChannel > 1)
        source += static_cast<uint64_t>(d->selectedChannel - 1) * d->elementBytes;
    uint8_t* destination = static_cast<uint8_t*>(image->data);
    const uint64_t outPixelBytes = 8ull * V;
    const ChannelKernel kernel = d->readKernel;
    const ChannelParams* params = &d->channelParams;

    // Bytes that a whole statistics pass of this plane read just before are converted
    // where it kept them.
    KeptPlane& kept = d->keptPlane;
    const KeptPlaneKey keptKey = kept.Holds() ? KeptPlaneKeyOf(d) : KeptPlaneKey{};
    const uint64_t channelOffset = static_cast<uint64_t>(source - staging);
    bool usedKept = false;

    // Reads `pixels` pixels at `offset` in chunks, converting each; the pixels delivered.
    bool shortRead = false;
    uint64_t delivered = 0;
    auto readRun = [&](uint64_t offset, uint64_t pixels) {
        while (pixels > 0) {
            const uint64_t n = std::min<uint64_t>(pixels, chunk);
            const uint64_t bytes = n * B;
            // Never read past the end of the file, whatever the description says.
            const uint64_t available = offset < fileLength ? fileLength - offset : 0;
            const uint64_t ask = std::min(bytes, available);
            const uint8_t* held = ask && kept.Holds() ? kept.Find(keptKey, offset, ask) : nullptr;
            int64_t got = held != nullptr ? static_cast<int64_t>(ask)
                          : ask           ? d->ReadStored(offset, d->staging.block, ask)
                                          : 0;
            if (got < 0) got = 0;
            usedKept = usedKept || held != nullptr;
            const uint64_t whole = static_cast<uint64_t>(got) / B;
            if (whole > 0)
                kernel(held != nullptr ? held + channelOffset : source,
                       reinterpret_cast<double*>(destination + delivered * outPixelBytes),
                       static_cast<uint32_t>(whole * V), params);
            delivered += whole;
            if (static_cast<uint64_t>(got) < bytes) {
                shortRead = true;
                return;
            }
            offset += bytes;
            pixels -= n;
        }
    };

    // 9. Whole rows in one run, or row by row. A window far larger than the caches is
    // stored past them (blank samples are marked by reading the results back: not those).
    d->channelParams.streamOutput =
        !d->channelParams.hasBlank && kernel::StreamsStores(width * height * outPixelBytes);
    const bool wholeRows = width == W;
    if (wholeRows) {
        readRun(position, width * height);
    } else {
        const uint64_t rowStride = W * B;
        for (uint64_t r = 0; r < height && !shortRead; ++r) readRun(position + r * rowStride, width);
    }
    d->channelParams.streamOutput = false;
    // A kept plane serves the one frame read after its pass.
    if (usedKept) kept.Drop();

    // 10. A short read delivers the rows that came; the rest of a partial row is zero.
    if (shortRead) {
        const uint64_t rows = (delivered + width - 1) / width;
        const uint64_t filled = rows * width;
        if (filled > delivered)
            std::memset(destination + delivered * outPixelBytes, 0,
                        (filled - delivered) * outPixelBytes);
        height = rows;
        if (rows < image->height) {
            image->height = static_cast<uint32_t>(rows);
            image->pixelCount = filled;
        }
        w->flags |= kWindowHeightClipped | kWindowFileEnded;
    }
    w->height = static_cast<int32_t>(height);

    // 11. Large staging blocks are not kept.
    if (wholeRows) {
        if (height == cropH && cropH > 0x400000) {
            d->staging.Free();
            d->conversion.Free();
            d->chunkPixels = 0;
        }
    } else if (d->staging.size > kStagingKeepLimit) {
        d->staging.Free();
        d->conversion.Free();
        d->chunkPixels = 0;
    }

    // 12. Floating-point exceptions of the conversion never escape.
    if (std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT)) std::feclearexcept(FE_ALL_EXCEPT);

    // 13. The invalid-values flag.
    const SectionStatistics* record = SourceSectionData(d, w->frame, w->section, nullptr);
    image->state = record ? record->invalidValues : ((d->workType & 0x40) ? 1 : 0);
    if (d->channelParams.hasBlank) image->state = 1;  // blank samples arrive as NaN

    // 14. Done.
    if (height == 0) {
        w->flags |= kWindowEmpty;
        return false;
    }
    image->layout = width == cropW ? 2 : 0;
    image->windowX = w->x;
    image->windowY = w->y;
    return true;
}

bool InputReadKernel1Swapped(DataSet* d, TypedFrameBuffer* image, ReadWindow* w) {
    // The channel kernels of a swapped type reverse every element they read.
    return InputReadKernel1(d, image, w);
}

}  // namespace orva
