#include "app/chart_window.h"

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <mutex>
#include <new>

#include "app/chart_device.h"
#include "app/field_readers.h"
#include "toolkit/texture_view.h"
#include "app/message_dialog.h"
#include "data/kernel_util.h"
#include "framework/display_lock.h"
#include "toolkit/gl_colors.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/input.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using kernel::SaturateTrunc;

// A mode byte a new window takes when its creator has none.
uint8_t gDefaultModeFlag = 1;

GraphicsColourList& ColourList() {
    static GraphicsColourList list;
    return list;
}

double KeptSpan(double span) { return ChartKeptSpan(span); }

// Half of maximum - minimum, without overflow.
double HalfSpan(double minimum, double maximum) { return maximum * 0.5 - minimum * 0.5; }

int32_t VisibleCount(double samplesPerPixel, int32_t width) { return ChartVisibleCount(samplesPerPixel, width); }

double ClampPixel(double p) {
    if (std::isnan(p)) return 0.0;
    return std::clamp(p, -kChartPixelLimit, kChartPixelLimit);
}

// The devices of the window, from its latest.
template <typename F>
void ForEachDevice(const ChartWindow* w, F f) {
    for (DeviceViewBase* d = w->latest; d != nullptr; d = d->older)
        if (auto* c = dynamic_cast<Chart1DDevice*>(d)) f(c);
}

bool Shown(const Chart1DDevice* d) { return d->stop[kDeviceHiddenByte] == 0; }

// ---- The host's callbacks

void StatisticsCallback(GraphicsWindow* w) {
    if (auto* c = dynamic_cast<ChartWindow*>(w)) c->RefreshStatisticsList();
}
bool ReadoutCallback(GraphicsWindow* w) {
    auto* c = dynamic_cast<ChartWindow*>(w);
    return c != nullptr && c->UpdateReadout();
}
int32_t KeyDownCallback(GraphicsWindow* w, uint32_t key) {
    auto* c = dynamic_cast<ChartWindow*>(w);
    if (c == nullptr) return 0;
    // The toolkit's record of the key being handled holds its repeat count.
    const uint32_t repeat = (gKeyDownEvent.code & 0xFFFFu) == (key & 0xFFFFu) ? gKeyDownEvent.repeat : 0;
    return c->OnKeyDown(key, repeat);
}

}  // namespace

const GraphicsColour kChartWindowColours[8] = {
    {0x04000000, "Black"},  {0x047F7F7F, "White"},        {0x044F4F4F, "Grey"}, {0x04696969, "Light Grey"},
    {0x04604830, "Cobalt"}, {0x04114511, "Forest Green"}, {0x04006B7F, "Gold"}, {0x040F0B58, "Indian Red"},
};

double ChartKeptSpan(double span) {
    if (!(span > DBL_MIN) || std::fabs(span - 1.0) < DBL_EPSILON) return 1.0;
    return span;
}

double ChartCeil(double x) {
    const double r = std::round(x);
    if (std::fabs(x - r) <= 1e-9 * std::max(1.0, std::fabs(x))) return r;
    return std::ceil(x);
}

int32_t ChartVisibleCount(double samplesPerPixel, int32_t width) {
    const double v = ChartCeil(samplesPerPixel * static_cast<double>(width));
    if (!(v < 2147483646.0)) return 0x7FFFFFFF;
    return v < 0.0 ? 0 : static_cast<int32_t>(v);
}

ChartHostServices& TheChartHostServices() {
    static ChartHostServices services;
    return services;
}

ChartPanelHooks& TheChartPanelHooks() {
    static ChartPanelHooks hooks;
    return hooks;
}

OutputWindow* CreateChartWindow(DisplayCellBase* cell) { return new (std::nothrow) ChartWindow(cell); }

// ---- Life ------------------------------------------------------------------------------------

ChartWindow::ChartWindow(DisplayCellBase* host) : GraphicsWindow(host) {
    GraphicsColourList& list = ColourList();
    if (list.entries.size() < 8) {
        list.entries.reserve(list.entries.size() + 8);
        list.entries.assign(std::begin(kChartWindowColours), std::end(kChartWindowColours));
    }
    draw = &ChartDraw;
    refreshStatistics = &StatisticsCallback;
    updateReadout = &ReadoutCallback;
    keyDown = &KeyDownCallback;
    // A new frame of a pull: the statistics list and the x axis follow.
    dataReady = &StatisticsCallback;
    modeFlag = gDefaultModeFlag;
    ResetScales();
    LayoutPlot(kChartFirstWidth, kChartFirstHeight);
    saved[0] = offsetX;
    saved[1] = offsetY;
    saved[2] = windowWidth;
    saved[3] = windowHeight;
    ResetView(false);
}

