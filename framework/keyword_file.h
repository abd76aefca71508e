#pragma once
// KeywordFile: the base of every object that loads itself from a section of a
// script file and saves itself back into it (the main settings, the
// preferences, the property sets, the service descriptions).
//
// A script file holds sections "[{NAME}]" (NAME the 43-character class-identity
// text) at the top level, or inside blocks "SEL(URL=...) { ... }" that select
// the sections of one data file. Reading finds this object's section (inside
// the block of its URL when it has one) and hands each KEY=value statement to
// HasData; saving rewrites the file with this object's section replaced and
// everything else kept.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/disk_file.h"
#include "framework/component_id.h"
#include "framework/keyword_table.h"
#include "framework/property_component.h"
#include "framework/script_scan.h"

namespace orva {

// Length of a section name: "%.8X-%.8X-%.16I64X-%.8X".
constexpr size_t kSectionNameLength = 43;
// Copies of URLs are capped at this many characters.
constexpr size_t kMaxUrlLength = 0x200000;
// The reader and the rewriter take files of at most this many lines (longer ones are bad files).
constexpr uint32_t kMaxScriptLines = 524288;
// Statements a line may hold (more make a bad file).
constexpr int kMaxStatementsPerLine = kMaxScriptStatements;
// The longest line read (a URL of kMaxUrlLength with its statement fits); a longer one
// makes the file a bad file, so that a huge or endless line cannot exhaust memory.
constexpr size_t kMaxScriptLineLength = 0x400000;
// A value that fits in a line reads back.
static_assert(kMaxValueLength >= kMaxScriptLineLength);

// Mode of every keyword-file save: text, written through a temporary copy
// (0x400 and 0x80 are kept for this class); with a ".bak" backup when asked.
constexpr uint32_t kKeywordSaveMode = kDiskSubclass400 | kDiskSubclass80 | kDiskTemp | kDiskText;  // 1232
constexpr uint32_t kKeywordSaveBackupMode = kKeywordSaveMode | kDiskBackup;                          // 1744

// The section name of an identity and a number, written into `out`.
std::string SectionNameOf(const ComponentId* id, uint32_t number);

// Splits a source name into the URL that selects a block and the path of the
// script file. A text that does not begin with "<" is a plain path (no URL). A
// tagged text ("<NAME>/data/a.fits", "<HDR><NAME>|S2|/data/a.fits") names the
// data file: the path is its service file (extension replaced by ".fs") and the
// URL the section marker followed by the file's name. A tagged name that is not
// an absolute path is all URL (path empty). False for texts without a name part.
bool SplitSourceName(const char* text, std::string* url, bool* hasUrl, std::string* path);

// What a settings object last read or wrote, per file and section: at the next save,
// a value the object still holds as it was there is taken from the file as it stands
// then, so that what another program (or the user, by hand) wrote meanwhile stays;
// values the object changed are written. Keys in the file's section that the object
// neither writes nor wrote stay too, unless its reader took them when it read the file
// (another spelling of one of its own keys, or a value it dropped). A target without a
// baseline is written whole.
//
// While a BaselineRecording lives on a thread, the saves on that thread write no file:
// each notes what it would write as the baseline of its target. The settings readers
// make one right after reading, so that the baseline is the object as read.
class BaselineRecording {
public:
    BaselineRecording();
    ~BaselineRecording();
    BaselineRecording(const BaselineRecording&) = delete;
    BaselineRecording& operator=(const BaselineRecording&) = delete;

private:
    bool previous_;
};
// Forgets every baseline (tests; a program that starts afresh).
void ForgetSettingsBaselines();
struct SettingsBaseline {
    std::string text;               // the block the object wrote, or would have written
    std::vector<std::string> read;  // the keys (in lower case) its reader took from the file
    // The values of the section (by key in lower case) as the object last read or wrote
    // them: a value the file still holds as then was changed by nobody else, and the
    // object writes its own (normalised) text for it.
    std::map<std::string, std::string> seen;
};
// The baseline under a key (path, URL and section, each ended by NUL but the last).
bool FindSettingsBaseline(const std::string& key, SettingsBaseline* baseline);
void SetSettingsBaseline(const std::string& key, SettingsBaseline baseline);
// What the last read of a target took and saw (kept until the next read of it): the
// `read` and `seen` of a baseline.
SettingsBaseline SettingsLastRead(const std::string& key);
// The block `ours` with every KEY=value line that stands in the baseline's text as it
// stands in `ours` taken from `file` when the file holds the key, and the keys of `file`
// that neither holds, nor the baseline's reader took, added after the last key line:
// the merge a save makes.
std::string MergeSettingsBlock(const std::string& ours, const SettingsBaseline& baseline,
                               const std::vector<std::pair<std::string, std::string>>& file);

// Told of every save of a keyword file that failed ("WriteFile: error" in the log): the
// target's path and the system's error number at the failure (0 when none was set).
// Null (the default) tells nobody.
using WriteFailureReporter = void (*)(const char* path, int error);
void SetWriteFailureReporter(WriteFailureReporter reporter);

// Why the last read or rewrite of a script refused the file: the user is told what to mend.
struct ScriptRefusal {
    enum Kind {
        kNone,
        kControl,            // a control character other than TAB, CR and LF
        kLongLine,           // a line longer than kMaxScriptLineLength
        kTooManyLines,       // more than kMaxScriptLines lines
        kTooManyStatements,  // a line with more than kMaxStatementsPerLine statements
        kTooDeep,            // more than kMaxScriptDepth braces open at once
        kUnbalanced,         // braces that do not pair
        kUnreadable,         // the stream cannot be read from its position again
    };
    Kind kind = kNone;
    uint32_t line = 0;  // the line at fault; 0 for the file as a whole
};
// The refusal in words, e.g. "a control character on line 3".
std::string ScriptRefusalText(const ScriptRefusal& refusal);

class KeywordFile : public DiskFile {
public:
    KeywordFile();
    ~KeywordFile() override;

