#pragma once
// The display cell: the pipeline component that shows one data stream in a workspace.
// Its port (a ViewConsumer) connects upstream and creates the graphics window (chart or
// image window of the shell) with its output device; the cell paints what that window
// draws into a widget of the workspace's host window, clipped to its plot area beside
// the rulers, and answers pipeline events with redraws. While it is its workspace's
// active cell it keeps the workspace's preview in step.
//
// Redraw levels: below 3 nothing; 3 to 5 mark the window for redraw (dirty state 7);
// 6 and 7 paint at once; 8 repaints every window marked for redraw. A window whose
// state has any of the bits 0x199C is never painted at once.
//
// UI thread only. The display lock is held while devices are polled and ready groups
// change, never while painting.
#include <cstddef>
#include <cstdint>

#include "app/graphics_window.h"
#include "data/affine_record.h"
#include "framework/device_view.h"
#include "framework/port.h"
#include "views/display_grid.h"
#include "views/rulers.h"

namespace orva {

class HistogramChart;
struct StatisticsRecord;
class ListCtrl;
class ShapeContainer;
class WorkspaceComponent;
struct gElement;
struct gWindow;

constexpr int32_t kDisplayWidgetKind = 512;
// A float size at or above this is stored as kPlotSizeLimit.
constexpr float kPlotSizeClamp = 2147483520.0f;
constexpr int32_t kPlotSizeLimit = 0x7FFFFF80;
// Plot areas are never smaller than this on either axis.
constexpr float kPlotMinimum = 52.0f;
// Each row of scroll bars takes this much off the plot area's height.
constexpr float kScrollBarRow = 12.0f;
// The default colour set of a cell's window.
constexpr uint32_t kCellDefaultColours = 0x4000000;
// Widget style bit of a cell in a shape-editing mode.
constexpr uint32_t kCellEditStyle = 0x10000;

// Redraw levels.
constexpr int32_t kRedrawMark = 3;
constexpr int32_t kRedrawNow = 7;
constexpr int32_t kRedrawAll = 8;

// Pipeline events a cell answers.
constexpr int32_t kEventDataChanged = 2;
constexpr int32_t kEventRemoveAllShapes = 4;
constexpr int32_t kEventRemoveShape = 5;
constexpr int32_t kEventDrawNow = 18;
constexpr int32_t kEventRefresh = 19;
constexpr int32_t kEventSelectionChanged = 23;

// What the cell hands its port for the view's shapes.
struct ViewShapeSettings {
    uint8_t snapOption = 0;  // inverts the Shift snapping of segments at first
};

// The view-state record of a cell's drawing.
struct CellViewState {
    uint8_t flags[2] = {0, 0};
    uint32_t words[2] = {0, 0};
    double factor = 1.0;
    uint32_t modeBits = 0;
    int32_t counter = 1;
};
// Back to the values above (the 0xC00000 mode bits cleared).
void CellViewStateReset(CellViewState* state);

class DisplayComponent : public DisplayCellBase {
public:
    // `rulerSizes`: the vertical ruler's width and the horizontal one's height (41 and 15
    // when null). Without a window the cell gets only its base parts.
    DisplayComponent(gWindow* window, const float* rulerSizes);
    ~DisplayComponent() override;

    const ComponentId* GetClassId() const override;                         // 0
    bool CreateInstance(ComponentObject** out) override;                    // 4
    bool QueryInterface(const ComponentId* id, void** out) override;        // 5
    // Device delivery: the current device polled and its group kept, then a redraw.
    int32_t Refresh(uint8_t playback) override;                             // 6
    bool QueryProperties(const ComponentId* id, PropertyComponent** out) override;  // 7
    ConsumerLink* GetInputLink(int index) override;                         // 8
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;  // 10
    bool OnMessage(MessageRecord* message, uint32_t argument) override;     // 11
    // Messages passed upstream (ForwardPageMessage, ForwardPageMessageEnd).
    void SendPageMessage(MessageRecord* message, uint32_t argument) override;   // 12
    bool QueryPageMessage(MessageRecord* message, uint32_t argument) override;  // 13
    void* QueryFrameDescription() override { return nullptr; }              // 14
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return nullptr; }  // 15
    void* UpstreamFrameDescription() override { return nullptr; }           // 16
    FrameDataRecord* UpstreamFrameData(int32_t, int32_t) override { return nullptr; }  // 17

    // The display-cell operations the ports call.
    void PortChanged(bool full) override { ResetView(full); }               // 20
    void AfterPortShown() override { ActivateShapes(); }                    // 21
    void AfterPortShown2() override { Relayout(); }                         // 22
    void Layout() override { Redraw(); }                                    // 23
    void AfterSync() override { ResetColours(); }                           // 24
    void OnPortGone(int32_t code) override;                                 // 25
    void ResultsDropped() override { ResetZoom(); }                         // 27
    OutPort* CreatePort() override;                                         // 28

