#include "app/image_view.h"

#include <cfloat>
#include <cmath>

#include "data/kernel_util.h"

namespace orva {

namespace {

bool Zoomed(double factor) { return std::fabs(factor - 1.0) >= DBL_EPSILON; }

double& Offset(ImageViewRecord* v, bool x) { return x ? v->offsetX : v->offsetY; }
double& Rounded(ImageViewRecord* v, bool x) { return x ? v->roundedX : v->roundedY; }
double Factor(const ImageViewRecord& v, bool x) { return x ? v.zoom.x : v.zoom.y; }
int32_t FrameSize(const ImageViewRecord& v, bool x) { return x ? v.frameWidth : v.frameHeight; }

// The factor asked for: 0 is 1, -1 twice and -2 half the current one.
double Requested(double factor, double current) {
    if (factor == 0.0) return 1.0;
    if (factor == -1.0) return current * 2.0;
    if (factor == -2.0) return current * 0.5;
    return factor;
}

double Clamp(double z, double lo) {
    if (!(z == z)) return 1.0;
    if (z < lo) z = lo;
    if (z > kMaxZoom) z = kMaxZoom;
    return z;
}

// Stores the new factor of an axis and re-scrolls it about the placement coordinate.
void ApplyAxis(ImageViewRecord* v, bool x, double factor, double place) {
    const double old = Factor(*v, x);
    ZoomSetAxis(&v->zoom, x, factor);
    if (x) v->scaledWidth = ScaledSize(v->frameWidth, v->zoom.x, v->zoom.zoomedX != 0);
    else v->scaledHeight = ScaledSize(v->frameHeight, v->zoom.y, v->zoom.zoomedY != 0);
    ViewScrollAxis(v, x, Factor(*v, x) / old, place);
}

}  // namespace

void ZoomSetAxis(ZoomRecord* z, bool axisX, double factor) {
    if (z == nullptr) return;
    const bool on = (factor == factor) && factor > 0.0 && Zoomed(factor);
    const double value = on ? factor : 1.0;
    if (axisX) {
        z->zoomedX = on ? 1 : 0;
        z->x = value;
        z->inverseX = 1.0 / value;
    } else {
        z->zoomedY = on ? 1 : 0;
        z->y = value;
        z->inverseY = 1.0 / value;
    }
    z->any = (z->zoomedX != 0 || z->zoomedY != 0) ? 1 : 0;
}

int32_t ScaledSize(int32_t size, double zoom, bool zoomed) {
    if (!zoomed) return size;
    const double s = std::ceil(static_cast<double>(size) * zoom);
    if (s > kMaxScaledSize) return 0x7FFFFFFF;
    return kernel::SaturateTrunc<int32_t>(s);
}

void ViewRecompute(ImageViewRecord* v) {
    if (v == nullptr) return;
    v->scaledWidth = ScaledSize(v->frameWidth, v->zoom.x, v->zoom.zoomedX != 0);
    v->scaledHeight = ScaledSize(v->frameHeight, v->zoom.y, v->zoom.zoomedY != 0);
    v->originX = static_cast<double>(v->scrollX) + v->roundedX +
                 static_cast<double>(v->subX) * (v->zoom.zoomedX != 0 ? v->zoom.x : 1.0);
    v->originY = static_cast<double>(v->scrollY) + v->roundedY +
                 static_cast<double>(v->subY) * (v->zoom.zoomedY != 0 ? v->zoom.y : 1.0);
}

void ApplyFrameOffsets(ImageViewRecord* v, int64_t width, int64_t height, int64_t subX, int64_t subY) {
    if (v == nullptr) return;
    auto fit = [](int64_t n) { return n < 0 ? 0 : (n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(n)); };
    auto fitSigned = [](int64_t n) {
        return n < INT32_MIN ? INT32_MIN : (n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n));
    };
    v->frameWidth = fit(width);
    v->frameHeight = fit(height);
    v->subX = fitSigned(subX);
    v->subY = fitSigned(subY);
    ViewRecompute(v);
}

void ViewResetScale(ImageViewRecord* v) {
    if (v == nullptr) return;
    v->scrollX = v->scrollY = 0;
    v->offsetX = v->offsetY = v->roundedX = v->roundedY = 0.0;
    const uint8_t lock = v->zoom.lock;  // the user's choice outlasts a reset
    v->zoom = ZoomRecord{};
    v->zoom.lock = lock;
    v->counters[0] = v->counters[1] = 0;
    ViewRecompute(v);
}

double MinZoom(const ImageViewRecord& v, bool axisX) {
    const int32_t size = FrameSize(v, axisX);
    return size > 0 ? 2.0 / static_cast<double>(size) : 2.0 * kMinZoomUnknownSize;
}

