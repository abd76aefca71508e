#pragma once
// The component model: every pipeline stage is a reference-counted component
// (ComponentObject / ComponentBase) with a list of downstream ConsumerLinks.
// Data is pulled: a consumer holds a link bound to its upstream component and
// calls ComponentPull, which runs the upstream's process function. Changes
// travel the other way, as walks down the links.
//
// Components live on 32-byte aligned, zero-filled memory, start with count 1
// and are never deleted directly: Release at 0 runs the deleting destructor.
// Counts are atomic because the playback thread shares components.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/global_buffer.h"
#include "framework/component_id.h"
#include "framework/component_message.h"
#include "framework/format_request.h"
#include "framework/property_component.h"

namespace orva {

class ComponentBase;
class ComponentObject;
class ConsumerLink;
class DeviceViewBase;
class DisplayCellBase;
class OutPort;
class OutputWindow;
class PortList;
struct PortListSet;

// ---- Records exchanged between producer and consumer -----------------------------

// FormatRequest, the format two stages agree on: framework/format_request.h.

// The window a consumer asks for; the read kernels clip it in place.
struct ReadWindow {
    int32_t frame = 0;
    int32_t section = 0;
    int64_t x = 0;
    int64_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int64_t z = 0;
    int32_t depth = 0;
    uint32_t flags = 0;
};

// A box of a frame: origin and size.
struct BlockBox {
    int64_t x = 0;
    int64_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};
// Puts the box into a block request (its x, y, width and height); frame, section
// and the other words stay the caller's.
void BlockIteratorInit(ReadWindow* request, const BlockBox& box);
// Fits a block request into `budget` values: true (unchanged) when width x
// height is at most the budget (64-bit product); else, when the height is not 1
// and the width at most budget / 2, the height becomes budget / width, otherwise
// the block becomes one row of at most `budget` values; false then. A stage that
// reads a big window in blocks thus never asks for more than the budget at once.
bool BlockFitBudget(ReadWindow* request, int64_t budget);

// The consumer's result record.
struct PullResult {
    uint8_t pending = 0;           // flag byte: data is on its way / ready
    ReadWindow window;             // the request copy
    uint32_t deliveredFrame = 0;
    uint32_t deliveredSection = 0;
    TypedFrameBuffer image;        // the frame that was delivered
    int32_t status = 0;
    // A record the producer hands along with the frame, owned by the producer:
    // the Reduction's statistic block (tagged 651) while its item is a
    // statistic, its slice frame list (tagged 652) while it is a slice, else
    // nullptr.
    void* statistic = nullptr;
};

// Passed unchanged to the process function.
struct PullRequest {
    uint8_t readAgain = 0;  // 1: fresh data, no cached frame may answer
    // 1 asks the producers for their second way of working, which each consumer
    // names for itself: a display device's fast mode (quicker, coarser frames), the
    // output writer's accurate processing on save, the Reduction's extended
    // precision. 0 is every stage's default work.
    uint8_t workMode = 0;
    uint8_t extra[2] = {0, 0};
};

using ComponentProcessFn = int32_t (*)(ComponentBase* component, PullResult* result, PullRequest* request);
// Produces nothing: returns 0.
int32_t ComponentProcessDefault(ComponentBase* component, PullResult* result, PullRequest* request);

// Messages sent to a component and its settings pages (MessageRecord and the
// records with named parts): framework/component_message.h.
constexpr int32_t kMsgRefreshPages = 1;
constexpr int32_t kMsgDeselect = 256;
constexpr int32_t kMsgSelect = 300;
constexpr int32_t kMsgDeselectOther = 301;

// ---- Hosts the component model talks to (the user interface implements them) ----

// The window whose pages show the current component.
struct PageWindow {
    ComponentBase* current = nullptr;
    uint32_t flags = 0;
};
constexpr uint32_t kPageWindowRebuild = 0x4;

// Builds or refreshes the property pages of the component that `page` shows, in
// the toolkit window `window` (or none), for a page id; answers the number of
// pages built or refreshed (0: none). The page machinery of the user interface
// calls it; the component model only stores it and tests it for null.
using PanelBuilder = int32_t (*)(PageWindow* page, void* window, int32_t pageId);

// The framework part of one opened data file (the user interface's ProjectItem derives
// from it): the owner of the components of its chain.
struct SourceHolder {
    bool loaded = false;
    bool closing = false;
    std::string fileName;
    void* current = nullptr;      // the current source record
    PortList* portList = nullptr; // the port list of the item's displays
};

class ProjectItemBase {
public:
    ProjectItemBase();
    ProjectItemBase(const ProjectItemBase&) = delete;
    ProjectItemBase& operator=(const ProjectItemBase&) = delete;
    virtual ~ProjectItemBase();
    // The component leaves the item (it goes away, or loses the item as its owner): the
    // item drops every reference it holds to it beyond the current windows.
    virtual void ForgetComponent(const ComponentBase* component) { (void)component; }
    ComponentBase* firstStage = nullptr;
    ComponentBase* processing = nullptr;  // the item's Processing stage
    ComponentBase* currentWindows[4] = {nullptr, nullptr, nullptr, nullptr};
    SourceHolder source;
    std::string name;
    void* description = nullptr;  // what the stage creators read
};

// True while the item exists (a component may outlive the item it names as owner).
bool ProjectItemIsLive(const ProjectItemBase* item);

// Clears each of the item's four current-window references that names the
// component (all four: the component goes away) and lets the item forget it; nothing
// for an item that is gone.
void ClearItemWindowsOf(ProjectItemBase* item, const ComponentBase* component);

// The user-interface object as the component model sees it. Every operation
// has a harmless default so that a host implements only what it has.
class ComponentUi {
public:
    virtual ~ComponentUi() = default;
    // The component list.
    virtual bool ListsComponent(const ComponentBase* component) const;
    // Appends a component to the list and makes the ui its owner; false when
    // refused. The default keeps no list: it only sets the component's ui.
    virtual bool AddComponent(ComponentBase* component);
    // Removes the component from the list, forgets it and clears its ui field.
    virtual void RemoveComponent(ComponentBase* component);
    // Clears every reference of the ui to the component.
    virtual void ForgetComponent(ComponentBase* component);
    virtual std::vector<ComponentBase*> Components() const;
    // Empties the histogram chart.
    virtual void ResetHistogram() {}
    // True while the user interface is up.
    virtual bool IsUp() const { return false; }
    // True for a run that has no windows by design (a command line run without a user
    // interface): a chain then has no pages or displays to build, which is no failure.
    virtual bool RunsWithoutWindows() const { return false; }
    // The page window for property pages, or nullptr.
    virtual PageWindow* GetPageWindow() { return nullptr; }
    // The ui's port lists (first, last, current, count), or nullptr.
    virtual PortListSet* PortLists() { return nullptr; }
    // The style flag word that page registrations add to.
    virtual uint32_t StyleFlags() const { return 0; }

