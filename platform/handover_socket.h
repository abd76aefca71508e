#pragma once
// The hand-over of a command line from a later start to a running instance, over a
// Unix-domain stream socket that every full instance owns.
//
// Block sent by the later start (all integers little-endian):
//   bytes 0-3  "CMDI"
//   bytes 4-7  u32 payload length
//   payload    the sender's working folder followed by one NUL byte (empty when
//              unknown), then every argv word followed by one NUL byte
// The exchange, one byte each way after the block:
//   receiver 'R' once the block was read and accepted;
//   sender   'G' once it saw 'R': from here on the line is the receiver's alone and
//            the sender never runs it. A receiver that does not get 'G' (the sender
//            gave up waiting and runs the line itself) drops the line;
//   receiver 'D' once its main thread has run the line.
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
inline constexpr char kHandoverGo = 'G';
inline constexpr char kHandoverDone = 'D';

// A handed-over line: the folder it was typed in and its words.
struct CommandBlock {
    std::string folder;
    std::vector<std::string> words;
    bool operator==(const CommandBlock&) const = default;
};

// The socket's path: `folder`/`name`.sock; empty when it does not fit a socket address.
std::string HandoverSocketPath(const std::string& folder, const std::string& name);

// What a receiver and its senders must share besides the runtime folder: the X display
// the windows go to and the settings folder. Eight hexadecimal digits of a hash of both;
// the display's name is taken without its screen number, "unix" and "localhost" hosts
// as the local one, so that every spelling of one server gives one identity. A null
// display is the empty one (no windows).
std::string HandoverIdentity(const char* display, const std::string& settingsFolder);

// The block for a line.
std::string EncodeCommandBlock(const CommandBlock& line);
// Splits a whole block into folder and words; false (all cleared) when the tag, the
// length or the terminating NUL is wrong, or the folder is missing.
bool DecodeCommandBlock(const char* data, size_t size, CommandBlock* line);

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
    // `readTimeoutMs`, answers 'R', waits as long for 'G', calls `run` with the line and
    // answers 'D'. False when nothing was run: no connection, a malformed or late block,
    // or a sender that left or gave up before 'G'.
    bool ServeOne(const std::function<void(const CommandBlock&)>& run, int readTimeoutMs = 2000);
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
    kUnfinished,  // the receiver took the line but did not report it run in time
};

// A receiver that is connected is alive: it is busy (a long operation, a question on the
// screen) rather than gone, so the sender waits for it, well past the times after which
// it says that it waits.
struct HandoverTimeouts {
    int connectMs = 1000;   // retries while the receiver's backlog is full
    int acceptMs = 4000;    // wait for 'R' before the wait is told
    int doneMs = 3000;      // wait for 'D' before the wait is told
    int busyMs = 600000;    // the longest wait for 'R' (a receiver that never takes lines is hung)
    int runMs = -1;         // the longest wait for 'D'; -1: while the receiver's connection stands
};

// What a sender waits for, told once each when the wait grows long.
enum class HandoverWait {
    kToTake,  // the receiver has not taken the line yet
    kToRun,   // the receiver has the line and has not reported it run
};

// Sends the line to the socket at `path`. With kNoReceiver and kUnfinished, `failure`
// (when given) receives what went wrong, for the log. `taken` (when given) runs once the
// receiver has the line, before the wait for its run; `waiting` (when given) is told
// when a wait passes acceptMs or doneMs.
HandoverResult SendCommandBlock(const std::string& path, const CommandBlock& line,
                                const HandoverTimeouts& timeouts = HandoverTimeouts(),
                                std::string* failure = nullptr, const std::function<void()>& taken = nullptr,
                                const std::function<void(HandoverWait)>& waiting = nullptr);

// Brings a top-level window to the front, restoring it when minimised. Nothing is done
// until the program has windows (a null window).
void RaiseWindow(void* window);

}  // namespace orva::platform
