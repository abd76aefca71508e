#include "app/chart_device.h"

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <mutex>
#include <new>
#include <vector>

#include "app/chart_window.h"
#include "app/graphics_window.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "framework/display_lock.h"
#include "toolkit/list_control.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// Formats the device refuses: every element width but the 64-bit real, swapped data,
// and the bits 0x40000 and 0x200000.
constexpr uint32_t kRefusedFormatBits = 0x2400BF;
constexpr uint32_t kRealBit = 0x40;

bool UiUp() { return ComponentUiUp(); }

}  // namespace

// ---- Range and normalising --------------------------------------------------------------------

ChartRange ChartRowRange(const double* x, uint64_t n) {
    ChartRange r;
    if (ChartScanRow(x, n, &r) != RowScan::kFound) r = ChartRange{};
    return r;
}

ChartNormalising ChartNormalisingFor(const ChartRange& range) {
    ChartNormalising n;
    double lo = range.minimum, hi = range.maximum;
    if (lo == hi) lo = hi - 1.0;
    n.offset = lo;
    // Both bounds halved first: [-DBL_MAX, DBL_MAX] keeps a finite half span.
    const double half = hi * 0.5 - lo * 0.5;
    const double span = half > DBL_MAX * 0.5 ? DBL_MAX : half * 2.0;
    if (half >= DBL_MIN * 0.5 && std::fabs(span - 1.0) >= DBL_EPSILON) {
        n.half = half;
        n.span = span;
        n.scale = 0.5 / half;
    } else {
        n.half = 0.5;
        n.span = 1.0;
        n.scale = 1.0;
    }
    // The scale of a span beyond DBL_MAX is denormal: that is meant, not an error to report.
    ClearRaisedFlags();
    return n;
}

// ---- Life ----------------------------------------------------------------------------------------

Chart1DDevice::Chart1DDevice(ChartWindow* w, DisplayCellBase* host) : OutputDevice(host, host) {
    window = w;
    display = host;
    frameOffset = 0;
    deliverHook = &PostPull;
    AffineRecordInit(&affine);
    CurveStyleInit(&style);
}

Chart1DDevice::~Chart1DDevice() {
    if (params != nullptr) params->Release();
    params = nullptr;
    style.data.cachedFrame = nullptr;
    samplesFormat.Reset();
    samplesBuffer.Free();
    CurveStyleReleaseImage(&style);
}

const ComponentId* Chart1DDevice::GetClassId() const { return &kDevice1DId; }

bool Chart1DDevice::CreateInstance(OutputDevice** out) {
    if (out == nullptr) return false;
    *out = new (std::nothrow) Chart1DDevice(nullptr, nullptr);
    return *out != nullptr;
}

bool Chart1DDevice::QueryInterface(const ComponentId* id, void** out) {
    if (!SameComponentId(id, &kDevice1DId) && !SameComponentId(id, &kDeviceDrawId) && !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = this;
    }
    return true;
}

ChartWindow* Chart1DDevice::Chart() const { return dynamic_cast<ChartWindow*>(window); }

int64_t Chart1DDevice::SourceFrameCount() const { return LinkFrameCount(pin.upstream); }

// ---- The pin ---------------------------------------------------------------------------------------

bool Chart1DDevice::AcceptFormat(FormatRequest* request) {
    if (request == nullptr) return false;
    const uint32_t f = request->format;
    const uint32_t channels = request->channels;
    if ((f & kRealBit) == 0 || channels == 0 || (f & kRefusedFormatBits) != 0) return false;
    if (channels > 1 && (f & kFormatRowPerChannel) == 0) return false;
    cachedArea = 0;
    cachedFrame = cachedChannel = -1;
    DeviceDropFrame(this);
    ItemArrayFreeStrings(&input.items);
    ItemArrayTrimSpare(&input.items);
    DeviceFormatRequest r{f | kFormatCurveRequest, 8, channels, 1};
    DeviceFormatNormalize(&r);
    const bool same = input.elementClass != 0 && input.rowBytes != 0 && input.count == r.count && input.format == r.format;
    if (!same && !DeviceFormatSetup(&input, r.count, r.format)) {
        cachedArea = 0;
        return false;
    }
    // The samples held so far belong to the old format.
    ClearData();
    CurveStyleSetFormat(&style, r);
    return true;
}

