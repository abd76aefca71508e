// Projects and their items: creation, lists, selection, closing, and the "Projects"
// commands ("open", "close", "allclose").
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/cui.h"
#include "app/open_road.h"
#include "app/shell_hooks.h"
#include "app/status_line.h"
#include "app/ui_startup.h"
#include "app/ui_elements.h"
#include "common/aligned_memory.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "framework/app_object.h"
#include "framework/component_id.h"
#include "framework/device_view.h"
#include "toolkit/window.h"

namespace orva {

namespace {

void DeleteUIElements(std::vector<UIElement*>& elements) {
    std::vector<UIElement*> owned;
    owned.swap(elements);
    for (UIElement* e : owned) delete e;
}

bool UiReady() { return gUiReady(); }

// The path a file is known by: its real path when it exists, else the name as given.
std::string Identity(const char* name) {
    char resolved[PATH_MAX];
    if (name != nullptr && ::realpath(name, resolved) != nullptr) return resolved;
    return name != nullptr ? name : "";
}

// Steps `n` nodes from `node` (forward for n > 0), stopping at an end.
ListNode* StepFrom(ListNode* node, int32_t n) {
    int32_t steps = n;
    return ListStep(node, &steps);
}

// Tab selection over the draw containers of the CUI (while the user interface is up);
// a change repaints the dirty windows for codes 6 and above (by item) or 7 (current).
void SelectTabsByItem(CUI* cui, ProjectItem* item, int32_t code) {
    ShellHooks& hooks = TheShellHooks();
    if (!UiReady() || hooks.selectTabByIndex == nullptr) return;
    bool changed = false;
    for (ComponentBase* c : cui->Components())
        if (IdHasStage(c->GetClassId(), FourCC("DRAW"), FourCC("CTNR")))
            changed = hooks.selectTabByIndex(c, item, code) || changed;
    if (changed && code >= 6) gWinRefreshAll();
}

void SelectTabsCurrent(CUI* cui, int32_t code) {
    ShellHooks& hooks = TheShellHooks();
    if (!UiReady() || hooks.selectTabCurrent == nullptr) return;
    bool changed = false;
    for (ComponentBase* c : cui->Components())
        if (IdHasStage(c->GetClassId(), FourCC("DRAW"), FourCC("CTNR")))
            changed = hooks.selectTabCurrent(c, code) || changed;
    if (changed && code == 7) gWinRefreshAll();
}

// Activates the item's current source in the pipeline. What the status line said about
// the file shown before is not about this one.
void ActivateSource(ProjectItem* item, int32_t event) {
    if (item == nullptr || item->currentSource.load() == nullptr) return;
    StatusClearReport(kStatusGroupMain);
    AttachCurrentSource(item, event);
}

bool ConfirmClosingWanted() { return TheApp().Settings().confirmClosing != 0; }

}  // namespace

// ---- ItemPathName ------------------------------------------------------------------------------

int ItemPathName::Set(const char* text) {
    if (text == nullptr) return -1;
    int result = PathName::Set(text);
    KeepName();
    return result;
}

int ItemPathName::Assign(const ItemPathName& other) {
    int result = PathName::Assign(other);
    try {
        KeepName();
    } catch (...) {
        return -3;
    }
    return result;
}

void ItemPathName::Reset() {
    PathName::Reset();
    fileName_.clear();
}

void ItemPathName::KeepName() {
    if (Length() > NameOffset()) {
        fileName_.assign(Text() + NameOffset());
    } else {
        fileName_.assign(Text());
    }
}

// ---- ProjectItem ---------------------------------------------------------------------------------

void* ProjectItem::operator new(size_t size) noexcept { return AllocZeroed(size); }
void ProjectItem::operator delete(void* block) noexcept { AlignedFree(block); }

ProjectItem::ProjectItem() = default;

ProjectItem::~ProjectItem() {
    PlaybackRefresh(0);
    ReleaseItemConsumers(this);
    ComponentBase* current = currentSource.exchange(nullptr);
    std::vector<ComponentBase*> list;
    list.swap(sources);
    sourceCount = 0;
    if (list.empty() && current != nullptr) list.push_back(current);
    for (ComponentBase* s : list)
        if (s != nullptr && ComponentIsLive(s)) ComponentReleaseAndUnlink(s);
    output = nullptr;
    path.Reset();
    DeleteUIElements(elements);
}

void ProjectItem::ForgetComponent(const ComponentBase* component) {
    if (component == nullptr) return;
    ComponentBase* expected = const_cast<ComponentBase*>(component);
    bool wasCurrent = currentSource.compare_exchange_strong(expected, nullptr);
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i] != component) continue;
        sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(i));
        if (sourceCount > 0) --sourceCount;
        break;
    }
    if (wasCurrent && sources.empty() && sourceCount > 0) --sourceCount;
    if (wasCurrent && !sources.empty()) {
        currentSource.store(sources.front());
        currentSourcePosition = 1;
    }
    if (currentSource.load() == nullptr) currentSourcePosition = 0;
    if (output == component) output = nullptr;
    if (firstStage == component) firstStage = nullptr;
}

