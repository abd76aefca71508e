#include "framework/port.h"

#include <mutex>
#include <new>

#include "common/log.h"
#include "framework/display_lock.h"

namespace orva {

namespace {

bool Bound(const DeviceViewBase* d) { return d != nullptr && d->pin.upstream != nullptr; }

void SendCodeGuarded(ComponentBase* c, int32_t code) {
    if (ComponentIsLive(c)) PageSendMessage(c, code, 0);
}

void WindowListAppend(OutPort* port, OutputWindow* w) {
    w->next = nullptr;
    w->previous = port->lastWindow;
    if (port->lastWindow != nullptr) port->lastWindow->next = w;
    else port->firstWindow = w;
    port->lastWindow = w;
}

void WindowListRemove(OutPort* port, OutputWindow* w) {
    if (w->previous != nullptr) w->previous->next = w->next;
    else if (port->firstWindow == w) port->firstWindow = w->next;
    if (w->next != nullptr) w->next->previous = w->previous;
    else if (port->lastWindow == w) port->lastWindow = w->previous;
    w->next = w->previous = nullptr;
}

bool WindowInPort(const OutPort* port, const OutputWindow* w) {
    for (OutputWindow* x = port->firstWindow; x != nullptr; x = x->next)
        if (x == w) return true;
    return false;
}

void DeviceListAppend(OutPort* port, DeviceViewBase* d) {
    d->portNext = nullptr;
    d->portPrevious = port->lastDevice;
    if (port->lastDevice != nullptr) port->lastDevice->portNext = d;
    else port->firstDevice = d;
    port->lastDevice = d;
}

void DeviceListRemove(OutPort* port, DeviceViewBase* d) {
    if (d->portPrevious != nullptr) d->portPrevious->portNext = d->portNext;
    else if (port->firstDevice == d) port->firstDevice = d->portNext;
    if (d->portNext != nullptr) d->portNext->portPrevious = d->portPrevious;
    else if (port->lastDevice == d) port->lastDevice = d->portPrevious;
    d->portNext = d->portPrevious = nullptr;
}

bool SameWindowId(const OutputWindow* w, const ComponentId* id) {
    return w != nullptr && SameComponentId(w->GetClassId(), id);
}

// Undoes a refused attach: the device goes, and the window when it was made here.
void DropNewDevice(DeviceViewBase* device, OutputWindow* window, bool windowIsNew) {
    if (device != nullptr) {
        DeviceDeactivate(device);
        device->Release();
    }
    if (windowIsNew && window != nullptr) window->Release();
}

void PortListLinkPort(PortList* list, OutPort* port) {
    port->next = nullptr;
    port->previous = list->lastPort;
    if (list->lastPort != nullptr) list->lastPort->next = port;
    else list->firstPort = port;
    list->lastPort = port;
}

void PortListUnlinkPort(PortList* list, OutPort* port) {
    if (port->previous != nullptr) port->previous->next = port->next;
    else if (list->firstPort == port) list->firstPort = port->next;
    if (port->next != nullptr) port->next->previous = port->previous;
    else if (list->lastPort == port) list->lastPort = port->previous;
    port->next = port->previous = nullptr;
}

bool ListHoldsPort(const PortList* list, const OutPort* port) {
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next)
        if (p == port) return true;
    return false;
}

}  // namespace

// ---- Windows -------------------------------------------------------------------------

int32_t OutputWindow::Release() {
    int32_t count = refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete this;
        return 0;
    }
    return count;
}

// ---- OutPort -------------------------------------------------------------------------

OutPort::~OutPort() {
    DisplayCellBase* cell = display;
    if (cell != nullptr && cell->port == this) {
        cell->port = nullptr;
        cell->portList = nullptr;
        cell->currentDevice = nullptr;
        cell->currentWindow = nullptr;
        if (cell->pageWindow != nullptr && cell->pageWindow->current == cell) cell->pageWindow->current = nullptr;
        if (ComponentUiUp()) cell->OnPortGone(8);
    } else {
        for (DeviceViewBase* d = lastDevice; d != nullptr; d = d->portPrevious) {
            if (!Bound(d)) continue;
            PageSendRefresh(d->pin.upstream);
            d->ResetStep2();
        }
    }
    for (DeviceViewBase* d = firstDevice; d != nullptr; d = d->portNext) DeviceDeactivate(d);
    while (firstEntry != nullptr) {
        PortEntry* e = firstEntry;
        firstEntry = e->next;
        if (e->object != nullptr) e->object->Release();
        delete e;
    }
    lastEntry = nullptr;
    while (firstWindow != nullptr) {
        OutputWindow* w = firstWindow;
        firstWindow = w->next;
        w->next = w->previous = nullptr;
        w->current = w->latest = nullptr;
        w->Release();
    }
    lastWindow = currentWindow = primaryWindow = nullptr;
    while (firstDevice != nullptr) {
        DeviceViewBase* d = firstDevice;
        firstDevice = d->portNext;
        d->portNext = d->portPrevious = nullptr;
        d->Release();
    }
    lastDevice = nullptr;
}

