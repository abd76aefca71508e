// Palettes: palette text files in and out, user palettes resampled into
// working palettes, colour correction, and the row converters.
#include "transform/palette_table.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/disk_file.h"
#include "test_support.h"
#include "transform/color_converter.h"
#include "transform/colour_correction.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing_transform::StatusRecorder;
using testing_transform::Format;
using testing_transform::kNaN;
using testing_transform::TransformTest;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

std::string Values(const std::vector<int>& values) {
    std::string text;
    for (int v : values) text += std::to_string(v) + "\n";
    return text;
}

// A working palette whose entries all differ: entry i = (i AND 255, i / 256, 3).
void DistinctPalette(PaletteTable* p, bool wide = false) {
    p->sixteenBit = wide;
    ASSERT_TRUE(ReserveWorkingPalette(p));
    for (uint32_t i = 0; i < p->WorkingEntries(); ++i) {
        const uint32_t v[3] = {i & 255, i >> 8, 3};
        for (int c = 0; c < 3; ++c) {
            if (wide) reinterpret_cast<uint16_t*>(p->data)[3 * i + c] = static_cast<uint16_t>(v[c]);
            else p->data[3 * i + c] = static_cast<uint8_t>(v[c]);
        }
    }
}

// The index of an intensity by the rule, with the library's nearbyint.
uint32_t RuleIndex(double v, double full, uint32_t top) {
    const double t = v * full;
    if (t >= top - 0.5) return top;
    if (!(t >= 0.5)) return 0;
    return static_cast<uint32_t>(std::nearbyint(t));
}

class PaletteTest : public TransformTest {
protected:
    TempFolder folder;
};

// ---- Palette files ------------------------------------------------------------------------

TEST_F(PaletteTest, LoadingPaletteFiles) {
    struct Row {
        std::string text;
        bool ok;
        uint32_t count, channels, wide;
        const char* message;  // the kind of failure shown, or nullptr
    };
    std::vector<int> bytes12 = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 255};
    std::vector<int> wide = bytes12;
    wide[4] = 256;
    const Row rows[] = {
        {Values(bytes12), true, 4, 3, 0, nullptr},
        {Values({1, 2, 3, 4, 5, 6, 7, 8}), true, 2, 4, 0, nullptr},
        {Values(wide), true, 4, 3, 1, nullptr},
        {"10 20 30\t65535\r\n0 0", true, 2, 3, 1, nullptr},
        {Values({1, 2, 3, 4, 5, 6, 7}), false, 0, 0, 0, ", bad count value"},
        {Values({1, 2, 65536}), false, 0, 0, 0, ""},
        {Values({1, -1, 3}), false, 0, 0, 0, ""},
        {"", false, 0, 0, 0, ""},
        {"abc\n1\n2\n3\n", false, 0, 0, 0, ""},
        // A word that is not a decimal integer ends the values.
        {"1\n2\n3\nx4\n5\n6\n7\n", true, 1, 3, 0, nullptr},
        {"1\n2\n3\n4.5\n", true, 1, 3, 0, nullptr},
    };
    const std::string path = folder.File("p.pal");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        WriteText(path, r.text);
        PaletteTable t;
        StatusRecorder status;
        EXPECT_EQ(LoadPaletteText(&t, path.c_str()), r.ok);
        if (r.ok) {
            EXPECT_EQ(t.count, r.count);
            EXPECT_EQ(t.Channels(), r.channels);
            EXPECT_EQ(t.sixteenBit, r.wide);
            EXPECT_TRUE(StatusRecorder::Lines().empty());
        } else {
            ASSERT_EQ(StatusRecorder::Lines().size(), 1u);
            const auto& line = StatusRecorder::Lines()[0];
            EXPECT_EQ(line.group, 0);
            EXPECT_EQ(line.code, -3);
            EXPECT_EQ(line.text, "Can`t load Palette" + std::string(r.message) + "... File: '" + path + "'");
        }
    }
    PaletteTable t;
    WriteText(path, Values(bytes12));
    ASSERT_TRUE(LoadPaletteText(&t, path.c_str()));
    EXPECT_EQ(t.Value(3, 2), 255u);
    // A failure keeps what the table held; a file that is not there fails silently.
    WriteText(path, Values({1, 2}));
    StatusRecorder status;
    EXPECT_FALSE(LoadPaletteText(&t, path.c_str()));
    EXPECT_EQ(t.count, 4u);
    EXPECT_EQ(t.Value(3, 2), 255u);
    EXPECT_FALSE(LoadPaletteText(&t, folder.File("none.pal").c_str()));
    EXPECT_FALSE(LoadPaletteText(&t, ""));
    EXPECT_EQ(StatusRecorder::Lines().size(), 1u);
}

