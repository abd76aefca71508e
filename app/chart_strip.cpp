// The chart's image strip: the current frame drawn as a preview picture and shown in a
// texture view under the curves, and the request records through which the chart asks
// its source for that frame. UI thread only.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "app/chart_device.h"
#include "app/chart_request.h"
#include "app/chart_window.h"
#include "app/message_dialog.h"
#include "data/kernel_util.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "toolkit/texture_view.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using kernel::SaturateTrunc;

// The largest side the preview rendering draws; a larger strip is stretched by the
// texture view. Its values take at most 255 rows (the picture's levels): a taller strip
// is drawn that tall and stretched, so that its samples stand where the curve's do.
constexpr int32_t kStripRenderSide = 2024;
constexpr int32_t kStripRenderLevels = 255;
// Element type of 64-bit reals.
constexpr uint32_t kRealSamples = 0x40;

int32_t SideOf(double pixels) {
    const double v = std::ceil(pixels);
    if (!(v > 0.0)) return 0;
    return v >= 2147483647.0 ? 0x7FFFFFFF : static_cast<int32_t>(v);
}

// The rows of a byte picture in reverse order, in place.
void FlipRows(DisplayBitmap* b) {
    auto* p = static_cast<uint8_t*>(b->pixels);
    if (p == nullptr || b->width <= 0 || b->height <= 1) return;
    const size_t row = static_cast<size_t>(b->width) * b->channels;
    for (int32_t top = 0, bottom = b->height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(p + static_cast<size_t>(top) * row, p + static_cast<size_t>(top + 1) * row,
                         p + static_cast<size_t>(bottom) * row);
}

}  // namespace

// ---- Request records --------------------------------------------------------------------------

ChartDataRequest::ChartDataRequest(uint32_t kind, DeviceViewBase* held) : kind(kind) { Hold(held); }

ChartDataRequest::~ChartDataRequest() { Hold(nullptr); }

void* ChartDataRequest::Query(uint32_t) { return nullptr; }

void ChartDataRequest::Reset() {
    kind = 0;
    Hold(nullptr);
}

void ChartDataRequest::Hold(DeviceViewBase* object) {
    if (object == held_) return;
    if (object != nullptr) object->AddRef();
    DeviceViewBase* old = held_;
    held_ = object;
    if (old != nullptr) old->Release();
}

ChartFrameRequest::ChartFrameRequest(uint32_t kind, DeviceViewBase* held, int32_t frame, int32_t channel)
    : ChartDataRequest(kind, held) {
    part.frame = frame;
    part.channel = channel;
}

void* ChartFrameRequest::Query(uint32_t tag) {
    if (tag == kTagFrameChannel) return &part;
    if (tag == kTagDataRecord || tag == kTagFrameEntry) return this;
    return nullptr;
}

void ChartFrameRequest::Reset() {
    ChartDataRequest::Reset();
    part = ChartFrameChannel{};
}

// ---- The strip ---------------------------------------------------------------------------------

bool ChartWindow::StripSize(int32_t* width, int32_t* height) const {
    const Chart1DDevice* d = Device();
    if (d == nullptr || !d->HoldsSamples() || samples == 0) return false;
    const int32_t w = SideOf(static_cast<double>(d->sampleCount) * pixelsPerSample);
    const int32_t h = SideOf(std::fabs(d->yScale));
    if (w == 0 || h == 0) return false;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return true;
}

void ChartWindow::SetFrameRect(TextureView* view) {
    const Chart1DDevice* d = Device();
    int32_t w = 0, h = 0;
    if (d == nullptr || !StripSize(&w, &h)) return;
    const double x = std::round(static_cast<double>(scroll) * pixelsPerSample);
    const double y = std::round(static_cast<double>(plotHeight) - std::fabs(d->yScale) - d->yShift);
    stripRect[0] = SaturateTrunc<int32_t>(x);
    stripRect[1] = SaturateTrunc<int32_t>(y);
    stripRect[2] = w;
    stripRect[3] = h;
    if (view == nullptr || view->widget == nullptr) return;
    // The picture moves with the scroll; the view's own scale maps strip pixels. The
    // rectangle's y runs down from the plot's top, the view draws upwards.
    view->drawOffsetX = static_cast<float>(-static_cast<double>(stripRect[0]) * view->scaleX);
    view->drawOffsetY = static_cast<float>(-static_cast<double>(stripRect[1]) * view->scaleY);
    if (gWindow* win = gWinValidate(view->widget->window)) win->dirty = kWindowDirtyRepaint;
}