    // Window groups (0 main, 1 second, 2 third).
    virtual void* GroupWindow(int group) { (void)group; return nullptr; }
    virtual void LayoutGroup(int group) { (void)group; }
    virtual void SetGroupPageSelector(int group, int32_t value) { (void)group; (void)value; }

    // Workspace and display cells of a group.
    virtual ComponentBase* FindComponent(uint32_t number, void* window, uint32_t code3, uint32_t code4);
    virtual ComponentBase* CreateWorkspace(int group) { (void)group; return nullptr; }
    virtual bool WorkspaceActivated(ComponentBase* workspace) { (void)workspace; return true; }
    virtual void ActivateWorkspace(ComponentBase* workspace) { (void)workspace; }
    virtual DisplayCellBase* GetCellByNumber(ComponentBase* workspace, uint32_t number);
    virtual bool PlaceCellInSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number);
    virtual DisplayCellBase* CreateDisplayCell(ComponentBase* workspace, void* hostWindow, int flag);
    virtual bool CellInSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number);

    // Page registration.
    virtual PageWindow* FindPageWindow(void* window, PanelBuilder builder, uint32_t style);
    virtual void RefreshPageWindow(PageWindow* window) { (void)window; }
    // Creates a page container (kind 3) holding the component and attaches it.
    virtual void AttachPageContainer(ComponentBase* component, void* window, uint32_t style);
    virtual void QueuePageRegistration(ComponentBase* component, void* window, uint32_t style);
    virtual void SetPageOption(DisplayCellBase* cell, void* window, int32_t value);
};

