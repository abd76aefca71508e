#pragma once
// The open and save dialogs of the program. One routine, RunFileDialog, runs every one
// of them: it fills a request (title, filter entries, folder, flags, default extension,
// the extension panel of the dialog's kind), hands it to the file-dialog backend and
// turns the answer into the name buffer the callers read. The backend is our own dialog
// drawn with the toolkit, or, in tests, a scripted backend that records each request and
// answers from a script. The open options of data files ("Open As:", "Default", "Copy of
// default", "Details") and the "Merge" choice of shape files live in extension panels
// whose callbacks are the same for both backends.
//
// UI thread only.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orva {

struct gWindow;

// ---- Dialog flags (the values the callers pass) ---------------------------------------------
constexpr uint32_t kOfnReadOnly = 0x1;
constexpr uint32_t kOfnOverwritePrompt = 0x2;
constexpr uint32_t kOfnHideReadOnly = 0x4;
constexpr uint32_t kOfnNoChangeDir = 0x8;
constexpr uint32_t kOfnEnableHook = 0x20;
constexpr uint32_t kOfnEnableTemplate = 0x40;
constexpr uint32_t kOfnAllowMultiSelect = 0x200;
constexpr uint32_t kOfnExtensionDifferent = 0x400;
constexpr uint32_t kOfnPathMustExist = 0x800;
constexpr uint32_t kOfnFileMustExist = 0x1000;
constexpr uint32_t kOfnNoTestFileCreate = 0x10000;
constexpr uint32_t kOfnExplorer = 0x80000;
constexpr uint32_t kOfnNoDereferenceLinks = 0x100000;
constexpr uint32_t kOfnEnableSizing = 0x800000;
constexpr uint32_t kOfnDontAddToRecent = 0x2000000;

// ---- Dialog kinds and modes --------------------------------------------------------------------
constexpr int32_t kFileDialogData = 0;      // data files (open options, output formats)
constexpr int32_t kFileDialogShapes = 1;    // shape files ("Merge")
constexpr int32_t kFileDialogPalette = 3;
constexpr int32_t kFileDialogText = 4;      // text tables (4 and 5)
constexpr int32_t kFileDialogText2 = 5;
// Modes: 1 (and below) open, 2 save asking before overwriting, 3 save without asking.
constexpr int32_t kFileDialogOpen = 1;
constexpr int32_t kFileDialogSave = 2;
constexpr int32_t kFileDialogSaveQuiet = 3;

// The extension panels.
constexpr int32_t kPanelNone = 0;
constexpr int32_t kPanelOpenData = 1;    // "Make Preview", "Settings:", the boxes, "Open As:"
constexpr int32_t kPanelShapes = 2;      // "Merge"

// The controls of the panels.
enum class FileDialogControl { Default, CopyOfDefault, Details, OpenAs, Merge };

// "Open As:" entries.
inline constexpr const char* kOpenAsEntries[3] = {"Auto", "Binary", "Fits"};
// The list is this much taller in the first open dialog of a run when IncreaseSizeDlg is on.
constexpr int32_t kListEnlargement = 100;

// The open options the run keeps between dialogs (one record for the whole run).
struct OpenDialogState {
    uint32_t filterIndex = 0;      // the last filter index chosen in an open dialog of data files
    uint32_t words[2] = {0, 0};
    uint32_t flags = 19;
    char typeTag[8] = {};          // "FITS", "BINARY" or empty (Auto)
    uint32_t detailsState = 0;     // the last answer of the Preferences dialog for "Details"
    uint8_t defaultBox = 0;        // "Default"
    uint8_t passThrough = 0;
    uint8_t copyBox = 0;           // "Copy of default"
    uint8_t merge = 0;             // "Merge" of shape files
};
OpenDialogState& TheOpenDialogState();
// Puts the run's dialog state back as at the start (the open options, and the list
// enlargement that only the first open dialog of a run gets).
void ResetFileDialogRunState();

// The caller's option record: required to get the choices of a data-file dialog back,
// optional for shape files.
struct FileDialogOptions {
    uint8_t defaults[2] = {0, 0};  // out: "Default" and "Copy of default" (data files)
    // In: when non-negative, sets the pass-through byte (data files) or "Merge" (shapes)
    // to (value != 0); out: that byte.
    int32_t passThrough = -1;
    int32_t filterIndex = 0;       // in (data files): the filter to start with, 0 the last one; out: the chosen one
    uint32_t words[2] = {0, 0};    // out (data files): the rest of the open options
    uint32_t flags = 0;
    char typeTag[8] = {};
};

// One entry of a dialog's file-type filter.
struct FileFilterEntry {
    std::string description;
    std::string patterns;          // "*.fits;*.fit"
    bool operator==(const FileFilterEntry&) const = default;
};
// The entries of a filter text: pairs of NUL-ended texts, ended by an empty text.
std::vector<FileFilterEntry> ParseFilterText(const char* filter);
// The default filter and extension of a dialog kind (see RunFileDialog).
std::vector<FileFilterEntry> DefaultFilterOfKind(int32_t kind);
const char* DefaultExtensionOfKind(int32_t kind);

// The state of the extension panel as the dialog shows it.
struct FileDialogPanel {
    int32_t kind = kPanelNone;
    int32_t openAs = 0;            // index into kOpenAsEntries
    bool defaultBox = false;
    bool copyBox = false;
    bool detailsBox = false;
    bool mergeBox = false;
};

