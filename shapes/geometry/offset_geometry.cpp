#include "shapes/geometry/offset_geometry.h"

#include <cmath>

#include "shapes/shape.h"

namespace orva {

namespace {

// A squared length below this cannot be scaled.
constexpr double kTinySquaredLength = 1.175494351e-38;
// With L = 1 a vector this close to unit length is taken as it is.
constexpr double kUnitAbove = 2.384185933124172e-7;
constexpr double kUnitBelow = 2.3841856489070778e-7;
// A mean offset this small has no direction: the offset goes along x.
constexpr float kTinyMeanComponent = 4.76837158203125e-7f;

// The offset length: the header's scale.
double OffsetLength(const ShapeHeader& header) { return header.scale; }

// Scales (x, y) to length L; false when it has no length.
bool ScaleToLength(double L, float* x, float* y) {
    const double vx = *x, vy = *y;
    const double sq = vx * vx + vy * vy;
    if (!(sq >= kTinySquaredLength)) return false;
    if (L == 1.0 && sq <= 1.0 + kUnitAbove && sq >= 1.0 - kUnitBelow) return true;
    const double f = L / std::sqrt(sq);
    *x = static_cast<float>(vx * f);
    *y = static_cast<float>(vy * f);
    return true;
}

void EmptySecondRegion(Shape* shape) {
    ShapeLock lock(shape);
    shape->derived.offsetRegion.MakeEmpty();
}

// Room for `count` points with none in use; false (buffer emptied) when refused.
bool Prepare(AnchorBuffer* out, uint64_t count) {
    out->rowsUsed = 0;
    return count <= 0xFFFFFFFFu && out->EnsureRoom(static_cast<uint32_t>(count));
}

void Put(AnchorBuffer* out, double x, double y) {
    float* p = out->Points() + 2 * static_cast<size_t>(out->rowsUsed);
    p[0] = static_cast<float>(x);
    p[1] = static_cast<float>(y);
    ++out->rowsUsed;
}

// The offset direction at anchor or segment i: the normal buffer's when given
// and long enough, else the record's vector.
void DirectionAt(const EditTransformState& record, const AnchorBuffer* normals, uint32_t i, double* nx,
                 double* ny) {
    if (normals != nullptr && i < normals->Count()) {
        *nx = normals->X(i);
        *ny = normals->Y(i);
    } else {
        *nx = record.vector[0];
        *ny = record.vector[1];
    }
}

}  // namespace

// ---- The record --------------------------------------------------------------------------

void EditTransformState::SetSides(uint32_t positive, uint32_t negative) {
    aperture[1] = static_cast<int32_t>(positive);
    aperture[2] = static_cast<int32_t>(negative);
    aperture[0] = static_cast<int32_t>(positive + negative - 1u);
}

void EditTransformState::Reset() {
    SetSides(1, 0);
    direction = kOffsetCnrm;
    editFlag = kApertureCentred;
    vector[0] = vector[1] = 0.0f;
}

void EditTransformState::Normalise() {
    if (editFlag <= kAperturePositive || editFlag > kApertureProportional) editFlag = kApertureCentred;
    if (angle < -360.0f || angle > 360.0f) angle = std::fmod(angle, 360.0f);
    uint32_t positive = Positive(), negative = Negative();
    if (positive == 0 && negative == 0) {
        const uint32_t e = Extent();
        positive = static_cast<uint32_t>((static_cast<uint64_t>(e) + 1) >> 1);
        negative = e - positive + 1u;
    }
    SetSides(positive, negative);
    if (std::fabs(vector[0]) < kTinyOffsetComponent && std::fabs(vector[1]) < kTinyOffsetComponent) {
        vector[0] = 0.0f;
        vector[1] = 1.0f;
    }
}

bool EditTransformState::IsUnitFlip() const {
    if (direction == 0) return false;
    if (Positive() == 0 && Negative() == 0) return false;
    if (Extent() != Positive() + Negative() - 1u) return false;
    return std::fabs(vector[0]) == 1.0f && std::fabs(vector[1]) == 1.0f;
}

// ---- Aperture and vector -------------------------------------------------------------------

bool Shape::SetOffsetAperture(EditTransformState* record, uint32_t w, int32_t m) {
    if (record == nullptr || record->editFlag == kApertureLocked) return false;
    if (m == -1) m = record->editFlag;
    if (w >= 0x80000000u) w = 0x7FFFFFFFu;
    if (m != kApertureNegative && w == 0) w = 1;
    if (m == kAperturePositive) {
        if (record->Positive() == w) return false;
        record->SetSides(w, record->Negative());
        return true;
    }
    if (m == kApertureNegative) {
        if (record->Negative() == w) return false;
        record->SetSides(record->Positive(), w);
        return true;
    }
    // The sides of a record are at most 0x7FFFFFFF each: their sum fits.
    const uint64_t positive = record->Positive(), negative = record->Negative();
    const uint64_t sum = positive + negative;
    if (w == sum) return false;
    uint64_t p = 0, n = 0;
    if (w < 2) {
        p = 1;
        n = 0;
    } else if (record->editFlag == kApertureProportional) {
        if (w > sum) {
            const uint64_t e = w - sum;
            p = positive + e - (e >> 1);
            n = w - p;
        } else {
            const uint64_t d = (sum - w) >> 1;
            p = positive > d ? positive - d : 0;
            n = w - p;
        }
    } else {
        p = w - (w >> 1);
        n = w >> 1;
    }
    record->SetSides(static_cast<uint32_t>(p), static_cast<uint32_t>(n));
    return true;
}

bool Shape::SetOffsetVector(float x, float y, bool withAperture) {
    EditTransformState& record = header.offset;
    const double L = OffsetLength(header);
    const double length = std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y);
    if (!withAperture && x == 0.0f && y == 0.0f) return false;
    if (!ScaleToLength(L, &x, &y)) return false;
    bool changed = false;
    if (withAperture) {
        const double width = std::ceil(L * length);
        const uint32_t w = width >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(width);
        if (SetOffsetAperture(&record, w, -1)) {
            changed = true;
            EmptySecondRegion(this);
        }
    }
    if (record.vector[0] != x || record.vector[1] != y) {
        record.vector[0] = x;
        record.vector[1] = y;
        changed = true;
    }
    return changed;
}