int ProjectItem::TakeDataSet(DataSet* dataSet) {
    OpenRoad& road = TheOpenRoad();
    return road.attachDataSet != nullptr ? road.attachDataSet(this, dataSet) : -16;
}

Project* ProjectOfItem(const ProjectItem* item) { return item != nullptr ? item->project : nullptr; }

CUI* CUIOfItem(const ProjectItem* item) {
    Project* project = ProjectOfItem(item);
    return project != nullptr ? project->owner : nullptr;
}

// ---- Project ---------------------------------------------------------------------------------------

void* Project::operator new(size_t size) noexcept { return AllocZeroed(size); }
void Project::operator delete(void* block) noexcept { AlignedFree(block); }

Project::Project() = default;

Project::~Project() {
    PlaybackRefresh(0);
    for (std::string& t : texts) t.clear();
    currentItem.exchange(nullptr);
    ListDestroyItemsHead(&items, [](void* item) { delete static_cast<ProjectItem*>(item); });
    count = 0;
    currentPosition = 0;
    DeleteUIElements(elements);
}

// ---- Projects of the CUI -------------------------------------------------------------------------

bool CUIAddProject(CUI* cui, Project* project) {
    if (cui == nullptr || project == nullptr) return false;
    if (ListAppend(&cui->projects, project) == nullptr) return false;
    if (cui->currentProject == nullptr) {
        cui->currentProject = project;
        cui->currentProjectPosition = 1;
    }
    project->owner = cui;
    ++cui->projectCount;
    return true;
}

ProjectItem* ProjectItemNew(const char* path) {
    if (path == nullptr) return nullptr;
    auto* item = new ProjectItem;
    if (item == nullptr) return nullptr;
    if (item->path.Set(path) < 0) {
        delete item;
        return nullptr;
    }
    item->name = item->path.FileName();
    return item;
}

bool ProjectAttachItem(Project* project, ProjectItem* item) {
    if (project == nullptr || item == nullptr) return false;
    if (ListAppend(&project->items, item) == nullptr) return false;
    if (project->currentItem.load() == nullptr) {
        project->currentItem.store(item);
        project->currentPosition = 1;
    }
    item->project = project;
    ++project->count;
    return true;
}

ProjectItem* ProjectCreateItem(Project* project, const char* path) {
    ProjectItem* item = ProjectItemNew(path);
    if (item == nullptr) return nullptr;
    if (!ProjectAttachItem(project, item)) {
        delete item;
        return nullptr;
    }
    return item;
}

ProjectItem* ProjectFindItemByName(CUI* cui, Project** outProject, const char* name) {
    if (cui == nullptr || name == nullptr || name[0] == '\0') return nullptr;
    std::string wanted = Identity(name);
    for (ListNode* p = cui->projects.head; p != nullptr; p = p->next) {
        auto* project = static_cast<Project*>(p->item);
        if (project == nullptr) continue;
        for (ListNode* i = project->items.head; i != nullptr; i = i->next) {
            auto* item = static_cast<ProjectItem*>(i->item);
            if (item == nullptr || item->path.Empty()) continue;
            if (Identity(item->path.Text()) != wanted) continue;
            if (outProject != nullptr) *outProject = project;
            return item;
        }
    }
    return nullptr;
}

