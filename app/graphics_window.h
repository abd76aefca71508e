#pragma once
// The graphics window interface: the window that shows the data of one display cell,
// the image window for 2-D data and the chart window for 1-D data. The display cell's
// consumer creates the window that matches the data's format word, links it to the
// pipeline and from then on talks to it only through the operations of
// GraphicsWindow; the toolkit reaches it through the callbacks the window keeps in
// its fields and the handlers it installs in the cell's view widget. Each window makes
// exactly one output device of its own kind, which pulls the data and owns zoom and
// scroll.
//
// The display cell, its workspace, the shapes and playback live in layers above this
// one. The window reaches them through the tables at the end of this file, which those
// layers fill at start-up; an empty entry does nothing (or answers false / null), so a
// window works in a host that offers only part of them.
#include <cstdint>
#include <vector>

#include "framework/port.h"

namespace orva {

struct gElement;
struct gWindow;
struct TextureImage;
struct TextureView;
class SliderCtrl;
class GraphicsWindow;
class OutputDevice;

// The two ready bytes of a device (DeviceViewBase::stop): stop[0] is its hidden flag,
// stop[1] its pending flag (its last pull found no frame to show).
constexpr int kDeviceHiddenByte = 0;
constexpr int kDevicePendingByte = 1;

// ---- Records the window shares with its host ---------------------------------------------

// The value readout of the point under the pointer, written by the window and read by
// the workspace's readout pages.
struct GraphicsReadout {
    float cursorX = 0.0f;           // the pointer position rounded down (view coordinates)
    float cursorY = 0.0f;
    double dataX = 0.0;             // the pointer's position in frame coordinates
    double dataY = 0.0;
    double values[3] = {-1.7976931348623157e308, -1.7976931348623157e308, -1.7976931348623157e308};
    uint8_t outside = 0;            // no value under the pointer (values are -DBL_MAX)
    uint8_t valuesUnchanged = 0;    // the values are those of the last readout
    uint8_t channelsUnchanged = 0;  // so is the channel description
    uint8_t noData = 0;             // the window shows no data (a chart without samples): nothing to read
    uint32_t channelTotal = 0;      // channels of the frame
    uint32_t firstChannel = 0;      // the first channel read
    uint32_t currentChannel = 0;    // the selected channel
};

// The axis record of a window: a scroll step and a scale per axis.
struct GraphicsAxes {
    int32_t stepX = 5;
    double scaleX = 1.0;
    int32_t stepY = 5;
    double scaleY = 1.0;
};

// A drag the display cell has in progress (shape placement): its state (0 none, 1
// placing started, 2 dragging), the start and end point in view coordinates (the
// pointer's: the view widget's pixels less the cell's offsets), and the feedback drawn
// meanwhile, which follows the kind of shape being placed: 0 none; 1 and 3 a segment
// drawn as points; 2 a b-spline up to the pointer; 4 and 7 a rectangle; 5 and 6 an
// ellipse inscribed in the rectangle.
struct GraphicsDrag {
    int32_t mode = 0;
    float startX = 0.0f, startY = 0.0f;
    float x = 0.0f, y = 0.0f;
    int32_t state = 0;
    // The far edges (1 right, 2 bottom) that a press beyond them put the start or end
    // point on: the point stands on the frame's last screen pixel, the shape's corner on
    // the edge itself.
    uint8_t startBeyond = 0, endBeyond = 0;
};

// A remembered view position: the cell's offset plus the device's whole scroll, per
// axis.
struct GraphicsMark {
    uint8_t set = 0;
    int32_t x = 0;
    int32_t y = 0;
};

// The options of a view's shapes that the image window's keys switch.
struct GraphicsShapeOptions {
    uint8_t snapInvert = 0;     // inverts the Shift rule of segment snapping (R)
    uint8_t arrowKeysMove = 0;  // Shift with the arrows, and the wheel, move the current shape
    uint8_t display = 0;        // the display flag of the shapes (F)
    uint8_t drawingMode = 0;    // the drawing mode byte (V: 1, Shift+V: 0): labels on the current shape only
    uint8_t drawingStep = 0;    // stepped 0, 1, 2, 3, 0 by V: the shapes' label level
};

// The cell's zoom page (with the lens), when the cell has one.
struct GraphicsZoomPage {
    uint8_t modeFlag = 1;            // the windows' mode flag as the page shows it
    uint8_t pendingX = 0;            // the page has a new zoom for an axis
    uint8_t pendingY = 0;
    int32_t pendingValue = 0;
    uint8_t boundToCell = 0;         // the page shows this cell
    uint8_t lensOn = 0;
    TextureView* lens = nullptr;     // the lens's texture view
    double lensScaleX = 1.0;         // view pixels a lens pixel moves
    double lensScaleY = 1.0;
    // The lens drag: the window installs its handler (dx, dy in lens pixels; the
    // toolkit's modifier word); the page calls it with `lensDragData`.
    void (*lensDrag)(void* data, float dx, float dy, uint32_t keys) = nullptr;
    void* lensDragData = nullptr;
};

// The cell's readout page (coordinates and values), when the cell has one.
struct GraphicsReadoutPage {
    TextureView* view = nullptr;     // the page's texture view of the frame, or none
    uint8_t readoutsOn = 1;          // the readouts follow the pointer
    // Dragging on the page's view: the window installs a press and a drag handler (dx,
    // dy in pixels; the toolkit's modifier word); the page calls them with `dragData`.
    // The pan keeps its position in `dragAccumulator`; the factors scale the pixels.
    void (*dragPress)(void* data) = nullptr;
    void (*drag)(void* data, double dx, double dy, uint32_t keys) = nullptr;
    void* dragData = nullptr;
    double dragAccumulator = 0.0;
    double dragFactorX = 1.0;
    double dragFactorY = 1.0;
};

// What a display cell keeps for the graphics window it shows. The cell owns the record
// and keeps its fields current; the window reads and writes them on the UI thread.
struct GraphicsHost {
    gWindow* window = nullptr;       // the cell's toolkit window (GL context, dirty state)
    gElement* view = nullptr;        // the view widget the picture is drawn into
    int32_t width = 0;               // the view's size in pixels (the host size)
    int32_t height = 0;
    int32_t offsetX = 0;             // the view's offsets (the cell's two offset words)
    int32_t offsetY = 0;
    SliderCtrl* sliders = nullptr;   // the scroll sliders (ruler pair) the window drives
    GraphicsWindow* sliderOwner = nullptr;  // the window the sliders belong to
    GraphicsDrag drag;
    void* shapes = nullptr;          // the cell's shape container (shapes layer)
    uint8_t toolActive = 0;          // a tool of the cell has the pointer
    int32_t toolKind = 0;            // the kind of shape the tool places
    int32_t toolMode = 0;            // the tool's mode (what it means is the cell's)
    float placeRect[4] = {};         // the last placement: first and far corner, frame coordinates
    GraphicsMark marks[4];           // the position marks (Shift with 6 to 9)
    GraphicsMark remembered;         // the position before the first jump (Ctrl with a digit)
    uint8_t cellFlag = 0;            // toggled by F12 when the cell has no tool object
    GraphicsShapeOptions shapeOptions;
    GraphicsZoomPage* zoomPage = nullptr;
    GraphicsReadoutPage* readoutPage = nullptr;
    gElement* statistics = nullptr;  // the statistics list (a ListCtrl widget), or none
    uint8_t statisticsShown = 0;     // the list shows region statistics
    uint32_t statisticsWords[12] = {};
    uint32_t statisticsCount = 0;
};

// The lens of the cell's workspace.
struct GraphicsLens {
    TextureView* view = nullptr;     // the lens view
    gWindow* window = nullptr;       // its toolkit window
    TextureImage* image = nullptr;   // the workspace's lens image
    uint8_t on = 0;                  // the lens view is on
    uint8_t refresh = 0;             // marked for refresh
    uint8_t ready = 0;
};

// One named colour of a window's colour list.
struct GraphicsColour {
    uint32_t colour = 0;             // 0x04BBGGRR, 7-bit channels
    const char* name = nullptr;
};
struct GraphicsColourList {
    std::vector<GraphicsColour> entries;
    uint32_t growth = 64;
};

// The frame a value readout reads: 64-bit real samples (format word with bit 0x40;
// with 0x10000 the channels of a line lie one row of the frame apart), the position of
// its first sample in the frame, its size, channels, and the frame and channel it holds.
struct ReadoutFrame {
    const double* values = nullptr;
    int64_t left = 0;
    int64_t top = 0;
    int64_t width = 0;
    int64_t height = 0;
    uint32_t channels = 1;
    uint32_t format = 0;
    int32_t frame = 0;
    int32_t channel = 0;
};

// What a window's key handler answers for F12 when the cell has no tool object: the
// cell goes on handling the key.
constexpr int32_t kKeyToolFlagToggled = 0xC01;

// The toolkit's button handler of a view widget.
using GraphicsButtonHandler = bool (*)(gElement* widget, uintptr_t data);

// ---- The interface -----------------------------------------------------------------------

// Windows are made with count 1, shared by references and released, never deleted.
// The framework's OutputWindow operations are the same slots under other names:
// AfterCellSync is BuildToolPanel, LeavePrimary RefreshToolPanel, OnCellSync
// AttachHost and BecomeCurrent Layout.
class GraphicsWindow : public OutputWindow {
public:
    explicit GraphicsWindow(DisplayCellBase* host) : OutputWindow(host) {}

