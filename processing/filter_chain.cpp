#include "processing/filter_chain.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

#include "common/log.h"
#include "framework/display_lock.h"
#include "processing/filter_registry.h"
#include "processing/module_guard.h"
#include "processing/modules/builtin_modules.h"
#include "processing/processing_component.h"
#include "common/text.h"
#include "common/numeric.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;


std::atomic<bool> gFailInstanceAllocation{false};

int32_t ChainHandler() { return 1; }

void ClearDoneOfActive(FilterChain* chain) {
    for (FilterInstance* i = chain->first; i != nullptr; i = i->next)
        if (i->skip == 0) i->block.pending = 0;
}

// Links the instance into the chain before `before` (at the end when null).
void LinkBefore(FilterChain* chain, FilterInstance* instance, FilterInstance* before) {
    instance->next = before;
    instance->previous = before != nullptr ? before->previous : chain->last;
    if (instance->previous != nullptr) instance->previous->next = instance;
    else chain->first = instance;
    if (before != nullptr) before->previous = instance;
    else chain->last = instance;
    instance->list = chain;
    ++chain->count;
}

void Unlink(FilterChain* chain, FilterInstance* instance) {
    if (instance->previous != nullptr) instance->previous->next = instance->next;
    else chain->first = instance->next;
    if (instance->next != nullptr) instance->next->previous = instance->previous;
    else chain->last = instance->previous;
    if (chain->current == instance) chain->current = instance->next != nullptr ? instance->next : instance->previous;
    instance->next = instance->previous = nullptr;
    instance->list = nullptr;
    --chain->count;
}

// Keeps the held buffer when it already holds the accepted type and channel count;
// otherwise it is described anew and the done flag cleared. Then the instance is
// bound to `accepted` (false when the module asked for a conversion: the chain has none).
bool BindFormat(FilterInstance* instance, const FormatRequest& accepted, bool conversionAsked,
                const FormatRequest& produced) {
    TypedFrameBuffer& buffer = instance->block.image;
    const uint32_t type = NormalizeFormatWord(accepted.format);
    const bool keep = buffer.elementType != 0 && buffer.elementsPerItem == accepted.channels &&
                      NormalizeFormatWord(static_cast<uint32_t>(buffer.elementType)) == type;
    if (!keep) {
        instance->block.pending = 0;
        buffer.SetTypeAndCount(static_cast<int32_t>(type), accepted.channels);
    }
    if (conversionAsked) {
        instance->error = 1;
        instance->skip = 1;
        instance->block.pending = 0;
        buffer.DropFrame();
        return false;
    }
    instance->input = accepted;
    instance->output = produced;
    instance->error = 0;
    instance->skip = FilterInstanceRuns(instance) ? 0 : 1;
    return true;
}

bool FormatsDiffer(const FormatRequest& a, const FormatRequest& b) {
    // The element size (word 1) follows from word 0 and is not compared.
    return a.format != b.format || a.channels != b.channels || a.dims != b.dims || a.tag != b.tag ||
           a.extra != b.extra;
}


// The box lies within the held data's box.
bool HeldBoxCovers(const TypedFrameBuffer& held, const ReadWindow& w) {
    if (held.data == nullptr) return false;
    return w.x >= held.windowX && w.y >= held.windowY &&
           w.x + w.width <= held.windowX + static_cast<int64_t>(held.width) &&
           w.y + w.height <= held.windowY + static_cast<int64_t>(held.height);
}

bool PairMatches(const FilterBlock& b) {
    const ReadWindow& w = b.window;
    return (w.frame < 0 || w.frame == static_cast<int32_t>(b.deliveredFrame)) &&
           (w.section < 0 || w.section == static_cast<int32_t>(b.deliveredSection));
}

void CachePair(FilterBlock* b) {
    b->pending = 1;
    b->deliveredFrame = static_cast<uint32_t>(b->window.frame);
    b->deliveredSection = static_cast<uint32_t>(b->window.section);
}

}  // namespace

// ---- Instances ---------------------------------------------------------------------------------

FilterInstance::FilterInstance() { block.self = this; }

