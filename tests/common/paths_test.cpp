#include "common/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

}  // namespace
}  // namespace orva
