#include "toolkit/list_control.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <unordered_map>

#include "common/log.h"
#include "common/system.h"
#include "platform/window_api.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/painters.h"
#include "toolkit/slider.h"
#include "toolkit/text_buffer.h"
#include "toolkit/text_layout.h"

namespace orva {
namespace {


// Live lists by widget: a widget pointer is trusted only when found here.
std::unordered_map<const gElement*, ListCtrl*>& Lists() {
    static auto* lists = new std::unordered_map<const gElement*, ListCtrl*>;
    return *lists;
}

float FontHeight(const gFont* font, float fallback) {
    if (font == nullptr) return fallback;
    float h = gFontLineHeight(font);
    return h > 0 ? h : fallback;
}

// Fits a cell's text into its width (the characters that fit, "..." when cut); the text
// is drawn 2 in from the cell's left edge, which is the block's margin.
void LayoutCell(TextCell& cell, const gFont* font) {
    cell.cut = 0;
    if (cell.text.empty()) {
        cell.fitCount = 0;
        cell.textWidth = 0;
        return;
    }
    int32_t n = static_cast<int32_t>(std::min<size_t>(cell.text.size(), INT32_MAX));
    if (font == nullptr) {
        cell.fitCount = n;
        cell.textWidth = 0;
        return;
    }
    gTextBlock block;
    block.text.swap(cell.text);   // lent to the layout, not copied
    block.flags = cell.textStyle;
    block.marginX = 2.0f;
    float extent[2] = {cell.width, cell.height};
    cell.textWidth = gWgtLayoutText(font, &block, extent, nullptr, 0);
    block.text.swap(cell.text);
    cell.fitCount = std::clamp(block.shown, 0, n);
    cell.cut = block.cut;
}

float MinColumnWidth(const gFont* font) {
    float w = font != nullptr ? gFontCharWidth(font, 'W', false) : 0.0f;
    return std::max(w, 8.0f);
}

void RepaintWindow(gElement* widget) {
    if (widget == nullptr || widget->window == nullptr) return;
    gWindow* window = widget->window;
    if ((window->state & (kStateInHandler | kStateHidden | kStateMinimised | kStateClosed)) != 0 ||
        window->hwnd == nullptr) {
        window->dirty = 7;
        return;
    }
    gWinRedraw(window);
}

// Appends one copied line: name " :  " value CR LF (the name when wanted and present).
bool AppendLine(TextBuffer* buffer, const ListRow& row, int32_t valueColumn, int32_t nameColumn, bool withName) {
    if (valueColumn < 0 || valueColumn >= row.cellCount) return false;
    const std::string& value = row.cells[static_cast<size_t>(valueColumn)].text;
    if (value.empty()) return false;
    if (withName && nameColumn >= 0 && nameColumn < row.cellCount) {
        const std::string& name = row.cells[static_cast<size_t>(nameColumn)].text;
        if (!name.empty() && (!buffer->AppendText(name.c_str()) || !buffer->AppendText(" :  "))) throw std::bad_alloc();
    }
    if (!buffer->AppendText(value.c_str()) || !buffer->AppendText("\r\n")) throw std::bad_alloc();
    return true;
}

bool WindowCanTakeClipboard(const gWindow* window) {
    return window != nullptr && window->hwnd != nullptr &&
           (window->state & (kStateHidden | kStateClosed | kStateMinimised)) == 0 &&
           (gToolkitFlags() & kFlagClosing) == 0;
}

void OnWidgetDestroy(gElement* widget) {
    auto it = Lists().find(widget);
    if (it == Lists().end()) return;
    ListCtrl* list = it->second;
    Lists().erase(it);
    list->widget = nullptr;
    delete list;
}

bool OnPress(gElement* widget, uintptr_t) {
    ListCtrl* list = ListCtrl::FromWidget(widget);
    // Only while the button is down (a shortcut key press selects nothing).
    if (list == nullptr || gMouseButtonState() == 0) return false;
    int click = gIsDoubleClick() ? 2 : 1;
    return ListCtrl::PressAt(list, static_cast<float>(gCursorPos.x) - widget->x,
                             static_cast<float>(gCursorPos.y) - widget->y, click);
}

// The drag handler: a column border being resized takes the horizontal movement; a
// movable list follows the mouse, snapping to the window's right and bottom edges.
void OnDrag(gElement* widget, const pf::Point*) {
    ListCtrl* list = ListCtrl::FromWidget(widget);
    if (list == nullptr) return;
    const pf::Point step = gDragStep;
    if (list->resizingColumn >= 0) {
        if (ListCtrl::DragColumn(list, static_cast<float>(step.x))) RepaintWindow(widget);
        return;
    }
    if (!list->movable) return;
    float x = widget->x + static_cast<float>(step.x), y = widget->y + static_cast<float>(step.y);
    if (widget->window != nullptr) {
        float right = static_cast<float>(widget->window->clientWidth);
        float bottom = static_cast<float>(widget->window->clientHeight);
        if (std::fabs(x + widget->width - right) <= 6) x = right - widget->width;
        if (std::fabs(y + widget->height - bottom) <= 6) y = bottom - widget->height;
    }
    const float dx = x - widget->x, dy = y - widget->y;
    for (gElement* e = widget; e != nullptr; e = e->nextChild) {
        e->x += dx;
        e->y += dy;
        e->homeX = e->x;
        e->homeY = e->y;
    }
    RepaintWindow(widget);
}

// A scroll bar of the list, null when it is gone (its widget destroyed).
gElement* LiveBar(gElement* bar) {
    return bar != nullptr && gWgtIsLive(bar) && ScrollSliderFromWidget(bar) != nullptr ? bar : nullptr;
}

void OnVerticalBar(uintptr_t widget, float fraction) {
    ListCtrl* list = ListCtrl::FromWidget(reinterpret_cast<const gElement*>(widget));
    if (list != nullptr) ListCtrl::ScrollTo(list, fraction);
}

// The horizontal bar has nothing to scroll.
void OnHorizontalBar(uintptr_t, float) {}

// ---- Drawing -------------------------------------------------------------------------------

void Color(const uint8_t rgb[3]) { glColor3bv(reinterpret_cast<const GLbyte*>(rgb)); }

void Rect(float x0, float y0, float x1, float y1) { glRecti(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1), static_cast<int>(y1)); }

void Line(float x0, float y0, float x1, float y1) {
    glBegin(GL_LINES);
    glVertex2f(x0 + 0.5f, y0 + 0.5f);
    glVertex2f(x1 + 0.5f, y1 + 0.5f);
    glEnd();
}

void DrawCellText(const ListCtrl* list, const TextCell& cell, float x, float y) {
    if (cell.text.empty() || list->font == nullptr) return;
    float descent = 0;
    gFontTextAscent(list->font, "A", &descent);
    float baseline = std::floor(y + list->rowHeight - 2 - std::max(descent, 2.0f));
    gTextDrawAt(list->font, x + 2, baseline, cell.text.c_str(), cell.fitCount, cell.cut != 0);
}

// Rows are not drawn when the parent element's bottom (less 10 pixels) lies above the header.
bool RowsHidden(const ListCtrl* list) {
    const gElement* w = list->widget;
    if (w->prevChild == nullptr || w->container == nullptr || w->container == w) return false;
    const gElement* p = w->container;
    return p->y + p->height - 10 < w->y + list->headerHeight;
}

void Paint(gElement* widget) {
    ListCtrl* list = ListCtrl::FromWidget(widget);
    if (list == nullptr || widget->window == nullptr) return;
    if (gIsPicking()) {
        gPickRect(widget->x, widget->y, widget->x + widget->cellWidth, widget->y + widget->cellHeight);
        return;
    }
    const gColourTable& c = widget->window->colours;
    const bool fixed = list->kind == 2;
    const float w = list->listWidth, hh = list->headerHeight;
    glPushMatrix();
    glTranslatef(widget->x, widget->y, 0);
    // Header band.
    if (fixed) {
        glColor3f(0.95f, 0.97f, 1.0f);
        Rect(0, 0, w, hh + 2);
        glColor3f(0.7f, 0.72f, 0.75f);
        Line(0, 2, w, 2);
        Line(0, 4, w, 4);
    } else {
        Color(c.backShades[3]);
        Rect(0, 0, w, hh + 2);
        Color(c.backShades[1]);
        glBegin(GL_LINE_LOOP);
        glVertex2f(0.5f, 0.5f);
        glVertex2f(w - 0.5f, 0.5f);
        glVertex2f(w - 0.5f, hh + 1.5f);
        glVertex2f(0.5f, hh + 1.5f);
        glEnd();
    }
    if (list->collapsed) {
        float y0 = fixed ? 4.0f : 2.0f;
        if (fixed) glColor3f(0.5f, 0.52f, 0.55f);
        else Color(c.backShades[10]);
        glBegin(GL_TRIANGLES);
        glVertex2f(w / 2 - 4, y0);
        glVertex2f(w / 2 + 4, y0);
        glVertex2f(w / 2, y0 + 4);
        glEnd();
        glPopMatrix();
        return;
    }
    // Titles and the column borders across the header.
    float x = 0;
    for (int32_t i = 0; i < list->columnCount; ++i) {
        if (fixed) glColor3f(0, 0, 0);
        else Color(c.backShades[10]);
        if (static_cast<size_t>(i) < list->titles.size() && list->font != nullptr && !list->titles[static_cast<size_t>(i)].text.empty()) {
            const TextCell& t = list->titles[static_cast<size_t>(i)];
            gTextDrawAt(list->font, x + 2, std::floor(hh - 4), t.text.c_str(), t.fitCount, t.cut != 0);
        }
        x += list->columnWidths[static_cast<size_t>(i)];
        if (hh > 0 && i + 1 < list->columnCount) {
            if (fixed) glColor3f(0.7f, 0.72f, 0.75f);
            else Color(c.backShades[1]);
            Line(x, 0, x, hh);
        }
    }
    // Body.
    const float top = hh + 2, bottom = list->listHeight;
    if (fixed) glColor3f(0.9f, 0.92f, 0.95f);
    else Color(c.backShades[5]);
    Rect(0, top, w, bottom);
    if (!fixed) {
        // The bevel's light side faces away from the docking side.
        bool flip = (widget->style & (kWsRight | kWsBottom)) != 0;
        Color(c.backShades[flip ? 7 : 2]);
        Line(0, top, w - 1, top);
        Line(0, top, 0, bottom - 1);
        Color(c.backShades[flip ? 2 : 7]);
        Line(0, bottom - 1, w - 1, bottom - 1);
        Line(w - 1, top, w - 1, bottom - 1);
    }
    if (!RowsHidden(list)) {
        for (int32_t k = 0; k < list->visibleRows; ++k) {
            int32_t index = list->firstVisible + k;
            if (index < 0 || index >= list->rowCount) break;
            const ListRow& row = list->rows[static_cast<size_t>(index)];
            float y = hh + static_cast<float>(k) * list->rowHeight;
            if (row.selected) {
                if (fixed) glColor3f(0.9f, 0.0f, 0.0f);
                else Color(c.widgetShades[6]);
                Rect(1, y + 1, w - 1, y + list->rowHeight);
            }
            float cx = 0;
            for (int32_t col = 0; col < row.cellCount && col < list->columnCount; ++col) {
                if (fixed) glColor3f(row.selected ? 1.0f : 0.0f, row.selected ? 1.0f : 0.0f, row.selected ? 1.0f : 0.0f);
                else Color(row.emphasised ? c.widgetShades[9] : c.backShades[10]);
                DrawCellText(list, row.cells[static_cast<size_t>(col)], cx, y);
                cx += list->columnWidths[static_cast<size_t>(col)];
            }
            if (fixed) glColor3f(0.7f, 0.72f, 0.75f);
            else Color(c.backShades[4]);
            Line(1, y + list->rowHeight, w - 2, y + list->rowHeight);
        }
    }
    glPopMatrix();
}

}  // namespace

