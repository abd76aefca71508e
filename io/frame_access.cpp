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

uint32_t TableSectionCount(const SectionFrameTable& t, uint32_t fileFrame) {
    if (t.incomplete || fileFrame < t.firstFrame) return 0;
    const uint32_t i = fileFrame - t.firstFrame;
    if (i >= t.frameCount || i >= t.frames.size()) return 0;
    return t.frames[i].sectionCount;
}

uint32_t SectionsOfFrame(const DataSet* d, int32_t frame) {
    if (d->frameTable) return TableSectionCount(*d->frameTable, MapFrameByStep(*d, frame));
    return d->sections;
}

// Product of a value and a factor that never overflows to infinity.
double MulSaturated(double v, double f) {
    if (f == 0.0) return 0.0;
    if (std::fabs(f) >= 1.0 && std::fabs(v) > DBL_MAX / std::fabs(f))
        return ((v < 0) != (f < 0)) ? -DBL_MAX : DBL_MAX;
    return v * f;
}

}  // namespace

uint32_t MapFrameByStep(int32_t step, uint32_t frames, int64_t f) {
    if (frames == 0 || f <= 0) return (frames != 0 && f == 0 && step < 0) ? frames - 1 : 0;
    const int64_t a = step == 0 ? 1 : (step < 0 ? -static_cast<int64_t>(step) : step);
    // |step| and f are below 2^31 each, so the product fits.
    const int64_t k = f * a;
    const int64_t n = frames;
    if (step >= 0) return static_cast<uint32_t>(k < n - 1 ? k : n - 1);
    if (k >= n) return 0;
    return static_cast<uint32_t>(n - 1 - k);
}

uint32_t MapFrameByStep(const DataSetInfo& info, int64_t logicalFrame) {
    return MapFrameByStep(info.frameStep, info.TotalFrames(), logicalFrame);
}

SectionEntry* FrameTableSectionRecord(SectionFrameTable* t, uint32_t fileFrame, uint32_t section) {
    if (t == nullptr || fileFrame < t->firstFrame) return nullptr;
    const uint32_t i = fileFrame - t->firstFrame;
    if (i >= t->frameCount || i >= t->frames.size()) return nullptr;
    const FrameIndexEntry& e = t->frames[i];
    uint64_t index;
    if (t->partialCount != 0 && i + 1 == t->frameCount) {
        if (section < t->partialFirst || section - t->partialFirst >= t->partialCount) return nullptr;
        index = static_cast<uint64_t>(e.firstSection) + (section - t->partialFirst);
    } else {
        if (section >= e.sectionCount) return nullptr;
        index = static_cast<uint64_t>(e.firstSection) + section;
    }
    if (index >= t->sections.size()) return nullptr;
    return &t->sections[index];
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
        const uint32_t count = SectionsOfFrame(d, *frame);
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
    const uint32_t visited = d->StepFrames();
    if (visited == 0) return nullptr;
    bool clamped = false;
    if (d->sectionsInFrame < 0) {
        if (d->currentFrame < 0 || static_cast<uint32_t>(d->currentFrame) >= visited) {
            d->currentFrame = d->currentFrame < 0 ? 0 : static_cast<int32_t>(visited - 1);
            clamped = true;
        }
        const uint32_t count = SectionsOfFrame(d, d->currentFrame);
        d->sectionsInFrame = static_cast<int32_t>(count > 0x7FFFFFFFu ? 0x7FFFFFFFu : count);
    }
    if (d->sectionsInFrame == 0) {
        d->currentSection = 0;
        d->cacheRawMin = d->cacheRawMax = 0.0;
        return nullptr;
    }
    if (d->currentSection >= d->sectionsInFrame || d->currentSection < 0) {
        d->currentSection = d->currentSection < 0 ? 0 : d->sectionsInFrame - 1;
        clamped = true;
    }
    if (clamped) d->cacheRawMin = d->cacheRawMax = 0.0;

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
        d->cacheRawMin = MulSaturated(r->minimum, f);
        d->cacheRawMax = MulSaturated(r->maximum, f);
        const double s = d->scale;
        auto physical = [&](double v) { return MulSaturated(MulSaturated(v, f), s) + d->zero; };
        double lo = physical(r->minimum), hi = physical(r->maximum);
        if (lo > hi) std::swap(lo, hi);
        d->cache.minimum = lo;
        d->cache.maximum = hi;
        d->cache.mean = physical(r->mean);
        d->cache.deviation = std::fabs(MulSaturated(MulSaturated(r->deviation, f), s));
        d->cache.total = MulSaturated(MulSaturated(r->total, f), s);
    }
    d->cacheValid = 1;
    d->cacheHasData = r->valid;
    return &d->cache;
}

}  // namespace orva
