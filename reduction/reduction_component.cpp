#include "reduction/reduction_component.h"

#include <atomic>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/clib.h"
#include "framework/device_view.h"
#include "framework/display_lock.h"
#include "platform/message_box.h"
#include "reduction/statistic_tables.h"
#include "shapes/shape.h"
#include "shapes/shape_batch.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

constexpr char kCommonChangeText[] = "To change the default options?";
constexpr char kCommonChangeTitle[] = "Warning message";

// The common-options question is asked once per run.
std::atomic<bool> gCommonChangeAsked{false};

// Accepted upstream formats: 64-bit reals (0x40) without other size bits and unswapped.
constexpr uint32_t kRealBit = 0x40;
constexpr uint32_t kRefusedBits = 0xBF;

void FillRequest(FormatRequest* request, uint32_t channels) {
    request->format = kReductionOutputFormat;
    request->element = 8;
    request->channels = channels;
    request->dims = 1;
}

}  // namespace

ReductionServices& TheReductionServices() {
    static ReductionServices services;
    return services;
}

void ResetCommonChangeQuestion() { gCommonChangeAsked.store(false); }

// ---- Life ----------------------------------------------------------------------------------------

ReductionComponent::ReductionComponent(ProjectItemBase* item, StageDescription* description, uint32_t userValue)
    : ComponentBase(item) {
    // The items' masks are named after this component's data file.
    items.owner = static_cast<ComponentBase*>(this);
    presets.userValue = userValue;
    presets.common = AcquireCommonPreset();
    if (description != nullptr) {
        ReductionPreset* common = presets.common;
        if (description->copyCommon && common != nullptr)
            presets.own.options.CopyValues(common->options);
        else if (description->name != nullptr && *description->name != '\0')
            presets.own.Load(description->name);
        if (description->name != nullptr) descriptionName_ = strdup(description->name);
        if (description->useCommon && common != nullptr) {
            common->AddRef();
            presets.current = common;
        }
    }
    range.frame = range.section = -1;
    range.width = range.height = -1;
    ResetKernels();
    name = "Reduction";
    panelBuilder = TheReductionServices().panelBuilder;
}

ReductionComponent::~ReductionComponent() {
    if (descriptionName_ != nullptr && *descriptionName_ != '\0')
        SaveAllPresets(&presets, presets.userValue, descriptionName_);
    std::free(descriptionName_);
    if (description_ != nullptr && description_->reduction == this) description_->reduction = nullptr;
    for (StatTableWriter*& w : tableWriters) {
        delete w;
        w = nullptr;
    }
    // Nothing waits for a component that goes.
    ShapeBatch::Forget(this);
    ShapeBatch::Forget(&itemLink);
    Hold hold(DisplayLock());
    process = &ComponentProcessDefault;
    ReleaseItems();
    ConsumerBaseDestroy(&input);
    format.Reset();
}

ReductionComponent* ReductionComponent::Create() { return new ReductionComponent(nullptr); }

ReductionResult* ReductionResult::Create(void* owner) {
    auto* result = new (std::nothrow) ReductionResult;
    if (result != nullptr) result->owner = owner;
    return result;
}

bool ReductionComponent::PrepareStatisticBlock() {
    constexpr auto bytes = static_cast<uint32_t>(StatisticBlockBytes(1));
    if (!statistic.Reserve(bytes)) return false;
    std::memset(statistic.block, 0, bytes);
    StatisticBlock* block = Statistic();
    block->tag = kStatisticBlockTag;
    block->size = bytes;
    return true;
}

ComponentBase* CreateReductionFromScript(ComponentUi* ui, ProjectItemBase* item, void* description) {
    auto* stage = static_cast<StageDescription*>(description);
    auto* c = new ReductionComponent(item, stage);
    if (c == nullptr) return nullptr;
    if (!c->PrepareStatisticBlock() || (ui != nullptr && !ui->AddComponent(c))) {
        c->Release();
        return nullptr;
    }
    if (stage != nullptr && stage->reduction == nullptr) {
        stage->reduction = c;
        c->description_ = stage;
    }
    return c;
}

// ---- Slots ---------------------------------------------------------------------------------------

const ComponentId* ReductionComponent::GetClassId() const { return &kReductionId; }

bool ReductionComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = Create();
    return *out != nullptr;
}

bool ReductionComponent::QueryInterface(const ComponentId* id, void** out) {
    const ComponentId* supported[] = {GetClassId(), &kDriveSourceId, &kBaseId, &kComponentBaseId};
    return AnswerInterface(id, out, supported, 4);
}

