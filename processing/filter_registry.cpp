#include "processing/filter_registry.h"

#include <strings.h>

#include <new>

#include "common/log.h"
#include "common/text.h"
#include "platform/dyn_lib.h"
#include "processing/module_guard.h"
#include "processing/modules/builtin_modules.h"

namespace orva {

namespace {

// ModuleLoad's codes.
constexpr int32_t kLoadOk = 1;
constexpr int32_t kLoadUnsupportedLibrary = 4;
constexpr int32_t kLoadBadVersion = -2;
constexpr int32_t kLoadBadFlags = -3;
constexpr int32_t kLoadUnsupported = -4;
constexpr int32_t kLoadThrew = -9;
constexpr int32_t kLoadNoMemory = -10;
constexpr int32_t kLoadNoModulePath = -12;
constexpr int32_t kLoadNothing = -13;
constexpr int32_t kLoadGlobalFailed = -14;

class DynamicFilterLibrary : public FilterLibrary {
public:
    bool Open(const std::string& path, std::string* error) override {
        if (lib_.Open(path)) return true;
        if (error != nullptr) *error = lib_.Error();
        return false;
    }
    void* Symbol(const char* name) override { return lib_.Symbol(name); }
    bool Path(std::string* path) override {
        return platform::DynLib::ModulePathOf(lib_.Symbol(kFilterGetInfoName), path);
    }

private:
    platform::DynLib lib_;
};

std::unique_ptr<FilterLibrary> MakeDynamicLibrary() { return std::make_unique<DynamicFilterLibrary>(); }

FilterLibraryFactory gLibraryFactory = &MakeDynamicLibrary;


const char* CodeText(int32_t code) {
    switch (code) {
        case -14: return "external err";
        case -12: return "external api err";
        case -10: return "memory out";
        case -9: return "exeption";
        case -4:
        case 4: return "unsupported";
        case -3: return "unsupported char type";
        case -2: return "bad version";
        default: return "error";
    }
}

// The checks of a library's information block.
int32_t CheckInfo(const FilterModuleInfo& info) {
    const uint32_t flags = info.flags;
    if ((flags & 0x80000000u) != 0) return kLoadBadFlags;
    if ((flags & 0x70000000u) != 0) return kLoadUnsupported;
    if (info.version > kFilterInterfaceVersion) return kLoadBadVersion;
    if (info.charType != kFilterCharType) return kLoadUnsupported;
    if ((flags & 0x0FFFFFF0u) != 0 || (flags & 0xFu) == 0) return kLoadUnsupported;
    return kLoadOk;
}

bool UsableDescriptor(const FilterModuleDescriptor* d) {
    return d != nullptr && d->create != nullptr && d->id != nullptr && d->id->code[0] == kFilterModuleIdCode &&
           (d->flags & kFilterModuleFlag) != 0;
}

// The loader's steps after the library is open; 1 or a code. `reportNow` is set when a
// failure is to be reported with the descriptor the module handed over.
int32_t LoadSteps(FilterModuleRecord* r, const std::string& path, int32_t mode,
                  const FilterModuleDescriptor** handed) {
    auto getInfo = reinterpret_cast<FilterGetInfoFn>(r->library->Symbol(kFilterGetInfoName));
    if (getInfo == nullptr) return kLoadUnsupported;
    r->info.host = r;
    int32_t count = 1;
    const int32_t result = getInfo(&r->info, &count);
    if (result <= 0) return result;
    if (count <= 0) return count;
    r->info.host = r;  // the module does not own this word
    if (int32_t code = CheckInfo(r->info); code != kLoadOk) return code;

    if (path != r->path) {
        std::string resolved;
        if (!r->library->Path(&resolved)) return kLoadNoModulePath;
        try {
            r->path = resolved;
        } catch (const std::bad_alloc&) {
            return kLoadNoMemory;
        }
    }
    if (mode == kModuleQuery) return kLoadOk;

    auto handler = reinterpret_cast<FilterHandlerFn>(r->library->Symbol(kFilterHandlerName));
    if (handler == nullptr) return kLoadUnsupported;
    FilterHandlerRequest request;
    handler(nullptr, &request, &count);
    if (count <= 0 || count == 4) return kLoadUnsupported;
    const FilterModuleDescriptor* d = request.descriptor;
    *handed = d;
    if (!UsableDescriptor(d)) return kLoadUnsupported;
    if (mode == kModuleLoad) {
        r->descriptor = d;
        if (d->globalInit != nullptr && !d->globalInit(nullptr, 1)) {
            r->descriptor = nullptr;
            return kLoadGlobalFailed;
        }
    }
    r->CopyFrom(d);
    return kLoadOk;
}

void ReleaseAll(std::vector<FilterModuleRecord*>* records) {
    for (FilterModuleRecord* r : *records) r->Release();
    records->clear();
}

void ReleaseGroups(std::vector<FilterModuleGroup>* groups) {
    for (FilterModuleGroup& g : *groups) ReleaseAll(&g.records);
    groups->clear();
}

void CallObservers(const FilterRegistry* registry) {
    // A copy: an observer may add or remove observers.
    const std::vector<FilterRegistry::Observer> observers = registry->observers;
    for (const FilterRegistry::Observer& o : observers)
        if (o.function != nullptr && o.context != nullptr) o.function(o.context);
}

bool HasId(const FilterModuleRecord* r) {
    return !r->idName.empty() && (r->id.code[0] | r->id.code[1] | r->id.code[2] | r->id.code[3]) != 0;
}

// Puts the record into the group whose first record matches it (a new group at the
// end when none does); false when the record has nothing to group by.
bool GroupInto(std::vector<FilterModuleGroup>* groups, FilterModuleRecord* r, bool byAuthor) {
    if (byAuthor ? r->author.empty() : !HasId(r)) return false;
    for (FilterModuleGroup& g : *groups) {
        const FilterModuleRecord* head = g.records.empty() ? nullptr : g.records.front();
        if (head == nullptr) continue;
        const bool same = byAuthor ? head->authorHash == r->authorHash &&
                                         strcasecmp(head->author.c_str(), r->author.c_str()) == 0
                                   : SameComponentId(&head->id, &r->id);
        if (same) {
            g.records.push_back(r);
            return true;
        }
    }
    groups->push_back(FilterModuleGroup{{r}});
    return true;
}

std::string RecordLabel(const FilterModuleRecord* r) {
    if (!r->title.empty()) return r->title;
    if (!r->author.empty()) return r->author;
    return "NoName";
}

void AddGroupEntries(std::vector<FilterMenuEntry>* out, const std::vector<FilterModuleGroup>& groups, bool byAuthor) {
    for (const FilterModuleGroup& g : groups) {
        if (g.records.empty()) continue;
        const FilterModuleRecord* head = g.records.front();
        std::string label = byAuthor ? (head->author.empty() ? "UnknowAutor" : head->author)
                                     : (head->idName.empty() ? "NoName" : head->idName);
        FilterMenuEntry group(std::move(label), nullptr);
        for (FilterModuleRecord* r : g.records) group.children.emplace_back(RecordLabel(r), r);
        out->push_back(std::move(group));
    }
}

}  // namespace

FilterLibraryFactory SetFilterLibraryFactory(FilterLibraryFactory factory) {
    FilterLibraryFactory old = gLibraryFactory;
    gLibraryFactory = factory != nullptr ? factory : &MakeDynamicLibrary;
    return old;
}

// ---- Records ---------------------------------------------------------------------------------

FilterModuleRecord::FilterModuleRecord() { info.host = this; }
FilterModuleRecord::~FilterModuleRecord() = default;

int32_t FilterModuleRecord::AddRef() { return refCount.fetch_add(1) + 1; }

int32_t FilterModuleRecord::Release() {
    const int32_t count = refCount.fetch_sub(1) - 1;
    if (count == 0) delete this;
    return count;
}

void FilterModuleRecord::CopyFrom(const FilterModuleDescriptor* d) {
    if (d == nullptr) return;
    title = TextOrEmpty(d->title);
    author = TextOrEmpty(d->author);
    authorHash = NameHash24(author.c_str());
    if (d->id != nullptr) {
        for (int i = 0; i < 4; ++i) id.code[i] = d->id->code[i];
        idName = TextOrEmpty(d->id->name);
    } else {
        id = ComponentId{{0, 0, 0, 0}, nullptr};
        idName.clear();
    }
    id.name = idName.empty() ? nullptr : idName.c_str();
}

// ---- Loading ---------------------------------------------------------------------------------

void ModuleErrorText(int32_t code, const char* path, const char* title) {
    LogPrintf("$Module: [%s] %s [%s]", CodeText(code), TextOrEmpty(title), TextOrEmpty(path));
}

int32_t ModuleLoad(FilterModuleRecord* r, const char* path, int32_t mode) {
    if (r == nullptr) return kLoadNothing;
    if (r->library != nullptr) return r->descriptor != nullptr ? kLoadOk : kLoadNothing;
    std::string file = path != nullptr ? path : r->path;
    if (file.empty()) return kLoadNothing;

    int32_t code = kLoadOk;
    const FilterModuleDescriptor* handed = nullptr;
    std::string loaderText;
    r->library = gLibraryFactory();
    if (r->library == nullptr) return kLoadNoMemory;
    bool opened = false;
    const bool completed = CallModule([&] {
        opened = r->library->Open(file, &loaderText);
        code = opened ? LoadSteps(r, file, mode, &handed) : kLoadUnsupportedLibrary;
    });
    if (!completed) {
        code = kLoadThrew;
        if (mode == kModuleLoad) r->descriptor = nullptr;
    }
    if (code == kLoadOk) {
        if (mode != kModuleLoad) r->library.reset();
        return kLoadOk;
    }
    if (r->reported == 0) {
        // The module's title when it handed a descriptor over, else what the record knows.
        ModuleErrorText(code, file.c_str(), handed != nullptr ? TextOrEmpty(handed->title) : r->title.c_str());
        if (!loaderText.empty()) LogPrintf("$Module: %s", loaderText.c_str());
        r->reported = 1;
    }
    r->library.reset();
    return code;
}

int32_t ModuleGlobalInit(const FilterModuleDescriptor* d) {
    if (d == nullptr) return -3;
    if (d->create == nullptr) return -4;
    if (d->globalInit == nullptr) return 0;
    bool ok = false;
    if (!CallModule([&] { ok = d->globalInit(nullptr, 1); })) {
        LogPrintf("$PlugFilter::global(): %s - module exeption...", TextOrEmpty(d->title));
        return -7;
    }
    return ok ? 0 : -3;
}

void PlugLoad(int32_t code, const FilterModuleDescriptor* d) {
    const char* title = d == nullptr ? "" : (d->title != nullptr ? d->title : "noname");
    LogPrintf("$PlugLoad: %s [%s]", code == -4 ? "unkn. type" : "memory out", title);
}

// ---- Registry --------------------------------------------------------------------------------

FilterRegistry::~FilterRegistry() {
    Clear();
    observers.clear();
}

void FilterRegistry::Clear() {
    ReleaseGroups(&byId);
    ReleaseGroups(&byAuthor);
    ReleaseAll(&plain);
}

int32_t FilterRegistry::RecordCount() const {
    size_t n = plain.size();
    for (const auto* groups : {&byId, &byAuthor})
        for (const FilterModuleGroup& g : *groups) n += g.records.size();
    return static_cast<int32_t>(n);
}

FilterRegistry& TheFilterRegistry() {
    static FilterRegistry registry;
    return registry;
}

bool AddFilterModule(FilterRegistry* registry, FilterModuleRecord* r) {
    if (registry == nullptr || r == nullptr) return false;
    try {
        bool grouped = false;
        if (registry->groupingMode == kGroupByIdFirst) {
            grouped = GroupInto(&registry->byId, r, false) || GroupInto(&registry->byAuthor, r, true);
        } else if (registry->groupingMode == kGroupByAuthorFirst) {
            grouped = GroupInto(&registry->byAuthor, r, true) || GroupInto(&registry->byId, r, false);
        }
        if (!grouped) registry->plain.push_back(r);
        return true;
    } catch (const std::bad_alloc&) {
        LogPrintf("%s", "Add filter plugin: out memory");
        return false;
    }
}

int32_t RegisterFilterModule(FilterRegistry* registry, const FilterModuleDescriptor* d, uint8_t* packageFlag) {
    if (packageFlag == nullptr || *packageFlag == 0) {
        if (ModuleGlobalInit(d) != 0) {
            PlugLoad(-8, d);
            return 0;
        }
        if (packageFlag != nullptr) *packageFlag = 1;
    }
    auto* r = new (std::nothrow) FilterModuleRecord;
    if (r == nullptr) {
        PlugLoad(-6, d);
        return 0;
    }
    r->descriptor = d;
    r->CopyFrom(d);
    if (!AddFilterModule(registry, r)) {
        r->Release();
        PlugLoad(-6, d);
        return 0;
    }
    return 1;
}

void LoadFilters(FilterRegistry* registry, const char* /*folder: not scanned*/) {
    if (registry == nullptr) return;
    registry->Clear();
    CallObservers(registry);
    FilterModulePackage& affine = AffineModulePackage();
    int32_t count = RegisterFilterModule(registry, &affine.descriptor, &affine.initialised);
    count += RegisterFilterModule(registry, &ConvolverModuleDescriptor(), nullptr);
    CallObservers(registry);
    LogPrintf("Load filter(s): %d modules, plugins %d", count, count);
}

void AddReloadObserver(FilterRegistry* registry, void (*function)(void*), void* context) {
    if (registry != nullptr && function != nullptr) registry->observers.push_back({context, function});
}

void RemoveReloadObserver(FilterRegistry* registry, void (*function)(void*), void* context) {
    if (registry == nullptr) return;
    auto& list = registry->observers;
    for (auto it = list.begin(); it != list.end();) {
        if (it->function == function && it->context == context) it = list.erase(it);
        else ++it;
    }
}

void LoadFilterModules(const char* folder) { LoadFilters(&TheFilterRegistry(), folder); }
void ClearFilterModules() { TheFilterRegistry().Clear(); }

// ---- Menu entries ----------------------------------------------------------------------------

FilterMenuEntry::FilterMenuEntry(std::string text, FilterModuleRecord* r) : label(std::move(text)), record(r) {
    if (record != nullptr) record->AddRef();
}

FilterMenuEntry::FilterMenuEntry(FilterMenuEntry&& other) noexcept
    : label(std::move(other.label)), record(other.record), children(std::move(other.children)) {
    other.record = nullptr;
}

FilterMenuEntry& FilterMenuEntry::operator=(FilterMenuEntry&& other) noexcept {
    if (this != &other) {
        if (record != nullptr) record->Release();
        label = std::move(other.label);
        record = other.record;
        children = std::move(other.children);
        other.record = nullptr;
    }
    return *this;
}

FilterMenuEntry::~FilterMenuEntry() {
    if (record != nullptr) record->Release();
}

std::vector<FilterMenuEntry> FilterMenuEntries(const FilterRegistry& registry, FilterMenuList list) {
    std::vector<FilterMenuEntry> out;
    switch (list) {
        case FilterMenuList::kPlain:
            for (FilterModuleRecord* r : registry.plain) out.emplace_back(RecordLabel(r), r);
            break;
        case FilterMenuList::kById: AddGroupEntries(&out, registry.byId, false); break;
        case FilterMenuList::kByAuthor: AddGroupEntries(&out, registry.byAuthor, true); break;
    }
    return out;
}

}  // namespace orva
