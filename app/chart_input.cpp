// What the user does in a chart window with the keyboard and the mouse: the cursor,
// x scroll and the integral x zoom ratio, y scroll and y zoom, the range modes, scale
// and curve options, the six view memories, the wheel and panning by dragging. The
// same operations serve the chart's tool panel. UI thread only.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

#include "app/chart_device.h"
#include "app/chart_window.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "app/status_line.h"
#include "data/kernel_util.h"
#include "framework/display_lock.h"
#include "platform/msg_types.h"
#include "toolkit/input.h"
#include "toolkit/list_control.h"
#include "toolkit/scale.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using kernel::SaturateTrunc;

constexpr double kWheelNotch = 120.0;
// The view widget's style while a chart is shown in it (presses taken), the bit that
// leaves it inert to the mouse, and the drag bit that tracks the pointer without a press.
constexpr uint32_t kChartViewStyle = 0x30200800;
constexpr uint32_t kViewInert = 0x40000000;
constexpr uint32_t kTrackPointer = 0x10000;
// The y scale's two style bits that "M" steps through.
constexpr uint32_t kYStyleBits[2] = {kScaleMarker, kScaleMarkerInvert};

// The next power of two at or above n (n >= 1), at most 2^62.
int64_t NextPowerOfTwo(int64_t n) {
    int64_t p = 1;
    while (p < n && p < (int64_t{1} << 62)) p <<= 1;
    return p;
}

// The list's rows to the clipboard: name and value a line; false when nothing was copied.
bool CopyList(gElement* list) {
    ListCtrl* l = ListCtrl::FromWidget(list);
    return l != nullptr && OnUiThread() && ListCtrl::CopyToClipboard(l, 1, 0, true, false);
}

// A press on the host's view: the pan starts. A drag moves it.
void DragPressThunk(void* data) {
    if (auto* c = static_cast<ChartWindow*>(data)) c->PanPress();
}
void DragThunk(void* data, double dx, double dy, uint32_t keys) {
    if (auto* c = static_cast<ChartWindow*>(data)) c->PanDrag(dx, dy, keys);
}

// The charts shown in view widgets, for the widgets' wheel handler.
std::map<const gElement*, ChartWindow*>& ChartViews() {
    static std::map<const gElement*, ChartWindow*> views;
    return views;
}

// The wheel over the view: the buttons' key flags and Alt held now.
void ChartViewWheel(gElement* view, int delta, int buttons) {
    auto it = ChartViews().find(view);
    if (it == ChartViews().end()) return;
    ChartWindow* chart = it->second;
    const auto mk = static_cast<uint32_t>(buttons);
    uint32_t keys = chart->ModifiersNow() & kKeyAlt;
    if ((mk & platform::kMkShift) != 0) keys |= kKeyShift;
    if ((mk & platform::kMkControl) != 0) keys |= kKeyCtrl;
    chart->OnWheel(delta, keys);
}

// The pointer moving over the view (window coordinates): the cursor and the mouse
// height follow it.
void ChartViewPointerTracker(gElement* view, const platform::Point* point) {
    auto it = ChartViews().find(view);
    if (it == ChartViews().end() || point == nullptr) return;
    ChartWindow* chart = it->second;
    const float x = std::clamp(static_cast<float>(point->x) - view->x, 0.0f, std::max(view->width, 0.0f));
    const float y = std::clamp(static_cast<float>(point->y) - view->y, 0.0f, std::max(view->height, 0.0f));
    if (x == chart->pointerX && y == chart->pointerY) return;
    chart->SetPointer(x, y);
}

// A press on the view. Moves over the view reach the chart only once the toolkit's hover
// has taken the view up; a press that comes sooner (the pointer has just moved in, or the
// hover waits behind the input on a busy machine) puts the cursor at its own point, so
// that the keys after the click act where the user clicked, not at a point left from before.
bool ChartViewPress(gElement* view, uintptr_t) {
    ChartViewPointerTracker(view, &gCursorPos);
    return true;
}

}  // namespace

// ---- Small helpers ------------------------------------------------------------------------------

uint32_t ChartWindow::ModifiersNow() const {
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return s.modifiersNow != nullptr ? s.modifiersNow() : gKeyModifiersNow();
}

