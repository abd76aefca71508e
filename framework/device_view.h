#pragma once
// The base of every output device: an input pin bound to an upstream component,
// the pull request and result through which it fetches frames (the result
// holds the frame buffer), and the bytes with which ports freeze, refresh and
// re-read it. Also the common part of display cells that the ports rely on.
#include <atomic>
#include <cstdint>

#include "framework/component.h"

namespace orva {

class DeviceViewBase;

// The device's input pin.
class DevicePin : public ConsumerLink {
public:
    DevicePin(DeviceViewBase* device, ComponentBase* owner) : ConsumerLink(owner), device(device) {}
    // The device resets (its second reset step).
    void OnUpstreamChanged() override;
    // The device decides.
    bool AcceptFormat(FormatRequest* request) override;
    DeviceViewBase* device;
};

// Called with the device when the upstream code is 3 or more; true: delivered.
using DeviceDeliverHook = bool (*)(DeviceViewBase* device);

// A device's scale record: four scale factors and four offsets (the view's
// geometry on its axes) and the state the device keeps with them.
struct DeviceScaleRecord {
    double scale[4] = {1.0, 1.0, 1.0, 1.0};
    double offset[4] = {0.0, 0.0, 0.0, 0.0};
    uint8_t state[96] = {};
};
// Back to the identity: scales 1.0, offsets 0.0, the 96 bytes of state cleared.
void ResetScaleRecord(DeviceScaleRecord* record);

// A view record as a device resets it: its owner and two counters.
struct ViewOwnerRecord {
    void* owner = nullptr;
    uint32_t counters[2] = {0, 0};
};
// Sets the owner when one is given (a null owner keeps the old one), clears the
// two counters; true.
bool ViewSetOwnerReset(ViewOwnerRecord* record, void* owner);

// The device's own small settings record: a counted value object with a flag
// byte (1 when made). Release at 0 destroys it.
class DeviceViewSettings {
public:
    DeviceViewSettings();
    DeviceViewSettings(const DeviceViewSettings&) = delete;
    DeviceViewSettings& operator=(const DeviceViewSettings&) = delete;
    virtual ~DeviceViewSettings() = default;
    int32_t AddRef() { return refCount.fetch_add(1) + 1; }
    int32_t Release();

    std::atomic<int32_t> refCount{1};
    uint8_t flag = 1;
};
// Count 1 and flag byte 1: the state of a new record.
void DeviceViewSettingsInit(DeviceViewSettings* settings);

class DeviceViewBase {
public:
    explicit DeviceViewBase(ComponentBase* owner);
    DeviceViewBase(const DeviceViewBase&) = delete;
    DeviceViewBase& operator=(const DeviceViewBase&) = delete;

    virtual const ComponentId* GetClassId() const = 0;
    // Releases the item texts and blocks (the frame buffer does) and leaves the upstream.
    virtual ~DeviceViewBase();
    virtual int32_t AddRef();
    virtual int32_t Release();
    // Refresh: answers a pull code. The base fetches the frame of `frameRequest`.
    virtual int32_t Refresh();
    // The refresh that the downstream walk calls on a component's port record.
    virtual void RefreshFromUpstream() {}
    // Activation check.
    virtual bool CheckActivation() { return true; }
    // Reset steps.
    virtual void ResetStep1() {}
    virtual void ResetStep2() {}
    // Invalidate with a key and a reason code (3 from the walks).
    virtual void Invalidate(uint32_t key, int32_t reason) { (void)key; (void)reason; }
    // Removes the shapes of this device from the port's shape container.
    virtual void RemoveShapes() {}
    // Applies the work-mode byte of the request (the device's fast mode).
    virtual void ApplyFastMode() {}
    // The pin's format decision.
    virtual bool AcceptFormat(FormatRequest* request) { (void)request; return true; }
    // Whether a producer still feeds the device: one whose producer went (its file was
    // closed) has nothing to show.
    bool HasProducer() const { return pin.upstream != nullptr; }

    DevicePin pin;
    PullResult result;
    PullRequest request;
    ReadWindow frameRequest;          // what Refresh asks for
    DeviceScaleRecord viewScale;      // the view's scales and offsets (ResetScaleRecord)
    DeviceViewBase* older = nullptr;  // chain of one output window, from its latest device
    DeviceViewBase* newer = nullptr;
    std::atomic<int32_t> refCount{1};
    DeviceDeliverHook deliverHook = nullptr;
    int32_t lastPullCode = 0;
    uint8_t stop[2] = {0, 0};
    uint8_t frozen = 0;
    uint8_t hasData = 0;
    uint32_t exclusion = 0;           // non-zero: passed over by the find walks
    DisplayCellBase* display = nullptr;
    OutputWindow* window = nullptr;
    OutPort* port = nullptr;
    PortList* portList = nullptr;
    DeviceViewBase* portNext = nullptr;      // the port's device list
    DeviceViewBase* portPrevious = nullptr;
    DeviceViewBase* chainNext = nullptr;     // the port list's playback chain
    DeviceViewBase* chainPrevious = nullptr;
    bool inChain = false;
    int32_t index = 0;
    int32_t frameLimit = 0x7FFFFFFF;
    int32_t frameOffset = -1;
};

bool DeviceActivate(DeviceViewBase* device);
void DeviceDeactivate(DeviceViewBase* device);
// Pulls the frame of `frameRequest` from the upstream: the upstream's code
// when it is 2 or more, else 1 (0 when the window is all-frozen), with a held
// frame dropped. The read-again byte is cleared in every case.
int32_t DeviceFetch(DeviceViewBase* device, const ReadWindow* frameRequest);
// Under the display lock: refreshes the device (or, for the display cell's
// current device, polls the current window) and marks the window for redraw
// when something was delivered. Answers whether it was.
bool DeviceDeliver(DeviceViewBase* device);
void DeviceSelect(DeviceViewBase* device);
// Drops the held frame: frame fields cleared, scale 1.0, item texts released.
void DeviceDropFrame(DeviceViewBase* device);

// The results of the component's device and of every device below are dropped;
// then the histogram of the ui that lists the component is reset.
void ComponentResetResults(ComponentBase* component);

// ---- Display cells --------------------------------------------------------------------

class DisplayCellBase : public ComponentBase {
public:
    explicit DisplayCellBase(ProjectItemBase* owner) : ComponentBase(owner) {}
    // Has the port lists forget the cell.
    ~DisplayCellBase() override;

    // Code 1 resets the port's devices, codes 2 and 3 answer true, others select.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;

    virtual void PortChanged(bool flag) { (void)flag; }      // 20
    virtual void AfterPortShown() {}                         // 21
    virtual void AfterPortShown2() {}                        // 22
    virtual void Layout() {}                                 // 23
    virtual void AfterSync() {}                              // 24
    virtual void OnPortGone(int32_t code) { (void)code; }    // 25
    virtual void ResultsDropped() {}                         // 27
    // Creates the cell's port (a ViewConsumer), or nullptr.
    virtual OutPort* CreatePort() { return nullptr; }        // 28

    OutPort* port = nullptr;
    PortList* portList = nullptr;
    DeviceViewBase* currentDevice = nullptr;
    OutputWindow* currentWindow = nullptr;
    DisplayCellBase* partner = nullptr;
    int32_t stateCode = 0;
    PortListSet* portLists = nullptr;  // the ui's port lists, for the forgetting at the end
};

// Refreshes the port, runs the port-change operation with true, clears the
// owner's reference to the cell and forgets owner, device, window, port and list.
void DisplayDropPort(DisplayCellBase* cell);
void DisplaySyncToPort(DisplayCellBase* cell);

}  // namespace orva
