// The progress bar (modes, drags, colours read back from a real GL context) and the
// round outlines.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>
#include <utility>

#include "fake_window_fixture.h"
#include "gl_test_support.h"
#include "platform/fake_backend.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/small_controls.h"

namespace orva {
namespace {

using namespace testing_util;

struct Seek {
    int mode = 0;
    float position = 0.25f;
    int seeks = 0, done = 0;
    float lastFraction = -1;
    uint8_t answer = 1;
};
int Mode(uintptr_t u) { return reinterpret_cast<Seek*>(u)->mode; }
void Position(uintptr_t u, float* f) { *f = reinterpret_cast<Seek*>(u)->position; }
uint8_t OnSeek(uintptr_t u, float* f) {
    auto* s = reinterpret_cast<Seek*>(u);
    ++s->seeks;
    s->lastFraction = *f;
    return s->answer;
}
void Done(uintptr_t u) { ++reinterpret_cast<Seek*>(u)->done; }

ProgressDesc Desc(Seek* s) {
    return ProgressDesc{.mode = Mode, .seek = OnSeek, .position = Position, .seekDone = Done,
                        .userData = reinterpret_cast<uintptr_t>(s)};
}

TEST(ProgressBarTest, ModesAndDrags) {
    platform::ScopedFakeBackend fake;
    ASSERT_NE(gInit(), nullptr);
    gWindow* window = gWinCreateRec(10, 10, 300, 100, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
    ASSERT_NE(window, nullptr);
    Seek s;
    ProgressDesc d = Desc(&s);
    const float size[2] = {102, 8};  // 100 pixels of travel
    gElement* e = ProgressBar::Create(window, nullptr, &d, size);
    ASSERT_NE(e, nullptr);
    ProgressDesc* bar = ProgressBar::FromWidget(e);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(ProgressBar::Update(e));  // draggable: 0.25 of 100
    EXPECT_EQ(std::tuple(bar->length, e->dragFlags & 0x200), std::tuple(25.0f, 0x200u));
    EXPECT_FALSE(ProgressBar::Update(e));
    s.position = 7.0f;  // a wild fraction is clamped
    EXPECT_TRUE(ProgressBar::Update(e));
    EXPECT_EQ(bar->length, 100.0f);
    s.mode = 2;
    EXPECT_FALSE(ProgressBar::Update(e));
    EXPECT_EQ(std::tuple(e->dragFlags & 0x200, e->onDrag), std::tuple(0u, nullptr));
    s.mode = 1;
    EXPECT_TRUE(ProgressBar::Update(e));
    EXPECT_EQ(bar->length, 0.0f);
    // Drag: fraction = (x - 1) / 100, clamped.
    EXPECT_TRUE(ProgressBar::DragTo(e, 41.4f));
    EXPECT_FLOAT_EQ(s.lastFraction, 0.404f);
    EXPECT_EQ(std::tuple(bar->length, s.done), std::tuple(40.0f, 1));
    s.answer = 0;
    EXPECT_TRUE(ProgressBar::DragTo(e, 500));
    EXPECT_EQ(std::tuple(bar->length, s.done), std::tuple(100.0f, 1));
    EXPECT_FALSE(ProgressBar::DragTo(e, 400));
    EXPECT_TRUE(ProgressBar::SetActive(e, true));
    EXPECT_FALSE(ProgressBar::SetActive(e, true));
    // Defaults: an empty descriptor gives mode 1 (empty) and a seek that reports 0.
    const float tiny[2] = {2, 8};  // no travel at all
    gElement* plain = ProgressBar::Create(window, nullptr, nullptr, tiny);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(ProgressBar::Update(plain));
    EXPECT_FALSE(ProgressBar::DragTo(plain, 50));
    EXPECT_EQ(ProgressBar::FromWidget(plain)->length, 0.0f);
    gShutdown();
}

TEST(ProgressBarTest, ColoursReadBackExactly) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(30, 30, 240, 80);
    ASSERT_NE(window, nullptr);
    Seek s;
    s.position = 0.5f;
    ProgressDesc d = Desc(&s);
    const float size[2] = {102, 10};
    gWinCurrentSlot(window, 0x24000 | kWsSlotFromWindow);
    gElement* e = ProgressBar::Create(window, nullptr, &d, size);
    ASSERT_NE(e, nullptr);
    e->color1 = 0x04105A30u;  // channels 0x30, 0x5A, 0x10 (7 bits each)
    e->color2 = 0x047F0000u;
    ASSERT_TRUE(ProgressBar::Update(e));
    ASSERT_TRUE(OpenShown(window, "Progress"));
    PaintWindow(window);
    float x = e->x, y = e->y + 5;
    // 7-bit channels scale to 8 bits as c * 255 / 127: 0x30 -> 96, 0x5A -> 180, 0x10 -> 32.
    EXPECT_EQ(WidgetPixel(window, e, x + 10, y), (Rgb{96, 180, 32}));     // the bar
    EXPECT_EQ(WidgetPixel(window, e, x + 50, y), (Rgb{96, 180, 32}));     // its last pixel: 50 from x + 1
    EXPECT_EQ(WidgetPixel(window, e, x + 51, y), (Rgb{26, 26, 31}));
    EXPECT_EQ(WidgetPixel(window, e, x + 60, y), (Rgb{26, 26, 31}));      // the empty trough
    EXPECT_EQ(WidgetPixel(window, e, x, y), (Rgb{64, 64, 76}));           // the frame
    platform::SwapBuffers(window->hdc);
    ProgressBar::SetActive(e, true);
    gWinPaint(window);
    EXPECT_EQ(WidgetPixel(window, e, x + 10, y), (Rgb{0, 0, 255}));       // the active colour word
    platform::SwapBuffers(window->hdc);
    CloseToolkit();
}

class SmallButtonTest : public FakeWindowTest {};

TEST_F(SmallButtonTest, DragMovesTheGroupAndAClickPutsItBack) {
    gWgtTemplate t{.desc = {.kind = 37, .style = 0x24000, .width = 20, .height = 10}};
    gElement* a = gWgtAdd(window, nullptr, &t, 0);
    gElement* b = gWgtAdd(window, nullptr, &t, 0);
    gGroup* g = gGrpLookupSlot(window, 0x24000);
    ASSERT_TRUE(a && b && g && a->row != nullptr);
    gElement* h = SmallButton::Create(g);
    ASSERT_NE(h, nullptr);
    const float ax = a->x, bx = b->x, gx = g->x, hx = h->x, rx = a->row->x;
    auto expectShift = [&](float dx) {
        EXPECT_EQ(std::tuple(g->x, h->x, a->row->x), std::tuple(gx + dx, hx + dx, rx + dx));
        for (auto [e, x] : {std::pair{a, ax}, std::pair{b, bx}}) {
            EXPECT_EQ(std::tuple(e->x, e->homeX, e->placedX), std::tuple(x + dx, x + dx, x + dx));
        }
    };
    auto press = [&](bool down) {
        gMouseButtonState() = down ? 1 : 0;
        EXPECT_TRUE(h->onPress(h, h->handlerData));
    };
    // Only the horizontal movement counts, summed over the drag; the release keeps it.
    press(true);
    for (auto step : {pf::Point{7, 3}, pf::Point{-2, 9}, pf::Point{0, 4}}) {
        gDragStep = step;
        h->onDrag(h, &gCursorPos);
    }
    press(false);
    expectShift(5);
    // A click without a drag puts the group back where it was when the handle was made.
    press(true);
    press(false);
    expectShift(0);
    EXPECT_FALSE(SmallButton::MoveGroup(a, 3));  // not a handle of a group
    gDragStep = pf::Point{};
}

TEST(SelectionOutlineTest, CirclesPolygonsAndEllipses) {
    // Midpoint circle of radius 5 (by hand: (0,5) (1,5) (2,5) (3,4) and their mirrors).
    std::set<std::pair<int, int>> circle;
    for (auto p : SelectionOutline::CirclePoints(4.6f)) circle.insert(p);
    EXPECT_EQ(circle.size(), 28u);
    for (auto [x, y] : circle) {
        double r = std::hypot(x, y);
        EXPECT_NEAR(r, 5.0, 0.5) << x << "," << y;
    }
    EXPECT_TRUE(circle.count({3, 4}) && circle.count({-4, -3}) && circle.count({0, -5}));
    auto poly = SelectionOutline::PolygonPoints(8, 10);
    ASSERT_EQ(poly.size(), 8u);
    EXPECT_NEAR(poly[0].first, 0, 1e-5);
    EXPECT_NEAR(poly[0].second, -10, 1e-5);  // starts at the top (-pi/2)
    EXPECT_NEAR(poly[2].first, 10, 1e-5);
    EXPECT_EQ(SelectionOutline::PolygonPoints(3, 10).size(), 1u);
    EXPECT_EQ(SelectionOutline::PolygonPoints(8, 0.5f).size(), 1u);
    // Ellipse: every point lies within half a pixel of the curve x^2/a^2 + y^2/b^2 = 1.
    for (auto [a, b] : {std::pair{8, 3}, std::pair{-5, 5}, std::pair{2, 12}}) {
        auto pts = SelectionOutline::EllipsePoints(a, b);
        ASSERT_FALSE(pts.empty());
        double ra = std::abs(a), rb = b;
        for (auto [x, y] : pts) {
            double v = x * x / (ra * ra) + y * y / (rb * rb);
            double grad = 2 * std::hypot(x / (ra * ra), y / (rb * rb));
            EXPECT_LE(std::abs(v - 1) / grad, 0.75) << a << "," << b << ": " << x << "," << y;
        }
        std::set<std::pair<int, int>> s(pts.begin(), pts.end());
        EXPECT_TRUE(s.count({static_cast<int>(ra), 0}) && s.count({0, b}));
    }
}

}  // namespace
}  // namespace orva