FilterInstance::~FilterInstance() {
    if (settingsPage != nullptr) {
        if (auto release = TheProcessingServices().releaseSettingsPage) release(this);
        settingsPage = nullptr;
    }
    if (descriptor != nullptr && descriptor->close != nullptr) {
        if (!CallModule([&] { descriptor->close(&callbacks); }))
            LogPrintf("$PlugFilterInitGlobal(): %s - module exeption...", Title());
    }
    if (callbacks.state != nullptr) {
        // Not ours to free: the module's own allocator made it.
        LogPrintf("$plugins: %s [%s] (external) memory leak...", Title(), Key());
        callbacks.state = nullptr;
        state = nullptr;
    }
    if (record != nullptr) record->Release();
    record = nullptr;
}

const char* FilterInstance::Title() const { return descriptor != nullptr ? TextOrEmpty(descriptor->title) : ""; }
const char* FilterInstance::Key() const { return descriptor != nullptr ? TextOrEmpty(descriptor->key) : ""; }

FilterInstance* FilterInstanceOf(PullResult* block) {
    return block != nullptr ? static_cast<FilterBlock*>(block)->self : nullptr;
}

bool FilterInstanceRuns(const FilterInstance* i) {
    return i != nullptr && i->callbacks.process != nullptr && i->off == 0 && i->bypass == 0 && i->error == 0 &&
           i->host != nullptr && i->host->owner != nullptr;
}

void FilterInstanceFault(FilterInstance* instance) {
    if (instance == nullptr) return;
    instance->bypass = 1;
    instance->skip = 1;
    LogPrintf("process: %s - module exeption...", instance->Title());
    if (instance->chain != nullptr) instance->chain->RefreshPluginList();
}

// ---- The chain as the component's input link ----------------------------------------------------

FilterChain::FilterChain(ComponentBase* host) : ConsumerLink(host) {}

FilterChain::~FilterChain() { ChainDeleteAll(this); }

ProcessingComponent* FilterChain::Host() const { return static_cast<ProcessingComponent*>(owner); }

void FilterChain::OnUpstreamChanged() {
    Hold hold(DisplayLock());
    if (idle == 0) ClearDoneOfActive(this);
}

bool FilterChain::AcceptFormat(FormatRequest* request) {
    if (request == nullptr) return false;
    Hold hold(DisplayLock());
    input = *request;
    ChainRenegotiate(this);
    return true;
}

void FilterChain::RefreshPluginList() {
    ++pluginListRefreshes;
    if (auto refresh = TheProcessingServices().refreshPluginList; refresh != nullptr && Host() != nullptr)
        refresh(Host(), false, false, false);
}

// ---- Formats -------------------------------------------------------------------------------------

void NormalizeFormatRequest(FormatRequest* f) {
    if (f == nullptr) return;
    f->format = NormalizeFormatWord(f->format);
    f->element = FormatElementSize(f->format);
    f->channels = ClampFormatChannels(f->channels);
    f->dims = ClampFormatDims(f->dims);
}

bool SetChainInputFormat(FilterChain* chain, const FormatRequest& format) {
    if (chain == nullptr) return false;
    Hold hold(DisplayLock());
    chain->input = format;
    return NegotiateChainFormat(chain);
}

bool NegotiateChainFormat(FilterChain* chain) {
    if (chain == nullptr) return false;
    Hold hold(DisplayLock());
    const FormatRequest& in = chain->input;
    if (in.format == 0 || in.channels == 0 || in.dims == 0) {
        chain->output = in;
        if (chain->idle == 0) ClearDoneOfActive(chain);
        chain->idle = 1;
        return false;
    }
    FormatRequest current = in;
    bool changed = false;
    // Set once: each module sees them as the modules before it left them.
    FormatRequest request, produced;
    for (FilterInstance* i = chain->first; i != nullptr; i = i->next) {
        if (i->bypass != 0) continue;
        i->error = 0;
        int32_t result = -1;
        if (!CallModule([&] { result = i->callbacks.negotiate(i, &current, &request, &produced); })) {
            FilterInstanceFault(i);
            continue;
        }
        if (result < 0) {
            i->error = 1;
            i->skip = 1;
            continue;
        }
        NormalizeFormatRequest(&produced);
        bool bound;
        if (result == 0) {
            request.tag = current.tag;
            request.extra = current.extra;
            NormalizeFormatRequest(&request);
            bound = BindFormat(i, request, true, produced);
        } else {
            bound = BindFormat(i, current, false, produced);
        }
        if (bound) {
            changed = true;
            current = i->output;
        }
    }
    chain->output = current;
    if (!changed && chain->idle == 0) ClearDoneOfActive(chain);
    chain->idle = changed ? 0 : 1;
    return changed;
}

