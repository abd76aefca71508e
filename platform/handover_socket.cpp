#include "platform/handover_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/window_api.h"

namespace orva::platform {

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
    std::memcpy(addr->sun_path, path.data(), path.size());
    return true;
}

// Reads exactly `size` bytes before the deadline; false on time-out, end of stream or error.
bool ReadFull(int fd, char* out, size_t size, Clock::time_point deadline) {
    size_t got = 0;
    while (got < size) {
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, RemainingMs(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        ssize_t r = ::recv(fd, out + got, size - got, 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

enum class ByteRead { kGot, kTimeout, kClosed };

// One byte within `ms` (-1: no limit); kClosed at the end of the stream or on an error.
ByteRead ReadByte(int fd, char* out, int ms) {
    const auto deadline = ms < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int n = ::poll(&p, 1, ms < 0 ? -1 : RemainingMs(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return ByteRead::kClosed;
        if (n == 0) return ByteRead::kTimeout;
        const ssize_t r = ::recv(fd, out, 1, 0);
        if (r < 0 && errno == EINTR) continue;
        return r == 1 ? ByteRead::kGot : ByteRead::kClosed;
    }
}

// One byte: first within `tellMs`, then (after `tell`) up to `limitMs` in all (-1: no limit).
ByteRead ReadByteTelling(int fd, char* out, int tellMs, int limitMs, const std::function<void()>& tell) {
    if (limitMs >= 0 && limitMs <= tellMs) return ReadByte(fd, out, limitMs);
    const ByteRead first = ReadByte(fd, out, tellMs);
    if (first != ByteRead::kTimeout) return first;
    if (tell) tell();
    return ReadByte(fd, out, limitMs < 0 ? -1 : limitMs - tellMs);
}

bool WriteFull(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t w = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

uint32_t ReadLe32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// True when something accepts connections at `path`.
bool SomeoneListens(const sockaddr_un& addr) {
    int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) return true;  // cannot tell: leave the file alone
    int rc = ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    int err = errno;
    ::close(probe);
    // A full backlog (EAGAIN) is a live owner too.
    return rc == 0 || (err != ECONNREFUSED && err != ENOENT);
}

}  // namespace

std::string HandoverSocketPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    path += ".sock";
    sockaddr_un addr;
    if (folder.empty() || name.empty() || !FillAddress(path, &addr)) return std::string();
    return path;
}

std::string HandoverIdentity(const char* display, const std::string& settingsFolder) {
    std::string server = display != nullptr ? display : "";
    const size_t colon = server.rfind(':');
    if (colon != std::string::npos) {
        std::string host = server.substr(0, colon);
        std::string number = server.substr(colon + 1);
        const size_t dot = number.find('.');
        if (dot != std::string::npos) number.erase(dot);
        if (host == "unix" || host == "localhost") host.clear();
        server = host + ":" + number;
    }
    // FNV-1a over the server, a separator no name holds, and the folder.
    uint64_t hash = 0xcbf29ce484222325ull;
    auto mix = [&hash](const std::string& text) {
        for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
    };
    mix(server);
    mix(std::string(1, '\0'));
    mix(settingsFolder);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>((hash >> 32) ^ hash));
    return text;
}

std::string EncodeCommandBlock(const CommandBlock& line) {
    std::string payload = line.folder;
    payload += '\0';
    for (const std::string& w : line.words) {
        payload += w;
        payload += '\0';
    }
    uint32_t n = static_cast<uint32_t>(payload.size());
    std::string block(kHandoverTag, 4);
    for (int i = 0; i < 4; ++i) block += static_cast<char>((n >> (8 * i)) & 0xFF);
    return block + payload;
}

bool DecodeCommandBlock(const char* data, size_t size, CommandBlock* line) {
    *line = CommandBlock();
    if (data == nullptr || size < kHandoverHeaderSize) return false;
    if (std::memcmp(data, kHandoverTag, 4) != 0) return false;
    uint32_t n = ReadLe32(data + 4);
    if (n > kHandoverMaxPayload || size - kHandoverHeaderSize != n) return false;
    const char* p = data + kHandoverHeaderSize;
    // At least the folder's terminator, and every text terminated.
    if (n == 0 || p[n - 1] != '\0') return false;
    size_t start = 0;
    bool folder = true;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != '\0') continue;
        if (folder)
            line->folder.assign(p + start, i - start);
        else
            line->words.emplace_back(p + start, i - start);
        folder = false;
        start = i + 1;
    }
    return true;
}

HandoverServer::~HandoverServer() { Close(); }

