// The Source's Options page: how the raw bytes of the opened file are read, described
// anew one parameter at a time through the data set's read state.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "app/ui_elements.h"
#include "common/printf_format.h"
#include "framework/display_lock.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/frame_access.h"
#include "io/service_description.h"
#include "platform/message_box.h"
#include "toolkit/layout.h"
#include "toolkit/window.h"
#include "views/source_component.h"
#include "views/source_page_parts.h"
#include "views/source_pages.h"
#include "views/view_page_parts.h"

namespace orva {

namespace {

constexpr uint32_t kWarningColour = 0x423317Fu;
constexpr uint32_t kToggleColour = 0x46D7070u;
constexpr uint32_t kLockColour2 = 0x462727Fu;
constexpr uint32_t kNameColour = 0x4212429u;
constexpr float kInnerWidth = 300.0f;

constexpr uint32_t kTypeBits[6] = {0x01, 0x02, 0x08, 0x20, 0x10, 0x40};
const char* const kTypeLabels[6] = {"8 Bit", "16 Bit", "32 Bit", "64 Bit", "Real 32", "Real 64"};
constexpr uint32_t kCropFields[6] = {kOptCropX, kOptCropW, kOptCropY, kOptCropH, kOptCropZ, kOptCropD};

constexpr char kAlertTitle[] = "Alerting message";
constexpr char kAlertText[] =
    "change of this parameter can cause a floating point error...   \r\nIt will causeslow data processing. ";

// The page element, its Source and the Source's data set.
struct OptionsContext {
    UIElement* e = nullptr;
    SourceComponent* s = nullptr;
    DataSet* d = nullptr;
};

UIElement* OptionsElement(uintptr_t data) {
    auto* e = reinterpret_cast<UIElement*>(data);
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= kOptSlotCount ? e : nullptr;
}

OptionsContext From(uintptr_t data) {
    OptionsContext c;
    c.e = OptionsElement(data);
    c.s = SourceOfElement(c.e);
    c.d = c.s != nullptr ? c.s->Input() : nullptr;
    return c;
}


// The slot of a widget of the page, or -1.
int32_t SlotOf(UIElement* e, const gElement* w) {
    if (w == nullptr) return -1;
    for (uint32_t i = 0; i < kOptSlotCount; ++i)
        if (PageSlot(e, i) == w) return static_cast<int32_t>(i);
    return -1;
}

bool Real(uint32_t type) { return (type & 0x50) != 0; }
bool EightBit(uint32_t type) { return (type & 0x7F) == 0x01; }

// Locked: "Lock known" is on and the file states every bit asked for.
bool Locked(const DataSet* d, uint64_t bits) { return d->lockKnown != 0 && (d->flags & bits) == bits; }

void ShowU32(gElement* w, uint32_t v) { SetWidgetText(w, FormatString("%u", v).substr(0, 10).c_str()); }
void ShowI32(gElement* w, int32_t v) { SetWidgetText(w, FormatString("%d", v).substr(0, 11).c_str()); }
void ShowI64(gElement* w, int64_t v) {
    SetWidgetText(w, FormatString("%I64d", static_cast<long long>(v)).substr(0, 20).c_str());
}

// The label in front of a field goes and comes with it.
void ShowField(gElement* w, bool on) {
    if (w == nullptr) return;
    SetWidgetShown(w, on);
    gElement* label = w->prev;
    if (label != nullptr && gWgtIsLive(label) && label->kind == 3) SetWidgetShown(label, on);
}
bool Hidden(gElement* w) { return w != nullptr && !WidgetWanted(w); }

uint32_t ShownFrames(const DataSet* d) { return d->framesToUse != 0 ? d->framesToUse : d->TotalFrames(); }

// The section's byte span in blocks of the sample's bytes.
int64_t Blocks(const DataSet* d, const SectionFields& f) {
    const int64_t bytes = std::max<int64_t>(1, (static_cast<int64_t>(d->input.bits) + 7) / 8);
    return f.end > f.begin ? (f.end - f.begin) / bytes : 0;
}

int64_t Magnitude(int64_t v) { return v >= 0 ? v : (v == INT64_MIN ? INT64_MAX : -v); }

// ---- Parts of the refresh ---------------------------------------------------------------

// Exactly one size toggle pressed; "Unsigned" and "Byteswap" by the type.
void ShowSampleType(UIElement* e, const DataSet* d, uint32_t type, bool swapped) {
    int pressed = -1;
    for (int i = 0; i < 6 && pressed < 0; ++i)
        if (type & kTypeBits[i]) pressed = i;
    for (int i = 0; i < 6; ++i) SetWidgetValue(PageSlot(e, kOptType8 + static_cast<uint32_t>(i)), i == pressed);
    gElement* sign = PageSlot(e, kOptUnsigned);
    if (Real(type)) {
        SetWidgetEnabled(sign, false);
        SetWidgetValue(sign, false);
    } else {
        SetWidgetEnabled(sign, !Locked(d, kFlagSign));
        SetWidgetValue(sign, (type & 0x100) != 0 && (type & 0x2F) != 0);
    }
    gElement* swap = PageSlot(e, kOptByteswap);
    if (EightBit(type)) {
        SetWidgetEnabled(swap, false);
        SetWidgetValue(swap, false);
    } else {
        SetWidgetEnabled(swap, !Locked(d, kFlagByteOrder));
        SetWidgetValue(swap, swapped);
    }
}

void ShowSampleTypeOf(UIElement* e, const DataSet* d) {
    const uint32_t type = d->input.type;
    ShowSampleType(e, d, type, (type & 0x80) != 0 && !EightBit(type));
}

void ShowBeginEnd(UIElement* e, const SectionFields* f) {
    if (f != nullptr) {
        ShowI64(PageSlot(e, kOptBegin), f->begin);
        ShowI64(PageSlot(e, kOptEnd), f->end);
    } else {
        SetWidgetText(PageSlot(e, kOptBegin), "");
        SetWidgetText(PageSlot(e, kOptEnd), "");
    }
}

// The channels, frames, sections, axes, blocks and crop box.
void SectionFieldRefresh(UIElement* e, DataSet* d, const SectionFields* f) {
    const uint32_t channels = d->input.channels;
    gElement* count = PageSlot(e, kOptChannels);
    ShowU32(count, channels);
    SetWidgetEnabled(count, false);
    SetWidgetText(PageSlot(e, kOptChannelMode), ChannelModeLabel(channels, d->channelMode));
    SetWidgetEnabled(PageSlot(e, kOptChannelMenu), channels > 1);
    gElement* selector = PageSlot(e, kOptSelector);
    ShowU32(selector, d->selectedChannel);
    SetWidgetEnabled(selector, channels > 1 && d->channelMode == kChannelSelected);
    ShowU32(PageSlot(e, kOptFrames), ShownFrames(d));
    ShowI32(PageSlot(e, kOptStep), d->frameStep);
    uint32_t sections = 0;
    if (d->sectionsInFrame >= 0)
        sections = static_cast<uint32_t>(d->sectionsInFrame);
    else if (d->StepFrames() > 0)
        sections = FrameSectionCount(*d, d->currentFrame);
    else if (d->NoFrameTable())
        sections = d->sections;
    ShowU32(PageSlot(e, kOptSections), sections);
    if (f != nullptr) {
        ShowI64(PageSlot(e, kOptAxisX), f->size[0]);
        ShowI64(PageSlot(e, kOptAxisY), f->size[1]);
        ShowI64(PageSlot(e, kOptAxisZ), f->size[2]);
        if (!Hidden(PageSlot(e, kOptBlocks))) ShowI64(PageSlot(e, kOptBlocks), Blocks(d, *f));
        for (int axis = 0; axis < 3; ++axis) {
            ShowI64(PageSlot(e, kCropFields[2 * axis]), f->cropOrigin[axis]);
            ShowI64(PageSlot(e, kCropFields[2 * axis + 1]), f->cropSize[axis]);
        }
    } else if (!Hidden(PageSlot(e, kOptAxisX))) {
        for (uint32_t slot : {kOptAxisX, kOptAxisY, kOptAxisZ, kOptBlocks}) SetWidgetText(PageSlot(e, slot), "");
        for (uint32_t slot : kCropFields) SetWidgetText(PageSlot(e, slot), "");
    }
}

void EnablingRules(UIElement* e, DataSet* d) {
    MarkPageRepaint(e);
    const bool scaleOn = !Locked(d, kFlagScale), zeroOn = !Locked(d, kFlagZero);
    SetWidgetEnabled(PageSlot(e, kOptScale), scaleOn);
    SetWidgetEnabled(PageSlot(e, kOptScaleMenu), scaleOn);
    SetWidgetEnabled(PageSlot(e, kOptZero), zeroOn);
    SetWidgetEnabled(PageSlot(e, kOptZeroMenu), zeroOn);
    SectionFields f;
    if (d->readState == nullptr || !d->NoFrameTable()) {
        // Only the scaling, the frames and the crop box can be described anew.
        if (Hidden(PageSlot(e, kOptBegin))) return;
        for (uint32_t slot = kOptType8; slot <= kOptBlocks; ++slot) SetWidgetEnabled(PageSlot(e, slot), false);
        const bool record = CurrentSectionFields(d, &f);
        for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks}) ShowField(PageSlot(e, slot), false);
        if (!record)
            for (uint32_t slot : {kOptAxisX, kOptAxisY, kOptAxisZ}) ShowField(PageSlot(e, slot), false);
        return;
    }
    const uint32_t type = d->input.type;
    for (uint32_t slot = kOptType8; slot <= kOptTypeReal64; ++slot)
        SetWidgetEnabled(PageSlot(e, slot), !Locked(d, kFlagSampleSize));
    SetWidgetEnabled(PageSlot(e, kOptByteswap), !EightBit(type) && !Locked(d, kFlagByteOrder));
    SetWidgetEnabled(PageSlot(e, kOptUnsigned), !Real(type) && !Locked(d, kFlagSign));
    SetWidgetEnabled(PageSlot(e, kOptChannels), !Locked(d, kFlagChannels));
    SetWidgetEnabled(PageSlot(e, kOptSections), !Locked(d, kFlagSections));
    SetWidgetEnabled(PageSlot(e, kOptFrames), !Locked(d, kFlagFrames));
    if (!CurrentSectionFields(d, &f)) {
        for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks, kOptAxisX, kOptAxisY, kOptAxisZ})
            if (!Hidden(PageSlot(e, slot))) ShowField(PageSlot(e, slot), false);
        return;
    }
    for (uint32_t slot : {kOptBegin, kOptEnd, kOptBlocks, kOptAxisX, kOptAxisY, kOptAxisZ})
        if (Hidden(PageSlot(e, slot))) ShowField(PageSlot(e, slot), true);
    SetWidgetEnabled(PageSlot(e, kOptAxisX), !Locked(d, kFlagSizeX));
    SetWidgetEnabled(PageSlot(e, kOptAxisY), !Locked(d, kFlagSizeY));
    SetWidgetEnabled(PageSlot(e, kOptAxisZ), !Locked(d, kFlagSizeZ));
    SetWidgetEnabled(PageSlot(e, kOptBegin), !Locked(d, kFlagBeginPos));
    SetWidgetEnabled(PageSlot(e, kOptEnd), !Locked(d, kFlagEndPos));
    SetWidgetEnabled(PageSlot(e, kOptBlocks), !Locked(d, 0x719));
    SetWidgetEnabled(PageSlot(e, kOptStep), !Locked(d, kFlagFrameStep));
    for (uint32_t slot = kOptCropWhole; slot <= kOptCropD; ++slot)
        SetWidgetEnabled(PageSlot(e, slot), !Locked(d, kFlagCropBox));
}

