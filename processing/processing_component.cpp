#include "processing/processing_component.h"

#include <mutex>

#include "framework/component_message.h"
#include "framework/display_lock.h"
#include "processing/module_guard.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

// The message that hands the reduction's parameters to the filters.
constexpr int32_t kMsgSectionRequest = 258;
constexpr int32_t kMsgReductionParameters = 259;

}  // namespace

ProcessingServices& TheProcessingServices() {
    static ProcessingServices services;
    return services;
}

PanelBuilder GetPluginListPanelBuilder() { return TheProcessingServices().pluginListPanel; }

// ---- Life ----------------------------------------------------------------------------------------

ProcessingComponent::ProcessingComponent(ProjectItemBase* item) : ComponentBase(item), chain(this) {
    panelBuilder = GetPluginListPanelBuilder();
    name = "Processing";
    process = &PassThroughProcess;
}

ProcessingComponent::~ProcessingComponent() {
    Hold hold(DisplayLock());
    if (owner != nullptr && owner->processing == this) owner->processing = nullptr;
    ChainDeleteAll(&chain);
    ConsumerBaseDestroy(&chain);
}

const ComponentId* ProcessingComponent::GetClassId() const { return &kProcessingId; }

bool ProcessingComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new ProcessingComponent(nullptr);
    return *out != nullptr;
}

bool SetOwner(ProcessingComponent* c, ProjectItemBase* item) {
    if (c == nullptr) return false;
    if (c->owner != nullptr && c->owner != item && c->owner->processing == c) c->owner->processing = nullptr;
    if (item != nullptr && item->processing == nullptr) item->processing = c;
    c->owner = item;
    return item != nullptr;
}

ComponentBase* CreateProcessingFromScript(ComponentUi* ui, ProjectItemBase* item, void*) {
    auto* c = new ProcessingComponent(nullptr);
    if (c == nullptr) return nullptr;
    if (!FilterChainInit(&c->chain)) {
        c->Release();
        return nullptr;
    }
    SetOwner(c, item);
    if (ui != nullptr && !ui->AddComponent(c)) {
        c->Release();
        return nullptr;
    }
    return c;
}

// ---- Slots ---------------------------------------------------------------------------------------

int32_t ProcessingComponent::Refresh(uint8_t) {
    if (firstLink != nullptr) ComponentRefreshDownstream(this);
    RefreshAllWindowsWhenUp();
    return 0;
}

ConsumerLink* ProcessingComponent::GetInputLink(int index) { return index < 2 ? &chain : nullptr; }

bool ProcessingComponent::NegotiateInput(ConsumerLink* link, FormatRequest* request) {
    if (request == nullptr) return false;
    const FormatRequest& out = chain.output;
    if (FormatIsEmpty(out)) {
        // Nothing negotiated yet: 64-bit reals, the request's words 4 and 5 kept.
        request->format = 0x40;
        request->element = 8;
        request->channels = ClampFormatChannels(out.channels);
        request->dims = ClampFormatDims(out.dims);
    } else {
        *request = out;
    }
    return link == nullptr || link->AcceptFormat(request);
}

bool ProcessingComponent::OnMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr) return false;
    switch (message->code) {
        case kMsgRefreshPages: {
            // Release the cached data: every active instance forgets and frees what it holds.
            Hold hold(DisplayLock());
            for (FilterInstance* i = chain.first; i != nullptr; i = i->next) {
                if (i->skip != 0) continue;
                i->block.pending = 0;
                if (i->block.image.block != nullptr || i->block.image.data != nullptr) i->block.image.Reset();
                i->block.deliveredFrame = 0;
                i->block.deliveredSection = 0;
            }
            return true;
        }
        case kMsgSectionRequest:
        case kMsgReductionParameters: {
            const bool handled = ComponentOnSelect(this, message, argument);
            if (!handled && message->code == kMsgSectionRequest) return handled;
            if (MessageDataOf(message) == nullptr) return handled;
            ReductionDataArray* array = AsReductionDataArray(MessageTargetOf(message));
            if (array == nullptr) return false;
            array->AddRef();
            const bool broadcast = array->setWord != 0;
            if (broadcast) ChainBroadcast(&chain, array->table);
            array->Release();
            return broadcast;
        }
        default: return ComponentOnSelect(this, message, argument);
    }
}

void ProcessingComponent::SendPageMessage(MessageRecord* message, uint32_t argument) {
    ComponentDeliverMessage(ComponentUpstream(this), message, argument);
}

bool ProcessingComponent::QueryPageMessage(MessageRecord* message, uint32_t argument) {
    return ComponentDeliverMessageQuery(ComponentUpstream(this), message, argument);
}

void* ProcessingComponent::QueryFrameDescription() {
    void* answer = nullptr;
    FilterInstance* last = chain.last;
    if (chain.idle == 0 && last != nullptr) {
        bool asked = false;
        if (last->skip == 0 && last->callbacks.frameQuery != nullptr) {
            asked = CallModule([&] { answer = last->callbacks.frameQuery(last); });
            if (!asked) FilterInstanceFault(last);
        }
        if (!asked) answer = ChainFirstQuery(&last->block);
    } else {
        answer = UpstreamFrameDescription();
    }
    CacheFrameDescription(answer);
    return answer;
}

FrameDataRecord* ProcessingComponent::QueryFrameData(int32_t frame, int32_t section) {
    FrameDataRecord* answer = nullptr;
    FilterInstance* last = chain.last;
    if (chain.idle == 0 && last != nullptr) {
        bool asked = false;
        if (last->skip == 0 && last->callbacks.frameData != nullptr) {
            asked = CallModule([&] { answer = last->callbacks.frameData(last, frame, section); });
            if (!asked) FilterInstanceFault(last);
        }
        if (!asked) answer = ChainFirstCall(&last->block, frame, section);
    } else {
        answer = UpstreamFrameData(frame, section);
    }
    CacheFrameData(answer);
    return answer;
}

// ---- Process functions ---------------------------------------------------------------------------

int32_t ProcessingComponent::ChainProcess(ComponentBase* component, PullResult* result, PullRequest* request) {
    auto* self = static_cast<ProcessingComponent*>(component);
    if (result == nullptr) return 0;
    FilterChain& c = self->chain;
    if (c.idle == 0) {
        for (FilterInstance* i = c.last; i != nullptr; i = i->previous) {
            if (i->skip != 0 || i->callbacks.process == nullptr) continue;
            i->block.window.frame = result->window.frame;
            i->block.window.section = result->window.section;
            int32_t code = -8;
            if (!CallModule([&] { code = i->callbacks.process(&i->block, result, request); })) {
                FilterInstanceFault(i);
                continue;
            }
            if (code == -1) {
                c.lastResult = nullptr;
                result->pending = 0;
                return 0;
            }
            if (code >= 0) {
                result->pending = 1;
                result->deliveredFrame = static_cast<uint32_t>(result->window.frame);
                result->deliveredSection = static_cast<uint32_t>(result->window.section);
                c.lastResult = result;
                return code == 0 ? 3 : 2;
            }
        }
    }
    return PassThroughProcess(component, result, request);
}

int32_t ProcessingComponent::PassThroughProcess(ComponentBase* component, PullResult* result, PullRequest* request) {
    auto* self = static_cast<ProcessingComponent*>(component);
    FilterChain& c = self->chain;
    if (c.upstream == nullptr || result == nullptr) {
        c.lastResult = nullptr;
        return 0;
    }
    const int32_t code = ComponentPull(&c, result, request);
    c.lastResult = code >= 2 ? result : nullptr;
    return code;
}

}  // namespace orva
