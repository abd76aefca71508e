#include "io/data_set.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/sample_type.h"
#include "data/element_type.h"
#include "framework/display_lock.h"
#include "io/bit_packed.h"
#include "io/file_layout.h"
#include "io/frame_access.h"
#include "io/input_source.h"
#include "io/output_writer.h"
#include "io/read_kernel.h"
#include "io/redescribe.h"
#include "io/section_stats.h"
#include "io/service_description.h"
#include "io/sign_test.h"

namespace orva {

bool ReadKernelDefault(DataSet*, TypedFrameBuffer*, ReadWindow*) { return false; }
bool StatisticsKernelDefault(DataSet*, uint32_t, uint32_t, SectionStatistics*, int, int) {
    return false;
}
bool PreviewKernelDefault(DataSet*, uint32_t, uint32_t, void*, SectionStatistics*) {
    return false;
}

SectionKernelTable& TheSectionKernels() {
    static SectionKernelTable table{&InputReadKernel2, &InputReadKernel2Swapped, &InputReadKernel3,
                                    &InputReadKernel3Swapped};
    return table;
}

DataSetServices& TheDataSetServices() {
    static DataSetServices services = [] {
        DataSetServices s;
        s.saveServiceDescription = &SaveServiceDescriptionFor;
        s.signednessTest = &SignednessTestHook;
        return s;
    }();
    return services;
}

// ---- Life ------------------------------------------------------------------------------------

DataSet* DataSet::Create(FormatTag tag) { return new DataSet(tag); }

DataSet::DataSet(FormatTag tag) : ComponentBase(nullptr), DataSetInfo(tag) { ResetKernels(); }

DataSet::~DataSet() {
    const DataSetServices& services = TheDataSetServices();
    if (service != nullptr && service->state && stream != nullptr && services.saveServiceFiles &&
        services.saveServiceDescription != nullptr) {
        const std::string name = DataSetFileName(this);
        if (!name.empty()) {
            if (service->positionsValid) service->fileLength = stream->length;
            PrepareRewrite(service, *this);
            // A rewrite that fails leaves the old file, but what this open changed is lost:
            // the user is told as of a settings file that cannot be written.
            std::string fsPath, reason;
            const bool written =
                services.saveServiceDescription == &SaveServiceDescriptionFor
                    ? SaveServiceDescription(service, name.c_str(), nullptr, false, &fsPath, &reason)
                    : services.saveServiceDescription(service, name.c_str()) >= 0;
            if (!written) {
                if (fsPath.empty()) {
                    char path[kPathMax];
                    fsPath = PathReplaceExtension(path, SourceNamePath(name.c_str()), ".fs") ? path : name;
                }
                const std::string text = "the description could not be saved in '" + fsPath + "'" +
                                         (reason.empty() ? std::string() : " (" + reason + ")") +
                                         ": the file keeps what it held";
                ShowError(text.c_str());
            }
        }
    }
    SectionPreviewForget(this);
    format = nullptr;
    if (formatInfo != nullptr) formatInfo->Release();
    formatInfo = nullptr;
    StreamClose(&stream);
    ClearRecordWindow();
    staging.Free();
    conversion.Free();
}

bool DataSet::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    DataSet* copy = Create(formatTag);
    *out = copy;
    return copy != nullptr;
}

bool DataSet::QueryInterface(const ComponentId* id, void** out) {
    if (id == nullptr) return false;
    if (SameComponentId(id, &kDataSetId) || SameComponentId(id, &kBaseId)) {
        if (out != nullptr) {
            AddRef();
            *out = static_cast<ComponentObject*>(this);
        }
        return true;
    }
    if (SameComponentId(id, &kFormatInfoId) && formatInfo != nullptr)
        return formatInfo->QueryInterface(id, out);
    if (SameComponentId(id, &kOutputHeaderRecordId)) {
        if (formatInfo == nullptr || formatInfo->records.empty()) return false;
        if (out != nullptr) *out = const_cast<std::vector<HeaderRecord>*>(&formatInfo->records);
        return true;
    }
    if (SameComponentId(id, &kFormatInfoId) && hasSampleFormat) {
        if (out != nullptr) *out = &sampleFormat;
        return true;
    }
    if (SameComponentId(id, &kFrameTableId) && frameTable) {
        if (out != nullptr) *out = frameTable.get();
        return true;
    }
    return false;
}

