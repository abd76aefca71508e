// Stepping and playing a cube, and fitting a frame, as a user does it: the real program on
// files written by astropy, driven only through XTest and judged by the screen. The fast
// selector's "FRAME(S):" field and the transport page's frame number follow each other's
// steps and the played frames; a rate typed into the transport's rate field while the cube
// plays is shown and sets the pace (the page's own rate readout measures it); Play and
// Pause again and again at 20 frames a second each move the frame on; and F10 after
// Ctrl+1 brings the frame back into the view, fitted and centred.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "frame_selector.h"
#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"
// After the test headers: Xlib's macros would spoil them.
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;
using testing_program::ShowsText;
using testing_program::Shown;

constexpr int kPlayFrames = 12;

// The cube: frame k is the constant 100 (k + 1), shown over the stated range 0 .. 1300,
// so that every frame has a grey of its own. The wide frame: 1600 x 300, grey inside a
// white border 12 pixels wide, wider than the view at 100 % and fitted well below it.
constexpr const char* kPlayFiles = R"(
import sys
import numpy as np
from astropy.io import fits
folder = sys.argv[1]
c = np.zeros((12, 48, 64), np.int16)
for k in range(c.shape[0]): c[k] = 100 * (k + 1)
h = fits.PrimaryHDU(c)
h.header['DATAMIN'] = 0
h.header['DATAMAX'] = 1300
h.writeto(folder + '/cube.fits', overwrite=True)
fits.PrimaryHDU(np.arange(100, dtype=np.int16).repeat(256).reshape(100, 16, 16)).writeto(folder + '/long.fits', overwrite=True)
w = np.full((300, 1600), 400, np.int16)
w[:12, :] = w[-12:, :] = w[:, :12] = w[:, -12:] = 1000
h = fits.PrimaryHDU(w)
h.header['DATAMIN'] = 0
h.header['DATAMAX'] = 1000
h.writeto(folder + '/wide.fits', overwrite=True)
)";

// A box of the screen: a field that shows one text.
struct Box {
    int x = 0, y = 0, width = 0, height = 0;
};

class PlayProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), kPlayFiles);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("make.py") + "' '" + files.Path() + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
    }

    Window Root() const { return DefaultRootWindow(screen.display()); }
    bool Grab() { return screen.Grab(Root(), &shot); }
    // The screen as it was, kept beside the build to be looked at.
    std::string Save(const std::string& name) {
        const std::string path = std::string(ORVA_BINARY_DIR) + "/play_" + name + ".ppm";
        testing_program::WritePpm(path, shot);
        return path;
    }

    // Starts the program on the file and waits for its pages: the fast selector's
    // "FRAME(S):" row and the transport page's rate field (the rate a new start has,
    // "20.00"), whose places give the fields read below.
    void Start(const std::string& name) {
        std::string why;
        main = testing_program::StartOnFiles(screen, program, files.File("run-" + name), {files.File(name)}, &why);
        ASSERT_NE(main, 0u) << why;
        bool selector = false, transport = false;
        for (int waited = 0; waited < 10000 && !(selector && transport); waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (!Grab()) continue;
            selector = frames.Find(shot);
            transport = FindText(shot, 0, 0, shot.width, 200, "20.00", &rateX, &rateY);
        }
        ASSERT_TRUE(selector && transport) << "fast selector " << selector << ", transport page " << transport
                                           << "; the screen: " << Save("start");
    }

    // The fast selector's current frame (the field right of the frame total) and the
    // transport page's frame number (right of its "L" toggle).
    Box SelectorFrame() const { return {frames.FieldX(), frames.FieldY(), frames.kFieldWidth, frames.kFieldHeight}; }
    Box TransportFrame() const { return {rateX - 70, rateY + 16, 60, 17}; }
    // The transport's rate field and, under it, the achieved rate.
    Box RateField() const { return {rateX - 4, rateY - 5, 37, 17}; }
    Box RateReadout() const { return {rateX - 4, rateY + 15, 37, 17}; }

    bool Shows(const Box& b, const std::string& text) { return ShowsText(shot, b.x, b.y, b.width, b.height, text); }
    // The frame number a field shows (1 .. last), 0 when it shows none of them.
    int FrameIn(const Box& b, int last = kPlayFrames) {
        for (int n = 1; n <= last; ++n)
            if (Shows(b, std::to_string(n))) return n;
        return 0;
    }
    // Waits until the field shows the text.
    bool WaitFor(const Box& b, const std::string& text, int ms = 5000) {
        for (int waited = 0;; waited += 100) {
            if (Grab() && Shows(b, text)) return true;
            if (waited >= ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    std::string Why(const Box& b, const std::string& text) {
        std::string why;
        ShowsText(shot, b.x, b.y, b.width, b.height, text, &why);
        return why + "the screen: " + Save("shown");
    }

    using Rgb = std::array<uint8_t, 3>;
    Rgb At(int x, int y) const {
        const uint8_t* p = shot.At(x, y);
        return {p[0], p[1], p[2]};
    }
    // The box round the pixels of the area that differ from the ground colour.
    Shown Unlike(const Screen::Rect& area, const Rgb& ground) const {
        Shown box{area.right, area.bottom, area.left, area.top};
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (At(x, y) != ground) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x + 1);
                    box.bottom = std::max(box.bottom, y + 1);
                }
        return box;
    }

    void Click(int x, int y) {
        testing_program::ClickAt(screen.display(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    void ClickSelectorNext() {
        frames.Next(screen.display());
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    void ClickPlay() { Click(rateX - 115, rateY + 56); }
    void ClickPause() { Click(rateX - 91, rateY + 56); }
    void ClickLoop() { Click(rateX - 13, rateY + 56); }

    // Types a rate into the transport's rate field: the caret to the end, the old text
    // taken away, the new one typed and Enter.
    void TypeRate(const std::string& rate) {
        const Box f = RateField();
        Click(f.x + f.width - 3, f.y + 8);
        Display* d = screen.display();
        testing_program::PressKeys(d, {XK_End});
        for (int i = 0; i < 8; ++i) testing_program::PressKeys(d, {XK_BackSpace});
        ASSERT_TRUE(testing_program::TypeText(d, rate));
        testing_program::PressKeys(d, {XK_Return});
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
    testing_program::FrameSelector frames;
    int rateX = 0, rateY = 0;
};

// Steps with the fast selector's arrow move the transport's frame number too; while the
// cube then plays (at 4 frames a second, typed into the rate field before the start), the
// fast selector's field follows the played frames as the transport's number does.
TEST_F(PlayProgram, TheFastSelectorFollowsThePlayedFrames) {
    ASSERT_NO_FATAL_FAILURE(Start("cube.fits"));
    ASSERT_TRUE(WaitFor(SelectorFrame(), "1")) << Why(SelectorFrame(), "1");
    ASSERT_TRUE(WaitFor(TransportFrame(), "1")) << Why(TransportFrame(), "1");
    // Two steps, the second well after the first (a second click at once would be a
    // double click).
    ClickSelectorNext();
    ASSERT_TRUE(WaitFor(SelectorFrame(), "2")) << Why(SelectorFrame(), "2");
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    ClickSelectorNext();
    EXPECT_TRUE(WaitFor(SelectorFrame(), "3")) << Why(SelectorFrame(), "3");
    EXPECT_TRUE(WaitFor(TransportFrame(), "3")) << Why(TransportFrame(), "3");

    ASSERT_NO_FATAL_FAILURE(TypeRate("4"));
    ASSERT_TRUE(WaitFor(RateField(), "4.00")) << Why(RateField(), "4.00");
    ClickPlay();
    // Nine frames at 250 ms: the field is read every 100 ms until the transport's number
    // reaches the last frame (or returns to the start after the end).
    std::vector<int> seen;
    bool playedOn = false;
    for (int waited = 0; waited < 10000; waited += 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!Grab()) continue;
        const int selector = FrameIn(SelectorFrame()), transport = FrameIn(TransportFrame());
        if (selector != 0 && (seen.empty() || seen.back() != selector)) seen.push_back(selector);
        if (transport > 3) playedOn = true;
        if (playedOn && (transport == kPlayFrames || transport == 3)) break;
    }
    EXPECT_TRUE(playedOn) << "the cube did not play";
    // The played frames came one after another, past the frame the play began at.
    std::set<int> played;
    for (int n : seen)
        if (n > 3) played.insert(n);
    std::string list;
    for (int n : seen) list += std::to_string(n) + " ";
    EXPECT_GE(played.size(), 3u) << "the fast selector showed: " << list;
    for (size_t i = 1; i < seen.size(); ++i) {
        if (seen[i] > 3) {
            EXPECT_GT(seen[i], seen[i - 1]) << list;
        }
    }
    EXPECT_TRUE(program->Running());
}

// Play, then Pause a moment later, at 20 frames a second (a cube of 100 frames, whose end
// no round reaches): the shown frame has moved on from the first; Play again ends the
// paused play and the frame returns to the first. Every round moves the frame, however
// many came before (a pause once left the next play's timer without its step, and that
// play showed the first frame still).
TEST_F(PlayProgram, PlayAndPauseAgainAndAgainEachMoveTheFrame) {
    ASSERT_NO_FATAL_FAILURE(Start("long.fits"));
    ASSERT_TRUE(WaitFor(TransportFrame(), "1")) << Why(TransportFrame(), "1");
    for (int round = 1; round <= 5; ++round) {
        SCOPED_TRACE(round);
        ClickPlay();
        std::this_thread::sleep_for(std::chrono::milliseconds(100 + 40 * round));
        ClickPause();
        // Paused: the frame number stays where the pause found it, past the first.
        int paused = 0;
        for (int waited = 0; waited < 5000 && paused < 2; waited += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (Grab()) paused = FrameIn(TransportFrame(), 100);
        }
        EXPECT_GE(paused, 2) << "the paused play shows frame " << paused << "; " << Why(TransportFrame(), "2");
        // Play ends the paused play: back to the first frame.
        ClickPlay();
        ASSERT_TRUE(WaitFor(TransportFrame(), "1")) << Why(TransportFrame(), "1");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // no double click
    }
    EXPECT_TRUE(program->Running());
}

// The cube plays in a loop at 20 frames a second (the frames move on); 2 typed into the
// rate field while it plays is shown as "2.00", and the achieved rate under it comes to 2
// frames a second (it measures the pace from the change on); 4 typed then brings it to 4.
// Paces any machine keeps: what 20 achieves depends on the machine and its load. A busy
// machine may fall behind right after a change, and the readout, measured from the
// change on, then comes to the pace only once enough frames at that pace outweigh the
// stretch: it is waited for up to 30 s.
TEST_F(PlayProgram, ARateTypedWhilePlayingSetsThePace) {
    ASSERT_NO_FATAL_FAILURE(Start("cube.fits"));
    ASSERT_TRUE(WaitFor(RateField(), "20.00")) << Why(RateField(), "20.00");
    ClickLoop();
    ClickPlay();
    std::set<int> shown;
    for (int waited = 0; waited < 8000 && shown.size() < 3; waited += 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (Grab() && FrameIn(TransportFrame()) > 0) shown.insert(FrameIn(TransportFrame()));
    }
    ASSERT_GE(shown.size(), 3u) << "the frames do not move on; the screen: " << Save("playing");

    auto paceComesTo = [&](int rate) {
        for (int waited = 0; waited < 30000; waited += 100) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!Grab()) continue;
            for (int hundredths = rate * 95; hundredths <= rate * 105; ++hundredths) {
                char text[16];
                std::snprintf(text, sizeof text, "%.2f", hundredths / 100.0);
                if (Shows(RateReadout(), text)) return true;
            }
        }
        return false;
    };
    for (int rate : {2, 4}) {
        SCOPED_TRACE(rate);
        const std::string field = std::to_string(rate) + ".00";
        ASSERT_NO_FATAL_FAILURE(TypeRate(std::to_string(rate)));
        EXPECT_TRUE(WaitFor(RateField(), field)) << Why(RateField(), field);
        EXPECT_TRUE(paceComesTo(rate)) << "the achieved rate did not come to " << rate
                                       << "; the screen: " << Save("pace" + std::to_string(rate));
        // Playback goes on at that pace, and the field keeps the rate.
        EXPECT_TRUE(WaitFor(RateField(), field, 0));
    }
    ClickPlay();
    EXPECT_TRUE(program->Running());
}

// The wide frame, fitted and centred at the start, is shown at 100 % and moved with
// Ctrl+1 so that its top-left corner stands at the view's; F10 then fits it again and
// centres it: the whole frame inside the view, as far from the left edge as from the
// right and from the top as from the bottom (to a pixel or two), as wide as the view.
TEST_F(PlayProgram, F10AfterCtrl1FitsAndCentresTheFrame) {
    ASSERT_NO_FATAL_FAILURE(Start("wide.fits"));
    Shown frame;
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame));
    const Screen::Rect view = testing_program::WorkspaceOf(screen, main);
    // The view's ground: its top-left pixel, above the frame at the start.
    const Rgb ground = At(view.left, view.top);
    ASSERT_NE(ground, At((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2));
    // Where the frame stands: every pixel of the view that is not its ground (the white
    // border's edges may be blended with the ground where the frame is drawn smaller).
    auto expectFittedAndCentred = [&](const char* what) {
        const Shown f = Unlike(view, ground);
        EXPECT_GE(f.left, view.left) << what;
        EXPECT_GE(f.top, view.top) << what;
        EXPECT_LE(f.right, view.right) << what;
        EXPECT_LE(f.bottom, view.bottom) << what;
        // Centred: the frame's centre within two pixels of the view's (the frame stands
        // centred in the view less a pixel on each side).
        EXPECT_NEAR(f.left + f.right, view.left + view.right, 4) << what;
        EXPECT_NEAR(f.top + f.bottom, view.top + view.bottom, 4) << what;
        // Fitted: as wide as the view.
        EXPECT_GE(f.right - f.left, view.right - view.left - 4) << what;
    };
    expectFittedAndCentred("at the start");

    ASSERT_TRUE(testing_program::ChooseZoom(screen, main, "100%", &shot));
    ASSERT_TRUE(testing_program::CornerToCorner(screen, main, &shot, &frame)) << "Ctrl+1 moved no corner";
    // At 100 % the frame runs past the view's right edge.
    ASSERT_TRUE(Grab());
    Shown moved;
    ASSERT_TRUE(testing_program::FindFrame(shot, view.left, view.top, view.right, view.bottom, &moved));
    ASSERT_GE(moved.right, view.right - 1);

    testing_program::PressKeys(screen.display(), {XK_F10});
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame));
    Save("f10");
    expectFittedAndCentred("after F10");
    EXPECT_TRUE(program->Running());
}

}  // namespace
}  // namespace orva
