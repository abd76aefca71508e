#include "views/zoom_pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/chart_device.h"
#include "app/chart_window.h"
#include "app/colour_dialog.h"
#include "app/cui.h"
#include "app/field_readers.h"
#include "app/image_device.h"
#include "app/ui_elements.h"
#include "common/global_buffer.h"
#include "common/number_text.h"
#include "toolkit/font.h"
#include "toolkit/shortcuts.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/grid_page.h"
#include "views/source_page_parts.h"
#include "views/tool_menu.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "app/page_rows.h"

namespace orva {

namespace {

constexpr float kRow = 15.0f;
constexpr uint32_t kMenuColour = 0x4676A6A;
constexpr uint32_t kLensKey = 76;             // "L"
constexpr uint32_t kLensValuesKey = 0x30004C; // Alt+L
constexpr uint32_t kDialogId = 0xFFFF;

const char* const kPresetLabels[kZoomPresetCount] = {"400%", "300%", "200%", "100%", "50%", "25%", "10%", "5%"};
const uint32_t kPresetIds[kZoomPresetCount] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr double kPresetPercent[kZoomPresetCount] = {400, 300, 200, 100, 50, 25, 10, 5};

DisplayComponent* ActiveCell(WorkspaceComponent* ws) {
    return ws != nullptr ? AsDisplayCell(ws->activeCell) : nullptr;
}

// ---- The lens ---------------------------------------------------------------------------------

bool Fits(uint32_t area, float zoom) {
    const double screen = static_cast<double>(area) * static_cast<double>(zoom);
    return screen >= kLensScreenMin && screen <= kLensScreenMax;
}

// The area for a new zoom: made smaller when the lens would grow beyond 1000 pixels,
// larger when it would shrink below 70, within the maximum.
uint32_t FitArea(uint32_t area, float zoom, uint32_t maximum) {
    const double z = zoom;
    if (static_cast<double>(area) * z > kLensScreenMax) {
        int64_t a = static_cast<int64_t>(kLensScreenMax / z);
        if (a < 2) a = 2;
        a = (a - 1) & ~int64_t{1};
        return static_cast<uint32_t>(std::min<int64_t>(a, maximum));
    }
    if (static_cast<double>(area) * z < kLensScreenMin) {
        int64_t a = static_cast<int64_t>(std::ceil(kLensScreenMin / z));
        a = (a + 1) & ~int64_t{1};
        return static_cast<uint32_t>(std::min<int64_t>(a, maximum));
    }
    return area;
}

void ShowLensFields(const WorkspaceComponent* ws, UIElement* e, bool repaint) {
    if (ws == nullptr || e == nullptr) return;
    const Lens& lens = ws->lens;
    char text[40];
    const int n = FormatDoubleDigits(7, 2, lens.zoom, text);
    text[n > 0 ? n : 0] = '\0';
    PageSetText(PageSlot(e, kLensPageZoom), text);
    std::snprintf(text, sizeof text, "%u", lens.size);
    PageSetText(PageSlot(e, kLensPageArea), text);
    const double screen = std::round(static_cast<double>(lens.size) * static_cast<double>(lens.zoom));
    std::snprintf(text, sizeof text, "%u", static_cast<uint32_t>(screen));
    PageSetText(PageSlot(e, kLensPageScreen), text);
    if (repaint) {
        for (uint32_t s : {kLensPageZoom, kLensPageArea, kLensPageScreen}) RepaintFieldNow(PageSlot(e, s));
    }
}

// The lens widget at its new size, at the right edge of the workspace's window.
void PlaceLens(WorkspaceComponent* ws) {
    if (ws == nullptr || !ComponentUiUp()) return;
    gWindow* w = gWinValidate(ws->window);
    gElement* lens = ws->lens.widget;
    if (w == nullptr || lens == nullptr || !gWgtIsLive(lens)) return;
    float x = 0.0f, extent[2] = {0.0f, 0.0f};
    LensPixelSize(ws, &x, extent, static_cast<float>(w->clientWidth) - ws->margins[2]);
    lens->width = lens->cellWidth = extent[0];
    lens->height = lens->cellHeight = extent[1] + (ws->lens.showValues != 0 ? ws->lens.textHeight + 1.0f : 0.0f);
    lens->x = lens->placedX = lens->homeX = x;
    if (lens->shown != 0) PaintWindowNow(w, true);
}

// Stores a lens change and shows it; a change outside 70..1000 screen pixels is refused.
bool Apply(WorkspaceComponent* ws, UIElement* e, uint32_t area, float zoom) {
    if (ws == nullptr || !Fits(area, zoom)) return false;
    LensSetSize(&ws->lens, area);
    ws->lens.zoom = zoom;
    ShowLensFields(ws, e, true);
    PlaceLens(ws);
    return true;
}

struct LensContext {
    UIElement* e = nullptr;
    WorkspaceComponent* ws = nullptr;
};
LensContext LensOf(uintptr_t data) {
    LensContext c;
    c.e = LivePageElement(data, kLensPageSlotCount);
    c.ws = WorkspaceOfElement(c.e);
    return c;
}

void RepaintWorkspace(WorkspaceComponent* ws) {
    if (ws == nullptr) return;
    if (gWindow* w = gWinValidate(ws->window)) PaintWindowNow(w, true);
}

// ---- The zoom bar -----------------------------------------------------------------------------

OutputDevice* DeviceOf(WorkspaceComponent* ws) {
    DisplayComponent* cell = ActiveCell(ws);
    return cell != nullptr ? dynamic_cast<OutputDevice*>(cell->Device()) : nullptr;
}

bool Locked(OutputDevice* device) {
    auto* image = dynamic_cast<Image2DDevice*>(device);
    return image != nullptr && image->view.zoom.lock != 0;
}

// A new zoom of an image device: its picture is pulled and drawn again.
void Redeliver(OutputDevice* device) {
    if (dynamic_cast<Image2DDevice*>(device) != nullptr) device->OnEvent(kDeviceEventShapes, kDeviceLevelRepaint);
}

struct BarContext {
    UIElement* e = nullptr;
    WorkspaceComponent* ws = nullptr;
    OutputDevice* device = nullptr;
};
BarContext BarOf(uintptr_t data) {
    BarContext c;
    c.e = LivePageElement(data, kZoomBarSlotCount);
    c.ws = WorkspaceOfElement(c.e);
    c.device = DeviceOf(c.ws);
    return c;
}

void ShowFactor(gElement* field, WorkspaceComponent* ws, int32_t selector) {
    double f = 0.0;
    if (field == nullptr || !ZoomBarFactor(ws, selector, &f)) return;
    char text[32];
    ZoomPercentText(f, text);
    PageSetText(field, text);
}

void ShowFactors(WorkspaceComponent* ws, UIElement* e, bool repaintFields) {
    ShowFactor(PageSlot(e, kZoomFirstField), ws, 1);
    ShowFactor(PageSlot(e, kZoomSecondField), ws, 0);
    // A chart tells its x zoom as a ratio of pixels to samples as well.
    auto* chart = dynamic_cast<Chart1DDevice*>(DeviceOf(ws));
    if (ChartWindow* window = chart != nullptr ? chart->Chart() : nullptr) {
        char text[18];
        window->ZoomText(text, sizeof text);
        PageSetText(PageSlot(e, kZoomOneToOne), text);
    }
    if (repaintFields) {
        RepaintFieldNow(PageSlot(e, kZoomFirstField));
        RepaintFieldNow(PageSlot(e, kZoomSecondField));
    }
}

ToolMenu* PresetMenus() {
    static ToolMenu menus[2];
    return menus;
}

// The workspace whose bar opened a menu last.
WorkspaceComponent*& MenuWorkspace() {
    static WorkspaceComponent* ws = nullptr;
    return ws;
}

uint8_t ChooseSecond(void*, uint32_t id) {
    ZoomPresetChoose(MenuWorkspace(), 0, static_cast<int32_t>(id) - 1);
    return 1;
}
uint8_t ChooseFirst(void*, uint32_t id) {
    ZoomPresetChoose(MenuWorkspace(), 1, static_cast<int32_t>(id) - 1);
    return 1;
}
uint8_t ChooseColour(void*, uint32_t id) {
    ZoomBackgroundChoose(MenuWorkspace(), id == kDialogId ? -1 : static_cast<int32_t>(id) - 1);
    return 1;
}

void FreePresetMenus(uintptr_t) {
    ToolMenuFree(&PresetMenus()[0]);
    ToolMenuFree(&PresetMenus()[1]);
}
void FreeGridMenu(uintptr_t) { GridMenuFree(); }
void FreeBackgroundMenu(uintptr_t) { ToolMenuFree(ZoomBackgroundMenu()); }

// The background colours the view offers: its graphics window's colour list.
GraphicsWindow* ViewWindow(WorkspaceComponent* ws) {
    DisplayComponent* cell = ActiveCell(ws);
    return cell != nullptr ? cell->Graphics() : nullptr;
}

int32_t& ChosenColour() {
    static int32_t index = -1;
    return index;
}

}  // namespace

// ---- The lens page ----------------------------------------------------------------------------

uint32_t LensAreaMaximum(const WorkspaceComponent* ws) {
    uint32_t maximum = kLensAreaLimit;
    const WindowGroup* g = ws != nullptr ? ws->group : nullptr;
    if (ws != nullptr && ws->lens.zoom < 1.0f && g != nullptr && IsWindowGroup(g) && g->windows[0] != nullptr) {
        const gWindow* w = g->windows[0];
        const int64_t across = int64_t{w->clientWidth} - std::lround(ws->margins[0]) - 1;
        const int64_t down = int64_t{w->clientHeight} - std::lround(ws->margins[1]) + 1;
        int64_t room = std::min<int64_t>({across, down, kLensAreaLimit});
        if (room < 11) room = kLensAreaMin;
        maximum = static_cast<uint32_t>(room);
    }
    // The area is even: an odd room leaves its last pixel.
    return std::min(maximum, kLensMaxSize) & ~1u;
}

void BuildLensPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    if (element->window != nullptr) gWgtSelect(element->window, GetUIFont(element->window));
    PageWidgets b(element);
    s[kLensPageOn] = b.Add(47, 33.0f, kRow, "Lens", &LensOnPress);
    s[kLensPageValues] = b.Glyph(47, 14.0f, 13.0f, kGlyphTwoState, &LensValuesPress);
    b.Caption("Zoom:", kRow);
    s[kLensPageZoom] = b.Field(30.0f, 17.0f, "6.0", &LensZoomChanged);
    b.Glyph(37, 13.0f, kRow, kGlyphReset, &LensZoomReset);
    b.Glyph(40, 13.0f, kRow, kGlyphArrowLeft, &LensZoomDown);
    b.Glyph(40, 13.0f, kRow, kGlyphArrowRight, &LensZoomUp);
    b.Row();
    b.Caption("Area of viewing:", kRow);
    s[kLensPageScreen] = b.Display(30.0f, 17.0f, "50");
    s[kLensPageArea] = b.Field(30.0f, 17.0f, "50", &LensAreaChanged);
    b.Glyph(37, 13.0f, kRow, kGlyphReset, &LensAreaReset);
    b.Glyph(40, 13.0f, kRow, kGlyphArrowLeft, &LensAreaDown);
    b.Glyph(40, 13.0f, kRow, kGlyphArrowRight, &LensAreaUp);
    if (s[kLensPageOn] != nullptr) gAccelAddWidget(s[kLensPageOn], kLensKey, kAccelPress, false, 0);
    if (s[kLensPageValues] != nullptr) gAccelAddWidget(s[kLensPageValues], kLensValuesKey, kAccelPress, false, 0);
}

