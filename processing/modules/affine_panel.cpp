#include "processing/modules/affine_panel.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "common/global_buffer.h"
#include "common/number_text.h"
#include "framework/display_lock.h"
#include "processing/modules/affine_module.h"
#include "processing/modules/filter_page.h"
#include "processing/processing_component.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"
#include "toolkit/text_layout.h"
#include "toolkit/window.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

constexpr float kRow = 17.0f;
constexpr float kRowStep = 19.0f;
constexpr float kArrow = 10.0f;
constexpr float kInset = 6.0f;
constexpr float kGap = 2.0f;
constexpr float kAngleLabel = 92.0f;
constexpr double kUnknownFrameLowest = 0.001;

const char* const kNoName = "[noname]";

bool Held(uint32_t modifiers, uint32_t bits) { return (modifiers & bits) != 0; }

// The table row of the modifiers held: bit 0 Shift, bit 1 Ctrl, bit 2 Alt.
int ModifierRow(uint32_t modifiers) {
    return (Held(modifiers, kKeyShift) ? 1 : 0) | (Held(modifiers, kKeyCtrl) ? 2 : 0) |
           (Held(modifiers, kKeyAlt) ? 4 : 0);
}

AffineRecord* RecordOf(AffinePanel* p) { return p != nullptr && p->state != nullptr ? &p->state->head.record : nullptr; }
bool Usable(const AffinePanel* p) { return p != nullptr && p->instance != nullptr && p->state != nullptr; }

void Redraw(const AffinePanel* p) {
    if (p != nullptr) FilterPageRepaint(p->root);
}

void SetText(gElement* e, const char* text) {
    if (e != nullptr && e->text != (text != nullptr ? text : "")) gWgtSetText(e, text);
}

