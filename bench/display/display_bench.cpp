// The 2-D output device delivering frames into its texture mosaic and redrawing them,
// against bare GL loops doing the same uploads and quads in the same context:
//   DeliverFull   a ready 4096 x 4096 RGB8 frame (the producer hands its own memory) at
//                 zoom 1/4 in a view that shows it whole, pulled and uploaded;
//   DeliverWindow the 900 x 706 view at zoom 1 with its guard band over that frame;
//   Pan           a 10-pixel scroll inside the band, redrawn and swapped (no pull).
// The device's cases count the heap blocks taken after warm-up (new_blocks: 0 for a
// steady stream of equal frames). Needs an X display (xvfb-run); llvmpipe shares the
// cores, so fix LP_NUM_THREADS and compare the pairs of one run, e.g.
//   LP_NUM_THREADS=4 xvfb-run -a -s "-screen 0 1280x1024x24" ./bench_display
//       --benchmark_enable_random_interleaving=true --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <vector>

#include "app/graphics_window.h"
#include "app/image_device.h"
#include "app/image_window.h"
#include "bench/texture/bare_textures.h"
#include "common/global_buffer.h"
#include "framework/display_lock.h"
#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "platform/window_api.h"
#include "toolkit/texture_image.h"
#include "toolkit/window.h"

// Heap blocks taken through operator new (the device's own C++ allocations). The
// replaced pair takes its blocks from malloc and gives them back to free, which the
// compiler cannot see.
static std::atomic<uint64_t> gNews{0};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    gNews.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace orva;
using orva::bench::BareTextures;

constexpr int32_t kSide = 4096;
constexpr int32_t kTile = 2048;
constexpr int32_t kViewWidth = 900, kViewHeight = 706;

gWindow* BenchWindow() {
    static gWindow* window = [] {
        gWindow* w = nullptr;
        if (std::getenv("DISPLAY") == nullptr || gInit() == nullptr) return w;
        w = gWinCreateRec(0, 0, 1100, 1100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        if (w == nullptr || !gWinOpen(w, "Display", kStyleShown)) return static_cast<gWindow*>(nullptr);
        platform::Msg msg;
        for (int i = 0; i < 100 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
        return w;
    }();
    if (window == nullptr || !gWinMakeCurrent(window)) return nullptr;
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, window->clientWidth, window->clientHeight, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gTextureLimits().rgb8 = kTile;
    return window;
}

const std::vector<uint8_t>& Frame() {
    static std::vector<uint8_t> frame = [] {
        std::vector<uint8_t> v(static_cast<size_t>(kSide) * kSide * 3);
        std::mt19937 rng(11);
        for (auto& b : v) b = static_cast<uint8_t>(rng() >> 24);
        return v;
    }();
    return frame;
}

// A producer whose frame is ready: whole rows are its own memory, other windows are
// cut out once and kept (as a producer with the window ready hands it).
class ReadySource : public ComponentBase {
public:
    ReadySource() : ComponentBase(nullptr) { process = &Produce; }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = FormatRequest{0x101, 1, 3, 2, 0, 0};
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &frames; }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        record.frame = frame < 0 ? 0 : frame;
        record.section = section < 0 ? 0 : section;
        record.width = record.height = kSide;
        return &record;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<ReadySource*>(c);
        ++s->pulls;
        ReadWindow& w = r->window;
        const int64_t x0 = std::max<int64_t>(0, w.x), y0 = std::max<int64_t>(0, w.y);
        const int64_t x1 = std::min<int64_t>(kSide, w.x + w.width), y1 = std::min<int64_t>(kSide, w.y + w.height);
        if (x1 <= x0 || y1 <= y0) return 0;
        const auto cw = static_cast<uint32_t>(x1 - x0), ch = static_cast<uint32_t>(y1 - y0);
        const uint8_t* pixels;
        if (x0 == 0 && x1 == kSide) {
            pixels = Frame().data() + static_cast<size_t>(y0) * kSide * 3;
        } else {
            std::vector<uint8_t>& cut = s->windows[{x0, y0, cw, ch}];
            if (cut.empty()) {
                cut.resize(static_cast<size_t>(cw) * ch * 3);
                for (uint32_t y = 0; y < ch; ++y)
                    std::memcpy(cut.data() + static_cast<size_t>(y) * cw * 3,
                                Frame().data() + ((static_cast<size_t>(y0) + y) * kSide + x0) * 3, cw * 3);
            }
            pixels = cut.data();
        }
        TypedFrameBuffer& out = r->image;
        out.SetTypeAndCount(0x101, 3);
        out.width = cw;
        out.height = ch;
        out.rowBytes = static_cast<uint64_t>(cw) * 3;
        out.pixelCount = static_cast<uint64_t>(cw) * ch;
        out.data = const_cast<uint8_t*>(pixels);
        out.windowX = x0;
        out.windowY = y0;
        w.x = x0;
        w.y = y0;
        w.width = static_cast<int32_t>(cw);
        w.height = static_cast<int32_t>(ch);
        r->pending = 1;
        return 3;
    }
    const uint8_t* Window(int64_t x, int64_t y, uint32_t w, uint32_t h) { return windows[{x, y, w, h}].data(); }

    int64_t frames = 1;
    FrameDataRecord record;
    int pulls = 0;
    std::map<std::tuple<int64_t, int64_t, uint32_t, uint32_t>, std::vector<uint8_t>> windows;
};

