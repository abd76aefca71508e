#pragma once
// The user-interface object (CUI): the application's project manager. It holds the open
// data as projects of opened files (ProjectItem), the pipeline components and the
// window-holding containers of the user interface, the page records that show component
// panels, the port lists of the project graph and the three window groups (0 the main
// window, 1 "Chart Tools", 2 "Scematic Tools"). One object for the process
// (TheCUI()); it is the component model's user interface (ComponentUi) and the
// owner of the "Projects" commands. UI thread only.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/preferences.h"
#include "common/list.h"
#include "common/path_name.h"
#include "common/record_tag.h"
#include "framework/command_registry.h"
#include "framework/component.h"
#include "framework/port.h"
#include "io/input_source.h"
#include "toolkit/histogram_chart.h"

namespace orva {

struct gElement;
struct gMenuItem;
struct gWindow;
struct MenuBar;
struct SourceOpenState;
struct FormatDesc;
class CUI;
class Project;
class UIElement;
class UIPage;
class OptionsWindow;

constexpr uint32_t kWindowGroupTag = FourCC("PJLD");
constexpr int kGroupCount = 3;
// Group styles (set at start-up); a data window joins the tab bar of the group whose
// style with bit 0x800 its own flags contain.
constexpr uint32_t kGroupStyleMain = 0x82000;
constexpr uint32_t kGroupStyleChart = 0x102000;
constexpr uint32_t kGroupStyleScematic = 0x202000;
constexpr uint32_t kGroupPagesBit = 0x800;

// One window group.
struct WindowGroup {
    uint32_t tag = kWindowGroupTag;
    int32_t sideWidth = 0;     // left inset: the page column of the tool windows
    int32_t topMargin = 0;     // top of the page area
    int32_t pageSelector = 0;  // the page selector word set by the default chain
    int32_t bottomMargin = 0;  // status-line height + 4, at least 14
    int32_t cascade[2] = {0, 0};   // where the next panel window over this group goes
    float tabArea[3][2] = {};      // the three points of the page area
    CUI* owner = nullptr;
    uint32_t style = 0;
    // Slot 0 the group's window; slot 1 the data window that receives its keys; slots 2
    // and 3 the zoom-bar and lens tool windows of the workspace.
    gWindow* windows[4] = {nullptr, nullptr, nullptr, nullptr};
    gElement* tabBar = nullptr;
    MenuBar* menuBar = nullptr;          // group 0 only
    gElement* statusWidget = nullptr;    // the group's status line
    gElement* secondStatus = nullptr;    // also redrawn when the status changes
    int32_t statusCode = -1;             // the code shown (-1: none, or a negative one)
    ComponentBase* workspace = nullptr;  // the group's workspace draw container
    // How far the page column is scrolled (pixels its pages move up), and how far its
    // pages have been moved for it now.
    float pageScroll = 0, pageScrollApplied = 0;
    // The column's scroll bar (made when the pages first do not fit the column).
    gElement* columnBar = nullptr;
    // The tab labels of the group's page records, by tab identifier.
    std::vector<std::string> tabLabels;
    std::vector<UIPage*> tabPages;
};

// A file name that keeps its file-name part as a separate text.
class ItemPathName : public PathName {
public:
    // PathName::Set's result; -1 for a null text.
    int Set(const char* text);
    // PathName::Assign's result; -3 when the name part cannot be copied.
    int Assign(const ItemPathName& other);
    void Reset() override;
    const std::string& FileName() const { return fileName_; }

private:
    void KeepName();
    std::string fileName_;
};

// One opened data file. The framework part holds the item's first stage, its four current
// windows and the source holder; the data-set sink is the open road's.
class ProjectItem : public ProjectItemBase, public InputReceiver {
public:
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    ProjectItem();
    // Stops playback, lets go of its sources and its UI elements.
    ~ProjectItem() override;
    void ForgetComponent(const ComponentBase* component) override;
    // The open road's data-set sink.
    int TakeDataSet(DataSet* dataSet) override;

