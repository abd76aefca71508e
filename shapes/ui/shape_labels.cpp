#include "shapes/ui/shape_labels.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "shapes/editing/shape_requests.h"
#include "shapes/shape_container.h"
#include "toolkit/font.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

constexpr size_t kNameCharacters = 12;
constexpr float kLabelBoxColour[3] = {1.0f, 1.0f, 0.749f};

bool IsFigure(int32_t kind) { return kind >= kKindRect && kind <= kKindPolygon; }
bool IsOpen(int32_t kind) { return kind >= kKindPolyLine && kind <= kKindLine; }

// Formats into `out` with at most `limit` characters: a text that fails or needs the
// whole limit leaves nothing (false).
template <class... Args>
bool FormatLimited(char* out, size_t room, size_t limit, const char* format, Args... args) {
    out[0] = '\0';
    if (limit + 1 > room) limit = room - 1;
    const int n = std::snprintf(out, limit + 1, format, args...);
    if (n < 0 || static_cast<size_t>(n) >= limit) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// The anchor a point's label names: the one selected alone among several, else the first.
uint32_t LabelledPoint(const AnchorBuffer& a) {
    if (a.Count() > 1 && a.selectedCount == 1 && a.lastSelected >= 0 &&
        static_cast<uint32_t>(a.lastSelected) < a.Count())
        return static_cast<uint32_t>(a.lastSelected);
    return 0;
}

bool FirstLine(const Shape& shape, char* line) {
    const int32_t kind = shape.header.kind;
    const AnchorBuffer& a = shape.header.anchors;
    const uint32_t count = a.Count();
    size_t used = 0;
    const char* name = shape.name != nullptr ? shape.name : "";
    if (name[0] != '\0') {
        used = std::min(std::strlen(name), kNameCharacters);
        std::memcpy(line, name, used);
    } else if (IsFigure(kind)) {
        used = 4;
        std::memcpy(line, "Rect", used);
    }
    line[used] = '\0';
    char* measure = line + used;
    const size_t room = kLabelLineBytes - used;
    const uint32_t aperture = static_cast<uint32_t>(shape.header.offset.aperture[0]);
    bool ok = false;
    switch (kind) {
        case kKindPoint:
            ok = FormatLimited(measure, room, 60, "  N=%d / %u", static_cast<int>(LabelledPoint(a) + 1), count);
            break;
        case kKindPolyLine:
        case kKindLine:
            ok = FormatLimited(measure, room, 60, "  [Vrx=%u, L=%.1f, A=%u]", count, shape.derived.length,
                               aperture + 1u);
            break;
        case kKindBSpline:
            ok = FormatLimited(measure, room, 60, "  [CtlPts=%u, L=%.1f, A=%u]", count, shape.derived.length,
                               aperture + 1u);
            break;
        default:
            ok = FormatLimited(measure, room, 100, "  [W=%.1f, H=%.1f, S=%.1f, A=%u]", shape.header.box.w,
                               shape.header.box.h, shape.measure, aperture);
            break;
    }
    if (!ok) line[0] = '\0';
    return ok;
}

}  // namespace

int32_t EffectiveLabelLevel(const Shape& shape) {
    const ShapeContainer* c = shape.container;
    if (c == nullptr) return 0;
    if (c->labelsForCurrentOnly != 0 && c->current != &shape) return 0;
    return c->labelLevel;
}

bool FormatShapeLabel(const Shape& shape, int32_t level, ShapeLabelText* out) {
    *out = ShapeLabelText{};
    const int32_t kind = shape.header.kind;
    const AnchorBuffer& a = shape.header.anchors;
    if (level <= 1 || kind < kKindPoint || kind > kKindPolygon || a.Count() == 0 || a.data == nullptr) return false;
    FirstLine(shape, out->lines[0]);
    if (level < 3) return true;
    const uint32_t last = a.Count() - 1;
    if (kind == kKindPoint) {
        const uint32_t i = LabelledPoint(a);
        FormatLimited(out->lines[1], kLabelLineBytes, 60, "(%.1f, %.1f)", static_cast<double>(a.X(i)),
                      static_cast<double>(a.Y(i)));
        return true;
    }
    // Open curves name their ends, the figures their first two anchors.
    const uint32_t second = IsOpen(kind) ? last : std::min<uint32_t>(1, last);
    FormatLimited(out->lines[1], kLabelLineBytes, 89, "(%.1f, %.1f) (%.1f, %.1f)", static_cast<double>(a.X(0)),
                  static_cast<double>(a.Y(0)), static_cast<double>(a.X(second)), static_cast<double>(a.Y(second)));
    if (kind == kKindPolyLine || kind == kKindLine) {
        const double dx = static_cast<double>(a.X(last)) - a.X(0), dy = static_cast<double>(a.Y(last)) - a.Y(0);
        const char format[] = {'r', '=', '(', '%', '.', '1', 'f', ',', ' ', '%', '.', '1', 'f', ')', ' ', 'a', 'n',
                               'g', 'l', 'e', '=', '%', '.', '2', 'f', kDegreeSign, '\0'};
        FormatLimited(out->lines[2], kLabelLineBytes, 54, format, dx, dy, std::atan2(dy, dx) * 57.29577951308232);
    }
    return true;
}

