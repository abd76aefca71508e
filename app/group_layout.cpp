#include "app/group_layout.h"

#include <algorithm>
#include <cmath>

#include "app/cui.h"
#include "app/page_rows.h"
#include "app/property_pages.h"
#include "app/ui_elements.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/slider.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

// ---- The tool window beside the main window ------------------------------------------------

bool RectsOverlap(const platform::Rect& a, const platform::Rect& b) {
    return a.left < a.right && a.top < a.bottom && b.left < b.right && b.top < b.bottom && a.left < b.right &&
           b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

platform::Rect PlaceMainWindow(int32_t screenWidth, int32_t screenHeight, const platform::Rect& area) {
    const int32_t width = std::min(screenWidth - 20, 900), height = std::min(screenHeight, 706);
    int32_t x = (screenWidth - width) / 2 > 0 ? (screenWidth - width) / 2 : 0;
    const bool toolBelowFits = screenHeight - 25 - kToolHeight >= height;
    if (!toolBelowFits && area.right - area.left >= width + kToolWidth) x = area.left;
    return platform::Rect{x, 0, x + width, height};
}

ToolWindowRect PlaceToolWindow(const platform::Rect& main, int32_t sideWidth, int32_t screenWidth,
                               int32_t screenHeight, const platform::Rect& area) {
    ToolWindowRect r;
    r.x = std::max(0, main.left + sideWidth + 20);
    r.width = std::min(screenWidth - 25 - r.x, kToolWidth);
    r.height = std::min(screenHeight - 25, kToolHeight);
    r.y = std::max(0, screenHeight - 25 - kToolHeight);
    const platform::Rect wanted{r.x, r.y, r.x + r.width, r.y + r.height};
    if (r.width > 0 && !RectsOverlap(wanted, main)) return r;
    // That covers the main window (or has no room): beside it, below it, or in the corner.
    const int32_t areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    const int32_t height = std::min({kToolHeight, areaHeight, std::max(0, screenHeight - 25)});
    const int32_t foot = std::max(area.top, std::min(r.y, area.bottom - height));
    if (const int32_t room = area.right - main.right; room >= kToolMinWidth) {
        r.width = std::min(kToolWidth, room);
        return ToolWindowRect{main.right, foot, r.width, height};
    }
    if (const int32_t room = main.left - area.left; room >= kToolMinWidth) {
        r.width = std::min(kToolWidth, room);
        return ToolWindowRect{main.left - r.width, foot, r.width, height};
    }
    const int32_t width = std::min(kToolWidth, areaWidth);
    if (const int32_t room = area.bottom - main.bottom; room >= kToolBelowMinHeight)
        return ToolWindowRect{area.left, main.bottom, width, std::min(kToolHeight, room)};
    // No room anywhere: at the foot of the screen from the work area's left edge, so that
    // it can widen for its readouts and keep room for its chart, over the main window.
    r.x = area.left;
    r.width = width;
    r.coversMain = true;
    return r;
}

int32_t GroupWindowBottomLimit(WindowGroup& g) {
    gWindow* w = g.windows[0];
    platform::Rect area{0, 0, gScreenWidth(), gScreenHeight()};
    gWorkArea(&area, w);
    int32_t limit = area.bottom;
    CUI& cui = g.owner != nullptr ? *g.owner : TheCUI();
    platform::Rect m{};
    if (&g != &cui.groups[0] || w == nullptr || w->hwnd == nullptr || !platform::GetWindowRect(w->hwnd, &m))
        return limit;
    for (int k = 1; k < kGroupCount; ++k) {
        gWindow* tw = gWinValidate(cui.groups[k].windows[0]);
        platform::Rect t{};
        if (tw == nullptr || tw->hwnd == nullptr || !platform::IsWindowVisible(tw->hwnd) ||
            !platform::GetWindowRect(tw->hwnd, &t))
            continue;
        if (t.top >= m.bottom && t.left < m.right && m.left < t.right) limit = std::min(limit, t.top);
    }
    return limit;
}

// ---- The page column ---------------------------------------------------------------------------

namespace {

WindowGroup* GroupOfWindow(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    for (WindowGroup& g : TheCUI().groups)
        if (g.windows[0] == window) return &g;
    return nullptr;
}

void ShiftColumn(WindowGroup& g, float dy) {
    if (dy == 0) return;
    for (gGroup* group : PageColumnGroups(g)) ShiftGroupBy(group, dy);
}

// The lowest edge of the column's shown blocks, as they were built (unscrolled).
float ColumnContentBottom(WindowGroup& g) {
    float bottom = 0;
    for (gGroup* group : PageColumnGroups(g)) {
        if (group->shown == 0) continue;
        bottom = std::max(bottom, group->y + g.pageScrollApplied + group->height + group->marginTop +
                                      group->marginBottom);
    }
    return bottom;
}

// The column's right edge: the page column of a tool window, or the main window's
// widest block.
float ColumnRight(WindowGroup& g) {
    float right = static_cast<float>(g.sideWidth);
    for (gGroup* group : PageColumnGroups(g))
        if (group->shown != 0) right = std::max(right, group->x + group->width + group->marginLeft + group->marginRight);
    return right;
}

// Nothing else repaints after the column moved for a wheel turn or its bar.
void RedrawColumn(gWindow* window) {
    if (window->dirty != 0 && gWinCanDraw(window) && gWinMakeCurrent(window)) gWinRedraw(window);
}

WindowGroup* LiveGroup(uintptr_t data) {
    for (WindowGroup& g : TheCUI().groups)
        if (reinterpret_cast<uintptr_t>(&g) == data) return &g;
    return nullptr;
}

// The bar's thumb was dragged (or the track clicked): the pages follow it.
void OnColumnBar(uintptr_t data, float fraction) {
    WindowGroup* g = LiveGroup(data);
    float top = 0, bottom = 0;
    if (g == nullptr || !PageColumnBand(*g, &top, &bottom)) return;
    const float most = std::max(0.0f, std::ceil(ColumnContentBottom(*g) - bottom));
    g->pageScroll = std::round(std::clamp(fraction, 0.0f, 1.0f) * most);
    PageColumnApply(*g);
    RedrawColumn(g->windows[0]);
}

// A click on the bar's track above or below its thumb scrolls the column by a page (the
// band less a row, so that a row stays in sight); the thumb itself is dragged.
void OnColumnBarClick(gElement* bar, uintptr_t data) {
    WindowGroup* g = LiveGroup(data);
    ScrollSlider* s = ScrollSliderFromWidget(bar);
    float top = 0, bottom = 0;
    if (g == nullptr || s == nullptr || !PageColumnBand(*g, &top, &bottom)) return;
    const float along = static_cast<float>(gCursorPos.y) - bar->y;
    const float page = std::max(kColumnWheelStep, bottom - top - 2 * kColumnWheelStep);
    if (along < s->thumbPos)
        g->pageScroll -= page;
    else if (along >= s->thumbPos + s->thumbLength)
        g->pageScroll += page;
    else
        return;
    PageColumnApply(*g);
    RedrawColumn(g->windows[0]);
}

// The column's scroll bar stands in the room kept for it at the column's right edge, along
// the band; it shows only while the pages are taller than the band (`most` > 0 pixels to
// scroll). True when that changed what is drawn.
bool PlaceColumnBar(WindowGroup& g, float top, float bottom, float most) {
    gWindow* w = g.windows[0];
    gElement* bar = g.columnBar;
    if (bar != nullptr && (!gWgtIsLive(bar) || bar->window != w)) bar = g.columnBar = nullptr;
    if (bar == nullptr) {
        if (most <= 0) return false;
        bar = g.columnBar = ScrollSliderCreate(w, nullptr, &OnColumnBar, true, bottom - top, kColumnBarWidth,
                                               reinterpret_cast<uintptr_t>(&g), true);
        if (bar == nullptr) return false;
        // The thumb in the pages' button colour, so that it reads as something to take.
        bar->color1 = bar->color1Saved = bar->baseColor = PageRows::kButtonColour;
        // Placed by hand from here on; a press on the track pages.
        bar->style = (bar->style & ~kWsNoPlace) | kWsClickAtPress;
        bar->onClick = &OnColumnBarClick;
        bar->onPress = nullptr;  // the slider's own press would jump the thumb to the pointer
        bar->handlerData = reinterpret_cast<uintptr_t>(&g);
    }
    const uint8_t wasShown = bar->shown;
    bar->shown = most > 0 ? 1 : 0;
    const float x = static_cast<float>(g.sideWidth - kColumnBarRoom + 1);
    const bool moved = bar->x != x || bar->y != top || bar->cellHeight != bottom - top;
    bar->x = bar->placedX = bar->homeX = x;
    bar->y = bar->placedY = bar->homeY = top;
    bar->height = bar->cellHeight = bottom - top;
    bar->width = bar->cellWidth = kColumnBarWidth;
    ScrollSliderResize(bar);
    ScrollSlider* s = ScrollSliderFromWidget(bar);
    const float thumb = s != nullptr ? s->thumbPos : 0;
    if (most > 0) ScrollSliderSetRange(bar, bottom - top, bottom - top + most, g.pageScroll);
    return bar->shown != wasShown || (bar->shown != 0 && (moved || (s != nullptr && s->thumbPos != thumb)));
}

bool (*gPreviousWheel)(gWindow*, int, int) = nullptr;

bool ColumnWheelHook(gWindow* window, int delta, int keys) {
    if (gPreviousWheel != nullptr && gPreviousWheel(window, delta, keys)) return true;
    return PageColumnWheel(window, delta);
}

}  // namespace

std::vector<gGroup*> PageColumnGroups(WindowGroup& g) {
    std::vector<gGroup*> out;
    gWindow* w = g.windows[0];
    if (w == nullptr) return out;
    auto take = [&](gGroup* group) {
        if (group != nullptr && gWgtIsLive(group) && group->window == w &&
            std::find(out.begin(), out.end(), group) == out.end())
            out.push_back(group);
    };
    // The group's tab pages: the containers' own blocks (title labels, tab bars) and the
    // blocks of the pages they host.
    auto takeElements = [&](UIPage* page) {
        if (!UIPageIsLive(page)) return;
        if (page->element.window == w) take(page->element.group);
        take(DockedTabGroup(page));
        for (UIElement* e : page->elements)
            if (UIElementIsLive(e) && e->window == w) take(e->group);
    };
    for (UIPage* record : g.tabPages) {
        if (!UIPageIsLive(record)) continue;
        takeElements(record);
        if (OptionsWindow* c = AsOptionsWindow(record->current)) takeElements(c->ownPage);
    }
    // Blocks that other pages put into the column (a chart's panel in the tool window);
    // what they put beside it (a workspace's select tab) is no part of it.
    CUI* cui = g.owner != nullptr ? g.owner : &TheCUI();
    for (ListNode* n = cui->windowRecords.head; n != nullptr; n = n->next) {
        auto* record = static_cast<UIPage*>(n->item);
        if (!UIPageIsLive(record)) continue;
        for (UIElement* e : record->elements) {
            if (UIElementIsLive(e) && e->window == w && (e->flags & kElementKeepsPlace) == 0 &&
                e->group != nullptr && gWgtIsLive(e->group) && e->group->x < static_cast<float>(g.sideWidth))
                take(e->group);
        }
    }
    return out;
}

bool PageColumnBand(WindowGroup& g, float* top, float* bottom) {
    gWindow* w = g.windows[0];
    float x = 0;
    if (w == nullptr || gWinValidate(w) == nullptr || !GroupPageOrigin(w, &x, top)) return false;
    *bottom = static_cast<float>(w->clientHeight - g.bottomMargin);
    return *bottom > *top;
}

bool PageColumnScrolls(WindowGroup& g) {
    float top = 0, bottom = 0;
    return PageColumnBand(g, &top, &bottom) && std::ceil(ColumnContentBottom(g) - bottom) > 0;
}

void PageColumnApply(WindowGroup& g) {
    gWindow* w = g.windows[0];
    float top = 0, bottom = 0;
    if (!PageColumnBand(g, &top, &bottom)) return;
    const float most = std::max(0.0f, std::ceil(ColumnContentBottom(g) - bottom));
    g.pageScroll = std::clamp(g.pageScroll, 0.0f, most);
    bool changed = g.pageScrollApplied != g.pageScroll;
    ShiftColumn(g, g.pageScrollApplied - g.pageScroll);
    g.pageScrollApplied = g.pageScroll;
    for (gGroup* group : PageColumnGroups(g)) {
        for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
            for (gElement* e = row->first; e != nullptr; e = e->rowNext) {
                const bool inside = e->y >= top && e->y + e->cellHeight <= bottom;
                changed = SetWidgetHiddenFor(e, kHiddenByColumn, !inside) || changed;
            }
        }
    }
    changed = PlaceColumnBar(g, top, bottom, most) || changed;
    if (changed) w->dirty = 7;
}

