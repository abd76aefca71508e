#include "main/playback_services.h"

#include "framework/component.h"
#include "views/playback.h"

namespace orva {

void InstallPlaybackServices() {
    TheComponentServices().playbackRange = [](PortList* list, OutPort* leaveOut) { PlaybackRange(list, leaveOut); };
}

}  // namespace orva
