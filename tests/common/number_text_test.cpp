#include "common/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace orva {
namespace {

using std::placeholders::_1;

std::string Fit(int size, double v) {
    char buf[128];
    int len = -1;
    char* r = FormatDoubleFit(size, buf, v, &len);
    EXPECT_EQ(r, buf);
    EXPECT_EQ(len, static_cast<int>(std::string(buf).size()));
    return buf;
}

// A formatter bound to its value, and the text it must write (its length is
// the answer).
struct Formatted {
    std::function<int(char*)> format;
    const char* text;
};
// Runs each formatter into a buffer of exactly `size` bytes.
void ExpectTexts(size_t size, std::initializer_list<Formatted> cases) {
    for (const Formatted& c : cases) {
        std::vector<char> buf(size, 'z');
        EXPECT_EQ(c.format(buf.data()), static_cast<int>(std::strlen(c.text))) << c.text;
        EXPECT_STREQ(buf.data(), c.text);
    }
}

TEST(NumberText, LocalTimeAsctimeForm) {
    // "Mon Dec  7 15:25:52 2026\n" in the time zone of the run (UTC in a fixed one).
    char text[64];
    const int n = LocalTimeAsctime(text);
    ASSERT_EQ(n, 25) << text;
    EXPECT_EQ(text[24], '\n');
    int day = 0, h = 0, m = 0, s = 0, year = 0;
    char weekday[4] = {}, month[4] = {};
    ASSERT_EQ(std::sscanf(text, "%3s %3s %d %d:%d:%d %d", weekday, month, &day, &h, &m, &s, &year), 7) << text;
    EXPECT_NE(std::string("SunMonTueWedThuFriSat").find(weekday), std::string::npos);
    EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(month), std::string::npos);
    EXPECT_TRUE(day >= 1 && day <= 31 && h < 24 && m < 60 && s < 61 && year >= 2024);
}

TEST(NumberText, FormatDoubleFitChoosesNotationAndTrims) {
    const struct {
        int size;
        double value;
        const char* text;
    } cases[] = {
        {8, 100.0, "100"}, {8, 1.5, "1.5"}, {8, -2.25, "-2.25"}, {8, 0.5, "0.5"}, {8, 0.0, "0"},
        // Eight significant digits of 1/3 (the point sits at position 0).
        {8, 1.0 / 3.0, "0.33333333"},
        // Nine integer digits do not fit in eight: exponent notation, exponent zeros dropped.
        {8, 123456789.0, "1.2345679e+8"},
        // Below 0.1 the point position is negative: exponent notation. Only a point
        // left as the very last character is dropped.
        {8, 0.05, "5e-2"}, {8, 1e20, "1e+20"}, {4, -1.5e-7, "-1.5e-7"},
        {3, 9.9999999, "10"},  // rounding to three digits carries into a new digit
        {8, INFINITY, "inf"}, {8, -INFINITY, "-inf"},
    };
    for (const auto& c : cases) EXPECT_EQ(Fit(c.size, c.value), c.text) << c.value;
}

TEST(NumberText, FormatDoubleAndDigits) {
    ExpectTexts(32, {
        {bind(FormatDouble, 6, 2, 1234.5678, _1), "1234.57"},
        {bind(FormatDouble, 6, 2, 12.3456, _1), "12.35"},
        {bind(FormatDouble, 6, 2, 2.0, _1), "2"},
        // k = 6 exceeds p + d = 5: exponent with p + d - 1 = 4 digits.
        {bind(FormatDouble, 3, 2, 123456.0, _1), "1.2346e+5"},
        // k = -2 lies within -(p + d) < k < 0: d - k = 4 decimals.
        {bind(FormatDouble, 3, 2, 0.001234, _1), "0.0012"},
        {bind(FormatDouble, 3, 2, -1e-7, _1), "-1e-7"},
        {bind(FormatDouble, 3, 2, 0.0, _1), "0"},
        {bind(FormatDoubleDigits, 2, 1, 1234.5, _1), "1.23e+3"},
        {bind(FormatDoubleDigits, 10, 3, 1234.5, _1), "1234.5"},
        // Negative counts mean none; without a point nothing is trimmed.
        {bind(FormatDoubleDigits, -4, -1, 7.25, _1), "7e+00"},
    });
}