void OutPort::DetachAll() { PortDetachAll(this); }

ViewConsumer::ViewConsumer(DisplayCellBase* cell, int argument) {
    display = cell;
    const ComponentServices& s = TheComponentServices();
    if (s.createShapeContainer != nullptr) shapes = s.createShapeContainer(cell, argument);
}

ViewConsumer::~ViewConsumer() {
    const ComponentServices& s = TheComponentServices();
    if (shapes != nullptr && s.destroyShapeContainer != nullptr) s.destroyShapeContainer(shapes);
    shapes = nullptr;
}

bool ViewConsumer::CreateOutputWindow(const ComponentId* id, const FormatRequest* request, OutputWindow** out) {
    const ComponentServices& s = TheComponentServices();
    bool image = false;
    if (SameComponentId(id, &kImageWindowId)) {
        image = true;
    } else if (SameComponentId(id, &kChartWindowId)) {
        image = false;
    } else {
        uint32_t format = request != nullptr ? request->format : 0;
        if ((format & 0x2400000u) != 0 && (format & 0x3u) != 0) image = true;
        else if ((format & 0x40u) != 0) image = false;
        else return false;
    }
    if (out == nullptr) return true;
    auto maker = image ? s.createImageWindow : s.createChartWindow;
    *out = maker != nullptr ? maker(display) : nullptr;
    return *out != nullptr;
}

void ViewConsumer::Reset() {
    for (uint32_t& w : stateWords) w = 0;
}

void ViewConsumer::SetShapesVisible(uint8_t visible) {
    const ComponentServices& s = TheComponentServices();
    if (s.setShapesVisible != nullptr) s.setShapesVisible(shapes, display, visible);
    if (s.markWindowRedraw != nullptr) s.markWindowRedraw(display, currentWindow);
}

// ---- Entries -------------------------------------------------------------------------

bool PortAddEntry(OutPort* port, PropertyComponent* object) {
    if (port == nullptr || object == nullptr) return false;
    auto* e = new (std::nothrow) PortEntry{nullptr, port->lastEntry, object};
    if (e == nullptr) return false;
    object->AddRef();
    if (port->lastEntry != nullptr) port->lastEntry->next = e;
    else port->firstEntry = e;
    port->lastEntry = e;
    return true;
}

bool PortFindEntry(OutPort* port, const ComponentId* id, PropertyComponent** out) {
    if (port == nullptr || id == nullptr) return false;
    for (PortEntry* e = port->firstEntry; e != nullptr; e = e->next) {
        if (e->object == nullptr || !SameComponentId(e->object->GetClassId(), id)) continue;
        if (out != nullptr) {
            e->object->AddRef();
            *out = e->object;
        }
        return true;
    }
    return false;
}

bool PortFindOrAddEntry(OutPort* port, PropertyComponent* prototype, PropertyComponent** out) {
    if (port == nullptr || prototype == nullptr) return false;
    if (PortFindEntry(port, prototype->GetClassId(), out)) return true;
    PropertyComponent* made = nullptr;
    if (!prototype->CreateInstance(&made) || made == nullptr) return false;
    if (!PortAddEntry(port, made)) {
        made->Release();
        return false;
    }
    const ComponentServices& s = TheComponentServices();
    if (s.configFilePath != nullptr) {
        std::string path = s.configFilePath(1);
        if (!path.empty()) made->Read(path.c_str());
    }
    if (out != nullptr) *out = made;
    else made->Release();
    return true;
}

bool PortReadEntries(OutPort* port, const char* path) {
    if (port == nullptr) return false;
    for (PortEntry* e = port->firstEntry; e != nullptr; e = e->next)
        if (e->object != nullptr && IdHasKind(e->object->GetClassId(), kCodeProp)) e->object->Read(path);
    return true;
}

