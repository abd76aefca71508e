// The scales of a data view: readout from a mouse position, label building, flags and
// colour sets, the two scale widgets and their painters.
#include "toolkit/scale.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

#include "common/printf_format.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"

namespace orva {
namespace {

// The pixels a label's text takes above its baseline.
constexpr double kScaleLabelHeight = 10.0;

// Saturating conversions (NaN gives 0).
int64_t ToInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
    if (v <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}
int32_t ToInt32(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// The four colour sets, indexed by tint * 2 + light.
constexpr float kColourSets[4][6] = {
    {0.60f, 0.60f, 0.65f, 0.50f, 0.50f, 0.55f},
    {0.90f, 0.90f, 0.95f, 0.60f, 0.60f, 0.65f},
    {0.25f, 0.65f, 0.65f, 0.15f, 0.50f, 0.50f},
    {0.45f, 0.85f, 0.85f, 0.30f, 0.70f, 0.70f},
};

std::unordered_map<const gElement*, SliderCtrl*>& Controls() {
    static std::unordered_map<const gElement*, SliderCtrl*> map;
    return map;
}

// Appends a label; false when the table or its text buffer is full.
bool AddLabel(ScaleRecord* s, float x, float y, const char* text) {
    if (s->labelCount >= s->labelCapacity) return false;
    size_t at = static_cast<size_t>(s->labelCount) * kScaleLabelText;
    if (at + kScaleLabelText > s->texts.size()) return false;
    char* slot = s->texts.data() + at;
    size_t n = std::strlen(text);
    if (n >= kScaleLabelText) text = "ERR", n = 3;
    std::memcpy(slot, text, n + 1);
    s->labels[static_cast<size_t>(s->labelCount)] = {x, y, static_cast<int32_t>(n), slot};
    ++s->labelCount;
    return true;
}

}  // namespace

int ScaleFormatValue(double value, bool asInt64, char* out, size_t size) {
    if (out == nullptr || size == 0) return 0;
    std::string text = asInt64 ? FormatString("%I64d", static_cast<long long>(ToInt64(value)))
                               : FormatString("%.2f", value);
    if (!asInt64) {
        // 12.50 shows as 12.5 and 12.00 as 12.
        size_t dot = text.find('.');
        if (dot != std::string::npos) {
            if (text.size() >= 3 && text.compare(text.size() - 3, 3, ".00") == 0) {
                text.resize(text.size() - 3);
            } else if (text.back() == '0') {
                text.pop_back();
            }
        }
    }
    if (text.size() + 1 > size) text = size >= 4 ? "ERR" : "";
    std::memcpy(out, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

int32_t ScaleLabelCapacity(int32_t screenPixels, float charWidth) {
    if (screenPixels <= 0 || screenPixels > 6000) screenPixels = 2600;
    int32_t cw = charWidth > 0 ? ToInt32(std::lround(charWidth)) : 10;
    if (cw <= 0) cw = 10;
    return screenPixels * 2 / (cw * 3 + 4) + 2;
}

SliderCtrl::SliderCtrl(float sx, float sy) : scaleX(std::floor(sx)), scaleY(std::floor(sy)) {
    ResetScale(&horizontal);
    ResetScale(&vertical);
}

SliderCtrl::~SliderCtrl() {
    gElement* h = widgetH;
    gElement* v = widgetV;
    if (h != nullptr && gWgtIsLive(h)) gWgtRemove(h, true);
    if (v != nullptr && gWgtIsLive(v)) gWgtRemove(v, true);
    Release();
}

void SliderCtrl::Release() {
    if (widgetH != nullptr) Controls().erase(widgetH);
    if (widgetV != nullptr) Controls().erase(widgetV);
    widgetH = widgetV = nullptr;
    useCount = 0;
    for (ScaleRecord* s : {&horizontal, &vertical}) {
        s->labels.clear();
        s->texts.clear();
        s->labelCapacity = s->labelCount = s->highlighted = 0;
    }
    if (font != nullptr) {
        gFontRelease(font);
        font = nullptr;
    }
}

void SliderCtrl::ResetScale(ScaleRecord* s) {
    if (s == nullptr) return;
    s->range = 100;
    s->width = 60;
    s->stepCount = 1;
    s->step = 100.0;
    s->base = s->shift = 0;
    s->exponent = 0;
    s->stepIndex = 100;
    s->remainder = s->rounded = 0;
    s->cursorDistance = -1.0f;
    s->labelMode = kScaleLabelsShown;
    s->valueKind = kScaleValueInteger;
    s->tickStep = 100.0;
    s->start = s->origin = 0.0;
    s->unitsPerPixel = 1.0;
    s->labelSpacing = static_cast<int32_t>(kScaleMinLabelStep);
    s->shownExponent = 0;
    SetColours(s, false, false);
}

void SliderCtrl::SetColours(ScaleRecord* s, bool light, bool tint) {
    if (s != nullptr) std::memcpy(s->colours, kColourSets[(tint ? 2 : 0) + (light ? 1 : 0)], sizeof s->colours);
}

void SliderCtrl::SelectPainters() { alternative = frozen[0] != 0 || frozen[1] != 0; }

bool SliderCtrl::SetFlags(ScaleRecord* s, uint32_t bits, bool on) {
    if (s == nullptr) return false;
    if (on) {
        bool already = (s->flags & bits) == bits;
        s->flags |= bits;
        s->changeMask &= ~bits;
        return !already;
    }
    uint32_t before = s->flags;
    s->flags = (s->flags & ~bits) | (bits & s->changeMask);
    return s->flags != before;
}

bool SliderCtrl::SetFlagsMasked(ScaleRecord* s, ScaleRecord* other, uint32_t bits, bool on) {
    if (s == nullptr) return false;
    uint32_t flags = s->flags, mask = s->changeMask;
    if (on) {
        s->changeMask |= bits;
        s->flags |= bits;
    } else {
        s->changeMask &= ~bits;
        if (other != nullptr && other->changeMask == 0 && (other->flags & bits) != 0) other->changeMask |= bits;
        s->flags &= ~bits;
    }
    return s->flags != flags || s->changeMask != mask;
}

void SliderCtrl::SetRange(int32_t h, int32_t v) {
    for (ScaleRecord* s : {&horizontal, &vertical}) {
        s->flags = (s->flags & ~kScaleInt64) | 5;
        s->base = s->shift = 0;
        s->exponent = 0;
        s->step = s->range;
    }
    horizontal.stepIndex = h;
    vertical.stepIndex = v;
}

bool SliderCtrl::SizeLabels(int32_t screenWidth, int32_t screenHeight) {
    float cw = font != nullptr ? font->avgWidth * gFontScale(font) : 0;
    int32_t caps[2] = {ScaleLabelCapacity(screenWidth, cw), ScaleLabelCapacity(screenHeight, cw)};
    ScaleRecord* scales[2] = {&horizontal, &vertical};
    for (int i = 0; i < 2; ++i) {
        ScaleRecord* s = scales[i];
        try {
            s->labels.assign(static_cast<size_t>(caps[i]), ScaleLabel{});
            s->texts.assign(static_cast<size_t>(caps[i]) * kScaleLabelText, '\0');
        } catch (const std::bad_alloc&) {
            s->labels.clear();
            s->texts.clear();
            s->labelCapacity = 0;
            return false;
        }
        s->labelCapacity = caps[i];
        s->labelCount = s->highlighted = 0;
    }
    return true;
}

void SliderCtrl::BuildLabels(ScaleRecord* s, bool vert) {
    if (s == nullptr) return;
    s->labelCount = 0;
    s->highlighted = 0;
    if (s->labelCapacity < 2 || !(s->step >= kScaleMinLabelStep)) return;
    float bottom = s->rect[1] + s->rect[3] - 3;
    float ex = s->rect[0] + 226;
    if (s->exponent != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", std::clamp(s->exponent, -999, 9999));
        digits[4] = '\0';
        std::string text = std::string(vert ? "SCALE Y: E" : "SCALE X: E") + (s->exponent >= 0 ? "+" : "") + digits;
        if (AddLabel(s, ex, bottom, text.c_str())) s->highlighted = s->labelCount;
    }
    if (s->shift != 0) {
        char value[16];
        ScaleFormatValue(s->shift, false, value, sizeof value);
        std::string text = std::string(vert ? "SHIFTING Y: " : "SHIFTING X: ") + (s->shift >= 0 ? "+" : "") + value;
        AddLabel(s, ex + 120, bottom, text.c_str());
    }
    // Major ticks along the scale: the first at the remainder's offset, one every step;
    // tick k stands for (step index + k) x range.
    double length = vert ? s->rect[3] : s->rect[2];
    double first = std::fmod(static_cast<double>(s->remainder), s->step);
    if (first < 0) first += s->step;
    bool asInt = (s->flags & kScaleInt64) != 0;
    for (int k = 0; first + k * s->step <= length; ++k) {
        char text[24];
        double value = (static_cast<double>(s->stepIndex) + k) * s->range;
        ScaleFormatValue(value, asInt, text, asInt ? 21 : 16);
        float at = static_cast<float>(first + k * s->step);
        float lx = vert ? s->rect[0] + 2 : s->rect[0] + at + 2;
        float ly = vert ? s->rect[1] + at - 2 : bottom;
        if (!AddLabel(s, lx, ly, text)) break;
    }
}

double SliderCtrl::NiceTickStep(double units, bool integer) {
    if (!(units > 0.0) || !std::isfinite(units)) return 1.0;
    double decade = std::pow(10.0, std::floor(std::log10(units)));
    double step = decade * 10.0;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (decade * m >= units * (1.0 - 1e-12)) {
            step = decade * m;
            break;
        }
    }
    if (integer) step = std::max(1.0, std::round(step));
    return step;
}

void SliderCtrl::BuildValueLabels(ScaleRecord* s, bool vert) {
    if (s == nullptr) return;
    s->labelCount = 0;
    s->highlighted = 0;
    const double u = s->unitsPerPixel;
    if (!(u > 0.0) || !std::isfinite(u)) return;
    const bool integer = s->valueKind != kScaleValueReal;
    const double spacing = std::max(2, s->labelSpacing);
    s->tickStep = NiceTickStep(spacing * u, integer);
    const double pixels = s->tickStep / u;
    s->step = pixels;
    // The first tick at or after the scale's start: the smallest multiple of the tick
    // step whose pixel is not negative.
    const double firstValue = std::ceil((s->start - s->origin * u) / s->tickStep) * s->tickStep;
    double at = s->origin + (firstValue - s->start) / u;
    if (!std::isfinite(at)) return;
    s->remainder = static_cast<float>(std::fmod(at, pixels));
    if (s->labelCapacity < 2 || s->labelMode == kScaleLabelsNone) return;
    const double length = vert ? s->rect[3] : s->rect[2];
    const float bottom = s->rect[1] + s->rect[3] - 3;
    for (int64_t k = 0; at + static_cast<double>(k) * pixels <= length; ++k) {
        const double value = firstValue + static_cast<double>(k) * s->tickStep;
        char text[24];
        ScaleFormatValue(std::fabs(value) < s->tickStep * 1e-9 ? 0.0 : value, integer, text, integer ? 21 : 16);
        const float p = static_cast<float>(at + static_cast<double>(k) * pixels);
        const float lx = vert ? s->rect[0] + 2 : s->rect[0] + p + 2;
        const float ly = vert ? s->rect[1] + p - 2 : bottom;
        if (!AddLabel(s, lx, ly, text)) break;
    }
}

void SliderCtrl::BuildTickLabels(ScaleRecord* s, bool vert) {
    if (s == nullptr) return;
    s->labelCount = 0;
    s->highlighted = 0;
    const double u = s->unitsPerPixel, step = s->tickStep;
    if (!(u != 0.0) || !std::isfinite(u) || !(step > 0.0) || !std::isfinite(step)) return;
    // Pixels from one tick to the next, signed: negative when the values run against
    // the pixels.
    const double d = step / u;
    const double pixels = std::fabs(d);
    if (!(pixels > 0.0) || !std::isfinite(pixels) || !std::isfinite(s->origin)) return;
    s->step = pixels;
    // The tick nearest the scale's start on the scale: pixel origin + k x d >= 0.
    const double bound = -s->origin / d;
    const double k0 = d > 0.0 ? std::ceil(bound) : std::floor(bound);
    const double first = s->origin + k0 * d;
    if (!std::isfinite(first)) return;
    s->remainder = static_cast<float>(std::fmod(first, pixels));
    if (s->labelCapacity < 2 || s->labelMode == kScaleLabelsNone) return;
    const double length = vert ? s->rect[3] : s->rect[2];
    const float bottom = s->rect[1] + s->rect[3] - 3;
    if (s->shownExponent != 0) {
        char text[16];
        std::snprintf(text, sizeof text, "E%+04d", std::clamp(s->shownExponent, -999, 999));
        const float ex = vert ? s->rect[0] + 2 : s->rect[0] + s->rect[2] - 40;
        const float ey = vert ? s->rect[1] + 10 : bottom;
        if (AddLabel(s, ex, ey, text)) s->highlighted = s->labelCount;
    }
    const bool integer = s->valueKind != kScaleValueReal;
    const double direction = d > 0.0 ? 1.0 : -1.0;
    for (int64_t i = 0;; ++i) {
        const double k = k0 + direction * static_cast<double>(i);
        const double p = first + static_cast<double>(i) * pixels;
        if (p > length) break;
        double value = s->start + k * step;
        if (std::fabs(value) < step * 1e-9) value = 0.0;
        char text[24];
        ScaleFormatValue(value, integer, text, integer ? 21 : 16);
        // A label stands above its tick: the first pixels of a vertical scale hold none.
        if (vert && p < kScaleLabelHeight) continue;
        const float lx = vert ? s->rect[0] + 2 : s->rect[0] + static_cast<float>(p) + 2;
        const float ly = vert ? s->rect[1] + static_cast<float>(p) - 2 : bottom;
        if (!AddLabel(s, lx, ly, text)) break;
    }
}

void SliderCtrl::InstallLabelRoutines(ScaleLabelRoutine h, ScaleLabelRoutine v, void* data) {
    ResetScale(&horizontal);
    ResetScale(&vertical);
    horizontal.labelRoutine = h;
    vertical.labelRoutine = v;
    horizontal.labelData = vertical.labelData = data;
}

void SliderCtrl::ValueFromPos(ScaleRecord* s, bool vert, float origin, float pos, float cursor) {
    if (gElement* w = vert ? widgetV : widgetH; w != nullptr) {
        s->rect[0] = w->x, s->rect[1] = w->y, s->rect[2] = w->cellWidth, s->rect[3] = w->cellHeight;
    }
    double r = std::floor(static_cast<double>(origin) - pos);
    double value = s->base - r;
    if ((s->flags & kScaleDecompose) != 0 || value < s->threshold) {
        s->stepIndex = s->step != 0 ? ToInt32(-value / s->step) : 0;
        s->remainder = s->step != 0 ? static_cast<float>(std::fmod(value, s->step)) : 0.0f;
    } else {
        s->stepIndex = 0;
        s->remainder = static_cast<float>(value);
    }
    s->rounded = static_cast<float>(r);
    s->origin = value;
    if (s->labelRoutine != nullptr) {
        s->labelRoutine(s, vert, s->labelData);
    } else if (s->labelMode == kScaleLabelsNone) {
        s->labelCount = s->highlighted = 0;
    } else {
        BuildLabels(s, vert);
    }
    s->cursorDistance = (cursor > -kScaleNoCursor && cursor < kScaleNoCursor) ? cursor - static_cast<float>(r) : -1.0f;
}

void SliderCtrl::ValueFromPosH(float pos, float cursor) {
    ValueFromPos(&horizontal, false, widgetH != nullptr ? widgetH->x : horizontal.rect[0], pos, cursor);
}
void SliderCtrl::ValueFromPosV(float pos, float cursor) {
    ValueFromPos(&vertical, true, widgetV != nullptr ? widgetV->y : vertical.rect[1], pos, cursor);
}

SliderCtrl* ScaleControlOf(const gElement* e) {
    auto it = Controls().find(e);
    return it == Controls().end() ? nullptr : it->second;
}

static void ScaleGone(gElement* e) {
    SliderCtrl* c = ScaleControlOf(e);
    if (c == nullptr) return;
    Controls().erase(e);
    if (c->widgetH == e) c->widgetH = nullptr;
    if (c->widgetV == e) c->widgetV = nullptr;
    if (--c->useCount <= 0) {
        c->useCount = 0;
        for (ScaleRecord* s : {&c->horizontal, &c->vertical}) {
            s->labels.clear();
            s->texts.clear();
            s->labelCapacity = s->labelCount = s->highlighted = 0;
        }
        if (c->font != nullptr) {
            gFontRelease(c->font);
            c->font = nullptr;
        }
    }
}

bool SliderCtrl::Show(gWindow* window, bool show, gFont* newFont, uintptr_t userData) {
    if (widgetH == nullptr || widgetV == nullptr) {
        if (window == nullptr) return false;
        int32_t kinds[2] = {kScaleKindH, kScaleKindV};
        gElement** slots[2] = {&widgetH, &widgetV};
        for (int i = 0; i < 2; ++i) {
            if (*slots[i] != nullptr) continue;
            WidgetDesc d;
            d.state[1] = 0x01010000u;  // partial redraw, enabled
            d.state[2] = 1;            // shown
            d.kind = kinds[i];
            d.style = 0x30024000;
            d.width = d.cellWidth = i == 0 ? 100.0f : 20.0f;
            d.height = d.cellHeight = i == 0 ? 20.0f : 100.0f;
            d.paint = ScalePaint;
            d.onDestroy = ScaleGone;
            gElement* e = gWgtCreate(window, nullptr, nullptr, &d, 0x40000000 | kWsTopLevel);
            if (e == nullptr) {
                failed = 1;
                Release();
                return false;
            }
            e->handlerData = userData;
            *slots[i] = e;
            Controls()[e] = this;
            ++useCount;
        }
        if (newFont != nullptr && font == nullptr) {
            RefAssign(&font, newFont);
            lineHeight = lineHeight2 = gFontLineHeight(font) + 1;
        }
        if (!SizeLabels(gScreenWidth(), gScreenHeight())) {
            failed = 1;
            gElement* h = widgetH;
            gElement* v = widgetV;
            Release();
            if (h != nullptr) gWgtRemove(h, true);
            if (v != nullptr) gWgtRemove(v, true);
            return false;
        }
    }
    for (gElement* e : {widgetH, widgetV}) {
        e->shown = show ? 1 : 0;
    }
    return true;
}

// ---- Painting -------------------------------------------------------------------------

void ScalePaint(gElement* e) {
    float w = e->cellWidth, h = e->cellHeight;
    glPushMatrix();
    glTranslatef(e->x, e->y, 0);
    if (gIsPicking()) {
        gPickRect(0, 0, w, h);
        glPopMatrix();
        return;
    }
    SliderCtrl* c = ScaleControlOf(e);
    bool vert = e->kind == kScaleKindV;
    if (c == nullptr) {
        glPopMatrix();
        return;
    }
    ScaleRecord* s = vert ? &c->vertical : &c->horizontal;
    s->rect[0] = e->x, s->rect[1] = e->y, s->rect[2] = w, s->rect[3] = h;
    // In the scale's own frame: along = x for the horizontal, y for the vertical one.
    auto V = [&](double along, double across) {
        if (vert) glVertex2d(across, along); else glVertex2d(along, across);
    };
    double length = vert ? h : w, depth = vert ? w : h;
    // Both scales lie on their own white ground: their black ticks and labels stay
    // readable over any window colour (a view's ground is often black).
    glColor3f(1, 1, 1);
    glRectf(0, 0, w, h);
    glColor3f(0.3f, 0.3f, 0.3f);
    glBegin(GL_LINES);
    V(0, depth - 0.5), V(length, depth - 0.5);
    glEnd();
    if (vert && c->alternative) {
        glColor3fv(s->colours);
        glRectf(0, 0, 3, h);
    }
    if (c->alternative) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0x5555);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
        for (int i = 0; i < 2; ++i) {
            glColor3fv(s->colours + 3 * i);
            glBegin(GL_LINES);
            V(0, 1.5 + i), V(length, 1.5 + i);
            glEnd();
        }
        glDisable(GL_BLEND);
        glDisable(GL_LINE_STIPPLE);
    }
    if (s->step > 0) {
        double first = std::fmod(static_cast<double>(s->remainder), s->step);
        if (first < 0) first += s->step;
        glColor3f(0, 0, 0);
        glBegin(GL_LINES);
        for (double at = first; at <= length; at += s->step) V(at + 0.5, 0), V(at + 0.5, depth);
        for (double at = first - s->step / 2; at <= length; at += s->step) {
            if (at >= 0) V(at + 0.5, 6), V(at + 0.5, depth);
        }
        double tenth = s->step / 10;
        if (tenth >= 2) {
            for (double at = first - s->step; at <= length; at += tenth) {
                if (at >= 0) V(at + 0.5, depth - 3), V(at + 0.5, depth);
            }
        }
        glEnd();
    }
    glPopMatrix();
    if (c->font != nullptr && gFontHasLists(c->font)) {
        for (int32_t i = 0; i < s->labelCount; ++i) {
            const ScaleLabel& l = s->labels[static_cast<size_t>(i)];
            if (i < s->highlighted) glColor3f(1, 0, 0); else glColor3f(0, 0, 0);
            gTextDrawAt(c->font, l.x, l.y, l.text, l.count);
        }
    }
    glPushMatrix();
    glTranslatef(e->x, e->y, 0);
    int32_t guide = c->guide[vert ? 1 : 0];
    if (guide > 1) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0x5555);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
        glColor3f(0.8f, 0.8f, 0.8f);
        glBegin(GL_LINES);
        V(0, guide + 1.5), V(length, guide + 1.5);
        glEnd();
        glDisable(GL_BLEND);
        glDisable(GL_LINE_STIPPLE);
    }
    if (e->kind == kScaleKindH && s->cursorDistance >= 0 && s->cursorDistance < length) {
        glEnable(GL_BLEND);
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0xAAAA);
        glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
        glColor3f(1, 1, 1);
        glBegin(GL_LINES);
        V(s->cursorDistance + 0.5, 0), V(s->cursorDistance + 0.5, depth);
        glEnd();
        glDisable(GL_LINE_STIPPLE);
        if ((s->flags & kScaleMarker) != 0 && s->cursorDistance >= 2) {
            if ((s->flags & kScaleMarkerInvert) != 0) {
                glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
                glColor3f(0.8f, 0.4f, 0.9f);
            } else {
                glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
                glColor3f(1.0f, 0.7f, 0.0f);
            }
            glBegin(GL_LINES);
            V(s->cursorDistance - 0.5, 0), V(s->cursorDistance - 0.5, depth);
            glEnd();
        }
        glDisable(GL_BLEND);
    }
    glPopMatrix();
}

}  // namespace orva