// After a change: the fields that depend on the description shown again.
void ShowDescription(UIElement* e, DataSet* d) {
    SectionFields f;
    const bool record = CurrentSectionFields(d, &f);
    ShowBeginEnd(e, record ? &f : nullptr);
    SectionFieldRefresh(e, d, record ? &f : nullptr);
    OptionsShowScaleZero(e, d);
    MarkPageRepaint(e);
}

// The result of a change: the status and the "Update" colour.
void Sent(UIElement* e, DataSet* d, bool accepted) {
    OptionsStatus(e, accepted ? kStatusReady : kStatusRefused);
    OptionsUpdateColour(e, d);
}

}  // namespace

// ---- Shared with the menus ------------------------------------------------------------------

void OptionsUpdateColour(UIElement* e, DataSet* d) {
    gElement* update = PageSlot(e, kOptUpdate);
    if (update == nullptr || d == nullptr) return;
    MarkFieldColor(update, d->readState != nullptr && !SameAsDefaultDescription(d));
}

void OptionsShowScaleZero(UIElement* e, DataSet* d) {
    if (d == nullptr) return;
    SetWidgetText(PageSlot(e, kOptScale), FieldDoubleText(d->scale).c_str());
    SetWidgetText(PageSlot(e, kOptZero), FieldDoubleText(d->zero).c_str());
}

