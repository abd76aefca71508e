#include "main/transform_services.h"

#include "data/display_bitmap.h"
#include "framework/pipeline.h"
#include "shapes/shape.h"
#include "transform/display_render.h"
#include "transform/transformation.h"

namespace orva {

namespace {

Shape* AsShape(void* shape) { return static_cast<Shape*>(shape); }

int32_t AddRef(void* shape) { return AsShape(shape)->AddRef(); }
int32_t Release(void* shape) { return AsShape(shape)->Release(); }
std::recursive_mutex* ContainerLock(void* shape) { return AsShape(shape)->ContainerLock(); }

bool RegionBox(void* shape, BlockBox* box) {
    const ShapeRegion& mask = AsShape(shape)->derived.mask;
    if (mask.count == 0) return false;
    FrameBox absolute;
    mask.AbsoluteBox(&absolute);
    box->x = absolute.x;
    box->y = absolute.y;
    box->width = static_cast<int32_t>(absolute.width);
    box->height = static_cast<int32_t>(absolute.height);
    return true;
}

// The values without data (-DBL_MAX) are left out.
bool RegionValues(void* shape, const BlockBox& block, const double* values, uint32_t channels,
                  RegionStatistics* statistics) {
    if (block.width <= 0 || block.height <= 0) return false;
    const FrameBox frame{block.x, block.y, static_cast<uint32_t>(block.width), static_cast<uint32_t>(block.height)};
    RegionStats stats;
    if (!RegionMinMax(AsShape(shape)->derived.mask, frame, values, channels, 1, &stats)) return false;
    statistics->minimum = stats.minimum;
    statistics->maximum = stats.maximum;
    statistics->sigma = stats.sigma;
    statistics->mean = stats.mean;
    return true;
}

// A stage's region is left alone by the removals of the view's shapes.
void MarkRegion(void* shape) { AsShape(shape)->state = kShapeHidden; }

}  // namespace

void InstallTransformServices() {
    ThePipelineServices().createTransformation = &CreateTransformationFromScript;
    DisplayRenderServices& render = TheDisplayRenderServices();
    render.renderFrame = &RenderFrameToBitmap;
    render.renderPreview = &RenderPreview;
    RegionShapeServices& shapes = TheRegionShapeServices();
    shapes.addRef = &AddRef;
    shapes.release = &Release;
    shapes.containerLock = &ContainerLock;
    shapes.regionBox = &RegionBox;
    shapes.regionStatistics = &RegionValues;
    shapes.markRegion = &MarkRegion;
}

}  // namespace orva
