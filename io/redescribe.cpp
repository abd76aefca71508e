#include "io/redescribe.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <mutex>

#include "common/sample_type.h"
#include "framework/display_lock.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/section_stats.h"
#include "common/numeric.h"

namespace orva {

PropertyValue PropertyValue::Boolean(bool v) {
    PropertyValue p;
    p.kind = kPropertyBool;
    p.boolean = v ? 1 : 0;
    return p;
}
PropertyValue PropertyValue::Int32(int32_t v) {
    PropertyValue p;
    p.kind = kPropertyInt32;
    p.i32 = v;
    return p;
}
PropertyValue PropertyValue::UInt32(uint32_t v) {
    PropertyValue p;
    p.kind = kPropertyUInt32;
    p.u32 = v;
    return p;
}
PropertyValue PropertyValue::Int64(int64_t v) {
    PropertyValue p;
    p.kind = kPropertyInt64;
    p.i64 = v;
    return p;
}
PropertyValue PropertyValue::Double(double v) {
    PropertyValue p;
    p.kind = kPropertyDouble;
    p.f64 = v;
    return p;
}

namespace {

constexpr uint64_t kGivenX = kFlagSizeX, kGivenY = kFlagSizeY, kGivenZ = kFlagSizeZ;
constexpr uint64_t kWidthLimit = 0x20000000;


// Bytes of one stored element: what the kernels read per element.
uint64_t ElementBytesOf(const SampleFormat& f) {
    const uint64_t e = FormatElementSize(NormalizeFormatWord(f.type));
    if (e != 0) return e;
    return (static_cast<uint64_t>(f.bits) + 7) / 8;
}

uint64_t PixelBytesOf(const SampleFormat& f) {
    const uint64_t channels = std::clamp<uint64_t>(f.channels, 1, kMaxChannels);
    return ElementBytesOf(f) * channels;
}

// width = height = floor(sqrt(count / depth)); a depth that leaves nothing becomes 1.
void SquareRule(uint64_t count, uint64_t* w, uint64_t* h, uint64_t* d) {
    if (*d < 1) *d = 1;
    uint64_t side = static_cast<uint64_t>(std::sqrt(static_cast<double>(count / *d)));
    while (side > 0 && side * side > count / *d) --side;  // the root of a double may round up
    if (side == 0 && *d >= 2) {
        *d = 1;
        side = static_cast<uint64_t>(std::sqrt(static_cast<double>(count)));
        while (side > 0 && side * side > count) --side;
    }
    *w = side;
    *h = side < 1 ? 1 : side;
}

// One size known: the other is count / (known x depth).
void OneKnownRule(uint64_t count, uint64_t* known, uint64_t* other, uint64_t* d) {
    if (*known < 1) *known = 1;
    if (*d < 1) *d = 1;
    uint64_t k = 0;
    *other = MulFits(*known, *d, &k) ? count / k : 0;
    if (*other == 0 && *d >= 2) {
        *d = 1;
        *other = count / *known;
    }
    if (*other == 0) {
        *known = count;
        *other = 1;
    }
}

// W x H x (D when 2 or more); UINT64_MAX when it overflows.
uint64_t Volume(uint64_t w, uint64_t h, uint64_t d) {
    uint64_t v = 0;
    if (!MulFits(w, h, &v) || (d >= 2 && !MulFits(v, d, &v))) return UINT64_MAX;
    return v;
}

// Previous scale and zero as they are kept beside the new ones.
double PreviousScale(double s) {
    if (!(std::fabs(s) > DBL_MIN)) return 0.0;
    if (std::fabs(s - 1.0) <= DBL_EPSILON) return 1.0;
    return s;
}
double PreviousZero(double z) { return std::fabs(z) < 1e-307 ? 0.0 : z; }

// A working copy of the data set's base description; false when it has no frames.
bool CopyOf(const DataSet* d, DataSetInfo* copy) { return DataSetInfoCopy(copy, d); }

int64_t FileLength(const DataSet* d) { return d->stream ? d->stream->length : 0; }

// Writes the copy into the data set under the display lock and prepares the kernels.
// Whether the crop box holds the whole frame.
bool WholeCrop(const DataSetInfo& d) {
    const int64_t at[3] = {d.cropX, d.cropY, d.cropZ},
                  length[3] = {d.cropSizeX, d.cropSizeY, d.cropSizeZ};
    const int64_t size[3] = {d.sizeX, d.sizeY, d.sizeZ};
    for (int i = 0; i < 3; ++i)
        if (at[i] > 0 || (length[i] > 0 && length[i] < std::max<int64_t>(size[i], 1))) return false;
    return true;
}

bool Commit(DataSet* d, const DataSetInfo& copy) {
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (!DataSetInfoCopy(d, &copy)) return false;
        d->FormatChanged();
    }
    if (d->notify) d->notify->PropertiesChanged();
    return true;
}

// Runs a change of the data set itself under the lock, then tells the source.
template <typename F>
bool Change(DataSet* d, F&& f) {
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        f();
    }
    if (d->notify) d->notify->PropertiesChanged();
    return true;
}

