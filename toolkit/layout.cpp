// Layout slots, groups and rows, the corner projections, and the redraw of widgets
// and windows by their redraw state.
#include "toolkit/layout.h"
#include "toolkit/widget_props.h"

#include <GL/gl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>

#include "platform/gl_context.h"
#include "platform/window_api.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/painters.h"

namespace orva {

namespace {

constexpr float kFar = FLT_MAX;

gSlotTable* TableOfWindow(gWindow* window) {
    gLayout* layout = gWinLayout(window);
    return layout != nullptr ? &layout->table : nullptr;
}

void CopyDefaults(gGroup* group, const gSlotDefaults& d) {
    group->isGroup = static_cast<uint8_t>(d.isGroup);
    group->align = d.align;
    group->marginLeft = d.margins[0];
    group->marginTop = d.margins[1];
    group->marginRight = d.margins[2];
    group->marginBottom = d.margins[3];
    group->gapX = d.gapX;
    group->gapY = d.gapY;
    group->page = d.page;
}

void CopyFromGroup(gGroup* group, const gGroup* from) {
    gSlotDefaults d;
    d.isGroup = from->isGroup;
    d.align = from->align;
    d.margins[0] = from->marginLeft;
    d.margins[1] = from->marginTop;
    d.margins[2] = from->marginRight;
    d.margins[3] = from->marginBottom;
    d.gapX = from->gapX;
    d.gapY = from->gapY;
    d.page = from->page;
    CopyDefaults(group, d);
}

void PlaceBelow(gGroup* group, const gGroup* previous) {
    group->x = previous->x;
    group->y = previous->y + previous->height + previous->marginTop + previous->marginBottom + previous->gapY;
}

void AppendToSlot(gSlotList* list, gGroup* group) {
    if (group->slot != nullptr) gGrpUnlinkFromSlot(group);
    group->prevGroup = list->last;
    group->nextGroup = nullptr;
    if (list->last != nullptr) list->last->nextGroup = group; else list->first = group;
    list->last = group;
    group->slot = list;
    ++list->count;
    list->current = group;
}

gGroup* CreateInSlot(gSlotTable* table, int index, uint32_t style) {
    auto* group = new (std::nothrow) gGroup;
    if (group == nullptr) return nullptr;
    gSlotList& list = table->slots[index];
    gGroup* previous = list.current != nullptr ? list.current : list.last;
    if (previous != nullptr) {
        CopyFromGroup(group, previous);
        PlaceBelow(group, previous);
    } else {
        CopyDefaults(group, table->defaults);
    }
    group->isGroup = 1;
    group->refCount = 1;
    group->shown = 1;
    group->style = gWgtNormSlot(style);
    group->window = table->window;
    AppendToSlot(&list, group);
    return group;
}

}  // namespace

// ---- The layout object ---------------------------------------------------------------------

gLayout* gWinLayout(gWindow* window) {
    if (window == nullptr) return nullptr;
    if (window->layout == nullptr) {
        auto* layout = new (std::nothrow) gLayout;
        if (layout == nullptr) return nullptr;
        gSlotTableInit(&layout->table, nullptr, true);
        layout->table.owner = window;
        layout->table.window = window;
        window->layout = layout;
    }
    return window->layout;
}

gSlotTable* gWinSlotTable(gWindow* window) { return TableOfWindow(window); }

void gWinFreeLayout(gWindow* window) {
    if (window == nullptr || window->layout == nullptr) return;
    gLayout* layout = window->layout;
    for (gSlotList& list : layout->table.slots) {
        gGroup* group = list.first;
        while (group != nullptr) {
            gGroup* next = group->nextGroup;
            group->slot = nullptr;
            group->window = nullptr;
            delete group;
            group = next;
        }
        list.first = list.last = list.current = nullptr;
        list.count = 0;
    }
    window->layout = nullptr;
    delete layout;
}

void gWinSetSwapCopies(gWindow* window, bool copies) {
    if (gLayout* layout = gWinLayout(window)) layout->swapCopies = copies ? 1 : 0;
}

bool gWinSwapCopies(gWindow* window) {
    gLayout* layout = gWinLayout(window);
    if (layout == nullptr) return false;
    if (layout->swapCopies < 0) {
        if (window->hdc == nullptr) return false;
        pf::PixelFormatInfo info;
        int format = pf::GetPixelFormat(window->hdc);
        layout->swapCopies = format > 0 && pf::DescribePixelFormat(window->hdc, format, &info) && info.swapCopy ? 1 : 0;
    }
    return layout->swapCopies == 1;
}

// ---- Slots and alignment -----------------------------------------------------------------

int gSlotIndex(uint32_t style) {
    if ((style & kWsSlotBits) == 0) return -1;
    uint32_t s = gWgtNormSlot(style);
    if ((s & kWsTop) && (s & kWsLeft)) return 0;
    if ((s & kWsTop) && (s & kWsRight)) return 1;
    if ((s & kWsBottom) && (s & kWsLeft)) return 2;
    if ((s & kWsBottom) && (s & kWsRight)) return 3;
    return -1;
}

bool gSlotCompatible(uint32_t a, uint32_t b) {
    if ((a & kWsSlotBits) == 0 && (b & kWsSlotBits) == 0) return true;
    int slot = gSlotIndex(a);
    return slot >= 0 && slot == gSlotIndex(b);
}

uint32_t gGrpNormAlign(uint32_t align) {
    uint32_t out = align & 0x41FF00C0u;
    if (align & 1) {
        out |= (align & 0x10) ? 0x11u : (1u | (align & 0x20));
    } else if (align & 2) {
        out |= (align & 8) ? 10u : (2u | (align & 0x20));
    } else if (align & 4) {
        out |= (align & 8) ? 12u : (4u | (align & 0x10));
    }
    return out;
}

uint32_t gWgtAlignFlags(uint32_t rowAlign, uint32_t w) {
    if (w & 0x700) rowAlign = (rowAlign & ~0x700u) | ((w & 0x200) ? 0x200u : (w & 0x400) ? 0x400u : 0x100u);
    if (w & 0xC000) rowAlign = (rowAlign & ~0xC000u) | ((w & 0x8000) ? 0x8000u : 0x4000u);
    if (w & 0x3800) rowAlign = (rowAlign & ~0x3800u) | ((w & 0x1000) ? 0x1000u : (w & 0x2000) ? 0x2000u : 0x800u);
    return rowAlign;
}

void gSlotTableInit(gSlotTable* table, const gSlotDefaults* defaults, bool enabled) {
    if (table == nullptr) return;
    table->enabled = enabled ? 1 : 0;
    table->defaults = defaults != nullptr ? *defaults : gSlotDefaults{};
}

void gSlotTableResetContext(gSlotTable* table, uint32_t style, gFont* font) {
    if (table == nullptr) return;
    table->currentContainer = table->lastTop = nullptr;
    table->page = 0;
    table->forcedOn = table->forcedOff = table->readOnlyMask = 0;
    table->slotStyle = style == 0 ? 0x25000u : (gWgtNormSlot(style) | (style & 0x3000u));
    table->newFont = font != nullptr ? font : (table->window != nullptr ? table->window->font : nullptr);
}

uint32_t gWinCurrentSlot(gWindow* window, uint32_t style) {
    gSlotTable* table = TableOfWindow(gWgtCurrent(window));
    if (table == nullptr) return 0;
    uint32_t previous = table->slotStyle;
    if (style & 0xFF000u) table->slotStyle = gWgtNormSlot(style) | (style & 0x3000u);
    return previous;
}

// ---- Groups --------------------------------------------------------------------------------

gGroup* gGrpGet(gSlotTable* table, uint32_t style) {
    if (table == nullptr || !table->enabled) return nullptr;
    int index = gSlotIndex(style);
    if (index < 0) return nullptr;
    gSlotList& list = table->slots[index];
    return list.current != nullptr ? list.current : CreateInSlot(table, index, style);
}

gGroup* gGrpCreateSlot(gSlotTable* table, uint32_t style) {
    if (table == nullptr || !table->enabled) return nullptr;
    int index = gSlotIndex(style);
    return index < 0 ? nullptr : CreateInSlot(table, index, style);
}

gGroup* gGrpLookup(gSlotTable* table, uint32_t style) {
    if (table == nullptr) return nullptr;
    int index = gSlotIndex(style);
    return index < 0 ? nullptr : table->slots[index].current;
}

gGroup* gGrpFind(gWindow* window, uint32_t style, bool reuse) {
    window = gWgtCurrent(window);
    gSlotTable* table = TableOfWindow(window);
    if (table == nullptr) return nullptr;
    if ((style & kWsSlotBits) == 0) style = table->slotStyle;
    int index = gSlotIndex(style);
    if (index < 0 || !table->enabled) return nullptr;
    gSlotList& list = table->slots[index];
    gGroup* group = list.current;
    if (reuse && group != nullptr && group->rowsHead == nullptr) {
        if (const gGroup* previous = group->prevGroup) {
            CopyFromGroup(group, previous);
            PlaceBelow(group, previous);
        } else {
            CopyDefaults(group, table->defaults);
        }
    } else {
        group = CreateInSlot(table, index, style);
        if (group == nullptr) return nullptr;
    }
    group->page = table->page;
    return group;
}

gGroup* gGrpSetActive(gElement* member) {
    if (member == nullptr || member->tag != kGroupTag) return nullptr;
    auto* group = static_cast<gGroup*>(member);
    if (group->slot == nullptr) return nullptr;
    gGroup* previous = group->slot->current;
    group->slot->current = group;
    if (gSlotTable* table = TableOfWindow(group->window)) {
        table->slotStyle = (group->style & kWsSlotBits) | kWsSlotFromWindow;
        table->page = group->page;
    }
    return previous;
}

void gGrpUnlinkFromSlot(gGroup* group) {
    gSlotList* list = group != nullptr ? group->slot : nullptr;
    if (list == nullptr) return;
    if (group->prevGroup != nullptr) group->prevGroup->nextGroup = group->nextGroup; else list->first = group->nextGroup;
    if (group->nextGroup != nullptr) group->nextGroup->prevGroup = group->prevGroup; else list->last = group->prevGroup;
    if (list->current == group) list->current = nullptr;
    if (list->count > 0) --list->count;
    group->nextGroup = group->prevGroup = nullptr;
    group->slot = nullptr;
}

void gGrpRelease(gGroup* group) {
    if (group == nullptr || !gWgtIsLive(group)) return;
    if (group->refCount < 2) gGrpUnlinkFromSlot(group);
    if (group->keep) {
        if (group->refCount > 1) --group->refCount;
        return;
    }
    if (--group->refCount <= 0) delete group;
}

namespace {

gGroup* CurrentGroup(uint32_t style) {
    gSlotTable* table = TableOfWindow(gWinCurrent());
    if (table == nullptr) return nullptr;
    if ((style & kWsSlotBits) == 0) style = table->slotStyle;
    return gGrpLookup(table, style);
}

}  // namespace

uint32_t gGrpSetAlign(uint32_t style, uint32_t flags) {
    gGroup* group = CurrentGroup(style);
    if (group == nullptr) {
        gLayout* layout = gWinLayout(gWinCurrent());
        if (layout == nullptr) return 0;
        uint32_t previous = layout->alignWord;
        layout->alignWord = flags;
        layout->table.defaults.align = gGrpNormAlign(flags);
        return previous;
    }
    uint32_t previous = group->align;
    if ((flags & 0x41000000u) != 0 || group->openRow == nullptr || (flags & 7) == (group->align & 7)) {
        group->align = gGrpNormAlign(flags);
    } else {
        group->align = gGrpNormAlign((flags & ~7u) | (group->align & 7));
    }
    return previous;
}

uint32_t gGrpSetAlignFlags(uint32_t style, uint32_t word) {
    gGroup* group = CurrentGroup(style);
    if (group == nullptr) return 0;
    uint32_t& target = group->openRow != nullptr ? group->openRow->align : group->rowAlign;
    uint32_t previous = target;
    target = gWgtAlignFlags(target, word);
    return previous;
}

void gGrpSetPos(uint32_t style, float x, float y) {
    if (gGroup* group = CurrentGroup(style)) {
        group->x = x;
        group->y = y;
    }
}

void gGrpSetMargins(uint32_t style, float left, float top) {
    if (gGroup* group = CurrentGroup(style)) {
        group->marginLeft = left;
        group->marginTop = top;
    }
}

void gGrpSetGap(float gapX, float gapY) {
    if (gGroup* group = CurrentGroup(0)) {
        group->gapX = gapX;
        group->gapY = gapY;
    }
}

void gGrpSetSpacing(float gapY) {
    if (gGroup* group = CurrentGroup(0)) group->gapY = gapY;
}

float gGrpExtent(gWindow* window) {
    gSlotTable* table = TableOfWindow(gWgtCurrent(window));
    gGroup* group = table != nullptr ? gGrpLookup(table, table->slotStyle) : nullptr;
    return group != nullptr ? group->height + group->marginTop + group->marginBottom : 0.0f;
}

// ---- Rows --------------------------------------------------------------------------------

void gRowShift(gRow* row, float dx, float dy) {
    if (row == nullptr || (dx == 0 && dy == 0)) return;
    // Positions, home and placed copies and drawn text move alike; a top-level widget
    // takes its chained widgets along (vertically: the chain's vertical shift).
    for (gElement* e = row->first; e != nullptr; e = e->rowNext) {
        if (dx == 0) gWgtShiftChainY(e, dy); else gWgtShiftChain(e, dx, dy);
    }
}

namespace {

// Growing a row across the run: `across` is 0 for x (widths), 1 for y (heights).
void GrowAcross(gGroup* group, gRow* row, gElement* e, int across) {
    float cell = across == 0 ? e->cellWidth : e->cellHeight;
    float& content = across == 0 ? row->contentWidth : row->contentHeight;
    float increase = cell - content;
    if (increase == 0) return;
    bool fill = (group->align & 0x400000u) != 0;
    uint32_t leadBit = across == 0 ? kWsLeft : kWsTop;
    uint32_t trailBit = across == 0 ? kWsRight : kWsBottom;
    bool leading = (!fill && (row->align & 0xC000u) != 0) ||
                   (fill && (e->style & leadBit) != 0 && (row->align & 0xC000u) != 0) ||
                   (fill && (e->style & trailBit) != 0 && (row->align & 0x4000u) == 0);
    if (leading) {
        bool half = (row->align & 0x8000u) != 0;
        if (increase > 0) {
            float amount = half ? std::floor(increase * 0.5f) : increase;
            if (across == 0) gRowShift(row, amount, 0); else gRowShift(row, 0, amount);
        } else {
            float amount = half ? std::floor(-increase * 0.5f) : -increase;
            if (across == 0) e->x += amount; else e->y += amount;
        }
    }
    if (increase > 0) {
        if (across == 0) group->width += increase; else group->height += increase;
        content = cell;
    }
}

}  // namespace

void gGrpGrowX(gGroup* group, gRow* row, gElement* e) { GrowAcross(group, row, e, 0); }
void gGrpGrowY(gGroup* group, gRow* row, gElement* e) { GrowAcross(group, row, e, 1); }

void gGrpBounds(gGroup* group, bool grow, float box[4]) {
    box[0] = box[1] = kFar;
    box[2] = box[3] = -kFar;
    if (group == nullptr) return;
    for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
        float l = kFar, t = kFar, r = -kFar, b = -kFar;
        for (gElement* e = row->first; e != nullptr; e = e->rowNext) {
            l = std::min(l, e->x);
            t = std::min(t, e->y);
            r = std::max(r, e->x + e->cellWidth);
            b = std::max(b, e->y + e->cellHeight);
        }
        if (row->first == nullptr) {
            l = row->x;
            t = row->y;
            r = row->x + row->contentWidth;
            b = row->y + row->contentHeight;
        }
        box[0] = std::min(box[0], l);
        box[1] = std::min(box[1], t);
        box[2] = std::max(box[2], r + row->padRight);
        box[3] = std::max(box[3], b + row->padBottom);
    }
    if (grow && box[0] != kFar) {
        group->width = std::max(group->width, box[2] - (group->x + group->marginLeft));
        group->height = std::max(group->height, box[3] - (group->y + group->marginTop));
    }
}

