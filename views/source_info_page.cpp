// The Source's panel builder, its Info page and the drive text of the Info page.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/property_pages.h"
#include "app/status_line.h"
#include "common/number_text.h"
#include "common/printf_format.h"
#include "common/system.h"
#include "io/data_set.h"
#include "io/frame_access.h"
#include "io/section_stats.h"
#include "platform/disk.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/text_buffer.h"
#include "toolkit/window.h"
#include "views/source_component.h"
#include "views/source_page_parts.h"
#include "views/source_pages.h"

namespace orva {

namespace {

constexpr uint32_t kPagesStyle = 0x24000;
// The page's window: hidden or minimised.
constexpr uint32_t kHiddenBits = 0x1800;
constexpr size_t kCellText = 260;

const char* const kDescriptionRows[10] = {"Source",        "Name",          "Path",          "File(s) size",
                                          "Compression",   "Original type", "Internal type", "Original size",
                                          "Frames",        "Channels"};
const char* const kStatisticRows[8] = {"Size", "Crop Box", "MinMaxRaw", "MinMax", "Range", "Mean", "RMS", "Bits Depth"};

UIPage* PageOf(SourceComponent* s) {
    if (s == nullptr || !ComponentIsLive(s)) return nullptr;
    auto* page = static_cast<UIPage*>(s->pageWindow);
    return page != nullptr && UIPageIsLive(page) && page->current == s ? page : nullptr;
}

UIElement* TableElement(SourceComponent* s, size_t index, uint32_t slots) {
    UIPage* page = PageOf(s);
    if (page == nullptr || index >= page->table.size()) return nullptr;
    UIElement* e = page->table[index];
    return e != nullptr && UIElementIsLive(e) && e->slots != nullptr && e->slotCount >= slots ? e : nullptr;
}

// The Info page whose window shows (null otherwise).
UIElement* ShownInfoElement(SourceComponent* s) {
    UIElement* e = SourceInfoElement(s);
    if (e == nullptr || !gUiReady()) return nullptr;
    gWindow* w = e->window;
    return w != nullptr && gWinValidate(w) != nullptr && (w->state & kHiddenBits) == 0 ? e : nullptr;
}

ListCtrl* ListOf(UIElement* e, uint32_t slot) { return ListCtrl::FromWidget(PageSlot(e, slot)); }

// Writes the value column of a table.
void SetValues(UIElement* e, uint32_t slot, const std::string* values, int32_t count) {
    gElement* w = PageSlot(e, slot);
    ListCtrl* list = ListCtrl::FromWidget(w);
    if (list == nullptr || list->rowCount < count) return;
    const char* texts[10];
    for (int32_t i = 0; i < count && i < 10; ++i) texts[i] = values[i].c_str();
    ListCtrl::FillRows(list, 1, texts, count);
}

// A number text cut as the page cuts its counts.
std::string Cut(const std::string& text, size_t limit) { return text.size() > limit ? text.substr(0, limit) : text; }

long long LL(int64_t v) { return static_cast<long long>(v); }

std::string SizesText(const int64_t size[3]) {
    switch (ShownAxes(size)) {
        case 3: return FormatString("%I64d x %I64d x %I64d", LL(size[0]), LL(size[1]), LL(size[2]));
        case 2: return FormatString("%I64d x %I64d", LL(size[0]), LL(size[1]));
        default: return FormatString("%I64d", LL(size[0]));
    }
}

std::string CropText(const SectionFields& f) {
    switch (ShownAxes(f.size)) {
        case 3:
            return FormatString("%I64d x %I64d x %I64d, (%I64d,  %I64d, %I64d)", LL(f.cropSize[0]),
                                LL(f.cropSize[1]), LL(f.cropSize[2]), LL(f.cropOrigin[0]), LL(f.cropOrigin[1]),
                                LL(f.cropOrigin[2]));
        case 2:
            return FormatString("%I64d x %I64d,  (%I64d,  %I64d)", LL(f.cropSize[0]), LL(f.cropSize[1]),
                                LL(f.cropOrigin[0]), LL(f.cropOrigin[1]));
        default: return FormatString("%I64d, (%I64d)", LL(f.cropSize[0]), LL(f.cropOrigin[0]));
    }
}

std::string Fit6(double v) {
    char text[32];
    FormatDoubleFit(6, text, v, nullptr);
    return text;
}

// The item's path text and where its file name begins; the data set's file name without
// an item.
bool ItemPath(SourceComponent* s, std::string* text, size_t* nameOffset) {
    auto* item = s != nullptr && s->owner != nullptr && ProjectItemIsLive(s->owner)
                     ? dynamic_cast<ProjectItem*>(s->owner)
                     : nullptr;
    if (item != nullptr && !item->path.Empty()) {
        *text = item->path.Text();
        *nameOffset = item->path.NameOffset();
        return true;
    }
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    const std::string name = DataSetFileName(d);
    if (name.empty()) return false;
    *text = name;
    const size_t slash = name.rfind('/');
    *nameOffset = slash == std::string::npos ? 0 : slash + 1;
    return true;
}

// The element type of the file as its reader found it, else the description's.
void OriginalType(const DataSet* d, uint32_t* type, uint32_t* bits) {
    if (d->hasSampleFormat && (d->sampleFormat.type & 0x7F) != 0) {
        *type = d->sampleFormat.type;
        *bits = d->sampleFormat.bits;
    } else {
        *type = d->input.type;
        *bits = d->input.bits;
    }
}

std::string TypeName(uint32_t type, uint32_t bits) {
    if ((type & 0x7F) == 0 && bits == 0) return std::string();
    char text[64] = "";
    DataTypeText(type, bits, 0, text);
    return text;
}

std::string JoinNonEmpty(const std::string& a, const std::string& b, const char* between) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + between + b;
}

void FillDescription(SourceComponent* s, UIElement* e) {
    ListCtrl* list = ListOf(e, kInfoDescription);
    if (list == nullptr || list->rowCount < 10) return;
    std::string v[10];
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    std::string path;
    size_t nameOffset = 0;
    if (ItemPath(s, &path, &nameOffset)) {
        if (!path.empty() && path[0] == '/') {
            char drive[100];
            if (DiskInfoText(path.c_str(), drive, sizeof drive)) v[0] = drive;
        }
        v[1] = nameOffset < path.size() ? path.substr(nameOffset) : std::string();
        v[2] = nameOffset > 1 ? path.substr(0, nameOffset - 1) : (nameOffset == 1 ? "/" : path);
    }
    if (d != nullptr) {
        if (const StreamRecord* st = d->stream) {
            // The file read (a decompressed copy of another file names the original second).
            uint64_t original = 0;
            struct stat info;
            if (st->hasSecondName && !st->secondName.empty() && ::stat(st->secondName.c_str(), &info) == 0 &&
                info.st_size > 0)
                original = static_cast<uint64_t>(info.st_size);
            char a[32], b[32];
            ByteSizeText(b, st->length > 0 ? static_cast<uint64_t>(st->length) : 0);
            if (original != 0) {
                ByteSizeText(a, original);
                v[3] = std::string(a) + " / " + b;
            } else {
                v[3] = b;
            }
        }
        char info[kCellText] = "";
        if (d->FormatInfoText(1, info, sizeof info)) v[4] = info;
        uint32_t type = 0, bits = 0;
        OriginalType(d, &type, &bits);
        char layout[kCellText] = "";
        d->FormatInfoText(4, layout, sizeof layout);
        const char* tag = d->TagText();
        v[5] = JoinNonEmpty(JoinNonEmpty(tag != nullptr ? tag : "", layout, " "), TypeName(type, bits), ", ");
        v[6] = TypeName(d->input.type, d->input.bits);
        const int64_t sizes[3] = {d->sizeX, d->sizeY, d->sizeZ};
        v[7] = SizesText(sizes);
        const uint32_t logical = d->StepFrames(), stored = d->TotalFrames();
        if (stored == 0 || stored == logical)
            v[8] = FormatString("%u", logical);
        else
            v[8] = FormatString("Origin: %u | Internal: %u", stored, logical);
        const uint32_t fileChannels = d->input.channels != 0 ? d->input.channels : d->OutputChannels();
        v[9] = FormatString("%u", fileChannels);
        if (d->OutputChannels() != fileChannels) v[9] += FormatString(" / %u", d->OutputChannels());
    }
    for (std::string& text : v) text = Cut(text, kCellText - 1);
    SetValues(e, kInfoDescription, v, 10);
}

void FillStatistic(SourceComponent* s, UIElement* e) {
    ListCtrl* list = ListOf(e, kInfoStatistic);
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    if (list == nullptr || list->rowCount < 8 || d == nullptr || d->TotalFrames() == 0) return;
    std::string v[8];
    // The value rows keep a type text that begins with "i" ("inf") they showed.
    const bool showsInf = list->rows[7].cellCount > 1 && !list->rows[7].cells[1].text.empty() &&
                          list->rows[7].cells[1].text[0] == 'i';
    SectionFields f;
    if (CurrentSectionFields(d, &f)) {
        v[0] = SizesText(f.size);
        if (d->StepFrames() >= 2 && d->frameStep != 1)
            v[0] += FormatString("  [frame#%u]", MapFrameByStep(*d, d->currentFrame) + 1);
        v[1] = CropText(f);
    }
    const SectionStatistics* r = nullptr;
    // The page on screen is what asks for the statistics of a frame stepped to: they are
    // read here, whole, when the frame has none yet.
    if (SourceReadCurrentStatistics(d) || SourceClampCurrentFrame(d)) {
        r = DataSetSectionInfo(d, d->currentFrame, d->currentSection, 1);
        if (r != nullptr && !r->whole) r = nullptr;  // only complete statistics count
    }
    if (r != nullptr) {
        const ValueRangeRecord p = PhysicalRangeOf(*d, *r);
        v[2] = Fit6(r->minimum) + " / " + Fit6(r->maximum);
        if (r->channelOverflow) v[2] += " (Ower)";
        v[3] = Fit6(p.min) + " / " + Fit6(p.max);
        if (r->rangeOverflow) v[3] += " (Ower)";
        const double range = p.max - p.min;
        if (!r->rangeOverflow && std::isfinite(range)) v[4] = Fit6(range);
        if (p.mean != kStatisticUnset) v[5] = Fit6(p.mean);
        if (p.rms != kStatisticUnset) v[6] = Fit6(p.rms);
        if ((r->sampleType & 0x7F) != 0) {
            char text[64] = "";
            DataTypeTextShort(r->sampleType, r->sampleBits, 0, text);
            v[7] = text;
        } else {
            v[7] = "inf";
        }
    } else if (showsInf) {
        v[7] = list->rows[7].cells[1].text;
    }
    for (std::string& text : v) text = Cut(text, kCellText - 1);
    SetValues(e, kInfoStatistic, v, 8);
}

void InfoRefreshFn(UIPage*, UIElement* e, int32_t) {
    SourceComponent* s = SourceOfElement(e);
    InfoPageRefresh(s, e);
}

void OptionsRefreshFn(UIPage*, UIElement* e, int32_t pageId) {
    RefreshSourceOptionsPage(SourceOfElement(e), e, pageId);
}

// Hidden or closed, the page window lets go of the Options page's menus and lets every
// item's pages follow again.
void OnSourcePagesClosed(gWindow*, bool shown) {
    if (shown) return;
    ChannelModeMenuClose();
    ScalingMenuClose();
    ZeroOffsetMenuClose();
    MenuPage() = nullptr;
    ProjectRefreshAll(&TheCUI());
}

// Paints a page window at once (each window once).
void PaintNow(gWindow* w) {
    if (w == nullptr || gWinValidate(w) == nullptr) return;
    RepaintWindowNow(w, 7);
}

}  // namespace

