#include "io/section_stats.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/cpu_info.h"
#include "common/sample_type.h"
#include "data/integer_info.h"
#include "data/minmax.h"
#include "framework/display_lock.h"
#include "io/data_set.h"
#include "io/frame_access.h"
#include "io/kept_plane.h"
#include "io/read_kernel.h"
#include "common/numeric.h"

namespace orva {

namespace {


uint64_t NonNegative(int64_t v) { return v > 0 ? static_cast<uint64_t>(v) : 0; }

// Bytes of stored data read per run at most; also the byte budget of one sampled band.
constexpr uint64_t kRunBytes = 0x400000;
constexpr uint64_t kWholeLimitBase = 0x800000;

std::atomic<SectionReadObserver> gObserver{nullptr};

// Gives a buffer room for `need` bytes: a block large enough with a surplus below
// kGlobalBufferReuseSlack is kept, any other is replaced.
bool SizeBlock(GlobalBuffer* b, uint64_t need) {
    if (need == 0 || need > kGlobalBufferMaxBytes) return false;
    if (b->block != nullptr && b->size >= need && b->size - need < kGlobalBufferReuseSlack)
        return true;
    return b->Reserve(static_cast<uint32_t>(need));
}

// Values converted and folded at a time: a multiple of the accumulator's own chunk, and
// small enough (64 KiB of doubles) to stay in the level-2 cache with the staged piece.
constexpr uint64_t kFoldValues = 8192;

// The staging block for the statistics pass: any block the window kernel left that is
// large enough is kept as it is (its chunk stays valid), else it is sized as SizeBlock
// sizes.
bool SizeStagingFor(DataSet* d, uint64_t need) {
    if (need == 0 || need > kGlobalBufferMaxBytes) return false;
    if (d->staging.block != nullptr && d->staging.size >= need && d->staging.size <= kRunBytes) return true;
    return SizeBlock(&d->staging, need);
}

// Values per pixel that the channel kernels deliver.
uint32_t ValuesPerPixel(const DataSet* d) {
    if (d->channelMode != kChannelAsIs) return 1;
    return d->workChannels ? d->workChannels : 1;
}

// The first element the channel kernels read: the selected channel when one is chosen.
uint64_t ChannelOffset(const DataSet* d) {
    if (d->channelMode == kChannelSelected && d->selectedChannel > 1)
        return static_cast<uint64_t>(d->selectedChannel - 1) * d->elementBytes;
    return 0;
}

// Large blocks are not kept. The window kernel's chunk stays as it was while the staging
// block still holds it, so that a statistics pass between two frame reads costs those
// reads nothing.
void ReleaseAfterRead(DataSet* d) {
    if (d->staging.size > kRunBytes) {
        d->staging.Free();
        d->conversion.Free();
    } else if (d->sections < 2 && d->TotalFrames() < 2) {
        d->conversion.Free();
    }
    if (d->staging.block == nullptr || d->staging.size < uint64_t{d->chunkPixels} * d->StoredPixelBytes())
        d->chunkPixels = 0;
}

void ClearFloatingStatus() {
    if (std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT)) std::feclearexcept(FE_ALL_EXCEPT);
}

// ---- Preview cache ----------------------------------------------------------------------------

// What makes a cached preview's content: the file and everything of the description that
// places or shapes the stored elements. A data set that was re-described no longer
// matches its old preview.
struct PreviewKey {
    const DataSet* owner = nullptr;
    const StreamRecord* stream = nullptr;
    dev_t device = 0;
    ino_t inode = 0;
    int64_t length = 0;
    const void* table = nullptr;
    int64_t dataBegin = 0;
    int64_t size[3] = {0, 0, 0};
    int64_t crop[6] = {0, 0, 0, 0, 0, 0};
    uint32_t type = 0, bits = 0, channels = 0, sections = 0, pixelBytes = 0;
    uint32_t frame = 0, section = 0;
    bool operator==(const PreviewKey&) const = default;
};

struct PreviewCache {
    PreviewKey key;
    uint32_t width = 0, height = 0;
    double zoom = 1.0;
    std::vector<uint8_t> block;   // stored elements, in the file's byte order
    uint64_t used = 0;            // for replacing the oldest entry
};

// A few data sets keep their last preview; the oldest gives way.
constexpr size_t kPreviewCacheEntries = 8;
std::mutex gCacheLock;
std::vector<PreviewCache> gCaches;
uint64_t gCacheClock = 0;

PreviewKey MakeKey(const DataSet* d, uint32_t frame, uint32_t section) {
    PreviewKey k;
    k.owner = d;
    k.stream = d->stream;
    if (d->stream) {
        k.device = d->stream->device;
        k.inode = d->stream->inode;
        k.length = d->stream->length;
    }
    k.table = d->frameTable.get();
    k.dataBegin = d->dataBegin;
    k.size[0] = d->sizeX, k.size[1] = d->sizeY, k.size[2] = d->sizeZ;
    k.crop[0] = d->cropX, k.crop[1] = d->cropY, k.crop[2] = d->cropZ;
    k.crop[3] = d->cropSizeX, k.crop[4] = d->cropSizeY, k.crop[5] = d->cropSizeZ;
    k.type = d->input.type, k.bits = d->input.bits, k.channels = d->input.channels;
    k.sections = d->sections;
    k.pixelBytes = d->pixelBytes;
    k.frame = frame;
    k.section = section;
    return k;
}

PreviewCache* FindCache(const DataSet* d) {
    for (PreviewCache& c : gCaches)
        if (c.key.owner == d) return &c;
    return nullptr;
}

PreviewCache* CacheFor(const DataSet* d) {
    PreviewCache* c = FindCache(d);
    if (c != nullptr) return c;
    if (gCaches.size() >= kPreviewCacheEntries) {
        auto oldest = std::min_element(gCaches.begin(), gCaches.end(),
                                       [](const PreviewCache& a, const PreviewCache& b) {
                                           return a.used < b.used;
                                       });
        gCaches.erase(oldest);
    }
    gCaches.emplace_back();
    gCaches.back().key.owner = d;
    return &gCaches.back();
}

void ClearCache(PreviewCache* c) {
    const DataSet* owner = c->key.owner;
    c->key = PreviewKey{};
    c->key.owner = owner;
    c->width = c->height = 0;
    c->zoom = 1.0;
    c->block.clear();
    c->block.shrink_to_fit();
}

// The empty description of a failed preview.
bool FailPreview(SectionPreview* p, uint32_t storedType) {
    p->width = p->height = 0;
    p->zoom = 1.0;
    p->valuesPerPixel = 1;
    p->type = (storedType & 0xC00000u) | 0x101u;
    p->scale = ScalePair{};
    p->ready = 0;
    p->minimum = p->maximum = p->deviation = p->mean = p->total = 0.0;
    p->count = 0;
    return false;
}

// ---- The kernels ------------------------------------------------------------------------------

// The checks both kernels make before they take the lock.
bool SectionRequestValid(const DataSet* d, uint32_t frame, uint32_t section) {
    if (d == nullptr || frame >= d->TotalFrames()) return false;
    if (section >= SectionsInFileFrame(d, frame)) return false;
    if (d->geometrySize[0] <= 0 || d->geometrySize[1] <= 0) return false;
    return d->stream != nullptr && d->stream->fd >= 0 && d->plainKernel != nullptr &&
           d->StoredPixelBytes() != 0;
}

// The crop width and height within the stored section.
void CropExtent(const DataSet* d, uint64_t W, uint64_t H, uint64_t* C, uint64_t* R) {
    const uint64_t cx = NonNegative(d->cropX), cy = NonNegative(d->cropY);
    *C = std::min(NonNegative(d->cropSizeX), W > cx ? W - cx : 0);
    *R = std::min(NonNegative(d->cropSizeY), H > cy ? H - cy : 0);
}

// The crop of a W x H section in pixels of Q bytes, the larger of the stored and the
// converted pixels: its bytes T (UINT64_MAX when they do not fit) against the whole-plane
// limit, which is looked up only for a plane above the base limit. False for an empty crop.
bool PlaneCost(const DataSet* d, uint64_t W, uint64_t H, uint64_t Q, WholePlaneCost* c) {
    CropExtent(d, W, H, &c->width, &c->height);
    if (c->width == 0 || c->height == 0) return false;
    uint64_t T = 0;
    const bool huge = !MulFits(Q, c->width, &T) || !MulFits(T, c->height, &T);
    c->bytes = huge ? UINT64_MAX : T;
    c->limit =
        huge || T > kWholeLimitBase ? WholePlaneLimit(MeasureCpuSpeedClass()) : kWholeLimitBase;
    c->over = huge || T > c->limit;
    return true;
}

bool SectionStatisticsRun(DataSet* d, uint32_t frame, uint32_t section, SectionStatistics* record,
                      int whole) {
    if (record == nullptr || !SectionRequestValid(d, frame, section)) return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    uint64_t origin = 0, W = 0, H = 0;
    if (!SectionOrigin(d, frame, section, &origin, &W, &H)) return false;

    const uint64_t B = d->StoredPixelBytes();
    const uint32_t V = ValuesPerPixel(d);
    const uint64_t P8 = 8ull * V;
    const uint64_t Q = std::max(B, P8);
    WholePlaneCost cost;
    if (!PlaneCost(d, W, H, Q, &cost)) return false;
    const uint64_t C = cost.width, R = cost.height, T = cost.bytes;
    if (whole && cost.over) return false;
    const SectionSample s = ChooseSectionSample(C, R, Q, whole != 0 || T <= kRunBytes);
    if (origin >= NonNegative(d->ReadableLength())) return false;

    // The bands as (first row, rows).
    uint64_t bands[3][2] = {{0, s.bandHeight}, {0, 0}, {0, 0}};
    if (s.lastBand > 0) {
        bands[1][0] = s.bandHeight + s.gap;
        bands[1][1] = s.bandHeight;
        bands[2][0] = bands[1][0] + s.bandHeight + s.gap;
        bands[2][1] = std::min(s.lastBand, R > bands[2][0] ? R - bands[2][0] : 0);
    }
    uint64_t sampleValues = 0;
    for (auto& b : bands) sampleValues += b[1] * s.columns * V;

    // Runs: a whole band when the sample spans the stored row, else one row each; each run
    // is read in pieces the size of the window kernel's chunks, and each piece converted
    // and folded a few thousand values at a time, so that the values stay in the caches
    // between the three steps. (Converting a whole plane at once and folding it afterwards
    // sent eight bytes per value out to memory and back: the pass took longer than a
    // read of the frame.)
    const bool contiguous = s.columns == W;
    const uint64_t maxRun = contiguous ? s.bandHeight * W : s.columns;
    const uint64_t chunk = std::max<uint64_t>(1, std::min(maxRun, std::max<uint64_t>(1, kReadChunkBytes / B)));
    const uint64_t foldPixels = std::max<uint64_t>(1, kFoldValues / V);
    const uint64_t fold = std::min(chunk, foldPixels);
    if (!SizeStagingFor(d, chunk * B) || !SizeBlock(&d->conversion, fold * P8)) {
        d->staging.Free();
        d->conversion.Free();
        d->chunkPixels = 0;
        return false;
    }
    record->whole = (s.rows == R && s.columns == C) ? 1 : 0;

    // A whole pass reads the stored plane into a block the data set keeps, so that the
    // frame read that usually follows (a view whose range follows the frame) converts it
    // from memory instead of reading the file a second time. Pieces are folded as they
    // arrive, as in the staging block.
    const uint64_t rowBytes = W * B;  // W x H x B fitted in SectionOrigin
    KeptPlane& kept = d->keptPlane;
    const bool keeping = record->whole &&
                         (contiguous ? kept.Begin(KeptPlaneKeyOf(d), origin, R * rowBytes, 0, 1)
                                     : kept.Begin(KeptPlaneKeyOf(d), origin, C * B, rowBytes, R));

    DataInfo info;
    DataInfoStart(&info, sampleValues);
    const uint64_t channelOffset = ChannelOffset(d);
    double* converted = static_cast<double*>(d->conversion.block);
    // 8- and 16-bit integer samples that reach the statistics one to a pixel, as they are
    // stored, are folded as integers straight from the staged piece.
    const ChannelParams& cp = d->channelParams;
    const bool integers = V == 1 && !cp.hasBlank && IntegerInfoTakes(cp.elementType) &&
                          ElementSize(cp.elementType) == cp.elementSize &&
                          ((cp.channelCount <= 1 && cp.mode == kChannelAsIs) || cp.mode == kChannelSelected);
    IntegerInfo exact;
    bool ended = false;
    // `into`: where the run's bytes are kept, or null to read through the staging block.
    auto readRun = [&](uint64_t offset, uint64_t pixels, uint8_t* into) {
        while (pixels > 0 && !ended) {
            const uint64_t n = std::min(pixels, chunk);
            uint8_t* buffer = into != nullptr ? into : static_cast<uint8_t*>(d->staging.block);
            const int64_t got = SectionRead(d, offset, buffer, n * B);
            const uint8_t* source = buffer + channelOffset;
            const uint64_t pix = got > 0 ? static_cast<uint64_t>(got) / B : 0;
            if (integers && pix > 0) IntegerInfoFold(source, pix, B, cp.elementType, &exact);
            for (uint64_t done = 0; done < pix && !integers;) {
                const uint64_t m = std::min(pix - done, fold);
                d->plainKernel(source + done * B, converted, static_cast<uint32_t>(m * V), &d->channelParams);
                InfoKernelReal64(converted, static_cast<int32_t>(m * V), &info);
                done += m;
            }
            if (got < 0 || static_cast<uint64_t>(got) < n * B) ended = true;
            offset += n * B;
            pixels -= n;
            if (into != nullptr) into += n * B;
        }
    };
    for (const auto& band : bands) {
        if (band[1] == 0 || ended) continue;
        const uint64_t at = origin + band[0] * rowBytes;
        if (contiguous)
            readRun(at, band[1] * W, keeping ? kept.Row(0) : nullptr);
        else
            for (uint64_t r = 0; r < band[1] && !ended; ++r)
                readRun(at + r * rowBytes, s.columns, keeping ? kept.Row(band[0] + r) : nullptr);
    }
    if (ended) record->whole = 0;
    // Only a plane read to its end serves a frame read.
    if (keeping && !ended)
        kept.Commit();
    else if (keeping)
        kept.Drop();
    if (integers) IntegerInfoFinish(exact, &info);
    ReleaseAfterRead(d);

    ClearFloatingStatus();
    if (!ChooseSampleType(&info, true)) {
        record->whole = 0;
        return false;
    }
    record->minimum = info.minimum;
    record->maximum = info.maximum;
    record->deviation = info.sumSquares;
    record->mean = info.sum;
    record->total = info.total;
    record->count = static_cast<uint64_t>(info.count);
    record->sampleType = info.sampleType.type;
    record->sampleBits = info.sampleType.bits;
    record->valid = 1;
    const double lo = d->scale * info.minimum + d->zero, hi = d->scale * info.maximum + d->zero;
    record->rangeOverflow = (std::fabs(lo) > DBL_MAX || std::fabs(hi) > DBL_MAX || std::isnan(lo) ||
                             std::isnan(hi))
                                ? 1
                                : 0;
    uint8_t channel = (!std::isfinite(info.minimum) || !std::isfinite(info.maximum)) ? 1 : 0;
    if ((d->workType & 0x7F) == 0x40 && d->channelMode == kChannelSumming && d->workChannels > 1) {
        const double limit = DBL_MAX / d->channelParams.sumMultiplier;
        if (std::fabs(info.minimum) > limit || std::fabs(info.maximum) > limit) channel = 1;
    }
    record->channelOverflow = channel;
    ClearFloatingStatus();
    return true;
}

bool SectionPreviewRun(DataSet* d, uint32_t frame, uint32_t section, void* destination,
                   SectionStatistics* record) {
    SectionPreview* p = static_cast<SectionPreview*>(destination);
    const uint32_t storedType = d ? d->input.type : 0;
    if (p == nullptr) return false;
    if (!SectionRequestValid(d, frame, section)) return FailPreview(p, storedType);

    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    std::lock_guard<std::mutex> cacheHold(gCacheLock);
    const PreviewKey key = MakeKey(d, frame, section);
    PreviewCache* cache = CacheFor(d);
    cache->used = ++gCacheClock;
    const uint64_t B = d->StoredPixelBytes();
    const uint32_t V = ValuesPerPixel(d);

    if (!(cache->key == key && !cache->block.empty())) {
        ClearCache(cache);
        uint64_t origin = 0, W = 0, H = 0, C = 0, R = 0;
        if (!SectionOrigin(d, frame, section, &origin, &W, &H)) return FailPreview(p, storedType);
        CropExtent(d, W, H, &C, &R);
        if (C == 0 || R == 0 || origin >= NonNegative(d->ReadableLength()))
            return FailPreview(p, storedType);
        uint32_t pw = 0, ph = 0;
        uint64_t step = 1;
        PreviewSize(C, R, &pw, &ph, &step);
        const uint64_t rowBytes = W * B;
        uint64_t need = 0;
        if (!MulFits(uint64_t{pw} * ph, B, &need) || need > kGlobalBufferMaxBytes)
            return FailPreview(p, storedType);
        cache->block.assign(need, 0);
        uint8_t* out = cache->block.data();
        uint32_t rowsRead = 0;
        if (step == 1) {
            for (; rowsRead < ph; ++rowsRead) {
                const uint64_t bytes = C * B;
                if (SectionRead(d, origin + rowsRead * rowBytes, out + rowsRead * bytes, bytes) !=
                    static_cast<int64_t>(bytes))
                    break;
            }
        } else {
            // One stored row at a time, only as far as the last pixel the preview takes.
            const uint64_t lastX = (uint64_t{pw - 1} * step) >> 16;
            const uint64_t span = (lastX + 1) * B;
            if (!SizeBlock(&d->staging, span)) {
                d->staging.Free();
                d->conversion.Free();
                d->chunkPixels = 0;
                ClearCache(cache);
                return FailPreview(p, storedType);
            }
            d->chunkPixels = 0;
            const uint8_t* row = static_cast<const uint8_t*>(d->staging.block);
            for (; rowsRead < ph; ++rowsRead) {
                const uint64_t y = (uint64_t{rowsRead} * step) >> 16;
                if (SectionRead(d, origin + y * rowBytes, d->staging.block, span) !=
                    static_cast<int64_t>(span))
                    break;
                uint8_t* o = out + uint64_t{rowsRead} * pw * B;
                for (uint64_t j = 0; j < pw; ++j)
                    std::memcpy(o + j * B, row + ((j * step) >> 16) * B, B);
            }
        }
        ReleaseAfterRead(d);
        if (rowsRead < ph) {
            ClearCache(cache);
            return FailPreview(p, storedType);
        }
        cache->key = key;
        cache->width = pw;
        cache->height = ph;
        cache->zoom = step == 1 ? 1.0 : static_cast<double>(step) / 65536.0;
    }

    // Convert the cached elements into the record, in stored units. The cache keeps the
    // file's byte order: the kernels of a swapped type reverse each element themselves.
    const uint64_t pixels = uint64_t{cache->width} * cache->height;
    const uint64_t bytes = pixels * 8 * V;
    if (!SizeBlock(&p->data, bytes)) {
        p->data.Free();
        ClearCache(cache);
        return FailPreview(p, storedType);
    }
    const uint8_t* source = cache->block.data() + ChannelOffset(d);
    double* values = static_cast<double*>(p->data.block);
    for (uint64_t done = 0; done < pixels;) {  // kernel counts are 32-bit
        const uint64_t n = std::min<uint64_t>(pixels - done, 0x10000000u / V);
        d->plainKernel(source + done * B, values + done * V, static_cast<uint32_t>(n * V),
                       &d->channelParams);
        done += n;
    }
    ClearFloatingStatus();
    p->width = cache->width;
    p->height = cache->height;
    p->zoom = cache->zoom;
    p->valuesPerPixel = V;
    p->type = 0x40u | (storedType & 0xC00000u);
    double s = d->scale < 0.0 ? -1.0 : 1.0;
    if (record != nullptr && record->whole) s *= d->channelParams.sumFactor;
    ScalePairSetScale(&p->scale, s);
    p->scale.zero = 0.0;
    p->ready = 1;
    if (record != nullptr) {
        p->minimum = record->minimum;
        p->maximum = record->maximum;
        p->deviation = record->deviation;
        p->mean = record->mean;
        p->total = record->total;
        p->count = record->count;
    } else {
        p->minimum = p->maximum = p->deviation = p->mean = p->total = 0.0;
        p->count = 0;
    }
    return true;
}

}  // namespace

