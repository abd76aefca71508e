#pragma once

namespace orva {

// Lets the display ports make, drop and show their views' shape containers.
void InstallShapeServices();

}  // namespace orva