ChartWindow::~ChartWindow() {
    if (ComponentUiUp()) ReleaseStrip(nullptr);
    ReleaseViewHandlers();
    GraphicsHost* h = Host();
    if (h != nullptr && h->sliderOwner == this) {
        h->sliderOwner = nullptr;
        if (h->sliders != nullptr) {
            h->sliders->horizontal.labelRoutine = h->sliders->vertical.labelRoutine = nullptr;
            h->sliders->horizontal.labelData = h->sliders->vertical.labelData = nullptr;
        }
        const ChartHostServices& s = TheChartHostServices();
        if (ComponentUiUp() && s.showScales != nullptr && cell != nullptr) s.showScales(cell, this, false);
    }
}

bool ChartWindow::CreateDevice(DeviceViewBase** out) {
    if (out == nullptr) return false;
    *out = new (std::nothrow) Chart1DDevice(this, cell);
    return *out != nullptr;
}

bool ChartWindow::CreateInstance(GraphicsWindow** out) {
    if (out == nullptr) return false;
    *out = new (std::nothrow) ChartWindow(nullptr);
    return *out != nullptr;
}

bool ChartWindow::QueryInterface(const ComponentId* id, void** out) {
    if (!SameComponentId(id, &kChartWindowId) && !SameComponentId(id, &kWindowDrawId) && !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = this;
    }
    return true;
}

Chart1DDevice* ChartWindow::Device() const { return dynamic_cast<Chart1DDevice*>(current); }

bool ChartWindow::IsHostsCurrent() const { return cell != nullptr && cell->currentWindow == this; }

SliderCtrl* ChartWindow::ActiveSlider() const {
    GraphicsHost* h = Host();
    if (h != nullptr && h->sliders != nullptr && h->sliderOwner == this && IsHostsCurrent()) return h->sliders;
    return const_cast<SliderCtrl*>(&slider);
}

void ChartWindow::ResetScales() {
    const uint8_t labelsX = slider.horizontal.labelMode == kScaleLabelsNone ? 0 : 1;
    slider.InstallLabelRoutines(&ChartXScaleRoutine, &ChartYScaleRoutine, this);
    if (labelsX == 0) slider.horizontal.labelMode = kScaleLabelsNone;
    GraphicsHost* h = Host();
    if (h != nullptr && h->sliders != nullptr && h->sliderOwner == this) {
        SliderCtrl* s = h->sliders;
        for (ScaleRecord* r : {&s->horizontal, &s->vertical}) {
            const int32_t mode = r->labelMode;
            SliderCtrl::ResetScale(r);
            r->labelMode = mode;
        }
        s->horizontal.labelRoutine = &ChartXScaleRoutine;
        s->vertical.labelRoutine = &ChartYScaleRoutine;
        s->horizontal.labelData = s->vertical.labelData = this;
    }
}

// ---- Graphics window operations -----------------------------------------------------------------

bool ChartWindow::ResetView(bool keep) {
    samples = viewSamples = 0;
    readout.noData = 1;
    scroll = 0;
    visible = 0;
    usedWidth = 0.0f;
    cursorIndex = 0;
    cursorPosition = 0.0;
    cursorPixel = 1.0;
    mouseY = 1.0;
    if (readX != kChartNoReadout || readY != kChartNoReadout) {
        readX = readY = kChartNoReadout;
        readouts[0] = readouts[1] = kChartNoReadout;
    }
    // The scales' records are the painters' too: they change on the user-interface
    // thread only.
    if (OnUiThread()) ResetScales();
    else scalesStale = 1;
    if (!keep) {
        zoomMode = 0;
        SetZoomRatio(1);
        pixelsPerSample = samplesPerPixel = 1.0;
        yMinimum = 0.0;
        ySpan = 1.0;
        yHalfSpan = 0.5;
        yInverseSpan = 1.0;
        intervalMinimum = 0.0;
        intervalMaximum = 1.0;
        intervalSpan = 1.0;
        intervalInverse = 1.0;
        cursorMarkShown = originMark = cursorMarkWanted = 0;
        RecomputeMapping();
        // The strip under the curves was the old data's.
        if (OnUiThread()) ReleaseStrip(nullptr);
    }
    PlaceSliders();
    return false;
}

bool ChartWindow::BuildToolPanel(int32_t pageId) {
    const ChartPanelHooks& h = TheChartPanelHooks();
    return h.build != nullptr && h.build(this, pageId);
}

void ChartWindow::RefreshToolPanel(uint32_t flags) {
    const ChartPanelHooks& h = TheChartPanelHooks();
    if (!OnUiThread()) return;
    if (h.refresh != nullptr) h.refresh(this, flags);
    // The zoom bar under the chart shows the x zoom and follows its items.
    if (flags == 0 || flags == kChartPanelZoomRange || flags == kChartPanelZoom) {
        const GraphicsHostServices& s = TheGraphicsHostServices();
        if (cell != nullptr && s.updateZoomBarPage != nullptr) s.updateZoomBarPage(cell, false);
    }
    pagesPending = 1;
}