bool One(const PropertyValue* v, uint32_t count, uint32_t kind) {
    return v != nullptr && count >= 1 && v[0].kind == kind;
}

// ---- What both kinds of read state accept ----------------------------------------------

bool SetScaleZero(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) {
    double s = d->scale, z = d->zero;
    if (id == kPropScale || id == kPropScaleZero) {
        if (!One(v, count, kPropertyDouble)) return false;
        s = v[0].f64;
        if (!std::isfinite(s) || !(std::fabs(s) > DBL_MIN)) return false;
    }
    if (id == kPropZero) {
        if (!One(v, count, kPropertyDouble)) return false;
        z = v[0].f64;
    }
    if (id == kPropScaleZero) {
        if (count < 2 || v[1].kind != kPropertyDouble) return false;
        z = v[1].f64;
    }
    if (!std::isfinite(z)) return false;
    ScalePair pair;
    ScalePairSet(&pair, s, z);
    if (pair.scale == d->scale && pair.zero == d->zero) return true;
    const bool scaleChanged = pair.scale != d->scale;
    return Change(d, [&] {
        d->axisScale[1] = PreviousScale(d->scale);
        d->axisZero[1] = PreviousZero(d->zero);
        d->scale = pair.scale;
        d->inverseScale = pair.inverse;
        d->zero = pair.zero;
        d->SelectChannelKernel(scaleChanged);
        // The kept totals are in physical units of the former scale and zero; the
        // sections' raw records stay good.
        d->cacheValid = d->cacheHasData = 0;
    });
}

bool SetCrop(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) {
    if (!One(v, count, kPropertyInt64)) return false;
    const int axis = static_cast<int>((id - kPropCropX) / 2);
    const bool isSize = ((id - kPropCropX) % 2) == 1;
    if (isSize ? v[0].i64 <= 0 : v[0].i64 < 0) return false;
    InputRegion region;
    const int64_t pos[3] = {d->cropX, d->cropY, d->cropZ};
    const int64_t len[3] = {d->cropSizeX, d->cropSizeY, d->cropSizeZ};
    for (int i = 0; i < 3; ++i) {
        region.position[i] = pos[i];
        region.size[i] = len[i];
    }
    if (isSize)
        region.size[axis] = v[0].i64;
    else
        region.position[axis] = v[0].i64;
    SetInputRegion(d, &region);  // false only when nothing changed
    return true;
}

bool SetFramesToUse(DataSet* d, const PropertyValue* v, uint32_t count) {
    if (!One(v, count, kPropertyUInt32) || v[0].u32 == 0 || v[0].u32 > d->TotalFrames())
        return false;
    if (v[0].u32 == d->framesToUse) return true;
    return Change(d, [&] {
        d->SetFramesToUse(v[0].u32);
        d->FormatChanged();
    });
}

bool SetFrameStep(DataSet* d, const PropertyValue* v, uint32_t count) {
    if (!One(v, count, kPropertyInt32) || v[0].i32 == 0) return false;
    if (v[0].i32 == d->frameStep) return true;
    return Change(d, [&] {
        d->frameStep = v[0].i32;
        d->FormatChanged();
    });
}

