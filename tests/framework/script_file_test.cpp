#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "common/error_codes.h"
#include "framework/keyword_file.h"
#include "framework/script_scan.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

constexpr ComponentId kColor{{FourCC("PROP"), 0, FourCC("CONV"), FourCC("COLR")}, "colour"};
// The section names of kColor with the numbers 0 and 1, worked out by hand.
#define SEC "504F5250-00000000-524C4F43564E4F43-00000000"
#define OTHER "504F5250-00000000-524C4F43564E4F43-00000001"

// Records the section's statements and writes a given body, each line behind
// the section's indentation character.
class SectionFile : public KeywordFile {
public:
    std::vector<std::string> body{"New=5"};
    std::vector<std::string> seen;
    std::string failedTemp;  // the temporary copy when a save failed

    bool HasData() override {
        const ParseState& s = Parse();
        std::string value = s.key + s.keyLength;
        size_t eq = value.find('=');
        value = value.substr(value.find_first_not_of(' ', eq + 1));
        value.erase(value.find_last_not_of(' ') + 1);
        seen.push_back(std::string(s.key, s.keyLength) + "=" + value);
        return true;
    }
    bool WriteBody(char lead) override {
        for (const std::string& line : body) {
            if (lead != '\0' && !Print("%c", lead)) return false;
            if (!Print("%s\n", line.c_str())) return false;
        }
        return true;
    }
    void OnFailed() override {
        if (Stream() != nullptr && *TempName() != '\0') {
            std::fflush(Stream());
            failedTemp = ReadText(TempName());
        }
    }
};

std::vector<std::string> ReadSection(const std::string& path, const char* url, bool* ok = nullptr) {
    SectionFile file;
    if (url) file.SetSectionName(url, 0);
    bool result = file.Open(path.c_str(), nullptr, &kColor, 0, nullptr);
    if (ok) *ok = result;
    return file.seen;
}

bool SaveSection(const std::string& path, const char* url, SectionFile* file) {
    if (url) file->SetSectionName(url, 0);
    return file->WriteFile(path.c_str(), nullptr, &kColor, 0, nullptr, false);
}

const char kServiceFile[] =
    "// a service file\n"
    "SEL(URL=<a.fits>)\n"
    "{\n"
    " [{" SEC "}]\n"
    "Gain=1\n"
    "}\n"
    "select ( url = \"b.fits\" ) {\n"
    " [{" OTHER "}]\n"
    "Gain=9\n"
    " [ ; {504f5250-00000000-524c4f43564e4f43-00000000}]\n"
    "Gain=2; Offset = 3 // comment\n"
    "Path=\"c://x\" // real comment\n"
    "}\n";

TEST(ScriptReader, FindsTheSectionInsideItsBlock) {
    TempFolder folder;
    std::string path = folder.File("data.fs");
    WriteText(path, kServiceFile);
    bool ok = false;
    EXPECT_EQ(ReadSection(path, "a.fits", &ok), std::vector<std::string>{"Gain=1"});
    EXPECT_TRUE(ok);
    EXPECT_EQ(ReadSection(path, "b.fits"),
              (std::vector<std::string>{"Gain=2", "Offset=3", "Path=\"c://x\""}));
    // URLs name files: another case is another file.
    EXPECT_TRUE(ReadSection(path, "A.fits", &ok).empty() && ok);
    // Without a URL only the sections outside every block are the object's: those inside
    // belong to their data files.
    EXPECT_TRUE(ReadSection(path, nullptr, &ok).empty() && ok);

    // A second copy of the section after the first is ignored; CR LF line ends are read.
    WriteText(path, "[{" SEC "}]\r\nA=1\r\n[{" OTHER "}]\r\nA=7\r\n[{" SEC "}]\r\nA=2\r\n");
    EXPECT_EQ(ReadSection(path, nullptr), std::vector<std::string>{"A=1"});
    // An absolute path in double quotes.
    WriteText(path, "SEL(URL=\"/data/x y.fits\")\n{\n [{" SEC "}]\n K = v w \n}\n");
    EXPECT_EQ(ReadSection(path, "/data/x y.fits"), std::vector<std::string>{"K=v w"});
}

