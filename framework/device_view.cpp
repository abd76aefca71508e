#include "framework/device_view.h"

#include <mutex>

#include "framework/display_lock.h"
#include "framework/port.h"

namespace orva {

// ---- Pin -----------------------------------------------------------------------------

void DevicePin::OnUpstreamChanged() {
    if (device != nullptr) device->ResetStep2();
}

bool DevicePin::AcceptFormat(FormatRequest* request) { return device != nullptr && device->AcceptFormat(request); }

// ---- Device records ----------------------------------------------------------------

void ResetScaleRecord(DeviceScaleRecord* record) {
    if (record != nullptr) *record = DeviceScaleRecord{};
}

bool ViewSetOwnerReset(ViewOwnerRecord* record, void* owner) {
    if (record == nullptr) return false;
    if (owner != nullptr) record->owner = owner;
    record->counters[0] = record->counters[1] = 0;
    return true;
}

DeviceViewSettings::DeviceViewSettings() { DeviceViewSettingsInit(this); }

int32_t DeviceViewSettings::Release() {
    const int32_t count = refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

void DeviceViewSettingsInit(DeviceViewSettings* settings) {
    if (settings == nullptr) return;
    settings->refCount.store(1);
    settings->flag = 1;
}

// ---- Device ------------------------------------------------------------------------

DeviceViewBase::DeviceViewBase(ComponentBase* owner) : pin(this, owner) { request.readAgain = 1; }

DeviceViewBase::~DeviceViewBase() {
    ConsumerBaseDestroy(&pin);
}

int32_t DeviceViewBase::AddRef() { return refCount.fetch_add(1, std::memory_order_relaxed) + 1; }

int32_t DeviceViewBase::Release() {
    int32_t count = refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete this;
        return 0;
    }
    return count;
}

int32_t DeviceViewBase::Refresh() { return DeviceFetch(this, &frameRequest); }

void DeviceDropFrame(DeviceViewBase* device) {
    if (device != nullptr) device->result.image.DropFrame();
}

bool DeviceActivate(DeviceViewBase* device) {
    if (device == nullptr) return false;
    device->result.pending = 0;
    device->request.readAgain = 1;
    bool ok = device->CheckActivation();
    if (ok && device->pin.upstream != nullptr) device->pin.upstream->portRecord = device;
    return ok;
}

void DeviceDeactivate(DeviceViewBase* device) {
    if (device == nullptr) return;
    if (ComponentBase* up = device->pin.upstream) {
        // Only this device's own registration goes: another device of the same
        // component may show it now.
        if (up->portRecord == device) up->portRecord = nullptr;
        ConsumerDetach(&device->pin);
    }
    device->result.pending = 0;
    if (device->result.image.HoldsFrame()) device->result.image.Reset();
    device->window = nullptr;
    device->display = nullptr;
    device->port = nullptr;
    device->portList = nullptr;
}

int32_t DeviceFetch(DeviceViewBase* device, const ReadWindow* frameRequest) {
    if (device == nullptr) return 0;
    if (frameRequest != nullptr) device->result.window = *frameRequest;
    device->result.pending = 0;
    ComponentBase* up = device->pin.upstream;
    int32_t code = 0;
    if (up != nullptr && up->process != nullptr) code = up->process(up, &device->result, &device->request);
    device->request.readAgain = 0;
    if (code >= 2) return code;
    if (device->result.image.HoldsFrame()) DeviceDropFrame(device);
    bool allFrozen = device->window != nullptr && device->window->allFrozen != 0;
    return allFrozen ? 0 : 1;
}

bool DeviceDeliver(DeviceViewBase* device) {
    if (device == nullptr) return false;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    const ComponentServices& s = TheComponentServices();
    DisplayCellBase* cell = device->display;
    bool delivered = false;
    if (cell != nullptr && cell->currentDevice == device &&
        (cell->partner == nullptr || cell->partner->partner == cell)) {
        delivered = s.pollComponentState != nullptr && s.pollComponentState(cell->currentWindow);
    } else {
        int32_t code = device->Refresh();
        device->lastPullCode = code;
        if (code >= 3) {
            delivered = device->deliverHook != nullptr && device->deliverHook(device);
        } else {
            if (code < 2 && s.markGroupReady != nullptr) s.markGroupReady(device->window, device);
            if (code == 2 && device->window != nullptr) device->window->allFrozen = 0;
            delivered = code > 0;
        }
    }
    if (delivered && s.markWindowRedraw != nullptr) s.markWindowRedraw(cell, device->window);
    return delivered;
}

void DeviceSelect(DeviceViewBase* device) {
    if (device == nullptr || device->window == nullptr) return;
    OutputWindow* w = device->window;
    w->current = device;
    DisplayCellBase* cell = device->display;
    OutPort* port = device->port;
    if (cell != nullptr && port != nullptr && cell->currentWindow == w && port->primaryWindow == w)
        DisplaySyncToPort(cell);
    else
        ViewFindConsumer(w);
}

namespace {
void ResetResultsWalk(ComponentBase* c) {
    if (c == nullptr || c->firstLink == nullptr) return;
    DeviceViewBase* d = c->portRecord;
    if (d != nullptr && d->frozen == 0) {
        DeviceDropFrame(d);
        d->result.pending = 0;
        if (d->display != nullptr) d->display->ResultsDropped();
        d->ResetStep1();
        d->ResetStep2();
    }
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) ResetResultsWalk(link->owner);
}
}  // namespace

