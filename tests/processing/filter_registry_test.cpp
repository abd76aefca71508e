// The filter module registry: the loader's checks and codes on a fake library, one
// real plug-in library through the dynamic loader, reloading, grouping and the labels
// of the "Add Filter" menu.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>

#include "processing/filter_registry.h"
#include "processing/modules/builtin_modules.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::CapturedLog;

int32_t TakeAsItIs(FilterInstance*, const FormatRequest* in, FormatRequest*, FormatRequest* out) {
    *out = *in;
    return 1;
}
bool Create(FilterCallbacks* c, const FilterModuleDescriptor*) {
    c->negotiate = &TakeAsItIs;
    return true;
}
bool gGlobalAnswer = true;
int gGlobalCalls = 0;
bool GlobalInit(void*, int32_t) {
    ++gGlobalCalls;
    return gGlobalAnswer;
}
bool GlobalThrows(void*, int32_t) { throw std::runtime_error("global"); }

const ComponentId kFakeId{{FourCC("PLUG"), 0, FourCC("FILT"), FourCC("FAKE")}, "Fakes"};
const ComponentId kNotPlugId{{FourCC("PLUX"), 0, FourCC("FILT"), FourCC("FAKE")}, "Fakes"};

// What the fake library does: its symbols, the block GetInfo writes, the handler's count.
struct FakeSpec {
    bool opens = true;
    bool hasGetInfo = true;
    bool hasHandler = true;
    bool getInfoThrows = false;
    bool hasPath = true;
    int32_t result = 1;
    int32_t count = 1;
    uint32_t version = 1;
    uint32_t flags = 1;
    uint32_t charType = 3;
    int32_t handlerCount = 1;
    FilterModuleDescriptor descriptor{&kFakeId, nullptr, kFilterModuleFlag, "fake", "Fake Filter", "Tester",
                                      &Create, nullptr, &GlobalInit};
    bool giveDescriptor = true;
};
FakeSpec gSpec;
int gOpens = 0;

int32_t FakeGetInfo(FilterModuleInfo* info, int32_t* count) {
    if (gSpec.getInfoThrows) throw std::runtime_error("get info");
    info->version = gSpec.version;
    info->flags = gSpec.flags;
    info->charType = gSpec.charType;
    *count = gSpec.count;
    return gSpec.result;
}
void FakeHandler(void*, FilterHandlerRequest* request, int32_t* count) {
    if (gSpec.giveDescriptor) request->descriptor = &gSpec.descriptor;
    *count = gSpec.handlerCount;
}

class FakeLibrary : public FilterLibrary {
public:
    bool Open(const std::string&, std::string* error) override {
        ++gOpens;
        if (!gSpec.opens) *error = "fake: cannot open shared object file";
        return gSpec.opens;
    }
    void* Symbol(const char* name) override {
        if (std::string(name) == kFilterGetInfoName && gSpec.hasGetInfo) return reinterpret_cast<void*>(&FakeGetInfo);
        if (std::string(name) == kFilterHandlerName && gSpec.hasHandler) return reinterpret_cast<void*>(&FakeHandler);
        return nullptr;
    }
    bool Path(std::string* path) override {
        if (gSpec.hasPath) *path = "/resolved/fake.so";
        return gSpec.hasPath;
    }
};
std::unique_ptr<FilterLibrary> MakeFake() { return std::make_unique<FakeLibrary>(); }

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        gSpec = FakeSpec{};
        gOpens = 0;
        gGlobalAnswer = true;
        gGlobalCalls = 0;
        previous_ = SetFilterLibraryFactory(&MakeFake);
    }
    void TearDown() override { SetFilterLibraryFactory(previous_); }
    FilterLibraryFactory previous_ = nullptr;
};

