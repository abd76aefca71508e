// The range block of the "View" page: the bounds Max ("High:") and Min ("Low :") with
// arrows, statistics and decade buttons, the step of the arrows ("Step:"), "Lock", the
// region toggle ("Mask"), RestoreRange ("R") and the "Range" menu.
#include <cfloat>
#include <cmath>
#include <mutex>

#include "app/field_readers.h"
#include "app/property_pages.h"
#include "framework/display_lock.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "transform/transformation.h"
#include "views/view_page.h"
#include "views/view_page_parts.h"

namespace orva {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// The largest Step the field takes.
constexpr double kMaxStep = 1.1235582092889473e307;
constexpr double kTinyBound = 2.2250738585072014e-307;
constexpr double kDecadeFactor[3] = {0.01, 0.1, 1.0};
// The argument of a refresh that writes the bounds alone.
constexpr intptr_t kShowBoundsOnly = 1;
// Entries by number.
constexpr int32_t kEntryPrevious = 1, kEntryMask = 2, kEntryExtremes = 3, kEntryAverage = 4, kEntryHeader = 5,
                  kEntryLoaded = 6, kEntryCopy = 7, kEntryPaste = 8, kEntryCommon = 9;
constexpr const char* kRangeLabels[12] = {"Previous", "Mask",  nullptr, "[Min | Max]", "Average", "Header settings",
                                          "Loaded settings", nullptr, "Copy", "Paste", nullptr, "Common Properties"};

SharedMenu& TheRangeMenu() {
    static SharedMenu menu;
    return menu;
}


void ShowHigh(UIElement* e, const ScaleSettings& s) { ShowDouble(PageSlot(e, kRngHigh), 14, 3, s.max); }
void ShowLow(UIElement* e, const ScaleSettings& s) { ShowDouble(PageSlot(e, kRngLow), 14, 3, s.min); }
void ShowBounds(UIElement* e, const ScaleSettings& s) {
    ShowHigh(e, s);
    ShowLow(e, s);
}
void ShowStep(UIElement* e, const ScaleSettings& s) { ShowDouble(PageSlot(e, kRngStep), 14, 3, s.step); }

// The region interface of the scaler's owner, released when it goes out of scope.
class OwnerRegion {
public:
    explicit OwnerRegion(ValueScaler* s) {
        void* out = nullptr;
        if (s != nullptr && s->owner != nullptr && ComponentIsLive(s->owner) &&
            s->owner->QueryInterface(&kDriveSourceId, &out) && out != nullptr) {
            held_ = static_cast<ComponentObject*>(out);
            region_ = dynamic_cast<RegionInterface*>(held_);
        }
    }
    ~OwnerRegion() {
        if (held_ != nullptr) held_->Release();
    }
    OwnerRegion(const OwnerRegion&) = delete;
    OwnerRegion& operator=(const OwnerRegion&) = delete;
    RegionInterface* get() const { return region_; }
    bool Attached() const { return region_ != nullptr && region_->IsAttachedRegion(); }

private:
    ComponentObject* held_ = nullptr;
    RegionInterface* region_ = nullptr;
};

struct RangeContext {
    UIElement* e = nullptr;
    ValueScaler* s = nullptr;
    // Handlers that move the range act only for a scaler that has its stage.
    bool Owned() const { return s != nullptr && s->owner != nullptr && ComponentIsLive(s->owner); }
};

RangeContext RangeContextOf(uintptr_t data) {
    RangeContext x;
    x.e = ViewElement(data, kRangeSlotCount);
    x.s = x.e != nullptr ? ViewScaler(x.e) : nullptr;
    return x;
}

// After a change: the pipeline first, then the fields.
void Changed(const RangeContext& x, bool high, bool low) {
    ValueScalerNotify(x.s);
    if (high) ShowHigh(x.e, x.s->Current());
    if (low) ShowLow(x.e, x.s->Current());
}

double ArrowStep(const ScaleSettings& s) {
    const double k = CtrlShiftHeld() ? 0.1 : (CtrlHeld() ? 0.01 : 1.0);
    return std::fabs(s.step) * k;
}

// ---- Handlers ------------------------------------------------------------------------------------

void HighArrow(gElement* button, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned()) return;
    const bool remember = FirstStepOfPress(button);
    ScaleSettings& s = x.s->Current();
    const double d = ArrowStep(s);
    const bool lock = s.lock != 0;
    if (button == PageSlot(x.e, kRngHighUp)) {
        const double v = s.max > DBL_MAX - d ? DBL_MAX : s.max + d;
        if (ValueScalerSetMax(x.s, v, lock, remember)) Changed(x, true, lock);
    } else if (!lock) {
        const double v = s.min + d > s.max ? s.min : s.max - d;
        if (ValueScalerSetMax(x.s, v, false, remember)) Changed(x, true, false);
    } else if (ValueScalerShiftRange(x.s, -d, remember)) {
        Changed(x, true, true);
    }
}

