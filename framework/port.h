#pragma once
// The consumer side that connects a pipeline component to its displays: the
// OutPort of a display cell with its output windows and, per window, the
// devices that pull from upstream components; ViewConsumer, the display cell's
// port; and the PortList in which display cells that show the same frames keep
// their ports.
#include <atomic>
#include <cstdint>
#include <string>

#include "framework/component.h"
#include "framework/device_view.h"
#include "framework/frame_player.h"

namespace orva {

// Devices one port takes at most.
constexpr int32_t kPortDeviceLimit = 16384;

// A chart or image window as the port sees it.
class OutputWindow {
public:
    explicit OutputWindow(DisplayCellBase* cell) : cell(cell) {}
    OutputWindow(const OutputWindow&) = delete;
    OutputWindow& operator=(const OutputWindow&) = delete;

    virtual const ComponentId* GetClassId() const = 0;
    virtual ~OutputWindow() = default;
    virtual int32_t AddRef() { return refCount.fetch_add(1) + 1; }
    virtual int32_t Release();
    // Creates the window's device (count 1); false on failure.
    virtual bool CreateDevice(DeviceViewBase** out) = 0;
    virtual void AfterCellSync(int32_t value) { (void)value; }   // 8
    virtual void LeavePrimary(bool flag) { (void)flag; }         // 9
    virtual void OnCellSync() {}                                 // 10
    virtual void BecomeCurrent() {}                              // 12

    DisplayCellBase* cell;
    std::atomic<int32_t> refCount{1};
    int32_t index = 0;
    uint8_t allFrozen = 0;
    uint8_t allFrozenSeen = 0;
    uint8_t waitsForChart = 0;
    DeviceViewBase* current = nullptr;
    DeviceViewBase* latest = nullptr;
    OutputWindow* next = nullptr;
    OutputWindow* previous = nullptr;
};

// An entry of a port's entry container: a referenced settings object.
struct PortEntry {
    PortEntry* next;
    PortEntry* previous;
    PropertyComponent* object;
};

class OutPort {
public:
    OutPort() = default;
    OutPort(const OutPort&) = delete;
    OutPort& operator=(const OutPort&) = delete;
    // Lets the display cell drop the port (or resets the devices), deactivates
    // every device, destroys the entries, releases every window and device.
    virtual ~OutPort();
    virtual bool CreateOutputWindow(const ComponentId* id, const FormatRequest* request, OutputWindow** out) = 0;
    virtual void Reset() {}
    virtual bool Ready() { return true; }
    virtual void SetShapesVisible(uint8_t visible) { (void)visible; }
    virtual void DetachAll();

    DeviceViewBase* firstDevice = nullptr;
    DeviceViewBase* lastDevice = nullptr;
    OutputWindow* currentWindow = nullptr;
    OutputWindow* primaryWindow = nullptr;
    DisplayCellBase* display = nullptr;
    PortList* list = nullptr;
    int32_t deviceCount = 0;
    OutputWindow* firstWindow = nullptr;
    OutputWindow* lastWindow = nullptr;
    PortEntry* firstEntry = nullptr;
    PortEntry* lastEntry = nullptr;
    OutPort* next = nullptr;
    OutPort* previous = nullptr;
};

// The display cell's port.
class ViewConsumer : public OutPort {
public:
    // `argument` is handed to the shape container.
    ViewConsumer(DisplayCellBase* cell, int argument);
    ~ViewConsumer() override;
    // The image window id makes an image window, the chart window id a chart
    // window; any other id decides by the format word: bits of 0x2400000 and of
    // 0x3 make an image window, else 0x40 a chart window, else nothing (false).
    // Without an out-pointer the answer is true and nothing is made.
    bool CreateOutputWindow(const ComponentId* id, const FormatRequest* request, OutputWindow** out) override;
    void Reset() override;
    void SetShapesVisible(uint8_t visible) override;

