#pragma once
// The histogram chart: one channel of a bound data series (histogram, distribution,
// series or slice) drawn as a curve over a dashed 10 x 10 grid, with axis values, a mode
// title, a channel counter and a summary line. The picture lives in two display lists
// in the widget window's context, so a repaint only calls them. The statistics tables
// that go with the chart (9, 27 and 28 rows of label and value) are filled here too.
// Application calls do nothing and return 0 while the toolkit's UI-ready flag
// (gUiReady) is clear. UI thread only.
#include <cstdint>

namespace orva {

struct gElement;
struct gFont;
struct gWindow;
class ListCtrl;

// Widget kind of the chart, and the kinds of the statistics tables: the short table and
// the region table (the full table without the histogram's interval) are kind 650, the
// full table kind 651.
constexpr int32_t kHistogramChartKind = 520;
constexpr int32_t kStatShortKind = 650;
constexpr int32_t kStatRegionKind = 650;
constexpr int32_t kStatFullKind = 651;
constexpr int32_t kStatShortRows = 9;
constexpr int32_t kStatRegionRows = 27;
constexpr int32_t kStatFullRows = 28;

// Chart modes (anything else shows plain data).
constexpr int32_t kChartModeAll = 651;
constexpr int32_t kChartModeSlice = 700;
constexpr int32_t kChartModeHistogram = 701;
constexpr int32_t kChartModeDistribution = 702;
constexpr int32_t kChartModeSeries = 703;

// Series flag bits.
constexpr uint32_t kSeriesSecondColours = 0x80;  // curve colours from the second table
constexpr uint32_t kSeriesPointMarkers = 0x100;  // point markers where there is room

// A colour table: RGB byte triples, picked by channel number modulo count.
struct ChartColours {
    const uint8_t* rgb = nullptr;
    uint32_t count = 0;
};

// The data series a chart shows. Reference counted by its owner: the chart takes a
// reference when bound and drops it when unbound.
struct ChartSeries {
    virtual ~ChartSeries() = default;
    virtual void AddRef() = 0;
    virtual void Release() = 0;

