#include "toolkit/font.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/log.h"
#include "platform/window_text.h"
#include "toolkit/font_ft.h"
#include "toolkit/window.h"

#include FT_SYNTHESIS_H

namespace orva {

// Runs of text composed once from a font's glyphs into one alpha texture, so that a run
// the widgets draw again and again costs one quad. Possible when every glyph origin and
// raster move is a whole number of pixels: a run's image then only moves with its start
// pixel. Runs share shelves of one height (the font's lowest to highest ink row); when
// the texture is full the cache starts again.
struct gRunCache {
    struct Entry {
        int16_t x = 0, y = 0, width = 0, left = 0;  // left: image's first column from the start pixel
    };
    static constexpr int32_t kWidth = 1024, kHeight = 256, kLongest = 512;
    GLuint texture = 0;             // made with the first run kept: most fonts draw none
    bool unusable = false;          // the texture could not be made
    int32_t bottom = 0, shelf = 0;  // ink rows from the baseline row, shelf height
    int32_t nextX = 0, nextY = 0;
    bool full = false;
    std::vector<uint8_t> glyphTexels;  // a copy of the atlas texture
    std::unordered_map<std::string, Entry> entries;
    std::vector<uint8_t> image;
};

namespace fontglyphs {

// A glyph as its glBitmap list draws it: rows bottom-up, whole bytes, most significant
// bit leftmost.
struct GlyphImage {
    int32_t width = 0, height = 0;
    float xOrigin = 0, yOrigin = 0, xMove = 0;
    std::vector<uint8_t> rows;
};

// A glyph beyond the 8-bit set: its metrics, image and list.
struct ExtraGlyph {
    gGlyphMetrics metrics;
    GlyphImage image;
    GLuint list = 0;  // made when first drawn
};

}  // namespace fontglyphs

using fontglyphs::ExtraGlyph;
using fontglyphs::GlyphImage;

namespace {

intptr_t gDefaultSelector = kStockAnsiVar;
gFont* gCurrentFontPtr = nullptr;
gFontResetFn gResetHook = nullptr;
// The ellipsis width of the last font asked (forgotten when that font is reset).
const gFont* gEllipsisFont = nullptr;
float gEllipsisWidth = 0;

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

// A font can outlive its window (a widget taken out of the window and kept holds it).
bool WindowReady(gWindow* window) { return gWinRecordLive(window) && window->hdc != nullptr; }

char* CopyName(const char* name) {
    if (name == nullptr) return nullptr;
    size_t n = std::strlen(name) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, name, n);
    return copy;
}

bool NamesEqualNoCase(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return a == b;
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

bool Valid(float v, float lo, float hi) { return std::isfinite(v) && v >= lo && v <= hi; }

// ---- Texture atlas of bitmap glyphs -------------------------------------------------------
int32_t PowerOfTwoAtLeast(int32_t n) {
    int32_t p = 1;
    while (p < n && p < (1 << 20)) p *= 2;
    return p;
}

void BuildRunCache(gFontAtlas* atlas, std::vector<uint8_t> texels, GLint maxSize) {
    if (maxSize < gRunCache::kWidth) return;
    int32_t bottom = 1 << 20, top = -(1 << 20);
    for (const gAtlasGlyph& g : atlas->glyphs) {
        for (float v : {g.xOrigin, g.yOrigin, g.xMove}) {
            if (v != std::floor(v) || std::fabs(v) > 1000.0f) return;
        }
        if (g.width == 0) continue;
        bottom = std::min(bottom, static_cast<int32_t>(-g.yOrigin));
        top = std::max(top, static_cast<int32_t>(g.height - g.yOrigin));
    }
    if (top <= bottom || top - bottom > 128) return;
    auto* cache = new (std::nothrow) gRunCache{};
    if (cache == nullptr) return;
    cache->bottom = bottom;
    cache->shelf = top - bottom;
    cache->glyphTexels = std::move(texels);
    atlas->runs = cache;
}

// The run cache's texture, made in the current context when the first run is kept: a
// program opens many fonts in many windows, most of which never draw a run, and the
// software renderer clears every texture it makes. False when it cannot be made.
bool MakeRunTexture(gRunCache* cache) {
    if (cache->texture != 0) return true;
    if (cache->unusable) return false;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGenTextures(1, &cache->texture);
    if (cache->texture == 0) {
        cache->unusable = true;
        return false;
    }
    glBindTexture(GL_TEXTURE_2D, cache->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // No contents yet: only the places runs are written to are ever sampled.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, gRunCache::kWidth, gRunCache::kHeight, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 nullptr);
    GLint made = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &made);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    if (made != gRunCache::kWidth) {
        glDeleteTextures(1, &cache->texture);
        cache->texture = 0;
        cache->unusable = true;
        return false;
    }
    return true;
}

// Packs the glyphs in shelves (one texel apart) into one alpha texture. Leaves the font
// without atlas when the glyphs do not fit the context's largest texture.
void BuildAtlas(gFont* font, const std::vector<GlyphImage>& images) {
    int32_t widest = 1;
    for (const GlyphImage& g : images) widest = std::max(widest, g.width);
    int32_t width = PowerOfTwoAtLeast(std::max(256, widest + 1));
    auto* atlas = new (std::nothrow) gFontAtlas{};
    if (atlas == nullptr) return;
    int32_t x = 0, y = 0, shelf = 0;
    for (size_t c = 0; c < images.size() && c < 256; ++c) {
        const GlyphImage& g = images[c];
        gAtlasGlyph& a = atlas->glyphs[c];
        a.xOrigin = g.xOrigin;
        a.yOrigin = g.yOrigin;
        a.xMove = g.xMove;
        if (g.width <= 0 || g.height <= 0) continue;
        if (x + g.width > width) {
            y += shelf + 1;
            x = shelf = 0;
        }
        a.x = static_cast<int16_t>(x);
        a.y = static_cast<int16_t>(y);
        a.width = static_cast<int16_t>(g.width);
        a.height = static_cast<int16_t>(g.height);
        x += g.width + 1;
        shelf = std::max(shelf, g.height);
    }
    int32_t height = PowerOfTwoAtLeast(std::max(1, y + shelf));
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (width > maxSize || height > maxSize || width > 32767 || height > 32767) {
        delete atlas;
        return;
    }
    std::vector<uint8_t> texels(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (size_t c = 0; c < images.size() && c < 256; ++c) {
        const GlyphImage& g = images[c];
        const gAtlasGlyph& a = atlas->glyphs[c];
        if (a.width == 0) continue;
        size_t stride = static_cast<size_t>(g.width + 7) / 8;
        for (int32_t r = 0; r < g.height; ++r) {
            uint8_t* out = texels.data() + static_cast<size_t>(a.y + r) * static_cast<size_t>(width) + a.x;
            const uint8_t* row = g.rows.data() + static_cast<size_t>(r) * stride;
            for (int32_t col = 0; col < g.width; ++col) {
                if ((row[col / 8] & (0x80u >> (col % 8))) != 0) out[col] = 255;
            }
        }
    }
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    if (texture == 0) {
        delete atlas;
        return;
    }
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // The caller has set byte alignment and no row length or skips.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, width, height, 0, GL_ALPHA, GL_UNSIGNED_BYTE, texels.data());
    GLint made = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &made);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    if (made != width) {
        glDeleteTextures(1, &texture);
        delete atlas;
        return;
    }
    atlas->texture = texture;
    atlas->width = width;
    atlas->height = height;
    font->atlas = atlas;
    BuildRunCache(atlas, std::move(texels), maxSize);
}

// ---- Raster face lists -----------------------------------------------------------------
// Bitmaps are read as packed bytes, most significant bit first: saved and set here, and
// given back with glPopClientAttrib.
void PushBitmapUnpacking() {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

bool BuildFaceLists(gFont* font, const gFontFace* face) {
    if (!gFontFaceCheck(face)) return false;
    GLuint base = glGenLists(256);
    if (base == 0) return false;
    PushBitmapUnpacking();
    int last = std::min(face->lastListed, 255);
    std::vector<GlyphImage> images(256);
    for (int c = face->firstListed; c <= last; ++c) {
        const gFaceGlyph& g = face->glyphs[c];
        glNewList(base + static_cast<GLuint>(c), GL_COMPILE);
        glBitmap(g.width, g.height, 0.0f, static_cast<GLfloat>(g.yOrigin), static_cast<GLfloat>(g.xAdvance), 0.0f,
                 g.bitmap);
        glEndList();
        font->glyphs[c] = g.metrics;
        GlyphImage& image = images[static_cast<size_t>(c)];
        image.yOrigin = static_cast<float>(g.yOrigin);
        image.xMove = static_cast<float>(g.xAdvance);
        if (g.bitmap != nullptr && g.width > 0 && g.height > 0) {
            image.width = g.width;
            image.height = g.height;
            size_t bytes = static_cast<size_t>(g.width + 7) / 8 * static_cast<size_t>(g.height);
            image.rows.assign(g.bitmap, g.bitmap + bytes);
        }
    }
    BuildAtlas(font, images);
    glPopClientAttrib();
    font->listBase = base;
    font->listType = kListTypeBitmap;
    font->charset = face->charset;
    font->firstListed = face->firstListed;
    font->lastListed = last;
    font->firstGlyph = face->firstGlyph;
    font->lastGlyph = face->lastGlyph;
    font->exactMetrics = face->exactMetrics;
    font->maxAdvance = face->maxAdvance;
    font->lineHeight = face->lineHeight;
    font->height = face->lineHeight;
    font->avgWidth = face->avgWidth;
    font->descent = face->descent;
    font->ascent = std::min(face->ascent, face->lineHeight);
    font->externalLeading = face->externalLeading;
    font->internalLeading = face->internalLeading;
    return true;
}

// One glyph of a FreeType face as a one-bit bitmap (rows bottom-up, whole bytes) placed
// as its glBitmap list places it, with the metrics the system reports for it (a black
// box of at least one pixel each way). A glyph that does not load is empty.
void RenderMonoGlyph(FT_Face face, FT_UInt index, bool embolden, bool oblique, GlyphImage* image,
                     gGlyphMetrics* g) {
    bool loaded = FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) == 0;
    if (loaded && embolden) FT_GlyphSlot_Embolden(face->glyph);
    if (loaded && oblique) FT_GlyphSlot_Oblique(face->glyph);
    if (loaded && face->glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        loaded = FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO) == 0;
    }
    const FT_Bitmap& bm = face->glyph->bitmap;
    int w = loaded ? static_cast<int>(bm.width) : 0;
    int h = loaded ? static_cast<int>(bm.rows) : 0;
    int left = loaded ? face->glyph->bitmap_left : 0;
    int top = loaded ? face->glyph->bitmap_top : 0;
    float advance = loaded ? static_cast<float>(std::lround(face->glyph->advance.x / 64.0)) : 0.0f;
    if (bm.pixel_mode != FT_PIXEL_MODE_MONO) w = h = 0;
    int stride = (w + 7) / 8;
    *image = GlyphImage{};
    image->xOrigin = static_cast<float>(-left);
    image->yOrigin = static_cast<float>(h - top);
    image->xMove = advance;
    if (w > 0 && h > 0) {
        image->width = w;
        image->height = h;
        image->rows.assign(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
        for (int r = 0; r < h; ++r) {
            // FreeType rows run top-down, glBitmap's bottom-up.
            const uint8_t* src = bm.pitch >= 0 ? bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch
                                               : bm.buffer + static_cast<ptrdiff_t>(h - 1 - r) * -bm.pitch;
            std::memcpy(image->rows.data() + static_cast<size_t>(h - 1 - r) * static_cast<size_t>(stride), src,
                        static_cast<size_t>(stride));
        }
    }
    // Black box as the system reports it: at least one pixel each way.
    float boxW = static_cast<float>(std::max(w, 1));
    float boxH = static_cast<float>(std::max(h, 1));
    if (advance == 0.0f) advance = boxW;
    g->advance = advance;
    g->leftBearing = static_cast<float>(left);
    g->rightBearing = advance - static_cast<float>(left) - boxW;
    g->height = boxH;
    g->top = static_cast<float>(top);
    g->bottom = static_cast<float>(top) - boxH;
}

// ---- Glyphs beyond the 8-bit set -----------------------------------------------------------
// A text's characters (see gTextCharBytes) map to glyph keys: below 256 the font's own
// 8-bit glyph, kExtraKey + code point a glyph made on first use from the font's face,
// else from the base face, else a stand-in box. Outline fonts draw "?" for them.
constexpr uint32_t kExtraKey = 0x100;

}  // namespace

struct gFontExtra {
    FT_Face face = nullptr;  // the font's own face (system fonts), else none
    uint32_t emX = 0, em = 0;
    bool embolden = false, oblique = false;
    std::unordered_map<uint32_t, ExtraGlyph> glyphs;
};

namespace {

// The base face that covers most scripts, opened once.
FT_Face BaseFace() {
    static FT_Face face = [] {
        fontft::FaceRequest request;
        request.family = "DejaVu Sans";
        fontft::FaceMatch match;
        return fontft::OpenFace(request, &match) ? match.face : nullptr;
    }();
    return face;
}

// A hollow box a little lower than the font's capitals, for a character no face has.
void StandInGlyph(const gFont* font, GlyphImage* image, gGlyphMetrics* g) {
    const float ascent = font->ascent > 0 ? font->ascent : 9.0f;
    const int h = std::max(5, static_cast<int>(std::lround(ascent * 0.8f)));
    const int w = std::max(4, static_cast<int>(std::lround(h * 0.6f)));
    const int stride = (w + 7) / 8;
    *image = GlyphImage{};
    image->width = w;
    image->height = h;
    image->xOrigin = -1.0f;
    image->xMove = static_cast<float>(w + 2);
    image->rows.assign(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            if (r == 0 || r == h - 1 || c == 0 || c == w - 1) {
                image->rows[static_cast<size_t>(r * stride + c / 8)] |= static_cast<uint8_t>(0x80u >> (c % 8));
            }
        }
    }
    *g = gGlyphMetrics{};
    g->advance = image->xMove;
    g->leftBearing = 1.0f;
    g->rightBearing = 1.0f;
    g->height = static_cast<float>(h);
    g->top = static_cast<float>(h);
    g->bottom = 0.0f;
}

ExtraGlyph MakeExtraGlyph(const gFont* font, const gFontExtra& x, uint32_t code) {
    ExtraGlyph e;
    if (x.face != nullptr) {
        const FT_UInt index = FT_Get_Char_Index(x.face, code);
        if (index != 0 && FT_Set_Pixel_Sizes(x.face, x.emX, x.em) == 0) {
            RenderMonoGlyph(x.face, index, x.embolden, x.oblique, &e.image, &e.metrics);
            return e;
        }
    }
    if (FT_Face base = BaseFace(); base != nullptr) {
        // The built-in raster face has no em: one a third above its ascent matches its capitals.
        const uint32_t em = x.em != 0 ? x.em
                                      : static_cast<uint32_t>(std::clamp(std::lround(font->ascent * 4.0f / 3.0f), 6L, 200L));
        const FT_UInt index = FT_Get_Char_Index(base, code);
        if (index != 0 && FT_Set_Pixel_Sizes(base, em, em) == 0) {
            RenderMonoGlyph(base, index, x.embolden, x.oblique, &e.image, &e.metrics);
            return e;
        }
    }
    StandInGlyph(font, &e.image, &e.metrics);
    return e;
}

// The glyph of a code point beyond the 8-bit set, made on first use (a cache: fonts are
// measured through const pointers).
ExtraGlyph& ExtraOf(const gFont* font, uint32_t code) {
    auto* f = const_cast<gFont*>(font);
    if (f->extra == nullptr) f->extra = new gFontExtra{};
    auto found = f->extra->glyphs.find(code);
    if (found != f->extra->glyphs.end()) return found->second;
    return f->extra->glyphs.emplace(code, MakeExtraGlyph(font, *f->extra, code)).first->second;
}

// One character of a text: its glyph key and its bytes. `available` bytes may be read
// (a NUL-ended text: the caller stops at its NUL).
struct TextChar {
    uint32_t key = 0;
    int32_t bytes = 1;
};

TextChar CharOf(const gFont* font, const uint8_t* p, size_t available) {
    if (p[0] < 0x80) return {p[0], 1};
    uint32_t code = 0;
    const int n = pf::Utf8SequenceAt(reinterpret_cast<const char*>(p), available, &code);
    if (n == 0) return {p[0], 1};
    const int byte = pf::UnicodeToCp1251(code);
    if (byte >= 0) return {static_cast<uint32_t>(byte), n};
    if (font != nullptr && font->listType == kListTypeOutline) return {'?', n};
    return {kExtraKey + code, n};
}

// Bytes that may be read from p: `left` of a counted run, else up to the NUL (at most 4).
size_t Available(const uint8_t* p, int32_t left) {
    if (left >= 0) return static_cast<size_t>(left);
    size_t k = 0;
    while (k < 4 && p[k] != 0) ++k;
    return k;
}

// Walks the characters of a text: `n` bytes (n < 0: up to the NUL); with `stopAtNul` a
// NUL ends a counted text too (measuring), else a counted run is taken whole (drawing
// character 0, the check mark).
struct CharWalk {
    const gFont* font;
    const uint8_t* p;
    int32_t left;
    bool stopAtNul;
    int32_t at = 0;  // bytes walked
    bool Next(TextChar* c) {
        if (left == 0 || p == nullptr) return false;
        if ((left < 0 || stopAtNul) && *p == 0) return false;
        size_t available = Available(p, left);
        if (left >= 0 && stopAtNul) available = strnlen(reinterpret_cast<const char*>(p), available);
        *c = CharOf(font, p, std::max<size_t>(available, 1));
        p += c->bytes;
        at += c->bytes;
        if (left > 0) left -= c->bytes;
        return true;
    }
};

CharWalk Walk(const gFont* font, const char* text, int32_t n, bool stopAtNul = true) {
    return CharWalk{font, reinterpret_cast<const uint8_t*>(text), text == nullptr ? 0 : n, stopAtNul};
}

// ---- System font lists (fontconfig + FreeType monochrome glyphs) -------------------------
bool BuildSystemLists(gFont* font) {
    intptr_t code = font->face;
    fontft::FaceRequest request;
    if (code == kFaceByName) {
        request.family = font->faceName;
        if (font->logParams != nullptr) {
            request.weight = font->logParams->weight;
            request.italic = font->logParams->italic != 0;
        }
    } else {
        request.pattern = gStockFontPattern(code);
    }
    fontft::FaceMatch match;
    if (!fontft::OpenFace(request, &match)) return false;
    FT_Face face = match.face;
    double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048.0;
    // Em size: a negative height is the em height, a positive one the cell height.
    double em = match.pixelSize > 0 ? match.pixelSize : 12.0;
    int32_t height = font->logParams != nullptr ? font->logParams->height : 0;
    if (height < 0) {
        em = -static_cast<double>(height);
    } else if (height > 0) {
        fontft::CellMetrics unit = fontft::FaceCellMetrics(face, upem);
        double cell = (unit.ascent + unit.descent) / upem;
        em = cell > 0 ? height / cell : height;
    }
    em = std::clamp(em, 1.0, 400.0);
    double emX = em;
    int32_t width = font->logParams != nullptr ? font->logParams->width : 0;
    if (width > 0) {
        fontft::CellMetrics unit = fontft::FaceCellMetrics(face, 1.0);
        if (unit.avgWidth > 0) emX = std::clamp(width / unit.avgWidth, 1.0, 400.0);
    }
    if (FT_Set_Pixel_Sizes(face, static_cast<FT_UInt>(std::lround(emX)), static_cast<FT_UInt>(std::lround(em))) != 0) {
        return false;
    }
    GLuint base = glGenLists(256);
    if (base == 0) return false;
    fontft::CellMetrics cell = fontft::FaceCellMetrics(face, std::round(em));
    float ascent = static_cast<float>(std::round(cell.ascent));
    float descent = static_cast<float>(std::round(cell.descent));
    float tmHeight = ascent + descent;

    PushBitmapUnpacking();
    std::vector<GlyphImage> images(256);
    float maxAdvance = 0, maxBox = 0;
    for (int c = 0; c < 256; ++c) {
        FT_UInt index = fontft::GlyphIndex(face, static_cast<uint8_t>(c));
        GlyphImage& image = images[static_cast<size_t>(c)];
        gGlyphMetrics& g = font->glyphs[c];
        RenderMonoGlyph(face, index, match.needEmbolden, match.needOblique, &image, &g);
        glNewList(base + static_cast<GLuint>(c), GL_COMPILE);
        glBitmap(image.width, image.height, image.xOrigin, image.yOrigin, image.xMove, 0.0f,
                 image.height > 0 ? image.rows.data() : nullptr);
        glEndList();
        maxAdvance = std::max(maxAdvance, g.advance);
        maxBox = std::max(maxBox, g.height);
    }
    BuildAtlas(font, images);
    glPopClientAttrib();
    // Characters beyond the 8-bit set come from the same face at the same size.
    delete font->extra;
    font->extra = new gFontExtra{};
    font->extra->face = face;
    font->extra->emX = static_cast<uint32_t>(std::lround(emX));
    font->extra->em = static_cast<uint32_t>(std::lround(em));
    font->extra->embolden = match.needEmbolden;
    font->extra->oblique = match.needOblique;

    font->listBase = base;
    font->listType = kListTypeBitmap;
    font->charset = font->charset > 255 ? kDefaultCharset : font->charset;
    font->firstListed = 0;
    font->lastListed = 255;
    font->firstGlyph = 32;
    font->lastGlyph = 255;
    font->exactMetrics = 1;
    font->height = tmHeight;
    font->lineHeight = tmHeight;
    font->descent = descent;
    font->internalLeading = static_cast<float>(std::max(0.0, tmHeight - std::round(em)));
    font->avgWidth = static_cast<float>(std::round(cell.avgWidth));
    float external = static_cast<float>(std::round(cell.externalLeading));
    if (external < font->externalLeading) {
        float reduced = font->lineHeight - (font->externalLeading - external);
        if (reduced > font->descent) font->lineHeight = reduced;
    } else {
        font->externalLeading = external;
    }
    font->maxAdvance = maxAdvance;
    font->ascent = std::min(maxBox, font->lineHeight);
    return true;
}

struct BatchQuad {
    float x0, y0, x1, y1, s0, t0, s1, t1;
    GLfloat colour[4];
};

struct BatchBox {
    float x0, y0, x1, y1;
};

struct TextBatch {
    bool open = false;
    const gFontAtlas* atlas = nullptr;
    GLuint texture = 0;
    GLint vp[4] = {0, 0, 0, 0};
    std::vector<BatchQuad> quads;
    std::vector<BatchBox> boxes;
};

TextBatch& Batch() {
    static TextBatch batch;
    return batch;
}

void FlushBatch();

void DeleteLists(gFont* font) {
    if (font->listBase == 0 && font->atlas == nullptr) {
        delete font->extra;
        font->extra = nullptr;
        return;
    }
    if (font->source != kFontSourceShared && WindowReady(font->window) && (gToolkitFlags() & kFlagClosing) == 0 &&
        gWinMakeCurrent(font->window)) {
        // The atlas textures go with the lists (at shut-down with the contexts).
        if (font->listBase != 0) glDeleteLists(font->listBase, 256);
        if (font->extra != nullptr) {
            for (auto& entry : font->extra->glyphs)
                if (entry.second.list != 0) glDeleteLists(entry.second.list, 1);
        }
        if (font->atlas != nullptr && Batch().atlas == font->atlas) FlushBatch();
        if (font->atlas != nullptr && font->atlas->texture != 0) glDeleteTextures(1, &font->atlas->texture);
        if (font->atlas != nullptr && font->atlas->runs != nullptr) glDeleteTextures(1, &font->atlas->runs->texture);
    }
    if (font->atlas != nullptr) delete font->atlas->runs;
    if (font->atlas != nullptr) gTextBatchForget(font->atlas);
    delete font->atlas;
    font->atlas = nullptr;
    delete font->extra;
    font->extra = nullptr;
    font->listBase = 0;
}

float Scale(const gFont* font) { return gFontScale(font); }

const gGlyphMetrics& G(const gFont* font, uint32_t key) {
    return key < 256 ? font->glyphs[key] : ExtraOf(font, key - kExtraKey).metrics;
}

// Window-space direction of the current frame's axes (+1 or -1).
void FrameSigns(float* sx, float* sy) {
    GLfloat mv[16], pr[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, pr);
    // Column 0 and column 1 of P * MV, first two rows.
    float xx = pr[0] * mv[0] + pr[4] * mv[1];
    float yy = pr[1] * mv[4] + pr[5] * mv[5];
    *sx = xx < 0 ? -1.0f : 1.0f;
    *sy = yy < 0 ? -1.0f : 1.0f;
}

// Turns the current frame so that outline glyphs stand upright and run rightwards.
void OutlineUpright() {
    float sx = 1, sy = 1;
    FrameSigns(&sx, &sy);
    if (sx < 0 && sy < 0) {
        glRotatef(180.0f, 0.0f, 0.0f, 1.0f);
    } else if (sx < 0) {
        glRotatef(180.0f, 0.0f, 1.0f, 0.0f);
    } else if (sy < 0) {
        glRotatef(180.0f, 1.0f, 0.0f, 0.0f);
    }
}

// The list of a glyph beyond the 8-bit set, compiled on first use (the font's window
// context is current while drawing).
GLuint ExtraList(const gFont* font, uint32_t key) {
    ExtraGlyph& g = ExtraOf(font, key - kExtraKey);
    if (g.list != 0) return g.list;
    g.list = glGenLists(1);
    if (g.list == 0) return 0;
    PushBitmapUnpacking();
    glNewList(g.list, GL_COMPILE);
    glBitmap(g.image.width, g.image.height, g.image.xOrigin, g.image.yOrigin, g.image.xMove, 0.0f,
             g.image.height > 0 ? g.image.rows.data() : nullptr);
    glEndList();
    glPopClientAttrib();
    return g.list;
}

// A run as the font's 8-bit glyphs: false (nothing written) when a character needs a
// glyph beyond them. UTF-8 sequences of characters the code page has become its bytes.
bool RunAsBytes(const gFont* font, const char* text, int32_t count, std::string* bytes) {
    bytes->clear();
    CharWalk walk = Walk(font, text, count, false);
    for (TextChar c; walk.Next(&c);) {
        if (c.key >= 256) return false;
        bytes->push_back(static_cast<char>(c.key));
    }
    return true;
}

bool HasHighBytes(const char* text, int32_t count) {
    for (int32_t i = 0; i < count; ++i)
        if (static_cast<uint8_t>(text[i]) >= 0x80) return true;
    return false;
}

void CallRun(const gFont* font, const char* text, int32_t count, bool cut) {
    glListBase(font->listBase);
    if (count > 0 && !HasHighBytes(text, count)) {
        glCallLists(count, GL_UNSIGNED_BYTE, text);
    } else if (count > 0) {
        CharWalk walk = Walk(font, text, count, false);
        for (TextChar c; walk.Next(&c);) {
            if (c.key < 256) glCallList(font->listBase + c.key);
            else if (GLuint list = ExtraList(font, c.key); list != 0) glCallList(list);
        }
    }
    if (cut) glCallLists(3, GL_UNSIGNED_BYTE, "...");
}

int32_t RunLength(const char* text, int32_t count) {
    if (text == nullptr) return 0;
    // A counted run (a single character, say) need not end with a NUL: nothing past its
    // count is read.
    const size_t n = count >= 0 ? strnlen(text, static_cast<size_t>(count)) : std::strlen(text);
    return static_cast<int32_t>(std::min<size_t>(n, 0x7FFFFFFF));
}

// The current frame: model-view and projection matrices and the viewport.
struct Frame {
    GLfloat mv[16], pr[16];
    GLint vp[4];
};

void ReadFrame(Frame* frame) {
    glGetFloatv(GL_MODELVIEW_MATRIX, frame->mv);
    glGetFloatv(GL_PROJECTION_MATRIX, frame->pr);
    glGetIntegerv(GL_VIEWPORT, frame->vp);
}

// Window position (pixels from the bottom-left of the window) of frame point (x, y).
void WindowPoint(const Frame& frame, float x, float y, float* wx, float* wy) {
    const GLfloat* mv = frame.mv;
    const GLfloat* pr = frame.pr;
    const GLint* vp = frame.vp;
    float eye[4];
    for (int r = 0; r < 4; ++r) eye[r] = mv[r] * x + mv[4 + r] * y + mv[12 + r];
    float clip[4];
    for (int r = 0; r < 4; ++r) clip[r] = pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
    float w = clip[3] != 0.0f ? clip[3] : 1.0f;
    *wx = static_cast<float>(vp[0]) + (clip[0] / w + 1.0f) * 0.5f * static_cast<float>(vp[2]);
    *wy = static_cast<float>(vp[1]) + (clip[1] / w + 1.0f) * 0.5f * static_cast<float>(vp[3]);
}

// The GL state an atlas run changes, kept to be put back afterwards.
struct AtlasState {
    GLboolean texture2d = GL_FALSE, alphaTest = GL_FALSE;
    GLint binding = 0, alphaFunc = GL_ALWAYS, envMode = GL_MODULATE;
    GLfloat alphaRef = 0;
};

// Sets up window-pixel drawing (viewport vp) with the atlas texture and an alpha test
// that keeps the inked texels only.
void AtlasBegin(GLuint texture, const GLint vp[4], AtlasState* saved) {
    saved->texture2d = glIsEnabled(GL_TEXTURE_2D);
    saved->alphaTest = glIsEnabled(GL_ALPHA_TEST);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved->binding);
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &saved->alphaFunc);
    glGetFloatv(GL_ALPHA_TEST_REF, &saved->alphaRef);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &saved->envMode);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(vp[0], vp[0] + vp[2], vp[1], vp[1] + vp[3], -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
}

