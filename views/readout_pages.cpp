#include "views/readout_pages.h"

#include <cfloat>
#include <cmath>

#include "app/field_readers.h"
#include "app/graphics_window.h"
#include "app/ui_elements.h"
#include "common/number_text.h"
#include "framework/device_view.h"
#include "framework/port.h"
#include "toolkit/font.h"
#include "toolkit/widget.h"
#include "views/display_cell.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"
#include "app/page_rows.h"

namespace orva {

namespace {

constexpr uint32_t kCaptionColour = 0x46D7070;
constexpr uint32_t kFieldColour = 0x4000000;
constexpr uint32_t kChannelColour = 0x40F0B58;
// The value page's window is black: its texts are drawn light so that they can be read.
constexpr uint32_t kLightText = 0x4707070;

std::string Digits(int digits, int decimals, double value) {
    char text[64] = "";
    const int n = FormatDoubleDigits(digits, decimals, value, text);
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

bool Unset(double value) { return value == -DBL_MAX; }

// The page's workspace and its active cell.
WorkspaceComponent* WorkspaceOf(uintptr_t data) { return WorkspaceOfElement(reinterpret_cast<UIElement*>(data)); }

double Value(const WorkspaceReadouts& r, int k) { return k == 0 ? r.value : r.channelValues[k - 1]; }

void Values(const WorkspaceReadouts& r, double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = Value(r, k);
}

uint32_t Shown(const WorkspaceReadouts& r) {
    return ShownChannelCount(static_cast<uint32_t>(r.channelCount), static_cast<uint32_t>(r.channelOffset));
}

// The X and Y of the readout cache rounded by the modes (2 for both without them).
void RoundedCursor(WorkspaceComponent* ws, double out[2]) {
    const int32_t* modes = ActiveAxisModes(ws);
    for (int a = 0; a < 2; ++a) out[a] = RoundCoordinate(modes != nullptr ? modes[a] : kAxisReal, ws->readouts.coords[a]);
}

}  // namespace

// ---- Shared operations ---------------------------------------------------------------------------

double RoundCoordinate(int32_t mode, double value) {
    switch (mode) {
        case 0:
            return std::ceil(value);
        case 1:
            return value <= 0.0 ? std::ceil(value) : std::floor(value);
        default:
            return value;
    }
}

int32_t* ActiveAxisModes(WorkspaceComponent* ws) {
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    if (cell == nullptr || cell->Graphics() == nullptr) return nullptr;
    return cell->axisRounding;
}

uint32_t ShownChannelCount(uint32_t total, uint32_t first) { return first < total ? total - first : total; }

std::string ChannelValuesText(const double values[3], uint32_t shown, bool live) {
    auto one = [](double v) {
        std::string s = Unset(v) ? std::string() : Digits(10, 3, v);
        return s.empty() ? std::string("*") : s;
    };
    std::string text = one(values[0]);
    if (shown > 1) {
        text += "  ";
        if (!(live && shown == 2 && Unset(values[1]))) text += one(values[1]);
    }
    if (shown > 2) text += "  " + one(values[2]);
    return text;
}

std::string ChannelValueText(double value) { return Unset(value) ? std::string() : Digits(10, 3, value); }

void FormatCursorXY(WorkspaceComponent* ws, UIElement* page) {
    if (ws == nullptr || page == nullptr || ws->activeCell == nullptr) return;
    const int32_t* modes = ActiveAxisModes(ws);
    if (modes == nullptr) return;
    const int digits = ws->constants[0];
    const uint32_t fields[2] = {kCoordX, kCoordY};
    for (int a = 0; a < 2; ++a) {
        gElement* f = PageSlot(page, fields[a]);
        if (f != nullptr) PageSetText(f, Digits(digits, 2, RoundCoordinate(modes[a], ws->readouts.coords[a])).c_str());
    }
}

void FormatCursorPosition(WorkspaceComponent* ws, gElement* field) {
    if (ws == nullptr || field == nullptr) return;
    double xy[2];
    RoundedCursor(ws, xy);
    const int digits = ws->constants[1];
    const std::string text = Digits(digits, 2, xy[0]) + "  " + Digits(digits, 2, xy[1]);
    PageSetText(field, text.c_str());
}

void SetChannelButtons(UIElement* page, const WorkspaceReadouts* r, uint32_t count) {
    if (page == nullptr || r == nullptr) return;
    const uint32_t n = count != 0 ? count : Shown(*r);
    gElement* buttons[3] = {PageSlot(page, 0), PageSlot(page, 1), PageSlot(page, 2)};
    SetWidgetShown(buttons[0], n >= 2);
    SetWidgetShown(buttons[1], n >= 2);
    SetWidgetShown(buttons[2], n >= 3);
    SetWidgetShown(PageSlot(page, kChannelMarker), n >= 4);
    const int64_t at = static_cast<int64_t>(r->selectedChannel) - static_cast<int64_t>(r->channelOffset);
    if (at >= 0 && at < 3 && buttons[at] != nullptr) {
        buttons[at]->value = 1;
        UpdateRadioGroup(buttons, 3, buttons[at]);
    }
}

uint32_t ShowViewModeChannels(UIElement* page, const WorkspaceReadouts& r) {
    const uint32_t n = Shown(r);
    SetWidgetShown(PageSlot(page, kViewModeValue2), n >= 2);
    SetWidgetShown(PageSlot(page, kViewModeCaption2), n >= 2);
    SetWidgetShown(PageSlot(page, kViewModeValue3), n >= 3);
    SetWidgetShown(PageSlot(page, kViewModeCaption3), n >= 3);
    return n;
}

void RefreshViewModePage(WorkspaceComponent* ws) {
    UIElement* page = WorkspaceOpenPage(ws, kWsPageViewMode, false);
    gElement* toggle = PageSlot(page, kViewModeToggle);
    if (toggle == nullptr) return;
    DisplayComponent* cell = ws->activeCell;
    bool fast = false;
    if (cell != nullptr) {
        OutPort* port = cell->port;
        fast = port != nullptr && port->firstDevice != nullptr ? port->firstDevice->request.workMode != 0
                                                                : cell->fastMode != 0;
    }
    PageSetTextChanged(toggle, fast ? "Fast mode" : "Work mode");
    SetWidgetValue(toggle, fast);
    RepaintFieldNow(toggle);
}

// ---- The coordinates page ---------------------------------------------------------------------------

void BuildCoordinatesPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "Coordinates";
    PageWidgets b(element);
    auto row = [&](uint32_t caption, const char* label) {
        b.Row();
        s[caption] = b.Add(47, 20.0f, kPageRow, label, nullptr, kCaptionColour);
        s[caption + 1] = b.Field(94.0f, kPageRow, "0");
        if (s[caption + 1] != nullptr) s[caption + 1]->color1 = s[caption + 1]->color1Saved = kFieldColour;
        s[caption + 2] = b.Glyph(40, 10.0f, kPageRow, kGlyphArrowLeft);
        s[caption + 3] = b.Glyph(40, 10.0f, kPageRow, kGlyphArrowRight);
    };
    row(kCoordZCaption, "Z:");
    row(kCoordYCaption, "Y:");
    row(kCoordXCaption, "X:");
    b.Row();
    s[kCoordRound] = b.Add(47, 20.0f, kPageRow, "R/I", &CoordinatesRoundPress, kCaptionColour);
    s[kCoordTitle] = b.Add(47, 116.0f, kPageRow, "Data coord", nullptr, kCaptionColour);
}

void CoordinatesPageRefresh(UIPage*, UIElement* e, int32_t) {
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (ws == nullptr || PageSlot(e, kCoordRound) == nullptr) return;
    const int32_t* modes = ActiveAxisModes(ws);
    const bool real = modes == nullptr || (modes[0] != 0 && modes[1] != 0);
    SetWidgetValue(PageSlot(e, kCoordRound), !real);
    SetWidgetValue(PageSlot(e, kCoordXCaption), true);
    SetWidgetValue(PageSlot(e, kCoordYCaption), true);
    SetWidgetValue(PageSlot(e, kCoordZCaption), false);
    SetWidgetShown(PageSlot(e, kCoordZ), false);
    MarkPageRepaint(e);
    FormatCursorXY(ws, e);
}

void CoordinatesRoundPress(gElement* button, uintptr_t data) {
    UIElement* e = LivePageElement(data);
    WorkspaceComponent* ws = WorkspaceOf(data);
    if (e == nullptr || ws == nullptr || button == nullptr) return;
    int32_t* modes = ActiveAxisModes(ws);
    if (modes == nullptr) return;
    modes[0] = modes[1] = button->value != 0 ? 0 : kAxisReal;
    FormatCursorXY(ws, e);
    RepaintFieldNow(PageSlot(e, kCoordX));
    RepaintFieldNow(PageSlot(e, kCoordY));
    // The value page's position follows the same modes.
    if (UIElement* value = WorkspaceOpenPage(ws, kWsPageValue)) {
        FormatCursorPosition(ws, PageSlot(value, kValuePosition));
        RepaintFieldNow(PageSlot(value, kValuePosition));
    }
}

// ---- The value readout page ---------------------------------------------------------------------------

void BuildValuePage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "Values";
    PageWidgets b(element);
    s[kValueCCaption] = b.Add(4, 16.0f, 14.0f, "C:");
    s[kValuePosition] = b.Display(90.0f, 14.0f, "0  0");
    b.Row();
    s[kValueVCaption] = b.Add(4, 16.0f, 14.0f, "V:");
    s[kValueValues] = b.Display(182.0f, 14.0f, "0");
    for (uint32_t slot : {kValueCCaption, kValuePosition, kValueVCaption, kValueValues})
        if (s[slot] != nullptr) s[slot]->textColor = kLightText;
}

