// What the blocks of the "View" page share, and their place in the Transformation's
// page services.
#include <cstdio>

#include "common/number_text.h"
#include "framework/component_id.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/menu.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "transform/transformation.h"
#include "views/view_page.h"
#include "views/view_page_parts.h"

namespace orva {

// ---- The stage behind a block --------------------------------------------------------------

UIElement* ViewElement(uintptr_t data, uint32_t slots) {
    auto* e = reinterpret_cast<UIElement*>(data);
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr || e->slotCount < slots) return nullptr;
    return e;
}

namespace {

ComponentBase* PageComponent(UIElement* e) {
    if (e == nullptr || !UIElementIsLive(e) || e->page == nullptr || !UIPageIsLive(e->page)) return nullptr;
    ComponentBase* c = e->page->current;
    return c != nullptr && ComponentIsLive(c) ? c : nullptr;
}

}  // namespace

TransformationComponent* ViewStage(UIElement* e) { return dynamic_cast<TransformationComponent*>(PageComponent(e)); }

ColorConverter* ViewConverter(UIElement* e) {
    ComponentBase* c = PageComponent(e);
    void* out = nullptr;
    if (c == nullptr || !c->QueryInterface(&kPlugColorId, &out)) return nullptr;
    return static_cast<ColorConverter*>(out);
}

ValueScaler* ViewScaler(UIElement* e) {
    ComponentBase* c = PageComponent(e);
    void* out = nullptr;
    if (c == nullptr || !c->QueryInterface(&kPlugSingleFilterId, &out) || out == nullptr) return nullptr;
    auto* scaler = static_cast<ValueScaler*>(out);
    return scaler->kernel != nullptr ? scaler : nullptr;
}

UIElement* ViewBlock(UIPage* page, uint32_t index, uint32_t slots) {
    if (page == nullptr || !UIPageIsLive(page) || index >= page->table.size()) return nullptr;
    UIElement* e = page->table[index];
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= slots ? e : nullptr;
}

bool ShowViewBlock(PageWindow* pw, void* window, int32_t pageId, PanelBuilder key, uint32_t slots, uint32_t index,
                   PageBuildFn build, PageRefreshFn refresh) {
    auto* page = static_cast<UIPage*>(pw);
    if (page == nullptr || !UIPageIsLive(page) || page->current == nullptr || !ComponentIsLive(page->current) ||
        dynamic_cast<TransformationComponent*>(page->current) == nullptr)
        return false;
    auto* w = static_cast<gWindow*>(window);
    if (w != nullptr && gWinValidate(w) == nullptr) w = nullptr;
    return ShowComponentPage(page, w, kViewBlockStyle, key, slots, index, kViewTableSize, pageId, build, refresh,
                             nullptr);
}

void StackBelowBlock(UIElement* e, uint32_t previous) {
    if (e == nullptr || e->group == nullptr || e->page == nullptr) return;
    UIElement* above = ViewBlock(e->page, previous, 1);
    if (above == nullptr || above->window != e->window || above->group == nullptr || above->group == e->group ||
        !gWgtIsLive(above->group))
        return;
    const gGroup* g = above->group;
    e->group->x = g->x;
    e->group->y = g->y + g->height + g->marginTop + g->marginBottom + 2.0f;
}

// ---- Showing values --------------------------------------------------------------------------

void ShowText(gElement* w, const char* text) {
    if (w == nullptr) return;
    SetWidgetText(w, text);
    RedrawWidget(w);
}

void ShowDouble(gElement* w, int significant, int decimals, double value) {
    char text[64];
    if (FormatDouble(significant, decimals, value, text) <= 0) std::snprintf(text, sizeof text, "%g", value);
    ShowText(w, text);
}

void ShowToggle(gElement* w, bool on) {
    if (w == nullptr || (w->value != 0) == on) return;
    w->value = on ? 1u : 0u;
    RedrawWidget(w);
}

void ShowMark(gElement* w, bool on) {
    if (w == nullptr || (w->enabled != 0) == on) return;
    if (on) {
        gWgtMark(w);
    } else {
        gWgtUnmark(w);
    }
    RedrawWidget(w);
}

void ShowColours(gElement* w, uint32_t colour1, uint32_t colour2) {
    if (w == nullptr || (w->color1 == colour1 && w->color2 == colour2)) return;
    w->color1 = w->color1Saved = colour1;
    w->color2 = w->color2Saved = colour2;
    RedrawWidget(w);
}