TEST_F(RegistryTest, LoaderChecksGiveTheirCodesAndOneLogLine) {
    struct Case {
        const char* name;
        void (*setup)();
        int32_t mode;
        int32_t code;
        const char* line;
    } cases[] = {
        {"no GetInfo", [] { gSpec.hasGetInfo = false; }, 0, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"version 2", [] { gSpec.version = 2; }, 0, -2, "$Module: [bad version] Fake [/fake/lib.so]\n"},
        {"flag bit 31", [] { gSpec.flags = 0x80000001; }, 0, -3,
         "$Module: [unsupported char type] Fake [/fake/lib.so]\n"},
        {"flags 0x11", [] { gSpec.flags = 0x11; }, 0, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"flag bit 29", [] { gSpec.flags = 0x20000001; }, 0, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"no flag bits", [] { gSpec.flags = 0; }, 0, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"character type 2", [] { gSpec.charType = 2; }, 0, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"GetInfo fails", [] { gSpec.result = -5; }, 0, -5, "$Module: [error] Fake [/fake/lib.so]\n"},
        {"count 0", [] { gSpec.count = 0; }, 0, 0, "$Module: [error] Fake [/fake/lib.so]\n"},
        {"GetInfo throws", [] { gSpec.getInfoThrows = true; }, 0, -9, "$Module: [exeption] Fake [/fake/lib.so]\n"},
        {"no module path", [] { gSpec.hasPath = false; }, 0, -12, "$Module: [external api err] Fake [/fake/lib.so]\n"},
        {"cannot load", [] { gSpec.opens = false; }, 0, 4,
         "$Module: [unsupported] Fake [/fake/lib.so]\n$Module: fake: cannot open shared object file\n"},
        {"no handler", [] { gSpec.hasHandler = false; }, 2, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"handler count 4", [] { gSpec.handlerCount = 4; }, 2, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"no descriptor", [] { gSpec.giveDescriptor = false; }, 2, -4, "$Module: [unsupported] Fake [/fake/lib.so]\n"},
        {"id not PLUG", [] { gSpec.descriptor.id = &kNotPlugId; }, 2, -4,
         "$Module: [unsupported] Fake Filter [/fake/lib.so]\n"},
        {"no filter flag", [] { gSpec.descriptor.flags = 0x10000; }, 2, -4,
         "$Module: [unsupported] Fake Filter [/fake/lib.so]\n"},
        {"global init refuses", [] { gGlobalAnswer = false; }, 1, -14,
         "$Module: [external err] Fake Filter [/fake/lib.so]\n"},
    };
    for (const Case& c : cases) {
        gSpec = FakeSpec{};
        gGlobalAnswer = true;
        c.setup();
        auto* record = new FilterModuleRecord;
        record->title = "Fake";
        int32_t code = 0;
        std::string log = CapturedLog([&] { code = ModuleLoad(record, "/fake/lib.so", c.mode); });
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(log, c.line) << c.name;
        EXPECT_EQ(std::tuple(record->library == nullptr, record->descriptor == nullptr), std::tuple(true, true))
            << c.name;
        // Reported once: a second failure of the same record is silent.
        EXPECT_EQ(CapturedLog([&] { ModuleLoad(record, "/fake/lib.so", c.mode); }), "") << c.name;
        record->Release();
    }
}

TEST_F(RegistryTest, LoadingKeepsOrUnloadsAndRefreshesTheRecord) {
    auto* record = new FilterModuleRecord;
    EXPECT_EQ(ModuleLoad(record, nullptr, kModuleLoad), -13);  // no path anywhere
    EXPECT_EQ(gOpens, 0);

    // Check mode: the descriptor is read, the record refreshed, the library unloaded.
    EXPECT_EQ(ModuleLoad(record, "/fake/lib.so", kModuleCheck), 1);
    EXPECT_EQ(std::tuple(record->title, record->author, record->idName, record->path),
              std::tuple("Fake Filter", "Tester", "Fakes", "/resolved/fake.so"));
    EXPECT_EQ(std::tuple(record->library == nullptr, record->descriptor == nullptr, gGlobalCalls),
              std::tuple(true, true, 0));

    // Load mode keeps both and runs the global initialisation; a held library answers at once.
    EXPECT_EQ(ModuleLoad(record, nullptr, kModuleLoad), 1);  // the stored path
    EXPECT_EQ(std::tuple(record->library != nullptr, record->descriptor, gGlobalCalls),
              std::tuple(true, &gSpec.descriptor, 1));
    EXPECT_EQ(ModuleLoad(record, nullptr, kModuleLoad), 1);
    EXPECT_EQ(gOpens, 2);

    // A handle without a descriptor: -13 without touching the library.
    record->descriptor = nullptr;
    EXPECT_EQ(ModuleLoad(record, "/other.so", kModuleLoad), -13);
    EXPECT_EQ(gOpens, 2);
    record->Release();
}