void ValuePageRefresh(UIPage*, UIElement* e, int32_t) {
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (ws == nullptr || PageSlot(e, kValueValues) == nullptr) return;
    const WorkspaceReadouts& r = ws->readouts;
    if (ws->activeCell == nullptr) {
        PageSetText(PageSlot(e, kValueValues), "");
    } else {
        double values[3];
        Values(r, values);
        const uint32_t n = Shown(r);
        PageSetText(PageSlot(e, kValueValues), ChannelValuesText(values, n > 3 ? 3 : n, false).c_str());
    }
    FormatCursorPosition(ws, PageSlot(e, kValuePosition));
    MarkPageRepaint(e);
}

// ---- The channel buttons ---------------------------------------------------------------------------------

void BuildChannelsPage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "Channels";
    PageWidgets b(element);
    // The page stands in the top-right corner, where a row is laid out from the right: the
    // marker and the buttons are made last to first, so that they read 1, 2, 3.
    s[kChannelMarker] = b.Add(37, 8.0f, 12.0f, "");
    const char* labels[3] = {"1", "2", "3"};
    for (int i = 2; i >= 0; --i) s[i] = b.Add(47, 14.0f, 12.0f, labels[i], &ChannelButtonPress, kChannelColour);
}

void ChannelsPageRefresh(UIPage*, UIElement* e, int32_t) {
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (ws == nullptr || PageSlot(e, 0) == nullptr) return;
    SetChannelButtons(e, &ws->readouts, 0);
    MarkPageRepaint(e);
}