void ChartWindow::AttachHost() {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    if (IsHostsCurrent() && h->sliders != nullptr) {
        h->sliderOwner = this;
        ResetScales();
        const ChartHostServices& s = TheChartHostServices();
        if (ComponentUiUp() && s.showScales != nullptr) {
            s.showScales(cell, this, true);
            h = Host();
            if (h == nullptr) return;
        }
        // Charts are drawn on a light background: the scales' labels and the curves'
        // contrast colours are read against it.
        if (ComponentUiUp() && OnUiThread() && gWinValidate(h->window) != nullptr) {
            colours = kChartBackground;
            gWinSetColors(h->window, colours);
            RepaintHosts();
        }
    }
    InstallViewHandlers();
    const int32_t width = std::max(h->width, kChartMinimumSide);
    const int32_t height = std::max(h->height, kChartMinimumSide);
    LayoutPlot(width, height);
    hostWidth = h->width;
    hostHeight = h->height;
    viewportX = h->width > 0 ? 2.0 * plotWidth / h->width : 1.0;
    viewportY = h->height > 0 ? static_cast<double>(h->height - plotHeight) / h->height : 0.0;
}

bool ChartWindow::SelectChannel(int32_t number) {
    Chart1DDevice* d = Device();
    return d != nullptr && d->SelectIndex(number);
}

void ChartWindow::Layout() { LayoutPlot(windowWidth, windowHeight); }

void ChartWindow::OnActivate() {
    if (!IsHostsCurrent()) return;
    Resize();
}

void ChartWindow::Resize() {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    hostWidth = h->width;
    hostHeight = h->height;
    LayoutPlot(h->width, h->height);
}

void ChartWindow::SetVisible(bool on) {
    if (on == (shown != 0)) return;
    shown = on ? 1 : 0;
    if (on) {
        offsetX = saved[0];
        offsetY = saved[1];
        LayoutPlot(saved[2], saved[3]);
    } else {
        saved[0] = offsetX;
        saved[1] = offsetY;
        saved[2] = windowWidth;
        saved[3] = windowHeight;
    }
}

void ChartWindow::SetModeFlag(uint8_t flag) {
    modeFlag = flag;
    gDefaultModeFlag = flag;
}

GraphicsColourList* ChartWindow::GetDefaults() { return &ColourList(); }

void ChartWindow::RepaintHosts() {
    ForEachDevice(this, [this](Chart1DDevice* d) { CurveStyleContrast(&d->style, colours); });
}

void ChartWindow::SetColours(uint32_t value) {
    if (value == colours) return;
    colours = value;
    RepaintHosts();
    GraphicsHost* h = Host();
    if (!ComponentUiUp() || h == nullptr || gWinValidate(h->window) == nullptr || !OnUiThread()) return;
    gWinSetColors(h->window, value);
    RepaintWindowNow(h->window, 7);
}

float ChartWindow::CursorThumbX() const {
    if (!(cursorPixel > -kScaleNoCursor && cursorPixel < kScaleNoCursor) || samples == 0) return kChartThumbHidden;
    return static_cast<float>(cursorPixel);
}

float ChartWindow::CursorThumbY() const {
    double y;
    if (slider.freeY != 0) {
        y = mouseY;
    } else {
        if (readY == kChartNoReadout || samples == 0) return kChartThumbHidden;
        y = static_cast<double>(plotHeight) - (readY - yMinimum) * pixelsPerUnit;
    }
    if (!(y > -kScaleNoCursor && y < kScaleNoCursor)) return kChartThumbHidden;
    return static_cast<float>(y);
}

bool ChartWindow::CursorOn() const {
    return samples > 0 && empty == 0 && cursorPixel >= 0.0 && cursorPixel <= plotWidth - 1.0;
}

void ChartWindow::PlaceSliders() {
    // The labels are rebuilt on the user-interface thread only: the scales' painters
    // read them.
    if (!OnUiThread()) {
        scalesStale = 1;
        return;
    }
    scalesStale = 0;
    SliderCtrl* s = ActiveSlider();
    GraphicsHost* h = Host();
    const bool host = s != &slider && h != nullptr;
    const float viewX = host && h->view != nullptr ? h->view->x : 0.0f;
    const float viewY = host && h->view != nullptr ? h->view->y : 0.0f;
    s->horizontal.base = 0.0;
    s->vertical.base = 0.0;
    s->ValueFromPosH(viewX + static_cast<float>(margins[0] + offsetX), CursorThumbX());
    s->ValueFromPosV(viewY + static_cast<float>(margins[1] + offsetY), CursorThumbY());
}

void ChartWindow::RecomputeScales() { PlaceSliders(); }

void ChartWindow::UpdateScales() {
    RecomputeCurveExtent();
    RecomputeMapping();
    RecomputeScales();
}

void ChartWindow::ResetZoomScroll() {
    xMode = kChartXIndex;
    xStart = 0.0;
    xStepKnown = 0;
    xStep = 1.0;
    slider.horizontal.labelMode = kScaleLabelsNone;
    SliderCtrl* s = ActiveSlider();
    s->horizontal.labelMode = kScaleLabelsNone;
    axes = GraphicsAxes{};
}