void OptionsStatus(UIElement* e, int32_t index) { ShowPageStatus(PageSlot(e, kOptStatus), index); }

bool& ByteswapAlertPending() {
    static bool pending = true;
    return pending;
}

// ---- The read state ---------------------------------------------------------------------

bool SetLayoutParameter(DataSet* d, uint32_t code, const PropertyValue* values, uint32_t count) {
    if (d == nullptr || d->readState == nullptr) return false;
    ReadState* state = d->readState.get();
    // The description before the change becomes the one "Last" brings back.
    DataSetInfo before;
    const bool kept = DataSetInfoCopy(&before, d);
    bool accepted;
    if (code == kPropNormaliseSnapshot0 || code == kPropNormaliseSnapshot1) {
        const int which = code == kPropNormaliseSnapshot0 ? 0 : 1;
        accepted = ReadStateSetProperty(state, d, code, nullptr, 0) && state->ApplySnapshot(d, which);
    } else {
        accepted = ReadStateSetProperty(state, d, code, values, count);
    }
    if (accepted && kept && !DataSetInfoEqual(before, *d)) state->TakeSnapshot(&before, 1);
    return accepted;
}

bool SameAsDefaultDescription(DataSet* d) {
    return d != nullptr && d->readState != nullptr && d->readState->CompareSnapshot(d, 0);
}

