#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/log.h"
#include "data/kernel_util.h"
#include "shapes/geometry/bspline.h"
#include "shapes/geometry/offset_geometry.h"
#include "shapes/geometry/scan_convert.h"
#include "shapes/geometry/shape_updates.h"

namespace orva {

namespace {

// pi / 4 as a 32-bit float: the ellipse's share of its box.
constexpr float kQuarterPi = 0.7853982f;

bool IsEllipseKind(int32_t kind) { return kind == kKindCircle || kind == kKindEllipse; }

int32_t PixelAnchorOf(float v, int32_t subpix) {
    const double p = static_cast<double>(v) * subpix;
    return std::isfinite(p) ? kernel::SaturateRound<int32_t>(p) : 0;
}

void SetRegionOrigin(ShapeRegion* region, int32_t x, int32_t y, int32_t subpix) {
    region->originX = x;
    region->originY = y;
    const double k = subpix > 1 ? subpix : 1.0;
    region->floatOriginX = static_cast<float>(x / k);
    region->floatOriginY = static_cast<float>(y / k);
}

double ClosedMeasure(const Shape* shape) {
    const AnchorBuffer& a = shape->header.anchors;
    if (a.Count() < 2 || a.data == nullptr) return 0.0;
    const double dx = static_cast<double>(a.X(1)) - a.X(0), dy = static_cast<double>(a.Y(1)) - a.Y(0);
    double area = std::fabs(dx * dy);
    if (IsEllipseKind(shape->header.kind)) area *= static_cast<double>(kQuarterPi);
    return area;
}

void LogMaskFailure(const Shape* shape) {
    LogPrintf("Can`t build mask of shape '%s'...", shape->name != nullptr ? shape->name : "");
}

// The builders of one kind, for a region and the points it is built from.
bool BuildRegion(Shape* shape, ShapeRegion* region, const AnchorBuffer& points) {
    if (IsEllipseKind(shape->header.kind)) return EllipseShapeRegion(region, points, shape->header);
    const RowWindow rows = ShapeRows(shape);
    return PolygonShapeRegion(region, points, shape->header, &rows);
}

bool MaskRasteriser(Shape* shape, int32_t) {
    return BuildRegion(shape, &shape->derived.mask, shape->header.anchors);
}

// The offset polygon (relative to P0) made absolute and filled into the offset region.
bool OffsetRasteriser(Shape* shape, int32_t) {
    const AnchorBuffer& rel = shape->derived.offsetPolygon;
    const AnchorBuffer& a = shape->header.anchors;
    AnchorBuffer absolute;
    if (a.Count() == 0 || !absolute.EnsureRoom(rel.Count())) return false;
    for (uint32_t i = 0; i < rel.Count(); ++i) {
        absolute.Points()[2 * i] = rel.X(i) + a.X(0);
        absolute.Points()[2 * i + 1] = rel.Y(i) + a.Y(0);
    }
    absolute.rowsUsed = rel.Count();
    return BuildRegion(shape, &shape->derived.offsetRegion, absolute);
}

// The ring is the filled outer figure less the mask; its contour is kept.
bool FinishRing(Shape* shape) {
    ShapeDerived& d = shape->derived;
    RegionOutline(d.offsetRegion, &d.offsetContour);
    return RegionSubtract(&d.offsetRegion, d.offsetRegion, d.mask);
}

void BuildRing(Shape* shape, bool axis) {
    ShapeDerived& d = shape->derived;
    const int64_t a = static_cast<int64_t>(shape->header.offset.Extent());
    d.offsetContour.rowsUsed = 0;
    if (a > kMaxRingMargin) {
        d.offsetRegion.MakeEmpty();
        LogPrintf("Can`t build background of shape: aperture %lld too wide...", static_cast<long long>(a));
        return;
    }
    bool built = false;
    if (!axis) {
        if (!LineMarginBox(&d.offsetPolygon, static_cast<int32_t>(a), shape->header.anchors)) {
            d.offsetRegion.MakeEmpty();
            return;
        }
        ShapeRasterProc fill = shape->procs.secondAreaRasteriser;
        built = fill != nullptr && fill(shape, kUpdateFull) && FinishRing(shape);
    } else {
        d.offsetRegion.MakeEmpty();
        const RegionRect& m = d.mask.box;
        if (m.y0 == m.y1) return;
        auto grown = [](int64_t v) { return kernel::SaturateInt<int32_t>(v); };
        built = EllipseRegion(&d.offsetRegion, grown(m.x0 - a), grown(m.y0 - a), grown(m.x1 + a), grown(m.y1 + a),
                              grown(2 * a), grown(2 * a)) &&
                FinishRing(shape);
    }
    if (!built) {
        d.offsetRegion.MakeEmpty();
        d.offsetContour.rowsUsed = 0;
        LogMaskFailure(shape);
        return;
    }
    if (d.offsetRegion.count != 0) d.offsetRegion.SetShapeCode(kRegionCodePolygon);
}

void ClosedUpdate(Shape* shape, int32_t event, bool axis) {
    if (shape == nullptr || event == kUpdateNothing) return;
    ShapeDerived& d = shape->derived;
    if (event < kUpdateOffsetOnly) {
        ShapeDefaultUpdate(shape, event);
        ShapeBoxBlock& b = shape->header.box;
        b.secondX = b.x;
        b.secondY = b.y;
        b.further[0] = b.w;
        b.further[1] = b.h;
        PlaceRegionOrigins(shape);
        if (event != kUpdateNoArea) {
            shape->measure = ClosedMeasure(shape);
            ShapeRasterProc fill = shape->procs.areaRasteriser;
            if (fill != nullptr && !fill(shape, event)) {
                d.mask.MakeEmpty();
                LogMaskFailure(shape);
            }
            if (IsEllipseKind(shape->header.kind)) {
                ShapeLock lock(shape);
                RegionOutline(d.mask, &d.maskContour);
            }
        }
    }
    ShapeLock lock(shape);
    if (shape->header.offset.Extent() != 0 && event != kUpdateNoArea) BuildRing(shape, axis);
    if (shape->procs.areaProcedure != nullptr) shape->procs.areaProcedure(shape, event);
}

}  // namespace

void PlaceRegionOrigins(Shape* shape) {
    const AnchorBuffer& a = shape->header.anchors;
    ShapePlacement& p = shape->derived.placement;
    if (a.Count() == 0 || a.data == nullptr) return;
    const int32_t k = shape->header.subpix;
    p.firstX = a.X(0);
    p.firstY = a.Y(0);
    p.pixelAnchorX = PixelAnchorOf(p.firstX, k);
    p.pixelAnchorY = PixelAnchorOf(p.firstY, k);
    SetRegionOrigin(&shape->derived.mask, p.pixelAnchorX, p.pixelAnchorY, k);
    SetRegionOrigin(&shape->derived.offsetRegion, p.pixelAnchorX, p.pixelAnchorY, k);
}

void BoxFigureUpdate(Shape* shape, int32_t event) { ClosedUpdate(shape, event, false); }
void AxisBoxFigureUpdate(Shape* shape, int32_t event) { ClosedUpdate(shape, event, true); }
void EllipseFigureUpdate(Shape* shape, int32_t event) { ClosedUpdate(shape, event, false); }
void AxisEllipseFigureUpdate(Shape* shape, int32_t event) { ClosedUpdate(shape, event, true); }

void ClosedAreaProcedure(Shape* shape, int32_t event) {
    if (shape == nullptr) return;
    ShapeLock lock(shape);
    ShapeDerived& d = shape->derived;
    const AnchorBuffer& a = shape->header.anchors;
    if (a.Count() != 0 && a.data != nullptr) {
        d.firstAnchor[0] = a.X(0);
        d.firstAnchor[1] = a.Y(0);
    }
    if (event == kUpdateNoArea) PlaceRegionOrigins(shape);
    ShapePlacement& p = d.placement;
    p.mask = &d.mask;
    const RegionRect& m = d.mask.box;
    const RegionRect& o = d.offsetRegion.box;
    RegionRect box = m;
    if (shape->header.offset.Extent() == 0 || d.offsetRegion.count == 0 || o.y0 == o.y1) {
        p.offset = nullptr;
    } else {
        if (d.mask.count != 0) {
            box.x0 = std::min(m.x0, o.x0);
            box.y0 = std::min(m.y0, o.y0);
            box.x1 = std::max(m.x1, o.x1);
            box.y1 = std::max(m.y1, o.y1);
        } else {
            box = o;
        }
        p.offset = &d.offsetRegion;
    }
    p.x = static_cast<int64_t>(p.pixelAnchorX) + box.x0;
    p.y = static_cast<int64_t>(p.pixelAnchorY) + box.y0;
    p.w = kernel::SaturateInt<int32_t>(static_cast<int64_t>(box.x1) - box.x0);
    p.h = kernel::SaturateInt<int32_t>(static_cast<int64_t>(box.y1) - box.y0);
}

// ---- Choosing the procedures ----------------------------------------------------------------

namespace {

bool PathOutlineRasteriser(Shape* shape, int32_t) { return PolylineOutline(&shape->derived.path, shape->header.anchors); }

bool BSplineOutlineRasteriser(Shape* shape, int32_t) {
    shape->derived.path.pixelPath.rowsUsed = 0;
    return BSplineToPolygon(&shape->derived.path.points, shape->header.anchors);
}

bool PathSamplerRasteriser(Shape* shape, int32_t) {
    return PathSampler(&shape->derived.samples, shape->derived.path.points, shape->header);
}

}  // namespace

ShapeKindProcs KindProcsFor(int32_t kind, int32_t role, uint32_t direction, uint32_t axisGate) {
    ShapeKindProcs p;
    const bool area = role >= kRoleSlice;
    const bool axis = direction == kOffsetAxis && axisGate < 3;
    switch (kind) {
    case kKindPoint:
        p.updateGeometry = &PointUpdate;
        break;
    case kKindPolyLine:
    case kKindLine:
        p.updateGeometry = &PolylineUpdate;
        p.outlineRasteriser = &PathOutlineRasteriser;
        p.areaRasteriser = &PathSamplerRasteriser;
        if (area) p.areaProcedure = &PolylineAreaUpdate;
        break;
    case kKindBSpline:
        p.updateGeometry = &BSplineUpdate;
        p.outlineRasteriser = &BSplineOutlineRasteriser;
        p.areaRasteriser = &PathSamplerRasteriser;
        if (area) p.areaProcedure = &BSplineAreaUpdate;
        break;
    case kKindRect:
    case kKindPolygon:
        p.updateGeometry = kind == kKindRect && axis ? &AxisBoxFigureUpdate : &BoxFigureUpdate;
        p.areaRasteriser = &MaskRasteriser;
        p.secondAreaRasteriser = &OffsetRasteriser;
        if (area) p.areaProcedure = &ClosedAreaProcedure;
        break;
    case kKindCircle:
    case kKindEllipse:
        p.updateGeometry = kind == kKindEllipse && axis ? &AxisEllipseFigureUpdate : &EllipseFigureUpdate;
        p.areaRasteriser = &MaskRasteriser;
        p.secondAreaRasteriser = &OffsetRasteriser;
        if (area) p.areaProcedure = &ClosedAreaProcedure;
        break;
    default:
        p.updateGeometry = &ShapeDefaultUpdate;
        break;
    }
    return p;
}

}  // namespace orva
