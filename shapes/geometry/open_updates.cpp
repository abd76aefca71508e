#include <cmath>
#include <vector>

#include "common/log.h"
#include "shapes/geometry/offset_geometry.h"
#include "shapes/geometry/plane_geometry.h"
#include "shapes/geometry/scan_convert.h"
#include "shapes/geometry/shape_updates.h"

namespace orva {

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

void SetOuterBox(ShapeBoxBlock* b, double x, double y, double w, double h) {
    b->secondX = x;
    b->secondY = y;
    b->further[0] = w;
    b->further[1] = h;
}

// The outer box: the band's bounding box moved to P0, else the box.
void PlaceOuterBox(Shape* shape) {
    ShapeBoxBlock& b = shape->header.box;
    const AnchorBuffer& band = shape->derived.outline;
    const AnchorBuffer& a = shape->header.anchors;
    if (band.Count() == 0 || a.Count() == 0) {
        SetOuterBox(&b, b.x, b.y, b.w, b.h);
        return;
    }
    PlaneBox p;
    BoundingBoxOfPoints(band.Points(), static_cast<int32_t>(band.Count()), &p);
    SetOuterBox(&b, p.x + a.X(0), p.y + a.Y(0), p.w, p.h);
}

// The update of open curves; `ribs` builds the band as ribs (B-Slines).
void OpenUpdate(Shape* shape, int32_t event, bool ribs) {
    if (shape == nullptr || event == kUpdateNothing) return;
    ShapeLock lock(shape);
    ShapeDerived& d = shape->derived;
    if (event < kUpdateOffsetOnly) {
        if (event != kUpdateKeepBox) shape->ResetBounds();
        shape->pixelBox = IntegerBox(shape->header.box);
        if (shape->procs.outlineRasteriser != nullptr && !shape->procs.outlineRasteriser(shape, event))
            LogPrintf("Can`t build path of shape '%s'...", shape->name != nullptr ? shape->name : "");
        if (shape->procs.areaRasteriser != nullptr) shape->procs.areaRasteriser(shape, event);
        const AnchorBuffer& path = ribs ? d.path.points : d.path.pixelPath;
        if (path.Count() == 0) {
            d.outline.rowsUsed = 0;
            d.offsetRegion.MakeEmpty();
            d.length = 0.0;
            PlaceOuterBox(shape);
            return;
        }
        d.length = PathLength(path);
    }
    const EditTransformState& record = shape->header.offset;
    const AnchorBuffer* normals = record.direction == kOffsetNrml ? &d.normals : nullptr;
    bool band = record.Extent() != 0 && UpdateSliceOffset(shape);
    if (band) {
        band = ribs ? ApertureRibs(&d.outline, record, shape->header.anchors, normals)
                    : ApertureBandQuads(&d.outline, record, shape->header.anchors, normals);
    }
    if (!band) d.outline.rowsUsed = 0;
    PlaceOuterBox(shape);
    if (shape->procs.areaProcedure != nullptr) shape->procs.areaProcedure(shape, event);
}

// Quads of the band, each turned counter-clockwise so that the winding rule
// unites them where they overlap at bends: band quads as they are, ribs as the
// quads between consecutive ribs. Absolute coordinates.
void AreaQuads(const Shape* shape, bool ribs, std::vector<float>* points, std::vector<uint32_t>* counts) {
    const AnchorBuffer& band = shape->derived.outline;
    const float x0 = shape->header.anchors.X(0), y0 = shape->header.anchors.Y(0);
    const uint32_t n = band.Count();
    auto quad = [&](uint32_t i0, uint32_t i1, uint32_t i2, uint32_t i3) {
        const uint32_t idx[4] = {i0, i1, i2, i3};
        double area = 0.0;
        for (int k = 0; k < 4; ++k) {
            const uint32_t p = idx[k], q = idx[(k + 1) % 4];
            area += static_cast<double>(band.X(p)) * band.Y(q) - static_cast<double>(band.X(q)) * band.Y(p);
        }
        for (int k = 0; k < 4; ++k) {
            const uint32_t p = area < 0.0 ? idx[3 - k] : idx[k];
            points->push_back(band.X(p) + x0);
            points->push_back(band.Y(p) + y0);
        }
        counts->push_back(4);
    };
    if (ribs) {
        for (uint32_t i = 0; i + 3 < n; i += 2) quad(i, i + 1, i + 3, i + 2);
    } else {
        for (uint32_t i = 0; i + 3 < n; i += 4) quad(i, i + 1, i + 2, i + 3);
    }
}

void OpenAreaUpdate(Shape* shape, int32_t event, bool ribs) {
    if (shape == nullptr) return;
    ShapeLock lock(shape);
    ShapeDerived& d = shape->derived;
    const AnchorBuffer& path = ribs ? d.path.points : d.path.pixelPath;
    ShapePlacement& p = d.placement;
    if (path.Count() < 2 || shape->header.anchors.Count() == 0) {
        d.offsetRegion.MakeEmpty();
        p.offset = nullptr;
        return;
    }
    d.firstAnchor[0] = shape->header.anchors.X(0);
    d.firstAnchor[1] = shape->header.anchors.Y(0);
    d.areaModes[0] = shape->header.offset.direction;
    d.areaModes[1] = static_cast<uint32_t>(shape->header.offset.editFlag);
    PlaceRegionOrigins(shape);
    const bool polygon = d.outline.Count() >= 3;
    const ShapeBoxBlock& b = shape->header.box;
    ShapeBoxBlock outer;
    outer.x = b.secondX;
    outer.y = b.secondY;
    outer.w = b.further[0];
    outer.h = b.further[1];
    const ShapePixelBox box = ribs || polygon ? IntegerBox(outer) : shape->pixelBox;
    p.x = box.x;
    p.y = box.y;
    p.w = box.w;
    p.h = box.h;
    p.mask = nullptr;
    if (event != kUpdateNoArea) {
        if (!polygon) {
            d.offsetRegion.MakeEmpty();
        } else {
            std::vector<float> points;
            std::vector<uint32_t> counts;
            AreaQuads(shape, ribs, &points, &counts);
            const RowWindow rows = ShapeRows(shape);
            const bool built = !counts.empty() &&
                               PolygonRegion(&d.offsetRegion, points.data(), counts.data(),
                                             static_cast<uint32_t>(counts.size()), kFillWinding,
                                             shape->header.subpix, d.offsetRegion.floatOriginX,
                                             d.offsetRegion.floatOriginY, &rows);
            if (!built) {
                d.offsetRegion.MakeEmpty();
                LogPrintf("Can`t build mask of shape '%s'...", shape->name != nullptr ? shape->name : "");
            }
        }
    }
    if (polygon && d.offsetRegion.count != 0) d.offsetRegion.SetShapeCode(kRegionCodePolygon);
    p.offset = polygon && d.offsetRegion.count != 0 ? &d.offsetRegion : nullptr;
}

}  // namespace