// ---- Deriving the offset -----------------------------------------------------------------

void ResetSliceOffset(Shape* shape) {
    if (shape == nullptr) return;
    shape->header.offset.Reset();
    if (shape->header.kind == kKindBSpline) shape->header.offset.direction = kOffsetNrml;
    EmptySecondRegion(shape);
}

bool UpdateSliceOffset(Shape* shape) {
    if (shape == nullptr) return false;
    const AnchorBuffer& a = shape->header.anchors;
    const uint32_t n = a.Count();
    if (n < 2 || a.data == nullptr) {
        EmptySecondRegion(shape);
        return false;
    }
    EditTransformState& record = shape->header.offset;
    const double L = OffsetLength(shape->header);
    switch (record.direction) {
    case kOffsetNrml: {
        bool made = false;
        {
            ShapeLock lock(shape);
            made = AnchorNormals(&shape->derived.normals, shape->header);
        }
        if (!made) EmptySecondRegion(shape);
        return made;
    }
    case kOffsetCnrm: {
        double sx = 0.0, sy = 0.0;
        for (uint32_t i = 1; i < n; ++i) {
            sx += static_cast<double>(a.Y(i)) - a.Y(0);
            sy += static_cast<double>(a.X(0)) - a.X(i);
        }
        auto vx = static_cast<float>(sx / n), vy = static_cast<float>(sy / n);
        if (std::fabs(vx) < kTinyMeanComponent && std::fabs(vy) < kTinyMeanComponent) {
            vx = 1.0f;
            vy = 0.0f;
        }
        if (!ScaleToLength(L, &vx, &vy)) {
            EmptySecondRegion(shape);
            return false;
        }
        record.vector[0] = vx;
        record.vector[1] = vy;
        return true;
    }
    case kOffsetAxis: {
        uint32_t i = 1;
        while (i < n && a.X(i) == a.X(0) && a.Y(i) == a.Y(0)) ++i;
        if (i == n) {
            EmptySecondRegion(shape);
            return false;
        }
        const double dx = static_cast<double>(a.X(i)) - a.X(0), dy = static_cast<double>(a.Y(i)) - a.Y(0);
        const auto l = static_cast<float>(L);
        float vx = 0.0f, vy = 0.0f;
        if (std::fabs(dy) <= std::fabs(dx)) vy = dx >= 0.0 ? -l : l;
        else vx = dy >= 0.0 ? -l : l;
        record.vector[0] = vx;
        record.vector[1] = vy;
        return true;
    }
    default:
        return true;
    }
}