// ---- Pull ------------------------------------------------------------------------------------------

int32_t Chart1DDevice::PendingOrNothing() {
    if (stop[kDevicePendingByte] != 0) return 0;
    cachedArea = 0;
    stop[kDevicePendingByte] = 1;
    return 1;
}

int32_t Chart1DDevice::Refresh() {
    const bool played = inChain && portList != nullptr && portList->player.count.load() >= 2;
    const int64_t wanted = played ? static_cast<int64_t>(portList->player.current.load()) + frameOffset : selectedIndex;
    const int32_t index =
        CurrentFrameIndex(FrameIndexState{wanted, frameOffset, frameLimit, frameLock}, SourceFrameCount());
    const FrameDataRecord* desc = index >= 0 ? QueryFrameDesc(this, index, channel) : nullptr;
    if (desc == nullptr) return PendingOrNothing();
    if (desc->section != cachedChannel) {
        changed = 1;
        cachedChannel = desc->section;
    }
    if (desc->frame != cachedFrame) {
        changed = 1;
        cachedFrame = desc->frame;
        ForgetFrame();
    }
    stop[kDevicePendingByte] = 0;
    if (changed == 0 && cachedArea != 0) return 2;
    cachedArea = 0;
    const int64_t width = desc->width <= 0 ? 0 : std::min<int64_t>(desc->width, kChartMaxSamples);
    requestedWidth = static_cast<int32_t>(width);
    frameRequest = ReadWindow{};
    frameRequest.frame = index;
    frameRequest.section = desc->section;
    frameRequest.x = 0;
    frameRequest.y = 0;
    frameRequest.width = requestedWidth;
    frameRequest.height = 1;
    const int32_t code = DeviceFetch(this, &frameRequest);
    if (code >= 2) {
        cachedArea = 1;
        changed = 0;
    } else {
        // Nothing came: what the device showed goes.
        pulled = nullptr;
        if (dataPresent != 0) {
            lastPullCode = code;
            ChartRefresh();
        }
    }
    return code;
}

// ---- The post-pull step --------------------------------------------------------------------------

bool ChartFrameLayoutOf(const TypedFrameBuffer& image, uint32_t channels, int32_t width, ChartFrameLayout* out) {
    if (out == nullptr) return false;
    *out = ChartFrameLayout{};
    if (!image.HoldsFrame() || image.data == nullptr) return false;
    uint32_t want = channels != 0 ? channels : 1;
    uint64_t samples = image.width;
    if (width > 0) samples = std::min<uint64_t>(samples, static_cast<uint64_t>(width));
    samples = std::min<uint64_t>(samples, kChartMaxSamples);
    const uint32_t item = image.itemBytes != 0 ? image.itemBytes : 8;
    const bool rowPerChannel = (static_cast<uint32_t>(image.elementType) & kFormatRowPerChannel) != 0;
    if (want > 1 && item == 8u * want && rowPerChannel) {
        // An item of all channels in a frame of one row per channel: channel c's samples
        // follow those of channel c - 1, each run as long as the frame is wide.
        out->sampleStride = 1;
        out->rowStride = image.width;
    } else if (want > 1 && item == 8u * want) {
        // The channels of a sample side by side.
        out->sampleStride = want;
        out->rowStride = 1;
    } else {
        // One row per channel, as many as came.
        out->sampleStride = item >= 8 ? item / 8 : 1;
        want = std::min<uint32_t>(want, std::max<uint32_t>(image.height, 1));
        out->rowStride = image.rowBytes >= 8 ? image.rowBytes / 8 : image.width * out->sampleStride;
    }
    out->samples = static_cast<const double*>(image.data);
    out->rows = want;
    out->sampleCount = static_cast<uint32_t>(samples);
    return out->rows != 0 && out->sampleCount != 0;
}

