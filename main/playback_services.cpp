#include "main/playback_services.h"

#include "app/graphics_window.h"
#include "app/shell_hooks.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "views/display_playback.h"
#include "views/playback.h"

namespace orva {

namespace {

// Playback feeds a cell while the timer plays the cell's port list.
bool PlayerFeeds(DisplayCellBase* cell) {
    return cell != nullptr && cell->portList != nullptr && TheEventTimer().port.load() == cell->portList;
}

}  // namespace

void InstallPlaybackServices() {
    TheComponentServices().playbackRange = [](PortList* list, OutPort* leaveOut) { PlaybackRange(list, leaveOut); };
    DisplayFillPlaybackHooks(&ThePlaybackHooks());
    // Closing projects and opening files end playback before the views go.
    TheShellHooks().playbackRefresh = [](int32_t code) { PlaybackControl(code); };
    GraphicsHostServices& host = TheGraphicsHostServices();
    host.playerFeeds = &PlayerFeeds;
    host.startAutoStop = [] { return TheEventTimer().StartDelayedNotify(); };
}

}  // namespace orva