    uint32_t channels = 0;
    uint32_t current = 0;          // current channel, 0-based
    uint32_t points = 0;           // points per channel
    const double* values = nullptr;  // channel after channel
    uint8_t hidden = 0;
    uint32_t flags = 0;
    ChartColours curve[2];         // [1] when kSeriesSecondColours is set
    ChartColours markers;
    double offset = 0.0;           // vertical offset (chart pixels)
    double scale = 1.0;            // vertical scale (pixels per value unit)
};

// Summary values shown under the chart and in the short table; -DBL_MAX marks a value
// that is not available.
struct ChartSummary {
    double minimum = 0, maximum = 0, rms = 0, mean = 0, flux = 0;
    uint32_t count = 0;
    uint8_t valid = 0;  // the chart keeps the record only when set
};

// The values of the full statistics table.
struct StatisticsRecord {
    uint32_t count = 0;
    uint8_t backgroundOn = 0;  // background subtraction
    double background = 0;
    double flux = 0, maximum = 0, minimum = 0, range = 0, mean = 0, median = 0, mode = 0;
    double backgroundThreshold = 0, rms = 0, dispersion = 0, relativeVariance = 0, backgroundRms = 0;
    double skewness = 0, kurtosis = 0;
    double xCentre = 0, yCentre = 0, x2 = 0, y2 = 0, xy2 = 0, xSkew = 0, ySkew = 0;
    double fwhm = 0, radius = 0;
    int32_t gaussPercent = 0;  // Gaussian probability in percent; 0 = missing
};

// A table descriptor: list kind, row count and the label texts.
struct StatListDescriptor {
    int32_t kind;
    int32_t rows;
    const char* const* labels;
};
const StatListDescriptor* StatLabelsTable();  // the short table
const StatListDescriptor* StatRegionTable();  // the region table
const StatListDescriptor* StatListDesc();     // the full table
// The label texts of the three second-moment rows ("X", "Y", "XY" with the squared
// sign, as UTF-8: the code page has no such character).
extern const char kStatLabelX2[];
extern const char kStatLabelY2[];
extern const char kStatLabelXY2[];

// The value column of a statistics table: each row has a label cell and a value cell.
// SetValue assigns the text to the row's value cell (reusing the row's spare text
// object when the cell has none) and lays it out; ClearValue parks the cell's text
// object in the row's spare slot and zeroes the cell. A list control adapts itself
// to this.
struct StatPanel {
    virtual ~StatPanel() = default;
    virtual int32_t RowCount() const = 0;
    virtual void SetValue(int32_t row, const char* text) = 0;
    virtual void ClearValue(int32_t row) = 0;
    virtual void Done() {}  // after a fill: lay the column out, repaint
};

// The panel of a list control: labels in column 0, values in column 1.
class ListStatPanel : public StatPanel {
public:
    explicit ListStatPanel(ListCtrl* list) : list_(list) {}
    int32_t RowCount() const override;
    void SetValue(int32_t row, const char* text) override;
    void ClearValue(int32_t row) override;
    void Done() override;
    // Fills column 0 of the list with a table's labels (the list gets its row count).
    static bool LoadLabels(ListCtrl* list, const StatListDescriptor* table);

private:
    ListCtrl* list_;
};

// Axis value text: the value multiplied by 10^-e and written in at most 5 characters,
// with e = 0 unless |v| > 99999 or 0 < |v| < 1, then floor(log10 |v|). `exponent`
// receives "E+005", "E-03" (or "ERR"), or "" when e is 0. Buffers of 16 bytes.
// Returns e.
int ChartAxisText(double value, char* text, char* exponent);
// The title of a chart mode.
const char* ChartModeTitle(int32_t mode);

// A chart rectangle in window pixels (y downward).
struct ChartRect {
    float x = 0, y = 0, width = 0, height = 0;
};

class HistogramChart {
public:
    HistogramChart() = default;
    ~HistogramChart();
    HistogramChart(const HistogramChart&) = delete;
    HistogramChart& operator=(const HistogramChart&) = delete;

    // Builds the chart widget in the window; the font is given to the widget when not
    // null. Returns the widget, or null.
    gElement* Create(gWindow* window, const ChartRect& rect, gFont* font, void* owner);
    // Binds a series (null unbinds, resets the ranges and drops the summary); the
    // summary is kept only when valid. Recompiles. Returns 1, or 0 when not ready.
    int Attach(ChartSeries* series, const ChartSummary* summaryRecord);
    // With a series bound: ranges (0, 1) x (0, 1), mode, marker and summary cleared, the
    // series released, recompiled. Returns 1 when reset, else 0.
    int Reset();
    // (Re)builds the display lists in the widget window's context. Returns 1 when the
    // lists were compiled and the widget shown, 0 otherwise (widget hidden).
    int Compile();

    // Fill the value columns; return 1 when written, 0 when not ready or the panel has
    // fewer rows than the table.
    static int FillShort(StatPanel* panel, const ChartSummary* summaryRecord);
    static int FillStatistics(StatPanel* panel, double interval, const StatisticsRecord* statistics);
    // The region table: the rows of the full table but the interval.
    static int FillRegion(StatPanel* panel, const StatisticsRecord* statistics);

    float width = 0, height = 0;
    gElement* widget = nullptr;
    uint32_t dataList = 0;
    uint32_t gridList = 0;
    ChartSeries* source = nullptr;
    int32_t mode = 0;
    float marker = 0;
    double xFrom = 0.0, xTo = 1.0;
    double yFrom = 0.0, yTo = 1.0;
    const ChartSummary* summary = nullptr;
    void* owner = nullptr;

private:
    void ReleaseSource();
    void ResetRanges();
    void Forget();  // the destructor's and the detach callback's steps
    void CompileGrid();
    void CompileData();
    static void Paint(gElement* e);
    static void Detach(gElement* e);
};

}  // namespace orva
