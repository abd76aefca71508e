#include "views/source_component.h"

#include <cstring>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "app/cui.h"
#include "framework/display_lock.h"
#include "framework/pipeline.h"
#include "io/frame_access.h"
#include "io/section_stats.h"
#include "io/service_description.h"
#include "transform/transformation.h"
#include "transform/value_scaler.h"

namespace orva {

namespace {

// The invalidation code of a changed input.
constexpr uint32_t kInputChanged = 10;

// The data set can be read: it holds its file.
bool Readable(const DataSet* d) { return d != nullptr && d->stream != nullptr; }

int32_t HookedSourcePanelBuilder(PageWindow* page, void* window, int32_t pageId) {
    const SourcePageHooks& hooks = TheSourcePageHooks();
    return hooks.buildPanel != nullptr ? hooks.buildPanel(page, window, pageId) : 0;
}

int32_t RefreshInfoPage(SourceComponent* source, bool paintNow) {
    const SourcePageHooks& hooks = TheSourcePageHooks();
    return hooks.refreshInfoPage != nullptr ? hooks.refreshInfoPage(source, paintNow) : 0;
}

// The format the Source offers: the data set's delivered format, or one 64-bit real
// channel without a data set; the dimension count stays the consumer's then.
void OfferFormat(const DataSet* d, FormatRequest* r) {
    if (d == nullptr) {
        r->format = 0x40;
        r->element = FormatElementSize(0x40);
        r->channels = 1;
        r->dims = ClampFormatDims(r->dims);
        return;
    }
    const OutputFormat f = d->DeliveredFormat();
    r->format = f.type;
    r->element = f.elementSize;
    r->channels = ClampFormatChannels(f.channels);
    r->dims = f.axes;
}

// Holds a message target for the handling of a request.
class TargetHold {
public:
    explicit TargetHold(MessageTarget* target) : target_(target) { target_->AddRef(); }
    ~TargetHold() { target_->Release(); }
    TargetHold(const TargetHold&) = delete;
    TargetHold& operator=(const TargetHold&) = delete;

private:
    MessageTarget* target_;
};

// The Transformation stages of the item below the component, depth first.
void ForEachItemTransformation(ComponentBase* c, const ProjectItemBase* item,
                               const std::function<void(TransformationComponent*)>& visit) {
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        ComponentBase* next = link->owner;
        if (next == nullptr || !ComponentIsLive(next)) continue;
        if (auto* t = dynamic_cast<TransformationComponent*>(next); t != nullptr && t->owner == item) visit(t);
        ForEachItemTransformation(next, item, visit);
    }
}

// The section preview copied into the reduction's data array: width x height pixels
// of values per pixel, with the preview's scale and zero; the counters hold width and
// height.
bool CopyPreview(const SectionPreview& p, ReductionDataArray* array) {
    if (!p.ready || p.Values() == nullptr || p.width == 0 || p.height == 0) return false;
    array->SetTypeAndCount(0x40, p.valuesPerPixel != 0 ? p.valuesPerPixel : 1);
    const uint64_t pixels = uint64_t{p.width} * p.height;
    if (pixels > UINT32_MAX || !array->Resize(static_cast<uint32_t>(pixels))) return false;
    std::memcpy(array->data, p.Values(), pixels * array->itemBytes);
    array->counters[0] = p.width;
    array->counters[1] = p.height;
    array->rowsUsed = p.height;
    array->scale = p.scale.scale;
    array->zero = p.scale.zero;
    return true;
}

// The block's extremes in physical units, ordered as the value-range answer orders
// them, when the section's statistics were taken already; else the block keeps them
// unknown. The block is asked for on every frame a display draws, mostly for its sizes:
// reading the statistics of each new frame here would make every step and every played
// frame pay a pass over the frame that nothing shows.
void TakeSectionExtremes(DataSet* d, SourceSection* b) {
    const SectionStatistics* s = DataSetSectionInfo(d, b->frame, b->section, 2);
    if (s == nullptr) return;
    SectionStatistics extremes;
    extremes.minimum = s->minimum;
    extremes.maximum = s->maximum;
    extremes.deviation = extremes.mean = kStatisticUnset;
    extremes.count = s->count;
    const ValueRangeRecord r = PhysicalRangeOf(*d, extremes);
    b->minimum = r.min;
    b->maximum = r.max;
}

}  // namespace

