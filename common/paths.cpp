#include "common/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orva {

namespace {

// Offset of the file name (just past the last "/").
size_t NameOffset(const char* path, size_t length) {
    size_t i = length;
    while (i > 0 && path[i - 1] != '/') --i;
    return i;
}

// Offset of the extension's dot within the file name, or `length` when none.
size_t ExtensionOffset(const char* path, size_t length) {
    size_t name = NameOffset(path, length);
    for (size_t i = length; i > name; --i)
        if (path[i - 1] == '.') return i - 1;
    return length;
}

}  // namespace

char* PathSetExtension(char* path, const char* extension, size_t size) {
    if (path == nullptr || size == 0) return nullptr;
    size_t length = std::strlen(path);
    size_t keep = ExtensionOffset(path, length);
    size_t extLength = extension ? std::strlen(extension) : 0;
    // Check first, so a path at the limit never loses its old extension silently.
    if (keep + extLength >= size) return nullptr;
    if (extLength) std::memcpy(path + keep, extension, extLength);
    path[keep + extLength] = '\0';
    return path;
}

bool MakeFilePath(char* out, const char* folder, const char* name, const char* extension,
                  bool dotFlag) {
    if (out == nullptr) return false;
    out[0] = '\0';
    if (name == nullptr || name[0] == '\0') return false;
    size_t folderLength = folder ? std::strlen(folder) : 0;
    size_t nameLength = std::strlen(name);
    size_t separator = (folderLength > 0 && folder[folderLength - 1] != '/') ? 1 : 0;
    size_t total = folderLength + separator + nameLength;
    if (nameLength >= kPathMax || total >= kPathMax) return false;
    if (folderLength) std::memcpy(out, folder, folderLength);
    if (separator) out[folderLength] = '/';
    char* namePart = out + folderLength + separator;
    std::memcpy(namePart, name, nameLength);
    out[total] = '\0';
    if (extension != nullptr && extension[0] != '\0') {
        if (dotFlag) {
            char* dot = std::strchr(namePart, '.');
            if (dot) *dot = '_';
        }
        if (PathSetExtension(out, extension, kPathMax) == nullptr) {
            out[0] = '\0';
            return false;
        }
    }
    return true;
}

size_t PathExtensionLength(const char* path) {
    if (path == nullptr) return 0;
    size_t length = std::strlen(path);
    return length - ExtensionOffset(path, length);
}

size_t PathRemoveExtension(char* path) {
    if (path == nullptr) return 0;
    size_t length = std::strlen(path);
    size_t offset = ExtensionOffset(path, length);
    path[offset] = '\0';
    return length - offset;
}

size_t PathNameLength(const char* path) {
    if (path == nullptr) return 0;
    size_t length = std::strlen(path);
    return length - NameOffset(path, length);
}

int PathNameOffset(const char* path, size_t* length) {
    if (length) *length = 0;
    if (path == nullptr) return -1;
    size_t total = std::strlen(path);
    size_t offset = NameOffset(path, total);
    if (offset == total) return -1;
    if (length) *length = total - offset;
    return static_cast<int>(offset);
}

size_t PathNameSplit(const char* path, size_t* extensionLength) {
    if (extensionLength) *extensionLength = 0;
    if (path == nullptr) return 0;
    size_t length = std::strlen(path);
    size_t name = NameOffset(path, length);
    size_t ext = ExtensionOffset(path, length);
    if (extensionLength) *extensionLength = length - ext;
    return ext - name;
}

size_t PathIsAbsoluteFile(const char* path) {
    if (path == nullptr || path[0] != '/') return 0;
    size_t length = std::strlen(path);
    return path[length - 1] == '/' ? 0 : length;
}

bool PathReplaceExtension(char* out, const char* source, const char* extension) {
    if (out == nullptr) return false;
    if (source == nullptr || std::strchr("<>:|", source[0]) != nullptr) {
        // strchr also finds the terminator: an empty source fails too.
        out[0] = '\0';
        return false;
    }
    size_t length = std::strlen(source);
    size_t keep = ExtensionOffset(source, length);
    size_t extLength = extension ? std::strlen(extension) : 0;
    if (keep + extLength >= kPathMax) {
        out[0] = '\0';
        return false;
    }
    if (out != source) std::memmove(out, source, keep);
    if (extLength) std::memmove(out + keep, extension, extLength);
    out[keep + extLength] = '\0';
    return true;
}

