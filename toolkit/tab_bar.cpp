// The tab bar: groups of tabs, layout and scrolling, presses and painting.
#include "toolkit/tab_bar.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "common/log.h"
#include "toolkit/font.h"
#include "toolkit/gl_colors.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"

namespace orva {
namespace {

constexpr uint32_t kTabColour = 0x4737474u;
constexpr uint32_t kShadeBase = 0x4114511u;
constexpr int kShadeOffsets[8] = {59, 42, 3, 7, 8, 22, 5, 10};

std::unordered_map<const gElement*, TabCtrl*>& TabBars() {
    static std::unordered_map<const gElement*, TabCtrl*> map;
    return map;
}

float Measure(const gFont* font, const char* text) {
    if (text == nullptr || *text == '\0') return 0;
    if (font != nullptr) return gFontTextWidth(font, text);
    return gTextHooks().width != nullptr ? gTextHooks().width(nullptr, text) : 0;
}

void Destroy(gElement* e) {
    auto it = TabBars().find(e);
    if (it == TabBars().end()) return;
    TabCtrl* t = it->second;
    TabBars().erase(it);
    if (t->font != nullptr) gFontRelease(t->font);
    delete t;
}

bool PressHandler(gElement* e, uintptr_t) {
    if (TabCtrl::PressAt(e, static_cast<float>(gCursorPos.x) - e->x, static_cast<float>(gCursorPos.y) - e->y)) {
        gWgtQueueRedraw(e);
    }
    return true;
}

// Moves an index off a removed slot: to its successor (same index after the erase),
// else its predecessor; indexes past it shift down.
int32_t AfterRemoval(int32_t ref, int32_t removed, int32_t newCount) {
    if (ref < 0) return ref;
    if (ref > removed) return ref - 1;
    if (ref == removed) return removed < newCount ? removed : newCount - 1;
    return ref;
}

}  // namespace

TabCtrl* TabCtrl::FromWidget(const gElement* e) {
    if (e == nullptr || e->kind != kTabCtrlKind) return nullptr;
    auto it = TabBars().find(e);
    return it == TabBars().end() ? nullptr : it->second;
}

gElement* TabCtrl::Create(gWindow* window, gElement* group, float stripWidth, float tabWidth, uint32_t style,
                          bool pageFlag, gFont* font, gElement* owner) {
    auto* t = new (std::nothrow) TabCtrl;
    if (t == nullptr) return nullptr;
    t->visibleWidth = stripWidth;
    t->freeWidth = (style & 1) != 0 ? 0 : 1;
    t->tabWidth = std::max(tabWidth, 19.0f);
    t->pageFlag = pageFlag ? 1 : 0;
    t->owner = owner;
    if (font != nullptr) {
        RefAssign(&t->font, font);
        t->tabHeight = std::max(t->tabHeight, std::ceil(gFontLineHeight(font)));
    }
    t->pageBand = pageFlag ? t->tabHeight + 2 : 0;
    for (int i = 0; i < 8; ++i) {
        for (int c = 0; c < 3; ++c) {
            int v = static_cast<int>((kShadeBase >> (8 * c)) & 0x7F) + kShadeOffsets[i];
            t->shades[i][c] = static_cast<uint8_t>(std::min(v, 127));
        }
    }
    WidgetDesc d;
    d.state[1] = 0x01010000u;  // partial redraw, enabled
    d.state[2] = 1;            // shown
    d.kind = kTabCtrlKind;
    d.style = 0x20024000;
    d.width = d.cellWidth = stripWidth;
    d.height = d.cellHeight = t->pageBand + t->tabHeight;
    d.color1 = kTabColour;
    d.paint = Paint;
    d.onPress = PressHandler;
    d.onDestroy = Destroy;
    gElement* e = gWgtCreate(window, nullptr, group, &d, group != nullptr ? kWsAfter : 0);
    if (e == nullptr) {
        if (t->font != nullptr) gFontRelease(t->font);
        delete t;
        return nullptr;
    }
    t->widget = e;
    TabBars()[e] = t;
    return e;
}

float TabCtrl::TabX(const TabGroup* g, int32_t index) const {
    float x = 0;
    if (g == nullptr || g->first < 0) return 0;
    if (index >= g->first) {
        for (int32_t i = g->first; i < index; ++i) x += g->tabs[static_cast<size_t>(i)]->width + gap;
    } else {
        for (int32_t i = index; i < g->first; ++i) x -= g->tabs[static_cast<size_t>(i)]->width + gap;
    }
    return x;
}

float TabCtrl::LayoutFrom(TabGroup* g, int32_t start) {
    if (g == nullptr || g->count == 0 || start < 0) {
        if (g != nullptr) g->lastFit = -1;
        return 0;
    }
    float room = visibleWidth - (tabHeight + 6);
    float sum = 0;
    g->lastFit = start;  // the first tab always counts as placed
    for (int32_t i = start; i < g->count; ++i) {
        float next = sum + g->tabs[static_cast<size_t>(i)]->width + gap;
        if (next > room && i > start) break;
        sum = next;
        g->lastFit = i;
    }
    return sum;
}

bool TabCtrl::HasArrows() const {
    const TabGroup* g = current;
    return g != nullptr && g->count > 0 && (g->first > 0 || g->lastFit < g->count - 1);
}

void TabCtrl::ScrollForward(TabGroup* g) {
    if (g == nullptr || g->lastFit < 0 || g->lastFit + 1 >= g->count) return;
    g->first = g->lastFit + 1;
    LayoutFrom(g, g->first);
}

void TabCtrl::ScrollBack(TabGroup* g) {
    if (g == nullptr || g->first <= 0) return;
    float room = visibleWidth - (tabHeight + 6);
    float sum = 0;
    int32_t start = g->first;
    for (int32_t i = g->first - 1; i >= 0; --i) {
        sum += g->tabs[static_cast<size_t>(i)]->width + gap;
        if (sum > room && i < g->first - 1) break;
        start = i;
    }
    g->first = start;
    LayoutFrom(g, g->first);
}

void TabCtrl::ScrollIntoView(TabGroup* g, int32_t index) {
    if (g == nullptr || g->count == 0) return;
    if (g->first < 0 || g->first >= g->count) g->first = 0;
    index = std::clamp(index, 0, g->count - 1);
    if (index < g->first) g->first = index;
    LayoutFrom(g, g->first);
    while (index > g->lastFit && g->lastFit + 1 < g->count) ScrollForward(g);
}

int TabCtrl::AddTab(gElement* e, const TabDesc* desc, bool select) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr || desc == nullptr) return 0;
    TabGroup* g = nullptr;
    for (auto& group : t->groups) {
        if (group->groupId == desc->groupId) g = group.get();
    }
    if (g == nullptr) {
        auto made = std::unique_ptr<TabGroup>(new (std::nothrow) TabGroup);
        if (made == nullptr) {
            LogPrintf("Can`t alloc memory for tab obj...");
            return 0;
        }
        made->groupId = desc->groupId;
        g = made.get();
        t->groups.push_back(std::move(made));
    }
    t->current = g;
    for (int32_t i = 0; i < g->count; ++i) {
        TabData* tab = g->tabs[static_cast<size_t>(i)].get();
        if (tab->desc.tabId != desc->tabId) continue;
        if (select || g->current < 0) {
            if (g->current != i) g->previous = g->current;
            g->current = i;
            t->ScrollIntoView(g, i);
        }
        tab->desc.value = desc->value;
        return 2;
    }
    auto tab = std::unique_ptr<TabData>(new (std::nothrow) TabData);
    if (tab == nullptr) {
        LogPrintf("Can`t alloc memory for tab data...");
        return 0;
    }
    tab->desc = *desc;
    const char* label = desc->label != nullptr ? desc->label(desc->tabId, g->count) : nullptr;
    if (label != nullptr) tab->label = label;
    tab->labelWidth = Measure(t->font, tab->label.c_str());
    tab->width = t->tabHeight - 1 + (tab->labelWidth > 0 ? tab->labelWidth : 8.0f);
    if (t->freeWidth == 0) {
        tab->width = t->tabWidth;
        // A label wider than its fixed tab would run into the next tab: it is cut, and
        // ".." says so.
        const float room = t->tabWidth - (t->tabHeight - 1);
        if (tab->labelWidth > room && tab->label.size() > 1) {
            std::string cut = tab->label;
            while (cut.size() > 1 && Measure(t->font, (cut + "..").c_str()) > room) cut.pop_back();
            tab->label = cut + "..";
            tab->labelWidth = Measure(t->font, tab->label.c_str());
        }
    }
    if (t->font != nullptr && !tab->label.empty()) {
        float h = std::ceil(gFontTextHeight(t->font, tab->label.c_str(), nullptr));
        if (h > t->tabHeight) {
            t->tabHeight = h;
            if (t->pageFlag) t->pageBand = h + 2;
            e->height = e->cellHeight = t->pageBand + t->tabHeight;
        }
    }
    g->tabs.push_back(std::move(tab));
    ++g->count;
    if (g->first < 0) g->first = 0;
    if (select || g->current < 0) {
        if (g->current >= 0) g->previous = g->current;
        g->current = g->count - 1;
    }
    t->ScrollIntoView(g, g->current);
    return 1;
}