void AtlasEnd(const AtlasState& saved) {
    glAlphaFunc(static_cast<GLenum>(saved.alphaFunc), saved.alphaRef);
    if (!saved.alphaTest) glDisable(GL_ALPHA_TEST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, saved.envMode);
    if (!saved.texture2d) glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(saved.binding));
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

// Emits one quad per inked glyph of the run (inside glBegin(GL_QUADS)) from window
// raster position (*rx, ry), which moves on as the glBitmap lists would move it. A
// glyph lands where glBitmap puts it: its lower-left pixel at floor(raster + 0.0001 -
// origin); every texel maps to one pixel, sampled at its centre.
void AtlasQuads(const gFontAtlas* atlas, float* rx, float ry, float z, const uint8_t* text, int32_t n) {
    const float sw = 1.0f / static_cast<float>(atlas->width);
    const float th = 1.0f / static_cast<float>(atlas->height);
    constexpr float kEpsilon = 0.0001f;
    float x = *rx;
    for (int32_t i = 0; i < n; ++i) {
        const gAtlasGlyph& g = atlas->glyphs[text[i]];
        if (g.width > 0) {
            float left = std::floor(x + kEpsilon - g.xOrigin);
            float bottom = std::floor(ry + kEpsilon - g.yOrigin);
            float right = left + g.width, top = bottom + g.height;
            float s0 = g.x * sw, s1 = (g.x + g.width) * sw;
            float t0 = g.y * th, t1 = (g.y + g.height) * th;
            glTexCoord2f(s0, t0);
            glVertex3f(left, bottom, z);
            glTexCoord2f(s1, t0);
            glVertex3f(right, bottom, z);
            glTexCoord2f(s1, t1);
            glVertex3f(right, top, z);
            glTexCoord2f(s0, t1);
            glVertex3f(left, top, z);
        }
        x += g.xMove;
    }
    *rx = x;
}