// The attached service description applied again.
// With a frame table the sample type and sizes stay the table's.
bool ApplyService(DataSet* d, bool fit) {
    if (d->service == nullptr) return false;
    const ServiceDescription& s = *d->service;
    DataSetInfo copy;
    if (!CopyOf(d, &copy)) return false;
    if (s.flags & kFlagChannels) copy.input.channels = std::clamp<uint32_t>(s.channels, 1, kMaxChannels);
    if ((s.flags & kFlagChannelOut) && s.nchannelOut > 0) copy.selectedChannel = s.nchannelOut;
    copy.channelMode = s.convSpec;
    if (fit && (s.flags & kFlagSampleSize)) {
        copy.input.type = s.type;
        copy.input.bits = s.bits;
    }
    NormaliseReadRequest(&copy.input);
    if (copy.selectedChannel > copy.input.channels) copy.selectedChannel = copy.input.channels;
    if (fit && (s.flags & kFlagSizeX) && s.sizeX > 0) copy.sizeX = s.sizeX;
    if (fit && (s.flags & kFlagSizeY) && s.sizeY > 0) copy.sizeY = s.sizeY;
    if (fit && (s.flags & kFlagSizeZ) && s.sizeZ > 0) copy.sizeZ = s.sizeZ;
    copy.InputFormatChanged();
    // The sizes were asked for: keep them when they fit the file.
    if (fit) {
        FitHints hints;
        hints.remembered[0] = copy.sizeX, hints.remembered[1] = copy.sizeY,
        hints.remembered[2] = copy.sizeZ;
        if (!FitDescriptionToFile(&copy, FileLength(d), hints)) return false;
    }
    ApplyCropBox(&copy, &s);
    return Commit(d, copy);
}

}  // namespace

// ---- Fitting ---------------------------------------------------------------------------------

uint32_t SectionByteRange(const DataSetInfo& info, int64_t position, uint32_t sections,
                          int64_t bytes) {
    if (position < 0 || bytes <= position) return 0;
    const uint64_t d = info.sizeZ >= 2 ? static_cast<uint64_t>(info.sizeZ) : 1;
    uint64_t frameBytes = 0;
    if (info.sizeX <= 0 || info.sizeY <= 0 ||
        !MulFits(static_cast<uint64_t>(info.sizeX), static_cast<uint64_t>(info.sizeY), &frameBytes) ||
        !MulFits(frameBytes, d, &frameBytes) || !MulFits(frameBytes, sections ? sections : 1, &frameBytes) ||
        !MulFits(frameBytes, PixelBytesOf(info.input), &frameBytes) || frameBytes == 0)
        return 0;
    const uint64_t n = static_cast<uint64_t>(bytes - position) / frameBytes;
    return static_cast<uint32_t>(std::min<uint64_t>(n, 0x7FFFFFFF));
}

void FitFramesToFile(DataSetInfo* info, bool keep, int64_t bytes) {
    if (info == nullptr) return;
    if (info->sections < 1) info->sections = 1;
    if (bytes <= 0) return;
    uint32_t n = SectionByteRange(*info, info->dataBegin, info->sections, bytes);
    if (n == 0) {
        n = SectionByteRange(*info, info->dataBegin, 1, bytes);
        if (n != 0) info->sections = 1;
    }
    const bool real = info->totalFrames > 0;
    info->SetTotalFrames(n, !(keep && real));
}

