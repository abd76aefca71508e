#include "framework/component.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "common/aligned_memory.h"
#include "common/paths.h"
#include "framework/device_view.h"
#include "framework/port.h"

namespace orva {

namespace {

std::mutex gLiveLock;
std::unordered_set<const ComponentObject*>& LiveSet() {
    static std::unordered_set<const ComponentObject*> live;
    return live;
}

bool HasLinks(const ComponentBase* c) { return c != nullptr && c->firstLink != nullptr; }

bool DeviceUsable(const DeviceViewBase* device) { return device != nullptr && device->frozen == 0; }

}  // namespace

// ---- Hosts -------------------------------------------------------------------------

namespace {

std::mutex& LiveItemsLock() {
    static std::mutex lock;
    return lock;
}
std::unordered_set<const ProjectItemBase*>& LiveItems() {
    static std::unordered_set<const ProjectItemBase*> items;
    return items;
}

}  // namespace

ProjectItemBase::ProjectItemBase() {
    std::lock_guard<std::mutex> hold(LiveItemsLock());
    LiveItems().insert(this);
}

ProjectItemBase::~ProjectItemBase() {
    std::lock_guard<std::mutex> hold(LiveItemsLock());
    LiveItems().erase(this);
}

bool ProjectItemIsLive(const ProjectItemBase* item) {
    if (item == nullptr) return false;
    std::lock_guard<std::mutex> hold(LiveItemsLock());
    return LiveItems().count(item) != 0;
}

void ClearItemWindowsOf(ProjectItemBase* item, const ComponentBase* component) {
    if (!ProjectItemIsLive(item)) return;
    for (ComponentBase*& ref : item->currentWindows)
        if (ref == component) ref = nullptr;
    item->ForgetComponent(component);
}

bool ComponentUi::ListsComponent(const ComponentBase*) const { return false; }
bool ComponentUi::AddComponent(ComponentBase* component) {
    if (component == nullptr) return false;
    component->ui = this;
    return true;
}
void ComponentUi::RemoveComponent(ComponentBase* component) {
    ForgetComponent(component);
    if (component != nullptr) component->ui = nullptr;
}
void ComponentUi::ForgetComponent(ComponentBase*) {}
std::vector<ComponentBase*> ComponentUi::Components() const { return {}; }
ComponentBase* ComponentUi::FindComponent(uint32_t, void*, uint32_t, uint32_t) { return nullptr; }
DisplayCellBase* ComponentUi::GetCellByNumber(ComponentBase*, uint32_t) { return nullptr; }
bool ComponentUi::PlaceCellInSlot(ComponentBase*, DisplayCellBase*, uint32_t) { return true; }
DisplayCellBase* ComponentUi::CreateDisplayCell(ComponentBase*, void*, int) { return nullptr; }
bool ComponentUi::CellInSlot(ComponentBase*, DisplayCellBase*, uint32_t) { return true; }
PageWindow* ComponentUi::FindPageWindow(void*, PanelBuilder, uint32_t) { return nullptr; }
void ComponentUi::AttachPageContainer(ComponentBase*, void*, uint32_t) {}
void ComponentUi::QueuePageRegistration(ComponentBase*, void*, uint32_t) {}
void ComponentUi::SetPageOption(DisplayCellBase*, void*, int32_t) {}

ComponentServices& TheComponentServices() {
    static ComponentServices services;
    return services;
}

bool ComponentUiUp() {
    const ComponentServices& s = TheComponentServices();
    return s.uiUp != nullptr && s.uiUp();
}

void RefreshAllWindowsWhenUp() {
    const ComponentServices& s = TheComponentServices();
    if (ComponentUiUp() && s.refreshAllWindows != nullptr) s.refreshAllWindows();
}

// ---- Object ------------------------------------------------------------------------

int32_t ComponentProcessDefault(ComponentBase*, PullResult*, PullRequest*) { return 0; }

void BlockIteratorInit(ReadWindow* request, const BlockBox& box) {
    if (request == nullptr) return;
    request->x = box.x;
    request->y = box.y;
    request->width = box.width;
    request->height = box.height;
}

bool BlockFitBudget(ReadWindow* request, int64_t budget) {
    if (request == nullptr) return true;
    const int64_t w = request->width, h = request->height;
    if (w * h <= budget) return true;  // both factors are 32-bit: no overflow
    auto narrow = [](int64_t v) {
        return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
    };
    if (h != 1 && w <= budget / 2) {
        request->height = narrow(budget / w);  // w is not 0: w * h exceeds the budget
    } else {
        // Not even two rows fit: one row of at most the budget (the width is never
        // widened beyond the box, and the rows do not stay to multiply it).
        request->width = narrow(w < budget ? w : budget);
        request->height = 1;
    }
    return false;
}

void* ComponentObject::operator new(std::size_t size) noexcept {
    void* block = AlignedAlloc(size, 32);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}

void ComponentObject::operator delete(void* block) noexcept { AlignedFree(block); }

bool ComponentIsLive(const ComponentObject* component) {
    if (component == nullptr) return false;
    std::lock_guard<std::mutex> hold(gLiveLock);
    return LiveSet().count(component) != 0;
}

ComponentBase::ComponentBase(ProjectItemBase* item) : owner(item) {
    std::lock_guard<std::mutex> hold(gLiveLock);
    LiveSet().insert(this);
}

ComponentBase::~ComponentBase() {
    ComponentUnlinkAll(this);
    delete auxiliary;
    auxiliary = nullptr;
    delete outputSettings;
    outputSettings = nullptr;
    SubscriberNode* node = subscribers;
    subscribers = nullptr;
    while (node != nullptr) {
        SubscriberNode* next = node->next;
        if (node->backReference != nullptr) *node->backReference = nullptr;
        if (node->callback != nullptr) node->callback(node->context);
        std::free(node);
        node = next;
    }
    std::lock_guard<std::mutex> hold(gLiveLock);
    LiveSet().erase(this);
}

int32_t ComponentAddRef(ComponentBase* component) {
    return component->refCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

int32_t ComponentRelease(ComponentBase* component) {
    int32_t count = component->refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete component;
        return 0;
    }
    return count;
}

int32_t ComponentBase::AddRef() { return ComponentAddRef(this); }
int32_t ComponentBase::Release() { return ComponentRelease(this); }

bool ComponentBase::CreateInstance(ComponentObject** out) {
    if (out != nullptr) *out = nullptr;
    return false;
}

bool ComponentBase::AnswerInterface(const ComponentId* id, void** out, const ComponentId* const* supported,
                                    int count) {
    if (id == nullptr) return false;
    for (int i = 0; i < count; ++i) {
        if (SameComponentId(supported[i], id)) {
            if (out != nullptr) {
                AddRef();
                *out = static_cast<ComponentObject*>(this);
            }
            return true;
        }
    }
    return false;
}

bool ComponentBase::QueryInterface(const ComponentId* id, void** out) {
    const ComponentId* supported[] = {GetClassId(), &kComponentBaseId, &kBaseId};
    return AnswerInterface(id, out, supported, 3);
}

int32_t ComponentBase::Refresh(uint8_t) {
    ComponentRefreshDownstream(this);
    return 0;
}

bool ComponentBase::QueryProperties(const ComponentId*, PropertyComponent** out) {
    if (out != nullptr) *out = nullptr;
    return false;
}

ConsumerLink* ComponentBase::GetInputLink(int) { return nullptr; }
void* ComponentBase::GetCurrentSourceRecord() { return orva::GetCurrentSourceRecord(this); }
bool ComponentBase::NegotiateInput(ConsumerLink*, FormatRequest*) { return false; }
bool ComponentBase::OnMessage(MessageRecord* m, uint32_t argument) { return ComponentOnSelect(this, m, argument); }
void ComponentBase::SendPageMessage(MessageRecord*, uint32_t) {}
bool ComponentBase::QueryPageMessage(MessageRecord*, uint32_t) { return false; }
ProjectItemBase* ComponentBase::ComponentGetOwner() { return owner; }

void* ComponentBase::QueryFrameDescription() {
    void* description = UpstreamFrameDescription();
    CacheFrameDescription(description);
    return description;
}

FrameDataRecord* ComponentBase::QueryFrameData(int32_t frame, int32_t section) {
    FrameDataRecord* data = UpstreamFrameData(frame, section);
    CacheFrameData(data);
    return data;
}

void* ComponentBase::UpstreamFrameDescription() {
    ComponentBase* up = ComponentUpstream(this);
    if (up == nullptr) return nullptr;
    if (void* cached = up->CachedFrameDescription()) return cached;
    return up->QueryFrameDescription();
}

FrameDataRecord* ComponentBase::UpstreamFrameData(int32_t frame, int32_t section) {
    ComponentBase* up = ComponentUpstream(this);
    if (up == nullptr) return nullptr;
    FrameDataRecord* cached = up->CachedFrameData();
    if (cached != nullptr && (frame < 0 || frame == cached->frame) && (section < 0 || section == cached->section))
        return cached;
    return up->QueryFrameData(frame, section);
}

namespace {
// The state rule of messages: clears the pending-message word; false when `code`
// (below 128) repeats the component's state, else a code below 128 becomes the
// state. PageSendMessage records codes of 128 and above as well (`recordAll`).
bool TakeMessageState(ComponentBase* c, int32_t code, bool recordAll = false) {
    c->message.code = 0;
    if (code < 128 && code == c->lastMessageCode) return false;
    if (code < 128 || recordAll) c->lastMessageCode = code;
    return true;
}
}  // namespace

bool ComponentBase::ComponentSendCode(int32_t code, uint32_t argument) {
    MessageRecord record(code);
    if (!TakeMessageState(this, code)) return true;
    return OnMessage(&record, argument);
}

ComponentBase* ComponentUpstream(ComponentBase* component) {
    if (component == nullptr) return nullptr;
    ConsumerLink* link = component->GetInputLink(0);
    return link != nullptr ? link->upstream : nullptr;
}

void ComponentResetProcess(ComponentBase* component) {
    if (component != nullptr) component->process = &ComponentProcessDefault;
}

SubscriberNode* ComponentAddSubscriber(ComponentBase* component, ComponentObject** backReference,
                                       void (*callback)(void*), void* context) {
    if (component == nullptr) return nullptr;
    auto* node = static_cast<SubscriberNode*>(std::calloc(1, sizeof(SubscriberNode)));
    if (node == nullptr) return nullptr;
    node->backReference = backReference;
    node->callback = callback;
    node->context = context;
    node->next = component->subscribers;
    component->subscribers = node;
    return node;
}

void* ComponentAllocBlock(ComponentBase* component, size_t bytes) {
    if (component == nullptr) return nullptr;
    size_t total = 0;
    if (__builtin_add_overflow(bytes, sizeof(ComponentBase::OwnedBlock) + 8, &total)) return nullptr;
    auto* block = static_cast<ComponentBase::OwnedBlock*>(std::calloc(1, total));
    if (block == nullptr) return nullptr;
    if (component->lastBlock != nullptr) component->lastBlock->next = block;
    else component->firstBlock = block;
    component->lastBlock = block;
    return reinterpret_cast<uint8_t*>(block) + 16;
}

// ---- Links -------------------------------------------------------------------------

ConsumerLink::~ConsumerLink() { ConsumerBaseDestroy(this); }
bool ConsumerLink::Attach(ComponentBase* up) { return ConsumerAttach(this, up); }
bool ConsumerLink::Renegotiate() { return ConsumerRenegotiate(this); }
void ConsumerLink::Detach() { ConsumerDetach(this); }
void ConsumerLink::LinkForget() {
    upstream = nullptr;
    next = nullptr;
    previous = nullptr;
}

namespace {
bool Negotiate(ConsumerLink* link, ComponentBase* upstream) {
    FormatRequest request;  // {0, 0, 1, 1, 0, 0}
    return upstream->NegotiateInput(link, &request);
}
}  // namespace

bool ConsumerAttach(ConsumerLink* link, ComponentBase* upstream) {
    if (link == nullptr || upstream == nullptr || link->upstream != nullptr) return false;
    if (!Negotiate(link, upstream)) return false;
    ComponentAppendLink(upstream, link);
    link->upstream = upstream;
    return true;
}

bool ConsumerBind(ConsumerLink* link, ComponentBase* upstream) {
    if (link == nullptr || upstream == nullptr || link->upstream != nullptr) return false;
    if (!Negotiate(link, upstream)) return false;
    link->upstream = upstream;
    return true;
}

bool ConsumerRenegotiate(ConsumerLink* link) {
    if (link == nullptr || link->upstream == nullptr || link->owner == nullptr) return false;
    return Negotiate(link, link->upstream);
}

void ConsumerDetach(ConsumerLink* link) {
    if (link == nullptr) return;
    if (link->upstream != nullptr) ComponentRemoveLink(link->upstream, link);
    link->upstream = nullptr;
}

void ClearWord4(ConsumerLink* link) {
    if (link != nullptr) link->upstream = nullptr;
}

void ConsumerBaseDestroy(ConsumerLink* link) {
    if (link == nullptr) return;
    if (link->upstream != nullptr) ComponentRemoveLink(link->upstream, link);
    link->upstream = nullptr;
}

void ComponentAppendLink(ComponentBase* component, ConsumerLink* link) {
    if (component == nullptr || link == nullptr || link->upstream == component) return;
    link->next = nullptr;
    link->previous = component->lastLink;
    if (component->lastLink != nullptr) component->lastLink->next = link;
    else component->firstLink = link;
    component->lastLink = link;
}

void ComponentRemoveLink(ComponentBase* component, ConsumerLink* link) {
    if (component == nullptr || link == nullptr || component->firstLink == nullptr) return;
    if (component->firstLink != link && link->previous == nullptr && link->next == nullptr) return;
    if (link->previous != nullptr) link->previous->next = link->next;
    else component->firstLink = link->next;
    if (link->next != nullptr) link->next->previous = link->previous;
    else component->lastLink = link->previous;
    link->next = nullptr;
    link->previous = nullptr;
}

int32_t ComponentPull(ConsumerLink* link, PullResult* result, PullRequest* request) {
    if (result == nullptr) return 0;
    result->status = 0;
    ComponentBase* up = link != nullptr ? link->upstream : nullptr;
    int32_t code = 0;
    if (up != nullptr && up->process != nullptr) code = up->process(up, result, request);
    if (code >= 2) return code;
    if (result->pending != 0) {
        result->pending = 0;
        return 1;
    }
    return 0;
}

// ---- Walks -------------------------------------------------------------------------

void ComponentNotifyDownstream(ComponentBase* c) {
    if (!HasLinks(c)) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        link->OnUpstreamChanged();
        if (HasLinks(link->owner)) ComponentNotifyDownstream(link->owner);
    }
}