TEST_F(PaletteTest, LargeFilesAreLimited) {
    const std::string path = folder.File("big.pal");
    // Values k % 65536 for k = 0 .. count - 1.
    auto write = [&](uint32_t count) {
        std::string text;
        text.reserve(size_t{count} * 7);
        for (uint32_t k = 0; k < count; ++k) text += std::to_string(k % 65536) + "\n";
        WriteText(path, text);
    };
    // As many values as a palette holds: 0x20000 16-bit RGBA entries.
    PaletteTable t;
    write(0x80000);
    ASSERT_TRUE(LoadPaletteText(&t, path.c_str()));
    EXPECT_EQ(t.sixteenBit, 1);
    EXPECT_EQ(t.Channels(), 4u);
    EXPECT_EQ(t.count, 0x20000u);
    EXPECT_EQ(t.Value(0, 1), 1u);
    EXPECT_EQ(t.Value(0x1FFFF, 3), 0x7FFFFu % 65536);
    // The largest 3-channel count below the limit stays RGB (its first 0x20000 entries).
    write(174762 * 3);
    ASSERT_TRUE(LoadPaletteText(&t, path.c_str()));
    EXPECT_EQ(t.Channels(), 3u);
    EXPECT_EQ(t.count, 0x20000u);
    EXPECT_EQ(t.Value(0x1FFFF, 2), (0x1FFFFu * 3 + 2) % 65536);
    // One entry more, or any value beyond the limit, is refused, naming the file and the
    // limit; the table keeps what it held.
    for (uint32_t count : {174763u * 3, 0x80001u, 2000000u}) {
        SCOPED_TRACE(count);
        write(count);
        StatusRecorder status;
        EXPECT_FALSE(LoadPaletteText(&t, path.c_str()));
        ASSERT_EQ(StatusRecorder::Lines().size(), 1u);
        EXPECT_EQ(StatusRecorder::Lines()[0].code, -3);
        EXPECT_EQ(StatusRecorder::Lines()[0].text,
                  "Can`t load Palette, more than 524288 values... File: '" + path + "'");
        EXPECT_EQ(t.Channels(), 3u);
        EXPECT_EQ(t.count, 0x20000u);
    }

    // 3000 8-bit RGB entries keep 512.
    std::vector<int> values;
    for (int i = 0; i < 9000; ++i) values.push_back(i % 251);
    WriteText(path, Values(values));
    ASSERT_TRUE(LoadPaletteText(&t, path.c_str()));
    EXPECT_EQ(t.sixteenBit, 0);
    EXPECT_EQ(t.count, 512u);
    EXPECT_EQ(t.Value(511, 2), (511u * 3 + 2) % 251);
}

