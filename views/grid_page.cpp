#include "views/grid_page.h"

#include <cstdio>

#include "app/field_readers.h"
#include "app/ui_elements.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/display_grid.h"
#include "views/rulers.h"
#include "views/source_page_parts.h"
#include "views/tool_menu.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "app/page_rows.h"

namespace orva {

namespace {

constexpr uint32_t kCaptionColour = 0x47F7F7F;
constexpr uint32_t kMenuColour = 0x4676A6A;

// The setting of each toggle slot.
struct ToggleSlot {
    uint32_t slot;
    GridSetting setting;
};
constexpr ToggleSlot kToggles[] = {
    {kGridShown, GridSetting::kShown},       {kGridHorizontal, GridSetting::kHorizontal},
    {kGridVertical, GridSetting::kVertical}, {kGridDoubleStep, GridSetting::kDoubleStep},
    {kGridColour, GridSetting::kColour},     {kGridBold, GridSetting::kBold},
    {kGridStipple, GridSetting::kStipple},   {kGridBlend, GridSetting::kBlend},
    {kGridLockBounds, GridSetting::kLockBounds},
};

// The menu's rows: ids 1 to 11 in the order of the settings above (the unlock pair 9 and 10).
const char* const kMenuLabels[kGridMenuRows] = {"Grid", "Horizontal", "Vertical", "Double step", nullptr,
                                                "Color", "Bold", "Stipple", "Blend", nullptr,
                                                "Chart: Unlock X", "Chart: Unlock Y",
                                                "Chart: Lock the left and right boundary", nullptr,
                                                "Rulers", "Horizontal ruler", "Vertical ruler"};
const uint32_t kMenuIds[kGridMenuRows] = {1, 2, 3, 4, 0, 5, 6, 7, 8, 0, 9, 10, 11, 0, 12, 13, 14};
constexpr GridSetting kMenuSettings[12] = {GridSetting::kShown,   GridSetting::kShown,      GridSetting::kHorizontal,
                                           GridSetting::kVertical, GridSetting::kDoubleStep, GridSetting::kColour,
                                           GridSetting::kBold,    GridSetting::kStipple,    GridSetting::kBlend,
                                           GridSetting::kUnlockX, GridSetting::kUnlockY,    GridSetting::kLockBounds};

DisplayComponent* ActiveCell(WorkspaceComponent* ws) {
    return ws != nullptr ? AsDisplayCell(ws->activeCell) : nullptr;
}

bool Setting(const GridRecord& g, GridSetting s) {
    switch (s) {
        case GridSetting::kShown: return g.shown != 0;
        case GridSetting::kHorizontal: return g.horizontal != 0;
        case GridSetting::kVertical: return g.vertical != 0;
        case GridSetting::kDoubleStep: return g.doubleStep == 1;
        case GridSetting::kColour: return g.colour != 0;
        case GridSetting::kBold: return g.bold != 0;
        case GridSetting::kStipple: return g.stipple != 0;
        case GridSetting::kBlend: return g.blend != 0;
        case GridSetting::kUnlockX: return g.unlockX != 0;
        case GridSetting::kUnlockY: return g.unlockY != 0;
        case GridSetting::kLockBounds: return g.lockBounds != 0;
    }
    return false;
}

void SetToggle(gElement* toggle, bool on, bool repaint) {
    if (toggle == nullptr) return;
    toggle->value = on ? 1 : 0;
    if (repaint) RepaintFieldNow(toggle);
}

void ShowSpacing(gElement* field, uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "%u", value);
    PageSetText(field, text);
    RepaintFieldNow(field);
}

void ShowCursorOptions(UIElement* e, const GridRecord* g) {
    SetToggle(PageSlot(e, kGridUnlockX), g != nullptr && g->unlockX != 0, false);
    SetToggle(PageSlot(e, kGridUnlockY), g != nullptr && g->unlockY != 0, false);
    if (g != nullptr) SetToggle(PageSlot(e, kGridLockBounds), g->lockBounds != 0, false);
}

void Refresh(WorkspaceComponent* ws, UIElement* e) {
    DisplayComponent* cell = ActiveCell(ws);
    GridRecord* g = DisplayGrid(cell);
    if (e == nullptr) return;
    if (g == nullptr) {
        ShowCursorOptions(e, nullptr);
        return;
    }
    MarkPageRepaint(e);
    SetToggle(PageSlot(e, kGridShown), g->shown != 0, false);
    SetToggle(PageSlot(e, kGridHorizontal), g->horizontal != 0, false);
    SetToggle(PageSlot(e, kGridVertical), g->vertical != 0, false);
    ShowCursorOptions(e, g);
    SetToggle(PageSlot(e, kGridDoubleStep), g->doubleStep == 1, false);
    SetToggle(PageSlot(e, kGridColour), g->colour != 0, false);
    SetToggle(PageSlot(e, kGridBold), g->bold != 0, false);
    SetToggle(PageSlot(e, kGridStipple), g->stipple != 0, false);
    SetToggle(PageSlot(e, kGridBlend), g->blend != 0, false);
    ShowSpacing(PageSlot(e, kGridMajorX), g->x.major);
    ShowSpacing(PageSlot(e, kGridMajorY), g->y.major);
    ShowSpacing(PageSlot(e, kGridMinimalX), g->x.minimal);
    ShowSpacing(PageSlot(e, kGridMinimalY), g->y.minimal);
}

// The workspace whose grid menu is open.
WorkspaceComponent*& MenuWorkspace() {
    static WorkspaceComponent* ws = nullptr;
    return ws;
}

uint8_t ChooseFromMenu(void*, uint32_t id) {
    GridMenuChoose(MenuWorkspace(), id);
    return 1;
}

// The one cursor-unlock operation: the chosen axis switches.
bool SwitchUnlock(DisplayComponent* cell, bool axisX) {
    GridRecord* g = DisplayGrid(cell);
    if (g == nullptr) return false;
    const bool on = (axisX ? g->unlockX : g->unlockY) == 0;
    return DisplayGridSet(cell, axisX ? GridSetting::kUnlockX : GridSetting::kUnlockY, on) != kGridUnchanged;
}

}  // namespace

