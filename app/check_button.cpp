#include "app/check_button.h"

#include <GL/gl.h>

#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"

namespace orva {

namespace {

constexpr float kBoxSize = 11.0f;
constexpr float kBoxInset = 5.0f;

}  // namespace

gElement* AddCheckButton(gWindow* window, uint32_t slot, const char* label, float width, float height,
                         void (*onClick)(gElement*, uintptr_t), uintptr_t data, bool newRow) {
    gWgtTemplate t{.desc = {.kind = kCheckButtonKind,
                            .style = slot | (newRow ? kWsNewRow : 0u),
                            .width = width,
                            .height = height,
                            .text = label,
                            .paint = &PaintCheckButton,
                            .onClick = onClick}};
    gElement* e = gWgtAdd(window, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->handlerData = data;
    return e;
}

bool SetCheckButton(gElement* button, bool ticked) {
    if (button == nullptr || !gWgtIsLive(button)) return false;
    uint32_t value = ticked ? 1u : 0u;
    if (button->value == value) return false;
    button->value = value;
    gWgtQueueRedraw(button);
    return true;
}

bool CheckButtonTicked(const gElement* button) {
    return button != nullptr && gWgtIsLive(button) && button->value != 0;
}

void PaintCheckButton(gElement* e) {
    // The face stays raised: the box, not the face, tells the state.
    uint32_t value = e->value;
    e->value = 0;
    gPaintButtonMark(e);
    e->value = value;
    if (gIsPicking()) return;
    int signX = 1, signY = 1;
    gSlotMirror(e->style, &signX, &signY);
    float x0 = signX > 0 ? e->x + kBoxInset : e->x + e->cellWidth - kBoxInset - kBoxSize;
    float y0 = e->y + (e->cellHeight - kBoxSize) * 0.5f;
    glColor3f(0.25f, 0.25f, 0.25f);
    glRectf(x0, y0, x0 + kBoxSize, y0 + kBoxSize);
    glColor3f(e->highlight ? 1.0f : 0.93f, e->highlight ? 1.0f : 0.93f, e->highlight ? 0.85f : 0.93f);
    glRectf(x0 + 1, y0 + 1, x0 + kBoxSize - 1, y0 + kBoxSize - 1);
    if (value != 0) {
        glColor3f(0.1f, 0.1f, 0.1f);
        glRectf(x0 + 3, y0 + 3, x0 + kBoxSize - 3, y0 + kBoxSize - 3);
    }
}

}  // namespace orva
