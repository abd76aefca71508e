// Runs a fuzz target once over every file of its corpus folders, as the fuzzer's own
// replay does, so that the corpus is checked in any sanitizer build without the fuzzer's
// runtime: each input in a heap block of its own size (a read past it is caught), an
// empty input first, the optional initialisation before. An input that makes the process
// hold more than the fuzzer's memory bound fails the run, as it would under the fuzzer.
//   <target>_replay FOLDER...
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// The fuzzer's default bound on the resident size, in MB.
constexpr long kRssLimitMb = 2048;

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    bytes->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Runs one input from a block of exactly its size; false when the process grew past the bound.
bool RunOne(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::fprintf(stderr, "input %s (%zu bytes)\n", name.c_str(), bytes.size());
    std::unique_ptr<uint8_t[]> block(new uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
    LLVMFuzzerTestOneInput(block.get(), bytes.size());
    struct rusage usage;
    if (getrusage(RUSAGE_SELF, &usage) == 0 && usage.ru_maxrss / 1024 > kRssLimitMb) {
        std::fprintf(stderr, "input %s: the process holds %ld MB, more than %ld MB\n", name.c_str(),
                     static_cast<long>(usage.ru_maxrss / 1024), kRssLimitMb);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], error))
            if (entry.is_regular_file()) files.push_back(entry.path().string());
        if (error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
    if (!RunOne("(empty)", {})) return 1;
    std::vector<uint8_t> bytes;
    for (const std::string& file : files) {
        if (!ReadWhole(file, &bytes)) {
            std::fprintf(stderr, "%s: cannot be read\n", file.c_str());
            return 2;
        }
        if (!RunOne(file, bytes)) return 1;
    }
    std::printf("%zu input(s) replayed\n", files.size());
    return 0;
}
