// The road of one data file to the screen, for a 4096 x 4096 BITPIX 16 FITS file with
// BZERO 32768 (32 MiB, warm page cache):
//
// BM_Road_ref: the work the road cannot avoid, done by plain means:
//   cfitsio reading the image into 64-bit reals, a plain loop mapping them to RGB
//   bytes over the default range ("range" and grey), and one glTexSubImage2D of the
//   result into a texture made once, in a GLX context of its own (needs an X display:
//   run under xvfb-run; without one the upload is left out and said so); its two
//   blocks are made once.
// BM_RoadNewBlocks_ref: the same with its blocks allocated (uninitialised) in every
//   round, as a newly opened file meets memory on our side: the first touch of fresh
//   pages is part of the cost.
// BM_Road_ours: the program's road to the screen, with the shell started in this process
//   as the program starts it: the file opened by the open road (OpenSourceFileReport:
//   OpenFileIntoProject with the real default chain, then the item attached to its
//   displays), every waiting message served (the image window's device pulls the
//   view's part of the frame through the Transformation and uploads it), and the
//   window of cell 1 of the main window's workspace painted and finished. Needs an X
//   display. The project is closed again outside the timing.
// BM_RoadPull_ours: without a window: OpenFileIntoProject with the real default chain
//   and the whole first frame pulled from the Transformation by a consumer that takes
//   8-bit RGB as the image device does.
//
// Counters in milliseconds per frame: read / map / upload for the references, open /
// paint and open / pull for ours. At the end the ratios reference / ours are printed.
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/shell_install.h"
#include "app/ui_startup.h"
#include "framework/display_lock.h"
#include "framework/pipeline.h"
#include "framework/port.h"
#include "io/format_registry.h"
#include "io/stream.h"
#include "main/display_services.h"
#include "main/processing_services.h"
#include "main/reduction_services.h"
#include "main/shape_services.h"
#include "main/transform_services.h"
#include "main/views_display_services.h"
#include "main/views_services.h"
#include "platform/msg_queue.h"
#include "toolkit/window.h"
#include "transform/transformation.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/source_component.h"
#include "views/workspace.h"

#if ORVA_HAVE_CFITSIO
#include <fitsio.h>
#endif

namespace orva {
namespace {

constexpr int64_t kSide = 4096;
constexpr int64_t kPixels = kSide * kSide;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// A star-field-like image: a sky of about 1000 with noise, a gradient and a bright block.
uint16_t Sample(int64_t x, int64_t y) {
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull ^
                 static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    int v = 1000 + static_cast<int>(h % 101) - 50 + static_cast<int>((x + y) / 64);
    if (x >= 1024 && x < 1536 && y >= 1365 && y < 1877) v += 3000;
    return static_cast<uint16_t>(v);
}

std::string Card(const std::string& text) {
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

std::string Number(const char* key, long value) {
    char line[81];
    std::snprintf(line, sizeof line, "%-8s= %20ld", key, value);
    return Card(line);
}

// The file, written under /tmp on first use and removed at exit; its default range by
// the statistics of its samples (the extremes when the spread reaches them, else
// mean - 2 sigma .. mean + 4 sigma).
struct BigImage {
    std::string dir, path;
    double low = 0, high = 0;

    BigImage() {
        char t[] = "/tmp/orva_roadbench_XXXXXX";
        if (mkdtemp(t) == nullptr) std::abort();
        dir = t;
        path = dir + "/big.fits";
        std::string header = Card("SIMPLE  =                    T") + Number("BITPIX", 16) +
                             Number("NAXIS", 2) + Number("NAXIS1", kSide) +
                             Number("NAXIS2", kSide) + Number("BZERO", 32768) +
                             Number("BSCALE", 1) + Card("END");
        header.resize(2880, ' ');
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) std::abort();
        std::fwrite(header.data(), 1, header.size(), out);
        std::vector<unsigned char> row(kSide * 2);
        double sum = 0, squares = 0, min = 1e300, max = -1e300;
        for (int64_t y = 0; y < kSide; ++y) {
            for (int64_t x = 0; x < kSide; ++x) {
                const uint16_t v = Sample(x, y);
                sum += v;
                squares += static_cast<double>(v) * v;
                min = std::min<double>(min, v);
                max = std::max<double>(max, v);
                const uint16_t s = v ^ 0x8000;
                row[2 * x] = static_cast<unsigned char>(s >> 8);
                row[2 * x + 1] = static_cast<unsigned char>(s & 0xFF);
            }
            if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) std::abort();
        }
        const std::string pad((2880 - (kPixels * 2) % 2880) % 2880, '\0');
        std::fwrite(pad.data(), 1, pad.size(), out);
        if (std::fclose(out) != 0) std::abort();
        const double n = static_cast<double>(kPixels), mean = sum / n;
        const double sigma = std::sqrt((squares - n * mean * mean) / (n - 1));
        if (2 * (mean + 3 * sigma) > max && (mean - 4 * sigma) / 2 < min) {
            low = min;
            high = max;
        } else {
            low = mean - 2 * sigma;
            high = mean + 4 * sigma;
        }
    }
    ~BigImage() {
        const std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
};

BigImage& TheImage() {
    static BigImage image;
    return image;
}

// Seconds per frame of the last run of each side, for the ratio printed at the end.
double gReference = 0, gReferenceNewBlocks = 0, gOurs = 0, gOursPull = 0;
bool gReferenceUploaded = false;

// ---- The reference ---------------------------------------------------------------------------

// A GLX context of its own with a 4096 x 4096 RGB texture; null without a display.
struct GlContext {
    Display* display = nullptr;
    Window window = 0;
    GLXContext context = nullptr;
    GLuint texture = 0;