SourcePageHooks& TheSourcePageHooks() {
    static SourcePageHooks hooks;
    return hooks;
}

PanelBuilder GetSourcePanelBuilder() { return &HookedSourcePanelBuilder; }

// ---- Life --------------------------------------------------------------------------------

SourceComponent::SourceComponent(ProjectItemBase* owner) : ComponentBase(owner) {
    name = "Source";
    panelBuilder = &HookedSourcePanelBuilder;
    section_.frame = section_.section = -1;
}

SourceComponent::~SourceComponent() {
    if (const uintptr_t a = keyA.load()) ComponentClearFlagDownstream(this, a);
    if (const uintptr_t b = keyB.load()) ComponentClearSecondFlagDownstream(this, b);
    if (owner != nullptr && ProjectItemIsLive(owner) && owner->firstStage == this) owner->firstStage = nullptr;
    SetInput(nullptr);
}

bool SourceComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new SourceComponent(nullptr);
    return *out != nullptr;
}

SourceComponent* SourceCreate(ComponentUi* ui, ProjectItemBase* owner) {
    auto* source = new SourceComponent(owner);
    if (source == nullptr) return nullptr;
    if (ui != nullptr && !ui->AddComponent(source)) {
        source->Release();
        return nullptr;
    }
    if (owner != nullptr && owner->firstStage == nullptr) owner->firstStage = source;
    return source;
}

// ---- The data set ------------------------------------------------------------------------

int32_t SourceComponent::SetInput(DataSet* d) {
    if (d == input_) return 2;
    if (input_ != nullptr || d == nullptr) ComponentResetProcess(this);
    if (DataSet* old = input_) {
        input_ = nullptr;
        // A data set that outlives this Source must not call it.
        if (old->notify == this) old->notify = nullptr;
        old->Release();
    }
    if (d == nullptr) return 2;
    d->AddRef();
    if (d->notify != nullptr && d->notify != this) d->notify->DetachInput();
    d->notify = this;
    input_ = d;
    process = &SourceProcess;
    return 2;
}

void SourceComponent::DetachInput() {
    DataSet* d = input_;
    if (d == nullptr) return;
    ComponentResetProcess(this);
    ClearCachedAnswers();
    // The data set keeps its description: the holder that takes it over reads it.
    SourceInputChanged();
    input_ = nullptr;
    if (d->notify == this) d->notify = nullptr;
    d->Release();
}

void SourceComponent::ClearCachedAnswers() {
    keyA.store(0);
    keyB.store(0);
}

void SourceComponent::TellDownstream() {
    if (firstLink != nullptr) ComponentNotifyDownstream(this);
    ComponentInvalidate(this, kInputChanged, true);
    RefreshAllWindowsWhenUp();
}

int32_t SourceComponent::SourceInputChanged() {
    ClearCachedAnswers();
    SourceWakeInput(this);
    TellDownstream();
    return RefreshInfoPage(this, false);
}

int32_t SourceComponent::SourceInputRedescribed() {
    FormatRequest format;
    OfferFormat(input_, &format);
    ComponentForwardToLinks(this, &format);
    return SourceInputChanged();
}

int32_t SourceComponent::Refresh(uint8_t) {
    ClearCachedAnswers();
    if (input_ != nullptr) {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        input_->InputFormatChanged();
        input_->DescriptionChanged();
        input_->cacheValid = input_->cacheHasData = 0;
    }
    TellDownstream();
    return RefreshInfoPage(this, false);
}

bool SourceReadCurrentStatistics(DataSet* d) {
    if (d == nullptr || d->StepFrames() == 0 || !SourceClampCurrentFrame(d)) return false;
    uint32_t fileFrame = 0;
    SectionStatistics* r = DataSetSectionRecord(d, d->currentFrame, d->currentSection, &fileFrame);
    if (r == nullptr) return false;
    if (r->whole) return true;
    if (!d->statisticsKernel(d, fileFrame, static_cast<uint32_t>(d->currentSection), r, 1, 0)) return false;
    // Totals kept from a sampled record of this section give way to the whole one.
    d->cacheValid = d->cacheHasData = 0;
    return r->whole != 0;
}