void FormatAspectRatio(double factor, double reciprocal, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const size_t n = std::min<size_t>(size, 18);
    const bool below = !(factor >= 1.0);
    const double v = below ? reciprocal : factor;
    const bool whole = std::isfinite(v) && v >= 0.0 && v <= 4294967295.0 && v == std::floor(v);
    if (whole) {
        const auto u = static_cast<unsigned>(v);
        if (below) std::snprintf(out, n, "1:%u", u);
        else std::snprintf(out, n, "%u:1", u);
    } else if (below) {
        std::snprintf(out, n, "1:%.2f", v);
    } else {
        std::snprintf(out, n, "%.2f:1", v);
    }
}

void ChartWindow::ZoomText(char* out, size_t size) const { FormatAspectRatio(pixelsPerSample, samplesPerPixel, out, size); }

// ---- X scroll and zoom --------------------------------------------------------------------------

bool ChartWindow::ScrollXTo(int64_t first, bool refresh) {
    int64_t top = static_cast<int64_t>(samples) - visible;
    if (samples == 0 || first < 0) first = 0;
    first = std::clamp<int64_t>(first, 0, std::clamp<int64_t>(top, 0, 0x7FFFFFFE));
    if (first == scroll) return false;
    scroll = static_cast<int32_t>(first);
    ScrollX();
    if (refresh) {
        RefreshToolPanel(kChartPanelZoom);
        RedrawNow();
    }
    return true;
}

void ChartWindow::ZoomXTo(int64_t count) {
    if (empty != 0 || samples == 0) return;
    count = std::min<int64_t>(count, static_cast<int64_t>(samples) - scroll);
    if (count < 0) count = 0;
    if (count == 0 || count >= samples) {
        // Every sample (or none asked for): the fit.
        zoomMode = 0;
        FitX();
        return;
    }
    zoomMode = 1;
    pixelsPerSample = static_cast<double>(plotWidth) / static_cast<double>(count);
    samplesPerPixel = 1.0 / pixelsPerSample;
    visible = ChartVisibleCount(samplesPerPixel, plotWidth);
    const int64_t top = std::max<int64_t>(0, static_cast<int64_t>(samples) - visible);
    if (scroll > top) scroll = static_cast<int32_t>(top);
    ScrollX();
}

int32_t ChartWindow::CurrentZoomStep() const {
    if (zoomMode != 0) return signedFactor;
    if (pixelsPerSample < 1.0) {
        const double n = ChartCeil(samplesPerPixel);
        int32_t r = n >= 2147483647.0 ? INT32_MIN + 1 : -static_cast<int32_t>(n);
        if (r > -3 && r < -1) r = -2;
        return r;
    }
    const double n = ChartCeil(pixelsPerSample);
    return n >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(n);
}

bool ChartWindow::StepZoomX(bool in) {
    if (empty != 0 || samples == 0) return false;
    const int64_t drawn = std::min<int64_t>(visible, static_cast<int64_t>(samples) - scroll);
    if (in ? drawn < 2 : samples <= drawn) return false;
    const int64_t before = CurrentZoomStep();
    const int64_t width = std::max(plotWidth, 1);
    int64_t r = before;
    if (in) {
        if (r <= -3) r = -(NextPowerOfTwo(-r) / 2);
        else if (r < 0) r = 1;
        else if (r >= width) return false;
        else if (r < 2) r = r + 1;
        else r = (r & ~int64_t{1}) + 2;
    } else {
        if (r < -1) r = -std::min<int64_t>(2 * NextPowerOfTwo(-r), 0x10000000);
        else if (r <= 1) r = -2;
        else if (r == 2) r = 1;
        else r = (r % 2 == 0) ? r - 2 : (r & ~int64_t{1});
        if (r < 0 && -r * width > samples) {
            const int64_t q = samples / width;
            r = -(q == 0 ? 1 : NextPowerOfTwo(q));
        }
        if (r > 0) r = std::min(r, std::max<int64_t>(width & ~int64_t{1}, 1));
    }
    r = std::clamp<int64_t>(r, INT32_MIN + 1, INT32_MAX);
    if (r == before) return false;
    SetZoomRatio(static_cast<int32_t>(r));
    ApplyZoomRatio();
    RefreshToolPanel(kChartPanelZoom);
    RedrawNow();
    return true;
}

// ---- The cursor -------------------------------------------------------------------------------------

