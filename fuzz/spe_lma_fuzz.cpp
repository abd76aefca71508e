// Parses the input's first 4100 bytes as an SPE header, then opens the input through
// the SPE and the LMA readers into data sets.

#include <cstddef>
#include <cstdint>

#include <vector>

#include "fuzz/fuzz_support.h"

#include "io/formats/spe/spe_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    if (size >= static_cast<size_t>(kSpeHeaderSize)) {
        FileLayout layout;
        SpeParseHeader(&layout, data, static_cast<int64_t>(size), "fuzz");
    }
    fuzz::OpenAs(data, size, "SPE WINV", 0, &SpeOpen, &LmaOpen);
    return 0;
}
