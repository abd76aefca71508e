#pragma once
// The chart window: the graphics window for 1-D data. One curve per bound source (one
// Chart1DDevice each, chained from the window's latest device) over a sample axis, an
// x scale and a y scale, a cursor with its value readout, three ways of choosing the y
// range (user, chart and input range), fit or an integral zoom ratio along x, and six
// view memories. This file holds the window's axis and range model and the
// computations that turn the curves into the picture's geometry; the drawing is
// ChartDraw (app/chart_device.h), the scale routines app/chart_scales.cpp.
//
// UI thread, except the recomputes the devices run after a pull, which may run on the
// playback thread under the display lock (they touch no X or GL).
#include <cstdint>

#include "app/chart_params.h"
#include "app/graphics_window.h"
#include "data/display_bitmap.h"
#include "toolkit/scale.h"
#include "toolkit/texture_image.h"

namespace orva {

class Chart1DDevice;
class ChartFrameRequest;
class ChartWindow;
class HistogramChart;

// X modes: sample index, or a physical value with an offset.
constexpr int32_t kChartXIndex = 5;
constexpr int32_t kChartXValue = 10;
// Y range mode bits: the range follows the data (else the user range); with it, the
// source's own range (else the range the devices computed from the curves).
constexpr uint32_t kChartRangeData = 0x10;
constexpr uint32_t kChartRangeInput = 0x40;
constexpr uint32_t kChartRangeDefault = 0x30;
// The reduce flag of the integral zoom ratio (n samples a pixel, else n pixels a sample).
constexpr uint32_t kChartZoomReduce = 0x40000000;
// Pixel positions are kept within this; a slider thumb beyond kScaleNoCursor is hidden.
constexpr double kChartPixelLimit = 16777215.0;
constexpr float kChartThumbHidden = -1.0f;
// The first layout: a 180 x 100 window with margins 0, 6, 0, 6.
constexpr int32_t kChartFirstWidth = 180;
constexpr int32_t kChartFirstHeight = 100;
constexpr int32_t kChartMinimumSide = 40;
// The background a chart gives its cell's window ("Light Grey" of the colour list).
constexpr uint32_t kChartBackground = 0x04696969;
// Most samples a device pulls.
constexpr int32_t kChartMaxSamples = 0x5000;
// The no-readout marker.
constexpr double kChartNoReadout = -1.7976931348623157e308;

// One frame of a statistics result's frame list: its validity, its x axis (start and
// step of the samples), its sample count and its own x interval (for the host's
// histogram).
struct ChartFrame {
    uint8_t valid = 0;
    double xStart = 0.0;
    double xStep = 0.0;
    uint32_t samples = 0;
    double intervalFrom = 0.0;
    double intervalTo = 0.0;
    // Added to the readout: a step drawn from xStart stands for the value this far into
    // it (a histogram's bin is drawn from its lower edge and read at its centre).
    double readoutShift = 0.0;
};

// What the chart reaches in the layers above; main/ fills it at start-up. An empty
// entry does nothing (or answers false / none).
struct ChartHostServices {
    // Shows (or hides) the host cell's two scale widgets for the chart; the cell makes
    // room for them around its plot.
    void (*showScales)(DisplayCellBase* cell, GraphicsWindow* chart, bool show) = nullptr;
    // The frame list of a statistics result a pull delivered (PullResult::statistic):
    // the number of frames, and frame `index`.
    uint32_t (*frameCount)(const void* statistic) = nullptr;
    bool (*frame)(const void* statistic, uint32_t index, ChartFrame* out) = nullptr;
    // The host cell's histogram chart, and its interval kind (0 counts as 700).
    HistogramChart* (*histogram)(DisplayCellBase* cell) = nullptr;
    int32_t (*intervalKind)(DisplayCellBase* cell) = nullptr;
    // The source's own value range (input range); false when it knows none.
    bool (*inputRange)(ComponentBase* source, double* minimum, double* maximum) = nullptr;
    // The host's option: a redraw follows a new frame of the statistics list.
    bool (*redrawOnFrame)(DisplayCellBase* cell) = nullptr;
    // The 2-D view linked with the cell (a slice's picture): the point of its point list
    // at a sample position, false when there is no linked view or no such point; and
    // the linked view shows its cursor at a point.
    bool (*linkedPoint)(DisplayCellBase* cell, double samplePosition, double* x, double* y) = nullptr;
    void (*showLinkedPoint)(DisplayCellBase* cell, double x, double y) = nullptr;
    // Redraws the chart's coordinate readout fields at once (after a readout changed).
    void (*redrawReadout)(DisplayCellBase* cell) = nullptr;
    // The statistics of the current curve's row, after a new frame (`statistic`: the
    // frame list the pull delivered, or none).
    void (*showRowStatistics)(DisplayCellBase* cell, const void* statistic, const RowStats& stats) = nullptr;
    // The statistics options of the reduction linked with the cell: step the interval
    // method (action 0, forward or back), toggle the statistics' visibility (1), reset
    // the histogram settings (2). True when something changed.
    bool (*reduction)(DisplayCellBase* cell, int32_t action, bool forward) = nullptr;
    // The cell's linked state for the window (it passes it on to the windows linked
    // with it); true when it changed.
    bool (*setLinked)(DisplayCellBase* cell, GraphicsWindow* window, bool state) = nullptr;
    // The cursor options of the cell's grid page follow the slider's options.
    void (*refreshGridCursorOptions)(DisplayCellBase* cell) = nullptr;
    // The frame behind the image strip: the source's request operation, or its prepare
    // operation (`prepare`) when the request failed; true when the source took it.
    bool (*askFrame)(ComponentBase* source, ChartFrameRequest* record, bool prepare) = nullptr;
    // The host shows no previews (the image strip is not asked for).
    bool (*previewsOff)(DisplayCellBase* cell) = nullptr;
    // A status report (group, code, redraw, text); none: the shell's status lines.
    void (*status)(int32_t group, int32_t code, int32_t redraw, const char* text) = nullptr;
};
ChartHostServices& TheChartHostServices();

// The chart's tool panel and keys, filled by the panel code. Empty entries: no panel
// (BuildToolPanel answers false), keys passed on.
struct ChartPanelHooks {
    bool (*build)(ChartWindow* chart, int32_t pageId) = nullptr;
    void (*refresh)(ChartWindow* chart, uint32_t flags) = nullptr;
    // Paints what the panel's window still waits to paint, at once.
    void (*paint)(ChartWindow* chart) = nullptr;
};
// The items of RefreshToolPanel: zoom and range, zoom, the range label, the curve
// groups, the bind-sources state (0: the whole panel).
constexpr uint32_t kChartPanelZoomRange = 1;
constexpr uint32_t kChartPanelZoom = 2;
constexpr uint32_t kChartPanelRangeLabel = 3;
constexpr uint32_t kChartPanelCurve = 4;
constexpr uint32_t kChartPanelPoints = 5;
constexpr uint32_t kChartPanelBind = 6;
// A memory button's colours: stored ("Forest Green") and empty.
constexpr uint32_t kChartMemoryStored = 0x04114511;
constexpr uint32_t kChartMemoryEmpty = 0x046D7070;
// The status text of a click on an empty memory.
constexpr const char* kChartMemoryEmptyText =
    "push: Press a key 'Shift' and click by the button (read details in the help)...";
// The largest curve height the y zoom goes to, in pixels.
constexpr int64_t kChartMaxCurveHeight = 4194305;

// The press that a memory button answers: what happened to the memory.
enum class ChartMemoryPress { kNone, kStored, kRecalled, kEmpty, kCleared };
ChartPanelHooks& TheChartPanelHooks();

// The eight named colours of the shared chart colour list.
extern const GraphicsColour kChartWindowColours[8];

class ChartWindow : public GraphicsWindow {
public:
    explicit ChartWindow(DisplayCellBase* host);
    ~ChartWindow() override;