TEST(NumberText, NumberText13GFallsBackUntilItFits) {
    ExpectTexts(32, {
        {bind(NumberText13G, _1, 20, 100.0), "100"},
        // 20 digits give 22 characters; 13 digits fit.
        {bind(NumberText13G, _1, 20, 1.0 / 3.0), "0.3333333333333"},
        // Size 8: the fitted text (10) and "%.13G" (15) are too long, "%G" fits.
        {bind(NumberText13G, _1, 8, 1.0 / 3.0), "0.333333"},
        {bind(NumberText13G, _1, 3, 123456.0), ""},
        {bind(NumberText13G, _1, 0, 1.0), ""},
        {bind(NumberText13G, _1, 20, -6.02214076e23), "-6.02214076e+23"},
    });
}

TEST(NumberText, UnsignedTextsReportWhatDoesNotFit) {
    // What does not fit answers -1 (or 0 for the "or empty" form) and leaves "".
    const struct {
        std::function<int(char*)> format;
        int result;
        const char* text;
    } cases[] = {
        {bind(UIntTextBuf, _1, 5, 1234), 4, "1234"}, {bind(UIntTextBuf, _1, 4, 1234), -1, ""},
        {bind(UInt64TextBuf, _1, 21, UINT64_MAX), 20, "18446744073709551615"},
        {bind(UInt64TextBuf, _1, 20, UINT64_MAX), -1, ""},
        {bind(UInt64TextOrEmpty, _1, 5, 1000), 4, "1000"},
        {bind(UInt64TextOrEmpty, _1, 3, 1000), 0, ""},
    };
    for (const auto& c : cases) {
        char buf[32] = "junk";
        EXPECT_EQ(c.format(buf), c.result) << c.text;
        EXPECT_STREQ(buf, c.text);
    }
    char buf[4];
    EXPECT_EQ(UIntTextBuf(buf, 0, 1), -1);
}

TEST(NumberText, BoundedPrintfCutsAndTranslates) {
    ExpectTexts(32, {
        {[](char* b) { return BoundedPrintf(b, 6, "%I64d-%s", -12345LL, "x"); }, "-1234"},
        {[](char* b) { return BoundedPrintf(b, 32, "%I64X/%I64u", 0xABCDEF0123ULL, 42ULL); },
         "ABCDEF0123/42"},
        {[](char* b) { return BoundedPrintf(b, 1, "abc"); }, ""},
    });
    char buf[4];
    EXPECT_EQ(BoundedPrintf(buf, 0, "abc"), 0);
}

TEST(NumberText, ThreeDigitText) {
    ExpectTexts(12, {
        {bind(ThreeDigitText, 7, _1), "007"},
        {bind(ThreeDigitText, 42, _1), "042"},
        {bind(ThreeDigitText, 123, _1), "123"},
        {bind(ThreeDigitText, 0, _1), "000"},
        {bind(ThreeDigitText, -5, _1), "000"},
        {bind(ThreeDigitText, 2147483647, _1), "2147483647"},
    });
}

TEST(NumberText, FormatTimeHMSms) {
    ExpectTexts(24, {
        {bind(FormatTimeHMSms, _1, 3661.5), "01:01:01:500"},
        {bind(FormatTimeHMSms, _1, 0.0), "00:00:00:000"},
        {bind(FormatTimeHMSms, _1, 59.75), "00:00:59:750"},
        // Hours are not wrapped at 24.
        {bind(FormatTimeHMSms, _1, 90000.25), "25:00:00:250"},
        {bind(FormatTimeHMSms, _1, 1e12), "24000:00:00:000"},
        {bind(FormatTimeHMSms, _1, NAN), "00:00:00:000"},
        {bind(FormatTimeHMSms, _1, -1e300), "-24000:00:00:000"},
    });
}

TEST(NumberText, TimeSpanText) {
    ExpectTexts(40, {
        {bind(TimeSpanText, _1, 90061), "1d 1:01:01"},
        {bind(TimeSpanText, _1, 59), "0:59"},
        {bind(TimeSpanText, _1, 0), "0:00"},
        {bind(TimeSpanText, _1, -5), "0:00"},
        {bind(TimeSpanText, _1, 3600), "1:00:00"},
        {bind(TimeSpanText, _1, 86400), "1d 0:00:00"},
        {bind(TimeSpanText, _1, 2 * 604800 + 3 * 86400 + 4 * 3600 + 5 * 60 + 6), "2wk 3d 4:05:06"},
        {bind(TimeSpanText, _1, 604800), "1wk 0d 0:00:00"},
        {bind(TimeSpanText, _1, INT64_MAX), "15250284452471wk 3d 15:30:07"},
    });
}

