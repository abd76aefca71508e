#include "app/image_device.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "app/graphics_window.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "app/wait_cursor.h"
#include "data/kernel_util.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "toolkit/small_controls.h"
#include "toolkit/window.h"

namespace orva {

namespace {

std::atomic<uint64_t> gOffThreadGl{0};

// False (and counted) off the user-interface thread: the caller skips its GL calls.
bool GlAllowed() {
    if (OnUiThread()) return true;
    gOffThreadGl.fetch_add(1, std::memory_order_relaxed);
    return false;
}

using kernel::SaturateTrunc;

// A frame size as the view takes it: unknown (the largest value) counts as none.
int64_t KnownSize(int64_t n) { return n <= 0 || n >= INT64_MAX ? 0 : n; }

// The part of one axis of the scaled frame that the host shows, in frame pixels.
struct Span {
    int64_t left = 0;
    int64_t width = 0;
};

Span VisibleSpan(double origin, int32_t scaled, int32_t host, bool zoomed, double zoom, double inverse,
                 int64_t frameSize) {
    const double m = zoomed && zoom > 1.0 ? 2.0 * std::ceil(zoom) : 0.0;
    double left, width;
    if (origin < 0.0) {
        left = std::fmax(0.0, -(m + origin));
        width = scaled > host ? std::fmin(static_cast<double>(host) + m, static_cast<double>(scaled) + origin)
                              : static_cast<double>(scaled) - left;
    } else {
        left = 0.0;
        width = std::fmin(m - origin + static_cast<double>(host), static_cast<double>(scaled));
    }
    if (zoomed) {
        const double right = std::ceil((left + width) * inverse);
        left = std::trunc(left * inverse);
        width = std::fmin(right - left, 2147483647.0);
    }
    Span s{SaturateTrunc<int64_t>(left), SaturateTrunc<int64_t>(width)};
    if (frameSize > 0) {
        if (s.left >= frameSize) s.left = frameSize - 1;
        if (s.width > frameSize - s.left) s.width = frameSize - s.left;
    }
    if (s.width < 0) s.width = 0;
    return s;
}

// Widens a span by the guard band on both sides, within the frame.
void Widen(Span* s, int64_t band, int64_t frameSize) {
    const int64_t left = std::max<int64_t>(0, s->left - band);
    int64_t width = s->width + (s->left - left) + band;
    if (width > kMaxAreaSide) width = kMaxAreaSide;
    if (frameSize > 0 && width > frameSize - left) width = frameSize - left;
    s->left = left;
    s->width = std::max<int64_t>(0, width);
}

bool Inside(const DeviceArea& a, const DeviceArea& outer) {
    return a.x >= outer.x && a.y >= outer.y && a.x + a.width <= outer.x + outer.width &&
           a.y + a.height <= outer.y + outer.height;
}

void InvertingBlend() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
}

void OriginMark() {
    SelectionOutline::Draw(10.0f);
    glBegin(GL_LINES);
    glVertex2f(0.0f, -13.0f);
    glVertex2f(0.0f, -2.0f);
    glVertex2f(0.0f, 1.0f);
    glVertex2f(0.0f, 12.0f);
    glVertex2f(-12.0f, 0.0f);
    glVertex2f(-1.0f, 0.0f);
    glVertex2f(2.0f, 0.0f);
    glVertex2f(13.0f, 0.0f);
    glEnd();
}

}  // namespace

uint64_t OffUiThreadGlCalls() { return gOffThreadGl.load(); }

// ---- Life ------------------------------------------------------------------------------------

Image2DDevice::Image2DDevice(GraphicsWindow* w, DisplayCellBase* host) : OutputDevice(host, host) {
    window = w;
    display = host;
    // The base's second word starts at -1; this device counts its frames from 0.
    frameOffset = 0;
    deliverHook = &PostPull;
    AffineRecordInit(&affine[0]);
    AffineRecordInit(&affine[1]);
}

Image2DDevice::~Image2DDevice() {
    if (HasTexture() && OnUiThread()) {
        GraphicsHost* host = HostRecord();
        gWindow* w = host != nullptr ? gWinValidate(host->window) : nullptr;
        // Without the window's context the names cannot be deleted; they go with it.
        if (w != nullptr && gWinMakeCurrent(w)) texture.FreeTiles();
    }
    rgb.Free();
}

const ComponentId* Image2DDevice::GetClassId() const { return &kDevice2DId; }

