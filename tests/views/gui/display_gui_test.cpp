// Display cells, the lens and the workspace keys on the X server: what the cell's widget
// draws stays in its plot area, the lens shows the pixels around the pointer enlarged,
// and the keys reach the workspace through the server.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/keysym.h>

#include <cmath>
#include <functional>
#include <vector>

#include "../../toolkit/gl_test_support.h"
#include "app/graphics_window.h"
#include "framework/port.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"
#include "views/display_cell.h"
#include "views/display_playback.h"
#include "views/lens.h"
#include "views/workspace.h"
#include "views/views_test_support.h"

namespace orva {
namespace {

using namespace testing_util;
using views_testing::FakeGraphicsWindow;

// The layer the fake graphics window draws, in the cell widget's frame (y down).
std::function<void()>& Layer() {
    static std::function<void()> layer;
    return layer;
}

// The colour of the layer's pixel (x, y): every pixel of a 300 x 200 area differs.
Rgb PatternAt(int x, int y) { return {(x * 7) & 0xFF, (y * 5 + x / 37 * 64) & 0xFF, (x + y) % 2 != 0 ? 200 : 60}; }

void DrawPattern(int width, int height) {
    glBegin(GL_POINTS);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb c = PatternAt(x, y);
            glColor3ub(static_cast<GLubyte>(c.r), static_cast<GLubyte>(c.g), static_cast<GLubyte>(c.b));
            glVertex2f(x + 0.5f, y + 0.5f);
        }
    }
    glEnd();
}

uint32_t AfterPaints = 0;

class CellOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        savedDisplay_ = TheDisplayHooks();
        savedShell_ = TheWorkspaceShellHooks();
        savedServices_ = TheComponentServices();
        DisplayHooksDefaults(&TheDisplayHooks());
        WorkspaceShellHooksDefaults(&TheWorkspaceShellHooks());
        TheComponentServices().uiUp = [] { return true; };
        host = InitWithFrame(40, 40, 640, 480);
        ASSERT_NE(host, nullptr);
        ASSERT_TRUE(OpenShown(host, "cell"));
        PumpUntil([&] { return host->clientWidth == 640; });
        AfterPaints = 0;
        gWinSetAfterPaint(host, [](gWindow*, void*) { ++AfterPaints; }, nullptr);

        ws = new WorkspaceComponent;
        ws->margins[1] = 20.0f;  // room above the cells: the lens sits 2 pixels below it
        ASSERT_EQ(WorkspaceBuildMainPage(ws, nullptr, host), 2);
        cell = CreateDisplayCell(&ui, ws, host, false);
        ASSERT_NE(cell, nullptr);
        ASSERT_TRUE(PlaceCellInSlot(ws, cell, 1));
        // The port, its graphics window and device, as connecting leaves them.
        port = static_cast<ViewConsumer*>(cell->CreatePort());
        graphics = new FakeGraphicsWindow(cell);
        graphics->draw = [](GraphicsWindow*) {
            if (Layer()) Layer()();
        };
        device = new views_testing::FakeDevice;
        port->display = cell;
        port->firstWindow = port->lastWindow = port->primaryWindow = port->currentWindow = graphics;
        port->firstDevice = port->lastDevice = device;
        graphics->current = graphics->latest = device;
        device->window = graphics;
        cell->port = port;
        cell->currentWindow = graphics;
        cell->currentDevice = device;
        // The cell at (20, 30), 300 x 200, rulers hidden.
        const float rect[4] = {20, 30, 300, 200};
        DisplaySetCellRect(cell, rect);
        cell->Relayout();
        ASSERT_EQ(cell->plotWidth, 300);
        ASSERT_EQ(cell->plotHeight, 200);
    }
    void TearDown() override {
        Layer() = nullptr;
        if (cell != nullptr) {
            cell->port = nullptr;
            cell->currentWindow = nullptr;
            cell->currentDevice = nullptr;
            port->display = nullptr;
            delete port;
            cell->Release();
        }
        if (ws != nullptr) ws->Release();
        if (host != nullptr) CloseToolkit();
        TheDisplayHooks() = savedDisplay_;
        TheWorkspaceShellHooks() = savedShell_;
        TheComponentServices() = savedServices_;
    }

    // The window painted into its back buffer, as a whole repaint does before the swap.
    void Paint() { PaintWindow(host); }

    ComponentUi ui;
    gWindow* host = nullptr;
    WorkspaceComponent* ws = nullptr;
    DisplayComponent* cell = nullptr;
    ViewConsumer* port = nullptr;
    FakeGraphicsWindow* graphics = nullptr;
    views_testing::FakeDevice* device = nullptr;

