// The 2-D output device on a real GL window under the X server: frames pulled from a
// pattern producer, uploaded into the texture mosaic and drawn by the window's draw
// routine, read back from the back buffer before any swap and compared with the
// source; the marks; the immediate repaint of event 18; deliveries from a second thread.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "app/graphics_window.h"
#include "app/image_device.h"
#include "app/wait_cursor.h"
#include "display/display_fixture.h"
#include "framework/display_lock.h"
#include "toolkit/gl_test_support.h"

namespace orva {
namespace {

using namespace testing_util;
using display_test::Chain;
using display_test::Sample;
using display_test::ServicesScope;

constexpr int kDeviceHostWidth = 900;
constexpr int kDeviceHostHeight = 706;

class ImageDeviceGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        limits_ = gTextureLimits();
        window_ = InitWithFrame(0, 0, kDeviceHostWidth + 40, kDeviceHostHeight + 60, kStyleMain);
        ASSERT_NE(window_, nullptr);
        ASSERT_TRUE(OpenShown(window_, "Image device"));
        ASSERT_GE(window_->clientWidth, kDeviceHostWidth);
        ASSERT_GE(window_->clientHeight, kDeviceHostHeight);
        // Tiles of 512 pixels: the views below cross several seams.
        gTextureLimits().rgb8 = 512;
    }
    void TearDown() override {
        if (window_ == nullptr) return;
        gTextureLimits() = limits_;
        CloseToolkit();
    }
    // A chain whose cell shows its picture in the test window.
    std::unique_ptr<Chain> MakeChain(int64_t width, int64_t height, uint32_t channels = 3) {
        auto chain = std::make_unique<Chain>(width, height, channels, kDeviceHostWidth, kDeviceHostHeight);
        chain->cell->host.window = window_;
        chain->window->draw = &DrawImageWindow;
        return chain;
    }
    // Clears to `background` and draws the window's picture; the model-view is at the
    // client area's top-left corner, y down.
    void Draw(GraphicsWindow* w, float r = 0.0f, float g = 0.0f, float b = 0.0f) {
        ASSERT_TRUE(gWinMakeCurrent(window_));
        glViewport(0, 0, window_->clientWidth, window_->clientHeight);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, window_->clientWidth, window_->clientHeight, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_BLEND);
        glDisable(GL_DITHER);
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        w->draw(w);
        ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    // The drawn host area, rows top first, 3 bytes a pixel.
    std::vector<uint8_t> HostPixels() {
        std::vector<uint8_t> all = ReadBack(window_);
        std::vector<uint8_t> out(static_cast<size_t>(kDeviceHostWidth) * kDeviceHostHeight * 3);
        for (int y = 0; y < kDeviceHostHeight; ++y) {
            const size_t from = (static_cast<size_t>(window_->clientHeight - 1 - y) * window_->clientWidth) * 3;
            std::copy_n(all.begin() + static_cast<ptrdiff_t>(from), kDeviceHostWidth * 3,
                        out.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(y) * kDeviceHostWidth * 3));
        }
        return out;
    }
    static Rgb At(const std::vector<uint8_t>& p, int x, int y) {
        const size_t i = (static_cast<size_t>(y) * kDeviceHostWidth + x) * 3;
        return {p[i], p[i + 1], p[i + 2]};
    }

    gWindow* window_ = nullptr;
    gTextureSizeLimits limits_;
    ServicesScope services_;
};

// Every host pixel shows frame pixel ((x - ox) / zoom, (y - oy) / zoom) as `want` says.
template <typename Want>
int CountMismatches(const std::vector<uint8_t>& pixels, Want want) {
    int bad = 0;
    for (int y = 0; y < kDeviceHostHeight; ++y)
        for (int x = 0; x < kDeviceHostWidth; ++x) {
            const size_t i = (static_cast<size_t>(y) * kDeviceHostWidth + x) * 3;
            const Rgb got{pixels[i], pixels[i + 1], pixels[i + 2]};
            const Rgb w = want(x, y);
            if (!(got == w) && bad++ < 5) ADD_FAILURE() << "at " << x << "," << y << " got " << got << " want " << w;
        }
    return bad;
}

Rgb PatternAt(int64_t x, int64_t y) { return {Sample(x, y, 0), Sample(x, y, 1), Sample(x, y, 2)}; }

