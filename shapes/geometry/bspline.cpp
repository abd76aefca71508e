#include "shapes/geometry/bspline.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

namespace orva {

namespace {

constexpr float kSixth = 0.16666667f;

// Q(t) = ((c3 t + c2) t + c1) t + c0 of the control points A, B, C, D.
struct Cubic {
    PointF c0, c1, c2, c3;

    Cubic(PointF a, PointF b, PointF c, PointF d) {
        c0 = {(a.x + 4.0f * b.x + c.x) * kSixth, (a.y + 4.0f * b.y + c.y) * kSixth};
        c1 = {(c.x - a.x) * 0.5f, (c.y - a.y) * 0.5f};
        c2 = {(a.x - 2.0f * b.x + c.x) * 0.5f, (a.y - 2.0f * b.y + c.y) * 0.5f};
        c3 = {(3.0f * (b.x - c.x) - a.x + d.x) * kSixth, (3.0f * (b.y - c.y) - a.y + d.y) * kSixth};
    }
    PointF At(float t) const {
        return {((c3.x * t + c2.x) * t + c1.x) * t + c0.x, ((c3.y * t + c2.y) * t + c1.y) * t + c0.y};
    }
    PointF End() const { return {c0.x + c1.x + c2.x + c3.x, c0.y + c1.y + c2.y + c3.y}; }
};

// The control points of a curve: stored anchors, optionally one more point
// after them, all taken relative to an origin.
struct ControlPoints {
    const AnchorBuffer& anchors;
    bool extra = false;
    PointF end{0.0f, 0.0f};
    PointF origin{0.0f, 0.0f};