    GlContext() {
        if (std::getenv("DISPLAY") == nullptr || (display = XOpenDisplay(nullptr)) == nullptr)
            return;
        int attributes[] = {
            GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
        XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
        if (visual == nullptr) return;
        XSetWindowAttributes wa{};
        wa.colormap = XCreateColormap(display, RootWindow(display, visual->screen), visual->visual,
                                      AllocNone);
        window = XCreateWindow(display, RootWindow(display, visual->screen), 0, 0, 256, 256, 0,
                               visual->depth, InputOutput, visual->visual, CWColormap, &wa);
        context = glXCreateContext(display, visual, nullptr, True);
        XFree(visual);
        if (context == nullptr || !glXMakeCurrent(display, window, context)) {
            context = nullptr;
            return;
        }
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kSide, kSide, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
        glFinish();
    }
    // Makes the context current with its texture bound (the shell's windows make theirs
    // current in between); false without one.
    bool Ready() {
        if (context == nullptr || !glXMakeCurrent(display, window, context)) return false;
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        return glGetError() == GL_NO_ERROR;
    }
};

GlContext& TheGl() {
    static GlContext gl;
    return gl;
}

// The reference; `newBlocks`: its two blocks are allocated (uninitialised) in every
// round, else once.
void RoadReference(benchmark::State& state, bool newBlocks, double* perFrame) {
#if ORVA_HAVE_CFITSIO
    const BigImage& image = TheImage();
    GlContext& gl = TheGl();
    const bool upload = gl.Ready();
    if (!upload) state.SetLabel("no X display: upload left out");
    const double scale = 1.0 / (image.high - image.low), offset = image.low * scale;
    std::unique_ptr<double[]> values;
    std::unique_ptr<uint8_t[]> rgb;
    double read = 0, map = 0, up = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (newBlocks || values == nullptr) {
            values.reset(new double[kPixels]);
            rgb.reset(new uint8_t[kPixels * 3]);
        }
        fitsfile* fp = nullptr;
        int status = 0, nul = 0;
        fits_open_file(&fp, image.path.c_str(), READONLY, &status);
        fits_read_img(fp, TDOUBLE, 1, kPixels, nullptr, values.get(), &nul, &status);
        fits_close_file(fp, &status);
        if (status != 0) {
            state.SkipWithError("cfitsio failed");
            return;
        }
        const auto t1 = Clock::now();
        for (int64_t i = 0; i < kPixels; ++i) {
            const double r = values[i] * scale - offset;
            const uint8_t g = r <= 0 ? 0 : r >= 1 ? 255 : static_cast<uint8_t>(r * 255.0 + 0.5);
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = g;
        }
        benchmark::DoNotOptimize(rgb.get());
        const auto t2 = Clock::now();
        if (upload) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kSide, kSide, GL_RGB, GL_UNSIGNED_BYTE,
                            rgb.get());
            glFinish();
        }
        const auto t3 = Clock::now();
        if (upload && glGetError() != GL_NO_ERROR) {
            state.SkipWithError("the upload failed");
            return;
        }
        if (newBlocks) {
            values.reset();
            rgb.reset();
        }
        read += Seconds(t0, t1);
        map += Seconds(t1, t2);
        up += Seconds(t2, t3);
        state.SetIterationTime(Seconds(t0, t3));
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["read_ms"] = read * 1000 / n;
    state.counters["map_ms"] = map * 1000 / n;
    state.counters["upload_ms"] = up * 1000 / n;
    *perFrame = (read + map + up) / n;
    gReferenceUploaded = upload;
#else
    (void)newBlocks;
    (void)perFrame;
    state.SkipWithError("cfitsio not found at configure time");
#endif
}

// The work alone: blocks made once.
void BM_Road_ref(benchmark::State& state) {
    RoadReference(state, false, &gReference);
}
BENCHMARK(BM_Road_ref)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
// As a newly opened file meets memory: new blocks in every round.
void BM_RoadNewBlocks_ref(benchmark::State& state) {
    RoadReference(state, true, &gReferenceNewBlocks);
}
BENCHMARK(BM_RoadNewBlocks_ref)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ---- Ours --------------------------------------------------------------------------------------

// The formats and the services of the program's composition root, once.
void InstallServices() {
    static const bool installed = [] {
        int in = 0, out = 0;
        RegisterBuiltinFormats(TheFormatRegistry(), &in, &out);
        InstallShapeServices();
        InstallProcessingServices();
        InstallReductionServices();
        InstallTransformServices();
        InstallDisplayServices();
        InstallViewsServices();
        InstallViewsDisplayServices();
        return true;
    }();
    (void)installed;
}

// Serves every message that waits.
void Pump() {
    platform::Msg msg;
    for (int i = 0; i < 100000 && platform::PeekMessage(&msg, true); ++i)
        platform::DispatchMessage(&msg);
}

// What the 2-D device takes: unsigned 8-bit RGB.
class RgbConsumer : public ConsumerLink {
public:
    RgbConsumer() : ConsumerLink(nullptr) {}
    void OnUpstreamChanged() override {}
    bool AcceptFormat(FormatRequest* r) override {
        return (r->format & 0x1FF) == 0x101 && r->channels == 3;
    }
};

// The user interface of a run without windows: it lists the components (one reference
// each), keeps the port lists and has a page window, so that the default chain is built
// as in the program; no display cells.
class WindowlessUi : public ComponentUi {
public:
    ~WindowlessUi() override {
        std::vector<ComponentBase*> held;
        held.swap(list_);
        for (ComponentBase* c : held)
            if (ComponentIsLive(c)) ComponentLeaveList(c);
        while (ports_.first != nullptr) PortListRemove(ports_.first);
    }
    bool ListsComponent(const ComponentBase* c) const override {
        return std::find(list_.begin(), list_.end(), c) != list_.end();
    }
    bool AddComponent(ComponentBase* c) override {
        if (c == nullptr) return false;
        list_.push_back(c);
        c->ui = this;
        return true;
    }
    void RemoveComponent(ComponentBase* c) override {
        list_.erase(std::remove(list_.begin(), list_.end(), c), list_.end());
        if (c != nullptr) c->ui = nullptr;
    }
    std::vector<ComponentBase*> Components() const override { return list_; }
    PageWindow* GetPageWindow() override { return &page_; }
    PortListSet* PortLists() override { return &ports_; }

private:
    std::vector<ComponentBase*> list_;
    PortListSet ports_;
    PageWindow page_;
};

ComponentBase* FindStage(ComponentBase* from, const ComponentId* id) {
    for (ConsumerLink* l = from->firstLink; l != nullptr; l = l->next) {
        if (l->owner == nullptr) continue;
        if (l->owner->GetClassId() == id) return l->owner;
        if (ComponentBase* deeper = FindStage(l->owner, id)) return deeper;
    }
    return nullptr;
}

void BM_RoadPull_ours(benchmark::State& state) {
    const BigImage& image = TheImage();
    InstallServices();
    WindowlessUi ui;
    CUI cui;
    ComponentUi* saved = ThePipelineServices().defaultUi;
    ThePipelineServices().defaultUi = &ui;
    double open = 0, pull = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        OpenParameters request;
        Project* project = nullptr;
        const int32_t opened = OpenFileIntoProject(&cui, &project, &request, image.path.c_str());
        ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
        ComponentBase* source = item != nullptr ? item->currentSource.load() : nullptr;
        auto* stage = source != nullptr ? FindStage(source, &kTransformationId) : nullptr;
        RgbConsumer consumer;
        if (opened != 2 || stage == nullptr || !ConsumerAttach(&consumer, stage)) {
            state.SkipWithError("the file did not open into a chain");
            break;
        }
        const auto t1 = Clock::now();
        PullResult r;
        r.window.frame = r.window.section = -1;
        r.window.width = static_cast<int32_t>(kSide);
        r.window.height = static_cast<int32_t>(kSide);
        PullRequest fresh;
        int32_t code;
        {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            code = ComponentPull(&consumer, &r, &fresh);
            // The image window's device would upload here; BM_Road_ours has it.
        }
        const auto t2 = Clock::now();
        if (code != 3 || r.window.width != kSide || r.window.height != kSide) {
            state.SkipWithError("the Transformation gave no whole frame");
            break;
        }
        benchmark::DoNotOptimize(r.image.data);
        open += Seconds(t0, t1);
        pull += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t0, t2));
        ConsumerDetach(&consumer);
        CUICloseAllProjects(&cui, false);
    }
    CUIShutdown(&cui);
    ThePipelineServices().defaultUi = saved;
    CloseAllStreams();
    const double n = static_cast<double>(state.iterations());
    if (n > 0) {
        state.counters["open_ms"] = open * 1000 / n;
        state.counters["pull_ms"] = pull * 1000 / n;
        gOursPull = (open + pull) / n;
    }
}
BENCHMARK(BM_RoadPull_ours)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// ---- Ours, to the painted window --------------------------------------------------------------

