#include "transform/value_scaler.h"

#include <array>
#include <mutex>

#include "framework/component.h"
#include "framework/component_id.h"
#include "framework/display_lock.h"

namespace orva {

namespace {

// The invalidation code of a scaling or colour change.
constexpr uint32_t kScalingChanged = 15;

using Guard = std::lock_guard<std::recursive_mutex>;

// The source at the head of the owner's chain, or nullptr.
ComponentBase* OwnerSource(ComponentBase* owner) {
    if (owner == nullptr || !ComponentIsLive(owner)) return nullptr;
    // The head of the owner's own chain: a file of several units has a chain behind each
    // of its sources, and each chain's range is its own source's.
    ComponentBase* head = nullptr;
    ComponentBase* at = owner;
    for (int steps = 0; at != nullptr && steps < 64; ++steps) {
        ConsumerLink* link = at->GetInputLink(0);
        ComponentBase* up = link != nullptr ? link->upstream : nullptr;
        if (up == nullptr || !ComponentIsLive(up)) break;
        head = up;
        at = up;
    }
    if (head != nullptr && IdHasStage(head->GetClassId(), FourCC("IOST"), FourCC("INPT"))) return head;
    // Not linked yet (a stage made while its chain is built): the item's input stage, which
    // names the source whose chain is being built, else its first stage.
    ProjectItemBase* item = owner->ComponentGetOwner();
    if (item == nullptr) return nullptr;
    for (ComponentBase* source : {item->currentWindows[0], item->firstStage})
        if (source != nullptr && ComponentIsLive(source)) return source;
    return nullptr;
}

// The owner's region interface; `held` receives the reference to release.
RegionInterface* OwnerRegion(ComponentBase* owner, ComponentObject** held) {
    *held = nullptr;
    if (owner == nullptr || !ComponentIsLive(owner)) return nullptr;
    void* out = nullptr;
    if (!owner->QueryInterface(&kDriveSourceId, &out) || out == nullptr) return nullptr;
    auto* component = static_cast<ComponentObject*>(out);
    auto* region = dynamic_cast<RegionInterface*>(component);
    if (region == nullptr) {
        component->Release();
        return nullptr;
    }
    *held = component;
    return region;
}

bool RegionAttached(ComponentBase* owner) {
    ComponentObject* held = nullptr;
    RegionInterface* region = OwnerRegion(owner, &held);
    if (region == nullptr) return false;
    const bool attached = region->IsAttachedRegion();
    held->Release();
    return attached;
}

void RefreshPanel(ValueScaler* s) {
    if (s->panel != nullptr) s->panel(s);
}

// Selects the current class's kernel for the formats; keeps the kernel (the copy
// kernel when there is none) when the formats are not both set or the class has
// no kernel for them. Under the display lock.
bool ChooseKernel(ValueScaler* s) {
    if (s->inputFormat != 0 && s->outputFormat != 0) {
        ScaleSettings& c = s->Current();
        if (ScaleKernel k = c.SetClassByIndex(c.classIndex, s->inputFormat, s->outputFormat)) {
            s->kernel = k;
            s->classKernel = true;
            return true;
        }
    }
    s->classKernel = false;
    if (s->kernel == nullptr) s->kernel = ScaleKernelCopy;
    return false;
}

// A new automatic range: refused when reversed or equal to the current one;
// otherwise the current range goes into the previous range.
bool TakeAutomaticRange(ScaleSettings& s, const LinearRange& r) {
    if (r.high < r.low || (r.low == s.min && r.high == s.max)) return false;
    s.previousRange = {s.min, s.max};
    s.min = r.low;
    s.max = r.high;
    s.UpdateScale();
    return true;
}

bool StatisticsRange(const ScaleSettings& s, const ValueRangeTarget& a, LinearRange* r) {
    if (!(a.flags & kValueRangeMeanRms)) return false;
    const LinearAxis axis{a.range.rms, a.range.mean};
    return LinearRangeFromIndices(&axis, r, s.nMin, s.nMax);
}

// The range a new owner's source gives when the settings have none.
bool OwnerRange(const ScaleSettings& s, const ValueRangeTarget* a, LinearRange* r) {
    if (!RangeIsEmpty(s.sourceRange)) {
        *r = s.sourceRange;
        return true;
    }
    if (a == nullptr) return false;
    const bool extremes = (a->flags & kValueRangeMinMax) != 0;
    const bool moments = (a->flags & kValueRangeMeanRms) != 0;
    const LinearRange minmax{a->range.min, a->range.max};
    if (extremes) {
        // Data whose spread reaches the extremes on both sides show best over them.
        const double mean = a->range.mean, sigma = a->range.rms;
        if (!moments || (2.0 * (mean + 3.0 * sigma) > a->range.max && (mean - 4.0 * sigma) / 2.0 < a->range.min)) {
            *r = minmax;
            return true;
        }
    }
    if (s.rangeMode == 0 && moments && StatisticsRange(s, *a, r)) return true;
    if (extremes) {
        *r = minmax;
        return true;
    }
    if (a->flags & kValueRangeHeader) {
        *r = a->headerRange;
        return true;
    }
    if (a->flags & kValueRangeLayout) {
        *r = a->layoutRange;
        return true;
    }
    return false;
}

}  // namespace

// ---- The scaler ------------------------------------------------------------------------

ValueScaler::ValueScaler(const SettingsRequest* request, uint32_t flagWord) {
    flags = flagWord & 0xFFFF;
    if (request != nullptr && request->fileName != nullptr && *request->fileName != '\0') {
        fileName = request->fileName;
        Read(fileName.c_str());
    }
    ScaleDefaults* defaults = AcquireScaleDefaults(true);
    if (defaults != nullptr && request != nullptr && request->copyShared) {
        Guard lock(DisplayLock());
        settings.SaveClassValues();
        CopyScaleSettings(&settings, defaults->settings, nullptr, 0);
        settings.LoadClassValues();
    }
    if (defaults != nullptr) defaults->Release();
    if (request != nullptr && request->useShared) ValueScalerLinkShared(this);
}

ValueScaler::~ValueScaler() {
    ScaleSettingsHolder* shared = nullptr;
    {
        Guard lock(DisplayLock());
        if (current != this) {
            current->settings.SaveClassValues();
            shared = current;
            current = this;
        }
    }
    if (shared != nullptr) shared->Release();
}

bool ValueScaler::CreateInstance(PropertyComponent** out) {
    if (out != nullptr) *out = nullptr;
    return false;
}

bool ValueScaler::QueryInterface(const ComponentId* id, void** out) {
    if (SameComponentId(id, &kPlugSingleFilterId)) {
        if (out != nullptr) *out = this;
        return true;
    }
    if (current == this) return ScaleSettingsHolder::QueryInterface(id, out);
    return current->QueryInterface(id, out);
}

bool ValueScaler::Reset() {
    Guard lock(DisplayLock());
    settings.ResetDefaults();
    if (current == this) ChooseKernel(this);
    return true;
}

void ValueScaler::SectionCopiedIn() {
    if (current == this) ChooseKernel(this);
}

// ---- Operations --------------------------------------------------------------------------

void ValueScalerSetOwner(ValueScaler* s, ComponentBase* owner, ScalePanelFn panel) {
    ComponentBase* before;
    {
        Guard lock(DisplayLock());
        before = s->owner;
        s->owner = owner;
        s->panel = panel;
    }
    if (before == owner) return;
    ValueRangeAnswer answer = ValueScalerFetchStatistics(s);
    {
        Guard lock(DisplayLock());
        ScaleSettings& c = s->Current();
        if (answer != nullptr && RangeIsEmpty(c.sourceRange) && (answer->flags & kValueRangeHeader) &&
            answer->headerRange.high > answer->headerRange.low) {
            c.sourceRange = answer->headerRange;
        }
        LinearRange r;
        if (c.min == c.max && OwnerRange(c, answer.get(), &r) && !(r.high < r.low) &&
            !(r.low == c.min && r.high == c.max)) {
            c.min = r.low;
            c.max = r.high;
            c.UpdateScale();
        }
    }
    if (before != nullptr && owner != nullptr) {
        ComponentInvalidate(owner, kScalingChanged, false);
        RefreshAllWindowsWhenUp();
    }
}

bool ValueScalerSetFlags(ValueScaler* s, uint32_t input, uint32_t output) {
    input &= 0x50;
    output &= 0x50;
    Guard lock(DisplayLock());
    if (input == s->inputFormat && output == s->outputFormat) return s->classKernel;
    s->inputFormat = input;
    s->outputFormat = output;
    return ChooseKernel(s);
}

void ValueScalerUpdateScale(ValueScaler* s) {
    Guard lock(DisplayLock());
    s->Current().UpdateScale();
}

bool ValueScalerRefresh(ValueScaler* s, bool notify) {
    if (RegionAttached(s->owner)) {
        if (notify) ValueScalerNotify(s);
        RefreshPanel(s);
        return false;
    }
    int mode;
    {
        Guard lock(DisplayLock());
        mode = s->Current().rangeMode;
    }
    if (!ValueScalerTakeRange(s, mode == 1 ? ScaleRangeKind::kExtremes : ScaleRangeKind::kStatistics)) return false;
    if (notify) ValueScalerNotify(s);
    RefreshPanel(s);
    return true;
}

bool ValueScalerFrameRangeKind(ValueScaler* s, ScaleRangeKind* kind) {
    if (RegionAttached(s->owner)) return false;
    ValueRangeAnswer answer = ValueScalerFetchStatistics(s);
    if (answer == nullptr) return false;
    Guard lock(DisplayLock());
    const ScaleSettings& c = s->Current();
    const ScaleRangeKind statistics = ScaleRangeKind::kStatistics, extremes = ScaleRangeKind::kExtremes;
    for (ScaleRangeKind k : c.rangeMode == 1 ? std::array{extremes, statistics} : std::array{statistics, extremes}) {
        LinearRange r;
        if (ScaleRangeOfKind(c, answer.get(), k, &r) && ScaleRangesEqual(r.low, r.high, c.min, c.max)) {
            *kind = k;
            return true;
        }
    }
    return false;
}

bool ValueScalerFollowFrame(ValueScaler* s, ScaleRangeKind kind) {
    if (!ValueScalerTakeRange(s, kind)) return false;
    ValueScalerNotify(s);
    RefreshPanel(s);
    return true;
}

void ValueScalerStoreRange(ValueScaler* s) {
    bool restored = false;
    {
        Guard lock(DisplayLock());
        ScaleSettings& c = s->Current();
        c.previousRange = c.keptRange = {c.min, c.max};
        if (c.restoreRange && !RangeIsEmpty(c.regionRange) &&
            !(c.regionRange.low == c.min && c.regionRange.high == c.max)) {
            c.min = c.regionRange.low;
            c.max = c.regionRange.high;
            c.UpdateScale();
            restored = true;
        }
    }
    if (restored) RefreshPanel(s);
}

void ValueScalerStoreRangeAlt(ValueScaler* s) {
    Guard lock(DisplayLock());
    ScaleSettings& c = s->Current();
    c.regionRange = {c.min, c.max};
}

void ValueScalerNotify(ValueScaler* s) {
    NotifySettingsChanged(s->owner, &kSingleFilterPropId, s->current != s ? s->current : nullptr);
}

bool ValueScalerSetClass(ValueScaler* s, int index) {
    Guard lock(DisplayLock());
    if (s->inputFormat == 0 || s->outputFormat == 0) return false;
    ScaleKernel k = s->Current().SetClassByIndex(index, s->inputFormat, s->outputFormat);
    if (k == nullptr) return false;
    s->kernel = k;
    s->classKernel = true;
    return true;
}

bool ValueScalerSetMin(ValueScaler* s, double value, bool lock, bool remember) {
    Guard guard(DisplayLock());
    return s->Current().SetMin(value, lock, remember);
}

bool ValueScalerSetMax(ValueScaler* s, double value, bool lock, bool remember) {
    Guard guard(DisplayLock());
    return s->Current().SetMax(value, lock, remember);
}

bool ValueScalerShiftRange(ValueScaler* s, double delta, bool remember) {
    Guard guard(DisplayLock());
    return s->Current().ShiftRange(delta, remember);
}

bool ValueScalerLinkShared(ValueScaler* s) {
    if (s->current != s) return false;
    ScaleDefaults* defaults = AcquireScaleDefaults(true);
    if (defaults == nullptr) return false;
    {
        Guard lock(DisplayLock());
        s->settings.SaveClassValues();
        s->current = defaults;  // keeps the reference taken above
        defaults->settings.LoadClassValues();
        ChooseKernel(s);
    }
    RefreshPanel(s);
    ValueScalerNotify(s);
    return true;
}

bool ValueScalerUnlinkShared(ValueScaler* s) {
    ScaleSettingsHolder* shared;
    {
        Guard lock(DisplayLock());
        shared = s->current;
        if (shared == s) return false;
        shared->settings.SaveClassValues();
        s->current = s;
        s->settings.LoadClassValues();
        ChooseKernel(s);
    }
    shared->Release();
    RefreshPanel(s);
    ValueScalerNotify(s);
    return true;
}

bool ValueScalerToggleShared(ValueScaler* s) {
    return s->current == s ? ValueScalerLinkShared(s) : ValueScalerUnlinkShared(s);
}

bool ValueScalerRegionToggle(ValueScaler* s, bool on) {
    ComponentObject* held = nullptr;
    RegionInterface* region = OwnerRegion(s->owner, &held);
    if (region == nullptr) return false;
    bool ok = true;
    if (on) {
        ok = region->IsAttachedRegion() || region->ReattachPendingRegion() || region->ShapeAction(nullptr);
    } else if (region->IsAttachedRegion()) {
        ok = region->DetachRegion(true);
        if (ok) RefreshAllWindowsWhenUp();
    }
    held->Release();
    return ok;
}

ValueRangeAnswer ValueScalerFetchStatistics(const ValueScaler* s) {
    ComponentBase* source = OwnerSource(s->owner);
    if (source == nullptr) return {};
    ValueRangeAnswer answer(ValueRangeTarget::Create());
    if (answer == nullptr) return {};
    DataMessage message(kMsgValueRange, answer.get());
    if (!source->OnMessage(&message, 0) || answer->flags == 0) return {};
    return answer;
}

bool ScaleRangeOfKind(const ScaleSettings& s, const ValueRangeTarget* a, ScaleRangeKind kind, LinearRange* r) {
    switch (kind) {
        case ScaleRangeKind::kLoaded:
            if (RangeIsEmpty(s.sourceRange)) return false;
            *r = s.sourceRange;
            return true;
        case ScaleRangeKind::kStatistics:
            return a != nullptr && StatisticsRange(s, *a, r);
        case ScaleRangeKind::kExtremes:
            if (a == nullptr || !(a->flags & kValueRangeMinMax)) return false;
            *r = {a->range.min, a->range.max};
            return true;
        case ScaleRangeKind::kHeader:
            if (a == nullptr || !(a->flags & kValueRangeHeader)) return false;
            *r = a->headerRange;
            return true;
    }
    return false;
}

bool ValueScalerTakeRange(ValueScaler* s, ScaleRangeKind kind) {
    ValueRangeAnswer answer;
    if (kind != ScaleRangeKind::kLoaded) {
        answer = ValueScalerFetchStatistics(s);
        if (answer == nullptr) return false;
    }
    Guard lock(DisplayLock());
    ScaleSettings& c = s->Current();
    LinearRange r;
    return ScaleRangeOfKind(c, answer.get(), kind, &r) && TakeAutomaticRange(c, r);
}

}  // namespace orva