bool FitDescriptionToFile(DataSetInfo* info, int64_t fileLength, const FitHints& hints) {
    if (info == nullptr || fileLength <= 0) return false;
    const uint64_t E = ElementBytesOf(info->input);
    const uint64_t bpp = PixelBytesOf(info->input);
    if (E == 0 || bpp == 0) return false;
    const int64_t begin = std::max<int64_t>(info->dataBegin, 0);
    if (begin >= fileLength) return false;
    int64_t end = info->dataEnd;
    if (end <= begin || end > fileLength) end = fileLength;
    const uint64_t count = static_cast<uint64_t>(end - begin) / bpp;
    if (count == 0) return false;

    uint32_t sections = info->sections < 1 ? 1 : info->sections;
    uint64_t perSection = count / sections;
    if (perSection == 0) {
        sections = 1;
        perSection = count;
    }

    // Sizes: remembered ones first, else the description's (for a new sample type only
    // when width and height were both given).
    uint64_t w = info->sizeX > 0 ? static_cast<uint64_t>(info->sizeX) : 0;
    uint64_t h = info->sizeY > 0 ? static_cast<uint64_t>(info->sizeY) : 0;
    uint64_t d = info->sizeZ > 0 ? static_cast<uint64_t>(info->sizeZ) : 1;
    const bool anyRemembered = hints.remembered[0] || hints.remembered[1] || hints.remembered[2];
    if (hints.typeChanged && !anyRemembered &&
        (info->flags & (kGivenX | kGivenY)) != (kGivenX | kGivenY))
        w = h = 0;
    if (hints.remembered[0] > 0) w = static_cast<uint64_t>(hints.remembered[0]);
    if (hints.remembered[1] > 0) h = static_cast<uint64_t>(hints.remembered[1]);
    if (hints.remembered[2] > 0) d = static_cast<uint64_t>(hints.remembered[2]);
    if (d < 1) d = 1;

    const uint64_t v = Volume(w, h, d);
    if (w == 0 || h == 0 || v == 0 || v > perSection) {
        // A size just set counts for all the data (the frames follow from it); otherwise
        // the frames asked for, or the present ones, share the data.
        uint32_t frames = hints.framesWanted ? hints.framesWanted : info->totalFrames;
        if (hints.changedAxis >= 0 && !hints.framesWanted) frames = 1;
        uint64_t perFrame = frames > 1 ? perSection / frames : perSection;
        if (perFrame == 0) perFrame = perSection;
        // The known size: the one just set, else one the read state remembers, else a given one.
        int known = -1;
        if (hints.changedAxis == 0 || hints.changedAxis == 1)
            known = hints.changedAxis;
        else if (hints.remembered[1] > 0)
            known = 1;
        else if (hints.remembered[0] > 0)
            known = 0;
        else if ((info->flags & kGivenX) && w > 0)
            known = 0;
        else if ((info->flags & kGivenY) && h > 0)
            known = 1;
        if (known == 0 && w > 0)
            OneKnownRule(perFrame, &w, &h, &d);
        else if (known == 1 && h > 0)
            OneKnownRule(perFrame, &h, &w, &d);
        else
            SquareRule(perFrame, &w, &h, &d);
    }
    // The width limit, then the sizes kept within one section's elements.
    const uint64_t limit = E >= 2 ? kWidthLimit / E : kWidthLimit;
    w = std::clamp<uint64_t>(w, 1, std::min(limit, perSection));
    if (d < 1) d = 1;
    if (d >= 2 && Volume(w, 1, d) > perSection) d = 1;
    h = std::max<uint64_t>(h, 1);
    if (Volume(w, h, d) > perSection) h = std::max<uint64_t>(1, perSection / Volume(w, 1, d));

    const uint64_t frameElements = Volume(w, h, d) * sections;  // <= count
    uint64_t frames = count / frameElements;
    if (hints.framesWanted) frames = std::min<uint64_t>(frames, hints.framesWanted);
    frames = std::clamp<uint64_t>(frames, 1, 0x7FFFFFFF);

    info->sizeX = static_cast<int64_t>(w);
    info->sizeY = static_cast<int64_t>(h);
    info->sizeZ = static_cast<int64_t>(d);
    // A crop box that held the whole frame holds the whole new one; any other is fitted into
    // it (below), so that what is measured is what the sizes say.
    if (hints.wholeCrop)
        info->cropX = info->cropY = info->cropZ = info->cropSizeX = info->cropSizeY =
            info->cropSizeZ = 0;
    info->sections = sections;
    info->dataBegin = begin;
    info->dataEnd = end;
    info->SetTotalFrames(static_cast<uint32_t>(frames), hints.framesWanted != 0);
    ApplyCropRule(info);
    return true;
}

int FitTest(const SampleFormat& type, uint32_t frames, int64_t begin, int64_t end,
            uint64_t given, int64_t* x, int64_t* y, int64_t* z) {
    const uint64_t bpp = ((static_cast<uint64_t>(type.bits) + 7) / 8) *
                         std::clamp<uint64_t>(type.channels, 1, kMaxChannels);
    if (bpp == 0 || begin < 0 || end < begin) return 0;
    const uint64_t count = static_cast<uint64_t>(end - begin) / bpp;
    if (count == 0) return ((given & (kGivenX | kGivenY | kGivenZ)) == 0 && end == begin) ? 2 : 0;
    if ((given & kGivenX) && (given & kGivenY) && *x > 0 && *y > 0) {
        uint64_t need = Volume(static_cast<uint64_t>(*x), static_cast<uint64_t>(*y),
                               *z > 0 ? static_cast<uint64_t>(*z) : 1);
        if (frames > 1 && (need == UINT64_MAX || !MulFits(need, frames, &need))) need = UINT64_MAX;
        if (need > count) return 0;
        return need == count ? 2 : 1;
    }
    uint64_t w = 0, h = 0, d = *z > 0 ? static_cast<uint64_t>(*z) : 1;
    SquareRule(frames > 1 ? count / frames : count, &w, &h, &d);
    if (w == 0 || h == 0) return 0;
    *x = static_cast<int64_t>(w);
    *y = static_cast<int64_t>(h);
    *z = static_cast<int64_t>(d);
    return 2;
}