TEST(ScriptRewriter, ReplacesOnlyThisObjectsSection) {
    const struct {
        const char *name, *url, *before, *after;
    } cases[] = {
        {"section replaced in the second of several blocks", "b.fits",
         "// service file\n"
         "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n [{" OTHER "}]\nX=2\n}\n\n\n"
         "SEL(URL=<b.fits>)\n{\n [{" SEC "}]\nOld=1\nOld=2\n [{" OTHER "}]\nY=3\n}\n",
         "// service file\n"
         "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n [{" OTHER "}]\nX=2\n}\n\n\n"
         "SEL(URL=<b.fits>)\n{\n [{" SEC "}]\n New=5\n [{" OTHER "}]\nY=3\n}\n"},
        {"blank lines outside the section stay as they are", nullptr,
         "// a\n\n \t\n\n[{" OTHER "}]\nB=2\n\n\n[{" SEC "}]\nOld=1\n\n\n\n[{" OTHER "}]\nC=3\n\n\n",
         "// a\n\n \t\n\n[{" OTHER "}]\nB=2\n\n\n[{" SEC "}]\nNew=5\n\n[{" OTHER "}]\nC=3\n\n\n"},
        {"missing section inserted before the block's closing line", "c",
         "SEL(URL=<c>)\n{\n\t[{" OTHER "}]\nZ=1\n}\n",
         "SEL(URL=<c>)\n{\n\t[{" OTHER "}]\nZ=1\n\n [{" SEC "}]\n New=5\n}\n"},
        {"missing block appended, absolute path in quotes", "/data/d.fits",
         "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n}\n",
         "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n}\n\n"
         "SEL(URL=\"/data/d.fits\")\n{\n [{" SEC "}]\n New=5\n}\n"},
        {"duplicate top-level sections dropped", nullptr,
         "[{" SEC "}]\nA=1\n\n[{" OTHER "}]\nB=2\n[{" SEC "}]\nA=3\n",
         "[{" SEC "}]\nNew=5\n\n[{" OTHER "}]\nB=2\n"},
        {"later blocks of the same URL: dropped when only ours, else copied without ours", "b",
         "SEL(URL=<b>)\n{\n [{" SEC "}]\nOld=1\n}\n"
         "SEL(URL=<b>)\n{\n // note\n [{" SEC "}]\nOld=2\n}\n"
         "SEL(URL=<b>)\n{\n [{" OTHER "}]\nQ=1\n [{" SEC "}]\nOld=3\n}\n",
         "SEL(URL=<b>)\n{\n [{" SEC "}]\n New=5\n}\n"
         "SEL(URL=<b>)\n{\n [{" OTHER "}]\nQ=1\n}\n"},
        {"new top-level section after a foreign one", nullptr,
         "[{" OTHER "}]\nB=2\n",
         "[{" OTHER "}]\nB=2\n\n[{" SEC "}]\nNew=5\n"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        std::string path = folder.File("set.fs");
        WriteText(path, c.before);
        SectionFile file;
        EXPECT_TRUE(SaveSection(path, c.url, &file)) << c.name;
        EXPECT_EQ(ReadText(path), c.after) << c.name;
        // Saving again changes nothing, and the new section reads back.
        SectionFile again;
        EXPECT_TRUE(SaveSection(path, c.url, &again)) << c.name;
        EXPECT_EQ(ReadText(path), c.after) << c.name;
        EXPECT_EQ(ReadSection(path, c.url), std::vector<std::string>{"New=5"}) << c.name;
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"set.fs"}) << c.name;
    }
}

TEST(ScriptRewriter, NewFileAndBackup) {
    TempFolder folder;
    std::string path = folder.File("new.fs");
    SectionFile file;
    EXPECT_TRUE(SaveSection(path, "x.fits", &file));
    EXPECT_EQ(ReadText(path), "SEL(URL=<x.fits>)\n{\n [{" SEC "}]\n New=5\n}\n");

    // The keep flag leaves the replaced file as its ".bak".
    SectionFile second;
    second.body = {"New=6"};
    second.SetSectionName("x.fits", 0);
    EXPECT_TRUE(second.WriteFile(path.c_str(), nullptr, &kColor, 0, nullptr, true));
    EXPECT_EQ(ReadText(path + ".bak"), "SEL(URL=<x.fits>)\n{\n [{" SEC "}]\n New=5\n}\n");
    EXPECT_EQ(ReadSection(path, "x.fits"), std::vector<std::string>{"New=6"});
}

