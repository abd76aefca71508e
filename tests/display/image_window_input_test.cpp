// The image window's keys, wheel and mouse without an X server: the real device on a
// pattern source, a fake cell, a view widget of its own and a recording shape container.
// Keys are handed to the window's key handler with their repeat counts, as the toolkit
// hands them.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/image_window.h"
#include "display/display_fixture.h"
#include "platform/window_api.h"
#include "toolkit/input.h"
#include "toolkit/scale.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

using display_test::ImageChain;
using display_test::InstallRecorder;
using display_test::Recorder;
using display_test::ServicesScope;

constexpr uint32_t S = kKeyShiftL, C = kKeyCtrlL, A = kKeyAltL;

class ImageInputTest : public ::testing::Test {
protected:
    void SetUp() override { InstallRecorder(&rec); }
    void TearDown() override { display_test::gRec = nullptr; }
    // A chain whose view widget lies at (20, 30) with the host's size; the window is
    // attached to the cell, so its handlers are the view's.
    std::unique_ptr<ImageChain> Make(int64_t width, int64_t height, int32_t hostWidth = 400, int32_t hostHeight = 300) {
        auto chain = std::make_unique<ImageChain>(width, height, 3, hostWidth, hostHeight);
        view.x = 20.0f;
        view.y = 30.0f;
        view.width = static_cast<float>(hostWidth);
        view.height = static_cast<float>(hostHeight);
        chain->cell->host.view = &view;
        chain->cell->host.shapes = &rec;
        chain->window->AttachHost();
        chain->device->RefreshGeometry();
        return chain;
    }
    // The pointer to a view point (the window point of the view's pixel).
    static void PointAt(ImageChain& chain, float x, float y) { chain.window->OnPointerMove(20.0f + x, 30.0f + y); }
    static void Zoom(ImageChain& chain, double x, double y) {
        ZoomSetAxis(&chain.device->view.zoom, true, x);
        ZoomSetAxis(&chain.device->view.zoom, false, y);
        ViewRecompute(&chain.device->view);
    }

    ServicesScope services;
    Recorder rec;
    gElement view;
};

// ---- Zoom keys ---------------------------------------------------------------------------------