// ---- Attach ----------------------------------------------------------------------------------

void DataSet::ClearRecordWindow() {
    recordWindow.clear();
    recordWindow.shrink_to_fit();
    recordBase = 0;
}

void DataSet::ComputeElementSizes() {
    const uint32_t t = NormalizeFormatWord(input.type);
    elementBytes = FormatElementSize(t);
    uint32_t channels = input.channels == 0 ? 1 : input.channels;
    if (channels > kMaxChannels) channels = kMaxChannels;
    pixelBytes = elementBytes;
    if (channels > 1 && !(t & kTypePlanesAsChannels)) pixelBytes = elementBytes * channels;
    bufferWords[0] = bufferWords[1] = 0;
}

bool DataSet::AttachInput(InputSource* source, StreamRecord* newStream, const DataSetLayout* layout) {
    if (source == nullptr || newStream == nullptr || source->format == nullptr) return false;
    format = source->format;
    if (stream != newStream) {
        ++newStream->refCount;
        StreamClose(&stream);
        stream = newStream;
    }
    FormatInfo* info = layout != nullptr ? layout->formatInfo : nullptr;
    if (info != formatInfo) {
        if (info != nullptr) info->AddRef();
        if (formatInfo != nullptr) formatInfo->Release();
        formatInfo = info;
    }
    if (layout != nullptr) {
        hasSampleFormat = layout->hasSampleFormat;
        sampleFormat = layout->sampleFormat;
        frameTable = layout->frameTable;
    } else {
        hasSampleFormat = false;
        sampleFormat = LayoutSampleFormat{};
        frameTable.reset();
    }
    conversionFlag = 0;
    conversionWords[0] = conversionWords[1] = 0;
    conversionFactor = 1.0;
    cacheValid = cacheHasData = 0;
    ClearRecordWindow();
    DescriptionChanged();
    currentFrame = currentSection = 0;
    sectionsInFrame = -1;
    KeepFileDescription();
    DeriveOutputFormat();

    if ((input.bits == 0 && (input.type & 0x7F) == 0) || input.channels == 0) {
        ResetKernels();
        return true;
    }
    InputFormatChanged();
    ComputeElementSizes();
    if (elementBytes == 0) {
        pixelBytes = 0;
        ResetKernels();
        return true;
    }
    PrepareRead();

    const DataSetServices& services = TheDataSetServices();
    if ((input.type & 0x2F) && !(input.type & 0x50) && services.detectUnsignedInt &&
        signTestPending && !(flags & kFlagSign))
        RunSignednessTest();

    uint32_t fileFrame = 0;
    if (StepFrames() > 0) {
        SectionStatistics* record = DataSetSectionRecord(this, 0, 0, &fileFrame);
        if (record != nullptr) statisticsKernel(this, fileFrame, 0, record, 1, 0);
    }
    return true;
}

void DataSet::RunSignednessTest() {
    const DataSetServices& services = TheDataSetServices();
    signTestPending = 0;
    if (services.signednessTest == nullptr) return;
    uint32_t favoured = input.type;
    const int probability = services.signednessTest(this, &favoured);
    if (probability <= 0) return;
    const uint32_t wantUnsigned = favoured & 0x100;
    const bool changed = (input.type & 0x100) != wantUnsigned;
    LogPrintf("Test:\n\t '%s' - probably %d%% : type %s%s...", stream ? stream->name.c_str() : "",
              probability, wantUnsigned ? "unsigned" : "signed", changed ? " (changed)" : "");
    if (!changed) return;
    input.type = (input.type & ~0x100u) | wantUnsigned;
    InputFormatChanged();
    ComputeElementSizes();
    PrepareRead();
    // What the test found counts as what the file gave.
    KeepFileDescription();
}

void DataSet::KeepFileDescription() {
    readState = MakeReadState(this);
    readState->TakeSnapshot(this, 1);
    statedScale = scale;
    statedZero = zero;
    statedType = input.type;
}

