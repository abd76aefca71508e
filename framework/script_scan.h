#pragma once
// The one scanner of script files that the section reader and the rewriter share, so
// that the rewriter keeps exactly what the reader sees and the reader finds exactly
// what the rewriter wrote: statements, quoted texts, comments, braces, and where a
// position of the file lies (in which block, in whose section).
//
// A line is scanned into pieces, left to right:
//  - a run of braces "{" "}" (and blanks) where a statement begins: the braces that
//    give the file its structure;
//  - SEL(URL="path") or SEL(URL=<path>) (also SELECT; any case; blanks around "(",
//    "=" and ")"; an "=" after the ")" belongs to it). Inside double quotes only the
//    closing quote ends the path, between "<" and ">" a "<" or ">" ends it, and a
//    control character ends both; nothing in the path quotes, comments or counts.
//    The path may also be written %"..." with escapes (ScriptQuotedText);
//  - a section header "[{NAME}]" ("[" and "{" may be separated by blanks and ";"; the
//    name runs to the first "}", which a "]" must follow, and holds no "//");
//  - any other "[" statement;
//  - KEY=value (a key is a letter or "_" followed by letters, digits and "_"): the
//    value runs to the end of the statement, braces included;
//  - any other statement that begins with a letter or "_" (KEY(...), words): it also
//    ends at a brace, which then counts.
// A statement ends at a ";" outside quoted text. Quoted text runs from a double quote
// mark to the next one, or from an apostrophe to the next one, and never past the
// line. "//" outside quoted text begins a comment; a carriage return, and a statement
// that begins with any other character, end what is read of a line as well.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orva {

// Statements read on one line (a brace run and the statement after it count once);
// a line with more makes the file a bad file.
constexpr int kMaxScriptStatements = 1024;

// Braces open at once; a file that nests deeper is a bad file.
constexpr int64_t kMaxScriptDepth = int64_t{1} << 20;

enum class ScriptPieceKind : uint8_t { kBraces, kSel, kHeader, kBracket, kKey, kOther };

struct ScriptPiece {
    ScriptPieceKind kind = ScriptPieceKind::kOther;
    uint32_t begin = 0, end = 0;     // its characters in the line
    uint32_t text = 0, length = 0;   // the header's name, the key, the SEL's path
    bool escaped = false;            // the SEL's path is written with escapes
};

// Quoted texts: how a value or a URL is written so that it reads back whatever bytes
// (but NUL) it holds. A text without a double quote mark or a control character is
// written in double quotes as it is, as files always held it; any other text as
// %"..." in which "%", the double quote mark and every character below 0x20 stand as
// "%" and two hexadecimal digits. Inside double quotes nothing is syntax, so ";", "{",
// "}" and "//" need nothing, and the escaped text holds no character that ends a line.
std::string ScriptQuotedText(std::string_view text);

// The quoted text that begins at `p` (blanks before it skipped): "...", '...', <...>
// or %"...", its text into *out and the place after its closing mark into *end (when
// given). 1 when read, 0 when `p` holds no quoted text, -1 for a quote that is not
// closed or an escape that is not "%" and two hexadecimal digits of a byte but NUL.
int ReadScriptQuotedText(const char* p, std::string* out, const char** end = nullptr);

// The SEL piece names `url` (its path, unescaped, equals it byte for byte).
bool ScriptSelNames(const char* line, const ScriptPiece& piece, const std::string& url);

struct ScriptLineScan {
    std::vector<ScriptPiece> pieces;
    uint32_t codeEnd = 0;  // where the comment or the ignored rest of the line begins
};

// Scans one line (without its line end; control characters other than TAB and CR
// make a file bad before it is scanned). False when the line holds more than
// kMaxScriptStatements statements.
bool ScanScriptLine(const std::string& line, ScriptLineScan* scan);

// A character below 0x20 other than TAB, CR and LF.
bool ScriptLineHasControl(const std::string& line);

// Follows the structure of a script for one object: its blocks and its sections.
//
// Braces pair across the whole file. A SEL statement outside every block names the
// block that the next "{" there opens; a "{" outside every block without one opens a
// block of nobody. A section runs from its header to the next "[" statement, to the
// next SEL statement outside the blocks, or to where a block outside all others
// begins or ends. The object's sections are those with its name: inside the blocks of
// its URL when it has one (at any depth), else outside every SEL block.
class ScriptTracker {
public:
    // `url` null: the object has no URL.
    ScriptTracker(const std::string* url, const std::string& section);

    enum class Brace { kNested, kOpened, kClosed, kStray };
    // Takes one brace.
    Brace Feed(char brace);
    // Takes a piece other than a brace run; `line` is the line it was scanned from.
    void Statement(const char* line, const ScriptPiece& piece);

    // Inside a section of the object, in a place that belongs to it.
    bool InOurSection() const { return ours_; }
    // In a place that belongs to the object: a block of its URL, or, without a URL,
    // outside every SEL block.
    bool InOurRegion() const;
    // In the first block of the object's URL; without a URL, as InOurRegion.
    bool InFirstRegion() const;
    // After Feed answered kClosed: the number of the block of the object's URL that
    // ended (1 for the first), 0 for any other block.
    int64_t ClosedOurBlock() const { return closedOurs_; }
    // The blocks of the object's URL opened so far.
    int64_t OurBlocks() const { return ourBlocks_; }
    int64_t Depth() const { return depth_; }
    // Every "{" has found its "}" and no "}" came without one.
    bool Balanced() const { return depth_ == 0 && !stray_; }
    // More than kMaxScriptDepth braces were open at once.
    bool TooDeep() const { return tooDeep_; }

private:
    const std::string* url_;
    const std::string& section_;
    int64_t depth_ = 0;        // open braces; a file cannot hold enough to overflow it
    bool pending_ = false;     // a SEL statement waits for its "{"
    bool pendingOurs_ = false;
    bool selBlock_ = false;    // the block outside all others was opened by a SEL
    bool selOurs_ = false;     // ... of the object's URL
    bool ours_ = false;
    bool stray_ = false;
    bool tooDeep_ = false;
    int64_t ourBlocks_ = 0;
    int64_t closedOurs_ = 0;
};

}  // namespace orva
