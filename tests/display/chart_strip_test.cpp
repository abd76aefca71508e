// The chart's image strip and its request records: what the records answer and hold,
// the strip's size and the render size cut to 2024 pixels, and which frames are asked
// of the source.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/chart_request.h"
#include "display/chart_fixture.h"

namespace orva {
namespace {

using display_test::ChartChain;
using display_test::Ramp;
using display_test::ServicesScope;

// What the doubles heard: the previews drawn and the frames asked for.
struct StripLog {
    std::vector<RenderTarget> targets;
    std::vector<uint32_t> rowWidths;
    std::vector<double> firstSamples, lastSamples;
    // The frame the source puts in for a request (none: it leaves the strip frame empty).
    std::vector<double> answerFrame;
    int asks = 0, prepares = 0;
    int32_t askedFrame = -2;
    uint32_t heldTag = 0;
    bool answer = true;
    bool previewsOff = false;
};
StripLog* gLog = nullptr;

class ChartStripTest : public ::testing::Test {
protected:
    ChartStripTest() {
        gLog = &log_;
        DisplayRenderServices& r = TheDisplayRenderServices();
        r.renderPreview = [](DisplayBitmap* b, const PreviewRow& row, const PreviewColours&, const PreviewRange&,
                             const RenderTarget& target) {
            gLog->targets.push_back(target);
            gLog->rowWidths.push_back(row.width);
            const auto* samples = static_cast<const double*>(row.pixels);
            gLog->firstSamples.push_back(samples[0]);
            gLog->lastSamples.push_back(samples[row.width - 1]);
            b->width = target.width;
            b->height = target.height;
            b->ready = 1;
            return true;
        };
        ChartHostServices& c = TheChartHostServices();
        c.askFrame = [](ComponentBase*, ChartFrameRequest* record, bool prepare) {
            ++(prepare ? gLog->prepares : gLog->asks);
            auto* part = static_cast<ChartFrameChannel*>(record->Query(kTagFrameChannel));
            gLog->askedFrame = part != nullptr ? part->frame : -3;
            gLog->heldTag = record->Identify();
            const std::vector<double>& answer = gLog->answerFrame;
            auto* device = dynamic_cast<Chart1DDevice*>(record->Held());
            if (!answer.empty() && device != nullptr) {
                TypedFrameBuffer& image = device->stripFrame.image;
                image.SetTypeAndCount(0x40, 1);
                if (image.AllocImageBuffer(static_cast<uint32_t>(answer.size()), 1))
                    std::copy(answer.begin(), answer.end(), static_cast<double*>(image.data));
            }
            return gLog->answer;
        };
        c.previewsOff = [](DisplayCellBase*) { return gLog->previewsOff; };
    }
    ~ChartStripTest() override {
        TheDisplayRenderServices() = render_;
        TheChartHostServices() = chart_;
        gLog = nullptr;
    }
    ServicesScope services_;
    DisplayRenderServices render_ = TheDisplayRenderServices();
    ChartHostServices chart_ = TheChartHostServices();
    StripLog log_;
};

TEST_F(ChartStripTest, RequestRecordsAnswerTheirTagsAndHoldTheirObject) {
    ChartChain chain({Ramp(10)});
    Chart1DDevice* d = chain.device;
    const int32_t before = d->refCount.load();
    {
        ChartDataRequest data(kRequestFrameKind, d);
        EXPECT_EQ(data.Identify(), FourCC("ECDA"));
        EXPECT_EQ(data.kind, 0x102u);
        EXPECT_EQ(d->refCount.load(), before + 1);
        EXPECT_EQ(data.Query(kTagDataRecord), nullptr);
        EXPECT_EQ(data.Query(kTagFrameChannel), nullptr);
        data.Reset();
        EXPECT_EQ(data.kind, 0u);
        EXPECT_EQ(data.Held(), nullptr);
        EXPECT_EQ(d->refCount.load(), before);
        data.Hold(d);
        EXPECT_EQ(d->refCount.load(), before + 1);
    }
    // Destroying a record releases what it holds.
    EXPECT_EQ(d->refCount.load(), before);
    ChartFrameRequest frame(kRequestFrameKind, d, 7, 2);
    EXPECT_EQ(frame.Identify(), FourCC("ECDF"));
    auto* part = static_cast<ChartFrameChannel*>(frame.Query(FourCC("ESCS")));
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->frame, 7);
    EXPECT_EQ(part->channel, 2);
    EXPECT_EQ(frame.Query(FourCC("ECDA")), &frame);
    EXPECT_EQ(frame.Query(FourCC("ECSE")), &frame);
    EXPECT_EQ(frame.Query(FourCC("ECDF")), nullptr);
    EXPECT_EQ(frame.Query(0), nullptr);
    frame.Reset();
    EXPECT_EQ(frame.kind, 0u);
    EXPECT_EQ(frame.part.frame, -1);
    EXPECT_EQ(frame.part.channel, -1);
    EXPECT_EQ(d->refCount.load(), before);
}

TEST_F(ChartStripTest, TheStripIsAskedOnceAndDrawnAtMost2024PixelsASide) {
    ChartChain chain({Ramp(1000)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(c.StripSize(&w, &h));
    EXPECT_EQ(w, 180);  // the fit
    EXPECT_EQ(h, 88);
    EXPECT_FALSE(c.RenderToTextureView(nullptr));  // no view to show it in
    EXPECT_EQ(log_.asks, 1);
    EXPECT_EQ(log_.prepares, 0);
    EXPECT_EQ(log_.askedFrame, 0);
    EXPECT_EQ(log_.heldTag, FourCC("ECDF"));
    ASSERT_EQ(log_.targets.size(), 1u);
    EXPECT_EQ(log_.targets[0].width, 180);
    EXPECT_EQ(log_.targets[0].height, 88);
    EXPECT_EQ(log_.rowWidths[0], 1000u);
    // The frame is current: no second request, only the drawing.
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 1);
    EXPECT_EQ(log_.targets.size(), 2u);
    // At 4 pixels a sample the strip is 4000 pixels wide: it is drawn 2024 wide (and
    // stretched by the view) rather than lost.
    c.SetZoomRatio(4);
    c.ApplyZoomRatio();
    ASSERT_TRUE(c.StripSize(&w, &h));
    EXPECT_EQ(w, 4000);
    c.RenderToTextureView(nullptr);
    ASSERT_EQ(log_.targets.size(), 3u);
    EXPECT_EQ(log_.targets[2].width, 2024);
    EXPECT_EQ(log_.targets[2].height, 88);
    // A refused request is followed by the prepare operation.
    log_.answer = false;
    chain.device->frameFlags[0] = 0;
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 2);
    EXPECT_EQ(log_.prepares, 1);
    // The strip's place: x = scroll x pixels per sample, y = plot height - curve height.
    c.SetFrameRect(nullptr);
    EXPECT_EQ(c.stripRect[0], c.scroll * 4);
    EXPECT_EQ(c.stripRect[1], 0);
    EXPECT_EQ(c.stripRect[2], 4000);
    EXPECT_EQ(c.stripRect[3], 88);
}

TEST_F(ChartStripTest, AFrameOfAnotherLengthOrPreviewsOffAreNotAsked) {
    ChartChain chain({Ramp(100)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    // The source now describes a frame of another length: no request, the samples the
    // device holds are still drawn.
    chain.source->record.width = 99;
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 0);
    EXPECT_EQ(log_.targets.size(), 1u);
    chain.source->record.width = 100;
    log_.previewsOff = true;
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 0);
    log_.previewsOff = false;
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 1);
    // No preview rendering: nothing shown.
    TheDisplayRenderServices().renderPreview = nullptr;
    EXPECT_FALSE(c.RenderToTextureView(nullptr));
}

