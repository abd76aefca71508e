#include "main/chart_services.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "app/chart_panel.h"
#include "app/chart_window.h"
#include "framework/component.h"
#include "framework/component_message.h"
#include "io/value_range.h"
#include "reduction/reduction_component.h"
#include "reduction/statistic_block.h"
#include "toolkit/histogram_chart.h"
#include "views/display_cell.h"
#include "views/readout_pages.h"
#include "views/rulers.h"
#include "views/workspace_readouts.h"

namespace orva {

namespace {

// The cell's ruler pair serves as the chart's scales: shown around the plot (which
// gives them their room) while the chart is the cell's window, hidden when it goes.
void ShowScales(DisplayCellBase* base, GraphicsWindow* chart, bool show) {
    DisplayComponent* cell = AsDisplayCell(base);
    if (cell == nullptr || cell->window == nullptr) return;
    ViewRulers& r = cell->rulers;
    if (!show) {
        if (r.target != chart) return;
        HideRulers(cell);
        r.shown = 0;
        r.scaleShown[0] = r.scaleShown[1] = 0;
    } else {
        if (!RulersAttach(&r, cell->window, cell->cellRect, chart)) return;
        // A chart's axes are samples and values, not pixels: its readouts are shown unrounded.
        cell->axisRounding[0] = cell->axisRounding[1] = kAxisReal;
        r.hidden = 0;
        r.shown = 1;
        r.scaleShown[0] = r.scaleShown[1] = 1;
        r.SelectPainters();
        RulersPlace(&r, cell->cellRect[0], cell->cellRect[1], cell->cellRect[2], cell->cellRect[3]);
    }
    float area[4];
    DisplayGetPlotArea(cell, area, 0);
    if (cell->widget != nullptr) {
        cell->widget->x = area[0];
        cell->widget->y = area[1];
        cell->widget->width = cell->widget->cellWidth = area[2];
        cell->widget->height = cell->widget->cellHeight = area[3];
    }
    cell->plotWidth = PlotSizeFromFloat(area[2]);
    cell->plotHeight = PlotSizeFromFloat(area[3]);
    DisplaySyncHost(cell);
    MarkWindowForRedraw(cell->window);
}

HistogramChart* Histogram(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    return cell != nullptr ? cell->statisticsChart : nullptr;
}

// The statistics keys of a chart act on the Reduction of the cell's project item.
bool ReductionKey(DisplayCellBase* cell, int32_t action, bool forward) {
    ProjectItemBase* item = cell != nullptr ? cell->owner : nullptr;
    if (item == nullptr || !ProjectItemIsLive(item)) return false;
    ComponentBase* stage = item->currentWindows[3];
    auto* reduction = stage != nullptr && ComponentIsLive(stage) ? dynamic_cast<ReductionComponent*>(stage) : nullptr;
    if (reduction == nullptr) return false;
    ReductionOptions& options = reduction->Options();
    bool changed = false;
    switch (action) {
        case 0: changed = options.CycleIntervalMethod(forward); break;
        case 1: changed = options.ToggleStatVis(forward); break;
        default: changed = options.ResetHistogram(); break;
    }
    // The statistics are computed again downstream.
    if (changed && ComponentUpstream(reduction) != nullptr) ComponentRefreshDownstream(reduction);
    return changed;
}

}  // namespace

bool ChartInputRange(ComponentBase* upstream, double* minimum, double* maximum) {
    // The Source at the head of the chain the device reads.
    ComponentBase* source = upstream;
    for (int depth = 0; source != nullptr && depth < 64; ++depth) {
        if (SameComponentId(source->GetClassId(), &kInputId)) break;
        source = ComponentUpstream(source);
    }
    if (source == nullptr || !SameComponentId(source->GetClassId(), &kInputId) || !ComponentIsLive(source))
        return false;
    ValueRangeTarget* target = ValueRangeTarget::Create();
    if (target == nullptr) return false;
    // Complete statistics first; when the Source has none, what it holds so far.
    bool have = false;
    for (const int32_t code : {kMsgValueRange, kMsgValueRangePartial}) {
        target->flags = 0;
        DataMessage message(code, target);
        if (source->OnMessage(&message, 0) && (target->flags & kValueRangeMinMax) != 0 &&
            target->range.min <= target->range.max) {
            have = true;
            break;
        }
    }
    if (have) {
        if (minimum != nullptr) *minimum = target->range.min;
        if (maximum != nullptr) *maximum = target->range.max;
    }
    target->Release();
    return have;
}

namespace {

// The frame list of a Reduction's statistic: its histogram, one frame whose samples are the
// bins, bin i standing for the values around HistMin + i w. A block without bins (a
// degenerate histogram, nothing measured) has none.
const StatisticBlock* HistogramBlock(const void* statistic) {
    const auto* b = static_cast<const StatisticBlock*>(statistic);
    if (b == nullptr || b->tag != kStatisticBlockTag || b->filled == 0 || b->binCount == 0) return nullptr;
    if (!std::isfinite(b->histMin) || !std::isfinite(b->histWidth) || b->histWidth <= 0.0) return nullptr;
    return b;
}

// A slice's frame list: its profile, one sample a step from the path's first kept point.
const SliceFrameList* SliceFrames(const void* statistic) {
    const auto* list = static_cast<const SliceFrameList*>(statistic);
    return list != nullptr && list->tag == kSliceFrameListTag && list->samples != 0 ? list : nullptr;
}

uint32_t StatisticFrameCount(const void* statistic) {
    return HistogramBlock(statistic) != nullptr || SliceFrames(statistic) != nullptr ? 1 : 0;
}

bool StatisticFrame(const void* statistic, uint32_t index, ChartFrame* out) {
    if (index != 0 || out == nullptr) return false;
    if (const SliceFrameList* list = SliceFrames(statistic)) {
        *out = ChartFrame{};
        out->valid = 1;
        out->xStart = 0.0;
        out->xStep = 1.0;
        out->samples = list->samples;
        out->intervalFrom = 0.0;
        out->intervalTo = static_cast<double>(list->samples);
        return true;
    }
    const StatisticBlock* b = HistogramBlock(statistic);
    if (b == nullptr) return false;
    out->valid = 1;
    out->xStart = b->histMin;
    out->xStep = b->histWidth;
    out->samples = b->binCount;
    out->intervalFrom = b->firstEdge;
    out->intervalTo = b->firstEdge + static_cast<double>(b->binCount) * b->histWidth;
    return true;
}

// The chart's cursor readout reaches the coordinate fields of its workspace while the
// chart's cell is the workspace's active one.
void RedrawReadout(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    if (cell != nullptr && cell->IsActive() && cell->workspace != nullptr) RedrawChartCoordReadout(cell->workspace);
}

// The statistics of the curve's row in the statistics window; a histogram's numbers are
// the Reduction's (its bins' counts tell nothing of the measured values).
void ShowRowStatistics(DisplayCellBase* base, const void* statistic, const RowStats& stats) {
    if (HistogramBlock(statistic) != nullptr) return;
    ChartSummary summary;
    summary.valid = 1;
    summary.count = static_cast<uint32_t>(std::min<uint64_t>(stats.count, UINT32_MAX));
    summary.minimum = stats.minimum;
    summary.maximum = stats.maximum;
    summary.flux = stats.sum;
    const bool meanOk = stats.valid != 0;
    summary.mean = meanOk ? stats.mean : -DBL_MAX;
    // A sigma that was not computed (values beyond the square root of DBL_MAX) is shown as
    // missing.
    summary.rms = meanOk && stats.sigma >= 0.0 ? stats.sigma : -DBL_MAX;
    DisplayShowRegionStatistics(AsDisplayCell(base), summary);
}

}  // namespace

void InstallChartServices() {
    TheComponentServices().createChartWindow = &CreateChartWindow;
    ChartHostServices& chart = TheChartHostServices();
    chart.showScales = &ShowScales;
    chart.histogram = &Histogram;
    chart.inputRange = &ChartInputRange;
    chart.reduction = &ReductionKey;
    chart.redrawReadout = &RedrawReadout;
    chart.showRowStatistics = &ShowRowStatistics;
    // The chart's tool panel in the "Chart Tools" window.
    InstallChartPanel();
    // A histogram's x axis stands in the measured values, a slice's in samples along its path.
    chart.frameCount = &StatisticFrameCount;
    chart.frame = &StatisticFrame;
}

}  // namespace orva
