#pragma once
// A dynamic library loaded into the process: opened with every symbol resolved
// at once and kept to itself (its symbols do not serve libraries loaded later),
// asked for symbols by name, and closed when the object goes.
#include <string>

namespace orva::platform {

class DynLib {
public:
    DynLib() = default;
    ~DynLib() { Close(); }
    DynLib(const DynLib&) = delete;
    DynLib& operator=(const DynLib&) = delete;
    DynLib(DynLib&& other) noexcept;
    DynLib& operator=(DynLib&& other) noexcept;

    // Loads the library at `path` (a previous one is closed first); false with the
    // loader's text in Error() when it cannot be loaded.
    bool Open(const std::string& path);
    // The address of an exported symbol, or nullptr.
    void* Symbol(const char* name) const;
    // Unloads the library; nothing when none is loaded.
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    // The loader's text of the last failure of Open (empty after a success).
    const std::string& Error() const { return error_; }

    // The resolved path (symbolic links followed) of the file of the loaded module
    // that holds `address`; false when no module holds it.
    static bool ModulePathOf(const void* address, std::string* path);

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace orva::platform