// A control character makes the file bad for reading and for rewriting.
TEST(ScriptRewriter, FailuresLeaveTheOriginalIntact) {
    testing_util::ProgramLogCapture capture;
    TempFolder folder;
    std::string unbalanced = folder.File("unbalanced.fs");
    const std::string before = "SEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n";
    WriteText(unbalanced, before);
    SectionFile file;
    EXPECT_FALSE(SaveSection(unbalanced, "a", &file));
    EXPECT_EQ(ReadText(unbalanced), before);
    EXPECT_EQ(file.failedTemp, "\n//!!! mistake in this script (not pair brackets)\n");

    std::string control = folder.File("control.fs");
    const std::string bad = "[{" SEC "}]\nK=1\x01\n\x07\n";
    WriteText(control, bad);
    SectionFile reader;
    EXPECT_FALSE(reader.Open(control.c_str(), nullptr, &kColor, 0, nullptr));
    EXPECT_EQ(reader.State(), -1);
    SectionFile second;
    EXPECT_FALSE(SaveSection(control, nullptr, &second));
    EXPECT_EQ(second.State(), -1);
    EXPECT_EQ(ReadText(control), bad);

    std::string log = capture.Text();
    for (const std::string& line :
         {"$bad file: '" + control + "'", std::string("Parsing[fs]file: error"),
          "$bad script file: \"" + control + "\"", "WriteFile: error: " + control,
          "WriteFile: error: " + unbalanced})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    // No temporary copies are left behind.
    EXPECT_EQ(folder.Files().size(), 2u);
}

// A reader that takes the closed block of its URL from a file whose braces fail to pair
// elsewhere (as the service descriptions do), and what every reader says of a file it
// refuses.
TEST(ScriptReader, ABlockOfItsOwnIsReadWhereverElseTheBracesFail) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> seen;  // empty: the file is refused
        std::string refusal;
    } rows[] = {
        {"OtherBlockUnclosedAfter", "SEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\nSEL(URL=<b>)\n{\n [{" SEC "}]\nK=2\n",
         {"K=1"}, ""},
        {"StrayBraceBefore", "}\nSEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\n", {"K=1"}, ""},
        {"OwnBlockUnclosed", "SEL(URL=<b>)\n{\n}\nSEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n", {}, "its braces do not pair"},
        {"OwnBlockInsideAnUnclosedOne", "SEL(URL=<b>)\n{\nSEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\n", {},
         "its braces do not pair"},
        {"ControlCharacter", "SEL(URL=<a>)\n{\n [{" SEC "}]\n// bell \x07\nK=1\n}\n", {},
         "a control character on line 4"},
        {"LineTooLong", "SEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n//" + std::string(kMaxScriptLineLength, 'x') + "\n}\n",
         {}, "line 5 is longer than 4194304 characters"},
    };
    TempFolder folder;
    const std::string path = folder.File("s.fs");
    for (const auto& row : rows) {
        WriteText(path, row.text);
        SectionFile file;
        file.SetReadsClosedBlockOfUnbalanced(true);
        file.SetSectionName("a", 0);
        EXPECT_EQ(file.Open(path.c_str(), nullptr, &kColor, 0, nullptr), !row.seen.empty()) << row.name;
        EXPECT_EQ(file.seen, row.seen) << row.name;
        EXPECT_EQ(ScriptRefusalText(file.Refusal()), row.refusal) << row.name;
        // A reader that does not ask for it refuses every file whose braces fail.
        SectionFile plain;
        plain.SetSectionName("a", 0);
        if (row.refusal.empty())
            EXPECT_FALSE(plain.Open(path.c_str(), nullptr, &kColor, 0, nullptr)) << row.name;
        // Nor is such a file ever rewritten.
        SectionFile writer;
        EXPECT_FALSE(SaveSection(path, "a", &writer)) << row.name;
        EXPECT_EQ(ReadText(path), row.text) << row.name;
    }
}

// Saves three times and checks after each save that the file is `after` and that the
// section reads back.
void ExpectStableSaves(const std::string& path, const char* url, const std::string& after, const char* name) {
    for (int save = 1; save <= 3; ++save) {
        SectionFile file;
        EXPECT_TRUE(SaveSection(path, url, &file)) << name << " save " << save;
        EXPECT_EQ(ReadText(path), after) << name << " save " << save;
        EXPECT_EQ(ReadSection(path, url), std::vector<std::string>{"New=5"}) << name << " save " << save;
    }
}