void LowArrow(gElement* button, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned()) return;
    const bool remember = FirstStepOfPress(button);
    ScaleSettings& s = x.s->Current();
    const double d = ArrowStep(s);
    const bool lock = s.lock != 0;
    if (button == PageSlot(x.e, kRngLowDown)) {
        const double v = s.min < -DBL_MAX + d ? -DBL_MAX : s.min - d;
        if (ValueScalerSetMin(x.s, v, lock, remember)) Changed(x, lock, true);
    } else if (!lock) {
        const double v = s.min > s.max - d ? s.max : s.min + d;
        if (ValueScalerSetMin(x.s, v, false, remember)) Changed(x, false, true);
    } else if (ValueScalerShiftRange(x.s, d, remember)) {
        Changed(x, true, true);
    }
}

void Decade(gElement* button, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned() || button == nullptr) return;
    bool high = false;
    int which = -1;
    for (uint32_t i = 0; i < 3; ++i) {
        if (button == PageSlot(x.e, kRngHighDecade + i)) {
            high = true;
            which = static_cast<int>(i);
        } else if (button == PageSlot(x.e, kRngLowDecade + i)) {
            which = static_cast<int>(i);
        }
    }
    if (which < 0) return;
    double f = kDecadeFactor[which];
    // A press of the right button steps the other way.
    if (gMouseButtonState() == 5 || gMouseButtonState() == 6) f = -f;
    ScaleSettings& s = x.s->Current();
    const double bound = high ? s.max : s.min;
    const double a = std::fabs(bound);
    // The smallest power of ten not below |bound|.
    const double m = a <= kTinyBound ? a : std::pow(10.0, -std::floor(std::log10(1.0 / a)));
    const double d = s.step * m * f;
    const bool remember = FirstStepOfPress(button);
    if (s.lock != 0) {
        if (ValueScalerShiftRange(x.s, d, remember)) Changed(x, true, true);
        return;
    }
    if (high) {
        double v;
        if (f >= 0) {
            v = s.max > DBL_MAX - d ? DBL_MAX : s.max + d;
        } else {
            v = s.max + d < s.min ? s.min : s.max + d;
        }
        if (ValueScalerSetMax(x.s, v, false, remember)) Changed(x, true, false);
    } else {
        double v;
        if (f < 0) {
            v = s.min < -DBL_MAX - d ? -DBL_MAX : s.min + d;
        } else {
            v = s.min + d > s.max ? s.max : s.min + d;
        }
        if (ValueScalerSetMin(x.s, v, false, remember)) Changed(x, false, true);
    }
}

void FromStatistics(gElement* button, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned()) return;
    ValueRangeAnswer answer = ValueScalerFetchStatistics(x.s);
    if (answer == nullptr || (answer->flags & kValueRangeMeanRms) == 0) return;
    LinearRange r;
    if (!ScaleRangeOfKind(x.s->Current(), answer.get(), ScaleRangeKind::kStatistics, &r)) return;
    if (button == PageSlot(x.e, kRngHighStats)) {
        if (ValueScalerSetMax(x.s, r.high, false, true)) Changed(x, true, false);
    } else if (ValueScalerSetMin(x.s, r.low, false, true)) {
        Changed(x, false, true);
    }
}