TEST(NextKeyZoom, StepsRoundDownToHundredthsWithoutLosingOne) {
    struct Case {
        double zoom, step, minimum, want;
    } cases[] = {
        {0.005, 0.01, 0.001, 0.01},     // below the step: the step
        {0.0001, 0.0005, 0.001, 0.001}, // the step below the minimum: the minimum
        {511.995, 0.01, 0.001, 512.0},
        {0.015, -0.01, 0.01, 0.01},     // 0.005 rounds to 0: the minimum
        {0.06, 0.01, 0.001, 0.07},      // 0.0699... is not 0.06
        {2.0, 0.01, 0.001, 2.01},
        {2.02, 0.01, 0.001, 2.03},
        {1.0, -0.1, 0.001, 0.9},
        {0.3, 0.1, 0.001, 0.4},
        {0.05, -0.1, 0.0, 1.0},         // nothing left: 1.0
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(NextKeyZoom(c.zoom, c.step, c.minimum), c.want) << c.zoom;
    double z = 0.01;
    for (int i = 0; i < 9; ++i) z = NextKeyZoom(z, 0.01, 0.001);
    EXPECT_DOUBLE_EQ(z, 0.10);
    for (int i = 0; i < 100; ++i) z = NextKeyZoom(z, 0.01, 0.001);
    EXPECT_DOUBLE_EQ(z, 1.10);
}

TEST_F(ImageInputTest, ZoomKeysChooseTheirAxesAndStopAtTheLimits) {
    auto chain = Make(1000, 1000);
    Image2DWindow* w = chain->window;
    const ZoomRecord& z = chain->device->view.zoom;
    struct Case {
        double x, y;
        uint32_t key;
        uint32_t repeat;
        double wantX, wantY;
    } cases[] = {
        {0.005, 0.005, kKeyPadAdd, 0, 0.01, 0.01},
        {511.995, 511.995, kKeyPadAdd, 0, 512.0, 512.0},
        {0.5, 0.5, kKeyPadAdd | A, 0, 0.51, 0.5},       // Alt: x alone
        {0.5, 0.5, kKeyPadAdd | C, 0, 0.5, 0.51},       // Ctrl: y alone
        {0.5, 0.5, kKeyPadAdd | C | A, 0, 0.51, 0.51},  // both: both
        {0.5, 0.5, kKeyPadAdd | S, 0, 0.6, 0.6},        // Shift: a step of 0.1
        {0.5, 0.5, kKeyPadAdd, 4, 0.55, 0.55},          // four repeats: five steps
        {0.5, 0.25, kKeyPadAdd, 0, 0.51, 0.255},        // unequal: y follows the ratio
        {0.5, 0.5, kKeyPadSubtract, 0, 0.49, 0.49},
        {512.0, 2.0, kKeyPadAdd, 0, 512.0, 2.0},        // an axis at its limit: nothing
        {512.0, 2.0, kKeyPadAdd | C | A, 0, 512.0, 2.01}, // chosen axes: the limit one is dropped
        {512.0, 512.0, kKeyPadAdd | C | A, 0, 512.0, 512.0},
        {0.001, 0.5, kKeyPadSubtract | A, 0, 0.001, 0.5},
        {0.002, 511.0, kKeyPadAdd, 1, 0.002, 511.0},    // x to 0.02 would take y to 5110: refused
    };
    for (const Case& c : cases) {
        Zoom(*chain, c.x, c.y);
        const bool changes = c.wantX != c.x || c.wantY != c.y;
        // A key that changes nothing (an axis at its limit) is not used.
        EXPECT_EQ(w->OnKeyDown(c.key, c.repeat), changes ? 1 : 0) << c.x << " key " << std::hex << c.key;
        EXPECT_NEAR(z.x, c.wantX, 1e-12) << c.x << " key " << std::hex << c.key;
        EXPECT_NEAR(z.y, c.wantY, 1e-12) << c.y << " key " << std::hex << c.key;
    }
    // Nine presses of + from 0.01.
    Zoom(*chain, 0.01, 0.01);
    for (int i = 0; i < 9; ++i) w->OnKeyDown(kKeyPadAdd, 0);
    EXPECT_DOUBLE_EQ(z.x, 0.10);
    EXPECT_DOUBLE_EQ(z.y, 0.10);
    // The scaled size follows and the rulers with it.
    EXPECT_EQ(chain->device->view.scaledWidth, 100);
    EXPECT_EQ(w->rulers[0].mode, kRulerFractional);  // 5 x 0.1 is below one pixel
    EXPECT_DOUBLE_EQ(w->rulers[0].value, 0.5);
}

TEST_F(ImageInputTest, ZoomOutStopsAtOneOverTheFrameSize) {
    auto chain = Make(100, 50);
    Zoom(*chain, 0.015, 0.03);
    EXPECT_EQ(chain->window->OnKeyDown(kKeyPadSubtract | A, 0), 1);
    EXPECT_DOUBLE_EQ(chain->device->view.zoom.x, 0.01);
    EXPECT_DOUBLE_EQ(chain->device->view.zoom.y, 0.03);
    EXPECT_EQ(chain->window->OnKeyDown(kKeyPadSubtract | C, 0), 1);
    EXPECT_DOUBLE_EQ(chain->device->view.zoom.y, 0.02);  // 1 / 50
}

TEST_F(ImageInputTest, ZoomKeepsTheFramePointUnderThePointer) {
    auto chain = Make(1000, 800);
    Image2DWindow* w = chain->window;
    PointAt(*chain, 150, 90);
    const ImageViewRecord& v = chain->device->view;
    const double fx = (w->pointerX - v.originX) / v.zoom.x, fy = (w->pointerY - v.originY) / v.zoom.y;
    for (int i = 0; i < 30; ++i) w->OnKeyDown(kKeyPadAdd | S, 0);
    EXPECT_DOUBLE_EQ(v.zoom.x, 4.0);
    EXPECT_NEAR((w->pointerX - v.originX) / v.zoom.x, fx, 1.0 / v.zoom.x);
    EXPECT_NEAR((w->pointerY - v.originY) / v.zoom.y, fy, 1.0 / v.zoom.y);
    EXPECT_GE(chain->cell->zoomBars, 1);
}

// ---- Steps ------------------------------------------------------------------------------------

TEST_F(ImageInputTest, ScrollAndPointerSteps) {
    auto chain = Make(1001, 600, 300, 200);
    Image2DWindow* w = chain->window;
    ImageViewRecord& v = chain->device->view;
    EXPECT_EQ(w->OnKeyDown(kKeyRight | S | A, 0), 1);
    EXPECT_EQ(v.scrollX, 500);
    w->OnKeyDown(kKeyRight | S | A, 2);
    EXPECT_EQ(v.scrollX, 2000);
    w->OnKeyDown(kKeyLeft | S, 0);
    EXPECT_EQ(v.scrollX, 1999);
    w->OnKeyDown(kKeyLeft | S | C, 1);
    EXPECT_EQ(v.scrollX, 1979);
    EXPECT_DOUBLE_EQ(v.originX, 1979.0);
    // Page keys: half the frame height, with Shift.
    w->OnKeyDown(kKeyPageUp | S, 0);
    EXPECT_EQ(v.scrollY, -300);
    w->OnKeyDown(kKeyPageDown | S | C, 1);
    EXPECT_EQ(v.scrollY, 300);
    w->OnKeyDown(kKeyDown | S | A, 0);
    EXPECT_EQ(v.scrollY, 600);
    // The pointer: 1 pixel, 10 with Ctrl, times the repeats, at most the view's width.
    PointAt(*chain, 100, 50);
    EXPECT_FLOAT_EQ(w->pointerX, 100.5f);
    w->OnKeyDown(kKeyRight, 1000);
    EXPECT_FLOAT_EQ(w->pointerX, 400.5f);
    w->OnKeyDown(kKeyLeft | C, 2);
    EXPECT_FLOAT_EQ(w->pointerX, 370.5f);
    w->OnKeyDown(kKeyUp, 0);
    EXPECT_FLOAT_EQ(w->pointerY, 49.5f);
    w->OnKeyDown(kKeyPageDown, 499);  // 500 pixels, capped at the width of 300
    EXPECT_FLOAT_EQ(w->pointerY, 349.5f);
    EXPECT_EQ(v.scrollY, 600);
    // Nothing scrolls past the int32 limit.
    v.scrollX = INT32_MAX;
    ViewRecompute(&v);
    EXPECT_EQ(w->OnKeyDown(kKeyRight | S, 0), 0);
    EXPECT_EQ(v.scrollX, INT32_MAX);
    w->OnKeyDown(kKeyLeft | S, 0);
    EXPECT_EQ(v.scrollX, INT32_MAX - 1);
    v.scrollX = INT32_MAX - 3;
    w->OnKeyDown(kKeyRight | S | A, 5);
    EXPECT_EQ(v.scrollX, INT32_MAX);
    v.scrollY = INT32_MIN + 2;
    w->OnKeyDown(kKeyPageUp | S, 0);
    EXPECT_EQ(v.scrollY, INT32_MIN);
    w->OnKeyDown(kKeyPageUp | S, 0);
    EXPECT_EQ(v.scrollY, INT32_MIN);
}

TEST_F(ImageInputTest, KeyboardMovesOfTheCurrentShape) {
    auto chain = Make(400, 300);
    Image2DWindow* w = chain->window;
    chain->cell->host.shapeOptions.arrowKeysMove = 1;
    rec.current = kPlaceRect;
    Zoom(*chain, 2.0, 2.0);
    PointAt(*chain, 10, 10);
    w->OnKeyDown(kKeyRight | S, 0);
    w->OnKeyDown(kKeyDown | S | C, 0);
    EXPECT_EQ(chain->device->view.scrollX, 0);  // the shape moved, not the picture
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"snapshot", "apply 0.5 0", "apply 0 5"}));
    EXPECT_FLOAT_EQ(w->pointerX, 11.5f);
    EXPECT_FLOAT_EQ(w->pointerY, 20.5f);
    EXPECT_EQ(w->keyMoves, 2);
    // Releasing the key while Shift is held ends the run: the anchor tool follows.
    rec.modifiers = kKeyShift;
    EXPECT_TRUE(w->OnKeyUp(kKeyDown));
    EXPECT_EQ(rec.calls.back(), "tool ANCR");
    EXPECT_EQ(w->keyMoves, 0);
    // A new run takes a new snapshot; releasing Shift itself ends it.
    w->OnKeyDown(kKeyLeft | S, 0);
    EXPECT_EQ(rec.calls[rec.calls.size() - 2], "snapshot");
    rec.modifiers = 0;
    w->OnKeyUp(kKeyShiftL);
    EXPECT_EQ(rec.calls.back(), "tool ANCR");
    // Without the flag Shift with an arrow scrolls.
    chain->cell->host.shapeOptions.arrowKeysMove = 0;
    w->OnKeyDown(kKeyRight | S, 0);
    EXPECT_EQ(chain->device->view.scrollX, 1);
}