// Three saves of the default body leave `expected` each time.
void ExpectStableSavesOf(const std::string& path, const char* url, const std::string& expected) {
    for (int save = 1; save <= 3; ++save) {
        SectionFile file;
        file.body = {std::string("Url=") + ScriptQuotedText(url)};
        EXPECT_TRUE(SaveSection(path, url, &file)) << url << " save " << save;
        EXPECT_EQ(ReadText(path), expected) << url << " save " << save;
    }
}

// A path in double quotes ends only at its closing quote, whatever it holds; the
// angle-bracket form keeps its rule.
TEST(ScriptFaults, QuotedPathsHoldAnyCharacter) {
    TempFolder folder;
    const std::string path = folder.File("q.fs");
    WriteText(path,
              "SEL(URL=\"x>y.fits\")\n{\n [{" SEC "}]\nK=1\n}\n"
              "SEL(URL=\"a<b;c//d{e}.fits\")\n{\n [{" SEC "}]\nK=2\n}\n"
              "SEL(URL=<p//q;r>)\n{\n [{" SEC "}]\nK=3\n}\n"
              "SEL(URL=<m>n>)\n{\n [{" SEC "}]\nK=4\n}\n");
    EXPECT_EQ(ReadSection(path, "x>y.fits"), std::vector<std::string>{"K=1"});
    EXPECT_EQ(ReadSection(path, "a<b;c//d{e}.fits"), std::vector<std::string>{"K=2"});
    EXPECT_EQ(ReadSection(path, "p//q;r"), std::vector<std::string>{"K=3"});
    bool ok = false;
    EXPECT_TRUE(ReadSection(path, "m>n", &ok).empty() && ok);  // "<m>" then no ")": no block

    // Saved three times: one block in double quotes, read back each time.
    const std::string fresh = folder.File("fresh.fs");
    ExpectStableSaves(fresh, "x>y.fits", "SEL(URL=\"x>y.fits\")\n{\n [{" SEC "}]\n New=5\n}\n", "new file");
    WriteText(fresh, "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n}\n");
    ExpectStableSaves(fresh, "x>y.fits",
                      "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n}\n\n"
                      "SEL(URL=\"x>y.fits\")\n{\n [{" SEC "}]\n New=5\n}\n",
                      "beside another block");
    EXPECT_EQ(ReadSection(fresh, "a.fits"), std::vector<std::string>{"K=1"});
}

