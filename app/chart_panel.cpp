#include "app/chart_panel.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/chart_device.h"
#include "app/chart_window.h"
#include "app/group_layout.h"
#include "app/cui.h"
#include "app/field_readers.h"
#include "app/page_rows.h"
#include "app/property_pages.h"
#include "app/ui_startup.h"
#include "common/number_text.h"
#include "framework/component_id.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"

namespace orva {

namespace {

constexpr uint32_t kPanelStyle = 0x24000;
constexpr int kWidgetPush = 37;
constexpr int kWidgetToggle = 47;

const char* const kMemoryLabels[kChartMemories] = {"1", "2", "3", "4", "5", "6"};

UIElement* ElementOf(uintptr_t data) {
    auto* e = reinterpret_cast<UIElement*>(data);
    return e != nullptr && UIElementIsLive(e) ? e : nullptr;
}

gElement* Slot(UIElement* e, uint32_t slot) { return PageSlot(e, slot); }

// The block's controls are greyed (they are greyed and cleared together).
bool Greyed(UIElement* e) {
    const gElement* first = Slot(e, kChartSlotBind);
    return first != nullptr && first->enabled == 0;
}

void SetText(UIElement* e, uint32_t slot, const char* text) {
    if (gElement* w = Slot(e, slot)) {
        SetWidgetText(w, text);
        RedrawWidget(w);
    }
}

void SetToggle(UIElement* e, uint32_t slot, bool on) {
    if (gElement* w = Slot(e, slot)) {
        SetWidgetValue(w, on);
        RedrawWidget(w);
    }
}

void WriteInt(UIElement* e, uint32_t slot, int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    SetText(e, slot, text);
}

void WriteUnsigned(UIElement* e, uint32_t slot, uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "%u", value);
    SetText(e, slot, text);
}

void WriteY(UIElement* e, uint32_t slot, double value) {
    char text[64];
    ChartYText(value, text, sizeof text);
    SetText(e, slot, text);
}

// The y range the chart shows now.
void ShownRange(const ChartWindow* c, double* minimum, double* maximum) {
    *minimum = c->yMinimum;
    *maximum = std::min(c->yMinimum + c->ySpan, DBL_MAX);
}

// The three y fields: RANGE Y, MAX and MIN (no chart: 1.0 each).
void WriteYFields(UIElement* e, const ChartWindow* c) {
    if (c == nullptr) {
        for (uint32_t slot : {kChartSlotRangeY, kChartSlotMaxY, kChartSlotMinY}) WriteY(e, slot, 1.0);
        return;
    }
    double lo, hi;
    ShownRange(c, &lo, &hi);
    char text[64];
    ChartRangeText(lo, hi, text, sizeof text);
    SetText(e, kChartSlotRangeY, text);
    WriteY(e, kChartSlotMaxY, hi);
    WriteY(e, kChartSlotMinY, lo);
}

// The x fields: the first shown sample and the count shown (no chart: 0).
void WriteXFields(UIElement* e, const ChartWindow* c) {
    WriteInt(e, kChartSlotXStart, c != nullptr ? c->scroll : 0);
    WriteInt(e, kChartSlotXCount, c != nullptr ? std::min(c->visible, c->samples) : 0);
}

// The range-mode label, "Auto" and the mark of "Get Y".
void WriteRangeMode(UIElement* e, const ChartWindow* c) {
    SetText(e, kChartSlotRangeName, ChartRangeName(c->rangeMode));
    const bool automatic = (c->rangeMode & kChartRangeData) != 0;
    SetToggle(e, kChartSlotAuto, automatic);
    if (gElement* get = Slot(e, kChartSlotGetY)) MarkFieldColor(get, automatic);
}

void WriteStepwise(UIElement* e, const ChartWindow* c) {
    const Chart1DDevice* d = c->Device();
    const bool stepwise = d != nullptr && (d->style.flags & kCurveNearest) != 0;
    SetToggle(e, kChartSlotStepwise, stepwise);
    SetToggle(e, kChartSlotLinear, !stepwise);
}

void WriteStyle(UIElement* e, const ChartWindow* c) {
    const Chart1DDevice* d = c->Device();
    const uint32_t flags = d != nullptr ? d->style.flags : 0;
    SetToggle(e, kChartSlotCurve, (flags & kCurveContrast) != 0);
    SetToggle(e, kChartSlotCurveOn, (flags & kCurveSmoothLines) != 0);
    SetToggle(e, kChartSlotPoints, (flags & kCurvePoints) != 0);
    SetToggle(e, kChartSlotPointsOn, (flags & kCurveSmoothPoints) != 0);
    WriteInt(e, kChartSlotWidth, d != nullptr ? static_cast<int64_t>(std::lround(d->lineWidth)) : 1);
    WriteInt(e, kChartSlotSize, d != nullptr ? static_cast<int64_t>(std::lround(d->pointSize)) : 1);
}

// The common guard: the chart the block edits. Without a component on the page a
// toggle or button goes off and the fields show their empty values.
ChartWindow* Guard(gElement* w, uintptr_t data, UIElement** element) {
    UIElement* e = ElementOf(data);
    *element = e;
    if (e == nullptr) return nullptr;
    bool attached = false;
    ChartWindow* c = ChartPanelChart(e, &attached);
    if (c != nullptr) return c;
    if (!attached) {
        if (w != nullptr && w->kind == kWidgetToggle) {
            SetWidgetValue(w, false);
            RedrawWidget(w);
        }
        WriteXFields(e, nullptr);
        WriteYFields(e, nullptr);
    }
    return nullptr;
}

// Draws the chart at once (its host window), or marks it for a repaint when it cannot.
void DrawNow(ChartWindow* c) {
    if (!gUiReady()) return;
    c->RedrawNow();
}

uint32_t Modifiers(const ChartWindow* c) { return c->ModifiersNow(); }

// ---- Handlers ---------------------------------------------------------------------------------

void OnBind(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    const bool want = w != nullptr && w->value != 0;
    const ChartHostServices& s = TheChartHostServices();
    bool taken = true;
    if (c->cell != nullptr && s.setLinked != nullptr) taken = s.setLinked(c->cell, c, want);
    if (taken) c->linked = want ? 1 : 0;
    SetToggle(e, kChartSlotBind, c->linked != 0);
}

void OnReset(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    c->ResetChart();
    ChartPanelRefresh(e, false);
}

void OnCurveFlag(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    const uint32_t flag = w == Slot(e, kChartSlotCurve) ? kCurveContrast : kCurvePoints;
    c->SetCurveFlag(flag, w->value != 0);
    WriteStyle(e, c);
}

void OnSmoothFlag(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    c->ToggleSmoothFlag(w == Slot(e, kChartSlotCurveOn) ? kCurveSmoothLines : kCurveSmoothPoints);
    WriteStyle(e, c);
}

void OnWidthOrSize(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    const bool width = w == Slot(e, kChartSlotWidth);
    const Chart1DDevice* d = c->Device();
    uint32_t value = 0;
    if (!ReadFieldUInt(w, &value, false)) {
        const float now = d == nullptr ? 1.0f : width ? d->lineWidth : d->pointSize;
        value = static_cast<uint32_t>(std::lround(now));
    } else {
        value = width ? c->SetLineWidth(value) : c->SetPointSize(value);
    }
    WriteUnsigned(e, width ? kChartSlotWidth : kChartSlotSize, value);
}

void OnStepwise(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    if (Chart1DDevice* d = c->Device()) {
        d->SetNearest(w == Slot(e, kChartSlotStepwise));
        c->RedrawNow();
    }
    WriteStepwise(e, c);
}

void OnRangeY(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    double v = 0.0;
    if (ReadFieldDouble(w, &v, true) && v != 0.0 && std::isfinite(v)) {
        double lo, hi;
        ShownRange(c, &lo, &hi);
        const double middle = lo * 0.5 + hi * 0.5;
        const double half = std::fabs(v) * 0.5;
        if (c->SetUserRange(middle - half, middle + half)) WriteRangeMode(e, c);
        c->RecomputeMapping();
        DrawNow(c);
    }
    WriteYFields(e, c);
}

void OnMaxOrMin(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    const bool maximum = w == Slot(e, kChartSlotMaxY);
    double v = 0.0;
    if (ReadFieldDouble(w, &v, true) && std::isfinite(v)) {
        // The other end is the one shown now.
        ShownRange(c, &c->userMinimum, &c->userMaximum);
        const bool changed = maximum ? c->SetUserMaximum(v) : c->SetUserMinimum(v);
        if (changed) WriteRangeMode(e, c);
        DrawNow(c);
    }
    double lo, hi;
    ShownRange(c, &lo, &hi);
    WriteY(e, maximum ? kChartSlotMaxY : kChartSlotMinY, maximum ? hi : lo);
    char text[64];
    ChartRangeText(lo, hi, text, sizeof text);
    SetText(e, kChartSlotRangeY, text);
}

void OnXField(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    const bool start = w == Slot(e, kChartSlotXStart);
    uint32_t v = 0;
    if (ReadFieldUInt(w, &v, false)) {
        if (start) c->ScrollXTo(std::min<int64_t>(v, 2147483646), false);
        else c->ZoomXTo(v);
        c->RefreshToolPanel(kChartPanelZoom);
        DrawNow(c);
    }
    WriteXFields(e, c);
}

void OnAuto(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    const double lo = c->yMinimum, span = c->ySpan;
    if (w->value != 0) c->rangeMode |= kChartRangeData;
    else c->rangeMode &= ~kChartRangeData;
    c->RecomputeRange();
    if (c->yMinimum != lo || c->ySpan != span) {
        WriteYFields(e, c);
        DrawNow(c);
    }
    WriteRangeMode(e, c);
}

void OnSourceOrChartY(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    const bool input = w == Slot(e, kChartSlotSrcY);
    const double lo = c->yMinimum, span = c->ySpan;
    if ((c->rangeMode & kChartRangeData) == 0) {
        c->ApplyRangeOnce(input);
    } else {
        if (input) c->rangeMode |= kChartRangeInput;
        else c->rangeMode &= ~kChartRangeInput;
        c->RecomputeRange();
    }
    if (c->yMinimum != lo || c->ySpan != span) {
        WriteYFields(e, c);
        DrawNow(c);
    }
    WriteRangeMode(e, c);
}

void OnGetY(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    if ((c->rangeMode & kChartRangeData) == 0) c->ApplyRangeOnce((c->rangeMode & kChartRangeInput) != 0);
    else c->RecomputeRange();
    DrawNow(c);
    WriteYFields(e, c);
}

void OnResetX(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr) return;
    c->ResetX();
    WriteXFields(e, c);
    DrawNow(c);
}