namespace {

// The new frame's statistics are read only for a view that follows the frame; the Info
// page and the preview read them when they show them, and a pull that only delivers
// samples (playback, saving, frame requests) never waits for them.
void FollowFrame(DataSet* d, const std::vector<std::pair<TransformationComponent*, ScaleRangeKind>>& following) {
    if (!following.empty()) SourceReadCurrentStatistics(d);
    for (const auto& [stage, kind] : following)
        if (ComponentIsLive(stage)) ValueScalerFollowFrame(&stage->scaler, kind);
}

}  // namespace

void SourceWakeInput(SourceComponent* source) {
    if (source == nullptr) return;
    SourceReadCurrentStatistics(source->Input());
    if (source->owner != nullptr && !source->KeepsRanges())
        ForEachItemTransformation(source, source->owner,
                                  [](TransformationComponent* t) { ValueScalerRefresh(&t->scaler, false); });
}

void SourceRefreshPages(SourceComponent* source, bool repaintNow) {
    if (source == nullptr || source->Input() == nullptr || source->Input()->StepFrames() < 2 || !ComponentUiUp())
        return;
    const SourcePageHooks& hooks = TheSourcePageHooks();
    if (hooks.refreshPages != nullptr) hooks.refreshPages(source, repaintNow);
}

// ---- Format and data ---------------------------------------------------------------------

bool SourceComponent::NegotiateInput(ConsumerLink* link, FormatRequest* request) {
    if (request == nullptr) return false;
    OfferFormat(input_, request);
    bool accepted = true;
    if (link != nullptr) {
        accepted = link->AcceptFormat(request);
        if (!accepted && request->channels > 1) {
            request->channels = 1;
            accepted = link->AcceptFormat(request);
        }
    }
    ClearCachedAnswers();
    if (link == nullptr || !accepted || input_ == nullptr) return accepted;
    OutputFormat agreed;
    agreed.type = request->format;
    agreed.elementSize = request->element;
    agreed.channels = request->channels;
    agreed.axes = request->dims;
    return input_->SetOutputFormat(&agreed);
}

int32_t SourceProcess(ComponentBase* component, PullResult* result, PullRequest*) {
    auto* source = static_cast<SourceComponent*>(component);
    DataSet* d = source != nullptr ? source->Input() : nullptr;
    if (d == nullptr || result == nullptr) return 0;
    ReadWindow& w = result->window;
    if (w.frame < 0 || w.section < 0) {
        SourceClampCurrentFrame(d);
        if (w.frame < 0) w.frame = d->currentFrame;
        if (w.section < 0) w.section = d->currentSection;
    }
    if (!d->ReadWindowData(&result->image, &w)) {
        result->pending = 0;
        return 1;
    }
    result->pending = 1;
    result->deliveredFrame = static_cast<uint32_t>(w.frame);
    result->deliveredSection = static_cast<uint32_t>(w.section);
    return 3;
}

void* SourceComponent::QueryFrameDescription() {
    if (!Readable(input_)) {
        CacheFrameDescription(nullptr);
        return nullptr;
    }
    DataSetInfo* description = input_;
    CacheFrameDescription(description);
    return description;
}