bool ChainRenegotiate(FilterChain* chain) {
    if (chain == nullptr) return false;
    Hold hold(DisplayLock());
    const FormatRequest before = chain->output;
    const bool active = NegotiateChainFormat(chain);
    ProcessingComponent* host = chain->Host();
    if (host == nullptr) return active;
    host->process = active ? &ProcessingComponent::ChainProcess : &ProcessingComponent::PassThroughProcess;
    if (!FormatIsEmpty(chain->output) && FormatsDiffer(before, chain->output)) {
        FormatRequest offered = chain->output;  // the consumers may rewrite their copy
        ComponentForwardToLinks(host, &offered);
    }
    return active;
}

// ---- Instances in the chain ----------------------------------------------------------------------

int32_t filterAdd(FilterChain* chain, const FilterModuleDescriptor* d, FilterInstance** out) {
    if (chain == nullptr || d == nullptr || d->create == nullptr) return kFilterBadDescriptor;
    if ((d->flags & kFilterModuleFlag) == 0) {
        LogPrintf("%s", "$filterAdd: unkn. type...");
        return kFilterUnknownType;
    }
    auto* instance = gFailInstanceAllocation.load() ? nullptr : new (std::nothrow) FilterInstance;
    if (instance == nullptr) return kFilterNoMemory;
    int32_t code = 0;
    bool created = false;
    if (!CallModule([&] { created = d->create(&instance->callbacks, d); })) {
        LogPrintf("%s", "$module: exeption...");
        code = kFilterModuleThrew;
    } else if (!created || instance->callbacks.negotiate == nullptr) {
        code = kFilterCreateRefused;
    } else if (instance->callbacks.state != nullptr || instance->callbacks.stateBytes != 0) {
        if (instance->callbacks.stateBytes > kFilterMaxStateBytes) code = kFilterBadDescriptor;
        else instance->state = instance->callbacks.state;
    }
    if (code != 0) {
        // No descriptor yet: the module's close is not called, a state it left is
        // reported as a leak by the destructor.
        delete instance;
        if (d->title != nullptr) LogPrintf("%s", d->title);
        return code;
    }
    if (instance->callbacks.process == nullptr) instance->skip = 1;
    instance->descriptor = d;
    instance->host = chain->Host();
    instance->chain = chain;

    Hold hold(DisplayLock());
    FilterInstance* at = chain->current;
    if (at == nullptr) {
        LinkBefore(chain, instance, nullptr);
    } else if (chain->keepLast != 0 && at->descriptor != nullptr && (at->descriptor->flags & kFilterStaysLast) != 0) {
        LinkBefore(chain, instance, at);
    } else {
        LinkBefore(chain, instance, at->next);
    }
    chain->current = instance;
    if (out != nullptr) *out = instance;
    return 0;
}

void FilterChainFailInstanceAllocationForTest(bool on) { gFailInstanceAllocation.store(on); }

void localInsert(FilterChain* chain, FilterModulePackage* package) {
    if (chain == nullptr || package == nullptr) return;
    if (package->initialised == 0) {
        if (ModuleGlobalInit(&package->descriptor) != 0) {
            LogPrintf("$localInsert: %s: err global", TextOrEmpty(package->descriptor.title));
            return;
        }
        package->initialised = 1;
    }
    filterAdd(chain, &package->descriptor, nullptr);
}

bool FilterChainInit(FilterChain* chain) {
    if (chain == nullptr) return false;
    chain->name = "MultiFilter";
    chain->handler = &ChainHandler;
    localInsert(chain, &AffineModulePackage());
    return true;
}

