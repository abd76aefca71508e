// The Reduction's "SLICE / STATISTIC" page: its rows, the handlers of its controls, the
// refresh with the enabled states, and its popup menus.
#include "views/slice_page.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "app/field_readers.h"
#include "app/file_dialog.h"
#include "app/page_rows.h"
#include "app/property_pages.h"
#include "app/status_line.h"
#include "common/number_text.h"
#include "framework/display_lock.h"
#include "platform/clock.h"
#include "reduction/reduction_component.h"
#include "reduction/slice_smooth.h"
#include "reduction/statistic_tables.h"
#include "shapes/node_shape_action.h"
#include "shapes/shape.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/view_page_parts.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

// The controls a change re-runs for: the slice controls run a slice item, the
// statistic controls a statistic or search-area item, the channel controls any item.
enum class Serves { kSlice, kStatistic, kAny };

constexpr const char* kMethodNames[3] = {"Simple [summing]", "Weighted", "Optimal"};
constexpr const char* kSmoothingNames[3] = {"Sliding mean or median", "Sliding mean", "Sliding median"};
constexpr const char* kFilterNames[6] = {"[None - nearest neighbor]", "Lineal... [triangle]", "Bell", "Bicubic",
                                         "B-spline", "Hermite"};
constexpr const char* kRuleLabels[10] = {"Sterdzhes: N < 100",
                                         "3 + 7 * lg(N): N<100",
                                         "4 * pow(0.75 * (N-1)^2, 1/5), N > 200",
                                         "Sqrt(N)",
                                         "5 * lg(N)",
                                         "4 * lg(N)",
                                         nullptr,
                                         "Antikurtosis",
                                         "Kurtosis",
                                         "Parzen & Rosenblatt (by RMS)"};
constexpr const char* kMethodLabels[10] = {"Simple [summing]",
                                           "Weighted",
                                           "Optimal",
                                           nullptr,
                                           "Weighing",
                                           "Auto weighing [calc by data noise/errors]",
                                           nullptr,
                                           "Auto cross profile [fitting by data]",
                                           "Remove sky background"};
constexpr int32_t kMethodLabelCount = 9;
constexpr const char* kBoundaryLabels[7] = {"Enable", nullptr, "Copy", "Paste", nullptr, "Current [Min, Max]",
                                            "Nearest Boundary"};
constexpr int32_t kBoundaryEnable = 1, kBoundaryCopy = 2, kBoundaryPaste = 3, kBoundaryCurrent = 4,
                  kBoundaryNearest = 5;
// The preset "Edit" menu: entries of the top level, and of its two submenus.
constexpr int32_t kPresetCreate = 1, kPresetCommon = 2, kPresetCopy = 3, kPresetPaste = 4, kPresetDelete = 5,
                  kPresetFile = 6;
constexpr int32_t kDeleteCurrent = 1, kDeleteKeepCurrent = 2, kDeleteAll = 3;
constexpr uint32_t kPresetListRows = 30;
constexpr size_t kPresetNameShown = 100;
constexpr char kEllipsis = static_cast<char>(0x85);

// The preset file the "File" submenu used last.
std::string& LastPresetFile() {
    static std::string path;
    return path;
}
constexpr char kPresetFileFilter[] = "Settings [*.fs]\0*.fs\0Script [*.scr]\0*.scr\0All\0*.*\0\0";
constexpr int32_t kFileOpen = 1, kFileReplace = 2, kFileSave = 3, kFileSaveAs = 4;

// The boundary clipboard of the program.
struct BoundaryClipboard {
    double low = 0.0, high = 0.0;
};
BoundaryClipboard& TheBoundaryClipboard() {
    static BoundaryClipboard clip;
    return clip;
}

SharedMenu& MenuOf(SliceMenu which) {
    static SharedMenu menus[7];
    return menus[static_cast<int>(which)];
}


UIElement* Element(uintptr_t data) { return ViewElement(data, kSliceSlotCount); }

ReductionComponent* ReductionOf(uintptr_t data) { return SlicePageReduction(Element(data)); }

// ---- Showing --------------------------------------------------------------------------------------

void ShowNumber(gElement* w, int digits, double value) {
    char text[40];
    FormatDoubleFit(digits, text, value, nullptr);
    ShowText(w, text);
}

void ShowUnsigned(gElement* w, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    ShowText(w, text);
}

void ShowEnabled(gElement* w, bool on) {
    if (w == nullptr || (w->enabled != 0) == on) return;
    SetWidgetEnabled(w, on);
    if (w->window != nullptr && gWinValidate(w->window) != nullptr) {
        if ((w->window->state & kNotDrawnMask) != 0)
            w->window->dirty = 7;
        else
            gWgtDrawState(w, 7);
    }
}

void EnableRange(UIElement* e, uint32_t first, uint32_t last, bool on) {
    for (uint32_t i = first; i <= last; ++i) ShowEnabled(PageSlot(e, i), on);
}

const ReductionValues& Values(ReductionComponent* r) { return r->Options().values; }

int32_t CurrentRole(ReductionComponent* r) {
    const Shape* s = r->CurrentItemShape();
    return s != nullptr ? s->header.role : -1;
}

bool Running(ReductionComponent* r) { return !r->HasNoItems() && ComponentUpstream(r) != nullptr; }

void ShowGainNoise(UIElement* e, const ReductionValues& v) {
    const bool on = v.slice.autoWeight && v.slice.weighing && v.slice.extractMethod != 0;
    ShowEnabled(PageSlot(e, kSlcGain), on);
    ShowEnabled(PageSlot(e, kSlcNoise), on);
}

void ShowWindowSmoothing(UIElement* e, const ReductionValues& v) {
    const bool on = v.slice.extractMethod == 2;
    ShowEnabled(PageSlot(e, kSlcWindow), on);
    ShowEnabled(PageSlot(e, kSlcSmoothMenu), on);
}

void ShowProfileWeight(UIElement* e, const ReductionOptions& o) {
    ShowText(PageSlot(e, kSlcProfile), SliceProfileText(o).c_str());
    ShowText(PageSlot(e, kSlcWeight), SliceWeightText(o).c_str());
}

void ShowPresetControls(UIElement* e, ReductionComponent* r) {
    ShowEnabled(PageSlot(e, kSlcPresetMenu), r->presets.count != 0);
    bool listed = false;
    const char* name = PresetDisplayName(&r->presets, &listed);
    ShowText(PageSlot(e, kSlcPresetName), name);
    ShowEnabled(PageSlot(e, kSlcPresetName), listed);
}

