#include "main/reduction_services.h"

#include "app/ui_elements.h"
#include "framework/pipeline.h"
#include "main/chart_services.h"
#include "main/shape_services.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"
#include "views/display_cell.h"
#include "views/extraction_page.h"
#include "views/slice_page.h"

namespace orva {

namespace {

// A measurement left new marks on its shape: the shape's view shows them at its next
// repaint.
void AnnounceStatisticMarks(Shape* shape) {
    if (shape != nullptr) RedrawShapeViewLater(shape->container);
}

// The display cell whose chart shows the Reduction, or null.
DisplayComponent* ChartCellOf(ReductionComponent* reduction) {
    DeviceViewBase* device = reduction != nullptr ? reduction->portRecord : nullptr;
    return device != nullptr && device->display != nullptr ? AsDisplayCell(device->display) : nullptr;
}

bool ChartToolPageShown(ReductionComponent* reduction) {
    DisplayComponent* cell = ChartCellOf(reduction);
    return cell != nullptr && DisplayChartVisible(cell);
}

// The pages the Reduction refreshes when its items change, and with them the statistics
// lists of the pictures its item shows (a region measured there came or went).
void (*gRefreshReductionPages)(ReductionComponent*) = nullptr;
void RefreshPagesAndLists(ReductionComponent* reduction) {
    if (gRefreshReductionPages != nullptr) gRefreshReductionPages(reduction);
    if (reduction != nullptr) RefreshMeasuredStatistics(reduction->owner);
}

void RefreshChartToolPage(ReductionComponent* reduction) {
    if (DisplayComponent* cell = ChartCellOf(reduction)) DisplayRefreshToolPage(cell);
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
    gRefreshReductionPages = TheReductionServices().refreshPages;
    TheReductionServices().refreshPages = &RefreshPagesAndLists;
    TheExtractionPageHooks().toolPageShown = &ChartToolPageShown;
    TheExtractionPageHooks().refreshToolPage = &RefreshChartToolPage;
}

}  // namespace orva
