// Outline font lists: FreeType outlines in em units, flattened to polylines and either
// drawn as line loops or filled through the GLU tessellator (non-zero winding, as
// TrueType outlines are drawn), optionally extruded along -z. Each list ends with a
// translation by the glyph's advance, so the lists of a text can be called in a row.
#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <vector>

#include "common/log.h"
#include "toolkit/font.h"
#include "toolkit/font_ft.h"
#include "toolkit/window.h"

#include FT_OUTLINE_H

#ifndef CALLBACK
#define CALLBACK
#endif

namespace orva {
namespace {

constexpr float kDefaultDeviation = 0.004f;  // em units

struct Point {
    double x, y;
};
using Contour = std::vector<Point>;

struct Flattener {
    std::vector<Contour> contours;
    double scale = 1.0;     // font units to em
    double deviation = kDefaultDeviation;
    Point last{0, 0};

    Point Map(const FT_Vector* v) const { return {v->x * scale, v->y * scale}; }
    int Steps(double length) const {
        // A curve of chord length L bends at most about L/8 between samples; enough
        // samples keep the chord error under the deviation.
        double n = std::ceil(std::sqrt(std::max(length, 0.0) / (8.0 * deviation)));
        return static_cast<int>(std::clamp(n, 1.0, 64.0));
    }
};

int MoveTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->contours.emplace_back();
    f->last = f->Map(to);
    f->contours.back().push_back(f->last);
    return 0;
}

int LineTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    if (f->contours.empty()) f->contours.emplace_back();
    f->last = f->Map(to);
    f->contours.back().push_back(f->last);
    return 0;
}

int ConicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    if (f->contours.empty()) f->contours.emplace_back();
    Point p0 = f->last, p1 = f->Map(control), p2 = f->Map(to);
    double length = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y);
    int n = f->Steps(length);
    for (int i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1.0 - t;
        f->contours.back().push_back(
            {u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
    }
    f->last = p2;
    return 0;
}

int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    if (f->contours.empty()) f->contours.emplace_back();
    Point p0 = f->last, p1 = f->Map(c1), p2 = f->Map(c2), p3 = f->Map(to);
    double length = std::hypot(p1.x - p0.x, p1.y - p0.y) + std::hypot(p2.x - p1.x, p2.y - p1.y) +
                    std::hypot(p3.x - p2.x, p3.y - p2.y);
    int n = f->Steps(length);
    for (int i = 1; i <= n; ++i) {
        double t = static_cast<double>(i) / n, u = 1.0 - t;
        double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        f->contours.back().push_back(
            {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    f->last = p3;
    return 0;
}

// Tessellator state: vertices must outlive gluTessEndPolygon.
struct TessData {
    std::deque<std::vector<GLdouble>> store;
    GLdouble z = 0;
    bool failed = false;
};

void CALLBACK TessBegin(GLenum type) { glBegin(type); }
void CALLBACK TessVertex(void* data) { glVertex3dv(static_cast<const GLdouble*>(data)); }
void CALLBACK TessEnd() { glEnd(); }
// Having an edge-flag callback makes the tessellator emit plain triangles only (no
// fans or strips), which keeps every compiled list one kind of primitive.
void CALLBACK TessEdgeFlag(GLboolean) {}
void CALLBACK TessError(GLenum, void* user) { static_cast<TessData*>(user)->failed = true; }
void CALLBACK TessCombine(GLdouble coords[3], void*[4], GLfloat[4], void** out, void* user) {
    auto* t = static_cast<TessData*>(user);
    t->store.push_back({coords[0], coords[1], coords[2]});
    *out = t->store.back().data();
}

void Fill(GLUtesselator* tess, const std::vector<Contour>& contours, GLdouble z, GLdouble normalZ) {
    TessData data;
    data.z = z;
    gluTessNormal(tess, 0, 0, 1);
    glNormal3d(0, 0, normalZ);
    gluTessBeginPolygon(tess, &data);
    for (const Contour& c : contours) {
        if (c.size() < 3) continue;
        gluTessBeginContour(tess);
        for (const Point& p : c) {
            data.store.push_back({p.x, p.y, z});
            gluTessVertex(tess, data.store.back().data(), data.store.back().data());
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
}

void Outline(const std::vector<Contour>& contours, GLdouble z) {
    for (const Contour& c : contours) {
        if (c.size() < 2) continue;
        glBegin(GL_LINE_LOOP);
        for (const Point& p : c) glVertex3d(p.x, p.y, z);
        glEnd();
    }
}

void Sides(const std::vector<Contour>& contours, GLdouble depth) {
    for (const Contour& c : contours) {
        if (c.size() < 2) continue;
        glBegin(GL_QUAD_STRIP);
        for (size_t i = 0; i <= c.size(); ++i) {
            const Point& p = c[i % c.size()];
            glVertex3d(p.x, p.y, 0.0);
            glVertex3d(p.x, p.y, -depth);
        }
        glEnd();
    }
}

void DropContourEnds(std::vector<Contour>* contours) {
    // A closing point equal to the first adds a zero-length edge the tessellator dislikes.
    for (Contour& c : *contours) {
        while (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
    }
}

}  // namespace

bool gFontBuildOutlines(gFont* font) {
    if (font == nullptr || font->faceName == nullptr) return false;
    if (font->listBase != 0) return true;
    gWindow* window = font->window;
    if (window == nullptr || window->hdc == nullptr || !gWinMakeCurrent(window)) return false;
    gFontParams params = font->logParams != nullptr ? *font->logParams : gFontParams{};
    fontft::FaceRequest request;
    request.family = font->faceName;
    request.weight = params.weight > 0 ? params.weight : 400;
    request.italic = params.italic != 0;
    fontft::FaceMatch match;
    auto fail = [](GLuint base) {
        GLenum gl = glGetError();
        LogPrintf("error: wglUseFontOutlines()");
        if (gl != GL_NO_ERROR) LogPrintf("\t\tcode %d, gl code %d", 0, static_cast<int>(gl));
        if (base != 0) glDeleteLists(base, 256);
        return false;
    };
    if (!fontft::OpenFace(request, &match) || (match.face->face_flags & FT_FACE_FLAG_SCALABLE) == 0) return fail(0);
    FT_Face face = match.face;
    double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048.0;
    GLuint base = glGenLists(256);
    if (base == 0) return fail(0);
    GLUtesselator* tess = gluNewTess();
    if (tess == nullptr) return fail(base);
    gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<void(CALLBACK*)()>(TessBegin));
    gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<void(CALLBACK*)()>(TessVertex));
    gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<void(CALLBACK*)()>(TessEnd));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG, reinterpret_cast<void(CALLBACK*)()>(TessEdgeFlag));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<void(CALLBACK*)()>(TessError));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<void(CALLBACK*)()>(TessCombine));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);

    int32_t format = params.format == 0 ? 0 : 1;
    float deviation = params.deviation > 0 && std::isfinite(params.deviation) ? params.deviation : kDefaultDeviation;
    float extrusion = params.extrusion > 0 && std::isfinite(params.extrusion) ? params.extrusion : 0.0f;
    FT_Outline_Funcs funcs{};
    funcs.move_to = MoveTo;
    funcs.line_to = LineTo;
    funcs.conic_to = ConicTo;
    funcs.cubic_to = CubicTo;
    float maxAdvance = 0;
    for (int c = 0; c < 256; ++c) {
        FT_UInt index = fontft::GlyphIndex(face, static_cast<uint8_t>(c));
        Flattener flat;
        flat.scale = 1.0 / upem;
        flat.deviation = deviation;
        gGlyphMetrics& g = font->glyphs[c];
        g = gGlyphMetrics{};
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
            face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
            if (match.needEmbolden) FT_Outline_Embolden(&face->glyph->outline, static_cast<FT_Pos>(upem / 40));
            if (match.needOblique) {
                FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
                FT_Outline_Transform(&face->glyph->outline, &shear);
            }
            FT_Outline_Decompose(&face->glyph->outline, &funcs, &flat);
            const FT_Glyph_Metrics& m = face->glyph->metrics;
            g.advance = static_cast<float>(face->glyph->advance.x / upem);
            g.leftBearing = static_cast<float>(m.horiBearingX / upem);
            g.rightBearing = static_cast<float>((m.horiAdvance - m.horiBearingX - m.width) / upem);
            g.height = static_cast<float>(m.height / upem);
            g.top = static_cast<float>(m.horiBearingY / upem);
            g.bottom = g.top - g.height;
        }
        DropContourEnds(&flat.contours);
        glNewList(base + static_cast<GLuint>(c), GL_COMPILE);
        if (format == 0) {
            Outline(flat.contours, 0.0);
            if (extrusion > 0) Outline(flat.contours, -extrusion);
        } else {
            Fill(tess, flat.contours, 0.0, 1.0);
            if (extrusion > 0) {
                Fill(tess, flat.contours, -extrusion, -1.0);
                Sides(flat.contours, extrusion);
            }
        }
        glTranslated(g.advance, 0.0, 0.0);
        glEndList();
        maxAdvance = std::max(maxAdvance, g.advance);
    }
    gluDeleteTess(tess);

    fontft::CellMetrics cell = fontft::FaceCellMetrics(face, 1.0);
    font->listBase = base;
    font->listType = kListTypeOutline;
    font->firstListed = 0;
    font->lastListed = 255;
    font->firstGlyph = 32;
    font->lastGlyph = 255;
    font->exactMetrics = 1;
    font->maxAdvance = maxAdvance;
    font->ascent = static_cast<float>(cell.ascent);
    font->descent = static_cast<float>(cell.descent);
    font->height = font->ascent + font->descent;
    font->lineHeight = font->height;
    font->internalLeading = std::max(0.0f, font->height - 1.0f);
    font->externalLeading = static_cast<float>(cell.externalLeading);
    font->avgWidth = static_cast<float>(cell.avgWidth);
    // Characters with no glyph of their own take the space's advance.
    for (int c = 0; c < 256; ++c) {
        if (font->glyphs[c].advance <= 0 && fontft::GlyphIndex(face, static_cast<uint8_t>(c)) == 0) {
            font->glyphs[c].advance = font->glyphs[32].advance;
        }
    }
    return true;
}

