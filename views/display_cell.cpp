#include "views/display_cell.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "common/global_buffer.h"
#include "common/log.h"
#include "framework/display_lock.h"
#include "shapes/shape_container.h"
#include "shapes/ui/shape_drawing.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/list_control.h"
#include "views/select_tab_page.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/list_control.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"
#include "app/graphics_window.h"
#include "app/output_device.h"
#include "views/display_playback.h"
#include "views/playback.h"
#include "views/workspace_readouts.h"
#include "views/playback.h"
#include "views/workspace.h"

namespace orva {

namespace {

std::unordered_set<const void*>& LiveCells() {
    static std::unordered_set<const void*> cells;
    return cells;
}

// The window flags under which a window may not draw its display lists.
constexpr uint32_t kNoListsMask = 0x1C;
// The widget style bit of a cell's widget.
constexpr uint32_t kCellWidgetStyleBit = 0x200000;
// Creation style of the cell's widget.
constexpr uint32_t kCellWidgetCreate = 0x44000000;

bool UiUp() { return ComponentUiUp(); }

void PaintWhole(gWindow* w) {
    DisplayHooks& h = TheDisplayHooks();
    if (h.paintWindow != nullptr) h.paintWindow(w);
}

bool MakeCurrent(gWindow* w) {
    DisplayHooks& h = TheDisplayHooks();
    return h.makeCurrent != nullptr && h.makeCurrent(w);
}

void RefreshAll() {
    DisplayHooks& h = TheDisplayHooks();
    if (h.refreshAll != nullptr) h.refreshAll();
}

void ToolkitPaint(gWindow* w) {
    glViewport(0, 0, w->clientWidth, w->clientHeight);
    gWinPaint(w);
    gWinSwapPainted(w);
}

void RefreshPanels(ComponentBase* c) { RefreshComponentPanels(c, true); }

bool PollWindow(OutputWindow* w) {
    const ComponentServices& s = TheComponentServices();
    return w != nullptr && s.pollComponentState != nullptr && s.pollComponentState(w);
}

// The preview of the active cell's workspace when it is on.
TextureView* LivePreview(DisplayComponent* cell) {
    WorkspaceComponent* ws = cell->workspace;
    if (ws == nullptr || !cell->IsActive() || ws->previewOn == 0) return nullptr;
    return &ws->preview;
}

// A rendered preview that has no frame any more: its picture released in its window's
// context and the window marked. A chart draws its strip into the preview itself, so a
// picture there counts as rendered too.
void ClearPreview(WorkspaceComponent* ws) {
    if (ws == nullptr || (ws->previewRendered == 0 && ws->preview.image.count == 0)) return;
    ws->previewRendered = 0;
    gWindow* w = ws->preview.widget != nullptr ? ws->preview.widget->window : nullptr;
    if (w != nullptr && MakeCurrent(w)) ws->preview.image.Release();
    MarkWindowForRedraw(w);
}

bool HasProducer(const OutputWindow* w) { return w != nullptr && w->current != nullptr && w->current->HasProducer(); }

// The cell's statistics list while it lives. Its page window may go first when the
// program ends (a page shown at start was made before the windows it is destroyed after):
// the list went with it and is forgotten.
ListCtrl* LiveStatisticsList(DisplayComponent* cell) {
    if (cell->statisticsList != nullptr && !ListCtrl::IsLive(cell->statisticsList)) {
        cell->statisticsList = nullptr;
        cell->statisticsWindow = nullptr;
    }
    return cell->statisticsList;
}

}  // namespace

// ---- Hooks ------------------------------------------------------------------------------------------

void DisplayHooksDefaults(DisplayHooks* h) {
    *h = DisplayHooks{};
    h->paintWindow = &ToolkitPaint;
    h->makeCurrent = &gWinMakeCurrent;
    h->refreshAll = &gWinRefreshAll;
    h->refreshPanels = &RefreshPanels;
}

DisplayHooks& TheDisplayHooks() {
    static DisplayHooks hooks = [] {
        DisplayHooks h;
        DisplayHooksDefaults(&h);
        return h;
    }();
    return hooks;
}

// ---- Small records -----------------------------------------------------------------------------------

void CellViewStateReset(CellViewState* state) {
    if (state == nullptr) return;
    state->flags[0] = state->flags[1] = 0;
    state->words[0] = state->words[1] = 0;
    state->factor = 1.0;
    state->modeBits &= ~0xC00000u;
    state->counter = 1;
}

int32_t PlotSizeFromFloat(float size) {
    if (!(size < kPlotSizeClamp)) return std::isnan(size) ? 0 : kPlotSizeLimit;
    if (size <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(size);
}

// ---- Redraw levels -------------------------------------------------------------------------------------

void MarkWindowForRedraw(gWindow* window) {
    if (window != nullptr) window->dirty = 7;
}

bool PaintWindowNow(gWindow* window, bool checkState) {
    if (window == nullptr) return false;
    if (checkState && (window->state & kNotDrawnMask) != 0) {
        MarkWindowForRedraw(window);
        return false;
    }
    if (!MakeCurrent(window)) {
        MarkWindowForRedraw(window);
        return false;
    }
    PaintWhole(window);
    if (checkState && window->pendingUpdate != nullptr) *window->pendingUpdate = 0;
    window->dirty = 0;
    return true;
}

void DisplayRequestRedraw(DisplayComponent* cell, int32_t level) {
    if (cell == nullptr) return;
    DisplayHooks& h = TheDisplayHooks();
    MarkWindowForRedraw(cell->window);
    if (h.refreshPanels != nullptr) h.refreshPanels(cell);
    WorkspaceComponent* ws = cell->workspace;
    if (ws != nullptr && ws->activeCell == cell) {
        if (h.refreshViewModePage != nullptr) h.refreshViewModePage(ws);
        if (h.refreshFollowingPages != nullptr) h.refreshFollowingPages(ws);
        if (cell->RenderPreview()) level = kRedrawAll;
        if (h.updateCoordText != nullptr && h.updateCoordText(ws) && level == kRedrawNow) {
            RefreshAll();
            return;
        }
    }
    if (level == 6 || level == kRedrawNow) {
        // The window stays marked when its context cannot be made current.
        if (cell->window != nullptr && MakeCurrent(cell->window)) {
            PaintWhole(cell->window);
            cell->window->dirty = 0;
        }
    } else if (level == kRedrawAll) {
        RefreshAll();
    }
}

// ---- Ready groups ----------------------------------------------------------------------------------------

void MarkGroupReady(OutputWindow* group, DeviceViewBase* device) {
    if (group != nullptr && group->allFrozen == 0) GraphicsWindowAllIdleWalk(group, device);
}

bool PollDeviceAndGroup(DeviceViewBase* device) {
    if (device == nullptr) return false;
    int32_t state = device->Refresh();
    device->lastPullCode = state;
    OutputWindow* group = device->window;
    if (state >= 3) {
        // New data count only when the device took them.
        return device->deliverHook != nullptr && device->deliverHook(device);
    }
    if (state < 2) {
        MarkGroupReady(group, device);
    } else if (group != nullptr) {
        group->allFrozen = 0;
    }
    return state > 0;
}

bool DisplayOnDataReady(int32_t level, DisplayComponent* cell, DeviceViewBase* device) {
    if (cell == nullptr || device == nullptr) return false;
    bool result;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (device == cell->currentDevice && cell->ActiveOrAlone()) {
            result = PollWindow(cell->currentWindow);
        } else {
            result = PollDeviceAndGroup(device);
        }
    }
    if (result) {
        if (level == kRedrawNow) {
            PaintWindowNow(cell->window, true);
        } else if (level >= kRedrawMark) {
            MarkWindowForRedraw(cell->window);
        }
    }
    return result;
}

void RedeliverAll(DisplayComponent* cell) {
    if (cell == nullptr) return;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        bool alone = cell->ActiveOrAlone();
        if (alone) PollWindow(cell->currentWindow);
        OutPort* port = cell->port;
        for (DeviceViewBase* d = port != nullptr ? port->firstDevice : nullptr; d != nullptr; d = d->portNext) {
            if (d->frozen != 0) continue;
            if (alone && d == cell->currentDevice) continue;
            PollDeviceAndGroup(d);
        }
    }
    MarkWindowForRedraw(cell->window);
}