// Draws a run from the atlas at window raster position (*rx, ry) and depth z in the
// ortho frame (0 for depth 0.5). False (nothing drawn) when the current colour is fully
// transparent: the alpha test would drop what glBitmap draws.
bool AtlasRun(const gFont* font, const GLint vp[4], float* rx, float ry, float z, const char* text, int32_t n,
              bool cut) {
    const gFontAtlas* atlas = font->atlas;
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    if (!(colour[3] > 0.0f)) return false;
    AtlasState saved;
    AtlasBegin(atlas->texture, vp, &saved);
    glBegin(GL_QUADS);
    AtlasQuads(atlas, rx, ry, z, Bytes(text), n);
    if (cut) AtlasQuads(atlas, rx, ry, z, Bytes("..."), 3);
    glEnd();
    AtlasEnd(saved);
    return true;
}

// ---- Text batch of a paint pass ---------------------------------------------------------
// Inside a paint pass the placed atlas runs are kept (window pixels, with their colour)
// and drawn together when the pass ends or something that could be drawn over them
// comes: a state change between runs costs far more than the quads themselves.
void FlushBatch() {
    TextBatch& batch = Batch();
    if (batch.quads.empty() || batch.atlas == nullptr || batch.texture == 0) {
        batch.quads.clear();
        batch.boxes.clear();
        return;
    }
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    AtlasState saved;
    AtlasBegin(batch.texture, batch.vp, &saved);
    glBegin(GL_QUADS);
    const GLfloat* last = nullptr;
    for (const BatchQuad& q : batch.quads) {
        if (last == nullptr || std::memcmp(last, q.colour, sizeof q.colour) != 0) glColor4fv(q.colour);
        last = q.colour;
        glTexCoord2f(q.s0, q.t0);
        glVertex2f(q.x0, q.y0);
        glTexCoord2f(q.s1, q.t0);
        glVertex2f(q.x1, q.y0);
        glTexCoord2f(q.s1, q.t1);
        glVertex2f(q.x1, q.y1);
        glTexCoord2f(q.s0, q.t1);
        glVertex2f(q.x0, q.y1);
    }
    glEnd();
    AtlasEnd(saved);
    glColor4fv(colour);
    batch.quads.clear();
    batch.boxes.clear();
}

