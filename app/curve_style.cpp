#include "app/curve_style.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "data/curve_plot.h"

namespace orva {

namespace {

const double* Row(const CurveStyle* s, uint32_t row) {
    const auto* samples = static_cast<const double*>(s->data.cachedFrame);
    if (samples == nullptr) return nullptr;
    const uint32_t stride = s->rowStride != 0 ? s->rowStride : s->data.sampleCount;
    return samples + static_cast<size_t>(row) * stride;
}

uint32_t Rows(const CurveStyle* s) { return s->data.count; }

// Fills the four results with one value per row taken by `pick`.
template <typename Pick>
void FillLookup(const CurveStyle* s, CurveLookup* out, Pick pick) {
    *out = CurveLookup{};
    const uint32_t rows = Rows(s);
    if (rows == 0 || s->data.sampleCount == 0 || s->data.cachedFrame == nullptr) return;
    for (uint32_t k = 0; k < 3; ++k) {
        const uint64_t r = static_cast<uint64_t>(s->firstRow) + k;
        if (r < rows) out->values[k] = pick(Row(s, static_cast<uint32_t>(r)));
        else out->values[k] = k > 0 ? out->values[k - 1] : pick(Row(s, rows - 1));
    }
    out->current = pick(Row(s, std::min(s->currentRow, rows - 1)));
}

// ⌈x⌉ − 1 for x > 1, else 0 (the sample whose step covers x).
uint32_t SampleAt(double x, uint32_t count) {
    if (!(x > 1.0)) return 0;
    const double i = std::ceil(x) - 1.0;
    if (i >= static_cast<double>(count)) return count;
    return static_cast<uint32_t>(i);
}

// A value as the drawing routines hand it to GL.
double Drawn(const CurveStyle* s, double v) {
    if (!(v >= s->clampLow)) return s->clampLow;
    return v > s->clampHigh ? s->clampHigh : v;
}

void SetColour(uint32_t c) {
    glColor3ub(static_cast<GLubyte>(c & 0xFF), static_cast<GLubyte>((c >> 8) & 0xFF),
               static_cast<GLubyte>((c >> 16) & 0xFF));
}

struct Ycc {
    double y, cb, cr;
};

Ycc FromBackground(uint32_t background) {
    const double k = 2.007874;
    const double r = static_cast<double>(background & 0x7F) * k;
    const double g = static_cast<double>((background >> 8) & 0x7F) * k;
    const double b = static_cast<double>((background >> 16) & 0x7F) * k;
    return {0.299 * r + 0.587 * g + 0.114 * b, 0.5 * b - 0.33126 * g - 0.16874 * r + 128.0,
            0.5 * r - 0.41869 * g - 0.08131 * b + 128.0};
}

double Distance(const Ycc& a, double y, double cb, double cr) {
    return std::sqrt((a.cb - cb) * (a.cb - cb) + (a.cr - cr) * (a.cr - cr) + 4.0 * (a.y - y) * (a.y - y));
}

}  // namespace

void SetDefaultCurveColors(CurveColorSet* set) {
    if (set == nullptr) return;
    const uint32_t* tables[5] = {};
    uint32_t count = 0;
    GetCurveColourTables(tables, &count);
    set->bright = tables[0];
    set->count = count;
    set->pale = tables[1];
    set->paler = tables[2];
    set->dark = tables[3];
    set->darker = tables[4];
}

void CurveStyleInit(CurveStyle* s) {
    if (s == nullptr) return;
    s->xStart = 0.5f;
    s->flags = kCurveDefaultFlags;
    s->contrastColour = 0x000000;
    s->curveColour = 0xD2C8B4;
    s->bandColour = 0xDCDCFF;
    s->pointColour = 0x0000A0;
    SetDefaultCurveColors(&s->colours);
    CurveStyleSelect(s);
}

void CurveStyleContrast(CurveStyle* s, uint32_t background) {
    if (s == nullptr) return;
    SetDefaultCurveColors(&s->colours);
    const Ycc c = FromBackground(background);
    if (c.y >= 110.0) {
        s->contrastColour = 0x000000;
        s->curveColour = Distance(c, 195.16, 136.3748, 117.186905) <= 80.0 ? 0xB4C8D2 : 0xD2C8B4;
        s->bandColour = Distance(c, 230.465, 122.0941, 145.5) > 80.0 ? 0xDCDCFF : 0xFFDCDC;
    } else {
        s->contrastColour = 0xFFFFFF;
        s->curveColour = Distance(c, 95.16, 136.3748, 117.1869) <= 80.0 ? 0x50646E : 0x6E6450;
        s->bandColour = Distance(c, 130.465, 122.0941, 145.5) > 80.0 ? 0x78789B : 0x9B7878;
    }
    s->pointColour = 0xA0;
}

void CurveStyleSetFormat(CurveStyle* s, const DeviceFormatRequest& request) {
    if (s == nullptr) return;
    s->data.Reset();
    s->visibleCount = 0;
    s->data.format = kCurveDataFormat;
    s->data.elementClass = 8;
    const uint32_t rows = request.count == 0 ? 1 : std::min(request.count, kDeviceMaxCount);
    s->data.count = rows;
    s->currentRow = std::min(s->currentRow, rows - 1);
    s->firstRow = rows <= 3 ? 0 : std::min(s->firstRow, rows - 3);
}

bool CurveStyleSelect(CurveStyle* s) {
    if (s == nullptr) return false;
    const CurveDrawFn before = s->draw;
    s->draw = (s->flags & (kCurveStep | kCurveNearest)) != 0 ? &CurveDrawSteps : &CurveDrawLines;
    s->lookup = (s->flags & kCurveNearest) != 0 ? &CurveLookupNearest : &CurveLookupInterpolate;
    return s->draw != before;
}

bool SetNearest(CurveStyle* s, bool on) {
    if (s == nullptr) return false;
    if (on) s->flags |= kCurveNearest;
    else s->flags &= ~kCurveNearest;
    return CurveStyleSelect(s);
}

void CurveStyleDraw(const CurveStyle* s, uint32_t firstSample) {
    if (s == nullptr || s->draw == nullptr || s->data.cachedFrame == nullptr) return;
    const bool contrast = (s->flags & kCurveContrast) != 0;
    const uint32_t rows = Rows(s);
    if (rows <= 1) {
        SetColour(contrast ? s->contrastColour : s->curveColour);
        s->draw(s, 0, firstSample);
        return;
    }
    const uint32_t* table = contrast ? s->colours.bright : s->colours.pale;
    const uint32_t n = s->colours.count;
    for (uint32_t r = 0; r < rows; ++r) {
        if (table != nullptr && n != 0) SetColour(table[r % n]);
        s->draw(s, r, firstSample);
    }
}

void CurveStyleReleaseImage(CurveStyle* s) {
    if (s == nullptr) return;
    s->data.Reset();
    s->visibleCount = 0;
}

void CurveLookupNearest(const CurveStyle* s, double x, CurveLookup* out) {
    if (s == nullptr || out == nullptr) return;
    const uint32_t count = s->data.sampleCount;
    const uint32_t i = count == 0 ? 0 : std::min(SampleAt(x, count), count - 1);
    FillLookup(s, out, [i](const double* row) { return row[i]; });
}

void CurveLookupInterpolate(const CurveStyle* s, double x, CurveLookup* out) {
    if (s == nullptr || out == nullptr) return;
    const uint32_t count = s->data.sampleCount;
    const double p = x - static_cast<double>(s->xStart);
    if (!(p > 0.0)) {
        FillLookup(s, out, [](const double* row) { return row[0]; });
        return;
    }
    const uint32_t i = SampleAt(x, count);
    if (count == 0 || static_cast<uint64_t>(i) + 1 >= count) {
        const uint32_t last = count == 0 ? 0 : count - 1;
        FillLookup(s, out, [last](const double* row) { return row[last]; });
        return;
    }
    const double t = p - static_cast<double>(i);
    FillLookup(s, out, [i, t](const double* row) { return t == 0.0 ? row[i] : row[i] + (row[i + 1] - row[i]) * t; });
}

namespace {

// Many samples a pixel: the curve through each group's first sample, its lowest and its
// highest (in the order they come) and its last one, which covers the rows the whole
// polyline covers in the group's pixel column with a few vertices instead of every one.
void DrawEnvelope(const CurveStyle* s, const double* y, uint32_t visible, double x0, uint32_t group) {
    glBegin(GL_LINE_STRIP);
    for (uint32_t k = 0; k < visible; k += group) {
        const uint32_t end = std::min(visible, k + group);
        uint32_t low = k, high = k;
        for (uint32_t i = k + 1; i < end; ++i) {
            if (y[i] < y[low]) low = i;
            if (y[i] > y[high]) high = i;
        }
        const uint32_t a = std::min(low, high), b = std::max(low, high);
        glVertex2d(x0 + k, Drawn(s, y[k]));
        if (a != k) glVertex2d(x0 + a, Drawn(s, y[a]));
        if (b != a && b != k) glVertex2d(x0 + b, Drawn(s, y[b]));
        if (end - 1 != b && end - 1 != k) glVertex2d(x0 + (end - 1), Drawn(s, y[end - 1]));
    }
    glEnd();
}

}  // namespace

void CurveDrawLines(const CurveStyle* s, uint32_t row, uint32_t first) {
    const double* y = Row(s, row);
    const uint32_t count = s->data.sampleCount;
    if (y == nullptr || first >= count) return;
    const uint32_t visible = std::min(s->visibleCount != 0 ? s->visibleCount : count - first, count - first);
    const double x0 = s->xStart;
    if (s->groupSamples >= 2) {
        DrawEnvelope(s, y + first, visible, x0, s->groupSamples);
        return;
    }
    glBegin(GL_LINE_STRIP);
    if (first != 0) {
        glVertex2d(x0 - 1.0, Drawn(s, y[first - 1]));
    } else {
        glVertex2d(0.0, Drawn(s, y[0]));
    }
    for (uint32_t k = 0; k < visible; ++k) glVertex2d(x0 + k, Drawn(s, y[first + k]));
    if ((s->flags2 & kCurveHold) != 0 && visible > 0) glVertex2d(x0 + visible, Drawn(s, y[first + visible - 1]));
    glEnd();
}

void CurveDrawSteps(const CurveStyle* s, uint32_t row, uint32_t first) {
    const double* y = Row(s, row);
    const uint32_t count = s->data.sampleCount;
    if (y == nullptr || first >= count) return;
    const uint32_t visible = std::min(s->visibleCount != 0 ? s->visibleCount : count - first, count - first);
    if (s->groupSamples >= 2) {
        DrawEnvelope(s, y + first, visible, 0.5, s->groupSamples);
        return;
    }
    glBegin(GL_LINES);
    for (uint32_t k = 0; k < visible; ++k) {
        const double v = Drawn(s, y[first + k]);
        glVertex2d(k, v);
        glVertex2d(k + 1.0, v);
        if (k + 1 < visible) {
            glVertex2d(k + 1.0, v);
            glVertex2d(k + 1.0, Drawn(s, y[first + k + 1]));
        }
    }
    glEnd();
}

}  // namespace orva
