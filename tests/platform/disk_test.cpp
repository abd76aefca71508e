#include "platform/disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// A mount table in the kernel's form: the longest mount point holding the path wins, the
// later of two stacked on one folder lies on top, escaped blanks are read, a folder whose
// name only begins like a mount point is not under it, and lines without the "-"
// separator are skipped.
TEST(PlatformDisk, MountFromTableTakesTheLongestHoldingEntry) {
    const std::string table =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "30 22 0:26 / /mnt/data rw shared:5 master:2 - xfs /dev/sdb1 rw\n"
        "31 22 0:27 / /mnt/data rw - nfs4 server:/export rw\n"
        "32 22 0:28 / /mnt/my\\040disk rw - vfat /dev/sdc1 rw\n"
        "33 22 0:29 / /dev/shm rw,nosuid - tmpfs tmpfs rw\n"
        "34 22 0:30 / /broken rw no-separator here\n";
    const struct {
        const char* path;
        bool found;
        const char* mount;
        const char* type;
        const char* source;
    } cases[] = {
        {"/home/user/a.fits", true, "/", "ext4", "/dev/sda1"},
        {"/mnt/data", true, "/mnt/data", "nfs4", "server:/export"},
        {"/mnt/data/x/y.raw", true, "/mnt/data", "nfs4", "server:/export"},
        {"/mnt/database/z", true, "/", "ext4", "/dev/sda1"},
        {"/mnt/my disk/f", true, "/mnt/my disk", "vfat", "/dev/sdc1"},
        {"/dev/shm/q", true, "/dev/shm", "tmpfs", "tmpfs"},
        {"/broken/file", true, "/", "ext4", "/dev/sda1"},
        {"relative/path", false, "", "", ""},
    };
    for (const auto& c : cases) {
        MountDescription m;
        m.label = "kept";
        EXPECT_EQ(MountFromTable(table, c.path, &m), c.found) << c.path;
        if (!c.found) continue;
        EXPECT_EQ(m.mountPoint, c.mount) << c.path;
        EXPECT_EQ(m.fsType, c.type) << c.path;
        EXPECT_EQ(m.source, c.source) << c.path;
        EXPECT_EQ(m.label, "kept") << c.path;
    }
    MountDescription none;
    EXPECT_FALSE(MountFromTable("", "/a", &none));
    EXPECT_FALSE(MountFromTable(table, "/a", nullptr));
}

// This process's mounts agree with findmnt's mount point and file-system type.
TEST(PlatformDisk, DescribeMountAgreesWithFindmnt) {
    if (std::system("command -v findmnt >/dev/null 2>&1") != 0) GTEST_SKIP() << "findmnt not installed";
    const std::string tmp = std::filesystem::temp_directory_path().string();
    int compared = 0;
    for (const std::string& path : {std::string("/"), std::string("/proc/self"), std::string("/dev/shm"), tmp}) {
        std::string out;
        const std::string command = "findmnt -n -o TARGET,FSTYPE --target '" + path + "' 2>/dev/null";
        if (FILE* p = popen(command.c_str(), "r")) {
            char buffer[512];
            if (fgets(buffer, sizeof buffer, p) != nullptr) out = buffer;
            pclose(p);
        }
        const size_t space = out.find_last_of(" \t", out.find_last_not_of(" \n"));
        if (out.empty() || space == std::string::npos) continue;
        std::string target = out.substr(0, space), type = out.substr(space + 1);
        while (!target.empty() && target.back() == ' ') target.pop_back();
        while (!type.empty() && (type.back() == '\n' || type.back() == ' ')) type.pop_back();
        MountDescription m;
        ASSERT_TRUE(DescribeMount(path.c_str(), &m)) << path;
        EXPECT_EQ(m.mountPoint, target) << path;
        EXPECT_EQ(m.fsType, type) << path;
        ++compared;
    }
    EXPECT_GE(compared, 2);
    MountDescription untouched;
    untouched.mountPoint = "kept";
    EXPECT_FALSE(DescribeMount("/nonexistent/orva/path", &untouched));
    EXPECT_FALSE(DescribeMount("", &untouched));
    EXPECT_EQ(untouched.mountPoint, "kept");
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

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, size_t bytes, char fill) {
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, fill);
    for (size_t left = bytes; left > 0; left -= std::min(left, block.size()))
        out.write(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
}

TEST(PlatformDisk, ReplaceReleasingLaterRenamesInOneStep) {
    std::string folder = std::filesystem::temp_directory_path().string() + "/orva-disk-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string from = folder + "/new.tmp", to = folder + "/old.fits", other = folder + "/other.fits";
    // Old file size (none, small: released in place, big: by the thread) and whether it has
    // a second name (then the rename frees nothing and the other name keeps the old data).
    struct Case {
        size_t oldBytes;
        bool exists;
        bool linked;
    };
    const Case cases[] = {{0, false, false}, {100, true, false}, {size_t{9} << 20, true, false},
                          {size_t{9} << 20, true, true}};
    for (const Case& c : cases) {
        if (c.exists) WriteBytes(to, c.oldBytes, 'o');
        if (c.linked) std::filesystem::create_hard_link(to, other);
        std::ofstream(from) << "replacement";
        // A reader that opened the old file keeps reading it after the replacement.
        std::ifstream reader;
        if (c.exists) reader.open(to, std::ios::binary);
        EXPECT_TRUE(ReplaceFileReleasingLater(from.c_str(), to.c_str())) << c.oldBytes;
        EXPECT_FALSE(std::filesystem::exists(from));
        EXPECT_EQ(ReadWhole(to), "replacement") << c.oldBytes;
        if (c.exists) {
            char first = 0;
            reader.read(&first, 1);
            EXPECT_EQ(first, 'o') << c.oldBytes;
        }
        if (c.linked) {
            EXPECT_EQ(std::filesystem::file_size(other), c.oldBytes);
            std::filesystem::remove(other);
        }
        std::filesystem::remove(to);
    }
    // A failed rename leaves the old file as it was.
    WriteBytes(to, size_t{5} << 20, 'k');
    errno = 0;
    EXPECT_FALSE(ReplaceFileReleasingLater((folder + "/missing").c_str(), to.c_str()));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(std::filesystem::file_size(to), size_t{5} << 20);
    EXPECT_EQ(ReadWhole(to).substr(0, 4), "kkkk");
    EXPECT_FALSE(ReplaceFileReleasingLater("", to.c_str()));
    EXPECT_FALSE(ReplaceFileReleasingLater(nullptr, to.c_str()));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orva::platform