void ChartWindow::SetCursor(double position, bool fine) {
    Chart1DDevice* d = Device();
    if (!(position >= 0.0) || samples == 0) return;
    position = std::min(position, 2147483647.0);
    const double offset = d != nullptr ? d->style.xStart : 0.0;
    const int64_t oldIndex = cursorIndex;
    int64_t index = position < 1.0 ? 0 : static_cast<int64_t>(std::ceil(position)) - 1;
    const int64_t lastPage = std::max<int64_t>(0, static_cast<int64_t>(samples) - visible);
    if (index >= samples) {
        // Beyond the data: the last sample, and the last full page.
        cursorPosition = static_cast<double>(samples) - offset;
        cursorIndex = samples - 1;
        if (zoomMode != 0 && slider.edgeLock == 0) scroll = static_cast<int32_t>(lastPage);
        ScrollX();
        RefreshToolPanel(kChartPanelZoom);
        RedrawNow();
        return;
    }
    cursorPosition = position;
    cursorIndex = static_cast<int32_t>(index);
    const bool inView = index >= scroll && index < static_cast<int64_t>(scroll) + visible;
    const double pixel = (position - scroll) * pixelsPerSample + 1.0;
    if (zoomMode == 0 || visible >= samples || (inView && pixel <= usedWidth) || slider.edgeLock != 0) {
        ScrollX();
        RedrawNow();
        return;
    }
    int64_t first = scroll;
    if (index < scroll) {
        first = fine ? index - visible / 2 : index;
    } else if (index >= samples - 1 || (fine && index + visible / 2 >= samples)) {
        first = lastPage;
    } else {
        first = static_cast<int64_t>(scroll) + std::max<int64_t>(1, index - oldIndex);
        first = std::max<int64_t>(first, index - visible + 1);
    }
    first = std::clamp<int64_t>(first, 0, lastPage);
    scroll = static_cast<int32_t>(first);
    ScrollX();
    RefreshToolPanel(kChartPanelZoom);
    RedrawNow();
}

void ChartWindow::PointerX(double x, bool invert) {
    const Chart1DDevice* d = Device();
    if (samples == 0 || empty != 0 || !std::isfinite(x)) return;
    const double offset = d != nullptr ? d->style.xStart : 0.0;
    bool snap = slider.freeX == 0;
    if (invert) snap = !snap;
    double position = (x - 1.0) * samplesPerPixel + scroll;
    if (snap) position = std::ceil(position) - offset;
    if (x > usedWidth && slider.edgeLock == 0) position = static_cast<double>(samples) - offset;
    position = std::clamp(position, 0.0, 2147483647.0);
    cursorPosition = position;
    cursorIndex = position < 1.0 ? 0 : SaturateTrunc<int32_t>(std::ceil(position) - 1.0);
    ScrollX();
    RedrawNow();
}

void ChartWindow::PointerY(double y) {
    if (!std::isfinite(y)) return;
    mouseY = std::clamp(y, 0.0, static_cast<double>(plotHeight));
    RedrawNow();
}

void ChartWindow::SetPointer(float x, float y) {
    pointerX = x;
    pointerY = y;
    PointerY(static_cast<double>(y) - plotTop);
    PointerX(static_cast<double>(x) - plotLeft, (ModifiersNow() & kKeyAlt) != 0);
}

void ChartWindow::MoveCursorByPixels(int64_t pixels, bool coarse) {
    if (samples == 0 || pixels == 0) return;
    double step = static_cast<double>(pixels) * samplesPerPixel;
    double position;
    if (!coarse) {
        if (pixels > 0 && step == 0.0) step = 1.0;
        position = std::max(cursorPosition + step, 0.5);
    } else {
        step = step < 0.0 ? std::floor(step) : std::ceil(step);
        if (step == 0.0) step = pixels > 0 ? 1.0 : -1.0;
        const Chart1DDevice* d = Device();
        const double offset = d != nullptr ? d->style.xStart : 0.0;
        position = std::max(cursorPosition + step, offset);
    }
    SetCursor(position, !coarse);
}

// ---- Y scroll and zoom -----------------------------------------------------------------------------

bool ChartWindow::ScrollY(int64_t steps, bool page, bool ten) {
    if (samples == 0 || plotHeight <= 0 || steps == 0) return false;
    // In halves: a range wider than DBL_MAX has a finite half span.
    const double half = ySpan != 0.0 ? yHalfSpan : 0.5;
    double step = page ? static_cast<double>(steps) * half : static_cast<double>(steps) * (half / plotHeight) * 2.0;
    if (!page && ten) step *= 10.0;
    const double minimum = yMinimum + step;
    if (!std::isfinite(step) || !std::isfinite(minimum) || minimum < -DBL_MAX || minimum > DBL_MAX) return false;
    userMinimum = minimum;
    userMaximum = std::min(minimum + half * 2.0, DBL_MAX);
    if (!(userMaximum > userMinimum)) userMaximum = minimum + ChartKeptSpan(half * 2.0);
    userSet = 1;
    const uint32_t before = rangeMode;
    rangeMode &= ~kChartRangeData;
    yMinimum = minimum;
    RecomputeMapping();
    if (rangeMode != before) RefreshToolPanel(kChartPanelRangeLabel);
    RefreshToolPanel(kChartPanelZoomRange);
    RedrawNow();
    return true;
}

