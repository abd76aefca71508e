#pragma once
// The values of orva.cfg's main section and the run-time flags that commands set.
#include <cstdint>

namespace orva {

struct MainSettings {
    // Run-time flags (not stored).
    uint8_t windowless = 0;    // run the command line without a user interface and end
    uint8_t exitDialog = 1;    // ask before the program exits
    uint8_t quitRequest = 0;   // the main window is to close
    uint8_t bringToFront = 0;  // the main window is to come to the front
};

}  // namespace orva