bool Image2DDevice::CreateInstance(OutputDevice** out) {
    if (out == nullptr) return false;
    *out = new (std::nothrow) Image2DDevice(nullptr, nullptr);
    return *out != nullptr;
}

bool Image2DDevice::QueryInterface(const ComponentId* id, void** out) {
    if (!SameComponentId(id, &kDevice2DId) && !SameComponentId(id, &kDeviceDrawId) && !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = this;
    }
    return true;
}

bool Image2DDevice::HostHasWorkspace() const {
    DisplayCellBase* cell = Cell();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return cell != nullptr && s.hasWorkspace != nullptr && s.hasWorkspace(cell);
}

int64_t Image2DDevice::SourceFrameCount() const { return LinkFrameCount(pin.upstream); }

// ---- The pin ---------------------------------------------------------------------------------

bool Image2DDevice::AcceptFormat(FormatRequest* request) {
    if (request == nullptr) return false;
    const uint32_t f = request->format;
    if ((f & 0x01) == 0 || (f & 0x100) == 0 || (f & 0x240000) != 0) return false;
    if (request->channels != 3 && request->channels != 4) return false;
    auto clearPullState = [this] {
        result.pending = 0;
        DeviceDropFrame(this);
        cachedArea = 0;
        cachedFrame = cachedChannel = -1;
        cachedWidth = -1;
        pulledFrame = pulledChannel = -1;
        area = lastArea = DeviceArea{};
        lastPullCode = 0;
        packed = 0;
    };
    clearPullState();
    ItemArrayFreeStrings(&input.items);
    ItemArrayTrimSpare(&input.items);
    DeviceFormatRequest r{f & 0x400103u, request->element, request->channels, 1};
    DeviceFormatNormalize(&r);
    if (input.elementClass != 0 && input.rowBytes != 0 && input.count == r.count && input.format == r.format)
        return true;
    // A format the device cannot set up is refused: accepting it would show nothing
    // while reporting success.
    if (!DeviceFormatSetup(&input, r.count, r.format)) {
        clearPullState();
        return false;
    }
    return true;
}

// ---- Pull ------------------------------------------------------------------------------------

int32_t Image2DDevice::PendingOrNothing() {
    if (stop[kDevicePendingByte] != 0 && window != nullptr && window->allFrozen != 0) return 0;
    stop[kDevicePendingByte] = 1;
    return 1;
}

bool Image2DDevice::PlayedByList() const {
    return inChain && portList != nullptr && portList->player.count.load() >= 2;
}

int64_t Image2DDevice::WantedIndex() const {
    // The cursor counts frames from 0, as the index less the frame offset does.
    if (PlayedByList()) return static_cast<int64_t>(portList->player.current.load()) + frameOffset;
    return selectedIndex;
}

bool Image2DDevice::RefreshGeometry() {
    const int32_t index =
        CurrentFrameIndex(FrameIndexState{WantedIndex(), frameOffset, frameLimit, frameLock}, SourceFrameCount());
    const FrameDataRecord* desc = index >= 0 ? QueryFrameDesc(this, index, channel) : nullptr;
    if (desc == nullptr) {
        view.subX = view.subY = 0;
        ViewRecompute(&view);
        area = DeviceArea{};
        return false;
    }
    ApplyFrameOffsets(&view, KnownSize(desc->width), KnownSize(desc->height), 0, 0);
    return true;
}

// The view record is the user-interface thread's: it scrolls and zooms it, and reads it
// without the display lock (the shapes' pick pass, the readouts). A pull on another
// thread (the playback timer's frame step) places the frame by the record as the UI
// thread last published it under the lock, and leaves the record alone; the UI thread's
// own pull of the same frame, before it is drawn, brings the record up to date.
int32_t Image2DDevice::Refresh() {
    DisplayLockGuard hold;
    if (!OnUiThread()) {
        ImageViewRecord placed = published_;
        return Pull(placed);
    }
    const int32_t code = Pull(view);
    published_ = view;
    return code;
}

