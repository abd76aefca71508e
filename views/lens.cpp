#include "views/lens.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

#include "common/aligned_memory.h"
#include "data/kernel_util.h"
#include "framework/port.h"
#include "toolkit/font.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "app/graphics_window.h"
#include "views/display_cell.h"
#include "views/workspace.h"

namespace orva {

namespace {

// The lens widget's creation style.
constexpr uint32_t kLensCreate = 0x40000000;
// The largest sampled square that the painter reads.
constexpr uint32_t kLensPaintLimit = 1000;

WorkspaceComponent* WorkspaceOfLens(const gElement* widget) {
    return widget != nullptr ? AsWorkspace(reinterpret_cast<ComponentBase*>(widget->handlerData)) : nullptr;
}

float FontHeight(const gElement* widget) {
    return widget != nullptr && widget->font != nullptr ? gFontLineHeight(widget->font) : 0.0f;
}

}  // namespace

void LensFreeBuffer(Lens* lens) {
    if (lens == nullptr) return;
    AlignedFree(lens->buffer);
    lens->buffer = nullptr;
    lens->capacity = 0;
}

void LensSetSize(Lens* lens, uint32_t n) {
    if (lens == nullptr) return;
    n = std::clamp(n, kLensMinSize, kLensMaxSize);
    lens->centreOffset = (((n / 2) - 1) * n + n / 2) * 3;
    const uint32_t need = n * n * 3;
    if (lens->buffer == nullptr || lens->capacity < need) {
        LensFreeBuffer(lens);
        lens->buffer = static_cast<uint8_t*>(AlignedAlloc(need, 4));
        lens->capacity = lens->buffer != nullptr ? need : 0;
    }
    lens->size = n;
}

void LensPixelSize(const WorkspaceComponent* workspace, float* x, float* extent, float availableWidth) {
    if (workspace == nullptr) return;
    const Lens& lens = workspace->lens;
    float e = static_cast<float>(kernel::SaturateRound<int32_t>(static_cast<double>(lens.size) * lens.zoom));
    if (extent != nullptr) extent[0] = extent[1] = e;
    if (x != nullptr) *x = availableWidth - e - 4.0f;
}

float LensMargin(float a, float b) { return a - b - 4.0f; }

bool CreateLensView(WorkspaceComponent* workspace, gWindow* window, void* owner) {
    if (workspace == nullptr || window == nullptr) return false;
    float x = 0, extent[2] = {0, 0};
    LensPixelSize(workspace, &x, extent, static_cast<float>(window->clientWidth) - workspace->margins[2]);
    WidgetDesc d;
    d.kind = kLensKind;
    d.style = kWsLeft | kWsTop | kWsNoPlace;
    d.width = d.cellWidth = extent[0];
    d.height = d.cellHeight = extent[1];
    d.offsetX = x;
    d.offsetY = workspace->margins[1] + 2.0f;
    d.state[1] = 0x01010101u;
    d.state[2] = 1;
    d.paint = &LensPaint;
    gElement* e = gWgtCreate(window, nullptr, nullptr, &d, kLensCreate);
    if (e == nullptr) return false;
    e->handlerData = reinterpret_cast<uintptr_t>(owner);
    workspace->lens.widget = e;
    workspace->lens.textHeight = FontHeight(e) + 4.0f;
    if (workspace->lens.showValues != 0) {
        workspace->lens.showValues = 0;
        LensShowValues(workspace, true);
    }
    return true;
}

bool LensFitText(WorkspaceComponent* workspace) {
    if (workspace == nullptr) return false;
    Lens& lens = workspace->lens;
    gElement* e = lens.widget;
    if (e == nullptr || !gWgtIsLive(e) || e->font == nullptr) return false;
    float step = lens.textHeight + 1.0f;
    if (lens.showValues != 0) {
        e->height += step;
    } else {
        e->height = std::max(e->height - step, e->width);
    }
    e->cellHeight = e->height;
    return true;
}

void LensShowValues(WorkspaceComponent* workspace, bool on) {
    if (workspace == nullptr) return;
    Lens& lens = workspace->lens;
    uint8_t value = on ? 1 : 0;
    if (lens.showValues == value) return;
    lens.showValues = value;
    if (LensFitText(workspace)) PaintWindowNow(lens.widget->window, true);
}

void LensSetOn(WorkspaceComponent* workspace, bool on) {
    if (workspace == nullptr) return;
    Lens& lens = workspace->lens;
    lens.on = on ? 1 : 0;
    lens.pinned = 1;
    DisplayComponent* cell = workspace->activeCell;
    GraphicsWindow* gw = cell != nullptr ? cell->Graphics() : nullptr;
    if (gw == nullptr) {
        lens.state = 1;
        return;
    }
    gw->SetModeFlag(lens.on);
    lens.state = 0;
}

void LensValuesText(const uint8_t rgb[3], char text[13]) {
    std::snprintf(text, 13, "%3u%3u%3u", static_cast<unsigned>(rgb[0]), static_cast<unsigned>(rgb[1]),
                  static_cast<unsigned>(rgb[2]));
}

void LensSampleOrigin(uint32_t size, double cursorX, double cursorY, float widgetWidth, float widgetHeight,
                      int32_t* px, int32_t* py) {
    const int32_t h = static_cast<int32_t>(size / 2), n = static_cast<int32_t>(size);
    auto axis = [&](double cursor, float extent) {
        // The cursor's pixel lands on block h of the square: the block under the
        // cross-hair and the one whose values the text shows.
        int32_t p = kernel::SaturateRound<int32_t>(cursor) - h;
        if (p < 0) return 0;
        if (static_cast<float>(p) > extent - static_cast<float>(n)) return kernel::SaturateRound<int32_t>(extent) - n;
        return p;
    };
    if (px != nullptr) *px = axis(cursorX, widgetWidth);
    if (py != nullptr) *py = axis(cursorY, widgetHeight);
}

void LensPaint(gElement* widget) {
    WorkspaceComponent* ws = WorkspaceOfLens(widget);
    if (ws == nullptr) return;
    if (gIsPicking()) {
        gPickRect(widget->x, widget->y, widget->x + widget->width, widget->y + widget->height);
        return;
    }
    gWindow* w = widget->window;
    Lens& lens = ws->lens;
    if (w == nullptr || (w->state & kNotDrawnMask) != 0 || lens.on == 0) return;
    const float width = static_cast<float>(w->clientWidth), height = static_cast<float>(w->clientHeight);
    const float extent = widget->width;
    const float W = widget->width + 1.0f, H = extent + 1.0f;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(widget->x, height - widget->y - extent - 1.0f, 0);

    DisplayComponent* cell = ws->activeCell;
    gElement* cellWidget = cell != nullptr ? cell->widget : nullptr;
    bool sample = cell != nullptr && cell->currentDevice != nullptr && cellWidget != nullptr && lens.size >= 1 &&
                  lens.size <= kLensPaintLimit;
    if (!sample) {
        glColor3f(0, 0, 0);
        glRectf(1, 1, W, H);
    } else if (lens.buffer != nullptr) {
        const double ox = cell->host.offsetX, oy = cell->host.offsetY;
        int32_t px = 0, py = 0;
        LensSampleOrigin(lens.size, ox + ws->readouts.cursor[0], oy + ws->readouts.cursor[1], cellWidget->width,
                         cellWidget->height, &px, &py);
        px += kernel::SaturateRound<int32_t>(cellWidget->x);
        const int32_t n = static_cast<int32_t>(lens.size);
        const int32_t readY = w->clientHeight - kernel::SaturateRound<int32_t>(cellWidget->y) - py - n;
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(px, readY, n, n, GL_RGB, GL_UNSIGNED_BYTE, lens.buffer);
        glRasterPos2f(1, 1);
        glPixelZoom(lens.zoom, lens.zoom);
        glDrawPixels(n, n, GL_RGB, GL_UNSIGNED_BYTE, lens.buffer);
        glPixelZoom(1, 1);
        if (lens.showValues != 0 && widget->font != nullptr && lens.centreOffset + 3 <= lens.capacity) {
            char text[13];
            LensValuesText(lens.buffer + lens.centreOffset, text);
            glColor3f(0.049f, 0.2f, 0.3f);
            glRectf(W - 66.0f, -lens.textHeight, W, -2.0f);
            const float base = -lens.textHeight + 2.0f;
            glColor3f(1.0f, 0.2f, 0.2f);
            gTextDrawAt(widget->font, W - 64.0f, base, text, 3);
            glColor3f(0.1f, 1.0f, 0.3f);
            gTextDrawAt(widget->font, W - 64.0f + 24.0f, base, text + 3, 3);
            glColor3f(0.5f, 0.4f, 1.0f);
            gTextDrawAt(widget->font, W - 66.0f + 46.0f + 2.0f, base, text + 6, 3);
        }
    }
    glColor3f(kLensFrameGrey, kLensFrameGrey, kLensFrameGrey);
    glBegin(GL_LINE_STRIP);
    glVertex2f(W, 0);
    glVertex2f(0, 0);
    glVertex2f(0, H);
    glVertex2f(W, H);
    glVertex2f(W, 0);
    glEnd();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ZERO);
    glColor3f(0.4f, 0.4f, 1.0f);
    const float cx = W * 0.5f + lens.zoom * 0.5f, cy = H * 0.5f - lens.zoom * 0.5f;
    glBegin(GL_LINES);
    glVertex2f(cx - 10.0f, cy);
    glVertex2f(cx + 10.0f, cy);
    glVertex2f(cx, cy - 10.0f);
    glVertex2f(cx, cy + 10.0f);
    glEnd();
    glDisable(GL_BLEND);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

}  // namespace orva
