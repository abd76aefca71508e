#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_reader_fixture.h"
#include "io/formats/text/text_reader.h"

namespace orva {
namespace {

using testing_io::ImageReaderFixture;
using testing_io::KeepReceiver;

class DsvReaderTest : public ImageReaderFixture {};

// Keys, values, sizes and file names of descriptor files.
TEST_F(DsvReaderTest, ParsesDescriptors) {
    struct Case {
        const char* text;
        int recognised;
        int64_t width, height;  // 0: not set
        const char* file;       // relative to the test folder, "/..." absolute, "" none
        size_t extra;
    };
    const std::vector<Case> cases = {
        {"File Name: a.raw\nData Format: 640 480\n", 2, 640, 480, "a.raw", 0},
        {"data format: 0 480\n", 1, 0, 0, "", 0},
        {"Data Format: 0x280, 0x1E0\r\n", 1, 640, 480, "", 0},
        {"Data Format: 64\nData Format: 32\nData Format: 16\n", 3, 64, 32, "", 0},
        {"Data Format: 2147483647 5\n", 1, 0, 0, "", 0},
        {"File Name: \"b c.raw\"\n", 1, 0, 0, "b c.raw", 0},
        {"File Name: <d.raw>\n", 1, 0, 0, "d.raw", 0},
        {"File Name: <d.raw\nFile Name: e.raw\n", 2, 0, 0, "e.raw", 0},
        {"File Name: C:\\data\\f.raw\n", 1, 0, 0, "/data/f.raw", 0},
        {"File Name: sub\\g.raw\n", 1, 0, 0, "sub/g.raw", 0},
        {"   \n\tCamera : one\nnot a key line\nFile Name :h.raw  \nExposure:\n", 1, 0, 0, "h.raw", 1},
        {"plain text first\nFile Name: a.raw\n", 0, 0, 0, "", 0},
        {"Camera: x\x01y\nFile Name: a.raw\n", 0, 0, 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = Write("d.dsv", c.text);
        DsvInfo info;
        ASSERT_EQ(DsvParseFile(path.c_str(), &info), 2);
        EXPECT_EQ(info.recognised, c.recognised);
        EXPECT_EQ(testing_io::XY(info), testing_io::XY(c.width, c.height));
        const std::string want = c.file[0] == '\0' ? "" : c.file[0] == '/' ? c.file : dir + "/" + c.file;
        EXPECT_EQ(info.dataFile, want);
        EXPECT_EQ(info.extra.size(), c.extra);
    }
    testing_io::ExpectContains(Log(), {"$bad dsv file: \"" + dir + "/d.dsv\""});
}

// A line longer than the reader's buffer ends the reading with the bad-file message: its
// tail is never read as a line of its own.
TEST_F(DsvReaderTest, LongLineEndsReading) {
    const std::string path =
        Write("long.dsv", "Camera: " + std::string(2000, 'x') + "File Name: tail.raw\nData Format: 4 4\n");
    DsvInfo info;
    ASSERT_EQ(DsvParseFile(path.c_str(), &info), 2);
    EXPECT_TRUE(info.dataFile.empty());
    EXPECT_EQ(info.sizeX, 0);
    testing_io::ExpectContains(Log(), {"$bad dsv file"});
}

// Opening: the named raw file with the stated sizes; keys without a file give 0; a file
// that is not a descriptor -1; a missing data file the stream's error.
TEST_F(DsvReaderTest, OpensTheDataFile) {
    Write("pixels.raw", std::string(4 * 3 * 8, '\0'));
    Write("ok.dsv", "Comment: test\nFile Name: pixels.raw\nData Format: 4 3\n");
    Write("nofile.dsv", "Data Format: 4 3\n");
    Write("text.dsv", "just some text\n");
    Write("missing.dsv", "File Name: nothere.raw\n");
    Write("device.dsv", "File Name: /dev/null\n");
    KeepReceiver keep;
    ASSERT_EQ(Open(dir + "/ok.dsv", &DsvOpen, &keep, "DSV"), 2);
    ASSERT_NE(keep.kept, nullptr);
    EXPECT_EQ(testing_io::XY(*keep.kept), testing_io::XY(4, 3));
    EXPECT_EQ(keep.kept->stream->length, 96);
    EXPECT_EQ(testing_io::FormatInfoClass(keep.kept), &kDsvInfoId);
    KeepReceiver none;
    EXPECT_EQ(Open(dir + "/nofile.dsv", &DsvOpen, &none, "DSV"), 0);
    EXPECT_EQ(Open(dir + "/text.dsv", &DsvOpen, &none, "DSV"), -1);
    EXPECT_LT(Open(dir + "/missing.dsv", &DsvOpen, &none, "DSV"), 0);
    EXPECT_EQ(Open(dir + "/device.dsv", &DsvOpen, &none, "DSV"), -1);
    EXPECT_LT(Open(dir + "/absent.dsv", &DsvOpen, &none, "DSV"), 0);
    EXPECT_EQ(none.kept, nullptr);
}

}  // namespace
}  // namespace orva