private:
    DisplayHooks savedDisplay_;
    WorkspaceShellHooks savedShell_;
    ComponentServices savedServices_;
};

// A played frame where the swap keeps the back buffer: only the cell's widget is drawn
// again (a mark outside it survives), and the widgets over it only when asked for.
TEST_F(CellOnServer, PlaybackDrawsTheCellsImageAloneAndTheWidgetsOverItOnRequest) {
    gElement* box = AddBox(host, 40, 40, nullptr);
    ASSERT_NE(box, nullptr);
    box->style = (box->style & ~kWsSlotBits) | kWsLeft | kWsTop;
    PutBox(box, 60, 70, 40, 40);  // over the cell, which starts at (20, 30)
    const Rgb red{250, 20, 20}, blue{20, 20, 250}, grey{128, 128, 128}, yellow{250, 250, 0};
    Layer() = [] {
        glColor3ub(250, 20, 20);
        glRectf(0, 0, 300, 200);
    };
    Paint();
    EXPECT_TRUE(RgbNear(PixelAt(host, 40, 50), red));
    EXPECT_TRUE(RgbNear(PixelAt(host, 80, 90), grey, 3));
    // A mark beside the cell that a whole repaint would clear.
    OrthoProjection(0, host->clientWidth, host->clientHeight, 0);
    glColor3ub(250, 250, 0);
    glRectf(4, 4, 12, 12);
    glLoadIdentity();
    ASSERT_TRUE(RgbNear(PixelAt(host, 8, 8), yellow));

    Layer() = [] {
        glColor3ub(20, 20, 250);
        glRectf(0, 0, 300, 200);
    };
    ASSERT_TRUE(PlaybackDrawCellImage(cell, host, false));
    EXPECT_TRUE(RgbNear(PixelAt(host, 40, 50), blue));
    EXPECT_TRUE(RgbNear(PixelAt(host, 80, 90), blue));  // the box is not drawn again
    EXPECT_TRUE(RgbNear(PixelAt(host, 8, 8), yellow));
    EXPECT_TRUE(RgbNear(PixelAt(host, 19, 50), Background(host)));  // left of the plot area
    ASSERT_TRUE(PlaybackDrawCellImage(cell, host, true));
    EXPECT_TRUE(RgbNear(PixelAt(host, 80, 90), grey, 3));  // now it is
    EXPECT_TRUE(RgbNear(PixelAt(host, 40, 50), blue));
    EXPECT_TRUE(RgbNear(PixelAt(host, 8, 8), yellow));
    // Another window, or a cell without a shown widget, draws nothing.
    EXPECT_FALSE(PlaybackDrawCellImage(cell, nullptr, false));
    cell->widget->shown = 0;
    EXPECT_FALSE(PlaybackDrawCellImage(cell, host, false));
    cell->widget->shown = 1;
    EXPECT_EQ(PlaybackWindowOf(cell), host);
    EXPECT_EQ(PlaybackWindowOf(ws), host);
}

