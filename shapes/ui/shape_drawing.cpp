#include "shapes/ui/shape_drawing.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/kernel_util.h"
#include "shapes/editing/shape_edits.h"
#include "shapes/geometry/bspline.h"
#include "shapes/shape_container.h"
#include "shapes/ui/glyph_list.h"
#include "shapes/ui/shape_labels.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

struct Colour {
    float r, g, b;
};

// The colour sets by precedence: pressed-current, selected-current, current, other.
constexpr Colour kOpenBand[4] = {{0.6f, 0.9f, 0.9f}, {0.4f, 0.8f, 0.8f}, {0.9f, 0.7f, 0.0f}, {0.7f, 0.0f, 0.3f}};
constexpr Colour kClosedBand[4] = {{0.8f, 0.8f, 0.7f}, {0.8f, 0.8f, 0.5f}, {0.7f, 0.7f, 0.2f}, {0.7f, 0.4f, 0.6f}};
constexpr Colour kBody[4] = {{0.7f, 0.7f, 0.9f}, {0.5f, 0.9f, 0.9f}, {0.3f, 0.7f, 0.4f}, {0.8f, 0.0f, 0.4f}};

void SetColour(const Colour& c) { glColor3f(c.r, c.g, c.b); }

// What every paint procedure reads of the shape, its container and its view.
struct Frame {
    gElement* glyph = nullptr;
    Shape* shape = nullptr;
    ShapeContainer* container = nullptr;
    ShapeView* view = nullptr;
    const ViewPixelScale* zoom = nullptr;  // the view's scale while its flag is set
    bool pick = false;
    bool current = false;
    bool selectedCurrent = false;
    bool pressedCurrent = false;
    int32_t fillMode = 3;
    bool pushedZoom = false;

    int Precedence() const { return pressedCurrent ? 0 : selectedCurrent ? 1 : current ? 2 : 3; }
    bool Inverting() const { return fillMode == 0 || fillMode == 2; }
    bool Outlined() const { return fillMode == 2 || fillMode == 3; }
    bool Magnified() const { return zoom != nullptr && zoom->x > 1.0 && zoom->y > 1.0; }
    bool Drawing() const { return container != nullptr && container->drawing != nullptr; }
    int32_t EditMode() const { return container != nullptr ? container->editMode : 0; }
};

void InvertingBlend() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
}

void BlendIf(bool on) {
    if (on) InvertingBlend();
    else glDisable(GL_BLEND);
}

void EnableClipPlanes(bool on) {
    for (int i = 0; i < 4; ++i) {
        if (on) glEnable(GL_CLIP_PLANE0 + i);
        else glDisable(GL_CLIP_PLANE0 + i);
    }
}

// Point lists from client arrays: `n` points of `buffer` from `first`.
void DrawArray(GLenum mode, const float* points, uint32_t n) {
    if (points == nullptr || n == 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, points);
    glDrawArrays(mode, 0, static_cast<GLsizei>(n));
    glDisableClientState(GL_VERTEX_ARRAY);
}

void DrawBuffer(GLenum mode, const AnchorBuffer& b) {
    if (b.data != nullptr && b.elementsPerItem == 2) DrawArray(mode, b.Points(), b.Count());
}

// The renderer draws nothing at all for a single polygon primitive of a few thousand
// vertices (it cannot split one across its vertex buffers). A longer polygon is drawn as
// the renderer makes any polygon: filled, the fan of triangles about its first vertex;
// outlined, its boundary; in pieces the renderer takes whole.
constexpr uint32_t kPolygonPiece = 1024;

