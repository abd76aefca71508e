// The preferences section of orvaext.cfg through ReadPreferences and WritePreferences.
// Input: a mode byte, then
//  - mode bit 0 clear: a settings file, read and written as settings_fuzz.h describes;
//  - mode bit 0 set: a flags word of two bytes and the five folder texts (split at NUL
//    bytes), written into a file and read back.
//
// What must hold besides settings_fuzz.h: every folder and flag written reads back as it
// was (a folder with a "/" at its end, as folders are read), whatever bytes it holds.
// Texts too long for a path are left out of the read-back check: a file that reads to
// such folders is only read and written.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "app/cui.h"
#include "app/preferences.h"
#include "common/paths.h"
#include "fuzz/settings_fuzz.h"

namespace {

using namespace orva;

// The record reads into and writes from the user interface object, as the program's.
struct PreferencesOps {
    static constexpr bool kUrl = false;
    static PreferencesRecord* Make() { return new PreferencesRecord; }
    static void Drop(PreferencesRecord* r) { delete r; }
    static bool Read(PreferencesRecord* r, const char* name) {
        TheCUI().preferences = std::move(*r);
        const bool ok = ReadPreferences(&TheCUI(), name);
        *r = std::move(TheCUI().preferences);
        return ok;
    }
    static bool Write(PreferencesRecord* r, const char* name) {
        TheCUI().preferences = std::move(*r);
        const bool ok = WritePreferences(&TheCUI(), name);
        *r = std::move(TheCUI().preferences);
        return ok;
    }
};

char* PreferencesRecord::*const kFolders[] = {&PreferencesRecord::defaultFolder, &PreferencesRecord::projectFolder,
                                              &PreferencesRecord::loadFolder, &PreferencesRecord::saveFolder,
                                              &PreferencesRecord::loadMaskFolder};
uint8_t PreferencesRecord::*const kFlags[] = {
    &PreferencesRecord::createNewProject, &PreferencesRecord::useDefaultFolders, &PreferencesRecord::ieee754Detect,
    &PreferencesRecord::detectUnsignUseMin, &PreferencesRecord::detectUnsignInt, &PreferencesRecord::calcStatistic,
    &PreferencesRecord::loadByteswap, &PreferencesRecord::saveSwitchWrkMode, &PreferencesRecord::fsSave,
    &PreferencesRecord::siShortExt, &PreferencesRecord::fsBackup, &PreferencesRecord::dataBackup};

// Folders are paths: the reader takes texts shorter than a path may be.
bool Quotable(const std::string& text) {
    return text.size() + 2 < kPathMax;
}

void RoundTrip(fuzz::InputParts in) {
    const uint16_t flags = static_cast<uint16_t>(in.Byte() | (in.Byte() << 8));
    PreferencesRecord* written = PreferencesOps::Make();
    bool checked = true;
    for (auto field : kFolders) {
        // Bit 15 leaves the folders unset.
        if (in.n == 0 || (flags & 0x8000)) break;
        const std::string text = in.Text(0, 8192);
        checked = checked && Quotable(text);
        written->*field = strdup(text.c_str());
    }
    int bit = 0;
    for (auto flag : kFlags) written->*flag = (flags >> bit++) & 1;
    // Shared folders would hide the others.
    written->useDefaultFolders = 0;

    const std::string path = fuzz::PrivateFile("p.cfg");
    unlink(path.c_str());
    if (!PreferencesOps::Write(written, path.c_str())) {
        fuzz::Require(!checked, "preferences are written");
        PreferencesOps::Drop(written);
        unlink(path.c_str());
        return;
    }
    PreferencesRecord* back = PreferencesOps::Make();
    // Every folder of the default record is unset, every flag differs from the written one.
    for (auto flag : kFlags) back->*flag = !(written->*flag);
    const bool read = PreferencesOps::Read(back, path.c_str());
    if (checked) {
        fuzz::Require(read, "written preferences read");
        for (auto flag : kFlags) fuzz::Require(back->*flag == written->*flag, "a flag reads back");
        for (auto field : kFolders) {
            const char* a = written->*field;
            const char* b = back->*field;
            if (std::getenv("ORVA_FUZZ_DUMP") != nullptr)
                std::fprintf(stderr, "--- file\n%s--- written [%s] read [%s]\n", fuzz::ReadWhole(path).c_str(),
                             a ? a : "(null)", b ? b : "(null)");
            // A folder reads back ending in "/" (the reader's rule for folders).
            std::string expected = a != nullptr ? a : "";
            if (!expected.empty() && expected.back() != '/') expected += '/';
            fuzz::Require(expected.empty() ? (b == nullptr || *b == '\0' || std::strcmp(b, "/") == 0)
                                           : (b != nullptr && expected == b),
                          "a folder reads back");
        }
    }
    PreferencesOps::Drop(back);
    PreferencesOps::Drop(written);
    unlink(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        RoundTrip(fuzz::InputParts{data + 1, size - 1});
        fuzz::CheckOnlyFiles({});
        return 0;
    }
    // A file whose folders the writer cannot quote yet is read and written, unchecked.
    const std::string path = fuzz::PrivateFile("q.cfg");
    if (!fuzz::WriteWhole(path, data + 1, size - 1)) __builtin_trap();
    PreferencesRecord* r = PreferencesOps::Make();
    bool quotable = true;
    if (PreferencesOps::Read(r, path.c_str())) {
        for (auto field : kFolders) quotable = quotable && (r->*field == nullptr || Quotable(r->*field));
        if (!quotable) PreferencesOps::Write(r, path.c_str());
    }
    PreferencesOps::Drop(r);
    unlink(path.c_str());
    return quotable ? fuzz::FuzzSettings<PreferencesOps>(data + 1, size - 1) : 0;
}
