#include "app/image_window.h"

#include <GL/gl.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "data/kernel_util.h"
#include "framework/display_lock.h"
#include "platform/cursor_resources.h"
#include "platform/window_api.h"
#include "toolkit/gl_colors.h"
#include "toolkit/input.h"
#include "toolkit/list_control.h"
#include "toolkit/scale.h"
#include "toolkit/texture_view.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using kernel::SaturateTrunc;

constexpr double kNoValue = -1.7976931348623157e308;
constexpr uint32_t kViewStyle = 0x30200800;
constexpr uint32_t kViewInert = 0x40000000;
// The widget's drag flag that has the toolkit pass it every pointer move while hot.
constexpr uint32_t kTrackPointer = 0x10000;

Image2DWindow* AsImage(GraphicsWindow* w) { return dynamic_cast<Image2DWindow*>(w); }

// The window's draw callback: the frame is kept in view first (its shift applied to
// the model-view the cell set up), then the devices are drawn. The playback thread's
// pull changes the devices' view and frame under the display lock: the draw holds it too.
void DrawCallback(GraphicsWindow* w) {
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    Image2DWindow* iw = AsImage(w);
    GraphicsHost* host = w->Host();
    if (iw != nullptr && host != nullptr) {
        const int32_t ox = host->offsetX, oy = host->offsetY;
        if (iw->KeepFrameInView())
            glTranslated(static_cast<double>(host->offsetX) - ox, static_cast<double>(host->offsetY) - oy, 0.0);
    }
    DrawImageWindow(w);
}

void StatisticsCallback(GraphicsWindow* w) {
    if (Image2DWindow* iw = AsImage(w)) iw->RefreshStatisticsList();
}

// A new frame (a step of a cube, a new channel) under a pointer that stayed where it
// was: the value readout shows the new frame's pixel at once.
void FrameReadyCallback(GraphicsWindow* w) {
    Image2DWindow* iw = AsImage(w);
    if (iw == nullptr || !OnUiThread()) return;
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = iw->ReadValueUnderPointer();
    }
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (changed && iw->cell != nullptr && s.updateReadouts != nullptr) s.updateReadouts(iw->cell);
}

bool ReadoutCallback(GraphicsWindow* w) {
    Image2DWindow* iw = AsImage(w);
    if (iw == nullptr) return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    return iw->ReadValueUnderPointer();
}

void LensDragThunk(void* data, float dx, float dy, uint32_t keys) {
    if (auto* w = static_cast<Image2DWindow*>(data)) w->LensDrag(dx, dy, keys);
}

// The view widgets whose pointer moves reach an image window (UI thread only).
std::map<const gElement*, Image2DWindow*>& Trackers() {
    static std::map<const gElement*, Image2DWindow*> trackers;
    return trackers;
}

int32_t KeyDownCallback(GraphicsWindow* w, uint32_t key) {
    Image2DWindow* iw = AsImage(w);
    if (iw == nullptr) return 0;
    // The toolkit's record of the key being handled holds its repeat count.
    const uint32_t repeat = (gKeyDownEvent.code & 0xFFFFu) == (key & 0xFFFFu) ? gKeyDownEvent.repeat : 0;
    return iw->OnKeyDown(key, repeat);
}

int32_t KeyUpCallback(GraphicsWindow* w, uint32_t key) {
    Image2DWindow* iw = AsImage(w);
    return iw != nullptr && iw->OnKeyUp(key) ? 1 : 0;
}

// The rulers label frame coordinates: the window keeps each scale's units per pixel
// and value kind from the zoom.
void RulerLabels(ScaleRecord* scale, bool vertical, void*) { SliderCtrl::BuildValueLabels(scale, vertical); }

// Each scale's value kind and units per pixel from the device's zoom on that axis.
void ScalesFollowZoom(SliderCtrl* sliders, const Image2DDevice& d, const GraphicsAxes& axes) {
    ScaleRecord* scales[2] = {&sliders->horizontal, &sliders->vertical};
    const double zoom[2] = {d.view.zoom.x, d.view.zoom.y};
    const double inverse[2] = {d.view.zoom.inverseX, d.view.zoom.inverseY};
    const int32_t step[2] = {axes.stepX, axes.stepY};
    for (int i = 0; i < 2; ++i) {
        const bool fractional = ComputeRulerScale(step[i], zoom[i]).mode == kRulerFractional;
        scales[i]->valueKind = fractional ? kScaleValueReal : kScaleValueInteger;
        scales[i]->unitsPerPixel = inverse[i];
        // Pixels are numbered from 1 as the readouts number them, each number at its
        // pixel's centre: the frame's first edge is 0.5, and the tick labelled N stands
        // in the middle of the pixel the readout calls N. A scale position is a screen
        // pixel, whose tick is drawn through its middle: half a pixel past the edge.
        scales[i]->start = 0.5 + 0.5 * inverse[i];
    }
}

GraphicsColourList& ColourList() {
    static GraphicsColourList list;
    return list;
}