ListCtrl::~ListCtrl() {
    Lists().erase(widget);
}

bool ListCtrl::IsLive(const ListCtrl* list) {
    if (list == nullptr) return false;
    for (const auto& [widget, live] : Lists())
        if (live == list) return true;
    return false;
}

ListCtrl* ListCtrl::FromWidget(const gElement* widget) {
    if (widget == nullptr) return nullptr;
    auto it = Lists().find(widget);
    return it != Lists().end() ? it->second : nullptr;
}

int32_t ListCtrl::IndexOf(const ListRow* row) const {
    if (row == nullptr || rows.empty() || row < rows.data() || row >= rows.data() + rows.size()) return -1;
    return static_cast<int32_t>(row - rows.data());
}

gElement* ListCtrl::Create(gWindow* window, gElement* parent, int32_t kind, const ListCtrlLayout* layout,
                           uint32_t style, bool movable, gFont* font) {
    if (window == nullptr || layout == nullptr || kind < 0 || kind > 3) return nullptr;
    auto* list = new (std::nothrow) ListCtrl;
    if (list == nullptr) return nullptr;
    list->kind = kind;
    list->movable = movable ? 1 : 0;
    list->font = font != nullptr ? font : window->font;
    float fh = FontHeight(list->font, 0);
    list->rowHeight = (fh > 0 ? std::ceil(fh) + 4 : 16.0f) + (kind == 3 ? 2.0f : 0.0f);
    list->columnCount = std::clamp(layout->columnCount, 1, 1024);
    try {
        list->columnWidths.assign(static_cast<size_t>(list->columnCount), 0.0f);
        list->titles.resize(static_cast<size_t>(list->columnCount));
    } catch (const std::bad_alloc&) {
        delete list;
        return nullptr;
    }
    for (int32_t i = 0; i < list->columnCount; ++i) {
        float w = layout->columnWidths != nullptr ? layout->columnWidths[i] : layout->width / static_cast<float>(list->columnCount);
        list->columnWidths[static_cast<size_t>(i)] = std::max(w, 1.0f);
    }
    list->headerShown = kind != 0 ? 1 : 0;
    list->resizeFlags = layout->flags & 0x203u;
    if (kind == 0) list->resizeFlags |= kListColumnsResizable;
    list->listX = 0;
    list->listY = 0;
    list->listWidth = layout->width;
    list->requestedHeight = layout->height;
    if (list->headerShown) {
        // The header band follows the font (an 11-pixel font without one), 2 pixels more
        // for kinds with a band.
        list->headerHeight = std::ceil(FontHeight(list->font, 11.0f)) + 4 + 2;
    }

    WidgetDesc desc;
    desc.kind = kListKind;
    desc.offsetX = layout->x;
    desc.offsetY = layout->y;
    desc.width = layout->width + ((layout->flags & kListVerticalBar) ? 16.0f : 0.0f);
    desc.height = std::max(layout->height, list->headerHeight + list->rowHeight) +
                  ((layout->flags & kListHorizontalBar) ? 16.0f : 0.0f);
    desc.cellWidth = desc.width;
    desc.cellHeight = desc.height;
    desc.style = movable ? 0x34224800u : 0x224000u;
    // A group's slot given by the caller (with a new row, when asked) places the list in
    // that group's rows like any widget of a page.
    if ((style & kWsSlotBits) != 0) {
        desc.style = (desc.style & ~(kWsSlotBits | kWsNewRow)) | (style & (kWsSlotBits | kWsNewRow));
        style = 0;
    }
    desc.color1 = 0x4686B6Bu;
    desc.color2 = 0xF1A1A1Au;
    desc.paint = Paint;
    desc.onDestroy = OnWidgetDestroy;
    desc.state[1] = 0x01000100u;   // active and enabled
    desc.state[2] = 1;             // shown
    if ((layout->flags & 0x203u) != 0 || kind == 0) {
        desc.state[0] = (layout->flags & 3u) | 0x200u;
        desc.style |= 0x800;
        desc.onDrag = OnDrag;
    }
    if (movable || list->collapsible || (list->resizeFlags & kListColumnsResizable)) desc.onPress = OnPress;
    gElement* widget = gWgtCreate(window, nullptr, parent, &desc, style);
    if (widget == nullptr) {
        delete list;
        return nullptr;
    }
    list->widget = widget;
    try {
        Lists()[widget] = list;
    } catch (const std::bad_alloc&) {
        widget->onDestroy = nullptr;
        gWgtRemove(widget, true);
        list->widget = nullptr;
        delete list;
        return nullptr;
    }
    // Scroll bars, 14 pixels thick, beside and below the list.
    if (layout->flags & kListVerticalBar) {
        list->verticalBar = ScrollSliderCreate(window, widget, OnVerticalBar, true, widget->height, 14,
                                               reinterpret_cast<uintptr_t>(widget));
        if (list->verticalBar != nullptr) {
            list->verticalBar->shown = list->verticalBar->initiallyShown = 1;
            list->verticalBar->x = list->verticalBar->homeX = widget->x + list->listWidth + 1;
            list->verticalBar->y = list->verticalBar->homeY = widget->y;
        }
    }
    if (layout->flags & kListHorizontalBar) {
        list->horizontalBar = ScrollSliderCreate(window, widget, OnHorizontalBar, false, list->listWidth, 14,
                                                 reinterpret_cast<uintptr_t>(widget));
        if (list->horizontalBar != nullptr) list->horizontalBar->shown = list->horizontalBar->initiallyShown = 1;
    }
    if (widget->onPress == nullptr) widget->onPress = OnPress;   // selection by mouse in every list
    widget->active = 1;
    widget->cursor = widget->defaultCursor = gCursorGet(4);
    if (layout->titles != nullptr) {
        for (int32_t i = 0; i < list->columnCount; ++i) {
            if (layout->titles[i] != nullptr) list->titles[static_cast<size_t>(i)].text = layout->titles[i];
        }
    }
    LayoutCells(list);
    LayoutRows(list);
    return widget;
}

