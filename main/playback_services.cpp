#include "main/playback_services.h"

#include "app/graphics_window.h"
#include "app/shell_hooks.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "views/display_cell.h"
#include "views/display_playback.h"
#include "views/playback.h"
#include "views/workspace.h"

namespace orva {

namespace {

// Playback feeds a cell while the timer plays the cell's port list.
bool PlayerFeeds(DisplayCellBase* cell) {
    return cell != nullptr && cell->portList != nullptr && TheEventTimer().port.load() == cell->portList;
}

// A new range of playable frames is shown at once by the pages that follow the active cell
// (the fast selector's frame count, the transport page's range): the range is known only
// after the cell's devices were attached, later than the cell's own redraw refreshed them.
void RangeAndPages(PortList* list, OutPort* leaveOut) {
    PlaybackRange(list, leaveOut);
    if (list == nullptr) return;
    const DisplayHooks& h = TheDisplayHooks();
    if (h.refreshFollowingPages == nullptr) return;
    for (OutPort* p = list->firstPort; p != nullptr; p = p->next) {
        DisplayComponent* cell = AsDisplayCell(p->display);
        WorkspaceComponent* ws = cell != nullptr ? cell->workspace : nullptr;
        if (ws != nullptr && ws->activeCell == cell) h.refreshFollowingPages(ws);
    }
}

}  // namespace

void InstallPlaybackServices() {
    TheComponentServices().playbackRange = &RangeAndPages;
    TheComponentServices().showPlayedFrame = &DisplayShowPlayedFrame;
    DisplayFillPlaybackHooks(&ThePlaybackHooks());
    // Closing projects and opening files end playback before the views go.
    TheShellHooks().playbackRefresh = [](int32_t code) { PlaybackControl(code); };
    GraphicsHostServices& host = TheGraphicsHostServices();
    host.playerFeeds = &PlayerFeeds;
    host.startAutoStop = [] { return TheEventTimer().StartDelayedNotify(); };
}

}  // namespace orva
