#pragma once

namespace orva {

// Lets the default chain of every opened file make its Processing stage, with the
// "Plugins" panel as its page.
void InstallProcessingServices();

}  // namespace orva
