#pragma once

namespace orva {

// The edit frame of every view's shapes, and the "Edit Shape..." panel: built hidden with
// the main window, shown from the main menu.
void InstallShapeEditServices();

}  // namespace orva