// Calls the framework makes into the layers above it; each may be left empty.
struct ComponentServices {
    // Calls the component's panel builder for its visible windows.
    void (*redrawComponentWindows)(ComponentBase* component) = nullptr;
    // True while the user interface is up.
    bool (*uiUp)() = nullptr;
    // Repaints every window marked for redraw.
    void (*refreshAllWindows)() = nullptr;
    // Recomputes the playback range of a port list.
    void (*playbackRange)(PortList* list, OutPort* port) = nullptr;
    // The port list's cells show the frame its player names now (after a new count moved it).
    void (*showPlayedFrame)(PortList* list) = nullptr;
    // Sets the shared ready flag of the device's chain.
    void (*markGroupReady)(OutputWindow* window, DeviceViewBase* device) = nullptr;
    // The display cell's current window polls its component's state: true when data came.
    bool (*pollComponentState)(OutputWindow* window) = nullptr;
    // Marks the display's window for redraw (window state 7).
    void (*markWindowRedraw)(DisplayCellBase* cell, OutputWindow* window) = nullptr;
    // Refreshes the options window of a project item.
    void (*refreshItemOptionsWindow)(ProjectItemBase* item) = nullptr;
    // Output windows of a display cell (image and chart window).
    OutputWindow* (*createImageWindow)(DisplayCellBase* cell) = nullptr;
    OutputWindow* (*createChartWindow)(DisplayCellBase* cell) = nullptr;
    // The shape container of a display's port, and its visibility switch.
    void* (*createShapeContainer)(DisplayCellBase* cell, int argument) = nullptr;
    void (*destroyShapeContainer)(void* container) = nullptr;
    void (*setShapesVisible)(void* container, DisplayCellBase* cell, uint8_t visible) = nullptr;
    // The path of a configuration file by index (1: orva.ext settings); empty when unknown.
    std::string (*configFilePath)(int index) = nullptr;
};
ComponentServices& TheComponentServices();
bool ComponentUiUp();
// Repaints every window marked for redraw, while the user interface is up.
void RefreshAllWindowsWhenUp();

// ---- The component interface ------------------------------------------------------

// What a frame-data query (slot 15) answers: a record of the producer's own
// kind that begins with the frame number and sub-index of the data it holds and
// the data's extent (its x and y limits: pulls through a filter chain are kept
// below them; a producer that does not know them leaves the largest values).
struct FrameDataRecord {
    int32_t frame = -1;
    int32_t section = -1;
    int64_t width = INT64_MAX;
    int64_t height = INT64_MAX;
};

class ComponentObject {
public:
    // Components are 32-byte aligned and zero-filled before construction.
    // nullptr when memory is short (creators check the result).
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;

    ComponentObject() = default;
    ComponentObject(const ComponentObject&) = delete;
    ComponentObject& operator=(const ComponentObject&) = delete;