// ---- Step buttons ------------------------------------------------------------------------------

namespace {

bool Repeating(const gElement* button) { return button != nullptr && gRepeatWidget == button && gRepeatStep > 0; }

// The press hook of a repeating button: the toolkit asks it at the press (the click
// follows) and on every repeating tick, which steps again.
bool RepeatStep(gElement* button, uintptr_t data) {
    if (Repeating(button) && button->onClick != nullptr) button->onClick(button, data);
    return true;
}

}  // namespace

bool FirstStepOfPress(const gElement* button) { return !Repeating(button); }

gElement* StepButton(PageRows& rows, uint8_t glyph, float width, void (*press)(gElement*, uintptr_t)) {
    const bool arrow = glyph != kStepReset;
    const char text[2] = {static_cast<char>(arrow ? glyph : kGlyphReset), '\0'};
    gElement* e = rows.Button(arrow ? 40 : 37, width, text, press);
    if (e == nullptr) return nullptr;
    if (gFont* symbols = gSymbolFont(rows.Window())) {
        gWgtSetFont(e, symbols);
        gWgtSetText(e, text);
    }
    if (arrow) e->onPress = &RepeatStep;
    return e;
}

bool CtrlHeld() { return (gKeyModifiersNow() & kKeyCtrl) != 0; }
bool CtrlShiftHeld() { return CtrlHeld() && (gKeyModifiersNow() & kKeyShift) != 0; }

// ---- Shared menus --------------------------------------------------------------------------------

void HoldMenuButton(SharedMenu& m, gElement* button, void (*gone)(gElement*)) {
    if (button == nullptr) return;
    ++m.buttons;
    button->onDestroy = gone;
    button->destroyArmed = 1;
}

void ReleaseMenuButton(SharedMenu& m, gElement* button) {
    if (m.buttons > 0) --m.buttons;
    const bool live = m.menu != nullptr && gMenuIsMenu(m.menu);
    if (live && m.menu->ownerWidget == button) m.menu->ownerWidget = nullptr;
    if (m.buttons > 0) return;
    if (live) gMenuDelete(m.menu);
    m.menu = nullptr;
    m.element = nullptr;
}

gMenu* MakeSharedMenu(SharedMenu& m, gElement* owner, void (*callback)(gMenu*, const int32_t*, uint32_t),
                      const char* const* labels, int32_t count) {
    if (m.menu != nullptr && gMenuIsMenu(m.menu)) return m.menu;
    m.menu = gMenuCreate(owner, callback, kMenuDefaultColour, 0, nullptr);
    if (m.menu == nullptr) return nullptr;
    uint32_t number = 0;
    for (int32_t i = 0; i < count; ++i) {
        const bool separator = labels[i] == nullptr;
        gMenuRow row{labels[i], 0, nullptr, 0, nullptr};
        if (!gMenuAddItems(m.menu, &row, 1, false, separator ? 0 : ++number, nullptr)) {
            gMenuDelete(m.menu);
            m.menu = nullptr;
            return nullptr;
        }
    }
    return m.menu;
}

gMenuItem* SharedMenuItem(SharedMenu& m, int32_t number) {
    if (m.menu == nullptr || !gMenuIsMenu(m.menu) || number < 1) return nullptr;
    int32_t n = 0;
    for (gMenuItem* i = m.menu->first; i != nullptr; i = i->next) {
        if (i->state == 2) continue;
        if (++n == number) return gMenuIsItem(i) ? i : nullptr;
        if (i == m.menu->cursor) break;
    }
    return nullptr;
}

void SetMenuEntry(SharedMenu& m, int32_t number, bool greyed, bool checked) {
    gMenuItem* item = SharedMenuItem(m, number);
    if (item == nullptr) return;
    gMenuEnableItem(item, greyed);
    gMenuCheckItem(item, checked);
}

UIElement* SharedMenuElement(SharedMenu& m, uint32_t slots) {
    return ViewElement(reinterpret_cast<uintptr_t>(m.element), slots);
}

// ---- Installation -----------------------------------------------------------------------------------

void InstallViewPagePanels(TransformationUiServices* services) {
    if (services == nullptr) return;
    services->rangePanel = &ScaleRangePanelBuild;
    services->colourPanel = &ColorPanelBuild;
    services->classPanel = &ScaleClassPanelBuild;
    services->showRange = &ValueScalerShowRange;
}

}  // namespace orva
