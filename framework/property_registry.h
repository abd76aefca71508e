#pragma once
// The application's registry of property components: the shared settings
// objects (colour, scaling, reduction defaults) that read their sections of
// orvaext.cfg when they register and write them back at the orderly end.
#include <functional>
#include <string>
#include <vector>

#include "framework/property_component.h"

namespace orva {

class PropertyRegistry {
public:
    PropertyRegistry() = default;
    // Releases every registered component.
    ~PropertyRegistry();
    PropertyRegistry(const PropertyRegistry&) = delete;
    PropertyRegistry& operator=(const PropertyRegistry&) = delete;

    // Where orvaext.cfg is; an empty answer means it cannot be built.
    void SetDefaultPathSource(std::function<std::string()> source) { pathSource_ = std::move(source); }
    std::string DefaultPath() const { return pathSource_ ? pathSource_() : std::string(); }

    // The application's identity.
    const ComponentId* GetClassId() const;
    // For an id whose word 0 is "PROP": the registered component of that class,
    // with a reference added.
    bool QueryInterface(const ComponentId* id, PropertyComponent** out);
    // Adds a reference and appends the component; false only when no room can be had.
    bool AddComponent(PropertyComponent* component);
    // The registered component of a class (no reference added), or nullptr.
    PropertyComponent* Find(const ComponentId* id) const;
    // The registered component of the prototype's class (reference added for
    // `out`); otherwise a new instance from the prototype, registered and read
    // from orvaext.cfg, handed out through `out` (released when `out` is null).
    bool GetPropertyComponent(PropertyComponent* prototype, PropertyComponent** out);
    // Registers a property component and has it read orvaext.cfg at once.
    bool SaveProperties(PropertyComponent* component);
    // Read or Write with the path on every component in list order; a null path
    // means orvaext.cfg. True when every call succeeded; WritePropertySets is
    // false when the list is empty or the path cannot be built.
    bool ReadPropertySets(const char* path);
    bool WritePropertySets(const char* path);

    // Releases every component and empties the list.
    void Clear();
    size_t Count() const { return components_.size(); }

private:
    std::vector<PropertyComponent*> components_;
    std::function<std::string()> pathSource_;
};

}  // namespace orva