TEST_F(PaletteTest, UserPalettesBecomeWorkingPalettes) {
    // 16 RGB entries stretch to 256, each 16 times; 256 … 511 repeat entry 255.
    PaletteTable user;
    ASSERT_TRUE(ReservePaletteEntries(&user, 16));
    user.count = 16;
    for (uint32_t j = 0; j < 16; ++j) {
        user.data[3 * j] = static_cast<uint8_t>(10 * j);
        user.data[3 * j + 1] = static_cast<uint8_t>(j);
        user.data[3 * j + 2] = static_cast<uint8_t>(255 - j);
    }
    PaletteTable working;
    ASSERT_TRUE(ConvertPalette(&working, user));
    for (uint32_t k = 0; k < 512; ++k) {
        const uint32_t j = k < 256 ? k / 16 : 15;
        ASSERT_EQ(working.Value(k, 0), 10 * j) << k;
        ASSERT_EQ(working.Value(k, 2), 255 - j) << k;
    }
    // Into 16-bit RGBA entries: values × 257 and a fourth value 0.
    PaletteTable wide;
    wide.sixteenBit = 1;
    wide.fourChannels = 1;
    ASSERT_TRUE(ConvertPalette(&wide, user));
    EXPECT_EQ(wide.Value(0x10000 - 1, 0), 150u * 257);
    EXPECT_EQ(wide.Value(4096 * 3, 2), 252u * 257);
    EXPECT_EQ(wide.Value(0x1FFFF, 3), 0u);
    // 300 16-bit RGBA entries into 8-bit RGB: the first 300 copied and scaled
    // down (truncated), the rest repeat entry 299, the fourth value dropped.
    PaletteTable many;
    many.sixteenBit = 1;
    many.fourChannels = 1;
    ASSERT_TRUE(ReservePaletteEntries(&many, 300));
    many.count = 300;
    auto* words = reinterpret_cast<uint16_t*>(many.data);
    for (uint32_t j = 0; j < 300 * 4; ++j) words[j] = static_cast<uint16_t>(j * 50);
    ASSERT_TRUE(ConvertPalette(&working, many));
    EXPECT_EQ(working.Value(1, 0), 4u * 50 * 255 / 65535);
    EXPECT_EQ(working.Value(299, 2), (299u * 4 + 2) * 50 % 65536 * 255 / 65535);
    EXPECT_EQ(working.Value(511, 1), working.Value(299, 1));
    PaletteTable empty;
    EXPECT_FALSE(ConvertPalette(&working, empty));
}

TEST_F(PaletteTest, SavingPalettes) {
    // A working palette whose entries 200 … 511 are equal: 256 entries written.
    PaletteTable p;
    DistinctPalette(&p);
    for (uint32_t i = 200; i < 512; ++i) p.data[3 * i] = p.data[3 * i + 1] = p.data[3 * i + 2] = 9;
    const std::string path = folder.File("out.pal");
    ASSERT_TRUE(SavePaletteFile(p, 512, path.c_str()));
    PaletteTable back;
    ASSERT_TRUE(LoadPaletteText(&back, path.c_str()));
    EXPECT_EQ(back.count, 256u);
    EXPECT_EQ(back.Value(199, 0), 199u);
    EXPECT_EQ(back.Value(255, 2), 9u);
    EXPECT_EQ(ReadText(path).rfind("0\n0\n3\n1\n0\n3\n", 0), 0u);

    // Through a converter: a user palette of 256 entries shown uncorrected is written whole.
    ColorConverter c(nullptr, 0);
    ASSERT_TRUE(ColorConverterSetFormat(&c, Format(1)));
    std::vector<int> values;
    for (int i = 0; i < 256; ++i) values.insert(values.end(), {i, 255 - i, 255});
    const std::string user = folder.File("user.pal");
    WriteText(user, Values(values));
    ASSERT_TRUE(c.Current().LoadUserPalette(user.c_str()));
    ASSERT_TRUE(ColorConverterSetClass(&c, 0));
    EXPECT_EQ(c.Current().classIndex, 0);
    EXPECT_EQ(c.palette.Value(300, 1), 0u);
    ASSERT_TRUE(ColorConverterWritePalette(&c, path.c_str()));
    EXPECT_EQ(ReadText(path), Values(values));
    // A corrected one is saved as the working palette: here inverted, 256 entries after the trailing run.
    ASSERT_TRUE(ColorConverterEdit(&c, [](ColorSettings& s) { s.correction.colorFlags = kColourInvert; }));
    ASSERT_TRUE(ColorConverterWritePalette(&c, path.c_str()));
    ASSERT_TRUE(LoadPaletteText(&back, path.c_str()));
    EXPECT_EQ(back.count, 256u);
    EXPECT_EQ(back.Value(10, 0), 245u);
    EXPECT_EQ(back.Value(10, 2), 0u);

    ColorConverter none(nullptr, 0);
    EXPECT_FALSE(ColorConverterWritePalette(&none, path.c_str()));
}

DriveStatus gDrive;
bool TestDrive(const char*, DriveStatus* out) {
    *out = gDrive;
    return true;
}