FrameDataRecord* SourceComponent::QueryFrameData(int32_t frame, int32_t sectionIndex) {
    DataSet* d = input_;
    if (!Readable(d)) {
        CacheFrameData(nullptr);
        return nullptr;
    }
    SourceSection& b = section_;
    SectionFrameTable* table = d->frameTable.get();
    const bool held = CachedFrameData() == &b;
    const bool sameFrame = held && (frame < 0 || frame == b.frame);
    if (sameFrame && (sectionIndex < 0 || sectionIndex == b.section)) {
        // Statistics taken since the block was made bring its extremes.
        if (b.minimum == DBL_MAX && b.maximum == -DBL_MAX) TakeSectionExtremes(d, &b);
        return &b;
    }

    const SectionEntry* entry = nullptr;
    uint32_t k;
    if (sameFrame) {
        // Another section of the block's frame: only its record is looked up.
        k = static_cast<uint32_t>(sectionIndex);
        if (table != nullptr) {
            entry = FrameTableSectionRecord(table, MapFrameByStep(*d, b.frame), k);
            if (entry == nullptr) return nullptr;
        } else if (k >= d->sections) {
            return nullptr;
        }
    } else {
        const int32_t f = frame < 0 ? 0 : frame;
        k = sectionIndex < 0 ? 0 : static_cast<uint32_t>(sectionIndex);
        if (table != nullptr) {
            entry = FrameTableSectionRecordEx(table, MapFrameByStep(*d, f), k, &b.sectionCount);
            if (entry == nullptr) return nullptr;
        } else {
            if (k >= d->sections) return nullptr;
            b.sectionCount = d->sections;
        }
        b.frame = f;
    }
    b.section = static_cast<int32_t>(k);
    if (entry != nullptr) {
        b.cropSize[0] = entry->geometry.cropSizeX;
        b.cropSize[1] = entry->geometry.cropSizeY;
        b.cropSize[2] = entry->geometry.cropSizeZ;
    } else {
        b.cropSize[0] = d->cropSizeX > 0 ? static_cast<uint64_t>(d->cropSizeX) : 0;
        b.cropSize[1] = d->cropSizeY > 0 ? static_cast<uint64_t>(d->cropSizeY) : 0;
        b.cropSize[2] = d->cropSizeZ > 0 ? static_cast<uint64_t>(d->cropSizeZ) : 0;
    }
    b.width = b.cropSize[0] > INT64_MAX ? INT64_MAX : static_cast<int64_t>(b.cropSize[0]);
    b.height = b.cropSize[1] > INT64_MAX ? INT64_MAX : static_cast<int64_t>(b.cropSize[1]);
    b.minimum = DBL_MAX;
    b.maximum = -DBL_MAX;
    TakeSectionExtremes(d, &b);
    CacheFrameData(&b);
    return &b;
}

// ---- Messages ----------------------------------------------------------------------------

bool SourceComponent::OnMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr) return false;
    switch (message->code) {
        case kMsgPing:
            return true;
        case kMsgValueRange:
        case kMsgValueRangePartial:
            return ValueRangeRequest(message);
        case kMsgSelectPosition:
            return SelectPosition(message);
        case kMsgSectionData:
            return SectionDataRequest(message);
        case kMsgSourceReserved:
            return false;
        default:
            return ComponentBase::OnMessage(message, argument);
    }
}

bool SourceComponent::SelectPosition(MessageRecord* message) {
    const MessageFramePair* pair = MessageFramePairOf(message);
    if (pair == nullptr) return false;
    if (input_ == nullptr || input_->TotalFrames() == 0) return true;
    // A view whose range is the automatic range of the frame shown so far takes the same
    // kind of range from the new frame; a range stated by the file or set by the user
    // stays for every frame.
    // (Asked only for another frame: every redraw of the preview selects the shown one.)
    const bool moves = (pair->frame >= 0 && pair->frame != input_->currentFrame) ||
                       (pair->section >= 0 && pair->section != input_->currentSection);
    std::vector<std::pair<TransformationComponent*, ScaleRangeKind>> following;
    if (moves) following = FollowingViews();
    if (!input_->SelectPosition(pair->frame, pair->section)) return true;
    FollowFrame(input_, following);
    SourceRefreshPages(this, true);
    return true;
}

std::vector<std::pair<TransformationComponent*, ScaleRangeKind>> SourceComponent::FollowingViews() {
    std::vector<std::pair<TransformationComponent*, ScaleRangeKind>> following;
    if (owner != nullptr)
        ForEachItemTransformation(this, owner, [&following](TransformationComponent* t) {
            ScaleRangeKind kind;
            if (ValueScalerFrameRangeKind(&t->scaler, &kind)) following.emplace_back(t, kind);
        });
    return following;
}

bool SourceComponent::ChangeFrameMapping(const std::function<bool()>& change) {
    if (input_ == nullptr) return change();
    const auto following = FollowingViews();
    keepRanges_ = true;
    const bool accepted = change();
    keepRanges_ = false;
    if (accepted) FollowFrame(input_, following);
    return accepted;
}