// ---- The pages of a Source ---------------------------------------------------------------

SourceComponent* SourceOfElement(const UIElement* e) {
    if (e == nullptr || !UIElementIsLive(e) || e->page == nullptr || !UIPageIsLive(e->page)) return nullptr;
    ComponentBase* c = e->page->current;
    if (c == nullptr || !ComponentIsLive(c)) return nullptr;
    return dynamic_cast<SourceComponent*>(c);
}

UIElement* SourceInfoElement(SourceComponent* s) { return TableElement(s, 0, kInfoSlotCount); }
UIElement* SourceOptionsElement(SourceComponent* s) { return TableElement(s, 1, kOptSlotCount); }

int32_t SourcePanelBuilder(PageWindow* pageWindow, void* windowArg, int32_t pageId) {
    auto* page = static_cast<UIPage*>(pageWindow);
    if (page == nullptr || !UIPageIsLive(page) || page->current == nullptr) return 0;
    auto* window = static_cast<gWindow*>(windowArg);
    if (window != nullptr && gWinValidate(window) == nullptr) window = nullptr;
    if (pageId == kPageOptions && window != nullptr && window->showHandler == nullptr)
        window->showHandler = &OnSourcePagesClosed;
    const bool both = pageId == kPageOptions || pageId == kPageRefresh || pageId == 0;
    const uint32_t style = pageId == kPageOptions ? kPagesStyle : 0;
    int32_t shown = 0;
    if (both || pageId == 1) {
        if (ShowComponentPage(page, window, style, &SourcePanelBuilder, kInfoSlotCount, 0, 2, pageId,
                              &BuildSourceInfoPage, &InfoRefreshFn, nullptr))
            ++shown;
    }
    if (both || pageId == 2) {
        if (!UIPageIsLive(page)) return shown;
        if (ShowComponentPage(page, window, style, &SourcePanelBuilder, kOptSlotCount, 1, 2, pageId,
                              &BuildSourceOptionsPage, &OptionsRefreshFn, nullptr))
            ++shown;
    }
    return shown;
}

