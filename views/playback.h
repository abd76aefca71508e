#pragma once
// Frame playback: the frames of a multi-frame data set shown one after another in a
// display cell.
//
// The played object is a port list (PortList): its FramePlayer is the cursor, its
// playback chain (firstDevice .. lastDevice) the playable source records. The event
// timer ticks on its own thread; each tick moves the cursor under the display lock,
// has the chain's records re-read, leaves the lock and sends the view window 0x501,
// whose frame routine delivers and draws the frame on the UI thread while the timer
// thread waits. At the end of the range without loop it sends 0x502 instead, whose
// one-shot routine ends playback on the UI thread.
//
// The display cell, the workspace and the transport page are reached through
// PlaybackHooks, which they fill when they are built; every hook may be left empty.
#include <cstdint>

#include "framework/display_lock.h"

namespace orva {

class ComponentBase;
class DeviceViewBase;
class DisplayCellBase;
class OutPort;
class PortList;
struct gElement;
struct gWindow;

// The transport page's widgets that playback updates.
struct PlaybackWidgets {
    gElement* playButton = nullptr;
    gElement* frameText = nullptr;
    gElement* progressBar = nullptr;
    gElement* rateText = nullptr;
};

struct PlaybackHooks {
    // The workspace that the user interface holds as its current one, when that
    // workspace's active cell is `display`; nullptr otherwise.
    ComponentBase* (*currentWorkspaceOf)(DisplayCellBase* display) = nullptr;
    // The toolkit window that shows a display cell or a workspace; nullptr when none.
    gWindow* (*windowOf)(ComponentBase* component) = nullptr;
    // The transport page (page table index 12) of a workspace, when it is open: its
    // widgets into `out`, true; false when it is not open.
    bool (*transportWidgets)(ComponentBase* workspace, PlaybackWidgets* out) = nullptr;
    // The pause toggle of a workspace's transport page; nullptr when none.
    gElement* (*pauseToggle)(ComponentBase* workspace) = nullptr;
    // Shows a toggle's glyph by its value (0x10 or 0x0F of the symbol font).
    void (*setToggleGlyph)(gElement* toggle) = nullptr;
    // Draws a drawing cell's image widget into `window`, whose GL context is current,
    // with an orthographic projection of the window size; with `overlays` also the
    // cell's visible overlay widgets with their chained children. The caller swaps.
    // False when the cell cannot draw this way (the whole window is painted then).
    bool (*drawCellImage)(DisplayCellBase* cell, gWindow* window, bool overlays) = nullptr;
    // Frame-draw additions: flag 1 the workspace readouts of the cell, flag 2 further
    // widgets of the cell.
    void (*redrawReadouts)(DisplayCellBase* cell) = nullptr;
    void (*redrawCellWidgets)(DisplayCellBase* cell) = nullptr;
    // The redraw operation of a component that is not a drawing cell.
    void (*redraw)(ComponentBase* component) = nullptr;
    // The display's frame sync: brings the workspace pages and the cell's view to the
    // current frame, after playback ended.
    void (*frameSync)(ComponentBase* owner) = nullptr;
    // The pages beside the transport page that show the current frame (the fast
    // selector's frame field) take the played frame, to be shown with the frame's paint.
    void (*followFrame)(ComponentBase* owner) = nullptr;
    // The re-read state of a delivered record: 1 has its component reload (the state
    // then returns to 0), 2 or more has the record re-link.
    void (*reloadRecord)(DeviceViewBase* record) = nullptr;
    void (*relinkRecord)(DeviceViewBase* record) = nullptr;
    // A record took the data of a new frame (UI thread, outside the display lock, before
    // its display is drawn): its window follows as after any delivery.
    void (*delivered)(DeviceViewBase* record) = nullptr;
};
PlaybackHooks& ThePlaybackHooks();

// Codes of PlaybackControl.
constexpr int32_t kPlaybackEnd = 0;
constexpr int32_t kPlaybackResume = 1;
constexpr int32_t kPlaybackPause = 2;

// The frame count of a component's data: its cached description's, else its frame
// query's; 0 without one.
int32_t PlaybackFrameCount(ComponentBase* component);

// Under the display lock: rebuilds the list's playable chain from the sources of its
// ports (leaving `leaveOut` out) and the player's range. True when more than one frame
// can be played.
bool PlaybackRange(PortList* port, OutPort* leaveOut);

// Starts (or resumes) playback of the display's port list; with `toggle`, a call for
// the port that plays stops it. UI thread.
bool PlaybackStart(EventTimer* timer, DisplayCellBase* display, uint8_t toggle);
// EventTimer::Start, and the linked sources are told that playback starts.
bool PlaybackStartTimer(EventTimer* timer);
// EventTimer::Stop(keep), and the linked sources are told that playback stops.
bool PlaybackStopTimer(EventTimer* timer, uint8_t keep);
// Stops (or with keep pauses) playback, brings the frame back as the flags ask,
// updates the transport widgets and redraws the displays. UI thread.
bool PlaybackEnd(EventTimer* timer, uint8_t keep);
// Runs the timer's control routine with the code, when one is installed.
void PlaybackControl(int32_t code, EventTimer& timer = TheEventTimer());
// Chooses the frame-draw routine (when `installDraw`) and installs PlaybackStep; false
// unless ready is 1.
bool PlaybackInstall(EventTimer* timer, uint8_t installDraw, int32_t ready, int32_t flags);
// The frame period of the list's player changed (a rate was typed): while the timer
// plays the list, it goes on at that period. True when the pace changed.
bool PlaybackFollowRate(EventTimer* timer, PortList* port);
// The frame step (timer thread).
void PlaybackStep(EventTimer* timer);
// Re-reads every playable record and redraws one frame at once (single steps), with what
// follows the frame in windows of their own (a chart's statistic list). UI thread.
void PlaybackStepRedraw(PortList* port);
// The readouts on the UI thread (frame number, rate, progress, and the other pages that
// show the frame).
void PlaybackUiTick(EventTimer* timer);
// Writes the achieved rate into the widget: frames per second ("%.2f") in rate unit 0,
// milliseconds per frame (at least three digits) in unit 1.
void PlaybackFps(EventTimer* timer, gElement* widget);
// The rate text PlaybackFps would write (nullptr when it writes none); for the readout
// and tests.
const char* PlaybackFpsText(EventTimer* timer);
// Refreshes every source component the list's playable records pull from, once each,
// with the flag (1 playback starts, 0 it stops).
void NotifyLinkedSources(PortList* port, uint8_t flag);

}  // namespace orva