RowWindow ShapeRows(const Shape* shape) {
    int64_t width = 0, height = 0;
    if (shape != nullptr && shape->view != nullptr && shape->view->DataFrameSize(&width, &height) && height > 0) {
        const double h = static_cast<double>(height);
        return RowWindow{-h, 2.0 * h};
    }
    return RowWindow{-kRowsWithoutFrame, kRowsWithoutFrame};
}

double PathLength(const AnchorBuffer& path) {
    double sum = 0.0;
    for (uint32_t i = 1; i < path.Count(); ++i) {
        const double dx = std::fabs(static_cast<double>(path.X(i)) - path.X(i - 1));
        const double dy = std::fabs(static_cast<double>(path.Y(i)) - path.Y(i - 1));
        if (dx == 0.0) {
            sum += dy;
        } else if (dy == 0.0) {
            sum += dx;
        } else if (dx == dy) {
            sum += dx * kSqrt2;
        } else {
            const double large = dx > dy ? dx : dy, small = dx > dy ? dy : dx;
            const double r = small / large;
            sum += large * std::sqrt(1.0 + r * r);
        }
    }
    return sum;
}

void PointUpdate(Shape* shape, int32_t event) {
    if (shape == nullptr) return;
    if (event != kUpdateFull && event != kUpdateKeepBox) shape->ResetBounds();
    shape->pixelBox = IntegerBox(shape->header.box);
}

void PolylineUpdate(Shape* shape, int32_t event) { OpenUpdate(shape, event, false); }
void BSplineUpdate(Shape* shape, int32_t event) { OpenUpdate(shape, event, true); }
void PolylineAreaUpdate(Shape* shape, int32_t event) { OpenAreaUpdate(shape, event, false); }
void BSplineAreaUpdate(Shape* shape, int32_t event) { OpenAreaUpdate(shape, event, true); }

}  // namespace orva
