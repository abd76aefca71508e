#include "views/source_page_parts.h"

#include <cstdio>
#include <cstring>

#include "common/number_text.h"
#include "io/data_set.h"
#include "io/frame_access.h"
#include "toolkit/edit_field.h"
#include "toolkit/number_field.h"
#include "toolkit/layout.h"
#include "toolkit/text_layout.h"
#include "toolkit/window.h"
#include "views/output_page.h"

namespace orva {

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

void SetWidgetShown(gElement* w, bool on) {
    if (w != nullptr) w->shown = on ? 1 : 0;
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

void ShowPageStatus(gElement* status, int32_t index) {
    if (status == nullptr) return;
    // The shared last index may name a text another page shows.
    if (status->text != OutputStatusString(index)) OutputStatusReset();
    OutputStatusText(status, index);
}

std::string DoubleText15(double value) {
    char text[96] = "";
    if (FormatDoubleDigits(15, 15, value, text) <= 0) std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

bool CurrentSectionFields(DataSet* d, SectionFields* out) {
    if (d == nullptr || out == nullptr || d->TotalFrames() == 0 || !SourceClampCurrentFrame(d)) return false;
    SectionFields f;
    if (SectionFrameTable* table = d->frameTable.get()) {
        const uint32_t fileFrame = MapFrameByStep(*d, d->currentFrame);
        const SectionEntry* entry =
            FrameTableSectionRecord(table, fileFrame, static_cast<uint32_t>(d->currentSection));
        if (entry == nullptr) return false;
        const SectionGeometry& g = entry->geometry;
        auto i64 = [](uint64_t v) { return v > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v); };
        f.begin = i64(g.dataPosition);
        uint64_t bytes = 0;
        const uint64_t planes = g.planes != 0 ? g.planes : 1;
        if (__builtin_mul_overflow(g.rowLength, g.rows, &bytes) || __builtin_mul_overflow(bytes, planes, &bytes) ||
            __builtin_mul_overflow(bytes, static_cast<uint64_t>(d->StoredPixelBytes()), &bytes) ||
            __builtin_add_overflow(bytes, g.dataPosition, &bytes))
            bytes = UINT64_MAX;
        f.end = i64(bytes);
        f.cropOrigin[0] = i64(g.cropX);
        f.cropOrigin[1] = i64(g.cropY);
        f.cropOrigin[2] = i64(g.cropZ);
        f.cropSize[0] = i64(g.cropSizeX);
        f.cropSize[1] = i64(g.cropSizeY);
        f.cropSize[2] = i64(g.cropSizeZ);
        f.size[0] = i64(g.rowLength);
        f.size[1] = i64(g.rows);
        f.size[2] = i64(g.planes);
    } else {
        if (static_cast<uint32_t>(d->currentSection) >= d->sections) return false;
        f.begin = d->dataBegin;
        f.end = d->dataEnd;
        f.cropOrigin[0] = d->cropX;
        f.cropOrigin[1] = d->cropY;
        f.cropOrigin[2] = d->cropZ;
        f.cropSize[0] = d->cropSizeX;
        f.cropSize[1] = d->cropSizeY;
        f.cropSize[2] = d->cropSizeZ;
        f.size[0] = d->sizeX;
        f.size[1] = d->sizeY;
        f.size[2] = d->sizeZ;
    }
    *out = f;
    return true;
}

int ShownAxes(const int64_t size[3]) {
    if (size[2] > 1) return 3;
    return size[1] > 1 ? 2 : 1;
}

UIElement*& MenuPage() {
    static UIElement* element = nullptr;
    return element;
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
        e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    }
    return e;
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
