#include "toolkit/histogram_chart.h"

#include <GL/gl.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/number_text.h"
#include "toolkit/font.h"
#include "toolkit/list_control.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"

namespace orva {

// U+00B2 SUPERSCRIPT TWO in UTF-8, which the fonts draw as one character.
const char kStatLabelX2[] = "X \xC2\xB2 :";
const char kStatLabelY2[] = "Y \xC2\xB2 :";
const char kStatLabelXY2[] = "XY \xC2\xB2 :";

namespace {

// A value the statistics mark as missing: ±DBL_MAX, infinities and NaN.
bool Unavailable(double v) { return !std::isfinite(v) || v == DBL_MAX || v == -DBL_MAX; }

const char* const kShortLabels[kStatShortRows] = {"Count:", "Flux:", "Max:",  "Min:", "Range:",
                                                  "Mean:",  "RMS:",  "Disp:", "Var:"};
constexpr const char* kFullLabels[kStatFullRows] = {
    "Count:",  "Interval:", "Bkgr:",      "Flux:",       "Flux-FBkgr:", "Max:",    "Min:",
    "Range:",  "Mean:",     "Median:",    "Mode:",       "Bkgr Thrsh:", "RMS",     "Disp:",
    "RVar:",   "RMS Bkgr:", "Skew:",      "Kurt:",       "Xcen:",       "Ycen:",   kStatLabelX2,
    kStatLabelY2, kStatLabelXY2, "X Skew:", "Y Skew:",   "FWHM:",       "Radius:", "GausPrb:"};
// The region table has no interval: the full table's labels from the third on, after Count.
constexpr const char* kRegionLabels[kStatRegionRows] = {
    kFullLabels[0],  kFullLabels[2],  kFullLabels[3],  kFullLabels[4],  kFullLabels[5],  kFullLabels[6],
    kFullLabels[7],  kFullLabels[8],  kFullLabels[9],  kFullLabels[10], kFullLabels[11], kFullLabels[12],
    kFullLabels[13], kFullLabels[14], kFullLabels[15], kFullLabels[16], kFullLabels[17], kFullLabels[18],
    kFullLabels[19], kFullLabels[20], kFullLabels[21], kFullLabels[22], kFullLabels[23], kFullLabels[24],
    kFullLabels[25], kFullLabels[26], kFullLabels[27]};
const StatListDescriptor kShortDesc = {kStatShortKind, kStatShortRows, kShortLabels};
const StatListDescriptor kRegionDesc = {kStatRegionKind, kStatRegionRows, kRegionLabels};
const StatListDescriptor kFullDesc = {kStatFullKind, kStatFullRows, kFullLabels};

// A number in the value column (14 digits, 2 decimals); a missing value clears it.
void WriteNumber(StatPanel* panel, int32_t row, double v) {
    if (Unavailable(v)) {
        panel->ClearValue(row);
        return;
    }
    char text[64];
    FormatDoubleDigits(14, 2, v, text);
    panel->SetValue(row, text);
}

void WriteCount(StatPanel* panel, int32_t row, uint32_t n) {
    char text[11];  // ten digits at most
    BoundedPrintf(text, sizeof text, "%u", n);
    panel->SetValue(row, text);
}

// The current text colour and lists of a chart's font (bitmap lists).
void DrawText(const gFont*, float x, float y, const char* text) {
    size_t n = std::strlen(text);
    if (n == 0) return;
    glRasterPos2f(x, y);
    glCallLists(static_cast<GLsizei>(n), GL_UNSIGNED_BYTE, text);
}

float TextWidth(const gFont* font, const char* text) { return gFontTextWidth(font, text); }

}  // namespace

const StatListDescriptor* StatLabelsTable() { return &kShortDesc; }
const StatListDescriptor* StatRegionTable() { return &kRegionDesc; }
const StatListDescriptor* StatListDesc() { return &kFullDesc; }

int ChartAxisText(double value, char* text, char* exponent) {
    exponent[0] = '\0';
    if (!std::isfinite(value)) {
        std::strcpy(text, "ERR");
        return 0;
    }
    double magnitude = std::fabs(value);
    int e = 0;
    if (magnitude > 99999.0 || (magnitude != 0.0 && magnitude < 1.0)) {
        e = static_cast<int>(std::floor(std::log10(magnitude)));
        // log10 of a value just under a power of ten may round up to it.
        if (std::pow(10.0, e) > magnitude) --e;
        else if (std::pow(10.0, e + 1) <= magnitude) ++e;
    }
    double shown = e == 0 ? value : value / std::pow(10.0, e);
    if (e != 0) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%03d", e);
        int n = std::snprintf(exponent, 16, "E%s%s", e >= 0 ? "+" : "", digits);
        if (n > 5) std::strcpy(exponent, "ERR");
    }
    char buffer[16];
    FormatDoubleFit(5, buffer, shown, nullptr);
    std::snprintf(text, 16, "%s", buffer);
    return e;
}

