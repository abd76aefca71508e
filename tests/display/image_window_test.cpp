// The image window without drawing: its identity and life, the value readout under the
// pointer, rulers, keeping the frame in view, scrolling, the lens drag, the statistics
// list and the requests it sends its device's consumer.
#include <gtest/gtest.h>

#include <cfloat>
#include <tuple>
#include <utility>
#include <vector>

#include "app/image_window.h"
#include "display/display_fixture.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "toolkit/texture_view.h"

namespace orva {
namespace {

using display_test::FakeCell;
using display_test::ImageChain;
using display_test::ServicesScope;

class ImageWindowTest : public ::testing::Test {
protected:
    ServicesScope services;
};

// ---- Identity and life -----------------------------------------------------------------------------

int gDestroyed = 0;
class CountedWindow : public Image2DWindow {
public:
    CountedWindow() : Image2DWindow(nullptr) {}
    ~CountedWindow() override { ++gDestroyed; }
};

TEST_F(ImageWindowTest, QueryInterfaceAddsAReference) {
    auto* w = new Image2DWindow(nullptr);
    EXPECT_EQ(w->GetClassId(), &kImageWindowId);
    struct Case {
        const ComponentId* id;
        bool answered;
    } cases[] = {{&kImageWindowId, true}, {&kWindowDrawId, true}, {&kDeviceDrawId, false}, {&kBaseId, true},
                 {&kChartWindowId, false}, {&kDevice2DId, false}, {&kNullId, false}};
    for (const Case& c : cases) {
        void* out = nullptr;
        const int32_t before = w->refCount.load();
        EXPECT_EQ(w->QueryInterface(c.id, &out), c.answered);
        EXPECT_EQ(w->refCount.load(), before + (c.answered ? 1 : 0));
        if (c.answered) {
            EXPECT_EQ(out, static_cast<void*>(w));
            w->Release();
        } else {
            EXPECT_EQ(out, nullptr);
        }
    }
    // The family id spelled out word by word, not the catalogue's record.
    const ComponentId family{{FourCC("GRPS"), FourCC("DRAW"), FourCC("DEVI"), FourCC("OUTG")}, nullptr};
    void* out = nullptr;
    EXPECT_TRUE(w->QueryInterface(&family, &out));
    w->Release();
    EXPECT_EQ(w->Release(), 0);
}

TEST_F(ImageWindowTest, ReleaseToZeroDestroysOnce) {
    gDestroyed = 0;
    auto* w = new CountedWindow;
    w->AddRef();
    EXPECT_EQ(w->Release(), 1);
    EXPECT_EQ(gDestroyed, 0);
    EXPECT_EQ(w->Release(), 0);
    EXPECT_EQ(gDestroyed, 1);
}

TEST_F(ImageWindowTest, ToolPanelAndViewReset) {
    ImageChain chain(64, 64);
    Image2DWindow* w = chain.window;
    const int zoomBars = chain.cell->zoomBars;
    EXPECT_TRUE(w->BuildToolPanel(-1));
    EXPECT_TRUE(w->BuildToolPanel(1));
    EXPECT_EQ(chain.cell->zoomBars, zoomBars);
    w->cursorMarkShown = 1;
    w->originMark = 1;
    w->cursorMarkWanted = 1;
    EXPECT_FALSE(w->ResetView(true));
    EXPECT_EQ(w->cursorMarkShown + w->originMark + w->cursorMarkWanted, 3);
    EXPECT_FALSE(w->ResetView(false));
    EXPECT_EQ(w->cursorMarkShown + w->originMark + w->cursorMarkWanted, 0);
    // Instances and devices of the same kind.
    GraphicsWindow* made = nullptr;
    ASSERT_TRUE(w->CreateInstance(&made));
    EXPECT_EQ(made->GetClassId(), &kImageWindowId);
    EXPECT_EQ(made->cell, nullptr);
    made->Release();
    EXPECT_EQ(chain.device->GetClassId(), &kDevice2DId);
    EXPECT_EQ(chain.device->window, w);
}

TEST_F(ImageWindowTest, ColourListAndDefaults) {
    ImageChain chain(8, 8);
    GraphicsColourList* list = chain.window->GetDefaults();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->entries.size(), 8u);
    EXPECT_EQ(list->entries[0].colour, 0x04000000u);
    EXPECT_STREQ(list->entries[7].name, "Indian Red");
    EXPECT_EQ(chain.window->drawColour, 0x04000000u);
    // A second window shares the list.
    Image2DWindow other(nullptr);
    EXPECT_EQ(other.GetDefaults(), list);
    EXPECT_EQ(list->entries.size(), 8u);
    EXPECT_EQ(chain.window->modeFlag, 1);
}

TEST_F(ImageWindowTest, AttachHostBindsPagesAndSliders) {
    ImageChain chain(64, 64);
    GraphicsZoomPage page;
    page.modeFlag = 0;
    page.pendingValue = 7;
    chain.cell->host.zoomPage = &page;
    chain.window->AttachHost();
    EXPECT_EQ(page.pendingValue, 0);
    EXPECT_EQ(page.modeFlag, 1);
    EXPECT_EQ(page.lensDragData, chain.window);
    EXPECT_EQ(chain.cell->lensPages, 1);
    EXPECT_EQ(chain.cell->host.sliderOwner, chain.window);
    EXPECT_EQ(chain.cell->zoomBarPages, 1);
    EXPECT_EQ(chain.cell->gridPages, 1);
    // The lens drag (upwards positive) moves the view's part with it: the cell's offsets
    // go by -dx x scale and +dy x scale (the view's y runs down); Ctrl keeps x, Alt keeps y.
    page.lensScaleX = page.lensScaleY = 2.0;
    page.lensDrag(page.lensDragData, 3.0f, -1.5f, 0);
    EXPECT_EQ(chain.cell->host.offsetX, -6);
    EXPECT_EQ(chain.cell->host.offsetY, -3);
    page.lensDrag(page.lensDragData, 1.0f, 1.0f, 0x40000);  // Ctrl
    EXPECT_EQ(chain.cell->host.offsetX, -6);
    EXPECT_EQ(chain.cell->host.offsetY, -1);
    page.lensDrag(page.lensDragData, 1.0f, 1.0f, 0x100000);  // Alt
    EXPECT_EQ(chain.cell->host.offsetX, -8);
    EXPECT_EQ(chain.cell->host.offsetY, -1);
    page.lensDrag(page.lensDragData, 1.0f, 1.0f, 0x140000);  // both
    EXPECT_EQ(chain.cell->host.offsetX, -10);
    EXPECT_EQ(chain.cell->host.offsetY, 1);
    EXPECT_EQ(chain.cell->repaints, 4);
    // The window leaves the host's records when it goes.
    chain.window->AddRef();
    chain.cell->host.zoomPage = &page;
    Image2DWindow* second = new Image2DWindow(chain.cell);
    second->AttachHost();
    EXPECT_EQ(chain.cell->host.sliderOwner, second);
    second->Release();
    EXPECT_EQ(chain.cell->host.sliderOwner, nullptr);
    EXPECT_EQ(page.lensDrag, nullptr);
    chain.window->Release();
    chain.cell->host.zoomPage = nullptr;
}

// ---- The readout ----------------------------------------------------------------------------------

// A frame of values v(x, y, c) = 1000 c + 10 y + x, `channels` channels, interleaved or
// one row per channel.
struct ValueFrame {
    int64_t width, height;
    uint32_t channels;
    bool rows;
    std::vector<double> values;
    ValueFrame(int64_t w, int64_t h, uint32_t c, bool rowPerChannel) : width(w), height(h), channels(c), rows(rowPerChannel) {
        values.resize(static_cast<size_t>(w * h * c));
        for (int64_t y = 0; y < h; ++y)
            for (int64_t x = 0; x < w; ++x)
                for (uint32_t k = 0; k < c; ++k) {
                    const size_t at = rows ? static_cast<size_t>((y * c + k) * w + x) : static_cast<size_t>((y * w + x) * c + k);
                    values[at] = 1000.0 * k + 10.0 * y + x;
                }
    }
    static double V(int64_t x, int64_t y, uint32_t c) { return 1000.0 * c + 10.0 * y + x; }
};
ValueFrame* gFrame = nullptr;

bool ServeFrame(ComponentBase*, ReadoutFrame* out) {
    if (gFrame == nullptr) return false;
    out->values = gFrame->values.data();
    out->width = gFrame->width;
    out->height = gFrame->height;
    out->channels = gFrame->channels;
    out->format = 0x40 | (gFrame->rows ? 0x10000u : 0u);
    return true;
}

class ReadoutTest : public ImageWindowTest {
protected:
    void SetUp() override { TheGraphicsHostServices().readoutFrame = &ServeFrame; }
    void TearDown() override { gFrame = nullptr; }
};

TEST_F(ReadoutTest, ChannelsRepeatWhenFewerThanThree) {
    struct Case {
        uint32_t channels;
        bool rows;
        double want[3];
    } cases[] = {
        {1, false, {ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 0)}},
        {2, false, {ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 1), ValueFrame::V(5, 3, 1)}},
        {3, false, {ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 1), ValueFrame::V(5, 3, 2)}},
        {4, false, {ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 1), ValueFrame::V(5, 3, 2)}},
        // One row per channel: channel c of line y is row 2 y + c.
        {2, true, {ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 1), ValueFrame::V(5, 3, 1)}},
        {3, true, {ValueFrame::V(5, 3, 0), ValueFrame::V(5, 3, 1), ValueFrame::V(5, 3, 2)}},
    };
    for (const Case& c : cases) {
        ImageChain chain(64, 64);
        ValueFrame frame(8, 6, c.channels, c.rows);
        gFrame = &frame;
        // Pixel (5, 3) spans (5, 6] x (3, 4] in view coordinates.
        chain.window->SetPointer(5.5f, 3.5f);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(chain.window->readout.values[k], c.want[k]) << c.channels << " " << k;
        EXPECT_EQ(chain.window->readout.outside, 0);
        EXPECT_EQ(chain.window->readout.channelTotal, c.channels);
        EXPECT_EQ(chain.cell->readoutUpdates, 1);
        gFrame = nullptr;
    }
}

