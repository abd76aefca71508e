#include "platform/disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

// findmnt's answer for a path ("" when it has none).
std::string FindMount(const std::string& path) {
    std::string command = "findmnt -n -o TARGET --target '" + path + "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
        pclose(p);
    }
    // Mounts stacked on one folder are listed once each: the folder is the answer.
    out = out.substr(0, out.find('\n'));
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

TEST(PlatformDisk, MountPointsAgreeWithFindmnt) {
    if (std::system("command -v findmnt >/dev/null 2>&1") != 0) GTEST_SKIP() << "findmnt not installed";
    const std::string tmp = std::filesystem::temp_directory_path().string();
    std::string folder = tmp + "/orva-mount-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string file = folder + "/data.fits";
    std::ofstream(file) << "x";
    int compared = 0;
    for (const std::string& path : {std::string("/"), std::string("/proc/self"), std::string("/sys/kernel"),
                                    std::string("/dev/shm"), tmp, folder, file}) {
        const std::string want = FindMount(path);
        if (want.empty()) continue;
        std::string got;
        EXPECT_TRUE(MountPoint(path.c_str(), &got)) << path;
        EXPECT_EQ(got, want) << path;
        ++compared;
    }
    EXPECT_GE(compared, 3);
    std::string untouched = "kept";
    EXPECT_FALSE(MountPoint("/nonexistent/orva/path", &untouched));
    EXPECT_FALSE(MountPoint("", &untouched));
    EXPECT_EQ(untouched, "kept");
    std::filesystem::remove_all(folder);
}

TEST(PlatformDisk, RemoveReleasingLaterTakesTheNameAtOnce) {
    std::string folder = std::filesystem::temp_directory_path().string() + "/orva-disk-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    for (size_t bytes : {size_t{100}, size_t{9} << 20}) {  // released here, and by the thread
        std::string path = folder + "/old.fits";
        {
            std::ofstream out(path, std::ios::binary);
            std::string block(1 << 20, 'x');
            for (size_t left = bytes; left > 0; left -= std::min(left, block.size()))
                out.write(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
        }
        ASSERT_EQ(std::filesystem::file_size(path), bytes);
        EXPECT_TRUE(RemoveFileReleasingLater(path.c_str()));
        EXPECT_FALSE(std::filesystem::exists(path));
        std::ofstream(path) << "new";  // the name is free for the replacement at once
        EXPECT_EQ(std::filesystem::file_size(path), 3u);
        std::filesystem::remove(path);
    }
    errno = 0;
    EXPECT_FALSE(RemoveFileReleasingLater((folder + "/missing").c_str()));
    EXPECT_EQ(errno, ENOENT);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orva::platform