void ComponentRefreshDownstream(ComponentBase* c) {
    if (!HasLinks(c)) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        link->OnUpstreamChanged();
        if (HasLinks(link->owner)) ComponentRefreshDownstream(link->owner);
    }
    if (DeviceUsable(c->portRecord)) c->portRecord->RefreshFromUpstream();
}

namespace {
void ClearKeyWalk(ComponentBase* c, uintptr_t key, bool second) {
    if (!HasLinks(c)) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        ComponentBase* o = link->owner;
        if (o == nullptr) continue;
        std::atomic<uintptr_t>& k = second ? o->keyB : o->keyA;
        uintptr_t value = k.load();
        if (value != 0 && value == key) {
            k.store(0);
            ClearKeyWalk(o, key, second);
        }
    }
}
}  // namespace

void ComponentClearFlagDownstream(ComponentBase* c, uintptr_t key) { ClearKeyWalk(c, key, false); }
void ComponentClearSecondFlagDownstream(ComponentBase* c, uintptr_t key) { ClearKeyWalk(c, key, true); }

void ComponentClearValidDownstream(ComponentBase* c) {
    if (!HasLinks(c)) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        ComponentBase* o = link->owner;
        if (o == nullptr || (o->keyA.load() == 0 && o->keyB.load() == 0)) continue;
        o->keyA.store(0);
        o->keyB.store(0);
        ComponentClearValidDownstream(o);
    }
}

