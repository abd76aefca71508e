#include "framework/frame_player.h"

namespace orva {

FramePlayerSaved& TheFramePlayerSaved() {
    static FramePlayerSaved saved;
    return saved;
}

FramePlayer::FramePlayer() {
    const FramePlayerSaved& s = TheFramePlayerSaved();
    timeMode.store(s.timeMode.load());
    // The period that playback uses until the rate is set; the transport page shows it.
    interval.store(s.interval.load());
    flags.store(s.flagWord.load() & kFramePlayerSavedFlags);
}

}  // namespace orva
