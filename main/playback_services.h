#pragma once

namespace orva {

// Lets the port lists of the displays rebuild their playback range whenever their
// ports or sources change.
void InstallPlaybackServices();

}  // namespace orva