void ComponentInvalidateLinks(ComponentBase* c, uint32_t key) {
    if (c == nullptr) return;
    if (DeviceUsable(c->portRecord)) c->portRecord->Invalidate(key, 3);
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next)
        if (HasLinks(link->owner)) ComponentInvalidateLinks(link->owner, key);
}

void ComponentInvalidate(ComponentBase* c, uint32_t key, bool clearOwn) {
    if (!HasLinks(c)) return;
    if (clearOwn) {
        c->keyA.store(0);
        c->keyB.store(0);
        ComponentClearValidDownstream(c);
    }
    ComponentInvalidateLinks(c, key);
}

void ComponentNotifyDownstreamFrom(ComponentBase* c, const ComponentId* id, PropertyComponent* propertyObject) {
    if (c == nullptr || !IdHasKind(id, kCodeProp) || c->ui == nullptr || !c->ui->ListsComponent(c)) return;
    for (ComponentBase* other : c->ui->Components()) {
        if (other == c || !HasLinks(other)) continue;
        PropertyComponent* found = nullptr;
        if (other->QueryProperties(id, &found) && found == propertyObject) ComponentNotifyDownstream(other);
        if (found != nullptr) found->Release();
    }
}

void ComponentLinksSlot3(ComponentBase* c) {
    if (c == nullptr) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) link->Renegotiate();
}