    std::vector<UIElement*> elements;            // the item's UI elements (owned)
    std::atomic<ComponentBase*> currentSource{nullptr};
    std::vector<ComponentBase*> sources;         // started when a second source is added
    Project* project = nullptr;
    int32_t currentSourcePosition = 0;           // 1-based
    int32_t sourceCount = 0;
    ItemPathName path;
    ComponentBase* output = nullptr;             // the Output the item's data goes to
    // What the open road keeps with the item.
    SourceOpenState* pipelineContext = nullptr;  // lent while the input opens
    int32_t openResult = 0;
    uint32_t openFlags = 0;
};

// A group of opened files.
class Project : public CommandOwner {
public:
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    Project();
    ~Project() override;

    std::vector<UIElement*> elements;
    std::atomic<ProjectItem*> currentItem{nullptr};
    ListHead items{nullptr};
    CUI* owner = nullptr;
    int32_t currentPosition = 0;  // 1-based
    int32_t count = 0;
    std::string texts[5];
};

// A name gathered by "open" before it is opened.
struct PendingFile {
    std::string name;
    uint32_t flags = 0x13;
    uint32_t formatIndex = 0;
};

class CUI : public ComponentUi, public CommandOwner {
public:
    CUI();
    ~CUI() override;
    CUI(const CUI&) = delete;
    CUI& operator=(const CUI&) = delete;

    // ---- ComponentUi ----
    bool ListsComponent(const ComponentBase* component) const override;
    // CUIAddComponent: the stages that the pipeline builder creates join the list.
    bool AddComponent(ComponentBase* component) override;
    void RemoveComponent(ComponentBase* component) override;
    void ForgetComponent(ComponentBase* component) override;
    std::vector<ComponentBase*> Components() const override;
    void ResetHistogram() override;
    bool IsUp() const override;
    bool RunsWithoutWindows() const override;
    PageWindow* GetPageWindow() override;
    PortListSet* PortLists() override { return &portLists; }
    uint32_t StyleFlags() const override { return groups[0].style; }
    void* GroupWindow(int group) override;
    void LayoutGroup(int group) override;
    void SetGroupPageSelector(int group, int32_t value) override;
    ComponentBase* FindComponent(uint32_t number, void* window, uint32_t code3, uint32_t code4) override;
    ComponentBase* CreateWorkspace(int group) override;
    DisplayCellBase* GetCellByNumber(ComponentBase* workspace, uint32_t number) override;
    bool PlaceCellInSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) override;
    DisplayCellBase* CreateDisplayCell(ComponentBase* workspace, void* hostWindow, int flag) override;
    bool CellInSlot(ComponentBase* workspace, DisplayCellBase* cell, uint32_t number) override;
    PageWindow* FindPageWindow(void* window, PanelBuilder builder, uint32_t style) override;
    void RefreshPageWindow(PageWindow* window) override;
    void AttachPageContainer(ComponentBase* component, void* window, uint32_t style) override;
    // Registered at once: the pages exist before the displays that follow need them.
    void QueuePageRegistration(ComponentBase* component, void* window, uint32_t style) override;

    // ---- Fields ----
    std::vector<UIElement*> elements;    // the CUI's own UI elements
    PreferencesRecord preferences;
    uint8_t createNewProject = 0;        // the CreateNewProject preference (kept from preferences)
    std::string lastOpenedFile;
    PortListSet portLists;
    Project* currentProject = nullptr;
    ListHead projects{nullptr};
    std::vector<PendingFile> pendingFiles;
    ListHead components{nullptr};        // pipeline components of the user interface
    ListHead containers{nullptr};        // window-holding components
    ListHead windowRecords{nullptr};     // UIPage records that show component panels
    gWindow* mainWindow = nullptr;
    void* menuView = nullptr;
    ComponentBase* outputReference = nullptr;
    ComponentBase* menuTarget = nullptr;
    HistogramChart histogram;
    WindowGroup groups[kGroupCount];
    ComponentBase* currentOutput = nullptr;
    ComponentBase* currentCell = nullptr;   // the display cell the pages follow
    int32_t currentProjectPosition = 0;
    int32_t projectCount = 0;
    // The View menu's 'Show Window "Tools"' item (null until the menus exist).
    gMenuItem* toolsItem = nullptr;
};