FilterInstance* InsertModuleFilter(FilterChain* chain, FilterModuleRecord* record, bool notify) {
    if (chain == nullptr || record == nullptr) return nullptr;
    if (record->descriptor == nullptr && ModuleLoad(record, nullptr, kModuleLoad) != 1) return nullptr;
    record->AddRef();
    Hold hold(DisplayLock());
    FilterInstance* instance = nullptr;
    if (filterAdd(chain, record->descriptor, &instance) != 0) {
        record->Release();
        return nullptr;
    }
    instance->record = record;
    ChainRenegotiate(chain);
    ProcessingComponent* host = chain->Host();
    if (notify && host != nullptr && host->owner != nullptr && instance->skip == 0)
        ChainNotifyHost(chain, instance, true);
    return instance;
}

void ChainClearDone(FilterInstance* instance) {
    for (FilterInstance* i = instance; i != nullptr; i = i->next)
        if (i->skip == 0) i->block.pending = 0;
}

void ChainNotifyHost(FilterChain* chain, FilterInstance* from, bool flag) {
    if (chain == nullptr) return;
    Hold hold(DisplayLock());
    if (from != nullptr) ChainClearDone(from);
    ProcessingComponent* host = chain->Host();
    if (host == nullptr) return;
    if (host->firstLink != nullptr) ComponentNotifyDownstream(host);
    ComponentInvalidate(host, 12, flag);
    RefreshAllWindowsWhenUp();
}

bool ChainRemoveInstance(FilterChain* chain, FilterInstance* instance) {
    if (chain == nullptr || instance == nullptr) return false;
    Hold hold(DisplayLock());
    if (instance->list != chain) return false;
    const bool wasActive = instance->skip == 0;
    Unlink(chain, instance);
    delete instance;
    ChainRenegotiate(chain);
    ProcessingComponent* host = chain->Host();
    if (wasActive && host != nullptr && host->owner != nullptr) ChainNotifyHost(chain, chain->current, true);
    return true;
}

void ChainRemoveAll(FilterChain* chain) {
    if (chain == nullptr) return;
    Hold hold(DisplayLock());
    const bool wasIdle = chain->idle != 0;
    ChainDeleteAll(chain);
    ChainRenegotiate(chain);
    ProcessingComponent* host = chain->Host();
    if (!wasIdle && host != nullptr && host->owner != nullptr) ChainNotifyHost(chain, nullptr, true);
}

void ChainDeleteAll(FilterChain* chain) {
    if (chain == nullptr) return;
    Hold hold(DisplayLock());
    while (FilterInstance* i = chain->first) {
        Unlink(chain, i);
        delete i;
    }
    chain->current = nullptr;
    chain->count = 0;
}

bool ChainMoveInstance(FilterChain* chain, FilterInstance* instance, bool up) {
    if (chain == nullptr || instance == nullptr) return false;
    Hold hold(DisplayLock());
    if (instance->list != chain) return false;
    FilterInstance* other = up ? instance->previous : instance->next;
    if (other == nullptr) return false;
    FilterInstance* current = chain->current;
    Unlink(chain, instance);
    LinkBefore(chain, instance, up ? other : other->next);
    chain->current = current;
    if (instance->bypass == 0) ChainRenegotiate(chain);
    // The earlier of the two now decides from where the held data is stale.
    FilterInstance* from = up ? instance : other;
    ProcessingComponent* host = chain->Host();
    if (from->skip == 0 && host != nullptr && host->owner != nullptr) ChainNotifyHost(chain, from, true);
    return true;
}

bool ChainSetInstanceOff(FilterChain* chain, FilterInstance* instance, bool off) {
    if (chain == nullptr || instance == nullptr) return false;
    Hold hold(DisplayLock());
    if (instance->list != chain) return false;
    const uint8_t wasSkipped = instance->skip;
    instance->off = off ? 1 : 0;
    instance->skip = FilterInstanceRuns(instance) ? 0 : 1;
    ProcessingComponent* host = chain->Host();
    // Either way the frames below change: switching off shows the unfiltered data.
    if (instance->skip != wasSkipped && host != nullptr && host->owner != nullptr)
        ChainNotifyHost(chain, instance->skip == 0 ? instance : instance->next, true);
    return true;
}