bool ChartWindow::ZoomYKey(bool in, bool coarse) {
    Chart1DDevice* d = Device();
    if (d == nullptr || plotHeight <= 0) return false;
    if (in ? largestCurveHeight >= static_cast<double>(kChartMaxCurveHeight) : largestCurveHeight <= 1.0) return false;
    double height = ChartCeil(std::fabs(d->yScale));
    if (!(height >= 1.0)) height = 1.0;
    const int64_t h = static_cast<int64_t>(std::min(height, 9.0e15));
    const int64_t big = std::max<int64_t>(2, plotHeight / 2);
    int64_t next;
    if (in) {
        next = std::min<int64_t>((h | 1) + (coarse ? big : 2), kChartMaxCurveHeight);
    } else if (coarse) {
        next = h - big;
        if (next % 2 == 0) --next;
        next = std::max<int64_t>(next, 1);
    } else {
        next = h < 4 ? 1 : h - 2;
    }
    const double half = static_cast<double>(plotHeight) * d->normalising.half / static_cast<double>(next);
    return ZoomYAboutCursor(half);
}

// ---- Range modes and curve settings -------------------------------------------------------------

bool ChartWindow::SwitchDataRange() {
    const uint32_t before = rangeMode;
    Chart1DDevice* d = Device();
    if ((rangeMode & kChartRangeData) == 0) {
        if (d != nullptr && d->HoldsSamples()) SetUserRange(d->found.minimum, d->found.maximum);
    } else {
        rangeMode ^= kChartRangeInput;
        RecomputeRange();
    }
    RefreshToolPanel(kChartPanelRangeLabel);
    RefreshToolPanel(kChartPanelZoomRange);
    RedrawNow();
    return rangeMode != before;
}

uint32_t ChartWindow::SetLineWidth(uint32_t width) {
    width = std::clamp<uint32_t>(width, 1, 3);
    if (Chart1DDevice* d = Device(); d != nullptr && d->lineWidth != static_cast<float>(width)) {
        d->lineWidth = static_cast<float>(width);
        RedrawNow();
    }
    return width;
}

uint32_t ChartWindow::SetPointSize(uint32_t size) {
    size = std::clamp<uint32_t>(size, 1, 11);
    if (size % 2 == 0) ++size;
    if (Chart1DDevice* d = Device(); d != nullptr && d->pointSize != static_cast<float>(size)) {
        d->pointSize = static_cast<float>(size);
        RedrawNow();
    }
    return size;
}

bool ChartWindow::SetCurveFlag(uint32_t flag, bool on) {
    Chart1DDevice* d = Device();
    if (d == nullptr) return false;
    const uint32_t before = d->style.flags;
    if (on) d->style.flags |= flag;
    else d->style.flags &= ~(flag | kCurveStep | kCurveNearest);
    const bool hidden = d->UpdateHidden();
    if (d->style.flags == before && !hidden) return false;
    // A curve that comes or goes changes the longest curve and the range.
    RecomputeSamples();
    RecomputeRange();
    RecomputeCurveExtent();
    RefreshToolPanel(kChartPanelCurve);
    RefreshToolPanel(kChartPanelPoints);
    RedrawNow();
    return true;
}

bool ChartWindow::ToggleSmoothFlag(uint32_t flag) {
    Chart1DDevice* d = Device();
    if (d == nullptr) return false;
    if ((d->style.flags & flag) != 0) d->style.flags &= ~(flag | kCurveStep | kCurveNearest);
    else d->style.flags |= flag;
    RedrawNow();
    return true;
}

void ChartWindow::CycleCurveStyle() {
    Chart1DDevice* d = Device();
    if (d == nullptr) return;
    const uint32_t both = kCurveContrast | kCurvePoints;
    const uint32_t now = d->style.flags & both;
    uint32_t next = kCurveContrast;
    if (now == kCurveContrast) next = kCurvePoints;
    else if (now == kCurvePoints) next = both;
    d->style.flags = (d->style.flags & ~(both | 0x70u)) | next;
    if (d->UpdateHidden()) {
        RecomputeSamples();
        RecomputeRange();
        RecomputeCurveExtent();
    }
    RefreshToolPanel(kChartPanelCurve);
    RefreshToolPanel(kChartPanelPoints);
    RedrawNow();
}