bool TabCtrl::SelectTab(gElement* e, int32_t index) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr || t->current == nullptr) return false;
    TabGroup* g = t->current;
    if (index < 0 || index >= g->count) return false;
    if (g->current != index) g->previous = g->current;
    g->current = index;
    t->ScrollIntoView(g, index);
    return true;
}

bool TabCtrl::RemoveTab(gElement* e, TabData* tab) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr || t->current == nullptr) return false;
    TabGroup* g = t->current;
    if (tab == nullptr) {
        g->tabs.clear();
        g->count = 0;
    } else {
        auto it = std::find_if(g->tabs.begin(), g->tabs.end(), [&](const auto& p) { return p.get() == tab; });
        if (it == g->tabs.end()) return false;
        int32_t removed = static_cast<int32_t>(it - g->tabs.begin());
        g->tabs.erase(it);
        g->count = static_cast<int32_t>(g->tabs.size());
        g->first = AfterRemoval(g->first, removed, g->count);
        g->lastFit = AfterRemoval(g->lastFit, removed, g->count);
        g->current = AfterRemoval(g->current, removed, g->count);
        g->previous = AfterRemoval(g->previous, removed, g->count);
    }
    if (g->count == 0) {
        g->first = g->lastFit = g->current = g->previous = -1;
        g->scroll = 0;
        return true;
    }
    t->ScrollIntoView(g, g->current >= 0 ? g->current : 0);
    return true;
}