// ---- Public -----------------------------------------------------------------------------------

void ScalePairSetScale(ScalePair* pair, double scale) {
    if (pair == nullptr) return;
    if (!(std::fabs(scale) > DBL_MIN)) {
        pair->scale = 0.0;
        pair->inverse = scale > 0.0 ? DBL_MAX : -DBL_MAX;
    } else if (std::fabs(scale - 1.0) <= DBL_EPSILON) {
        pair->scale = 1.0;
        pair->inverse = 1.0;
    } else {
        pair->scale = scale;
        pair->inverse = 1.0 / scale;
    }
}

void ScalePairSetZero(ScalePair* pair, double zero) {
    if (pair == nullptr) return;
    pair->zero = (zero > -1e-307 && zero < 1e-307) ? 0.0 : zero;
}

void ScalePairSet(ScalePair* pair, double scale, double zero) {
    ScalePairSetScale(pair, scale);
    ScalePairSetZero(pair, zero);
}

bool WholePlaneCostOf(DataSet* d, uint32_t fileFrame, uint32_t section, WholePlaneCost* cost) {
    if (cost == nullptr || !SectionRequestValid(d, fileFrame, section)) return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    uint64_t origin = 0, W = 0, H = 0;
    if (!SectionOrigin(d, fileFrame, section, &origin, &W, &H)) return false;
    return PlaneCost(d, W, H, std::max<uint64_t>(d->StoredPixelBytes(), 8ull * ValuesPerPixel(d)),
                     cost);
}

