// The colour block of the "View" page: the colour class, the quantisation, the channel
// mask, inversion, brightening and the halved gamma table, the three level rows
// (amplification, black level, gamma) with their links, and the palette menu.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>

#include "app/field_readers.h"
#include "app/file_dialog.h"
#include "app/property_pages.h"
#include "framework/display_lock.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "transform/color_converter.h"
#include "transform/transformation.h"
#include "views/view_page.h"
#include "views/view_page_parts.h"

namespace orva {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr uint32_t kLevelField[3] = {kColAmplification, kColBlackLevel, kColGamma};
constexpr uint32_t kLevelLink[3] = {kColAmplificationLink, kColBlackLevelLink, kColGammaLink};
constexpr uint32_t kLevelReset[3] = {kColAmplificationReset, kColBlackLevelReset, kColGammaReset};
constexpr uint32_t kLevelEach[3] = {kColourAmplifyEach, kColourBlackLevelEach, kColourGammaEach};
constexpr const char* kLevelLabels[3] = {"Amplification:", "Black Level:", "Gamma:"};
constexpr const char* kLevelStart[3] = {"1", "0", "1"};
constexpr float kLevelFieldWidth = 50.0f;
// Between a level row's label and its first field.
constexpr float kLevelLabelGap = 4.0f;
constexpr uint32_t kHeadColours[3] = {0x400007Fu, 0x4007F00u, 0x47F0000u};
constexpr uint32_t kFlagOfToggle[3] = {kColourHalfGamma, kColourInvert, kColourBrighten};  // slots 12, 13, 14
constexpr const char* kPaletteLabels[5] = {"Load Palette", "Save Palette", "Clear Palette", nullptr,
                                           "Common Properties"};

SharedMenu& ThePaletteMenu() {
    static SharedMenu menu;
    return menu;
}


float* LevelValues(ColourCorrection& k, int row) {
    return row == 0 ? k.amplification : (row == 1 ? k.blackLevel : k.gamma);
}

// ---- Showing ---------------------------------------------------------------------------------

void ShowTitle(UIElement* e, const ColorSettings& s) {
    if (s.classRow != nullptr) ShowText(PageSlot(e, kColTitle), s.classRow->title);
}

void ShowQuantize(UIElement* e, const ColorSettings& s) {
    char text[16] = "[none]";
    if (s.qbits < 8) std::snprintf(text, sizeof text, "%d", (1 << s.qbits) + 1);
    ShowText(PageSlot(e, kColQuantize), text);
}

void ShowChannelColours(UIElement* e, bool inverted) {
    for (int i = 0; i < 3; ++i) {
        const uint32_t* pair = inverted ? kChannelColoursInverted[i] : kChannelColours[i];
        ShowColours(PageSlot(e, kColMaskR + static_cast<uint32_t>(i)), pair[0], pair[1]);
    }
}

void ShowMaskAndFlags(UIElement* e, const ColorSettings& s) {
    const ColourCorrection& k = s.correction;
    for (uint32_t i = 0; i < 3; ++i) ShowToggle(PageSlot(e, kColMaskR + i), ((k.colorMask >> (8 * i)) & 0xFF) != 0);
    for (uint32_t i = 0; i < 3; ++i) ShowToggle(PageSlot(e, kColHalfGamma + i), (k.colorFlags & kFlagOfToggle[i]) != 0);
    ShowChannelColours(e, (k.colorFlags & kColourInvert) != 0);
}

void ShowLevelRow(UIElement* e, ColorSettings& s, int row) {
    ColourCorrection& k = s.correction;
    const float* values = LevelValues(k, row);
    for (uint32_t ch = 0; ch < 3; ++ch) ShowDouble(PageSlot(e, kLevelField[row] + ch), 6, 6, values[ch]);
    const bool each = (k.colorFlags & kLevelEach[row]) != 0;
    ShowToggle(PageSlot(e, kLevelLink[row]), !each);
    ShowMark(PageSlot(e, kLevelField[row] + 1), each);
    ShowMark(PageSlot(e, kLevelField[row] + 2), each);
}

void ShowAll(UIElement* e, ColorConverter* c) {
    ColorSettings& s = c->Current();
    ShowTitle(e, s);
    ShowQuantize(e, s);
    ShowMaskAndFlags(e, s);
    for (int row = 0; row < 3; ++row) ShowLevelRow(e, s, row);
}

// Changes the settings in use under the display lock with the correction's derived
// values recomputed; the palette is rebuilt and, when that works, the pipeline told.
void Edit(ColorConverter* c, const std::function<void(ColorSettings&)>& edit) {
    {
        Guard lock(DisplayLock());
        edit(c->Current());
        RecomputeColourCorrection(&c->Current().correction);
    }
    if (ColorConverterSelectRow(c, c->Current().classIndex)) ColorConverterNotifyUsers(c);
}

struct ColourContext {
    UIElement* e = nullptr;
    ColorConverter* c = nullptr;
};

ColourContext ColourContextOf(uintptr_t data) {
    ColourContext x;
    x.e = ViewElement(data, kColourSlotCount);
    x.c = x.e != nullptr ? ViewConverter(x.e) : nullptr;
    return x;
}

// ---- Handlers ------------------------------------------------------------------------------------

void ColourClassStep(gElement* button, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr) return;
    const int before = x.c->Current().classIndex;
    int target;
    if (button == PageSlot(x.e, kColClassNext)) {
        target = before + 1;
    } else if (button == PageSlot(x.e, kColClassPrevious)) {
        if (before <= 0) return;
        target = before - 1;
    } else {
        if (before == 1) return;
        target = 1;
    }
    ColorConverterSetClass(x.c, target);
    if (x.c->Current().classIndex == before) return;
    ShowTitle(x.e, x.c->Current());
    ColorConverterNotifyUsers(x.c);
}

