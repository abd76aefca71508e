#pragma once

namespace orva {

// Lets the main menu's Draw and Edit entries act on the current display cell: its image
// window's placement tools and its shape container.
void InstallMenuServices();

}  // namespace orva
