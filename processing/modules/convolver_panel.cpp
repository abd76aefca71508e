// The convolution filter's settings page: a frame holding the method name, the
// preset name with the previous and next arrows, and the nine coefficients, three
// to a row. The page keeps no copy of the settings: every change goes to the
// instance's state and the widgets are then filled from it again.
#include <cmath>
#include <cstdio>
#include <mutex>
#include <new>

#include "common/number_text.h"
#include "framework/display_lock.h"
#include "processing/modules/convolver_module.h"
#include "processing/modules/filter_page.h"
#include "processing/processing_component.h"
#include "toolkit/number_field.h"
#include "toolkit/painters.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

struct ConvolverPanel {
    FilterInstance* instance = nullptr;  // null once the instance has gone
    ConvolverState* state = nullptr;
    gElement* root = nullptr;
    gElement* method = nullptr;
    gElement* name = nullptr;
    gElement* previous = nullptr;
    gElement* next = nullptr;
    gElement* fields[9] = {};
};

namespace {

constexpr float kRowHeight = 15.0f;
constexpr float kRowStep = 19.0f;
constexpr float kArrowWidth = 10.0f;
constexpr float kFieldWidth = 38.0f;
constexpr float kInset = 8.0f;  // of the widgets in the frame

void OnPrevious(gElement*, uintptr_t data) { ConvolverPanelStep(reinterpret_cast<ConvolverPanel*>(data), false); }
void OnNext(gElement*, uintptr_t data) { ConvolverPanelStep(reinterpret_cast<ConvolverPanel*>(data), true); }

// The root goes (with its children): the page record goes with it.
void PanelGone(gElement* root) {
    auto* panel = reinterpret_cast<ConvolverPanel*>(root->handlerData);
    root->handlerData = 0;
    if (panel == nullptr) return;
    if (panel->state != nullptr && panel->state->panel == panel) panel->state->panel = nullptr;
    delete panel;
}

gElement* Add(gWindow* window, gElement* root, int32_t kind, float x, float y, float width, float height,
              void (*paint)(gElement*) = nullptr, void (*onClick)(gElement*, uintptr_t) = nullptr) {
    return FilterPageAdd(window, root, kind, x, y, width, height, paint, onClick, &PanelGone);
}

void Repaint(const ConvolverPanel* panel) {
    if (panel->root != nullptr && panel->root->window != nullptr) panel->root->window->dirty = 7;
}

}  // namespace

ConvolverPanel* ConvolverPanelOf(void* page) {
    auto* root = static_cast<gElement*>(page);
    if (root == nullptr || !gWgtIsLive(root) || root->onDestroy != PanelGone) return nullptr;
    return reinterpret_cast<ConvolverPanel*>(root->handlerData);
}

void ConvolverPanelDetach(ConvolverPanel* panel) {
    if (panel == nullptr) return;
    panel->instance = nullptr;
    panel->state = nullptr;
}

