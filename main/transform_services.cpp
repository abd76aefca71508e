#include "main/transform_services.h"

#include <atomic>

#include "app/ui_elements.h"
#include "data/display_bitmap.h"
#include "framework/pipeline.h"
#include "framework/port.h"
#include "shapes/node_shape_action.h"
#include "shapes/shape_container.h"
#include "transform/display_render.h"
#include "transform/transformation.h"
#include "views/view_page.h"

namespace orva {

namespace {

Shape* AsShape(void* shape) { return static_cast<Shape*>(shape); }

// The stage as an item of its region shapes: it takes an area shape in the
// Statistic role as its region, an edit of the shape restarts it, a shape taken
// away detaches. The stage holds one reference and clears `stage` when it goes;
// each shape that lists the item holds another.
class StageItem final : public ShapeItem {
public:
    explicit StageItem(TransformationComponent* owner) : stage(owner) {}
    int32_t AddRef() override { return ++refs_; }
    int32_t Release() override {
        const int32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    bool Check(Shape* shape) override { return Accepts(shape); }
    bool Detach(Shape* shape) override { return stage != nullptr && stage->DetachRegionShape(shape, false); }
    void Notify(Shape*) override {}
    void Refresh(int32_t) override { Restart(); }
    bool Accepts(Shape* shape) override {
        return stage != nullptr && shape != nullptr && shape->header.role == kRoleStatistic &&
               IsRegionAreaKind(shape->header.kind) && stage->AttachRegion(shape);
    }
    void Restart() override {
        if (stage != nullptr) stage->RefreshForRegion();
    }

    TransformationComponent* stage;

private:
    ~StageItem() = default;
    std::atomic<int32_t> refs_{1};
};

StageItem* ItemOf(TransformationComponent* stage, bool make) {
    if (stage->regionItem == nullptr && make) stage->regionItem = new StageItem(stage);
    return static_cast<StageItem*>(stage->regionItem);
}

// The stage as a node that asks its display for a shape.
class StageNode final : public ShapeNode {
public:
    explicit StageNode(TransformationComponent* stage) : stage_(stage) {}
    bool FrameSize(int64_t* width, int64_t* height) override {
        const FrameDataRecord* frame = stage_->UpstreamFrameData(-1, -1);
        if (frame == nullptr || frame->width == INT64_MAX || frame->height == INT64_MAX) return false;
        *width = frame->width;
        *height = frame->height;
        return true;
    }
    void VisibleOrigin(double* x, double* y) override {
        const ShapeContainer* display = Display();
        const ShapeView* view = display != nullptr ? display->view : nullptr;
        *x = view != nullptr ? -view->originX : 0.0;
        *y = view != nullptr ? -view->originY : 0.0;
    }
    ShapeContainer* Display() override {
        DeviceViewBase* device = stage_->portRecord;
        auto* port = device != nullptr ? dynamic_cast<ViewConsumer*>(device->port) : nullptr;
        return port != nullptr ? static_cast<ShapeContainer*>(port->shapes) : nullptr;
    }
    // On a display the shape is shown there and linked to the item, which takes
    // it; without one it is linked and taken here.
    bool TakeShape(Shape* shape) override {
        StageItem* item = ItemOf(stage_, true);
        if (item == nullptr) return false;
        if (ShapeContainer* display = Display()) return display->AddShapeGlyph(shape, item, false, true);
        if (!shape->items.Add(item)) return false;
        if (item->Accepts(shape)) return true;
        shape->items.Remove(item);
        return false;
    }

private:
    TransformationComponent* stage_;
};

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

bool EnsureInContainer(void* shape) { return AsShape(shape)->container != nullptr || AsShape(shape)->EnsureInContainer(); }

// A shape shown on no view has nothing to leave: the item alone goes.
void UnlinkItem(void* shape, ComponentBase* stage) {
    auto* t = dynamic_cast<TransformationComponent*>(stage);
    StageItem* item = t != nullptr ? ItemOf(t, false) : nullptr;
    if (item != nullptr && !AsShape(shape)->UnlinkItem(item)) AsShape(shape)->items.Remove(item);
}

void ReleaseItem(void* item) {
    auto* stageItem = static_cast<StageItem*>(item);
    stageItem->stage = nullptr;
    stageItem->Release();
}

bool RequestKindRole(const void* request, int32_t* kind, int32_t* role) {
    const auto* r = static_cast<const ShapeRequest*>(request);
    *kind = r->kind;
    *role = r->role;
    return true;
}

// Without a request: a point-sized one, which the action widens into a box on the display.
bool StageShapeAction(ComponentBase* stage, const void* request, int32_t kind, int32_t role) {
    auto* t = dynamic_cast<TransformationComponent*>(stage);
    if (t == nullptr) return false;
    ShapeRequest made;
    made.kind = kind;
    made.role = role;
    StageNode node(t);
    return NodeShapeAction(&node, request != nullptr ? static_cast<const ShapeRequest*>(request) : &made, nullptr);
}

// ---- The "View" page ------------------------------------------------------------------------

UIPage* LivePage(PageWindow* page) {
    auto* p = static_cast<UIPage*>(page);
    return UIPageIsLive(p) ? p : nullptr;
}

// The blocks of the page make their groups themselves when they are shown;
// the page only takes its title.
bool OpenPage(PageWindow* page, void*, int32_t, const char* title) {
    UIPage* p = LivePage(page);
    if (p == nullptr) return false;
    if (p->name.empty()) p->name = title;
    return true;
}

void NotifyElements(PageWindow* page, PanelBuilder key, intptr_t argument) {
    if (UIPage* p = LivePage(page)) UIElementsNotify(p, key, argument);
}

// The data offset of the view that shows the stage (0 without one).
void ViewOffset(TransformationComponent* stage, double* x, double* y) {
    StageNode node(stage);
    node.VisibleOrigin(x, y);
    *x = -*x;
    *y = -*y;
}

}  // namespace

void InstallTransformServices() {
    TransformationUiServices& pages = TheTransformationUiServices();
    pages.openPage = &OpenPage;
    pages.notifyElements = &NotifyElements;
    InstallViewPagePanels(&pages);
    TheTransformationViewHooks().viewOffset = &ViewOffset;
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
    shapes.ensureInContainer = &EnsureInContainer;
    shapes.unlinkItem = &UnlinkItem;
    shapes.releaseItem = &ReleaseItem;
    shapes.requestKindRole = &RequestKindRole;
    shapes.nodeShapeAction = &StageShapeAction;
}

}  // namespace orva