void ListCtrl::LayoutCells(ListCtrl* list) {
    if (list == nullptr) return;
    float x = 0;
    for (int32_t i = 0; i < list->columnCount && static_cast<size_t>(i) < list->titles.size(); ++i) {
        TextCell& t = list->titles[static_cast<size_t>(i)];
        t.x = x;
        t.y = 0;
        t.width = list->columnWidths[static_cast<size_t>(i)];
        t.height = list->headerHeight;
        LayoutCell(t, list->font);
        x += t.width;
    }
    for (int32_t r = 0; r < list->rowCount; ++r) {
        ListRow& row = list->rows[static_cast<size_t>(r)];
        float cx = 0;
        for (int32_t c = 0; c < row.cellCount && c < list->columnCount; ++c) {
            TextCell& cell = row.cells[static_cast<size_t>(c)];
            cell.x = cx;
            cell.width = list->columnWidths[static_cast<size_t>(c)];
            cell.height = list->rowHeight;
            LayoutCell(cell, list->font);
            cx += cell.width;
        }
    }
}

void ListCtrl::LayoutRows(ListCtrl* list) {
    if (list == nullptr) return;
    float available = -1;
    if (list->widget != nullptr && list->widget->window != nullptr) {
        pf::Rect area{};
        gWorkArea(&area, list->widget->window);
        available = static_cast<float>(area.bottom - area.top) - 20;
    }
    if (available < 1) available = 620;
    if (list->requestedHeight > 0 && list->requestedHeight < available) available = list->requestedHeight;
    if (list->collapsed) {
        list->visibleRows = 0;
    } else if (static_cast<float>(list->rowCount) * list->rowHeight + list->headerHeight <= available) {
        list->visibleRows = list->rowCount;
    } else {
        float fit = (available - list->headerHeight) / list->rowHeight;
        list->visibleRows = std::clamp(static_cast<int32_t>(std::max(fit, 1.0f)), 1, std::max(list->rowCount, 1));
    }
    list->firstVisible = std::clamp(list->firstVisible, 0, std::max(0, list->rowCount - list->visibleRows));
    if (list->visibleRows > 0 && list->rowCount > 0) {
        list->firstShown = &list->rows[static_cast<size_t>(list->firstVisible)];
        list->lastShown = &list->rows[static_cast<size_t>(list->firstVisible + list->visibleRows - 1)];
    } else {
        list->firstShown = list->lastShown = nullptr;
    }
    list->listHeight = list->headerHeight + static_cast<float>(list->visibleRows) * list->rowHeight + 2;
    list->verticalBar = LiveBar(list->verticalBar);
    list->horizontalBar = LiveBar(list->horizontalBar);
    if (list->widget != nullptr) {
        gElement* w = list->widget;
        float h = list->listHeight + (list->horizontalBar != nullptr ? 16.0f : 0.0f);
        w->height = w->cellHeight = h;
        if (gElement* bar = list->verticalBar) {
            bar->height = bar->cellHeight = list->listHeight;
            ScrollSliderResize(bar);
            ScrollSliderSetRange(bar, list->visibleRows, list->rowCount, list->firstVisible);
        }
        if (gElement* bar = list->horizontalBar) {
            bar->x = bar->homeX = w->x;
            bar->y = bar->homeY = w->y + list->listHeight + 1;
        }
    }
}

