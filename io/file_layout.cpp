#include "io/file_layout.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/numeric.h"
#include "io/bit_packed.h"

namespace orva {

namespace {

constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
constexpr int64_t kHalfMax = 0x3FFFFFFFFFFFFFFF;
constexpr double kDblMax = 1.7976931348623157e308;


uint32_t ClampChannels(uint32_t ch) { return ch == 0 ? 1 : std::min(ch, kMaxChannels); }




// Bytes of one stored sample as the read kernels see it: a packed sample is read as
// the element it unpacks into.
uint32_t Bytes(uint32_t bits) {
    return IsBitPacked(bits) ? DataSetInfo::ElementBytes(PackedElementType(bits)) : (bits + 7) / 8;
}

// ---- Default services ----------------------------------------------------------------------

void DefaultFitSizes(int64_t* x, int64_t* y, int64_t* z, uint64_t, int64_t count) {
    if (count < 0) count = 0;
    if (*x < 0) *x = 0;
    if (*y < 1) *y = 1;
    if (*z < 1) *z = 1;
    // No width: the rows of the height and depth take what the count holds.
    if (*x == 0) *x = count / LayoutMulSat(*y, *z);
    if (*x > 0 && LayoutMulSat(LayoutMulSat(*x, *y), *z) <= count) return;
    int64_t plane = LayoutMulSat(*x, *y);
    if (plane > 0 && plane <= count) {
        *z = std::max<int64_t>(1, count / plane);
        return;
    }
    *z = 1;
    if (*x > 0 && *x <= count) {
        *y = std::max<int64_t>(1, count / *x);
        return;
    }
    *x = count;
    *y = 1;
}

bool DefaultCheckDataSizes(const SampleFormat& type, uint32_t sections, int64_t* product,
                           int64_t* x, int64_t* y, int64_t* z, uint64_t* flags) {
    int64_t local = 0;
    if (product == nullptr) product = &local;
    if (*product == 0 && *x != 0 && *y != 0)
        *product = LayoutMulSat(LayoutMulSat(*x, *y), std::max<int64_t>(sections, 1));
    uint32_t bytes = DataSetInfo::ElementBytes(type.type);
    int64_t limit = (type.bits < 16 || bytes == 0) ? 0x20000000 : 0x20000000 / bytes;
    if (*x > limit) *x = limit;
    if (flags) {
        if (*x <= 0) *flags &= ~kFlagSizeX;
        if (*y == 0) *flags &= ~kFlagSizeY;
        if (*z <= 0) *flags &= ~kFlagSizeZ;
    }
    if (*z < 2) return true;
    if (*product == 0 || LayoutMulSat(*product, *z) < kI64Max) return true;
    *z = kI64Max / *product;
    TheLayoutServices().fitSizesToCount(x, y, z, flags ? *flags : 0, kI64Max);
    return false;
}

// A size is known when the description states it: the sizes that reach here may
// hold the placeholders of earlier steps (a y of 1 for "not stated").
void DefaultGuessSizes(int64_t* x, int64_t* y, int64_t* z, uint64_t flags, int64_t count) {
    if (count < 0) count = 0;
    if (*z <= 0) *z = 1;
    if (!(flags & (kFlagSizeX | kFlagSizeY))) {
        int64_t s = static_cast<int64_t>(IntegerSquareRoot(static_cast<uint64_t>(count / *z)));
        if (s == 0 && *z >= 2) {
            *z = 1;
            s = static_cast<int64_t>(IntegerSquareRoot(static_cast<uint64_t>(count)));
        }
        *x = *y = s;
        if (*y <= 0) *y = 1;
        if (LayoutMulSat(LayoutMulSat(*x, *y), *z) <= count) return;
    }
    TheLayoutServices().fitSizesToCount(x, y, z, flags, count);
}

bool DefaultDetectSampleType(SampleFormat* out, uint32_t sections, uint64_t, uint32_t candidate,
                             int64_t* x, int64_t* y, int64_t* z, int64_t dataOffset,
                             int64_t dataEnd) {
    int64_t length = 0;
    if (__builtin_sub_overflow(dataEnd, dataOffset, &length) || length < 0) length = 0;
    uint32_t size = candidate & 0x7F;
    uint32_t found = 0;
    for (int tries = 0; size && tries < 20; ++tries, size >>= 1) {
        if (size == 0x04) continue;
        uint32_t bytes = DataSetInfo::ElementBytes(size);
        int64_t need = LayoutMulSat(LayoutMulSat(LayoutMulSat(LayoutMulSat(*x, *y), std::max<int64_t>(*z, 1)),
                                     std::max<int64_t>(sections, 1)),
                              bytes);
        if (need != 0 && need <= length) {
            found = size;  // the first size that fits is kept
            break;
        }
        if (size == 0x01) break;
    }
    uint32_t t = found ? found : (candidate & 0x7F);
    out->type = (candidate & ~0x7Fu) | t;
    out->bits = BitsFromType(t);
    return found != 0;
}

// Packed samples read as unsigned or signed integers of the next wider type, in the
// order their bits come (the byte order bit means nothing for them).
bool DefaultPrepareBitPacked(DataSetInfo* info) {
    const uint32_t bits = info->input.bits;
    if (!IsBitPacked(bits)) return false;
    const uint32_t t = (info->input.type & ~0xFFu) | PackedElementType(bits);
    if (t != info->input.type) {
        info->input.type = NormalizeFormatWord(t);
        DataSetInfoUpdateType(*info);
    }
    return true;
}

void DefaultNormaliseReadRange(DataSetInfo* info) {
    LayoutNormaliseSizes(info);
    ApplyCropRule(info);
}

const LayoutServices kDefaultServices = {
    &DefaultCheckDataSizes, &DefaultFitSizes,       &DefaultGuessSizes, &DefaultDetectSampleType,
    &DefaultPrepareBitPacked, &DefaultNormaliseReadRange, &FillLayoutDescription,
};

LayoutServices gServices = kDefaultServices;
LayoutSettings gSettings;

}  // namespace

// ---- Shared by the format readers --------------------------------------------------------

int64_t LayoutMulSat(int64_t a, int64_t b) {
    if (a <= 0 || b <= 0) return 0;
    int64_t r;
    if (__builtin_mul_overflow(a, b, &r)) return kI64Max;
    return r;
}

void LayoutNormaliseSizes(DataSetInfo* info) {
    if (info->sizeX < 0) info->sizeX = 0;
    if (info->sizeY < 1) info->sizeY = 1;
    if (info->sizeZ < 1) info->sizeZ = 1;
}

void LayoutStoreType(DataSetInfo* info, uint32_t t, uint32_t bits, uint32_t ch) {
    if (t == info->input.type && bits == info->input.bits && ch == info->input.channels) return;
    ch = ClampChannels(ch);
    t = NormalizeFormatWord(t);
    uint32_t typeBits = BitsFromType(t);
    if (typeBits != 0 && (bits == 0 || bits > typeBits)) bits = typeBits;
    info->input = {t, bits, ch};
    DataSetInfoUpdateType(*info);
}

void LayoutSetScale(DataSetInfo* info, double s) {
    if (std::isnan(s) || std::fabs(s) <= 2.2250738585072014e-308) {
        info->scale = 0.0;
        info->inverseScale = s > 0 ? kDblMax : -kDblMax;
    } else if (std::fabs(s - 1.0) < 2.220446049250313e-16) {
        info->scale = info->inverseScale = 1.0;
    } else {
        info->scale = s;
        info->inverseScale = 1.0 / s;
    }
    info->flags |= kFlagScale;
}

void LayoutSetZero(DataSetInfo* info, double z) {
    info->zero = (z > -1e-307 && z < 1e-307) ? 0.0 : z;
    info->flags |= kFlagZero;
}

void LayoutSetSizes(DataSetInfo* info, const ServiceDescription* sd, int64_t x, int64_t y, int64_t z) {
    // A crop that held the whole data so far holds the whole of the new sizes.
    if (info->cropX == 0 && info->cropY == 0 && info->cropZ == 0 && info->cropSizeX == info->sizeX &&
        info->cropSizeY == info->sizeY && info->cropSizeZ == info->sizeZ)
        info->cropSizeX = info->cropSizeY = info->cropSizeZ = 0;
    info->sizeX = x;
    info->sizeY = y;
    info->sizeZ = z;
    if (sd && (sd->flags & kFlagCropBox)) {
        ApplyCropBox(info, sd);
    } else {
        LayoutNormaliseSizes(info);
        ApplyCropRule(info);
    }
}

LayoutServices& TheLayoutServices() { return gServices; }
void ResetLayoutServices() { gServices = kDefaultServices; }
LayoutSettings& TheLayoutSettings() { return gSettings; }

uint32_t BitsFromType(uint32_t t) { return DataSetInfo::ElementBytes(t) * 8; }

// ---- The layout record -----------------------------------------------------------------------

FileLayout::FileLayout() { FileLayoutInit(this); }

int32_t FormatInfo::Release() {
    const int32_t n = --refCount;
    if (n == 0) delete this;
    return n;
}

bool FormatInfo::QueryInterface(const ComponentId* id, void** out) {
    if (id == nullptr) return false;
    if (!SameComponentId(id, GetClassId()) && !SameComponentId(id, &kFormatInfoId) &&
        !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = this;
    }
    return true;
}

bool FileLayout::SetAxis(uint32_t index, int32_t length) {
    if (index >= kMaxAxisEntries) return false;
    if (index >= axes.size()) axes.resize(index + 1, -1);
    axes[index] = length;
    if (index + 1 > axisCount) axisCount = index + 1;
    return true;
}

void FileLayoutInit(FileLayout* layout) {
    layout->tag = UnsetFormatTag();
    layout->type = layout->bits = layout->channels = 0;
    layout->records.clear();
}

void FileLayoutClear(FileLayout* layout) {
    layout->ClearRecords();
    layout->type = layout->bits = layout->channels = layout->frames = 0;
    layout->sizeX = layout->sizeY = layout->sizeZ = 0;
    layout->flags = 0;
    layout->axes.clear();
    layout->axes.shrink_to_fit();
    layout->dataOffset = layout->dataEnd = layout->readerValue = layout->headerStart = 0;
    layout->axisCount = layout->declaredAxes = 0;
}

uint32_t LayoutNormalize(FileLayout* l, bool strict) {
    uint32_t t = l->type;
    if (!(t & 0x40)) t &= ~kTypeRealOnlyBits;
    if (t & 0x7F) {
        if (strict) l->flags |= kFlagSampleSize;
        if (t & 0x01) {
            t &= ~0x80u;
            if (strict) l->flags |= kFlagByteOrder;
        }
        if (t & 0x50) {
            t &= ~(0x100u | 0x2Fu);
            if (strict) l->flags |= kFlagSign;
        } else if (t & 0x100) {
            if (strict) l->flags |= kFlagSign;
        }
        uint32_t typeBits = BitsFromType(t);
        if (l->bits == 0)
            l->bits = typeBits;
        else if (l->bits != typeBits)
            // Size unknown: unsigned, unless a sign was stated (packed signed samples).
            t = (l->flags & kFlagSign) ? (t & 0x100u) : 0x100u;
    } else if (l->bits) {
        t |= 0x100;
        if (strict) l->flags |= kFlagSampleSize;
    } else {
        t = (t & ~0x7Du) | 0x02;
        l->bits = 16;
        l->flags &= ~kFlagSampleSize;
    }
    if (t & (kTypeImage | kTypeVector)) l->flags |= kFlagTypeKind;
    if (l->channels == 0) {
        l->channels = 1;
        l->flags &= ~(kFlagChannels | kFlagChannelOut);
    } else if (strict) {
        l->flags |= kFlagChannels;
    }
    if (l->frames == 0) {
        l->frames = 1;
        l->flags &= ~kFlagFrames;
    } else if (strict) {
        l->flags |= kFlagFrames;
    }
    if (l->channels > kMaxChannels) l->channels = kMaxChannels;
    if (!(t & 0x40)) t &= ~kTypeRealOnlyBits;
    if (t & 0x50)
        t &= ~(0x100u | 0x2Fu);
    else if (t & 0x01)
        t &= ~0x80u;
    l->type = t;
    const uint32_t before = l->bits;
    // A type of unknown size keeps its stated bits.
    uint32_t typeBits = BitsFromType(t);
    if (typeBits != 0 && (l->bits == 0 || l->bits > typeBits)) l->bits = typeBits;
    return before;
}

void LayoutApplyDescription(FileLayout* l, const ServiceDescription* d, bool strict) {
    if (d == nullptr || d->flags == 0) return;
    const uint32_t dt = d->type;
    if (d->flags & kFlagSign) {
        bool unsignedInt = (dt & 0x100) && (dt & 0x2F) && !(dt & 0x50);
        l->type = unsignedInt ? (l->type | 0x100) : (l->type & ~0x100u);
        l->flags |= kFlagSign;
    }
    if (d->flags & kFlagByteOrder) {
        if ((dt & 0x80) && !(dt & 0x01))
            l->type |= 0x80;
        else
            l->type &= ~0x80u;
        l->flags |= kFlagByteOrder;
    }
    if (d->flags & kFlagChannels) {
        l->channels = d->channels;
        l->flags |= kFlagChannels;
    }
    if (d->flags & kFlagSampleSize) {
        l->type = (l->type & ~0x7Fu) | (dt & 0x7F);
        l->bits = d->bits;
        l->flags |= kFlagSampleSize;
    }
    if ((d->flags & kFlagTypeKind) && (dt & (kTypeImage | kTypeVector))) {
        l->type = (l->type & ~(kTypeImage | kTypeVector)) | (dt & (kTypeImage | kTypeVector));
        l->flags |= kFlagTypeKind;
    }
    if (d->flags & kFlagFrames) {
        l->frames = d->framesMax ? d->framesMax : d->frames;
        l->flags |= kFlagFrames;
    }
    LayoutNormalize(l, strict);
    if (l->sizeX <= 0 && (d->flags & kFlagSizeX)) {
        l->sizeX = d->sizeX;
        l->flags |= kFlagSizeX;
        if (l->sizeY <= 0) {
            if (d->flags & kFlagSizeY) {
                l->sizeY = d->sizeY;
                l->flags |= kFlagSizeY;
            } else {
                l->sizeY = 0;
                l->flags &= ~kFlagSizeY;
            }
        }
        if (l->sizeZ <= 0) {
            if (d->flags & kFlagSizeZ) {
                l->sizeZ = d->sizeZ;
                l->flags |= kFlagSizeZ;
            } else {
                l->sizeZ = 0;
                l->flags &= ~kFlagSizeZ;
            }
        }
    }
}

bool LayoutFromDescription(FileLayout* l, ServiceDescription* d, int64_t length) {
    if (d && d->flags)
        LayoutApplyDescription(l, d, true);
    else
        LayoutNormalize(l, true);
    bool fitted = true;
    if (d) {
        fitted = gServices.fillLayout(d, l, length);
        LayoutApplyDescription(l, d, false);
    }
    return fitted;
}

bool LayoutApplyDefaults(FileLayout* l, ServiceDescription* d, int64_t length) {
    const bool fitted = LayoutFromDescription(l, d, length);
    if (!(l->flags & kFlagSign)) {
        if (gSettings.defaultUnsigned && (l->type & 0x2F) && !(l->type & 0x50))
            l->type |= 0x100;
        else
            l->type &= ~0x100u;
    }
    if (!(l->flags & kFlagByteOrder)) {
        if (gSettings.defaultSwapped && !(l->type & 0x01))
            l->type |= 0x80;
        else
            l->type &= ~0x80u;
    }
    return fitted;
}

int LayoutRefuseDescription(const char* fileName, int64_t length) {
    LogPrintf("'%s' - the service description does not fit the %I64d bytes of data",
              fileName ? fileName : "", length);
    return kErrUnsupported2;
}

// ---- Crop ------------------------------------------------------------------------------------

void ApplyCropRule(DataSetInfo* info) {
    int64_t* off[3] = {&info->cropX, &info->cropY, &info->cropZ};
    int64_t* len[3] = {&info->cropSizeX, &info->cropSizeY, &info->cropSizeZ};
    const int64_t size[3] = {info->sizeX, info->sizeY, info->sizeZ};
    for (int i = 0; i < 3; ++i)
        if (*off[i] < 0) *off[i] = 0;
    bool whole = false;
    for (int i = 0; i < 3; ++i)
        if (*off[i] >= size[i]) whole = true;
    if (!whole) {
        whole = true;
        for (int i = 0; i < 3; ++i)
            if (*off[i] != 0 || (*len[i] != 0 && *len[i] < size[i])) whole = false;
    }
    for (int i = 0; i < 3; ++i) {
        if (whole) {
            *off[i] = 0;
            *len[i] = size[i];
        } else if (*len[i] <= 0 || *len[i] > size[i] - *off[i]) {
            *len[i] = size[i] - *off[i];
        }
    }
}

void ApplyCropBox(DataSetInfo* info, const ServiceDescription* d) {
    const int64_t size[3] = {info->sizeX, info->sizeY, info->sizeZ};
    const int64_t boxOff[3] = {d->cropX, d->cropY, d->cropZ};
    const int64_t boxLen[3] = {d->cropSizeX, d->cropSizeY, d->cropSizeZ};
    int64_t* off[3] = {&info->cropX, &info->cropY, &info->cropZ};
    int64_t* len[3] = {&info->cropSizeX, &info->cropSizeY, &info->cropSizeZ};
    for (int i = 0; i < 3; ++i) {
        if (boxOff[i] <= 0)
            *off[i] = 0;
        else if (boxOff[i] >= size[i])
            *off[i] = size[i] > 0 ? size[i] - 1 : 0;
        else
            *off[i] = boxOff[i];
        if (boxLen[i] < 0) {
        } else if (boxLen[i] == 0 || boxLen[i] >= size[i]) {
            *len[i] = size[i];
        } else {
            *len[i] = boxLen[i];
        }
    }
    gServices.normaliseReadRange(info);
}

// ---- Resolve ---------------------------------------------------------------------------------

void LayoutResolve(FileLayout* l, DataSetInfo* info, int32_t* modeInOut) {
    int64_t w[3] = {0, 0, 0};
    const uint64_t sizeFlag[3] = {kFlagSizeX, kFlagSizeY, kFlagSizeZ};
    if (l->HasAxisList()) {
        auto axis = [&](uint32_t i) -> int64_t { return i < l->axes.size() ? l->axes[i] : -1; };
        const uint32_t n = l->declaredAxes;
        l->sizeX = axis(0) > 0 ? axis(0) : 0;
        l->sizeY = n == 1 ? 1 : (axis(1) > 0 ? axis(1) : 0);
        l->sizeZ = n < 3 ? 1 : (axis(2) > 0 ? axis(2) : 0);
        for (uint32_t i = 0; i < std::min<uint32_t>(n, 3); ++i) {
            if (axis(i) > 0) {
                info->flags |= sizeFlag[i];
                w[i] = axis(i);
            }
        }
    } else {
        if (l->sizeX != 0) {
            w[0] = l->sizeX;
            info->flags |= kFlagSizeX;
        }
        if (l->sizeY != 0) {
            w[1] = l->sizeY;
            info->flags |= kFlagSizeY;
        } else {
            info->flags &= ~kFlagSizeY;
            w[1] = 1;
        }
        if (l->sizeZ != 0) {
            w[2] = l->sizeZ;
            info->flags |= kFlagSizeZ;
        } else {
            info->flags &= ~kFlagSizeZ;
        }
    }
    if (w[1] == 0) w[1] = 1;
    if (w[2] == 0) w[2] = 1;

    int32_t mode = modeInOut ? *modeInOut : -1;
    if (!(info->flags & kFlagSizeX) || mode == 0 || w[2] <= 1) {
        mode = -2;
    } else {
        if (mode == -1) mode = (w[0] >= 3 && w[1] >= 3) ? 2 : 0;
        // Lengths of the axes from the fifth on fold in as well.
        int64_t extra = 1;
        for (uint32_t i = 4; i < l->declaredAxes && i < l->axes.size() && extra < kI64Max; ++i)
            if (l->axes[i] > 0) extra = LayoutMulSat(extra, l->axes[i]);
        int64_t z = w[2];
        if (mode == 1 && !(info->input.channels <= 1 || (info->input.type & kTypePlanesAsChannels)))
            mode = 2;
        if (mode == 0) {
            int64_t p = LayoutMulSat(w[1] ? LayoutMulSat(w[1], w[2]) : w[2], extra);
            if (p > kHalfMax) {
                w[1] = kHalfMax;
                z = p / kHalfMax;
            } else {
                w[1] = p;
                z = 1;
            }
            info->flags &= ~kFlagSizeY;
        } else if (mode == 1) {
            uint32_t ch = info->input.channels;
            int64_t p = LayoutMulSat(ch ? LayoutMulSat(ch, w[2]) : w[2], extra);
            info->input.type |= kTypePlanesAsChannels;
            l->type |= kTypePlanesAsChannels;
            info->flags &= ~(kFlagChannels | kFlagChannelOut);
            z = p <= static_cast<int64_t>(kMaxChannels) ? 1 : (p >> 14);
        } else if (mode == 2) {
            uint32_t fr = info->framesToUse;
            int64_t p = LayoutMulSat(fr ? LayoutMulSat(fr, w[2]) : w[2], extra);
            if (p > 0x7FFFFFFF) {
                info->framesToUse = 0x7FFFFFFF;
                z = p / 0x7FFFFFFF;
            } else {
                info->framesToUse = static_cast<uint32_t>(p);
                z = 1;
            }
            info->flags &= ~kFlagFrames;
        } else {
            mode = -2;
        }
        if (z != w[2]) {
            w[2] = z;
            info->flags &= ~kFlagSizeZ;
        }
    }
    if (modeInOut) *modeInOut = mode;
    info->sizeX = w[0];
    info->sizeY = w[1];
    info->sizeZ = w[2];
    LayoutNormaliseSizes(info);
    ApplyCropRule(info);
}

bool LayoutResolveFits(FileLayout* l, DataSetInfo* info, int32_t* mode) {
    LayoutResolve(l, info, mode);
    int64_t product = 0;
    bool ok = gServices.checkDataSizes(info->input, info->sections, &product, &info->sizeX,
                                       &info->sizeY, &info->sizeZ, &info->flags);
    if (!ok) info->flags &= ~(kFlagSizeY | kFlagSizeZ);
    LayoutNormaliseSizes(info);
    ApplyCropRule(info);
    return ok;
}

// ---- Merge -----------------------------------------------------------------------------------

bool LayoutToDataSet(FileLayout* l, DataSetInfo* info) {
    ServiceDescription* sd = info->service;
    l->faulty = 0;
    // The readers keep the positions inside the file; whatever a layout holds, they are
    // put in order before anything is computed from them: no negative offset, no end
    // before the start, no header starting after the data.
    info->dataBegin = std::max<int64_t>(0, l->dataOffset);
    info->dataEnd = std::max(info->dataBegin, l->dataEnd);
    info->headerSize = info->dataBegin - std::clamp<int64_t>(l->headerStart, 0, info->dataBegin);
    info->scale = 1.0;
    info->inverseScale = 1.0;
    info->zero = 0.0;
    info->hasBlank = false;
    info->planarChannels = false;
    info->blank = 0;
    if (info->formatTag.IsZero()) info->formatTag = MakeFormatTag("BINARY");

    const bool fitted = LayoutApplyDefaults(l, sd, info->dataEnd - info->dataBegin);
    info->flags |= l->flags;

    int32_t mode = ((info->flags & kFlagChannels) ||
                    (info->input.channels >= 2 && !(info->input.type & kTypePlanesAsChannels)))
                       ? -1
                       : 1;
    LayoutResolve(l, info, &mode);

    uint32_t t, bits, ch = info->input.channels;
    if (!(l->flags & kFlagSampleSize) && sd && (sd->flags & kFlagSampleSize)) {
        t = sd->type;
        bits = sd->bits;
    } else {
        t = l->type;
        bits = l->bits;
        if (l->flags & kFlagChannels) ch = l->channels;
        info->framesToUse = l->frames;
    }

    if (sd && sd->flags) {
        if (info->framesToUse == 0) info->framesToUse = sd->frames ? sd->frames : 1;
        if (info->sections == 0) info->sections = sd->sections ? sd->sections : 1;
        if (ch == 0 || (sd->flags & kFlagChannels)) ch = ClampChannels(sd->channels);
        if (sd->flags & kFlagScale) LayoutSetScale(info, sd->scale);
        if (sd->flags & kFlagZero) LayoutSetZero(info, sd->zero);
        info->flags |= sd->flags;
        if (sd->flags & kFlagSizeX) info->sizeX = sd->sizeX;
        if (sd->flags & kFlagSizeY) info->sizeY = sd->sizeY;
        if (sd->flags & kFlagSizeZ) info->sizeZ = sd->sizeZ;
        LayoutNormaliseSizes(info);
        ApplyCropRule(info);
    } else {
        if (info->framesToUse == 0) info->framesToUse = l->frames;
        if (ch == 0) ch = l->channels;
    }
    if (ch == 0) ch = 1;

    if (!(info->flags & kFlagSign) &&
        (info->rangeMin < 0 || (sd && (sd->flags & kFlagValueRange) && sd->min < 0))) {
        t &= ~0x100u;
        info->flags &= ~kFlagSign;
    }
    const bool kindDerived = !(t & (kTypeImage | kTypeVector));
    if (kindDerived) t |= info->sizeY > 1 ? kTypeImage : kTypeVector;
    LayoutStoreType(info, t, bits, ch);

    LayoutFitToData(l, info);
    // Sizes the fit found (guessed from the length, or fitted to it) decide the kind
    // that nobody stated: a guessed square is an image.
    if (kindDerived) {
        const uint32_t kind = info->sizeY > 1 ? kTypeImage : kTypeVector;
        if ((info->input.type & (kTypeImage | kTypeVector)) != kind)
            LayoutStoreType(info, (info->input.type & ~(kTypeImage | kTypeVector)) | kind, info->input.bits,
                            info->input.channels);
    }
    // A range the description holds already starts at 0, as it always did. The type's
    // whole range is no range of the data: a file that states none (raw samples, a text
    // table) states none here either, and its view takes the data's own statistics
    // instead of a 0 .. 32767 that leaves a 16-bit picture of small values black.
    if (info->rangeMin < info->rangeMax) {
        DefaultRange(*info, &info->rangeMin, &info->rangeMax);
    } else {
        info->rangeMin = 1.0;
        info->rangeMax = 0.0;
    }
    // A raw file's missing samples, as the service file marks them.
    if (sd && (sd->flags & kFlagBlank) && !(info->input.type & 0x50)) {
        info->hasBlank = true;
        info->blank = sd->blank;
    }

    if (sd && (sd->flags & kFlagChannelOut)) {
        if (sd->convSpec != info->channelMode) {
            info->channelMode = sd->convSpec;
            info->kernelRow = nullptr;
            info->kernel = nullptr;
        }
        uint32_t sel = sd->nchannelOut;
        if (sel > info->workChannels) sel = info->workChannels;
        if (sel < 1) sel = 1;
        if (sel != info->selectedChannel) {
            info->selectedChannel = sel;
            if (info->workChannels > 1 && info->channelMode == kChannelSelected)
                info->kernelRow = info->kernelSet = info->kernel = nullptr;
        }
    }
    return fitted;
}

void LayoutFitToData(FileLayout* l, DataSetInfo* info) {
    ServiceDescription* sd = info->service;
    int64_t length = 0;
    if (__builtin_sub_overflow(info->dataEnd, info->dataBegin, &length) || length < 0) length = 0;
    if (info->input.channels == 0) {
        info->input.channels = 1;
        info->flags &= ~kFlagChannels;
    }
    if (info->input.bits % 8 != 0) {
        if (!gServices.prepareBitPackedRead(info)) {
            // Nothing of such samples can be read.
            LayoutSetSizes(info, sd, 0, 1, 1);
            info->framesToUse = 1;
            return;
        }
        // Packed samples are fitted as the elements they are read as.
        length = UnpackedLength(length, info->input.bits, DataSetInfo::ElementBytes(info->input.type));
    }
    if (sd) {
        if (info->NoFrameTable() && (sd->flags & kFlagSections)) {
            info->sections = sd->sections;
            info->flags |= kFlagSections;
        }
        if ((sd->flags & kFlagFrameStep) && sd->frameStep != 0) {
            info->frameStep = sd->frameStep;
            info->flags |= kFlagFrameStep;
        }
    }
    if (info->sections == 0) {
        info->sections = 1;
        info->flags &= ~kFlagSections;
    }
    const uint32_t channels = info->input.channels;
    int64_t wx = std::min<int64_t>(info->sizeX, 68719476736LL / (8LL * channels));
    int64_t wy = info->sizeY, wz = info->sizeZ ? info->sizeZ : 1;

    const int64_t b = std::max<uint32_t>(1, Bytes(info->input.bits));
    if (length < b) {
        if (wx != 0) {
            info->sizeX = 0;
            LayoutNormaliseSizes(info);
            ApplyCropRule(info);
        }
        info->framesToUse = 1;
        return;
    }
    uint32_t overrideChannels = 0;  // 0: none
    int64_t stride = b;
    if (channels > 1) {
        if (length >= b * channels)
            stride = b * channels;
        else
            overrideChannels = 1;
    }
    int64_t n = length / stride;
    const int64_t s = (info->NoFrameTable() && info->sections > 1) ? info->sections : 1;
    auto product = [&]() {
        int64_t q = (wx && wy) ? LayoutMulSat(wx, wy) : 0;
        if (wz > 1) q = LayoutMulSat(q, wz);
        return LayoutMulSat(q, s);
    };
    int64_t q = product();
    bool haveOverride = false;
    SampleFormat over{};

    bool stand = q != 0 && q <= n;
    if (!stand && sd) {
        if (sd->sizeX) {
            wx = sd->sizeX;
            info->flags |= kFlagSizeX;
        } else {
            wx = info->sizeX;
        }
        if (sd->sizeY) {
            wy = sd->sizeY;
            info->flags |= kFlagSizeY;
        } else {
            wy = info->sizeY;
        }
        if (sd->sizeZ) {
            wz = sd->sizeZ;
            info->flags |= kFlagSizeZ;
        } else {
            wz = info->sizeZ ? info->sizeZ : 1;
        }
        q = 0;
        if (wx && wy)
            gServices.checkDataSizes(info->input, static_cast<uint32_t>(s), &q, &wx, &wy, &wz,
                                     &info->flags);
        bool detect = true;
        if (sd->type & 0x7F) {
            detect = false;
            const uint32_t sdBytes = DataSetInfo::ElementBytes(sd->type);
            if (sdBytes != DataSetInfo::ElementBytes(info->input.type)) {
                uint32_t ch = (sd->flags & kFlagChannels) ? ClampChannels(sd->channels)
                              : overrideChannels                ? overrideChannels
                                                                : channels;
                over = {sd->type, sd->bits, ch};
                haveOverride = true;
                int64_t st = static_cast<int64_t>(sdBytes) * ch;
                if (ch <= 1 || length < st) st = sdBytes;
                n = length / st;
            }
            if (wz > 1) q = LayoutMulSat(q, wz);
            if (q != 0 && q <= n) {
                stand = true;
            } else if (wx || wy) {
                gServices.fitSizesToCount(&wx, &wy, &wz, info->flags, s > 1 ? n / s : n);
                stand = true;
            } else {
                detect = true;
            }
        }
        if (detect) {
            const uint32_t candidate =
                (info->input.type & ~0x7Fu) | (gSettings.ieee754Detect ? 0x40u : 0x20u);
            uint32_t ch = overrideChannels ? overrideChannels : channels;
            over = {candidate, 64, ch};
            haveOverride = true;
            if (info->NoFrameTable()) {
                SampleFormat found{candidate, 64, ch};
                gServices.detectSampleType(&found, static_cast<uint32_t>(s), info->flags,
                                           candidate, &wx, &wy, &wz, info->dataBegin,
                                           info->dataEnd);
                over.type = found.type;
                over.bits = found.bits;
                uint32_t fb = DataSetInfo::ElementBytes(found.type);
                if (fb && fb != DataSetInfo::ElementBytes(info->input.type)) {
                    int64_t st = static_cast<int64_t>(fb) * ch;
                    if (ch <= 1 || length < st) st = fb;
                    n = length / st;
                }
            }
            q = product();
            stand = q != 0 && q <= n;
        }
    }
    if (!stand) {
        if (wz == 0) {
            if (info->flags & kFlagSizeZ) {
                wz = info->sizeZ;
                if (wx && wy)
                    gServices.checkDataSizes(info->input, static_cast<uint32_t>(s), nullptr, &wx,
                                             &wy, &wz, &info->flags);
            } else {
                wz = 1;
            }
        }
        gServices.guessSizesFromCount(&wx, &wy, &wz, info->flags, s > 1 ? n / s : n);
    }
    if (wz == 0) wz = 1;

    LayoutSetSizes(info, sd, wx, wy, wz);

    if (haveOverride) {
        if (over.type != info->input.type || over.bits != info->input.bits ||
            over.channels != info->input.channels) {
            LayoutStoreType(info, over.type, over.bits, over.channels);
            l->type = info->input.type;
            l->bits = info->input.bits;
            l->channels = info->input.channels;
        }
    } else if (overrideChannels) {
        uint32_t ch = std::min(overrideChannels, kMaxChannels);
        if (ch != info->input.channels) {
            info->input.channels = ch;
            DataSetInfoUpdateType(*info);
        }
        l->channels = ch;
    }

    if (info->NoFrameTable()) {
        if (info->sections == 0) {
            info->sections = 1;
            info->flags &= ~kFlagSections;
        }
        uint32_t frames = SectionCount(*info, info->sections, length);
        if (frames == 0) {
            info->sections = 1;
            frames = SectionCount(*info, 1, length);
        }
        const bool notStated = !(info->flags & kFlagFrames);
        const uint32_t have = DataSetInfoFrameCount(*info);
        if (notStated || have == 0 || have > frames)
            DataSetInfoSetFrameCount(*info, frames, notStated);
    }
    // The frames to use and the playback rate that a description states (and that the
    // program writes into every description it saves) come back with it.
    if (sd && (sd->flags & kFlagFrames) && sd->frames >= 1 && sd->frames < info->TotalFrames())
        info->SetFramesToUse(sd->frames);
    if (sd && sd->fps >= kFpsMin) info->frameRate = sd->fps;
}

// ---- Description services --------------------------------------------------------------------

namespace {

bool SameRequest(const DataSetInfo& a, const DataSetInfo& b) {
    return a.framesToUse == b.framesToUse && a.frameStep == b.frameStep &&
           a.sections == b.sections && a.channelMode == b.channelMode &&
           a.selectedChannel == b.selectedChannel && a.scale == b.scale && a.zero == b.zero &&
           a.sizeX == b.sizeX && a.sizeY == b.sizeY && a.sizeZ == b.sizeZ &&
           a.cropX == b.cropX && a.cropY == b.cropY && a.cropZ == b.cropZ &&
           a.cropSizeX == b.cropSizeX && a.cropSizeY == b.cropSizeY &&
           a.cropSizeZ == b.cropSizeZ && a.weights == b.weights;
}

}  // namespace

bool DataSetInfoEqual(const DataSetInfo& a, const DataSetInfo& b) {
    return a.input.type == b.input.type && a.input.bits == b.input.bits &&
           a.input.channels == b.input.channels && SameRequest(a, b);
}

bool DataSetInfoEqualLayout(const DataSetInfo& a, const DataSetInfo& b) { return SameRequest(a, b); }

bool DataSetInfoCopy(DataSetInfo* d, const DataSetInfo* s) {
    if (d == nullptr || s == nullptr || s->framesToUse == 0) return false;
    if (d == s) return true;
    d->nativeOrder = s->nativeOrder;
    d->input = s->input;
    d->flagBytes[0] = s->flagBytes[0];
    d->flagBytes[1] = s->flagBytes[1];
    d->weights.clear();
    d->selectedChannel = s->selectedChannel;
    d->scale = s->scale;
    d->zero = s->zero;
    d->inverseScale = s->inverseScale;
    d->hasBlank = s->hasBlank;
    d->planarChannels = s->planarChannels;
    d->blank = s->blank;
    d->channelMode = s->channelMode;
    d->workType = s->workType;
    d->workBytes = s->workBytes;
    d->workChannels = s->workChannels;
    d->channelFactor = s->channelFactor;
    d->channelFactorInverse = s->channelFactorInverse;
    try {
        d->weights = s->weights;
    } catch (const std::bad_alloc&) {
        d->weights.clear();
    }
    d->kernelSet = s->kernelSet;
    d->dataBegin = s->dataBegin;
    d->dataEnd = s->dataEnd;
    d->headerSize = s->headerSize;
    d->cropX = s->cropX;
    d->cropY = s->cropY;
    d->cropZ = s->cropZ;
    d->cropSizeX = s->cropSizeX;
    d->cropSizeY = s->cropSizeY;
    d->cropSizeZ = s->cropSizeZ;
    d->sizeX = s->sizeX;
    d->sizeY = s->sizeY;
    d->sizeZ = s->sizeZ;
    d->sections = s->sections;
    DataSetInfoSetFrameCount(*d, DataSetInfoFrameCount(*s), false);
    d->frameStep = s->frameStep ? s->frameStep : 1;
    d->SetFramesToUse(s->framesToUse);
    d->frameRate = s->frameRate;
    d->flags = s->flags;
    DataSetInfoUpdateType(*d);
    return true;
}

void DefaultRange(const DataSetInfo& info, double* min, double* max) {
    const bool equal = *max == *min;
    *min = 0.0;
    if (equal) {
        const uint32_t t = info.input.type;
        const bool real = (t & 0x50) != 0;
        const bool isUnsigned = (t & 0x100) != 0 && !real;
        switch (real ? 0 : info.input.bits) {
            case 8: *max = isUnsigned ? 255.0 : 127.0; break;
            case 16: *max = isUnsigned ? 65535.0 : 32767.0; break;
            case 32: *max = isUnsigned ? 4294967295.0 : 2147483647.0; break;
            case 64: *max = isUnsigned ? 281474976710655.0 : 140737488355327.0; break;
            default: *max = 1.0; break;
        }
    }
    if (*max < 0) *max = 0.0;
}

uint32_t SectionCount(const DataSetInfo& info, uint32_t groupSize, int64_t length) {
    int64_t bytes = LayoutMulSat(LayoutMulSat(std::max<uint32_t>(1, Bytes(info.input.bits)), info.sizeY),
                           info.sizeX);
    if (info.sizeZ >= 2) bytes = LayoutMulSat(bytes, info.sizeZ);
    if (info.input.channels > 1) bytes = LayoutMulSat(bytes, info.input.channels);
    if (bytes == 0 || info.sizeX == 0) return 1;
    // Whole sections in the data; the header before the data is not part of the length.
    int64_t count = std::max<int64_t>(0, length) / bytes;
    if (count == 0) return 1;
    const int64_t group = groupSize ? groupSize : 1;
    count = count / group + (count % group ? 1 : 0);
    return static_cast<uint32_t>(std::min<int64_t>(count, 0x7FFFFFFF));
}

const char* ChannelModeLabel(uint32_t channels, int32_t mode) {
    if (channels < 2) return "";
    switch (mode) {
        case -4: return "[Mean]";
        case -3: return "[Profile]";
        case -2: return "[Weigh sum.]";
        case -1: return "[Summing]";
        case 0: return "[Asis]";
        case 1: return "[Selected]";
        default: return "[func]";
    }
}

}  // namespace orva