TEST(NumberText, ByteSizeText) {
    auto size = [](uint64_t bytes) -> std::function<int(char*)> {
        return bind(ByteSizeText, _1, bytes);
    };
    ExpectTexts(32, {
        {size(0), "0 Byte(s)"}, {size(1000), "1000 Byte(s)"}, {size(1001), "1.001 Kb"},
        {size(2000), "2 Kb"},
        {size(999999), "999.999 Kb"}, {size(1000000), "1 Mb"}, {size(1500000), "1.500 Mb"},
        {size(2000000), "2 Mb"}, {size(999999999), "999.999 Mb"}, {size(1000000000), "1 Gb"},
        {size(1000500000), "1 Gb"}, {size(3041000000ULL), "3.041 Gb"},
        {size(UINT64_MAX), "18446744073.709 Gb"},
    });
}

TEST(NumberText, TypeAndKindTexts) {
    ExpectTexts(64, {
        {bind(DataTypeText, 0x102, 16, 3, _1), "UINT16, Dim/Channels 3"},
        {bind(DataTypeText, 0x01, 8, 0, _1), "INT8"},
        {bind(DataTypeText, 0x10, 32, 1, _1), "IEEE-754 32Bits, Dim/Channels 1"},
        {bind(DataTypeText, 0x40, 64, 0, _1), "IEEE-754 64Bits"},
        {bind(DataTypeText, 0x108, 4294967295u, 0, _1), "UINT4294967295"},
        {bind(DataTypeTextAxis, 0x08, 32, 0, 2, _1), "INT32, Dim/Channels 0, Axis 2"},
        {bind(DataTypeTextShort, 0x40, 64, 2, _1), "Float 64, Dim/Channels 2"},
        {bind(DataTypeTextShort, 0x101, 8, 0, _1), "Integer 8"},
    });
    ExpectTexts(32, {
        {bind(DataKindText, 0x00400000, _1), "PIXEL"},
        {bind(DataKindText, 0x02000000 | 0x00400000 | 0x00800000, _1), "SPECTROGRAM"},
        {bind(DataKindText, 0x00800000 | 0x08000000 | 0x01000000, _1), "CURVE.SPECTR"},
        {bind(DataKindText, 0x20000000 | 0x00200000, _1), "VERTEX.COMPLEX"},
        {bind(DataKindText, 0x00400000 | 0x04000000 | 0x00200000, _1), "PIXEL.WAVE"},
        {bind(DataKindText, 0, _1), ""},
    });
}

TEST(NumberText, GuidTexts) {
    unsigned char id[16];
    for (int i = 0; i < 16; ++i) id[i] = static_cast<unsigned char>(i);
    ExpectTexts(48, {{[&](char* b) { return GuidText(b, id, 0x2A); },
                      "03020100-07060504-0F0E0D0C0B0A0908-0000002A"}});

    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(WriteGuidText(f, id, 0xDEADBEEF), 45);
    std::rewind(f);
    char back[64] = {};
    ASSERT_NE(std::fgets(back, sizeof back, f), nullptr);
    EXPECT_STREQ(back, "{03020100-07060504-0F0E0D0C0B0A0908-DEADBEEF}");
    std::fclose(f);
    EXPECT_EQ(WriteGuidText(nullptr, id, 1), -1);
}

// A field's text of a double reads back as the very same double, and has no digit more
// than it takes: the mean 198.5 that a sum left a bit beside it shows all its digits, 198.5
// itself only four.
TEST(NumberText, ShortestDoubleTextReadsBackTheSameValue) {
    const struct {
        double value;
        const char* text;
    } exact[] = {{198.5, "198.5"},
                 {std::nextafter(198.5, 1e9), "198.50000000000003"},
                 {0.1, "0.1"},
                 {0.1 + 0.2, "0.30000000000000004"},
                 {-0.0, "0"},
                 {1e-5, "1e-05"},
                 {2.5e20, "2.5e+20"},
                 {-32768.0, "-32768"},
                 {123456789012.5, "123456789012.5"}};
    for (const auto& c : exact) EXPECT_EQ(ShortestDoubleText(c.value), c.text) << c.value;
    for (double v : {1.0 / 3.0, -2.0 / 7.0, 5e-324, 1.7976931348623157e308, 4.450147717014403e-308,
                     1e15 + 0.5, std::ldexp(1.0, 53) + 2.0, 0.000123456789}) {
        const std::string text = ShortestDoubleText(v);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
        char seventeen[64];
        std::snprintf(seventeen, sizeof seventeen, "%.17g", v);
        EXPECT_LE(text.size(), std::string(seventeen).size()) << text;
    }
}

}  // namespace
}  // namespace orva