    const ComponentId* GetClassId() const override { return &kChartWindowId; }
    bool CreateDevice(DeviceViewBase** out) override;
    bool CreateInstance(GraphicsWindow** out) override;
    bool QueryInterface(const ComponentId* id, void** out) override;
    // The view reset: samples, scroll, visible count, used width and cursor to 0, the
    // cursor pixel and mouse height 1.0, the readout to the no-readout marker, both
    // scales reset; without `keep` also fit, 1:1, the y mapping [0, 1] and the view
    // flags cleared. Answers false.
    bool ResetView(bool keep) override;
    bool BuildToolPanel(int32_t pageId) override;
    void RefreshToolPanel(uint32_t flags) override;
    void AttachHost() override;
    // The current device's row (n: row n - 1).
    bool SelectChannel(int32_t number) override;
    void Layout() override;
    void OnActivate() override;
    void Resize() override;
    void SetVisible(bool visible) override;
    void SetModeFlag(uint8_t flag) override;
    GraphicsColourList* GetDefaults() override;
    // Every device restyles its curve for the window's colour.
    void RepaintHosts() override;
    void SetColours(uint32_t colours) override;
    void PlaceSliders() override;
    // X mode 5, start 0, no step, step 1.0, the x scale's labels off.
    void ResetZoomScroll() override;
    // The image strip: placed under the curves (x = scroll x pixels per sample, y = plot
    // height - curve height - curve offset) and drawn.
    void SetFrameRect(TextureView* view) override;
    // The current frame rendered as the strip and uploaded into the view; false when
    // nothing is shown.
    bool RenderToTextureView(TextureView* view) override;
    int32_t BeginPlacement(int32_t) override { return 0; }
    int32_t EndPlacement(int32_t) override { return 0; }
    // The pointer over the plot (view coordinates): the cursor follows x, the mouse
    // height y.
    void SetPointer(float x, float y) override;
    // Moves the cursor by samples (coarse with `tenfold`, a tenth of the view with
    // `shift`).
    void ScrollBy(int32_t steps, bool tenfold, bool shift) override;
    void ScrollStepX(int32_t, bool) override {}
    // Scrolls the y range by pixels (ten a step with `tenfold`).
    void ScrollStepY(int32_t steps, bool tenfold) override;

