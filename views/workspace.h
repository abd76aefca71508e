#pragma once
// The workspace: the component that fills the client area of one window group with a
// host window and holds up to four display cells in slots 1 to 4, one of them active.
// It keeps the cached readouts of the active cell, the lens and the preview, and it
// handles the keys of its window: the snapping of a segment being drawn, closing of the
// current item and the ruler toggles. The main window's workspace is "Layout", the
// second group's "Chart Tools" and the third's "Scematic Tools". UI thread only.
#include <cstdint>

#include "data/affine_record.h"
#include "framework/component.h"
#include "app/graphics_window.h"
#include "app/image_view.h"
#include "toolkit/texture_view.h"
#include "views/lens.h"

namespace orva {

class CUI;
class DisplayComponent;
class ListCtrl;
class OptionsWindow;
class UIWindowRecord;
struct WindowGroup;
struct gElement;
struct gWindow;

constexpr int32_t kWorkspaceSlots = 4;
constexpr int32_t kCellAreaKind = 513;
constexpr int32_t kWorkspaceKind = 13;

// Names of the three groups' workspaces.
constexpr const char* kWorkspaceNames[3] = {"Layout", "Chart Tools", "Scematic Tools"};

// The readout cache of the active cell.
struct WorkspaceReadouts {
    int32_t cursor[2] = {0, 0};
    double coords[2] = {0.0, 0.0};
    double value = 0.0;
    double channelValues[2] = {0.0, 0.0};
    uint8_t valueMissing = 0;
    uint8_t valuesCached = 0;
    uint8_t channelsCached = 0;
    int32_t channelCount = 0;
    int32_t channelOffset = 0;
    int32_t selectedChannel = 0;
    uint8_t markers[2] = {0, 0};   // cleared by the cells
    uint8_t channelStale = 0;      // the selected channel changed since the readout
};

class WorkspaceComponent : public ComponentBase {
public:
    WorkspaceComponent();
    ~WorkspaceComponent() override;

    const ComponentId* GetClassId() const override;                    // 0
    bool CreateInstance(ComponentObject** out) override;               // 4
    bool QueryInterface(const ComponentId* id, void** out) override;   // 5
    // PaintNow: the workspace's window painted at once.
    int32_t Refresh(uint8_t playback) override;                        // 6
    bool QueryProperties(const ComponentId* id, PropertyComponent** out) override;  // 7
    ConsumerLink* GetInputLink(int index) override;                    // 8
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;  // 10
    void SendPageMessage(MessageRecord*, uint32_t) override {}         // 12
    bool QueryPageMessage(MessageRecord*, uint32_t) override { return false; }  // 13
    void* QueryFrameDescription() override { return nullptr; }         // 14
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return nullptr; }
    void* UpstreamFrameDescription() override { return nullptr; }
    FrameDataRecord* UpstreamFrameData(int32_t, int32_t) override { return nullptr; }

