#include "framework/handover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/global_commands.h"
#include "platform/fd_watch.h"
#include "platform/paths.h"
#include "test_support.h"

namespace orva {
namespace {

std::vector<std::string> gOpened;
int gClosed = 0;
int gWindow = 0;
const AppObject* gRunning = nullptr;  // the instance whose handler runs

// Opens as the shell would: the name taken in the folder of the line.
bool OpenDouble(const CommandRecord*, const CommandArgList* args, CommandContext* c) {
    for (const CommandArg& a : args ? *args : CommandArgList()) gOpened.push_back(gRunning->CommandPath(a.text));
    static_cast<MainSettings*>(c->userData)->bringToFront = 1;
    return true;
}
CommandRecord gBareOpen{"Open (file)", 0, nullptr, &OpenDouble, -1, nullptr, nullptr, 1};
CommandRecord* const kHandoverUiRecords[] = {&gBareOpen, nullptr};
const CommandInterface kHandoverUiIface{nullptr, "Projects", "Projects Iface", kHandoverUiRecords};

class HandoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        gOpened.clear();
        gClosed = 0;
    }
    // An application object with the "Global" interface and a user interface's double.
    void Prepare(AppObject& app) {
        app.SetAppDataFolder(root_);
        gRunning = &app;
        RegisterGlobalIface(app);
        CommandRegistryAdd(app.Registry(), ui_, kHandoverUiIface);
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

TEST_F(HandoverTest, ReceivedLinesRunInTheSendersFolderThenCloseOrComeForward) {
    AppObject app;
    Prepare(app);
    MainSettings& s = app.Settings();
    ReceiveCommandLine(app, {"a.fits", "/data/b.fits", "<NAME>c.fits", "-EXITDLG", "disable"}, "/home/u/obs");
    EXPECT_EQ(gOpened, (std::vector<std::string>{"/home/u/obs/a.fits", "/data/b.fits", "<NAME>c.fits"}));
    // The folder was the line's only: the own command line resolves in the current one.
    EXPECT_EQ(app.CommandPath("d.fits"), platform::CurrentDirectory() + "/d.fits");
    // Brought forward, nothing closed.
    EXPECT_EQ(std::tuple(s.exitDialog, s.bringToFront, gClosed), std::tuple(0, 0, 0));
    s.bringToFront = 1;
    ReceiveCommandLine(app, {});  // a start without arguments: only to the front
    EXPECT_EQ(s.bringToFront, 0);
    ReceiveCommandLine(app, {"--exit"});
    EXPECT_EQ(std::tuple(gClosed, s.quitRequest, s.exitDialog), std::tuple(1, 1, 0));
    EXPECT_EQ(log_.Text(),
              "Received command line: a.fits /data/b.fits <NAME>c.fits -EXITDLG disable\n"
              "Received command line: --exit\n");
}

// Serves the receiver of this process from a thread, as a main loop does.
class Loop {
public:
    Loop()
        : thread_([this] {
              while (!stop_) platform::FdWatchPollOnce(20);
          }) {}
    ~Loop() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(HandoverTest, LaterStartsHandOverToTheLowestInstanceThatTakesTheLine) {
    // Slot 1 runs without listening (an instance without windows); slot 3 listens.
    AppObject first, second, third;
    for (AppObject* app : {&first, &second, &third}) {
        Prepare(*app);
        ASSERT_TRUE(app->OpenInstanceCounter(kInstanceCounterName));
    }
    ASSERT_EQ(std::tuple(first.InstanceNumber(), second.InstanceNumber(), third.InstanceNumber()),
              std::tuple(1, 2, 3));
    EXPECT_EQ(second.OtherInstances(), (std::vector<int>{1, 3}));
    const std::string socket1 = HandoverSocketPathFor(first, 1), socket3 = HandoverSocketPathFor(first, 3);
    EXPECT_EQ(socket1, root_ + "/orvaCommonSharedData.1." +
                           platform::HandoverIdentity(std::getenv("DISPLAY"), first.UserFolder()) + ".sock");
    platform::HandoverTimeouts quick{100, 2000, 5000};

    // newinstance: a full instance of its own, nothing sent; the record forgets the byte.
    EXPECT_TRUE(HandOverCommandLine(second, {"b.fits", "--newinstance"}, quick));
    EXPECT_EQ(NewInstanceRecord().userData, nullptr);
    EXPECT_EQ(log_.Text(), "");
    // Nobody listens: every failure is logged and this start becomes a full instance
    // rather than dropping the line.
    EXPECT_TRUE(HandOverCommandLine(second, {"b.fits"}, quick));
    EXPECT_EQ(log_.Text(), "***can`t send cmd: " + socket1 + ": No such file or directory\n***can`t send cmd: " +
                               socket3 + ": No such file or directory\n");

    gRunning = &third;
    ASSERT_TRUE(StartCommandLineReceiver(third));
    {
        Loop loop;
        EXPECT_FALSE(HandOverCommandLine(second, {"c.fits", "/abs/d.fits"}, quick));
    }
    StopCommandLineReceiver();
    EXPECT_FALSE(CommandLineReceiverRunning());
    // Taken by the third, in the folder the line was typed in.
    EXPECT_EQ(gOpened, (std::vector<std::string>{platform::CurrentDirectory() + "/c.fits", "/abs/d.fits"}));
    EXPECT_EQ(log_.Text(), "***can`t send cmd: " + socket1 +
                               ": No such file or directory\nReceived command line: c.fits /abs/d.fits\n");
}

// An instance on another display (or with other settings) is no receiver: a start passes
// it over without a word and becomes an instance of its own; one on the same display
// takes the line.
TEST_F(HandoverTest, OnlyAnInstanceOfTheSameDisplayTakesTheLine) {
    AppObject first, second;
    for (AppObject* app : {&first, &second}) {
        Prepare(*app);
        ASSERT_TRUE(app->OpenInstanceCounter(kInstanceCounterName));
    }
    platform::HandoverTimeouts quick{100, 2000, 5000};
    {
        testing_util::ScopedEnv display{"DISPLAY", ":71"};
        gRunning = &first;
        ASSERT_TRUE(StartCommandLineReceiver(first));
    }
    {
        testing_util::ScopedEnv display{"DISPLAY", ":72.0"};
        Loop loop;
        EXPECT_TRUE(HandOverCommandLine(second, {"x.fits"}, quick));
    }
    EXPECT_EQ(log_.Text(), "");
    EXPECT_TRUE(gOpened.empty());
    {
        testing_util::ScopedEnv display{"DISPLAY", "unix:71.0"};
        Loop loop;
        EXPECT_FALSE(HandOverCommandLine(second, {"/abs/y.fits"}, quick));
    }
    StopCommandLineReceiver();
    EXPECT_EQ(gOpened, std::vector<std::string>{"/abs/y.fits"});
    EXPECT_EQ(log_.Text(), "Received command line: /abs/y.fits\n");
}

TEST_F(HandoverTest, AHungOrSlowOwnerNeverMakesTheLineRunTwice) {
    AppObject first, second;
    for (AppObject* app : {&first, &second}) {
        Prepare(*app);
        ASSERT_TRUE(app->OpenInstanceCounter(kInstanceCounterName));
    }
    platform::HandoverServer owner;
    ASSERT_TRUE(owner.Listen(HandoverSocketPathFor(first, 1)));
    int runs = 0;
    auto count = [&runs](const platform::CommandBlock&) { ++runs; };

    // An owner that takes connections but answers nothing, even after the longest wait (it
    // is hung): the sender says that it waits, then logs the failure and runs the line
    // itself; the owner, waking up later, drops it.
    EXPECT_TRUE(HandOverCommandLine(second, {"e.fits"}, {100, 200, 5000, 400}));
    EXPECT_EQ(log_.Text(), "The running program (1) is busy: waiting for it to take the command line\n"
                           "***can`t send cmd: " + HandoverSocketPathFor(first, 1) + ": no answer\n");
    EXPECT_FALSE(owner.ServeOne(count, 200));
    EXPECT_EQ(runs, 0);

    // An owner busy for longer than the first wait takes the line later: the sender waits
    // for it, says so, and ends once the line ran, which it did once.
    auto serveAfter = [&](int busyMs, int runMs) {
        return std::thread([&, busyMs, runMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(busyMs));
            while (!owner.ServeOne([&](const platform::CommandBlock& line) {
                std::this_thread::sleep_for(std::chrono::milliseconds(runMs));
                count(line);
            })) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
    };
    std::thread busy = serveAfter(500, 0);
    EXPECT_FALSE(HandOverCommandLine(second, {"e.fits"}, {100, 200, 5000}));
    busy.join();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(log_.Text(), "The running program (1) is busy: waiting for it to take the command line\n"
                           "The running program (1) ran the command line\n");

    // An owner that takes the line and is slow to run it (a question on its screen): the
    // sender waits for the run instead of calling the hand-over failed.
    std::thread slow = serveAfter(0, 300);
    EXPECT_FALSE(HandOverCommandLine(second, {"e.fits"}, {100, 2000, 50}));
    slow.join();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(log_.Text(), "The running program (1) has the command line and runs it once it is free: waiting\n"
                           "The running program (1) ran the command line\n");

    // With a limit on the wait for the run, a line not reported run in time is the owner's:
    // the sender says what happened and does not run it.
    std::thread late = serveAfter(0, 300);
    EXPECT_FALSE(HandOverCommandLine(second, {"e.fits"}, {100, 2000, 50, 2000, 100}));
    late.join();
    EXPECT_EQ(runs, 3);
    EXPECT_EQ(log_.Text(), "The running program (1) has the command line and runs it once it is free: waiting\n"
                           "***the running program (1) took the command line but did not report it run: "
                           "the line was not reported run\n");
}

}  // namespace
}  // namespace orva
