#include "platform/clock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/cpu.h"
#include "test_support.h"

namespace orva::platform {
namespace {

TEST(PlatformClock, MonotonicClockAdvancesWithTime) {
    int64_t previous = MonotonicNs();
    for (int i = 0; i < 1000; ++i) {
        int64_t now = MonotonicNs();
        ASSERT_GE(now, previous);
        previous = now;
    }
    int64_t before = MonotonicNs();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int64_t slept = MonotonicNs() - before;
    EXPECT_GE(slept, 20000000);
    EXPECT_LT(slept, 5000000000);
}

using testing_util::ThreadUsageUs;

TEST(PlatformClock, ThreadCpuTimeCountsWorkNotSleep) {
    uint64_t start = ThreadCpuTime100ns();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    uint64_t afterSleep = ThreadCpuTime100ns();
    EXPECT_LT(afterSleep - start, 200000u);  // far less than the 50 ms slept

    // 30 ms of work by the kernel's resource accounting, an independent clock.
    uint64_t usageStart = ThreadUsageUs();
    testing_util::BusyForCpu(30000);
    uint64_t afterWork = ThreadCpuTime100ns();
    uint64_t used = ThreadUsageUs() - usageStart;
    EXPECT_GE(afterWork - afterSleep, 290000u);
    EXPECT_LE(afterWork - afterSleep, used * 10 + 20000);
}

TEST(PlatformClock, ThreadIdsDiffer) {
    uint64_t mine = CurrentThreadId();
    EXPECT_EQ(mine, static_cast<uint64_t>(::getpid()));  // the test runs on the main thread
    EXPECT_EQ(CurrentThreadId(), mine);
    uint64_t other = 0;
    std::thread([&other] { other = CurrentThreadId(); }).join();
    EXPECT_NE(other, 0u);
    EXPECT_NE(other, mine);
}

TEST(PlatformCpu, IdentificationAndTimeStamp) {
#if defined(__x86_64__)
    ASSERT_TRUE(CpuIdAvailable());
    CpuIdRegs leaf0;
    ASSERT_TRUE(CpuIdQuery(0, &leaf0));
    EXPECT_GE(leaf0.eax, 1u);
    char vendor[13] = {};
    std::memcpy(vendor, &leaf0.ebx, 4);
    std::memcpy(vendor + 4, &leaf0.edx, 4);
    std::memcpy(vendor + 8, &leaf0.ecx, 4);
    EXPECT_GT(std::strlen(vendor), 0u);
    // A leaf beyond the highest one is refused and leaves zeroed registers.
    CpuIdRegs beyond;
    beyond.eax = 7;
    EXPECT_FALSE(CpuIdQuery(leaf0.eax + 1, &beyond));
    EXPECT_EQ(beyond.eax, 0u);
    // Every x86-64 processor has MMX, SSE and SSE2.
    CpuIdRegs leaf1;
    ASSERT_TRUE(CpuIdQuery(1, &leaf1));
    EXPECT_EQ(leaf1.edx & (7u << 24 | 1u << 23), 7u << 24 | 1u << 23) << std::hex << leaf1.edx;
    uint64_t a = ReadTimeStampCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    uint64_t b = ReadTimeStampCounter();
    EXPECT_GT(b, a);
#else
    GTEST_SKIP() << "not an x86-64 processor";
#endif
    EXPECT_FALSE(CpuIdQuery(0, nullptr));
}

// The free processors never exceed the processors online less the calling thread, which
// runs while it asks.
TEST(PlatformCpu, IdleProcessorsLeaveOutTheCaller) {
    // The processors it may use: at least one, at most those online.
    EXPECT_GE(UsableProcessors(), 1);
    EXPECT_LE(UsableProcessors(), sysconf(_SC_NPROCESSORS_ONLN));
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    ASSERT_GT(online, 0);
    for (int i = 0; i < 20; ++i) {
        const int idle = IdleProcessors();
        EXPECT_GE(idle, 0);
        EXPECT_LE(idle, online - 1);
    }
}

}  // namespace
}  // namespace orva::platform