void ChartWindow::SetSliderStyle(bool on) {
    bool changed = SliderCtrl::SetFlags(&slider.horizontal, 0x2, on);
    changed = SliderCtrl::SetFlags(&slider.vertical, 0x2, on) || changed;
    GraphicsHost* h = Host();
    SliderCtrl* s = ActiveSlider();
    if (s != &slider) {
        changed = SliderCtrl::SetFlags(&s->horizontal, 0x2, on) || changed;
        changed = SliderCtrl::SetFlags(&s->vertical, 0x2, on) || changed;
    }
    if ((on || changed) && h != nullptr && gWinValidate(h->window) != nullptr && OnUiThread())
        RepaintWindowNow(h->window, 7);
}

// ---- The model -------------------------------------------------------------------------------------

void ChartWindow::RecomputeSamples() {
    int32_t longest = 0;
    uint32_t stack = 0;
    bool any = false;
    ForEachDevice(this, [&](Chart1DDevice* d) {
        if (!Shown(d)) return;
        if (d->secondFlag != 0) stack = 1;
        if (!d->HoldsSamples()) return;
        any = true;
        longest = std::max<int32_t>(longest, static_cast<int32_t>(std::min<uint32_t>(d->sampleCount, 0x7FFFFFFF)));
    });
    samples = viewSamples = longest;
    stacked = stack;
    empty = any ? 0 : 1;
}

void ChartWindow::FitX() {
    if (empty != 0) return;
    const double oldScroll = scroll, oldPixels = pixelsPerSample;
    pixelsPerSample = samples > 0 ? static_cast<double>(plotWidth) / samples : static_cast<double>(plotWidth);
    samplesPerPixel = 1.0 / pixelsPerSample;
    visible = VisibleCount(samplesPerPixel, plotWidth);
    scroll = 0;
    usedWidth = samples > 0 ? static_cast<float>(plotWidth) : 0.0f;
    ForEachDevice(this, [](Chart1DDevice* d) {
        if (Shown(d)) d->style.visibleCount = d->sampleCount;
    });
    cursorPixel = std::min(pixelsPerSample * cursorPosition + 1.0, kChartPixelLimit);
    if (oldScroll != scroll || oldPixels != pixelsPerSample) RefreshToolPanel(2);
}

void ChartWindow::ScrollX() {
    if (zoomMode == 0 || samples == 0) {
        FitX();
        return;
    }
    if (empty != 0) return;
    const int32_t v = visible;
    const int32_t first = scroll;
    ForEachDevice(this, [v, first](Chart1DDevice* d) {
        if (!Shown(d)) return;
        const int64_t remaining = std::max<int64_t>(0, static_cast<int64_t>(d->sampleCount) - first);
        d->style.visibleCount = static_cast<uint32_t>(std::min<int64_t>(remaining, v));
    });
    const int64_t shownSamples = std::min<int64_t>(static_cast<int64_t>(samples) - scroll, visible);
    if (shownSamples <= 0) {
        usedWidth = 0.0f;
    } else {
        const double w = std::ceil(static_cast<double>(shownSamples) * pixelsPerSample);
        usedWidth = static_cast<float>(std::min(w, static_cast<double>(plotWidth)));
    }
    cursorPixel = ClampPixel((cursorPosition - scroll) * pixelsPerSample + 1.0);
}

void ChartWindow::RecomputeCurveExtent() {
    if (zoomMode == 0 || samples == 0) FitX();
    else ScrollX();
}

void ChartWindow::SetZoomRatio(int32_t ratio) {
    uint32_t n = 1;
    bool reduce = false;
    if (ratio >= 2) {
        n = static_cast<uint32_t>(ratio);
    } else if (ratio <= -2) {
        n = static_cast<uint32_t>(-static_cast<int64_t>(ratio));
        reduce = true;
    }
    const uint64_t width = static_cast<uint64_t>(std::max(plotWidth, 1));
    if (static_cast<uint64_t>(n) * width > 0xFFFFFFFFull) n = static_cast<uint32_t>(std::max<uint64_t>(1, 0xFFFFFFFFull / width));
    if (!reduce && n > width) n = static_cast<uint32_t>(width);
    if (n == 0) n = 1;
    zoomFactor = n;
    zoomFlags = reduce ? kChartZoomReduce : 0;
    ratioPixelsPerSample = reduce ? 1.0 / n : static_cast<double>(n);
    ratioSamplesPerPixel = reduce ? static_cast<double>(n) : 1.0 / n;
    ratioVisible = VisibleCount(ratioSamplesPerPixel, plotWidth);
    signedFactor = reduce ? -static_cast<int32_t>(std::min<uint32_t>(n, 0x7FFFFFFF)) : static_cast<int32_t>(std::min<uint32_t>(n, 0x7FFFFFFF));
}

