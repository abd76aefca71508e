#include "main/chart_services.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <mutex>
#include <vector>

#include "app/chart_device.h"
#include "app/chart_panel.h"
#include "app/chart_request.h"
#include "app/chart_window.h"
#include "app/cui.h"
#include "app/image_window.h"
#include "app/message_dialog.h"
#include "framework/component.h"
#include "framework/component_message.h"
#include "framework/device_view.h"
#include "framework/display_lock.h"
#include "io/value_range.h"
#include "main/shape_services.h"
#include "reduction/kernels/sample_moments.h"
#include "reduction/linked_reduction.h"
#include "reduction/reduction_component.h"
#include "reduction/statistic_block.h"
#include "shapes/shape.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/display_grid.h"
#include "views/readout_pages.h"
#include "views/rulers.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
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

// The chart's keys changed its cursor options: the cell's grid record and page follow.
void FollowCursorOptions(DisplayCellBase* base) { DisplayGridFollowChart(AsDisplayCell(base)); }

HistogramChart* Histogram(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    return cell != nullptr ? cell->statisticsChart : nullptr;
}

// The statistics keys of a chart act on the Reduction linked nearest to what the chart
// shows (the one whose output it draws); a chart without a current device answers to the
// Reduction of the cell's project item.
ReductionComponent* ReductionOfChart(DisplayCellBase* cell) {
    if (cell == nullptr) return nullptr;
    DeviceViewBase* device = cell->currentDevice;
    if (ReductionComponent* linked = FindLinkedReduction(device != nullptr ? device->pin.upstream : nullptr))
        return linked;
    ProjectItemBase* item = cell->owner;
    if (item == nullptr || !ProjectItemIsLive(item)) return nullptr;
    return FindLinkedReduction(item->currentWindows[3]);
}

bool ReductionKey(DisplayCellBase* cell, int32_t action, bool forward) {
    ReductionComponent* reduction = ReductionOfChart(cell);
    if (reduction == nullptr) return false;
    bool changed = false;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        ReductionOptions& options = reduction->Options();
        switch (action) {
            case 0: changed = options.CycleIntervalMethod(forward); break;
            case 1: changed = options.ToggleStatVis(forward); break;
            default: changed = options.ResetHistogram(); break;
        }
    }
    // Its pages show the new options and the statistics are computed again downstream.
    if (changed) reduction->Refresh(0);
    return changed;
}

// The 2-D view linked with a chart: the image window of the cell whose view holds the
// shape that the chart's Reduction measures now.
Image2DWindow* LinkedView(DisplayCellBase* cell) {
    ReductionComponent* reduction = ReductionOfChart(cell);
    Shape* shape = reduction != nullptr ? reduction->CurrentItemShape() : nullptr;
    DisplayComponent* view = shape != nullptr ? CellOfShapeContainer(shape->container) : nullptr;
    if (view == nullptr || view == AsDisplayCell(cell)) return nullptr;
    return dynamic_cast<Image2DWindow*>(view->Graphics());
}

// The point of a slice's path under a sample position of the chart (the sample's index
// is the position rounded up, less 1), in the frame's coordinates.
bool LinkedPoint(DisplayCellBase* cell, double position, double* x, double* y) {
    ReductionComponent* reduction = ReductionOfChart(cell);
    if (reduction == nullptr || x == nullptr || y == nullptr || !(position >= 0.0) || LinkedView(cell) == nullptr)
        return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    // Only while the chart draws the slice's profile.
    const DeviceViewBase* device = cell->currentDevice;
    if (device == nullptr || device->result.statistic != &reduction->sliceFrames) return false;
    const SliceWork& slice = reduction->slice;
    const uint32_t points = slice.path.rowsUsed;
    if (points == 0 || slice.path.data == nullptr || slice.wordsPerPoint < 2) return false;
    const double index = std::clamp(std::ceil(position) - 1.0, 0.0, static_cast<double>(points - 1));
    const float* p = static_cast<const float*>(slice.path.data) + static_cast<size_t>(index) * slice.wordsPerPoint;
    *x = static_cast<double>(p[0]) + static_cast<double>(slice.originX);
    *y = static_cast<double>(p[1]) + static_cast<double>(slice.originY);
    return true;
}