void ChartWindow::ResetChart() {
    const ChartHostServices& s = TheChartHostServices();
    // The device goes to the frame the host's player shows.
    if (Chart1DDevice* d = Device();
        d != nullptr && d->inChain && d->portList != nullptr && d->portList->player.count.load() >= 2) {
        const int64_t frame = static_cast<int64_t>(d->portList->player.current.load()) + d->frameOffset;
        if (frame != d->selectedIndex) {
            d->selectedIndex = frame;
            d->changed = 1;
            d->frameFlags[0] = d->frameFlags[1] = 0;
        }
    }
    for (SliderCtrl* sl : {&slider, ActiveSlider()}) {
        sl->freeX = sl->freeY = sl->edgeLock = 0;
        sl->vertical.flags &= ~(kYStyleBits[0] | kYStyleBits[1]);
    }
    yScaleStyle = 0;
    if (GraphicsHost* h = Host(); h != nullptr && h->readoutPage != nullptr && h->readoutPage->view != nullptr)
        RenderToTextureView(h->readoutPage->view);
    zoomMode = 0;
    SetZoomRatio(1);
    rangeMode = (rangeMode & ~kChartRangeInput) | kChartRangeData;
    RecomputeRange();
    if (cell != nullptr && s.refreshGridCursorOptions != nullptr) s.refreshGridCursorOptions(cell);
    RecomputeMapping();
    RecomputeCurveExtent();
    // The panel's fields are painted with the chart: they take the reset range first.
    RefreshToolPanel(0);
    RedrawNow();
    // Every window shows the reset view at its next repaint.
    if (!OnUiThread()) return;
    for (gWindow* top = gWinList(); top != nullptr; top = top->next) {
        top->dirty = kWindowDirtyRepaint;
        for (gWindow* child = top->firstChild; child != nullptr; child = child->firstChild)
            child->dirty = kWindowDirtyRepaint;
    }
}

void ChartWindow::ResetX() {
    zoomMode = 0;
    SetZoomRatio(1);
    scroll = 0;
    FitX();
    RefreshToolPanel(kChartPanelZoom);
}

bool ChartWindow::ApplyRangeOnce(bool input) {
    const double minimum = yMinimum, span = ySpan;
    const uint32_t mode = rangeMode;
    rangeMode = kChartRangeData | (input ? kChartRangeInput : 0u) | (mode & ~(kChartRangeData | kChartRangeInput));
    RecomputeRange();
    const double lo = yMinimum, hi = std::min(yMinimum + ySpan, DBL_MAX);
    rangeMode = mode;
    SetUserRange(lo, hi);
    return yMinimum != minimum || ySpan != span;
}

// ---- Memories -----------------------------------------------------------------------------------------

ChartMemory& ChartWindow::Memory(int32_t index) {
    const int32_t i = std::clamp(index, 0, kChartMemories - 1);
    const Chart1DDevice* d = Device();
    if (d != nullptr && d->params != nullptr) return const_cast<ChartMemory&>(ChartParamsGetMemory(d->params, i));
    return memories[i];
}

void ChartWindow::StoreMemory(int32_t index) {
    ChartMemory& m = Memory(index);
    m.minimumY = yMinimum;
    m.maximumY = std::min(yMinimum + ySpan, DBL_MAX);
    m.first = scroll;
    m.end = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(scroll) + visible, INT32_MAX));
}

bool ChartWindow::RecallMemory(int32_t index) {
    const ChartMemory m = Memory(index);
    if (m.first >= m.end) {
        const ChartHostServices& s = TheChartHostServices();
        if (s.status != nullptr) s.status(1, -2, kStatusRedrawNow, kChartMemoryEmptyText);
        else PrintStatusLine(1, -2, kStatusRedrawNow, "%s", kChartMemoryEmptyText);
        return false;
    }
    if (SetUserRange(m.minimumY, m.maximumY)) RefreshToolPanel(kChartPanelRangeLabel);
    RecomputeMapping();
    if (samples > 0 && empty == 0) {
        scroll = std::clamp(m.first, 0, samples - 1);
        ZoomXTo(static_cast<int64_t>(m.end) - m.first);
    }
    RefreshToolPanel(0);
    RedrawNow();
    return true;
}

bool ChartWindow::ClearMemory(int32_t index) {
    ChartMemory& m = Memory(index);
    if (m.first >= m.end) return false;
    m.first = m.end = 0;
    return true;
}