uint64_t WholePlaneLimit(int speedClass) {
    switch (speedClass) {
        case 0: return 0x800000;
        case 1: return 18000000;
        case 2: return 38000000;
        default: return speedClass < 0 ? 0x800000 : 48000000;
    }
}

SectionSample ChooseSectionSample(uint64_t C, uint64_t R, uint64_t Q, bool whole) {
    SectionSample s;
    if (Q == 0) Q = 1;
    if (whole) {
        s.rows = R;
        s.columns = C;
    } else {
        const uint64_t r0 = R < 150 ? R : (R > 768 ? 512 : R / 2);
        const uint64_t c0 = C < 150 ? C : (C > 768 ? 512 : C / 2);
        uint64_t rowBytes = 0;
        const bool rowFits = MulFits(Q, C, &rowBytes);
        if (rowFits && rowBytes != 0 && kRunBytes / rowBytes >= r0) {
            s.rows = r0;
            s.columns = C;
        } else if (r0 != 0 && kRunBytes / (r0 * Q) > c0) {
            s.rows = r0;
            s.columns = c0;
        } else {
            const uint64_t n = kRunBytes / Q;
            if (n >= 8) {
                s.rows = std::min<uint64_t>(static_cast<uint64_t>(std::sqrt(static_cast<double>(n))), r0);
                if (s.rows == 0) s.rows = 1;
                s.columns = std::min(n / s.rows, c0);
            } else {
                s.rows = 1;
                s.columns = n ? n : 1;
            }
        }
        s.rows = std::min(std::max<uint64_t>(s.rows, 1), R);
        s.columns = std::min(std::max<uint64_t>(s.columns, 1), C);
    }
    const uint64_t r = s.rows;
    s.bandHeight = r;
    if (R >= r + 4) {
        const uint64_t b = r <= 5 ? 1 : r / 3;
        if (b < r) {
            s.bandHeight = b;
            s.gap = (R - r) / 2;
            s.lastBand = r > 3 * b ? r - 2 * b : b;
        }
    }
    return s;
}

