#include "platform/instance_slots.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace orva::platform {

InstanceSlots::InstanceSlots(std::string folder, std::string name)
    : folder_(std::move(folder)), name_(std::move(name)) {
    if (!folder_.empty() && folder_.back() != '/') folder_.push_back('/');
}

InstanceSlots::~InstanceSlots() {
    UnlockDecision();
    Release();
}

std::string InstanceSlots::SlotPath(int slot) const {
    return folder_ + name_ + "." + std::to_string(slot) + ".lock";
}

bool InstanceSlots::Acquire() {
    if (slot_ > 0) return true;
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        int fd = ::open(SlotPath(slot).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            slot_ = slot;
            fd_ = fd;
            return true;
        }
        ::close(fd);
    }
    return false;
}

void InstanceSlots::Release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
    fd_ = -1;
    slot_ = 0;
}

bool InstanceSlots::SlotLive(int slot) const {
    if (slot == slot_) return true;
    int fd = ::open(SlotPath(slot).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // A lock we can take is nobody's slot; a refused one belongs to a live process.
    bool live = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
    if (!live) ::flock(fd, LOCK_UN);
    ::close(fd);
    return live;
}

int InstanceSlots::Count() const {
    int count = 0;
    for (int slot = 1; slot <= kMaxSlots; ++slot) count += SlotLive(slot) ? 1 : 0;
    return count;
}

std::vector<int> InstanceSlots::OthersLive() const {
    std::vector<int> slots;
    for (int slot = 1; slot <= kMaxSlots; ++slot) {
        if (slot != slot_ && SlotLive(slot)) slots.push_back(slot);
    }
    return slots;
}

bool InstanceSlots::LockDecision(int timeoutMs) {
    if (decisionFd_ >= 0) return true;
    int fd = ::open((folder_ + name_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // flock has no time-out: poll the non-blocking form.
    for (int waited = 0;; waited += 10) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            decisionFd_ = fd;
            return true;
        }
        if (errno != EWOULDBLOCK || waited >= timeoutMs) break;
        ::usleep(10000);
    }
    ::close(fd);
    return false;
}

void InstanceSlots::UnlockDecision() {
    if (decisionFd_ < 0) return;
    ::flock(decisionFd_, LOCK_UN);
    ::close(decisionFd_);
    decisionFd_ = -1;
}

std::string RuntimeFolder(const std::string& fallback) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (dir && *dir && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
    return fallback;
}

}  // namespace orva::platform
