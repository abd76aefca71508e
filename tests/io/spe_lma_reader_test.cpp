#include <gtest/gtest.h>

#include <string>

#include "image_reader_fixture.h"
#include "io/format_registry.h"
#include "io/formats/binary/raw_reader.h"
#include "io/formats/spe/spe_reader.h"
#include "io/service_description.h"

namespace orva {
namespace {

using testing_io::ImageReaderFixture;
using testing_io::KeepReceiver;

// The value the generator script stores at (x, y) of frame f.
double Expected(int64_t x, int64_t y, int64_t f) { return static_cast<double>((x + 3 * y + 7 * f) % 100); }

class SpeLmaReaderTest : public ImageReaderFixture {
protected:
    static void TearDownTestSuite() { RemoveFiles(&files); }
    static inline std::string files;
};

// Both header generations: sizes, sample types and frame counts from the header or from
// the file length, samples from offset 4100; refused headers give -24 with the reason logged.
TEST_F(SpeLmaReaderTest, SpeFilesFromTheOffsetTables) {
    const std::string folder = MakeFiles("make_spe_files.py", &files);
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy is missing";
    const auto rows = Manifest(folder + "/spe_manifest.txt");
    ASSERT_GE(rows.size(), 20u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        KeepReceiver keep;
        const int expect = std::stoi(row[1]);
        ASSERT_EQ(Open(folder + "/" + row[0], &SpeOpen, &keep, "SPE WINV"), expect);
        if (expect != 2) {
            EXPECT_EQ(keep.kept, nullptr);
            continue;
        }
        DataSet* d = keep.kept;
        ASSERT_NE(d, nullptr);
        const int64_t w = std::stoll(row[2]), h = std::stoll(row[3]);
        const uint32_t frames = static_cast<uint32_t>(std::stoul(row[4]));
        EXPECT_EQ(d->formatTag, MakeFormatTag("SPE WINV"));
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(w, h));
        EXPECT_EQ(d->TotalFrames(), frames);
        EXPECT_EQ(d->input.type & 0x4001FFu, static_cast<uint32_t>(std::stoul(row[5])));
        // Whether the frame count came from the header.
        const std::string head = Bytes(folder + "/" + row[0]).substr(0, kSpeHeaderSize);
        FileLayout l;
        ASSERT_TRUE(SpeParseHeader(&l, reinterpret_cast<const uint8_t*>(head.data()), d->stream->length, "x"));
        EXPECT_EQ((l.flags & kFlagFrames) != 0, row[6] == "1");
        for (uint32_t f = 0; f < frames; ++f)
            for (int64_t y = 0; y < h; y += h - 1 ? h - 1 : 1)
                for (int64_t x = 0; x < w; x += w - 1)
                    EXPECT_EQ(Value(d, x, y, static_cast<int32_t>(f)), Expected(x, y, f)) << x << "," << y;
    }
    testing_io::ExpectContains(Log(), {folder + "/old_type5.spe : Unknown data type",
                                       folder + "/new_type9.spe : Unknown data type",
                                       folder + "/new_type4.spe : String/char data type not suported..."});
}

// The header parser on its own: frame sizes that overflow are refused, never divided by.
TEST_F(SpeLmaReaderTest, ParseHeaderLimits) {
    std::vector<uint8_t> h(kSpeHeaderSize, 0);
    auto put16 = [&](size_t at, uint16_t v) { h[at] = v & 0xFF, h[at + 1] = v >> 8; };
    FileLayout l;
    // Older header, 65535 x 65535 32-bit reals: the file holds no frame.
    put16(42, 0xFFFF);
    put16(656, 0xFFFF);
    put16(108, 0);
    EXPECT_FALSE(SpeParseHeader(&l, h.data(), kSpeHeaderSize + 1000, "big"));
    // With room for exactly one frame it is accepted, and the frame count is capped.
    EXPECT_TRUE(SpeParseHeader(&l, h.data(), kSpeHeaderSize + 65535LL * 65535 * 4, "big"));
    EXPECT_EQ(l.frames, 1u);
    EXPECT_EQ(l.flags, 0x18u | 0x1000F00u | 0x8039007u);
    put16(42, 1);
    put16(656, 1);
    put16(108, 6);  // 8-bit: an older header does not know it
    EXPECT_FALSE(SpeParseHeader(&l, h.data(), kSpeHeaderSize + 10, "old"));
    put16(108, 3);
    EXPECT_TRUE(SpeParseHeader(&l, h.data(), INT64_C(0x7FFFFFFFFFFF), "many"));
    EXPECT_EQ(l.frames, 2147483647u);
}

// LMA: 512 x 512 unsigned 16-bit samples after 512 bytes; sizes the service description
// states win over the fixed ones; a file shorter than the header is refused.
TEST_F(SpeLmaReaderTest, LmaFiles) {
    const std::string folder = MakeFiles("make_spe_files.py", &files);
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy is missing";
    {
        KeepReceiver keep;
        ASSERT_EQ(Open(folder + "/one.lma", &LmaOpen, &keep, "SPE WINV"), 2);
        DataSet* d = keep.kept;
        EXPECT_EQ(d->formatTag, MakeFormatTag("LMA QEV"));
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(512, 512));
        EXPECT_EQ(d->input.type & 0x1FFu, 0x102u);
        EXPECT_EQ(Value(d, 511, 0, 0), Expected(511, 0, 0));
        EXPECT_EQ(Value(d, 7, 300, 0), Expected(7, 300, 0));
    }
    {
        TheServiceDescriptionHooks().load = [](const char*) {
            ServiceDescription* s = new ServiceDescription;
            s->sizeX = 1024;
            s->sizeY = 256;
            s->flags = kFlagSizeX | kFlagSizeY;
            return s;
        };
        KeepReceiver keep;
        ASSERT_EQ(Open(folder + "/one.lma", &LmaOpen, &keep, "SPE WINV"), 2);
        DataSet* d = keep.kept;
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(1024, 256));
        // Sample (x, y) of the 1024-wide view is sample (x mod 512, 2 y + x / 512) of the file.
        EXPECT_EQ(d->cropSizeX, 1024);
        EXPECT_EQ(Value(d, 100, 3, 0), Expected(100, 2 * 3, 0));
        EXPECT_EQ(Value(d, 600, 3, 0), Expected(600 - 512, 2 * 3 + 1, 0));
        EXPECT_EQ(Value(d, 511, 255, 0), Expected(511, 2 * 255, 0));
    }
    KeepReceiver keep;
    EXPECT_EQ(Open(folder + "/short.lma", &LmaOpen, &keep, "SPE WINV"), -24);
    EXPECT_EQ(Open(dir + "/absent.lma", &LmaOpen, &keep, "SPE WINV"), -2);
}

// The registry's SPE and LMA descriptors reach these readers by extension.
TEST_F(SpeLmaReaderTest, OpenThroughTheRegistry) {
    const std::string folder = MakeFiles("make_spe_files.py", &files);
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy is missing";
    testing_io::BuiltinFormats formats;
    for (const char* file : {"new_ffff.spe", "one.lma"}) {
        KeepReceiver receiver;
        ASSERT_EQ(
            testing_io::OpenThroughRegistry(&formats.registry, folder + "/" + file, &receiver), 2)
            << file;
        ASSERT_NE(receiver.kept, nullptr);
        EXPECT_EQ(receiver.kept->sizeX, file[0] == 'n' ? 7 : 512);
        EXPECT_STREQ(receiver.kept->TagText(), file[0] == 'n' ? "SPE WINV" : "LMA QEV");
        EXPECT_EQ(testing_io::FormatInfoClass(receiver.kept),
                  file[0] == 'n' ? &kSpeInfoId : &kBinaryInfoId);
    }
}

}  // namespace
}  // namespace orva
