#include "shapes/geometry/path_sampler.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "data/kernel_util.h"

namespace orva {

namespace {

// Points a buffer may be asked for: its block (9 bytes a point) stays below
// the block limit.
constexpr double kMostPoints = 0x20000000 / 9;

// Counts of samples allow for the rounding of float outlines: a sample within
// this fraction of a step of a segment's end is taken at the end.
constexpr double kStepSlack = 1e-6;

// Samples at distances 0, s, 2s, ... up to `length` (the end included).
double SamplesUpTo(double length, double s) { return std::trunc(length / s + kStepSlack) + 1.0; }
// Samples at 0, s, 2s, ... before `length`.
double SamplesBefore(double length, double s) { return std::max(1.0, std::ceil(length / s - kStepSlack)); }

// The sampling step: the header's scale when it is a positive number, else 1.
double SamplingStep(const ShapeHeader& header) {
    const double s = header.scale;
    return s > 0.0 && std::isfinite(s) ? s : 1.0;
}

// Room for `more` points after those in use.
bool GrowBy(AnchorBuffer* b, double more) {
    const double total = static_cast<double>(b->Count()) + more;
    if (!(total <= kMostPoints)) return false;
    return b->EnsureRoom(static_cast<uint32_t>(total));
}

void Put(AnchorBuffer* b, double x, double y) {
    float* p = b->Points() + 2 * static_cast<size_t>(b->rowsUsed);
    p[0] = static_cast<float>(x);
    p[1] = static_cast<float>(y);
    ++b->rowsUsed;
}

// `count` samples at distances first, first + s, ... from a along the unit
// direction u, none beyond `limit`.
bool PutSamples(AnchorBuffer* b, double ax, double ay, double ux, double uy, double first, double s, double count,
                double limit) {
    if (!GrowBy(b, count)) return false;
    const auto n = static_cast<uint32_t>(count);
    for (uint32_t i = 0; i < n; ++i) {
        const double q = std::min(first + i * s, limit);
        Put(b, ax + ux * q, ay + uy * q);
    }
    return true;
}

// The whole-pixel steps 1 ... n (signed with the dominant delta) of a segment
// from (ax, ay) with delta (dx, dy), along x when `alongX`.
void PutUnitSteps(AnchorBuffer* b, double ax, double ay, double dx, double dy, int64_t n, bool alongX) {
    if (alongX) {
        const double sign = dx < 0.0 ? -1.0 : 1.0;
        for (int64_t t = 1; t <= n; ++t) {
            const double x = sign * static_cast<double>(t);
            Put(b, ax + x, dy == 0.0 ? ay : ay + x * dy / dx);
        }
    } else {
        const double sign = dy < 0.0 ? -1.0 : 1.0;
        for (int64_t t = 1; t <= n; ++t) {
            const double y = sign * static_cast<double>(t);
            Put(b, dx == 0.0 ? ax : ax + y * dx / dy, ay + y);
        }
    }
}

// Whole pixels crossed from a to b on one axis.
double FloorSteps(double a, double b) { return std::fabs(std::floor(b) - std::floor(a)); }

}  // namespace

double SegmentLength(double dx, double dy) {
    if (dx == 0.0) return std::fabs(dy);
    if (dy == 0.0) return std::fabs(dx);
    return std::sqrt(dx * dx + dy * dy);
}

bool SegmentPixelSteps(AnchorBuffer* buffer, double x0, double y0, double x1, double y1) {
    const double fx = FloorSteps(x0, x1), fy = FloorSteps(y0, y1);
    const double n = std::max(fx, fy);
    if (!(n + 1.0 <= kMostPoints)) return false;
    const uint32_t kept = buffer->rowsUsed;
    buffer->rowsUsed = 0;
    if (!buffer->EnsureRoom(static_cast<uint32_t>(n) + 1)) {
        buffer->rowsUsed = kept;
        return false;
    }
    const double dx = x1 - x0, dy = y1 - y0;
    Put(buffer, 0.0, 0.0);
    PutUnitSteps(buffer, 0.0, 0.0, dx, dy, static_cast<int64_t>(n), fx >= fy && dx != 0.0);
    return true;
}

bool PolylineOutline(OpenOutline* out, const AnchorBuffer& anchors) {
    out->points.rowsUsed = 0;
    out->pixelPath.rowsUsed = 0;
    const uint32_t n = anchors.Count();
    if (n < 2 || anchors.data == nullptr) return true;
    if (!out->points.EnsureRoom(n)) return false;
    const float x0 = anchors.X(0), y0 = anchors.Y(0);
    for (uint32_t i = 0; i < n; ++i) Put(&out->points, anchors.X(i) - x0, anchors.Y(i) - y0);

    AnchorBuffer& path = out->pixelPath;
    bool ok = SegmentPixelSteps(&path, x0, y0, anchors.X(1), anchors.Y(1));
    // Movement of segments too short to cross a pixel, summed until one does.
    double carryX = 0.0, carryY = 0.0;
    for (uint32_t i = 1; ok && i + 1 < n; ++i) {
        const double ax = out->points.X(i), ay = out->points.Y(i);
        const double bx = out->points.X(i + 1), by = out->points.Y(i + 1);
        const double dx = bx - ax, dy = by - ay;
        if (dx == 0.0 && dy == 0.0) continue;
        const double fx = FloorSteps(x0 + ax, x0 + bx), fy = FloorSteps(y0 + ay, y0 + by);
        double steps = std::max(fx, fy);
        if (steps == 0.0) {
            if (std::fabs(carryX) < 1.0 && std::fabs(carryY) < 1.0) {
                carryX += dx;
                carryY += dy;
                continue;
            }
            steps = 1.0;
        }
        carryX = carryY = 0.0;
        ok = GrowBy(&path, steps);
        if (ok) PutUnitSteps(&path, ax, ay, dx, dy, static_cast<int64_t>(steps), fx >= fy && dx != 0.0);
    }
    if (!ok) {
        out->points.rowsUsed = 0;
        path.rowsUsed = 0;
    }
    return ok;
}

bool SampleSegment(AnchorBuffer* buffer, double dx, double dy, const ShapeHeader& header) {
    buffer->rowsUsed = 0;
    const double s = SamplingStep(header);
    const double length = SegmentLength(dx, dy);
    if (!(length > s)) {
        if (!buffer->EnsureRoom(1)) return false;
        Put(buffer, 0.0, 0.0);
        return true;
    }
    if (!PutSamples(buffer, 0.0, 0.0, dx / length, dy / length, 0.0, s, SamplesUpTo(length, s), length)) {
        buffer->rowsUsed = 0;
        return false;
    }
    return true;
}

bool PathSampler(AnchorBuffer* path, const AnchorBuffer& outline, const ShapeHeader& header) {
    path->rowsUsed = 0;
    const uint32_t n = outline.Count();
    if (n < 2 || outline.data == nullptr) return true;
    if (n == 2) return SampleSegment(path, outline.X(1) - outline.X(0), outline.Y(1) - outline.Y(0), header);

    const double s = SamplingStep(header);
    double carry = 0.0;  // distance into the next segment of its first sample
    bool ok = true;
    for (uint32_t i = 0; ok && i + 1 < n; ++i) {
        const double ax = outline.X(i), ay = outline.Y(i);
        const double dx = outline.X(i + 1) - ax, dy = outline.Y(i + 1) - ay;
        const double length = SegmentLength(dx, dy);
        const double ux = length > 0.0 ? dx / length : 0.0, uy = length > 0.0 ? dy / length : 0.0;
        if (i == 0) {
            if (length <= s) {
                ok = PutSamples(path, ax, ay, ux, uy, 0.0, s, 1.0, length);
                carry = s - length;
            } else {
                const double count = SamplesBefore(length, s);
                ok = PutSamples(path, ax, ay, ux, uy, 0.0, s, count, length);
                carry = std::max(0.0, count * s - length);
            }
            continue;
        }
        const double rest = length - carry;
        if (i + 2 == n) {
            // The last segment ends the path: its end is sampled when the spacing reaches it.
            if (rest >= 0.0) ok = PutSamples(path, ax, ay, ux, uy, carry, s, rest > s ? SamplesUpTo(rest, s) : 1.0, length);
            break;
        }
        if (rest <= 0.0) {
            carry = -rest;  // the segment lies before the next sample
            continue;
        }
        const double count = rest > s ? SamplesBefore(rest, s) : 1.0;
        ok = PutSamples(path, ax, ay, ux, uy, carry, s, count, length);
        carry = std::max(0.0, count * s - rest);
    }
    if (!ok) path->rowsUsed = 0;
    return ok;
}

bool SampleSegmentStepped(AnchorBuffer* buffer, float startX, float startY, double dx, double dy, int32_t step,
                          uint32_t extra) {
    const int64_t every = step == 0 ? 1 : std::llabs(static_cast<int64_t>(step));
    const double ax = std::min(std::fabs(dx), 2147483647.0), ay = std::min(std::fabs(dy), 2147483647.0);
    const int64_t n = kernel::SaturateTrunc<int64_t>(std::ceil(std::max(ax, ay)));
    const int64_t samples = n / every + 1;
    const double record = 1.0 + extra;
    if (!GrowBy(buffer, static_cast<double>(samples) * record)) return false;
    const bool alongX = std::fabs(dx) >= std::fabs(dy);
    const double sign = (alongX ? dx : dy) < 0.0 ? -1.0 : 1.0;
    float* out = buffer->Points() + 2 * static_cast<size_t>(buffer->rowsUsed);
    const size_t stride = 2 * (static_cast<size_t>(extra) + 1);
    for (int64_t i = 0; i < samples; ++i, out += stride) {
        const double t = sign * static_cast<double>(i * every);
        if (alongX) {
            out[0] = static_cast<float>(startX + t);
            out[1] = static_cast<float>(dy == 0.0 ? startY : startY + std::floor(t * dy / dx));
        } else {
            out[0] = static_cast<float>(startX + t * dx / dy);
            out[1] = static_cast<float>(startY + t);
        }
    }
    buffer->rowsUsed += static_cast<uint32_t>(samples * (extra + 1));
    return true;
}

void DrawScaledPoints(float dx, float dy) {
    if (dx == 0.0f && dy == 0.0f) return;
    const bool alongY = std::fabs(dy) > std::fabs(dx);
    const double span = alongY ? std::fabs(dy) : std::fabs(dx);
    const double sign = (alongY ? dy : dx) < 0.0f ? -1.0 : 1.0;
    glBegin(GL_POINTS);
    glVertex2f(0.0f, 0.0f);
    // A segment beyond the float range of whole numbers draws what floats can tell apart.
    for (int64_t k = 1; k < span && k < (int64_t{1} << 24); ++k) {
        const double d = sign * static_cast<double>(k);
        if (alongY) glVertex2d(d * dx / dy, d);
        else glVertex2d(d, d * dy / dx);
    }
    glEnd();
}

}  // namespace orva