// Adds a run at window raster position (*rx, ry) to the batch. False when it cannot
// wait (no batch open, another atlas or viewport, a transparent colour).
// The cache entry of a run (key: the characters drawn), composed and uploaded when new.
// Null when the run cannot be kept (too long, no ink, the cache in use and full).
const gRunCache::Entry* CachedRun(const gFontAtlas* atlas, const std::string& key, bool cacheInBatch) {
    gRunCache* cache = atlas->runs;
    auto found = cache->entries.find(key);
    if (found != cache->entries.end()) return &found->second;
    // Extent of the run's ink from its start pixel.
    int32_t minX = 1 << 20, maxX = -(1 << 20), at = 0;
    for (char ch : key) {
        const gAtlasGlyph& g = atlas->glyphs[static_cast<uint8_t>(ch)];
        if (g.width > 0) {
            int32_t left = at - static_cast<int32_t>(g.xOrigin);
            minX = std::min(minX, left);
            maxX = std::max(maxX, left + g.width);
        }
        at += static_cast<int32_t>(g.xMove);
        if (std::abs(at) > 100000) return nullptr;
    }
    if (maxX <= minX || maxX - minX > gRunCache::kLongest) return nullptr;
    if (!MakeRunTexture(cache)) return nullptr;
    int32_t width = maxX - minX;
    if (cache->nextX + width > gRunCache::kWidth) {
        cache->nextX = 0;
        cache->nextY += cache->shelf + 1;
    }
    if (cache->nextY + cache->shelf > gRunCache::kHeight) {
        // Full: start again unless quads of the batch still sample the texture.
        if (cacheInBatch) return nullptr;
        cache->entries.clear();
        cache->nextX = cache->nextY = 0;
    }
    std::vector<uint8_t>& image = cache->image;
    image.assign(static_cast<size_t>(width) * static_cast<size_t>(cache->shelf), 0);
    at = 0;
    for (char ch : key) {
        const gAtlasGlyph& g = atlas->glyphs[static_cast<uint8_t>(ch)];
        if (g.width > 0) {
            int32_t col0 = at - static_cast<int32_t>(g.xOrigin) - minX;
            int32_t row0 = -static_cast<int32_t>(g.yOrigin) - cache->bottom;
            for (int32_t r = 0; r < g.height; ++r) {
                const uint8_t* src = cache->glyphTexels.data() +
                                     static_cast<size_t>(g.y + r) * static_cast<size_t>(atlas->width) + g.x;
                uint8_t* dst = image.data() + static_cast<size_t>(row0 + r) * static_cast<size_t>(width) + col0;
                for (int32_t c = 0; c < g.width; ++c) dst[c] = std::max(dst[c], src[c]);
            }
        }
        at += static_cast<int32_t>(g.xMove);
    }
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, cache->texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, cache->nextX, cache->nextY, width, cache->shelf, GL_ALPHA, GL_UNSIGNED_BYTE,
                    image.data());
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    glPopClientAttrib();
    gRunCache::Entry entry;
    entry.x = static_cast<int16_t>(cache->nextX);
    entry.y = static_cast<int16_t>(cache->nextY);
    entry.width = static_cast<int16_t>(width);
    entry.left = static_cast<int16_t>(minX);
    cache->nextX += width + 1;
    return &cache->entries.emplace(key, entry).first->second;
}