// The frame's rectangle in view coordinates: the rounded scrolled origin plus the
// cell's offsets, and the scaled size.
struct FrameRect {
    double x = 0, y = 0, width = 0, height = 0;
};
FrameRect ScreenRect(const Image2DDevice& d, const GraphicsHost* host) {
    FrameRect r;
    r.x = std::trunc(d.view.originX) + (host != nullptr ? host->offsetX : 0);
    r.y = std::trunc(d.view.originY) + (host != nullptr ? host->offsetY : 0);
    r.width = d.view.scaledWidth;
    r.height = d.view.scaledHeight;
    return r;
}

}  // namespace

const GraphicsColour kImageWindowColours[8] = {
    {0x04000000, "Black"},  {0x047F7F7F, "White"},        {0x044F4F4F, "Grey"}, {0x04696969, "Light Grey"},
    {0x04604830, "Cobalt"}, {0x04114511, "Forest Green"}, {0x04006B7F, "Gold"}, {0x040F0B58, "Indian Red"},
};

Image2DWindow* ImageWindowOfView(const gElement* view) {
    auto it = Trackers().find(view);
    return it == Trackers().end() ? nullptr : it->second;
}

void BindImageView(gElement* view, Image2DWindow* window) {
    if (view == nullptr) return;
    if (window == nullptr) Trackers().erase(view);
    else Trackers()[view] = window;
}

RulerScale ComputeRulerScale(int32_t step, double zoom) {
    RulerScale r;
    const double n = step;
    r.step = step;
    r.value = n;
    r.unitsPerPixel = 1.0;
    r.mode = kRulerInteger;
    if (!(zoom > 0.0) || std::fabs(zoom - 1.0) < DBL_EPSILON) return r;
    double k = 10.0 * std::floor(0.1 * n * zoom);
    if (k == 0.0) k = std::floor(n * zoom);
    if (k == 0.0) {
        r.mode = kRulerFractional;
        r.value = n * zoom;
        r.unitsPerPixel = 1.0 / zoom;
        return r;
    }
    r.step = SaturateTrunc<int32_t>(n * k);
    r.value = n * k;
    r.unitsPerPixel = (n * k) / (n * zoom);
    return r;
}

WindowRequest* AsWindowRequest(MessageTarget* target) {
    return target != nullptr && MessageTargetIs(target, &kWindowRequestId) ? static_cast<WindowRequest*>(target)
                                                                            : nullptr;
}

bool CopyRowsToBuffer(TypedBuffer* buffer, const void* rows, uint32_t count, uint32_t rowBytes) {
    if (buffer == nullptr || (rows == nullptr && count != 0)) return false;
    const uint64_t need = (static_cast<uint64_t>(count) + 1) * rowBytes;
    if (need > kGlobalBufferMaxBytes) return false;
    const bool fits = buffer->block != nullptr && buffer->size >= need && buffer->size - need < kGlobalBufferReuseSlack;
    if (!fits) {
        const uint64_t bytes = (static_cast<uint64_t>(count) + 1) * (static_cast<uint64_t>(rowBytes) + 64);
        if (bytes > kGlobalBufferMaxBytes || !buffer->Reserve(static_cast<uint32_t>(bytes))) return false;
    }
    buffer->data = buffer->block;
    if (count != 0) std::memcpy(buffer->data, rows, static_cast<size_t>(count) * rowBytes);
    buffer->rowsUsed = count;
    return true;
}

// ---- Life --------------------------------------------------------------------------------------

Image2DWindow::Image2DWindow(DisplayCellBase* host) : GraphicsWindow(host) {
    GraphicsColourList& list = ColourList();
    if (list.entries.empty()) {
        list.entries.reserve(list.entries.size() + 8);
        list.entries.assign(std::begin(kImageWindowColours), std::end(kImageWindowColours));
    }
    drawColour = list.entries.front().colour;
    draw = &DrawCallback;
    refreshStatistics = &StatisticsCallback;
    updateReadout = &ReadoutCallback;
    dataReady = &FrameReadyCallback;
    keyDown = &KeyDownCallback;
    keyUp = &KeyUpCallback;
    GraphicsHost* h = Host();
    modeFlag = h != nullptr && h->zoomPage != nullptr ? h->zoomPage->modeFlag : 1;
}

Image2DWindow::~Image2DWindow() {
    for (auto it = Trackers().begin(); it != Trackers().end();) {
        if (it->second == this) it = Trackers().erase(it);
        else ++it;
    }
    GraphicsHost* h = Host();
    if (h != nullptr && h->sliderOwner == this) {
        h->sliderOwner = nullptr;
        if (h->sliders != nullptr) h->sliders->horizontal.labelRoutine = h->sliders->vertical.labelRoutine = nullptr;
    }
    if (h != nullptr && h->zoomPage != nullptr && h->zoomPage->lensDragData == this) {
        h->zoomPage->lensDrag = nullptr;
        h->zoomPage->lensDragData = nullptr;
    }
    if (markList != 0 && h != nullptr && OnUiThread() && gWinValidate(h->window) != nullptr &&
        gWinMakeCurrent(h->window))
        glDeleteLists(markList, 1);
    rowBuffer.Free();
}

