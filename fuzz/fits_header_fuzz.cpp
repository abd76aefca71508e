// Feeds a whole file to the FITS header parser and unit walk, and the header of
// every image unit found into the data description; then opens it as the reader does
// and reads every frame of every unit it opened.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "io/data_set_info.h"
#include "io/formats/fits/fits_reader.h"
#include "io/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    int fd = memfd_create("fits_header_fuzz", 0);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    StreamRecord record;
    record.fd = fd;
    record.length = static_cast<int64_t>(done);
    std::vector<std::unique_ptr<FitsReader>> units;
    FitsWalk(&record, record.length, &units, 64);
    for (auto& unit : units) {
        if (!unit->IsImageUnit() || unit->dataBytes <= 0 || unit->dataEnd > record.length) continue;
        DataSetInfo info;
        FitsHeaderCheck(unit.get(), &info, 2);
    }
    close(fd);
    fuzz::OpenAs(data, size, "FITS", 0, &FitsOpen);
    return 0;
}
