// The painters of the "Default" skin.
#include "toolkit/painters.h"

#include <GL/gl.h>

#include <algorithm>
#include <vector>

#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

bool gPicking = false;

// The orientation of the shape being drawn, applied to every vertex in software (a
// matrix change per widget would cost a flush of the immediate-mode buffer).
struct Mirror {
    float sumX = 0, sumY = 0;
    bool x = false, y = false;
};
Mirror gMirror;

// Shading: gradients need smooth shading; everything else is drawn in primitives of
// one colour, which look the same under either model. Within a paint pass the model
// stays smooth once set (each change flushes the immediate-mode buffer); the pass
// ends flat. Outside a pass every painter leaves flat shading behind.
bool gSmooth = false;
bool gInPass = false;

void EnsureSmooth() {
    if (!gSmooth) {
        glShadeModel(GL_SMOOTH);
        gSmooth = true;
    }
}

void RestoreFlat() {
    if (gSmooth && !gInPass) {
        glShadeModel(GL_FLAT);
        gSmooth = false;
    }
}

inline void V(float x, float y) {
    glVertex2f(gMirror.x ? gMirror.sumX - x : x, gMirror.y ? gMirror.sumY - y : y);
}

using Rgb = const uint8_t*;

Rgb Back(const gElement* e, int k) { return e->window->colours.backShades[std::clamp(k, 0, 10)]; }
Rgb Wid(const gElement* e, int k) { return e->window->colours.widgetShades[std::clamp(k, 0, 10)]; }
void Colour(Rgb c) { glColor3bv(reinterpret_cast<const GLbyte*>(c)); }
void Literal(uint32_t word) {
    glColor3b(static_cast<GLbyte>(word & 0x7F), static_cast<GLbyte>((word >> 8) & 0x7F),
              static_cast<GLbyte>((word >> 16) & 0x7F));
}

struct Box {
    float x0, y0, x1, y1;
};

Box Cell(const gElement* e) { return {e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight}; }

