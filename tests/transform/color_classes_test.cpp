// The colour classes as the converter builds them over its working palette,
// against values worked out by hand and Python's colorsys; the look-up of
// classes by key and their selection for a format.
#include "transform/color_classes.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "transform/color_converter.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing_transform::Format;
using testing_transform::TransformTest;
using Rgb = std::array<uint32_t, 3>;

std::vector<Rgb> Entries(const PaletteTable& p) {
    std::vector<Rgb> out(p.WorkingEntries());
    for (size_t i = 0; i < out.size(); ++i) out[i] = {p.Value(i, 0), p.Value(i, 1), p.Value(i, 2)};
    return out;
}

class ColourClassTest : public TransformTest {
protected:
    // The working palette of a class for 1-channel data.
    std::vector<Rgb> PaletteOf(const char* key, uint32_t qbits = 8, bool wide = false) {
        ColorConverter c(nullptr, 0);
        const int index = FindColorClass(key, 0);
        EXPECT_GE(index, 0) << key;
        EXPECT_TRUE(ColorConverterSetFormat(&c, Format(1, wide)));
        EXPECT_TRUE(ColorConverterEdit(&c, [&](ColorSettings& s) {
            s.classIndex = index;
            s.qbits = qbits;
        }));
        EXPECT_EQ(c.Current().classIndex, index);
        return Entries(c.palette);
    }
};

TEST_F(ColourClassTest, GreyAndItsQuantisation) {
    const std::vector<Rgb> grey = PaletteOf("Grey");
    ASSERT_EQ(grey.size(), 512u);
    for (uint32_t i = 0; i < 512; ++i) {
        const uint32_t v = i < 255 ? i : 255;
        ASSERT_EQ(grey[i], (Rgb{v, v, v})) << i;
    }
    // Qbits 2: L = 4, S = 63.75.
    std::set<uint32_t> levels;
    for (const Rgb& e : PaletteOf("Grey", 2)) levels.insert(e[0]);
    EXPECT_EQ(levels, (std::set<uint32_t>{0, 64, 128, 191, 255}));
    // The single channels take the grey index into one channel each.
    EXPECT_EQ(PaletteOf("1 channel")[100], (Rgb{100, 0, 0}));
    EXPECT_EQ(PaletteOf("2 channel")[300], (Rgb{0, 255, 0}));
    EXPECT_EQ(PaletteOf("3 channel")[7], (Rgb{0, 0, 7}));
}