void gGrpMeasureRun(gGroup* group, gRow* first, float measure[2]) {
    float l = kFar, t = kFar, r = -kFar, b = -kFar;
    for (gRow* row = first; row != nullptr; row = row->nextRow) {
        if (row != first && (row->groupAlign & 0x1B) != (first->groupAlign & 0x1B)) break;
        for (gElement* e = row->first; e != nullptr; e = e->rowNext) {
            l = std::min(l, e->x);
            t = std::min(t, e->y);
            r = std::max(r, e->x + e->cellWidth);
            b = std::max(b, e->y + e->cellHeight);
        }
    }
    if (l == kFar) {
        measure[0] = group->width;
        measure[1] = group->height;
    } else {
        measure[0] = r - l;
        measure[1] = b - t;
    }
}

void gWgtPlaceItem(gGroup* group, gRow* row, uint32_t slotBits, const float measure[2]) {
    if (group == nullptr || row == nullptr) return;
    bool horizontal = (row->groupAlign & 1) != 0;
    bool vertical = (row->groupAlign & 2) != 0;
    uint32_t ra = row->align;
    bool fill = (group->align & 0x400000u) != 0;
    auto farRule = [&](uint32_t nearSlot, uint32_t farSlot) {
        return ((ra & 0x100) != 0 && !(fill && (slotBits & nearSlot) == 0)) ||
               (fill && (slotBits & farSlot) != 0 && (ra & 0x700) == 0);
    };
    float dx = 0, dy = 0;
    if (horizontal && farRule(kWsLeft, kWsRight)) {
        dx = std::floor(measure[0] - row->contentWidth);
    } else if (vertical && farRule(kWsTop, kWsBottom)) {
        dy = std::floor(measure[1] - row->contentHeight);
    } else if (ra & 0x200) {
        if (horizontal) dx = std::floor((measure[0] - row->contentWidth) * 0.5f);
        else if (vertical) dy = std::floor((measure[1] - row->contentHeight) * 0.5f);
    }
    if (dx > 0) gRowShift(row, dx, 0);
    if (dy > 0) gRowShift(row, 0, dy);
}

