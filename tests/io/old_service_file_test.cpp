#include "io/old_service_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/paths.h"
#include "test_support.h"

namespace orva {
namespace {

struct Folder : testing_util::TempFolder {
    void Write(const std::string& name, const std::string& text) const { testing_util::WriteText(File(name), text); }
    std::string Read(const std::string& name) const { return testing_util::ReadText(File(name)); }
};

TEST(OldServiceFile, Names) {
    char out[kPathMax];
    EXPECT_EQ(OldServiceFileName(out, sizeof(out), "/data/m31.fit"), 2);
    EXPECT_STREQ(out, "/data/m31.%fit");
    EXPECT_EQ(OldServiceFileName(out, sizeof(out), "/data.d/m31"), 0);
    EXPECT_STREQ(out, "");
    // The marked name needs one byte more than the path: a buffer one byte short refuses.
    char small[16];
    EXPECT_EQ(OldServiceFileName(small, 15, "/d/abcdef.fit"), 2);  // 13 + '%' + NUL
    EXPECT_EQ(OldServiceFileName(small, 14, "/d/abcdef.fit"), -13);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(OldServiceFileName(small, 8, "/d/abcdef.fit"), -13);
    std::string longPath = "/" + std::string(kPathMax - 6, 'a') + ".fit";  // fills kPathMax exactly
    EXPECT_EQ(OldServiceFileName(out, sizeof(out), longPath.c_str()), -13);
}

TEST(OldServiceFile, Reading) {
    Folder folder;
    struct Case {
        const char* text;
        bool ok;
        int64_t w, h;
        double min, max;
        uint32_t type, bits;
    } cases[] = {
        {"512 256\n", true, 512, 256, 0, 0, 0x02, 16},
        {"512 256\n100 10\nBITPIX=16\n", true, 512, 256, 80, 140, 0x02, 16},
        {" ;512\t256 // size\n\n100\n10 tail\nbits=-32; channels=1\n", true, 512, 256, 80, 140, 0x10, 32},
        {"64 32\nBITPIX=8\n", true, 64, 32, 0, 0, 0x01, 8},
        {"0 0\nBITPIX=8\nSIZEX=5\n", false, 0, 0, 0, 0, 0, 0},
        {"512 256\nBITPIX=16\x01\n", false, 0, 0, 0, 0, 0, 0},
        {"5\x02 6\n", false, 0, 0, 0, 0, 0, 0},
        {"", false, 0, 0, 0, 0, 0, 0},
    };
    int i = 0;
    for (const auto& c : cases) {
        std::string name = "f" + std::to_string(i++);
        folder.Write(name + ".%fit", c.text);
        ServiceDescription* d = nullptr;
        bool ok = LoadOldServiceDescription(folder.File(name + ".fit").c_str(), &d);
        EXPECT_EQ(ok, c.ok) << c.text;
        EXPECT_EQ(d != nullptr, c.ok);
        if (!ok || d == nullptr) continue;
        EXPECT_EQ(d->sizeX, c.w) << c.text;
        EXPECT_EQ(d->sizeY, c.h) << c.text;
        EXPECT_EQ(d->min, c.min) << c.text;
        EXPECT_EQ(d->max, c.max) << c.text;
        EXPECT_EQ((d->flags & kFlagValueRange) != 0, c.max != 0) << c.text;
        EXPECT_EQ(d->type, c.type) << c.text;
        EXPECT_EQ(d->bits, c.bits) << c.text;
        delete d;
    }
    // The service description falls back to the old file when there is no ".fs" file.
    ServiceDescription* d = new ServiceDescription;
    ServiceDescription* const mine = d;
    EXPECT_TRUE(LoadServiceDescription(folder.File("f1.fit").c_str(), &d));
    EXPECT_EQ(d, mine);
    EXPECT_EQ(d->sizeX, 512);
    delete d;
    ServiceDescription* none = nullptr;
    EXPECT_FALSE(LoadOldServiceDescription(folder.File("f1").c_str(), &none));
}

TEST(OldServiceFile, WritingAndDeleting) {
    Folder folder;
    ServiceDescription d;
    d.sizeX = 512;
    d.sizeY = 256;
    d.min = 0;
    d.max = 60;
    d.flags = kFlagValueRange;
    d.type = 0x102;
    d.bits = 16;
    d.channels = 1;
    const std::string data = folder.File("m31.fit");
    ASSERT_TRUE(writeOldServisFile(&d, data.c_str(), false));
    EXPECT_EQ(folder.Read("m31.%fit"),
              "  512  256 \n20  10 \n\nSIZEX=512\nSIZEY=256\nMinMax=0, 60\nbyteswap=0\nbits=16\nunsigned=1\n"
              "Channels=1\n");
    ServiceDescription* back = nullptr;
    ASSERT_TRUE(LoadOldServiceDescription(data.c_str(), &back));
    EXPECT_EQ(back->sizeX, 512);
    EXPECT_EQ(back->sizeY, 256);
    EXPECT_EQ(back->min, 0.0);
    EXPECT_EQ(back->max, 60.0);
    EXPECT_EQ(back->type, 0x102u);
    delete back;

    // Rewriting keeps a backup when asked.
    d.sizeX = 1024;
    ASSERT_TRUE(writeOldServisFile(&d, data.c_str(), false, true));
    EXPECT_EQ(folder.Read("m31.%fit").substr(0, 13), "  1024  256 \n");
    EXPECT_EQ(folder.Read("m31.%fit.bak").substr(0, 12), "  512  256 \n");

    EXPECT_FALSE(writeOldServisFile(&d, folder.File("noext").c_str(), false));
    EXPECT_FALSE(writeOldServisFile(&d, folder.File("missing/m31.fit").c_str(), false));

    folder.Write("m31.%f", "1 1\n");
    DeleteOldServiceFiles(data.c_str());
    EXPECT_FALSE(FileExists(folder.File("m31.%fit").c_str()));
    EXPECT_FALSE(FileExists(folder.File("m31.%f").c_str()));
    EXPECT_TRUE(FileExists(folder.File("m31.%fit.bak").c_str()));
}

// A range read as mean 0 and spread -0 (the lines "22", "-0", "-0") is written with
// zeros, and what that reads back as is written the same way.
TEST(OldServiceFile, ANegativeZeroRangeIsWrittenAsZero) {
    Folder folder;
    folder.Write("z.%fit", "22\n-0\n-0\n");
    const std::string data = folder.File("z.fit"), copy = folder.File("y.fit");
    ServiceDescription* d = nullptr;
    ASSERT_TRUE(LoadOldServiceDescription(data.c_str(), &d));
    EXPECT_NE(d->flags & kFlagValueRange, 0u);
    ASSERT_TRUE(writeOldServisFile(d, copy.c_str(), false));
    const std::string once = folder.Read("y.%fit");
    EXPECT_EQ(once.substr(once.find('\n') + 1, 7), "0  0 \n\n");
    ServiceDescription* back = nullptr;
    ASSERT_TRUE(LoadOldServiceDescription(copy.c_str(), &back));
    ASSERT_TRUE(writeOldServisFile(back, copy.c_str(), false));
    EXPECT_EQ(folder.Read("y.%fit"), once);
    delete back;
    delete d;
}

}  // namespace
}  // namespace orva
