#pragma once
// Widgets: the element record every visible thing in a toolkit window is, the
// descriptor widgets are built from, creation through the skin's part lists, the
// window's widget chain and the child lists of containers, validity, focus order,
// handler setters and destruction. UI thread only.
#include <cstdint>
#include <string>

#include "platform/msg_types.h"
#include "toolkit/skin.h"
#include "toolkit/window.h"

namespace orva {

struct gRow;
struct gSlotTable;

constexpr uint32_t kElementTag = 0x48504C47u;  // "GLPH" in memory order
constexpr uint32_t kGroupTag = 0x50524747u;    // "GGRP"

// Style bits.
constexpr uint32_t kWsNewRow = 0x40;
constexpr uint32_t kWsSlotFromWindow = 0x1000;
constexpr uint32_t kWsNoSlot = 0x2000;
constexpr uint32_t kWsLeft = 0x4000, kWsCentre = 0x8000, kWsRight = 0x10000;
constexpr uint32_t kWsTop = 0x20000, kWsMiddle = 0x40000, kWsBottom = 0x80000;
constexpr uint32_t kTopLeft = kWsLeft | kWsTop;
constexpr uint32_t kWsSlotBits = 0xFC000;
constexpr uint32_t kWsReadOnly = 0x100000;
constexpr uint32_t kWsFitRow = 0x800000;
constexpr uint32_t kWsAfter = 0x1000000, kWsBefore = 0x2000000;
constexpr uint32_t kWsTopLevel = 0x4000000;
constexpr uint32_t kWsNoPlace = 0x40000000;
// Placed widgets only: the click handler runs at the press, not at the release.
constexpr uint32_t kWsClickAtPress = 0x20000000;

constexpr int kMaxParts = 1024;

// A widget's text as drawn (edit lines): owned by the text layout; the layout shifts
// x and y with the widget. x, y: the baseline start of the first visible character in
// the slot frame; the offsets are extra shifts along the frame's axes. A list without
// a draw function is switched off.
struct gGlyphList {
    void (*draw)(gGlyphList* list, gElement* owner) = nullptr;
    float x = 0, y = 0, width = 0, offsetX = 0, offsetY = 0;
    float height = 0;         // the line box
    int32_t first = 0;        // first visible character of the owner's text
    int32_t count = 0;        // characters drawn from it
    float firstX = 0;         // where the first visible character lies in the whole text
    uint8_t cut = 0;          // 1: "..." follows
    uint32_t selectionStart = 0, selectionLength = 0;
};

struct gElement {
    gElement();
    virtual ~gElement();
    gElement(const gElement&) = delete;
    gElement& operator=(const gElement&) = delete;

