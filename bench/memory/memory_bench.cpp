// What the real program holds in memory: it is started under an X server of its own
// (Xvfb), first with no file, then with one 4096 x 4096 16-bit FITS frame, then with a cube
// of eleven such frames through which ten frames are stepped with the transport's "next
// frame" button, clicked as a user clicks it. After each stage, once the program has gone
// idle, the resident size and its anonymous (heap) part are read from /proc and printed.
//
//   bench_memory [folder]    (the data files are written there, default /tmp; and removed)
//
// Figures are in MB (10^6 bytes). The floor: one shown frame adds at most 200 MB; stepping
// through the cube does not grow the program.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kSide = 4096;
constexpr int kCubeFrames = 11;
// The transport's "next frame" button, from the main window's top-left corner.
constexpr int kNextFrameX = 371, kNextFrameY = 65;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One 80-character header card.
std::string Card(const std::string& text) {
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

// A FITS file of `frames` frames of kSide x kSide big-endian 16-bit samples: a ramp that
// differs from frame to frame, so that each step brings new values.
bool WriteFits(const std::string& path, int frames) {
    std::string header;
    char line[81];
    header += Card("SIMPLE  =                    T");
    header += Card("BITPIX  =                   16");
    header += Card(frames > 1 ? "NAXIS   =                    3" : "NAXIS   =                    2");
    std::snprintf(line, sizeof line, "NAXIS1  = %20d", kSide);
    header += Card(line);
    std::snprintf(line, sizeof line, "NAXIS2  = %20d", kSide);
    header += Card(line);
    if (frames > 1) {
        std::snprintf(line, sizeof line, "NAXIS3  = %20d", frames);
        header += Card(line);
    }
    header += Card("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    std::vector<uint8_t> row(static_cast<size_t>(kSide) * 2);
    for (int k = 0; k < frames && ok; ++k) {
        for (int y = 0; y < kSide && ok; ++y) {
            for (int x = 0; x < kSide; ++x) {
                const int v = ((x + 3 * y) * (k + 1)) % 3000 - 500;
                row[2 * x] = static_cast<uint8_t>((v >> 8) & 0xFF);
                row[2 * x + 1] = static_cast<uint8_t>(v & 0xFF);
            }
            ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
        }
    }
    const size_t data = static_cast<size_t>(frames) * kSide * kSide * 2;
    const size_t pad = (data + 2879) / 2880 * 2880 - data;
    std::vector<char> zeros(pad, 0);
    if (ok && pad != 0) ok = std::fwrite(zeros.data(), 1, pad, f) == pad;
    return std::fclose(f) == 0 && ok;
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

pid_t Start(const std::string& program, const std::string& folder, const std::string& file) {
    for (const char* sub : {"", "/config", "/run", "/home"}) mkdir((folder + sub).c_str(), 0700);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (folder + "/run").c_str(), 1);
        setenv("HOME", (folder + "/home").c_str(), 1);
        setenv("ORVA_MESSAGEBOX_ANSWER", "1", 1);
        if (file.empty()) execl(program.c_str(), "orva", static_cast<char*>(nullptr));
        else execl(program.c_str(), "orva", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        Sleep(25);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

long WindowPid(Display* d, Atom atom, Window w) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, atom, 0, 1, False, AnyPropertyType, &type, &format, &items, &after, &data) == Success &&
        data != nullptr) {
        if (format == 32 && items == 1) pid = *reinterpret_cast<long*>(data);
        XFree(data);
    }
    return pid;
}

// The program's main window: its top-level window titled "ORVA ...".
Window MainWindow(Display* d, pid_t pid) {
    const Atom atom = XInternAtom(d, "_NET_WM_PID", False);
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &up, &children, &count)) return 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        XWindowAttributes a;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            if (std::strncmp(name, "ORVA", 4) == 0 && WindowPid(d, atom, children[i]) == pid &&
                XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
                found = children[i];
            XFree(name);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

void Click(Display* d, int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XSync(d, False);
    Sleep(150);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
    Sleep(60);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
    // Away from the button, so that no hover is left.
    XTestFakeMotionEvent(d, -1, x, y + 300, CurrentTime);
    XSync(d, False);
}

// Starts Xvfb on a free display; its number, or -1.
int StartXvfb(pid_t* server) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    *server = fork();
    if (*server == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    ssize_t got = 0;
    for (ssize_t n; got < static_cast<ssize_t>(sizeof buffer) - 1 &&
                    (n = read(fds[0], buffer + got, sizeof buffer - 1 - got)) > 0;) {
        got += n;
        if (std::strchr(buffer, '\n') != nullptr) break;
    }
    close(fds[0]);
    return got > 0 ? std::atoi(buffer) : -1;
}

}  // namespace

