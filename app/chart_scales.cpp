// The chart's two scale routines: the value kind, tick step, start and origin of the x
// scale (from the x model and zoom) and of the y scale (from the y mapping, with a
// common power of ten when the values need one), then the ticks and labels.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/chart_window.h"
#include "common/number_text.h"
#include "data/kernel_util.h"
#include "toolkit/font.h"

namespace orva {

namespace {

using kernel::SaturateTrunc;

// The smallest pixel step a y tick may have.
constexpr double kSmallestStep = 1.1754943508222875e-38;
// Pixels a label takes beyond its text.
constexpr int32_t kRealLabelPad = 15;
constexpr int32_t kIntegerLabelPad = 14;
// Without a font a character is taken as this wide.
constexpr float kAverageCharWidth = 6.0f;

// x rounded up, forgiving the noise of a division that should be whole.
double CeilQuiet(double x) {
    const double r = std::round(x);
    if (std::fabs(x - r) <= 1e-9 * std::max(1.0, std::fabs(x))) return r;
    return std::ceil(x);
}

int32_t DecimalExponent(double v) {
    const double a = std::fabs(v);
    if (!std::isfinite(a)) return 0;
    if (!(a >= 10.0) && !(a > 0.0 && a < 1.0)) return 0;
    return SaturateTrunc<int32_t>(std::floor(std::log10(a)));
}

void Copy(const char* text, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    const size_t n = std::min(std::strlen(text), size - 1);
    std::memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

bool ChartXLabelText(double value, char* out, size_t size) {
    if (out == nullptr || size == 0) return true;
    const double a = std::fabs(value);
    if (!std::isfinite(value)) {
        Copy("ERR", out, size);
        return true;
    }
    if (a < 3.0 || a > 2147483647.0) {
        if (a <= 1.0) {
            // The fitted format into a field of 16 characters.
            char text[16 + 8];
            int length = 0;
            FormatDoubleFit(15, text, value, &length);
            Copy(length > 0 && length <= 15 ? text : "ERR", out, size);
        } else {
            char text[24];
            ScaleFormatValue(value, false, text, 16);
            Copy(text, out, size);
        }
        return true;
    }
    char text[24];
    const int n = std::snprintf(text, sizeof text, "%d", SaturateTrunc<int32_t>(std::ceil(value)));
    Copy(n > 0 && n < 12 ? text : "ERR", out, size);
    return false;
}

double ChartXTickStep(double labelUnits, double unitWidth, double labelPixels, double plotUnits, bool* fraction) {
    if (fraction != nullptr) *fraction = false;
    if (!(labelUnits > 0.0) || !std::isfinite(labelUnits)) return 1.0;
    const double n = std::ceil(labelUnits);
    double step;
    if (n > 9.0) {
        step = std::max(10.0, std::floor(n / 10.0) * 10.0);
        if (step < labelUnits) step += 10.0;
    } else if (n >= 5.0) {
        step = std::max(5.0, std::floor(n / 5.0) * 5.0);
        if (step < labelUnits) step += 5.0;
    } else if (n >= 2.0) {
        step = std::max(2.0, std::floor(n / 2.0) * 2.0);
        if (step < labelUnits) step += 2.0;
    } else if (unitWidth <= 2.0 * labelPixels) {
        step = 1.0;
    } else {
        // A unit wider than two labels: a fractional step of a tenth's precision.
        step = CeilQuiet(labelUnits * 10.0) / 10.0;
        if (step > plotUnits && labelPixels <= plotUnits * unitWidth) step = plotUnits;
        if (fraction != nullptr) *fraction = true;
    }
    return step;
}

int32_t ChartYExponent(double minimum, double span) {
    double top = minimum + span;
    if (!std::isfinite(top)) top = std::copysign(DBL_MAX, top);
    const int32_t eMin = DecimalExponent(minimum);
    const int32_t eMax = DecimalExponent(top);
    const int32_t eRatio = minimum == 0.0 || span == 0.0 ? 0 : DecimalExponent(minimum / span);
    if (!(eMin < 0 && eMax < 0) && std::abs(eMin) <= 6 && std::abs(eMax) <= 6 && std::abs(eRatio) <= 6) return 0;
    const int32_t e = std::abs(eMin) >= std::abs(eMax) ? eMin : eMax;
    const int32_t eSpan = DecimalExponent(span);
    return std::abs(static_cast<int64_t>(e) + eSpan) > 5 ? eSpan : e;
}

double ChartYTickStep(double u) {
    if (!(u > 0.0) || !std::isfinite(u)) return 1.0;
    if (u < 1.0) {
        const double p = std::pow(10.0, std::floor(std::log10(u)));
        return CeilQuiet(u / p) * p;
    }
    if (u == 1.0) return 1.0;
    return SliderCtrl::NiceTickStep(u, true);
}

int32_t ChartWindow::XLabelWidth(const ScaleRecord* scale) const {
    const double stepFactor = xStepKnown != 0 ? xStep : 1.0;
    double last = (static_cast<double>(scroll) + static_cast<double>(visible)) * stepFactor;
    if (xMode == kChartXValue) last += xStart;
    char text[32];
    const bool real = ChartXLabelText(last, text, sizeof text);
    const SliderCtrl* s = ActiveSlider();
    const gFont* font = s->font != nullptr ? s->font : slider.font;
    const float width = font != nullptr ? gFontTextWidth(font, text)
                                        : kAverageCharWidth * static_cast<float>(std::strlen(text));
    const int32_t pixels = SaturateTrunc<int32_t>(std::ceil(width)) + (real ? kRealLabelPad : kIntegerLabelPad);
    return std::max(pixels, scale != nullptr ? scale->labelSpacing : 0);
}

void ChartXScaleRoutine(ScaleRecord* scale, bool vertical, void* data) {
    auto* c = static_cast<ChartWindow*>(data);
    if (scale == nullptr || c == nullptr) return;
    // The plot's left edge on the scale, then position 0 of the samples on it.
    const double plotEdge = scale->origin;
    const double xOrigin = 1.0 - static_cast<double>(c->scroll) * c->pixelsPerSample;
    double start = 0.0, origin = plotEdge + xOrigin;
    if (c->samples == 0) {
        scale->valueKind = kScaleValueInteger;
        scale->tickStep = std::max(1, c->plotWidth);
        scale->start = 0.0;
        scale->unitsPerPixel = 1.0;
    } else {
        const double stepFactor = c->xStepKnown != 0 ? c->xStep : 1.0;
        const double u = c->samplesPerPixel * stepFactor;
        const double labelPixels = c->XLabelWidth(scale);
        bool fraction = false;
        double tick = ChartXTickStep(labelPixels * u, c->pixelsPerSample / stepFactor, labelPixels,
                                     static_cast<double>(c->plotWidth) * u, &fraction);
        start = c->xMode == kChartXValue
                                 ? c->xStart
                                 : static_cast<double>(static_cast<int32_t>(SaturateTrunc<int64_t>(c->xStart)));
        // Samples counted by their index are numbered from 1, as the readout numbers them.
        const bool counted = c->xMode != kChartXValue && c->xStepKnown == 0;
        if (counted) start += 1.0;
        if (!fraction) tick = std::max(1.0, std::round(tick));
        // Ticks stand at whole multiples of the step: an axis that starts between them (a
        // histogram's from the lower edge of its first bin) begins its labels at the
        // next multiple, that far right of the start (to the nearest pixel, where the
        // scale puts its ticks and labels).
        if ((c->xMode == kChartXValue || counted) && tick > 0.0 && u > 0.0 && std::isfinite(start)) {
            const double first = std::ceil(start / tick - 1e-9) * tick;
            const double shift = std::round((first - start) / u);
            if (std::isfinite(first) && std::isfinite(shift)) {
                start = first;
                origin += shift;
            }
        }
        const bool whole = !fraction && start == std::floor(start) && u == std::floor(u);
        scale->valueKind = whole || (!fraction && c->xStepKnown == 0) ? kScaleValueInteger : kScaleValueReal;
        if (start != std::floor(start)) scale->valueKind = kScaleValueReal;
        scale->tickStep = tick;
        scale->start = start;
        scale->unitsPerPixel = u;
    }
    scale->origin = origin;
    SliderCtrl::BuildTickLabels(scale, vertical);
}

void ChartYScaleRoutine(ScaleRecord* scale, bool vertical, void* data) {
    auto* c = static_cast<ChartWindow*>(data);
    if (scale == nullptr) return;
    if (c == nullptr || c->cell == nullptr || c->samples == 0 || c->plotHeight <= 0) {
        scale->labelCount = scale->highlighted = 0;
        return;
    }
    scale->valueKind = kScaleValueReal;
    const int32_t e = ChartYExponent(c->yMinimum, c->ySpan);
    scale->shownExponent = e;
    const double power = std::pow(10.0, static_cast<double>(e));
    const double minimum = c->yMinimum / power;
    // From the half span: a range wider than DBL_MAX keeps its true width there.
    double span = c->yHalfSpan / power * 2.0;
    if (!(span > 0.0) || !std::isfinite(span)) span = 1.0;
    const double h = static_cast<double>(c->plotHeight);
    const double u = span * std::max(1, scale->labelSpacing) / h;
    const double tick = ChartYTickStep(u);
    scale->tickStep = (h / span) * tick > kSmallestStep ? tick : u;
    scale->unitsPerPixel = -span / h;
    // The ticks are the multiples of the step: the first one at or below the minimum
    // stands for them, so that the origin stays near the plot however far 0 lies.
    double start = std::floor(minimum / scale->tickStep) * scale->tickStep;
    if (!std::isfinite(start)) start = 0.0;
    scale->start = start;
    scale->origin = scale->origin + h - (start - minimum) * (h / span);
    SliderCtrl::BuildTickLabels(scale, vertical);
}

}  // namespace orva