bool Image2DWindow::CreateDevice(DeviceViewBase** out) {
    if (out == nullptr) return false;
    *out = new (std::nothrow) Image2DDevice(this, cell);
    return *out != nullptr;
}

bool Image2DWindow::CreateInstance(GraphicsWindow** out) {
    if (out == nullptr) return false;
    *out = new (std::nothrow) Image2DWindow(nullptr);
    return *out != nullptr;
}

bool Image2DWindow::QueryInterface(const ComponentId* id, void** out) {
    if (!SameComponentId(id, &kImageWindowId) && !SameComponentId(id, &kWindowDrawId) && !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = this;
    }
    return true;
}

bool Image2DWindow::ResetView(bool keep) {
    if (!keep) cursorMarkShown = originMark = cursorMarkWanted = 0;
    return false;
}

bool Image2DWindow::BuildToolPanel(int32_t) { return true; }

void Image2DWindow::RefreshToolPanel(uint32_t flags) {
    GraphicsHost* h = Host();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (h != nullptr && h->zoomPage != nullptr && s.refreshZoomBar != nullptr) s.refreshZoomBar(cell, (flags & ~0xFFu) | 1u);
}

GraphicsColourList* Image2DWindow::GetDefaults() { return &ColourList(); }

void Image2DWindow::Resize() {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    hostWidth = h->width;
    hostHeight = h->height;
}

// ---- The host ------------------------------------------------------------------------------------

void Image2DWindow::AttachHost() {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (gElement* view = h->view) {
        view->cursor = view->defaultCursor = platform::LoadCursor(platform::kCursorImageView);
        // The view takes presses: a widget placed by its own rectangle (the cell's, made
        // with the no-placement bit) is otherwise inert to the mouse.
        view->style = (view->style | kViewStyle) & ~kViewInert;
        view->onWheel = &ImageViewWheel;
        buttonHandler = &ImageViewButton;
        view->onPress = buttonHandler;
        // A view with a click routine stays the pressed widget until the release, so that
        // the button handler hears the release too.
        view->onClick = &ImageViewClick;
        // The pointer moves over the view (tracked without a press) reach this window.
        gWgtSetTag(view, &ImageViewPointerTracker);
        view->dragFlags |= kTrackPointer;
        BindImageView(view, this);
    }
    if (GraphicsZoomPage* page = h->zoomPage) {
        page->pendingValue = 0;
        page->lensDrag = &LensDragThunk;
        page->lensDragData = this;
        if (page->modeFlag != modeFlag) {
            page->modeFlag = modeFlag;
            if (s.lensPageSetFromView != nullptr) s.lensPageSetFromView(cell);
        }
    }
    h->sliderOwner = this;
    if (SliderCtrl* sliders = h->sliders) {
        SliderCtrl::ResetScale(&sliders->horizontal);
        SliderCtrl::ResetScale(&sliders->vertical);
        SliderCtrl::SetFlags(&sliders->horizontal, 0x1, true);
        SliderCtrl::SetFlags(&sliders->horizontal, 0x4, false);
        SliderCtrl::SetFlags(&sliders->vertical, 0x9, true);
        SliderCtrl::SetFlags(&sliders->vertical, 0x4, false);
        for (ScaleRecord* scale : {&sliders->horizontal, &sliders->vertical}) {
            scale->labelRoutine = &RulerLabels;
            scale->labelData = nullptr;
        }
    }
    if (s.updateZoomBarPage != nullptr) s.updateZoomBarPage(cell, false);
    if (s.updateGridPage != nullptr) s.updateGridPage(cell, false);
}

bool Image2DWindow::SelectChannel(int32_t number) {
    if (cell == nullptr || cell->currentWindow != this) return false;
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(readout.channelTotal, 0x7FFFFFFF));
    int32_t index = number <= 0 ? 0 : number - 1;
    if (index >= count) index = count > 0 ? count - 1 : 0;
    if (index == selectedChannel) return false;
    selectedChannel = index;
    readout.channelsUnchanged = 0;
    lastChannel = -1;
    return true;
}

void Image2DWindow::SetColours(uint32_t value) {
    if (value == colours) return;
    colours = value;
    RepaintHosts();
    GraphicsHost* h = Host();
    if (!ComponentUiUp() || h == nullptr || gWinValidate(h->window) == nullptr) return;
    gWinSetColors(h->window, value);
    RepaintWindowNow(h->window, 7);
}

void Image2DWindow::PlaceSliders() {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    if (h == nullptr || h->sliders == nullptr || d == nullptr || h->sliderOwner != this) return;
    SliderCtrl* sliders = h->sliders;
    // The labels count frame pixels at the zoom the frame is drawn with now: the fit of
    // a file may come before this window owned the scales (which resets them).
    ScalesFollowZoom(sliders, *d, axes);
    const float viewX = h->view != nullptr ? h->view->x : 0.0f;
    const float viewY = h->view != nullptr ? h->view->y : 0.0f;
    sliders->horizontal.base = d->view.originX;
    sliders->vertical.base = d->view.originY;
    sliders->ValueFromPosH(static_cast<float>(h->offsetX) + viewX + static_cast<float>(sliderOffsetX), readout.cursorX);
    sliders->ValueFromPosV(static_cast<float>(h->offsetY) + viewY + static_cast<float>(sliderOffsetY), readout.cursorY);
}

