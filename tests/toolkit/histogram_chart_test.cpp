// The histogram chart's axis texts and statistics tables, and its picture drawn on a
// real GL context (skipped without $DISPLAY), read back before the swap.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/histogram_chart.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

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
    EXPECT_STREQ(ChartModeTitle(651), "Histogram / Distribution / Series");
    EXPECT_STREQ(ChartModeTitle(700), "Slice");
    EXPECT_STREQ(ChartModeTitle(701), "Histogram");
    EXPECT_STREQ(ChartModeTitle(702), "Distribution");
    EXPECT_STREQ(ChartModeTitle(703), "Series");
    EXPECT_STREQ(ChartModeTitle(0), "Data");
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
    const char* full[] = {"Count:", "Interval:", "Bkgr:",   "Flux:",   "Flux-FBkgr:", "Max:",    "Min:",
                          "Range:", "Mean:",     "Median:", "Mode:",   "Bkgr Thrsh:", "RMS",     "Disp:",
                          "RVar:",  "RMS Bkgr:", "Skew:",   "Kurt:",   "Xcen:",       "Ycen:",   "X \x88 :",
                          "Y \x88 :", "XY \x88 :", "X Skew:", "Y Skew:", "FWHM:",   "Radius:", "GausPrb:"};
    for (int i = 0; i < 28; ++i) EXPECT_STREQ(f->labels[i], full[i]) << i;
    EXPECT_EQ(static_cast<unsigned char>(f->labels[20][2]), 0x88u);
}

