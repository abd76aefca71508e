#include "views/output_page.h"

#include <GL/gl.h>
#include <unistd.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/main_menu.h"
#include "app/page_rows.h"
#include "app/property_pages.h"
#include "app/status_line.h"
#include "app/ui_elements.h"
#include "common/number_text.h"
#include "common/system.h"
#include "platform/disk.h"
#include "platform/window_api.h"
#include "toolkit/edit_field.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/number_field.h"
#include "toolkit/painters.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/output_component.h"

namespace orva {

namespace {

constexpr uint32_t kPageStyle = 0x24000;
constexpr float kRowHeight = 15.0f;
constexpr uint32_t kButtonColour = 0x46D7070;
constexpr uint32_t kBackdropColour = 0x4676A6A;
constexpr size_t kPatternMax = 260;
// The page's window: hidden or minimised.
constexpr uint32_t kHiddenBits = 0x1800;

const char* const kStatusTexts[10] = {"Ready",
                                      "Can`t init decode convertor",
                                      "Can`t init encode convertor",
                                      "Bad value",
                                      "Can`t rescale",
                                      "Can`t update",
                                      "Can`t alloc memory",
                                      "Can`t open file",
                                      "Can`t rescale... Calc statistic first [tab info]",
                                      "Update..."};
constexpr int32_t kStatusReady = 0;
constexpr int32_t kStatusBadValue = 3;

// The six size toggles: their type bits.
constexpr uint32_t kSizeBits[6] = {0x01, 0x02, 0x08, 0x20, 0x10, 0x40};
const char* const kSizeLabels[6] = {"8 Bit", "16 Bit", "32 Bit", "64 Bit", "Real 32", "Real 64"};

// The target menu's entries and their stages.
const uint32_t* const kTargetPairs[4] = {kStageInput, kStageProcessed, kStageReduction, kStageBitmap};

int32_t& LastStatus() {
    static int32_t last = -1;
    return last;
}

// ---- Reaching the model ---------------------------------------------------------------------

OutputComponent* OutputOf(const UIElement* e) {
    if (e == nullptr || !UIPageIsLive(e->page) || e->page->current == nullptr || !ComponentIsLive(e->page->current))
        return nullptr;
    return dynamic_cast<OutputComponent*>(e->page->current);
}

gElement* Slot(UIElement* e, uint32_t index) {
    if (e == nullptr || e->slots == nullptr || index >= e->slotCount) return nullptr;
    gElement* w = e->slots[index];
    return w != nullptr && gWgtIsLive(w) ? w : nullptr;
}

void Repaint(UIElement* e) {
    if (e != nullptr && e->window != nullptr && gWinValidate(e->window) != nullptr) e->window->dirty = 7;
}

void SetText(gElement* w, const char* text) {
    if (w != nullptr && w->text != (text != nullptr ? text : "")) gWgtSetText(w, text);
}

void SetEnabled(gElement* w, bool on) {
    if (w != nullptr) w->enabled = on ? 1 : 0;
}

void SetValue(gElement* w, bool on) {
    if (w != nullptr) w->value = on ? 1u : 0u;
}

void Status(UIElement* e, int32_t index) { OutputStatusText(Slot(e, kOutStatus), index); }

void ShowUnsigned(gElement* w, uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    SetText(w, text);
}

void ShowInt64(gElement* w, int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    SetText(w, text);
}

// The shortest text that reads back as the value: a field committed as shown changes nothing.
void ShowDouble(gElement* w, double value) {
    SetText(w, ShortestDoubleText(value).c_str());
}

// The data's sizes and frame count (what the target offers the writer).
struct DataShape {
    bool known = false;
    int64_t sizes[3] = {0, 0, 0};
    int64_t frames = 0;
};

DataShape ShapeOf(OutputComponent* output) {
    DataShape shape;
    OutputSourceInfo info;
    if (!OutputTargetInfo(output, &info)) return shape;
    shape.known = true;
    shape.sizes[0] = info.width;
    shape.sizes[1] = info.height;
    shape.sizes[2] = info.depth;
    shape.frames = info.frames;
    return shape;
}

// The allowed sizes of a mask: its plain size bits with its unsigned ones.
uint32_t AllowedSizes(uint32_t mask) { return (mask & 0x7F) | ((mask >> 8) & 0x3F); }

bool IsInteger(uint32_t type) { return (type & 0x2F) != 0 && (type & 0x50) == 0; }

// "Unsigned" may be changed: an integer type whose format names no types or both variants.
bool SignChoosable(uint32_t type, uint32_t mask) {
    if (!IsInteger(type)) return false;
    if ((mask & 0x3F7F) == 0) return true;
    const uint32_t size = type & 0x2F;
    return (mask & size) != 0 && (mask & (size << 8)) != 0;
}

// "Byteswap" may be changed: a type wider than 8 bits whose format names both orders or none.
bool OrderChoosable(uint32_t type, uint32_t mask) {
    if ((type & 0x7F) == 0x01) return false;
    const uint32_t orders = mask & 0x8080;
    return orders == 0 || orders == 0x8080;
}

// The size toggles, "Byteswap" and "Unsigned" from the output type and the mask.
void ShowTypeToggles(UIElement* e, uint32_t type, uint32_t mask) {
    const uint32_t allowed = AllowedSizes(mask);
    for (int i = 0; i < 6; ++i) {
        gElement* t = Slot(e, kOutSize8 + static_cast<uint32_t>(i));
        const bool on = (type & kSizeBits[i]) != 0;
        SetValue(t, on);
        SetEnabled(t, allowed == 0 || on || (allowed & kSizeBits[i]) != 0);
    }
    gElement* swap = Slot(e, kOutByteswap);
    SetValue(swap, (type & 0x80) != 0 && (type & 0x7F) != 0x01);
    SetEnabled(swap, OrderChoosable(type, mask));
    gElement* sign = Slot(e, kOutUnsigned);
    SetValue(sign, IsInteger(type) && (type & 0x100) != 0);
    SetEnabled(sign, SignChoosable(type, mask));
}

// The drive line: the mount point of the current folder, its total and free space, and
// the space left to the user when it differs.
std::string DriveLine() {
    char folder[PATH_MAX];
    if (::getcwd(folder, sizeof folder) == nullptr) return std::string();
    std::string mount;
    if (!platform::MountPoint(folder, &mount)) return std::string();
    uint64_t available = 0, total = 0, free = 0;
    if (!DiskFreeSpaceEx(mount.c_str(), &available, &total, &free)) return std::string();
    char a[32], t[32], f[32];
    ByteSizeText(t, total);
    ByteSizeText(f, free);
    std::string line = mount + ": " + t + ",   free: " + f;
    if (available != free) {
        ByteSizeText(a, available);
        line += std::string(" | ") + a;
    }
    return line;
}

void ClearPage(UIElement* e) {
    for (uint32_t i = 0; i < kOutSlotCount; ++i) {
        if (i == kOutStatus) continue;
        SetEnabled(Slot(e, i), false);
    }
    SetText(Slot(e, kOutFormat), "[none]");
    for (uint32_t i : {kOutCropX, kOutCropW, kOutCropY, kOutCropH, kOutCropZ, kOutCropD}) SetText(Slot(e, i), "");
    SetText(Slot(e, kOutDisk), "");
    SetText(Slot(e, kOutScale), "1");
    SetText(Slot(e, kOutZero), "0");
    SetText(Slot(e, kOutDataType), "[empty]");
}

// ---- Painters of the small buttons ------------------------------------------------------------

void Triangle(gElement* e, int direction) {
    const float x = e->x, y = e->y, w = e->cellWidth, h = e->cellHeight;
    if (gIsPicking()) {
        gPickRect(x, y, x + w, y + h);
        return;
    }
    gPaintButtonFace(e, e->value != 0 ? 2 : 0);
    const float cx = x + std::floor(w * 0.5f), cy = y + std::floor(h * 0.5f);
    if (e->enabled) {
        glColor3ub(24, 24, 32);
    } else {
        glColor3ub(120, 120, 128);
    }
    glBegin(GL_TRIANGLES);
    switch (direction) {
        case 0:  // back
            glVertex2f(cx + 2, cy - 4);
            glVertex2f(cx + 2, cy + 4);
            glVertex2f(cx - 2, cy);
            break;
        case 1:  // on
            glVertex2f(cx - 2, cy - 4);
            glVertex2f(cx - 2, cy + 4);
            glVertex2f(cx + 2, cy);
            break;
        default:  // a menu: pointing down the page
            glVertex2f(cx - 3, cy - 2);
            glVertex2f(cx + 3, cy - 2);
            glVertex2f(cx, cy + 2);
            break;
    }
    glEnd();
}
void PaintBack(gElement* e) { Triangle(e, 0); }
void PaintOn(gElement* e) { Triangle(e, 1); }
void PaintMenu(gElement* e) { Triangle(e, 2); }
// All frames: a bar at each end of a line.
void PaintAll(gElement* e) {
    const float x = e->x, y = e->y, w = e->cellWidth, h = e->cellHeight;
    if (gIsPicking()) {
        gPickRect(x, y, x + w, y + h);
        return;
    }
    gPaintButtonFace(e, e->value != 0 ? 2 : 0);
    glColor3ub(24, 24, 32);
    const float cy = y + std::floor(h * 0.5f);
    glRectf(x + 3, cy - 4, x + 4, cy + 4);
    glRectf(x + w - 4, cy - 4, x + w - 3, cy + 4);
    glRectf(x + 4, cy, x + w - 4, cy + 1);
}

// ---- Building ----------------------------------------------------------------------------------

struct Builder {
    gWindow* window;
    uint32_t slot;
    uintptr_t data;
    bool newRow = false;