void ComponentForwardToLinks(ComponentBase* c, FormatRequest* format) {
    if (c == nullptr) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) link->AcceptFormat(format);
}

namespace {
template <typename Match>
DeviceViewBase* FindWalk(ComponentBase* c, const Match& match) {
    if (c == nullptr) return nullptr;
    DeviceViewBase* d = c->portRecord;
    if (d != nullptr && d->frozen == 0 && d->exclusion == 0 && match(d)) return d;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        if (!HasLinks(link->owner)) continue;
        if (DeviceViewBase* found = FindWalk(link->owner, match)) return found;
    }
    return nullptr;
}
}  // namespace

DeviceViewBase* ComponentFindDownstream(ComponentBase* c, PortList* list) {
    return FindWalk(c, [list](DeviceViewBase* d) { return d->portList != nullptr && d->portList != list; });
}

DeviceViewBase* ComponentFindDownstreamActive(ComponentBase* c, PortList* list) {
    return FindWalk(c, [list](DeviceViewBase* d) {
        return d->portList == list && d->display != nullptr && d->display->port != d->port;
    });
}

void ComponentRefreshPlayableRanges(ComponentBase* c) {
    const ComponentServices& s = TheComponentServices();
    if (c == nullptr || s.playbackRange == nullptr) return;
    std::vector<PortList*> done;
    FindWalk(c, [&](DeviceViewBase* d) {
        if (d->portList != nullptr && std::find(done.begin(), done.end(), d->portList) == done.end())
            done.push_back(d->portList);
        return false;  // visit every device
    });
    for (PortList* list : done) {
        const int32_t before = list->player.current.load();
        s.playbackRange(list, nullptr);
        if (list->player.current.load() != before && s.showPlayedFrame != nullptr) s.showPlayedFrame(list);
    }
}

