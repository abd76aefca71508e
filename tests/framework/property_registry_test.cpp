#include "framework/property_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/app_object.h"
#include "framework/keyword_file.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::ScopedEnv;
using testing_util::TempFolder;
using testing_util::WriteText;

constexpr ComponentId kColorId{{FourCC("PROP"), 0, FourCC("CONV"), FourCC("COLR")}, nullptr};
constexpr ComponentId kScaleId{{FourCC("PROP"), 0, FourCC("FILT"), FourCC("PRC1")}, nullptr};
constexpr ComponentId kEntriesId{{FourCC("PROP"), 0, FourCC("ENTR"), FourCC("CTNR")}, nullptr};
constexpr ComponentId kCellId{{FourCC("CELB"), 0, FourCC("CELX"), FourCC("DRAW")}, nullptr};

int gLive = 0;
std::vector<std::string> gCalls;

// A settings object with one value "Level", kept as text, written as its section.
class FakeSettings : public PropertyComponent {
public:
    FakeSettings(const ComponentId* id, uint32_t flags) : id_(id), flags_(flags) { ++gLive; }
    ~FakeSettings() override { --gLive; }

    const ComponentId* GetClassId() const override { return id_; }
    int AddRef() override { return ++refs_; }
    int Release() override {
        int n = --refs_;
        if (n == 0) delete this;
        return n;
    }
    bool CreateInstance(PropertyComponent** out) override {
        *out = new FakeSettings(id_, flags_);
        return true;
    }
    bool QueryInterface(const ComponentId* id, void** out) override {
        if (!SameComponentId(id, id_)) return false;
        AddRef();
        *out = this;
        return true;
    }
    uint32_t* Flags() override { return &flags_; }
    void SaveClassParams() override {}
    void LoadClassParams() override {}

    bool Read(const char* path) override;
    bool Write(const char* path) override;
    const char* SettingsFileName() const override { return nullptr; }

    std::string level = "0";
    int refs() const { return refs_; }

private:
    const ComponentId* id_;
    uint32_t flags_;
    int refs_ = 1;
};

class FakeSettingsFile : public KeywordFile {
public:
    explicit FakeSettingsFile(FakeSettings* owner) : owner_(owner) {}
    bool HasData() override {
        std::string statement(Parse().key);
        if (statement.rfind("Level=", 0) != 0) return false;
        owner_->level = statement.substr(6);
        return true;
    }
    bool WriteBody(char) override { return Print("Level=%s\n", owner_->level.c_str()); }

private:
    FakeSettings* owner_;
};

bool FakeSettings::Read(const char* path) {
    gCalls.push_back("Read " + std::to_string(id_->code[3] == FourCC("COLR")) + " " + path);
    FakeSettingsFile file(this);
    return file.LoadFrom(path, this);
}

bool FakeSettings::Write(const char* path) {
    gCalls.push_back("Write " + std::to_string(id_->code[3] == FourCC("COLR")) + " " + path);
    FakeSettingsFile file(this);
    return file.SaveTo(path, this, false);
}

#define COLOR "[{504F5250-00000000-524C4F43564E4F43-00000000}]\n"
#define MAIN_HEADER "[{424F4C47-00000000-4C505041424F4C47-00000000}]\n"
#define SCALE "[{504F5250-00000000-31435250544C4946-00000002}]\n"

TEST(PropertyRegistry, WritesOneSectionPerComponent) {
    gCalls.clear();
    TempFolder folder;
    std::string path = folder.File("orvaext.cfg");
    {
        PropertyRegistry registry;
        registry.SetDefaultPathSource([&] { return path; });
        EXPECT_EQ(registry.GetClassId(), &kMainAppId);
        EXPECT_FALSE(registry.WritePropertySets(nullptr));  // nothing registered

        auto* color = new FakeSettings(&kColorId, 0);
        auto* scale = new FakeSettings(&kScaleId, 2);
        EXPECT_TRUE(registry.SaveProperties(color));
        EXPECT_TRUE(registry.SaveProperties(scale));
        EXPECT_EQ(color->refs(), 2);
        // Non-property components are refused.
        FakeSettings entries(&kEntriesId, 0), cell(&kCellId, 0);
        EXPECT_FALSE(registry.SaveProperties(&entries) || registry.SaveProperties(&cell));
        EXPECT_EQ(registry.Count(), 2u);

        color->level = "7";
        scale->level = "1.5";
        EXPECT_TRUE(registry.WritePropertySets(nullptr));
        EXPECT_EQ(ReadText(path), COLOR "Level=7\n\n" SCALE "Level=1.5\n");

        // A foreign section added by hand, then one component changes: only its
        // section is rewritten.
        WriteText(path, ReadText(path) + "\n[{00000001-00000000-0000000000000000-00000000}]\nMine=1\n");
        scale->level = "2.5";
        EXPECT_TRUE(registry.WritePropertySets(nullptr));
        EXPECT_EQ(ReadText(path), COLOR "Level=7\n\n" SCALE "Level=2.5\n\n"
                                        "[{00000001-00000000-0000000000000000-00000000}]\nMine=1\n");

        // Reading back into fresh objects through the registry's operations.
        color->level = scale->level = "?";
        EXPECT_TRUE(registry.ReadPropertySets(nullptr));
        EXPECT_EQ(color->level + " " + scale->level, "7 2.5");
        color->Release();
        scale->Release();
    }
    EXPECT_EQ(gLive, 0);
    // Each read is followed by a write that only notes what was read (it writes no file),
    // so that a save at the end keeps what the component did not change.
    EXPECT_EQ(gCalls, (std::vector<std::string>{
                          "Read 1 " + path, "Write 1 " + path, "Read 0 " + path, "Write 0 " + path,
                          "Write 1 " + path, "Write 0 " + path, "Write 1 " + path, "Write 0 " + path,
                          "Read 1 " + path, "Write 1 " + path, "Read 0 " + path, "Write 0 " + path}));
}