void CropShrinkAxis(int64_t n, int64_t* o, int64_t* s) {
    if (*o + 1 < n && *s > 2) {
        *o += 1;
        *s -= 2;
    }
}

void CropGrowAxis(int64_t n, int64_t* o, int64_t* s) {
    if (*o > 0 && *o <= n && *s <= n - *o - 2) {
        *o -= 1;
        *s += 2;
    }
}

void CropHalfAxis(int64_t n, int64_t* o, int64_t* s) {
    if (n > 1) {
        *o = std::max<int64_t>(n / 4, 1);
        *s = std::max<int64_t>(n - 2 * *o, 1);
    } else {
        *o = 0;
        *s = n;
    }
}

// ---- Building -------------------------------------------------------------------------------

void BuildSourceOptionsPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr || element->group == nullptr || element->window == nullptr) return;
    gGroup* group = element->group;
    group->gapX = 4.0f;
    group->gapY = 2.0f;
    group->marginLeft = group->marginTop = group->marginRight = group->marginBottom = 6.0f;
    if (element->name.empty()) element->name = "Options";
    if (gFont* font = GetUIFont(element->window)) gWgtSelect(element->window, font);
    PageRows r(element);
    using P = PageRows;

    r.NewRow();
    r.Label("NAME:");
    s[kOptName] = r.Field(261.0f, " ", nullptr, kNameColour);
    r.NewRow();
    r.Label("PATH:");
    s[kOptPath] = r.Field(261.0f, " ", nullptr, kNameColour);
    r.Separator(kInnerWidth - 8.0f);
    s[kOptLockKnown] = r.Button(47, 98.0f, "Lock known", &OptionsLockKnown, kWarningColour, kLockColour2);
    s[kOptDefault] = r.Button(37, 48.0f, "Default", &OptionsRestore);
    s[kOptLast] = r.Button(37, 48.0f, "Last", &OptionsRestore);
    s[kOptService] = r.Button(37, 98.0f, "Servis info", &OptionsRestore);
    r.NewRow();
    for (uint32_t i = 0; i < 6; ++i)
        s[kOptType8 + i] = r.Button(47, 48.0f, kTypeLabels[i], &OptionsSampleType, kToggleColour, kToggleColour2);
    r.NewRow();
    s[kOptByteswap] = r.Button(47, 62.0f, "Byteswap", &OptionsByteswap, kToggleColour, kToggleColour2);
    s[kOptUnsigned] = r.Button(47, 62.0f, "Unsigned", &OptionsUnsigned, kToggleColour, kToggleColour2);
    r.Separator(kInnerWidth - 8.0f);
    r.Label("Channels:");
    s[kOptChannels] = r.Field(32.0f, "1", &OptionsChannels);
    s[kOptChannelMenu] = r.Button(38, 12.0f, "", &ChannelModeMenuOpen);
    s[kOptChannelMode] = r.Add(4, 80.0f, "", P::kLabelColour, P::kLabelColour2);
    r.NewRow();
    r.Label("Channel selector:");
    s[kOptSelector] = r.Field(32.0f, "1", &OptionsSelector);
    r.NewRow();
    r.Label("Frames:");
    s[kOptFrames] = r.Field(80.0f, "1", &OptionsField);
    r.Label("Step:");
    s[kOptStep] = r.Field(80.0f, "1", &OptionsField);
    r.NewRow();
    r.Label("Sections:");
    s[kOptSections] = r.Field(80.0f, "1", nullptr);
    const struct {
        const char* label;
        uint32_t slot;
        const char* text;
    } rows[] = {{"Axis X:", kOptAxisX, "0"}, {"Axis Y:", kOptAxisY, "0"}, {"Axis Z:", kOptAxisZ, "0"},
                {"Begin:", kOptBegin, "0"},  {"End:", kOptEnd, "0"},      {"Blocks:", kOptBlocks, "0"},
                {"Scaling:", kOptScale, "1"}};
    for (const auto& row : rows) {
        r.NewRow();
        r.Label(row.label);
        s[row.slot] = r.Field(156.0f, row.text, &OptionsField);
    }
    s[kOptScaleMenu] = r.Button(38, 12.0f, "", &ScalingMenuOpen);
    r.NewRow();
    r.Label("Zero offset:");
    s[kOptZero] = r.Field(156.0f, "0.0000", &OptionsField);
    s[kOptZeroMenu] = r.Button(38, 12.0f, "", &ZeroOffsetMenuOpen);
    r.Separator(kInnerWidth - 8.0f);
    r.Label("Crop Bound Box:");
    s[kOptCropShrink] = r.Button(40, 13.0f, "-", &OptionsCrop);
    s[kOptCropGrow] = r.Button(40, 13.0f, "+", &OptionsCrop);
    s[kOptCropHalf] = r.Button(37, 46.0f, "Half", &OptionsCrop);
    s[kOptCropWhole] = r.Button(37, 13.0f, "\x9D", &OptionsCrop);
    static const char* const kCropLabels[6] = {"X:", "W:", "Y:", "H:", "Z:", "D:"};
    for (uint32_t i = 0; i < 6; ++i) {
        if (i % 2 == 0) r.NewRow();
        r.Label(kCropLabels[i]);
        s[kCropFields[i]] = r.Field(134.0f, "0", &OptionsField);
    }
    r.NewRow();
    s[kOptUpdate] = r.Button(37, 120.0f, "Update", &OptionsUpdate);
    s[kOptHeader] = r.Button(37, 120.0f, "Header", &OptionsHeader);
    r.NewRow();
    s[kOptStatus] = r.Add(4, kInnerWidth - 20.0f, "Ready", P::kLabelColour, P::kLabelColour2);
    gWinLayoutGroups(element->window);
}