SampleFormat GuessSampleType(const SampleFormat& type, uint32_t frames, int64_t begin,
                             int64_t end, uint64_t given, int64_t* x, int64_t* y, int64_t* z) {
    SampleFormat chosen = type;
    int64_t best[3] = {*x, *y, *z};
    bool haveRemainder = false;
    uint32_t mask = TypeFlagHighestBit(type.type & 0x7F);
    for (int step = 0; step < 20 && mask != 0; ++step) {
        if (mask != 0x04) {
            SampleFormat candidate = type;
            candidate.type = (type.type & ~0x7Fu) | mask;
            candidate.type = NormalizeFormatWord(candidate.type);
            candidate.bits = 8 * FormatElementSize(candidate.type);
            int64_t sx = *x, sy = *y, sz = *z;
            const int fit = FitTest(candidate, frames, begin, end, given, &sx, &sy, &sz);
            if (fit == 2) {
                *x = sx, *y = sy, *z = sz;
                return candidate;
            }
            if (fit == 1 && !haveRemainder) {
                haveRemainder = true;
                chosen = candidate;
                best[0] = sx, best[1] = sy, best[2] = sz;
            }
        }
        if ((mask & 0x01) || mask < 2) break;
        mask >>= 1;
    }
    *x = best[0], *y = best[1], *z = best[2];
    return chosen;
}

// ---- Read state without a frame table ------------------------------------------------------

namespace {

class PlainReadState : public ReadState {
public:
    void Reset() override {
        snapshot_[0].reset();
        snapshot_[1].reset();
        remembered_[0] = remembered_[1] = remembered_[2] = 0;
    }

    bool TakeSnapshot(const DataSetInfo* info, int which) override {
        if (info == nullptr || which < 0 || which > 1) return false;
        if (which == 0) storedBits_ = info->input.type & 0x180u;
        if (info->TotalFrames() == 0) return false;
        auto copy = std::make_unique<DataSetInfo>();
        if (!DataSetInfoCopy(copy.get(), info)) return false;
        snapshot_[which] = std::move(copy);
        return true;
    }

    bool ApplySnapshot(DataSet* d, int which) override {
        if (d == nullptr || which < 0 || which > 1 || !snapshot_[which]) return false;
        return Commit(d, *snapshot_[which]);
    }

    bool CompareSnapshot(const DataSetInfo* info, int which) const override {
        if (info == nullptr || which < 0 || which > 1 || !snapshot_[which]) return false;
        return DataSetInfoEqual(*info, *snapshot_[which]);
    }

    bool SetProperty(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) override {
        switch (id) {
            case kPropSampleType: return SetType(d, v, count);
            case kPropUnsigned:
            case kPropByteOrder: return SetFlag(d, id, v, count);
            case kPropScale:
            case kPropZero:
            case kPropScaleZero: return SetScaleZero(d, id, v, count);
            case kPropServiceDescription: return ApplyService(d, true);
            case kPropSizeX:
            case kPropSizeY:
            case kPropSizeZ: return SetSize(d, id, v, count);
            case kPropDataBegin:
            case kPropDataEnd:
            case kPropDataEndCount: return SetPosition(d, id, v, count);
            case kPropCropX:
            case kPropCropSizeX:
            case kPropCropY:
            case kPropCropSizeY:
            case kPropCropZ:
            case kPropCropSizeZ: return SetCrop(d, id, v, count);
            case kPropFramesToUse: return SetFramesToUse(d, v, count);
            case kPropTotalFrames: return SetTotal(d, v, count);
            case kPropFrameStep: return SetFrameStep(d, v, count);
            case kPropNormaliseSnapshot0:
            case kPropNormaliseSnapshot1: {
                const int which = id == kPropNormaliseSnapshot0 ? 0 : 1;
                if (snapshot_[which]) NormaliseReadRequest(&snapshot_[which]->input);
                return true;
            }
            default: return false;
        }
    }

private:
    FitHints Hints(const DataSet* d) const {
        FitHints h;
        for (int i = 0; i < 3; ++i) h.remembered[i] = remembered_[i];
        h.wholeCrop = WholeCrop(*d);
        return h;
    }

