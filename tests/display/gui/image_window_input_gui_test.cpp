// The image window's mouse and keys through the X server: the real device on a pattern
// source, a fake cell whose view is a widget of a GL window, and a recording shape
// container. The pointer moved by xdotool reaches the readout; the keys move the X
// pointer; presses and releases through XTest place a Rect; Space shows the move cursor;
// the drag feedback is drawn where the pointer is, with the cell's offsets.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "app/image_window.h"
#include "display/display_fixture.h"
#include "framework/display_lock.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/input.h"

namespace orva {
namespace {

using namespace testing_util;
using display_test::ImageChain;
using display_test::InstallRecorder;
using display_test::Recorder;
using display_test::ServicesScope;

// The frame behind the readout: value 10 y + x at (x, y), one channel.
std::vector<double> gInputValues;
bool ServeInputValues(ComponentBase*, ReadoutFrame* out) {
    out->values = gInputValues.data();
    out->width = 200;
    out->height = 100;
    out->channels = 1;
    out->format = 0x40;
    return true;
}

// The X pointer on the screen.
platform::Point XPointer() {
    ::Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(XDisplay(), DefaultRootWindow(XDisplay()), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return platform::Point{rx, ry};
}

class ImageInputGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window_ = InitWithFrame(0, 0, 700, 560, kStyleMain);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(OpenShown(window_, "Image window input"));
        gSetUiReady(true);
        InstallRecorder(&rec_);
        gInputValues.resize(200 * 100);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 200; ++x) gInputValues[static_cast<size_t>(y * 200 + x)] = 10.0 * y + x;
        TheGraphicsHostServices().readoutFrame = &ServeInputValues;
        // The toolkit's own modifiers, as the user holds them.
        TheGraphicsHostServices().modifiersNow = nullptr;
    }
    void TearDown() override {
        chain_.reset();
        display_test::gRec = nullptr;
        if (window_ == nullptr) return;
        gSetUiReady(false);
        CloseToolkit();
    }
    // A 200 x 100 frame in a view of 400 x 300 at (20, 30) of the window.
    void Make() {
        chain_ = std::make_unique<ImageChain>(200, 100, 3, 400, 300);
        GraphicsHost& h = chain_->cell->host;
        h.window = window_;
        view_ = AddBox(window_, 400, 300, nullptr);
        ASSERT_NE(view_, nullptr);
        PutBox(view_, 20, 30, 400, 300);
        h.view = view_;
        h.shapes = &rec_;
        chain_->window->AttachHost();
        ASSERT_TRUE(chain_->device->Deliver());
        PaintWindow(window_);
        platform::SwapBuffers(window_->hdc);
        FocusWindow(window_);
        FakeMotion(1270, 1010);  // from outside the window, whatever the last test left
    }
    // The pointer onto a view pixel, through the server; the hover timer makes the view
    // the hot widget.
    void HoverAt(int x, int y) {
        FakeMotionIn(window_, 20 + x + 5, 30 + y + 5);
        PumpUntil([&] { return view_->highlight != 0; }, 2000);
        FakeMotionIn(window_, 20 + x, 30 + y);
    }
    // The cell's painting: the model-view at the view's corner moved by the offsets.
    void Paint() {
        ASSERT_TRUE(gWinMakeCurrent(window_));
        glViewport(0, 0, window_->clientWidth, window_->clientHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, window_->clientWidth, window_->clientHeight, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_BLEND);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        GraphicsHost& h = chain_->cell->host;
        glTranslatef(20.0f + static_cast<float>(h.offsetX), 30.0f + static_cast<float>(h.offsetY), 0.0f);
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        chain_->window->draw(chain_->window);
    }

    gWindow* window_ = nullptr;
    gElement* view_ = nullptr;
    ServicesScope services_;
    Recorder rec_;
    std::unique_ptr<ImageChain> chain_;
};

// One smoke test through the X server: xdotool moves the pointer over the cell and the
// readout gets that pixel's value.
TEST_F(ImageInputGlTest, XdotoolMovesThePointerOverTheCell) {
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xdotool";
    Make();
    chain_->cell->host.offsetX = 3;
    chain_->cell->host.offsetY = 2;
    HoverAt(60, 40);
    ASSERT_NE(view_->highlight, 0);
    // View pixel (40, 25) less the offsets: frame pixel (37, 23).
    platform::Point at{20 + 40, 30 + 25};
    platform::ClientToScreen(window_->hwnd, &at);
    const std::string command = "xdotool mousemove --sync " + std::to_string(at.x) + " " + std::to_string(at.y);
    ASSERT_EQ(std::system(command.c_str()), 0);
    const int updates = chain_->cell->readoutUpdates;
    PumpUntil([&] { return chain_->window->readout.values[0] == 10.0 * 23 + 37; }, 2000);
    EXPECT_EQ(chain_->window->readout.values[0], 10.0 * 23 + 37);
    EXPECT_FLOAT_EQ(chain_->window->pointerX, 37.5f);
    EXPECT_FLOAT_EQ(chain_->window->pointerY, 23.5f);
    EXPECT_GT(chain_->cell->readoutUpdates, updates);
}