// ---- Re-running -----------------------------------------------------------------------------------

// The current item runs again when its shape has the role the control serves; the other
// Reductions that share the common options follow every change of them.
void Rerun(ReductionComponent* r, Serves serves) {
    if (r == nullptr) return;
    bool run = !r->HasNoItems();
    if (run && serves != Serves::kAny) {
        const int32_t role = CurrentRole(r);
        run = serves == Serves::kSlice ? role == kRoleSlice : (role == kRoleStatistic || role == kRoleFindArea);
    }
    if (run && ComponentUpstream(r) != nullptr && r->portRecord != nullptr) {
        ComponentRefreshDownstream(r);
        RefreshAllWindowsWhenUp();
    }
    if (r->UsesCommonOptions()) r->NotifyCommonOptionUsers();
}

// Runs a setter under the display lock; true when the option changed.
template <typename F>
bool Set(F&& setter) {
    Hold hold(DisplayLock());
    return setter();
}

// ---- Handlers -------------------------------------------------------------------------------------

void ChannelEntry(gElement* field, uintptr_t data) {
    ReductionComponent* r = ReductionOf(data);
    if (r == nullptr) return;
    uint32_t channel = Values(r).nChannel;
    ReadFieldUInt(field, &channel, false);
    if (channel == 0) channel = 1;
    if (channel != Values(r).nChannel) r->SetChannel(channel);
    ShowUnsigned(field, Values(r).nChannel);
}

void AllToggled(gElement* toggle, uintptr_t data) {
    ReductionComponent* r = ReductionOf(data);
    if (r == nullptr || toggle == nullptr) return;
    const bool changed = Set([&] { return r->Options().SetAllChannels(toggle->value != 0); });
    if (changed && r->InputChannelCount() >= 2) {
        ComponentClearValidDownstream(r);
        ComponentLinksSlot3(r);
        r->SelectKernels();
        r->InstallStatisticKernel();
        Rerun(r, Serves::kAny);
    } else if (changed && r->UsesCommonOptions()) {
        r->NotifyCommonOptionUsers();
    }
    ShowToggle(toggle, Values(r).allChannels != 0);
}

void ExtendedToggled(gElement* toggle, uintptr_t data) {
    ReductionComponent* r = ReductionOf(data);
    if (r == nullptr) return;
    Set([&] { return r->Options().ToggleExtendedPrecision(); });
    Rerun(r, Serves::kAny);
    ShowToggle(toggle, Values(r).extendedPrecision != 0);
}

// The pair of exclusive toggles starting at `first`: the pressed one's partner gets the
// inverse; the first one's value is the option.
bool RadioPair(UIElement* e, uint32_t first, gElement* pressed) {
    gElement* pair[2] = {PageSlot(e, first), PageSlot(e, first + 1)};
    if (pair[0] == nullptr || pair[1] == nullptr) return false;
    UpdateRadioGroupNow(pair, 2, pressed);
    return pair[0]->value != 0;
}

void FluxToggled(gElement* toggle, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const bool flux = RadioPair(e, kSlcFlux, toggle);
    if (Set([&] { return r->Options().SetSliceFlux(flux); })) Rerun(r, Serves::kSlice);
}

void WindowEntry(gElement* field, uintptr_t data) {
    ReductionComponent* r = ReductionOf(data);
    if (r == nullptr) return;
    uint32_t window = Values(r).slice.lSmoothAverWin;
    ReadFieldUInt(field, &window, false);
    if (window < 1) window = 1;
    if (Set([&] { return r->Options().SetSliceLSmoothAverWin(window); }) && r->smoothing != &SmoothingStub)
        Rerun(r, Serves::kSlice);
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(Values(r).slice.lSmoothAverWin));
    ShowText(field, text);
}

void GainNoiseEntry(gElement* field, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const bool gain = field == PageSlot(e, kSlcGain);
    ReductionSliceValues& s = r->Options().values.slice;
    double v = gain ? s.gain : s.noise;
    ReadFieldDouble(field, &v, true);
    if (Set([&] { return gain ? r->Options().SetGain(v) : r->Options().SetNoise(v); })) {
        r->SelectKernels();
        Rerun(r, Serves::kSlice);
    }
    ShowNumber(field, 12, gain ? s.gain : s.noise);
    ShowProfileWeight(e, r->Options());
}

void ScaleZeroEntry(gElement* field, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const bool scale = field == PageSlot(e, kSlcScale);
    ReductionSliceValues& s = r->Options().values.slice;
    double v = scale ? s.scale : s.zero;
    ReadFieldDouble(field, &v, true);
    if (Set([&] { return scale ? r->Options().SetScale(v) : r->Options().SetZero(v); })) Rerun(r, Serves::kSlice);
    ShowNumber(field, 12, scale ? s.scale : s.zero);
}

void ResetScaleZero(gElement*, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    if (Set([&] { return r->Options().SetZeroScale(0.0, 1.0); })) Rerun(r, Serves::kSlice);
    ShowNumber(PageSlot(e, kSlcScale), 12, Values(r).slice.scale);
    ShowNumber(PageSlot(e, kSlcZero), 12, Values(r).slice.zero);
}

void VisToggled(gElement* toggle, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const bool histogram = RadioPair(e, kSlcHistogram, toggle);
    if (Set([&] { return r->Options().SetStatVis(histogram ? 0 : 1); })) Rerun(r, Serves::kStatistic);
}

void BoundaryEntry(gElement* field, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const bool left = field == PageSlot(e, kSlcLeft);
    const ReductionStatValues& s = Values(r).stat;
    double v = left ? s.boundaryLow : s.boundaryHigh;
    ReadFieldDouble(field, &v, true);
    r->SetStatBoundary(left ? v : s.boundaryLow, left ? s.boundaryHigh : v);
    ShowNumber(field, 12, v);
}

void IntervalEntry(gElement* field, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const ReductionStatValues& s = Values(r).stat;
    double v = s.interval;
    ReadFieldDouble(field, &v, true);
    if (Set([&] { return r->Options().SetStatInterval(v); }) && !s.intervalAuto) Rerun(r, Serves::kStatistic);
    if (Set([&] { return r->Options().SetStatIntervalAuto(false); })) Rerun(r, Serves::kStatistic);
    ShowToggle(PageSlot(e, kSlcAuto), false);
    ShowEnabled(field, true);
    ShowNumber(field, 7, s.interval);
}

