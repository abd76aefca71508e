#include "platform/instance_slots.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace orva::platform {
namespace {

std::string TempDir() {
    char pattern[] = "/tmp/orva_slots_XXXXXX";
    char* d = mkdtemp(pattern);
    return d ? d : "";
}

TEST(InstanceSlots, EachHolderTakesTheLowestFreeSlot) {
    std::string dir = TempDir();
    InstanceSlots a(dir, "test"), b(dir, "test"), c(dir, "test");
    EXPECT_EQ(a.Count(), 0);
    ASSERT_TRUE(a.Acquire());
    ASSERT_TRUE(b.Acquire());
    EXPECT_EQ(a.Count(), 2);
    a.Release();
    EXPECT_EQ(b.Count(), 1);
    // The freed first slot is taken again.
    ASSERT_TRUE(c.Acquire());
    EXPECT_EQ(c.Count(), 2);
    EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

TEST(InstanceSlots, ADeadProcessHoldsNoSlot) {
    std::string dir = TempDir();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        InstanceSlots s(dir, "test");
        char ok = s.Acquire() ? 'y' : 'n';
        (void)!write(fds[1], &ok, 1);
        char wait;
        (void)!read(fds[0], &wait, 1);
        _exit(0);  // ends without giving the slot back, as a crash would
    }
    char ok = 0;
    ASSERT_EQ(read(fds[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    InstanceSlots me(dir, "test");
    EXPECT_EQ(me.Count(), 1);
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    EXPECT_EQ(me.Count(), 0);
    ASSERT_TRUE(me.Acquire());
    EXPECT_EQ(me.Count(), 1);
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

}  // namespace
}  // namespace orva::platform
