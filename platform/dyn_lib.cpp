#include "platform/dyn_lib.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <utility>

namespace orva::platform {

DynLib::DynLib(DynLib&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynLib& DynLib::operator=(DynLib&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool DynLib::Open(const std::string& path) {
    Close();
    error_.clear();
    if (path.empty()) {
        error_ = "no library path";
        return false;
    }
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* text = dlerror();
        error_ = text != nullptr ? text : "cannot load library";
        return false;
    }
    return true;
}

void* DynLib::Symbol(const char* name) const {
    if (handle_ == nullptr || name == nullptr) return nullptr;
    return dlsym(handle_, name);
}

void DynLib::Close() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

bool DynLib::ModulePathOf(const void* address, std::string* path) {
    Dl_info info;
    if (address == nullptr || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return false;
    if (path != nullptr) *path = resolved;
    return true;
}

}  // namespace orva::platform