    // 4: a new window of the same kind without a host (count 1).
    virtual bool CreateInstance(GraphicsWindow** out) = 0;
    // 5: its own id, the family id "GRPS","DRAW","DEVI","OUTG" and "BASE",0,0,0 add a
    // reference and store the window; any other id: false, the count unchanged.
    virtual bool QueryInterface(const ComponentId* id, void** out) = 0;
    // 7: the view reset; `keep` false clears the three view flags.
    virtual bool ResetView(bool keep) = 0;
    // 8: builds the window's tool panel for a page id; true when done.
    virtual bool BuildToolPanel(int32_t pageId) = 0;
    // 9: refreshes the tool panel (or the zoom page).
    virtual void RefreshToolPanel(uint32_t flags) = 0;
    // 10: binds the window to its display cell (handlers, sliders, pages).
    virtual void AttachHost() = 0;
    // 11: the channel selection (n: channel n - 1; 0: the first); true when changed.
    virtual bool SelectChannel(int32_t number) = 0;
    // 12
    virtual void Layout() = 0;
    // 13: the window became its host's current one.
    virtual void OnActivate() = 0;
    // 14: redraws the host's toolkit window, then RepaintHosts.
    virtual void Redraw();
    // 15: takes the host's size words.
    virtual void Resize() = 0;
    // 16
    virtual void SetVisible(bool visible) = 0;
    // 17
    virtual void SetModeFlag(uint8_t flag) { modeFlag = flag; }
    // 18: the colour list of windows of this kind.
    virtual GraphicsColourList* GetDefaults() = 0;
    // 19
    virtual void RepaintHosts() = 0;
    // 20: a colour set for the window; repaints when it changed.
    virtual void SetColours(uint32_t colours) = 0;
    // 21: places both slider thumbs from the host's offsets.
    virtual void PlaceSliders() = 0;
    // 22: the sliders' mode word and the zoom and scroll words back to their start.
    virtual void ResetZoomScroll() = 0;
    // 23: places the frame's screen rectangle in a texture view.
    virtual void SetFrameRect(TextureView* view) = 0;
    // 24: renders the current frame into a texture view; true when it shows it.
    virtual bool RenderToTextureView(TextureView* view) = 0;
    // 25, 26: shape placement with the pointer.
    virtual int32_t BeginPlacement(int32_t argument) = 0;
    virtual int32_t EndPlacement(int32_t result) = 0;
    // 27: the pointer in view coordinates; the readouts follow.
    virtual void SetPointer(float x, float y) = 0;
    // 28: the horizontal wheel and scroll (steps; tenfold with Ctrl; Shift).
    virtual void ScrollBy(int32_t steps, bool tenfold, bool shift) = 0;
    // 29
    virtual void NoOperation() {}
    // 30, 31: scroll by whole pixels (31 is also the vertical wheel).
    virtual void ScrollStepX(int32_t steps, bool tenfold) = 0;
    virtual void ScrollStepY(int32_t steps, bool tenfold) = 0;
    // 32
    virtual GraphicsButtonHandler GetButtonHandler() = 0;
    // 33: the host widget's pointer-move handler is the window's placement tracker.
    virtual bool IsTracking() = 0;
    // 34: style flag 2 of both sliders on or off; repaints when it changed.
    virtual void SetSliderStyle(bool on) = 0;

