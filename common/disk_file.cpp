#include "common/disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"

namespace orva {

namespace {

bool StatvfsDriveQuery(const char* folder, DriveStatus* out) {
    struct statvfs st;
    if (::statvfs(folder, &st) != 0) return false;
    out->readOnly = (st.f_flag & ST_RDONLY) != 0;
    // Root may use the reserved blocks too.
    out->freeBlocksForCaller = ::geteuid() == 0 ? st.f_bfree : st.f_bavail;
    return true;
}

DriveStatusQuery g_driveQuery = StatvfsDriveQuery;

// The folder holding a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// The path with an extension longer than a dot and three characters cut after
// those three; "" when the extension is not that long.
std::string ShortExtensionName(const std::string& path) {
    size_t extension = PathExtensionLength(path.c_str());
    if (extension <= 4) return std::string();
    return path.substr(0, path.size() - extension + 4);
}

const char* ModeText(uint32_t mode) {
    bool plus = (mode & (kDiskRead | kDiskUpdate)) != 0;
    if (mode & kDiskAppend) return plus ? "a+" : "a";
    if ((mode & (kDiskRead | kDiskUpdate | kDiskWrite)) == 0) return "r";
    if (mode & kDiskWrite) return plus ? "w+" : "w";
    return (mode & kDiskUpdate) ? "r+" : "r";
}

bool WriteAll(int fd, const unsigned char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Copies the whole content of `source` into the open descriptor and syncs it.
bool CopyInto(const std::string& source, int fd) {
    int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    std::vector<unsigned char> buffer(1 << 16);
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) {
            ok = false;
            break;
        }
    }
    int saved = errno;
    ::close(in);
    if (ok && ::fsync(fd) != 0) ok = false;
    if (!ok) errno = saved ? saved : EIO;
    return ok;
}

// Puts a complete copy of `source` under `target`, atomically, in the target's
// folder: the copy is written to a fresh name there, synced and renamed. The
// target is untouched when anything fails. With `allowLink`, a hard link
// replaces the copy (only right when the source itself is never rewritten in place).
bool PlaceCopy(const std::string& source, const std::string& target, bool allowLink) {
    std::string folder = FolderOf(target);
    std::string pattern = (folder == "/" ? std::string() : folder) + "/.orvXXXXXX";
    if (pattern.size() >= kPathMax) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = false;
    if (allowLink) {
        ::close(fd);
        fd = -1;
        ::unlink(name.data());
        ok = ::link(source.c_str(), name.data()) == 0;
        if (!ok) {
            fd = ::open(name.data(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) return false;
        }
    }
    if (!ok) {
        ok = CopyInto(source, fd);
        struct stat st;
        if (ok && ::stat(source.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    }
    if (fd >= 0) ::close(fd);
    if (ok && ::rename(name.data(), target.c_str()) != 0) ok = false;
    if (!ok) {
        int saved = errno;
        ::unlink(name.data());
        errno = saved;
    }
    return ok;
}

void SyncFolder(const std::string& path) {
    int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A new file gets the permissions a plain create would give (0666 less the
// umask); a replaced file keeps its own.
void TakeTargetPermissions(const std::string& temp, const std::string& target) {
    ::chmod(temp.c_str(), ReplacementFileMode(target.c_str()));
}

}  // namespace

FILE* OpenRegularFile(const char* path, const char* mode, bool* notRegular) {
    if (notRegular) *notRegular = false;
    if (path == nullptr || *path == '\0') {
        errno = ENOENT;
        return nullptr;
    }
    // Without O_NONBLOCK the open of a FIFO would wait for a writer for ever.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int saved = errno;
        ::close(fd);
        if (notRegular) *notRegular = true;
        errno = saved != 0 ? saved : EINVAL;
        return nullptr;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return stream;
}

std::string ResolveLinks(const std::string& path) {
    std::string current = path;
    // The kernel's own limit on links followed in one look-up.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buffer[kPathMax];
        ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return current;
        std::string target(buffer, static_cast<size_t>(n));
        if (target[0] != '/') {
            size_t slash = current.rfind('/');
            if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
        }
        current = std::move(target);
    }
    return current;
}

void SetDriveStatusQuery(DriveStatusQuery query) {
    g_driveQuery = query ? query : StatvfsDriveQuery;
}

DiskFile::DiskFile(const char* path, uint32_t mode) { SetPath(path, mode); }

DiskFile::~DiskFile() { Close(); }

bool DiskFile::SetPath(const char* path, uint32_t mode) {
    if (path != nullptr && path[0] != '\0' && (!hasPath_ || path_ != path)) {
        if (std::strlen(path) >= kPathMax) {
            // Refused, never cut: a shortened name would be another file.
            accepted_ = false;
            state_ = kErrLimit;
            return false;
        }
        Close();
        tempName_.clear();
        path_ = path;
        hasPath_ = true;
    }
    if (mode != 0) {
        if (mode & kDiskUpdate) mode &= ~kDiskRead;
        if (mode & kDiskAppend) {
            if (mode & kDiskTemp)
                mode = (mode & ~kDiskAppend) | kDiskWrite;
            else
                mode &= ~kDiskWrite;
        }
        if (stream_ != nullptr && ((mode ^ mode_) & kDiskReopenBits) != 0) Close();
        mode_ = mode;
    }
    if (state_ != kResultReady) {
        if (stream_) std::clearerr(stream_);
        state_ = kResultReady;
    }
    accepted_ = false;
    if (DiskModeWrites(mode_) && hasPath_) {
        DriveStatus status;
        if (g_driveQuery(FolderOf(path_).c_str(), &status) &&
            (status.readOnly || status.freeBlocksForCaller == 0)) {
            state_ = kErrDrive;
            // The reason, for whoever tells the user.
            errno = status.readOnly ? EROFS : ENOSPC;
            return false;
        }
    }
    state_ = kResultReady;
    return true;
}

bool DiskFile::OpenStream(const char* name) {
    if (!DiskModeWrites(mode_)) {
        bool notRegular = false;
        stream_ = OpenRegularFile(name, ModeText(mode_), &notRegular);
        if (stream_ == nullptr) state_ = notRegular ? kErrCantRead : ErrnoToError();
        return stream_ != nullptr;
    }
    stream_ = std::fopen(name, ModeText(mode_));
    if (stream_ == nullptr) state_ = ErrnoToError();
    return stream_ != nullptr;
}

template <typename Body>
bool DiskFile::RunBody(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    state_ = kErrOutOfMemory;
    return false;
}

bool DiskFile::Open(const char* path, uint32_t mode) {
    if (!SetPath(path, mode)) {
        OnFailed();
        return false;
    }
    // Never leak a stream that is still open for the same path and mode.
    if (stream_ != nullptr) Close();
    if (!hasPath_) {
        state_ = kErrNoFile;
        OnFailed();
        return false;
    }
    bool writes = DiskModeWrites(mode_);
    if (writes && (mode_ & kDiskTemp)) {
        // Through a link, the copy is made beside the file the link names and replaces
        // that file; a target that is no regular file (a device, a FIFO) is never replaced.
        const std::string target = ResolveLinks(path_);
        struct stat st;
        if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            state_ = kErrCantWrite;
            OnFailed();
            return false;
        }
        // A missing folder fails like the open would; the temporary folder is
        // only a fall-back for a folder that exists but refuses new files.
        int folderError = ::stat(FolderOf(target).c_str(), &st) != 0 ? errno
                          : S_ISDIR(st.st_mode)                       ? 0
                                                                      : ENOTDIR;
        if (folderError != 0) {
            state_ = ErrnoToErrorValue(folderError);
            OnFailed();
            return false;
        }
        char buffer[kPathMax];
        std::memcpy(buffer, target.c_str(), target.size() + 1);
        if (!MakeTempFile(buffer, target.c_str(), "iof")) {
            tempName_.clear();
            state_ = kErrOutOfMemory;
            OnFailed();
            return false;
        }
        tempName_ = buffer;
        state_ = kResultReady;
        // Updating through a copy starts from the target's content.
        bool ok = true;
        if ((mode_ & kDiskUpdate) && FileExists(path_.c_str())) {
            int fd = ::open(tempName_.c_str(), O_WRONLY | O_CLOEXEC);
            ok = fd >= 0 && CopyInto(path_, fd);
            if (fd >= 0) ::close(fd);
            if (!ok) state_ = ErrnoToError();
        }
        if (!ok || !OpenStream(tempName_.c_str())) {
            ::unlink(tempName_.c_str());
            tempName_.clear();
            OnFailed();
            return false;
        }
        return true;
    }
    if (writes && (mode_ & kDiskBackup) && FileExists(path_.c_str())) {
        // A truncating write may move the old file away; an update or append
        // writes into the file itself, so its backup must be a copy.
        if (mode_ & kDiskWrite)
            MakeBackupFile(path_.c_str());
        else
            PlaceCopy(path_, path_ + ".bak", false);
    }
    if (!OpenStream(path_.c_str()) && !writes && (mode_ & kDiskShortExt)) {
        std::string shortName = ShortExtensionName(path_);
        if (!shortName.empty()) {
            path_ = shortName;
            OpenStream(path_.c_str());
        }
    }
    if (stream_ != nullptr) {
        state_ = kResultReady;
        return true;
    }
    OnFailed();
    return false;
}

bool DiskFile::CommitTemp() {
    std::string target = path_;
    std::string shortName;
    if (mode_ & kDiskShortExt) {
        shortName = ShortExtensionName(path_);
        if (!shortName.empty()) target = shortName;
    }
    // The rename replaces the file a link names, not the link.
    target = ResolveLinks(target);
    // The backup is a second name for the old file: the target itself stays in
    // place until the rename below replaces it atomically.
    if ((mode_ & kDiskBackup) && Exists(target)) {
        if (!PlaceCopy(target, target + ".bak", true))
            LogPrintf("%s: backup failed: %s", target.c_str(), std::strerror(errno));
    }
    TakeTargetPermissions(tempName_, target);
    if (::rename(tempName_.c_str(), target.c_str()) != 0) {
        int error = errno;
        // A temporary copy outside the target's folder (the folder refused it)
        // is copied in, synced and renamed there.
        bool ok = error == EXDEV && PlaceCopy(tempName_, target, false);
        if (!ok) {
            state_ = ErrnoToErrorValue(error == EXDEV && errno != 0 ? errno : error);
            ::unlink(tempName_.c_str());
            tempName_.clear();
            return false;
        }
        ::unlink(tempName_.c_str());
    }
    tempName_.clear();
    SyncFolder(target);
    if (!shortName.empty()) {
        // The short-named file now holds the result; the long-named one goes.
        if (Exists(path_)) {
            if (!(mode_ & kDiskBackup) || !MakeBackupFile(path_.c_str())) ::unlink(path_.c_str());
        }
        path_ = shortName;
    }
    return true;
}

bool DiskFile::Close() {
    if (stream_ == nullptr) return false;
    bool writing = DiskModeWrites(mode_);
    bool viaTemp = writing && (mode_ & kDiskTemp) && !tempName_.empty();
    bool empty = false;
    bool failed = false;
    int error = 0;
    if (writing) {
        if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
            failed = true;
            error = errno;
        }
        struct stat st;
        if ((mode_ & kDiskDropEmpty) && ::fstat(fileno(stream_), &st) == 0 && st.st_size == 0)
            empty = true;
        // The copy must be on disk before it replaces the target.
        if (!failed && viaTemp && ::fsync(fileno(stream_)) != 0) {
            failed = true;
            error = errno;
        }
    }
    if (std::fclose(stream_) != 0 && writing && !failed) {
        failed = true;
        error = errno;
    }
    stream_ = nullptr;
    if (failed) state_ = ErrnoToErrorValue(error);

    // A body that was written incompletely never counts as accepted.
    if (accepted_ && !empty && !failed) {
        if (!viaTemp) return true;
        if (!Exists(tempName_)) {
            tempName_.clear();
            return true;
        }
        return CommitTemp();
    }
    if (writing) {
        if (viaTemp) {
            ::unlink(tempName_.c_str());
        } else if (empty && hasPath_) {
            ::unlink(path_.c_str());
        }
    }
    tempName_.clear();
    return false;
}

bool DiskFile::Discard() {
    if (!IsWriting()) return false;
    bool viaTemp = (mode_ & kDiskTemp) && !tempName_.empty();
    std::fclose(stream_);
    stream_ = nullptr;
    accepted_ = false;
    if (viaTemp) {
        bool ok = ::unlink(tempName_.c_str()) == 0 || errno == ENOENT;
        tempName_.clear();
        return ok;
    }
    if (!hasPath_) return false;
    return ::unlink(path_.c_str()) == 0 || errno == ENOENT;
}

bool DiskFile::SaveFile(const char* path, uint32_t extraMode) {
    if (IsWriting() && path == nullptr && extraMode == 0) {
        if (state_ != kResultReady) {
            std::clearerr(stream_);
            state_ = kResultReady;
        }
        accepted_ = false;
    } else if (!Open(path, (mode_ & ~(kDiskRead | kDiskUpdate)) | extraMode | kDiskWrite)) {
        return false;
    }
    if (!RunBody([this] { return Save(); })) {
        OnFailed();
        return false;
    }
    accepted_ = true;
    accepted_ = Close();
    return accepted_;
}

bool DiskFile::LoadFile(const char* path, uint32_t extraMode) {
    if (stream_ != nullptr && (mode_ & (kDiskRead | kDiskUpdate)) && path == nullptr && extraMode == 0) {
        if (state_ != kResultReady) {
            std::clearerr(stream_);
            state_ = kResultReady;
        }
        accepted_ = false;
    } else {
        uint32_t mode = ((mode_ & ~kDiskUpdate) | extraMode) & ~(kDiskWrite | kDiskAppend);
        if (!Open(path, mode | kDiskRead)) return false;
    }
    if (!RunBody([this] { return Load(); })) {
        OnFailed();
        return false;
    }
    accepted_ = true;
    return Close();
}

bool DiskFile::SaveKeepOpen() {
    if (stream_ == nullptr) {
        if (!Open(nullptr, 0)) return false;  // Open has called OnFailed
        if (!OnOpened()) {
            OnFailed();
            return false;
        }
    }
    if (state_ != kResultReady) {
        std::clearerr(stream_);
        state_ = kResultReady;
    }
    accepted_ = false;
    if (!RunBody([this] { return Save(); }) || std::fflush(stream_) != 0) {
        OnFailed();
        return false;
    }
    accepted_ = true;
    return true;
}

bool DiskFile::MarkExtension(char character) {
    if (!hasPath_) return false;
    char buffer[kPathMax];
    std::memcpy(buffer, path_.c_str(), path_.size() + 1);
    if (PathMarkExtension(buffer, character) < 0) return false;
    path_ = buffer;
    return true;
}

bool DiskFile::SetExtension(const char* extension) {
    if (!hasPath_ || extension == nullptr || extension[0] == '\0') return false;
    char buffer[kPathMax];
    std::memcpy(buffer, path_.c_str(), path_.size() + 1);
    if (!PathReplaceExtension(buffer, buffer, extension)) return false;
    path_ = buffer;
    return true;
}

namespace {

bool ReadAt(int fd, unsigned char* data, size_t size, off_t offset) {
    while (size > 0) {
        ssize_t n = ::pread(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

bool WriteAt(int fd, const unsigned char* data, size_t size, off_t offset) {
    while (size > 0) {
        ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

int FlipRowsInFile(int fd, int64_t rowLength, int64_t rows, uint32_t elementType) {
    int64_t element = 0;
    if (elementType & 0x01)
        element = 1;
    else if (elementType & 0x02)
        element = 2;
    else if (elementType & 0x04)
        element = 3;
    else if (elementType & 0x18)
        element = 4;
    else if (elementType & 0x60)
        element = 8;
    if (element == 0 || rowLength <= 0 || rows <= 0) return 0;
    int64_t rowBytes = 0;
    int64_t totalBytes = 0;
    if (__builtin_mul_overflow(rowLength, element, &rowBytes) || rowBytes > 0x20000000) return 0;
    if (rows == 1) return 1;
    if (__builtin_mul_overflow(rowBytes, rows, &totalBytes)) return 0;
    if (::lseek(fd, 0, SEEK_SET) < 0) {
        LogPrintf("_lseek failed");
        return 0;
    }
    size_t size = static_cast<size_t>(rowBytes);
    std::unique_ptr<unsigned char[]> top(new (std::nothrow) unsigned char[size]);
    std::unique_ptr<unsigned char[]> bottom(new (std::nothrow) unsigned char[size]);
    if (!top || !bottom) return 0;
    for (int64_t i = 0; i < rows / 2; ++i) {
        // Both offsets are below totalBytes, which was checked above.
        off_t upper = static_cast<off_t>(i * rowBytes);
        off_t lower = static_cast<off_t>((rows - 1 - i) * rowBytes);
        if (!ReadAt(fd, top.get(), size, upper) || !ReadAt(fd, bottom.get(), size, lower))
            return i > 0 ? -1 : 0;
        if (!WriteAt(fd, bottom.get(), size, upper) || !WriteAt(fd, top.get(), size, lower)) return 3;
    }
    return 1;
}

}  // namespace orva