bool Chart1DDevice::TakePulledData() {
    const TypedFrameBuffer& image = result.image;
    ChartFrameLayout layout;
    ChartFrameLayoutOf(image, input.count, requestedWidth, &layout);
    pulled = layout.samples;
    rows = layout.rows;
    sampleCount = layout.sampleCount;
    if (pulled == nullptr) return false;
    rowStride = layout.rowStride;
    sampleStride = layout.sampleStride;
    // The marked intervals the producer handed along.
    marks.clear();
    for (uint32_t i = 0; i < image.items.count && image.items.items != nullptr; ++i)
        marks.push_back({image.items.items[i].value, image.items.items[i].size});
    return rows != 0 && sampleCount != 0;
}

const double* Chart1DDevice::Pulled() const {
    const TypedFrameBuffer& image = result.image;
    if (pulled == nullptr || !image.HoldsFrame() || image.data != static_cast<const void*>(pulled)) return nullptr;
    return pulled;
}

const double* Chart1DDevice::PulledRow(uint32_t row) const {
    const double* samples = Pulled();
    if (samples == nullptr || row >= rows) return nullptr;
    return samples + static_cast<uint64_t>(row) * rowStride;
}

void Chart1DDevice::ClearData() {
    style.data.cachedFrame = nullptr;
    style.data.sampleCount = 0;
    style.visibleCount = 0;
    samplesFormat.Reset();
    found = normalisingRange = ChartRange{};
    normalising = ChartNormalising{};
    marks.clear();
    pulled = nullptr;
    rows = sampleCount = 0;
    dataPresent = 0;
    stripFrame.image.DropFrame();
}

void Chart1DDevice::ForgetFrame() {
    frameFlags[0] = frameFlags[1] = 0;
    stripFrame.image.DropFrame();
}

bool Chart1DDevice::PostPull(DeviceViewBase* base) {
    auto* d = static_cast<Chart1DDevice*>(base);
    return d->ChartRefresh();
}

bool Chart1DDevice::ChartRefresh() {
    ChartWindow* chart = Chart();
    GraphicsHost* host = HostRecord();
    auto markDirty = [host] {
        if (host != nullptr && OnUiThread() && gWinValidate(host->window) != nullptr)
            host->window->dirty = kWindowDirtyRepaint;
    };
    if (lastPullCode < 2) {
        if (dataPresent == 0) return false;
        ClearData();
        markDirty();
        ChartRelayout();
        return false;
    }
    if (window != nullptr && (chart == nullptr || chart->locked == 0)) window->allFrozen = 0;
    const bool had = dataPresent != 0;
    bool ok = TakePulledData();
    if (ok) {
        // The range of all rows, then the normalised copy.
        std::vector<double> row;
        auto rowPointer = [&](uint32_t r) -> const double* {
            const double* p = PulledRow(r);
            if (sampleStride == 1 || p == nullptr) return p;
            row.resize(sampleCount);
            for (uint32_t i = 0; i < sampleCount; ++i) row[i] = p[static_cast<uint64_t>(i) * sampleStride];
            return row.data();
        };
        ChartRange all{DBL_MAX, -DBL_MAX};
        bool spoiled = false, any = false;
        for (uint32_t r = 0; r < rows && !spoiled; ++r) {
            ChartRange rr;
            const RowScan scan = ChartScanRow(rowPointer(r), sampleCount, &rr);
            if (scan == RowScan::kSpoiled) spoiled = true;
            if (scan != RowScan::kFound) continue;
            any = true;
            all.minimum = std::min(all.minimum, rr.minimum);
            all.maximum = std::max(all.maximum, rr.maximum);
        }
        if (spoiled || !any) all = ChartRange{};
        found = all;
        normalising = ChartNormalisingFor(all);
        normalisingRange = ChartRange{normalising.offset, all.maximum};
        const uint64_t values = static_cast<uint64_t>(rows) * sampleCount;
        ok = values <= kGlobalBufferMaxBytes / sizeof(double) && GlobalBufferFit(&samplesBuffer, values * sizeof(double));
        if (ok) {
            auto* out = static_cast<double*>(samplesBuffer.block);
            samplesBuffer.data = out;
            for (uint32_t r = 0; r < rows; ++r)
                ChartNormaliseSamples(rowPointer(r), sampleCount, normalising, out + static_cast<uint64_t>(r) * sampleCount);
            samplesFormat.format = kCurveDataFormat;
            samplesFormat.elementClass = 8;
            samplesFormat.count = rows;
            samplesFormat.sampleCount = sampleCount;
            samplesFormat.cachedFrame = out;
            style.data.cachedFrame = out;
            style.data.count = rows;
            style.data.sampleCount = sampleCount;
            style.rowStride = sampleCount;
            style.currentRow = std::min(currentRow, rows - 1);
            style.firstRow = rows <= 3 ? 0 : std::min(style.firstRow, rows - 3);
            dataPresent = 1;
        }
    }
    if (ok) {
        if (chart != nullptr) {
            chart->RecomputeSamples();
            chart->RecomputeCurveExtent();
            chart->RecomputeRange();
            if (chart->current == this) chart->RecomputeCurrentCurve();
            chart->RecomputeScales();
        }
        markDirty();
        if (chart != nullptr) {
            chart->Layout();
            // The panel's range fields follow the range the new data gave the chart.
            chart->RefreshToolPanel(0);
        }
        // A range beyond DBL_MAX keeps its half: the spans computed from it overflow by
        // design, which is not left for the caller to find.
        ClearRaisedFlags();
        return true;
    }
    if (had || dataPresent != 0) {
        ClearData();
        samplesBuffer.Free();
        if (chart != nullptr) chart->RecomputeSamples();
        markDirty();
        ChartRelayout();
    }
    return false;
}