void BoundEntry(gElement* field, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned()) return;
    const bool high = field == PageSlot(x.e, kRngHigh);
    const bool lock = x.s->Current().lock != 0;
    double v = 0.0;
    if (ReadFieldDouble(field, &v, true) &&
        (high ? ValueScalerSetMax(x.s, v, lock, true) : ValueScalerSetMin(x.s, v, lock, true))) {
        Changed(x, high || lock, !high || lock);
        return;
    }
    if (high) {
        ShowHigh(x.e, x.s->Current());
    } else {
        ShowLow(x.e, x.s->Current());
    }
}

void StepEntry(gElement* field, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (x.s == nullptr) return;
    double v = 0.0;
    if (ReadFieldDouble(field, &v, true)) {
        if (v > kMaxStep) v = kMaxStep;
        if (v == x.s->Current().step) return;
        if (v > 0.0) {
            Guard lock(DisplayLock());
            x.s->Current().step = v;
        }
    }
    ShowStep(x.e, x.s->Current());
}

void MaskToggled(gElement* toggle, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned() || toggle == nullptr) return;
    const bool on = toggle->value != 0;
    if (!ValueScalerRegionToggle(x.s, on)) ShowToggle(toggle, !on);
    ShowMark(PageSlot(x.e, kRngOrigin), toggle->value != 0);
}

void RestoreToggled(gElement* toggle, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (x.s == nullptr || toggle == nullptr) return;
    Guard lock(DisplayLock());
    x.s->Current().restoreRange = toggle->value != 0 ? 1 : 0;
}

void LockToggled(gElement* toggle, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    if (!x.Owned() || toggle == nullptr) return;
    Guard lock(DisplayLock());
    x.s->Current().lock = toggle->value != 0 ? 1 : 0;
}

// Moves the attached region to the origin of the stage's view.
void OriginPressed(gElement*, uintptr_t data) {
    RangeContext x = RangeContextOf(data);
    TransformationComponent* t = x.e != nullptr ? ViewStage(x.e) : nullptr;
    if (t == nullptr) return;
    double ox = 0.0, oy = 0.0;
    if (TheTransformationViewHooks().viewOffset != nullptr) TheTransformationViewHooks().viewOffset(t, &ox, &oy);
    t->FollowViewOrigin(ox, oy, 1.0, 1.0);
}

void RangeButtonGone(gElement* button) { ReleaseMenuButton(TheRangeMenu(), button); }

void RangeNotify(UIElement* e, intptr_t argument) {
    if (argument != kShowBoundsOnly) {
        ScaleRangePanelRefresh(e);
        return;
    }
    if (ViewElement(reinterpret_cast<uintptr_t>(e), kRangeSlotCount) == nullptr) return;
    if (ValueScaler* s = ViewScaler(e)) ShowBounds(e, s->Current());
}

// ---- Building ------------------------------------------------------------------------------------

void BuildRange(UIElement* e, gElement** s) {
    PageRows r(e);
    s[kRngMask] = r.Button(47, 77.0f, "Mask", &MaskToggled, PageRows::kButtonColour, kToggleColour2);
    s[kRngRestore] = r.Button(47, 13.0f, "R", &RestoreToggled, PageRows::kButtonColour, kToggleColour2);
    s[kRngOrigin] = StepButton(r, kStepReset, 13.0f, &OriginPressed);
    s[kRngMenu] = r.Button(38, 81.0f, "Range", &RangeMenuOpen);
    HoldMenuButton(TheRangeMenu(), s[kRngMenu], &RangeButtonGone);
    const char* decades[3] = {"10", "100", "1000"};
    const float decadeWidth[3] = {20.0f, 26.0f, 29.0f};
    for (int row = 0; row < 2; ++row) {
        const bool high = row == 0;
        const uint32_t base = high ? kRngHigh : kRngLow;
        auto arrow = high ? &HighArrow : &LowArrow;
        r.NewRow();
        r.Label(high ? "High:" : "Low :");
        gElement* field = r.Field(88.0f, "0", &BoundEntry);
        if (field != nullptr) field->textLimit = 19;
        s[base] = field;
        s[base + 2] = StepButton(r, kStepBack, 10.0f, arrow);
        s[base + 3] = StepButton(r, kStepForward, 10.0f, arrow);
        s[base + 1] = StepButton(r, kStepReset, 13.0f, &FromStatistics);
        for (uint32_t i = 0; i < 3; ++i) s[base + 4 + i] = r.Button(37, decadeWidth[i], decades[i], &Decade);
    }
    r.NewRow();
    r.Label("Step:");
    s[kRngStep] = r.Field(88.0f, "1.0", &StepEntry);
    if (s[kRngStep] != nullptr) s[kRngStep]->textLimit = 19;
    s[kRngLock] = r.Button(47, 38.0f, "Lock", &LockToggled, PageRows::kButtonColour, 0x4301858u);
    e->notify = &RangeNotify;
}