TEST_F(ImageDeviceGlTest, ZoomOneShowsTheSourceAcrossTileSeams) {
    auto chain = MakeChain(4096, 4096);
    // Scrolled into the frame so that the view crosses seams of the pulled area.
    Image2DDevice* d = chain->device;
    d->view.offsetX = d->view.roundedX = -1300.0;
    d->view.offsetY = d->view.roundedY = -2000.0;
    ViewRecompute(&d->view);
    ASSERT_TRUE(d->Deliver());
    ASSERT_TRUE(d->HasTexture());
    EXPECT_GT(d->texture.count, 4u);
    Draw(chain->window);
    const std::vector<uint8_t> p = HostPixels();
    EXPECT_EQ(CountMismatches(p, [](int x, int y) { return PatternAt(x + 1300, y + 2000); }), 0);
    // The seams of the 512-pixel tiles lie at area columns 512 and 1024.
    const int64_t seam = d->drawnArea.x + 512 - 1300;
    ASSERT_GT(seam, 0);
    ASSERT_LT(seam, kDeviceHostWidth - 1);
    EXPECT_EQ(At(p, static_cast<int>(seam) - 1, 300), PatternAt(1300 + seam - 1, 2300));
    EXPECT_EQ(At(p, static_cast<int>(seam), 300), PatternAt(1300 + seam, 2300));
}

TEST_F(ImageDeviceGlTest, FourChannelFramesArePackedToRgb) {
    auto chain = MakeChain(700, 500, 4);
    ASSERT_TRUE(chain->device->Deliver());
    Draw(chain->window, 0.0f, 0.0f, 1.0f);
    const std::vector<uint8_t> p = HostPixels();
    EXPECT_EQ(CountMismatches(p, [](int x, int y) {
                  return x < 700 && y < 500 ? PatternAt(x, y) : Rgb{0, 0, 255};
              }),
              0);
}

TEST_F(ImageDeviceGlTest, ZoomEightOnARamp) {
    auto chain = MakeChain(4, 4);
    chain->source->Fill([](int64_t x, int64_t y, uint32_t c) {
        return static_cast<uint8_t>(c == 0 ? 16 * x + 3 : c == 1 ? 16 * y + 5 : 64 * x + 16 * y);
    });
    Image2DDevice* d = chain->device;
    ASSERT_TRUE(d->SetZoom2(8.0, 8.0));
    d->view.offsetX = d->view.roundedX = 100.0;
    d->view.offsetY = d->view.roundedY = 60.0;
    ViewRecompute(&d->view);
    ASSERT_TRUE(d->Deliver());
    Draw(chain->window);
    const std::vector<uint8_t> p = HostPixels();
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            const Rgb want{16 * i + 3, 16 * j + 5, 64 * i + 16 * j};
            EXPECT_EQ(At(p, 100 + 8 * i + 4, 60 + 8 * j + 4), want) << i << "," << j;
            EXPECT_EQ(At(p, 100 + 8 * i, 60 + 8 * j), want) << i << "," << j;
            EXPECT_EQ(At(p, 100 + 8 * i + 7, 60 + 8 * j + 7), want) << i << "," << j;
        }
    EXPECT_EQ(At(p, 99, 70), (Rgb{0, 0, 0}));
    EXPECT_EQ(At(p, 132, 70), (Rgb{0, 0, 0}));
}

