#include "views/tool_menu.h"

#include "data/kernel_util.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

bool ToolMenuLive(const ToolMenu* m) { return m != nullptr && m->menu != nullptr && gMenuIsMenu(m->menu); }

gMenu* ToolMenuMake(ToolMenu* m, gElement* owner, const char* const* labels, const uint32_t* ids, int32_t count,
                    gAccelHandler handler, uint32_t colour) {
    if (m == nullptr || count < 1 || count > kMenuMaxRows) return nullptr;
    if (ToolMenuLive(m)) return m->menu;
    *m = ToolMenu{};
    m->menu = gMenuCreate(owner, nullptr, colour, 0, nullptr);
    if (m->menu == nullptr) return nullptr;
    m->rows.resize(static_cast<size_t>(count));
    m->ids.assign(ids, ids + count);
    for (int32_t i = 0; i < count; ++i) {
        const bool separator = labels[i] == nullptr;
        m->rows[static_cast<size_t>(i)] = gMenuRow{labels[i], 0, separator ? nullptr : handler};
        if (!gMenuAddItems(m->menu, &m->rows[static_cast<size_t>(i)], 1, false, separator ? 0 : ids[i], nullptr)) {
            ToolMenuFree(m);
            return nullptr;
        }
    }
    return m->menu;
}

gMenuItem* ToolMenuItem(ToolMenu* m, uint32_t id) {
    if (!ToolMenuLive(m)) return nullptr;
    for (size_t i = 0; i < m->rows.size(); ++i) {
        if (m->rows[i].label == nullptr || m->ids[i] != id) continue;
        gMenuItem* item = m->rows[i].item;
        return item != nullptr && gMenuIsItem(item) ? item : nullptr;
    }
    return nullptr;
}

void ToolMenuCheck(ToolMenu* m, uint32_t id, bool on) {
    if (gMenuItem* i = ToolMenuItem(m, id)) gMenuCheckItem(i, on);
}

void ToolMenuEnable(ToolMenu* m, uint32_t id, bool on) {
    if (gMenuItem* i = ToolMenuItem(m, id)) gMenuEnableItem(i, !on);
}

bool ToolMenuPopupPoint(const gElement* button, int32_t* x, int32_t* y, int32_t* anchor) {
    if (button == nullptr || x == nullptr || y == nullptr || anchor == nullptr) return false;
    if (!gWgtIsLive(button)) return false;
    const gWindow* w = gWinValidate(button->window);
    if (w == nullptr) return false;
    const int slot = gSlotIndex(button->style);
    const bool right = slot == 1 || slot == 3, bottom = slot == 2 || slot == 3;
    const double end = right ? static_cast<double>(w->clientWidth) - button->x
                             : static_cast<double>(button->x) + button->width;
    const double middle = bottom ? static_cast<double>(w->clientHeight) - button->y - 0.5 * button->height
                                 : static_cast<double>(button->y) + 0.5 * button->height;
    *x = kernel::SaturateTrunc<int32_t>(end - 4.0);
    *y = kernel::SaturateTrunc<int32_t>(middle);
    *anchor = kernel::SaturateTrunc<int32_t>(static_cast<double>(button->width) - 8.0);
    return true;
}

bool ToolMenuPopup(gMenu* menu, gElement* button, uint32_t colour) {
    int32_t x = 0, y = 0, anchor = 0;
    if (!gMenuIsMenu(menu) || !ToolMenuPopupPoint(button, &x, &y, &anchor)) return false;
    if (colour != 0) gMenuSetPainter(menu, nullptr, colour);
    return gMenuPopupScreen(menu, button->window, x, y, anchor, false);
}

void ToolMenuFree(ToolMenu* m) {
    if (m == nullptr) return;
    if (ToolMenuLive(m)) gMenuDelete(m->menu);
    *m = ToolMenu{};
}

}  // namespace orva
