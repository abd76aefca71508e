// New frames through the texture image: a 2048 x 2048 RGB8 frame uploaded into the
// single form and a 4096 x 4096 RGB8 frame into the mosaic form (four 2048 tiles), each
// drawn once and finished; against a bare loop of glTexSubImage2D into textures made
// once plus one textured quad per texture, in the same GL context. Both sides define their
// textures before the clock starts. Needs an X display
// (run under xvfb-run). Reports bytes uploaded per second and milliseconds per frame.
// llvmpipe shares the cores with everything else: compare pairs from one run with
// --benchmark_enable_random_interleaving=true --benchmark_repetitions=3.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/texture/bare_textures.h"
#include "platform/msg_queue.h"
#include "toolkit/texture_image.h"
#include "toolkit/window.h"

namespace {

using namespace orva;
using orva::bench::BareTextures;

constexpr int32_t kFrame = 2048;
constexpr int32_t kMosaic = 4096;
constexpr int32_t kTile = 2048;

gWindow* BenchWindow() {
    static gWindow* window = [] {
        gWindow* w = nullptr;
        if (std::getenv("DISPLAY") == nullptr || gInit() == nullptr) return w;
        w = gWinCreateRec(0, 0, 1024, 768, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        if (w == nullptr || !gWinOpen(w, "Texture", kStyleShown)) return static_cast<gWindow*>(nullptr);
        platform::Msg msg;
        for (int i = 0; i < 100 && platform::PeekMessage(&msg, true); ++i) platform::DispatchMessage(&msg);
        return w;
    }();
    if (window == nullptr || !gWinMakeCurrent(window)) return nullptr;
    glViewport(0, 0, window->clientWidth, window->clientHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, window->clientWidth, 0, window->clientHeight, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gTextureLimits().rgb8 = kTile;
    return window;
}

const std::vector<uint8_t>& Pixels(int32_t side) {
    static std::vector<uint8_t> frames[2];
    std::vector<uint8_t>& v = frames[side == kMosaic ? 1 : 0];
    if (v.empty()) {
        v.resize(static_cast<size_t>(side) * side * 3);
        std::mt19937 rng(7);
        for (auto& b : v) b = static_cast<uint8_t>(rng() >> 24);
    }
    return v;
}

void Report(benchmark::State& state, double seconds, int32_t side) {
    double frames = static_cast<double>(state.iterations());
    state.counters["ms_per_frame"] = frames > 0 ? seconds * 1000.0 / frames : 0.0;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(side) * side * 3);
}

template <typename Body>
void Run(benchmark::State& state, int32_t side, Body body) {
    gWindow* window = BenchWindow();
    if (window == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    // The first frame defines the texture storage (ours from a zero buffer, the bare
    // loop's in its constructor): the cases time new frames into storage that exists.
    body(window);
    glFinish();
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body(window);
        glFinish();
    }
    Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), side);
}

void BM_UploadFrame_ours(benchmark::State& state) {
    const uint8_t* pixels = Pixels(kFrame).data();
    TextureImage image{};
    Run(state, kFrame, [&](gWindow* window) {
        image.Upload(window, pixels, 3, false, {kFrame, kFrame});
        glCallList(image.list);
    });
    image.Release();
}
BENCHMARK(BM_UploadFrame_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunBare(benchmark::State& state, int32_t side) {
    if (BenchWindow() == nullptr) {
        state.SkipWithError("no display");
        return;
    }
    const uint8_t* pixels = Pixels(side).data();
    BareTextures bare(kTile, kTile, (side / kTile) * (side / kTile));
    Run(state, side, [&](gWindow*) { bare.Frame(pixels, side); });
}

void BM_UploadFrame_ref(benchmark::State& state) { RunBare(state, kFrame); }
BENCHMARK(BM_UploadFrame_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UploadMosaic_ours(benchmark::State& state) {
    const uint8_t* pixels = Pixels(kMosaic).data();
    TextureImage image{};
    MosaicFrame frame{kMosaic, kMosaic, pixels, 1, 0};
    Run(state, kMosaic, [&](gWindow* window) {
        image.BuildMosaic(window, &frame);
        glCallList(image.list);
    });
    image.FreeTiles();
}
BENCHMARK(BM_UploadMosaic_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UploadMosaic_ref(benchmark::State& state) { RunBare(state, kMosaic); }
BENCHMARK(BM_UploadMosaic_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
