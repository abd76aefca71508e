#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "framework/keyword_file.h"
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
    // Without a URL the whole file is one block: the first copy of the section is read.
    EXPECT_EQ(ReadSection(path, nullptr), std::vector<std::string>{"Gain=1"});

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
    EXPECT_EQ(file.failedTemp,
              "SEL(URL=<a>)\n{\n [{" SEC "}]\n New=5\n"
              "\n//!!! mistake in this script (not pair brackets)\n");

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