// ---- Building ---------------------------------------------------------------------------------------

void BuildGridPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    if (element->window != nullptr) gWgtSelect(element->window, GetUIFont(element->window));
    PageWidgets b(element);
    auto toggle = [&](float width, const char* text, void (*handler)(gElement*, uintptr_t)) {
        return b.Add(47, width, kPageRow, text, handler, kCaptionColour);
    };
    s[kGridShown] = toggle(67.0f, "Grid", &GridTogglePress);
    s[kGridHorizontal] = toggle(66.0f, "Horizontal", &GridTogglePress);
    s[kGridVertical] = toggle(66.0f, "Vertical", &GridTogglePress);
    s[kGridDoubleStep] = toggle(67.0f, "Double step", &GridTogglePress);
    b.Row();
    s[kGridColour] = toggle(67.0f, "Color", &GridTogglePress);
    s[kGridBold] = toggle(66.0f, "Bold", &GridTogglePress);
    s[kGridStipple] = toggle(66.0f, "Stipple", &GridTogglePress);
    s[kGridBlend] = toggle(67.0f, "Blend", &GridTogglePress);
    b.Row();
    b.Caption("Major spacing [bitmap] :");
    b.Caption("X:");
    s[kGridMajorX] = b.Field(40.0f, kPageRow, "100", &GridSpacingChanged);
    b.Caption("Y:");
    s[kGridMajorY] = b.Field(40.0f, kPageRow, "100", &GridSpacingChanged);
    b.Row();
    b.Caption("Minimal step   [charts] :");
    b.Caption("X:");
    s[kGridMinimalX] = b.Field(40.0f, kPageRow, "40", &GridSpacingChanged);
    b.Caption("Y:");
    s[kGridMinimalY] = b.Field(40.0f, kPageRow, "40", &GridSpacingChanged);
    b.Row();
    b.Caption("Cursor options [charts]");
    b.Row();
    s[kGridUnlockX] = toggle(67.0f, "Unlock X", &GridUnlockPress);
    s[kGridUnlockY] = toggle(66.0f, "Unlock Y", &GridUnlockPress);
    s[kGridLockBounds] = toggle(132.0f, "Lock left and right", &GridTogglePress);
}

void GridPageRefresh(UIPage*, UIElement* element, int32_t) {
    PageAdoptWindowFont(element);
    Refresh(WorkspaceOfElement(element), element);
}

void UpdateGridPage(WorkspaceComponent* ws, bool repaint) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageGrid);
    if (e == nullptr) return;
    PageAdoptWindowFont(e);
    Refresh(ws, e);
    if (repaint && PageWindowVisible(e)) PaintWindowNow(e->window, true);
}

void RefreshGridCursorOptions(WorkspaceComponent* ws) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageGrid);
    if (e == nullptr) return;
    ShowCursorOptions(e, DisplayGrid(ActiveCell(ws)));
    MarkPageRepaint(e);
}

// ---- Handlers ----------------------------------------------------------------------------------------

void GridTogglePress(gElement* toggle, uintptr_t data) {
    UIElement* e = LivePageElement(data, kGridSlotCount);
    if (toggle == nullptr || e == nullptr) return;
    DisplayComponent* cell = ActiveCell(WorkspaceOfElement(e));
    if (DisplayGrid(cell) == nullptr) {
        SetToggle(toggle, false, true);
        return;
    }
    const bool on = toggle->value != 0;
    for (const ToggleSlot& t : kToggles) {
        if (PageSlot(e, t.slot) != toggle) continue;
        const int32_t answer = DisplayGridSet(cell, t.setting, on);
        if (answer != kGridLinesChanged) return;
        if (t.setting == GridSetting::kShown) {
            SetToggle(PageSlot(e, kGridHorizontal), true, true);
            SetToggle(PageSlot(e, kGridVertical), true, true);
        } else if (t.setting == GridSetting::kHorizontal || t.setting == GridSetting::kVertical) {
            SetToggle(PageSlot(e, kGridShown), on, true);
        }
        return;
    }
}

