#pragma once
// The 1-D output device: one per source bound to a chart, so one per curve. It accepts
// 64-bit real data of one or more channels (one row per channel), pulls the current
// spectrum (at most 20480 samples a row), keeps the value range of all rows and a copy
// of the samples normalised to [0, 1] for drawing, and hands the chart window what it
// needs to draw the curve (ChartDraw below).
//
// Threads: Deliver and the post-pull step may run on the playback thread under the
// display lock; they touch no X or GL. Drawing runs on the user-interface thread.
#include <cstdint>
#include <utility>
#include <vector>

#include "app/chart_params.h"
#include "app/curve_style.h"
#include "app/device_format.h"
#include "app/output_device.h"
#include "data/affine_record.h"

namespace orva {

class ChartWindow;
struct GraphicsHost;

// The value range of samples as found: the minimum and maximum of the finite samples,
// without the no-data value -DBL_MAX; no such sample, or a NaN or infinite extreme,
// gives [0, 0].
struct ChartRange {
    double minimum = 0.0;
    double maximum = 0.0;
};
ChartRange ChartRowRange(const double* samples, uint64_t count);
// The same scan with its outcome: no sample (or only no-data values), a NaN or an
// infinity among them, or a range found (stored in *out).
enum class RowScan { kEmpty, kSpoiled, kFound };
RowScan ChartScanRow(const double* samples, uint64_t count, ChartRange* out);

// How samples are normalised: each value v becomes (v - offset) x scale, so that
// [offset, offset + span] maps to [0, 1]. A flat range [v, v] normalises with
// [v - 1, v]; a span within DBL_EPSILON of 1 (or below DBL_MIN) is taken as 1.0 with
// scale 1.0. The span is found from the halved bounds, so that it never overflows to a
// zero scale: `half` holds the half span and the scale is 0.5 / half; a span beyond
// DBL_MAX is kept as DBL_MAX beside its half.
struct ChartNormalising {
    double offset = 0.0;
    double span = 1.0;
    double scale = 1.0;
    double half = 0.5;
};
ChartNormalising ChartNormalisingFor(const ChartRange& range);
// Copies `count` samples into `out`, normalised: a denormal result becomes 0.0, an
// overflow or a NaN the bound of its sign (NaN: -DBL_MAX, as no data). True when any
// such value was met (the floating-point status is then cleared).
bool ChartNormaliseSamples(const double* samples, uint64_t count, const ChartNormalising& n, double* out);

// Where the samples of a delivered frame lie: rows (channels) of `sampleCount` samples,
// `rowStride` doubles apart, a sample `sampleStride` doubles after the one before.
struct ChartFrameLayout {
    const double* samples = nullptr;
    uint32_t rows = 0;
    uint32_t sampleCount = 0;
    uint64_t rowStride = 0;
    uint32_t sampleStride = 1;
};
// The layout of a frame of 64-bit reals for `channels` channels (when its items are that
// many doubles wide: one run of samples after another when its type says one row per
// channel, else side by side; otherwise a row each, as many as came), at most `width`
// samples (0: all, never more than a chart pulls). False when the frame holds no samples.
bool ChartFrameLayoutOf(const TypedFrameBuffer& image, uint32_t channels, int32_t width, ChartFrameLayout* out);

class Chart1DDevice : public OutputDevice {
public:
    Chart1DDevice(ChartWindow* window, DisplayCellBase* host);
    ~Chart1DDevice() override;

    const ComponentId* GetClassId() const override;
    bool CreateInstance(OutputDevice** out) override;
    // Its own id, "OUTG","DRAW","DEVI","OUTG" and "BASE",0,0,0.
    bool QueryInterface(const ComponentId* id, void** out) override;
    // 64-bit reals (0x40) with a channel count and none of 0x2400bf; several channels
    // only with one row per channel (0x10000).
    bool AcceptFormat(FormatRequest* request) override;

    // The pull of the whole spectrum of the current frame (at most 20480 samples).
    int32_t Refresh() override;
    bool Deliver() override;
    // Binds the owner's ChartParams and restores the chart defaults; false without them.
    bool ResetDeviceView(bool fit) override;
    void ResetScale() override;
    void ReleaseImage() override;
    // Something upstream changed: the next poll pulls the data again.
    void ResetStep2() override;
    void OnEvent(int32_t code, int32_t level) override;
    // Row n (1-based; 0 stays 0) becomes the current row, clamped to the rows.
    bool SelectIndex(int32_t index) override;
    int32_t InvalidateArea() override;
    bool SetZoom2(double zoomX, double zoomY) override;
    bool SetZoom(bool axisX, double zoom, bool linked) override;
    void RemoveShapes() override;