TEST(PropertyRegistry, QueryAndGetByClass) {
    TempFolder folder;
    std::string path = folder.File("orvaext.cfg");
    WriteText(path, COLOR "Level=42\n");
    {
        PropertyRegistry registry;
        registry.SetDefaultPathSource([&] { return path; });
        FakeSettings prototype(&kColorId, 0);
        PropertyComponent* out = nullptr;
        EXPECT_FALSE(registry.QueryInterface(&kColorId, &out));

        // Not registered yet: a new instance is made, registered and read.
        ASSERT_TRUE(registry.GetPropertyComponent(&prototype, &out));
        ASSERT_TRUE(out != nullptr && out != &prototype);
        auto* made = static_cast<FakeSettings*>(out);
        EXPECT_EQ(std::pair(made->level, made->refs()), std::pair(std::string("42"), 2));

        // Registered: the same object every time, with a reference for the caller.
        PropertyComponent* again = nullptr;
        EXPECT_TRUE(registry.GetPropertyComponent(&prototype, &again) && again == out);
        again = nullptr;
        EXPECT_TRUE(registry.QueryInterface(&kColorId, &again) && again == out);
        EXPECT_EQ(made->refs(), 4);
        again->Release();
        again->Release();
        EXPECT_FALSE(registry.QueryInterface(&kCellId, &again) || again != nullptr);

        // Without an out pointer the new instance is owned by the registry alone.
        FakeSettings scalePrototype(&kScaleId, 2);
        EXPECT_TRUE(registry.GetPropertyComponent(&scalePrototype, nullptr));
        EXPECT_EQ(registry.Count(), 2u);
        out->Release();
    }
    EXPECT_EQ(gLive, 0);
}


// What the preferences writer found when the application called it at the end.
std::string gConfigAtPreferences;
std::string gExtAtPreferences;

TEST(PropertyRegistry, ApplicationReadsAndWritesItsSettingsFiles) {
    TempFolder folder;
    std::string appData = folder.File("config");
    std::string runtime = folder.File("run");
    mkdir(appData.c_str(), 0700);
    mkdir(runtime.c_str(), 0700);
    mkdir((appData + "/ZEL Lab").c_str(), 0700);
    ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime);
    std::string config = appData + "/ZEL Lab/orva.cfg";
    std::string ext = appData + "/ZEL Lab/orvaext.cfg";
    const std::string prefs = "[{00000009-00000000-0000000000000000-00000000}]\nFolder=\"/tmp\"\n";
    WriteText(config, MAIN_HEADER "MaxWorkSpaceWindows=3\nWarningOnExit=0\n\n" + prefs);
    WriteText(ext, COLOR "Level=11\n");
    gConfigAtPreferences.clear();
    {
        AppObject app;
        app.SetProgramPath(folder.File("orva"));
        app.SetAppDataFolder(appData);
        AppServices services;
        services.writePreferences = [](const char* path) {
            gConfigAtPreferences = ReadText(path);
            std::string folder = path;
            gExtAtPreferences = ReadText(folder.substr(0, folder.rfind('/') + 1) + "orvaext.cfg");
        };
        app.SetServices(services);
        ASSERT_TRUE(app.Init());
        EXPECT_EQ(std::pair(app.Settings().maxWorkSpaceWindows, int(app.Settings().exitDialog)),
                  std::pair(3, 0));

        auto* color = new FakeSettings(&kColorId, 0);
        EXPECT_TRUE(app.SaveProperties(color));
        EXPECT_EQ(color->level, "11");
        color->level = "12";
        PropertyComponent* found = nullptr;
        EXPECT_TRUE(app.QueryInterface(&kColorId, &found) && found == color);
        found->Release();
        color->Release();
        app.Settings().console = 1;
        EXPECT_TRUE(app.Exit());
    }
    EXPECT_EQ(gLive, 0);
    // Property sets first, then the main section, then the preferences (which see both).
    EXPECT_EQ(gExtAtPreferences, COLOR "Level=12\n");
    const std::string main = MAIN_HEADER
        "\nConsole=1\nWarningOnExit=0\nConfirmClosing=0\nAutoOpenChartTools=0\nChartToolsOnTop=0\n"
        "MaximizeWrkSpace=0\nMaxWorkSpaceWindows=3\nRememberViewSetting=1\nRememberProcSetting=1\n"
        "RememberChartToolsSetting=1\nBitmapDefaultCenter=1\nIncreaseSizeDlg=0\nBitmapFitDefault=1\n"
        "\n";
    EXPECT_EQ(gConfigAtPreferences + "|" + ReadText(config), main + prefs + "|" + main + prefs);
}

}  // namespace
}  // namespace orva
