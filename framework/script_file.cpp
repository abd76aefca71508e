// The script-file part of KeywordFile: the reader that finds one object's
// section, the rewriter that replaces it and keeps everything else, and the
// block writer.
#include <cstring>
#include <string>
#include <vector>

#include "framework/keyword_file.h"

namespace orva {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsKeyStart(char c) { return IsLetter(c) || c == '_'; }
bool IsKeyChar(char c) { return IsKeyStart(c) || (c >= '0' && c <= '9'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

enum class LineRead { kLine, kEnd, kTooLong };

// One line without its "\n" (and without the "\r" of a "\r\n" ending); kEnd at the
// end of the file, kTooLong (reading stopped) past kMaxScriptLineLength characters.
LineRead ReadLine(FILE* stream, std::string* line) {
    line->clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line->size() >= kMaxScriptLineLength) return LineRead::kTooLong;
        line->push_back(static_cast<char>(c));
    }
    if (!any) return LineRead::kEnd;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return LineRead::kLine;
}

// A character below 0x20 other than TAB, CR and LF.
bool HasControl(const std::string& line) {
    for (char ch : line) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return true;
    }
    return false;
}

// The length of the line's code: up to the first CR or LF, and up to a "//"
// that does not stand inside a quoted text.
size_t CodeLength(const std::string& line) {
    int quotes = 0, apostrophes = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\r' || c == '\n') return i;
        if (c == '"') ++quotes;
        if (c == '\'') ++apostrophes;
        if (c == '/' && i + 1 < line.size() && line[i + 1] == '/' && quotes % 2 == 0 &&
            apostrophes % 2 == 0) {
            return i;
        }
    }
    return line.size();
}

// Braces between begin and end, outside double-quoted texts.
void CountBraces(const char* begin, const char* end, int* opens, int* closes) {
    *opens = *closes = 0;
    bool quoted = false;
    for (const char* p = begin; p < end && *p; ++p) {
        if (*p == '"') quoted = !quoted;
        if (quoted) continue;
        if (*p == '{') ++*opens;
        if (*p == '}') ++*closes;
    }
}

// Characters up to the first "<", ">" or control character, or `stop`.
size_t ScanUrl(const char* text, char stop) {
    size_t n = 0;
    while (true) {
        unsigned char c = static_cast<unsigned char>(text[n]);
        if (c < 0x20 || c == '<' || c == '>' || c == static_cast<unsigned char>(stop)) return n;
        ++n;
    }
}

// A "SEL(URL=...)" statement at p (the word SEL or SELECT, any case).
struct SelStatement {
    bool isSel = false;     // the word and "(" were found
    bool valid = false;     // the URL and the ")" were found
    std::string url;
    const char* after = nullptr;  // just after ")" (or where parsing stopped)
};

SelStatement ParseSel(const char* p) {
    SelStatement sel;
    const char* key = p;
    while (IsKeyChar(*p)) ++p;
    size_t n = static_cast<size_t>(p - key);
    if (!((n == 3 && EqualNoCase(key, "sel", 3)) || (n == 6 && EqualNoCase(key, "select", 6)))) return sel;
    while (IsBlank(*p)) ++p;
    if (*p != '(') return sel;
    sel.isSel = true;
    ++p;
    sel.after = p;
    while (IsBlank(*p)) ++p;
    if (!EqualNoCase(p, "url", 3) || IsKeyChar(p[3])) return sel;
    p += 3;
    while (IsBlank(*p)) ++p;
    if (*p != '=') return sel;
    ++p;
    while (IsBlank(*p)) ++p;
    char close;
    if (*p == '"') {
        close = '"';
    } else if (*p == '<') {
        close = '>';
    } else {
        return sel;
    }
    const char* start = p + 1;
    size_t length = ScanUrl(start, close);
    if (start[length] != close) return sel;
    sel.url.assign(start, length);
    p = start + length + 1;
    sel.after = p;
    while (IsBlank(*p)) ++p;
    if (*p != ')') return sel;
    sel.after = p + 1;
    sel.valid = true;
    return sel;
}