// ---- Refresh --------------------------------------------------------------------------------

void RefreshSourceOptionsPage(SourceComponent* s, UIElement* e, int32_t pageId) {
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr || e->slotCount < kOptSlotCount) return;
    OptionsStatus(e, kStatusReady);
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    if (d == nullptr) return;
    MarkPageRepaint(e);
    auto* item = s->owner != nullptr && ProjectItemIsLive(s->owner) ? dynamic_cast<ProjectItem*>(s->owner) : nullptr;
    gElement* lock = PageSlot(e, kOptLockKnown);
    if (item == nullptr || pageId == kPageRefresh) {
        if (lock != nullptr && lock->enabled) {
            for (uint32_t slot = kOptLockKnown; slot <= kOptHeader; ++slot) SetWidgetEnabled(PageSlot(e, slot), false);
            SetWidgetText(PageSlot(e, kOptName), "[none]");
            SetWidgetText(PageSlot(e, kOptPath), "");
        }
        return;
    }
    if (lock != nullptr && !lock->enabled)
        for (uint32_t slot : {kOptLockKnown, kOptDefault, kOptLast, kOptUpdate, kOptHeader})
            SetWidgetEnabled(PageSlot(e, slot), true);
    SetWidgetEnabled(PageSlot(e, kOptService), d->service != nullptr);
    const size_t offset = item->path.NameOffset(), length = item->path.Length();
    const std::string text = item->path.Text();
    if (length == 0) {
        SetWidgetText(PageSlot(e, kOptName), "[none]");
        SetWidgetText(PageSlot(e, kOptPath), "");
    } else {
        SetWidgetText(PageSlot(e, kOptName), length > offset ? text.substr(offset).c_str() : "");
        SetWidgetText(PageSlot(e, kOptPath), offset == 0 ? text.c_str() : text.substr(0, offset - 1).c_str());
    }
    SetWidgetValue(lock, d->lockKnown != 0);
    ShowSampleTypeOf(e, d);
    SectionFields f;
    const bool record = d->TotalFrames() != 0 && CurrentSectionFields(d, &f);
    ShowBeginEnd(e, record ? &f : nullptr);
    SectionFieldRefresh(e, d, record ? &f : nullptr);
    OptionsShowScaleZero(e, d);
    OptionsUpdateColour(e, d);
    EnablingRules(e, d);
}

