#include "common/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/path_name.h"
#include "test_support.h"

namespace orva {
namespace {

std::string Make(const char* folder, const char* name, const char* ext, bool dot, bool* ok) {
    char out[kPathMax];
    std::memset(out, 'z', sizeof out);
    *ok = MakeFilePath(out, folder, name, ext, dot);
    return out;
}

TEST(Paths, MakeFilePath) {
    bool ok = false;
    EXPECT_EQ(Make("/d", "a.b", ".log", true, &ok), "/d/a_b.log");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Make("/d", "a.b", ".log", false, &ok), "/d/a.log");
    EXPECT_EQ(Make("/d/", "a.b.c", ".log", true, &ok), "/d/a_b.log");
    EXPECT_EQ(Make("", "name", ".txt", false, &ok), "name.txt");
    EXPECT_EQ(Make(nullptr, "name", nullptr, true, &ok), "name");  // no extension: dot flag unused
    EXPECT_EQ(Make("/d", "a.b", nullptr, true, &ok), "/d/a.b");
    // A dot in a folder is never taken for the extension.
    EXPECT_EQ(Make("/home/u/.config/orva", "orva", ".log", false, &ok), "/home/u/.config/orva/orva.log");
    EXPECT_EQ(Make("/x.y", "sub/file", ".fs", false, &ok), "/x.y/sub/file.fs");
    EXPECT_TRUE(ok);
    // A backslash is an ordinary character on Linux.
    EXPECT_EQ(Make("a\\", "b", nullptr, false, &ok), "a\\/b");

    EXPECT_EQ(Make("/d", "", ".log", false, &ok), "");
    EXPECT_FALSE(ok);
    EXPECT_EQ(Make("/d", nullptr, ".log", false, &ok), "");
    EXPECT_FALSE(ok);
}

TEST(Paths, LimitsRefuseInsteadOfCutting) {
    bool ok = false;
    std::string name(kPathMax - 1, 'n');
    EXPECT_EQ(Make("", name.c_str(), nullptr, false, &ok), name);
    EXPECT_TRUE(ok);
    std::string tooLong(kPathMax, 'n');
    EXPECT_EQ(Make("", tooLong.c_str(), nullptr, false, &ok), "");
    EXPECT_FALSE(ok);
    // Folder, separator and name: exactly kPathMax - 1 fits, one more does not.
    std::string folder(100, 'f');
    std::string rest(kPathMax - 1 - 101, 'r');
    EXPECT_EQ(Make(folder.c_str(), rest.c_str(), nullptr, false, &ok).size(), kPathMax - 1);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Make(folder.c_str(), (rest + "r").c_str(), nullptr, false, &ok), "");
    EXPECT_FALSE(ok);
    // An extension that would not fit fails the whole path, never drops the extension.
    std::string withExt(kPathMax - 1 - 101 - 4, 'r');
    EXPECT_EQ(Make(folder.c_str(), withExt.c_str(), ".log", false, &ok).size(), kPathMax - 1);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Make(folder.c_str(), (withExt + "r").c_str(), ".log", false, &ok), "");
    EXPECT_FALSE(ok);
    // Replacing a longer extension: the name as given fits, the result is shorter.
    std::string longExt(kPathMax - 1 - 101 - 5, 'r');
    EXPECT_EQ(Make(folder.c_str(), (longExt + ".fits").c_str(), ".log", false, &ok).size(),
              kPathMax - 2);
    EXPECT_TRUE(ok);
}

TEST(Paths, SetExtension) {
    char path[kPathMax] = "/data/x.fit";
    EXPECT_EQ(PathSetExtension(path, ".fs"), path);
    EXPECT_STREQ(path, "/data/x.fs");
    EXPECT_EQ(PathSetExtension(path, nullptr), path);
    EXPECT_STREQ(path, "/data/x");
    EXPECT_EQ(PathSetExtension(path, ".fits"), path);
    EXPECT_STREQ(path, "/data/x.fits");
    std::strcpy(path, "/a.b/c");
    EXPECT_EQ(PathSetExtension(path, ".e"), path);
    EXPECT_STREQ(path, "/a.b/c.e");

    // At the limit the call fails and the old extension stays.
    char small[12] = "/d/abc.fit";
    EXPECT_EQ(PathSetExtension(small, ".fitsx", sizeof small), nullptr);
    EXPECT_STREQ(small, "/d/abc.fit");
    EXPECT_EQ(PathSetExtension(small, ".fitz", sizeof small - 1), nullptr);
    EXPECT_EQ(PathSetExtension(small, ".log", sizeof small), small);
    EXPECT_STREQ(small, "/d/abc.log");
    std::string full(kPathMax - 1, 'p');
    std::memcpy(path, full.c_str(), full.size() + 1);
    EXPECT_EQ(PathSetExtension(path, ".x"), nullptr);
    EXPECT_EQ(std::string(path), full);
}

