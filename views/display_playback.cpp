#include "views/display_playback.h"

#include <GL/gl.h>

#include <algorithm>

#include "app/cui.h"
#include "app/graphics_window.h"
#include "app/output_device.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "platform/gl_context.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/playback.h"
#include "views/workspace.h"

namespace orva {

namespace {

bool Shown(const gElement* e) { return e != nullptr && gWgtIsLive(e) && e->shown != 0 && e->dead == 0; }

bool Overlap(const gElement* a, const gElement* b) {
    return a->x < b->x + b->width && b->x < a->x + a->width && a->y < b->y + b->height && b->y < a->y + a->height;
}

// True when the workspace fills one of the user interface's window groups.
bool HeldByUi(const WorkspaceComponent* ws) {
    auto* cui = dynamic_cast<CUI*>(ws->ui);
    if (cui == nullptr) return false;
    for (const WindowGroup& g : cui->groups)
        if (g.workspace == ws) return true;
    return false;
}

}  // namespace

gWindow* PlaybackWindowOf(ComponentBase* component) {
    if (DisplayComponent* cell = AsDisplayCell(component)) return gWinValidate(cell->window);
    if (WorkspaceComponent* ws = AsWorkspace(component)) return gWinValidate(ws->window);
    return nullptr;
}

ComponentBase* PlaybackCurrentWorkspaceOf(DisplayCellBase* display) {
    DisplayComponent* cell = AsDisplayCell(display);
    WorkspaceComponent* ws = cell != nullptr ? cell->workspace : nullptr;
    if (ws == nullptr || ws->activeCell != cell || !HeldByUi(ws)) return nullptr;
    return ws;
}

bool PlaybackDrawCellImage(DisplayCellBase* display, gWindow* window, bool overlays) {
    DisplayComponent* cell = AsDisplayCell(display);
    if (cell == nullptr || window == nullptr) return false;
    gElement* image = cell->widget;
    if (!Shown(image) || image->window != window) return false;
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    gWgtPaintOne(image);
    if (overlays) {
        // What lies over the image: the widgets after it in the window's list.
        for (gElement* e = image->next; e != nullptr; e = e->next)
            if (Shown(e) && Overlap(e, image)) gWgtPaintOne(e);
    }
    // Text of the overlays waits in the batch until it is flushed: before the swap.
    gTextBatchFlush();
    return true;
}

void PlaybackRedrawReadouts(DisplayCellBase* display) {
    DisplayComponent* cell = AsDisplayCell(display);
    if (cell == nullptr || !cell->IsActive()) return;
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (s.updateReadouts != nullptr) {
        s.updateReadouts(cell);
        return;
    }
    // Without readouts that repaint at once, the pages are marked for the next refresh.
    const DisplayHooks& h = TheDisplayHooks();
    if (h.updateCoordText != nullptr) h.updateCoordText(cell->workspace);
}

void PlaybackRedrawCellWidgets(DisplayCellBase* display) {
    DisplayComponent* cell = AsDisplayCell(display);
    if (cell == nullptr || cell->rulers.shown == 0) return;
    if (GraphicsWindow* gw = cell->Graphics()) gw->UpdateScales();
    gWindow* w = gWinValidate(cell->window);
    if (w == nullptr || !gWinSwapCopies(w) || !gWinCanDraw(w) || !gWinMakeCurrent(w)) return;
    bool drawn = false;
    for (gElement* e : {cell->rulers.widgetH, cell->rulers.widgetV}) {
        if (!Shown(e) || e->window != w) continue;
        gWgtPaintOne(e);
        drawn = true;
    }
    if (!drawn) return;
    gTextBatchFlush();
    platform::SwapBuffers(w->hdc);
}

void PlaybackRedraw(ComponentBase* component) {
    if (auto* display = dynamic_cast<DisplayCellBase*>(component)) display->Layout();
}

void PlaybackFrameSync(ComponentBase* owner) {
    DisplayComponent* cell = AsDisplayCell(owner);
    if (cell == nullptr) {
        WorkspaceComponent* ws = AsWorkspace(owner);
        cell = ws != nullptr ? ws->activeCell : nullptr;
    }
    if (cell == nullptr || cell->portList == nullptr) return;
    const FramePlayer& player = cell->portList->player;
    if (player.count.load() < 2) return;
    // The view's own selection takes the frame, so that it stays when the list's frames go.
    auto* device = dynamic_cast<OutputDevice*>(cell->currentDevice);
    if (device != nullptr) device->SelectIndex(player.current.load() + 1);
    const GraphicsHostServices& s = TheGraphicsHostServices();
    if (cell->IsActive()) {
        if (s.refreshTransportPage != nullptr) s.refreshTransportPage(cell);
        if (s.redrawFastSelectorFrame != nullptr) s.redrawFastSelectorFrame(cell);
    }
    DisplayRequestRedraw(cell, kRedrawMark);
}

void PlaybackFollowFrame(ComponentBase* owner) {
    DisplayComponent* cell = AsDisplayCell(owner);
    if (cell == nullptr || !cell->IsActive()) return;
    const DisplayHooks& h = TheDisplayHooks();
    if (h.markSelectorFrame != nullptr) h.markSelectorFrame(cell->workspace);
}

void PlaybackReloadRecord(DeviceViewBase* record) {
    DisplayComponent* cell = record != nullptr ? AsDisplayCell(record->display) : nullptr;
    if (cell != nullptr) cell->Refresh(0);
}

void PlaybackRelinkRecord(DeviceViewBase* record) {
    if (record != nullptr && record->window != nullptr) ViewAttachConsumer(record->window, nullptr);
}

void PlaybackRecordDelivered(DeviceViewBase* record) {
    auto* gw = record != nullptr ? dynamic_cast<GraphicsWindow*>(record->window) : nullptr;
    if (gw == nullptr || gw->current != record) return;
    // The numbers listed beside the window and the value under a resting pointer are the
    // new frame's. The readouts are marked: they are shown with the frame's own paint.
    if (gw->refreshStatistics != nullptr) gw->refreshStatistics(gw);
    const bool changed = gw->updateReadout != nullptr && gw->updateReadout(gw);
    DisplayComponent* cell = AsDisplayCell(record->display);
    const DisplayHooks& h = TheDisplayHooks();
    if (changed && cell != nullptr && cell->IsActive() && h.updateCoordText != nullptr) h.updateCoordText(cell->workspace);
}

void DisplayFillPlaybackHooks(PlaybackHooks* h) {
    if (h == nullptr) return;
    h->currentWorkspaceOf = &PlaybackCurrentWorkspaceOf;
    h->windowOf = &PlaybackWindowOf;
    h->drawCellImage = &PlaybackDrawCellImage;
    h->redrawReadouts = &PlaybackRedrawReadouts;
    h->redrawCellWidgets = &PlaybackRedrawCellWidgets;
    h->redraw = &PlaybackRedraw;
    h->frameSync = &PlaybackFrameSync;
    h->followFrame = &PlaybackFollowFrame;
    h->reloadRecord = &PlaybackReloadRecord;
    h->relinkRecord = &PlaybackRelinkRecord;
    h->delivered = &PlaybackRecordDelivered;
}

void PlaybackForgetDisplay(DisplayCellBase* display) {
    if (display == nullptr) return;
    EventTimer& timer = TheEventTimer();
    const bool plays = timer.owner.load() == display;
    const bool paused = timer.paused != 0 && timer.savedOwner == display;
    if (!plays && !paused) return;
    timer.Stop(false);
    timer.ForgetPlayback();
}

}  // namespace orva