void gWgtFitLayout(gGroup* group) {
    if (group == nullptr || group->openRow == nullptr) return;
    gRow* row = group->openRow;
    row->outerWidth = row->contentWidth;
    row->outerHeight = row->contentHeight;
    if (row->groupAlign & 1) {
        row->outerWidth += row->marginLeft + row->padRight;
        row->x -= row->marginLeft;
        group->width = std::max(group->width, row->outerWidth);
    }
    if (row->groupAlign & 2) {
        row->outerHeight += row->marginTop + row->padBottom;
        row->y -= row->marginTop;
        group->height = std::max(group->height, row->outerHeight);
    }
    group->openRow = nullptr;
}

void gWinLayoutGroups(gWindow* window) {
    gSlotTable* table = TableOfWindow(gWgtCurrent(window));
    gGroup* group = table != nullptr ? gGrpLookup(table, table->slotStyle) : nullptr;
    if (group == nullptr || (group->align & 0x3F) == 0 || group->openRow == nullptr) return;
    if (group->openRow->align & kWsFitRow) {
        float measure[2] = {group->width, group->height};
        gWgtPlaceItem(group, group->openRow, group->style & kWsSlotBits, measure);
    }
    gWgtFitLayout(group);
}

namespace {

void MoveGroup(gGroup* group, float dx, float dy) {
    group->x += dx;
    group->y += dy;
    for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
        row->x += dx;
        row->y += dy;
        gRowShift(row, dx, dy);
    }
}

}  // namespace