TEST(Paths, NamePieces) {
    struct Case {
        const char* path;
        size_t extension, name, stem;
        int offset;
        size_t absolute;
    };
    const Case cases[] = {
        {"/d/x.fit", 4, 5, 1, 3, 8},
        {"x.tar.gz", 3, 8, 5, 0, 0},
        {"/a.b/c", 0, 1, 1, 5, 6},
        {"/a.b/", 0, 0, 0, -1, 0},
        {"rel/n.", 1, 2, 1, 4, 0},
        {"", 0, 0, 0, -1, 0},
        {"/", 0, 0, 0, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(PathExtensionLength(c.path), c.extension);
        EXPECT_EQ(PathNameLength(c.path), c.name);
        size_t ext = 99, length = 99;
        EXPECT_EQ(PathNameSplit(c.path, &ext), c.stem);
        EXPECT_EQ(ext, c.extension);
        EXPECT_EQ(PathNameOffset(c.path, &length), c.offset);
        EXPECT_EQ(length, c.offset < 0 ? 0 : c.name);
        EXPECT_EQ(PathIsAbsoluteFile(c.path), c.absolute);
        char copy[64];
        std::strcpy(copy, c.path);
        EXPECT_EQ(PathRemoveExtension(copy), c.extension);
        EXPECT_EQ(std::strlen(copy), std::strlen(c.path) - c.extension);
    }
}

TEST(Paths, ReplaceAndMarkExtension) {
    char out[kPathMax];
    EXPECT_TRUE(PathReplaceExtension(out, "/d/x.fit", ".fs"));
    EXPECT_STREQ(out, "/d/x.fs");
    std::strcpy(out, "/d.e/x");
    EXPECT_TRUE(PathReplaceExtension(out, out, ".fs"));  // in place
    EXPECT_STREQ(out, "/d.e/x.fs");
    for (const char* bad : {"<x.fit", ">x", ":x", "|x", ""}) {
        std::strcpy(out, "junk");
        EXPECT_FALSE(PathReplaceExtension(out, bad, ".fs")) << bad;
        EXPECT_STREQ(out, "");
    }
    std::string full(kPathMax - 4, 'p');
    EXPECT_TRUE(PathReplaceExtension(out, full.c_str(), ".fs"));
    EXPECT_FALSE(PathReplaceExtension(out, full.c_str(), ".fit"));

    char path[kPathMax] = "x.fit";
    EXPECT_EQ(PathMarkExtension(path, '%'), 5);
    EXPECT_STREQ(path, "x.%fit");
    std::strcpy(path, "/a.b/x");
    EXPECT_EQ(PathMarkExtension(path, '%'), 0);
    EXPECT_STREQ(path, "/a.b/x");
    char small[8] = "ab.fit";  // 6 characters: one more fits, then no more
    EXPECT_EQ(PathMarkExtension(small, '%', sizeof small), 5);
    EXPECT_STREQ(small, "ab.%fit");
    EXPECT_EQ(PathMarkExtension(small, '%', sizeof small), -1);
    EXPECT_STREQ(small, "ab.%fit");  // refused, the extension is never cut
}

TEST(Paths, Folders) {
    char out[kPathMax];
    EXPECT_EQ(PathFolder(out, "/d/e/x.fit"), 5u);
    EXPECT_STREQ(out, "/d/e/");
    EXPECT_EQ(PathFolder(out, "x.fit"), 0u);
    EXPECT_STREQ(out, "");
    std::strcpy(out, "/x/y/z");
    EXPECT_EQ(PathFolder(out, nullptr), 5u);
    EXPECT_STREQ(out, "/x/y/");
    std::string holder = "old";
    EXPECT_FALSE(PathFolderDup(&holder, "name"));
    EXPECT_EQ(holder, "old");
    EXPECT_TRUE(PathFolderDup(&holder, "/a/b"));
    EXPECT_EQ(holder, "/a/");

    char cwd[kPathMax];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    std::string here = cwd;
    EXPECT_EQ(FullPathName(out, "/abs/../file", sizeof out), std::strlen("/abs/../file"));
    EXPECT_STREQ(out, "/abs/../file");  // an absolute file path is taken as it is
    EXPECT_GT(FullPathName(out, "a/./b/../c", sizeof out), 0u);
    EXPECT_EQ(std::string(out), (here == "/" ? "" : here) + "/a/c");
    EXPECT_GT(FullPathName(out, "/x/./y/", sizeof out), 0u);
    EXPECT_STREQ(out, "/x/y/");
    EXPECT_EQ(FullPathName(out, "/../../", sizeof out), 1u);
    EXPECT_STREQ(out, "/");
    std::strcpy(out, "keep");
    EXPECT_EQ(FullPathName(out, "/abc", 4), 5u);  // too small: needed size, nothing copied
    EXPECT_STREQ(out, "keep");
    EXPECT_EQ(FullPathName(out, "", sizeof out), 0u);

    std::strcpy(out, ".");
    EXPECT_TRUE(ResolveFolder(out, sizeof out));
    EXPECT_EQ(std::string(out), here);
    std::strcpy(out, "/no/such/folder");
    EXPECT_FALSE(ResolveFolder(out, sizeof out));
    std::strcpy(out, "/");
    EXPECT_FALSE(ResolveFolder(out, 260));
    EXPECT_FALSE(FileExists("/"));
    EXPECT_FALSE(FileExists("/dev/null"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(nullptr));
}

TEST(Paths, TempAndBackupFiles) {
    std::string tmp = TempFolder();
    testing_util::TempFolder folder;
    const std::string& dir = folder.Path();
    auto write = testing_util::WriteText;
    auto read = testing_util::ReadText;

    char out[kPathMax];
    std::string target = dir + "/settings.cfg";
    std::strcpy(out, target.c_str());
    ASSERT_TRUE(MakeTempFile(out, target.c_str(), "iof"));
    EXPECT_EQ(std::string(out).rfind(dir + "/set", 0), 0u) << out;
    EXPECT_TRUE(FileExists(out));
    ::unlink(out);
    out[0] = '\0';
    ASSERT_TRUE(MakeTempFile(out, nullptr, "rwd"));
    EXPECT_EQ(std::string(out).rfind(tmp + "/rwd", 0), 0u) << out;
    ::unlink(out);
    // A folder that does not exist falls back to the temporary folder.
    std::strcpy(out, "x");
    ASSERT_TRUE(MakeTempFile(out, (dir + "/none/abc").c_str(), "iof"));
    EXPECT_EQ(std::string(out).rfind(tmp + "/x", 0), 0u) << out;
    ::unlink(out);

    std::string a = dir + "/a.fit";
    EXPECT_TRUE(MakeBackupFile(""));
    EXPECT_TRUE(MakeBackupFile(a.c_str()));  // nothing to back up
    write(a, "1");
    write(a + ".bak", "0");
    EXPECT_TRUE(MakeBackupFile(a.c_str()));
    EXPECT_FALSE(FileExists(a.c_str()));
    EXPECT_EQ(read(a + ".bak"), "1");
    write(a, "2");
    EXPECT_TRUE(MakeBackupFile(a.c_str(), a.size() + 3));  // room for ".b" only
    EXPECT_EQ(read(a + ".b"), "2");
    EXPECT_FALSE(MakeBackupFile(a.c_str(), a.size() + 2));

    // Numbered series: .bak, .bak0, .bak1; with replace the .bak is overwritten.
    std::string n = dir + "/n.log";
    const char* expected[] = {".bak", ".bak0", ".bak1"};
    for (int i = 0; i < 3; ++i) {
        write(n, std::to_string(i).c_str());
        ASSERT_TRUE(MakeNumberedBackup(n.c_str(), out, false));
        EXPECT_EQ(std::string(out), n + expected[i]);
        EXPECT_EQ(read(out), std::to_string(i));
    }
    write(n, "r");
    ASSERT_TRUE(MakeNumberedBackup(n.c_str(), out, true));
    EXPECT_EQ(std::string(out), n + ".bak");
    EXPECT_EQ(read(n + ".bak"), "r");
    EXPECT_EQ(read(n + ".bak1"), "2");
    EXPECT_FALSE(MakeNumberedBackup(n.c_str(), out, false));  // the file is gone
}

TEST(Paths, PathName) {
    PathName name;
    EXPECT_EQ(name.Set("/d/x.fit"), 2);
    EXPECT_STREQ(name.Text(), "/d/x.fit");
    EXPECT_EQ(name.NameOffset(), 3u);
    EXPECT_EQ(name.ExtensionOffset(), 4u);
    EXPECT_EQ(name.Length(), 8u);
    name.SetValue(7);
    EXPECT_EQ(name.Set("/d/x.fit"), 0);
    EXPECT_EQ(name.Value(), 7);
    EXPECT_EQ(name.Set("/D/X.FIT"), 2);  // case-sensitive
    EXPECT_EQ(name.Value(), 0);
    EXPECT_EQ(name.Set("/a.b/c"), 2);
    EXPECT_EQ(name.ExtensionOffset(), name.Length());
    PathName other;
    name.SetValue(5);
    EXPECT_EQ(other.Assign(name), 2);
    EXPECT_STREQ(other.Text(), "/a.b/c");
    EXPECT_EQ(other.NameOffset(), 5u);
    EXPECT_EQ(other.Value(), 5);
    EXPECT_EQ(other.Assign(name), 0);
    PathName empty;
    EXPECT_EQ(other.Assign(empty), 2);
    EXPECT_TRUE(other.Empty());
    std::string longText(5000, 'q');
    EXPECT_EQ(other.Set(longText.c_str()), 2);
    EXPECT_EQ(other.Length(), 5000u);
    EXPECT_EQ(other.Set(""), 2);
    EXPECT_STREQ(other.Text(), "");
}

}  // namespace
}  // namespace orva