void ShowLinkedPoint(DisplayCellBase* cell, double x, double y) {
    if (Image2DWindow* view = LinkedView(cell)) view->ShowMarkAtFrame(x, y);
}

// The chart's linked state: its sliders and those of its linked view show it; leaving
// the link takes the cursor mark off the linked view.
bool SetLinked(DisplayCellBase* cell, GraphicsWindow* window, bool state) {
    if (window == nullptr) return false;
    if (auto* chart = dynamic_cast<ChartWindow*>(window)) chart->linked = state ? 1 : 0;
    window->SetSliderStyle(state);
    if (Image2DWindow* view = LinkedView(cell)) {
        view->SetSliderStyle(state);
        if (!state && window->cursorMarkShown == 0 && view->cursorMarkShown != 0) {
            view->cursorMarkShown = 0;
            view->RepaintNow();
        }
    }
    return true;
}

// The class of the picture a chart's frame request hands its source.
inline constexpr ComponentId kChartStripPictureId{{FourCC("STRP"), FourCC("DT1D"), FourCC("DEVI"), FourCC("OUTG")},
                                                  nullptr};

// The device's strip frame as the target of a frame request; it lives on the asker's stack.
class StripPicture : public FramePictureTarget {
public:
    const ComponentId* GetClassId() const override { return &kChartStripPictureId; }
    int32_t AddRef() override { return ++refs; }
    int32_t Release() override { return --refs; }
    int32_t refs = 1;
};

}  // namespace