void Chart1DDevice::ChartRelayout() {
    ChartWindow* chart = Chart();
    if (chart == nullptr) return;
    chart->RecomputeSamples();
    chart->RecomputeCurveExtent();
    if (chart->samples == 0) chart->ResetView(true);
    // Without samples a range that follows the data has none to follow.
    chart->RecomputeRange();
    GraphicsHost* host = HostRecord();
    if (IsCurrent() && host != nullptr && gWinValidate(host->window) != nullptr) {
        if (OnUiThread()) host->window->dirty = kWindowDirtyRepaint;
        if (HostIsActive() && host->statistics != nullptr && OnUiThread()) ListCtrl::ClearValuesIfSet(host->statistics);
        // The preview and the readouts showed the samples that went: they go with the list.
        const GraphicsHostServices& s = TheGraphicsHostServices();
        if (chart->samples == 0 && HostIsActive() && OnUiThread() && s.dataGone != nullptr) s.dataGone(Cell());
        if (chart->allFrozen != 0) {
            chart->scroll = 0;
            chart->zoomMode = 0;
            chart->xMode = kChartXIndex;
            chart->pixelsPerSample = chart->samplesPerPixel = 1.0;
        }
        GraphicsLensRefreshMarked(Cell());
    }
    chart->RefreshToolPanel(0);
}

// ---- Deliver ---------------------------------------------------------------------------------------

void Chart1DDevice::AfterDelivery() {
    DisplayCellBase* cell = Cell();
    if (cell == nullptr || !IsCurrent() || !HostIsActive()) return;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.updateCoordText != nullptr) s.updateCoordText(cell);
}

namespace {
void AfterDeliveryOnUi(void* device) {
    auto* d = static_cast<Chart1DDevice*>(device);
    GraphicsHost* host = d->HostRecord();
    if (host != nullptr && gWinValidate(host->window) != nullptr) host->window->dirty = kWindowDirtyRepaint;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    DisplayCellBase* cell = d->Cell();
    if (cell != nullptr && d->IsCurrent() && d->HostIsActive() && s.updateCoordText != nullptr) s.updateCoordText(cell);
}
}  // namespace

