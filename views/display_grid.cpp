#include "views/display_grid.h"

#include <GL/gl.h>

#include "app/chart_window.h"
#include "app/message_dialog.h"
#include "views/display_cell.h"
#include "views/grid_page.h"

namespace orva {

namespace {

uint8_t* ByteOf(GridRecord& g, GridSetting s) {
    switch (s) {
        case GridSetting::kShown: return &g.shown;
        case GridSetting::kHorizontal: return &g.horizontal;
        case GridSetting::kVertical: return &g.vertical;
        case GridSetting::kColour: return &g.colour;
        case GridSetting::kBold: return &g.bold;
        case GridSetting::kStipple: return &g.stipple;
        case GridSetting::kBlend: return &g.blend;
        case GridSetting::kUnlockX: return &g.unlockX;
        case GridSetting::kUnlockY: return &g.unlockY;
        case GridSetting::kLockBounds: return &g.lockBounds;
        case GridSetting::kDoubleStep: return nullptr;
    }
    return nullptr;
}

// Lines every `step` pixels from 0 to `extent` (exclusive of 0), across `across` pixels.
void Lines(bool vertical, uint32_t step, int32_t extent, int32_t across) {
    if (step == 0 || extent <= 0) return;
    for (int64_t at = step; at < extent; at += step) {
        const float p = static_cast<float>(at) + 0.5f;
        if (vertical) {
            glVertex2f(p, 0.0f);
            glVertex2f(p, static_cast<float>(across));
        } else {
            glVertex2f(0.0f, p);
            glVertex2f(static_cast<float>(across), p);
        }
    }
}

}  // namespace

uint32_t GridSpacing(uint32_t v) {
    if (v < kGridSpacingMin) return kGridSpacingMin;
    if (v > kGridSpacingMax) return kGridSpacingMax;
    return v % 4 != 0 ? v & ~1u : v;
}

GridRecord* DisplayGrid(DisplayComponent* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    return c != nullptr ? &c->grid : nullptr;
}

bool DisplayShowsChart(const DisplayComponent* cell) {
    return cell != nullptr && dynamic_cast<ChartWindow*>(cell->Graphics()) != nullptr;
}

int32_t DisplayGridSet(DisplayComponent* cell, GridSetting s, bool on) {
    GridRecord* g = DisplayGrid(cell);
    if (g == nullptr) return kGridUnchanged;
    const uint8_t value = on ? 1 : 0;
    int32_t answer = kGridChanged;
    if (s == GridSetting::kDoubleStep) {
        if (g->doubleStep == value) return kGridUnchanged;
        g->doubleStep = value;
    } else {
        uint8_t* byte = ByteOf(*g, s);
        if (*byte == value) return kGridUnchanged;
        *byte = value;
        if (s == GridSetting::kShown && on && g->horizontal == 0 && g->vertical == 0) {
            g->horizontal = g->vertical = 1;
            answer = kGridLinesChanged;
        } else if (s == GridSetting::kHorizontal || s == GridSetting::kVertical) {
            const bool anyLine = g->horizontal != 0 || g->vertical != 0;
            if (on && g->shown == 0) {
                g->shown = 1;
                answer = kGridLinesChanged;
            } else if (!anyLine && g->shown != 0) {
                g->shown = 0;
                answer = kGridLinesChanged;
            }
        }
    }
    if (s == GridSetting::kUnlockX || s == GridSetting::kUnlockY || s == GridSetting::kLockBounds)
        DisplayGridApplyCursorOptions(cell);
    DisplayGridApply(cell);
    return answer;
}

namespace {

ChartWindow* ChartOf(DisplayComponent* cell) {
    return cell != nullptr ? dynamic_cast<ChartWindow*>(cell->Graphics()) : nullptr;
}

}  // namespace

void DisplayGridApplyCursorOptions(DisplayComponent* cell) {
    ChartWindow* chart = ChartOf(AsDisplayCell(cell));
    if (chart == nullptr) return;
    const GridRecord& g = cell->grid;
    for (SliderCtrl* sl : {&chart->slider, chart->ActiveSlider()}) {
        sl->freeX = g.unlockX;
        sl->freeY = g.unlockY;
        sl->edgeLock = g.lockBounds;
        // The y readout follows the mouse: the y scale labels it.
        if (g.unlockY != 0) sl->vertical.labelMode = kScaleLabelsShown;
    }
    if (OnUiThread()) chart->RedrawNow();
}

void DisplayGridFollowChart(DisplayComponent* cell) {
    ChartWindow* chart = ChartOf(AsDisplayCell(cell));
    if (chart == nullptr) return;
    const SliderCtrl* sl = chart->ActiveSlider();
    cell->grid.unlockX = sl->freeX != 0 ? 1 : 0;
    cell->grid.unlockY = sl->freeY != 0 ? 1 : 0;
    cell->grid.lockBounds = sl->edgeLock != 0 ? 1 : 0;
    RefreshGridCursorOptions(cell->workspace);
}

bool DisplayGridSetSpacing(DisplayComponent* cell, bool axisX, bool minimal, uint32_t value) {
    GridRecord* g = DisplayGrid(cell);
    if (g == nullptr) return false;
    GridAxis& axis = axisX ? g->x : g->y;
    uint32_t& stored = minimal ? axis.minimal : axis.major;
    if (stored == value) return false;
    stored = value;
    DisplayGridApply(cell);
    return true;
}

void DisplayGridApply(DisplayComponent* cell) {
    DisplayComponent* c = AsDisplayCell(cell);
    if (c == nullptr || c->window == nullptr) return;
    PaintWindowNow(c->window, true);
}

void DisplayGridDraw(const GridRecord& g, bool chart, int32_t width, int32_t height) {
    if (g.shown == 0 || width <= 0 || height <= 0) return;
    uint32_t stepX = chart ? g.x.minimal : g.x.major;
    uint32_t stepY = chart ? g.y.minimal : g.y.major;
    if (g.doubleStep == 1) {
        stepX /= 2;
        stepY /= 2;
    }
    glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(g.bold != 0 ? 2.0f : 1.0f);
    if (g.stipple != 0) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0x3333);
    }
    const float alpha = g.blend != 0 ? 0.5f : 1.0f;
    if (g.blend != 0) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    if (g.colour != 0) {
        glColor4f(1.0f, 0.85f, 0.0f, alpha);
    } else {
        glColor4f(0.5f, 0.5f, 0.5f, alpha);
    }
    glBegin(GL_LINES);
    if (g.vertical != 0) Lines(true, stepX, width, height);
    if (g.horizontal != 0) Lines(false, stepY, height, width);
    glEnd();
    glPopAttrib();
}

}  // namespace orva
