#include "transform/scale_settings.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "common/number_parse.h"
#include "framework/display_lock.h"

namespace orva {

namespace {

// The smallest Step a section may give (a smaller one, 0 included, becomes it).
constexpr double kSmallestStep = 4.450147717014403e-308;

bool FiniteRange(const ScaleSettings& s) { return s.min == s.min && s.max == s.max; }

void FillFromDefaults(ScaleClassSlot* slot, const ScaleClassDesc* row) {
    slot->values = row->defaults;
    slot->userValues.clear();
    slot->initialised = 1;
}

// Sizes the slots to the catalogue; false (slots freed) when memory is short.
bool SizeSlots(ScaleSettings* s, size_t count) {
    try {
        s->slots.resize(count);
        return true;
    } catch (const std::bad_alloc&) {
        s->FreeClassSlots();
        return false;
    }
}

}  // namespace

// ---- The record ----------------------------------------------------------------------

void ScaleSettings::ResetDefaults() {
    SaveClassValues();
    step = 1.0;
    rangeMode = 0;
    nMax = 4;
    nMin = 2;
    lock = 0;
    restoreRange = 0;
    min = 0.0;
    max = 0.0;
    classIndex = 0;
    classRow = nullptr;
    UpdateScale();
}

void ScaleSettings::UpdateScale() {
    if (!std::isfinite(min)) min = 0.0;
    if (!std::isfinite(max)) max = DBL_MAX;
    if (min > max) {
        min = max;
    } else if (min < 0.0 && max > min + DBL_MAX) {
        max = min + DBL_MAX;
    }
    if (min == max) {
        scale = 1.0;
        offset = min;
    } else if (max - min >= DBL_MAX) {
        scale = DBL_MIN;
        offset = scale * min;
    } else {
        scale = 1.0 / (max - min);
        offset = scale * min;
    }
}

bool ScaleSettings::SetMin(double value, bool withLock, bool remember) {
    if (!std::isfinite(value) || !FiniteRange(*this)) return false;
    const double width = max - min;
    double newMax = max;
    if (withLock) {
        if (value > DBL_MAX - width) value = DBL_MAX - width;
        if (value == min) return false;
        newMax = value + width;
    } else {
        if (value >= max) {
            value = max - 0.01 * width;
            if (!(value < max)) return false;
        }
        if (value == min) return false;
    }
    if (remember) previousRange = {min, max};
    min = value;
    max = newMax;
    UpdateScale();
    return true;
}

bool ScaleSettings::SetMax(double value, bool withLock, bool remember) {
    if (!std::isfinite(value) || !FiniteRange(*this)) return false;
    const double width = max - min;
    double newMin = min;
    if (withLock) {
        if (value < width - DBL_MAX) value = width - DBL_MAX;
        if (value == max) return false;
        newMin = value - width;
    } else {
        if (value <= min) {
            value = min + 0.01 * width;
            if (!(value > min)) return false;
        }
        if (value == max) return false;
    }
    if (remember) previousRange = {min, max};
    max = value;
    min = newMin;
    UpdateScale();
    return true;
}

bool ScaleSettings::ShiftRange(double delta, bool remember) {
    if (delta == 0.0 || delta != delta) return false;
    if (delta > 0.0 && delta > DBL_MAX - max) delta = DBL_MAX - max;
    if (delta < 0.0 && delta < -DBL_MAX - min) delta = -DBL_MAX - min;
    const double low = min + delta;
    const double high = max + delta;
    if (!(low < high) || (low == min && high == max)) return false;
    if (remember) previousRange = {min, max};
    min = low;
    max = high;
    UpdateScale();
    return true;
}

void ScaleSettings::SaveClassValues() {
    if (classRow == nullptr || classIndex < 0 || classIndex >= ScaleClassCount()) return;
    if (slots.size() <= static_cast<size_t>(classIndex) && !SizeSlots(this, ScaleClassCount())) return;
    ScaleClassSlot& slot = slots[classIndex];
    slot.values = {value1, value2, value3, value4};
    slot.initialised = 1;
}

void ScaleSettings::LoadClassValues() {
    const ScaleClassDesc* row = ScaleClassAt(classIndex);
    if (row == nullptr) return;
    if (slots.size() <= static_cast<size_t>(classIndex) && !SizeSlots(this, ScaleClassCount())) return;
    ScaleClassSlot& slot = slots[classIndex];
    if (!slot.initialised) FillFromDefaults(&slot, row);
    classRow = row;
    value1 = slot.values.value1;
    value2 = slot.values.value2;
    value3 = slot.values.value3;
    value4 = slot.values.value4;
}

ScaleKernel ScaleSettings::SetClassByIndex(int index, uint32_t input, uint32_t output) {
    const int count = ScaleClassCount();
    if (count <= 0) {
        classIndex = 0;
        return nullptr;
    }
    index = index < 0 ? 0 : (index >= count ? count - 1 : index);
    if (!SizeSlots(this, static_cast<size_t>(count))) return nullptr;
    const ScaleClassDesc* row = ScaleClassAt(index);
    ScaleKernel kernel = ScaleClassKernel(row, input, output);
    if (kernel == nullptr) return nullptr;
    if (index != classIndex) SaveClassValues();
    classIndex = index;
    classRow = row;
    LoadClassValues();
    return kernel;
}

void ScaleSettings::FreeClassSlots() {
    slots.clear();
    slots.shrink_to_fit();
}

bool ScaleRangesEqual(double low1, double high1, double low2, double high2) {
    const double d1 = std::fabs(low1 - low2);
    const double d2 = std::fabs(high1 - high2);
    if (d1 < DBL_MIN && d2 < DBL_MIN) return true;
    const double w1 = high1 - low1;
    const double w2 = high2 - low2;
    if (w1 >= DBL_MIN && w2 >= DBL_MIN) {
        const double d = d1 > d2 ? d1 : d2;
        const double r1 = 1.0 / w1, r2 = 1.0 / w2;
        return d * (r1 > r2 ? r1 : r2) < 1.52587890625e-05;
    }
    return d1 < 2.220446049250313e-16 && d2 < 2.220446049250313e-16;
}

bool CopyScaleSettings(ScaleSettings* to, const ScaleSettings& from, const ScaleClassValues* values,
                       uint32_t present) {
    to->rangeMode = from.rangeMode;
    to->nMax = from.nMax < 1 ? 4 : from.nMax;
    to->nMin = from.nMin < 1 ? 2 : from.nMin;
    to->step = from.step > 0.0 ? from.step : 1.0;
    to->lock = from.lock;
    to->restoreRange = from.restoreRange;
    to->previousRange = from.previousRange;
    to->keptRange = from.keptRange;
    to->regionRange = from.regionRange;
    to->sourceRange = from.sourceRange;
    if (from.min < from.max) {
        to->min = from.min;
        to->max = from.max;
        if (RangeIsEmpty(to->sourceRange)) to->sourceRange = {from.min, from.max};
    }
    to->UpdateScale();
    const int count = ScaleClassCount();
    if (count <= 0) {
        to->classIndex = 0;
        return false;
    }
    const ScaleClassDesc* row = ScaleClassAt(from.classIndex);
    if (row == nullptr) return true;  // no class named: class, slots and values stay
    to->classIndex = from.classIndex;
    to->classRow = row;
    for (ScaleClassSlot& slot : to->slots) slot.userValues.clear();
    if (!SizeSlots(to, static_cast<size_t>(count))) return true;
    const size_t both = from.slots.size() < to->slots.size() ? from.slots.size() : to->slots.size();
    for (size_t i = 0; i < both; ++i) {
        ScaleClassSlot& slot = to->slots[i];
        slot.initialised = from.slots[i].initialised;
        slot.values = from.slots[i].values;
        try {
            slot.userValues = from.slots[i].userValues;
        } catch (const std::bad_alloc&) {
            slot.userValues.clear();
            slot.initialised = 0;
        }
    }
    if (from.classRow == row) {
        // The selected class's values are the record's current ones, not yet in its slot.
        ScaleClassSlot& slot = to->slots[from.classIndex];
        slot.values = {from.value1, from.value2, from.value3, from.value4};
        slot.initialised = 1;
    }
    if (values != nullptr && present != 0) {
        ScaleClassSlot& slot = to->slots[from.classIndex];
        if (!slot.initialised) FillFromDefaults(&slot, row);
        if (present & kScaleUsesValue1) slot.values.value1 = values->value1;
        if (present & kScaleUsesValue2) slot.values.value2 = values->value2;
        if (present & kScaleUsesValue3) slot.values.value3 = values->value3;
        if (present & kScaleUsesValue4) slot.values.value4 = values->value4;
    }
    return true;
}

// ---- The section -------------------------------------------------------------------

namespace {

// What the keys of a section give: the record, and the class values it names.
struct ScaleSectionRecord {
    ScaleSettings settings;
    ScaleClassValues values;
    uint32_t present = 0;
};

ScaleSectionRecord* ScaleTarget(ParseState* state) { return static_cast<ScaleSectionRecord*>(state->context); }

int ScaleClassHandler(const char* value, ParseState* state) {
    const char* text;
    size_t length;
    ClassKeyText(value, &text, &length);
    const int index = FindScaleClass(text, length);
    if (index < 0) return -1;
    ScaleTarget(state)->settings.classIndex = index;
    return 1;
}

template <uint8_t ScaleSettings::*Field>
int FlagHandler(const char* value, ParseState* state) {
    bool flag = false;
    if (ParseBool(value, &flag) < 1) return -1;
    ScaleTarget(state)->settings.*Field = flag ? 1 : 0;
    return 1;
}

int MinMaxHandler(const char* value, ParseState* state) {
    double v[4];
    if (ParseDoubleValue(value, v) != 2 || !(v[0] < v[1])) return -1;
    ScaleTarget(state)->settings.min = v[0];
    ScaleTarget(state)->settings.max = v[1];
    return 1;
}

// An integer (decimal, or 0x / 0 prefixed), limited to 1 … 100; below 1 becomes `low`.
int32_t Multiplier(int64_t v, int32_t low) { return v < 1 ? low : (v > 100 ? 100 : static_cast<int32_t>(v)); }

int NMaxHandler(const char* value, ParseState* state) {
    int64_t v[4];
    if (ParseInt64Value(value, v) < 1) return -1;
    ScaleTarget(state)->settings.nMax = Multiplier(v[0], 4);
    return 1;
}

int NMinHandler(const char* value, ParseState* state) {
    int64_t v[4];
    if (ParseInt64Value(value, v) < 1) return -1;
    ScaleTarget(state)->settings.nMin = Multiplier(v[0], 1);
    return 1;
}

// One finite, non-negative real.
bool ReadNonNegative(const char* value, double* out) {
    double v[4];
    if (ParseDoubleValue(value, v) < 1 || !(v[0] >= 0.0)) return false;
    *out = v[0];
    return true;
}

int StepHandler(const char* value, ParseState* state) {
    double v;
    if (!ReadNonNegative(value, &v)) return -1;
    ScaleTarget(state)->settings.step = v < kSmallestStep ? kSmallestStep : v;
    return 1;
}

template <int Which>
int RealValueHandler(const char* value, ParseState* state) {
    double v;
    if (!ReadNonNegative(value, &v)) return -1;
    ScaleSectionRecord* r = ScaleTarget(state);
    (Which == 1 ? r->values.value1 : r->values.value2) = v;
    r->present |= Which == 1 ? kScaleUsesValue1 : kScaleUsesValue2;
    return 1;
}

int Value3Handler(const char* value, ParseState* state) {
    int64_t v[4];
    if (ParseInt64Value(value, v) != 1 || v[0] < 0 || v[0] > 0xFFFFFFFF) return -1;
    ScaleSectionRecord* r = ScaleTarget(state);
    r->values.value3 = static_cast<uint32_t>(v[0]);
    r->present |= kScaleUsesValue3;
    return 1;
}

// Hexadecimal, with or without "0x".
int Value4Handler(const char* value, ParseState* state) {
    uint32_t v;
    if (!ParseHexWord(value, &v)) return -1;
    ScaleSectionRecord* r = ScaleTarget(state);
    r->values.value4 = v;
    r->present |= kScaleUsesValue4;
    return 1;
}

// Accepted and not used.
int UserValueHandler(const char*, ParseState*) { return 1; }

KeywordName kScaleClassName[] = {{"SCClass", 0}, {nullptr, 0}};
KeywordName kRestoreName[] = {{"RestoreRange", 0}, {nullptr, 0}};
KeywordName kLockName[] = {{"Lock", 0}, {nullptr, 0}};
KeywordName kMinMaxName[] = {{"MinMax", 0}, {nullptr, 0}};
KeywordName kNMaxName[] = {{"NMax", 0}, {nullptr, 0}};
KeywordName kNMinName[] = {{"NMin", 0}, {nullptr, 0}};
KeywordName kStepName[] = {{"Step", 0}, {nullptr, 0}};
KeywordName kValue1Name[] = {{"Value1", 0}, {nullptr, 0}};
KeywordName kValue2Name[] = {{"Value2", 0}, {nullptr, 0}};
KeywordName kValue3Name[] = {{"Value3", 0}, {nullptr, 0}};
KeywordName kValue4Name[] = {{"Value4", 0}, {nullptr, 0}};
KeywordName kUserValueName[] = {{"UserValue", 0}, {nullptr, 0}};

KeywordDescriptor kScaleClassKey{kScaleClassName, &ScaleClassHandler};
KeywordDescriptor kRestoreKey{kRestoreName, &FlagHandler<&ScaleSettings::restoreRange>};
KeywordDescriptor kLockKey{kLockName, &FlagHandler<&ScaleSettings::lock>};
KeywordDescriptor kMinMaxKey{kMinMaxName, &MinMaxHandler};
KeywordDescriptor kNMaxKey{kNMaxName, &NMaxHandler};
KeywordDescriptor kNMinKey{kNMinName, &NMinHandler};
KeywordDescriptor kStepKey{kStepName, &StepHandler};
KeywordDescriptor kValue1Key{kValue1Name, &RealValueHandler<1>};
KeywordDescriptor kValue2Key{kValue2Name, &RealValueHandler<2>};
KeywordDescriptor kValue3Key{kValue3Name, &Value3Handler};
KeywordDescriptor kValue4Key{kValue4Name, &Value4Handler};
KeywordDescriptor kUserValueKey{kUserValueName, &UserValueHandler};

KeywordDescriptor* const kScaleDescriptors[] = {&kScaleClassKey,  &kRestoreKey, &kLockKey,   &kMinMaxKey,
                                                &kNMaxKey,   &kNMinKey,    &kStepKey,   &kValue1Key,
                                                &kValue2Key, &kValue3Key,  &kValue4Key, &kUserValueKey,
                                                nullptr};

// Prepares the table during static initialisation.
const bool kScaleTablePrepared = ScaleKeywordTable().Prepared();

bool PrintUserValues(KeywordFile* file, char lead, const std::vector<ScaleUserValue>& values) {
    if (values.empty()) return true;
    if (!SectionLine(file, lead, "UserValue=")) return false;
    for (size_t i = 0; i < values.size(); ++i) {
        const ScaleUserValue& u = values[i];
        if (i > 0 && !file->Print(", ")) return false;
        bool ok;
        switch (u.type) {
            case 5: ok = file->Print("%di32", static_cast<int32_t>(u.bits)); break;
            case 6: ok = file->Print("%uu32", static_cast<uint32_t>(u.bits)); break;
            case 8: ok = file->Print("%I64di64", static_cast<long long>(u.bits)); break;
            case 10: {
                double real;
                std::memcpy(&real, &u.bits, sizeof real);
                ok = file->Print("%g", real);
                break;
            }
            default: ok = file->Print("%I64uu64", static_cast<unsigned long long>(u.bits)); break;
        }
        if (!ok) return false;
    }
    return file->Print("\n");
}

bool PrintScaleSection(KeywordFile* file, const void* record, char lead) {
    return WriteScaleSection(file, *static_cast<const ScaleSettings*>(record), lead);
}

}  // namespace

KeywordTable& ScaleKeywordTable() {
    static KeywordTable table(kScaleDescriptors);
    return table;
}

bool WriteScaleSection(KeywordFile* file, const ScaleSettings& s, char lead) {
    if (file == nullptr) return false;
    if (s.classRow != nullptr && !SectionLine(file, lead, "SCClass=\"%s\"\n", s.classRow->key)) return false;
    if (!SectionLine(file, lead, "RestoreRange=%d\n", int(s.restoreRange)) || !SectionLine(file, lead, "Lock=%d\n", int(s.lock)))
        return false;
    if (s.min < s.max && !SectionLine(file, lead, "MinMax=%.17g, %.17g\n", s.min, s.max)) return false;
    if (!SectionLine(file, lead, "NMax=%d\n", s.nMax) || !SectionLine(file, lead, "NMin=%d\n", s.nMin) ||
        !SectionLine(file, lead, "Step=%.17g\n", s.step) || !SectionLine(file, lead, "Value1=%.17g\n", s.value1) ||
        !SectionLine(file, lead, "Value2=%.17g\n", s.value2) || !SectionLine(file, lead, "Value3=%u\n", s.value3) ||
        !SectionLine(file, lead, "Value4=0x%X\n", s.value4))
        return false;
    if (s.classRow != nullptr && s.classIndex >= 0 && static_cast<size_t>(s.classIndex) < s.slots.size())
        return PrintUserValues(file, lead, s.slots[s.classIndex].userValues);
    return true;
}

// ---- Settings objects ------------------------------------------------------------------

void ScaleSettingsHolder::SaveClassParams() {
    std::lock_guard<std::recursive_mutex> lock(DisplayLock());
    settings.SaveClassValues();
}

void ScaleSettingsHolder::LoadClassParams() {
    std::lock_guard<std::recursive_mutex> lock(DisplayLock());
    settings.LoadClassValues();
}

bool ScaleSettingsHolder::Read(const char* path) {
    auto record = std::unique_ptr<ScaleSectionRecord>(new (std::nothrow) ScaleSectionRecord);
    if (record == nullptr) return false;
    record->settings.classIndex = -1;
    bool found = false;
    const bool ok = ReadSection(path, ScaleKeywordTable(), record.get(), &found);
    if (ok && found) {
        std::lock_guard<std::recursive_mutex> lock(DisplayLock());
        // The selected class's values go into its slot first, so that a section
        // naming the class and some of its values keeps the others.
        settings.SaveClassValues();
        CopyScaleSettings(&settings, record->settings, &record->values, record->present);
        if (record->settings.classIndex >= 0) settings.LoadClassValues();
        SectionCopiedIn();
    }
    return ok;
}

bool ScaleSettingsHolder::Write(const char* path) {
    if (!SaveServiceFilesOn()) return true;
    ScaleSettings snapshot;
    try {
        std::lock_guard<std::recursive_mutex> lock(DisplayLock());
        snapshot = settings;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return WriteSection(path, &PrintScaleSection, &snapshot);
}

bool ScaleSettingsHolder::Reset() {
    std::lock_guard<std::recursive_mutex> lock(DisplayLock());
    settings.ResetDefaults();
    return true;
}

ScaleSettingsHolder::~ScaleSettingsHolder() {
    if (!fileName.empty()) ScaleSettingsHolder::Write(fileName.c_str());
}

}  // namespace orva
