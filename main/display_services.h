#pragma once

namespace orva {

// Gives display cells their image windows and the polling of their current window,
// lets the image devices and windows read frame counts and the values behind the
// pixels, reach the shapes of their cell, and lends the output writer the wait cursor.
void InstallDisplayServices();

}  // namespace orva
