#include "shapes/geometry/region.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace orva {

namespace {

std::atomic<uint32_t> gRectLimit{kRegionMaxRects};

constexpr uint32_t kRectBytes = sizeof(RegionRect);
static_assert(kRectBytes == 16, "four 32-bit words");

// Gives the region a block for n rectangles that holds the first `keep`
// rectangles of its current one. GlobalBuffer takes its blocks from malloc, so
// the old block is freed here once copied. False (region untouched) when n
// passes the limit or memory is short.
bool TakeRectBlock(Region* r, uint32_t n, uint32_t keep) {
    if (n > RegionRectLimit()) return false;
    void* oldBlock = r->block;
    uint32_t oldSize = r->size;
    r->block = nullptr;
    r->size = 0;
    if (!r->GlobalBuffer::Reserve(n * kRectBytes)) {
        r->block = oldBlock;
        r->size = oldSize;
        return false;
    }
    if (keep != 0) std::memcpy(r->block, oldBlock, static_cast<size_t>(keep) * kRectBytes);
    std::free(oldBlock);
    r->rects = static_cast<RegionRect*>(r->block);
    r->capacity = n;
    return true;
}

// The region without a block, rectangles or box.
void DropEverything(Region* r) {
    r->GlobalBuffer::Free();
    r->rects = nullptr;
    r->capacity = 0;
    r->count = 0;
    r->box = RegionRect{0, 0, 0, 0};
    r->SetShapeCode(kRegionCodeEmpty);
}

const RegionRect* BandEnd(const RegionRect* r, const RegionRect* end) {
    const RegionRect* e = r;
    while (e != end && e->y0 == r->y0) ++e;
    return e;
}

// The rectangle joins the last one of the band [top, bot) when it touches or
// overlaps it, else it is appended.
bool UnionMergeRect(Region* result, const RegionRect& r, int32_t top, int32_t bot) {
    if (result->count != 0) {
        RegionRect& last = result->rects[result->count - 1];
        if (last.y0 == top && last.y1 == bot && last.x1 >= r.x0) {
            last.x1 = std::max(last.x1, r.x1);
            return true;
        }
    }
    return RegionAppendRect(result, r.x0, top, r.x1, bot);
}

bool BoxesOverlap(const RegionRect& a, const RegionRect& b) {
    return a.x1 > b.x0 && a.x0 < b.x1 && a.y1 > b.y0 && a.y0 < b.y1;
}

bool BoxContains(const RegionRect& outer, const RegionRect& inner) {
    return outer.x0 <= inner.x0 && outer.y0 <= inner.y0 && outer.x1 >= inner.x1 && outer.y1 >= inner.y1;
}

}  // namespace

uint32_t RegionRectLimit() { return gRectLimit.load(std::memory_order_relaxed); }

void SetRegionRectLimit(uint32_t rects) {
    gRectLimit.store(std::min(rects, kRegionMaxRects), std::memory_order_relaxed);
}

// ---- The region record --------------------------------------------------------------

Region::~Region() { Region::Free(); }

Region* Region::New(uint32_t n) {
    if (n > RegionRectLimit()) return nullptr;
    auto* r = new (std::nothrow) Region;
    if (r == nullptr) return nullptr;
    r->flags |= kRegionHeapFlag;
    if (n > 0 && !TakeRectBlock(r, n, 0)) {
        delete r;
        return nullptr;
    }
    return r;
}

void Region::Release() {
    if (flags & kRegionHeapFlag) delete this;
    else Free();
}

void Region::Free() { DropEverything(this); }

void Region::Clear() { Free(); }

void Region::MakeEmpty() {
    count = 0;
    box = RegionRect{0, 0, 0, 0};
    SetShapeCode(kRegionCodeEmpty);
    rects = nullptr;
}

void Region::ResetCount() {
    count = 0;
    box = RegionRect{0, 0, 0, 0};
    SetShapeCode(kRegionCodeEmpty);
}

bool Region::ReserveExact(uint32_t n) {
    ResetCount();
    if (capacity >= n) {
        rects = static_cast<RegionRect*>(block);
        return true;
    }
    return TakeRectBlock(this, n, 0);
}

void Region::RecomputeBox() {
    if (count == 0) {
        box = RegionRect{0, 0, 0, 0};
        rects = nullptr;
        SetShapeCode(kRegionCodeEmpty);
        return;
    }
    RegionRect b{rects[0].x0, rects[0].y0, rects[count - 1].x1, rects[count - 1].y1};
    for (uint32_t i = 0; i < count; ++i) {
        b.x0 = std::min(b.x0, rects[i].x0);
        b.x1 = std::max(b.x1, rects[i].x1);
    }
    box = b;
}

void ShapeRegion::AbsoluteBox(FrameBox* out) const {
    out->x = static_cast<int64_t>(originX) + box.x0;
    out->y = static_cast<int64_t>(originY) + box.y0;
    out->width = static_cast<uint32_t>(static_cast<int64_t>(box.x1) - box.x0);
    out->height = static_cast<uint32_t>(static_cast<int64_t>(box.y1) - box.y0);
}

// ---- Appending and copying ------------------------------------------------------------