    // ---- Keys, zoom, scroll and memories
    // The key routine: the toolkit's key word and its repeat count; 1 when used, 0 to
    // pass it on, kKeyToolFlagToggled for F12 without a tool object.
    int32_t OnKeyDown(uint32_t key, uint32_t repeat);
    // Scrolls x to a first sample, clamped to 0..samples - visible; false when
    // unchanged. `refresh`: the panel's zoom item and a redraw follow.
    bool ScrollXTo(int64_t first, bool refresh);
    // Shows `count` samples from the scroll position (cut at the last sample).
    void ZoomXTo(int64_t count);
    // Scrolls the y range by `steps`: half-spans with `page`, else pixels (ten a step
    // with `ten`); false when the new minimum would pass +-DBL_MAX.
    bool ScrollY(int64_t steps, bool page, bool ten);
    // One step of the integral x zoom ratio, in or out; false when nothing changed.
    bool StepZoomX(bool in);
    // The ratio the steps start from: the fixed zoom's, or in fit mode the one nearest
    // the fit (negative: samples a pixel).
    int32_t CurrentZoomStep() const;
    // The y zoom keys: the current curve made two pixels taller or shorter (`coarse`:
    // half the plot height); false when refused.
    bool ZoomYKey(bool in, bool coarse);
    // The cursor at a sample position (`fine`: a cursor leaving the view on the left
    // stands half a page in); the view scrolls to keep it shown.
    void SetCursor(double position, bool fine);
    // The pointer at x pixels from the plot's left edge sets the cursor: snapped to
    // whole samples unless the slider's free-x option is on (`invert`, Alt, swaps
    // that); the pointer at y pixels from the plot's top is the mouse height.
    void PointerX(double x, bool invert);
    void PointerY(double y);
    // The cursor moved by pixels (samples denser than pixels).
    void MoveCursorByPixels(int64_t pixels, bool coarse);
    // The zoom text of the panel ("1:%u", "%u:1", with two decimals when not whole).
    void ZoomText(char* out, size_t size) const;
    // View memory i (0..5): the device's chart parameters', else the window's own.
    ChartMemory& Memory(int32_t index);
    void StoreMemory(int32_t index);
    // Recalls a stored memory (user range, scroll and zoom); false for an empty one.
    bool RecallMemory(int32_t index);
    // Empties a stored memory; false when it was empty.
    bool ClearMemory(int32_t index);
    // A press on memory button i with the toolkit's modifier word and press code (5 and
    // 6 are right-button presses: they clear).
    ChartMemoryPress PressMemory(int32_t index, uint32_t keys, int32_t pressCode);
    // Curve settings of the current device; each answers the value in force.
    uint32_t SetLineWidth(uint32_t width);
    uint32_t SetPointSize(uint32_t size);
    // Sets or clears 0x80 (CURVE) or 0x100 (POINTS); true when the flags or the hidden
    // flag changed.
    bool SetCurveFlag(uint32_t flag, bool on);
    // Flips 0x200 or 0x400; switching one off clears the step and nearest flags.
    bool ToggleSmoothFlag(uint32_t flag);
    // "E": neither or both -> contrast -> points -> both.
    void CycleCurveStyle();
    // "S": chart range <-> input range; in user range the device's range becomes the
    // user range. True when the mode changed.
    bool SwitchDataRange();
    // F10: the whole view back to its start.
    void ResetChart();
    // The x axis back to the fit from sample 0 (start, count and ratio).
    void ResetX();
    // Once, in the user range: the range of the source (`input`) or of the curves
    // becomes the user range. True when the range changed.
    bool ApplyRangeOnce(bool input);
    // The wheel: the delta (120 a notch) and the toolkit's modifier word.
    void OnWheel(int32_t delta, uint32_t keys);
    // Panning: the press takes the scroll position; a drag by pixels moves x (not with
    // Ctrl) and y (not with Alt); both held count as none.
    void PanPress();
    void PanDrag(double dx, double dy, uint32_t keys);
    // The modifier bits held now.
    uint32_t ModifiersNow() const;

