#pragma once
// Reading a text off the screen: the expected text is set in the toolkit's built-in raster
// face (the face every page field of the program draws with) into a one-bit picture, and
// compared with the ink of a field grabbed from the X server. A field that is empty, shows
// another text, or the same text with one more character, does not match.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "program_window.h"
#include "toolkit/font.h"
#include "toolkit/font_ft.h"
#include FT_SYNTHESIS_H

namespace orva::testing_program {


// `text` set in the built-in face as the toolkit draws it (each glyph's 8 x 13 bitmap at
// the pen, the pen moved by the glyph's advance), cut to its ink.
inline InkMask TextInk(const std::string& text) {
    const gFontFace* face = gBuiltinFace();
    constexpr int kCell = 13;
    int width = 8;
    for (unsigned char c : text) width += face->glyphs[c].xAdvance;
    InkMask m;
    m.width = width;
    m.height = kCell;
    m.bits.assign(static_cast<size_t>(m.width) * m.height, 0);
    int pen = 0;
    for (unsigned char c : text) {
        const gFaceGlyph& g = face->glyphs[c];
        const int stride = (g.width + 7) / 8;
        for (int row = 0; row < g.height && row < kCell; ++row) {
            // Bitmap rows are stored bottom first.
            const uint8_t* bits = g.bitmap + static_cast<size_t>(row) * stride;
            for (int x = 0; x < g.width; ++x)
                if ((bits[x / 8] & (0x80 >> (x % 8))) != 0 && pen + x < m.width)
                    m.bits[static_cast<size_t>(kCell - 1 - row) * m.width + pen + x] = 1;
        }
        pen += g.xAdvance;
    }
    return CropInk(m);
}

// The code points of a text as the program reads it: a well-formed UTF-8 sequence (a
// file name) is one character, any other byte a Windows-1251 one.
inline std::vector<uint32_t> TextCodePoints(const std::string& text) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
        uint32_t cp = n == 4 ? lead & 7u : n == 3 ? lead & 15u : lead & 31u;
        bool whole = n > 1 && lead < 0xF5 && i + n <= text.size();
        for (size_t k = 1; whole && k < n; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        out.push_back(whole ? cp : gCp1251ToUnicode(lead));
        i += whole ? n : 1;
    }
    return out;
}

// `text` set as the toolkit sets it in a system face (the page lists' "Arial"): FreeType's
// one-bit glyphs of the face the family finds, `em` pixels high, each at the pen by its
// bearing, the pen moved by the rounded advance; cut to its ink (empty without the face).
inline InkMask SystemTextInk(const std::string& text, const char* family, int32_t weight, int em) {
    InkMask m;
    fontft::FaceRequest request;
    request.family = family;
    request.weight = weight;
    fontft::FaceMatch match;
    if (!fontft::OpenFace(request, &match) || FT_Set_Pixel_Sizes(match.face, em, em) != 0) return m;
    FT_Face face = match.face;
    const int base = 2 * em;
    const std::vector<uint32_t> codes = TextCodePoints(text);
    m.width = static_cast<int>(codes.size() + 2) * 2 * em;
    m.height = 4 * em;
    m.bits.assign(static_cast<size_t>(m.width) * m.height, 0);
    int pen = em;
    for (uint32_t c : codes) {
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_TARGET_MONO) != 0) continue;
        if (match.needEmbolden) FT_GlyphSlot_Embolden(face->glyph);
        if (match.needOblique) FT_GlyphSlot_Oblique(face->glyph);
        if (face->glyph->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) != 0)
            continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
            for (int r = 0; r < static_cast<int>(bm.rows); ++r) {
                const uint8_t* row = bm.pitch >= 0 ? bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch
                                                   : bm.buffer + static_cast<ptrdiff_t>(bm.rows - 1 - r) * -bm.pitch;
                for (int px = 0; px < static_cast<int>(bm.width); ++px) {
                    const int x = pen + face->glyph->bitmap_left + px, y = base - face->glyph->bitmap_top + r;
                    if ((row[px / 8] & (0x80 >> (px % 8))) != 0 && x >= 0 && x < m.width && y >= 0 && y < m.height)
                        m.bits[static_cast<size_t>(y) * m.width + x] = 1;
                }
            }
        }
        pen += static_cast<int>(std::lround(face->glyph->advance.x / 64.0));
    }
    return CropInk(m);
}

// `text` as the main window's pages and their lists draw it: Arial, 10 pixels, weight 600.
inline InkMask UiTextInk(const std::string& text) { return SystemTextInk(text, "Arial", 600, 10); }




// Finds `text` in the box: the position of its ink's top-left pixel, where the text's ink
// stands in one colour on a ground of one other colour, the ground also all round it (a
// one-pixel ring). False when it is not there.

inline bool FindText(const Picture& p, int x, int y, int width, int height, const std::string& text, int* atX,
                     int* atY) {
    return FindInk(p, x, y, width, height, TextInk(text), atX, atY);
}



// Whether the box shows exactly the ink (none: no ink at all).
inline bool ShowsInk(const Picture& p, int x, int y, int width, int height, const InkMask& want,
                     const std::string& text, std::string* why = nullptr) {
    const InkMask got = InkOf(p, x, y, width, height);
    if (got == want) return true;
    if (why != nullptr) *why = "expected \"" + text + "\":\n" + want.Art() + "shown:\n" + got.Art();
    return false;
}

// Whether the box shows exactly `text` (an empty text: no ink at all).
inline bool ShowsText(const Picture& p, int x, int y, int width, int height, const std::string& text,
                      std::string* why = nullptr) {
    const InkMask got = InkOf(p, x, y, width, height);
    const InkMask want = TextInk(text);
    if (got == want) return true;
    if (why != nullptr) *why = "expected \"" + text + "\":\n" + want.Art() + "shown:\n" + got.Art();
    return false;
}

// The value cell right of a list's label found at (x, y) shows `text` in the pages' face.
inline bool ListCellShows(const Picture& p, int x, int y, const std::string& text, std::string* why = nullptr) {
    return ShowsInk(p, x + 60, y - 4, 200, 18, UiTextInk(text), text, why);
}

// Finds `text` in the box as the program draws it: its ink exactly, with no other ink
// in the column left of it, the row above it and (when `right`) the column right of it.
// The row below is not looked at: a ruler's short ticks run up to its labels' feet, and
// a drop-down button's arrow stands close right of its caption. Every place it is found,
// row by row.
inline std::vector<std::pair<int, int>> FindAllInk(const Picture& p, int x, int y, int width, int height,
                                                   const std::string& text, bool right) {
    return FindAllInkOf(p, x, y, width, height, TextInk(text), right);
}

inline bool FindInk(const Picture& p, int x, int y, int width, int height, const std::string& text, bool right, int* atX,
             int* atY) {
    const auto found = FindAllInk(p, x, y, width, height, text, right);
    if (found.empty()) return false;
    *atX = found.front().first;
    *atY = found.front().second;
    return true;
}

}  // namespace orva::testing_program