bool RegionAppendRect(Region* r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (r->count + 1 >= r->capacity) {
        // Twice the count plus one, but never past the limit; a refused growth
        // still appends while the block has room.
        uint64_t want = std::min<uint64_t>((static_cast<uint64_t>(r->count) + 1) * 2, RegionRectLimit());
        bool grown = want > r->capacity && TakeRectBlock(r, static_cast<uint32_t>(want), r->count);
        if (!grown && r->count >= r->capacity) return false;
    }
    r->rects[r->count++] = RegionRect{x0, y0, x1, y1};
    return true;
}

bool RegionCopy(Region* target, const Region& source) {
    if (target == &source) return true;
    if (!target->ReserveExact(source.count)) {
        target->MakeEmpty();
        return false;
    }
    if (source.count != 0) std::memcpy(target->rects, source.rects, static_cast<size_t>(source.count) * kRectBytes);
    target->count = source.count;
    target->box = source.box;
    return true;
}

// ---- The band merge -----------------------------------------------------------------

uint32_t RegionCoalesce(Region* region, uint32_t prevStart, uint32_t curStart) {
    RegionRect* rects = region->rects;
    uint32_t end = region->count;
    if (curStart >= end) return curStart;
    uint32_t prevCount = curStart - prevStart;
    int32_t bandY0 = rects[curStart].y0;
    uint32_t cur = curStart;
    while (cur != end && rects[cur].y0 == bandY0) ++cur;
    uint32_t curCount = cur - curStart;

    // Several bands were added at once: the next join starts at the last one.
    uint32_t next = curStart;
    if (cur != end) {
        next = end - 1;
        while (next > cur && rects[next - 1].y0 == rects[next].y0) --next;
    }
    if (curCount != prevCount || curCount == 0) return next;
    RegionRect* prev = rects + prevStart;
    RegionRect* band = rects + curStart;
    if (prev->y1 != band->y0) return next;
    for (uint32_t i = 0; i < curCount; ++i)
        if (prev[i].x0 != band[i].x0 || prev[i].x1 != band[i].x1) return next;
    for (uint32_t i = 0; i < curCount; ++i) prev[i].y1 = band[i].y1;
    if (cur != end) std::memmove(band, band + curCount, static_cast<size_t>(end - cur) * kRectBytes);
    region->count = end - curCount;
    return cur == end ? prevStart : next - curCount;
}

bool RegionAppendBand(Region* result, const RegionRect* r, const RegionRect* rEnd, int32_t top, int32_t bot) {
    for (; r != rEnd; ++r)
        if (!RegionAppendRect(result, r->x0, top, r->x1, bot)) return false;
    return true;
}

bool RegionUnionBand(Region* result, const RegionRect* a, const RegionRect* aEnd, const RegionRect* b,
                     const RegionRect* bEnd, int32_t top, int32_t bot) {
    while (a != aEnd && b != bEnd) {
        const RegionRect& r = a->x0 < b->x0 ? *a++ : *b++;
        if (!UnionMergeRect(result, r, top, bot)) return false;
    }
    for (; a != aEnd; ++a)
        if (!UnionMergeRect(result, *a, top, bot)) return false;
    for (; b != bEnd; ++b)
        if (!UnionMergeRect(result, *b, top, bot)) return false;
    return true;
}

bool RegionSubtractBand(Region* result, const RegionRect* a, const RegionRect* aEnd, const RegionRect* b,
                        const RegionRect* bEnd, int32_t top, int32_t bot) {
    int32_t x = a->x0;
    // The minuend rectangle is done: on to the next one, from its left edge.
    auto nextA = [&] {
        ++a;
        if (a != aEnd) x = a->x0;
    };
    while (a != aEnd && b != bEnd) {
        if (b->x1 <= x) {
            ++b;
        } else if (b->x0 <= x) {
            x = b->x1;
            if (x >= a->x1) nextA();
            else ++b;
        } else if (b->x0 < a->x1) {
            if (!RegionAppendRect(result, x, top, b->x0, bot)) return false;
            x = b->x1;
            if (x >= a->x1) nextA();
            else ++b;
        } else {
            if (a->x1 > x && !RegionAppendRect(result, x, top, a->x1, bot)) return false;
            nextA();
        }
    }
    while (a != aEnd) {
        if (!RegionAppendRect(result, x, top, a->x1, bot)) return false;
        nextA();
    }
    return true;
}

