#include "processing/modules/filter_page.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "toolkit/painters.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// The page's widgets lie where the page puts them rather than where a layout group would.
constexpr uint32_t kPageStyle = kWsLeft | kWsTop | kWsNoPlace;

// A button face with a triangle pointing back or on.
void PaintArrow(gElement* e, bool forward) {
    const float x = e->x, y = e->y, w = e->cellWidth, h = e->cellHeight;
    if (gIsPicking()) {
        gPickRect(x, y, x + w, y + h);
        return;
    }
    gPaintButtonFace(e, e->value != 0 ? 2 : 0);
    // Whole pixels from the face's middle, so that both arrows come out alike.
    const float cy = y + h * 0.5f, mid = x + std::floor(w * 0.5f), near = mid - 2.0f, far = mid + 2.0f, half = 4.0f;
    glColor3ub(24, 24, 32);
    glBegin(GL_TRIANGLES);
    if (forward) {
        glVertex2f(near, cy - half);
        glVertex2f(near, cy + half);
        glVertex2f(far, cy);
    } else {
        glVertex2f(far, cy - half);
        glVertex2f(far, cy + half);
        glVertex2f(near, cy);
    }
    glEnd();
}

}  // namespace

void FilterPagePaintPrevious(gElement* e) { PaintArrow(e, false); }
void FilterPagePaintNext(gElement* e) { PaintArrow(e, true); }

void FilterPagePaintFrame(gElement* e) {
    if (!gIsPicking()) gPaintEdgeFrame(e);
}

float FilterPageWidth(const gWindow* window) {
    constexpr float kColumnPageWidth = 260.0f, kFallback = 214.0f;
    if (window == nullptr || window->clientWidth <= 0) return kFallback;
    return std::min(static_cast<float>(window->clientWidth), kColumnPageWidth);
}

gElement* FilterPageAdd(gWindow* window, gElement* root, int32_t kind, float x, float y, float width, float height,
                        void (*paint)(gElement*), void (*onClick)(gElement*, uintptr_t),
                        void (*onDestroy)(gElement*)) {
    gWgtTemplate t;
    t.desc.kind = kind;
    t.desc.style = kPageStyle;
    t.desc.width = t.desc.cellWidth = width;
    t.desc.height = t.desc.cellHeight = height;
    t.desc.offsetX = x;
    t.desc.offsetY = y;
    if (paint != nullptr) t.desc.paint = paint;
    if (onClick != nullptr) t.desc.onClick = onClick;
    if (root == nullptr) t.desc.onDestroy = onDestroy;
    gElement* e = gWgtAdd(window, root, &t, root == nullptr ? kWsTopLevel : kWsAfter);
    // Placed already; the bit would make the widget inert.
    if (e != nullptr && onClick != nullptr) e->style &= ~kWsNoPlace;
    return e;
}

void FilterPageRepaint(const gElement* root) {
    if (root != nullptr && root->window != nullptr) root->window->dirty = 7;
}

}  // namespace orva
