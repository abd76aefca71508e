#include "io/data_set_info.h"

#include <cstring>

namespace orva {

void ZeroTriple(SampleFormat* format) {
    if (format) *format = SampleFormat{};
}

void NormaliseReadRequest(SampleFormat* f) {
    if (f == nullptr) return;
    if (f->channels == 0) f->channels = 1;
    if (f->channels > kMaxChannels) f->channels = kMaxChannels;
    f->type = NormalizeFormatWord(f->type);
    const uint32_t width = 8 * FormatElementSize(f->type);
    if (f->bits == 0 || f->bits > width) f->bits = width;
}

uint32_t ClearFlagGroups(uint32_t target, uint32_t request) {
    static const uint32_t kGroups[3] = {0x20C00000u, 0x60000u, 0xE000000u};
    for (uint32_t g : kGroups)
        if (request & g) target &= ~g;
    return target;
}

FormatTag TagFromText(const char* text, size_t length) {
    char bytes[8] = {};
    if (text) {
        if (length == 0) length = std::strlen(text);
        std::memcpy(bytes, text, length < 8 ? length : 8);
    }
    FormatTag tag;
    std::memcpy(tag.w, bytes, 8);
    return tag;
}

const char* TagToText(FormatTag tag) {
    static char buffer[9];
    std::memcpy(buffer, tag.w, 8);
    buffer[8] = 0;
    if (buffer[0] == 0) return buffer;
    for (int i = 0; i < 8 && buffer[i]; ++i) {
        const unsigned char c = static_cast<unsigned char>(buffer[i]);
        if (c < 32 && c != '\t' && c != '\n' && c != '\r') return nullptr;
    }
    return buffer;
}

// ---- DataSetInfo -------------------------------------------------------------------------

DataSetInfo::DataSetInfo() = default;

DataSetInfo::DataSetInfo(FormatTag tag) : formatTag(tag) {}

DataSetInfo::~DataSetInfo() { delete service; }

void DataSetInfo::Reset() {
    framesToUse = 0;
    frameStep = 1;
    frameRate = 20.0;
    flagBytes[0] = flagBytes[1] = 0;
    input = SampleFormat{};
    weights.clear();
    selectedChannel = 1;
    scale = 1.0;
    zero = 0.0;
    inverseScale = 1.0;
    hasBlank = false;
    blank = 0;
    planarChannels = false;
    reservedWords[0] = reservedWords[1] = 0;
    channelMode = kChannelAsIs;
    workType = workBytes = 0;
    workChannels = 1;
    channelFactor = channelFactorInverse = 1.0;
    kernelRow = nullptr;
    kernelSet = nullptr;
    kernel = nullptr;
    // Extended part.
    frameTable.reset();
    output = OutputFormat{};
    output.channels = 0;
    output.axes = 0;
    tagWords[0] = tagWords[1] = 0;
    formatTag = FormatTag{};
    rangeMin = rangeMax = 0.0;
    axisScale[0] = axisScale[1] = 1.0;
    axisZero[0] = axisZero[1] = 0.0;
    delete service;
    service = nullptr;
    notify = nullptr;
    active = 1;
}

void DataSetInfo::SetFramesToUse(uint32_t n) {
    const uint32_t total = TotalFrames();
    if (total && n > total) n = total;
    if (n == 0) n = framesToUse ? framesToUse : 1;
    framesToUse = n;
}

uint32_t DataSetInfo::TotalFrames() const {
    return frameTable ? frameTable->totalFrames : totalFrames;
}

void DataSetInfo::SetTotalFrames(uint32_t n, bool force) {
    if (n == 0) n = 1;
    if (n > 0x7FFFFFFFu) n = 0x7FFFFFFFu;
    totalFrames = n;
    if (force || framesToUse == 0 || framesToUse > n) framesToUse = n;
}

void DataSetInfo::InputFormatChanged() {
    uint32_t ch = input.channels == 0 ? 1 : (input.channels > kMaxChannels ? kMaxChannels
                                                                          : input.channels);
    uint32_t t = NormalizeFormatWord(input.type);
    if (nativeOrder) t &= ~0x80u;
    const uint32_t work = NormalizeFormatWord(t & ~kTypePlanesAsChannels);
    const uint32_t bytes = FormatElementSize(work);
    if (work == workType && bytes == workBytes && ch == workChannels) return;
    workType = work;
    workBytes = bytes;
    workChannels = ch;
    if (selectedChannel < 1) selectedChannel = 1;
    if (selectedChannel > ch) selectedChannel = ch;
    channelFactor = 1.0;
    if (channelMode == kChannelSumming && (work & 0x40) && ch >= 2) {
        uint32_t p = 1;
        while (p < ch) p <<= 1;
        channelFactor = p;
    }
    channelFactorInverse = 1.0 / channelFactor;
    if (weights.size() != ch) weights.clear();
    kernelRow = nullptr;
    kernelSet = nullptr;
    kernel = nullptr;
}

bool DataSetInfo::ValueRange(double* minimum, double* maximum) const {
    if (minimum) *minimum = rangeMin;
    if (maximum) *maximum = rangeMax;
    return !(rangeMax < rangeMin);
}

bool DataSetInfo::FormatChanged() {
    DeriveOutputFormat();
    return true;
}

bool DataSetInfo::Prepare() {
    DeriveOutputFormat();
    return true;
}

ChannelParams DataSetInfo::MakeChannelParams() const {
    ChannelParams p;
    p.selectedChannel = selectedChannel;
    p.scale = scale;
    p.zero = zero;
    p.weights = weights.empty() ? nullptr : const_cast<double*>(weights.data());
    p.weightCount = static_cast<uint32_t>(weights.size());
    p.mode = channelMode;
    p.elementType = workType;
    p.elementSize = workBytes;
    p.channelCount = workChannels;
    ChannelSetSumFactors(&p);
    return p;
}

bool DataSetInfo::SelectChannelKernel(bool) {
    if (kernelSet == nullptr) return true;
    const bool plain = scale == 1.0 && zero == 0.0;
    const ChannelKernel* row =
        ChannelKernelScaled(static_cast<const ChannelKernelIndexEntry*>(kernelSet), !plain);
    kernelRow = row;
    kernel = row ? row + ChannelModeSlot(channelMode) : nullptr;
    return true;
}

uint32_t DataSetInfo::StepFrames() const {
    const uint64_t step = frameStep < 0 ? -static_cast<int64_t>(frameStep) : frameStep;
    if (step == 0) return framesToUse;
    return static_cast<uint32_t>((framesToUse + step - 1) / step);
}

OutputFormat DataSetInfo::DeliveredFormat() const {
    OutputFormat f;
    uint32_t ch = channelMode != kChannelAsIs ? 1 : input.channels;
    if (ch < 1) ch = 1;
    if (ch > kMaxChannels) ch = kMaxChannels;
    f.channels = ch;
    f.type = NormalizeFormatWord((input.type & ~(0x7Fu | 0x80u | kTypePlanesAsChannels)) | 0x40u);
    f.elementSize = FormatElementSize(f.type);
    f.axes = sizeY < 2 ? 1 : (sizeZ < 2 ? 2 : 3);
    return f;
}

void DataSetInfo::DeriveOutputFormat() {
    const OutputFormat f = DeliveredFormat();
    output.channels = f.channels;
    output.type = f.type;
    output.elementSize = f.elementSize;
    output.axes = f.axes;
    framesVisited = static_cast<int32_t>(StepFrames() > 0x7FFFFFFFu ? 0x7FFFFFFFu : StepFrames());
    if (!frameTable) {
        geometrySize[0] = sizeX;
        geometrySize[1] = sizeY;
        geometrySize[2] = sizeZ;
        geometrySections = static_cast<int32_t>(sections > 0x7FFFFFFFu ? 0x7FFFFFFFu : sections);
        geometryFlags[0] = geometryFlags[1] = 1;
    }
}

}  // namespace orva
