#pragma once
// The "Transport" page of the workspace: playback of the active cell's frames (play,
// pause, first and last frame, single steps, loop, reverse, return to start), the step
// size, the played range as frame numbers or times, the frame rate, the achieved rate
// and a seek bar. Without an active cell that can play, the controls edit the playback
// settings the next data set starts with. UI thread only.
#include <cstdint>

namespace orva {

class UIElement;
struct PlaybackHooks;
class UIPage;
class WorkspaceComponent;
struct FramePlayer;
struct gElement;

// Slots of the page.
constexpr uint32_t kTransportStepSize = 0, kTransportFirst = 1, kTransportLast = 2, kTransportRate = 3,
                   kTransportStar = 4, kTransportStepMode = 5, kTransportStepMark = 6, kTransportDrawV = 7,
                   kTransportDrawL = 8, kTransportFrameText = 9, kTransportRateText = 10, kTransportRateUnit = 11,
                   kTransportToFirst = 12, kTransportStepBack = 13, kTransportPlay = 14, kTransportPause = 15,
                   kTransportStepForward = 16, kTransportToLast = 17, kTransportIndicator = 18,
                   kTransportLoop = 19, kTransportReverse = 20, kTransportReturn = 21, kTransportSeekBar = 22;
constexpr uint32_t kTransportSlotCount = 23;

// The player has frames to move through: a last frame index of 1 (two frames) or more.
bool TransportPlayerHasFrames(const FramePlayer* player);

// The rate field's text for a rate unit and a frame period: "%.2f" frames per second in
// unit 0 (0 without a period), the period with at least three digits in unit 1, else "0".
void TransportRateText(int32_t unit, int32_t period, char text[32]);

// The page: build, the refresh of the page machinery, and the refresh from outside
// (when the page is open and its window shown).
void BuildTransportPage(UIElement* element, gElement** slots);
void TransportPageRefresh(UIPage* page, UIElement* element, int32_t pageId);
void TransportPageUpdate(WorkspaceComponent* workspace, UIElement* element);
void RefreshTransportPage(WorkspaceComponent* workspace);

// Lets playback reach the open page's play button, frame and rate texts, seek bar and
// pause toggle.
void TransportFillPlaybackHooks(PlaybackHooks* hooks);

// Handlers (the widget and the page element).
void TransportToFirstPress(gElement* button, uintptr_t element);
void TransportToLastPress(gElement* button, uintptr_t element);
void TransportStepBackPress(gElement* button, uintptr_t element);
void TransportStepForwardPress(gElement* button, uintptr_t element);
void TransportPlayPress(gElement* toggle, uintptr_t element);
void TransportPausePress(gElement* toggle, uintptr_t element);
void TransportLoopPress(gElement* toggle, uintptr_t element);
void TransportReversePress(gElement* toggle, uintptr_t element);
void TransportReturnPress(gElement* toggle, uintptr_t element);
void TransportDrawPress(gElement* toggle, uintptr_t element);
void TransportStepModePress(gElement* toggle, uintptr_t element);
void TransportRateUnitPress(gElement* button, uintptr_t element);
void TransportStepSizeChanged(gElement* field, uintptr_t element);
void TransportFirstChanged(gElement* field, uintptr_t element);
void TransportLastChanged(gElement* field, uintptr_t element);
void TransportRateChanged(gElement* field, uintptr_t element);

// The seek bar's callbacks (user data: the page element).
int TransportSeekMode(uintptr_t element);
void TransportSeekPosition(uintptr_t element, float* fraction);
uint8_t TransportSeek(uintptr_t element, float* fraction);
void TransportSeekDone(uintptr_t element);

}  // namespace orva