const char* ChartModeTitle(int32_t mode) {
    switch (mode) {
        case kChartModeAll: return "Histogram / Distribution / Series";
        case kChartModeSlice: return "Slice";
        case kChartModeHistogram: return "Histogram";
        case kChartModeDistribution: return "Distribution";
        case kChartModeSeries: return "Series";
        default: return "Data";
    }
}

// ---- The chart -------------------------------------------------------------------------

HistogramChart::~HistogramChart() { Forget(); }

void HistogramChart::ReleaseSource() {
    if (source != nullptr) {
        ChartSeries* s = source;
        source = nullptr;
        s->Release();
    }
}

void HistogramChart::ResetRanges() {
    xFrom = 0.0;
    xTo = 1.0;
    yFrom = 0.0;
    yTo = 1.0;
}

void HistogramChart::Forget() {
    ReleaseSource();
    gElement* e = widget;
    if (e == nullptr) return;
    widget = nullptr;
    e->shown = 0;
    gWindow* window = e->window;
    if ((dataList != 0 || gridList != 0) && window != nullptr && gWinValidate(window) != nullptr &&
        window->hglrc != nullptr && gWinMakeCurrent(window)) {
        if (dataList != 0) glDeleteLists(dataList, 1);
        if (gridList != 0) glDeleteLists(gridList, 1);
    }
    dataList = gridList = 0;
    e->handlerData = 0;
    e->onDestroy = nullptr;
    e->destroyArmed = 0;
    owner = nullptr;
}

void HistogramChart::Detach(gElement* e) {
    auto* chart = reinterpret_cast<HistogramChart*>(e->handlerData);
    if (chart != nullptr && chart->widget == e) chart->Forget();
}

gElement* HistogramChart::Create(gWindow* window, const ChartRect& rect, gFont* font, void* ownerObject) {
    if (!gUiReady() || window == nullptr) return nullptr;
    if (widget != nullptr) Forget();  // a chart shows in one widget at a time
    width = rect.width != 0 ? rect.width : 10.0f;
    height = rect.height != 0 ? rect.height : 10.0f;
    WidgetDesc desc;
    desc.kind = kHistogramChartKind;
    desc.style = kWsNoPlace;  // placed by its rectangle, never by a group
    desc.width = desc.cellWidth = width;
    desc.height = desc.cellHeight = height;
    desc.offsetX = rect.x;
    desc.offsetY = rect.y;
    desc.paint = Paint;
    desc.state[0] = 0x30200800u;
    desc.onDestroy = Detach;
    gElement* e = gWgtCreate(window, nullptr, nullptr, &desc, kWsTopLevel);
    if (e == nullptr) return nullptr;
    widget = e;
    owner = ownerObject;
    e->handlerData = reinterpret_cast<uintptr_t>(this);
    if (font != nullptr) gWgtSetFont(e, font);
    ReleaseSource();
    ResetRanges();
    Compile();
    return e;
}

int HistogramChart::Attach(ChartSeries* series, const ChartSummary* summaryRecord) {
    if (!gUiReady()) return 0;
    if (series != nullptr) series->AddRef();
    ReleaseSource();
    source = series;
    if (series == nullptr) {
        ResetRanges();
        summary = nullptr;
    } else {
        summary = summaryRecord != nullptr && summaryRecord->valid != 0 ? summaryRecord : nullptr;
    }
    Compile();
    return 1;
}

int HistogramChart::Reset() {
    if (!gUiReady() || source == nullptr) return 0;
    ResetRanges();
    mode = 0;
    marker = 0;
    summary = nullptr;
    ReleaseSource();
    Compile();
    return 1;
}

