#include "platform/fd_watch.h"

#include <poll.h>

#include <cerrno>
#include <mutex>
#include <utility>

namespace orva::platform {

namespace {

using Watch = FdWatchEntry;

std::mutex& WatchMutex() {
    static std::mutex m;
    return m;
}

std::vector<Watch>& Watches() {
    static std::vector<Watch> w;
    return w;
}

}  // namespace

bool FdWatchAdd(int fd, FdHandler handler) {
    if (fd < 0 || !handler) return false;
    std::lock_guard<std::mutex> lock(WatchMutex());
    for (Watch& w : Watches()) {
        if (w.fd == fd) {
            w.handler = std::move(handler);
            return true;
        }
    }
    Watches().push_back({fd, std::move(handler)});
    return true;
}

void FdWatchRemove(int fd) {
    std::lock_guard<std::mutex> lock(WatchMutex());
    auto& list = Watches();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->fd == fd) {
            list.erase(it);
            return;
        }
    }
}

bool FdWatchHas(int fd) {
    std::lock_guard<std::mutex> lock(WatchMutex());
    for (const Watch& w : Watches())
        if (w.fd == fd) return true;
    return false;
}

std::vector<int> FdWatchFds() {
    std::lock_guard<std::mutex> lock(WatchMutex());
    std::vector<int> fds;
    fds.reserve(Watches().size());
    for (const Watch& w : Watches()) fds.push_back(w.fd);
    return fds;
}

std::vector<FdWatchEntry> FdWatchSnapshot() {
    std::lock_guard<std::mutex> lock(WatchMutex());
    return Watches();
}

void FdWatchRun(const FdWatchEntry& entry, int revents) {
    if (revents != 0) FdWatchDispatch(entry.fd);
}

bool FdWatchDispatch(int fd) {
    FdHandler handler;
    {
        // The handler is copied out so that it may change the registry while it runs.
        std::lock_guard<std::mutex> lock(WatchMutex());
        for (const Watch& w : Watches()) {
            if (w.fd == fd) {
                handler = w.handler;
                break;
            }
        }
    }
    if (!handler) return false;
    handler(fd);
    return true;
}

int FdWatchPollOnce(int timeoutMs) {
    std::vector<int> fds = FdWatchFds();
    std::vector<pollfd> polls;
    polls.reserve(fds.size());
    for (int fd : fds) polls.push_back({fd, POLLIN, 0});
    int n = ::poll(polls.empty() ? nullptr : polls.data(), polls.size(), timeoutMs);
    if (n < 0) return errno == EINTR ? 0 : -1;
    int run = 0;
    for (const pollfd& p : polls) {
        if ((p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) continue;
        if (FdWatchDispatch(p.fd)) ++run;
    }
    return run;
}

}  // namespace orva::platform
