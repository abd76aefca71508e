// The three drop-down menus of the Source's Options page: the channel mode, the scaling
// that maps the data's range onto a type's range, and the zero offset.
#include <cfloat>
#include <cmath>
#include <mutex>

#include "framework/display_lock.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/frame_access.h"
#include "toolkit/menu.h"
#include "views/source_component.h"
#include "views/source_page_parts.h"
#include "views/source_pages.h"

namespace orva {

namespace {

constexpr uint32_t kMenuColour = 0x4676A6Au;
constexpr int32_t kMaxRows = 13;

// One menu of the page: made on first use, kept until the page closes it. Each item's
// user data is its number (counted from 1 without separators).
struct SourceMenu {
    gMenu* menu = nullptr;
    gMenuRow rows[kMaxRows];
    int32_t count = 0;
};

SourceMenu& ChannelMenu() {
    static SourceMenu m;
    return m;
}
SourceMenu& ScaleMenu() {
    static SourceMenu m;
    return m;
}
SourceMenu& ZeroMenu() {
    static SourceMenu m;
    return m;
}

const char* const kChannelLabels[3] = {"Channel", "Summing", "Asis"};
const char* const kScaleLabels[13] = {"UINT 8",  "INT 8",  "UINT 16", "INT 16", "UINT 32",
                                      "INT 32",  "REAL (Normalize [0,1])", "REAL (Normalize [-1,1])",
                                      nullptr,   "1.0 [Raw]", "-1.0 [Raw Inv]", "Default [HD]", "Last edit"};
const char* const kZeroLabels[8] = {"INT  To  UINT [For integer case]", "UINT  To  INT [For integer case]",
                                    "Zero offset", "Remove mean", nullptr, "0.0 [Raw]", "Default [HD]", "Last edit"};

uint8_t ChooseChannel(void*, uint32_t item) {
    ChannelModeMenu(MenuPage(), static_cast<int32_t>(item));
    return 1;
}
uint8_t ChooseScale(void*, uint32_t item) {
    ScalingMenu(MenuPage(), static_cast<int32_t>(item));
    return 1;
}
uint8_t ChooseZero(void*, uint32_t item) {
    ZeroOffsetMenu(MenuPage(), static_cast<int32_t>(item));
    return 1;
}

bool Live(const SourceMenu& m) { return m.menu != nullptr && gMenuIsMenu(m.menu); }

gMenu* MenuFor(SourceMenu& m, gElement* owner, const char* const* labels, int32_t count, gAccelHandler handler) {
    if (Live(m)) return m.menu;
    m = SourceMenu{};
    m.menu = gMenuCreate(owner, nullptr, kMenuColour, 0, nullptr);
    if (m.menu == nullptr) return nullptr;
    m.count = count;
    uint32_t item = 0;
    for (int32_t i = 0; i < count; ++i) {
        const bool separator = labels[i] == nullptr;
        m.rows[i] = gMenuRow{labels[i], 0, separator ? nullptr : handler};
        if (!gMenuAddItems(m.menu, &m.rows[i], 1, false, separator ? 0 : ++item, nullptr)) {
            gMenuDelete(m.menu);
            m = SourceMenu{};
            return nullptr;
        }
    }
    return m.menu;
}

void CloseMenu(SourceMenu& m) {
    if (Live(m)) gMenuDelete(m.menu);
    m = SourceMenu{};
}

// The row of an item number.
gMenuItem* ItemOf(SourceMenu& m, int32_t item) {
    if (!Live(m)) return nullptr;
    int32_t n = 0;
    for (int32_t i = 0; i < m.count; ++i) {
        if (m.rows[i].label == nullptr) continue;
        if (++n == item) return m.rows[i].item != nullptr && gMenuIsItem(m.rows[i].item) ? m.rows[i].item : nullptr;
    }
    return nullptr;
}

void Check(SourceMenu& m, int32_t item, bool on) {
    if (gMenuItem* i = ItemOf(m, item)) gMenuCheckItem(i, on);
}
void Enable(SourceMenu& m, int32_t item, bool on) {
    if (gMenuItem* i = ItemOf(m, item)) gMenuEnableItem(i, !on);
}

struct MenuContext {
    UIElement* e = nullptr;
    SourceComponent* s = nullptr;
    DataSet* d = nullptr;
};

MenuContext ContextOf(UIElement* e) {
    MenuContext c;
    if (e == nullptr || !UIElementIsLive(e)) return c;
    c.e = e;
    c.s = SourceOfElement(e);
    c.d = c.s != nullptr ? c.s->Input() : nullptr;
    return c;
}

// A scale the read state takes: finite, not subnormal, above the smallest normal double.
bool UsableScale(double s) { return std::isfinite(s) && std::fabs(s) > DBL_MIN; }
bool UsableZero(double z) { return std::isfinite(z) && (z == 0.0 || std::fabs(z) >= DBL_MIN); }

bool IntegerStored(uint32_t type) { return (type & 0x2F) != 0 && (type & 0x50) == 0; }

// 2^(n-1) for the stored integer width; 0 for 64-bit integers.
double HalfRange(uint32_t type) {
    if (type & 0x20) return 0.0;
    if (type & 0x08) return 2147483648.0;
    if (type & 0x04) return 8388608.0;
    if (type & 0x02) return 32768.0;
    return 128.0;
}

// The data's totals as the read state maps them: stored values times the channel factor.
bool StoredTotals(DataSet* d, double* minimum, double* maximum) {
    const SectionStatistics* t = DataSetTotalInfo(d, 2);
    if (t == nullptr || t->count == 0) return false;
    *minimum = d->cacheRawMin;
    *maximum = d->cacheRawMax;
    return true;
}

// Hands a scale or zero change to the read state; the page then shows what it made of it.
void SendValues(const MenuContext& c, uint32_t code, const PropertyValue* values, uint32_t count) {
    if (!SetLayoutParameter(c.d, code, values, count)) {
        OptionsStatus(c.e, kStatusRefused);
        return;
    }
    OptionsUpdateColour(c.e, c.d);
    OptionsShowScaleZero(c.e, c.d);
    MarkPageRepaint(c.e);
    OptionsStatus(c.e, kStatusReady);
}

}  // namespace

// ---- Opening and closing -------------------------------------------------------------------

namespace {

void Open(SourceMenu& m, gElement* button, uintptr_t data, const char* const* labels, int32_t count,
          gAccelHandler handler, void (*show)(UIElement*, int32_t)) {
    auto* e = reinterpret_cast<UIElement*>(data);
    if (button == nullptr || e == nullptr || !UIElementIsLive(e)) return;
    if (Live(m) && gMenuIsOpen(m.menu)) return;
    gMenu* menu = MenuFor(m, button, labels, count, handler);
    if (menu == nullptr) return;
    MenuContext c = ContextOf(e);
    show(e, 0);
    if (c.d == nullptr) return;
    MenuPage() = e;
    gMenuPopupAt(menu, button, 0);
}

}  // namespace

void ChannelModeMenuOpen(gElement* button, uintptr_t data) {
    Open(ChannelMenu(), button, data, kChannelLabels, 3, &ChooseChannel, &ChannelModeMenu);
}
void ScalingMenuOpen(gElement* button, uintptr_t data) {
    Open(ScaleMenu(), button, data, kScaleLabels, 13, &ChooseScale, &ScalingMenu);
}
void ZeroOffsetMenuOpen(gElement* button, uintptr_t data) {
    Open(ZeroMenu(), button, data, kZeroLabels, 8, &ChooseZero, &ZeroOffsetMenu);
}
void ChannelModeMenuClose() { CloseMenu(ChannelMenu()); }
void ScalingMenuClose() { CloseMenu(ScaleMenu()); }
void ZeroOffsetMenuClose() { CloseMenu(ZeroMenu()); }

// ---- Channel mode --------------------------------------------------------------------------

void ChannelModeMenu(UIElement* element, int32_t item) {
    MenuContext c = ContextOf(element);
    SourceMenu& m = ChannelMenu();
    if (c.d == nullptr) {
        for (int32_t i = 1; i <= 3; ++i) Check(m, i, false);
        return;
    }
    DataSet* d = c.d;
    if (item == 0) {
        Check(m, 1, d->channelMode == kChannelSelected);
        Check(m, 2, d->channelMode == kChannelSumming);
        Check(m, 3, d->channelMode == kChannelAsIs);
        return;
    }
    if (item < 1 || item > 3) return;
    const int32_t start = d->channelMode;
    const int32_t mode = item == 1 ? kChannelSelected : item == 2 ? kChannelSumming : kChannelAsIs;
    const uint32_t channels = d->input.channels;
    if (mode != start) {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        d->channelMode = mode;
    }
    if (mode != start && channels > 1) {
        if ((start == kChannelAsIs) != (mode == kChannelAsIs)) {
            // The channels offered downstream change: the read kernels are chosen anew and
            // the Source hands the new format on.
            {
                std::lock_guard<std::recursive_mutex> hold(DisplayLock());
                d->ForgetStatistics();
            }
            DataSetRefreshKernels(d);
        } else {
            {
                std::lock_guard<std::recursive_mutex> hold(DisplayLock());
                d->FormatChanged();
            }
            if (d->notify != nullptr) d->notify->PropertiesChanged();
        }
    }
    gElement* selector = PageSlot(c.e, kOptSelector);
    const bool selectable = channels > 1 && d->channelMode == kChannelSelected;
    if (selector != nullptr && (selector->enabled != 0) != selectable) {
        SetWidgetEnabled(selector, selectable);
        RedrawWidget(selector);
    }
    if (mode != start && channels > 1) {
        gElement* text = PageSlot(c.e, kOptChannelMode);
        SetWidgetText(text, ChannelModeLabel(channels, d->channelMode));
        RedrawWidget(text);
        OptionsUpdateColour(c.e, d);
    }
    OptionsStatus(c.e, kStatusReady);
}

// ---- Scaling -------------------------------------------------------------------------------

void ScalingMenu(UIElement* element, int32_t item) {
    MenuContext c = ContextOf(element);
    DataSet* d = c.d;
    if (d == nullptr) return;
    if (item < 1 || item > 12) {
        // The items follow the lock of the scale; "Last edit" needs an edit to go back to.
        SourceMenu& m = ScaleMenu();
        const bool locked = d->lockKnown != 0 && (d->flags & kFlagScale) != 0;
        for (int32_t i = 1; i <= 11; ++i) Enable(m, i, !locked);
        Enable(m, 12, !locked && (d->axisZero[1] != d->zero || d->axisScale[1] != d->scale));
        return;
    }
    double scale = 1.0, zero = 0.0;
    if (item <= 8) {
        static const double kTargets[8][2] = {{0.0, 255.0},
                                              {-128.0, 127.0},
                                              {0.0, 65535.0},
                                              {-32768.0, 32767.0},
                                              {0.0, 4294967295.0},
                                              {-2147483648.0, 2147483647.0},
                                              {0.0, 1.0},
                                              {-1.0, 1.0}};
        double minimum = 0.0, maximum = 0.0;
        if (!StoredTotals(d, &minimum, &maximum)) {
            OptionsStatus(c.e, kStatusNoStatistic);
            return;
        }
        const double lo = kTargets[item - 1][0], hi = kTargets[item - 1][1];
        // An empty range maps onto nothing.
        if (!(maximum > minimum)) {
            OptionsStatus(c.e, kStatusCantRescale);
            return;
        }
        scale = (hi - lo) / (maximum - minimum);
        zero = hi - scale * maximum;
    } else if (item == 10) {
        scale = -1.0;
    } else if (item == 11) {
        scale = d->statedScale;
        zero = d->statedZero;
    } else if (item == 12) {
        scale = d->axisScale[1];
        zero = d->axisZero[1];
    }
    if (!UsableScale(scale) || !UsableZero(zero)) {
        OptionsStatus(c.e, kStatusCantRescale);
        return;
    }
    const PropertyValue pair[2] = {PropertyValue::Double(scale), PropertyValue::Double(zero)};
    SendValues(c, kPropScaleZero, pair, 2);
}

// ---- Zero offset ---------------------------------------------------------------------------

void ZeroOffsetMenu(UIElement* element, int32_t item) {
    MenuContext c = ContextOf(element);
    DataSet* d = c.d;
    if (d == nullptr || item < 1 || item > 7 || !IntegerStored(d->input.type)) return;
    double zero = 0.0;
    switch (item) {
        case 1: zero = HalfRange(d->input.type); break;
        case 2: zero = -HalfRange(d->input.type); break;
        case 3:
        case 4: {
            const SectionStatistics* t = DataSetTotalInfo(d, 2);
            if (t == nullptr) return;
            const ValueRangeRecord r = ValueRangeOf(*t);
            // The physical minimum or mean moves to 0.
            if (item == 3) {
                if (r.count == 0 || r.min > r.max) return;
                zero = d->zero - r.min;
            } else {
                if (r.mean == kStatisticUnset) return;
                zero = d->zero - r.mean;
            }
            break;
        }
        case 5: zero = 0.0; break;
        case 6: zero = d->statedZero; break;
        default: zero = d->axisZero[1]; break;
    }
    const PropertyValue value = PropertyValue::Double(zero);
    SendValues(c, kPropZero, &value, 1);
}

}  // namespace orva