int32_t ReductionComponent::Refresh(uint8_t) {
    if (auto refresh = TheReductionServices().refreshSlicePage) refresh(this);
    if (UsesCommonOptions()) NotifyCommonOptionUsers();
    if (HasNoItems() || ComponentUpstream(this) == nullptr)
        ComponentResetResults(this);
    else if (portRecord != nullptr)
        ComponentRefreshDownstream(this);
    RefreshAllWindowsWhenUp();
    return 0;
}

bool ReductionComponent::QueryProperties(const ComponentId* id, PropertyComponent** out) {
    if (out != nullptr) *out = nullptr;
    void* found = nullptr;
    if (!presets.current->QueryInterface(id, out != nullptr ? &found : nullptr)) return false;
    if (out != nullptr) *out = static_cast<PropertyComponent*>(found);
    return true;
}

ConsumerLink* ReductionComponent::GetInputLink(int index) { return index == 0 || index == 1 ? &input : nullptr; }

bool ReductionComponent::OnMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr) return false;
    if (message->code == kMsgRefreshPages) {
        Hold hold(DisplayLock());
        ResultBufferReset(&outputData);
        FreeWorkBlocks();
        heldFrame.pending = 0;
        heldFrame.image.Reset();
        return true;
    }
    return ComponentOnSelect(this, message, argument);
}

void ReductionComponent::SendPageMessage(MessageRecord* message, uint32_t argument) {
    ComponentDeliverMessage(ComponentUpstream(this), message, argument);
}

bool ReductionComponent::QueryPageMessage(MessageRecord* message, uint32_t argument) {
    return ComponentDeliverMessageQuery(ComponentUpstream(this), message, argument);
}

ReductionOutputDescription::ReductionOutputDescription() {
    output.type = kReductionOutputFormat;
    output.elementSize = FormatElementSize(kReductionOutputFormat);
    output.channels = 1;
    output.axes = 1;
    framesVisited = -1;
    geometrySize[0] = geometrySize[1] = geometrySize[2] = -1;
    geometrySections = -1;
    rangeMin = -DBL_MAX;
    rangeMax = DBL_MAX;
}

void ReductionOutputDescription::TakeFrames(const DataSetInfo& up) {
    totalFrames = up.TotalFrames();
    framesToUse = up.framesToUse;
    frameStep = up.frameStep;
    framesVisited = up.framesVisited;
    sections = up.sections;
    sizeX = up.sizeX;
    sizeY = up.sizeY;
    sizeZ = up.sizeZ;
    cropX = up.cropX;
    cropY = up.cropY;
    cropZ = up.cropZ;
    cropSizeX = up.cropSizeX;
    cropSizeY = up.cropSizeY;
    cropSizeZ = up.cropSizeZ;
    for (int i = 0; i < 3; ++i) geometrySize[i] = up.geometrySize[i];
}

void* ReductionComponent::QueryFrameDescription() {
    void* answer = nullptr;
    if (!HasNoItems()) {
        // The description above is the data set's, whatever stages lie between.
        if (const auto* up = static_cast<const DataSetInfo*>(UpstreamFrameDescription())) {
            output.TakeFrames(*up);
            output.output.channels =
                Options().values.allChannels && InputChannelCount() != 0 ? InputChannelCount() : 1;
            answer = &output;
        }
    }
    CacheFrameDescription(answer);
    return answer;
}

FrameDataRecord* ReductionComponent::QueryFrameData(int32_t frame, int32_t section) {
    FrameDataRecord* answer = nullptr;
    if (!HasNoItems()) {
        if (FrameDataRecord* up = UpstreamFrameData(frame, section)) {
            range = *up;
            range.frame = frame;
            // A pull of this record measures the current item: the upstream's section
            // (its channel) is no item index of ours.
            range.section = -1;
            answer = &range;
        }
    }
    CacheFrameData(answer);
    return answer;
}

void ReductionComponent::FreeWorkBlocks() {
    for (GlobalBuffer& b : workBlocks) b.Free();
    slice.Release();
}

// ---- Format and kernels --------------------------------------------------------------------------

bool ReductionComponent::NegotiateInput(ConsumerLink* link, FormatRequest* request) {
    if (request == nullptr) return false;
    const uint32_t inputChannels = InputChannelCount();
    uint32_t channels = Options().values.allChannels && inputChannels != 0 ? inputChannels : 1;
    FillRequest(request, channels);
    if (link == nullptr) return true;
    if (!link->AcceptFormat(request)) {
        if (channels == 1) {
            ResetKernels();
            return false;
        }
        channels = 1;
        {
            Hold hold(DisplayLock());
            Options().values.allChannels = 0;
        }
        FillRequest(request, channels);
        if (!link->AcceptFormat(request)) {
            ResetKernels();
            return false;
        }
    }
    SelectKernels();
    InstallStatisticKernel();
    return true;
}