// ---- Pipeline events ----------------------------------------------------------------------------------------

void DisplayOnPipelineEvent(DisplayComponent* cell, int32_t event, int32_t level) {
    if (cell == nullptr || event < 2 || event > 23) return;
    switch (event) {
        case kEventDataChanged: {
            DeviceViewBase* d = cell->currentDevice;
            if (d == nullptr) {
                DisplayOnPipelineEvent(cell, kEventRefresh, level);
                return;
            }
            // The device's bindings: its window, else the primary window of its port.
            if (d->window != nullptr) {
                ViewAttachConsumer(d->window, nullptr);
            } else if (d->port != nullptr && d->port->primaryWindow != nullptr) {
                ViewFindConsumer(d->port->primaryWindow);
            } else {
                return;
            }
            {
                std::lock_guard<std::recursive_mutex> hold(DisplayLock());
                PollWindow(cell->currentWindow);
            }
            DisplayRequestRedraw(cell, kRedrawMark);
            if (level >= kRedrawMark) {
                MarkWindowForRedraw(cell->window);
                if (level == kRedrawNow) RefreshAll();
            }
            return;
        }
        case kEventRemoveAllShapes:
            if (cell->activeShapes != nullptr) cell->activeShapes->RemoveShapesOf(0, nullptr, 0, false);
            return;
        case kEventRemoveShape:
            if (cell->activeShapes != nullptr) {
                ShapeContainer* c = cell->activeShapes;
                c->RemoveShape(0, nullptr, c->current, true, false, 0, nullptr);
            }
            return;
        case kEventDrawNow:
            if (level < kRedrawMark) return;
            if (level == kRedrawNow) {
                PaintWindowNow(cell->window, true);
            } else {
                MarkWindowForRedraw(cell->window);
            }
            return;
        case kEventRefresh:
        case kEventSelectionChanged:
            if (!UiUp() || cell->window == nullptr || level < kRedrawMark) return;
            if (event == kEventSelectionChanged) {
                DisplayHooks& h = TheDisplayHooks();
                if (cell->IsActive() && h.refreshSelectTabPage != nullptr) h.refreshSelectTabPage(cell->workspace);
                return;
            }
            DisplayRequestRedraw(cell, kRedrawMark);
            MarkWindowForRedraw(cell->window);
            if (level > 5) RefreshAll();
            return;
        default:
            return;
    }
}

