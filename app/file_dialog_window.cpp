#include "app/file_dialog_window.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "app/check_button.h"
#include "app/cui.h"
#include "app/dialog_look.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "app/status_line.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/system.h"
#include "platform/window_api.h"
#include "platform/window_icons.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/painters.h"
#include "toolkit/shortcuts.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

// ---- The folder as the list shows it ---------------------------------------------------------------

std::vector<std::string> SplitPatterns(const std::string& patterns) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(';', start);
        if (end == std::string::npos) end = patterns.size();
        std::string p = patterns.substr(start, end - start);
        size_t first = p.find_first_not_of(' '), last = p.find_last_not_of(' ');
        if (first != std::string::npos) out.push_back(p.substr(first, last - first + 1));
        start = end + 1;
    }
    return out;
}

bool NameMatchesPatterns(const std::string& name, const std::vector<std::string>& patterns) {
    for (const std::string& p : patterns) {
        if (p == "*.*" || p == "*") return true;
        if (fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD | FNM_PERIOD) == 0) return true;
    }
    return false;
}

namespace {

bool NameBefore(const std::string& a, const std::string& b) {
    int c = strcasecmp(a.c_str(), b.c_str());
    return c != 0 ? c < 0 : a < b;
}

std::string JoinName(const std::string& folder, const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool HasWildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

}  // namespace

int ListFolder(const std::string& folder, const std::vector<std::string>& patterns, std::vector<FolderEntry>* entries) {
    entries->clear();
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return errno != 0 ? errno : EIO;
    std::vector<FolderEntry> folders, files;
    errno = 0;
    while (dirent* d = readdir(dir)) {
        const char* name = d->d_name;
        if (name[0] == '.') continue;  // hidden, "." and ".."
        FolderEntry e;
        e.name = name;
        struct stat st;
        std::string path = JoinName(folder, e.name);
        if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) continue;
        e.folder = S_ISDIR(st.st_mode);
        if (e.folder) {
            folders.push_back(std::move(e));
        } else if (NameMatchesPatterns(e.name, patterns)) {
            e.size = static_cast<uint64_t>(st.st_size);
            files.push_back(std::move(e));
        }
    }
    closedir(dir);
    auto byName = [](const FolderEntry& a, const FolderEntry& b) { return NameBefore(a.name, b.name); };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    entries->reserve(folders.size() + files.size());
    for (FolderEntry& e : folders) entries->push_back(std::move(e));
    for (FolderEntry& e : files) entries->push_back(std::move(e));
    return 0;
}

std::vector<std::string> SplitNameField(const std::string& text) {
    std::vector<std::string> names;
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return names;
    if (text[first] == '"') {
        // Quoted names; whatever lies between them is left out.
        size_t p = first;
        bool closed = true;
        while (p < text.size()) {
            size_t open = text.find('"', p);
            if (open == std::string::npos) break;
            size_t close = text.find('"', open + 1);
            if (close == std::string::npos) {
                closed = false;
                break;
            }
            if (close > open + 1) names.push_back(text.substr(open + 1, close - open - 1));
            p = close + 1;
        }
        if (closed) return names;
        names.clear();
    }
    names.push_back(text);
    return names;
}

std::string ParentFolder(const std::string& folder) {
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    size_t slash = f.rfind('/');
    if (slash == std::string::npos) return f;
    return slash == 0 ? std::string("/") : f.substr(0, slash);
}

std::string NearestReadableFolder(const std::string& folder) {
    std::string f = folder.empty() ? std::string(".") : folder;
    for (int guard = 0; guard < 4096; ++guard) {
        if (IsFolder(f) && access(f.c_str(), R_OK | X_OK) == 0) return f;
        std::string up = ParentFolder(f);
        if (up == f) break;
        f = up;
    }
    char cwd[kPathMax];
    if (getcwd(cwd, sizeof cwd) != nullptr) return cwd;
    return "/";
}

// ---- The dialog ------------------------------------------------------------------------------------------

