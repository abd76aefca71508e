// What the real program holds in memory: it is started under an X server of its own
// (Xvfb), first with no file, then with one 4096 x 4096 16-bit FITS frame, then with a cube
// of eleven such frames, through which it is stepped sixty times with the fast selector's
// frame arrows, clicked as a user clicks them: ten frames forward, ten back, and so on.
// Each step is checked on the screen (the selector's frame field must show the
// frame stepped to). After each stage, once the program has gone idle, the resident size,
// its anonymous part and the brk heap are read from /proc and printed.
//
//   bench_memory [folder [steps]]   (the data files are written in the folder, default /tmp,
//                                    and removed; steps: 60 unless given)
//
// Figures are in MB (10^6 bytes). The aims: at most 150 MB resident with no file and 250 MB
// with one 4096 x 4096 16-bit frame shown. The floor: one shown frame adds at most 200 MB; stepping
// through the cube does not grow the program. The first pass forward and back uses each
// arrow and shows each frame for the first time, and the software renderer sets up what it
// needs for what it draws first (its figures are printed too); the steps after that pass
// must not grow the program's anonymous memory.
#include <X11/Xlib.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/fits16_file.h"
#include "tests/main/frame_selector.h"
#include "tests/main/program_input.h"
#include "tests/main/program_window.h"

namespace {

constexpr int kSide = 4096;
constexpr int kCubeFrames = 11;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A FITS file of `frames` frames of kSide x kSide big-endian 16-bit samples: a ramp that
// differs from frame to frame, so that each step brings new values.
bool WriteFits(const std::string& path, int frames) {
    return orva::bench_files::WriteFits16(path, kSide, kSide, frames,
                                          [](int k, int x, int y) { return ((x + 3 * y) * (k + 1)) % 3000 - 500; });
}

// A field of /proc/PID/status in kB; -1 when absent.
long StatusKb(pid_t pid, const char* key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
    return -1;
}

// The resident kB of the process's [heap] mapping (the brk heap; large blocks are mapped
// on their own and show in the anonymous figure).
long HeapKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::string line;
    bool heap = false;
    long kb = 0;
    while (std::getline(in, line)) {
        unsigned long from = 0, to = 0;
        char dash = 0;
        // A mapping's first line starts with its address range; its fields follow.
        if (std::sscanf(line.c_str(), "%lx%c%lx", &from, &dash, &to) == 3 && dash == '-') {
            heap = line.find("[heap]") != std::string::npos;
        } else if (heap && line.compare(0, 4, "Rss:") == 0) {
            kb += std::atol(line.c_str() + 4);
        }
    }
    return kb;
}

// The process's processor time in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(all.substr(close + 2));
    std::string f;
    long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) user = std::atol(f.c_str());
        if (i == 15) system = std::atol(f.c_str());
    }
    return user + system;
}

// Waits until the program has used no processor time for a second and its resident size
// stands still: the paint is done.
void WaitIdle(pid_t pid) {
    long ticks = -2, rss = -2;
    int still = 0;
    for (int i = 0; i < 240 && still < 3; ++i) {
        Sleep(500);
        const long t = CpuTicks(pid), r = StatusKb(pid, "VmRSS");
        still = (t == ticks && r == rss) ? still + 1 : 0;
        ticks = t;
        rss = r;
    }
}

struct Figures {
    long rss = 0, anon = 0, heap = 0;
};

Figures Measure(pid_t pid) { return Figures{StatusKb(pid, "VmRSS"), StatusKb(pid, "RssAnon"), HeapKb(pid)}; }

void Print(const char* stage, const Figures& f) {
    std::printf("%-28s VmRSS %8.1f MB   anonymous %8.1f MB   [heap] %8.1f MB\n", stage, f.rss * 1.024e-3,
                f.anon * 1.024e-3, f.heap * 1.024e-3);
    std::fflush(stdout);
}

using orva::testing_program::FrameSelector;
using orva::testing_program::Picture;
using orva::testing_program::ProgramRun;
using orva::testing_program::Screen;