bool PortWriteEntries(OutPort* port, const char* path) {
    if (port == nullptr || port->firstEntry == nullptr) return false;
    std::string target = path != nullptr ? path : std::string();
    if (path == nullptr) {
        const ComponentServices& s = TheComponentServices();
        if (s.configFilePath != nullptr) target = s.configFilePath(1);
        if (target.empty()) return false;
    }
    for (PortEntry* e = port->firstEntry; e != nullptr; e = e->next)
        if (e->object != nullptr && IdHasKind(e->object->GetClassId(), kCodeProp)) e->object->Write(target.c_str());
    return true;
}

// ---- Port lists -----------------------------------------------------------------------

PortList::~PortList() {
    while (firstPort != nullptr) {
        OutPort* p = firstPort;
        firstPort = p->next;
        p->next = p->previous = nullptr;
        p->list = nullptr;
        delete p;
    }
    lastPort = nullptr;
}

PortList* PortListCreate(PortListSet* parent, const char* name) {
    auto* list = new (std::nothrow) PortList;
    if (list == nullptr) return nullptr;
    if (name != nullptr) list->name = name;
    if (parent != nullptr) {
        if (parent->count > 0xFFFFFFFEu) parent->count = 0;
        ++parent->count;
        list->number = parent->count;
        list->parent = parent;
        list->previous = parent->last;
        if (parent->last != nullptr) parent->last->next = list;
        else parent->first = list;
        parent->last = list;
    }
    return list;
}

void PortListRemove(PortList* list) {
    if (list == nullptr) return;
    if (PortListSet* parent = list->parent) {
        if (parent->current == list) parent->current = list->next != nullptr ? list->next : list->previous;
        if (list->previous != nullptr) list->previous->next = list->next;
        else parent->first = list->next;
        if (list->next != nullptr) list->next->previous = list->previous;
        else parent->last = list->previous;
        if (parent->count > 0) --parent->count;
        list->parent = nullptr;
    }
    delete list;
}

void PortListChainAdd(PortList* list, DeviceViewBase* d) {
    if (list == nullptr || d == nullptr || d->inChain) return;
    d->chainNext = nullptr;
    d->chainPrevious = list->lastDevice;
    if (list->lastDevice != nullptr) list->lastDevice->chainNext = d;
    else list->firstDevice = d;
    list->lastDevice = d;
    d->inChain = true;
}

void PortListChainRemove(PortList* list, DeviceViewBase* d) {
    if (list == nullptr || d == nullptr || !d->inChain) return;
    if (d->chainPrevious != nullptr) d->chainPrevious->chainNext = d->chainNext;
    else if (list->firstDevice == d) list->firstDevice = d->chainNext;
    if (d->chainNext != nullptr) d->chainNext->chainPrevious = d->chainPrevious;
    else if (list->lastDevice == d) list->lastDevice = d->chainPrevious;
    d->chainNext = d->chainPrevious = nullptr;
    d->inChain = false;
}

void PortListRemovePort(PortList* list, OutPort* port) {
    if (list == nullptr || port == nullptr) return;
    if (list->firstPort != list->lastPort) {
        for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->portNext) PortListChainRemove(list, d);
        // The range of what stays: the leaving port is still in the list, so it is left out.
        const ComponentServices& s = TheComponentServices();
        if (s.playbackRange != nullptr) s.playbackRange(list, port);
        PortListUnlinkPort(list, port);
        port->list = nullptr;
        delete port;
        return;
    }
    // The list's only port: the whole list goes with it.
    PortListRemove(list);
}

void PortListMarkReread(PortList* list) {
    if (list == nullptr) return;
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next) PortMarkReread(p);
}

void PortGroupDetachAll(PortList* list) {
    if (list == nullptr) return;
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next) p->DetachAll();
}

void PortListsDetachAll(PortListSet* parent) {
    if (parent == nullptr) return;
    for (PortList* l = parent->first; l != nullptr; l = l->next) PortGroupDetachAll(l);
}

void PortListDetachSources(PortListSet* parent) {
    if (parent == nullptr) return;
    for (PortList* l = parent->first; l != nullptr; l = l->next) {
        for (DeviceViewBase* d = l->firstDevice; d != nullptr;) {
            DeviceViewBase* next = d->chainNext;
            d->chainNext = d->chainPrevious = nullptr;
            d->inChain = false;
            d = next;
        }
        l->firstDevice = l->lastDevice = nullptr;
        // The player keeps its position for the sources' return.
        PortListParkPlayer(l);
    }
}

