#include "views/open_data_files.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/cui.h"
#include "app/file_dialog.h"
#include "app/message_dialog.h"
#include "app/shell_hooks.h"
#include "app/status_line.h"
#include "app/wait_cursor.h"
#include "common/error_codes.h"
#include "common/list.h"
#include "common/log.h"
#include "common/paths.h"
#include "framework/app_object.h"
#include "framework/pipeline.h"
#include "framework/port.h"
#include "io/format_registry.h"
#include "io/input_source.h"
#include "platform/msg_types.h"
#include "platform/window_api.h"
#include "views/source_component.h"

namespace orva {

namespace {

// The main setting that names the folder the open dialog starts in.
constexpr int kLoadFolder = 7;

// A name that can be opened: it exists and fits a path. Others are logged and shown on
// the main window's status line.
bool Openable(const char* name) {
    if (name != nullptr && std::strlen(name) < PATH_MAX && FileExists(name)) return true;
    LogPrintf(kCantOpenLine, name != nullptr ? name : "");
    SetGroupStatus(0, 3, kStatusRedrawNow, name != nullptr ? name : "");
    return false;
}

void MakeCurrent(CUI* cui, Project* project) {
    cui->currentProject = project;
    cui->currentProjectPosition = static_cast<int32_t>(ListIndexOf(cui->projects.head, project));
}

// Open projects are closed before files open (the user may decline; they then stay).
void CloseOpenData(CUI* cui) {
    if (cui->projects.head != nullptr) ProjectCloseData(cui, true);
}

}  // namespace

gWindow* GetOwnerWindow(const WindowGroup* group, int i) {
    if (group == nullptr) return nullptr;
    return group->windows[i < 0 ? 0 : (i > 3 ? 3 : i)];
}

// ---- The dialog ------------------------------------------------------------------------------

void OpenDataFilesDialog(CUI* cui, int mode) {
    if (cui == nullptr || ModalOpen()) return;
    std::string folder;
    TheApp().GetAppFolderPath(kLoadFolder, &folder);

    OpenParameters request;
    FormatList& formats = TheFormatRegistry().input;
    const int64_t count = formats.formatCount;
    if (count == 0)
        formats.current = 1;
    else if (formats.current == -1 || formats.current > count + 2)
        formats.current = static_cast<int32_t>(count + 2);
    int32_t filterIndex = formats.current > 0 ? formats.current : 0;
    FileDialogOptions options;
    options.filterIndex = filterIndex;
    // Room for a folder and thousands of names; the paths also come back as a list.
    std::vector<char> buffer(size_t{1} << 22, '\0');
    std::vector<std::string> paths;
    const int32_t answer = RunFileDialog(GetOwnerWindow(&cui->groups[0], 0), &options, buffer.data(), buffer.size(),
                                         folder.empty() ? nullptr : folder.c_str(), "Open data file(s)",
                                         kOpenDialogFlags, formats.filter.empty() ? nullptr : formats.filter.c_str(),
                                         nullptr, kFileDialogData, &filterIndex, 1, &paths);
    if (answer != 0 && !paths.empty()) {
        // The status line speaks of the files opened now, not of those opened before.
        StatusClearReport(kStatusGroupMain);
        formats.current = filterIndex;
        // The entries after the formats ("all files") open with detection.
        request.formatIndex = filterIndex >= count + 1 || filterIndex < 0 ? 0 : static_cast<uint32_t>(filterIndex);
        request.options[0] = options.defaults[0];
        request.options[1] = options.defaults[1];
        static_assert(sizeof request.typeTag == sizeof options.typeTag);
        std::memcpy(request.typeTag, options.typeTag, sizeof request.typeTag);
        const uint32_t flags = kOpenDefaultFlags | kOpenFromDialog;
        // The shell's road, which the open functions below fill.
        const OpenRoad& road = TheOpenRoad();
        if (answer == -1) {
            request.flags = flags;
            const bool current = (mode == 0 && cui->createNewProject == 0) || mode == 1;
            (road.openSourceFileReport != nullptr ? road.openSourceFileReport : &OpenSourceFileReport)(
                cui, current ? cui->currentProject : nullptr, &request, paths[0].c_str());
        } else {
            size_t taken = 0;
            for (const std::string& path : paths) {
                if (path.empty() || taken == kOpenNamesMax) break;
                ++taken;
                // A name too long for a path is refused whole, never cut.
                if (path.size() >= PATH_MAX) {
                    LogPrintf(kCantOpenLine, path.c_str());
                    continue;
                }
                cui->pendingFiles.push_back(PendingFile{path, flags, request.formatIndex});
            }
            (road.openSourceFileList != nullptr ? road.openSourceFileList : &OpenSourceFileList)(
                cui, cui->createNewProject != 0 ? nullptr : cui->currentProject, &request, true);
        }
    }
    std::free(request.text);
    request.text = nullptr;
}

// ---- One file and a list of files ------------------------------------------------------------

ComponentBase* OpenSourceFileReport(CUI* cui, Project* project, OpenParameters* request, const char* fileName) {
    (void)project;  // the file always goes into a new project
    if (cui == nullptr || request == nullptr || !Openable(fileName)) return nullptr;
    WaitCursor wait(true);
    CloseOpenData(cui);
    Project* slot = nullptr;
    if (OpenFileIntoProject(cui, &slot, request, fileName) < 2 || slot == nullptr) return nullptr;
    PlaybackRefresh(0);
    cui->lastOpenedFile = fileName;
    MakeCurrent(cui, slot);
    ProjectItem* item = slot->currentItem.load();
    if (item == nullptr) return nullptr;
    AttachCurrentSource(item, 7);
    return item->currentSource.load();
}

Project* OpenSourceFileList(CUI* cui, Project* project, OpenParameters* request, bool fromDialog) {
    if (cui == nullptr || request == nullptr) return nullptr;
    CloseOpenData(cui);
    project = nullptr;  // the files go into one new project
    std::vector<PendingFile> names;
    names.swap(cui->pendingFiles);
    if (names.empty()) return nullptr;
    WaitCursor wait(cui->IsUp());
    Project* slot = project;
    Project* last = nullptr;
    std::string lastName;
    const size_t n = names.size();
    for (size_t i = 0; i < n; ++i) {
        const PendingFile& entry = names[fromDialog ? n - 1 - i : i];
        if (!Openable(entry.name.c_str())) continue;
        request->formatIndex = entry.formatIndex;
        request->flags = entry.flags != 0 ? entry.flags : kOpenDefaultFlags;
        const int code = OpenFileIntoProject(cui, &slot, request, entry.name.c_str());
        if (code >= 2 && slot != nullptr) {
            MakeCurrent(cui, slot);
            if (ProjectItem* item = slot->currentItem.load()) AttachCurrentSource(item, 3);
            last = slot;
            lastName = entry.name;
        } else {
            // Every file of the list goes into the same project.
            slot = project != nullptr ? project : last;
        }
    }
    if (last != nullptr) {
        PlaybackRefresh(0);
        RefreshAllWindowsWhenUp();
        cui->lastOpenedFile = lastName;
    }
    cui->pendingFiles.clear();
    return last;
}

// ---- The item of one file ----------------------------------------------------------------------

int ProjectItemOpenInput(ProjectItem* item) {
    if (item == nullptr || item->pipelineContext == nullptr) return -16;
    const SourceOpenState* context = item->pipelineContext;
    InputSource source;
    source.receiver = item;
    OpenRequest request;
    request.listPosition = context->words[0];
    request.options = context->words[1];
    if (context->typeTag[0] != '\0') {
        char tag[9] = {};
        std::memcpy(tag, context->typeTag, sizeof context->typeTag);
        request.forcedFormat = MakeFormatTag(tag);
    }
    return OpenInputFile(&source, &request, &item->path);
}

int OpenFileIntoProject(CUI* cui, Project** slot, OpenParameters* request, const char* fileName) {
    if (cui == nullptr || slot == nullptr || request == nullptr || fileName == nullptr || fileName[0] == '\0')
        return 0;
    if (request->flags == 0) request->flags = kOpenDefaultFlags;
    const uint32_t flags = request->flags;
    int code = 0;
    ProjectItem* item = nullptr;
    if (!((flags & kOpenNoRead) && !(flags & kOpenRead))) {
        item = ProjectItemNew(fileName);
        if (item == nullptr) return -14;
        SourceOpenState state;
        SourceOpenStateInit(&state);
        state.bytes[0] = request->options[0];
        state.bytes[1] = request->options[1];
        state.words[0] = request->formatIndex;
        state.words[1] = flags;
        std::memcpy(state.typeTag, request->typeTag, sizeof state.typeTag);
        state.count = static_cast<uint32_t>(ProjectCountByName(cui, fileName)) + 1;
        item->pipelineContext = &state;
        code = ProjectItemOpenInput(item);
        item->pipelineContext = nullptr;
        if (item->currentSource.load() == nullptr || (flags & kOpenNoRead) || code != 2) {
            delete item;
            return code;
        }
    }
    Project* project = *slot;
    *slot = nullptr;
    const bool made = project == nullptr;
    if (made) project = new Project;
    bool ok = project != nullptr;
    if (ok && item != nullptr) {
        if (!ProjectAttachItem(project, item)) {
            delete item;
            ok = false;
        }
    } else if (ok) {
        item = ProjectCreateItem(project, fileName);
        ok = item != nullptr;
    }
    if (ok && made && !CUIAddProject(cui, project)) ok = false;
    if (!ok) {
        // Nothing made here stays: a new project goes with the item attached to it; a
        // project from the slot never received one and goes back.
        if (made)
            delete project;
        else
            *slot = project;
        return -14;
    }
    if (item->openResult == 0) item->openResult = code;
    item->openFlags = flags;
    project->currentItem.store(item);
    project->currentPosition = project->count;
    *slot = project;
    return code;
}

// ---- The open road -----------------------------------------------------------------------------

void InstallOpenRoad() {
    OpenRoad& road = TheOpenRoad();
    road.openSourceFileReport = &OpenSourceFileReport;
    road.openSourceFileList = &OpenSourceFileList;
    road.getSourcePanelBuilder = &GetSourcePanelBuilder;
    road.attachDataSet = &ProjectItemAttachDataSet;
}

}  // namespace orva
