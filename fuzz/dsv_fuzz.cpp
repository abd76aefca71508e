// Opens the input as a file of the DSV reader: the descriptor is parsed and, when it names a data file, that file is opened through the raw reader.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/path_name.h"
#include "io/formats/text/text_reader.h"
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    PathName name;
    if (name.Set(file.Path()) != 2) return 0;
    static FormatDesc desc;
    desc.tag = MakeFormatTag("DSV");
    OpenRequest request;
    InputSource source;
    source.name = &name;
    source.request = &request;
    source.format = &desc;
    DsvOpen(&source);
    StreamClose(&source.stream);
    return 0;
}