TEST(RegistryLibraryTest, RealPluginLoadsThroughTheDynamicLoader) {
    auto* record = new FilterModuleRecord;
    std::string log = CapturedLog([&] { EXPECT_EQ(ModuleLoad(record, ORVA_TEST_FILTER_PLUGIN, kModuleCheck), 1); });
    EXPECT_EQ(log, "");
    EXPECT_EQ(std::tuple(record->title, record->author, record->idName),
              std::tuple("Plug-in Test Filter", "ORVA tests", "Testing"));
    EXPECT_EQ(record->id.code[3], FourCC("TEST"));
    EXPECT_EQ(std::tuple(record->library == nullptr, record->descriptor == nullptr), std::tuple(true, true));
    char resolved[4096];
    ASSERT_NE(realpath(ORVA_TEST_FILTER_PLUGIN, resolved), nullptr);
    EXPECT_EQ(record->path, resolved);
    EXPECT_EQ(record->info.charType, 3u);

    // Loaded for use: kept with its descriptor until the record goes.
    EXPECT_EQ(ModuleLoad(record, nullptr, kModuleLoad), 1);
    ASSERT_NE(record->descriptor, nullptr);
    EXPECT_STREQ(record->descriptor->key, "plugtest");
    record->Release();

    auto* missing = new FilterModuleRecord;
    log = CapturedLog([&] { EXPECT_EQ(ModuleLoad(missing, "/nonexistent/plug.so", kModuleQuery), 4); });
    EXPECT_EQ(log.rfind("$Module: [unsupported]  [/nonexistent/plug.so]\n$Module: /nonexistent/plug.so: ", 0), 0u)
        << log;
    missing->Release();
}

TEST_F(RegistryTest, GlobalInitialisationAndRegistration) {
    FilterModuleDescriptor d = gSpec.descriptor;
    EXPECT_EQ(ModuleGlobalInit(nullptr), -3);
    d.create = nullptr;
    EXPECT_EQ(ModuleGlobalInit(&d), -4);
    d.create = &Create;
    d.globalInit = nullptr;
    EXPECT_EQ(ModuleGlobalInit(&d), 0);
    d.globalInit = &GlobalThrows;
    std::string log = CapturedLog([&] { EXPECT_EQ(ModuleGlobalInit(&d), -7); });
    EXPECT_EQ(log, "$PlugFilter::global(): Fake Filter - module exeption...\n");

    FilterRegistry registry;
    d.globalInit = &GlobalInit;
    gGlobalAnswer = false;
    uint8_t flag = 0;
    log = CapturedLog([&] { EXPECT_EQ(RegisterFilterModule(&registry, &d, &flag), 0); });
    EXPECT_EQ(log, "$PlugLoad: memory out [Fake Filter]\n");
    gGlobalAnswer = true;
    EXPECT_EQ(RegisterFilterModule(&registry, &d, &flag), 1);
    EXPECT_EQ(std::tuple(flag, gGlobalCalls), std::tuple(1, 2));
    EXPECT_EQ(RegisterFilterModule(&registry, &d, &flag), 1);  // the flag says it ran
    EXPECT_EQ(gGlobalCalls, 2);
    EXPECT_EQ(registry.RecordCount(), 2);
    EXPECT_EQ(CapturedLog([] { PlugLoad(-4, nullptr); }), "$PlugLoad: unkn. type []\n");
    d.title = nullptr;
    EXPECT_EQ(CapturedLog([&] { PlugLoad(-6, &d); }), "$PlugLoad: memory out [noname]\n");
}

