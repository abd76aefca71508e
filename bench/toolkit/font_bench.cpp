// Building a font's 256 display lists for a window: the built-in raster face, a stock
// system font (fontconfig + FreeType monochrome glyphs) and an outline "Arial" (FreeType
// outlines through the GLU tessellator). Each iteration makes the record, builds its
// lists, waits for GL to finish and releases the font (the lists are deleted). Needs an
// X display (run under xvfb-run). Targets: bitmap < 20 ms, outline < 150 ms.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <cstdlib>

#include "toolkit/font.h"
#include "toolkit/window.h"

namespace {

using namespace orva;

gWindow* FontBenchWindow() {
    static gWindow* window = [] {
        gWindow* w = nullptr;
        if (std::getenv("DISPLAY") == nullptr || gInit() == nullptr) return w;
        return gWinCreateRec(0, 0, 320, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    }();
    return window;
}

template <typename Make>
void Run(benchmark::State& state, Make make) {
    gWindow* window = FontBenchWindow();
    if (window == nullptr || !gWinMakeCurrent(window)) {
        state.SkipWithError("no display");
        return;
    }
    for (auto _ : state) {
        gFont* font = make(window);
        if (!gFontHasLists(font)) {
            state.SkipWithError("no lists");
            break;
        }
        glFinish();
        gFontRelease(font);
    }
}

// The first system font of the process also loads fontconfig's configuration and
// opens the face file: one iteration, registered first.
void BM_FontLists_stockCold(benchmark::State& state) {
    Run(state, [](gWindow* w) { return gFontGet(w, kStockAnsiVar, nullptr, 0, 0, 204, 0, 400, nullptr); });
}

void BM_FontLists_builtin(benchmark::State& state) {
    Run(state, [](gWindow* w) { return gFontForFace(w, nullptr, gBuiltinFace()); });
}

void BM_FontLists_stock(benchmark::State& state) {
    Run(state, [](gWindow* w) { return gFontGet(w, kStockAnsiVar, nullptr, 0, 0, 204, 0, 400, nullptr); });
}

void BM_FontLists_named(benchmark::State& state) {
    Run(state, [](gWindow* w) { return gFontGet(w, kFaceByName, "Arial", -12, 0, 204, 0, 400, nullptr); });
}

void BM_FontLists_outline(benchmark::State& state) {
    Run(state, [](gWindow* w) { return gFontCreateOutline(w, nullptr, "Arial", 0, 0, 1, 0.0f, 0.0f, 204); });
}

void BM_FontLists_outlineLines(benchmark::State& state) {
    Run(state, [](gWindow* w) { return gFontCreateOutline(w, nullptr, "Arial", 0, 0, 0, 0.0f, 0.0f, 204); });
}

BENCHMARK(BM_FontLists_stockCold)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontLists_builtin)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontLists_stock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontLists_named)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontLists_outline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontLists_outlineLines)->Unit(benchmark::kMillisecond);

}  // namespace