    gElement* Add(int32_t kind, float width, const char* text, gPaintFn paint = nullptr,
                  void (*onClick)(gElement*, uintptr_t) = nullptr) {
        gWgtTemplate t{.desc = {.kind = kind, .style = slot | (newRow ? kWsNewRow : 0u), .width = width,
                                .height = kRowHeight, .text = text}};
        if (paint != nullptr) t.desc.paint = paint;
        if (onClick != nullptr) t.desc.onClick = onClick;
        if (kind >= 36) t.desc.color1 = kButtonColour;
        newRow = false;
        gElement* e = gWgtAdd(window, nullptr, &t, 0);
        if (e == nullptr) return nullptr;
        e->handlerData = data;
        if (kind >= 36) {
            e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
            if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
        }
        return e;
    }
    gElement* Row(const char* label) {
        newRow = true;
        return Add(3, -1.0f, label);
    }
    gElement* Label(const char* label) { return Add(3, -1.0f, label); }
    gElement* Display(float width, const char* text) {
        gElement* e = Add(6, width, text);
        if (e != nullptr) e->textAlign |= kEditReadOnly;
        return e;
    }
    gElement* Edit(float width, const char* text, void (*onChange)(gElement*, uintptr_t)) {
        gElement* e = Add(6, width, text);
        if (e != nullptr) e->onChange = onChange;
        return e;
    }
    gElement* Line() {
        newRow = true;
        gWgtTemplate t{.desc = {.kind = 16, .style = slot | kWsNewRow, .width = 270.0f, .height = 2.0f}};
        newRow = false;
        return gWgtAdd(window, nullptr, &t, 0);
    }
};

// ---- Menus ------------------------------------------------------------------------------------

struct PageMenu {
    gMenu* menu = nullptr;
    gMenuRow rows[4];
    int32_t count = 0;
};
PageMenu& TargetMenu() {
    static PageMenu m;
    return m;
}
PageMenu& MethodMenu() {
    static PageMenu m;
    return m;
}
PageMenu& QuantizationMenu() {
    static PageMenu m;
    return m;
}
// The page whose menu is open.
UIElement*& MenuElement() {
    static UIElement* e = nullptr;
    return e;
}

uint8_t ChooseTarget(void*, uint32_t entry) {
    OutputChooseTarget(MenuElement(), static_cast<int32_t>(entry));
    return 1;
}
uint8_t ChooseMethod(void*, uint32_t entry) {
    OutputChooseMethod(MenuElement(), static_cast<int32_t>(entry));
    return 1;
}
uint8_t ChooseQuantization(void*, uint32_t entry) {
    OutputChooseQuantization(MenuElement(), static_cast<int32_t>(entry));
    return 1;
}

// The menu of a page button, made on first use (again after the toolkit went).
gMenu* MenuFor(PageMenu& m, gElement* owner, const char* const* labels, int32_t count, gAccelHandler handler) {
    if (m.menu != nullptr && gMenuIsMenu(m.menu)) return m.menu;
    m.menu = gMenuCreate(owner, nullptr, 0, 0, nullptr);
    if (m.menu == nullptr) return nullptr;
    m.count = count;
    for (int32_t i = 0; i < count; ++i) m.rows[i] = gMenuRow{labels[i], 0, labels[i] != nullptr ? handler : nullptr};
    // Each row names its entry through its own user data.
    for (int32_t i = 0; i < count; ++i) {
        if (!gMenuAddItems(m.menu, &m.rows[i], 1, false, static_cast<uint32_t>(i), nullptr)) {
            gMenuDelete(m.menu);
            m.menu = nullptr;
            return nullptr;
        }
    }
    return m.menu;
}

void CheckRow(PageMenu& m, int32_t row, bool on) {
    if (row >= 0 && row < m.count && m.rows[row].item != nullptr && gMenuIsItem(m.rows[row].item))
        gMenuCheckItem(m.rows[row].item, on);
}

void EnableRow(PageMenu& m, int32_t row, bool on) {
    if (row >= 0 && row < m.count && m.rows[row].item != nullptr && gMenuIsItem(m.rows[row].item))
        gMenuEnableItem(m.rows[row].item, !on);
}

// The frame count as the page limits frames with (at least 1).
int64_t FrameCount(OutputComponent* output) {
    const DataShape shape = ShapeOf(output);
    return shape.frames < 1 ? 1 : shape.frames;
}

}  // namespace

// ---- Texts ----------------------------------------------------------------------------------------

const char* QuantizationText(int32_t q) { return q == 0 ? "Round" : q == 1 ? "Truncate" : "unknow"; }

const char* RangeModeText(int32_t mode) {
    switch (mode) {
        case kRangeAuto: return "Auto";
        case kRangeAsInput: return "As Input";
        case kRangeAsis: return "Asis";
        default: return "User defined";
    }
}

const char* RecordMethodText(int32_t method) {
    switch (method) {
        case kRecordFramePerFile: return "one frame in a file";
        case kRecordSectionPerFile: return "one section in a file";
        default: return "default";
    }
}

void OutputStatusReset() { LastStatus() = -1; }

const char* OutputStatusString(int32_t index) { return index >= 0 && index <= 9 ? kStatusTexts[index] : ""; }

void OutputStatusText(gElement* status, int32_t index) {
    if (index < 0 || index > 9 || index == LastStatus() || status == nullptr || !gWgtIsLive(status)) return;
    LastStatus() = index;
    status->textColor = status->textColor2 = index >= 1 && index <= 8 ? kStatusErrorColour : kStatusDefaultColour;
    status->textAlign |= 0x400;
    gWgtSetText(status, kStatusTexts[index]);
    if (status->window != nullptr && gWinValidate(status->window) != nullptr) status->window->dirty = 7;
}

int32_t OutputResultStatus(int32_t code) {
    switch (code) {
        case -2: return 7;
        case -1: return 0;
        case 0: return 6;
        case 1: return 9;
        default: return 0;
    }
}

void OutputPageShowResult(OutputComponent* output, int32_t code) {
    UIElement* e = OutputPageElement(output);
    if (e != nullptr) Status(e, OutputResultStatus(code));
}

// ---- The builder ----------------------------------------------------------------------------------

int32_t OutputPanelBuilder(PageWindow* pageWindow, void* window, int32_t code) {
    auto* page = static_cast<UIPage*>(pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || page->current == nullptr) return 0;
    if (code != kPageOptions && code != kPageRefresh && code != 1) return 0;
    const bool shown =
        ShowComponentPage(page, static_cast<gWindow*>(window), code == kPageOptions ? kPageStyle : 0, &OutputPanelBuilder,
                          kOutSlotCount, 0, 1, code, &BuildOutputPage,
                          [](UIPage*, UIElement* e, int32_t pageId) { RefreshOutputPage(e, pageId == kPageRefresh); },
                          nullptr);
    return shown ? 1 : 0;
}

void BuildOutputPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr || element->group == nullptr) return;
    gGroup* group = element->group;
    group->gapX = 4.0f;
    group->gapY = 2.0f;
    group->marginLeft = group->marginTop = group->marginRight = group->marginBottom = 6.0f;
    element->name = "Output";
    OutputStatusReset();
    if (gFont* font = GetUIFont(element->window)) gWgtSelect(element->window, font);
    Builder b{element->window, group->style & kWsSlotBits, reinterpret_cast<uintptr_t>(element)};

    b.Label("SOURCE");
    b.Row("Connect:");
    s[kOutTarget] = b.Display(200.0f, "[none]");
    s[kOutTargetMenu] = b.Add(37, 12.0f, "", &PaintMenu, &OutputTargetMenuOpen);
    b.Row("Data type:");
    s[kOutDataType] = b.Display(200.0f, "[--inf--]");
    b.Line();
    b.Row("DESTINATION");
    b.Row("Format:");
    s[kOutFormat] = b.Display(187.0f, "[none]");
    s[kOutFormatPrevious] = b.Add(37, 10.0f, "", &PaintBack, &OutputFormatStep);
    s[kOutFormatNext] = b.Add(37, 10.0f, "", &PaintOn, &OutputFormatStep);
    b.Row("OUTPUT DATA TYPE");
    b.newRow = true;
    for (int i = 0; i < 6; ++i) s[kOutSize8 + i] = b.Add(47, 43.0f, kSizeLabels[i], nullptr, &OutputSizeToggled);
    b.newRow = true;
    s[kOutByteswap] = b.Add(47, 62.0f, "Byteswap", nullptr, &OutputByteswapToggled);
    s[kOutUnsigned] = b.Add(47, 62.0f, "Unsigned", nullptr, &OutputUnsignedToggled);
    b.Row("Channel selector:");
    s[kOutChannel] = b.Edit(36.0f, "1", &OutputChannelChanged);
    s[kOutChannelSelector] = b.Add(47, 12.0f, "E", nullptr, &OutputSelectorToggled);
    b.Row("Frame First:");
    s[kOutFirst] = b.Edit(63.0f, "1", &OutputFirstChanged);
    b.Label("Last:");
    s[kOutLast] = b.Edit(63.0f, "1", &OutputLastChanged);
    s[kOutAllFrames] = b.Add(37, 13.0f, "", &PaintAll, &OutputAllFrames);
    b.Row("Formatting string:");
    s[kOutPattern] = b.Edit(183.0f, "%n#_%s", &OutputPatternChanged);
    b.Row("Method of record:");
    s[kOutMethod] = b.Display(162.0f, "[default]");
    s[kOutMethodMenu] = b.Add(37, 12.0f, "", &PaintMenu, &OutputMethodMenuOpen);
    b.Line();
    b.Row("Quantization:");
    s[kOutQuantization] = b.Display(170.0f, "Round");
    s[kOutQuantizationMenu] = b.Add(37, 12.0f, "", &PaintMenu, &OutputQuantizationMenuOpen);
    b.Row("Range data:");
    s[kOutRange] = b.Add(37, 70.0f, "User defined", nullptr, &OutputRangeStep);
    s[kOutClipMessage] = b.Add(47, 117.0f, "Show clipping msg", nullptr, &OutputClipToggled);
    b.Row("Scaling:");
    s[kOutScale] = b.Edit(168.0f, "1.0", &OutputScaleChanged);
    b.Row("Zero offset:");
    s[kOutZero] = b.Edit(168.0f, "0.0", &OutputZeroChanged);
    b.Line();
    b.newRow = true;
    s[kOutCrop] = b.Add(47, 110.0f, "Crop", nullptr, &OutputCropToggled);
    s[kOutCropReset] = b.Add(37, 110.0f, "Reset", nullptr, &OutputCropReset);
    static const char* const kCropLabels[6] = {"X:", "W:", "Y:", "H:", "Z:", "D:"};
    for (uint32_t i = 0; i < 6; ++i) {
        b.newRow = i % 2 == 0;
        gWgtTemplate t{.desc = {.kind = 37, .style = b.slot | (b.newRow ? kWsNewRow : 0u), .width = 20.0f,
                                .height = kRowHeight, .text = kCropLabels[i], .paint = &gPaintTextOnly}};
        b.newRow = false;
        s[32 + 2 * i] = gWgtAdd(b.window, nullptr, &t, 0);
        if (s[32 + 2 * i] != nullptr) s[32 + 2 * i]->active = 0;
        s[33 + 2 * i] = b.Edit(84.0f, "0", &OutputCropChanged);
    }
    b.newRow = true;
    s[kOutDiskLabel] = b.Label("Disk Info:");
    // The drive line (sizes and free space) is longer than the room beside its label: it
    // takes a row of its own, as wide as the page's lines.
    b.newRow = true;
    s[kOutDisk] = b.Display(270.0f, " ");
    b.newRow = true;
    s[kOutHeaderAddition] = b.Add(37, 110.0f, "Addition to header");
    s[kOutHeader] = b.Add(37, 110.0f, "Header");
    b.newRow = true;
    s[kOutStatus] = b.Display(250.0f, "Ready");
    gWinLayoutGroups(element->window);
}