TEST(HistogramChartTest, ShortTable) {
    ReadyGuard ready(true);
    ChartSummary s;
    s.count = 4294967295u;
    s.minimum = -2.5;
    s.maximum = 7.25;
    s.mean = -2;
    s.rms = 3;
    s.flux = 1234.5;
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
    StatisticsRecord s;
    s.count = 10;
    s.backgroundOn = 1;
    s.background = 2;
    s.flux = 100;
    s.maximum = 9;
    s.minimum = 1;
    s.range = 8;
    s.mean = 5;
    s.median = 4.5;
    s.mode = 4;
    s.backgroundThreshold = 3;
    s.rms = 2;
    s.dispersion = 4;
    s.relativeVariance = DBL_MAX;
    s.backgroundRms = 0.25;
    s.skewness = std::nan("");
    s.kurtosis = -0.125;
    s.xCentre = 12.5;
    s.yCentre = 0;
    s.x2 = 1;
    s.y2 = 2;
    s.xy2 = -0.5;
    s.xSkew = 0.75;
    s.ySkew = -0.75;
    s.fwhm = 2.354;
    s.radius = 3.5;
    s.gaussPercent = 87;
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

// A series of one or two channels.
struct TestSeries : ChartSeries {
    void AddRef() override { ++refs; }
    void Release() override { --refs; }
    int refs = 0;
};

void Pump() {
    platform::Msg msg;
    for (int i = 0; i < 50 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
}

struct Rgb {
    int r, g, b;
};
Rgb ReadAt(gWindow* window, int x, int y) {
    unsigned char p[3] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, window->clientHeight - 1 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}
bool Near(Rgb a, int r, int g, int b) {
    return std::abs(a.r - r) <= 2 && std::abs(a.g - g) <= 2 && std::abs(a.b - b) <= 2;
}

TEST(HistogramChartGlTest, GridAndCurveColours) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ReadyGuard ready(true);
    ASSERT_NE(gInit(), nullptr);
    gWindow* window = gWinCreateRec(30, 30, 400, 300, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(gWinOpen(window, "Chart", kStyleShown));
    Pump();
    ASSERT_TRUE(gWinMakeCurrent(window));
    glViewport(0, 0, window->clientWidth, window->clientHeight);

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

        gWinPaint(window);
        // Grid: the 0xCCCC stipple leaves 2 of every 4 pixels lit along a line.
        int lit = 0;
        for (int x = 4; x < 12; ++x) lit += Near(ReadAt(window, static_cast<int>(cx) + x, static_cast<int>(cy + ch / 2)),
                                                 191, 204, 214);
        EXPECT_EQ(lit, 4);
        // Curve: y = ch - 40 in window rows; the blue channel colour.
        Rgb curve = ReadAt(window, static_cast<int>(cx + cw / 2) + 1, static_cast<int>(cy + ch - 40));
        EXPECT_TRUE(Near(curve, 0, 0, 250)) << curve.r << " " << curve.g << " " << curve.b;
        // Nothing drawn outside the chart at the curve's height.
        Rgb outside = ReadAt(window, static_cast<int>(cx + cw) + 5, static_cast<int>(cy + ch - 40));
        EXPECT_FALSE(Near(outside, 0, 0, 250));
        platform::SwapBuffers(window->hdc);

        // Point markers in their own colour where there is room, and the marker line.
        const uint8_t green[3] = {0, 220, 0};
        series.flags = kSeriesPointMarkers;
        series.markers = {green, 1};
        chart.marker = 21;
        ASSERT_EQ(chart.Compile(), 1);
        ASSERT_TRUE(gWinMakeCurrent(window));
        gWinPaint(window);
        int dots = 0;
        for (int y = -3; y <= 3; ++y)
            for (int x = 0; x < 8; ++x)
                dots += Near(ReadAt(window, static_cast<int>(cx) + 80 + x, static_cast<int>(cy + ch - 40) + y), 0, 220, 0);
        EXPECT_GE(dots, 4);
        int line = 0;  // a vertical line at x = 21 lands in pixel column 20 or 21
        for (int x = 19; x <= 22; ++x) line += Near(ReadAt(window, static_cast<int>(cx) + x, static_cast<int>(cy + ch / 2) + 3), 230, 179, 179);
        EXPECT_EQ(line, 1);
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
        ASSERT_TRUE(gWinMakeCurrent(window));
        gWinPaint(window);
        curve = ReadAt(window, static_cast<int>(cx + cw / 2), static_cast<int>(cy + ch - 60));
        EXPECT_TRUE(Near(curve, 200, 0, 0)) << curve.r << " " << curve.g << " " << curve.b;
        int strayDots = 0;  // no markers with more points than pixels
        for (int y = -3; y <= 3; ++y)
            for (int x = 0; x < 8; ++x)
                strayDots += Near(ReadAt(window, static_cast<int>(cx) + 80 + x, static_cast<int>(cy + ch - 60) + y), 0, 220, 0);
        EXPECT_EQ(strayDots, 0);
        platform::SwapBuffers(window->hdc);

        // Texts in the font's lists: the exponent label of yTo = 250000 at the window's
        // left edge, the title above the chart; none once the value needs no exponent.
        ASSERT_NE(window->font, nullptr);
        HistogramChart labelled;
        ASSERT_NE(labelled.Create(window, {60, 200, 200, 60}, window->font, nullptr), nullptr);
        labelled.yTo = 250000;
        labelled.mode = 701;
        ASSERT_EQ(labelled.Compile(), 1);
        auto inkIn = [&](int x0, int x1, int y0, int y1) {
            int n = 0;
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) n += Near(ReadAt(window, x, y), 26, 56, 77);
            return n;
        };
        ASSERT_TRUE(gWinMakeCurrent(window));
        gWinPaint(window);
        EXPECT_GT(inkIn(2, 50, 186, 201), 10);     // "E+005"
        EXPECT_GT(inkIn(60, 140, 182, 197), 10);   // "Histogram"
        EXPECT_GT(inkIn(20, 58, 205, 220), 5);     // "2.5"
        platform::SwapBuffers(window->hdc);
        labelled.yTo = 5;
        ASSERT_EQ(labelled.Compile(), 1);
        ASSERT_TRUE(gWinMakeCurrent(window));
        gWinPaint(window);
        EXPECT_EQ(inkIn(2, 50, 186, 201), 0);
        platform::SwapBuffers(window->hdc);

        ASSERT_EQ(chart.Reset(), 1);
        EXPECT_EQ(series.refs, 0);
        EXPECT_EQ(chart.source, nullptr);
        EXPECT_EQ(chart.Reset(), 0);  // nothing bound
    }
    // The chart is gone: the widget no longer points at it.
    gUiCloseQuiet(nullptr);
    gMessageLoop(0);
    gShutdown();
}

TEST(HistogramChartGlTest, WindowCloseDetaches) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no display";
    ReadyGuard ready(true);
    ASSERT_NE(gInit(), nullptr);
    gWindow* window = gWinCreateRec(30, 30, 200, 150, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(gWinOpen(window, "Chart", kStyleShown));
    Pump();
    // The statistics tables in a two-column list control.
    const float widths[2] = {90, 100};
    ListCtrlLayout layout;
    layout.x = 20;
    layout.y = 40;
    layout.width = 190;
    layout.height = 100;
    layout.columnCount = 2;
    layout.columnWidths = widths;
    gElement* listWidget = ListCtrl::Create(window, nullptr, 0, &layout, 0, false, window->font);
    ASSERT_NE(listWidget, nullptr);
    ListCtrl* list = ListCtrl::FromWidget(listWidget);
    ASSERT_NE(list, nullptr);
    ListStatPanel panel(list);
    ChartSummary summary;
    summary.count = 3;
    summary.maximum = 4;
    summary.minimum = 1;
    summary.mean = 2;
    summary.rms = -DBL_MAX;
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
    EXPECT_EQ(chart.widget, nullptr);
    EXPECT_EQ(chart.gridList, 0u);
    EXPECT_EQ(series.refs, 0);
    gShutdown();
}

}  // namespace
}  // namespace orva