TEST_F(PaletteTest, AFailedSaveKeepsTheOldFile) {
    PaletteTable p;
    DistinctPalette(&p);
    const std::string path = folder.File("keep.pal");
    WriteText(path, "1\n2\n3\n");
    const std::string expected = "Can`t save Palette to file '" + path + "'";
    {
        // A read-only file system.
        gDrive = DriveStatus{true, 1000};
        SetDriveStatusQuery(TestDrive);
        StatusRecorder status;
        const std::string log = testing_util::CapturedLog([&] { EXPECT_FALSE(SavePaletteFile(p, 512, path.c_str())); });
        SetDriveStatusQuery(nullptr);
        EXPECT_NE(log.find("WritePaletteFile: error"), std::string::npos) << log;
        ASSERT_EQ(StatusRecorder::Lines().size(), 1u);
        EXPECT_EQ(StatusRecorder::Lines()[0].text, expected);
        EXPECT_EQ(StatusRecorder::Lines()[0].code, -3);
    }
    {
        // A write that fails half-way: the file size limit is below the palette's text.
        struct sigaction ignore = {}, old = {};
        ignore.sa_handler = SIG_IGN;
        ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &old), 0);
        struct rlimit saved;
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 1000;
        StatusRecorder status;
        bool ok = true;
        const std::string log = testing_util::CapturedLog([&] {
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            ok = SavePaletteFile(p, 512, path.c_str());
            setrlimit(RLIMIT_FSIZE, &saved);
        });
        sigaction(SIGXFSZ, &old, nullptr);
        EXPECT_FALSE(ok);
        EXPECT_NE(log.find("WritePaletteFile: error"), std::string::npos) << log;
        ASSERT_EQ(StatusRecorder::Lines().size(), 1u);
        EXPECT_EQ(StatusRecorder::Lines()[0].text, expected);
    }
    EXPECT_EQ(ReadText(path), "1\n2\n3\n");
    EXPECT_EQ(folder.Files().size(), 1u);
}

// ---- Colour correction ----------------------------------------------------------------------

class CorrectionTest : public PaletteTest {
protected:
    // The "Grey" working palette of a converter after an edit of its correction.
    PaletteTable& Grey(const std::function<void(ColourCorrection&)>& edit) {
        EXPECT_TRUE(ColorConverterSetFormat(&converter, Format(1)));
        EXPECT_TRUE(ColorConverterEdit(&converter, [&](ColorSettings& s) {
            s.classIndex = 1;
            ResetColourCorrectionFully(&s.correction);
            edit(s.correction);
        }));
        return converter.palette;
    }
    static uint32_t G(uint32_t i) { return i < 255 ? i : 255; }
    ColorConverter converter{nullptr, 0};
};

TEST_F(CorrectionTest, MaskInversionAndBrightening) {
    PaletteTable& p = Grey([](ColourCorrection& c) { c.colorMask = 0xFFFF00FF; });
    for (uint32_t i = 0; i < 512; ++i) {
        ASSERT_EQ(p.Value(i, 0), G(i));
        ASSERT_EQ(p.Value(i, 1), 0u);
        ASSERT_EQ(p.Value(i, 2), G(i));
    }
    Grey([](ColourCorrection& c) { c.colorFlags = kColourInvert; });
    for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(p.Value(i, 1), 255 - G(i)) << i;
    Grey([](ColourCorrection& c) { c.colorFlags = kColourBrighten; });
    for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(p.Value(i, 2), std::min(G(i) + 50, 255u)) << i;
    // Inverted, then brightened: the order of the steps.
    Grey([](ColourCorrection& c) { c.colorFlags = kColourInvert | kColourBrighten; });
    EXPECT_EQ(p.Value(0, 0), 255u);
    EXPECT_EQ(p.Value(250, 0), 55u);
}

TEST_F(CorrectionTest, LevelsAmplificationAndBlackLevel) {
    PaletteTable& p = Grey([](ColourCorrection& c) { c.amplification[0] = 2.0f; });
    EXPECT_EQ(p.Value(100, 1), 200u);
    EXPECT_EQ(p.Value(200, 1), 255u);
    // v × 0.5 + 0.1 × 255 + 0.5, truncated.
    Grey([](ColourCorrection& c) {
        c.amplification[0] = 0.5f;
        c.blackLevel[0] = 0.1f;
    });
    EXPECT_EQ(p.Value(0, 0), 26u);
    EXPECT_EQ(p.Value(101, 0), 76u);
    // A black level alone, with the blue byte of the mask off; per channel with 0x20.
    Grey([](ColourCorrection& c) {
        c.blackLevel[0] = -0.1f;
        c.colorMask = 0xFF00FFFF;
    });
    EXPECT_EQ(p.Value(10, 0), 0u);
    EXPECT_EQ(p.Value(100, 1), 75u);
    EXPECT_EQ(p.Value(100, 2), 0u);
    Grey([](ColourCorrection& c) {
        c.colorFlags = kColourBlackLevelEach;
        c.blackLevel[0] = 0.0f;
        c.blackLevel[1] = 0.5f;
        c.blackLevel[2] = -1.0f;
    });
    EXPECT_EQ(p.Value(100, 0), 100u);
    EXPECT_EQ(p.Value(100, 1), 228u);
    EXPECT_EQ(p.Value(100, 2), 0u);
}