void Image2DWindow::OnActivate() {
    if (cell != nullptr && cell->currentWindow == this) PlaceSliders();
}

void Image2DWindow::UpdateScrollControl(bool) { PlaceSliders(); }

void Image2DWindow::ResetZoomScroll() {
    axes = GraphicsAxes{};
    rulers[0] = rulers[1] = RulerScale{};
}

void Image2DWindow::SetSliderStyle(bool on) {
    GraphicsHost* h = Host();
    if (h == nullptr || h->sliders == nullptr) return;
    const bool a = SliderCtrl::SetFlags(&h->sliders->horizontal, 0x2, on);
    const bool b = SliderCtrl::SetFlags(&h->sliders->vertical, 0x2, on);
    if ((on || a || b) && gWinValidate(h->window) != nullptr) RepaintWindowNow(h->window, 7);
}

bool Image2DWindow::IsTracking() {
    GraphicsHost* h = Host();
    if (h == nullptr || h->view == nullptr || h->view->onDrag != &ImageViewPointerTracker) return false;
    auto it = Trackers().find(h->view);
    return it != Trackers().end() && it->second == this;
}

// ---- Scrolling and views ---------------------------------------------------------------------------

void Image2DWindow::UpdateScales() {
    Image2DDevice* d = Device();
    if (d == nullptr) return;
    rulers[0] = ComputeRulerScale(axes.stepX, d->view.zoom.x);
    rulers[1] = ComputeRulerScale(axes.stepY, d->view.zoom.y);
    axes.scaleX = rulers[0].unitsPerPixel;
    axes.scaleY = rulers[1].unitsPerPixel;
    GraphicsHost* h = Host();
    if (h != nullptr && h->sliders != nullptr && h->sliderOwner == this) ScalesFollowZoom(h->sliders, *d, axes);
    if (cell != nullptr && cell->currentWindow == this) PlaceSliders();
}

void Image2DWindow::ScrollStepX(int32_t steps, bool tenfold) {
    Image2DDevice* d = Device();
    if (d == nullptr) return;
    const int64_t by = static_cast<int64_t>(steps) * (tenfold ? 10 : 1);
    d->view.scrollX = static_cast<int32_t>(std::clamp<int64_t>(d->view.scrollX + by, INT32_MIN, INT32_MAX));
    ViewRecompute(&d->view);
    PlaceSliders();
    RefreshAfterMove(false);
}

void Image2DWindow::ScrollStepY(int32_t steps, bool tenfold) {
    Image2DDevice* d = Device();
    if (d == nullptr) return;
    const int64_t by = static_cast<int64_t>(steps) * (tenfold ? 10 : 1);
    d->view.scrollY = static_cast<int32_t>(std::clamp<int64_t>(d->view.scrollY + by, INT32_MIN, INT32_MAX));
    ViewRecompute(&d->view);
    PlaceSliders();
    RefreshAfterMove(false);
}

void Image2DWindow::ScrollBy(int32_t steps, bool tenfold, bool) { ScrollStepX(steps, tenfold); }

void Image2DWindow::RefreshAfterMove(bool redraw) {
    GraphicsHost* h = Host();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    SnapDragEnd();
    bool changed;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = PollComponentState(this);
    }
    if (changed && h != nullptr && gWinValidate(h->window) != nullptr) h->window->dirty = kWindowDirtyRepaint;
    GraphicsReadoutPage* page = h != nullptr ? h->readoutPage : nullptr;
    if (page != nullptr) {
        if (page->view != nullptr) SetFrameRect(page->view);
        if (s.updateReadouts != nullptr) s.updateReadouts(cell);
    }
    if (redraw || cursorMarkWanted != 0 || page == nullptr || page->readoutsOn == 0) cursorMarkShown = 1;
    if (OnUiThread()) gWinRefreshAll();
}

void Image2DWindow::RefreshView(bool fit) {
    Image2DDevice* d = Device();
    GraphicsHost* h = Host();
    if (d == nullptr) return;
    bool changed = false;
    const int32_t w = d->view.scaledWidth, hgt = d->view.scaledHeight;
    ViewRecompute(&d->view);
    changed = w != d->view.scaledWidth || hgt != d->view.scaledHeight;
    if (h != nullptr && h->zoomPage != nullptr && (h->zoomPage->pendingX != 0 || h->zoomPage->pendingY != 0)) {
        h->zoomPage->pendingX = h->zoomPage->pendingY = 0;
        changed = true;
    }
    // The reset places the frame by itself: an offset left by a position key (Ctrl+digit)
    // or a drag would move the fitted, centred frame off its place.
    if (h != nullptr && (h->offsetX != 0 || h->offsetY != 0)) {
        h->offsetX = h->offsetY = 0;
        changed = true;
    }
    const ImageViewRecord before = d->view;
    d->ResetDeviceView(fit);
    if (std::memcmp(&before, &d->view, sizeof before) != 0) changed = true;
    if (changed && !d->RefreshGeometry()) d->area = DeviceArea{};
    if (cell != nullptr && cell->currentWindow == this) UpdateScales();
    if (changed) d->OnEvent(kDeviceEventGeometry, kDeviceLevelRepaint);
}