void OnMemory(gElement* w, uintptr_t data) {
    UIElement* e = nullptr;
    ChartWindow* c = Guard(w, data, &e);
    if (c == nullptr || w == nullptr) return;
    int32_t index = -1;
    for (int32_t i = 0; i < kChartMemories; ++i)
        if (Slot(e, kChartSlotMemory + static_cast<uint32_t>(i)) == w) index = i;
    if (index < 0) return;
    switch (c->PressMemory(index, Modifiers(c), gMouseButtonState())) {
        case ChartMemoryPress::kStored:
            gWgtSetColor(w, kChartMemoryStored);
            RedrawWidget(w);
            break;
        case ChartMemoryPress::kCleared:
            gWgtSetColor(w, kChartMemoryEmpty);
            RedrawWidget(w);
            break;
        case ChartMemoryPress::kRecalled:
            WriteXFields(e, c);
            WriteYFields(e, c);
            break;
        default:
            break;
    }
}

// The panel hooks of the chart window.
bool BuildHook(ChartWindow* chart, int32_t pageId) { return ChartPanelBuildFor(chart, pageId); }

void RefreshHook(ChartWindow* chart, uint32_t item) {
    UIElement* e = ChartPanelOf(chart);
    if (e != nullptr && ChartPanelChart(e) == chart) ChartPanelRefreshItem(e, item);
}

