#pragma once
// The settings interface of the colour, scaling and reduction option sets: a
// set of settings that lives as an object of its own and reads and writes
// itself as a section of a script file.
#include <cstdint>

#include "framework/component_id.h"

namespace orva {

class PropertyComponent {
public:
    // 0: the class identity (word 0 is "PROP").
    virtual const ComponentId* GetClassId() const = 0;
    // 1: destruction. Shared objects are ended through Release, never deleted directly.
    virtual ~PropertyComponent() = default;
    // 2, 3: reference counting; Release destroys the object at 0 (objects embedded
    // in a component count nothing).
    virtual int AddRef() = 0;
    virtual int Release() = 0;
    // 4: a new instance of the same class with count 1; false when the class cannot make one.
    virtual bool CreateInstance(PropertyComponent** out) = 0;
    // 5: the object for an identity it answers to, with a reference added.
    virtual bool QueryInterface(const ComponentId* id, void** out) = 0;
    // 6: the address of the flags word (its value numbers the section).
    virtual uint32_t* Flags() = 0;
    // 7, 8: store the current class values into the class's slot, and the reverse.
    virtual void SaveClassParams() = 0;
    virtual void LoadClassParams() = 0;
    // 9, 10: read or write the settings section of a script file.
    virtual bool Read(const char* path) = 0;
    virtual bool Write(const char* path) = 0;
    // 11: the settings file name, or nullptr.
    virtual const char* SettingsFileName() const = 0;
};

// The second interface of a settings object: puts the settings back to their
// defaults; true on success.
class PropertyReset {
public:
    virtual bool Reset() = 0;

protected:
    ~PropertyReset() = default;
};

// A property component in the registry's sense: word 0 is "PROP" and words 2
// and 3 are not "ENTR" "CTNR".
inline bool IsPropertyClass(const ComponentId* id) {
    return id != nullptr && id->code[0] == kCodeProp &&
           !(id->code[2] == kCodeEntr && id->code[3] == kCodeCtnr);
}

}  // namespace orva
