// The first picture of a noisy 4096 x 4096 16-bit FITS file: from the start of the program
// (fork and exec) to the screen showing the picture, on an X server started afresh for each
// run, against saods9 (Debian's "ds9") on the same file. Both viewers run pinned to the
// same processors, one after the other, `runs` times each, alternating; this program and
// the X servers run on the other processors. The picture is found by the screen's pixels:
// it stands once a square of 160 x 160 screen pixels is noise throughout (every 8 x 8 block
// of it holds many grey levels that differ from pixel to pixel), which no control of either
// program and neither program's small overview picture is. Three seconds after the picture
// the viewer's resident size is read from /proc.
//
//   bench_start [--file F] [--runs N] [--cores A,B] [--viewer PATH] [--poll MS]
//     --file    the FITS file to open (default: a new noise file in /tmp, removed at the end)
//     --runs    starts of each viewer (default 5)
//     --cores   the processors both viewers run on (default: the last two this program may use)
//     --viewer  the reference viewer (default: ds9 on the PATH)
//     --poll    milliseconds between two reads of the screen (default 50): each read keeps
//               the X server busy for a few milliseconds, which slows a viewer that draws
//               through the server (saods9) more than one that draws on its own (orva)
//
// It prints each start, then the medians, their ratio (saods9's time over ours: above 1
// means our picture comes first) and both resident sizes (MB, 10^6 bytes).
#include <X11/Xlib.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/fits16_file.h"
#include "support/screen_pixels.h"
#include "tests/main/program_window.h"

namespace {

using orva::testing_program::GrabWindow;
using orva::testing_program::Picture;
using Clock = std::chrono::steady_clock;

constexpr int kSide = 4096;
constexpr int kBlock = 8;           // screen pixels a side of a block
constexpr int kSquareBlocks = 20;   // blocks a side of the square that must be noise

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Gaussian noise around 1000 with a deviation of 200.
bool WriteNoise(const std::string& path) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(1000.0, 200.0);
    return orva::bench_files::WriteFits16(path, kSide, kSide, 1, [&](int, int, int) {
        return std::clamp(static_cast<int>(noise(rng)), -32768, 32767);
    });
}

// A block is noise when its pixels take many grey levels and neighbours differ a lot:
// text has few levels, shading and gradients small steps.
bool NoiseBlock(const Picture& p, int bx, int by) {
    bool seen[256] = {};
    int levels = 0;
    long steps = 0;
    for (int y = by; y < by + kBlock; ++y) {
        for (int x = bx; x < bx + kBlock; ++x) {
            const uint8_t* q = p.At(x, y);
            const int grey = (q[0] + q[1] + q[2]) / 3;
            if (!seen[grey]) {
                seen[grey] = true;
                ++levels;
            }
            if (x + 1 < bx + kBlock) {
                const uint8_t* r = p.At(x + 1, y);
                steps += std::abs(grey - (r[0] + r[1] + r[2]) / 3);
            }
        }
    }
    return levels >= 12 && steps >= 4 * kBlock * (kBlock - 1);
}

// True when a square of kSquareBlocks x kSquareBlocks blocks of noise stands on the screen.
bool PictureShown(const Picture& p) {
    const int w = p.width / kBlock, h = p.height / kBlock;
    // Sums of noise blocks over the rectangle from the origin (one extra row and column).
    std::vector<int> sum(static_cast<size_t>(w + 1) * (h + 1), 0);
    const auto at = [&](int x, int y) -> int& { return sum[static_cast<size_t>(y) * (w + 1) + x]; };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            at(x + 1, y + 1) = at(x, y + 1) + at(x + 1, y) - at(x, y) + (NoiseBlock(p, x * kBlock, y * kBlock) ? 1 : 0);
        }
    }
    const int n = kSquareBlocks;
    for (int y = n; y <= h; ++y)
        for (int x = n; x <= w; ++x)
            if (at(x, y) - at(x - n, y) - at(x, y - n) + at(x - n, y - n) == n * n) return true;
    return false;
}

long ResidentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

