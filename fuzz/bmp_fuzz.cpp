// Opens the input as a bitmap: headers, palette, every pixel decoder and the decoded
// file, through to the data set.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <cstdlib>

#include "common/path_name.h"
#include "io/formats/bmp/bmp_reader.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace {

// The fuzz input as a file a reader opens by name: an anonymous memory file reached
// through /proc/self/fd.
class FuzzFile {
public:
    FuzzFile(const uint8_t* data, size_t size) {
        fd_ = memfd_create("orva_fuzz", 0);
        if (fd_ < 0) return;
        size_t done = 0;
        while (done < size) {
            ssize_t n = write(fd_, data + done, size - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~FuzzFile() {
        if (fd_ >= 0) close(fd_);
    }
    FuzzFile(const FuzzFile&) = delete;
    FuzzFile& operator=(const FuzzFile&) = delete;
    bool Ok() const { return fd_ >= 0; }
    const char* Path() const { return path_.c_str(); }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace

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
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    PathName name;
    if (name.Set(file.Path()) != 2) return 0;
    static FormatDesc desc;
    desc.tag = MakeFormatTag("BMP");
    OpenRequest request;
    InputSource source;
    source.name = &name;
    source.request = &request;
    source.format = &desc;
    BmpOpen(&source);
    StreamClose(&source.stream);
    return 0;
}