// The process's user-interface object.
CUI& TheCUI();

// ---- Construction and shut-down ------------------------------------------------------------

// Registers the "Projects" commands and sets the groups' owners and styles.
void RegisterProjectsIface(CUI* cui);
// Refreshes every port of every port list (the user interface stops).
void CUIChildListVisit(CUI* cui);
// The end of the user interface's data: sources detached, components and containers
// released, projects closed, port lists and window records destroyed.
void CUIShutdown(CUI* cui);
// Clears the three window-group records (their windows are gone).
void CUIClearWindowGroups(CUI* cui);

// ---- Projects and items ----------------------------------------------------------------------

bool CUIAddProject(CUI* cui, Project* project);
ProjectItem* ProjectItemNew(const char* path);
bool ProjectAttachItem(Project* project, ProjectItem* item);
ProjectItem* ProjectCreateItem(Project* project, const char* path);
ProjectItem* ProjectFindItemByName(CUI* cui, Project** outProject, const char* name);
int32_t ProjectCountByName(CUI* cui, const char* name);
// event: the repaint code handed to the pipeline (7 repaints at once, 3 later, 0 none).
bool ProjectCloseItem(Project* project, ProjectItem* item, int32_t event);
bool ProjectClose(Project* project, int32_t event);
// False when the confirmation was refused (the data stays open).
bool ProjectCloseData(CUI* cui, bool keepNames);
void CUICloseAllProjects(CUI* cui, bool repaint);
Project* CUISelectProject(CUI* cui, Project* from, int32_t n);
ProjectItem* ProjectSelectItemAt(Project* project, ProjectItem* from, int32_t n);
bool ProjectSelectNext(CUI* cui, int32_t n, bool relative);
bool ProjectSelectNextItem(Project* project, int32_t n, bool relative);
bool ProjectSelectItem(ProjectItem* item);
// Refills the select tab strips of the draw containers from the current project (the
// strips alone: no other page is refreshed).
void CUIRefreshSelectTabs(CUI* cui);
// Keyboard of the graphics windows: the next or previous item of the current project,
// wrapping at both ends.
bool ProjectStepItem(CUI* cui, bool backward);
void ProjectRefreshAll(CUI* cui);
void ItemRefreshDisplays(ProjectItem* item);
bool ItemAddSource(ProjectItem* item, ComponentBase* source);
// The open road's name for it: a Source joins its item.
inline bool WindowListAdd(ProjectItem* holder, ComponentBase* source) { return ItemAddSource(holder, source); }
bool ItemSelectSourceAt(ProjectItem* item, ComponentBase* from, int32_t n);
// A file of several units (FITS image extensions) has a source and a chain behind it for
// each: the item's first stage, stages, Processing and display port list become those of
// the current source's chain (nothing changes for an item of one source).
void ItemFollowCurrentSource(ProjectItem* item);
// ItemFollowCurrentSource, then the current source's displays show it (AttachSourceToPipeline).
void AttachCurrentSource(ProjectItem* item, int32_t eventCode);
// Whether the component is the source or downstream of it.
bool ItemChainHolds(ComponentBase* source, const ComponentBase* component);
bool ItemSelectNextSource(ProjectItem* item, int32_t n, bool relative);

// ---- Components and windows --------------------------------------------------------------------