bool MakeRelatedPath(char* out, const char* base, const char* tail, const char* extension) {
    if (out == nullptr) return false;
    std::string related = tail != nullptr ? tail : "";
    if (base == nullptr || base[0] == '\0') {
        if (extension != nullptr) related += extension;
        if (related.size() >= kPathMax) {
            out[0] = '\0';
            return false;
        }
        std::memcpy(out, related.c_str(), related.size() + 1);
        return true;
    }
    if (extension != nullptr && extension[0] != '\0') {
        related += extension;
    } else {
        const size_t length = std::strlen(base);
        related.append(base + ExtensionOffset(base, length), base + length);
    }
    return PathReplaceExtension(out, base, related.c_str());
}

int PathMarkExtension(char* path, char character, size_t size) {
    if (path == nullptr) return 0;
    size_t length = std::strlen(path);
    size_t dot = ExtensionOffset(path, length);
    if (dot == length) return 0;
    // Refuse rather than cut the extension when one more byte does not fit.
    if (length + 2 > size) return -1;
    std::memmove(path + dot + 1, path + dot, length - dot + 1);
    path[dot + 1] = character;
    return static_cast<int>(length + 1 - dot);
}

size_t PathFolder(char* out, const char* path) {
    if (out == nullptr) return 0;
    const char* source = path ? path : out;
    size_t length = std::strlen(source);
    size_t folder = NameOffset(source, length);
    if (folder >= kPathMax) folder = 0;  // cannot happen for a path that fits
    if (out != source) std::memcpy(out, source, folder);
    out[folder] = '\0';
    return folder;
}

bool PathFolderDup(std::string* holder, const char* path) {
    if (holder == nullptr || path == nullptr) return false;
    size_t folder = NameOffset(path, std::strlen(path));
    if (folder == 0) return false;
    holder->assign(path, folder);
    return true;
}

namespace {

// Joins `path` to `base` (absolute) and resolves ".", ".." and repeated "/".
// A trailing "/" of the path is kept.
std::string Normalise(const std::string& base, const char* path) {
    std::string joined = path[0] == '/' ? std::string(path) : base + "/" + path;
    bool trailing = joined.size() > 1 && joined.back() == '/';
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < joined.size()) {
        size_t j = joined.find('/', i);
        if (j == std::string::npos) j = joined.size();
        std::string piece = joined.substr(i, j - i);
        if (piece == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        i = j + 1;
    }
    std::string result;
    for (const std::string& piece : parts) result += "/" + piece;
    if (result.empty()) return "/";
    if (trailing) result += '/';
    return result;
}

}  // namespace

size_t FullPathName(char* out, const char* path, size_t size) {
    if (path == nullptr || path[0] == '\0') return 0;
    std::string full;
    if (PathIsAbsoluteFile(path)) {
        full = path;
    } else {
        std::string base = "/";
        if (path[0] != '/') {
            std::vector<char> cwd(kPathMax);
            if (::getcwd(cwd.data(), cwd.size()) == nullptr) return 0;
            base = cwd.data();
        }
        full = Normalise(base, path);
    }
    if (out == nullptr || full.size() + 1 > size) return full.size() + 1;
    std::memcpy(out, full.c_str(), full.size() + 1);
    return full.size();
}

bool ResolveFolder(char* path, size_t size) {
    if (path == nullptr || path[0] == '\0' || size < kPathMax) return false;
    if (path[0] != '/') {
        char full[kPathMax];
        size_t n = FullPathName(full, path, sizeof full);
        if (n == 0 || n >= sizeof full) return false;
        std::memcpy(path, full, n + 1);
    }
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    struct stat st;
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

std::string TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    if (dir != nullptr && dir[0] != '\0') return dir;
    return "/tmp";
}