void ChartWindow::ReleaseStrip(TextureView* view) {
    if (view == nullptr) {
        if (stripImage.count == 0 && stripImage.list == 0) return;
        GraphicsHost* h = Host();
        gWindow* w = h != nullptr ? gWinValidate(h->window) : nullptr;
        if (w == nullptr || !OnUiThread() || !gWinMakeCurrent(w)) return;
        stripImage.Release();
        return;
    }
    if (view->image.count == 0) return;
    gWindow* w = view->widget != nullptr ? gWinValidate(view->widget->window) : nullptr;
    if (w == nullptr || !OnUiThread() || !gWinMakeCurrent(w)) return;
    view->image.Release();
}

namespace {
// The picture with an alpha channel: its black ground (where nothing is drawn) clear.
std::vector<uint8_t> ClearGround(const DisplayBitmap& b) {
    const size_t pixels = static_cast<size_t>(b.width) * static_cast<size_t>(b.height);
    std::vector<uint8_t> out(pixels * 4);
    const auto* p = static_cast<const uint8_t*>(b.pixels);
    const uint32_t channels = b.channels;
    for (size_t i = 0; i < pixels; ++i, p += channels) {
        uint8_t* q = &out[i * 4];
        q[0] = p[0];
        q[1] = channels >= 3 ? p[1] : p[0];
        q[2] = channels >= 3 ? p[2] : p[0];
        q[3] = q[0] != 0 || q[1] != 0 || q[2] != 0 ? 255 : 0;
    }
    return out;
}
}  // namespace

