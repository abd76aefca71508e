// The built-in symbol face: the pictograms that arrow buttons, the transport page and
// the two-state toggles show as single characters (codes below 32), drawn by hand on
// the 8 x 13 grid of the raster face so that both line up in a row of buttons.
#include <cstring>

#include "toolkit/font.h"

namespace orva {
namespace {

constexpr int kRows = 13;
constexpr int kBaselineRows = 2;   // rows below the baseline

// A glyph as 13 rows of 8 columns, top row first; 'X' is ink.
struct SymbolArt {
    uint8_t code;
    const char* rows[kRows];
};

// clang-format off
const SymbolArt kArt[] = {
    {kGlyphArrowLeft, {"........", "........", "........", "....X...", "...XX...", "..XXX...", ".XXXX...",
                       "..XXX...", "...XX...", "....X...", "........", "........", "........"}},
    {kGlyphArrowRight, {"........", "........", "........", "..X.....", "..XX....", "..XXX...", "..XXXX..",
                        "..XXX...", "..XX....", "..X.....", "........", "........", "........"}},
    {kGlyphStepForward, {"........", "........", "........", ".X...X..", ".XX..X..", ".XXX.X..", ".XXXXX..",
                         ".XXX.X..", ".XX..X..", ".X...X..", "........", "........", "........"}},
    {kGlyphToLast, {"........", "........", "........", "X..X..X.", "XX.XX.X.", "XXXXXXX.", "XXXXXXX.",
                    "XXXXXXX.", "XX.XX.X.", "X..X..X.", "........", "........", "........"}},
    {kGlyphStepBack, {"........", "........", "........", ".X...X..", ".X..XX..", ".X.XXX..", ".XXXXX..",
                      ".X.XXX..", ".X..XX..", ".X...X..", "........", "........", "........"}},
    {kGlyphToFirst, {"........", "........", "........", ".X..X..X", ".X.XX.XX", ".XXXXXXX", ".XXXXXXX",
                     ".XXXXXXX", ".X.XX.XX", ".X..X..X", "........", "........", "........"}},
    {kGlyphStop, {"........", "........", "........", "........", ".XXXXX..", ".XXXXX..", ".XXXXX..",
                  ".XXXXX..", ".XXXXX..", "........", "........", "........", "........"}},
    {kGlyphPlay, {"........", "........", "........", ".X......", ".XXX....", ".XXXXX..", ".XXXXXX.",
                  ".XXXXX..", ".XXX....", ".X......", "........", "........", "........"}},
    {kGlyphPause, {"........", "........", "........", ".XX.XX..", ".XX.XX..", ".XX.XX..", ".XX.XX..",
                   ".XX.XX..", ".XX.XX..", ".XX.XX..", "........", "........", "........"}},
    {kGlyphLoop, {"........", "........", "........", "..XXXX..", ".X....X.", ".X...XXX", ".X....X.",
                  "XXX...X.", ".X....X.", "..XXXX..", "........", "........", "........"}},
    {kGlyphReverseOn, {"........", "........", "........", "...X....", "..XX....", ".XXXXXX.", "XXXXXXX.",
                       ".XXXXXX.", "..XX....", "...X....", "........", "........", "........"}},
    {kGlyphReverseOff, {"........", "........", "........", "....X...", "....XX..", ".XXXXXX.", ".XXXXXXX",
                        ".XXXXXX.", "....XX..", "....X...", "........", "........", "........"}},
    {kGlyphReturn, {"........", "........", "........", "..X.....", ".XX.....", "XXXXXX..", ".XX...X.",
                    "..X...X.", "......X.", ".XXXXX..", "........", "........", "........"}},
    {kGlyphReset, {"........", "........", "........", "X.XXX...", "XX...X..", "XXX...X.", "......X.",
                   "......X.", ".X...X..", "..XXX...", "........", "........", "........"}},
};
// clang-format on

struct SymbolFace {
    uint8_t bits[32][kRows] = {};
    gFaceGlyph glyphs[256];
    gFontFace face;
    SymbolFace() {
        for (const SymbolArt& art : kArt) {
            uint8_t* rows = bits[art.code];
            int minColumn = 8, maxColumn = -1, minRow = kRows, maxRow = -1;
            for (int top = 0; top < kRows; ++top) {
                const int row = kRows - 1 - top;   // stored bottom first
                uint8_t byte = 0;
                for (int c = 0; c < 8; ++c) {
                    if (art.rows[top][c] != 'X') continue;
                    byte |= static_cast<uint8_t>(0x80u >> c);
                    minColumn = c < minColumn ? c : minColumn;
                    maxColumn = c > maxColumn ? c : maxColumn;
                    minRow = row < minRow ? row : minRow;
                    maxRow = row > maxRow ? row : maxRow;
                }
                rows[row] = byte;
            }
            gFaceGlyph& g = glyphs[art.code];
            g.metrics.leftBearing = static_cast<float>(minColumn);
            g.metrics.rightBearing = static_cast<float>(7 - maxColumn);
            g.metrics.height = static_cast<float>(maxRow - minRow + 1);
            g.metrics.top = static_cast<float>(maxRow - kBaselineRows + 1);
            g.metrics.bottom = static_cast<float>(minRow < kBaselineRows ? minRow - kBaselineRows : 0);
        }
        for (int c = 0; c < 256; ++c) {
            gFaceGlyph& g = glyphs[c];
            g.bitmap = c < 32 ? bits[c] : bits[0];
            g.width = 8;
            g.height = kRows;
            g.yOrigin = kBaselineRows;
            g.xAdvance = 9;
            g.metrics.advance = 9.0f;
        }
        face.tag = kFontFaceTag;
        face.charset = kDefaultCharset;
        face.firstListed = 0;
        face.lastListed = 31;
        face.firstGlyph = 0;
        face.lastGlyph = 31;
        face.exactMetrics = 1;
        face.maxAdvance = 9.0f;
        face.lineHeight = 11.0f;
        face.avgWidth = 9.0f;
        face.descent = 2.0f;
        face.ascent = 9.0f;
        face.externalLeading = 2.0f;
        face.internalLeading = 2.0f;
        face.glyphs = glyphs;
    }
};

}  // namespace

const gFontFace* gSymbolFace() {
    static const SymbolFace symbols;
    return &symbols.face;
}

gFont* gSymbolFont(gWindow* window) { return gFontForFace(window, nullptr, gSymbolFace()); }

}  // namespace orva
