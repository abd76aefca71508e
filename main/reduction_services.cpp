#include "main/reduction_services.h"

#include "app/ui_elements.h"
#include "framework/pipeline.h"
#include "main/shape_services.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"
#include "views/slice_page.h"

namespace orva {

namespace {

// A measurement left new marks on its shape: the shape's view shows them at its next
// repaint.
void AnnounceStatisticMarks(Shape* shape) {
    if (shape != nullptr) RedrawShapeViewLater(shape->container);
}

}  // namespace

ShapeItem* ReductionItemOfStage(ComponentBase* stage) {
    if (stage == nullptr || !ComponentIsLive(stage)) return nullptr;
    ProjectItemBase* item = stage->owner;
    if (item == nullptr || !ProjectItemIsLive(item)) return nullptr;
    ComponentBase* stageOfItem = item->currentWindows[3];
    if (stageOfItem == nullptr || !ComponentIsLive(stageOfItem)) return nullptr;
    auto* reduction = dynamic_cast<ReductionComponent*>(stageOfItem);
    return reduction != nullptr ? &reduction->itemLink : nullptr;
}

void InstallReductionServices() {
    ThePipelineServices().createReduction = &CreateReductionFromScript;
    TheReductionServices().windowTreeRefresh = &UIWindowTreeRefresh;
    TheReductionServices().statisticMarks = &AnnounceStatisticMarks;
    InstallReductionPages();
}

}  // namespace orva
