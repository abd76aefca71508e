#pragma once
// The skin module: one general record (shade values and the caret painter) and one
// style record per widget kind, naming the kind's default style, size, colours and
// painter. The program has one skin, "Default", a static object.
#include <cstddef>
#include <cstdint>

#include "toolkit/gl_colors.h"

namespace orva {

struct gElement;
using gPaintFn = void (*)(gElement*);
using gPainterFn = void (*)(gElement*, int message, intptr_t argument);

// Text placement inside a widget: alignment flags and an inset (the text margin).
struct gTextPlacement {
    uint32_t flags;
    float inset;
    uint32_t reserved[2];
};

// Default size of a kind; -1.0 means automatic (from the text, else the descriptor).
struct gSizeRecord {
    const float* origin;            // x and y offset pair, or null
    uint32_t reserved1;
    const float* padding;           // extra cell size pair, or null
    float width, height;
    const gTextPlacement* text;     // or null
    uint32_t reserved2;
};

// Three words copied into a widget: its drag flags and its eight state bytes.
struct gStateRecord {
    uint32_t words[3];
};

// A record whose fourth word points to a pair the builder copies into the widget and
// whose fifth to seventh words fill further widget fields when non-zero.
struct gExtraRecord {
    uint32_t words[3];
    const uint32_t* pair;
    uint32_t fields[3];
};

struct gStyleRecord {
    int32_t kind;
    uint32_t styleFlags;     // ORed into the style, all bits but the slot bits
    uint32_t textFlags;      // ORed into the text alignment
    uint32_t extraFlags;
    uint32_t slotMask;       // 0xFC000
    const gSizeRecord* size;
    uint32_t colourCount;    // 1 or 2
    uint32_t colour1, colour1Fallback;
    uint32_t colour2, colour2Fallback;
    const gStateRecord* state;
    gPaintFn painter;
    const gExtraRecord* extra;
    uint32_t reserved[2];
};

struct gGeneralRecord {
    const gShadeRecord* shades;
    void (*caretPainter)(float height, bool selecting);
    uint32_t editDefaults[2];
    void* editPointer;
};

class gSkinModule {
public:
    gSkinModule() = default;
    gSkinModule(const gSkinModule&) = delete;
    gSkinModule& operator=(const gSkinModule&) = delete;
    virtual const gGeneralRecord* GeneralRecord() const;
    virtual const gStyleRecord* StyleForKind(int32_t kind) const;
    virtual ~gSkinModule();
    virtual uint64_t Identifier() const;   // "ModGLbrd", first character in the lowest byte
    virtual uint32_t Version() const;      // 0x10000
    virtual const char* Name() const;      // "Default"
    virtual uint32_t Reserved() const;     // 1
};

// A window's own skin object: hands out the parts (style records) of a widget kind
// before the skin module is asked. The toolkit never fills one; the owner keeps it alive.
struct gSkinObject {
    virtual ~gSkinObject() = default;
    // The kind's parts; returns their number (0: none) and stores the array.
    virtual size_t PartsForKind(int32_t kind, const gStyleRecord* const** parts) const = 0;
};

// The built-in skin (never null).
gSkinModule* gSkinGet();

// The caret of an edit field: one pixel wide, `height` high, at the current origin.
void gPaintCaret(float height, bool selecting);

}  // namespace orva
