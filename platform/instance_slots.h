#pragma once
// Per-user instance counting. Each running instance holds one slot: an
// exclusive flock on a small lock file in the user's runtime folder. The
// kernel drops the lock when the process dies, so a crash never leaves a
// phantom instance behind (a shared memory counter would keep counting it).
#include <string>
#include <vector>

namespace orva::platform {

class InstanceSlots {
public:
    // `folder` holds the lock files; `name` prefixes them.
    InstanceSlots(std::string folder, std::string name);
    ~InstanceSlots();
    InstanceSlots(const InstanceSlots&) = delete;
    InstanceSlots& operator=(const InstanceSlots&) = delete;

    // Takes the lowest free slot; false when none can be taken.
    bool Acquire();
    // Gives the slot back (once); nothing when none is held.
    void Release();
    bool Held() const { return slot_ > 0; }
    // The slot held, 1 for the first instance; 0 when none.
    int Slot() const { return slot_; }
    // The number of slots held by live processes, this one included.
    int Count() const;
    // The slots held by other live processes, lowest first.
    std::vector<int> OthersLive() const;

    // The start-up decision lock: held by a start from the moment it counts the other
    // instances until it either handed its line over or listens for lines itself, so
    // that two starts at the same moment never both pass each other by. Waits up to
    // `timeoutMs`; false when it could not be had (the start goes on without it).
    bool LockDecision(int timeoutMs);
    void UnlockDecision();

    static constexpr int kMaxSlots = 128;

private:
    std::string SlotPath(int slot) const;
    bool SlotLive(int slot) const;
    std::string folder_;
    std::string name_;
    int slot_ = 0;
    int fd_ = -1;
    int decisionFd_ = -1;
};

// The folder for the lock files and sockets: $XDG_RUNTIME_DIR when it is set and
// names a folder, else the given fall-back (the program's user folder).
std::string RuntimeFolder(const std::string& fallback);

}  // namespace orva::platform
