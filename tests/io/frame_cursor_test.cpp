#include "io/frame_cursor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

namespace orva {
namespace {

struct Range {
    int32_t count, first, current, last, mark;
};

Range Get(const FramePlayer& p) {
    return {p.count.load(), p.first.load(), p.current.load(), p.last.load(), p.mark.load()};
}

void Put(FramePlayer& p, Range r) {
    p.count = r.count;
    p.first = r.first;
    p.current = r.current;
    p.last = r.last;
    p.mark = r.mark;
}

void ExpectRange(const FramePlayer& p, Range want, const std::string& what) {
    const Range got = Get(p);
    EXPECT_EQ(got.count, want.count) << what;
    EXPECT_EQ(got.first, want.first) << what;
    EXPECT_EQ(got.current, want.current) << what;
    EXPECT_EQ(got.last, want.last) << what;
    EXPECT_EQ(got.mark, want.mark) << what;
}

class FrameCursor : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        FramePlayerSaved& s = TheFramePlayerSaved();
        s.timeMode = 0;
        s.flagWord = 0;
        s.interval = 0;
        s.playbackTiming = 0;
        TheFrameTextHooks().setText = nullptr;
    }
};

// A new cursor plays at the saved period (the event timer's 50 ms unless the rate was
// set without a cursor), and the transport page shows that rate, not 0.
TEST_F(FrameCursor, ANewCursorTakesTheSavedPeriod) {
    TheFramePlayerSaved().interval = 50;
    FramePlayer a;
    EXPECT_EQ(a.interval.load(), 50);
    TheFramePlayerSaved().interval = 40;
    FramePlayer b;
    EXPECT_EQ(b.interval.load(), 40);
    EXPECT_EQ(a.interval.load(), 50);  // a cursor keeps its own period
}

TEST_F(FrameCursor, ConstructionTakesTheSavedSettings) {
    FramePlayer a;
    EXPECT_EQ(a.step.load(), 1);
    EXPECT_EQ(a.stepSize.load(), 4);
    EXPECT_EQ(a.interval.load(), 0);
    EXPECT_EQ(FramePlayerSetLoop(a, true), 16);
    EXPECT_EQ(FramePlayerSetReverse(a, true), -1);
    EXPECT_EQ(a.flags.load(), 24);
    EXPECT_EQ(FramePlayerSetLoop(a, true), 24);  // the whole word is saved
    EXPECT_EQ(FramePlayerTogglePlay(a), 1);
    EXPECT_EQ(TheFramePlayerSaved().playbackTiming.load(), -1);
    FramePlayer b;  // loop and time mode survive; the reverse bit does not
    EXPECT_EQ(b.flags.load(), 16);
    EXPECT_EQ(b.step.load(), 1);
    EXPECT_EQ(b.timeMode.load(), 1);
    EXPECT_EQ(FramePlayerSetReverse(a, false), 1);
    EXPECT_EQ(a.flags.load(), 16);
    EXPECT_EQ(FramePlayerSetLoop(a, false), 0);
    EXPECT_EQ(TheFramePlayerSaved().flagWord.load(), 0);
}

TEST_F(FrameCursor, SetCountRescalesTheRange) {
    struct Case {
        Range before;
        uint32_t n;
        bool changed;
        Range after;
    } cases[] = {
        {{10, 0, 3, 9, 0}, 10, false, {10, 0, 3, 9, 0}},
        {{10, 0, 3, 9, 0}, 20, true, {20, 0, 7, 19, 0}},
        {{20, 0, 7, 19, 0}, 5, true, {5, 0, 1, 4, 0}},
        {{10, 2, 3, 5, 2}, 20, true, {20, 5, 8, 11, 5}},
        // The range ends at the last frame already: the positions stand.
        {{10, 2, 3, 5, 4}, 6, true, {6, 2, 3, 5, 4}},
        {{10, 2, 3, 9, 4}, 0, true, {0, 0, 0, 0, 0}},
        {{0, 0, 0, 0, 0}, 1, true, {1, 0, 0, 0, 0}},
        {{0, 0, 0, 0, 0}, 7, true, {7, 0, 0, 6, 0}},
        // 1..2 of 4 frames becomes 0..1 of 2 frames.
        {{4, 1, 1, 2, 1}, 2, true, {2, 0, 0, 1, 0}},
        {{100, 10, 50, 60, 55}, 0xFFFFFFFFu, true, {2147483647, 236223200, 1099427411, 1309965024, 1204696218}},
    };
    for (const Case& c : cases) {
        FramePlayer p;
        Put(p, c.before);
        const std::string what = std::to_string(c.before.count) + " -> " + std::to_string(c.n);
        EXPECT_EQ(FramePlayerSetCount(p, c.n), c.changed) << what;
        ExpectRange(p, c.after, what);
    }
}

