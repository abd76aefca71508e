#pragma once
// The hand-over of a command line from a second start to the running first
// instance, over a Unix-domain stream socket that the first instance owns.
//
// Block sent by the second start (all integers little-endian):
//   bytes 0-3  "CMDI"
//   bytes 4-7  u32 payload length
//   payload    every argv word followed by one NUL byte (length 0: no words)
// Answers of the receiver, one byte each:
//   'R' once the block was read and accepted (the line is now the receiver's);
//   'D' once the receiver's main thread has run the line.
// A malformed block is dropped without an answer.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orva::platform {

inline constexpr char kHandoverTag[4] = {'C', 'M', 'D', 'I'};
inline constexpr size_t kHandoverHeaderSize = 8;
// The largest payload accepted: far above any argv the kernel lets a process have.
inline constexpr uint32_t kHandoverMaxPayload = 8u << 20;
inline constexpr char kHandoverAccepted = 'R';
inline constexpr char kHandoverDone = 'D';

// The socket's path: `folder`/`name`.sock; empty when it does not fit a socket address.
std::string HandoverSocketPath(const std::string& folder, const std::string& name);

// The block for these words.
std::string EncodeCommandBlock(const std::vector<std::string>& words);
// Splits a whole block into its words; false (words cleared) when the tag, the length
// or the terminating NUL is wrong, or a word would hold a NUL.
bool DecodeCommandBlock(const char* data, size_t size, std::vector<std::string>* words);

// The receiving end, owned by the first instance.
class HandoverServer {
public:
    HandoverServer() = default;
    ~HandoverServer();
    HandoverServer(const HandoverServer&) = delete;
    HandoverServer& operator=(const HandoverServer&) = delete;

    // Binds and listens at `path`. A socket file left by a dead owner (nothing accepts
    // connections on it) is replaced; a live one is left alone and false is returned.
    bool Listen(const std::string& path);
    int Fd() const { return fd_; }
    bool Listening() const { return fd_ >= 0; }
    // Accepts one waiting connection (none waiting: false at once), reads its block within
    // `readTimeoutMs`, answers 'R', calls `run` with the words and answers 'D'. False when
    // nothing was run: no connection, a malformed or late block, or a sender that left.
    bool ServeOne(const std::function<void(const std::vector<std::string>&)>& run,
                  int readTimeoutMs = 2000);
    // Stops listening and removes the socket file (when it is still ours).
    void Close();

private:
    int fd_ = -1;
    std::string path_;
    uint64_t device_ = 0, inode_ = 0;
};

enum class HandoverResult {
    kDone,        // the receiver ran the line
    kNoReceiver,  // nobody took the line: no socket, refused, or no acceptance in time
    kUnfinished,  // the receiver accepted the line but did not report it run in time
};

struct HandoverTimeouts {
    int connectMs = 1500;  // retries while the socket is missing or refuses (a starting owner)
    int acceptMs = 4000;   // wait for 'R'
    int doneMs = 60000;    // wait for 'D'
};

HandoverResult SendCommandBlock(const std::string& path, const std::vector<std::string>& words,
                                const HandoverTimeouts& timeouts = HandoverTimeouts());

// Brings a top-level window to the front, restoring it when minimised. Nothing is done
// until the program has windows (a null window).
void RaiseWindow(void* window);

}  // namespace orva::platform