// ---- Refresh --------------------------------------------------------------------------------------

void RefreshOutputPage(UIElement* e, bool clear) {
    if (e == nullptr || !UIElementIsLive(e) || e->slots == nullptr || e->slotCount < kOutSlotCount) return;
    OutputStatusReset();
    Status(e, kStatusReady);
    OutputComponent* output = OutputOf(e);
    ComponentBase* target = output != nullptr ? output->Target() : nullptr;
    void* description = nullptr;
    if (target != nullptr)
        description = target->CachedFrameDescription() != nullptr ? target->CachedFrameDescription()
                                                                  : target->QueryFrameDescription();
    if (clear || output == nullptr || output->settings == nullptr || description == nullptr) {
        ClearPage(e);
        Repaint(e);
        return;
    }
    OutputSettings& r = *output->settings;
    // 1. Everything that an empty page disabled.
    for (uint32_t i = 0; i <= kOutHeader; ++i) SetEnabled(Slot(e, i), true);
    SetEnabled(Slot(e, kOutDiskLabel), true);
    SetEnabled(Slot(e, kOutDisk), true);
    // 2. The target.
    const char* label = OutputTargetLabel(output->targetTags[0], output->targetTags[1]);
    SetText(Slot(e, kOutTarget), label != nullptr ? label : "");
    ProjectItem* item = OutputItemProjectItem(output);
    SetEnabled(Slot(e, kOutTargetMenu), output->explicitTarget == 0 && item != nullptr && HasCurrentItemWindow(item));
    SetEnabled(Slot(e, kOutFormatPrevious), output->writing == 0);
    SetEnabled(Slot(e, kOutFormatNext), output->writing == 0);
    // 3. Rows of axes the data has only one of.
    const DataShape shape = ShapeOf(output);
    const bool showY = !(shape.known && shape.sizes[1] == 1);
    const bool showZ = !(shape.known && shape.sizes[2] == 1);
    for (uint32_t i = 36; i <= 39; ++i) SetWidgetShown(Slot(e, i), showY);
    for (uint32_t i = 40; i <= 43; ++i) SetWidgetShown(Slot(e, i), showZ);
    // 4. Types, frames, pattern, drive.
    char text[128] = "";
    DataTypeTextAxis(output->negotiated.format, output->negotiated.element * 8, output->negotiated.channels,
                     output->negotiated.dims, text);
    SetText(Slot(e, kOutDataType), text);
    const uint32_t type = output->format != nullptr ? output->format->defaultType : 0x40;
    const uint32_t mask = output->format != nullptr ? output->format->allowedTypes : 0;
    ShowTypeToggles(e, type, mask);
    // A range typed before the data's frames changed (a new frame step) is brought into them.
    if (shape.known) OutputClampFrames(&r, shape.frames < 1 ? 1 : shape.frames);
    ShowUnsigned(Slot(e, kOutFirst), static_cast<uint64_t>(static_cast<int64_t>(r.firstFrame) + 1));
    ShowUnsigned(Slot(e, kOutLast), static_cast<uint64_t>(static_cast<int64_t>(r.lastFrame) + 1));
    SetText(Slot(e, kOutPattern), r.pattern.c_str());
    if (gElement* disk = Slot(e, kOutDisk); disk != nullptr && WidgetWanted(disk)) SetText(disk, DriveLine().c_str());
    // 5. The rest.
    SetText(Slot(e, kOutFormat), output->format == nullptr || output->format->name == nullptr ? "[noname]"
                                                                                               : output->format->name);
    ShowUnsigned(Slot(e, kOutChannel), static_cast<uint64_t>(r.channel < 1 ? 1 : r.channel));
    SetValue(Slot(e, kOutChannelSelector), r.channelSelector != 0);
    SetEnabled(Slot(e, kOutChannel), r.channelSelector != 0);
    SetText(Slot(e, kOutQuantization), QuantizationText(output->quantization));
    SetValue(Slot(e, kOutCrop), r.crop != 0);
    const uint32_t cropFields[6] = {kOutCropX, kOutCropW, kOutCropY, kOutCropH, kOutCropZ, kOutCropD};
    for (int axis = 0; axis < 3; ++axis) {
        const bool shown = axis == 0 || (axis == 1 && showY) || (axis == 2 && showY && showZ);
        if (shown) {
            ShowInt64(Slot(e, cropFields[2 * axis]), r.cropOrigin[axis]);
            ShowInt64(Slot(e, cropFields[2 * axis + 1]), r.cropSize[axis]);
        }
        SetEnabled(Slot(e, cropFields[2 * axis]), r.crop != 0);
        SetEnabled(Slot(e, cropFields[2 * axis + 1]), r.crop != 0);
    }
    SetText(Slot(e, kOutMethod), RecordMethodText(output->recordMethod));
    ShowDouble(Slot(e, kOutScale), r.effective.scale);
    ShowDouble(Slot(e, kOutZero), r.effective.zero);
    SetText(Slot(e, kOutRange), RangeModeText(output->rangeMode));
    SetValue(Slot(e, kOutClipMessage), OutputClipMessageSwitch());
    Repaint(e);
}