void ChartWindow::DrawStrip() const {
    if (stripImage.count == 0 || stripImage.usedWidth <= 0 || stripImage.usedHeight <= 0 || stripRect[2] <= 0 ||
        stripRect[3] <= 0)
        return;
    // Moved as the curves are drawn (half a pixel and a pixel in, above their origin), so
    // that the strip's samples stand under theirs.
    glPushMatrix();
    glTranslated(1.5 - static_cast<double>(stripRect[0]), static_cast<double>(stripRect[1]) + 1.5 - yOrigin, 0.0);
    glScaled(static_cast<double>(stripRect[2]) / stripImage.usedWidth,
             static_cast<double>(stripRect[3]) / stripImage.usedHeight, 1.0);
    // The texels as they are, their alpha blending them over what the plot has drawn.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, stripImage.texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const float w = static_cast<float>(stripImage.usedWidth), h = static_cast<float>(stripImage.usedHeight);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(0.0f, stripImage.tMax);
    glVertex2f(0.0f, h);
    glTexCoord2f(stripImage.sMax, stripImage.tMax);
    glVertex2f(w, h);
    glTexCoord2f(stripImage.sMax, 0.0f);
    glVertex2f(w, 0.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glPopMatrix();
}

bool ChartWindow::RenderToTextureView(TextureView* view) {
    Chart1DDevice* d = Device();
    const ChartHostServices& s = TheChartHostServices();
    int32_t width = 0, height = 0;
    bool rendered = false;
    // A chart without samples (its shape removed, its frame gone) draws no strip, and the
    // preview lets the last one go with it.
    if (d != nullptr && d->HoldsSamples() && samples != 0) {
        // The source fills the device's strip frame under the lock, as it fills its pulls;
        // the playback thread drops it with a new frame.
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        uint8_t& current = d->frameFlags[0];
        if (cell == nullptr || s.previewsOff == nullptr || !s.previewsOff(cell)) {
            // Only a 1-D frame with the chart's own sample count is asked for.
            const FrameDataRecord* desc = QueryFrameDesc(d, d->cachedFrame, d->cachedChannel);
            const bool fits = desc != nullptr && desc->height == 1 && desc->width == static_cast<int64_t>(samples) &&
                              static_cast<int64_t>(d->sampleCount) == samples;
            if (fits && current == 0) {
                d->stripFrame.image.DropFrame();
                ChartFrameRequest record(kRequestFrameKind, d, desc->frame, desc->section);
                ComponentBase* source = d->pin.upstream;
                if (source != nullptr && s.askFrame != nullptr && !s.askFrame(source, &record, false))
                    s.askFrame(source, &record, true);
                current = 1;
            }
        }
        // The frame the source answered with, when it holds the chart's samples; else the
        // samples the device pulled.
        ChartFrameLayout frame;
        const TypedFrameBuffer& answer = d->stripFrame.image;
        if ((static_cast<uint32_t>(answer.elementType) & kRealSamples) == 0 ||
            !ChartFrameLayoutOf(answer, d->input.count, d->requestedWidth, &frame) ||
            frame.sampleCount != d->sampleCount || frame.rows != d->rows) {
            frame = ChartFrameLayout{d->Pulled(), d->rows, d->sampleCount, d->rowStride, d->sampleStride};
        }
        // The samples of the current frame drawn as the picture, at most 2024 pixels wide.
        const DisplayRenderServices& render = TheDisplayRenderServices();
        if (frame.samples != nullptr && StripSize(&width, &height) && render.renderPreview != nullptr) {
            PreviewRow row;
            const bool planar = frame.rows > 1 && frame.sampleStride == 1 && frame.rowStride == frame.sampleCount;
            const bool interleaved = frame.rows > 1 && frame.sampleStride == frame.rows && frame.rowStride == 1;
            row.channels = planar || interleaved ? frame.rows : 1;
            row.pixels = row.channels > 1 ? frame.samples
                                          : frame.samples + static_cast<uint64_t>(std::min(d->currentRow, frame.rows - 1)) *
                                                                frame.rowStride;
            row.width = frame.sampleCount;
            row.format = kRealSamples | (planar ? kBitmapPlanar : 0u);
            row.skipUnset = 1;
            const PreviewColours colours{d->style.colours.bright, d->style.colours.count};
            const PreviewRange range{d->found.minimum, d->found.maximum};
            const RenderTarget target{std::min(width, kStripRenderSide), std::min(height, kStripRenderLevels)};
            rendered = render.renderPreview(&strip, row, colours, range, target);
        }
    }
    GraphicsHost* host = Host();
    gWindow* hostWindow = host != nullptr ? gWinValidate(host->window) : nullptr;
    if (!rendered) {
        if ((view != nullptr && view->image.count != 0) || stripImage.count != 0) {
            ReleaseStrip(view);
            ReleaseStrip(nullptr);
            if (hostWindow != nullptr) hostWindow->dirty = kWindowDirtyRepaint;
        }
        return false;
    }
    // Under the chart's own curves, its top row first (y runs down the plot).
    if (hostWindow != nullptr && OnUiThread() && gWinMakeCurrent(hostWindow)) {
        const std::vector<uint8_t> rgba = ClearGround(strip);
        if (stripImage.Upload(hostWindow, rgba.data(), 4, false, TextureSize{strip.width, strip.height})) {
            SetFrameRect(nullptr);
            hostWindow->dirty = kWindowDirtyRepaint;
        }
    }
    if (view == nullptr || view->widget == nullptr) return false;
    gWindow* w = gWinValidate(view->widget->window);
    if (w == nullptr || !OnUiThread() || !gWinMakeCurrent(w)) return false;
    // The picture has its top row first (larger values higher up); the view shows a
    // frame's first row at the bottom.
    FlipRows(&strip);
    TextureViewFrame frame;
    frame.width = strip.width;
    frame.height = strip.height;
    frame.channels = static_cast<int32_t>(strip.channels);
    frame.pixels = strip.pixels;
    view->Upload(&frame, TextureSize{width, height});
    SetFrameRect(view);
    return true;
}

bool ChartWindow::UpdateStrip(TextureView* view) {
    const Chart1DDevice* d = Device();
    if (d == nullptr || d->frameFlags[0] == 0 || strip.ready == 0) {
        RenderToTextureView(view);
        return false;
    }
    int32_t width = 0, height = 0;
    if (!StripSize(&width, &height)) return false;
    if (view != nullptr) view->FitImage(TextureSize{width, height});
    SetFrameRect(view);
    return true;
}

}  // namespace orva
