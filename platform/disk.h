#pragma once
// Free space of the file system that holds a path, and removing big files.
#include <cstdint>
#include <string>

namespace orva::platform {

// Bytes free for an unprivileged caller, total bytes and bytes free in total on the file
// system holding `path`. Any output may be null. False (outputs untouched) on failure.
bool DiskFreeSpace(const char* path, uint64_t* freeToCaller, uint64_t* total, uint64_t* totalFree);

// The folder on which the file system holding `path` is mounted ("/" for the root file
// system): the highest folder above the path's real location that lies on the same
// device. False (out untouched) when the path cannot be resolved.
bool MountPoint(const char* path, std::string* out);

// Removes the name `path` at once (unlink). When it names a big regular file, the file
// stays open until a background thread closes it, so that the file system gives its
// blocks back there: replacing a large output then does not wait for that. False with
// errno set when the name could not be removed.
bool RemoveFileReleasingLater(const char* path);

}  // namespace orva::platform