void LensPageRefresh(UIPage*, UIElement* e, int32_t) {
    PageAdoptWindowFont(e);
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (ws == nullptr || PageSlot(e, 0) == nullptr) return;
    SetWidgetValue(PageSlot(e, kLensPageOn), ws->lens.on != 0);
    SetWidgetValue(PageSlot(e, kLensPageValues), ws->lens.showValues != 0);
    ShowLensFields(ws, e, false);
    MarkPageRepaint(e);
}

void RefreshLensPage(WorkspaceComponent* ws) {
    if (UIElement* e = WorkspaceOpenPage(ws, kWsPageLens)) LensPageRefresh(nullptr, e, 0);
}

void LensPageSetFromView(WorkspaceComponent* ws) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageLens);
    if (e == nullptr || !PageWindowVisible(e)) return;
    PageAdoptWindowFont(e);
    SetWidgetValue(PageSlot(e, kLensPageOn), ws->lens.on != 0);
    MarkPageRepaint(e);
}

void LensPageSetFromCell(DisplayComponent* cell) {
    WorkspaceComponent* ws = cell != nullptr ? cell->workspace : nullptr;
    UIElement* e = WorkspaceOpenPage(ws, kWsPageLens);
    if (e == nullptr) return;
    SetWidgetValue(PageSlot(e, kLensPageOn), ws->lens.on != 0);
    MarkPageRepaint(e);
}

