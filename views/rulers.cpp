#include "views/rulers.h"

#include <cmath>
#include <mutex>

#include "data/kernel_util.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "app/graphics_window.h"
#include "views/display_cell.h"
#include "views/workspace.h"

namespace orva {

namespace {

uint32_t (*gModifierSource)() = nullptr;

ViewRulers* RulersOfWidget(const gElement* widget) {
    return dynamic_cast<ViewRulers*>(ScaleControlOf(widget));
}

bool LiveWidget(const gElement* e) { return e != nullptr && gWgtIsLive(e); }

// The rulers' window painted at once after a marker moved.
void RepaintRulerWindow(ViewRulers* r) {
    gElement* e = LiveWidget(r->widgetH) ? r->widgetH : r->widgetV;
    if (LiveWidget(e)) PaintWindowNow(e->window, true);
}

// The window a view option repaints: the workspace's, else the cell's.
void RepaintOptionWindow(DisplayComponent* cell) {
    gWindow* w = cell->workspace != nullptr && cell->workspace->window != nullptr ? cell->workspace->window
                                                                                   : cell->window;
    PaintWindowNow(w, true);
}

bool ShowsChart(const DisplayComponent* cell) {
    const OutputWindow* w = cell->currentWindow;
    return w != nullptr && SameComponentId(w->GetClassId(), &kChartWindowId);
}

void SetCursorIfChanged(gElement* widget, int which) {
    if (!LiveWidget(widget) || widget->window == nullptr || which == 0) return;
    platform::Cursor cursor = RulerCursor(which);
    if (cursor == nullptr || widget->cursor == cursor) return;
    widget->cursor = cursor;
    gWindow* w = widget->window;
    if (w->cursor != cursor) {
        w->cursor = cursor;
        platform::SetCursor(cursor);
    }
}

void ShowWidgets(ViewRulers* r, bool show) {
    for (gElement* e : {r->widgetH, r->widgetV})
        if (LiveWidget(e)) e->shown = show ? 1 : 0;
}

// Moves over one ruler: the marker from the point, the cursor, the repaint.
void RulerMove(gElement* widget, const platform::Point* point, bool vertical) {
    ViewRulers* r = RulersOfWidget(widget);
    if (r == nullptr || point == nullptr) return;
    bool alt = (RulerModifiersNow() & kKeyAlt) != 0;
    int which = RulerMarkerFromPoint(r, vertical, static_cast<float>(point->x), static_cast<float>(point->y), alt);
    SetCursorIfChanged(widget, which);
    RepaintRulerWindow(r);
}

void RulerHover(gElement* widget, const platform::Point* point, bool vertical) {
    ViewRulers* r = RulersOfWidget(widget);
    if (r == nullptr) return;
    if (widget->highlight == 0) {
        r->bothAxes = 0;
        r->markerX = r->markerY = -1;
        return;
    }
    if (!vertical && point != nullptr && LiveWidget(r->widgetV))
        r->bothAxes = static_cast<float>(point->x) < r->widgetV->x + r->widgetV->width ? 1 : 0;
    RulerMove(widget, point, vertical);
}

}  // namespace

void RulersWheel(ViewRulers* r, bool vertical, int delta, int keys) {
    int32_t notches = delta / 120;
    if (r == nullptr || notches == 0 || r->target == nullptr) return;
    auto* target = dynamic_cast<GraphicsWindow*>(r->target);
    if (target == nullptr) return;
    const bool ctrl = (keys & 0x8) != 0, shift = (keys & 0x4) != 0;
    if (vertical) {
        target->ScrollStepY(notches, ctrl);
    } else {
        target->ScrollBy(notches, ctrl, shift);
    }
}

namespace {

int RulerKey(gElement* widget, const gKeyEvent* key, bool vertical) {
    ViewRulers* r = RulersOfWidget(widget);
    if (r == nullptr || key == nullptr || widget->highlight == 0) return 0;
    if ((key->code & kKeyAlt) != 0 && widget->window != nullptr) {
        platform::Point p;
        if (platform::GetCursorPos(&p) && platform::ScreenToClient(widget->window->hwnd, &p)) {
            int32_t beforeX = r->markerX, beforeY = r->markerY;
            int which = RulerMarkerFromPoint(r, vertical, static_cast<float>(p.x), static_cast<float>(p.y), true);
            SetCursorIfChanged(widget, which);
            if (beforeX != r->markerX || beforeY != r->markerY) RepaintRulerWindow(r);
        }
    }
    return 1;
}

}  // namespace

ViewRulers::ViewRulers(float verticalWidth, float horizontalHeight)
    : SliderCtrl(verticalWidth, horizontalHeight), thickness{verticalWidth, horizontalHeight} {}

uint32_t RulerModifiersNow() { return gModifierSource != nullptr ? gModifierSource() : gKeyModifiersNow(); }

void SetRulerModifierSource(uint32_t (*source)()) { gModifierSource = source; }

platform::Cursor RulerCursor(int which) {
    switch (which) {
        case 1: return platform::LoadCursor(platform::kIdcSizeWe);
        case 2: return platform::LoadCursor(platform::kIdcSizeNs);
        case 3: return platform::LoadCursor(platform::kIdcCross);
        default: return nullptr;
    }
}

// ---- Placing ----------------------------------------------------------------------------------

void RulersPlace(ViewRulers* r, float x, float y, float width, float height) {
    if (r == nullptr) return;
    const float hThick = r->thickness[1], vThick = r->thickness[0];
    if (LiveWidget(r->widgetH)) {
        gElement* h = r->widgetH;
        h->x = h->placedX = h->homeX = x;
        h->y = h->placedY = h->homeY = y;
        h->width = h->cellWidth = width;
        h->height = h->cellHeight = hThick;
    }
    if (LiveWidget(r->widgetV)) {
        gElement* v = r->widgetV;
        v->x = v->placedX = v->homeX = x;
        v->y = v->placedY = v->homeY = y + hThick;
        v->width = v->cellWidth = vThick;
        v->height = v->cellHeight = height - hThick;
    }
    r->inner[0] = width - x;
    r->inner[1] = height - hThick - y;
}

void CellSetCursorPoint(ViewRulers* r, float x, float y) {
    if (r == nullptr) return;
    if (LiveWidget(r->widgetH)) r->widgetH->width = r->widgetH->cellWidth = x;
    if (LiveWidget(r->widgetV)) r->widgetV->height = r->widgetV->cellHeight = y - r->thickness[1];
    r->inner[0] = x - (LiveWidget(r->widgetH) ? r->widgetH->x : 0.0f);
    r->inner[1] = y - (LiveWidget(r->widgetV) ? r->widgetV->y : 0.0f);
}

bool RulersAttach(ViewRulers* r, gWindow* window, const float* rect, OutputWindow* target) {
    if (r == nullptr || rect == nullptr) return false;
    if (LiveWidget(r->widgetH) && LiveWidget(r->widgetV)) {
        ShowWidgets(r, target != nullptr);
        r->target = target;
        CellSetCursorPoint(r, rect[0] + rect[2], rect[1] + rect[3]);
        return true;
    }
    if (window == nullptr || !r->Show(window, true, window->font, reinterpret_cast<uintptr_t>(r))) {
        ShowWidgets(r, false);
        r->target = nullptr;
        return false;
    }
    r->target = target;
    r->widgetH->onHover = &RulerHHover;
    r->widgetH->onWheel = &RulerHWheel;
    gWgtSetKeyHandler(r->widgetH, &RulerHKey);
    r->widgetV->onHover = &RulerVHover;
    r->widgetV->onWheel = &RulerVWheel;
    gWgtSetKeyHandler(r->widgetV, &RulerVKey);
    r->widgetH->style |= kRulerWidgetStyle;
    r->widgetV->style |= kRulerWidgetStyle;
    // The rulers follow the pointer: they take the hover.
    for (gElement* e : {r->widgetH, r->widgetV}) e->state0 = e->active = 1;
    RulersPlace(r, rect[0], rect[1], rect[2], rect[3]);
    return true;
}

void HideRulers(DisplayComponent* cell) {
    if (cell == nullptr || !ComponentUiUp()) return;
    ViewRulers& r = cell->rulers;
    ShowWidgets(&r, false);
    r.target = nullptr;
    OutPort* port = cell->port;
    if (port == nullptr) return;
    for (OutputWindow* w = port->firstWindow; w != nullptr; w = w->next) {
        auto* gw = dynamic_cast<GraphicsWindow*>(w);
        GraphicsHost* host = gw != nullptr ? gw->Host() : nullptr;
        SliderCtrl* other = host != nullptr ? host->sliders : nullptr;
        if (other == nullptr || other == &r) continue;
        for (gElement* e : {other->widgetH, other->widgetV})
            if (LiveWidget(e)) e->shown = 0;
    }
}

void RulersShowForCell(DisplayComponent* cell) {
    if (cell == nullptr || !ComponentUiUp() || gWinValidate(cell->window) == nullptr) return;
    ViewRulers& r = cell->rulers;
    GraphicsWindow* gw = cell->Graphics();
    // Hidden while the cell's port was reset; the graphics window that comes next (the
    // next file in the cell) shows the rulers the user switched on.
    if (r.hidden != 0 && r.shown != 0 && (gw == nullptr || r.target == gw)) return;
    r.hidden = 0;
    const bool want = r.shown != 0 && (r.scaleShown[0] != 0 || r.scaleShown[1] != 0) && gw != nullptr;
    // A new graphics window (another file in the cell) takes the rulers over.
    if (want && RulersAttach(&r, cell->window, cell->cellRect, gw)) {
        r.hidden = 0;
        RulersPlace(&r, cell->cellRect[0], cell->cellRect[1], cell->cellRect[2], cell->cellRect[3]);
        if (LiveWidget(r.widgetH)) r.widgetH->shown = r.scaleShown[0];
        if (LiveWidget(r.widgetV)) r.widgetV->shown = r.scaleShown[1];
    } else {
        ShowWidgets(&r, false);
    }
}

void DisplayApplyRulers(DisplayComponent* cell) {
    if (cell == nullptr || !ComponentUiUp() || gWinValidate(cell->window) == nullptr) return;
    cell->rulers.hidden = 0;
    // The picture takes the room the rulers leave and its window places their labels for
    // the frame shown beside them (Relayout shows the rulers and activates the window).
    DisplaySyncHost(cell);
    cell->Relayout();
    DisplaySyncHost(cell);
}

void RulersFollowKeyFlag(DisplayComponent* cell) {
    ViewRulers* r = RulersOfCell(cell);
    if (r == nullptr) return;
    r->scaleShown[0] = (r->horizontal.flags & kRulerKeyFlag) != 0 ? 1 : 0;
    r->scaleShown[1] = (r->vertical.flags & kRulerKeyFlag) != 0 ? 1 : 0;
    r->shown = r->scaleShown[0] != 0 || r->scaleShown[1] != 0 ? 1 : 0;
    r->SelectPainters();
    if (r == &cell->rulers) DisplayApplyRulers(cell);
}

// ---- Markers ------------------------------------------------------------------------------------

int RulerMarkerFromPoint(ViewRulers* r, bool vertical, float x, float y, bool alt) {
    if (r == nullptr) return 0;
    const gElement* h = LiveWidget(r->widgetH) ? r->widgetH : nullptr;
    const gElement* v = LiveWidget(r->widgetV) ? r->widgetV : nullptr;
    auto alongX = [&] { return kernel::SaturateRound<int32_t>(x - ((v != nullptr ? v->x + v->width : 0.0f))); };
    auto alongY = [&] { return kernel::SaturateRound<int32_t>(y - ((h != nullptr ? h->y + h->height : 0.0f))); };
    int which = 0;
    if (!vertical) {
        if (alt) {
            r->markerX = alongX();
            r->markerY = -1;
            if (r->markerX > 0) which = 1;
        } else {
            r->markerY = alongY();
            r->markerX = r->bothAxes != 0 ? alongX() : -1;
            if (r->markerY > 0) which = r->bothAxes != 0 ? 3 : 2;
        }
    } else {
        if (alt) {
            r->markerY = alongY();
            r->markerX = -1;
            if (r->markerY > 0) which = 2;
        } else {
            r->markerX = alongX();
            r->markerY = r->bothAxes != 0 ? alongY() : -1;
            if (r->markerX > 0) which = r->bothAxes != 0 ? 3 : 1;
        }
    }
    return which;
}

void RulerHMove(gElement* widget, const platform::Point* point) { RulerMove(widget, point, false); }
void RulerVMove(gElement* widget, const platform::Point* point) { RulerMove(widget, point, true); }
void RulerHHover(gElement* widget, const platform::Point* point) { RulerHover(widget, point, false); }
void RulerVHover(gElement* widget, const platform::Point* point) { RulerHover(widget, point, true); }
void RulerHWheel(gElement* widget, int delta, int keys) { RulersWheel(RulersOfWidget(widget), false, delta, keys); }
void RulerVWheel(gElement* widget, int delta, int keys) { RulersWheel(RulersOfWidget(widget), true, delta, keys); }
int RulerHKey(gElement* widget, const gKeyEvent* key) { return RulerKey(widget, key, false); }
int RulerVKey(gElement* widget, const gKeyEvent* key) { return RulerKey(widget, key, true); }

// ---- The widget's layout ----------------------------------------------------------------------------

void DisplayOnWidgetLayout(gElement* widget) {
    DisplayComponent* cell = DisplayOfWidget(widget);
    if (cell == nullptr) return;
    cell->plotWidth = PlotSizeFromFloat(widget->width);
    cell->plotHeight = PlotSizeFromFloat(widget->height);
    OutPort* port = cell->port;
    if (port == nullptr) return;
    ViewRulers& r = cell->rulers;
    if (r.shown != 0 && r.hidden == 0 && (LiveWidget(r.widgetH) || LiveWidget(r.widgetV)))
        RulersPlace(&r, cell->cellRect[0], cell->cellRect[1], cell->cellRect[2], cell->cellRect[3]);
    const ComponentServices& s = TheComponentServices();
    bool alone = cell->ActiveOrAlone();
    for (DeviceViewBase* d = port->firstDevice; d != nullptr; d = d->portNext) {
        if (d->frozen != 0 || d->pin.upstream == nullptr) continue;
        if (d->window != nullptr && d->window->allFrozen != 0) continue;
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (alone && d == cell->currentDevice) {
            if (s.pollComponentState != nullptr && cell->currentWindow != nullptr)
                s.pollComponentState(cell->currentWindow);
        } else {
            PollDeviceAndGroup(d);
        }
    }
    WorkspaceComponent* ws = cell->workspace;
    if (ws != nullptr && cell->IsActive() && ws->previewOn != 0) {
        if (GraphicsWindow* gw = cell->Graphics()) {
            gw->SetFrameRect(&ws->preview);
        } else if (ws->previewRendered != 0) {
            ws->previewRendered = 0;
            gWindow* pw = ws->preview.widget != nullptr ? ws->preview.widget->window : nullptr;
            if (pw != nullptr && TheDisplayHooks().makeCurrent != nullptr && TheDisplayHooks().makeCurrent(pw))
                ws->preview.image.Release();
            MarkWindowForRedraw(pw);
        }
    }
}

// ---- View options ------------------------------------------------------------------------------------

namespace {

// The ruler keys toggle a scale's key flag to show or hide it: the flag follows what the
// view options showed, so that the next key press acts from what is on the screen.
void KeepKeyFlags(ViewRulers* r) {
    SliderCtrl::SetFlags(&r->horizontal, kRulerKeyFlag, r->shown != 0 && r->scaleShown[0] != 0);
    SliderCtrl::SetFlags(&r->vertical, kRulerKeyFlag, r->shown != 0 && r->scaleShown[1] != 0);
}

}  // namespace

ViewRulers* RulersOfCell(const DisplayComponent* cell) {
    GraphicsWindow* gw = cell != nullptr ? cell->Graphics() : nullptr;
    if (gw == nullptr) return nullptr;
    GraphicsHost* host = gw->Host();
    SliderCtrl* named = host != nullptr ? host->sliders : nullptr;
    if (named == nullptr || named == &cell->rulers) return const_cast<ViewRulers*>(&cell->rulers);
    return dynamic_cast<ViewRulers*>(named);
}

int32_t SetRulersShown(DisplayComponent* cell, bool on) {
    ViewRulers* r = RulersOfCell(cell);
    if (r == nullptr) return 0;
    uint8_t value = on ? 1 : 0;
    if (value == r->shown && (r->scaleShown[0] != 0 || r->scaleShown[1] != 0)) return 0;
    int32_t result = 1;
    r->shown = value;
    if (on && r->scaleShown[0] == 0 && r->scaleShown[1] == 0) {
        r->scaleShown[0] = r->scaleShown[1] = 1;
        result = 2;
    }
    r->SelectPainters();
    KeepKeyFlags(r);
    if (r == &cell->rulers) DisplayApplyRulers(cell);
    RepaintOptionWindow(cell);
    return result;
}

int32_t ToggleRulersShown(DisplayComponent* cell) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr ? SetRulersShown(cell, r->shown == 0) : 0;
}

