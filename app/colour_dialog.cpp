#include "app/colour_dialog.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/cui.h"
#include "app/dialog_look.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "common/system.h"
#include "platform/window_api.h"
#include "platform/window_icons.h"
#include "toolkit/edit_field.h"
#include "toolkit/layout.h"
#include "toolkit/number_field.h"
#include "toolkit/painters.h"
#include "toolkit/shortcuts.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

namespace pf = platform;

namespace {

constexpr float kLabelWidth = 44.0f;
constexpr float kFieldWidth = 40.0f;
constexpr float kSwatchSide = 17.0f;
constexpr float kButtonWidth = 70.0f;

struct ColourRun {
    gWindow* window = nullptr;
    gElement* shown = nullptr;      // the swatch of the colour as it stands
    gElement* levels[3] = {};       // red, green, blue
    uint32_t colour = 0;
    bool accepted = false;
};

ColourRun* RunOf(const gElement* e) {
    if (e == nullptr || gWinValidate(e->window) == nullptr) return nullptr;
    return static_cast<ColourRun*>(e->window->userData);
}

void Repaint(gWindow* w) {
    if (w != nullptr && gWinValidate(w) != nullptr) w->dirty = 7;
}

// A level as typed: a whole number from 0 to 255, else -1.
int LevelOf(gElement* field) {
    char text[16] = {};
    if (field == nullptr || gWgtGetText(field, text, sizeof text, true) <= 0) return -1;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 255) return -1;
    return static_cast<int>(v);
}

void ShowLevels(ColourRun* run) {
    int rgb[3];
    ColourLevelsOfWord(run->colour, &rgb[0], &rgb[1], &rgb[2]);
    for (int i = 0; i < 3; ++i) gWgtSetText(run->levels[i], std::to_string(rgb[i]).c_str());
}

void ShowSwatch(ColourRun* run) {
    if (run->shown != nullptr) run->shown->color1 = run->colour;
    Repaint(run->window);
}

// A level ended with Enter or Tab shows in the swatch; a text that is no level leaves it.
void LevelChanged(gElement* e, uintptr_t) {
    ColourRun* run = RunOf(e);
    if (run == nullptr) return;
    int rgb[3];
    for (int i = 0; i < 3; ++i)
        if ((rgb[i] = LevelOf(run->levels[i])) < 0) return;
    run->colour = ColourWordFromLevels(rgb[0], rgb[1], rgb[2]);
    ShowSwatch(run);
}

void SwatchClick(gElement* e, uintptr_t word) {
    ColourRun* run = RunOf(e);
    if (run == nullptr) return;
    run->colour = static_cast<uint32_t>(word);
    ShowLevels(run);
    ShowSwatch(run);
}

void OkClick(gElement* e, uintptr_t) {
    ColourRun* run = RunOf(e);
    if (run == nullptr) return;
    int rgb[3];
    for (int i = 0; i < 3; ++i)
        if ((rgb[i] = LevelOf(run->levels[i])) < 0) {
            // A level that is not one stays for the user to mend; the dialog stays.
            MarkFieldColor(run->levels[i], true);
            return;
        }
    run->colour = ColourWordFromLevels(rgb[0], rgb[1], rgb[2]);
    run->accepted = true;
    gUiCloseQuiet(run->window);
}

void CancelClick(gElement* e, uintptr_t) {
    if (ColourRun* run = RunOf(e)) gUiCloseQuiet(run->window);
}

gGroup* NewRows(gWindow* w) {
    gWgtSelectWindow(w);
    gGroup* g = gGrpFind(w, kTopLeft, false);
    if (g == nullptr) return nullptr;
    gGrpSetActive(g);
    g->align = 17;
    g->marginLeft = g->marginRight = kDialogMargin;
    g->marginTop = g->marginBottom = kDialogMargin;
    g->gapX = 4.0f;
    g->gapY = 6.0f;
    g->rowAlign = 0;
    return g;
}

