// The scroll slider: range, resize and drag arithmetic, and the widget around it.
#include "toolkit/slider.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "toolkit/gl_colors.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/element_bits.h"

namespace orva {
namespace {


std::unordered_map<const gElement*, ScrollSlider*>& Sliders() {
    static std::unordered_map<const gElement*, ScrollSlider*> map;
    return map;
}

// Thumb length for a share on a track: floor(L x s) with the minimum applied exactly
// (a share equal to 7 / L must give 7, not 6.999...).
float ThumbFor(float trackLength, double share) {
    double raw = static_cast<double>(trackLength) * share;
    return raw < kScrollThumbMin ? kScrollThumbMin : static_cast<float>(std::floor(raw));
}

// The state word: 1 when 1/s - 1 exceeds the thumb's free travel (both taken before the
// thumb is fitted into the track, so that a track shorter than the minimum thumb gives 1).
int32_t StateFor(float trackLength, double share, float thumb, bool shareBelowOne) {
    if (!(share > 0) || (shareBelowOne && share >= 1.0)) return 0;
    return (1.0 / share - 1.0) > static_cast<double>(trackLength - thumb) ? 1 : 0;
}

void Fill(ScrollSlider* s, float trackLength) {
    s->thumbLength = std::max(trackLength, 0.0f);
    s->thumbPos = s->trackStart;
    s->visibleShare = 1.0f;
    s->positionShare = 0;
    s->state = 0;
}

// Thumb length from a raw share with the minimum; the length never exceeds the track.
// The range rule (resize false) counts any non-zero share for the state; a resize only
// a share below 1.
void Layout(ScrollSlider* s, float trackLength, bool keepPosWhenZero) {
    double share = std::max<double>(s->rawShare, trackLength > 0 ? kScrollThumbMin / trackLength : 1.0);
    float thumb = ThumbFor(trackLength, share);
    s->visibleShare = static_cast<float>(share);
    s->state = StateFor(trackLength, share, thumb, keepPosWhenZero);
    s->thumbLength = std::min(thumb, std::max(trackLength, 0.0f));
    if (keepPosWhenZero && s->positionShare == 0) return;
    float free = std::max(trackLength - s->thumbLength, 0.0f);
    float pos = std::floor(free * s->positionShare) + s->trackStart;
    s->thumbPos = std::clamp(pos, s->trackStart, std::max(s->trackStart, trackLength - s->thumbLength));
}

}  // namespace

bool ScrollSliderApplyRange(ScrollSlider* s, float trackLength, double visible, double total, double position) {
    if (s == nullptr || !(visible >= 0) || !(total >= 0) || !(position >= 0)) return false;
    if (total > visible && trackLength > 0) {
        s->rawShare = static_cast<float>(visible / total);
        position = std::min(position, total - visible);
        s->positionShare = static_cast<float>(std::min(1.0, position / (total - visible)));
        Layout(s, trackLength, false);
        return true;
    }
    s->rawShare = 1.0f;
    Fill(s, trackLength);
    return true;
}

void ScrollSliderApplyResize(ScrollSlider* s, float trackLength) {
    if (s == nullptr) return;
    if (s->rawShare >= 1.0f || trackLength <= 0) {
        Fill(s, trackLength);
        return;
    }
    Layout(s, trackLength, true);
}

bool ScrollSliderMoveThumb(ScrollSlider* s, float trackLength, float pos) {
    if (s == nullptr) return false;
    float top = std::max(s->trackStart, trackLength - s->thumbLength);
    pos = std::clamp(std::floor(pos), s->trackStart, top);
    if (pos == s->thumbPos) return false;
    s->thumbPos = pos;
    return true;
}

float ScrollSliderFraction(const ScrollSlider* s, float trackLength) {
    if (s == nullptr) return 0;
    float travel = trackLength - s->thumbLength - s->trackStart;
    if (!(travel > 0)) return 0;
    return std::clamp((s->thumbPos - s->trackStart) / travel, 0.0f, 1.0f);
}

// ---- The widget ------------------------------------------------------------------------

ScrollSlider* ScrollSliderFromWidget(const gElement* e) {
    if (e == nullptr || (e->kind != kScrollSliderH && e->kind != kScrollSliderV)) return nullptr;
    auto it = Sliders().find(e);
    return it == Sliders().end() ? nullptr : it->second;
}

float ScrollSliderTrackLength(const gElement* e) {
    return e == nullptr ? 0 : (e->kind == kScrollSliderH ? e->cellWidth : e->cellHeight);
}

static void DestroySlider(gElement* e) {
    auto it = Sliders().find(e);
    if (it == Sliders().end()) return;
    delete it->second;
    Sliders().erase(it);
}

gElement* ScrollSliderCreate(gWindow* parent, gElement* widget, ScrollSliderCallback callback, bool vertical,
                             float length, float thickness, uintptr_t userData, bool free) {
    auto* record = new (std::nothrow) ScrollSlider;
    if (record == nullptr) return nullptr;
    WidgetDesc d;
    d.state[1] = 0x01010000u;  // partial redraw, enabled
    d.state[2] = 1;            // shown
    d.kind = vertical ? kScrollSliderV : kScrollSliderH;
    d.style = widget != nullptr ? 0 : free ? (kWsNoPlace | kWsLeft | kWsTop) : (kWsSlotFromWindow | kWsLeft | kWsTop);
    d.width = d.cellWidth = vertical ? thickness : length;
    d.height = d.cellHeight = vertical ? length : thickness;
    d.paint = ScrollSliderPaint;
    d.onDrag = ScrollSliderDrag;
    d.onPress = ScrollSliderPress;
    d.onDestroy = DestroySlider;
    d.state[0] = kDragAtPress;
    gElement* e = gWgtCreate(parent, nullptr, widget, &d, widget != nullptr ? kWsAfter : 0);
    if (e == nullptr) {
        delete record;
        return nullptr;
    }
    e->dragFlags |= kDragAtPress;
    record->owner = widget;
    record->callback = callback;
    record->userData = userData;
    Sliders()[e] = record;
    Fill(record, ScrollSliderTrackLength(e));
    return e;
}

bool ScrollSliderSetRange(gElement* e, double visible, double total, double position) {
    return ScrollSliderApplyRange(ScrollSliderFromWidget(e), ScrollSliderTrackLength(e), visible, total, position);
}

void ScrollSliderResize(gElement* e) { ScrollSliderApplyResize(ScrollSliderFromWidget(e), ScrollSliderTrackLength(e)); }

void ScrollSliderDrag(gElement* e, const pf::Point* cursor) {
    ScrollSlider* s = ScrollSliderFromWidget(e);
    if (s == nullptr || cursor == nullptr) return;
    float origin = e->kind == kScrollSliderH ? e->x : e->y;
    float along = static_cast<float>(e->kind == kScrollSliderH ? cursor->x : cursor->y) - origin;
    float length = ScrollSliderTrackLength(e);
    if (!ScrollSliderMoveThumb(s, length, along - s->thumbLength * 0.5f)) return;
    if (s->callback != nullptr) s->callback(s->userData, ScrollSliderFraction(s, length));
    if (e->window != nullptr && e->window->hdc != nullptr && gWinMakeCurrent(e->window)) {
        gWgtRedrawAlone(e->window, e, true);
    }
}

bool ScrollSliderPress(gElement* e, uintptr_t) {
    // A press during a drag in progress changes nothing.
    if (gDragGrab[0] != 0 && gDragGrab[1] != 0) return true;
    ScrollSliderDrag(e, &gCursorPos);
    return true;
}

void ScrollSliderPaint(gElement* e) {
    float x0 = e->x, y0 = e->y, x1 = e->x + e->cellWidth, y1 = e->y + e->cellHeight;
    if (gIsPicking()) {
        gPickRect(x0, y0, x1, y1);
        return;
    }
    ScrollSlider* s = ScrollSliderFromWidget(e);
    gWindow* w = e->window;
    if (s == nullptr || w == nullptr) return;
    gColorShades(w, e->color1);
    auto B = [&](int k) { glColor3bv(reinterpret_cast<const GLbyte*>(w->colours.backShades[k])); };
    auto W = [&](int k) { glColor3bv(reinterpret_cast<const GLbyte*>(w->colours.widgetShades[k])); };
    bool horizontal = e->kind == kScrollSliderH;
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    if (horizontal) {
        B(1); glVertex2f(x0, y0); glVertex2f(x1, y0);
        B(3); glVertex2f(x1, y1); glVertex2f(x0, y1);
    } else {
        B(1); glVertex2f(x0, y0); glVertex2f(x0, y1);
        B(3); glVertex2f(x1, y1); glVertex2f(x1, y0);
    }
    glEnd();
    B(1);
    glBegin(GL_LINE_LOOP);
    glVertex2f(x0 + 0.5f, y0 + 0.5f); glVertex2f(x1 - 0.5f, y0 + 0.5f);
    glVertex2f(x1 - 0.5f, y1 - 0.5f); glVertex2f(x0 + 0.5f, y1 - 0.5f);
    glEnd();
    int b = e->highlight ? 1 : 0;
    // The thumb stays inside the frame.
    float length = ScrollSliderTrackLength(e);
    float a0 = std::max(s->thumbPos, 1.0f), a1 = std::min(s->thumbPos + s->thumbLength, length - 1.0f);
    float c0 = 1.0f, c1 = (horizontal ? e->cellHeight : e->cellWidth) - 1.0f, cm = (c0 + c1) * 0.5f;
    auto V = [&](float along, float across) {
        if (horizontal) glVertex2f(x0 + along, y0 + across); else glVertex2f(x0 + across, y0 + along);
    };
    if (a1 > a0) {
        glBegin(GL_QUADS);
        W(b + 4); V(a0, c0); V(a1, c0); W(b + 2); V(a1, cm); V(a0, cm);
        W(b + 2); V(a0, cm); V(a1, cm); V(a1, c1); V(a0, c1);
        glEnd();
        glShadeModel(GL_FLAT);
        float g = std::floor(s->thumbLength * 0.5f) - 3 + s->thumbPos;
        for (int pass = 0; pass < 2; ++pass) {
            W(pass == 0 ? b + 1 : b + 5);
            glBegin(GL_LINES);
            for (int k = 0; k < 3; ++k) {
                float at = g + 3.0f * k + pass + 0.5f;
                V(at, c0 + 3); V(at, c1 - 3);
            }
            glEnd();
        }
    }
    glShadeModel(GL_FLAT);
}

}  // namespace orva
