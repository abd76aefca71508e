#include "shapes/geometry/plane_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orva {

namespace {

constexpr float kFloatMax = 3.4028235e38f;

bool Inside(double x, double y, double w, double h) { return x >= 0.0 && x < w && y >= 0.0 && y < h; }

// The fewest whole steps k (0 <= k <= limit) for which from + k u lies inside
// [0, w) x [0, h); -1 when there is none.
double StepsInside(const double from[2], const double u[2], double limit, double w, double h) {
    double lo = 0.0, hi = limit;
    const double extent[2] = {w, h};
    for (int axis = 0; axis < 2; ++axis) {
        const double v = from[axis], e = u[axis], size = extent[axis];
        if (e == 0.0) {
            if (!(v >= 0.0 && v < size)) return -1.0;
        } else if (e > 0.0) {
            lo = std::max(lo, -v / e);
            hi = std::min(hi, (size - v) / e);
        } else {
            lo = std::max(lo, (v - size) / -e);
            hi = std::min(hi, v / -e);
        }
    }
    if (!(lo <= hi)) return -1.0;
    // The bounds are exact only up to rounding: the candidates around them are
    // tested on the positions that would be written.
    for (double k = std::max(0.0, std::ceil(lo) - 1.0); k <= std::ceil(lo) + 1.0 && k <= limit; ++k)
        if (Inside(from[0] + k * u[0], from[1] + k * u[1], w, h)) return k;
    return -1.0;
}

bool Selected(const AnchorBuffer& a, uint32_t i) {
    return a.selectedCount == -1 || (a.Selection() != nullptr && a.Selection()[i] != 0);
}

// Anchor i of a polyline relative to the box corner, and back.
void RelativePoint(const AnchorBuffer& a, uint32_t i, const PlaneBox& box, double out[2]) {
    out[0] = a.X(i) - box.x;
    out[1] = a.Y(i) - box.y;
}
void StorePoint(AnchorBuffer* a, uint32_t i, const PlaneBox& box, const double p[2]) {
    a->Points()[2 * i] = static_cast<float>(p[0] + box.x);
    a->Points()[2 * i + 1] = static_cast<float>(p[1] + box.y);
}

// Drops the anchors before `first` and after `last`; the rest, in order, all selected.
void KeepRange(AnchorBuffer* a, uint32_t first, uint32_t last) {
    const uint32_t kept = last - first + 1;
    if (first != 0) std::memmove(a->Points(), a->Points() + 2 * first, static_cast<size_t>(kept) * 2 * sizeof(float));
    a->rowsUsed = kept;
    a->SelectAll(true);
}

}  // namespace

void BoundingBoxOfPoints(const float* points, int32_t n, PlaneBox* box) {
    double x0 = points[0], y0 = points[1], x1 = x0, y1 = y0;
    for (int32_t i = 1; i < n; ++i) {
        x0 = std::min<double>(x0, points[2 * i]);
        x1 = std::max<double>(x1, points[2 * i]);
        y0 = std::min<double>(y0, points[2 * i + 1]);
        y1 = std::max<double>(y1, points[2 * i + 1]);
    }
    *box = PlaneBox{x0, y0, x1 - x0, y1 - y0};
}

void SelectedAnchorsBox(const AnchorBuffer& anchors, PlaneBox* box) {
    const uint32_t n = anchors.Count();
    if (anchors.selectedCount == 0 || n == 0 || anchors.data == nullptr) return;
    if (anchors.selectedCount == -1) {
        BoundingBoxOfPoints(anchors.Points(), static_cast<int32_t>(n), box);
        return;
    }
    const int32_t current = anchors.lastSelected;
    if (anchors.selectedCount == 1 && current >= 0 && static_cast<uint32_t>(current) < n) {
        *box = PlaneBox{anchors.X(current), anchors.Y(current), 0.0, 0.0};
        return;
    }
    // Maxima start at the lowest float: shapes may lie left of or above the frame.
    double x0 = kFloatMax, y0 = kFloatMax, x1 = -kFloatMax, y1 = -kFloatMax;
    bool any = false;
    for (uint32_t i = 0; i < n; ++i) {
        if (!Selected(anchors, i)) continue;
        any = true;
        x0 = std::min<double>(x0, anchors.X(i));
        x1 = std::max<double>(x1, anchors.X(i));
        y0 = std::min<double>(y0, anchors.Y(i));
        y1 = std::max<double>(y1, anchors.Y(i));
    }
    if (any) *box = PlaneBox{x0, y0, x1 - x0, y1 - y0};
}