void PreviewSize(uint64_t C, uint64_t R, uint32_t* width, uint32_t* height, uint64_t* step) {
    uint64_t s = 1;
    if (C > 256 || R > 256) s = std::max(C, R) * 256;
    if (s == 1) {
        *width = static_cast<uint32_t>(C);
        *height = static_cast<uint32_t>(R);
    } else {
        // floor(dimension x 65536 / s) = floor(dimension x 256 / max), without overflow.
        const uint64_t m = std::max(C, R);
        const auto side = [&](uint64_t v) -> uint32_t {
            if (v == m) return 256;
            const uint64_t q = static_cast<uint64_t>(
                (static_cast<unsigned __int128>(v) * 256) / m);
            return static_cast<uint32_t>(q < 1 ? 1 : q);
        };
        *width = side(C);
        *height = side(R);
    }
    *step = s;
}

void SectionPreviewForget(const DataSet* d) {
    std::lock_guard<std::mutex> hold(gCacheLock);
    for (auto it = gCaches.begin(); it != gCaches.end(); ++it)
        if (it->key.owner == d) {
            gCaches.erase(it);
            return;
        }
}

void SetSectionReadObserver(SectionReadObserver observer) { gObserver.store(observer); }

int64_t SectionRead(DataSet* d, uint64_t offset, void* buffer, uint64_t bytes) {
    if (d == nullptr || d->stream == nullptr || buffer == nullptr) return -1;
    const uint64_t length = NonNegative(d->ReadableLength());
    if (offset >= length || offset > static_cast<uint64_t>(INT64_MAX)) return 0;
    const uint64_t ask = std::min(bytes, length - offset);
    if (SectionReadObserver o = gObserver.load()) o(static_cast<int64_t>(offset), ask);
    return d->ReadStored(offset, buffer, ask);
}