TEST_F(CellOnServer, ALayerThatFillsEverythingStaysInThePlotArea) {
    Layer() = [] {
        glColor3ub(250, 20, 20);
        glRectf(-2000, -2000, 4000, 4000);
        glColor3ub(20, 250, 20);
        glRectf(0, 0, 10, 10);  // the view's corner, y down
    };
    Paint();
    const Rgb red{250, 20, 20}, green{20, 250, 20}, back = Background(host);
    EXPECT_TRUE(RgbNear(PixelAt(host, 20, 30), green));    // the widget's top left is the view's corner
    EXPECT_TRUE(RgbNear(PixelAt(host, 29, 39), green));
    EXPECT_TRUE(RgbNear(PixelAt(host, 30, 40), red));
    EXPECT_TRUE(RgbNear(PixelAt(host, 319, 229), red));   // the last pixel of the plot area
    EXPECT_TRUE(RgbNear(PixelAt(host, 200, 150), red));
    for (auto [x, y] : {std::pair{19, 100}, {320, 100}, {100, 29}, {100, 230}, {5, 5}, {600, 400}, {321, 231}})
        EXPECT_TRUE(RgbNear(PixelAt(host, x, y), back)) << x << ", " << y;
    // The view's offset moves the layer inside the same clip.
    cell->host.offsetX = 15;
    cell->host.offsetY = 5;
    Paint();
    EXPECT_TRUE(RgbNear(PixelAt(host, 35, 35), green));
    EXPECT_TRUE(RgbNear(PixelAt(host, 34, 35), red));
    EXPECT_TRUE(RgbNear(PixelAt(host, 19, 100), back));
    // Without a view nothing is drawn.
    cell->port = nullptr;
    Paint();
    EXPECT_TRUE(RgbNear(PixelAt(host, 100, 100), back));
    cell->port = port;
}

class LensOnServer : public CellOnServer {
protected:
    void SetUp() override {
        CellOnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Layer() = [] { DrawPattern(300, 200); };
        // The image window keeps the pointer for the readouts: here the widget does.
        cell->widget->onHover = [](gElement* e, const platform::Point* p) {
            DisplayComponent* c = DisplayOfWidget(e);
            WorkspaceComponent* w = c != nullptr ? c->workspace : nullptr;
            if (w == nullptr) return;
            w->readouts.cursor[0] = static_cast<int32_t>(p->x - e->x);
            w->readouts.cursor[1] = static_cast<int32_t>(p->y - e->y);
        };
        ws->lens.on = 1;
        ASSERT_NE(ws->lens.buffer, nullptr);
        FocusWindow(host);  // the hover tracking runs for the active window
    }
    // The lens's picture: its block (i, j) of the sampled square (j counted upwards) at
    // window pixel (x, y) with y down.
    void BlockCentre(int i, int j, int* x, int* y) const {
        const gElement* lens = ws->lens.widget;
        const float z = ws->lens.zoom, extent = lens->width;
        const float originY = static_cast<float>(host->clientHeight) - lens->y - extent - 1.0f;
        const float gx = lens->x + 1.0f + (i + 0.5f) * z, gy = originY + 1.0f + (j + 0.5f) * z;
        *x = static_cast<int>(std::floor(gx));
        *y = host->clientHeight - 1 - static_cast<int>(std::floor(gy));
    }
    // The widget pixel the lens sampled for block (i, j), from the cursor.
    void Sampled(int cursorX, int cursorY, int i, int j, int* x, int* y) const {
        int32_t px = 0, py = 0;
        LensSampleOrigin(ws->lens.size, cursorX, cursorY, cell->widget->width, cell->widget->height, &px, &py);
        const int n = static_cast<int>(ws->lens.size);
        *x = px + i;
        *y = py + (n - 1 - j);  // the square is read bottom-up
    }
    // The cross-hair crosses these blocks: they are skipped.
    bool OnCrossHair(int i, int j) const {
        const int n = static_cast<int>(ws->lens.size);
        return std::abs(i - n / 2) <= 2 || std::abs(j - n / 2) <= 2;
    }
    void PointAt(int x, int y) {
        FakeMotionIn(host, static_cast<int>(cell->widget->x) + x, static_cast<int>(cell->widget->y) + y, 20);
        PumpUntil([&] { return ws->readouts.cursor[0] == x && ws->readouts.cursor[1] == y; }, 1500);
        ASSERT_EQ(ws->readouts.cursor[0], x);
        ASSERT_EQ(ws->readouts.cursor[1], y);
    }
};