void LensOnPress(gElement* toggle, uintptr_t data) {
    LensContext c = LensOf(data);
    if (toggle == nullptr || c.ws == nullptr) return;
    LensSetOn(c.ws, toggle->value != 0);
    RepaintWorkspace(c.ws);
}

void LensValuesPress(gElement* toggle, uintptr_t data) {
    LensContext c = LensOf(data);
    if (toggle == nullptr || c.ws == nullptr) return;
    const bool on = toggle->value != 0;
    if (on && c.ws->lens.on == 0) {
        LensSetOn(c.ws, true);
        if (gElement* lens = PageSlot(c.e, kLensPageOn)) {
            lens->value = 1;
            RepaintFieldNow(lens);
        }
    }
    LensShowValues(c.ws, on);
}

void LensZoomChanged(gElement* field, uintptr_t data) {
    LensContext c = LensOf(data);
    if (field == nullptr) return;
    if (c.ws == nullptr) {
        PageSetText(field, "6");
        return;
    }
    double value = 0.0;
    if (ReadFieldDouble(field, &value, false) && value > 0.0) {
        const float zoom = static_cast<float>(std::clamp(value, double{kLensZoomMin}, double{kLensZoomMax}));
        if (Apply(c.ws, c.e, FitArea(c.ws->lens.size, zoom, LensAreaMaximum(c.ws)), zoom)) return;
    }
    ShowLensFields(c.ws, c.e, true);
}