void QuantizeStep(gElement* button, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr) return;
    const int q = static_cast<int>(x.c->Current().qbits);
    int target;
    if (button == PageSlot(x.e, kColQuantizeDown)) {
        if (q <= 0) return;
        target = q - 1;
    } else if (button == PageSlot(x.e, kColQuantizeUp)) {
        if (q >= 8) return;
        target = q + 1;
    } else {
        if (q == 8) return;
        target = 8;
    }
    if (ColorConverterSetQbits(x.c, target)) ShowQuantize(x.e, x.c->Current());
}

void ChannelToggled(gElement* toggle, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr || toggle == nullptr) return;
    for (uint32_t i = 0; i < 3; ++i) {
        if (toggle != PageSlot(x.e, kColMaskR + i)) continue;
        const uint32_t byte = toggle->value != 0 ? 0xFFu : 0u;
        Edit(x.c, [&](ColorSettings& s) {
            s.correction.colorMask = (s.correction.colorMask & ~(0xFFu << (8 * i))) | (byte << (8 * i));
        });
        return;
    }
}

void FlagToggled(gElement* toggle, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr || toggle == nullptr) return;
    for (uint32_t i = 0; i < 3; ++i) {
        if (toggle != PageSlot(x.e, kColHalfGamma + i)) continue;
        const uint32_t flag = kFlagOfToggle[i];
        const bool on = toggle->value != 0;
        Edit(x.c, [&](ColorSettings& s) {
            s.correction.colorFlags = on ? (s.correction.colorFlags | flag) : (s.correction.colorFlags & ~flag);
        });
        if (flag == kColourInvert) ShowChannelColours(x.e, on);
        return;
    }
}

void ColourReset(gElement*, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr) return;
    const ColourCorrection& k = x.c->Current().correction;
    bool channelOff = false;
    for (uint32_t i = 0; i < 3; ++i) channelOff = channelOff || ((k.colorMask >> (8 * i)) & 0xFF) == 0;
    if (!channelOff && k.colorFlags == 0) return;
    for (uint32_t i = 0; i < 3; ++i) ShowToggle(PageSlot(x.e, kColHalfGamma + i), false);
    ShowChannelColours(x.e, false);
    Edit(x.c, [](ColorSettings& s) {
        s.correction.colorFlags = 0;
        ResetColourCorrection(&s.correction);
    });
    for (uint32_t i = 0; i < 3; ++i) ShowToggle(PageSlot(x.e, kColMaskR + i), true);
}

// The level row of a widget at `offset` within the rows' slots (fields 0..2, link 3, reset 4).
int LevelRowOf(UIElement* e, const gElement* w, uint32_t* channel) {
    for (int row = 0; row < 3; ++row) {
        for (uint32_t i = 0; i < 5; ++i) {
            if (PageSlot(e, kLevelField[row] + i) != w) continue;
            if (channel != nullptr) *channel = i;
            return row;
        }
    }
    return -1;
}

void LevelChanged(gElement* field, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr) return;
    uint32_t ch = 0;
    const int row = LevelRowOf(x.e, field, &ch);
    if (row < 0 || ch > 2) return;
    float v = 0.0f;
    if (ReadFieldFloat(field, &v, true)) {
        if (row < 2) {
            v = v < -100.0f ? -100.0f : (v > 100.0f ? 100.0f : v);
        } else {
            v = v <= 0.0f ? 0.001f : (v > 10.0f ? 10.0f : v);
        }
        if (v != LevelValues(x.c->Current().correction, row)[ch])
            Edit(x.c, [&](ColorSettings& s) { LevelValues(s.correction, row)[ch] = v; });
    }
    ShowLevelRow(x.e, x.c->Current(), row);
}

