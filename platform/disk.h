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

// What the mount table tells of the file system holding a path.
struct MountDescription {
    std::string mountPoint;  // the longest mount point above the path's real location
    std::string fsType;      // "ext4", "tmpfs", "nfs4", ...
    std::string source;      // the mounted device or share ("/dev/sda1", "server:/export")
    std::string label;       // the volume label of a block device; empty when it has none
    bool removable = false;  // the block device (or the disk of its partition) is removable
};

// Fills `out` from a mount table in the form of /proc/self/mountinfo for a path that is
// already real (absolute, links resolved): the entry with the longest mount point that
// holds the path, the last one mounted where several share it. The label and removable
// flag are left as they are. False when no entry holds the path.
bool MountFromTable(const std::string& table, const std::string& realPath, MountDescription* out);

// The same from this process's mount table for any path that resolves, with the label
// from /dev/disk/by-label and the removable flag from /sys/dev/block (a partition asks
// its disk). False (out untouched) when the path does not resolve or no entry holds it.
bool DescribeMount(const char* path, MountDescription* out);

// Removes the name `path` at once (unlink). When it names a big regular file, the file
// stays open until a background thread closes it, so that the file system gives its
// blocks back there: replacing a large output then does not wait for that. False with
// errno set when the name could not be removed.
bool RemoveFileReleasingLater(const char* path);

// Renames `from` over `to` in one step (a rename that fails leaves both as they were).
// When `to` named a big regular file without other names, the file stays open until a
// background thread closes it, as above: the rename then does not wait for the file system
// to free the replaced file's blocks. False with errno set when the rename failed.
bool ReplaceFileReleasingLater(const char* from, const char* to);

}  // namespace orva::platform
