#pragma once
// The display cells and workspaces as frame playback reaches them (views/playback.h's
// PlaybackHooks): the window that shows a cell or a workspace, the workspace that plays
// in its own window, the cell's image drawn alone into a back buffer the swap keeps, the
// readouts and further widgets that follow each frame, the frame sync after the end,
// and the re-read states of the played records. UI thread only.
#include <cstdint>

namespace orva {

class ComponentBase;
class DeviceViewBase;
class DisplayCellBase;
struct PlaybackHooks;
struct gWindow;

// The live window of a display cell or a workspace; nullptr for anything else.
gWindow* PlaybackWindowOf(ComponentBase* component);
// The display's workspace when the user interface holds it (it fills one of the window
// groups) and the display is its active cell; nullptr otherwise.
ComponentBase* PlaybackCurrentWorkspaceOf(DisplayCellBase* display);
// Draws the cell's widget (and with `overlays` the shown widgets over it that come after
// it in the window) into `window`, whose context is current; the caller swaps. False
// when the cell has no shown widget in that window.
bool PlaybackDrawCellImage(DisplayCellBase* display, gWindow* window, bool overlays);
// The readouts of the cell's workspace follow the frame, when the cell is active.
void PlaybackRedrawReadouts(DisplayCellBase* display);
// The cell's rulers follow the frame; drawn at once where the swap keeps the back buffer
// (otherwise the frame's whole-window paint drew them already).
void PlaybackRedrawCellWidgets(DisplayCellBase* display);
// The redraw operation of a display that is not a drawing cell (its slot 23).
void PlaybackRedraw(ComponentBase* component);
// After playback ended: the cell's view, its graphics window and its pages take the
// list's current frame (a workspace passes this to its active cell).
void PlaybackFrameSync(ComponentBase* owner);
// While playback runs: the fast selector's frame field takes the played frame, to be
// shown with the frame's own paint, when the cell is its workspace's active one.
void PlaybackFollowFrame(ComponentBase* owner);
// Re-read state 1 (pending): the record's display polls its devices again. State 2 or
// more: the record's window takes its consumer back.
void PlaybackReloadRecord(DeviceViewBase* record);
void PlaybackRelinkRecord(DeviceViewBase* record);
// A record of the played chain took a new frame: when it is its window's current
// device, the window's statistic list and the value under the pointer follow it (the
// readouts of an active cell are marked, to be shown with the frame's paint).
void PlaybackRecordDelivered(DeviceViewBase* record);

// Fills the display and workspace entries of `hooks`; the transport page's stay as
// they are.
void DisplayFillPlaybackHooks(PlaybackHooks* hooks);

// Stops playback of the timer when it plays (or holds paused) the port of `display`:
// a display that goes must leave no pointer behind in the timer.
void PlaybackForgetDisplay(DisplayCellBase* display);

}  // namespace orva