void GridUnlockPress(gElement* toggle, uintptr_t data) {
    UIElement* e = LivePageElement(data, kGridSlotCount);
    if (toggle == nullptr || e == nullptr) return;
    DisplayComponent* cell = ActiveCell(WorkspaceOfElement(e));
    if (DisplayGrid(cell) == nullptr) {
        SetToggle(toggle, false, true);
        return;
    }
    const bool axisX = toggle == PageSlot(e, kGridUnlockX);
    DisplayGridSet(cell, axisX ? GridSetting::kUnlockX : GridSetting::kUnlockY, toggle->value != 0);
}

void GridSpacingChanged(gElement* field, uintptr_t data) {
    UIElement* e = LivePageElement(data, kGridSlotCount);
    if (field == nullptr || e == nullptr) return;
    DisplayComponent* cell = ActiveCell(WorkspaceOfElement(e));
    GridRecord* g = DisplayGrid(cell);
    if (g == nullptr) {
        char text[12];
        std::snprintf(text, sizeof text, "%d", 100);
        PageSetText(field, text);
        RepaintFieldNow(field);
        return;
    }
    const bool axisX = field == PageSlot(e, kGridMajorX) || field == PageSlot(e, kGridMinimalX);
    const bool minimal = field == PageSlot(e, kGridMinimalX) || field == PageSlot(e, kGridMinimalY);
    uint32_t entered = 0;
    if (ReadFieldUInt(field, &entered, false)) DisplayGridSetSpacing(cell, axisX, minimal, GridSpacing(entered));
    const GridAxis& axis = axisX ? g->x : g->y;
    ShowSpacing(field, minimal ? axis.minimal : axis.major);
}

// ---- The menu ----------------------------------------------------------------------------------------

namespace {

// The ruler entries from the active cell's rulers: a scale is checked while it is on the
// screen; without a graphics window they are greyed.
void CheckRulerEntries(ToolMenu* m, DisplayComponent* cell) {
    const ViewRulers* r = RulersOfCell(cell);
    const bool on = r != nullptr && r->shown != 0;
    ToolMenuEnable(m, kGridMenuRulers, r != nullptr);
    ToolMenuEnable(m, kGridMenuRulerH, r != nullptr);
    ToolMenuEnable(m, kGridMenuRulerV, r != nullptr);
    ToolMenuCheck(m, kGridMenuRulers, on);
    ToolMenuCheck(m, kGridMenuRulerH, on && r->scaleShown[0] != 0);
    ToolMenuCheck(m, kGridMenuRulerV, on && r->scaleShown[1] != 0);
}

}  // namespace

ToolMenu* GridMenu() {
    static ToolMenu menu;
    return &menu;
}

void GridMenuFree() { ToolMenuFree(GridMenu()); }

void GridMenuOpen(WorkspaceComponent* ws, gElement* button) {
    ToolMenu* m = GridMenu();
    if (ToolMenuLive(m) && gMenuIsOpen(m->menu)) return;
    if (ToolMenuMake(m, button, kMenuLabels, kMenuIds, kGridMenuRows, &ChooseFromMenu, kMenuColour) == nullptr) return;
    MenuWorkspace() = ws;
    DisplayComponent* cell = ActiveCell(ws);
    const GridRecord* g = DisplayGrid(cell);
    const bool chart = DisplayShowsChart(cell);
    for (uint32_t id = 1; id <= 11; ++id) {
        const bool chartEntry = id >= 9;
        ToolMenuEnable(m, id, g != nullptr && (!chartEntry || chart));
        ToolMenuCheck(m, id, g != nullptr && Setting(*g, kMenuSettings[id]));
    }
    CheckRulerEntries(m, cell);
    ToolMenuPopup(m->menu, button, kMenuColour);
}

void GridMenuChoose(WorkspaceComponent* ws, uint32_t id) {
    DisplayComponent* cell = ActiveCell(ws);
    if (id >= kGridMenuRulers && id <= kGridMenuRulerV) {
        if (id == kGridMenuRulers) ToggleRulersShown(cell);
        else if (id == kGridMenuRulerH) ToggleHorizontalScaleShown(cell);
        else ToggleVerticalScaleShown(cell);
        CheckRulerEntries(GridMenu(), cell);
        return;
    }
    const GridRecord* g = DisplayGrid(cell);
    if (g == nullptr || id < 1 || id > 11) return;
    if (id == 9 || id == 10) {
        SwitchUnlock(cell, id == 9);
        UpdateGridPage(ws, true);
        return;
    }
    const GridSetting setting = kMenuSettings[id];
    const int32_t answer = DisplayGridSet(cell, setting, !Setting(*g, setting));
    ToolMenuCheck(GridMenu(), id, Setting(*g, setting));
    if (id > 3 || answer != kGridUnchanged) UpdateGridPage(ws, true);
}

}  // namespace orva
