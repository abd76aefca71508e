#include "shapes/geometry/scan_convert.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "data/kernel_util.h"

namespace orva {

namespace {

// Pixel coordinates of a scaled data coordinate; a value that is not finite
// counts as 0, one beyond the 32-bit range as its bound.
int32_t PixelFloor(double v) {
    double f = std::floor(v);
    return std::isfinite(f) ? kernel::SaturateTrunc<int32_t>(f) : 0;
}
int32_t PixelCeil(double v) {
    double c = std::ceil(v);
    return std::isfinite(c) ? kernel::SaturateTrunc<int32_t>(c) : 0;
}
int32_t SaturateToInt32(int64_t v) { return kernel::SaturateInt<int32_t>(v); }

// Finishes a region whose rectangles are in place: box and shape code.
void FinishBox(Region* region, uint32_t code) {
    region->RecomputeBox();
    if (region->count != 0) region->SetShapeCode(code);
}

void FailEmpty(Region* region) {
    region->count = 0;
    region->MakeEmpty();
}

// ---- Ellipse --------------------------------------------------------------------------

// The midpoint walk of EllipseRegion in integers wide enough for the box: the
// span [l, r) of every row it emits, top rows downwards (the bottom rows are
// their mirror images), each span containing the ones before it. Answers the
// span of the middle rows in *l, *r.
template <class Wide, class Emit>
void WalkEllipse(int64_t a, int64_t b, int64_t he, int64_t* l, int64_t* r, Emit&& emit) {
    const Wide asq = static_cast<Wide>(a) * a;
    const Wide bsq = static_cast<Wide>(b) * b;
    Wide d = (asq >> 2) - asq * b + bsq;
    Wide xd = 0;
    Wide yd = asq * he;
    int64_t left = *l, right = *r;
    while (xd < yd) {
        if (d > 0) {
            emit(left, right);
            yd -= 2 * asq;
            d -= yd;
        }
        --left;
        ++right;
        xd += static_cast<Wide>(b) * he;
        d += bsq + xd;
    }
    d += ((asq - bsq) * 3 / 2 - xd - yd) / 2;
    while (yd >= 0) {
        emit(left, right);
        if (d < 0) {
            --left;
            ++right;
            xd += 2 * bsq;
            d += xd;
        }
        yd -= 2 * asq;
        d += asq - yd;
    }
    *l = left;
    *r = right;
}

// Appends the row span [l, r) x [y, y + rows), joining the last rectangle when
// it ends at y with the same span. False when the region cannot grow.
bool PutRows(Region* region, int64_t y, int64_t rows, int64_t l, int64_t r) {
    if (l >= r || rows <= 0) return true;
    if (region->count != 0) {
        RegionRect& last = region->rects[region->count - 1];
        if (last.x0 == l && last.x1 == r && last.y1 == y) {
            last.y1 = static_cast<int32_t>(y + rows);
            return true;
        }
    }
    return RegionAppendRect(region, static_cast<int32_t>(l), static_cast<int32_t>(y), static_cast<int32_t>(r),
                            static_cast<int32_t>(y + rows));
}

// ---- Polygon --------------------------------------------------------------------------

// One non-horizontal edge, stepped one scan line at a time in integers: x is
// the smallest integer not left of the exact edge on the current line.
struct PolygonEdge {
    int64_t ymax;  // last scan line of the edge
    int64_t x;
    int64_t d;     // error term
    int64_t m;
    int64_t m1;
    int64_t increment1;
    int64_t increment2;
    int64_t top;   // first scan line
    uint32_t order;
    uint8_t clockwise;  // the edge runs toward larger y in the order of the points
};

void StepEdge(PolygonEdge* e) {
    bool major = e->m1 > 0 ? e->d > 0 : e->d >= 0;
    if (major) {
        e->x += e->m1;
        e->d += e->increment1;
    } else {
        e->x += e->m;
        e->d += e->increment2;
    }
}

PolygonEdge MakeEdge(int64_t topX, int64_t topY, int64_t bottomX, int64_t bottomY, bool clockwise, uint32_t order) {
    PolygonEdge e{};
    e.ymax = bottomY - 1;
    e.top = topY;
    e.x = topX;
    e.order = order;
    e.clockwise = clockwise ? 1 : 0;
    const int64_t dy = bottomY - topY;
    const int64_t dx = bottomX - topX;
    e.m = dx / dy;
    if (dx < 0) {
        e.m1 = e.m - 1;
        e.increment1 = 2 * (e.m1 * dy - dx);
        e.increment2 = 2 * (e.m * dy - dx);
        e.d = e.increment1;
    } else {
        e.m1 = e.m + 1;
        e.increment1 = 2 * (dx - e.m1 * dy);
        e.increment2 = 2 * (dx % dy);
        e.d = e.increment2;
    }
    return e;
}

// Scan conversion state: the edges, the order they enter in, the active edges
// sorted by x with their winding-chain marks, and the spans of the current row.
class PolygonScan {
public:
    bool Build(Region* region, const float* points, const uint32_t* counts, uint32_t polygons, bool winding,
               double k, double originX, double originY);

private:
    bool AddRow(Region* region, int64_t y);
    void MarkChain();

