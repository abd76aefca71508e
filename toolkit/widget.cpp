// Widgets: descriptors, creation through the skin, the widget chain, validity,
// setters and destruction.
#include "toolkit/widget.h"

#include <cmath>
#include <cstring>
#include <new>
#include <unordered_set>

#include "common/log.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/widget_props.h"

namespace orva {

void (*const kNoClick)(gElement*, uintptr_t) =
    reinterpret_cast<void (*)(gElement*, uintptr_t)>(static_cast<intptr_t>(-1));
bool (*const kNoPress)(gElement*, uintptr_t) =
    reinterpret_cast<bool (*)(gElement*, uintptr_t)>(static_cast<intptr_t>(-1));
const gPaintFn kNoPaint = reinterpret_cast<gPaintFn>(static_cast<intptr_t>(-1));

namespace {

std::unordered_set<const void*>& Live() {
    static std::unordered_set<const void*> live;
    return live;
}
float gColorSetValues[12] = {};
void (*gDestroyObservers[8])(gElement*) = {};

gTextOps gTextTable;

bool IsNone(void (*f)(gElement*, uintptr_t)) { return f == nullptr || f == kNoClick; }
bool IsNone(bool (*f)(gElement*, uintptr_t)) { return f == nullptr || f == kNoPress; }
bool IsNone(gPaintFn f) { return f == nullptr || f == kNoPaint; }

uint32_t FirstOf(uint32_t bits, std::initializer_list<uint32_t> order) {
    for (uint32_t bit : order) {
        if (bits & bit) return bit;
    }
    return 0;
}

// The state block words: drag flags, bytes 0..3, bytes 4..7.
void StateFromWords(gElement* e, const uint32_t words[3]) {
    e->dragFlags = words[0];
    uint8_t bytes[8];
    std::memcpy(bytes, &words[1], 4);
    std::memcpy(bytes + 4, &words[2], 4);
    e->state0 = bytes[0];
    e->active = bytes[1];
    e->partial = bytes[2];
    e->enabled = bytes[3];
    e->shown = bytes[4];
    e->dead = bytes[5];
    e->state6 = bytes[6];
    e->state7 = bytes[7];
}

constexpr uint32_t kStatePartialEnabled = 0x01010000u;  // bytes 2 and 3 of the first word
constexpr uint32_t kStateShown = 0x1u;                  // byte 4

uint32_t ReadOnlyApply(int32_t kind, uint32_t style, uint32_t mask) {
    uint32_t set = 0, clear = 0;
    if (kind >= 3 && kind <= 6) set = 8, clear = 0x800;
    else if (kind >= 7 && kind <= 13) set = 4, clear = 0x400;
    else if (kind >= 16 && kind <= 19) set = 2, clear = 0x200;
    else if (kind >= 36 && kind <= 62) set = 1, clear = 0x100;
    else if (kind >= 79 && kind <= 84) set = 16, clear = 0x1000;
    else return style;
    if (mask & set) style |= kWsReadOnly;
    if (mask & clear) style &= ~kWsReadOnly;
    return style;
}

gFont* NewWidgetFont(gWindow* window) {
    gSlotTable* table = gWinSlotTable(window);
    if (table != nullptr && table->newFont != nullptr) return table->newFont;
    return window->font;
}

bool Finite(float v) { return std::isfinite(v) && std::fabs(v) < 1.0e7f; }

bool DescriptorSane(const WidgetDesc& d) {
    return Finite(d.width) && Finite(d.height) && Finite(d.offsetX) && Finite(d.offsetY) && Finite(d.cellWidth) &&
           Finite(d.cellHeight) && Finite(d.textMarginX) && Finite(d.textMarginY);
}

uint32_t MergeColour(uint32_t own, uint32_t part, uint32_t fallback) {
    if ((part >> 28) == 7) {
        if ((own >> 28) == 7 && (fallback >> 28) != 7) return fallback;
        return own;
    }
    if ((own >> 28) == 7) return part;
    return own;
}

uint32_t DeriveColour(uint32_t base, uint32_t code, uint32_t defaultDelta) {
    if (((code >> 24) & 0xF) < 0xE) return code;
    if ((code & 0xFFFFFF) == 0) code = (code & 0xFF000000u) | defaultDelta;
    return gColorDelta(base, code);
}

// Merges a skin part into the descriptor; false when it cannot be used.
bool MergePart(WidgetDesc& d, const gStyleRecord* part, gWindow* window) {
    if (IsNone(d.paint)) d.paint = part->painter;
    if (IsNone(d.paint)) return false;
    const gSlotTable* table = gWinSlotTable(window);
    d.kind = part->kind;
    d.style |= part->styleFlags & ~kWsSlotBits;
    d.style |= table->forcedOn;
    d.style &= ~table->forcedOff;
    if (d.kind >= 2 && d.kind <= 511) d.style = ReadOnlyApply(d.kind, d.style, table->readOnlyMask);
    d.textAlign = gWgtNormTextAlign(d.textAlign | part->textFlags);
    if (d.onClick == kNoClick) d.onClick = nullptr;
    if (d.onPress == kNoPress) d.onPress = nullptr;
    if (part->colourCount >= 1) d.color1 = MergeColour(d.color1, part->colour1, part->colour1Fallback);
    if (part->colourCount >= 2) d.color2 = MergeColour(d.color2, part->colour2, part->colour2Fallback);
    d.color1 = DeriveColour(window->colours.backCurrent, d.color1, 0x0F080808u);
    if (const gSizeRecord* size = part->size) {
        if (size->origin != nullptr) {
            d.offsetX += size->origin[0];
            d.offsetY += size->origin[1];
        }
        float inset = 0.0f;
        if (size->text != nullptr) {
            d.textAlign = gWgtNormTextAlign(d.textAlign | size->text->flags);
            inset = size->text->inset;
            if (d.textMarginX == 0.0f) d.textMarginX = inset;
        }
        gFont* font = NewWidgetFont(window);
        const gTextOps& text = gTextHooks();
        // Size codes other than the default size are resolved at creation.
        if (d.width < 0 && d.width != kSizeWidthOfHeight) {
            if (size->width >= 0) {
                d.width = size->width;
            } else if (d.width != kSizeDefault && d.text != nullptr && d.text[0] != '\0' && text.width != nullptr) {
                d.width = std::floor(text.width(font, d.text) + 2.0f * inset);
            }
        }
        if (d.height < 0 && d.height != kSizeHeightOfWidth) {
            if (size->height >= 0) {
                d.height = size->height;
            } else if (d.height != kSizeDefault && text.lineHeight != nullptr) {
                float pad = size->padding != nullptr ? size->padding[1] : 0.0f;
                d.height = std::floor(text.lineHeight(font) + 2.0f * pad);
            }
        }
    }
    if (part->state != nullptr) std::memcpy(d.state, part->state->words, sizeof d.state);
    return true;
}

}  // namespace

gTextOps& gTextHooks() { return gTextTable; }

// ---- Element records --------------------------------------------------------------------

gElement::gElement() { Live().insert(this); }

gElement::~gElement() {
    dead = 1;
    for (auto* observer : gDestroyObservers) {
        if (observer != nullptr) observer(this);
    }
    if (window != nullptr && gWinValidate(window) != nullptr) {
        if (window->defaultButton == this) window->defaultButton = nullptr;
        if (window->statusWidget == this) window->statusWidget = nullptr;
        if (gLayout* layout = window->layout) {
            std::erase(layout->queue, this);
            if (layout->table.currentContainer == this) layout->table.currentContainer = nullptr;
            if (layout->table.lastTop == this) layout->table.lastTop = nullptr;
        }
    }
    if (slotTable != nullptr) {
        for (gSlotList& list : slotTable->slots) {
            gGroup* group = list.first;
            while (group != nullptr) {
                gGroup* next = group->nextGroup;
                gGrpUnlinkFromSlot(group);
                gGrpRelease(group);
                group = next;
            }
        }
        delete slotTable;
        slotTable = nullptr;
    }
    if (handlerData != 0 && releaseData != nullptr) {
        releaseData(handlerData);
        handlerData = 0;
    }
    if (destroyArmed != 0 && onDestroy != nullptr) {
        auto callback = onDestroy;
        onDestroy = nullptr;
        callback(this);
    }
    if (font != nullptr && gTextTable.release != nullptr) gTextTable.release(font);
    font = nullptr;
    if (glyphList != nullptr) {
        if (gTextTable.freeGlyphs != nullptr) {
            gTextTable.freeGlyphs(this);
        } else {
            delete glyphList;
        }
        glyphList = nullptr;
    }
    if (prevChild == nullptr) {
        gElement* child = nextChild;
        nextChild = nullptr;
        while (child != nullptr) {
            gElement* following = child->nextChild;
            child->nextChild = nullptr;
            child->prevChild = nullptr;
            child->container = child;  // no longer anyone's child
            delete child;
            child = following;
        }
    }
    tag = 0;
    Live().erase(this);
}

gGroup::gGroup() { tag = kGroupTag; }

gGroup::~gGroup() {
    gRow* row = rowsHead;
    while (row != nullptr) {
        gRow* next = row->nextRow;
        delete row;
        row = next;
    }
    rowsHead = rowsTail = openRow = nullptr;
}

void gWgtAddDestroyObserver(void (*observer)(gElement*)) {
    for (auto*& slot : gDestroyObservers) {
        if (slot == observer) return;
        if (slot == nullptr) {
            slot = observer;
            return;
        }
    }
}

// ---- Normalisation ----------------------------------------------------------------------

uint32_t gWgtNormSlot(uint32_t style) {
    if ((style & kWsSlotBits) == 0) return 0;
    uint32_t h = FirstOf(style, {kWsLeft, kWsCentre, kWsRight});
    uint32_t v = FirstOf(style, {kWsTop, kWsMiddle, kWsBottom});
    if (h == 0) h = kWsLeft;
    if (v == 0) v = kWsTop;
    return h | v;
}

uint32_t gWgtNormStyle(uint32_t style) {
    // 0x40 (new row) and 0x1000 (slot from the window) are kept as well: the group
    // placement and the slot inheritance read them after normalisation.
    uint32_t out = style & (0x74B02800u | kWsNewRow | kWsSlotFromWindow);
    out |= gWgtNormSlot(style);
    out |= FirstOf(style, {kWsAfter, kWsBefore});
    return out;
}

uint32_t gWgtNormTextAlign(uint32_t align) {
    constexpr uint32_t kGroups = 0x1 | 0x2 | 0x4 | 0x8 | 0x4000 | 0x8000 | 0x10000 | 0x20000 | 0x40000 | 0x80000 |
                                 0x100 | 0x200;
    uint32_t out = align & 0x3F048CF0u & ~kGroups;
    uint32_t h = FirstOf(align, {0x1, 0x4, 0x8});
    out |= h;
    if (h == 0x1 && (align & 0x800) == 0) out |= align & 0x2;
    out |= FirstOf(align, {0x4000, 0x8000, 0x10000});
    out |= FirstOf(align, {0x20000, 0x40000, 0x80000});
    out |= FirstOf(align, {0x100, 0x200});
    if (out & 0x800) out &= ~0x2u;
    return out;
}

// ---- Current window and font ---------------------------------------------------------

// The current font is the font layer's (gFontCurrent): one pointer for the whole toolkit.

void gWgtSelect(gWindow* window, gFont* font) {
    if (window != nullptr) gWinSetCurrent(window);
    window = gWinCurrent();
    if (window == nullptr) return;
    gFontCurrent() = font != nullptr && (font == window->font || font == window->extraFont) ? font : window->font;
}

void gWgtSelectWindow(gWindow* window) {
    gWinSetCurrent(window);
    gFontCurrent() = window != nullptr ? window->font : nullptr;
}

gWindow* gWgtCurrent(gWindow* window) { return window != nullptr ? window : gWinCurrent(); }
gWindow* gWinOf(const gElement* e) { return e != nullptr && e->window != nullptr ? e->window : gWinCurrent(); }

gElement* gWinLastWidget(gWindow* window) {
    window = gWgtCurrent(window);
    gSlotTable* table = gWinSlotTable(window);
    return table != nullptr ? table->lastTop : nullptr;
}

gElement* gWinLastInChain(gWindow* window) {
    return window != nullptr && window->layout != nullptr ? window->layout->lastWidget : nullptr;
}

// ---- Validity ------------------------------------------------------------------------------

bool gWgtIsLive(const void* pointer) { return pointer != nullptr && Live().count(pointer) != 0; }

int gWgtCheck(const gElement* e) {
    if (e == nullptr || !gWgtIsLive(e)) return -1;
    gWindow* window = e->window;
    if (window == nullptr) return -2;
    if (gWinValidate(window) == nullptr) return -1;
    const gElement* top = e->prevChild != nullptr ? e->container : e;
    gElement* head = window->widgets.head;
    if (head == nullptr || top == nullptr) return 0;
    if (top->prev == nullptr && head != top) return 0;
    if (top->next == nullptr && gWinLastInChain(window) != top) return 0;
    for (gElement* w = head; w != nullptr; w = w->next) {
        if (w == e) return 1;
        for (gElement* child = w->nextChild; child != nullptr; child = child->nextChild) {
            if (child == e) return 1;
        }
    }
    return 0;
}

bool gWgtValid(const gElement* e) { return gWgtCheck(e) == 1; }

bool __gWgt_check_array(gElement* const* array, int64_t count) {
    if (count < 1 || count > 65536) return false;
    if (array == nullptr) {
        LogPrintf("%s", "__gWgt_check_array(): exeption...");
        return false;
    }
    for (int64_t i = 0; i < count; ++i) {
        if (array[i] == nullptr) {
            LogPrintf("%s", "Can't create gliphs");
            return false;
        }
    }
    return true;
}

// ---- Chain ------------------------------------------------------------------------------------

namespace {

void LinkTop(gWindow* window, gElement* e, gElement* anchor, bool before) {
    gLayout* layout = gWinLayout(window);
    gElement*& head = window->widgets.head;
    if (anchor == nullptr) {
        if (before) {
            e->next = head;
            if (head != nullptr) head->prev = e;
            head = e;
            if (layout->lastWidget == nullptr) layout->lastWidget = e;
        } else {
            e->prev = layout->lastWidget;
            if (layout->lastWidget != nullptr) layout->lastWidget->next = e;
            layout->lastWidget = e;
            if (head == nullptr) head = e;
        }
    } else if (before) {
        e->next = anchor;
        e->prev = anchor->prev;
        if (anchor->prev != nullptr) anchor->prev->next = e; else head = e;
        anchor->prev = e;
    } else {
        e->prev = anchor;
        e->next = anchor->next;
        if (anchor->next != nullptr) anchor->next->prev = e; else layout->lastWidget = e;
        anchor->next = e;
    }
    ++window->widgets.count;
}

// Linked when the prev links lead back to the window's first widget (a run cut out of
// the chain keeps its inner links but leads elsewhere).
bool UnlinkRun(gWindow* window, gElement* first, gElement* last) {
    return gListUnlinkRun<gElement, &gElement::next, &gElement::prev>(window->widgets.head,
                                                                      window->layout->lastWidget, first, last);
}

void UnlinkTop(gElement* e) {
    gWindow* window = e->window;
    // A widget taken out of its window and kept (a removed shape's glyph held for undo)
    // may outlive the window: there is no chain left to take it out of.
    if (!gWinRecordLive(window) || window->layout == nullptr || !UnlinkRun(window, e, e)) return;
    if (window->widgets.count > 0) --window->widgets.count;
}

void PaintGuard(gElement* e) {
    gPaintFn impl = e->paintImpl;
    if (IsNone(impl)) {
        if (const gStyleRecord* record = gSkinGet()->StyleForKind(e->kind)) impl = record->painter;
    }
    if (IsNone(impl)) return;
    e->paint = impl;
    impl(e);
}

}  // namespace

// ---- Creation -----------------------------------------------------------------------------

gElement* gWgtCreate(gWindow* window, gElement* layoutElement, gElement* reference, WidgetDesc* desc,
                     uint32_t style) {
    gWidgetsInstallHooks();
    if (window == nullptr && reference != nullptr) window = reference->window;
    if (window == nullptr || desc == nullptr || gWinValidate(window) == nullptr) return nullptr;
    if (style == 0) style = kWsTopLevel;
    gLayout* layout = gWinLayout(window);
    if (layout == nullptr) return nullptr;
    gSlotTable& table = layout->table;
    auto* e = new (std::nothrow) gElement;
    if (e == nullptr) {
        table.currentContainer = table.lastTop = nullptr;
        return nullptr;
    }
    e->serial = layout->counter++;
    e->window = window;
    // Linking.
    if (reference == nullptr || (style & (kWsTopLevel | kWsBefore)) != 0) {
        e->container = e;
        bool before = (style & kWsBefore) != 0 && (style & kWsAfter) == 0;
        gElement* anchor = reference != nullptr ? (reference->prevChild != nullptr ? reference->container : reference)
                                                : nullptr;
        LinkTop(window, e, anchor, before);
        table.currentContainer = e;
        table.lastTop = e;
    } else {
        gElement* container = reference->prevChild != nullptr ? reference->container : reference;
        if (container == nullptr || container->dead || container->prevChild != nullptr) {
            e->container = e;
            delete e;
            return nullptr;
        }
        table.currentContainer = container;
        gElement* last = container;
        while (last->nextChild != nullptr) last = last->nextChild;
        last->nextChild = e;
        e->prevChild = last;
        e->container = container;
        e->x = e->homeX = container->x;
        e->y = e->homeY = container->y;
    }
    // Fields.
    e->kind = desc->kind;
    e->onDestroy = desc->onDestroy;
    e->destroyArmed = desc->onDestroy != nullptr ? 1 : 0;
    if (gWinCurrent() != window || gFontCurrent() != window->font) gWgtSelectWindow(window);
    // Sizes and text groups are resolved on a copy: a shared descriptor stays reusable
    // (its scale factors are applied once per widget).
    WidgetDesc d = *desc;
    gDescInheritText(&d, nullptr);
    gDescResolveSize(&d, nullptr);
    e->width = d.width;
    e->height = d.height;
    e->cellWidth = d.cellWidth;
    e->cellHeight = d.cellHeight;
    uint32_t s = d.style;
    if (layoutElement != nullptr && (layoutElement->style & kWsSlotBits) != 0) {
        s = (s & ~kWsSlotBits) | (layoutElement->style & kWsSlotBits);
    }
    if (reference != nullptr) s = (s & ~0xFE000u) | (reference->style & 0xFE000u);
    e->style = s;
    gFont* font = table.newFont != nullptr ? table.newFont
                  : reference != nullptr  ? reference->font
                  : gFontCurrent();
    if (font != nullptr && gTextTable.addRef != nullptr) gTextTable.addRef(font);
    e->font = font;
    e->paintImpl = d.paint;
    e->paint = PaintGuard;
    e->painter = d.painter;
    uint32_t stateWords[3] = {d.state[0], d.state[1], d.state[2]};
    e->initiallyShown = static_cast<uint8_t>(stateWords[2] & 0xFF);
    desc->state[2] &= ~0xFFu;
    StateFromWords(e, stateWords);
    if (!IsNone(d.onClick)) {
        e->onClick = d.onClick;
        e->active = 1;
    }
    if (!IsNone(d.onPress)) {
        e->onPress = d.onPress;
        e->active = 1;
    }
    if (d.onDrag != nullptr) gWgtSetTag(e, d.onDrag);
    e->baseColor = d.color1;
    e->color1 = d.color1;
    e->color2 = DeriveColour(e->color1, d.color2, 0x0F1A1A1Au);
    e->color1Saved = e->color1;
    e->color2Saved = e->color2;
    e->textColor = (e->kind >= 3 && e->kind <= 6) ? e->color1 : 0x04000000u;
    e->textColor2 = e->textColor;
    pf::Cursor cursor = gCursorGet(static_cast<int>(d.cursor));
    e->cursor = e->defaultCursor = cursor != nullptr ? cursor : window->defaultCursor;
    e->textAlign = gWgtNormTextAlign(d.textAlign);
    e->textMarginX = d.textMarginX;
    e->textMarginY = d.textMarginY;
    e->textLimit = 256;
    if (d.text != nullptr) e->text = d.text;
    if (font != nullptr && gTextTable.layout != nullptr) {
        gTextTable.layout(e);
    } else {
        e->textOffsetX = e->textMarginX;
        e->textOffsetY = e->textMarginY;
    }
    // Placement.
    uint8_t shown = e->initiallyShown;
    if (layoutElement == nullptr && (e->style & kWsNoPlace) == 0) {
        gSlotTable* slots = &table;
        if (e->prevChild != nullptr) {
            gElement* container = e->container;
            if (container->slotTable == nullptr) {
                container->slotTable = new (std::nothrow) gSlotTable;
                if (container->slotTable != nullptr) {
                    gSlotTableInit(container->slotTable, nullptr, false);
                    container->slotTable->owner = container;
                }
            }
            slots = container->slotTable;
        }
        gGroup* group = slots != nullptr ? gGrpGet(slots, e->style) : nullptr;
        if (group != nullptr) {
            gRow* open = group->openRow;
            if (open != nullptr && ((e->style & kWsNewRow) != 0 || (open->align & kWsNewRow) != 0)) {
                if (open->align & kWsFitRow) {
                    float measure[2] = {group->width, group->height};
                    gWgtPlaceItem(group, open, group->style & kWsSlotBits, measure);
                }
                gWgtFitLayout(group);
            }
            shown = gWgtPlaceInGroup(group, e);
        }
    }
    float dx = std::floor(d.offsetX), dy = std::floor(d.offsetY);
    e->x += dx;
    e->y += dy;
    if (e->glyphList != nullptr) {
        e->glyphList->x += dx;
        e->glyphList->y += dy;
    }
    if ((e->textAlign & 0x800) != 0 && !e->text.empty()) e->active = 1;
    if (e->painter != nullptr) e->painter(e, 0, 0);
    e->placedX = e->homeX = e->x;
    e->placedY = e->homeY = e->y;
    e->shown = shown;
    return e;
}

gElement* gWgtAddSubPanel(gElement* reference, WidgetDesc* desc, uint32_t style) {
    if (reference == nullptr || !gWgtIsLive(reference)) return nullptr;
    WidgetDesc d;
    if (desc != nullptr && desc->kind == 2) {
        d = *desc;
    } else {
        d.kind = 2;
        d.onClick = gWgtToggleLinked;
    }
    d.state[1] |= kStatePartialEnabled & 0xFF000000u;  // enabled
    d.state[2] |= kStateShown;
    const gStyleRecord* part = gSkinGet()->StyleForKind(2);
    if (IsNone(d.paint)) d.paint = part != nullptr ? part->painter : nullptr;
    if (IsNone(d.paint)) return nullptr;
    if (part != nullptr) d.style |= part->styleFlags & ~kWsSlotBits;
    if ((d.style & 0x77000000u) == 0) d.style |= 0x22000000u;
    if (part != nullptr && part->size != nullptr) {
        const gSizeRecord* size = part->size;
        d.width = size->width >= 0 ? size->width : 15.0f;
        d.height = size->height >= 0 ? size->height : 15.0f;
        float extraW = size->padding != nullptr ? size->padding[0] * 0.5f : 0.0f;
        float extraH = size->padding != nullptr ? size->padding[1] * 0.5f : 0.0f;
        d.cellWidth = d.width + extraW;
        d.cellHeight = d.height + extraH;
    }
    // Made as a child of the reference: no top-level linking bits (and never 0, which
    // would mean top-level).
    uint32_t linking = style & ~(kWsTopLevel | kWsBefore);
    return gWgtCreate(reference->window, nullptr, reference, &d, linking != 0 ? linking : kWsAfter);
}

gElement* gWgtAdd(gWindow* window, gElement* reference, const gWgtTemplate* tmpl, uint32_t style) {
    gWidgetsInstallHooks();
    if (window == nullptr && reference != nullptr) window = reference->window;
    window = gWgtCurrent(window);
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    if (style == 0) style = kWsTopLevel;
    WidgetDesc base;
    if (tmpl == nullptr) {
        base.kind = 2;
        base.onClick = gWgtToggleLinked;
    } else {
        if (tmpl->one != 1) return nullptr;
        const WidgetDesc& t = tmpl->desc;
        base.kind = t.kind;
        base.style = t.style;
        base.width = t.width;
        base.height = t.height;
        base.offsetX = t.offsetX;
        base.offsetY = t.offsetY;
        base.cellWidth = t.cellWidth;
        base.cellHeight = t.cellHeight;
        base.color1 = t.color1;
        base.color2 = t.color2;
        base.text = t.text;
        base.paint = t.paint;
        base.onClick = t.onClick;
        base.onDrag = t.onDrag;
        base.textAlign = t.textAlign;
        base.textMarginX = t.textMarginX;
        base.textMarginY = t.textMarginY;
        base.onDestroy = t.onDestroy;
        if (base.kind == 0 && IsNone(base.paint)) return nullptr;
    }
    gLayout* layout = gWinLayout(window);
    if (layout == nullptr) return nullptr;
    const gSlotTable& table = layout->table;
    uint32_t s = base.style;
    if (((table.slotStyle | s) & kWsNoSlot) != 0) {
        s = (s & ~0xFD000u) | kWsNoSlot;
    } else if ((s & 0xFF000u) != 0 && (table.slotStyle & kWsSlotFromWindow) != 0) {
        s = (s & ~0xFF000u) | (table.slotStyle & 0xFE000u);
    }
    s |= table.forcedOn;
    s &= ~table.forcedOff;
    base.textAlign = gWgtNormTextAlign(base.textAlign);
    base.style = gWgtNormStyle(s);
    if (gGroup* group = gGrpLookup(const_cast<gSlotTable*>(&table), base.style)) {
        if (group->isGroup && ((group->rowAlign | base.style) & kWsNoPlace) == 0 && (group->align & 7) != 0) {
            base.offsetX = base.offsetY = 0;
        }
    }
    // The parts of the kind.
    const gStyleRecord* single = nullptr;
    const gStyleRecord* const* parts = nullptr;
    size_t count = 0;
    if (base.kind >= 1 && base.kind <= 511) {
        if (window->skinObject != nullptr) count = window->skinObject->PartsForKind(base.kind, &parts);
        if (count == 0 || parts == nullptr || parts[0] == nullptr || parts[0]->painter == nullptr) {
            count = 0;
            single = gSkinGet()->StyleForKind(base.kind);
            if (single != nullptr) {
                parts = &single;
                count = 1;
            }
        }
    }
    if (count == 0 && IsNone(base.paint)) return nullptr;
    size_t rounds = count == 0 ? 1 : std::min<size_t>(count, kMaxParts);
    gElement* first = nullptr;
    gElement* previous = reference;
    WidgetDesc firstDesc;   // the parent of the later parts' text groups
    for (size_t i = 0; i < rounds; ++i) {
        WidgetDesc d = base;
        d.state[0] = 0;
        d.state[1] = kStatePartialEnabled;
        d.state[2] = kStateShown;
        const gStyleRecord* part = count != 0 ? parts[i] : nullptr;
        if (part != nullptr && !MergePart(d, part, window)) continue;
        gDescInheritText(&d, first != nullptr ? &firstDesc : nullptr);
        if (!DescriptorSane(d)) {
            LogPrintf("%s", "gWgtAdd(), exeption...");
            return first;
        }
        gElement* made = nullptr;
        if (d.kind == 2 && previous != nullptr) {
            made = gWgtAddSubPanel(previous, &d, style);
        } else {
            made = gWgtCreate(window, nullptr, previous, &d, style);
        }
        if (made == nullptr) {
            LogPrintf("%s", "gWgtAdd(), exeption...");
            return first;
        }
        if (part != nullptr && part->extra != nullptr && part->extra->pair != nullptr) {
            made->extraPair[0] = part->extra->pair[0];
            made->extraPair[1] = part->extra->pair[1];
        }
        // A part drawn as an edit field (kind 6, or a number kind a skin draws so) gets
        // its edit record, and with it the glyph list that focus moves along; its text is
        // measured as an edit line.
        if (part != nullptr && part->painter == gPaintEditField && gWgtEditCreate(made, nullptr, 0) != nullptr) {
            gWgtEditMeasure(made);
        }
        if (first == nullptr) {
            first = made;
            firstDesc = d;
        }
        previous = made;
    }
    return first;
}

// ---- Setters -----------------------------------------------------------------------------------

namespace {

gElement* Target(gElement* e) {
    if (e == nullptr) {
        e = gWinLastWidget(nullptr);
        if (e == nullptr) return nullptr;
    }
    return gWgtValid(e) ? e : nullptr;
}

}  // namespace

void gWgtSetHandler1(gElement* e, void (*handler)(gElement*, uintptr_t), uintptr_t data) {
    if ((e = Target(e)) == nullptr) return;
    if (e->onClick == nullptr) e->onClick = handler;
    if (e->handlerData == 0) e->handlerData = data;
    if (handler != nullptr) e->active = 1;
}

void gWgtSetHandler2(gElement* e, void (*handler)(gElement*, uintptr_t), uintptr_t data) {
    if ((e = Target(e)) == nullptr) return;
    if (e->onChange == nullptr) e->onChange = handler;
    if (e->handlerData == 0) e->handlerData = data;
}

void gWgtSetHandler3(gElement* e, void (*handler)(gElement*, uintptr_t), void (*release)(uintptr_t),
                     uintptr_t data) {
    if ((e = Target(e)) == nullptr) return;
    if (e->onClick == nullptr) e->onClick = handler;
    if (e->handlerData == 0) e->handlerData = data;
    e->releaseData = release;
    if (handler != nullptr) e->active = 1;
}

void gWgtSetTag(gElement* e, void (*handler)(gElement*, const pf::Point*)) {
    if (e == nullptr) return;
    e->onDrag = handler;
    if (handler != nullptr) {
        e->active = 1;
        e->dragFlags |= 0x200;
    } else {
        e->dragFlags &= ~0x200u;
    }
}

void gWgtClearValue(gElement* e) {
    if (e == nullptr) return;
    gWgtSetTag(e, nullptr);
    e->onTrack = nullptr;
    e->onMoved = nullptr;
    e->onClick = nullptr;
    e->onWheel = nullptr;
    e->active = 0;
}

void gWgtSetFont(gElement* e, gFont* font) {
    if ((e = Target(e)) == nullptr) return;
    if (font != nullptr && gTextTable.addRef != nullptr) gTextTable.addRef(font);
    if (e->font != nullptr && gTextTable.release != nullptr) gTextTable.release(e->font);
    e->font = font;
}

gElement* gWgtNextFocus(gElement* e) {
    if (e == nullptr || e->window == nullptr) return nullptr;
    auto takes = [](const gElement* w) {
        return w->font != nullptr && w->glyphList != nullptr && w->enabled && w->shown && !w->dead;
    };
    for (gElement* w = e->next; w != nullptr; w = w->next) {
        if (takes(w)) return w;
    }
    for (gElement* w = e->window->widgets.head; w != nullptr; w = w->next) {
        if (takes(w)) return w == e ? nullptr : w;
    }
    return nullptr;
}

void gWgtMark(gElement* e) {
    if (e == nullptr || e->enabled) return;
    e->enabled = 1;
    gWgtQueueRedraw(e);
}

void gWgtUnmark(gElement* e) {
    if (e == nullptr || !e->enabled) return;
    e->enabled = 0;
    gWgtQueueRedraw(e);
}

void gWgtMoveTo(gElement* e, float width, float height) {
    if (e == nullptr) return;
    e->width += width - e->cellWidth;
    e->height += height - e->cellHeight;
    e->cellWidth = width;
    e->cellHeight = height;
}

void gSetColorSet(const float colours[12]) {
    if (colours != nullptr) std::memcpy(gColorSetValues, colours, sizeof gColorSetValues);
}
const float* gColorSetFloats() { return gColorSetValues; }

void gWgtToggleLinked(gElement* e, uintptr_t) {
    if (e == nullptr || e->prevChild == nullptr) return;
    gElement* target = e->prevChild;
    uint8_t show = e->value == 0 ? 1 : 0;
    if (target->shown == show) return;
    target->shown = show;
    gWgtRedrawState(target, 7);
}

// ---- Removal --------------------------------------------------------------------------------

void gWgtLeaveRow(gElement* e) {
    if (e == nullptr) return;
    gWindow* window = e->window;
    if (window != nullptr && window->layout != nullptr) {
        gLayout* layout = window->layout;
        if (!layout->queue.empty()) {
            layout->queue.clear();
            if (e->shown && !e->dead) window->dirty = 7;
        }
        if (window->defaultButton == e) window->defaultButton = nullptr;
        if (window->statusWidget == e) window->statusWidget = nullptr;
        if (layout->table.currentContainer == e || layout->table.lastTop == e) {
            layout->table.currentContainer = layout->table.lastTop = nullptr;
        }
    }
    gRow* row = e->row;
    if (row == nullptr) return;
    gElement* before = nullptr;
    for (gElement* w = row->first; w != nullptr && w != e; w = w->rowNext) before = w;
    if (before != nullptr) before->rowNext = e->rowNext;
    if (row->first == e) {
        row->first = e->rowNext;
        for (gElement* w = row->first; w != nullptr; w = w->rowNext) w->rowFirst = row->first;
    }
    if (row->last == e) row->last = before;
    e->row = nullptr;
    e->rowNext = e->rowFirst = nullptr;
}

void gWgtLinkAfter(gElement* e, gElement* anchor) {
    if (e == nullptr || e->window == nullptr || e->prevChild != nullptr || gWinValidate(e->window) == nullptr) return;
    if (anchor != nullptr && (anchor->window != e->window || anchor->prevChild != nullptr)) return;
    e->prev = e->next = nullptr;
    LinkTop(e->window, e, anchor, false);
}

void gWgtExchange(gElement* a, gElement* b) {
    if (a == nullptr || b == nullptr || a->window == nullptr || a->window != b->window) return;
    if (a->window->layout == nullptr) return;
    gListExchange<gElement, &gElement::next, &gElement::prev>(a->window->widgets.head, a->window->layout->lastWidget,
                                                              a, b);
}

void gWgtUnlink(gElement* e) {
    if (e == nullptr || e->prevChild != nullptr) return;
    gWgtLeaveRow(e);
    UnlinkTop(e);
}

void gWgtDestroy(gElement* e) {
    if (e == nullptr || !gWgtIsLive(e)) return;
    if (e->prevChild != nullptr) {
        // Cut the container's list before it; it and every child after it go.
        e->prevChild->nextChild = nullptr;
        gElement* child = e;
        while (child != nullptr) {
            gElement* following = child->nextChild;
            gWgtLeaveRow(child);
            child->nextChild = nullptr;
            child->prevChild = nullptr;
            delete child;
            child = following;
        }
        return;
    }
    UnlinkTop(e);
    delete e;
}

void gWgtRemove(gElement* e, bool leaveRow) {
    if (e == nullptr || !gWgtIsLive(e)) return;
    if (leaveRow) gWgtLeaveRow(e);
    if (e->prevChild == nullptr) UnlinkTop(e);
    gWgtDestroy(e);
}

void gWgtRemoveAll(gElement* first, gElement* last) {
    if (first == nullptr || !gWgtIsLive(first)) return;
    if (gWindow* window = first->window; window != nullptr && window->layout != nullptr) {
        window->layout->queue.clear();
        window->dirty = 7;
    }
    gElement* e = first;
    while (e != nullptr) {
        gElement* following = e == last ? nullptr : e->next;
        gWgtRemove(e, true);
        e = following;
    }
}

bool gWgtRemoveMatching(gElement* first, gElement* last) {
    if (first == nullptr || last == nullptr || !gWgtIsLive(first) || !gWgtIsLive(last)) return false;
    if (first->prevChild != nullptr || last->prevChild != nullptr || first->window != last->window) return false;
    gWindow* window = first->window;
    if (window == nullptr || window->layout == nullptr) return false;
    // The run stays linked in itself; its widgets then leave their rows.
    if (!UnlinkRun(window, first, last)) return false;
    int count = 0;
    for (gElement* e = first; e != nullptr; e = e->next) {
        gWgtLeaveRow(e);
        ++count;
    }
    window->widgets.count -= std::min(window->widgets.count, count);
    return true;
}

void gWinReleaseWidgets(gWindow* window) {
    if (window == nullptr || window->layout == nullptr) return;
    gLayout* layout = window->layout;
    layout->queue.clear();
    gElement* e = window->widgets.head;
    window->widgets.head = nullptr;
    layout->lastWidget = nullptr;
    window->widgets.count = 0;
    while (e != nullptr) {
        gElement* following = e->next;
        e->prev = e->next = nullptr;
        e->row = nullptr;
        delete e;
        e = following;
    }
    gWinFreeLayout(window);
}

}  // namespace orva