void End(pid_t pid) {
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        Sleep(25);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

struct Start {
    double seconds = -1;  // to the picture; -1: none within the time allowed
    long residentKb = -1;
};

// One start of `argv` on a new X server, pinned to `cores`, in its own folders under `folder`.
Start StartOnce(const std::vector<std::string>& argv, const cpu_set_t& cores, const std::string& folder, int pollMs) {
    Start result;
    orva::testing_program::SecondDisplay server("1280x1024x24");
    Display* display = server.Name().empty() ? nullptr : XOpenDisplay(server.Name().c_str());
    if (display == nullptr) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return result;
    }
    mkdir(folder.c_str(), 0700);
    for (const char* sub : {"/config", "/run", "/home"}) mkdir((folder + sub).c_str(), 0700);
    const Clock::time_point t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        sched_setaffinity(0, sizeof cores, &cores);
        setenv("DISPLAY", server.Name().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
        setenv("HOME", (folder + "/home").c_str(), 1);
        if (chdir(folder.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    Picture shot;
    const Window root = DefaultRootWindow(display);
    while (std::chrono::duration<double>(Clock::now() - t0).count() < 60.0) {
        if (GrabWindow(display, root, &shot) && PictureShown(shot)) {
            result.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
            break;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;
        Sleep(pollMs);
    }
    if (result.seconds >= 0) {
        Sleep(3000);
        result.residentKb = ResidentKb(pid);
    }
    End(pid);
    XCloseDisplay(display);
    std::system(("rm -rf '" + folder + "'").c_str());
    return result;
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file, viewer = "ds9", coreList;
    int runs = 5, pollMs = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--file") file = argv[i + 1];
        else if (key == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        else if (key == "--cores") coreList = argv[i + 1];
        else if (key == "--viewer") viewer = argv[i + 1];
        else if (key == "--poll") pollMs = std::max(1, std::atoi(argv[i + 1]));
        else {
            std::fprintf(stderr, "usage: %s [--file F] [--runs N] [--cores A,B] [--viewer PATH] [--poll MS]\n", argv[0]);
            return 2;
        }
    }
    if (std::system(("command -v '" + viewer + "' > /dev/null 2>&1").c_str()) != 0) {
        std::fprintf(stderr, "%s is not installed (Debian: apt-get install saods9)\n", viewer.c_str());
        return 1;
    }
    cpu_set_t mine, cores, others;
    CPU_ZERO(&cores);
    CPU_ZERO(&others);
    if (sched_getaffinity(0, sizeof mine, &mine) != 0) return 1;
    if (coreList.empty()) {
        int last[2] = {-1, -1};
        for (int c = 0; c < CPU_SETSIZE; ++c)
            if (CPU_ISSET(c, &mine)) last[0] = last[1], last[1] = c;
        for (int c : last)
            if (c >= 0) CPU_SET(c, &cores);
    } else {
        std::stringstream list(coreList);
        std::string item;
        while (std::getline(list, item, ',')) CPU_SET(std::atoi(item.c_str()), &cores);
    }
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &mine) && !CPU_ISSET(c, &cores)) CPU_SET(c, &others);
    // This program and the X servers it starts stay off the viewers' processors.
    if (CPU_COUNT(&others) > 0) sched_setaffinity(0, sizeof others, &others);
    std::string pinned;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &cores)) {
            if (!pinned.empty()) pinned += ',';
            pinned += std::to_string(c);
        }

    const std::string folder = "/tmp/orva_bench_start." + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    const bool made = file.empty();
    if (made) {
        file = folder + "/noise4096.fits";
        if (!WriteNoise(file)) {
            std::fprintf(stderr, "cannot write %s\n", file.c_str());
            return 1;
        }
    }
    std::printf("first picture of %s, viewers on processors %s, %d starts each\n", file.c_str(), pinned.c_str(), runs);
    std::vector<double> ours, theirs;
    std::vector<double> oursKb, theirsKb;
    for (int run = 0; run < runs; ++run) {
        const Start a = StartOnce({ORVA_BINARY_DIR "/orva", file}, cores, folder + "/ours", pollMs);
        const Start b = StartOnce({viewer, file}, cores, folder + "/theirs", pollMs);
        std::printf("run %d: orva %.3f s (%.1f MB), saods9 %.3f s (%.1f MB)\n", run + 1, a.seconds,
                    a.residentKb * 1.024e-3, b.seconds, b.residentKb * 1.024e-3);
        std::fflush(stdout);
        if (a.seconds >= 0) ours.push_back(a.seconds), oursKb.push_back(a.residentKb);
        if (b.seconds >= 0) theirs.push_back(b.seconds), theirsKb.push_back(b.residentKb);
    }
    if (made) unlink(file.c_str());
    std::system(("rm -rf '" + folder + "'").c_str());
    if (ours.empty() || theirs.empty()) {
        std::printf("no picture found for %s\n", ours.empty() ? "orva" : "saods9");
        return 1;
    }
    const double mo = Median(ours), mt = Median(theirs);
    std::printf("median: orva %.3f s, saods9 %.3f s; ratio saods9/orva %.2f (aim 1.2)\n", mo, mt, mt / mo);
    std::printf("resident 3 s after the picture (median): orva %.1f MB, saods9 %.1f MB\n", Median(oursKb) * 1.024e-3,
                Median(theirsKb) * 1.024e-3);
    return 0;
}