// Starts the program in its own folders under `folder` and waits until its main window
// stands and it has gone idle.
void StartIdle(std::optional<ProgramRun>& run, Screen& screen, const std::string& folder,
               const std::vector<std::string>& arguments) {
    mkdir(folder.c_str(), 0700);
    run.emplace(folder, arguments);
    screen.WaitForWindow(orva::testing_program::kMainWindowTitle, 60000);
    WaitIdle(run->Pid());
}

// The frame the selector's field shows once it shows `frame` (waiting up to `ms`
// milliseconds), else what it shows then (0: no frame number at all).
int WaitForFrame(Screen& screen, const FrameSelector& frames, int frame, int last, int ms) {
    Picture shot;
    const Window root = DefaultRootWindow(screen.display());
    for (int waited = 0;; waited += 200) {
        if (screen.Grab(root, &shot) && frames.Shows(shot, frame)) return frame;
        if (waited >= ms) return screen.Grab(root, &shot) ? frames.Shown(shot, last) : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

// The largest of each figure: `from`'s and those of steps [begin, end) in `each`.
Figures Largest(Figures from, const std::vector<Figures>& each, size_t begin, size_t end) {
    for (size_t k = begin; k < std::min(end, each.size()); ++k) {
        from.rss = std::max(from.rss, each[k].rss);
        from.anon = std::max(from.anon, each[k].anon);
        from.heap = std::max(from.heap, each[k].heap);
    }
    return from;
}

// Steps through the cube with the selector's arrows: forward to the last frame, back to
// the first and forward again, `steps` steps, each checked on the screen and measured.
// The figures after each step go to `each`; false when a step did not reach its frame.
bool StepCube(Screen& screen, pid_t pid, int steps, std::vector<Figures>* each) {
    Display* d = screen.display();
    const Window root = DefaultRootWindow(d);
    FrameSelector frames;
    Picture shot;
    bool found = false;
    for (int waited = 0; waited < 20000 && !found; waited += 250) {
        found = screen.Grab(root, &shot) && frames.Find(shot);
        if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    if (!found || WaitForFrame(screen, frames, 1, kCubeFrames, 10000) != 1) {
        std::printf("the fast selector's \"FRAME(S):\" row showing frame 1 was not found: no frames stepped\n");
        return false;
    }
    int frame = 1, direction = 1;
    for (int step = 1; step <= steps; ++step) {
        if (frame + direction < 1 || frame + direction > kCubeFrames) direction = -direction;
        if (direction > 0) frames.Next(d);
        else frames.Back(d);
        frame += direction;
        // Away from the arrow, so that no hover is left to repaint.
        orva::testing_program::MoveTo(d, root, 5, 1000);
        const int shown = WaitForFrame(screen, frames, frame, kCubeFrames, 30000);
        if (shown != frame) {
            std::printf("step %d did not reach frame %d: the selector shows %d\n", step, frame, shown);
            return false;
        }
        WaitIdle(pid);
        const Figures f = Measure(pid);
        each->push_back(f);
        char stage[40];
        std::snprintf(stage, sizeof stage, "cube, step %2d, frame %2d", step, frame);
        Print(stage, f);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = (argc > 1 ? std::string(argv[1]) : std::string("/tmp")) + "/orva_bench_memory." +
                               std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    const int steps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const std::string frame = folder + "/frame4096.fits", cube = folder + "/cube4096.fits";
    if (!WriteFits(frame, 1) || !WriteFits(cube, kCubeFrames)) {
        std::fprintf(stderr, "cannot write the data files in %s\n", folder.c_str());
        return 1;
    }
    int status = 1;
    {
        orva::testing_program::SecondDisplay server("1280x1024x24");
        if (!server.Name().empty()) setenv("DISPLAY", server.Name().c_str(), 1);
        orva::testing_program::Screen screen;
        if (server.Name().empty() || screen.display() == nullptr) {
            std::fprintf(stderr, "cannot start Xvfb\n");
        } else {
            std::printf("4096 x 4096 16-bit frames (%.1f MB a frame on disk), the program on Xvfb %s\n",
                        kSide * double(kSide) * 2 / 1e6, server.Name().c_str());
            std::optional<ProgramRun> run;
            StartIdle(run, screen, folder + "/empty", {});
            const Figures empty = Measure(run->Pid());
            Print("no file", empty);
            run.reset();

            StartIdle(run, screen, folder + "/one", {frame});
            const Figures one = Measure(run->Pid());
            Print("one frame, first paint", one);
            run.reset();

            StartIdle(run, screen, folder + "/cube", {cube});
            const Figures first = Measure(run->Pid());
            Print("cube, first paint", first);
            std::vector<Figures> each;
            const bool stepped = StepCube(screen, run->Pid(), steps, &each);
            run.reset();
            const Figures firstStep = each.empty() ? first : each[0];
            const Figures ten = Largest(first, each, 0, 10), all = Largest(first, each, 0, each.size());
            Print("cube, largest, steps 1-10", ten);
            char stage[40];
            std::snprintf(stage, sizeof stage, "cube, largest, steps 1-%d", steps);
            Print(stage, all);
            std::printf("resident with no file %.1f MB (aim 150 MB), with one frame shown %.1f MB (aim 250 MB)\n",
                        empty.rss * 1.024e-3, one.rss * 1.024e-3);
            std::printf("one frame adds %.1f MB resident (floor 200 MB); ten steps grow it by %.1f MB (heap %.1f MB), "
                        "%d steps by %.1f MB (heap %.1f MB)\n",
                        (one.rss - empty.rss) * 1.024e-3, (ten.rss - first.rss) * 1.024e-3,
                        (ten.heap - first.heap) * 1.024e-3, steps, (all.rss - first.rss) * 1.024e-3,
                        (all.heap - first.heap) * 1.024e-3);
            std::printf("steps 2-10 (the forward arrow, frames 3-11 shown the first time) grow the heap by %.1f MB "
                        "(resident %.1f MB) after the first step's %.1f MB\n",
                        (ten.heap - firstStep.heap) * 1.024e-3, (ten.rss - firstStep.rss) * 1.024e-3,
                        (firstStep.heap - first.heap) * 1.024e-3);
            // Growth is what the steps after a pass forward and back add, once each arrow
            // has been used and each frame shown (at least ten steps), to the program's
            // anonymous memory: the heap and the blocks mapped on their own. The heap alone
            // is no measure: a block of about a megabyte, the size at which blocks are
            // mapped apart, can move between the two with the total unchanged. Half a
            // megabyte (one renewed vertex buffer of the renderer) is allowed for.
            const size_t pass = 2 * (kCubeFrames - 1);
            if (each.size() >= pass + 10) {
                const Figures& before = each[pass - 1];
                const Figures largest = Largest(before, each, pass, each.size());
                const double grown = (largest.anon - before.anon) * 1.024e-3;
                std::printf("steps %zu-%zu, after a pass forward and back: the anonymous memory grows by %.1f MB "
                            "(heap %.1f MB, resident %.1f MB), %.3f MB a step: %s\n",
                            pass + 1, each.size(), grown, (largest.heap - before.heap) * 1.024e-3,
                            (largest.rss - before.rss) * 1.024e-3, grown / static_cast<double>(each.size() - pass),
                            grown > 0.5 ? "GROWS" : "does not grow");
            } else {
                std::printf("fewer than %zu steps: no figure after a pass forward and back\n", pass + 10);
            }
            if (steps > 10) {
                std::printf("steps 11-%d: %.3f MB a step (resident, largest after step %d against after step 10)\n",
                            steps, (all.rss - ten.rss) * 1.024e-3 / (steps - 10), steps);
            }
            status = stepped ? 0 : 1;
        }
    }
    for (const std::string& f : {frame, cube}) unlink(f.c_str());
    std::system(("rm -rf '" + folder + "'").c_str());
    return status;
}