void PaintHook(ChartWindow* chart) {
    UIElement* e = ChartPanelOf(chart);
    if (e == nullptr || ChartPanelChart(e) != chart) return;
    gWindow* window = gWinValidate(e->window);
    if (window != nullptr && (window->state & kNotDrawnMask) == 0) gWinRedraw(window);
}

void RefreshBlock(UIPage*, UIElement* e, int32_t) { ChartPanelRefresh(e, false); }

}  // namespace

// ---- Texts ----------------------------------------------------------------------------------------

const char* ChartRangeName(uint32_t modeBits) {
    if ((modeBits & kChartRangeData) == 0) return "User range";
    return (modeBits & kChartRangeInput) == 0 ? "Chart range" : "Input range";
}

void ChartYText(double value, char* out, size_t size) {
    if (out == nullptr || size == 0) return;
    char text[64] = "";
    if (FormatDouble(11, 11, value, text) <= 0) std::snprintf(text, sizeof text, "%.11g", value);
    // A whole number is shown as a real.
    if (std::strpbrk(text, ".eEnN") == nullptr && std::strlen(text) + 2 < sizeof text) std::strcat(text, ".0");
    std::snprintf(out, size, "%s", text);
}

void ChartRangeText(double minimum, double maximum, char* out, size_t size) {
    double range = maximum - minimum;
    if (!(range > DBL_MIN) || std::fabs(range - 1.0) < DBL_EPSILON) range = 1.0;
    ChartYText(range, out, size);
}