namespace {

int32_t SetScaleShown(DisplayComponent* cell, int which, bool on) {
    ViewRulers* r = RulersOfCell(cell);
    if (r == nullptr) return 0;
    uint8_t before = r->shown;
    r->scaleShown[which] = on ? 1 : 0;
    if (on) {
        r->shown = 1;
    } else if (r->scaleShown[1 - which] == 0) {
        r->shown = 0;
    }
    r->SelectPainters();
    KeepKeyFlags(r);
    if (r == &cell->rulers) DisplayApplyRulers(cell);
    RepaintOptionWindow(cell);
    return r->shown != before ? 2 : 1;
}

// A byte option: stored, repainted when `repaint`; true when it changed.
bool SetByteOption(DisplayComponent* cell, uint8_t ViewRulers::*field, uint8_t value, bool repaint) {
    ViewRulers* r = RulersOfCell(cell);
    if (r == nullptr || r->*field == value) return false;
    r->*field = value;
    if (repaint) RepaintOptionWindow(cell);
    return true;
}

// The same for the options the toolkit's scales keep.
bool SetSliderOption(DisplayComponent* cell, uint8_t SliderCtrl::*field, uint8_t value, bool colours) {
    ViewRulers* r = RulersOfCell(cell);
    if (r == nullptr || r->*field == value) return false;
    r->*field = value;
    if (colours) {
        SliderCtrl::SetColours(&r->horizontal, r->light != 0, r->tint != 0);
        SliderCtrl::SetColours(&r->vertical, r->light != 0, r->tint != 0);
    }
    RepaintOptionWindow(cell);
    return true;
}

template <class Getter>
bool ToggleWith(DisplayComponent* cell, Getter get, bool (*set)(DisplayComponent*, bool)) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr && set(cell, get(r) == 0);
}

}  // namespace

