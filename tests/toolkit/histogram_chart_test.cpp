// The histogram chart's axis texts and statistics tables, and its picture drawn on a
// real GL context (skipped without $DISPLAY), read back before the swap.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "gl_test_support.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"

namespace orva {
namespace {

using namespace testing_util;

// A value column in memory: row -> text; a cleared row is absent.
struct FakePanel : StatPanel {
    explicit FakePanel(int32_t rows) : rows(rows) {}
    int32_t RowCount() const override { return rows; }
    void SetValue(int32_t row, const char* text) override { cells[row] = text; ++writes; }
    void ClearValue(int32_t row) override { cells.erase(row); ++writes; }
    std::string At(int32_t row) const {
        auto it = cells.find(row);
        return it == cells.end() ? "<none>" : it->second;
    }
    int32_t rows;
    int writes = 0;
    std::map<int32_t, std::string> cells;
};

struct ReadyGuard {
    explicit ReadyGuard(bool ready) : previous(gUiReady()) { gSetUiReady(ready); }
    ~ReadyGuard() { gSetUiReady(previous); }
    bool previous;
};

TEST(HistogramChartTest, AxisTextsAndTitles) {
    struct Case {
        double value;
        const char* text;
        const char* exponent;
        int e;
    } cases[] = {
        {250000, "2.5", "E+005", 5}, {0.004, "4", "E-03", -3}, {0, "0", "", 0},         {99999, "99999", "", 0},
        {-123456, "-1.2346", "E+005", 5}, {1, "1", "", 0},        {0.5, "5", "E-01", -1}, {1e-100, "1", "E-100", -100},
    };
    for (const Case& c : cases) {
        char text[16], exponent[16];
        EXPECT_EQ(ChartAxisText(c.value, text, exponent), c.e) << c.value;
        EXPECT_STREQ(text, c.text) << c.value;
        EXPECT_STREQ(exponent, c.exponent) << c.value;
    }
    for (auto [mode, title] : std::initializer_list<std::pair<int, const char*>>{
             {651, "Histogram / Distribution / Series"}, {700, "Slice"}, {701, "Histogram"}, {702, "Distribution"},
             {703, "Series"}, {0, "Data"}})
        EXPECT_STREQ(ChartModeTitle(mode), title) << mode;
}

TEST(HistogramChartTest, TableLabels) {
    const StatListDescriptor* s = StatLabelsTable();
    ASSERT_EQ(s->kind, 650);
    ASSERT_EQ(s->rows, 9);
    const char* shortLabels[] = {"Count:", "Flux:", "Max:", "Min:", "Range:", "Mean:", "RMS:", "Disp:", "Var:"};
    for (int i = 0; i < 9; ++i) EXPECT_STREQ(s->labels[i], shortLabels[i]) << i;
    const StatListDescriptor* f = StatListDesc();
    ASSERT_EQ(f->kind, 651);
    ASSERT_EQ(f->rows, 28);
    // The second moments carry the squared sign (U+00B2, in UTF-8: the code page has none).
    const char* full[] = {"Count:", "Interval:", "Bkgr:",   "Flux:",   "Flux-FBkgr:", "Max:",    "Min:",
                          "Range:", "Mean:",     "Median:", "Mode:",   "Bkgr Thrsh:", "RMS",     "Disp:",
                          "RVar:",  "RMS Bkgr:", "Skew:",   "Kurt:",   "Xcen:",       "Ycen:",   "X \u00b2 :",
                          "Y \u00b2 :", "XY \u00b2 :", "X Skew:", "Y Skew:", "FWHM:",   "Radius:", "GausPrb:"};
    for (int i = 0; i < 28; ++i) EXPECT_STREQ(f->labels[i], full[i]) << i;
    // The region table: the full table but the interval.
    const StatListDescriptor* r = StatRegionTable();
    ASSERT_EQ(r->kind, 650);
    ASSERT_EQ(r->rows, 27);
    EXPECT_STREQ(r->labels[0], "Count:");
    for (int i = 1; i < 27; ++i) EXPECT_STREQ(r->labels[i], full[i + 1]) << i;
}

TEST(HistogramChartTest, ShortTable) {
    ReadyGuard ready(true);
    ChartSummary s{.minimum = -2.5, .maximum = 7.25, .rms = 3, .mean = -2, .flux = 1234.5, .count = 4294967295u};
    FakePanel panel(9);
    ASSERT_EQ(HistogramChart::FillShort(&panel, &s), 1);
    const char* want[] = {"4294967295", "1234.5", "7.25", "-2.5", "9.75", "-2", "3", "9", "1.5"};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(panel.At(i), want[i]) << i;

    // No mean: flux, mean and var cleared; no RMS: rows 6..8 cleared.
    s.mean = -DBL_MAX;
    ASSERT_EQ(HistogramChart::FillShort(&panel, &s), 1);
    EXPECT_EQ(panel.At(1), "<none>");
    EXPECT_EQ(panel.At(5), "<none>");
    EXPECT_EQ(panel.At(7), "9");
    EXPECT_EQ(panel.At(8), "<none>");
    s.mean = 0;  // zero mean with a non-zero RMS: no variation coefficient
    HistogramChart::FillShort(&panel, &s);
    EXPECT_EQ(panel.At(8), "<none>");
    s.rms = 0;  // zero RMS: 0
    HistogramChart::FillShort(&panel, &s);
    EXPECT_EQ(panel.At(8), "0");
    s.rms = -DBL_MAX;
    HistogramChart::FillShort(&panel, &s);
    for (int i = 6; i <= 8; ++i) EXPECT_EQ(panel.At(i), "<none>") << i;

    // Too few rows, or the toolkit not ready: untouched.
    FakePanel small(8);
    EXPECT_EQ(HistogramChart::FillShort(&small, &s), 0);
    EXPECT_EQ(small.writes, 0);
    ReadyGuard notReady(false);
    EXPECT_EQ(HistogramChart::FillShort(&panel, &s), 0);
    HistogramChart chart;
    EXPECT_EQ(chart.Attach(nullptr, nullptr), 0);
    EXPECT_EQ(chart.Compile(), 0);
}

TEST(HistogramChartTest, FullTable) {
    ReadyGuard ready(true);
    StatisticsRecord s{.count = 10, .backgroundOn = 1, .background = 2, .flux = 100, .maximum = 9, .minimum = 1,
                       .range = 8, .mean = 5, .median = 4.5, .mode = 4, .backgroundThreshold = 3, .rms = 2,
                       .dispersion = 4, .relativeVariance = DBL_MAX, .backgroundRms = 0.25, .skewness = std::nan(""),
                       .kurtosis = -0.125, .xCentre = 12.5, .yCentre = 0, .x2 = 1, .y2 = 2, .xy2 = -0.5,
                       .xSkew = 0.75, .ySkew = -0.75, .fwhm = 2.354, .radius = 3.5, .gaussPercent = 87};
    FakePanel panel(28);
    ASSERT_EQ(HistogramChart::FillStatistics(&panel, 0.5, &s), 1);
    const char* want[] = {"10",   "0.5", "2",      "100",    "80",  "9",    "1",      "8",     "5",    "4.5",
                          "4",    "3",   "2",      "4",      "<none>", "0.25", "<none>", "-0.12", "12.5", "0",
                          "1",    "2",   "-0.5",   "0.75",   "-0.75", "2.35", "3.5",  "87%"};
    for (int i = 0; i < 28; ++i) EXPECT_EQ(panel.At(i), want[i]) << i;

    // Background off: its rows cleared and the flux unchanged; a negative centre clears
    // the moment rows; a probability of 0 is missing.
    s.backgroundOn = 0;
    s.yCentre = -1;
    s.gaussPercent = 0;
    ASSERT_EQ(HistogramChart::FillStatistics(&panel, 0.5, &s), 1);
    EXPECT_EQ(panel.At(2), "<none>");
    EXPECT_EQ(panel.At(4), "100");
    EXPECT_EQ(panel.At(15), "<none>");
    for (int i = 18; i <= 24; ++i) EXPECT_EQ(panel.At(i), "<none>") << i;
    EXPECT_EQ(panel.At(27), "missing");
    FakePanel small(27);
    EXPECT_EQ(HistogramChart::FillStatistics(&small, 0.5, &s), 0);
    EXPECT_EQ(small.writes, 0);
}

// The region table writes the full table's values but the interval, one row up from the
// interval's place on.
TEST(HistogramChartTest, RegionTable) {
    ReadyGuard ready(true);
    StatisticsRecord s{.count = 10, .backgroundOn = 1, .background = 2, .flux = 100, .maximum = 9, .minimum = 1,
                       .range = 8, .mean = 5, .median = 4.5, .mode = 4, .backgroundThreshold = 3, .rms = 2,
                       .dispersion = 4, .relativeVariance = 0.4, .backgroundRms = 0.25, .skewness = 0.5,
                       .kurtosis = -0.125, .xCentre = 12.5, .yCentre = 7, .x2 = 1, .y2 = 2, .xy2 = -0.5,
                       .xSkew = 0.75, .ySkew = -0.75, .fwhm = 2.354, .radius = DBL_MAX, .gaussPercent = 0};
    FakePanel full(28), region(27);
    ASSERT_EQ(HistogramChart::FillStatistics(&full, 0.5, &s), 1);
    ASSERT_EQ(HistogramChart::FillRegion(&region, &s), 1);
    EXPECT_EQ(region.At(0), "10");
    for (int i = 1; i < 27; ++i) EXPECT_EQ(region.At(i), full.At(i + 1)) << i;
    EXPECT_EQ(region.At(17), "12.5");      // Xcen
    EXPECT_EQ(region.At(25), "<none>");    // a radius not computed
    EXPECT_EQ(region.At(26), "missing");   // GausPrb
    FakePanel small(26);
    EXPECT_EQ(HistogramChart::FillRegion(&small, &s), 0);
    EXPECT_EQ(small.writes, 0);
}

// A series of one or two channels.
struct TestSeries : ChartSeries {
    void AddRef() override { ++refs; }
    void Release() override { --refs; }
    int refs = 0;
};

// Pixels near `colour` in the window's box x0..x1, y0..y1 (from the top).
int CountNear(gWindow* window, int x0, int x1, int y0, int y1, Rgb colour) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += Near(PixelAt(window, x, y), colour);
    return n;
}

TEST(HistogramChartGlTest, GridAndCurveColours) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    ReadyGuard ready(true);
    gWindow* window = InitWithFrame(30, 30, 400, 300);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(OpenShown(window, "Chart"));

