#pragma once
// The frame cursor's record: the position of playback over the frames (or
// sections) of a multi-frame data set, with its play range, signed step, flags,
// frame interval and the unit in which positions are shown. Each port list of
// the displays holds one; the operations on it are io/frame_cursor.h's.
//
// The transport page changes the cursor on the UI thread while the playback
// timer thread advances it, so every field is a std::atomic<int32_t>.
#include <atomic>
#include <cstdint>

namespace orva {

// Flag bits of FramePlayer::flags.
constexpr int32_t kFramePlayerDrawV = 1;           // the "V" toggle: with the "L" toggle it
constexpr int32_t kFramePlayerDrawL = 2;           //   chooses how each played frame is drawn
constexpr int32_t kFramePlayerStepMode = 4;        // playback steps by stepSize frames
constexpr int32_t kFramePlayerReverse = 8;
constexpr int32_t kFramePlayerLoop = 16;
constexpr int32_t kFramePlayerReturnAtEnd = 0x20;  // the frame goes back when playback ends:
constexpr int32_t kFramePlayerReturnToFirst = 0x40;  // to the first frame, else to where it began
// Flags a new cursor takes from the saved settings.
constexpr int32_t kFramePlayerSavedFlags = kFramePlayerLoop | kFramePlayerReturnAtEnd;

struct FramePlayer {
    // Time mode, period and the saved flags from TheFramePlayerSaved(); step 1, step size 4.
    FramePlayer();
    FramePlayer(const FramePlayer&) = delete;
    FramePlayer& operator=(const FramePlayer&) = delete;

    std::atomic<int32_t> count{0};     // frames of the data set (0: none)
    std::atomic<int32_t> current{0};   // 0-based current frame
    std::atomic<int32_t> step{1};      // frames per tick; negative: reverse
    std::atomic<int32_t> last{0};      // last frame of the play range
    std::atomic<int32_t> timeMode{0};  // 0: frame numbers and frames/s; 1: times and ms/frame
    std::atomic<int32_t> interval{0};  // milliseconds per frame (0: not set)
    std::atomic<int32_t> flags{0};     // kFramePlayer... bits
    std::atomic<int32_t> first{0};     // first frame of the play range
    std::atomic<int32_t> mark{0};      // where playback began, kept inside first..last
    std::atomic<int32_t> stepSize{4};  // the step's magnitude in step mode
};

// Process-wide settings that outlive every cursor (the event timer's saved settings).
struct FramePlayerSaved {
    std::atomic<int32_t> timeMode{0};
    std::atomic<int32_t> flagWord{0};         // loop and return, as last stored by SetLoop
    std::atomic<int32_t> interval{0};         // edited by the transport page with no cursor
    std::atomic<int32_t> playbackTiming{0};   // the playback redraw compares it with 500
};
FramePlayerSaved& TheFramePlayerSaved();

}  // namespace orva
