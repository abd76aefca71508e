#include "framework/keyword_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "test_support.h"

namespace orva {
namespace {

// Records what the handlers saw.
struct Seen {
    std::vector<std::string> calls;
};

int AlphaHandler(const char* value, ParseState* state) {
    static_cast<Seen*>(state->context)->calls.push_back(std::string("Alpha=") + value);
    return 7;
}
int BetaHandler(const char* value, ParseState* state) {
    static_cast<Seen*>(state->context)->calls.push_back(std::string("Beta=") + value);
    return -2;
}

KeywordName gAlphaNames[] = {{"Alpha", 0}, {"A1", 0}, {nullptr, 0}};
KeywordName gBetaNames[] = {{"Beta", 0}, {nullptr, 0}};
KeywordDescriptor gAlpha{gAlphaNames, &AlphaHandler};
KeywordDescriptor gBeta{gBetaNames, &BetaHandler};
KeywordDescriptor* const gDescriptors[] = {&gAlpha, &gBeta, nullptr};
KeywordTable gTable(gDescriptors);

// A side log in a temporary file, read back whole.
struct SideLog {
    LogFile log;
    SideLog() { log.stream = std::tmpfile(); }
    ~SideLog() { std::fclose(log.stream); }
    std::string Text() {
        std::fflush(log.stream);
        std::rewind(log.stream);
        std::string text;
        int c;
        while ((c = std::fgetc(log.stream)) != EOF) text.push_back(static_cast<char>(c));
        return text;
    }
};

int Dispatch(ParseState* state, const char* statement) {
    state->key = statement;
    size_t n = 0;
    while (std::isalnum(static_cast<unsigned char>(statement[n])) || statement[n] == '_') ++n;
    state->keyLength = static_cast<uint32_t>(n);
    state->value = nullptr;
    return DispatchKeyValue(state);
}

TEST(KeywordTable, PrepareFillsLengthsAndRefusesEmptyNames) {
    EXPECT_TRUE(gTable.Prepared());
    EXPECT_EQ(std::pair(gAlphaNames[0].length, gAlphaNames[1].length), std::pair(5u, 2u));

    KeywordName empty[] = {{"", 0}, {nullptr, 0}};
    KeywordDescriptor bad{empty, &AlphaHandler};
    KeywordDescriptor* const list[] = {&bad, nullptr};
    KeywordTable table(list);
    EXPECT_FALSE(table.Prepared() || table.Prepare());

    // An unprepared table reads no key.
    ParseState state;
    state.table = &table;
    EXPECT_EQ(Dispatch(&state, "x=1"), 0);
}

TEST(KeywordTable, DispatchLogLines) {
    Seen seen;
    SideLog side;
    uint8_t accepted = 0;
    ParseState state;
    state.table = &gTable;
    state.accepted = &accepted;
    state.context = &seen;
    state.log = &side.log;
    state.line = 12;

    // Case-insensitive names, aliases, blanks around "=".
    EXPECT_EQ(Dispatch(&state, "alpha  =  5"), 7);
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(Dispatch(&state, "a1=x y"), 7);
    // Prefixes do not match; without verbose nothing is reported.
    EXPECT_EQ(Dispatch(&state, "Alph=1"), -1);
    EXPECT_EQ(Dispatch(&state, "Alpha="), -1);
    EXPECT_EQ(side.Text(), "");

    state.verbose = 1;
    EXPECT_EQ(Dispatch(&state, "Alph=1"), -1);
    EXPECT_EQ(Dispatch(&state, "Alpha=  "), -1);
    EXPECT_EQ(Dispatch(&state, "Alpha 5"), -1);
    accepted = 0;
    EXPECT_EQ(Dispatch(&state, "BETA=wrong"), -2);
    EXPECT_EQ(accepted, 0);
    EXPECT_EQ(side.Text(),
              "$12: 'Alph' : skip cmd\n"
              "$12: 'Alpha' : empty cmd\n"
              "$12: '5' : bad cmd\n"
              "$12: 'Beta=wrong' : bad cmd\n");
    EXPECT_EQ(seen.calls, (std::vector<std::string>{"Alpha=5", "Alpha=x y", "Beta=wrong"}));

    // To the program log; with no log target no "$" lines at all.
    testing_util::ProgramLogCapture capture;
    state.log = ProgramLogTarget();
    state.line = 3;
    Dispatch(&state, "Gamma=1");
    state.log = nullptr;
    Dispatch(&state, "Delta=1");
    std::string text = capture.Text();
    EXPECT_NE(text.find("$3: 'Gamma' : skip cmd"), std::string::npos) << text;
    EXPECT_EQ(text.find("Delta"), std::string::npos) << text;
    // No table: 0 and nothing called.
    state.table = nullptr;
    EXPECT_EQ(Dispatch(&state, "Alpha=1"), 0);
    EXPECT_EQ(seen.calls.size(), 3u);
}

TEST(KeywordTable, ParseKeyValueLine) {
    const struct {
        const char* line;
        int result, bad;
        std::vector<std::string> calls;
    } cases[] = {
        {"Alpha=1; Beta=2", 1, 1, {"Alpha=1", "Beta=2"}},
        {"A1=1 B=2", 1, 0, {"Alpha=1 B=2"}},
        {"  Alpha=1;;  ; A1 = 2;", 2, 0, {"Alpha=1", "Alpha=2"}},
        {"Beta=1;Beta=2", -1, 2, {"Beta=1", "Beta=2"}},
        {"Alpha=1; 9x=2", 1, 0, {"Alpha=1"}},
        {"", 0, 0, {}},
        {"=5", 0, 0, {}},
        // A ";" in quoted text belongs to the value; unquoted it ends the statement.
        {"Alpha=\";\"; A1=';';Alpha=2", 3, 0, {"Alpha=\";\"", "Alpha=';'", "Alpha=2"}},
        {"Alpha=;", -1, 1, {}},
        {"Alpha=\"; A1=it's; Alpha=2", 3, 0, {"Alpha=\"", "Alpha=it's", "Alpha=2"}},
    };
    for (const auto& c : cases) {
        Seen seen;
        ParseState state;
        state.table = &gTable;
        state.context = &seen;
        std::string line = c.line;
        int bad = -1;
        int result = ParseKeyValueLine(&state, line.data(), 1, &bad);
        EXPECT_EQ(std::tuple(result, bad, seen.calls), std::tuple(c.result, c.bad, c.calls))
            << c.line;
    }
}

TEST(KeywordTable, StripLineComment) {
    const struct {
        const char* line;
        const char* kept;
    } cases[] = {
        {"KEY=1 // note", "KEY=1 "},
        {"// all", ""},
        {"URL=\"a//b\" // c", "URL=\"a//b\" "},
        {"A='x//y'//z", "A='x//y'"},
        {"A=\"it's\" // c", "A=\"it's\" "},
        {"A='say \"hi' // c", "A='say \"hi' "},
        {"A=\"open // no end", "A=\"open // no end"},
        {"A=1 / 2", "A=1 / 2"},
        {"", ""},
    };
    for (const auto& c : cases) {
        std::string line = c.line;
        const size_t n = StripLineComment(line.data());
        EXPECT_STREQ(line.c_str(), c.kept) << c.line;
        EXPECT_EQ(n, std::strlen(c.kept)) << c.line;
    }
}

TEST(KeywordTable, QuotedValues) {
    // QuotedValueLength, QuotedValueSkip and where the cursor lands.
    const struct {
        const char* text;
        int length, skip, offset;
    } cases[] = {
        {"\"abc\" rest", 3, 3, 1}, {"'a b'", 3, 3, 1},  {"<x/y>", 3, 3, 1},
        {"<\"q\">", 3, 1, 2},     {"\"open", -1, -1, 0}, {"plain", -1, -1, 0},
    };
    for (const auto& c : cases) {
        const char* cursor = c.text;
        EXPECT_EQ(QuotedValueLength(&cursor), c.length) << c.text;
        cursor = c.text;
        int skip = QuotedValueSkip(&cursor);
        EXPECT_EQ(std::pair(skip, int(cursor - c.text)), std::pair(c.skip, c.offset)) << c.text;
    }
    // Each call answers its result with the text it left; a refusal keeps the old text.
    char* text = nullptr;
    auto parse = [&](int (*f)(const char*, char**), const std::string& in) {
        int result = f(in.c_str(), &text);
        return std::pair(result, std::string(text ? text : "<null>"));
    };
    using Parsed = std::pair<int, std::string>;
    EXPECT_EQ(parse(ParseQuotedString, "\"/data/in\""), Parsed(1, "/data/in/"));
    EXPECT_EQ(parse(ParseQuotedString, "/data/out/  \r\n"), Parsed(1, "/data/out/"));
    EXPECT_EQ(parse(ParseQuotedString, "<'x'>"), Parsed(1, "'x'/"));
    EXPECT_EQ(parse(ParseQuotedString, "   "), Parsed(-1, "'x'/"));
    // Settings keep values longer than a path; only what a value cannot hold is refused.
    EXPECT_EQ(parse(ParseQuotedString, std::string(5000, 'a')), Parsed(1, std::string(5000, 'a') + "/"));
    EXPECT_EQ(parse(ParseQuotedString, std::string(kMaxValueLength + 1, 'a')).first, -1);
    // A quoted empty folder stays empty; the escaped form reads back any byte.
    EXPECT_EQ(parse(ParseQuotedString, "\"\""), Parsed(1, ""));
    EXPECT_EQ(parse(ParseQuotedString, "%\"/a%22;{%0D/\""), Parsed(1, "/a\";{\r/"));
    EXPECT_EQ(parse(QuotedValueDup, "%\"q%22x\""), Parsed(1, "q\"x"));
    EXPECT_EQ(parse(QuotedValueDup, "<a b>"), Parsed(1, "a b"));
    EXPECT_EQ(parse(QuotedValueDup, "'a'").first, -1);
    EXPECT_EQ(parse(QuotedValueDup, "\"\""), Parsed(1, ""));
    std::free(text);
}

TEST(KeywordTable, ParseFileNameValue) {
    const struct {
        const char* text;
        int result;
        const char* name;
    } cases[] = {
        {"  table.txt  ", 1, "table.txt"}, {"\"my table.txt\" rest", 1, "my table.txt"},
        {"<lut.pal>", 2, "lut.pal"},
        {"\"open.txt", 0, nullptr}, {"<a/b>", 0, nullptr}, {"", 0, nullptr},
    };
    for (const auto& c : cases) {
        SideLog side;
        std::string text = c.text;
        char* cursor = text.data();
        int length = -1;
        int result = ParseFileNameValue(&cursor, "bad table name", 4294967296LL, &side.log, &length);
        EXPECT_EQ(result, c.result) << c.text;
        if (c.name) {
            EXPECT_EQ(std::tuple(std::string(cursor), length, side.Text()),
                      std::tuple(std::string(c.name), static_cast<int>(std::strlen(c.name)),
                                 std::string()));
        } else {
            EXPECT_EQ(side.Text(), "$4294967296: bad table name\n");
        }
    }
}

}  // namespace
}  // namespace orva