TEST_F(ImageInputTest, ReleasingAnArrowShowsTheWantedMark) {
    auto chain = Make(400, 300);
    Image2DWindow* w = chain->window;
    w->cursorMarkWanted = 1;
    w->cursorMarkShown = 0;
    EXPECT_TRUE(w->OnKeyUp(kKeyLeft));
    EXPECT_EQ(w->cursorMarkShown, 1);
    w->cursorMarkWanted = 0;
    rec.modifiers = kKeyShift;  // with Shift held the mark stays
    w->OnKeyUp(kKeyPageDown);
    EXPECT_EQ(w->cursorMarkShown, 1);
    EXPECT_FALSE(w->OnKeyUp(kKeyF1));
}

// ---- Positions -----------------------------------------------------------------------------------

TEST_F(ImageInputTest, PositionKeysAndMarks) {
    auto chain = Make(200, 100, 900, 706);
    Image2DWindow* w = chain->window;
    GraphicsHost& h = chain->cell->host;
    ImageViewRecord& v = chain->device->view;
    v.scrollX = 40;
    v.scrollY = -6;
    ViewRecompute(&v);
    h.offsetX = 10;
    h.offsetY = 20;
    struct Case {
        uint32_t digit;
        int32_t x, y;
    } cases[] = {
        {'5', 350 - 40, 303 + 6}, {'5', 350 - 40, 303 + 6},  // twice: still centred
        {'0', 10, 20},                                      // back before the first Ctrl+5
        {'1', -40, 6},
        {'2', 900 - 200 - 40, 6},
        {'3', 900 - 200 - 40, 706 - 100 + 6},
        {'4', -40, 706 - 100 + 6},
        {'0', 10, 20},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(w->OnKeyDown(c.digit | C, 0), 1) << static_cast<char>(c.digit);
        EXPECT_EQ(h.offsetX, c.x) << static_cast<char>(c.digit);
        EXPECT_EQ(h.offsetY, c.y) << static_cast<char>(c.digit);
    }
    EXPECT_EQ(h.remembered.set, 0);
    // At a zoom the frame's scaled size counts.
    Zoom(*chain, 0.5, 0.5);
    v.scrollX = v.scrollY = 0;
    v.offsetX = v.offsetY = v.roundedX = v.roundedY = 0;
    ViewRecompute(&v);
    w->OnKeyDown('5' | C, 0);
    EXPECT_EQ(h.offsetX, (900 - 100) / 2);
    EXPECT_EQ(h.offsetY, (706 - 50) / 2);
    w->OnKeyDown('0' | C, 0);
    // A mark not set: not handled, nothing remembered.
    const int repaints = chain->cell->repaints;
    EXPECT_EQ(w->OnKeyDown('6' | C, 0), 0);
    EXPECT_EQ(h.remembered.set, 0);
    EXPECT_EQ(chain->cell->repaints, repaints);
    // Shift+6 keeps the position; after a scroll Ctrl+6 brings it back.
    EXPECT_EQ(w->OnKeyDown('6' | S, 0), 1);
    EXPECT_EQ(h.marks[0].set, 1);
    const int32_t markX = h.offsetX + v.scrollX, markY = h.offsetY + v.scrollY;
    w->OnKeyDown(kKeyRight | S | C, 3);
    w->OnKeyDown(kKeyDown | S, 0);
    EXPECT_EQ(w->OnKeyDown('6' | C, 0), 1);
    EXPECT_EQ(h.offsetX + v.scrollX, markX);
    EXPECT_EQ(h.offsetY + v.scrollY, markY);
    EXPECT_GT(chain->cell->repaints, repaints);
    EXPECT_EQ(w->OnKeyDown('9' | S, 0), 1);
    EXPECT_EQ(h.marks[3].set, 1);
    EXPECT_EQ(w->OnKeyDown('5' | S, 0), 0);  // Shift with 0 to 5: not handled
    EXPECT_EQ(w->OnKeyDown('5' | C | A, 0), 0);
}

// ---- The wheel --------------------------------------------------------------------------------------