// A number with at most twelve decimals, trailing zeros and point removed; "0.0" for zero.
std::string AngleText(double degrees) {
    if (degrees == 0.0) return "0.0";
    char text[64];
    std::snprintf(text, sizeof text, "%.12f", degrees);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// The number of a typed text; a trailing "%" and blanks around it are allowed.
bool ReadNumber(const char* text, double* value) {
    if (text == nullptr) return false;
    std::string s = text;
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    if (!s.empty() && s.back() == '%') s.pop_back();
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    s.erase(0, first);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || *end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

void ShowZoom(AffinePanel* p, int axis) {
    const AffineRecord* r = RecordOf(p);
    if (r == nullptr) return;
    char text[40];
    AffinePercentText(axis == 0 ? r->zoomX : r->zoomY, text);
    SetText(p->geometry[axis == 0 ? kAffineZoomX : kAffineZoomY], text);
}

void ShowAngle(AffinePanel* p) {
    const AffineRecord* r = RecordOf(p);
    if (r != nullptr) SetText(p->geometry[kAffineAngle], AngleText(r->angle).c_str());
}

void ShowNames(AffinePanel* p) {
    const char* method = p->instance != nullptr ? AffineMethodName(p->instance) : nullptr;
    SetText(p->method, method != nullptr ? method : kNoName);
    const char* mode = p->instance != nullptr ? AffineModeName(p->instance) : nullptr;
    SetText(p->mode, mode != nullptr ? mode : kNoName);
}

void SetZoomOf(AffineRecord* r, int axis, double zoom) {
    if (axis == 0) {
        AffineRecordSetZoomX(r, zoom);
    } else {
        AffineRecordSetZoomY(r, zoom);
    }
}

// The root goes (with its children): the page record goes with it.
void PanelGone(gElement* root) {
    auto* panel = reinterpret_cast<AffinePanel*>(root->handlerData);
    root->handlerData = 0;
    if (panel == nullptr) return;
    if (panel->state != nullptr && panel->state->panel == panel) panel->state->panel = nullptr;
    delete panel;
}

AffinePanel* Of(uintptr_t data) { return reinterpret_cast<AffinePanel*>(data); }

// The repeat count of a step button: the toolkit's count while this button repeats.
int32_t RepeatOf(const gElement* button) { return gRepeatWidget == button ? gRepeatCount : 0; }

void OnMethodPrevious(gElement*, uintptr_t d) { AffinePanelStepMethod(Of(d), false); }
void OnMethodNext(gElement*, uintptr_t d) { AffinePanelStepMethod(Of(d), true); }
void OnModePrevious(gElement*, uintptr_t d) { AffinePanelStepMode(Of(d), false); }
void OnModeNext(gElement*, uintptr_t d) { AffinePanelStepMode(Of(d), true); }
void OnFilter(gElement* e, uintptr_t d) { AffinePanelSetFilter(Of(d), e->value != 0); }
void OnLock(gElement* e, uintptr_t d) { AffinePanelSetLock(Of(d), e->value != 0); }
void OnOrder(gElement*, uintptr_t d) { AffinePanelToggleOrder(Of(d)); }
void OnVertical(gElement* e, uintptr_t d) { AffinePanelSetMirror(Of(d), false, e->value != 0); }
void OnHorizontal(gElement* e, uintptr_t d) { AffinePanelSetMirror(Of(d), true, e->value != 0); }
void OnAngleTyped(gElement* e, uintptr_t d) { AffinePanelTypedAngle(Of(d), e->text.c_str()); }
void OnAngleReset(gElement*, uintptr_t d) { AffinePanelSetAngle(Of(d), 0.0); }
void OnAngleDown(gElement*, uintptr_t d) { AffinePanelStepAngle(Of(d), false, gKeyModifiersNow()); }
void OnAngleUp(gElement*, uintptr_t d) { AffinePanelStepAngle(Of(d), true, gKeyModifiersNow()); }
void OnDefault(gElement*, uintptr_t d) { AffinePanelDefaultZoom(Of(d)); }
void OnLink(gElement* e, uintptr_t d) { AffinePanelSetLink(Of(d), e->value != 0); }
void OnZoomXTyped(gElement* e, uintptr_t d) { AffinePanelTypedZoom(Of(d), 0, e->text.c_str()); }
void OnZoomYTyped(gElement* e, uintptr_t d) { AffinePanelTypedZoom(Of(d), 1, e->text.c_str()); }
void OnZoomXReset(gElement*, uintptr_t d) { AffinePanelResetZoom(Of(d), 0); }
void OnZoomYReset(gElement*, uintptr_t d) { AffinePanelResetZoom(Of(d), 1); }
void OnZoomXDown(gElement* e, uintptr_t d) { AffinePanelStepZoom(Of(d), 0, false, gKeyModifiersNow(), RepeatOf(e)); }
void OnZoomXUp(gElement* e, uintptr_t d) { AffinePanelStepZoom(Of(d), 0, true, gKeyModifiersNow(), RepeatOf(e)); }
void OnZoomYDown(gElement* e, uintptr_t d) { AffinePanelStepZoom(Of(d), 1, false, gKeyModifiersNow(), RepeatOf(e)); }
void OnZoomYUp(gElement* e, uintptr_t d) { AffinePanelStepZoom(Of(d), 1, true, gKeyModifiersNow(), RepeatOf(e)); }

}  // namespace

// ---- Numbers ---------------------------------------------------------------------------------

double AffineAngleStep(uint32_t modifiers) {
    static const double kSteps[8] = {0.1, 1.0, 0.01, 0.1, 90.0, 180.0, 45.0, 90.0};
    return kSteps[ModifierRow(modifiers)];
}

double AffineZoomStep(uint32_t modifiers) {
    static const double kSteps[8] = {0.001, 0.01, 0.0001, 0.001, 1.0, 2.0, 0.1, 1.0};
    return kSteps[ModifierRow(modifiers)];
}

double AffineSteppedAngle(double angle, bool up, uint32_t modifiers) {
    const double step = AffineAngleStep(modifiers);
    if (up) {
        angle += step;
        if (angle >= 360.0) angle -= 360.0;
    } else {
        angle -= step;
        if (angle <= -360.0) angle += 360.0;
    }
    return angle;
}

double AffineSteppedZoom(double zoom, bool up, uint32_t modifiers, int32_t repeat, double lowest) {
    const double step = AffineZoomStep(modifiers) * (static_cast<double>(repeat < 0 ? 0 : repeat) + 1.0);
    if (up) {
        zoom += step;
        if (zoom > kAffineMaxZoom) zoom = kAffineMaxZoom;
    } else {
        zoom -= step;
        if (zoom < lowest) zoom = lowest;
    }
    SnapDoubleTo1e4(&zoom);
    return zoom;
}

void AffinePercentText(double zoom, char text[40]) {
    const double percent = zoom * 100.0;
    if (percent < 0.1 || std::fabs(percent) < 1e-12) {
        const int n = FormatDouble(13, 3, percent, text);
        std::snprintf(text + (n > 0 ? n : 0), 2, "%%");
        return;
    }
    char digits[23];
    std::snprintf(digits, sizeof digits, "%.12f", percent);
    std::string s = digits;
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.pop_back();
    }
    std::snprintf(text, 40, "%s%%", s.c_str());
}