namespace {

// Creates "<folder>/<prefix>XXXXXX.tmp"; the name goes to out. False when it
// does not fit or cannot be created.
bool CreateTempIn(char* out, std::string folder, const std::string& prefix) {
    if (folder.empty()) folder.push_back('.');  // (assigning "." trips a false -Wrestrict in GCC 12 -O3)
    if (folder.back() != '/') folder += '/';
    std::string name = folder + prefix + "XXXXXX.tmp";
    if (name.size() >= kPathMax) return false;
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    int fd = ::mkstemps(buffer.data(), 4);
    if (fd < 0) return false;
    ::close(fd);
    std::memcpy(out, buffer.data(), buffer.size());
    return true;
}

}  // namespace

unsigned ReplacementFileMode(const char* target) {
    struct stat st;
    if (target != nullptr && target[0] != '\0' && ::stat(target, &st) == 0) return st.st_mode & 07777;
    // The umask can only be read by setting it; /proc tells it without a window in
    // which another thread would create files under a different one.
    mode_t mask = 0;
    bool known = false;
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (!known && std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
                known = true;
            }
        std::fclose(f);
    }
    if (!known) {
        mask = ::umask(022);
        ::umask(mask);
    }
    return 0666u & ~static_cast<unsigned>(mask);
}

bool MakeTempFile(char* out, const char* path, const char* prefix) {
    if (out == nullptr) return false;
    std::string pre = prefix ? std::string(prefix).substr(0, 3) : std::string("tmp");
    bool haveTarget = path != nullptr && path[0] != '\0';
    if (haveTarget) {
        size_t outLength = std::strlen(out);
        size_t name = NameOffset(out, outLength);
        if (name < outLength) pre.assign(out + name, std::min<size_t>(3, outLength - name));
    }
    // Keep the template free of "/" (cannot happen from a file name) and non-empty.
    if (pre.empty()) pre = "tmp";
    if (haveTarget) {
        size_t folder = NameOffset(path, std::strlen(path));
        if (CreateTempIn(out, std::string(path, folder), pre)) return true;
    }
    if (CreateTempIn(out, TempFolder(), pre)) return true;
    out[0] = '\0';
    return false;
}

namespace {

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool MakeBackupFile(const char* path, size_t size) {
    if (path == nullptr || path[0] == '\0') return true;
    if (size > kPathMax) size = kPathMax;
    size_t length = std::strlen(path);
    if (length + 3 > size) return false;
    size_t room = size - 1 - length;  // bytes left for the suffix
    std::string backup = std::string(path) + std::string(".bak").substr(0, std::min<size_t>(4, room));
    if (!Exists(path)) return true;
    // rename replaces an older backup atomically.
    return ::rename(path, backup.c_str()) == 0;
}

bool MakeNumberedBackup(const char* path, char* out, bool replace) {
    if (out) out[0] = '\0';
    if (path == nullptr || path[0] == '\0') return false;
    std::string base = path;
    size_t nameOffset = NameOffset(path, base.size());
    const size_t limit = kPathMax - 1;
    // Room for ".bak": shorten the file name when needed (keep at least one character).
    auto shortened = [&](size_t suffix) -> std::string {
        if (base.size() + suffix <= limit) return base;
        size_t cut = base.size() + suffix - limit;
        if (base.size() - nameOffset <= cut) return std::string();
        return base.substr(0, base.size() - cut);
    };
    std::string stem = shortened(4);
    if (stem.empty()) return false;
    std::string target = stem + ".bak";
    if (Exists(target) && !replace) {
        size_t freeChars = limit - std::min(limit, stem.size() + 4);
        size_t digits = std::min<size_t>(4, std::max<size_t>(1, freeChars));
        stem = shortened(4 + digits);
        if (stem.empty()) return false;
        unsigned count = 1;
        for (size_t i = 0; i < digits; ++i) count *= 10;
        target.clear();
        for (unsigned n = 0; n < count; ++n) {
            std::string candidate = stem + ".bak" + std::to_string(n);
            if (!Exists(candidate)) {
                target = candidate;
                break;
            }
        }
        if (target.empty()) return false;
    }
    if (::rename(path, target.c_str()) != 0) return false;
    if (out) std::memcpy(out, target.c_str(), target.size() + 1);
    return true;
}

}  // namespace orva