// The pointer keys move the X pointer with the window's pointer, over the view only.
TEST_F(ImageInputGlTest, PointerKeysMoveTheXPointer) {
    Make();
    HoverAt(50, 40);
    const platform::Point before = XPointer();
    EXPECT_FLOAT_EQ(chain_->window->pointerX, 50.5f);
    EXPECT_EQ(chain_->window->OnKeyDown(kKeyRight | kKeyCtrlL, 0), 1);
    EXPECT_EQ(chain_->window->OnKeyDown(kKeyDown, 2), 1);
    PumpFor(60);
    const platform::Point after = XPointer();
    EXPECT_EQ(after.x, before.x + 10);
    EXPECT_EQ(after.y, before.y + 3);
    EXPECT_FLOAT_EQ(chain_->window->pointerX, 60.5f);
    EXPECT_FLOAT_EQ(chain_->window->pointerY, 43.5f);
    EXPECT_EQ(chain_->window->readout.values[0], 10.0 * 43 + 60);
    // With the X pointer elsewhere, the keys move only the window's pointer.
    FakeMotion(1270, 1010);
    chain_->window->OnKeyDown(kKeyLeft, 4);
    PumpFor(60);
    EXPECT_EQ(XPointer().x, 1270);
    EXPECT_FLOAT_EQ(chain_->window->pointerX, 55.5f);
}

// F7, then two clicks through the server: one Rect, from the first press to the second.
TEST_F(ImageInputGlTest, TwoClicksThroughTheServerPlaceARect) {
    Make();
    HoverAt(30, 20);
    EXPECT_EQ(chain_->window->OnKeyDown(KeyF(7), 0), 1);
    EXPECT_EQ(view_->cursor, platform::LoadCursor(kImageCursorPlacing));
    FakeButton(true);
    PumpFor(60);
    FakeButton(false);
    PumpFor(60);
    EXPECT_EQ(chain_->cell->host.drag.state, 1);
    EXPECT_TRUE(rec_.kinds.empty());
    FakeMotionIn(window_, 20 + 120, 30 + 70);
    EXPECT_FLOAT_EQ(chain_->cell->host.drag.x, 120.5f);
    FakeButton(true);
    PumpFor(60);
    FakeButton(false);
    PumpFor(60);
    ASSERT_EQ(rec_.kinds, (std::vector<int32_t>{kPlaceRect}));
    EXPECT_EQ(rec_.rects[0], (std::vector<float>{30.5f, 20.5f, 120.5f, 70.5f}));
    EXPECT_EQ(chain_->cell->host.toolActive, 0);
    EXPECT_EQ(view_->cursor, platform::LoadCursor(kImageCursorView));
}

// Space over the view shows the move cursor on the X window; its release the view's own.
TEST_F(ImageInputGlTest, SpaceShowsTheMoveCursor) {
    Make();
    HoverAt(30, 20);
    ASSERT_EQ(gHotWidget, view_);
    EXPECT_EQ(chain_->window->OnKeyDown(' ', 0), 1);
    EXPECT_EQ(platform::GetCursor(), platform::LoadCursor(kImageCursorMove));
    EXPECT_EQ(rec_.statusText, kMoveModeText);
    // A drag with the button held moves the cell's view.
    FakeButton(true);
    FakeMotionIn(window_, 20 + 45, 30 + 28);
    FakeButton(false);
    PumpFor(60);
    EXPECT_EQ(chain_->cell->host.offsetX, 15);
    EXPECT_EQ(chain_->cell->host.offsetY, 8);
    EXPECT_TRUE(chain_->window->OnKeyUp(' '));
    EXPECT_EQ(platform::GetCursor(), platform::LoadCursor(kImageCursorView));
    EXPECT_EQ(rec_.statusCode, 0);
}

// The drag feedback of a Rect and the cursor mark are drawn at the pointer's points, the
// cell's offsets included.
TEST_F(ImageInputGlTest, DragFeedbackFollowsThePointerWithTheOffsets) {
    Make();
    GraphicsHost& h = chain_->cell->host;
    // Right of the 200 x 100 frame the view is black, where the inverting colours show
    // plainly.
    h.offsetX = 15;
    h.offsetY = 5;
    h.toolActive = 1;
    h.toolKind = kPlaceRect;
    h.drag = GraphicsDrag{kPlaceRect, 240.5f, 130.5f, 340.5f, 190.5f, 1};  // pointer points lie mid-pixel
    Paint();
    const Rgb feedback{255, 255, 153};  // (1.0, 1.0, 0.6) over black
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 290, 30 + 5 + 130), feedback, 3));    // top edge
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 240, 30 + 5 + 160), feedback, 3));    // left edge
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 290, 30 + 5 + 160), Rgb{0, 0, 0}, 3));  // inside
    // Without a drag state nothing is drawn.
    h.drag.state = 0;
    Paint();
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 290, 30 + 5 + 130), Rgb{0, 0, 0}, 3));
    // The cursor mark: the cross at the pointer.
    h.drag = GraphicsDrag{};
    chain_->window->pointerX = 300.5f;
    chain_->window->pointerY = 150.5f;
    chain_->window->cursorMarkShown = 1;
    Paint();
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 295, 30 + 5 + 150), Rgb{255, 255, 255}, 3));
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 300, 30 + 5 + 145), Rgb{255, 255, 255}, 3));
    EXPECT_TRUE(RgbNear(PixelAt(window_, 20 + 15 + 295, 30 + 5 + 145), Rgb{0, 0, 0}, 3));
}

}  // namespace
}  // namespace orva