void Image2DWindow::NotifyAndRepaint(int32_t event) {
    if (Image2DDevice* d = Device()) d->OnEvent(event, kDeviceLevelRepaint);
    if (OnUiThread()) gWinRefreshAll();
}

void Image2DWindow::RefreshFrame() {
    frameShown = 0;
    GraphicsHost* h = Host();
    if (h != nullptr && h->statistics != nullptr) RefreshStatisticsList();
}

bool Image2DWindow::KeepFrameInView() {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    if (h == nullptr || d == nullptr) return false;
    const double x = d->view.originX, y = d->view.originY;
    const double w = d->view.scaledWidth, hh = d->view.scaledHeight;
    const double W = h->width, H = h->height;
    int32_t ox = h->offsetX, oy = h->offsetY;
    if (ox + x >= W) ox = SaturateTrunc<int32_t>(W - 1.0 - x);
    else if (ox + x + w < 0.0) ox = SaturateTrunc<int32_t>(1.0 - w - x);
    if (oy + y >= H) oy = SaturateTrunc<int32_t>(H - 1.0 - y);
    else if (oy + y + hh < 0.0) oy = SaturateTrunc<int32_t>(1.0 - hh - y);
    if (ox == h->offsetX && oy == h->offsetY) return false;
    h->offsetX = ox;
    h->offsetY = oy;
    GraphicsZoomPage* page = h->zoomPage;
    if (d == current && page != nullptr && page->boundToCell != 0 && page->lensOn != 0 && page->lens != nullptr)
        SetFrameRect(page->lens);
    return true;
}

void Image2DWindow::SetFrameRect(TextureView* view) {
    Image2DDevice* d = Device();
    GraphicsHost* h = Host();
    if (view == nullptr || d == nullptr || h == nullptr) return;
    // The frame's rectangle on the view and the view's own, both in frame pixels: the
    // texture view's marker then shows the part of the frame the view covers and moves
    // with every scroll and drag of the view.
    const FrameRect r = ScreenRect(*d, h);
    const double ix = d->view.zoom.inverseX, iy = d->view.zoom.inverseY;
    TextureRegion region;
    region.x = SaturateTrunc<int32_t>(std::floor(r.x * ix));
    region.y = SaturateTrunc<int32_t>(std::floor(r.y * iy));
    region.width = d->view.frameWidth;
    region.height = d->view.frameHeight;
    const TextureSize covered{SaturateTrunc<int32_t>(std::ceil(h->width * ix)),
                              SaturateTrunc<int32_t>(std::ceil(h->height * iy))};
    // The view's y runs downwards, the texture view's upwards (its picture is drawn
    // mirrored): the frame's place is measured from the view's foot.
    region.y = SaturateTrunc<int32_t>(static_cast<double>(covered.height) - region.height - region.y);
    view->SetVisibleRect(region, covered);
    // A drag of the lens view moves this view by the frame pixels under the dragged view
    // pixels, times the zoom.
    if (GraphicsZoomPage* page = h->zoomPage; page != nullptr && page->lens == view) {
        page->lensScaleX = view->scaleX > 0.0 ? d->view.zoom.x / view->scaleX : 1.0;
        page->lensScaleY = view->scaleY > 0.0 ? d->view.zoom.y / view->scaleY : 1.0;
    }
}

void Image2DWindow::LensDrag(float dx, float dy, uint32_t keys) {
    GraphicsHost* h = Host();
    if (h == nullptr) return;
    const double sx = h->zoomPage != nullptr ? h->zoomPage->lensScaleX : 1.0;
    const double sy = h->zoomPage != nullptr ? h->zoomPage->lensScaleY : 1.0;
    const bool ctrl = (keys & kKeyCtrl) != 0, alt = (keys & kKeyAlt) != 0;
    const bool moveX = !ctrl || alt, moveY = !alt || ctrl;
    auto step = [](int32_t offset, double d) {
        const double moved = static_cast<double>(offset) + std::ceil(-d);
        return SaturateTrunc<int32_t>(moved);
    };
    // The drag runs upwards, the view's y downwards: a marker dragged down shows a lower
    // part of the frame.
    if (moveX) h->offsetX = step(h->offsetX, static_cast<double>(dx) * sx);
    if (moveY) h->offsetY = step(h->offsetY, -static_cast<double>(dy) * sy);
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.repaint != nullptr) s.repaint(cell);
}

// ---- Pointer and readout ----------------------------------------------------------------------