void PortListParkPlayer(PortList* list) {
    if (list == nullptr) return;
    FramePlayer& p = list->player;
    if (p.count.load() >= 2) {
        list->saved[0] = p.count.load();
        list->saved[1] = p.current.load();
        list->saved[2] = p.last.load();
        list->saved[3] = p.first.load();
    }
    if (p.count.load() != 1) {
        p.count.store(1);
        p.current.store(0);
        p.last.store(0);
        p.first.store(0);
    }
}

void PortForgetDisplay(OutPort* port, DisplayCellBase* cell) {
    if (port == nullptr || cell == nullptr) return;
    if (port->display == cell) port->display = nullptr;
    // The devices' pins are the cell's consumer links: they name the cell as the consumer
    // they feed, and the downstream walks of their upstream components follow that name.
    // A cell that goes therefore takes its devices out of their upstreams' lists; a port
    // left without its cell shows nothing and plays nothing.
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->portNext) {
        if (d->display == cell) d->display = nullptr;
        if (d->pin.owner != cell) continue;
        if (ComponentBase* up = d->pin.upstream) {
            if (up->portRecord == d) up->portRecord = nullptr;
            ConsumerDetach(&d->pin);
        }
        d->pin.owner = nullptr;
        d->stop[0] = d->stop[1] = 1;
        d->frozen = 1;
        if (port->list != nullptr) PortListChainRemove(port->list, d);
    }
    for (OutputWindow* w = port->firstWindow; w != nullptr; w = w->next)
        if (w->cell == cell) w->cell = nullptr;
}

void PortListsForgetDisplay(PortListSet* parent, DisplayCellBase* cell) {
    if (parent == nullptr || cell == nullptr) return;
    for (PortList* l = parent->first; l != nullptr; l = l->next)
        for (OutPort* p = l->firstPort; p != nullptr; p = p->next) PortForgetDisplay(p, cell);
}

void PortRebuildConsumers(PortList* list) {
    if (list == nullptr) return;
    bool shown = false;
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next) {
        if (p->display != nullptr && p->display->port != p) {
            PortShowInDisplay(p, nullptr);
            shown = true;
        }
    }
    if (!shown) return;
    const ComponentServices& s = TheComponentServices();
    if (s.playbackRange != nullptr) s.playbackRange(list, nullptr);
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next)
        if (p->display != nullptr && p->display->port == p) p->display->Layout();
    RefreshAllWindowsWhenUp();
}

void PortMarkSourcesReread(PortList* list) {
    if (list == nullptr) return;
    for (DeviceViewBase* d = list->firstDevice; d != nullptr; d = d->chainNext) {
        d->request.readAgain = 1;
        d->lastPullCode = d->Refresh();
        d->hasData = d->lastPullCode > 0 ? 1 : 0;
    }
}

// ---- Connecting -----------------------------------------------------------------------

bool ConnectComponents(PortList* list, OutPort** port, ComponentBase* upstream, DisplayCellBase* cell,
                       const ComponentId* windowId, int32_t* index, OutputWindow* existing, uint8_t frozen) {
    if (list == nullptr || upstream == nullptr || cell == nullptr) return false;
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next)
        if (p->display == cell) return false;
    OutPort* use = port != nullptr ? *port : nullptr;
    bool created = false;
    if (use == nullptr || use->list != list || use->display != cell) {
        use = cell->CreatePort();
        if (use == nullptr) return false;
        use->display = cell;
        use->list = list;
        created = true;
    }
    // The cell's ports may lie in any list of the set: the cell finds them all when it goes.
    if (list->parent != nullptr) cell->portLists = list->parent;
    if (!OutPortAddLink(use, upstream, cell, windowId, index, existing, frozen)) {
        if (created) {
            use->list = nullptr;
            delete use;
        }
        return false;
    }
    if (!ListHoldsPort(list, use)) PortListLinkPort(list, use);
    if (port != nullptr) *port = use;
    return true;
}