void LensZoomReset(gElement*, uintptr_t data) {
    LensContext c = LensOf(data);
    if (c.ws == nullptr || c.ws->lens.zoom == kLensDefaultZoom) return;
    Apply(c.ws, c.e, FitArea(c.ws->lens.size, kLensDefaultZoom, LensAreaMaximum(c.ws)), kLensDefaultZoom);
}

void LensZoomUp(gElement*, uintptr_t data) {
    LensContext c = LensOf(data);
    if (c.ws == nullptr) return;
    const Lens& lens = c.ws->lens;
    if (lens.zoom >= kLensZoomMax) return;
    float zoom = lens.zoom + kLensZoomStep;
    SnapFloatTo001(&zoom);
    zoom = std::min(zoom, kLensZoomMax);
    uint32_t area = lens.size;
    if (zoom > lens.zoom && static_cast<double>(area) * zoom > kLensScreenMax)
        area = FitArea(area, zoom, LensAreaMaximum(c.ws));
    Apply(c.ws, c.e, area, zoom);
}

void LensZoomDown(gElement*, uintptr_t data) {
    LensContext c = LensOf(data);
    if (c.ws == nullptr) return;
    const Lens& lens = c.ws->lens;
    if (lens.zoom <= kLensZoomMin) return;
    float zoom = lens.zoom - kLensZoomStep;
    SnapFloatTo001(&zoom);
    zoom = std::max(zoom, kLensZoomMin);
    uint32_t area = lens.size;
    if (static_cast<double>(area) * zoom < kLensScreenMin) area = FitArea(area, zoom, LensAreaMaximum(c.ws));
    Apply(c.ws, c.e, area, zoom);
}