namespace {

constexpr float kLabelWidth = 84.0f;
constexpr float kStepWidth = 17.0f;
constexpr float kButtonWidth = 80.0f;
constexpr float kListRowHeight = 20.0f;  // 100 pixels are five rows
constexpr float kListHeader = 20.0f;
constexpr float kNameColumn = 352.0f;
constexpr float kSizeColumn = 96.0f;
constexpr int32_t kListRows = 12;

struct Row {
    std::string name;
    bool folder = false;
    bool parent = false;  // ".."
    uint64_t size = 0;
};

struct DialogRun {
    FileDialogRequest* request = nullptr;
    FileDialogAnswer answer;
    gWindow* window = nullptr;
    FileDialogParts parts;
    std::string folder;
    std::vector<Row> rows;
    int32_t anchor = -1;         // where a Shift range starts
    int32_t cursor = -1;         // the row chosen last
    size_t callerTypes = 0;      // the caller's file types (patterns typed as names follow)
    int32_t callerType = 1;      // the caller's type chosen before a typed pattern
    bool nameFromList = false;   // the name field shows the list's selection
};

std::vector<gWindow*>& OpenDialogs() {
    static std::vector<gWindow*> dialogs;
    return dialogs;
}

DialogRun* RunOf(const gWindow* w) {
    if (w == nullptr || gWinValidate(w) == nullptr) return nullptr;
    auto& open = OpenDialogs();
    if (std::find(open.begin(), open.end(), w) == open.end()) return nullptr;
    return static_cast<DialogRun*>(w->userData);
}

DialogRun* RunOfWidget(const gElement* e) { return e != nullptr ? RunOf(e->window) : nullptr; }

void Repaint(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return;
    window->dirty = 7;
    if ((window->state & (kStateInHandler | kStateHidden | kStateMinimised | kStateClosed)) != 0 ||
        window->hwnd == nullptr) {
        return;
    }
    gWinRedraw(window);
}

void SetText(gElement* e, const std::string& text) {
    if (e == nullptr || !gWgtIsLive(e)) return;
    if (gEditWorkWidget() == e) gWgtEditCancel(e);
    e->text = text;
    if (gWgtEdit(e) != nullptr) {
        gWgtEditMeasure(e);
        gWgtEditHome(e);
    } else if (gTextHooks().layout != nullptr) {
        gTextHooks().layout(e);
    }
    gWgtQueueRedraw(e);
}

void ShowStatus(DialogRun* run, const std::string& text) {
    SetText(run->parts.status, text);
    Repaint(run->window);
}

std::string SizeText(uint64_t size) {
    char buffer[32];
    if (size < 10240) {
        std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(size));
    } else if (size < 10485760) {
        std::snprintf(buffer, sizeof buffer, "%llu KB", static_cast<unsigned long long>((size + 1023) / 1024));
    } else {
        std::snprintf(buffer, sizeof buffer, "%llu MB", static_cast<unsigned long long>((size + 1048575) / 1048576));
    }
    return buffer;
}

ListCtrl* ListOf(DialogRun* run) { return ListCtrl::FromWidget(run->parts.list); }

int32_t RealRows(const DialogRun* run) { return static_cast<int32_t>(run->rows.size()); }

// Fills the list from the rows, padded with empty rows that cannot be chosen so that the
// list keeps its height.
void FillList(DialogRun* run) {
    ListCtrl* list = ListOf(run);
    if (list == nullptr) return;
    const int32_t visible = std::max<int32_t>(
        1, static_cast<int32_t>((list->requestedHeight - list->headerHeight - 2) / list->rowHeight));
    const int32_t count = std::max(RealRows(run), visible);
    std::vector<std::string> names(static_cast<size_t>(count)), sizes(static_cast<size_t>(count));
    for (int32_t i = 0; i < RealRows(run); ++i) {
        const Row& r = run->rows[static_cast<size_t>(i)];
        names[static_cast<size_t>(i)] = r.parent ? ".." : r.folder ? r.name + "/" : r.name;
        sizes[static_cast<size_t>(i)] = r.parent || r.folder ? "<folder>" : SizeText(r.size);
    }
    std::vector<const char*> nameTexts(names.size()), sizeTexts(sizes.size());
    for (size_t i = 0; i < names.size(); ++i) {
        nameTexts[i] = names[i].c_str();
        sizeTexts[i] = sizes[i].c_str();
    }
    list->firstVisible = 0;
    ListCtrl::ResizeRows(list, 0, nullptr);
    ListCtrl::FillRows(list, 0, nameTexts.data(), count);
    ListCtrl::FillRows(list, 1, sizeTexts.data(), count);
    ListCtrl::ClearSelection(list);
    for (int32_t i = 0; i < count; ++i) list->rows[static_cast<size_t>(i)].disabled = i >= RealRows(run) ? 1 : 0;
    for (int32_t i = 0; i < RealRows(run); ++i)
        list->rows[static_cast<size_t>(i)].emphasised = run->rows[static_cast<size_t>(i)].folder ? 1 : 0;
    ListCtrl::LayoutRows(list);
    run->anchor = run->cursor = -1;
}

std::vector<std::string> CurrentPatterns(const DialogRun* run) {
    const FileDialogRequest& r = *run->request;
    if (r.filters.empty()) return {"*"};
    int32_t i = std::clamp(r.filterIndex, 1, static_cast<int32_t>(r.filters.size()));
    return SplitPatterns(r.filters[static_cast<size_t>(i - 1)].patterns);
}

// Reads the folder into the rows; false (nothing changed) when it cannot be read.
bool LoadFolder(DialogRun* run, const std::string& folder, bool report) {
    std::vector<FolderEntry> entries;
    int error = ListFolder(folder, CurrentPatterns(run), &entries);
    if (error != 0) {
        if (report) ShowStatus(run, "Cannot read the folder " + folder + ": " + std::strerror(error));
        return false;
    }
    run->folder = folder;
    run->rows.clear();
    if (folder != "/") run->rows.push_back(Row{"..", true, true, 0});
    for (FolderEntry& e : entries) run->rows.push_back(Row{std::move(e.name), e.folder, false, e.size});
    FillList(run);
    SetText(run->parts.folderField, folder);
    return true;
}