// An object without a URL owns the sections outside every block: saving it never
// touches a block, whatever sections the blocks hold.
TEST(ScriptFaults, TopLevelSavesLeaveBlocksWhole) {
    const struct {
        const char *name, *before, *after;
    } cases[] = {
        {"only blocks",
         "SEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\nSEL(URL=<b>)\n{\n [{" SEC "}]\nK=2\n [{" OTHER "}]\nX=1\n}\n",
         "SEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\nSEL(URL=<b>)\n{\n [{" SEC "}]\nK=2\n [{" OTHER "}]\nX=1\n}\n"
         "\n[{" SEC "}]\nNew=5\n"},
        {"a top-level section before the blocks",
         "[{" SEC "}]\nOld=1\nSEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\n",
         "[{" SEC "}]\nNew=5\nSEL(URL=<a>)\n{\n [{" SEC "}]\nK=1\n}\n"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const std::string path = folder.File("t.fs");
        WriteText(path, c.before);
        ExpectStableSaves(path, nullptr, c.after, c.name);
        EXPECT_EQ(ReadSection(path, "a"), std::vector<std::string>{"K=1"}) << c.name;
    }
}

// The reader and the rewriter see the same structure: the rewriter's section is the one
// the reader finds, and a file that cannot be paired is refused by both.
TEST(ScriptFaults, ReaderAndRewriterAgree) {
    const struct {
        const char *name, *url, *before, *after;
    } cases[] = {
        {"a lone SEL( word is no block", "b", "SEL(UR\n",
         "SEL(UR\n\nSEL(URL=<b>)\n{\n [{" SEC "}]\n New=5\n}\n"},
        {"braces inside apostrophes are text", "b",
         "SEL(URL=<b>)\n{\n [{" OTHER "}]\nT='{'\n}\nSEL(URL=<c>)\n{\n [{" SEC "}]\nT='}'\n}\n",
         "SEL(URL=<b>)\n{\n [{" OTHER "}]\nT='{'\n\n [{" SEC "}]\n New=5\n}\n"
         "SEL(URL=<c>)\n{\n [{" SEC "}]\nT='}'\n}\n"},
        {"a SEL inside another file's block selects nothing", "a",
         "SEL(URL=<b>)\n{\n SEL(URL=<a>)\n {\n [{" SEC "}]\n K=1\n }\n}\n",
         "SEL(URL=<b>)\n{\n SEL(URL=<a>)\n {\n [{" SEC "}]\n K=1\n }\n}\n\nSEL(URL=<a>)\n{\n [{" SEC "}]\n New=5\n}\n"},
        {"one line holding blocks, sections and values", "a",
         "K=1; SEL(URL=<a>) { [{" SEC "}] Old=1; [{" OTHER "}] X=2; } SEL(URL=<b>) {} // c\n",
         "K=1; SEL(URL=<a>) {\n [{" SEC "}]\n New=5\n[{" OTHER "}] X=2; } SEL(URL=<b>) {} // c\n"},
        {"a later block whose SEL follows a waiting SEL stays whole", "b",
         "SEL(URL=<b>){}SEL(URL=<b>)\nSEL(URL=<b>){\n}\n{[{" SEC "}]}\n",
         "SEL(URL=<b>){\n [{" SEC "}]\n New=5\n}SEL(URL=<b>)\nSEL(URL=<b>){\n}\n{[{" SEC "}]}\n"},
        {"a value holding ';' and '//' in quotes", "a",
         "SEL(URL=<a>)\n{\n [{" SEC "}]\nP=\"x;y//z\"; Q=2\n}\n",
         "SEL(URL=<a>)\n{\n [{" SEC "}]\n New=5\n}\n"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const std::string path = folder.File("s.fs");
        WriteText(path, c.before);
        ExpectStableSaves(path, c.url, c.after, c.name);
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"s.fs"}) << c.name;
    }
    TempFolder folder;
    const std::string path = folder.File("s.fs");
    WriteText(path, "SEL(URL=<b>)\n{\n [{" SEC "}]\nT='{'\nP=\"a;b\"; Q=2 // c\n}\n");
    EXPECT_EQ(ReadSection(path, "b"), (std::vector<std::string>{"T='{'", "P=\"a;b\"", "Q=2"}));
    // The rest of the other file's block belongs to it.
    WriteText(path, "SEL(URL=<b>)\n{\n SEL(URL=<a>)\n {\n [{" SEC "}]\n K=1\n }\n}\n");
    EXPECT_EQ(ReadSection(path, "b"), std::vector<std::string>{"K=1"});
}

TEST(ScriptFaults, UnpairedBracesAreRefusedByBoth) {
    const char* files[] = {
        // the rewriter took the braces of a "[" line, the reader did not
        "SEL(URL=<b>)\n{\n [{x{\n}\n}\n}\n",
        "SEL(URL=<b>)\n{\n [{" SEC "}]\nK=1\n",
        "[{" SEC "}]\nK=1\n}\n{\n",
    };
    for (const char* text : files) {
        testing_util::ProgramLogCapture capture;
        TempFolder folder;
        const std::string path = folder.File("u.fs");
        WriteText(path, text);
        SectionFile reader;
        reader.SetSectionName("b", 0);
        EXPECT_FALSE(reader.Open(path.c_str(), nullptr, &kColor, 0, nullptr)) << text;
        EXPECT_EQ(reader.State(), -1) << text;
        EXPECT_TRUE(reader.seen.empty()) << text;
        SectionFile writer;
        EXPECT_FALSE(SaveSection(path, "b", &writer)) << text;
        EXPECT_EQ(ReadText(path), text);
        EXPECT_EQ(folder.Files(), std::vector<std::string>{"u.fs"}) << text;
        const std::string log = capture.Text();
        const std::string line = "$bad script file: \"" + path + "\"\n";
        size_t first = log.find(line);
        EXPECT_NE(first, std::string::npos) << log;
        EXPECT_NE(log.find(line, first + 1), std::string::npos) << log;
    }
}

