// The image window on a real GL window under the X server: its draw callback keeps the
// frame in view and draws it; the frame goes into a texture view unless frame playback
// feeds the cell; a failed region request clears the values of the statistics list.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <mutex>

#include "app/image_window.h"
#include "display/display_fixture.h"
#include "framework/display_lock.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/list_control.h"
#include "toolkit/texture_view.h"

namespace orva {
namespace {

using namespace testing_util;
using display_test::ImageChain;
using display_test::Sample;
using display_test::ServicesScope;

class ImageWindowGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window_ = InitWithFrame(0, 0, 700, 560, kStyleMain);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(OpenShown(window_, "Image window"));
        gSetUiReady(true);
    }
    void TearDown() override {
        if (window_ == nullptr) return;
        gSetUiReady(false);
        CloseToolkit();
    }
    std::unique_ptr<ImageChain> MakeChain(int64_t width, int64_t height) {
        auto chain = std::make_unique<ImageChain>(width, height, 3, 600, 500);
        chain->cell->host.window = window_;
        return chain;
    }
    // The cell's painting: the model-view at the view's corner moved by the offsets.
    void Paint(GraphicsWindow* w) {
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
        GraphicsHost* h = w->Host();
        glTranslatef(static_cast<float>(h->offsetX), static_cast<float>(h->offsetY), 0.0f);
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        w->draw(w);
    }

    gWindow* window_ = nullptr;
    ServicesScope services_;
};

TEST_F(ImageWindowGlTest, DrawKeepsTheFrameInView) {
    auto chain = MakeChain(300, 200);
    ASSERT_TRUE(chain->device->Deliver());
    // The cell's view was dragged far to the right: the draw brings the frame back so
    // that its last column shows in the view's last column.
    chain->cell->host.offsetX = 10000;
    Paint(chain->window);
    EXPECT_EQ(chain->cell->host.offsetX, 599);
    EXPECT_EQ(PixelAt(window_, 599, 10), (Rgb{Sample(0, 10, 0), Sample(0, 10, 1), Sample(0, 10, 2)}));
    EXPECT_EQ(PixelAt(window_, 598, 10), (Rgb{0, 0, 0}));
    // Far to the left and up: the frame's last pixel stays in the first column and row.
    chain->cell->host.offsetX = -10000;
    chain->cell->host.offsetY = -10000;
    Paint(chain->window);
    EXPECT_EQ(PixelAt(window_, 0, 0), (Rgb{Sample(299, 199, 0), Sample(299, 199, 1), Sample(299, 199, 2)}));
    EXPECT_EQ(PixelAt(window_, 1, 0), (Rgb{0, 0, 0}));
}

TEST_F(ImageWindowGlTest, FrameIntoTextureViewUnlessPlaybackFeedsTheCell) {
    auto chain = MakeChain(320, 240);
    ASSERT_TRUE(chain->device->Deliver());
    TextureView view;
    ASSERT_NE(view.Create(window_, TextureViewRect{10, 10, 160, 120}, chain->window), nullptr);
    chain->source->answer = [](int32_t, WindowRequest*) { return true; };
    chain->cell->playerFeeds = true;
    EXPECT_TRUE(chain->window->RenderToTextureView(&view));
    EXPECT_EQ(view.image.count, 0u);  // nothing converted
    chain->cell->playerFeeds = false;
    EXPECT_TRUE(chain->window->RenderToTextureView(&view));
    EXPECT_EQ(view.image.count, 1u);
    EXPECT_EQ(view.image.width, 320);
    // The consumer has no frame and the device may not render: the content goes.
    chain->device->frameFlags[0] = 0;
    chain->source->answer = [](int32_t, WindowRequest*) { return false; };
    window_->dirty = 0;
    EXPECT_FALSE(chain->window->RenderToTextureView(&view));
    EXPECT_EQ(view.image.count, 0u);
    EXPECT_EQ(window_->dirty, 7u);
    chain->source->answer = nullptr;
    view.Close();
}

