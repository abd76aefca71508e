#include "shapes/geometry/scan_convert.h"

#include <algorithm>
#include <climits>
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
// the smallest integer not left of the exact edge on the current line, that is
// topX + ceil(dx x j / dy) on the j-th line from its top.
struct PolygonEdge {
    int64_t ymax;  // last scan line of the edge
    int64_t x;
    int64_t d;     // error term
    int64_t m;
    int64_t m1;
    int64_t increment1;
    int64_t increment2;
    int64_t top;   // first scan line
    int64_t topX;
    int64_t dx;
    int64_t dy;
    int32_t direction;  // +1 when the edge runs toward larger y in the order of the points, else -1
    int32_t major;      // the least error term that takes the step m1
};

// What a line needs of an active edge, in one cache line.
struct ActiveEdge {
    int64_t x;
    int64_t d;
    int64_t m;
    int64_t m1;
    int64_t increment1;
    int64_t increment2;
    int64_t ymax;
    int32_t direction;
    int32_t major;
};

// One line down. The error term decides between the steps m1 and m: d > 0 when
// m1 > 0, else d >= 0, that is d >= major (1 or 0).
template <class Edge>
inline void StepEdge(Edge* e) {
    const bool major = e->d >= e->major;
    e->x += major ? e->m1 : e->m;
    e->d += major ? e->increment1 : e->increment2;
}

