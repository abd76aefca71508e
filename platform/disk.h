#pragma once
// Free space of the file system that holds a path.
#include <cstdint>

namespace orva::platform {

// Bytes free for an unprivileged caller, total bytes and bytes free in total on the file
// system holding `path`. Any output may be null. False (outputs untouched) on failure.
bool DiskFreeSpace(const char* path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);

}  // namespace orva::platform
