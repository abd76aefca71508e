// The chart's drawing: the cursor area, the zero line and, for every curve, its marked
// sample intervals, the curve and its points.
#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <mutex>

#include "app/chart_device.h"
#include "app/chart_window.h"
#include "app/message_dialog.h"
#include "framework/display_lock.h"

namespace orva {

namespace {

// Curve values are kept within this many plot heights outside the plot.
constexpr double kClampHeights = 4.0;
// The colour of the plot right of the cursor, as a chart colour word (0.9 grey).
constexpr uint32_t kCursorAreaColour = 0x04727272;

void SetColour(uint32_t c) {
    glColor3ub(static_cast<GLubyte>(c & 0xFF), static_cast<GLubyte>((c >> 8) & 0xFF),
               static_cast<GLubyte>((c >> 16) & 0xFF));
}

uint32_t TableEntry(const uint32_t* table, uint32_t count, uint32_t index, uint32_t fallback) {
    return table != nullptr && count != 0 ? table[index % count] : fallback;
}

// The normalised values whose pixels lie within a few plot heights of the plot, for a
// curve drawn at pixel shift + value x scale.
void ClampRange(Chart1DDevice* d, double origin, double height) {
    const double lo = -kClampHeights * height - origin - d->yShift;
    const double hi = (kClampHeights + 1.0) * height - origin - d->yShift;
    if (d->yScale > 0.0 && std::isfinite(d->yScale)) {
        d->style.clampLow = lo / d->yScale;
        d->style.clampHigh = hi / d->yScale;
    } else {
        d->style.clampLow = d->style.clampHigh = 0.0;
    }
}

void DrawMarks(const ChartWindow* chart, const Chart1DDevice* d) {
    if (d->marks.empty()) return;
    const int64_t first = chart->scroll;
    const int64_t width = chart->visible;
    const bool rowsBlend = d->rows > 1;
    if (rowsBlend) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA_SATURATE, GL_SRC_COLOR);
    } else {
        SetColour(d->style.bandColour);
    }
    uint32_t entry = 0;
    for (const auto& [markStart, markEnd] : d->marks) {
        int64_t a = static_cast<int64_t>(markStart) - first;
        int64_t b = static_cast<int64_t>(markEnd) - first;
        if (b < 0 || a > width) continue;
        a = std::max<int64_t>(a, 0);
        b = std::min<int64_t>(b, width);
        if (rowsBlend) SetColour(TableEntry(d->style.colours.paler, d->style.colours.count, entry++, d->style.bandColour));
        glRectd(static_cast<double>(a), -0.1, static_cast<double>(b), 1.1);
    }
    if (rowsBlend) glDisable(GL_BLEND);
}

}  // namespace

namespace {

// The points of a row. With `merge`, samples that fall on the same pixel (odd point
// sizes without smoothing put a point's square on the pixel that holds it) are drawn
// once: many samples a pixel then cost no more than the pixels they cover.
void DrawPoints(const Chart1DDevice* d, const double* samples, uint32_t first, uint32_t count, bool merge) {
    const CurveStyle& s = d->style;
    const double x0 = s.xStart;
    const ChartWindow* chart = d->Chart();
    merge = merge && chart != nullptr && chart->samplesPerPixel >= 2.0;
    const double pps = chart != nullptr ? chart->pixelsPerSample : 1.0;
    const double left = chart != nullptr ? chart->plotLeft + chart->offsetX + 1.5 : 0.0;
    const double bottom = chart != nullptr ? chart->plotTop + chart->offsetY + chart->plotHeight + 1.5 - chart->yOrigin - d->yShift : 0.0;
    int64_t column = INT64_MIN;
    int64_t rows[64];
    int used = 0;
    glBegin(GL_POINTS);
    for (uint32_t k = 0; k < count; ++k) {
        double v = samples[first + k];
        if (!(v >= s.clampLow)) v = s.clampLow;
        if (v > s.clampHigh) v = s.clampHigh;
        if (merge) {
            const int64_t c = static_cast<int64_t>(std::floor(left + (x0 + k) * pps));
            const int64_t r = static_cast<int64_t>(std::floor(bottom - v * d->yScale));
            if (c != column) {
                column = c;
                used = 0;
            }
            bool seen = false;
            for (int i = 0; i < used && !seen; ++i) seen = rows[i] == r;
            if (seen) continue;
            if (used < 64) rows[used++] = r;
        }
        glVertex2d(x0 + k, v);
    }
    glEnd();
}

}  // namespace

void ChartDrawPoints(const Chart1DDevice* d, const double* samples, uint32_t first, uint32_t count) {
    if (d == nullptr || samples == nullptr) return;
    DrawPoints(d, samples, first, count, false);
}