TEST_F(CorrectionTest, GammaThroughItsTable) {
    // Gamma 2 with 0x08: every gamma halved, so the table is the identity.
    PaletteTable& p = Grey([](ColourCorrection& c) {
        c.gamma[0] = 2.0f;
        c.colorFlags = kColourHalfGamma;
    });
    ASSERT_NE(converter.gamma.data, nullptr);
    for (uint32_t k = 0; k < 256; ++k) {
        for (uint32_t c = 0; c < 4; ++c) ASSERT_EQ(converter.gamma.Level(k, c), k) << k;
    }
    EXPECT_EQ(p.Value(77, 0), 77u);
    Grey([](ColourCorrection& c) { c.gamma[0] = 2.2f; });
    const std::pair<uint32_t, uint32_t> levels[] = {{0, 0}, {1, 21}, {64, 136}, {128, 186}, {192, 224}, {255, 255}};
    for (const auto& [k, v] : levels) {
        EXPECT_EQ(converter.gamma.Level(k, 0), v) << k;
        EXPECT_EQ(p.Value(k, 2), v) << k;
    }
    // Per channel: the blue channel keeps gamma 1.
    Grey([](ColourCorrection& c) {
        c.colorFlags = kColourGammaEach;
        c.gamma[0] = c.gamma[1] = 2.2f;
    });
    EXPECT_EQ(p.Value(64, 1), 136u);
    EXPECT_EQ(p.Value(64, 2), 64u);

    // 16-bit: the same rule on 65535, the ends fixed.
    GammaTable wide;
    const float two[4] = {2.0f, 2.0f, 2.0f, 2.0f};
    ASSERT_TRUE(UpdateGammaTable(&wide, true, false, two, true, 0.0f));
    EXPECT_EQ(wide.capacity, 0x80000u);
    EXPECT_EQ(wide.Level(0, 0), 0u);
    EXPECT_EQ(wide.Level(16384, 1), 32768u);
    EXPECT_EQ(wide.Level(65535, 2), 65535u);
}

TEST_F(CorrectionTest, NeutralTolerancesAndFourChannelPalettes) {
    struct Row {
        int which;  // 0 amplification, 1 black level, 2 gamma
        float value;
        bool neutral;
    };
    const Row rows[] = {
        {0, 1.0f + 5e-8f, true},  {0, 1.0000002f, false}, {0, 0.99999994f, true},
        {1, 5e-7f, true},         {1, -9e-7f, true},      {1, 2e-6f, false},
        {2, 1.00005f, true},      {2, 0.99991f, true},    {2, 1.0002f, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.which << " " << r.value);
        ColourCorrection c;
        float* values = r.which == 0 ? c.amplification : (r.which == 1 ? c.blackLevel : c.gamma);
        values[0] = r.value;
        RecomputeColourCorrection(&c);
        EXPECT_EQ(c.neutral != 0, r.neutral);
        // A value taken as neutral becomes exactly neutral.
        if (r.neutral) {
            EXPECT_EQ(values[0], r.which == 1 ? 0.0f : 1.0f);
        }
    }
    ColourCorrection c;
    c.colorFlags = kColourAmplifyEach;
    c.amplification[3] = 1.5f;
    RecomputeColourCorrection(&c);
    EXPECT_FALSE(c.amplificationIsOne);
    EXPECT_FALSE(c.neutral);

    // A 4-channel palette is left as it is.
    PaletteTable four;
    four.fourChannels = 1;
    ASSERT_TRUE(ReserveWorkingPalette(&four));
    for (size_t i = 0; i < four.capacity; ++i) four.data[i] = static_cast<uint8_t>(i * 7);
    const std::vector<uint8_t> before(four.data, four.data + four.capacity);
    c.colorFlags = kColourInvert | kColourBrighten;
    c.colorMask = 0xFF00FF00;
    RecomputeColourCorrection(&c);
    GammaTable gamma;
    ApplyColourCorrection(&four, c, &gamma);
    EXPECT_EQ(std::vector<uint8_t>(four.data, four.data + four.capacity), before);
}

