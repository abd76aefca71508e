// Frame playback end to end, on the X server.
//
// A 16-bit FITS cube written by astropy is opened through the open road into cell 1 of
// "Layout": Source -> Processing (identity) -> Transformation -> 2-D device -> cell.
//
// BM_PlayCube_ours plays it with the program's timer at a period of 20 ms and 10 ms:
// the timer thread steps the frame and pulls it through the chain, the UI thread
// uploads and draws it in the frame routine. Counters: frames drawn per second (the
// frame routines run, counted by a routine of the bench's own in front of playback's),
// late frames (a step whose pull, draw and return took longer than the period), and
// the UI thread's time per frame inside the frame routine (ms).
//
// BM_PlayCube_ref is the floor cost of one frame: a bare loop on the UI thread that
// selects each frame, pulls it through the same chain under the display lock, delivers
// it (the upload) and paints the cell's window, as fast as it can. Counter: ms per frame.
//
// Targets at 20 ms: 50 fps within 2 % and no late frame on an idle machine; the UI
// thread's time per frame during playback at most 1.1x the bare loop's (ref/ours >= 0.9,
// comparing ref's ms_per_frame with ours' ui_ms_per_frame).
//
// Sizes: 256 frames of 512 x 512, and 64 frames of 1024 x 1024. Needs $DISPLAY and
// astropy; without them every case is skipped.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/cui.h"
#include "app/graphics_window.h"
#include "app/image_device.h"
#include "app/shell_install.h"
#include "app/ui_startup.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "io/format_registry.h"
#include "main/display_services.h"
#include "main/playback_services.h"
#include "main/processing_services.h"
#include "main/reduction_services.h"
#include "main/shape_services.h"
#include "main/transform_services.h"
#include "main/views_display_services.h"
#include "main/views_services.h"
#include "platform/clock.h"
#include "platform/msg_queue.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/playback.h"
#include "views/workspace.h"