int32_t Image2DDevice::Pull(ImageViewRecord& v) {
    GraphicsHost* host = HostRecord();
    const int32_t index =
        CurrentFrameIndex(FrameIndexState{WantedIndex(), frameOffset, frameLimit, frameLock}, SourceFrameCount());
    const FrameDataRecord* desc = index >= 0 ? QueryFrameDesc(this, index, channel) : nullptr;
    if (desc == nullptr) {
        v.subX = v.subY = 0;
        ViewRecompute(&v);
        cachedArea = 0;
        return PendingOrNothing();
    }
    // The description: size and offsets; a new channel or width marks a change, a new
    // frame clears the per-frame flags.
    const int64_t width = KnownSize(desc->width), height = KnownSize(desc->height);
    ApplyFrameOffsets(&v, width, height, 0, 0);
    // The fit of a new frame, before anything of it was shown, follows the view's size.
    if (fitPending != 0 && host != nullptr && (host->width != fitWidth || host->height != fitHeight) &&
        OnUiThread() && FitToHost(true)) {
        ViewRecompute(&v);
        if (GraphicsWindow* gw = Window()) {
            DisplayCellBase* cell = Cell();
            if (cell != nullptr && cell->currentWindow == gw) gw->UpdateScales();
        }
    }
    if (desc->section != cachedChannel || width != cachedWidth) changed = 1;
    if (desc->frame != cachedFrame) frameFlags[0] = frameFlags[1] = 0;
    cachedFrame = desc->frame;
    cachedChannel = desc->section;
    cachedWidth = width;

    // Placement in the host.
    const int32_t hostWidth = host != nullptr ? host->width : 0;
    const int32_t hostHeight = host != nullptr ? host->height : 0;
    const double ox = (host != nullptr ? host->offsetX : 0) + v.originX;
    const double oy = (host != nullptr ? host->offsetY : 0) + v.originY;
    if (ox >= hostWidth || oy >= hostHeight || ox + v.scaledWidth <= 0.0 || oy + v.scaledHeight <= 0.0) {
        cachedArea = 0;
        return PendingOrNothing();
    }

    // The visible area in frame pixels.
    const ZoomRecord& z = v.zoom;
    Span sx = VisibleSpan(ox, v.scaledWidth, hostWidth, z.zoomedX != 0, z.x, z.inverseX, width);
    Span sy = VisibleSpan(oy, v.scaledHeight, hostHeight, z.zoomedY != 0, z.y, z.inverseY, height);
    DeviceArea wanted{sx.left, sy.left, static_cast<int32_t>(std::min<int64_t>(sx.width, 0x7FFFFFFF)),
                      static_cast<int32_t>(std::min<int64_t>(sy.width, 0x7FFFFFFF))};

    if (changed != 0) cachedArea = 0;
    if (changed == 0 && cachedArea != 0 && pulledFrame == desc->frame && pulledChannel == desc->section &&
        Inside(wanted, lastArea)) {
        stop[kDevicePendingByte] = 0;
        if (fitWidth != 0) fitPending = 0;
        return HasTexture() ? 2 : 3;
    }

    // The guard band: up to 256 pixels (less when the host shows fewer) on every side.
    const int64_t bandX = std::min<int64_t>(kGuardBand, SaturateTrunc<int64_t>(std::ceil(hostWidth * z.inverseX)));
    const int64_t bandY = std::min<int64_t>(kGuardBand, SaturateTrunc<int64_t>(std::ceil(hostHeight * z.inverseY)));
    Widen(&sx, std::max<int64_t>(0, bandX), width);
    Widen(&sy, std::max<int64_t>(0, bandY), height);
    area = DeviceArea{sx.left, sy.left, static_cast<int32_t>(sx.width), static_cast<int32_t>(sy.width)};

    const uint64_t pixels = static_cast<uint64_t>(area.width) * static_cast<uint64_t>(area.height);
    WaitCursor wait(pixels > kWaitCursorPixels);
    frameRequest = ReadWindow{};
    frameRequest.frame = index;
    frameRequest.section = desc->section;
    frameRequest.x = area.x;
    frameRequest.y = area.y;
    frameRequest.width = area.width;
    frameRequest.height = area.height;
    const int32_t code = DeviceFetch(this, &frameRequest);
    if (code >= 2) {
        lastArea = area;
        if (code >= 3 && result.image.HoldsFrame()) {
            // What came may be less than asked (the frame's edge): keep what came.
            lastArea = DeviceArea{result.image.windowX, result.image.windowY,
                                  static_cast<int32_t>(std::min<uint32_t>(result.image.width, 0x7FFFFFFF)),
                                  static_cast<int32_t>(std::min<uint32_t>(result.image.height, 0x7FFFFFFF))};
            packed = 0;
        }
        cachedArea = 1;
        pulledFrame = desc->frame;
        pulledChannel = desc->section;
        changed = 0;
        stop[kDevicePendingByte] = 0;
        // The frame is shown as it was fitted: later sizes of the view keep its zoom.
        if (fitWidth != 0) fitPending = 0;
    }
    return code;
}

