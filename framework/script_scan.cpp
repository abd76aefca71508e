#include "framework/script_scan.h"
#include "common/text.h"

#include <cstring>

namespace orva {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsKeyStart(char c) { return IsLetter(c) || c == '_'; }
bool IsKeyChar(char c) { return IsKeyStart(c) || (c >= '0' && c <= '9'); }
bool IsBrace(char c) { return c == '{' || c == '}'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

class LineScanner {
public:
    LineScanner(const std::string& line, ScriptLineScan* scan) : text_(line.data()), scan_(scan) {
        // A carriage return ends what is read of the line.
        const void* cr = std::memchr(text_, '\r', line.size());
        size_ = cr ? static_cast<uint32_t>(static_cast<const char*>(cr) - text_) : static_cast<uint32_t>(line.size());
    }

    bool Run() {
        scan_->pieces.clear();
        scan_->codeEnd = size_;
        uint32_t p = 0;
        for (int statements = 0;; ++statements) {
            while (p < size_ && (IsBlank(text_[p]) || text_[p] == ';')) ++p;
            if (p >= size_) return true;
            if (statements >= kMaxScriptStatements) return false;
            if (IsBrace(text_[p])) {
                const uint32_t begin = p;
                while (p < size_ && (IsBrace(text_[p]) || IsBlank(text_[p]))) ++p;
                uint32_t end = p;
                while (end > begin && IsBlank(text_[end - 1])) --end;
                Add(ScriptPieceKind::kBraces, begin, end);
                if (p >= size_ || text_[p] == ';') continue;
            }
            const char c = text_[p];
            if (c == '[') {
                p = Bracket(p);
            } else if (IsKeyStart(c)) {
                p = Word(p);
            } else {
                scan_->codeEnd = p;  // a statement nobody understands ends the line
                return true;
            }
            if (comment_) return true;
        }
    }

private:
    ScriptPiece& Add(ScriptPieceKind kind, uint32_t begin, uint32_t end) {
        ScriptPiece piece;
        piece.kind = kind;
        piece.begin = begin;
        piece.end = end;
        scan_->pieces.push_back(piece);
        return scan_->pieces.back();
    }

    // The end of the statement that goes on at `p`: a ";" outside quoted text, a
    // comment (which ends the code) or the end; with `braces`, also a brace.
    uint32_t StatementEnd(uint32_t p, bool braces) {
        while (p < size_) {
            const char c = text_[p];
            if (c == '"' || c == '\'') {
                const void* close = std::memchr(text_ + p + 1, c, size_ - p - 1);
                if (close == nullptr) return size_;
                p = static_cast<uint32_t>(static_cast<const char*>(close) - text_) + 1;
                continue;
            }
            if (c == ';' || (braces && IsBrace(c))) return p;
            if (c == '/' && p + 1 < size_ && text_[p + 1] == '/') {
                comment_ = true;
                scan_->codeEnd = p;
                return p;
            }
            ++p;
        }
        return size_;
    }

    // The first position at or after `from` where `test` holds (size_ when none).
    // Answers are kept: every later question from a position not beyond the last
    // answer is answered at once, so a line is searched once however many
    // statements it holds.
    template <class Test>
    uint32_t Ahead(uint32_t from, uint32_t* askedFrom, uint32_t* answer, Test test) {
        if (*answer != UINT32_MAX && from >= *askedFrom && from <= *answer) return *answer;
        uint32_t p = from;
        while (p < size_ && !test(p)) ++p;
        *askedFrom = from;
        *answer = p;
        return p;
    }

    // A "[" statement at p: a section header or another one.
    uint32_t Bracket(uint32_t p) {
        uint32_t q = p + 1;
        while (q < size_ && (IsBlank(text_[q]) || text_[q] == ';')) ++q;
        if (q < size_ && text_[q] == '{') {
            const uint32_t name = q + 1;
            const uint32_t close =
                Ahead(name, &closeFrom_, &close_, [this](uint32_t i) { return text_[i] == '}'; });
            const uint32_t comment = Ahead(name, &commentFrom_, &comment_at_, [this](uint32_t i) {
                return text_[i] == '/' && i + 1 < size_ && text_[i + 1] == '/';
            });
            if (close + 1 < size_ && text_[close + 1] == ']' && comment > close) {
                ScriptPiece& piece = Add(ScriptPieceKind::kHeader, p, close + 2);
                piece.text = name;
                piece.length = close - name;
                return close + 2;
            }
        }
        const uint32_t end = StatementEnd(p + 1, false);
        Add(ScriptPieceKind::kBracket, p, end);
        return end;
    }

    // SEL(URL=...) at p: its end, with the path; 0 when the statement is not one.
    uint32_t Sel(uint32_t p, uint32_t* url, uint32_t* length, bool* isEscaped) {
        uint32_t q = p;
        while (q < size_ && IsKeyChar(text_[q])) ++q;
        const uint32_t n = q - p;
        if (!((n == 3 && EqualNoCase(text_ + p, "sel", 3)) || (n == 6 && EqualNoCase(text_ + p, "select", 6))))
            return 0;
        auto blanks = [&] {
            while (q < size_ && IsBlank(text_[q])) ++q;
        };
        blanks();
        if (q >= size_ || text_[q] != '(') return 0;
        ++q;
        blanks();
        if (q + 3 > size_ || !EqualNoCase(text_ + q, "url", 3) || (q + 3 < size_ && IsKeyChar(text_[q + 3])))
            return 0;
        q += 3;
        blanks();
        if (q >= size_ || text_[q] != '=') return 0;
        ++q;
        blanks();
        const bool escaped = q + 1 < size_ && text_[q] == '%' && text_[q + 1] == '"';
        if (escaped) ++q;
        if (q >= size_ || (text_[q] != '"' && text_[q] != '<')) return 0;
        const bool quoted = text_[q] == '"';
        *isEscaped = escaped;
        const uint32_t start = ++q;
        while (q < size_) {
            const unsigned char c = static_cast<unsigned char>(text_[q]);
            if (c < 0x20 || (quoted ? c == '"' : (c == '<' || c == '>'))) break;
            ++q;
        }
        if (q >= size_ || text_[q] != (quoted ? '"' : '>')) return 0;
        *url = start;
        *length = q - start;
        ++q;
        blanks();
        if (q >= size_ || text_[q] != ')') return 0;
        ++q;
        uint32_t after = q;
        blanks();
        if (q < size_ && text_[q] == '=') after = q + 1;
        return after;
    }

    // A statement that begins with a letter or "_" at p.
    uint32_t Word(uint32_t p) {
        uint32_t q = p;
        while (q < size_ && IsKeyChar(text_[q])) ++q;
        const uint32_t keyEnd = q;
        while (q < size_ && IsBlank(text_[q])) ++q;
        if (q < size_ && text_[q] == '=') {
            const uint32_t end = StatementEnd(q + 1, false);
            ScriptPiece& piece = Add(ScriptPieceKind::kKey, p, end);
            piece.text = p;
            piece.length = keyEnd - p;
            return end;
        }
        if (q < size_ && text_[q] == '(') {
            uint32_t url = 0, length = 0;
            bool escaped = false;
            const uint32_t end = Sel(p, &url, &length, &escaped);
            if (end != 0) {
                ScriptPiece& piece = Add(ScriptPieceKind::kSel, p, end);
                piece.text = url;
                piece.length = length;
                piece.escaped = escaped;
                return end;
            }
        }
        const uint32_t end = StatementEnd(p, true);
        Add(ScriptPieceKind::kOther, p, end);
        return end;
    }

    const char* text_;
    uint32_t size_ = 0;
    ScriptLineScan* scan_;
    bool comment_ = false;
    uint32_t closeFrom_ = 0, close_ = UINT32_MAX;
    uint32_t commentFrom_ = 0, comment_at_ = UINT32_MAX;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The text of an escaped quote, [p, end): false for a bad escape.
bool Unescape(const char* p, const char* end, std::string* out) {
    out->clear();
    out->reserve(static_cast<size_t>(end - p));
    while (p < end) {
        const char* percent = static_cast<const char*>(std::memchr(p, '%', static_cast<size_t>(end - p)));
        if (percent == nullptr) percent = end;
        out->append(p, static_cast<size_t>(percent - p));
        if (percent == end) break;
        const int high = percent + 2 < end ? HexDigit(percent[1]) : -1;
        const int low = high >= 0 ? HexDigit(percent[2]) : -1;
        if (low < 0 || (high | low) == 0) return false;
        out->push_back(static_cast<char>(high * 16 + low));
        p = percent + 3;
    }
    return true;
}

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == '"'; }

}  // namespace

std::string ScriptQuotedText(std::string_view text) {
    size_t escapes = 0;
    for (char c : text) escapes += NeedsEscape(static_cast<unsigned char>(c));
    std::string out;
    if (escapes == 0) {
        out.reserve(text.size() + 2);
        out += '"';
        out += text;
        out += '"';
        return out;
    }
    static const char kHex[] = "0123456789ABCDEF";
    out.reserve(text.size() + 2 * escapes + 3);
    out += "%\"";
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c) || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

int ReadScriptQuotedText(const char* p, std::string* out, const char** end) {
    if (p == nullptr) return 0;
    while (IsBlank(*p)) ++p;
    const bool escaped = p[0] == '%' && p[1] == '"';
    if (escaped) ++p;
    char close;
    switch (*p) {
        case '"': close = '"'; break;
        case '\'': close = '\''; break;
        case '<': close = '>'; break;
        default: return 0;
    }
    const char* start = p + 1;
    const char* stop = std::strchr(start, close);
    if (stop == nullptr) return -1;
    if (escaped) {
        if (!Unescape(start, stop, out)) return -1;
    } else {
        out->assign(start, static_cast<size_t>(stop - start));
    }
    if (end != nullptr) *end = stop + 1;
    return 1;
}

bool ScriptSelNames(const char* line, const ScriptPiece& piece, const std::string& url) {
    const char* text = line + piece.text;
    if (!piece.escaped) return url.size() == piece.length && std::memcmp(url.data(), text, piece.length) == 0;
    std::string path;
    // File identity is case-sensitive: another case is another file.
    return Unescape(text, text + piece.length, &path) && path == url;
}

bool ScanScriptLine(const std::string& line, ScriptLineScan* scan) {
    LineScanner scanner(line, scan);
    return scanner.Run();
}

bool ScriptLineHasControl(const std::string& line) {
    for (char ch : line) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return true;
    }
    return false;
}