void RefreshRange(UIPage*, UIElement* e, int32_t) { ScaleRangePanelRefresh(e); }

bool Equals(const LinearRange& a, const ScaleSettings& s) { return ScaleRangesEqual(a.low, a.high, s.min, s.max); }

}  // namespace

TransformationViewHooks& TheTransformationViewHooks() {
    static TransformationViewHooks hooks;
    return hooks;
}

int32_t ScaleRangePanelBuild(PageWindow* pw, void* window, int32_t pageId) {
    return ShowViewBlock(pw, window, pageId, &ScaleRangePanelBuild, kRangeSlotCount, kViewRangeIndex, &BuildRange, &RefreshRange) ? 1 : 0;
}

void ScaleRangePanelRefresh(UIElement* e) {
    if (ViewElement(reinterpret_cast<uintptr_t>(e), kRangeSlotCount) == nullptr) return;
    ValueScaler* scaler = ViewScaler(e);
    if (scaler == nullptr) return;
    const bool attached = OwnerRegion(scaler).Attached();
    ShowToggle(PageSlot(e, kRngMask), attached);
    ShowMark(PageSlot(e, kRngOrigin), attached);
    const ScaleSettings& s = scaler->Current();
    ShowToggle(PageSlot(e, kRngRestore), s.restoreRange != 0);
    ShowBounds(e, s);
    ShowStep(e, s);
    ShowToggle(PageSlot(e, kRngLock), s.lock != 0);
    MarkPageRepaint(e);
}

void ValueScalerShowRange(ValueScaler* scaler) {
    if (scaler == nullptr || !gUiReady()) return;
    ComponentBase* owner = scaler->owner;
    if (owner == nullptr || !ComponentIsLive(owner)) return;
    auto* page = static_cast<UIPage*>(owner->pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || page->current != owner) return;
    UIElementsNotify(page, &ScaleRangePanelBuild, kShowBoundsOnly);
}

// ---- The range menu ---------------------------------------------------------------------------------

gMenu* RangeMenu() {
    SharedMenu& m = TheRangeMenu();
    return m.menu != nullptr && gMenuIsMenu(m.menu) ? m.menu : nullptr;
}

int32_t RangeMenuButtons() { return TheRangeMenu().buttons; }

void RangeMenuOpen(gElement* button, uintptr_t data) {
    UIElement* e = ViewElement(data, kRangeSlotCount);
    if (e == nullptr || button == nullptr) return;
    ValueScaler* s = ViewScaler(e);
    if (s == nullptr || s->owner == nullptr || !ComponentIsLive(s->owner) || s->owner->ComponentGetOwner() == nullptr)
        return;
    SharedMenu& m = TheRangeMenu();
    if (RangeMenu() != nullptr && gMenuIsOpen(m.menu)) return;
    gMenu* menu = MakeSharedMenu(m, button, &RangeMenuCallback, kRangeLabels, 12);
    if (menu == nullptr) return;
    menu->ownerWidget = button;
    m.element = e;
    gMenuPopupAt(menu, button, 0);
}