bool RegionBandMerge(Region* result, const Region& aRegion, const Region& bRegion, RegionBandOverlap overlap,
                     RegionBandOnly onlyA, RegionBandOnly onlyB) {
    // The operands as they are now: the result may be either of them.
    const RegionRect* a = aRegion.rects;
    const RegionRect* aEnd = aRegion.count != 0 ? a + aRegion.count : a;
    const RegionRect* b = bRegion.rects;
    const RegionRect* bEnd = bRegion.count != 0 ? b + bRegion.count : b;
    int32_t ybot = std::min(aRegion.box.y0, bRegion.box.y0);
    uint32_t n = std::max(aRegion.count, bRegion.count);

    // The result's block is freed only at the very end, after the last read.
    void* oldBlock = result->block;
    result->block = nullptr;
    result->size = 0;
    result->rects = nullptr;
    result->capacity = 0;
    result->count = 0;

    bool ok = n == 0 || TakeRectBlock(result, n, 0);
    uint32_t prevBand = 0;
    while (ok && a != aEnd && b != bEnd) {
        uint32_t curBand = result->count;
        const RegionRect* aBandEnd = BandEnd(a, aEnd);
        const RegionRect* bBandEnd = BandEnd(b, bEnd);
        int32_t ytop;
        if (a->y0 < b->y0) {
            int32_t top = std::max(a->y0, ybot);
            int32_t bot = std::min(a->y1, b->y0);
            if (top != bot && onlyA != nullptr) ok = onlyA(result, a, aBandEnd, top, bot);
            ytop = b->y0;
        } else if (b->y0 < a->y0) {
            int32_t top = std::max(b->y0, ybot);
            int32_t bot = std::min(b->y1, a->y0);
            if (top != bot && onlyB != nullptr) ok = onlyB(result, b, bBandEnd, top, bot);
            ytop = a->y0;
        } else {
            ytop = a->y0;
        }
        if (result->count != curBand) prevBand = RegionCoalesce(result, prevBand, curBand);

        ybot = std::min(a->y1, b->y1);
        curBand = result->count;
        if (ok && ybot > ytop) ok = overlap(result, a, aBandEnd, b, bBandEnd, ytop, ybot);
        if (result->count != curBand) prevBand = RegionCoalesce(result, prevBand, curBand);

        if (a->y1 == ybot) a = aBandEnd;
        if (b->y1 == ybot) b = bBandEnd;
    }

    uint32_t curBand = result->count;
    const RegionRect** rest = a != aEnd && onlyA != nullptr ? &a : nullptr;
    const RegionRect* restEnd = aEnd;
    RegionBandOnly restOnly = onlyA;
    if (a == aEnd && b != bEnd && onlyB != nullptr) {
        rest = &b;
        restEnd = bEnd;
        restOnly = onlyB;
    }
    while (ok && rest != nullptr && *rest != restEnd) {
        const RegionRect* band = *rest;
        const RegionRect* bandEnd = BandEnd(band, restEnd);
        ok = restOnly(result, band, bandEnd, std::max(band->y0, ybot), band->y1);
        *rest = bandEnd;
    }
    if (ok && result->count != curBand) RegionCoalesce(result, prevBand, curBand);

    if (!ok) {
        // A mask with rectangles missing would be measured as if it were whole.
        DropEverything(result);
    } else if (result->capacity > kRegionShrinkAbove && result->count < result->capacity / 2) {
        if (result->count == 0) DropEverything(result);
        else TakeRectBlock(result, std::max(result->count, 3u), result->count);
    }
    std::free(oldBlock);
    return ok;
}

// ---- Union and difference -----------------------------------------------------------

bool RegionUnion(Region* result, const Region& a, const Region& b) {
    if (&a == &b || a.count == 0) {
        if (b.count == 0) {
            result->MakeEmpty();
            return true;
        }
        return result == &b || RegionCopy(result, b);
    }
    if (b.count == 0) return result == &a || RegionCopy(result, a);
    if (a.count == 1 && BoxContains(a.box, b.box)) return result == &a || RegionCopy(result, a);
    if (b.count == 1 && BoxContains(b.box, a.box)) return result == &b || RegionCopy(result, b);

    RegionRect box{std::min(a.box.x0, b.box.x0), std::min(a.box.y0, b.box.y0), std::max(a.box.x1, b.box.x1),
                   std::max(a.box.y1, b.box.y1)};
    if (!RegionBandMerge(result, a, b, RegionUnionBand, RegionAppendBand, RegionAppendBand)) return false;
    result->box = box;
    return true;
}

bool RegionSubtract(Region* result, const Region& a, const Region& b) {
    if (a.count == 0) {
        result->MakeEmpty();
        return true;
    }
    if (b.count != 0 && BoxesOverlap(a.box, b.box)) {
        if (!RegionBandMerge(result, a, b, RegionSubtractBand, RegionAppendBand, nullptr)) return false;
        result->RecomputeBox();
        return true;
    }
    return result == &a || RegionCopy(result, a);
}

// ---- Drawing --------------------------------------------------------------------------

void RegionDrawQuads(const Region& region) {
    glBegin(GL_QUADS);
    for (const RegionRect& r : region) {
        glVertex2i(r.x0, r.y0);
        glVertex2i(r.x0, r.y1);
        glVertex2i(r.x1, r.y1);
        glVertex2i(r.x1, r.y0);
    }
    glEnd();
}

void RegionDrawQuadsOrMark(const Region& region) {
    if (region.count != 0) {
        RegionDrawQuads(region);
        return;
    }
    glBegin(GL_LINES);
    glVertex2f(-2.0f, -2.0f);
    glVertex2f(2.0f, 2.0f);
    glVertex2f(2.0f, -2.0f);
    glVertex2f(-2.0f, 2.0f);
    glEnd();
}

}  // namespace orva
