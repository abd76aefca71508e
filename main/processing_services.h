#pragma once

namespace orva {

// Lets the default chain of every opened file make its Processing stage.
void InstallProcessingServices();

}  // namespace orva
