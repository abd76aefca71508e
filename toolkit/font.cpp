#include "toolkit/font.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "common/log.h"
#include "toolkit/font_ft.h"
#include "toolkit/window.h"

#include FT_SYNTHESIS_H

namespace orva {
namespace {

// Windows-1251 code points of 128..255 (0 for the unassigned 0x98).
constexpr uint16_t kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

intptr_t gDefaultSelector = kStockAnsiVar;
gFont* gCurrentFontPtr = nullptr;
gFontResetFn gResetHook = nullptr;

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

bool WindowReady(gWindow* window) { return window != nullptr && window->hdc != nullptr; }

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

// ---- Raster face lists -----------------------------------------------------------------
bool BuildFaceLists(gFont* font, const gFontFace* face) {
    if (!gFontFaceCheck(face)) return false;
    GLuint base = glGenLists(256);
    if (base == 0) return false;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    int last = std::min(face->lastListed, 255);
    for (int c = face->firstListed; c <= last; ++c) {
        const gFaceGlyph& g = face->glyphs[c];
        glNewList(base + static_cast<GLuint>(c), GL_COMPILE);
        glBitmap(g.width, g.height, 0.0f, static_cast<GLfloat>(g.yOrigin), static_cast<GLfloat>(g.xAdvance), 0.0f,
                 g.bitmap);
        glEndList();
        font->glyphs[c] = g.metrics;
    }
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

    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    std::vector<uint8_t> rows;
    float maxAdvance = 0, maxBox = 0;
    for (int c = 0; c < 256; ++c) {
        FT_UInt index = fontft::GlyphIndex(face, static_cast<uint8_t>(c));
        bool loaded = FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) == 0;
        if (loaded && match.needEmbolden) FT_GlyphSlot_Embolden(face->glyph);
        if (loaded && match.needOblique) FT_GlyphSlot_Oblique(face->glyph);
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
        rows.assign(static_cast<size_t>(stride) * static_cast<size_t>(h), 0);
        for (int r = 0; r < h; ++r) {
            // FreeType rows run top-down, glBitmap's bottom-up.
            const uint8_t* src = bm.pitch >= 0 ? bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch
                                               : bm.buffer + static_cast<ptrdiff_t>(h - 1 - r) * -bm.pitch;
            std::memcpy(rows.data() + static_cast<size_t>(h - 1 - r) * static_cast<size_t>(stride), src,
                        static_cast<size_t>(stride));
        }
        glNewList(base + static_cast<GLuint>(c), GL_COMPILE);
        glBitmap(w, h, static_cast<GLfloat>(-left), static_cast<GLfloat>(h - top), advance, 0.0f,
                 h > 0 ? rows.data() : nullptr);
        glEndList();
        // Black box as the system reports it: at least one pixel each way.
        float boxW = static_cast<float>(std::max(w, 1));
        float boxH = static_cast<float>(std::max(h, 1));
        if (advance == 0.0f) advance = boxW;
        gGlyphMetrics& g = font->glyphs[c];
        g.advance = advance;
        g.leftBearing = static_cast<float>(left);
        g.rightBearing = advance - static_cast<float>(left) - boxW;
        g.height = boxH;
        g.top = static_cast<float>(top);
        g.bottom = static_cast<float>(top) - boxH;
        maxAdvance = std::max(maxAdvance, advance);
        maxBox = std::max(maxBox, boxH);
    }
    glPopClientAttrib();

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

void DeleteLists(gFont* font) {
    if (font->listBase == 0) return;
    if (font->source != kFontSourceShared && WindowReady(font->window) && (gToolkitFlags() & kFlagClosing) == 0 &&
        gWinMakeCurrent(font->window)) {
        glDeleteLists(font->listBase, 256);
    }
    font->listBase = 0;
}

float Scale(const gFont* font) { return gFontScale(font); }

const gGlyphMetrics& G(const gFont* font, uint8_t c) { return font->glyphs[c]; }

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

void CallRun(const gFont* font, const char* text, int32_t count, bool cut) {
    glListBase(font->listBase);
    if (count > 0) glCallLists(count, GL_UNSIGNED_BYTE, text);
    if (cut) glCallLists(3, GL_UNSIGNED_BYTE, "...");
}

int32_t RunLength(const char* text, int32_t count) {
    if (text == nullptr) return 0;
    size_t n = std::strlen(text);
    if (count >= 0 && static_cast<size_t>(count) < n) n = static_cast<size_t>(count);
    return static_cast<int32_t>(std::min<size_t>(n, 0x7FFFFFFF));
}

// Draws n characters of text (n already bounded) with the baseline start at frame
// point (x, y), moved by (dx, dy) window pixels.
void DrawPlaced(const gFont* font, float x, float y, float dx, float dy, const char* text, int32_t n, bool cut) {
    if (n == 0 && !cut) return;
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
uint32_t gCp1251ToUnicode(uint8_t code) { return code < 128 ? code : kCp1251High[code - 128]; }

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

void gFontSetResetHook(gFontResetFn hook) { gResetHook = hook; }

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

// ---- Measuring ---------------------------------------------------------------------------------
float gFontTextWidthN(const gFont* font, const char* text, int32_t n) {
    if (font == nullptr || text == nullptr) return 0.0f;
    float sum = 0;
    const uint8_t* p = Bytes(text);
    for (int32_t i = 0; (n < 0 || i < n) && p[i] != 0; ++i) sum += G(font, p[i]).advance;
    return sum * Scale(font);
}

float gFontTextWidth(const gFont* font, const char* text) { return gFontTextWidthN(font, text, -1); }

float gFontTextWidthTrim(const gFont* font, const char* text, bool trim) {
    if (font == nullptr || text == nullptr || text[0] == '\0') return 0.0f;
    float width = gFontTextWidth(font, text);
    if (!trim) return width;
    const uint8_t* p = Bytes(text);
    size_t n = std::strlen(text);
    width -= (G(font, p[0]).leftBearing + G(font, p[n - 1]).rightBearing) * Scale(font);
    return std::max(width, 0.0f);
}

float gFontCharWidth(const gFont* font, uint8_t character, bool trim) {
    if (font == nullptr) return 0.0f;
    const gGlyphMetrics& g = G(font, character);
    float width = trim ? g.advance - g.leftBearing - g.rightBearing : g.advance;
    return std::max(width, 0.0f) * Scale(font);
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
        const uint8_t* p = Bytes(text);
        if (font->exactMetrics != 0) {
            float top = G(font, p[0]).top, bottom = 1000.0f;
            for (; *p != 0; ++p) {
                top = std::max(top, G(font, *p).top);
                bottom = std::min(bottom, G(font, *p).bottom);
            }
            height = top - bottom;
            down = bottom < 0 ? -bottom : 0.0f;
        } else {
            for (; *p != 0; ++p) height = std::max(height, G(font, *p).height);
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
            const uint8_t* p = Bytes(text);
            float top = G(font, p[0]).top;
            for (; *p != 0; ++p) top = std::max(top, G(font, *p).top);
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
    const uint8_t* p = Bytes(text);
    float least = G(font, *p).advance;
    for (; *p != 0; ++p) least = std::min(least, G(font, *p).advance);
    return least * Scale(font);
}

// ---- Fitting and hit testing ----------------------------------------------------------------------
int32_t gFontFitCount(const gFont* font, const char* text, float width) {
    if (font == nullptr || text == nullptr) return 0;
    float scale = Scale(font), sum = 0;
    int32_t n = 0;
    for (const uint8_t* p = Bytes(text); *p != 0; ++p) {
        sum += G(font, *p).advance * scale;
        if (sum > width) break;
        ++n;
    }
    return n;
}

float gFontFit(const gFont* font, const char* text, float width, int32_t* count, bool trim) {
    int32_t n = 0;
    float sum = 0;
    if (font != nullptr && text != nullptr && text[0] != '\0') {
        const uint8_t* p = Bytes(text);
        float scale = Scale(font);
        float start = trim ? -G(font, p[0]).leftBearing * scale : 0.0f;
        sum = start;
        float advance = 0;
        while (p[n] != 0 && sum < width) {
            advance = G(font, p[n]).advance * scale;
            sum += advance;
            ++n;
        }
        if (n > 0) {
            float tested = trim ? sum - G(font, p[n - 1]).rightBearing * scale : sum;
            if (tested > width + 1.0f) {
                --n;
                sum -= advance;
            }
        }
        if (n == 0) {
            sum = 0;
        } else if (trim) {
            sum = std::max(sum - G(font, p[n - 1]).rightBearing * scale, 0.0f);
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
                const uint8_t* p = Bytes(text);
                w = std::max(0.0f, w - (G(font, p[0]).leftBearing + G(font, p[k - 1]).rightBearing) * Scale(font));
            }
            return w;
        };
        shown = n;
        used = measure(n);
        if (used > width) {
            float room = width - gFontTextWidth(font, "...");
            while (shown > 0 && used > room) used = measure(--shown);
        }
    }
    if (count != nullptr) *count = shown;
    return used;
}

int32_t gFontHitTest(const gFont* font, const char* text, float x, int32_t* index) {
    int32_t at = 0;
    if (font != nullptr && text != nullptr && text[0] != '\0' && x > 0) {
        const uint8_t* p = Bytes(text);
        float scale = Scale(font), mid = 0, previousHalf = 0;
        for (; p[at] != 0; ++at) {
            float half = G(font, p[at]).advance * scale * 0.5f;
            mid += previousHalf + half;
            if (mid > x) break;
            previousHalf = half;
        }
    }
    if (index != nullptr) *index = at;
    return at;
}

// ---- Drawing ---------------------------------------------------------------------------------------
void gTextRasterPos(float x, float y) {
    GLfloat mv[16], pr[16];
    GLint vp[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    glGetFloatv(GL_PROJECTION_MATRIX, pr);
    glGetIntegerv(GL_VIEWPORT, vp);
    float eye[4];
    for (int r = 0; r < 4; ++r) eye[r] = mv[r] * x + mv[4 + r] * y + mv[12 + r];
    float clip[4];
    for (int r = 0; r < 4; ++r) clip[r] = pr[r] * eye[0] + pr[4 + r] * eye[1] + pr[8 + r] * eye[2] + pr[12 + r] * eye[3];
    float w = clip[3] != 0.0f ? clip[3] : 1.0f;
    float wx = static_cast<float>(vp[0]) + (clip[0] / w + 1.0f) * 0.5f * static_cast<float>(vp[2]);
    float wy = static_cast<float>(vp[1]) + (clip[1] / w + 1.0f) * 0.5f * static_cast<float>(vp[3]);
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
    if (!gFontHasLists(font)) return;
    DrawPlaced(font, x, y, 0.0f, 0.0f, text, RunLength(text, count), cut);
}

void gTextDrawEngravedAt(gWindow* window, const gFont* font, uint32_t shadow, uint32_t colour, float x, float y,
                         const char* text, int32_t count, bool cut) {
    if (!gFontHasLists(font)) return;
    int32_t n = RunLength(text, count);
    gColorSet(window, shadow);
    DrawPlaced(font, x, y, 1.0f, -1.0f, text, n, cut);
    gColorSet(window, colour);
    DrawPlaced(font, x, y, 0.0f, 0.0f, text, n, cut);
}

void gTextDrawCharAt(const gFont* font, uint8_t character, float x, float y) {
    if (!gFontHasLists(font)) return;
    // An explicit count: character 0 (the check mark) would end a C text.
    char one = static_cast<char>(character);
    DrawPlaced(font, x, y, 0.0f, 0.0f, &one, 1, false);
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