    {
        HistogramChart chart;
        const float cx = 60, cy = 40, cw = 200, ch = 100;
        ASSERT_NE(chart.Create(window, {cx, cy, cw, ch}, nullptr, nullptr), nullptr);
        EXPECT_NE(chart.gridList, 0u);
        EXPECT_NE(chart.dataList, 0u);
        EXPECT_EQ(chart.widget->shown, 1);

        // 50 points in 200 pixels: a step outline at value 40 (scale 1), in the second
        // channel's colour.
        TestSeries series;
        const uint8_t colours[6] = {200, 0, 0, 0, 0, 250};
        double values[100];
        for (int i = 0; i < 50; ++i) values[i] = 20, values[50 + i] = 40;
        series.channels = 2;
        series.current = 1;
        series.points = 50;
        series.values = values;
        series.curve[0] = {colours, 2};
        ASSERT_EQ(chart.Attach(&series, nullptr), 1);
        EXPECT_EQ(series.refs, 1);

        PaintWindow(window);
        const int x0 = static_cast<int>(cx), mid = static_cast<int>(cy + ch / 2);
        const int at40 = static_cast<int>(cy + ch - 40), at60 = static_cast<int>(cy + ch - 60);
        // Grid: the 0xCCCC stipple leaves 2 of every 4 pixels lit along a line.
        EXPECT_EQ(CountNear(window, x0 + 4, x0 + 11, mid, mid, {191, 204, 214}), 4);
        // Curve: y = ch - 40 in window rows; the blue channel colour.
        EXPECT_TRUE(RgbNear(PixelAt(window, static_cast<int>(cx + cw / 2) + 1, at40), {0, 0, 250}));
        // Nothing drawn outside the chart at the curve's height.
        EXPECT_FALSE(Near(PixelAt(window, static_cast<int>(cx + cw) + 5, at40), {0, 0, 250}));
        platform::SwapBuffers(window->hdc);

        // Point markers in their own colour where there is room, and the marker line.
        const uint8_t green[3] = {0, 220, 0};
        series.flags = kSeriesPointMarkers;
        series.markers = {green, 1};
        chart.marker = 21;
        ASSERT_EQ(chart.Compile(), 1);
        PaintWindow(window);
        EXPECT_GE(CountNear(window, x0 + 80, x0 + 87, at40 - 3, at40 + 3, {0, 220, 0}), 4);
        // A vertical line at x = 21 lands in pixel column 20 or 21.
        EXPECT_EQ(CountNear(window, x0 + 19, x0 + 22, mid + 3, mid + 3, {230, 179, 179}), 1);
        platform::SwapBuffers(window->hdc);
        chart.marker = 0;

        // 1000 points: a line strip; value 60 of the first channel.
        double many[1000];
        for (double& v : many) v = 60;
        series.channels = 1;
        series.current = 0;
        series.points = 1000;
        series.values = many;
        ASSERT_EQ(chart.Compile(), 1);
        PaintWindow(window);
        EXPECT_TRUE(RgbNear(PixelAt(window, static_cast<int>(cx + cw / 2), at60), {200, 0, 0}));
        // No markers with more points than pixels.
        EXPECT_EQ(CountNear(window, x0 + 80, x0 + 87, at60 - 3, at60 + 3, {0, 220, 0}), 0);
        platform::SwapBuffers(window->hdc);

        // Texts in the font's lists: the exponent label of yTo = 250000 at the window's
        // left edge, the title above the chart; none once the value needs no exponent.
        ASSERT_NE(window->font, nullptr);
        HistogramChart labelled;
        ASSERT_NE(labelled.Create(window, {60, 200, 200, 60}, window->font, nullptr), nullptr);
        labelled.yTo = 250000;
        labelled.mode = 701;
        ASSERT_EQ(labelled.Compile(), 1);
        auto inkIn = [&](int left, int right, int top, int bottom) {
            return CountNear(window, left, right, top, bottom, {26, 56, 77});
        };
        PaintWindow(window);
        EXPECT_GT(inkIn(2, 50, 186, 201), 10);     // "E+005"
        EXPECT_GT(inkIn(60, 140, 182, 197), 10);   // "Histogram"
        EXPECT_GT(inkIn(20, 58, 205, 220), 5);     // "2.5"
        platform::SwapBuffers(window->hdc);
        labelled.yTo = 5;
        ASSERT_EQ(labelled.Compile(), 1);
        PaintWindow(window);
        EXPECT_EQ(inkIn(2, 50, 186, 201), 0);
        platform::SwapBuffers(window->hdc);

        ASSERT_EQ(chart.Reset(), 1);
        EXPECT_EQ(std::tuple(series.refs, chart.source), std::tuple(0, nullptr));
        EXPECT_EQ(chart.Reset(), 0);  // nothing bound
    }
    // The chart is gone: the widget no longer points at it.
    CloseToolkit();
}

