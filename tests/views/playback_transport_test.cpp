// The transport widgets during playback, on the recording window backend: the start
// shows the frame and presses the play button, the readout timer writes the frame
// number and the rate, the delayed call repeats the start notification, and the end
// (or a pause) puts the buttons back.
#include <gtest/gtest.h>

#include "io/frame_cursor.h"
#include "platform/fake_timer.h"
#include "playback_test_support.h"
#include "toolkit/fake_window_fixture.h"
#include "toolkit/number_field.h"

namespace orva::testing {
namespace {

struct Transport {
    gWindow* window = nullptr;
    PlaybackWidgets widgets;
    gElement* pause = nullptr;
    int glyphs = 0;
};
Transport* gTransport = nullptr;

class PlaybackTransportTest : public testing_util::FakeWindowTest {
protected:
    void SetUp() override {
        FakeWindowTest::SetUp();
        gWinShow(window, true);
        savedText_ = TheFrameTextHooks();
        TheFrameTextHooks().setText = [](void* widget, const char* text) {
            gWgtSetText(static_cast<gElement*>(widget), text);
        };
        transport.window = window;
        transport.widgets.playButton = Add(47, 0, "P");
        transport.widgets.frameText = Add(4, 0, "-");
        transport.widgets.rateText = Add(4, 0, "-");
        transport.pause = Add(47, 0, "II");
        gTransport = &transport;
        PlaybackHooks& h = ThePlaybackHooks();
        h.currentWorkspaceOf = [](DisplayCellBase* d) { return static_cast<ComponentBase*>(d); };
        h.windowOf = [](ComponentBase*) { return gTransport->window; };
        h.transportWidgets = [](ComponentBase*, PlaybackWidgets* out) {
            *out = gTransport->widgets;
            return true;
        };
        h.pauseToggle = [](ComponentBase*) { return gTransport->pause; };
        h.setToggleGlyph = [](gElement*) { ++gTransport->glyphs; };
    }
    void TearDown() override {
        timer.Stop(false);
        gTransport = nullptr;
        TheFrameTextHooks() = savedText_;
        FakeWindowTest::TearDown();
    }
    gElement* Play() { return transport.widgets.playButton; }
    gElement* FrameText() { return transport.widgets.frameText; }
    gElement* Rate() { return transport.widgets.rateText; }

    PlaybackScope scope{true};
    platform::FakeTimerService service;
    EventTimer timer{&service, &TheEventTimer()};
    PlayRig rig;
    Transport transport;
    FrameTextHooks savedText_;
};

TEST_F(PlaybackTransportTest, StartReadoutsDelayedCallAndEnd) {
    PlayDevice* d = rig.Single(20);
    (void)d;
    FramePlayer& p = rig.Player();
    p.first = 0;
    p.last = 19;
    p.current = 19;
    p.flags = kFramePlayerLoop;
    TheFramePlayerSaved().timeMode = 0;
    transport.pause->value = 1;
    service.now = 0;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    // The start moved the frame from the last to the first: the number shows it; the
    // play button is pressed and the pause released.
    EXPECT_EQ(FrameText()->text, "1");
    EXPECT_EQ(Play()->value, 1u);
    EXPECT_EQ(transport.pause->value, 0u);
    // Only the play button changes its glyph; the pause toggle keeps its own.
    EXPECT_EQ(transport.glyphs, 1);
    EXPECT_EQ(timer.frameText, FrameText());
    EXPECT_EQ(timer.viewHwnd.load(), window->hwnd);
    ASSERT_NE(timer.uiTimerId, 0u);
    EXPECT_EQ(service.FindUiTimer(timer.uiTimerId)->milliseconds, 200u);
    // Three steps, 20 ms apart: the number goes with each drawn frame, the rate waits for
    // its own timer.
    const std::string rate = Rate()->text;
    for (uint32_t t : {20u, 40u, 60u}) {
        service.now = t;
        ASSERT_TRUE(service.Tick());
        EXPECT_EQ(FrameText()->text, std::to_string(t / 20 + 1));
    }
    EXPECT_EQ(Rate()->text, rate);
    ASSERT_TRUE(service.FireUiTimer(timer.uiTimerId));
    EXPECT_EQ(FrameText()->text, "4");
    EXPECT_EQ(Rate()->text, "50.00");
    // A change of the view during playback asks for the start notification again.
    FramesStage* stage = rig.stages[0];
    ASSERT_EQ(stage->Refreshes(), (std::vector<uint8_t>{1}));
    ASSERT_TRUE(timer.StartDelayedNotify());
    EXPECT_EQ(service.FindUiTimer(timer.delayedTimerId)->milliseconds, 5000u);
    ASSERT_TRUE(service.FireUiTimer(timer.delayedTimerId));
    EXPECT_EQ(stage->Refreshes(), (std::vector<uint8_t>{1, 1}));
    // The end: the loop flag alone keeps the frame; the play button is released.
    const uintptr_t ui = timer.uiTimerId;
    ASSERT_TRUE(PlaybackEnd(&timer, 0));
    EXPECT_EQ(Play()->value, 0u);
    EXPECT_EQ(p.current.load(), 3);
    EXPECT_EQ(FrameText()->text, "4");
    EXPECT_EQ(stage->Refreshes(), (std::vector<uint8_t>{1, 1, 0}));
    EXPECT_EQ(service.FindUiTimer(ui), nullptr);
    EXPECT_EQ(timer.frameText, nullptr);
}

TEST_F(PlaybackTransportTest, APauseSetsThePauseToggleAndKeepsThePlayButton) {
    rig.Single(20);
    FramePlayer& p = rig.Player();
    p.current = 4;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    ASSERT_EQ(Play()->value, 1u);
    ASSERT_TRUE(PlaybackEnd(&timer, 1));
    EXPECT_EQ(transport.pause->value, 1u);
    EXPECT_EQ(Play()->value, 1u);
    // The resume releases the pause toggle again.
    ASSERT_TRUE(PlaybackStart(&timer, nullptr, 0));
    EXPECT_EQ(transport.pause->value, 0u);
    ASSERT_TRUE(PlaybackEnd(&timer, 0));
    EXPECT_EQ(Play()->value, 0u);
}

TEST_F(PlaybackTransportTest, ReadoutsInMillisecondsPerFrameAndAHiddenTextIsLeftAlone) {
    rig.Single(20);
    rig.Player().current = 2;
    TheFramePlayerSaved().timeMode = 1;
    service.now = 0;
    ASSERT_TRUE(PlaybackStart(&timer, rig.cells[0], 0));
    EXPECT_EQ(timer.lastRateValue.load(), 0);
    for (uint32_t t : {40u, 80u}) {
        service.now = t;
        ASSERT_TRUE(service.Tick());
    }
    ASSERT_TRUE(service.FireUiTimer(timer.uiTimerId));
    EXPECT_EQ(Rate()->text, "040");
    Rate()->text = "kept";
    ASSERT_TRUE(service.FireUiTimer(timer.uiTimerId));
    EXPECT_EQ(Rate()->text, "kept");  // the same integer is not written again
    // A frame text that is not shown stops the readouts.
    FrameText()->shown = 0;
    service.now = 200;
    ASSERT_TRUE(service.Tick());
    ASSERT_TRUE(service.FireUiTimer(timer.uiTimerId));
    EXPECT_EQ(Rate()->text, "kept");
    TheFramePlayerSaved().timeMode = 0;
    ASSERT_TRUE(PlaybackEnd(&timer, 0));
}

}  // namespace
}  // namespace orva::testing
