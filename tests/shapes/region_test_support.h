#pragma once
// What the mask tests share: regions made from rectangle lists, the pixel set of
// a region, the banded-form check and a dense bitmap to compare pixel sets with.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "shapes/geometry/region.h"

namespace orva::shape_testing {

using Pixel = std::pair<int64_t, int64_t>;  // (y, x)

// A region holding the rectangles exactly as given (no band merge).
inline void SetRects(Region* r, const std::vector<RegionRect>& rects) {
    ASSERT_TRUE(r->ReserveExact(static_cast<uint32_t>(rects.size())));
    for (const RegionRect& rect : rects) r->rects[r->count++] = rect;
    r->RecomputeBox();
}

inline std::vector<RegionRect> Rects(const Region& r) { return std::vector<RegionRect>(r.begin(), r.end()); }

inline std::string Describe(const std::vector<RegionRect>& rects) {
    std::ostringstream out;
    for (const RegionRect& r : rects) out << "(" << r.x0 << "," << r.y0 << "," << r.x1 << "," << r.y1 << ")";
    return out.str();
}

inline std::set<Pixel> PixelsOf(const Region& r) {
    std::set<Pixel> out;
    for (const RegionRect& rect : r)
        for (int64_t y = rect.y0; y < rect.y1; ++y)
            for (int64_t x = rect.x0; x < rect.x1; ++x) out.insert({y, x});
    return out;
}

inline uint64_t PixelCount(const Region& r) {
    uint64_t n = 0;
    for (const RegionRect& rect : r) n += static_cast<uint64_t>(rect.x1 - rect.x0) * (rect.y1 - rect.y0);
    return n;
}

// Sorted by y0 then x0, one y0/y1 per band, no empty or touching rectangles in a
// band, bands apart; with `coalesced` no two touching bands of equal extents;
// the box the exact box (0 when empty).
inline ::testing::AssertionResult Banded(const Region& r, bool coalesced = true) {
    const RegionRect* v = r.rects;
    uint32_t bandStart = 0;
    uint32_t prevStart = 0, prevCount = 0;
    RegionRect box{0, 0, 0, 0};
    for (uint32_t i = 0; i < r.count; ++i) {
        const RegionRect& c = v[i];
        if (c.x0 >= c.x1 || c.y0 >= c.y1) return ::testing::AssertionFailure() << "empty rectangle " << i;
        if (i == 0) box = c;
        box.x0 = std::min(box.x0, c.x0);
        box.x1 = std::max(box.x1, c.x1);
        box.y1 = c.y1;
        if (i == 0) continue;
        const RegionRect& p = v[i - 1];
        if (c.y0 == p.y0) {
            if (c.y1 != p.y1) return ::testing::AssertionFailure() << "band heights differ at " << i;
            if (c.x0 <= p.x1) return ::testing::AssertionFailure() << "touching or unsorted at " << i;
            continue;
        }
        if (c.y0 < p.y1) return ::testing::AssertionFailure() << "bands overlap at " << i;
        // A band ends at i: compare it with the band before it.
        uint32_t count = i - bandStart;
        if (coalesced && prevCount == count && v[prevStart].y1 == v[bandStart].y0) {
            bool same = true;
            for (uint32_t k = 0; k < count; ++k)
                same = same && v[prevStart + k].x0 == v[bandStart + k].x0 && v[prevStart + k].x1 == v[bandStart + k].x1;
            if (same) return ::testing::AssertionFailure() << "bands not joined before " << i;
        }
        prevStart = bandStart;
        prevCount = count;
        bandStart = i;
    }
    if (coalesced && r.count != 0 && prevCount == r.count - bandStart && v[prevStart].y1 == v[bandStart].y0) {
        bool same = true;
        for (uint32_t k = 0; k < prevCount; ++k)
            same = same && v[prevStart + k].x0 == v[bandStart + k].x0 && v[prevStart + k].x1 == v[bandStart + k].x1;
        if (same) return ::testing::AssertionFailure() << "last bands not joined";
    }
    if (!(r.box == box)) return ::testing::AssertionFailure() << "box is not the exact box";
    return ::testing::AssertionSuccess();
}

// Pixels of a fixed window, one byte each.
class Bitmap {
public:
    Bitmap(int x0, int y0, int w, int h) : x0_(x0), y0_(y0), w_(w), h_(h), bits_(static_cast<size_t>(w) * h) {}
    void Fill(const RegionRect& r) {
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) bits_[Index(x, y)] = 1;
    }
    void Fill(const Region& r) {
        for (const RegionRect& rect : r) Fill(rect);
    }
    uint8_t& At(int x, int y) { return bits_[Index(x, y)]; }
    std::set<Pixel> Pixels() const {
        std::set<Pixel> out;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (bits_[static_cast<size_t>(y) * w_ + x]) out.insert({y + y0_, x + x0_});
        return out;
    }
    int x0_, y0_, w_, h_;

private:
    size_t Index(int x, int y) const { return static_cast<size_t>(y - y0_) * w_ + (x - x0_); }
    std::vector<uint8_t> bits_;
};

// Lowers the region rectangle limit for one scope.
class RectLimit {
public:
    explicit RectLimit(uint32_t rects) { SetRegionRectLimit(rects); }
    ~RectLimit() { SetRegionRectLimit(kRegionMaxRects); }
};

}  // namespace orva::shape_testing