// ---- The component ------------------------------------------------------------------------------------------

DisplayComponent* AsDisplayCell(ComponentBase* component) {
    if (component == nullptr || LiveCells().count(component) == 0) return nullptr;
    return static_cast<DisplayComponent*>(component);
}

size_t LiveDisplayCellCount() { return LiveCells().size(); }

GraphicsHost* DisplaySyncHost(DisplayComponent* cell) {
    if (cell == nullptr) return nullptr;
    GraphicsHost& h = cell->host;
    // The playback thread's pull reads the record too (under the display lock, while the
    // UI thread may paint): a field is written only when it changes.
    auto keep = [](auto& field, auto value) {
        if (field != value) field = value;
    };
    keep(h.window, cell->window);
    keep(h.view, cell->widget);
    keep(h.width, cell->plotWidth);
    keep(h.height, cell->plotHeight);
    keep(h.sliders, static_cast<SliderCtrl*>(&cell->rulers));
    ViewConsumer* view = cell->View();
    keep(h.shapes, view != nullptr ? view->shapes : nullptr);
    ListCtrl* statistics = LiveStatisticsList(cell);
    keep(h.statistics, statistics != nullptr ? statistics->widget : nullptr);
    keep(h.zoomPage, &cell->zoomPage);
    keep(h.readoutPage, &cell->readoutPage);
    // The preview shows the active cell's frame only.
    TextureView* preview = LivePreview(cell);
    if (preview != nullptr && preview->widget == nullptr) preview = nullptr;
    keep(cell->readoutPage.view, preview);
    keep(cell->zoomPage.lens, preview);
    return &h;
}

DisplayComponent::DisplayComponent(gWindow* w, const float* sizes)
    : DisplayCellBase(nullptr),
      rulers(sizes != nullptr ? sizes[0] : kRulerWidth, sizes != nullptr ? sizes[1] : kRulerHeight) {
    LiveCells().insert(this);
    AffineRecordInit(&affine);
    rulers.cell = this;
    if (w == nullptr) return;
    window = w;
    panelBuilder = &DisplayPanelBuilder;
    kind = 1;
    name = "Display";
}

DisplayComponent::~DisplayComponent() {
    // The timer may play this cell's frames or hold them paused: it lets go first.
    PlaybackForgetDisplay(this);
    bool up = UiUp();
    if (up) HideRulers(this);
    ReleaseViewResources();
    if (workspace != nullptr) {
        WorkspaceComponent* ws = workspace;
        bool wasActive = ws->activeCell == this;
        RemoveCell(ws, this);
        if (wasActive && up) {
            uint32_t number = 0;
            DisplayComponent* next = GetCellByNumber(ws, &number, true);
            ws->activeCell = next;
        }
    }
    if (up) RefreshAll();
    if (widget != nullptr && gWgtIsLive(widget)) {
        widget->handlerData = 0;
        widget->onMoved = nullptr;
        gWgtRemove(widget, true);
    }
    widget = nullptr;
    std::free(scratch);
    scratch = nullptr;
    CellViewStateReset(&viewState);
    std::free(globalBlock);
    globalBlock = nullptr;
    LiveCells().erase(this);
}

void DisplayComponent::ReleaseViewResources() {
    if (!UiUp()) return;
    CellViewStateReset(&viewState);
    std::free(scratch);
    scratch = nullptr;
    // The window may have gone before the cell (its workspace's page closed it).
    gWindow* w = gWinValidate(window);
    if (w != nullptr && (w->state & kNoListsMask) == 0 && MakeCurrent(w)) {
        for (uint32_t& list : displayLists) {
            if (list != 0) glDeleteLists(list, 1);
            list = 0;
        }
    }
    WorkspaceComponent* ws = workspace;
    if (ws != nullptr && ws->activeCell == this && ws->lens.on != 0 && ws->lens.pinned == 0) {
        ws->lens.on = 0;
        DisplayHooks& h = TheDisplayHooks();
        if (h.refreshLensPage != nullptr) h.refreshLensPage(ws);
    }
    MarkWindowForRedraw(w);
}

const ComponentId* DisplayComponent::GetClassId() const { return &kDisplayCellId; }

bool DisplayComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new DisplayComponent(nullptr, nullptr);
    return *out != nullptr;
}

bool DisplayComponent::QueryInterface(const ComponentId* id, void** out) {
    static const ComponentId* const kSupported[] = {&kDisplayCellId, &kBaseId, &kComponentBaseId};
    return AnswerInterface(id, out, kSupported, 3);
}

bool DisplayComponent::QueryProperties(const ComponentId*, PropertyComponent**) { return false; }

bool DisplayComponent::NegotiateInput(ConsumerLink*, FormatRequest*) { return false; }

ConsumerLink* DisplayComponent::GetInputLink(int index) {
    if (index != 0 || currentDevice == nullptr) return nullptr;
    return &currentDevice->pin;
}

int32_t DisplayComponent::Refresh(uint8_t) {
    bool delivered = false;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (currentDevice != nullptr) {
            delivered = ActiveOrAlone() ? PollWindow(currentWindow) : PollDeviceAndGroup(currentDevice);
        }
    }
    DisplayRequestRedraw(this, kRedrawMark);
    return delivered ? 2 : 0;
}