void RemapAnchorsToBox(AnchorBuffer* anchors, const float* source, const PlaneBox& nu, const PlaneBox& old,
                       bool selectedOnly) {
    const uint32_t n = anchors->Count();
    if (n == 0 || anchors->data == nullptr || source == nullptr) return;
    const bool onlySelected = selectedOnly && anchors->selectedCount != 0 && anchors->selectedCount != -1;
    const double tx = nu.x - old.x, ty = nu.y - old.y;
    float* out = anchors->Points();
    for (uint32_t i = 0; i < n; ++i) {
        if (onlySelected && !Selected(*anchors, i)) continue;
        double x = source[2 * i], y = source[2 * i + 1];
        if (old.w != 0.0 && old.h != 0.0) {
            const double sx = nu.w != old.w ? nu.w / old.w : 1.0;
            const double sy = nu.h != old.h ? nu.h / old.h : 1.0;
            x = (x - old.x) * sx + old.x;
            y = (y - old.y) * sy + old.y;
        } else {
            // A horizontal or vertical shape: its own axis scales, the other shears.
            const double ox = x, oy = y;
            if (nu.w != old.w) {
                if (old.h == 0.0 && old.w != 0.0) x = ox + (ox - old.x) * (nu.w - old.w) / old.w;
                else if (old.h != 0.0) x = ox + (oy - old.y) * (nu.w - old.w) / old.h;
            }
            if (nu.h != old.h) {
                if (old.w == 0.0 && old.h != 0.0) y = oy + (oy - old.y) * (nu.h - old.h) / old.h;
                else if (old.w != 0.0) y = oy + (ox - old.x) * (nu.h - old.h) / old.w;
            }
        }
        out[2 * i] = static_cast<float>(x + tx);
        out[2 * i + 1] = static_cast<float>(y + ty);
    }
}

int32_t ClampAnchorsToBox(AnchorBuffer* anchors, const PlaneBox& box) {
    const uint32_t n = anchors->Count();
    if (n == 0 || anchors->data == nullptr) return 0;
    bool moved = false;
    float* p = anchors->Points();
    auto clamp = [&](float* v, double low, double size) {
        float target = *v;
        if (*v < low) target = static_cast<float>(low);
        else if (*v >= low + size) target = static_cast<float>(low + size);
        if (target != *v) {
            *v = target;
            moved = true;
        }
    };
    for (uint32_t i = 0; i < n; ++i) {
        clamp(p + 2 * i, box.x, box.w);
        clamp(p + 2 * i + 1, box.y, box.h);
    }
    if (!moved) return 0;
    anchors->SelectAll(true);
    return 1;
}

int32_t KeepAnchorsInBox(AnchorBuffer* anchors, const PlaneBox& box) {
    const uint32_t n = anchors->Count();
    anchors->SelectAll(true);
    if (n == 0 || anchors->data == nullptr) {
        anchors->selectedCount = 0;
        return -1;
    }
    float* p = anchors->Points();
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const double dx = p[2 * i] - box.x, dy = p[2 * i + 1] - box.y;
        if (!(dx >= 0.0 && dx < box.w && dy >= 0.0 && dy < box.h)) continue;
        p[2 * kept] = p[2 * i];
        p[2 * kept + 1] = p[2 * i + 1];
        ++kept;
    }
    if (kept == 0) {
        anchors->selectedCount = 0;
        return -1;
    }
    if (kept == n) return 0;
    anchors->rowsUsed = kept;
    anchors->SelectAll(true);
    return 1;
}