    virtual void ResetView(bool full);
    virtual void ActivateShapes();
    virtual void Relayout();
    virtual void Redraw();
    virtual void ResetColours();
    virtual void OnPipelineEvent(int32_t event, int32_t level);
    // Paints the cell's window at once.
    virtual void Draw();
    virtual void ResetZoom();
    virtual bool RenderPreview();

    // The port's parts: the view, its device and its graphics window.
    ViewConsumer* View() const;
    GraphicsWindow* Graphics() const;
    DeviceViewBase* Device() const { return currentDevice; }
    // True while the cell's graphics window has data to show (a producer is attached).
    bool ShowsData() const;
    // True when the cell is its workspace's active cell, or has no workspace.
    bool ActiveOrAlone() const;
    bool IsActive() const;

    gWindow* window = nullptr;
    WorkspaceComponent* workspace = nullptr;
    gElement* widget = nullptr;
    int32_t plotWidth = 100;
    int32_t plotHeight = 100;
    float cellRect[4] = {0.0f, 0.0f, 100.0f, 100.0f};
    AffineRecord affine;
    CellViewState viewState;
    void* scratch = nullptr;         // heap block of the cell's drawing
    void* globalBlock = nullptr;     // freed with the cell
    uint32_t displayLists[4] = {0, 0, 0, 0};
    ListCtrl* statisticsList = nullptr;
    HistogramChart* statisticsChart = nullptr;
    gWindow* statisticsWindow = nullptr;
    ShapeContainer* activeShapes = nullptr;
    uint8_t editMode = 0;
    int32_t mode = 0;
    ViewRulers rulers;
    HistogramChart* uiChart = nullptr;
    ViewShapeSettings shapeSettings;
    // What the graphics window reads of the cell, with the cell's placement state: the
    // drag of a shape being placed, the tool, the view's marks and shape options.
    GraphicsHost host;
    // The host's zoom and readout pages: what the graphics window installs for dragging
    // in the workspace's preview (the lens drag of an image, the pan of a chart) and the
    // preview itself while this cell is the active one.
    GraphicsZoomPage zoomPage;
    GraphicsReadoutPage readoutPage;
    gElement* pageElement = nullptr;
    uint8_t optionBytes[4] = {0, 0, 1, 1};
    // The rounding of the readout coordinates per axis (X, Y): 0 up to the pixel number,
    // 1 toward zero, 2 unrounded.
    int32_t axisRounding[2] = {0, 0};
    // The view's own fast-mode flag, used while it has no port.
    uint8_t fastMode = 0;
    // The grid drawn over the picture.
    GridRecord grid;

private:
    void EndEditMode();
    void ReleaseViewResources();
};

// ---- Creation ---------------------------------------------------------------------------

// A cell for the workspace's window (or `hostWindow`), placed nowhere yet; null while the
// user interface is down, without a window, when the ui refuses it or when its widget
// cannot be made ("Can`t create workspace wgt").
DisplayComponent* CreateDisplayCell(ComponentUi* ui, WorkspaceComponent* workspace, gWindow* hostWindow,
                                    bool narrow);
// The cell's widget over `rect` (x, y, width, height; a zero side becomes 10).
gElement* CreateDisplayWidget(DisplayComponent* cell, const float* rect);
// The cell behind a widget made by CreateDisplayWidget, or null.
DisplayComponent* DisplayOfWidget(const gElement* widget);
// True while the object is a live display cell.
DisplayComponent* AsDisplayCell(ComponentBase* component);
// The number of display cells that exist.
size_t LiveDisplayCellCount();
// Brings the record the graphics window reads up to date with the cell.
GraphicsHost* DisplaySyncHost(DisplayComponent* cell);

// ---- Redraw --------------------------------------------------------------------------------

void DisplayRequestRedraw(DisplayComponent* cell, int32_t level);
// After a single step: the chain's Source takes the frame the cell pulled (its
// statistics, and the range of a view that follows them), and the cell's pages,
// preview and marked windows are redrawn.
void DisplayFollowSteppedFrame(DisplayComponent* cell);
// A new frame count moved the port list's current frame (to the same place in the range):
// the sources of its playing devices take that frame (with their statistics, and the range
// of a view that follows them) and the cells are drawn again.
void DisplayShowPlayedFrame(PortList* list);
void DisplayOnPipelineEvent(DisplayComponent* cell, int32_t event, int32_t level);
void DisplayRepaint(DisplayComponent* cell);
// The data the cell showed were closed (its device has no producer any more): the
// preview of its workspace lets the closed frame go when the cell is the active one, and
// the cell's window is marked, so that its next paint shows the empty cell.
void DisplayDataClosed(DisplayComponent* cell);
// The data the active cell showed went, whether or not its producer stays: the preview
// and the readouts of its workspace clear.
void DisplayDataGone(DisplayComponent* cell);
// Paints the window at once: with `checkState`, a window whose state has any bit of
// 0x199C is only marked; a context that cannot be made current marks it too. Returns
// whether it painted.
bool PaintWindowNow(gWindow* window, bool checkState);
void MarkWindowForRedraw(gWindow* window);

