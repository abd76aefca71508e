// Frame playback in the running program on the X server: a FITS cube written by astropy,
// opened through the open road, plays in cell 1 of the main window's "Layout" workspace.
// The timer thread steps the frames and pulls them through the real chain; each frame
// is uploaded and drawn on the UI thread. After the end the window shows the frame the
// return flags ask for, the frame routine ran once for every frame, and the playback
// thread made no X or GL call. Each playback runs under a watchdog.
//
// The test needs the open road and the image window; a build without them skips it.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/graphics_window.h"
#include "app/image_device.h"
#include "app/image_window.h"
#include "app/wait_cursor.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "io/output_writer.h"
#include "main/display_services.h"
#include "main/playback_services.h"
#include "platform/clock.h"
#include "platform/timer_service.h"
#include "platform/window_backend.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "shapes/shape_kinds.h"
#include "test_support.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/playback.h"
#include "views/workspace.h"
#include "watchdog.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(PlayCube, ACubePlaysInCellOneOfLayout) { GTEST_SKIP() << "this build has no open road or no image window"; }

#else

using namespace testing_util;

constexpr int kFrames = 20, kWidth = 64, kHeight = 48;

// A cube of 16-bit frames: frame k is the constant 1000 (k + 1), with one pixel at 0 and
// one at 30000 in every frame. The file states that range in DATAMIN and DATAMAX, and the
// view scales every frame over it, so frame k shows the grey 255 * 1000 (k + 1) / 30000.
// (A file without the two cards states no range: its view takes the first frame's
// statistics, mean - 2 sigma .. mean + 4 sigma, about -38 .. 3103 here, and keeps them
// while frames change, so every frame from the fourth on would show white.)
bool WriteCube(const std::string& path, int frames, int width, int height) {
    const std::string script = "import numpy as np\n"
                               "from astropy.io import fits\n"
                               "a = np.zeros((" + std::to_string(frames) + ", " + std::to_string(height) + ", " +
                               std::to_string(width) + "), np.int16)\n"
                               "for k in range(a.shape[0]): a[k] = 1000 * (k + 1)\n"
                               "a[:, 0, 0] = 0\n"
                               "a[:, -1, -1] = 30000\n"
                               "h = fits.PrimaryHDU(a)\n"
                               "h.header['DATAMIN'] = 0\n"
                               "h.header['DATAMAX'] = 30000\n"
                               "h.writeto('" + path + "', overwrite=True)\n";
    return testing_program::RunPython(path + ".py", script);
}

// What the UI thread saw of the frame routine.
struct FrameLog {
    gFrameHookFn routine = nullptr;
    const FramePlayer* player = nullptr;
    std::vector<int32_t> frames;  // the frame current when the routine ran
    int offThread = 0;
    uint64_t uiThread = 0;
};
FrameLog* gLog = nullptr;

void LoggingFrameHook() {
    if (platform::CurrentThreadId() != gLog->uiThread) ++gLog->offThread;
    gLog->frames.push_back(gLog->player->current.load());
    if (gLog->routine != nullptr) gLog->routine();
}

