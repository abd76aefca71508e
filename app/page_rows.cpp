#include "app/page_rows.h"

#include <cmath>
#include <cstring>

#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/text_layout.h"
#include "toolkit/window.h"

namespace orva {

UIElement* LivePageElement(uintptr_t data, uint32_t slots) {
    auto* e = reinterpret_cast<UIElement*>(data);
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= slots ? e : nullptr;
}

gElement* PageSlot(UIElement* e, uint32_t index) {
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr || index >= e->slotCount) return nullptr;
    gElement* w = e->slots[index];
    return w != nullptr && gWgtIsLive(w) ? w : nullptr;
}

void MarkPageRepaint(UIElement* e) {
    if (e != nullptr && UIElementIsLive(e) && e->window != nullptr && gWinValidate(e->window) != nullptr)
        e->window->dirty = 7;
}

void SetWidgetText(gElement* w, const char* text) {
    if (w != nullptr && w->text != (text != nullptr ? text : "")) gWgtSetText(w, text);
}

void SetWidgetEnabled(gElement* w, bool on) {
    if (w != nullptr) w->enabled = on ? 1 : 0;
}

// A widget hidden for its surroundings (its page is not the one shown, or the page column
// has scrolled it out of sight) keeps in its spare state byte why, and what its page
// wants of it: 0 when nothing hides it (`shown` says it), else the reasons and the wish.
namespace {
constexpr uint8_t kWantsShown = 0x1;
constexpr uint8_t kHideReasons = kHiddenWithPage | kHiddenByColumn | kHiddenByLayout;
}  // namespace

void SetWidgetShown(gElement* w, bool on) {
    if (w == nullptr) return;
    if ((w->state7 & kHideReasons) != 0) {
        w->state7 = static_cast<uint8_t>((w->state7 & ~kWantsShown) | (on ? kWantsShown : 0));
        return;
    }
    w->shown = on ? 1 : 0;
}

bool WidgetWanted(const gElement* w) {
    if (w == nullptr) return false;
    return (w->state7 & kHideReasons) != 0 ? (w->state7 & kWantsShown) != 0 : w->shown != 0;
}

bool SetWidgetHiddenFor(gElement* w, uint8_t reason, bool hide) {
    if (w == nullptr) return false;
    const uint8_t before = w->shown;
    if (hide) {
        if ((w->state7 & kHideReasons) == 0) w->state7 = w->shown != 0 ? kWantsShown : 0;
        w->state7 = static_cast<uint8_t>(w->state7 | reason);
        w->shown = 0;
    } else if ((w->state7 & reason) != 0) {
        w->state7 = static_cast<uint8_t>(w->state7 & ~reason);
        if ((w->state7 & kHideReasons) == 0) {
            w->shown = (w->state7 & kWantsShown) != 0 ? 1 : 0;
            w->state7 = 0;
        }
    }
    return w->shown != before;
}

void SetWidgetValue(gElement* w, bool on) {
    if (w != nullptr) w->value = on ? 1u : 0u;
}

void RedrawWidget(gElement* w) {
    if (w == nullptr || w->window == nullptr || gWinValidate(w->window) == nullptr) return;
    if ((w->window->state & kNotDrawnMask) != 0) {
        w->window->dirty = 7;
        return;
    }
    gWgtDrawState(w, 5);
}

void PaintWidgetNow(gElement* w) {
    if (w == nullptr || !gWgtIsLive(w)) return;
    gWindow* window = gWinValidate(w->window);
    if (window == nullptr || (window->state & kNotDrawnMask) != 0 || !gWinCanDraw(window)) return;
    const bool whole = window->dirty == 7;
    gWgtRedrawNow(w, nullptr);
    if (whole) window->dirty = 0;
}

PageRows::PageRows(UIElement* element) {
    if (element == nullptr) return;
    window_ = element->window;
    slot_ = element->group != nullptr ? (element->group->style & kWsSlotBits) : 0;
    data_ = reinterpret_cast<uintptr_t>(element);
}

gElement* PageRows::Add(int32_t kind, float width, const char* text, uint32_t colour1, uint32_t colour2) {
    if (window_ == nullptr) return nullptr;
    gWgtTemplate t{.desc = {.kind = kind, .style = slot_ | (newRow_ ? kWsNewRow : 0u), .width = width,
                            .height = kRowHeight, .text = text}};
    if (colour1 != 0) t.desc.color1 = colour1;
    if (colour2 != 0) t.desc.color2 = colour2;
    newRow_ = false;
    gElement* e = gWgtAdd(window_, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->handlerData = data_;
    if (kind >= 36) {
        // A button whose text is wider than its given width (another face than the one the
        // widths were chosen for) widens to show it whole.
        e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle | kTextGrowIfNeeded;
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    }
    return e;
}

gElement* PageRows::FixedLabel(float width, const char* text, bool centred, uint32_t colour1, uint32_t colour2) {
    gElement* e = Add(3, -1.0f, text, colour1, colour2);
    if (e == nullptr) return nullptr;
    // The kind lays its text out to take the text's width: that rule goes, and the room it
    // did not take is added to the label and to its row, so the next widget starts after it.
    e->textAlign &= ~(kTextGrow | kTextGrowIfNeeded);
    if (centred) e->textAlign |= kTextCentre;
    const float grow = width - e->cellWidth;
    if (grow > 0.0f && e->row != nullptr && e->row->last == e) {
        e->cellWidth += grow;
        e->width += grow;
        e->row->contentWidth += grow;
    }
    if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    return e;
}

float PageRows::LabelWidth(const char* text) const {
    gWindow* w = window_ != nullptr ? gWinValidate(window_) : nullptr;
    const gTextOps& ops = gTextHooks();
    if (w == nullptr || text == nullptr || ops.width == nullptr || !gFontHasLists(w->font))
        return text != nullptr ? 6.0f * static_cast<float>(std::strlen(text)) + 2.0f : 0.0f;
    return std::floor(ops.width(w->font, text));
}

gElement* PageRows::Field(float width, const char* text, void (*commit)(gElement*, uintptr_t), uint32_t colour1) {
    gElement* e = Add(6, width, text, colour1, kLabelColour2);
    if (e == nullptr) return nullptr;
    if (commit != nullptr)
        e->onChange = commit;
    else
        e->textAlign |= kEditReadOnly;
    return e;
}

gElement* PageRows::Button(int32_t kind, float width, const char* text, void (*press)(gElement*, uintptr_t),
                           uint32_t colour1, uint32_t colour2) {
    gElement* e = Add(kind, width, text, colour1, colour2);
    if (e != nullptr && press != nullptr) {
        e->onClick = press;
        e->active = 1;
    }
    return e;
}

gElement* PageRows::Separator(float width) {
    newRow_ = true;
    gWgtTemplate t{.desc = {.kind = 16, .style = slot_ | kWsNewRow, .width = width, .height = 2.0f,
                            .color1 = 0x4676A6Au}};
    newRow_ = true;
    gElement* e = window_ != nullptr ? gWgtAdd(window_, nullptr, &t, 0) : nullptr;
    return e;
}

}  // namespace orva