bool DisplayComponent::OnMessage(MessageRecord* m, uint32_t argument) {
    if (!UiUp()) return true;
    if (m == nullptr) return false;
    switch (m->code) {
        case 1:
            if (rulers.shown != 0) {
                rulers.hidden = 1;
                for (gElement* e : {rulers.widgetH, rulers.widgetV})
                    if (e != nullptr && gWgtIsLive(e)) e->shown = 0;
            }
            PortResetSources(port);
            return true;
        case 2:
        case 3:
            return true;
        default:
            return ComponentOnSelect(this, m, argument);
    }
}

namespace {

// Delivery to one receiver: the state rule, then its message handler and its page
// message operation (`end`: the answering one).
bool DeliverUpstream(ComponentBase* receiver, MessageRecord* m, uint32_t argument, bool end) {
    if (receiver == nullptr || m == nullptr || m->code == 0) return false;
    if (end) return ComponentDeliverMessageQuery(receiver, m, argument);
    ComponentDeliverMessage(receiver, m, argument);
    return true;
}

bool ForwardMessage(DisplayComponent* cell, MessageRecord* m, uint32_t argument, bool end) {
    OutPort* port = cell->port;
    if (port == nullptr || m == nullptr || m->code == 0) return false;
    int32_t code = m->code;
    if (code >= 256 && code <= 301) {
        DeviceViewBase* d = cell->currentDevice;
        if (d == nullptr) return false;
        ComponentBase* up = d->pin.upstream;
        if (m->Tag() == kMessageTagCode) {
            // The device's input link, when it is enabled, gives its two parameters.
            if (up == nullptr || d->frozen != 0) return false;
            FrameMessage frame(code, static_cast<int32_t>(d->frameRequest.frame),
                               static_cast<int32_t>(d->frameRequest.section));
            return DeliverUpstream(up, &frame, argument, end);
        }
        return DeliverUpstream(up, m, argument, end);
    }
    bool any = false;
    for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->portNext) {
        if (d->frozen != 0 || d->pin.upstream == nullptr) continue;
        any = DeliverUpstream(d->pin.upstream, m, argument, end) || any;
    }
    return any;
}

}  // namespace

void DisplayComponent::SendPageMessage(MessageRecord* m, uint32_t argument) { ForwardMessage(this, m, argument, false); }

bool DisplayComponent::QueryPageMessage(MessageRecord* m, uint32_t argument) {
    return ForwardMessage(this, m, argument, true);
}

void DisplayComponent::OnPortGone(int32_t code) { OnPipelineEvent(code, kRedrawMark); }

OutPort* DisplayComponent::CreatePort() {
    host.shapeOptions.snapInvert = shapeSettings.snapOption;
    return new (std::nothrow) ViewConsumer(this, static_cast<int>(shapeSettings.snapOption));
}

ViewConsumer* DisplayComponent::View() const { return dynamic_cast<ViewConsumer*>(port); }

GraphicsWindow* DisplayComponent::Graphics() const { return dynamic_cast<GraphicsWindow*>(currentWindow); }

bool DisplayComponent::ShowsData() const { return HasProducer(currentWindow); }

bool DisplayComponent::IsActive() const { return workspace != nullptr && workspace->activeCell == this; }

bool DisplayComponent::ActiveOrAlone() const { return workspace == nullptr || workspace->activeCell == this; }

void DisplayComponent::EndEditMode() {
    editMode = 0;
    if (widget != nullptr) widget->style &= ~kCellEditStyle;
    host.drag.state = 0;
    host.drag.mode = 0;
    ViewConsumer* v = View();
    if (v != nullptr && v->shapes != nullptr) static_cast<ShapeContainer*>(v->shapes)->SetShapesFlag(1, true);
}

void DisplayComponent::ResetView(bool full) {
    EndEditMode();
    if (activeShapes != nullptr) {
        activeShapes->Activate(false);
        activeShapes = nullptr;
    }
    if (!UiUp()) return;
    ViewConsumer* v = View();
    if (v != nullptr && uiChart != nullptr) uiChart->Reset();
    WorkspaceComponent* ws = workspace;
    auto clearReadoutMarkers = [ws] {
        if (ws != nullptr) ws->readouts.markers[0] = ws->readouts.markers[1] = 0;
    };
    auto clearStatistics = [this] {
        if (ListCtrl* list = LiveStatisticsList(this)) ListCtrl::ClearValuesIfSet(list->widget);
    };
    if (!full) {
        if (widget != nullptr) gWgtClearValue(widget);
        HideRulers(this);
        if (window != nullptr) gWinSetColors(window, kCellDefaultColours);
        clearStatistics();
        clearReadoutMarkers();
        // The preview showed what the cell showed: it goes with it, and the data that
        // comes next draws its own.
        if (IsActive()) ClearPreview(ws);
        return;
    }
    if (v == nullptr) return;
    if (auto* device = dynamic_cast<OutputDevice*>(currentDevice)) device->ResetDeviceView(false);
    HideRulers(this);
    clearReadoutMarkers();
    if (ws != nullptr && ws->previewOn != 0 && IsActive()) {
        ws->previewOn = 0;
        ClearPreview(ws);
        if (ws->preview.widget != nullptr) {
            ws->preview.widget->shown = 0;
            MarkWindowForRedraw(ws->preview.widget->window);
        }
    }
    if (widget != nullptr) {
        gWgtClearValue(widget);
        gWgtDefaultColor(widget);
    }
    if (window != nullptr) gWinSetColors(window, kCellDefaultColours);
    EndEditMode();
    if (activeShapes != nullptr) {
        activeShapes->Activate(false);
        activeShapes = nullptr;
    }
    clearStatistics();
    if (uiChart != nullptr) uiChart->Reset();
    ReleaseViewResources();
    DisplayRequestRedraw(this, kRedrawMark);
}

