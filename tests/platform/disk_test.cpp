#include "platform/disk.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace orva::platform {
namespace {

TEST(PlatformDisk, FreeSpaceAgreesWithTheLibrary) {
    std::string tmp = std::filesystem::temp_directory_path().string();
    uint64_t caller = 0, total = 0, free = 0;
    ASSERT_TRUE(DiskFreeSpace(tmp.c_str(), &caller, &total, &free));
    std::filesystem::space_info ref = std::filesystem::space(tmp);
    EXPECT_EQ(total, ref.capacity);
    EXPECT_GT(total, 0u);
    EXPECT_LE(caller, free);
    EXPECT_LE(free, total);
    // The free counts move with other writers; they stay within 64 MB of the reference.
    const uint64_t slack = 64ull << 20;
    EXPECT_LE(caller > ref.available ? caller - ref.available : ref.available - caller, slack);
    EXPECT_LE(free > ref.free ? free - ref.free : ref.free - free, slack);

    // Null outputs are allowed.
    EXPECT_TRUE(DiskFreeSpace(tmp.c_str(), nullptr, &total, nullptr));
    uint64_t untouched = 12345;
    EXPECT_FALSE(DiskFreeSpace("/nonexistent/orva/path", &untouched, nullptr, nullptr));
    EXPECT_EQ(untouched, 12345u);
    EXPECT_FALSE(DiskFreeSpace("", nullptr, nullptr, nullptr));
    EXPECT_FALSE(DiskFreeSpace(nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
}  // namespace orva::platform