    virtual const ComponentId* GetClassId() const = 0;                        // 0
    virtual ~ComponentObject() = default;                                     // 1
    virtual int32_t AddRef() = 0;                                             // 2
    virtual int32_t Release() = 0;                                            // 3
    virtual bool CreateInstance(ComponentObject** out) = 0;                   // 4
    // Stores the object with a reference added (nothing without an out-pointer)
    // and answers true when the class supports the id.
    virtual bool QueryInterface(const ComponentId* id, void** out) = 0;       // 5
    // Re-evaluates the component; `playback` is 1 when frame playback starts, else 0.
    virtual int32_t Refresh(uint8_t playback) = 0;                            // 6
    virtual bool QueryProperties(const ComponentId* id, PropertyComponent** out) = 0;  // 7
    virtual ConsumerLink* GetInputLink(int index) = 0;                        // 8
    virtual void* GetCurrentSourceRecord() = 0;                               // 9
    // Called on the upstream with a consumer link (or none) and a request: fills
    // the request with the produced format and, with a link, asks its AcceptFormat.
    virtual bool NegotiateInput(ConsumerLink* link, FormatRequest* request) = 0;  // 10
    virtual bool OnMessage(MessageRecord* message, uint32_t argument) = 0;    // 11
    // Hand a message on to the component's settings pages (or, in a stage that
    // forwards them, upstream); the second answers whether it was handled.
    virtual void SendPageMessage(MessageRecord* message, uint32_t argument) = 0;   // 12
    virtual bool QueryPageMessage(MessageRecord* message, uint32_t argument) = 0;  // 13
    // The description of the frames the component delivers (what playback reads
    // the frame count from); its record belongs to the producer. Null: none.
    virtual void* QueryFrameDescription() = 0;                                // 14
    // The data of frame `frame`, sub-index `section` (negative: the current one).
    virtual FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) = 0;  // 15
    // The same two asked of the upstream component: its cached answer when it
    // holds one that fits, else its own slot 14 or 15. Null without an upstream.
    virtual void* UpstreamFrameDescription() = 0;                             // 16
    virtual FrameDataRecord* UpstreamFrameData(int32_t frame, int32_t section) = 0;  // 17
    virtual ProjectItemBase* ComponentGetOwner() = 0;                         // 18
    // Sends a code to the component's own OnMessage; codes below 128 are states
    // and a repeat of the current state is not delivered (the answer is then true).
    virtual bool ComponentSendCode(int32_t code, uint32_t argument) = 0;      // 19
};

// A node of the subscriber list: cleared and called back when the component goes.
struct SubscriberNode {
    SubscriberNode* next;
    ComponentObject** backReference;  // cleared when the component goes
    void (*callback)(void* context);
    void* context;
};

// Destroyed with the component.
class OwnedObject {
public:
    virtual ~OwnedObject() = default;
};

// The records of how each Output writes this component's data, one per Output;
// the Output that first connects creates the list (its records are the output
// layer's). Destroyed with the component.
class OutputSettingsList {
public:
    virtual ~OutputSettingsList() = default;
};

class ComponentBase : public ComponentObject {
public:
    explicit ComponentBase(ProjectItemBase* owner);
    // ComponentDestroy: unlinks, destroys the auxiliary object and the output
    // settings list and calls the subscribers.
    ~ComponentBase() override;

    int32_t AddRef() final;
    int32_t Release() final;

    // Defaults shared by the stages; classes override what they have.
    bool CreateInstance(ComponentObject** out) override;
    // Answers the class's own id, "CELB" 0 0 0 and "BASE" 0 0 0.
    bool QueryInterface(const ComponentId* id, void** out) override;
    // Refreshes the downstream components.
    int32_t Refresh(uint8_t playback) override;
    bool QueryProperties(const ComponentId* id, PropertyComponent** out) override;
    ConsumerLink* GetInputLink(int index) override;
    void* GetCurrentSourceRecord() override;
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;
    // ComponentOnSelect.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;
    // No pages: nothing, false.
    void SendPageMessage(MessageRecord* message, uint32_t argument) override;
    bool QueryPageMessage(MessageRecord* message, uint32_t argument) override;
    // A stage that produces nothing of its own passes the upstream's answer on
    // (slots 16 and 17) and keeps it as its cached one (keyA, keyB).
    void* QueryFrameDescription() override;
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override;
    // The upstream (ComponentUpstream): its cached description when it holds one,
    // else its QueryFrameDescription; its cached frame data when the frame and the
    // sub-index match (a negative one matches any), else its QueryFrameData.
    void* UpstreamFrameDescription() override;
    FrameDataRecord* UpstreamFrameData(int32_t frame, int32_t section) override;
    ProjectItemBase* ComponentGetOwner() override;
    bool ComponentSendCode(int32_t code, uint32_t argument) override;

