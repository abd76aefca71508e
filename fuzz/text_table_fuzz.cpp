// Opens the input as a file of the Text reader: the table is parsed into the private value file and served as a data set.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "io/formats/text/text_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    fuzz::OpenAs(data, size, "BINARY", 0, &TextOpen);
    return 0;
}