// Playback re-read the next frame, not yet delivered: the source holds it while the view
// shows the frame before, so a pointer move leaves the readout as it was until the
// delivery reads it again.
TEST_F(ReadoutTest, AFrameReReadButNotDeliveredIsNotRead) {
    ImageChain chain(64, 64);
    ValueFrame frame(8, 6, 1, false);
    gFrame = &frame;
    Image2DWindow* w = chain.window;
    w->pointerX = 2.5f;
    w->pointerY = 2.5f;
    ASSERT_TRUE(w->ReadValueUnderPointer());
    PortList playing;
    EventTimer& timer = TheEventTimer();
    timer.port.store(&playing);
    chain.device->hasData = 1;
    w->pointerX = 4.5f;
    EXPECT_FALSE(w->ReadValueUnderPointer());
    EXPECT_EQ(w->readout.values[0], ValueFrame::V(2, 2, 0));
    // Delivered: the pointer's pixel of the frame shown.
    chain.device->hasData = 0;
    EXPECT_TRUE(w->ReadValueUnderPointer());
    EXPECT_EQ(w->readout.values[0], ValueFrame::V(4, 2, 0));
    // Playback over: a flag left behind holds nothing back.
    timer.port.store(nullptr);
    chain.device->hasData = 1;
    w->pointerX = 1.5f;
    EXPECT_TRUE(w->ReadValueUnderPointer());
    EXPECT_EQ(w->readout.values[0], ValueFrame::V(1, 2, 0));
}

