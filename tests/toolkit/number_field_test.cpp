// Number fields: reading texts into typed values (plainly and through the calculator)
// and formatting values back, on widgets without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "common/calculator.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

struct Field {
    gElement e;
    Field(int32_t kind, const char* text, uint64_t minimum = 0, uint64_t maximum = 0) {
        gWgtSetNumberField(&e, kind, 0, minimum, maximum);
        gWgtSetText(&e, text);
    }
    uint64_t value() { return gWgtValueRecord(&e, false)->value; }
};

TEST(NumberFieldTest, ReadNumberPlainAndThroughTheCalculator) {
    gElement e;
    double v = -1;
    gWgtSetText(&e, "   .5");
    EXPECT_TRUE(gWgtReadNumber(&e, &v, false));
    EXPECT_EQ(v, 0.5);
    gWgtSetText(&e, "-3");
    EXPECT_FALSE(gWgtReadNumber(&e, &v, false));   // no sign plainly
    EXPECT_TRUE(gWgtReadNumber(&e, &v, true));
    EXPECT_EQ(v, -3.0);
    gWgtSetText(&e, "1e-308");
    EXPECT_TRUE(gWgtReadNumber(&e, &v, false));
    EXPECT_EQ(v, 0.0);
    gWgtSetText(&e, "2*(3+4)");
    EXPECT_TRUE(gWgtReadNumber(&e, &v, true));
    EXPECT_EQ(v, 14.0);
    for (const char* bad : {"", "   ", "abc", "1e999"}) {
        gWgtSetText(&e, bad);
        EXPECT_FALSE(gWgtReadNumber(&e, &v, false)) << bad;
    }
    gWgtSetText(&e, "0/0");
    EXPECT_FALSE(gWgtReadNumber(&e, &v, true));
    EXPECT_EQ(v, 14.0);   // untouched by failures
}

// A number longer than the calculator reads whole (0.1 written with 300 zeros and an
// exponent) is refused: the field keeps its value and the calculator says why.
TEST(NumberFieldTest, ANumberTheCalculatorCutsIsNoValue) {
    const std::string tenth = "0." + std::string(300, '0') + "1e300";
    const std::string huge = "1" + std::string(300, '0');
    const struct {
        int32_t kind;
        std::string text;
        uint64_t before;
    } cases[] = {
        {kValueDouble, tenth, gValueBits(7.0)},
        {kValueFloat, tenth, gValueBits(7.0f)},
        {kValueInt32, huge, gValueBits<int32_t>(7)},
        {kValueInt64, "2*" + huge, gValueBits<int64_t>(7)},
        {kValueUInt64, "2*" + huge, gValueBits<uint64_t>(7)},
    };
    for (const auto& c : cases) {
        Field f(c.kind, c.text.c_str());
        gWgtValueRecord(&f.e, false)->value = c.before;
        EXPECT_FALSE(gWgtReadValue(&f.e, true)) << c.text;
        EXPECT_EQ(f.value(), c.before) << c.kind;
        ASSERT_NE(gToolkitCalc()->message, nullptr);
        EXPECT_STREQ(gToolkitCalc()->message, "very big string");
    }
    // Read plainly, the same text is the number it says.
    Field plain(kValueDouble, tenth.c_str());
    EXPECT_TRUE(gWgtReadValue(&plain.e, false));
    EXPECT_DOUBLE_EQ(gValueAs<double>(plain.value()), 0.1);
    // A number that fits is read through the calculator as before.
    Field fits(kValueDouble, ("0." + std::string(200, '0') + "1e200").c_str());
    EXPECT_TRUE(gWgtReadValue(&fits.e, true));
    EXPECT_DOUBLE_EQ(gValueAs<double>(fits.value()), 0.1);
}