int HistogramChart::Compile() {
    if (!gUiReady() || widget == nullptr) return 0;
    gWindow* window = widget->window;
    // Without the window's own context nothing may be compiled: a stale picture is
    // hidden rather than shown.
    if (window == nullptr || !gWinMakeCurrent(window)) {
        widget->shown = 0;
        if (window != nullptr) window->dirty = 7;
        return 0;
    }
    if (gridList == 0) {
        gridList = glGenLists(1);
        if (gridList != 0) CompileGrid();
    }
    if (dataList == 0) dataList = glGenLists(1);
    if (dataList == 0 && gridList == 0) {
        widget->shown = 0;
        window->dirty = 7;
        return 0;
    }
    if (dataList != 0) CompileData();
    widget->shown = 1;
    window->dirty = 7;
    return 1;
}

void HistogramChart::CompileGrid() {
    float w = width, h = height;
    glNewList(gridList, GL_COMPILE);
    glColor3f(0.75f, 0.8f, 0.84f);
    glLineStipple(1, 0xCCCC);
    glEnable(GL_LINE_STIPPLE);
    glBegin(GL_LINES);
    for (int i = 0; i < 10 && 0.1f * h * i < h; ++i) {
        float y = 0.1f * h * i;
        glVertex2f(0, y);
        glVertex2f(w, y);
    }
    glVertex2f(0, h);
    glVertex2f(w, h);
    for (int i = 0; i < 10 && 0.1f * w * i < w; ++i) {
        float x = 0.1f * w * i;
        glVertex2f(x, 0);
        glVertex2f(x, h);
    }
    glVertex2f(w, 0);
    glVertex2f(w, h);
    glEnd();
    glDisable(GL_LINE_STIPPLE);
    glEndList();
}

void HistogramChart::CompileData() {
    const float w = width, h = height;
    glNewList(dataList, GL_COMPILE);
    const gFont* font = widget->font;
    if (font != nullptr && font->listBase != 0) {
        glColor3f(0.1f, 0.22f, 0.3f);
        glPushAttrib(GL_LIST_BIT);
        glListBase(font->listBase);
        const float f = gFontLineHeight(font);
        const float windowLeft = -widget->x;
        char text[16], exponent[16];
        // Axis values.
        ChartAxisText(yTo, text, exponent);
        if (exponent[0] != '\0') DrawText(font, windowLeft + 2, 0, exponent);
        DrawText(font, -2 - TextWidth(font, text), f + 3, text);
        bool drewYFrom = !(yFrom == 0.0 && xFrom == 0.0);
        if (drewYFrom) {
            ChartAxisText(yFrom, text, exponent);
            if (exponent[0] != '\0') DrawText(font, windowLeft + 2, h - 5 - f, exponent);
            DrawText(font, -2 - TextWidth(font, text), h - 2, text);
        }
        FormatDoubleFit(5, text, xFrom, nullptr);
        DrawText(font, drewYFrom ? 1.0f : -4.0f, h + f + 2, text);
        FormatDoubleFit(5, text, xTo, nullptr);
        DrawText(font, w - TextWidth(font, text), h + f + 2, text);
        // Summary line.
        if (summary != nullptr) {
            float y = h + 2 * f + 6;
            bool meanOk = !Unavailable(summary->mean);
            if (meanOk) {
                DrawText(font, -30, y, "Mean");
                DrawText(font, -4, y, FormatDoubleFit(5, text, summary->mean, nullptr));
            }
            if (!Unavailable(summary->rms)) {
                DrawText(font, 56, y, "RMS");
                DrawText(font, 81, y, FormatDoubleFit(summary->rms <= 100 ? 3 : 5, text, summary->rms, nullptr));
            }
            if (meanOk && !Unavailable(summary->flux)) {
                DrawText(font, 141, y, "Flux");
                DrawText(font, 165, y, FormatDoubleFit(5, text, summary->flux, nullptr));
            }
        }
        // Channel counter and title.
        float titleX = 0;
        if (source != nullptr && source->channels > 1) {
            char counter[32];
            std::snprintf(counter, sizeof counter, "Ch. %u:%u", source->current + 1, source->channels);
            DrawText(font, 0, -4, counter);
            titleX = TextWidth(font, counter) + 10;
        }
        DrawText(font, titleX, -4, ChartModeTitle(mode));
        glPopAttrib();
    }

    const ChartSeries* s = source;
    if (s != nullptr && !s->hidden && s->points > 0 && s->values != nullptr && s->current < s->channels) {
        const GLdouble planes[4][4] = {{1, 0, 0, 0}, {-1, 0, 0, w}, {0, 1, 0, 0}, {0, -1, 0, h}};
        for (int i = 0; i < 4; ++i) {
            glClipPlane(GL_CLIP_PLANE0 + i, planes[i]);
            glEnable(GL_CLIP_PLANE0 + i);
        }
        glPushMatrix();
        glTranslatef(0, h, 0);
        glRotatef(180, 1, 0, 0);
        if (marker > 0 && marker < w) {
            glColor3f(0.9f, 0.7f, 0.7f);
            glBegin(GL_LINES);
            glVertex2f(marker, 0);
            glVertex2f(marker, h);
            glEnd();
        }
        glPointSize(3);
        glPushMatrix();
        if (s->offset != 0) glTranslated(0, s->offset, 0);
        const uint32_t n = s->points;
        const double step = static_cast<double>(w) / n;
        glScaled(step, s->scale, 1);
        const double* v = s->values + static_cast<size_t>(s->current) * n;
        const ChartColours& table = (s->flags & kSeriesSecondColours) && s->curve[1].rgb != nullptr ? s->curve[1]
                                                                                                      : s->curve[0];
        uint32_t channelIndex = s->channels > 1 ? s->current : 0;
        if (table.rgb != nullptr && table.count > 0) {
            const uint8_t* c = table.rgb + 3 * (channelIndex % table.count);
            glColor3ub(c[0], c[1], c[2]);
        } else {
            glColor3f(0, 0, 0);
        }
        if (step <= 0.5) {
            glBegin(GL_LINE_STRIP);
            glVertex2d(0, v[0]);
            glVertex2d(1, v[0]);
            for (uint32_t i = 1; i < n; ++i) glVertex2d(i, v[i]);
            glEnd();
        } else {
            glBegin(GL_LINES);
            for (uint32_t i = 0; i < n; ++i) {
                glVertex2d(i, v[i]);
                glVertex2d(i + 1.0, v[i]);
                if (i + 1 < n) {
                    glVertex2d(i + 1.0, v[i]);
                    glVertex2d(i + 1.0, v[i + 1]);
                }
            }
            glEnd();
        }
        if ((s->flags & kSeriesPointMarkers) && step > 1) {
            if (s->markers.rgb != nullptr && s->markers.count > 0) {
                const uint8_t* c = s->markers.rgb + 3 * (channelIndex % s->markers.count);
                glColor3ub(c[0], c[1], c[2]);
            }
            glBegin(GL_POINTS);
            for (uint32_t i = 0; i < n; ++i) glVertex2d(i + 0.5, v[i]);
            glEnd();
        }
        glPopMatrix();
        glPopMatrix();
        glPointSize(1);
        for (int i = 0; i < 4; ++i) glDisable(GL_CLIP_PLANE0 + i);
    }
    glEndList();
}