// ---- Upload --------------------------------------------------------------------------------

void Image2DDevice::PackRgb() {
    const TypedFrameBuffer& image = result.image;
    packed = 0;
    if (!image.HoldsFrame() || image.data == nullptr || image.itemBytes != 4) return;
    const uint64_t pixels = static_cast<uint64_t>(image.width) * image.height;
    if (pixels > kGlobalBufferMaxBytes / 3 || !GlobalBufferFit(&rgb, pixels * 3)) return;
    const auto* from = static_cast<const uint8_t*>(image.data);
    auto* to = static_cast<uint8_t*>(rgb.data);
    for (uint64_t i = 0; i < pixels; ++i, from += 4, to += 3) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
    }
    packed = 1;
}

bool Image2DDevice::FreeTilesNow() {
    if (!OnUiThread()) {
        freePending = 1;
        return true;
    }
    freePending = 0;
    GraphicsHost* host = HostRecord();
    gWindow* w = host != nullptr ? gWinValidate(host->window) : nullptr;
    if (w == nullptr || !gWinMakeCurrent(w)) return false;
    return texture.FreeTiles();
}

bool Image2DDevice::UploadNow() {
    if (!GlAllowed()) return false;
    uploadPending = 0;
    if (freePending != 0) FreeTilesNow();
    GraphicsHost* host = HostRecord();
    gWindow* w = host != nullptr ? gWinValidate(host->window) : nullptr;
    if (w == nullptr) return false;
    const TypedFrameBuffer& image = result.image;
    MosaicFrame frame;
    if (image.HoldsFrame() && image.data != nullptr && (image.itemBytes == 3 || image.itemBytes == 4)) {
        if (image.itemBytes == 4 && packed == 0) PackRgb();
        frame.width = static_cast<int32_t>(std::min<uint32_t>(image.width, 0x7FFFFFFF));
        frame.height = static_cast<int32_t>(std::min<uint32_t>(image.height, 0x7FFFFFFF));
        frame.pixels = image.itemBytes == 3 ? image.data : (packed != 0 ? rgb.data : nullptr);
        frame.present = frame.pixels != nullptr ? 1 : 0;
    }
    const bool ok = texture.BuildMosaic(w, &frame);
    ++uploads;
    drawnArea = DeviceArea{image.windowX, image.windowY, frame.width, frame.height};
    return ok && frame.present != 0;
}

bool Image2DDevice::PostPull(DeviceViewBase* base) {
    auto* d = static_cast<Image2DDevice*>(base);
    if (d->lastPullCode < 2) {
        GraphicsWindowAllIdleWalk(d->window, d);
        return d->HasTexture() ? d->FreeTilesNow() : false;
    }
    const TypedFrameBuffer& image = d->result.image;
    WaitCursor wait(static_cast<uint64_t>(image.width) * image.height > kWaitCursorPixels);
    GraphicsWindow* gw = d->Window();
    if (d->window != nullptr && (gw == nullptr || gw->locked == 0)) d->window->allFrozen = 0;
    if (image.itemBytes == 4 && d->packed == 0) d->PackRgb();
    if (!OnUiThread()) {
        // The upload is the user-interface thread's: Deliver sends it there once the
        // display lock is left.
        d->uploadPending = 1;
        return true;
    }
    return d->UploadNow();
}

void Image2DDevice::UploadOnUi(void* device) {
    auto* d = static_cast<Image2DDevice*>(device);
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (d->uploadPending != 0) d->UploadNow();
        else if (d->freePending != 0) d->FreeTilesNow();
    }
    d->AfterDelivery();
}

// ---- Deliver -------------------------------------------------------------------------------

void Image2DDevice::AfterDelivery() {
    DisplayCellBase* cell = Cell();
    if (cell == nullptr || !IsCurrent() || !HostIsActive()) return;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    GraphicsWindow* gw = Window();
    if (gw != nullptr && s.lens != nullptr) {
        GraphicsLens* lens = s.lens(cell);
        if (lens != nullptr && lens->on != 0) gw->RefreshLens(lens);
    }
    if (s.updateCoordText != nullptr) s.updateCoordText(cell);
    if (gw != nullptr && gw->dataReady != nullptr) gw->dataReady(gw);
}

