#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orva::platform {

namespace {

// An environment value usable as a folder: set, absolute and not too long.
std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return std::string();
    std::string s(value);
    if (s.size() >= kPathMax) return std::string();
    return s;
}

std::string Join(const std::string& folder, const char* name) {
    std::string s = folder;
    if (s.empty() || s.back() != '/') s += '/';
    s += name;
    return s.size() < kPathMax ? s : std::string();
}

}  // namespace

std::string ExecutablePath() {
    char buffer[kPathMax];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    // A result that fills the buffer may have been cut: refuse it.
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

std::string HomeFolder() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> scratch(hint > 0 ? static_cast<size_t>(hint) : 16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, scratch.data(), scratch.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return std::string();
    std::string dir(found->pw_dir);
    return dir.size() < kPathMax ? dir : std::string();
}

std::string AppDataFolder() {
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (!config.empty()) return config;
    std::string home = HomeFolder();
    return home.empty() ? std::string() : Join(home, ".config");
}

std::string DocumentsFolder() {
    std::string docs = AbsoluteEnv("XDG_DOCUMENTS_DIR");
    if (!docs.empty()) return docs;
    return HomeFolder();
}

std::string CurrentDirectory() {
    char buffer[kPathMax];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return std::string();
    return std::string(buffer);
}

bool CreateFolder(const std::string& path, unsigned mode) {
    if (path.empty() || path.size() >= kPathMax) return false;
    // Every missing folder on the way is made, from the top down (a fresh account may
    // have no ~/.config yet); one made meanwhile by another process is as good.
    for (size_t end = path.find('/', 1); ; end = path.find('/', end + 1)) {
        std::string part = path.substr(0, end);
        if (!part.empty() && ::mkdir(part.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
            if (!IsDirectory(part)) return false;
        }
        if (end == std::string::npos) break;
    }
    return IsDirectory(path);
}

std::string PrivateTempFolder(const std::string& name, std::string* why) {
    std::string base = AbsoluteEnv("XDG_RUNTIME_DIR");
    if (base.empty() || !IsDirectory(base)) base = AbsoluteEnv("TMPDIR");
    if (base.empty() || !IsDirectory(base)) base = "/tmp";
    const std::string folder = Join(base, (name + "-" + std::to_string(::geteuid())).c_str());
    auto refuse = [&](const std::string& reason) {
        if (why != nullptr) *why = folder + ": " + reason;
        return std::string();
    };
    if (folder.empty()) return refuse("the name is too long");
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(std::strerror(errno));
    // Another user may have made the name first, or put a link there: such a folder is
    // not ours to keep settings in.
    struct stat st;
    if (::lstat(folder.c_str(), &st) != 0) return refuse(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return refuse("not a folder");
    if (st.st_uid != ::geteuid()) return refuse("owned by another user");
    if ((st.st_mode & 077) != 0) return refuse("open to other users");
    return folder;
}

bool IsDirectory(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace orva::platform
