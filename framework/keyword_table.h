#pragma once
// Keyword tables: every text settings file is made of KEY=value statements,
// and each kind of file maps its key names (with aliases) to value handlers
// through one static table. Here are the table, the parse state handed to the
// handlers, the dispatcher, the line parser of free-standing readers and the
// small quoted-value helpers.
#include <cstddef>
#include <cstdint>

#include "common/log.h"

namespace orva {

struct ParseState;

// Receives the value text (the rest of the statement) and the state; 0 or more
// accepts the value, a negative number rejects it.
using KeywordHandler = int (*)(const char* value, ParseState* state);

// One name of a key. A name list is ended by {nullptr, 0}: the first entry is
// the key's name, the others its aliases. Lengths are filled by Prepare.
struct KeywordName {
    const char* name;
    uint32_t length;
};

struct KeywordDescriptor {
    KeywordName* names;
    KeywordHandler handler;
};

class KeywordTable {
public:
    // Stores the null-ended descriptor array and prepares the table at once.
    explicit KeywordTable(KeywordDescriptor* const* descriptors);
    // Fills every name length; true at once when already prepared. An empty
    // name leaves the table unprepared (false): readers then read no key.
    bool Prepare();
    bool Prepared() const { return prepared_ != 0; }
    KeywordDescriptor* const* Descriptors() const { return descriptors_; }

private:
    uint32_t prepared_ = 0;
    KeywordDescriptor* const* descriptors_ = nullptr;
};

// The log target that stands for the program log (LogPrintf). A ParseState's
// log target is nullptr (no "$" lines), this target, or a side log.
LogFile* ProgramLogTarget();

struct ParseState {
    const char* key = nullptr;       // start of the key (not terminated)
    uint32_t keyLength = 0;
    const char* value = nullptr;     // nullptr until found (DispatchKeyValue looks after the key)
    KeywordTable* table = nullptr;
    uint8_t* accepted = nullptr;     // set to 1 whenever a handler accepts a value
    uint32_t line = 0;
    LogFile* log = nullptr;          // where "$" lines go; nullptr: nowhere
    uint8_t verbose = 0;             // report empty keys and keys the table lacks
    void* context = nullptr;         // the record the handlers store into
};

// Writes one "$" line to the state's log target (nothing when none is set).
void ParseStateLog(const ParseState* state, const char* format, ...);

// Looks the key up (lengths equal, case ignored, first hit wins) and calls its
// handler. Without a table 0. See the log lines in the implementation.
int DispatchKeyValue(ParseState* state);

// Dispatches every "KEY=value;" statement of a line (modified in place: each
// ";" that ends a statement becomes NUL; a ";" in quoted text ends none). Returns the number of accepted keys,
// -1 when keys were found but none accepted, 0 when there were none; the
// number of rejected keys goes to *badCount when given.
int ParseKeyValueLine(ParseState* state, char* line, uint32_t lineNumber, int* badCount);

// Cuts a line at the first "//" that stands outside quoted text (a double quote
// or an apostrophe opens a text that only the same mark closes; an unclosed one
// runs to the end of the line). Returns the length left.
size_t StripLineComment(char* line);

// The longest text a quoted value may hold: all a script line holds.
constexpr size_t kMaxValueLength = 0x400000;

// A value in double quotes, apostrophes or "<" ">" at *cursor: the cursor is
// moved inside it and its length returned; -1 when the text is not quoted or
// the quote is not closed (cursor unchanged).
int QuotedValueLength(const char** cursor);
// The same, also accepting "<" followed by a double quote closed by a double quote.
int QuotedValueSkip(const char** cursor);

// A folder value: quoted (double quotes, apostrophes, angle brackets, the escaped
// form of ScriptQuotedText) or the whole text without trailing blanks, CR and LF; a
// "/" is appended when it does not end in one (a quoted empty text stays empty); it
// holds at most kMaxValueLength characters. The new malloc'ed text replaces *text
// (the old one is freed). 1, or -1 with *text unchanged.
int ParseQuotedString(const char* value, char** text);
// A value in double quotes, between "<" and ">" or in the escaped form, of at most
// kMaxValueLength characters, copied into a new malloc'ed text that replaces *text.
// 1 or -1.
int QuotedValueDup(const char* value, char** text);

// A plain file name at *cursor (blanks skipped; optionally in double quotes or
// angle brackets; no control characters nor any of " \ / > < * ? |). The name
// is terminated in place; *cursor is set to its start and *length to its
// length. 2 for the angle-bracket form, 1 otherwise, 0 for an empty or
// malformed name (or one that does not fit kPathMax), which logs
// "$%I64d: %s" with the line number and message when a log target is given.
int ParseFileNameValue(char** cursor, const char* message, int64_t line, LogFile* log,
                       int* length);

}  // namespace orva