void IntegerToggled(gElement* toggle, uintptr_t data) {
    ReductionComponent* r = ReductionOf(data);
    if (r == nullptr || toggle == nullptr) return;
    if (Set([&] { return r->Options().SetStatIntervalInteger(toggle->value != 0); })) Rerun(r, Serves::kStatistic);
}

void AutoToggled(gElement* toggle, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr || toggle == nullptr) return;
    if (Set([&] { return r->Options().SetStatIntervalAuto(toggle->value != 0); })) Rerun(r, Serves::kStatistic);
    ShowEnabled(PageSlot(e, kSlcInterval), Values(r).stat.intervalAuto == 0);
}

void PresetNameEntry(gElement* field, uintptr_t data) {
    UIElement* e = Element(data);
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr || field == nullptr) return;
    std::string text = field->text.substr(0, 259);
    const size_t first = text.find_first_not_of(" \t");
    text = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t") - first + 1);
    ReductionPreset* preset = r->presets.currentPreset;
    if (text.empty() || preset == nullptr) {
        ShowText(field, PresetDisplayName(&r->presets, nullptr));
        return;
    }
    if (std::strcmp(ReductionOptionsName(preset->options), text.c_str()) == 0) return;
    bool named;
    {
        Hold hold(DisplayLock());
        named = preset->options.SetName(text.c_str());
    }
    if (named) RefreshSlicePage(e);
}

// ---- Menus ------------------------------------------------------------------------------------------

template <SliceMenu which>
void MenuButtonGone(gElement* button) {
    ReleaseMenuButton(MenuOf(which), button);
}

template <SliceMenu which>
void MenuCallback(gMenu*, const int32_t* rows, uint32_t) {
    UIElement* e = SharedMenuElement(MenuOf(which), kSliceSlotCount);
    if (e == nullptr) return;
    if (rows == nullptr)
        SliceMenuPrepare(e, which);
    else
        SliceMenuCommand(e, which, rows[0], rows[1]);
}

// The preset "Edit" menu with its two submenus.
gMenu* MakePresetEditMenu(SharedMenu& m, gElement* owner) {
    if (m.menu != nullptr && gMenuIsMenu(m.menu)) return m.menu;
    m.menu = gMenuCreate(owner, &MenuCallback<SliceMenu::kPresetEdit>, kMenuDefaultColour, 0, nullptr);
    if (m.menu == nullptr) return nullptr;
    gMenuRow top[6] = {{"Create"}, {nullptr}, {"Common Properties"}, {nullptr}, {"Copy"}, {"Paste"}};
    gMenuRow remove[4] = {{"Delete"}, {"Current"}, {"Keep Current"}, {"All"}};
    gMenuRow separator[1] = {{nullptr}};
    gMenuRow file[6] = {{"File"}, {"Open\x85"}, {"Replace\x85"}, {nullptr}, {"Save"}, {"Save As\x85"}};
    bool ok = true;
    for (gMenuRow& row : top) ok = ok && gMenuAddItems(m.menu, &row, 1, false, 0, nullptr);
    ok = ok && gMenuAddItems(m.menu, remove, 4, true, 0, nullptr);
    ok = ok && gMenuAddItems(m.menu, separator, 1, false, 0, nullptr);
    ok = ok && gMenuAddItems(m.menu, file, 6, true, 0, nullptr);
    if (!ok) {
        gMenuDelete(m.menu);
        m.menu = nullptr;
    }
    return m.menu;
}

// The preset list: made again at every opening, one row per preset (at most 30), then
// "Properties…" when more presets exist.
gMenu* MakePresetListMenu(SharedMenu& m, gElement* owner, ReductionComponent* r) {
    if (m.menu != nullptr && gMenuIsMenu(m.menu)) gMenuDelete(m.menu);
    m.menu = gMenuCreate(owner, &MenuCallback<SliceMenu::kPresetList>, kMenuDefaultColour, 0, nullptr);
    if (m.menu == nullptr) return nullptr;
    uint32_t position = 0;
    bool ok = true;
    for (ReductionPreset* p = r->presets.head; ok && p != nullptr && position < kPresetListRows; p = p->next) {
        const std::string text = PresetMenuRowText(p->options.name, ++position, r->presets.count);
        gMenuRow row{text.c_str()};
        ok = gMenuAddItems(m.menu, &row, 1, false, position, nullptr);
    }
    if (ok && r->presets.count > kPresetListRows) {
        gMenuRow row{"Properties\x85"};
        ok = gMenuAddItems(m.menu, &row, 1, false, position + 1, nullptr);
    }
    if (!ok) {
        gMenuDelete(m.menu);
        m.menu = nullptr;
    }
    return m.menu;
}

template <SliceMenu which>
void OpenMenu(gElement* button, uintptr_t data) {
    UIElement* e = Element(data);
    if (e == nullptr || button == nullptr || SlicePageReduction(e) == nullptr) return;
    SharedMenu& m = MenuOf(which);
    if (m.menu != nullptr && gMenuIsMenu(m.menu) && gMenuIsOpen(m.menu)) return;
    gMenu* menu = nullptr;
    switch (which) {
        case SliceMenu::kSmoothing: {
            menu = MakeSharedMenu(m, button, &MenuCallback<which>, kSmoothingNames, 3);
            break;
        }
        case SliceMenu::kFilter:
            menu = MakeSharedMenu(m, button, &MenuCallback<which>, kFilterNames, 6);
            break;
        case SliceMenu::kMethod:
            menu = MakeSharedMenu(m, button, &MenuCallback<which>, kMethodLabels, kMethodLabelCount);
            break;
        case SliceMenu::kRule:
            menu = MakeSharedMenu(m, button, &MenuCallback<which>, kRuleLabels, 10);
            break;
        case SliceMenu::kBoundary:
            menu = MakeSharedMenu(m, button, &MenuCallback<which>, kBoundaryLabels, 7);
            break;
        case SliceMenu::kPresetEdit:
            menu = MakePresetEditMenu(m, button);
            break;
        case SliceMenu::kPresetList:
            menu = MakePresetListMenu(m, button, SlicePageReduction(e));
            break;
    }
    if (menu == nullptr) return;
    menu->ownerWidget = button;
    m.element = e;
    gMenuPopupAt(menu, button, 0);
}

gElement* MenuButton(PageRows& r, SliceMenu which, float width, const char* text,
                     void (*open)(gElement*, uintptr_t), void (*gone)(gElement*)) {
    gElement* b = r.Button(38, width, text, open);
    if (b == nullptr) return nullptr;
    HoldMenuButton(MenuOf(which), b, gone);
    return b;
}

// ---- Building ------------------------------------------------------------------------------------------