void LensAreaChanged(gElement* field, uintptr_t data) {
    LensContext c = LensOf(data);
    if (field == nullptr || c.ws == nullptr) return;
    uint32_t value = 0;
    if (ReadFieldUInt(field, &value, false)) {
        const uint32_t area = std::clamp(value & ~1u, kLensAreaMin, LensAreaMaximum(c.ws));
        if (Apply(c.ws, c.e, area, c.ws->lens.zoom)) return;
    }
    ShowLensFields(c.ws, c.e, true);
}

void LensAreaReset(gElement*, uintptr_t data) {
    LensContext c = LensOf(data);
    if (c.ws == nullptr || c.ws->lens.size == kLensAreaReset) return;
    Apply(c.ws, c.e, kLensAreaReset, c.ws->lens.zoom);
}

void LensAreaUp(gElement*, uintptr_t data) {
    LensContext c = LensOf(data);
    if (c.ws == nullptr || c.ws->lens.size >= kLensAreaLimit) return;
    const uint32_t area = std::min((c.ws->lens.size + 3) & ~1u, LensAreaMaximum(c.ws));
    if (static_cast<double>(area) * c.ws->lens.zoom <= kLensScreenMax) Apply(c.ws, c.e, area, c.ws->lens.zoom);
}

void LensAreaDown(gElement*, uintptr_t data) {
    LensContext c = LensOf(data);
    if (c.ws == nullptr || c.ws->lens.size <= kLensAreaMin) return;
    const uint32_t area = std::max((c.ws->lens.size - 1) & ~1u, kLensAreaMin);
    if (static_cast<double>(area) * c.ws->lens.zoom >= kLensScreenMin) Apply(c.ws, c.e, area, c.ws->lens.zoom);
}

// ---- The zoom tool bar ------------------------------------------------------------------------

void ZoomPercentText(double factor, char text[32]) {
    const double p = 100.0 * factor;
    if (p > 1e-12 && p < 0.1) {
        char buffer[23];
        int n = std::snprintf(buffer, sizeof buffer, "%.12f", p);
        if (n < 0 || n >= static_cast<int>(sizeof buffer)) n = static_cast<int>(sizeof buffer) - 1;
        std::string s(buffer, static_cast<size_t>(n));
        if (s.find('.') != std::string::npos) {
            while (!s.empty() && s.back() == '0') s.pop_back();
            if (!s.empty() && s.back() == '.') s.pop_back();
        }
        std::snprintf(text, 32, "%s%%", s.c_str());
        return;
    }
    char number[40];
    const int n = FormatDoubleDigits(13, 3, p, number);
    const size_t length = n > 0 ? std::min<size_t>(static_cast<size_t>(n), 30) : 0;
    std::memcpy(text, number, length);
    text[length] = '%';
    text[length + 1] = '\0';
}

int32_t ZoomPresetIndex(double factor) {
    const double p = 100.0 * factor;
    if (!(p >= 5.0 && p <= 400.0) || p != std::floor(p)) return -1;
    for (int32_t i = 0; i < kZoomPresetCount; ++i)
        if (kPresetPercent[i] == p) return i;
    return -1;
}

double ZoomPresetFactor(int32_t index) {
    return index >= 0 && index < kZoomPresetCount ? kPresetPercent[index] / 100.0 : 0.0;
}