// ---- Handlers -------------------------------------------------------------------------------

void OptionsLockKnown(gElement* toggle, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr || toggle == nullptr) return;
    c.d->lockKnown = toggle->value != 0 ? 1 : 0;
    EnablingRules(c.e, c.d);
    OptionsStatus(c.e, kStatusReady);
}

void OptionsRestore(gElement* button, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr) return;
    const int32_t slot = SlotOf(c.e, button);
    const uint32_t code = slot == kOptDefault ? kPropNormaliseSnapshot0
                          : slot == kOptLast  ? kPropNormaliseSnapshot1
                          : slot == kOptService ? kPropServiceDescription
                                                : UINT32_MAX;
    if (code == UINT32_MAX) return;
    Sent(c.e, c.d, SetLayoutParameter(c.d, code, nullptr, 0));
    RefreshSourceOptionsPage(c.s, c.e, 0);
}

void OptionsSampleType(gElement* toggle, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr || toggle == nullptr) return;
    const int32_t slot = SlotOf(c.e, toggle);
    if (slot < static_cast<int32_t>(kOptType8) || slot > static_cast<int32_t>(kOptTypeReal64)) return;
    const uint32_t bit = kTypeBits[slot - static_cast<int32_t>(kOptType8)];
    if (c.d->input.type & bit) {
        OptionsStatus(c.e, kStatusReady);
        SetWidgetValue(toggle, true);
        RedrawWidget(toggle);
        return;
    }
    const PropertyValue value = PropertyValue::UInt32(bit);
    Sent(c.e, c.d, SetLayoutParameter(c.d, kPropSampleType, &value, 1));
    MarkPageRepaint(c.e);
    ShowSampleTypeOf(c.e, c.d);
    ShowDescription(c.e, c.d);
    if (c.e->window != nullptr) RepaintWindowNow(c.e->window, 7);
}

