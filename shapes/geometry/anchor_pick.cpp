#include "shapes/geometry/anchor_pick.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "toolkit/input.h"

namespace orva {

namespace {

// |(x, y)| without overflow or underflow in the squares.
double SafeLength(double x, double y) {
    x = std::fabs(x);
    y = std::fabs(y);
    if (x < 1e-12) return y;
    if (y < 1e-12) return x;
    if (x == y) return x * 1.4142135623730951;
    const double large = std::max(x, y), small = std::min(x, y);
    const double r = small / large;
    return large * std::sqrt(1.0 + r * r);
}

int32_t LastSelectedIndex(const uint8_t* selection, uint32_t n) {
    for (uint32_t i = n; i-- > 0;)
        if (selection[i]) return static_cast<int32_t>(i);
    return -1;
}

int32_t CountSelected(const uint8_t* selection, uint32_t n) {
    int32_t k = 0;
    for (uint32_t i = 0; i < n; ++i) k += selection[i] != 0;
    return static_cast<uint32_t>(k) == n ? -1 : k;
}

}  // namespace

int32_t PickAnchor(Shape* shape, double mouseX, double mouseY, uint32_t modifiers) {
    if (shape == nullptr) return 0;
    AnchorBuffer& a = shape->header.anchors;
    double x = mouseX, y = mouseY, zx = 1.0, zy = 1.0;
    if (const ShapeView* v = shape->view) {
        x -= v->originX + v->displayOffsetX;
        y -= v->originY + v->displayOffsetY;
        if (v->zoom.active) {
            zx = v->zoom.x;
            zy = v->zoom.y;
        }
    }
    x *= zx;
    y *= zy;
    const double left = x - 4.0 * zx, right = x + 4.0 * zx, top = y - 4.0 * zy, bottom = y + 4.0 * zy;

    ShapeLock lock(shape);
    const uint32_t n = a.Count();
    uint8_t* sel = a.Selection();
    if (n == 0 || a.data == nullptr || sel == nullptr) return 0;
    int32_t hit = -1;
    for (uint32_t i = 0; i < n && hit < 0; ++i)
        if (left < a.X(i) && a.X(i) < right && top <= a.Y(i) && a.Y(i) < bottom) hit = static_cast<int32_t>(i);
    if (hit < 0) {
        std::memset(sel, 0, n);
        a.selectedCount = 0;
        return 0;
    }

    const int32_t c = a.lastSelected;
    const bool currentValid = c >= 0 && static_cast<uint32_t>(c) < n;
    const bool shift = (modifiers & kKeyShift) != 0;
    const bool ctrl = (modifiers & kKeyCtrl) != 0;
    const bool alt = (modifiers & kKeyAlt) != 0;
    int32_t& count = a.selectedCount;
    int32_t current = hit;
    int32_t result = 1;

    if (!shift || alt || !currentValid) {
        const bool wasSelected = sel[hit] != 0;
        if (count == -1 || count > 1 || !currentValid) {
            if (n >= 2 && !alt) std::memset(sel, 0, n);
            sel[hit] = 1;
            if (!alt) count = 1;
            else if (!wasSelected && count != -1) ++count;
        } else {
            sel[hit] = 1;
            if (!alt) {
                if (c != hit) sel[c] = 0;
                count = 1;
            } else if (!wasSelected) {
                ++count;
            }
        }
    } else if (ctrl) {
        if (n == 1 || count == 0 || count == -1) {
            const bool all = count == 0;  // none becomes all, anything else none
            std::memset(sel, all ? 1 : 0, n);
            count = all ? -1 : 0;
        } else {
            // The trailing run of selected anchors goes, the anchor before it is
            // selected and current, and every anchor before that one flips.
            uint32_t end = n;
            while (end > 0 && sel[end - 1]) sel[--end] = 0;
            if (end > 0) {
                const uint32_t j = end - 1;
                sel[j] = 1;
                current = static_cast<int32_t>(j);
                for (uint32_t k = 0; k < j; ++k) sel[k] = sel[k] ? 0 : 1;
            }
            count = CountSelected(sel, n);
        }
    } else if (!sel[hit]) {
        sel[hit] = 1;
        if (count == -1) {
            result = 0;
        } else if (++count >= static_cast<int32_t>(n)) {
            count = -1;
        }
    } else {
        sel[hit] = 0;
        if (count == -1) {
            count = static_cast<int32_t>(n) - 1;
            current = static_cast<uint32_t>(hit) + 1 < n ? hit + 1 : hit - 1;
        } else {
            --count;
            current = LastSelectedIndex(sel, n);
        }
    }
    a.lastSelected = current;
    return result;
}

void RotateDragHandler(RotateDrag* drag) {
    Shape* first = drag->shape;
    if (first == nullptr) return;
    double px = drag->commonPivot && first->chainNext != nullptr ? drag->pivotX : first->header.pivotX;
    double py = drag->commonPivot && first->chainNext != nullptr ? drag->pivotY : first->header.pivotY;
    px += drag->viewOffsetX;
    py += drag->viewOffsetY;
    const float ax = static_cast<float>(drag->startX - px), ay = static_cast<float>(drag->startY - py);
    const float bx = static_cast<float>(drag->mouseX - px), by = static_cast<float>(drag->mouseY - py);
    const double la = SafeLength(ax, ay), lb = SafeLength(bx, by);
    // The turn from a to b is positive from +x toward +y, so the anchor under
    // the pointer follows it.
    const double cross = static_cast<double>(ax) * by - static_cast<double>(ay) * bx;
    const double dot = static_cast<double>(ax) * bx + static_cast<double>(ay) * by;

    double sine = 0.0, cosine = 1.0;
    if (la > 0.0 && lb > 0.0) {
        const bool snap = ((drag->modifiers & kKeyShift) != 0) != drag->invertSnap;
        if (snap) {
            double angle = std::acos(std::clamp(dot / (la * lb), -1.0, 1.0));
            if (cross < 0.0) angle = -angle;
            const double snapped = std::round(angle * 1.2732395447351628) * 0.7853981633974483;
            if (std::fabs(snapped) >= 1e-12) {
                sine = std::sin(snapped);
                cosine = std::cos(snapped);
            }
        } else {
            sine = cross / (la * lb);
            cosine = dot / (la * lb);
        }
    }

    for (Shape* s = first; s != nullptr; s = s->chainNext) {
        AnchorBuffer& cur = s->header.anchors;
        const AnchorBuffer& saved = s->snapshot.anchors;
        if (saved.Count() != cur.Count() || saved.itemBytes != cur.itemBytes || cur.Count() == 0 ||
            saved.data == nullptr || cur.data == nullptr)
            continue;
        {
            ShapeLock lock(s);
            const bool onlySelected = cur.selectedCount > 0 && cur.Selection() != nullptr;
            float* out = cur.Points();
            for (uint32_t i = 0; i < cur.Count(); ++i) {
                if (onlySelected && !cur.Selection()[i]) continue;
                const double dx = saved.X(i) - px, dy = saved.Y(i) - py;
                if (sine == 0.0 && cosine == 1.0) {
                    out[2 * i] = saved.X(i);
                    out[2 * i + 1] = saved.Y(i);
                } else {
                    out[2 * i] = static_cast<float>(dx * cosine - dy * sine + px);
                    out[2 * i + 1] = static_cast<float>(dx * sine + dy * cosine + py);
                }
            }
            s->statMark.centreX = -1.0;
            s->UpdateGeometry(kUpdateKeepPivot);
        }
        s->RestartLinked();
    }
    if (drag->feedback != nullptr) drag->feedback->Rotated(*drag, bx, by);
}

}  // namespace orva
