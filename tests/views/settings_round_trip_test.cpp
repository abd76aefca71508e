// Settings files keep every value and name they are given: random values (any byte
// but NUL, up to 8 KiB) and data file names (quotes, "<", ">", TAB, CR, long folders)
// saved and read back through the program's own writers and readers, several saves in
// a row into shared files. After every save: every object reads back what it holds,
// every other section and block of the file is byte for byte what it was, and saving
// the same values again leaves the file as it is.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/preferences.h"
#include "io/data_set.h"
#include "io/service_description.h"
#include "reduction/reduction_preset.h"
#include "test_support.h"
#include "transform/color_settings.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

// Bytes that mean something to the script syntax come often.
class Bytes {
public:
    explicit Bytes(uint64_t seed) : rng_(seed) {}
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }
    char Byte(const char* excluded = "") {
        static const char kSyntax[] = "\";{}<>%'/\\\r\n\t\x01\x1f |=[]()";
        for (;;) {
            const char c = Below(3) == 0 ? kSyntax[Below(sizeof kSyntax - 1)] : static_cast<char>(1 + Below(255));
            if (std::strchr(excluded, c) == nullptr) return c;
        }
    }
    // Mostly short texts, now and then up to 8 KiB.
    std::string Text(size_t most, const char* excluded = "") {
        const size_t n = Below(8) == 0 ? Below(static_cast<uint32_t>(most) + 1) : Below(40);
        std::string text;
        for (size_t i = 0; i < n; ++i) text += Byte(excluded);
        return text;
    }

private:
    std::mt19937_64 rng_;
};

// A program-written settings file cut into its parts: the lines before the first part,
// then each top-level section and each SEL block, keyed by its first line; blank lines
// go with the part that follows them.
std::vector<std::pair<std::string, std::string>> Parts(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> parts{{"", ""}};
    std::string blanks;
    size_t at = 0;
    bool inBlock = false;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        at = end;
        if (!inBlock && line == "\n") {
            blanks += line;
            continue;
        }
        if (!inBlock && (line.rfind("SEL(", 0) == 0 || line.rfind("[{", 0) == 0)) {
            parts.push_back({line, ""});
            inBlock = line[0] == 'S';
        } else if (inBlock && line == "}\n") {
            inBlock = false;
        }
        parts.back().second += blanks + line;
        blanks.clear();
    }
    parts.back().second += blanks;
    return parts;
}

// One part at most changed or came: every other is byte for byte what it was, in its place.
void ExpectOthersKept(const std::string& before, const std::string& after, const std::string& what) {
    const auto old = Parts(before);
    const auto now = Parts(after);
    std::map<std::string, std::string> was(old.begin(), old.end());
    std::string changed;
    for (const auto& part : now) {
        auto found = was.find(part.first);
        if (found == was.end() || found->second != part.second) {
            EXPECT_TRUE(changed.empty()) << what << ": a second part changed: " << part.first;
            changed = part.first;
        }
    }
    auto without = [&](const std::vector<std::pair<std::string, std::string>>& parts) {
        std::vector<std::pair<std::string, std::string>> kept;
        for (const auto& part : parts)
            if (part.first != changed) kept.push_back(part);
        return kept;
    };
    EXPECT_EQ(without(old), without(now)) << what;
}

struct Store {
    std::string path;  // the file the object saves into
    std::string name;  // what its writer is given: the path or a data file's source name
};

class SettingsRoundTrip : public testing::Test {
protected:
    void SetUp() override {
        TheDataSetServices().saveServiceFiles = true;
        // A deep folder: data file paths of nearly the longest length a path may have.
        deep_ = folder_.Path();
        while (deep_.size() < 3600) {
            deep_ += "/" + std::string(200, 'd');
            ASSERT_EQ(mkdir(deep_.c_str(), 0700), 0);
        }
    }

    std::string Palette(Bytes& bytes) {
        // A file name of any byte but "/" and NUL, in the folder or in the deep one.
        std::string file = bytes.Text(200, "/");
        if (file.empty() || file == "." || file == "..") file += "p";
        const std::string path = (bytes.Below(4) == 0 ? deep_ : folder_.Path()) + "/" + file.substr(0, 200);
        WriteText(path, "0 0 0\n255 255 255\n");
        return path;
    }

    // A data file's source name: its stem and extension of any byte but "/", "." and NUL.
    std::string DataName(Bytes& bytes, const std::string& stem, bool deep) {
        std::string extension = bytes.Text(60, "/.");
        if (extension.empty()) extension = "x";
        return "<NAME>" + (deep ? deep_ : folder_.Path()) + "/" + stem + "." + extension;
    }

    // The test writes the program's own preferences through their record: the next test
    // finds them as the program starts them.
    void TearDown() override { TheCUI().preferences.Reset(); }