// A text the page writes and the user only reads: a read-only field keeps its width
// whatever text it shows (a text box fits itself to its text).
gElement* Display(PageRows& r, float width, const char* text) { return r.Field(width, text, nullptr); }

gElement* Toggle(PageRows& r, float width, const char* text, void (*press)(gElement*, uintptr_t)) {
    return r.Button(47, width, text, press, PageRows::kButtonColour, kToggleColour2);
}

gElement* NumberField(PageRows& r, float width, const char* text, uint32_t limit,
                      void (*commit)(gElement*, uintptr_t)) {
    gElement* f = r.Field(width, text, commit);
    if (f != nullptr) f->textLimit = limit;
    return f;
}

void BuildSlice(UIElement* e, gElement** s) {
    // Under the Extraction/Statistic page when both are shown in one window.
    StackBelowBlock(e, kReductionExtractionIndex);
    PageRows r(e);
    r.Label("SLICE / STATISTIC");
    r.Add(14, 168.0f, "");
    r.NewRow();
    r.Label("Channel:");
    s[kSlcChannel] = NumberField(r, 32.0f, "1", 7, &ChannelEntry);
    r.Label("#");
    s[kSlcChannels] = Display(r, 32.0f, "1");
    s[kSlcAll] = Toggle(r, 15.0f, "A", &AllToggled);
    s[kSlcExtended] = Toggle(r, 114.0f, "Extended Precision", &ExtendedToggled);
    r.NewRow();
    r.Label("SLICE");
    r.NewRow();
    s[kSlcFlux] = Toggle(r, 144.0f, "Flux (Intensity)", &FluxToggled);
    s[kSlcMean] = Toggle(r, 144.0f, "Average (Mean)", &FluxToggled);
    r.NewRow();
    r.Label("Method:");
    s[kSlcMethod] = Display(r, 210.0f, "");
    s[kSlcMethodMenu] = MenuButton(r, SliceMenu::kMethod, 12.0f, "", &OpenMenu<SliceMenu::kMethod>, &MenuButtonGone<SliceMenu::kMethod>);
    r.Separator(300.0f);
    s[kSlcProfile] = Display(r, 210.0f, "Profile:  Auto");
    r.NewRow();
    r.Label("Win[L]:");
    s[kSlcWindow] = NumberField(r, 44.0f, "7", 7, &WindowEntry);
    r.Label("Smooth[L]:");
    s[kSlcSmooth] = Display(r, 116.0f, "Sliding mean or median");
    s[kSlcSmoothMenu] = MenuButton(r, SliceMenu::kSmoothing, 12.0f, "", &OpenMenu<SliceMenu::kSmoothing>, &MenuButtonGone<SliceMenu::kSmoothing>);
    r.Separator(300.0f);
    s[kSlcWeight] = Display(r, 210.0f, "Weight:   Auto");
    r.NewRow();
    r.Label("Gain:");
    s[kSlcGain] = NumberField(r, 84.0f, "2.08", 19, &GainNoiseEntry);
    r.Label("Noise:");
    s[kSlcNoise] = NumberField(r, 84.0f, "2.5", 19, &GainNoiseEntry);
    r.Separator(300.0f);
    r.Label("SP filter:");
    s[kSlcFilter] = Display(r, 200.0f, "");
    s[kSlcFilterMenu] = MenuButton(r, SliceMenu::kFilter, 12.0f, "", &OpenMenu<SliceMenu::kFilter>, &MenuButtonGone<SliceMenu::kFilter>);
    r.Separator(300.0f);
    r.Label("Scale:");
    s[kSlcScale] = NumberField(r, 84.0f, "1", 19, &ScaleZeroEntry);
    r.Label("Zero:");
    s[kSlcZero] = NumberField(r, 84.0f, "0", 19, &ScaleZeroEntry);
    s[kSlcReset] = StepButton(r, kStepReset, 13.0f, &ResetScaleZero);
    r.Separator(300.0f);
    r.Label("STATISTIC");
    r.NewRow();
    s[kSlcHistogram] = Toggle(r, 144.0f, "Histogram", &VisToggled);
    s[kSlcDistribution] = Toggle(r, 144.0f, "Distribution", &VisToggled);
    r.NewRow();
    r.Label("Interval grouping:");
    s[kSlcRule] = Display(r, 184.0f, "           ");
    s[kSlcRuleMenu] = MenuButton(r, SliceMenu::kRule, 12.0f, "", &OpenMenu<SliceMenu::kRule>, &MenuButtonGone<SliceMenu::kRule>);
    r.NewRow();
    r.Label("Left:");
    s[kSlcLeft] = NumberField(r, 84.0f, "0", 19, &BoundaryEntry);
    r.Label("Right:");
    s[kSlcRight] = NumberField(r, 84.0f, "255", 19, &BoundaryEntry);
    s[kSlcBoundaryMenu] = MenuButton(r, SliceMenu::kBoundary, 12.0f, "", &OpenMenu<SliceMenu::kBoundary>, &MenuButtonGone<SliceMenu::kBoundary>);
    r.NewRow();
    r.Label("Interval:");
    s[kSlcInterval] = NumberField(r, 84.0f, "1", 19, &IntervalEntry);
    s[kSlcInteger] = Toggle(r, 70.0f, "Integer", &IntegerToggled);
    s[kSlcAuto] = Toggle(r, 70.0f, "Auto", &AutoToggled);
    r.Separator(300.0f);
    r.Label("Preset:");
    s[kSlcPresetName] = r.Field(-1.0f, "", &PresetNameEntry);
    if (s[kSlcPresetName] != nullptr) s[kSlcPresetName]->textLimit = 259;
    s[kSlcPresetEdit] = MenuButton(r, SliceMenu::kPresetEdit, 36.0f, "Edit", &OpenMenu<SliceMenu::kPresetEdit>, &MenuButtonGone<SliceMenu::kPresetEdit>);
    s[kSlcPresetMenu] = MenuButton(r, SliceMenu::kPresetList, 12.0f, "", &OpenMenu<SliceMenu::kPresetList>, &MenuButtonGone<SliceMenu::kPresetList>);
}

void RefreshSliceBlock(UIPage*, UIElement* e, int32_t) { RefreshSlicePage(e); }

UIPage* PageOf(ReductionComponent* r) {
    if (r == nullptr || !ComponentIsLive(r)) return nullptr;
    auto* page = static_cast<UIPage*>(r->pageWindow);
    return page != nullptr && UIPageIsLive(page) && page->current == r ? page : nullptr;
}

