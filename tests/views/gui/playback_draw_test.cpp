// The frame-draw routines on the X server with real GL contexts: each frame the timer
// thread asks for is drawn into the cell's window on the UI thread, the whole window
// where the swap leaves the back buffer undefined, the cell's image alone where it
// keeps it; the end draws the frame playback returned to.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "framework/frame_player.h"
#include "platform/timer_service.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/layout.h"
#include "views/playback_test_support.h"
#include "watchdog.h"

namespace orva::testing {
namespace {

using testing_util::PixelAt;
using testing_util::Rgb;

struct DrawSeen {
    gWindow* window = nullptr;
    FramePlayer* player = nullptr;
    std::vector<int> wholeRed;   // red of the centre after each whole-window paint
    std::vector<int> imageRed;   // red of the centre after each image-only draw
    std::vector<bool> overlays;
    int readouts = 0, cellWidgets = 0, syncs = 0;
    // A slow image draw: the clock at the start of each, and how long each takes (ms).
    platform::TimerService* clock = nullptr;
    std::vector<uint32_t> imageAt;
    int imageMs = 0;
};
DrawSeen* gDraw = nullptr;

// The colour of a frame: red 10 per frame number.
void ClearToFrame() {
    const int f = gDraw->player->current.load();
    glClearColor(static_cast<float>(f * 10) / 255.0f, 0.5f, 0.25f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

class PlaybackDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window = testing_util::InitWithFrame(30, 30, 160, 120);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(testing_util::OpenShown(window, "Playback"));
        seen.window = window;
        seen.player = &rig.Player();
        seen.clock = &service;
        gDraw = &seen;
        window->backgroundPainter = [](gWindow*) { ClearToFrame(); };
        gWinSetAfterPaint(
            window, [](gWindow* w, void*) { gDraw->wholeRed.push_back(PixelAt(w, 80, 60).r); }, nullptr);
        PlaybackHooks& h = ThePlaybackHooks();
        h.windowOf = [](ComponentBase*) { return gDraw->window; };
        h.drawCellImage = [](DisplayCellBase*, gWindow* w, bool overlays) {
            gDraw->imageAt.push_back(gDraw->clock->GetTime());
            if (gDraw->imageMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gDraw->imageMs));
            ClearToFrame();
            gDraw->imageRed.push_back(PixelAt(w, 80, 60).r);
            gDraw->overlays.push_back(overlays);
            return true;
        };
        h.redrawReadouts = [](DisplayCellBase*) { ++gDraw->readouts; };
        h.redrawCellWidgets = [](DisplayCellBase*) { ++gDraw->cellWidgets; };
        h.frameSync = [](ComponentBase*) { ++gDraw->syncs; };
        device = rig.Single(6, true);  // a drawing cell
        FramePlayer& p = rig.Player();
        p.interval = 20;
        p.current = 0;
        p.flags = kFramePlayerReturnAtEnd | kFramePlayerReturnToFirst | kFramePlayerDrawV | kFramePlayerDrawL;
    }
    void TearDown() override {
        timer.Shutdown();
        gDraw = nullptr;
        if (window != nullptr) testing_util::CloseToolkit();
    }
    void PlayToTheEnd() {
        testing_util::Watchdog dog("PlayToTheEnd");
        ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
        testing_util::PumpUntil([this] { return seen.syncs > 0; }, 5000);
        ASSERT_EQ(seen.syncs, 1);
    }
    PlaybackScope scope{true};
    platform::ThreadTimerService service;
    EventTimer timer{&service, &TheEventTimer()};
    PlayRig rig;
    DrawSeen seen;
    gWindow* window = nullptr;
    PlayDevice* device = nullptr;
};

TEST_F(PlaybackDrawTest, WithoutACopyingSwapEachFrameRepaintsTheWholeWindow) {
    gWinSetSwapCopies(window, false);
    seen.wholeRed.clear();
    PlayToTheEnd();
    // Frames 1 to 5, then the end's return to the first frame.
    EXPECT_EQ(seen.wholeRed, (std::vector<int>{10, 20, 30, 40, 50, 0}));
    EXPECT_TRUE(seen.imageRed.empty());
    // Flags 1 and 2 add the readouts and the cell's widgets to every frame.
    EXPECT_EQ(seen.readouts, 5);
    EXPECT_EQ(seen.cellWidgets, 5);
    EXPECT_EQ(device->deliveries.load(), 6);
    EXPECT_EQ(window->dirty, 0u);
    EXPECT_EQ(DisplayLockDepth(), 0);
}

TEST_F(PlaybackDrawTest, WithACopyingSwapOnlyTheCellsImageIsDrawn) {
    gWinSetSwapCopies(window, true);
    rig.Player().flags = kFramePlayerReturnAtEnd;  // no additions; back to the start mark
    seen.wholeRed.clear();
    PlayToTheEnd();
    EXPECT_EQ(seen.imageRed, (std::vector<int>{10, 20, 30, 40, 50}));
    EXPECT_EQ(seen.overlays, std::vector<bool>(5, false));
    EXPECT_EQ(seen.readouts + seen.cellWidgets, 0);
    // The end paints the returned frame whole.
    EXPECT_EQ(seen.wholeRed, (std::vector<int>{0}));
}

// The achieved rate counts each step at the time the step was taken: the time its frame
// then takes to be drawn is no part of the pace (counted after the draw, it made the rate
// shown fall short of the pace kept by a frame's drawing time).
TEST_F(PlaybackDrawTest, TheAchievedRateCountsEachStepBeforeItsFrameIsDrawn) {
    gWinSetSwapCopies(window, true);
    rig.Player().flags = kFramePlayerReturnAtEnd;
    seen.imageMs = 30;
    PlayToTheEnd();
    ASSERT_EQ(seen.imageAt.size(), 5u);
    EXPECT_EQ(timer.tickCount.load(), 5u);
    EXPECT_LE(timer.lastTickTime.load(), seen.imageAt.back());
}

}  // namespace
}  // namespace orva::testing