class PlayCube : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        services_.emplace();
        InstallDisplayServices();
        Start(false);
        // A test before this one may have ended the program in this process, and with
        // it the playback timer's thread.
        platform::TheTimerService().Reopen();
        // After the shell: the shell's hooks are installed afresh by its start.
        InstallPlaybackServices();
        log.uiThread = platform::CurrentThreadId();
        gLog = &log;
    }
    void TearDown() override {
        if (IsSkipped()) return;
        TheEventTimer().Stop(false);
        TheEventTimer().ForgetPlayback();
        gSetFrameHook(nullptr);
        gSetOnceHook(nullptr);
        gLog = nullptr;
        Stop();
        services_.reset();
        EXPECT_EQ(DisplayLockDepth(), 0);
    }

    // Opens the file and finds cell 1 of "Layout" with its image device.
    void Open(const std::string& path) {
        OpenParameters request;
        ASSERT_NE(OpenSourceFileReport(&cui(), nullptr, &request, path.c_str()), nullptr);
        PumpFor(400);
        WorkspaceComponent* ws = AsWorkspace(cui().groups[0].workspace);
        ASSERT_NE(ws, nullptr);
        ASSERT_STREQ(ws->title, "Layout");
        uint32_t number = 1;
        cell = GetCellByNumber(ws, &number, false);
        ASSERT_NE(cell, nullptr);
        ASSERT_EQ(ws->activeCell, cell);
        device = dynamic_cast<Image2DDevice*>(cell->currentDevice);
        ASSERT_NE(device, nullptr);
        ASSERT_NE(cell->portList, nullptr);
        log.player = &cell->portList->player;
    }
    FramePlayer& Player() { return cell->portList->player; }

    // The colour the Transformation gives the inside of frame k.
    Rgb FrameColour(int32_t k) {
        ComponentBase* stage = device->pin.upstream;
        PullResult frame;
        frame.window.frame = k;
        frame.window.section = 0;
        frame.window.width = kWidth;
        frame.window.height = kHeight;
        PullRequest ask;
        ask.readAgain = 1;
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        if (stage->process(stage, &frame, &ask) < 2 || frame.image.data == nullptr) return {-1, -1, -1};
        const uint32_t channels = frame.image.rowBytes / frame.image.width;
        const auto* p = static_cast<const uint8_t*>(frame.image.data) + 10u * frame.image.rowBytes + 10u * channels;
        return {p[0], p[1], p[2]};
    }

    // The frame the window shows on the screen: the frame whose colour fills most of the
    // plot area (-1 when none does); `others` counts pixels of the other frames' colours.
    int32_t ShownFrame(const std::vector<Rgb>& colours, int* others) {
        gWindow* host = cell->window;
        const ScreenImage screen = ReadScreen(XDisplay(), platform::X11WindowOf(host->hwnd));
        std::vector<int> counts(colours.size(), 0);
        const int x0 = static_cast<int>(cell->widget->x), y0 = static_cast<int>(cell->widget->y);
        for (int y = y0; y < std::min(screen.height, y0 + cell->plotHeight); ++y) {
            for (int x = x0; x < std::min(screen.width, x0 + cell->plotWidth); ++x) {
                const Rgb p = screen.At(x, y);
                for (size_t k = 0; k < colours.size(); ++k)
                    if (Near(p, colours[k], 1)) ++counts[k];
            }
        }
        const auto best = std::max_element(counts.begin(), counts.end());
        *others = 0;
        for (auto it = counts.begin(); it != counts.end(); ++it)
            if (it != best) *others += *it;
        return *best >= kWidth * kHeight / 2 ? static_cast<int32_t>(best - counts.begin()) : -1;
    }

    // Starts playback of the cell as the user interface does and puts the logging frame
    // routine in front of the one playback installed.
    void StartPlayback() {
        ASSERT_TRUE(DisplayTogglePlayback(cell));
        log.routine = gSetFrameHook(&LoggingFrameHook);
        ASSERT_NE(log.routine, nullptr) << "no frame routine: the view has no window";
    }
    bool Playing() { return TheEventTimer().port.load() != nullptr; }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
    FrameLog log;
    DisplayComponent* cell = nullptr;
    Image2DDevice* device = nullptr;
};

struct EndCase {
    const char* name;
    int32_t flags;     // return flags of the player
    int32_t start;     // the frame playback starts from
    int32_t stopAt;    // a second toggle once this frame was drawn (-1: play to the end)
    int32_t shownEnd;  // the frame shown after the end
};

class PlayCubeEnds : public PlayCube, public ::testing::WithParamInterface<EndCase> {};