ChartMemoryPress ChartWindow::PressMemory(int32_t index, uint32_t keys, int32_t pressCode) {
    if ((keys & kKeyShift) != 0) {
        StoreMemory(index);
        return ChartMemoryPress::kStored;
    }
    if ((keys & kKeyCtrl) != 0 || pressCode == 5 || pressCode == 6)
        return ClearMemory(index) ? ChartMemoryPress::kCleared : ChartMemoryPress::kNone;
    return RecallMemory(index) ? ChartMemoryPress::kRecalled : ChartMemoryPress::kEmpty;
}

// ---- Wheel and panning --------------------------------------------------------------------------------

void ChartWindow::OnWheel(int32_t delta, uint32_t keys) {
    const int32_t notches = static_cast<int32_t>(delta / kWheelNotch);
    const Chart1DDevice* d = Device();
    if (notches == 0 || samples == 0 || d == nullptr || !d->HoldsSamples() || plotHeight == 0) return;
    const bool ctrl = (keys & kKeyCtrl) != 0, shift = (keys & kKeyShift) != 0;
    if ((keys & kKeyAlt) == 0) ScrollY(notches, ctrl, shift);
    else ScrollBy(notches, ctrl, shift);
}

void ChartWindow::PanPress() {
    GraphicsHost* h = Host();
    double& accumulator = h != nullptr && h->readoutPage != nullptr ? h->readoutPage->dragAccumulator : panAccumulator;
    accumulator = scroll;
}

void ChartWindow::PanDrag(double dx, double dy, uint32_t keys) {
    if (samples == 0 || empty != 0) return;
    GraphicsHost* h = Host();
    GraphicsReadoutPage* page = h != nullptr ? h->readoutPage : nullptr;
    double& accumulator = page != nullptr ? page->dragAccumulator : panAccumulator;
    const double factorX = page != nullptr ? page->dragFactorX : panFactorX;
    const double factorY = page != nullptr ? page->dragFactorY : panFactorY;
    const bool ctrl = (keys & kKeyCtrl) != 0, alt = (keys & kKeyAlt) != 0;
    const bool both = ctrl && alt;
    bool changedY = false, changedX = false;
    if (dy != 0.0 && (!alt || both) && plotHeight > 0) {
        const double half = ySpan != 0.0 ? yHalfSpan : 0.5;
        const double step = -dy * (half * 2.0 / plotHeight) * factorY;
        const double minimum = yMinimum + step;
        if (std::isfinite(step) && std::isfinite(minimum) && minimum >= -DBL_MAX && minimum <= DBL_MAX) {
            userMinimum = minimum;
            userMaximum = std::min(minimum + half * 2.0, DBL_MAX);
            if (!(userMaximum > userMinimum)) userMaximum = minimum + ChartKeptSpan(half * 2.0);
            userSet = 1;
            const uint32_t before = rangeMode;
            rangeMode &= ~kChartRangeData;
            yMinimum = minimum;
            RecomputeMapping();
            if (before != rangeMode) RefreshToolPanel(kChartPanelRangeLabel);
            changedY = true;
        }
    }
    if (dx != 0.0 && (!ctrl || both)) {
        const double moved = accumulator + dx * factorX;
        const double last = static_cast<double>(samples) - visible;
        if (!std::isfinite(moved)) return;
        if (moved > last) {
            accumulator = last + 1.0;
            changedX = ScrollXTo(SaturateTrunc<int64_t>(last), false);
        } else if (moved < 1.0) {
            accumulator = 0.0;
            changedX = ScrollXTo(0, false);
        } else {
            accumulator = moved;
            changedX = ScrollXTo(SaturateTrunc<int64_t>(std::floor(moved)), false);
        }
        if (changedX) RefreshToolPanel(kChartPanelZoom);
    }
    if (changedX || changedY) {
        if (changedY) RefreshToolPanel(kChartPanelZoomRange);
        RedrawNow();
    }
}

// ---- Keys ---------------------------------------------------------------------------------------------