TEST_F(ReadoutTest, OutsideIsReportedOnce) {
    ImageChain chain(64, 64);
    ValueFrame frame(8, 6, 1, false);
    gFrame = &frame;
    Image2DWindow* w = chain.window;
    w->pointerX = 2.5f;
    w->pointerY = 2.5f;
    EXPECT_TRUE(w->ReadValueUnderPointer());
    EXPECT_FALSE(w->ReadValueUnderPointer());  // the same values
    EXPECT_EQ(w->readout.valuesUnchanged, 1);
    w->pointerX = -4.0f;  // left of the frame at mid height
    EXPECT_TRUE(w->ReadValueUnderPointer());
    EXPECT_EQ(w->readout.outside, 1);
    for (double v : w->readout.values) EXPECT_EQ(v, -DBL_MAX);
    w->pointerX = -9.0f;
    EXPECT_FALSE(w->ReadValueUnderPointer());  // still outside: not again
    w->pointerX = 1.5f;
    EXPECT_TRUE(w->ReadValueUnderPointer());
    EXPECT_EQ(w->readout.values[0], ValueFrame::V(1, 2, 0));
    EXPECT_EQ(w->readout.outside, 0);
    // Right of and below the frame, and a pointer far out at a strong zoom.
    w->pointerX = 9.0f;
    EXPECT_TRUE(w->ReadValueUnderPointer());
    ZoomSetAxis(&chain.device->view.zoom, true, 0.002);
    w->pointerX = 3.0e38f;
    w->pointerY = -3.0e38f;
    w->ReadValueUnderPointer();
    EXPECT_EQ(w->readout.outside, 1);
}