TEST_F(ImageInputTest, WheelScrollsOrMovesTheShape) {
    auto chain = Make(400, 300);
    Image2DWindow* w = chain->window;
    ImageViewRecord& v = chain->device->view;
    struct Case {
        int32_t delta;
        uint32_t keys;
        int32_t x, y;  // the scroll position afterwards
    } cases[] = {
        {-240, platform::kMkShift, 0, -20},
        {240, platform::kMkMButton, 2, -18},
        {120, platform::kMkControl, 3, -18},
        {-360, platform::kMkRButton, 0, -18},
        {119, 0, 0, -18},  // less than a notch: nothing
        {120, 0, 0, -17},
        {-120, platform::kMkLButton, 0, -18},
    };
    for (const Case& c : cases) {
        w->OnWheel(c.delta, c.keys);
        EXPECT_EQ(v.scrollX, c.x) << c.delta << " " << c.keys;
        EXPECT_EQ(v.scrollY, c.y) << c.delta << " " << c.keys;
    }
    EXPECT_DOUBLE_EQ(v.originY, -18.0);
    // With the arrow-keys flag and a current shape the wheel moves the shape.
    chain->cell->host.shapeOptions.arrowKeysMove = 1;
    rec.current = kPlaceLine;
    PointAt(*chain, 50, 60);
    w->OnWheel(-240, platform::kMkShift);
    EXPECT_EQ(rec.calls.back(), "move 0 -20");
    EXPECT_FLOAT_EQ(w->pointerY, 40.5f);
    w->OnWheel(120, platform::kMkMButton);
    EXPECT_EQ(rec.calls.back(), "move 1 1");
    EXPECT_EQ(v.scrollY, -18);
}

// ---- Snapping ---------------------------------------------------------------------------------------

TEST_F(ImageInputTest, ShiftSnapsTheDragAndRInvertsTheRule) {
    auto chain = Make(400, 300);
    Image2DWindow* w = chain->window;
    GraphicsHost& h = chain->cell->host;
    h.toolActive = 1;
    h.drag.state = 1;
    h.drag.startX = h.drag.startY = 100.5f;
    struct Case {
        float dx, dy;
        double wantX, wantY;
    } cases[] = {
        {10, 4, 10, 0},
        {10, 12, 11.045361, 11.045361},  // legs sqrt(244) x 0.70710677
        {2, 10, 0, 10},
        {-10, -12, -11.045361, -11.045361},
    };
    rec.modifiers = kKeyShift;
    for (const Case& c : cases) {
        PointAt(*chain, 100 + c.dx, 100 + c.dy);
        EXPECT_NEAR(h.drag.x - h.drag.startX, c.wantX, 1e-4) << c.dx << ", " << c.dy;
        EXPECT_NEAR(h.drag.y - h.drag.startY, c.wantY, 1e-4) << c.dx << ", " << c.dy;
    }
    // Without Shift the end point is the pointer.
    rec.modifiers = 0;
    PointAt(*chain, 110, 104);
    EXPECT_FLOAT_EQ(h.drag.x, 110.5f);
    EXPECT_FLOAT_EQ(h.drag.y, 104.5f);
    // R inverts the rule at once: snapped without Shift, raw with it.
    EXPECT_EQ(w->OnKeyDown('R', 0), 1);
    EXPECT_EQ(h.shapeOptions.snapInvert, 1);
    EXPECT_FLOAT_EQ(h.drag.y, 100.5f);
    rec.modifiers = kKeyShift;
    PointAt(*chain, 110, 105);
    EXPECT_FLOAT_EQ(h.drag.y, 105.5f);
    EXPECT_EQ(w->OnKeyDown('R' | S, 0), 0);  // R with a modifier: not handled
    // A scroll re-snaps a running drag too.
    h.drag.y = 0.0f;
    rec.modifiers = 0;
    w->ScrollStepX(1, false);
    EXPECT_FLOAT_EQ(h.drag.y, 100.5f);
}

// ---- Shape keys --------------------------------------------------------------------------------------

