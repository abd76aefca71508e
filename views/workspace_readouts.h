#pragma once
// The workspace readouts: while the pointer moves over a view, the graphics window of the
// workspace's active cell keeps a readout record of the point under it; these operations
// copy the record into the workspace's readout cache, work out what changed (the
// coordinates, the values, the channel description) and rewrite only the fields of the
// readout pages that show it. One operation only marks the pages' windows for redraw;
// the others paint each rewritten field at once, so that the numbers follow the pointer
// without a repaint of the whole window. UI thread only.
#include <cstdint>

namespace orva {

class WorkspaceComponent;
struct GraphicsReadout;

// Change bits of a cache update.
constexpr uint32_t kReadoutCoordinates = 1;
constexpr uint32_t kReadoutValues = 2;
constexpr uint32_t kReadoutChannels = 4;
constexpr uint32_t kReadoutAll = kReadoutCoordinates | kReadoutValues | kReadoutChannels;

// Copies the parts of the record named by `parts` into the workspace's readout cache
// and answers the change bits: coordinates that differ from the cached ones; values
// unless the record says they are unchanged and the cache holds values; the channel
// description likewise.
uint32_t WorkspaceCacheReadout(WorkspaceComponent* workspace, const GraphicsReadout& record, uint32_t parts);

// The active cell's readout into the cache and the changed fields rewritten, their
// windows marked for redraw. False without an active cell, a graphics window, a change
// or a page table.
bool WorkspaceUpdateCoordText(WorkspaceComponent* workspace);
// The same with each rewritten field painted at once.
void WorkspaceUpdateReadouts(WorkspaceComponent* workspace);
void RedrawImageReadouts(WorkspaceComponent* workspace);
// Only the coordinates: the coordinates page's fields and the value page's position.
void RedrawImageCoordReadout(WorkspaceComponent* workspace);
void RedrawChartCoordReadout(WorkspaceComponent* workspace);
// Only the values of the active cell's chart: the value page's values field and the
// channel value fields, painted at once (the chart's channel description is not its
// cursor's: the channel buttons are left alone).
void RedrawChartValueReadout(WorkspaceComponent* workspace);
// Only the values and channels, from the given record.
void RedrawImageValueReadout(WorkspaceComponent* workspace, const GraphicsReadout* record);
void RedrawPlaybackValueReadout(WorkspaceComponent* workspace, const GraphicsReadout* record);
// The data the active cell showed were closed: the readout pages' fields are emptied (as
// before any file was shown) and the cache forgotten, so that the next record rewrites
// every field.
void WorkspaceClearReadouts(WorkspaceComponent* workspace);

}  // namespace orva
