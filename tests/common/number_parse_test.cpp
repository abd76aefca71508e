#include "common/number_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace orva {
namespace {

template <class T, size_t N>
std::vector<T> Values(const T (&list)[N]) {
    return std::vector<T>(list, list + N);
}

TEST(NumberParse, ParseBool) {
    bool flag = true;
    EXPECT_EQ(ParseBool("yes", &flag), -1);
    EXPECT_TRUE(flag);  // untouched
    EXPECT_EQ(ParseBool("0", &flag), 1);
    EXPECT_FALSE(flag);
    EXPECT_EQ(ParseBool("2", &flag), 1);
    EXPECT_TRUE(flag);
    EXPECT_EQ(ParseBool(" 0.0", &flag), 1);
    EXPECT_FALSE(flag);
    EXPECT_EQ(ParseBool("-1e-300", &flag), 1);
    EXPECT_TRUE(flag);

    const struct {
        const char* text;
        bool value;
    } words[] = {{"ON", true},   {"  on", true},  {"One", true},    {"TRUE", true},
                 {"true", true}, {"off", false},  {"OFF", false},   {"False", false},
                 {"FALSEHOOD", false}};
    for (const auto& w : words) {
        flag = !w.value;
        EXPECT_EQ(ParseBool(w.text, &flag), 1) << w.text;
        EXPECT_EQ(flag, w.value) << w.text;
    }
    for (const char* bad : std::initializer_list<const char*>{"", "   ", "O", "OF", "nan", "inf", "T", "no", nullptr})
        EXPECT_EQ(ParseBool(bad, &flag), -1) << (bad ? bad : "(null)");
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
    EXPECT_EQ(w[0], 3.0);
    EXPECT_EQ(w[1], -1.0);
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
    EXPECT_EQ(pair[0], 1.0);
    EXPECT_EQ(pair[1], 2.0);
    EXPECT_EQ(ParseDoubleChecked("-5,-5", pair), 1);
    EXPECT_EQ(pair[0], -5.0);
    for (const char* bad : std::initializer_list<const char*>{"2 1", "1", "1 2 3", "1 inf", ""}) {
        pair[0] = pair[1] = 42.0;
        EXPECT_EQ(ParseDoubleChecked(bad, pair), -1) << bad;
        EXPECT_EQ(pair[0], 42.0) << bad;
        EXPECT_EQ(pair[1], 42.0) << bad;
    }

    double a = 0, b = 0;
    EXPECT_EQ(ParseDoublePair("3", &a, &b), 1);
    EXPECT_EQ(a, 3.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_EQ(ParseDoublePair("3,-4.25", &a, &b), 2);
    EXPECT_EQ(b, -4.25);
    EXPECT_EQ(ParseDoublePair("x", &a, &b), -1);
    EXPECT_EQ(ParseDoublePair("1 2 3", &a, &b), -1);

    float fa = 0, fb = 0;
    EXPECT_EQ(ParseFloatPair("0.25,-2", &fa, &fb), 2);
    EXPECT_EQ(fa, 0.25f);
    EXPECT_EQ(fb, -2.0f);
    // A value beyond the float range fails; the first is already written.
    EXPECT_EQ(ParseFloatPair("1.5 1e39", &fa, &fb), -1);
    EXPECT_EQ(fa, 1.5f);
    EXPECT_EQ(fb, -2.0f);
}

TEST(NumberParse, ParseTimeText) {
    int32_t ms = 0;
    bool changed = false;
    EXPECT_TRUE(ParseTimeText("1:2:3:4", &ms, &changed));
    EXPECT_EQ(ms, 3723004);
    EXPECT_TRUE(changed);
    EXPECT_TRUE(ParseTimeText(" 01 : 02 : 03 : 004 ", &ms, &changed));
    EXPECT_EQ(ms, 3723004);
    EXPECT_FALSE(changed);

    const struct {
        const char* text;
        int32_t ms;
    } cases[] = {
        {"99:00:00:000", 59 * 3600000},       // hours capped at 59
        {"5", 5},                             // one field: milliseconds
        {"1:30", 1030},                       // two: seconds and milliseconds
        {"2:70:0", 2 * 60000 + 59 * 1000},    // seconds capped
        {"0:0:0:5000", 999},                  // milliseconds capped
        {"::5", 5},                           // empty fields count as 0
        {"1:", 1000},
        {"+3:0", 3000},
        {"-5", 0},                            // a negative field counts as 0
        {"1:2:3:4:5", 3723004},               // at most four fields
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
        EXPECT_EQ(ms, 77);
        EXPECT_TRUE(changed);
    }
}

}  // namespace
}  // namespace orva
