#pragma once
#include "framework/app_services.h"

namespace orva {

// The services table of the program: the formats, the filter modules and the
// application shell.
AppServices DefaultAppServices();

}  // namespace orva
