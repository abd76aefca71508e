#pragma once
// The painters of the "Default" skin: one function per widget kind, drawing the
// widget's cell with GL 1.1 immediate mode in its window's current projection, colours
// from the window's shade tables or the widget's colour words. They hold no state,
// allocate nothing, and leave flat shading and the matrix as they found them.
#include <cstdint>

namespace orva {

struct gElement;

// Frames; fill colour: >= 0 literal colour word, -1 and other negatives pick shades.
void gPaintRaisedFrame(gElement* e, bool fill, int64_t fillColour);
void gPaintSunkenFrame(gElement* e, bool fill, int64_t fillColour);
void gPaintEdgeFrame(gElement* e);

// Faces of buttons, mode 0..3.
void gPaintButtonFace(gElement* e, int mode);
void gPaintButtonFaceWide(gElement* e, int mode);
void gPaintDropFace(gElement* e, int mode);
void gPaintPanelFace(gElement* e, int mode);
void gPaintFlatFace(gElement* e, int mode);

// The painters the style records name.
void gPaintCheckBox(gElement* e);
void gPaintTextOnly(gElement* e);
void gPaintTextOnBack(gElement* e);
void gPaintTextOnShade(gElement* e);
void gPaintEditField(gElement* e);
// An edit field on a flat background of the given colour, its selection and its text in
// the given colours, whatever the window's own colours (a field standing over a picture).
void gPaintFlatEditField(gElement* e, const float back[3], const float selection[3], const uint8_t text[3]);
void gPaintSunkenPlain(gElement* e);
void gPaintRaisedPlain(gElement* e);
void gPaintFaceLabel(gElement* e);
void gPaintPanelLabel(gElement* e);
void gPaintRaisedLight(gElement* e);
void gPaintSunkenColour(gElement* e);
void gPaintRaisedColour(gElement* e);
void gPaintSunkenToggle(gElement* e);
void gPaintRaisedToggle(gElement* e);
void gPaintButton(gElement* e);
void gPaintButtonTwoState(gElement* e);
void gPaintButtonMark(gElement* e);
void gPaintButtonFlat(gElement* e);
void gPaintDropButton(gElement* e);
void gPaintPanelButton(gElement* e);
void gPaintPanelButtonMark(gElement* e);
void gPaintPanelButtonAlt(gElement* e);

// The selection-mode pass of picking: every painter then fills only its cell.
void gSetPicking(bool picking);
bool gIsPicking();
// Fills a rectangle in the selection pass, as glRectf does. The corners go from a client
// array: the software renderer keeps a reference to its immediate-mode vertex buffer
// for every selection-mode draw made from it and never drops it, so each pick fed that
// way would hold half a megabyte for the life of the program once the buffer is renewed.
void gPickRect(float x0, float y0, float x1, float y1);

// A paint pass over many widgets: the skin's painters may leave smooth shading on
// between them (every gradient they draw sets it, everything else they draw is in one
// colour per primitive); gPaintersFlat restores flat shading before a foreign paint
// function, gPaintersEndPass at the end.
void gPaintersBeginPass();
void gPaintersFlat();
void gPaintersEndPass();
// True for the painters the built-in skin's style records name.
bool gIsSkinPainter(void (*paint)(gElement*));

// The orientation of a slot (mirror in x, in y, both, or none) as a 2x2 sign pair;
// exposed for tests.
void gSlotMirror(uint32_t style, int* signX, int* signY);
// Where gPaintButtonTwoState puts its mark along x (advance a of the mark character).
float gTwoStateMarkX(float cellWidth, float advance, bool withText);

}  // namespace orva