void SyncPanel(DialogRun* run) {
    const FileDialogPanel& p = run->request->panel;
    SetCheckButton(run->parts.defaultBox, p.defaultBox);
    SetCheckButton(run->parts.copyBox, p.copyBox);
    SetCheckButton(run->parts.detailsBox, p.detailsBox);
    SetCheckButton(run->parts.mergeBox, p.mergeBox);
    if (run->parts.openAsText != nullptr) SetText(run->parts.openAsText, kOpenAsEntries[std::clamp(p.openAs, 0, 2)]);
}

void ShowType(DialogRun* run) {
    const FileDialogRequest& r = *run->request;
    if (r.filters.empty()) return;
    const FileFilterEntry& f = r.filters[static_cast<size_t>(std::clamp(r.filterIndex, 1, static_cast<int32_t>(r.filters.size())) - 1)];
    std::string text = f.description;
    if (text.find(f.patterns) == std::string::npos) text += "  (" + f.patterns + ")";
    SetText(run->parts.typeText, text);
}

// Goes into a folder: the list, the folder field and the folder-change callback.
void EnterFolder(DialogRun* run, const std::string& folder) {
    std::string resolved(kPathMax, '\0');
    size_t n = FullPathName(resolved.data(), folder.c_str(), resolved.size());
    std::string target = n > 0 && n < resolved.size() ? resolved.substr(0, n) : folder;
    if (!LoadFolder(run, target, true)) return;
    ShowStatus(run, "");
    if (!run->request->save || run->nameFromList) {
        SetText(run->parts.nameField, "");
        run->nameFromList = false;
    }
    run->request->ChangeFolder(run->folder);
    Repaint(run->window);
}

// The name field shows the files selected in the list.
void NameFromSelection(DialogRun* run) {
    ListCtrl* list = ListOf(run);
    if (list == nullptr) return;
    std::vector<std::string> chosen;
    for (int32_t i = 0; i < RealRows(run); ++i) {
        const Row& r = run->rows[static_cast<size_t>(i)];
        if (!r.folder && list->rows[static_cast<size_t>(i)].selected) chosen.push_back(r.name);
    }
    if (chosen.empty()) return;
    std::string text;
    if (chosen.size() == 1) {
        text = chosen[0];
    } else {
        for (const std::string& c : chosen) text += (text.empty() ? "\"" : " \"") + c + "\"";
    }
    SetText(run->parts.nameField, text);
    run->nameFromList = true;
}

void MarkRow(ListCtrl* list, int32_t row, bool on) {
    ListRow& r = list->rows[static_cast<size_t>(row)];
    if (r.selected == (on ? 1 : 0)) return;
    r.selected = on ? 1 : 0;
    list->selectedCount += on ? 1 : -1;
    if (on) {
        list->selectedRow = &r;
        list->selectedColumn = 0;
    } else if (list->selectedRow == &r) {
        list->selectedRow = nullptr;
        for (ListRow& other : list->rows)
            if (other.selected) list->selectedRow = &other;
    }
}

// A row chosen with the modifiers held: Ctrl adds or removes a file, Shift takes the files
// from the anchor on (several only where the request allows it); folders are chosen alone.
void SelectRow(DialogRun* run, int32_t row, bool ctrl, bool shift) {
    ListCtrl* list = ListOf(run);
    if (list == nullptr || row < 0 || row >= RealRows(run)) return;
    const Row& r = run->rows[static_cast<size_t>(row)];
    const bool multi = run->request->MultiSelect() && !r.folder;
    if (multi && ctrl && !shift) {
        for (int32_t i = 0; i < RealRows(run); ++i)
            if (run->rows[static_cast<size_t>(i)].folder) MarkRow(list, i, false);
        MarkRow(list, row, list->rows[static_cast<size_t>(row)].selected == 0);
        run->anchor = row;
    } else if (multi && shift && run->anchor >= 0 && run->anchor < RealRows(run)) {
        if (!ctrl) ListCtrl::ClearSelection(list);
        int32_t from = std::min(run->anchor, row), to = std::max(run->anchor, row);
        for (int32_t i = from; i <= to; ++i)
            if (!run->rows[static_cast<size_t>(i)].folder) MarkRow(list, i, true);
    } else {
        ListCtrl::ClearSelection(list);
        MarkRow(list, row, true);
        run->anchor = row;
    }
    run->cursor = row;
    // The row in view.
    if (row < list->firstVisible) list->firstVisible = row;
    if (row >= list->firstVisible + list->visibleRows) list->firstVisible = row - list->visibleRows + 1;
    ListCtrl::LayoutRows(list);
    NameFromSelection(run);
    Repaint(run->window);
}

int32_t SelectedFolderRow(DialogRun* run) {
    ListCtrl* list = ListOf(run);
    if (list == nullptr) return -1;
    for (int32_t i = 0; i < RealRows(run); ++i)
        if (run->rows[static_cast<size_t>(i)].folder && list->rows[static_cast<size_t>(i)].selected) return i;
    return -1;
}