TEST_F(LensOnServer, EverySampledPixelIsAZoomByZoomBlockOfItsColour) {
    LensSetSize(&ws->lens, 12);
    ws->lens.zoom = 4.0f;
    const float extent[2] = {48, 48};
    ws->lens.widget->width = ws->lens.widget->cellWidth = extent[0];
    ws->lens.widget->height = ws->lens.widget->cellHeight = extent[1];
    PointAt(150, 90);
    Paint();
    const int n = 12, z = 4;
    int checked = 0;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            if (OnCrossHair(i, j)) continue;
            int wx, wy, sx, sy;
            BlockCentre(i, j, &wx, &wy);
            Sampled(150, 90, i, j, &sx, &sy);
            const Rgb want = PatternAt(sx, sy);
            // The block's inner pixels (the frame's line runs over the last column's edge).
            for (int dy = 0; dy < z / 2; ++dy)
                for (int dx = -z / 2 + 1; dx <= 0; ++dx)
                    ASSERT_TRUE(RgbNear(PixelAt(host, wx + dx, wy + dy), want, 0))
                        << "block " << i << "," << j << " sample " << sx << "," << sy;
            ++checked;
        }
    }
    EXPECT_GT(checked, 40);
    // The frame is grey 0.88.
    const gElement* lens = ws->lens.widget;
    const int frameY = host->clientHeight - 1 -
                       static_cast<int>(std::floor(host->clientHeight - lens->y - lens->width - 1.0f));
    // A line on a pixel edge lights the row on one side of it.
    const Rgb grey{224, 224, 224};
    const int fx = static_cast<int>(lens->x) + 10;
    EXPECT_TRUE(Near(PixelAt(host, fx, frameY), grey, 1) || Near(PixelAt(host, fx, frameY + 1), grey, 1))
        << PixelAt(host, fx, frameY) << " " << PixelAt(host, fx, frameY + 1);
}

TEST_F(LensOnServer, NearTheRightAndBottomEdgesTheSquareStaysInsideTheCell) {
    PointAt(297, 198);
    Paint();
    const int n = static_cast<int>(ws->lens.size);
    for (int j = 0; j < n; j += 3) {
        for (int i = 0; i < n; i += 3) {
            if (OnCrossHair(i, j)) continue;
            int wx, wy, sx, sy;
            BlockCentre(i, j, &wx, &wy);
            Sampled(297, 198, i, j, &sx, &sy);
            ASSERT_LT(sx, 300);
            ASSERT_LT(sy, 200);
            EXPECT_TRUE(RgbNear(PixelAt(host, wx, wy), PatternAt(sx, sy), 0)) << i << "," << j;
        }
    }
    // Near the top left the square starts at the corner.
    PointAt(2, 3);
    Paint();
    int wx, wy;
    BlockCentre(0, n - 1, &wx, &wy);
    EXPECT_TRUE(RgbNear(PixelAt(host, wx, wy), PatternAt(0, 0), 0));
}

TEST_F(LensOnServer, WithoutADeviceTheLensIsBlackAndOffItIsNotDrawn) {
    cell->currentDevice = nullptr;
    Paint();
    int wx, wy;
    BlockCentre(1, 1, &wx, &wy);
    EXPECT_TRUE(RgbNear(PixelAt(host, wx, wy), Rgb{0, 0, 0}, 0));
    ws->lens.on = 0;
    Paint();
    EXPECT_TRUE(RgbNear(PixelAt(host, wx, wy), Background(host)));
    cell->currentDevice = device;
}

// ---- Keys through the server --------------------------------------------------------------

struct KeyTally {
    int itemsClosed = 0, dataClosed = 0;
    bool projects = true;
};
KeyTally& Keys() {
    static KeyTally tally;
    return tally;
}

class KeysOnServer : public CellOnServer {
protected:
    void SetUp() override {
        CellOnServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Keys() = KeyTally{};
        WorkspaceShellHooks& h = TheWorkspaceShellHooks();
        h.hasProjects = [] { return Keys().projects; };
        h.closeCurrentItem = [] { ++Keys().itemsClosed; };
        h.closeData = [] { ++Keys().dataClosed; };
        FocusWindow(host);
        FakeMotionIn(host, 100, 100);
    }
    void Press(KeySym modifier, KeySym key) {
        if (modifier != 0) FakeKey(modifier, true);
        FakeKey(key, true);
        FakeKey(key, false);
        if (modifier != 0) FakeKey(modifier, false);
        PumpFor(80);
    }
};

