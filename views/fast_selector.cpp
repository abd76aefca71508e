#include "views/fast_selector.h"

#include <cstdio>

#include "app/cui.h"
#include "app/ui_elements.h"
#include "framework/display_lock.h"
#include "framework/frame_player.h"
#include "framework/port.h"
#include "io/frame_cursor.h"
#include "toolkit/font.h"
#include "toolkit/small_controls.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/playback.h"
#include "views/transport_page.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "app/page_rows.h"

namespace orva {

namespace {

// Playback at this many milliseconds a frame or faster redraws the view itself.
constexpr int32_t kPlaybackRedrawsBelow = 501;

CUI* CuiOf(WorkspaceComponent* ws) {
    auto* cui = ws != nullptr ? dynamic_cast<CUI*>(ws->ui) : nullptr;
    return cui != nullptr ? cui : &TheCUI();
}

void WriteNumber(gElement* field, int32_t n, bool now) {
    if (field == nullptr) return;
    char text[12];
    SelectorNumberText(n, text);
    PageSetText(field, text);
    if (now) RepaintFieldNow(field);
}

void MarkDirty(gElement* widget) {
    if (widget == nullptr) return;
    if (gWindow* w = gWinValidate(widget->window)) w->dirty = 7;
}

void Release(gElement* button) {
    if (button == nullptr) return;
    button->value = 0;
    RepaintFieldNow(button);
}

bool SelectProjectReal(CUI* cui, int32_t step) { return ProjectSelectNext(cui, step, true); }
bool SelectItemReal(Project* project, int32_t step) { return ProjectSelectNextItem(project, step, true); }
bool SelectStreamReal(ProjectItem* item, int32_t step) { return ItemSelectNextSource(item, step, true); }

void FollowFrameReal(WorkspaceComponent* ws) { DisplayFollowSteppedFrame(ws != nullptr ? ws->activeCell : nullptr); }

void RepaintViewReal(WorkspaceComponent* ws) {
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    if (cell == nullptr || cell->window == nullptr || cell->window->dirty == 0) return;
    PaintWindowNow(cell->window, true);
}

bool Step(WorkspaceComponent* ws, gElement* button, UIElement* transport, int32_t flag, bool forward) {
    MarkDirty(button);
    FramePlayer* player = ActivePlayer(ws);
    // Two frames (last index 1) can be stepped as well as any more.
    bool moved = false;
    if (player != nullptr && player->last.load() >= 1) {
        DisplayLockGuard hold;
        moved = forward ? FramePlayerStepForward(*player) : FramePlayerStepBack(*player);
    }
    if (moved) {
        ShowSteppedFrame(ws, transport, flag);
    } else {
        Release(button);
    }
    return moved;
}

}  // namespace

FastSelectorHooks& TheFastSelectorHooks() {
    static FastSelectorHooks hooks = [] {
        FastSelectorHooks h;
        FastSelectorHooksDefaults(&h);
        return h;
    }();
    return hooks;
}

void FastSelectorHooksDefaults(FastSelectorHooks* h) {
    *h = FastSelectorHooks{};
    h->selectProject = &SelectProjectReal;
    h->selectItem = &SelectItemReal;
    h->selectStream = &SelectStreamReal;
    h->followFrame = &FollowFrameReal;
    h->repaintView = &RepaintViewReal;
}

void SelectorNumberText(int32_t n, char text[12]) {
    const int written = std::snprintf(text, 12, "%d", n);
    if (written < 0 || written >= 12) text[11] = '\0';
}

FramePlayer* ActivePlayer(WorkspaceComponent* ws) {
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    PortList* list = cell != nullptr ? cell->portList : nullptr;
    return list != nullptr ? &list->player : nullptr;
}

// ---- Frame steps ----------------------------------------------------------------------------------

bool StepFrameForward(WorkspaceComponent* ws, gElement* button, UIElement* transport, int32_t flag) {
    return Step(ws, button, transport, flag, true);
}

bool StepFrameBack(WorkspaceComponent* ws, gElement* button, UIElement* transport, int32_t flag) {
    return Step(ws, button, transport, flag, false);
}

void ShowSteppedFrame(WorkspaceComponent* ws, UIElement* transport, int32_t) {
    FramePlayer* player = ActivePlayer(ws);
    if (ws == nullptr || player == nullptr) return;
    UIElement* page = transport;
    if (page == nullptr) {
        page = WorkspaceOpenPage(ws, kWsPageTransport);
        if (page != nullptr && !PageWindowVisible(page)) page = nullptr;
    }
    if (gElement* text = PageSlot(page, kTransportFrameText)) {
        FrameNumberText(*player, text);
        RepaintFieldNow(text);
    }
    if (gElement* bar = PageSlot(page, kTransportSeekBar)) {
        if (ProgressBar::Update(bar)) RepaintFieldNow(bar);
    }
    RedrawFastSelectorFrame(ws);
    DisplayComponent* cell = ws->activeCell;
    if (cell != nullptr && cell->portList != nullptr) PlaybackStepRedraw(cell->portList);
    // Fast playback redraws the view by itself.
    EventTimer& timer = TheEventTimer();
    if (timer.port.load() != nullptr && timer.lastRateValue.load() < kPlaybackRedrawsBelow) return;
    const FastSelectorHooks& h = TheFastSelectorHooks();
    if (h.followFrame != nullptr) h.followFrame(ws);
    if (h.repaintView != nullptr) h.repaintView(ws);
}

// ---- The page ------------------------------------------------------------------------------------------

void BuildFastSelectorPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "Fast selector";
    PageWidgets b(element);
    const struct {
        const char* caption;
        uint32_t first;
    } rows[4] = {{"FRAME(S):", kSelFrameTotal},
                 {"STREAM(S):", kSelStreamTotal},
                 {"FILE(S):", kSelFileTotal},
                 {"PROJECT(S):", kSelProjectTotal}};
    for (const auto& row : rows) {
        b.Row();
        b.Caption(row.caption, kPageRow);
        s[row.first] = b.Display(44.0f, kPageRow, "0");
        s[row.first + 1] = b.Display(44.0f, kPageRow, "0");
        s[row.first + 2] = b.Glyph(40, 10.0f, kPageRow, kGlyphArrowLeft, &FastSelectorArrow);
        s[row.first + 3] = b.Glyph(40, 10.0f, kPageRow, kGlyphArrowRight, &FastSelectorArrow);
    }
}