// Floor and ceiling of a / b for b > 0.
__int128 FloorDiv(__int128 a, __int128 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
__int128 CeilDiv(__int128 a, __int128 b) { return -FloorDiv(-a, b); }

// The edge as stepping would leave it `j` lines below its top, in constant time: the
// steps taken a whole unit more than m are ceil(r j / dy) for dx >= 0 (r = dx mod dy)
// and floor(s j / dy) for dx < 0 (s = -(dx mod dy)), and the error term follows from them.
void JumpEdge(PolygonEdge* e, int64_t j) {
    if (j <= 0) return;
    const __int128 dy = e->dy;
    e->x = static_cast<int64_t>(e->topX + CeilDiv(static_cast<__int128>(e->dx) * j, dy));
    if (e->dx >= 0) {
        const __int128 r = e->dx % e->dy;
        const __int128 major = CeilDiv(r * j, dy);
        e->d = static_cast<int64_t>(2 * r * (j + 1) - 2 * dy * major);
    } else {
        const __int128 s = -(e->dx % e->dy);
        const __int128 major = FloorDiv(s * j, dy);
        e->d = static_cast<int64_t>(2 * s * (j + 1) - 2 * dy * (major + 1));
    }
}

PolygonEdge MakeEdge(int64_t topX, int64_t topY, int64_t bottomX, int64_t bottomY, bool clockwise) {
    PolygonEdge e{};
    e.ymax = bottomY - 1;
    e.top = topY;
    e.x = topX;
    e.topX = topX;
    e.direction = clockwise ? 1 : -1;
    const int64_t dy = bottomY - topY;
    const int64_t dx = bottomX - topX;
    e.dx = dx;
    e.dy = dy;
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
    e.major = e.m1 > 0 ? 1 : 0;
    return e;
}

// Scan conversion state: the edges by first scan line, the edges active on the
// current line, its crossings and its spans.
//
// A pixel of a line is inside when the crossings at or left of it add up to a
// winding number that is not 0 (the winding rule) or are odd in number (the
// alternate rule). The active edges are kept in the order of their x: from one line
// to the next that order changes only where edges cross, so an insertion sort puts
// it right again in about one pass, and the line's spans are read off in one walk.
// Edges that enter on a line are merged in, in their own order of x.
//
// Where the order falls apart (a polygon of random vertices, whose edges cross on
// every line) an insertion sort would cost the square of the active edges: past a
// budget of moves the order is given up for the rest of the polygon, and each line's
// crossings are sorted, or, when they are many over few columns, counted per column.
// A line then costs O(a log a) or O(a + width) for its a active edges. Either way
// only the lines of the window are built.
class PolygonScan {
public:
    bool Build(Region* region, const float* points, const uint32_t* counts, uint32_t polygons, bool winding,
               double k, double originX, double originY, int64_t rowFrom, int64_t rowTo);

private:
    bool AddRow(Region* region, int64_t y);
    // The spans of a line's crossings in the order of their x (at(i): x and
    // direction of the i-th).
    template <class At>
    void SpansInOrder(size_t a, bool winding, At at);
    // The line's spans from the active edges in the order of their x.
    void OrderedSpans(bool winding);
    // The line's spans from its crossings in any order.
    void RowSpans(bool winding);
    // Merges the edges entering on a line (entry_[from, to), in the order of their x)
    // into the ordered active edges.
    void MergeEntering(size_t from, size_t to);
    // Puts the stepped active edges back into the order of their x; false (the order
    // given up, the edges a permutation of what they were) when that takes more moves
    // than a few passes would.
    bool Reorder();
    // The edges' indices in the order they enter: by first scan line, then x.
    void SortEntries();
    void ExtendSpan(int64_t l, int64_t r) {
        if (!spans_.empty() && spans_.back() >= l) {
            spans_.back() = std::max(spans_.back(), r);
        } else {
            spans_.push_back(l);
            spans_.push_back(r);
        }
    }

    std::vector<PolygonEdge> edges_;
    std::vector<uint32_t> entry_;   // edge indices by first scan line, then x
    // While the order holds: the active edges' indices in the order of their x (an
    // insertion sort moves indices, not edges).
    bool ordered_ = true;
    std::vector<uint32_t> order_;
    std::vector<uint32_t> merged_;
    // Once it is lost: the active edges themselves, side by side. A line steps every
    // one of them, and a polygon of many vertices may hold most of its edges active on
    // every line.
    std::vector<ActiveEdge> active_;
    std::vector<std::pair<int64_t, int32_t>> crossings_;  // x and direction of the line's edges
    std::vector<int32_t> columns_;  // per-column sums of the directions
    std::vector<int64_t> spans_;    // [left, right) pairs of the row
    uint32_t bandStart_ = 0;
};

ActiveEdge Activate(const PolygonEdge& e) {
    return {e.x, e.d, e.m, e.m1, e.increment1, e.increment2, e.ymax, e.direction, e.major};
}

template <class At>
void PolygonScan::SpansInOrder(size_t a, bool winding, At at) {
    int64_t sum = 0, start = 0;
    bool in = false;
    for (size_t i = 0; i < a;) {
        const int64_t x = at(i).first;
        for (; i < a && at(i).first == x; ++i) sum += winding ? at(i).second : 1;
        const bool now = winding ? sum != 0 : (sum & 1) != 0;
        if (now && !in) start = x;
        if (!now && in) ExtendSpan(start, x);
        in = now;
    }
}

void PolygonScan::OrderedSpans(bool winding) {
    spans_.clear();
    SpansInOrder(order_.size(), winding, [this](size_t i) {
        const PolygonEdge& e = edges_[order_[i]];
        return std::pair<int64_t, int32_t>(e.x, e.direction);
    });
}

void PolygonScan::RowSpans(bool winding) {
    spans_.clear();
    const size_t a = crossings_.size();
    if (a < 2) return;
    int64_t lo = crossings_[0].first, hi = lo;
    for (const auto& c : crossings_) {
        lo = std::min(lo, c.first);
        hi = std::max(hi, c.first);
    }
    const uint64_t width = static_cast<uint64_t>(hi - lo) + 1;
    if (a > 64 && width <= 4 * static_cast<uint64_t>(a) + 1024) {
        // Many crossings over few columns: counted per column.
        columns_.assign(width, 0);
        for (const auto& c : crossings_) columns_[static_cast<size_t>(c.first - lo)] += winding ? c.second : 1;
        int64_t sum = 0, start = 0;
        bool in = false;
        for (uint64_t i = 0; i < width; ++i) {
            sum += columns_[i];
            const bool now = winding ? sum != 0 : (sum & 1) != 0;
            if (now && !in) start = lo + static_cast<int64_t>(i);
            if (!now && in) ExtendSpan(start, lo + static_cast<int64_t>(i));
            in = now;
        }
        return;
    }
    std::sort(crossings_.begin(), crossings_.end(),
              [](const auto& p, const auto& q) { return p.first < q.first; });
    SpansInOrder(a, winding, [this](size_t i) { return crossings_[i]; });
}

void PolygonScan::MergeEntering(size_t from, size_t to) {
    if (from == to) return;
    if (order_.empty()) {
        order_.assign(entry_.begin() + static_cast<std::ptrdiff_t>(from), entry_.begin() + static_cast<std::ptrdiff_t>(to));
        return;
    }
    merged_.clear();
    size_t i = 0;
    for (size_t j = from; j < to; ++j) {
        const int64_t x = edges_[entry_[j]].x;
        while (i < order_.size() && edges_[order_[i]].x < x) merged_.push_back(order_[i++]);
        merged_.push_back(entry_[j]);
    }
    merged_.insert(merged_.end(), order_.begin() + static_cast<std::ptrdiff_t>(i), order_.end());
    order_.swap(merged_);
}

void PolygonScan::SortEntries() {
    const size_t n = edges_.size();
    entry_.resize(n);
    int64_t lo = edges_[0].top, hi = lo;
    for (const PolygonEdge& e : edges_) {
        lo = std::min(lo, e.top);
        hi = std::max(hi, e.top);
    }
    auto byX = [this](uint32_t a, uint32_t b) { return edges_[a].x < edges_[b].x; };
    const uint64_t lines = static_cast<uint64_t>(hi - lo) + 1;
    if (lines > 4 * static_cast<uint64_t>(n) + 1024) {
        // Few edges over many lines: sorted by line, then x.
        for (uint32_t i = 0; i < n; ++i) entry_[i] = i;
        std::sort(entry_.begin(), entry_.end(), [this](uint32_t a, uint32_t b) {
            const PolygonEdge& ea = edges_[a];
            const PolygonEdge& eb = edges_[b];
            return ea.top != eb.top ? ea.top < eb.top : ea.x < eb.x;
        });
        return;
    }
    // Counted by first line (a long contour enters a few edges on each of its lines),
    // then each line's few sorted by x.
    std::vector<uint32_t> starts(lines + 1, 0);
    for (const PolygonEdge& e : edges_) ++starts[static_cast<size_t>(e.top - lo) + 1];
    for (uint64_t l = 0; l < lines; ++l) starts[l + 1] += starts[l];
    std::vector<uint32_t> at(starts.begin(), starts.end() - 1);
    for (uint32_t i = 0; i < n; ++i) entry_[at[static_cast<size_t>(edges_[i].top - lo)]++] = i;
    for (uint64_t l = 0; l < lines; ++l) {
        auto first = entry_.begin() + starts[l], last = entry_.begin() + starts[l + 1];
        if (last - first < 2) continue;
        if (last - first <= 16) {
            for (auto i = first + 1; i != last; ++i)
                for (auto j = i; j != first && byX(*j, *(j - 1)); --j) std::iter_swap(j, j - 1);
        } else {
            std::sort(first, last, byX);
        }
    }
}

bool PolygonScan::Reorder() {
    const size_t a = order_.size();
    // Edges that cross between two lines swap places: a few moves each. Far more
    // than that means the order is lost, not shifted.
    uint64_t budget = 8 * static_cast<uint64_t>(a) + 256;
    for (size_t i = 1; i < a; ++i) {
        const uint32_t moving = order_[i];
        const int64_t x = edges_[moving].x;
        if (edges_[order_[i - 1]].x <= x) continue;
        size_t j = i;
        while (j > 0 && edges_[order_[j - 1]].x > x) {
            order_[j] = order_[j - 1];
            --j;
            if (--budget == 0) {
                order_[j] = moving;
                return false;
            }
        }
        order_[j] = moving;
    }
    return true;
}

// The row's spans as rectangles: a row equal to the band above it (touching, same
// extents) extends that band.
bool PolygonScan::AddRow(Region* region, int64_t y) {
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
                        bool winding, double k, double originX, double originY, int64_t rowFrom, int64_t rowTo) {
    // The edge table: every non-horizontal edge between a vertex and its
    // predecessor (the first vertex's is the polygon's last) that reaches a line of
    // the window.
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
                if (cy != py && std::max(cy, py) > rowFrom && std::min(cy, py) < rowTo) {
                    if (py > cy) edges_.push_back(MakeEdge(cx, cy, px, py, false));
                    else edges_.push_back(MakeEdge(px, py, cx, cy, true));
                }
                px = cx;
                py = cy;
            }
        }
        first += n;
    }
    if (edges_.empty()) return true;
    // Edges that start above the window enter it where they cross its first line.
    for (PolygonEdge& e : edges_)
        if (e.top < rowFrom) {
            JumpEdge(&e, rowFrom - e.top);
            e.top = rowFrom;
        }

    SortEntries();
    int64_t yEnd = edges_[0].ymax + 1;
    for (const PolygonEdge& e : edges_) yEnd = std::max(yEnd, e.ymax + 1);
    yEnd = std::min(yEnd, rowTo);

    size_t next = 0;
    for (int64_t y = edges_[entry_[0]].top; y < yEnd;) {
        size_t stop = next;
        while (stop < entry_.size() && edges_[entry_[stop]].top == y) ++stop;
        if (ordered_) {
            MergeEntering(next, stop);
            OrderedSpans(winding);
            // Ended edges leave, the others step, the order kept.
            size_t kept = 0;
            for (size_t i = 0; i < order_.size(); ++i) {
                PolygonEdge& e = edges_[order_[i]];
                if (e.ymax == y) continue;
                StepEdge(&e);
                order_[kept++] = order_[i];
            }
            order_.resize(kept);
            if (!Reorder()) {
                ordered_ = false;
                for (uint32_t i : order_) active_.push_back(Activate(edges_[i]));
                order_.clear();
            }
        } else {
            for (size_t j = next; j < stop; ++j) active_.push_back(Activate(edges_[entry_[j]]));
            // The order of the active edges does not matter: an edge that ends takes the
            // place of the last one.
            crossings_.clear();
            for (size_t i = 0; i < active_.size();) {
                ActiveEdge& e = active_[i];
                crossings_.push_back({e.x, e.direction});
                if (e.ymax == y) {
                    e = active_.back();
                    active_.pop_back();
                    continue;
                }
                StepEdge(&e);
                ++i;
            }
            RowSpans(winding);
        }
        next = stop;
        if (!AddRow(region, y)) return false;

        ++y;
        // Rows without active edges hold nothing: on to the next edge's line.
        if (active_.empty() && order_.empty() && next < entry_.size()) y = std::max(y, edges_[entry_[next]].top);
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
                   int32_t k, float originX, float originY, const RowWindow* rows) {
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
        // The window's data rows as lines of the region's own pixel frame.
        int64_t from = INT64_MIN, to = INT64_MAX;
        if (rows != nullptr) {
            from = PixelFloor((rows->from - originY) * scale);
            to = PixelCeil((rows->to - originY) * scale);
        }
        PolygonScan scan;
        built = scan.Build(region, points, counts, polygons, rule == kFillWinding, scale, originX, originY, from, to);
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

bool PolygonShapeRegion(ShapeRegion* region, const AnchorBuffer& anchors, const ShapeHeader& header,
                        const RowWindow* rows) {
    const uint32_t n = anchors.Count();
    if (n < 2 || anchors.data == nullptr) {
        region->MakeEmpty();
        return true;
    }
    return PolygonRegion(region, anchors.Points(), &n, 1, kFillWinding, header.subpix, region->floatOriginX,
                         region->floatOriginY, rows);
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