    // The lens refresh the device asks for after deliveries and frame changes.
    virtual void RefreshLens(GraphicsLens* lens) { (void)lens; }
    // The device's scales changed (event 12 while this is the host's current window)
    // or its zoom did: the window updates its view.
    virtual void UpdateScales() {}
    // The device scrolled an axis (x when `axisX`): the window updates that slider.
    virtual void UpdateScrollControl(bool axisX) { (void)axisX; }
    // The device's frame changed (event 10).
    virtual void RefreshFrame() {}
    // The select tab of the view's workspace moved to another item (`argument` 0): the
    // picture of the host's window is marked for a repaint, which the next refresh of the
    // dirty windows draws.
    virtual void SelectTabChanged(int32_t argument);
    // True when rendering the current frame into a texture view must first pull and
    // colour the whole frame anew (a new frame that no view has pictured yet).
    virtual bool PicturePullsFrame() const { return false; }

    // The framework's names of slots 8, 9, 10 and 12.
    void AfterCellSync(int32_t value) override { BuildToolPanel(value); }
    void LeavePrimary(bool flag) override { RefreshToolPanel(flag ? 1u : 0u); }
    void OnCellSync() override { AttachHost(); }
    void BecomeCurrent() override { Layout(); }

    // The host's record (through the host services); nullptr without one.
    GraphicsHost* Host() const;