bool ChartWindow::ApplyZoomRatio() {
    const int32_t beforeScroll = scroll;
    const double beforePixels = pixelsPerSample;
    if (samples > 0 && ratioVisible < samples) {
        zoomMode = 1;
        const int64_t oldFirst = scroll, oldVisible = visible;
        int64_t anchor = cursorIndex;
        if (cursorIndex < oldFirst) anchor = oldFirst + oldVisible / 2;
        else if (cursorIndex >= oldFirst + oldVisible || cursorPixel > usedWidth) anchor = samples - 1;
        const int64_t n = ratioVisible;
        int64_t first = n < 3 ? anchor : anchor - (n / 2 - 1);
        first = std::clamp<int64_t>(first, 0, std::max<int64_t>(0, samples - n));
        scroll = static_cast<int32_t>(first);
        pixelsPerSample = ratioPixelsPerSample;
        samplesPerPixel = ratioSamplesPerPixel;
        visible = ratioVisible;
        ScrollX();
    } else {
        // The ratio shows every sample: the fit.
        zoomMode = 0;
        FitX();
    }
    return scroll != beforeScroll || pixelsPerSample != beforePixels;
}

bool ChartWindow::SetUserRange(double minimum, double maximum) {
    if (!(maximum > minimum)) maximum = minimum + 1.0;
    userMinimum = minimum;
    userMaximum = maximum;
    userSet = 1;
    const uint32_t before = rangeMode;
    rangeMode &= ~kChartRangeData;
    RecomputeRange();
    return rangeMode != before;
}

bool ChartWindow::SetUserMinimum(double minimum) {
    if (!(minimum < userMaximum)) minimum = userMaximum - 1.0;
    return SetUserRange(minimum, userMaximum);
}

bool ChartWindow::SetUserMaximum(double maximum) {
    if (!(maximum > userMinimum)) maximum = userMinimum + 1.0;
    return SetUserRange(userMinimum, maximum);
}

void ChartWindow::RecomputeRange() {
    double lo = yMinimum, half = ySpan * 0.5;
    if ((rangeMode & kChartRangeData) == 0) {
        lo = userMinimum;
        half = HalfSpan(userMinimum, userMaximum);
        if (!(half * 2.0 > DBL_MIN) || std::fabs(half * 2.0 - 1.0) < DBL_EPSILON) half = 0.5;
    } else if (Chart1DDevice* d = Device(); d == nullptr || !d->HoldsSamples()) {
        // Nothing to follow: the empty chart's range.
        lo = 0.0;
        half = 0.5;
    } else {
        double mn = 0.0, mx = 0.0;
        const ChartHostServices& s = TheChartHostServices();
        if ((rangeMode & kChartRangeInput) != 0 && (d->options & 0x100) == 0 && s.inputRange != nullptr &&
            d->pin.upstream != nullptr && s.inputRange(d->pin.upstream, &mn, &mx) && std::isfinite(mn) &&
            std::isfinite(mx)) {
            if (mx == mn) mn = mx - 1.0;
            lo = mn;
            half = HalfSpan(mn, mx);
            if (!(half * 2.0 > DBL_MIN) || std::fabs(half * 2.0 - 1.0) < DBL_EPSILON) half = 0.5;
        } else {
            lo = d->normalising.offset;
            half = d->normalising.half;
        }
    }
    yMinimum = lo;
    yHalfSpan = half > 0.0 ? half : 0.5;
    ySpan = yHalfSpan > DBL_MAX * 0.5 ? DBL_MAX : yHalfSpan * 2.0;
    yInverseSpan = 0.5 / yHalfSpan;
    RecomputeMapping();
    RecomputeInterval();
}

void ChartWindow::RecomputeMapping() {
    const double h = static_cast<double>(plotHeight);
    double ppu = h * 0.5 / yHalfSpan;
    Chart1DDevice* current = Device();
    const bool divide = stacked != 0 && current != nullptr && current->rows >= 2;
    if (divide) ppu /= current->rows;
    pixelsPerUnit = ppu;
    zeroPixel = static_cast<float>(ClampPixel(yOrigin - yMinimum * ppu));
    double largest = 0.0;
    const double chartMin = yMinimum, chartHalf = yHalfSpan;
    ForEachDevice(this, [&](Chart1DDevice* d) {
        if (!Shown(d)) return;
        const double devMin = d->normalising.offset, devHalf = d->normalising.half;
        d->yShift = devMin == chartMin ? 0.0 : ClampPixel(devMin * ppu - chartMin * ppu);
        if (devHalf == chartHalf && !divide) d->yScale = h;
        else d->yScale = std::min(devHalf * ppu * 2.0, DBL_MAX);
        if (!std::isfinite(d->yScale)) d->yScale = 0.0;
        largest = std::max(largest, std::fabs(d->yScale));
    });
    largestCurveHeight = largest == 0.0 ? 1.0 : largest;
}