ScriptTracker::ScriptTracker(const std::string* url, const std::string& section) : url_(url), section_(section) {}

bool ScriptTracker::InOurRegion() const {
    if (url_ == nullptr) return depth_ == 0 || !selBlock_;
    return depth_ > 0 && selOurs_;
}

bool ScriptTracker::InFirstRegion() const { return InOurRegion() && (url_ == nullptr || ourBlocks_ == 1); }

ScriptTracker::Brace ScriptTracker::Feed(char brace) {
    closedOurs_ = 0;
    if (brace == '{') {
        if (depth_ > 0) {
            if (depth_ >= kMaxScriptDepth) tooDeep_ = true;
            ++depth_;
            return Brace::kNested;
        }
        selBlock_ = pending_;
        selOurs_ = pending_ && pendingOurs_;
        pending_ = false;
        ours_ = false;
        if (selOurs_) ++ourBlocks_;
        depth_ = 1;
        return Brace::kOpened;
    }
    if (depth_ == 0) {
        stray_ = true;
        return Brace::kStray;
    }
    if (--depth_ > 0) return Brace::kNested;
    if (selOurs_) closedOurs_ = ourBlocks_;
    selBlock_ = false;
    selOurs_ = false;
    ours_ = false;
    return Brace::kClosed;
}

void ScriptTracker::Statement(const char* line, const ScriptPiece& piece) {
    switch (piece.kind) {
        case ScriptPieceKind::kSel:
            if (depth_ != 0) break;  // inside a block it selects nothing
            pending_ = true;
            pendingOurs_ = url_ != nullptr && ScriptSelNames(line, piece, *url_);
            ours_ = false;
            break;
        case ScriptPieceKind::kHeader:
            ours_ = InOurRegion() && piece.length == section_.size() &&
                    EqualNoCase(line + piece.text, section_.data(), piece.length);
            break;
        case ScriptPieceKind::kBracket:
            ours_ = false;
            break;
        default:
            break;
    }
}

}  // namespace orva
