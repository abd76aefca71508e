// Widget colours, chain moves, window flag pairs, descriptor size codes and the widget
// list containers.
#include "toolkit/widget_props.h"

#include <cmath>

#include "toolkit/layout.h"

namespace orva {

namespace {

gDescDefaults gDefaults;
uint32_t gForcedDefaults[2] = {0, 0};   // forced on, forced off

// The magnitude a new automatic second word is derived with (creation's default).
constexpr uint32_t kDefaultShadeDelta = 0x1A1A1Au;

}  // namespace

// ---- Colours ----------------------------------------------------------------------------------

bool gColorIsAutomatic(uint32_t colour) { return ((colour >> 24) & 0xF) >= 0xE; }

uint32_t gColorDerivedShade(uint32_t colour, uint32_t second) {
    // The derived word keeps its mode but not the delta it was made with: derive again
    // with the default magnitude.
    return gColorDelta(colour, (second & 0x0F000000u) | kDefaultShadeDelta);
}

namespace {

// The text kinds (labels and edit fields) draw their text in the colour they were made
// with: a new colour is their text colour too.
void FollowTextColour(gElement* e) {
    if (e->kind >= 3 && e->kind <= 6) e->textColor = e->textColor2 = e->color1;
}

}  // namespace

void gWgtSetColors(gElement* e, uint32_t colour) {
    if (e == nullptr) return;
    e->color1 = e->color1Saved = colour;
    FollowTextColour(e);
}

void gWgtSetColor(gElement* e, uint32_t colour) {
    if (e == nullptr) return;
    e->color1 = colour;
    if (gColorIsAutomatic(e->color2)) e->color2 = e->color2Saved = gColorDerivedShade(colour, e->color2);
    FollowTextColour(e);
}

bool gWgtChangeColor(gElement* e, uint32_t colour) {
    if (e == nullptr || e->color1 == colour) return false;
    gWgtSetColor(e, colour);
    return true;
}

void gWgtDefaultColor(gElement* e) {
    if (e != nullptr) gWgtSetColor(e, e->baseColor);
}

bool gWgtRestoreColor(gElement* e) { return e != nullptr && gWgtChangeColor(e, e->baseColor); }

// ---- Moving chains -----------------------------------------------------------------------------

namespace {

void ShiftOne(gElement* e, float dx, float dy) {
    e->x += dx;
    e->y += dy;
    e->homeX += dx;
    e->homeY += dy;
    e->placedX += dx;
    e->placedY += dy;
    if (e->glyphList != nullptr) {
        e->glyphList->x += dx;
        e->glyphList->y += dy;
    }
}

gElement* OrFirstWidget(gElement* e) {
    if (e != nullptr) return e;
    gWindow* window = gWinCurrent();
    return window != nullptr ? window->widgets.head : nullptr;
}

}  // namespace

void gWgtShiftChain(gElement* e, float dx, float dy) {
    if (e == nullptr || (dx == 0 && dy == 0)) return;
    ShiftOne(e, dx, dy);
    // A child's chain is its container's list: only a top-level widget carries one.
    if (e->prevChild != nullptr) return;
    for (gElement* child = e->nextChild; child != nullptr; child = child->nextChild) ShiftOne(child, dx, dy);
}

void gWgtShiftChainY(gElement* e, float dy) { gWgtShiftChain(e, 0, dy); }

void gWgtMoveChain(gElement* e, float x, float y) {
    if ((e = OrFirstWidget(e)) == nullptr) return;
    gWgtShiftChain(e, x - e->homeX, y - e->homeY);
}

void gWgtMoveChainX(gElement* e, float x) {
    if ((e = OrFirstWidget(e)) == nullptr) return;
    gWgtShiftChain(e, x - e->homeX, 0);
}

uint32_t gWgtExchangeParam(gElement* e, uint32_t value) {
    if (e == nullptr) return 0;
    uint32_t old = e->value;
    e->value = value;
    return old;
}

// ---- Window flag pairs ------------------------------------------------------------------------

uint32_t gWinSetStyleBits(uint32_t* word, uint32_t request, bool clear) {
    if (word == nullptr) return 0;
    uint32_t old = *word;
    uint32_t low = request & 0xFFu, second = request & 0xFF00u;
    uint32_t partner = low != 0 ? low << 8 : second >> 8;
    request &= ~partner;
    low = request & 0xFFu;
    second = request & 0xFF00u;
    if (low != 0 && (*word & 0xFF00u) != 0) *word &= ~(low << 8);
    if (second != 0 && (*word & 0xFFu) != 0) *word &= ~(second >> 8);
    if (clear) *word &= ~request;
    else *word |= request;
    return old;
}

uint32_t gWinSetStyleBits(gWindow* window, uint32_t request, bool clear) {
    gSlotTable* table = gWinSlotTable(gWgtCurrent(window));
    return table != nullptr ? gWinSetStyleBits(&table->readOnlyMask, request, clear) : 0;
}

namespace {

// Stores the flag in one word of the window and of the defaults; setting it clears it
// in the other.
void SetForced(gWindow* window, uint32_t flag, bool on) {
    flag &= kWsReadOnly;
    gSlotTable* table = gWinSlotTable(gWgtCurrent(window));
    auto store = [&](uint32_t& mine, uint32_t& other) {
        mine = (mine & ~kWsReadOnly) | flag;
        if (flag != 0) other &= ~kWsReadOnly;
    };
    if (on) store(gForcedDefaults[0], gForcedDefaults[1]); else store(gForcedDefaults[1], gForcedDefaults[0]);
    if (table == nullptr) return;
    if (on) store(table->forcedOn, table->forcedOff); else store(table->forcedOff, table->forcedOn);
}

}  // namespace

void gWinSetFlagA(gWindow* window, uint32_t flag) { SetForced(window, flag, true); }
void gWinSetFlagB(gWindow* window, uint32_t flag) { SetForced(window, flag, false); }
uint32_t* gToolkitForcedDefaults() { return gForcedDefaults; }

// ---- Descriptor size codes ---------------------------------------------------------------------

gDescDefaults& gDescDefaultsGet() { return gDefaults; }

bool gDescIsSizeCode(float size) {
    return size == kSizeDefault || size == kSizeWidthOfHeight || size == kSizeHeightOfWidth;
}

void gDescInheritText(WidgetDesc* d, const WidgetDesc* parent) {
    if (d == nullptr) return;
    uint32_t from = parent != nullptr ? parent->textAlign : gDefaults.textAlign;
    for (uint32_t group : kTextGroups) {
        if ((d->textAlign & group) == 0) d->textAlign |= from & group;
    }
    if ((d->textAlign & 0x40) == 0 && d->textMarginX == 0) {
        d->textMarginX = parent != nullptr ? parent->textMarginX : gDefaults.textMarginX;
    }
}

void gDescResolveSize(WidgetDesc* d, const gDescDefaults* defaults) {
    if (d == nullptr) return;
    if (defaults == nullptr) defaults = &gDefaults;
    float& w = d->width;
    float& h = d->height;
    if (w == kSizeDefault) w = defaults->width;
    if (h == kSizeDefault) h = defaults->height;
    // Any other negative size, or one that refers to an axis that is itself a code,
    // takes the default size.
    const bool wFromH = w == kSizeWidthOfHeight && h >= 0;
    const bool hFromW = h == kSizeHeightOfWidth && w >= 0;
    if (w < 0 && !wFromH) w = defaults->width;
    if (h < 0 && !hFromW) h = defaults->height;
    if (wFromH) w = h;
    if (hFromW) h = w;
    if (!(w > 0)) w = 1.0f;
    if (!(h > 0)) h = 1.0f;
    const float scale[2] = {d->scaleX, d->scaleY};
    float* sizes[2][2] = {{&w, &d->cellWidth}, {&h, &d->cellHeight}};
    for (int axis = 0; axis < 2; ++axis) {
        if (!(scale[axis] > 0) || scale[axis] == 1.0f || !std::isfinite(scale[axis])) continue;
        for (float* size : sizes[axis]) *size *= scale[axis];
    }
    if (d->cellWidth < w) d->cellWidth = w;
    if (d->cellHeight < h) d->cellHeight = h;
}

// ---- Widget lists --------------------------------------------------------------------------------

void gGroupList::Append(gGroup* group) {
    if (group == nullptr) return;
    ++group->refCount;
    group->nextGroup = nullptr;
    group->prevGroup = tail;
    if (tail != nullptr) tail->nextGroup = group; else head = group;
    tail = group;
    ++count;
}

gGroupList::~gGroupList() {
    gGroup* group = head;
    head = tail = nullptr;
    count = 0;
    while (group != nullptr) {
        gGroup* next = group->nextGroup;
        group->nextGroup = group->prevGroup = nullptr;
        if (gWgtIsLive(group)) {
            const int32_t was = group->refCount--;
            if (was == 1 && !group->keep) delete group;
        }
        group = next;
    }
}

void gOwningList::Append(gElement* e) {
    if (e == nullptr) return;
    gElement* last = head;
    while (last != nullptr && last->next != nullptr) last = last->next;
    e->next = nullptr;
    e->prev = last;
    if (last != nullptr) last->next = e; else head = e;
    ++count;
}

gOwningList::~gOwningList() {
    gElement* e = head;
    head = nullptr;
    count = 0;
    while (e != nullptr) {
        gElement* next = e->next;
        e->prev = e->next = nullptr;
        delete e;
        e = next;
    }
}

}  // namespace orva
