#!/usr/bin/python3
"""Generates toolkit/font_raster8x13.cpp, the toolkit's built-in 8x13 raster face.

Letters, digits and punctuation are rendered once, monochrome, from DejaVu Sans
Condensed (fonts-dejavu-core, a freely licensed font: Bitstream Vera licence with
public-domain DejaVu changes) at 12 pixels per em through FreeType (python3-pil).
Codes 128..255 are taken as Windows-1251. Code 0x88 shows the superscript two
(U+00B2) in place of the Euro sign. The symbol glyphs at codes 0, 2, 3, 4 and 22 are
drawn by hand below.

Every glyph sits in an 8-pixel-wide, 13-row cell with 2 rows below the baseline
(deeper descenders lose the rows just below the baseline).
Ink starts at column 1 (left bearing 1) and the advance is 1 + the ink width, so the
right bearing is 0 and neighbouring glyphs keep one blank column between them; glyphs
too wide for that lose repeated or lightly inked columns, and a glyph 8 columns wide starts at column 0.

Usage: /usr/bin/python3 tools/make_raster_font.py > toolkit/font_raster8x13.cpp
"""
import sys

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf"
SIZE = 12
ROWS = 13
BELOW = 2  # rows below the baseline

# Hand-drawn symbols: rows from top, '#' ink; the last row given sits on the row
# named by the second element (0 = the row just above the baseline, -1 below it).
SYMBOLS = {
    0: (["......#",
         ".....##",
         "#...##.",
         "##.##..",
         ".###...",
         "..#...."], 0),            # check mark
    2: (["..#..",
         ".###.",
         "#####",
         ".###.",
         "..#.."], 1),              # two-state mark: a diamond
    3: (["#######",
         ".#####.",
         "..###..",
         "...#..."], 2),            # drop marker: a downward triangle
    4: (["#...",
         "##..",
         "###.",
         "####",
         "###.",
         "##..",
         "#..."], 1),               # submenu arrow: a right-pointing triangle
    22: (["#####",
          ".###.",
          "..#.."], 3),             # pressed drop-button mark: a small downward triangle
}


def char_of(code):
    if code == 0x88:
        return "\u00b2"
    if code < 32 or code == 0x98 or code == 0x7F:
        return None
    return bytes([code]).decode("cp1251")


def render(ch, size):
    """Ink rows (top first) and the row index above the baseline of the first one
    (0 = the row just above the baseline)."""
    font = ImageFont.truetype(FONT, size)
    image = Image.new("1", (40, 40), 0)
    draw = ImageDraw.Draw(image)
    draw.fontmode = "1"
    draw.text((8, 24), ch, font=font, fill=1, anchor="ls")
    bbox = image.getbbox()
    if bbox is None:
        return None
    x0, y0, x1, y1 = bbox
    rows = [[1 if image.getpixel((x, y)) else 0 for x in range(x0, x1)] for y in range(y0, y1)]
    return rows, 23 - y0