    // ---- The image strip
    // The strip's size in pixels: the current frame's samples x pixels per sample and
    // the current curve's height, each rounded up (at most 0x7FFFFFFF); false without
    // samples.
    bool StripSize(int32_t* width, int32_t* height) const;
    // After a view change: a strip whose image is not current is rendered anew (false);
    // otherwise its image is fitted to the new size and placed (true).
    bool UpdateStrip(TextureView* view);
    // The strip's picture goes (its textures freed in the view's GL context), and with
    // it, without a view, the chart's own (in the host window's).
    void ReleaseStrip(TextureView* view);
    // The wheel of the host's view widget and the drag handlers of its readout page
    // reach this window; Release undoes it (destruction).
    void InstallViewHandlers();
    void ReleaseViewHandlers();
    GraphicsButtonHandler GetButtonHandler() override { return nullptr; }
    bool IsTracking() override { return true; }
    void SetSliderStyle(bool on) override;
    void UpdateScales() override;

    // ---- The model (algorithms of the chart)
    // The sample count (longest visible curve), the stacked word and the empty flag
    // from the device list.
    void RecomputeSamples();
    // The curves' shown counts and the used width: the x fit, or the scroll of a fixed
    // zoom.
    void RecomputeCurveExtent();
    // The y range from the mode (user, chart or input range), then the mapping.
    void RecomputeRange();
    // The pixels per y unit, the zero pixel and every curve's offset and height.
    void RecomputeMapping();
    // The combined value interval of the visible curves.
    void RecomputeInterval();
    // Both scale routines through the slider in use.
    void RecomputeScales();
    // The current device's row and row count.
    void RecomputeCurrentCurve();
    // Plot size from the window size (kept unless both sides are at least 40 pixels),
    // then visible count, mapping, x view, cursor pixel and scales.
    void LayoutPlot(int32_t width, int32_t height);
    // The x fit (zoom mode 0 or no samples) and the x scroll of a fixed zoom.
    void FitX();
    void ScrollX();
    // The integral zoom ratio (signed: n pixels a sample, -n samples a pixel; -1, 0 and 1
    // give 1:1) and its application about the anchor; answers whether the view changed.
    void SetZoomRatio(int32_t ratio);
    bool ApplyZoomRatio();
    // The user range: a minimum at or above the maximum becomes maximum - 1, a maximum
    // at or below the minimum minimum + 1; the mode switches to the user range. True
    // when the mode changed.
    bool SetUserRange(double minimum, double maximum);
    bool SetUserMinimum(double minimum);
    bool SetUserMaximum(double maximum);
    // The y zoom about the cursor with half-span h; false when refused (overflow or a
    // span below 1e-307).
    bool ZoomYAboutCursor(double halfSpan);
    // The cursor readout (mouse moves and frame changes); true when it changed.
    bool UpdateReadout();
    // The statistics list of a new frame: x axis from the frame list, the host's list
    // and histogram.
    void RefreshStatisticsList();
    // The source poll: true with new data that the device took (the statistics list
    // then follows), else whether the state is above 0.
    bool PollSource();
    // The scales, cursor pixels and readout again, then a whole repaint of the host
    // window (under the display lock).
    void RedrawNow();
    // The cursor thumbs of the two scales: the pixel, or kChartThumbHidden beyond the
    // slider's range.
    float CursorThumbX() const;
    float CursorThumbY() const;
    // The cursor area is drawn (samples are shown and the cursor pixel is on the plot).
    bool CursorOn() const;