TEST_F(FrameCursor, SetFirstAndLast) {
    // Each step on the cursor as the previous one left it, unless `before` sets it.
    struct Step {
        Range before;  // count 0: as it is
        bool last;     // FramePlayerSetLast, else FramePlayerSetFirst
        int unit;
        int32_t in;
        int result;
        int32_t out;   // the value written back
        Range after;   // count 0: not checked
    } steps[] = {
        {{10, 2, 4, 7, 3}, false, kFrameUnitNumber, 20, 2, 6, {10, 6, 6, 7, 6}},  // beyond last: last - 1
        {{}, false, kFrameUnitNumber, 0, 1, 0, {10, 0, 6, 7, 6}},
        {{}, false, kFrameUnitNumber, 1, 0, 1, {}},  // unchanged: v not written
        // At or below first + 1: first + 1 (0-based); beyond count: count - 1.
        {{10, 4, 6, 8, 7}, true, kFrameUnitNumber, 3, 2, 5, {10, 4, 5, 5, 5}},
        {{}, true, kFrameUnitNumber, 1000, 1, 9, {}},
        {{10, 9, 9, 9, 9}, true, kFrameUnitNumber, 2, 0, 2, {}},  // first + 1 reaches the count
        // Milliseconds: 5000 ms at 40 ms per frame is the 1-based frame 126.
        {{300, 0, 0, 299, 0}, false, kFrameUnitMilliseconds, 5000, 2, 125, {}},
        {{}, true, kFrameUnitMilliseconds, 7000, 1, 175, {}},
    };
    FramePlayer p;
    for (const Step& c : steps) {
        if (c.before.count > 0) Put(p, c.before);
        p.interval = c.unit == kFrameUnitMilliseconds ? 40 : 0;
        int32_t v = c.in;
        const std::string what = std::string(c.last ? "last " : "first ") + std::to_string(c.in);
        EXPECT_EQ(c.last ? FramePlayerSetLast(p, &v, c.unit) : FramePlayerSetFirst(p, &v, c.unit), c.result) << what;
        EXPECT_EQ(v, c.out) << what;
        if (c.after.count > 0) ExpectRange(p, c.after, what);
    }
    // No frames: everything stays 0.
    FramePlayer empty;
    int32_t v = 5;
    EXPECT_EQ(FramePlayerSetFirst(empty, &v, kFrameUnitNumber), 0);
    EXPECT_EQ(FramePlayerSetLast(empty, &v, kFrameUnitNumber), 0);
}

TEST_F(FrameCursor, StepsAndTicks) {
    FramePlayer p;
    Put(p, {20, 2, 10, 12, 2});
    p.step = 3;
    EXPECT_FALSE(FramePlayerStepForward(p));  // 13 would pass last
    EXPECT_TRUE(FramePlayerStepBack(p));
    EXPECT_EQ(p.current.load(), 7);
    EXPECT_TRUE(FramePlayerStepForward(p));
    EXPECT_EQ(p.current.load(), 10);
    EXPECT_TRUE(FramePlayerToLast(p));
    EXPECT_FALSE(FramePlayerToLast(p));
    EXPECT_TRUE(FramePlayerToFirst(p));
    EXPECT_FALSE(FramePlayerToFirst(p));
    EXPECT_FALSE(FramePlayerStepBack(p));

    // Ticks: 2, 5, 8, 11, then past last: stop, or wrap with the loop flag.
    for (int expected : {5, 8, 11}) {
        EXPECT_TRUE(FramePlayerAdvance(p));
        EXPECT_EQ(p.current.load(), expected);
    }
    EXPECT_FALSE(FramePlayerAdvance(p));
    EXPECT_EQ(p.current.load(), 11);
    FramePlayerSetLoop(p, true);
    EXPECT_TRUE(FramePlayerAdvance(p));
    EXPECT_EQ(p.current.load(), 2);
    FramePlayerSetReverse(p, true);
    EXPECT_TRUE(FramePlayerAdvance(p));
    EXPECT_EQ(p.current.load(), 12);
    EXPECT_TRUE(FramePlayerAdvance(p));
    EXPECT_EQ(p.current.load(), 9);
}