void Close(DialogRun* run) {
    if (run->window != nullptr && gWinValidate(run->window) != nullptr) gUiCloseQuiet(run->window);
}

// Adds the chosen type's extension to a name without one; in an open dialog a file that
// exists under the name as given keeps it.
std::string WithExtension(const DialogRun* run, const std::string& path) {
    const std::string ext = ChosenTypeExtension(*run->request);
    if (ext.empty() || PathExtensionLength(path.c_str()) != 0) return path;
    if (!run->request->save && FileExists(path.c_str())) return path;
    if (!path.empty() && path.back() == '.') return path + ext;
    return path + "." + ext;
}

bool AskOverwrite(DialogRun* run, const std::string& path) {
    const std::string first = path + " already exists.";
    const char* lines[] = {first.c_str(), "Do you want to replace it?", nullptr};
    uint32_t answer = ShowMessageDialog(run->window, run->request->title.c_str(), lines, 4, 0);
    return answer != kMsgNoWindow && (answer & 0xFFFF) == kMsgYes;
}

void Accept(DialogRun* run) {
    FileDialogRequest& request = *run->request;
    for (gElement* field : {run->parts.nameField, run->parts.folderField})
        if (field != nullptr && gEditWorkWidget() == field) gWgtEditCommit(field);
    std::vector<std::string> names = SplitNameField(run->parts.nameField != nullptr ? run->parts.nameField->text : "");
    if (names.empty()) {
        int32_t folderRow = SelectedFolderRow(run);
        if (folderRow >= 0) {
            const Row& r = run->rows[static_cast<size_t>(folderRow)];
            EnterFolder(run, r.parent ? ParentFolder(run->folder) : JoinName(run->folder, r.name));
        } else {
            ShowStatus(run, "Choose a file or type its name.");
        }
        return;
    }
    FileDialogAnswer answer;
    answer.ok = true;
    if (names.size() == 1) {
        const std::string& name = names[0];
        std::string path = JoinName(run->folder, name);
        if (IsFolder(path)) {
            EnterFolder(run, path);
            return;
        }
        if (HasWildcard(name) && name.find('/') == std::string::npos) {
            // A pattern typed as a name lists what it matches; the caller still gets one of
            // its own types back.
            if (request.filterIndex <= static_cast<int32_t>(run->callerTypes)) run->callerType = request.filterIndex;
            request.filters.push_back({name, name});
            request.filterIndex = static_cast<int32_t>(request.filters.size());
            ShowType(run);
            LoadFolder(run, run->folder, true);
            SetText(run->parts.nameField, "");
            Repaint(run->window);
            return;
        }
        path = WithExtension(run, path);
        std::string folder = ParentFolder(path);
        if ((request.flags & kOfnPathMustExist) != 0 && !IsFolder(folder)) {
            ShowStatus(run, "The folder does not exist: " + folder);
            return;
        }
        if ((request.flags & kOfnFileMustExist) != 0 && !FileExists(path.c_str())) {
            ShowStatus(run, "File not found: " + path);
            return;
        }
        if (request.save && (request.flags & kOfnOverwritePrompt) != 0 && Exists(path) && !AskOverwrite(run, path)) {
            return;
        }
        answer.folder = folder;
        answer.names.push_back(path.substr(path.rfind('/') + 1));
    } else {
        if (!request.MultiSelect()) {
            ShowStatus(run, "Choose one file.");
            return;
        }
        answer.folder = run->folder;
        for (const std::string& name : names) {
            if (name.find('/') != std::string::npos) {
                ShowStatus(run, "Several names must lie in the folder shown: " + name);
                return;
            }
            std::string path = WithExtension(run, JoinName(run->folder, name));
            if ((request.flags & kOfnFileMustExist) != 0 && !FileExists(path.c_str())) {
                ShowStatus(run, "File not found: " + path);
                return;
            }
            answer.names.push_back(path.substr(path.rfind('/') + 1));
        }
    }
    if (!request.Accept()) return;
    answer.filterIndex =
        request.filterIndex <= static_cast<int32_t>(run->callerTypes) ? request.filterIndex : run->callerType;
    run->answer = std::move(answer);
    Close(run);
}

// ---- Handlers -------------------------------------------------------------------------------------------

void OkClick(gElement* e, uintptr_t) {
    if (DialogRun* run = RunOfWidget(e)) Accept(run);
}

void CancelClick(gElement* e, uintptr_t) {
    if (DialogRun* run = RunOfWidget(e)) {
        run->answer = FileDialogAnswer{};
        Close(run);
    }
}

void UpClick(gElement* e, uintptr_t) {
    if (DialogRun* run = RunOfWidget(e)) EnterFolder(run, ParentFolder(run->folder));
}