void OptionsUnsigned(gElement* toggle, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr || toggle == nullptr) return;
    if (Real(c.d->input.type)) {
        SetWidgetValue(toggle, false);
        SetWidgetEnabled(toggle, false);
        RedrawWidget(toggle);
        return;
    }
    const PropertyValue value = PropertyValue::Boolean(toggle->value != 0);
    Sent(c.e, c.d, SetLayoutParameter(c.d, kPropUnsigned, &value, 1));
    ShowSampleTypeOf(c.e, c.d);
    ShowDescription(c.e, c.d);
    RedrawWidget(toggle);
}

void OptionsByteswap(gElement* toggle, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr || toggle == nullptr) return;
    OptionsStatus(c.e, kStatusReady);
    if (FormatElementSize(c.d->input.type) <= 1) {
        SetWidgetValue(toggle, false);
        SetWidgetEnabled(toggle, false);
        RedrawWidget(toggle);
        return;
    }
    if (ByteswapAlertPending() && Real(c.d->input.type)) {
        ByteswapAlertPending() = false;
        CUI& cui = TheCUI();
        gWindow* owner = cui.mainWindow != nullptr ? cui.mainWindow : c.e->window;
        const int answer = ShowMessageBox(owner, kAlertText, kAlertTitle, platform::kMbYesNo);
        if (answer != platform::kIdYes) {
            SetWidgetValue(toggle, toggle->value == 0);
            RedrawWidget(toggle);
            return;
        }
    }
    const PropertyValue value = PropertyValue::Boolean(toggle->value != 0);
    Sent(c.e, c.d, SetLayoutParameter(c.d, kPropByteOrder, &value, 1));
    ShowSampleTypeOf(c.e, c.d);
    ShowDescription(c.e, c.d);
    RedrawWidget(toggle);
}

void OptionsChannels(gElement* field, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr) return;
    ShowU32(field, c.d->input.channels);
    RedrawWidget(field);
    OptionsUpdateColour(c.e, c.d);
    OptionsStatus(c.e, kStatusReady);
}

void OptionsSelector(gElement* field, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr || field == nullptr) return;
    DataSet* d = c.d;
    uint32_t value = 0;
    if (!ReadFieldUInt(field, &value, true) || value == 0) {
        OptionsStatus(c.e, kStatusBadValue);
    } else {
        const uint32_t channels = d->input.channels != 0 ? d->input.channels : 1;
        value = std::min(value, channels);
        const bool changed = value != d->selectedChannel;
        if (changed) {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            d->selectedChannel = value;
        }
        if (changed && channels > 1 && d->channelMode == kChannelSelected) {
            // Another channel is read: the kernels follow and what was kept of the former
            // one is forgotten.
            {
                std::lock_guard<std::recursive_mutex> hold(DisplayLock());
                d->FormatChanged();
            }
            if (d->notify != nullptr) d->notify->PropertiesChanged();
        }
        OptionsUpdateColour(c.e, d);
        OptionsStatus(c.e, kStatusReady);
    }
    ShowU32(field, d->selectedChannel);
    RedrawWidget(field);
}

