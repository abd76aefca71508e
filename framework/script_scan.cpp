#include "framework/script_scan.h"

#include <cstring>

namespace orva {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
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
    uint32_t Sel(uint32_t p, uint32_t* url, uint32_t* length) {
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
        if (q >= size_ || (text_[q] != '"' && text_[q] != '<')) return 0;
        const bool quoted = text_[q] == '"';
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
            const uint32_t end = Sel(p, &url, &length);
            if (end != 0) {
                ScriptPiece& piece = Add(ScriptPieceKind::kSel, p, end);
                piece.text = url;
                piece.length = length;
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

}  // namespace

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
            pendingOurs_ = url_ != nullptr && url_->size() == piece.length &&
                           // File identity is case-sensitive: another case is another file.
                           std::memcmp(url_->data(), line + piece.text, piece.length) == 0;
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
