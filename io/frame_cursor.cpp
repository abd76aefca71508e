#include "io/frame_cursor.h"

#include <cmath>
#include <cstdlib>

#include "common/number_text.h"
#include "data/kernel_util.h"

namespace orva {

namespace {

constexpr int32_t kInt32Max = 2147483647;
constexpr auto kPlain = std::memory_order_relaxed;

// Half away from zero, then truncated and saturated.
int64_t RoundHalfAway(double v) {
    return kernel::SaturateTrunc<int64_t>(v >= 0.0 ? v + 0.5 : v - 0.5);
}

int32_t Clamp32(int64_t v) {
    if (v > kInt32Max) return kInt32Max;
    if (v < -kInt32Max - 1) return -kInt32Max - 1;
    return static_cast<int32_t>(v);
}

int32_t Magnitude(int32_t v) {
    return v == INT32_MIN ? kInt32Max : std::abs(v);
}

// The 1-based frame number a position value stands for.
int64_t PositionValue(const FramePlayer& p, int32_t value, int unit) {
    if (unit != kFrameUnitMilliseconds) return value;
    uint32_t v = static_cast<uint32_t>(value);
    const int32_t interval = p.interval.load();
    if (interval > 1) v /= static_cast<uint32_t>(interval);
    return static_cast<int64_t>(v) + 1;
}

// A position under a new range (Algorithms of the count change).
int32_t Rescale(int32_t position, int32_t oldFirst, int32_t newFirst, int32_t newLast,
                double ratio) {
    if (static_cast<int64_t>(position) - oldFirst <= 0) return newFirst;
    const int64_t v = RoundHalfAway((static_cast<double>(position) - oldFirst + 1) * ratio) +
                      newFirst - 1;
    if (v < newFirst || v > newLast) return newFirst;
    return static_cast<int32_t>(v);
}

}  // namespace

FrameTextHooks& TheFrameTextHooks() {
    static FrameTextHooks hooks;
    return hooks;
}

bool FramePlayerSetCount(FramePlayer& p, uint32_t count) {
    const int32_t n = count > static_cast<uint32_t>(kInt32Max) ? kInt32Max
                                                                 : static_cast<int32_t>(count);
    if (n == p.count.load()) return false;
    const int32_t old = p.count.exchange(n);
    const int32_t L = p.last.load(), F = p.first.load(), C = p.current.load(),
                  M = p.mark.load();
    const int64_t lastPlusOne = static_cast<int64_t>(L) + 1;

    if (n == lastPlusOne) {
        // The range already ended at the last frame: only a current frame beyond the
        // new end moves back to it.
        if (C >= n) p.current.exchange(n > 0 ? n - 1 : 0);
        return true;
    }

    int32_t newLast;
    if (n == 0) {
        newLast = 0;
    } else if (old <= 0 || old == lastPlusOne) {
        newLast = n - 1;
    } else {
        const int64_t v = RoundHalfAway(static_cast<double>(n) / old * static_cast<double>(lastPlusOne)) - 1;
        newLast = (v < 1 || v > n - 1) ? n - 1 : static_cast<int32_t>(v);
    }

    int32_t newFirst = 0;
    if (n != 0 && lastPlusOne != 0 && F != 0) {
        const int64_t v = RoundHalfAway((static_cast<double>(newLast) + 1) /
                                        static_cast<double>(lastPlusOne) *
                                        (static_cast<double>(F) + 1)) - 1;
        newFirst = v < 0 ? 0 : Clamp32(v);
    }
    if (newFirst >= newLast) newFirst = newLast > 0 ? newLast - 1 : 0;

    p.last.store(newLast, kPlain);
    p.first.store(newFirst, kPlain);

    int32_t newCurrent = newFirst, newMark = newFirst;
    const int64_t span = static_cast<int64_t>(L) - F + 1;
    if (n != 0 && span >= 1) {
        const double ratio = (static_cast<double>(newLast) - newFirst + 1) / static_cast<double>(span);
        newCurrent = Rescale(C, F, newFirst, newLast, ratio);
        newMark = Rescale(M, F, newFirst, newLast, ratio);
    }
    p.current.exchange(newCurrent);
    p.mark.store(newMark, kPlain);
    return true;
}

int FramePlayerSetFirst(FramePlayer& p, int32_t* value, int unit) {
    if (value == nullptr) return 0;
    int32_t F = 0;
    if (p.count.load() != 0) {
        int64_t v = PositionValue(p, *value, unit);
        if (v > kInt32Max) v = kInt32Max;
        const int32_t L = p.last.load();
        if (v >= static_cast<int64_t>(L) + 1)
            F = L > 0 ? L - 1 : 0;
        else
            F = v > 0 ? static_cast<int32_t>(v - 1) : 0;
    }
    if (F == p.first.load()) return 0;
    *value = F;
    p.first.exchange(F);
    if (p.mark.load() < F) p.mark.store(F, kPlain);
    if (F > p.current.load()) {
        p.current.exchange(F);
        return 2;
    }
    return 1;
}

int FramePlayerSetLast(FramePlayer& p, int32_t* value, int unit) {
    if (value == nullptr) return 0;
    int32_t L = 0;
    const int32_t count = p.count.load();
    if (count != 0) {
        int64_t v = PositionValue(p, *value, unit);
        if (v > kInt32Max) v = kInt32Max;
        const int64_t first = p.first.load();
        if (v > count)
            v = count;
        else if (v <= first + 1)
            v = first + 1 >= count ? first + 1 : first + 2;
        L = v > 0 ? static_cast<int32_t>(v - 1) : 0;
    }
    if (L == p.last.load()) return 0;
    *value = L;
    p.last.exchange(L);
    if (p.mark.load() > L) p.mark.store(L, kPlain);
    if (L < p.current.load()) {
        p.current.exchange(L);
        return 2;
    }
    return 1;
}

bool FramePlayerStepForward(FramePlayer& p) {
    const int32_t first = p.first.load(), last = p.last.load(), current = p.current.load();
    if (last <= first || current >= last) return false;
    const int64_t next = static_cast<int64_t>(current) + Magnitude(p.step.load());
    if (next > last || next == current) return false;
    p.current.exchange(static_cast<int32_t>(next));
    return true;
}

bool FramePlayerStepBack(FramePlayer& p) {
    const int32_t first = p.first.load(), current = p.current.load();
    if (current <= first) return false;
    const int64_t next = static_cast<int64_t>(current) - Magnitude(p.step.load());
    if (next < first || next == current) return false;
    p.current.exchange(static_cast<int32_t>(next));
    return true;
}

bool FramePlayerToFirst(FramePlayer& p) {
    const int32_t first = p.first.load();
    if (first >= p.current.load()) return false;
    p.current.exchange(first);
    return true;
}

bool FramePlayerToLast(FramePlayer& p) {
    const int32_t first = p.first.load(), last = p.last.load();
    if (last <= first || p.current.load() == last) return false;
    p.current.exchange(last);
    return true;
}

int32_t FramePlayerTogglePlay(FramePlayer& p) {
    const int32_t mode = p.timeMode.load() == 0 ? 1 : 0;
    p.timeMode.store(mode, kPlain);
    FramePlayerSaved& s = TheFramePlayerSaved();
    s.timeMode.exchange(mode);
    s.playbackTiming.store(-1, kPlain);
    return mode;
}

int32_t FramePlayerSetLoop(FramePlayer& p, bool on) {
    const int32_t word = on ? (p.flags.fetch_or(kFramePlayerLoop) | kFramePlayerLoop)
                            : (p.flags.fetch_and(~kFramePlayerLoop) & ~kFramePlayerLoop);
    TheFramePlayerSaved().flagWord.store(word, kPlain);
    return word;
}

int32_t FramePlayerSetReverse(FramePlayer& p, bool on) {
    const int32_t magnitude = Magnitude(p.step.load());
    const int32_t step = on ? -magnitude : magnitude;
    // The step changes before the flag: a tick between the two moves in the new direction.
    p.step.exchange(step);
    if (on)
        p.flags.fetch_or(kFramePlayerReverse);
    else
        p.flags.fetch_and(~kFramePlayerReverse);
    return step;
}

bool FramePlayerSetRate(int unit, double x, std::atomic<int32_t>* interval) {
    if (interval == nullptr) return false;
    double ms;
    if (unit == kRateFramesPerSecond) {
        ms = x <= 4.656612875245797e-07 ? 2147483647.0 : 1000.0 / x;
    } else if (unit == kRateMillisecondsPerFrame) {
        ms = x;
    } else {
        return false;
    }
    int32_t result;
    if (ms > 2147483647.0)
        result = kInt32Max;
    else if (!(ms > 1.0))
        result = 1;
    else
        result = static_cast<int32_t>(std::nearbyint(ms));  // ties to even in the default mode
    if (interval->load() == result) return false;
    interval->store(result, kPlain);
    return true;
}

bool FramePlayerAdvance(FramePlayer& p) {
    const int32_t step = p.step.load();
    const int32_t first = p.first.load(), last = p.last.load();
    int64_t next = static_cast<int64_t>(p.current.load()) + step;
    if (next < first || next > last) {
        if ((p.flags.load() & kFramePlayerLoop) == 0) return false;
        next = step >= 1 ? first : last;
    }
    p.current.exchange(static_cast<int32_t>(next));
    return true;
}

// ---- Texts ---------------------------------------------------------------------------------

int FrameNumberTextFormat(const FramePlayer& p, char* buffer) {
    const int64_t d = static_cast<int64_t>(p.current.load()) - p.first.load();
    if (p.timeMode.load() == 0)
        return BoundedPrintf(buffer, kFrameTextSize, "%d", Clamp32(d + 1));
    const int32_t magnitude = Magnitude(p.step.load());
    const int64_t s = magnitude > 1 ? d / magnitude : d;
    const double seconds = static_cast<double>(p.interval.load()) * static_cast<double>(s) * 0.001;
    return FormatTimeHMSms(buffer, seconds);
}

int FrameTimeTextFormat(const FramePlayer& p, int32_t frame, char* buffer) {
    if (p.timeMode.load() == 0)
        return BoundedPrintf(buffer, kFrameTextSize, "%d", Clamp32(static_cast<int64_t>(frame) + 1));
    const double t = static_cast<double>(p.interval.load()) * frame * 0.001;
    const int64_t whole = kernel::SaturateTrunc<int64_t>(t);
    const int64_t h = kernel::SaturateTrunc<int64_t>(t / 3600.0);
    const int64_t m = (whole - 3600 * h) / 60;
    const int64_t s = kernel::SaturateTrunc<int64_t>(t - static_cast<double>(60 * h + m) * 60.0);
    const int64_t ms = kernel::SaturateTrunc<int64_t>((t - std::trunc(t)) * 1000.0);
    return BoundedPrintf(buffer, kFrameTextSize, "%.2d:%.2d:%.2d:%.3d", Clamp32(h), Clamp32(m),
                         Clamp32(s), Clamp32(ms));
}

void FrameNumberText(const FramePlayer& p, void* widget) {
    char text[kFrameTextSize];
    FrameNumberTextFormat(p, text);
    if (TheFrameTextHooks().setText) TheFrameTextHooks().setText(widget, text);
}

void FrameTimeText(const FramePlayer& p, int32_t frame, void* widget) {
    char text[kFrameTextSize];
    FrameTimeTextFormat(p, frame, text);
    if (TheFrameTextHooks().setText) TheFrameTextHooks().setText(widget, text);
}

}  // namespace orva