bool ZoomBarFactor(WorkspaceComponent* ws, int32_t selector, double* factor) {
    OutputDevice* device = DeviceOf(ws);
    if (factor == nullptr || device == nullptr) return false;
    if (auto* image = dynamic_cast<Image2DDevice*>(device)) {
        *factor = selector == 1 ? image->view.zoom.x : image->view.zoom.y;
        return true;
    }
    // A chart shows its one zoom, the pixels per sample, as the second factor.
    auto* chart = dynamic_cast<Chart1DDevice*>(device);
    ChartWindow* window = chart != nullptr ? chart->Chart() : nullptr;
    if (window == nullptr || selector == 1) return false;
    *factor = window->pixelsPerSample;
    return true;
}

void BuildZoomBar(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    if (element->window != nullptr) gWgtSelect(element->window, GetUIFont(element->window));
    PageWidgets b(element);
    s[kZoomSecondMenu] = b.Add(38, 13.0f, kRow, "", &ZoomPresetMenuOpen);
    s[kZoomSecondField] = b.Field(64.0f, kRow, "100%", &ZoomFieldChanged);
    s[kZoomFirstMenu] = b.Add(38, 13.0f, kRow, "", &ZoomPresetMenuOpen);
    s[kZoomFirstField] = b.Field(64.0f, kRow, "100%", &ZoomFieldChanged);
    s[kZoomLock] = b.Add(47, 13.0f, kRow, "L", &ZoomLockPress);
    s[kZoomIn] = b.Add(37, 13.0f, kRow, "+", &ZoomInPress);
    s[kZoomOut] = b.Add(37, 13.0f, kRow, "-", &ZoomOutPress);
    s[kZoomOneToOne] = b.Display(69.0f, kRow, "1:1");
    if (s[kZoomOneToOne] != nullptr) s[kZoomOneToOne]->color2 = 0x40A0A0A;
    s[kZoomReset] = b.Glyph(37, 13.0f, kRow, kGlyphReset, &ZoomResetPress);
    s[kZoomGrid] = b.Add(38, 40.0f, kRow, "Grid", &ZoomGridMenuOpen);
    s[kZoomBackground] = b.Add(38, 40.0f, kRow, "BG", &ZoomBackgroundMenuOpen);
    // The menus go with their buttons.
    auto release = [](gElement* button, void (*free)(uintptr_t)) {
        if (button != nullptr) button->releaseData = free;
    };
    release(s[kZoomSecondMenu], &FreePresetMenus);
    release(s[kZoomGrid], &FreeGridMenu);
    release(s[kZoomBackground], &FreeBackgroundMenu);
}

void ZoomBarRefresh(UIPage*, UIElement* e, int32_t) {
    PageAdoptWindowFont(e);
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (ws == nullptr || PageSlot(e, 0) == nullptr) return;
    ShowFactors(ws, e, false);
    if (auto* image = dynamic_cast<Image2DDevice*>(DeviceOf(ws)))
        SetWidgetValue(PageSlot(e, kZoomLock), image->view.zoom.lock != 0);
    MarkPageRepaint(e);
}

void UpdateZoomBarPage(WorkspaceComponent* ws, bool repaint) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageZoomBar);
    if (e == nullptr) return;
    PageAdoptWindowFont(e);
    ShowFactors(ws, e, false);
    if (repaint && PageWindowVisible(e)) {
        PaintWindowNow(e->window, true);
    } else {
        MarkPageRepaint(e);
    }
}

void RefreshZoomBar(WorkspaceComponent* ws, bool repaint) { UpdateZoomBarPage(ws, repaint); }

void ZoomFieldChanged(gElement* field, uintptr_t data) {
    BarContext c = BarOf(data);
    if (field == nullptr || c.e == nullptr) return;
    const int32_t selector = field == PageSlot(c.e, kZoomFirstField) ? 1 : 0;
    double value = 0.0;
    if (c.device != nullptr && ReadFieldDouble(field, &value, false) && value > 0.0) {
        const double rounded = std::floor(value * 10.0 + 0.5) / 10.0;
        if (c.device->SetZoom(selector == 1, rounded / 100.0, Locked(c.device))) Redeliver(c.device);
    }
    ShowFactors(c.ws, c.e, true);
}