void SourceRefreshBothPages(SourceComponent* s, bool repaintNow) {
    if (s == nullptr || s->Input() == nullptr || !gUiReady()) return;
    auto shown = [](UIElement* e) {
        return e != nullptr && e->window != nullptr && gWinValidate(e->window) != nullptr &&
               (e->window->state & kHiddenBits) == 0;
    };
    UIElement* options = SourceOptionsElement(s);
    UIElement* info = SourceInfoElement(s);
    const bool optionsShown = shown(options), infoShown = shown(info);
    if (optionsShown) RefreshSourceOptionsPage(s, options, 0);
    if (infoShown) InfoPageShowCurrent(s, info);
    if (!optionsShown && !infoShown) return;
    gWindow* a = optionsShown ? options->window : nullptr;
    gWindow* b = infoShown ? info->window : nullptr;
    if (repaintNow) {
        PaintNow(a);
        if (b != a) PaintNow(b);
    } else {
        if (a != nullptr) a->dirty = 7;
        if (b != nullptr) b->dirty = 7;
    }
}

void InstallSourcePages() {
    SourcePageHooks& hooks = TheSourcePageHooks();
    hooks.buildPanel = &SourcePanelBuilder;
    hooks.refreshInfoPage = [](SourceComponent* s, bool paintNow) -> int32_t {
        return SourceRefreshInfoPage(s, paintNow) ? 1 : 0;
    };
    hooks.refreshPages = &SourceRefreshBothPages;
}