int32_t SetHorizontalScaleShown(DisplayComponent* cell, bool on) { return SetScaleShown(cell, 0, on); }
int32_t SetVerticalScaleShown(DisplayComponent* cell, bool on) { return SetScaleShown(cell, 1, on); }

int32_t ToggleHorizontalScaleShown(DisplayComponent* cell) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr ? SetScaleShown(cell, 0, r->scaleShown[0] == 0) : 0;
}

int32_t ToggleVerticalScaleShown(DisplayComponent* cell) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr ? SetScaleShown(cell, 1, r->scaleShown[1] == 0) : 0;
}

bool SetRulerOptionD(DisplayComponent* cell, bool on) {
    return SetByteOption(cell, &ViewRulers::optionD, on ? 1 : 0, true);
}
bool ToggleRulerOptionD(DisplayComponent* cell) {
    return ToggleWith(cell, [](ViewRulers* r) { return r->optionD; }, &SetRulerOptionD);
}
bool SetRulerOptionC(DisplayComponent* cell, bool on) {
    return SetByteOption(cell, &ViewRulers::optionC, on ? 1 : 0, false);
}
bool ToggleRulerOptionC(DisplayComponent* cell) {
    return ToggleWith(cell, [](ViewRulers* r) { return r->optionC; }, &SetRulerOptionC);
}
bool SetRulerOptionA(DisplayComponent* cell, bool on) {
    return SetSliderOption(cell, &SliderCtrl::flagA, on ? 1 : 0, false);
}
bool ToggleRulerOptionA(DisplayComponent* cell) {
    return ToggleWith(cell, [](ViewRulers* r) { return r->flagA; }, &SetRulerOptionA);
}
bool SetRulerOptionB(DisplayComponent* cell, bool on) {
    return SetSliderOption(cell, &SliderCtrl::flagB, on ? 1 : 0, false);
}
bool ToggleRulerOptionB(DisplayComponent* cell) {
    return ToggleWith(cell, [](ViewRulers* r) { return r->flagB; }, &SetRulerOptionB);
}
bool SetRulerColourSet(DisplayComponent* cell, uint8_t index) {
    return SetSliderOption(cell, &SliderCtrl::tint, index, true);
}
bool ToggleRulerColourSet(DisplayComponent* cell) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr && SetRulerColourSet(cell, r->tint == 0 ? 1 : 0);
}
bool SetRulerColourVariant(DisplayComponent* cell, uint8_t variant) {
    return SetSliderOption(cell, &SliderCtrl::light, variant, true);
}
bool ToggleRulerColourVariant(DisplayComponent* cell) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr && SetRulerColourVariant(cell, r->light == 0 ? 1 : 0);
}

ChartToggleHooks& TheChartToggleHooks() {
    static ChartToggleHooks hooks;
    return hooks;
}

bool DisplayIsNotChart(const DisplayComponent* cell) {
    return cell == nullptr || !cell->ActiveOrAlone() || !ShowsChart(cell);
}

bool SetChartToggle(DisplayComponent* cell, bool which, bool on) {
    ViewRulers* r = RulersOfCell(cell);
    if (r == nullptr) return false;
    r->chartToggle[which ? 0 : 1] = on ? 1 : 0;
    if (!DisplayIsNotChart(cell)) {
        const ChartToggleHooks& h = TheChartToggleHooks();
        auto op = which ? h.first : h.second;
        if (op != nullptr) op(cell->currentWindow, on);
    }
    return true;
}

bool ToggleChartToggle(DisplayComponent* cell, bool which) {
    ViewRulers* r = RulersOfCell(cell);
    return r != nullptr && SetChartToggle(cell, which, r->chartToggle[which ? 0 : 1] == 0);
}

}  // namespace orva