namespace {

using namespace orva;

// ---- The program, once per process --------------------------------------------------------

void Serve() {
    platform::Msg msg;
    while (platform::PeekMessage(&msg, true)) platform::DispatchMessage(&msg);
}

template <class Done> void ServeUntil(Done done, int64_t limitMs) {
    const int64_t end = platform::MonotonicNs() + limitMs * 1000000;
    while (!done() && platform::MonotonicNs() < end) {
        Serve();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

struct Program;
Program& TheProgram();

struct Program {
    bool up = false;
    std::string folder;
    int size = 0;  // of the cube now open
    DisplayComponent* cell = nullptr;
    Image2DDevice* device = nullptr;

    // The end: the timer thread is joined and the cubes removed; the process then leaves
    // at once, since the shell's windows and the statics they use go in no fixed order.
    static void Close() {
        Program& p = TheProgram();
        TheEventTimer().Shutdown();
        if (!p.folder.empty()) std::filesystem::remove_all(p.folder);
        std::fflush(nullptr);
        std::_Exit(0);
    }

    bool Start() {
        if (up) return true;
        if (std::getenv("DISPLAY") == nullptr) return false;
        char pattern[] = "/tmp/orva_bench_playXXXXXX";
        if (mkdtemp(pattern) == nullptr) return false;
        folder = pattern;
        setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        int inputs = 0, outputs = 0;
        RegisterBuiltinFormats(TheFormatRegistry(), &inputs, &outputs);
        InstallShapeServices();
        InstallProcessingServices();
        InstallReductionServices();
        InstallTransformServices();
        InstallViewsDisplayServices();
        InstallViewsServices();
        InstallDisplayServices();
        InstallAppShell(nullptr);
        RegisterProjectsIface(&TheCUI());
        if (!CUIInit(&TheCUI())) return false;
        InstallPlaybackServices();
        Serve();
        up = true;
        std::atexit(&Program::Close);
        return true;
    }

    // The cube of `frames` frames of size x size: frame k a ramp moved by k.
    std::string Cube(int side, int frames) {
        const std::string path = folder + "/cube" + std::to_string(side) + ".fits";
        if (std::filesystem::exists(path)) return path;
        const std::string script = "import numpy as np\n"
                                   "from astropy.io import fits\n"
                                   "n, s = " + std::to_string(frames) + ", " + std::to_string(side) + "\n"
                                   "y, x = np.mgrid[0:s, 0:s]\n"
                                   "a = np.empty((n, s, s), np.int16)\n"
                                   "for k in range(n): a[k] = ((x + y + 7 * k) % 4096) * 8\n"
                                   "fits.PrimaryHDU(a).writeto('" + path + "', overwrite=True)\n";
        const std::string file = path + ".py";
        FILE* f = std::fopen(file.c_str(), "w");
        if (f == nullptr) return {};
        std::fputs(script.c_str(), f);
        std::fclose(f);
        if (std::system(("/usr/bin/python3 '" + file + "' >/dev/null 2>&1").c_str()) != 0) return {};
        return path;
    }

    // Opens the cube of that size (closing what was open) and finds cell 1 of "Layout".
    bool Open(int side) {
        if (!Start()) return false;
        if (size == side && cell != nullptr) return true;
        const std::string path = Cube(side, side >= 1024 ? 64 : 256);
        if (path.empty()) return false;
        TheApp().Settings().confirmClosing = 0;
        ProjectCloseData(&TheCUI(), false);
        Serve();
        OpenParameters request;
        if (OpenSourceFileReport(&TheCUI(), nullptr, &request, path.c_str()) == nullptr) return false;
        ServeUntil([] { return false; }, 300);
        WorkspaceComponent* ws = AsWorkspace(TheCUI().groups[0].workspace);
        uint32_t number = 1;
        cell = ws != nullptr ? GetCellByNumber(ws, &number, false) : nullptr;
        device = cell != nullptr ? dynamic_cast<Image2DDevice*>(cell->currentDevice) : nullptr;
        if (device == nullptr || cell->portList == nullptr || cell->portList->player.count.load() < 2) return false;
        size = side;
        return true;
    }
};

Program& TheProgram() {
    static Program program;
    return program;
}

// ---- What the bench notes while playback runs -----------------------------------------------

struct Notes {
    void Clear() {
        routine = nullptr;
        periodNs.store(0);
        steps.store(0);
        late.store(0);
        frames = 0;
        uiNs = firstDrawn = lastDrawn = 0;
    }
    gFrameHookFn routine = nullptr;
    std::atomic<int64_t> periodNs{0};
    std::atomic<int> steps{0};
    std::atomic<int> late{0};
    int frames = 0;
    int64_t uiNs = 0;           // inside the frame routine
    int64_t firstDrawn = 0, lastDrawn = 0;
};
Notes* gNotes = nullptr;

void NotingFrameRoutine() {
    const int64_t begin = platform::MonotonicNs();
    if (gNotes->routine != nullptr) gNotes->routine();
    const int64_t end = platform::MonotonicNs();
    gNotes->uiNs += end - begin;
    if (gNotes->frames++ == 0) gNotes->firstDrawn = end;
    gNotes->lastDrawn = end;
}

// The step, timed from the tick to the frame's return from the UI thread.
void NotingStep(EventTimer* timer) {
    const int64_t begin = platform::MonotonicNs();
    PlaybackStep(timer);
    if (platform::MonotonicNs() - begin > gNotes->periodNs.load()) gNotes->late.fetch_add(1);
    gNotes->steps.fetch_add(1);
}

void BM_PlayCube_ours(benchmark::State& state) {
    Program& p = TheProgram();
    const int side = static_cast<int>(state.range(0));
    const int period = static_cast<int>(state.range(1));
    if (!p.Open(side)) {
        state.SkipWithError("no display, no astropy, or the cube did not open");
        return;
    }
    FramePlayer& player = p.cell->portList->player;
    const int frames = player.count.load();
    Notes notes;
    gNotes = &notes;
    for (auto _ : state) {
        notes.Clear();
        notes.periodNs.store(int64_t{period} * 1000000);
        player.interval.store(period);
        player.flags.store(0);
        player.current.exchange(0);
        PlaybackStepRedraw(p.cell->portList);
        Serve();
        EventTimer& timer = TheEventTimer();
        if (!DisplayTogglePlayback(p.cell)) {
            state.SkipWithError("playback did not start");
            break;
        }
        notes.routine = gSetFrameHook(&NotingFrameRoutine);
        timer.stepHandler.exchange(&NotingStep);
        ServeUntil([&] { return timer.port.load() == nullptr; }, int64_t{frames} * period * 4 + 5000);
        if (timer.port.load() != nullptr) PlaybackControl(kPlaybackEnd);
        Serve();
    }
    gNotes = nullptr;
    const double drawnSpan = static_cast<double>(notes.lastDrawn - notes.firstDrawn) * 1e-9;
    state.counters["frames"] = notes.frames;
    state.counters["fps"] = drawnSpan > 0 ? (notes.frames - 1) / drawnSpan : 0.0;
    state.counters["late"] = notes.late.load();
    state.counters["ui_ms_per_frame"] = notes.frames > 0 ? notes.uiNs * 1e-6 / notes.frames : 0.0;
    state.counters["nominal_fps"] = 1000.0 / period;
}
BENCHMARK(BM_PlayCube_ours)
    ->Args({512, 20})
    ->Args({512, 10})
    ->Args({1024, 20})
    ->Args({1024, 10})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_PlayCube_ref(benchmark::State& state) {
    Program& p = TheProgram();
    const int side = static_cast<int>(state.range(0));
    if (!p.Open(side)) {
        state.SkipWithError("no display, no astropy, or the cube did not open");
        return;
    }
    PortList* list = p.cell->portList;
    Image2DDevice* d = p.device;
    gWindow* w = p.cell->window;
    const int frames = list->player.count.load();
    int drawn = 0;
    int64_t spent = 0;
    for (auto _ : state) {
        const int64_t begin = platform::MonotonicNs();
        for (int f = 0; f < frames; ++f) {
            {
                DisplayLockGuard hold;
                list->player.current.exchange(f);
                PortMarkSourcesReread(list);
                if (d->hasData != 0) {
                    d->hasData = 0;
                    d->deliverHook(d);
                }
            }
            if (gWinMakeCurrent(w)) {
                gWinPaint(w);
                gWinSwapPainted(w);
            }
            ++drawn;
        }
        spent += platform::MonotonicNs() - begin;
        Serve();
    }
    state.counters["frames"] = drawn;
    state.counters["ms_per_frame"] = drawn > 0 ? spent * 1e-6 / drawn : 0.0;
    state.counters["fps"] = spent > 0 ? drawn / (spent * 1e-9) : 0.0;
}
BENCHMARK(BM_PlayCube_ref)->Arg(512)->Arg(1024)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
