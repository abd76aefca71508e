#pragma once
// The file dialog drawn with the toolkit: a folder field with "Up", the folders and then
// the files of the folder in a list (hidden files left out), the file name, the file
// type, "Ok" and "Cancel", a status line for names it cannot take, and the extension
// panel of the request. Several files are chosen with Ctrl and Shift when the request
// allows it. It runs as a modal dialog over its owner. UI thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "app/file_dialog.h"

namespace orva {

struct gElement;
struct gWindow;

// ---- The folder as the list shows it ---------------------------------------------------------------
struct FolderEntry {
    std::string name;
    bool folder = false;
    uint64_t size = 0;
};
// The patterns of a filter entry ("*.fits;*.fit"), blanks around them dropped.
std::vector<std::string> SplitPatterns(const std::string& patterns);
// Whether a file name matches one of the patterns: shell patterns without regard to case;
// "*.*" and "*" take every name.
bool NameMatchesPatterns(const std::string& name, const std::vector<std::string>& patterns);
// The folders of the folder, then its files that match the patterns, each sorted by
// name; names that begin with '.' are left out. 0, or the errno of a folder that cannot
// be read.
int ListFolder(const std::string& folder, const std::vector<std::string>& patterns, std::vector<FolderEntry>* entries);
// The names of the name field: several names in double quotes, else the whole text as
// one name (blanks included).
std::vector<std::string> SplitNameField(const std::string& text);
// The folder above (the root stays the root).
std::string ParentFolder(const std::string& folder);
// The folder itself when it can be read, else the nearest folder above it that can,
// else the current folder.
std::string NearestReadableFolder(const std::string& folder);

// ---- The dialog -----------------------------------------------------------------------------------
class ToolkitFileDialog : public FileDialogBackend {
public:
    FileDialogAnswer Run(FileDialogRequest& request) override;
};

// The parts of an open dialog (tests drive and read them).
struct FileDialogParts {
    gElement* folderField = nullptr;
    gElement* upButton = nullptr;
    gElement* list = nullptr;
    gElement* nameField = nullptr;
    gElement* typeText = nullptr;
    gElement* typeBack = nullptr;
    gElement* typeForward = nullptr;
    gElement* status = nullptr;
    gElement* okButton = nullptr;
    gElement* cancelButton = nullptr;
    // The panel's controls (null when the request has none of them).
    gElement* previewButton = nullptr;
    gElement* defaultBox = nullptr;
    gElement* copyBox = nullptr;
    gElement* detailsBox = nullptr;
    gElement* openAsText = nullptr;
    gElement* openAsBack = nullptr;
    gElement* openAsForward = nullptr;
    gElement* mergeBox = nullptr;
};
// The parts of the file dialog in that window, null for other windows.
const FileDialogParts* FileDialogPartsOf(const gWindow* dialog);
// The rows the list shows now (".." first below the root, then folders as "name/").
std::vector<std::string> FileDialogRows(const gWindow* dialog);
// The folder the dialog shows.
std::string FileDialogFolder(const gWindow* dialog);
// The list's row (0-based) at a point of the window, -1 outside the rows.
int32_t FileDialogRowAt(const gWindow* dialog, int32_t x, int32_t y);
// The window point at the middle of a list row shown now; false when the row is not shown.
bool FileDialogRowPoint(const gWindow* dialog, int32_t row, int32_t* x, int32_t* y);

}  // namespace orva
