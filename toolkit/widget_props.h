#pragma once
// What application code changes on a widget after it was built: its colours, its
// position together with its chained widgets, its value, and the paired flag words of
// its window; the size codes and inherited text groups of widget descriptors; and the
// two widget list containers. UI thread only.
#include <cstdint>

#include "toolkit/widget.h"

namespace orva {

// ---- Colours -----------------------------------------------------------------------------
// A widget's colour is color1; color2 is its second word, automatic (derived from the
// first) while its bits 24-27 are 0xE or 0xF; color1Saved and color2Saved are the
// drawing copies; baseColor is the default colour the widget was made with.
bool gColorIsAutomatic(uint32_t colour);
// The second word for `colour` that keeps the darkening or lightening mode of `second`.
uint32_t gColorDerivedShade(uint32_t colour, uint32_t second);
// Sets the colour and its drawing copy.
void gWgtSetColors(gElement* e, uint32_t colour);
// Sets the colour; an automatic second word (and its copy) is derived again.
void gWgtSetColor(gElement* e, uint32_t colour);
// As gWgtSetColor; false (nothing done) when the colour was already set.
bool gWgtChangeColor(gElement* e, uint32_t colour);
// The same with the default colour.
void gWgtDefaultColor(gElement* e);
bool gWgtRestoreColor(gElement* e);

// ---- Moving chains ---------------------------------------------------------------------
// Moves the widget and its child list by (dx, dy): drawn, home and placed positions
// and the drawn text (glyph list) alike. An edit field's box is kept relative to its
// widget and follows by itself.
void gWgtShiftChain(gElement* e, float dx, float dy);
void gWgtShiftChainY(gElement* e, float dy);
// Moves the widget's home to (x, y) (null: the current window's first widget) and its
// chain by the same offset.
void gWgtMoveChain(gElement* e, float x, float y);
void gWgtMoveChainX(gElement* e, float x);
// Replaces the widget's value; returns the old one (0 without a widget).
uint32_t gWgtExchangeParam(gElement* e, uint32_t value);

// ---- Window flag pairs -----------------------------------------------------------------
// The word holds pairs of exclusive flags (bit n of the low byte and of the second
// byte): requesting one clears its partner. Returns the old word.
uint32_t gWinSetStyleBits(uint32_t* word, uint32_t request, bool clear);
// The same on the window's flags word (its read-only mask for new widgets; null: the
// current window). 0 without a window.
uint32_t gWinSetStyleBits(gWindow* window, uint32_t request, bool clear);
// The read-only style bit forced on (A) or off (B) for the window's new widgets and
// remembered as the toolkit default; only kWsReadOnly of `flag` counts.
void gWinSetFlagA(gWindow* window, uint32_t flag);
void gWinSetFlagB(gWindow* window, uint32_t flag);
// The toolkit's two default words (forced on, forced off).
uint32_t* gToolkitForcedDefaults();

// ---- Descriptor size codes --------------------------------------------------------------
constexpr float kSizeDefault = -5.0f;         // the default size of the axis
constexpr float kSizeWidthOfHeight = -3.0f;   // width equal to the height
constexpr float kSizeHeightOfWidth = -2.0f;   // height equal to the width
bool gDescIsSizeCode(float size);

// What a descriptor falls back on for open sizes and empty text groups.
struct gDescDefaults {
    float width = 15.0f, height = 15.0f;
    uint32_t textAlign = 0;
    float textMarginX = 0;
};
gDescDefaults& gDescDefaultsGet();

// Text-alignment groups a descriptor takes from its parent when it leaves them empty.
constexpr uint32_t kTextGroups[] = {0xFC000, 0xC0, 0x30, 0x300, 0xF};
// Fills the empty text groups (and, without 0x40, an empty first margin) from the
// parent descriptor, else from the toolkit defaults.
void gDescInheritText(WidgetDesc* d, const WidgetDesc* parent);
// Resolves the size codes against `defaults` (null: the toolkit's), raises what is not
// positive to 1.0, applies the scale factors and raises the cell to the size.
void gDescResolveSize(WidgetDesc* d, const gDescDefaults* defaults);

// ---- Widget lists -------------------------------------------------------------------------
// Unlinks the run first..last from a {head, tail} list linked through Next and Prev
// when both ends belong to it (first at or before last); the run keeps its inner links.
template <class Node, Node* Node::*Next, Node* Node::*Prev>
bool gListUnlinkRun(Node*& head, Node*& tail, Node* first, Node* last) {
    if (first == nullptr || last == nullptr) return false;
    Node* n = first;
    while (n != nullptr && n != last) n = n->*Next;
    if (n == nullptr) return false;
    // A run that begins at the head or ends at the tail is the list's: the walk back to
    // the head (as long as the list) is left for the others.
    if (first != head && last != tail) {
        Node* start = first;
        while (start->*Prev != nullptr) start = start->*Prev;
        if (start != head) return false;
    }
    if (first->*Prev != nullptr) (first->*Prev)->*Next = last->*Next; else head = last->*Next;
    if (last->*Next != nullptr) (last->*Next)->*Prev = first->*Prev; else tail = first->*Prev;
    first->*Prev = nullptr;
    last->*Next = nullptr;
    return true;
}

// Exchanges the places of two nodes of a {head, tail} list linked through Next and Prev.
template <class Node, Node* Node::*Next, Node* Node::*Prev>
void gListExchange(Node*& head, Node*& tail, Node* a, Node* b) {
    if (a == nullptr || b == nullptr || a == b) return;
    auto join = [&](Node* x, Node* y) {
        if (x != nullptr) x->*Next = y; else head = y;
        if (y != nullptr) y->*Prev = x; else tail = x;
    };
    Node* ap = a->*Prev;
    Node* an = a->*Next;
    Node* bp = b->*Prev;
    Node* bn = b->*Next;
    if (an == b) {
        join(ap, b);
        join(b, a);
        join(a, bn);
    } else if (bn == a) {
        join(bp, a);
        join(a, b);
        join(b, an);
    } else {
        join(ap, b);
        join(b, an);
        join(bp, a);
        join(a, bn);
    }
}

// Groups held by reference (linked through nextGroup/prevGroup); destruction drops one
// reference from each and deletes those whose count was 1 (unless kept).
struct gGroupList {
    virtual ~gGroupList();
    gGroup* head = nullptr;
    int32_t count = 0;
    gGroup* tail = nullptr;
    void Append(gGroup* group);   // takes one reference
};
// Widgets owned by the list (linked through next/prev); destruction deletes them.
struct gOwningList {
    virtual ~gOwningList();
    gElement* head = nullptr;
    int32_t count = 0;
    void Append(gElement* e);
};

}  // namespace orva
