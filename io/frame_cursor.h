#pragma once
// The frame cursor's operations (the record, FramePlayer, is framework/frame_player.h's):
// the range and position setters, the playback tick and the position texts.
//
// The transport page changes the cursor on the UI thread while the playback timer
// thread advances it. Every field is a std::atomic<int32_t>. The stores the timer
// thread depends on are exchanges, in a fixed order: the count before the range,
// current after it, the step before the reverse flag. The rest (mark, interval, and
// first and last while the count changes) are relaxed stores, which cost nothing
// more than plain ones and keep the timer's reads free of data races.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "framework/frame_player.h"

namespace orva {

// Position units of FramePlayerSetFirst / FramePlayerSetLast.
constexpr int kFrameUnitNumber = 0;        // a 1-based frame number (any unit but 1)
constexpr int kFrameUnitMilliseconds = 1;
// Rate units of FramePlayerSetRate.
constexpr int kRateFramesPerSecond = 0;
constexpr int kRateMillisecondsPerFrame = 1;

// Sets the frame count and rescales the range, the current frame and the mark.
// True when the count changed. Counts above 0x7FFFFFFF are taken as 0x7FFFFFFF.
bool FramePlayerSetCount(FramePlayer& p, uint32_t n);
// *value is a 1-based frame number, or milliseconds with unit 1; it receives the
// 0-based result. 0 unchanged, 1 first changed, 2 first and current changed.
int FramePlayerSetFirst(FramePlayer& p, int32_t* value, int unit);
// The same for the last frame: 0, 1 last changed, 2 last and current changed.
int FramePlayerSetLast(FramePlayer& p, int32_t* value, int unit);
bool FramePlayerStepForward(FramePlayer& p);
bool FramePlayerStepBack(FramePlayer& p);
bool FramePlayerToFirst(FramePlayer& p);
bool FramePlayerToLast(FramePlayer& p);
// Switches the time mode; the new time mode.
int32_t FramePlayerTogglePlay(FramePlayer& p);
// The new flag word.
int32_t FramePlayerSetLoop(FramePlayer& p, bool on);
// The new step.
int32_t FramePlayerSetReverse(FramePlayer& p, bool on);
// unit 0: x frames per second; unit 1: x milliseconds per frame. Works on any
// interval word (a cursor's or the saved one). True when the interval changed.
bool FramePlayerSetRate(int unit, double x, std::atomic<int32_t>* interval);
// One playback tick: current moves by step; past the range it wraps with the loop
// flag, else nothing moves and the answer is false (playback stops). The caller
// holds the display lock.
bool FramePlayerAdvance(FramePlayer& p);

// ---- Position texts ----------------------------------------------------------------------

// The texts in a buffer of at least kFrameTextSize bytes; the length.
constexpr size_t kFrameTextSize = 32;
int FrameNumberTextFormat(const FramePlayer& p, char* buffer);
int FrameTimeTextFormat(const FramePlayer& p, int32_t frame, char* buffer);

// Where the texts go: the toolkit's text setter, installed by the user interface
// (a null setter shows nothing).
struct FrameTextHooks {
    void (*setText)(void* widget, const char* text) = nullptr;
};
FrameTextHooks& TheFrameTextHooks();

// Shows the current position in the widget.
void FrameNumberText(const FramePlayer& p, void* widget);
// Shows the given frame index (the first and last fields of the transport page).
void FrameTimeText(const FramePlayer& p, int32_t frame, void* widget);

}  // namespace orva