TEST_F(FrameCursor, SetRate) {
    struct Case {
        int unit;
        double x;
        int32_t interval;
    } cases[] = {
        {0, 25.0, 40}, {0, 0.0, 2147483647}, {0, -3.0, 2147483647}, {1, 0.2, 1},
        {1, 3e9, 2147483647}, {1, 2.5, 2}, {1, 3.5, 4}, {0, 3.0, 333}, {1, NAN, 1},
        {0, 4.656612875245797e-07, 2147483647}, {0, 1e-6, 1000000000}, {0, 4.7e-7, 2127659574},
    };
    for (const Case& c : cases) {
        std::atomic<int32_t> word{-5};
        EXPECT_TRUE(FramePlayerSetRate(c.unit, c.x, &word)) << c.x;
        EXPECT_EQ(word.load(), c.interval) << c.unit << " " << c.x;
        EXPECT_FALSE(FramePlayerSetRate(c.unit, c.x, &word));
    }
    std::atomic<int32_t> word{7};
    EXPECT_FALSE(FramePlayerSetRate(2, 25.0, &word));
    EXPECT_TRUE(FramePlayerSetRate(0, 25.0, &TheFramePlayerSaved().interval));
}

TEST_F(FrameCursor, PositionTexts) {
    std::string shown;
    TheFrameTextHooks().setText = [](void* w, const char* t) { *static_cast<std::string*>(w) = t; };
    FramePlayer p;
    Put(p, {5000, 10, 3733, 4000, 10});
    FrameTimeText(p, 3723, &shown);
    EXPECT_EQ(shown, "3724");
    FrameNumberText(p, &shown);
    EXPECT_EQ(shown, "3724");
    p.timeMode = 1;
    p.interval = 1000;
    FrameTimeText(p, 3723, &shown);
    EXPECT_EQ(shown, "01:02:03:000");
    FrameNumberText(p, &shown);
    EXPECT_EQ(shown, "01:02:03:000");
    p.step = -4;  // 3723 / 4 = 930 ticks of 1 s
    FrameNumberText(p, &shown);
    EXPECT_EQ(shown, "00:15:30:000");
    p.interval = 40;
    FrameTimeText(p, 1, &shown);
    EXPECT_EQ(shown, "00:00:00:040");
    TheFrameTextHooks().setText = nullptr;
    FrameNumberText(p, &shown);  // nowhere to show: nothing happens
    EXPECT_EQ(shown, "00:00:00:040");
}

// The timer thread advances the cursor while the UI thread changes it; run under
// ThreadSanitizer this must report no race. The invariants hold once both stop.
TEST_F(FrameCursor, TimerThreadAgainstSetters) {
    FramePlayer p;
    FramePlayerSetCount(p, 50);
    FramePlayerSetLoop(p, true);
    std::atomic<bool> stop{false};
    std::atomic<int> ticks{0};
    std::thread timer([&] {
        while (!stop.load()) {
            FramePlayerAdvance(p);
            ticks.fetch_add(1);
        }
    });
    for (int i = 0; i < 20000 || ticks.load() < 1000; ++i) {
        switch (i % 8) {
            case 0: FramePlayerSetCount(p, 10 + i % 97); break;
            case 1: { int32_t v = i % 13; FramePlayerSetFirst(p, &v, kFrameUnitNumber); break; }
            case 2: { int32_t v = 20 + i % 31; FramePlayerSetLast(p, &v, kFrameUnitNumber); break; }
            case 3: FramePlayerSetReverse(p, (i / 8) % 2 != 0); break;
            case 4: FramePlayerStepForward(p); break;
            case 5: FramePlayerStepBack(p); break;
            case 6: FramePlayerSetLoop(p, true); FramePlayerToFirst(p); break;
            case 7: FramePlayerSetRate(0, 25.0 + i % 3, &p.interval); FramePlayerToLast(p); break;
        }
    }
    stop = true;
    timer.join();
    // A quiet cursor: set the range again and check the invariants.
    int32_t v = 1;
    FramePlayerSetFirst(p, &v, kFrameUnitNumber);
    const Range r = Get(p);
    EXPECT_GT(ticks.load(), 0);
    EXPECT_LE(0, r.first);
    EXPECT_LT(r.first, r.last);
    EXPECT_LT(r.last, r.count);
    EXPECT_EQ(FramePlayerSetReverse(p, false), 1);
    FramePlayerToFirst(p);
    for (int i = 0; i < 3 * r.count; ++i) {
        ASSERT_TRUE(FramePlayerAdvance(p));
        ASSERT_GE(p.current.load(), r.first);
        ASSERT_LE(p.current.load(), r.last);
    }
}

}  // namespace
}  // namespace orva