// Picking: the whole cell in the current name; true when that is all there is to do.
bool PickOnly(const gElement* e) {
    // Text of earlier widgets still waiting in the pass's batch goes first where this
    // widget will draw over it.
    gTextBatchGuard(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
    if (!gPicking) return false;
    gPickRect(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
    return true;
}

// The ring between the rectangle inset by `in` and the one inset by `in + 1`: P on the
// edges at x0 and y1, Q on the edges at x1 and y0, the corners split on the diagonals.
// Each edge is a quad of one colour, so the ring looks the same under either shading.
void Ring(const Box& b, float in, Rgb p, Rgb q) {
    float o = in, i = in + 1.0f;
    glBegin(GL_QUADS);
    Colour(p);
    V(b.x0 + i, b.y0 + i);
    V(b.x0 + o, b.y0 + o);
    V(b.x0 + o, b.y1 - o);
    V(b.x0 + i, b.y1 - i);
    V(b.x0 + i, b.y1 - i);
    V(b.x0 + o, b.y1 - o);
    V(b.x1 - o, b.y1 - o);
    V(b.x1 - i, b.y1 - i);
    Colour(q);
    V(b.x1 - i, b.y1 - i);
    V(b.x1 - o, b.y1 - o);
    V(b.x1 - o, b.y0 + o);
    V(b.x1 - i, b.y0 + i);
    V(b.x1 - i, b.y0 + i);
    V(b.x1 - o, b.y0 + o);
    V(b.x0 + o, b.y0 + o);
    V(b.x0 + i, b.y0 + i);
    glEnd();
}

// Smooth quad, colours in the order (x0, y0), (x0, y1), (x1, y1), (x1, y0).
void SmoothQuad(const Box& b, Rgb c0, Rgb c1, Rgb c2, Rgb c3) {
    EnsureSmooth();
    glBegin(GL_QUADS);
    Colour(c0);
    V(b.x0, b.y0);
    Colour(c1);
    V(b.x0, b.y1);
    Colour(c2);
    V(b.x1, b.y1);
    Colour(c3);
    V(b.x1, b.y0);
    glEnd();
}

// The panel rim: the outer ring drawn smooth, colours blending between its vertices.
void Rim(const Box& b, Rgb p, Rgb q) {
    EnsureSmooth();
    glBegin(GL_QUAD_STRIP);
    Colour(p);
    V(b.x0 + 1, b.y0 + 1);
    V(b.x0, b.y0);
    V(b.x0 + 1, b.y1 - 1);
    V(b.x0, b.y1);
    Colour(q);
    V(b.x1 - 1, b.y1 - 1);
    V(b.x1, b.y1);
    V(b.x1 - 1, b.y0 + 1);
    Colour(p);
    V(b.x1, b.y0);
    V(b.x0 + 1, b.y0 + 1);
    V(b.x0, b.y0);
    glEnd();
}

Box Inset(const Box& b, float d) { return {b.x0 + d, b.y0 + d, b.x1 - d, b.y1 - d}; }


// Mirrors the drawing of a box by the widget's slot until Unorient.
void Orient(const gElement* e, const Box& b) {
    int sx = 1, sy = 1;
    gSlotMirror(e->style, &sx, &sy);
    gMirror.x = sx < 0;
    gMirror.y = sy < 0;
    gMirror.sumX = b.x0 + b.x1;
    gMirror.sumY = b.y0 + b.y1;
}

void Unorient() {
    gMirror = Mirror{};
    RestoreFlat();
}

// A rectangle through the orientation.
void Rect(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    V(x0, y0);
    V(x0, y1);
    V(x1, y1);
    V(x1, y0);
    glEnd();
}

void Fill(const Box& b) { Rect(b.x0, b.y0, b.x1, b.y1); }

bool HasText(const gElement* e) {
    if (e->text.empty() || e->font == nullptr) return false;
    const gTextOps& ops = gTextHooks();
    return ops.hasLists == nullptr || ops.hasLists(e->font);
}

// The selection of an edit field over its visible characters (frame coordinates).
bool SelectionBox(const gElement* e, Box* box) {
    const gEditState* s = e->glyphList != nullptr ? gWgtEdit(e) : nullptr;
    if (s == nullptr || s->selection == 0) return false;
    gTextRun run = gWgtVisibleText(e);
    const int32_t first = static_cast<int32_t>(run.text - e->text.c_str());
    const int32_t len = static_cast<int32_t>(e->text.size());
    int32_t a = std::clamp(s->caret, 0, len), b = std::clamp(s->caret + s->selection, 0, len);
    a = std::clamp(std::min(a, b), first, first + run.count) - first;
    b = std::clamp(std::max(s->caret, s->caret + s->selection), first, first + run.count) - first;
    // Screen distances from the cell's left edge; right slots run the frame x leftwards.
    float u0 = e->textOffsetX + gFontTextWidthN(e->font, run.text, a);
    float u1 = e->textOffsetX + gFontTextWidthN(e->font, run.text, b);
    if (!(u1 > u0)) return false;
    int slot = gSlotIndex(e->style);
    if (slot == 1 || slot == 3) {
        *box = {e->x + e->cellWidth - u1, e->y + 1, e->x + e->cellWidth - u0, e->y + e->cellHeight - 1};
    } else {
        *box = {e->x + u0, e->y + 1, e->x + u1, e->y + e->cellHeight - 1};
    }
    return true;
}

void TextEngraved(gElement* e) {
    const gTextOps& ops = gTextHooks();
    if (ops.drawEngraved != nullptr) ops.drawEngraved(e); else if (ops.draw != nullptr) ops.draw(e);
}

// The text of a button: the shade while enabled, the literal colour with 0x400.
void ButtonText(gElement* e, int shade) {
    if (!HasText(e)) return;
    if (e->textAlign & 0x400) {
        Literal(e->value ? e->textColor2 : e->textColor);
        if (gTextHooks().draw != nullptr) gTextHooks().draw(e);
        return;
    }
    if (e->enabled) Colour(Wid(e, shade));
    TextEngraved(e);
}

uint32_t FaceColour(const gElement* e, int mode) {
    if (mode == 3) return e->color2;
    if (mode == 2 && e->highlight) return e->color2;
    return e->color1;
}

void ButtonLikeFace(gElement* e, int mode, const Box& face) {
    Orient(e, face);
    gColorShades(e->window, FaceColour(e, mode));
    Box in = Inset(face, 1);
    if (mode == 2) {
        SmoothQuad(face, Wid(e, 2), Wid(e, 0), Wid(e, 0), Wid(e, 1));
        Ring(face, 1, Wid(e, 0), Wid(e, 3));
    } else if (mode == 3) {
        int b = e->highlight ? 2 : 1;
        SmoothQuad(in, Wid(e, b + 4), Wid(e, b), Wid(e, b + 1), Wid(e, b + 3));
        Ring(face, 1, Wid(e, b), Wid(e, b + 3));
    } else {
        SmoothQuad(in, Wid(e, 4), Wid(e, 6), Wid(e, 4), Wid(e, 3));
        if (e->highlight) Ring(face, 1, Wid(e, 6), Wid(e, 2));
    }
    Ring(face, 0, Back(e, 2), Back(e, 2));
    Unorient();
}

void FaceByWidth(gElement* e, int mode) {
    if (e->cellWidth < 50.0f) gPaintButtonFace(e, mode); else gPaintButtonFaceWide(e, mode);
}

void RaisedOrSunken(gElement* e, bool raised, bool fill, int64_t fillColour) {
    if (PickOnly(e)) return;
    Box b = Cell(e);
    int v = e->value ? 1 : 0;
    int h = e->highlight ? 1 : 0;
    Rgb a, q;
    if (raised) {
        a = Back(e, 6 + h + v);
        q = Back(e, 2 - h - v);
    } else {
        a = Back(e, 2 - h - v);
        q = Back(e, 5 + h + v);
        Orient(e, b);
    }
    Ring(b, 0, a, q);
    if (fill) {
        if (fillColour >= 0) {
            gColorSet(e->window, static_cast<uint32_t>(fillColour));
        } else if (raised) {
            Colour(Back(e, fillColour == -1 ? 5 + v : 4 + v));
        } else {
            Colour(Back(e, fillColour == -1 ? 4 + v : 5));
        }
        Fill(Inset(b, 1));
    }
    if (!raised) Unorient();
}

}  // namespace

void gSetPicking(bool picking) { gPicking = picking; }

void gPaintersBeginPass() {
    gInPass = true;
    gTextBatchBegin();
}

void gPaintersFlat() {
    gTextBatchFlush();  // a foreign paint function follows: waiting text goes first
    if (gSmooth) {
        glShadeModel(GL_FLAT);
        gSmooth = false;
    }
}

bool gIsSkinPainter(void (*paint)(gElement*)) {
    static const std::vector<gPaintFn> painters = [] {
        std::vector<gPaintFn> list;
        for (int kind = 0; kind <= 60; ++kind) {
            const gStyleRecord* record = gSkinGet()->StyleForKind(kind);
            if (record != nullptr && std::find(list.begin(), list.end(), record->painter) == list.end()) {
                list.push_back(record->painter);
            }
        }
        return list;
    }();
    return paint != nullptr && std::find(painters.begin(), painters.end(), paint) != painters.end();
}

void gPaintersEndPass() {
    gInPass = false;
    gTextBatchEnd();
    gPaintersFlat();
}
bool gIsPicking() { return gPicking; }

void gPickRect(float x0, float y0, float x1, float y1) {
    const float corners[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, corners);
    glDrawArrays(GL_QUADS, 0, 4);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void gSlotMirror(uint32_t style, int* signX, int* signY) {
    uint32_t slot = style & kWsSlotBits;
    *signX = *signY = 1;
    if (slot == 0) return;
    if (slot >= kWsBottom) {
        if (slot & kWsRight) *signX = -1;
    } else if (slot & kWsLeft) {
        *signY = -1;
    } else {
        *signX = *signY = -1;
    }
}

float gTwoStateMarkX(float cellWidth, float advance, bool withText) {
    if (withText) return std::max(0.0f, cellWidth - (advance + 4.0f));
    return (cellWidth - advance) * 0.5f;
}

// ---- Frames -------------------------------------------------------------------------------

void gPaintRaisedFrame(gElement* e, bool fill, int64_t fillColour) { RaisedOrSunken(e, true, fill, fillColour); }
void gPaintSunkenFrame(gElement* e, bool fill, int64_t fillColour) { RaisedOrSunken(e, false, fill, fillColour); }

void gPaintEdgeFrame(gElement* e) {
    if (PickOnly(e)) return;
    Box b = Cell(e);
    Orient(e, b);
    Ring(b, 0, Back(e, 2), Back(e, 5));
    Unorient();
}

void gPaintSunkenPlain(gElement* e) { gPaintSunkenFrame(e, true, -2); }
void gPaintRaisedPlain(gElement* e) { gPaintRaisedFrame(e, true, -2); }
void gPaintRaisedLight(gElement* e) { gPaintRaisedFrame(e, true, -1); }
void gPaintSunkenColour(gElement* e) { gPaintSunkenFrame(e, true, e->color1); }
void gPaintRaisedColour(gElement* e) { gPaintRaisedFrame(e, true, e->color1); }
void gPaintSunkenToggle(gElement* e) { gPaintSunkenFrame(e, true, e->highlight ? e->color2 : e->color1); }
void gPaintRaisedToggle(gElement* e) { gPaintRaisedFrame(e, true, e->highlight ? e->color2 : e->color1); }

// ---- Check box and texts -----------------------------------------------------------------

void gPaintCheckBox(gElement* e) {
    if (PickOnly(e)) return;
    float x = e->x, y = e->y, s = e->width;
    EnsureSmooth();
    glBegin(GL_QUADS);
    Colour(Back(e, 3));
    V(x, y + s);
    Colour(Back(e, 5));
    V(x, y);
    V(x + s, y);
    Colour(Back(e, 3));
    V(x + s, y + s);
    glEnd();
    Colour(Back(e, e->highlight ? 8 : 7));
    if (e->value) {
        glRectf(x + s / 2 - 1, y + 2, x + s / 2 + 1, y + s - 2);
    } else {
        glRectf(x + 2, y + s / 2 - 1, x + s - 2, y + s / 2 + 1);
    }
    RestoreFlat();
}

void gPaintTextOnly(gElement* e) {
    if (PickOnly(e) || !HasText(e)) return;
    Literal(e->textColor);
    if (gTextHooks().drawPlain != nullptr) gTextHooks().drawPlain(e);
}

void gPaintTextOnBack(gElement* e) {
    if (PickOnly(e)) return;
    Colour(Back(e, 4));
    glRectf(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight + 1);
    gPaintTextOnly(e);
}

void gPaintTextOnShade(gElement* e) {
    if (PickOnly(e)) return;
    gColorSet(e->window, e->color2);
    glRectf(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight + 1);
    gPaintTextOnly(e);
}

void gPaintEditField(gElement* e) {
    if (PickOnly(e)) return;
    gPaintSunkenFrame(e, true, -1);
    bool text = HasText(e);
    const gTextOps& ops = gTextHooks();
    Box selection{0, 0, 0, 0};
    bool selecting = false;
    if (text) selecting = SelectionBox(e, &selection);
    if (selecting) {
        glColor3f(0.9f, 0.0f, 0.51f);
        Fill(selection);
    }
    if (!text) return;
    if (e->enabled) Literal(e->textColor); else gColorShades(e->window, e->color2);
    if (ops.draw != nullptr) ops.draw(e);
    if (selecting) {
        gTextBatchFlush();  // the selection inverts the text drawn under it
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
        glColor3f(0.0f, 0.0f, 1.0f);
        Fill(selection);
        glDisable(GL_BLEND);
    }
}

void gPaintFlatEditField(gElement* e, const float back[3], const float selection[3], const uint8_t text[3]) {
    if (PickOnly(e)) return;
    glColor3fv(back);
    glRectf(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight + 1);
    if (!HasText(e)) return;
    Box box{0, 0, 0, 0};
    if (SelectionBox(e, &box)) {
        glColor3fv(selection);
        Fill(box);
    }
    glColor3ub(text[0], text[1], text[2]);
    if (gTextHooks().draw != nullptr) gTextHooks().draw(e);
}

// ---- Faces ----------------------------------------------------------------------------------

void gPaintButtonFace(gElement* e, int mode) { ButtonLikeFace(e, mode, Cell(e)); }

void gPaintDropFace(gElement* e, int mode) {
    ButtonLikeFace(e, mode, Box{e->x, e->y, e->x + e->width + 2, e->y + e->height + 2});
}

void gPaintButtonFaceWide(gElement* e, int mode) {
    Box face = Cell(e);
    Orient(e, face);
    gColorShades(e->window, FaceColour(e, mode));
    Box in = Inset(face, 1);
    int h = e->highlight ? 1 : 0;
    if (mode == 0 || mode == 1) {
        int k = mode == 0 ? h : 0;
        SmoothQuad(in, Wid(e, 2 + k), Wid(e, 4 + k), Wid(e, 4 + k), Wid(e, 2 + k));
        if (e->highlight) Ring(face, 1, Wid(e, 6), Wid(e, 2));
    } else if (mode == 2) {
        SmoothQuad(in, Wid(e, 3), Wid(e, 0), Wid(e, 0), Wid(e, 3));
        Ring(face, 1, Wid(e, 0), Wid(e, 3));
    } else {
        int b = e->highlight ? 2 : 1;
        SmoothQuad(in, Wid(e, b + 3), Wid(e, b), Wid(e, b), Wid(e, b + 3));
        Ring(face, 1, Wid(e, b), Wid(e, b + 3));
    }
    Ring(face, 0, Back(e, 2), Back(e, 2));
    Unorient();
}

void gPaintPanelFace(gElement* e, int mode) {
    Box face = Cell(e);
    Orient(e, face);
    gColorShades(e->window, FaceColour(e, mode));
    int h = e->highlight ? 1 : 0;
    switch (mode) {
        case 0:
        case 1: {
            int k = mode == 0 ? h : 0;
            SmoothQuad(face, Wid(e, 6 + k), Wid(e, 6 + k), Wid(e, 2 + k), Wid(e, 2 + k));
            if (e->highlight) Rim(face, Wid(e, 6), Wid(e, 2));
            break;
        }
        case 2:
            SmoothQuad(face, Wid(e, 1), Wid(e, 1), Wid(e, 0), Wid(e, 0));
            Rim(face, Wid(e, 1), Wid(e, 0));
            break;
        default:
            SmoothQuad(face, Wid(e, 3), Wid(e, 3), Wid(e, 2), Wid(e, 2));
            Rim(face, Wid(e, 3), Wid(e, 2));
            break;
    }
    Unorient();
}

void gPaintFlatFace(gElement* e, int mode) {
    Box face = Cell(e);
    Orient(e, face);
    gColorShades(e->window, FaceColour(e, mode));
    int h = e->highlight ? 1 : 0;
    if (mode == 0 || mode == 1) {
        Colour(Wid(e, 4));
        Fill(Inset(face, 1));
        if (e->highlight) Ring(face, 1, Wid(e, 6), Wid(e, 2));
        Ring(face, 0, Back(e, 2), Wid(e, 5));
    } else if (mode == 2) {
        Colour(Wid(e, 2));
        Fill(Inset(face, 1));
        Ring(face, 1, Wid(e, 1), Wid(e, 1));
        Ring(face, 0, Back(e, 2), Wid(e, 5));
    } else {
        Colour(Wid(e, 4 + h));
        Fill(Inset(face, 1));
        Ring(face, 1, Wid(e, 3 + h), Wid(e, 3 + h));
        Ring(face, 0, Back(e, 2), Wid(e, 7 + h));
    }
    Unorient();
}

// ---- Buttons ---------------------------------------------------------------------------------

void gPaintFaceLabel(gElement* e) {
    if (PickOnly(e)) return;
    gPaintButtonFace(e, 0);
    ButtonText(e, 0);
}

void gPaintPanelLabel(gElement* e) {
    if (PickOnly(e)) return;
    gPaintPanelFace(e, 0);
    ButtonText(e, e->value ? 7 : 8);
}

void gPaintButton(gElement* e) {
    if (PickOnly(e)) return;
    FaceByWidth(e, e->value ? 2 : 0);
    ButtonText(e, e->value ? 7 : 8);
}

void gPaintButtonTwoState(gElement* e) {
    if (PickOnly(e)) return;
    FaceByWidth(e, e->value ? 2 : 0);
    const gTextOps& ops = gTextHooks();
    if (e->font == nullptr || ops.charAdvance == nullptr) return;
    float advance = ops.charAdvance(e->font, 2);
    float glyphHeight = ops.charHeight != nullptr ? ops.charHeight(e->font, 2) : 0.0f;
    if (e->cellWidth <= advance) return;
    bool literal = (e->textAlign & 0x400) != 0;
    auto colour = [&] {
        if (literal) {
            Literal(e->value ? e->textColor2 : e->textColor);
        } else if (e->enabled) {
            Colour(Wid(e, e->value ? 7 : 8));
        }
    };
    bool withText = HasText(e);
    if (withText) {
        colour();
        if (literal) {
            if (ops.draw != nullptr) ops.draw(e);
        } else {
            TextEngraved(e);
        }
    }
    float markX = gTwoStateMarkX(e->cellWidth, advance, withText);
    float markY = (e->cellHeight - glyphHeight) * 0.5f;
    colour();
    if (ops.drawChar != nullptr) ops.drawChar(e, 2, markX, markY);
}

void gPaintButtonMark(gElement* e) {
    if (PickOnly(e)) return;
    FaceByWidth(e, e->value ? 3 : 1);
    ButtonText(e, 8);
}

void gPaintButtonFlat(gElement* e) {
    if (PickOnly(e)) return;
    gPaintFlatFace(e, e->value ? 2 : 0);
    ButtonText(e, e->value ? 7 : 8);
}

void gPaintDropButton(gElement* e) {
    if (PickOnly(e)) return;
    gPaintDropFace(e, e->value ? 3 : 1);
    const gTextOps& ops = gTextHooks();
    if (e->value && e->font != nullptr && ops.drawChar != nullptr) {
        if (e->textAlign & 0x400) Literal(e->textColor2); else Colour(Wid(e, 8));
        ops.drawChar(e, 22, 4, 5);
    }
    if (!HasText(e)) return;
    if (e->enabled) Colour(Back(e, 10));
    TextEngraved(e);
}

void gPaintPanelButton(gElement* e) {
    if (PickOnly(e)) return;
    gPaintPanelFace(e, e->value ? 2 : 0);
    ButtonText(e, e->value ? 7 : 8);
}

void gPaintPanelButtonMark(gElement* e) {
    if (PickOnly(e)) return;
    gPaintPanelFace(e, e->value ? 3 : 1);
    ButtonText(e, 8);
}

void gPaintPanelButtonAlt(gElement* e) { gPaintPanelButton(e); }

}  // namespace orva