void Image2DWindow::SetPointer(float x, float y) {
    GraphicsHost* h = Host();
    if (h != nullptr && h->toolActive != 0) return;
    if (cell != nullptr && cell->currentWindow != this) ViewAttachConsumer(this, nullptr);
    if (x != pointerX || y != pointerY) {
        pointerX = x;
        pointerY = y;
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        ReadValueUnderPointer();
    }
    cursorMarkShown = 0;
    if (h != nullptr && gWinValidate(h->window) != nullptr) h->window->dirty = kWindowDirtyRepaint;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (cell != nullptr && s.updateReadouts != nullptr) s.updateReadouts(cell);
}

bool Image2DWindow::ReadValueUnderPointer() {
    Image2DDevice* d = Device();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    ComponentBase* consumer = d != nullptr ? d->pin.upstream : nullptr;
    // Playback re-reads the next frame on its own thread before this thread delivers and
    // draws it: meanwhile the source holds that frame while the view and the frame numbers
    // still show the one before, and a pointer move read now would put the next frame's
    // value beside them until the step is drawn (long on a busy machine). The readout
    // waits: the delivery reads it again, with the frame it shows.
    if (d != nullptr && d->hasData != 0 && d->frozen == 0 && TheEventTimer().port.load() != nullptr) return false;
    ReadoutFrame f;
    if (consumer == nullptr || s.readoutFrame == nullptr || !s.readoutFrame(consumer, &f)) return false;
    if ((f.format & 0x40) == 0 || f.width <= 0 || f.height <= 0 || f.values == nullptr || f.channels == 0) return false;

    // Changes of frame, channel and index.
    const bool same = f.frame == lastFrame && f.channel == lastChannel && d->selectedIndex == lastIndex;
    readout.channelsUnchanged = same ? 1 : 0;
    lastFrame = f.frame;
    lastChannel = f.channel;
    lastIndex = d->selectedIndex;

    // The data pixel under the pointer.
    const ImageViewRecord& v = d->view;
    double px = pointerX - (static_cast<double>(v.scrollX) + v.roundedX);
    double py = pointerY - (static_cast<double>(v.scrollY) + v.roundedY);
    if (v.zoom.zoomedX != 0) px *= v.zoom.inverseX;
    if (v.zoom.zoomedY != 0) py *= v.zoom.inverseY;
    px -= v.subX;
    py -= v.subY;
    readout.dataX = px;
    readout.dataY = py;
    readout.cursorX = std::floor(pointerX);
    readout.cursorY = std::floor(pointerY);
    auto pixel = [](double p) {
        const double up = p > 0.0 && p != std::floor(p) ? std::ceil(p) : p;
        const int64_t i = SaturateTrunc<int64_t>(up);
        return i == INT64_MIN ? i : i - 1;
    };
    int64_t ix = pixel(px), iy = pixel(py);
    ix = ix < INT64_MIN + f.left ? INT64_MIN : ix - f.left;
    iy = iy < INT64_MIN + f.top ? INT64_MIN : iy - f.top;
    // Another channel count (another file, channel mode) changes the readout pages' rows
    // wherever the pointer is.
    const bool recount = readout.channelTotal != f.channels;
    if (recount) readout.channelsUnchanged = 0;
    readout.channelTotal = f.channels;
    readout.currentChannel = static_cast<uint32_t>(std::max(selectedChannel, 0));

    if (ix < 0 || iy < 0 || ix >= f.width || iy >= f.height) {
        const bool entering = readout.outside == 0;
        readout.values[0] = readout.values[1] = readout.values[2] = kNoValue;
        readout.outside = 1;
        readout.valuesUnchanged = entering ? 0 : 1;
        return entering || recount;
    }
    readout.outside = 0;
    // The rows show three channels holding the selected one: all of them while there are
    // at most three, so that each channel button reaches its own channel; of more, the
    // selected one with its neighbours, so that the buttons step the window both ways.
    uint32_t first = 0;
    if (f.channels > 3) {
        const uint32_t selected = std::min<uint32_t>(static_cast<uint32_t>(std::max(selectedChannel, 0)), f.channels - 1);
        first = std::min(selected > 0 ? selected - 1 : 0, f.channels - 3);
    }
    readout.firstChannel = first;
    const uint32_t n = std::min<uint32_t>(3, f.channels - first);
    double values[3];
    for (uint32_t k = 0; k < n; ++k) {
        const uint64_t c = first + k;
        uint64_t at;
        if ((f.format & 0x10000) == 0) {
            at = (static_cast<uint64_t>(iy) * static_cast<uint64_t>(f.width) + static_cast<uint64_t>(ix)) * f.channels + c;
        } else {
            // One row per channel: channel c of line y is row y x channels + c.
            at = (static_cast<uint64_t>(iy) * f.channels + c) * static_cast<uint64_t>(f.width) + static_cast<uint64_t>(ix);
        }
        values[k] = f.values[at];
    }
    for (uint32_t k = n; k < 3; ++k) values[k] = values[n - 1];
    const bool differ = std::memcmp(values, readout.values, sizeof values) != 0;
    std::memcpy(readout.values, values, sizeof values);
    readout.valuesUnchanged = differ ? 0 : 1;
    return differ || recount;
}

// ---- Statistics and the lens ------------------------------------------------------------------------