// ---- Menu commands -------------------------------------------------------------------------------------

void MethodCommand(UIElement* e, ReductionComponent* r, int32_t entry) {
    bool changed = false;
    {
        Hold hold(DisplayLock());
        ReductionOptions& o = r->Options();
        if (entry >= 1 && entry <= 3)
            changed = o.SetSliceExtractMethod(entry - 1);
        else if (entry == 4)
            changed = (o.ToggleSliceWeighing(), true);
        else if (entry == 5)
            changed = (o.ToggleSliceAutoWeight(), true);
        else if (entry == 6)
            changed = o.ToggleSliceAutoProfile();
        else if (entry == 7)
            changed = o.ToggleSliceRemoveBackground();
        else
            return;
    }
    if (entry <= 6) {
        if (changed && r->SelectKernels()) Rerun(r, Serves::kSlice);
    } else if (changed) {
        Rerun(r, Serves::kSlice);
    }
    const ReductionValues& v = Values(r);
    if (entry <= 3 || entry == 7) ShowText(PageSlot(e, kSlcMethod), SliceMethodText(r->Options()).c_str());
    if (entry <= 5) {
        ShowGainNoise(e, v);
        ShowWindowSmoothing(e, v);
    }
    if (entry <= 6) ShowProfileWeight(e, r->Options());
}

void ApplyBoundary(UIElement* e, ReductionComponent* r, double low, double high) {
    r->SetStatBoundary(low, high);
    if (Set([&] { return r->Options().SetStatBoundaryEnable(true); })) Rerun(r, Serves::kStatistic);
    ShowEnabled(PageSlot(e, kSlcLeft), true);
    ShowEnabled(PageSlot(e, kSlcRight), true);
    ShowNumber(PageSlot(e, kSlcLeft), 12, low);
    ShowNumber(PageSlot(e, kSlcRight), 12, high);
}

// The first statistic result with data of a statistic item, or null (with "Statistic -
// empty" on the status line when the item is no statistic).
const StatisticResult* CurrentResult(ReductionComponent* r) {
    const int32_t role = CurrentRole(r);
    if (role != kRoleStatistic && role != kRoleFindArea) {
        PrintStatusLine(0, -3, 7, "%s", kStatisticEmptyText);
        return nullptr;
    }
    const StatisticBlock* b = r->Statistic();
    if (b == nullptr || b->filled == 0 || b->Results()[0].npro == 0) return nullptr;
    return &b->Results()[0];
}

bool HasStatisticResult(ReductionComponent* r) {
    const int32_t role = CurrentRole(r);
    const StatisticBlock* b = r->Statistic();
    return (role == kRoleStatistic || role == kRoleFindArea) && b != nullptr && b->filled != 0 &&
           b->Results()[0].npro != 0;
}

void BoundaryCommand(UIElement* e, ReductionComponent* r, int32_t entry) {
    BoundaryClipboard& clip = TheBoundaryClipboard();
    switch (entry) {
        case kBoundaryEnable: {
            const bool on = Values(r).stat.boundaryEnable == 0;
            if (Set([&] { return r->Options().SetStatBoundaryEnable(on); })) Rerun(r, Serves::kStatistic);
            ShowEnabled(PageSlot(e, kSlcLeft), on);
            ShowEnabled(PageSlot(e, kSlcRight), on);
            break;
        }
        case kBoundaryCopy:
            clip.low = Values(r).stat.boundaryLow;
            clip.high = Values(r).stat.boundaryHigh;
            break;
        case kBoundaryPaste:
            if (clip.low < clip.high) ApplyBoundary(e, r, clip.low, clip.high);
            break;
        case kBoundaryCurrent:
        case kBoundaryNearest: {
            const StatisticResult* result = CurrentResult(r);
            if (result == nullptr) return;
            double low = result->min, high = result->max;
            if (entry == kBoundaryNearest) NearestBoundary(result->min, result->max, &low, &high);
            ApplyBoundary(e, r, low, high);
            break;
        }
        default:
            break;
    }
}

void PresetFileCommand(UIElement* e, ReductionComponent* r, int32_t sub);

void PresetEditCommand(UIElement* e, ReductionComponent* r, int32_t entry, int32_t sub) {
    ReductionOptionClipboard& clip = TheReductionOptionClipboard();
    switch (entry) {
        case kPresetCreate:
            CreateReductionItem(r, true, false, kKindBSpline);
            ShowPresetControls(e, r);
            break;
        case kPresetCommon:
            if (r->UsesCommonOptions())
                r->presets.SwitchCurrent(r->presets.CurrentPresetOrOwn());
            else if (r->presets.common != nullptr)
                r->presets.SwitchCurrent(r->presets.common);
            RefreshSlicePage(e);
            break;
        case kPresetCopy:
            if (r->presets.count == 0) break;
            {
                Hold hold(DisplayLock());
                clip.options.Copy(r->Options());
                clip.valid = true;
            }
            break;
        case kPresetPaste:
            if (clip.valid && PasteOptions(&r->presets, r->InputChannelCount())) {
                r->SelectKernels();
                RefreshSlicePage(e);
                Rerun(r, Serves::kAny);
            }
            break;
        case kPresetDelete: {
            const int32_t codes[4] = {-1, 3, 2, 0};
            if (sub >= kDeleteCurrent && sub <= kDeleteAll) r->PresetCommand(codes[sub]);
            RefreshSlicePage(e);
            break;
        }
        case kPresetFile:
            if (sub >= kFileOpen && sub <= kFileSaveAs) PresetFileCommand(e, r, sub);
            break;
        default:
            break;
    }
}

// A name from the file dialog (mode 1 open, 2 save); empty when cancelled.
std::string AskPresetFile(UIElement* e, bool save) {
    char name[1024] = {};
    const std::string& last = LastPresetFile();
    if (!last.empty() && last.size() < sizeof name) std::memcpy(name, last.c_str(), last.size());
    const int32_t answer =
        RunFileDialog(e->window, nullptr, name, sizeof name, nullptr, save ? "Save presets" : "Open presets",
                      save ? kOfnOverwritePrompt : 0u, kPresetFileFilter, "fs", kFileDialogShapes, nullptr,
                      save ? 2 : 1);
    return answer != 0 ? std::string(name) : std::string();
}