bool OutPortAddLink(OutPort* port, ComponentBase* upstream, DisplayCellBase* cell, const ComponentId* windowId,
                    int32_t* index, OutputWindow* existing, uint8_t frozen) {
    if (port == nullptr || upstream == nullptr) return false;
    if (port->display != nullptr && port->display != cell) return false;
    if (existing != nullptr && (existing->latest == nullptr || existing->latest->port != port)) return false;
    if (port->deviceCount >= kPortDeviceLimit) {
        LogPrintf("@outport - limit output %d", kPortDeviceLimit);
        return false;
    }
    port->display = cell;

    OutputWindow* w = existing;
    bool windowIsNew = false;
    int32_t number = 0;
    if (w == nullptr) {
        int32_t count = port->deviceCount < 0 ? 0 : port->deviceCount;
        number = (index != nullptr && *index != 0) ? *index : count + 1;
        if (windowId != nullptr) w = PortFindWindow(port, windowId, number);
        if (w == nullptr) {
            FormatRequest request;
            if (!upstream->NegotiateInput(nullptr, &request)) return false;
            if (!port->CreateOutputWindow(windowId, &request, &w) || w == nullptr) return false;
            windowIsNew = true;
            w->index = number;
            if (SameComponentId(w->GetClassId(), &kChartWindowId) && PortFindWindow(port, &kChartWindowId, 0) == nullptr)
                w->waitsForChart = 1;
        }
    } else {
        number = w->index;
    }

    DeviceViewBase* device = nullptr;
    if (!w->CreateDevice(&device) || device == nullptr) {
        if (windowIsNew) w->Release();
        return false;
    }
    if (!ConsumerAttach(&device->pin, upstream)) {
        DropNewDevice(device, w, windowIsNew);
        return false;
    }
    device->frozen = frozen;
    device->window = w;
    device->display = cell;
    device->port = port;
    device->portList = port->list;
    if (!DeviceActivate(device)) {
        DropNewDevice(device, w, windowIsNew);
        return false;
    }
    if (index != nullptr) *index = number;

    if (port->firstDevice != nullptr) {
        DeviceViewBase* older = PortFindDeviceByWindow(port, w->GetClassId(), number);
        if (older != nullptr && older != device) {
            device->older = older;
            older->newer = device;
        }
    }
    DeviceListAppend(port, device);
    w->latest = device;
    bool all = true;
    for (DeviceViewBase* d = device; d != nullptr; d = d->older) {
        if (d->frozen == 0) {
            all = false;
            break;
        }
    }
    w->allFrozen = all ? 1 : 0;
    if (all) w->allFrozenSeen = 1;

    if (windowIsNew) {
        WindowListAppend(port, w);
        if (w->current == nullptr) w->current = device;
        if (port->primaryWindow == nullptr) port->primaryWindow = w;
        if (port->currentWindow == nullptr || (port->currentWindow == w && w->waitsForChart == 0))
            port->currentWindow = port->firstWindow;
    } else if (w->current == nullptr) {
        w->current = device;
    }
    if (port->deviceCount < 0) port->deviceCount = 0;
    ++port->deviceCount;
    device->index = port->deviceCount;
    return true;
}

void PortReattachSource(OutPort* port, DeviceViewBase* device) {
    if (port == nullptr) return;
    if (device == nullptr || (port->firstDevice == device && port->lastDevice == device)) {
        if (port->list != nullptr) PortListRemovePort(port->list, port);
        else delete port;
        return;
    }
    if (device->port != port) return;  // not a device of this port
    DisplayCellBase* cell = port->display;
    if (cell != nullptr && cell->port == port) SendCodeGuarded(cell, 3);
    device->stop[0] = device->stop[1] = 1;
    device->frozen = 1;
    if (Bound(device)) {
        device->ResetStep2();
        PageSendRefresh(device->pin.upstream);
    }
    device->RemoveShapes();
    PortList* list = port->list;
    OutputWindow* w = device->window;
    DeviceDeactivate(device);

    if (list != nullptr && device->inChain) {
        bool wasFirst = list->firstDevice == device;
        PortListChainRemove(list, device);
        const ComponentServices& s = TheComponentServices();
        if (wasFirst && s.playbackRange != nullptr) s.playbackRange(list, port);
    }
    if (w != nullptr) {
        ViewAttachConsumer(w, device);
        if (w->current == device) w->current = nullptr;
        if (device->newer != nullptr) device->newer->older = device->older;
        if (device->older != nullptr) device->older->newer = device->newer;
        if (w->latest == device) w->latest = device->older;
        device->older = device->newer = nullptr;
        if (w->latest == nullptr && WindowInPort(port, w)) {
            WindowListRemove(port, w);
            if (port->primaryWindow == w) port->primaryWindow = port->firstWindow;
            if (port->currentWindow == w) port->currentWindow = port->firstWindow;
            if (cell != nullptr && cell->currentWindow == w) {
                cell->currentWindow = nullptr;
                cell->currentDevice = nullptr;
            }
            w->Release();
        }
    }
    if (cell != nullptr && cell->currentDevice == device) cell->currentDevice = nullptr;
    DeviceListRemove(port, device);
    device->Release();
    --port->deviceCount;
}