bool BatchRun(const gFont* font, const GLint vp[4], float* rx, float ry, const char* text, int32_t n, bool cut) {
    TextBatch& batch = Batch();
    if (!batch.open) return false;
    const gFontAtlas* atlas = font->atlas;
    BatchQuad q{};
    glGetFloatv(GL_CURRENT_COLOR, q.colour);
    if (!(q.colour[3] > 0.0f)) return false;
    // One quad from the run cache when the run can be kept there.
    const gRunCache::Entry* entry = nullptr;
    if (atlas->runs != nullptr) {
        std::string key(text, static_cast<size_t>(n));
        if (cut) key += "...";
        bool inBatch = !batch.quads.empty() && batch.texture == atlas->runs->texture;
        entry = CachedRun(atlas, key, inBatch);
    }
    GLuint texture = entry != nullptr ? atlas->runs->texture : atlas->texture;
    if (batch.atlas != atlas || batch.texture != texture || std::memcmp(batch.vp, vp, sizeof batch.vp) != 0) {
        FlushBatch();
        batch.atlas = atlas;
        batch.texture = texture;
        std::memcpy(batch.vp, vp, sizeof batch.vp);
    }
    constexpr float kEpsilon = 0.0001f;
    if (entry != nullptr) {
        const gRunCache* cache = atlas->runs;
        float advance = 0;
        for (int32_t i = 0; i < n; ++i) advance += atlas->glyphs[static_cast<uint8_t>(text[i])].xMove;
        if (cut) advance += 3.0f * atlas->glyphs[static_cast<uint8_t>('.')].xMove;
        const float sw = 1.0f / static_cast<float>(gRunCache::kWidth);
        const float th = 1.0f / static_cast<float>(gRunCache::kHeight);
        q.x0 = std::floor(*rx + kEpsilon) + entry->left;
        q.y0 = std::floor(ry + kEpsilon) + static_cast<float>(cache->bottom);
        q.x1 = q.x0 + entry->width;
        q.y1 = q.y0 + cache->shelf;
        q.s0 = entry->x * sw;
        q.s1 = (entry->x + entry->width) * sw;
        q.t0 = entry->y * th;
        q.t1 = (entry->y + cache->shelf) * th;
        batch.quads.push_back(q);
        batch.boxes.push_back({q.x0, q.y0, q.x1, q.y1});
        *rx += advance;
        return true;
    }
    const float sw = 1.0f / static_cast<float>(atlas->width);
    const float th = 1.0f / static_cast<float>(atlas->height);
    BatchBox box{1e30f, 1e30f, -1e30f, -1e30f};
    float x = *rx;
    auto add = [&](const uint8_t* p, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            const gAtlasGlyph& g = atlas->glyphs[p[i]];
            if (g.width > 0) {
                q.x0 = std::floor(x + kEpsilon - g.xOrigin);
                q.y0 = std::floor(ry + kEpsilon - g.yOrigin);
                q.x1 = q.x0 + g.width;
                q.y1 = q.y0 + g.height;
                q.s0 = g.x * sw;
                q.s1 = (g.x + g.width) * sw;
                q.t0 = g.y * th;
                q.t1 = (g.y + g.height) * th;
                batch.quads.push_back(q);
                box = {std::min(box.x0, q.x0), std::min(box.y0, q.y0), std::max(box.x1, q.x1), std::max(box.y1, q.y1)};
            }
            x += g.xMove;
        }
    };
    add(Bytes(text), n);
    if (cut) add(Bytes("..."), 3);
    if (box.x0 < box.x1) batch.boxes.push_back(box);
    *rx = x;
    return true;
}

// Whether the run of n characters can be drawn from the atlas of 8-bit glyphs: a run that
// holds other characters is drawn from the lists, unless each of them has an 8-bit glyph,
// in which case the run is rewritten as those bytes (into *bytes, text and n follow).
bool AtlasRun(const gFont* font, const char** text, int32_t* n, std::string* bytes) {
    const bool atlas = font->listType != kListTypeOutline && font->atlas != nullptr;
    if (!HasHighBytes(*text, *n)) return atlas;
    if (!RunAsBytes(font, *text, *n, bytes)) return false;
    *text = bytes->data();
    *n = static_cast<int32_t>(bytes->size());
    return atlas;
}

// Draws n characters of text (n already bounded) with the baseline start at frame
// point (x, y), moved by (dx, dy) window pixels.
void DrawPlaced(const gFont* font, float x, float y, float dx, float dy, const char* text, int32_t n, bool cut) {
    if (n == 0 && !cut) return;
    // The atlas holds the 8-bit glyphs: a run with others is drawn from the lists.
    std::string bytes;
    const bool fromAtlas = AtlasRun(font, &text, &n, &bytes);
    GLint renderMode = GL_RENDER;
    if (fromAtlas) glGetIntegerv(GL_RENDER_MODE, &renderMode);
    if (fromAtlas && renderMode == GL_RENDER) {
        Frame frame;
        ReadFrame(&frame);
        const GLint* vp = frame.vp;
        float wx = 0, wy = 0;
        WindowPoint(frame, x, y, &wx, &wy);
        // The raster position the list path reaches: the viewport corner moved by the
        // difference, then by the offset.
        float v0 = static_cast<float>(vp[0]), v1 = static_cast<float>(vp[1]);
        float rx = v0 + (wx - v0), ry = v1 + (wy - v1);
        if (dx != 0.0f || dy != 0.0f) {
            rx += dx;
            ry += dy;
        }
        if (BatchRun(font, vp, &rx, ry, text, n, cut)) return;
        FlushBatch();
        if (AtlasRun(font, vp, &rx, ry, 0.0f, text, n, cut)) return;
    }
    FlushBatch();
    glPushAttrib(GL_LIST_BIT);
    if (font->listType == kListTypeOutline) {
        glPushMatrix();
        float sx = 1, sy = 1;
        FrameSigns(&sx, &sy);
        glTranslatef(x + dx * sx, y + dy * sy, 0.0f);
        OutlineUpright();
        glScalef(kOutlineScale, kOutlineScale, kOutlineScale);
        CallRun(font, text, n, cut);
        glPopMatrix();
    } else {
        gTextRasterPos(x, y);
        if (dx != 0.0f || dy != 0.0f) glBitmap(0, 0, 0.0f, 0.0f, dx, dy, nullptr);
        CallRun(font, text, n, cut);
    }
    glPopAttrib();
}

}  // namespace

// ---- Tables and toolkit state ----------------------------------------------------------------
uint32_t gCp1251ToUnicode(uint8_t code) { return pf::Cp1251ToUnicode(code); }