    // Answers `id` when it is one of `supported` (by address or code by code).
    bool AnswerInterface(const ComponentId* id, void** out, const ComponentId* const* supported, int count);

    // The cached answers of slots 14 and 15 live in the two validity words.
    void* CachedFrameDescription() const { return reinterpret_cast<void*>(keyA.load()); }
    FrameDataRecord* CachedFrameData() const { return reinterpret_cast<FrameDataRecord*>(keyB.load()); }
    void CacheFrameDescription(void* description) { keyA.store(reinterpret_cast<uintptr_t>(description)); }
    void CacheFrameData(FrameDataRecord* data) { keyB.store(reinterpret_cast<uintptr_t>(data)); }

    SubscriberNode* subscribers = nullptr;
    PanelBuilder panelBuilder = nullptr;
    PageWindow* pageWindow = nullptr;
    ComponentUi* ui = nullptr;
    std::atomic<int32_t> refCount{1};
    ComponentProcessFn process = &ComponentProcessDefault;
    int32_t lastMessageCode = 1;   // the state: the last code below 128 delivered
    MessageRecord message;         // its code is the pending-message word
    // Validity words A and B: what the component's cached results are valid for,
    // 0 when not valid. A holds the cached frame description (slot 14's answer),
    // B the cached frame data (slot 15's answer); the walks clear them by value.
    std::atomic<uintptr_t> keyA{0};
    std::atomic<uintptr_t> keyB{0};
    uint32_t state = 0;
    ConsumerLink* firstLink = nullptr;
    ConsumerLink* lastLink = nullptr;
    OwnedObject* auxiliary = nullptr;
    DeviceViewBase* portRecord = nullptr;  // the device that shows this component's output
    ProjectItemBase* owner = nullptr;
    struct OwnedBlock {
        OwnedBlock* next;
    };
    OwnedBlock* firstBlock = nullptr;
    OwnedBlock* lastBlock = nullptr;
    uint32_t extraWords[2] = {0, 0};
    const char* name = nullptr;    // the stage's name ("Processing", "Display", ...), static text
    int32_t kind = 0;              // the kind number its pages are registered with
    OutputSettingsList* outputSettings = nullptr;  // owned; null until an Output connects
};

// The upstream component of the component's first input link, or nullptr.
ComponentBase* ComponentUpstream(ComponentBase* component);

// True while the component exists (a registry of live components replaces the
// fault guards around calls to components that may have gone).
bool ComponentIsLive(const ComponentObject* component);

int32_t ComponentAddRef(ComponentBase* component);
int32_t ComponentRelease(ComponentBase* component);
void ComponentResetProcess(ComponentBase* component);

// Adds a subscriber; nullptr when memory is short.
SubscriberNode* ComponentAddSubscriber(ComponentBase* component, ComponentObject** backReference,
                                       void (*callback)(void*), void* context);
// A zero-filled heap block owned by the component, freed when it is unlinked.
void* ComponentAllocBlock(ComponentBase* component, size_t bytes);

// ---- Links ---------------------------------------------------------------------------

class ConsumerLink {
public:
    explicit ConsumerLink(ComponentBase* owner = nullptr) : owner(owner) {}
    ConsumerLink(const ConsumerLink&) = delete;
    ConsumerLink& operator=(const ConsumerLink&) = delete;
    // ConsumerBaseDestroy: leaves the upstream's list.
    virtual ~ConsumerLink();
    // The consumer reacts to a change upstream.
    virtual void OnUpstreamChanged() = 0;
    virtual bool Attach(ComponentBase* upstream);
    virtual bool Renegotiate();
    virtual void Detach();
    virtual void* DataAccess() { return nullptr; }
    // Accepts or refuses the format the upstream offers.
    virtual bool AcceptFormat(FormatRequest* request) = 0;
    // Clears upstream, next and previous without touching any list.
    virtual void LinkForget();

    ComponentBase* upstream = nullptr;
    ConsumerLink* next = nullptr;
    ConsumerLink* previous = nullptr;
    ComponentBase* owner = nullptr;  // the consumer this link feeds
};

