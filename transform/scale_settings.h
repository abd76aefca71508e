#pragma once
// The scaling settings of a view: the data range Min..Max with the kernel's
// scale and offset, the scaling class with its values (kept per class), the
// statistics multipliers and the range-keeping flags. They live in the value
// scaler of each Transformation component and, once per program, as the shared
// defaults ("Common Properties") that scalers may link to; both read and write
// themselves as a section of a service file.
//
// Every change of settings that a worker may be reading holds the display lock
// (DisplayLock()); the worker always holds it.
#include <cstdint>
#include <string>
#include <vector>

#include "common/sample_type.h"
#include "framework/keyword_file.h"
#include "transform/scale_classes.h"
#include "transform/settings_base.h"

namespace orva {

// A user value of a class: a type code (5 i32, 6 u32, 8 i64, 10 real, others
// u64) and the value's 64 bits.
struct ScaleUserValue {
    int32_t type = 0;
    int32_t reserved = 0;
    uint64_t bits = 0;
};

// The values of one class, kept while other classes are selected.
struct ScaleClassSlot {
    uint8_t initialised = 0;
    ScaleClassValues values;
    std::vector<ScaleUserValue> userValues;
};

// A range is empty when its upper bound is not above its lower one.
inline bool RangeIsEmpty(const LinearRange& r) { return !(r.high > r.low); }

// The kernel's parameter block comes first.
struct ScaleSettings : ScaleParameters {
    double min = 0.0;
    double max = 0.0;
    double step = 1.0;          // step of the range controls
    int32_t rangeMode = 0;      // automatic range: 0 mean − NMin·σ … mean + NMax·σ, 1 extremes
    int32_t nMax = 4;           // σ multipliers, 1 … 100
    int32_t nMin = 2;
    // The selected class, or none: while a class is selected the current
    // Value1 … Value4 are that class's.
    const ScaleClassDesc* classRow = nullptr;
    int32_t classIndex = 0;     // −1 in a record read from a section without "SCClass"
    std::vector<ScaleClassSlot> slots;
    LinearRange previousRange;  // before the last automatic or shifted change
    LinearRange keptRange;      // taken when a region is detached
    LinearRange regionRange;    // taken when a region is attached
    LinearRange sourceRange;    // from the source or the loaded section ("Loaded settings")
    LinearRange copiedRange;    // the range menu's "Copy"
    uint8_t lock = 0;           // the range controls keep the width
    uint8_t restoreRange = 0;   // detaching a region restores the range before it

    // The settings' second interface: Step 1, range mode 0, NMax 4, NMin 2,
    // Lock and RestoreRange cleared, Min and Max 0, class index 0 with no class
    // selected. The values of the class that was selected are kept in its slot.
    void ResetDefaults();
    // Scale and offset from Min and Max (non-finite bounds and reversed or
    // too-wide ranges made usable first).
    void UpdateScale();
    // The range controls. With `lock` the other bound follows; without it a bound
    // pushed past the other stops 1 % of the width short of it. With `remember`
    // the range before goes into the previous range. True when anything changed.
    bool SetMin(double value, bool lock, bool remember);
    bool SetMax(double value, bool lock, bool remember);
    // Moves both bounds, limited to ±DBL_MAX. True when anything changed.
    bool ShiftRange(double delta, bool remember);
    // The current Value1 … Value4 into the selected class's slot, and back.
    // Loading a slot that was never used fills it from the class's defaults.
    void SaveClassValues();
    void LoadClassValues();
    // Selects the class at `index` (clamped to the catalogue) for the element
    // types: keeps the values of the class left in its slot and loads the new
    // class's. The class's kernel, or nullptr (nothing changed) when it has none
    // for these types or memory is short.
    ScaleKernel SetClassByIndex(int index, uint32_t input, uint32_t output);
    void FreeClassSlots();
};

// Two ranges count as equal when their bounds differ by less than 2^−16 of the
// wider one's width (by less than DBL_MIN, or the machine epsilon for ranges
// narrower than DBL_MIN).
bool ScaleRangesEqual(double low1, double high1, double low2, double high2);

// Copies a record into another (the section read in, the shared defaults taken
// over): the range and its flags always, the class with its slots only when
// `from` names one. `values` (with `present`, kScaleUsesValue… bits) are the
// class values a section gave: they land in that class's slot, absent ones
// keeping the slot's (or the class defaults'). False for an empty catalogue.
bool CopyScaleSettings(ScaleSettings* to, const ScaleSettings& from, const ScaleClassValues* values,
                       uint32_t present);

// The scaling keys of a settings section, written in this order.
bool WriteScaleSection(KeywordFile* file, const ScaleSettings& settings, char lead);
// The keyword table of the scaling keys (prepared once per program).
KeywordTable& ScaleKeywordTable();

// ---- Settings objects -----------------------------------------------------------------

// What the scaler's settings and the shared defaults have in common: their
// record around the settings interface.
class ScaleSettingsHolder : public SettingsObject {
public:
    void SaveClassParams() override;
    void LoadClassParams() override;
    // Reads the scaling section of the file (the settings file when `path` is
    // null). A section without "SCClass" keeps the class and its values.
    bool Read(const char* path) override;
    // Writes the section while the preference FSSave is on; succeeds without
    // writing otherwise.
    bool Write(const char* path) override;
    bool Reset() override;

    ScaleSettings settings;

protected:
    // Class id {"PROP", 0, "FILT", "PRC1"}.
    ScaleSettingsHolder() : SettingsObject(&kSingleFilterPropId) {}
    // Writes the settings into their file when they have one (and FSSave is on).
    ~ScaleSettingsHolder() override;
    // Called under the display lock after a read section was copied in.
    virtual void SectionCopiedIn() {}
};

// The shared scaling defaults: counted (atomically), registered with the
// application object under their class id by the first scaler.
class ScaleDefaults final : public CountedSettings<ScaleSettingsHolder, ScaleDefaults> {
    friend class CountedSettings<ScaleSettingsHolder, ScaleDefaults>;
    ScaleDefaults() = default;
};

// The registered shared defaults with a reference added, or nullptr; with
// `create` set they are made and registered first when the registry has none.
inline ScaleDefaults* AcquireScaleDefaults(bool create) {
    return AcquireSharedDefaults<ScaleDefaults>(&kSingleFilterPropId, create);
}

}  // namespace orva
