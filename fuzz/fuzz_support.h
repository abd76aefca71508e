#pragma once
// What the reader fuzz targets share: the input as a file that a reader opens by
// name, one open of it through a format's open operation, a read of everything each
// data set holds, the bound on what an open may write to temporary files, and the small
// room the picture decoders get.
#include <dirent.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/path_name.h"
#include "io/data_set.h"
#include "io/formats/bmp/decoded_image.h"
#include "io/format_desc.h"
#include "io/frame_access.h"
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

// Keeps every data set an open hands over (at most 64).
class KeepAll : public InputReceiver {
public:
    ~KeepAll() override {
        for (DataSet* d : kept) d->Release();
    }
    int TakeDataSet(DataSet* d) override {
        if (kept.size() >= 64) return -14;
        d->AddRef();
        kept.push_back(d);
        return 2;
    }
    std::vector<DataSet*> kept;
};

// Reads every frame of the data set: every section and plane, whole, through windows of
// at most 64K pixels by as many rows as keep a window near 1 MB; then the statistics of
// every section. What the kernels answer does not matter, only that they stay in bounds.
inline void ReadEverything(DataSet* d) {
    TypedFrameBuffer image;
    const uint32_t frames = d->StepFrames();
    const int64_t width = std::max<int64_t>(1, d->cropSizeX), height = std::max<int64_t>(1, d->cropSizeY);
    const int64_t depth = std::max<int64_t>(1, d->cropSizeZ);
    const int64_t values = std::max<uint32_t>(1, d->InputChannels());
    const int64_t band = std::min<int64_t>(width, 0x10000);
    const int64_t rows = std::max<int64_t>(1, (int64_t{1} << 20) / (band * values * 8));
    for (uint32_t f = 0; f < frames; ++f) {
        d->SelectPosition(static_cast<int32_t>(f), 0);
        const int32_t sections = d->sectionsInFrame > 0 ? d->sectionsInFrame : 1;
        for (int32_t s = 0; s < sections; ++s) {
            for (int64_t z = 0; z < depth; ++z)
                for (int64_t y = 0; y < height; y += rows)
                    for (int64_t x = 0; x < width; x += band) {
                        image.SetTypeAndCount(0x40, 1);
                        ReadWindow w{static_cast<int32_t>(f), s, x, y,
                                     static_cast<int32_t>(std::min(band, width - x)),
                                     static_cast<int32_t>(std::min(rows, height - y)), z, 1, 0};
                        d->ReadWindowData(&image, &w);
                    }
            SectionStatistics record;
            d->statisticsKernel(d, MapFrameByStep(*d, f), static_cast<uint32_t>(s), &record, 1, 0);
        }
    }
}

// ---- The room of the picture decoders ----------------------------------------------------

// The private temporary folder of this run ("" until made).
inline std::string& PrivateTempFolder() {
    static std::string folder;
    return folder;
}

inline void RemovePrivateTempFolder() {
    // Empty unless a run already failed for a file left behind.
    if (!PrivateTempFolder().empty()) rmdir(PrivateTempFolder().c_str());
}

// Gives the decoders the room of a small machine through the settings the program reads:
// a private temporary folder as $TMPDIR, a decode budget of `budgetBytes` (the memory of a
// decode and the largest decoded picture) and, as a last guard, no file beyond
// `fileBytes`. The readers' own checks then refuse what does not fit, quickly.
inline void UseSmallDecodingRoom(uint64_t budgetBytes, uint64_t fileBytes) {
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orva_fuzz_XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) __builtin_trap();
    PrivateTempFolder() = folder;
    std::atexit(&RemovePrivateTempFolder);
    setenv("TMPDIR", folder.c_str(), 1);
    TheDecodeBudget() = DecodeBudget{static_cast<int64_t>(budgetBytes), budgetBytes};
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > fileBytes)) {
        limit.rlim_cur = fileBytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}

// A decoded file is unlinked as soon as it is open: nothing may stay in the folder.
inline void CheckNothingLeft() {
    if (PrivateTempFolder().empty()) return;
    DIR* dir = opendir(PrivateTempFolder().c_str());
    if (dir == nullptr) __builtin_trap();
    int entries = 0;
    while (dirent* e = readdir(dir))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++entries;
    closedir(dir);
    if (entries != 0) __builtin_trap();
}

// An open may write to temporary files 64 bytes per input byte and 1 MiB, and, when it
// succeeded, `allowance` besides: the size of a complete picture that legitimately
// decodes to more than its bytes (a run-length picture that ends with its end-of-bitmap
// code, a JPEG picture). More fails the run.
inline void CheckTemporaryBytes(uint64_t before, size_t inputSize, bool opened, uint64_t allowance) {
    const uint64_t written = StreamTemporaryBytesWritten() - before;
    if (written > 64 * static_cast<uint64_t>(inputSize) + (1u << 20) + (opened ? allowance : 0)) __builtin_trap();
}

// Opens the file at `path` (`size` bytes of fuzz input) with each of the open
// operations as a format of the given tag, reads everything it opened and checks what
// the open wrote.
template <typename... Open>
void OpenPathAs(const char* path, size_t size, const char* tag, uint64_t allowance, Open... opens) {
    PathName name;
    if (name.Set(path) != 2) return;
    static FormatDesc desc;
    desc.tag = MakeFormatTag(tag);
    for (FormatOpenFn open : {static_cast<FormatOpenFn>(opens)...}) {
        OpenRequest request;
        KeepAll keep;
        InputSource source;
        source.name = &name;
        source.request = &request;
        source.format = &desc;
        source.receiver = &keep;
        const uint64_t before = StreamTemporaryBytesWritten();
        const int r = open(&source);
        StreamClose(&source.stream);
        CheckTemporaryBytes(before, size, r >= 2, allowance);
        CheckNothingLeft();
        for (DataSet* d : keep.kept) ReadEverything(d);
    }
}

// The same for the input itself.
template <typename... Open>
void OpenAs(const uint8_t* data, size_t size, const char* tag, uint64_t allowance, Open... opens) {
    FuzzFile file(data, size);
    if (file.Ok()) OpenPathAs(file.Path(), size, tag, allowance, opens...);
}

}  // namespace orva::fuzz
