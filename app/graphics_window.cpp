#include "app/graphics_window.h"

#include <mutex>

#include "app/message_dialog.h"
#include "app/output_device.h"
#include "framework/display_lock.h"
#include "toolkit/layout.h"
#include "toolkit/texture_image.h"
#include "toolkit/window.h"

namespace orva {

GraphicsHostServices& TheGraphicsHostServices() {
    static GraphicsHostServices services;
    return services;
}

GraphicsShapeServices& TheGraphicsShapeServices() {
    static GraphicsShapeServices services;
    return services;
}

GraphicsHost* GraphicsWindow::Host() const {
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return cell != nullptr && s.host != nullptr ? s.host(cell) : nullptr;
}

void GraphicsWindow::Redraw() {
    GraphicsHost* host = Host();
    if (host != nullptr && host->window != nullptr && gWinValidate(host->window) != nullptr) gWinRedraw(host->window);
    RepaintHosts();
}

void GraphicsWindow::SelectTabChanged(int32_t) {
    GraphicsHost* host = Host();
    if (host != nullptr && gWinValidate(host->window) != nullptr) host->window->dirty = kWindowDirtyRepaint;
}

void GraphicsWindowAllIdleWalk(OutputWindow* window, DeviceViewBase* except) {
    if (window == nullptr) return;
    for (DeviceViewBase* d = window->latest; d != nullptr; d = d->older) {
        if (d == except) continue;
        if (d->stop[kDeviceHiddenByte] == 0 && d->stop[kDevicePendingByte] == 0) return;
    }
    window->allFrozen = 1;
}

void GraphicsLensRefreshMarked(DisplayCellBase* cell) {
    const GraphicsHostServices& s = TheGraphicsHostServices();
    GraphicsLens* lens = cell != nullptr && s.lens != nullptr ? s.lens(cell) : nullptr;
    if (lens == nullptr || lens->refresh == 0) return;
    lens->refresh = 0;
    lens->ready = 0;
    gWindow* w = gWinValidate(lens->window);
    if (w != nullptr && lens->image != nullptr && OnUiThread() && gWinMakeCurrent(w)) lens->image->Release();
    if (w != nullptr) w->dirty = kWindowDirtyRepaint;
}

bool PollComponentState(OutputWindow* window) {
    if (window == nullptr || window->current == nullptr) return false;
    DeviceViewBase* device = window->current;
    auto* graphics = dynamic_cast<GraphicsWindow*>(window);
    const int32_t code = device->Refresh();
    device->lastPullCode = code;
    if (code >= 3 && device->deliverHook != nullptr && device->deliverHook(device)) {
        if (graphics != nullptr && graphics->dataChanged != nullptr) graphics->dataChanged(graphics);
        if (graphics != nullptr && graphics->dataReady != nullptr) graphics->dataReady(graphics);
        return true;
    }
    if (code > 0 && graphics != nullptr && graphics->dataChanged != nullptr) graphics->dataChanged(graphics);
    if (code == 1) {
        // A pending pull: the host deals with it and the device starts again from nothing.
        const GraphicsHostServices& s = TheGraphicsHostServices();
        if (window->cell != nullptr && s.pending != nullptr) s.pending(window->cell, device);
        device->lastPullCode = 0;
    }
    if (code < 2) GraphicsWindowAllIdleWalk(window, device);
    if (code == 2) window->allFrozen = 0;
    return code > 0;
}

// ---- Output devices -------------------------------------------------------------------------

GraphicsWindow* OutputDevice::Window() const { return dynamic_cast<GraphicsWindow*>(window); }

GraphicsHost* OutputDevice::HostRecord() const {
    DisplayCellBase* cell = Cell();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return cell != nullptr && s.host != nullptr ? s.host(cell) : nullptr;
}

bool OutputDevice::IsCurrent() const {
    DisplayCellBase* cell = Cell();
    return cell != nullptr && cell->currentDevice == this;
}

bool OutputDevice::HostIsActive() const {
    DisplayCellBase* cell = Cell();
    const GraphicsHostServices& s = TheGraphicsHostServices();
    return cell != nullptr && s.isActiveCell != nullptr && s.isActiveCell(cell);
}

void OutputDevice::MarkByLevel(int32_t level) {
    if (level < kDeviceLevelMark || !OnUiThread()) return;
    GraphicsHost* host = HostRecord();
    if (host != nullptr && gWinValidate(host->window) != nullptr) host->window->dirty = kWindowDirtyRepaint;
    if (level >= kDeviceLevelRepaint) gWinRefreshAll();
}

void OutputDevice::TakeAttachEvent(int32_t code, int32_t level) {
    if (pin.upstream == nullptr) return;
    if (code == kDeviceEventAttachOther && IsCurrent()) return;
    DisplayCellBase* cell = Cell();
    ViewAttachConsumer(window, nullptr);
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        PollComponentState(cell != nullptr && cell->currentWindow != nullptr ? cell->currentWindow : window);
    }
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (cell != nullptr && s.requestRedraw != nullptr) s.requestRedraw(cell, kDeviceLevelMark);
    if (code == kDeviceEventAttach || ComponentUiUp()) MarkByLevel(level);
}

const FrameDataRecord* OutputDevice::FrameDescription(int32_t frame, int32_t channel) {
    return QueryFrameDesc(this, frame, channel);
}

const FrameDataRecord* QueryFrameDesc(const DeviceViewBase* device, int32_t frame, int32_t channel) {
    if (device == nullptr) return nullptr;
    ComponentBase* up = device->pin.upstream;
    if (up == nullptr || !ComponentIsLive(up)) return nullptr;
    const FrameDataRecord* cached = up->CachedFrameData();
    if (cached != nullptr && (frame < 0 || cached->frame == frame) && (channel < 0 || cached->section == channel))
        return cached;
    return up->QueryFrameData(frame, channel);
}

}  // namespace orva