bool TabCtrl::RemoveTabById(gElement* e, uint32_t groupId, uint32_t tabId) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr) return false;
    TabGroup* g = t->current;
    if (groupId != 0) {
        g = nullptr;
        for (auto& group : t->groups) {
            if (group->groupId == groupId) g = group.get();
        }
    }
    if (g != nullptr && tabId != 0) {
        TabData* found = nullptr;
        if (g->current >= 0 && g->tabs[static_cast<size_t>(g->current)]->desc.tabId == tabId) {
            found = g->tabs[static_cast<size_t>(g->current)].get();
        }
        for (size_t i = 0; found == nullptr && i < g->tabs.size(); ++i) {
            if (g->tabs[i]->desc.tabId == tabId) found = g->tabs[i].get();
        }
        if (found != nullptr) {
            TabGroup* saved = t->current;
            t->current = g;
            bool ok = RemoveTab(e, found);
            t->current = saved;
            return ok;
        }
    }
    return RemoveTab(e, nullptr);
}

void TabCtrl::NotifyCurrent(gElement* e) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr || t->current == nullptr) return;
    for (auto& tab : t->current->tabs) {
        if (tab->desc.valueOf != nullptr) tab->desc.value = tab->desc.valueOf(tab->desc.tabId);
    }
}

bool TabCtrl::RemoveAll(gElement* e) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr) return false;
    t->groups.clear();
    t->current = nullptr;
    return true;
}

void TabCtrl::SetWidth(gElement* e, float width) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr || width == t->visibleWidth) return;
    t->visibleWidth = width;
    e->width = e->cellWidth = width;
    if (t->current != nullptr) t->LayoutFrom(t->current, t->current->first);
}

bool TabCtrl::PressAt(gElement* e, float x, float y) {
    TabCtrl* t = FromWidget(e);
    if (t == nullptr || t->current == nullptr || t->current->count == 0) return false;
    TabGroup* g = t->current;
    bool arrows = t->HasArrows();
    bool changed = false, scrolled = false;
    if (arrows && x >= t->visibleWidth - kArrowWidth) {
        t->ScrollForward(g);
        scrolled = true;
    } else if (x <= 10) {
        if (g->first > 0) {
            t->ScrollBack(g);
            scrolled = true;
        }
    } else {
        // Tabs as trapezoids: the right side widens by the tab height toward the bottom.
        float h = std::max(t->tabHeight, 1.0f);
        float frac = std::clamp(y / h, 0.0f, 1.0f);
        float left = arrows ? kArrowWidth : 0;
        int32_t hit = -1;
        for (int32_t i = g->first; i >= 0 && i <= g->lastFit && hit < 0; ++i) {
            float tx = left + t->TabX(g, i);
            float right = tx + g->tabs[static_cast<size_t>(i)]->width + (h - 1) * frac;
            if (x >= tx && x < right) hit = i;
        }
        if (hit >= 0) {
            if (hit != g->current) {
                g->previous = g->current;
                g->current = hit;
                changed = true;
            }
        } else {
            int32_t before = g->first;
            t->ScrollIntoView(g, g->current);
            scrolled = g->first != before;
        }
    }
    if (scrolled && t->owner != nullptr && t->owner->onChange != nullptr) t->owner->onChange(t->owner, 5);
    return changed || scrolled;
}

