// The program itself, started more than once: the second start hands its line
// to the first.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using orva::testing_util::Exists;
using orva::testing_util::ReadText;

class HandoverProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        mkdir(config_.c_str(), 0700);
        mkdir(runtime_.c_str(), 0700);
    }
    void TearDown() override {
        if (first_ > 0) {
            kill(first_, SIGKILL);
            waitpid(first_, nullptr, 0);
        }
    }

    // Starts an instance that keeps running, with or without an answer for message boxes.
    void Spawn(bool answerBoxes) {
        first_ = fork();
        ASSERT_GE(first_, 0);
        if (first_ == 0) {
            setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
            if (answerBoxes) setenv("ORVA_MESSAGEBOX_ANSWER", "1", 1);
            setenv("ORVA_TEST_HEADLESS_LOOP", "1", 1);
            execl(ORVA_BINARY_DIR "/orva", "orva", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    // Starts a first instance that keeps running, and waits until it takes lines.
    void StartFirst() {
        if (Exists(socket_)) unlink(socket_.c_str());
        Spawn(true);
        for (int i = 0; i < 400 && !Exists(socket_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        ASSERT_TRUE(Exists(socket_));
    }
    // The exit status of the first instance, waiting up to 20 s; -1 when it does not end.
    int WaitFirst() {
        for (int i = 0; i < 800; ++i) {
            int status = 0;
            if (waitpid(first_, &status, WNOHANG) == first_) {
                first_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return -1;
    }
    // Runs the program to its end and answers its exit status.
    int Run(const std::vector<std::string>& args) {
        return orva::testing_util::RunProgram(
            ORVA_BINARY_DIR "/orva",
            {"XDG_CONFIG_HOME=" + config_, "XDG_RUNTIME_DIR=" + runtime_, "ORVA_MESSAGEBOX_ANSWER=1"},
            args);
    }

    orva::testing_util::TempFolder folder_;
    std::string config_ = folder_.File("config"), runtime_ = folder_.File("run");
    std::string log_ = config_ + "/ZEL Lab/orva.log", socket_ = runtime_ + "/orvaCommonSharedData.sock";
    pid_t first_ = 0;
};

TEST_F(HandoverProgramTest, SecondStartsHandOverAskForTheirOwnInstanceOrCloseTheFirst) {
    StartFirst();
    EXPECT_EQ(Run({"c d.fits"}), 0);
    std::string log = ReadText(log_);
    for (const char* line : {"Received command line: c d.fits\n", "Projects stand-in: open c d.fits\n"})
        EXPECT_NE(log.find(line), std::string::npos) << log;

    // An instance of its own: number 2, its own log; the first sees nothing.
    EXPECT_EQ(Run({"--NewInstance"}), 0);
    EXPECT_NE(ReadText(config_ + "/ZEL Lab/orva2.log").find("***Can`t init CUI, Exit!\n"),
              std::string::npos);
    EXPECT_EQ(ReadText(log_).find("newinstance"), std::string::npos);

    // exit closes the first instance.
    EXPECT_EQ(Run({"-exit"}), 0);
    EXPECT_EQ(WaitFirst(), 0);
    EXPECT_NE(ReadText(log_).find("Received command line: -exit\n"), std::string::npos);
}

TEST_F(HandoverProgramTest, AKilledFirstInstanceLeavesNothingBehind) {
    StartFirst();
    kill(first_, SIGKILL);
    waitpid(first_, nullptr, 0);
    first_ = 0;
    ASSERT_TRUE(Exists(socket_));  // left behind by the dead owner
    // The next start is a first instance again and takes over the socket.
    Spawn(false);
    std::string log;
    for (int i = 0; i < 400 && log.find("Stand-in UI: headless loop") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        log = ReadText(log_);
    }
    ASSERT_NE(log.find("Stand-in UI: headless loop"), std::string::npos);
    EXPECT_FALSE(Exists(config_ + "/ZEL Lab/orva2.log"));
    EXPECT_EQ(Run({"f.fits"}), 0);
    log = ReadText(log_);
    for (int i = 0; i < 200 && log.find("Projects stand-in: open f.fits\n") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        log = ReadText(log_);
    }
    EXPECT_NE(log.find("Projects stand-in: open f.fits\n"), std::string::npos)
        << log << "\n--- orva2.log:\n" << ReadText(config_ + "/ZEL Lab/orva2.log");
    // SIGTERM ends the loop in order.
    kill(first_, SIGTERM);
    EXPECT_EQ(WaitFirst(), 0);
    EXPECT_FALSE(Exists(socket_));
}

TEST_F(HandoverProgramTest, ExitOnAFirstInstanceRunsTheLineWithoutUserInterface) {
    std::string list = ORVA_BINARY_DIR "/cmdlist.txt";
    unlink(list.c_str());
    EXPECT_EQ(Run({"g.fits", "--keylist", "--EXIT"}), 0);
    EXPECT_EQ(ReadText(list), ReadText(ORVA_SOURCE_DIR "/tests/framework/cmdlist_golden.txt"));
    std::string log = ReadText(log_);
    EXPECT_NE(log.find("Projects stand-in: open g.fits\n"), std::string::npos) << log;
    for (const char* absent : {"init UI", "init CUI"})
        EXPECT_EQ(log.find(absent), std::string::npos) << log;
    // No settings are written in this mode.
    EXPECT_FALSE(Exists(config_ + "/ZEL Lab/orva.cfg") || Exists(socket_));
}

}  // namespace
