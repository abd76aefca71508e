// Opens a raw file beside its service description as the program does, so that the
// positions the layout merge sees are the ones a real open gives (kept inside the file).
// The input is the description's key lines up to the first zero byte, then the file's
// bytes (fuzz/raw_description_input.h). Sizes, positions, crop box, sample types and bit
// counts, sections and frames of the description are checked and fitted to the file;
// every frame is read back.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "fuzz/raw_description_input.h"
#include "io/formats/binary/raw_reader.h"
#include "io/service_description.h"

namespace {

std::string gFolder;

void RemoveFolder() {
    if (gFolder.empty()) return;
    std::remove((gFolder + "/" + orva::fuzz::kRawDataName).c_str());
    std::remove((gFolder + "/" + orva::fuzz::kRawDescriptionName).c_str());
    rmdir(gFolder.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    if (gFolder.empty()) {
        // The folder of temporary files the caller chose (a fuzzing run keeps its files
        // off a small /tmp), else /tmp.
        const char* base = std::getenv("TMPDIR");
        std::string folder = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orva_raw_fuzz_XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) return 0;
        gFolder = folder;
        std::atexit(&RemoveFolder);
    }
    if (!fuzz::WriteRawDescribedInput(gFolder, data, size)) return 0;
    const std::string file = gFolder + "/" + fuzz::kRawDataName;
    fuzz::OpenPathAs(file.c_str(), size, "BINARY", 0, &BinaryOpen);
    return 0;
}