// ---- Devices and ready groups -----------------------------------------------------------------

// Sets the group's (the window's) ready flag when every other member has a ready byte.
void MarkGroupReady(OutputWindow* group, DeviceViewBase* device);
// Polls a device (its refresh) and keeps its group: 3 or more with a succeeding check is
// ready, below 2 marks the group ready when it can, 2 clears the group's flag. Answers
// whether the device delivered (state above 0). The caller holds the display lock.
bool PollDeviceAndGroup(DeviceViewBase* device);
// Called by the output devices when data arrive: under the display lock; level 7 paints
// at once, other levels of 3 or more mark. Returns whether data came.
bool DisplayOnDataReady(int32_t level, DisplayComponent* cell, DeviceViewBase* device);
void RedeliverAll(DisplayComponent* cell);

// ---- Geometry -------------------------------------------------------------------------------

// A float size as the cell stores it (at or above kPlotSizeClamp: kPlotSizeLimit).
int32_t PlotSizeFromFloat(float size);
// The plot area: cellRect less the rulers' room and the scroll-bar rows, at least 52 on
// both sides. `scrollRows`: rows of scroll bars of the graphics window (0 without).
void DisplayGetPlotArea(const DisplayComponent* cell, float out[4], int32_t scrollRows);
void DisplayApplyRulerOrigin(DisplayComponent* cell);
void DisplaySetCellRect(DisplayComponent* cell, const float* rect);
void DisplaySetCellSize(DisplayComponent* cell, const float* size);
// The widget's painter.
void DisplayPaint(gElement* widget);

// ---- Requests from the shell and the pages ------------------------------------------------------

bool DisplayRemoveShapes(DisplayComponent* cell, bool all, const void* owner);
bool DisplaySelectChannel(DisplayComponent* cell, int32_t number);
// Starts playback of the cell's port list with the program's timer, or stops it when it
// plays; the start's answer (false also without a port).
bool DisplayTogglePlayback(DisplayComponent* cell);
void DisplayRefreshToolPage(DisplayComponent* cell);
bool DisplayChartVisible(const DisplayComponent* cell);
// The statistics window shows the region table (the full table without the histogram's
// interval) of a measured region or curve: the list takes that table's labels when it
// shows another. False without a statistics window.
bool DisplayShowRegionStatistics(DisplayComponent* cell, const StatisticsRecord& statistics);
// The same with the full table: the statistics of a region measured with its histogram.
bool DisplayShowStatisticsList(DisplayComponent* cell, double interval, const StatisticsRecord& statistics);
// Nothing is measured: the statistics window's values are cleared (its labels stay).
void DisplayClearStatistics(DisplayComponent* cell);
int32_t DisplayPanelBuilder(PageWindow* page, void* widget, int32_t pageId);

// ---- Seams -------------------------------------------------------------------------------------

// What the cells call in the shell and the toolkit; tests replace entries.
struct DisplayHooks {
    // Paints a toolkit window whole and swaps (context made current by the caller).
    void (*paintWindow)(gWindow* window) = nullptr;
    // Makes the window's context current; false when it cannot.
    bool (*makeCurrent)(gWindow* window) = nullptr;
    // Repaints every window marked for redraw.
    void (*refreshAll)() = nullptr;
    // Refreshes the visible property pages of a component.
    void (*refreshPanels)(ComponentBase* component) = nullptr;
    // The workspace's page refreshes that follow the active cell (view mode, select tab).
    void (*refreshViewModePage)(WorkspaceComponent* workspace) = nullptr;
    void (*refreshFollowingPages)(WorkspaceComponent* workspace) = nullptr;
    void (*refreshSelectTabPage)(WorkspaceComponent* workspace) = nullptr;
    // The readouts of the workspace; true when a readout changed.
    bool (*updateCoordText)(WorkspaceComponent* workspace) = nullptr;
    // The lens page after the lens was switched off.
    void (*refreshLensPage)(WorkspaceComponent* workspace) = nullptr;
    // The fast selector's frame field takes the frame of the active cell's player; it is
    // shown with the next paint of its window.
    void (*markSelectorFrame)(WorkspaceComponent* workspace) = nullptr;
};
DisplayHooks& TheDisplayHooks();
// The hooks as the program uses them (the toolkit's painting and the shell's pages).
void DisplayHooksDefaults(DisplayHooks* hooks);

}  // namespace orva
