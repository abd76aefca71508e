// The affine filter module: the identity skips the instance; the kernel chosen for
// mirrors, turns, other rotations and the "Filter" switch; the format negotiation
// by type, channels and words 3 and 4; the description of a transformed frame; the
// composition of its geometry into chain events; its names and steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "affine_test_support.h"

namespace orva {
namespace {

using namespace testing_util;

class AffineModuleTest : public ::testing::Test {
protected:
    AffineChain chain{MakeFrame(20, 12, 1), 0x40};
};

TEST_F(AffineModuleTest, TheIdentityIsSkippedAndFramesPassUnchanged) {
    FilterInstance* i = chain.instance;
    EXPECT_STREQ(i->Title(), "Affine Transformations");
    EXPECT_EQ(i->callbacks.stateBytes, sizeof(AffineModuleState));
    EXPECT_EQ(std::tuple(i->skip, i->callbacks.process == nullptr, chain.host->chain.idle), std::tuple(1, true, 0));
    PullResult out;
    ASSERT_EQ(chain.Pull(0, 0, 20, 12, &out), 3);
    EXPECT_EQ(SamplesOf(out.image), chain.source->frame.values);
    EXPECT_EQ(chain.host->QueryFrameData(0, 0), &chain.source->data);

    // Zoom 2 runs it; back to zoom 1 skips it again.
    chain.Configure({2, 2}, 2);
    EXPECT_EQ(std::tuple(i->skip, i->callbacks.process == &AffineBilinearD1), std::tuple(0, true));
    chain.Configure({1, 1}, 2);
    EXPECT_EQ(std::tuple(i->skip, i->callbacks.process == nullptr), std::tuple(1, true));
}

TEST_F(AffineModuleTest, TheKernelFollowsTheModeAndTheGeometry) {
    struct Case {
        Geometry g;
        int mode;
        FilterProcessFn kernel;
    } cases[] = {
        {{1, 1, 0, true}, 3, &AffineNearestD1},   // a pure mirror: nearest even with "Bicubic"
        {{1, 1, 90}, 4, &AffineNearestD1},        // a right angle
        {{1, 1, -270, false, true}, 2, &AffineNearestD1},
        {{1, 1, 30}, 3, &AffineBicubicD1},        // another angle: the selected mode
        {{1, 1, 30}, 1, &AffineNearestD1},        // "Filter" off
        {{1, 1.5, 90}, 4, &AffineBicubicFastD1},  // a turn with a zoom
        {{0.5, 0.5}, 2, &AffineBilinearD1},
    };
    for (const Case& c : cases) {
        chain.Configure(c.g, c.mode);
        EXPECT_EQ(chain.instance->callbacks.process, c.kernel) << c.g.angle << " " << c.mode;
        EXPECT_EQ(chain.instance->skip, 0);
    }
    // Switching "Filter" and stepping the modes re-choose the kernel.
    AffineModuleState* s = chain.State();
    chain.Configure({2, 2}, 2);
    EXPECT_STREQ(AffineModeName(chain.instance), "Bilinear");
    EXPECT_FALSE(AffinePreviousFilter(chain.instance));  // no wrap
    EXPECT_TRUE(AffineNextFilter(chain.instance));
    EXPECT_TRUE(AffineNextFilter(chain.instance));
    EXPECT_FALSE(AffineNextFilter(chain.instance));
    EXPECT_EQ(std::tuple(s->filterIndex, std::string(AffineModeName(chain.instance))), std::tuple(2, "Bicubic [fast]"));
    EXPECT_EQ(chain.instance->callbacks.process, &AffineBicubicFastD1);
    EXPECT_TRUE(AffineSetFilter(chain.instance, false));
    EXPECT_FALSE(AffineSetFilter(chain.instance, false));
    EXPECT_EQ(chain.instance->callbacks.process, &AffineNearestD1);
    EXPECT_STREQ(AffineMethodName(chain.instance), "Scale, Rotate, Flipping");
    EXPECT_FALSE(AffineNextMethod(chain.instance));  // one method
}

TEST_F(AffineModuleTest, NegotiationByTypeChannelsAndWords) {
    FilterInstance* i = chain.instance;
    chain.Configure({2, 2}, 2);
    struct Case {
        FormatRequest in;
        int32_t result;
        uint32_t out0, out2, out3, request0;
        FilterProcessFn kernel;
    } cases[] = {
        {{0x40, 8, 1, 2, 0, 7}, 1, 0x40, 1, 2, 0, &AffineBilinearD1},
        {{0x10, 4, 1, 2, kFormatTagDmap, 0}, 1, 0x10, 1, 2, 0, &AffineBilinearF1},  // 32-bit reals keep their row
        {{0x40, 8, 3, 2, 0, 0}, 1, 0x40, 3, 2, 0, &AffineBilinearD3},
        {{0x40, 8, 2, 2, 0, 0}, 1, 0x40, 2, 2, 0, &AffineBilinearDN},
        {{0x10, 4, 5, 2, 0, 0}, 1, 0x10, 5, 2, 0, &AffineBilinearFN},
        {{0x02, 2, 1, 2, 0, 0}, 0, 0x10, 1, 2, 0x10, &AffineBilinearF1},  // 16-bit integers: 32-bit reals asked for
        {{0x20, 8, 1, 2, 0, 0}, 0, 0x40, 1, 2, 0x40, &AffineBilinearD1},  // 64-bit integers: 64-bit reals
        {{0x40, 8, 1, 3, 0, 0}, 0, 0x40, 1, 2, 0x40, &AffineBilinearD1},  // word 3 of 3: capped at 2
        {{0xC0, 8, 1, 2, 0, 0}, 1, 0x40, 1, 2, 0, &AffineBilinearD1},     // the swap bit is not looked at
        {{0x60, 8, 1, 2, 0, 0}, -1, 0, 0, 0, 0, nullptr},                 // a 64-bit real type without a row
        {{0x40, 8, 1, 2, 0x1234, 0}, -1, 0, 0, 0, 0, nullptr},            // word 4 neither 0 nor "DMAP"
    };
    for (const Case& c : cases) {
        FormatRequest request, output;
        const int32_t result = AffineNegotiate(i, &c.in, &request, &output);
        EXPECT_EQ(result, c.result) << std::hex << c.in.format;
        if (result < 0) continue;
        EXPECT_EQ(std::tuple(output.format, output.channels, output.dims, output.tag, output.extra),
                  std::tuple(c.out0, c.out2, c.out3, kFormatTagDmap, c.in.extra))
            << std::hex << c.in.format;
        if (result == 0) {
            EXPECT_EQ(std::tuple(request.format, request.dims), std::tuple(c.request0, 2u));
        }
        EXPECT_EQ(i->callbacks.process, c.kernel) << std::hex << c.in.format;
    }

    // Through the chain: 16-bit integers are asked for as 32-bit reals, which the chain
    // cannot provide, so the instance is flagged and skipped and frames pass unchanged.
    FormatRequest narrow{0x02, 2, 1, 2, 0, 0};
    SetChainInputFormat(&chain.host->chain, narrow);
    EXPECT_EQ(std::tuple(i->error, i->skip), std::tuple(1, 1));
    SetChainInputFormat(&chain.host->chain, FormatRequest{0x40, 8, 1, 2, 0, 0});
    EXPECT_EQ(std::tuple(i->error, i->skip, chain.host->chain.output.format), std::tuple(0, 0, 0x40u));
}

TEST_F(AffineModuleTest, TheTransformedFrameIsDescribedCentredOnTheInput) {
    struct Case {
        int64_t width;
        double zoom;
        int64_t outWidth, originX;
    } cases[] = {{100, 0.51, 51, 24}, {10, 1.5, 15, -3}};
    for (const Case& c : cases) {
        chain.source->data.width = c.width;
        chain.source->data.height = 20;
        chain.Configure({c.zoom, 1}, 1);
        const auto* d = static_cast<AffineDataDescription*>(chain.host->QueryFrameData(4, 1));
        ASSERT_EQ(d, &chain.State()->data);
        EXPECT_EQ(std::tuple(d->frame, d->section, d->width, d->height, d->originX, d->originY, d->described),
                  std::tuple(4, 1, c.outWidth, int64_t{20}, c.originX, int64_t{0}, 1));
    }
    // A turn: the fitted size and the record's centres.
    chain.source->data.width = 100;
    chain.source->data.height = 50;
    chain.Configure({1, 1, 90}, 1);
    const FrameDataRecord* d = chain.host->QueryFrameData(0, 0);
    EXPECT_EQ(std::tuple(d->width, d->height), std::tuple(int64_t{50}, int64_t{100}));
    EXPECT_EQ(std::tuple(chain.Record().centreX, chain.Record().centreY), std::tuple(25.0, 50.0));
    // The description of the frames is the upstream's.
    EXPECT_EQ(chain.host->QueryFrameDescription(), &chain.source->description);
    // A mirror alone keeps the size: the upstream's answer, the centres set for it.
    chain.Configure({1, 1, 0, true}, 1);
    EXPECT_EQ(chain.host->QueryFrameData(0, 0), &chain.source->data);
    EXPECT_EQ(std::tuple(chain.Record().centreX, chain.Record().centreY), std::tuple(50.0, 25.0));
}

TEST_F(AffineModuleTest, EventsComposeTheGeometry) {
    FilterInstance* i = chain.instance;
    AffineRecord event = RecordOf({1, 1});
    // An inactive filter leaves the event alone.
    chain.Configure({1, 1}, 1);
    EXPECT_FALSE(AffineEvent(i, &event));
    EXPECT_EQ(event.active, 0);

    // An inactive event becomes a copy of the filter's record.
    chain.Configure({2, 3, 200, true}, 1);
    ASSERT_TRUE(AffineEvent(i, &event));
    EXPECT_EQ(std::memcmp(&event, &chain.Record(), sizeof event), 0);

    // Zooms multiply (a product of 1 is unscaled), angles add and are reduced with the
    // right-angle rounding, mirrors combine by exclusive or, an order byte of 0 is
    // taken from the filter.
    AffineRecord e = RecordOf({0.5, 0.5, 250.0000000001, true, true, 0});
    ASSERT_TRUE(AffineEvent(i, &e));
    EXPECT_EQ(std::tuple(e.zoomX, e.stepX, e.scaledX, e.zoomY, e.scaledY, e.scaled),
              std::tuple(1.0, 1.0, 0, 1.5, 1, 1));
    EXPECT_EQ(std::tuple(e.flipX, e.flipY, e.flipped), std::tuple(0, 1, 1));
    EXPECT_NEAR(e.angle, 90.0000000001, 1e-9);
    EXPECT_EQ(std::tuple(e.rotated, e.rightAngle, e.geometric, e.active, e.order), std::tuple(1, 0, 1, 1, 1));
    // A sum that is a right angle is rounded and gets the exact sine and cosine.
    AffineRecord r = RecordOf({1.5, 1.5, 250});
    ASSERT_TRUE(AffineEvent(i, &r));
    EXPECT_EQ(std::tuple(r.angle, r.rightAngle, r.cosA, r.sinA, r.order), std::tuple(90.0, 1, 0.0, 1.0, 1));
    EXPECT_EQ(std::tuple(r.zoomX, r.zoomY), std::tuple(3.0, 4.5));
    // A product within 2.220446049250313e-16 of 1 is unscaled.
    chain.Configure({1.0 / 49.0, 1.0 / 49.0}, 1);
    AffineRecord z = RecordOf({49, 49});
    ASSERT_NE(chain.Record().zoomX * 49.0, 1.0);
    ASSERT_TRUE(AffineEvent(i, &z));
    EXPECT_EQ(std::tuple(z.zoomX, z.scaled, z.active, z.order), std::tuple(1.0, 0, 0, 0));
}

}  // namespace
}  // namespace orva