TEST_F(ReadoutTest, ZoomTwoReadsPixelOneAtThreePointTwo) {
    ImageChain chain(64, 64);
    ValueFrame frame(8, 6, 1, false);
    gFrame = &frame;
    ZoomSetAxis(&chain.device->view.zoom, true, 2.0);
    ZoomSetAxis(&chain.device->view.zoom, false, 2.0);
    ViewRecompute(&chain.device->view);
    chain.window->SetPointer(3.2f, 3.2f);  // 3.2 x 0.5 = 1.6: up to 2, minus 1
    EXPECT_EQ(chain.window->readout.values[0], ValueFrame::V(1, 1, 0));
    EXPECT_NEAR(chain.window->readout.dataX, 1.6, 1e-6);
    EXPECT_EQ(chain.window->readout.cursorX, 3.0f);
    // A whole pixel lands on the pixel before it (2.0 up to 2, minus 1).
    chain.window->SetPointer(4.0f, 3.2f);
    EXPECT_EQ(chain.window->readout.values[0], ValueFrame::V(1, 1, 0));
    // The frame scrolled 4 view pixels to the right: the same pixel 4 pixels further.
    chain.device->view.scrollX = 4;
    ViewRecompute(&chain.device->view);
    chain.window->SetPointer(7.2f, 3.2f);
    EXPECT_EQ(chain.window->readout.values[0], ValueFrame::V(1, 1, 0));
}

TEST_F(ReadoutTest, SelectedChannelStartsTheValues) {
    ImageChain chain(64, 64);
    ValueFrame frame(8, 6, 4, false);
    gFrame = &frame;
    chain.window->readout.channelTotal = 4;
    EXPECT_TRUE(chain.window->SelectChannel(3));  // channel 2
    EXPECT_FALSE(chain.window->SelectChannel(3));
    // Of four channels the rows show three holding the selected one with its neighbour
    // below: channel 2 shows channels 1, 2 and 3.
    chain.window->SetPointer(1.5f, 1.5f);
    EXPECT_EQ(chain.window->readout.firstChannel, 1u);
    EXPECT_EQ(chain.window->readout.values[0], ValueFrame::V(1, 1, 1));
    EXPECT_EQ(chain.window->readout.values[1], ValueFrame::V(1, 1, 2));
    EXPECT_EQ(chain.window->readout.values[2], ValueFrame::V(1, 1, 3));
    EXPECT_TRUE(chain.window->SelectChannel(99));  // beyond the count: the last
    EXPECT_EQ(chain.window->selectedChannel, 3);
    // The last channel: the last three.
    chain.window->SetPointer(2.5f, 1.5f);
    EXPECT_EQ(chain.window->readout.firstChannel, 1u);
    EXPECT_EQ(chain.window->readout.values[2], ValueFrame::V(2, 1, 3));
    // Channel 0: the first three.
    EXPECT_TRUE(chain.window->SelectChannel(1));
    chain.window->SetPointer(3.5f, 1.5f);
    EXPECT_EQ(chain.window->readout.firstChannel, 0u);
    EXPECT_EQ(chain.window->readout.values[0], ValueFrame::V(3, 1, 0));
    // A tool of the cell holds the pointer: nothing moves.
    chain.cell->host.toolActive = 1;
    chain.window->SetPointer(6.5f, 1.5f);
    EXPECT_EQ(chain.window->pointerX, 3.5f);
}