void ListCtrl::ScrollTo(ListCtrl* list, float position) {
    if (list == nullptr) return;
    if (!(position >= 0)) position = 0;   // NaN too
    position = std::min(position, 1.0f);
    int32_t span = std::max(0, list->rowCount - list->visibleRows);
    list->firstVisible = std::clamp(static_cast<int32_t>(position * static_cast<float>(span)), 0, span);
    LayoutRows(list);
    RepaintWindow(list->widget);
}

bool ListCtrl::ScrollRows(ListCtrl* list, int32_t rows) {
    if (list == nullptr) return false;
    const int32_t span = std::max(0, list->rowCount - list->visibleRows);
    const int64_t wanted = static_cast<int64_t>(list->firstVisible) + rows;
    const int32_t first = static_cast<int32_t>(std::clamp<int64_t>(wanted, 0, span));
    if (first == list->firstVisible) return false;
    list->firstVisible = first;
    LayoutRows(list);
    RepaintWindow(list->widget);
    return true;
}

bool ListCtrl::ResizeRows(ListCtrl* list, int32_t count, bool* changed) {
    if (changed != nullptr) *changed = false;
    if (list == nullptr) return false;
    count = std::clamp(count, 0, kListMaxRows);
    if (count == list->rowCount) return true;
    if (changed != nullptr) *changed = true;
    if (count <= list->rowCapacity) {
        for (int32_t r = count; r < list->rowCount; ++r) {
            for (TextCell& cell : list->rows[static_cast<size_t>(r)].cells) cell.text.clear();
        }
        ClearSelection(list);
        list->rowCount = count;
    } else {
        int32_t selected = list->IndexOf(list->selectedRow);
        std::vector<ListRow> grown;
        try {
            grown.resize(static_cast<size_t>(count));
            for (ListRow& row : grown) {
                row.cells.resize(static_cast<size_t>(list->columnCount));
                row.cellCount = row.cellCapacity = list->columnCount;
            }
        } catch (const std::bad_alloc&) {
            LogPrintf("List: no memory for %d rows\n", count);
            return false;
        }
        for (int32_t r = 0; r < list->rowCount; ++r) grown[static_cast<size_t>(r)] = std::move(list->rows[static_cast<size_t>(r)]);
        list->rows.swap(grown);
        list->rowCapacity = count;
        list->rowCount = count;
        list->selectedRow = selected >= 0 ? &list->rows[static_cast<size_t>(selected)] : nullptr;
    }
    // The last page stays full.
    list->firstVisible = std::min(list->firstVisible, std::max(0, list->rowCount - list->visibleRows));
    LayoutRows(list);
    return true;
}