void ChartWindow::RecomputeInterval() {
    int count = 0;
    double lo = DBL_MAX, hi = -DBL_MAX, half = 0.5;
    ForEachDevice(this, [&](Chart1DDevice* d) {
        if (!Shown(d) || !d->HoldsSamples()) return;
        ++count;
        const double dmin = d->normalising.offset;
        const double dmax = d->found.maximum;
        lo = std::min(lo, dmin);
        hi = std::max(hi, std::min(dmax, DBL_MAX));
        half = d->normalising.half;
    });
    if (count == 0) {
        intervalMinimum = 0.0;
        intervalMaximum = 1.0;
        intervalSpan = 1.0;
    } else {
        if (count > 1) half = HalfSpan(lo, hi);
        intervalMinimum = lo;
        intervalMaximum = hi;
        intervalSpan = half > DBL_MAX * 0.5 ? DBL_MAX : half * 2.0;
        if (!(intervalSpan > DBL_MIN) || std::fabs(intervalSpan - 1.0) < DBL_EPSILON) intervalSpan = 1.0;
    }
    intervalInverse = std::isfinite(intervalSpan) ? 1.0 / intervalSpan : 0.0;
}

void ChartWindow::RecomputeCurrentCurve() {
    Chart1DDevice* d = Device();
    currentRow = d != nullptr ? d->currentRow : 0;
    rowCount = d != nullptr ? d->rows : 0;
}

void ChartWindow::LayoutPlot(int32_t width, int32_t height) {
    windowWidth = width;
    windowHeight = height;
    const int64_t w = static_cast<int64_t>(width) - margins[0] - margins[2];
    const int64_t h = static_cast<int64_t>(height) - margins[1] - margins[3];
    if (w >= kChartMinimumSide && h >= kChartMinimumSide && w <= 0x7FFFFFFF && h <= 0x7FFFFFFF) {
        plotWidth = static_cast<int32_t>(w);
        plotHeight = static_cast<int32_t>(h);
        plotLeft = margins[0];
        plotTop = margins[1];
        plotRight = plotLeft + plotWidth;
        plotBottom = plotTop + plotHeight;
    }
    if (zoomMode != 0) {
        SetZoomRatio(signedFactor);
        visible = ratioVisible;
    }
    RecomputeMapping();
    RecomputeCurveExtent();
    RecomputeScales();
}

bool ChartWindow::ZoomYAboutCursor(double half) {
    if (!(half > 0.0) || !std::isfinite(half)) return false;
    const double y = readY;
    double below = half, above = half;
    const double top = yMinimum + yHalfSpan + yHalfSpan;  // infinite beyond DBL_MAX: still above y
    if (y != kChartNoReadout && std::isfinite(y) && y >= yMinimum && y <= top && ySpan > 0.0) {
        // In halves: a range wider than DBL_MAX has a finite half span.
        const double fraction = (y * 0.5 - yMinimum * 0.5) / yHalfSpan;
        below = fraction * 2.0 * half;
        above = (1.0 - fraction) * 2.0 * half;
    }
    const double centre = y != kChartNoReadout && std::isfinite(y) ? y : yMinimum + ySpan * 0.5;
    const double span = below + above;
    if (!std::isfinite(span) || !(std::fabs(span) >= 1e-307)) return false;
    if (centre - below < -DBL_MAX || centre + above > DBL_MAX || !std::isfinite(centre - below) ||
        !std::isfinite(centre + above))
        return false;
    userMinimum = centre - below;
    userMaximum = userMinimum + KeptSpan(span);
    userSet = 1;
    rangeMode &= ~kChartRangeData;
    yMinimum = userMinimum;
    ySpan = KeptSpan(span);
    yHalfSpan = ySpan * 0.5;
    yInverseSpan = 1.0 / ySpan;
    RecomputeMapping();
    // The panel's range fields are painted with the chart, so they change first.
    RefreshToolPanel(kChartPanelRangeLabel);
    RefreshToolPanel(kChartPanelZoomRange);
    RedrawNow();
    return true;
}

// ---- Readout ----------------------------------------------------------------------------------