bool SourceComponent::ValueRangeRequest(MessageRecord* message) {
    DataSet* d = input_;
    MessageTarget* held = MessageTargetOf(message);
    ValueRangeTarget* target = AsValueRangeTarget(held);
    if (d == nullptr || target == nullptr) return false;
    TargetHold hold(held);
    if (d->TotalFrames() == 0) return true;

    // Code 130 takes complete statistics only, 131 incomplete ones too.
    const int demand = message->code == kMsgValueRange ? 1 : 0;
    ValueRangeRecord range;
    bool have = false;
    if (const MessageFramePair* pair = MessageFramePairOf(message)) {
        if (const SectionStatistics* s = DataSetSectionInfo(d, pair->frame, pair->section, demand)) {
            range = PhysicalRangeOf(*d, *s);
            have = true;
        }
    } else if (const SectionStatistics* s = DataSetTotalInfo(d, demand)) {
        range = ValueRangeOf(*s);  // kept in physical units
        have = true;
    }
    if (!have) {
        target->flags = 0;
        return true;
    }
    target->range = range;
    uint32_t flags = target->flags & ~(kValueRangeMinMax | kValueRangeMeanRms);
    if (range.count != 0 && range.min <= range.max) {
        flags |= kValueRangeMinMax;
        if (range.rms != kStatisticUnset && range.mean != kStatisticUnset) flags |= kValueRangeMeanRms;
    }
    double low = 0.0, high = 0.0;
    d->ValueRange(&low, &high);
    if (low <= high) {
        target->headerRange = {low, high};
        flags |= kValueRangeHeader;
    } else {
        flags &= ~kValueRangeHeader;
    }
    if (const ServiceDescription* sd = d->service; sd != nullptr && (sd->flags & kFlagValueRange)) {
        if (sd->min <= sd->max) {
            target->layoutRange = {sd->min, sd->max};
            flags |= kValueRangeLayout;
        } else {
            flags &= ~kValueRangeLayout;
        }
    }
    target->flags = flags;
    if (d->input.channels <= 1)
        target->channel = 0;
    else
        target->channel = d->channelMode == kChannelSelected ? static_cast<int32_t>(d->selectedChannel) - 1 : -1;
    return true;
}

bool SourceComponent::SectionDataRequest(MessageRecord* message) {
    DataSet* d = input_;
    MessageTarget* held = MessageTargetOf(message);
    ReductionDataArray* array = AsReductionDataArray(held);
    if (d == nullptr || array == nullptr) return false;
    TargetHold hold(held);
    if (d->TotalFrames() == 0) return true;
    SectionPreview preview;
    if (const MessageFramePair* pair = MessageFramePairOf(message)) {
        if (DataSetSectionInfoEx(d, pair->frame, pair->section, &preview)) CopyPreview(preview, array);
        return true;
    }
    // The current section, its statistics read whole first when they are not loaded.
    if (SourceClampCurrentFrame(d)) {
        uint32_t fileFrame = 0;
        SectionStatistics* r = DataSetSectionRecord(d, d->currentFrame, d->currentSection, &fileFrame);
        if (r != nullptr && !r->valid)
            d->statisticsKernel(d, fileFrame, static_cast<uint32_t>(d->currentSection), r, 1, 0);
        if (DataSetSectionInfoEx(d, d->currentFrame, d->currentSection, &preview)) CopyPreview(preview, array);
    }
    return true;
}

// ---- The item's data-set sink ------------------------------------------------------------

int ProjectItemAttachDataSet(ProjectItem* item, DataSet* dataSet) {
    if (item == nullptr) return -16;
    SourceOpenState* context = item->pipelineContext;
    int code;
    if (context == nullptr || !Readable(dataSet)) {
        code = -16;
    } else if (SourceComponent* source = SourceCreate(context->ui, item); source == nullptr) {
        code = -14;
    } else {
        source->SetInput(dataSet);
        item->source.loaded = true;
        item->source.fileName = item->path.Empty() ? std::string() : std::string(item->path.Text());
        if (!WindowListAdd(item, source)) {
            code = -14;
        } else {
            code = BuildPipelineFromScript(context, source) ? 2 : -7;
        }
        if (code != 2) {
            item->source.loaded = false;
            // The stages a failed chain made for the item go with it: they name the item
            // as their owner, and the item goes when its open fails.
            ReleaseItemConsumers(item);
            // Released while the user interface's list still holds it: its links are
            // rebuilt and the item forgets it.
            ComponentReleaseAndUnlink(source);
        }
    }
    item->openResult = code;
    return code;
}

}  // namespace orva