bool ListCtrl::FillRows(ListCtrl* list, int32_t column, const char* const* texts, int32_t count) {
    if (list == nullptr) return false;
    if (count < 1) {
        ClearRows(list);
        return true;
    }
    if (list->columnCount < 1) return false;
    column = std::clamp(column, 0, list->columnCount - 1);
    count = std::min(count, kListMaxRows);
    if (!ResizeRows(list, count, nullptr)) return false;
    const float width = list->columnWidths[static_cast<size_t>(column)];
    float x = 0;
    for (int32_t c = 0; c < column; ++c) x += list->columnWidths[static_cast<size_t>(c)];
    for (int32_t r = 0; r < count; ++r) {
        ListRow& row = list->rows[static_cast<size_t>(r)];
        if (column >= row.cellCount) continue;
        TextCell& cell = row.cells[static_cast<size_t>(column)];
        const char* text = texts != nullptr ? texts[r] : nullptr;
        try {
            if (text == nullptr) cell.text.clear();
            else cell.text.assign(text);
        } catch (const std::bad_alloc&) {
            return false;
        }
        cell.x = x;
        cell.width = width;
        cell.height = list->rowHeight;
        LayoutCell(cell, list->font);
    }
    LayoutRows(list);
    return true;
}

bool ListCtrl::SetTexts(gElement* widget, int32_t column, const char* const* texts, int32_t count) {
    ListCtrl* list = gUiReady() ? FromWidget(widget) : nullptr;
    if (list == nullptr) return false;
    bool ok = FillRows(list, column, texts, count);
    RepaintWindow(widget);
    return ok;
}