    uint32_t tag = kElementTag;
    gElement* next = nullptr;
    gElement* prev = nullptr;
    uint32_t dragFlags = 0;
    // The eight state bytes.
    uint8_t state0 = 0, active = 0, partial = 0, enabled = 0, shown = 0, dead = 0, state6 = 0, state7 = 0;
    uint8_t highlight = 0;  // 1 while the cursor is over the widget
    uint32_t serial = 0;
    uint32_t value = 0;
    uint32_t style = 0;
    float x = 0, y = 0, cellWidth = 0, cellHeight = 0, placedX = 0, placedY = 0;
    float width = 0, height = 0, homeX = 0, homeY = 0;
    gPaintFn paint = nullptr;
    void (*onDrag)(gElement*, const pf::Point*) = nullptr;
    bool (*onTrack)(gElement*, const pf::Point*) = nullptr;
    void (*onMoved)(gElement*) = nullptr;
    void (*onHover)(gElement*, const pf::Point*) = nullptr;
    bool (*onPress)(gElement*, uintptr_t) = nullptr;
    void (*onClick)(gElement*, uintptr_t) = nullptr;
    void (*onChange)(gElement*, uintptr_t) = nullptr;
    void (*onWheel)(gElement*, int delta, int keys) = nullptr;
    uintptr_t handlerData = 0;
    gElement* nextChild = nullptr;
    gElement* prevChild = nullptr;   // set only for children
    gElement* container = nullptr;   // the element itself for a top-level widget
    gWindow* window = nullptr;
    pf::Cursor cursor = nullptr, defaultCursor = nullptr;
    gPaintFn paintImpl = nullptr;
    gElement* rowFirst = nullptr;
    gElement* rowNext = nullptr;
    uint8_t initiallyShown = 0;
    gRow* row = nullptr;
    gSlotTable* slotTable = nullptr;
    uint32_t color1 = 0, color2 = 0;
    float textOffsetX = 0, textOffsetY = 0;
    uint32_t color1Saved = 0, color2Saved = 0;
    std::string text;
    int32_t textFirst = 0;    // first visible character (text layout)
    int32_t textShown = -1;   // characters shown from it; -1: never laid out, all shown
    uint8_t textCut = 0;      // 1: "..." follows the shown characters
    uint32_t textColor = 0, textColor2 = 0;   // literal text colours (alignment 0x400)
    int32_t textLimit = 256;
    uint32_t textAlign = 0;
    float textMarginX = 0, textMarginY = 0;
    uint32_t baseColor = 0;
    int32_t kind = 0;
    uint32_t destroyArmed = 0;
    void (*onDestroy)(gElement*) = nullptr;
    void (*releaseData)(uintptr_t) = nullptr;
    gFont* font = nullptr;
    gGlyphList* glyphList = nullptr;
    gPainterFn painter = nullptr;
    uint32_t extraPair[2] = {0, 0};   // the skin's extra words (edit fields)
};

// A layout group: a group widget holding rows of elements in one corner slot.
struct gGroup : gElement {
    gGroup();
    ~gGroup() override;
    uint8_t isGroup = 1;
    uint32_t align = 10;
    float marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
    float gapX = 2.0f, gapY = 2.0f;
    uint32_t page = 0;
    gRow* rowsHead = nullptr;   // rows chained through gRow::nextRow
    gRow* rowsTail = nullptr;
    gRow* openRow = nullptr;
    const float* reference = nullptr;   // width and height the group fits against
    uint32_t rowAlign = 0x8000;
    float rowMarginLeft = 0, rowMarginTop = 0, rowPadRight = 0, rowPadBottom = 0;
    int32_t rowOriginX = 0, rowOriginY = 0;
    uint8_t arranged = 0;
    uint8_t keep = 0;           // a kept group is never destroyed by a release
    int32_t refCount = 1;
    struct gSlotList* slot = nullptr;
    gGroup* nextGroup = nullptr;
    gGroup* prevGroup = nullptr;
};

struct gRow {
    gElement* first = nullptr;
    gElement* last = nullptr;
    float x = 0, y = 0, outerWidth = 0, outerHeight = 0, contentWidth = 0, contentHeight = 0;
    float marginLeft = 0, marginTop = 0, padRight = 0, padBottom = 0;
    uint32_t align = 0;        // the row alignment
    uint32_t groupAlign = 0;   // the group's alignment when the row was opened
    gRow* nextRow = nullptr;
};

// A widget descriptor (25 words).
struct WidgetDesc {
    int32_t kind = 0;
    uint32_t style = 0;
    float width = -1.0f, height = -1.0f;
    float offsetX = 0, offsetY = 0;
    float cellWidth = 0, cellHeight = 0;
    uint32_t color1 = kColourInherit, color2 = kColourInherit;
    const char* text = nullptr;
    gPaintFn paint = nullptr;
    void (*onClick)(gElement*, uintptr_t) = nullptr;
    void (*onDrag)(gElement*, const pf::Point*) = nullptr;
    uint32_t textAlign = 0;
    float textMarginX = 0, textMarginY = 0;
    void (*onDestroy)(gElement*) = nullptr;
    uint32_t state[3] = {0, 0, 0};   // drag flags, then the eight state bytes
    uint32_t cursor = 0;
    uint32_t unused = 0;
    bool (*onPress)(gElement*, uintptr_t) = nullptr;
    gPainterFn painter = nullptr;
    // Scale factors of width, height and the cell (applied when positive and not 1).
    float scaleX = 1.0f, scaleY = 1.0f;
};
// The "none" value of the click and press handler words.
extern void (*const kNoClick)(gElement*, uintptr_t);
extern bool (*const kNoPress)(gElement*, uintptr_t);
extern const gPaintFn kNoPaint;

// The template gWgtAdd reads: the word 1, then the first 18 words of a descriptor.
struct gWgtTemplate {
    int32_t one = 1;
    WidgetDesc desc;
};

// The text services widgets and painters use (measuring and drawing with a font).
// The font layer fills them; an empty entry measures 0 and draws nothing.
struct gTextOps {
    float (*width)(gFont* font, const char* text) = nullptr;
    float (*lineHeight)(gFont* font) = nullptr;
    bool (*hasLists)(gFont* font) = nullptr;
    float (*charAdvance)(gFont* font, int character) = nullptr;
    float (*charHeight)(gFont* font, int character) = nullptr;
    void (*draw)(gElement* e) = nullptr;           // gTextDraw
    void (*drawPlain)(gElement* e) = nullptr;      // gTextDrawPlain
    void (*drawEngraved)(gElement* e) = nullptr;   // gTextDrawEngraved
    void (*drawChar)(gElement* e, int character, float x, float y) = nullptr;
    void (*layout)(gElement* e) = nullptr;         // lays the text out (glyph list)
    void (*freeGlyphs)(gElement* e) = nullptr;     // frees the glyph list
    void (*addRef)(gFont* font) = nullptr;
    void (*release)(gFont* font) = nullptr;
};
gTextOps& gTextHooks();
// Fills the text services from the font layer (when still empty).
void gWidgetTextInstall();

// ---- Normalisation -----------------------------------------------------------------
uint32_t gWgtNormStyle(uint32_t style);
uint32_t gWgtNormSlot(uint32_t style);    // the slot bits alone, normalised
uint32_t gWgtNormTextAlign(uint32_t align);

// ---- Creation ----------------------------------------------------------------------
gElement* gWgtAdd(gWindow* window, gElement* reference, const gWgtTemplate* tmpl, uint32_t style);
gElement* gWgtCreate(gWindow* window, gElement* layoutElement, gElement* reference, WidgetDesc* desc,
                     uint32_t style);
gElement* gWgtAddSubPanel(gElement* reference, WidgetDesc* desc, uint32_t style);
// Shows the linked element of a child when its value is 0, hides it otherwise.
void gWgtToggleLinked(gElement* e, uintptr_t data = 0);

// ---- Validity ------------------------------------------------------------------------
bool gWgtIsLive(const void* pointer);    // allocated and not yet destroyed
bool gWgtValid(const gElement* e);
int gWgtCheck(const gElement* e);
bool __gWgt_check_array(gElement* const* array, int64_t count);

// ---- Current window and font -----------------------------------------------------
void gWgtSelect(gWindow* window, gFont* font);
void gWgtSelectWindow(gWindow* window);
gWindow* gWgtCurrent(gWindow* window);
gWindow* gWinOf(const gElement* e);
gElement* gWinLastWidget(gWindow* window);   // last created top-level widget
gElement* gWinLastInChain(gWindow* window);

// ---- Setters ---------------------------------------------------------------------------
void gWgtSetHandler1(gElement* e, void (*handler)(gElement*, uintptr_t), uintptr_t data);
void gWgtSetHandler2(gElement* e, void (*handler)(gElement*, uintptr_t), uintptr_t data);
void gWgtSetHandler3(gElement* e, void (*handler)(gElement*, uintptr_t), void (*release)(uintptr_t),
                     uintptr_t data);
void gWgtSetTag(gElement* e, void (*handler)(gElement*, const pf::Point*));
void gWgtClearValue(gElement* e);
void gWgtSetFont(gElement* e, gFont* font);
gElement* gWgtNextFocus(gElement* e);
void gWgtMark(gElement* e);
void gWgtUnmark(gElement* e);
void gWgtMoveTo(gElement* e, float width, float height);
void gSetColorSet(const float colours[12]);
const float* gColorSetFloats();

// ---- Chain order -------------------------------------------------------------------------
// Links a top-level widget that is in no chain after `anchor` of its window's chain
// (nullptr: at the chain's end).
void gWgtLinkAfter(gElement* e, gElement* anchor);
// The two top-level widgets of one window's chain exchange places.
void gWgtExchange(gElement* a, gElement* b);

// ---- Removal ---------------------------------------------------------------------------
void gWgtLeaveRow(gElement* e);
void gWgtUnlink(gElement* e);
void gWgtRemove(gElement* e, bool leaveRow);
void gWgtRemoveAll(gElement* first, gElement* last);
bool gWgtRemoveMatching(gElement* first, gElement* last);
void gWgtDestroy(gElement* e);
// Every widget and group of a window (its release).
void gWinReleaseWidgets(gWindow* window);

// Called for every widget that is destroyed (input routing forgets it); at most 8.
void gWgtAddDestroyObserver(void (*observer)(gElement*));

// Installs the widget, layout and painting hooks of the window layer (idempotent; the
// widget builder calls it).
void gWidgetsInstallHooks();

}  // namespace orva
