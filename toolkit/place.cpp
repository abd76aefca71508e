// Placing elements in the open row of their group, the lookups of a window's slot
// groups, and the release of group references held by application code.
#include <algorithm>
#include <new>

#include "toolkit/layout.h"

namespace orva {

namespace {

// Moves every element already in the row by (dx, dy); a vertical move of a row of
// top-level widgets takes their chained widgets along.
void MoveExisting(gRow* row, float dx, float dy) { gRowShift(row, dx, dy); }

}  // namespace

uint8_t gWgtPlaceInGroup(gGroup* group, gElement* e) {
    if (group == nullptr || e == nullptr) return 1;
    uint32_t align = group->align;
    if ((align & 7) == 0 || (align & kWsNoPlace) != 0) return 1;
    uint32_t direction = (align & 1) ? 1 : (align & 2) ? 2 : 4;
    bool takesRoom = (align & 0x41000000u) == 0 && e->kind != 14 && e->kind != 15;
    gRow* row = group->openRow;
    if (group->rowsHead != nullptr && row != nullptr) {
        group->arranged = 0;
        e->x = row->x;
        e->y = row->y;
        if (takesRoom) {
            if (direction == 1) {
                if ((align & 0x400000u) != 0 && (e->style & kWsRight) != 0) {
                    float growth = group->gapX + e->cellWidth;
                    row->contentWidth += growth;
                    MoveExisting(row, growth, 0);
                } else {
                    row->contentWidth += group->gapX;
                    e->x += row->contentWidth;
                    row->contentWidth += e->cellWidth;
                }
                group->width = std::max(group->width, row->padRight + row->marginLeft + row->contentWidth);
                gGrpGrowY(group, row, e);
            } else if (direction == 2) {
                if ((align & 0x400000u) != 0 && (e->style & kWsBottom) != 0) {
                    float growth = group->gapY + e->cellHeight;
                    row->contentHeight += growth;
                    MoveExisting(row, 0, growth);
                } else {
                    row->contentHeight += group->gapY;
                    e->y += row->contentHeight;
                    row->contentHeight += e->cellHeight;
                }
                group->height = std::max(group->height, group->marginTop + row->padBottom + row->marginTop +
                                                            row->contentHeight);
                gGrpGrowX(group, row, e);
            }
        }
    } else {
        auto* fresh = new (std::nothrow) gRow;
        if (fresh == nullptr) return 0;
        gRow* previous = group->rowsTail;
        if (previous != nullptr) previous->nextRow = fresh; else group->rowsHead = fresh;
        group->rowsTail = fresh;
        fresh->align = group->rowAlign;
        fresh->groupAlign = align;
        fresh->marginLeft = group->rowMarginLeft;
        fresh->marginTop = group->rowMarginTop;
        fresh->padRight = group->rowPadRight;
        fresh->padBottom = group->rowPadBottom;
        if (previous == nullptr) {
            fresh->x = group->x + group->marginLeft + fresh->marginLeft;
            fresh->y = group->y + group->marginTop + fresh->marginTop;
        } else if ((previous->groupAlign & 0x1B) == (align & 0x1B)) {
            fresh->x = previous->x + fresh->marginLeft;
            fresh->y = previous->y + fresh->marginTop;
            if (direction == 1 && (align & 0x10)) fresh->y += group->gapY + previous->outerHeight;
            if ((direction == 2 || direction == 4) && (align & 8)) fresh->x += group->gapX + previous->outerWidth;
        } else if (direction == 1 || direction == 2) {
            fresh->x = group->x + group->marginLeft + fresh->marginLeft;
            fresh->y = previous->y + previous->outerHeight + group->gapY + fresh->marginTop;
        } else {
            fresh->x = previous->x + fresh->marginLeft;
            fresh->y = previous->y + fresh->marginTop;
            if (align & 8) fresh->x += group->gapX + previous->outerWidth;
        }
        e->x = fresh->x;
        e->y = fresh->y;
        if (takesRoom) {
            fresh->contentWidth = e->cellWidth;
            fresh->contentHeight = e->cellHeight;
        } else if (direction == 1) {
            fresh->contentWidth = 4.0f;
        } else if (direction == 2) {
            fresh->contentHeight = 4.0f;
        }
        if (previous == nullptr) {
            group->width = fresh->contentWidth + 2.0f * fresh->marginLeft;
            group->height = fresh->contentHeight + 2.0f * fresh->marginTop;
        } else {
            float box[4];
            gGrpBounds(group, true, box);
        }
        group->rowOriginX = static_cast<int32_t>(std::clamp(fresh->x, -1.0e9f, 1.0e9f));
        group->rowOriginY = static_cast<int32_t>(std::clamp(fresh->y, -1.0e9f, 1.0e9f));
        group->openRow = fresh;
        row = fresh;
        group->arranged = 0;
    }
    // Link at the end of the row.
    if (e->row == nullptr) e->row = row;
    if (row->first == nullptr) row->first = e;
    e->rowFirst = row->first;
    e->rowNext = nullptr;
    if (row->last != nullptr && row->last != e) row->last->rowNext = e;
    row->last = e;
    // Clip to the reference size.
    if (const float* reference = group->reference) {
        bool over = ((align & (1 | 8)) != 0 && group->width > reference[0]) ||
                     ((align & (2 | 0x10)) != 0 && group->height > reference[1]);
        if (over) {
            group->width = std::min(group->width, reference[0]);
            group->height = std::min(group->height, reference[1]);
            return 0;
        }
    }
    return e->initiallyShown;
}

void gWinSetDefaultSlot(gWindow* window, uint32_t style) {
    gSlotTable* table = gWinSlotTable(gWgtCurrent(window));
    if (table != nullptr) table->slotStyle = style & kWsSlotBits;
}

gGroup* gGrpLookupDefault(gWindow* window) {
    gSlotTable* table = gWinSlotTable(gWgtCurrent(window));
    return table != nullptr ? gGrpLookup(table, table->slotStyle) : nullptr;
}

gGroup* gGrpLookupSlot(gWindow* window, uint32_t style) {
    gSlotTable* table = gWinSlotTable(gWgtCurrent(window));
    if (table == nullptr) return nullptr;
    uint32_t slot = style & kWsSlotBits;
    return gGrpLookup(table, slot != 0 ? slot : table->slotStyle);
}

void gGrpReleaseRange(gGroup** first, gGroup** last) {
    if (first == nullptr || last == nullptr) return;
    gGroup* a = *first;
    gGroup* b = *last;
    if (a != nullptr && b != nullptr && a != b) {
        *first = *last = nullptr;
        gGroup* group = a;
        while (group != nullptr) {
            gGroup* next = group->nextGroup;
            bool end = group == b;
            gGrpRelease(group);
            if (end) break;
            group = next;
        }
        return;
    }
    *first = nullptr;
    if (a != nullptr) gGrpRelease(a);
    *last = nullptr;
    if (b != nullptr && gWgtIsLive(b)) gGrpRelease(b);
}

}  // namespace orva
