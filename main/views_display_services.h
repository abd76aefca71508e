#pragma once

namespace orva {

// Lets the shell make the groups' workspaces and their display cells, and lets the
// devices keep the cells' ready groups and redraw marks.
void InstallViewsDisplayServices();

}  // namespace orva