// ---- Info page -----------------------------------------------------------------------------

void BuildSourceInfoPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr || element->group == nullptr || element->window == nullptr) return;
    gGroup* group = element->group;
    group->gapX = 4.0f;
    group->gapY = 2.0f;
    group->marginLeft = group->marginTop = group->marginRight = group->marginBottom = 6.0f;
    if (element->name.empty()) element->name = "Info";
    gFont* font = GetUIFont(element->window);
    if (font != nullptr) gWgtSelect(element->window, font);
    PageRows rows(element);
    const uint32_t slot = group->style & kWsSlotBits;
    static const float kColumns[2] = {68.0f, 230.0f};
    // The tables are as high as their rows (the list's row: the font's line and 4 pixels),
    // so that the next row of the page starts below them.
    gFont* listFont = font != nullptr ? font : element->window->font;
    const float line = listFont != nullptr ? gFontLineHeight(listFont) : 0.0f;
    const float rowHeight = line > 0.0f ? std::ceil(line) + 4.0f : 16.0f;
    auto table = [&](const char* const* labels, int32_t count) -> gElement* {
        ListCtrlLayout layout{.width = kColumns[0] + kColumns[1],
                              .height = static_cast<float>(count) * rowHeight + 2.0f,
                              .columnCount = 2,
                              .columnWidths = kColumns};
        gElement* w = ListCtrl::Create(element->window, nullptr, 0, &layout, slot | kWsNewRow, false, font);
        ListCtrl* list = ListCtrl::FromWidget(w);
        if (list == nullptr) return w;
        list->resizeFlags &= ~kListColumnsResizable;
        ListCtrl::FillRows(list, 0, labels, count);
        ListCtrl::LayoutRows(list);
        return w;
    };
    s[kInfoDescription] = table(kDescriptionRows, 10);
    rows.NewRow();
    rows.Label("STATISTIC");
    s[kInfoStatistic] = table(kStatisticRows, 8);
    rows.NewRow();
    rows.Label("Output frame:");
    s[kInfoFrame] = rows.Field(64.0f, "0", nullptr);
    rows.Label("Section:");
    s[kInfoSection] = rows.Field(64.0f, "0", nullptr);
    rows.NewRow();
    s[kInfoCalculate] = rows.Button(37, 110.0f, "Calculate", &InfoPageCalculate);
    s[kInfoCopy] = rows.Button(37, 110.0f, "Copy to clipboard", &InfoPageCopy);
    gWinLayoutGroups(element->window);
}

