#pragma once
// The application shell as the rest of the program reaches it: the user-interface
// entries of the start-up services, and the hooks through which the lower layers report
// to the shell (status lines, clipboard, window icons, the component model's user
// interface). Called once by the composition root before the start-up road runs.
#include "framework/app_services.h"

namespace orva {

// Fills the user-interface entries of `services` and installs the shell's hooks.
void InstallAppShell(AppServices* services);

}  // namespace orva
