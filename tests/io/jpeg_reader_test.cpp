#include "io/formats/jpeg/jpeg_reader.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image_reader_fixture.h"
#include "common/system.h"
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
// -10 and the library's message in the log, damaged ones with -23; nothing is left in the
// temporary folder.
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
        // Cut inside its tables: the data end early, a damaged file.
        cases.push_back({Write("head.jpg", base.substr(0, 120)), -23, "Premature end of JPEG file"});
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

// Small files whose frame header was patched to 20000 x 20000: the baseline one is refused
// at the first sign that its data end, the progressive one before its coefficients would
// take more memory than the decoder may (or, should the temporary folder be smaller than
// the picture, before anything is decoded). Neither writes anything; both say why. The
// library's warnings about data it can still decode go to the log, not to stderr.
TEST_F(JpegReaderTest, HostilePicturesAndWarnings) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import PIL'")) GTEST_SKIP() << "python3-pil missing";
    int status = -1;
    const std::string out = testing_io::RunCommand(
        ORVA_PYTHON " -c \"from PIL import Image\n"
        "im = Image.new('RGB', (32, 32), (120, 40, 200))\n"
        "im.save('" + dir + "/small.jpg', quality=50)\n"
        "im.save('" + dir + "/smallp.jpg', quality=50, progressive=True)\n"
        "Image.new('L', (1200, 1000), 77).save('" + dir + "/grey.jpg')\n"
        "Image.new('L', (1200, 1000), 77).save('" + dir + "/greyp.jpg', progressive=True)\" 2>&1",
        &status);
    ASSERT_EQ(status, 0) << out;
    // The frame header: its marker, then length (2), precision (1), height (2), width (2).
    auto patched = [&](const std::string& name, char marker) {
        std::string bytes = Bytes(dir + "/" + name);
        const size_t at = bytes.find(std::string("\xFF") + marker);
        EXPECT_NE(at, std::string::npos);
        for (size_t i : {at + 5, at + 7}) {
            bytes[i] = static_cast<char>(20000 >> 8);
            bytes[i + 1] = static_cast<char>(20000 & 0xFF);
        }
        EXPECT_LT(bytes.size(), 1024u);
        return Write("big_" + name, bytes);
    };
    uint64_t free = 0;
    DiskFreeSpaceEx(tmp.c_str(), &free, nullptr, nullptr);
    const bool roomForIt = free >= 20000ull * 20000 * 3;
    struct Case {
        std::string path;
        int result;
        std::vector<std::string> log;
    } cases[] = {
        {patched("small.jpg", '\xC0'), -23,
         {"Corrupt JPEG data: premature end of data segment", "damaged JPEG data: they end before the picture does"}},
        {patched("smallp.jpg", '\xC2'), roomForIt ? -10 : -3,
         {roomForIt ? "decoding needs more than the 512 MB of memory allowed" : "the decoded picture needs"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const uint64_t before = StreamTemporaryBytesWritten();
        KeepReceiver keep;
        EXPECT_EQ(OpenJpeg(c.path, &keep), c.result);
        EXPECT_EQ(keep.kept, nullptr);
        EXPECT_LT(StreamTemporaryBytesWritten() - before, 1u << 20);
        for (const std::string& line : c.log) testing_io::ExpectContains(Log(), {"\"" + c.path + "\": " + line});
        EXPECT_EQ(TempEntries(), 0);
    }
    // Stray bytes before the end marker: decoded, with the library's warning in the log.
    std::string stray = Bytes(dir + "/small.jpg");
    stray.insert(stray.size() - 2, "0123456789");
    const std::string p = Write("stray.jpg", stray);
    const std::string errPath = dir + "/stderr.txt";
    std::fflush(stderr);
    const int savedErr = dup(2);
    const int errFile = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(errFile, 2);
    KeepReceiver keep;
    const int r = OpenJpeg(p, &keep);
    std::fflush(stderr);
    dup2(savedErr, 2);
    ::close(savedErr);
    ::close(errFile);
    EXPECT_EQ(r, 2);
    testing_io::ExpectContains(Log(), {"\"" + p + "\": Corrupt JPEG data: 7 extraneous bytes before marker 0xd9"});
    EXPECT_EQ(Bytes(errPath), "");
    // A temporary folder that takes 1 MB of the 1.2 MB of a grey picture: no picture cut
    // short, the open fails and says why.
    KeepReceiver none;
    int cut = 0;
    {
        testing_io::FileSizeLimit limit(1 << 20);
        cut = OpenJpeg(dir + "/grey.jpg", &none);
    }
    EXPECT_LT(cut, 0);
    EXPECT_EQ(none.kept, nullptr);
    testing_io::ExpectContains(Log(), {"\"" + dir + "/grey.jpg\": can`t write the decoded picture to the temporary folder '" +
                                           tmp + "': File too large"});

    // A small decode budget: the 1,200,000 bytes of the grey picture do not fit 1,000,000,
    // and the progressive twin's coefficients (2 bytes a sample) do not fit 1 MB of memory.
    TheDecodeBudget() = DecodeBudget{1 << 20, 1000000};
    struct BudgetCase {
        const char* name;
        int result;
        std::string log;
    } budgetCases[] = {
        {"grey.jpg", -3, "the decoded picture needs 1200000 bytes, more than the 1000000 a decode may take"},
        {"greyp.jpg", -3, "the decoded picture needs 1200000 bytes, more than the 1000000 a decode may take"},
    };
    for (const BudgetCase& c : budgetCases) {
        SCOPED_TRACE(c.name);
        const uint64_t before = StreamTemporaryBytesWritten();
        KeepReceiver refused;
        EXPECT_EQ(OpenJpeg(dir + "/" + c.name, &refused), c.result);
        EXPECT_EQ(refused.kept, nullptr);
        EXPECT_EQ(StreamTemporaryBytesWritten() - before, 0u);
        testing_io::ExpectContains(Log(), {"\"" + dir + "/" + c.name + "\": " + c.log});
    }
    TheDecodeBudget().pictureBytes = 0;
    KeepReceiver refused;
    EXPECT_EQ(OpenJpeg(dir + "/greyp.jpg", &refused), -10);
    EXPECT_EQ(refused.kept, nullptr);
    testing_io::ExpectContains(Log(), {"\"" + dir + "/greyp.jpg\": decoding needs more than the 1 MB of memory allowed"});
    // With room for both, both open.
    TheDecodeBudget() = DecodeBudget{4 << 20, 1200000};
    for (const char* name : {"grey.jpg", "greyp.jpg"}) {
        KeepReceiver opened;
        EXPECT_EQ(OpenJpeg(dir + "/" + name, &opened), 2) << name;
        ASSERT_NE(opened.kept, nullptr) << name;
        EXPECT_EQ(testing_io::XY(*opened.kept), testing_io::XY(1200, 1000)) << name;
    }
    EXPECT_EQ(TempEntries(), 0);
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