int32_t ProjectCountByName(CUI* cui, const char* name) {
    if (cui == nullptr || name == nullptr || name[0] == '\0') return 0;
    std::string wanted = Identity(name);
    int32_t n = 0;
    for (ListNode* p = cui->projects.head; p != nullptr; p = p->next) {
        auto* project = static_cast<Project*>(p->item);
        if (project == nullptr) continue;
        for (ListNode* i = project->items.head; i != nullptr; i = i->next) {
            auto* item = static_cast<ProjectItem*>(i->item);
            if (item != nullptr && !item->path.Empty() && Identity(item->path.Text()) == wanted) ++n;
        }
    }
    return n;
}

// ---- Closing ----------------------------------------------------------------------------------------

namespace {
// The tabs of the pages that the closed components showed go with them.
void RefreshGroupTabs(CUI* cui) {
    if (cui == nullptr || !cui->IsUp()) return;
    for (WindowGroup& g : cui->groups)
        if (g.windows[0] != nullptr) GroupPagesChanged(g.windows[0]);
}
}  // namespace

bool ProjectCloseItem(Project* project, ProjectItem* item, int32_t event) {
    if (item == nullptr && project != nullptr) item = project->currentItem.load();
    if (item == nullptr) return false;
    project = item->project;
    if (project == nullptr || project->items.head == nullptr) return false;
    if (project->count < 2) return ProjectClose(project, event);
    if (ConfirmClosingWanted() && !ConfirmCloseData()) return false;
    ListNode* node = ListFindItem(project->items.head, item);
    if (node == nullptr) return false;
    ProjectItem* next = nullptr;
    bool wasCurrent = project->currentItem.load() == item;
    if (wasCurrent) {
        ListNode* other = node->next != nullptr ? node->next : node->previous;
        next = other != nullptr ? static_cast<ProjectItem*>(other->item) : nullptr;
    }
    ListUnlink(&project->items, node);
    --project->count;
    PlaybackRefresh(0);
    CUI* cui = project->owner;
    if (!UiReady()) event = 0;
    if (wasCurrent) {
        project->currentItem.store(next);
        project->currentPosition = next != nullptr ? static_cast<int32_t>(ListIndexOf(project->items.head, next)) : 0;
    } else {
        // The current item may now stand one place earlier.
        ProjectItem* current = project->currentItem.load();
        project->currentPosition =
            current != nullptr ? static_cast<int32_t>(ListIndexOf(project->items.head, current)) : 0;
    }
    if (cui != nullptr) {
        if (wasCurrent && next != nullptr) {
            SelectTabsByItem(cui, item, 0);
            ActivateSource(next, event);
        } else if (!wasCurrent) {
            SelectTabsByItem(cui, item, 0);
        } else {
            SelectTabsByItem(cui, item, event < 3 ? 0 : 3);
        }
    }
    item->project = nullptr;
    delete item;
    RefreshGroupTabs(cui);
    // Another file than the one shown went: its tab goes from the strips, and the counts
    // follow, now (a close from the command line comes with no input that repaints).
    if (cui != nullptr && !wasCurrent) SelectTabsCurrent(cui, event);
    return true;
}

bool ProjectClose(Project* project, int32_t event) {
    if (project == nullptr) return false;
    CUI* cui = project->owner;
    if (cui == nullptr) {
        if (ConfirmClosingWanted() && !ConfirmCloseData()) return false;
        delete project;
        return true;
    }
    ListNode* node = ListFindItem(cui->projects.head, project);
    if (node == nullptr) return false;
    if (!cui->IsUp()) event = 0;
    if (cui->projectCount < 2) return ProjectCloseData(cui, false);
    if (ConfirmClosingWanted() && !ConfirmCloseData()) return false;
    PlaybackRefresh(0);
    bool wasCurrent = cui->currentProject == project;
    Project* next = nullptr;
    if (wasCurrent) {
        ListNode* other = node->next != nullptr ? node->next : node->previous;
        next = other != nullptr ? static_cast<Project*>(other->item) : nullptr;
    }
    ListUnlink(&cui->projects, node);
    --cui->projectCount;
    if (wasCurrent) cui->currentProject = next;
    cui->currentProjectPosition = cui->currentProject != nullptr
                                      ? static_cast<int32_t>(ListIndexOf(cui->projects.head, cui->currentProject))
                                      : 0;
    SelectTabsByItem(cui, project->currentItem.load(), cui->currentProject != nullptr ? 0 : (event < 3 ? 0 : 3));
    if (cui->currentProject != nullptr) ActivateSource(cui->currentProject->currentItem.load(), event);
    project->owner = nullptr;
    delete project;
    RefreshGroupTabs(cui);
    if (event == 7 && cui->IsUp()) gWinRefreshAll();
    return true;
}