    uint8_t bytes[4] = {1, 0, 0, 0};
    double scales[4] = {1.0, 1.0, 1.0, 1.0};
    uint32_t stateWords[15] = {};
    void* shapes = nullptr;  // the display's shape container
};

// The entry container of a port ("CTNR" "OUTG" "ENTR" "CTNR").
bool PortAddEntry(OutPort* port, PropertyComponent* object);
bool PortFindEntry(OutPort* port, const ComponentId* id, PropertyComponent** out);
bool PortFindOrAddEntry(OutPort* port, PropertyComponent* prototype, PropertyComponent** out);
bool PortReadEntries(OutPort* port, const char* path);
bool PortWriteEntries(OutPort* port, const char* path);

// The ui's list of port lists.
struct PortListSet {
    PortList* first = nullptr;
    PortList* last = nullptr;
    PortList* current = nullptr;
    uint32_t count = 0;
};

class PortList {
public:
    PortList() = default;
    PortList(const PortList&) = delete;
    PortList& operator=(const PortList&) = delete;
    // Destroys every port.
    ~PortList();

    OutPort* firstPort = nullptr;
    OutPort* lastPort = nullptr;
    DeviceViewBase* firstDevice = nullptr;  // the playback chain
    DeviceViewBase* lastDevice = nullptr;
    FramePlayer player;                     // the frame cursor of the list's playback
    int32_t saved[4] = {0, 0, 0, 0};        // the player's count, current, last and first
                                            //   while the list has nothing to play
    uint8_t playableAuthoritative = 0;      // the playback chain stands as it is
    uint8_t playablePrune = 0;              // the chain is pruned instead of rebuilt
    std::string name;
    uint32_t number = 0;
    PortListSet* parent = nullptr;
    PortList* next = nullptr;
    PortList* previous = nullptr;
};

// A new list appended to the parent (numbered by the parent's count); nullptr
// when memory is short.
PortList* PortListCreate(PortListSet* parent, const char* name);
// Takes the list out of its parent (moving the parent's current list on) and destroys it.
void PortListRemove(PortList* list);
void PortListRemovePort(PortList* list, OutPort* port);
void PortListMarkReread(PortList* list);
void PortGroupDetachAll(PortList* list);
void PortListsDetachAll(PortListSet* parent);
void PortListDetachSources(PortListSet* parent);
// A player of several frames keeps count, current, last and first in `saved`; every
// player is left at one frame (count 1, positions 0).
void PortListParkPlayer(PortList* list);
// Every port of the set forgets the cell (PortForgetDisplay).
void PortListsForgetDisplay(PortListSet* parent, DisplayCellBase* cell);
// The port, its devices and its windows forget the cell wherever they name it, and the
// devices whose pins feed the cell leave their upstream components (unbound, frozen, out
// of the playback chain).
void PortForgetDisplay(OutPort* port, DisplayCellBase* cell);
void PortRebuildConsumers(PortList* list);
void PortMarkSourcesReread(PortList* list);
// The playback chain of a list.
void PortListChainAdd(PortList* list, DeviceViewBase* device);
void PortListChainRemove(PortList* list, DeviceViewBase* device);

bool ConnectComponents(PortList* list, OutPort** port, ComponentBase* upstream, DisplayCellBase* cell,
                       const ComponentId* windowId, int32_t* index, OutputWindow* existing, uint8_t frozen);
bool OutPortAddLink(OutPort* port, ComponentBase* upstream, DisplayCellBase* cell, const ComponentId* windowId,
                    int32_t* index, OutputWindow* existing, uint8_t frozen);
void PortReattachSource(OutPort* port, DeviceViewBase* device);
void PortSetFastMode(OutPort* port, uint8_t fast);
void PortMarkReread(OutPort* port);
void PortFreezeAll(OutPort* port);
void PortDetachAll(OutPort* port);
bool PortHasTwoActiveDevices(OutPort* port, ProjectItemBase* owner);
DeviceViewBase* PortFindDeviceByWindow(OutPort* port, const ComponentId* id, int32_t index);
OutputWindow* PortFindWindow(OutPort* port, const ComponentId* id, int32_t index);
bool PortShowInDisplay(OutPort* port, DisplayCellBase* cell);
void PortRefresh(OutPort* port);
void PortResetSources(OutPort* port);
void AttachSourceToPipeline(ProjectItemBase* item, int32_t eventCode);

void ViewAttachConsumer(OutputWindow* window, DeviceViewBase* leaving);
void ViewFindConsumer(OutputWindow* window);
bool ViewSetActiveConsumer(OutputWindow* window);

}  // namespace orva