TEST_F(ImageDeviceGlTest, QuarterZoomOnBlocks) {
    // The mosaic holds 16 tiles: 1024-pixel tiles cover the 4096-pixel area.
    gTextureLimits().rgb8 = 1024;
    auto chain = MakeChain(4096, 4096);
    // 8 x 8 blocks of one colour each.
    chain->source->Fill([](int64_t x, int64_t y, uint32_t c) {
        const int64_t bx = x / 8, by = y / 8;
        return static_cast<uint8_t>(c == 0 ? bx * 7 : c == 1 ? by * 5 : (bx + by) * 3);
    });
    Image2DDevice* d = chain->device;
    ASSERT_TRUE(d->SetZoom2(0.25, 0.25));
    d->view.offsetX = d->view.roundedX = -17.0;
    d->view.offsetY = d->view.roundedY = -3.0;
    ViewRecompute(&d->view);
    // Above a million pixels the wait cursor shows during the pull and the upload; the
    // cursor before it comes back.
    const unsigned waits = WaitCursorShownCount();
    const platform::Cursor before = platform::GetCursor();
    ASSERT_TRUE(d->Deliver());
    EXPECT_EQ(WaitCursorShownCount(), waits + 2);
    EXPECT_EQ(platform::GetCursor(), before);
    Draw(chain->window);
    // Screen pixel x shows frame column 4 (x + 17) + 2, in block (4 (x + 17) + 2) / 8.
    EXPECT_EQ(CountMismatches(HostPixels(),
                              [](int x, int y) {
                                  const int64_t bx = (4 * (x + 17) + 2) / 8, by = (4 * (y + 3) + 2) / 8;
                                  return Rgb{static_cast<uint8_t>(bx * 7), static_cast<uint8_t>(by * 5),
                                             static_cast<uint8_t>((bx + by) * 3)};
                              }),
              0);
}

TEST_F(ImageDeviceGlTest, ScrollInsideTheBandRedrawsWithoutPull) {
    auto chain = MakeChain(4096, 4096);
    Image2DDevice* d = chain->device;
    ASSERT_TRUE(d->Deliver());
    EXPECT_EQ(chain->source->pulls.load(), 1);
    const uint32_t tile = d->texture.tiles[0].texture;
    const uint64_t uploads = d->uploads;
    // Two deliveries without new data: code 2, the texture untouched.
    ASSERT_TRUE(d->Deliver());
    ASSERT_TRUE(d->Deliver());
    EXPECT_EQ(d->lastPullCode, 2);
    EXPECT_EQ(d->texture.tiles[0].texture, tile);
    EXPECT_EQ(d->uploads, uploads);
    EXPECT_EQ(chain->source->pulls.load(), 1);
    // 10 pixels to the left: still inside the band; the picture follows.
    d->view.offsetX = d->view.roundedX = -10.0;
    ViewRecompute(&d->view);
    ASSERT_TRUE(d->Deliver());
    EXPECT_EQ(d->lastPullCode, 2);
    EXPECT_EQ(chain->source->pulls.load(), 1);
    Draw(chain->window);
    EXPECT_EQ(CountMismatches(HostPixels(), [](int x, int y) { return PatternAt(x + 10, y); }), 0);
    // Past the band: one pull.
    d->view.offsetX = d->view.roundedX = -400.0;
    ViewRecompute(&d->view);
    ASSERT_TRUE(d->Deliver());
    EXPECT_EQ(chain->source->pulls.load(), 2);
    Draw(chain->window);
    EXPECT_EQ(CountMismatches(HostPixels(), [](int x, int y) { return PatternAt(x + 400, y); }), 0);
}

TEST_F(ImageDeviceGlTest, OriginMarkInvertsTheBackground) {
    auto chain = MakeChain(64, 64);
    chain->source->frames = 0;  // no frame: the mark alone over the background
    Image2DDevice* d = chain->device;
    d->view.offsetX = d->view.roundedX = 300.0;
    d->view.offsetY = d->view.roundedY = 200.0;
    ViewRecompute(&d->view);
    chain->window->originMark = 1;
    Draw(chain->window, 0.2f, 0.4f, 0.6f);
    const std::vector<uint8_t> p = HostPixels();
    // (1, 0.3, 0.3) x (1 - background).
    const Rgb inverted{204, 46, 31};
    const Rgb background{51, 102, 153};
    // A segment's pixel lies on the mark's axis or the pixel before it.
    auto marked = [&](int x, int y, bool vertical) {
        const Rgb a = At(p, x, y), b = vertical ? At(p, x - 1, y) : At(p, x, y - 1);
        return Near(a, inverted) || Near(b, inverted);
    };
    EXPECT_TRUE(marked(300, 200 - 8, true)) << "up";
    EXPECT_TRUE(marked(300, 200 + 6, true)) << "down";
    EXPECT_TRUE(marked(300 - 6, 200, false)) << "left";
    EXPECT_TRUE(marked(300 + 8, 200, false)) << "right";
    EXPECT_TRUE(Near(At(p, 300 + 30, 200 + 30), background));
    // The circle of radius 10.
    int circle = 0;
    for (int y = 185; y <= 215; ++y)
        for (int x = 285; x <= 315; ++x) {
            const int dx = x - 300, dy = y - 200;
            if (dx * dx + dy * dy >= 81 && dx * dx + dy * dy <= 121 && Near(At(p, x, y), inverted)) ++circle;
        }
    EXPECT_GT(circle, 30);
    // The list is built once and kept.
    const uint32_t list = chain->window->markList;
    EXPECT_NE(list, 0u);
    Draw(chain->window, 0.2f, 0.4f, 0.6f);
    EXPECT_EQ(chain->window->markList, list);
    glDeleteLists(list, 1);
}