int main(int argc, char** argv) {
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string("./bench_memory");
    dir = dir.substr(0, dir.rfind('/'));
    const std::string program = dir + "/orva";
    const std::string folder = (argc > 1 ? std::string(argv[1]) : std::string("/tmp")) + "/orva_bench_memory." +
                               std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    const std::string frame = folder + "/frame4096.fits", cube = folder + "/cube4096.fits";
    if (!WriteFits(frame, 1) || !WriteFits(cube, kCubeFrames)) {
        std::fprintf(stderr, "cannot write the data files in %s\n", folder.c_str());
        return 1;
    }
    pid_t server = 0;
    const int number = StartXvfb(&server);
    if (number < 0) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    const std::string display = ":" + std::to_string(number);
    setenv("DISPLAY", display.c_str(), 1);
    Display* d = nullptr;
    for (int i = 0; i < 100 && d == nullptr; ++i) {
        d = XOpenDisplay(display.c_str());
        if (d == nullptr) Sleep(100);
    }
    int status = 1;
    if (d != nullptr) {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        std::printf("4096 x 4096 16-bit frames (%.1f MB a frame on disk), the program on Xvfb %s\n",
                    kSide * double(kSide) * 2 / 1e6, display.c_str());
        pid_t pid = Start(program, folder + "/empty", "");
        WaitIdle(pid);
        const Figures empty = Measure(pid);
        Print("no file", empty);
        Stop(pid);

        pid = Start(program, folder + "/one", frame);
        WaitIdle(pid);
        const Figures one = Measure(pid);
        Print("one frame, first paint", one);
        Stop(pid);

        pid = Start(program, folder + "/cube", cube);
        WaitIdle(pid);
        const Figures first = Measure(pid);
        Print("cube, first paint", first);
        Figures stepped = first;
        Window main = 0;
        for (int i = 0; i < 100 && main == 0; ++i) {
            main = MainWindow(d, pid);
            if (main == 0) Sleep(100);
        }
        int x = 0, y = 0;
        Window child = 0;
        if (main != 0 && XTranslateCoordinates(d, main, DefaultRootWindow(d), 0, 0, &x, &y, &child)) {
            for (int k = 1; k <= kCubeFrames - 1; ++k) {
                Click(d, x + kNextFrameX, y + kNextFrameY);
                WaitIdle(pid);
                const Figures f = Measure(pid);
                if (f.rss > stepped.rss) stepped.rss = f.rss;
                if (f.anon > stepped.anon) stepped.anon = f.anon;
                if (f.heap > stepped.heap) stepped.heap = f.heap;
                char stage[40];
                std::snprintf(stage, sizeof stage, "cube, frame %d", k + 1);
                Print(stage, f);
            }
            Print("cube, largest after steps", stepped);
        } else {
            std::printf("the main window was not found: no frames stepped\n");
        }
        Stop(pid);
        std::printf("one frame adds %.1f MB resident (floor 200 MB); stepping ten frames grows it by %.1f MB\n",
                    (one.rss - empty.rss) * 1.024e-3, (stepped.rss - first.rss) * 1.024e-3);
        XCloseDisplay(d);
        status = 0;
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    for (const std::string& f : {frame, cube}) unlink(f.c_str());
    std::system(("rm -rf '" + folder + "'").c_str());
    return status;
}
