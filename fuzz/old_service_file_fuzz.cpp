// Old service files: any file read as the old service file of a data file, and what a
// description read from it is written as.
//
// What must hold: a description that loads is written, and the written file loads
// again to a description that is written the same way; nothing but the files is left
// in the folder.
#include <unistd.h>

#include <string>

#include "fuzz/text_fuzz_support.h"
#include "io/old_service_file.h"
#include "io/service_description.h"

namespace {

using namespace orva;

// Loads the old service file of the data file `data`, or nullptr.
ServiceDescription* Load(const std::string& data) {
    ServiceDescription* d = nullptr;
    if (!LoadOldServiceDescription(data.c_str(), &d)) return nullptr;
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string data = fuzz::PrivateFile("d.fit");
    if (!fuzz::WriteWhole(fuzz::PrivateFile("d.%fit"), bytes, size)) __builtin_trap();
    ServiceDescription* first = Load(data);
    if (first != nullptr) {
        const std::string copy = fuzz::PrivateFile("e.fit"), again = fuzz::PrivateFile("f.fit");
        fuzz::Require(writeOldServisFile(first, copy.c_str(), false), "a loaded description is written");
        ServiceDescription* second = Load(copy);
        fuzz::Require(second != nullptr, "a written description loads");
        fuzz::Require(writeOldServisFile(second, again.c_str(), false), "a reloaded description is written");
        fuzz::Require(fuzz::ReadWhole(fuzz::PrivateFile("e.%fit")) == fuzz::ReadWhole(fuzz::PrivateFile("f.%fit")),
                      "a reloaded description is written the same way");
        fuzz::CheckOnlyFiles({"d.%fit", "e.%fit", "f.%fit"});
        delete second;
        delete first;
        unlink(fuzz::PrivateFile("e.%fit").c_str());
        unlink(fuzz::PrivateFile("f.%fit").c_str());
    }
    fuzz::CheckOnlyFiles({"d.%fit"});
    return 0;
}