    bool SetType(DataSet* d, const PropertyValue* v, uint32_t count) {
        if (!One(v, count, kPropertyUInt32)) return false;
        uint32_t t = NormalizeFormatWord(v[0].u32);
        if ((t & 0x7F) == 0 || FormatElementSize(t) == 0) return false;
        // Signedness and byte order carry over unless the request states them; so do the
        // flag groups of the old type that the request does not name.
        if (!(v[0].u32 & 0x180u)) t |= (storedBits_ | (d->input.type & 0x180u));
        t |= ClearFlagGroups(d->input.type & ~0x1FFu, v[0].u32);
        t = NormalizeFormatWord(t);
        if (t == d->input.type) return true;
        DataSetInfo copy;
        if (!CopyOf(d, &copy)) return false;
        copy.input.type = t;
        NormaliseReadRequest(&copy.input);
        copy.InputFormatChanged();
        FitHints hints = Hints(d);
        hints.typeChanged = true;
        if (!FitDescriptionToFile(&copy, FileLength(d), hints)) return false;
        if (!Commit(d, copy)) return false;
        storedBits_ = d->input.type & 0x180u;
        return true;
    }

    bool SetFlag(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) {
        if (!One(v, count, kPropertyBool)) return false;
        const uint32_t bit = id == kPropUnsigned ? 0x100u : 0x80u;
        bool on = v[0].boolean != 0;
        if (id == kPropByteOrder && FormatElementSize(d->input.type) < 2) on = false;
        uint32_t t = on ? (ClearFlagGroups(d->input.type, bit) | bit) : (d->input.type & ~bit);
        t = NormalizeFormatWord(t);
        if (t == d->input.type) return true;
        Change(d, [&] {
            d->input.type = t;
            d->InputFormatChanged();
            d->FormatChanged();
        });
        storedBits_ = d->input.type & 0x180u;
        return true;
    }

    bool SetSize(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) {
        if (!One(v, count, kPropertyInt64) || v[0].i64 <= 0) return false;
        const int axis = id == kPropSizeX ? 0 : (id == kPropSizeY ? 1 : 2);
        const uint64_t given[3] = {kGivenX, kGivenY, kGivenZ};
        int64_t* const size[3] = {&d->sizeX, &d->sizeY, &d->sizeZ};
        if (*size[axis] == v[0].i64) return true;
        DataSetInfo copy;
        if (!CopyOf(d, &copy)) return false;
        int64_t* const target[3] = {&copy.sizeX, &copy.sizeY, &copy.sizeZ};
        *target[axis] = v[0].i64;
        copy.flags |= given[axis];
        FitHints hints = Hints(d);
        hints.remembered[axis] = v[0].i64;
        hints.changedAxis = axis;
        if (!FitDescriptionToFile(&copy, FileLength(d), hints)) return false;
        // Remembered sizes that had to give way to this one are forgotten.
        remembered_[axis] = *target[axis];
        for (int i = 0; i < 3; ++i)
            if (i != axis && remembered_[i] != *target[i]) remembered_[i] = 0;
        return Commit(d, copy);
    }

    bool SetPosition(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) {
        if (!One(v, count, kPropertyInt64) || v[0].i64 < 0) return false;
        const int64_t E = static_cast<int64_t>((d->input.bits + 7) / 8);
        if (E == 0) return false;
        const int64_t length = FileLength(d);
        const int64_t end = d->dataEnd > 0 ? d->dataEnd : length;
        int64_t begin = d->dataBegin, newEnd = end;
        if (id == kPropDataBegin) {
            if (end <= E) return false;
            begin = std::max(std::min(v[0].i64, end - E), d->headerSize);
        } else if (id == kPropDataEnd) {
            newEnd = std::min(std::max(v[0].i64, d->dataBegin + E), length);
        } else {
            if (d->dataBegin > 0x7FFFFFFF - E) return false;
            const int64_t n = std::max<int64_t>(v[0].i64, 1);
            int64_t bytes = 0;
            if (__builtin_mul_overflow(n, E, &bytes) ||
                __builtin_add_overflow(d->dataBegin, bytes, &newEnd))
                newEnd = length;
            newEnd = std::min(newEnd, length);
        }
        if (begin == d->dataBegin && newEnd == d->dataEnd) return true;
        if (id == kPropDataBegin && begin == d->dataBegin) return true;
        DataSetInfo copy;
        if (!CopyOf(d, &copy)) return false;
        copy.dataBegin = begin;
        copy.dataEnd = newEnd;
        if (!FitDescriptionToFile(&copy, length, Hints(d))) return false;
        return Commit(d, copy);
    }

