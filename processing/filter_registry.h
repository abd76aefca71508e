#pragma once
// The filter module registry: one record per known module (the two built-ins,
// and any record that names a plug-in library), kept in groups by component id
// and by author and in a plain list, for the "Add Filter" menu of the plug-in
// list. Start-up and "Rescan Plugins" empty and refill it. The loader of
// plug-in libraries checks a library's information block and descriptor before
// the program uses it; its failures are codes and one log line.
//
// Used on the user-interface thread only.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "processing/filter_plugin.h"

namespace orva {

// A loaded plug-in library, as the loader sees it. The default opens real
// libraries (platform::DynLib); tests install a factory of fakes.
class FilterLibrary {
public:
    virtual ~FilterLibrary() = default;
    // False with the loader's text in `error` when the library cannot be loaded.
    virtual bool Open(const std::string& path, std::string* error) = 0;
    virtual void* Symbol(const char* name) = 0;
    // The resolved path of the loaded library's file; false when unknown.
    virtual bool Path(std::string* path) = 0;
};
using FilterLibraryFactory = std::unique_ptr<FilterLibrary> (*)();
// Installs a factory (nullptr: the real loader) and returns the previous one.
FilterLibraryFactory SetFilterLibraryFactory(FilterLibraryFactory factory);

// One module known to the program; reference counted (1 at creation).
class FilterModuleRecord {
public:
    FilterModuleRecord();
    // Frees the copies and unloads the library when one is held.
    virtual ~FilterModuleRecord();
    FilterModuleRecord(const FilterModuleRecord&) = delete;
    FilterModuleRecord& operator=(const FilterModuleRecord&) = delete;

    int32_t AddRef();
    // Deletes the record at 0.
    int32_t Release();

    // Title, author and id copied from a descriptor.
    void CopyFrom(const FilterModuleDescriptor* descriptor);

    FilterModuleInfo info;                         // what the library's GetInfo filled
    std::string title;
    std::string path;                              // the library file, empty for built-ins
    std::unique_ptr<FilterLibrary> library;        // held while loaded
    std::atomic<int32_t> refCount{1};
    const FilterModuleDescriptor* descriptor = nullptr;  // null until loaded
    uint32_t authorHash = 0xFFFFFF;                // NameHash24 of the author
    std::string author;
    ComponentId id{{0, 0, 0, 0}, nullptr};         // the name points into idName
    std::string idName;
    uint8_t reported = 0;                          // a load failure has been logged
    uint8_t globalDone = 0;
};

// ModuleLoad modes.
constexpr int32_t kModuleQuery = 0;  // check and unload
constexpr int32_t kModuleLoad = 1;   // check, keep loaded with the descriptor, run its global initialisation
constexpr int32_t kModuleCheck = 2;  // check the descriptor too, then unload

// Loads and checks the record's library (`path`, or the stored path when null).
// 1 on success; otherwise the code (4: cannot be loaded, -2 bad version, -3 bad
// flags, -4 unsupported, -9 the module threw, -10 no memory, -12 no module path,
// -13 nothing to load, -14 the global initialisation failed), logged once per record.
int32_t ModuleLoad(FilterModuleRecord* record, const char* path, int32_t mode);
// Logs "$Module: [<code text>] <title> [<path>]".
void ModuleErrorText(int32_t code, const char* path, const char* title);
// 0, or -3 (no descriptor or the initialisation refused), -4 (no create
// function), -7 (it threw).
int32_t ModuleGlobalInit(const FilterModuleDescriptor* descriptor);
// Logs "$PlugLoad: <unkn. type | memory out> [<title>]".
void PlugLoad(int32_t code, const FilterModuleDescriptor* descriptor);

// A list of record references.
struct FilterModuleGroup {
    std::vector<FilterModuleRecord*> records;
};

// How AddFilterModule places records.
constexpr int32_t kGroupByIdFirst = 0;
constexpr int32_t kGroupByAuthorFirst = 1;

class FilterRegistry {
public:
    FilterRegistry() = default;
    // Empties every list.
    ~FilterRegistry();
    FilterRegistry(const FilterRegistry&) = delete;
    FilterRegistry& operator=(const FilterRegistry&) = delete;

    // Releases every record of the groups and the plain list; the observers stay.
    void Clear();
    // Records held in all lists.
    int32_t RecordCount() const;

    int32_t groupingMode = kGroupByIdFirst;
    std::vector<FilterModuleGroup> byId;
    std::vector<FilterModuleGroup> byAuthor;
    std::vector<FilterModuleRecord*> plain;
    struct Observer {
        void* context;
        void (*function)(void* context);
    };
    std::vector<Observer> observers;  // called before and after a reload
};

// The program's registry.
FilterRegistry& TheFilterRegistry();

// Adds a record (the registry takes over the caller's reference): into the
// group of its component id or of its author (by the grouping mode), else into
// the plain list. False when memory is short ("Add filter plugin: out memory").
bool AddFilterModule(FilterRegistry* registry, FilterModuleRecord* record);
// Registers a descriptor: its global initialisation first unless the package
// flag says it ran; then a record for it. 1, or 0 on failure.
int32_t RegisterFilterModule(FilterRegistry* registry, const FilterModuleDescriptor* descriptor,
                             uint8_t* packageFlag);
// Empties and refills the registry with the built-in modules, calling the reload
// observers before and after; logs "Load filter(s): %d modules, plugins %d". The
// plug-in folder is not scanned.
void LoadFilters(FilterRegistry* registry, const char* folder);
void AddReloadObserver(FilterRegistry* registry, void (*function)(void*), void* context);
void RemoveReloadObserver(FilterRegistry* registry, void (*function)(void*), void* context);

// The start-up's and the exit's calls on the program's registry.
void LoadFilterModules(const char* folder);
void ClearFilterModules();

// A menu entry for a record or a group (children), holding a reference to its record.
struct FilterMenuEntry {
    FilterMenuEntry() = default;
    FilterMenuEntry(std::string label, FilterModuleRecord* record);
    FilterMenuEntry(FilterMenuEntry&& other) noexcept;
    FilterMenuEntry& operator=(FilterMenuEntry&& other) noexcept;
    FilterMenuEntry(const FilterMenuEntry&) = delete;
    FilterMenuEntry& operator=(const FilterMenuEntry&) = delete;
    ~FilterMenuEntry();

    std::string label;
    FilterModuleRecord* record = nullptr;
    std::vector<FilterMenuEntry> children;
};

enum class FilterMenuList { kPlain, kById, kByAuthor };
// The entries of one list: plain records labelled by title, else author, else
// "NoName"; groups as submenus labelled by the first record's id name ("NoName")
// or author ("UnknowAutor").
std::vector<FilterMenuEntry> FilterMenuEntries(const FilterRegistry& registry, FilterMenuList list);

}  // namespace orva
