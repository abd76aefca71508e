#include "data/affine_record.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "common/numeric.h"
#include "data/kernel_util.h"

namespace orva {

namespace {

// Below this in magnitude an angle, or its remainder by 90, counts as zero.
constexpr double kAngleEpsilon = 1e-307;
constexpr int64_t kRectExtentLimit = 2147483646;

// A shift enters only when it is a number other than 0.
double Shift(double shift) { return shift == shift ? shift : 0.0; }

// The smallest whole number not below v - 0.5, as a size: the fitted size of an
// extent, so that rounding residue just above a whole number does not add a pixel.
int64_t FittedSize(double extent) {
    const int64_t size = kernel::SaturateTrunc<int64_t>(std::ceil(extent - 0.5));
    return size > 0 ? size : 0;
}

void SetZoom(double zoom, double* factor, double* step, uint8_t* scaledFlag) {
    if (!(zoom > 0.0)) zoom = 1.0;  // 0, negative and NaN
    if (zoom > kAffineMaxZoom) zoom = kAffineMaxZoom;
    if (std::fabs(zoom - 1.0) < DBL_EPSILON) {
        *factor = 1.0;
        *step = 1.0;
        *scaledFlag = 0;
        return;
    }
    *factor = zoom;
    *step = 1.0 / zoom;
    *scaledFlag = 1;
}

// The extents of the rotated frame along X and Y, scaled in the record's order.
void RotatedExtent(const AffineRecord* r, double width, double height, double* extentX, double* extentY) {
    const bool scaleFirst = r->order != 0;
    const double a = scaleFirst ? width * r->zoomX : width;
    const double b = scaleFirst ? height * r->zoomY : height;
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    for (int corner = 0; corner < 4; ++corner) {
        const double x = (corner & 1) != 0 ? a * 0.5 : -a * 0.5;
        const double y = (corner & 2) != 0 ? b * 0.5 : -b * 0.5;
        const double rx = r->cosA * x - r->sinA * y;
        const double ry = r->sinA * x + r->cosA * y;
        minX = std::min(minX, rx);
        maxX = std::max(maxX, rx);
        minY = std::min(minY, ry);
        maxY = std::max(maxY, ry);
    }
    *extentX = maxX - minX;
    *extentY = maxY - minY;
    if (!scaleFirst) {
        *extentX *= r->zoomX;
        *extentY *= r->zoomY;
    }
}

// Output size and centres of a fitted frame; the box of the same geometry
// without rounding when `box` is given.
void Fit(AffineRecord* r, AffineSize* output, AffineSize input, AffineBox* box) {
    const double w = static_cast<double>(input.width), h = static_cast<double>(input.height);
    const double sx = Shift(r->shiftX), sy = Shift(r->shiftY);
    const double scaledW = w * r->zoomX, scaledH = h * r->zoomY;
    AffineSize size;
    if (r->rotated == 0) {
        size.width = r->scaledX != 0 ? FittedSize(scaledW) : input.width;
        size.height = r->scaledY != 0 ? FittedSize(scaledH) : input.height;
        r->scaledCentreX = (r->scaledX != 0 ? scaledW : w) * 0.5 + sx;
        r->scaledCentreY = (r->scaledY != 0 ? scaledH : h) * 0.5 + sy;
        r->centreX = static_cast<double>(size.width) * 0.5 + sx;
        r->centreY = static_cast<double>(size.height) * 0.5 + sy;
        if (box != nullptr)
            *box = AffineBox{0.0, 0.0, r->scaledX != 0 ? scaledW : w, r->scaledY != 0 ? scaledH : h};
    } else {
        double extentX = 0, extentY = 0;
        RotatedExtent(r, w, h, &extentX, &extentY);
        size.width = FittedSize(extentX);
        size.height = FittedSize(extentY);
        r->scaledCentreX = scaledW * 0.5 + sx;
        r->scaledCentreY = scaledH * 0.5 + sy;
        if (box != nullptr) {
            *box = AffineBox{(scaledW - extentX) * 0.5, (scaledH - extentY) * 0.5, extentX, extentY};
            r->centreX = extentX * 0.5 + sx;
            r->centreY = extentY * 0.5 + sy;
        } else {
            r->centreX = static_cast<double>(size.width) * 0.5 + sx;
            r->centreY = static_cast<double>(size.height) * 0.5 + sy;
        }
    }
    if (output != nullptr) *output = size;
}

// The input extent of a rectangle along one axis, clipped to the frame (0..limit):
// false when nothing of it lies inside.
bool ClipAxis(double minimum, double maximum, int64_t limit, int64_t* origin, int32_t* extent) {
    const double first = std::floor(minimum), last = std::floor(maximum);
    const int64_t start = kernel::SaturateTrunc<int64_t>(first);
    // Every position p of [minimum, maximum] reaches the pixel floor(p).
    const double span = last - first + 1.0;
    int64_t size = span >= static_cast<double>(kRectExtentLimit) ? 0x7FFFFFFF
                   : span > 0.0                                  ? static_cast<int64_t>(span)
                                                                  : 0;
    if (size < 1 || start >= limit) return false;
    int64_t end = 0;
    if (__builtin_add_overflow(start, size, &end)) end = INT64_MAX;  // start lies below the limit
    if (end <= 0) return false;
    if (start < 0) {
        *origin = 0;
        size = std::min(end, limit);
    } else {
        *origin = start;
        if (end > limit) size = limit - start;
    }
    if (size < 1) return false;
    *extent = static_cast<int32_t>(std::min<int64_t>(size, 0x7FFFFFFF));
    return true;
}

bool SourceRect(const AffineRecord* r, uint8_t order, AffineRect* rect, AffineSize frame) {
    if (r == nullptr || rect == nullptr || rect->width < 1 || rect->height < 1) return false;
    AffineRecord mapping = *r;
    mapping.order = order;
    const double w = static_cast<double>(frame.width), h = static_cast<double>(frame.height);
    const double x0 = static_cast<double>(rect->x), y0 = static_cast<double>(rect->y);
    const double x1 = x0 + rect->width, y1 = y0 + rect->height;
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    const double corners[4][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}};
    const AffineInputMap map = AffineRecordInputMap(&mapping, w, h);
    for (const auto& c : corners) {
        double x = 0, y = 0;
        AffineMapPoint(map, c[0], c[1], &x, &y);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    if (!(minX <= maxX) || !(minY <= maxY)) return false;  // NaN in the geometry
    AffineRect out;
    if (!ClipAxis(minX, maxX, frame.width, &out.x, &out.width)) return false;
    if (!ClipAxis(minY, maxY, frame.height, &out.y, &out.height)) return false;
    *rect = out;
    return true;
}

}  // namespace

AffineRecord* AffineRecordInit(AffineRecord* record) {
    if (record != nullptr) *record = AffineRecord{};
    return record;
}

void AffineFilterRecordInit(AffineFilterRecord* head) {
    if (head == nullptr) return;
    head->flag = 0;
    head->flags = 0;
    AffineRecord* r = AffineRecordInit(&head->record);
    r->order = 1;
    r->linked = 1;
    AffineRecordSetFlips(r, false, false);
    AffineRecordSetZoomX(r, 1.0);
    AffineRecordSetZoomY(r, 1.0);
    AffineRecordSetAngle(r, 0.0);
}

void AffineRecordUpdateFlags(AffineRecord* r) {
    if (r == nullptr) return;
    r->scaled = (r->scaledX | r->scaledY) != 0 ? 1 : 0;
    r->flipped = (r->flipX | r->flipY) != 0 ? 1 : 0;
    r->geometric = (r->rotated | r->flipped) != 0 ? 1 : 0;
    r->active = (r->geometric | r->scaled) != 0 ? 1 : 0;
}

void AffineRecordSetZoomX(AffineRecord* r, double zoom) {
    if (r == nullptr) return;
    SetZoom(zoom, &r->zoomX, &r->stepX, &r->scaledX);
    AffineRecordUpdateFlags(r);
}

void AffineRecordSetZoomY(AffineRecord* r, double zoom) {
    if (r == nullptr) return;
    SetZoom(zoom, &r->zoomY, &r->stepY, &r->scaledY);
    AffineRecordUpdateFlags(r);
}

void AffineRecordSetAngle(AffineRecord* r, double degrees) {
    if (r == nullptr) return;
    double angle = std::isfinite(degrees) ? std::fmod(degrees, 360.0) : 0.0;
    r->rotated = angle > -kAngleEpsilon && angle < kAngleEpsilon ? 0 : 1;
    if (r->rotated == 0) {
        r->angle = angle;
        r->rightAngle = 1;
        r->cosA = 1.0;
        r->sinA = 0.0;
    } else {
        const double rest = std::fmod(angle, 90.0);
        r->rightAngle = rest > -kAngleEpsilon && rest < kAngleEpsilon ? 1 : 0;
        if (r->rightAngle != 0) angle = std::round(angle);
        r->angle = angle;
        SinCosDegrees(&r->sinA, &r->cosA, angle);
    }
    AffineRecordUpdateFlags(r);
}

void AffineRecordSetFlips(AffineRecord* r, bool flipX, bool flipY) {
    if (r == nullptr) return;
    r->flipX = flipX ? 1 : 0;
    r->flipY = flipY ? 1 : 0;
    AffineRecordUpdateFlags(r);
}

AffineInputMap AffineRecordInputMap(const AffineRecord* r, double width, double height) {
    AffineInputMap m;
    const double c = r->cosA, s = r->sinA;
    if (r->order == 0) {
        // Rotated back, then each axis unscaled.
        m.xPerU = c * r->stepX;
        m.xPerV = -(s * r->stepY);
        m.yPerU = s * r->stepX;
        m.yPerV = c * r->stepY;
    } else {
        // Unscaled after the rotation back.
        m.xPerU = r->stepX * c;
        m.xPerV = -(r->stepX * s);
        m.yPerU = r->stepY * s;
        m.yPerV = r->stepY * c;
    }
    if (r->flipX != 0) {
        m.xPerU = -m.xPerU;
        m.xPerV = -m.xPerV;
    }
    if (r->flipY != 0) {
        m.yPerU = -m.yPerU;
        m.yPerV = -m.yPerV;
    }
    m.centreX = r->centreX;
    m.centreY = r->centreY;
    m.x0 = width * 0.5;
    m.y0 = height * 0.5;
    return m;
}

void AffineMapToInput(const AffineRecord* r, double outX, double outY, double width, double height, double* x,
                      double* y) {
    AffineMapPoint(AffineRecordInputMap(r, width, height), outX, outY, x, y);
}

void AffineRecordCentre(AffineRecord* r, AffineSize input) {
    if (r == nullptr) return;
    r->centreX = r->scaledCentreX = static_cast<double>(input.width) * 0.5 + Shift(r->shiftX);
    r->centreY = r->scaledCentreY = static_cast<double>(input.height) * 0.5 + Shift(r->shiftY);
}

void AffineRecordFitFrame(AffineRecord* r, AffineSize* output, AffineSize input) {
    if (r != nullptr) Fit(r, output, input, nullptr);
}

void AffineRecordFitSize(AffineRecord* r, AffineBox* output, int32_t width, int32_t height) {
    if (r == nullptr) return;
    AffineBox box;
    Fit(r, nullptr, AffineSize{width, height}, &box);
    if (output != nullptr) *output = box;
}

bool AffineSourceRectOrder0(const AffineRecord* r, AffineRect* rect, AffineSize frame) {
    return SourceRect(r, 0, rect, frame);
}

bool AffineSourceRectOrder1(const AffineRecord* r, AffineRect* rect, AffineSize frame) {
    return SourceRect(r, 1, rect, frame);
}

bool AffineSourceRect(const AffineRecord* r, AffineRect* rect, AffineSize frame) {
    return r != nullptr && SourceRect(r, r->order != 0 ? 1 : 0, rect, frame);
}

}  // namespace orva
