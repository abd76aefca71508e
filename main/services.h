#pragma once
#include "framework/app_services.h"

namespace orva {

// The services table of the program: the formats, the filter modules and the
// application shell.
AppServices DefaultAppServices();

// Hands every subsystem above the shell its hooks: shapes, processing, reduction, the
// Transformation, the graphics windows, the open road, output, display cells, playback
// and the main menu's view entries. Called once by the program before it starts.
void InstallProgramServices();

}  // namespace orva