bool ProjectCloseData(CUI* cui, bool keepNames) {
    if (cui == nullptr || cui->projects.head == nullptr) return true;
    if (ConfirmClosingWanted() && !ConfirmCloseData()) return false;
    PlaybackRefresh(0);
    CUICloseAllProjects(cui, true);
    if (!keepNames) cui->pendingFiles.clear();
    return true;
}

void CUICloseAllProjects(CUI* cui, bool repaint) {
    if (cui == nullptr) return;
    bool up = cui->IsUp();
    if (up) CUIRefreshWindowRecords(cui);
    cui->currentProjectPosition = 0;
    cui->projectCount = 0;
    cui->currentProject = nullptr;
    ListDestroyItemsHead(&cui->projects, [](void* p) {
        auto* project = static_cast<Project*>(p);
        project->owner = nullptr;
        delete project;
    });
    if (up) SelectTabsCurrent(cui, 3);
    RefreshGroupTabs(cui);
    if (repaint && up) gWinRefreshAll();
}

// ---- Selection ------------------------------------------------------------------------------------

Project* CUISelectProject(CUI* cui, Project* from, int32_t n) {
    if (cui == nullptr || cui->projects.head == nullptr) return nullptr;
    ListNode* node;
    if (from != nullptr) {
        node = ListFindItem(cui->projects.head, from);
        if (node == nullptr) return nullptr;
        node = StepFrom(node, n);
    } else {
        node = n <= 1 ? cui->projects.head : StepFrom(cui->projects.head, n - 1);
    }
    if (node == nullptr) return nullptr;
    auto* project = static_cast<Project*>(node->item);
    if (project != cui->currentProject) {
        PlaybackRefresh(0);
        cui->currentProject = project;
        cui->currentProjectPosition = static_cast<int32_t>(ListIndexOf(cui->projects.head, project));
    }
    return project;
}

ProjectItem* ProjectSelectItemAt(Project* project, ProjectItem* from, int32_t n) {
    if (project == nullptr || project->items.head == nullptr) return nullptr;
    ListNode* node;
    if (from != nullptr) {
        node = ListFindItem(project->items.head, from);
        if (node == nullptr) return nullptr;
        node = StepFrom(node, n);
    } else {
        node = StepFrom(project->items.head, n);
    }
    if (node == nullptr) return nullptr;
    auto* item = static_cast<ProjectItem*>(node->item);
    if (item != project->currentItem.load()) {
        PlaybackRefresh(0);
        project->currentItem.store(item);
        project->currentPosition = static_cast<int32_t>(ListIndexOf(project->items.head, item));
    }
    return item;
}

bool ProjectSelectNext(CUI* cui, int32_t n, bool relative) {
    if (cui == nullptr || cui->currentProject == nullptr) return false;
    Project* before = cui->currentProject;
    Project* selected = CUISelectProject(cui, relative ? before : nullptr, n);
    if (selected == nullptr || selected == before) return false;
    ActivateSource(selected->currentItem.load(), 7);
    return true;
}

bool ProjectSelectNextItem(Project* project, int32_t n, bool relative) {
    if (project == nullptr || project->currentItem.load() == nullptr) return false;
    ProjectItem* before = project->currentItem.load();
    ProjectItem* selected = ProjectSelectItemAt(project, relative ? before : nullptr, n);
    if (selected == nullptr || selected == before) return false;
    ActivateSource(selected, 7);
    return true;
}

