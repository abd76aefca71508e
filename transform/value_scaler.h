#pragma once
// The value scaler: the first stage inside a Transformation component. It holds
// the scaling settings of one view (its own, or the shared defaults it is
// linked to), chooses the kernel of the current class for the data format, and
// keeps the range current as data, regions and sources change.
//
// Everything that changes the current settings holds the display lock; the
// worker that runs the kernel holds it too. Statistics are fetched from the
// source before the lock is taken.
#include <cstdint>
#include <memory>

#include "framework/component.h"
#include "io/value_range.h"
#include "transform/scale_settings.h"

namespace orva {

class ValueScaler;

// Refreshes the scaler's range panel (installed with the owner; user-interface thread only).
using ScalePanelFn = void (*)(ValueScaler* scaler);

// The region interface of the scaler's owner, answered to {"CELB", 0, "RIVE",
// "SGOJ"}: the shape whose area gives the automatic range.
class RegionInterface {
public:
    // Starts a region with the owner's shape action; a null request asks for the
    // default one (a rectangle in the Statistic role).
    virtual bool ShapeAction(const void* request) = 0;
    // Attaches the region that was detached last; false when there is none.
    virtual bool ReattachPendingRegion() = 0;
    // Detaches the attached region, unlinking its item when asked.
    virtual bool DetachRegion(bool unlinkItem) = 0;
    virtual bool IsAttachedRegion() = 0;

protected:
    ~RegionInterface() = default;
};

// A value-range answer held until it goes out of scope.
struct ValueRangeRelease {
    void operator()(ValueRangeTarget* target) const {
        if (target != nullptr) target->Release();
    }
};
using ValueRangeAnswer = std::unique_ptr<ValueRangeTarget, ValueRangeRelease>;

// Kinds of automatic range.
enum class ScaleRangeKind : int { kStatistics = 0, kExtremes = 1, kHeader = 2, kLoaded = 3 };

// The scaler's own settings are embedded in its component: AddRef answers 2,
// Release 1, and neither counts nor destroys anything.
class ValueScaler : public ScaleSettingsHolder {
public:
    // Reads the settings file when one is named, makes sure the shared defaults
    // exist, then copies and links them as the request asks.
    ValueScaler(const SettingsRequest* request, uint32_t flags);
    // Unlinks from the shared defaults; the settings are written to their file.
    ~ValueScaler() override;

    int AddRef() override { return 2; }
    int Release() override { return 1; }
    bool CreateInstance(PropertyComponent** out) override;
    // {"PLUG", 0, "FILT", "PRC1"} gives the scaler itself (a ValueScaler*); the
    // settings' ids give the current settings object (a PropertyComponent*).
    bool QueryInterface(const ComponentId* id, void** out) override;
    bool Reset() override;

    // The settings the kernel reads: the scaler's own or the shared defaults'.
    ScaleSettings& Current() { return current->settings; }
    bool LinkedToDefaults() const { return current != this; }

    ScaleSettingsHolder* current = this;
    uint32_t inputFormat = 0;   // element types AND 0x50
    uint32_t outputFormat = 0;
    ScaleKernel kernel = ScaleKernelCopy;
    bool classKernel = false;   // the kernel is the current class's for the formats
    ScalePanelFn panel = nullptr;
    ComponentBase* owner = nullptr;

protected:
    void SectionCopiedIn() override;
};

// Stores the owner (and the panel function) and, for a new owner, takes a range
// from its source when none is set yet.
void ValueScalerSetOwner(ValueScaler* scaler, ComponentBase* owner, ScalePanelFn panel);
// Keeps the element types (AND 0x50) and chooses the kernel again when either
// changed. True when the current class's kernel is in place for them.
bool ValueScalerSetFlags(ValueScaler* scaler, uint32_t input, uint32_t output);
void ValueScalerUpdateScale(ValueScaler* scaler);
// Takes an automatic range from the owner's source (nothing while a region is
// attached: the region gives the range). True when the range changed.
bool ValueScalerRefresh(ValueScaler* scaler, bool notify);
// Whether the range in use is an automatic one of the Source's current frame, and of
// which kind: its statistics range or its extremes (the range mode's kind tried first,
// equal as the range panel's check marks compare). False while a region gives the
// range, and for a range set otherwise (stated by the file, typed, pasted): a new frame
// keeps that one.
bool ValueScalerFrameRangeKind(ValueScaler* scaler, ScaleRangeKind* kind);
// The Source shows another frame: the range of `kind` is taken from it, the change is
// notified and the panel shows it. True when the range changed.
bool ValueScalerFollowFrame(ValueScaler* scaler, ScaleRangeKind kind);
// A region is detached: the range goes into the previous and kept ranges, and
// with RestoreRange the range before the region comes back.
void ValueScalerStoreRange(ValueScaler* scaler);
// A region is attached: the range is kept as the range before the region.
void ValueScalerStoreRangeAlt(ValueScaler* scaler);
// Tells the owner's downstream components (and the other users of the shared
// defaults when linked) that the scaling changed.
void ValueScalerNotify(ValueScaler* scaler);

// Selects a class of the current settings and its kernel. False when the
// formats are not set or the class has no kernel for them.
bool ValueScalerSetClass(ValueScaler* scaler, int index);
// The range controls on the current settings, under the display lock.
bool ValueScalerSetMin(ValueScaler* scaler, double value, bool lock, bool remember);
bool ValueScalerSetMax(ValueScaler* scaler, double value, bool lock, bool remember);
bool ValueScalerShiftRange(ValueScaler* scaler, double delta, bool remember);

// Links the scaler to the shared defaults, or back to its own settings, and
// notifies. False when nothing changed (or the defaults cannot be had).
bool ValueScalerLinkShared(ValueScaler* scaler);
bool ValueScalerUnlinkShared(ValueScaler* scaler);
bool ValueScalerToggleShared(ValueScaler* scaler);
// The "Mask" toggle: on re-attaches the pending region or starts a new one; off
// detaches the attached region. False when the owner has no region interface or
// the operation failed.
bool ValueScalerRegionToggle(ValueScaler* scaler, bool on);

// The statistics of the owner's source (a value-range request 130), or none.
ValueRangeAnswer ValueScalerFetchStatistics(const ValueScaler* scaler);
// The range of a kind from an answer (header and extremes need their flags, the
// statistics range mean and σ) or from the settings (loaded). False when there is none.
bool ScaleRangeOfKind(const ScaleSettings& settings, const ValueRangeTarget* answer, ScaleRangeKind kind,
                      LinearRange* range);
// Takes the range of a kind from the source as the current range, keeping the
// old one as the previous range. True when the range changed.
bool ValueScalerTakeRange(ValueScaler* scaler, ScaleRangeKind kind);

}  // namespace orva
