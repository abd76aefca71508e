#include "platform/disk.h"

#include <sys/statvfs.h>

#include <cstdint>

namespace orva::platform {

namespace {

uint64_t Bytes(uint64_t blocks, uint64_t blockSize) {
    uint64_t r = 0;
    if (__builtin_mul_overflow(blocks, blockSize, &r)) return UINT64_MAX;
    return r;
}

}  // namespace

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

}  // namespace orva::platform