class BenchCell : public DisplayCellBase {
public:
    BenchCell() : DisplayCellBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kDisplayCellId; }
    GraphicsHost host;
};

// A cell showing an image window whose device pulls from a ready source.
struct Scene {
    explicit Scene(gWindow* gl, int32_t viewWidth, int32_t viewHeight) {
        ComponentServices& c = TheComponentServices();
        c.pollComponentState = &PollComponentState;
        c.markGroupReady = [](OutputWindow* w, DeviceViewBase* d) { GraphicsWindowAllIdleWalk(w, d); };
        c.markWindowRedraw = [](DisplayCellBase* cell, OutputWindow*) {
            static_cast<BenchCell*>(cell)->host.window->dirty = 7;
        };
        GraphicsHostServices& h = TheGraphicsHostServices();
        h.host = [](DisplayCellBase* cell) { return &static_cast<BenchCell*>(cell)->host; };
        h.frameCount = [](const void* d) { return *static_cast<const int64_t*>(d); };
        cell = new BenchCell;
        cell->host.window = gl;
        cell->host.width = viewWidth;
        cell->host.height = viewHeight;
        window = new Image2DWindow(cell);
        DeviceViewBase* made = nullptr;
        window->CreateDevice(&made);
        device = static_cast<Image2DDevice*>(made);
        window->current = window->latest = device;
        cell->currentDevice = device;
        cell->currentWindow = window;
        source = new ReadySource;
        ConsumerAttach(&device->pin, source);
    }
    ~Scene() {
        ConsumerDetach(&device->pin);
        window->current = window->latest = nullptr;
        cell->currentDevice = nullptr;
        cell->currentWindow = nullptr;
        device->Release();
        window->Release();
        source->Release();
        cell->Release();
    }
    // A new, equal frame: the device pulls and uploads it.
    void NewFrame() {
        {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            device->changed = 1;
        }
        device->Deliver();
    }
    BenchCell* cell;
    Image2DWindow* window;
    Image2DDevice* device;
    ReadySource* source;
};

struct Clock {
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    double Seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); }
};

void Report(benchmark::State& state, double seconds, uint64_t bytesPerIteration) {
    const double n = static_cast<double>(state.iterations());
    state.counters["ms_per_step"] = n > 0 ? seconds * 1000.0 / n : 0.0;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytesPerIteration));
}

// Heap blocks (operator new and the global buffers) taken while `body` runs.
template <typename Body>
uint64_t BlocksTaken(Body body) {
    const uint64_t news = gNews.load(), blocks = GlobalBufferBlocksTaken();
    body();
    return gNews.load() - news + (GlobalBufferBlocksTaken() - blocks);
}

// ---- Deliver the whole frame ---------------------------------------------------------------