TEST_F(ReadoutTest, NoFrameNoReadout) {
    ImageChain chain(64, 64);
    gFrame = nullptr;
    chain.window->pointerX = 1.5f;
    EXPECT_FALSE(chain.window->ReadValueUnderPointer());
    ValueFrame frame(8, 6, 1, false);
    gFrame = &frame;
    TheGraphicsHostServices().readoutFrame = [](ComponentBase* c, ReadoutFrame* out) {
        ServeFrame(c, out);
        out->format = 0x10;  // not 64-bit reals
        return true;
    };
    EXPECT_FALSE(chain.window->ReadValueUnderPointer());
}

// ---- Rulers and the view ------------------------------------------------------------------------

TEST_F(ImageWindowTest, RulerScales) {
    struct Case {
        int32_t step;
        double zoom;
        int32_t mode, wantStep;
        double value, perPixel;
    } cases[] = {
        {5, 1.0, kRulerInteger, 5, 5.0, 1.0},
        {5, 0.05, kRulerFractional, 5, 0.25, 20.0},
        {5, 0.5, kRulerInteger, 10, 10.0, 4.0},   // k = floor(2.5) = 2
        {5, 4.0, kRulerInteger, 100, 100.0, 5.0},  // k = 10 floor(2) = 20
        {5, 0.2, kRulerInteger, 5, 5.0, 5.0},      // k = 1
    };
    for (const Case& c : cases) {
        const RulerScale r = ComputeRulerScale(c.step, c.zoom);
        EXPECT_EQ(r.mode, c.mode) << c.zoom;
        EXPECT_EQ(r.step, c.wantStep) << c.zoom;
        EXPECT_DOUBLE_EQ(r.value, c.value) << c.zoom;
        EXPECT_DOUBLE_EQ(r.unitsPerPixel, c.perPixel) << c.zoom;
    }
    ImageChain chain(1000, 1000);
    ASSERT_TRUE(chain.device->SetZoom2(0.05, 0.05));
    EXPECT_EQ(chain.window->rulers[0].mode, kRulerFractional);
    EXPECT_DOUBLE_EQ(chain.window->rulers[1].value, 0.25);
}

TEST_F(ImageWindowTest, KeepFrameInViewAfterLargeOffsets) {
    struct Case {
        int32_t ox, oy;
    } cases[] = {{10000, 10000}, {-10000, -10000}, {10000, -10000}, {INT32_MAX, INT32_MIN}};
    for (const Case& c : cases) {
        ImageChain chain(200, 100);
        chain.device->RefreshGeometry();
        chain.cell->host.offsetX = c.ox;
        chain.cell->host.offsetY = c.oy;
        EXPECT_TRUE(chain.window->KeepFrameInView());
        const ImageViewRecord& v = chain.device->view;
        const double left = chain.cell->host.offsetX + v.originX, top = chain.cell->host.offsetY + v.originY;
        EXPECT_LT(left, 900.0) << c.ox;
        EXPECT_GT(left + v.scaledWidth, 0.0) << c.ox;
        EXPECT_LT(top, 706.0) << c.oy;
        EXPECT_GT(top + v.scaledHeight, 0.0) << c.oy;
        EXPECT_FALSE(chain.window->KeepFrameInView());
    }
}

// The preview's marker is the view's part of the frame on the frame's picture, in the
// texture view's upward coordinates: the frame's first rows at the picture's top.
TEST_F(ImageWindowTest, ThePreviewMarkerStandsWhereTheViewShowsTheFrame) {
    // A 64 x 64 frame in a 32 x 32 view at zoom 1; the picture at half size from (0, 0).
    ImageChain chain(64, 64, 3, 32, 32);
    chain.device->RefreshGeometry();
    ASSERT_EQ(chain.device->view.originX, 0.0);
    ASSERT_EQ(chain.device->view.originY, 0.0);
    TextureView view;
    view.created = 1;
    view.scaleX = view.scaleY = 0.5;
    struct Case {
        int32_t offsetX, offsetY;  // the frame's corner in the view (y downwards)
        float x, y;                // the marker's lower left corner
    } cases[] = {
        {0, 0, 0, 16},      // columns and rows 0..31: the top left quarter
        {-32, -32, 16, 0},  // 32..63: the bottom right quarter
        {-16, -8, 8, 12},   // columns 16..47, rows 8..39: 24 rows below them
    };
    for (const Case& c : cases) {
        chain.cell->host.offsetX = c.offsetX;
        chain.cell->host.offsetY = c.offsetY;
        chain.window->SetFrameRect(&view);
        EXPECT_EQ(std::make_pair(view.markerX, view.markerY), std::make_pair(c.x, c.y)) << c.offsetX << "," << c.offsetY;
        EXPECT_EQ(std::make_pair(view.markerWidth, view.markerHeight), std::make_pair(16.0f, 16.0f));
    }
}