bool DataSet::ValueRange(double* minimum, double* maximum) const {
    double low = rangeMin, high = rangeMax;
    bool holds = !(high < low);
    const bool added =
        input.channels > 1 && (channelMode == kChannelSumming || channelMode == kChannelWeighted ||
                               channelMode == kChannelProfile);
    // What the description held at the attach is known once the input is attached.
    const bool attached = readState != nullptr;
    if (holds && (added || (attached && input.type != statedType))) holds = false;
    if (holds && attached && (scale != statedScale || zero != statedZero)) {
        // The stated range in stored units, shown in the units the description now gives.
        if (!std::isfinite(statedScale) || std::fabs(statedScale) < DBL_MIN) {
            holds = false;
        } else {
            low = (low - statedZero) / statedScale * scale + zero;
            high = (high - statedZero) / statedScale * scale + zero;
            if (high < low) std::swap(low, high);
            holds = std::isfinite(low) && std::isfinite(high);
        }
    }
    if (!holds) low = 1.0, high = 0.0;
    if (minimum) *minimum = low;
    if (maximum) *maximum = high;
    return holds;
}

// ---- Stored data -----------------------------------------------------------------------------

int64_t DataSet::ReadPlanar(uint64_t v, void* buffer, uint64_t bytes) {
    // v counts bytes of the data as if each pixel held its channels one after another.
    const uint64_t E = elementBytes, C = input.channels, pixelBytes = E * C;
    uint64_t P = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(sizeX), static_cast<uint64_t>(sizeY), &P))
        return -1;
    const uint64_t first = v / pixelBytes, last = (v + bytes - 1) / pixelBytes,
                   count = last - first + 1;
    thread_local std::vector<uint8_t> pixels, run;
    try {
        pixels.resize(static_cast<size_t>(count * pixelBytes));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    // Each channel of each plane the pixels span is read as one run and spread into them.
    uint64_t whole = count;  // pixels that arrived with every channel
    for (uint64_t n = first; n <= last && n - first < whole;) {
        const uint64_t plane = n / P, within = n % P;
        const uint64_t m = std::min(last + 1 - n, P - within);
        for (uint64_t c = 0; c < C; ++c) {
            uint64_t at = 0;
            if (__builtin_mul_overflow(plane, C, &at) || __builtin_add_overflow(at, c, &at) ||
                __builtin_mul_overflow(at, P, &at) || __builtin_add_overflow(at, within, &at) ||
                __builtin_mul_overflow(at, E, &at) ||
                __builtin_add_overflow(at, static_cast<uint64_t>(dataBegin), &at) ||
                at > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
                whole = std::min(whole, n - first);
                break;
            }
            try {
                run.resize(static_cast<size_t>(m * E));
            } catch (const std::bad_alloc&) {
                return -1;
            }
            const int64_t got =
                StreamRead(stream, static_cast<int64_t>(at), run.data(), run.size());
            if (got < 0) return -1;
            const uint64_t samples = static_cast<uint64_t>(got) / E;
            if (samples < m) whole = std::min(whole, n - first + samples);
            uint8_t* to = pixels.data() + (n - first) * pixelBytes + c * E;
            for (uint64_t i = 0; i < samples; ++i)
                std::memcpy(to + i * pixelBytes, run.data() + i * E, E);
        }
        n += m;
    }
    const uint64_t within = v - first * pixelBytes;
    const uint64_t available = whole * pixelBytes > within ? whole * pixelBytes - within : 0;
    const uint64_t delivered = std::min(bytes, available);
    std::memcpy(buffer, pixels.data() + within, static_cast<size_t>(delivered));
    return static_cast<int64_t>(delivered);
}

int64_t DataSet::ReadableLength() const {
    if (stream == nullptr || stream->length <= 0) return 0;
    if (!IsBitPacked(input.bits) || elementBytes == 0 || dataBegin < 0 || dataBegin >= stream->length)
        return stream->length;
    const int64_t end = dataEnd > dataBegin && dataEnd < stream->length ? dataEnd : stream->length;
    const int64_t unpacked = UnpackedLength(end - dataBegin, input.bits, elementBytes);
    return unpacked > std::numeric_limits<int64_t>::max() - dataBegin ? std::numeric_limits<int64_t>::max()
                                                                      : dataBegin + unpacked;
}