    // ---- Fields the host display cell reads and calls
    // The five callbacks: draw the frame (in the host's GL context, the model-view at
    // the view widget's top-left corner moved by the host's offsetX and offsetY, y down,
    // one unit a pixel), refresh the statistics list, update the value readout under the
    // pointer (true when it changed), key press and key release (the toolkit's key
    // word; 1 when the key was used, 0 to pass it on).
    void (*draw)(GraphicsWindow* window) = nullptr;
    void (*refreshStatistics)(GraphicsWindow* window) = nullptr;
    bool (*updateReadout)(GraphicsWindow* window) = nullptr;
    int32_t (*keyDown)(GraphicsWindow* window, uint32_t keyWord) = nullptr;
    int32_t (*keyUp)(GraphicsWindow* window, uint32_t keyWord) = nullptr;
    // Run by PollComponentState: data changed, and data ready (codes 2 and above).
    void (*dataChanged)(GraphicsWindow* window) = nullptr;
    void (*dataReady)(GraphicsWindow* window) = nullptr;
    uint8_t cursorMarkShown = 0;     // the placement mark is drawn
    uint8_t originMark = 0;          // the second view flag: the origin mark is drawn
    uint8_t cursorMarkWanted = 0;
    uint8_t modeFlag = 1;
    uint8_t readyFlag = 0;
    uint8_t locked = 0;              // deliveries leave the all-idle flag alone
    int32_t frameIndex = 0;          // the current frame index, and whether it was shown
    uint8_t frameShown = 0;
    GraphicsReadout readout;
    GraphicsAxes axes;
    int32_t hostWidth = 100;         // the host's size words (Resize)
    int32_t hostHeight = 100;
    float pointerX = 0.0f;           // the pointer / placement point, view coordinates
    float pointerY = 0.0f;
    uint32_t colours = 0x4000000;    // the colour set
    uint32_t markList = 0;           // the origin mark's display list (host's context), 0: none
};

// ---- Operations on any graphics window ---------------------------------------------------

// Pulls the window's current device and stores the code; runs the post-pull step for
// codes 3 and above, the data-changed and data-ready callbacks and the all-idle walk.
// True when data came. Installed as ComponentServices::pollComponentState. The caller
// holds the display lock.
bool PollComponentState(OutputWindow* window);
// The all-idle walk: when every device of the window other than `except` is hidden or
// pending, the window's all-idle flag is set. The display cell's markGroupReady runs it.
void GraphicsWindowAllIdleWalk(OutputWindow* window, DeviceViewBase* except);
// A lens of the cell's workspace marked for refresh lets its image go (its textures
// freed when the lens window's GL context can be made current, on the user-interface
// thread only) and is marked for a repaint; the devices run it when their data went.
void GraphicsLensRefreshMarked(DisplayCellBase* cell);
// An image window for the cell (count 1), or nullptr. Installed as
// ComponentServices::createImageWindow.
OutputWindow* CreateImageWindow(DisplayCellBase* cell);
// (A window is repainted at once with RepaintWindowNow (window, 7) of app/field_readers.h.)

// ---- What the layers above provide -------------------------------------------------------

// The display cell and its workspace, filled by the views layer. Every entry takes the
// cell the window is shown in.
struct GraphicsHostServices {
    // The cell's record for its graphics window; nullptr: the cell shows none.
    GraphicsHost* (*host)(DisplayCellBase* cell) = nullptr;
    // The cell has a workspace / is its workspace's active cell.
    bool (*hasWorkspace)(DisplayCellBase* cell) = nullptr;
    bool (*isActiveCell)(DisplayCellBase* cell) = nullptr;
    // The lens of the cell's workspace, or nullptr.
    GraphicsLens* (*lens)(DisplayCellBase* cell) = nullptr;
    // Readouts of the cell's workspace: rewrite and mark (WorkspaceUpdateCoordText), or
    // repaint the changed fields at once (WorkspaceUpdateReadouts).
    bool (*updateCoordText)(DisplayCellBase* cell) = nullptr;
    void (*updateReadouts)(DisplayCellBase* cell) = nullptr;
    // Pages of the cell's workspace, refreshed when they are open.
    void (*refreshTransportPage)(DisplayCellBase* cell) = nullptr;
    void (*redrawFastSelectorFrame)(DisplayCellBase* cell) = nullptr;
    void (*refreshSelectTabPage)(DisplayCellBase* cell) = nullptr;
    void (*refreshViewModePage)(DisplayCellBase* cell) = nullptr;
    void (*refreshZoomBar)(DisplayCellBase* cell, uint32_t flags) = nullptr;
    void (*updateZoomBarPage)(DisplayCellBase* cell, bool repaint) = nullptr;
    void (*updateGridPage)(DisplayCellBase* cell, bool repaint) = nullptr;
    void (*lensPageSetFromView)(DisplayCellBase* cell) = nullptr;
    // The display: mark for redraw and refresh the mode button and readouts
    // (DisplayRequestRedraw); poll a device that delivered and paint or mark by level
    // (DisplayOnDataReady); repaint at once under the display lock (DisplayRepaint).
    void (*requestRedraw)(DisplayCellBase* cell, int32_t level) = nullptr;
    bool (*onDataReady)(DisplayCellBase* cell, int32_t level, DeviceViewBase* device) = nullptr;
    void (*repaint)(DisplayCellBase* cell) = nullptr;
    // The cell's data went while its producer stays (a chart whose shape was removed):
    // the preview and the readouts of its workspace clear when it is the active cell.
    void (*dataGone)(DisplayCellBase* cell) = nullptr;
    // The cell handles a device that reports pending.
    void (*pending)(DisplayCellBase* cell, DeviceViewBase* device) = nullptr;
    // The statistics list: a row of a list-kind statistics result, or region statistics
    // from the record's words.
    void (*showStatisticsList)(DisplayCellBase* cell, const void* rows, uint32_t row) = nullptr;
    void (*showRegionStatistics)(DisplayCellBase* cell) = nullptr;
    // The statistics of the region measured on the cell's picture (a statistics result
    // of the list kind, for showStatisticsList), or nullptr while nothing is measured.
    const void* (*measuredStatistic)(DisplayCellBase* cell) = nullptr;
    // Frame playback feeds the cell (a frame player with an active source).
    bool (*playerFeeds)(DisplayCellBase* cell) = nullptr;
    // Arms the one-shot stop of playback; false when it did not (act at once then).
    bool (*startAutoStop)() = nullptr;
    // The frame count of a data description (what a component's frame query answers);
    // negative when unknown.
    int64_t (*frameCount)(const void* description) = nullptr;
    // The frame the value readout reads for a device's consumer (the real samples behind
    // the pixels); false when there is none.
    bool (*readoutFrame)(ComponentBase* consumer, ReadoutFrame* out) = nullptr;
    // The rows of a statistics result a pull delivered (PullResult::statistic) when it
    // is of the list kind; 0 otherwise.
    uint32_t (*statisticsRows)(const void* statistic) = nullptr;

