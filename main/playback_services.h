#pragma once

namespace orva {

// Frame playback in the program: the port lists rebuild their playback range whenever
// their ports or sources change; playback reaches the display cells and workspaces
// through its hooks; closing projects and opening files end it; the image windows see
// whether it feeds their cell and arm its delayed notification.
void InstallPlaybackServices();

}  // namespace orva