bool ChartInputRange(ComponentBase* upstream, double* minimum, double* maximum) {
    // A histogram's curve is counts: the source's values are its x axis, no range of it.
    if (ReductionComponent* r = AsReduction(upstream)) {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (r->CurrentItemMeasuresArea()) return false;
    }
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

// The frame behind a chart's strip, asked of the device's source with its request
// operation (OnMessage) or its prepare operation (QueryPageMessage, which a stage passes
// on up its chain): a stage that makes frame pictures produces the record's frame and
// channel, in the box of the device's last pull, into the device's strip frame. The
// Source takes the code for its section data, which it gives only to the Reduction's data
// array: it refuses. True when the frame came.
bool ChartAskFrame(ComponentBase* source, ChartFrameRequest* record, bool prepare) {
    auto* device = record != nullptr ? dynamic_cast<Chart1DDevice*>(record->Held()) : nullptr;
    if (source == nullptr || device == nullptr || !ComponentIsLive(source)) return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    PullResult& frame = device->stripFrame;
    frame.image.DropFrame();
    frame.pending = 0;
    frame.window = device->frameRequest;
    frame.window.frame = record->part.frame;
    frame.window.section = record->part.channel;
    StripPicture target;
    target.picture = &frame;
    FrameDataMessage message(static_cast<int32_t>(record->kind), &target, record->part.frame, record->part.channel);
    const bool taken = prepare ? source->QueryPageMessage(&message, 0) : source->OnMessage(&message, 0);
    if (taken && frame.image.HoldsFrame()) return true;
    frame.image.DropFrame();
    return false;
}

namespace {

// The frame list of a Reduction's statistic: its histogram, one frame whose samples are the
// bins, bin i standing for the values within half a bin of HistMin + i w. A block without bins (a
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
    // Bin i counts the values within half a bin of HistMin + i w: its bar is drawn from
    // its lower edge (the first edge and on, a bin a step), and the readout and the Mode
    // give its centre.
    out->valid = 1;
    out->xStart = b->firstEdge;
    out->readoutShift = b->histMin - b->firstEdge;
    out->xStep = b->histWidth;
    out->samples = b->binCount;
    out->intervalFrom = b->firstEdge;
    out->intervalTo = b->firstEdge + static_cast<double>(b->binCount) * b->histWidth;
    return true;
}

// The workspace of an active cell, or none.
WorkspaceComponent* ActiveWorkspace(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    return cell != nullptr && cell->IsActive() ? cell->workspace : nullptr;
}

// A new frame of the chart is drawn at once while its strip is on the screen. The tool
// window's value page, whose preview shows the strip, opens with the first frame.
bool RedrawOnFrame(DisplayCellBase* base) {
    WorkspaceComponent* ws = ActiveWorkspace(base);
    if (ws == nullptr) return false;
    if (ws->preview.widget == nullptr) WorkspaceOpenValuePage(ws, true);
    return ws->previewOn != 0 && ws->preview.widget != nullptr;
}

bool PreviewsOff(DisplayCellBase* base) {
    WorkspaceComponent* ws = ActiveWorkspace(base);
    return ws == nullptr || ws->previewOn == 0;
}

// The chart's cursor readout reaches the coordinate fields and the value fields of its
// workspace while the chart's cell is the workspace's active one. Both at once: the
// chart's record says whether its value changed only until its next readout, so a value
// left for a later redraw would be lost.
void RedrawReadout(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    if (cell == nullptr || !cell->IsActive() || cell->workspace == nullptr) return;
    RedrawChartCoordReadout(cell->workspace);
    RedrawChartValueReadout(cell->workspace);
}

// A statistic result in the rows of the statistics tables.
StatisticsRecord TableRecord(const StatisticResult& r) {
    StatisticsRecord t;
    t.count = r.npro;
    t.backgroundOn = r.backgroundValid;
    t.background = r.bkgr;
    t.flux = r.flux;
    t.maximum = r.max;
    t.minimum = r.min;
    t.range = r.range;
    t.mean = r.mean;
    t.median = r.median;
    t.mode = r.mode;
    t.backgroundThreshold = r.bkgrThreshold;
    t.rms = r.rms;
    t.dispersion = r.dispersion;
    t.relativeVariance = r.rVar;
    t.backgroundRms = r.rmsBkgr;
    t.skewness = r.skewness;
    t.kurtosis = r.kurtosis;
    t.xCentre = r.xc;
    t.yCentre = r.yc;
    t.x2 = r.xsig;
    t.y2 = r.ysig;
    t.xy2 = r.xysig;
    t.xSkew = r.xasym;
    t.ySkew = r.yasym;
    t.fwhm = r.fwhm;
    t.radius = r.thresholdRadius;
    t.gaussPercent = static_cast<int32_t>(std::min<uint32_t>(r.gaussPercent, INT32_MAX));
    return t;
}

// The image cell whose picture holds the region a chart's Reduction measures now.
DisplayComponent* MeasuredViewOf(DisplayCellBase* chart) {
    ReductionComponent* reduction = ReductionOfChart(chart);
    Shape* shape = reduction != nullptr ? reduction->CurrentItemShape() : nullptr;
    DisplayComponent* view = shape != nullptr ? CellOfShapeContainer(shape->container) : nullptr;
    return view != AsDisplayCell(chart) ? view : nullptr;
}

// A statistics list: the Reduction's numbers of the measured region (the full table with
// the histogram's interval), for the channel the Reduction selects. A chart that shows
// them has the picture they were measured on show them too.
void ShowStatisticsList(DisplayCellBase* base, const void* statistic, uint32_t row) {
    (void)row;  // a statistic holds one frame
    const StatisticBlock* b = HistogramBlock(statistic);
    if (b == nullptr || b->filled == 0) return;
    const uint32_t channel = std::min(std::max<uint32_t>(b->selectedChannel, 1), b->filled) - 1;
    DisplayComponent* cell = AsDisplayCell(base);
    DisplayShowStatisticsList(cell, b->histWidth, TableRecord(b->Results()[channel]));
    if (cell != nullptr && dynamic_cast<ChartWindow*>(cell->Graphics()) != nullptr)
        RefreshImageStatistics(MeasuredViewOf(base));
}

// What the statistics list of an image cell shows: the statistic of the region measured
// on its picture (the current item of its project item's Reduction, a statistic shape of
// the cell's view, once measured), else nothing.
const void* MeasuredStatistic(DisplayCellBase* base) {
    DisplayComponent* cell = AsDisplayCell(base);
    ProjectItemBase* item = cell != nullptr ? cell->owner : nullptr;
    if (item == nullptr || !ProjectItemIsLive(item)) return nullptr;
    ReductionComponent* reduction = FindLinkedReduction(item->currentWindows[3]);
    if (reduction == nullptr || reduction->HasNoItems() || !reduction->CurrentItemMeasuresArea()) return nullptr;
    Shape* shape = reduction->CurrentItemShape();
    if (shape == nullptr || CellOfShapeContainer(shape->container) != cell) return nullptr;
    const StatisticBlock* b = reduction->Statistic();
    return b != nullptr && b->filled != 0 ? b : nullptr;
}

// The statistics of the curve's row in the statistics window (the region table: what the
// values alone tell); a histogram's numbers are the Reduction's (its bins' counts tell
// nothing of the measured values).
void ShowRowStatistics(DisplayCellBase* base, const void* statistic, const RowStats&) {
    if (HistogramBlock(statistic) != nullptr) return;
    DisplayComponent* cell = AsDisplayCell(base);
    auto* chart = cell != nullptr ? dynamic_cast<ChartWindow*>(cell->Graphics()) : nullptr;
    const Chart1DDevice* device = chart != nullptr ? chart->Device() : nullptr;
    std::vector<double> values;
    if (device != nullptr) device->CurrentRowValues(&values);
    StatisticsRecord t;
    if (CurveStatistics(std::move(values), &t)) DisplayShowRegionStatistics(cell, t);
    else DisplayClearStatistics(cell);
}

}  // namespace