int64_t DataSet::ReadStored(uint64_t offset, void* buffer, uint64_t bytes) {
    if (stream == nullptr || buffer == nullptr) return -1;
    const int64_t readable = ReadableLength();
    if (readable <= 0 || offset >= static_cast<uint64_t>(readable)) return 0;
    bytes = std::min(bytes, static_cast<uint64_t>(readable) - offset);
    if (planarChannels && input.channels > 1 && !IsBitPacked(input.bits) && elementBytes != 0 &&
        dataBegin >= 0 && offset >= static_cast<uint64_t>(dataBegin) && sizeX > 0 && sizeY > 0)
        return ReadPlanar(offset - static_cast<uint64_t>(dataBegin), buffer, bytes);
    if (!IsBitPacked(input.bits) || elementBytes == 0 || dataBegin < 0 || offset < static_cast<uint64_t>(dataBegin))
        return StreamRead(stream, static_cast<int64_t>(offset), buffer, static_cast<size_t>(bytes));
    // The samples that cover the bytes asked for, unpacked into a scratch block.
    const uint64_t E = elementBytes, n = input.bits;
    const uint64_t v = offset - static_cast<uint64_t>(dataBegin);
    const uint64_t first = v / E, last = (v + bytes - 1) / E, count = last - first + 1;
    const uint64_t firstBit = first * n;  // first < 2^63 / 4 samples: no overflow
    const uint64_t from = firstBit / 8, to = ((last + 1) * n + 7) / 8;
    thread_local std::vector<uint8_t> packed, unpacked;
    try {
        packed.resize(static_cast<size_t>(to - from));
        unpacked.resize(static_cast<size_t>(count * E));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const int64_t got = StreamRead(stream, dataBegin + static_cast<int64_t>(from), packed.data(), packed.size());
    if (got < 0) return -1;
    // Whole samples only: a short read delivers what it holds.
    const uint64_t gotBits = static_cast<uint64_t>(got) * 8;
    const uint64_t whole = gotBits > firstBit % 8 ? std::min<uint64_t>(count, (gotBits - firstBit % 8) / n) : 0;
    UnpackBits(packed.data(), firstBit % 8, input.bits, whole, (input.type & kElemUnsigned) == 0,
               elementBytes, unpacked.data());
    const uint64_t within = v - first * E;
    const uint64_t available = whole * E > within ? whole * E - within : 0;
    const uint64_t delivered = std::min(bytes, available);
    std::memcpy(buffer, unpacked.data() + within, static_cast<size_t>(delivered));
    return static_cast<int64_t>(delivered);
}

// ---- Kernels ---------------------------------------------------------------------------------

void DataSet::ResetKernels() {
    DescriptionChanged();
    windowKernel = &ReadKernelDefault;
    statisticsKernel = &StatisticsKernelDefault;
    previewKernel = &PreviewKernelDefault;
}

void DataSet::ResetRead() {
    ResetKernels();
    keptPlane.Drop(true);
    staging.Free();
    chunkPixels = 0;
    conversion.Free();
    conversionFlag = 0;
    conversionWords[0] = conversionWords[1] = 0;
    conversionFactor = 1.0;
    readKernel = plainKernel = nullptr;
    LogPrintf("%s", "#input(): unknow input type");
}

bool DataSet::ChooseKernels() {
    InputFormatChanged();
    channelParams = MakeChannelParams();
    const ChannelKernelIndexEntry* entry = ChannelKernelFind(&channelParams, workType);
    if (entry == nullptr) return false;
    swapped = ElementIsSwapped(workType);
    swapRoutine = nullptr;
    if (swapped) {
        const uint32_t channels = workChannels ? workChannels : 1;
        swapRoutine = CopySelect(workBytes, channels, channelMode != kChannelAsIs ? 1 : channels);
        if (swapRoutine == nullptr) return false;
    }
    ChannelKernelChoice choice;
    if (!ChannelKernelChoose(&channelParams, &choice)) return false;
    if (hasBlank && !ElementIsReal(workType) && !ChannelKernelMarkBlanks(&channelParams, blank, &choice))
        LogPrintf("blank value %lld does not fit the samples: ignored", static_cast<long long>(blank));
    readKernel = choice.read;
    plainKernel = choice.stats;
    const bool plain = scale == 1.0 && zero == 0.0;
    const ChannelKernel* row = ChannelKernelScaled(entry, !plain);
    kernelSet = entry;
    kernelRow = row;
    kernel = row ? row + ChannelModeSlot(channelMode) : nullptr;
    return readKernel != nullptr;
}

bool DataSet::PrepareRead() {
    DescriptionChanged();
    const uint32_t outChannels = OutputChannels() ? OutputChannels() : 1;
    conversion.size = conversion.block ? conversion.size : 0;
    conversionElementBytes = 8;
    conversionPixelBytes = outChannels > 1 ? 8 * outChannels : 8;
    if (!ChooseKernels()) {
        kernelRow = nullptr;
        kernel = nullptr;
        readKernel = plainKernel = nullptr;
        swapRoutine = nullptr;
        ResetRead();
        return false;
    }
    windowKernel = swapped ? &InputReadKernel1Swapped : &InputReadKernel1;
    const SectionKernelTable& table = TheSectionKernels();
    statisticsKernel = swapped ? table.statisticsSwapped : table.statistics;
    previewKernel = swapped ? table.previewSwapped : table.preview;
    if (statisticsKernel == nullptr) statisticsKernel = &StatisticsKernelDefault;
    if (previewKernel == nullptr) previewKernel = &PreviewKernelDefault;
    return true;
}

void DataSet::ForgetStatistics() {
    DescriptionChanged();
    ClearRecordWindow();
    cacheValid = cacheHasData = 0;
    if (frameTable)
        for (SectionEntry& entry : frameTable->sections) entry.stats = SectionStatistics{};
    SectionPreviewForget(this);
}

bool DataSet::FormatChanged() {
    // Whatever changed, the statistics kept describe the former reading.
    ForgetStatistics();
    if (input.channels && (input.bits || (input.type & 0x7F))) {
        InputFormatChanged();
        ComputeElementSizes();
        if (elementBytes == 0) {
            pixelBytes = 0;
            DeriveOutputFormat();
            cacheValid = cacheHasData = 0;
            ClearRecordWindow();
            ResetRead();
            return false;
        }
    }
    conversionFlag = 0;
    conversionWords[0] = conversionWords[1] = 0;
    conversionFactor = 1.0;
    return Prepare();
}

bool DataSet::Prepare() {
    DeriveOutputFormat();
    sectionsInFrame = -1;
    cacheValid = 0;
    return PrepareRead();
}

bool DataSet::SelectChannelKernel(bool clearConversion) {
    if (clearConversion) {
        conversionFlag = 0;
        conversionWords[0] = conversionWords[1] = 0;
        conversionFactor = 1.0;
    }
    if (input.channels == 0 || (input.type & 0x7F) == 0) return true;
    PrepareRead();
    return true;
}

void DataSet::DeriveOutputFormat() {
    DataSetInfo::DeriveOutputFormat();
    if (frameTable && !frameTable->sections.empty()) {
        const SectionGeometry& g = frameTable->sections.front().geometry;
        geometrySize[0] = static_cast<int64_t>(g.rowLength);
        geometrySize[1] = static_cast<int64_t>(g.rows);
        geometrySize[2] = static_cast<int64_t>(g.planes);
        geometrySections = frameTable->frames.empty()
                               ? 0
                               : static_cast<int32_t>(frameTable->frames.front().sectionCount);
        geometryFlags[0] = geometryFlags[1] = 1;
    }
}

bool DataSet::SetOutputFormat(const OutputFormat* f) {
    if (f == nullptr || (f->type & 0x7F) == 0 || f->channels == 0) {
        output = OutputFormat{};
        output.elementSize = 1;
        ResetKernels();
        return true;
    }
    if (input.channels && f->channels != OutputChannels()) return false;
    output = *f;
    if ((input.type & 0x7F) && input.channels) return PrepareRead();
    ResetKernels();
    return true;
}

// ---- Position and names ----------------------------------------------------------------------

bool DataSet::SelectPosition(int32_t frame, int32_t section) {
    const uint32_t visited = StepFrames();
    if (visited == 0 || TotalFrames() == 0) return false;
    const int32_t oldFrame = currentFrame, oldSection = currentSection;
    if (frame >= 0) currentFrame = static_cast<uint32_t>(frame) >= visited ? static_cast<int32_t>(visited - 1) : frame;
    if (section >= 0) currentSection = section;
    // The count is taken again: the frame table may have changed since.
    sectionsInFrame = -1;
    if (!SourceClampCurrentFrame(this)) return false;
    const bool changed = currentFrame != oldFrame || currentSection != oldSection;
    if (changed) {
        cacheValid = 0;
        // The plane of the former position is not read again soon.
        keptPlane.Drop();
    }
    return changed;
}

const char* DataSet::TagText() const {
    FormatTag tag = (hasSampleFormat && !sampleFormat.tag.IsZero()) ? sampleFormat.tag : formatTag;
    const char* text = TagToText(tag);
    if (text != nullptr && text[0] != 0) return text;
    return format ? format->name : nullptr;
}

const char* DataSet::OwnTagText() const {
    const char* text = TagToText(formatTag);
    if (text != nullptr && text[0] != 0) return text;
    return format ? format->name : nullptr;
}

bool DataSet::FormatInfoText(uint32_t id, char* buffer, size_t size) const {
    if (format == nullptr || format->info == nullptr || size < 3 || buffer == nullptr) return false;
    size_t used = strnlen(buffer, size);
    if (used > 0) {
        if (used >= size - 1) return false;
        buffer[used++] = ' ';
        buffer[used] = 0;
    }
    // The information operation reads the reader's component (a FormatInfo*), or nothing.
    return format->info(formatInfo, id, buffer + used, size - used);
}

// ---- Helpers ---------------------------------------------------------------------------------

bool DataSetElementType(const DataSet* d, SampleFormat* out) {
    if (out == nullptr) return false;
    *out = SampleFormat{};
    if (d == nullptr) return false;
    if (d->hasSampleFormat && (d->sampleFormat.type & 0x7F)) {
        if (!(d->sampleFormat.type & 0x2F) || (d->sampleFormat.type & 0x50)) return false;
        out->type = d->sampleFormat.type;
        out->bits = d->sampleFormat.bits;
        return true;
    }
    if ((d->flags & kFlagSampleSize) && (d->input.type & 0x2F) && !(d->input.type & 0x50)) {
        out->type = d->input.type;
        out->bits = d->input.bits;
        return true;
    }
    return false;
}

bool ScaleMinMax(const DataSet* d, double* minimum, double* maximum) {
    double lo = DBL_MAX, hi = -DBL_MAX;
    if (d != nullptr && (d->input.type & 0x7F)) SampleTypeRange(d->input.type, &lo, &hi);
    bool ok = !(lo > hi) && d != nullptr && (d->input.type & 0x7F);
    if (ok) {
        ScaleOffsetSaturate(&lo, d->scale, d->zero);
        ScaleOffsetSaturate(&hi, d->scale, d->zero);
    }
    if (minimum) *minimum = lo;
    if (maximum) *maximum = hi;
    return ok;
}

bool ApplyCropRegion(DataSetInfo* info, const InputRegion& region) {
    if (info == nullptr) return false;
    int64_t* pos[3] = {&info->cropX, &info->cropY, &info->cropZ};
    int64_t* len[3] = {&info->cropSizeX, &info->cropSizeY, &info->cropSizeZ};
    const int64_t full[3] = {info->sizeX, info->sizeY, info->sizeZ};
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
        const int64_t n = full[i] > 0 ? full[i] : 0;
        int64_t p = region.position[i];
        if (p <= 0)
            p = 0;
        else if (p >= n)
            p = n > 0 ? n - 1 : 0;
        int64_t s = region.size[i];
        if (s < 0)
            s = *len[i];
        else if (s == 0 || s > n)
            s = n;
        if (s > n - p) s = n - p;
        if (p < 0) p = 0;
        if (s <= 0) s = 1;
        if (p != *pos[i] || s != *len[i]) changed = true;
        *pos[i] = p;
        *len[i] = s;
    }
    return changed;
}

bool SetInputRegion(DataSet* d, const InputRegion* region) {
    if (d == nullptr || region == nullptr || d->StepFrames() == 0 || d->TotalFrames() == 0)
        return false;
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = ApplyCropRegion(d, *region);
        if (changed) d->FormatChanged();
    }
    if (changed && d->notify) d->notify->PropertiesChanged();
    return changed;
}

std::string DataSetFileName(const DataSet* d) {
    if (d == nullptr) return std::string();
    std::string name;
    if (!d->sourceName.empty()) {
        const char* path = SourceNamePath(d->sourceName.c_str());
        if (path != nullptr) name = path;
    }
    const StreamRecord* s = d->stream;
    if (name.empty() && s != nullptr) name = s->name;
    if (name.empty() && s != nullptr && s->hasSecondName && !(s->mode & kStreamTemporary)) name = s->secondName;
    return name;
}

bool DataSetRefreshKernels(DataSet* d) {
    if (d == nullptr) return false;
    const bool ok = d->Prepare();
    if (ok) {
        if (d->notify) d->notify->KernelsRefreshed();
        if (d->kernelRow == nullptr || d->kernel == nullptr || d->plainKernel == nullptr)
            d->ResetKernels();
    }
    return ok;
}

}  // namespace orva