void HistogramChart::Paint(gElement* e) {
    auto* chart = reinterpret_cast<HistogramChart*>(e->handlerData);
    gWindow* window = e->window;
    if (window == nullptr) return;
    bool picking = gIsPicking();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    if (!picking) glLoadIdentity();
    glOrtho(0, window->clientWidth, window->clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(e->x, e->y, 0);
    if (picking) {
        gPickRect(0, 0, e->cellWidth, e->cellHeight);
    } else if (chart != nullptr && chart->widget == e) {
        if (chart->gridList != 0) glCallList(chart->gridList);
        if (chart->dataList != 0) glCallList(chart->dataList);
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// ---- Statistics tables ------------------------------------------------------------------

int HistogramChart::FillShort(StatPanel* panel, const ChartSummary* s) {
    if (!gUiReady() || panel == nullptr || s == nullptr || panel->RowCount() < kStatShortRows) return 0;
    const bool meanOk = !Unavailable(s->mean);
    const bool rmsOk = !Unavailable(s->rms);
    WriteCount(panel, 0, s->count);
    if (meanOk) WriteNumber(panel, 1, s->flux); else panel->ClearValue(1);
    WriteNumber(panel, 2, s->maximum);
    WriteNumber(panel, 3, s->minimum);
    if (Unavailable(s->maximum) || Unavailable(s->minimum)) panel->ClearValue(4);
    else WriteNumber(panel, 4, s->maximum - s->minimum);
    if (meanOk) WriteNumber(panel, 5, s->mean); else panel->ClearValue(5);
    if (!rmsOk) {
        for (int32_t row = 6; row <= 8; ++row) panel->ClearValue(row);
        panel->Done();
        return 1;
    }
    WriteNumber(panel, 6, s->rms);
    WriteNumber(panel, 7, s->rms * s->rms);
    if (!meanOk || (s->mean == 0 && s->rms != 0)) panel->ClearValue(8);
    else WriteNumber(panel, 8, s->rms == 0 ? 0.0 : s->rms / std::fabs(s->mean));
    panel->Done();
    return 1;
}

namespace {
// The rows of the full table from Count on; `interval` (the full table's second row) is
// left out when null, and every later row moves up by one.
void FillStatisticRows(StatPanel* panel, const double* interval, const StatisticsRecord* s) {
    const int32_t shift = interval != nullptr ? 0 : -1;
    auto number = [&](int32_t row, double v) { WriteNumber(panel, row + shift, v); };
    auto clear = [&](int32_t row) { panel->ClearValue(row + shift); };
    const bool background = s->backgroundOn != 0;
    WriteCount(panel, 0, s->count);
    if (interval != nullptr) WriteNumber(panel, 1, *interval);
    if (background) number(2, s->background); else clear(2);
    number(3, s->flux);
    number(4, background ? s->flux - static_cast<double>(s->count) * s->background : s->flux);
    const double plain[] = {s->maximum, s->minimum, s->range, s->mean, s->median, s->mode,
                            s->backgroundThreshold, s->rms, s->dispersion, s->relativeVariance};
    for (int32_t i = 0; i < 10; ++i) number(5 + i, plain[i]);
    if (background) number(15, s->backgroundRms); else clear(15);
    number(16, s->skewness);
    number(17, s->kurtosis);
    const double moments[] = {s->xCentre, s->yCentre, s->x2, s->y2, s->xy2, s->xSkew, s->ySkew};
    const bool centred = s->xCentre >= 0 && s->yCentre >= 0;
    for (int32_t i = 0; i < 7; ++i) {
        if (centred) number(18 + i, moments[i]); else clear(18 + i);
    }
    number(25, s->fwhm);
    number(26, s->radius);
    if (s->gaussPercent == 0) {
        panel->SetValue(27 + shift, "missing");
    } else {
        char text[16];
        BoundedPrintf(text, sizeof text, "%d%%", s->gaussPercent);
        panel->SetValue(27 + shift, text);
    }
    panel->Done();
}
}  // namespace

int HistogramChart::FillStatistics(StatPanel* panel, double interval, const StatisticsRecord* s) {
    if (!gUiReady() || panel == nullptr || s == nullptr || panel->RowCount() < kStatFullRows) return 0;
    FillStatisticRows(panel, &interval, s);
    return 1;
}

int HistogramChart::FillRegion(StatPanel* panel, const StatisticsRecord* s) {
    if (!gUiReady() || panel == nullptr || s == nullptr || panel->RowCount() < kStatRegionRows) return 0;
    FillStatisticRows(panel, nullptr, s);
    return 1;
}

// ---- The list control as a statistics panel ---------------------------------------------

namespace {
TextCell* ValueCell(ListCtrl* list, int32_t row) {
    if (list == nullptr || row < 0 || row >= list->rowCount || static_cast<size_t>(row) >= list->rows.size()) {
        return nullptr;
    }
    ListRow& r = list->rows[static_cast<size_t>(row)];
    if (r.cellCount < 2 || r.cells.size() < 2) return nullptr;
    return &r.cells[1];
}
}  // namespace

int32_t ListStatPanel::RowCount() const {
    return list_ != nullptr && list_->columnCount >= 2 ? list_->rowCount : 0;
}

void ListStatPanel::SetValue(int32_t row, const char* text) {
    if (TextCell* cell = ValueCell(list_, row)) cell->text.assign(text != nullptr ? text : "");
}

void ListStatPanel::ClearValue(int32_t row) {
    if (TextCell* cell = ValueCell(list_, row)) {
        cell->text.clear();
        cell->state = 0;
    }
}

void ListStatPanel::Done() {
    if (list_ == nullptr) return;
    ListCtrl::LayoutCells(list_);
    ListCtrl::LayoutRows(list_);
    if (list_->widget != nullptr && list_->widget->window != nullptr) list_->widget->window->dirty = 7;
}

bool ListStatPanel::LoadLabels(ListCtrl* list, const StatListDescriptor* table) {
    if (!gUiReady() || list == nullptr || table == nullptr) return false;
    return ListCtrl::FillRows(list, 0, table->labels, table->rows);
}

}  // namespace orva