UIElement* OutputPageElement(OutputComponent* output) {
    if (output == nullptr || !ComponentIsLive(output)) return nullptr;
    auto* page = static_cast<UIPage*>(output->pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || page->current != output) return nullptr;
    UIElement* e = !page->table.empty() ? page->table[0] : nullptr;
    if (e == nullptr) e = UIElementFind(page, &OutputPanelBuilder);
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= kOutSlotCount ? e : nullptr;
}

void RefreshOutputPageIfOpen(OutputComponent* output, bool clear) {
    UIElement* e = OutputPageElement(output);
    if (e == nullptr || !gUiReady()) return;
    gWindow* w = e->window;
    if (w == nullptr || gWinValidate(w) == nullptr || (w->state & kHiddenBits) != 0) return;
    RefreshOutputPage(e, clear);
}

namespace {

// The options window that hosts the Output page over the main window, and its record.
UIWindowRecord* OutputPanelRecord(CUI& cui, OptionsWindow** container) {
    *container = nullptr;
    if (cui.mainWindow == nullptr) return nullptr;
    *container = FindContainerWindow(&cui, cui.mainWindow, &OutputPanelBuilder, cui.groups[0].style & ~kGroupPagesBit,
                                     nullptr);
    return *container != nullptr ? UIWindowRecordFind(*container, kPageOptions) : nullptr;
}

}  // namespace

