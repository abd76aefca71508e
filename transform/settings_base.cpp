#include "transform/settings_base.h"

#include <cstring>

#include "framework/app_object.h"
#include "framework/component.h"
#include "io/data_set.h"
#include "common/text.h"

namespace orva {

namespace {

// The invalidation code of a scaling or colour change.
constexpr uint32_t kSettingsChanged = 15;


// The keyword file of one settings object: the parse state carries the
// record for reading; writing prints a record through its printer.
class SectionFile : public KeywordFile {
public:
    using Printer = bool (*)(KeywordFile* file, const void* record, char lead);
    SectionFile(Printer printer, const void* record) : printer_(printer), record_(record) {}
    bool WriteBody(char lead) override {
        if (printer_ == nullptr) return false;
        if (printer_(this, record_, lead)) return true;
        SetState(-5);
        return false;
    }

private:
    Printer printer_;
    const void* record_;
};

}  // namespace

bool SaveServiceFilesOn() { return TheDataSetServices().saveServiceFiles; }

void ClassKeyText(const char* value, const char** text, size_t* length) {
    const char* p = value;
    const int quoted = QuotedValueLength(&p);
    if (quoted >= 0) {
        *text = p;
        *length = static_cast<size_t>(quoted);
        return;
    }
    while (IsBlank(*value)) ++value;
    size_t n = std::strlen(value);
    while (n > 0 && IsBlank(value[n - 1])) --n;
    *text = value;
    *length = n;
}

bool ParseHexWord(const char* value, uint32_t* out) {
    const char* p = value;
    while (IsBlank(*p)) ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    uint64_t v = 0;
    int digits = 0;
    for (;; ++p, ++digits) {
        const char c = *p;
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else break;
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFu) return false;
    }
    while (IsBlank(*p)) ++p;
    if (digits == 0 || *p != '\0') return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool SettingsObject::QueryInterface(const ComponentId* id, void** out) {
    if (out != nullptr) *out = nullptr;
    if (!SameComponentId(id, classId_) && !SameComponentId(id, &kPropId) && !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = static_cast<PropertyComponent*>(this);
    }
    return true;
}

bool SettingsObject::ReadSection(const char* path, KeywordTable& table, void* record, bool* found) {
    *found = false;
    if (!table.Prepared()) return false;
    uint8_t accepted = 0;
    SectionFile file(nullptr, nullptr);
    ParseState& state = file.Parse();
    state.table = &table;
    state.accepted = &accepted;
    state.context = record;
    const bool ok = file.LoadFrom(path, this);
    *found = accepted != 0;
    return ok;
}

bool SettingsObject::WriteSection(const char* path, SectionPrinter printer, const void* record) {
    if (!SaveServiceFilesOn()) return true;
    SectionFile file(printer, record);
    return file.SaveTo(path, this, false);
}

PropertyComponent* AcquireRegisteredSettings(const ComponentId* id, PropertyComponent* (*make)(), bool create) {
    AppObject& app = TheApp();
    if (create && app.Properties().Find(id) == nullptr) {
        if (PropertyComponent* made = make()) {
            app.SaveProperties(made);
            made->Release();
        }
    }
    PropertyComponent* found = nullptr;
    if (!app.QueryInterface(id, &found)) return nullptr;
    return found;
}

void NotifySettingsChanged(ComponentBase* owner, const ComponentId* id, PropertyComponent* shared) {
    if (owner == nullptr || !ComponentIsLive(owner)) return;
    ComponentNotifyDownstream(owner);
    ComponentInvalidate(owner, kSettingsChanged, false);
    RefreshAllWindowsWhenUp();
    if (shared != nullptr) ComponentNotifyDownstreamFrom(owner, id, shared);
}

}  // namespace orva
