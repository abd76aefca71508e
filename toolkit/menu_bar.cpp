// The menu bar: titles and their item tables, rows from the pointer, presses, keys,
// opening the titles' popup menus and painting.
#include "toolkit/menu_bar.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "toolkit/font.h"
#include "toolkit/gl_colors.h"
#include "toolkit/layout.h"
#include "platform/window_api.h"
#include "toolkit/painters.h"
#include "toolkit/element_bits.h"

namespace orva {
namespace {


std::unordered_map<const gElement*, MenuBar*>& MenuBars() {
    static std::unordered_map<const gElement*, MenuBar*> map;
    return map;
}

float Measure(const gFont* font, const std::string& text) {
    return font == nullptr || text.empty() ? 0.0f : gFontTextWidth(font, text.c_str());
}

void Destroy(gElement* e) {
    auto it = MenuBars().find(e);
    if (it == MenuBars().end()) return;
    MenuBar* bar = it->second;
    MenuBars().erase(it);
    if (e->releaseData != nullptr) {
        auto release = e->releaseData;
        e->releaseData = nullptr;
        release(e->handlerData);
    }
    for (auto& title : bar->titles) {
        if (title->menu != nullptr && gMenuBarOps().destroy != nullptr) gMenuBarOps().destroy(title->menu);
        title->menu = nullptr;
    }
    bar->titles.clear();
    bar->currentTitle = nullptr;
    bar->widget = nullptr;
    if (bar->font != nullptr) gFontRelease(bar->font);
    bar->font = nullptr;
    if (bar->owned) delete bar;
}

bool PressHandler(gElement* e, uintptr_t) {
    MenuBar* bar = MenuBar::FromWidget(e);
    if (bar == nullptr) return true;
    bar->Press(static_cast<float>(gCursorPos.y));
    return true;
}

void DragHandler(gElement* e, const pf::Point* p) {
    MenuBar* bar = MenuBar::FromWidget(e);
    if (bar != nullptr && p != nullptr && bar->Pressed()) bar->Track(static_cast<float>(p->x), static_cast<float>(p->y));
}

void HoverHandler(gElement* e, const pf::Point* p) {
    MenuBar* bar = MenuBar::FromWidget(e);
    if (bar != nullptr && p != nullptr && bar->Hover(static_cast<float>(p->y))) gWgtQueueRedraw(e);
}

int KeyHandler(gElement* e, const gKeyEvent* key) {
    MenuBar* bar = MenuBar::FromWidget(e);
    return bar == nullptr || key == nullptr ? 0 : bar->OnKey(key->code);
}

void RepaintNow(MenuBar* bar) {
    gElement* e = bar->widget;
    if (e == nullptr || e->window == nullptr || e->window->hdc == nullptr) return;
    if (gWinMakeCurrent(e->window)) gWgtRedrawAlone(e->window, e, true);
}

}  // namespace

MenuBarMenuOps& gMenuBarOps() {
    static MenuBarMenuOps ops;
    return ops;
}

MenuBar* MenuBar::FromWidget(const gElement* e) {
    if (e == nullptr || e->kind != kMenuBarKind) return nullptr;
    auto it = MenuBars().find(e);
    return it == MenuBars().end() ? nullptr : it->second;
}

gElement* MenuBar::Create(gWindow* window, gElement* group, MenuBar* bar, const float* rect, gFont* font,
                          gFont** fontReference, uint8_t style) {
    bool owned = bar == nullptr;
    if (owned) bar = new (std::nothrow) MenuBar;
    if (bar == nullptr) return nullptr;
    bar->owned = owned ? 1 : 0;
    bar->style = style;
    if (font == nullptr && fontReference != nullptr) font = *fontReference;
    if (font != nullptr) RefAssign(&bar->font, font);
    float w = rect != nullptr ? rect[2] : 0, h = rect != nullptr ? rect[3] : 0;
    bar->rowHeight = bar->font != nullptr
                         ? std::ceil((bar->font->ascent + bar->font->descent) * gFontScale(bar->font)) + 4
                         : 16.0f;
    if (h > bar->rowHeight) bar->rowHeight = h;
    bar->width = std::max(w, 10.0f);
    WidgetDesc d;
    d.state[1] = 0x01010000u;  // partial redraw, enabled
    d.state[2] = 1;            // shown
    d.kind = kMenuBarKind;
    d.style = 0x22024800;
    d.width = d.cellWidth = bar->width;
    d.height = d.cellHeight = 4;
    d.color1 = kMenuBarColour;
    d.color2 = kMenuBarHoverColour;
    d.paint = Paint;
    d.onPress = PressHandler;
    d.onDrag = DragHandler;
    d.onDestroy = Destroy;
    gElement* e = gWgtCreate(window, nullptr, group, &d, group != nullptr ? kWsAfter : 0);
    if (e == nullptr) {
        if (bar->font != nullptr) gFontRelease(bar->font);
        bar->font = nullptr;
        if (owned) delete bar;
        return nullptr;
    }
    e->dragFlags |= 0x20000 | kDragAtPress;
    e->onHover = HoverHandler;
    gWgtSetKeyHandler(e, KeyHandler);
    bar->widget = e;
    MenuBars()[e] = bar;
    return e;
}

bool MenuBar::BuildItems(MenuBar* bar, const char* text) {
    if (bar == nullptr || static_cast<int32_t>(bar->titles.size()) >= kMenuBarMaxTitles || bar->widget == nullptr ||
        bar->font == nullptr) {
        return false;
    }
    auto title = std::unique_ptr<MenuBarTitle>(new (std::nothrow) MenuBarTitle);
    if (title == nullptr) return false;
    std::string all = text != nullptr ? text : "";
    size_t tab = all.find('\t');
    title->label = all.substr(0, std::min<size_t>(tab, 100));
    if (tab != std::string::npos) title->right = all.substr(tab + 1, 20);
    title->labelWidth = Measure(bar->font, title->label);
    bar->width = std::max(bar->width, title->labelWidth);
    if (!title->right.empty()) {
        title->rightWidth = Measure(bar->font, title->right);
        float gap = std::max(bar->width - title->labelWidth - title->rightWidth, 10.0f);
        bar->width = std::max(bar->width, title->labelWidth + gap + title->rightWidth + 2);
    }
    bar->titles.push_back(std::move(title));
    // The right texts sit right-aligned 4 units before the bar's right edge.
    for (auto& t : bar->titles) t->rightX = bar->width - t->rightWidth - 4;
    gElement* e = bar->widget;
    e->width = e->cellWidth = bar->width;
    e->height += bar->rowHeight + 1;
    e->cellHeight = e->height;
    bar->currentTitle = bar->titles.back().get();
    return true;
}

MenuBarTitle* MenuBar::TitleAt(int32_t index) const {
    if (titles.empty()) return nullptr;
    if (index < 0) return currentTitle != nullptr ? currentTitle : titles.back().get();
    if (index >= static_cast<int32_t>(titles.size())) return titles.back().get();
    return titles[static_cast<size_t>(index)].get();
}

bool MenuBar::AddItems(MenuBar* bar, int32_t titleIndex, gMenuRow* rows, int32_t count, bool asSubmenu, bool copy,
                       MenuBarBeforeOpen beforeOpen, uint32_t userData) {
    if (bar == nullptr || bar->font == nullptr || rows == nullptr || count <= 0) return false;
    if (bar->titles.empty() && !BuildItems(bar, nullptr)) return false;
    MenuBarTitle* title = bar->TitleAt(titleIndex);
    if (title == nullptr || static_cast<int32_t>(title->tables.size()) > kMenuBarMaxTables) return false;
    auto table = std::unique_ptr<MenuBarTable>(new (std::nothrow) MenuBarTable);
    if (table == nullptr) return false;
    table->asSubmenu = asSubmenu;
    table->count = count;
    table->beforeOpen = beforeOpen;
    table->userData = userData;
    table->rows = rows;
    if (copy) {
        try {
            table->copy.assign(rows, rows + count);
            table->labels.resize(static_cast<size_t>(count));
            for (int32_t i = 0; i < count; ++i) {
                if (rows[i].label == nullptr) continue;
                table->labels[static_cast<size_t>(i)] = rows[i].label;
                table->copy[static_cast<size_t>(i)].label = table->labels[static_cast<size_t>(i)].c_str();
            }
        } catch (const std::bad_alloc&) {
            return false;
        }
        table->rows = table->copy.data();
        table->copied = true;
    }
    MenuBarTable* made = table.get();
    title->tables.push_back(std::move(table));
    bar->currentTitle = title;
    if (title->menu == nullptr && gMenuBarOps().create != nullptr) {
        title->menu = gMenuBarOps().create(bar->widget, nullptr, kMenuBarPopupColour, 0, nullptr);
    }
    if (title->menu != nullptr && gMenuBarOps().addItems != nullptr) {
        gMenuBarOps().addItems(title->menu, made->rows, count, asSubmenu, userData, nullptr);
    }
    if (copy) {
        // The caller sees the built flags and items of its rows.
        for (int32_t i = 0; i < count; ++i) {
            rows[i].flags = made->copy[static_cast<size_t>(i)].flags;
            rows[i].item = made->copy[static_cast<size_t>(i)].item;
        }
    }
    return true;
}

bool MenuBar::SetItemData(MenuBar* bar, int32_t titleIndex, MenuBarCommand command) {
    MenuBarTitle* title = bar != nullptr ? bar->TitleAt(titleIndex) : nullptr;
    if (title == nullptr) return false;
    title->command = command;
    return true;
}

bool MenuBar::ItemAt(const MenuBar* bar, int32_t titleIndex, uint32_t userData) {
    if (bar == nullptr || titleIndex < 0 || titleIndex >= static_cast<int32_t>(bar->titles.size())) return false;
    for (const auto& t : bar->titles[static_cast<size_t>(titleIndex)]->tables) {
        if (t->userData == userData) return true;
    }
    return false;
}

int32_t MenuBar::RowFromY(float y) const {
    if (titles.empty() || widget == nullptr) return 0;
    float r = (y - widget->y - 3) / (rowHeight + 1);
    int32_t row = std::isnan(r) || r < 0 ? 0 : (r > 1e6f ? 1000000 : static_cast<int32_t>(r));
    return std::min(row, static_cast<int32_t>(titles.size()) - 1);
}

bool MenuBar::Hover(float y) {
    lastY = y;
    int32_t row = RowFromY(y);
    if (row == currentRow) return false;
    currentRow = row;
    return true;
}

bool MenuBar::OpenMenu() {
    if (titles.empty() || widget == nullptr) return false;
    MenuBarTitle* title = titles[static_cast<size_t>(std::clamp<int32_t>(currentRow, 0, static_cast<int32_t>(titles.size()) - 1))].get();
    MenuBarMenuOps& ops = gMenuBarOps();
    if (title->menu == nullptr && ops.create != nullptr) {
        title->menu = ops.create(widget, nullptr, kMenuBarPopupColour, 0, nullptr);
    }
    if (title->menu == nullptr) return false;
    if (title->menu->first == nullptr && ops.addItems != nullptr) {
        for (auto& t : title->tables) ops.addItems(title->menu, t->rows, t->count, t->asSubmenu, t->userData, nullptr);
    }
    if (title->menu->first == nullptr) return false;
    for (auto& t : title->tables) {
        if (t->beforeOpen != nullptr) t->beforeOpen(t->rows, t->userData);
    }
    int32_t x = static_cast<int32_t>(widget->x + width - 10);
    int32_t y = static_cast<int32_t>((rowHeight + 1) * static_cast<float>(currentRow) + widget->y);
    return ops.popup != nullptr &&
           ops.popup(title->menu, widget->window, x, y, static_cast<int32_t>(width - 15), gHotWidget == widget);
}

bool MenuBar::Pressed() const { return widget != nullptr && widget->value != 0; }

void MenuBar::LetGo() {
    if (widget != nullptr) widget->value = 0;
    if (gDragWidget == widget) gDragWidget = nullptr;  // the next press presses it again
    MenuBarMenuOps& ops = gMenuBarOps();
    // Ending the tracking hides the popups and gives back the pointer and the keyboard.
    if (ops.end != nullptr) ops.end(nullptr, false, false);
    if (ops.closeAll != nullptr) ops.closeAll();
    if (widget != nullptr && widget->window != nullptr && widget->window->hwnd != nullptr &&
        pf::GetCapture() == widget->window->hwnd) {
        pf::ReleaseCapture();
    }
    RepaintNow(this);
}

void MenuBar::Press(float y) {
    if (titles.empty()) return;
    currentRow = RowFromY(y);
    MenuBarTitle* title = titles[static_cast<size_t>(currentRow)].get();
    if (title->command == nullptr) {
        // A second press on a pressed bar lets go of it.
        if (!Pressed() || !OpenMenu()) LetGo();
        return;
    }
    // A direct command: the bar does not stay pressed.
    LetGo();
    title->command(widget, widget != nullptr ? widget->handlerData : 0);
}

void MenuBar::Track(float x, float y) {
    if (widget == nullptr) return;
    MenuBarMenuOps& ops = gMenuBarOps();
    gMenuHost* host = ops.host != nullptr ? ops.host() : nullptr;
    if (x > widget->x + width) {
        if (ops.takeCapture != nullptr) ops.takeCapture(false);
        return;
    }
    if (x < widget->x && host != nullptr && host->flipLeft) {
        if (ops.takeCapture != nullptr) ops.takeCapture(true);
        return;
    }
    if (!Hover(y)) return;
    RepaintNow(this);
    MenuBarTitle* title = titles[static_cast<size_t>(currentRow)].get();
    if (title->tables.empty()) {
        if (ops.closeAll != nullptr) ops.closeAll();
    } else {
        OpenMenu();
    }
}

int MenuBar::OnKey(gKeyCode code) {
    if (!Pressed()) return 0;
    MenuBarMenuOps& ops = gMenuBarOps();
    auto close = [&] {
        if (ops.closeAll != nullptr) ops.closeAll();
    };
    switch (code & kKeySpecialMask) {
    case kKeyLeft:
        close();
        return 1;
    case kKeyRight:
    case kKeyEnter:
        if (!OpenMenu()) close();
        return 1;
    case kKeyUp:
    case kKeyDown: {
        int32_t n = static_cast<int32_t>(titles.size());
        if (n < 2) return 0;
        currentRow = (code & kKeySpecialMask) == kKeyUp ? (currentRow <= 0 ? n - 1 : currentRow - 1)
                                                        : (currentRow >= n - 1 ? 0 : currentRow + 1);
        close();
        return 2;
    }
    case kKeyEscape:
        LetGo();
        return 2;
    default:
        return 0;
    }
}

void MenuBar::Paint(gElement* e) {
    glPushMatrix();
    glTranslatef(e->x, e->y, 0);
    float w = e->cellWidth, h = e->cellHeight;
    if (gIsPicking()) {
        gPickRect(0, 0, w, h);
        glPopMatrix();
        return;
    }
    MenuBar* bar = FromWidget(e);
    gWindow* win = e->window;
    if (bar == nullptr || win == nullptr) {
        glPopMatrix();
        return;
    }
    float step = bar->rowHeight + 1;
    if (bar->style != 0) {
        glColor3f(0.9f, 0.92f, 0.95f);
        glRectf(0, 0, w, h);
    } else {
        glColor3fv(win->colours.background);
        glRectf(0, 0, w, h);
        if (!bar->titles.empty()) {
            float top = 2 + step * static_cast<float>(bar->currentRow), bottom = top + bar->rowHeight;
            const GLbyte* shadow = reinterpret_cast<const GLbyte*>(win->colours.backShades[2]);
            bool down = bar->Pressed();
            // Light on top and left when hovered, shadow there when pressed.
            glBegin(GL_LINES);
            if (down) glColor3bv(shadow); else glColor3f(1, 1, 1);
            glVertex2f(2, top + 0.5f), glVertex2f(w - 3, top + 0.5f);
            glVertex2f(2.5f, top), glVertex2f(2.5f, bottom);
            if (down) glColor3f(1, 1, 1); else glColor3bv(shadow);
            glVertex2f(2, bottom - 0.5f), glVertex2f(w - 3, bottom - 0.5f);
            glVertex2f(w - 3.5f, top), glVertex2f(w - 3.5f, bottom);
            glEnd();
        }
    }
    if (bar->font != nullptr && gFontHasLists(bar->font)) {
        float baseline = std::ceil(bar->font->height * gFontScale(bar->font) / 2);
        gColorSet(win, e->textColor);
        for (size_t i = 0; i < bar->titles.size(); ++i) {
            const MenuBarTitle& t = *bar->titles[i];
            float y = 2 + step * static_cast<float>(i) + baseline + bar->rowHeight / 2 - 2;
            if (!t.label.empty()) gTextDrawAt(bar->font, 4, y, t.label.c_str());
            if (t.tables.empty() && t.right.size() == 1 && t.right[0] == '\x02') {
                gTextDrawCharAt(bar->font, kGlyphTwoState, t.rightX, y);
            } else if (!t.right.empty()) {
                gTextDrawAt(bar->font, t.rightX, y, t.right.c_str());
            }
        }
    }
    glPopMatrix();
}

}  // namespace orva