void DrawPolygon(const AnchorBuffer& b) {
    if (b.data == nullptr || b.elementsPerItem != 2) return;
    const uint32_t n = b.Count();
    if (n <= kPolygonPiece) {
        DrawBuffer(GL_POLYGON, b);
        return;
    }
    GLint mode[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    const float* p = b.Points();
    if (mode[0] == GL_FILL) {
        // Each piece repeats the first vertex and the last of the piece before.
        std::vector<float> fan;
        fan.reserve(2 * kPolygonPiece);
        for (uint32_t start = 1, end = 0; start + 1 < n; start = end - 1) {
            end = std::min(n, start + kPolygonPiece - 1);
            fan.assign(p, p + 2);
            fan.insert(fan.end(), p + 2 * start, p + 2 * end);
            DrawArray(GL_TRIANGLE_FAN, fan.data(), static_cast<uint32_t>(fan.size() / 2));
        }
    } else if (mode[0] == GL_POINT) {
        for (uint32_t start = 0; start < n; start += kPolygonPiece)
            DrawArray(GL_POINTS, p + 2 * start, std::min(kPolygonPiece, n - start));
    } else {
        // Strips that share their end vertices, and the closing edge.
        for (uint32_t start = 0; start + 1 < n; start += kPolygonPiece - 1)
            DrawArray(GL_LINE_STRIP, p + 2 * start, std::min(kPolygonPiece, n - start));
        const float closing[4] = {p[2 * n - 2], p[2 * n - 1], p[0], p[1]};
        DrawArray(GL_LINES, closing, 2);
    }
}

void Cross(float x, float y) {
    glBegin(GL_LINES);
    glVertex2f(x - 2.0f, y - 2.0f);
    glVertex2f(x + 2.0f, y + 2.0f);
    glVertex2f(x + 2.0f, y - 2.0f);
    glVertex2f(x - 2.0f, y + 2.0f);
    glEnd();
}

void Loop(float x0, float y0, float x1, float y1) {
    glBegin(GL_LINE_LOOP);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

void Segment(float x0, float y0, float x1, float y1) {
    glBegin(GL_LINES);
    glVertex2f(x0, y0);
    glVertex2f(x1, y1);
    glEnd();
}

void SinglePoint(float x, float y) {
    glBegin(GL_POINTS);
    glVertex2f(x, y);
    glEnd();
}

// The frame of a region in data coordinates: its integer origin, in sub-pixel units.
void EnterRegionFrame(const Shape& shape, const ShapeRegion& region) {
    const double k = shape.header.subpix > 1 ? shape.header.subpix : 1.0;
    glPushMatrix();
    glTranslated(region.originX / k, region.originY / k, 0.0);
    if (k != 1.0) glScaled(1.0 / k, 1.0 / k, 1.0);
}

// Sets the view's translation (and in the pick pass the clip planes to its area) and the
// zoom. False when nothing is to be drawn.
bool Begin(gElement* glyph, Shape* shape, Frame* f) {
    if (shape == nullptr || shape->header.anchors.Count() == 0 || shape->header.anchors.data == nullptr) return false;
    f->glyph = glyph;
    f->shape = shape;
    f->container = shape->container;
    f->view = shape->view != nullptr ? shape->view : f->container != nullptr ? f->container->view : nullptr;
    if (f->view != nullptr) f->view->Follow();
    f->pick = gIsPicking();
    if (f->view != nullptr && f->view->pixelScale.flag != 0) f->zoom = &f->view->pixelScale;
    const ShapeContainer* c = f->container;
    f->current = c != nullptr && c->current == shape;
    f->selectedCurrent = f->current && c->selectionFlag != 0;
    f->pressedCurrent = f->current && glyph != nullptr && glyph->value != 0;
    f->fillMode = c != nullptr ? c->fillMode : 3;
    const ShapeView* v = f->view;
    glPushMatrix();
    if (f->pick) {
        const double wx = v != nullptr ? v->windowRect[0] : 0.0, wy = v != nullptr ? v->windowRect[1] : 0.0;
        glTranslated(wx, wy, 0.0);
        if (v != nullptr) {
            const double planes[4][4] = {{1, 0, 0, 0},
                                         {-1, 0, 0, v->clipWidth},
                                         {0, 1, 0, 0},
                                         {0, -1, 0, v->clipHeight}};
            for (int i = 0; i < 4; ++i) glClipPlane(GL_CLIP_PLANE0 + i, planes[i]);
            EnableClipPlanes(true);
            glTranslated(v->displayOffsetX - wx + v->originX, v->displayOffsetY - wy + v->originY + 0.5, 0.0);
        }
    } else {
        EnableClipPlanes(v != nullptr);
        if (v != nullptr) glTranslated(v->displayOffsetX + v->originX, v->displayOffsetY + v->originY, 0.0);
    }
    if (f->zoom != nullptr) {
        glPushMatrix();
        glScaled(f->zoom->x, f->zoom->y, 1.0);
        f->pushedZoom = true;
    }
    return true;
}

// Pops the matrices; in the ordinary paint the label goes on top, at the window's scale.
void End(Frame* f) {
    if (f->pushedZoom) glPopMatrix();
    glPopMatrix();
    if (!f->pick) DrawShapeLabel(f->glyph, *f->shape);
    glDisable(GL_BLEND);
    EnableClipPlanes(false);
}

// The anchors' box marks: the dashed box while a handle is held, else at label level 1
// two loops around the line. `open`: the box of an open curve, else the two anchors.
void BoxMarks(const Frame& f, double x, double y, double w, double h, bool open) {
    const ShapeContainer* c = f.container;
    if (c == nullptr) return;
    const bool degenerate = w == 0.0 || h == 0.0;
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    glPushMatrix();
    glTranslated(x, y, 0.0);
    if (!degenerate && c->handleDragging != 0) {
        if (f.current) {
            glEnable(GL_LINE_STIPPLE);
            glLineStipple(1, 0xCCCC);
            if (open) glColor3f(0.7f, 0.7f, 0.7f);
            else glColor3f(1.0f, 1.0f, 1.0f);
            Loop(0.0f, 0.0f, fw, fh);
            glDisable(GL_LINE_STIPPLE);
        }
    } else if (c->labelLevel == 1) {
        if (open) {
            if (std::fabs(h) >= 3.0) {
                glColor3f(0.95f, 0.95f, 0.3f);
                Loop(0.0f, 0.0f, fw, fh);
                glColor3f(0.0f, 0.3f, 0.95f);
                Loop(-1.0f, -1.0f, fw + 1.0f, fh + 1.0f);
            } else {
                glColor3f(0.95f, 0.95f, 0.3f);
                Loop(-5.0f, -5.0f, fw + 5.0f, fh + 5.0f);
                glColor3f(0.0f, 0.3f, 0.95f);
                Loop(-6.0f, -6.0f, fw + 6.0f, fh + 6.0f);
            }
        } else {
            const float sx = w < 0.0 ? 5.0f : -5.0f, sy = h < 0.0 ? 5.0f : -5.0f;
            glColor3f(1.0f, 0.3f, 0.3f);
            Loop(sx, sy, fw - sx, fh - sy);
            const float gx = sx > 0.0f ? 1.0f : -1.0f, gy = sy > 0.0f ? 1.0f : -1.0f;
            glColor3f(0.0f, 0.8f, 0.95f);
            Loop(sx + gx, sy + gy, fw - sx - gx, fh - sy - gy);
        }
    }
    glPopMatrix();
}

// The snapshot header holds the shape as it was before the edit that runs.
bool SnapshotShown(const Frame& f, bool needSelected) {
    const ShapeContainer* c = f.container;
    const ShapeHeader& s = f.shape->snapshot;
    if (c == nullptr || c->dragging == 0 || (needSelected ? !f.selectedCurrent : !f.current)) return false;
    return s.kind != kKindNone && s.anchors.Count() >= 2 && s.anchors.elementsPerItem == 2 && s.anchors.data != nullptr;
}

void OpenSnapshot(const Frame& f, bool spline) {
    if (!SnapshotShown(f, false)) return;
    glColor3f(1.0f, 1.0f, 0.3f);
    InvertingBlend();
    if (spline) BSplineDrawAnchors(f.shape->snapshot.anchors);
    else DrawBuffer(GL_LINE_STRIP, f.shape->snapshot.anchors);
    glDisable(GL_BLEND);
}

// The toolkit's integer rectangle outline of a w x h box.
void IntegerOutline(int32_t w, int32_t h) {
    glBegin(GL_LINE_LOOP);
    glVertex2i(0, 0);
    glVertex2i(w, 0);
    glVertex2i(w, h);
    glVertex2i(0, h);
    glEnd();
}

void FigureSnapshot(const Frame& f) {
    if (!SnapshotShown(f, true)) return;
    const AnchorBuffer& s = f.shape->snapshot.anchors;
    const int32_t kind = f.shape->header.kind;
    InvertingBlend();
    glPushMatrix();
    if (kind == kKindRect) {
        glColor3f(0.7f, 0.7f, 1.0f);
        glTranslated(std::floor(s.X(0)), std::floor(s.Y(0)), 0.0);
        const float w = std::floor(s.X(1) - s.X(0)), h = std::floor(s.Y(1) - s.Y(0));
        if (w != 0.0f && h != 0.0f) Loop(0.0f, 0.0f, w, h);
        else if (w != 0.0f || h != 0.0f) Segment(0.0f, 0.0f, w, h);
    } else {
        glColor3f(0.7f, 0.6f, 1.0f);
        glTranslated(s.X(0), s.Y(0), 0.0);
        const int32_t w = kernel::SaturateTrunc<int32_t>(std::ceil(s.X(1) - s.X(0)));
        const int32_t h = kernel::SaturateTrunc<int32_t>(std::ceil(s.Y(1) - s.Y(0)));
        IntegerOutline(w, h);
        if (kind != kKindPolygon) Cross(static_cast<float>(w >> 1), static_cast<float>(h >> 1));
    }
    glPopMatrix();
    glDisable(GL_BLEND);
}

// The offset band of an open curve (relative to its first anchor).
void OpenBand(const Frame& f, GLenum mode) {
    const Shape& s = *f.shape;
    const AnchorBuffer& o = s.derived.outline;
    if (o.Count() <= 3 || o.data == nullptr) return;
    SetColour(kOpenBand[f.Precedence()]);
    if (f.Outlined()) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    BlendIf(f.Inverting());
    glPushMatrix();
    glTranslatef(s.header.anchors.X(0), s.header.anchors.Y(0), 0.0f);
    DrawBuffer(mode, o);
    if (s.header.offset.direction == kOffsetFree) {
        glDisable(GL_BLEND);
        glColor3f(1.0f, 1.0f, 1.0f);
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(1, 0xAAAA);
        Segment(4.0f * o.X(0), 4.0f * o.Y(0), 4.0f * o.X(1), 4.0f * o.Y(1));
        glDisable(GL_LINE_STIPPLE);
    }
    glPopMatrix();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_BLEND);
}

// The statistic mark of a closed figure; the matrix stands at its first anchor.
void DrawStatisticMark(const Frame& f) {
    const Shape& s = *f.shape;
    const StatisticMark& m = s.statMark;
    if (m.centreX < 0.0 || (f.container != nullptr && f.container->noStatisticMarks != 0)) return;
    const AnchorBuffer& a = s.header.anchors;
    glPushMatrix();
    glTranslated(m.centreX - a.X(0) + 0.5, m.centreY - a.Y(0) + 0.5, 0.0);
    float r1 = m.halfFwhm, r2 = m.thresholdRadius;
    const bool scaled = f.zoom != nullptr;
    if (scaled) {
        const float k = static_cast<float>(std::max(f.zoom->x, f.zoom->y));
        r1 *= k;
        r2 *= k;
        // The radii are now in window pixels: the circles are drawn at the window's
        // scale, or the zoom would count twice.
        if (f.zoom->x > 0.0 && f.zoom->y > 0.0) glScaled(1.0 / f.zoom->x, 1.0 / f.zoom->y, 1.0);
    }
    auto circle = [&](float r) {
        bool points = false;
        const std::vector<float> p = StatisticCirclePoints(r, scaled, &points);
        DrawArray(points ? GL_POINTS : GL_LINE_LOOP, p.data(), static_cast<uint32_t>(p.size() / 2));
    };
    glColor3f(1.0f, 0.0f, 0.0f);
    if (r1 < 1.7f) {
        glPointSize(r1 > 0.3f ? 2.0f * r1 : 1.0f);
        SinglePoint(0.0f, 0.0f);
    } else {
        SinglePoint(0.0f, 0.0f);
        circle(r1);
    }
    if (r2 >= 1.7f) {
        glColor3f(0.0f, 1.0f, 0.0f);
        circle(r2);
    }
    glPointSize(1.0f);
    glPopMatrix();
}

void DrawOpenAnchors(const Shape& s, bool all) {
    const AnchorBuffer& a = s.header.anchors;
    const uint32_t n = a.Count();
    glPointSize(13.0f);
    switch (s.header.offset.direction) {
        case kOffsetNrml: glColor3f(0.8f, 0.8f, 0.8f); break;
        case kOffsetAngl: glColor3f(0.0f, 0.7f, 0.7f); break;
        case kOffsetCnrm: glColor3f(0.0f, 0.7f, 0.0f); break;
        case kOffsetAxis: glColor3f(0.0f, 0.0f, 1.0f); break;
        default: glColor3f(0.7f, 0.8f, 0.0f); break;
    }
    SinglePoint(a.X(0), a.Y(0));
    if (all) {
        const Colour plain = n > 2 ? Colour{1.0f, 0.8f, 0.5f} : Colour{0.0f, 0.9f, 0.9f};
        const Colour selected = n > 2 ? Colour{1.0f, 0.5f, 0.5f} : Colour{1.0f, 0.8f, 0.5f};
        auto selectedOnes = [&] {
            const uint8_t* sel = a.Selection();
            glBegin(GL_POINTS);
            for (uint32_t i = 0; i < n; ++i)
                if (sel != nullptr && sel[i] != 0) glVertex2f(a.X(i), a.Y(i));
            glEnd();
        };
        if (a.selectedCount == -1) {
            SetColour(selected);
            glPointSize(9.0f);
            DrawBuffer(GL_POINTS, a);
            glPointSize(7.0f);
            DrawBuffer(GL_POINTS, a);
        } else if (a.selectedCount == 0) {
            glPointSize(7.0f);
            SetColour(plain);
            DrawBuffer(GL_POINTS, a);
        } else {
            glPointSize(9.0f);
            SetColour(selected);
            selectedOnes();
            glPointSize(7.0f);
            SetColour(plain);
            DrawBuffer(GL_POINTS, a);
        }
    }
    glPointSize(1.0f);
}

// The two anchors of a figure; the matrix stands at the first.
void DrawTwoAnchors(const Shape& s, float dx, float dy) {
    const AnchorBuffer& a = s.header.anchors;
    const Colour selected{1.0f, 0.8f, 0.5f}, plain{0.0f, 0.9f, 0.9f};
    const uint8_t* sel = a.Selection();
    if (dx == 0.0f && dy == 0.0f) {
        if (a.selectedCount != 0) {
            glPointSize(11.0f);
            SetColour(selected);
            SinglePoint(0.0f, 0.0f);
        }
        glPointSize(7.0f);
        SetColour(plain);
        SinglePoint(0.0f, 0.0f);
    } else {
        glPointSize(11.0f);
        SetColour(selected);
        glBegin(GL_POINTS);
        if (a.selectedCount < 0 || (sel != nullptr && sel[0] != 0)) glVertex2f(0.0f, 0.0f);
        if (a.selectedCount < 0 || (sel != nullptr && a.Count() > 1 && sel[1] != 0)) glVertex2f(dx, dy);
        glEnd();
        glPointSize(7.0f);
        SetColour(plain);
        glBegin(GL_POINTS);
        glVertex2f(0.0f, 0.0f);
        glVertex2f(dx, dy);
        glEnd();
    }
    glPointSize(1.0f);
}

// ---- Open curves ---------------------------------------------------------------------------------

void PaintOpen(gElement* glyph, Shape* shape, bool spline) {
    Frame f;
    if (!Begin(glyph, shape, &f)) return;
    const Shape& s = *shape;
    const AnchorBuffer& a = s.header.anchors;
    const AnchorBuffer& outline = s.derived.path.points;
    const ShapeBoxBlock& box = s.header.box;
    const bool point = box.w == 0.0 && box.h == 0.0;
    if (f.pick) {
        if (!spline) {
            DrawBuffer(GL_LINE_STRIP, a);
        } else {
            glPushMatrix();
            glTranslatef(a.X(0), a.Y(0), 0.0f);
            if (outline.Count() > 1) DrawBuffer(GL_LINE_STRIP, outline);
            glPopMatrix();
            if (f.container != nullptr && f.container->selectionFlag != 0 && !f.Drawing() && f.current &&
                a.Count() > 2)
                DrawArray(GL_POINTS, a.Points() + 2, a.Count() - 2);
        }
        End(&f);
        return;
    }
    OpenSnapshot(f, spline);
    OpenBand(f, spline ? GL_QUAD_STRIP : GL_QUADS);
    BoxMarks(f, box.x, box.y, box.w, box.h, true);

    glPushMatrix();
    glTranslatef(a.X(0), a.Y(0), 0.0f);
    const Colour body = kBody[f.Precedence()];
    BlendIf(f.Inverting());
    if (!spline) {
        if (f.zoom != nullptr) {
            glColor3f(1.0f, 0.0f, 0.0f);
            if (f.Magnified()) glLineWidth(3.0f);
            if (outline.Count() >= 2 && !point) DrawBuffer(GL_LINE_STRIP, outline);
            else Cross(0.0f, 0.0f);
            glLineWidth(1.0f);
        }
        if (f.Magnified() || f.zoom == nullptr) {
            SetColour(body);
            if (s.derived.samples.Count() != 0 && !point) DrawBuffer(GL_POINTS, s.derived.samples);
            else Cross(0.0f, 0.0f);
        }
    } else {
        SetColour(body);
        if (f.zoom != nullptr && f.zoom->x > 2.0 && f.zoom->y > 2.0) {
            glLineWidth(3.0f);
            if (outline.Count() >= 2) DrawBuffer(GL_LINE_STRIP, outline);
            else Cross(0.0f, 0.0f);
            glLineWidth(1.0f);
            glDisable(GL_BLEND);
            glColor3f(1.0f, 0.0f, 0.0f);
            glPointSize(3.0f);
            if (outline.Count() != 0) DrawBuffer(GL_POINTS, outline);
            else Cross(0.0f, 0.0f);
            SetColour(body);
            glPointSize(1.0f);
            BlendIf(f.Inverting());
        } else {
            if (outline.Count() >= 2) DrawBuffer(GL_LINE_STRIP, outline);
            else Cross(0.0f, 0.0f);
        }
    }
    glDisable(GL_BLEND);
    glPopMatrix();

    if (f.selectedCurrent && f.EditMode() != kEditMove && !f.Drawing()) {
        if (spline) {
            glColor3f(0.9f, 0.9f, 0.9f);
            glEnable(GL_LINE_STIPPLE);
            glLineStipple(1, 0xCCCC);
            DrawBuffer(GL_LINE_STRIP, a);
            glDisable(GL_LINE_STIPPLE);
        }
        DrawOpenAnchors(s, !point);
    }
    End(&f);
}

// ---- Two-anchor figures --------------------------------------------------------------------------

enum class Figure { Rect, Round, Polygon };

void PaintFigure(gElement* glyph, Shape* shape, Figure figure) {
    Frame f;
    if (!Begin(glyph, shape, &f)) return;
    const Shape& s = *shape;
    const AnchorBuffer& a = s.header.anchors;
    const float x0 = a.X(0), y0 = a.Y(0);
    const float dx = a.Count() > 1 ? a.X(1) - x0 : 0.0f, dy = a.Count() > 1 ? a.Y(1) - y0 : 0.0f;
    if (f.pick) {
        if (dx == 0.0f && dy == 0.0f) {
            glPointSize(5.0f);
            SinglePoint(x0, y0);
            glPointSize(1.0f);
        } else if (dx != 0.0f && dy != 0.0f) {
            glRectf(x0, y0, x0 + dx, y0 + dy);
        } else {
            Segment(x0, y0, x0 + dx, y0 + dy);
        }
        End(&f);
        return;
    }
    const bool shown = s.header.role != kRoleFindArea || f.selectedCurrent;
    if (f.Outlined()) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        if (f.selectedCurrent) glLineWidth(3.0f);
    }
    FigureSnapshot(f);

    // The background ring.
    const ShapeDerived& d = s.derived;
    const bool ring = d.offsetRegion.count != 0 || d.offsetContour.Count() > 3;
    if (ring && shown && s.header.offset.Extent() != 0) {
        SetColour(kClosedBand[f.Precedence()]);
        if (f.Inverting()) {
            glEnable(GL_BLEND);
            if (figure == Figure::Round) glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
            else glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
        }
        EnterRegionFrame(s, d.offsetRegion);
        if (f.Outlined()) {
            if (d.offsetContour.Count() > 3) DrawBuffer(GL_LINE_LOOP, d.offsetContour);
        } else if (figure != Figure::Round) {
            RegionDrawQuadsOrMark(d.offsetRegion);
        } else if (d.offsetRegion.count != 0 && d.offsetRegion.box.x0 != d.offsetRegion.box.x1) {
            RegionDrawQuads(d.offsetRegion);
        }
        glPopMatrix();
        glDisable(GL_BLEND);
    }
    if (s.header.offset.Extent() == 0) BoxMarks(f, x0, y0, dx, dy, false);

    // The figure itself.
    if (shown) {
        SetColour(kBody[f.Precedence()]);
        BlendIf(f.Inverting());
        auto degenerate = [&] {
            glPushMatrix();
            glTranslatef(x0, y0, 0.0f);
            if (dx == 0.0f && dy == 0.0f) {
                if (figure == Figure::Polygon) SinglePoint(0.0f, 0.0f);
                else Cross(0.0f, 0.0f);
            } else {
                Segment(0.0f, 0.0f, dx, dy);
                if (figure != Figure::Polygon) {
                    // A small X on the segment, across its middle.
                    const float m = std::floor((dx != 0.0f ? dx : dy) * 0.5f);
                    if (dx != 0.0f) {
                        Segment(m - 2.0f, -2.0f, m + 3.0f, 3.0f);
                        Segment(m + 2.0f, -2.0f, m - 3.0f, 3.0f);
                    } else {
                        Segment(-2.0f, m - 2.0f, 3.0f, m + 3.0f);
                        Segment(-2.0f, m + 2.0f, 3.0f, m - 3.0f);
                    }
                }
            }
            glPopMatrix();
        };
        if (figure == Figure::Rect) {
            EnterRegionFrame(s, d.mask);
            RegionDrawQuadsOrMark(d.mask);
            glPopMatrix();
        } else if (figure == Figure::Polygon) {
            // Three vertices or more are a line only when their extent is: a polygon
            // whose first edge is level (a square) is still drawn whole.
            float left = x0, right = x0, top = y0, bottom = y0;
            for (uint32_t i = 1; i < a.Count(); ++i) {
                left = std::min(left, a.X(i));
                right = std::max(right, a.X(i));
                top = std::min(top, a.Y(i));
                bottom = std::max(bottom, a.Y(i));
            }
            if (a.Count() < 3) {
                degenerate();
            } else if (left == right || top == bottom) {
                glPushMatrix();
                glTranslatef(left, top, 0.0f);
                if (left == right && top == bottom) SinglePoint(0.0f, 0.0f);
                else Segment(0.0f, 0.0f, right - left, bottom - top);
                glPopMatrix();
            } else {
                DrawPolygon(a);
            }
        } else if (dx == 0.0f || dy == 0.0f || (d.mask.count == 0 && d.maskContour.Count() == 0)) {
            degenerate();
        } else if (f.Outlined()) {
            EnterRegionFrame(s, d.mask);
            const AnchorBuffer& o = d.maskContour;
            if (o.Count() >= 3) DrawBuffer(GL_LINE_LOOP, o);
            else if (o.Count() == 1) SinglePoint(o.X(0), o.Y(0));
            else if (o.Count() == 2) glRectf(o.X(0), o.Y(0), o.X(1), o.Y(1));
            glPopMatrix();
        } else {
            EnterRegionFrame(s, d.mask);
            RegionDrawQuadsOrMark(d.mask);
            glPopMatrix();
        }
        glDisable(GL_BLEND);
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glLineWidth(1.0f);

    glPushMatrix();
    glTranslatef(x0, y0, 0.0f);
    if (f.selectedCurrent && f.EditMode() != kEditMove) DrawTwoAnchors(s, dx, dy);
    DrawStatisticMark(f);
    glPopMatrix();
    End(&f);
}

// ---- Points ----------------------------------------------------------------------------------------

void PaintPoints(gElement* glyph, Shape* shape) {
    Frame f;
    if (!Begin(glyph, shape, &f)) return;
    const AnchorBuffer& a = shape->header.anchors;
    const uint32_t n = a.Count();
    if (f.pick) {
        if (f.zoom != nullptr && f.zoom->x >= 1.0 && f.zoom->y >= 0.0) {
            glTranslatef(-1.0f, -1.0f, 0.0f);
            glBegin(GL_QUADS);
            for (uint32_t i = 0; i < n; ++i) {
                const float x = a.X(i), y = a.Y(i);
                glVertex2f(x, y);
                glVertex2f(x + 2.0f, y);
                glVertex2f(x + 2.0f, y + 2.0f);
                glVertex2f(x, y + 2.0f);
            }
            glEnd();
        } else {
            DrawBuffer(GL_POINTS, a);
        }
        End(&f);
        return;
    }
    glTranslatef(-0.5f, 0.5f, 0.0f);
    InvertingBlend();
    const uint8_t* sel = a.Selection();
    auto isSelected = [&](uint32_t i) {
        return a.selectedCount == -1 || (a.selectedCount == 1 && static_cast<int32_t>(i) == a.lastSelected) ||
               (a.selectedCount > 1 && sel != nullptr && sel[i] == 1);
    };
    // Each anchor a cross of two bars, the selected ones in their own colour.
    auto crosses = [&](bool selected) {
        glBegin(GL_QUADS);
        for (uint32_t i = 0; i < n; ++i) {
            if (isSelected(i) != selected) continue;
            const float x = a.X(i), y = a.Y(i);
            glVertex2f(x, y - 5.0f);
            glVertex2f(x + 1.0f, y - 5.0f);
            glVertex2f(x + 1.0f, y + 4.0f);
            glVertex2f(x, y + 4.0f);
            glVertex2f(x - 4.0f, y - 1.0f);
            glVertex2f(x + 5.0f, y - 1.0f);
            glVertex2f(x + 5.0f, y);
            glVertex2f(x - 4.0f, y);
        }
        glEnd();
    };
    glColor3f(1.0f, 0.4f, 0.4f);
    crosses(false);
    glColor3f(0.3f, 1.0f, 1.0f);
    crosses(true);
    glDisable(GL_BLEND);
    End(&f);
}

// The painter of a kind, as the glyph list takes it.
void PaintKind0(gElement* g, Shape* s) { PaintPointGlyph(g, s); }

}  // namespace