bool CUIAddComponent(CUI* cui, ComponentBase* component);
bool CUIAddContainer(CUI* cui, ComponentBase* component);
void CUIRemoveComponent(CUI* cui, ComponentBase* component);
void CUIRemoveContainer(CUI* cui, ComponentBase* component);
void CUIForgetComponent(CUI* cui, ComponentBase* component);
ComponentBase* CUIFindComponent(CUI* cui, uint32_t n, const void* owner, uint32_t tag3, uint32_t tag4);
// The next component after the list position *inoutIndex (0: from the start) with the tag
// pair whose page is absent or whose flags agree with `flags` under 0x1079EE00.
ComponentBase* CUIFindNextComponent(CUI* cui, size_t* inoutIndex, uint32_t tag3, uint32_t tag4, uint32_t flags);
bool CUISetCurrentOutput(CUI* cui, ComponentBase* output, bool force);
ComponentBase* CUIGetCurrentOutput(CUI* cui);
ComponentBase* ItemGetOutput(ProjectItem* item);
ComponentBase* SourceGetOutput(ProjectItem* item);
void CUIRedrawCurrentOutput(CUI* cui);

UIPage* CUICreateWindowRecord(CUI* cui);
UIPage* CUIFindFreeWindowRecord(CUI* cui);
UIPage* CUIFindWindowRecord(CUI* cui, PanelBuilder builder, uintptr_t id, uint32_t flags);
UIPage* AttachItemWindow(CUI* cui, ComponentBase* component, uintptr_t id, uint32_t flags);
UIPage* AttachItemWindowById(CUI* cui, ComponentBase* component, uintptr_t id, uint32_t flags);
void CUIDetachWindowRecord(CUI* cui, UIPage* record);
void CUIRefreshWindowRecords(CUI* cui);

// The cascade position of the window group whose first or second slot is the window.
int32_t* FindWindowSettings(gWindow* window);
// Where the pages of a group window begin (below its tab bar); false for other windows.
bool GroupPageOrigin(const gWindow* window, float* x, float* y);
// The menu bar's release: clears group 0's menu-bar field; false when the record is not
// a live window group.
bool WindowGroupForgetWidget(void* record);
bool IsWindowGroup(const void* record);
// The tool window of group 1: shown (and enabled) when hidden, else disabled and hidden;
// the result is whether it is shown now.
bool ToolWindowToggle(CUI* cui);
bool ToolWindowSetShown(CUI* cui, bool on);
// The check mark of the View menu's tools item follows the tool window.
void SyncToolsMenuCheck();
// The pages shown over the cells take their places anew: every window stands, or a tool
// window came or went.
void PlaceFloatingPagesAnew(CUI* cui);

// ---- The current windows of an item ---------------------------------------------------------------

// The first of the four current windows, tried in the order second, fourth, first,
// third, whose component has that tag pair.
ComponentBase* FindCurrentItemWindow(ProjectItem* item, uint32_t tag3, uint32_t tag4);
bool HasCurrentItemWindow(const ProjectItem* item);
// Clears the second to fourth windows and the output that equal the component (the
// first window belongs to its owner, who clears it when its component goes).
void ClearCurrentItemWindow(ProjectItem* item, const ComponentBase* component);
// Every component of the item's CUI whose owner is the item, except the item's own
// Sources: display cells lose the reference; others are taken off their port and
// rebuilt. An item calls it as it goes, so that no stage outlives it naming it.
void ReleaseItemConsumers(ProjectItem* item);
void RefreshItemOptionsWindow(ProjectItem* item);
// The pages that the item's stages share with the stages of the other items (the
// group windows' tabs) show this item's stages.
void ItemPagesFollow(ProjectItem* item);
void OutputFormatFollowsDialog(ProjectItem* item, ComponentBase* output, int32_t a, int32_t b);
bool ItemSaveOutput(ProjectItem* item, ComponentBase* output, int32_t code, PanelBuilder builder);
bool WindowSaveCurrentItem(gWindow* window, int32_t code, PanelBuilder builder);

// The project and item whose list node holds the pointer (membership checks).
Project* ProjectOfItem(const ProjectItem* item);
// The CUI an item belongs to (item -> project -> CUI).
CUI* CUIOfItem(const ProjectItem* item);

}  // namespace orva