// ---- The block ------------------------------------------------------------------------------------

void BuildChartPanel(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "Chart";
    PageRows r(element);
    auto toggle = [&](float width, const char* text, void (*press)(gElement*, uintptr_t)) {
        return r.Button(kWidgetToggle, width, text, press, kChartToggleColour, kChartToggleColour2);
    };
    auto push = [&](float width, const char* text, void (*press)(gElement*, uintptr_t)) {
        return r.Button(kWidgetPush, width, text, press, kChartButtonColour, kChartButtonColour2);
    };
    s[kChartSlotBind] = toggle(132.0f, "BIND SOURCES", &OnBind);
    r.NewRow();
    s[kChartSlotReset] = push(132.0f, "RESET", &OnReset);
    r.NewRow();
    s[kChartSlotCurve] = toggle(60.0f, "CURVE", &OnCurveFlag);
    s[kChartSlotCurveOn] = toggle(16.0f, "S", &OnSmoothFlag);
    r.Label("Width:");
    s[kChartSlotWidth] = r.Field(10.0f, "1", &OnWidthOrSize);
    r.NewRow();
    s[kChartSlotPoints] = toggle(60.0f, "POINTS", &OnCurveFlag);
    s[kChartSlotPointsOn] = toggle(16.0f, "S", &OnSmoothFlag);
    r.Label("Size:");
    s[kChartSlotSize] = r.Field(14.0f, "", &OnWidthOrSize);
    r.NewRow();
    s[kChartSlotStepwise] = toggle(132.0f, "Stepwise", &OnStepwise);
    r.NewRow();
    s[kChartSlotLinear] = toggle(132.0f, "Linear", &OnStepwise);
    r.NewRow();
    r.Label("RANGE Y:");
    s[kChartSlotRangeY] = r.Field(98.0f, "1.0", &OnRangeY);
    s[kChartSlotRangeName] = r.Add(3, 100.0f, "", PageRows::kLabelColour, PageRows::kLabelColour2);
    r.NewRow();
    r.Label("MAX/MIN:");
    s[kChartSlotMaxY] = r.Field(98.0f, "1.0", &OnMaxOrMin);
    s[kChartSlotMinY] = r.Field(98.0f, "0.0", &OnMaxOrMin);
    r.NewRow();
    r.Label("RANGE X:");
    s[kChartSlotXCount] = r.Field(98.0f, "", &OnXField);
    s[kChartSlotXStart] = r.Field(98.0f, "", &OnXField);
    r.NewRow();
    s[kChartSlotAuto] = toggle(54.0f, "Auto", &OnAuto);
    s[kChartSlotGetY] = push(48.0f, "Get Y", &OnGetY);
    s[kChartSlotSrcY] = push(48.0f, "Src Y", &OnSourceOrChartY);
    s[kChartSlotChartY] = push(54.0f, "Chart Y", &OnSourceOrChartY);
    s[kChartSlotResetX] = push(54.0f, "reset X", &OnResetX);
    r.NewRow();
    r.Label("Memory:");
    for (int32_t i = 0; i < kChartMemories; ++i)
        s[kChartSlotMemory + static_cast<uint32_t>(i)] = push(i < 2 ? 33.0f : 34.0f, kMemoryLabels[i], &OnMemory);
    // Field lengths: 7 characters for the small fields, 19 for the y values.
    for (uint32_t slot : {kChartSlotWidth, kChartSlotSize, kChartSlotXStart, kChartSlotXCount})
        if (s[slot] != nullptr) s[slot]->textLimit = 7;
    for (uint32_t slot : {kChartSlotRangeY, kChartSlotMaxY, kChartSlotMinY})
        if (s[slot] != nullptr) s[slot]->textLimit = 19;
}