bool ReductionComponent::OnUpstreamChange(FormatRequest* change) {
    if (change == nullptr) return false;
    Hold hold(DisplayLock());
    const uint32_t flags = change->format;
    if ((flags & kRefusedBits) != 0 || (flags & kRealBit) == 0) {
        // Not data the kernels can read: nothing is produced until the next accepted change.
        ComponentResetProcess(this);
        return false;
    }
    const bool all = Options().values.allChannels != 0;
    const uint32_t before = all && InputChannelCount() != 0 ? InputChannelCount() : 1;
    if (format.Matches(change->channels, flags)) {
        ComponentSendCode(lastMessageCode, 0);
        process = &RunItem;
        return true;
    }
    pendingRefresh = 0;
    if (format.Update(change->channels, flags, change->dims)) {
        // The format is taken: the same change offered again keeps what was cached for it.
        format.valid = 1;
        ComponentSendCode(lastMessageCode, 0);
    } else {
        format.Reset();
        ResultBufferReset(&outputData);
    }
    ClampPresetChannels(&presets);
    process = &RunItem;
    const uint32_t after = Options().values.allChannels && InputChannelCount() != 0 ? InputChannelCount() : 1;
    if (after != before) ComponentLinksSlot3(this);
    return true;
}

void ReductionComponent::ResetKernels() {
    Hold hold(DisplayLock());
    extraction = &ExtractNothing;
    statisticKernel = &StatisticNothing;
    smoothing = &SmoothingStub;
    weighting = &WeightingStub;
}

bool ReductionComponent::InstallStatisticKernel() {
    Hold hold(DisplayLock());
    if (statisticKernel == &RegionStatistic) return false;
    statisticKernel = &RegionStatistic;
    return true;
}

bool ReductionComponent::SelectKernels() {
    Hold hold(DisplayLock());
    const ReductionOptions& o = Options();
    const ReductionSliceValues& s = o.values.slice;
    const SmoothingKernel oldSmoothing = smoothing;
    const WeightingKernel oldWeighting = weighting;
    smoothing = &SmoothingStub;
    weighting = &WeightingStub;

    // The sampler pair follows the input's channel layout.
    const uint32_t c = InputChannelCount();
    const bool planar = c > 1 && (format.format & kFormatRowPerChannel) != 0;
    SamplerLayout layout;
    if (c <= 1)
        layout = SamplerLayout::kSingle;
    else if (o.values.allChannels)
        layout = c == 3 ? (planar ? SamplerLayout::kThreePlanar : SamplerLayout::kThreeInterleaved)
                        : (planar ? SamplerLayout::kManyPlanar : SamplerLayout::kManyInterleaved);
    else
        layout = planar ? SamplerLayout::kSelectedPlanar : SamplerLayout::kSelectedInterleaved;
    bool changed = layout != samplerLayout;
    samplerLayout = layout;
    samplers = ReductionSamplers(layout);

    // Weights can be had (W) and a cross profile can be had (P).
    const int32_t method = s.extractMethod;
    const bool weights = (s.weighing || method == 1) && method != 0 &&
                         (o.weighingCoefficients != 0 || (s.autoWeight && s.gain > kTwiceDblMin));
    const bool profile = o.profileCoefficients != 0 || s.autoProfile;
    ExtractionKernel kernel = &ExtractSimple;
    bool profileKernels = false;
    if (method == 1 || (method == 2 && weights && !profile)) {
        if (weights) kernel = s.autoWeight ? &ExtractWeighted : &ExtractNone;
    } else if (method == 2 && profile) {
        kernel = weights && !s.autoWeight ? &ExtractNone : &ExtractOptimal;
        profileKernels = true;
    }
    changed = changed || kernel != extraction;
    extraction = kernel;
    if (profileKernels) {
        smoothing = o.values.lSmoothMethod == 1   ? &SmoothSliceMean
                    : o.values.lSmoothMethod == 2 ? &SmoothSliceMedian
                                                  : &SmoothSliceMeanOrMedian;
        weighting = weights ? &WeightProfileNoise : &WeightProfilePlain;
    }
    return changed || smoothing != oldSmoothing || weighting != oldWeighting;
}

uint32_t ReductionComponent::PlaneIndex() const {
    const ReductionValues& v = presets.Options().values;
    if (v.allChannels) return 0;
    const uint32_t c = InputChannelCount();
    uint32_t n = v.nChannel == 0 ? 1 : v.nChannel;
    if (c != 0 && n > c) n = c;
    return n - 1;
}