int32_t ChartWindow::OnKeyDown(uint32_t key, uint32_t repeat) {
    const uint32_t code = key & 0xFFFFu;
    if (code == 0) return 0;
    GraphicsHost* h = Host();
    void* c = h != nullptr ? h->shapes : nullptr;
    Chart1DDevice* d = Device();
    const ChartHostServices& cs = TheChartHostServices();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    const bool shift = (key & kKeyShift) != 0, ctrl = (key & kKeyCtrl) != 0, alt = (key & kKeyAlt) != 0;
    const bool plain = (key & kKeyModifiers) == 0;
    const int64_t times = static_cast<int64_t>(repeat) + 1;
    // The view keys need samples and a frame; without them they are used up quietly.
    const bool data = samples > 0 && d != nullptr && d->HoldsSamples();

    if ((key & kKeySpecialMask) != 0) {
        switch (key & kKeySpecialMask) {
            case KeyF(10):
                if (plain) {
                    ResetChart();
                    return 1;
                }
                if (ctrl && !shift && !alt) {
                    if (d != nullptr) d->OnEvent(kDeviceEventGeometry, kDeviceLevelRepaint);
                    RedrawNow();
                    return 1;
                }
                return 0;
            case KeyF(12):
                if (cell != nullptr && s.toggleToolObject != nullptr && s.toggleToolObject(cell)) return 1;
                if (h != nullptr) h->cellFlag = h->cellFlag != 0 ? 0 : 1;
                return kKeyToolFlagToggled;
            case kKeyTab:
                if (alt) return 0;
                if (ctrl) {
                    if (s.stepProjectItem != nullptr) s.stepProjectItem(shift);
                    return 1;
                }
                if (shift || c == nullptr || shapes.currentKind == nullptr || shapes.currentKind(c) < 0) return 0;
                if (shapes.selectAdjacent != nullptr) shapes.selectAdjacent(c, true);
                return 1;
            case kKeyPageUp:
            case kKeyPageDown:
                if (data) ScrollY((key & kKeySpecialMask) == kKeyPageUp ? -times : times, true, false);
                return 1;
            case kKeyUp:
            case kKeyDown: {
                if (alt || (shift && ctrl)) return 0;
                const int64_t sign = (key & kKeySpecialMask) == kKeyUp ? -1 : 1;
                if (data) ScrollY(sign * times, ctrl, shift);
                return 1;
            }
            case kKeyLeft:
            case kKeyRight: {
                const int64_t sign = (key & kKeySpecialMask) == kKeyLeft ? -1 : 1;
                if (!data) return 1;
                if (shift) {
                    int64_t step = ctrl ? (visible < 3 ? 1 : visible / 2) : (visible < 6 ? 2 : visible / 3);
                    step *= times;
                    ScrollXTo(static_cast<int64_t>(scroll) + sign * step, true);
                    return 1;
                }
                if (pixelsPerSample >= 1.0 && !alt) {
                    ScrollBy(static_cast<int32_t>(std::clamp<int64_t>(sign * times, INT32_MIN, INT32_MAX)), ctrl, false);
                    return 1;
                }
                const int64_t pixels = ctrl ? (plotWidth <= 24 ? 8 : plotWidth / 3) : 1;
                MoveCursorByPixels(sign * times * pixels, ctrl);
                return 1;
            }
            case kKeyDelete:
                if (ctrl || alt) return 0;
                if (c != nullptr) {
                    if (shift && shapes.removeShapesOf != nullptr)
                        shapes.removeShapesOf(c, d != nullptr ? d->pin.upstream : nullptr);
                    else if (!shift && shapes.removeShape != nullptr)
                        shapes.removeShape(c, nullptr);
                }
                return 1;
            case kKeyInsert:
                if (!ctrl || shift || alt) return 0;
                return h != nullptr && h->statistics != nullptr && CopyList(h->statistics) ? 1 : 0;
            case kKeyPadAdd:
            case kKeyPadSubtract: {
                if (alt) return 0;
                const bool in = (key & kKeySpecialMask) == kKeyPadAdd;
                if (!data) return 1;
                if (shift) StepZoomX(in);
                else ZoomYKey(in, ctrl);
                return 1;
            }
            default:
                return 0;
        }
    }

    const uint32_t ch = key & kKeyPrintableMask;
    if (ch == '1' || ch == '2') {
        if (shift) return 0;
        const int32_t action = alt ? 2 : ctrl ? 1 : 0;
        if (ctrl && alt) return 0;
        PollSource();
        if (cell != nullptr && cs.reduction != nullptr && cs.reduction(cell, action, ch == '2')) {
            RecomputeRange();
            RecomputeCurveExtent();
        }
        RedrawNow();
        return 1;
    }
    switch (ch) {
        case 'C':
            if (!ctrl || shift || alt || !data) return 0;
            if (h != nullptr && h->statistics != nullptr && gFocusWidget == h->statistics)
                return CopyList(h->statistics) ? 1 : 0;
            return c != nullptr && shapes.copyShape != nullptr && shapes.copyShape(c) ? 1 : 0;
        case 'W':
            if (ctrl == alt || shift) return 0;
            if (s.hasProjects == nullptr || !s.hasProjects()) return 1;
            if (ctrl) {
                if (s.closeCurrentItem != nullptr) s.closeCurrentItem();
            } else if (s.closeData != nullptr) {
                s.closeData();
            }
            return 1;
        case 'I':
            return plain ? 1 : 0;
        case 'M': {
            if (!plain) return 0;
            yScaleStyle = static_cast<uint8_t>((yScaleStyle + 1) % 3);
            for (SliderCtrl* sl : {&slider, ActiveSlider()}) {
                sl->vertical.flags &= ~(kYStyleBits[0] | kYStyleBits[1]);
                if (yScaleStyle != 0) sl->vertical.flags |= kYStyleBits[yScaleStyle - 1];
            }
            RecomputeScales();
            RedrawNow();
            return 1;
        }
        case 'B':
        case 'D':
        case 'E':
        case 'F':
        case 'G':
        case 'O':
        case 'Q':
        case 'S':
            if (!plain) return 0;
            if (!data) return 1;
            break;
        default:
            return 0;
    }
    switch (ch) {
        case 'B': {
            const bool want = linked == 0;
            linked = want ? 1 : 0;
            if (cell != nullptr && cs.setLinked != nullptr) cs.setLinked(cell, this, want);
            RefreshToolPanel(kChartPanelBind);
            return 1;
        }
        case 'D': {
            SliderCtrl* active = ActiveSlider();
            if (slider.freeX != 0 || active->freeX != 0) return 1;
            const int32_t mode =
                active->horizontal.labelMode == kScaleLabelsShown ? kScaleLabelsNone : kScaleLabelsShown;
            slider.horizontal.labelMode = active->horizontal.labelMode = mode;
            RecomputeScales();
            if (cell != nullptr && cs.redrawReadout != nullptr) cs.redrawReadout(cell);
            RedrawNow();
            return 1;
        }
        case 'E':
            CycleCurveStyle();
            return 1;
        case 'F': {
            const uint8_t on = slider.freeY != 0 ? 0 : 1;
            for (SliderCtrl* sl : {&slider, ActiveSlider()}) {
                sl->freeY = on;
                sl->vertical.labelMode = kScaleLabelsShown;
            }
            RedrawNow();
            if (cell != nullptr && cs.refreshGridCursorOptions != nullptr) cs.refreshGridCursorOptions(cell);
            return 1;
        }
        case 'G':
            originMark = originMark != 0 ? 0 : 1;
            RedrawNow();
            return 1;
        case 'O':
            cursorMarkShown = cursorMarkShown != 0 ? 0 : 1;
            if (linked != 0) cursorMarkWanted = cursorMarkShown;
            RedrawNow();
            return 1;
        case 'Q':
            d->ToggleNearest();
            UpdateReadout();
            RedrawNow();
            return 1;
        case 'S':
            SwitchDataRange();
            return 1;
        default:
            return 0;
    }
}