bool ProjectStepItem(CUI* cui, bool backward) {
    if (cui == nullptr) return false;
    Project* project = cui->currentProject;
    if (project == nullptr || project->currentItem.load() == nullptr || project->count < 2) return false;
    if (backward) {
        if (project->currentPosition <= 1) return ProjectSelectNextItem(project, project->count - 1, false);
        return ProjectSelectNextItem(project, -1, true);
    }
    if (project->currentPosition >= project->count) return ProjectSelectNextItem(project, 0, false);
    return ProjectSelectNextItem(project, 1, true);
}

bool ProjectSelectItem(ProjectItem* item) {
    if (item == nullptr || item->project == nullptr) return false;
    Project* project = item->project;
    if (project->currentItem.load() == item) return false;
    PlaybackRefresh(0);
    project->currentItem.store(item);
    project->currentPosition = static_cast<int32_t>(ListIndexOf(project->items.head, item));
    ActivateSource(item, 7);
    return true;
}

void CUIRefreshSelectTabs(CUI* cui) {
    ShellHooks& hooks = TheShellHooks();
    if (cui == nullptr || !UiReady() || hooks.refillSelectTab == nullptr) return;
    for (ComponentBase* c : cui->Components())
        if (IdHasStage(c->GetClassId(), FourCC("DRAW"), FourCC("CTNR"))) hooks.refillSelectTab(c);
}

void ItemRefreshDisplays(ProjectItem* item) {
    if (item == nullptr) return;
    std::vector<ComponentBase*> list = item->sources;
    if (list.empty() && item->currentSource.load() != nullptr) list.push_back(item->currentSource.load());
    for (ComponentBase* s : list)
        if (s != nullptr && ComponentIsLive(s) && s->portRecord != nullptr) s->portRecord->Refresh();
}

void ProjectRefreshAll(CUI* cui) {
    if (cui == nullptr) return;
    for (ListNode* p = cui->projects.head; p != nullptr; p = p->next) {
        auto* project = static_cast<Project*>(p->item);
        if (project == nullptr) continue;
        for (ListNode* i = project->items.head; i != nullptr; i = i->next)
            ItemRefreshDisplays(static_cast<ProjectItem*>(i->item));
    }
}

// ---- Sources of an item ---------------------------------------------------------------------------

bool ItemAddSource(ProjectItem* item, ComponentBase* source) {
    if (item == nullptr || source == nullptr) return false;
    try {
        ComponentBase* current = item->currentSource.load();
        if (current == nullptr && item->sources.empty()) {
            item->currentSource.store(source);
            item->currentSourcePosition = 1;
        } else {
            // The list starts with the second source and then holds every source.
            if (item->sources.empty() && current != nullptr) item->sources.push_back(current);
            item->sources.push_back(source);
            if (current == nullptr) {
                item->currentSource.store(source);
                item->currentSourcePosition = static_cast<int32_t>(item->sources.size());
            }
        }
    } catch (...) {
        return false;
    }
    source->owner = item;
    ++item->sourceCount;
    return true;
}

// ---- The chain of the current source --------------------------------------------------------

namespace {

// The component and everything downstream of it, each once.
void CollectChain(ComponentBase* c, std::vector<ComponentBase*>* chain) {
    if (c == nullptr || std::find(chain->begin(), chain->end(), c) != chain->end()) return;
    chain->push_back(c);
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) CollectChain(link->owner, chain);
}

}  // namespace

bool ItemChainHolds(ComponentBase* source, const ComponentBase* component) {
    std::vector<ComponentBase*> chain;
    CollectChain(source, &chain);
    return std::find(chain.begin(), chain.end(), component) != chain.end();
}