void LinkToggled(gElement* toggle, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr || toggle == nullptr) return;
    const int row = LevelRowOf(x.e, toggle, nullptr);
    if (row < 0) return;
    const bool each = toggle->value == 0;
    Edit(x.c, [&](ColorSettings& s) {
        uint32_t& flags = s.correction.colorFlags;
        flags = each ? (flags | kLevelEach[row]) : (flags & ~kLevelEach[row]);
    });
    ShowMark(PageSlot(x.e, kLevelField[row] + 1), each);
    ShowMark(PageSlot(x.e, kLevelField[row] + 2), each);
}

void LevelReset(gElement* button, uintptr_t data) {
    ColourContext x = ColourContextOf(data);
    if (x.c == nullptr) return;
    const int row = LevelRowOf(x.e, button, nullptr);
    if (row < 0) return;
    {
        Guard lock(DisplayLock());
        ColourCorrection& k = x.c->Current().correction;
        if (row == 0) {
            ResetAmplification(&k);
        } else if (row == 1) {
            ResetBlackLevel(&k);
        } else {
            ResetGamma(&k);
        }
    }
    ShowLevelRow(x.e, x.c->Current(), row);
    if (ColorConverterSelectRow(x.c, x.c->Current().classIndex)) ColorConverterNotifyUsers(x.c);
}

void PaletteButtonGone(gElement* button) { ReleaseMenuButton(ThePaletteMenu(), button); }

void ColourNotify(UIElement* e, intptr_t) { ColorPanelRefresh(e); }

// ---- Building ------------------------------------------------------------------------------------

void BuildColour(UIElement* e, gElement** s) {
    StackBelowBlock(e, kViewRangeIndex);
    PageRows r(e);
    r.Label("Palette:");
    s[kColTitle] = r.Field(131.0f, "[none]", nullptr);
    s[kColClassPrevious] = StepButton(r, kStepBack, 10.0f, &ColourClassStep);
    s[kColClassNext] = StepButton(r, kStepForward, 10.0f, &ColourClassStep);
    s[kColClassDefault] = StepButton(r, kStepReset, 13.0f, &ColourClassStep);
    s[kColMenu] = r.Button(38, 13.0f, "", &PaletteMenuOpen);
    HoldMenuButton(ThePaletteMenu(), s[kColMenu], &PaletteButtonGone);

    r.NewRow();
    r.Label("Quantize:");
    s[kColQuantize] = r.Field(46.0f, "1024", nullptr);
    s[kColQuantizeDown] = StepButton(r, kStepBack, 10.0f, &QuantizeStep);
    s[kColQuantizeUp] = StepButton(r, kStepForward, 10.0f, &QuantizeStep);
    s[kColQuantizeNone] = StepButton(r, kStepReset, 13.0f, &QuantizeStep);
    for (uint32_t i = 0; i < 3; ++i) {
        s[kColMaskR + i] = r.Button(47, 14.0f, "", &ChannelToggled, kChannelColours[i][0], kChannelColours[i][1]);
        if (s[kColMaskR + i] != nullptr) s[kColMaskR + i]->value = 1;
    }
    s[kColInvert] = r.Button(47, 14.0f, "I", &FlagToggled, PageRows::kButtonColour, kToggleColour2);
    s[kColHalfGamma] = r.Button(47, 14.0f, "G", &FlagToggled, PageRows::kButtonColour, kToggleColour2);
    s[kColBrighten] = r.Button(47, 14.0f, "B", &FlagToggled, PageRows::kButtonColour, kToggleColour2);
    s[kColReset] = StepButton(r, kStepReset, 13.0f, &ColourReset);

    const float groupWidth = e->group != nullptr ? e->group->width : 0.0f;
    r.Separator(groupWidth > 110.0f ? groupWidth - 4.0f : 268.0f);
    // The level rows' labels take one width, so that their fields stand in three columns,
    // each under its head.
    float labelWidth = 0.0f;
    for (const char* label : kLevelLabels) labelWidth = std::max(labelWidth, r.LabelWidth(label));
    labelWidth += kLevelLabelGap;
    r.NewRow();
    r.FixedLabel(labelWidth, " ");
    const char* heads[3] = {"R", "G", "B"};
    for (int i = 0; i < 3; ++i)
        r.FixedLabel(kLevelFieldWidth, heads[i], true, kHeadColours[i], PageRows::kLabelColour2);
    for (int row = 0; row < 3; ++row) {
        r.NewRow();
        r.FixedLabel(labelWidth, kLevelLabels[row]);
        for (uint32_t ch = 0; ch < 3; ++ch) {
            gElement* f = r.Field(kLevelFieldWidth, kLevelStart[row], &LevelChanged);
            if (f != nullptr) f->textLimit = 18;
            s[kLevelField[row] + ch] = f;
        }
        s[kLevelLink[row]] = r.Button(47, 13.0f, "L", &LinkToggled, PageRows::kButtonColour, kToggleColour2);
        s[kLevelReset[row]] = StepButton(r, kStepReset, 13.0f, &LevelReset);
    }
    e->notify = &ColourNotify;
}