TEST(RegistryReloadTest, RescansLeaveTheTwoBuiltInsAndCallTheObservers) {
    FilterRegistry registry;
    int calls = 0;
    AddReloadObserver(&registry, [](void* c) { ++*static_cast<int*>(c); }, &calls);
    // A record grouped by its author, as a scan would leave one: emptied by the reload too.
    FilterModuleDescriptor authored{nullptr, nullptr, kFilterModuleFlag, "x", "X", "Someone", &Create, nullptr, nullptr};
    ASSERT_EQ(RegisterFilterModule(&registry, &authored, nullptr), 1);
    ASSERT_EQ(registry.byAuthor.size(), 1u);
    std::string log = CapturedLog([&] {
        LoadFilters(&registry, "/ignored/plug/filters/");
        LoadFilters(&registry, "/ignored/plug/filters/");
    });
    EXPECT_EQ(log, "Load filter(s): 2 modules, plugins 2\nLoad filter(s): 2 modules, plugins 2\n");
    EXPECT_EQ(std::tuple(registry.RecordCount(), registry.byId.size(), registry.byAuthor.size(), registry.plain.size()),
              std::tuple(2, 2u, 0u, 0u));
    EXPECT_EQ(calls, 4);
    auto menu = FilterMenuEntries(registry, FilterMenuList::kById);
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(std::tuple(menu[0].label, menu[0].children.size(), menu[0].children[0].label),
              std::tuple("Geometry", 1u, "Affine Transformations"));
    EXPECT_EQ(std::tuple(menu[1].label, menu[1].children[0].label), std::tuple("Convolution", "Convolver"));
    EXPECT_EQ(menu[1].children[0].record->refCount.load(), 2);  // the registry's and the entry's
    RemoveReloadObserver(&registry, [](void* c) { ++*static_cast<int*>(c); }, &calls);
    EXPECT_EQ(AffineModulePackage().initialised, 1);
}

FilterModuleRecord* MakeRecord(const char* title, const char* author, const ComponentId* id) {
    FilterModuleDescriptor d{id, nullptr, kFilterModuleFlag, "k", title, author, &Create, nullptr, nullptr};
    auto* r = new FilterModuleRecord;
    r->CopyFrom(&d);
    return r;
}

TEST(RegistryGroupingTest, ModesPlaceRecordsAndMenusLabelThem) {
    const ComponentId other{{FourCC("PLUG"), 0, FourCC("FILT"), FourCC("OTHR")}, "Others"};
    const ComponentId nameless{{FourCC("PLUG"), 0, FourCC("FILT"), FourCC("ANON")}, nullptr};
    struct Case {
        int32_t mode;
        size_t byId, byAuthor, plain;
    } cases[] = {{kGroupByIdFirst, 2, 1, 1}, {kGroupByAuthorFirst, 1, 2, 1}, {7, 0, 0, 5}};
    for (const Case& c : cases) {
        FilterRegistry registry;
        registry.groupingMode = c.mode;
        ASSERT_TRUE(AddFilterModule(&registry, MakeRecord("A", "Alice", &kFakeId)));
        ASSERT_TRUE(AddFilterModule(&registry, MakeRecord("B", "Alice", &kFakeId)));
        ASSERT_TRUE(AddFilterModule(&registry, MakeRecord("C", nullptr, &other)));
        ASSERT_TRUE(AddFilterModule(&registry, MakeRecord("D", "Bob", &nameless)));  // no id name: not by id
        ASSERT_TRUE(AddFilterModule(&registry, MakeRecord(nullptr, nullptr, &nameless)));
        EXPECT_EQ(std::tuple(registry.byId.size(), registry.byAuthor.size(), registry.plain.size()),
                  std::tuple(c.byId, c.byAuthor, c.plain))
            << c.mode;
        EXPECT_EQ(registry.RecordCount(), 5) << c.mode;
    }

    // Labels: title, else author, else "NoName"; groups by their first record.
    FilterRegistry registry;
    registry.plain = {MakeRecord("Title", "Author", nullptr), MakeRecord(nullptr, "Author", nullptr),
                      MakeRecord(nullptr, nullptr, nullptr)};
    registry.byId.push_back({{MakeRecord("In Group", nullptr, &nameless)}});
    registry.byAuthor.push_back({{MakeRecord(nullptr, nullptr, nullptr)}});
    auto plain = FilterMenuEntries(registry, FilterMenuList::kPlain);
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_EQ(std::tuple(plain[0].label, plain[1].label, plain[2].label), std::tuple("Title", "Author", "NoName"));
    auto byId = FilterMenuEntries(registry, FilterMenuList::kById);
    EXPECT_EQ(std::tuple(byId[0].label, byId[0].record, byId[0].children[0].label),
              std::tuple("NoName", nullptr, "In Group"));
    EXPECT_EQ(FilterMenuEntries(registry, FilterMenuList::kByAuthor)[0].label, "UnknowAutor");
}

}  // namespace
}  // namespace orva