int32_t OpenOutputPanel(int32_t code, int32_t argument) {
    CUI& cui = TheCUI();
    if (cui.mainWindow == nullptr) return 0;
    if (code == kOutputPanelClose && cui.currentOutput == nullptr) return 0;
    ComponentBase* output = code == kOutputPanelClose ? cui.currentOutput : CUIGetCurrentOutput(&cui);
    if (output == nullptr) return 0;
    OptionsWindow* container = nullptr;
    OutputPanelRecord(cui, &container);
    if (container == nullptr) return 0;
    // The page measures its texts with the window's font as it builds: its window is made
    // at once, not when it is first shown.
    if (UIWindowRecord* record = UIWindowRecordFind(container, kPageOptions))
        record->style = (record->style != 0 ? record->style : kWindowStyleKind3) & ~kStyleDeferred;
    const int32_t shown = OptionsPageRefresh(container, cui.mainWindow, code == kOutputPanelClose ? kWindowClose : 1, argument);
    if ((shown & 2) == 0) return 0;
    // The panel's window takes the page's size and the dialogs' backdrop.
    if (UIWindowRecord* record = UIWindowRecordFind(container, kPageOptions)) {
        gWindow* w = record->element.window;
        if (w != nullptr && gWinValidate(w) != nullptr) {
            // Settings standing over the picture: Esc puts them away, as it does a dialog
            // (the window has no box of its own).
            w->closeKey = kCloseKeyDefault;
            if ((shown & 1) == 0) {
                gWinSetBackdrop(w, nullptr, kBackdropColour);
                gWinFitToContent(w, 0);
                w->dirty = 7;
            }
        }
    }
    return kOutputPanelShown | ((shown & 1) != 0 ? kOutputPanelWasShown : 0);
}

