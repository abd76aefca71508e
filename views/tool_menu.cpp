#include "views/tool_menu.h"

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

void ToolMenuFree(ToolMenu* m) {
    if (m == nullptr) return;
    if (ToolMenuLive(m)) gMenuDelete(m->menu);
    *m = ToolMenu{};
}

}  // namespace orva
