#include "views/workspace_readouts.h"

#include <initializer_list>
#include <limits>
#include <string>

#include "app/graphics_window.h"
#include "app/ui_elements.h"
#include "data/kernel_util.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/lens.h"
#include "views/readout_pages.h"
#include "views/workspace.h"
#include "views/workspace_pages.h"

namespace orva {

namespace {

// How the rewritten fields reach the screen.
enum class Show { Mark, Now };

// The readout record of the active cell's window; none while the cell shows no data (the
// record still holds what the pointer read from data now closed, or gone from a chart).
const GraphicsReadout* ActiveRecord(WorkspaceComponent* ws) {
    DisplayComponent* cell = ws != nullptr ? ws->activeCell : nullptr;
    GraphicsWindow* gw = cell != nullptr && cell->ShowsData() ? cell->Graphics() : nullptr;
    return gw != nullptr && gw->readout.noData == 0 ? &gw->readout : nullptr;
}

void Present(gElement* field, Show show) {
    if (field == nullptr) return;
    if (show == Show::Now) {
        RepaintFieldNow(field);
    } else if (gWindow* w = gWinValidate(field->window)) {
        w->dirty = 7;
    }
}

void RewriteCoordinates(WorkspaceComponent* ws, Show show) {
    if (UIElement* coords = WorkspaceOpenPage(ws, kWsPageCoordinates)) {
        FormatCursorXY(ws, coords);
        Present(PageSlot(coords, kCoordX), show);
        Present(PageSlot(coords, kCoordY), show);
    }
    if (UIElement* value = WorkspaceOpenPage(ws, kWsPageValue)) {
        gElement* field = PageSlot(value, kValuePosition);
        FormatCursorPosition(ws, field);
        Present(field, show);
    }
}

void RewriteValues(WorkspaceComponent* ws, Show show) {
    const WorkspaceReadouts& r = ws->readouts;
    const double values[3] = {r.value, r.channelValues[0], r.channelValues[1]};
    if (UIElement* value = WorkspaceOpenPage(ws, kWsPageValue)) {
        gElement* field = PageSlot(value, kValueValues);
        if (field != nullptr) {
            const uint32_t shown = ShownChannelCount(static_cast<uint32_t>(r.channelCount),
                                                     static_cast<uint32_t>(r.channelOffset));
            const std::string text = r.valueMissing != 0 ? std::string() : ChannelValuesText(values, shown, true);
            PageSetText(field, text.c_str());
            Present(field, show);
        }
    }
    if (UIElement* mode = WorkspaceOpenPage(ws, kWsPageViewMode)) {
        const uint32_t fields[3] = {kViewModeValue1, kViewModeValue2, kViewModeValue3};
        for (int k = 0; k < 3; ++k) {
            gElement* field = PageSlot(mode, fields[k]);
            if (field == nullptr) continue;
            PageSetText(field, ChannelValueText(values[k]).c_str());
            Present(field, show);
        }
    }
}

// The channel buttons, and the view mode page's value rows: one for each channel shown,
// whether the page is on the screen or not.
void RewriteChannels(WorkspaceComponent* ws, Show show) {
    if (UIElement* channels = WorkspaceOpenPage(ws, kWsPageChannels)) {
        SetChannelButtons(channels, &ws->readouts, 0);
        for (uint32_t s = 0; s < 4; ++s) Present(PageSlot(channels, s), show);
    }
    if (UIElement* mode = WorkspaceOpenPage(ws, kWsPageViewMode)) {
        ShowViewModeChannels(mode, ws->readouts);
        // A field painted now paints its window whole: the ground of rows that went too.
        Present(PageSlot(mode, kViewModeValue1), show);
    }
}

// The shared road: the cache update, then the fields of the changed parts.
bool Update(WorkspaceComponent* ws, const GraphicsReadout* record, uint32_t parts, Show show) {
    if (ws == nullptr || record == nullptr) return false;
    const uint32_t bits = WorkspaceCacheReadout(ws, *record, parts);
    if (bits == 0 || WorkspacePageTable(ws) == nullptr) return false;
    if ((bits & kReadoutChannels) != 0) RewriteChannels(ws, show);
    if ((bits & kReadoutCoordinates) != 0) RewriteCoordinates(ws, show);
    if ((bits & kReadoutValues) != 0) RewriteValues(ws, show);
    return true;
}

}  // namespace

uint32_t WorkspaceCacheReadout(WorkspaceComponent* ws, const GraphicsReadout& record, uint32_t parts) {
    if (ws == nullptr) return 0;
    WorkspaceReadouts& c = ws->readouts;
    uint32_t bits = 0;
    // The window keeps the pointer as whole pixels in floats; the cache holds them as
    // integers (the lens samples around them), converted by value, not by their bits.
    c.cursor[0] = kernel::SaturateRound<int32_t>(record.cursorX);
    c.cursor[1] = kernel::SaturateRound<int32_t>(record.cursorY);
    c.valueMissing = record.outside;
    if ((parts & kReadoutCoordinates) != 0 && (c.coords[0] != record.dataX || c.coords[1] != record.dataY)) {
        c.coords[0] = record.dataX;
        c.coords[1] = record.dataY;
        bits |= kReadoutCoordinates;
    }
    if ((parts & kReadoutValues) != 0 && (record.valuesUnchanged == 0 || c.valuesCached == 0)) {
        c.value = record.values[0];
        c.channelValues[0] = record.values[1];
        c.channelValues[1] = record.values[2];
        c.valuesCached = 1;
        bits |= kReadoutValues;
    }
    // A record's "unchanged" compares it with its own last report only: the cache may
    // hold another window's channels (the file shown before), so they are compared too.
    const bool channelsDiffer = c.channelCount != static_cast<int32_t>(record.channelTotal) ||
                                c.channelOffset != static_cast<int32_t>(record.firstChannel) ||
                                c.selectedChannel != static_cast<int32_t>(record.currentChannel);
    if ((parts & kReadoutChannels) != 0 &&
        (record.channelsUnchanged == 0 || c.channelsCached == 0 || channelsDiffer)) {
        c.channelCount = static_cast<int32_t>(record.channelTotal);
        c.channelOffset = static_cast<int32_t>(record.firstChannel);
        c.selectedChannel = static_cast<int32_t>(record.currentChannel);
        c.channelsCached = 1;
        bits |= kReadoutChannels;
    }
    return bits;
}

bool WorkspaceUpdateCoordText(WorkspaceComponent* ws) { return Update(ws, ActiveRecord(ws), kReadoutAll, Show::Mark); }

void WorkspaceUpdateReadouts(WorkspaceComponent* ws) {
    if (ws == nullptr) return;
    const int32_t before[2] = {ws->readouts.cursor[0], ws->readouts.cursor[1]};
    Update(ws, ActiveRecord(ws), kReadoutAll, Show::Now);
    // The pointer moved over the view: the lens shows the pixels around it. It reads them
    // back from the frame the cells draw in the same paint, so the whole window is painted
    // (the view's own repaint only marks the window, and nothing else paints it before the
    // next input).
    const Lens& lens = ws->lens;
    if (lens.on != 0 && lens.widget != nullptr && gWgtIsLive(lens.widget) && lens.widget->shown != 0 &&
        (before[0] != ws->readouts.cursor[0] || before[1] != ws->readouts.cursor[1])) {
        if (gWindow* w = gWinValidate(ws->window)) PaintWindowNow(w, true);
    }
}

void RedrawImageReadouts(WorkspaceComponent* ws) { Update(ws, ActiveRecord(ws), kReadoutAll, Show::Now); }

void RedrawImageCoordReadout(WorkspaceComponent* ws) {
    Update(ws, ActiveRecord(ws), kReadoutCoordinates, Show::Now);
}

void RedrawChartCoordReadout(WorkspaceComponent* ws) {
    Update(ws, ActiveRecord(ws), kReadoutCoordinates, Show::Now);
}

void RedrawChartValueReadout(WorkspaceComponent* ws) {
    Update(ws, ActiveRecord(ws), kReadoutValues | kReadoutChannels, Show::Now);
}

void RedrawImageValueReadout(WorkspaceComponent* ws, const GraphicsReadout* record) {
    Update(ws, record, kReadoutValues | kReadoutChannels, Show::Now);
}

void RedrawPlaybackValueReadout(WorkspaceComponent* ws, const GraphicsReadout* record) {
    Update(ws, record, kReadoutValues | kReadoutChannels, Show::Now);
}

void WorkspaceClearReadouts(WorkspaceComponent* ws) {
    if (ws == nullptr) return;
    WorkspaceReadouts& c = ws->readouts;
    c.coords[0] = c.coords[1] = std::numeric_limits<double>::quiet_NaN();  // differs from any record's
    c.valuesCached = 0;
    c.channelsCached = 0;
    auto empty = [](UIElement* page, std::initializer_list<uint32_t> slots) {
        for (uint32_t slot : slots) {
            gElement* field = PageSlot(page, slot);
            if (field == nullptr) continue;
            PageSetText(field, "");
            Present(field, Show::Mark);
        }
    };
    if (UIElement* coords = WorkspaceOpenPage(ws, kWsPageCoordinates)) empty(coords, {kCoordX, kCoordY});
    if (UIElement* value = WorkspaceOpenPage(ws, kWsPageValue)) empty(value, {kValueValues, kValuePosition});
    if (UIElement* mode = WorkspaceOpenPage(ws, kWsPageViewMode))
        empty(mode, {kViewModeValue1, kViewModeValue2, kViewModeValue3});
}

}  // namespace orva