void DisplayComponent::ActivateShapes() {
    ViewConsumer* v = View();
    if (v == nullptr || v->shapes == nullptr) return;
    activeShapes = static_cast<ShapeContainer*>(v->shapes);
    activeShapes->Activate(true);
    WorkspaceComponent* ws = workspace;
    if (ws != nullptr && ws->preview.widget != nullptr && ws->previewOn == 0) {
        ws->preview.widget->shown = 1;
        ws->previewRendered = 0;
        MarkWindowForRedraw(ws->preview.widget->window);
        ws->previewOn = 1;
    }
}

void DisplayComponent::Relayout() {
    RulersShowForCell(this);
    float area[4];
    DisplayGetPlotArea(this, area, 0);
    if (widget != nullptr) {
        widget->x = widget->placedX = widget->homeX = area[0];
        widget->y = widget->placedY = widget->homeY = area[1];
        widget->width = widget->cellWidth = area[2];
        widget->height = widget->cellHeight = area[3];
    }
    int32_t w = PlotSizeFromFloat(area[2]), h = PlotSizeFromFloat(area[3]);
    if (w != plotWidth || h != plotHeight) {
        plotWidth = w;
        plotHeight = h;
    }
    if (GraphicsWindow* gw = Graphics()) gw->OnActivate();
    if (workspace != nullptr) {
        workspace->readouts.valuesCached = 0;
        workspace->readouts.channelsCached = 0;
        workspace->readouts.channelStale = 0;
    }
    RedeliverAll(this);
}

void DisplayComponent::Redraw() { DisplayRequestRedraw(this, kRedrawMark); }

void DisplayComponent::ResetColours() {
    EndEditMode();
    if (GraphicsWindow* gw = Graphics()) {
        gw->SetColours(kCellDefaultColours);
    } else if (window != nullptr) {
        gWinSetColors(window, kCellDefaultColours);
    }
}

void DisplayComponent::OnPipelineEvent(int32_t event, int32_t level) { DisplayOnPipelineEvent(this, event, level); }

void DisplayComponent::Draw() {
    gWindow* w = window;
    if (w == nullptr || (w->state & kNotDrawnMask) != 0 || !MakeCurrent(w)) return;
    PaintWhole(w);
    w->dirty = 0;
}

void DisplayComponent::ResetZoom() {
    if (!UiUp()) return;
    if (ListCtrl* list = LiveStatisticsList(this)) ListCtrl::ClearValuesIfSet(list->widget);
    if (GraphicsWindow* gw = Graphics()) gw->ResetZoomScroll();
}

namespace {

// The frame and section the device pulled last go up its chain as the selection
// (257): the Source at the head takes them as its current frame.
void SelectPulledFrame(DeviceViewBase* d) {
    ComponentBase* up = d != nullptr ? d->pin.upstream : nullptr;
    if (up == nullptr || d->frozen != 0) return;
    FrameMessage ask(257, d->frameRequest.frame, d->frameRequest.section);
    ComponentDeliverMessage(up, &ask, 0);
}

}  // namespace

void DisplayShowPlayedFrame(PortList* list) {
    if (list == nullptr) return;
    const int32_t current = list->player.current.load();
    std::vector<DisplayComponent*> cells;
    for (DeviceViewBase* d = list->firstDevice; d != nullptr; d = d->chainNext) {
        const int32_t frames = PlaybackFrameCount(d->pin.upstream);
        if (frames < 2 || d->frozen != 0) continue;
        // The device pulls this frame next; the preview selects the frame pulled last.
        d->frameRequest.frame = std::min(current, frames - 1);
        SelectPulledFrame(d);
        DisplayComponent* cell = AsDisplayCell(d->display);
        if (cell != nullptr && std::find(cells.begin(), cells.end(), cell) == cells.end()) cells.push_back(cell);
    }
    PlaybackStepRedraw(list);
    for (DisplayComponent* cell : cells) DisplayRequestRedraw(cell, kRedrawNow);
}

void DisplayFollowSteppedFrame(DisplayComponent* cell) {
    if (cell == nullptr) return;
    SelectPulledFrame(cell->currentDevice);
    DisplayRequestRedraw(cell, kRedrawAll);
}

bool DisplayComponent::RenderPreview() {
    DeviceViewBase* d = currentDevice;
    TextureView* preview = LivePreview(this);
    if (d == nullptr || preview == nullptr) return false;
    if (d->pin.upstream == nullptr) {
        ClearPreview(workspace);
        return false;
    }
    SelectPulledFrame(d);
    if (mode == 2) {
        auto* record = static_cast<SourceHolder*>(GetCurrentSourceRecord());
        if (record != nullptr && !record->loaded && record->current != nullptr) return false;
    }
    GraphicsWindow* gw = Graphics();
    if (gw == nullptr) return false;
    // The preview of a new frame pulls and colours the whole frame, which on a large one
    // takes far longer than drawing what the cell already holds: a cell waiting for its
    // repaint is drawn first, so that its picture does not wait for the preview's.
    if (window != nullptr && window->dirty != 0 && gw->PicturePullsFrame()) PaintWindowNow(window, true);
    bool rendered = gw->RenderToTextureView(preview);
    if (rendered) workspace->previewRendered = 1;
    return rendered;
}