void FastSelectorPageRefresh(UIPage*, UIElement* element, int32_t) {
    RefreshFastSelectorPage(WorkspaceOfElement(element), element);
}

void RefreshFastSelectorPage(WorkspaceComponent* ws, UIElement* e) {
    if (e == nullptr || PageSlot(e, 0) == nullptr) return;
    CUI* cui = CuiOf(ws);
    Project* project = cui->currentProject;
    ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
    if (item == nullptr) {
        for (uint32_t s : {kSelProjectTotal, kSelProjectCurrent, kSelFileTotal, kSelFileCurrent, kSelStreamTotal,
                           kSelStreamCurrent, kSelFrameTotal, kSelFrameCurrent})
            WriteNumber(PageSlot(e, s), 0, false);
        MarkPageRepaint(e);
        return;
    }
    WriteNumber(PageSlot(e, kSelProjectTotal), cui->projectCount, true);
    WriteNumber(PageSlot(e, kSelProjectCurrent), cui->currentProjectPosition, true);
    WriteNumber(PageSlot(e, kSelStreamTotal), item->sourceCount, true);
    WriteNumber(PageSlot(e, kSelStreamCurrent), item->currentSourcePosition, true);
    WriteNumber(PageSlot(e, kSelFileTotal), project->count, true);
    WriteNumber(PageSlot(e, kSelFileCurrent), project->currentPosition, true);
    FramePlayer* player = ActivePlayer(ws);
    WriteNumber(PageSlot(e, kSelFrameTotal), player != nullptr ? player->count.load() : 0, true);
    WriteNumber(PageSlot(e, kSelFrameCurrent), player != nullptr ? player->current.load() + 1 : 1, true);
}

