#include "views/output_settings.h"

#include <cfloat>
#include <cmath>
#include <new>

#include "io/output_writer.h"

namespace orva {

namespace {

constexpr double kTinyZero = 1e-307;

// After an edit the user triple follows the effective one.
void KeepAsUser(OutputSettings* r) { r->user = r->effective; }

}  // namespace

void ScaleTripleInit(ScaleTriple* triple) {
    if (triple != nullptr) *triple = ScaleTriple{};
}

// ---- Records -------------------------------------------------------------------------------

OutputSettings::OutputSettings(ComponentBase* output)
    : outputClass(output != nullptr ? output->GetClassId() : nullptr), output(output), pattern(kDefaultOutputPattern) {}

int32_t OutputSettings::Release() {
    const int32_t left = refCount.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

OutputSettingsRecords::~OutputSettingsRecords() {
    OutputSettings* r = oldest;
    newest = oldest = nullptr;
    while (r != nullptr) {
        OutputSettings* newer = r->previous;
        r->previous = r->next = nullptr;
        r->Release();
        r = newer;
    }
}

OutputSettingsRecords* OutputSettingsOf(ComponentBase* source) {
    return source != nullptr ? dynamic_cast<OutputSettingsRecords*>(source->outputSettings) : nullptr;
}

bool OutputSettingsSetPattern(OutputSettings* record, const char* text) {
    if (record == nullptr) return false;
    if (text == nullptr) return true;
    try {
        std::string copy(text);
        record->pattern.swap(copy);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool OutputSettingsListAdd(ComponentBase* source, ComponentBase* output, OutputSettings** out) {
    if (source == nullptr || output == nullptr) return false;
    OutputSettingsRecords* list = OutputSettingsOf(source);
    if (list == nullptr) {
        // A list of another kind is never replaced.
        if (source->outputSettings != nullptr) return false;
        list = new (std::nothrow) OutputSettingsRecords;
        if (list == nullptr) return false;
        source->outputSettings = list;
    }
    OutputSettings* record = nullptr;
    try {
        record = new OutputSettings(output);
    } catch (const std::bad_alloc&) {
        return false;
    }
    record->next = list->newest;
    if (list->newest != nullptr) list->newest->previous = record;
    list->newest = record;
    if (list->oldest == nullptr) list->oldest = record;
    // The list's reference, and the caller's.
    if (out != nullptr) {
        record->AddRef();
        *out = record;
    }
    return true;
}

OutputSettings* OutputSettingsFind(ComponentBase* source, const ComponentBase* output) {
    OutputSettingsRecords* list = OutputSettingsOf(source);
    if (list == nullptr || output == nullptr) return nullptr;
    const ComponentId* id = output->GetClassId();
    for (OutputSettings* r = list->oldest; r != nullptr; r = r->previous) {
        if (r->output == output && r->outputClass != nullptr && id != nullptr && SameComponentId(r->outputClass, id))
            return r;
    }
    return nullptr;
}

// ---- Edits from the page -------------------------------------------------------------------

int OutputSettingsEditScale(OutputSettings* record, double scale) {
    if (record == nullptr) return 0;
    if (!(scale > 0.0) || !std::isfinite(scale) || scale <= DBL_MIN) return -1;
    if (scale == record->effective.scale) return 0;
    if (std::fabs(scale - 1.0) < DBL_EPSILON) {
        record->effective.scale = 1.0;
        record->effective.reciprocal = 1.0;
    } else {
        record->effective.scale = scale;
        record->effective.reciprocal = 1.0 / scale;
    }
    KeepAsUser(record);
    return 1;
}

int OutputSettingsEditZero(OutputSettings* record, double zero) {
    if (record == nullptr) return 0;
    if (!std::isfinite(zero)) return -1;
    if (zero == record->effective.zero) return 0;
    record->effective.zero = std::fabs(zero) < kTinyZero ? 0.0 : zero;
    KeepAsUser(record);
    return 1;
}

// ---- Range tables --------------------------------------------------------------------------

RangeTable::~RangeTable() { delete[] entries; }

void ResetRangeTable(RangeTable* table) {
    if (table == nullptr || table->entries == nullptr) return;
    for (uint32_t i = 0; i < table->count; ++i) table->entries[i] = RangeEntry{DBL_MAX, -DBL_MAX, 0};
}

bool ResizeRangeTable(RangeTable* table, uint32_t n) {
    if (table == nullptr || n == 0) return false;
    if (n != table->count || table->entries == nullptr) {
        delete[] table->entries;
        table->entries = new (std::nothrow) RangeEntry[n];
        table->count = table->entries != nullptr ? n : 0;
        if (table->entries == nullptr) return false;
    }
    ResetRangeTable(table);
    return true;
}

}  // namespace orva