TEST_F(ImageWindowTest, ScrollStepsAndTheirLimit) {
    ImageChain chain(500, 500);
    chain.window->ScrollStepX(3, false);
    EXPECT_EQ(chain.device->view.scrollX, 3);
    chain.window->ScrollBy(2, true, true);
    EXPECT_EQ(chain.device->view.scrollX, 23);
    chain.window->ScrollStepY(-4, true);
    EXPECT_EQ(chain.device->view.scrollY, -40);
    EXPECT_DOUBLE_EQ(chain.device->view.originY, -40.0);
    chain.window->ScrollStepX(INT32_MAX, true);
    EXPECT_EQ(chain.device->view.scrollX, INT32_MAX);
    chain.window->ScrollStepX(INT32_MIN, true);
    chain.window->ScrollStepX(INT32_MIN, true);
    EXPECT_EQ(chain.device->view.scrollX, INT32_MIN);
}

TEST_F(ImageWindowTest, RefreshViewFitsAndTellsTheDevice) {
    ImageChain chain(4000, 3000);
    const int pulls = chain.source->pulls.load();
    chain.window->RefreshView(true);
    EXPECT_DOUBLE_EQ(chain.device->view.zoom.x, 0.595);
    EXPECT_EQ(chain.source->pulls.load(), pulls + 1);  // event 12 delivered
    EXPECT_EQ(chain.window->rulers[0].mode, kRulerInteger);
    // Nothing changed: no event.
    chain.window->RefreshView(true);
    EXPECT_EQ(chain.source->pulls.load(), pulls + 1);
}

// ---- Statistics and requests ---------------------------------------------------------------------

TEST_F(ImageWindowTest, StatisticsListRowsAndRegionRequest) {
    ImageChain chain(64, 64);
    chain.source->frames = 20;
    int block = 0;
    TheGraphicsHostServices().statisticsRows = [](const void*) { return 5u; };
    chain.device->result.statistic = &block;
    // Without a list nothing happens.
    chain.window->RefreshStatisticsList();
    EXPECT_EQ(chain.cell->statisticsRows, -1);
    int listWidget = 0;
    chain.cell->host.statistics = reinterpret_cast<gElement*>(&listWidget);
    chain.device->SelectIndex(3);
    chain.window->RefreshStatisticsList();
    EXPECT_EQ(chain.cell->statisticsRows, 2);
    chain.device->SelectIndex(12);  // beyond the rows: the last row
    chain.window->RefreshStatisticsList();
    EXPECT_EQ(chain.cell->statisticsRows, 4);
    // Without a list-kind result: code 130 to the consumer.
    chain.device->result.statistic = nullptr;
    chain.source->answer = [](int32_t code, WindowRequest* r) {
        if (code != kRequestRegionStatistics) return false;
        for (uint32_t i = 0; i < 12; ++i) r->words[i] = 100 + i;
        r->count = 77;
        return true;
    };
    chain.window->RefreshStatisticsList();
    EXPECT_EQ(chain.source->messages.back(), kRequestRegionStatistics);
    EXPECT_EQ(chain.cell->host.statisticsShown, 1);
    EXPECT_EQ(chain.cell->host.statisticsWords[11], 111u);
    EXPECT_EQ(chain.cell->host.statisticsCount, 77u);
    EXPECT_EQ(chain.cell->regionStatistics, 1);
    chain.source->answer = nullptr;
    chain.cell->host.statistics = nullptr;  // the list clearing is seen under X
    chain.cell->host.statisticsShown = 1;
    chain.window->RefreshStatisticsList();
    EXPECT_EQ(chain.cell->host.statisticsShown, 1);  // no list: untouched
}