// A section header "[{NAME}]" at p ("[" and "{" may be separated by blanks and
// ";"). Returns the position after "]" and the name, or nullptr.
const char* ParseHeader(const char* p, const char** name, size_t* length) {
    if (*p != '[') return nullptr;
    ++p;
    while (IsBlank(*p) || *p == ';') ++p;
    if (*p != '{') return nullptr;
    const char* start = p + 1;
    const char* close = std::strchr(start, '}');
    if (close == nullptr || close[1] != ']') return nullptr;
    *name = start;
    *length = static_cast<size_t>(close - start);
    return close + 2;
}

bool SameSection(const std::string& section, const char* name, size_t length) {
    return length == section.size() && EqualNoCase(name, section.data(), length);
}

bool SameUrl(const std::string& url, const std::string& other) {
    // File identity is case-sensitive, so two URLs naming different files never collide.
    return url == other;
}

// What the rewriter needs to know of one line.
struct LineInfo {
    bool blank = false;        // nothing but blanks
    bool codeEmpty = false;    // nothing but blanks, ";" and a comment
    bool header = false;
    bool ours = false;         // a header with this object's section name
    bool sel = false;
    bool selValid = false;
    std::string url;
    int opens = 0, closes = 0;
    bool onlyBraces = false;   // the code holds nothing but braces, blanks and ";"
};

LineInfo Analyze(const std::string& raw, const std::string& section) {
    LineInfo info;
    size_t codeLength = CodeLength(raw);
    std::string code = raw.substr(0, codeLength);
    const char* p = code.c_str();
    info.blank = raw.find_first_not_of(" \t\r") == std::string::npos;
    const char* q = p;
    while (IsBlank(*q) || *q == ';') ++q;
    info.codeEmpty = *q == '\0';
    const char* braceStart = p;
    if (*q == '[') {
        const char* name;
        size_t length;
        if (ParseHeader(q, &name, &length)) {
            info.header = true;
            info.ours = SameSection(section, name, length);
        } else {
            info.header = true;  // a "[" statement all the same: it ends the section before it
        }
    } else if (IsKeyStart(*q)) {
        SelStatement sel = ParseSel(q);
        if (sel.isSel) {
            info.sel = true;
            info.selValid = sel.valid;
            info.url = sel.url;
            braceStart = sel.after ? sel.after : p;
        }
    }
    const char* end = p + code.size();
    CountBraces(braceStart, end, &info.opens, &info.closes);
    info.onlyBraces = code.find_first_not_of(" \t;{}") == std::string::npos;
    return info;
}

}  // namespace

bool KeywordFile::ParseLines() {
    FILE* stream = Stream();
    if (stream == nullptr) return false;
    enum { kOutside, kInside, kAccepted } sectionState = kOutside;
    int depth = hasUrl_ ? 0 : 1;
    std::string line;
    for (uint32_t number = 1; number <= kMaxScriptLines; ++number) {
        LineRead read = ReadLine(stream, &line);
        if (read == LineRead::kEnd) break;
        if (read == LineRead::kTooLong || HasControl(line)) {
            ParseStateLog(&state_, "$bad file: '%s'", Path() ? Path() : "");
            SetState(-1);
            return false;
        }
        line.resize(CodeLength(line));
        char* p = line.data();
        for (int statement = 0; statement < kMaxStatementsPerLine; ++statement) {
            while (IsBlank(*p) || *p == ';') ++p;
            if (*p == '\0') break;
            char* end = std::strchr(p, ';');
            if (end == nullptr) end = p + std::strlen(p);
            if (hasUrl_ && depth != 0 && *p != '[') {
                int opens, closes;
                CountBraces(p, end, &opens, &closes);
                int before = depth;
                depth += opens - closes;
                if (depth < 2 && (before >= 2 || depth < before)) {
                    // The block has ended.
                    depth = 0;
                    if (sectionState == kAccepted) return true;
                    sectionState = kOutside;
                }
                while (IsBlank(*p) || *p == '{' || *p == '}') ++p;
                if (p >= end) {
                    p = end;
                    continue;
                }
            }
            if (*p == '[') {
                if (sectionState == kAccepted) return true;
                sectionState = kOutside;
                const char* name;
                size_t length;
                const char* after = ParseHeader(p, &name, &length);
                if (after != nullptr) {
                    if (depth != 0 && SameSection(section_, name, length)) sectionState = kInside;
                    p = const_cast<char*>(after);
                } else {
                    p = end;
                }
                continue;
            }
            if (!IsKeyStart(*p)) break;
            char* key = p;
            char* q = p;
            while (IsKeyChar(*q)) ++q;
            size_t keyLength = static_cast<size_t>(q - key);
            while (IsBlank(*q)) ++q;
            if (*q == '=') {
                if (sectionState != kOutside) {
                    bool more = *end == ';';
                    *end = '\0';
                    state_.key = key;
                    state_.keyLength = static_cast<uint32_t>(keyLength);
                    state_.value = nullptr;
                    state_.line = number;
                    if (HasData()) sectionState = kAccepted;
                    p = more ? end + 1 : end;
                } else {
                    p = end;
                }
                continue;
            }
            if (*q == '(' && hasUrl_ && depth == 0 && sectionState == kOutside) {
                SelStatement sel = ParseSel(key);
                if (sel.isSel) {
                    if (sel.valid && SameUrl(url_, sel.url)) {
                        depth = 1;
                        const char* r = sel.after;
                        while (IsBlank(*r)) ++r;
                        if (*r == '=') ++r;
                        char* rest = const_cast<char*>(r);
                        char* restEnd = std::strchr(rest, ';');
                        if (restEnd == nullptr) restEnd = rest + std::strlen(rest);
                        int opens, closes;
                        CountBraces(rest, restEnd, &opens, &closes);
                        depth += opens - closes;
                        if (depth < 1) depth = 0;
                        p = restEnd;
                    } else {
                        const char* after = sel.after ? sel.after : q;
                        const char* restEnd = std::strchr(after, ';');
                        p = const_cast<char*>(restEnd ? restEnd : after + std::strlen(after));
                    }
                    continue;
                }
            }
            p = end;
        }
    }
    return true;
}