void StepType(gElement* e, uintptr_t step) {
    DialogRun* run = RunOfWidget(e);
    if (run == nullptr || run->request->filters.empty()) return;
    const int32_t n = static_cast<int32_t>(run->request->filters.size());
    int32_t next = run->request->filterIndex + (step != 0 ? 1 : -1);
    if (next < 1) next = n;
    if (next > n) next = 1;
    run->request->ChangeType(next);
    ShowType(run);
    LoadFolder(run, run->folder, true);
    Repaint(run->window);
}

void StepOpenAs(gElement* e, uintptr_t step) {
    DialogRun* run = RunOfWidget(e);
    if (run == nullptr) return;
    run->request->SetOpenAs((run->request->panel.openAs + (step != 0 ? 1 : 2)) % 3);
    SyncPanel(run);
    Repaint(run->window);
}

void BoxClick(gElement* e, uintptr_t control) {
    DialogRun* run = RunOfWidget(e);
    if (run == nullptr) return;
    run->request->SetBox(static_cast<FileDialogControl>(control), CheckButtonTicked(e));
    SyncPanel(run);
    Repaint(run->window);
}

// Enter in the name field chooses; in the folder field it goes to the folder typed.
void NameChanged(gElement* e, uintptr_t) {
    DialogRun* run = RunOfWidget(e);
    if (run == nullptr) return;
    run->nameFromList = false;
    if ((gKeyDownEvent.character & 0xFF) == 13) Accept(run);
}

void FolderChanged(gElement* e, uintptr_t) {
    DialogRun* run = RunOfWidget(e);
    if (run == nullptr || (gKeyDownEvent.character & 0xFF) != 13) return;
    std::string typed = e->text;
    if (typed.empty()) return;
    std::string target = JoinName(run->folder, typed);
    if (!IsFolder(target)) {
        ShowStatus(run, "The folder does not exist: " + target);
        SetText(e, run->folder);
        return;
    }
    EnterFolder(run, target);
}

int32_t RowAtLocal(const ListCtrl* list, float x, float y) {
    if (x < 0 || x >= list->listWidth || y < list->headerHeight || y >= list->listHeight) return -1;
    int32_t k = static_cast<int32_t>(std::floor((y - list->headerHeight) / list->rowHeight));
    if (k < 0 || k >= list->visibleRows) return -1;
    return list->firstVisible + k;
}

// A row chosen twice: a folder is entered, a file chosen.
void ActivateRow(DialogRun* run, int32_t row) {
    if (row < 0 || row >= RealRows(run)) return;
    const Row& r = run->rows[static_cast<size_t>(row)];
    if (r.folder) {
        EnterFolder(run, r.parent ? ParentFolder(run->folder) : JoinName(run->folder, r.name));
    } else {
        Accept(run);
    }
}

bool ListPress(gElement* widget, uintptr_t) {
    DialogRun* run = RunOfWidget(widget);
    ListCtrl* list = ListCtrl::FromWidget(widget);
    if (run == nullptr || list == nullptr || gMouseButtonState() == 0) return false;
    const float x = static_cast<float>(gCursorPos.x) - widget->x, y = static_cast<float>(gCursorPos.y) - widget->y;
    int32_t row = RowAtLocal(list, x, y);
    if (row < 0) return ListCtrl::PressAt(list, x, y, gIsDoubleClick() ? 2 : 1);
    if (row >= RealRows(run)) return false;
    // The keys follow the click to the list: the arrows move its choice, not the caret.
    if (gElement* name = run->parts.nameField; name != nullptr && gFocusWidget == name) {
        gWgtEditCommit(name);
        gWgtKillFocus(name);
    }
    const bool twice = gIsDoubleClick();
    const uint32_t keys = gKeyModifiersNow();
    SelectRow(run, row, (keys & kKeyCtrl) != 0, (keys & kKeyShift) != 0);
    if (twice) ActivateRow(run, row);
    return true;
}

// The second press of a double click comes as a message of its own, after the first
// press was released: on a row of the list it chooses the row. Other double clicks go
// where they went before the dialog opened.
using DoubleClickFn = void (*)(pf::Hwnd, uint32_t, pf::WParam, pf::LParam);
DoubleClickFn gOtherDoubleClick = nullptr;

void DialogDoubleClick(pf::Hwnd hwnd, uint32_t message, pf::WParam wParam, pf::LParam lParam) {
    gWindow* window = gWinFromHwnd(hwnd);
    DialogRun* run = RunOf(window);
    ListCtrl* list = run != nullptr ? ListOf(run) : nullptr;
    if (list != nullptr && message == pf::kWmLButtonDblClk && (window->state & kStateInHandler) == 0) {
        const gElement* e = run->parts.list;
        int32_t row = RowAtLocal(list, static_cast<float>(pf::GetXLParam(lParam)) - e->x,
                                 static_cast<float>(pf::GetYLParam(lParam)) - e->y);
        if (row >= 0 && row < RealRows(run)) {
            window->state |= kStateInHandler;
            SelectRow(run, row, false, false);
            ActivateRow(run, row);
            gWinAfterHandler(window);
            return;
        }
    }
    if (gOtherDoubleClick != nullptr) gOtherDoubleClick(hwnd, message, wParam, lParam);
}

