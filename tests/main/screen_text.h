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

// A one-bit picture, rows from the top.
struct InkMask {
    int width = 0, height = 0;
    std::vector<uint8_t> bits;
    bool At(int x, int y) const { return bits[static_cast<size_t>(y) * width + x] != 0; }
    bool Empty() const { return width == 0 || height == 0; }
    bool operator==(const InkMask& o) const { return width == o.width && height == o.height && bits == o.bits; }
    // Rows of '#' and '.', for a failure message.
    std::string Art() const {
        std::string out;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) out += At(x, y) ? '#' : '.';
            out += '\n';
        }
        return out;
    }
};

// The mask cut to the smallest box holding its ink (empty when it has none).
inline InkMask CropInk(const InkMask& m) {
    int left = m.width, right = -1, top = m.height, bottom = -1;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            if (m.At(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    InkMask out;
    if (right < 0) return out;
    out.width = right - left + 1;
    out.height = bottom - top + 1;
    out.bits.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) out.bits[static_cast<size_t>(y) * out.width + x] = m.At(left + x, top + y);
    return out;
}

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
    m.width = static_cast<int>(text.size() + 2) * 2 * em;
    m.height = 4 * em;
    m.bits.assign(static_cast<size_t>(m.width) * m.height, 0);
    int pen = em;
    for (unsigned char c : text) {
        if (FT_Load_Glyph(face, fontft::GlyphIndex(face, c), FT_LOAD_TARGET_MONO) != 0) continue;
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

// The ink of a box of the picture: every pixel that differs by more than 40 levels in a
// channel from the box's most common colour (the field's face); `faceOut` gets that colour.
inline InkMask InkOfBox(const Picture& p, int x, int y, int width, int height, uint32_t* faceOut);

// The ink of a field, its frame lines taken away, cut to what is left.
inline InkMask InkOf(const Picture& p, int x, int y, int width, int height) {
    InkMask m = InkOfBox(p, x, y, width, height, nullptr);
    if (m.Empty()) return m;
    width = m.width;
    height = m.height;
    // A field's frame runs along the box: rows and columns inked over most of their
    // length are lines, never text.
    std::vector<int> rows, columns;
    for (int py = 0; py < height; ++py) {
        int n = 0;
        for (int px = 0; px < width; ++px) n += m.At(px, py);
        if (n * 5 > width * 4) rows.push_back(py);
    }
    for (int px = 0; px < width; ++px) {
        int n = 0;
        for (int py = 0; py < height; ++py) n += m.At(px, py);
        if (n * 5 > height * 4) columns.push_back(px);
    }
    for (int py : rows)
        for (int px = 0; px < width; ++px) m.bits[static_cast<size_t>(py) * width + px] = 0;
    for (int px : columns)
        for (int py = 0; py < height; ++py) m.bits[static_cast<size_t>(py) * width + px] = 0;
    return CropInk(m);
}


// Finds `text` in the box: the position of its ink's top-left pixel, where the text's ink
// stands in one colour on a ground of one other colour, the ground also all round it (a
// one-pixel ring). False when it is not there.
inline bool FindInk(const Picture& p, int x, int y, int width, int height, const InkMask& want, int* atX, int* atY);

inline bool FindText(const Picture& p, int x, int y, int width, int height, const std::string& text, int* atX,
                     int* atY) {
    return FindInk(p, x, y, width, height, TextInk(text), atX, atY);
}

// As FindText, for the ink of a text set in any face.
inline bool FindInk(const Picture& p, int x, int y, int width, int height, const InkMask& want, int* atX, int* atY) {
    if (want.Empty()) return false;
    x = std::max(1, x);
    y = std::max(1, y);
    const int x1 = std::min(x + width, p.width - 1), y1 = std::min(y + height, p.height - 1);
    auto same = [](const uint8_t* a, const uint8_t* b) {
        return std::abs(int(a[0]) - int(b[0])) <= 40 && std::abs(int(a[1]) - int(b[1])) <= 40 &&
               std::abs(int(a[2]) - int(b[2])) <= 40;
    };
    for (int oy = y; oy + want.height < y1; ++oy)
        for (int ox = x; ox + want.width < x1; ++ox) {
            const uint8_t* ground = p.At(ox - 1, oy - 1);
            bool fits = true;
            for (int wy = -1; wy <= want.height && fits; ++wy)
                for (int wx = -1; wx <= want.width && fits; ++wx) {
                    const bool inked = wx >= 0 && wy >= 0 && wx < want.width && wy < want.height && want.At(wx, wy);
                    fits = same(p.At(ox + wx, oy + wy), ground) != inked;
                }
            if (fits) {
                *atX = ox;
                *atY = oy;
                return true;
            }
        }
    return false;
}

inline InkMask InkOfBox(const Picture& p, int x, int y, int width, int height, uint32_t* faceOut) {
    InkMask m;
    x = std::max(0, x);
    y = std::max(0, y);
    width = std::min(width, p.width - x);
    height = std::min(height, p.height - y);
    if (width <= 0 || height <= 0) return m;
    std::vector<std::pair<uint32_t, int>> counts;
    for (int py = y; py < y + height; ++py)
        for (int px = x; px < x + width; ++px) {
            const uint8_t* c = p.At(px, py);
            const uint32_t k = (uint32_t(c[0]) << 16) | (uint32_t(c[1]) << 8) | c[2];
            auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& e) { return e.first == k; });
            if (it == counts.end()) counts.push_back({k, 1}); else ++it->second;
        }
    const uint32_t face =
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; })
            ->first;
    if (faceOut != nullptr) *faceOut = face;
    m.width = width;
    m.height = height;
    m.bits.assign(static_cast<size_t>(width) * height, 0);
    for (int py = 0; py < height; ++py)
        for (int px = 0; px < width; ++px) {
            const uint8_t* c = p.At(x + px, y + py);
            const int d = std::max({std::abs(int(c[0]) - int((face >> 16) & 0xFF)),
                                    std::abs(int(c[1]) - int((face >> 8) & 0xFF)), std::abs(int(c[2]) - int(face & 0xFF))});
            m.bits[static_cast<size_t>(py) * width + px] = d > 40;
        }
    return m;
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
    std::vector<std::pair<int, int>> found;
    const InkMask want = TextInk(text);
    const InkMask box = InkOfBox(p, x, y, width, height, nullptr);
    if (want.Empty() || box.Empty()) return found;
    for (int oy = 1; oy + want.height <= box.height; ++oy)
        for (int ox = 1; ox + want.width < box.width; ++ox) {
            bool fits = true;
            for (int wy = -1; wy < want.height && fits; ++wy)
                for (int wx = -1; wx <= want.width && fits; ++wx) {
                    if (wx == want.width && !right) continue;
                    const bool inside = wx >= 0 && wy >= 0 && wx < want.width;
                    fits = box.At(ox + wx, oy + wy) == (inside && want.At(wx, wy));
                }
            if (fits) found.push_back({std::max(0, x) + ox, std::max(0, y) + oy});
        }
    return found;
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