// ---- Options -------------------------------------------------------------------------------------

void ReductionComponent::RefreshOptions() {
    if (auto refresh = TheReductionServices().refreshSlicePage) refresh(this);
    if (!HasNoItems() && ComponentUpstream(this) != nullptr && portRecord != nullptr) ComponentRefreshDownstream(this);
    RefreshAllWindowsWhenUp();
}

void ReductionComponent::RequestRefresh() { ComponentRefreshDownstream(this); }

bool ReductionComponent::CurrentItemMeasuresArea() const {
    const Shape* s = CurrentItemShape();
    return s != nullptr && (s->header.role == kRoleStatistic || s->header.role == kRoleFindArea);
}

bool ReductionComponent::SetChannel(uint32_t channel) {
    const uint32_t c = InputChannelCount();
    {
        Hold hold(DisplayLock());
        if (!UsesCommonOptions()) {
            if (channel == 0) channel = 1;
            if (c != 0 && channel >= c) channel = c;
        }
        if (!Options().SetNChannel(channel)) return false;
    }
    if (c >= 2) {
        SelectKernels();
        InstallStatisticKernel();
    }
    if (CurrentItemMeasuresArea() && !HasNoItems() && ComponentUpstream(this) != nullptr) {
        RequestRefresh();
        RefreshAllWindowsWhenUp();
    }
    if (UsesCommonOptions()) NotifyCommonOptionUsers();
    return true;
}

bool ReductionComponent::SetStatBoundary(double low, double high) {
    bool changed;
    {
        Hold hold(DisplayLock());
        changed = Options().SetStatBoundary(low, high);
    }
    if (!changed) return false;
    if (CurrentItemMeasuresArea() && Options().values.stat.boundaryEnable) RefreshItems(true);
    if (UsesCommonOptions()) NotifyCommonOptionUsers();
    return true;
}

bool ReductionComponent::ConfirmCommonChange() {
    if (!UsesCommonOptions() || !ComponentUiUp()) return true;
    if (gCommonChangeAsked.exchange(true)) return true;
    return ClibMessageBox(nullptr, kCommonChangeText, kCommonChangeTitle, platform::kMbYesNo) == platform::kIdYes;
}

void ReductionComponent::NotifyCommonOptionUsers() {
    if (ui == nullptr) return;
    for (ComponentBase* other : ui->Components()) {
        if (other == this || other == nullptr || !SameComponentId(other->GetClassId(), &kReductionId)) continue;
        auto* r = static_cast<ReductionComponent*>(other);
        if (r->portRecord != nullptr && !r->HasNoItems() && ComponentUpstream(r) != nullptr && r->UsesCommonOptions())
            ComponentNotifyDownstream(r);
    }
}

bool ReductionComponent::PresetCommand(int32_t code) {
    bool changed = false;
    switch (code) {
        case 0:
            changed = presets.count != 0;
            ClearPresets(&presets);
            break;
        case 1:
            ResetComponent();
            changed = true;
            break;
        case 2:
            for (ReductionPreset* p = presets.head; p != nullptr;) {
                ReductionPreset* next = p->next;
                if (p != presets.currentPreset) {
                    RemovePreset(&presets, p);
                    changed = true;
                }
                p = next;
            }
            break;
        default:
            if (presets.currentPreset != nullptr) {
                RemovePreset(&presets, presets.currentPreset);
                changed = true;
            }
            break;
    }
    if (changed) {
        if (auto refresh = TheReductionServices().refreshPages) refresh(this);
    }
    return changed;
}

void ReductionComponent::ReleaseItems() {
    for (uint32_t i = 0; i < items.count; ++i) {
        const ItemResultEntry& e = items.entries[i];
        if (e.shape != nullptr) e.shape->items.Remove(&itemLink);
        if (e.group != nullptr)
            for (uint32_t m = 0; m < e.group->memberCount; ++m) e.group->members[m]->items.Remove(&itemLink);
    }
    items.SetCount(0);
    items.totalSize = 0;
}

void ReductionComponent::ResetComponent() {
    ClearPresets(&presets);
    {
        Hold hold(DisplayLock());
        ReleaseItems();
        if (StatisticBlock* b = Statistic()) b->filled = 0;
    }
    if (auto refresh = TheReductionServices().refreshPages) refresh(this);
    RefreshAllWindowsWhenUp();
    if (UsesCommonOptions()) {
        ComponentResetResults(this);
        RefreshAllWindowsWhenUp();
    } else if (presets.current != &presets.own) {
        presets.SwitchCurrent(&presets.own);
    }
}

}  // namespace orva