void PaintPointGlyph(gElement* glyph, Shape* shape) { PaintPoints(glyph, shape); }
void PaintPolylineGlyph(gElement* glyph, Shape* shape) { PaintOpen(glyph, shape, false); }
void PaintBSplineGlyph(gElement* glyph, Shape* shape) { PaintOpen(glyph, shape, true); }
void PaintRectGlyph(gElement* glyph, Shape* shape) { PaintFigure(glyph, shape, Figure::Rect); }
void PaintEllipseGlyph(gElement* glyph, Shape* shape) { PaintFigure(glyph, shape, Figure::Round); }
void PaintPolygonGlyph(gElement* glyph, Shape* shape) { PaintFigure(glyph, shape, Figure::Polygon); }

void InstallShapeDrawing() {
    ShapeGlyphHooks& h = TheShapeGlyphHooks();
    h.paint[kKindPoint] = &PaintKind0;
    h.paint[kKindPolyLine] = &PaintPolylineGlyph;
    h.paint[kKindBSpline] = &PaintBSplineGlyph;
    h.paint[kKindLine] = &PaintPolylineGlyph;
    h.paint[kKindRect] = &PaintRectGlyph;
    h.paint[kKindCircle] = &PaintEllipseGlyph;
    h.paint[kKindEllipse] = &PaintEllipseGlyph;
    h.paint[kKindPolygon] = &PaintPolygonGlyph;
    h.press = &ShapeGlyphPress;
}

