#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

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
         "SEL(URL=<a.fits>)\n{\n [{" SEC "}]\nK=1\n [{" OTHER "}]\nX=2\n}\n\n"
         "SEL(URL=<b.fits>)\n{\n [{" SEC "}]\n New=5\n [{" OTHER "}]\nY=3\n}\n"},
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