gFont* gFontCreateOutline(gWindow* window, gFont* font, const char* faceName, int32_t a, int32_t b, int32_t format,
                          float deviation, float extrusion, int32_t charset) {
    if (faceName == nullptr) return nullptr;
    size_t length = std::strlen(faceName) + 1;
    char* name = static_cast<char*>(std::malloc(length));
    if (name == nullptr) return nullptr;
    std::memcpy(name, faceName, length);
    gFont* record = font;
    gFontParams* params = nullptr;
    if (record != nullptr) {
        // Re-made in place: the old lists go, the parameter block stays.
        if (record->listBase != 0 && record->source != kFontSourceShared && record->window != nullptr &&
            record->window->hdc != nullptr && gWinMakeCurrent(record->window)) {
            glDeleteLists(record->listBase, 256);
        }
        record->listBase = 0;
        params = record->logParams;
    } else {
        record = new (std::nothrow) gFont{};
        if (record == nullptr) {
            std::free(name);
            return nullptr;
        }
    }
    if (params == nullptr) {
        params = new (std::nothrow) gFontParams{};
        if (params == nullptr) {
            std::free(name);
            if (record != font) delete record;
            return nullptr;
        }
    }
    *params = gFontParams{};
    params->width = b;
    params->height = a;
    params->deviation = deviation;
    params->extrusion = extrusion;
    params->format = format;
    params->weight = 0;
    std::free(record->faceName);
    record->faceName = name;
    record->logParams = params;
    record->source = kFontSourceOutline;
    record->face = kFaceByName;
    record->charset = charset <= 255 ? charset : kDefaultCharset;
    record->window = window;
    record->listType = 0;
    if (window != nullptr && window->hdc != nullptr) gFontBuildOutlines(record);
    return record;
}

gFont* gFontOutlineReady(gFont* font) {
    if (font == nullptr || font->source != kFontSourceOutline || font->faceName == nullptr || font->window == nullptr ||
        font->window->hdc == nullptr) {
        return nullptr;
    }
    if (font->listBase != 0 || gFontBuildOutlines(font)) return font;
    return nullptr;
}

}  // namespace orva