// ---- Creation ------------------------------------------------------------------------------------------

DisplayComponent* DisplayOfWidget(const gElement* widget) {
    if (widget == nullptr || widget->kind != kDisplayWidgetKind) return nullptr;
    return AsDisplayCell(reinterpret_cast<ComponentBase*>(widget->handlerData));
}

gElement* CreateDisplayWidget(DisplayComponent* cell, const float* rect) {
    if (cell == nullptr || cell->window == nullptr) return nullptr;
    WidgetDesc d;
    d.kind = kDisplayWidgetKind;
    d.style = kWsLeft | kWsTop | kWsNoPlace;
    d.width = d.cellWidth = rect[2] != 0 ? rect[2] : 10.0f;
    d.height = d.cellHeight = rect[3] != 0 ? rect[3] : 10.0f;
    d.offsetX = rect[0];
    d.offsetY = rect[1];
    d.state[1] = 0x01010101u;  // state, active, partial, enabled
    d.state[2] = 1;            // shown
    d.paint = &DisplayPaint;
    gElement* e = gWgtCreate(cell->window, nullptr, nullptr, &d, kCellWidgetCreate);
    if (e == nullptr) return nullptr;
    // The lens reads what the cells drew: it stays the last widget of the window.
    WorkspaceComponent* ws = cell->workspace;
    gElement* lens = ws != nullptr ? ws->lens.widget : nullptr;
    if (lens != nullptr && gWgtIsLive(lens) && lens->window == e->window) {
        gWgtUnlink(lens);
        gWgtLinkAfter(lens, nullptr);
    }
    e->handlerData = reinterpret_cast<uintptr_t>(static_cast<ComponentBase*>(cell));
    e->style |= kCellWidgetStyleBit;
    e->paintImpl = &DisplayPaint;
    e->onMoved = &DisplayOnWidgetLayout;
    cell->widget = e;
    return e;
}

DisplayComponent* CreateDisplayCell(ComponentUi* ui, WorkspaceComponent* workspace, gWindow* hostWindow,
                                    bool narrow) {
    if (!UiUp()) return nullptr;
    if (hostWindow == nullptr && workspace != nullptr) hostWindow = workspace->window;
    float sizes[2] = {narrow ? kRulerWidthNarrow : kRulerWidth, kRulerHeight};
    auto* cell = new DisplayComponent(hostWindow, sizes);
    if (cell == nullptr) return nullptr;
    if (cell->window == nullptr) {
        cell->Release();
        return nullptr;
    }
    if (auto* cui = dynamic_cast<CUI*>(ui)) cell->uiChart = &cui->histogram;
    if (ui != nullptr && !ui->AddComponent(cell)) {
        cell->Release();
        return nullptr;
    }
    cell->workspace = workspace;
    const float rect[4] = {0.0f, 0.0f, 100.0f, 100.0f};
    if (CreateDisplayWidget(cell, rect) == nullptr) {
        LogPrintf("%s", "Can`t create workspace wgt");
        cell->workspace = nullptr;
        cell->Release();
        return nullptr;
    }
    if (workspace != nullptr && ListCtrl::IsLive(workspace->statisticsList)) {
        cell->statisticsList = workspace->statisticsList;
        cell->statisticsWindow = workspace->statisticsWindow;
    }
    return cell;
}

// ---- Geometry --------------------------------------------------------------------------------------------

void DisplaySetCellRect(DisplayComponent* cell, const float* rect) {
    if (cell == nullptr || rect == nullptr) return;
    std::copy(rect, rect + 4, cell->cellRect);
}

void DisplaySetCellSize(DisplayComponent* cell, const float* size) {
    if (cell == nullptr || size == nullptr) return;
    cell->cellRect[2] = size[0];
    cell->cellRect[3] = size[1];
}

void DisplayGetPlotArea(const DisplayComponent* cell, float out[4], int32_t scrollRows) {
    if (cell == nullptr || out == nullptr) return;
    float x = cell->cellRect[0], y = cell->cellRect[1], w = cell->cellRect[2], h = cell->cellRect[3];
    if (scrollRows > 0) h -= kScrollBarRow * static_cast<float>(scrollRows);
    const ViewRulers& r = cell->rulers;
    // The rulers sit at the cell's corner: the picture starts past them.
    if (r.hidden == 0 && r.shown != 0) {
        if (r.scaleShown[1] != 0) {
            float s = r.thickness[0] + cell->cellRect[0];
            w = w + cell->cellRect[0] - s;
            x = s;
        }
        if (r.scaleShown[0] != 0) {
            float t = r.thickness[1] + cell->cellRect[1];
            h = h + cell->cellRect[1] - t;
            y = t;
        }
    }
    out[0] = x;
    out[1] = y;
    out[2] = std::max(w, kPlotMinimum);
    out[3] = std::max(h, kPlotMinimum);
}