TEST_P(PlayCubeEnds, EveryFrameIsDrawnAndTheEndShowsTheFrameTheFlagsAsk) {
    const EndCase& c = GetParam();
    const std::string path = folder.File("cube.fits");
    if (!WriteCube(path, kFrames, kWidth, kHeight)) GTEST_SKIP() << "no astropy";
    Open(path);
    if (HasFatalFailure()) return;
    // Opening gave the port list the cube's frames.
    ASSERT_EQ(Player().count.load(), kFrames);
    ASSERT_EQ(Player().first.load(), 0);
    ASSERT_EQ(Player().last.load(), kFrames - 1);
    std::vector<Rgb> colours;
    for (int32_t k = 0; k < kFrames; ++k) {
        colours.push_back(FrameColour(k));
        const int grey = static_cast<int>(255.0 * 1000.0 * (k + 1) / 30000.0 + 0.5);
        ASSERT_TRUE(RgbNear(colours[k], {grey, grey, grey}, 1)) << "frame " << k;
        for (int32_t j = 0; j < k; ++j) ASSERT_FALSE(Near(colours[j], colours[k], 2)) << j << " and " << k;
    }
    Player().interval.store(20);
    Player().flags.store(c.flags);
    // The view's frame selection moves the list's cursor; a single step redraws it.
    device->SelectIndex(c.start + 1);
    ASSERT_EQ(Player().current.load(), c.start);
    PlaybackStepRedraw(cell->portList);
    PumpFor(100);
    int others = 0;
    EXPECT_EQ(ShownFrame(colours, &others), c.start);

    const uint64_t uploads = device->uploads;
    const uint64_t offThreadBackend = platform::BackendCallsOffItsThread();
    const uint64_t offThreadGl = OffUiThreadGlCalls();
    {
        Watchdog dog(c.name);
        StartPlayback();
        if (HasFatalFailure()) return;
        EXPECT_TRUE(TheEventTimer().Running());
        EXPECT_EQ(TheEventTimer().owner.load(), cell);
        if (c.stopAt >= 0) {
            PumpUntil([&] { return !log.frames.empty() && log.frames.back() >= c.stopAt; }, 5000);
            // The same call again stops it.
            EXPECT_TRUE(DisplayTogglePlayback(cell));
        } else {
            PumpUntil([&] { return !Playing(); }, 8000);
        }
        EXPECT_FALSE(Playing());
        EXPECT_FALSE(TheEventTimer().Running());
        PumpFor(100);
    }
    // One frame routine per frame, in order, on the UI thread, each with its upload.
    const int32_t last = c.stopAt >= 0 ? log.frames.back() : kFrames - 1;
    std::vector<int32_t> expected;
    for (int32_t f = c.start + 1; f <= last; ++f) expected.push_back(f);
    EXPECT_EQ(log.frames, expected);
    EXPECT_EQ(log.offThread, 0);
    EXPECT_GE(device->uploads - uploads, expected.size());
    // The timer thread pulled every frame and made no X or GL call meanwhile.
    EXPECT_EQ(platform::BackendCallsOffItsThread(), offThreadBackend);
    EXPECT_EQ(OffUiThreadGlCalls(), offThreadGl);
    // The end: the frame the flags ask for, in the cursor and on the screen.
    EXPECT_EQ(Player().current.load(), c.shownEnd);
    EXPECT_EQ(ShownFrame(colours, &others), c.shownEnd);
    EXPECT_EQ(others, 0);
    EXPECT_EQ(DisplayLockDepth(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, PlayCubeEnds,
    ::testing::Values(EndCase{"BackToTheFirstFrame", kFramePlayerReturnAtEnd | kFramePlayerReturnToFirst, 5, -1, 0},
                      EndCase{"BackToWhereItBegan", kFramePlayerReturnAtEnd, 5, -1, 5},
                      EndCase{"StaysOnTheLastFrame", 0, 5, -1, kFrames - 1},
                      EndCase{"FromTheFirstFrameBack", kFramePlayerReturnAtEnd, 0, -1, 0},
                      EndCase{"ToggledOffMidway", kFramePlayerReturnAtEnd, 2, 9, 2}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

// Closing the data while a cube plays: playback ends before the cells and their windows
// go, and the timer holds nothing of them afterwards. (Opening a file ends playback
// through the same call of the shell.)
TEST_F(PlayCube, ClosingTheDataEndsPlaybackFirst) {
    const std::string path = folder.File("cube.fits");
    if (!WriteCube(path, kFrames, kWidth, kHeight)) GTEST_SKIP() << "no astropy";
    TheApp().Settings().confirmClosing = 0;
    Open(path);
    if (HasFatalFailure()) return;
    Player().interval.store(20);
    Player().flags.store(kFramePlayerLoop);
    Watchdog dog("CloseWhilePlaying");
    StartPlayback();
    if (HasFatalFailure()) return;
    PumpUntil([&] { return log.frames.size() >= 3; }, 5000);
    ASSERT_GE(log.frames.size(), 3u);
    // The shell's call that ends playback, as closing and opening make it, seen first.
    static int ended = 0;
    ended = 0;
    TheShellHooks().playbackRefresh = [](int32_t code) {
        if (TheEventTimer().Running()) ++ended;
        PlaybackControl(code);
    };
    EXPECT_TRUE(ProjectCloseData(&cui(), false));
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(Playing());
    EXPECT_FALSE(TheEventTimer().Running());
    EXPECT_EQ(TheEventTimer().owner.load(), nullptr);
    EXPECT_EQ(TheEventTimer().savedOwner, nullptr);
    const size_t drawn = log.frames.size();
    PumpFor(100);
    EXPECT_EQ(log.frames.size(), drawn);
}

// The pointer moved over a shape of the cell while the cube plays: each move runs the
// pick pass, which places the shapes by the view's geometry on the UI thread while the
// timer thread pulls the next frames for the same view.
TEST_F(PlayCube, ThePointerOverAShapeWhileTheCubePlays) {
    const std::string path = folder.File("cube.fits");
    if (!WriteCube(path, kFrames, kWidth, kHeight)) GTEST_SKIP() << "no astropy";
    Open(path);
    if (HasFatalFailure()) return;
    ShapeContainer* shapes = cell->activeShapes;
    ASSERT_NE(shapes, nullptr);
    Shape* shape = CreateShape(kKindRect);
    const float corners[4] = {4.0f, 4.0f, 40.0f, 30.0f};
    ASSERT_TRUE(shape->header.anchors.SetPoints(corners, 2));
    ASSERT_TRUE(shapes->AddShape(shape));
    Player().interval.store(20);
    Player().flags.store(kFramePlayerLoop);
    Watchdog dog("PointerWhilePlaying");
    StartPlayback();
    if (HasFatalFailure()) return;
    const int x0 = static_cast<int>(cell->widget->x), y0 = static_cast<int>(cell->widget->y);
    // Over the shape's edges and inside it, a frame or so apart, for a good part of a loop.
    for (int i = 0; i < 30 && Playing(); ++i) FakeMotionIn(cell->window, x0 + 2 + (i % 12) * 4, y0 + 3 + (i % 9) * 3, 20);
    EXPECT_GE(log.frames.size(), 5u);
    EXPECT_TRUE(DisplayTogglePlayback(cell));
    EXPECT_FALSE(Playing());
    PumpFor(100);
    EXPECT_EQ(DisplayLockDepth(), 0);
}

// The device's pull on a thread other than the UI thread, as the playback step runs it:
// the frame comes through the chain, and neither the X connection nor GL is touched; the
// upload waits for the delivery on the UI thread. A 1024 x 1024 frame also passes the
// size at which the UI thread shows the wait cursor.
TEST_F(PlayCube, TheDevicesPullOffTheUiThreadMakesNoXOrGlCall) {
    const std::string path = folder.File("large.fits");
    if (!WriteCube(path, 3, 1024, 1024)) GTEST_SKIP() << "no astropy";
    Open(path);
    if (HasFatalFailure()) return;
    ASSERT_EQ(Player().count.load(), 3);
    Watchdog dog("PullOffTheUiThread");
    const uint64_t offThreadBackend = platform::BackendCallsOffItsThread();
    const uint64_t offThreadGl = OffUiThreadGlCalls();
    const unsigned waitCursors = WaitCursorShownCount();
    const uint64_t uploads = device->uploads;
    for (int32_t frame : {2, 1}) {
        int32_t code = 0;
        std::thread puller([&] {
            DisplayLockGuard hold;
            Player().current.exchange(frame);
            PortMarkSourcesReread(cell->portList);
            code = device->lastPullCode;
        });
        puller.join();
        EXPECT_GE(code, 3) << frame;
        EXPECT_EQ(device->result.deliveredFrame, static_cast<uint32_t>(frame));
        EXPECT_EQ(device->hasData, 1);
        EXPECT_EQ(device->uploads, uploads + (frame == 2 ? 0 : 1));
        EXPECT_EQ(WaitCursorShownCount(), waitCursors + (frame == 2 ? 0 : 1));
        // The delivery on the UI thread uploads the frame, under the wait cursor.
        {
            DisplayLockGuard hold;
            ASSERT_NE(device->deliverHook, nullptr);
            EXPECT_TRUE(device->deliverHook(device));
        }
    }
    EXPECT_EQ(device->uploads, uploads + 2);
    EXPECT_EQ(platform::BackendCallsOffItsThread(), offThreadBackend);
    EXPECT_EQ(OffUiThreadGlCalls(), offThreadGl);
}

#endif

}  // namespace
}  // namespace orva