bool AffineTypedZoom(const char* text, double lowest, double* factor) {
    double percent = 0.0;
    if (factor == nullptr || !ReadNumber(text, &percent) || !(percent > 0.0)) return false;
    double z = percent / 100.0;
    if (z < lowest) z = lowest;
    if (z > kAffineMaxZoom) z = kAffineMaxZoom;
    *factor = z;
    return true;
}

double AffineLowestZoom(FilterInstance* instance, int axis) {
    if (instance == nullptr) return kUnknownFrameLowest;
    Hold hold(DisplayLock());
    const FrameDataRecord* d = ChainFirstCall(&instance->block, -1, -1);
    if (d == nullptr) return kUnknownFrameLowest;
    const int64_t size = axis == 0 ? d->width : d->height;
    // INT64_MAX: the extent is not known.
    if (size <= 0 || size == INT64_MAX) return kUnknownFrameLowest;
    return 1.0 / static_cast<double>(size);
}

// ---- The page ----------------------------------------------------------------------------------

AffinePanel* AffinePanelOf(void* page) {
    auto* root = static_cast<gElement*>(page);
    if (root == nullptr || !gWgtIsLive(root) || root->onDestroy != PanelGone) return nullptr;
    return reinterpret_cast<AffinePanel*>(root->handlerData);
}

void AffinePanelDetach(AffinePanel* panel) {
    if (panel == nullptr) return;
    panel->instance = nullptr;
    panel->state = nullptr;
}