TEST_F(ColourClassTest, SpectraAtTheirEndsAndSampleRows) {
    const std::vector<Rgb> black = PaletteOf("spectrum black");
    EXPECT_EQ(black[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(black[255], (Rgb{0, 0, 255}));
    EXPECT_EQ(PaletteOf("spectrum")[0], (Rgb{245, 4, 0}));
    const std::vector<Rgb> reverseBlack = PaletteOf("Spectrum reverse black");
    EXPECT_EQ(reverseBlack[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(reverseBlack[255], (Rgb{255, 4, 0}));
    EXPECT_EQ(reverseBlack[400], (Rgb{255, 4, 0}));
    // Builder A, worked out by hand from its table.
    const std::vector<Rgb> reverse = PaletteOf("spectrum reverse");
    EXPECT_EQ(reverse[0], (Rgb{0, 0, 245}));
    EXPECT_EQ(reverse[1], (Rgb{0, 0, 255}));
    const std::pair<int, Rgb> rows[] = {{32, {0, 112, 224}},  {64, {0, 191, 192}},  {96, {0, 223, 115}},
                                        {128, {0, 255, 0}},   {160, {168, 255, 0}}, {224, {255, 163, 0}},
                                        {254, {255, 0, 0}}};
    for (const auto& [k, rgb] : rows) EXPECT_EQ(reverse[k], rgb) << k;
    // Builder B is builder A from k = 65 on: "spectrum" at i = 255 − k.
    const std::vector<Rgb> spectrum = PaletteOf("spectrum");
    for (const auto& [k, rgb] : rows) {
        if (k >= 65) {
            EXPECT_EQ(spectrum[255 - k], rgb) << k;
        }
    }
}

TEST_F(ColourClassTest, ContourMapsAndTheInvertedHue) {
    const std::vector<Rgb> c8 = PaletteOf("c8");
    EXPECT_EQ(c8[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(c8[10], (Rgb{80, 0, 0}));
    EXPECT_EQ(c8[40], (Rgb{164, 120, 0}));
    EXPECT_EQ(c8[170], (Rgb{85, 85, 233}));
    // E = ln(2.55) × 190 = 177.86.
    EXPECT_EQ(c8[255], (Rgb{198, 178, 255}));
    // Above full scale the last band goes on: ln(3.0) × 190 = 208.7.
    EXPECT_EQ(c8[300], (Rgb{229, 209, 255}));
    const std::vector<Rgb> c6 = PaletteOf("c6");
    EXPECT_EQ(c6[10], (Rgb{160, 70, 0}));
    EXPECT_EQ(c6[20], (Rgb{167, 167, 40}));
    EXPECT_EQ(c6[80], (Rgb{0, 160, 176}));
    // ln(0.0125 × 255) × 200 = 231.8.
    EXPECT_EQ(c6[255], (Rgb{232, 232, 255}));
    // S = 0 and V = 1.5 at intensity 0: every channel saturates and inverts to 0.
    EXPECT_EQ(PaletteOf("hsv green/red")[0], (Rgb{0, 0, 0}));
}

TEST_F(ColourClassTest, HueRampsAgreeWithColorsys) {
    for (const char* key : {"hsv red", "hsv invert blue"}) {
        SCOPED_TRACE(key);
        const std::string command = ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tests/transform/colour_reference.py' '" +
                                    std::string(key) + "' 512";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
        ASSERT_EQ(pclose(pipe), 0) << command;
        std::istringstream lines(text);
        const std::vector<Rgb> ours = PaletteOf(key);
        int off = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            Rgb want;
            ASSERT_TRUE(lines >> want[0] >> want[1] >> want[2]) << i;
            for (int c = 0; c < 3; ++c) {
                const int d = int(ours[i][c]) - int(want[c]);
                if ((d > 1 || d < -1) && ++off < 5) ADD_FAILURE() << i << " channel " << c << ": " << ours[i][c] << " colorsys " << want[c];
            }
        }
        EXPECT_EQ(off, 0);
    }
}

TEST_F(ColourClassTest, SixteenBitFunctions) {
    const std::vector<Rgb> grey = PaletteOf("Grey", 8, true);
    ASSERT_EQ(grey.size(), 0x20000u);
    EXPECT_EQ(grey[1000], (Rgb{1000, 1000, 1000}));
    EXPECT_EQ(grey[0x1FFFF], (Rgb{65535, 65535, 65535}));
    const std::vector<Rgb> spectrum = PaletteOf("spectrum", 8, true);
    EXPECT_EQ(spectrum[0], (Rgb{65525, 4, 0}));
    EXPECT_EQ(spectrum[65535], (Rgb{0, 0, 65535}));
    EXPECT_EQ(spectrum[32767], (Rgb{0, 65535, 0}));  // k = 0x8000
    EXPECT_EQ(PaletteOf("c8", 8, true)[65535], (Rgb{50849, 45709, 65535}));
    // Every class fills every entry on the 16-bit scale without leaving it.
    for (int i = 1; i < CountColorClasses(); ++i) {
        const std::vector<Rgb> p = PaletteOf(ColorClassAt(i)->key, 8, true);
        ASSERT_EQ(p.size(), 0x20000u);
    }
}

TEST_F(ColourClassTest, LookUpByKey) {
    EXPECT_EQ(CountColorClasses(), 17);
    const std::pair<const char*, const char*> rows[] = {
        {"spectrum", "spectrum"},      {"spec", "spectrum black"}, {"Spec", "Spectrum reverse black"},
        {"Grey", "Grey"},              {"hsv g", "hsv green/red"}, {"c", "c8"},
        {"3 channel", "3 channel"},    {"grey", nullptr},          {"spectrumX", nullptr},
        {"", nullptr},
    };
    for (const auto& [text, key] : rows) {
        const int index = FindColorClass(text, 0);
        if (key == nullptr) {
            EXPECT_EQ(index, -1) << text;
        } else {
            ASSERT_GE(index, 0) << text;
            EXPECT_STREQ(ColorClassAt(index)->key, key) << text;
        }
    }
    // A length takes only that many characters.
    EXPECT_EQ(FindColorClass("spectrum reverse", 8), 9);
    EXPECT_STREQ(ColorClassAt(0)->title, "User  Palette");
    EXPECT_STREQ(ColorClassAt(7)->title, "HSV Invert  [Blue]");
}

TEST_F(ColourClassTest, SelectionForAFormat) {
    ColorSettings s;
    EXPECT_EQ(s.SelectColorClass(0, Format(1)), ColorClassAt(1));  // no user palette: "Grey"
    EXPECT_EQ(s.classIndex, 1);
    EXPECT_EQ(s.SelectColorClass(-3, Format(3)), ColorClassAt(1));
    EXPECT_EQ(s.SelectColorClass(40, Format(2)), ColorClassAt(16));
    ASSERT_TRUE(ReservePaletteEntries(&s.userPalette, 2));
    s.userPalette.count = 2;
    EXPECT_EQ(s.SelectColorClass(0, Format(1)), ColorClassAt(0));

    // Only 64-bit reals into 3-channel pixels of 8 or 16 bits get a class.
    ColorFormat f = Format(1);
    f.flags = 0x10;
    EXPECT_EQ(s.SelectColorClass(5, f), nullptr);
    EXPECT_EQ(s.classRow, nullptr);
    f = Format(1);
    f.pixelChannels = 4;
    EXPECT_EQ(s.SelectColorClass(5, f), nullptr);
    f = Format(1);
    f.pixelFormat = 0x100;
    EXPECT_EQ(s.SelectColorClass(5, f), nullptr);

    // The converter then has no row converter, and says so once the format is complete.
    ColorConverter c(nullptr, 0);
    EXPECT_TRUE(ColorConverterSetFormat(&c, ColorFormat()));  // nothing known yet
    f = Format(1);
    f.flags = 0x10;
    EXPECT_FALSE(ColorConverterSetFormat(&c, f));
    EXPECT_EQ(c.row, ColorRowNone);
    EXPECT_FALSE(ColorConverterSetFormat(&c, Format(4)));  // four data channels
    EXPECT_EQ(c.row, ColorRowNone);
    EXPECT_TRUE(ColorConverterSetFormat(&c, Format(2)));
    EXPECT_EQ(c.row, ColorRow8x2);
    EXPECT_TRUE(ColorConverterSetFormat(&c, Format(3, true)));
    EXPECT_EQ(c.row, ColorRow16x3);
}

}  // namespace
}  // namespace orva