// ---- Messages ----------------------------------------------------------------------

bool ComponentOnSelect(ComponentBase* c, MessageRecord* m, uint32_t) {
    if (c == nullptr || m == nullptr) return false;
    const ComponentServices& s = TheComponentServices();
    if (m->code == kMsgSelect) {
        PageWindow* w = c->pageWindow;
        if (c->panelBuilder != nullptr && w != nullptr &&
            (w->current != c || (w->flags & kPageWindowRebuild) != 0)) {
            w->current = c;
            if (s.redrawComponentWindows) s.redrawComponentWindows(c);
            w->flags &= ~kPageWindowRebuild;
        }
        return true;
    }
    if (m->code == kMsgDeselect || m->code == kMsgDeselectOther) {
        PageWindow* w = c->pageWindow;
        if (w != nullptr && w->current != nullptr) {
            w->current = nullptr;
            if (s.redrawComponentWindows) s.redrawComponentWindows(c);
        }
        return true;
    }
    return false;
}

void PageSendMessage(ComponentBase* c, int32_t code, uint32_t argument) {
    if (c == nullptr || code == 0) return;
    if (!TakeMessageState(c, code, true)) return;
    c->message.code = code;
    c->OnMessage(&c->message, argument);
    c->SendPageMessage(&c->message, argument);
}