const char* gStockFontPattern(intptr_t code) {
    switch (code) {
        case kStockOemFixed: return "monospace:pixelsize=12";
        case kStockAnsiFixed: return "monospace:pixelsize=13";
        case kStockSystem:
        case kStockDeviceDefault: return "sans-serif:weight=bold:pixelsize=16";
        case kStockSystemFixed: return "monospace:pixelsize=15";
        case kStockDefaultGui: return "sans-serif:pixelsize=11";
        default: return "sans-serif:pixelsize=13";  // 12, and 15 which is not a font
    }
}

intptr_t& gFontDefaultSelector() { return gDefaultSelector; }

void gFontChooseDefault(int selector) {
    gDefaultSelector = selector == 1 ? gFaceValue(gBuiltinFace()) : kStockAnsiVar;
}

gFont*& gFontCurrent() { return gCurrentFontPtr; }

gFontResetFn gFontSetResetHook(gFontResetFn hook) {
    gFontResetFn previous = gResetHook;
    gResetHook = hook;
    return previous;
}

void gFontInstallHooks() {
    gToolkitHooks& hooks = gHooks();
    hooks.realizeFont = gFontRealizeForWindow;
    hooks.buildFontLists = gFontBuildForWindow;
    hooks.releaseFont = gFontRelease;
}

bool gFontFaceCheck(const gFontFace* face) {
    if (face == nullptr || face->tag != kFontFaceTag || face->glyphs == nullptr) return false;
    if (face->firstListed < 0 || face->firstListed > face->lastListed || face->lastListed > 255) return false;
    if (face->firstGlyph < 0 || face->firstGlyph > face->lastGlyph || face->lastGlyph > 255) return false;
    if (face->exactMetrics > 1) return false;
    if (!Valid(face->maxAdvance, 0, 200) || !Valid(face->lineHeight, 0, 200)) return false;
    float limit = std::max(face->lineHeight, face->maxAdvance);
    for (float v : {face->descent, face->ascent, face->externalLeading, face->internalLeading}) {
        if (!Valid(v, 0, limit)) return false;
    }
    return Valid(face->avgWidth, 0, 200);
}

// ---- Records ----------------------------------------------------------------------------------
gFont* gFontForFace(gWindow* window, gFont* reuse, const gFontFace* face) {
    if (face == nullptr) return nullptr;
    intptr_t value = gFaceValue(face);
    if (reuse != nullptr && reuse->window == window && reuse->source == kFontSourceBitmap && reuse->face == value) {
        if (reuse->listBase == 0 && WindowReady(window)) gFontBuildBitmaps(reuse);
        return reuse;
    }
    gFont* font = reuse;
    if (font != nullptr) {
        gFontReset(font);
    } else {
        font = new (std::nothrow) gFont{};
        if (font == nullptr) return nullptr;
    }
    font->source = kFontSourceBitmap;
    font->face = value;
    font->charset = face->charset;
    font->window = window;
    if (WindowReady(window)) gFontBuildBitmaps(font);
    return font;
}

gFont* gFontGet(gWindow* window, intptr_t face, const char* faceName, int32_t height, int32_t width,
                int32_t charset, uint8_t italic, int32_t weight, gFont* reuse) {
    if (charset > 255) charset = kDefaultCharset;
    if (gFaceIsRecord(face)) return gFontForFace(window, reuse, reinterpret_cast<const gFontFace*>(face));
    if (faceName == nullptr && face == kFaceByName) return nullptr;
    if (weight < 0 || weight > 900) weight = 400;
    if (reuse != nullptr && reuse->face == face && reuse->window == window && reuse->charset == charset &&
        (face != kFaceByName ||
         (reuse->logParams != nullptr && reuse->logParams->height == height && reuse->logParams->width == width &&
          NamesEqualNoCase(reuse->faceName, faceName)))) {
        if (reuse->listBase == 0 && WindowReady(window)) gFontEnsure(reuse, false);
        return reuse;
    }
    gFont* font = reuse;
    bool fresh = font == nullptr;
    if (!fresh) {
        gFontReset(font);
    } else {
        font = new (std::nothrow) gFont{};
        if (font == nullptr) return nullptr;
    }
    if (face == kFaceByName) {
        font->logParams = new (std::nothrow) gFontParams{};
        if (font->logParams == nullptr) {
            if (fresh) delete font;
            return nullptr;
        }
        font->logParams->width = width;
        font->logParams->height = height;
        font->logParams->italic = italic;
        font->logParams->weight = weight;
    }
    if (faceName != nullptr) {
        font->faceName = CopyName(faceName);
        if (font->faceName == nullptr) {
            delete font->logParams;
            font->logParams = nullptr;
            if (fresh) delete font;
            return nullptr;
        }
    }
    font->source = kFontSourceBitmap;
    font->face = face;
    font->charset = charset;
    font->window = window;
    if (WindowReady(window)) gFontBuildBitmaps(font);
    return font;
}

void gFontReset(gFont* font) {
    if (font == nullptr) return;
    if (gCurrentFontPtr == font) gCurrentFontPtr = nullptr;
    if (gEllipsisFont == font) gEllipsisFont = nullptr;
    if (gResetHook != nullptr) gResetHook(font);
    DeleteLists(font);
    font->source = kFontSourceNone;
    font->face = 0;
    font->window = nullptr;
    font->listType = 0;
    std::free(font->faceName);
    font->faceName = nullptr;
    delete font->logParams;
    font->logParams = nullptr;
}

void gFontRelease(gFont* font) {
    if (font == nullptr) return;
    if (font->refCount > 1) {
        --font->refCount;
        return;
    }
    gFontReset(font);
    delete font;
}

bool RefAssign(gFont** slot, gFont* font) {
    if (slot == nullptr || font == nullptr) return false;
    if (*slot == nullptr) {
        ++font->refCount;
        *slot = font;
        return true;
    }
    if (*slot == font) return true;
    if ((*slot)->window != font->window) return false;
    ++font->refCount;
    gFont* old = *slot;
    *slot = font;
    gFontRelease(old);
    return true;
}

bool gFontBuildBitmaps(gFont* font) {
    if (font == nullptr) return false;
    if (font->listBase != 0) return true;
    if (!WindowReady(font->window) || !gWinMakeCurrent(font->window)) return false;
    bool ok = gFaceIsRecord(font->face) ? BuildFaceLists(font, reinterpret_cast<const gFontFace*>(font->face))
                                        : BuildSystemLists(font);
    if (!ok) {
        GLenum gl = glGetError();
        LogPrintf("error: wglUseFontBitmaps()");
        if (gl != GL_NO_ERROR) LogPrintf("\t\tcode %d, gl code %d", 0, static_cast<int>(gl));
    }
    return ok;
}

bool gFontEnsure(gFont* font, bool retry) {
    if (font == nullptr) return false;
    if (font->listBase != 0) return true;
    switch (font->source) {
        case kFontSourceBitmap:
            if (gFontBuildBitmaps(font)) return true;
            if (!retry) return false;
            for (intptr_t code : {kStockAnsiVar, kStockAnsiFixed}) {
                font->face = code;
                if (gFontBuildBitmaps(font)) return true;
            }
            return false;
        case kFontSourceOutline:
            if (gFontBuildOutlines(font)) return true;
            if (!retry) return false;
            {
                char* arial = CopyName("Arial");
                if (arial == nullptr) return false;
                std::free(font->faceName);
                font->faceName = arial;
            }
            return gFontBuildOutlines(font);
        default: return false;
    }
}

// ---- Window hooks ------------------------------------------------------------------------------
gFont* gFontRealizeForWindow(gWindow* window, const char* face, int mode) {
    if (window == nullptr || mode < 0) return nullptr;
    gFont* font = nullptr;
    // Every attempt re-makes the record of the previous one (or the window's own).
    auto reuse = [&]() { return font != nullptr ? font : window->font; };
    auto take = [&](gFont* made) {
        if (made != nullptr) font = made;
    };
    if (mode == 0 || mode == 1) {
        if (face != nullptr) {
            take(gFontGet(window, kFaceByName, face, -12, 0, kDefaultCharset, 0, 400, reuse()));
        } else {
            intptr_t selector = gDefaultSelector;
            if (gFaceIsRecord(selector)) {
                const auto* record = reinterpret_cast<const gFontFace*>(selector);
                if (gFontFaceCheck(record)) {
                    take(gFontForFace(window, reuse(), record));
                } else {
                    gDefaultSelector = selector = kStockAnsiVar;
                }
            }
            if (!gFontHasLists(font) && selector >= 10 && selector <= 17) {
                take(gFontGet(window, selector, nullptr, 0, 0, kDefaultCharset, 0, 400, reuse()));
            }
            if (!gFontHasLists(font) && selector == kFaceByName) {
                take(gFontGet(window, kFaceByName, "Arial", -12, 0, kDefaultCharset, 0, 400, reuse()));
            }
            for (intptr_t code : {kStockAnsiVar, kStockSystem, kStockSystemFixed}) {
                if (gFontHasLists(font)) break;
                take(gFontGet(window, code, nullptr, 0, 0, kDefaultCharset, 0, 400, reuse()));
            }
        }
    } else if (mode == 2) {
        take(gFontCreateOutline(window, reuse(), face != nullptr ? face : "Arial", 0, 0, 1, 0.0f, 0.0f,
                                kDefaultCharset));
    }
    if (!gFontHasLists(font)) {
        take(gFontCreateOutline(window, reuse(), "Arial", 0, 0, 1, 0.0f, 0.0f, kDefaultCharset));
    }
    if (!gFontHasLists(font)) {
        if (font != nullptr) {
            if (font == window->font) window->font = nullptr;
            gFontRelease(font);
        }
        return nullptr;
    }
    if (!RefAssign(&window->font, font)) {
        if (font->refCount == 0) gFontRelease(font);
        return nullptr;
    }
    if (font->source == kFontSourceShared) gCurrentFontPtr = font;
    return font;
}