// What the dialog answers.
struct FileDialogAnswer {
    bool ok = false;
    std::string folder;              // the folder the names are in
    std::vector<std::string> names;  // one or more names (one may be a full path)
    int32_t filterIndex = 0;         // 1-based; 0 keeps the request's
};

// What a backend is asked to show. The callbacks are the extension panel's and the save
// dialog's: a backend runs Init once the dialog stands, the other helpers when the user
// changes something, and Accept when the user has chosen (a false answer keeps the
// dialog open).
struct FileDialogRequest {
    gWindow* owner = nullptr;
    std::string title;
    bool save = false;
    int32_t mode = kFileDialogOpen;
    int32_t kind = kFileDialogData;
    uint32_t flags = 0;
    std::vector<FileFilterEntry> filters;
    int32_t filterIndex = 1;         // 1-based, within the filters
    std::string folder;              // the folder to start in (absolute)
    std::string fileName;            // the name to start with
    std::string defaultExtension;    // without a dot; empty: none
    bool enlargeList = false;        // the list 100 pixels taller
    FileDialogPanel panel;
    gWindow* dialogWindow = nullptr; // the toolkit dialog while it stands

    std::function<void(FileDialogRequest&)> onInit;
    std::function<void(FileDialogRequest&, FileDialogControl)> onCommand;
    std::function<void(FileDialogRequest&, int32_t)> onTypeChange;
    std::function<void(FileDialogRequest&, const std::string&)> onFolderChange;
    std::function<bool(FileDialogRequest&)> onAccept;

    // Helpers the backends act through.
    void Init();
    // Ticks or unticks a box of the panel and runs its command.
    void SetBox(FileDialogControl control, bool on);
    void SetOpenAs(int32_t index);
    void ChangeType(int32_t index);
    void ChangeFolder(const std::string& folder);
    bool Accept();
    bool MultiSelect() const { return (flags & kOfnAllowMultiSelect) != 0; }
};

// The extension a name without one gets: the default extension when the chosen type lists
// it or takes any name, else the chosen type's first extension (a file saved as "Binary"
// is named as one, not as FITS).
std::string ChosenTypeExtension(const FileDialogRequest& request);

class FileDialogBackend {
public:
    virtual ~FileDialogBackend() = default;
    // Shows the dialog and returns what the user chose.
    virtual FileDialogAnswer Run(FileDialogRequest& request) = 0;
};
// The backend RunFileDialog uses: the one set, else the toolkit dialog.
FileDialogBackend* CurrentFileDialogBackend();
// Null puts the toolkit dialog back.
void SetFileDialogBackend(FileDialogBackend* backend);

// Sets a backend for its lifetime and puts the previous one back.
class ScopedFileDialogBackend {
public:
    explicit ScopedFileDialogBackend(FileDialogBackend* backend);
    ~ScopedFileDialogBackend();
    ScopedFileDialogBackend(const ScopedFileDialogBackend&) = delete;
    ScopedFileDialogBackend& operator=(const ScopedFileDialogBackend&) = delete;

private:
    FileDialogBackend* previous_;
};

// The scripted backend of tests: each request is recorded, then answered by the next
// queued script (none: cancelled). Init runs before the script, Accept after a script
// that chose.
class ScriptedFileDialog : public FileDialogBackend {
public:
    using Script = std::function<FileDialogAnswer(FileDialogRequest&)>;
    struct Record {
        std::string title;
        bool save = false;
        int32_t mode = 0;
        int32_t kind = 0;
        uint32_t flags = 0;
        std::vector<FileFilterEntry> filters;
        int32_t filterIndex = 0;
        std::string folder;
        std::string fileName;
        std::string defaultExtension;
        int32_t panelKind = kPanelNone;
        FileDialogPanel panelAtInit;   // the panel once Init ran
        bool enlargeList = false;
    };

    FileDialogAnswer Run(FileDialogRequest& request) override;
    void Push(Script script) { scripts_.push_back(std::move(script)); }
    int Pending() const { return static_cast<int>(scripts_.size()); }
    const std::vector<Record>& Requests() const { return requests_; }

    // Ready-made scripts.
    static Script Cancel();
    // Chooses the names in the folder (empty: the request's) with the filter (0: the
    // request's).
    static Script Choose(std::vector<std::string> names, std::string folder = {}, int32_t filterIndex = 0);

private:
    std::deque<Script> scripts_;
    std::vector<Record> requests_;
};

// Runs an open (mode 1 or below) or save dialog (mode 2, or 3 without the overwrite
// question). owner: the window the dialog stands over; options: the caller's option
// record; buffer/size: the name buffer (in: a name whose folder the dialog starts in;
// out: the chosen full path, or, for several files, the folder followed by the names,
// each ended by a NUL, with an extra NUL at the end); initialFolder: the folder to start
// in (empty: the current one); filter: pairs of NUL-ended texts (null: the kind's);
// defaultExtension: added to a name without one (null: the kind's); kind: 0 data files,
// 1 shapes, 3 palettes, 4 and 5 text tables; filterIndex: in and out, 1-based (may be
// null). Returns 0 when cancelled, refused or failed, -1 for one file, else the offset of
// the first name in the buffer. `chosen`, when given, receives the full paths.
int32_t RunFileDialog(gWindow* owner, FileDialogOptions* options, char* buffer, size_t size,
                      const char* initialFolder, const char* title, uint32_t flags, const char* filter,
                      const char* defaultExtension, int32_t kind, int32_t* filterIndex, int32_t mode,
                      std::vector<std::string>* chosen = nullptr);

}  // namespace orva