void PageColumnRestore(gWindow* window) {
    WindowGroup* g = GroupOfWindow(window);
    if (g == nullptr || g->pageScrollApplied == 0) return;
    ShiftColumn(*g, g->pageScrollApplied);
    g->pageScrollApplied = 0;
}

void PageColumnRefresh(gWindow* window) {
    if (WindowGroup* g = GroupOfWindow(window)) PageColumnApply(*g);
}

void PageColumnToTop(WindowGroup& g) {
    g.pageScroll = 0;
    PageColumnApply(g);
}

bool PageColumnWheel(gWindow* window, int delta) {
    WindowGroup* g = GroupOfWindow(window);
    if (g == nullptr || delta == 0 || window->hwnd == nullptr) return false;
    platform::Point at{};
    if (!platform::GetCursorPos(&at) || !platform::ScreenToClient(window->hwnd, &at)) return false;
    float top = 0, bottom = 0;
    if (!PageColumnBand(*g, &top, &bottom)) return false;
    if (at.x < 0 || static_cast<float>(at.x) >= ColumnRight(*g) || static_cast<float>(at.y) < top ||
        static_cast<float>(at.y) >= bottom)
        return false;
    const float before = g->pageScroll;
    g->pageScroll -= static_cast<float>(delta) / 120.0f * kColumnWheelStep;
    PageColumnApply(*g);
    if (g->pageScroll == before) return false;
    RedrawColumn(window);
    return true;
}

void InstallPageColumnWheel() {
    gToolkitHooks& hooks = gHooks();
    if (hooks.wheel == &ColumnWheelHook) return;
    gPreviousWheel = hooks.wheel;
    hooks.wheel = &ColumnWheelHook;
}

}  // namespace orva