// Binds to the upstream after it accepted the link, and joins its list.
bool ConsumerAttach(ConsumerLink* link, ComponentBase* upstream);
// Negotiates and binds without joining the list.
bool ConsumerBind(ConsumerLink* link, ComponentBase* upstream);
bool ConsumerRenegotiate(ConsumerLink* link);
void ConsumerDetach(ConsumerLink* link);
// Forgets the upstream without leaving its list.
void ClearWord4(ConsumerLink* link);
void ConsumerBaseDestroy(ConsumerLink* link);

void ComponentAppendLink(ComponentBase* component, ConsumerLink* link);
void ComponentRemoveLink(ComponentBase* component, ConsumerLink* link);

// Pull: 0 nothing, 1 pending (the flag byte was set and is now cleared), 2 and
// above data (returned unchanged).
int32_t ComponentPull(ConsumerLink* link, PullResult* result, PullRequest* request);

// ---- Downstream walks ---------------------------------------------------------------

void ComponentNotifyDownstream(ComponentBase* component);
void ComponentRefreshDownstream(ComponentBase* component);
// Clear validity word A (B) of every downstream component whose word equals
// `key`, descending only through components whose word matched.
void ComponentClearFlagDownstream(ComponentBase* component, uintptr_t key);
void ComponentClearSecondFlagDownstream(ComponentBase* component, uintptr_t key);
void ComponentClearValidDownstream(ComponentBase* component);
void ComponentInvalidate(ComponentBase* component, uint32_t key, bool clearOwn);
void ComponentInvalidateLinks(ComponentBase* component, uint32_t key);
void ComponentNotifyDownstreamFrom(ComponentBase* component, const ComponentId* id,
                                   PropertyComponent* propertyObject);
void ComponentLinksSlot3(ComponentBase* component);
void ComponentForwardToLinks(ComponentBase* component, FormatRequest* format);
// The first device below the component that is neither frozen nor excluded and
// belongs to a port list other than `list` / to `list` with its display cell
// showing another port.
DeviceViewBase* ComponentFindDownstream(ComponentBase* component, PortList* list);
DeviceViewBase* ComponentFindDownstreamActive(ComponentBase* component, PortList* list);
// The frames a port can play are counted again for every port list fed from below the
// component: its source now offers another number of frames (a new frame step or count).
void ComponentRefreshPlayableRanges(ComponentBase* component);

// ---- Messages, selection, life -------------------------------------------------------

bool ComponentOnSelect(ComponentBase* component, MessageRecord* message, uint32_t argument);
// Sends a code to the component's OnMessage and then its SendPageMessage, in its
// embedded record: nothing for code 0; a code below 128 that repeats the state
// is dropped.
void PageSendMessage(ComponentBase* component, int32_t code, uint32_t argument);
// Hands a message record to `receiver` as stages pass page messages upstream:
// nothing without a receiver or for code 0; the receiver's pending-message word
// is cleared and a code below 128 that repeats its state is dropped (else it
// becomes the state); then its OnMessage and its SendPageMessage.
void ComponentDeliverMessage(ComponentBase* receiver, MessageRecord* message, uint32_t argument);
// The same with an answer: false without a receiver or for code 0, true for a
// dropped repeat; else true when OnMessage handled it, otherwise what its
// QueryPageMessage answers.
bool ComponentDeliverMessageQuery(ComponentBase* receiver, MessageRecord* message, uint32_t argument);
void PageSendRefresh(ComponentBase* component);

void ComponentUnlinkAll(ComponentBase* component);
void ComponentReleaseAndUnlink(ComponentBase* component);
void ComponentLeaveList(ComponentBase* component);

void* GetCurrentSourceRecord(ComponentBase* component);
// The source's file name (or that name with another extension) in a buffer of
// kPathMax bytes; false without a loaded source, while it closes, or when the
// name does not fit.
bool GetSourceFileName(ComponentBase* component, char* buffer, const char* extension);

}  // namespace orva