// ---- Pulls and queries -------------------------------------------------------------------------

bool ProcessChainBlock(PullResult* own, const PullRequest* request) {
    FilterInstance* instance = FilterInstanceOf(own);
    if (instance == nullptr || instance->chain == nullptr) return false;
    FilterChain* chain = instance->chain;
    FilterBlock* b = &instance->block;
    ReadWindow& w = b->window;
    BlockFitBudget(&w, kChainBlockBudget);

    // The block never reaches past the frame the stage before delivers, read again or not:
    // a filter that widens its request at the frame's edge (the convolver's margin) gets the
    // edge and repeats it, rather than what a stage would put beyond its frame.
    if (FrameDataRecord* d = ChainFirstCall(b, w.frame, w.section)) {
        if (w.x + w.width > d->width) w.width = CountToInt32(d->width - w.x);
        if (w.y + w.height > d->height) w.height = CountToInt32(d->height - w.y);
    }
    const bool fresh = request != nullptr && request->readAgain != 0;
    if (!fresh && b->pending != 0 && PairMatches(*b) && HeldBoxCovers(b->image, w)) return true;

    for (FilterInstance* p = instance->previous; p != nullptr; p = p->previous) {
        if (p->skip != 0 || p->callbacks.process == nullptr) continue;
        p->block.window.frame = w.frame;
        p->block.window.section = w.section;
        int32_t result = -8;
        if (!CallModule([&] { result = p->callbacks.process(&p->block, b, request); })) {
            FilterInstanceFault(p);
            continue;
        }
        if (result >= 0 && b->image.data != nullptr) {
            CachePair(b);
            return true;
        }
        if (result == -1) return false;
    }

    PullRequest upstreamRequest = request != nullptr ? *request : PullRequest{};
    const int32_t code = ComponentPull(chain, b, &upstreamRequest);
    if (code >= 2 && b->image.data != nullptr) {
        chain->lastResult = b;
        CachePair(b);
        return true;
    }
    chain->lastResult = nullptr;
    return false;
}

void* ChainFirstQuery(PullResult* own) {
    FilterInstance* instance = FilterInstanceOf(own);
    if (instance == nullptr) return nullptr;
    for (FilterInstance* p = instance->previous; p != nullptr; p = p->previous) {
        if (p->skip != 0 || p->callbacks.frameQuery == nullptr) continue;
        void* answer = nullptr;
        if (CallModule([&] { answer = p->callbacks.frameQuery(p); })) return answer;
        FilterInstanceFault(p);
    }
    return instance->host != nullptr ? instance->host->UpstreamFrameDescription() : nullptr;
}

FrameDataRecord* ChainFirstCall(PullResult* own, int32_t frame, int32_t section) {
    FilterInstance* instance = FilterInstanceOf(own);
    if (instance == nullptr) return nullptr;
    for (FilterInstance* p = instance->previous; p != nullptr; p = p->previous) {
        if (p->skip != 0 || p->callbacks.frameData == nullptr) continue;
        FrameDataRecord* answer = nullptr;
        if (CallModule([&] { answer = p->callbacks.frameData(p, frame, section); })) return answer;
        FilterInstanceFault(p);
    }
    return instance->host != nullptr ? instance->host->UpstreamFrameData(frame, section) : nullptr;
}

bool ChainBroadcast(FilterChain* chain, void* event) {
    if (chain == nullptr) return false;
    Hold hold(DisplayLock());
    if (chain->idle != 0) return false;
    bool handled = false;
    for (FilterInstance* i = chain->last; i != nullptr; i = i->previous) {
        if (i->skip != 0 || i->callbacks.event == nullptr) continue;
        bool answer = false;
        if (!CallModule([&] { answer = i->callbacks.event(i, event); })) {
            FilterInstanceFault(i);
            continue;
        }
        handled = handled || answer;
    }
    return handled;
}

}  // namespace orva