TEST_F(ImageWindowGlTest, FailedRegionRequestClearsTheListValues) {
    auto chain = MakeChain(64, 64);
    static const float widths[2] = {60, 110};
    ListCtrlLayout layout{.width = 170, .columnCount = 2, .columnWidths = widths};
    gElement* list = ListCtrl::Create(window_, nullptr, 3, &layout, 0, false, nullptr);
    ASSERT_NE(list, nullptr);
    const char* names[2] = {"Mean", "Sigma"};
    const char* values[2] = {"1.5", "0.25"};
    ListCtrl* l = ListCtrl::FromWidget(list);
    ASSERT_TRUE(ListCtrl::FillRows(l, 0, names, 2));
    ASSERT_TRUE(ListCtrl::FillRows(l, 1, values, 2));
    chain->cell->host.statistics = list;
    chain->cell->host.statisticsShown = 1;
    chain->window->RefreshStatisticsList();  // the consumer answers no to code 130
    EXPECT_EQ(chain->source->messages.back(), kRequestRegionStatistics);
    EXPECT_EQ(chain->cell->host.statisticsShown, 0);
    EXPECT_TRUE(l->rows[0].cells[1].text.empty());
    EXPECT_TRUE(l->rows[1].cells[1].text.empty());
    EXPECT_EQ(l->rows[1].cells[0].text, "Sigma");
}

// The frame behind the pointer readout: value 10 y + x at (x, y), one channel.
std::vector<double> gValues;
bool ServeValues(ComponentBase*, ReadoutFrame* out) {
    out->values = gValues.data();
    out->width = 64;
    out->height = 48;
    out->channels = 1;
    out->format = 0x40;
    return true;
}

TEST_F(ImageWindowGlTest, PointerMovesThroughTheServerReachTheReadout) {
    auto chain = MakeChain(64, 48);
    gValues.resize(64 * 48);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) gValues[static_cast<size_t>(y * 64 + x)] = 10.0 * y + x;
    TheGraphicsHostServices().readoutFrame = &ServeValues;
    gElement* view = AddBox(window_, 400, 300, nullptr);
    ASSERT_NE(view, nullptr);
    PutBox(view, 20, 30, 400, 300);
    chain->cell->host.view = view;
    chain->window->AttachHost();
    EXPECT_TRUE(chain->window->IsTracking());
    EXPECT_EQ(view->cursor, platform::LoadCursor(106));
    EXPECT_EQ(view->style & 0x30200800u, 0x30200800u);
    PaintWindow(window_);
    platform::SwapBuffers(window_->hdc);
    // Onto the view, then to the view pixel (7, 4): the pointer stands in its middle,
    // over frame pixel (7, 4).
    FocusWindow(window_);     // an active window runs the toolkit's hover timer
    FakeMotion(1270, 1010);  // from outside the window, whatever the last test left
    FakeMotionIn(window_, 20 + 30, 30 + 30);
    // The toolkit's hover timer makes the view the hot widget.
    PumpUntil([&] { return view->highlight != 0; }, 2000);
    ASSERT_NE(view->highlight, 0);
    FakeMotionIn(window_, 20 + 7, 30 + 4);
    EXPECT_FLOAT_EQ(chain->window->pointerX, 7.5f);
    EXPECT_FLOAT_EQ(chain->window->pointerY, 4.5f);
    EXPECT_EQ(chain->window->readout.values[0], 47.0);
    EXPECT_GE(chain->cell->readoutUpdates, 1);
    // A second window on the view takes the tracking over.
    Image2DWindow* other = new Image2DWindow(chain->cell);
    other->AttachHost();
    EXPECT_FALSE(chain->window->IsTracking());
    EXPECT_TRUE(other->IsTracking());
    other->Release();
    chain->window->AttachHost();
    EXPECT_TRUE(chain->window->IsTracking());
}

}  // namespace
}  // namespace orva
