// The script reader and rewriter on any file, for an object with or without a URL.
// Input: an options byte, the URL (up to a NUL byte, when the options ask for one),
// a value text (up to a NUL byte), then the file.
//
// What must hold:
//  - the reader and the rewriter refuse the same files, and a refused file stays as it was;
//  - after a save, the object's section reads back with exactly the values written, the
//    quoted one (any byte but NUL) as its text;
//  - a second save of the same values leaves the file byte for byte as it was;
//  - every other object (the same section without or with another URL, another
//    section of the same URL) reads what it read before the save;
//  - nothing but the file is left in the folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/keyword_file.h"
#include "fuzz/text_fuzz_support.h"

namespace {

using namespace orva;

constexpr ComponentId kId{{FourCC("PROP"), 0, FourCC("CONV"), FourCC("COLR")}, "colour"};

// Records every statement of the section and writes the given lines.
class Section : public KeywordFile {
public:
    std::vector<std::string> body;
    std::vector<std::string> seen;
    bool HasData() override {
        const ParseState& s = Parse();
        seen.push_back(std::string(s.key, s.keyLength) + "|" + std::string(s.key + s.keyLength));
        return true;
    }
    bool WriteBody(char lead) override {
        for (const std::string& line : body) {
            if (lead != '\0' && !Print("%c", lead)) return false;
            if (!Print("%s\n", line.c_str())) return false;
        }
        return true;
    }
};

struct Object {
    bool hasUrl;
    std::string url;
    uint32_t number;
};

struct ReadResult {
    bool ok;
    std::vector<std::string> seen;
    bool operator==(const ReadResult& o) const { return ok == o.ok && seen == o.seen; }
};

ReadResult Read(const std::string& path, const Object& object) {
    Section file;
    if (object.hasUrl) file.SetSectionName(object.url.c_str(), 0);
    ReadResult r;
    r.ok = file.Open(path.c_str(), nullptr, &kId, object.number, nullptr);
    r.seen = file.seen;
    return r;
}

bool Save(const std::string& path, const Object& object, const std::vector<std::string>& body) {
    Section file;
    file.body = body;
    if (object.hasUrl) file.SetSectionName(object.url.c_str(), 0);
    return file.WriteFile(path.c_str(), nullptr, &kId, object.number, nullptr, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputParts in{data, size};
    const uint8_t options = in.Byte();
    Object ours{(options & 1) != 0, std::string(), (options >> 1) & 1u};
    if (ours.hasUrl) ours.url = in.Text(0, 64);
    // A quoted value of any byte but NUL.
    const std::string value = in.Text(0, 64);
    const std::string content = in.Rest();

    const std::string path = fuzz::PrivateFile("s.fs");
    if (!fuzz::WriteWhole(path, content.data(), content.size())) __builtin_trap();

    // The others: the same section without and with another URL, another section here.
    std::vector<Object> others;
    others.push_back({!ours.hasUrl, ours.hasUrl ? std::string() : std::string("b"), ours.number});
    if (ours.hasUrl) others.push_back({true, ours.url == "b" ? "c" : "b", ours.number});
    others.push_back({ours.hasUrl, ours.url, ours.number ^ 1u});
    std::vector<ReadResult> before;
    for (const Object& o : others) before.push_back(Read(path, o));

    const ReadResult first = Read(path, ours);
    const std::string quoted = ScriptQuotedText(value);
    const std::vector<std::string> body = {"Number=" + std::to_string(options), "Text=" + quoted, "Last = x y "};
    const bool saved = Save(path, ours, body);
    fuzz::CheckOnlyFiles({"s.fs"});
    if (!first.ok) {
        // Refused by both, and left whole.
        fuzz::Require(!saved, "a file the reader refuses is refused by the rewriter");
        fuzz::Require(fuzz::ReadWhole(path) == content, "a refused file stays as it was");
        return 0;
    }
    fuzz::Require(saved, "a file the reader takes is saved, whatever the URL");
    const ReadResult back = Read(path, ours);
    const std::vector<std::string> expected = {"Number|=" + std::to_string(options), "Text|=" + quoted,
                                               "Last| = x y "};
    fuzz::Require(back.ok && back.seen == expected, "the section reads back with the values written");
    std::string text;
    fuzz::Require(ReadScriptQuotedText(back.seen[1].c_str() + 6, &text) == 1 && text == value,
                  "the quoted value reads back byte for byte");
    for (size_t i = 0; i < others.size(); ++i)
        fuzz::Require(Read(path, others[i]) == before[i], "every other object reads what it read before");
    const std::string once = fuzz::ReadWhole(path);
    fuzz::Require(Save(path, ours, body), "a second save succeeds");
    if (std::getenv("ORVA_FUZZ_DUMP") != nullptr)
        std::fprintf(stderr, "--- before\n%s--- once\n%s--- twice\n%s---\n", content.c_str(), once.c_str(),
                     fuzz::ReadWhole(path).c_str());
    fuzz::Require(fuzz::ReadWhole(path) == once, "a second save leaves the file as it was");
    fuzz::CheckOnlyFiles({"s.fs"});
    return 0;
}
