// Popup menu records: creation, building from descriptor tables (with in-place reuse of
// items), reset, release, and the operations on item states.
#include "toolkit/menu.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>
#include <unordered_set>

#include "toolkit/font.h"
#include "toolkit/text_layout.h"

namespace orva {

namespace {

// Live records: a pointer is trusted only while it is registered here.
std::unordered_set<const void*>& LiveMenus() {
    static std::unordered_set<const void*> set;
    return set;
}
std::unordered_set<const void*>& LiveItems() {
    static std::unordered_set<const void*> set;
    return set;
}

// Drops the user data of an item: the callback is cleared before it runs, so that it
// runs exactly once whatever the callback does.
void DropItemData(gMenuItem* item) {
    gMenuReleaseFn release = item->release;
    uint32_t data = item->userData;
    item->release = nullptr;
    item->userData = 0;
    if (release != nullptr) release(data);
}

void DropShortcut(gMenuItem* item) {
    if (item->shortcutEntry != nullptr) {
        gAccelRemove(item->shortcutEntry);
        item->shortcutEntry = nullptr;
    }
}

// The item state the builder clears before a reuse.
void ClearForReuse(gMenuItem* item) {
    item->handler = nullptr;
    item->rowNumber = 0;
    item->check = 0;
    item->state = 0;
    item->childCursor = nullptr;
    item->hoveredChild = nullptr;
    DropItemData(item);
    DropShortcut(item);
}

float FontHeight(const gFont* font) { return font != nullptr ? gFontLineHeight(font) : 0.0f; }

// Row height and text offset; a build that met taller texts passes its own row height.
void SetMetrics(gMenu* menu, const gMenuHost* host, float grown = 0.0f) {
    const gFont* font = host != nullptr ? host->mainFont : nullptr;
    menu->rowHeight = grown > 0.0f ? grown : (font != nullptr ? FontHeight(font) + 4.0f : 16.0f) + 7.0f;
    const gFont* own = host != nullptr && host->mainWindow != nullptr ? host->mainWindow->font : nullptr;
    float ownHeight = own != nullptr ? FontHeight(own) : 9.0f;
    menu->textOffset = std::ceil((menu->rowHeight + ownHeight) * 0.5f);
}

int32_t RoundHeight(float h) { return static_cast<int32_t>(std::lround(h)); }

// The next item of the build: reused after the cursor, or a new one at the list's tail.
gMenuItem* ItemNew(gMenu* menu, gMenuItem* parent) {
    gMenuItem* reuse = nullptr;
    if (parent == nullptr) {
        reuse = menu->cursor != nullptr ? menu->cursor->next : menu->first;
    } else {
        reuse = parent->childCursor != nullptr ? parent->childCursor->next : parent->firstChild;
    }
    if (reuse != nullptr) {
        ClearForReuse(reuse);
        return reuse;
    }
    auto* item = new (std::nothrow) gMenuItem;
    if (item == nullptr) return nullptr;
    LiveItems().insert(item);
    item->owner = menu;
    if (parent == nullptr) {
        item->prev = menu->last;
        if (menu->last != nullptr) {
            menu->last->next = item;
        } else {
            menu->first = item;
        }
        menu->last = item;
    } else {
        gMenuItem* tail = parent->firstChild;
        while (tail != nullptr && tail->next != nullptr) tail = tail->next;
        item->prev = tail;
        if (tail != nullptr) {
            tail->next = item;
        } else {
            parent->firstChild = item;
        }
    }
    return item;
}

// Fills an item from a row; returns the row height used.
struct BuildState {
    float rowHeight = 0;   // grows with tall texts
    bool grew = false;
    int32_t running = 0;   // running height of the list
    int32_t width = 0;     // widest row of the list
    int32_t number = 0;    // row number among non-separators
};

// Layout flags of the label and shortcut text blocks: centred vertically, shown whole
// (the shortcut also fits when it has to).
constexpr uint32_t kMenuLabelFlags = 0x44006;
constexpr uint32_t kMenuShortcutFlags = 0x44005;

// The width a row text's block measures to (the text is lent to the layout, not copied).
float MeasureText(const gFont* font, std::string* text, uint32_t flags) {
    if (font == nullptr) return 0.0f;
    gTextBlock block;
    block.text.swap(*text);
    block.flags = flags;
    float extent[2] = {0.0f, 0.0f};
    gWgtLayoutText(font, &block, extent, nullptr, 0);
    block.text.swap(*text);
    return extent[0];
}

void FillItem(gMenuItem* item, gMenuRow* row, const gFont* font, bool registerKey, uint32_t userData,
              gMenuReleaseFn release, BuildState* build) {
    int32_t height = 0;
    if (row->label != nullptr) {
        std::string text = row->label;
        size_t tab = text.find('\t');
        std::string label = text.substr(0, tab);
        if (label.size() > static_cast<size_t>(kMenuLabelMax)) label.resize(kMenuLabelMax);
        item->label = label;
        item->shortcut.clear();
        if (tab != std::string::npos && tab + 1 < text.size()) {
            item->shortcut = text.substr(tab + 1);
        } else if (row->key != 0) {
            char name[64] = {};
            if (gKeyName(name, row->key)) item->shortcut = name;
        }
        if (item->shortcut.size() > static_cast<size_t>(kMenuShortcutMax)) item->shortcut.resize(kMenuShortcutMax);
        item->labelWidth = std::max(MeasureText(font, &item->label, kMenuLabelFlags) - 2.0f, 0.0f);
        item->shortcutWidth = 0;
        if (!item->shortcut.empty() && font != nullptr) {
            item->shortcutWidth = std::min(MeasureText(font, &item->shortcut, kMenuShortcutFlags), 200.0f);
        }
        float textHeight = FontHeight(font);
        if (textHeight > build->rowHeight) {
            build->rowHeight = textHeight + 2.0f;
            build->grew = true;
        }
        int32_t rowWidth = static_cast<int32_t>(std::ceil(item->labelWidth + item->shortcutWidth)) + 12;
        build->width = std::max(build->width, rowWidth);
        item->handler = row->handler;
        item->userData = userData;
        item->release = release;
        if (row->handler != nullptr) {
            item->key = row->key;
            if (registerKey && row->key != 0 && (row->flags & kMenuRowNoShortcut) == 0) {
                item->shortcutEntry = gAccelAdd(nullptr, row->key, row->handler, userData,
                                                (row->flags & kMenuRowDisabled) != 0 ? 1 : 0);
            }
        } else {
            item->key = 0;
        }
        item->flags = row->flags & ~(kMenuRowDisabled | kMenuRowChecked | kMenuRowNoShortcut | kMenuRowBuilt);
        item->state = (row->flags & kMenuRowDisabled) != 0 ? 1 : 0;
        if (item->check != 2) item->check = (row->flags & kMenuRowChecked) != 0 ? 1 : 0;
        height = RoundHeight(build->rowHeight);
        item->rowNumber = item->check == 2 ? 0 : ++build->number;
        if (item->check == 2) ++build->number;
    } else {
        item->label.clear();
        item->shortcut.clear();
        item->labelWidth = item->shortcutWidth = 0;
        item->state = 2;
        item->check = 0;
        item->flags = 0;
        height = 5;
    }
    row->flags |= kMenuRowBuilt;
    row->item = item;
    build->running += height;
    item->rowBottom = build->running;
}

// Builds rows into the children of a submenu item (first row excluded by the caller).
bool BuildChildren(gMenu* menu, gMenuItem* parent, gMenuRow* rows, int32_t count, uint32_t userData,
                   gMenuReleaseFn release, const gFont* font) {
    BuildState build;
    build.rowHeight = menu->rowHeight;
    build.running = parent->childCursor != nullptr ? parent->childCursor->rowBottom : 0;
    build.width = parent->childCursor != nullptr ? parent->submenuWidth : 0;
    for (gMenuItem* c = parent->firstChild; c != nullptr && parent->childCursor != nullptr; c = c->next) {
        if (c->state != 2) ++build.number;
        if (c == parent->childCursor) break;
    }
    bool ok = true;
    for (int32_t i = 0; i < count; ++i) {
        gMenuRow* row = &rows[i];
        if ((row->flags & kMenuRowBuilt) != 0) continue;
        gMenuItem* item = ItemNew(menu, parent);
        if (item == nullptr) {
            ok = false;
            break;
        }
        FillItem(item, row, font, false, userData, release, &build);
        parent->childCursor = item;
    }
    parent->submenuWidth = build.width;
    parent->submenuHeight = build.running;
    parent->state = 0;
    menu->submenuWidth = std::max(menu->submenuWidth, parent->submenuWidth);
    menu->submenuHeight = std::max(menu->submenuHeight, parent->submenuHeight);
    if (build.grew) SetMetrics(menu, gMenuHostPeek(), build.rowHeight);
    return ok;
}

void ResetItemTree(gMenuItem* item) {
    for (gMenuItem* c = item->firstChild; c != nullptr; c = c->next) {
        DropItemData(c);
        DropShortcut(c);
    }
    DropItemData(item);
    DropShortcut(item);
}

void DestroyItem(gMenuItem* item) {
    for (gMenuItem* c = item->firstChild; c != nullptr;) {
        gMenuItem* next = c->next;
        DestroyItem(c);
        c = next;
    }
    item->firstChild = nullptr;
    DropItemData(item);
    DropShortcut(item);
    LiveItems().erase(item);
    item->tag = 0;
    delete item;
}

}  // namespace

bool gMenuIsMenu(const gMenu* menu) {
    return menu != nullptr && LiveMenus().count(menu) != 0 && menu->tag == kMenuTag;
}

bool gMenuIsItem(const gMenuItem* item) {
    return item != nullptr && LiveItems().count(item) != 0 && item->tag == kMenuItemTag && gMenuIsMenu(item->owner);
}

gMenu* gMenuCreate(gElement* owner, gMenuEventFn event, uint32_t colour, uint32_t userData,
                   gMenuReleaseFn release) {
    gMenuHost* host = gMenuHostGet();
    if (host == nullptr) return nullptr;
    auto* menu = new (std::nothrow) gMenu;
    if (menu == nullptr) return nullptr;
    LiveMenus().insert(menu);
    menu->ownerWidget = owner;
    menu->eventCallback = event;
    menu->userData = userData;
    menu->release = release;
    SetMetrics(menu, host);
    gMenuSetPainter(menu, nullptr, colour != 0 ? colour : kMenuDefaultColour);
    return menu;
}

bool gMenuAddItems(gMenu* menu, gMenuRow* rows, int32_t count, bool asSubmenu, uint32_t userData,
                   gMenuReleaseFn release) {
    if (!gMenuIsMenu(menu) || rows == nullptr || count < 1 || count > kMenuMaxRows) return false;
    gMenuHost* host = gMenuHostPeek();
    if (host == nullptr || host->mainFont == nullptr || host->subFont == nullptr) return false;
    if (asSubmenu && (rows[0].label == nullptr || (rows[0].flags & kMenuRowBuilt) != 0)) return false;
    if (!menu->building) {
        menu->width = menu->height = menu->submenuWidth = menu->submenuHeight = 0;
        menu->cursor = nullptr;
        menu->hovered = nullptr;
        menu->building = true;
        menu->buildParent = nullptr;
    }
    BuildState build;
    build.rowHeight = menu->rowHeight;
    build.running = menu->height;
    build.width = menu->width;
    for (gMenuItem* i = menu->first; i != nullptr && menu->cursor != nullptr; i = i->next) {
        if (i->state != 2) ++build.number;
        if (i == menu->cursor) break;
    }
    bool ok = true;
    int32_t start = 0;
    if (asSubmenu) {
        gMenuItem* item = ItemNew(menu, nullptr);
        if (item == nullptr) return false;
        item->check = 2;
        item->submenuWidth = item->submenuHeight = 0;
        FillItem(item, &rows[0], host->mainFont, false, userData, release, &build);
        item->check = 2;
        menu->cursor = item;
        menu->width = build.width;
        menu->height = build.running;
        ok = BuildChildren(menu, item, rows + 1, count - 1, userData, release, host->subFont);
        start = count;
    }
    for (int32_t i = start; i < count; ++i) {
        gMenuRow* row = &rows[i];
        if ((row->flags & kMenuRowBuilt) != 0) continue;
        gMenuItem* item = ItemNew(menu, nullptr);
        if (item == nullptr) {
            ok = false;
            break;
        }
        FillItem(item, row, host->mainFont, true, userData, release, &build);
        menu->cursor = item;
    }
    if (!asSubmenu || build.grew) {
        menu->width = std::max(menu->width, build.width);
        menu->height = std::max(menu->height, build.running);
    }
    if (build.grew) SetMetrics(menu, host, build.rowHeight);
    return ok;
}

gMenuItem* gMenuAddSeparator(gMenu* menu) {
    gMenuRow row{};
    if (!gMenuAddItems(menu, &row, 1, false, 0, nullptr)) return nullptr;
    return row.item;
}

bool gMenuBuild(gMenuItem* item, gMenuRow* rows, int32_t count, bool clearFirst, uint32_t userData,
                gMenuReleaseFn release) {
    if (!gMenuIsItem(item) || item->check != 2 || rows == nullptr || count < 1 || count > kMenuMaxRows) return false;
    gMenuHost* host = gMenuHostPeek();
    if (host == nullptr || host->subFont == nullptr) return false;
    gMenu* menu = item->owner;
    if (clearFirst) {
        for (gMenuItem* c = item->firstChild; c != nullptr; c = c->next) {
            DropItemData(c);
            DropShortcut(c);
            c->check = 0;
            c->state = 0;
            c->rowNumber = 0;
        }
        item->childCursor = nullptr;
        item->submenuWidth = item->submenuHeight = 0;
        item->hoveredChild = nullptr;
        item->state = 1;
    }
    return BuildChildren(menu, item, rows, count, userData, release, host->subFont);
}

void gMenuSetShortcut(gMenu* menu) {
    if (!gMenuIsMenu(menu)) return;
    menu->building = false;
    menu->buildParent = nullptr;
    menu->hovered = nullptr;
    menu->cursor = nullptr;
    menu->width = menu->height = menu->submenuWidth = menu->submenuHeight = 0;
    // The menu's own data is dropped once: data and callback are cleared before the call.
    gMenuReleaseFn release = menu->release;
    uint32_t data = menu->userData;
    menu->release = nullptr;
    menu->userData = 0;
    if (release != nullptr) release(data);
    if (gMenuHost* host = gMenuHostPeek()) host->state = -1;
    for (gMenuItem* i = menu->first; i != nullptr; i = i->next) ResetItemTree(i);
}

void gMenuClose(gMenu* menu) {
    if (!gMenuIsMenu(menu)) return;
    if (gMenuHost* host = gMenuHostPeek()) {
        if (host->current == menu) {
            if (host->open) gMenuCloseAll();
            host->open = 0;
            host->state = -1;
            host->current = nullptr;
        }
    }
    menu->opener = nullptr;
    gMenuReleaseFn release = menu->release;
    uint32_t data = menu->userData;
    menu->release = nullptr;
    menu->userData = 0;
    if (release != nullptr) release(data);
    for (gMenuItem* i = menu->first; i != nullptr;) {
        gMenuItem* next = i->next;
        DestroyItem(i);
        i = next;
    }
    menu->first = menu->last = menu->cursor = menu->hovered = nullptr;
    menu->building = false;
    menu->buildParent = nullptr;
    menu->width = menu->height = menu->submenuWidth = menu->submenuHeight = 0;
}

void gMenuDelete(gMenu* menu) {
    if (!gMenuIsMenu(menu)) return;
    gMenuClose(menu);
    LiveMenus().erase(menu);
    menu->tag = 0;
    delete menu;
}

// ---- Item states --------------------------------------------------------------------------------

bool gMenuCheckItem(gMenuItem* item, bool on) {
    if (!gMenuIsItem(item) || item->state == 2 || item->check == 2) return false;
    item->check = on ? 1 : 0;
    return true;
}

bool gMenuItemSetState(gMenuItem* item, bool disabled) {
    if (!gMenuIsItem(item) || item->state == 2) return false;
    item->state = disabled ? 1 : 0;
    return true;
}

bool gMenuEnableItem(gMenuItem* item, bool disabled) {
    if (!gMenuIsItem(item) || item->state == 2) return false;
    bool ok = gMenuItemSetState(item, disabled);
    if (item->check == 2) {
        for (gMenuItem* c = item->firstChild; c != nullptr; c = c->next) {
            if (c->state != 2) c->state = disabled ? 1 : 0;
        }
    }
    return ok;
}

bool gMenuSetNthItem(gMenu* menu, int32_t n, bool disabled) {
    if (!gMenuIsMenu(menu) || n < 1) return false;
    int32_t k = 0;
    for (gMenuItem* i = menu->first; i != nullptr; i = i->next) {
        if (i->state != 2 && ++k == n) return gMenuEnableItem(i, disabled);
        if (i == menu->cursor) break;
    }
    return false;
}

void gMenuEnableItems(gMenuRow* rows, int32_t n, bool disabled) {
    if (rows == nullptr) return;
    for (int32_t i = 0; i < n; ++i) {
        if (rows[i].item == nullptr) continue;
        gMenuEnableItem(rows[i].item, (rows[i].flags & kMenuRowDisabled) != 0 || disabled);
    }
}

void gMenuCheckItemList(gMenuRow* rows, int32_t n) {
    if (rows == nullptr) return;
    for (int32_t i = 0; i < n; ++i) {
        if (rows[i].item != nullptr) gMenuCheckItem(rows[i].item, false);
    }
}

void gMenuCheckItems(gMenuRow* rows, int32_t n, int32_t k) {
    if (rows == nullptr) return;
    int32_t index = 0;
    for (int32_t i = 0; i < n; ++i) {
        gMenuItem* item = rows[i].item;
        if (item == nullptr || !gMenuCheckItem(item, false)) continue;
        if (index++ == k) gMenuCheckItem(item, true);
    }
}

void gMenuItemAt(gMenu* menu, int32_t first, int32_t last, int32_t k, bool on) {
    if (!gMenuIsMenu(menu)) return;
    int32_t position = 0, number = 0;
    for (gMenuItem* i = menu->first; i != nullptr; i = i->next, ++position) {
        if (position > last) break;
        if (position >= first && i->state != 2) {
            ++number;
            if (i->check != 2) i->check = (number == k) == on ? 1 : 0;
        }
        if (i == menu->cursor) break;
    }
}

bool gMenuSelectRadio(gMenuItem* item, uint32_t value) {
    if (!gMenuIsItem(item) || item->check != 2 || item->childCursor == nullptr) return false;
    for (gMenuItem* c = item->firstChild; c != nullptr; c = c->next) {
        if (c->userData == value) return true;
        if (c == item->childCursor) break;
    }
    return false;
}

uint32_t gMenuItemMenuId(const gMenuItem* item) { return gMenuIsItem(item) ? item->owner->userData : 0; }

void gMenuClearHover(gMenu* menu) {
    if (!gMenuIsMenu(menu)) return;
    gMenuItem* hovered = menu->hovered;
    if (hovered != nullptr && gMenuIsItem(hovered)) {
        gMenuItem* child = hovered->hoveredChild;
        bool keep = child != nullptr ? (child->flags & kMenuRowKeepHighlight) != 0
                                     : (hovered->flags & kMenuRowKeepHighlight) != 0;
        if (keep) return;
        hovered->hoveredChild = nullptr;
        if (hovered->check == 2) hovered->rowNumber = 0;
    }
    menu->hovered = nullptr;
    menu->hoveredRow = 0;
    menu->hoveredChildRow = 0;
}

}  // namespace orva