UIElement* ChartPanelOf(const ChartWindow* chart) {
    if (chart == nullptr || chart->cell == nullptr) return nullptr;
    auto* page = static_cast<UIPage*>(chart->cell->pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || kChartPanelBlock >= page->table.size()) return nullptr;
    UIElement* e = page->table[kChartPanelBlock];
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= kChartSlotCount ? e : nullptr;
}

ChartWindow* ChartPanelChart(UIElement* e, bool* attached) {
    if (attached != nullptr) *attached = false;
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr || e->slotCount < kChartSlotCount) return nullptr;
    UIPage* page = e->page;
    if (page == nullptr || !UIPageIsLive(page)) return nullptr;
    ComponentBase* component = page->current;
    if (component == nullptr || !ComponentIsLive(component)) return nullptr;
    if (attached != nullptr) *attached = true;
    if (component->pageWindow != page) return nullptr;
    auto* cell = dynamic_cast<DisplayCellBase*>(component);
    if (cell == nullptr || cell->currentWindow == nullptr) return nullptr;
    auto* chart = dynamic_cast<ChartWindow*>(cell->currentWindow);
    if (chart == nullptr || !SameComponentId(chart->GetClassId(), &kChartWindowId)) return nullptr;
    return chart;
}

void ChartPanelRefresh(UIElement* e, bool disable) {
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr) return;
    ChartWindow* c = disable ? nullptr : ChartPanelChart(e);
    if (c == nullptr) {
        if (Greyed(e)) return;
        for (uint32_t i = 0; i < e->slotCount; ++i) SetWidgetEnabled(Slot(e, i), false);
        MarkPageRepaint(e);
        return;
    }
    if (Greyed(e))
        for (uint32_t i = 0; i < e->slotCount; ++i) SetWidgetEnabled(Slot(e, i), true);
    MarkPageRepaint(e);
    SetToggle(e, kChartSlotBind, c->linked != 0);
    WriteYFields(e, c);
    WriteRangeMode(e, c);
    WriteStepwise(e, c);
    WriteStyle(e, c);
    WriteXFields(e, c);
}