void PickShapeGlyphs(const ShapeContainer* container) {
    if (container == nullptr || container->list == nullptr) return;
    const ShapeList& list = *container->list;
    for (ShapeGlyph* g = list.Last(); g != nullptr; g = list.Previous(g)) {
        gElement* w = ToolkitShapeList::WidgetOf(g);
        if (w == nullptr || w->dead || !w->shown || !w->enabled || !w->active || w->state6 != 0) continue;
        if (w->paint == nullptr) continue;
        glLoadName(w->serial);
        glPushMatrix();
        w->paint(w);
        glPopMatrix();
    }
}

std::vector<float> StatisticCirclePoints(float r, bool scaled, bool* asPoints) {
    std::vector<float> out;
    if (!(r > 0.0f) || !std::isfinite(r)) {
        *asPoints = true;
        return out;
    }
    if (r < 20.0f && !scaled) {
        *asPoints = true;
        const int32_t radius = static_cast<int32_t>(std::ceil(r));
        int32_t x = 0, y = radius, decision = 3 - 2 * radius;
        while (x <= y) {
            const int32_t pts[8][2] = {{x, y}, {-x, y}, {x, -y}, {-x, -y}, {y, x}, {-y, x}, {y, -x}, {-y, -x}};
            for (const auto& p : pts) {
                out.push_back(static_cast<float>(p[0]));
                out.push_back(static_cast<float>(p[1]));
            }
            if (decision < 0) {
                decision += 4 * x + 6;
            } else {
                decision += 4 * (x - y) + 10;
                --y;
            }
            ++x;
        }
        return out;
    }
    *asPoints = false;
    const int n = r >= 40.0f ? 32 : 16;
    for (int k = 0; k < n; ++k) {
        const double t = (-90.0 + 360.0 * k / n) * 0.017453292519943295;
        out.push_back(static_cast<float>(r * std::cos(t)));
        out.push_back(static_cast<float>(r * std::sin(t)));
    }
    return out;
}

bool ShapeDrawingLimitsFit() {
    GLfloat points[2] = {0.0f, 0.0f}, lines[2] = {0.0f, 0.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, points);
    glGetFloatv(GL_LINE_WIDTH_RANGE, lines);
    return points[1] >= 13.0f && lines[1] >= 3.0f;
}

}  // namespace orva