TEST(NumberFieldTest, TypedReadersRoundAndSaturate) {
    struct Case {
        int32_t kind;
        const char* text;
        uint64_t expected;
        uint64_t minimum = 0, maximum = 0;  // a range clamps by the kind's own order
    };
    const Case cases[] = {
        {kValueInt32, "2.5", gValueBits<int32_t>(3)},
        {kValueInt32, "-2.5", gValueBits<int32_t>(-3)},
        {kValueInt32, "3000000000", gValueBits<int32_t>(INT32_MAX)},
        {kValueInt32, "-3000000000", gValueBits<int32_t>(INT32_MIN)},
        {kValueUInt32, "-5", 0},
        {kValueUInt32, "4294967295.2", 0xFFFFFFFFu},
        {kValueUInt32, "7e20", 0xFFFFFFFFu},
        {kValueBool, "5", 1},
        {kValueBool, "0", 0},
        {kValueInt64, "-2.5", gValueBits<int64_t>(-3)},
        {kValueInt64, "9223372036854775807", gValueBits<int64_t>(INT64_MAX)},
        {kValueInt64, "99999999999999999999", gValueBits<int64_t>(INT64_MAX)},
        {kValueInt64, "-1e30", gValueBits<int64_t>(INT64_MIN)},
        // The lowest value's own text, beyond the calculator's integers.
        {kValueInt64, "-9223372036854775808", gValueBits<int64_t>(INT64_MIN)},
        {kValueInt64, " -99999999999999999999", gValueBits<int64_t>(INT64_MIN)},
        {kValueInt64, "-9223372036854775807", gValueBits<int64_t>(-INT64_MAX)},
        {kValueUInt64, "18446744073709551615", UINT64_MAX},
        {kValueUInt64, "18446744073709551616", UINT64_MAX},
        {kValueUInt64, "9007199254740993", 9007199254740993ull},
        {kValueUInt64, "1e30", UINT64_MAX},
        {kValueUInt64, "1.8e19", 18000000000000000000ull},
        {kValueUInt64, "2.5", 3},
        {kValueUInt64, "-7", 0},
        {kValueHex, "1f", 0x1F},
        {kValueHex, "123456789", 0xFFFFFFFFu},
        {kValueBinary, "1011", 11},
        {kValueHex0x, "0x20", 32},
        {kValueAngle, "370", gValueBits(10.0)},
        {kValueAngle, "-30", gValueBits(-30.0)},
        {kValueAngle, "-390", gValueBits(-30.0)},
        {kValueFloat, "1e39", gValueBits(3.4028234663852886e38f)},
        {kValueMillis, "1:2:345", 62345},
        {kValueSeconds, "1:500", gValueBits(1.5)},
        {kValueTimeSpan, "2:3:999", 123},
        {kValueInt32, "-50", gValueBits<int32_t>(-10), gValueBits<int32_t>(-10), gValueBits<int32_t>(10)},
        {kValueUInt32, "4000000000", 3000000000u, 1, 3000000000u},  // unsigned comparison
        {kValueDouble, "7.25", gValueBits(5.0), gValueBits(0.0), gValueBits(5.0)},
        {kValueAngle, "700", gValueBits(40.0), gValueBits(0.0), gValueBits(400.0)},  // clamp, then reduce
        {kValueInt32, "99", gValueBits<int32_t>(99), gValueBits<int32_t>(5), gValueBits<int32_t>(5)},  // no range
    };
    for (const Case& c : cases) {
        Field f(c.kind, c.text, c.minimum, c.maximum);
        ASSERT_TRUE(gWgtReadValue(&f.e, true)) << c.kind << " " << c.text;
        EXPECT_EQ(f.value(), c.expected) << c.kind << " " << c.text;
    }
    // Kinds outside 5..19, and fields without text, are not read.
    Field none(kValueInt32, "");
    EXPECT_FALSE(gWgtReadValue(&none.e, true));
    Field other(4, "12");
    EXPECT_FALSE(gWgtReadValue(&other.e, true));
    Field hexBad(kValueHex, "xyz");
    EXPECT_FALSE(gWgtReadValue(&hexBad.e, true));
}