bool ChartWindow::UpdateReadout() {
    Chart1DDevice* d = Device();
    // The channels are the curves' rows: the channel buttons choose the current one.
    const uint32_t rows = d != nullptr ? d->rows : 0, row = d != nullptr ? d->currentRow : 0;
    readout.channelsUnchanged =
        readout.channelTotal == rows && readout.firstChannel == 0 && readout.currentChannel == row ? 1 : 0;
    readout.channelTotal = rows;
    readout.firstChannel = 0;
    readout.currentChannel = row;
    readout.noData = d == nullptr || !d->HoldsSamples() ? 1 : 0;
    if (readout.noData != 0) {
        if (samples == 0) return false;
        readX = readY = kChartNoReadout;
        return true;
    }
    const double position = cursorPosition;
    if (position >= 0.0 && position < static_cast<double>(d->sampleCount)) {
        // The sample coordinate under the cursor (the half-sample offset taken off).
        double x = position - static_cast<double>(d->style.xStart);
        if (x < 0.0) x = 0.0;
        if (xStepKnown != 0) x *= xStep;
        x += xMode == kChartXValue ? xStart : static_cast<double>(static_cast<int32_t>(SaturateTrunc<int64_t>(xStart)));
        // Samples counted by their index are numbered from 1, as the image readouts number
        // pixels.
        if (xMode != kChartXValue && xStepKnown == 0) x += 1.0;
        if (frame.valid != 0 && std::isfinite(frame.readoutShift)) x += frame.readoutShift;
        double y = readY;
        if (slider.freeY != 0 && pixelsPerUnit != 0.0) y = (plotHeight - mouseY) / pixelsPerUnit + yMinimum;
        else if (!d->ValueAt(position, &y)) y = kChartNoReadout;
        const bool changed = outside != 0 || x != readX || y != readY;
        outside = 0;
        previousY = readY;
        readX = x;
        readY = y;
        readout.dataX = x;
        readout.dataY = y;
        // The current curve's value, then those of the next two rows at the cursor (as the
        // image readout gives the channels from the selected one; a missing row repeats the
        // last value).
        readout.values[0] = y;
        for (uint32_t k = 1; k < 3; ++k) {
            double v = 0.0;
            readout.values[k] = d->RowSample(row + k, cursorIndex, &v) ? v : readout.values[k - 1];
        }
        // With the cursor mark shown, or in a linked group, the readout gives the point of
        // the linked 2-D view under the cursor, and that view shows it.
        const ChartHostServices& s = TheChartHostServices();
        double px = 0.0, py = 0.0;
        if ((cursorMarkShown != 0 || linked != 0) && cell != nullptr && s.linkedPoint != nullptr &&
            s.linkedPoint(cell, position, &px, &py)) {
            readout.dataX = px;
            readout.dataY = py;
            if (s.showLinkedPoint != nullptr && OnUiThread()) s.showLinkedPoint(cell, px, py);
        }
        readout.outside = 0;
        readout.valuesUnchanged = changed ? 0 : 1;
        if (changed) ++readoutChanges;
        return changed;
    }
    if (outside != 0) return false;
    outside = 1;
    previousY = readY;
    readX = readY = kChartNoReadout;
    readouts[0] = readouts[1] = kChartNoReadout;
    readout.values[0] = readout.values[1] = readout.values[2] = kChartNoReadout;
    readout.outside = 1;
    ++readoutChanges;
    return true;
}

// ---- Statistics list ----------------------------------------------------------------------------

void ChartWindow::RefreshStatisticsList() {
    RefreshStatisticsListSteps();
    // Ranges near DBL_MAX are kept in halves; what their spans raise is not reported.
    if (std::fetestexcept(FE_INVALID | FE_OVERFLOW | FE_UNDERFLOW | FE_DIVBYZERO) != 0) std::feclearexcept(FE_ALL_EXCEPT);
}

void ChartWindow::RefreshStatisticsListSteps() {
    Chart1DDevice* d = Device();
    const ChartHostServices& s = TheChartHostServices();
    const GraphicsHostServices& hs = TheGraphicsHostServices();
    const void* statistic = d != nullptr ? d->result.statistic : nullptr;
    // A new frame is drawn at once where the host asks for it, with a frame list or without
    // (the host may open windows for it: the user-interface thread only).
    auto redraw = [this, &s] {
        if (cell != nullptr && OnUiThread() && s.redrawOnFrame != nullptr && s.redrawOnFrame(cell)) RedrawNow();
    };
    const uint32_t count = statistic != nullptr && s.frameCount != nullptr ? s.frameCount(statistic) : 0;
    ChartFrame f;
    bool have = false;
    if (count > 0 && s.frame != nullptr) {
        const int32_t wanted = d->cachedFrame < 0 ? 0 : d->cachedFrame;
        have = s.frame(statistic, std::min<uint32_t>(static_cast<uint32_t>(wanted), count - 1), &f) && f.valid != 0;
    }
    SliderCtrl* active = ActiveSlider();
    if (!have) {
        xMode = kChartXIndex;
        xStepKnown = 0;
        xStep = 1.0;
        xStart = 0.0;
        // Samples without a frame list (a 1-D file's spectrum) are numbered by their index.
        const int32_t labels = d != nullptr && d->HoldsSamples() ? kScaleLabelsShown : kScaleLabelsNone;
        slider.horizontal.labelMode = labels;
        active->horizontal.labelMode = labels;
        frame = ChartFrame{};
        RecomputeScales();
        if (cell != nullptr && hs.showRegionStatistics != nullptr && OnUiThread()) hs.showRegionStatistics(cell);
        ShowRowStatistics(statistic);
        redraw();
        return;
    }
    frame = f;
    slider.horizontal.labelMode = kScaleLabelsShown;
    active->horizontal.labelMode = kScaleLabelsShown;
    // Any start but 0 is shown: an axis that starts below 0 (a histogram of negative
    // values) is labelled from its start as well as one that starts above.
    if (std::isfinite(f.xStart) && f.xStart != 0.0) {
        xMode = kChartXValue;
        xStart = f.xStart;
    } else {
        xMode = kChartXIndex;
        xStart = 0.0;
    }
    if (!std::isfinite(f.xStep) || f.xStep == 0.0 || f.xStep == 1.0) {
        xStepKnown = 0;
        xStep = 1.0;
    } else {
        xStepKnown = 1;
        xStep = f.xStep;
    }
    RecomputeCurveExtent();
    RecomputeScales();
    if (!OnUiThread()) return;
    if (cell != nullptr && hs.showStatisticsList != nullptr)
        hs.showStatisticsList(cell, statistic, static_cast<uint32_t>(std::max(d->cachedFrame, 0)));
    ShowRowStatistics(statistic);
    HistogramChart* chart = cell != nullptr && s.histogram != nullptr ? s.histogram(cell) : nullptr;
    if (chart != nullptr) {
        int32_t kind = s.intervalKind != nullptr ? s.intervalKind(cell) : 700;
        if (kind == 0) kind = 700;
        if (kind == 701 || kind == 702) {
            chart->xFrom = f.intervalFrom;
            chart->xTo = f.intervalTo;
        } else {
            chart->xFrom = xMode == kChartXValue ? xStart : 0.0;
            chart->xTo = chart->xFrom + static_cast<double>(f.samples) * xStep;
        }
        chart->yFrom = intervalMinimum;
        chart->yTo = intervalMaximum;
        chart->Compile();
    }
    redraw();
}