void PresetFileCommand(UIElement* e, ReductionComponent* r, int32_t sub) {
    std::string path;
    if (sub == kFileSave) path = LastPresetFile();
    if (path.empty()) path = AskPresetFile(e, sub == kFileSave || sub == kFileSaveAs);
    if (path.empty()) return;
    if (sub == kFileSave || sub == kFileSaveAs) {
        if (SaveAllPresets(&r->presets, r->presets.userValue, path.c_str()) == 1) LastPresetFile() = path;
        return;
    }
    if (sub == kFileReplace) r->PresetCommand(0);
    if (LoadPresetSections(r, path.c_str()) != 0) LastPresetFile() = path;
    RefreshSlicePage(e);
}

void PresetListCommand(UIElement* e, ReductionComponent* r, int32_t entry) {
    if (entry < 1 || entry > static_cast<int32_t>(kPresetListRows) ||
        entry > static_cast<int32_t>(r->presets.count))
        return;
    ReductionPreset* p = PresetAt(&r->presets, entry - 1);
    if (p == nullptr) return;
    {
        Hold hold(DisplayLock());
        r->presets.currentPreset = p;
    }
    if (p != r->presets.current) r->presets.SwitchCurrent(p);
    RefreshSlicePage(e);
}

// The Reduction's node as seen by a request that must make a new shape: without a
// display, so that the shape being edited there is never changed into the new kind;
// the node still shows the new shape on its display when it takes it.
class FreshShapeNode : public ShapeNode {
public:
    explicit FreshShapeNode(ShapeNode* node) : node_(node) {}
    bool FrameSize(int64_t* width, int64_t* height) override { return node_->FrameSize(width, height); }
    void VisibleOrigin(double* x, double* y) override { node_->VisibleOrigin(x, y); }
    ShapeContainer* Display() override { return nullptr; }
    bool TakeShape(Shape* shape) override { return node_->TakeShape(shape); }

private:
    ShapeNode* node_;
};

}  // namespace

// ---- Texts -------------------------------------------------------------------------------------------------

std::string SliceProfileText(const ReductionOptions& o) {
    const ReductionSliceValues& s = o.values.slice;
    if (s.extractMethod != 2) return "Profile:   Disable";
    if (s.autoProfile) return "Profile:   Auto";
    return o.profileCoefficients != 0 ? "Profile:   Loaded" : "Profile:   Disable (Not Loaded)";
}

std::string SliceWeightText(const ReductionOptions& o) {
    const ReductionSliceValues& s = o.values.slice;
    const int32_t m = s.extractMethod;
    const bool loaded = o.weighingCoefficients != 0;
    if (m != 0 && (s.weighing || m == 1) && (loaded || (s.autoWeight && s.gain > kTwiceDblMin)))
        return s.autoWeight ? "Weight:   Auto" : "Weight:   Loaded";
    return loaded || s.autoWeight ? "Weight:   Disable" : "Weight:   Disable (Not Loaded)";
}

std::string SliceMethodText(const ReductionOptions& o) {
    const int32_t m = o.values.slice.extractMethod;
    if (m < 0 || m > 2) return "";
    std::string text = kMethodNames[m];
    if (o.values.slice.removeBackground) text += ",  remove background";
    return text;
}

const char* SliceSmoothingText(int64_t m) { return m >= 0 && m <= 2 ? kSmoothingNames[m] : ""; }
const char* SliceFilterText(int64_t v) { return v >= 0 && v <= 5 ? kFilterNames[v] : ""; }
const char* StatIntervalRuleText(int64_t m) {
    if (m < 0 || m > 8) return "";
    return kRuleLabels[m < 6 ? m : m + 1];
}

void NearestBoundary(double minimum, double maximum, double* low, double* high) {
    static constexpr double kLows[5] = {-128.0, -32768.0, -16777216.0, -2147483648.0, -9223372036854775808.0};
    static constexpr double kHighs[8] = {127.0,        255.0,        32767.0,      65535.0,
                                         16777215.0,   2147483647.0, 4294967295.0, 9223372036854775808.0};
    double l;
    if (minimum >= 0.0) {
        l = 0.0;
    } else {
        l = minimum <= -DBL_MAX ? -DBL_MAX : std::floor(minimum);
        for (double v : kLows)
            if (v <= minimum) {
                l = v;
                break;
            }
    }
    double h;
    if (maximum <= 0.0) {
        h = 0.0;
    } else {
        h = maximum < DBL_MAX ? std::ceil(maximum) : DBL_MAX;
        for (double v : kHighs)
            if (v >= maximum) {
                h = v;
                break;
            }
    }
    *low = l;
    *high = h;
}

std::string PresetMenuRowText(const char* name, uint32_t position, uint32_t count) {
    std::string text = name != nullptr && *name != '\0' ? name : "NoName";
    if (text.size() > kPresetNameShown) {
        text.resize(kPresetNameShown);
        text += kEllipsis;
    }
    if (count > 1) {
        bool own = false;
        if (name != nullptr && *name >= '0' && *name <= '9') {
            char* end = nullptr;
            const unsigned long n = std::strtoul(name, &end, 10);
            own = n == position;
        }
        if (!own) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, " (%u)", position);
            text += suffix;
        }
    }
    return text;
}

// ---- The page ------------------------------------------------------------------------------------------------

ReductionComponent* SlicePageReduction(UIElement* e) {
    if (e == nullptr || !UIElementIsLive(e) || e->page == nullptr || !UIPageIsLive(e->page)) return nullptr;
    ComponentBase* c = e->page->current;
    if (c == nullptr || !ComponentIsLive(c)) return nullptr;
    return dynamic_cast<ReductionComponent*>(c);
}

UIElement* SlicePageElement(ReductionComponent* r) {
    UIPage* page = PageOf(r);
    if (page == nullptr) return nullptr;
    for (UIElement* e : page->elements)
        if (e != nullptr && UIElementIsLive(e) && e->key == &ReductionPanelBuilder &&
            e->index == kReductionSliceIndex + 1 && e->slots != nullptr && e->slotCount >= kSliceSlotCount)
            return e;
    return nullptr;
}