bool Image2DWindow::Ask(int32_t code, WindowRequest* request) {
    Image2DDevice* d = Device();
    ComponentBase* consumer = d != nullptr ? d->pin.upstream : nullptr;
    if (consumer == nullptr || !ComponentIsLive(consumer)) return false;
    request->code = code;
    request->area = d->lastArea;
    request->frame = d->pulledFrame;
    request->channel = d->pulledChannel;
    DataMessage message(code, request);
    return ComponentDeliverMessageQuery(consumer, &message, 0);
}

void Image2DWindow::RefreshStatisticsList() {
    GraphicsHost* h = Host();
    Image2DDevice* d = Device();
    if (h == nullptr || h->statistics == nullptr || d == nullptr) return;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    const void* statistic = d->result.statistic;
    const uint32_t rows = statistic != nullptr && s.statisticsRows != nullptr ? s.statisticsRows(statistic) : 0;
    if (rows != 0) {
        const int64_t index = std::max<int64_t>(0, d->selectedIndex);
        const uint32_t row = index >= rows ? rows - 1 : static_cast<uint32_t>(index);
        if (s.showStatisticsList != nullptr) s.showStatisticsList(cell, statistic, row);
        return;
    }
    // A region measured on the picture is what the list shows of it.
    if (const void* measured = s.measuredStatistic != nullptr ? s.measuredStatistic(cell) : nullptr) {
        h->statisticsShown = 0;
        if (s.showStatisticsList != nullptr) s.showStatisticsList(cell, measured, 0);
        return;
    }
    // An answer that counted no values measured nothing.
    WindowRequest request;
    if (Ask(kRequestRegionStatistics, &request) && request.count != 0) {
        std::memcpy(h->statisticsWords, request.words, sizeof h->statisticsWords);
        h->statisticsCount = request.count;
        h->statisticsShown = 1;
        if (s.showRegionStatistics != nullptr) s.showRegionStatistics(cell);
    } else {
        h->statisticsShown = 0;
        if (OnUiThread()) ListCtrl::ClearValues(h->statistics);
    }
}

bool Image2DWindow::ArmPlaybackNotify() {
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.startAutoStop == nullptr || !s.startAutoStop()) return false;
    GraphicsHost* h = Host();
    const ComponentServices& c = TheComponentServices();
    if (h != nullptr && h->shapes != nullptr && c.setShapesVisible != nullptr) c.setShapesVisible(h->shapes, cell, 0);
    return true;
}

bool Image2DWindow::PlayerFeeds() const {
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return cell != nullptr && s.playerFeeds != nullptr && s.playerFeeds(cell);
}

void Image2DWindow::DropViewContent(TextureView* view) {
    if (view == nullptr || view->image.count == 0) return;
    gWindow* w = view->widget != nullptr ? gWinValidate(view->widget->window) : nullptr;
    if (w == nullptr || !OnUiThread() || !gWinMakeCurrent(w)) return;
    view->image.Release();
    w->dirty = kWindowDirtyRepaint;
}

bool Image2DWindow::UploadFrameToView(TextureView* view) {
    Image2DDevice* d = Device();
    if (d == nullptr || view == nullptr || view->widget == nullptr || !OnUiThread()) return false;
    const TypedFrameBuffer& image = d->result.image;
    const TypedFrameBuffer& whole = picture.image;
    TextureViewFrame frame;
    bool fromPicture = false;
    if (pictureView != nullptr) {
        // Only the texture that holds the picture can show it again.
        if (view != pictureView || view->pictureStamp != pictureStamp || view->image.texture == 0 ||
            view->image.count == 0)
            return false;
        frame.width = pictureSize[0];
        frame.height = pictureSize[1];
        frame.channels = pictureSize[2];
        frame.keepTexels = 1;
    } else if (whole.HoldsFrame() && whole.data != nullptr && whole.height != 0 &&
        whole.rowBytes == uint64_t{whole.itemBytes} * whole.width) {
        fromPicture = true;
        frame.width = static_cast<int32_t>(std::min<uint32_t>(whole.width, 0x7FFFFFFF));
        frame.height = static_cast<int32_t>(std::min<uint32_t>(whole.height, 0x7FFFFFFF));
        frame.channels = static_cast<int32_t>(whole.itemBytes);
        frame.pixels = whole.data;
    } else if (bitmap.ready != 0 && bitmap.pixels != nullptr) {
        frame.width = bitmap.width;
        frame.height = bitmap.height;
        frame.channels = static_cast<int32_t>(bitmap.channels);
        frame.pixels = bitmap.pixels;
    } else if (image.HoldsFrame() && image.data != nullptr) {
        frame.width = static_cast<int32_t>(std::min<uint32_t>(image.width, 0x7FFFFFFF));
        frame.height = static_cast<int32_t>(std::min<uint32_t>(image.height, 0x7FFFFFFF));
        frame.channels = static_cast<int32_t>(image.itemBytes);
        frame.pixels = image.data;
    } else {
        return false;
    }
    // The frame's rows run from the top of the view down, the texture view's coordinates
    // upwards: the picture is drawn mirrored in y, so that it stands as the view shows it.
    frame.transform.enabled = 1;
    frame.transform.flipY = 1;
    frame.transform.flipped = 1;
    frame.transform.rotationActive = 1;
    // The picture keeps the view's pixel aspect; the zoom itself is not the picture's:
    // the texture view's scale stays one of view pixels per frame pixel, as the frame
    // rectangle of the marker reckons it.
    TextureZoom aspect;
    const double zx = d->view.zoom.x, zy = d->view.zoom.y;
    if (d->view.zoom.any != 0 && zx > 0.0 && zy > 0.0 && zx != zy) {
        aspect.zoomOn = 1;
        aspect.zoomX = zx / zy;
        aspect.zoomY = 1.0;
    }
    gWindow* w = gWinValidate(view->widget->window);
    if (w == nullptr || !gWinMakeCurrent(w)) return false;
    const bool ok = view->ConvertAndUpload(&frame, nullptr, &aspect, TextureSize{frame.width, frame.height});
    if (ok) SetFrameRect(view);
    if (ok && fromPicture) {
        pictureView = view;
        pictureStamp = view->pictureStamp;
        pictureSize[0] = frame.width;
        pictureSize[1] = frame.height;
        pictureSize[2] = frame.channels;
        picture.image.Reset();
    }
    return ok;
}

