// Opens the input as a bitmap: headers, palette, every pixel decoder and the decoded
// file, through to the data set.

#include <cstddef>
#include <cstdint>

#include <cstdlib>

#include "fuzz/fuzz_support.h"

#include "io/formats/bmp/bmp_reader.h"

namespace {

int64_t Abs32(const uint8_t* p) {
    const int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                           (static_cast<uint32_t>(p[2]) << 16) |
                                           (static_cast<uint32_t>(p[3]) << 24));
    return v < 0 ? -static_cast<int64_t>(v) : v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    // Run-length images may legitimately expand a few bytes into any size: keep the
    // decoded image small so that a run stays quick.
    if (size >= 26) {
        const bool os2 = data[14] == 12 && data[15] == 0 && data[16] == 0 && data[17] == 0;
        const int64_t w = os2 ? (data[18] | (data[19] << 8)) : Abs32(data + 18);
        const int64_t h = os2 ? (data[20] | (data[21] << 8)) : Abs32(data + 22);
        if (w * h > (1 << 22)) return 0;
    }
    fuzz::OpenAs(data, size, "BMP", &BmpOpen);
    return 0;
}
