#include "common/calculator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orva {
namespace {

// Evaluates with a fresh context and frees it again.
struct Evaluation {
    bool ok = false;
    CalcContext context;
    explicit Evaluation(const char* text) { ok = CalcEvaluate(&context, text); }
    ~Evaluation() { CalcContextClear(&context); }
    std::string Message() const { return context.message ? context.message : ""; }
    std::string Warning() const { return context.warning ? context.warning : ""; }
};

TEST(Calculator, IntegerResults) {
    const struct {
        const char* text;
        int64_t value;
    } cases[] = {
        {"7/2", 3}, {"-7/2", -3}, {"-7%3", -1}, {"7%-3", 1}, {"0x1F", 31}, {"0X1f", 31},
        {"017", 15}, {"0", 0}, {"2(3+4)", 14}, {"2 (3)(4)", 24}, {"((1))", 1}, {"sqr 3", 9},
        {"~0", -1}, {"!0", 1}, {"!!5", 1}, {"3 // comment", 3}, {"3;5", 3}, {"4 # x", 4},
        {"4 @ x", 4},
        // + and - bind looser than everything else, which binds equally from the left.
        {"1+2<3", 2}, {"2+3*4", 14}, {"2*3+4*5", 26}, {"10-2-3", 5}, {"12/2/3", 2},
        {"1<2==1", 1}, {"6&3|8", 10}, {"-(3)", -3}, {"+5", 5}, {"- -5", 5},
        {"1<<4", 16}, {"-16>>2", -4}, {"6&3", 2}, {"6|3", 7}, {"6^3", 5}, {"3==3", 1},
        {"3!=3", 0}, {"2<=2", 1}, {"2>=3", 0}, {"2>1", 1}, {"1&&0", 0}, {"0||2", 1},
        {"1.5<2", 1}, {"e<3", 1}, {"2.9|0", 2}, {"-2.9|0", -2}, {"~2.9", -3},
        {"abs -5", 5}, {"sign 0", 1}, {"sign -3", -1}, {"zsign 0", 0}, {"zsign -9", -1},
        {"zsign 4", 1}, {"ceil 5", 5}, {"floor 5", 5}, {"round -5", -5}, {"truncate 7", 7},
        // Integers wrap as two's complement; too long literals saturate.
        {"9223372036854775807+1", INT64_MIN}, {"-9223372036854775807-2", INT64_MAX},
        {"0x7fffffffffffffff*2", -2}, {"99999999999999999999", INT64_MAX},
        {"(-9223372036854775807-1)%-1", 0}, {"abs(-9223372036854775807-1)", INT64_MIN},
        {"1<<63", INT64_MIN}, {"1e300|0", INT64_MAX}, {"-1e300&-1", INT64_MIN},
    };
    for (const auto& c : cases) {
        Evaluation e(c.text);
        ASSERT_TRUE(e.ok) << c.text << ": " << e.Message();
        EXPECT_EQ(e.context.error, 0) << c.text;
        EXPECT_EQ(e.context.result.type, kCalcTypeInteger) << c.text;
        EXPECT_EQ(e.context.result.integer, c.value) << c.text;
        EXPECT_EQ(e.context.result.real, static_cast<double>(c.value)) << c.text;
    }
}

TEST(Calculator, RealResults) {
    const struct {
        const char* text;
        double value;
        double tolerance;
    } cases[] = {
        // A later "e" (the constant) leaves an earlier integer division integral.
        {"7/2+e", 5.718281828459045, 0}, {"1,5", 1.5, 0}, {"sqr 1.5", 2.25, 0},
        {"!2.5", 0.0, 0}, {"!0.0", 1.0, 0}, {"-2.5", -2.5, 0},
        {"sin30", -0.9880316240928618, 1e-15}, {"sin 30", -0.9880316240928618, 1e-15},
        {"SIN(30)", -0.9880316240928618, 1e-15}, {"cos30", 0.15425144988758405, 1e-15},
        {"gamma5", 24.0, 1e-12}, {"gamma(5)", 24.0, 1e-12}, {"gamma 5", 24.0, 1e-12},
        {"gamma", 0.5772156649015329, 0}, {"GAMMA", 0.5772156649015329, 0},
        {"gamma-1", -0.42278433509846713, 0}, {"Pi", 3.141592653589793, 0},
        {"twopi", 6.283185307179586, 0}, {"e", 2.718281828459045, 0},
        {"2*pi", 6.283185307179586, 0}, {"pi(2)", 6.283185307179586, 0},
        {"sqrt 2", 1.4142135623730951, 0}, {"2**0.5", 1.4142135623730951, 0},
        {"2*3**2", 36.0, 0}, {"2**10", 1024.0, 0}, {"(-8)**3", -512.0, 0},
        {"7.5%2", 1.5, 0}, {"-7.5%2", -1.5, 0}, {"1e-310%2", 0.0, 0}, {"7/2.", 3.5, 0},
        {"7./2", 3.5, 0}, {"1e3", 1000.0, 0}, {"1.5e-3", 0.0015, 0}, {"2.5E+2", 250.0, 0},
        {".5", 0.5, 0}, {",25", 0.25, 0}, {"017.5", 17.5, 0}, {"1e-400", 0.0, 0},
        {"round 2.5", 3.0, 0}, {"round -2.5", -3.0, 0}, {"round 2.4", 2.0, 0},
        {"floor -1.5", -2.0, 0}, {"ceil 1.2", 2.0, 0}, {"truncate -1.7", -1.0, 0},
        {"abs -2.5", 2.5, 0}, {"sign -0.5", -1.0, 0}, {"sign 0.0", 1.0, 0},
        {"zsign 0.0", 0.0, 0}, {"zsign -0.1", -1.0, 0}, {"ln e", 1.0, 1e-15},
        {"lg2 8", 3.0, 0}, {"lg10 1000", 3.0, 0}, {"exp 0", 1.0, 0},
        {"sinh 1", 1.1752011936438014, 1e-15}, {"cosh 1", 1.5430806348152437, 1e-15},
        {"tangh 0.5", 0.46211715726000974, 1e-15}, {"tang 1", 1.5574077246549023, 1e-15},
        {"ctang 1", 0.6420926159343308, 1e-15}, {"sinc 2", 0.45464871341284085, 1e-15},
        {"sinc 0", 1.0, 0}, {"asin 1", 1.5707963267948966, 0}, {"acos 1", 0.0, 0},
        {"i0 1", 1.2660658777520082, 1e-14}, {"i01", 1.2660658777520082, 1e-14},
        {"j0 1", 0.7651976865579666, 1e-14}, {"j1 1", 0.4400505857449335, 1e-14},
        {"y0 1", 0.088256964215677, 1e-13}, {"y1 1", -0.7812128213002887, 1e-13},
        {"1+2.5", 3.5, 0}, {"10-0.5", 9.5, 0}, {"3*0.5", 1.5, 0},
        {"sin 1 * 0", 0.0, 0}, {"sin(1)*0", 0.0, 0}, {"-sqr 2.0", -4.0, 0},
    };
    for (const auto& c : cases) {
        Evaluation e(c.text);
        ASSERT_TRUE(e.ok) << c.text << ": " << e.Message();
        EXPECT_EQ(e.context.result.type, kCalcTypeReal) << c.text;
        EXPECT_NEAR(e.context.result.real, c.value, c.tolerance) << c.text;
    }
    Evaluation truncated("-2.7");
    EXPECT_EQ(truncated.context.result.integer, -2);
}

TEST(Calculator, ErrorsCarryCodeAndMessage) {
    // Error code, message, failed operator (-1 when not an operator error) and the texts.
    const struct {
        int32_t error;
        const char* message;
        int32_t op;
        std::vector<const char*> texts;
    } cases[] = {
        {1, "argument of log is <= zero", -1, {"ln 0", "ln 1e-17"}},
        {1, "argument of log2 is <= zero", -1, {"lg2 0"}},
        {1, "argument of log10 is <= zero", -1, {"lg10 -1", "lg100" /* lg10 of 0 */}},
        {1, "argument of sqrt is < zero", -1, {"sqrt -1"}},
        {1, "can't calculate \xF1tg", -1, {"ctang 0"}},
        {1, "can't calculate Bessel functions of the second kind: orders 0", -1, {"y0 0"}},
        {1, "can't calculate Bessel functions of the second kind: orders 1", -1, {"y1 -1"}},
        {1, "can't calculate modified Bessel", -1, {"i0 1000", "i0 -1e300"}},
        {1, "can't calculate gamma functions", -1,
         {"gamma(0)", "gamma0", "gamma(-2)", "gamma 200"}},
        {1, "argument of asin() is out of ranges", -1, {"asin 2"}},
        {1, "argument of acos() is out of ranges", -1, {"acos -1.5"}},
        {2, "div zero", kCalcOpDivide, {"1/0", "1.0/0", "1/1e-308"}},
        {2, "div zero", kCalcOpRemainder, {"5%0", "5.5%0"}},
        {2, "owerflow", kCalcOpDivide, {"(-9223372036854775807-1)/-1"}},
        {2, "owerflow", kCalcOpShiftLeft, {"1<<64", "1<<-1"}},
        {2, "owerflow", kCalcOpShiftRight, {"1>>64", "1>>-3", "1>>1e30"}},
        {2, "Raising number, that is less than zero into not integer y", kCalcOpPower,
         {"(-8)**0.5"}},
        {2, "Raising zero into y that is not greater than 0", kCalcOpPower, {"0**0", "0**-1"}},
        {2, "owerflow", kCalcOpPower, {"10**400"}},
        {2, "infinite or nan", kCalcOpMultiply, {"1e308*10"}},
        {2, "infinite or nan", kCalcOpAdd, {"1e308+1e308"}},
        {3, "infinite or nan", -1, {"exp 1000"}},
        {1, "bad real value...", -1, {"1e400"}},
        {1, ") expected", -1, {"(1+2"}},
        {1, "Incorrect expression", -1, {"foo", "sinx"}},
        {1, "No Expression", -1, {"   ", "1+", "// only a comment", "sin"}},
        {1, "Incorrect operator", -1, {"*3", "**3", ")", "1+*2"}},
        {1, "There is no correct expression", -1,
         {"3 %% 4", "2<>3", "2><3", "2^^3", "3!4", "1&&!0", "3-~0", "2$", ".", ",e5"}},
    };
    for (const auto& c : cases) {
        for (const char* text : c.texts) {
            Evaluation e(text);
            EXPECT_FALSE(e.ok) << text;
            EXPECT_EQ(e.context.error, c.error) << text;
            EXPECT_EQ(e.Message(), c.message) << text;
            if (c.op >= 0) {
                EXPECT_EQ(e.context.failedOperator, c.op) << text;
            }
        }
    }
    Evaluation sinh("sinh 1000");
    EXPECT_EQ(std::pair(sinh.context.error, sinh.Warning()),
              std::pair(int32_t{kCalcErrorFunction}, std::string("sinh")));
    Evaluation sqr("sqr 1e200");
    EXPECT_EQ(sqr.Warning(), "sqr");

    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        Evaluation e(empty);
        EXPECT_FALSE(e.ok || e.context.error != kCalcErrorEmpty);
    }
    // Deep nesting fails instead of exhausting the stack.
    std::string functions;
    for (int i = 0; i < 50000; ++i) functions += "sin ";
    for (const std::string& deep :
         {std::string(100000, '(') + "1", std::string(100000, '-') + "1", functions + "1"}) {
        Evaluation e(deep.c_str());
        EXPECT_FALSE(e.ok);
        EXPECT_EQ(e.Message(), "Incorrect expression");
    }
}