bool SourceRefreshInfoPage(SourceComponent* s, bool paintNow) {
    UIElement* e = ShownInfoElement(s);
    if (e == nullptr) return false;
    InfoPageRefresh(s, e);
    if (paintNow) PaintNow(e->window);
    return true;
}

void InfoPageRefresh(SourceComponent* s, UIElement* e) {
    if (e == nullptr || e->slots == nullptr || e->slotCount < kInfoSlotCount) return;
    MarkPageRepaint(e);
    FillDescription(s, e);
    InfoPageShowCurrent(s, e);
}

void InfoPageShowCurrent(SourceComponent* s, UIElement* e) {
    if (e == nullptr || e->slots == nullptr || e->slotCount < kInfoSlotCount) return;
    MarkPageRepaint(e);
    FillStatistic(s, e);
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    uint32_t frame = 0, section = 0, sections = 0;
    const uint32_t logical = d != nullptr ? d->StepFrames() : 0;
    if (d != nullptr && logical > 0) {
        frame = static_cast<uint32_t>(d->currentFrame) + 1;
        if (d->sectionsInFrame >= 0) {
            sections = static_cast<uint32_t>(d->sectionsInFrame);
            section = static_cast<uint32_t>(d->currentSection) + 1;
        }
    }
    gElement* frameField = PageSlot(e, kInfoFrame);
    gElement* sectionField = PageSlot(e, kInfoSection);
    SetWidgetText(frameField, Cut(FormatString("%u", frame), 10).c_str());
    SetWidgetEnabled(frameField, logical >= 2);
    SetWidgetText(sectionField, Cut(FormatString("%u", section), 10).c_str());
    SetWidgetEnabled(sectionField, sections > 1);
}

namespace {

// Why "Calculate" gives no statistics of a plane above the whole-plane budget.
std::string WholePlaneRefusal(const WholePlaneCost& cost) {
    const std::string bytes = cost.bytes == UINT64_MAX
                                  ? std::string("more bytes than can be counted")
                                  : std::to_string(cost.bytes) + " bytes";
    return "No statistics: " + std::to_string(cost.width) + " x " + std::to_string(cost.height) +
           " takes " + bytes + " as 64-bit reals, over the " + std::to_string(cost.limit) +
           " a whole frame may take";
}

}  // namespace

