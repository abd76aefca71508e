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
#include "toolkit/scale.h"

namespace orva {

class Chart1DDevice;
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
};
ChartHostServices& TheChartHostServices();

// The chart's tool panel and keys, filled by the panel code. Empty entries: no panel
// (BuildToolPanel answers false), keys passed on.
struct ChartPanelHooks {
    bool (*build)(ChartWindow* chart, int32_t pageId) = nullptr;
    void (*refresh)(ChartWindow* chart, uint32_t flags) = nullptr;
    int32_t (*keyDown)(ChartWindow* chart, uint32_t keyWord) = nullptr;
    int32_t (*keyUp)(ChartWindow* chart, uint32_t keyWord) = nullptr;
};
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
    void SetFrameRect(TextureView*) override {}
    bool RenderToTextureView(TextureView*) override { return false; }
    int32_t BeginPlacement(int32_t) override { return 0; }
    int32_t EndPlacement(int32_t) override { return 0; }
    void SetPointer(float, float) override {}
    // Moves the cursor by samples (coarse with `tenfold`, a tenth of the view with
    // `shift`).
    void ScrollBy(int32_t steps, bool tenfold, bool shift) override;
    void ScrollStepX(int32_t, bool) override {}
    // Scrolls the y range by pixels (ten a step with `tenfold`).
    void ScrollStepY(int32_t steps, bool tenfold) override;
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

    // The label width of the x scale's widest label in pixels (text width plus 15 for
    // reals, 14 for whole numbers, at least the scale's label spacing).
    int32_t XLabelWidth(const ScaleRecord* scale) const;

private:
    void ResetScales();
    void RefreshStatisticsListSteps();
};

// A chart window for the cell (count 1), or nullptr. Installed as
// ComponentServices::createChartWindow.
OutputWindow* CreateChartWindow(DisplayCellBase* cell);

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