bool Image2DWindow::PicturePullsFrame() const {
    const Image2DDevice* d = Device();
    return d != nullptr && d->result.image.HoldsFrame() && d->frameFlags[0] == 0 && !PlayerFeeds();
}

bool Image2DWindow::RenderToTextureView(TextureView* view) {
    Image2DDevice* d = Device();
    if (d == nullptr || view == nullptr) return false;
    if (!d->result.image.HoldsFrame()) {
        if (!PlayerFeeds()) DropViewContent(view);
        return false;
    }
    uint8_t& ready = d->frameFlags[0];
    if (ready == 0) {
        // The whole of the current frame, as the consumer shows it: what the view pulled
        // is only the part around what it shows.
        picture.image.DropFrame();
        pictureView = nullptr;
        picture.pending = 0;
        picture.window = ReadWindow{};
        picture.window.frame = d->frameRequest.frame;
        picture.window.section = d->frameRequest.section;
        picture.window.width = d->view.frameWidth;
        picture.window.height = d->view.frameHeight;
        WindowRequest request;
        request.picture = &picture;
        if (Ask(kRequestLensFrame, &request)) {
            ready = 1;
        } else {
            picture.image.DropFrame();
            const DisplayRenderServices& render = TheDisplayRenderServices();
            bool rendered = false;
            if (d->renderFlag != 0 && render.renderFrame != nullptr) {
                const TypedFrameBuffer& image = d->result.image;
                bitmap.width = static_cast<int32_t>(std::min<uint32_t>(image.width, 0x7FFFFFFF));
                bitmap.height = static_cast<int32_t>(std::min<uint32_t>(image.height, 0x7FFFFFFF));
                bitmap.channels = image.elementsPerItem;
                bitmap.pixels = image.data;
                bitmap.format = static_cast<uint32_t>(image.elementType) | kBitmapImage;
                bitmap.dirty = 1;
                rendered = render.renderFrame(&bitmap, nullptr, false);
            }
            if (!rendered) {
                DropViewContent(view);
                return false;
            }
        }
    }
    if (ready != 0) {
        if (transformReset != 0) {
            transformReset = 0;
            view->transform = TextureViewTransform{};
            view->scaleX = view->scaleY = 1.0;
            view->inverseScaleX = view->inverseScaleY = 1.0;
        }
        WindowRequest request;
        Ask(kRequestLensReady, &request);
    }
    if (PlayerFeeds()) return true;
    if (!UploadFrameToView(view) && pictureView != nullptr) {
        // The picture's pixels are gone and this view's texture does not hold them: the
        // consumer is asked for the picture again.
        ready = 0;
        return RenderToTextureView(view);
    }
    return true;
}

void Image2DWindow::RefreshLens(GraphicsLens* lens) {
    Image2DDevice* d = Device();
    if (lens == nullptr || lens->view == nullptr || d == nullptr) return;
    if (d->frameFlags[0] == 0) {
        RenderToTextureView(lens->view);
        return;
    }
    if (PlayerFeeds()) return;
    if (transformReset != 0) {
        transformReset = 0;
        lens->view->transform = TextureViewTransform{};
    }
    if (UploadFrameToView(lens->view)) {
        lens->ready = 1;
        if (gWinValidate(lens->window) != nullptr) lens->window->dirty = kWindowDirtyRepaint;
    } else if (pictureView != nullptr) {
        // The lens view's texture does not hold the picture whose pixels were given back.
        d->frameFlags[0] = 0;
        RenderToTextureView(lens->view);
    }
}

// ---- The factory -------------------------------------------------------------------------------------

OutputWindow* CreateImageWindow(DisplayCellBase* cell) { return new (std::nothrow) Image2DWindow(cell); }

}  // namespace orva