void ListWheel(gElement* widget, int delta, int) {
    DialogRun* run = RunOfWidget(widget);
    ListCtrl* list = ListCtrl::FromWidget(widget);
    if (run == nullptr || list == nullptr) return;
    int32_t span = std::max(0, list->rowCount - list->visibleRows);
    int32_t first = std::clamp(list->firstVisible - (delta > 0 ? 3 : -3), 0, span);
    if (first == list->firstVisible) return;
    list->firstVisible = first;
    ListCtrl::LayoutRows(list);
    Repaint(run->window);
}

bool DialogKey(gWindow* window, gWindow*, void* key) {
    DialogRun* run = RunOf(window);
    if (run == nullptr || key == nullptr) return false;
    const gKeyCode code = static_cast<gKeyEvent*>(key)->code;
    const gKeyCode special = code & kKeySpecialMask;
    ListCtrl* list = ListOf(run);
    if (special == kKeyEnter) {
        Accept(run);
        return true;
    }
    if (special == kKeyBackspace) {
        EnterFolder(run, ParentFolder(run->folder));
        return true;
    }
    if ((special == kKeyUp || special == kKeyDown) && list != nullptr && RealRows(run) > 0) {
        int32_t at = run->cursor >= 0 ? run->cursor : (special == kKeyDown ? -1 : RealRows(run));
        int32_t row = std::clamp(at + (special == kKeyDown ? 1 : -1), 0, RealRows(run) - 1);
        SelectRow(run, row, false, (code & kKeyShift) != 0);
        return true;
    }
    // Every other key stays with the dialog: the shortcuts of the windows under it (a
    // shape's Delete, a tool's F5) do not run while it stands.
    return true;
}

bool DialogCloseRequest(gWindow* window, void*) {
    if (DialogRun* run = RunOf(window)) run->answer = FileDialogAnswer{};
    return true;
}

void DialogDestroyed(gWindow* window, void*) {
    auto& open = OpenDialogs();
    open.erase(std::remove(open.begin(), open.end(), window), open.end());
}

// ---- Building ----------------------------------------------------------------------------------------------

// A group of rows running left to right (rows: a new row goes below), or of one column.
gGroup* NewGroup(gWindow* w, uint32_t slot, float gapY, bool rows) {
    gWgtSelectWindow(w);
    gGroup* g = gGrpFind(w, slot, false);
    if (g == nullptr) return nullptr;
    gGrpSetActive(g);
    if (rows) g->align = 17;
    g->marginLeft = g->marginRight = kDialogMargin;
    g->marginTop = g->marginBottom = kDialogMargin;
    g->gapX = 4.0f;
    g->gapY = gapY;
    g->rowAlign = 0;
    return g;
}

