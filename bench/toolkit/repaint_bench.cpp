// Repaint of a toolkit window holding 800 widgets (buttons, check boxes, labels and
// edit fields, 200 in each corner) with the "Default" skin, swap included; against a
// bare GL loop that fills the same 800 cells with flat rectangles. Needs an X display
// (run under xvfb-run). Reports widgets per second and milliseconds per frame.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include <chrono>
#include <cstdlib>

#include "platform/gl_context.h"
#include "platform/msg_queue.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

namespace {

using namespace orva;

constexpr int kWidgets = 800;

gWindow* BenchWindow() {
    static gWindow* window = [] {
        gWindow* w = nullptr;
        if (std::getenv("DISPLAY") == nullptr || gInit() == nullptr) return w;
        w = gWinCreateRec(0, 0, 1200, 900, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        if (w == nullptr) return w;
        const uint32_t corners[4] = {0x24000, 0x30000, 0x84000, 0x90000};
        const int32_t kinds[4] = {37, 2, 3, 6};
        const char* texts[4] = {"Apply", nullptr, "Label", "12.5"};
        for (int c = 0; c < 4; ++c) {
            gWinCurrentSlot(w, corners[c] | kWsSlotFromWindow);
            gWgtSelectWindow(w);
            gGroup* group = gGrpFind(w, corners[c], true);
            if (group != nullptr) group->align = 0x11;  // lines of widgets
            for (int i = 0; i < kWidgets / 4; ++i) {
                gWgtTemplate t;
                t.desc.kind = kinds[i % 4];
                t.desc.style = corners[c] | (i % 20 == 0 && i != 0 ? kWsNewRow : 0u);
                t.desc.text = texts[i % 4];
                t.desc.width = t.desc.kind == 6 ? 40.0f : -1.0f;
                gWgtAdd(w, nullptr, &t, 0);
            }
        }
        gWinOpen(w, "Repaint", kStyleShown);
        orva::platform::Msg msg;
        for (int i = 0; i < 100 && orva::platform::PeekMessage(&msg, true); ++i) orva::platform::DispatchMessage(&msg);
        return w;
    }();
    return window;
}

void Report(benchmark::State& state, double seconds) {
    double frames = static_cast<double>(state.iterations());
    state.counters["ms_per_frame"] = frames > 0 ? seconds * 1000.0 / frames : 0.0;
    state.SetItemsProcessed(state.iterations() * kWidgets);
}

void BM_Repaint_ours(benchmark::State& state) {
    gWindow* window = BenchWindow();
    if (window == nullptr || !gWinMakeCurrent(window)) {
        state.SkipWithError("no display");
        return;
    }
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        gWinPaint(window);
        orva::platform::SwapBuffers(window->hdc);
        glFinish();
    }
    Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
BENCHMARK(BM_Repaint_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same without the texts: the widgets' frames and faces alone.
void BM_RepaintNoText_ours(benchmark::State& state) {
    gWindow* window = BenchWindow();
    if (window == nullptr || !gWinMakeCurrent(window)) {
        state.SkipWithError("no display");
        return;
    }
    gTextOps saved = gTextHooks();
    gTextHooks().draw = gTextHooks().drawEngraved = gTextHooks().drawPlain = nullptr;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        gWinPaint(window);
        orva::platform::SwapBuffers(window->hdc);
        glFinish();
    }
    Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    gTextHooks() = saved;
}
BENCHMARK(BM_RepaintNoText_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Repaint_ref(benchmark::State& state) {
    gWindow* window = BenchWindow();
    if (window == nullptr || !gWinMakeCurrent(window)) {
        state.SkipWithError("no display");
        return;
    }
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        for (gElement* e = window->widgets.head; e != nullptr; e = e->next) {
            gWinSetProjection(window, e->style);
            glColor3f(0.7f, 0.7f, 0.7f);
            glRectf(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
        }
        orva::platform::SwapBuffers(window->hdc);
        glFinish();
    }
    Report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
BENCHMARK(BM_Repaint_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