bool gFontBuildForWindow(gWindow* window) {
    if (window == nullptr) return false;
    gFont* font = window->font;
    if (font == nullptr) {
        if (gCurrentFontPtr != nullptr && gCurrentFontPtr->source == kFontSourceShared) {
            RefAssign(&window->font, gCurrentFontPtr);
        }
        return true;
    }
    if (font->source == kFontSourceShared || font->listBase != 0) return true;
    if (gFontEnsure(font, false)) return true;
    window->font = nullptr;
    gFontRelease(font);
    return false;
}

// ---- Characters of a text ----------------------------------------------------------------------
int32_t gTextCharBytes(const char* text, int32_t length, int32_t at) {
    if (text == nullptr || at < 0 || at >= length) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(text) + at;
    if (*p < 0x80) return 1;
    const int n = pf::Utf8SequenceAt(text + at, static_cast<size_t>(length - at), nullptr);
    return n > 0 ? n : 1;
}

int32_t gTextCharBefore(const char* text, int32_t at) {
    if (text == nullptr || at <= 0) return 0;
    for (int32_t k = 2; k <= 4 && k <= at; ++k) {
        if (pf::Utf8SequenceAt(text + at - k, static_cast<size_t>(k), nullptr) == k) return at - k;
    }
    return at - 1;
}

int32_t gTextCharsForward(const char* text, int32_t length, int32_t at, int32_t count) {
    at = std::clamp(at, 0, std::max(length, 0));
    for (; count > 0 && at < length; --count) at += gTextCharBytes(text, length, at);
    return at;
}

int32_t gTextCharsBack(const char* text, int32_t at, int32_t count) {
    for (; count > 0 && at > 0; --count) at = gTextCharBefore(text, at);
    return std::max(at, 0);
}

gGlyphMetrics gFontGlyphAt(const gFont* font, const char* text, int32_t length, int32_t at, int32_t* bytes) {
    if (bytes != nullptr) *bytes = 0;
    if (font == nullptr || text == nullptr || at < 0 || at >= length || text[at] == '\0') return gGlyphMetrics{};
    CharWalk walk = Walk(font, text + at, length - at);
    TextChar c;
    if (!walk.Next(&c)) return gGlyphMetrics{};
    if (bytes != nullptr) *bytes = c.bytes;
    return G(font, c.key);
}

// ---- Measuring ---------------------------------------------------------------------------------
float gFontTextWidthN(const gFont* font, const char* text, int32_t n) {
    if (font == nullptr || text == nullptr) return 0.0f;
    float sum = 0;
    CharWalk walk = Walk(font, text, n);
    for (TextChar c; walk.Next(&c);) sum += G(font, c.key).advance;
    return sum * Scale(font);
}

float gFontTextWidth(const gFont* font, const char* text) { return gFontTextWidthN(font, text, -1); }

// The first and last characters' bearings of the first n bytes (n < 0: all).
void EndBearings(const gFont* font, const char* text, int32_t n, float* left, float* right) {
    *left = *right = 0;
    CharWalk walk = Walk(font, text, n);
    bool first = true;
    for (TextChar c; walk.Next(&c);) {
        const gGlyphMetrics& g = G(font, c.key);
        if (first) *left = g.leftBearing;
        first = false;
        *right = g.rightBearing;
    }
}

float gFontTextWidthTrim(const gFont* font, const char* text, bool trim) {
    if (font == nullptr || text == nullptr || text[0] == '\0') return 0.0f;
    float width = gFontTextWidth(font, text);
    if (!trim) return width;
    float left = 0, right = 0;
    EndBearings(font, text, -1, &left, &right);
    width -= (left + right) * Scale(font);
    return std::max(width, 0.0f);
}

float gFontCharWidth(const gFont* font, uint8_t character, bool trim) {
    if (font == nullptr) return 0.0f;
    const gGlyphMetrics& g = G(font, character);
    float width = trim ? g.advance - g.leftBearing - g.rightBearing : g.advance;
    return std::max(width, 0.0f) * Scale(font);
}

float gFontCharWidthAt(const gFont* font, const char* text, int32_t length, int32_t at) {
    if (font == nullptr) return 0.0f;
    return std::max(gFontGlyphAt(font, text, length, at, nullptr).advance, 0.0f) * Scale(font);
}

float gFontMaxTextWidth(const gFont* font, const char* const* list, bool trim) {
    float best = 0;
    if (font == nullptr || list == nullptr) return 0.0f;
    for (; *list != nullptr; ++list) best = std::max(best, gFontTextWidthTrim(font, *list, trim));
    return best;
}

float gFontTextHeight(const gFont* font, const char* text, float* descent) {
    float height = 0, down = 0;
    if (font != nullptr && text != nullptr && text[0] != '\0') {
        CharWalk walk = Walk(font, text, -1);
        if (font->exactMetrics != 0) {
            float top = -1e30f, bottom = 1000.0f;
            for (TextChar c; walk.Next(&c);) {
                top = std::max(top, G(font, c.key).top);
                bottom = std::min(bottom, G(font, c.key).bottom);
            }
            height = top - bottom;
            down = bottom < 0 ? -bottom : 0.0f;
        } else {
            for (TextChar c; walk.Next(&c);) height = std::max(height, G(font, c.key).height);
            down = font->descent;
        }
        height *= Scale(font);
        down *= Scale(font);
    }
    if (descent != nullptr) *descent = down;
    return height;
}

float gFontTextAscent(const gFont* font, const char* text, float* descent) {
    float ascent = 0;
    float down = 0;
    gFontTextHeight(font, text, &down);
    if (font != nullptr && text != nullptr && text[0] != '\0') {
        if (font->exactMetrics != 0) {
            float top = -1e30f;
            CharWalk walk = Walk(font, text, -1);
            for (TextChar c; walk.Next(&c);) top = std::max(top, G(font, c.key).top);
            ascent = std::max(top, 0.0f) * Scale(font);
        } else {
            ascent = font->ascent * Scale(font);
        }
    }
    if (descent != nullptr) *descent = down;
    return ascent;
}

float gFontTextDescent(const gFont* font, const char* text) {
    float down = 0;
    gFontTextHeight(font, text, &down);
    return down;
}

float gFontMinAdvance(const gFont* font, const char* text) {
    if (font == nullptr || text == nullptr || text[0] == '\0') return 0.0f;
    float least = 1e30f;
    CharWalk walk = Walk(font, text, -1);
    for (TextChar c; walk.Next(&c);) least = std::min(least, G(font, c.key).advance);
    return least * Scale(font);
}

float gFontEllipsisWidth(const gFont* font) {
    if (!gFontHasLists(font)) return 10.0f;
    if (font != gEllipsisFont) {
        gEllipsisWidth = 3.0f * gFontCharWidth(font, '.', false) + 2.0f;
        gEllipsisFont = font;
    }
    return gEllipsisWidth;
}

// ---- Fitting and hit testing ----------------------------------------------------------------------
// Counts and indexes are bytes, always at the start of a character.
int32_t gFontFitCount(const gFont* font, const char* text, float width) {
    if (font == nullptr || text == nullptr) return 0;
    float scale = Scale(font), sum = 0;
    CharWalk walk = Walk(font, text, -1);
    int32_t n = 0;
    for (TextChar c; walk.Next(&c);) {
        sum += G(font, c.key).advance * scale;
        if (sum > width) break;
        n = walk.at;
    }
    return n;
}