void BM_DeliverFull_ours(benchmark::State& state) {
    gWindow* gl = BenchWindow();
    if (gl == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    {
        // A 1024 x 1024 view shows the whole frame at 1/4.
        Scene scene(gl, 1024, 1024);
        scene.device->SetZoom2(0.25, 0.25);
        scene.NewFrame();
        scene.NewFrame();
        glFinish();
        if (scene.device->drawnArea.width != kSide || scene.device->drawnArea.height != kSide) {
            state.SkipWithError("the whole frame was not pulled");
            return;
        }
        uint64_t blocks = 0;
        Clock clock;
        for (auto _ : state) {
            blocks += BlocksTaken([&] { scene.NewFrame(); });
            glFinish();
        }
        Report(state, clock.Seconds(), static_cast<uint64_t>(kSide) * kSide * 3);
        state.counters["new_blocks"] = static_cast<double>(blocks);
        state.counters["uploads"] = static_cast<double>(scene.device->uploads);
        if (gl != nullptr && gWinMakeCurrent(gl)) scene.device->texture.FreeTiles();
    }
}
BENCHMARK(BM_DeliverFull_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeliverFull_ref(benchmark::State& state) {
    if (BenchWindow() == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    BareTextures bare(kTile, kTile, (kSide / kTile) * (kSide / kTile));
    const uint8_t* pixels = Frame().data();
    Clock clock;
    for (auto _ : state) {
        bare.Upload(pixels, kSide, kSide);
        glFinish();
    }
    Report(state, clock.Seconds(), static_cast<uint64_t>(kSide) * kSide * 3);
}
BENCHMARK(BM_DeliverFull_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Deliver the view with its band -------------------------------------------------------------

void BM_DeliverWindow_ours(benchmark::State& state) {
    gWindow* gl = BenchWindow();
    if (gl == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    Scene scene(gl, kViewWidth, kViewHeight);
    scene.device->view.offsetX = scene.device->view.roundedX = -1500.0;
    scene.device->view.offsetY = scene.device->view.roundedY = -1500.0;
    ViewRecompute(&scene.device->view);
    scene.NewFrame();
    scene.NewFrame();
    glFinish();
    const DeviceArea a = scene.device->drawnArea;
    uint64_t blocks = 0;
    Clock clock;
    for (auto _ : state) {
        blocks += BlocksTaken([&] { scene.NewFrame(); });
        glFinish();
    }
    Report(state, clock.Seconds(), static_cast<uint64_t>(a.width) * a.height * 3);
    state.counters["new_blocks"] = static_cast<double>(blocks);
    state.counters["area_w"] = a.width;
    state.counters["area_h"] = a.height;
    if (gWinMakeCurrent(gl)) scene.device->texture.FreeTiles();
}
BENCHMARK(BM_DeliverWindow_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeliverWindow_ref(benchmark::State& state) {
    gWindow* gl = BenchWindow();
    if (gl == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    // The same area as the device pulls: the view of 900 x 706 at (1500, 1500) with a band
    // of 256 on every side, the same cut-out bytes, into one 2048 x 1024 texture.
    const int64_t x = 1500 - 256, y = 1500 - 256;
    const uint32_t w = kViewWidth + 512, h = kViewHeight + 512;
    static ReadySource* source = new ReadySource;  // kept: its cut-out is what is uploaded
    PullResult r;
    r.window.x = x;
    r.window.y = y;
    r.window.width = static_cast<int32_t>(w);
    r.window.height = static_cast<int32_t>(h);
    ReadySource::Produce(source, &r, nullptr);
    const uint8_t* pixels = static_cast<const uint8_t*>(r.image.data);
    r.image.data = nullptr;  // the source's memory
    BareTextures bare(kTile, 2048, 1);
    Clock clock;
    for (auto _ : state) {
        bare.Upload(pixels, static_cast<int32_t>(w), static_cast<int32_t>(h));
        glFinish();
    }
    Report(state, clock.Seconds(), static_cast<uint64_t>(w) * h * 3);
}
BENCHMARK(BM_DeliverWindow_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- Pan inside the band ---------------------------------------------------------------------------

void DrawScene(gWindow* gl) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    (void)gl;
}

void BM_Pan_ours(benchmark::State& state) {
    gWindow* gl = BenchWindow();
    if (gl == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    Scene scene(gl, kViewWidth, kViewHeight);
    scene.device->view.offsetX = scene.device->view.roundedX = -1500.0;
    scene.device->view.offsetY = scene.device->view.roundedY = -1500.0;
    ViewRecompute(&scene.device->view);
    scene.NewFrame();
    const int pulls = scene.source->pulls;
    double shift = 10.0;
    Clock clock;
    for (auto _ : state) {
        scene.device->view.offsetX = scene.device->view.roundedX = -1500.0 + shift;
        ViewRecompute(&scene.device->view);
        shift = -shift;
        scene.device->Deliver();
        DrawScene(gl);
        {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            scene.window->draw(scene.window);
        }
        platform::SwapBuffers(gl->hdc);
        glFinish();
    }
    Report(state, clock.Seconds(), static_cast<uint64_t>(kViewWidth) * kViewHeight * 3);
    if (scene.source->pulls != pulls) state.SkipWithError("the pan pulled");
    state.counters["pulls"] = scene.source->pulls - pulls;
    if (gWinMakeCurrent(gl)) scene.device->texture.FreeTiles();
}
BENCHMARK(BM_Pan_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Pan_ref(benchmark::State& state) {
    gWindow* gl = BenchWindow();
    if (gl == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    const uint32_t w = kViewWidth + 512, h = kViewHeight + 512;
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 3, 0x80);
    BareTextures bare(kTile, 2048, 1);
    bare.Upload(pixels.data(), static_cast<int32_t>(w), static_cast<int32_t>(h));
    double shift = 10.0;
    Clock clock;
    for (auto _ : state) {
        DrawScene(gl);
        glPushMatrix();
        glTranslated(-256.0 + shift, -256.0, 0.0);
        shift = -shift;
        bare.Draw(static_cast<int32_t>(w));
        glPopMatrix();
        platform::SwapBuffers(gl->hdc);
        glFinish();
    }
    Report(state, clock.Seconds(), static_cast<uint64_t>(kViewWidth) * kViewHeight * 3);
}
BENCHMARK(BM_Pan_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