    // The current device (null until made).
    Chart1DDevice* Device() const;
    // The slider the scales are shown in: the host's while the chart is its current
    // window, else the chart's own.
    SliderCtrl* ActiveSlider() const;
    // The host is its cell's current window.
    bool IsHostsCurrent() const;

    // ---- State
    uint8_t empty = 1;               // no visible curve has samples
    int32_t samples = 0;             // sample count of the longest visible curve
    uint32_t stacked = 0;            // a curve draws its rows stacked
    // Plot geometry (pixels, inside the host's view).
    int32_t plotWidth = 180;
    int32_t plotHeight = 88;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    int32_t windowWidth = kChartFirstWidth;
    int32_t windowHeight = kChartFirstHeight;
    int32_t margins[4] = {0, 6, 0, 6};  // left, top, right, bottom
    int32_t plotLeft = 0, plotTop = 6, plotRight = 180, plotBottom = 94;
    int32_t saved[4] = {0, 0, kChartFirstWidth, kChartFirstHeight};
    // Cursor readout.
    double readX = 0.0;
    double readY = 0.0;
    double previousY = kChartNoReadout;
    double readouts[2] = {kChartNoReadout, kChartNoReadout};
    uint8_t readoutInvalid = 0;
    uint8_t readoutPending = 0;
    uint8_t readoutUnchanged = 0;
    uint8_t shown = 0;
    uint8_t linked = 0;
    // X axis model (and its second set).
    int32_t xMode = kChartXIndex;
    double xStart = 0.0;
    uint8_t xStepKnown = 0;
    double xStep = 1.0;
    int32_t xMode2 = kChartXIndex;
    double xStart2 = 0.0;
    uint8_t xStepKnown2 = 0;
    double xStep2 = 1.0;
    uint32_t rangeMode = kChartRangeDefault;
    int32_t zoomMode = 0;            // 0: fit all samples, else a fixed zoom with scrolling
    // X view.
    int32_t scroll = 0;
    int32_t viewSamples = 0;
    double pixelsPerSample = 1.0;
    double samplesPerPixel = 1.0;
    int32_t cursorIndex = 0;
    double cursorPosition = 0.0;
    // The integral zoom ratio.
    uint32_t zoomFactor = 1;
    uint32_t zoomFlags = 0;
    double ratioPixelsPerSample = 1.0;
    double ratioSamplesPerPixel = 1.0;
    int32_t ratioVisible = 0;
    int32_t signedFactor = 1;
    // The panel and the zoom bar were rewritten for a new view: the next direct redraw
    // paints them too, so that they follow a key without waiting for the pointer.
    uint8_t pagesPending = 0;
    // User y range.
    double userMinimum = 0.0;
    double userMaximum = 1.0;
    int32_t userSet = 0;
    ChartMemory memories[kChartMemories];
    // The axis control: horizontal record = x scale, vertical = y scale.
    SliderCtrl slider{41.0f, 15.0f};
    // Current y mapping.
    double ySpan = 1.0;
    double yHalfSpan = 0.5;          // kept beside the span: a span beyond DBL_MAX has a finite half
    double yMinimum = 0.0;
    double yInverseSpan = 1.0;
    double pixelsPerUnit = 88.0;
    float zeroPixel = 0.0f;
    double largestCurveHeight = 1.0;
    double yOrigin = 0.0;            // the curves' origin above the plot's bottom edge
    // Visible samples and used plot width.
    int32_t visible = 0;
    float usedWidth = 0.0f;
    // Cursor pixels and the mouse height.
    double cursorPixel = 1.0;
    double mouseY = 1.0;
    // The combined value interval of the curves.
    double intervalSpan = 1.0;
    double intervalMinimum = 0.0;
    double intervalMaximum = 1.0;
    double intervalInverse = 1.0;
    // Viewport factors kept from the host.
    double viewportX = 1.0;
    double viewportY = 0.0;
    // The last frame of the statistics list.
    ChartFrame frame;
    // The current device's row and row count, for the readouts.
    uint32_t currentRow = 0;
    uint32_t rowCount = 0;
    // Readout values changed since the readout fields were redrawn.
    uint32_t readoutChanges = 0;
    // The drawn-once state of the "outside the data" readout.
    uint8_t outside = 0;
    // The scales wait for the user-interface thread (a delivery on another thread
    // changed the view).
    uint8_t scalesStale = 0;
    // The y scale's style (0 none, 1 first, 2 second; "M" steps it).
    uint8_t yScaleStyle = 0;
    // The pan's position and factors while the host has no readout page.
    double panAccumulator = 0.0;
    double panFactorX = 1.0;
    double panFactorY = 1.0;
    // The strip's picture (the preview of the current frame) and its place.
    DisplayBitmap strip;
    int32_t stripRect[4] = {0, 0, 0, 0};  // x, y, width, height
    // The strip as the chart draws it under its curves (in the host window's context):
    // the picture with its dark ground left out, so that the plot and the grid show
    // through.
    TextureImage stripImage;
    // Draws the strip under the curves (the model-view at the plot's top-left corner,
    // y down); nothing without a picture.
    void DrawStrip() const;
    // The view widget whose wheel reaches this window.
    gElement* boundView = nullptr;

