#include "platform/instance_slots.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace orva::platform {
namespace {

TEST(InstanceSlots, EachHolderTakesTheLowestFreeSlot) {
    testing_util::TempFolder folder;
    const std::string& dir = folder.Path();
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
}

TEST(InstanceSlots, ADeadProcessHoldsNoSlot) {
    testing_util::TempFolder folder;
    const std::string& dir = folder.Path();
    // One pipe for each direction, so that neither side reads back its own byte.
    int up[2], down[2];
    ASSERT_EQ(pipe(up), 0);
    ASSERT_EQ(pipe(down), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        InstanceSlots s(dir, "test");
        char ok = s.Acquire() ? 'y' : 'n';
        (void)!write(up[1], &ok, 1);
        char wait;
        (void)!read(down[0], &wait, 1);
        _exit(0);  // ends without giving the slot back, as a crash would
    }
    char ok = 0;
    ASSERT_EQ(read(up[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    InstanceSlots me(dir, "test");
    EXPECT_EQ(me.Count(), 1);
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    EXPECT_EQ(me.Count(), 0);
    ASSERT_TRUE(me.Acquire());
    EXPECT_EQ(me.Count(), 1);
    for (int fd : {up[0], up[1], down[0], down[1]}) close(fd);
}

}  // namespace
}  // namespace orva::platform