bool Image2DDevice::Deliver() {
    if (!OnUiThread()) {
        AddRef();
        const bool delivered = DeviceDeliver(this);
        if (delivered || uploadPending != 0 || freePending != 0) {
            GraphicsHost* host = HostRecord();
            // The display lock is free here: the user-interface thread may take it.
            CallOnUiThread(host != nullptr ? host->window : nullptr, &UploadOnUi, this);
        }
        Release();
        return delivered;
    }
    const bool delivered = DeviceDeliver(this);
    AfterDelivery();
    return delivered;
}

void Image2DDevice::DeliverSteps() { Deliver(); }

// ---- Events --------------------------------------------------------------------------------

void Image2DDevice::CommonTail(int32_t level) {
    cachedArea = 0;
    GraphicsHost* host = HostRecord();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    if (host != nullptr && host->shapes != nullptr) {
        if (shapes.notifyShapesOf != nullptr) shapes.notifyShapesOf(host->shapes, this, 0);
        if (shapes.refreshRotateFrame != nullptr) shapes.refreshRotateFrame(host->shapes);
    }
    DeliverSteps();
    MarkByLevel(level);
}

void Image2DDevice::OnEvent(int32_t code, int32_t level) {
    DisplayCellBase* cell = Cell();
    GraphicsHost* host = HostRecord();
    GraphicsWindow* gw = Window();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    switch (code) {
        case kDeviceEventAttach:
        case kDeviceEventAttachOther:
            TakeAttachEvent(code, level);
            return;
        case kDeviceEventRemoveShapes:
            if (host != nullptr && host->shapes != nullptr && shapes.removeShapesOf != nullptr)
                shapes.removeShapesOf(host->shapes, this);
            return;
        case kDeviceEventRemoveShape:
            if (host != nullptr && host->shapes != nullptr && shapes.removeShape != nullptr)
                shapes.removeShape(host->shapes, this);
            return;
        case kDeviceEventScrollX:
            ScrollX(static_cast<double>(level));
            return;
        case kDeviceEventScrollY:
            ScrollY(static_cast<double>(level));
            return;
        case kDeviceEventNewData:
            changed = 1;
            frameFlags[0] = frameFlags[1] = 0;
            RefreshGeometry();
            if (gw != nullptr && cell != nullptr && cell->currentWindow == gw) gw->UpdateScales();
            CommonTail(level);
            return;
        case kDeviceEventNewFrame:
            changed = 1;
            frameFlags[0] = frameFlags[1] = 0;
            if (IsCurrent() && HostIsActive() && cell != nullptr) {
                if (s.refreshTransportPage != nullptr) s.refreshTransportPage(cell);
                if (s.redrawFastSelectorFrame != nullptr) s.redrawFastSelectorFrame(cell);
            }
            RefreshGeometry();
            if (gw != nullptr && cell != nullptr && cell->currentWindow == gw) gw->UpdateScales();
            CommonTail(level);
            if (gw != nullptr) gw->RefreshFrame();
            return;
        case kDeviceEventInvalidate:
            InvalidateArea();
            changed = 1;
            CommonTail(level);
            return;
        case kDeviceEventGeometry:
            RefreshGeometry();
            if (gw != nullptr && cell != nullptr && cell->currentWindow == gw) gw->UpdateScales();
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
        case kDeviceEventShapes:
            if (host != nullptr && host->shapes != nullptr && shapes.refreshRotateFrame != nullptr)
                shapes.refreshRotateFrame(host->shapes);
            DeliverSteps();
            if (level >= kDeviceLevelRepaint && OnUiThread()) gWinRefreshAll();
            return;
        case kDeviceEventDecal:
            if (HasTexture() && host != nullptr && GlAllowed()) texture.SetDecal(gWinValidate(host->window));
            [[fallthrough]];
        case kDeviceEventPaint:
            if (level >= kDeviceLevelRepaint && host != nullptr && GlAllowed())
                RepaintWindowNow(gWinValidate(host->window), kDeviceLevelRepaint);
            return;
        case kDeviceEventSelectTab:
            if (level >= kDeviceLevelMark && IsCurrent() && HostIsActive() && s.refreshSelectTabPage != nullptr)
                s.refreshSelectTabPage(cell);
            return;
        default:
            // 8, 17, 19, 21, 22 and unknown codes change nothing.
            return;
    }
}

// ---- View ------------------------------------------------------------------------------------