void RefreshColour(UIPage*, UIElement* e, int32_t) { ColorPanelRefresh(e); }

}  // namespace

int32_t ColorPanelBuild(PageWindow* pw, void* window, int32_t pageId) {
    return ShowViewBlock(pw, window, pageId, &ColorPanelBuild, kColourSlotCount, kViewColourIndex, &BuildColour, &RefreshColour) ? 2 : 0;
}

void ColorPanelRefresh(UIElement* e) {
    if (ViewElement(reinterpret_cast<uintptr_t>(e), kColourSlotCount) == nullptr) return;
    if (ColorConverter* c = ViewConverter(e)) ShowAll(e, c);
}

// ---- The palette menu -----------------------------------------------------------------------------

gMenu* PaletteMenu() {
    SharedMenu& m = ThePaletteMenu();
    return m.menu != nullptr && gMenuIsMenu(m.menu) ? m.menu : nullptr;
}

int32_t PaletteMenuButtons() { return ThePaletteMenu().buttons; }

void PaletteMenuOpen(gElement* button, uintptr_t data) {
    UIElement* e = ViewElement(data, kColourSlotCount);
    if (e == nullptr || button == nullptr || ViewConverter(e) == nullptr) return;
    SharedMenu& m = ThePaletteMenu();
    if (PaletteMenu() != nullptr && gMenuIsOpen(m.menu)) return;
    gMenu* menu = MakeSharedMenu(m, button, &PaletteMenuCallback, kPaletteLabels, 5);
    if (menu == nullptr) return;
    menu->ownerWidget = button;
    m.element = e;
    gMenuPopupAt(menu, button, 0);
}

void PaletteMenuPrepare(UIElement* e) {
    ColorConverter* c = ViewConverter(e);
    if (c != nullptr) SetMenuEntry(ThePaletteMenu(), 4, false, c->UsesDefaults());
}

void PaletteMenuCallback(gMenu*, const int32_t* rows, uint32_t) {
    UIElement* e = SharedMenuElement(ThePaletteMenu(), kColourSlotCount);
    if (e == nullptr) return;
    if (rows == nullptr) {
        PaletteMenuPrepare(e);
    } else if (rows[0] >= 1 && rows[0] <= 4) {
        PaletteMenuCommand(e, rows[0] - 1);
    }
}

void PaletteMenuCommand(UIElement* e, int32_t command) {
    ColorConverter* c = ViewConverter(e);
    if (c == nullptr) return;
    static int32_t openFilter = 1, saveFilter = 1;
    char name[260] = "";
    switch (command) {
        case 0: {
            if (RunFileDialog(e->window, nullptr, name, sizeof name, nullptr, "Open Palette file", 0x1C05, nullptr,
                              "pal", kFileDialogPalette, &openFilter, kFileDialogOpen) == 0)
                return;
            bool loaded;
            {
                Guard lock(DisplayLock());
                loaded = c->Current().LoadUserPalette(name);
            }
            if (!loaded) return;
            ColorConverterSelectRow(c, 0);
            ShowTitle(e, c->Current());
            ColorConverterNotifyUsers(c);
            return;
        }
        case 1:
            if (RunFileDialog(e->window, nullptr, name, sizeof name, nullptr, "Save Palette file", 0xC02, nullptr,
                              "pal", kFileDialogPalette, &saveFilter, kFileDialogSave) != 0)
                ColorConverterWritePalette(c, name);
            return;
        case 2:
            if (!ColorConverterDropUserPalette(c)) return;
            ShowTitle(e, c->Current());
            ColorConverterNotifyUsers(c);
            return;
        case 3: {
            bool changed = false;
            if (c->UsesDefaults()) {
                changed = ColorConverterSetCurrentSettings(c, nullptr);
            } else if (ColorDefaults* shared = AcquireColorDefaults(false)) {
                changed = ColorConverterSetCurrentSettings(c, shared);
                shared->Release();
            }
            if (changed) ShowAll(e, c);
            return;
        }
        default:
            return;
    }
}

}  // namespace orva