bool OutputPanelShown() {
    OptionsWindow* container = nullptr;
    UIWindowRecord* record = OutputPanelRecord(TheCUI(), &container);
    gWindow* w = record != nullptr ? record->element.window : nullptr;
    return w != nullptr && gWinValidate(w) != nullptr && w->hwnd != nullptr && platform::IsWindowVisible(w->hwnd);
}

// ---- Handlers -------------------------------------------------------------------------------------

namespace {

// The element and output of a handler; the record is asked for where the control needs it.
struct OutputContext {
    UIElement* e = nullptr;
    OutputComponent* output = nullptr;
    OutputSettings* record = nullptr;
};

OutputContext From(uintptr_t data) {
    OutputContext c;
    c.e = LivePageElement(data, kOutSlotCount);
    c.output = OutputOf(c.e);
    c.record = c.output != nullptr ? c.output->settings : nullptr;
    return c;
}

// After a change: the model shown again with the status the change earned.
void Done(const OutputContext& c, bool good) {
    RefreshOutputPage(c.e, false);
    Status(c.e, good ? kStatusReady : kStatusBadValue);
}

// The ranges taken from the data ("Auto", and "As Input", whose zero holds the offset
// between signed and unsigned integers of one size) follow a change of the output type.
void RangeFollowsType(OutputComponent* output) {
    if (output->rangeMode == kRangeAuto || output->rangeMode == kRangeAsInput)
        OutputPrepareRange(output, output->rangeMode);
}

}  // namespace

void OutputSizeToggled(gElement* toggle, uintptr_t data) {
    OutputContext c = From(data);
    if (c.e == nullptr || toggle == nullptr) return;
    int index = -1;
    for (int i = 0; i < 6; ++i)
        if (Slot(c.e, kOutSize8 + static_cast<uint32_t>(i)) == toggle) index = i;
    if (index < 0) return;
    FormatDesc* format = c.output != nullptr ? c.output->format : nullptr;
    const uint32_t mask = format != nullptr ? format->allowedTypes : 0;
    if (c.record == nullptr || format == nullptr) {
        // Only the toggles: no size chosen counts as the 64-bit real.
        ShowTypeToggles(c.e, toggle->value != 0 ? kSizeBits[index] : 0x40, mask);
        Repaint(c.e);
        return;
    }
    const uint32_t present = format->defaultType;
    const uint32_t chosen = NormalizeFormatWord(kSizeBits[index] | (present & 0x180), mask);
    if ((chosen & 0x1FF) == (present & 0x1FF)) {
        SetValue(toggle, true);
        Repaint(c.e);
        return;
    }
    format->defaultType = chosen;
    RangeFollowsType(c.output);
    Done(c, true);
}

