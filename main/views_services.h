#pragma once

namespace orva {

// Opens data files: the shell's open road makes a project item of each file with its
// Source at the head of the default chain.
void InstallViewsServices();

}  // namespace orva
