#include "platform/handover_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/fd_watch.h"
#include "test_support.h"

namespace orva::platform {
namespace {

using testing_util::Exists;

TEST(HandoverBlock, ByteExactFramingAndItsChecks) {
    CommandBlock line{"/home/u", {"ab", "", "c d"}};
    std::string block = EncodeCommandBlock(line);
    const char expected[] = "CMDI\x10\x00\x00\x00" "/home/u\0ab\0\0c d";  // + the final NUL of the literal
    ASSERT_EQ(block, std::string(expected, sizeof expected));
    CommandBlock back;
    ASSERT_TRUE(DecodeCommandBlock(block.data(), block.size(), &back));
    EXPECT_EQ(back, line);
    // No folder and no words: only the folder's terminator.
    EXPECT_EQ(EncodeCommandBlock({}), std::string("CMDI\1\0\0\0\0", 9));
    ASSERT_TRUE(DecodeCommandBlock("CMDI\1\0\0\0\0", 9, &back));
    EXPECT_EQ(back, CommandBlock());

    std::string bad = block;
    bad[3] = 'X';  // tag
    EXPECT_FALSE(DecodeCommandBlock(bad.data(), bad.size(), &back));
    EXPECT_FALSE(DecodeCommandBlock(block.data(), block.size() - 1, &back));  // length
    bad = block;
    bad.back() = 'x';  // no final NUL
    EXPECT_FALSE(DecodeCommandBlock(bad.data(), bad.size(), &back));
    EXPECT_FALSE(DecodeCommandBlock(block.data(), 7, &back));
    EXPECT_FALSE(DecodeCommandBlock("CMDI\0\0\0\0", 8, &back));  // not even a folder
    EXPECT_FALSE(DecodeCommandBlock("CMDI\xff\xff\xff\xff", 8, &back));
    EXPECT_EQ(back, CommandBlock());

    EXPECT_EQ(HandoverSocketPath("/run/user/1", "orvaCommonSharedData"), "/run/user/1/orvaCommonSharedData.sock");
    EXPECT_EQ(HandoverSocketPath("/" + std::string(100, 'x'), "n"), "");
    EXPECT_EQ(HandoverSocketPath("", "n"), "");
}

// One identity per X server and settings folder, however the server is spelt.
TEST(HandoverBlock, IdentityOfTheDisplayAndSettingsFolder) {
    const std::string folder = "/h/ZEL Lab/";
    const std::string first = HandoverIdentity(":71", folder);
    EXPECT_EQ(first, "6370f031");  // FNV-1a 64 of ":71", NUL, the folder; halves xor-ed
    for (const char* same : {":71.0", ":71.1", "unix:71", "localhost:71.0"})
        EXPECT_EQ(HandoverIdentity(same, folder), first) << same;
    for (const char* other : {":72", "host:71", ":7", ""})
        EXPECT_NE(HandoverIdentity(other, folder), first) << other;
    EXPECT_NE(HandoverIdentity(":71", "/g/ZEL Lab/"), first);
    EXPECT_EQ(HandoverIdentity(nullptr, folder), HandoverIdentity("", folder));
}

// Serves the socket from a thread that polls the fd watch, as a main loop does.
class Serving {
public:
    explicit Serving(HandoverServer& server, int delayMs = 0) : server_(server) {
        FdWatchAdd(server.Fd(), [this, delayMs](int) {
            server_.ServeOne([this, delayMs](const CommandBlock& line) {
                if (delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                received_ = line.words;
                ++served_;
            });
        });
        thread_ = std::thread([this] {
            while (!stop_) FdWatchPollOnce(20);
        });
    }
    ~Serving() {
        stop_ = true;
        thread_.join();
        FdWatchRemove(server_.Fd());
    }
    int Served() const { return served_; }
    std::vector<std::string> Received() const { return received_; }

private:
    HandoverServer& server_;
    std::vector<std::string> received_;
    std::atomic<int> served_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(HandoverSocket, LinesArriveAndTheSenderWaitsForTheRun) {
    testing_util::TempFolder folder;
    const std::string& dir = folder.Path();
    std::string path = HandoverSocketPath(dir, "test");
    HandoverTimeouts quick{100, 2000, 5000};
    std::string why;
    EXPECT_EQ(SendCommandBlock(path, {"", {"a"}}, quick, &why), HandoverResult::kNoReceiver);
    EXPECT_EQ(why, "No such file or directory");
    {
        HandoverServer server;
        ASSERT_TRUE(server.Listen(path));
        HandoverServer rival;
        EXPECT_FALSE(rival.Listen(path));  // a live owner keeps its socket
        {
            Serving serving(server, 150);
            EXPECT_EQ(SendCommandBlock(path, {"/d", {"-open", "a b.fits"}}, quick), HandoverResult::kDone);
            // The answer came after the run.
            EXPECT_EQ(serving.Served(), 1);
            EXPECT_EQ(serving.Received(), (std::vector<std::string>{"-open", "a b.fits"}));
            EXPECT_EQ(SendCommandBlock(path, {"/d", {}}, quick), HandoverResult::kDone);
            EXPECT_TRUE(serving.Received().empty());
        }
        {
            // A receiver busy with the line: the sender is told that it waits, once, and
            // waits for the run while the receiver's connection stands.
            Serving slow(server, 400);
            std::vector<HandoverWait> told;
            EXPECT_EQ(SendCommandBlock(path, {"/d", {"w"}}, {100, 2000, 50}, &why, nullptr,
                                       [&](HandoverWait w) { told.push_back(w); }),
                      HandoverResult::kDone);
            EXPECT_EQ(told, std::vector<HandoverWait>{HandoverWait::kToRun});
            EXPECT_EQ(slow.Received(), std::vector<std::string>{"w"});
            // With a limit on the wait for the run: accepted but not run in time, the line
            // is the receiver's now.
            EXPECT_EQ(SendCommandBlock(path, {"/d", {"x"}}, {100, 2000, 50, 2000, 100}, &why),
                      HandoverResult::kUnfinished);
            EXPECT_EQ(why, "the line was not reported run");
        }
        // Nobody serves: no acceptance within the longest wait, told once it grew long.
        std::vector<HandoverWait> told;
        EXPECT_EQ(SendCommandBlock(path, {"/d", {"y"}}, {100, 100, 100, 300}, &why, nullptr,
                                   [&](HandoverWait w) { told.push_back(w); }),
                  HandoverResult::kNoReceiver);
        EXPECT_EQ(why, "no answer");
        EXPECT_EQ(told, std::vector<HandoverWait>{HandoverWait::kToTake});
        // The sender gave up and runs the line itself: a late receiver must not run it too.
        EXPECT_FALSE(server.ServeOne([](const CommandBlock&) { ADD_FAILURE(); }, 50));
        EXPECT_FALSE(server.ServeOne([](const CommandBlock&) { ADD_FAILURE(); }, 50));
    }
    EXPECT_FALSE(Exists(path));  // closing removes the socket file
}

TEST(HandoverSocket, StaleSocketIsReplacedOtherFilesStay) {
    testing_util::TempFolder folder;
    const std::string& dir = folder.Path();
    std::string path = HandoverSocketPath(dir, "test");
    // A socket file whose owner died without removing it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(Exists(path));
    {
        HandoverServer server;
        EXPECT_TRUE(server.Listen(path));
    }
    testing_util::WriteText(path, "not a socket");
    HandoverServer server;
    EXPECT_FALSE(server.Listen(path));
    EXPECT_TRUE(Exists(path));
    // A block that is not ours gets no answer and runs nothing.
    std::string other = HandoverSocketPath(dir, "other");
    ASSERT_TRUE(server.Listen(other));
    int c = ::socket(AF_UNIX, SOCK_STREAM, 0);
    std::strcpy(addr.sun_path, other.c_str());
    ASSERT_EQ(::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::write(c, "XMDI\0\0\0\0", 8), 8);
    EXPECT_FALSE(server.ServeOne([](const CommandBlock&) { ADD_FAILURE(); }, 500));
    char answer = 0;
    EXPECT_EQ(::read(c, &answer, 1), 0);
    ::close(c);
}

TEST(FdWatch, HandlersRunForReadableDescriptors) {
    int a[2], b[2];
    ASSERT_EQ(::pipe(a), 0);
    ASSERT_EQ(::pipe(b), 0);
    std::vector<int> runs;
    EXPECT_FALSE(FdWatchAdd(-1, [](int) {}));
    EXPECT_FALSE(FdWatchAdd(a[0], nullptr));
    ASSERT_TRUE(FdWatchAdd(a[0], [&](int fd) {
        char c;
        EXPECT_EQ(::read(fd, &c, 1), 1);
        runs.push_back(1);
        FdWatchRemove(b[0]);  // a handler may change the registry
    }));
    ASSERT_TRUE(FdWatchAdd(b[0], [&](int) { runs.push_back(2); }));
    EXPECT_EQ(FdWatchPollOnce(0), 0);
    ASSERT_EQ(::write(a[1], "x", 1), 1);
    ASSERT_EQ(::write(b[1], "y", 1), 1);
    // The snapshot loop of an outside poller: the entry removed in the round is skipped.
    std::vector<FdWatchEntry> snapshot = FdWatchSnapshot();
    ASSERT_GE(snapshot.size(), 2u);
    for (const FdWatchEntry& e : snapshot)
        if (e.fd == a[0] || e.fd == b[0]) FdWatchRun(e, 1);
    EXPECT_EQ(runs, (std::vector<int>{1}));
    EXPECT_FALSE(FdWatchHas(b[0]));
    ASSERT_EQ(::write(a[1], "z", 1), 1);
    EXPECT_EQ(FdWatchPollOnce(1000), 1);
    EXPECT_EQ(runs, (std::vector<int>{1, 1}));
    FdWatchRemove(a[0]);
    EXPECT_FALSE(FdWatchDispatch(a[0]));
    for (int fd : {a[0], a[1], b[0], b[1]}) ::close(fd);
}

}  // namespace
}  // namespace orva::platform