void gGrpArrange(gGroup* group) {
    if (group == nullptr || group->arranged || group->rowsHead == nullptr || (group->style & kWsSlotBits) == 0) return;
    group->arranged = 1;
    float box[4];
    gGrpBounds(group, true, box);
    uint32_t slot = group->style & kWsSlotBits;
    bool fill = (group->align & 0x400000u) != 0;
    bool twoRows = group->rowsHead != nullptr && group->rowsHead->nextRow != nullptr;
    bool restacked = false;
    if (fill && twoRows) {
        if (group->reference != nullptr) {
            float dx = 0, dy = 0;
            if (slot & kWsRight) dx = std::floor(group->reference[0] - group->width);
            if (slot & kWsBottom) dy = std::floor(group->reference[1] - group->height);
            MoveGroup(group, dx, dy);
        }
        float measure[2] = {group->width, group->height};
        if ((slot & kWsBottom) && (group->align & 0x10)) {
            float edge = std::floor(group->y + group->height);
            for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
                gWgtPlaceItem(group, row, slot, measure);
                edge -= row->contentHeight;
                gRowShift(row, 0, edge - row->y);
                row->y = edge;
                edge -= group->gapY;
            }
            restacked = true;
        } else if ((slot & kWsRight) && (group->align & 8)) {
            float edge = std::floor(group->x + group->width + group->marginLeft);
            for (gRow* row = group->rowsHead; row != nullptr; row = row->nextRow) {
                gWgtPlaceItem(group, row, slot, measure);
                edge -= row->contentWidth;
                gRowShift(row, edge - row->x, 0);
                row->x = edge;
                edge -= group->gapX;
            }
            restacked = true;
        }
    }
    if (!restacked) {
        float measure[2] = {group->width, group->height};
        const gRow* previous = nullptr;
        for (gRow* row = group->rowsHead; row != nullptr; previous = row, row = row->nextRow) {
            if (previous == nullptr || (previous->groupAlign & 0x1B) != (row->groupAlign & 0x1B)) {
                gGrpMeasureRun(group, row, measure);
            }
            bool fitted = (row->align & kWsFitRow) != 0;
            if (fitted && !(row == group->rowsTail && group->openRow != nullptr)) continue;
            gWgtPlaceItem(group, row, slot, measure);
        }
    }
    if (group->openRow != nullptr) gWgtFitLayout(group);
    group->cellWidth = group->width + group->marginLeft + group->marginRight;
    group->cellHeight = group->height + group->marginTop + group->marginBottom;
}