void ItemFollowCurrentSource(ProjectItem* item) {
    ComponentBase* current = item != nullptr ? item->currentSource.load() : nullptr;
    if (current == nullptr || item->sources.size() < 2) return;
    // Each source of a file of several units has a chain of its own built behind it; the
    // item's stages, the port list of its displays and its first stage are those of the
    // chain the user chose, so that the pictures, the pages and an Output all take it.
    std::vector<ComponentBase*> chain;
    CollectChain(current, &chain);
    ComponentBase* stages[3] = {nullptr, nullptr, nullptr};
    PortList* list = nullptr;
    for (ComponentBase* c : chain) {
        const ComponentId* id = c->GetClassId();
        if (stages[0] == nullptr && IdHasStage(id, FourCC("FILT"), FourCC("CTNR"))) stages[0] = c;
        if (stages[1] == nullptr && IdHasStage(id, FourCC("CONV"), FourCC("COLR"))) stages[1] = c;
        if (stages[2] == nullptr && IdHasStage(id, FourCC("PROC"), FourCC("REDU"))) stages[2] = c;
        if (list == nullptr && c->portRecord != nullptr && c->portRecord->portList != nullptr)
            list = c->portRecord->portList;
    }
    item->firstStage = current;
    item->currentWindows[0] = current;
    item->currentWindows[1] = stages[0];
    item->currentWindows[2] = stages[1];
    item->currentWindows[3] = stages[2];
    if (stages[0] != nullptr) item->processing = stages[0];
    if (list != nullptr) item->source.portList = list;
}

void AttachCurrentSource(ProjectItem* item, int32_t eventCode) {
    ItemFollowCurrentSource(item);
    AttachSourceToPipeline(item, eventCode);
}

bool ItemSelectSourceAt(ProjectItem* item, ComponentBase* from, int32_t n) {
    if (item == nullptr) return false;
    ComponentBase* before = item->currentSource.load();
    if (item->sources.empty()) return false;  // the current source is the only one
    auto count = static_cast<int32_t>(item->sources.size());
    int32_t start = 0;
    if (from != nullptr) {
        start = -1;
        for (int32_t i = 0; i < count; ++i)
            if (item->sources[static_cast<size_t>(i)] == from) start = i;
        if (start < 0) return false;
    }
    int32_t at = std::max(0, std::min(count - 1, start + n));
    ComponentBase* selected = item->sources[static_cast<size_t>(at)];
    if (selected == before) return false;
    PlaybackRefresh(0);
    item->currentSource.store(selected);
    item->currentSourcePosition = at + 1;
    AttachCurrentSource(item, 7);
    return true;
}

bool ItemSelectNextSource(ProjectItem* item, int32_t n, bool relative) {
    if (item == nullptr || item->currentSource.load() == nullptr) return false;
    return ItemSelectSourceAt(item, relative ? item->currentSource.load() : nullptr, n);
}

// ---- The "Projects" commands -----------------------------------------------------------------------