// Braces are counted in 64 bits and nested at most kMaxScriptDepth deep: a deeper file
// is a bad file for both, and its failed save leaves no temporary file.
TEST(ScriptFaults, DeepNestingIsABadFile) {
    TempFolder folder;
    const std::string path = folder.File("deep.fs");
    const std::string open(static_cast<size_t>(kMaxScriptDepth / 2), '{');
    const std::string close(static_cast<size_t>(kMaxScriptDepth / 2), '}');
    // Exactly as deep as allowed: read and saved.
    WriteText(path, open + "\n" + open + "\n" + close + "\n" + close + "\n");
    bool ok = false;
    EXPECT_TRUE(ReadSection(path, nullptr, &ok).empty() && ok);
    SectionFile file;
    EXPECT_TRUE(SaveSection(path, nullptr, &file));
    EXPECT_EQ(ReadSection(path, nullptr), std::vector<std::string>{"New=5"});
    // One more.
    const std::string deeper = open + "\n" + open + "{\n" + close + "}\n" + close + "\n";
    WriteText(path, deeper);
    SectionFile reader;
    EXPECT_FALSE(reader.Open(path.c_str(), nullptr, &kColor, 0, nullptr));
    EXPECT_EQ(reader.State(), -1);
    SectionFile writer;
    EXPECT_FALSE(SaveSection(path, nullptr, &writer));
    EXPECT_EQ(writer.State(), -1);
    EXPECT_TRUE(ReadText(path) == deeper);
    EXPECT_EQ(folder.Files(), std::vector<std::string>{"deep.fs"});

    // The counter itself: far beyond 32 bits of braces opened and closed.
    static_assert(std::is_same_v<decltype(ScriptTracker(nullptr, std::string()).Depth()), int64_t>);
}

// A line of many "[{" statements, each of which once searched the rest of the line for
// its "}", is searched once; it reads as before.
TEST(ScriptFaults, ManyOpenHeadersOnALine) {
    TempFolder folder;
    const std::string path = folder.File("h.fs");
    std::string line;
    for (int i = 0; i < kMaxScriptStatements - 1; ++i) line += "[{;";
    line += std::string(kMaxScriptLineLength - line.size() - 2, ' ') + "}]";
    WriteText(path, line + "\n[{" SEC "}]\nK=1\n");
    EXPECT_EQ(ReadSection(path, nullptr), std::vector<std::string>{"K=1"});
    SectionFile file;
    EXPECT_TRUE(SaveSection(path, nullptr, &file));
    EXPECT_TRUE(ReadText(path) == line + "\n\n[{" SEC "}]\nNew=5\n");
    // One statement more than a line may hold makes the file bad.
    WriteText(path, line + ";[{\n");
    bool ok = true;
    EXPECT_TRUE(ReadSection(path, nullptr, &ok).empty());
    EXPECT_FALSE(ok);
}

// Values and URLs are written so that any byte but NUL reads back: in double quotes as
// files always held them, else escaped; values of files written before read as before.
TEST(QuotedText, WritesAndReadsBackAnyByte) {
    const struct {
        const char *text, *written;
    } written[] = {
        {"plain ;{}// '<>", "\"plain ;{}// '<>\""},
        {"C:\\data\\%20", "\"C:\\data\\%20\""},  // escapes mean nothing in the plain form
        {"", "\"\""},
        {"a\";{", "%\"a%22;{\""},
        {"50%\r\n", "%\"50%25%0D%0A\""},
        {"\x01\t\x1f\x7f\xff", "%\"%01%09%1F\x7f\xff\""},
    };
    for (const auto& c : written) {
        EXPECT_EQ(ScriptQuotedText(c.text), c.written) << c.text;
        std::string back = "?";
        const char* end = nullptr;
        EXPECT_EQ(ReadScriptQuotedText(c.written, &back, &end), 1) << c.written;
        EXPECT_EQ(back, c.text);
        EXPECT_EQ(end, c.written + std::strlen(c.written));
    }
    const struct {
        const char* text;
        int answer;
        const char* read;
    } read[] = {
        {"  'a\"b'", 1, "a\"b"}, {"<x y>", 1, "x y"}, {"%\"%2a%2A\"", 1, "**"}, {"plain", 0, ""},
        {"\"open", -1, ""},      {"%\"%2\"", -1, ""}, {"%\"%zz\"", -1, ""},    {"%\"%00\"", -1, ""},
        {"%\"%", -1, ""},        {"%<a>", 0, ""},
    };
    for (const auto& c : read) {
        std::string back;
        EXPECT_EQ(ReadScriptQuotedText(c.text, &back), c.answer) << c.text;
        if (c.answer == 1) {
            EXPECT_EQ(back, c.read) << c.text;
        }
    }
}