    // The label width of the x scale's widest label in pixels (text width plus 15 for
    // reals, 14 for whole numbers, at least the scale's label spacing).
    int32_t XLabelWidth(const ScaleRecord* scale) const;

private:
    void ResetScales();
    void RefreshStatisticsListSteps();
    // The host shows the statistics of the current device's row.
    void ShowRowStatistics(const void* statistic);
};

// A chart window for the cell (count 1), or nullptr. Installed as
// ComponentServices::createChartWindow.
OutputWindow* CreateChartWindow(DisplayCellBase* cell);

// ---- Shared computations ------------------------------------------------------------

// ceil(samplesPerPixel x width) (rounding noise forgiven), 0x7FFFFFFF from 2147483646 on.
int32_t ChartVisibleCount(double samplesPerPixel, int32_t width);
// x rounded up, forgiving the rounding noise of a product that should be whole.
double ChartCeil(double x);
// A span as the chart keeps it: one within DBL_EPSILON of 1, or at most DBL_MIN, is 1.0.
double ChartKeptSpan(double span);
// A scale ratio as a text of at most size - 1 (at most 17) characters: below 1 (or not a
// number) the reciprocal as "1:%u" when whole, else "1:%.2f"; otherwise the factor as
// "%u:1" or "%.2f:1".
void FormatAspectRatio(double factor, double reciprocal, char* out, size_t size);

// ---- Scale routines ---------------------------------------------------------------------

// The x label text of a value: magnitudes under 3 or above 2147483647 as reals (at most
// 1 by the fitted double format, else "%.2f" in 16 characters with trailing zeros cut),
// else the value rounded up as "%d" in 12 characters; "ERR" when it does not fit. True
// for a real text.
bool ChartXLabelText(double value, char* out, size_t size);
// The x tick step for a label `labelSamples` samples wide (value units); `fraction`
// tells whether it is fractional. `sampleWidth` is the pixels of one sample and
// `labelPixels` the label width; `plotSamples` the samples one plot width holds.
double ChartXTickStep(double labelSamples, double sampleWidth, double labelPixels, double plotSamples,
                      bool* fraction);
// The shown exponent of a y range (minimum, span): 0 when no common power of ten is used.
int32_t ChartYExponent(double minimum, double span);
// The y tick step for u value units a label spacing.
double ChartYTickStep(double units);
// The two label routines the chart installs in a slider (data: the chart).
void ChartXScaleRoutine(ScaleRecord* scale, bool vertical, void* chart);
void ChartYScaleRoutine(ScaleRecord* scale, bool vertical, void* chart);

}  // namespace orva