TEST_F(ImageInputTest, ShapeKeysReachTheContainer) {
    auto chain = Make(400, 300);
    Image2DWindow* w = chain->window;
    rec.current = kPlaceRect;
    struct Case {
        uint32_t key;
        const char* call;
    } cases[] = {
        {kKeyDelete, "remove"},
        {kKeyDelete | S, "remove all"},
        {'Z' | C, "undo"},
        {'Z' | C | S | A, "undo"},
        {'Y' | C, "redo"},
        {'X' | C, "redo"},
        {0xBF | C, "redo"},
        {0xDC | C | A, "redo"},
        {'V' | C, "paste 0"},
        {'V' | C | S, "paste 2"},
        {'V' | A, "paste 1"},
        {'X', "inscribe 8"},
        {'X' | S, "inscribe 7"},
        {'X' | A, "inscribe 6"},
        {'X' | S | A, "inscribe 7"},  // Shift before Alt
        {'Y', "inscribe 11"},
        {'Y' | S, "inscribe 10"},
        {'Y' | A, "inscribe 9"},
        {0xDC, "inscribe 12"},
        {0xBF | S, "inscribe 13"},
        {'C' | S, "inscribe 1"},
        {'C' | C, "copy"},
        {kKeyTab, "next"},
        {kKeyTab | S, "previous"},
        {'A', "drag mode"},
        {'A' | C | S, "drag mode"},
        {'H', "shape mode"},
        {'T' | A, "edit mode"},
    };
    for (const Case& c : cases) {
        rec.calls.clear();
        EXPECT_EQ(w->OnKeyDown(c.key, 0), 1) << c.call;
        ASSERT_FALSE(rec.calls.empty()) << c.call;
        EXPECT_EQ(rec.calls.back(), c.call) << std::hex << c.key;
    }
    // Keys with modifiers the table does not list go on.
    rec.calls.clear();
    for (uint32_t key : {kKeyDelete | C, kKeyDelete | A, 'Z' | 0u, 'C' | A, 'V' | C | A, kKeyTab | A, 'D' | S, 'F' | C,
                         'P' | A, kKeyEnter | C, kKeyInsert | A, 'Q' | 0u, 0u}) {
        EXPECT_EQ(w->OnKeyDown(key, 0), 0) << std::hex << key;
    }
    EXPECT_TRUE(rec.calls.empty());
    // Tab needs a current shape.
    rec.current = -1;
    EXPECT_EQ(w->OnKeyDown(kKeyTab, 0), 0);
    EXPECT_EQ(w->OnKeyDown('T', 0), 1);
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(ImageInputTest, ProjectAndViewKeys) {
    auto chain = Make(4000, 3000, 900, 706);
    Image2DWindow* w = chain->window;
    GraphicsHost& h = chain->cell->host;
    EXPECT_EQ(w->OnKeyDown(kKeyTab | C, 0), 1);
    EXPECT_EQ(w->OnKeyDown(kKeyTab | C | S, 0), 1);
    EXPECT_EQ(w->OnKeyDown('W' | C, 0), 1);
    EXPECT_EQ(w->OnKeyDown('W' | A, 0), 1);
    rec.projects = false;
    EXPECT_EQ(w->OnKeyDown('W' | C, 0), 1);  // no project: nothing, but used
    EXPECT_EQ(w->OnKeyDown(kKeyEnter | A, 0), 1);
    EXPECT_EQ(w->OnKeyDown(' ' | C, 0), 1);
    EXPECT_EQ(rec.shell, (std::vector<std::string>{"item next", "item back", "close item", "close data",
                                                    "playback redraw", "playback redraw"}));
    // F10 fits and centres; Ctrl+F10 reloads.
    EXPECT_EQ(w->OnKeyDown(KeyF(10), 0), 1);
    EXPECT_DOUBLE_EQ(chain->device->view.zoom.x, 0.595);
    rec.shell.clear();
    rec.calls.clear();
    EXPECT_EQ(w->OnKeyDown(KeyF(10) | C, 0), 1);
    EXPECT_EQ(rec.shell, (std::vector<std::string>{"reload"}));
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"pivots"}));
    EXPECT_EQ(w->OnKeyDown(KeyF(10) | A, 0), 0);
    // F12: the cell's own flag without a tool object.
    EXPECT_EQ(w->OnKeyDown(KeyF(12), 0), kKeyToolFlagToggled);
    EXPECT_EQ(h.cellFlag, 1);
    rec.toolObject = true;
    EXPECT_EQ(w->OnKeyDown(KeyF(12) | S, 0), 1);
    EXPECT_EQ(h.cellFlag, 1);
    // C: the wanted cursor mark, shown at once; P: the origin mark; F and V: the shapes'
    // display flag, drawing mode and its counter.
    EXPECT_EQ(w->OnKeyDown('C', 0), 1);
    EXPECT_EQ(w->cursorMarkWanted + w->cursorMarkShown, 2);
    EXPECT_EQ(w->OnKeyDown('C', 0), 1);
    EXPECT_EQ(w->cursorMarkWanted + w->cursorMarkShown, 0);
    w->cursorMarkShown = 1;  // shown while not wanted: C makes it wanted
    w->OnKeyDown('C', 0);
    EXPECT_EQ(w->cursorMarkWanted, 1);
    EXPECT_EQ(w->OnKeyDown('P', 0), 1);
    EXPECT_EQ(w->originMark, 1);
    EXPECT_EQ(w->OnKeyDown('F', 0), 1);
    EXPECT_EQ(h.shapeOptions.display, 1);
    for (uint32_t key : {'V' | 0u, 'V' | S, 'V' | 0u, 'V' | 0u}) w->OnKeyDown(key, 0);
    EXPECT_EQ(h.shapeOptions.drawingStep, 0);
    EXPECT_EQ(h.shapeOptions.drawingMode, 1);
    w->OnKeyDown('V' | S, 0);
    EXPECT_EQ(h.shapeOptions.drawingStep, 1);
    EXPECT_EQ(h.shapeOptions.drawingMode, 0);
    // Esc without a tool: leaves the anchor tool and the selection mode, or is not used.
    EXPECT_EQ(w->OnKeyDown(kKeyEscape, 0), 0);
    rec.selectMode = true;
    EXPECT_EQ(w->OnKeyDown(kKeyEscape | S, 0), 1);
    EXPECT_FALSE(rec.selectMode);
    rec.anchorTool = true;
    EXPECT_EQ(w->OnKeyDown(kKeyEscape, 0), 1);
    EXPECT_EQ(w->OnKeyDown(kKeyEnter, 0), 1);  // no tool: used, nothing done
}

TEST_F(ImageInputTest, DSwitchesTheRulerLabels) {
    auto chain = Make(400, 300);
    SliderCtrl sliders(41, 15);
    chain->cell->host.sliders = &sliders;
    chain->window->AttachHost();
    EXPECT_EQ(sliders.horizontal.labelRoutine != nullptr, true);
    ASSERT_TRUE(chain->device->SetZoom2(0.05, 0.05));
    EXPECT_EQ(sliders.horizontal.valueKind, kScaleValueReal);
    EXPECT_DOUBLE_EQ(sliders.vertical.unitsPerPixel, 20.0);
    EXPECT_EQ(chain->window->OnKeyDown('D', 0), 1);
    EXPECT_EQ(sliders.horizontal.labelMode, kScaleLabelsNone);
    EXPECT_EQ(sliders.vertical.labelMode, kScaleLabelsNone);
    EXPECT_EQ(rec.shell.back(), "coord readout");
    chain->window->OnKeyDown('D', 0);
    EXPECT_EQ(sliders.vertical.labelMode, kScaleLabelsShown);
    ASSERT_TRUE(chain->device->SetZoom2(2.0, 2.0));
    EXPECT_EQ(sliders.horizontal.valueKind, kScaleValueInteger);
    chain->cell->host.sliders = nullptr;
}