TEST(Calculator, WarningsKeepTheValue) {
    const struct {
        std::string text;
        double value;
        const char* warning;
    } cases[] = {
        {"1.7976931348623157e308+0", 1.7976931348623157e308, "possible owerflow"},
        {"1." + std::string(300, '0'), 1.0, "very big string"},
        {"089", 63, "bad digit found: here OCT: 0-7, DEC: 0-9, HEX: 0-F"},  // digits clamp to 7
        {"0x1G", 1, "symbol not digit: here 0-F"},
        {"12abc", 12, "symbol not digit: here 0-F"},
        {"1.5.3", 1.5, "repeating symbol"},
        {"1.5x", 1.5, "bad symbol: here 0-9 . , e E + -"},
    };
    for (const auto& c : cases) {
        Evaluation e(c.text.c_str());
        ASSERT_TRUE(e.ok) << c.text << ": " << e.Message();
        EXPECT_EQ(e.context.result.real, c.value) << c.text;
        EXPECT_EQ(e.Warning(), c.warning) << c.text;
        // Only a number read cut is marked as such.
        EXPECT_EQ(e.context.cutNumber != nullptr, std::string(c.warning) == "very big string") << c.text;
    }
}

TEST(Calculator, ContextKeepsItsBufferUntilCleared) {
    CalcContext context;
    ASSERT_TRUE(CalcEvaluate(&context, "1+1"));
    char* buffer = context.token;
    ASSERT_NE(buffer, nullptr);
    EXPECT_FALSE(CalcEvaluate(&context, "1/0"));
    EXPECT_TRUE(CalcEvaluate(&context, "2*2"));
    EXPECT_TRUE(context.token == buffer && context.error == 0 && context.message == nullptr &&
                context.result.integer == 4);
    CalcContextClear(&context);
    EXPECT_TRUE(context.token == nullptr && context.result.type == kCalcTypeNone);
    CalcContextClear(&context);  // twice is harmless
}