    // Reads this object's section from the open stream (ParseLines). False
    // without a section name; logs "Parsing[fs]file: error" when parsing failed.
    bool Load() override;
    // Rewrites the existing target with this object's section replaced, or
    // writes a new block when the target does not exist.
    bool Save() override;
    // Called for every KEY=value statement of the section; the default
    // dispatches through the parse state's table and accepts results above 0.
    virtual bool HasData();
    // Writes the object's KEY=value lines; `lead` is the indentation character
    // of the section (0 for none).
    virtual bool WriteBody(char lead) = 0;

    // Sets the path (with `defaultExtension` when the name has none), the
    // section name from the identity and number when an identity is given and
    // the user data, then reads the file.
    bool Open(const char* path, void* user, const ComponentId* id, uint32_t number,
              const char* defaultExtension);
    // The settings of a property component: the file named by `text`, else by
    // the component's settings file name, split into URL and path; the section
    // from the component's identity and flags word.
    bool LoadFrom(const char* text, PropertyComponent* component);
    bool SaveTo(const char* text, PropertyComponent* component, bool keepBackup);
    // Saves an object that is not a component (the main settings).
    bool WriteFile(const char* path, void* user, const ComponentId* id, uint32_t number,
                   const char* defaultExtension, bool keepBackup);

    // The URL that selects the block: the text, behind `lead` when it is not 0.
    bool SetSectionName(const char* text, char lead);
    // The URL from the file-name part of a path (of the file's own path when null).
    bool SetSectionNameFromPath(const char* path);
    // The section name of an identity and number.
    bool SetSectionId(const ComponentId* id, uint32_t number);
    void ClearUrl();

    // Reads the open stream from its position; false only for a bad file.
    bool ParseLines();
    // Why the last ParseLines or RewriteScript refused the file.
    const ScriptRefusal& Refusal() const { return refusal_; }
    // With this set, a file whose braces do not pair elsewhere is still read when the
    // object's own block opens and closes within it: what the user broke in the block
    // of another file does not take this one's section away. The rewriter still
    // refuses such a file, so it is never rewritten from a guess.
    void SetReadsClosedBlockOfUnbalanced(bool on) { readsClosedBlockOfUnbalanced_ = on; }
    // Copies the old file (OldStream) to the output stream with this object's
    // section replaced.
    bool RewriteScript();
    // Writes a section: "\n" first when asked; with the block header and a URL
    // the SEL header and a blank, otherwise `first` when it is not 0; then the
    // header line, the body, and "}\n" after a SEL header.
    bool WriteBlock(bool withBlockHeader, bool newlineFirst, char first);
    // WriteBlock into `out`, unless a line of the block is longer than the reader
    // takes (logged, state kErrLimit); the block's lines are added to *lines.
    bool WriteCheckedBlock(FILE* out, bool withBlockHeader, bool newlineFirst, char first, uint64_t* lines);

    // printf-style text (the system's spellings understood) to the output stream.
    bool Print(const char* format, ...);

    const std::string& SectionName() const { return section_; }
    bool HasUrl() const { return hasUrl_; }
    const std::string& Url() const { return url_; }
    ParseState& Parse() { return state_; }
    void* UserData() const { return user_; }
    void SetUserData(void* user) { user_ = user; }
    PropertyComponent* Component() const { return component_; }
    // The old file while RewriteScript runs; tests may set it to drive the rewriter.
    FILE* OldStream() const { return oldStream_; }
    void SetOldStream(FILE* stream) { oldStream_ = stream; }
    // The stream RewriteScript and WriteBlock write to: the DiskFile's stream unless
    // another one is set (tests).
    void SetOutputStream(FILE* stream) { output_ = stream; }
    FILE* Output() const { return output_ ? output_ : Stream(); }

private:
    bool PrepareTarget(const char* text, PropertyComponent* component);
    bool LoadTarget();
    bool SetTargetPath(const char* path, const char* defaultExtension);
    bool SaveWithMode(bool keepBackup);
    // The key of this target's baseline: path, URL and section.
    std::string BaselineKey() const;
    // The block as WriteBlock makes it, into *text.
    bool RenderBlock(bool withBlockHeader, bool newlineFirst, char first, std::string* text);

    std::string section_;
    std::string url_;
    bool hasUrl_ = false;
    bool readsClosedBlockOfUnbalanced_ = false;
    ScriptRefusal refusal_;
    FILE* oldStream_ = nullptr;
    FILE* output_ = nullptr;
    void* user_ = nullptr;
    ParseState state_;
    PropertyComponent* component_ = nullptr;
    // The line end of the file being rewritten ("\n" for a new file): new lines take it.
    std::string lineEnd_ = "\n";
    // The values of this object's section in the file as it stands (its first
    // section, as the reader takes it), key and value text; filled by the rewriter.
    std::vector<std::pair<std::string, std::string>> fileValues_;
    bool haveFileValues_ = false;
    // The last byte the rewriter wrote ends a line with a CR alone.
    bool afterLoneCr_ = false;
    // What this save writes before the merge: the next baseline once the save is done.
    std::string pendingBaseline_;
    std::vector<std::string> pendingRead_;
    std::map<std::string, std::string> pendingSeen_;
    bool havePendingBaseline_ = false;
    // The keys (in lower case) that HasData took in the last ParseLines.
    std::vector<std::string> keysTaken_;
    // The values of the section's statements that the last ParseLines went through.
    std::map<std::string, std::string> valuesSeen_;
};

}  // namespace orva