    bool SetTotal(DataSet* d, const PropertyValue* v, uint32_t count) {
        if (!One(v, count, kPropertyUInt32) || v[0].u32 == 0) return false;
        if (v[0].u32 == d->TotalFrames()) return true;
        DataSetInfo copy;
        if (!CopyOf(d, &copy)) return false;
        FitHints hints = Hints(d);
        hints.framesWanted = std::min<uint32_t>(v[0].u32, 0x7FFFFFFF);
        copy.totalFrames = hints.framesWanted;
        if (!FitDescriptionToFile(&copy, FileLength(d), hints)) return false;
        return Commit(d, copy);
    }

    uint32_t storedBits_ = 0;
    std::unique_ptr<DataSetInfo> snapshot_[2];
    int64_t remembered_[3] = {0, 0, 0};
};

// ---- Read state with a frame table ---------------------------------------------------------

class TableReadState : public ReadState {
public:
    struct Record {
        bool held = false;
        double scale = 1.0, zero = 0.0, inverse = 1.0;
        uint32_t framesToUse = 0;
        int32_t frameStep = 1;
        double frameRate = 0.0;
    };

    void Reset() override { records_[0] = records_[1] = Record{}; }

    bool TakeSnapshot(const DataSetInfo* info, int which) override {
        if (info == nullptr || which < 0 || which > 1 || info->TotalFrames() == 0) return false;
        records_[which] = {true,           info->scale,     info->zero,     info->inverseScale,
                           info->framesToUse, info->frameStep, info->frameRate};
        return true;
    }

    bool ApplySnapshot(DataSet* d, int which) override {
        if (d == nullptr || which < 0 || which > 1 || !records_[which].held) return false;
        const Record& r = records_[which];
        return Change(d, [&] {
            d->scale = r.scale;
            d->zero = r.zero;
            d->inverseScale = r.inverse;
            d->SetFramesToUse(r.framesToUse);
            d->frameStep = r.frameStep ? r.frameStep : 1;
            d->frameRate = r.frameRate;
            d->FormatChanged();
        });
    }

    bool CompareSnapshot(const DataSetInfo* info, int which) const override {
        if (info == nullptr || which < 0 || which > 1 || !records_[which].held) return false;
        const Record& r = records_[which];
        return r.scale == info->scale && r.zero == info->zero && r.inverse == info->inverseScale &&
               r.framesToUse == info->framesToUse && r.frameStep == info->frameStep &&
               r.frameRate == info->frameRate;
    }

    bool SetProperty(DataSet* d, uint32_t id, const PropertyValue* v, uint32_t count) override {
        switch (id) {
            case kPropScale:
            case kPropZero:
            case kPropScaleZero: return SetScaleZero(d, id, v, count);
            case kPropServiceDescription: return ApplyService(d, false);
            case kPropCropX:
            case kPropCropSizeX:
            case kPropCropY:
            case kPropCropSizeY:
            case kPropCropZ:
            case kPropCropSizeZ: return SetCrop(d, id, v, count);
            case kPropFramesToUse: return SetFramesToUse(d, v, count);
            case kPropFrameStep: return SetFrameStep(d, v, count);
            case kPropNormaliseSnapshot0:
            case kPropNormaliseSnapshot1: return true;
            default: return false;
        }
    }

private:
    Record records_[2];
};

}  // namespace

std::unique_ptr<ReadState> MakeReadState(const DataSet* d) {
    std::unique_ptr<ReadState> state;
    if (d != nullptr && d->frameTable)
        state = std::make_unique<TableReadState>();
    else
        state = std::make_unique<PlainReadState>();
    if (d != nullptr) state->TakeSnapshot(d, 0);
    return state;
}

bool ReadStateSetProperty(ReadState* state, DataSet* d, uint32_t id, const PropertyValue* values,
                          uint32_t count) {
    if (state == nullptr || d == nullptr) return false;
    return state->SetProperty(d, id, values, count);
}

bool ReadStateSetProperty(DataSet* d, uint32_t id, const PropertyValue* values, uint32_t count) {
    if (d == nullptr) return false;
    std::unique_ptr<ReadState> state = MakeReadState(d);
    return state->SetProperty(d, id, values, count);
}

}  // namespace orva