void ViewScrollAxis(ImageViewRecord* v, bool x, double ratio, double place) {
    if (v == nullptr || !(ratio == ratio)) return;
    const double w = place - static_cast<double>(x ? v->scrollX : v->scrollY);
    double& o = Offset(v, x);
    o = w + (o - w) * ratio;
    if (!std::isfinite(o)) o = 0.0;
    Rounded(v, x) = std::trunc(o);
    ViewRecompute(v);
}

bool ViewSetZoom(ImageViewRecord* v, bool x, double factor, bool linked, double placeX, double placeY) {
    if (v == nullptr) return false;
    const double current = Factor(*v, x);
    const double wanted = Clamp(Requested(factor, current), MinZoom(*v, x));
    if (wanted == current) return false;
    const bool otherAxis = !x;
    const double other = Factor(*v, otherAxis);
    double otherWanted = other;
    if (linked) {
        if (other == current) {
            otherWanted = Clamp(wanted, MinZoom(*v, otherAxis));
        } else {
            otherWanted = other * (wanted / current);
            if (!(otherWanted >= MinZoom(*v, otherAxis)) || otherWanted > kMaxZoom) return false;
        }
    }
    ApplyAxis(v, x, wanted, x ? placeX : placeY);
    if (otherWanted != other) ApplyAxis(v, otherAxis, otherWanted, otherAxis ? placeX : placeY);
    return true;
}

bool ViewSetZoom2(ImageViewRecord* v, double factorX, double factorY, double placeX, double placeY) {
    if (v == nullptr) return false;
    const double zx = Clamp(Requested(factorX, v->zoom.x), MinZoom(*v, true));
    const double zy = Clamp(Requested(factorY, v->zoom.y), MinZoom(*v, false));
    bool changed = false;
    if (zx != v->zoom.x) {
        ApplyAxis(v, true, zx, placeX);
        changed = true;
    }
    if (zy != v->zoom.y) {
        ApplyAxis(v, false, zy, placeY);
        changed = true;
    }
    return changed;
}

bool ViewCentreAxis(ImageViewRecord* v, bool x, int32_t hostSize) {
    if (v == nullptr) return false;
    const double available = static_cast<double>(hostSize) - 2.0;
    const double scaled = static_cast<double>(x ? v->scaledWidth : v->scaledHeight);
    if (!(scaled <= available)) return false;
    // The frame's own origin is taken off, so that its first pixel lands where asked.
    const double o = std::trunc((available - scaled) / 2.0) -
                     (x ? static_cast<double>(v->scrollX) + static_cast<double>(v->subX) * v->zoom.x
                        : static_cast<double>(v->scrollY) + static_cast<double>(v->subY) * v->zoom.y);
    Offset(v, x) = o;
    Rounded(v, x) = std::trunc(o);
    ViewRecompute(v);
    return true;
}

bool ViewFitAndCentre(ImageViewRecord* v, int32_t hostWidth, int32_t hostHeight, bool fit, bool centre,
                      float* placeX, float* placeY) {
    if (v == nullptr) return false;
    bool changed = false;
    const double availableX = static_cast<double>(hostWidth) - 2.0;
    const double availableY = static_cast<double>(hostHeight) - 2.0;
    if (fit) {
        int64_t w = v->frameWidth, h = v->frameHeight;
        if (static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 24u > kFitCapBytes) {
            if (w > kFitCapSide) w = kFitCapSide;
            if (h > kFitCapSide) h = kFitCapSide;
        }
        if (w < 1) w = 1;
        if (h < 1) h = 1;
        if (static_cast<double>(w) > availableX || static_cast<double>(h) > availableY) {
            double z = std::fmin(availableX / static_cast<double>(w), availableY / static_cast<double>(h));
            z = std::floor(z * 1000.0) / 1000.0;
            if (z > 0.0 && z < 1.0) {
                const double px = placeX != nullptr ? *placeX : 0.0;
                const double py = placeY != nullptr ? *placeY : 0.0;
                if (z != v->zoom.x) {
                    ApplyAxis(v, true, z, px);
                    changed = true;
                }
                if (z != v->zoom.y) {
                    ApplyAxis(v, false, z, py);
                    changed = true;
                }
            }
        }
    }
    double ox = 0.0, oy = 0.0;
    if (centre) {
        ox = std::trunc((availableX - static_cast<double>(v->scaledWidth)) / 2.0);
        oy = std::trunc((availableY - static_cast<double>(v->scaledHeight)) / 2.0);
        ox = ox < INT32_MIN ? INT32_MIN : (ox > INT32_MAX ? INT32_MAX : ox);
        oy = oy < INT32_MIN ? INT32_MIN : (oy > INT32_MAX ? INT32_MAX : oy);
    }
    // The frame's own origin is taken off, so that its first pixel lands where asked.
    ox -= static_cast<double>(v->scrollX) + static_cast<double>(v->subX) * v->zoom.x;
    oy -= static_cast<double>(v->scrollY) + static_cast<double>(v->subY) * v->zoom.y;
    if (ox != v->offsetX || v->roundedX != std::trunc(ox)) {
        v->offsetX = ox;
        v->roundedX = std::trunc(ox);
        changed = true;
    }
    if (oy != v->offsetY || v->roundedY != std::trunc(oy)) {
        v->offsetY = oy;
        v->roundedY = std::trunc(oy);
        changed = true;
    }
    ViewRecompute(v);
    if (placeX != nullptr && placeY != nullptr) {
        if (!fit && !centre) {
            if (*placeX != 1.0f || *placeY != 1.0f) changed = true;
            *placeX = *placeY = 1.0f;
        } else if (fit && centre) {
            const bool outside = *placeX < 0.0f || *placeY < 0.0f || *placeX >= static_cast<float>(hostWidth) ||
                                 *placeY >= static_cast<float>(hostHeight);
            if (outside) {
                *placeX = static_cast<float>(hostWidth / 2) + 0.5f - 2.0f;
                *placeY = static_cast<float>(hostHeight / 2) + 0.5f - 2.0f;
                changed = true;
            }
        }
    }
    return changed;
}