// A region measured on the picture is what the list shows, ahead of the region request;
// an answer to the request that counted no values measured nothing.
TEST_F(ImageWindowTest, AMeasuredRegionFillsTheListAndNothingMeasuredEmptiesIt) {
    ImageChain chain(64, 64);
    static int block;
    static const void* measured;
    measured = &block;
    TheGraphicsHostServices().measuredStatistic = [](DisplayCellBase*) { return measured; };
    int listWidget = 0;
    chain.cell->host.statistics = reinterpret_cast<gElement*>(&listWidget);
    const size_t asked = chain.source->messages.size();
    chain.window->RefreshStatisticsList();
    EXPECT_EQ(chain.cell->statisticsRows, 0);  // the measured statistic's one row
    EXPECT_EQ(chain.source->messages.size(), asked);  // no region request
    EXPECT_EQ(chain.cell->host.statisticsShown, 0);

    // Nothing measured: the consumer is asked; an answer of no values shows nothing.
    measured = nullptr;
    chain.cell->statisticsRows = -1;
    chain.source->answer = [](int32_t code, WindowRequest* r) {
        r->count = 0;
        return code == kRequestRegionStatistics;
    };
    chain.cell->host.statisticsShown = 1;
    chain.window->RefreshStatisticsList();  // (the list's clearing is seen under X)
    EXPECT_EQ(chain.source->messages.back(), kRequestRegionStatistics);
    EXPECT_EQ(chain.cell->host.statisticsShown, 0);
    EXPECT_EQ(chain.cell->regionStatistics, 0);
    EXPECT_EQ(chain.cell->statisticsRows, -1);
}

TEST_F(ImageWindowTest, RenderToTextureViewRequests) {
    ImageChain chain(64, 64);
    TextureView view;
    // No image held: false, nothing asked.
    EXPECT_FALSE(chain.window->RenderToTextureView(&view));
    EXPECT_TRUE(chain.source->messages.empty());
    ASSERT_TRUE(chain.device->Deliver());
    // The consumer has no frame ready and the device may not render: false after 0x102.
    bool ready = false;
    chain.source->answer = [&](int32_t code, WindowRequest* r) {
        EXPECT_EQ(r->area.width, chain.device->lastArea.width);
        return code == kRequestLensFrame && ready;
    };
    EXPECT_FALSE(chain.window->RenderToTextureView(&view));
    EXPECT_EQ(chain.source->messages, (std::vector<int32_t>{kRequestLensFrame}));
    // Ready now: 0x102, then 0x103.
    ready = true;
    chain.cell->playerFeeds = true;
    EXPECT_TRUE(chain.window->RenderToTextureView(&view));
    EXPECT_EQ(chain.source->messages,
              (std::vector<int32_t>{kRequestLensFrame, kRequestLensFrame, kRequestLensReady}));
    // The frame stays ready: 0x103 alone.
    EXPECT_TRUE(chain.window->RenderToTextureView(&view));
    EXPECT_EQ(chain.source->messages.back(), kRequestLensReady);
    EXPECT_EQ(chain.source->messages.size(), 4u);
    chain.source->answer = nullptr;
}

