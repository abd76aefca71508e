#include "common/number_parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <initializer_list>
#include <utility>
#include <vector>

namespace orva {
namespace {

template <class T, size_t N>
std::vector<T> Values(const T (&list)[N]) {
    return std::vector<T>(list, list + N);
}

TEST(NumberParse, ParseBool) {
    // Numbers (non-zero is true) and words.
    const std::pair<const char*, bool> words[] = {
        {"0", false}, {"2", true}, {" 0.0", false}, {"-1e-300", true}, {"ON", true}, {"  on", true},
        {"One", true}, {"TRUE", true}, {"true", true}, {"off", false}, {"OFF", false},
        {"False", false},
        {"FALSEHOOD", false}};
    bool flag = true;
    for (const auto& w : words) {
        flag = !w.second;
        EXPECT_EQ(ParseBool(w.first, &flag), 1) << w.first;
        EXPECT_EQ(flag, w.second) << w.first;
    }
    for (const char* bad : std::initializer_list<const char*>{"yes", "", "   ", "O", "OF", "nan",
                                                              "inf", "T", "no", nullptr}) {
        for (bool before : {false, true}) {
            flag = before;
            EXPECT_EQ(ParseBool(bad, &flag), -1) << (bad ? bad : "(null)");
            EXPECT_EQ(flag, before);  // untouched
        }
    }
}

TEST(NumberParse, ParseDoubleValueSeparatorsAndLimits) {
    double v[4] = {0, 0, 0, 0};
    EXPECT_EQ(ParseDoubleValue("1.5, -2e3  7 ,8", v), 4);
    EXPECT_EQ(Values(v), (std::vector<double>{1.5, -2000.0, 7.0, 8.0}));
    EXPECT_EQ(ParseDoubleValue("  .5  5.  ", v), 2);
    EXPECT_EQ(Values(v), (std::vector<double>{0.5, 5.0, 7.0, 8.0}));  // the rest untouched

    double w[4] = {-1, -1, -1, -1};
    // A missing item after a comma fails; the item before it is already written.
    EXPECT_EQ(ParseDoubleValue("3,", w), -1);
    EXPECT_EQ(std::pair(w[0], w[1]), std::pair(3.0, -1.0));
    // A fifth item is more than the list holds.
    EXPECT_EQ(ParseDoubleValue("1,2,3,4,5", w), -1);
    EXPECT_EQ(w[3], 4.0);

    for (const char* bad : std::initializer_list<const char*>{"", "  ", "abc", "1;2", "1e400", "-1e400", "inf", "nan", "0x10",
                            "1e", "1,,2", ".", nullptr})
        EXPECT_EQ(ParseDoubleValue(bad, w), -1) << (bad ? bad : "(null)");
}

TEST(NumberParse, ParseUInt32Clamped) {
    uint32_t v[4] = {9, 9, 9, 9};
    EXPECT_EQ(ParseUInt32Clamped("-3, 0.5 4294967295.5 123.9", v), 4);
    EXPECT_EQ(Values(v), (std::vector<uint32_t>{0, 0, 0xFFFFFFFFu, 123}));
    EXPECT_EQ(ParseUInt32Clamped("4294967294.9,1e300", v), 2);
    EXPECT_EQ(Values(v), (std::vector<uint32_t>{4294967294u, 0xFFFFFFFFu, 0xFFFFFFFFu, 123}));
    EXPECT_EQ(ParseUInt32Clamped("7 x", v), -1);
    EXPECT_EQ(v[0], 7u);
}

TEST(NumberParse, ParseInt64Value) {
    int64_t v[4] = {0, 0, 0, 0};
    EXPECT_EQ(ParseInt64Value("10, -010 0x1F -0X10", v), 4);
    EXPECT_EQ(Values(v), (std::vector<int64_t>{10, -8, 31, -16}));
    EXPECT_EQ(ParseInt64Value("99999999999999999999 -99999999999999999999", v), 2);
    EXPECT_EQ(Values(v), (std::vector<int64_t>{INT64_MAX, INT64_MIN, 31, -16}));
    EXPECT_EQ(ParseInt64Value(" +9223372036854775807", v), 1);
    EXPECT_EQ(v[0], INT64_MAX);
    v[0] = 0;
    EXPECT_EQ(ParseInt64Value("1.5", v), -1);
    EXPECT_EQ(v[0], 1);
    for (const char* bad : std::initializer_list<const char*>{"", "abc", "- 5", "08", "0x", nullptr})
        EXPECT_EQ(ParseInt64Value(bad, v), -1) << (bad ? bad : "(null)");
}

TEST(NumberParse, RangesAndPairs) {
    double pair[2] = {-1, -1};
    EXPECT_EQ(ParseDoubleChecked("1 2", pair), 1);
    EXPECT_EQ(std::pair(pair[0], pair[1]), std::pair(1.0, 2.0));
    EXPECT_EQ(ParseDoubleChecked("-5,-5", pair), 1);
    EXPECT_EQ(pair[0], -5.0);
    for (const char* bad : std::initializer_list<const char*>{"2 1", "1", "1 2 3", "1 inf", ""}) {
        pair[0] = pair[1] = 42.0;
        EXPECT_EQ(ParseDoubleChecked(bad, pair), -1) << bad;
        EXPECT_EQ(std::pair(pair[0], pair[1]), std::pair(42.0, 42.0)) << bad;
    }

    double a = 0, b = 0;
    EXPECT_EQ(ParseDoublePair("3", &a, &b), 1);
    EXPECT_EQ(std::pair(a, b), std::pair(3.0, 0.0));
    EXPECT_EQ(ParseDoublePair("3,-4.25", &a, &b), 2);
    EXPECT_EQ(b, -4.25);
    for (const char* bad : {"x", "1 2 3"}) EXPECT_EQ(ParseDoublePair(bad, &a, &b), -1) << bad;

    float fa = 0, fb = 0;
    EXPECT_EQ(ParseFloatPair("0.25,-2", &fa, &fb), 2);
    EXPECT_EQ(std::pair(fa, fb), std::pair(0.25f, -2.0f));
    // A value beyond the float range fails; the first is already written.
    EXPECT_EQ(ParseFloatPair("1.5 1e39", &fa, &fb), -1);
    EXPECT_EQ(std::pair(fa, fb), std::pair(1.5f, -2.0f));
}

TEST(NumberParse, ParseTimeText) {
    int32_t ms = 0;
    bool changed = false;
    EXPECT_TRUE(ParseTimeText("1:2:3:4", &ms, &changed));
    EXPECT_EQ(std::pair(ms, changed), std::pair(3723004, true));
    EXPECT_TRUE(ParseTimeText(" 01 : 02 : 03 : 004 ", &ms, &changed));
    EXPECT_EQ(std::pair(ms, changed), std::pair(3723004, false));

    const struct {
        const char* text;
        int32_t ms;
    } cases[] = {
        // Hours, seconds and milliseconds are capped; one field is milliseconds, two are
        // seconds and milliseconds; empty and negative fields count as 0; at most four fields.
        {"99:00:00:000", 59 * 3600000}, {"5", 5}, {"1:30", 1030}, {"2:70:0", 2 * 60000 + 59 * 1000},
        {"0:0:0:5000", 999}, {"::5", 5}, {"1:", 1000}, {"+3:0", 3000}, {"-5", 0},
        {"1:2:3:4:5", 3723004},
        {"1:2 junk", 1002},
    };
    for (const auto& c : cases) {
        ms = -1;
        EXPECT_TRUE(ParseTimeText(c.text, &ms, nullptr)) << c.text;
        EXPECT_EQ(ms, c.ms) << c.text;
    }
    for (const char* bad : std::initializer_list<const char*>{"", "   ", "abc", ":", "::", nullptr}) {
        ms = 77;
        changed = true;
        EXPECT_FALSE(ParseTimeText(bad, &ms, &changed)) << (bad ? bad : "(null)");
        EXPECT_EQ(std::pair(ms, changed), std::pair(77, true));
    }
}

}  // namespace
// The short decimal reader gives strtod's value (bit for bit) and end wherever it
// answers, and declines what it cannot read exactly.
TEST(NumberParse, ShortDecimalsReadAsStrtodReadsThem) {
    const auto same = [](const char* text) {
        double v = 12345.0;
        char* end = nullptr;
        if (!ParseShortDecimal(text, &v, &end)) return;
        char* wantEnd = nullptr;
        const double want = std::strtod(text, &wantEnd);
        EXPECT_EQ(std::memcmp(&v, &want, sizeof v), 0) << text << ": " << v << " want " << want;
        EXPECT_EQ(end - text, wantEnd - text) << text;
    };
    for (const char* text : {"0", "-0", "+0.0", "1.", ".5", "-.5e1", "1e", "1e+", "2E-3x", "123456789012345",
                             "0.000000000000000000001", "1e22", "9.99999999999999e22", "4.9e-7 5", "1.5 2.5",
                             "0001.2500", "1e0000000000000000001", "3.14159265358979"})
        same(text);
    // What only strtod reads, or reads differently, is declined.
    double v = 0.0;
    char* end = nullptr;
    for (const char* text : {"0x10", "-0X1p3", "inf", "nan", ".", "-", "", " 1", "1e23", "1e-23",
                             "1234567890123456", "0.1234567890123456", "e5"})
        EXPECT_FALSE(ParseShortDecimal(text, &v, &end)) << text;
    // Rows as writers format them, and random digit strings with random powers.
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> mag(-30.0, 30.0);
    char text[64];
    int read = 0;
    for (int i = 0; i < 200000; ++i) {
        const double x = (rng() % 2 ? -1.0 : 1.0) * std::pow(10.0, mag(rng)) * (1.0 + (rng() % 1000) / 999.0);
        std::snprintf(text, sizeof text, i % 3 == 0 ? "%.9g" : i % 3 == 1 ? "%.15g" : "%.6f", x);
        same(text);
        std::snprintf(text, sizeof text, "%llu.%llue%d", static_cast<unsigned long long>(rng() % 10000000),
                      static_cast<unsigned long long>(rng() % 100000000), static_cast<int>(rng() % 50) - 25);
        same(text);
        read += ParseShortDecimal(text, &v, &end);
    }
    EXPECT_GT(read, 50000);  // the fast reading is taken
}

}  // namespace orva