TEST(HistogramChartGlTest, WindowCloseDetaches) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    ReadyGuard ready(true);
    gWindow* window = InitWithFrame(30, 30, 200, 150);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(OpenShown(window, "Chart"));
    // The statistics tables in a two-column list control.
    const float widths[2] = {90, 100};
    ListCtrlLayout layout{.x = 20, .y = 40, .width = 190, .height = 100, .columnCount = 2, .columnWidths = widths};
    gElement* listWidget = ListCtrl::Create(window, nullptr, 0, &layout, 0, false, window->font);
    ASSERT_NE(listWidget, nullptr);
    ListCtrl* list = ListCtrl::FromWidget(listWidget);
    ASSERT_NE(list, nullptr);
    ListStatPanel panel(list);
    ChartSummary summary{.minimum = 1, .maximum = 4, .rms = -DBL_MAX, .mean = 2, .count = 3};
    EXPECT_EQ(HistogramChart::FillShort(&panel, &summary), 0);  // no rows yet
    ASSERT_TRUE(ListStatPanel::LoadLabels(list, StatLabelsTable()));
    ASSERT_EQ(list->rowCount, 9);
    ASSERT_EQ(HistogramChart::FillShort(&panel, &summary), 1);
    EXPECT_EQ(list->rows[0].cells[0].text, "Count:");
    EXPECT_EQ(list->rows[0].cells[1].text, "3");
    EXPECT_EQ(list->rows[4].cells[1].text, "3");
    EXPECT_EQ(list->rows[6].cells[1].text, "");

    HistogramChart chart;
    TestSeries series;
    ASSERT_NE(chart.Create(window, {10, 10, 0, 0}, nullptr, nullptr), nullptr);
    EXPECT_EQ(chart.width, 10.0f);
    chart.Attach(&series, nullptr);
    EXPECT_EQ(series.refs, 1);
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    EXPECT_EQ(std::tuple(chart.widget, chart.gridList, series.refs), std::tuple(nullptr, 0u, 0));
    gShutdown();
}

}  // namespace
}  // namespace orva