// The frame request carries a picture record: the consumer fills it with the whole frame
// (not the part around the view the device pulled), which the window keeps until the
// frame or the stage's settings change; a refused request leaves no old picture behind.
TEST_F(ImageWindowTest, TheFrameRequestBringsTheWholeFrame) {
    ImageChain chain(2000, 1500);
    ASSERT_TRUE(chain.device->Deliver());
    ASSERT_LT(chain.device->lastArea.width, 2000);  // the view's pull holds a part only
    std::vector<ReadWindow> asked;
    chain.source->answer = [&](int32_t code, WindowRequest* r) {
        if (code != kRequestLensFrame || r->picture == nullptr) return false;
        asked.push_back(r->picture->window);
        PullRequest request;
        return display_test::PatternSource::Produce(chain.source, r->picture, &request) >= 3;
    };
    TextureView view;
    chain.cell->playerFeeds = true;  // no upload: there is no GL here
    EXPECT_TRUE(chain.window->RenderToTextureView(&view));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(std::make_tuple(asked[0].frame, asked[0].section, asked[0].x, asked[0].y, asked[0].width,
                              asked[0].height),
              std::make_tuple(chain.device->frameRequest.frame, chain.device->frameRequest.section, int64_t{0},
                              int64_t{0}, 2000, 1500));
    const TypedFrameBuffer& whole = chain.window->picture.image;
    ASSERT_EQ(std::make_tuple(whole.width, whole.height, whole.itemBytes), std::make_tuple(2000u, 1500u, 3u));
    const auto* p = static_cast<const uint8_t*>(whole.data);
    for (auto [x, y] : {std::pair<int64_t, int64_t>{0, 0}, {1999, 0}, {0, 1499}, {1999, 1499}, {1234, 777}})
        for (uint32_t c = 0; c < 3; ++c)
            EXPECT_EQ(p[(static_cast<size_t>(y) * 2000 + static_cast<size_t>(x)) * 3 + c],
                      display_test::Sample(x, y, c))
                << x << "," << y << "," << c;
    // Kept while the frame stays; asked again after the stage's settings changed.
    EXPECT_TRUE(chain.window->RenderToTextureView(&view));
    EXPECT_EQ(asked.size(), 1u);
    chain.device->ResetStep2();
    EXPECT_EQ(chain.device->frameFlags[0], 0);
    EXPECT_TRUE(chain.window->RenderToTextureView(&view));
    EXPECT_EQ(asked.size(), 2u);
    // Refused now: false, and the picture of before is gone.
    chain.device->ResetStep2();
    chain.source->answer = [](int32_t, WindowRequest*) { return false; };
    EXPECT_FALSE(chain.window->RenderToTextureView(&view));
    EXPECT_FALSE(chain.window->picture.image.HoldsFrame());
    chain.source->answer = nullptr;
}

TEST(CopyRowsToBuffer, SizesAndReuse) {
    TypedBuffer buffer;
    std::vector<uint8_t> rows(10 * 16);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(CopyRowsToBuffer(&buffer, rows.data(), 10, 16));
    EXPECT_EQ(buffer.size, 11u * (16 + 64));
    EXPECT_EQ(std::memcmp(buffer.data, rows.data(), rows.size()), 0);
    void* block = buffer.block;
    ASSERT_TRUE(CopyRowsToBuffer(&buffer, rows.data(), 4, 16));  // smaller: the block is kept
    EXPECT_EQ(buffer.block, block);
    EXPECT_FALSE(CopyRowsToBuffer(&buffer, rows.data(), 0x100000, 0x1000));  // above 512 MiB
    EXPECT_EQ(buffer.block, block);
    EXPECT_FALSE(CopyRowsToBuffer(nullptr, rows.data(), 1, 1));
    buffer.Free();
}

// ---- A button during playback ---------------------------------------------------------------------

struct ArmSeen {
    bool answer = false;
    int asked = 0;
    std::vector<std::pair<void*, uint8_t>> hidden;
};
ArmSeen gArm;

TEST_F(ImageWindowTest, AButtonDuringPlaybackArmsTheNotifyAndHidesTheShapesOnlyWhenArmed) {
    ImageChain chain(64, 64);
    int container = 0;
    TheComponentServices().setShapesVisible = [](void* c, DisplayCellBase*, uint8_t visible) {
        gArm.hidden.push_back({c, visible});
    };
    struct Case {
        bool hook, armed, shapes;
        int asked;
        size_t hides;
    } cases[] = {{false, false, true, 0, 0}, {true, false, true, 1, 0}, {true, true, false, 1, 0}, {true, true, true, 1, 1}};
    for (const Case& c : cases) {
        gArm = ArmSeen{};
        gArm.answer = c.armed;
        TheGraphicsHostServices().startAutoStop =
            c.hook ? +[] {
                ++gArm.asked;
                return gArm.answer;
            }
                   : nullptr;
        chain.cell->host.shapes = c.shapes ? &container : nullptr;
        EXPECT_EQ(chain.window->ArmPlaybackNotify(), c.hook && c.armed);
        EXPECT_EQ(gArm.asked, c.asked);
        ASSERT_EQ(gArm.hidden.size(), c.hides);
        if (c.hides != 0) {
            EXPECT_EQ(gArm.hidden[0].first, &container);
            EXPECT_EQ(gArm.hidden[0].second, 0);
        }
    }
}

}  // namespace
}  // namespace orva
