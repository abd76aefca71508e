#include "common/paths.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>

#include "common/path_name.h"
#include "test_support.h"

namespace orva {
namespace {

// MakeFilePath into a buffer full of junk: the text and whether it succeeded.
std::pair<std::string, bool> Make(const std::string& folder, const char* name, const char* ext,
                                  bool dot = false) {
    char out[kPathMax];
    std::memset(out, 'z', sizeof out);
    bool ok = MakeFilePath(out, folder == "<null>" ? nullptr : folder.c_str(), name, ext, dot);
    return {out, ok};
}

TEST(Paths, MakeFilePath) {
    const struct {
        const char *folder, *name, *ext;
        bool dot;
        const char* expected;
    } cases[] = {
        {"/d", "a.b", ".log", true, "/d/a_b.log"}, {"/d", "a.b", ".log", false, "/d/a.log"},
        {"/d/", "a.b.c", ".log", true, "/d/a_b.log"}, {"", "name", ".txt", false, "name.txt"},
        {"<null>", "name", nullptr, true, "name"},  // no extension: dot flag unused
        {"/d", "a.b", nullptr, true, "/d/a.b"},
        // A dot in a folder is never taken for the extension.
        {"/home/u/.config/orva", "orva", ".log", false, "/home/u/.config/orva/orva.log"},
        {"/x.y", "sub/file", ".fs", false, "/x.y/sub/file.fs"},
        {"a\\", "b", nullptr, false, "a\\/b"},  // a backslash is an ordinary character on Linux
        {"/d", "", ".log", false, nullptr}, {"/d", nullptr, ".log", false, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Make(c.folder, c.name, c.ext, c.dot),
                  std::pair(std::string(c.expected ? c.expected : ""), c.expected != nullptr))
            << c.folder << " " << (c.name ? c.name : "(null)");
    }
}

TEST(Paths, LimitsRefuseInsteadOfCutting) {
    const std::pair<std::string, bool> refused("", false);
    std::string name(kPathMax - 1, 'n');
    EXPECT_EQ(Make("", name.c_str(), nullptr), std::pair(name, true));
    EXPECT_EQ(Make("", (name + "n").c_str(), nullptr), refused);
    // Folder, separator and name: exactly kPathMax - 1 fits, one more does not.
    std::string folder(100, 'f');
    std::string rest(kPathMax - 1 - 101, 'r');
    EXPECT_EQ(Make(folder, rest.c_str(), nullptr), std::pair(folder + "/" + rest, true));
    EXPECT_EQ(Make(folder, (rest + "r").c_str(), nullptr), refused);
    // An extension that would not fit fails the whole path, never drops the extension.
    std::string withExt(kPathMax - 1 - 101 - 4, 'r');
    EXPECT_EQ(Make(folder, withExt.c_str(), ".log"),
              std::pair(folder + "/" + withExt + ".log", true));
    EXPECT_EQ(Make(folder, (withExt + "r").c_str(), ".log"), refused);
    // Replacing a longer extension: the name as given fits, the result is shorter.
    std::string longExt(kPathMax - 1 - 101 - 5, 'r');
    EXPECT_EQ(Make(folder, (longExt + ".fits").c_str(), ".log"),
              std::pair(folder + "/" + longExt + ".log", true));
}

// PathSetExtension on `path`: the text afterwards, or "<refused>" when it answered nullptr.
std::string SetExt(char* path, const char* ext, size_t size = kPathMax) {
    char* r = PathSetExtension(path, ext, size);
    return r == path ? std::string(path) : r == nullptr ? "<refused>" : "<other pointer>";
}

TEST(Paths, SetExtension) {
    char path[kPathMax] = "/data/x.fit";
    EXPECT_EQ(SetExt(path, ".fs"), "/data/x.fs");
    EXPECT_EQ(SetExt(path, nullptr), "/data/x");
    EXPECT_EQ(SetExt(path, ".fits"), "/data/x.fits");
    std::strcpy(path, "/a.b/c");
    EXPECT_EQ(SetExt(path, ".e"), "/a.b/c.e");
    // At the limit the call fails and the old extension stays.
    char small[12] = "/d/abc.fit";
    EXPECT_EQ(SetExt(small, ".fitsx", sizeof small), "<refused>");
    EXPECT_STREQ(small, "/d/abc.fit");
    EXPECT_EQ(SetExt(small, ".fitz", sizeof small - 1), "<refused>");
    EXPECT_EQ(SetExt(small, ".log", sizeof small), "/d/abc.log");
    std::string full(kPathMax - 1, 'p');
    std::memcpy(path, full.c_str(), full.size() + 1);
    EXPECT_EQ(SetExt(path, ".x"), "<refused>");
    EXPECT_EQ(std::string(path), full);
}

TEST(Paths, NamePieces) {
    const struct {
        const char* path;
        size_t extension, name, stem;
        int offset;
        size_t absolute;
    } cases[] = {{"/d/x.fit", 4, 5, 1, 3, 8}, {"x.tar.gz", 3, 8, 5, 0, 0},
                 {"/a.b/c", 0, 1, 1, 5, 6}, {"/a.b/", 0, 0, 0, -1, 0}, {"rel/n.", 1, 2, 1, 4, 0},
                 {"", 0, 0, 0, -1, 0}, {"/", 0, 0, 0, -1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(std::pair(PathExtensionLength(c.path), PathNameLength(c.path)),
                  std::pair(c.extension, c.name));
        size_t ext = 99, length = 99;
        size_t stem = PathNameSplit(c.path, &ext);
        EXPECT_EQ(std::pair(stem, ext), std::pair(c.stem, c.extension));
        int offset = PathNameOffset(c.path, &length);
        EXPECT_EQ(std::pair(offset, length), std::pair(c.offset, c.offset < 0 ? 0 : c.name));
        EXPECT_EQ(PathIsAbsoluteFile(c.path), c.absolute);
        char copy[64];
        std::strcpy(copy, c.path);
        EXPECT_EQ(PathRemoveExtension(copy), c.extension);
        EXPECT_EQ(std::strlen(copy), std::strlen(c.path) - c.extension);
    }
}

// Calls `f(out)` on a buffer and answers its result with the text left in it.
using SizeText = std::pair<size_t, std::string>;

template <class F>
auto WithText(char* out, F f) {
    auto result = f(out);
    return std::pair(result, std::string(out));
}

TEST(Paths, MakeRelatedPath) {
    const struct {
        const char* base;
        const char* tail;
        const char* extension;
        bool ok;
        const char* expected;
    } cases[] = {
        {"/data/m31.fits", "_Rect_7", ".msk", true, "/data/m31_Rect_7.msk"},
        {"/data/m31.fits", "_Rect_7", "_msk.txt", true, "/data/m31_Rect_7_msk.txt"},
        {"/t/mask.msk", "_Rect_7", nullptr, true, "/t/mask_Rect_7.msk"},
        {"/t/mask.msk", "_Rect_7", "", true, "/t/mask_Rect_7.msk"},
        {"/t.d/mask", "_a", nullptr, true, "/t.d/mask_a"},
        {nullptr, "_Rect_7", ".rep", true, "_Rect_7.rep"},
        {"", "_x", nullptr, true, "_x"},
        {"|pipe.fits", "_x", ".msk", false, ""},
        {"<x", "_x", nullptr, false, ""},
    };
    char out[kPathMax];
    for (const auto& c : cases) {
        std::strcpy(out, "junk");
        EXPECT_EQ(MakeRelatedPath(out, c.base, c.tail, c.extension), c.ok) << (c.base ? c.base : "(none)");
        EXPECT_STREQ(out, c.expected);
    }
    // A name that does not fit is refused, never cut.
    const std::string longBase = "/" + std::string(kPathMax - 10, 'a') + ".fits";
    EXPECT_TRUE(MakeRelatedPath(out, longBase.c_str(), "_1", ".msk"));
    EXPECT_FALSE(MakeRelatedPath(out, longBase.c_str(), "_Rect_7", ".msk"));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(MakeRelatedPath(out, nullptr, longBase.c_str(), ".msk.msk"));
}

TEST(Paths, ReplaceAndMarkExtension) {
    char out[kPathMax];
    EXPECT_EQ(WithText(out, [](char* o) { return PathReplaceExtension(o, "/d/x.fit", ".fs"); }),
              std::pair(true, std::string("/d/x.fs")));
    std::strcpy(out, "/d.e/x");
    EXPECT_EQ(WithText(out, [](char* o) { return PathReplaceExtension(o, o, ".fs"); }),
              std::pair(true, std::string("/d.e/x.fs")));  // in place
    for (const char* bad : {"<x.fit", ">x", ":x", "|x", ""}) {
        std::strcpy(out, "junk");
        EXPECT_FALSE(PathReplaceExtension(out, bad, ".fs")) << bad;
        EXPECT_STREQ(out, "");
    }
    std::string full(kPathMax - 4, 'p');
    EXPECT_TRUE(PathReplaceExtension(out, full.c_str(), ".fs") &&
                !PathReplaceExtension(out, full.c_str(), ".fit"));

    auto mark = [](char* path, size_t size = kPathMax) {
        return WithText(path, [&](char* p) { return PathMarkExtension(p, '%', size); });
    };
    char path[kPathMax] = "x.fit";
    EXPECT_EQ(mark(path), std::pair(5, std::string("x.%fit")));
    std::strcpy(path, "/a.b/x");
    EXPECT_EQ(mark(path), std::pair(0, std::string("/a.b/x")));
    char small[8] = "ab.fit";  // 6 characters: one more fits, then no more
    EXPECT_EQ(mark(small, sizeof small), std::pair(5, std::string("ab.%fit")));
    EXPECT_EQ(mark(small, sizeof small), std::pair(-1, std::string("ab.%fit")));  // never cut
}

TEST(Paths, Folders) {
    char out[kPathMax];
    EXPECT_EQ(WithText(out, [](char* o) { return PathFolder(o, "/d/e/x.fit"); }),
              SizeText(5, "/d/e/"));
    EXPECT_EQ(WithText(out, [](char* o) { return PathFolder(o, "x.fit"); }), SizeText(0, ""));
    std::strcpy(out, "/x/y/z");
    EXPECT_EQ(WithText(out, [](char* o) { return PathFolder(o, nullptr); }), SizeText(5, "/x/y/"));
    std::string holder = "old";
    EXPECT_FALSE(PathFolderDup(&holder, "name") || holder != "old");
    EXPECT_TRUE(PathFolderDup(&holder, "/a/b") && holder == "/a/") << holder;

    char cwd[kPathMax];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    std::string here = cwd;
    auto full = [&](const char* in, size_t size = kPathMax) {
        return WithText(out, [&](char* o) { return FullPathName(o, in, size); });
    };
    // An absolute file path is taken as it is.
    EXPECT_EQ(full("/abs/../file"), SizeText(12, "/abs/../file"));
    std::string relative = (here == "/" ? "" : here) + "/a/c";
    EXPECT_EQ(full("a/./b/../c"), std::pair(relative.size(), relative));
    EXPECT_EQ(full("/x/./y/"), SizeText(5, "/x/y/"));
    EXPECT_EQ(full("/../../"), SizeText(1, "/"));
    std::strcpy(out, "keep");
    EXPECT_EQ(full("/abc", 4), SizeText(5, "keep"));  // too small: needed size, nothing copied
    EXPECT_EQ(full("").first, 0u);

    std::strcpy(out, ".");
    EXPECT_EQ(WithText(out, [](char* o) { return ResolveFolder(o, kPathMax); }),
              std::pair(true, here));
    std::strcpy(out, "/no/such/folder");
    EXPECT_FALSE(ResolveFolder(out, sizeof out));
    std::strcpy(out, "/");
    EXPECT_FALSE(ResolveFolder(out, 260));
    for (const char* notFile : {"/", "/dev/null", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(FileExists(notFile));
}

TEST(Paths, TempAndBackupFiles) {
    std::string tmp = TempFolder();
    testing_util::TempFolder folder;
    const std::string& dir = folder.Path();
    auto write = testing_util::WriteText;
    auto read = testing_util::ReadText;

    // The buffer's text, the file to be near ("" for none), the prefix and where the file must
    // be made: a folder that does not exist falls back to the temporary folder.
    const struct {
        std::string start, near;
        const char* prefix;
        std::string made;
    } temps[] = {{dir + "/settings.cfg", dir + "/settings.cfg", "iof", dir + "/set"},
                 {"", "", "rwd", tmp + "/rwd"},
                 {"x", dir + "/none/abc", "iof", tmp + "/x"}};
    char out[kPathMax];
    for (const auto& t : temps) {
        std::strcpy(out, t.start.c_str());
        ASSERT_TRUE(MakeTempFile(out, t.near.empty() ? nullptr : t.near.c_str(), t.prefix));
        EXPECT_EQ(std::string(out).rfind(t.made, 0), 0u) << out;
        EXPECT_TRUE(FileExists(out)) << out;
        ::unlink(out);
    }

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
    // Text, name and extension offsets, length and value at once.
    auto parts = [](const PathName& n) {
        return std::tuple(std::string(n.Text()), n.NameOffset(), n.ExtensionOffset(), n.Length(),
                          n.Value());
    };
    using Parts = std::tuple<std::string, size_t, size_t, size_t, int32_t>;
    PathName name;
    EXPECT_EQ(name.Set("/d/x.fit"), 2);
    EXPECT_EQ(parts(name), Parts("/d/x.fit", 3, 4, 8, 0));
    name.SetValue(7);
    EXPECT_EQ(name.Set("/d/x.fit"), 0);
    EXPECT_EQ(name.Value(), 7);
    EXPECT_EQ(name.Set("/D/X.FIT"), 2);  // case-sensitive
    EXPECT_EQ(name.Value(), 0);
    EXPECT_EQ(name.Set("/a.b/c"), 2);
    PathName other;
    name.SetValue(5);
    EXPECT_EQ(other.Assign(name), 2);
    EXPECT_EQ(parts(other), Parts("/a.b/c", 5, 6, 6, 5));  // no extension: its offset is the length
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