bool ListCtrl::SetTitles(gElement* widget, const char* const* titles, int32_t count) {
    ListCtrl* list = gUiReady() ? FromWidget(widget) : nullptr;
    if (list == nullptr || titles == nullptr) return false;
    count = std::min(count, list->columnCount);
    float tallest = 0;
    for (int32_t i = 0; i < count; ++i) {
        TextCell& t = list->titles[static_cast<size_t>(i)];
        t.text = titles[i] != nullptr ? titles[i] : "";
        float h = t.text.empty() ? 0.0f
                  : list->font != nullptr ? gFontTextHeight(list->font, t.text.c_str(), nullptr)
                                          : 11.0f;
        tallest = std::max(tallest, h);
    }
    list->headerHeight = std::max(list->headerHeight, std::ceil(tallest) + 4);
    LayoutCells(list);
    LayoutRows(list);
    RepaintWindow(widget);
    return true;
}

void ListCtrl::ClearRows(ListCtrl* list) {
    if (list == nullptr) return;
    ClearSelection(list);
    for (int32_t r = 0; r < list->rowCount; ++r) {
        for (TextCell& cell : list->rows[static_cast<size_t>(r)].cells) cell.text.clear();
    }
    list->rowCount = 0;
    list->firstVisible = 0;
    LayoutRows(list);
}

