#include "framework/handover.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/global_commands.h"
#include "platform/fd_watch.h"

namespace orva {
namespace {

std::string gLog;
std::vector<std::string> gOpened;
int gClosed = 0;
int gWindow = 0;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool OpenDouble(const CommandRecord*, const CommandArgList* args, CommandContext* c) {
    for (const CommandArg& a : args ? *args : CommandArgList()) gOpened.push_back(a.text);
    static_cast<MainSettings*>(c->userData)->bringToFront = 1;
    return true;
}
CommandRecord gBareOpen{"Open (file)", 0, nullptr, &OpenDouble, -1, nullptr, nullptr, 1};
CommandRecord* const kUiRecords[] = {&gBareOpen, nullptr};
const CommandInterface kUiIface{nullptr, "Projects", "Projects Iface", kUiRecords};

class HandoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orva_handfw_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        setenv("XDG_RUNTIME_DIR", root_.c_str(), 1);
        gLog = root_ + "/test.log";
        LogResetForTest();
        LogSetOpener([]() -> FILE* { return std::fopen(gLog.c_str(), "w"); });
        gOpened.clear();
        gClosed = 0;
    }
    void TearDown() override {
        LogResetForTest();
        ASSERT_EQ(system(("rm -rf '" + root_ + "'").c_str()), 0);
    }
    // An application object with the "Global" interface and a user interface's double.
    void Prepare(AppObject& app) {
        app.SetAppDataFolder(root_);
        RegisterGlobalIface(app);
        CommandRegistryAdd(app.Registry(), ui_, kUiIface);
        app.SetUiCommandOwner(&ui_, &app.Settings());
        AppServices s;
        s.mainWindow = []() -> void* { return &gWindow; };
        s.closeMainWindow = [] { ++gClosed; };
        app.SetServices(s);
    }
    std::string root_;
    CommandOwner ui_;
};

TEST_F(HandoverTest, ReceivedLinesRunThenCloseOrComeForward) {
    AppObject app;
    Prepare(app);
    MainSettings& s = app.Settings();
    ReceiveCommandLine(app, {"a.fits", "-EXITDLG", "disable"});
    EXPECT_EQ(gOpened, (std::vector<std::string>{"a.fits"}));
    EXPECT_EQ(s.exitDialog, 0);
    EXPECT_EQ(s.bringToFront, 0);  // acted on
    EXPECT_EQ(gClosed, 0);
    s.bringToFront = 1;
    ReceiveCommandLine(app, {});  // a start without arguments: only to the front
    EXPECT_EQ(s.bringToFront, 0);
    ReceiveCommandLine(app, {"--exit"});
    EXPECT_EQ(gClosed, 1);
    EXPECT_EQ(s.quitRequest, 1);
    EXPECT_EQ(s.exitDialog, 0);
    EXPECT_EQ(ReadFile(gLog), "Received command line: a.fits -EXITDLG disable\nReceived command line: --exit\n");
}

TEST_F(HandoverTest, SecondStartDecides) {
    AppObject first, second;
    Prepare(first);
    Prepare(second);
    platform::HandoverTimeouts quick{100, 2000, 5000};
    // newinstance: a full instance of its own, nothing sent; the record forgets the byte.
    EXPECT_TRUE(HandOverCommandLine(second, {"b.fits", "--newinstance"}, quick));
    EXPECT_EQ(NewInstanceRecord().userData, nullptr);
    // Nobody listens: this start becomes a full instance rather than dropping the line.
    EXPECT_TRUE(HandOverCommandLine(second, {"b.fits"}, quick));
    EXPECT_FALSE(CommandLineReceiverRunning());

    ASSERT_TRUE(StartCommandLineReceiver(first));
    std::atomic<bool> stop{false};
    std::thread loop([&] {
        while (!stop) platform::FdWatchPollOnce(20);
    });
    EXPECT_FALSE(HandOverCommandLine(second, {"c.fits", "d.fits"}, quick));
    EXPECT_EQ(gOpened, (std::vector<std::string>{"c.fits", "d.fits"}));
    stop = true;
    loop.join();
    StopCommandLineReceiver();
    EXPECT_FALSE(CommandLineReceiverRunning());

    // A receiver that takes the line but does not finish in time: the sender ends anyway
    // (the line must not run twice) and logs the failed send.
    platform::HandoverServer slow;
    ASSERT_TRUE(slow.Listen(HandoverSocketPathFor(first)));
    std::thread serve([&] {
        while (!slow.ServeOne([](const std::vector<std::string>&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        })) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    EXPECT_FALSE(HandOverCommandLine(second, {"e.fits"}, {100, 2000, 50}));
    serve.join();
    EXPECT_NE(ReadFile(gLog).find("***can`t send cmd\n"), std::string::npos);
}

}  // namespace
}  // namespace orva