bool Image2DDevice::ResetDeviceView(bool fit) {
    DisplayCellBase* cell = Cell();
    if (cell == nullptr) return false;
    const int64_t count = SourceFrameCount();
    if (selectedIndex < 0) selectedIndex = 0;
    if (count > 0 && selectedIndex > count - 1) selectedIndex = count - 1;
    if (count == 0) selectedIndex = 0;
    if (count < 4) firstPlane = 0;
    else if (firstPlane > count - 3) firstPlane = static_cast<uint32_t>(count - 3);
    view.counters[0] = view.counters[1] = 0;
    RefreshGeometry();
    // A fit waits until the first frame is shown: until then a view that gets its size
    // (a cell laid out after its device started) or a new one fits the frame again.
    fitPending = fit ? 1 : 0;
    fitWidth = fitHeight = 0;
    FitToHost(fit);
    ViewRecompute(&view);
    return true;
}

bool Image2DDevice::FitToHost(bool fit) {
    GraphicsHost* host = HostRecord();
    GraphicsWindow* gw = Window();
    // A view without a size yet (a cell not laid out), or a frame without one, has
    // nothing to fit; the fit waits for them.
    if (host == nullptr || host->width <= 2 || host->height <= 2) return false;
    if (fit && (view.frameWidth <= 0 || view.frameHeight <= 0)) return false;
    const MainSettings& settings = TheApp().Settings();
    float px = gw != nullptr ? gw->pointerX : 0.0f, py = gw != nullptr ? gw->pointerY : 0.0f;
    const bool moved = ViewFitAndCentre(&view, host->width, host->height, fit && settings.bitmapFitDefault != 0,
                                        fit && settings.bitmapDefaultCenter != 0, &px, &py);
    if (gw != nullptr) {
        gw->pointerX = px;
        gw->pointerY = py;
    }
    if (fit) {
        fitWidth = host->width;
        fitHeight = host->height;
    }
    const GraphicsHostServices& s = TheGraphicsHostServices();
    DisplayCellBase* cell = Cell();
    if (moved && HostHasWorkspace() && s.refreshZoomBar != nullptr) s.refreshZoomBar(cell, 0);
    return moved;
}

void Image2DDevice::ResetScale() {
    GraphicsWindow* gw = Window();
    if (ComponentUiUp() && gw != nullptr &&
        (gw->allFrozen != 0 || (gw->latest == this && older == nullptr && newer == nullptr)))
        gw->ResetView(false);
    ViewResetScale(&view);
    if (HostIsActive()) GraphicsLensRefreshMarked(Cell());
    if (gw != nullptr) gw->RefreshToolPanel(0);
}

// The next poll pulls the visible area again: the cached one holds the picture made
// with the settings before the change, and would be shown again as it is.
void Image2DDevice::ResetStep2() {
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = 1;
        // The whole-frame picture of the preview is stale too.
        frameFlags[0] = 0;
    }
    ReleaseImage();
}

void Image2DDevice::ReleaseImage() {
    if (!ComponentUiUp() || !HasTexture()) return;
    if (!OnUiThread()) {
        freePending = 1;
        return;
    }
    FreeTilesNow();
    GraphicsHost* host = HostRecord();
    if (host != nullptr && gWinValidate(host->window) != nullptr) host->window->dirty = kWindowDirtyRepaint;
}

bool Image2DDevice::SelectIndex(int32_t index) {
    if (!IsCurrent() || pin.upstream == nullptr) return false;
    const int64_t count = SourceFrameCount();
    int64_t n = index > 0 ? static_cast<int64_t>(index) - 1 : 0;
    if (count <= 0) n = 0;
    else if (n > count - 1) n = count - 1;
    // The cells of a port list show the same frame: a selection moves the list's cursor.
    bool moved = false;
    if (PlayedByList()) {
        FramePlayer& player = portList->player;
        const int64_t frame = std::clamp<int64_t>(n - frameOffset, 0, std::max(0, player.count.load() - 1));
        if (frame != player.current.load()) {
            player.current.exchange(static_cast<int32_t>(frame));
            changed = 1;
            moved = true;
        }
    }
    if (n == selectedIndex && !moved) return false;
    selectedIndex = n;
    if (GraphicsWindow* gw = Window()) {
        gw->frameIndex = static_cast<int32_t>(n);
        gw->frameShown = 0;
    }
    AfterDelivery();
    return true;
}

int32_t Image2DDevice::InvalidateArea() {
    cachedArea = 0;
    GraphicsHost* host = HostRecord();
    if (HasTexture() && host != nullptr && GlAllowed()) texture.SetNearest(gWinValidate(host->window));
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (HostIsActive() && s.refreshViewModePage != nullptr) s.refreshViewModePage(Cell());
    return 0;
}