void ZoomLockPress(gElement* toggle, uintptr_t data) {
    BarContext c = BarOf(data);
    auto* image = dynamic_cast<Image2DDevice*>(c.device);
    if (toggle == nullptr || image == nullptr) return;
    image->view.zoom.lock = toggle->value != 0 ? 1 : 0;
}

void ZoomInPress(gElement*, uintptr_t data) {
    BarContext c = BarOf(data);
    if (dynamic_cast<Chart1DDevice*>(c.device) != nullptr) c.device->SetZoom(true, -1.0, false);
}

void ZoomOutPress(gElement*, uintptr_t data) {
    BarContext c = BarOf(data);
    if (dynamic_cast<Chart1DDevice*>(c.device) != nullptr) c.device->SetZoom(true, -2.0, false);
}

void ZoomResetPress(gElement*, uintptr_t data) {
    BarContext c = BarOf(data);
    if (c.device != nullptr && c.device->SetZoom2(0.0, 0.0)) {
        Redeliver(c.device);
        RefreshZoomBar(c.ws, true);
    }
}

ToolMenu* ZoomPresetMenu(int32_t selector) { return &PresetMenus()[selector == 1 ? 1 : 0]; }

void ZoomPresetMenuOpen(gElement* button, uintptr_t data) {
    BarContext c = BarOf(data);
    if (button == nullptr || c.e == nullptr) return;
    const int32_t selector = button == PageSlot(c.e, kZoomFirstMenu) ? 1 : 0;
    ToolMenu* m = ZoomPresetMenu(selector);
    if (ToolMenuLive(m) && gMenuIsOpen(m->menu)) return;
    if (ToolMenuMake(m, button, kPresetLabels, kPresetIds, kZoomPresetCount, selector == 1 ? &ChooseFirst : &ChooseSecond,
                     kMenuColour) == nullptr)
        return;
    MenuWorkspace() = c.ws;
    double factor = 0.0;
    const bool known = ZoomBarFactor(c.ws, selector, &factor);
    // The first factor has no presets on a chart or without a device.
    const bool usable = selector == 0 ? true : known;
    const int32_t checked = known ? ZoomPresetIndex(factor) : -1;
    for (int32_t i = 0; i < kZoomPresetCount; ++i) {
        ToolMenuEnable(m, kPresetIds[i], usable);
        ToolMenuCheck(m, kPresetIds[i], i == checked);
    }
    ToolMenuPopup(m->menu, button, kMenuColour);
}

void ZoomPresetChoose(WorkspaceComponent* ws, int32_t selector, int32_t index) {
    OutputDevice* device = DeviceOf(ws);
    if (device == nullptr || index < 0 || index >= kZoomPresetCount) return;
    if (selector == 1 && dynamic_cast<Image2DDevice*>(device) == nullptr) return;
    device->AddRef();
    const bool changed = device->SetZoom(selector == 1, ZoomPresetFactor(index), Locked(device));
    if (changed) Redeliver(device);
    device->Release();
    if (!changed) return;
    if (selector == 1) {
        UIElement* e = WorkspaceOpenPage(ws, kWsPageZoomBar);
        if (e != nullptr) ShowFactors(ws, e, true);
    } else {
        RefreshZoomBar(ws, true);
    }
}

void ZoomGridMenuOpen(gElement* button, uintptr_t data) {
    BarContext c = BarOf(data);
    if (c.e != nullptr) GridMenuOpen(c.ws, button);
}

ToolMenu* ZoomBackgroundMenu() {
    static ToolMenu menu;
    return &menu;
}