TEST(NumberFieldTest, FormatsByKindAndLength) {
    struct Case {
        int32_t kind;
        uint64_t value;
        int32_t limit;
        const char* expected;
    };
    const Case cases[] = {
        {kValueInt32, gValueBits<int32_t>(-42), 20, "-42"},
        {kValueUInt32, 4000000000u, 20, "4000000000"},
        {kValueBinary, 0x1A5, 8, "10100101"},
        {kValueBinary, 5, 32, "00000000000000000000000000000101"},
        {kValueInt64, gValueBits<int64_t>(INT64_MIN), 30, "-9223372036854775808"},
        {kValueUInt64, UINT64_MAX, 30, "18446744073709551615"},
        {kValueHex, 0xABCDE, 1, "DE"},
        {kValueHex, 0xABCDE, 2, "DE"},
        {kValueHex, 0xABCDE, 3, "CDE"},
        {kValueHex, 0xABCDE, 4, "BCDE"},
        {kValueHex, 0xABCDE, 5, "000ABCDE"},
        {kValueHex, 0xFFF, 3, "FFF"},
        {kValueHex0x, 0xABCDE, 3, "0xE"},
        {kValueHex0x, 0xABCDE, 4, "0xDE"},
        {kValueHex0x, 0xABCDE, 5, "0xCDE"},
        {kValueHex0x, 0xABCDE, 6, "0xBCDE"},
        {kValueHex0x, 0xABCDE, 7, "0x000ABCDE"},
        {kValueMillis, 3723004, 20, "01:02:03:004"},
        {kValueSeconds, gValueBits(1.5), 20, "00:00:01:500"},
        {kValueTimeSpan, 86407, 20, "1d 0:00:07"},
        {kValueAngle, gValueBits(10.0), 20, "10\xB0"},
        {kValuePercent, gValueBits(0.05), 30, "0.050000000000%"},
        {kValuePercent, gValueBits(12.5), 30, "12.5%"},
        {kValueDouble, gValueBits(0.25), 30, "0.25"},
    };
    for (const Case& c : cases) {
        gElement e;
        e.textLimit = c.limit;
        gWgtSetNumberField(&e, c.kind, c.value);
        ASSERT_TRUE(gWgtFormatValue(&e)) << c.expected;
        EXPECT_EQ(e.text, c.expected);
    }
    // A bounded buffer keeps its size minus one characters.
    gElement e;
    gWgtSetNumberField(&e, kValueInt32, gValueBits<int32_t>(123456));
    char small[4];
    ASSERT_TRUE(gWgtFormatValue(&e, small, sizeof small));
    EXPECT_EQ(e.text, "123");
    gElement plain;
    EXPECT_FALSE(gWgtFormatValue(&plain));
}

TEST(NumberFieldTest, TextGetAndStyleBitPairs) {
    gElement e;
    gWgtSetText(&e, "  hello");
    char buffer[5];
    EXPECT_EQ(gWgtGetText(&e, buffer, sizeof buffer, true), 4);
    EXPECT_STREQ(buffer, "hell");
    EXPECT_EQ(gWgtGetText(&e, buffer, 0, false), 0);
    gWgtSetTextN(&e, "abcdef", 3);
    EXPECT_EQ(e.text, "abc");
    gWgtSetText(&e, nullptr);
    EXPECT_TRUE(e.text.empty());

    uint32_t word = 0x0201;   // bit 0 low, bit 1 second
    EXPECT_EQ(gWinSetStyleBits(&word, 0x0100, false), 0x0201u);   // partner of bit 0 cleared
    EXPECT_EQ(word, 0x0300u);
    gWinSetStyleBits(&word, 0x02, false);
    EXPECT_EQ(word, 0x0102u);
    gWinSetStyleBits(&word, 0x02, true);
    EXPECT_EQ(word, 0x0100u);
}

}  // namespace
}  // namespace orva