uint32_t SectionsInFileFrame(const DataSet* d, uint32_t frame) {
    if (d == nullptr) return 0;
    if (!d->frameTable) return d->sections;
    return FrameTableSectionCount(d->frameTable.get(), frame);
}

bool SectionOrigin(DataSet* d, uint32_t frame, uint32_t section, uint64_t* offset,
                   uint64_t* rowLength, uint64_t* rows) {
    if (d == nullptr) return false;
    const uint64_t B = d->StoredPixelBytes();
    const uint64_t cx = NonNegative(d->cropX), cy = NonNegative(d->cropY),
                   cz = NonNegative(d->cropZ);
    uint64_t W = 0, H = 0, D = 0, base = 0;
    if (!d->frameTable) {
        if (section >= d->sections || d->dataBegin < 0) return false;
        W = NonNegative(d->sizeX), H = NonNegative(d->sizeY), D = NonNegative(d->sizeZ);
        uint64_t sectionBytes = 0, index = 0, at = 0;
        if (!MulFits(W, H, &sectionBytes) || !MulFits(sectionBytes, D, &sectionBytes) ||
            !MulFits(sectionBytes, B, &sectionBytes) || !MulFits(frame, d->sections, &index) ||
            !AddFits(index, section, &index) || !MulFits(index, sectionBytes, &at) ||
            !AddFits(static_cast<uint64_t>(d->dataBegin), at, &base))
            return false;
    } else {
        SectionEntry* e = FrameTableSectionRecord(d->frameTable.get(), frame, section);
        if (e == nullptr) return false;
        W = e->geometry.rowLength, H = e->geometry.rows, D = e->geometry.planes;
        base = e->geometry.dataPosition;
        if (D == 0) D = 1;
    }
    if (W == 0 || H == 0 || cz >= std::max<uint64_t>(D, 1)) return false;
    // Every row of the plane must have an offset that fits, so that the kernels may add
    // row strides to the origin freely.
    uint64_t plane = 0, planeBytes = 0, elements = 0, rowsIn = 0, bytes = 0, rowBytes = 0, last = 0;
    if (!MulFits(W, H, &plane) || !MulFits(plane, B, &planeBytes) || !MulFits(W, B, &rowBytes) ||
        !MulFits(cz, plane, &elements) || !MulFits(cy, W, &rowsIn) || !AddFits(elements, rowsIn, &elements) ||
        !AddFits(elements, cx, &elements) || !MulFits(elements, B, &bytes) || !AddFits(base, bytes, offset) ||
        !AddFits(*offset, planeBytes, &last))
        return false;
    *rowLength = W;
    *rows = H;
    return true;
}

bool InputReadKernel2(DataSet* d, uint32_t frame, uint32_t section, SectionStatistics* record,
                      int whole, int) {
    return SectionStatisticsRun(d, frame, section, record, whole);
}
// The channel kernels of a swapped type reverse every element they read, so the swapping
// twin reads exactly as the plain one.
bool InputReadKernel2Swapped(DataSet* d, uint32_t frame, uint32_t section,
                             SectionStatistics* record, int whole, int) {
    return SectionStatisticsRun(d, frame, section, record, whole);
}
bool InputReadKernel3(DataSet* d, uint32_t frame, uint32_t section, void* destination,
                      SectionStatistics* record) {
    return SectionPreviewRun(d, frame, section, destination, record);
}
bool InputReadKernel3Swapped(DataSet* d, uint32_t frame, uint32_t section, void* destination,
                             SectionStatistics* record) {
    return SectionPreviewRun(d, frame, section, destination, record);
}

}  // namespace orva