gElement* Add(gWindow* w, int32_t kind, float width, const char* text, bool newRow, uint32_t colour,
              void (*onClick)(gElement*, uintptr_t) = nullptr, uintptr_t data = 0) {
    gWgtTemplate t{.desc = {.kind = kind, .style = kTopLeft | (newRow ? kWsNewRow : 0u), .width = width,
                            .height = kDialogRowHeight, .color1 = colour, .text = text, .onClick = onClick}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    e->handlerData = data;
    if (kind == 37 && text != nullptr && *text != '\0') {
        e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    }
    return e;
}

// A caption of a fixed width that draws its text alone.
void AddCaption(gWindow* w, const char* text, bool newRow) {
    gWgtTemplate t{.desc = {.kind = 37, .style = kTopLeft | (newRow ? kWsNewRow : 0u), .width = kLabelWidth,
                            .height = kDialogRowHeight, .text = text, .paint = &gPaintTextOnly}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return;
    e->textColor = e->textColor2 = kDialogTextColour;
    e->active = 0;
}

bool Build(ColourRun* run, const std::vector<uint32_t>& swatches) {
    gWindow* w = run->window;
    gWgtSelect(w, GetUIFont(w));
    if (NewRows(w) == nullptr) return false;
    AddCaption(w, "Color:", false);
    run->shown = Add(w, 37, 3 * (kLabelWidth + kFieldWidth) - kLabelWidth, "", false, run->colour);
    if (run->shown == nullptr) return false;
    run->shown->active = 0;
    static const char* const kCaptions[3] = {"Red:", "Green:", "Blue:"};
    for (int i = 0; i < 3; ++i) {
        AddCaption(w, kCaptions[i], i == 0);
        // A text field as the pages have: what is typed counts once Enter or Tab ends it.
        gElement* f = Add(w, 6, kFieldWidth, "", false, kColourInherit);
        if (f == nullptr) return false;
        f->textLimit = 3;
        f->onChange = &LevelChanged;
        run->levels[i] = f;
    }
    // The list's colours, eight to a row.
    for (size_t i = 0; i < swatches.size(); ++i) {
        gElement* s = Add(w, 37, kSwatchSide, "", i % 8 == 0, swatches[i], &SwatchClick, swatches[i]);
        if (s == nullptr) return false;
    }
    gElement* ok = Add(w, 37, kButtonWidth, "OK", true, kDialogButtonColour, &OkClick);
    gElement* cancel = Add(w, 37, kButtonWidth, "Cancel", false, kDialogButtonColour, &CancelClick);
    if (ok == nullptr || cancel == nullptr) return false;
    ShowLevels(run);
    gWinLayoutGroups(w);
    gGrpArrangeAll(gWinSlotTable(w));
    return true;
}

}  // namespace

uint32_t ColourWordFromLevels(int red, int green, int blue) {
    auto channel = [](int v) { return static_cast<uint32_t>((std::clamp(v, 0, 255) * 127 + 127) / 255); };
    return 0x04000000u | channel(red) | channel(green) << 8 | channel(blue) << 16;
}

void ColourLevelsOfWord(uint32_t word, int* red, int* green, int* blue) {
    auto level = [](uint32_t c) { return static_cast<int>(((c & 0x7Fu) * 255 + 63) / 127); };
    *red = level(word);
    *green = level(word >> 8);
    *blue = level(word >> 16);
}

bool RunColourDialog(gWindow* owner, uint32_t* colour, const std::vector<uint32_t>& swatches) {
    if (colour == nullptr || ModalOpen()) return false;
    ModalOpenScope modal;
    ColourRun run;
    run.colour = 0x04000000u | (*colour & 0x7F7F7Fu);
    if (owner == nullptr || gWinValidate(owner) == nullptr) owner = gWinValidate(TheCUI().mainWindow);
    gWindow* w = gWinCreateRec(0, 0, 300, 150, owner, &run, kDialogStyle);
    if (w == nullptr) return false;
    run.window = w;
    gWinSetBackdrop(w, nullptr, kDialogBackdropColour);
    gWinSetAfterPaint(w, &PaintWindowEdge, nullptr);
    SetWindowIcon(w, pf::kProgramIcon);
    auto dismiss = [&] {
        if (gWinValidate(w) != nullptr) {
            w->userData = nullptr;
            gUiCloseQuiet(w);
        }
    };
    if (!Build(&run, swatches)) {
        dismiss();
        return false;
    }
    int32_t width = 0, height = 0;
    gSlotTableExtent(gWinSlotTable(w), &width, &height);
    PlaceDialog(w, owner, width, height);
    if (!gWinOpen(w, "Select Color", kStyleShown)) {
        dismiss();
        return false;
    }
    RunModalLoop(w);
    dismiss();
    if (!run.accepted) return false;
    *colour = run.colour;
    return true;
}

}  // namespace orva