bool Chart1DDevice::Deliver() {
    if (!OnUiThread()) {
        AddRef();
        const bool delivered = DeviceDeliver(this);
        if (delivered) {
            GraphicsHost* host = HostRecord();
            // The display lock is free here: the user-interface thread may take it.
            CallOnUiThread(host != nullptr ? host->window : nullptr, &AfterDeliveryOnUi, this);
        }
        Release();
        return delivered;
    }
    const bool delivered = DeviceDeliver(this);
    if (delivered) {
        GraphicsHost* host = HostRecord();
        if (host != nullptr && gWinValidate(host->window) != nullptr) host->window->dirty = kWindowDirtyRepaint;
    }
    AfterDelivery();
    return delivered;
}

// ---- Events ----------------------------------------------------------------------------------------

void Chart1DDevice::CommonTail(int32_t level) {
    GraphicsHost* host = HostRecord();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    if (host != nullptr && host->shapes != nullptr) {
        if (shapes.notifyShapesOf != nullptr) shapes.notifyShapesOf(host->shapes, this, 0);
        if (shapes.refreshRotateFrame != nullptr) shapes.refreshRotateFrame(host->shapes);
    }
    Deliver();
    DisplayCellBase* cell = Cell();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (cell != nullptr && IsCurrent() && HostIsActive() && s.updateReadouts != nullptr && OnUiThread())
        s.updateReadouts(cell);
    MarkByLevel(level);
}

void Chart1DDevice::OnEvent(int32_t code, int32_t level) {
    DisplayCellBase* cell = Cell();
    GraphicsHost* host = HostRecord();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    switch (code) {
        case kDeviceEventAttach:
        case kDeviceEventAttachOther:
            TakeAttachEvent(code, level);
            return;
        case kDeviceEventRemoveShapes:
            RemoveShapes();
            return;
        case kDeviceEventRemoveShape:
            if (host != nullptr && host->shapes != nullptr && shapes.removeShape != nullptr)
                shapes.removeShape(host->shapes, this);
            return;
        case kDeviceEventNewData:
        case kDeviceEventNewFrame:
            changed = 1;
            ForgetFrame();
            Deliver();
            if (code == kDeviceEventNewFrame && IsCurrent() && HostIsActive() && cell != nullptr && OnUiThread()) {
                if (s.refreshTransportPage != nullptr) s.refreshTransportPage(cell);
                if (s.redrawFastSelectorFrame != nullptr) s.redrawFastSelectorFrame(cell);
            }
            if (cell != nullptr && IsCurrent() && HostIsActive() && s.updateReadouts != nullptr && OnUiThread())
                s.updateReadouts(cell);
            MarkByLevel(level);
            return;
        case kDeviceEventInvalidate:
            InvalidateArea();
            cachedArea = 0;
            changed = 1;
            CommonTail(level);
            return;
        case kDeviceEventGeometry:
            if (pin.upstream == nullptr) return;
            CommonTail(level);
            return;
        case kDeviceEventChanged:
            changed = 1;
            [[fallthrough]];
        case kDeviceEventArea:
            cachedArea = 0;
            [[fallthrough]];
        case kDeviceEventRedraw:
            if (cell != nullptr && s.onDataReady != nullptr) s.onDataReady(cell, level, this);
            return;
        case kDeviceEventPaint:
        case kDeviceEventDecal:
            if (level >= kDeviceLevelRepaint && host != nullptr && OnUiThread())
                RepaintWindowNow(gWinValidate(host->window), kDeviceLevelRepaint);
            return;
        case kDeviceEventSelectTab:
            if (level >= kDeviceLevelMark && IsCurrent() && HostIsActive() && s.refreshSelectTabPage != nullptr)
                s.refreshSelectTabPage(cell);
            return;
        default:
            // 6, 7, 8, 16, 17, 19, 21, 22 and unknown codes change nothing.
            return;
    }
}

void Chart1DDevice::RemoveShapes() {
    GraphicsHost* host = HostRecord();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    if (host != nullptr && host->shapes != nullptr && shapes.removeShapesOf != nullptr)
        shapes.removeShapesOf(host->shapes, this);
}

