#pragma once
// Layout slots, groups and rows, and the immediate redraw of widgets and windows.
// Each window (and each container widget that asks) owns a table of four corner slots;
// a widget's slot bits choose the corner, its group there places it in the open row.
// Every corner has its own frame: origin in the corner, axes pointing into the window.
#include <cstdint>
#include <vector>

#include "toolkit/widget.h"

namespace orva {

struct gSlotList {
    virtual ~gSlotList() = default;
    gGroup* first = nullptr;
    gGroup* last = nullptr;
    gGroup* current = nullptr;
    int32_t count = 0;
};

// The nine words every new group starts from.
struct gSlotDefaults {
    uint32_t isGroup = 1;
    uint32_t align = 10;
    float margins[4] = {0, 0, 0, 0};
    float gapX = 2.0f, gapY = 2.0f;
    uint32_t page = 0;
};

struct gSlotTable {
    gSlotList slots[4];
    uint8_t enabled = 0;
    gSlotDefaults defaults;
    void* owner = nullptr;   // the window or the container element
    gWindow* window = nullptr;   // the window the groups draw in
    // The creation context.
    gElement* currentContainer = nullptr;
    gElement* lastTop = nullptr;
    uint32_t slotStyle = 0x25000;
    gFont* newFont = nullptr;
    uint32_t page = 0;
    uint32_t forcedOn = 0, forcedOff = 0;
    uint32_t readOnlyMask = 0;
};

// A window's layout object: its slot table, the end of its widget chain, the redraw
// queue and what the swap is known to do.
struct gLayout {
    gSlotTable table;
    gElement* lastWidget = nullptr;
    uint32_t counter = 0;          // widget serials
    uint32_t alignWord = 10;       // alignment set while no group exists
    std::vector<gElement*> queue;  // widgets waiting for a partial redraw
    int8_t swapCopies = -1;        // -1 not yet asked, 0 no, 1 the swap keeps the back buffer
    gFont* defaultFont = nullptr;
};

// The window's layout object, made on first use (null window: null).
gLayout* gWinLayout(gWindow* window);
gSlotTable* gWinSlotTable(gWindow* window);
void gWinFreeLayout(gWindow* window);
// Tests and platforms that know better: whether a swap keeps the back buffer.
void gWinSetSwapCopies(gWindow* window, bool copies);
bool gWinSwapCopies(gWindow* window);

// Slots: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right, -1 none.
int gSlotIndex(uint32_t style);
bool gSlotCompatible(uint32_t a, uint32_t b);
uint32_t gGrpNormAlign(uint32_t align);
uint32_t gWgtAlignFlags(uint32_t rowAlign, uint32_t widgetAlign);

void gSlotTableInit(gSlotTable* table, const gSlotDefaults* defaults, bool enabled);
void gSlotTableResetContext(gSlotTable* table, uint32_t style, gFont* font);
uint32_t gWinCurrentSlot(gWindow* window, uint32_t style);

gGroup* gGrpGet(gSlotTable* table, uint32_t style);
gGroup* gGrpCreateSlot(gSlotTable* table, uint32_t style);
gGroup* gGrpLookup(gSlotTable* table, uint32_t style);
gGroup* gGrpFind(gWindow* window, uint32_t style, bool reuse);
gGroup* gGrpSetActive(gElement* member);
void gGrpRelease(gGroup* group);
void gGrpUnlinkFromSlot(gGroup* group);

// Setters on the current window's group of a style.
uint32_t gGrpSetAlign(uint32_t style, uint32_t flags);
uint32_t gGrpSetAlignFlags(uint32_t style, uint32_t word);
void gGrpSetPos(uint32_t style, float x, float y);
void gGrpSetMargins(uint32_t style, float left, float top);
void gGrpSetGap(float gapX, float gapY);
void gGrpSetSpacing(float gapY);
float gGrpExtent(gWindow* window);

// Rows.
void gGrpGrowX(gGroup* group, gRow* row, gElement* e);
void gGrpGrowY(gGroup* group, gRow* row, gElement* e);
void gGrpBounds(gGroup* group, bool grow, float box[4]);
void gGrpMeasureRun(gGroup* group, gRow* first, float measure[2]);
void gWgtPlaceItem(gGroup* group, gRow* row, uint32_t slotBits, const float measure[2]);
void gWgtFitLayout(gGroup* group);
void gWinLayoutGroups(gWindow* window);
void gGrpArrange(gGroup* group);
void gGrpArrangeAll(gSlotTable* table);
void gGrpBoundsAll(gSlotTable* table);
bool gSlotTableExtent(const gSlotTable* table, int32_t* width, int32_t* height, bool shownOnly = false);
void gGrpClear(gGroup* group);
// Moves every element of a row (with children, glyph lists and the position copies).
void gRowShift(gRow* row, float dx, float dy);

// Projection of a corner for a client size; a style without slot bits keeps the current one.
void gWgtProject(gWindow* window, const gElement* e);
void gWinSetProjection(gWindow* window, uint32_t style);

// Redraw state codes: 0 nothing, 3 and 5 queued widgets, 4 everything without a swap,
// 7 everything (window->dirty holds it).
void gWgtQueueRedraw(gElement* e);          // a state change of a widget
void gWinRedraw(gWindow* window);
void gWgtRedrawNow(gElement* a, gElement* b);
void gWgtDrawState(gElement* e, int code);
void gWgtRedrawState(gElement* e, int code);
void gWgtRedrawPart(gElement* e);
void gWinPaintWidgets(gWindow* window);
bool gWinCanDraw(const gWindow* window);
// Paints the widget and its shown, live children in its corner projection.
void gWgtPaintOne(gElement* e);

// Lookups and releases of application-held group references.
void gWinSetDefaultSlot(gWindow* window, uint32_t style);
gGroup* gGrpLookupDefault(gWindow* window);
gGroup* gGrpLookupSlot(gWindow* window, uint32_t style);
void gGrpReleaseRange(gGroup** first, gGroup** last);
uint8_t gWgtPlaceInGroup(gGroup* group, gElement* e);

}  // namespace orva
