// Feeds a whole file to the slice, statistic and old vector readers, then reads
// every frame of every data set they built.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "io/formats/vector/vector_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    fuzz::OpenAs(data, size, "SLISE", 0, &SliceOpen, &StatisticOpen, &OldVectorOpen);
    return 0;
}
