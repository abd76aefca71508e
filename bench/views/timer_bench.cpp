// The playback timer and the frame request.
//
// BM_TimerTick_ours runs the event timer on its thread with a step that only notes the
// time, 500 ticks at 20 ms and at 10 ms; BM_TimerTick_ref is a bare loop sleeping to
// absolute CLOCK_MONOTONIC deadlines at the same period. Counters: the mean period and
// the 99th percentile of the deviation from the ideal grid (ms). Targets: mean period
// within 1 % of nominal, p99 deviation within 1 ms of the reference's.
//
// BM_FrameRequest_ours is one 0x501 round trip from another thread through the UI
// thread's loop to an empty frame routine and back; BM_FrameRequest_ref a bare mutex
// and condition-variable ping-pong between two threads. Targets: ref/ours >= 0.5, and
// under 50 us per round trip. No display is needed (the recording window backend).
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/display_lock.h"
#include "platform/clock.h"
#include "platform/fake_backend.h"
#include "platform/msg_queue.h"
#include "platform/timer_service.h"
#include "platform/window_api.h"
#include "toolkit/window.h"

namespace {

using namespace orva;

constexpr int kTicks = 500;

struct TickLog {
    std::vector<int64_t> at;
    std::atomic<int> count{0};
    std::mutex mutex;
    std::condition_variable done;
};
TickLog* gLog = nullptr;

void NoteTick(EventTimer*) {
    const int64_t now = platform::MonotonicNs();
    const int n = gLog->count.load();
    if (n >= kTicks) return;
    gLog->at[static_cast<size_t>(n)] = now;
    if (gLog->count.fetch_add(1) + 1 == kTicks) {
        std::lock_guard<std::mutex> hold(gLog->mutex);
        gLog->done.notify_all();
    }
}

// Mean period and 99th-percentile deviation from the grid of the first tick (ms).
void Report(benchmark::State& state, const std::vector<int64_t>& at, int periodMs) {
    const double period = periodMs * 1e6;
    const double mean = static_cast<double>(at.back() - at.front()) / (at.size() - 1);
    std::vector<double> deviation;
    deviation.reserve(at.size());
    for (size_t k = 0; k < at.size(); ++k)
        deviation.push_back(std::fabs(static_cast<double>(at[k] - at.front()) - period * static_cast<double>(k)));
    std::sort(deviation.begin(), deviation.end());
    const double p99 = deviation[static_cast<size_t>(std::ceil(0.99 * deviation.size())) - 1];
    state.counters["mean_period_ms"] = mean / 1e6;
    state.counters["p99_deviation_ms"] = p99 / 1e6;
    state.counters["mean_error_pct"] = 100.0 * (mean - period) / period;
    state.SetItemsProcessed(static_cast<int64_t>(at.size()));
}

void BM_TimerTick_ours(benchmark::State& state) {
    const int periodMs = static_cast<int>(state.range(0));
    platform::ThreadTimerService service;
    EventTimer timer(&service);
    TickLog log;
    log.at.resize(kTicks);
    gLog = &log;
    for (auto _ : state) {
        log.count = 0;
        timer.period = static_cast<uint32_t>(periodMs);
        timer.stepHandler = &NoteTick;
        if (!timer.Start()) {
            state.SkipWithError("the timer did not start");
            break;
        }
        {
            std::unique_lock<std::mutex> hold(log.mutex);
            log.done.wait(hold, [&] { return log.count.load() >= kTicks; });
        }
        timer.Stop(false);
    }
    timer.Shutdown();
    gLog = nullptr;
    if (log.count.load() >= kTicks) Report(state, log.at, periodMs);
}
BENCHMARK(BM_TimerTick_ours)->Arg(20)->Arg(10)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_TimerTick_ref(benchmark::State& state) {
    const int periodMs = static_cast<int>(state.range(0));
    std::vector<int64_t> at(kTicks);
    for (auto _ : state) {
        std::thread ticker([&] {
            const int64_t period = static_cast<int64_t>(periodMs) * 1000000;
            int64_t next = platform::MonotonicNs() + period;
            for (int k = 0; k < kTicks; ++k) {
                timespec ts{static_cast<time_t>(next / 1000000000), static_cast<long>(next % 1000000000)};
                while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
                }
                at[static_cast<size_t>(k)] = platform::MonotonicNs();
                next += period;
            }
        });
        ticker.join();
    }
    Report(state, at, periodMs);
}
BENCHMARK(BM_TimerTick_ref)->Arg(20)->Arg(10)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// The UI thread: the toolkit on the recording backend, one shown window, an empty
// frame routine, and the loop until asked to end.
class UiThread {
public:
    UiThread() {
        thread_ = std::thread([this] {
            platform::ScopedFakeBackend fake;
            if (gInit() != nullptr) {
                gWindow* w = gWinCreateRec(0, 0, 200, 100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
                if (w != nullptr) {
                    gWinShow(w, true);
                    gSetFrameHook([] {});
                    hwnd_ = w->hwnd;
                }
            }
            ready_ = true;
            platform::Msg msg;
            while (!quit_.load() && platform::GetMessage(&msg)) platform::DispatchMessage(&msg);
            gSetFrameHook(nullptr);
            gShutdown();
        });
        while (!ready_.load()) std::this_thread::yield();
    }
    ~UiThread() {
        quit_ = true;
        if (hwnd_ != nullptr) platform::PostMessage(hwnd_, platform::kWmUser, 0, 0);
        thread_.join();
    }
    platform::Hwnd Hwnd() const { return hwnd_; }

private:
    std::atomic<bool> ready_{false};
    std::atomic<bool> quit_{false};
    platform::Hwnd hwnd_ = nullptr;
    std::thread thread_;
};

void BM_FrameRequest_ours(benchmark::State& state) {
    UiThread ui;
    if (ui.Hwnd() == nullptr) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        platform::LResult result = 0;
        if (!platform::SendMessageChecked(ui.Hwnd(), kMsgFrame, 0, 0, &result)) {
            state.SkipWithError("the frame request did not run");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameRequest_ours)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_FrameRequest_ref(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable cv;
    bool request = false, answer = false, quit = false;
    std::thread other([&] {
        std::unique_lock<std::mutex> hold(mutex);
        for (;;) {
            cv.wait(hold, [&] { return request || quit; });
            if (quit) return;
            request = false;
            answer = true;
            cv.notify_all();
        }
    });
    for (auto _ : state) {
        std::unique_lock<std::mutex> hold(mutex);
        request = true;
        cv.notify_all();
        cv.wait(hold, [&] { return answer; });
        answer = false;
    }
    {
        std::lock_guard<std::mutex> hold(mutex);
        quit = true;
    }
    cv.notify_all();
    other.join();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FrameRequest_ref)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