void OptionsField(gElement* field, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr || field == nullptr) return;
    DataSet* d = c.d;
    const int32_t slot = SlotOf(c.e, field);
    PropertyValue value;
    uint32_t code = UINT32_MAX;
    bool good = false;
    switch (slot) {
        case kOptFrames: {
            uint32_t v = 0;
            good = ReadFieldUInt(field, &v, true) && v > 0;
            value = PropertyValue::UInt32(v);
            code = kPropFramesToUse;
            break;
        }
        case kOptStep: {
            int32_t v = 0;
            good = ReadFieldInt(field, &v, true) && v != 0;
            value = PropertyValue::Int32(v);
            code = kPropFrameStep;
            break;
        }
        case kOptAxisX: {
            int64_t v = 0;
            good = ReadFieldInt64(field, &v, true) && v > 0;
            value = PropertyValue::Int64(v);
            code = kPropSizeX;
            break;
        }
        case kOptAxisY:
        case kOptAxisZ: {
            // Read as 32-bit numbers: a larger one counts as the largest.
            int32_t v = 0;
            good = ReadFieldInt(field, &v, true) && v > 0;
            value = PropertyValue::Int64(v);
            code = slot == kOptAxisY ? kPropSizeY : kPropSizeZ;
            break;
        }
        case kOptBegin:
        case kOptEnd:
        case kOptBlocks: {
            int64_t v = 0;
            good = ReadFieldInt64(field, &v, true) && v >= 0;
            value = PropertyValue::Int64(v);
            code = slot == kOptBegin ? kPropDataBegin : slot == kOptEnd ? kPropDataEnd : kPropDataEndCount;
            break;
        }
        case kOptCropX:
        case kOptCropY:
        case kOptCropZ:
        case kOptCropW:
        case kOptCropH:
        case kOptCropD: {
            int64_t v = 0;
            good = ReadFieldInt64(field, &v, true);
            v = Magnitude(v);
            const bool size = slot == kOptCropW || slot == kOptCropH || slot == kOptCropD;
            if (size && v == 0) v = 1;
            value = PropertyValue::Int64(v);
            code = slot == kOptCropX   ? kPropCropX
                   : slot == kOptCropW ? kPropCropSizeX
                   : slot == kOptCropY ? kPropCropY
                   : slot == kOptCropH ? kPropCropSizeY
                   : slot == kOptCropZ ? kPropCropZ
                                       : kPropCropSizeZ;
            break;
        }
        case kOptScale: {
            double v = 0.0;
            good = ReadFieldDouble(field, &v, true) && std::isfinite(v) && std::fabs(v) > DBL_MIN;
            value = PropertyValue::Double(v);
            code = kPropScale;
            break;
        }
        case kOptZero: {
            double v = 0.0;
            good = ReadFieldDouble(field, &v, true);
            value = PropertyValue::Double(v);
            code = kPropZero;
            break;
        }
        default: return;
    }
    if (!good) {
        OptionsStatus(c.e, kStatusBadValue);
    } else if (code == kPropFramesToUse || code == kPropFrameStep) {
        // Which file frames are visited changes, not their values.
        Sent(c.e, d, c.s->ChangeFrameMapping([&] { return SetLayoutParameter(d, code, &value, 1); }));
    } else {
        Sent(c.e, d, SetLayoutParameter(d, code, &value, 1));
    }
    ShowDescription(c.e, d);
    RedrawWidget(field);
}

void OptionsCrop(gElement* button, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr) return;
    const int32_t slot = SlotOf(c.e, button);
    SectionFields f;
    if (slot >= static_cast<int32_t>(kOptCropWhole) && slot <= static_cast<int32_t>(kOptCropShrink) &&
        CurrentSectionFields(c.d, &f)) {
        InputRegion region;
        for (int axis = 0; axis < 3; ++axis) {
            int64_t o = f.cropOrigin[axis], s = f.cropSize[axis];
            const int64_t n = f.size[axis];
            switch (slot) {
                case kOptCropShrink: CropShrinkAxis(n, &o, &s); break;
                case kOptCropGrow: CropGrowAxis(n, &o, &s); break;
                case kOptCropHalf: CropHalfAxis(n, &o, &s); break;
                default:
                    o = 0;
                    s = n;
                    break;
            }
            region.position[axis] = o;
            region.size[axis] = s;
        }
        if (SetInputRegion(c.d, &region)) {
            OptionsUpdateColour(c.e, c.d);
            RefreshSourceOptionsPage(c.s, c.e, 0);
        }
    }
    OptionsStatus(c.e, kStatusReady);
}

void OptionsUpdate(gElement*, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.d == nullptr) return;
    const int result = ChooseServiceSaveName(c.d, true);
    if (result == 1) {
        OptionsUpdateColour(c.e, c.d);
        gElement* service = PageSlot(c.e, kOptService);
        SetWidgetEnabled(service, c.d->service != nullptr);
        RedrawWidget(service);
    }
    int32_t status = kStatusReady;
    switch (result) {
        case 1: status = kStatusUpdating; break;
        case 0:
        case 2: status = kStatusCantUpdate; break;
        case -2: status = kStatusCantOpen; break;
        default: break;
    }
    OptionsStatus(c.e, status);
}

void OptionsHeader(gElement*, uintptr_t data) {
    OptionsContext c = From(data);
    if (c.e != nullptr) OptionsStatus(c.e, kStatusReady);
}

}  // namespace orva
