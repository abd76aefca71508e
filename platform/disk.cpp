#include "platform/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cerrno>
#include <cstdint>
#include <thread>

namespace orva::platform {

namespace {

uint64_t Bytes(uint64_t blocks, uint64_t blockSize) {
    uint64_t r = 0;
    if (__builtin_mul_overflow(blocks, blockSize, &r)) return UINT64_MAX;
    return r;
}

// Below this size freeing the blocks costs less than starting a thread.
constexpr off_t kReleaseLaterBytes = 4 << 20;

}  // namespace

bool RemoveFileReleasingLater(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        errno = ENOENT;
        return false;
    }
    int fd = -1;
    struct stat st;
    if (::lstat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kReleaseLaterBytes) {
        fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) fd = ::open(path, O_PATH | O_CLOEXEC | O_NOFOLLOW);
    }
    if (::unlink(path) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        errno = error;
        return false;
    }
    if (fd >= 0) {
        try {
            std::thread([fd] { ::close(fd); }).detach();
        } catch (...) {
            ::close(fd);
        }
    }
    return true;
}

bool DiskFreeSpace(const char* path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree) {
    if (path == nullptr || path[0] == '\0') return false;
    struct statvfs st;
    if (::statvfs(path, &st) != 0) return false;
    uint64_t unit = st.f_frsize != 0 ? st.f_frsize : st.f_bsize;
    if (freeToCaller) *freeToCaller = Bytes(st.f_bavail, unit);
    if (total) *total = Bytes(st.f_blocks, unit);
    if (totalFree) *totalFree = Bytes(st.f_bfree, unit);
    return true;
}

bool MountPoint(const char* path, std::string* out) {
    if (path == nullptr || path[0] == '\0' || out == nullptr) return false;
    char* real = ::realpath(path, nullptr);
    if (real == nullptr) return false;
    std::string at(real);
    std::free(real);
    struct stat st;
    if (::stat(at.c_str(), &st) != 0) return false;
    // A file's own device is its folder's.
    if (!S_ISDIR(st.st_mode)) {
        const size_t slash = at.rfind('/');
        at.resize(slash == 0 || slash == std::string::npos ? 1 : slash);
    }
    const dev_t device = st.st_dev;
    while (at != "/") {
        const size_t slash = at.rfind('/');
        const std::string parent = slash == 0 || slash == std::string::npos ? std::string("/") : at.substr(0, slash);
        struct stat up;
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != device) break;
        at = parent;
    }
    *out = at;
    return true;
}

}  // namespace orva::platform