void gGrpArrangeAll(gSlotTable* table) {
    if (table == nullptr) return;
    for (gSlotList& list : table->slots) {
        for (gGroup* group = list.first; group != nullptr; group = group->nextGroup) gGrpArrange(group);
    }
}

void gGrpBoundsAll(gSlotTable* table) {
    if (table == nullptr) return;
    float box[4];
    for (gSlotList& list : table->slots) {
        for (gGroup* group = list.first; group != nullptr; group = group->nextGroup) gGrpBounds(group, true, box);
    }
}

bool gSlotTableExtent(const gSlotTable* table, int32_t* width, int32_t* height, bool shownOnly) {
    float w = 0, h = 0;
    if (table != nullptr && table->enabled) {
        for (const gSlotList& list : table->slots) {
            for (const gGroup* g = list.first; g != nullptr; g = g->nextGroup) {
                if (shownOnly && (!g->shown || g->dead)) continue;
                w = std::max(w, g->x + g->width + g->marginLeft + g->marginRight);
                h = std::max(h, g->y + g->height + g->marginTop + g->marginBottom);
            }
        }
    }
    auto round = [](float v) { return v >= 2.0e9f ? INT32_MAX : static_cast<int32_t>(std::floor(v + 0.5f)); };
    if (width != nullptr) *width = round(w);
    if (height != nullptr) *height = round(h);
    return round(w) != 0 || round(h) != 0;
}