void* AffineBuildPanel(FilterInstance* instance, void* area) {
    auto* window = static_cast<gWindow*>(area);
    AffineModuleState* state = AffineStateOf(instance);
    if (window == nullptr || gWinValidate(window) == nullptr || state == nullptr) return nullptr;
    auto* panel = new (std::nothrow) AffinePanel;
    if (panel == nullptr) return nullptr;
    panel->instance = instance;
    panel->state = state;

    const float width = FilterPageWidth(window);
    const float inner = width - 8.0f - 2 * kInset;
    const float rows = 8;
    gElement* root = FilterPageAdd(window, nullptr, 14, 4.0f, 4.0f, width - 8.0f, 2 * kInset + rows * kRowStep,
                                   FilterPagePaintFrame, nullptr, &PanelGone);
    if (root == nullptr) {
        delete panel;
        return nullptr;
    }
    root->handlerData = reinterpret_cast<uintptr_t>(panel);
    panel->root = root;
    if (state->panel != nullptr) AffinePanelDetach(state->panel);  // one page shows an instance
    state->panel = panel;

    const float x0 = 4.0f + kInset, y0 = 4.0f + kInset;
    float y = y0;
    auto add = [&](int32_t kind, float x, float w, const char* text, void (*paint)(gElement*),
                   void (*click)(gElement*, uintptr_t)) {
        gElement* e = FilterPageAdd(window, root, kind, x, y, w, kRow, paint, click);
        if (e == nullptr) return e;
        if (text != nullptr) gWgtSetText(e, text);
        e->handlerData = reinterpret_cast<uintptr_t>(panel);
        return e;
    };
    auto field = [&](float x, float w, const char* text, void (*commit)(gElement*, uintptr_t)) {
        gElement* e = add(6, x, w, text, nullptr, nullptr);
        if (e != nullptr) {
            e->onChange = commit;
            e->style &= ~kWsNoPlace;
        }
        return e;
    };
    // A row's text and its two arrows at the right end.
    auto named = [&](float x, gElement** text, gElement** previous, gElement** next,
                     void (*onPrevious)(gElement*, uintptr_t), void (*onNext)(gElement*, uintptr_t)) {
        const float right = x0 + inner;
        const float textWidth = right - x - 2 * (kArrow + kGap);
        *text = add(6, x, textWidth, kNoName, nullptr, nullptr);
        *previous = add(40, right - 2 * kArrow - kGap, kArrow, nullptr, FilterPagePaintPrevious, onPrevious);
        *next = add(40, right - kArrow, kArrow, nullptr, FilterPagePaintNext, onNext);
    };
    named(x0, &panel->method, &panel->methodPrevious, &panel->methodNext, &OnMethodPrevious, &OnMethodNext);
    y += kRowStep;
    panel->filter = add(47, x0, 60.0f, "Filter", nullptr, &OnFilter);
    named(x0 + 60.0f + kGap, &panel->mode, &panel->modePrevious, &panel->modeNext, &OnModePrevious, &OnModeNext);
    y += kRowStep;
    panel->lock = add(47, x0, 60.0f, "Lock", nullptr, &OnLock);
    gElement** g = panel->geometry;
    g[kAffineOrder] = add(37, x0 + 60.0f + kGap, 124.0f, kAffineOrderNames[0], nullptr, &OnOrder);
    y += kRowStep;
    add(3, x0, 60.0f, "Flipping:", nullptr, nullptr);
    g[kAffineVertical] = add(47, x0 + 60.0f + kGap, 61.0f, "Vertical", nullptr, &OnVertical);
    g[kAffineHorizontal] = add(47, x0 + 123.0f + kGap, 61.0f, "Horizontal", nullptr, &OnHorizontal);
    y += kRowStep;
    // A step pair: down then up, at x.
    auto steps = [&](float x, gElement** down, gElement** up, void (*onDown)(gElement*, uintptr_t),
                     void (*onUp)(gElement*, uintptr_t)) {
        *down = add(40, x, kArrow, nullptr, FilterPagePaintPrevious, onDown);
        *up = add(40, x + kArrow + kGap, kArrow, nullptr, FilterPagePaintNext, onUp);
    };
    // The label is as wide as its text needs in the page font.
    add(3, x0, kAngleLabel, "Rotate angle [Z]:", nullptr, nullptr);
    float x = x0 + kAngleLabel + kGap;
    g[kAffineAngle] = field(x, 54.0f, "0.0", &OnAngleTyped);
    x += 54.0f + kGap;
    g[kAffineAngleReset] = add(37, x, 13.0f, "0", nullptr, &OnAngleReset);
    steps(x + 13.0f + kGap, &g[kAffineAngleDown], &g[kAffineAngleUp], &OnAngleDown, &OnAngleUp);
    y += kRowStep;
    add(3, x0, 60.0f, "Scale:", nullptr, nullptr);
    g[kAffineDefault] = add(37, x0 + 60.0f + kGap, 58.0f, "Default", nullptr, &OnDefault);
    g[kAffineLink] = add(47, x0 + 120.0f + 2 * kGap, 63.0f, "Link [XY]", nullptr, &OnLink);
    y += kRowStep;
    struct Axis {
        const char* label;
        int first;
        void (*typed)(gElement*, uintptr_t);
        void (*reset)(gElement*, uintptr_t);
        void (*down)(gElement*, uintptr_t);
        void (*up)(gElement*, uintptr_t);
    };
    const Axis axes[2] = {{"X:", kAffineZoomX, &OnZoomXTyped, &OnZoomXReset, &OnZoomXDown, &OnZoomXUp},
                          {"Y:", kAffineZoomY, &OnZoomYTyped, &OnZoomYReset, &OnZoomYDown, &OnZoomYUp}};
    for (const Axis& a : axes) {
        add(3, x0, 14.0f, a.label, nullptr, nullptr);
        x = x0 + 14.0f + kGap;
        g[a.first] = field(x, 80.0f, "100%", a.typed);
        x += 80.0f + kGap;
        g[a.first + 1] = add(37, x, 13.0f, "1", nullptr, a.reset);
        steps(x + 13.0f + kGap, &g[a.first + 2], &g[a.first + 3], a.down, a.up);
        y += kRowStep;
    }
    AffineRefreshPanel(panel);
    return root;
}

