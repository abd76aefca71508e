#pragma once
// Reduction presets: the counted settings object that holds one option block
// and reads and writes it as a section of a script or service file, and the
// preset list of a Reduction component (its own preset, up to 31 numbered
// presets, the current option set and the program's common preset).
//
// The option set in use may be read by a pull on the playback thread, which
// holds the display lock: every change of the list or of the current values
// below takes that lock.
#include <atomic>
#include <cstdint>

#include "framework/keyword_file.h"
#include "framework/keyword_table.h"
#include "framework/property_component.h"
#include "reduction/reduction_options.h"

namespace orva {

// At most this many presets in a list.
constexpr uint32_t kReductionMaxPresets = 31;

class ReductionPreset final : public PropertyComponent, public PropertyReset {
public:
    // A counted preset (count 1) with default options; nullptr when memory is short.
    static ReductionPreset* Create();
    // An embedded preset (a component's own one) counts no references.
    static constexpr bool kEmbedded = true;
    explicit ReductionPreset(bool embedded) : embedded_(embedded) {}
    ReductionPreset(const ReductionPreset&) = delete;
    ReductionPreset& operator=(const ReductionPreset&) = delete;
    ~ReductionPreset() override;

    // {"PROP", 0, "PROC", "REDU"}.
    const ComponentId* GetClassId() const override;
    int AddRef() override;
    // Destroys a counted preset at 0.
    int Release() override;
    // A new preset with default options.
    bool CreateInstance(PropertyComponent** out) override;
    // Its own id, {"PROP", 0, 0, 0} and {"BASE", 0, 0, 0}.
    bool QueryInterface(const ComponentId* id, void** out) override;
    uint32_t* Flags() override { return &flags; }
    void SaveClassParams() override {}
    void LoadClassParams() override {}
    bool Read(const char* path) override { return Load(path); }
    bool Write(const char* path) override { return Save(path); }
    const char* SettingsFileName() const override { return settingsFileName; }
    // The defaults back (ReductionOptions::SetDefaults).
    bool Reset() override;

    // Reads the preset's section of the file that `text` names (a file name,
    // possibly with the tags of a source name): the keys read into default
    // options, copied in (with the name and file names) when the read succeeded
    // and saw a key. The read's result.
    bool Load(const char* text);
    // Writes the section into the target; the writer's result.
    bool Save(const char* target);
    // The keys, one line each, behind `prefix` when it is not 0. A failed write
    // stops the writing, sets the writer's state to -5 and answers false.
    bool WriteKeys(KeywordFile* writer, char prefix) const;

    int RefCount() const { return refs_.load(); }

    ReductionOptions options;
    // For a list member: its number in the high 16 bits, the holder's value in
    // the low 16 bits; it numbers the section the preset is saved in.
    uint32_t flags = 0;
    char* settingsFileName = nullptr;  // owned, may be null
    int32_t index = 0;                 // the list's count when it was made
    ReductionPreset* next = nullptr;
    ReductionPreset* previous = nullptr;

private:
    std::atomic<int> refs_{1};
    bool embedded_ = false;
};

// The keys of a preset section (prepared once by a static initialiser).
KeywordTable& ReductionKeyTable();

// What a preset list asks of the component that holds it.
class ReductionPresetHolder {
public:
    // The holder's refresh after the option set in use changed.
    virtual void RefreshOptions() = 0;
    // Asked before the common options change; true to go on.
    virtual bool ConfirmCommonChange() = 0;
    // The channel count of the holder's input (0: none negotiated).
    virtual uint32_t InputChannelCount() const = 0;

protected:
    ~ReductionPresetHolder() = default;
};

class ReductionPresetList {
public:
    explicit ReductionPresetList(ReductionPresetHolder* holder);
    ReductionPresetList(const ReductionPresetList&) = delete;
    ReductionPresetList& operator=(const ReductionPresetList&) = delete;
    // Releases every preset (a current list preset's values kept in the own
    // preset first), the current set's reference and the common preset.
    ~ReductionPresetList();

    // The values in use.
    ReductionOptions& Options() { return current->options; }
    const ReductionOptions& Options() const { return current->options; }
    bool UsesCommon() const { return common != nullptr && current == common; }
    // The current list preset, or the own preset when none is current.
    ReductionPreset* CurrentPresetOrOwn() { return currentPreset != nullptr ? currentPreset : &own; }
    // True when the values in use equal `other`'s: the whole block without an
    // input channel count, else the stretches that a paste compares.
    bool SameAsCurrent(const ReductionOptions& other) const;
    // Makes `next` the option set in use (with a reference); the holder
    // refreshes when the values differ.
    void SwitchCurrent(ReductionPreset* next);

    ReductionPresetHolder* holder;
    ReductionPreset own{ReductionPreset::kEmbedded};
    ReductionPreset* current = &own;        // counted (the own preset counts nothing)
    ReductionPreset* head = nullptr;        // the list, each member counted once
    ReductionPreset* tail = nullptr;
    ReductionPreset* currentPreset = nullptr;
    uint32_t count = 0;
    uint32_t userValue = 0;
    ReductionPreset* common = nullptr;      // the program's common preset, counted
};

// A new preset at the tail, with the values of the current list preset (or of
// the own one) and the name "<count> - noname"; nullptr when the list holds 31
// already or memory is short.
ReductionPreset* AddPreset(ReductionPresetList* list);
// Takes the preset out of the list and releases it; see the implementation.
void RemovePreset(ReductionPresetList* list, ReductionPreset* preset);
// Releases every preset; true when the values of a current one were kept in the own preset.
bool ClearPresets(ReductionPresetList* list);
// The preset at the index, clamped to the list; nullptr without presets.
ReductionPreset* PresetAt(ReductionPresetList* list, int32_t index);
// NChannel of the own preset and every list preset lowered to the input channel count.
void ClampPresetChannels(ReductionPresetList* list);
// Numbers the presets (position in the high 16 bits, `value` in the low ones)
// and saves each into `target`: 1 when every save succeeded, else -1.
int SaveAllPresets(ReductionPresetList* list, uint32_t value, const char* target);
// "<common>" (flag false) while the common options are in use; the name of
// the list preset in use, or "noname" (flag true); else "<current>" (flag false).
const char* PresetDisplayName(const ReductionPresetList* list, bool* isListPreset);
// Pastes the option clipboard into the values in use (see the implementation).
bool PasteOptions(ReductionPresetList* list, uint32_t channelCount);

// The program's common preset with a reference added: the registered one, or
// a new one that is registered (and reads its section of orvaext.cfg) first;
// nullptr when none can be had.
ReductionPreset* AcquireCommonPreset();

}  // namespace orva
