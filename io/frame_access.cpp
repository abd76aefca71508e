#include "io/frame_access.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

#include "io/data_set.h"

namespace orva {

namespace {

// Records one window of a data set without a frame table may hold at a time.
constexpr uint64_t kRecordWindowMax = 0x100000;

// The largest logical-frame product the mapping takes as it is.
constexpr int64_t kStepProductMax = 0x7FFFFFFF;

}  // namespace

uint32_t MapFrameByStep(int32_t step, uint32_t frames, int64_t n) {
    if (frames == 0 || n < 0) return 0;
    const int64_t last = static_cast<int64_t>(frames) - 1;
    if (step == 0) return n == 0 ? 0 : static_cast<uint32_t>(last);
    const int64_t a = step < 0 ? -static_cast<int64_t>(step) : step;
    // n and |step| are below 2^31 each as the frame words hold them; a wider n is
    // capped first so that the product cannot overflow.
    int64_t p = (n > kStepProductMax ? kStepProductMax + 1 : n) * a;
    if (p > kStepProductMax) p = kStepProductMax / a;
    if (step > 0) return static_cast<uint32_t>(p < last ? p : last);
    return p > last ? 0 : static_cast<uint32_t>(last - p);
}

uint32_t MapFrameByStep(const DataSetInfo& info, int64_t logicalFrame) {
    return MapFrameByStep(info.frameStep, info.TotalFrames(), logicalFrame);
}

namespace {

// The entry of a file frame in a table, or nullptr when the table does not hold it.
const FrameIndexEntry* TableEntry(const SectionFrameTable* t, uint32_t fileFrame) {
    if (t == nullptr || fileFrame < t->firstFrame) return nullptr;
    const uint32_t i = fileFrame - t->firstFrame;
    if (i >= t->frameCount || i >= t->frames.size()) return nullptr;
    return &t->frames[i];
}

}  // namespace

uint32_t FrameTableSectionCount(const SectionFrameTable* t, uint32_t fileFrame) {
    const FrameIndexEntry* e = TableEntry(t, fileFrame);
    if (e == nullptr || t->partialCount != 0 || t->incomplete) return 0;
    return e->sectionCount;
}

SectionEntry* FrameTableSectionRecordEx(SectionFrameTable* t, uint32_t fileFrame, uint32_t k,
                                        uint32_t* sectionCount) {
    const FrameIndexEntry* e = TableEntry(t, fileFrame);
    if (e == nullptr) return nullptr;
    if (sectionCount != nullptr) *sectionCount = e->sectionCount;
    if (k >= e->sectionCount) return nullptr;
    if (static_cast<uint64_t>(fileFrame) + 1 == t->totalFrames) {
        // The file's last frame, held from its section partialFirst on.
        if (k < t->partialFirst) return nullptr;
        if (t->partialCount != 0 && k - t->partialFirst >= t->partialCount) return nullptr;
        k -= t->partialFirst;
    }
    const uint64_t index = static_cast<uint64_t>(e->firstSection) + k;
    if (index >= t->sections.size()) return nullptr;
    return &t->sections[index];
}

SectionEntry* FrameTableSectionRecord(SectionFrameTable* t, uint32_t fileFrame, uint32_t section) {
    return FrameTableSectionRecordEx(t, fileFrame, section, nullptr);
}

uint32_t FrameSectionCount(const DataSetInfo& info, int64_t logicalFrame) {
    if (!info.frameTable) return info.sections;
    return FrameTableSectionCount(info.frameTable.get(), MapFrameByStep(info, logicalFrame));
}

bool SourceClampCurrentFrame(DataSet* d) {
    if (d == nullptr) return false;
    const uint32_t visited = d->StepFrames();
    if (visited == 0) return false;
    if (d->sectionsInFrame > 0) return true;
    bool moved = false;
    if (d->currentFrame < 0 || static_cast<uint32_t>(d->currentFrame) >= visited) {
        d->currentFrame = d->currentFrame < 0 ? 0 : static_cast<int32_t>(visited - 1);
        moved = true;
    }
    const uint32_t count = FrameSectionCount(*d, d->currentFrame);
    d->sectionsInFrame = static_cast<int32_t>(count > 0x7FFFFFFFu ? 0x7FFFFFFFu : count);
    if (d->sectionsInFrame == 0) {
        d->currentSection = 0;
        d->cacheValid = d->cacheHasData = 0;
        return false;
    }
    if (d->currentSection < 0 || d->currentSection >= d->sectionsInFrame) {
        d->currentSection = d->currentSection < 0 ? 0 : d->sectionsInFrame - 1;
        moved = true;
    }
    if (moved) d->cacheValid = d->cacheHasData = 0;
    return true;
}

ValueRangeRecord ValueRangeOf(const SectionStatistics& r) {
    ValueRangeRecord v;
    v.min = r.minimum;
    v.max = r.maximum;
    v.rms = r.deviation;
    v.mean = r.mean;
    v.sum = r.total;
    v.count = r.count > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(r.count);
    return v;
}

void StoreValueRange(SectionStatistics* r, const ValueRangeRecord& v) {
    if (r == nullptr) return;
    r->minimum = v.min;
    r->maximum = v.max;
    r->deviation = v.rms;
    r->mean = v.mean;
    r->total = v.sum;
    r->count = v.count < 0 ? 0 : static_cast<uint64_t>(v.count);
}

ValueRangeRecord PhysicalRangeOf(const DataSetInfo& info, const SectionStatistics& record) {
    ValueRangeRecord v = ValueRangeOf(record);
    MapRangeToPhysical(&v, info.scale, info.zero, info.channelFactor);
    return v;
}

SectionStatistics* DataSetSectionRecord(DataSet* d, int32_t frame, int32_t section,
                                        uint32_t* fileFrame) {
    if (d == nullptr || frame < 0 || section < 0) return nullptr;
    const uint32_t visited = d->StepFrames();
    if (static_cast<uint32_t>(frame) >= visited) return nullptr;
    const uint32_t ff = MapFrameByStep(*d, frame);
    if (fileFrame) *fileFrame = ff;
    if (d->frameTable) {
        SectionEntry* e = FrameTableSectionRecord(d->frameTable.get(), ff, static_cast<uint32_t>(section));
        return e ? &e->stats : nullptr;
    }
    if (static_cast<uint32_t>(section) >= d->sections) return nullptr;
    const uint64_t index = static_cast<uint64_t>(section) + static_cast<uint64_t>(d->sections) * frame;
    if (index >= d->recordBase && index - d->recordBase < d->recordWindow.size())
        return &d->recordWindow[index - d->recordBase];
    // Move the window: all records when they fit, else a block starting at the index.
    const uint64_t need = static_cast<uint64_t>(visited) * d->sections;
    uint64_t base = 0, count = need;
    if (need > kRecordWindowMax) {
        base = index;
        count = std::min<uint64_t>(kRecordWindowMax, need - index);
    }
    try {
        d->recordWindow.assign(count, SectionStatistics{});
    } catch (const std::bad_alloc&) {
        d->ClearRecordWindow();
        return nullptr;
    }
    d->recordBase = base;
    return &d->recordWindow[index - base];
}

SectionStatistics* SourceSectionData(DataSet* d, int32_t frame, int32_t section,
                                     uint32_t* fileFrame) {
    if (d == nullptr || frame < 0 || section < 0) return nullptr;
    if (static_cast<uint32_t>(frame) >= d->StepFrames()) return nullptr;
    const uint32_t ff = MapFrameByStep(*d, frame);
    if (fileFrame) *fileFrame = ff;
    if (d->frameTable) {
        SectionEntry* e = FrameTableSectionRecord(d->frameTable.get(), ff, static_cast<uint32_t>(section));
        return (e && e->stats.valid) ? &e->stats : nullptr;
    }
    if (static_cast<uint32_t>(section) >= d->sections) return nullptr;
    const uint64_t index = static_cast<uint64_t>(section) + static_cast<uint64_t>(d->sections) * frame;
    if (index >= d->recordBase && index - d->recordBase < d->recordWindow.size())
        return &d->recordWindow[index - d->recordBase];
    return nullptr;
}

namespace {

// Negative frame or section: the current one, clamped. False when there is none.
bool ResolvePosition(DataSet* d, int32_t* frame, int32_t* section) {
    const uint32_t visited = d->StepFrames();
    if (visited == 0) return false;
    if (*frame < 0) {
        int32_t f = d->currentFrame < 0 ? 0 : d->currentFrame;
        if (static_cast<uint32_t>(f) >= visited) f = static_cast<int32_t>(visited - 1);
        *frame = f;
    }
    if (*section < 0) {
        const uint32_t count = FrameSectionCount(*d, *frame);
        if (count == 0) return false;
        int32_t s = d->currentSection < 0 ? 0 : d->currentSection;
        if (static_cast<uint32_t>(s) >= count) s = static_cast<int32_t>(count - 1);
        *section = s;
    }
    return true;
}

}  // namespace

SectionStatistics* DataSetSectionInfo(DataSet* d, int32_t frame, int32_t section, int mode) {
    if (d == nullptr || !ResolvePosition(d, &frame, &section)) return nullptr;
    uint32_t ff = 0;
    SectionStatistics* r = DataSetSectionRecord(d, frame, section, &ff);
    if (r == nullptr) return nullptr;
    if (!r->valid) {
        if (mode == 2) return nullptr;
        if (!d->statisticsKernel(d, ff, static_cast<uint32_t>(section), r, 0, mode)) return nullptr;
    }
    if (mode != 0 && !r->valid) return nullptr;
    return r;
}

bool DataSetSectionInfoEx(DataSet* d, int32_t frame, int32_t section, void* destination) {
    if (d == nullptr || !ResolvePosition(d, &frame, &section)) return false;
    uint32_t ff = 0;
    SectionStatistics* r = DataSetSectionRecord(d, frame, section, &ff);
    if (r == nullptr) return false;
    return d->previewKernel(d, ff, static_cast<uint32_t>(section), destination,
                            r->valid ? r : nullptr);
}

const SectionStatistics* DataSetTotalInfo(DataSet* d, int mode) {
    if (d == nullptr) return nullptr;
    if (d->cacheValid) return (mode == 0 || d->cache.whole) ? &d->cache : nullptr;
    if (!SourceClampCurrentFrame(d)) {
        d->cacheRawMin = d->cacheRawMax = 0.0;
        return nullptr;
    }
    uint32_t ff = 0;
    SectionStatistics* r = DataSetSectionRecord(d, d->currentFrame, d->currentSection, &ff);
    if (r == nullptr) return nullptr;
    if (!r->valid) {
        if (mode == 2) return nullptr;
        if (!d->statisticsKernel(d, ff, static_cast<uint32_t>(d->currentSection), r, 0, mode))
            return nullptr;
    }
    if (mode != 0 && !r->valid) return nullptr;

    d->cache = *r;
    d->cacheRawMin = r->minimum;
    d->cacheRawMax = r->maximum;
    const double f = d->channelFactor;
    if (!(d->scale == 1.0 && d->zero == 0.0 && f == 1.0)) {
        MulSaturate(&d->cacheRawMin, f, 1.0);
        MulSaturate(&d->cacheRawMax, f, 1.0);
        StoreValueRange(&d->cache, PhysicalRangeOf(*d, *r));
    }
    d->cacheValid = 1;
    d->cacheHasData = r->valid;
    return &d->cache;
}

}  // namespace orva