void AffineRefreshPanel(AffinePanel* p) {
    if (p == nullptr) return;
    const AffineRecord* r = RecordOf(p);
    ShowNames(p);
    if (p->state != nullptr) {
        if (p->filter != nullptr) p->filter->value = (p->state->head.flags & kAffineFilterOn) != 0 ? 1u : 0u;
        const bool locked = p->state->head.flag != 0;
        if (p->lock != nullptr) p->lock->value = locked ? 1u : 0u;
        for (gElement* e : p->geometry)
            if (e != nullptr) e->enabled = locked ? 1 : 0;
    }
    if (r != nullptr) {
        SetText(p->geometry[kAffineOrder], kAffineOrderNames[r->order != 0 ? 1 : 0]);
        if (p->geometry[kAffineVertical] != nullptr) p->geometry[kAffineVertical]->value = r->flipY != 0 ? 1u : 0u;
        if (p->geometry[kAffineHorizontal] != nullptr)
            p->geometry[kAffineHorizontal]->value = r->flipX != 0 ? 1u : 0u;
        if (p->geometry[kAffineLink] != nullptr) p->geometry[kAffineLink]->value = r->linked != 0 ? 1u : 0u;
        ShowAngle(p);
        ShowZoom(p, 0);
        ShowZoom(p, 1);
    }
    Redraw(p);
}

// ---- What the controls do -------------------------------------------------------------------

bool AffinePanelStepMethod(AffinePanel* p, bool next) {
    if (!Usable(p)) return false;
    const bool changed = next ? AffineNextMethod(p->instance) : AffinePreviousMethod(p->instance);
    if (!changed) return false;
    ShowNames(p);
    Redraw(p);
    AffineNotifyIfActive(p->instance);
    return true;
}

bool AffinePanelStepMode(AffinePanel* p, bool next) {
    if (!Usable(p)) return false;
    const bool changed = next ? AffineNextFilter(p->instance) : AffinePreviousFilter(p->instance);
    if (!changed) return false;
    ShowNames(p);
    Redraw(p);
    AffineNotifyIfTransforms(p->instance);
    return true;
}

bool AffinePanelSetFilter(AffinePanel* p, bool on) {
    if (!Usable(p)) return false;
    const bool changed = AffineSetFilter(p->instance, on);
    if (p->filter != nullptr) p->filter->value = (p->state->head.flags & kAffineFilterOn) != 0 ? 1u : 0u;
    Redraw(p);
    if (changed) AffineNotifyIfTransforms(p->instance);
    return changed;
}

void AffinePanelSetLock(AffinePanel* p, bool on) {
    if (!Usable(p)) return;
    {
        Hold hold(DisplayLock());
        p->state->head.flag = on ? 1 : 0;
    }
    AffineRefreshPanel(p);
}

void AffinePanelToggleOrder(AffinePanel* p) {
    if (!Usable(p)) return;
    AffineRecord* r = RecordOf(p);
    bool both;
    {
        Hold hold(DisplayLock());
        r->order = r->order != 0 ? 0 : 1;
        both = r->rotated != 0 && r->scaled != 0;
    }
    SetText(p->geometry[kAffineOrder], kAffineOrderNames[r->order]);
    Redraw(p);
    // The output size and centres follow at the next frame description.
    if (both) AffineNotifyChange(p->instance, true);
}

void AffinePanelSetMirror(AffinePanel* p, bool horizontal, bool on) {
    if (!Usable(p)) return;
    AffineRecord* r = RecordOf(p);
    {
        Hold hold(DisplayLock());
        AffineRecordSetFlips(r, horizontal ? on : r->flipX != 0, horizontal ? r->flipY != 0 : on);
    }
    AffineNotifyChange(p->instance, true);
    AffineRefreshPanel(p);
}