    uint32_t Count() const { return anchors.Count() + (extra ? 1 : 0); }
    PointF At(uint32_t i) const {
        if (i == anchors.Count()) return {end.x - origin.x, end.y - origin.y};
        return {anchors.X(i) - origin.x, anchors.Y(i) - origin.y};
    }
};

bool AtZero(PointF p) { return p.x == 0.0f && p.y == 0.0f; }

// Walks the sampled curve of n >= 3 control points: P0, the end of the first
// straight piece, the samples of every segment, the start of the last straight
// piece and P(n-1). With `skipCoincident` (relative control points), a segment
// whose control points are all at the origin adds no samples, and when that is
// the last segment the two closing points are left out too; so is the first
// straight piece's end when it is the origin.
template <class Visit>
void WalkCurve(const ControlPoints& cp, bool skipCoincident, Visit&& visit) {
    const uint32_t n = cp.Count();
    const PointF p0 = cp.At(0);
    const PointF p1 = cp.At(1);
    visit(BSplineSample{p0, 0, 0.0f});
    const PointF start{(5.0f * p0.x + p1.x) * kSixth, (5.0f * p0.y + p1.y) * kSixth};
    if (!skipCoincident || !AtZero(start)) visit(BSplineSample{start, 0, 1.0f});

    bool lastSkipped = false;
    for (uint32_t j = 1; j < n; ++j) {
        PointF a, b, c, d;
        if (j == 1) {
            a = p0, b = p0, c = p1, d = cp.At(2);
        } else if (j == n - 1) {
            a = cp.At(n - 3), b = cp.At(n - 2), c = cp.At(n - 1), d = c;
        } else {
            a = cp.At(j - 2), b = cp.At(j - 1), c = cp.At(j), d = cp.At(j + 1);
        }
        if (skipCoincident && AtZero(a) && AtZero(b) && AtZero(c) && AtZero(d)) {
            lastSkipped = j == n - 1;
            continue;
        }
        const Cubic q(a, b, c, d);
        // The first segment is probed near t = 2/3 (its c2 equals c1), the others at t = 1/2.
        const PointF probe = j == 1 ? PointF{q.c3.x * 0.2963f + q.c1.x * 1.1111f + q.c0.x,
                                             q.c3.y * 0.2963f + q.c1.y * 1.1111f + q.c0.y}
                                    : q.At(0.5f);
        const int32_t m = BSplineSegmentSteps(q.c0, probe, q.End());
        const float step = 1.0f / static_cast<float>(m);
        for (int32_t i = 0; i < m; ++i) {
            const float t = static_cast<float>(i) * step;
            visit(BSplineSample{q.At(t), static_cast<int32_t>(j), t});
        }
    }
    if (skipCoincident && lastSkipped) return;
    const PointF before = cp.At(n - 2);
    const PointF last = cp.At(n - 1);
    visit(BSplineSample{{(before.x + 5.0f * last.x) * kSixth, (before.y + 5.0f * last.y) * kSixth},
                        static_cast<int32_t>(n), 0.0f});
    visit(BSplineSample{last, static_cast<int32_t>(n), 1.0f});
}

void DrawCurve(const ControlPoints& cp) {
    const uint32_t n = cp.Count();
    if (n < 2) return;
    if (n == 2) {
        const PointF a = cp.At(0), b = cp.At(1);
        glBegin(GL_LINES);
        glVertex2f(a.x, a.y);
        glVertex2f(b.x, b.y);
        glEnd();
        return;
    }
    glBegin(GL_LINE_STRIP);
    WalkCurve(cp, false, [](const BSplineSample& s) { glVertex2f(s.point.x, s.point.y); });
    glEnd();
}

}  // namespace

int32_t BSplineSegmentSteps(PointF start, PointF probe, PointF end) {
    const float ux = end.x - start.x, uy = end.y - start.y;
    const float length = std::sqrt(ux * ux + uy * uy);
    float deviation = 0.0f;
    if (length > 1.1754944e-38f) {
        const float nx = ux / length, ny = uy / length;
        const float along = (probe.x - start.x) * nx + (probe.y - start.y) * ny;
        const float fx = start.x + along * nx, fy = start.y + along * ny;
        deviation = std::fabs(std::hypot(probe.x - fx, probe.y - fy));
    }
    // An approximate fourth root: the exponent quartered on the float's bits.
    int32_t bits;
    std::memcpy(&bits, &deviation, sizeof bits);
    bits = ((bits - 0x3F800000) >> 2) + 0x3F800000;
    float root;
    std::memcpy(&root, &bits, sizeof root);
    const float s = 7.0f * root;
    if (!(s >= 1.0f)) return 1;  // also a NaN from coordinates that are not numbers
    if (s >= 32.0f) return 32;
    auto m = static_cast<int32_t>(s);
    if (static_cast<float>(m) != s) ++m;
    return m > 32 ? 32 : m;
}

void BSplinePolygonSamples(const AnchorBuffer& anchors, BSplineVisit visit, void* user) {
    const uint32_t n = anchors.Count();
    if (n < 2 || anchors.data == nullptr) return;
    ControlPoints cp{anchors};
    cp.origin = {anchors.X(0), anchors.Y(0)};
    if (n == 2) {
        const PointF p1 = cp.At(1);
        if (AtZero(p1)) return;
        visit(user, BSplineSample{{0.0f, 0.0f}, 0, 0.0f});
        visit(user, BSplineSample{p1, 0, 1.0f});
        return;
    }
    WalkCurve(cp, true, [&](const BSplineSample& s) { visit(user, s); });
}

bool BSplineToPolygon(AnchorBuffer* buffer, const AnchorBuffer& anchors) {
    buffer->rowsUsed = 0;
    const uint64_t n = anchors.Count();
    if (n < 2) return true;
    // At most 32 samples per segment and four fixed points: sized once.
    const uint64_t room = n == 2 ? 2 : 33 * n - 30;
    if (room > 0xFFFFFFFFu || !buffer->EnsureRoom(static_cast<uint32_t>(room))) return false;
    BSplinePolygonSamples(
        anchors,
        [](void* user, const BSplineSample& s) {
            auto* b = static_cast<AnchorBuffer*>(user);
            float* out = b->Points() + 2 * static_cast<size_t>(b->rowsUsed);
            out[0] = s.point.x;
            out[1] = s.point.y;
            ++b->rowsUsed;
        },
        buffer);
    if (buffer->rowsUsed == 1) buffer->rowsUsed = 0;
    return true;
}

void BSplineDrawAnchors(const AnchorBuffer& anchors) {
    if (anchors.data == nullptr) return;
    DrawCurve(ControlPoints{anchors});
}

void BSplineDraw(const AnchorBuffer& anchors, float endX, float endY) {
    if (anchors.data == nullptr && anchors.Count() != 0) return;
    ControlPoints cp{anchors};
    cp.extra = true;
    cp.end = {endX, endY};
    DrawCurve(cp);
}

}  // namespace orva