void* ConvolverBuildPanel(FilterInstance* instance, void* area) {
    auto* window = static_cast<gWindow*>(area);
    ConvolverState* state = ConvolverStateOf(instance);
    if (window == nullptr || gWinValidate(window) == nullptr || state == nullptr) return nullptr;
    auto* panel = new (std::nothrow) ConvolverPanel;
    if (panel == nullptr) return nullptr;
    panel->instance = instance;
    panel->state = state;

    const float width = FilterPageWidth(window);
    const float wide = width - 24.0f;
    const float fieldsTop = kInset + 2 * kRowStep;
    gElement* root = Add(window, nullptr, 14, 4.0f, 4.0f, width - 8.0f, fieldsTop + 3 * kRowStep + 4.0f, FilterPagePaintFrame);
    if (root == nullptr) {
        delete panel;
        return nullptr;
    }
    root->handlerData = reinterpret_cast<uintptr_t>(panel);
    panel->root = root;
    if (state->panel != nullptr) ConvolverPanelDetach(state->panel);  // one page shows an instance
    state->panel = panel;

    panel->method = Add(window, root, 6, kInset, kInset, wide, kRowHeight);
    const float nameWidth = wide - 2 * (kArrowWidth + 2.0f);
    panel->name = Add(window, root, 6, kInset, kInset + kRowStep, nameWidth, kRowHeight);
    panel->previous = Add(window, root, 37, kInset + nameWidth + 2.0f, kInset + kRowStep, kArrowWidth, kRowHeight,
                          FilterPagePaintPrevious, OnPrevious);
    panel->next = Add(window, root, 37, kInset + nameWidth + 4.0f + kArrowWidth, kInset + kRowStep, kArrowWidth,
                      kRowHeight, FilterPagePaintNext, OnNext);
    for (int i = 0; i < 9; ++i) {
        panel->fields[i] = Add(window, root, 6, kInset + static_cast<float>(i % 3) * (kFieldWidth + 4.0f),
                               fieldsTop + static_cast<float>(i / 3) * kRowStep, kFieldWidth, kRowHeight);
        gWgtSetText(panel->fields[i], "0");
    }
    for (gElement* arrow : {panel->previous, panel->next})
        if (arrow != nullptr) arrow->handlerData = reinterpret_cast<uintptr_t>(panel);
    gWgtSetText(panel->name, "[noname]");
    ConvolverRefreshPanel(root);
    return root;
}

void ConvolverRefreshPanel(void* page) {
    ConvolverPanel* panel = ConvolverPanelOf(page);
    if (panel == nullptr) return;
    const char* method = panel->instance != nullptr ? ConvolverMethodName(panel->instance) : nullptr;
    gWgtSetText(panel->method, method != nullptr ? method : panel->instance != nullptr ? panel->instance->Title() : "");
    if (panel->state != nullptr && panel->state->preset != nullptr) ConvolverShowPreset(panel);
    Repaint(panel);
}

void ConvolverShowPreset(ConvolverPanel* panel) {
    if (panel == nullptr || panel->state == nullptr) return;
    const ConvolverPreset* preset = ConvolverCurrentPreset(panel->state);
    gWgtSetText(panel->name, preset != nullptr && preset->name != nullptr ? preset->name : "[noname]");
    const ConvolverPresetSet* set = panel->state->presetSet;
    const int32_t n = set != nullptr ? set->size : 3;
    char text[64];
    for (int i = 0; i < 9; ++i) {
        if (preset == nullptr) break;
        if (i >= n * n) break;
        if (preset->integers != nullptr) {
            std::snprintf(text, sizeof text, "%d", preset->integers[i]);
        } else if (preset->reals != nullptr) {
            FormatDouble(7, 3, preset->reals[i], text);
        } else {
            text[0] = '1';
            text[1] = '\0';
        }
        gWgtSetText(panel->fields[i], text);
    }
    Repaint(panel);
}

bool ConvolverPanelStep(ConvolverPanel* panel, bool next) {
    if (panel == nullptr || panel->instance == nullptr || panel->state == nullptr) return false;
    FilterInstance* instance = panel->instance;
    ProcessingComponent* host = instance->host;
    if (host == nullptr || host->owner == nullptr) return false;
    if (next && (instance->bypass != 0 || instance->error != 0)) return false;
    bool changed;
    {
        // A pull may be running the kernel with the matrix this changes.
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        changed = next ? ConvolverNextPreset(panel->state) : ConvolverPrevPreset(panel->state);
    }
    // The cursor may have moved without a new kernel (a layout without kernels): the
    // page shows where it stands either way.
    ConvolverShowPreset(panel);
    if (changed && instance->skip == 0 && instance->chain != nullptr) {
        ChainNotifyHost(instance->chain, instance, true);
    } else {
        RefreshAllWindowsWhenUp();
    }
    return changed;
}

}  // namespace orva