bool KeywordFile::WriteBlock(bool withBlockHeader, bool newlineFirst, char first) {
    bool ok = true;
    if (newlineFirst) ok = Print("\n") && ok;
    bool sel = withBlockHeader && hasUrl_;
    if (sel) {
        for (char c : url_) {
            if (static_cast<unsigned char>(c) < 0x20) return false;
        }
        bool quotable = url_.find('"') == std::string::npos;
        bool bracketable = url_.find_first_of("<>") == std::string::npos;
        // An absolute path goes in double quotes, any other URL in angle brackets;
        // a URL that one form cannot hold takes the other.
        if (quotable && (url_[0] == '/' || !bracketable)) {
            ok = Print("SEL(URL=\"%s\")\n{\n", url_.c_str()) && ok;
        } else if (bracketable) {
            ok = Print("SEL(URL=<%s>)\n{\n", url_.c_str()) && ok;
        } else {
            return false;
        }
        ok = Print(" ") && ok;
    } else if (first != '\0') {
        ok = Print("%c", first) && ok;
    }
    ok = Print("[{%s}]\n", section_.c_str()) && ok;
    if (!ok) return false;
    if (!WriteBody(first)) return false;
    if (sel) ok = Print("}\n");
    return ok;
}

bool KeywordFile::RewriteScript() {
    FILE* in = oldStream_;
    if (in == nullptr || Output() == nullptr || section_.empty()) return false;
    const char* path = Path() ? Path() : "";

    std::vector<std::string> lines;
    std::string line;
    for (LineRead read; (read = ReadLine(in, &line)) != LineRead::kEnd;) {
        if (read == LineRead::kTooLong || HasControl(line) || lines.size() >= kMaxScriptLines) {
            // A file we cannot copy whole is refused rather than cut.
            ParseStateLog(&state_, "$bad script file: \"%s\"", path);
            SetState(-1);
            return false;
        }
        lines.push_back(line);
    }

    bool ok = true;
    bool lastWrittenBlank = true;  // no blank lines before the first line
    bool lastWrittenOpens = false; // the last line written opens a block
    bool anyWritten = false;
    auto writeLine = [&](const std::string& text, const LineInfo* info) {
        ok = Print("%s\n", text.c_str()) && ok;
        lastWrittenBlank = text.find_first_not_of(" \t\r") == std::string::npos;
        lastWrittenOpens = info != nullptr && (info->sel || (info->onlyBraces && info->opens > info->closes));
        anyWritten = true;
    };
    auto indentOf = [&](const std::string& text) -> char {
        if (!text.empty() && IsBlank(text[0])) return text[0];
        return hasUrl_ ? ' ' : '\0';
    };
    bool written = false;
    // A section that replaces an old one is set apart from the line before it,
    // except from the line that opens its block, so that saving twice gives the same file.
    auto writeSection = [&](size_t linesRead, char indent) {
        if (!WriteBlock(false, linesRead > 1 && !lastWrittenBlank && !lastWrittenOpens, indent)) ok = false;
        lastWrittenBlank = false;
        lastWrittenOpens = false;
        anyWritten = true;
        written = true;
    };
    // The line that closes a block opened at `sel` (depth counting), or npos.
    auto blockEnd = [&](size_t sel, int depth) -> size_t {
        for (size_t k = sel + 1; k < lines.size(); ++k) {
            LineInfo info = Analyze(lines[k], section_);
            int before = depth;
            depth += info.opens - info.closes;
            if (depth < 2 && (before >= 2 || depth < before)) return k;
        }
        return std::string::npos;
    };

    int balance = 0;
    bool inBlock = !hasUrl_;      // without a URL the whole file is the matching block
    bool blockMatch = !hasUrl_;   // this block gets the new section
    bool dropOurs = !hasUrl_;     // this block loses its sections of our name
    bool matchSeen = false;       // a block of our URL has been closed
    bool dropping = false;        // inside an old section of ours
    bool droppedBlank = false;    // the last dropped line was blank
    int depth = 0;

    for (size_t i = 0; i < lines.size() && ok; ++i) {
        const std::string& raw = lines[i];
        LineInfo info = Analyze(raw, section_);
        if (info.blank) {
            if (dropping) {
                droppedBlank = true;
            } else if (!lastWrittenBlank) {
                writeLine(std::string(), nullptr);
            }
            continue;
        }
        balance += info.opens - info.closes;
        if (hasUrl_ && !inBlock) {
            if (info.sel) {
                bool match = info.selValid && SameUrl(url_, info.url);
                int startDepth = 1 + info.opens - info.closes;
                if (match && matchSeen) {
                    // A later block of our URL: dropped whole when it holds nothing but
                    // our sections; otherwise copied without them.
                    size_t end = blockEnd(i, startDepth);
                    if (end != std::string::npos) {
                        bool onlyOurs = Analyze(lines[end], section_).onlyBraces;
                        bool inOurs = false;
                        for (size_t k = i + 1; k < end && onlyOurs; ++k) {
                            LineInfo inner = Analyze(lines[k], section_);
                            if (inner.blank || inner.codeEmpty || inner.onlyBraces) continue;
                            if (inner.header) {
                                inOurs = inner.ours;
                                onlyOurs = inOurs;
                            } else if (!inOurs) {
                                onlyOurs = false;
                            }
                        }
                        if (onlyOurs) {
                            for (size_t k = i + 1; k <= end; ++k) {
                                LineInfo inner = Analyze(lines[k], section_);
                                balance += inner.opens - inner.closes;
                            }
                            i = end;
                            continue;
                        }
                    }
                }
                inBlock = true;
                depth = startDepth;
                blockMatch = match && !matchSeen;
                dropOurs = match;
            }
            writeLine(raw, &info);
            continue;
        }
        if (info.header) {
            if (dropping) {
                dropping = false;
                if (droppedBlank && !(dropOurs && info.ours) && !lastWrittenBlank) writeLine(std::string(), nullptr);
            }
            droppedBlank = false;
            if (dropOurs && info.ours) {
                if (blockMatch && !written) writeSection(i + 1, indentOf(raw));
                dropping = true;
                continue;
            }
        }
        if (hasUrl_) {
            int before = depth;
            depth += info.opens - info.closes;
            if (depth < 2 && (before >= 2 || depth < before)) {
                // The line that closes the block.
                dropping = false;
                droppedBlank = false;
                if (blockMatch && !written) writeSection(i + 1, indentOf(raw));
                writeLine(raw, &info);
                if (dropOurs) matchSeen = true;
                inBlock = false;
                blockMatch = false;
                dropOurs = false;
                continue;
            }
        }
        if (dropping) {
            droppedBlank = false;
            continue;
        }
        writeLine(raw, &info);
    }
    if (!ok) return false;
    if (balance != 0 && anyWritten) {
        Print("\n//!!! mistake in this script (not pair brackets)\n");
        SetState(-1);
        return false;
    }
    if (!written) {
        if (!WriteBlock(true, lines.size() > 1 && !lastWrittenBlank, hasUrl_ ? ' ' : '\0')) return false;
    }
    return ok;
}

}  // namespace orva