def squeeze(rows, width):
    """Drops columns until the rows are at most `width` wide: first a column equal to
    its left neighbour, else the inner column with the least ink."""
    while len(rows[0]) > width:
        cols = list(zip(*rows))
        for i in range(len(cols) - 1, 0, -1):
            if cols[i] == cols[i - 1]:
                del cols[i]
                break
        else:
            inner = range(1, len(cols) - 1)
            del cols[min(inner, key=lambda i: (sum(cols[i]), abs(i - len(cols) // 2)))]
        rows = [list(r) for r in zip(*cols)]
    return rows


def glyph(code):
    """Returns (rows top-down of 0/1 lists, top) or None for a blank glyph; top is the
    row of the first ink row counted from the row just above the baseline (0)."""
    if code in SYMBOLS:
        art, base = SYMBOLS[code]
        rows = [[1 if c == "#" else 0 for c in line] for line in art]
        return rows, base + len(rows) - 1
    ch = char_of(code)
    if ch is None:
        return None
    got = render(ch, SIZE)
    if got is None:
        return None
    rows, top = got
    bottom = top + 1 - len(rows)
    # Too wide: squeezed.
    rows = squeeze(rows, 8)
    # Descenders deeper than the face's: drop the rows just below the baseline; marks
    # lying wholly below it move up.
    while top + 1 - len(rows) < -BELOW:
        cut = top + 1  # index in rows of the row just below the baseline
        if 0 <= cut < len(rows) and len(rows) > 1:
            del rows[cut]
        else:
            top += 1
    while top > ROWS - BELOW - 1 and len(rows) > 1:
        del rows[0]
        top -= 1
    return rows, top


def main():
    out = sys.stdout
    bits = []
    records = []
    for code in range(256):
        g = glyph(code)
        cell = [0] * ROWS  # index 0 = bottom row
        if g is None:
            # Blank: the metrics of a space (one empty pixel below the baseline).
            records.append((3, 2.0, 0.0, 1.0, 0.0, -1.0))
            bits.append(cell)
            continue
        rows, top = g
        width = len(rows[0])
        left = 1 if width <= 7 else 0
        for i, row in enumerate(rows):
            y = top - i  # row above the baseline (0 = first row above it)
            r = y + BELOW
            if r < 0 or r >= ROWS:
                continue
            byte = 0
            for x, v in enumerate(row):
                if v:
                    byte |= 0x80 >> (left + x)
            cell[r] = byte
        ink = [r for r in range(ROWS) if cell[r]]
        cols = [x for x in range(8) if any(cell[r] & (0x80 >> x) for r in ink)]
        left, right = cols[0], cols[-1]
        advance = right + 1
        top_row, bottom_row = ink[-1] - BELOW, ink[0] - BELOW  # rows above the baseline, 0 first
        records.append((advance, float(advance - right - 1), float(left), float(top_row - bottom_row + 1),
                        float(top_row + 1), float(bottom_row)))
        bits.append(cell)

    out.write("// The built-in 8x13 raster face of the toolkit.\n")
    out.write("// GENERATED by tools/make_raster_font.py: do not edit by hand, re-run the script.\n")
    out.write("// Letters, digits and punctuation: DejaVu Sans Condensed (fonts-dejavu-core; Bitstream\n")
    out.write("// Vera licence, DejaVu changes in the public domain) rendered monochrome at 12 px;\n")
    out.write("// codes 128..255 as Windows-1251, code 0x88 the superscript two. The symbol glyphs at\n")
    out.write("// 0 (check mark), 2 (two-state mark), 3 (drop marker), 4 (submenu arrow) and 22\n")
    out.write("// (drop-button mark) are drawn by hand in the script.\n")
    out.write("// Rows are stored bottom first, one byte per row, most significant bit leftmost.\n")
    out.write('#include "toolkit/font.h"\n\nnamespace orva {\nnamespace {\n\n')
    out.write("constexpr uint8_t kBits[256][13] = {\n")
    for code, cell in enumerate(bits):
        out.write("    {" + ", ".join("0x%02X" % b for b in cell) + "},  // %d\n" % code)
    out.write("};\n\n")
    out.write("// advance, right bearing, left bearing, height, top, bottom\n")
    out.write("constexpr float kMetrics[256][6] = {\n")
    for code, (adv, rb, lb, h, top, bottom) in enumerate(records):
        out.write("    {%.1ff, %.1ff, %.1ff, %.1ff, %.1ff, %.1ff},  // %d\n" % (adv, rb, lb, h, top, bottom, code))
    out.write("};\n\n")
    out.write("""struct BuiltinFace {
    gFaceGlyph glyphs[256];
    gFontFace face;
    BuiltinFace() {
        for (int c = 0; c < 256; ++c) {
            gFaceGlyph& g = glyphs[c];
            g.bitmap = kBits[c];
            g.width = 8;
            g.height = 13;
            g.yOrigin = %d;
            g.xAdvance = static_cast<int32_t>(kMetrics[c][0]);
            g.metrics = {kMetrics[c][0], kMetrics[c][1], kMetrics[c][2], kMetrics[c][3], kMetrics[c][4], kMetrics[c][5]};
        }
        face.tag = kFontFaceTag;
        face.charset = 204;
        face.firstListed = 0;
        face.lastListed = 255;
        face.firstGlyph = 30;
        face.lastGlyph = 255;
        face.exactMetrics = 1;
        face.maxAdvance = 11.0f;
        face.lineHeight = 11.0f;
        face.avgWidth = 5.0f;
        face.descent = 2.0f;
        face.ascent = 9.0f;
        face.externalLeading = 2.0f;
        face.internalLeading = 2.0f;
        face.glyphs = glyphs;
    }
};

}  // namespace

const gFontFace* gBuiltinFace() {
    static const BuiltinFace builtin;
    return &builtin.face;
}

}  // namespace orva
""" % BELOW)


if __name__ == "__main__":
    main()