// ---- The host's view ------------------------------------------------------------------------------------

void ChartWindow::InstallViewHandlers() {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    if (h->view != nullptr) {
        h->view->onWheel = &ChartViewWheel;
        h->view->onPress = &ChartViewPress;
        h->view->style = (h->view->style | kChartViewStyle) & ~kViewInert;
        gWgtSetTag(h->view, &ChartViewPointerTracker);
        h->view->dragFlags |= kTrackPointer;
        ChartViews()[h->view] = this;
        boundView = h->view;
    }
    if (h->readoutPage != nullptr) {
        h->readoutPage->dragPress = &DragPressThunk;
        h->readoutPage->drag = &DragThunk;
        h->readoutPage->dragData = this;
    }
}

void ChartWindow::ReleaseViewHandlers() {
    auto& views = ChartViews();
    for (auto it = views.begin(); it != views.end();) {
        if (it->second == this) it = views.erase(it);
        else ++it;
    }
    GraphicsHost* h = Host();
    if (h != nullptr && h->readoutPage != nullptr && h->readoutPage->dragData == this) {
        h->readoutPage->dragPress = nullptr;
        h->readoutPage->drag = nullptr;
        h->readoutPage->dragData = nullptr;
    }
    if (h != nullptr && h->view != nullptr && h->view == boundView) {
        if (h->view->onWheel == &ChartViewWheel) h->view->onWheel = nullptr;
        if (h->view->onPress == &ChartViewPress) h->view->onPress = nullptr;
        if (h->view->onDrag == &ChartViewPointerTracker) {
            gWgtSetTag(h->view, nullptr);
            h->view->dragFlags &= ~kTrackPointer;
        }
    }
    boundView = nullptr;
}

}  // namespace orva
