#pragma once

namespace orva {

// Installs the Output: the shell's Output entries (the item output, its page, Save), the
// main menu's "Save" panel and the stage labels of the output writer's log.
void InstallOutputServices();

}  // namespace orva