namespace {

// "Select Color...": the colour dialog over the workspace's window, offering the view's
// colours. The chosen colour is applied as a list entry is: it joins the list (with no
// name, so the menu shows it as "Color") when it is not there, and the menu checks it.
void RunBackgroundDialog(WorkspaceComponent* ws) {
    GraphicsWindow* gw = ViewWindow(ws);
    GraphicsColourList* list = gw != nullptr ? gw->GetDefaults() : nullptr;
    if (list == nullptr) return;
    std::vector<uint32_t> swatches;
    for (const GraphicsColour& c : list->entries) swatches.push_back(c.colour);
    uint32_t colour = gw->colours;
    gWindow* owner = ws->group != nullptr ? gWinValidate(ws->group->windows[0]) : nullptr;
    if (!RunColourDialog(owner, &colour, swatches)) return;
    // The view may have gone while the dialog was up.
    gw = ViewWindow(ws);
    list = gw != nullptr ? gw->GetDefaults() : nullptr;
    if (list == nullptr) return;
    size_t index = 0;
    while (index < list->entries.size() && list->entries[index].colour != colour) ++index;
    if (index == list->entries.size()) list->entries.push_back(GraphicsColour{colour, nullptr});
    ZoomBackgroundChoose(ws, static_cast<int32_t>(index));
}

}  // namespace

BackgroundDialogFn& TheBackgroundDialog() {
    static BackgroundDialogFn dialog = &RunBackgroundDialog;
    return dialog;
}

void ZoomBackgroundMenuOpen(gElement* button, uintptr_t data) {
    BarContext c = BarOf(data);
    if (button == nullptr || c.e == nullptr) return;
    ToolMenu* m = ZoomBackgroundMenu();
    if (ToolMenuLive(m) && gMenuIsOpen(m->menu)) return;
    GraphicsWindow* gw = ViewWindow(c.ws);
    GraphicsColourList* list = gw != nullptr ? gw->GetDefaults() : nullptr;
    // Refilled at each opening from the view's colours: one entry each, a separator, the
    // dialog.
    std::vector<const char*> labels;
    std::vector<uint32_t> ids;
    int32_t current = -1;
    const size_t count = list != nullptr ? std::min<size_t>(list->entries.size(), kMenuMaxRows - 2) : 0;
    for (size_t i = 0; i < count; ++i) {
        const GraphicsColour& colour = list->entries[i];
        labels.push_back(colour.name != nullptr && colour.name[0] != '\0' ? colour.name : "Color");
        ids.push_back(static_cast<uint32_t>(i + 1));
        if (colour.colour == gw->colours && current < 0) current = static_cast<int32_t>(i);
    }
    if (count > 0) {
        labels.push_back(nullptr);
        ids.push_back(0);
    }
    labels.push_back("Select Color...");
    ids.push_back(kDialogId);
    ToolMenuFree(m);
    if (ToolMenuMake(m, button, labels.data(), ids.data(), static_cast<int32_t>(labels.size()), &ChooseColour,
                     kMenuColour) == nullptr)
        return;
    MenuWorkspace() = c.ws;
    if (count > 0) gMenuItemAt(m->menu, 0, static_cast<int32_t>(count) - 1, current + 1, true);
    ToolMenuPopup(m->menu, button, kMenuColour);
}

void ZoomBackgroundChoose(WorkspaceComponent* ws, int32_t index) {
    GraphicsWindow* gw = ViewWindow(ws);
    if (gw == nullptr) return;
    if (index < 0) {
        if (BackgroundDialogFn dialog = TheBackgroundDialog()) dialog(ws);
        return;
    }
    GraphicsColourList* list = gw->GetDefaults();
    if (list == nullptr || static_cast<size_t>(index) >= list->entries.size()) return;
    gw->SetColours(list->entries[static_cast<size_t>(index)].colour);
    ChosenColour() = index;
}

void ZoomBarMenusFree() {
    FreePresetMenus(0);
    GridMenuFree();
    ToolMenuFree(ZoomBackgroundMenu());
}

}  // namespace orva