namespace {

CUI* CuiOf(CommandContext* context) {
    return context != nullptr ? static_cast<CUI*>(context->userData) : nullptr;
}

void NoteRefreshRequest() {
    if (gUiReady()) TheApp().Settings().bringToFront = 1;
}

// The full path of a command's file name (a relative name is taken in the folder the line
// was typed in); empty when it cannot be made or does not fit.
std::string CommandFullPath(const std::string& name) {
    std::string path = TheApp().CommandPath(name);
    char full[kPathMax];
    size_t n = FullPathName(full, path.c_str(), sizeof full);
    if (n == 0 || n >= sizeof full) return std::string();
    return full;
}

bool ProjectOpenFiles(const CommandRecord* record, const CommandArgList* args, CommandContext* context) {
    CUI* cui = CuiOf(context);
    if (cui == nullptr || record->disabled || args == nullptr || args->empty()) return false;
    // The status line speaks of the files this line opens, not of those opened before.
    StatusClearReport(kStatusGroupMain);
    size_t firstNew = cui->pendingFiles.size();
    int counted = 0;
    for (const CommandArg& a : *args) {
        if (a.kind != kArgText) continue;
        std::string full = CommandFullPath(a.text);
        if (full.empty() || !FileExists(full.c_str())) {
            const char* shown = full.empty() ? a.text.c_str() : full.c_str();
            LogPrintf("* Can`t open file: %s", shown);
            SetGroupStatus(0, 3, kStatusRedrawNow, shown);
            continue;
        }
        cui->pendingFiles.push_back(PendingFile{full, 19, 0});
        ++counted;
    }
    if (counted == 0) return false;
    Project* project = cui->mainWindow != nullptr ? nullptr : cui->currentProject;
    OpenParameters request;
    OpenRoad& road = TheOpenRoad();
    Project* result = nullptr;
    if (counted == 1) {
        std::string name = cui->pendingFiles.back().name;
        if (road.openSourceFileReport != nullptr) {
            ComponentBase* source = road.openSourceFileReport(cui, project, &request, name.c_str());
            if (source != nullptr && ComponentIsLive(source)) {
                auto* item = dynamic_cast<ProjectItem*>(source->owner);
                result = ProjectOfItem(item);
            }
            if (source != nullptr && result == nullptr) result = cui->currentProject;
        } else {
            LogPrintf(kCantOpenLine, name.c_str());
        }
        cui->pendingFiles.clear();
    } else if (road.openSourceFileList != nullptr) {
        result = road.openSourceFileList(cui, project, &request, false);
    } else {
        for (size_t i = firstNew; i < cui->pendingFiles.size(); ++i)
            LogPrintf(kCantOpenLine, cui->pendingFiles[i].name.c_str());
        cui->pendingFiles.clear();
    }
    std::free(request.text);
    if (result == nullptr) return false;
    context->owner = result;
    context->userData = result;
    NoteRefreshRequest();
    return true;
}

bool CloseRefused(const CommandRecord* record) { return record->disabled || TheApp().InstanceCount() < 2; }

bool ProjectCloseFile(const CommandRecord* record, const CommandArgList* args, CommandContext* context) {
    CUI* cui = CuiOf(context);
    if (cui == nullptr || CloseRefused(record) || args == nullptr) return false;
    int closed = 0;
    for (const CommandArg& a : *args) {
        if (a.kind != kArgText) continue;
        std::string full = CommandFullPath(a.text);
        if (full.empty()) continue;
        Project* project = nullptr;
        ProjectItem* item = ProjectFindItemByName(cui, &project, full.c_str());
        if (item == nullptr) continue;
        if (ProjectCloseItem(project, item, gUiReady() ? 7 : 0)) ++closed;
    }
    if (closed == 0) return false;
    NoteRefreshRequest();
    return true;
}

bool ProjectCloseAll(const CommandRecord* record, const CommandArgList*, CommandContext* context) {
    CUI* cui = CuiOf(context);
    if (cui == nullptr || CloseRefused(record) || cui->projects.head == nullptr) return false;
    ProjectCloseData(cui, false);
    NoteRefreshRequest();
    return true;
}

CommandRecord gOpenBare{"Open (file)", 0, nullptr, &ProjectOpenFiles, -1, nullptr, nullptr, kCommandFollowOwner};
CommandRecord gOpen{"Open (file) [opt.]", 0, "open\0o\0", &ProjectOpenFiles, -1, nullptr, nullptr,
                    kCommandFollowOwner};
CommandRecord gClose{"Close (file)", 0, "close\0c\0", &ProjectCloseFile, -1, nullptr, nullptr, 0};
CommandRecord gAllClose{"Close all (files)", 0, "allclose\0", &ProjectCloseAll, 0, nullptr, nullptr, 0};
CommandRecord* const kProjectsRecords[] = {&gOpenBare, &gOpen, &gClose, &gAllClose, nullptr};
const CommandInterface kProjectsIface{&kProjectListId, "Projects", "Projects Iface", kProjectsRecords};

}  // namespace

void RegisterProjectsIface(CUI* cui) {
    if (cui == nullptr) return;
    AppObject& app = TheApp();
    if (!app.Registry().Contains(&kProjectsIface) || cui->commands.empty())
        CommandRegistryAdd(app.Registry(), *cui, kProjectsIface);
    app.SetUiCommandOwner(cui, cui);
    const uint32_t styles[kGroupCount] = {kGroupStyleMain, kGroupStyleChart, kGroupStyleScematic};
    for (int g = 0; g < kGroupCount; ++g) {
        cui->groups[g].owner = cui;
        cui->groups[g].style = styles[g];
    }
}

}  // namespace orva