void RefreshSlicePage(UIElement* e) {
    if (ViewElement(reinterpret_cast<uintptr_t>(e), kSliceSlotCount) == nullptr) return;
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    const ReductionOptions& o = r->Options();
    const ReductionValues& v = o.values;
    // 1. Channel and the toggles.
    const uint32_t channels = r->InputChannelCount();
    ShowUnsigned(PageSlot(e, kSlcChannel), channels != 0 && v.nChannel > channels ? channels : v.nChannel);
    ShowUnsigned(PageSlot(e, kSlcChannels), channels);
    ShowEnabled(PageSlot(e, kSlcChannel), channels > 1);
    ShowEnabled(PageSlot(e, kSlcAll), channels > 1);
    ShowToggle(PageSlot(e, kSlcAll), v.allChannels != 0);
    ShowToggle(PageSlot(e, kSlcExtended), v.extendedPrecision != 0);
    ShowToggle(PageSlot(e, kSlcFlux), v.slice.flux != 0);
    ShowToggle(PageSlot(e, kSlcMean), v.slice.flux == 0);
    // 2. Numbers and displays.
    ShowNumber(PageSlot(e, kSlcScale), 12, v.slice.scale);
    ShowNumber(PageSlot(e, kSlcZero), 12, v.slice.zero);
    ShowNumber(PageSlot(e, kSlcGain), 12, v.slice.gain);
    ShowNumber(PageSlot(e, kSlcNoise), 12, v.slice.noise);
    ShowNumber(PageSlot(e, kSlcInterval), 7, v.stat.interval);
    ShowNumber(PageSlot(e, kSlcLeft), 12, v.stat.boundaryLow);
    ShowNumber(PageSlot(e, kSlcRight), 12, v.stat.boundaryHigh);
    char window[16];
    std::snprintf(window, sizeof window, "%d", static_cast<int>(v.slice.lSmoothAverWin));
    ShowText(PageSlot(e, kSlcWindow), window);
    ShowText(PageSlot(e, kSlcMethod), SliceMethodText(o).c_str());
    ShowText(PageSlot(e, kSlcFilter), SliceFilterText(v.slice.extractionVariant));
    ShowText(PageSlot(e, kSlcSmooth), SliceSmoothingText(v.lSmoothMethod));
    ShowText(PageSlot(e, kSlcRule), StatIntervalRuleText(v.stat.intervalMethod));
    ShowToggle(PageSlot(e, kSlcInteger), v.stat.intervalInteger != 0);
    ShowToggle(PageSlot(e, kSlcAuto), v.stat.intervalAuto != 0);
    ShowToggle(PageSlot(e, kSlcHistogram), v.stat.vis == 0);
    ShowToggle(PageSlot(e, kSlcDistribution), v.stat.vis != 0);
    // 3. The slice controls, unless a running item measures something else.
    const bool running = Running(r);
    const int32_t role = CurrentRole(r);
    if (!(running && role != kRoleSlice)) {
        if (gElement* first = PageSlot(e, kSlcFlux); first != nullptr && first->enabled == 0)
            EnableRange(e, kSlcFlux, kSlcMethodMenu, true);
        ShowGainNoise(e, v);
        ShowWindowSmoothing(e, v);
    }
    // 4. By the current item.
    if (running && role == kRoleSlice) {
        EnableRange(e, kSlcHistogram, kSlcRuleMenu, false);
    } else if (running && (role == kRoleStatistic || role == kRoleFindArea)) {
        EnableRange(e, kSlcFlux, kSlcNoise, false);
        EnableRange(e, kSlcHistogram, kSlcRuleMenu, true);
    } else if (!running) {
        EnableRange(e, kSlcHistogram, kSlcRuleMenu, true);
    }
    // 5. The rest.
    ShowEnabled(PageSlot(e, kSlcPresetEdit), true);
    if (v.stat.boundaryEnable == 0) {
        ShowEnabled(PageSlot(e, kSlcLeft), false);
        ShowEnabled(PageSlot(e, kSlcRight), false);
    }
    if (v.stat.intervalAuto != 0) ShowEnabled(PageSlot(e, kSlcInterval), false);
    ShowProfileWeight(e, o);
    ShowEnabled(PageSlot(e, kSlcFilter), false);
    ShowEnabled(PageSlot(e, kSlcFilterMenu), false);
    ShowPresetControls(e, r);
}

void ReductionRefreshSlicePage(ReductionComponent* r) {
    // A pull on the playback thread may ask: the widgets are the user interface's.
    if (!ComponentUiUp() || static_cast<uint32_t>(platform::CurrentThreadId()) != gUiThreadId()) return;
    UIElement* e = SlicePageElement(r);
    if (e == nullptr || e->window == nullptr || gWinValidate(e->window) == nullptr) return;
    if ((e->window->state & (kStateHidden | kStateMinimised)) != 0) return;
    RefreshSlicePage(e);
    MarkPageRepaint(e);
    RefreshAllWindowsWhenUp();
}

bool ShowSlicePage(UIPage* page, gWindow* window, int32_t pageId) {
    return ShowComponentPage(page, window, kViewBlockStyle, &ReductionPanelBuilder, kSliceSlotCount,
                             kReductionSliceIndex, kReductionPageTableSize, pageId, &BuildSlice, &RefreshSliceBlock,
                             nullptr);
}

gMenu* SlicePageMenu(SliceMenu which) {
    SharedMenu& m = MenuOf(which);
    return m.menu != nullptr && gMenuIsMenu(m.menu) ? m.menu : nullptr;
}

void SliceMenuPrepare(UIElement* e, SliceMenu which) {
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr) return;
    SharedMenu& m = MenuOf(which);
    const ReductionValues& v = Values(r);
    switch (which) {
        case SliceMenu::kSmoothing:
            for (int32_t n = 1; n <= 3; ++n) SetMenuEntry(m, n, false, v.lSmoothMethod == n - 1);
            break;
        case SliceMenu::kFilter:
            for (int32_t n = 1; n <= 6; ++n) SetMenuEntry(m, n, false, v.slice.extractionVariant == n - 1);
            break;
        case SliceMenu::kRule:
            for (int32_t n = 1; n <= 9; ++n) SetMenuEntry(m, n, false, v.stat.intervalMethod == n - 1);
            break;
        case SliceMenu::kMethod: {
            const int32_t method = v.slice.extractMethod;
            for (int32_t n = 1; n <= 3; ++n) SetMenuEntry(m, n, false, method == n - 1);
            SetMenuEntry(m, 4, method != 2, v.slice.weighing != 0 || method == 1);
            SetMenuEntry(m, 5, true, v.slice.autoWeight != 0);
            SetMenuEntry(m, 6, true, v.slice.autoProfile != 0);
            SetMenuEntry(m, 7, false, v.slice.removeBackground != 0);
            break;
        }
        case SliceMenu::kBoundary: {
            const BoundaryClipboard& clip = TheBoundaryClipboard();
            const bool result = HasStatisticResult(r);
            SetMenuEntry(m, kBoundaryEnable, false, v.stat.boundaryEnable != 0);
            SetMenuEntry(m, kBoundaryCopy, false, false);
            SetMenuEntry(m, kBoundaryPaste, !(clip.low < clip.high), false);
            SetMenuEntry(m, kBoundaryCurrent, !result, false);
            SetMenuEntry(m, kBoundaryNearest, !result, false);
            break;
        }
        case SliceMenu::kPresetEdit: {
            const ReductionOptionClipboard& clip = TheReductionOptionClipboard();
            SetMenuEntry(m, kPresetCreate, false, false);
            SetMenuEntry(m, kPresetCommon, false, r->UsesCommonOptions());
            SetMenuEntry(m, kPresetCopy, false, false);
            SetMenuEntry(m, kPresetPaste, !(clip.valid && r->presets.current != nullptr), false);
            if (gMenuItem* remove = SharedMenuItem(m, kPresetDelete)) {
                gMenuEnableItem(remove, r->presets.count == 0);
                int32_t n = 0;
                for (gMenuItem* c = remove->firstChild; c != nullptr; c = c->next) {
                    if (c->state == 2) continue;
                    ++n;
                    if (n == kDeleteKeepCurrent) gMenuEnableItem(c, r->presets.count < 2);
                    if (c == remove->childCursor) break;
                }
            }
            break;
        }
        case SliceMenu::kPresetList: {
            int32_t n = 0;
            for (ReductionPreset* p = r->presets.head; p != nullptr && n < int32_t{kPresetListRows}; p = p->next) {
                ++n;
                SetMenuEntry(m, n, false, p == r->presets.currentPreset);
            }
            break;
        }
    }
}