void ComponentResetResults(ComponentBase* c) {
    if (c == nullptr) return;
    ResetResultsWalk(c);
    if (c->ui != nullptr && c->ui->ListsComponent(c)) c->ui->ResetHistogram();
}

// ---- Display cells -------------------------------------------------------------------

DisplayCellBase::~DisplayCellBase() {
    // Every port that serves the cell forgets it, and the devices that feed it leave their
    // sources: the cell is the consumer their pins name.
    if (portLists != nullptr) PortListsForgetDisplay(portLists, this);
    // A port outside any set (the one shown, and those of its list) is found directly.
    PortForgetDisplay(port, this);
    if (portList != nullptr)
        for (OutPort* p = portList->firstPort; p != nullptr; p = p->next) PortForgetDisplay(p, this);
}

bool DisplayCellBase::OnMessage(MessageRecord* m, uint32_t argument) {
    if (m == nullptr) return false;
    if (m->code == 1) {
        PortResetSources(port);
        return true;
    }
    if (m->code == 2 || m->code == 3) return true;
    return ComponentOnSelect(this, m, argument);
}

void DisplayDropPort(DisplayCellBase* cell) {
    if (cell == nullptr) return;
    if (cell->port != nullptr) PortRefresh(cell->port);
    cell->PortChanged(true);
    if (cell->owner != nullptr) ClearItemWindowsOf(cell->owner, cell);
    cell->owner = nullptr;
    cell->currentDevice = nullptr;
    cell->currentWindow = nullptr;
    cell->port = nullptr;
    cell->portList = nullptr;
}

void DisplaySyncToPort(DisplayCellBase* cell) {
    if (cell == nullptr || cell->port == nullptr) return;
    OutputWindow* w = cell->port->primaryWindow;
    cell->currentWindow = w;
    DeviceViewBase* d = w != nullptr ? w->current : nullptr;
    cell->currentDevice = d;
    ComponentBase* up = d != nullptr ? d->pin.upstream : nullptr;
    cell->owner = up != nullptr ? up->owner : nullptr;
    cell->AfterSync();
    if (ComponentIsLive(up)) {
        MessageRecord select;
        select.code = kMsgSelect;
        up->OnMessage(&select, 0);
        up->SendPageMessage(&select, 0);
    }
    if (w != nullptr) {
        w->OnCellSync();
        if (ComponentUiUp() && cell->pageWindow != nullptr) w->AfterCellSync(0);
    }
}

}  // namespace orva
