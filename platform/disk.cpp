#include "platform/disk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <dirent.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace orva::platform {

namespace {

uint64_t Bytes(uint64_t blocks, uint64_t blockSize) {
    uint64_t r = 0;
    if (__builtin_mul_overflow(blocks, blockSize, &r)) return UINT64_MAX;
    return r;
}

// Below this size freeing the blocks costs less than starting a thread.
constexpr off_t kReleaseLaterBytes = 4 << 20;

// Whether a file system frees a file's blocks on the server: a network client would
// only keep an open file under a temporary name of its own until the close, and nothing
// is freed here.
bool FreedRemotely(const char* path) {
    struct statfs fs;
    if (::statfs(path, &fs) != 0) return true;
    switch (static_cast<uint32_t>(fs.f_type)) {
        case 0x6969u:      // NFS
        case 0xFF534D42u:  // CIFS
        case 0xFE534D42u:  // SMB2
        case 0x517Bu:      // SMB
        case 0x65735546u:  // FUSE
        case 0x01021997u:  // 9P
        case 0x6B414653u:  // AFS
        case 0x00C36400u:  // Ceph
            return true;
        default:
            return false;
    }
}

// A reference to `path` when it names a big regular file with no other name on a local
// file system, so that its blocks are freed when that reference goes rather than when the
// name does; -1 otherwise.
int HoldBigFile(const char* path) {
    struct stat st;
    if (::lstat(path, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < kReleaseLaterBytes || st.st_nlink != 1 ||
        FreedRemotely(path))
        return -1;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) fd = ::open(path, O_PATH | O_CLOEXEC | O_NOFOLLOW);
    return fd;
}

// Closes a held reference on a thread of its own (in place when none can be started).
void ReleaseLater(int fd) {
    if (fd < 0) return;
    try {
        std::thread([fd] { ::close(fd); }).detach();
    } catch (...) {
        ::close(fd);
    }
}

}  // namespace

bool RemoveFileReleasingLater(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        errno = ENOENT;
        return false;
    }
    const int fd = HoldBigFile(path);
    if (::unlink(path) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        errno = error;
        return false;
    }
    ReleaseLater(fd);
    return true;
}

bool ReplaceFileReleasingLater(const char* from, const char* to) {
    if (from == nullptr || from[0] == '\0' || to == nullptr || to[0] == '\0') {
        errno = ENOENT;
        return false;
    }
    const int fd = HoldBigFile(to);
    if (::rename(from, to) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        errno = error;
        return false;
    }
    ReleaseLater(fd);
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

// ---- The mount table ------------------------------------------------------------------------

namespace {

// The mount table writes blanks, tabs, line breaks and backslashes as "\ooo".
std::string UnescapeOctal(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// udev names labels with "\xHH" for characters that are not safe in a file name.
std::string UnescapeHex(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const std::string hex = text.substr(i + 2, 2);
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (hex.size() == 2 && end == hex.c_str() + 2) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// True when the mount point holds the path: equal, or a folder above it.
bool Holds(const std::string& mount, const std::string& path) {
    if (mount == "/") return !path.empty() && path[0] == '/';
    if (path.compare(0, mount.size(), mount) != 0) return false;
    return path.size() == mount.size() || path[mount.size()] == '/';
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return line;
}

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return std::string();
    std::string r(real);
    std::free(real);
    return r;
}

}  // namespace

bool MountFromTable(const std::string& table, const std::string& realPath, MountDescription* out) {
    if (out == nullptr || realPath.empty() || realPath[0] != '/') return false;
    std::istringstream lines(table);
    std::string line;
    bool found = false;
    size_t bestLength = 0;
    MountDescription best;
    while (std::getline(lines, line)) {
        // id parent major:minor root mount-point options [optional fields] - type source super
        std::istringstream words(line);
        std::vector<std::string> w;
        std::string word;
        while (words >> word) w.push_back(word);
        if (w.size() < 7) continue;
        size_t dash = 6;
        while (dash < w.size() && w[dash] != "-") ++dash;
        if (dash >= w.size()) continue;
        const std::string mount = UnescapeOctal(w[4]);
        if (!Holds(mount, realPath)) continue;
        // The longest mount point; among equal ones the later entry lies on top.
        if (found && mount.size() < bestLength) continue;
        found = true;
        bestLength = mount.size();
        best.mountPoint = mount;
        best.fsType = dash + 1 < w.size() ? UnescapeOctal(w[dash + 1]) : std::string();
        best.source = dash + 2 < w.size() ? UnescapeOctal(w[dash + 2]) : std::string();
    }
    if (!found) return false;
    out->mountPoint = best.mountPoint;
    out->fsType = best.fsType;
    out->source = best.source;
    return true;
}

bool DescribeMount(const char* path, MountDescription* out) {
    if (path == nullptr || path[0] == '\0' || out == nullptr) return false;
    const std::string real = RealPath(path);
    if (real.empty()) return false;
    std::ifstream in("/proc/self/mountinfo");
    if (!in) return false;
    std::stringstream table;
    table << in.rdbuf();
    MountDescription d;
    if (!MountFromTable(table.str(), real, &d)) return false;
    // A block device: its label and whether it (or the disk of its partition) is removable.
    struct stat st;
    if (!d.source.empty() && d.source[0] == '/' && ::stat(d.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        const std::string device = RealPath(d.source);
        if (DIR* labels = ::opendir("/dev/disk/by-label")) {
            while (const dirent* entry = ::readdir(labels)) {
                if (entry->d_name[0] == '.') continue;
                const std::string link = std::string("/dev/disk/by-label/") + entry->d_name;
                if (!device.empty() && RealPath(link) == device) {
                    d.label = UnescapeHex(entry->d_name);
                    break;
                }
            }
            ::closedir(labels);
        }
        const std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                                std::to_string(minor(st.st_rdev));
        std::string flag = ReadFirstLine(sys + "/removable");
        if (flag.empty()) flag = ReadFirstLine(sys + "/../removable");
        d.removable = flag == "1";
    }
    *out = d;
    return true;
}

}  // namespace orva::platform