gElement* Add(gWindow* w, int32_t kind, uint32_t slot, float width, float height, const char* text,
              void (*onClick)(gElement*, uintptr_t) = nullptr, uintptr_t data = 0, uint32_t colour = kColourInherit) {
    gWgtTemplate t{.desc = {.kind = kind, .style = slot, .width = width, .height = height, .color1 = colour,
                            .text = text, .onClick = onClick}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->handlerData = data;
    if (kind >= 36) {
        e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    }
    if (kind == 3) e->textColor = e->textColor2 = kDialogTextColour;
    return e;
}

// A label of a fixed width (plain labels are as wide as their text): a face-less cell
// that draws its text alone.
gElement* AddLabel(gWindow* w, const char* text, float width, bool newRow) {
    gWgtTemplate t{.desc = {.kind = 37, .style = kTopLeft | (newRow ? kWsNewRow : 0u), .width = width,
                            .height = kDialogRowHeight, .text = text, .paint = &gPaintTextOnly}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->textColor = e->textColor2 = kDialogTextColour;
    e->active = 0;
    return e;
}

// A text shown in a sunken field that cannot be edited.
gElement* AddText(gWindow* w, float width) {
    gWgtTemplate t{.desc = {.kind = 6, .style = kTopLeft, .width = width, .height = kDialogRowHeight, .text = ""}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e != nullptr) e->textAlign |= kEditReadOnly;
    return e;
}

gElement* AddField(gWindow* w, uint32_t slot, float width, const std::string& text,
                   void (*onChange)(gElement*, uintptr_t)) {
    gWgtTemplate t{.desc = {.kind = 6, .style = slot, .width = width, .height = kDialogRowHeight, .text = text.c_str()}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->textLimit = static_cast<int32_t>(kPathMax - 1);
    e->onChange = onChange;
    return e;
}

bool Build(DialogRun* run) {
    gWindow* w = run->window;
    FileDialogRequest& request = *run->request;
    FileDialogParts& p = run->parts;
    gFont* font = GetUIFont(w);
    gWgtSelect(w, font);
    // Every row is as wide as the list with its bar (after the empty cell that starts it).
    const float width = kNameColumn + kSizeColumn + 16.0f + 5.0f;
    const float afterLabel = width - kLabelWidth - 4.0f;

    if (NewGroup(w, kTopLeft, 6.0f, true) == nullptr) return false;
    AddLabel(w, "Folder:", kLabelWidth, false);
    p.folderField = AddField(w, kTopLeft, afterLabel - 44.0f, request.folder, &FolderChanged);
    p.upButton = Add(w, 37, kTopLeft, 40.0f, kDialogRowHeight, "Up", &UpClick, 0, kDialogButtonColour);

    // The list starts a row of its own after an empty cell; its height is fixed (rows of
    // 20 pixels under a header of 20), padded with empty rows.
    AddLabel(w, "", 1.0f, true);
    static const float kColumns[2] = {kNameColumn, kSizeColumn};
    static const char* const kTitles[2] = {"Name", "Size"};
    const float rowsHeight = static_cast<float>(kListRows) * kListRowHeight + (request.enlargeList ? kListEnlargement : 0);
    ListCtrlLayout layout{.width = kNameColumn + kSizeColumn, .height = kListHeader + rowsHeight + 2.0f,
                          .flags = kListVerticalBar, .columnCount = 2, .columnWidths = kColumns, .titles = kTitles};
    p.list = ListCtrl::Create(w, nullptr, 1, &layout, 0, false, font);
    ListCtrl* list = ListCtrl::FromWidget(p.list);
    if (list == nullptr) return false;
    list->rowHeight = kListRowHeight;
    list->headerHeight = kListHeader;
    list->requestedHeight = layout.height;
    ListCtrl::LayoutCells(list);
    p.list->onPress = &ListPress;
    p.list->onWheel = &ListWheel;

    AddLabel(w, "File name:", kLabelWidth, true);
    p.nameField = AddField(w, kTopLeft, afterLabel - kButtonWidth - 4.0f, request.fileName, &NameChanged);
    p.okButton = Add(w, 37, kTopLeft, kButtonWidth, kDialogRowHeight, "Ok", &OkClick, 0, kDialogButtonColour);
    AddLabel(w, "Files of type:", kLabelWidth, true);
    p.typeBack = Add(w, 37, kTopLeft, kStepWidth, kDialogRowHeight, "<", &StepType, 0, kDialogButtonColour);
    p.typeText = AddText(w, afterLabel - kButtonWidth - 2 * kStepWidth - 12.0f);
    p.typeForward = Add(w, 37, kTopLeft, kStepWidth, kDialogRowHeight, ">", &StepType, 1, kDialogButtonColour);
    p.cancelButton = Add(w, 37, kTopLeft, kButtonWidth, kDialogRowHeight, "Cancel", &CancelClick, 0, kDialogButtonColour);
    p.status = AddLabel(w, "", width, true);
    if (p.status != nullptr) p.status->textColor = p.status->textColor2 = kStatusErrorColour;

    // The extension panel.
    if (request.panel.kind == kPanelOpenData) {
        p.previewButton = Add(w, 37, kTopLeft | kWsNewRow, kButtonWidth, kDialogRowHeight, "Make Preview", nullptr, 0,
                              kDialogButtonColour);
        if (p.previewButton != nullptr) p.previewButton->enabled = 0;
        Add(w, 3, kTopLeft, 56.0f, kDialogRowHeight, "Settings:");
        p.defaultBox = AddCheckButton(w, kTopLeft, "Default", -1.0f, kDialogRowHeight, &BoxClick,
                                      static_cast<uintptr_t>(FileDialogControl::Default), false);
        p.copyBox = AddCheckButton(w, kTopLeft, "Copy of default", -1.0f, kDialogRowHeight, &BoxClick,
                                   static_cast<uintptr_t>(FileDialogControl::CopyOfDefault), false);
        p.detailsBox = AddCheckButton(w, kTopLeft, "Details", -1.0f, kDialogRowHeight, &BoxClick,
                                      static_cast<uintptr_t>(FileDialogControl::Details), false);
        AddLabel(w, "Open As:", kLabelWidth, true);
        p.openAsBack = Add(w, 37, kTopLeft, kStepWidth, kDialogRowHeight, "<", &StepOpenAs, 0, kDialogButtonColour);
        p.openAsText = AddText(w, 80.0f);
        p.openAsForward = Add(w, 37, kTopLeft, kStepWidth, kDialogRowHeight, ">", &StepOpenAs, 1, kDialogButtonColour);
    } else if (request.panel.kind == kPanelShapes) {
        p.mergeBox = AddCheckButton(w, kTopLeft, "Merge", -1.0f, kDialogRowHeight, &BoxClick,
                                    static_cast<uintptr_t>(FileDialogControl::Merge), true);
    }
    if (p.okButton == nullptr || p.cancelButton == nullptr || p.nameField == nullptr || p.folderField == nullptr) {
        return false;
    }
    gWinLayoutGroups(w);
    gGrpArrangeAll(gWinSlotTable(w));
    return true;
}

}  // namespace

// ---- Reading an open dialog ----------------------------------------------------------------------------

const FileDialogParts* FileDialogPartsOf(const gWindow* dialog) {
    DialogRun* run = RunOf(dialog);
    return run != nullptr ? &run->parts : nullptr;
}

std::vector<std::string> FileDialogRows(const gWindow* dialog) {
    std::vector<std::string> rows;
    DialogRun* run = RunOf(dialog);
    if (run == nullptr) return rows;
    for (const Row& r : run->rows) rows.push_back(r.parent ? ".." : r.folder ? r.name + "/" : r.name);
    return rows;
}

std::string FileDialogFolder(const gWindow* dialog) {
    DialogRun* run = RunOf(dialog);
    return run != nullptr ? run->folder : std::string();
}

int32_t FileDialogRowAt(const gWindow* dialog, int32_t x, int32_t y) {
    DialogRun* run = RunOf(dialog);
    ListCtrl* list = run != nullptr ? ListOf(run) : nullptr;
    if (list == nullptr) return -1;
    int32_t row = RowAtLocal(list, static_cast<float>(x) - run->parts.list->x, static_cast<float>(y) - run->parts.list->y);
    return row < RealRows(run) ? row : -1;
}

bool FileDialogRowPoint(const gWindow* dialog, int32_t row, int32_t* x, int32_t* y) {
    DialogRun* run = RunOf(dialog);
    ListCtrl* list = run != nullptr ? ListOf(run) : nullptr;
    if (list == nullptr || row < list->firstVisible || row >= list->firstVisible + list->visibleRows ||
        row >= RealRows(run)) {
        return false;
    }
    *x = static_cast<int32_t>(run->parts.list->x + 40.0f);
    *y = static_cast<int32_t>(run->parts.list->y + list->headerHeight +
                              (static_cast<float>(row - list->firstVisible) + 0.5f) * list->rowHeight);
    return true;
}

// ---- Running -------------------------------------------------------------------------------------------

FileDialogAnswer ToolkitFileDialog::Run(FileDialogRequest& request) {
    DialogRun run;
    run.request = &request;
    run.callerTypes = request.filters.size();
    run.callerType = request.filterIndex;
    gWindow* owner = gWinValidate(request.owner);
    if (owner == nullptr) owner = gWinValidate(TheCUI().mainWindow);
    gWindow* w = gWinCreateRec(0, 0, 600, 400, owner, &run, kDialogStyle);
    if (w == nullptr) {
        LogPrintf("File dialog '%s': the window cannot be made", request.title.c_str());
        return {};
    }
    run.window = w;
    OpenDialogs().push_back(w);
    request.dialogWindow = w;
    gWinSetBackdrop(w, nullptr, kDialogBackdropColour);
    gWinSetDestroyHandler(w, &DialogDestroyed);
    w->closeHandler = &DialogCloseRequest;
    w->keyDownHandler = &DialogKey;
    gWinSetAfterPaint(w, &PaintWindowEdge, nullptr);
    SetWindowIcon(w, platform::kProgramIcon);

    // The window goes (when the loop has not taken it already) and forgets the run.
    auto dismiss = [&] {
        request.dialogWindow = nullptr;
        if (gWinValidate(w) != nullptr) {
            // The keys go back to the windows under the dialog, not to its name field.
            if (gFocusWidget != nullptr && gFocusWidget->window == w) gWgtKillFocus(gFocusWidget);
            w->userData = nullptr;
            w->closeHandler = nullptr;
            gUiCloseQuiet(w);
        }
        DialogDestroyed(w, nullptr);
    };
    auto fail = [&](const char* what) {
        LogPrintf("File dialog '%s': %s", request.title.c_str(), what);
        dismiss();
        return FileDialogAnswer{};
    };
    if (!Build(&run)) return fail("the dialog cannot be built");
    std::string folder = NearestReadableFolder(request.folder);
    if (folder != request.folder) request.folder = folder;
    ShowType(&run);
    LoadFolder(&run, folder, true);

    // The window fits its groups; it stands in the middle of its owner, inside the screen.
    int32_t width = 0, height = 0;
    gSlotTableExtent(gWinSlotTable(w), &width, &height);
    width = std::max(width, 400);
    height = std::max(height, 200);
    PlaceDialog(w, owner, width, height);
    if (!gWinOpen(w, request.title.c_str(), kStyleShown)) return fail("the window cannot be shown");

    request.Init();
    SyncPanel(&run);
    // The caret starts in the name field with its name selected, as the user expects of a
    // dialog that asks for a name: a name typed at once replaces it.
    if (gWgtPress(w, run.parts.nameField, false) != 0) gWgtCaretToEnd(run.parts.nameField, true);
    Repaint(w);
    DoubleClickFn& hook = gHooks().doubleClick;
    gOtherDoubleClick = hook != &DialogDoubleClick ? hook : gOtherDoubleClick;
    hook = &DialogDoubleClick;
    RunModalLoop(w);
    hook = gOtherDoubleClick;
    dismiss();
    return std::move(run.answer);
}

}  // namespace orva