void ChartDraw(GraphicsWindow* gw) {
    auto* chart = dynamic_cast<ChartWindow*>(gw);
    if (chart == nullptr || !OnUiThread()) return;
    // Deliveries on the playback thread change the curves under the display lock.
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    if (chart->scalesStale != 0) {
        // The scales may have been painted already: the next paint shows them.
        chart->PlaceSliders();
        GraphicsHost* host = chart->Host();
        if (host != nullptr && host->window != nullptr) host->window->dirty = kWindowDirtyRepaint;
    }
    const double w = chart->plotWidth, h = chart->plotHeight;
    const double c = chart->cursorPixel;
    glPushMatrix();
    glTranslated(chart->plotLeft + chart->offsetX, chart->plotTop + chart->offsetY, 0.0);
    glDisable(GL_BLEND);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POINT_SMOOTH);
    // 1. The cursor: the plot right of it grey, a dashed line on it.
    const bool cursorOn = chart->CursorOn() && c <= w - 1.0;
    if (cursorOn && c + 2.0 < w) {
        glColor3f(0.9f, 0.9f, 0.9f);
        glRectd(c + 2.0, 0.0, w, h);
    }
    // The image strip lies under the curves, at their height.
    if (const Chart1DDevice* current = chart->Device(); current != nullptr && current->HoldsSamples())
        chart->DrawStrip();
    if (cursorOn) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0xCCCC);
        glColor3f(0.3f, 0.3f, 0.3f);
        glBegin(GL_LINES);
        glVertex2d(c + 1.0, 0.0);
        glVertex2d(c + 1.0, h);
        glEnd();
        glDisable(GL_LINE_STIPPLE);
    }
    // 2. y grows upwards from the bottom edge.
    glTranslated(0.0, h + 1.5, 0.0);
    glRotated(180.0, 1.0, 0.0, 0.0);
    // 3. The zero line.
    const double z = chart->zeroPixel;
    if (z > 0.0 && z <= h) {
        glColor3f(0.9f, 0.7f, 0.7f);
        glRectd(0.0, z, w, z + 1.0);
    }
    // 4. The curves, in list order.
    glTranslated(1.5, chart->yOrigin, 0.0);
    const uint32_t background = cursorOn ? kCursorAreaColour : chart->colours;
    for (DeviceViewBase* base = chart->latest; base != nullptr; base = base->older) {
        auto* d = dynamic_cast<Chart1DDevice*>(base);
        if (d == nullptr || d->stop[kDevicePendingByte] != 0 || d->stop[kDeviceHiddenByte] != 0 || !d->HoldsSamples())
            continue;
        CurveStyle& style = d->style;
        if (style.data.cachedFrame == nullptr) continue;
        // The contrast colours follow what lies under the curve.
        if (d->styledFor != background) {
            const uint32_t keepFlags = style.flags;
            CurveStyleContrast(&style, background);
            style.flags = keepFlags;
            d->styledFor = background;
        }
        ClampRange(d, chart->yOrigin, h);
        glPushMatrix();
        if (d->yShift != 0.0) glTranslated(0.0, d->yShift, 0.0);
        glScaled(chart->pixelsPerSample, d->yScale, 1.0);
        DrawMarks(chart, d);
        const uint32_t first = static_cast<uint32_t>(std::max(chart->scroll, 0));
        // The curve.
        float width = d->lineWidth;
        const bool smoothLines = (style.flags & kCurveSmoothLines) != 0;
        if (smoothLines) {
            glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
            glEnable(GL_BLEND);
            glEnable(GL_LINE_SMOOTH);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            width += 0.2f;
        }
        glLineWidth(width);
        // Lines of whole widths through many samples a pixel are drawn by the pixel
        // columns' extremes; smoothed lines take every sample.
        const double perPixel = chart->samplesPerPixel;
        style.groupSamples = !smoothLines && perPixel >= 2.0 && width == std::floor(width)
                                 ? static_cast<uint32_t>(std::min(perPixel, 1048576.0))
                                 : 0;
        CurveStyleDraw(&style, first);
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_BLEND);
        glHint(GL_LINE_SMOOTH_HINT, GL_FASTEST);
        // The points of the current row.
        if ((style.flags & kCurvePoints) != 0) {
            const uint32_t rows = std::max<uint32_t>(style.data.count, 1);
            const uint32_t row = std::min(style.currentRow, rows - 1);
            SetColour(rows <= 1 ? style.pointColour
                                : TableEntry(style.colours.dark, style.colours.count, row, style.pointColour));
            float size = d->pointSize;
            if ((style.flags & kCurveContrast) != 0 && size <= d->lineWidth) size = d->lineWidth + 2.0f;
            if (size > 0.0f) {
                const bool smoothPoints = (style.flags & kCurveSmoothPoints) != 0 && size >= 3.0f;
                if (smoothPoints) {
                    size += 0.3f;
                    glEnable(GL_POINT_SMOOTH);
                    glEnable(GL_BLEND);
                    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                }
                glPointSize(size);
                const auto* samples = static_cast<const double*>(style.data.cachedFrame);
                const uint32_t count = style.data.sampleCount;
                if (first < count) {
                    const uint32_t shown = std::min(style.visibleCount != 0 ? style.visibleCount : count - first, count - first);
                    const bool odd = !smoothPoints && size == std::floor(size) && std::fmod(size, 2.0f) == 1.0f;
                    DrawPoints(d, samples + static_cast<uint64_t>(row) * style.rowStride, first, shown, odd);
                }
                glDisable(GL_POINT_SMOOTH);
                glDisable(GL_BLEND);
            }
        }
        glPopMatrix();
    }
    // 5.
    glLineWidth(1.0f);
    glPointSize(1.0f);
    glPopMatrix();
}

}  // namespace orva