int32_t ClampPointToFrame(const ImageViewRecord& v, float* x, float* y, const ViewRectF* rect, int32_t mode) {
    if (x == nullptr || y == nullptr) return -1;
    double left = v.originX, top = v.originY;
    double right = left + v.scaledWidth, bottom = top + v.scaledHeight;  // exclusive
    int32_t result = 1;
    if (rect != nullptr) {
        double l = std::round(rect->left), r = std::round(rect->right);
        double t = std::round(rect->top), b = std::round(rect->bottom);
        if (l > r) std::swap(l, r);
        if (t > b) std::swap(t, b);
        if (right <= l || left > r) result = -1;
        if (bottom <= t || top > b) result = -1;
        left = std::fmax(left, l);
        right = std::fmin(right, r + 1.0);
        top = std::fmax(top, t);
        bottom = std::fmin(bottom, b + 1.0);
    } else if (v.scaledWidth <= 0 || v.scaledHeight <= 0) {
        result = -1;
    }
    const bool insideX = *x >= left && *x < right;
    const bool insideY = *y >= top && *y < bottom;
    if (insideX && insideY) return result;
    if (!insideX) {
        if (mode == 1) *x = static_cast<float>(*x < left ? left : right - 1.0);
        else if (mode == 2) *x = static_cast<float>(left + (right - left) / 2.0);
    }
    if (!insideY) {
        if (mode == 1) *y = static_cast<float>(*y < top ? top : bottom - 1.0);
        else if (mode == 2) *y = static_cast<float>(top + (bottom - top) / 2.0);
    }
    return result == -1 ? -1 : 0;
}

void SnapSegment(const float start[2], float end[2]) {
    if (start == nullptr || end == nullptr) return;
    const double dx = static_cast<double>(end[0]) - start[0], dy = static_cast<double>(end[1]) - start[1];
    const double ax = std::fabs(dx), ay = std::fabs(dy);
    if (ay <= ax * 0.5) {
        end[1] = start[1];
    } else if (ay > 2.0 * ax) {
        end[0] = start[0];
    } else {
        const double d = std::sqrt(dx * dx + dy * dy) * 0.70710677;
        end[0] = static_cast<float>(start[0] + (dx > 0 ? d : -d));
        end[1] = static_cast<float>(start[1] + (dy > 0 ? d : -d));
    }
}

int32_t PointOnSegmentTest(double x0, double y0, double x1, double y1, double width, double height) {
    if (!(width >= 0.0) || !(height >= 0.0)) return -1;
    // The part of the segment's parameter range [0, 1] inside each slab of the frame.
    double lo = 0.0, hi = 1.0;
    auto clip = [&](double p, double q) {
        // p t <= q for t in [lo, hi].
        if (p == 0.0) return q >= 0.0;
        const double t = q / p;
        if (p < 0.0) {
            if (t > hi) return false;
            if (t > lo) lo = t;
        } else {
            if (t < lo) return false;
            if (t < hi) hi = t;
        }
        return true;
    };
    const double dx = x1 - x0, dy = y1 - y0;
    const bool meets = clip(-dx, x0) && clip(dx, width - x0) && clip(-dy, y0) && clip(dy, height - y0);
    return meets && lo <= hi ? 1 : -1;
}

}  // namespace orva