void ChannelButtonPress(gElement* button, uintptr_t data) {
    UIElement* e = LivePageElement(data);
    WorkspaceComponent* ws = WorkspaceOf(data);
    if (e == nullptr || ws == nullptr || button == nullptr) return;
    gElement* buttons[3] = {PageSlot(e, 0), PageSlot(e, 1), PageSlot(e, 2)};
    int k = 0;
    while (k < 3 && buttons[k] != button) ++k;
    if (k == 3) return;
    DisplayComponent* cell = ws->activeCell;
    GraphicsWindow* gw = cell != nullptr ? cell->Graphics() : nullptr;
    WorkspaceReadouts& r = ws->readouts;
    if (gw != nullptr && cell->currentDevice != nullptr) {
        if (DisplaySelectChannel(cell, r.channelOffset + k + 1)) {
            r.selectedChannel = r.channelOffset + k;
            r.channelsCached = 0;
            DisplayRequestRedraw(cell, kRedrawMark);
        }
        const int64_t at = static_cast<int64_t>(r.selectedChannel) - r.channelOffset;
        if (at >= 0 && at < 3 && buttons[at] != nullptr) {
            buttons[at]->value = 1;
            UpdateRadioGroupNow(buttons, 3, buttons[at]);
        }
        RepaintFieldNow(button);
        return;
    }
    button->value = 1;
    UpdateRadioGroupNow(buttons, 3, button);
    RepaintFieldNow(button);
}