bool ListCtrl::ClearSelection(ListCtrl* list) {
    if (list == nullptr) return false;
    bool had = list->selectedRow != nullptr || list->selectedCount != 0;
    for (ListRow& row : list->rows) row.selected = 0;
    list->selectedRow = nullptr;
    list->selectedCount = 0;
    list->selectedColumn = -1;
    return had;
}

int32_t ListCtrl::GetSelectedIndex(const gElement* widget) {
    if (!gUiReady()) return 0;
    ListCtrl* list = FromWidget(widget);
    return list != nullptr ? list->IndexOf(list->selectedRow) : -1;
}

int32_t ListCtrl::GetSelectedColumn(const gElement* widget) {
    if (!gUiReady()) return 0;
    ListCtrl* list = FromWidget(widget);
    return list != nullptr && list->selectedRow != nullptr ? list->selectedColumn : -1;
}

namespace {
bool ClearSecondCells(gElement* widget, bool onlyIfSet) {
    ListCtrl* list = gUiReady() ? ListCtrl::FromWidget(widget) : nullptr;
    if (list == nullptr) return false;
    if (onlyIfSet && (list->rowCount < 1 || list->rows[0].cellCount < 2 || list->rows[0].cells[1].text.empty())) {
        return false;
    }
    for (int32_t r = 0; r < list->rowCount; ++r) {
        ListRow& row = list->rows[static_cast<size_t>(r)];
        if (row.cellCount > 1) {
            row.cells[1].text.clear();
            LayoutCell(row.cells[1], list->font);
        }
    }
    if (widget->window != nullptr) widget->window->dirty = 7;
    return true;
}
}  // namespace

bool ListCtrl::ClearValues(gElement* widget) { return ClearSecondCells(widget, false); }
bool ListCtrl::ClearValuesIfSet(gElement* widget) { return ClearSecondCells(widget, true); }

bool ListCtrl::SetMode(gElement* widget, uint32_t value) {
    ListCtrl* list = gUiReady() ? FromWidget(widget) : nullptr;
    if (list == nullptr) return false;
    list->mode = value;
    return true;
}

int32_t ListCtrl::FormatColumns(const ListCtrl* list, char* buffer, int32_t size, int32_t columnWidth, char separator,
                                int32_t firstWidth) {
    if (buffer == nullptr || size < 2) return 0;
    int32_t at = 0;
    const int32_t room = size - 1;   // the NUL always fits
    auto put = [&](char c) {
        if (at < room) buffer[at++] = c;
    };
    auto puts = [&](const std::string& s) {
        for (char c : s) put(c);
    };
    auto spacing = [&] {
        if (columnWidth <= 0) return;
        for (int32_t i = 0; i < columnWidth; ++i) put(' ');
        if (separator != 0) {
            put(separator);
            for (int32_t i = 0; i < columnWidth; ++i) put(' ');
        }
    };
    if (list != nullptr) {
        for (int32_t r = 0; r < list->rowCount && at < room; ++r) {
            const ListRow& row = list->rows[static_cast<size_t>(r)];
            if (row.cellCount < 1 || row.cells[0].text.empty()) continue;
            const std::string& first = row.cells[0].text;
            puts(first);
            for (int32_t pad = static_cast<int32_t>(std::min<size_t>(first.size(), INT32_MAX)); pad < firstWidth; ++pad) put(' ');
            spacing();
            for (int32_t c = 1; c < row.cellCount; ++c) {
                puts(row.cells[static_cast<size_t>(c)].text);
                if (c + 1 < row.cellCount) spacing();
            }
            put('\r');
            put('\n');
        }
    }
    buffer[at] = '\0';
    return at;
}