// ---- View ------------------------------------------------------------------------------------------

bool Chart1DDevice::ResetDeviceView(bool) {
    ChartParams* made = nullptr;
    if (!ChartParamsQuery(port, &kParams1DId, &made)) return false;
    if (params != nullptr) params->Release();
    params = made;
    visibleFlag = 1;
    secondFlag = 0;
    const uint32_t row = style.currentRow, first = style.firstRow;
    CurveStyleInit(&style);
    style.currentRow = row;
    style.firstRow = first;
    if (ChartWindow* chart = Chart()) CurveStyleContrast(&style, chart->colours);
    lineWidth = 1.0f;
    pointSize = 3.0f;
    selectedIndex = 0;
    return true;
}

void Chart1DDevice::ResetScale() {
    if (cachedArea != 0 && dataPresent != 0) return;
    ChartWindow* chart = Chart();
    if (chart == nullptr || chart->samples == 0) return;
    if (dataPresent != 0) {
        ClearData();
        ItemArrayFreeStrings(&input.items);
        ItemArrayTrimSpare(&input.items);
    }
    ChartRelayout();
}

// The samples the device holds were made from what the producer gave before the change (a
// measure on a moved or new shape, another interval rule): kept as they are, the poll would
// find its area cached and never ask for the new ones, and the released curve would stay
// away.
void Chart1DDevice::ResetStep2() {
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = 1;
        request.readAgain = 1;
    }
    ReleaseImage();
}

void Chart1DDevice::ReleaseImage() {
    if (!UiUp() || dataPresent == 0) return;
    CurveStyleReleaseImage(&style);
}

bool Chart1DDevice::SelectIndex(int32_t index) {
    if (!IsCurrent()) return false;
    const uint32_t count = style.data.count != 0 ? style.data.count : input.count;
    uint32_t n = index > 0 ? static_cast<uint32_t>(index) - 1 : 0;
    n = count == 0 ? 0 : std::min(n, count - 1);
    if (n == currentRow) return false;
    currentRow = chartRow = n;
    style.currentRow = n;
    ChartWindow* chart = Chart();
    if (chart != nullptr) chart->currentRow = n;
    if (!UiUp() || switchedOff != 0) return true;
    DisplayCellBase* cell = Cell();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (chart != nullptr) {
            chart->Layout();
            auto* now = chart->Device();
            if (now != nullptr && now->lastPullCode >= 2) {
                if (cell != nullptr && s.requestRedraw != nullptr) s.requestRedraw(cell, kDeviceLevelMark);
            } else if (now != nullptr && now->lastPullCode == 1) {
                if (cell != nullptr && s.pending != nullptr) s.pending(cell, now);
                now->lastPullCode = 0;
            }
        }
    }
    if (cell != nullptr && HostIsActive() && s.updateReadouts != nullptr && OnUiThread()) s.updateReadouts(cell);
    MarkByLevel(kDeviceLevelRepaint);
    return true;
}

int32_t Chart1DDevice::InvalidateArea() {
    cachedArea = 0;
    return 0;
}

bool Chart1DDevice::SetZoom2(double zoomX, double zoomY) {
    if (zoomX != 0.0 && zoomY != 0.0) return false;
    ChartWindow* chart = Chart();
    if (chart == nullptr) return false;
    chart->RecomputeSamples();
    chart->RecomputeCurveExtent();
    chart->RecomputeRange();
    chart->RecomputeScales();
    chart->Layout();
    chart->RefreshToolPanel(0);
    MarkByLevel(kDeviceLevelRepaint);
    return false;
}