// A URL that neither double quotes nor angle brackets can hold is written escaped and
// found again; the forms files already hold are written as before.
TEST(QuotedText, AnyUrlKeepsItsBlock) {
    const struct {
        const char *url, *header;
    } cases[] = {
        {"a.fits", "SEL(URL=<a.fits>)"},
        {"/d/x\"y.fits", "SEL(URL=</d/x\"y.fits>)"},
        {"x<1\".fits", "SEL(URL=%\"x<1%22.fits\")"},
        {"tab\there", "SEL(URL=%\"tab%09here\")"},
        {"cr\r%", "SEL(URL=%\"cr%0D%25\")"},
    };
    TempFolder folder;
    const std::string path = folder.File("u.fs");
    std::string expected;
    for (const auto& c : cases) {
        SectionFile file;
        file.body = {std::string("Url=") + ScriptQuotedText(c.url)};
        ASSERT_TRUE(SaveSection(path, c.url, &file)) << c.url;
        expected += (expected.empty() ? "" : "\n") + std::string(c.header) + "\n{\n [{" SEC "}]\n " +
                    file.body[0] + "\n}\n";
        EXPECT_EQ(ReadText(path), expected) << c.url;
    }
    for (const auto& c : cases) {
        EXPECT_EQ(ReadSection(path, c.url), std::vector<std::string>{std::string("Url=") + ScriptQuotedText(c.url)})
            << c.url;
        ExpectStableSavesOf(path, c.url, expected);
    }
}

// A value longer than a line the reader takes is refused, with a line in the log, and
// the file stays as it was; the longest that fits reads back.
TEST(QuotedText, TooLongForALineIsRefused) {
    TempFolder folder;
    const std::string path = folder.File("long.fs");
    const std::string before = "SEL(URL=<b>)\n{\n [{" SEC "}]\n K=2\n}\n";
    for (bool exists : {false, true}) {
        if (exists) WriteText(path, before);
        SectionFile file;
        file.body = {"V=" + std::string(kMaxScriptLineLength - 2, 'v')};  // with " V=": one too many
        EXPECT_FALSE(SaveSection(path, "a", &file));
        EXPECT_EQ(file.State(), kErrLimit);
        EXPECT_EQ(ReadText(path), exists ? before : "<missing>");
    }
    SectionFile fits;
    fits.body = {"V=" + std::string(kMaxScriptLineLength - 3, 'v')};
    ASSERT_TRUE(SaveSection(path, "a", &fits));
    EXPECT_EQ(ReadSection(path, "a"), fits.body);
}

// Blank lines between a section and the block after it stay: saving again keeps the size.
TEST(ScriptRewriter, KeepsTheBlankLineBeforeABlock) {
    TempFolder folder;
    const std::string path = folder.File("b.cfg");
    const std::string text = "[{" SEC "}]\nNew=5\n\nSEL(URL=<b>)\n{\n [{" SEC "}]\n K=2\n}\n";
    WriteText(path, text);
    ExpectStableSaves(path, nullptr, text, "top-level section before a block");
}

TEST(SourceName, SplitsUrlAndPath) {
    const struct {
        const char* text;
        bool ok, hasUrl;
        const char *url, *path;
    } cases[] = {
        {"/home/u/orvaext.cfg", true, false, "", "/home/u/orvaext.cfg"},
        {"<NAME>/data/a.fits", true, true, "a.fits", "/data/a.fs"},
        {"<HDR><name>|S2|/data/b.fit", true, true, "|S2|b.fit", "/data/b.fs"},
        {"<NAME>shown only", true, true, "shown only", ""},
        // A data file's name may hold "<" and ">": each keeps its own service file and block.
        {"<NAME>/data/x<1.fits", true, true, "x<1.fits", "/data/x<1.fs"},
        {"<NAME>/data/x<2>.fits", true, true, "x<2>.fits", "/data/x<2>.fs"},
        {"<NAME>|S2|/d/a\t\"<b>.fit", true, true, "|S2|a\t\"<b>.fit", "/d/a\t\"<b>.fs"},
        {"<Name>/data/a.fits", false, false, "", ""}, {"<NAME>", false, false, "", ""},
        {"", false, false, "", ""},
    };
    for (const auto& c : cases) {
        std::string url, path;
        bool hasUrl = true;
        bool ok = SplitSourceName(c.text, &url, &hasUrl, &path);
        EXPECT_EQ(std::tuple(ok, hasUrl, url, path),
                  std::tuple(c.ok, c.hasUrl, std::string(c.url), std::string(c.path))) << c.text;
    }
}

}  // namespace
}  // namespace orva