bool ListCtrl::CopyRow(const ListRow* row, int32_t valueColumn, int32_t nameColumn, gWindow* window, bool withName) {
    if (row == nullptr || !WindowCanTakeClipboard(window)) return false;
    ClipTextBuffer text;
    try {
        if (!AppendLine(&text, *row, valueColumn, nameColumn, withName)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return ClipboardSetText(text.Text(), text.length, window->hwnd);
}

bool ListCtrl::CopyToClipboard(ListCtrl* list, int32_t valueColumn, int32_t nameColumn, bool withNames,
                               bool selectedOnly) {
    if (list == nullptr || list->widget == nullptr) return false;
    if (selectedOnly && list->selectedRow == nullptr) return false;
    if (list->rowCount < 1 || valueColumn < 0 || valueColumn >= list->columnCount) return false;
    gWindow* window = list->widget->window;
    if (!WindowCanTakeClipboard(window)) return false;
    bool withName = nameColumn >= 0 && nameColumn < list->columnCount && !(list->rowCount == 1 && !withNames);
    if (selectedOnly && list->selectedCount == 1) return CopyRow(list->selectedRow, valueColumn, nameColumn, window, withName);
    ClipTextBuffer text;
    int32_t lines = 0;
    try {
        for (int32_t r = 0; r < list->rowCount; ++r) {
            const ListRow& row = list->rows[static_cast<size_t>(r)];
            if (selectedOnly && !row.selected) continue;
            if (AppendLine(&text, row, valueColumn, nameColumn, withName)) ++lines;
        }
    } catch (const std::bad_alloc&) {
        LogPrintf("List: no memory for the clipboard text\n");
        return false;
    }
    if (lines == 0) return false;
    return ClipboardSetText(text.Text(), text.length, window->hwnd);
}

bool ListCtrl::PressAt(ListCtrl* list, float x, float y, int clickState) {
    if (list == nullptr) return false;
    if (list->resizingColumn >= 0) {   // a pending column resize ends at a new press
        list->resizingColumn = -1;
        if (list->widget != nullptr) list->widget->cursor = list->widget->defaultCursor;
    }
    if (x < list->listX || y < list->listY || x >= list->listX + list->listWidth || y >= list->listY + list->listHeight) {
        return false;
    }
    x -= list->listX;
    y -= list->listY;
    if (y < list->headerHeight) {
        if (list->collapsible && clickState == 2) {
            list->collapsed ^= 1;
            LayoutRows(list);
            RepaintWindow(list->widget);
            return true;
        }
        if (!list->collapsed && list->columnCount >= 2 && (list->resizeFlags & kListColumnsResizable)) {
            float border = 0;
            for (int32_t c = 0; c + 1 < list->columnCount; ++c) {
                border += list->columnWidths[static_cast<size_t>(c)];
                if (std::fabs(x - border) <= 4) {
                    list->resizingColumn = c;
                    if (list->widget != nullptr) list->widget->cursor = pf::LoadCursor(pf::kIdcSizeWe);
                    break;
                }
            }
        }
        return false;
    }
    if (list->collapsed) return false;
    int32_t k = static_cast<int32_t>(std::floor((y - list->headerHeight) / list->rowHeight));
    if (k < 0 || k >= list->visibleRows) return false;
    int32_t index = list->firstVisible + k;
    if (index >= list->rowCount) return false;
    int32_t column = -1;
    float left = 0;
    for (int32_t c = 0; c < list->columnCount; ++c) {
        float right = left + list->columnWidths[static_cast<size_t>(c)];
        if (x >= left && x < right - 1) {
            column = c;
            break;
        }
        left = right;
    }
    ListRow& row = list->rows[static_cast<size_t>(index)];
    if (row.disabled) return false;
    bool changed = list->selectedRow != &row || list->selectedColumn != column;
    ClearSelection(list);
    row.selected = 1;
    list->selectedRow = &row;
    list->selectedCount = 1;
    list->selectedColumn = column;
    if (changed && list->widget != nullptr && list->widget->onClick == nullptr && list->widget->window != nullptr) {
        gWgtRedrawState(list->widget, 5);
    }
    return changed;
}

bool ListCtrl::DragColumn(ListCtrl* list, float dx) {
    if (list == nullptr || list->resizingColumn < 0 || list->resizingColumn + 1 >= list->columnCount || !(dx == dx)) {
        return false;
    }
    float& left = list->columnWidths[static_cast<size_t>(list->resizingColumn)];
    float& right = list->columnWidths[static_cast<size_t>(list->resizingColumn + 1)];
    const float minimum = MinColumnWidth(list->font);
    // The left column takes the movement, the right one gives it up, neither below the minimum.
    float step = std::clamp(dx, std::min(0.0f, minimum - left), std::max(0.0f, right - minimum));
    if (step == 0) return false;
    left += step;
    right -= step;
    LayoutCells(list);
    return true;
}

}  // namespace orva