bool HandoverServer::Listen(const std::string& path) {
    Close();
    sockaddr_un addr;
    if (!FillAddress(path, &addr)) return false;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        struct stat st;
        // Only a socket file whose owner is gone is taken over; anything else stays.
        bool stale = errno == EADDRINUSE && ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
                     !SomeoneListens(addr);
        if (!stale || ::unlink(path.c_str()) != 0 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return false;
        }
    }
    ::chmod(path.c_str(), 0600);
    struct stat st;
    if (::listen(fd, 16) != 0 || ::stat(path.c_str(), &st) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    fd_ = fd;
    path_ = path;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return true;
}

bool HandoverServer::ServeOne(const std::function<void(const CommandBlock&)>& run, int readTimeoutMs) {
    if (fd_ < 0) return false;
    int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) return false;
    bool ran = false;
    // Only the same user may hand us a command line.
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(c, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::geteuid()) {
        auto deadline = Clock::now() + std::chrono::milliseconds(readTimeoutMs);
        char header[kHandoverHeaderSize];
        CommandBlock line;
        if (ReadFull(c, header, sizeof header, deadline) && std::memcmp(header, kHandoverTag, 4) == 0) {
            uint32_t n = ReadLe32(header + 4);
            if (n <= kHandoverMaxPayload) {
                std::string block(header, sizeof header);
                block.resize(sizeof header + n);
                char go = 0;
                // The line is run only once the sender confirmed that it will not run it
                // itself; a sender that gave up meanwhile closed the connection.
                if (ReadFull(c, block.data() + sizeof header, n, deadline) &&
                    DecodeCommandBlock(block.data(), block.size(), &line) &&
                    WriteFull(c, &kHandoverAccepted, 1) &&
                    ReadFull(c, &go, 1, Clock::now() + std::chrono::milliseconds(readTimeoutMs)) &&
                    go == kHandoverGo) {
                    run(line);
                    ran = true;
                    WriteFull(c, &kHandoverDone, 1);
                }
            }
        }
    }
    ::close(c);
    return ran;
}

void HandoverServer::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
    struct stat st;
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
        ::unlink(path_.c_str());
    path_.clear();
}

HandoverResult SendCommandBlock(const std::string& path, const CommandBlock& line,
                                const HandoverTimeouts& timeouts, std::string* failure,
                                const std::function<void()>& taken,
                                const std::function<void(HandoverWait)>& waiting) {
    auto fail = [failure](const std::string& why, HandoverResult result) {
        if (failure) *failure = why;
        return result;
    };
    sockaddr_un addr;
    if (!FillAddress(path, &addr)) return fail("no socket path", HandoverResult::kNoReceiver);
    auto connectDeadline = Clock::now() + std::chrono::milliseconds(timeouts.connectMs);
    int fd = -1;
    for (;;) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return fail(std::strerror(errno), HandoverResult::kNoReceiver);
        timeval tv{1, 0};  // a full backlog must not block the connect for ever
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) break;
        int err = errno;
        ::close(fd);
        fd = -1;
        // A missing or refusing socket has no owner: nothing to wait for.
        bool retry = err == EAGAIN || err == EINTR;
        if (!retry || RemainingMs(connectDeadline) == 0) return fail(std::strerror(err), HandoverResult::kNoReceiver);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::string block = EncodeCommandBlock(line);
    char answer = 0;
    HandoverResult result;
    if (!WriteFull(fd, block.data(), block.size())) {
        result = fail("the receiver left", HandoverResult::kNoReceiver);
    } else if (ReadByteTelling(fd, &answer, timeouts.acceptMs, std::max(timeouts.busyMs, timeouts.acceptMs),
                               [&] { if (waiting) waiting(HandoverWait::kToTake); }) != ByteRead::kGot ||
               answer != kHandoverAccepted) {
        // Closing now, before any 'G', tells a late receiver to drop the line.
        result = fail("no answer", HandoverResult::kNoReceiver);
    } else {
        // Receipt acknowledged: the line is the receiver's from here on, whatever follows.
        result = fail("the line was not reported run", HandoverResult::kUnfinished);
        bool went = WriteFull(fd, &kHandoverGo, 1);
        if (taken) taken();
        if (went) {
            const ByteRead read = ReadByteTelling(fd, &answer, timeouts.doneMs, timeouts.runMs,
                                                  [&] { if (waiting) waiting(HandoverWait::kToRun); });
            if (read == ByteRead::kGot && answer == kHandoverDone) {
                result = HandoverResult::kDone;
            } else if (read != ByteRead::kTimeout) {
                result = fail("the receiver ended before it reported the line run", HandoverResult::kUnfinished);
            }
        }
    }
    ::close(fd);
    return result;
}

void RaiseWindow(void* window) {
    if (window != nullptr) RestoreAndActivate(static_cast<Hwnd>(window));
}

}  // namespace orva::platform