// ---- Row converters ---------------------------------------------------------------------------

TEST(ColourRows, IndexOfAnIntensity) {
    PaletteTable p;
    DistinctPalette(&p);
    const std::pair<double, uint32_t> rows[] = {
        {2.0, 510},   {2.002, 511}, {kNaN, 0},       {0.0, 0},   {-1.0, 0}, {1e300, 511},
        {-1e300, 0},  {1.0, 255},   {254.4 / 255, 254}, {3.6 / 255, 4},
    };
    for (const auto& [v, index] : rows) {
        uint8_t out[3];
        ColorRow8x1(out, 1, &v, &p);
        EXPECT_EQ(out[0] + 256u * out[1], index) << v;
    }
    // Many values of every length against the rule: no byte past the row is written.
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> any(-0.1, 2.1);
    for (size_t n = 0; n <= 40; ++n) {
        std::vector<double> in(n);
        for (double& v : in) v = any(rng);
        if (n > 5) in[3] = kNaN;
        std::vector<uint8_t> out(3 * n + 8, 0xEE);
        ColorRow8x1(out.data(), n, in.data(), &p);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t want = RuleIndex(in[i], 255.0, 511);
            ASSERT_EQ(out[3 * i] + 256u * out[3 * i + 1], want) << n << " " << i;
            ASSERT_EQ(out[3 * i + 2], 3) << n << " " << i;
        }
        for (size_t i = 3 * n; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << n;
    }
}

TEST(ColourRows, TwoAndThreeChannels) {
    PaletteTable p;
    DistinctPalette(&p);
    const double two[] = {10 / 255.0, 300 / 255.0, 2.0, kNaN};
    uint8_t out[6];
    ColorRow8x2(out, 2, two, &p);
    // R of the first channel's entry (10 AND 255), G of the second's (300 / 256), B 0.
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{10, 1, 0, 254, 0, 0}));
    const double three[] = {1.0, 511 / 255.0, 7 / 255.0};
    ColorRow8x3(out, 1, three, &p);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 3), (std::vector<uint8_t>{255, 1, 3}));

    // 16-bit entries.
    PaletteTable wide;
    DistinctPalette(&wide, true);
    const double values[] = {2.0, 1000 / 65535.0, 0.5};
    uint16_t words[9];
    ColorRow16x1(words, 3, values, &wide);
    EXPECT_EQ(std::vector<uint16_t>(words, words + 9),
              (std::vector<uint16_t>{131070 & 255, 131070 >> 8, 3, 1000 & 255, 1000 >> 8, 3, 32768 & 255, 128, 3}));
    ColorRow16x3(words, 1, values, &wide);
    EXPECT_EQ(std::vector<uint16_t>(words, words + 3), (std::vector<uint16_t>{131070 & 255, 1000 >> 8, 3}));
    // Longer rows of two and three channels against the rule.
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> any(-0.1, 2.1);
    for (int channels : {2, 3}) {
        for (size_t n : {15, 16, 17, 40}) {
            std::vector<double> in(channels * n);
            for (double& v : in) v = any(rng);
            std::vector<uint8_t> got(3 * n + 4, 0xEE);
            ColorRowFor(false, channels)(got.data(), n, in.data(), &p);
            for (size_t i = 0; i < n; ++i) {
                const double* v = &in[channels * i];
                ASSERT_EQ(got[3 * i], RuleIndex(v[0], 255.0, 511) & 255) << channels << " " << n << " " << i;
                ASSERT_EQ(got[3 * i + 1], RuleIndex(v[1], 255.0, 511) >> 8) << channels << " " << n << " " << i;
                ASSERT_EQ(got[3 * i + 2], channels == 3 ? 3 : 0);
            }
            EXPECT_EQ(got[3 * n], 0xEE);
        }
    }
    EXPECT_EQ(ColorRowFor(false, 4), nullptr);
    EXPECT_EQ(ColorRowFor(true, 2), ColorRow16x2);
}

}  // namespace
}  // namespace orva