// ---- Move mode -----------------------------------------------------------------------------------------

TEST_F(ImageInputTest, SpaceHoldsMoveMode) {
    auto chain = Make(400, 300);
    Image2DWindow* w = chain->window;
    GraphicsHost& h = chain->cell->host;
    EXPECT_EQ(w->OnKeyDown(' ', 0), 1);
    EXPECT_EQ(view.cursor, platform::LoadCursor(kImageCursorMove));
    EXPECT_EQ(rec.statusCode, -2);
    EXPECT_EQ(rec.statusText, "+[Alt] key - move obj");
    EXPECT_FALSE(w->IsTracking());
    EXPECT_EQ(view.onPress, nullptr);
    EXPECT_EQ(rec.calls.front(), "flag off");
    // Dragging moves the cell's view, with Alt the device's scroll.
    const int repaints = chain->cell->repaints;
    w->OnMoveDrag(5, -7);
    EXPECT_EQ(h.offsetX, 5);
    EXPECT_EQ(h.offsetY, -7);
    EXPECT_EQ(chain->cell->repaints, repaints + 1);
    rec.modifiers = kKeyAlt;
    w->OnMoveDrag(3, 4);
    EXPECT_EQ(chain->device->view.scrollX, 3);
    EXPECT_EQ(chain->device->view.scrollY, 4);
    EXPECT_EQ(h.offsetX, 5);
    EXPECT_EQ(rec.calls.back(), "highlight off");
    // The auto-repeat of Space changes nothing; the release ends the mode.
    EXPECT_EQ(w->OnKeyDown(' ' | S, 0), 1);
    EXPECT_TRUE(w->OnKeyUp(' '));
    EXPECT_EQ(view.cursor, platform::LoadCursor(kImageCursorView));
    EXPECT_TRUE(w->IsTracking());
    EXPECT_EQ(view.onPress, w->GetButtonHandler());
    EXPECT_EQ(rec.statusCode, 0);
    EXPECT_EQ(rec.statusText, "");
    EXPECT_EQ(rec.calls.back(), "visible");
    EXPECT_FALSE(w->OnKeyUp(' '));  // not in move mode: not used
    EXPECT_EQ(w->OnKeyDown(' ' | S | A, 0), 0);
}

// ---- Placing shapes ----------------------------------------------------------------------------------

class PlacementTest : public ImageInputTest {
protected:
    // A 200 x 100 frame at the view's corner.
    void SetUp() override {
        ImageInputTest::SetUp();
        chain = Make(200, 100);
        w = chain->window;
        h = &chain->cell->host;
    }
    void Click() {
        w->OnButton(true);
        w->OnButton(false);
    }
    std::unique_ptr<ImageChain> chain;
    Image2DWindow* w = nullptr;
    GraphicsHost* h = nullptr;
};

TEST_F(PlacementTest, F7AndTwoClicksGiveOneRect) {
    PointAt(*chain, 50, 40);
    EXPECT_EQ(w->OnKeyDown(KeyF(7), 0), 1);
    EXPECT_EQ(h->toolActive, 1);
    EXPECT_EQ(h->toolKind, kPlaceRect);
    EXPECT_EQ(h->toolMode, 6);
    EXPECT_EQ(view.cursor, platform::LoadCursor(kImageCursorPlacing));
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"flag on"}));
    Click();  // the first corner
    EXPECT_EQ(h->drag.state, 1);
    EXPECT_EQ(h->drag.mode, kPlaceRect);
    EXPECT_TRUE(rec.kinds.empty());
    PointAt(*chain, 150, 70);
    EXPECT_FLOAT_EQ(h->drag.x, 150.5f);
    EXPECT_FLOAT_EQ(w->pointerX, 150.5f);
    Click();  // the far corner
    ASSERT_EQ(rec.kinds, (std::vector<int32_t>{kPlaceRect}));
    EXPECT_EQ(rec.rects[0], (std::vector<float>{50.5f, 40.5f, 150.5f, 70.5f}));
    EXPECT_EQ(h->toolActive, 0);
    EXPECT_EQ(h->drag.state, 0);
    EXPECT_EQ(h->drag.mode, 0);
    EXPECT_EQ(rec.calls.back(), "release");
    EXPECT_EQ(view.cursor, platform::LoadCursor(kImageCursorView));
    // A far corner beyond the frame: the second click's point lies on the frame's edge.
    w->OnKeyDown(KeyF(7), 0);
    Click();
    PointAt(*chain, 350, 250);
    Click();
    ASSERT_EQ(rec.rects.size(), 2u);
    // The far corner is the frame's far edges themselves, so that the last column and row
    // are inside, as when the button goes up beyond them.
    EXPECT_EQ(rec.rects[1], (std::vector<float>{150.5f, 70.5f, 200.0f, 100.0f}));
    // Ended with Enter far beyond the frame: the corner is clamped to the frame's edge, so
    // that its last column and row are inside.
    w->OnKeyDown(KeyF(7), 0);
    PointAt(*chain, 20, 10);
    Click();
    PointAt(*chain, 390, 290);
    EXPECT_EQ(w->OnKeyDown(kKeyEnter, 0), 1);
    ASSERT_EQ(rec.rects.size(), 3u);
    EXPECT_EQ(rec.rects[2], (std::vector<float>{20.5f, 10.5f, 200.0f, 100.0f}));
    EXPECT_EQ(h->placeRect[2], 200.0f);
}