void gGrpClear(gGroup* group) {
    if (group == nullptr) return;
    if (group->window != nullptr && group->window->layout != nullptr) group->window->layout->queue.clear();
    gRow* row = group->rowsHead;
    while (row != nullptr) {
        gElement* e = row->first;
        while (e != nullptr) {
            gElement* next = e->rowNext;
            e->row = nullptr;
            e->rowNext = e->rowFirst = nullptr;
            gWgtRemove(e, false);
            e = next;
        }
        gRow* following = row->nextRow;
        delete row;
        row = following;
    }
    group->rowsHead = group->rowsTail = group->openRow = nullptr;
    group->isGroup = 1;
    group->align = 10;
    group->marginLeft = group->marginTop = group->marginRight = group->marginBottom = 0;
    group->gapX = group->gapY = 0;
    group->page = 0;
    group->reference = nullptr;
    group->rowAlign = 0;
    group->rowMarginLeft = group->rowMarginTop = group->rowPadRight = group->rowPadBottom = 0;
    group->rowOriginX = group->rowOriginY = 0;
    group->arranged = 0;
    group->x = group->y = group->width = group->height = group->cellWidth = group->cellHeight = 0;
}

// ---- Projection ------------------------------------------------------------------------------

void gWinSetProjection(gWindow* window, uint32_t style) {
    if (window == nullptr) return;
    int slot = gSlotIndex(style);
    if (slot < 0) return;
    double w = window->clientWidth, h = window->clientHeight;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    switch (slot) {
        case 0: glOrtho(0, w, h, 0, -1, 1); break;
        case 1: glOrtho(w, 0, h, 0, -1, 1); break;
        case 2: glOrtho(0, w, 0, h, -1, 1); break;
        default: glOrtho(w, 0, 0, h, -1, 1); break;
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void gWgtProject(gWindow* window, const gElement* e) {
    if (e != nullptr) gWinSetProjection(window != nullptr ? window : e->window, e->style);
}

// ---- Painting and redraw --------------------------------------------------------------------

bool gWinCanDraw(const gWindow* window) {
    return window != nullptr && window->hwnd != nullptr && window->hdc != nullptr && window->hglrc != nullptr &&
           (window->state & kNotDrawnMask) == 0;
}

namespace {

// A paint function that is not one of the skin's painters gets flat shading. An edit
// field (only they carry glyph lists) gets its caret over it while the caret is on.
void PaintElement(gElement* e) {
    if (e->paint == nullptr) return;
    if (!gIsSkinPainter(e->paint)) gPaintersFlat();
    e->paint(e);
    if (e->glyphList != nullptr) gWgtPaintCaret(e);
}

void PaintWithChildren(gElement* e) {
    PaintElement(e);
    for (gElement* child = e->nextChild; child != nullptr; child = child->nextChild) {
        if (child->shown && !child->dead) PaintElement(child);
    }
}

void FullRepaint(gWindow* window, bool swap) {
    gWinPaint(window);
    if (window->layout != nullptr) window->layout->queue.clear();
    if (window->pendingUpdate != nullptr) *window->pendingUpdate = 0;
    if (swap) gWinSwapPainted(window);
}

void DropQueue(gWindow* window) {
    if (window->layout != nullptr) window->layout->queue.clear();
    window->dirty = 0;
}

void Enqueue(gWindow* window, gElement* e) {
    gLayout* layout = gWinLayout(window);
    if (layout == nullptr) return;
    gElement* target = e->prevChild != nullptr ? e->container : e;
    if (std::find(layout->queue.begin(), layout->queue.end(), target) == layout->queue.end()) {
        layout->queue.push_back(target);
    }
    window->dirty = 5;
}

// Applies the show or hide of a state code; false when the code asks nothing.
bool ApplyCode(gElement* e, int code, bool checkDead) {
    switch (code) {
        case 1:
            if (!e->shown || (checkDead && e->dead)) return false;
            return true;
        case 3:
            return !e->shown;
        case 5:
        case 7:
            return e->shown && !e->dead;
        default:
            return false;
    }
}

void SetShown(gElement* e, int code) {
    if (code == 1) e->shown = 0;
    if (code == 3) e->shown = 1;
}

}  // namespace

void gWgtPaintOne(gElement* e) {
    if (e == nullptr || !e->shown || e->dead) return;
    gWgtProject(e->window, e);
    gPaintersBeginPass();
    PaintWithChildren(e);
    gPaintersEndPass();
    glLoadIdentity();
}

void gWinPaintWidgets(gWindow* window) {
    if (window == nullptr) return;
    int lastSlot = -2;
    gPaintersBeginPass();
    for (gElement* e = window->widgets.head; e != nullptr; e = e->next) {
        if (!e->shown || e->dead) continue;
        int slot = gSlotIndex(e->style);
        if (slot >= 0 && slot != lastSlot) {
            gWinSetProjection(window, e->style);
            lastSlot = slot;
        }
        PaintWithChildren(e);
        glLoadIdentity();
    }
    gPaintersEndPass();
}

void gWgtQueueRedraw(gElement* e) {
    if (e == nullptr || e->window == nullptr) return;
    gWindow* window = e->window;
    if ((window->state & kNotDrawnMask) != 0) {
        DropQueue(window);
        return;
    }
    if (window->dirty == 7 || window->dirty == 4) return;
    if (e->partial) {
        Enqueue(window, e);
    } else {
        window->dirty = 7;
        if (window->layout != nullptr) window->layout->queue.clear();
    }
}

void gWinRedraw(gWindow* window) {
    if (window == nullptr || window->dirty == 0) return;
    uint32_t code = window->dirty;
    window->dirty = 0;
    if (!gWinCanDraw(window) || !gWinMakeCurrent(window)) {
        if (window->layout != nullptr) window->layout->queue.clear();
        return;
    }
    bool swap = code != 3 && code != 4;
    if (code == 7 || code == 4 || !gWinSwapCopies(window)) {
        // The back buffer is undefined after a swap unless the swap copies: paint all.
        FullRepaint(window, swap);
        return;
    }
    gLayout* layout = window->layout;
    if (layout != nullptr) {
        for (gElement* e : layout->queue) gWgtPaintOne(e);
        layout->queue.clear();
    }
    if (swap) pf::SwapBuffers(window->hdc);
}

void gWgtDrawState(gElement* e, int code) {
    if (e == nullptr || e->window == nullptr || !ApplyCode(e, code, true)) return;
    gWindow* window = e->window;
    if (!gWinCanDraw(window)) {
        SetShown(e, code);
        DropQueue(window);
        return;
    }
    if (window->dirty == 7 || window->dirty == 4) {
        SetShown(e, code);
        window->dirty = 7;
        return;
    }
    if (!e->partial) {
        SetShown(e, code);
        window->dirty = 7;
        if (window->layout != nullptr) window->layout->queue.clear();
        return;
    }
    if (code == 1) {
        e->shown = 0;
        if (!gWinMakeCurrent(window)) return;
        if (gWinSwapCopies(window)) {
            gWgtProject(window, e);
            glColor3fv(window->colours.background);
            glRectf(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight + 1.0f);
            glLoadIdentity();
            pf::SwapBuffers(window->hdc);
        } else {
            FullRepaint(window, true);
        }
        return;
    }
    SetShown(e, code);
    Enqueue(window, e);
}

void gWgtRedrawState(gElement* e, int code) {
    if (e == nullptr || e->window == nullptr || !ApplyCode(e, code, false)) return;
    gWindow* window = e->window;
    SetShown(e, code);
    if (!gWinCanDraw(window)) {
        DropQueue(window);
        return;
    }
    if ((window->state & kStateInHandler) != 0) {
        if (code == 1 || window->dirty == 4 || !e->partial) {
            window->dirty = 7;
            if (window->layout != nullptr) window->layout->queue.clear();
        } else if (window->dirty != 7) {
            Enqueue(window, e);
        }
        return;
    }
    if (!gWinMakeCurrent(window)) return;
    bool whole = window->dirty == 7 || window->dirty == 4 || code == 1 || !e->partial || !gWinSwapCopies(window);
    if (whole) {
        FullRepaint(window, true);
    } else {
        gWgtPaintOne(e);
        pf::SwapBuffers(window->hdc);
    }
}

void gWgtRedrawPart(gElement* e) {
    if (e == nullptr || e->window == nullptr) return;
    gWindow* window = e->window;
    if (e->partial && window->dirty != 7) {
        gWgtRedrawState(e, 5);
        return;
    }
    if (!gWinCanDraw(window) || !gWinMakeCurrent(window)) return;
    FullRepaint(window, true);
}

void gWgtRedrawNow(gElement* a, gElement* b) {
    if (a == nullptr || a->window == nullptr) return;
    gWindow* window = a->window;
    if (!gWinCanDraw(window) || !gWinMakeCurrent(window)) return;
    bool whole = window->dirty == 7 || !a->partial || (b != nullptr && !b->partial) || !gWinSwapCopies(window);
    if (whole) {
        FullRepaint(window, true);
    } else {
        gWgtPaintOne(a);
        if (b != nullptr && b != a) gWgtPaintOne(b);
        // Text still waiting in the batch belongs to this picture: drawn after the swap it
        // would show only with the next one, a step behind.
        gTextBatchFlush();
        pf::SwapBuffers(window->hdc);
    }
}

// ---- Hooks of the window layer -------------------------------------------------------------

namespace {

void RefreshWidgets(gWindow* window) {
    if (window == nullptr || window->layout == nullptr) return;
    for (gElement* e = window->widgets.head; e != nullptr; e = e->next) {
        if (e->painter != nullptr) e->painter(e, 1, 0);
    }
    gGrpArrangeAll(&window->layout->table);
}

void MeasureExtent(gWindow* window, int flag, int32_t* w, int32_t* h) {
    if (window == nullptr || window->layout == nullptr) return;
    gSlotTableExtent(&window->layout->table, w, h, flag != 0);
}

void PruneGroups(gWindow* window) {
    if (window == nullptr || window->layout == nullptr) return;
    for (gSlotList& list : window->layout->table.slots) {
        gGroup* group = list.first;
        while (group != nullptr) {
            gGroup* next = group->nextGroup;
            if (group->refCount <= 1 && group->rowsHead == nullptr && group->slot == &list) {
                gGrpUnlinkFromSlot(group);
                gGrpRelease(group);
            }
            group = next;
        }
    }
}

const gShadeRecord* SkinShades() { return gSkinGet()->GeneralRecord()->shades; }

}  // namespace

void gWidgetsInstallHooks() {
    gToolkitHooks& hooks = gHooks();
    if (hooks.paintWidgets == gWinPaintWidgets) return;
    gWidgetTextInstall();
    hooks.refreshWidgets = RefreshWidgets;
    hooks.measureExtent = MeasureExtent;
    hooks.pruneGroups = PruneGroups;
    hooks.paintWidgets = gWinPaintWidgets;
    // Widgets and groups need no GL: release them whether or not the native window
    // still exists, so that a window that never got one leaks nothing.
    hooks.releaseWidgets = gWinReleaseWidgets;
    hooks.clearGroupLinks = gWinReleaseWidgets;
    hooks.redrawWindow = gWinRedraw;
    hooks.skinShades = SkinShades;
}

namespace {
[[maybe_unused]] const bool kHooksInstalled = (gWidgetsInstallHooks(), true);
}

}  // namespace orva
