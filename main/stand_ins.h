#pragma once
#include "framework/app_services.h"

namespace orva {

// The services table of the program as it stands: subsystems that are not
// built yet are represented by stand-ins that report empty registries and a
// user interface that cannot start.
AppServices DefaultAppServices();

}  // namespace orva