int gPaints = 0;
void CountPaint(gWindow*, void*) { ++gPaints; }

TEST_F(ImageDeviceGlTest, EventEighteenPaintsOnlyAtLevelSevenWhenShown) {
    auto chain = MakeChain(64, 64);
    gWinSetAfterPaint(window_, &CountPaint, nullptr);
    gPaints = 0;
    chain->device->OnEvent(kDeviceEventPaint, 3);
    EXPECT_EQ(gPaints, 0);
    const uint32_t state = window_->state;
    window_->state |= kStateMinimised;  // one of 0x199C
    window_->dirty = 0;
    chain->device->OnEvent(kDeviceEventPaint, 7);
    EXPECT_EQ(gPaints, 0);
    EXPECT_EQ(window_->dirty, 7u);
    window_->state = state;
    chain->device->OnEvent(kDeviceEventPaint, 7);
    EXPECT_EQ(gPaints, 1);
    EXPECT_EQ(window_->dirty, 0u);
    gWinSetAfterPaint(window_, nullptr, nullptr);
}

TEST_F(ImageDeviceGlTest, ReleaseImageFreesTheTiles) {
    auto chain = MakeChain(2000, 1000);
    ASSERT_TRUE(chain->device->Deliver());
    ASSERT_TRUE(chain->device->HasTexture());
    window_->dirty = 0;
    chain->device->ReleaseImage();
    EXPECT_FALSE(chain->device->HasTexture());
    EXPECT_EQ(window_->dirty, 7u);
    // A frame that left the view frees the texture on the next delivery.
    ASSERT_TRUE(chain->device->Deliver());
    ASSERT_TRUE(chain->device->HasTexture());
    chain->device->view.offsetX = chain->device->view.roundedX = -5000.0;
    ViewRecompute(&chain->device->view);
    chain->device->Deliver();
    EXPECT_EQ(chain->device->lastPullCode, 0);
}

TEST_F(ImageDeviceGlTest, DeliveriesFromAnotherThread) {
    auto chain = MakeChain(1500, 1200);
    Image2DDevice* d = chain->device;
    ASSERT_TRUE(d->Deliver());
    const uint64_t offThread = OffUiThreadGlCalls();
    const uint64_t uploads = d->uploads;
    std::atomic<bool> done{false};
    std::atomic<int> delivered{0};
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard<std::recursive_mutex> hold(DisplayLock());
                // Every tenth delivery brings a new frame; the others find nothing new.
                if (i % 10 == 0) d->changed = 1;
            }
            if (d->Deliver()) delivered.fetch_add(1);
        }
        done.store(true);
    });
    // A deadlock makes no delivery for a long time; a slow machine only makes them slow.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int lastCount = -1;
    int repaints = 0;
    while (!done.load()) {
        if (const int count = delivered.load(); count != lastCount) {
            lastCount = count;
            deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "no delivery within 10 s: deadlock";
            std::_Exit(1);
        }
        DispatchQueued();
        Draw(chain->window);
        {
            // The readouts take the lock as the workspace does.
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            (void)d->view.originX;
        }
        ++repaints;
    }
    worker.join();
    DispatchQueued();
    EXPECT_EQ(delivered.load(), 1000);
    EXPECT_GT(repaints, 0);
    EXPECT_EQ(OffUiThreadGlCalls(), offThread);
    EXPECT_EQ(d->uploadPending, 0);
    // The new frames were uploaded (on this thread, sent by the worker).
    EXPECT_GE(d->uploads - uploads, 100u);
    Draw(chain->window);
    EXPECT_EQ(CountMismatches(HostPixels(), [](int x, int y) { return PatternAt(x, y); }), 0);
}

}  // namespace
}  // namespace orva