TEST_F(KeysOnServer, CtrlWClosesTheItemAltWTheDataAndWithoutProjectsNothing) {
    Press(XK_Control_L, XK_w);
    EXPECT_EQ(Keys().itemsClosed, 1);
    EXPECT_EQ(Keys().dataClosed, 0);
    Press(XK_Alt_L, XK_w);
    EXPECT_EQ(Keys().dataClosed, 1);
    EXPECT_EQ(Keys().itemsClosed, 1);
    Keys().projects = false;
    Press(XK_Control_L, XK_w);
    Press(XK_Alt_L, XK_w);
    EXPECT_EQ(Keys().itemsClosed, 1);
    EXPECT_EQ(Keys().dataClosed, 1);
}

TEST_F(KeysOnServer, PlusMinusAndBackslashToggleTheScalesAndRepaint) {
    const ScaleRecord& h = cell->rulers.horizontal;
    const ScaleRecord& v = cell->rulers.vertical;
    uint32_t before = AfterPaints;
    Press(0, XK_equal);
    EXPECT_NE(h.flags & 2, 0u);
    EXPECT_NE(v.flags & 2, 0u);
    EXPECT_GT(AfterPaints, before);
    before = AfterPaints;
    Press(0, XK_equal);
    EXPECT_EQ(h.flags & 2, 0u);
    EXPECT_EQ(v.flags & 2, 0u);
    EXPECT_GT(AfterPaints, before);
    Press(0, XK_minus);
    EXPECT_EQ(h.flags & 2, 0u);
    EXPECT_NE(v.flags & 2, 0u);
    before = AfterPaints;
    Press(0, XK_backslash);
    EXPECT_NE(h.flags & 2, 0u);
    EXPECT_NE(v.flags & 2, 0u);
    EXPECT_GT(AfterPaints, before);
    Press(0, XK_equal);  // both had it: both lose it
    EXPECT_EQ(h.flags & 2, 0u);
    EXPECT_EQ(v.flags & 2, 0u);
}

TEST_F(KeysOnServer, RulerMarkersFollowThePointer) {
    const float rect[4] = {20, 30, 300, 200};
    ASSERT_TRUE(RulersAttach(&cell->rulers, host, rect, graphics));
    ASSERT_NE(cell->rulers.widgetH, nullptr);
    ASSERT_NE(cell->rulers.widgetV, nullptr);
    EXPECT_FLOAT_EQ(cell->rulers.widgetH->y, 30.0f);
    EXPECT_FLOAT_EQ(cell->rulers.widgetV->y, 45.0f);
    EXPECT_FLOAT_EQ(cell->rulers.widgetV->width, 41.0f);
    // Alt over the horizontal ruler: markerX from the vertical ruler's right edge.
    EXPECT_EQ(RulerMarkerFromPoint(&cell->rulers, false, 100.4f, 35.0f, true), 1);
    EXPECT_EQ(cell->rulers.markerX, 100 - (20 + 41));
    EXPECT_EQ(cell->rulers.markerY, -1);
    // Over the vertical ruler: markerY from the horizontal ruler's bottom edge.
    EXPECT_EQ(RulerMarkerFromPoint(&cell->rulers, true, 25.0f, 120.6f, true), 2);
    EXPECT_EQ(cell->rulers.markerY, 121 - (30 + 15));
    EXPECT_EQ(cell->rulers.markerX, -1);
    // The pointer over the horizontal ruler through the server moves the marker; the
    // shown rulers take their room from the plot area.
    ASSERT_EQ(SetRulersShown(cell, true), 2);
    cell->Relayout();
    EXPECT_FLOAT_EQ(cell->widget->x, 61.0f);
    EXPECT_FLOAT_EQ(cell->widget->y, 45.0f);
    EXPECT_FLOAT_EQ(cell->widget->width, 259.0f);
    EXPECT_FLOAT_EQ(cell->widget->height, 185.0f);
    FocusWindow(host);
    cell->rulers.markerX = cell->rulers.markerY = -7;
    FakeMotionIn(host, 150, 36, 20);
    PumpUntil([&] { return cell->rulers.markerY != -7; }, 1500);
    EXPECT_EQ(cell->rulers.markerY, 36 - (30 + 15));  // above the ruler's bottom edge
    EXPECT_EQ(cell->rulers.markerX, -1);
    HideRulers(cell);
    EXPECT_EQ(cell->rulers.widgetH->shown, 0);
    EXPECT_EQ(cell->rulers.target, nullptr);
}

}  // namespace
}  // namespace orva