void DisplayApplyRulerOrigin(DisplayComponent* cell) {
    if (cell == nullptr) return;
    float w = cell->cellRect[2], h = cell->cellRect[3];
    gElement* e = cell->widget;
    const ViewRulers& r = cell->rulers;
    if (r.hidden == 0 && r.shown != 0 && e != nullptr) {
        if (r.scaleShown[1] != 0) w += cell->cellRect[0] - e->x;
        if (r.scaleShown[0] != 0) h += cell->cellRect[1] - e->y;
    }
    w = std::max(w, kPlotMinimum);
    h = std::max(h, kPlotMinimum);
    if (e == nullptr) return;
    if (w != e->width || h != e->height) {
        e->width = e->cellWidth = w;
        e->height = e->cellHeight = h;
        DisplayOnWidgetLayout(e);
    }
}

// ---- Painting --------------------------------------------------------------------------------------------

void DisplayPaint(gElement* e) {
    DisplayComponent* cell = DisplayOfWidget(e);
    if (cell == nullptr) return;
    if (gIsPicking()) {
        // The shapes on the picture come first: a click on one picks the shape.
        ViewConsumer* shown = cell->View();
        if (shown != nullptr && shown->shapes != nullptr) {
            PickShapeGlyphs(static_cast<const ShapeContainer*>(shown->shapes));
            glLoadName(e->serial);
        }
        gPickRect(e->x, e->y, e->x + e->width, e->y + e->height);
        return;
    }
    ViewConsumer* view = cell->View();
    if (view == nullptr || cell->currentWindow == nullptr) return;
    gWindow* w = e->window;
    if (w == nullptr) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, w->clientWidth, w->clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(e->x, e->y, 0);
    const double planes[4][4] = {{1, 0, 0, 0},
                                 {-1, 0, 0, static_cast<double>(cell->plotWidth)},
                                 {0, 1, 0, 0},
                                 {0, -1, 0, static_cast<double>(cell->plotHeight)}};
    for (int i = 0; i < 4; ++i) {
        glClipPlane(GL_CLIP_PLANE0 + i, planes[i]);
        glEnable(GL_CLIP_PLANE0 + i);
    }
    if (cell->host.offsetX != 0 || cell->host.offsetY != 0)
        glTranslatef(static_cast<float>(cell->host.offsetX), static_cast<float>(cell->host.offsetY), 0);
    // The layers of the view: each window of the port draws itself, in list order.
    for (OutputWindow* layer = view->firstWindow; layer != nullptr; layer = layer->next) {
        auto* gw = dynamic_cast<GraphicsWindow*>(layer);
        if (gw == nullptr || gw->draw == nullptr) continue;
        glPushMatrix();
        gw->draw(gw);
        glPopMatrix();
    }
    // The grid lies over the picture, fixed to the plot area (not scrolled with it).
    if (cell->grid.shown != 0) {
        glPushMatrix();
        glLoadIdentity();
        glTranslatef(e->x, e->y, 0);
        DisplayGridDraw(cell->grid, DisplayShowsChart(cell), cell->plotWidth, cell->plotHeight);
        glPopMatrix();
    }
    for (int i = 0; i < 4; ++i) glDisable(GL_CLIP_PLANE0 + i);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    // The rulers, painted after the picture, label the frame where it was just drawn: a
    // re-centred or kept-in-view frame moves without a slider update of its own. (A chart
    // places its scales with each change of its view.)
    if (cell->rulers.shown != 0 && cell->rulers.hidden == 0 && cell->rulers.target == cell->currentWindow &&
        !DisplayShowsChart(cell)) {
        if (auto* target = dynamic_cast<GraphicsWindow*>(cell->rulers.target)) target->PlaceSliders();
    }
}

// ---- Requests -------------------------------------------------------------------------------------------------

bool DisplayRemoveShapes(DisplayComponent* cell, bool all, const void* owner) {
    if (!UiUp() || cell == nullptr || cell->window == nullptr) return false;
    ShapeContainer* c = cell->activeShapes;
    if (c == nullptr) return true;
    if (!all) {
        // A deleted shape comes back with Ctrl+Z.
        c->RemoveShape(0, nullptr, c->current, true, false, kUndoModeRecord, nullptr);
    } else {
        // The user's Delete All comes back with Ctrl+Z too; the shapes of an owner that goes
        // go with it.
        c->RemoveShapesOf(0, owner, owner == nullptr ? kUndoModeRecord : kUndoModeNone, false);
    }
    return true;
}

bool DisplaySelectChannel(DisplayComponent* cell, int32_t number) {
    if (cell == nullptr || !cell->IsActive()) return false;
    if (GraphicsWindow* gw = cell->Graphics()) return gw->SelectChannel(number);
    WorkspaceReadouts& r = cell->workspace->readouts;
    int32_t index = number <= 0 ? 0 : number - 1;
    if (index >= r.channelCount) index = r.channelCount > 0 ? r.channelCount - 1 : 0;
    if (index == r.selectedChannel) return false;
    r.selectedChannel = index;
    r.channelStale = 1;
    r.channelsCached = 0;
    return true;
}

bool DisplayTogglePlayback(DisplayComponent* cell) {
    if (cell == nullptr || cell->port == nullptr || cell->portList == nullptr) return false;
    return PlaybackStart(&TheEventTimer(), cell, 1);
}

void DisplayRefreshToolPage(DisplayComponent* cell) {
    if (cell == nullptr || cell->statisticsWindow == nullptr) return;
    auto* holder = static_cast<ComponentBase*>(cell->statisticsWindow->userData);
    OptionsWindow* c = AsOptionsWindow(holder);
    if (c == nullptr) return;
    OptionsRefreshStandardPage(c, cell->statisticsWindow);
}

