#include "io/formats/bmp/bmp_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image_reader_fixture.h"
#include "io/data_set.h"
#include "io/format_registry.h"

namespace orva {
namespace {

using testing_io::ImageReaderFixture;
using testing_io::KeepReceiver;

void Put16(std::string* s, uint32_t v) {
    s->push_back(static_cast<char>(v & 0xFF));
    s->push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string* s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// 32-bit little-endian words (masks, palettes, header fields).
std::string Masks(std::initializer_list<uint32_t> words) {
    std::string s;
    for (uint32_t m : words) Put32(&s, m);
    return s;
}

// A Windows bitmap: 40-byte header, then `extra` (masks or palette), then the pixels.
std::string Bitmap(int32_t w, int32_t h, uint32_t bits, uint32_t compression, const std::string& extra,
                   const std::string& pixels, uint32_t colorsUsed = 0) {
    const uint32_t offset = 54 + static_cast<uint32_t>(extra.size());
    const uint32_t size = static_cast<uint32_t>(pixels.size());
    std::string s = "BM" + Masks({offset + size, 0, offset, 40, static_cast<uint32_t>(w), static_cast<uint32_t>(h)});
    Put16(&s, 1);
    Put16(&s, bits);
    return s + Masks({compression, size, 3780, 3780, colorsUsed, 0}) + extra + pixels;  // 96 dpi
}

class BmpReaderTest : public ImageReaderFixture {
protected:
    static void TearDownTestSuite() { RemoveFiles(&files); }
    int OpenBmp(const std::string& path, KeepReceiver* keep) { return Open(path, &BmpOpen, keep, "BMP"); }
    // The headers of a file as BmpTestType finds them.
    int Test(const std::string& bytes, BmpInfo* info, BmpReader* rd) {
        const std::string p = Write("t.bmp", bytes);
        rd->file = std::fopen(p.c_str(), "rb");
        rd->info = info;
        rd->fileLength = static_cast<int64_t>(bytes.size());
        const int r = BmpTestType(rd, "t.bmp");
        std::fclose(rd->file);
        rd->file = nullptr;
        return r;
    }
    static inline std::string files;
};

// Files of Pillow, netpbm and ImageMagick (and hand-made RLE4 and top-down files) decode
// to the samples of an independent decoder; alpha is dropped.
TEST_F(BmpReaderTest, IndependentWritersDecodeLikeReference) {
    const std::string folder = MakeFiles("make_image_files.py", &files);
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy and PIL is missing";
    const auto rows = Manifest(folder + "/bmp_manifest.txt");
    ASSERT_GE(rows.size(), 6u);
    for (const char* tool : {"ppmtobmp", "convert"})
        if (Bytes(folder + "/missing.txt").find(tool) != std::string::npos)
            std::printf("note: %s missing, its files skipped\n", tool);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        KeepReceiver keep;
        ASSERT_EQ(OpenBmp(folder + "/" + row[0], &keep), 2);
        DataSet* d = keep.kept;
        ASSERT_NE(d, nullptr);
        const int64_t w = std::stoll(row[2]), h = std::stoll(row[3]);
        EXPECT_EQ(d->formatTag, MakeFormatTag("BINARY"));
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(w, h));
        EXPECT_EQ(d->input.channels, 3u);
        EXPECT_EQ(d->input.type & 0x4001FFu, 0x400101u);
        const std::string ref = Bytes(folder + "/" + row[1]);
        ASSERT_EQ(ref.size(), static_cast<size_t>(w * h * 3));
        const std::string got = Stored(d, ref.size());
        ASSERT_EQ(got.size(), ref.size());
        // Compare the bits each channel carries (all 8 for 8-bit channels).
        int differences = 0;
        for (size_t i = 0; i < ref.size(); ++i) {
            const int keepBits = std::stoi(row[4 + i % 3]);
            const int shift = 8 - keepBits;
            if ((static_cast<uint8_t>(got[i]) >> shift) != (static_cast<uint8_t>(ref[i]) >> shift) &&
                differences++ < 3)
                ADD_FAILURE() << "sample " << i << ": " << int(static_cast<uint8_t>(got[i])) << " vs "
                              << int(static_cast<uint8_t>(ref[i]));
        }
        EXPECT_EQ(differences, 0);
        EXPECT_EQ(TempEntries(), 0);
    }
}

// Hand-made layouts: decoded samples, sample types and refusals with their codes.
TEST_F(BmpReaderTest, LayoutsAndRefusals) {
    // 16-bit 5-6-5: up-shifts 3, 2 and 3.
    {
        std::string px;
        Put16(&px, 0xFFFF);
        Put16(&px, 0x0821);  // r 1, g 1, b 1
        KeepReceiver keep;
        ASSERT_EQ(OpenBmp(Write("565.bmp", Bitmap(2, 1, 16, 3, Masks({0xF800, 0x7E0, 0x1F}), px)), &keep), 2);
        EXPECT_EQ(Stored(keep.kept, 6), std::string("\xF8\xFC\xF8\x08\x04\x08", 6));
    }
    // 32-bit BITFIELDS with 10-bit channels and an alpha mask: 16-bit samples, alpha dropped.
    {
        std::string px;
        Put32(&px, (3u << 30) | (1023u << 20) | (1u << 10) | 512u);
        KeepReceiver keep;
        ASSERT_EQ(OpenBmp(Write("1010.bmp", Bitmap(1, 1, 32, 3,
                                                   Masks({0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}), px)),
                          &keep),
                  2);
        EXPECT_EQ(keep.kept->input.channels, 3u);
        EXPECT_EQ(keep.kept->input.type & 0x4001FFu, 0x400102u);
        const std::string s = Stored(keep.kept, 6);
        uint16_t v[3];
        std::memcpy(v, s.data(), 6);
        EXPECT_EQ(v[0], 1023u << 6);
        EXPECT_EQ(v[1], 1u << 6);
        EXPECT_EQ(v[2], 512u << 6);
    }
    // 8-bit with 16 colours used: 16 entries read; indexes past them are black.
    {
        std::string pal;
        for (uint32_t i = 0; i < 16; ++i) Put32(&pal, (i * 16) | ((i * 8) << 8) | (i << 16));
        std::string px("\x01\x0F\x14\xFF", 4);
        KeepReceiver keep;
        ASSERT_EQ(OpenBmp(Write("p16.bmp", Bitmap(4, 1, 8, 0, pal, px, 16)), &keep), 2);
        EXPECT_EQ(Stored(keep.kept, 12), std::string("\x01\x08\x10\x0F\x78\xF0\0\0\0\0\0\0", 12));
    }
    // RLE8 with a delta that crosses from one chunk of rows into the next (218 rows of
    // 600 pixels per chunk), then the end of the bitmap: skipped pixels are index 0.
    {
        const std::string pal = Masks({0x0A141E, 0xC86432, 0x070707});
        std::string rle("\xFF\x02\xFF\x02\x5A\x02\x00\x00\x00\x02\x05\xFA\x03\x01\x00\x01", 16);
        KeepReceiver keep;
        ASSERT_EQ(OpenBmp(Write("delta.bmp", Bitmap(600, 300, 8, 1, pal, rle, 3)), &keep), 2);
        const std::string s = Stored(keep.kept, 600 * 300 * 3);
        ASSERT_EQ(s.size(), 600u * 300u * 3u);
        int wrong = 0;
        for (size_t y = 0; y < 300; ++y)
            for (size_t x = 0; x < 600; ++x) {
                const char* want = y == 299 ? "\x07\x07\x07"
                                   : (y == 48 && x >= 5 && x < 8) ? "\xC8\x64\x32" : "\x0A\x14\x1E";
                if (s.compare((y * 600 + x) * 3, 3, want) != 0 && wrong++ < 3)
                    ADD_FAILURE() << "pixel " << x << ", " << y;
            }
    }
    struct Bad {
        const char* what;
        std::string bytes;
        int result;
        const char* log;
    };
    std::string rgb(12, '\x40');
    const Bad bad[] = {
        {"bad magic", "XX" + Bitmap(1, 1, 24, 0, "", rgb).substr(2), -24, nullptr},
        {"short header", Bitmap(1, 1, 24, 0, "", rgb).substr(0, 30), -24, nullptr},
        {"zero width", Bitmap(0, 1, 24, 0, "", rgb), -24, nullptr},
        {"2-bit", Bitmap(1, 1, 2, 0, "", rgb), -13,
         "\"t.bmp\": not supported format (bitsPixel 2, compression  0x0)"},
        {"24-bit RLE8", Bitmap(1, 1, 24, 1, "", rgb), -22,
         "\"t.bmp\": not supported format (bitsPixel 24, compression  0x1)"},
        {"PNG inside", Bitmap(1, 1, 24, 5, "", rgb), -22,
         "\"t.bmp\": not supported format (bitsPixel 24, compression Png 0x5)"},
        {"more rows than the file holds", Bitmap(2, 5, 24, 0, "", rgb), -24, nullptr},
        {"huge size promised", Bitmap(0x7FFFFFFF, 0x7FFFFFFF, 32, 0, "", rgb), -24, nullptr},
        {"masks missing", Bitmap(1, 1, 16, 3, "", ""), -24, nullptr},
        {"pixel data past the end", Bitmap(1, 1, 24, 0, std::string(8, '\0'), "").substr(0, 58), -23,
         "test bmp type: \"t.bmp\": Corrupt file"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        BmpInfo info;
        BmpReader rd;
        EXPECT_EQ(Test(b.bytes, &info, &rd), b.result);
        if (b.log) testing_io::ExpectContains(Log(), {b.log});
    }
    // A palette cut short by the end of the file.
    {
        BmpInfo info;
        BmpReader rd;
        EXPECT_EQ(Test(Bitmap(4, 1, 8, 0, std::string(1024, '\x11'), "abcd").substr(0, 54 + 300), &info, &rd), -19);
    }
    // A width beyond the decoder's limit (RLE: no size known from the file) is refused
    // after the decoded file was made; nothing is left of it.
    {
        const std::string p =
            Write("wide.bmp", Bitmap(0x2000001, 1, 8, 1, Masks({0xFFFFFF}), std::string("\0\1", 2), 1));
        KeepReceiver keep;
        EXPECT_EQ(OpenBmp(p, &keep), -12);
        testing_io::ExpectContains(Log(), {"\"" + p + "\": Not supported size [33554433 x 1] of the data"});
        EXPECT_EQ(keep.kept, nullptr);
    }
}

// Run-length pictures whose header promises more than their data give: refused before
// anything of the promise is written, with the reason in the log and nothing left in the
// temporary folder. A picture that ends with its end-of-bitmap code opens whatever its
// size, as far as the temporary folder holds it; a folder that cannot take the whole
// decoded picture fails the open instead of cutting it.
// `bytes` of runs of 255 pixels each.
std::string Runs(size_t bytes) {
    std::string runs;
    runs.reserve(bytes);
    while (runs.size() + 2 <= bytes) runs += std::string("\xFF\x07", 2);
    return runs;
}

// How many pixels run-length data are decoded to: every picture up to 2^24 pixels, beyond
// that 16 a byte.
TEST(RlePixelLimit, FreeUpToTwoToTheTwentyFourThenSixteenAByte) {
    const struct {
        int64_t bytes, pixels;
    } cases[] = {{0, 16777216},       {2, 16777216},           {1 << 20, 16777216},
                 {(1 << 20) + 1, 16777232}, {4 << 20, 67108864}, {int64_t{1} << 32, int64_t{1} << 36}};
    for (const auto& c : cases) EXPECT_EQ(RlePixelLimit(c.bytes), c.pixels) << c.bytes;
}

TEST_F(BmpReaderTest, HostileRunLengthPictures) {
    std::string pal;
    for (uint32_t i = 0; i < 256; ++i) Put32(&pal, i * 0x010101u);
    pal.replace(0, 4, Masks({0x203040}));  // the colour of what is skipped: 0x40, 0x30, 0x20
    struct Case {
        const char* what;
        int32_t w, h;
        std::string pixels;
        int result;
        std::string log;
    } cases[] = {
        // 1080 bytes declaring 8000 x 2000: a run of 5, then the data end.
        {"data end", 8000, 2000, std::string("\x05\x07", 2), -23,
         "damaged run-length data: they end in row 1 of 2000, before the end of the bitmap"},
        // Rows ended one by one, a skip of 255 rows, then nothing.
        {"rows then nothing", 8000, 2000, std::string("\x00\x00\x00\x00\x00\x02\x00\xFF", 8), -23,
         "damaged run-length data: they end in row 258 of 2000"},
        {"literal cut short", 100, 100, std::string("\x00\x09\x01\x02", 4), -23, "damaged run-length data"},
        // More pixels than two bytes of data are decoded to.
        {"end of bitmap, too large", 0x2000000, 0x7FFFFFFF, std::string("\x00\x01", 2), -12,
         "Not supported size [33554432 x 2147483647] of run-length data: 2 bytes of it are decoded to at most "
         "16777216 pixels"},
        // A megabyte of runs declaring 65535 x 65535: refused before a pixel is decoded.
        {"a megabyte of runs, 65535 x 65535", 65535, 65535, Runs(1 << 20), -12,
         "Not supported size [65535 x 65535] of run-length data: 1048576 bytes of it are decoded to at most "
         "16777216 pixels"},
        {"four megabytes of runs, 65535 x 65535", 65535, 65535, Runs(4 << 20), -12,
         "Not supported size [65535 x 65535] of run-length data: 4194304 bytes of it are decoded to at most "
         "67108864 pixels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = Bitmap(c.w, c.h, 8, 1, pal, c.pixels);
        const std::string p = Write("hostile.bmp", bytes);
        const uint64_t before = StreamTemporaryBytesWritten();
        KeepReceiver keep;
        EXPECT_EQ(OpenBmp(p, &keep), c.result);
        EXPECT_EQ(keep.kept, nullptr);
        EXPECT_EQ(StreamTemporaryBytesWritten() - before, 0u);
        testing_io::ExpectContains(Log(), {"\"" + p + "\": " + c.log});
        EXPECT_EQ(TempEntries(), 0);
    }
    // The same megabyte as RLE4 (16 palette entries).
    {
        const std::string p = Write("hostile4.bmp", Bitmap(65535, 65535, 4, 2, pal.substr(0, 64), Runs(1 << 20), 16));
        KeepReceiver keep;
        EXPECT_EQ(OpenBmp(p, &keep), -12);
        EXPECT_EQ(keep.kept, nullptr);
        testing_io::ExpectContains(Log(), {"\"" + p + "\": Not supported size [65535 x 65535] of run-length data"});
        EXPECT_EQ(TempEntries(), 0);
    }
    // A legitimate large picture: two runs and a skip, then the end of the bitmap.
    const std::string legit = Bitmap(3000, 2000, 8, 1, pal, std::string("\x04\x05\x00\x00\x00\x02\x02\x01\x03\x09\x00\x01", 12));
    KeepReceiver keep;
    ASSERT_EQ(OpenBmp(Write("large.bmp", legit), &keep), 2);
    ASSERT_EQ(testing_io::XY(*keep.kept), testing_io::XY(3000, 2000));
    // Bottom-up: the first row of the data is the last of the picture.
    auto pixel = [&](int64_t x, int64_t y) {
        std::string rgb(3, '\0');
        StreamRead(keep.kept->stream, (y * 3000 + x) * 3, rgb.data(), 3);
        return rgb;
    };
    EXPECT_EQ(pixel(3, 1999), "\x05\x05\x05");
    EXPECT_EQ(pixel(4, 1999), "\x20\x30\x40");
    EXPECT_EQ(pixel(2, 1998), "\x20\x30\x40");
    EXPECT_EQ(pixel(4, 1997), "\x09\x09\x09");  // after the skip of 2 across and 1 down
    EXPECT_EQ(pixel(5, 1997), "\x20\x30\x40");
    EXPECT_EQ(pixel(2999, 0), "\x20\x30\x40");
    keep.kept->Release();
    keep.kept = nullptr;

    // A temporary folder that takes 1 MB of the 18 MB: the open fails and says why.
    const std::string p = Write("large.bmp", legit);
    int r = 0;
    {
        testing_io::FileSizeLimit limit(1 << 20);
        r = OpenBmp(p, &keep);
    }
    EXPECT_LT(r, 0);
    EXPECT_EQ(keep.kept, nullptr);
    testing_io::ExpectContains(Log(), {"\"" + p + "\": can`t write the decoded picture to the temporary folder '" + tmp + "': File too large"});

    // A decode budget one byte short of the 18,000,000 bytes refuses the picture before
    // anything is written; one that holds it exactly lets it open.
    TheDecodeBudget().pictureBytes = 3000 * 2000 * 3 - 1;
    const uint64_t before = StreamTemporaryBytesWritten();
    EXPECT_EQ(OpenBmp(p, &keep), -3);
    EXPECT_EQ(keep.kept, nullptr);
    EXPECT_EQ(StreamTemporaryBytesWritten() - before, 0u);
    testing_io::ExpectContains(
        Log(), {"\"" + p + "\": the decoded picture needs 18000000 bytes, more than the 17999999 a decode may take"});
    TheDecodeBudget().pictureBytes = 3000 * 2000 * 3;
    ASSERT_EQ(OpenBmp(p, &keep), 2);
    keep.kept->Release();
    keep.kept = nullptr;
    EXPECT_EQ(TempEntries(), 0);
}

TEST_F(BmpReaderTest, InfoTexts) {
    struct Case {
        std::string bytes;
        uint32_t item;
        const char* text;
    };
    const std::string pal16(64, '\0');
    const Case cases[] = {
        {Bitmap(1, 1, 24, 0, "", std::string(4, '\0')), 4, "R8 G8 B8 / 8b"},
        {Bitmap(1, 1, 24, 0, "", std::string(4, '\0')), 1, "[none]"},
        {Bitmap(2, 1, 4, 0, pal16, std::string(4, '\0'), 16), 4, "Palette 16 ARGB"},
        {Bitmap(2, 1, 4, 2, pal16, std::string(4, '\0'), 16), 1, "RLE4"},
        {Bitmap(1, 1, 16, 3, Masks({0xF800, 0x7E0, 0x1F}), std::string(4, '\0')), 4, "R5 G6 B5 / 8b"},
        {Bitmap(1, 1, 16, 0, "", std::string(4, '\0')), 4, "X1 R5 G5 B5 / 8b"},
        {Bitmap(1, 1, 16, 3, Masks({0xF00, 0xF0, 0xF, 0xF000}), std::string(4, '\0')), 4,
         "A4 R4 G4 B4 / 8b"},
        {Bitmap(1, 1, 32, 3, Masks({0xFFC00000, 0x3FF000, 0xFFC, 0}), std::string(4, '\0')), 4,
         "R10 G10 B10 X2 / 16b"},
        {Bitmap(1, 1, 32, 3, Masks({0xFF0000, 0xFF00, 0xFF}), std::string(4, '\0')), 1, "BITFIELDS"},
    };
    for (const Case& c : cases) {
        BmpInfo info;
        BmpReader rd;
        ASSERT_EQ(Test(c.bytes, &info, &rd), 2) << c.text;
        char buffer[80] = "junk";
        EXPECT_TRUE(BmpInfoText(&info, c.item, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, c.text);
    }
    // OS/2 headers are marked; a buffer too small takes nothing.
    std::string os2 = "BM" + Masks({26 + 3, 0, 26, 12});
    for (uint32_t v : {1, 1, 1, 24}) Put16(&os2, v);  // width, height, planes, bits
    os2 += std::string(4, '\0');
    BmpInfo info;
    BmpReader rd;
    ASSERT_EQ(Test(os2, &info, &rd), 2);
    char buffer[80];
    EXPECT_TRUE(BmpInfoText(&info, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "[none] [OS2]");
    EXPECT_FALSE(BmpInfoText(&info, 4, buffer, 20));
    EXPECT_FALSE(BmpInfoText(&info, 1, buffer, 4));
}

// A colour bitmap states the range of its samples, 0 to 255: it holds while the samples are
// delivered as they are or one channel is chosen, follows a new scale and zero, and is
// stated no more once the channels are added up (they reach 765) or the sample type is
// another; the view then takes its range from the data, as for a file that states none.
TEST_F(BmpReaderTest, TheStatedRangeFollowsTheDescription) {
    testing_io::BuiltinFormats formats;
    const std::string path =
        Write("rgb.bmp", Bitmap(1, 1, 24, 0, "", std::string("\x10\x20\x30\x00", 4)));
    KeepReceiver receiver;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &receiver), 2);
    DataSet* d = receiver.kept;
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->input.channels, 3u);
    auto range = [&] {
        double low = 0, high = 0;
        const bool stated = d->ValueRange(&low, &high);
        return stated ? std::to_string(low) + " " + std::to_string(high) : std::string("none");
    };
    EXPECT_EQ(range(), "0.000000 255.000000");
    d->channelMode = kChannelSelected;
    EXPECT_EQ(range(), "0.000000 255.000000");
    d->channelMode = kChannelMean;
    EXPECT_EQ(range(), "0.000000 255.000000");
    for (const int32_t mode :
         {int32_t{kChannelSumming}, int32_t{kChannelWeighted}, int32_t{kChannelProfile}}) {
        d->channelMode = mode;
        EXPECT_EQ(range(), "none") << mode;
    }
    d->channelMode = kChannelAsIs;
    d->scale = -2.0;
    d->zero = 10.0;
    EXPECT_EQ(range(), "-500.000000 10.000000");
    d->scale = 1.0;
    d->zero = 0.0;
    const uint32_t type = d->input.type;
    d->input.type = (type & ~0x7Fu) | 0x02u;
    EXPECT_EQ(range(), "none");
    d->input.type = type;
    EXPECT_EQ(range(), "0.000000 255.000000");
}

// The registry's BMP descriptor opens a bitmap through the program's open path.
TEST_F(BmpReaderTest, OpenThroughTheRegistry) {
    testing_io::BuiltinFormats formats;
    std::string px("\x01\x02\x03\x00", 4);
    const std::string path = Write("one.bmp", Bitmap(1, 1, 24, 0, "", px));
    KeepReceiver receiver;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &receiver), 2);
    ASSERT_NE(receiver.kept, nullptr);
    EXPECT_STREQ(receiver.kept->TagText(), "BMP");
    EXPECT_EQ(Stored(receiver.kept, 3), "\x03\x02\x01");
}

}  // namespace
}  // namespace orva