void TabCtrl::Paint(gElement* e) {
    if (gIsPicking()) {
        gPickRect(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
        return;
    }
    TabCtrl* t = FromWidget(e);
    if (t == nullptr) return;
    glPushMatrix();
    glTranslatef(e->x, e->y, 0);
    float w = t->visibleWidth, h = t->tabHeight;
    uint32_t c = e->color1;
    glColor3ub(static_cast<GLubyte>((c & 0x7F) * 2), static_cast<GLubyte>(((c >> 8) & 0x7F) * 2),
               static_cast<GLubyte>(((c >> 16) & 0x7F) * 2));
    glRectf(-1, -1, w + 1, h + 1);
    if (t->pageFlag) {
        glColor3bv(reinterpret_cast<const GLbyte*>(t->shades[1]));
        glRectf(0, h, w, h + t->pageBand);
    }
    TabGroup* g = t->current;
    bool arrows = t->HasArrows();
    float left = 0;
    if (arrows) {
        left = kArrowWidth;
        for (float ax : {0.0f, w - kArrowWidth}) {
            glShadeModel(GL_SMOOTH);
            glBegin(GL_QUADS);
            glColor3f(0.8f, 0.8f, 0.85f); glVertex2f(ax, 0); glVertex2f(ax + kArrowWidth, 0);
            glColor3f(0.6f, 0.6f, 0.65f); glVertex2f(ax + kArrowWidth, h); glVertex2f(ax, h);
            glEnd();
            glShadeModel(GL_FLAT);
            glColor3f(0.9f, 0.9f, 0.9f);
            glBegin(GL_LINE_LOOP);
            glVertex2f(ax + 0.5f, 0.5f); glVertex2f(ax + kArrowWidth - 0.5f, 0.5f);
            glVertex2f(ax + kArrowWidth - 0.5f, h - 0.5f); glVertex2f(ax + 0.5f, h - 0.5f);
            glEnd();
        }
        if (t->font != nullptr && gFontHasLists(t->font)) {
            glColor3f(0, 0, 0);
            gTextDrawAt(t->font, 3, h / 2 + 3, "<");
            gTextDrawAt(t->font, w - kArrowWidth + 3, h / 2 + 3, ">");
        }
    }
    if (g != nullptr) {
        for (int32_t i = g->first; i >= 0 && i <= g->lastFit && i < g->count; ++i) {
            const TabData& tab = *g->tabs[static_cast<size_t>(i)];
            float x = left + t->TabX(g, i), tw = tab.width;
            bool cur = i == g->current;
            glColor3bv(reinterpret_cast<const GLbyte*>(t->shades[cur ? 0 : 2]));
            glBegin(GL_QUADS);
            glVertex2f(x, 0); glVertex2f(x + tw, 0); glVertex2f(x + tw + h - 1, h); glVertex2f(x, h);
            glEnd();
            if (t->freeWidth) glColor3f(0.6f, 0.6f, 0.9f); else glColor3bv(reinterpret_cast<const GLbyte*>(t->shades[3]));
            glBegin(GL_LINE_STRIP);
            glVertex2f(x + 0.5f, h); glVertex2f(x + 0.5f, 0.5f); glVertex2f(x + tw, 0.5f);
            glEnd();
            if (t->freeWidth) glColor3f(0.7f, 0.7f, 0.9f); else glColor3f(0.7f, 0.7f, 0.7f);
            glBegin(GL_LINES);
            glVertex2f(x + tw, 0.5f); glVertex2f(x + tw + h - 1, h);
            glEnd();
            if (t->font != nullptr && gFontHasLists(t->font) && !tab.label.empty()) {
                gColorSet(e->window, e->textColor);
                gTextDrawAt(t->font, x + h - 1, h - 4, tab.label.c_str());
            }
        }
        if (g->count > 1) {
            glColor3f(0.7f, 0.7f, 0.7f);
            glBegin(GL_LINES);
            glVertex2f(0, h - 0.5f); glVertex2f(w, h - 0.5f);
            glEnd();
        }
    }
    glPopMatrix();
}

}  // namespace orva
