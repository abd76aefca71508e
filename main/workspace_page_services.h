#pragma once

namespace orva {

// Lets the display cells, the graphics windows and playback reach the workspace's tool
// pages: the readouts that follow the pointer, the view mode and fast selector pages,
// and the page table's panel builder for the workspaces made from now on.
void InstallWorkspacePageServices();

}  // namespace orva
