// Opens the input as a JPEG file through libjpeg into the decoded file and the data set,
// whose every frame is read back. Whatever size a frame header promises (up to 65500 x
// 65500 from a few bytes) reaches the reader, which refuses what its decode budget and
// temporary folder cannot take. A picture that opened may have written its own size to
// the temporary folder (compressed data can legitimately be that small); one that was
// refused only what its bytes justify.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "io/formats/jpeg/jpeg_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orva::fuzz::UseSmallDecodingRoom(16u << 20, 32u << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    uint64_t allowance = 0;
    for (size_t i = 0; i + 9 < size; ++i)
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
            data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
            const uint64_t h = (data[i + 5] << 8) | data[i + 6];
            const uint64_t w = (data[i + 7] << 8) | data[i + 8];
            allowance = std::max<uint64_t>(allowance, w * h * 3);
        }
    fuzz::OpenAs(data, size, "JPEG", allowance, &JpegOpen);
    return 0;
}