void ComponentDeliverMessage(ComponentBase* receiver, MessageRecord* m, uint32_t argument) {
    if (receiver == nullptr || m == nullptr || m->code == 0) return;
    if (!TakeMessageState(receiver, m->code)) return;
    receiver->OnMessage(m, argument);
    receiver->SendPageMessage(m, argument);
}

bool ComponentDeliverMessageQuery(ComponentBase* receiver, MessageRecord* m, uint32_t argument) {
    if (receiver == nullptr || m == nullptr || m->code == 0) return false;
    if (!TakeMessageState(receiver, m->code)) return true;
    if (receiver->OnMessage(m, argument)) return true;
    return receiver->QueryPageMessage(m, argument);
}

void PageSendRefresh(ComponentBase* c) {
    if (ComponentIsLive(c)) PageSendMessage(c, kMsgRefreshPages, 0);
}

// ---- Life --------------------------------------------------------------------------

void ComponentUnlinkAll(ComponentBase* c) {
    if (c == nullptr) return;
    c->process = &ComponentProcessDefault;
    c->keyA.store(0);
    if (c->pageWindow != nullptr && c->pageWindow->current == c) c->pageWindow->current = nullptr;
    if (c->owner != nullptr) {
        ClearItemWindowsOf(c->owner, c);
        c->owner = nullptr;
    }
    if (c->ui != nullptr && c->ui->ListsComponent(c)) c->ui->RemoveComponent(c);
    for (ConsumerLink* link = c->firstLink; link != nullptr;) {
        ConsumerLink* next = link->next;
        if (link->upstream != nullptr) link->LinkForget();
        link = next;
    }
    c->firstLink = nullptr;
    c->lastLink = nullptr;
    c->portRecord = nullptr;
    for (ComponentBase::OwnedBlock* b = c->firstBlock; b != nullptr;) {
        ComponentBase::OwnedBlock* next = b->next;
        std::free(b);
        b = next;
    }
    c->firstBlock = nullptr;
    c->lastBlock = nullptr;
    c->state = 0;
    c->extraWords[0] = c->extraWords[1] = 0;
}

void ComponentReleaseAndUnlink(ComponentBase* c) {
    if (c == nullptr) return;
    if (c->Release() > 0) ComponentUnlinkAll(c);
}

void ComponentLeaveList(ComponentBase* c) {
    if (c == nullptr) return;
    if (c->ui != nullptr) {
        c->ui->ForgetComponent(c);
        c->ui = nullptr;
    }
    ComponentReleaseAndUnlink(c);
}

void* GetCurrentSourceRecord(ComponentBase* c) {
    if (c == nullptr || c->owner == nullptr || !c->owner->source.loaded) return nullptr;
    return c->owner->source.current;
}

bool GetSourceFileName(ComponentBase* c, char* buffer, const char* extension) {
    if (c == nullptr || buffer == nullptr || c->owner == nullptr) return false;
    const SourceHolder& s = c->owner->source;
    if (!s.loaded || s.closing) return false;
    if (extension == nullptr) {
        if (s.fileName.size() >= kPathMax) return false;
        std::memcpy(buffer, s.fileName.c_str(), s.fileName.size() + 1);
        return true;
    }
    return PathReplaceExtension(buffer, s.fileName.c_str(), extension);
}

}  // namespace orva