bool Chart1DDevice::SetZoom(bool axisX, double zoom, bool) {
    ChartWindow* chart = Chart();
    if (chart == nullptr) return false;
    if (zoom == 0.0) {
        if (axisX) {
            chart->RecomputeSamples();
            chart->RecomputeCurveExtent();
        } else {
            chart->RecomputeRange();
        }
        chart->RecomputeScales();
        chart->Layout();
        chart->RefreshToolPanel(0);
        MarkByLevel(kDeviceLevelRepaint);
        return false;
    }
    // The zoom bar's "+" (-1.0) and "-" (-2.0): one x zoom step in or out, as Shift with
    // Gray+ and Gray- take it.
    if (zoom < 0.0 && axisX) return chart->StepZoomX(zoom == -1.0);
    // The y zoom about the cursor: -1.0 halves the span, any other negative value
    // doubles it, a positive factor divides it.
    const double span = chart->ySpan != 0.0 ? chart->ySpan : 1.0;
    if (zoom < 0.0) {
        if (zoom == -1.0) {
            if (chart->largestCurveHeight >= 4194305.0) return false;
            chart->ZoomYAboutCursor(0.25 * span);
        } else {
            if (chart->largestCurveHeight <= 1.0) return false;
            chart->ZoomYAboutCursor(span);
        }
    } else {
        chart->ZoomYAboutCursor(span / zoom * 0.5);
    }
    return false;
}

// ---- Curve settings --------------------------------------------------------------------------------

void Chart1DDevice::ToggleNearest() { SetNearest((style.flags & kCurveNearest) == 0); }

void Chart1DDevice::SetNearest(bool on) {
    if (orva::SetNearest(&style, on)) {
        if (ChartWindow* chart = Chart()) chart->RecomputeCurveExtent();
    }
}

bool Chart1DDevice::UpdateHidden() {
    const uint8_t hidden = (switchedOff != 0 || (style.flags & (kCurveContrast | kCurvePoints)) == 0) ? 1 : 0;
    if (stop[kDeviceHiddenByte] == hidden) return false;
    stop[kDeviceHiddenByte] = hidden;
    return true;
}

void Chart1DDevice::RowStatisticsCurrent(RowStats* result) const {
    if (result == nullptr) return;
    result->row = currentRow;
    const double* p = PulledRow(std::min(currentRow, rows == 0 ? 0 : rows - 1));
    const double range[2] = {found.minimum, found.maximum};
    const double* given = rows == 1 ? range : nullptr;
    if (p == nullptr) {
        RowStatistics(nullptr, 0, result, nullptr);
        return;
    }
    if (sampleStride == 1) {
        RowStatistics(p, sampleCount, result, given);
        return;
    }
    std::vector<double> row(sampleCount);
    for (uint32_t i = 0; i < sampleCount; ++i) row[i] = p[static_cast<uint64_t>(i) * sampleStride];
    RowStatistics(row.data(), sampleCount, result, given);
}

void Chart1DDevice::CurrentRowValues(std::vector<double>* out) const {
    if (out == nullptr) return;
    out->clear();
    const double* p = HoldsSamples() ? PulledRow(std::min(currentRow, rows - 1)) : nullptr;
    if (p == nullptr) return;
    out->reserve(sampleCount);
    for (uint32_t i = 0; i < sampleCount; ++i) {
        const double v = p[static_cast<uint64_t>(i) * sampleStride];
        if (std::isfinite(v) && v != -DBL_MAX && v != DBL_MAX) out->push_back(v);
    }
}

bool Chart1DDevice::RowSample(uint32_t row, int64_t index, double* value) const {
    const double* p = HoldsSamples() ? PulledRow(row) : nullptr;
    if (p == nullptr || value == nullptr || index < 0 || index >= static_cast<int64_t>(sampleCount)) return false;
    *value = p[static_cast<uint64_t>(index) * sampleStride];
    return true;
}

bool Chart1DDevice::ValueAt(double x, double* value) const {
    if (value == nullptr || dataPresent == 0 || style.lookup == nullptr || style.data.cachedFrame == nullptr) return false;
    CurveLookup look;
    style.lookup(&style, x, &look);
    const double n = look.current;
    if (n == -DBL_MAX) {
        *value = -DBL_MAX;
        return true;
    }
    // Back from [0, 1] to data units; the halves keep a span beyond DBL_MAX finite.
    *value = normalising.offset + n * normalising.half + n * normalising.half;
    return true;
}

}  // namespace orva
