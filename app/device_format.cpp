#include "app/device_format.h"

#include "app/graphics_window.h"
#include "framework/component.h"
#include "framework/format_request.h"

namespace orva {

void DeviceFormatNormalize(DeviceFormatRequest* r) {
    if (r == nullptr) return;
    r->count = ClampFormatChannels(r->count);
    r->format = NormalizeFormatWord(r->format);
    r->elementClass = FormatElementSize(r->format);
    r->planes = ClampFormatDims(r->planes);
}

void DeviceDataFormat::Reset() {
    elementClass = rowBytes = 0;
    cachedFrame = nullptr;
    cachedFlag = 0;
    count = format = sampleCount = 0;
    DeviceFormatFreeItems(this);
}

void DeviceFormatFreeItems(DeviceDataFormat* format) {
    if (format == nullptr) return;
    ItemArrayFreeStrings(&format->items);
    ItemArrayTrimSpare(&format->items);
}

namespace {

// (samples + 1) x class (x count unless one row per channel), or 0 when it does not fit.
uint32_t RowBytes(uint32_t samples, uint32_t elementClass, uint32_t count, uint32_t formatWord) {
    uint64_t bytes = (static_cast<uint64_t>(samples) + 1) * elementClass;
    if ((formatWord & kFormatRowPerChannel) == 0) bytes *= count;
    return bytes > 0xFFFFFFFFu ? 0u : static_cast<uint32_t>(bytes);
}

}  // namespace

void DeviceFormatUpdateRowSize(DeviceDataFormat* f) {
    if (f == nullptr) return;
    f->rowBytes = RowBytes(f->sampleCount, f->elementClass, f->count == 0 ? 1 : f->count, f->format);
}

bool DeviceFormatSetup(DeviceDataFormat* f, uint32_t count, uint32_t formatWord) {
    if (f == nullptr) return false;
    const uint32_t word = NormalizeFormatWord(formatWord);
    if (f->elementClass != 0 && f->rowBytes != 0 && f->count == count && f->format == word) return true;
    const uint32_t elementClass = FormatElementSize(word);
    f->format = word;
    f->elementClass = elementClass;
    if (elementClass == 0) {
        f->Reset();
        return false;
    }
    f->count = count == 0 ? 1 : count;
    f->rowBytes = RowBytes(f->sampleCount, elementClass, f->count, word);
    f->cachedFrame = nullptr;
    f->cachedFlag = 0;
    if (f->rowBytes == 0) {
        f->Reset();
        return false;
    }
    return true;
}

int32_t CurrentFrameIndex(const FrameIndexState& s, int64_t sourceFrameCount) {
    int64_t c = s.limit;
    if (sourceFrameCount >= 0 && sourceFrameCount < c) c = sourceFrameCount;
    if (c <= 0 || s.locked != 0) return kNoFrame;
    const int64_t i = s.selected - s.offset;
    if (i < 0) return 0;
    if (i < c) return static_cast<int32_t>(i);
    return static_cast<int32_t>(c - 1);
}

int64_t LinkFrameCount(ComponentBase* upstream) {
    if (upstream == nullptr || !ComponentIsLive(upstream)) return 0;
    void* description = upstream->CachedFrameDescription();
    if (description == nullptr) description = upstream->QueryFrameDescription();
    if (description == nullptr) return 0;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return s.frameCount != nullptr ? s.frameCount(description) : -1;
}

}  // namespace orva
