#pragma once
// What the settings objects of the Transformation stage (scaling and colour)
// have in common: how a component asks for its settings, the class identity,
// flags word and file name behind the settings interface, reading and writing
// their section of a service file, the counted shared defaults registered
// with the application object, and telling the users of settings that they
// changed.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "framework/keyword_file.h"
#include "framework/property_component.h"

namespace orva {

class ComponentBase;

// How a stage is made: its settings file (a data file's service section, or
// none), whether it links to the shared defaults and whether it starts from a
// copy of them.
struct SettingsRequest {
    const char* fileName = nullptr;
    uint8_t useShared = 0;
    uint8_t copyShared = 0;
};

// The preference that lets settings write their service files (FSSave).
bool SaveServiceFilesOn();

// Prints one line of a section behind its indentation character (none when 0).
template <class... Args>
bool SectionLine(KeywordFile* file, char lead, const char* format, Args... args) {
    if (lead != '\0' && !file->Print("%c", lead)) return false;
    return file->Print(format, args...);
}

// The text of a class key value: the inside of double quotes, apostrophes or
// angle brackets, else the whole value without surrounding blanks.
void ClassKeyText(const char* value, const char** text, size_t* length);

// A hexadecimal word ("0x" allowed) followed by blanks only; false without a
// digit, for other text, or above 32 bits.
bool ParseHexWord(const char* value, uint32_t* out);

// A settings object: its class identity, the flags word (its value numbers
// the section) and the settings file name around the settings interface.
class SettingsObject : public PropertyComponent, public PropertyReset {
public:
    const ComponentId* GetClassId() const override { return classId_; }
    // Its class id, {"PROP", 0, 0, 0} and {"BASE", 0, 0, 0} give the object itself.
    bool QueryInterface(const ComponentId* id, void** out) override;
    uint32_t* Flags() override { return &flags; }
    const char* SettingsFileName() const override { return fileName.empty() ? nullptr : fileName.c_str(); }

    uint32_t flags = 0;
    std::string fileName;  // empty: none

protected:
    explicit SettingsObject(const ComponentId* classId) : classId_(classId) {}

    // Reads this object's section of the file (the settings file when `path`
    // is null) through the table's handlers, which store into `record`. True
    // when the file was read; `found` tells whether a key of the section was
    // taken. False at once when the table is not prepared.
    bool ReadSection(const char* path, KeywordTable& table, void* record, bool* found);
    // Prints the section's lines of `record`; false when a line fails.
    using SectionPrinter = bool (*)(KeywordFile* file, const void* record, char lead);
    // Writes the section while the preference FSSave is on (succeeds without
    // writing otherwise): the file's other blocks are kept.
    bool WriteSection(const char* path, SectionPrinter printer, const void* record);

private:
    const ComponentId* classId_;
};

// Shared defaults: settings of kind `Settings` with an atomic reference count
// that starts at 1; Release destroys them at 0.
template <class Settings, class Self>
class CountedSettings : public Settings {
public:
    // A new object with count 1 and the defaults, or nullptr when memory is short.
    static Self* Create() { return new (std::nothrow) Self(); }
    int AddRef() override { return count_.fetch_add(1) + 1; }
    int Release() override {
        const int count = count_.fetch_sub(1) - 1;
        if (count == 0) delete this;
        return count;
    }
    bool CreateInstance(PropertyComponent** out) override {
        if (out == nullptr) return false;
        *out = Create();
        return *out != nullptr;
    }
    int RefCount() const { return count_.load(); }

protected:
    CountedSettings() = default;
    ~CountedSettings() override = default;

private:
    std::atomic<int> count_{1};
};

// The settings registered with the application object under `id`, with a
// reference added, or nullptr. With `create` set and none registered, `make`
// gives new ones that are registered first (the registry keeps its own
// reference and has them read orvaext.cfg; a failed registration destroys
// them and a later call tries again).
PropertyComponent* AcquireRegisteredSettings(const ComponentId* id, PropertyComponent* (*make)(), bool create);

template <class Defaults>
Defaults* AcquireSharedDefaults(const ComponentId* id, bool create) {
    PropertyComponent* found =
        AcquireRegisteredSettings(id, []() -> PropertyComponent* { return Defaults::Create(); }, create);
    auto* defaults = dynamic_cast<Defaults*>(found);
    if (defaults == nullptr && found != nullptr) found->Release();
    return defaults;
}

// After a change of the settings a stage uses: the owner's downstream
// components are told, the owner is invalidated with the code of a scaling or
// colour change, dirty windows repaint while the user interface runs, and,
// when the settings are the shared defaults of class `id` (`shared` not null),
// the downstream components of every other stage that uses them are told too.
void NotifySettingsChanged(ComponentBase* owner, const ComponentId* id, PropertyComponent* shared);

}  // namespace orva