void InfoPageCalculate(gElement*, uintptr_t data) {
    auto* e = reinterpret_cast<UIElement*>(data);
    SourceComponent* s = SourceOfElement(e);
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    if (d == nullptr || d->TotalFrames() == 0 || d->StepFrames() == 0) return;
    if (!SourceClampCurrentFrame(d)) return;
    uint32_t fileFrame = 0;
    SectionStatistics* r = DataSetSectionRecord(d, d->currentFrame, d->currentSection, &fileFrame);
    if (r == nullptr) return;
    if (!r->whole) {
        const uint32_t section = static_cast<uint32_t>(d->currentSection);
        if (!d->statisticsKernel(d, fileFrame, section, r, 1, 0)) {
            // A plane above the whole-plane budget is refused so that the answer stays
            // quick: the user learns why, and by how much.
            WholePlaneCost cost;
            if (WholePlaneCostOf(d, fileFrame, section, &cost) && cost.over)
                PrintStatusLine(0, -3, 7, "%s", WholePlaneRefusal(cost).c_str());
            return;
        }
        // The kept totals of the section were taken from the record before.
        d->cacheValid = d->cacheHasData = 0;
    }
    MarkPageRepaint(e);
    InfoPageRefresh(s, e);
}

void InfoPageCopy(gElement*, uintptr_t data) {
    auto* e = reinterpret_cast<UIElement*>(data);
    SourceComponent* s = SourceOfElement(e);
    DataSet* d = s != nullptr ? s->Input() : nullptr;
    if (!gUiReady() || d == nullptr || d->TotalFrames() == 0) return;
    ListCtrl* description = ListOf(e, kInfoDescription);
    ListCtrl* statistic = ListOf(e, kInfoStatistic);
    char header[kCellText];
    BoundedPrintf(header, sizeof header, ";   STATISTIC | Current : frame %u/%u/%d, section %u,  channels %u\n\n",
                  MapFrameByStep(*d, d->currentFrame), static_cast<uint32_t>(d->currentFrame), d->frameStep,
                  static_cast<uint32_t>(d->currentSection), d->input.channels);
    // Each table's rows as "label : value" lines.
    auto tableText = [](const ListCtrl* list) {
        std::string text;
        if (list == nullptr) return text;
        size_t size = 2;
        for (int32_t r = 0; r < list->rowCount; ++r)
            for (const TextCell& c : list->rows[static_cast<size_t>(r)].cells) size += c.text.size() + 20;
        text.resize(size);
        const int32_t n = ListCtrl::FormatColumns(list, text.data(), static_cast<int32_t>(std::min<size_t>(size, INT32_MAX)),
                                                  1, ':', 12);
        text.resize(static_cast<size_t>(n > 0 ? n : 0));
        return text;
    };
    std::string first, second;
    try {
        first = tableText(description);
        second = tableText(statistic);
    } catch (const std::bad_alloc&) {
        return;
    }
    if (first.empty() && second.empty()) return;
    ClipTextBuffer text;
    if (!text.AppendText(first.c_str()) || !text.AppendText("\r\n") || !text.AppendText(header) ||
        !text.AppendText(second.c_str()))
        return;
    gWindow* owner = TheCUI().mainWindow != nullptr ? TheCUI().mainWindow : e->window;
    ClipboardSetText(text.Text(), text.length, owner != nullptr ? owner->hwnd : nullptr);
}

// ---- The drive ------------------------------------------------------------------------------

bool DiskInfoText(const char* path, char* text, size_t size) {
    if (text == nullptr || size == 0) return false;
    text[0] = '\0';
    if (path == nullptr || path[0] != '/') return false;
    platform::MountDescription m;
    if (!platform::DescribeMount(path, &m)) return false;
    const std::string& t = m.fsType;
    const char* kind = "Fixed Disk";
    if (t == "tmpfs" || t == "ramfs")
        kind = "RAM disk";
    else if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "fuse.sshfs")
        kind = "Remote";
    else if (t == "iso9660" || t == "udf")
        kind = "CDROM";
    else if (m.removable)
        kind = "Removable";
    BoundedPrintf(text, size, "%s %s %s, %s", kind, m.mountPoint.c_str(), m.label.c_str(), t.c_str());
    return true;
}

}  // namespace orva
