// The class options block of the "View" page: the value-scaling class with its title
// and formula, and the class's parameters Value1 ("Value 1:"), Value2 ("Value 2:"),
// Value3 ("Shift:") and Value4 ("Mask:"); the rows the class does not use are hidden.
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <functional>
#include <mutex>

#include "app/field_readers.h"
#include "app/property_pages.h"
#include "common/global_buffer.h"
#include "framework/display_lock.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "transform/transformation.h"
#include "views/view_page.h"
#include "views/view_page_parts.h"

namespace orva {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr double kEpsilon = 2.220446049250313e-16;
constexpr uint32_t kUses[4] = {kScaleUsesValue1, kScaleUsesValue2, kScaleUsesValue3, kScaleUsesValue4};
constexpr const char* kRowLabels[4] = {"Value 1:", "Value 2:", "Shift:", "Mask:"};
constexpr const char* kRowStart[4] = {"1.0", "1.0", "2", "0xFFFFFFFF"};
constexpr float kRowFieldWidth[4] = {130.0f, 130.0f, 16.0f, 70.0f};

uint32_t Slot(int row, uint32_t part) { return kClsRow + kClsRowSlots * static_cast<uint32_t>(row) + part; }

// The row (0..3) and part of a widget of the parameter rows, or −1.
int RowOf(UIElement* e, const gElement* w, uint32_t* part) {
    for (int row = 0; row < 4; ++row)
        for (uint32_t p = 0; p < kClsRowSlots; ++p)
            if (PageSlot(e, Slot(row, p)) == w) {
                *part = p;
                return row;
            }
    return -1;
}

// "%u" or "0x%.8X" in a buffer of 11 characters: a longer text shows its first 10.
void ShowWord(gElement* w, const char* format, uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, format, value);
    ShowText(w, text);
}

void ShowValue(UIElement* e, const ScaleSettings& s, int row) {
    gElement* w = PageSlot(e, Slot(row, kClsField));
    switch (row) {
        case 0: ShowDouble(w, 10, 5, s.value1); break;
        case 1: ShowDouble(w, 10, 5, s.value2); break;
        case 2: ShowWord(w, "%u", s.value3); break;
        default: ShowWord(w, "0x%.8X", s.value4); break;
    }
}

void ShowOptions(UIElement* e, ValueScaler* scaler) {
    const ScaleSettings& s = scaler->Current();
    const ScaleClassDesc* row = s.classRow;
    ShowText(PageSlot(e, kClsTitle), row != nullptr && row->title != nullptr ? row->title : "[noname]");
    ShowText(PageSlot(e, kClsFormula), row != nullptr && row->formula != nullptr ? row->formula : " ");
    const uint32_t flags = row != nullptr ? row->flags : 0;
    for (int r = 0; r < 4; ++r) {
        ShowValue(e, s, r);
        for (uint32_t p = 0; p < kClsRowSlots; ++p) SetWidgetShown(PageSlot(e, Slot(r, p)), (flags & kUses[r]) != 0);
    }
    MarkPageRepaint(e);
}

struct ClassContext {
    UIElement* e = nullptr;
    ValueScaler* s = nullptr;
};

ClassContext ClassContextOf(uintptr_t data) {
    ClassContext x;
    x.e = ViewElement(data, kClassSlotCount);
    x.s = x.e != nullptr ? ViewScaler(x.e) : nullptr;
    return x;
}

// Stores a parameter under the display lock, tells the pipeline and shows it.
void Store(const ClassContext& x, int row, const std::function<void(ScaleSettings&)>& store) {
    {
        Guard lock(DisplayLock());
        store(x.s->Current());
    }
    ValueScalerNotify(x.s);
    ShowValue(x.e, x.s->Current(), row);
}

// ---- Handlers ------------------------------------------------------------------------------------

void ClassStep(gElement* button, uintptr_t data) {
    ClassContext x = ClassContextOf(data);
    if (x.s == nullptr) return;
    const int before = x.s->Current().classIndex;
    int target;
    if (button == PageSlot(x.e, kClsFirst)) {
        if (before == 0) return;
        target = 0;
    } else if (button == PageSlot(x.e, kClsNext)) {
        target = before + 1;
    } else {
        if (before <= 0) return;
        target = before - 1;
    }
    ValueScalerSetClass(x.s, target);
    if (x.s->Current().classIndex == before) return;
    ValueScalerNotify(x.s);
    ShowOptions(x.e, x.s);
}

// Value1 and Value2: reals, never negative.
double& RealOf(ScaleSettings& s, int row) { return row == 0 ? s.value1 : s.value2; }

void RealEntry(const ClassContext& x, gElement* field, int row) {
    double v = 0.0;
    ScaleSettings& s = x.s->Current();
    if (!ReadFieldDouble(field, &v, true)) {
        ShowValue(x.e, s, row);
        return;
    }
    if (v < 0.0) v = 0.0;
    const double stored = RealOf(s, row);
    if (row == 0 ? std::fabs(v - stored) < kEpsilon : v == stored) {
        ShowValue(x.e, s, row);
        return;
    }
    Store(x, row, [&](ScaleSettings& t) { RealOf(t, row) = v; });
}

