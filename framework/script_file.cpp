// The script-file part of KeywordFile: the reader that finds one object's
// section, the rewriter that replaces it and keeps everything else, and the
// block writer. Both go through the one scanner of script_scan.h, and both refuse
// a file whose lines cannot be read whole or whose braces do not pair, so that a
// section the rewriter writes is the section the reader finds.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "framework/keyword_file.h"
#include "framework/script_scan.h"

namespace orva {

namespace {

// The reader takes keys in any case.
std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

enum class LineRead { kLine, kEnd, kTooLong };

// One line without its end: LF, CR LF and a CR alone each end a line (files made on
// any system read alike); *end (when given) gets the end the line had, empty for a
// last line without one. kEnd at the end of the file, kTooLong (reading stopped) past
// kMaxScriptLineLength characters.
LineRead ReadLine(FILE* stream, std::string* line, std::string* end = nullptr) {
    line->clear();
    if (end != nullptr) end->clear();
    int c;
    bool any = false;
    while ((c = getc_unlocked(stream)) != EOF) {
        any = true;
        if (c == '\n') {
            if (end != nullptr) *end = "\n";
            break;
        }
        if (c == '\r') {
            const int next = getc_unlocked(stream);
            const bool crlf = next == '\n';
            if (!crlf && next != EOF) ungetc(next, stream);
            if (end != nullptr) *end = crlf ? "\r\n" : "\r";
            break;
        }
        if (line->size() >= kMaxScriptLineLength) return LineRead::kTooLong;
        line->push_back(static_cast<char>(c));
    }
    if (!any) return LineRead::kEnd;
    return LineRead::kLine;
}

bool IsBlankLine(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

enum class ScriptCheck { kGood, kBadLine, kUnbalanced };

// A later block of the object's URL that holds nothing but the object's sections
// goes whole: its first and last line.
using LineRange = std::pair<uint32_t, uint32_t>;

// The first pass over a script, from the stream's position: every line must be read
// whole, hold no control character and be scannable, the file must end within
// kMaxScriptLines lines and nest at most kMaxScriptDepth braces, and its braces must
// pair. With `dropped`, also the later blocks of the object's URL that can go whole:
// from the line of their SEL (its first piece) to the line of their "}" (alone as its
// line's last piece), holding only the brace that opens them and the object's sections
// (with blank and comment lines).
// What the first pass learns of a file for the rewriter: the end of its first line
// (empty when no line has one), and the statements of the object's first section.
struct ScriptFacts {
    std::string lineEnd;
    std::vector<std::pair<std::string, std::string>> values;
    int sections = 0;  // headers of the object's section, where they are the object's
};

// The value of a KEY=value piece: from after "=" and the blanks after it to the end of
// its statement, without the blanks there.
std::string ValueOf(const std::string& line, const ScriptPiece& piece) {
    size_t p = line.find('=', piece.text + piece.length);
    if (p == std::string::npos || p >= piece.end) return {};
    ++p;
    size_t end = piece.end;
    while (p < end && (line[p] == ' ' || line[p] == '\t')) ++p;
    while (end > p && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
    return line.substr(p, end - p);
}

// `why` (when given) learns what made the file bad; `ourBlockClosed` whether the first
// block of the object's URL opened and found its "}".
ScriptCheck CheckScript(FILE* stream, const std::string* url, const std::string& section,
                        std::vector<LineRange>* dropped, ScriptFacts* facts = nullptr,
                        ScriptRefusal* why = nullptr, bool* ourBlockClosed = nullptr) {
    ScriptRefusal ignored;
    if (why == nullptr) why = &ignored;
    *why = ScriptRefusal{};
    if (ourBlockClosed != nullptr) *ourBlockClosed = false;
    ScriptTracker tracker(url, section);
    std::string line;
    ScriptLineScan scan;
    uint32_t selLine = 0;
    bool selFirst = false;     // the pending SEL of the object's URL is its line's first piece
    bool selClean = false;     // ... and nothing but the brace that opens its block followed it
    bool selPending = false;   // a SEL outside the blocks waits for its "{"
    bool candidate = false;    // inside a later block of the object's URL that may go whole
    bool clean = false;
    uint32_t first = 0;
    std::string end;
    bool collected = false;   // the object's first section has been read
    bool collecting = false;
    for (uint32_t number = 1;; ++number) {
        const LineRead read = ReadLine(stream, &line, &end);
        if (read == LineRead::kEnd) break;
        ScriptRefusal::Kind bad = ScriptRefusal::kNone;
        if (number > kMaxScriptLines)
            bad = ScriptRefusal::kTooManyLines;
        else if (read == LineRead::kTooLong)
            bad = ScriptRefusal::kLongLine;
        else if (ScriptLineHasControl(line))
            bad = ScriptRefusal::kControl;
        else if (!ScanScriptLine(line, &scan))
            bad = ScriptRefusal::kTooManyStatements;
        if (bad != ScriptRefusal::kNone) {
            *why = ScriptRefusal{bad, bad == ScriptRefusal::kTooManyLines ? 0 : number};
            return ScriptCheck::kBadLine;
        }
        if (facts != nullptr && facts->lineEnd.empty()) facts->lineEnd = end;
        const size_t count = scan.pieces.size();
        for (size_t k = 0; k < count; ++k) {
            const ScriptPiece& piece = scan.pieces[k];
            if (facts != nullptr && !collected) {
                if (collecting && !tracker.InOurSection()) collected = true;
                if (!collected && tracker.InOurSection() && piece.kind == ScriptPieceKind::kKey) {
                    collecting = true;
                    facts->values.emplace_back(line.substr(piece.text, piece.length), ValueOf(line, piece));
                }
            }
            if (piece.kind != ScriptPieceKind::kBraces) {
                const bool outside = tracker.Depth() == 0;
                tracker.Statement(line.data(), piece);
                if (facts != nullptr && piece.kind == ScriptPieceKind::kHeader && tracker.InOurSection()) {
                    ++facts->sections;
                    if (collecting) collected = true;
                }
                if (dropped == nullptr) continue;
                if (candidate) {
                    const bool inSection = piece.kind == ScriptPieceKind::kKey || piece.kind == ScriptPieceKind::kOther;
                    if (!(tracker.InOurSection() && (inSection || piece.kind == ScriptPieceKind::kHeader)))
                        clean = false;
                } else if (outside) {
                    if (piece.kind == ScriptPieceKind::kSel && url != nullptr &&
                        ScriptSelNames(line.data(), piece, *url)) {
                        selLine = number;
                        selFirst = k == 0;
                        // Without its lines, a SEL that came before it would take its place.
                        selClean = !selPending;
                    } else {
                        selClean = false;
                    }
                    if (piece.kind == ScriptPieceKind::kSel) selPending = true;
                }
                continue;
            }
            const uint32_t braces = static_cast<uint32_t>(piece.end - piece.begin);
            for (uint32_t i = piece.begin; i < piece.end; ++i) {
                const char c = line[i];
                if (c != '{' && c != '}') continue;
                const ScriptTracker::Brace event = tracker.Feed(c);
                if (event == ScriptTracker::Brace::kClosed && tracker.ClosedOurBlock() == 1 &&
                    ourBlockClosed != nullptr)
                    *ourBlockClosed = true;
                if (dropped == nullptr) continue;
                if (event == ScriptTracker::Brace::kOpened) {
                    candidate = tracker.InOurRegion() && tracker.OurBlocks() >= 2;
                    clean = candidate && selFirst && selClean && braces == 1;
                    first = selLine;
                    selClean = false;
                    selPending = false;
                } else if (event == ScriptTracker::Brace::kClosed) {
                    if (candidate && clean && braces == 1 && k + 1 == count) dropped->push_back({first, number});
                    candidate = false;
                } else if (candidate) {
                    clean = false;  // a block inside it
                }
            }
            if (!candidate) selClean = false;
        }
        if (tracker.TooDeep()) {
            *why = ScriptRefusal{ScriptRefusal::kTooDeep, number};
            return ScriptCheck::kBadLine;
        }
    }
    if (tracker.Balanced()) return ScriptCheck::kGood;
    *why = ScriptRefusal{ScriptRefusal::kUnbalanced, 0};
    return ScriptCheck::kUnbalanced;
}

// The stream's position, to come back to after the first pass; -1 when it has none.
long PositionOf(FILE* stream) { return stream != nullptr ? std::ftell(stream) : -1; }

}  // namespace

std::string ScriptRefusalText(const ScriptRefusal& r) {
    const std::string at = " on line " + std::to_string(r.line);
    switch (r.kind) {
        case ScriptRefusal::kNone: return {};
        case ScriptRefusal::kControl: return "a control character" + at;
        case ScriptRefusal::kLongLine:
            return "line " + std::to_string(r.line) + " is longer than " + std::to_string(kMaxScriptLineLength) +
                   " characters";
        case ScriptRefusal::kTooManyLines: return "more than " + std::to_string(kMaxScriptLines) + " lines";
        case ScriptRefusal::kTooManyStatements:
            return "more than " + std::to_string(kMaxStatementsPerLine) + " statements" + at;
        case ScriptRefusal::kTooDeep: return "braces nested too deep" + at;
        case ScriptRefusal::kUnbalanced: return "its braces do not pair";
        case ScriptRefusal::kUnreadable: return "it cannot be read";
    }
    return {};
}

bool KeywordFile::ParseLines() {
    FILE* stream = Stream();
    if (stream == nullptr) return false;
    const std::string* url = hasUrl_ ? &url_ : nullptr;
    const char* path = Path() ? Path() : "";
    // Nothing is handed over from a file that cannot be read whole.
    const long start = PositionOf(stream);
    bool ourBlockClosed = false;
    refusal_ = ScriptRefusal{ScriptRefusal::kUnreadable, 0};
    const ScriptCheck check = start < 0 ? ScriptCheck::kBadLine
                                        : CheckScript(stream, url, section_, nullptr, nullptr, &refusal_, &ourBlockClosed);
    // Braces that fail to pair only outside the object's own block leave that block whole.
    const bool readable =
        check == ScriptCheck::kGood || (check == ScriptCheck::kUnbalanced && readsClosedBlockOfUnbalanced_ && ourBlockClosed);
    const bool rewound = start >= 0 && std::fseek(stream, start, SEEK_SET) == 0;
    if (readable && !rewound) refusal_ = ScriptRefusal{ScriptRefusal::kUnreadable, 0};
    if (!readable || !rewound) {
        if (check == ScriptCheck::kUnbalanced) {
            ParseStateLog(&state_, "$bad script file: \"%s\"", path);
        } else {
            ParseStateLog(&state_, "$bad file: '%s'", path);
        }
        SetState(-1);
        return false;
    }
    if (check == ScriptCheck::kUnbalanced)
        ParseStateLog(&state_, "$%s: braces do not pair outside the block of '%s': its block is read", path,
                      url_.c_str());
    refusal_ = ScriptRefusal{};
    ScriptTracker tracker(url, section_);
    bool accepted = false;  // the object's section gave a value: reading ends with it
    std::string line;
    ScriptLineScan scan;
    for (uint32_t number = 1; number <= kMaxScriptLines; ++number) {
        if (ReadLine(stream, &line) != LineRead::kLine) break;
        ScanScriptLine(line, &scan);
        for (const ScriptPiece& piece : scan.pieces) {
            switch (piece.kind) {
                case ScriptPieceKind::kBraces:
                    for (uint32_t i = piece.begin; i < piece.end; ++i) {
                        if (line[i] == '{' || line[i] == '}') tracker.Feed(line[i]);
                    }
                    break;
                case ScriptPieceKind::kKey:
                    if (tracker.InOurSection()) {
                        valuesSeen_[Lower(line.substr(piece.text, piece.length))] = ValueOf(line, piece);
                        line[piece.end] = '\0';  // the value ends with its statement
                        state_.key = line.data() + piece.text;
                        state_.keyLength = piece.length;
                        state_.value = nullptr;
                        state_.line = number;
                        if (HasData()) {
                            accepted = true;
                            keysTaken_.push_back(Lower(std::string(state_.key, state_.keyLength)));
                        }
                    }
                    break;
                case ScriptPieceKind::kHeader:
                case ScriptPieceKind::kBracket:
                    // A second copy of the section later on is not read.
                    if (accepted) return true;
                    tracker.Statement(line.data(), piece);
                    break;
                default:
                    tracker.Statement(line.data(), piece);
                    break;
            }
            if (accepted && !tracker.InOurSection()) return true;
        }
    }
    return true;
}

bool KeywordFile::WriteBlock(bool withBlockHeader, bool newlineFirst, char first) {
    bool ok = true;
    if (newlineFirst) ok = Print("\n") && ok;
    bool sel = withBlockHeader && hasUrl_;
    if (sel) {
        bool control = false;
        for (char c : url_) control = control || static_cast<unsigned char>(c) < 0x20;
        const bool quotable = !control && url_.find('"') == std::string::npos;
        const bool bracketable = !control && url_.find_first_of("<>") == std::string::npos;
        // An absolute path goes in double quotes, any other URL in angle brackets; a URL
        // that one form cannot hold takes the other, one that neither can the escaped form.
        std::string header = "SEL(URL=";
        if (quotable && (url_[0] == '/' || !bracketable)) {
            header += ScriptQuotedText(url_);
        } else if (bracketable) {
            header += '<' + url_ + '>';
        } else {
            header += ScriptQuotedText(url_);
        }
        header += ")\n{\n ";
        FILE* out = Output();
        ok = out != nullptr && std::fwrite(header.data(), 1, header.size(), out) == header.size() && ok;
    } else if (first != '\0') {
        ok = Print("%c", first) && ok;
    }
    ok = Print("[{%s}]\n", section_.c_str()) && ok;
    if (!ok) return false;
    if (!WriteBody(first)) return false;
    if (sel) ok = Print("}\n");
    return ok;
}

namespace {

// The key of a KEY=value line (blanks before it and around "=" allowed), or empty.
std::string KeyOfLine(std::string_view line) {
    size_t p = line.find_first_not_of(" \t");
    if (p == std::string_view::npos) return {};
    const size_t start = p;
    auto isKeyChar = [](char c, bool first) {
        return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (!first && c >= '0' && c <= '9');
    };
    if (!isKeyChar(line[p], true)) return {};
    while (p < line.size() && isKeyChar(line[p], false)) ++p;
    const size_t end = p;
    while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
    if (p >= line.size() || line[p] != '=') return {};
    return std::string(line.substr(start, end - start));
}

std::string_view Stripped(std::string_view line) {
    const size_t p = line.find_first_not_of(" \t");
    return p == std::string_view::npos ? std::string_view() : line.substr(p);
}

std::vector<std::string_view> LinesOf(const std::string& text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(std::string_view(text).substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Key (in lower case: the reader takes keys in any case) to line; a key written twice counts as changed (it has no one line).
std::map<std::string, std::string_view> KeyLines(const std::vector<std::string_view>& lines,
                                                 std::vector<std::string>* twice) {
    std::map<std::string, std::string_view> keys;
    for (std::string_view line : lines) {
        std::string key = Lower(KeyOfLine(line));
        if (key.empty()) continue;
        if (!keys.emplace(key, Stripped(line)).second) twice->push_back(key);
    }
    return keys;
}

}  // namespace

std::string MergeSettingsBlock(const std::string& ours, const SettingsBaseline& base,
                               const std::vector<std::pair<std::string, std::string>>& file) {
    const std::string& baseline = base.text;
    // The reader hands every statement to its key: the last one of a key stands.
    std::map<std::string, std::string> current;
    std::map<std::string, int> times;
    for (const auto& [key, value] : file) {
        current[Lower(key)] = value;
        ++times[Lower(key)];
    }
    std::vector<std::string> twice;
    const std::vector<std::string_view> ourLines = LinesOf(ours);
    const std::vector<std::string_view> baseLines = LinesOf(baseline);
    const std::map<std::string, std::string_view> ourKeys = KeyLines(ourLines, &twice);
    const std::map<std::string, std::string_view> baseKeys = KeyLines(baseLines, &twice);
    auto isTwice = [&](const std::string& key) { return std::find(twice.begin(), twice.end(), key) != twice.end(); };
    auto wasRead = [&](const std::string& key) { return std::find(base.read.begin(), base.read.end(), key) != base.read.end(); };
    // The file's value stands in for ours only where it reads as this object's value of
    // that key: a key the file holds more than once (the reader takes the last it
    // accepts), or another spelling of one of ours that the reader took, would make the
    // text read otherwise.
    bool otherSpelling = false;
    for (const auto& [key, count] : times)
        if (ourKeys.count(key) == 0 && baseKeys.count(key) == 0 && wasRead(key)) otherSpelling = true;

    std::string out;
    size_t lastKeyEnd = std::string::npos;  // in `out`, after the last key line
    std::string lastLead;
    for (std::string_view line : ourLines) {
        const std::string key = KeyOfLine(line);
        if (!key.empty()) {
            const std::string_view lead = line.substr(0, line.size() - Stripped(line).size());
            const std::string lower = Lower(key);
            auto was = baseKeys.find(lower);
            auto now = current.find(lower);
            const bool unchanged = !isTwice(lower) && was != baseKeys.end() && was->second == Stripped(line);
            auto seen = base.seen.find(lower);
            const bool changedInFile = seen == base.seen.end() || now == current.end() || seen->second != now->second;
            if (unchanged && now != current.end() && times[lower] == 1 && !otherSpelling && changedInFile) {
                out.append(lead).append(key).append("=").append(now->second);
            } else {
                out.append(line);
            }
            out += '\n';
            lastKeyEnd = out.size();
            lastLead = std::string(lead);
            continue;
        }
        out.append(line);
        out += '\n';
    }
    // Keys of the file that this object never had: another program's or the user's.
    std::string extra;
    for (const auto& [key, value] : file) {
        const std::string lower = Lower(key);
        if (ourKeys.count(lower) != 0 || baseKeys.count(lower) != 0) continue;
        if (wasRead(lower)) continue;
        const std::string line = lastLead + key + "=" + current[lower];
        if (extra.find(line + "\n") != std::string::npos) continue;
        extra += line + "\n";
    }
    if (!extra.empty()) {
        if (lastKeyEnd == std::string::npos) {
            // After the header line.
            const size_t header = out.find("}]\n");
            lastKeyEnd = header == std::string::npos ? out.size() : header + 3;
        }
        out.insert(lastKeyEnd, extra);
    }
    if (!ours.empty() && ours.back() != '\n' && !out.empty()) out.pop_back();
    return out;
}

bool KeywordFile::WriteCheckedBlock(FILE* out, bool withBlockHeader, bool newlineFirst, char first,
                                    uint64_t* lines) {
    // Through memory first: a block with a line the reader would refuse is not written.
    std::string text;
    if (!RenderBlock(withBlockHeader, newlineFirst, first, &text)) return false;
    SettingsBaseline baseline;
    if (FindSettingsBaseline(BaselineKey(), &baseline)) {
        pendingBaseline_ = text;
        pendingRead_ = baseline.read;
        havePendingBaseline_ = true;
        if (haveFileValues_) text = MergeSettingsBlock(text, baseline, fileValues_);
        // The values as they now stand in the file.
        pendingSeen_.clear();
        for (std::string_view line : LinesOf(text)) {
            const std::string key = KeyOfLine(line);
            if (key.empty()) continue;
            const std::string_view rest = line.substr(line.find('=') + 1);
            const size_t from = rest.find_first_not_of(" \t");
            std::string value(from == std::string_view::npos ? std::string_view() : rest.substr(from));
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
            pendingSeen_[Lower(key)] = value;
        }
    }
    bool done = true;
    size_t start = 0;
    const size_t size = text.size();
    for (size_t i = 0; done && i < size; ++i) {
        if (text[i] != '\n') continue;
        if (i - start > kMaxScriptLineLength) {
            LogPrintf("'%s' - a value of more than %zu characters cannot be stored", Path() ? Path() : "",
                      kMaxScriptLineLength);
            SetState(kErrLimit);
            done = false;
        }
        start = i + 1;
        if (lines != nullptr) ++*lines;
    }
    if (!done) return false;
    // The file's own line ends.
    if (lineEnd_ != "\n") {
        std::string converted;
        converted.reserve(size + size / 16);
        for (char c : text) {
            if (c == '\n') {
                converted += lineEnd_;
            } else {
                converted += c;
            }
        }
        text.swap(converted);
    }
    // After a line that ends with a CR alone, an LF would join it into one CR LF end:
    // the line end that follows is a CR as well.
    if (afterLoneCr_ && !text.empty() && text[0] == '\n') text[0] = '\r';
    if (!text.empty()) afterLoneCr_ = text.back() == '\r';
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

namespace {

// A line, or the part of one that is written, ends by opening a block: its last piece
// is a SEL statement or braces of which the last is "{".
bool LineOpens(const std::string& text, const ScriptLineScan& scan) {
    if (scan.pieces.empty()) return false;
    const ScriptPiece& last = scan.pieces.back();
    return last.kind == ScriptPieceKind::kSel || (last.kind == ScriptPieceKind::kBraces && text[last.end - 1] == '{');
}

// The characters of line[from, to) that stay when the dropped pieces go: a dropped
// piece takes the separators after it along, up to the next piece or the comment.
// A piece always ends outside quoted text, so what stays reads as it did.
std::string Without(const std::string& line, const ScriptLineScan& scan, const std::vector<uint8_t>& drop,
                    uint32_t from, uint32_t to) {
    std::string out;
    uint32_t p = from;
    const size_t count = scan.pieces.size();
    for (size_t k = 0; k < count && p < to; ++k) {
        if (!drop[k]) continue;
        const uint32_t begin = scan.pieces[k].begin;
        const uint32_t end = k + 1 < count ? scan.pieces[k + 1].begin : scan.codeEnd;
        if (end <= p) continue;
        if (begin > p) out.append(line, p, std::min(begin, to) - p);
        p = std::max(p, end);
    }
    if (p < to) out.append(line, p, to - p);
    return out;
}

}  // namespace

bool KeywordFile::RewriteScript() {
    FILE* in = oldStream_;
    if (in == nullptr || Output() == nullptr || section_.empty()) return false;
    const char* path = Path() ? Path() : "";
    const std::string* url = hasUrl_ ? &url_ : nullptr;

    // First pass: a file we cannot copy whole, or whose braces do not pair, is refused.
    std::vector<LineRange> dropped;
    ScriptFacts facts;
    const long start = PositionOf(in);
    refusal_ = ScriptRefusal{ScriptRefusal::kUnreadable, 0};
    const ScriptCheck check =
        start < 0 ? ScriptCheck::kBadLine : CheckScript(in, url, section_, &dropped, &facts, &refusal_);
    if (check == ScriptCheck::kGood && std::fseek(in, start, SEEK_SET) != 0)
        refusal_ = ScriptRefusal{ScriptRefusal::kUnreadable, 0};
    if (check != ScriptCheck::kGood || refusal_.kind != ScriptRefusal::kNone) {
        ParseStateLog(&state_, "$bad script file: \"%s\"", path);
        if (check == ScriptCheck::kUnbalanced) Print("\n//!!! mistake in this script (not pair brackets)\n");
        SetState(-1);
        return false;
    }
    // New lines take the file's line end; copied lines keep their own.
    lineEnd_ = facts.lineEnd.empty() ? "\n" : facts.lineEnd;
    afterLoneCr_ = false;
    // A file with more than one section of this object: which one the reader took
    // depends on their values, so none of the file's values stands in for the object's.
    haveFileValues_ = facts.sections <= 1;
    fileValues_ = std::move(facts.values);

    FILE* out = Output();
    bool ok = true;
    uint64_t lines = 0;       // written: the result must stay a file the reader takes
    bool anyWritten = false;
    bool lastBlank = true;   // no blank lines before the first line
    bool lastOpens = false;  // the last line written opens a block
    bool written = false;    // the new section is out
    bool droppedBlank = false;  // blank lines went with an old section of ours
    std::string end;  // the end of the line being copied
    auto put = [&](const std::string& text, const ScriptLineScan* scan) {
        std::string lineEnd = end.empty() ? lineEnd_ : end;
        // An empty line after a line ended by a CR alone: an LF would join the two ends.
        if (text.empty() && afterLoneCr_ && lineEnd == "\n") lineEnd = "\r";
        afterLoneCr_ = lineEnd == "\r";
        ok = ok && std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
             std::fwrite(lineEnd.data(), 1, lineEnd.size(), out) == lineEnd.size();
        ++lines;
        anyWritten = true;
        lastBlank = IsBlankLine(text);
        lastOpens = scan != nullptr && LineOpens(text, *scan);
    };
    ScriptLineScan writtenScan;
    auto putScanned = [&](const std::string& text) {
        ScanScriptLine(text, &writtenScan);
        put(text, &writtenScan);
        return writtenScan.pieces.empty() ? ScriptPieceKind::kOther : writtenScan.pieces[0].kind;
    };
    // The new section; set apart from the line before it, except from the line that
    // opens its block, so that saving twice gives the same file.
    auto putBlock = [&](bool withBlockHeader, bool newlineFirst, char indent) {
        return WriteCheckedBlock(out, withBlockHeader, newlineFirst, indent, &lines);
    };
    auto putSection = [&](char indent) {
        if (!putBlock(false, anyWritten && !lastBlank && !lastOpens, indent)) ok = false;
        anyWritten = true;
        lastBlank = false;
        lastOpens = false;
        written = true;
    };
    auto indentOf = [&](const std::string& text) -> char {
        if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) return text[0];
        return hasUrl_ ? ' ' : '\0';
    };

    ScriptTracker tracker(url, section_);
    std::string line;
    ScriptLineScan scan;
    std::vector<uint8_t> drop;
    size_t range = 0;
    for (uint32_t number = 1; ok && ReadLine(in, &line, &end) == LineRead::kLine; ++number) {
        const bool inDropped = range < dropped.size() && number >= dropped[range].first;
        if (inDropped && number == dropped[range].second) ++range;
        const bool dropping = tracker.InOurSection();
        if (IsBlankLine(line)) {
            if (inDropped) continue;
            if (dropping) {
                droppedBlank = true;
            } else {
                // Outside this object's section every byte stays, blank lines included.
                put(line, nullptr);
            }
            continue;
        }
        ScanScriptLine(line, &scan);
        const size_t count = scan.pieces.size();
        drop.assign(count, inDropped ? 1 : 0);
        uint32_t insertAt = UINT32_MAX;
        for (size_t k = 0; k < count; ++k) {
            const ScriptPiece& piece = scan.pieces[k];
            switch (piece.kind) {
                case ScriptPieceKind::kBraces:
                    for (uint32_t i = piece.begin; i < piece.end; ++i) {
                        if (line[i] != '{' && line[i] != '}') continue;
                        // The first block of the URL without a section of ours gets it before its "}".
                        if (tracker.Feed(line[i]) == ScriptTracker::Brace::kClosed && tracker.ClosedOurBlock() == 1 &&
                            !written && insertAt == UINT32_MAX)
                            insertAt = i;
                    }
                    break;
                case ScriptPieceKind::kKey:
                case ScriptPieceKind::kOther:
                    if (tracker.InOurSection()) drop[k] = 1;
                    break;
                case ScriptPieceKind::kHeader:
                    tracker.Statement(line.data(), piece);
                    if (tracker.InOurSection()) {
                        drop[k] = 1;
                        if (!written && insertAt == UINT32_MAX && tracker.InFirstRegion()) insertAt = piece.begin;
                    }
                    break;
                default:
                    tracker.Statement(line.data(), piece);
                    break;
            }
        }
        if (inDropped) continue;
        bool anyKept = false;
        bool anyDropped = false;
        for (size_t k = 0; k < count; ++k) (drop[k] ? anyDropped : anyKept) = true;
        const bool restoreBlank = droppedBlank;
        droppedBlank = false;
        if (insertAt == UINT32_MAX) {
            if (count == 0 ? dropping : !anyKept) continue;  // the line went with an old section
            // Blank lines that stood between an old section and what ends it (the next
            // "[", a SEL, a brace) stay, so that saving again keeps the file's size.
            if (restoreBlank && !lastBlank) put(std::string(), nullptr);
            if (!anyDropped) {
                put(line, &scan);
                continue;
            }
            const std::string text = Without(line, scan, drop, 0, static_cast<uint32_t>(line.size()));
            ScanScriptLine(text, &writtenScan);
            put(text, &writtenScan);
            continue;
        }
        // The new section goes here: what stands before it on the line stays on a line
        // of its own, what follows it on one after it.
        std::string before = Without(line, scan, drop, 0, insertAt);
        std::string after = Without(line, scan, drop, insertAt, static_cast<uint32_t>(line.size()));
        const size_t keep = before.find_last_not_of(" \t;");
        const char indent = indentOf(line);
        if (keep != std::string::npos) {
            before.resize(keep + 1);
            putScanned(before);
            before.clear();
        }
        putSection(indent);
        ScanScriptLine(after, &writtenScan);
        if (!writtenScan.pieces.empty()) putScanned(before + after);
    }
    if (!ok) return false;
    if (!written && !putBlock(true, anyWritten && !lastBlank, hasUrl_ ? ' ' : '\0')) return false;
    if (lines > kMaxScriptLines) {
        refusal_ = ScriptRefusal{ScriptRefusal::kTooManyLines, 0};
        ParseStateLog(&state_, "$bad script file: \"%s\"", path);
        SetState(-1);
        return false;
    }
    return true;
}
}  // namespace orva