void ChartWindow::ShowRowStatistics(const void* statistic) {
    Chart1DDevice* d = Device();
    const ChartHostServices& s = TheChartHostServices();
    if (d == nullptr || !d->HoldsSamples() || cell == nullptr || s.showRowStatistics == nullptr || !OnUiThread())
        return;
    RowStats stats;
    d->RowStatisticsCurrent(&stats);
    s.showRowStatistics(cell, statistic, stats);
}

bool ChartWindow::PollSource() {
    Chart1DDevice* d = Device();
    if (d == nullptr) return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    const int32_t code = d->Refresh();
    d->lastPullCode = code;
    if (code >= 3 && d->deliverHook != nullptr && d->deliverHook(d)) {
        RefreshStatisticsList();
        return true;
    }
    if (code < 2) GraphicsWindowAllIdleWalk(this, d);
    if (code == 2) allFrozen = 0;
    return code > 0;
}

// ---- Redraw --------------------------------------------------------------------------------------

void ChartWindow::RedrawNow() {
    if (!OnUiThread()) return;
    bool changed = false;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = UpdateReadout();
        RecomputeScales();
    }
    const ChartHostServices& s = TheChartHostServices();
    if (changed && cell != nullptr && s.redrawReadout != nullptr) s.redrawReadout(cell);
    GraphicsHost* h = Host();
    // The image strip under the curves follows the view, and so does the host's preview
    // of it; the preview's window shows it now, not at the next repaint of everything.
    if (h != nullptr) {
        TextureView* view = h->readoutPage != nullptr ? h->readoutPage->view : nullptr;
        {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            UpdateStrip(view);
        }
        if (view != nullptr && view->widget != nullptr && view->widget->shown != 0 && view->widget->window != h->window)
            RepaintWindowNow(view->widget->window, 7);
    }
    if (h == nullptr || gWinValidate(h->window) == nullptr) return;
    RepaintWindowNow(h->window, 7);
    if (pagesPending != 0) {
        pagesPending = 0;
        const ChartPanelHooks& p = TheChartPanelHooks();
        if (p.paint != nullptr) p.paint(this);
        const GraphicsHostServices& g = TheGraphicsHostServices();
        if (cell != nullptr && g.updateZoomBarPage != nullptr) g.updateZoomBarPage(cell, true);
    }
}

// ---- Cursor and y scroll -----------------------------------------------------------------------------

void ChartWindow::ScrollBy(int32_t steps, bool coarse, bool second) {
    Chart1DDevice* d = Device();
    if (d == nullptr || samples == 0) return;
    double step = 1.0;
    if (coarse) step = visible < 25 ? 8.0 : std::floor(visible / 3.0);
    else if (second) step = visible < 10 ? std::floor(visible / 2.0) : 10.0;
    step *= steps;
    const double offset = d->style.xStart;
    double position = std::ceil(cursorPosition + step) - offset;
    const double upper = std::max(static_cast<double>(scroll) + (plotWidth - 1.0) * samplesPerPixel,
                                  static_cast<double>(samples) - offset);
    position = std::clamp(position, offset, std::max(offset, upper));
    SetCursor(position, false);
}

void ChartWindow::ScrollStepY(int32_t steps, bool tenfold) { ScrollY(steps, false, tenfold); }

}  // namespace orva
