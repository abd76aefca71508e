// Opens a raw file beside its service description as the program does, so that the
// positions the layout merge sees are the ones a real open gives (kept inside the file).
// The input is the description's key lines up to the first zero byte, then the file's
// bytes. Sizes, positions, crop box, sample types and bit counts, sections and frames of
// the description are checked and fitted to the file; every frame is read back.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "io/formats/binary/raw_reader.h"
#include "io/service_description.h"

namespace {

std::string gFolder;

void RemoveFolder() {
    if (gFolder.empty()) return;
    std::remove((gFolder + "/f.dat").c_str());
    std::remove((gFolder + "/f.fs").c_str());
    rmdir(gFolder.c_str());
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
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
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t keyBytes = zero ? static_cast<size_t>(zero - data) : size;
    const size_t skip = zero ? keyBytes + 1 : size;
    const std::string file = gFolder + "/f.dat";
    const std::string keys(reinterpret_cast<const char*>(data), keyBytes);
    const std::string script = "SEL(URL=\"" + file + "\")\n{\n [{" + ServiceSectionName() + "}]\n" + keys + "\n}\n";
    if (!WriteFile(file, data + skip, size - skip) || !WriteFile(gFolder + "/f.fs", script.data(), script.size()))
        return 0;
    fuzz::OpenPathAs(file.c_str(), size, "BINARY", 0, &BinaryOpen);
    return 0;
}