void RefreshFastSelectorIfOpen(WorkspaceComponent* ws) {
    if (UIElement* e = WorkspaceOpenPage(ws, kWsPageFastSelector, false)) RefreshFastSelectorPage(ws, e);
}

void RedrawFastSelectorFrameNumber(WorkspaceComponent* ws, int32_t number) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageFastSelector);
    if (e == nullptr || !PageWindowVisible(e)) return;
    WriteNumber(PageSlot(e, kSelFrameCurrent), number, true);
}

void MarkFastSelectorFrame(WorkspaceComponent* ws) {
    UIElement* e = WorkspaceOpenPage(ws, kWsPageFastSelector);
    if (e == nullptr || !PageWindowVisible(e)) return;
    FramePlayer* player = ActivePlayer(ws);
    gElement* field = PageSlot(e, kSelFrameCurrent);
    WriteNumber(field, player != nullptr ? player->current.load() + 1 : 1, false);
    MarkDirty(field);
}

void RedrawFastSelectorFrame(WorkspaceComponent* ws) {
    FramePlayer* player = ActivePlayer(ws);
    RedrawFastSelectorFrameNumber(ws, player != nullptr ? player->current.load() + 1 : 1);
}

void FastSelectorArrow(gElement* button, uintptr_t data) {
    UIElement* e = LivePageElement(data, kSelSlotCount);
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (e == nullptr || button == nullptr) return;
    uint32_t slot = 0;
    while (slot < kSelSlotCount && e->slots[slot] != button) ++slot;
    if (slot >= kSelSlotCount) return;
    const bool next = slot % 4 == 3;
    const int32_t step = next ? 1 : -1;
    CUI* cui = CuiOf(ws);
    Project* project = cui->currentProject;
    ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
    const FastSelectorHooks& h = TheFastSelectorHooks();
    // The current number moves within 1 .. count.
    auto allowed = [next](int32_t current, int32_t count) { return next ? current != count : current >= 2; };
    bool changed = false;
    switch (slot) {
        case kSelProjectBack:
        case kSelProjectNext:
            if (project != nullptr && allowed(cui->currentProjectPosition, cui->projectCount) &&
                h.selectProject != nullptr)
                changed = h.selectProject(cui, step);
            break;
        case kSelFileBack:
        case kSelFileNext:
            if (item != nullptr && allowed(project->currentPosition, project->count) && h.selectItem != nullptr)
                changed = h.selectItem(project, step);
            break;
        case kSelStreamBack:
        case kSelStreamNext:
            if (item != nullptr && item->currentSource.load() != nullptr &&
                allowed(item->currentSourcePosition, item->sourceCount) && h.selectStream != nullptr)
                changed = h.selectStream(item, step);
            break;
        case kSelFrameBack:
            StepFrameBack(ws, button, nullptr, 1);
            return;
        case kSelFrameNext:
            StepFrameForward(ws, button, nullptr, 1);
            return;
        default:
            return;
    }
    if (changed && ws != nullptr) RefreshFastSelectorIfOpen(ws);
}

// ---- Transport texts -------------------------------------------------------------------------------------

void ShowTimeOrZero(gElement* widget) {
    if (widget == nullptr) return;
    PageSetText(widget, TheFramePlayerSaved().timeMode.load() == 1 ? "00:00:00:000" : "0");
}

void ClearWidgetText(gElement* widget) {
    if (widget != nullptr) PageSetText(widget, "");
}

void ShowRateUnitLetter(gElement* widget, int32_t unit) {
    if (widget == nullptr) return;
    PageSetText(widget, unit == 1 ? "T" : unit == 2 ? "S" : "F");
}

}  // namespace orva
