#include "io/formats/jpeg/jpeg_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image_reader_fixture.h"
#include "io/format_registry.h"

namespace orva {
namespace {

using testing_io::ImageReaderFixture;
using testing_io::KeepReceiver;

class JpegReaderTest : public ImageReaderFixture {
protected:
    static void TearDownTestSuite() { RemoveFiles(&files); }
    int OpenJpeg(const std::string& path, KeepReceiver* keep) { return Open(path, &JpegOpen, keep, "JPEG"); }
    std::string Folder() {
        std::string f = MakeFiles("make_image_files.py", &files);
        if (!f.empty() && Bytes(f + "/missing.txt").find("jpeg") != std::string::npos) return "";
        return f;
    }
    static inline std::string files;
};

// Baseline, progressive, grey, restart-marker and one-row files of cjpeg decode to the
// samples of djpeg -dct float (the same decoder settings).
TEST_F(JpegReaderTest, CjpegFilesDecodeLikeDjpeg) {
    const std::string folder = Folder();
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy and PIL, cjpeg or djpeg is missing";
    const auto rows = Manifest(folder + "/jpeg_manifest.txt");
    ASSERT_EQ(rows.size(), 5u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        KeepReceiver keep;
        ASSERT_EQ(OpenJpeg(folder + "/" + row[0], &keep), 2);
        DataSet* d = keep.kept;
        ASSERT_NE(d, nullptr);
        const int64_t w = std::stoll(row[2]), h = std::stoll(row[3]);
        const uint32_t c = static_cast<uint32_t>(std::stoul(row[4]));
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(w, h));
        EXPECT_EQ(d->input.channels, c);
        EXPECT_EQ(d->input.type & 0x4001FFu, 0x400101u);
        EXPECT_EQ(d->rangeMax, 255.0);
        EXPECT_STREQ(d->TagText(), "JPEG");
        const std::string ref = Bytes(folder + "/" + row[1]);
        ASSERT_EQ(ref.size(), static_cast<size_t>(w * h * c));
        EXPECT_TRUE(Stored(d, ref.size()) == ref);
        EXPECT_EQ(d->stream->length, static_cast<int64_t>(ref.size()));
        // The grey samples read back through the data set's read kernel.
        if (c == 1) {
            ReadWindow win{0, 0, 0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h), 0, 1, 0};
            ASSERT_TRUE(Read(d, &win));
            for (int64_t y = 0; y < h; y += 7)
                for (int64_t x = 0; x < w; x += 5)
                    ASSERT_EQ(At(static_cast<uint32_t>(x), static_cast<uint32_t>(y)),
                              static_cast<uint8_t>(ref[static_cast<size_t>(y * w + x)]));
        }
    }
}

// Files the library cannot deliver as grey or RGB, or cannot read at all, are refused with
// -10 and the library's message in the log; nothing is left in the temporary folder.
TEST_F(JpegReaderTest, Refusals) {
    const std::string folder = Folder();
    struct Case {
        std::string path;
        int result;
        const char* log;
    };
    std::vector<Case> cases = {
        {Write("text.jpg", "this is not a jpeg file at all"), -10, "Not a JPEG file"},
        {Write("empty.jpg", ""), -10, "Empty input file"},
    };
    if (!folder.empty()) {
        cases.push_back({folder + "/cmyk.jpg", -10, "Unsupported color conversion request"});
        const std::string base = Bytes(folder + "/baseline.jpg");
        cases.push_back({Write("head.jpg", base.substr(0, 120)), -10, nullptr});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        KeepReceiver keep;
        EXPECT_EQ(OpenJpeg(c.path, &keep), c.result);
        EXPECT_EQ(keep.kept, nullptr);
        if (c.log) testing_io::ExpectContains(Log(), {c.log});
        EXPECT_EQ(TempEntries(), 0);
    }
    KeepReceiver keep;
    EXPECT_EQ(OpenJpeg(dir + "/absent.jpg", &keep), -2);
}

TEST_F(JpegReaderTest, InfoTexts) {
    JpegInfo info;
    char buffer[32];
    EXPECT_TRUE(JpegInfoText(&info, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Jpeg");
    EXPECT_FALSE(JpegInfoText(&info, 1, buffer, 4));
    const char* spaces[] = {"Gray", "RGB", "YCbCr (YUV)", "CMYK", "YCbCrK (YCCK)"};
    for (int i = 1; i <= 5; ++i) {
        info.colorSpace = i;
        EXPECT_TRUE(JpegInfoText(&info, 4, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, spaces[i - 1]);
    }
    info.colorSpace = 6;
    EXPECT_FALSE(JpegInfoText(&info, 4, buffer, sizeof buffer));
    info.colorSpace = 3;
    EXPECT_FALSE(JpegInfoText(&info, 4, buffer, 11));
}

// The registry's JPEG descriptor opens a file through the program's open path.
TEST_F(JpegReaderTest, OpenThroughTheRegistry) {
    const std::string folder = Folder();
    if (folder.empty()) GTEST_SKIP() << "fixture tools missing";
    testing_io::BuiltinFormats formats;
    KeepReceiver receiver;
    ASSERT_EQ(
        testing_io::OpenThroughRegistry(&formats.registry, folder + "/progressive.jpg", &receiver),
        2);
    ASSERT_NE(receiver.kept, nullptr);
    EXPECT_EQ(receiver.kept->formatTag, MakeFormatTag("BINARY"));
    EXPECT_EQ(receiver.kept->sizeX, 123);
    // The descriptor's information operation reads the component the data set keeps.
    char text[24] = "Jpeg";
    EXPECT_TRUE(receiver.kept->FormatInfoText(4, text, sizeof text));
    EXPECT_STREQ(text, "Jpeg YCbCr (YUV)");
    EXPECT_FALSE(receiver.kept->FormatInfoText(4, text, 18));  // no room behind the blank
    void* info = nullptr;
    ASSERT_TRUE(receiver.kept->QueryInterface(&kFormatInfoId, &info));
    EXPECT_EQ(static_cast<FormatInfo*>(info)->GetClassId(), &kJpegInfoId);
    EXPECT_EQ(static_cast<FormatInfo*>(info)->Release(), 1);  // the data set's own reference
}

}  // namespace
}  // namespace orva
