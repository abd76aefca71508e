#include "framework/frame_player.h"

namespace orva {

FramePlayerSaved& TheFramePlayerSaved() {
    static FramePlayerSaved saved;
    return saved;
}

FramePlayer::FramePlayer() {
    const FramePlayerSaved& s = TheFramePlayerSaved();
    timeMode.store(s.timeMode.load());
    flags.store(s.flagWord.load() & kFramePlayerSavedFlags);
}

}  // namespace orva
