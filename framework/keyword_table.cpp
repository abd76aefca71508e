#include "framework/keyword_table.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/script_scan.h"
#include "common/text.h"

namespace orva {

namespace {

// Never opened: its address only marks "the program log".
LogFile gProgramLogTarget;

constexpr int kMaxKeysPerLine = 1024;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsKeyStart(char c) { return IsAsciiLetter(c) || c == '_'; }
bool IsKeyChar(char c) { return IsKeyStart(c) || (c >= '0' && c <= '9'); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

void VLogTo(LogFile* log, const char* format, va_list args) {
    if (log == nullptr) return;
    std::string text = VFormatString(format, args);
    if (log == &gProgramLogTarget) {
        LogPrintf("%s", text.c_str());
    } else {
        LogFilePrintf(log, "%s", text.c_str());
    }
}

void LogTo(LogFile* log, const char* format, ...) {
    va_list args;
    va_start(args, format);
    VLogTo(log, format, args);
    va_end(args);
}

// Replaces *text by a malloc'ed copy of n characters.
int ReplaceHeapText(char** text, const char* start, size_t n, bool slash) {
    size_t total = n + (slash ? 1 : 0);
    if (total > kMaxValueLength) return -1;
    char* copy = static_cast<char*>(std::malloc(total + 1));
    if (copy == nullptr) return -1;
    std::memcpy(copy, start, n);
    if (slash) copy[n] = '/';
    copy[total] = '\0';
    std::free(*text);
    *text = copy;
    return 1;
}

}  // namespace

KeywordTable::KeywordTable(KeywordDescriptor* const* descriptors) : descriptors_(descriptors) {
    Prepare();
}

bool KeywordTable::Prepare() {
    if (prepared_) return true;
    if (descriptors_ == nullptr) return false;
    for (KeywordDescriptor* const* d = descriptors_; *d != nullptr; ++d) {
        if ((*d)->names == nullptr || (*d)->names[0].name == nullptr) return false;
        for (KeywordName* n = (*d)->names; n->name != nullptr; ++n) {
            size_t length = std::strlen(n->name);
            if (length == 0) return false;
            n->length = static_cast<uint32_t>(length);
        }
    }
    prepared_ = 1;
    return true;
}

LogFile* ProgramLogTarget() { return &gProgramLogTarget; }

void ParseStateLog(const ParseState* state, const char* format, ...) {
    if (state == nullptr || state->log == nullptr) return;
    va_list args;
    va_start(args, format);
    VLogTo(state->log, format, args);
    va_end(args);
}

int DispatchKeyValue(ParseState* state) {
    if (state == nullptr || state->table == nullptr || !state->table->Prepared() ||
        state->key == nullptr) {
        return 0;
    }
    std::string key(state->key, state->keyLength);
    if (state->value == nullptr) {
        const char* p = state->key + state->keyLength;
        while (IsBlank(*p)) ++p;
        if (*p != '=') {
            ParseStateLog(state, "$%u: '%s' : bad cmd", state->line, p);
            return -1;
        }
        ++p;
        while (IsBlank(*p)) ++p;
        if (*p == '\0') {
            if (state->verbose) ParseStateLog(state, "$%u: '%s' : empty cmd", state->line, key.c_str());
            return -1;
        }
        state->value = p;
    }
    for (KeywordDescriptor* const* d = state->table->Descriptors(); *d != nullptr; ++d) {
        for (const KeywordName* n = (*d)->names; n->name != nullptr; ++n) {
            if (n->length != state->keyLength || !EqualNoCase(n->name, state->key, n->length)) continue;
            int result = (*d)->handler ? (*d)->handler(state->value, state) : -1;
            if (result >= 0) {
                if (state->accepted) *state->accepted = 1;
            } else {
                ParseStateLog(state, "$%u: '%s=%s' : bad cmd", state->line, (*d)->names[0].name,
                              state->value);
            }
            return result;
        }
    }
    if (state->verbose) ParseStateLog(state, "$%u: '%s' : skip cmd", state->line, key.c_str());
    return -1;
}

size_t StripLineComment(char* line) {
    if (line == nullptr) return 0;
    char quote = '\0';
    size_t i = 0;
    for (; line[i] != '\0'; ++i) {
        const char c = line[i];
        if (quote != '\0') {
            if (c == quote) quote = '\0';
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '/' && line[i + 1] == '/') {
            line[i] = '\0';
            break;
        }
    }
    return i;
}

namespace {

// The first ";" at or after p outside quoted text (from a double quote mark to the next
// one, or from an apostrophe to the next one), or null. A quote mark that nothing closes
// quotes nothing: an apostrophe in a word ("Bob's; SIZEX=3") keeps the keys after it.
char* StatementEnd(char* p) {
    for (; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\'') {
            if (char* close = std::strchr(p + 1, *p); close != nullptr) p = close;
        } else if (*p == ';') {
            return p;
        }
    }
    return nullptr;
}

}  // namespace

int ParseKeyValueLine(ParseState* state, char* line, uint32_t lineNumber, int* badCount) {
    int accepted = 0, bad = 0, found = 0;
    char* p = line;
    if (p != nullptr) {
        while (IsBlank(*p)) ++p;
    }
    for (int n = 0; p != nullptr && n < kMaxKeysPerLine; ++n) {
        char* key = p;
        while (IsKeyChar(*p)) ++p;
        if (p == key) break;
        // The statement ends at the first ";" after the key's first character that stands
        // outside quoted text, as in script files: SEPARATOR=";" names the semicolon.
        char* semi = StatementEnd(key + 1);
        char* next = nullptr;
        if (semi != nullptr) {
            *semi = '\0';
            next = semi + 1;
        }
        state->key = key;
        state->keyLength = static_cast<uint32_t>(p - key);
        state->value = nullptr;
        state->line = lineNumber;
        int result = DispatchKeyValue(state);
        if (result == 0 && state->table == nullptr) break;
        ++found;
        if (result >= 0) {
            ++accepted;
        } else {
            ++bad;
        }
        if (next == nullptr) break;
        p = next;
        while (*p == ';' || IsBlank(*p)) ++p;
        if (!IsKeyStart(*p)) break;
    }
    if (badCount) *badCount = bad;
    if (accepted > 0) return accepted;
    return found > 0 ? -1 : 0;
}

namespace {

int QuotedLength(const char** cursor, bool angleQuote) {
    if (cursor == nullptr || *cursor == nullptr) return -1;
    const char* p = *cursor;
    while (IsBlank(*p)) ++p;
    char close;
    const char* start = p + 1;
    switch (*p) {
        case '"':
            close = '"';
            break;
        case '\'':
            close = '\'';
            break;
        case '<':
            if (angleQuote && p[1] == '"') {
                close = '"';
                start = p + 2;
            } else {
                close = '>';
            }
            break;
        default:
            return -1;
    }
    const char* end = std::strchr(start, close);
    if (end == nullptr) return -1;
    *cursor = start;
    return static_cast<int>(end - start);
}

}  // namespace

int QuotedValueLength(const char** cursor) { return QuotedLength(cursor, false); }

int QuotedValueSkip(const char** cursor) { return QuotedLength(cursor, true); }

int ParseQuotedString(const char* value, char** text) {
    if (value == nullptr || text == nullptr) return -1;
    const char* p = value;
    while (IsBlank(*p)) ++p;
    std::string quoted;
    const int form = ReadScriptQuotedText(p, &quoted);
    if (form < 0) return -1;
    if (form > 0) {
        // A quoted empty folder stays empty (it is not the root folder).
        if (quoted.empty()) return ReplaceHeapText(text, "", 0, false);
        return ReplaceHeapText(text, quoted.data(), quoted.size(), quoted.back() != '/');
    }
    size_t n = std::strlen(p);
    while (n > 0 && (IsBlank(p[n - 1]) || p[n - 1] == '\r' || p[n - 1] == '\n')) --n;
    // An empty folder is refused rather than turned into the root folder.
    if (n == 0) return -1;
    return ReplaceHeapText(text, p, n, p[n - 1] != '/');
}

int QuotedValueDup(const char* value, char** text) {
    if (value == nullptr || text == nullptr) return -1;
    const char* p = value;
    while (IsBlank(*p)) ++p;
    if (*p != '"' && *p != '<' && *p != '%') return -1;
    std::string quoted;
    if (ReadScriptQuotedText(p, &quoted) < 1) return -1;
    return ReplaceHeapText(text, quoted.data(), quoted.size(), false);
}

int ParseFileNameValue(char** cursor, const char* message, int64_t line, LogFile* log,
                       int* length) {
    if (length) *length = 0;
    if (cursor == nullptr || *cursor == nullptr) return 0;
    char* p = *cursor;
    while (IsBlank(*p)) ++p;
    int form = 1;
    char close = '\0';
    if (*p == '"') {
        close = '"';
        ++p;
    } else if (*p == '<') {
        close = '>';
        form = 2;
        ++p;
    }
    char* start = p;
    while (static_cast<unsigned char>(*p) >= 0x20 && std::strchr("\"\\/><*?|", *p) == nullptr) ++p;
    char* end = p;
    bool ok = true;
    if (close != '\0') {
        ok = *p == close;
    } else {
        while (end > start && IsBlank(end[-1])) --end;
    }
    size_t n = static_cast<size_t>(end - start);
    if (!ok || n == 0 || n >= kPathMax) {
        LogTo(log, "$%I64d: %s", static_cast<long long>(line), message ? message : "");
        return 0;
    }
    *end = '\0';
    *cursor = start;
    if (length) *length = static_cast<int>(n);
    return form;
}

}  // namespace orva