bool CurveStatistics(std::vector<double> values, StatisticsRecord* out) {
    if (out == nullptr || values.empty() || values.size() > UINT32_MAX) return false;
    const auto n = static_cast<uint32_t>(values.size());
    StatisticResult r;
    r.npro = n;
    r.invN = 1.0 / n;
    SampleMoments<double>(values.data(), n, &r, StatisticScratch{});
    *out = TableRecord(r);
    // A curve has no histogram, background or centre of its own.
    out->mode = out->backgroundThreshold = out->fwhm = out->radius = DBL_MAX;
    out->xCentre = out->yCentre = -1.0;
    return true;
}

void RefreshImageStatistics(DisplayComponent* cell) {
    if (cell == nullptr || !OnUiThread()) return;
    DisplaySyncHost(cell);
    auto* image = dynamic_cast<Image2DWindow*>(cell->Graphics());
    if (image == nullptr) return;
    image->RefreshStatisticsList();
    // The list's own window shows the change now, whatever paints next.
    gWindow* list = gWinValidate(cell->statisticsWindow);
    if (list != nullptr && list->dirty != 0) PaintWindowNow(list, true);
}

void RefreshMeasuredStatistics(ProjectItemBase* item) {
    if (item == nullptr || !OnUiThread()) return;
    for (WindowGroup& group : TheCUI().groups) {
        WorkspaceComponent* ws = AsWorkspace(group.workspace);
        if (ws == nullptr) continue;
        for (DisplayComponent* cell : ws->cells)
            if (cell != nullptr && AsDisplayCell(cell) != nullptr && cell->owner == item) RefreshImageStatistics(cell);
    }
}

void InstallChartServices() {
    TheComponentServices().createChartWindow = &CreateChartWindow;
    ChartHostServices& chart = TheChartHostServices();
    chart.showScales = &ShowScales;
    chart.histogram = &Histogram;
    chart.inputRange = &ChartInputRange;
    chart.reduction = &ReductionKey;
    chart.refreshGridCursorOptions = &FollowCursorOptions;
    chart.linkedPoint = &LinkedPoint;
    chart.showLinkedPoint = &ShowLinkedPoint;
    chart.setLinked = &SetLinked;
    chart.redrawReadout = &RedrawReadout;
    chart.showRowStatistics = &ShowRowStatistics;
    // A histogram's statistics list, filled with each new frame of the chart; an image's
    // with the region measured on it.
    TheGraphicsHostServices().showStatisticsList = &ShowStatisticsList;
    TheGraphicsHostServices().measuredStatistic = &MeasuredStatistic;
    // The chart's tool panel in the "Chart Tools" window.
    InstallChartPanel();
    // A histogram's x axis stands in the measured values, a slice's in samples along its path.
    chart.frameCount = &StatisticFrameCount;
    chart.frame = &StatisticFrame;
    // The image strip of the chart: drawn into its workspace's preview.
    chart.redrawOnFrame = &RedrawOnFrame;
    chart.previewsOff = &PreviewsOff;
    chart.askFrame = &ChartAskFrame;
}

}  // namespace orva
