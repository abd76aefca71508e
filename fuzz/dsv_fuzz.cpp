// Opens the input as a file of the DSV reader: the descriptor is parsed and, when it names a data file, that file is opened through the raw reader.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "io/formats/text/text_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    fuzz::OpenAs(data, size, "DSV", 0, &DsvOpen);
    return 0;
}