void Image2DDevice::FoldHostShift() {
    GraphicsHost* host = HostRecord();
    if (host == nullptr || (host->offsetX == 0 && host->offsetY == 0)) return;
    // The window's shift joins the view's own offset, where the zoom scales it about the
    // pointer with the rest: the frame stays where the zoom puts it, not where a shift
    // taken at another zoom would carry it.
    view.offsetX += host->offsetX;
    view.offsetY += host->offsetY;
    view.roundedX = std::trunc(view.offsetX);
    view.roundedY = std::trunc(view.offsetY);
    host->offsetX = host->offsetY = 0;
    ViewRecompute(&view);
}

bool Image2DDevice::SetZoom2(double zoomX, double zoomY) {
    FoldHostShift();
    GraphicsWindow* gw = Window();
    const double px = gw != nullptr ? gw->pointerX : 0.0, py = gw != nullptr ? gw->pointerY : 0.0;
    const ZoomRecord before = view.zoom;
    if (!ViewSetZoom2(&view, zoomX, zoomY, px, py)) return false;
    CentreAxesBackAtFullSize(before);
    AfterZoom();
    return true;
}

bool Image2DDevice::SetZoom(bool axisX, double zoom, bool linked) {
    FoldHostShift();
    GraphicsWindow* gw = Window();
    const double px = gw != nullptr ? gw->pointerX : 0.0, py = gw != nullptr ? gw->pointerY : 0.0;
    const ZoomRecord before = view.zoom;
    if (!ViewSetZoom(&view, axisX, zoom, linked, px, py)) return false;
    CentreAxesBackAtFullSize(before);
    AfterZoom();
    return true;
}

void Image2DDevice::CentreAxesBackAtFullSize(const ZoomRecord& before) {
    // A frame that is shown centred when it opens is centred again on each axis a zoom
    // brings back to 100 %, where it fits: the zooms about the pointer on the way, each
    // rounded to whole pixels, would otherwise leave it wherever they carried it.
    GraphicsHost* host = HostRecord();
    if (host == nullptr || TheApp().Settings().bitmapDefaultCenter == 0) return;
    if (before.zoomedX != 0 && view.zoom.zoomedX == 0) ViewCentreAxis(&view, true, host->width);
    if (before.zoomedY != 0 && view.zoom.zoomedY == 0) ViewCentreAxis(&view, false, host->height);
}

void Image2DDevice::AfterZoom() {
    GraphicsWindow* gw = Window();
    if (gw == nullptr) return;
    if (IsCurrent()) {
        gw->UpdateScrollControl(true);
        gw->UpdateScrollControl(false);
    }
    gw->UpdateScales();
}

void Image2DDevice::ScrollX(double ratio) {
    GraphicsWindow* gw = Window();
    ViewScrollAxis(&view, true, ratio, gw != nullptr ? gw->pointerX : 0.0);
    if (gw != nullptr && IsCurrent()) gw->UpdateScrollControl(true);
}

void Image2DDevice::ScrollY(double ratio) {
    GraphicsWindow* gw = Window();
    ViewScrollAxis(&view, false, ratio, gw != nullptr ? gw->pointerY : 0.0);
    if (gw != nullptr && IsCurrent()) gw->UpdateScrollControl(false);
}

void Image2DDevice::RemoveShapes() {
    GraphicsHost* host = HostRecord();
    const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
    if (host != nullptr && host->shapes != nullptr && shapes.removeShapesOf != nullptr)
        shapes.removeShapesOf(host->shapes, this);
}

// ---- Drawing -------------------------------------------------------------------------------

void Image2DDevice::DrawTexture() {
    if (!GlAllowed()) return;
    if (uploadPending != 0 || freePending != 0) {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (uploadPending != 0) UploadNow();
        else if (freePending != 0) FreeTilesNow();
    }
    glPushMatrix();
    glTranslated(view.originX, view.originY, 0.0);
    if (HasTexture() && texture.list != 0) {
        glPushMatrix();
        glScaled(view.zoom.x, view.zoom.y, 1.0);
        glTranslated(static_cast<double>(drawnArea.x), static_cast<double>(drawnArea.y), 0.0);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        glCallList(texture.list);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
        glPopMatrix();
    }
    glPopMatrix();
}