int32_t ClipSegmentToBox(double p[2], double q[2], double w, double h) {
    // Both ends beyond the same edge.
    if ((p[0] < 0.0 && q[0] < 0.0) || (p[1] < 0.0 && q[1] < 0.0) || (p[0] >= w && q[0] >= w) ||
        (p[1] >= h && q[1] >= h))
        return -1;
    const bool pIn = Inside(p[0], p[1], w, h);
    const bool qIn = Inside(q[0], q[1], w, h);
    if (pIn && qIn) return 0;
    const double dx = q[0] - p[0], dy = q[1] - p[1];
    const double span = std::max(std::fabs(dx), std::fabs(dy));
    if (!(span > 0.0)) return -1;  // a point outside, or coordinates that are not numbers
    // Unit steps of the dominant axis along the segment.
    const double forward[2] = {dx / span, dy / span};
    const double backward[2] = {-forward[0], -forward[1]};
    const double limit = std::floor(span);

    int32_t result = 0;
    double kp = 0.0;
    double movedP[2] = {p[0], p[1]};
    if (!pIn) {
        kp = StepsInside(p, forward, limit, w, h);
        if (kp < 0.0) {
            if (!qIn) return -1;
            kp = span;  // no whole step lands inside before q: p goes to q
            movedP[0] = q[0];
            movedP[1] = q[1];
        } else {
            movedP[0] = p[0] + kp * forward[0];
            movedP[1] = p[1] + kp * forward[1];
        }
        result |= 1;
    }
    double movedQ[2] = {q[0], q[1]};
    if (!qIn) {
        const double kq = StepsInside(q, backward, limit, w, h);
        if (kq < 0.0 || span - kq < kp) {
            movedQ[0] = movedP[0];  // the moved ends cross
            movedQ[1] = movedP[1];
        } else {
            movedQ[0] = q[0] + kq * backward[0];
            movedQ[1] = q[1] + kq * backward[1];
        }
        result |= 2;
    }
    p[0] = movedP[0];
    p[1] = movedP[1];
    q[0] = movedQ[0];
    q[1] = movedQ[1];
    return result;
}

int32_t ClipPolylineToBox(AnchorBuffer* anchors, const PlaneBox& box, bool enable) {
    const uint32_t n = anchors->Count();
    if (!enable || n < 2 || anchors->data == nullptr) return 0;
    bool moved = false;

    // From the front: segments that miss the box go, the first that meets it
    // gets its start moved in (and its end, when it is the last segment).
    uint32_t first = 0;
    for (; first + 1 < n; ++first) {
        double p[2], q[2];
        RelativePoint(*anchors, first, box, p);
        RelativePoint(*anchors, first + 1, box, q);
        const int32_t r = ClipSegmentToBox(p, q, box.w, box.h);
        if (r == -1) continue;
        if (r & 1) StorePoint(anchors, first, box, p);
        if ((r & 2) && first + 2 == n) StorePoint(anchors, first + 1, box, q);
        moved = moved || r != 0;
        break;
    }
    // The same from the back, down to the first anchor kept.
    uint32_t last = n - 1;
    for (; last > first; --last) {
        double p[2], q[2];
        RelativePoint(*anchors, last, box, p);
        RelativePoint(*anchors, last - 1, box, q);
        const int32_t r = ClipSegmentToBox(p, q, box.w, box.h);
        if (r == -1) continue;
        if (r & 1) StorePoint(anchors, last, box, p);
        if ((r & 2) && last - 1 == first) StorePoint(anchors, last - 1, box, q);
        moved = moved || r != 0;
        break;
    }
    if (first >= n - 1 || last <= first) return -1;
    if (first == 0 && last == n - 1) return moved ? 1 : 0;
    KeepRange(anchors, first, last);
    return 1;
}

bool IntersectBoxes(PlaneBox* a, const PlaneBox& b) {
    const bool aNone = a->w == 0.0 && a->h == 0.0;
    const bool bNone = b.w == 0.0 && b.h == 0.0;
    if (aNone || bNone || a->x >= b.x + b.w || a->y >= b.y + b.h || a->x + a->w < b.x || a->y + a->h < b.y) {
        a->w = 0.0;
        a->h = 0.0;
        return false;
    }
    // The far edges are the nearer of the two boxes' edges, also where the
    // near edge moved in.
    const double right = std::min(a->x + a->w, b.x + b.w), bottom = std::min(a->y + a->h, b.y + b.h);
    a->x = std::max(a->x, b.x);
    a->y = std::max(a->y, b.y);
    a->w = right - a->x;
    a->h = bottom - a->y;
    return true;
}

bool BoxOutsideBox(const PlaneBox& a, const PlaneBox& b) {
    if ((a.w == 0.0 && a.h == 0.0) || (b.w == 0.0 && b.h == 0.0)) return false;
    return a.x >= b.x + b.w || a.y >= b.y + b.h || a.x + a.w < b.x || a.y + a.h < b.y || a.x < b.x || a.y < b.y ||
           a.x + a.w > b.x + b.w || a.y + a.h > b.y + b.h;
}

}  // namespace orva
