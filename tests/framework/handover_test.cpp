#include "framework/handover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/global_commands.h"
#include "platform/fd_watch.h"
#include "test_support.h"

namespace orva {
namespace {

std::vector<std::string> gOpened;
int gClosed = 0;
int gWindow = 0;

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
        gOpened.clear();
        gClosed = 0;
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
    testing_util::TempFolder folder_;
    const std::string& root_ = folder_.Path();
    testing_util::ScopedEnv runtime_{"XDG_RUNTIME_DIR", root_};
    testing_util::ProgramLogCapture log_;
    CommandOwner ui_;
};

TEST_F(HandoverTest, ReceivedLinesRunThenCloseOrComeForward) {
    AppObject app;
    Prepare(app);
    MainSettings& s = app.Settings();
    ReceiveCommandLine(app, {"a.fits", "-EXITDLG", "disable"});
    EXPECT_EQ(gOpened, (std::vector<std::string>{"a.fits"}));
    // Brought forward, nothing closed.
    EXPECT_EQ(std::tuple(s.exitDialog, s.bringToFront, gClosed), std::tuple(0, 0, 0));
    s.bringToFront = 1;
    ReceiveCommandLine(app, {});  // a start without arguments: only to the front
    EXPECT_EQ(s.bringToFront, 0);
    ReceiveCommandLine(app, {"--exit"});
    EXPECT_EQ(std::tuple(gClosed, s.quitRequest, s.exitDialog), std::tuple(1, 1, 0));
    EXPECT_EQ(log_.Text(),
              "Received command line: a.fits -EXITDLG disable\nReceived command line: --exit\n");
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
    EXPECT_NE(log_.Text().find("***can`t send cmd\n"), std::string::npos);
}

}  // namespace
}  // namespace orva