    std::vector<PolygonEdge> edges_;
    std::vector<uint32_t> entry_;   // edge indices by first scan line, then x
    std::vector<uint32_t> active_;
    std::vector<uint8_t> chain_;
    std::vector<int64_t> xs_;       // span points of the row
    std::vector<int64_t> spans_;    // [left, right) pairs of the row
    uint32_t bandStart_ = 0;
};

void PolygonScan::MarkChain() {
    chain_.assign(active_.size(), 0);
    int64_t inside = 0;
    bool looking = true;  // for an edge where the count leaves zero
    for (size_t i = 0; i < active_.size(); ++i) {
        inside += edges_[active_[i]].clockwise ? 1 : -1;
        if (looking == (inside != 0)) {
            chain_[i] = 1;
            looking = !looking;
        }
    }
}

// The row's spans as rectangles: touching spans join, and a row equal to the
// band above it (touching, same extents) extends that band.
bool PolygonScan::AddRow(Region* region, int64_t y) {
    spans_.clear();
    for (size_t i = 0; i + 1 < xs_.size(); i += 2) {
        int64_t l = xs_[i], r = xs_[i + 1];
        if (l >= r) continue;
        if (!spans_.empty() && spans_.back() >= l) spans_.back() = std::max(spans_.back(), r);
        else spans_.insert(spans_.end(), {l, r});
    }
    if (spans_.empty()) return true;
    const uint32_t n = static_cast<uint32_t>(spans_.size() / 2);
    if (region->count != 0 && region->count - bandStart_ == n && region->rects[bandStart_].y1 == y) {
        bool same = true;
        for (uint32_t i = 0; i < n && same; ++i) {
            const RegionRect& r = region->rects[bandStart_ + i];
            same = r.x0 == spans_[2 * i] && r.x1 == spans_[2 * i + 1];
        }
        if (same) {
            for (uint32_t i = 0; i < n; ++i) region->rects[bandStart_ + i].y1 = static_cast<int32_t>(y + 1);
            return true;
        }
    }
    bandStart_ = region->count;
    for (uint32_t i = 0; i < n; ++i) {
        if (!RegionAppendRect(region, static_cast<int32_t>(spans_[2 * i]), static_cast<int32_t>(y),
                              static_cast<int32_t>(spans_[2 * i + 1]), static_cast<int32_t>(y + 1)))
            return false;
    }
    return true;
}

bool PolygonScan::Build(Region* region, const float* points, const uint32_t* counts, uint32_t polygons,
                        bool winding, double k, double originX, double originY) {
    // The edge table: every non-horizontal edge between a vertex and its
    // predecessor (the first vertex's is the polygon's last).
    uint64_t total = 0;
    for (uint32_t p = 0; p < polygons; ++p) total += counts[p];
    edges_.reserve(total);
    auto vertex = [&](uint64_t i, int64_t* x, int64_t* y) {
        *x = PixelFloor((static_cast<double>(points[2 * i]) - originX) * k);
        *y = PixelFloor((static_cast<double>(points[2 * i + 1]) - originY) * k);
    };
    uint64_t first = 0;
    for (uint32_t p = 0; p < polygons; ++p) {
        const uint64_t n = counts[p];
        if (n >= 2) {
            int64_t px, py;
            vertex(first + n - 1, &px, &py);
            for (uint64_t i = 0; i < n; ++i) {
                int64_t cx, cy;
                vertex(first + i, &cx, &cy);
                if (cy != py) {
                    auto order = static_cast<uint32_t>(edges_.size());
                    if (py > cy) edges_.push_back(MakeEdge(cx, cy, px, py, false, order));
                    else edges_.push_back(MakeEdge(px, py, cx, cy, true, order));
                }
                px = cx;
                py = cy;
            }
        }
        first += n;
    }
    if (edges_.empty()) return true;

    // Edges enter by first scan line, then by x; at equal x a later edge first.
    entry_.resize(edges_.size());
    for (uint32_t i = 0; i < entry_.size(); ++i) entry_[i] = i;
    std::sort(entry_.begin(), entry_.end(), [this](uint32_t a, uint32_t b) {
        const PolygonEdge& ea = edges_[a];
        const PolygonEdge& eb = edges_[b];
        if (ea.top != eb.top) return ea.top < eb.top;
        if (ea.x != eb.x) return ea.x < eb.x;
        return ea.order > eb.order;
    });
    int64_t yEnd = edges_[0].ymax + 1;
    for (const PolygonEdge& e : edges_) yEnd = std::max(yEnd, e.ymax + 1);

    size_t next = 0;
    bool chainStale = true;
    std::vector<uint32_t> merged;
    for (int64_t y = edges_[entry_[0]].top; y < yEnd;) {
        if (next < entry_.size() && edges_[entry_[next]].top == y) {
            // New edges go in before active edges of equal x, in their own order.
            size_t stop = next;
            while (stop < entry_.size() && edges_[entry_[stop]].top == y) ++stop;
            merged.clear();
            size_t i = 0;
            for (size_t j = next; j < stop; ++j) {
                const int64_t x = edges_[entry_[j]].x;
                while (i < active_.size() && edges_[active_[i]].x < x) merged.push_back(active_[i++]);
                merged.push_back(entry_[j]);
            }
            merged.insert(merged.end(), active_.begin() + static_cast<std::ptrdiff_t>(i), active_.end());
            active_.swap(merged);
            next = stop;
            chainStale = true;
        }
        if (winding && chainStale) MarkChain();
        chainStale = false;

        xs_.clear();
        size_t kept = 0;
        for (size_t i = 0; i < active_.size(); ++i) {
            PolygonEdge& e = edges_[active_[i]];
            if (!winding || chain_[i]) xs_.push_back(e.x);
            if (e.ymax == y) {
                chainStale = true;
                continue;
            }
            StepEdge(&e);
            active_[kept++] = active_[i];
        }
        active_.resize(kept);
        // Insertion sort: the order changes only where edges cross.
        for (size_t i = 1; i < active_.size(); ++i) {
            const uint32_t moving = active_[i];
            const int64_t x = edges_[moving].x;
            size_t j = i;
            while (j > 0 && edges_[active_[j - 1]].x > x) {
                active_[j] = active_[j - 1];
                --j;
            }
            if (j != i) {
                active_[j] = moving;
                chainStale = true;
            }
        }
        if (!AddRow(region, y)) return false;

        ++y;
        // Rows without active edges hold nothing: on to the next edge's line.
        if (active_.empty() && next < entry_.size()) y = std::max(y, edges_[entry_[next]].top);
    }
    return true;
}

}  // namespace

// ---- Ellipse ----------------------------------------------------------------------------

bool EllipseRegion(Region* region, int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t w, int32_t h) {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    const int64_t boxW = static_cast<int64_t>(right) - left;
    const int64_t boxH = static_cast<int64_t>(bottom) - top;
    const int64_t ew = std::min<int64_t>(std::llabs(w), boxW);
    const int64_t eh = std::min<int64_t>(std::llabs(h), boxH);

    if (ew < 2 || eh < 2) {
        if (!region->ReserveExact(1)) {
            FailEmpty(region);
            return false;
        }
        if (boxW == 0 || boxH == 0) {
            region->MakeEmpty();
            return true;
        }
        region->rects[0] = RegionRect{left, top, right, bottom};
        region->count = 1;
        FinishBox(region, kRegionCodeRect);
        return true;
    }

    // One rectangle per row at most, and per half at most one per emitted row
    // (eh / 2 + 1 of them) and one more: with one spare slot the block never grows.
    const int64_t bound = std::min(boxH, eh + 4) + 1;
    if (bound > RegionRectLimit() || !region->ReserveExact(static_cast<uint32_t>(bound))) {
        FailEmpty(region);
        return false;
    }

    // The union of the rows that the midpoint walk emits, built in row order:
    // the walk's spans grow, so a row emitted twice (where the top and bottom
    // rows meet) keeps the later span. Row i of the upper half holds span i of
    // the walk, the middle span, or -- in the row where the two halves meet --
    // the last span; the lower half mirrors the upper one.
    const int64_t a = ew >> 1;
    const int64_t b = eh >> 1;
    const int64_t he = eh & ~int64_t{1};
    const int64_t upper = (boxH + 1) / 2;
    int64_t emitted = 0;
    int64_t pendingL = 0, pendingR = 0;
    int64_t lastL = 0, lastR = 0;
    bool ok = true;
    auto emit = [&](int64_t l, int64_t r) {
        l = std::clamp<int64_t>(l, left, right);
        r = std::clamp<int64_t>(r, left, right);
        if (emitted < upper - 1) ok = ok && PutRows(region, top + emitted, 1, l, r);
        else if (emitted == upper - 1) pendingL = l, pendingR = r;
        lastL = l;
        lastR = r;
        ++emitted;
    };
    int64_t midL = static_cast<int64_t>(left) + a;
    int64_t midR = static_cast<int64_t>(right) - a;
    // Products reach a² x h: 64 bits hold them for half-axes up to 2^20.
    if (a <= (int64_t{1} << 20) && b <= (int64_t{1} << 20)) WalkEllipse<int64_t>(a, b, he, &midL, &midR, emit);
    else WalkEllipse<__int128>(a, b, he, &midL, &midR, emit);
    midL = std::clamp<int64_t>(midL, left, right);
    midR = std::clamp<int64_t>(midR, left, right);

    if (emitted < upper - 1) ok = ok && PutRows(region, top + emitted, upper - 1 - emitted, midL, midR);
    if (emitted >= boxH - upper + 1) ok = ok && PutRows(region, top + upper - 1, 1, lastL, lastR);
    else if (emitted > upper - 1) ok = ok && PutRows(region, top + upper - 1, 1, pendingL, pendingR);
    else ok = ok && PutRows(region, top + upper - 1, 1, midL, midR);

    const int64_t mirrored = boxH - upper;  // upper rows that have a lower twin
    for (uint32_t j = region->count; ok && j-- > 0;) {
        const RegionRect r = region->rects[j];
        const int64_t ra = r.y0 - static_cast<int64_t>(top);
        const int64_t rb = std::min<int64_t>(r.y1 - static_cast<int64_t>(top), mirrored);
        if (ra < rb) ok = PutRows(region, top + boxH - rb, rb - ra, r.x0, r.x1);
    }
    if (!ok) {
        FailEmpty(region);
        return false;
    }
    FinishBox(region, kRegionCodeElliptic);
    if (region->count == 0) region->MakeEmpty();
    return true;
}

bool EllipseShapeRegion(ShapeRegion* region, const AnchorBuffer& anchors, const ShapeHeader& header) {
    const uint32_t n = anchors.Count();
    if (n < 2 || anchors.data == nullptr) {
        region->MakeEmpty();
        return true;
    }
    const uint32_t e = n == 2 ? 1 : 2;
    const double k = header.subpix > 1 ? header.subpix : 1.0;
    const double x0 = (static_cast<double>(anchors.X(0)) - region->floatOriginX) * k;
    const double y0 = (static_cast<double>(anchors.Y(0)) - region->floatOriginY) * k;
    const double xe = (static_cast<double>(anchors.X(e)) - region->floatOriginX) * k;
    const double ye = (static_cast<double>(anchors.Y(e)) - region->floatOriginY) * k;
    // The corners are ordered first: the box does not depend on the drag direction.
    const int32_t left = PixelFloor(std::min(x0, xe));
    const int32_t top = PixelFloor(std::min(y0, ye));
    const int32_t right = PixelCeil(std::max(x0, xe));
    const int32_t bottom = PixelCeil(std::max(y0, ye));
    return EllipseRegion(region, left, top, right, bottom, SaturateToInt32(static_cast<int64_t>(right) - left),
                         SaturateToInt32(static_cast<int64_t>(bottom) - top));
}

// ---- Polygon ----------------------------------------------------------------------------

bool PolygonRegion(Region* region, const float* points, const uint32_t* counts, uint32_t polygons, int32_t rule,
                   int32_t k, float originX, float originY) {
    if (!region->ReserveExact(std::max(polygons, 1u))) {
        FailEmpty(region);
        return false;
    }
    const double scale = k > 1 ? k : 1.0;
    auto scaled = [&](float v, float origin) { return (static_cast<double>(v) - origin) * scale; };

    if (polygons == 1 && points != nullptr) {
        const uint32_t n = counts[0];
        auto X = [&](uint32_t i) { return points[2 * i]; };
        auto Y = [&](uint32_t i) { return points[2 * i + 1]; };
        uint32_t corner = 0;
        if (n == 2) {
            corner = 1;
        } else if (n == 4 || (n == 5 && X(4) == X(0) && Y(4) == Y(0))) {
            bool across = Y(0) == Y(1) && X(1) == X(2) && Y(2) == Y(3) && X(3) == X(0);
            bool down = X(0) == X(1) && Y(1) == Y(2) && X(2) == X(3) && Y(3) == Y(0);
            if (across || down) corner = 2;
        }
        if (corner != 0) {
            int32_t x0 = PixelFloor(scaled(X(0), originX)), x1 = PixelFloor(scaled(X(corner), originX));
            int32_t y0 = PixelFloor(scaled(Y(0), originY)), y1 = PixelFloor(scaled(Y(corner), originY));
            if (x0 > x1) std::swap(x0, x1);
            if (y0 > y1) std::swap(y0, y1);
            if (x0 == x1 || y0 == y1) {
                region->MakeEmpty();
                return true;
            }
            region->rects[0] = RegionRect{x0, y0, x1, y1};
            region->count = 1;
            FinishBox(region, kRegionCodeRect);
            return true;
        }
    }

    uint64_t total = 0;
    for (uint32_t p = 0; p < polygons; ++p) total += counts[p];
    if (total == 0 || points == nullptr) {
        region->MakeEmpty();
        return false;
    }
    bool built = false;
    try {
        PolygonScan scan;
        built = scan.Build(region, points, counts, polygons, rule == kFillWinding, scale, originX, originY);
    } catch (const std::bad_alloc&) {
        built = false;
    }
    if (!built) {
        region->Free();
        return false;
    }
    region->RecomputeBox();
    region->SetShapeCode(region->count == 0 ? kRegionCodeEmpty
                                            : region->count == 1 ? kRegionCodeRect : kRegionCodePolygon);
    return true;
}

bool PolygonShapeRegion(ShapeRegion* region, const AnchorBuffer& anchors, const ShapeHeader& header) {
    const uint32_t n = anchors.Count();
    if (n < 2 || anchors.data == nullptr) {
        region->MakeEmpty();
        return true;
    }
    return PolygonRegion(region, anchors.Points(), &n, 1, kFillWinding, header.subpix, region->floatOriginX,
                         region->floatOriginY);
}

// ---- Contour ------------------------------------------------------------------------------

bool RegionOutline(const Region& region, AnchorBuffer* buffer) {
    buffer->rowsUsed = 0;
    if (region.count == 0 || region.box.y0 >= region.box.y1) return false;
    if (!buffer->EnsureRoom(region.count * 4)) return false;
    float* out = buffer->Points();
    uint32_t n = 0;
    auto put = [&](int32_t x, int32_t y) {
        out[2 * n] = static_cast<float>(x);
        out[2 * n + 1] = static_cast<float>(y);
        ++n;
    };
    const RegionRect* r = region.rects;
    for (uint32_t i = 0; i < region.count;) {
        uint32_t j = i;
        while (j < region.count && r[j].y0 == r[i].y0) ++j;
        put(r[j - 1].x1, r[j - 1].y0);
        put(r[j - 1].x1, r[j - 1].y1);
        i = j;
    }
    for (uint32_t i = region.count; i > 0;) {
        uint32_t s = i - 1;
        while (s > 0 && r[s - 1].y0 == r[i - 1].y0) --s;
        put(r[s].x0, r[s].y1);
        put(r[s].x0, r[s].y0);
        i = s;
    }
    buffer->rowsUsed = n;
    return true;
}

}  // namespace orva
