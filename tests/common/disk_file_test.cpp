#include "common/disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "common/paths.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

std::set<std::string> Names(const TempFolder& dir) {
    std::vector<std::string> files = dir.Files();
    return std::set<std::string>(files.begin(), files.end());
}

// A file whose body is a fixed text; the body can be made to fail.
class TextFile : public DiskFile {
public:
    using DiskFile::DiskFile;
    bool Load() override {
        loaded.clear();
        int c;
        while ((c = std::fgetc(Stream())) != EOF) loaded += static_cast<char>(c);
        return !failLoad;
    }
    bool Save() override {
        std::fputs(body.c_str(), Stream());
        if (throwSave) throw std::bad_alloc();
        return !failSave;
    }
    void OnFailed() override { ++failures; }
    std::string body = "new";
    std::string loaded;
    bool failSave = false;
    bool throwSave = false;
    bool failLoad = false;
    int failures = 0;
};

TEST(DiskFile, TempCopyFailingBodyLeavesOldFileAndNoTemp) {
    TempFolder dir;
    WriteText(dir.File("a.cfg"), "old");
    TextFile file(dir.File("a.cfg").c_str(), 0x44);
    file.failSave = true;
    EXPECT_FALSE(file.SaveFile());
    EXPECT_EQ(file.failures, 1);
    EXPECT_TRUE(file.IsOpen());  // stays open until the next Close
    EXPECT_EQ(std::string(file.TempName()).rfind(dir.Path() + "/a.c", 0), 0u);  // prefix, same folder
    EXPECT_FALSE(file.Close());
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "old");
    EXPECT_EQ(Names(dir), std::set<std::string>{"a.cfg"});

    // The same object then succeeds: the target is replaced, nothing else remains.
    file.failSave = false;
    EXPECT_TRUE(file.SaveFile() && file.Accepted());
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "new");
    EXPECT_EQ(Names(dir), std::set<std::string>{"a.cfg"});
    // A new file gets ordinary permissions, not the private ones of mkstemp.
    struct stat st;
    ASSERT_EQ(::stat(dir.File("b.cfg").c_str(), &st), -1);
    TextFile fresh(dir.File("b.cfg").c_str(), 0x44);
    ASSERT_TRUE(fresh.SaveFile());
    mode_t mask = ::umask(022);
    ::umask(mask);
    ASSERT_EQ(::stat(dir.File("b.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(DiskFile, SavingThroughALinkKeepsTheLinkAndTheTargetsMode) {
    TempFolder dir, dots;
    // A dotfiles set-up: the name is a relative link into another folder, through a
    // second link; the target is private.
    WriteText(dots.File("real.cfg"), "old");
    ASSERT_EQ(chmod(dots.File("real.cfg").c_str(), 0600), 0);
    ASSERT_EQ(symlink(dots.File("real.cfg").c_str(), dots.File("hop.cfg").c_str()), 0);
    ASSERT_EQ(symlink((dots.Path() + "/hop.cfg").c_str(), dir.File("a.cfg").c_str()), 0);
    EXPECT_EQ(ResolveLinks(dir.File("a.cfg")), dots.File("real.cfg"));
    TextFile file(dir.File("a.cfg").c_str(), 0x244);  // with a backup
    ASSERT_TRUE(file.SaveFile());
    struct stat st;
    ASSERT_EQ(lstat(dir.File("a.cfg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(dots.File("real.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "new");
    EXPECT_EQ(ReadText(dots.File("real.cfg.bak")), "old");
    EXPECT_EQ(Names(dir), (std::set<std::string>{"a.cfg"}));
    // A dangling link: its target is made.
    ASSERT_EQ(symlink(dots.File("later.cfg").c_str(), dir.File("b.cfg").c_str()), 0);
    TextFile later(dir.File("b.cfg").c_str(), 0x44);
    ASSERT_TRUE(later.SaveFile());
    EXPECT_EQ(ReadText(dots.File("later.cfg")), "new");
    ASSERT_EQ(lstat(dir.File("b.cfg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(DiskFile, OnlyRegularFilesAreReadOrReplaced) {
    TempFolder dir;
    ASSERT_EQ(mkfifo(dir.File("fifo.cfg").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.File("zero.cfg").c_str()), 0);
    for (const char* name : {"fifo.cfg", "zero.cfg"}) {
        // Refused at once: no wait for a writer, no endless read.
        TextFile file(dir.File(name).c_str(), 0x11);
        EXPECT_FALSE(file.LoadFile()) << name;
        EXPECT_EQ(std::pair(file.State(), file.failures), std::pair(static_cast<int>(kErrCantRead), 1)) << name;
        // Never replaced by a save either, and no temporary copy is left.
        TextFile save(dir.File(name).c_str(), 0x44);
        EXPECT_FALSE(save.SaveFile()) << name;
        EXPECT_EQ(save.State(), kErrCantWrite) << name;
    }
    struct stat st;
    ASSERT_EQ(lstat(dir.File("zero.cfg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(Names(dir), (std::set<std::string>{"fifo.cfg", "zero.cfg"}));
    bool notRegular = false;
    EXPECT_EQ(OpenRegularFile(dir.Path().c_str(), "r", &notRegular), nullptr);
    EXPECT_TRUE(notRegular);
}

TEST(DiskFile, AnAllocationFailureInTheBodyFailsTheSaveAndLeavesNothing) {
    TempFolder dir;
    WriteText(dir.File("a.cfg"), "old");
    TextFile file(dir.File("a.cfg").c_str(), 0x44);
    file.throwSave = true;
    EXPECT_FALSE(file.SaveFile());
    EXPECT_EQ(std::pair(file.State(), file.failures), std::pair(static_cast<int>(kErrOutOfMemory), 1));
    file.Close();
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "old");
    EXPECT_EQ(Names(dir), (std::set<std::string>{"a.cfg"}));
}

TEST(DiskFile, BackupAndDropEmpty) {
    TempFolder dir;
    WriteText(dir.File("a.cfg"), "old");
    WriteText(dir.File("a.cfg.bak"), "older");
    TextFile file(dir.File("a.cfg").c_str(), 0x244);
    EXPECT_TRUE(file.SaveFile());
    EXPECT_EQ(ReadText(dir.File("a.cfg")) + " " + ReadText(dir.File("a.cfg.bak")), "new old");
    EXPECT_EQ(Names(dir), (std::set<std::string>{"a.cfg", "a.cfg.bak"}));

    // Direct write with a backup: the old file moves to .bak first.
    TextFile direct(dir.File("a.cfg").c_str(), 0x204);
    direct.body = "third";
    EXPECT_TRUE(direct.SaveFile());
    EXPECT_EQ(ReadText(dir.File("a.cfg")) + " " + ReadText(dir.File("a.cfg.bak")), "third new");

    // An empty direct write with 0x104 leaves no file.
    TextFile empty(dir.File("e.cfg").c_str(), 0x104);
    empty.body = "";
    EXPECT_FALSE(empty.SaveFile());
    EXPECT_EQ(Names(dir).count("e.cfg"), 0u);
    // Through a temporary copy an empty result leaves the old target alone.
    TextFile emptyTemp(dir.File("a.cfg").c_str(), 0x144);
    emptyTemp.body = "";
    EXPECT_FALSE(emptyTemp.SaveFile());
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "third");
    EXPECT_EQ(Names(dir), (std::set<std::string>{"a.cfg", "a.cfg.bak"}));
}

TEST(DiskFile, ShortExtension) {
    TempFolder dir;
    WriteText(dir.File("name.htm"), "short");
    TextFile file(dir.File("name.html").c_str(), 0x21);
    EXPECT_TRUE(file.LoadFile());
    EXPECT_EQ(std::pair(file.loaded, std::string(file.Path())),
              std::pair(std::string("short"), dir.File("name.htm")));
    // Without 0x20 the missing file is an error with the mapped errno code.
    TextFile plain(dir.File("name.html").c_str(), 0x01);
    EXPECT_FALSE(plain.LoadFile());
    EXPECT_EQ(std::pair(plain.State(), plain.failures), std::pair(-2, 1));

    // Writing with 0x20 through a copy: the short-named file takes the result
    // (its old content kept as .bak) and the long-named one is moved away.
    WriteText(dir.File("x.%fit"), "long");
    TextFile marked(dir.File("x.%fit").c_str(), 0x264);
    WriteText(dir.File("x.%fi"), "oldshort");
    EXPECT_TRUE(marked.SaveFile());
    EXPECT_EQ(std::string(marked.Path()), dir.File("x.%fi"));
    EXPECT_EQ(Names(dir), (std::set<std::string>{"x.%fi", "x.%fi.bak", "x.%fit.bak", "name.htm"}));
    EXPECT_EQ(ReadText(dir.File("x.%fi")) + " " + ReadText(dir.File("x.%fi.bak")) + " " +
                  ReadText(dir.File("x.%fit.bak")),
              "new oldshort long");
}

int g_queries = 0;
bool ReadOnlyDrive(const char*, DriveStatus* out) {
    ++g_queries;
    out->readOnly = true;
    out->freeBlocksForCaller = 100;
    return true;
}
bool FullDrive(const char*, DriveStatus* out) {
    out->readOnly = false;
    out->freeBlocksForCaller = 0;
    return true;
}

TEST(DiskFile, DriveCheck) {
    TempFolder dir;
    WriteText(dir.File("a.cfg"), "old");
    SetDriveStatusQuery(ReadOnlyDrive);
    TextFile file(dir.File("a.cfg").c_str(), 0);
    errno = 0;
    EXPECT_FALSE(file.SetPath(nullptr, 0x44));
    EXPECT_EQ(file.State(), -21);
    EXPECT_EQ(errno, EROFS);  // the reason the user is told
    EXPECT_STREQ(ErrorText(-21), "'%s' - error");
    EXPECT_FALSE(file.SaveFile());
    EXPECT_EQ(std::pair(file.State(), file.failures), std::pair(-21, 1));
    // Reading does not ask the drive.
    int before = g_queries;
    EXPECT_TRUE(file.LoadFile(nullptr, 0));
    EXPECT_EQ(std::pair(file.loaded, g_queries), std::pair(std::string("old"), before));
    SetDriveStatusQuery(FullDrive);
    errno = 0;
    TextFile full(dir.File("b.cfg").c_str(), 0x04);
    EXPECT_EQ(full.State(), -21);
    EXPECT_EQ(errno, ENOSPC);
    SetDriveStatusQuery(nullptr);
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "old");
    EXPECT_EQ(Names(dir), std::set<std::string>{"a.cfg"});

    // A missing folder is no drive fault: the open fails with its errno code.
    TextFile missing(dir.File("no/such/a.cfg").c_str(), 0x44);
    EXPECT_EQ(missing.State(), 2);
    EXPECT_FALSE(missing.SaveFile());
    EXPECT_TRUE(missing.State() < 0 && missing.State() != -21) << missing.State();
}

TEST(DiskFile, FailedCommitNeverLosesTheTarget) {
    TempFolder dir;
    // The target's name is taken by a folder with content: the final rename fails.
    ASSERT_EQ(::mkdir(dir.File("t.cfg").c_str(), 0755), 0);
    WriteText(dir.File("t.cfg/keep"), "x");
    TextFile file(dir.File("t.cfg").c_str(), 0x44);
    EXPECT_FALSE(file.SaveFile());
    EXPECT_LT(file.State(), 0);
    EXPECT_EQ(ReadText(dir.File("t.cfg/keep")), "x");
    EXPECT_EQ(Names(dir), std::set<std::string>{"t.cfg"});

    // An unwritable folder (only effective without root privileges).
    if (::geteuid() != 0) {
        ASSERT_EQ(::mkdir(dir.File("ro").c_str(), 0755), 0);
        WriteText(dir.File("ro/a.cfg"), "old");
        ::chmod(dir.File("ro").c_str(), 0555);
        TextFile locked(dir.File("ro/a.cfg").c_str(), 0x244);
        EXPECT_FALSE(locked.SaveFile());
        ::chmod(dir.File("ro").c_str(), 0755);
        EXPECT_EQ(ReadText(dir.File("ro/a.cfg")), "old");
        EXPECT_EQ(Names(dir), (std::set<std::string>{"t.cfg", "ro"}));
    }
}

TEST(DiskFile, SetPathKeepOpenAndDiscard) {
    TempFolder dir;
    WriteText(dir.File("a.cfg"), "old");
    TextFile file(dir.File("a.cfg").c_str(), 0x44);
    EXPECT_TRUE(file.SaveKeepOpen() && file.IsWriting());
    // Same path and mode: stays open, but a body must run again.
    EXPECT_TRUE(file.SetPath(dir.File("a.cfg").c_str(), 0x44));
    EXPECT_TRUE(file.IsOpen() && !file.Accepted());
    EXPECT_TRUE(file.SaveKeepOpen() && file.Discard());
    EXPECT_FALSE(file.IsOpen() || file.Discard());
    EXPECT_EQ(Names(dir), std::set<std::string>{"a.cfg"});
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "old");

    // Keep open, then Close commits.
    file.body = "kept";
    EXPECT_TRUE(file.SaveKeepOpen() && file.Close());
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "kept");
    // Another case is another file on Linux: the open file is closed, and
    // committed since its body succeeded.
    file.body = "other";
    EXPECT_TRUE(file.SaveKeepOpen());
    EXPECT_TRUE(file.SetPath(dir.File("A.cfg").c_str(), 0));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadText(dir.File("a.cfg")), "other");

    // A path that does not fit is refused, not cut.
    std::string longPath = dir.Path() + "/" + std::string(kPathMax, 'x');
    EXPECT_FALSE(file.SetPath(longPath.c_str(), 0));
    EXPECT_EQ(std::pair(file.State(), std::string(file.Path())), std::pair(-28, dir.File("A.cfg")));

    TextFile ext(dir.File("x.fit").c_str(), 0);
    EXPECT_TRUE(ext.MarkExtension('%'));
    EXPECT_EQ(std::string(ext.Path()), dir.File("x.%fit"));
    EXPECT_TRUE(ext.SetExtension(".fs"));
    EXPECT_EQ(std::string(ext.Path()), dir.File("x.fs"));
    EXPECT_FALSE(ext.SetExtension(""));
    TextFile none;
    EXPECT_EQ(none.Path(), nullptr);
    EXPECT_FALSE(none.MarkExtension('%') || none.SaveFile());
}

TEST(DiskFile, FlipRowsInFile) {
    TempFolder dir;
    std::string path = dir.File("rows");
    for (int rows : {4, 5}) {
        // Rows of 3 two-byte elements: row r holds bytes 'a'+r.
        std::string data;
        for (int r = 0; r < rows; ++r) data += std::string(6, static_cast<char>('a' + r));
        WriteText(path, data);
        int fd = ::open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(FlipRowsInFile(fd, 3, rows, 0x02), 1);
        ::close(fd);
        std::string expected;
        for (int r = rows - 1; r >= 0; --r) expected += std::string(6, static_cast<char>('a' + r));
        EXPECT_EQ(ReadText(path), expected) << rows;
    }
    // No rows, no row length, no size bits, a row too long (also of 8-byte elements), rows
    // past the file (the read fails, also with the first pair), a size that overflows.
    const struct {
        int64_t elements, rows;
        uint32_t type;
        int result;
    } cases[] = {{3, 0, 0x02, 0}, {0, 5, 0x02, 0}, {3, 5, 0x80, 0}, {0x20000001, 2, 0x01, 0},
                 {0x8000000, 2, 0x40, 0}, {1, INT64_MAX, 0x01, 0}, {6, 1, 0x01, 1},
                 {6, 7, 0x01, 0}, {3, INT64_MAX / 2, 0x08, 0}};
    int fd = ::open(path.c_str(), O_RDWR);
    for (const auto& c : cases)
        EXPECT_EQ(FlipRowsInFile(fd, c.elements, c.rows, c.type), c.result)
            << c.elements << " x " << c.rows;
    ::close(fd);
    EXPECT_EQ(FlipRowsInFile(-1, 3, 5, 0x02), 0);             // "_lseek failed"
    fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_EQ(FlipRowsInFile(fd, 3, 4, 0x02), 3);             // write fails
    ::close(fd);
}

}  // namespace
}  // namespace orva