    // ---- What the image window's keys and mouse reach
    // The modifier bits held now (the toolkit's key bits); none: the toolkit's own.
    uint32_t (*modifiersNow)() = nullptr;
    // Frame playback: redraws the cell's frame through it (DisplayPlaybackRedraw); it
    // runs for the cell.
    void (*playbackRedraw)(DisplayCellBase* cell) = nullptr;
    bool (*playbackRuns)(DisplayCellBase* cell) = nullptr;
    // F12: the cell's tool object toggles its flag and redraws itself; false when the
    // cell has none.
    bool (*toggleToolObject)(DisplayCellBase* cell) = nullptr;
    // Redraws the coordinate readout page at once (RedrawImageCoordReadout).
    void (*redrawCoordReadout)(DisplayCellBase* cell) = nullptr;
    // Reload: the components downstream of the cell's source lose both validity words
    // and the source's ports are marked for reading again (under the display lock).
    void (*reloadSource)(DisplayCellBase* cell) = nullptr;
    // Status line 0: a status code with redraw flags and an optional text.
    void (*setStatus)(int32_t code, int32_t redraw, const char* text) = nullptr;
    // Projects: one is open; step the current project's items (wrapping); close the
    // current item; close the current item's data (asking first when the preference
    // says so).
    bool (*hasProjects)() = nullptr;
    void (*stepProjectItem)(bool backward) = nullptr;
    void (*closeCurrentItem)() = nullptr;
    void (*closeData)() = nullptr;
};
GraphicsHostServices& TheGraphicsHostServices();

// The shapes of a cell (opaque containers), filled by the shapes layer.
struct GraphicsShapeServices {
    // Removes every shape of the owner (all shapes for owner null) / the owner's
    // current shape.
    void (*removeShapesOf)(void* container, void* owner) = nullptr;
    void (*removeShape)(void* container, void* owner) = nullptr;
    // Calls the notification of every shape bound to the owner.
    void (*notifyShapesOf)(void* container, void* owner, int32_t flag) = nullptr;
    // Re-places the edit frame in the rotate modes.
    void (*refreshRotateFrame)(void* container) = nullptr;
    // Drag feedback: points at template positions scaled by dx and dy; the current
    // spline of the container up to (sx, sy) in frame coordinates; the point count of
    // the container's current shape.
    void (*drawScaledPoints)(double dx, double dy) = nullptr;
    void (*bsplineDraw)(void* container, double sx, double sy) = nullptr;
    int32_t (*currentShapePoints)(void* container) = nullptr;

