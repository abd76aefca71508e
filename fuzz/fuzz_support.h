#pragma once
// What the reader fuzz targets share: the input as a file that a reader opens by
// name, and one open of it through a format's open operation.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/path_name.h"
#include "io/format_desc.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva::fuzz {

// The fuzz input as an anonymous memory file reached through /proc/self/fd.
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

// Opens the input with each of the open operations as a format of the given tag.
template <typename... Open>
void OpenAs(const uint8_t* data, size_t size, const char* tag, Open... opens) {
    FuzzFile file(data, size);
    if (!file.Ok()) return;
    PathName name;
    if (name.Set(file.Path()) != 2) return;
    static FormatDesc desc;
    desc.tag = MakeFormatTag(tag);
    for (FormatOpenFn open : {static_cast<FormatOpenFn>(opens)...}) {
        OpenRequest request;
        InputSource source;
        source.name = &name;
        source.request = &request;
        source.format = &desc;
        open(&source);
        StreamClose(&source.stream);
    }
}

}  // namespace orva::fuzz