void RangeMenuPrepare(UIElement* e) {
    ValueScaler* scaler = ViewScaler(e);
    if (scaler == nullptr) return;
    SharedMenu& m = TheRangeMenu();
    const bool region = OwnerRegion(scaler).Attached();
    ValueRangeAnswer answer = ValueScalerFetchStatistics(scaler);
    const ScaleSettings& s = scaler->Current();
    auto keptEntry = [&](int32_t n, const LinearRange& r) {
        const bool greyed = region || RangeIsEmpty(r);
        SetMenuEntry(m, n, greyed, !greyed && Equals(r, s));
    };
    keptEntry(kEntryPrevious, s.previousRange);
    keptEntry(kEntryMask, s.keptRange);
    const bool noStatistics = !region && answer == nullptr;
    LinearRange r;
    const bool extremes = ScaleRangeOfKind(s, answer.get(), ScaleRangeKind::kExtremes, &r) && Equals(r, s);
    SetMenuEntry(m, kEntryExtremes, noStatistics, region ? s.rangeMode != 0 : extremes);
    const bool average = ScaleRangeOfKind(s, answer.get(), ScaleRangeKind::kStatistics, &r) && Equals(r, s);
    SetMenuEntry(m, kEntryAverage, noStatistics, region ? s.rangeMode == 0 : average);
    const bool header = ScaleRangeOfKind(s, answer.get(), ScaleRangeKind::kHeader, &r);
    SetMenuEntry(m, kEntryHeader, region || !header, header && Equals(r, s));
    const bool loaded = ScaleRangeOfKind(s, nullptr, ScaleRangeKind::kLoaded, &r);
    SetMenuEntry(m, kEntryLoaded, region || !loaded, loaded && Equals(r, s));
    SetMenuEntry(m, kEntryCopy, false, false);
    keptEntry(kEntryPaste, s.copiedRange);
    SetMenuEntry(m, kEntryCommon, false, scaler->LinkedToDefaults());
}

void RangeMenuCallback(gMenu*, const int32_t* rows, uint32_t) {
    UIElement* e = SharedMenuElement(TheRangeMenu(), kRangeSlotCount);
    if (e == nullptr) return;
    if (rows == nullptr) {
        RangeMenuPrepare(e);
    } else if (rows[0] >= kEntryPrevious && rows[0] <= kEntryCommon) {
        RangeMenuCommand(e, rows[0] - 1);
    }
}

void RangeMenuCommand(UIElement* e, int32_t command) {
    RangeContext x;
    x.e = ViewElement(reinterpret_cast<uintptr_t>(e), kRangeSlotCount);
    x.s = x.e != nullptr ? ViewScaler(x.e) : nullptr;
    if (x.s == nullptr) return;
    ScaleSettings& s = x.s->Current();
    switch (command) {
        case kEntryPrevious - 1:
        case kEntryMask - 1:
        case kEntryPaste - 1: {
            {
                Guard lock(DisplayLock());
                const LinearRange taken = command == kEntryPrevious - 1
                                              ? s.previousRange
                                              : (command == kEntryMask - 1 ? s.keptRange : s.copiedRange);
                if (RangeIsEmpty(taken) || (taken.low == s.min && taken.high == s.max)) return;
                s.previousRange = {s.min, s.max};
                s.min = taken.low;
                s.max = taken.high;
                ValueScalerUpdateScale(x.s);
            }
            Changed(x, true, true);
            return;
        }
        case kEntryExtremes - 1:
        case kEntryAverage - 1:
        case kEntryHeader - 1:
        case kEntryLoaded - 1: {
            static constexpr ScaleRangeKind kKinds[4] = {ScaleRangeKind::kExtremes, ScaleRangeKind::kStatistics,
                                                         ScaleRangeKind::kHeader, ScaleRangeKind::kLoaded};
            if (ValueScalerTakeRange(x.s, kKinds[command - (kEntryExtremes - 1)])) Changed(x, true, true);
            return;
        }
        case kEntryCopy - 1: {
            Guard lock(DisplayLock());
            s.copiedRange = {s.min, s.max};
            return;
        }
        case kEntryCommon - 1: {
            ValueScalerToggleShared(x.s);
            const ScaleSettings& now = x.s->Current();
            ShowBounds(x.e, now);
            ShowStep(x.e, now);
            ShowToggle(PageSlot(x.e, kRngLock), now.lock != 0);
            return;
        }
        default:
            return;
    }
}

}  // namespace orva