// The shell started in this process as the program starts it: the main window with its
// workspace, display cells that make image windows; null without a display.
CUI* gShell = nullptr;
CUI* StartedShell() {
    static CUI* shell = []() -> CUI* {
        if (std::getenv("DISPLAY") == nullptr) return nullptr;
        setenv("XDG_CONFIG_HOME", (TheImage().dir + "/config").c_str(), 1);
        InstallServices();
        InstallAppShell(nullptr);
        RegisterProjectsIface(&TheCUI());
        if (!CUIInit(&TheCUI())) return nullptr;
        Pump();
        gShell = &TheCUI();
        return gShell;
    }();
    return shell;
}

// The program's road to the screen: the file opened by the open road as the command line
// and the dialog open it (OpenSourceFileReport: OpenFileIntoProject, then the item
// attached to its displays, whose image window pulls through the Transformation and
// uploads what it pulled), every waiting message served, and the window that holds
// cell 1 of the main window's workspace painted and finished (glFinish). What the device
// pulls is what the window shows: the view's part of the frame with its guard band.
void BM_Road_ours(benchmark::State& state) {
    const BigImage& image = TheImage();
    CUI* cui = StartedShell();
    if (cui == nullptr) {
        state.SkipWithError("no X display");
        return;
    }
    double open = 0, paint = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        OpenParameters request;
        ComponentBase* source = OpenSourceFileReport(cui, nullptr, &request, image.path.c_str());
        Pump();
        const auto t1 = Clock::now();
        WorkspaceComponent* ws = AsWorkspace(cui->groups[0].workspace);
        uint32_t number = 1;
        DisplayComponent* cell = ws != nullptr ? GetCellByNumber(ws, &number, false) : nullptr;
        if (source == nullptr || cell == nullptr || cell->window == nullptr ||
            cell->currentDevice == nullptr) {
            state.SkipWithError("the file did not reach an image window");
            break;
        }
        gWindow* host = cell->window;
        gWinMakeCurrent(host);
        glViewport(0, 0, host->clientWidth, host->clientHeight);
        gWinPaint(host);
        glFinish();
        const auto t2 = Clock::now();
        open += Seconds(t0, t1);
        paint += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t0, t2));
        CUICloseAllProjects(cui, false);
        Pump();
    }
    const double n = static_cast<double>(state.iterations());
    if (n > 0) {
        state.counters["open_ms"] = open * 1000 / n;
        state.counters["paint_ms"] = paint * 1000 / n;
        gOurs = (open + paint) / n;
    }
}
BENCHMARK(BM_Road_ours)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace orva

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    const char* upload = orva::gReferenceUploaded ? "" : ", without the upload";
    if (orva::gOursPull > 0)
        std::printf(
            "road: ours %.1f ms to the Transformation's whole first frame, without a window\n",
            orva::gOursPull * 1000);
    if (orva::gOurs > 0) {
        std::printf("road: ours %.1f ms to the first frame painted in the image window\n",
                    orva::gOurs * 1000);
        if (orva::gReference > 0)
            std::printf("road: reference / ours = %.3f (reference %.1f ms, blocks made once%s)\n",
                        orva::gReference / orva::gOurs, orva::gReference * 1000, upload);
        if (orva::gReferenceNewBlocks > 0)
            std::printf(
                "road: reference / ours = %.3f (reference %.1f ms, new blocks every round%s)\n",
                orva::gReferenceNewBlocks / orva::gOurs, orva::gReferenceNewBlocks * 1000, upload);
    }
    std::fflush(stdout);
    if (orva::gShell != nullptr) {
        // The shell goes as the program ends it, before the display and the file go.
        orva::CUIShutdownToolkit();
        orva::CUIShutdown(orva::gShell);
        orva::CUIClearWindowGroups(orva::gShell);
    }
    benchmark::Shutdown();
    return 0;
}