namespace {
// The cell's statistics list, when its window is there. A cell made before its
// workspace's list was takes the workspace's now.
ListCtrl* StatisticsListOf(DisplayComponent* cell) {
    if (cell == nullptr) return nullptr;
    if (cell->statisticsList == nullptr && cell->workspace != nullptr &&
        ListCtrl::IsLive(cell->workspace->statisticsList)) {
        cell->statisticsList = cell->workspace->statisticsList;
        cell->statisticsWindow = cell->workspace->statisticsWindow;
    }
    ListCtrl* list = LiveStatisticsList(cell);
    if (list == nullptr || cell->statisticsWindow == nullptr || gWinValidate(cell->statisticsWindow) == nullptr)
        return nullptr;
    return list;
}
}  // namespace

bool DisplayShowRegionStatistics(DisplayComponent* cell, const StatisticsRecord& statistics) {
    ListCtrl* list = StatisticsListOf(cell);
    if (list == nullptr || !StatisticListUseTable(list, StatRegionTable())) return false;
    ListStatPanel panel(list);
    return HistogramChart::FillRegion(&panel, &statistics) != 0;
}

bool DisplayShowStatisticsList(DisplayComponent* cell, double interval, const StatisticsRecord& statistics) {
    ListCtrl* list = StatisticsListOf(cell);
    if (list == nullptr || !StatisticListUseTable(list, StatListDesc())) return false;
    ListStatPanel panel(list);
    return HistogramChart::FillStatistics(&panel, interval, &statistics) != 0;
}

void DisplayClearStatistics(DisplayComponent* cell) {
    if (ListCtrl* list = StatisticsListOf(cell)) ListCtrl::ClearValuesIfSet(list->widget);
}

bool DisplayChartVisible(const DisplayComponent* cell) {
    if (cell == nullptr || cell->statisticsWindow == nullptr) return false;
    gWindow* w = gWinValidate(cell->statisticsWindow);
    return gWinShownNow(w);
}

int32_t DisplayPanelBuilder(PageWindow* page, void* widgetArg, int32_t pageId) {
    auto* record = static_cast<UIPage*>(page);
    if (!UIPageIsLive(record) || !UIElementMatchesOwner(record, &DisplayPanelBuilder)) return 0;
    DisplayComponent* cell = AsDisplayCell(record->current);
    if (cell == nullptr) return 0;
    GraphicsWindow* gw = cell->Graphics();
    if (pageId == kPageRefresh) {
        if (gw == nullptr) return 0;
        gw->RefreshToolPanel(0);
        return 1;
    }
    if (widgetArg == nullptr) return 1;
    if (pageId == -1 || pageId == 1) {
        bool built = gw != nullptr && gw->BuildToolPanel(pageId);
        return built ? 1 : 0;
    }
    if (pageId != 0) return 0;
    auto* target = static_cast<gWindow*>(widgetArg);
    if (cell->pageElement == nullptr) cell->pageElement = reinterpret_cast<gElement*>(target);
    if (target != cell->window) return 0;
    WorkspaceComponent* ws = cell->workspace;
    if (ws != nullptr && ws->cellArea != nullptr) {
        const float rect[4] = {ws->cellArea->x, ws->cellArea->y, ws->cellArea->width, ws->cellArea->height};
        DisplaySetCellRect(cell, rect);
    }
    if (cell->rulers.shown != 0 && cell->rulers.hidden == 0)
        RulersPlace(&cell->rulers, cell->cellRect[0], cell->cellRect[1], cell->cellRect[2], cell->cellRect[3]);
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
    return 2;
}

void DisplayDataClosed(DisplayComponent* cell) {
    if (cell == nullptr || !UiUp() || HasProducer(cell->currentWindow)) return;
    DisplayDataGone(cell);
    MarkWindowForRedraw(cell->window);
}

void DisplayDataGone(DisplayComponent* cell) {
    if (cell == nullptr || !UiUp() || !cell->IsActive()) return;
    ClearPreview(cell->workspace);
    WorkspaceClearReadouts(cell->workspace);
}

// ---- Repaint from the image window ---------------------------------------------------------------------------

void DisplayRepaint(DisplayComponent* cell) {
    if (cell == nullptr) return;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (PollWindow(cell->currentWindow)) MarkWindowForRedraw(cell->window);
    }
    auto* target = dynamic_cast<GraphicsWindow*>(cell->rulers.target);
    if (cell->rulers.shown != 0 && target != nullptr) target->PlaceSliders();
    WorkspaceComponent* ws = cell->workspace;
    if (ws != nullptr && cell->IsActive() && ws->previewOn != 0) {
        if (GraphicsWindow* gw = cell->Graphics()) {
            gw->SetFrameRect(&ws->preview);
        } else {
            ClearPreview(ws);
        }
        gElement* pv = ws->preview.widget;
        gWindow* pw = pv != nullptr ? pv->window : nullptr;
        if (pw != nullptr && MakeCurrent(pw)) {
            if (pv->shown && !pv->dead) {
                gWinSetProjection(pw, pv->style);
                if (pv->paint != nullptr) pv->paint(pv);
                glLoadIdentity();
            }
            gWinSwapPainted(pw);
            pw->dirty = 0;
        }
    }
    PaintWindowNow(cell->window, false);
}

}  // namespace orva