TEST_F(ChartStripTest, SamplesWhoseFrameWasFreedAreNeitherReadNorDrawn) {
    ChartChain chain({Ramp(100)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    Chart1DDevice& d = *chain.device;
    ASSERT_NE(d.PulledRow(0), nullptr);
    EXPECT_EQ(d.PulledRow(0)[42], 42.0);
    EXPECT_EQ(d.Pulled(), d.PulledRow(0));
    c.RenderToTextureView(nullptr);
    ASSERT_EQ(log_.targets.size(), 1u);
    // A port reset frees the result's frame (another file is being shown): the device
    // still counts its samples, but none is read from the freed block.
    d.result.image.Reset();
    EXPECT_TRUE(d.HoldsSamples());
    EXPECT_EQ(d.Pulled(), nullptr);
    EXPECT_EQ(d.PulledRow(0), nullptr);
    EXPECT_FALSE(c.RenderToTextureView(nullptr));
    EXPECT_EQ(log_.targets.size(), 1u);
}

// The frame the source puts in for the request is what the strip draws; a new frame of
// the device drops it (and is asked for again); an answer of another length is not drawn.
TEST_F(ChartStripTest, TheStripDrawsTheFrameTheSourceAnsweredWith) {
    ChartChain chain({Ramp(100)});
    ASSERT_TRUE(chain.Pull());
    ChartWindow& c = *chain.window;
    Chart1DDevice& d = *chain.device;
    log_.answerFrame.assign(100, 0.0);
    for (size_t i = 0; i < 100; ++i) log_.answerFrame[i] = 1000.0 - static_cast<double>(i);
    c.RenderToTextureView(nullptr);
    ASSERT_EQ(log_.asks, 1);
    ASSERT_EQ(log_.firstSamples.size(), 1u);
    EXPECT_EQ(log_.firstSamples[0], 1000.0);
    EXPECT_EQ(log_.lastSamples[0], 901.0);
    // Drawn again from the same answer while the frame is current.
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 1);
    EXPECT_EQ(log_.firstSamples.back(), 1000.0);
    // A new frame: the answer goes; the source refusing now, the device's samples are drawn.
    d.ForgetFrame();
    EXPECT_FALSE(d.stripFrame.image.HoldsFrame());
    log_.answerFrame.clear();
    log_.answer = false;
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 2);
    EXPECT_EQ(log_.prepares, 1);
    EXPECT_EQ(log_.firstSamples.back(), 0.0);
    EXPECT_EQ(log_.lastSamples.back(), 99.0);
    // An answer that does not hold the chart's samples is not drawn.
    d.ForgetFrame();
    log_.answerFrame.assign(60, 5.0);
    c.RenderToTextureView(nullptr);
    EXPECT_EQ(log_.asks, 3);
    EXPECT_EQ(log_.rowWidths.back(), 100u);
    EXPECT_EQ(log_.lastSamples.back(), 99.0);
}

}  // namespace
}  // namespace orva