void OutputByteswapToggled(gElement* toggle, uintptr_t data) {
    OutputContext c = From(data);
    if (c.e == nullptr || c.output == nullptr || c.output->format == nullptr || toggle == nullptr) return;
    FormatDesc* format = c.output->format;
    uint32_t type = format->defaultType;
    const uint32_t mask = format->allowedTypes;
    bool on = toggle->value != 0;
    if (!OrderChoosable(type, mask)) {
        // Forced: never for 8 bits or a native-only format; always for a swapped-only one.
        on = (type & 0x7F) != 0x01 && (mask & 0x8080) == 0x80;
    }
    type = on ? (type | 0x80) : (type & ~0x80u);
    format->defaultType = type;
    Done(c, true);
}

void OutputUnsignedToggled(gElement* toggle, uintptr_t data) {
    OutputContext c = From(data);
    if (c.e == nullptr || c.output == nullptr || c.output->format == nullptr || toggle == nullptr) return;
    FormatDesc* format = c.output->format;
    uint32_t type = format->defaultType;
    const uint32_t mask = format->allowedTypes;
    bool on = toggle->value != 0;
    if (!SignChoosable(type, mask)) on = IsInteger(type) && (mask & ((type & 0x2F) << 8)) != 0;
    type = on ? (type | 0x100) : (type & ~0x100u);
    format->defaultType = type;
    RangeFollowsType(c.output);
    Done(c, true);
}

void OutputFormatStep(gElement* button, uintptr_t data) {
    OutputContext c = From(data);
    if (c.e == nullptr || c.output == nullptr) return;
    const int direction = button == Slot(c.e, kOutFormatNext) ? 1 : 0;
    const FormatDesc* next = StepWritableFormat(TheFormatRegistry(), c.output->format, direction);
    FormatDesc* format = RegisteredFormat(next);
    if (format != nullptr && OutputSelectFormat(c.output, format)) {
        RangeFollowsType(c.output);
        Done(c, true);
    }
}

void OutputChannelChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.e == nullptr) return;
    if (c.record == nullptr) {
        SetText(field, "1");
        return;
    }
    uint32_t value = 0;
    const bool good = ReadFieldUInt(field, &value, true) && value != 0;
    if (good) OutputClampChannel(c.output, value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value));
    Done(c, good);
}

void OutputSelectorToggled(gElement* toggle, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr || toggle == nullptr) return;
    c.record->channelSelector = toggle->value != 0 ? 1 : 0;
    Done(c, true);
}

namespace {

// A 1-based frame typed into a field: 0 counts as 1; above 2147483648 is a bad value.
bool ReadFrame(gElement* field, int64_t* zeroBased) {
    uint32_t value = 0;
    if (!ReadFieldUInt(field, &value, true) || value > 2147483648u) return false;
    *zeroBased = static_cast<int64_t>(value == 0 ? 1 : value) - 1;
    return true;
}

}  // namespace

void OutputFirstChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr) return;
    int64_t frame = 0;
    const bool good = ReadFrame(field, &frame);
    if (good) {
        frame = std::min<int64_t>(frame, FrameCount(c.output) - 1);
        frame = std::min<int64_t>(frame, c.record->lastFrame);
        c.record->firstFrame = static_cast<int32_t>(std::max<int64_t>(frame, 0));
    }
    Done(c, good);
}

void OutputLastChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr) return;
    int64_t frame = 0;
    const bool good = ReadFrame(field, &frame);
    if (good) {
        frame = std::min<int64_t>(frame, FrameCount(c.output) - 1);
        frame = std::max<int64_t>(frame, c.record->firstFrame);
        c.record->lastFrame = static_cast<int32_t>(std::min<int64_t>(frame, INT32_MAX));
    }
    Done(c, good);
}

void OutputAllFrames(gElement*, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr) return;
    c.record->firstFrame = 0;
    c.record->lastFrame = static_cast<int32_t>(std::min<int64_t>(FrameCount(c.output) - 1, INT32_MAX));
    Done(c, true);
}

void OutputPatternChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr || field == nullptr) return;
    const bool good = field->text.size() <= kPatternMax && OutputSettingsSetPattern(c.record, field->text.c_str());
    Done(c, good);
}

void OutputRangeStep(gElement*, uintptr_t data) {
    OutputContext c = From(data);
    if (c.output == nullptr) return;
    c.output->rangeMode = (c.output->rangeMode + 1) % 4;
    OutputPrepareRange(c.output, c.output->rangeMode);
    Done(c, true);
}

void OutputClipToggled(gElement* toggle, uintptr_t data) {
    OutputContext c = From(data);
    if (toggle == nullptr) return;
    OutputClipMessageSwitch() = toggle->value != 0;
    if (c.e != nullptr) Done(c, true);
}

void OutputScaleChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr) return;
    double value = 0.0;
    // Text that is not a number changes nothing.
    if (!ReadFieldDouble(field, &value, true)) {
        RefreshOutputPage(c.e, false);
        return;
    }
    Done(c, OutputEditScale(c.output, value) >= 0);
}

void OutputZeroChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr) return;
    double value = 0.0;
    const bool good = ReadFieldDouble(field, &value, true) && OutputEditZero(c.output, value) >= 0;
    Done(c, good);
}

void OutputCropToggled(gElement* toggle, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr || toggle == nullptr) return;
    c.record->crop = toggle->value != 0 ? 1 : 0;
    Done(c, true);
}

void OutputCropReset(gElement*, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr) return;
    const DataShape shape = ShapeOf(c.output);
    for (int axis = 0; axis < 3; ++axis) {
        c.record->cropOrigin[axis] = 0;
        if (shape.known) c.record->cropSize[axis] = shape.sizes[axis];
    }
    Done(c, true);
}

void OutputCropChanged(gElement* field, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr || field == nullptr) return;
    const uint32_t fields[6] = {kOutCropX, kOutCropW, kOutCropY, kOutCropH, kOutCropZ, kOutCropD};
    int which = -1;
    for (int i = 0; i < 6; ++i)
        if (Slot(c.e, fields[i]) == field) which = i;
    if (which < 0) return;
    int64_t value = 0;
    if (!ReadFieldInt64(field, &value, true)) {
        Done(c, false);
        return;
    }
    const int axis = which / 2;
    const DataShape shape = ShapeOf(c.output);
    const int64_t size = shape.known ? shape.sizes[axis] : 0;
    if (which % 2 == 0) {
        if (size > 0 && value >= size) value = size - 1;
        if (value < 0) value = 0;
        c.record->cropOrigin[axis] = value;
    } else {
        if (size > 0 && value > size) value = size;
        if (value < 1) value = 1;
        c.record->cropSize[axis] = value;
    }
    Done(c, true);
}

// ---- Menus ----------------------------------------------------------------------------------------

void OutputTargetMenuOpen(gElement* button, uintptr_t data) {
    OutputContext c = From(data);
    if (c.output == nullptr || button == nullptr) return;
    static const char* const kLabels[4] = {"Input  [ formats convertor only ]", "Processed data  [ input->...->filters ]",
                                           "Extractor | Statistic [ ...->filters->reduction ]",
                                           "Bitmap [screen device: ...->filters->bitmap]"};
    PageMenu& m = TargetMenu();
    gMenu* menu = MenuFor(m, button, kLabels, 4, &ChooseTarget);
    if (menu == nullptr) return;
    for (int32_t i = 0; i < 4; ++i) {
        EnableRow(m, i, OutputHasTargetData(c.output, kTargetPairs[i][0], kTargetPairs[i][1]));
        CheckRow(m, i, c.output->targetTags[0] == kTargetPairs[i][0] && c.output->targetTags[1] == kTargetPairs[i][1]);
    }
    MenuElement() = c.e;
    gMenuPopupAt(menu, button, 0);
}

void OutputMethodMenuOpen(gElement* button, uintptr_t data) {
    OutputContext c = From(data);
    if (c.record == nullptr || button == nullptr) return;
    static const char* const kLabels[3] = {"default", "one frame in a file", "one section in a file"};
    PageMenu& m = MethodMenu();
    gMenu* menu = MenuFor(m, button, kLabels, 3, &ChooseMethod);
    if (menu == nullptr) return;
    for (int32_t i = 0; i < 3; ++i) CheckRow(m, i, c.output->recordMethod == i);
    MenuElement() = c.e;
    gMenuPopupAt(menu, button, 0);
}

void OutputQuantizationMenuOpen(gElement* button, uintptr_t data) {
    OutputContext c = From(data);
    if (c.output == nullptr || button == nullptr) return;
    static const char* const kLabels[4] = {"Round", "Truncate", nullptr, "Options\x85"};
    PageMenu& m = QuantizationMenu();
    gMenu* menu = MenuFor(m, button, kLabels, 4, &ChooseQuantization);
    if (menu == nullptr) return;
    CheckRow(m, 0, c.output->quantization == 0);
    CheckRow(m, 1, c.output->quantization == 1);
    MenuElement() = c.e;
    gMenuPopupAt(menu, button, 0);
}

void OutputChooseTarget(UIElement* element, int32_t entry) {
    OutputContext c = From(reinterpret_cast<uintptr_t>(element));
    if (c.output == nullptr || entry < 0 || entry > 3) return;
    OutputSetTarget(c.output, OutputItemProjectItem(c.output), kTargetPairs[entry][0], kTargetPairs[entry][1], false);
    RefreshOutputPage(c.e, false);
}

void OutputChooseMethod(UIElement* element, int32_t method) {
    OutputContext c = From(reinterpret_cast<uintptr_t>(element));
    if (c.record == nullptr || method < 0 || method > 2) return;
    c.output->recordMethod = method;
    SetText(Slot(c.e, kOutMethod), RecordMethodText(method));
    Repaint(c.e);
}

void OutputChooseQuantization(UIElement* element, int32_t entry) {
    OutputContext c = From(reinterpret_cast<uintptr_t>(element));
    if (c.output == nullptr || (entry != 0 && entry != 1)) return;
    c.output->quantization = entry;
    SetText(Slot(c.e, kOutQuantization), QuantizationText(entry));
    Repaint(c.e);
}

PanelBuilder GetOutputPanelBuilder() { return &OutputPanelBuilder; }

}  // namespace orva
