#pragma once
// Free space of the file system that holds a path, and removing big files.
#include <cstdint>

namespace orva::platform {

// Bytes free for an unprivileged caller, total bytes and bytes free in total on the file
// system holding `path`. Any output may be null. False (outputs untouched) on failure.
bool DiskFreeSpace(const char* path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);

// Removes the name `path` at once (unlink). When it names a big regular file, the file
// stays open until a background thread closes it, so that the file system gives its
// blocks back there: replacing a large output then does not wait for that. False with
// errno set when the name could not be removed.
bool RemoveFileReleasingLater(const char* path);

}  // namespace orva::platform