void ChartPanelRefreshItem(UIElement* e, uint32_t item) {
    ChartWindow* c = ChartPanelChart(e);
    if (c == nullptr) return;
    switch (item) {
        case kChartPanelZoomRange:
            WriteXFields(e, c);
            WriteYFields(e, c);
            break;
        case kChartPanelZoom:
            WriteXFields(e, c);
            break;
        case kChartPanelRangeLabel:
            WriteRangeMode(e, c);
            break;
        case kChartPanelCurve:
        case kChartPanelPoints:
            WriteStyle(e, c);
            break;
        case kChartPanelBind:
            SetToggle(e, kChartSlotBind, c->linked != 0);
            break;
        default:
            ChartPanelRefresh(e, false);
            break;
    }
}

bool ChartPanelBuildFor(ChartWindow* chart, int32_t pageId) {
    if (chart == nullptr || chart->cell == nullptr || !gUiReady()) return false;
    DisplayCellBase* cell = chart->cell;
    auto* page = static_cast<UIPage*>(cell->pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || cell->panelBuilder == nullptr) return false;
    CUI& cui = TheCUI();
    auto* window = static_cast<gWindow*>(cui.GroupWindow(1));
    if (window == nullptr || gWinValidate(window) == nullptr) return false;
    const bool built = ChartPanelOf(chart) != nullptr;
    if (!ShowComponentPage(page, window, kPanelStyle, cell->panelBuilder, kChartSlotCount, kChartPanelBlock,
                           kChartPanelBlock + 1, pageId, &BuildChartPanel, &RefreshBlock, nullptr))
        return false;
    // Every chart cell has a block in the one tool window; only one may show there, or the
    // blocks lie over each other and a press may reach a hidden one. The current cell's
    // block shows when that cell shows a chart, else the block built last.
    UIElement* shown = ChartPanelOf(chart);
    if (auto* current = dynamic_cast<DisplayCellBase*>(cui.currentCell);
        current != nullptr && ComponentIsLive(current) && current != cell) {
        auto* other = dynamic_cast<ChartWindow*>(current->currentWindow);
        if (UIElement* e = other != nullptr ? ChartPanelOf(other) : nullptr; e != nullptr && e->window == window)
            shown = e;
    }
    bool changed = !built;
    for (UIElement* e : ChartPanelsIn(window)) {
        if (e->group == nullptr) continue;
        if (SetGroupShown(e->group, e == shown)) {
            MarkPageRepaint(e);
            changed = true;
        }
    }
    PageColumnFit(window);
    // The pages over the cells may stand over the tool window's ground: a panel that came
    // takes some of it.
    if (changed) PlaceFloatingPagesAnew(&cui);
    return true;
}

std::vector<UIElement*> ChartPanelsIn(const gWindow* window) {
    std::vector<UIElement*> out;
    if (window == nullptr) return out;
    for (ListNode* n = TheCUI().windowRecords.head; n != nullptr; n = n->next) {
        auto* page = static_cast<UIPage*>(n->item);
        if (page == nullptr || !UIPageIsLive(page) || kChartPanelBlock >= page->table.size()) continue;
        UIElement* e = page->table[kChartPanelBlock];
        if (e == nullptr || !UIElementIsLive(e) || e->window != window || e->name != "Chart") continue;
        if (e->slots == nullptr || e->slotCount < kChartSlotCount) continue;
        if (std::find(out.begin(), out.end(), e) == out.end()) out.push_back(e);
    }
    return out;
}

void InstallChartPanel() {
    ChartPanelHooks& h = TheChartPanelHooks();
    h.build = &BuildHook;
    h.refresh = &RefreshHook;
    h.paint = &PaintHook;
}

}  // namespace orva