    // ---- What the image window's keys and mouse ask of the container
    // The kind of the current shape; -1 without one.
    int32_t (*currentKind)(void* container) = nullptr;
    // One step of the undo list: undo (true) or redo.
    void (*undoStep)(void* container, bool undo) = nullptr;
    // The program's shape clipboard: copy the current shape; paste (mode 0, 1 or 2).
    bool (*copyShape)(void* container) = nullptr;
    void (*pasteShape)(void* container, int32_t mode) = nullptr;
    // Fits the current shape's anchor points into the data area (modes 1, 6 to 13).
    void (*inscribeAnchors)(void* container, int32_t mode) = nullptr;
    // Makes the next (forward) or previous shape current, wrapping, and redraws.
    void (*selectAdjacent)(void* container, bool forward) = nullptr;
    // Leaves the anchor tool; leaves the selection mode. Each answers whether it was on.
    bool (*leaveAnchorTool)(void* container) = nullptr;
    bool (*leaveSelectMode)(void* container) = nullptr;
    // Sets the shapes' flag byte on every shape; marks every shape of the visible range
    // as shown.
    void (*setShapesFlag)(void* container, bool on) = nullptr;
    void (*setShapesVisible)(void* container, bool on) = nullptr;
    // A: steps the drag mode (true when it changed); T: steps the current shape's edit
    // mode and refreshes its users; H: the edit mode allowed for request 0.
    bool (*cycleDragMode)(void* container) = nullptr;
    // V: the information labels of the shapes, by level (0 none, 1 box marks, 2 labels,
    // 3 labels with coordinates), on the current shape only or on all.
    void (*setLabels)(void* container, int32_t level, bool currentOnly) = nullptr;
    void (*cycleEditMode)(void* container) = nullptr;
    void (*setCurrentShapeMode)(void* container) = nullptr;
    // Recomputes the shapes' pivots.
    void (*resetPivots)(void* container) = nullptr;
    // Moves the current shape by frame units: the wheel's move; the keyboard's, after
    // the undo snapshot the first move of a run takes (false when it cannot move).
    void (*moveShape)(void* container, double dx, double dy) = nullptr;
    void (*snapshotShape)(void* container) = nullptr;
    bool (*applyMove)(void* container, double dx, double dy) = nullptr;
    // Attaches the view tool of a four-character code ("ANCR" after keyboard moves).
    void (*attachViewTool)(void* container, uint32_t code) = nullptr;
    // Drops a pending highlight of the edit frame; hides the shapes and the highlight of
    // the edit frame's handles (frame playback runs).
    void (*dropHighlight)(void* container) = nullptr;
    void (*hideShapes)(void* container) = nullptr;
    // Placing: the kind of the shape being placed (-1: none) and its last anchor point
    // (frame coordinates); the current shape becomes the shape being placed (false when
    // it cannot); the shape being placed takes its geometry from a rectangle (first and
    // far corner, frame coordinates; non-zero on success); the tool ended and the
    // container lets the shape go; the placement was cancelled and the shape goes.
    int32_t (*placingKind)(void* container) = nullptr;
    bool (*lastPointOfCurrent)(void* container, double* x, double* y) = nullptr;
    bool (*takeUpCurrent)(void* container) = nullptr;
    int32_t (*placeShape)(void* container, int32_t kind, int32_t mode, const float rect[4]) = nullptr;
    void (*releasePlacing)(void* container) = nullptr;
    void (*dropPlacing)(void* container) = nullptr;
};
GraphicsShapeServices& TheGraphicsShapeServices();

}  // namespace orva