    TempFolder folder_;
    std::string deep_;
};

TEST_F(SettingsRoundTrip, RandomValuesAndNamesReadBackThroughTheRealWriters) {
    Bytes bytes(0x5eed0072);
    const std::string cfg = folder_.File("orvaext.cfg");
    std::string stem = bytes.Text(100, "/.");
    if (stem.empty()) stem = "s";
    const std::string fsShallow = folder_.Path() + "/" + stem + ".fs";
    const std::string fsDeep = deep_ + "/" + stem + ".fs";
    WriteText(cfg, "// kept as it is\n[{0000000A-00000000-0000000000000000-00000000}]\nForeign=\"x;{\"\n");

    // The objects: the preferences, colour settings and two presets in orvaext.cfg;
    // colour settings, presets and a service description for three data files
    // sharing one service file, and one data file in the deep folder.
    enum Kind { kPreferences, kColour, kPreset, kService };
    struct Object {
        Kind kind;
        Store store;
        std::unique_ptr<ColorSettings> colour;
        std::unique_ptr<ReductionPreset, void (*)(ReductionPreset*)> preset{nullptr, nullptr};
        PreferencesRecord preferences;
        ServiceDescription service;
        bool saved = false;
    };
    std::vector<Object> objects;
    auto add = [&](Kind kind, const std::string& path, const std::string& name, uint32_t flags) {
        Object& o = objects.emplace_back();
        o.kind = kind;
        o.store = {path, name};
        if (kind == kColour) {
            o.colour = std::make_unique<ColorSettings>();
            o.colour->flags = flags;
        }
        if (kind == kPreset) {
            o.preset = {ReductionPreset::Create(), [](ReductionPreset* p) { p->Release(); }};
            o.preset->flags = flags;
        }
    };
    add(kPreferences, cfg, cfg, 0);
    add(kColour, cfg, cfg, 0);
    add(kPreset, cfg, cfg, 1u << 16);
    add(kPreset, cfg, cfg, 2u << 16);
    for (int i = 0; i < 3; ++i) {
        const std::string name = DataName(bytes, stem, false);
        add(kColour, fsShallow, name, 0);
        add(kPreset, fsShallow, name, 0);
        add(kService, fsShallow, name, 0);
    }
    const std::string deepName = DataName(bytes, stem, true);
    add(kColour, fsDeep, deepName, 0);
    add(kService, fsDeep, deepName, 0);

    // New values for an object.
    auto change = [&](Object& o) {
        switch (o.kind) {
            case kPreferences: {
                PreferencesRecord& r = o.preferences;
                char* PreferencesRecord::*folders[] = {&PreferencesRecord::defaultFolder,
                                                       &PreferencesRecord::projectFolder,
                                                       &PreferencesRecord::loadFolder, &PreferencesRecord::saveFolder,
                                                       &PreferencesRecord::loadMaskFolder};
                for (auto field : folders) {
                    std::free(r.*field);
                    r.*field = nullptr;
                    // Folders end in "/"; an empty one stays empty.
                    if (bytes.Below(5) == 0) continue;
                    std::string text = bytes.Text(8192);
                    if (!text.empty() && text.back() != '/') text += '/';
                    r.*field = strdup(text.c_str());
                }
                r.createNewProject = bytes.Below(2);
                r.fsBackup = bytes.Below(2);
                break;
            }
            case kColour:
                ASSERT_TRUE(o.colour->LoadUserPalette(Palette(bytes).c_str()));
                o.colour->qbits = bytes.Below(9);
                break;
            case kPreset: {
                ReductionOptions& options = o.preset->options;
                options.SetName(bytes.Text(8192).c_str());
                char* ReductionOptions::*files[] = {&ReductionOptions::sliceFileNameWeighCoeff,
                                                    &ReductionOptions::sliceFileNameProfileCoeff,
                                                    &ReductionOptions::statFileNameWeighCoeff};
                for (auto field : files) {
                    std::free(options.*field);
                    const std::string text = bytes.Text(8192);
                    options.*field = text.empty() ? nullptr : strdup(text.c_str());
                }
                options.values.nChannel = 1 + bytes.Below(100);
                break;
            }
            case kService:
                o.service.sizeX = 1 + bytes.Below(100000);
                o.service.sizeY = 1 + bytes.Below(100000);
                break;
        }
    };
    auto save = [&](Object& o) {
        switch (o.kind) {
            case kPreferences: {
                PreferencesRecord copy;
                for (auto [to, from] : {std::pair{&copy.defaultFolder, o.preferences.defaultFolder},
                                        {&copy.projectFolder, o.preferences.projectFolder},
                                        {&copy.loadFolder, o.preferences.loadFolder},
                                        {&copy.saveFolder, o.preferences.saveFolder},
                                        {&copy.loadMaskFolder, o.preferences.loadMaskFolder}})
                    *to = from != nullptr ? strdup(from) : nullptr;
                copy.createNewProject = o.preferences.createNewProject;
                copy.fsBackup = o.preferences.fsBackup;
                TheCUI().preferences = std::move(copy);
                return WritePreferences(&TheCUI(), o.store.name.c_str());
            }
            case kColour: return o.colour->Write(o.store.name.c_str());
            case kPreset: return o.preset->Save(o.store.name.c_str());
            case kService: return SaveServiceDescription(&o.service, o.store.name.c_str(), nullptr, false);
        }
        return false;
    };
    auto text = [](const char* t) { return std::string(t != nullptr ? t : "(none)"); };
    auto expectReadsBack = [&](Object& o, const std::string& what) {
        switch (o.kind) {
            case kPreferences: {
                TheCUI().preferences.Reset();
                ASSERT_TRUE(ReadPreferences(&TheCUI(), o.store.name.c_str())) << what;
                const PreferencesRecord& r = TheCUI().preferences;
                EXPECT_EQ(text(r.defaultFolder), text(o.preferences.defaultFolder)) << what;
                EXPECT_EQ(text(r.projectFolder), text(o.preferences.projectFolder)) << what;
                EXPECT_EQ(text(r.loadFolder), text(o.preferences.loadFolder)) << what;
                EXPECT_EQ(text(r.saveFolder), text(o.preferences.saveFolder)) << what;
                EXPECT_EQ(text(r.loadMaskFolder), text(o.preferences.loadMaskFolder)) << what;
                EXPECT_EQ(r.createNewProject, o.preferences.createNewProject) << what;
                EXPECT_EQ(r.fsBackup, o.preferences.fsBackup) << what;
                break;
            }
            case kColour: {
                ColorSettings read;
                read.flags = o.colour->flags;
                ASSERT_TRUE(read.Read(o.store.name.c_str())) << what;
                EXPECT_EQ(read.paletteName, o.colour->paletteName) << what;
                EXPECT_TRUE(read.HasUserPalette()) << what;
                EXPECT_EQ(read.qbits, o.colour->qbits) << what;
                break;
            }
            case kPreset: {
                std::unique_ptr<ReductionPreset, void (*)(ReductionPreset*)> read{
                    ReductionPreset::Create(), [](ReductionPreset* p) { p->Release(); }};
                read->flags = o.preset->flags;
                ASSERT_TRUE(read->Load(o.store.name.c_str())) << what;
                const ReductionOptions &a = read->options, &b = o.preset->options;
                EXPECT_EQ(text(a.name), text(b.name)) << what;
                EXPECT_EQ(text(a.sliceFileNameWeighCoeff), text(b.sliceFileNameWeighCoeff)) << what;
                EXPECT_EQ(text(a.sliceFileNameProfileCoeff), text(b.sliceFileNameProfileCoeff)) << what;
                EXPECT_EQ(text(a.statFileNameWeighCoeff), text(b.statFileNameWeighCoeff)) << what;
                EXPECT_EQ(a.values.nChannel, b.values.nChannel) << what;
                break;
            }
            case kService: {
                ServiceDescription* read = nullptr;
                ASSERT_TRUE(LoadFsDescription(o.store.name.c_str(), nullptr, &read)) << what;
                EXPECT_EQ(read->sizeX, o.service.sizeX) << what;
                EXPECT_EQ(read->sizeY, o.service.sizeY) << what;
                delete read;
                break;
            }
        }
    };

    constexpr int kRounds = 300;
    for (int round = 0; round < kRounds; ++round) {
        // The first rounds save every object once, the others pick at random.
        Object& o = objects[round < static_cast<int>(objects.size()) ? round : bytes.Below(objects.size())];
        const std::string what = "round " + std::to_string(round) + ", object " + std::to_string(&o - objects.data());
        change(o);
        if (HasFailure()) return;
        struct stat there;
        const std::string before = stat(o.store.path.c_str(), &there) == 0 ? ReadText(o.store.path) : std::string();
        ASSERT_TRUE(save(o)) << what;
        const std::string once = ReadText(o.store.path);
        // Saved again unchanged: the same file, so its size is stable from the first save on.
        ASSERT_TRUE(save(o)) << what;
        EXPECT_EQ(ReadText(o.store.path), once) << what << ": a second save changed the file";
        ExpectOthersKept(before, once, what);
        o.saved = true;
        for (Object& other : objects)
            if (other.saved) expectReadsBack(other, what + ", reading object " + std::to_string(&other - objects.data()));
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace orva