void RealButton(const ClassContext& x, int row, uint32_t part) {
    ScaleSettings& s = x.s->Current();
    const double stored = RealOf(s, row);
    double v;
    if (part == kClsDefault) {
        v = row == 0 ? s.classRow->defaults.value1 : s.classRow->defaults.value2;
        if (std::fabs(stored - v) < kEpsilon) return;
    } else {
        const double step = CtrlShiftHeld() ? 0.01 : (CtrlHeld() ? 0.001 : 0.1);
        if (part == kClsUp) {
            if (!(stored < DBL_MAX)) return;
            v = stored + step;
            if (v < DBL_MAX) {
                SnapDoubleTo1e4(&v);
            } else {
                v = DBL_MAX;
            }
        } else {
            if (!(stored > 0.0)) return;
            v = stored - step;
            if (v < kEpsilon) {
                v = 0.0;
            } else {
                SnapDoubleTo1e4(&v);
            }
        }
        if (v == stored) return;
    }
    Store(x, row, [&](ScaleSettings& t) { RealOf(t, row) = v; });
}

void WordButton(const ClassContext& x, int row, uint32_t part) {
    ScaleSettings& s = x.s->Current();
    const uint32_t stored = row == 2 ? s.value3 : s.value4;
    uint32_t v = stored;
    if (part == kClsDefault) {
        v = row == 2 ? s.classRow->defaults.value3 : s.classRow->defaults.value4;
    } else if (row == 2) {
        if (part == kClsDown && stored > 0) v = stored - 1;
        if (part == kClsUp && stored < 31) v = stored + 1;
    } else {
        if (part == kClsDown && stored != 0) v = stored >> 1;
        if (part == kClsUp && stored != 0xFFFFFFFFu) v = (stored << 1) | 1u;
    }
    if (v == stored) return;
    Store(x, row, [&](ScaleSettings& t) { (row == 2 ? t.value3 : t.value4) = v; });
}

void ParameterButton(gElement* button, uintptr_t data) {
    ClassContext x = ClassContextOf(data);
    if (x.s == nullptr || x.s->Current().classRow == nullptr) return;
    uint32_t part = 0;
    const int row = RowOf(x.e, button, &part);
    if (row < 0 || part < kClsDefault) return;
    if (row < 2) {
        RealButton(x, row, part);
    } else {
        WordButton(x, row, part);
    }
}

void ParameterEntry(gElement* field, uintptr_t data) {
    ClassContext x = ClassContextOf(data);
    if (x.s == nullptr || x.s->Current().classRow == nullptr) return;
    uint32_t part = 0;
    const int row = RowOf(x.e, field, &part);
    if (row < 0 || part != kClsField) return;
    if (row < 2) {
        RealEntry(x, field, row);
        return;
    }
    if (row != 2) return;
    uint32_t v = 0;
    if (ReadFieldUInt(field, &v, true)) {
        if (v > 31) v = 31;
        if (v != x.s->Current().value3) {
            Store(x, row, [&](ScaleSettings& t) { t.value3 = v; });
            return;
        }
    }
    ShowValue(x.e, x.s->Current(), row);
}

void ClassNotify(UIElement* e, intptr_t) { ScaleClassPanelRefresh(e); }

// ---- Building ------------------------------------------------------------------------------------

void BuildClass(UIElement* e, gElement** s) {
    StackBelowBlock(e, kViewColourIndex);
    if (e->name.empty()) e->name = "Options";
    PageRows r(e);
    s[kClsTitle] = r.Field(175.0f, "[noname]", nullptr);
    s[kClsFirst] = StepButton(r, kStepReset, 13.0f, &ClassStep);
    s[kClsPrevious] = StepButton(r, kStepBack, 10.0f, &ClassStep);
    s[kClsNext] = StepButton(r, kStepForward, 10.0f, &ClassStep);
    r.NewRow();
    s[kClsFormula] = r.Field(216.0f, " ", nullptr);
    for (int row = 0; row < 4; ++row) {
        r.NewRow();
        s[Slot(row, kClsLabel)] = r.Add(3, 30.0f, kRowLabels[row], PageRows::kLabelColour, PageRows::kLabelColour2);
        // The mask has no entry: it only shows its value.
        s[Slot(row, kClsField)] =
            r.Field(kRowFieldWidth[row], kRowStart[row], row < 3 ? &ParameterEntry : nullptr);
        s[Slot(row, kClsDefault)] = StepButton(r, kStepReset, 13.0f, &ParameterButton);
        s[Slot(row, kClsDown)] = StepButton(r, kStepBack, 10.0f, &ParameterButton);
        s[Slot(row, kClsUp)] = StepButton(r, kStepForward, 10.0f, &ParameterButton);
    }
    e->notify = &ClassNotify;
}

void RefreshClass(UIPage*, UIElement* e, int32_t) { ScaleClassPanelRefresh(e); }

}  // namespace

int32_t ScaleClassPanelBuild(PageWindow* pw, void* window, int32_t pageId) {
    return ShowViewBlock(pw, window, pageId, &ScaleClassPanelBuild, kClassSlotCount, kViewClassIndex, &BuildClass, &RefreshClass) ? 1 : 0;
}

void ScaleClassPanelRefresh(UIElement* e) {
    if (ViewElement(reinterpret_cast<uintptr_t>(e), kClassSlotCount) == nullptr) return;
    if (ValueScaler* s = ViewScaler(e)) ShowOptions(e, s);
}

}  // namespace orva