void AffinePanelSetAngle(AffinePanel* p, double degrees) {
    if (!Usable(p)) return;
    {
        Hold hold(DisplayLock());
        AffineRecordSetAngle(RecordOf(p), degrees);
    }
    AffineNotifyChange(p->instance, true);
    ShowAngle(p);
    Redraw(p);
}

void AffinePanelStepAngle(AffinePanel* p, bool up, uint32_t modifiers) {
    const AffineRecord* r = RecordOf(p);
    if (!Usable(p) || r == nullptr) return;
    AffinePanelSetAngle(p, AffineSteppedAngle(r->angle, up, modifiers));
}

bool AffinePanelTypedAngle(AffinePanel* p, const char* text) {
    if (!Usable(p)) return false;
    double degrees = 0.0;
    if (!ReadNumber(text, &degrees)) {
        ShowAngle(p);
        Redraw(p);
        return false;
    }
    AffinePanelSetAngle(p, degrees);
    return true;
}

namespace {

// Sets the zooms (negative: kept) and tells the pipeline.
void ApplyZooms(AffinePanel* p, double x, double y) {
    AffineRecord* r = RecordOf(p);
    {
        Hold hold(DisplayLock());
        if (x > 0.0) SetZoomOf(r, 0, x);
        if (y > 0.0) SetZoomOf(r, 1, y);
    }
    AffineNotifyChange(p->instance, true);
    ShowZoom(p, 0);
    ShowZoom(p, 1);
    Redraw(p);
}

}  // namespace

bool AffinePanelDefaultZoom(AffinePanel* p) {
    const AffineRecord* r = RecordOf(p);
    if (!Usable(p) || r == nullptr) return false;
    if (r->zoomX == 1.0 && r->zoomY == 1.0) return false;
    ApplyZooms(p, 1.0, 1.0);
    return true;
}

void AffinePanelResetZoom(AffinePanel* p, int axis) {
    const AffineRecord* r = RecordOf(p);
    if (!Usable(p) || r == nullptr) return;
    if ((axis == 0 ? r->zoomX : r->zoomY) == 1.0) return;
    ApplyZooms(p, axis == 0 ? 1.0 : -1.0, axis == 0 ? -1.0 : 1.0);
}

void AffinePanelStepZoom(AffinePanel* p, int axis, bool up, uint32_t modifiers, int32_t repeat) {
    const AffineRecord* r = RecordOf(p);
    if (!Usable(p) || r == nullptr) return;
    const double before = axis == 0 ? r->zoomX : r->zoomY;
    const double other = axis == 0 ? r->zoomY : r->zoomX;
    const double z = AffineSteppedZoom(before, up, modifiers, repeat, AffineLowestZoom(p->instance, axis));
    double follower = -1.0;
    if (r->linked != 0) {
        // The other axis keeps its ratio to this one (the same value when they were equal).
        follower = before == other ? z : other * (z / before);
        if (follower > kAffineMaxZoom) follower = kAffineMaxZoom;
        const double lowest = AffineLowestZoom(p->instance, 1 - axis);
        if (follower < lowest) follower = lowest;
    }
    ApplyZooms(p, axis == 0 ? z : follower, axis == 0 ? follower : z);
}

bool AffinePanelTypedZoom(AffinePanel* p, int axis, const char* text) {
    if (!Usable(p)) return false;
    double z = 0.0;
    if (!AffineTypedZoom(text, AffineLowestZoom(p->instance, axis), &z)) {
        // Refused: the field shows the present factor again.
        ShowZoom(p, axis);
        Redraw(p);
        return false;
    }
    ApplyZooms(p, axis == 0 ? z : -1.0, axis == 0 ? -1.0 : z);
    return true;
}

void AffinePanelSetLink(AffinePanel* p, bool on) {
    if (!Usable(p)) return;
    {
        Hold hold(DisplayLock());
        RecordOf(p)->linked = on ? 1 : 0;
    }
    if (p->geometry[kAffineLink] != nullptr) p->geometry[kAffineLink]->value = on ? 1u : 0u;
    Redraw(p);
}

}  // namespace orva