void DrawImageWindow(GraphicsWindow* w) {
    if (w == nullptr || !GlAllowed()) return;
    GraphicsHost* host = w->Host();
    // The model-view stands at the view's origin moved by the cell's offsets, where the
    // pointer and the drag are measured too.
    glPushMatrix();
    // A device whose producer went keeps the texture of its last frame for the next
    // producer.
    for (DeviceViewBase* d = w->latest; d != nullptr; d = d->older) {
        auto* device = dynamic_cast<Image2DDevice*>(d);
        if (device != nullptr && device->stop[kDeviceHiddenByte] == 0 && device->HasProducer())
            device->DrawTexture();
    }
    auto* current = dynamic_cast<Image2DDevice*>(w->current);
    if (w->originMark != 0 && current != nullptr) {
        glPushMatrix();
        glTranslated(current->view.scrollX + current->view.roundedX, current->view.scrollY + current->view.roundedY,
                     0.0);
        glColor3f(1.0f, 0.3f, 0.3f);
        InvertingBlend();
        if (w->markList != 0 && glIsList(w->markList)) {
            glCallList(w->markList);
        } else {
            w->markList = glGenLists(1);
            if (w->markList != 0) {
                glNewList(w->markList, GL_COMPILE_AND_EXECUTE);
                OriginMark();
                glEndList();
            } else {
                OriginMark();
            }
        }
        glDisable(GL_BLEND);
        glPopMatrix();
    }
    if (w->cursorMarkShown != 0) {
        const float px = w->pointerX, py = w->pointerY;
        glColor3f(1.0f, 1.0f, 1.0f);
        InvertingBlend();
        glBegin(GL_LINES);
        glVertex2f(px - 9.0f, py);
        glVertex2f(px, py);
        glVertex2f(px + 1.0f, py);
        glVertex2f(px + 10.0f, py);
        glVertex2f(px, py + 9.0f);
        glVertex2f(px, py);
        glVertex2f(px, py - 1.0f);
        glVertex2f(px, py - 10.0f);
        glEnd();
        glDisable(GL_BLEND);
    }
    const GraphicsDrag drag = host != nullptr ? host->drag : GraphicsDrag{};
    if (drag.mode != 0 && drag.state != 0) {
        const GraphicsShapeServices& shapes = TheGraphicsShapeServices();
        glColor3f(1.0f, 1.0f, 0.6f);
        InvertingBlend();
        const double dx = static_cast<double>(drag.x) - drag.startX, dy = static_cast<double>(drag.y) - drag.startY;
        auto points = [&] {
            if (shapes.drawScaledPoints == nullptr) return;
            glPushMatrix();
            glTranslatef(drag.startX, drag.startY, 0.0f);
            shapes.drawScaledPoints(dx, dy);
            glPopMatrix();
        };
        switch (drag.mode) {
            case 1:
            case 3:
                points();
                break;
            case 2:
                if (current != nullptr && host->shapes != nullptr && shapes.bsplineDraw != nullptr &&
                    shapes.currentShapePoints != nullptr && shapes.currentShapePoints(host->shapes) > 1) {
                    const ImageViewRecord& v = current->view;
                    glPushMatrix();
                    glTranslated(v.originX, v.originY, 0.0);  // at the frame's origin
                    glScaled(v.zoom.x, v.zoom.y, 1.0);
                    shapes.bsplineDraw(host->shapes, (drag.x - v.originX) * v.zoom.inverseX,
                                       (drag.y - v.originY) * v.zoom.inverseY);
                    glPopMatrix();
                } else {
                    points();
                }
                break;
            case 4:
            case 7:
                if (dx != 0.0 && dy != 0.0) {
                    glBegin(GL_LINE_LOOP);
                    glVertex2f(drag.startX, drag.startY);
                    glVertex2f(drag.x, drag.startY);
                    glVertex2f(drag.x, drag.y);
                    glVertex2f(drag.startX, drag.y);
                    glEnd();
                }
                break;
            case 5:
            case 6: {
                // The ellipse inscribed in the dragged box, as it will be placed: centred in
                // the box, its half sizes for radii.
                const int32_t a = SaturateTrunc<int32_t>(std::ceil(std::fabs(dx)));
                const int32_t b = SaturateTrunc<int32_t>(std::ceil(std::fabs(dy)));
                glPushMatrix();
                glTranslated(drag.startX + std::copysign(a / 2.0, dx), drag.startY + std::copysign(b / 2.0, dy), 0.0);
                SelectionOutline::DrawPixels((a + 1) / 2, (b + 1) / 2);
                glPopMatrix();
                break;
            }
            default:
                break;
        }
        glDisable(GL_BLEND);
    }
    glPopMatrix();
}

}  // namespace orva