// Presses that reach the view through the toolkit, as the program gets them: the pointer
// had no time to be tracked over the view, so each press brings its own point.
TEST_F(PlacementTest, PressesOfTheToolkitPlaceAtTheirOwnPoints) {
    ASSERT_NE(view.onPress, nullptr);
    const platform::Point savedPos = gCursorPos;
    const int savedState = gMouseButtonState();
    auto click = [&](int x, int y) {
        gCursorPos = platform::Point{20 + x, 30 + y};  // the view lies at (20, 30)
        gMouseButtonState() = 1;
        view.onPress(&view, view.handlerData);
        gMouseButtonState() = 0;
        view.onPress(&view, view.handlerData);
    };
    EXPECT_EQ(w->OnKeyDown(KeyF(7), 0), 1);  // the pointer still at the window's corner
    click(50, 40);
    EXPECT_FLOAT_EQ(h->drag.startX, 50.5f);
    EXPECT_FLOAT_EQ(h->drag.startY, 40.5f);
    click(150, 70);
    gCursorPos = savedPos;
    gMouseButtonState() = savedState;
    ASSERT_EQ(rec.kinds, (std::vector<int32_t>{kPlaceRect}));
    EXPECT_EQ(rec.rects[0], (std::vector<float>{50.5f, 40.5f, 150.5f, 70.5f}));
    EXPECT_EQ(h->toolActive, 0);
}

TEST_F(PlacementTest, AnotherToolEndsTheActiveOneWithResultThree) {
    PointAt(*chain, 50, 40);
    w->OnKeyDown(KeyF(7), 0);
    Click();
    PointAt(*chain, 80, 60);
    EXPECT_EQ(w->OnKeyDown(KeyF(5), 0), 1);  // the Rect is placed (3 counts as 4 for a Rect)
    ASSERT_EQ(rec.kinds, (std::vector<int32_t>{kPlaceRect}));
    EXPECT_EQ(h->toolActive, 1);  // the Line tool now
    EXPECT_EQ(h->toolKind, kPlaceLine);
    EXPECT_EQ(h->toolMode, 5);
    // Started again at once: equal points count as a cancel.
    EXPECT_EQ(w->OnKeyDown(KeyF(8) | S, 0), 1);
    EXPECT_EQ(rec.calls.back(), "flag on");
    EXPECT_TRUE(std::find(rec.calls.begin(), rec.calls.end(), "drop") != rec.calls.end());
    EXPECT_EQ(h->toolKind, kPlaceRect);
    EXPECT_EQ(h->toolMode, 7);
    // The tool keys' modes and kinds.
    struct Case {
        uint32_t key;
        int32_t mode, kind;
    } cases[] = {
        {KeyF(5) | S, 5, kPlacePolyLine}, {KeyF(6) | C, 5, kPlaceBSpline}, {KeyF(7) | S, 6, kPlaceEllipse},
        {KeyF(8), 1, kPlacePoint},        {KeyF(9), 2, kPlaceLine},        {KeyF(9) | S, 2, kPlacePolyLine},
        {KeyF(9) | C, 4, kPlacePolyLine},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(w->OnKeyDown(c.key, 0), 1);
        EXPECT_EQ(h->toolMode, c.mode) << std::hex << c.key;
        EXPECT_EQ(h->toolKind, c.kind) << std::hex << c.key;
    }
}

TEST_F(PlacementTest, EscCancelsAndEnterEndsWithResultTwo) {
    PointAt(*chain, 50, 40);
    w->OnKeyDown(KeyF(5) | S, 0);  // a PolyLine
    Click();
    PointAt(*chain, 90, 40);
    EXPECT_EQ(w->OnKeyDown(kKeyEnter, 0), 1);
    ASSERT_EQ(rec.kinds, (std::vector<int32_t>{kPlacePolyLine}));
    EXPECT_EQ(rec.rects[0], (std::vector<float>{50.5f, 40.5f, 90.5f, 40.5f}));
    EXPECT_EQ(h->toolActive, 1);  // result 2: the tool goes on
    EXPECT_EQ(h->drag.state, 1);
    EXPECT_FLOAT_EQ(h->drag.startX, 90.5f);  // the end point starts the next segment
    PointAt(*chain, 90, 80);
    EXPECT_EQ(w->OnKeyDown(kKeyEscape, 0), 1);
    EXPECT_EQ(h->toolActive, 0);
    EXPECT_EQ(h->drag.state, 0);
    EXPECT_EQ(rec.calls.back(), "drop");
    EXPECT_EQ(rec.kinds.size(), 1u);
    EXPECT_EQ(view.cursor, platform::LoadCursor(kImageCursorView));
}

