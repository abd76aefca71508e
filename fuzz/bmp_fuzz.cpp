// Opens the input as a bitmap: headers, palette, every pixel decoder and the decoded
// file, through to the data set, whose every frame is read back. Whatever size a header
// declares reaches the reader, which refuses what its decode budget and temporary folder
// cannot take. What the open writes to the temporary folder must stay in proportion to
// the input, unless a run-length picture opened: then its own size bounds it (a few bytes
// that end with the end-of-bitmap code legitimately make a large picture).

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "io/formats/bmp/bmp_reader.h"

namespace {

uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int64_t Abs32(const uint8_t* p) {
    const int32_t v = static_cast<int32_t>(U32(p));
    return v < 0 ? -static_cast<int64_t>(v) : v;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // 2 MiB decode a picture of 700 x 700 at 32 bits, which reaches every decoder's
    // paths; a larger budget only lets each input fill more memory (and slows the run).
    orva::fuzz::UseSmallDecodingRoom(2u << 20, 4u << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    uint64_t allowance = 0;
    if (size >= 34) {
        const bool os2 = data[14] == 12 && data[15] == 0 && data[16] == 0 && data[17] == 0;
        const uint32_t compression = os2 ? 0 : U32(data + 30);
        if (compression == 1 || compression == 2)
            allowance = static_cast<uint64_t>(Abs32(data + 18)) * static_cast<uint64_t>(Abs32(data + 22)) * 3;
    }
    fuzz::OpenAs(data, size, "BMP", allowance, &BmpOpen);
    return 0;
}