bool AnchorNormals(AnchorBuffer* normals, const ShapeHeader& header) {
    const AnchorBuffer& a = header.anchors;
    const uint32_t n = a.Count();
    if (n < 2 || a.data == nullptr || !Prepare(normals, n)) {
        normals->rowsUsed = 0;
        return false;
    }
    const double L = OffsetLength(header);
    // Zero-length segments wait for the next normal that can be computed.
    uint32_t pending = 0;
    float lastX = 0.0f, lastY = 0.0f;
    bool any = false;
    for (uint32_t i = 0; i + 1 < n; ++i) {
        float nx = a.Y(i + 1) - a.Y(i), ny = a.X(i) - a.X(i + 1);
        if (!ScaleToLength(L, &nx, &ny)) {
            ++pending;
            continue;
        }
        for (uint32_t k = 0; k <= pending; ++k) Put(normals, nx, ny);
        pending = 0;
        lastX = nx;
        lastY = ny;
        any = true;
    }
    if (!any) {
        normals->rowsUsed = 0;
        return false;
    }
    for (uint32_t k = 0; k <= pending; ++k) Put(normals, lastX, lastY);
    return true;
}

bool ApertureBandQuads(AnchorBuffer* out, const EditTransformState& record, const AnchorBuffer& anchors,
                       const AnchorBuffer* normals) {
    const uint32_t n = anchors.Count();
    if (record.direction == 0 || n < 2 || anchors.data == nullptr || !Prepare(out, 4ull * (n - 1))) {
        out->rowsUsed = 0;
        return false;
    }
    const double a = static_cast<double>(record.Positive()) - 0.5;
    const double b = static_cast<double>(record.Negative()) + 0.5;
    const double x0 = anchors.X(0), y0 = anchors.Y(0);
    for (uint32_t i = 0; i + 1 < n; ++i) {
        double nx = 0.0, ny = 0.0;
        DirectionAt(record, normals, i, &nx, &ny);
        const double px = anchors.X(i) - x0, py = anchors.Y(i) - y0;
        const double qx = anchors.X(i + 1) - x0, qy = anchors.Y(i + 1) - y0;
        Put(out, px - b * nx, py - b * ny);
        Put(out, px + a * nx, py + a * ny);
        Put(out, qx + a * nx, qy + a * ny);
        Put(out, qx - b * nx, qy - b * ny);
    }
    return true;
}

bool ApertureRibs(AnchorBuffer* out, const EditTransformState& record, const AnchorBuffer& anchors,
                  const AnchorBuffer* normals) {
    const uint32_t n = anchors.Count();
    if (record.direction == 0 || n < 2 || anchors.data == nullptr || !Prepare(out, 2ull * n)) {
        out->rowsUsed = 0;
        return false;
    }
    const double a = static_cast<double>(record.Positive()) - 0.5;
    const double b = static_cast<double>(record.Negative()) + 0.5;
    const double x0 = anchors.X(0), y0 = anchors.Y(0);
    for (uint32_t i = 0; i < n; ++i) {
        double nx = 0.0, ny = 0.0;
        DirectionAt(record, normals, i, &nx, &ny);
        const double px = anchors.X(i) - x0, py = anchors.Y(i) - y0;
        Put(out, px - b * nx, py - b * ny);
        Put(out, px + a * nx, py + a * ny);
    }
    return true;
}

bool LineMarginBox(AnchorBuffer* out, int32_t margin, const AnchorBuffer& anchors) {
    if (margin == 0 || anchors.Count() < 2 || anchors.data == nullptr || !Prepare(out, 4)) {
        out->rowsUsed = 0;
        return false;
    }
    const double dx = static_cast<double>(anchors.X(1)) - anchors.X(0);
    const double dy = static_cast<double>(anchors.Y(1)) - anchors.Y(0);
    const double mx = dx < 0.0 ? -static_cast<double>(margin) : margin;
    const double my = dy < 0.0 ? -static_cast<double>(margin) : margin;
    Put(out, -mx, -my);
    Put(out, dx + mx, -my);
    Put(out, dx + mx, dy + my);
    Put(out, -mx, dy + my);
    return true;
}

}  // namespace orva
