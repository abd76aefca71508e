// The progress bar, the slot drag handle and the round outlines.
#include "toolkit/small_controls.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <unordered_map>

#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/element_bits.h"

namespace orva {
namespace {


std::unordered_map<const gElement*, ProgressDesc*>& ProgressBars() {
    static std::unordered_map<const gElement*, ProgressDesc*> map;
    return map;
}

int DefaultMode(uintptr_t) { return 1; }
uint8_t DefaultSeek(uintptr_t, float*) { return 0; }
void DefaultPosition(uintptr_t, float*) {}
void DefaultSeekDone(uintptr_t) {}

float Travel(const gElement* e) { return std::max(e->cellWidth - 2, 0.0f); }

float LengthFor(const gElement* e, float fraction) {
    if (std::isnan(fraction)) fraction = 0;
    return std::clamp(std::round(Travel(e) * fraction), 0.0f, Travel(e));
}

void ProgressGone(gElement* e) {
    auto it = ProgressBars().find(e);
    if (it == ProgressBars().end()) return;
    delete it->second;
    ProgressBars().erase(it);
}

void ProgressDrag(gElement* e, const pf::Point* cursor) {
    if (cursor == nullptr) return;
    if (!ProgressBar::DragTo(e, static_cast<float>(cursor->x) - e->x)) return;
    gWindow* w = e->window;
    if (w == nullptr || !e->shown || (w->state & kStateMinimised) != 0 || w->hdc == nullptr) return;
    if (gWinMakeCurrent(w)) gWgtRedrawAlone(w, e, true);
}

bool ProgressPress(gElement* e, uintptr_t) {
    ProgressDesc* d = ProgressBar::FromWidget(e);
    if (d != nullptr && d->press != nullptr) d->press(d->userData, e->value);
    return true;
}

// 7-bit channels of a colour word to GL.
void Colour7(uint32_t c) {
    glColor3ub(static_cast<GLubyte>((c & 0x7F) * 255 / 127), static_cast<GLubyte>(((c >> 8) & 0x7F) * 255 / 127),
               static_cast<GLubyte>(((c >> 16) & 0x7F) * 255 / 127));
}

}  // namespace

ProgressDesc* ProgressBar::FromWidget(const gElement* e) {
    if (e == nullptr || e->kind != kProgressBarKind) return nullptr;
    auto it = ProgressBars().find(e);
    return it == ProgressBars().end() ? nullptr : it->second;
}

gElement* ProgressBar::Create(gWindow* window, gElement* group, const ProgressDesc* desc, const float size[2]) {
    auto* d = new (std::nothrow) ProgressDesc;
    if (d == nullptr) return nullptr;
    if (desc != nullptr) *d = *desc;
    if (d->mode == nullptr) d->mode = DefaultMode;
    if (d->seek == nullptr) d->seek = DefaultSeek;
    if (d->position == nullptr) d->position = DefaultPosition;
    if (d->seekDone == nullptr) d->seekDone = DefaultSeekDone;
    WidgetDesc w;
    w.state[1] = 0x01010000u;  // partial redraw, enabled
    w.state[2] = 1;            // shown
    w.kind = kProgressBarKind;
    w.style = 0x30084800;
    w.width = w.cellWidth = size != nullptr ? size[0] : 100.0f;
    w.height = w.cellHeight = size != nullptr ? size[1] : 8.0f;
    w.paint = Paint;
    w.onPress = ProgressPress;
    w.onDestroy = ProgressGone;
    gElement* e = gWgtCreate(window, nullptr, group, &w, group != nullptr ? kWsAfter : 0);
    if (e == nullptr) {
        delete d;
        return nullptr;
    }
    ProgressBars()[e] = d;
    d->length = std::clamp(d->length, 0.0f, Travel(e));
    return e;
}

bool ProgressBar::SetActive(gElement* e, bool flag) {
    ProgressDesc* d = FromWidget(e);
    if (d == nullptr || d->active == (flag ? 1 : 0)) return false;
    d->active = flag ? 1 : 0;
    return true;
}

bool ProgressBar::Update(gElement* e) {
    ProgressDesc* d = FromWidget(e);
    if (d == nullptr) return false;
    float before = d->length;
    int mode = d->mode(d->userData);
    if (mode == kProgressDraggable) {
        e->dragFlags |= kDragAtPress;
        e->onDrag = ProgressDrag;
        float fraction = 0;
        d->position(d->userData, &fraction);
        d->length = LengthFor(e, fraction);
    } else {
        d->length = mode == kProgressFull ? Travel(e) : 0.0f;
        e->dragFlags &= ~kDragAtPress;
        e->onDrag = nullptr;
    }
    return d->length != before;
}

bool ProgressBar::DragTo(gElement* e, float x) {
    ProgressDesc* d = FromWidget(e);
    if (d == nullptr) return false;
    float travel = Travel(e);
    // No travel: nothing to seek (and no division by zero).
    float fraction = travel > 0 ? std::clamp(x - 1, 0.0f, travel) / travel : 0.0f;
    uint8_t done = d->seek(d->userData, &fraction);
    float length = LengthFor(e, fraction);
    bool changed = length != d->length;
    d->length = length;
    if (done != 0) d->seekDone(d->userData);
    return changed;
}

void ProgressBar::Paint(gElement* e) {
    float x = e->x, y = e->y, w = e->cellWidth, h = e->cellHeight;
    if (gIsPicking()) {
        gPickRect(x, y, x + w, y + h);
        return;
    }
    ProgressDesc* d = FromWidget(e);
    if (d == nullptr) return;
    // A dark trough with a one-pixel frame, the bar inside it in the widget's colour
    // (its hover colour while active).
    glColor3ub(64, 64, 76);
    glRectf(x, y, x + w, y + h);
    glColor3ub(26, 26, 31);
    glRectf(x + 1, y + 1, x + w - 1, y + h - 1);
    if (d->length > 0) {
        Colour7(d->active ? e->color2 : e->color1);
        glRectf(x + 1, y + 1, x + 1 + d->length, y + h - 1);
    }
}

// ---- Slot drag handle -------------------------------------------------------------------

namespace {


// Per handle: the owner group's x when the handle was made, and whether the pointer
// moved the group since the button went down.
struct HandleState {
    float homeX = 0;
    bool moved = false;
};

std::unordered_map<const gElement*, HandleState>& Handles() {
    static std::unordered_map<const gElement*, HandleState> map;
    return map;
}

void HandleGone(gElement* e) { Handles().erase(e); }

gGroup* HandleOwner(const gElement* e) {
    auto* owner = reinterpret_cast<gElement*>(e->handlerData);
    return owner != nullptr && gWgtIsLive(owner) ? dynamic_cast<gGroup*>(owner) : nullptr;
}

bool HandleHorizontal(const gElement* e) {
    const gGroup* g = HandleOwner(e);
    return g != nullptr && (g->align & 1) != 0;
}

void ShiftX(gElement* e, float dx) {
    e->x += dx;
    e->placedX += dx;
    e->homeX += dx;
    if (e->glyphList != nullptr) e->glyphList->x += dx;
}

void HandleDrag(gElement* e, const pf::Point*) {
    if (HandleOwner(e) == nullptr || gDragStep.x == 0) return;
    SmallButton::MoveGroup(e, static_cast<float>(gDragStep.x));
    auto it = Handles().find(e);
    if (it != Handles().end()) it->second.moved = true;
}

// The press handler is asked at the press and again at the release. A click that did
// not drag puts the group back where it was when the handle was made.
bool HandlePress(gElement* e, uintptr_t) {
    auto it = Handles().find(e);
    if (it == Handles().end()) return true;
    if (gMouseButtonState() != 0) {
        it->second.moved = false;
        return true;
    }
    gGroup* g = HandleOwner(e);
    // A handle pushed off the left edge is out of reach of the pointer: left alone.
    if (g == nullptr || it->second.moved || e->x < -e->cellWidth / 2) return true;
    SmallButton::MoveGroup(e, it->second.homeX - g->x);
    return true;
}

}  // namespace

gElement* SmallButton::Create(gGroup* owner) {
    if (owner == nullptr || !gWgtIsLive(owner) || owner->window == nullptr) return nullptr;
    uint32_t layout = owner->style & 0xFE000u;
    if (layout == 0) layout = 0x24000;
    WidgetDesc d;
    d.state[1] = 0x01010000u;  // partial redraw, enabled
    d.state[2] = 1;            // shown
    d.kind = kSmallButtonKind;
    d.style = layout | 0x10000000;
    d.width = d.cellWidth = 1.0f;
    d.height = d.cellHeight = 4.0f;
    d.color1 = 0x4625A5A;
    d.color2 = 0x46C6464;
    d.paint = Paint;
    d.onPress = HandlePress;
    d.onDrag = HandleDrag;
    d.onDestroy = HandleGone;
    d.state[0] = kDragAtPress;
    gElement* e = gWgtCreate(owner->window, nullptr, nullptr, &d, 0x40000000 | kWsTopLevel);
    if (e == nullptr) return nullptr;
    e->dragFlags |= kDragAtPress;
    e->handlerData = reinterpret_cast<uintptr_t>(owner);
    Handles()[e] = HandleState{owner->x, false};
    return e;
}

bool SmallButton::MoveGroup(gElement* handle, float dx) {
    gGroup* g = handle != nullptr ? HandleOwner(handle) : nullptr;
    if (g == nullptr || !(std::fabs(dx) > 0) || !std::isfinite(dx)) return false;
    ShiftX(handle, dx);
    ShiftX(g, dx);
    for (gRow* row = g->rowsHead; row != nullptr; row = row->nextRow) {
        row->x += dx;
        for (gElement* w = row->first; w != nullptr; w = w->rowNext) {
            if (w != handle) ShiftX(w, dx);  // the handle may sit in one of the rows
            if (w == row->last) break;
        }
    }
    if (g->window != nullptr && gWinValidate(g->window) != nullptr) gWinRedraw(g->window);
    return true;
}

void SmallButton::Paint(gElement* e) {
    float x = e->x, y = e->y, w = e->cellWidth, h = e->cellHeight;
    if (gIsPicking()) {
        gPickRect(x, y, x + w, y + h);
        return;
    }
    Colour7(e->highlight ? e->color2 : e->color1);
    glBegin(GL_LINES);
    if (HandleHorizontal(e)) {
        glVertex2f(x, y + 0.5f), glVertex2f(x + w, y + 0.5f);
        glVertex2f(x, y + 2.5f), glVertex2f(x + w, y + 2.5f);
    } else {
        glVertex2f(x + 0.5f, y), glVertex2f(x + 0.5f, y + h);
        glVertex2f(x + 2.5f, y), glVertex2f(x + 2.5f, y + h);
    }
    glEnd();
    if (!HandleHorizontal(e) && gPressedWidget == e) {
        glBegin(GL_LINE_LOOP);
        glVertex2f(x + 4.5f, y + 0.5f), glVertex2f(x + 4.5f + w - 4, y + 0.5f);
        glVertex2f(x + 4.5f + w - 4, y + h - 1), glVertex2f(x + 4.5f, y + h - 1);
        glEnd();
    }
}

// ---- Round outlines -----------------------------------------------------------------------

std::vector<std::pair<float, float>> SelectionOutline::PolygonPoints(int segments, float radius) {
    std::vector<std::pair<float, float>> out;
    if (segments < 4 || !(radius >= 1)) {
        out.emplace_back(0.0f, 0.0f);
        return out;
    }
    segments = std::min(segments, 1 << 16);
    double step = 2 * std::numbers::pi / segments;
    for (int i = 0; i < segments; ++i) {
        double a = -std::numbers::pi / 2 + step * i;
        out.emplace_back(static_cast<float>(radius * std::cos(a)), static_cast<float>(radius * std::sin(a)));
    }
    return out;
}

std::vector<std::pair<int, int>> SelectionOutline::CirclePoints(float radius) {
    std::vector<std::pair<int, int>> out;
    double rr = std::isnan(radius) ? 0 : std::clamp<double>(std::round(radius), 0, 1 << 16);
    int r = static_cast<int>(rr);
    int x = 0, y = r, d = 3 - 2 * r;
    while (x <= y) {
        const int pts[8][2] = {{x, y}, {-x, y}, {x, -y}, {-x, -y}, {y, x}, {-y, x}, {y, -x}, {-y, -x}};
        for (const auto& p : pts) out.emplace_back(p[0], p[1]);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
    return out;
}

std::vector<std::pair<int, int>> SelectionOutline::EllipsePoints(int a, int b) {
    std::vector<std::pair<int, int>> out;
    int64_t rx = std::min<int64_t>(std::llabs(a), 1 << 14), ry = std::min<int64_t>(std::llabs(b), 1 << 14);
    auto plot = [&](int64_t x, int64_t y) {
        int xi = static_cast<int>(x), yi = static_cast<int>(y);
        out.emplace_back(xi, yi), out.emplace_back(-xi, yi), out.emplace_back(xi, -yi), out.emplace_back(-xi, -yi);
    };
    // Midpoint ellipse rule in integers (decisions scaled by 4).
    int64_t rx2 = rx * rx, ry2 = ry * ry;
    int64_t x = 0, y = ry;
    int64_t px = 0, py = 2 * rx2 * y;
    int64_t p = 4 * ry2 - 4 * rx2 * ry + rx2;
    while (px < py) {
        plot(x, y);
        ++x;
        px += 2 * ry2;
        if (p < 0) {
            p += 4 * (ry2 + px);
        } else {
            --y;
            py -= 2 * rx2;
            p += 4 * (ry2 + px - py);
        }
    }
    p = ry2 * (2 * x + 1) * (2 * x + 1) + 4 * rx2 * (y - 1) * (y - 1) - 4 * rx2 * ry2;
    while (y >= 0) {
        plot(x, y);
        --y;
        py -= 2 * rx2;
        if (p > 0) {
            p += 4 * (rx2 - py);
        } else {
            ++x;
            px += 2 * ry2;
            p += 4 * (rx2 - py + px);
        }
    }
    return out;
}

void SelectionOutline::DrawPolygon(int segments, float radius) {
    auto pts = PolygonPoints(segments, radius);
    glBegin(pts.size() == 1 ? GL_POINTS : GL_LINE_LOOP);
    for (auto [x, y] : pts) glVertex2f(x, y);
    glEnd();
}

void SelectionOutline::Draw(float radius) {
    glBegin(GL_POINTS);
    for (auto [x, y] : CirclePoints(radius)) glVertex2i(x, y);
    glEnd();
}

void SelectionOutline::DrawPixels(int a, int b) {
    glBegin(GL_POINTS);
    for (auto [x, y] : EllipsePoints(a, b)) glVertex2i(x, y);
    glEnd();
}

}  // namespace orva