// ---- Walks over a port's devices (newest first) ----------------------------------------

void PortSetFastMode(OutPort* port, uint8_t fast) {
    if (port == nullptr) return;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious) {
        if (d->request.workMode == fast) continue;
        d->request.workMode = fast;
        d->ApplyFastMode();
    }
}

void PortMarkReread(OutPort* port) {
    if (port == nullptr) return;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious) {
        if (!Bound(d) || d->frozen != 0) continue;
        d->request.readAgain = 1;
        d->result.pending = 0;
    }
}

void PortFreezeAll(OutPort* port) {
    if (port == nullptr) return;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious) {
        d->stop[0] = d->stop[1] = 1;
        d->frozen = 1;
    }
}

void PortDetachAll(OutPort* port) {
    if (port == nullptr) return;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious) {
        d->ResetStep2();
        d->stop[0] = d->stop[1] = 1;
        d->frozen = 1;
        if (ComponentBase* up = d->pin.upstream) {
            if (up->portRecord == d) up->portRecord = nullptr;
        }
        ConsumerDetach(&d->pin);
    }
}

bool PortHasTwoActiveDevices(OutPort* port, ProjectItemBase* owner) {
    if (port == nullptr) return false;
    int found = 0;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious)
        if (Bound(d) && d->frozen == 0 && d->pin.upstream->owner == owner && ++found >= 2) return true;
    return false;
}

DeviceViewBase* PortFindDeviceByWindow(OutPort* port, const ComponentId* id, int32_t index) {
    if (port == nullptr) return nullptr;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious)
        if (d->window != nullptr && d->window->index == index && SameWindowId(d->window, id)) return d;
    return nullptr;
}

OutputWindow* PortFindWindow(OutPort* port, const ComponentId* id, int32_t index) {
    if (port == nullptr) return nullptr;
    for (OutputWindow* w = port->firstWindow; w != nullptr; w = w->next)
        if (SameWindowId(w, id) && (index == 0 || w->index == index)) return w;
    return nullptr;
}

// ---- Showing ports -------------------------------------------------------------------------

bool PortShowInDisplay(OutPort* port, DisplayCellBase* cell) {
    if (port == nullptr) return true;
    if (cell == nullptr) cell = port->display;
    if (cell == nullptr) return true;
    OutPort* before = cell->port;
    if (before != nullptr && before != port) {
        PortRefresh(before);
        OutputWindow* old = before->primaryWindow;
        if (old != nullptr && port->primaryWindow != nullptr &&
            !SameComponentId(old->GetClassId(), port->primaryWindow->GetClassId()))
            old->LeavePrimary(true);
    }
    cell->PortChanged(false);
    if (cell != port->display) {
        MessageRecord none;
        cell->OnMessage(&none, 0);
        cell->SendPageMessage(&none, 0);
        cell->port = nullptr;
        port->display = cell;
    }
    cell->portList = port->list;
    cell->port = port;
    if (port->list != nullptr && port->list->parent != nullptr) cell->portLists = port->list->parent;
    cell->AfterPortShown();
    DisplaySyncToPort(cell);
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious)
        if (Bound(d)) SendCodeGuarded(d->pin.upstream, 2);
    if (cell->stateCode != 2) {
        cell->stateCode = 2;
        MessageRecord state;
        state.code = 2;
        cell->OnMessage(&state, 0);
    }
    cell->AfterPortShown2();
    return true;
}

void PortRefresh(OutPort* port) {
    if (port == nullptr) return;
    DisplayCellBase* cell = port->display;
    if (cell != nullptr && cell->port == port) {
        SendCodeGuarded(cell, 3);
        SendCodeGuarded(cell, 1);
        return;
    }
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    PortResetSources(port);
}