void ShapeLabelAnchor(const Shape& shape, const ShapeView* view, float fontHeight, float anchor[2],
                      float offset[2]) {
    const int32_t kind = shape.header.kind;
    const AnchorBuffer& a = shape.header.anchors;
    double zx = 1.0, zy = 1.0, tx = 0.0, ty = 0.0;
    if (view != nullptr) {
        if (view->pixelScale.flag != 0) {
            zx = view->pixelScale.x;
            zy = view->pixelScale.y;
        }
        tx = view->displayOffsetX + view->originX;
        ty = view->displayOffsetY + view->originY;
    }
    double x = 0.0, y = 0.0;
    if (IsOpen(kind)) {
        x = shape.header.box.x;
        y = shape.header.box.y;
        offset[0] = static_cast<float>(0.7 * shape.header.box.w * zx);
        offset[1] = static_cast<float>(26.0 - (fontHeight + 2.0) + shape.header.box.h * zy);
    } else if (kind == kKindPoint) {
        const uint32_t i = LabelledPoint(a);
        x = a.Count() != 0 ? a.X(i) : 0.0;
        y = a.Count() != 0 ? a.Y(i) : 0.0;
        offset[0] = 1.0f;
        offset[1] = 26.0f - fontHeight;
    } else {
        x = a.Count() != 0 ? a.X(0) : 0.0;
        y = a.Count() != 0 ? a.Y(0) : 0.0;
        const double dx = a.Count() > 1 ? static_cast<double>(a.X(1)) - a.X(0) : 0.0;
        const double dy = a.Count() > 1 ? static_cast<double>(a.Y(1)) - a.Y(0) : 0.0;
        offset[0] = static_cast<float>(0.7 * dx * zx);
        offset[1] = static_cast<float>(26.0 - fontHeight + (dy >= 0.0 ? dy * zy : 0.0));
    }
    anchor[0] = static_cast<float>(x * zx + tx);
    anchor[1] = static_cast<float>(y * zy + ty);
}

bool LayoutShapeLabel(int32_t kind, const ShapeLabelText& text, const float widths[3], float fontHeight,
                      const float anchor[2], const float offset[2], const float r[4], ShapeLabelBox* box) {
    const float lx = anchor[0] + offset[0], ly = anchor[1] + offset[1];
    if (!(lx > r[0] && ly > r[1] && anchor[0] < r[0] + r[2] - 5.0f && anchor[1] < r[1] + r[3] - 5.0f)) return false;
    // Of the coordinate lines only the longer counts when their lengths differ by more than 2.
    float width = widths[0];
    const size_t n1 = std::strlen(text.lines[1]), n2 = std::strlen(text.lines[2]);
    if (n1 > n2 + 2) width = std::max(width, widths[1]);
    else if (n2 > n1 + 2) width = std::max(width, widths[2]);
    else width = std::max({width, widths[1], widths[2]});
    const float lh = IsOpen(kind) ? fontHeight + 2.0f : fontHeight;
    float height = lh + 4.0f, baseline = lh;
    box->baseline[0] = baseline;
    for (int i = 1; i < 3; ++i) {
        if (text.Empty(i)) continue;
        const float step = IsFigure(kind) ? fontHeight + 2.0f : lh;
        height += step;
        baseline += step;
        box->baseline[i] = baseline;
    }
    box->width = width + 4.0f;
    box->height = height;
    box->x = lx + box->width > r[0] + r[2] ? r[0] + r[2] - box->width : lx;
    box->y = ly + box->height > r[1] + r[3] ? r[1] + r[3] - box->height : ly;
    return true;
}

void DrawShapeLabel(const gElement* glyph, const Shape& shape) {
    ShapeLabelText text;
    if (!FormatShapeLabel(shape, EffectiveLabelLevel(shape), &text)) return;
    const gFont* font = glyph != nullptr && glyph->font != nullptr ? glyph->font : gFontCurrent();
    if (font == nullptr) return;
    const float fh = font->height > 0.0f ? font->height : gFontLineHeight(font);
    const ShapeView* view = shape.view;
    if (view == nullptr && shape.container != nullptr) view = shape.container->view;
    if (view == nullptr) return;
    float anchor[2], offset[2], widths[3];
    ShapeLabelAnchor(shape, view, fh, anchor, offset);
    for (int i = 0; i < 3; ++i) widths[i] = text.Empty(i) ? 0.0f : gFontTextWidth(font, text.lines[i]);
    ShapeLabelBox box;
    if (!LayoutShapeLabel(shape.header.kind, text, widths, fh, anchor, offset, view->windowRect, &box)) return;
    glColor3fv(kLabelBoxColour);
    glRectf(box.x, box.y, box.x + box.width, box.y + box.height);
    glColor3f(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 3; ++i) {
        if (text.Empty(i)) continue;
        glPushAttrib(GL_LIST_BIT);
        gTextDrawAt(font, box.x + 2.0f, box.y + box.baseline[i], text.lines[i]);
        glPopAttrib();
    }
}

}  // namespace orva