TEST_F(PlacementTest, EqualPointsAndRefusedBoxes) {
    PointAt(*chain, 50, 40);
    w->OnKeyDown(KeyF(7), 0);
    Click();
    // Start and end equal: results 1 and 2 do nothing at all.
    const std::vector<std::string> before = rec.calls;
    EXPECT_EQ(w->EndPlacement(1), 0);
    EXPECT_EQ(w->EndPlacement(2), 0);
    EXPECT_EQ(rec.calls, before);
    EXPECT_EQ(h->toolActive, 1);
    EXPECT_EQ(h->drag.state, 1);
    // 3 and 4 count as 0: cancelled.
    EXPECT_EQ(w->EndPlacement(4), 0);
    EXPECT_EQ(h->toolActive, 0);
    EXPECT_EQ(rec.calls.back(), "drop");
    EXPECT_TRUE(rec.kinds.empty());
    // A Point is placed with equal points.
    w->OnKeyDown(KeyF(8), 0);
    Click();
    ASSERT_EQ(rec.kinds, (std::vector<int32_t>{kPlacePoint}));
    EXPECT_EQ(h->toolActive, 1);  // result 1 keeps the Point tool
    EXPECT_EQ(w->OnKeyDown(kKeyEscape, 0), 1);
    // A quick click beside the frame whose press was handled before the tool's key: the
    // release alone places the point, on the frame's last column.
    PointAt(*chain, 350, 50);
    w->OnKeyDown(KeyF(8), 0);
    w->OnButton(false);
    ASSERT_EQ(rec.kinds, (std::vector<int32_t>{kPlacePoint, kPlacePoint}));
    EXPECT_EQ(rec.rects.back(), (std::vector<float>{199.0f, 50.5f, 199.0f, 50.5f}));
    EXPECT_EQ(w->OnKeyDown(kKeyEscape, 0), 1);
    // Boxes: both corners beyond the same edge, or no width, are refused.
    struct Case {
        int32_t kind;
        float x0, y0, x1, y1;
        bool placed;
    } cases[] = {
        {kPlaceRect, -10, 5, -5, 50, false},    // left of the frame
        {kPlaceRect, 10, 120, 50, 150, false},  // below it
        {kPlaceRect, 10, 5, 10, 50, false},     // no width
        {kPlaceRect, -10, 5, 50, 50, true},     // across the left edge: clamped
        {kPlaceEllipse, 250, -5, 150, 50, true},
        {kPlaceLine, -10, -10, -5, -20, false},  // a segment wholly outside
        {kPlaceLine, -10, 50, 300, 60, true},    // one crossing the frame
    };
    for (const Case& c : cases) {
        rec.calls.clear();
        rec.kinds.clear();
        rec.rects.clear();
        h->toolKind = c.kind;
        h->toolActive = 1;
        h->drag.state = 1;
        h->drag.startX = c.x0;
        h->drag.startY = c.y0;
        h->drag.x = c.x1;
        h->drag.y = c.y1;
        const int32_t r = w->EndPlacement(2);
        EXPECT_EQ(r, c.placed ? 4 : 0) << c.x0 << ", " << c.y0;
        EXPECT_EQ(rec.kinds.size(), c.placed ? 1u : 0u) << c.x0;
        EXPECT_EQ(h->toolActive, 0);
        if (!c.placed) {
            EXPECT_EQ(rec.calls.back(), "drop");
        } else if (c.kind == kPlaceRect) {
            EXPECT_EQ(rec.rects[0], (std::vector<float>{0, 5, 50, 50}));
        } else if (c.kind == kPlaceEllipse) {
            EXPECT_EQ(rec.rects[0], (std::vector<float>{200, 0, 150, 50}));
        }
    }
    // A creation the container refuses ends the tool as a cancel.
    rec.placeOk = false;
    h->toolKind = kPlacePolyLine;
    h->toolActive = 1;
    h->drag.state = 1;
    h->drag.startX = 5;
    h->drag.x = 60;
    EXPECT_EQ(w->EndPlacement(1), 0);
    EXPECT_EQ(h->toolActive, 0);
    EXPECT_EQ(rec.calls.back(), "drop");
}

TEST_F(PlacementTest, TakingUpTheCurrentShape) {
    // A polyline with the arrow-keys flag becomes the shape being placed: its tool starts.
    h->shapeOptions.arrowKeysMove = 1;
    rec.current = kPlacePolyLine;
    PointAt(*chain, 60, 30);
    w->TakeUpShape();
    EXPECT_EQ(rec.calls.front(), "take up");
    EXPECT_EQ(h->toolActive, 1);
    EXPECT_EQ(h->toolKind, kPlacePolyLine);
    EXPECT_FLOAT_EQ(h->drag.x, 60.5f);
    // Not while a shape is being placed, nor for a figure, nor without the flag: the
    // shape being placed is let go instead.
    struct Case {
        int32_t current, placing;
        uint8_t flag;
    } cases[] = {{kPlacePolyLine, kPlacePolyLine, 1}, {kPlaceRect, -1, 1}, {kPlacePolyLine, -1, 0}, {-1, -1, 1}};
    for (const Case& c : cases) {
        rec.calls.clear();
        rec.current = c.current;
        rec.placing = c.placing;
        h->shapeOptions.arrowKeysMove = c.flag;
        w->TakeUpShape();
        EXPECT_EQ(rec.calls, (std::vector<std::string>{"drop"})) << c.current << " " << c.placing;
    }
}

TEST_F(PlacementTest, ButtonsWithoutATool) {
    // Playback stopped: Shift with the press leaves the selection mode.
    rec.modifiers = kKeyShift;
    w->OnButton(true);
    EXPECT_EQ(rec.calls.back(), "leave select");
    rec.modifiers = 0;
    rec.calls.clear();
    w->OnButton(true);
    EXPECT_TRUE(rec.calls.empty());
    // Playback runs: the automatic stop, and the shapes hidden when it started.
    rec.playing = true;
    w->OnButton(true);
    EXPECT_EQ(rec.shell.back(), "auto stop");
    EXPECT_EQ(rec.calls.back(), "hide");
    rec.autoStop = false;
    rec.calls.clear();
    w->OnButton(true);
    EXPECT_TRUE(rec.calls.empty());
    // The release shows the wanted cursor mark; a press hides a shown one.
    w->cursorMarkWanted = 1;
    w->OnButton(false);
    EXPECT_EQ(w->cursorMarkShown, 1);
    w->OnButton(true);
    EXPECT_EQ(w->cursorMarkShown, 0);
}

TEST(PointOnSegmentTest, SegmentsAgainstTheFrame) {
    struct Case {
        double x0, y0, x1, y1;
        int32_t want;
    } cases[] = {
        {1, 1, 5, 5, 1},       {-10, 50, 300, 60, 1}, {-10, -10, -5, -20, -1}, {-10, 120, 250, -30, 1},
        {-10, 90, 10, 130, -1}, {-10, 90, 30, 90, 1}, {-10, 110, 5, 130, -1}, {250, 0, 250, 100, -1}, {200, 0, 200, 100, 1},
        {-5, -5, -5, -5, -1},  {5, 5, 5, 5, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PointOnSegmentTest(c.x0, c.y0, c.x1, c.y1, 200, 100), c.want) << c.x0 << ", " << c.y0;
}

}  // namespace
}  // namespace orva