TEST(Calculator, ParseNumber) {
    const struct {
        const char* text;
        int radix;
        uint32_t flags;
        uint64_t value;
        int consumed;
        bool range;  // errno set to ERANGE
    } cases[] = {
        {"  -42x", 0, 0, static_cast<uint32_t>(-42), 5, false},
        {"0x1F", 0, 0, 31, 4, false}, {"0x1F", 16, 0, 31, 4, false}, {"1f", 16, 0, 31, 2, false},
        {"017", 0, 0, 15, 3, false}, {"z", 36, 0, 35, 1, false}, {"Zz", 36, 0, 1295, 2, false},
        {"19", 8, 0, 1, 1, false}, {"19", 8, kCalcParseClampDigits, 15, 2, false},
        {"+101", 2, kCalcParseUnsigned, 5, 4, false}, {"abc", 10, 0, 0, 0, false},
        {"12", 1, 0, 0, 0, false}, {"12", 37, 0, 0, 0, false}, {"0x", 0, 0, 0, 1, false},
        {"0xg", 16, 0, 0, 1, false},
        {"4294967296", 0, kCalcParseUnsigned, 0xFFFFFFFFu, 10, true},
        {"-1", 2, kCalcParseUnsigned, 0, 2, true},
        {"4294967295", 0, kCalcParseUnsigned, 0xFFFFFFFFu, 10, false},
        {"2147483648", 0, 0, 0x7FFFFFFFu, 10, true},
        {"-2147483648", 0, 0, 0x80000000u, 11, false}, {"-2147483649", 0, 0, 0x80000000u, 11, true},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        errno = 0;
        EXPECT_EQ(CalcParseNumber(c.text, &end, c.radix, c.flags), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
        EXPECT_EQ(errno == ERANGE, c.range) << c.text;
    }
    const struct {
        const char* text;
        uint32_t flags;
        uint64_t value;
        bool range;
    } wide[] = {{"9223372036854775808", 0, uint64_t{INT64_MAX}, true},
                {"-9223372036854775808", 0, uint64_t{1} << 63, false},
                {"18446744073709551615", kCalcParseUnsigned, UINT64_MAX, false},
                {"18446744073709551616", kCalcParseUnsigned, UINT64_MAX, true}};
    const char* end = nullptr;
    for (const auto& c : wide) {
        errno = 0;
        EXPECT_EQ(CalcParseNumber64(c.text, &end, c.flags ? 10 : 0, c.flags), c.value) << c.text;
        EXPECT_EQ(errno == ERANGE, c.range) << c.text;
    }
    EXPECT_EQ(CalcParseNumber(nullptr, &end, 10, 0), 0u);
}

TEST(Calculator, WordLengths) {
    const std::pair<const char*, int> forward[] = {
        {"abc def", 4}, {"abc", 3}, {"..abc", 2}, {".. abc", 3}, {"  x", 2}, {"a+b", 1}, {"", 0}};
    for (auto [text, length] : forward) EXPECT_EQ(TextWordLengthForward(text), length) << text;
    EXPECT_EQ(
        std::pair(TextWordLengthForwardEx("a_b c", "_"), TextWordLengthForwardEx("a+b c", "_")),
        std::pair(1, 4));
    const struct {
        const char* text;
        int at, length;
    } backward[] = {{"abc def", 7, 3}, {"abc def ", 8, 4}, {"abc..", 5, 2}, {"abc def", 3, 3},
                    {"a+b", 2, 1},     {"   ", 3, 3},      {"abc", 0, 0}};
    for (const auto& c : backward)
        EXPECT_EQ(TextWordLengthBackward(c.text, c.at), c.length) << c.text << " " << c.at;
}

}  // namespace
}  // namespace orva