void PortResetSources(OutPort* port) {
    if (port == nullptr) return;
    for (DeviceViewBase* d = port->lastDevice; d != nullptr; d = d->portPrevious) {
        if (Bound(d)) {
            PageSendRefresh(d->pin.upstream);
            d->ResetStep2();
        }
        d->result.pending = 0;
        if (d->result.image.HoldsFrame()) d->result.image.Reset();
        d->request.readAgain = 1;
    }
}

void AttachSourceToPipeline(ProjectItemBase* item, int32_t eventCode) {
    if (item == nullptr) return;
    PortList* list = item->source.portList;
    ComponentBase* first = item->firstStage;
    if (!item->source.loaded || list == nullptr || first == nullptr) return;
    const ComponentServices& s = TheComponentServices();
    if (DeviceViewBase* d = ComponentFindDownstream(first, list)) {
        PortHasTwoActiveDevices(d->port, item);
        PortRebuildConsumers(d->portList);
        if (s.refreshItemOptionsWindow != nullptr) s.refreshItemOptionsWindow(item);
        return;
    }
    if (DeviceViewBase* d = ComponentFindDownstreamActive(first, list)) {
        DeviceSelect(d);
        // Every display of the item shows its port: the chart of the item's Reduction in
        // the second group's cell as well as the main cell's picture.
        for (int more = 0; more < kPortDeviceLimit; ++more) {
            DeviceViewBase* next = ComponentFindDownstreamActive(first, list);
            if (next == nullptr || next == d) break;
            d = next;
            DeviceSelect(d);
        }
        // The port was shown when its cell was made: its playable frames follow the
        // source that now feeds it.
        if (s.playbackRange != nullptr) s.playbackRange(d->portList, nullptr);
        if (s.refreshItemOptionsWindow != nullptr) s.refreshItemOptionsWindow(item);
        if (eventCode == 7) RefreshAllWindowsWhenUp();
    }
}

// ---- Current device and primary window --------------------------------------------------

void ViewAttachConsumer(OutputWindow* w, DeviceViewBase* leaving) {
    if (w == nullptr) return;
    if (leaving != nullptr && w->current == leaving) {
        w->current = leaving->newer != nullptr ? leaving->newer : leaving->older;
    }
    bool further = w->current != nullptr && (w->current->older != nullptr || w->current->newer != nullptr);
    if ((w->current == nullptr || !further) && (w->next != nullptr || w->previous != nullptr)) {
        DeviceViewBase* any = w->current != nullptr ? w->current : w->latest;
        if (any != nullptr && any->port != nullptr) any->port->primaryWindow = w;
    }
}

void ViewFindConsumer(OutputWindow* w) {
    if (w == nullptr) return;
    DeviceViewBase* d = w->current != nullptr ? w->current : w->latest;
    OutPort* port = d != nullptr ? d->port : nullptr;
    if (port == nullptr) return;
    OutputWindow* previous = port->primaryWindow;
    port->primaryWindow = w;
    if (previous != nullptr && previous != w && !SameComponentId(previous->GetClassId(), w->GetClassId()))
        previous->LeavePrimary(true);
    DisplayCellBase* cell = port->display;
    if (cell == nullptr) return;
    if (cell->port != port) {
        PortShowInDisplay(port, cell);
        cell->Layout();
    } else {
        DisplaySyncToPort(cell);
    }
}

bool ViewSetActiveConsumer(OutputWindow* w) {
    if (w == nullptr) return false;
    DeviceViewBase* d = w->current != nullptr ? w->current : w->latest;
    OutPort* port = d != nullptr ? d->port : nullptr;
    if (port == nullptr) return false;
    if (w->waitsForChart != 0) {
        port->currentWindow = w;
        w->BecomeCurrent();
        for (OutputWindow* x = w->next; x != nullptr; x = x->next) {
            if (x->waitsForChart == 0) continue;
            x->waitsForChart = 0;
            x->BecomeCurrent();
        }
        return true;
    }
    if (port->currentWindow == w) {
        OutputWindow* waiting = nullptr;
        for (OutputWindow* x = w->previous; x != nullptr; x = x->previous)
            if (x->waitsForChart != 0) {
                waiting = x;
                break;
            }
        port->currentWindow = waiting != nullptr ? waiting : port->firstWindow;
        if (port->currentWindow != nullptr) port->currentWindow->BecomeCurrent();
        return waiting != nullptr;
    }
    return true;
}

}  // namespace orva
