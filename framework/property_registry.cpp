#include "framework/property_registry.h"

#include <new>

#include "framework/keyword_file.h"

namespace orva {

namespace {

// Reads a component's settings and notes them as the baseline of its section, so that
// its save at the end leaves alone what it did not change.
bool ReadAndRemember(PropertyComponent* component, const char* path) {
    const bool ok = component->Read(path);
    BaselineRecording recording;
    component->Write(path);
    return ok;
}

}  // namespace

PropertyRegistry::~PropertyRegistry() { Clear(); }

void PropertyRegistry::Clear() {
    std::vector<PropertyComponent*> components;
    components.swap(components_);
    for (PropertyComponent* c : components) c->Release();
}

const ComponentId* PropertyRegistry::GetClassId() const { return &kMainAppId; }

PropertyComponent* PropertyRegistry::Find(const ComponentId* id) const {
    if (id == nullptr) return nullptr;
    for (PropertyComponent* c : components_) {
        if (SameComponentId(c->GetClassId(), id)) return c;
    }
    return nullptr;
}

bool PropertyRegistry::QueryInterface(const ComponentId* id, PropertyComponent** out) {
    if (out) *out = nullptr;
    if (id == nullptr || out == nullptr || id->code[0] != kCodeProp) return false;
    PropertyComponent* c = Find(id);
    if (c == nullptr) return false;
    c->AddRef();
    *out = c;
    return true;
}

bool PropertyRegistry::AddComponent(PropertyComponent* component) {
    if (component == nullptr) return false;
    try {
        components_.reserve(components_.size() + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    component->AddRef();
    components_.push_back(component);
    return true;
}

bool PropertyRegistry::GetPropertyComponent(PropertyComponent* prototype, PropertyComponent** out) {
    if (out) *out = nullptr;
    if (prototype == nullptr || !IsPropertyClass(prototype->GetClassId())) return false;
    if (PropertyComponent* found = Find(prototype->GetClassId())) {
        if (out) {
            found->AddRef();
            *out = found;
        }
        return true;
    }
    PropertyComponent* created = nullptr;
    if (!prototype->CreateInstance(&created) || created == nullptr) return false;
    if (!AddComponent(created)) {
        created->Release();
        return false;
    }
    std::string path = DefaultPath();
    if (!path.empty()) ReadAndRemember(created, path.c_str());
    if (out) {
        *out = created;
    } else {
        created->Release();
    }
    return true;
}

bool PropertyRegistry::SaveProperties(PropertyComponent* component) {
    if (component == nullptr || !IsPropertyClass(component->GetClassId())) return false;
    if (!AddComponent(component)) return false;
    std::string path = DefaultPath();
    if (!path.empty()) ReadAndRemember(component, path.c_str());
    return true;
}

bool PropertyRegistry::ReadPropertySets(const char* path) {
    std::string fallback;
    if (path == nullptr) {
        fallback = DefaultPath();
        if (fallback.empty()) return false;
        path = fallback.c_str();
    }
    bool ok = true;
    const std::vector<PropertyComponent*> list = components_;
    for (PropertyComponent* c : list) ok = ReadAndRemember(c, path) && ok;
    return ok;
}

bool PropertyRegistry::WritePropertySets(const char* path) {
    std::string fallback;
    if (path == nullptr) {
        if (components_.empty()) return false;
        fallback = DefaultPath();
        if (fallback.empty()) return false;
        path = fallback.c_str();
    }
    bool ok = true;
    const std::vector<PropertyComponent*> list = components_;
    for (PropertyComponent* c : list) ok = c->Write(path) && ok;
    return ok;
}

}  // namespace orva