    // Flips (or sets) the curve style's nearest flag; the chart recomputes its curve
    // extent when the draw routine changed.
    void ToggleNearest();
    void SetNearest(bool on);
    // The hidden flag from the switched-off state and the style (a curve with neither
    // 0x80 nor 0x100 is hidden); true when it changed.
    bool UpdateHidden();
    // The statistics of the current row of the pulled samples.
    void RowStatisticsCurrent(RowStats* result) const;
    // The current row's samples that hold a value (NaN, infinities and the no-data marker
    // left out), in order; empty without samples.
    void CurrentRowValues(std::vector<double>* out) const;
    // The sample of a row at an index as pulled; false outside the rows or samples.
    bool RowSample(uint32_t row, int64_t index, double* value) const;
    // The post-pull step (range, normalising, chart recompute); false when nothing is
    // held afterwards.
    bool ChartRefresh();
    // The chart's re-layout after the device lost its data.
    void ChartRelayout();
    // Clears what the device holds (sample buffer, range, marked intervals).
    void ClearData();
    // A new frame arrived: the per-frame flags are cleared and the strip's frame goes.
    void ForgetFrame();

    ChartWindow* Chart() const;
    int64_t SourceFrameCount() const;
    // The value of the current row at sample position x (the curve's lookup), in data
    // units; false without samples.
    bool ValueAt(double x, double* value) const;
    // The pulled samples, or null once the result no longer holds the frame they were
    // taken from (a port reset frees it when another file is shown).
    const double* Pulled() const;
    // The pulled samples of a row (not normalised), or null.
    const double* PulledRow(uint32_t row) const;
    bool HoldsSamples() const { return dataPresent != 0 && sampleCount != 0 && rows != 0; }

    // ---- State
    ChartParams* params = nullptr;
    uint8_t visibleFlag = 1;
    uint8_t secondFlag = 0;
    float lineWidth = 1.0f;
    float pointSize = 3.0f;
    CurveStyle style;
    double yShift = 0.0;             // set by the chart's mapping
    double yScale = 1.0;
    // The pulled data: rows (channels) of `sampleCount` samples, `rowStride` doubles
    // apart (interleaved data: 1 apart with a sample stride of `rows`).
    const double* pulled = nullptr;
    uint32_t rows = 0;
    uint32_t sampleCount = 0;
    uint64_t rowStride = 0;
    uint32_t sampleStride = 1;
    // The normalised samples (rows x sampleCount doubles), with its format.
    DeviceDataFormat samplesFormat;
    TypedBuffer samplesBuffer;
    DeviceDataFormat input;          // the accepted format
    // The marked sample intervals delivered with the data: [start, end) pairs.
    std::vector<std::pair<int32_t, int32_t>> marks;
    ChartRange found;                // the range as found
    ChartRange normalisingRange;     // the range the samples were normalised with
    ChartNormalising normalising;
    uint32_t currentRow = 0;
    uint32_t chartRow = 0;
    uint32_t chartRows = 0;
    uint32_t dataPresent = 0;
    uint32_t options = 0;            // bit 0x100: the input range is not asked of the source
    AffineRecord affine;
    uint8_t frameFlags[2] = {0, 0};   // [0]: the strip's frame was asked for this frame
    // The frame the source put in for the strip's frame request (the device's image
    // buffer); empty until a request is answered and again after every new frame.
    PullResult stripFrame;
    uint8_t switchedOff = 0;
    uint32_t styledFor = 0xFFFFFFFF;  // the background the style's contrast colours were chosen for
    // Pull state.
    uint8_t changed = 0;
    uint16_t cachedArea = 0;
    int32_t cachedFrame = -1;
    int32_t cachedChannel = -1;
    int64_t selectedIndex = 0;
    int32_t channel = -1;
    uint8_t frameLock = 0;
    int32_t requestedWidth = 0;      // samples asked for by the last pull

private:
    int32_t PendingOrNothing();
    void CommonTail(int32_t level);
    void AfterDelivery();
    bool TakePulledData();
    static bool PostPull(DeviceViewBase* device);

};

// The chart's draw callback: cursor area, zero line and every device's marked
// intervals, curve and points (UI thread, host's context current, the model-view at the
// view widget's top-left corner moved by the cell's offsets, y down, one unit a pixel).
void ChartDraw(GraphicsWindow* chart);
// The current row of a device as points from the first visible sample.
void ChartDrawPoints(const Chart1DDevice* device, const double* samples, uint32_t first, uint32_t count);

}  // namespace orva