    DisplayComponent* activeCell = nullptr;
    DisplayComponent* cells[kWorkspaceSlots] = {nullptr, nullptr, nullptr, nullptr};
    WorkspaceReadouts readouts;
    float margins[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // left, top, right, bottom
    float marginSums[2] = {0.0f, 0.0f};           // left + right, top + bottom
    Lens lens;
    TextureView preview;
    GraphicsLens previewLens;                     // the preview as the graphics windows see it
    uint8_t previewOn = 0;
    uint8_t previewRendered = 0;
    double scales[4] = {1.0, 1.0, 1.0, 1.0};
    AffineRecord affine;
    double scales2[4] = {1.0, 1.0, 1.0, 1.0};
    uint8_t viewFlag = 1;
    uint8_t viewState[28] = {};
    void (*listCallback)(void*) = nullptr;
    float factor = 1.0f;
    void* textBlock = nullptr;                    // owned aligned block
    int32_t constants[2] = {6, 14};
    gWindow* window = nullptr;                    // the host window
    gElement* cellArea = nullptr;                 // where the cells go: its rectangle is theirs
    ListCtrl* statisticsList = nullptr;
    gWindow* statisticsWindow = nullptr;
    WindowGroup* group = nullptr;                 // the window group it fills
    const char* title = nullptr;                  // "Layout", "Chart Tools" or "Scematic Tools"
    OptionsWindow* container = nullptr;           // its page container
    void* pageTable = nullptr;                    // the page table of the workspace pages
    float layoutWidth = 0.0f, layoutHeight = 0.0f;
    uint8_t snapPending = 1;
    // The preview missed frames that playback drew without it ("L" off while playing): it
    // is rendered again once playback stops.
    uint8_t auxiliaryPending = 0;
};

// True while the object is a live workspace.
WorkspaceComponent* AsWorkspace(ComponentBase* component);

// ---- Creation and layout -------------------------------------------------------------------

// The workspace of a window group, with its page container and its host window; null
// while the user interface is down, when the ui refuses it or when its page cannot be made.
WorkspaceComponent* CreateWorkspaceContainer(CUI* cui, WindowGroup* group);
// Fits the host window into the group window's client area of width x height.
void WorkspaceLayout(gWindow* host, WindowGroup* group, int32_t width, int32_t height, bool notify);
// The cell-area widget: the window less the four margins.
gElement* CreateCellArea(WorkspaceComponent* workspace, gWindow* window, const float* rect);
// The workspace's main window page (page -1): window, cell area, lens, hooks and layout.
// Returns the number of pages built (2), or 0/1 when it stopped early.
int32_t WorkspaceBuildMainPage(WorkspaceComponent* workspace, UIWindowRecord* record, gWindow* window);
// The resize layout of the host window; false without a lens widget.
bool WorkspaceResizeLayout(WorkspaceComponent* workspace);
// The workspace's panel builder (views/workspace_pages.cpp): the main page and the tool
// pages of the page table.
int32_t WorkspacePanelBuilder(PageWindow* page, void* window, int32_t pageId);
// Installs a panel builder for the workspaces made from now on (the full page table).
void SetWorkspacePanelBuilder(PanelBuilder builder);
PanelBuilder TheWorkspacePanelBuilder();

// ---- Cells ---------------------------------------------------------------------------------

DisplayComponent* GetActiveCell(WorkspaceComponent* workspace, uint32_t* number);
DisplayComponent* GetCellByNumber(WorkspaceComponent* workspace, uint32_t* number, bool fallback);
bool PlaceCellInSlot(WorkspaceComponent* workspace, DisplayComponent* cell, uint32_t number);
void RemoveCell(WorkspaceComponent* workspace, DisplayComponent* cell);
// True when `cell` sits in slot `number` (1..4).
bool CellInSlot(const WorkspaceComponent* workspace, const DisplayComponent* cell, uint32_t number);
bool WorkspaceInstallPlayback(WorkspaceComponent* workspace, int32_t a, int32_t b);

// ---- Keys and snapping --------------------------------------------------------------------

// Takes the end point from the graphics window and applies the snap rule when `snap`.
void WorkspaceSnapActive(WorkspaceComponent* workspace, bool snap);
bool WorkspaceOnKeyRelease(gWindow* window, uint32_t key);
bool WorkspaceOnKeyPress(gWindow* window, uint32_t key);
// The key hooks of the host window (the toolkit's key records).
bool WorkspaceKeyDownHook(gWindow* window, gWindow* from, void* key);
bool WorkspaceKeyUpHook(gWindow* window, void* key);
// The workspace whose host window is `window`, or null.
WorkspaceComponent* WorkspaceOfWindow(const gWindow* window);

// What the workspace keys call in the shell; tests replace entries.
struct WorkspaceShellHooks {
    // The toolkit's modifier bits held now.
    uint32_t (*modifiersNow)() = nullptr;
    bool (*hasProjects)() = nullptr;
    void (*closeData)() = nullptr;         // with its confirmation
    void (*closeCurrentItem)() = nullptr;  // the current project closes its item
    void (*syncToolsMenu)() = nullptr;
    // Installs frame playback for mode 1 with two values (the playback installer).
    bool (*installPlayback)(WorkspaceComponent* workspace, int32_t a, int32_t b) = nullptr;
};
WorkspaceShellHooks& TheWorkspaceShellHooks();
// The hooks as the program uses them.
void WorkspaceShellHooksDefaults(WorkspaceShellHooks* hooks);

}  // namespace orva
