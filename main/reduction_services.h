#pragma once

namespace orva {

// Lets the default chain of every opened file, and a script's `keloRD`, make its Reduction stage.
void InstallReductionServices();

}  // namespace orva
