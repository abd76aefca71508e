#include "app/file_dialog.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/file_dialog_window.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "app/preferences.h"
#include "common/log.h"
#include "common/paths.h"
#include "framework/app_object.h"
#include "io/format_registry.h"
#include "toolkit/window.h"

namespace orva {

namespace {

struct RunState {
    OpenDialogState open;
    bool listEnlarged = false;  // set by the first enlargement of the run, never cleared
    FileDialogBackend* backend = nullptr;
};

RunState& State() {
    static RunState state;
    return state;
}

// The Preferences dialog's page that "Details" shows.
constexpr int32_t kDetailsPage = 2;

void CopyTag(char (&to)[8], const char* from) {
    std::memset(to, 0, sizeof to);
    if (from != nullptr) std::memcpy(to, from, std::min(std::strlen(from), sizeof to));
}

// The Preferences dialog beside the file dialog, inside the screen.
void PlacePreferencesBeside(const FileDialogRequest& request) {
    gWindow* dialog = gWinValidate(request.dialogWindow);
    gWindow* prefs = gWinValidate(ThePreferencesDialog().window);
    if (dialog == nullptr || prefs == nullptr || !PreferencesDialogIsShown()) return;
    pf::Point position{dialog->x + dialog->width + 4, dialog->y};
    if (position.x + prefs->width > gScreenWidth()) position.x = std::max(0, dialog->x - prefs->width - 4);
    position.y = std::max(0, position.y);
    gWinSetSize(prefs, prefs->clientWidth, prefs->clientHeight, &position);
}

// ---- The data-file panel ("Open As:", "Default", "Copy of default", "Details") ---------------------

void DataPanelInit(FileDialogRequest& request) {
    OpenDialogState& s = State().open;
    request.panel.openAs = 0;
    request.panel.defaultBox = s.defaultBox != 0;
    request.panel.copyBox = s.copyBox != 0;
    if ((s.detailsState & 2) != 0) {
        s.detailsState = static_cast<uint32_t>(PreferencesDialogOpen(kPanelShow, kDetailsPage));
        request.panel.detailsBox = (s.detailsState & 2) != 0;
        PlacePreferencesBeside(request);
    }
}

void DataPanelCommand(FileDialogRequest& request, FileDialogControl control) {
    OpenDialogState& s = State().open;
    switch (control) {
        case FileDialogControl::Default:
            if (!request.panel.defaultBox) s.defaultBox = 0;
            break;
        case FileDialogControl::CopyOfDefault:
            if (!request.panel.copyBox) s.copyBox = 0;
            break;
        case FileDialogControl::Details:
            s.detailsState = static_cast<uint32_t>(
                PreferencesDialogOpen(request.panel.detailsBox ? kPanelShow : kPanelClose, kDetailsPage));
            PlacePreferencesBeside(request);
            break;
        default:
            break;
    }
}

bool DataPanelAccept(FileDialogRequest& request) {
    OpenDialogState& s = State().open;
    static const char* const kTags[3] = {"", "BINARY", "FITS"};
    CopyTag(s.typeTag, kTags[std::clamp(request.panel.openAs, 0, 2)]);
    s.defaultBox = request.panel.defaultBox ? 1 : 0;
    s.copyBox = request.panel.copyBox ? 1 : 0;
    return true;
}

// ---- The save dialog of data files: the output format follows the chosen type ----------------

ProjectItem* CurrentItemWithSource() {
    CUI& cui = TheCUI();
    Project* project = cui.currentProject;
    ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
    return item != nullptr && item->currentSource.load() != nullptr ? item : nullptr;
}

void SaveTypeChange(FileDialogRequest&, int32_t index) {
    FormatRegistry& registry = TheFormatRegistry();
    if (registry.currentOutput != nullptr) registry.currentOutput->current = index;
    if (ProjectItem* item = CurrentItemWithSource()) OutputFormatFollowsDialog(item, nullptr, index, 1);
}

void SaveFolderChange(FileDialogRequest&, const std::string&) {
    if (CurrentItemWithSource() != nullptr) CUIRedrawCurrentOutput(&TheCUI());
}

std::string AbsoluteFolder(const std::string& folder) {
    std::string path(kPathMax, '\0');
    size_t n = FullPathName(path.data(), folder.empty() ? "." : folder.c_str(), path.size());
    if (n == 0 || n >= path.size()) return folder.empty() ? std::string("/") : folder;
    path.resize(n);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Writes the answer into the caller's buffer: one full path (result -1), or the folder
// and the names (result: the offset of the first name). 0 when nothing fits.
int32_t FillBuffer(const FileDialogRequest& request, const FileDialogAnswer& answer, char* buffer, size_t size,
                   std::vector<std::string>* chosen) {
    std::vector<std::string> names;
    for (const std::string& n : answer.names)
        if (!n.empty()) names.push_back(n);
    if (names.empty()) return 0;
    std::string folder = answer.folder.empty() ? request.folder : answer.folder;
    if (names.size() == 1) {
        std::string path = JoinPath(folder, names[0]);
        if (path.size() + 1 > size) {
            LogPrintf("File dialog: the chosen name does not fit (%u bytes): %s", static_cast<unsigned>(size),
                      path.c_str());
            return 0;
        }
        std::memcpy(buffer, path.c_str(), path.size() + 1);
        if (chosen != nullptr) chosen->assign(1, path);
        return -1;
    }
    if (!request.MultiSelect()) {
        LogPrintf("%s", "File dialog: several names chosen without multiple selection");
        return 0;
    }
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    size_t need = folder.size() + 1 + 1;
    for (const std::string& n : names) need += n.size() + 1;
    if (need > size || folder.size() + 1 > static_cast<size_t>(INT32_MAX)) {
        LogPrintf("File dialog: the chosen names do not fit (%u bytes)", static_cast<unsigned>(size));
        return 0;
    }
    char* p = buffer;
    std::memcpy(p, folder.c_str(), folder.size() + 1);
    p += folder.size() + 1;
    std::vector<std::string> paths;
    for (const std::string& n : names) {
        std::memcpy(p, n.c_str(), n.size() + 1);
        p += n.size() + 1;
        paths.push_back(JoinPath(folder, n));
    }
    *p = '\0';
    if (chosen != nullptr) *chosen = std::move(paths);
    return static_cast<int32_t>(folder.size() + 1);
}

FileDialogBackend& ToolkitBackend() {
    static ToolkitFileDialog backend;
    return backend;
}

}  // namespace

OpenDialogState& TheOpenDialogState() { return State().open; }

void ResetFileDialogRunState() {
    State().open = OpenDialogState{};
    State().listEnlarged = false;
}

// ---- Filters ---------------------------------------------------------------------------------------------

std::vector<FileFilterEntry> ParseFilterText(const char* filter) {
    std::vector<FileFilterEntry> entries;
    if (filter == nullptr) return entries;
    const char* p = filter;
    while (*p != '\0') {
        FileFilterEntry entry;
        entry.description = p;
        p += entry.description.size() + 1;
        if (*p == '\0') break;  // a description without patterns ends the list
        entry.patterns = p;
        p += entry.patterns.size() + 1;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<FileFilterEntry> DefaultFilterOfKind(int32_t kind) {
    switch (kind) {
        case kFileDialogPalette: return {{"Palette [*.pal]", "*.pal"}, {"All", "*.*"}};
        case kFileDialogText:
        case kFileDialogText2: return {{"Text [*.txt]", "*.txt"}, {"All", "*.*"}};
        default: return {{"All", "*.*"}};
    }
}

const char* DefaultExtensionOfKind(int32_t kind) {
    switch (kind) {
        case kFileDialogData: return "fits";
        case kFileDialogPalette: return "pal";
        case kFileDialogText:
        case kFileDialogText2: return "txt";
        default: return nullptr;
    }
}

std::string ChosenTypeExtension(const FileDialogRequest& request) {
    const std::string& fallback = request.defaultExtension;
    if (request.filterIndex < 1 || static_cast<size_t>(request.filterIndex) > request.filters.size()) return fallback;
    const std::string& patterns = request.filters[static_cast<size_t>(request.filterIndex) - 1].patterns;
    std::string first;
    size_t at = 0;
    while (at <= patterns.size()) {
        size_t end = patterns.find(';', at);
        if (end == std::string::npos) end = patterns.size();
        const std::string pattern = patterns.substr(at, end - at);
        at = end + 1;
        if (pattern.rfind("*.", 0) != 0) continue;
        const std::string ext = pattern.substr(2);
        if (ext.empty() || ext.find_first_of("*?") != std::string::npos) return fallback;  // any name
        if (ext == fallback) return fallback;
        if (first.empty()) first = ext;
    }
    return first.empty() ? fallback : first;
}

// ---- Requests -------------------------------------------------------------------------------------------

void FileDialogRequest::Init() {
    if (onInit) onInit(*this);
}

void FileDialogRequest::SetBox(FileDialogControl control, bool on) {
    switch (control) {
        case FileDialogControl::Default: panel.defaultBox = on; break;
        case FileDialogControl::CopyOfDefault: panel.copyBox = on; break;
        case FileDialogControl::Details: panel.detailsBox = on; break;
        case FileDialogControl::Merge: panel.mergeBox = on; break;
        default: return;
    }
    if (onCommand) onCommand(*this, control);
}

void FileDialogRequest::SetOpenAs(int32_t index) {
    panel.openAs = std::clamp(index, 0, 2);
    if (onCommand) onCommand(*this, FileDialogControl::OpenAs);
}

void FileDialogRequest::ChangeType(int32_t index) {
    if (filters.empty()) return;
    filterIndex = std::clamp(index, 1, static_cast<int32_t>(filters.size()));
    if (onTypeChange) onTypeChange(*this, filterIndex);
}

void FileDialogRequest::ChangeFolder(const std::string& newFolder) {
    folder = newFolder;
    if (onFolderChange) onFolderChange(*this, folder);
}

bool FileDialogRequest::Accept() { return onAccept ? onAccept(*this) : true; }

// ---- Backends -----------------------------------------------------------------------------------------

FileDialogBackend* CurrentFileDialogBackend() {
    return State().backend != nullptr ? State().backend : &ToolkitBackend();
}

void SetFileDialogBackend(FileDialogBackend* backend) { State().backend = backend; }

ScopedFileDialogBackend::ScopedFileDialogBackend(FileDialogBackend* backend) : previous_(State().backend) {
    State().backend = backend;
}

ScopedFileDialogBackend::~ScopedFileDialogBackend() { State().backend = previous_; }

FileDialogAnswer ScriptedFileDialog::Run(FileDialogRequest& request) {
    Record record;
    record.title = request.title;
    record.save = request.save;
    record.mode = request.mode;
    record.kind = request.kind;
    record.flags = request.flags;
    record.filters = request.filters;
    record.filterIndex = request.filterIndex;
    record.folder = request.folder;
    record.fileName = request.fileName;
    record.defaultExtension = request.defaultExtension;
    record.panelKind = request.panel.kind;
    record.enlargeList = request.enlargeList;
    request.Init();
    record.panelAtInit = request.panel;
    requests_.push_back(record);
    if (scripts_.empty()) return {};
    Script script = std::move(scripts_.front());
    scripts_.pop_front();
    FileDialogAnswer answer = script ? script(request) : FileDialogAnswer{};
    if (!answer.ok) return {};
    if (answer.filterIndex <= 0) answer.filterIndex = request.filterIndex;
    if (!request.Accept()) return {};
    return answer;
}

ScriptedFileDialog::Script ScriptedFileDialog::Cancel() {
    return [](FileDialogRequest&) { return FileDialogAnswer{}; };
}

ScriptedFileDialog::Script ScriptedFileDialog::Choose(std::vector<std::string> names, std::string folder,
                                                      int32_t filterIndex) {
    return [names = std::move(names), folder = std::move(folder), filterIndex](FileDialogRequest& request) {
        if (!folder.empty() && folder != request.folder) request.ChangeFolder(folder);
        if (filterIndex > 0 && filterIndex != request.filterIndex) request.ChangeType(filterIndex);
        FileDialogAnswer answer;
        answer.ok = true;
        answer.folder = request.folder;
        answer.names = names;
        answer.filterIndex = request.filterIndex;
        return answer;
    };
}

// ---- RunFileDialog -----------------------------------------------------------------------------------------

int32_t RunFileDialog(gWindow* owner, FileDialogOptions* options, char* buffer, size_t size,
                      const char* initialFolder, const char* title, uint32_t flags, const char* filter,
                      const char* defaultExtension, int32_t kind, int32_t* filterIndex, int32_t mode,
                      std::vector<std::string>* chosen) {
    if (chosen != nullptr) chosen->clear();
    // One dialog at a time; while it (or a message box) is open, the flag is set.
    if (ModalOpen()) return 0;
    if (buffer == nullptr || size < 2) return 0;
    ModalOpenScope modal;
    buffer[size - 1] = '\0';

    FileDialogRequest request;
    request.owner = gWinValidate(owner);
    request.title = title != nullptr ? title : "";
    request.save = mode > 1;
    request.mode = mode;
    request.kind = kind;
    request.filters = ParseFilterText(filter);
    if (request.filters.empty()) {
        if (request.save && kind == kFileDialogData) {
            LogPrintf("File dialog '%s': no file types to save data as", request.title.c_str());
            return 0;
        }
        request.filters = DefaultFilterOfKind(kind);
    }
    const char* extension = defaultExtension != nullptr && *defaultExtension != '\0' ? defaultExtension
                                                                                    : DefaultExtensionOfKind(kind);
    request.defaultExtension = extension != nullptr ? extension : "";
    if (!request.defaultExtension.empty() && request.defaultExtension[0] == '.') request.defaultExtension.erase(0, 1);

    // The start: the folder of a name in the buffer, else the caller's folder, else the
    // current one. An open dialog with a default extension drops the name itself; a save
    // dialog keeps it, since the caller proposes the name to save under.
    std::string start = initialFolder != nullptr && *initialFolder != '\0' ? initialFolder : ".";
    if (buffer[0] != '\0') {
        std::string given = buffer;
        size_t slash = given.rfind('/');
        if (slash != std::string::npos) {
            start = slash == 0 ? "/" : given.substr(0, slash);
            given.erase(0, slash + 1);
        }
        if (request.defaultExtension.empty() || request.save) request.fileName = given;
    }
    request.folder = AbsoluteFolder(start);

    request.flags = (flags & ~kOfnNoDereferenceLinks) | kOfnExplorer | kOfnEnableSizing;
    OpenDialogState& open = State().open;
    bool prefsShownBefore = false;
    int32_t index = filterIndex != nullptr ? *filterIndex : 0;
    if (request.save) {
        request.flags |= kOfnDontAddToRecent | kOfnNoChangeDir;
        if (mode == kFileDialogSaveQuiet) {
            request.flags &= ~kOfnOverwritePrompt;
        } else {
            request.flags |= kOfnOverwritePrompt;
        }
        if (kind == kFileDialogData) {
            request.onTypeChange = &SaveTypeChange;
            request.onFolderChange = &SaveFolderChange;
        }
    } else if (kind == kFileDialogData) {
        prefsShownBefore = PreferencesDialogIsShown();
        open.detailsState &= ~1u;
        CopyTag(open.typeTag, nullptr);
        if (index <= 0 && options != nullptr) index = options->filterIndex;
        if (index <= 0) index = static_cast<int32_t>(open.filterIndex);
        if (options != nullptr && options->passThrough >= 0) open.passThrough = options->passThrough != 0 ? 1 : 0;
        request.panel.kind = kPanelOpenData;
        request.onInit = &DataPanelInit;
        request.onCommand = &DataPanelCommand;
        request.onAccept = &DataPanelAccept;
    } else if (kind == kFileDialogShapes) {
        if (options != nullptr && options->passThrough >= 0) open.merge = options->passThrough != 0 ? 1 : 0;
        request.panel.kind = kPanelShapes;
        request.onInit = [](FileDialogRequest& r) { r.panel.mergeBox = State().open.merge != 0; };
        request.onAccept = [](FileDialogRequest& r) {
            State().open.merge = r.panel.mergeBox ? 1 : 0;
            return true;
        };
    }
    if (request.panel.kind != kPanelNone) {
        request.flags |= kOfnEnableHook | kOfnEnableTemplate;
        if (TheApp().Settings().increaseSizeDlg != 0 && !State().listEnlarged) {
            request.enlargeList = true;
            State().listEnlarged = true;
        }
    }
    request.filterIndex = std::clamp(index, 1, static_cast<int32_t>(request.filters.size()));

    FileDialogAnswer answer;
    try {
        answer = CurrentFileDialogBackend()->Run(request);
    } catch (const std::exception& e) {
        LogPrintf("File dialog '%s': %s", request.title.c_str(), e.what());
        answer = FileDialogAnswer{};
    } catch (...) {
        LogPrintf("File dialog '%s': failed", request.title.c_str());
        answer = FileDialogAnswer{};
    }

    // A Preferences dialog that "Details" showed goes away with the file dialog.
    if (!request.save && kind == kFileDialogData && !prefsShownBefore && PreferencesDialogIsShown()) {
        PreferencesDialogOpen(kPanelClose, kDetailsPage);
    }
    int32_t result = 0;
    if (answer.ok) {
        int32_t chosenIndex = answer.filterIndex > 0 ? answer.filterIndex : request.filterIndex;
        result = FillBuffer(request, answer, buffer, size, chosen);
        if (result != 0) {
            if (filterIndex != nullptr) *filterIndex = chosenIndex;
            if (!request.save && kind == kFileDialogData) {
                open.filterIndex = static_cast<uint32_t>(chosenIndex);
                if (options != nullptr) {
                    options->defaults[0] = open.defaultBox;
                    options->defaults[1] = open.copyBox;
                    options->passThrough = open.passThrough;
                    options->filterIndex = chosenIndex;
                    options->words[0] = open.words[0];
                    options->words[1] = open.words[1];
                    options->flags = open.flags;
                    std::memcpy(options->typeTag, open.typeTag, sizeof options->typeTag);
                }
            } else if (!request.save && kind == kFileDialogShapes && options != nullptr) {
                options->passThrough = open.merge;
                options->filterIndex = chosenIndex;
            }
        }
    }
    if (request.owner != nullptr && gWinValidate(request.owner) != nullptr) RepaintWindowNow(request.owner, 7);
    return result;
}

}  // namespace orva