void SliceMenuCommand(UIElement* e, SliceMenu which, int32_t entry, int32_t sub) {
    ReductionComponent* r = SlicePageReduction(e);
    if (r == nullptr || ViewElement(reinterpret_cast<uintptr_t>(e), kSliceSlotCount) == nullptr) return;
    switch (which) {
        case SliceMenu::kSmoothing: {
            if (entry < 1 || entry > 3) return;
            const SmoothingKernel before = r->smoothing;
            if (Set([&] { return r->Options().SetSliceLSmoothMethod(entry - 1); })) {
                r->SelectKernels();
                if (r->smoothing != before && r->smoothing != &SmoothingStub) Rerun(r, Serves::kSlice);
            }
            ShowText(PageSlot(e, kSlcSmooth), SliceSmoothingText(Values(r).lSmoothMethod));
            break;
        }
        case SliceMenu::kFilter:
            if (entry < 1 || entry > 6) return;
            if (Set([&] { return r->Options().SetExtractionVariant(entry - 1); })) {
                r->SelectKernels();
                Rerun(r, Serves::kSlice);
            }
            ShowText(PageSlot(e, kSlcFilter), SliceFilterText(Values(r).slice.extractionVariant));
            break;
        case SliceMenu::kMethod:
            MethodCommand(e, r, entry);
            break;
        case SliceMenu::kRule:
            if (entry < 1 || entry > 9) return;
            if (Set([&] { return r->Options().SetStatIntervalMethod(entry - 1); })) Rerun(r, Serves::kStatistic);
            ShowText(PageSlot(e, kSlcRule), StatIntervalRuleText(Values(r).stat.intervalMethod));
            break;
        case SliceMenu::kBoundary:
            BoundaryCommand(e, r, entry);
            break;
        case SliceMenu::kPresetEdit:
            PresetEditCommand(e, r, entry, sub);
            break;
        case SliceMenu::kPresetList:
            PresetListCommand(e, r, entry);
            break;
    }
}

// ---- Item creation -------------------------------------------------------------------------------------------

bool CreateReductionItem(ReductionComponent* r, bool replace, bool newShape, int32_t kind) {
    if (r == nullptr) return false;
    ReductionPreset* preset = AddPreset(&r->presets);
    if (preset == nullptr) return false;
    {
        Hold hold(DisplayLock());
        r->presets.currentPreset = preset;
    }
    if (kind < 1 || kind > 13) kind = kKindRect;
    const bool open = kind == 1 || kind == 2 || kind == 3 || kind == 11;
    bool ok = true;
    if (r->CurrentItemShape() == nullptr || newShape) {
        ShapeRequest request;
        request.kind = kind;
        request.role = open ? kRoleSlice : kRoleStatistic;
        request.newShape = replace ? 0 : 1;
        // The central half of the frame (the whole frame when it is small); a slice
        // crosses its middle from left to right.
        int64_t width = 0, height = 0;
        if (!r->node.FrameSize(&width, &height)) width = height = 50;
        const double x0 = width >= 8 ? width / 4.0 : 0.0, x1 = width >= 8 ? width * 3.0 / 4.0 : double(width);
        const double y0 = height >= 8 ? height / 4.0 : 0.0, y1 = height >= 8 ? height * 3.0 / 4.0 : double(height);
        request.start[0] = static_cast<float>(x0);
        request.end[0] = static_cast<float>(x1);
        request.start[1] = static_cast<float>(open ? (y0 + y1) / 2.0 : y0);
        request.end[1] = static_cast<float>(open ? (y0 + y1) / 2.0 : y1);
        if (replace) {
            ok = r->CreateItemShape(&request, nullptr);
        } else {
            FreshShapeNode fresh(&r->node);
            ok = NodeShapeAction(&fresh, &request, nullptr);
        }
    }
    r->presets.SwitchCurrent(preset);
    r->RefreshItems(true);
    ReductionRefreshPages(r);
    return ok;
}

void ResetSlicePageState() {
    TheBoundaryClipboard() = BoundaryClipboard{};
    LastPresetFile().clear();
}

uint32_t LoadPresetSections(ReductionComponent* r, const char* path) {
    if (r == nullptr || path == nullptr) return 0;
    uint32_t taken = 0;
    for (uint32_t number = 1; number <= kReductionMaxPresets; ++number) {
        ReductionPreset* p = AddPreset(&r->presets);
        if (p == nullptr) break;
        p->flags = (number << 16) | (r->presets.userValue & 0xFFFFu);
        // A section that was read replaces the name (with its own, or none).
        const char* before = p->options.name;
        if (before == nullptr || !p->Load(path) || p->options.name == before) {
            RemovePreset(&r->presets, p);
            break;
        }
        ++taken;
    }
    return taken;
}

void InstallReductionPages() {
    ReductionServices& s = TheReductionServices();
    s.panelBuilder = &ReductionPanelBuilder;
    s.refreshPages = &ReductionRefreshPages;
    s.refreshSlicePage = &ReductionRefreshSlicePage;
}

}  // namespace orva
