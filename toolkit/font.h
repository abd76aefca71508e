#pragma once
// Fonts as GL display lists: one list per character code 0..255, made in a window's
// context (all contexts share their lists). A font record carries the list base, the
// list type and the metrics of every character, so measuring never goes back to the
// font files. Three sources fill the lists: the built-in 8x13 raster face, system fonts
// (fontconfig + FreeType, monochrome glyphs compiled into glBitmap lists) and outline
// fonts (FreeType outlines tessellated with the GLU tessellator, metrics in em units).
// Texts are 8-bit; codes 128..255 are Windows-1251, except that a well-formed UTF-8
// sequence (a file name as the system gives it) is one character: drawn with the glyph
// of its code point, made on first use from the font's face or the base face, or a
// stand-in box where no face has one. Measuring, fitting and hit testing count bytes
// and always stop at the start of a character. UI thread only.
#include <cstdint>

#include "common/record_tag.h"

namespace orva {

struct gWindow;
struct gFontExtra;  // the glyphs beyond the 8-bit set, made on first use

// ---- Constants ------------------------------------------------------------------------
constexpr int32_t kFontSourceNone = 0;
constexpr int32_t kFontSourceBitmap = 1;   // raster face or system font, bitmap lists
constexpr int32_t kFontSourceOutline = 2;  // outline lists
constexpr int32_t kFontSourceShared = 3;   // lists owned elsewhere, never deleted here

constexpr int32_t kListTypeBitmap = 1;
constexpr int32_t kListTypeOutline = 2;

// Outline metrics are in em units; measuring and drawing scale them by this.
constexpr float kOutlineScale = 12.7f;

constexpr int32_t kDefaultCharset = 204;  // the Cyrillic (Windows-1251) character set

// Face values of a font record: -1 names the face by text; 10..17 are the stock fonts;
// 1..9 and 18 and above are pointers to a gFontFace record.
constexpr intptr_t kFaceByName = -1;
constexpr intptr_t kStockOemFixed = 10;
constexpr intptr_t kStockAnsiFixed = 11;
constexpr intptr_t kStockAnsiVar = 12;       // the fallback stock font
constexpr intptr_t kStockSystem = 13;
constexpr intptr_t kStockDeviceDefault = 14;
constexpr intptr_t kStockNotAFont = 15;      // not a font: treated as 12
constexpr intptr_t kStockSystemFixed = 16;
constexpr intptr_t kStockDefaultGui = 17;

constexpr uint32_t kFontFaceTag = FourCC("GFNT");

// Symbol glyphs of the built-in face.
constexpr uint8_t kGlyphCheck = 0;         // check mark of menu items
constexpr uint8_t kGlyphTwoState = 2;      // mark of two-state buttons
constexpr uint8_t kGlyphDropMarker = 3;    // small downward triangle
constexpr uint8_t kGlyphSubmenu = 4;       // submenu arrow
constexpr uint8_t kGlyphDropButton = 22;   // mark of a pressed drop button
constexpr uint8_t kGlyphSquared = 0x88;    // superscript two

// ---- Records --------------------------------------------------------------------------
// Where a bitmap glyph lies in its font's texture atlas (texels), with the placement
// its glBitmap list uses: origin and raster move in pixels.
struct gAtlasGlyph {
    int16_t x = 0, y = 0, width = 0, height = 0;
    float xOrigin = 0, yOrigin = 0, xMove = 0;
};

// The bitmap glyphs of a font also kept in one alpha texture (0 or 255 per texel), made
// with the lists in the font's window context (contexts share textures as they share
// lists). Runs of text are drawn from it as textured quads, which costs far less than
// a bitmap call per character on software renderers.
struct gFontAtlas {
    uint32_t texture = 0;
    int32_t width = 0, height = 0;
    gAtlasGlyph glyphs[256]{};
    // Whole runs already composed from the glyphs, one quad each (null: not kept).
    struct gRunCache* runs = nullptr;
};

// Per-character metrics (pixels for bitmap lists, em units for outline lists).
struct gGlyphMetrics {
    float advance = 0;
    float rightBearing = 0;
    float leftBearing = 0;
    float height = 0;   // black-box height
    float top = 0;      // above the baseline
    float bottom = 0;   // negative below the baseline
};

// The parameter block of a system or outline font.
struct gFontParams {
    int32_t width = 0;
    int32_t height = 0;      // < 0: em height in pixels; > 0: cell height (ascent + descent)
    float deviation = 0;     // outline: largest chord deviation in em units (0: default)
    float extrusion = 0;     // outline: depth along -z in em units
    int32_t format = 1;      // outline: 0 line loops, 1 polygons
    uint8_t italic = 0;
    int32_t weight = 400;
};

struct gFont {
    int32_t refCount = 0;
    int32_t source = kFontSourceNone;
    intptr_t face = 0;
    int32_t charset = kDefaultCharset;
    char* faceName = nullptr;            // owned (malloc)
    gFontParams* logParams = nullptr;    // owned
    uint32_t listBase = 0;               // 0 while the lists are not built
    gWindow* window = nullptr;
    int32_t listType = 0;
    int32_t firstListed = 0, lastListed = 0;
    int32_t firstGlyph = 0, lastGlyph = 0;
    uint8_t exactMetrics = 0;
    float maxAdvance = 0;
    float lineHeight = 0;
    float avgWidth = 0;
    float descent = 0;
    float ascent = 0;
    float externalLeading = 0;
    float internalLeading = 0;
    float height = 0;
    gGlyphMetrics glyphs[256]{};
    gFontAtlas* atlas = nullptr;         // owned; null: text is drawn from the lists alone
    gFontExtra* extra = nullptr;         // owned; goes with the lists
};

// One glyph of a raster face: 8-pixel rows, one byte each, most significant bit
// leftmost, first row at the bottom (as glBitmap takes them).
struct gFaceGlyph {
    const uint8_t* bitmap = nullptr;
    int32_t width = 0, height = 0;
    int32_t yOrigin = 0;      // rows below the baseline
    int32_t xAdvance = 0;
    gGlyphMetrics metrics;
};

struct gFontFace {
    uint32_t tag = kFontFaceTag;
    int32_t charset = kDefaultCharset;
    int32_t firstListed = 0, lastListed = 255;
    int32_t firstGlyph = 0, lastGlyph = 255;
    uint8_t exactMetrics = 0;
    float maxAdvance = 0, lineHeight = 0;
    float avgWidth = 0, descent = 0, ascent = 0, externalLeading = 0, internalLeading = 0;
    const gFaceGlyph* glyphs = nullptr;  // 256 records
};

// The built-in 8x13 raster face (charset 204, lists 0..255, glyphs 30..255, exact).
const gFontFace* gBuiltinFace();

// The built-in symbol face: pictograms at codes below 32 on the raster face's grid
// (lists 0..31), for arrow buttons, the transport controls and two-state toggles.
constexpr uint8_t kGlyphArrowLeft = 0x03;
constexpr uint8_t kGlyphArrowRight = 0x04;
constexpr uint8_t kGlyphStepForward = 0x09;
constexpr uint8_t kGlyphToLast = 0x0A;
constexpr uint8_t kGlyphStepBack = 0x0D;
constexpr uint8_t kGlyphToFirst = 0x0E;
constexpr uint8_t kGlyphStop = 0x0F;          // a toggle that is on (playing)
constexpr uint8_t kGlyphPlay = 0x10;          // a toggle that is off
constexpr uint8_t kGlyphPause = 0x11;
constexpr uint8_t kGlyphLoop = 0x12;
constexpr uint8_t kGlyphReverseOn = 0x13;
constexpr uint8_t kGlyphReverseOff = 0x14;
constexpr uint8_t kGlyphReturn = 0x15;
constexpr uint8_t kGlyphReset = 0x18;
const gFontFace* gSymbolFace();
// A font record of the symbol face for the window (not yet referenced: give it to a
// widget with gWgtSetFont, or store it with RefAssign); null on failure.
gFont* gSymbolFont(gWindow* window);
// The checks a face record passes before lists are built from it.
bool gFontFaceCheck(const gFontFace* face);
inline intptr_t gFaceValue(const gFontFace* face) { return reinterpret_cast<intptr_t>(face); }
inline bool gFaceIsRecord(intptr_t face) { return (face >= 1 && face <= 9) || face >= 18; }

// The fontconfig pattern of a stock font code (10..17; others give code 12's).
const char* gStockFontPattern(intptr_t code);
// Unicode code point of an 8-bit character (Windows-1251 for 128..255; 0 for the one
// unassigned code 0x98).
uint32_t gCp1251ToUnicode(uint8_t code);

// ---- Toolkit-wide font state -----------------------------------------------------------
// The default font selector: a face record value (the built-in face after selector 1),
// a stock code 10..17 or -1 ("Arial").
intptr_t& gFontDefaultSelector();
// Selector 1: the built-in face; any other: the platform value (stock code 12).
void gFontChooseDefault(int selector);
// The toolkit's current font (not counted).
gFont*& gFontCurrent();
// Called whenever a font is reset (lets measuring caches and the widgets forget it); may
// be null. Returns the hook it replaces, so that a layer can chain to it.
using gFontResetFn = void (*)(const gFont*);
gFontResetFn gFontSetResetHook(gFontResetFn hook);
// Installs realizeFont, buildFontLists and releaseFont into gHooks().
void gFontInstallHooks();

// ---- Records ------------------------------------------------------------------------------
// Returns a font record (not yet referenced: store it with RefAssign). A charset above
// 255 becomes 204; a weight outside 0..900 becomes 400. Null on failure.
gFont* gFontGet(gWindow* window, intptr_t face, const char* faceName, int32_t height, int32_t width,
                int32_t charset, uint8_t italic, int32_t weight, gFont* reuse);
gFont* gFontForFace(gWindow* window, gFont* reuse, const gFontFace* face);
void gFontRelease(gFont* font);
void gFontReset(gFont* font);
// Builds missing lists; with retry falls back (stock 12 then 11; outlines: "Arial").
bool gFontEnsure(gFont* font, bool retry);
bool gFontBuildBitmaps(gFont* font);
bool gFontBuildOutlines(gFont* font);
// Stores a counted font in a slot; false when refused (a font of another window).
bool RefAssign(gFont** slot, gFont* font);
inline bool gFontHasLists(const gFont* font) { return font != nullptr && font->listBase != 0; }

// Outline font records. The two parameters go to the block as height = a, width = b.
gFont* gFontCreateOutline(gWindow* window, gFont* font, const char* faceName, int32_t a, int32_t b,
                          int32_t format, float deviation, float extrusion, int32_t charset);
gFont* gFontOutlineReady(gFont* font);

// The realizeFont hook: gives the window a font with lists (see gWinRealizeFont).
gFont* gFontRealizeForWindow(gWindow* window, const char* face, int mode);
// The buildFontLists hook, run in a window's new context.
bool gFontBuildForWindow(gWindow* window);

// ---- Characters of a text ---------------------------------------------------------------
// Bytes of the character at `at` of a text of `length` bytes (0 at or past its end).
int32_t gTextCharBytes(const char* text, int32_t length, int32_t at);
// Where the character that ends at `at` starts (0 at the start).
int32_t gTextCharBefore(const char* text, int32_t at);
// `count` characters on from `at` (not past `length`), or back from `at` (not before 0).
int32_t gTextCharsForward(const char* text, int32_t length, int32_t at, int32_t count);
int32_t gTextCharsBack(const char* text, int32_t at, int32_t count);
// The metrics of the character at `at` (zero past the end; its bytes in *bytes).
gGlyphMetrics gFontGlyphAt(const gFont* font, const char* text, int32_t length, int32_t at, int32_t* bytes);

// ---- Measuring (NUL-ended 8-bit texts; outline results are scaled by 12.7) -------------
float gFontTextWidth(const gFont* font, const char* text);
float gFontTextWidthN(const gFont* font, const char* text, int32_t n);
float gFontTextWidthTrim(const gFont* font, const char* text, bool trim);
float gFontCharWidth(const gFont* font, uint8_t character, bool trim);
// The advance of the character at `at` of a text of `length` bytes.
float gFontCharWidthAt(const gFont* font, const char* text, int32_t length, int32_t at);
float gFontMaxTextWidth(const gFont* font, const char* const* list, bool trim);  // list ends with null
float gFontTextHeight(const gFont* font, const char* text, float* descent);
float gFontTextAscent(const gFont* font, const char* text, float* descent);
float gFontTextDescent(const gFont* font, const char* text);
float gFontMinAdvance(const gFont* font, const char* text);
// Width of the continuation mark: 3 x the advance of "." + 2.0 (10.0 without lists),
// kept for the last font asked until that font is reset.
float gFontEllipsisWidth(const gFont* font);
inline float gFontScale(const gFont* font) { return font->listType == kListTypeOutline ? kOutlineScale : 1.0f; }
// Line height of the font in pixels (outline fonts scaled).
inline float gFontLineHeight(const gFont* font) { return font->lineHeight * gFontScale(font); }

// ---- Line breaking and hit testing ----------------------------------------------------------
int32_t gFontFitCount(const gFont* font, const char* text, float width);
// Width of the characters that fit; *count gets their number.
float gFontFit(const gFont* font, const char* text, float width, int32_t* count, bool trim);
// Fits the first n characters (n <= 0: all) leaving room for the continuation mark "...".
float gFontFitTail(const gFont* font, const char* text, int32_t n, float width, int32_t* count, bool trim);
int32_t gFontHitTest(const gFont* font, const char* text, float x, int32_t* index);

// ---- Drawing (the window's context current; list attribute pushed and popped) ---------
// Sets the raster position at the point (x, y) of the current model-view/projection
// frame, wherever it lies (even outside the viewport); mirrored corner frames are fine.
void gTextRasterPos(float x, float y);
// Calls the lists of count characters of text (count < 0: up to the NUL) from the
// current raster position (bitmap) or the current matrix origin (outline, drawn
// upright and scaled by 12.7), then "..." when cut. Nothing without lists. A bitmap
// font with an atlas draws the same pixels from it (in the raster colour, at the
// raster depth) and leaves the raster position where the lists would.
// Bitmap runs of the placed drawers below come from the atlas when the font has one
// (texture unit 0; the texture and alpha-test state is put back); the raster position
// is then left unchanged.
void gTextDrawRun(const gFont* font, const char* text, int32_t count, bool cut);
// The same, placed with its baseline start at frame point (x, y), in the current colour.
void gTextDrawAt(const gFont* font, float x, float y, const char* text, int32_t count = -1, bool cut = false);
// The same with the baseline start moved from frame point (x, y) by (dx, dy) window
// pixels (rightwards and upwards, whatever the frame's orientation).
void gTextDrawMoved(const gFont* font, float x, float y, float dx, float dy, const char* text, int32_t count,
                    bool cut);
// Engraved: first in shadow at one pixel right and one down (window space), then colour.
void gTextDrawEngravedAt(gWindow* window, const gFont* font, uint32_t shadow, uint32_t colour, float x, float y,
                         const char* text, int32_t count = -1, bool cut = false);
void gTextDrawEngravedMoved(gWindow* window, const gFont* font, uint32_t shadow, uint32_t colour, float x, float y,
                            float dx, float dy, const char* text, int32_t count, bool cut);
// One character (symbol glyphs included) at frame point (x, y).
void gTextDrawCharAt(const gFont* font, uint8_t character, float x, float y);

// ---- Text batch of a paint pass ----------------------------------------------------------
// Between gTextBatchBegin and gTextBatchEnd (a pass over many widgets in one window) the
// placed bitmap runs that come from an atlas wait in a batch and are drawn together by
// gTextBatchFlush, gTextBatchEnd, any other text drawing, or gTextBatchGuard when the
// frame box it is given overlaps a waiting run (call it before drawing over a place).
void gTextBatchBegin();
void gTextBatchFlush();
void gTextBatchEnd();
void gTextBatchGuard(float x0, float y0, float x1, float y1);
// Drops the waiting runs of an atlas about to be deleted.
void gTextBatchForget(const gFontAtlas* atlas);

// Largest texture sizes of the window's context: out = {max, RGB8, RGBA8, RGB16, RGBA16}.
bool gProbeTextureSize(gWindow* window, int32_t out[5]);

}  // namespace orva