// ---- The view mode page -------------------------------------------------------------------------------------

void BuildViewModePage(UIElement* element, gElement** s) {
    if (element == nullptr || s == nullptr) return;
    element->name = "View mode";
    PageWidgets b(element);
    const uint32_t captions[3] = {kViewModeCaption3, kViewModeCaption2, kViewModeCaption1};
    const uint32_t fields[3] = {kViewModeValue3, kViewModeValue2, kViewModeValue1};
    const char* labels[3] = {"3:", "2:", "1:"};
    for (int i = 0; i < 3; ++i) {
        b.Row();
        s[captions[i]] = b.Add(47, 20.0f, kPageRow, labels[i], nullptr, kCaptionColour);
        s[fields[i]] = b.Display(94.0f, kPageRow, "0");
    }
    b.Row();
    s[kViewModeToggle] = b.Add(47, 94.0f, kPageRow, "View mode", &ViewModePress, kCaptionColour);
}

void ViewModePageRefresh(UIPage*, UIElement* e, int32_t) {
    WorkspaceComponent* ws = WorkspaceOfElement(e);
    if (ws == nullptr || PageSlot(e, kViewModeToggle) == nullptr) return;
    RefreshViewModePage(ws);
    const WorkspaceReadouts& r = ws->readouts;
    const uint32_t n = ShowViewModeChannels(e, r);
    PageSetText(PageSlot(e, kViewModeValue1), ChannelValueText(r.value).c_str());
    if (n >= 2) PageSetText(PageSlot(e, kViewModeValue2), ChannelValueText(r.channelValues[0]).c_str());
    if (n >= 3) PageSetText(PageSlot(e, kViewModeValue3), ChannelValueText(r.channelValues[1]).c_str());
    SetWidgetValue(PageSlot(e, kViewModeCaption1), true);
    MarkPageRepaint(e);
}

void ViewModePress(gElement* button, uintptr_t data) {
    WorkspaceComponent* ws = WorkspaceOf(data);
    if (ws == nullptr || button == nullptr) return;
    DisplayComponent* cell = ws->activeCell;
    if (cell == nullptr || cell->View() == nullptr) return;
    const uint8_t want = button->value != 0 ? 1 : 0;
    OutPort* port = cell->port;
    bool fast;
    if (port != nullptr) {
        PortSetFastMode(port, want);
        fast = port->firstDevice != nullptr ? port->firstDevice->request.workMode != 0 : want != 0;
    } else {
        cell->fastMode = want;
        fast = cell->fastMode != 0;
    }
    PageSetTextChanged(button, fast ? "Fast mode" : "Work mode");
    if (fast != (want != 0)) SetWidgetValue(button, fast);
    RepaintFieldNow(button);
    DisplayRequestRedraw(cell, kRedrawMark);
}

}  // namespace orva
