// The 2-D output device without drawing: the formats its pin takes, the area it pulls
// (visible part plus guard band), the pull codes for frames outside the view and for
// areas already pulled, frame selection, the events that change nothing, fit on open
// and the poll of the current window.
#include <gtest/gtest.h>

#include "app/graphics_window.h"
#include "app/image_device.h"
#include "display/display_fixture.h"
#include "framework/app_object.h"

namespace orva {
namespace {

using display_test::Chain;
using display_test::PatternSource;
using display_test::ServicesScope;

class ImageDeviceTest : public ::testing::Test {
protected:
    ServicesScope services;
};

TEST_F(ImageDeviceTest, AcceptsUnsignedBytesWithThreeOrFourChannels) {
    struct Case {
        uint32_t format, channels;
        bool accepted;
    } cases[] = {
        {0x101, 3, true},
        {0x101, 4, true},
        {0x101 | 0x400000, 3, true},   // image data
        {0x102, 3, false},             // 16-bit
        {0x1, 3, false},               // signed 8-bit
        {0x101, 1, false},             // one channel
        {0x101, 2, false},
        {0x101, 5, false},
        {0x101 | 0x40000, 3, false},
        {0x101 | 0x200000, 3, false},
        {0x40, 3, false},              // 64-bit reals
    };
    for (const Case& c : cases) {
        Chain chain(64, 32, 3);
        ConsumerDetach(&chain.device->pin);
        chain.source->offered = FormatRequest{c.format, 1, c.channels, 2, 0, 0};
        EXPECT_EQ(ConsumerAttach(&chain.device->pin, chain.source), c.accepted) << std::hex << c.format << " x" << c.channels;
        if (c.accepted) {
            EXPECT_EQ(chain.device->input.count, c.channels);
            EXPECT_EQ(chain.device->input.elementClass, 1u);
        }
    }
}

TEST_F(ImageDeviceTest, RefusedFormatKeepsThePreviousState) {
    Chain chain(64, 32, 3);
    ASSERT_TRUE(chain.bound);
    ASSERT_TRUE(chain.device->Deliver());
    const int64_t areaWidth = chain.device->lastArea.width;
    FormatRequest sixteen{0x102, 2, 3, 2, 0, 0};
    EXPECT_FALSE(chain.device->AcceptFormat(&sixteen));
    EXPECT_EQ(chain.device->lastArea.width, areaWidth);
    EXPECT_EQ(chain.device->input.count, 3u);
}

TEST_F(ImageDeviceTest, VisibleAreaWithGuardBand) {
    struct Case {
        double zoom;
        int64_t x, y, width, height;
    } cases[] = {
        // 900 x 706 view at the frame's origin: the view plus a band of 256 right and below.
        {1.0, 0, 0, 900 + 256, 706 + 256},
        // Zoom 0.25: 3600 x 2824 frame pixels shown, the band stays 256.
        {0.25, 0, 0, 3600 + 256, 2824 + 256},
        // Zoom 4: ceil(900 / 4) = 225 columns and a margin of 8 screen pixels (2 more
        // columns); the band is min(256, 225).
        {4.0, 0, 0, 227 + 225, 179 + 177},
    };
    for (const Case& c : cases) {
        Chain chain(4096, 4096);
        chain.device->SetZoom2(c.zoom, c.zoom);
        ASSERT_EQ(chain.device->Refresh(), 3) << c.zoom;
        EXPECT_EQ(chain.device->frameRequest.x, c.x) << c.zoom;
        EXPECT_EQ(chain.device->frameRequest.y, c.y) << c.zoom;
        EXPECT_EQ(chain.device->frameRequest.width, c.width) << c.zoom;
        EXPECT_EQ(chain.device->frameRequest.height, c.height) << c.zoom;
    }
}

TEST_F(ImageDeviceTest, ScrolledAreaKeepsBandOnBothSides) {
    Chain chain(4096, 4096);
    // The frame starts 1000 pixels left of the view: shown are columns 1000..1899.
    chain.device->view.offsetX = chain.device->view.roundedX = -1000.0;
    ViewRecompute(&chain.device->view);
    ASSERT_EQ(chain.device->Refresh(), 3);
    EXPECT_EQ(chain.device->frameRequest.x, 1000 - 256);
    EXPECT_EQ(chain.device->frameRequest.width, 256 + 900 + 256);
    // Near the right edge the area stops at the frame.
    chain.device->view.offsetX = chain.device->view.roundedX = -(4096.0 - 100.0);
    ViewRecompute(&chain.device->view);
    ASSERT_EQ(chain.device->Refresh(), 3);
    EXPECT_EQ(chain.device->frameRequest.x + chain.device->frameRequest.width, 4096);
}

TEST_F(ImageDeviceTest, ScrollInsideTheBandNeedsNoPull) {
    Chain chain(4096, 4096);
    ASSERT_TRUE(chain.device->Deliver());
    EXPECT_EQ(chain.source->pulls.load(), 1);
    // 10 pixels: inside the band. Without a texture (no GL here) the device answers 3
    // (the pulled frame is still there to upload) without asking upstream.
    chain.device->view.offsetX = chain.device->view.roundedX = -10.0;
    ViewRecompute(&chain.device->view);
    EXPECT_EQ(chain.device->Refresh(), 3);
    EXPECT_EQ(chain.source->pulls.load(), 1);
    // 300 pixels: past the band, one pull.
    chain.device->view.offsetX = chain.device->view.roundedX = -300.0;
    ViewRecompute(&chain.device->view);
    EXPECT_EQ(chain.device->Refresh(), 3);
    EXPECT_EQ(chain.source->pulls.load(), 2);
    // A change (event 11 forgets the area) pulls again even inside the area.
    chain.device->OnEvent(kDeviceEventInvalidate, 0);
    EXPECT_EQ(chain.source->pulls.load(), 3);
}

TEST_F(ImageDeviceTest, FrameOutsideTheViewIsPendingThenNothing) {
    Chain chain(200, 100);
    chain.device->view.offsetX = chain.device->view.roundedX = -5000.0;
    ViewRecompute(&chain.device->view);
    // First delivery: pending (1), the all-idle walk finds no other device.
    EXPECT_TRUE(chain.device->Deliver());
    EXPECT_EQ(chain.device->lastPullCode, 0);  // the host took the pending state
    EXPECT_EQ(chain.cell->pendings, 1);
    EXPECT_EQ(chain.window->allFrozen, 1);
    EXPECT_EQ(chain.device->stop[kDevicePendingByte], 1);
    // Then nothing while the window is all-idle; upstream was never asked.
    EXPECT_EQ(chain.device->Refresh(), 0);
    EXPECT_EQ(chain.source->pulls.load(), 0);
    // Beyond the right and the bottom edge alike.
    Chain below(200, 100);
    below.device->view.offsetY = below.device->view.roundedY = 706.0;
    ViewRecompute(&below.device->view);
    EXPECT_EQ(below.device->Refresh(), 1);
    below.window->allFrozen = 1;
    EXPECT_EQ(below.device->Refresh(), 0);
    // Back in view: data again, and the all-idle flag clears on the upload path.
    below.device->view.offsetY = below.device->view.roundedY = 0.0;
    ViewRecompute(&below.device->view);
    EXPECT_EQ(below.device->Refresh(), 3);
    EXPECT_EQ(below.device->stop[kDevicePendingByte], 0);
}

TEST_F(ImageDeviceTest, NoFrameIsPending) {
    Chain chain(200, 100);
    chain.source->frames = 0;
    EXPECT_EQ(chain.device->Refresh(), 1);
    chain.window->allFrozen = 1;
    EXPECT_EQ(chain.device->Refresh(), 0);
    EXPECT_EQ(chain.source->pulls.load(), 0);
}

TEST_F(ImageDeviceTest, AllIdleWalkSkipsHiddenAndPendingDevices) {
    Chain chain(64, 64);
    Image2DDevice other(chain.window, chain.cell);
    chain.device->older = &other;
    other.newer = chain.device;
    GraphicsWindowAllIdleWalk(chain.window, chain.device);
    EXPECT_EQ(chain.window->allFrozen, 0);  // the other device is neither hidden nor pending
    other.stop[kDeviceHiddenByte] = 1;
    GraphicsWindowAllIdleWalk(chain.window, chain.device);
    EXPECT_EQ(chain.window->allFrozen, 1);
    chain.device->older = nullptr;
    other.newer = nullptr;
    other.window = nullptr;
}

TEST_F(ImageDeviceTest, SelectIndexClampsToTheFrames) {
    Chain chain(64, 64);
    chain.source->frames = 10;
    struct Case {
        int32_t index;
        int64_t selected;
        bool changed;
    } cases[] = {{5, 4, true}, {0, 0, true}, {1, 0, false}, {25, 9, true}, {10, 9, false}, {-3, 0, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(chain.device->SelectIndex(c.index), c.changed) << c.index;
        EXPECT_EQ(chain.device->selectedIndex, c.selected) << c.index;
        EXPECT_EQ(chain.window->frameIndex, c.selected);
    }
    // Only the cell's current device selects.
    chain.cell->currentDevice = nullptr;
    EXPECT_FALSE(chain.device->SelectIndex(5));
    chain.cell->currentDevice = chain.device;
    // The pull asks for the selected frame.
    chain.device->SelectIndex(7);
    chain.device->Refresh();
    EXPECT_EQ(chain.device->frameRequest.frame, 6);
}

TEST_F(ImageDeviceTest, IgnoredEventsChangeNothing) {
    Chain chain(300, 200);
    ASSERT_TRUE(chain.device->Deliver());
    for (int32_t code : {8, 17, 19, 21, 22}) {
        for (int32_t level : {3, 7}) {
            const Image2DDevice& d = *chain.device;
            const uint8_t changed = d.changed;
            const uint16_t area = d.cachedArea;
            const int pulls = chain.source->pulls.load();
            const int marks = ServicesScope::Marks().load();
            const int texts = chain.cell->coordTexts;
            const double origin = d.view.originX;
            chain.device->OnEvent(code, level);
            EXPECT_EQ(d.changed, changed) << code;
            EXPECT_EQ(d.cachedArea, area) << code;
            EXPECT_EQ(chain.source->pulls.load(), pulls) << code;
            EXPECT_EQ(ServicesScope::Marks().load(), marks) << code;
            EXPECT_EQ(chain.cell->coordTexts, texts) << code;
            EXPECT_EQ(d.view.originX, origin) << code;
            EXPECT_EQ(chain.cell->dataReady, 0) << code;
        }
    }
}

TEST_F(ImageDeviceTest, EventsThatReachTheDisplay) {
    Chain chain(300, 200);
    ASSERT_TRUE(chain.device->Deliver());
    chain.device->OnEvent(kDeviceEventChanged, 3);
    EXPECT_EQ(chain.device->changed, 1);
    EXPECT_EQ(chain.device->cachedArea, 0);
    EXPECT_EQ(chain.cell->dataReady, 1);
    chain.device->OnEvent(kDeviceEventRedraw, 3);
    EXPECT_EQ(chain.cell->dataReady, 2);
    // Event 10: the transport page and the window's frame refresh, then a new pull.
    const int pulls = chain.source->pulls.load();
    chain.device->OnEvent(kDeviceEventNewFrame, 3);
    EXPECT_EQ(chain.cell->transportPages, 1);
    EXPECT_EQ(chain.window->frameRefreshes, 1);
    EXPECT_EQ(chain.source->pulls.load(), pulls + 1);
    EXPECT_GE(chain.cell->coordTexts, 1);
    // Event 23 at level 3 refreshes the select-tab page of the active cell.
    chain.device->OnEvent(kDeviceEventSelectTab, 2);
    EXPECT_EQ(chain.cell->selectTabPages, 0);
    chain.device->OnEvent(kDeviceEventSelectTab, 3);
    EXPECT_EQ(chain.cell->selectTabPages, 1);
}

TEST_F(ImageDeviceTest, PollStoresTheCodeAndRunsTheCallbacks) {
    Chain chain(64, 64);
    int changedCalls = 0, readyCalls = 0;
    static int* changedCounter;
    static int* readyCounter;
    changedCounter = &changedCalls;
    readyCounter = &readyCalls;
    chain.window->dataChanged = [](GraphicsWindow*) { ++*changedCounter; };
    chain.window->dataReady = [](GraphicsWindow*) { ++*readyCounter; };
    // Code 3 whose upload fails (no GL window here): data changed only, true.
    EXPECT_TRUE(PollComponentState(chain.window));
    EXPECT_EQ(chain.device->lastPullCode, 3);
    EXPECT_EQ(changedCalls, 1);
    EXPECT_EQ(readyCalls, 0);
    // Nothing to show: pending, the host takes it and the code becomes 0.
    chain.device->view.offsetX = chain.device->view.roundedX = -500.0;
    ViewRecompute(&chain.device->view);
    EXPECT_TRUE(PollComponentState(chain.window));
    EXPECT_EQ(chain.device->lastPullCode, 0);
    EXPECT_EQ(chain.cell->pendings, 1);
    EXPECT_EQ(chain.window->allFrozen, 1);
    EXPECT_FALSE(PollComponentState(chain.window));
    EXPECT_FALSE(PollComponentState(nullptr));
}

TEST_F(ImageDeviceTest, ResetDeviceViewFitsAndCentres) {
    Chain chain(4000, 3000);
    chain.source->frames = 3;
    chain.device->selectedIndex = 7;
    chain.window->pointerX = -1.0f;
    ASSERT_TRUE(chain.device->ResetDeviceView(true));
    EXPECT_EQ(chain.device->selectedIndex, 2);
    EXPECT_DOUBLE_EQ(chain.device->view.zoom.x, 0.595);
    // Centred: (898 - ceil(4000 x 0.595)) / 2 = -741.
    EXPECT_DOUBLE_EQ(chain.device->view.originX, -741.0);
    EXPECT_EQ(chain.cell->zoomBars, 1);
    EXPECT_FLOAT_EQ(chain.window->pointerX, 448.5f);  // it lay outside: the host's centre
    // Without the settings nothing is fitted.
    MainSettings& settings = TheApp().Settings();
    const MainSettings saved = settings;
    settings.bitmapFitDefault = 0;
    settings.bitmapDefaultCenter = 0;
    Chain plain(4000, 3000);
    ASSERT_TRUE(plain.device->ResetDeviceView(true));
    EXPECT_DOUBLE_EQ(plain.device->view.zoom.x, 1.0);
    EXPECT_DOUBLE_EQ(plain.device->view.originX, 0.0);
    settings = saved;
    // A cell not laid out yet (no size): nothing to fit into, nothing moves.
    Chain unsized(4000, 3000, 3, 0, 0);
    ASSERT_TRUE(unsized.device->ResetDeviceView(true));
    EXPECT_DOUBLE_EQ(unsized.device->view.zoom.x, 1.0);
    EXPECT_DOUBLE_EQ(unsized.device->view.originX, 0.0);
    EXPECT_EQ(unsized.device->view.frameWidth, 4000);
    EXPECT_EQ(unsized.device->fitPending, 1);
    // No cell: false.
    Image2DDevice orphan(nullptr, nullptr);
    EXPECT_FALSE(orphan.ResetDeviceView(true));
}

// The fit of a new frame waits for the view's size: a cell laid out after its device
// started (or laid out again before the first frame showed) fits the frame at its pull.
TEST_F(ImageDeviceTest, FitWaitsForTheViewsSize) {
    struct Case {
        int32_t startWidth, startHeight;  // the view when the device starts
    } cases[] = {{0, 0}, {100, 100}, {900, 706}};
    for (const Case& c : cases) {
        Chain chain(4000, 3000, 3, c.startWidth, c.startHeight);
        ASSERT_TRUE(chain.device->ResetDeviceView(true));
        chain.cell->host.width = 900;
        chain.cell->host.height = 706;
        const int updates = chain.window->scaleUpdates;
        EXPECT_GE(chain.device->Refresh(), 3) << c.startWidth;
        EXPECT_DOUBLE_EQ(chain.device->view.zoom.x, 0.595) << c.startWidth;
        EXPECT_DOUBLE_EQ(chain.device->view.originX, -741.0) << c.startWidth;
        EXPECT_EQ(chain.device->fitPending, 0);
        if (c.startWidth != 900) {
            EXPECT_EQ(chain.window->scaleUpdates, updates + 1);
        }
        // Shown: a later size of the view keeps the zoom the user sees.
        chain.cell->host.width = 300;
        chain.cell->host.height = 200;
        chain.device->Refresh();
        EXPECT_DOUBLE_EQ(chain.device->view.zoom.x, 0.595) << c.startWidth;
    }
    // A frame whose size comes later is fitted when it comes.
    Chain late(4000, 3000);
    late.source->record.width = 0;
    late.source->record.height = 0;
    ASSERT_TRUE(late.device->ResetDeviceView(true));
    EXPECT_DOUBLE_EQ(late.device->view.zoom.x, 1.0);
    late.source->record.width = 4000;
    late.source->record.height = 3000;
    late.device->Refresh();
    EXPECT_DOUBLE_EQ(late.device->view.zoom.x, 0.595);
    // Without the fit (a reset of the cell) nothing waits.
    Chain plain(4000, 3000, 3, 0, 0);
    ASSERT_TRUE(plain.device->ResetDeviceView(false));
    plain.cell->host.width = 900;
    plain.cell->host.height = 706;
    plain.device->Refresh();
    EXPECT_DOUBLE_EQ(plain.device->view.zoom.x, 1.0);
}

TEST_F(ImageDeviceTest, ResetScaleAndZoom) {
    Chain chain(1000, 800);
    EXPECT_TRUE(chain.device->SetZoom(true, -1.0, true));
    EXPECT_DOUBLE_EQ(chain.device->view.zoom.y, 2.0);
    EXPECT_GE(chain.window->scaleUpdates, 1);
    EXPECT_GE(chain.window->scrollControls, 1);
    EXPECT_FALSE(chain.device->SetZoom2(2.0, 2.0));
    chain.window->originMark = 1;
    chain.device->ResetScale();
    EXPECT_DOUBLE_EQ(chain.device->view.zoom.x, 1.0);
    EXPECT_EQ(chain.window->resetViews, 1);  // a window with one device resets its view
    EXPECT_EQ(chain.window->originMark, 0);
    EXPECT_EQ(chain.window->toolPanels, 1);
}

TEST_F(ImageDeviceTest, IdentityAndQueries) {
    Chain chain(8, 8);
    void* out = nullptr;
    const int32_t before = chain.device->refCount.load();
    for (const ComponentId* id : {&kDevice2DId, &kDeviceDrawId, &kBaseId}) {
        EXPECT_TRUE(chain.device->QueryInterface(id, &out));
        EXPECT_EQ(out, chain.device);
        chain.device->Release();
    }
    EXPECT_FALSE(chain.device->QueryInterface(&kDevice1DId, &out));
    EXPECT_EQ(chain.device->refCount.load(), before);
    EXPECT_EQ(chain.device->GetClassId(), &kDevice2DId);
    OutputDevice* made = nullptr;
    ASSERT_TRUE(chain.device->CreateInstance(&made));
    EXPECT_EQ(made->GetClassId(), &kDevice2DId);
    made->Release();
}

}  // namespace
}  // namespace orva