float gFontFit(const gFont* font, const char* text, float width, int32_t* count, bool trim) {
    int32_t n = 0;
    float sum = 0;
    if (font != nullptr && text != nullptr && text[0] != '\0') {
        float scale = Scale(font);
        CharWalk walk = Walk(font, text, -1);
        TextChar c;
        walk.Next(&c);
        const float firstLeft = G(font, c.key).leftBearing;
        walk = Walk(font, text, -1);
        sum = trim ? -firstLeft * scale : 0.0f;
        float advance = 0, lastRight = 0, previousRight = 0;
        int32_t previous = 0;
        while (sum < width && walk.Next(&c)) {
            const gGlyphMetrics& g = G(font, c.key);
            advance = g.advance * scale;
            sum += advance;
            previous = n;
            previousRight = lastRight;
            n = walk.at;
            lastRight = g.rightBearing;
        }
        if (n > 0) {
            float tested = trim ? sum - lastRight * scale : sum;
            if (tested > width + 1.0f) {
                n = previous;
                sum -= advance;
                lastRight = previousRight;
            }
        }
        if (n == 0) {
            sum = 0;
        } else if (trim) {
            sum = std::max(sum - lastRight * scale, 0.0f);
        }
    }
    if (count != nullptr) *count = n;
    return sum;
}

float gFontFitTail(const gFont* font, const char* text, int32_t n, float width, int32_t* count, bool trim) {
    int32_t shown = 0;
    float used = 0;
    if (font != nullptr && text != nullptr) {
        int32_t length = static_cast<int32_t>(std::min<size_t>(std::strlen(text), 0x7FFFFFFF));
        if (n <= 0 || n > length) n = length;
        auto measure = [&](int32_t k) {
            if (k <= 0) return 0.0f;
            float w = gFontTextWidthN(font, text, k);
            if (trim) {
                float left = 0, right = 0;
                EndBearings(font, text, k, &left, &right);
                w = std::max(0.0f, w - (left + right) * Scale(font));
            }
            return w;
        };
        shown = n;
        used = measure(n);
        if (used > width) {
            float room = width - gFontTextWidth(font, "...");
            while (shown > 0 && used > room) {
                shown = gTextCharBefore(text, shown);
                used = measure(shown);
            }
        }
    }
    if (count != nullptr) *count = shown;
    return used;
}

int32_t gFontHitTest(const gFont* font, const char* text, float x, int32_t* index) {
    int32_t at = 0;
    if (font != nullptr && text != nullptr && text[0] != '\0' && x > 0) {
        float scale = Scale(font), mid = 0, previousHalf = 0;
        CharWalk walk = Walk(font, text, -1);
        for (TextChar c; walk.Next(&c);) {
            float half = G(font, c.key).advance * scale * 0.5f;
            mid += previousHalf + half;
            if (mid > x) break;
            previousHalf = half;
            at = walk.at;
        }
    }
    if (index != nullptr) *index = at;
    return at;
}

// ---- Drawing ---------------------------------------------------------------------------------------
void gTextRasterPos(float x, float y) {
    Frame frame;
    ReadFrame(&frame);
    const GLint* vp = frame.vp;
    float wx = 0, wy = 0;
    WindowPoint(frame, x, y, &wx, &wy);
    // A raster position outside the view would be invalid: set it at the viewport's
    // corner and move it there instead.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos2f(-1.0f, -1.0f);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glBitmap(0, 0, 0.0f, 0.0f, wx - static_cast<float>(vp[0]), wy - static_cast<float>(vp[1]), nullptr);
}

void gTextDrawRun(const gFont* font, const char* text, int32_t count, bool cut) {
    if (!gFontHasLists(font)) return;
    int32_t n = RunLength(text, count);
    if (n == 0 && !cut) return;
    FlushBatch();
    std::string bytes;
    const bool fromAtlas = AtlasRun(font, &text, &n, &bytes);
    if (fromAtlas) {
        GLint valid = GL_FALSE;
        glGetIntegerv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
        if (valid == GL_FALSE) return;  // glBitmap draws nothing either
        GLfloat raster[4], rasterColour[4], colour[4];
        glGetFloatv(GL_CURRENT_RASTER_POSITION, raster);
        glGetFloatv(GL_CURRENT_RASTER_COLOR, rasterColour);
        glGetFloatv(GL_CURRENT_COLOR, colour);
        if (rasterColour[3] > 0.0f) {
            // glBitmap draws in the colour latched with the raster position, at its depth.
            GLint vp[4];
            glGetIntegerv(GL_VIEWPORT, vp);
            glColor4fv(rasterColour);
            float rx = raster[0];
            float z = 1.0f - 2.0f * raster[2];
            AtlasRun(font, vp, &rx, raster[1], z, text, n, cut);
            glColor4fv(colour);
            // Leave the raster position where the lists would.
            glBitmap(0, 0, 0.0f, 0.0f, rx - raster[0], 0.0f, nullptr);
            return;
        }
    }
    glPushAttrib(GL_LIST_BIT);
    if (font->listType == kListTypeOutline) {
        glPushMatrix();
        OutlineUpright();
        glScalef(kOutlineScale, kOutlineScale, kOutlineScale);
        CallRun(font, text, n, cut);
        glPopMatrix();
    } else {
        CallRun(font, text, n, cut);
    }
    glPopAttrib();
}

void gTextDrawAt(const gFont* font, float x, float y, const char* text, int32_t count, bool cut) {
    gTextDrawMoved(font, x, y, 0.0f, 0.0f, text, count, cut);
}

void gTextDrawMoved(const gFont* font, float x, float y, float dx, float dy, const char* text, int32_t count,
                    bool cut) {
    if (!gFontHasLists(font)) return;
    DrawPlaced(font, x, y, dx, dy, text, RunLength(text, count), cut);
}

void gTextDrawEngravedAt(gWindow* window, const gFont* font, uint32_t shadow, uint32_t colour, float x, float y,
                         const char* text, int32_t count, bool cut) {
    gTextDrawEngravedMoved(window, font, shadow, colour, x, y, 0.0f, 0.0f, text, count, cut);
}

void gTextDrawEngravedMoved(gWindow* window, const gFont* font, uint32_t shadow, uint32_t colour, float x, float y,
                            float dx, float dy, const char* text, int32_t count, bool cut) {
    if (!gFontHasLists(font)) return;
    int32_t n = RunLength(text, count);
    if (n == 0 && !cut) return;
    gColorSet(window, shadow);
    DrawPlaced(font, x, y, dx + 1.0f, dy - 1.0f, text, n, cut);
    gColorSet(window, colour);
    DrawPlaced(font, x, y, dx, dy, text, n, cut);
}

void gTextDrawCharAt(const gFont* font, uint8_t character, float x, float y) {
    if (!gFontHasLists(font)) return;
    // An explicit count: character 0 (the check mark) would end a C text.
    char one = static_cast<char>(character);
    DrawPlaced(font, x, y, 0.0f, 0.0f, &one, 1, false);
}

// ---- Text batch ----------------------------------------------------------------------------------
void gTextBatchBegin() {
    FlushBatch();
    Batch().open = true;
}

void gTextBatchFlush() { FlushBatch(); }

void gTextBatchEnd() {
    FlushBatch();
    TextBatch& batch = Batch();
    batch.open = false;
    batch.atlas = nullptr;
    batch.texture = 0;
}

void gTextBatchGuard(float x0, float y0, float x1, float y1) {
    TextBatch& batch = Batch();
    if (batch.boxes.empty()) return;
    Frame frame;
    ReadFrame(&frame);
    float ax = 0, ay = 0, bx = 0, by = 0;
    WindowPoint(frame, x0, y0, &ax, &ay);
    WindowPoint(frame, x1, y1, &bx, &by);
    BatchBox box{std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by)};
    for (const BatchBox& b : batch.boxes) {
        if (box.x0 < b.x1 && b.x0 < box.x1 && box.y0 < b.y1 && b.y0 < box.y1) {
            FlushBatch();
            return;
        }
    }
}

void gTextBatchForget(const gFontAtlas* atlas) {
    TextBatch& batch = Batch();
    if (batch.atlas != atlas) return;
    batch.quads.clear();
    batch.boxes.clear();
    batch.atlas = nullptr;
    batch.texture = 0;
}

// ---- Texture size probe -----------------------------------------------------------------------------
bool gProbeTextureSize(gWindow* window, int32_t out[5]) {
    if (!gWinMakeCurrent(window)) {
        LogPrintf("can`t make gl context");
        return false;
    }
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (maxSize <= 0 || out == nullptr) return false;
    struct Probe {
        GLint internal;
        GLenum format;
        GLenum type;
        int slot;
    };
    const Probe probes[4] = {{GL_RGB16, GL_RGB, GL_UNSIGNED_SHORT, 3},
                             {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, 4},
                             {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, 1},
                             {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, 2}};
    out[0] = maxSize;
    for (const Probe& probe : probes) {
        GLint size = maxSize, found = 0;
        for (int tries = 0; tries < 256 && size > 1; ++tries, size /= 2) {
            glTexImage2D(GL_PROXY_TEXTURE_2D, 0, probe.internal, size, size, 0, probe.format, probe.type, nullptr);
            GLint internal = 0;
            glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
            if (internal == probe.internal) {
                found = size;
                break;
            }
        }
        out[probe.slot] = found;
    }
    return true;
}

}  // namespace orva
