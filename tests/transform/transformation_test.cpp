// The Transformation component: frames of 64-bit reals to RGB pixels against
// numpy, the request limit, the two caches, the range from a region, the
// formats it accepts and offers, its interfaces and its place in the default
// chain, and the worker on a second thread while the settings change.
#include "transform/transformation.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/clib.h"
#include "framework/pipeline.h"
#include "test_support.h"
#include "transformation_test_support.h"

namespace orva {
namespace {

using testing_transform::FakeRegion;
using testing_transform::PixelSink;
using testing_transform::RampSource;
using testing_transform::ReadBytes;
using testing_transform::RegionScope;
using testing_transform::RenderReference;
using testing_transform::TransformationFixture;
using testing_util::TempFolder;

// The numpy evaluation of a window of the ramp through "range" 0 … 65535 and "Grey".
std::vector<uint8_t> Expected(int64_t width, int64_t height, int64_t x, int64_t y, int w, int h) {
    TempFolder folder;
    const std::string out = folder.File("expected.raw");
    const std::string args = "ramp " + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(x) +
                             " " + std::to_string(y) + " " + std::to_string(w) + " " + std::to_string(h) + " '" + out + "'";
    EXPECT_EQ(RenderReference(args), "");
    return ReadBytes(out);
}

// Mean, σ (ddof=1), minimum and maximum of the ramp in a box, by numpy.
std::vector<double> RampStatistics(int64_t width, int64_t height, const BlockBox& box) {
    double v[4] = {0, 0, 0, 0};
    const std::string text = RenderReference("rampstats " + std::to_string(width) + " " + std::to_string(height) + " " +
                                       std::to_string(box.x) + " " + std::to_string(box.y) + " " +
                                       std::to_string(box.width) + " " + std::to_string(box.height));
    EXPECT_EQ(std::sscanf(text.c_str(), "%lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3]), 4) << text;
    return {v[0], v[1], v[2], v[3]};
}

// ---- Frames to pixels ----------------------------------------------------------------------------

class TransformationPipeline : public TransformationFixture {};

TEST_F(TransformationPipeline, AWholeFrameAndAnEdgeWindowAgreeWithNumpy) {
    Build(4096, 4096);
    ASSERT_EQ(Pull(0, 0, 4096, 4096), 3);
    EXPECT_EQ(std::make_tuple(result.window.width, result.window.height), std::make_tuple(4096, 4096));
    EXPECT_EQ(result.image.elementType, 0x400101);
    const std::vector<uint8_t> whole = Pixels(result);
    EXPECT_TRUE(whole == Expected(4096, 4096, 0, 0, 4096, 4096));

    // A window over the frame's edge: pulled again (the cached window does not
    // hold it), clipped.
    ASSERT_EQ(Pull(4000, 4050, 200, 100), 3);
    EXPECT_EQ(source->pulls, 2);
    EXPECT_EQ(std::make_tuple(result.window.x, result.window.y, result.window.width, result.window.height),
              std::make_tuple(int64_t{4000}, int64_t{4050}, 96, 46));
    EXPECT_EQ(std::make_tuple(result.image.windowX, result.image.windowY), std::make_tuple(int64_t{4000}, int64_t{4050}));
    EXPECT_TRUE(Pixels(result) == Expected(4096, 4096, 4000, 4050, 200, 100));

    // One row a pass when the strip block is refused: the same pixels.
    ASSERT_EQ(Pull(0, 0, 4096, 4096), 3);
    stage->temporary.Free();
    GlobalBufferRefuseBlocksForTest(1);
    ASSERT_EQ(Pull(0, 0, 4096, 4096), 3);
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_EQ(stage->temporary.size, 4096u * 8u);
    EXPECT_TRUE(Pixels(result) == whole);
}

TEST_F(TransformationPipeline, TheResultNamesItsFrameSectionAndOrigin) {
    Build(64, 64);
    result.window = ReadWindow{};
    result.window.frame = 5;
    result.window.section = 2;
    result.window.x = 10;
    result.window.y = 20;
    result.window.width = 30;
    result.window.height = 40;
    PullRequest request;
    ASSERT_EQ(ComponentPull(&sink, &result, &request), 3);
    EXPECT_EQ(std::make_tuple(result.window.frame, result.window.section, result.window.x, result.window.y),
              std::make_tuple(5, 2, int64_t{10}, int64_t{20}));
    EXPECT_EQ(std::make_tuple(result.deliveredFrame, result.deliveredSection, result.pending), std::make_tuple(5u, 2u, uint8_t{1}));
    EXPECT_EQ(std::make_tuple(result.image.width, result.image.height, result.image.itemBytes), std::make_tuple(30u, 40u, 3u));
    // Three channels make one pixel each; "Grey" keeps the three bytes of a pixel equal.
    const std::vector<uint8_t> p = Pixels(result);
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
}

TEST_F(TransformationPipeline, LargeRequestsAreCut) {
    Build(256, 256);
    ASSERT_EQ(Pull(0, 0, 20000, 20000), 3);
    EXPECT_EQ(std::make_tuple(source->asked.back().width, source->asked.back().height), std::make_tuple(20000, 3355));
    ASSERT_EQ(Pull(0, 0, 0x5000000, 1, true), 3);
    EXPECT_EQ(std::make_tuple(source->asked.back().width, source->asked.back().height), std::make_tuple(0x4000000, 1));
}

TEST_F(TransformationPipeline, CachedBlocksAnswerWindowsInsideThem) {
    Build(64, 64);
    ASSERT_EQ(Pull(0, 0, 64, 64), 3);
    ASSERT_EQ(source->pulls, 1);
    // Inside the cached window, frame and section -1: no pull.
    ASSERT_EQ(Pull(8, 8, 16, 16), 3);
    EXPECT_EQ(source->pulls, 1);
    // Fresh data always pull.
    ASSERT_EQ(Pull(8, 8, 16, 16, true), 3);
    EXPECT_EQ(source->pulls, 2);
    // A change upstream makes the cache stale.
    ASSERT_EQ(Pull(0, 0, 64, 64), 3);
    stage->input.OnUpstreamChanged();
    ASSERT_EQ(Pull(0, 0, 8, 8), 3);
    EXPECT_EQ(source->pulls, 4);
    // Message 1 frees the caches.
    MessageRecord clear(kMsgRefreshPages);
    EXPECT_TRUE(stage->OnMessage(&clear, 0));
    EXPECT_EQ(stage->frameCache.image.block, nullptr);
    EXPECT_EQ(stage->temporary.block, nullptr);
    ASSERT_EQ(Pull(0, 0, 8, 8), 3);
    EXPECT_EQ(source->pulls, 5);

    // Upstream codes below 2 are passed back.
    source->nextCode = 0;
    EXPECT_EQ(Pull(0, 0, 8, 8, true), 0);
    source->nextCode = 1;
    source->setPending = 1;
    EXPECT_EQ(Pull(0, 0, 8, 8, true), 1);
    EXPECT_EQ(result.pending, 1);

    // A block that does not hold the window: 1 and an empty window.
    source->nextCode = 3;
    source->wholeFrame = true;
    EXPECT_EQ(Pull(100, 100, 10, 10), 1);
    EXPECT_EQ(std::make_tuple(result.window.x, result.window.y, result.window.width, result.window.height),
              std::make_tuple(int64_t{0}, int64_t{0}, 0, 0));
}

// The frame request of a display window: a picture target gets the whole frame as the
// worker renders a pull, whatever part the window's own pull held.
class PictureTarget : public FramePictureTarget {
public:
    const ComponentId* GetClassId() const override { return &kInputId; }
    int32_t AddRef() override { return ++refs; }
    int32_t Release() override { return --refs; }
    int32_t refs = 1;
};

// Another target of a data message: not a picture.
class PlainTarget : public MessageTarget {
public:
    const ComponentId* GetClassId() const override { return &kInputId; }
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
};

TEST_F(TransformationPipeline, AFrameRequestGetsTheWholeFrameAsNumpyRendersIt) {
    Build(300, 200);
    // The view's pull: a part of the frame.
    ASSERT_EQ(Pull(40, 30, 50, 20), 3);
    const std::vector<uint8_t> whole = Expected(300, 200, 0, 0, 300, 200);
    struct Case {
        const char* what;
        int32_t width, height;  // the box asked for; 0: the frame's own size
    };
    for (const Case& c : {Case{"the box named", 300, 200}, Case{"the frame's size", 0, 0}}) {
        SCOPED_TRACE(c.what);
        PullResult picture;
        picture.window.frame = picture.window.section = -1;
        picture.window.width = c.width;
        picture.window.height = c.height;
        PictureTarget target;
        target.picture = &picture;
        DataMessage ask(kMsgFrameRequest, &target);
        ASSERT_TRUE(stage->OnMessage(&ask, 0));
        EXPECT_EQ(std::make_tuple(picture.image.width, picture.image.height, picture.image.itemBytes),
                  std::make_tuple(300u, 200u, 3u));
        EXPECT_EQ(std::make_tuple(picture.window.x, picture.window.y), std::make_tuple(int64_t{0}, int64_t{0}));
        EXPECT_TRUE(Pixels(picture) == whole);
    }
    // The view's own result is left as it was.
    EXPECT_EQ(std::make_tuple(result.image.width, result.image.height), std::make_tuple(50u, 20u));
    EXPECT_TRUE(Pixels(result) == Expected(300, 200, 40, 30, 50, 20));

    // Not answered: no picture, a target that is not a picture, another code.
    PictureTarget empty;
    DataMessage noPicture(kMsgFrameRequest, &empty);
    EXPECT_FALSE(stage->OnMessage(&noPicture, 0));
    PlainTarget plain;
    DataMessage notPicture(kMsgFrameRequest, &plain);
    EXPECT_FALSE(stage->OnMessage(&notPicture, 0));
    MessageRecord bare(kMsgFrameRequest);
    EXPECT_FALSE(stage->OnMessage(&bare, 0));
    PullResult untouched;
    PictureTarget other;
    other.picture = &untouched;
    DataMessage otherCode(0x103, &other);
    stage->OnMessage(&otherCode, 0);
    EXPECT_FALSE(untouched.image.HoldsFrame());
    // A frame the source cannot give: false, and the picture holds nothing.
    source->nextCode = 1;
    PullResult missing;
    missing.window.width = 300;
    missing.window.height = 200;
    PictureTarget late;
    late.picture = &missing;
    DataMessage ask(kMsgFrameRequest, &late);
    stage->ClearCaches(false);
    EXPECT_FALSE(stage->OnMessage(&ask, 0));
    EXPECT_FALSE(missing.image.HoldsFrame());
}

// The whole frame a picture needs is pulled for the picture alone: the frame cache keeps
// the view's part (the view's next pull and the readouts use it), unless it held the
// whole frame already, which then serves the picture without a pull.
TEST_F(TransformationPipeline, AFrameRequestLeavesTheViewsPartInTheFrameCache) {
    Build(300, 200);
    ASSERT_EQ(Pull(40, 30, 50, 20), 3);
    ASSERT_EQ(source->pulls, 1);
    const std::vector<uint8_t> whole = Expected(300, 200, 0, 0, 300, 200);
    struct Case {
        const char* what;
        int32_t x, y, width, height;  // the view's pull before the request
        int pulls;                    // the source's pulls the request makes
    };
    for (const Case& c : {Case{"a part cached", 40, 30, 50, 20, 1}, Case{"the whole frame cached", 0, 0, 300, 200, 0}}) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Pull(c.x, c.y, c.width, c.height), 3);
        const int before = source->pulls;
        PullResult picture;
        picture.window.frame = picture.window.section = -1;
        PictureTarget target;
        target.picture = &picture;
        DataMessage ask(kMsgFrameRequest, &target);
        ASSERT_TRUE(stage->OnMessage(&ask, 0));
        EXPECT_TRUE(Pixels(picture) == whole);
        EXPECT_EQ(source->pulls - before, c.pulls);
        const ReadWindow& cached = stage->frameCache.window;
        EXPECT_EQ(std::make_tuple(cached.x, cached.y, cached.width, cached.height),
                  std::make_tuple(int64_t{c.x}, int64_t{c.y}, c.width, c.height));
        EXPECT_EQ(stage->frameCache.image.width, static_cast<uint32_t>(c.width));
        // The view's part again: from the cache.
        ASSERT_EQ(Pull(c.x, c.y, c.width, c.height), 3);
        EXPECT_EQ(source->pulls - before, c.pulls);
        EXPECT_TRUE(Pixels(result) == Expected(300, 200, c.x, c.y, c.width, c.height));
    }
}

TEST_F(TransformationPipeline, SteadyFramesAllocateNothing) {
    Build(256, 256);
    ASSERT_EQ(Pull(0, 0, 256, 256, true), 3);
    ASSERT_EQ(Pull(0, 0, 256, 256, true), 3);
    const uint64_t before = GlobalBufferBlocksTaken();
    for (int i = 0; i < 5; ++i) ASSERT_EQ(Pull(0, 0, 256, 256, true), 3);
    EXPECT_EQ(GlobalBufferBlocksTaken(), before);
}

// ---- Region ----------------------------------------------------------------------------------------

class TransformationRegion : public TransformationFixture {
protected:
    void SetUp() override {
        TransformationFixture::SetUp();
        TheTransformationUiServices().showRange = [](ValueScaler*) { ++shown; };
        shown = 0;
    }
    void TearDown() override {
        TheTransformationUiServices() = TransformationUiServices{};
        TransformationFixture::TearDown();
    }
    static inline int shown = 0;
    RegionScope scope;
    FakeRegion shape;  // outlives the stage, which may hold it as its pending region
};

TEST_F(TransformationRegion, ModeZeroGivesMeanMinusNMinSigmaToMeanPlusNMaxSigma) {
    if (!ClibInitialised()) ClibInit(nullptr, nullptr);
    Build(256, 256);
    shape.box = {10, 20, 30, 40};
    ASSERT_TRUE(stage->AttachRegion(&shape));
    EXPECT_EQ(std::make_tuple(shape.refs.load(), shape.state), std::make_tuple(2, 2));
    EXPECT_TRUE(stage->AttachRegion(&shape));  // attached already
    EXPECT_EQ(shape.refs, 2);
    const std::vector<double> s = RampStatistics(256, 256, shape.box);
    ASSERT_EQ(stage->scaler.Current().nMin, 2);
    ASSERT_EQ(stage->scaler.Current().nMax, 4);

    // From the main pull: the window holds the region.
    ASSERT_EQ(Pull(0, 0, 256, 256), 3);
    EXPECT_EQ(source->pulls, 1);
    EXPECT_NEAR(Range().first, s[0] - 2 * s[1], 1e-9 * s[0]);
    EXPECT_NEAR(Range().second, s[0] + 4 * s[1], 1e-9 * s[0]);
    // On the main thread the range block shows it.
    EXPECT_EQ(shown, ClibOnMainThread() ? 1 : 0);

    // From the region cache: a window beside the region pulls the region's box.
    SetRange(0, 1);
    ASSERT_EQ(Pull(100, 100, 8, 8, true), 3);
    EXPECT_EQ(source->pulls, 3);
    const ReadWindow& asked = source->asked.back();
    EXPECT_EQ(std::make_tuple(asked.x, asked.y, asked.width, asked.height), std::make_tuple(int64_t{10}, int64_t{20}, 30, 40));
    EXPECT_NEAR(Range().first, s[0] - 2 * s[1], 1e-9 * s[0]);
    // Both caches answer the next run.
    ASSERT_EQ(Pull(100, 100, 8, 8), 3);
    EXPECT_EQ(source->pulls, 3);

    // Mode 1: the extremes.
    stage->scaler.Current().rangeMode = 1;
    ASSERT_EQ(Pull(0, 0, 256, 256), 3);
    EXPECT_EQ(Range(), std::make_pair(s[2], s[3]));

    // A region outside the frame changes nothing.
    SetRange(5, 6);
    shape.box = {300, 300, 10, 10};
    ASSERT_EQ(Pull(0, 0, 256, 256, true), 3);
    EXPECT_EQ(Range(), std::make_pair(5.0, 6.0));
    shape.box = {10, 20, 30, 40};
    shape.hasRects = false;
    ASSERT_EQ(Pull(0, 0, 256, 256, true), 3);
    EXPECT_EQ(Range(), std::make_pair(5.0, 6.0));
    EXPECT_TRUE(stage->DetachRegion(false));
}

TEST_F(TransformationRegion, DetachingRestoresTheRangeBeforeTheRegion) {
    Build(256, 256);
    stage->scaler.Current().restoreRange = 1;
    SetRange(100, 200);
    shape.box = {0, 0, 16, 16};
    ASSERT_TRUE(stage->AttachRegion(&shape));
    ASSERT_EQ(Pull(0, 0, 256, 256), 3);
    ASSERT_NE(Range(), std::make_pair(100.0, 200.0));
    // Through the scaler's "Mask" toggle: the shape goes to pending, its item unlinked.
    EXPECT_TRUE(ValueScalerRegionToggle(&stage->scaler, false));
    EXPECT_EQ(Range(), std::make_pair(100.0, 200.0));
    EXPECT_EQ(std::make_tuple(stage->region, stage->pendingRegion, shape.unlinked),
              std::make_tuple(static_cast<void*>(nullptr), static_cast<void*>(&shape), 1));
    EXPECT_FALSE(stage->DetachRegion(false));
    EXPECT_GE(sink.changed, 1);

    // Back again; a shape that cannot return to its container is dropped.
    EXPECT_TRUE(ValueScalerRegionToggle(&stage->scaler, true));
    EXPECT_EQ(stage->region, &shape);
    EXPECT_TRUE(stage->DetachRegionShape(&shape, false));
    shape.inContainer = false;
    EXPECT_FALSE(stage->ReattachPendingRegion());
    EXPECT_TRUE(stage->HasNoRegion());
    EXPECT_EQ(shape.refs, 1);

    // Following the view: the box goes to the negated offset times the pixel scale.
    shape.inContainer = true;
    ASSERT_TRUE(stage->AttachRegion(&shape));
    EXPECT_TRUE(stage->FollowViewOrigin(-3, -4, 2, 2));
    EXPECT_EQ(std::make_pair(shape.box.x, shape.box.y), std::make_pair(int64_t{6}, int64_t{8}));
}

TEST_F(TransformationRegion, ShapeActionsAskForAreaShapesInTheStatisticRole) {
    Build(16, 16);
    const int32_t ellipse[2] = {6, 6}, line[2] = {3, 6}, rectGauge[2] = {4, 3};
    EXPECT_TRUE(stage->ShapeAction(ellipse));
    EXPECT_TRUE(stage->ShapeAction(line));
    EXPECT_TRUE(stage->ShapeAction(rectGauge));
    EXPECT_TRUE(stage->ShapeAction(nullptr));
    const auto& a = RegionScope::actions();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(std::make_tuple(a[0].request, a[0].kind, a[0].role), std::make_tuple(static_cast<const void*>(ellipse), 6, 6));
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(std::make_tuple(a[i].request, a[i].kind, a[i].role), std::make_tuple(static_cast<const void*>(nullptr), 4, 6));
}

TEST_F(TransformationRegion, AMemoryFailureKeepsBothCaches) {
    Build(64, 64);
    shape.box = {30, 30, 10, 10};
    ASSERT_TRUE(stage->AttachRegion(&shape));
    ASSERT_EQ(Pull(0, 0, 8, 8), 3);
    ASSERT_EQ(source->pulls, 2);  // the window and the region
    // Neither the strip nor a single row can be had.
    stage->temporary.Free();
    GlobalBufferRefuseBlocksForTest(2);
    EXPECT_EQ(Pull(0, 0, 8, 8), -4);
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_EQ(Pull(0, 0, 8, 8), 3);
    EXPECT_EQ(source->pulls, 2);
    // The image cannot be had: -4 and the result's first byte cleared.
    PullResult other;
    other.pending = 1;
    GlobalBufferRefuseBlocksForTest(1);
    EXPECT_EQ(Pull(0, 0, 8, 8, false, &other), -4);
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_EQ(other.pending, 0);
    EXPECT_EQ(source->pulls, 2);
    EXPECT_TRUE(stage->DetachRegion(false));
}

// ---- Formats and interfaces ------------------------------------------------------------------------------

class TransformationInterfaces : public TransformationFixture {};

TEST_F(TransformationInterfaces, OnlySixtyFourBitRealsWithChannelsAreAccepted) {
    auto* t = new TransformationComponent(nullptr, nullptr, 0);
    struct Case {
        uint32_t format, channels;
        bool accepted;
    };
    for (const Case& c : {Case{0x40, 1, true}, Case{0x40, 3, true}, Case{0x140, 2, true}, Case{0x9200040, 1, true},
                          Case{0x40, 0, false}, Case{0x41, 1, false}, Case{0xC0, 1, false}, Case{0x60, 1, false},
                          Case{0x10, 1, false}, Case{0x400000, 1, false}}) {
        FormatRequest r;
        r.format = c.format;
        r.element = 8;
        r.channels = c.channels;
        EXPECT_EQ(t->input.AcceptFormat(&r), c.accepted) << std::hex << c.format << " " << c.channels;
        EXPECT_EQ(t->process == &TransformationComponent::Worker, c.accepted) << std::hex << c.format;
        if (c.accepted) {
            EXPECT_EQ(std::make_tuple(t->channels, t->bytesPerPixel, t->frameCache.image.itemBytes),
                      std::make_tuple(c.channels, 8 * c.channels, 8 * c.channels));
            EXPECT_EQ(t->converter.format.flags, NormalizeFormatWord(c.format));
            EXPECT_EQ(t->converter.format.bits, 8u);
        }
    }
    t->Release();
}

TEST_F(TransformationInterfaces, PixelFormatsAreOfferedSixteenBitsFirst) {
    auto* t = new TransformationComponent(nullptr, nullptr, 0);
    FormatRequest alone;
    ASSERT_TRUE(t->NegotiateInput(nullptr, &alone));
    EXPECT_EQ(std::make_tuple(alone.format, alone.element, alone.channels), std::make_tuple(0x400101u, 1u, 3u));
    PixelSink eight;
    ASSERT_TRUE(ConsumerAttach(&eight, t));
    EXPECT_EQ(eight.offers, (std::vector<PixelSink::Offer>{{0x400102, 2, 3}, {0x400101, 1, 3}}));
    EXPECT_EQ(std::make_tuple(t->converter.format.pixelFormat, t->converter.format.pixelChannels),
              std::make_tuple(0x400101u, 3u));
    // Once the converter has its format, every consumer is offered that one.
    PixelSink second;
    second.accept = 0x400102;
    EXPECT_FALSE(ConsumerAttach(&second, t));
    EXPECT_EQ(second.offers, (std::vector<PixelSink::Offer>{{0x400101, 1, 3}}));
    ConsumerDetach(&eight);
    t->Release();

    // A consumer of 16-bit pixels gets three 16-bit words a pixel.
    source = new RampSource(8, 8);
    stage = new TransformationComponent(nullptr, nullptr, 0);
    ASSERT_TRUE(ConsumerAttach(&stage->input, source));
    sink.accept = 0x400102;
    ASSERT_TRUE(ConsumerAttach(&sink, stage));
    ASSERT_TRUE(ColorConverterSetClass(&stage->converter, 1));
    ASSERT_EQ(Pull(0, 0, 8, 8), 3);
    EXPECT_EQ(std::make_tuple(result.image.itemBytes, result.image.elementType), std::make_tuple(6u, 0x400102));
}

TEST_F(TransformationInterfaces, QueriesAndMessages) {
    Build(8, 8);
    struct Case {
        const ComponentId* id;
        bool answered;
        void* object;
    };
    ComponentObject* self = stage;
    for (const Case& c : {Case{&kTransformationId, true, self}, Case{&kComponentBaseId, true, self},
                          Case{&kDriveSourceId, true, self}, Case{&kBaseId, true, self}, Case{&kPlugId, false, nullptr},
                          Case{&kPlugColorId, true, &stage->converter},
                          Case{&kPlugSingleFilterId, true, static_cast<PropertyComponent*>(&stage->scaler)}}) {
        void* out = nullptr;
        const int32_t before = stage->refCount;
        EXPECT_EQ(stage->QueryInterface(c.id, &out), c.answered);
        EXPECT_EQ(out, c.object);
        if (out == self) {
            EXPECT_EQ(stage->refCount, before + 1);
            stage->Release();
        }
    }
    // The region interface is the component's.
    void* out = nullptr;
    ASSERT_TRUE(stage->QueryInterface(&kDriveSourceId, &out));
    EXPECT_EQ(dynamic_cast<RegionInterface*>(static_cast<ComponentObject*>(out)), static_cast<RegionInterface*>(stage));
    stage->Release();

    // Settings: colour first, then scaling.
    PropertyComponent* settings = nullptr;
    ASSERT_TRUE(stage->QueryProperties(&kTransformationPropId, &settings));
    EXPECT_EQ(settings, &stage->converter.own);
    settings->Release();
    ASSERT_TRUE(stage->QueryProperties(&kSingleFilterPropId, &settings));
    EXPECT_EQ(settings, static_cast<PropertyComponent*>(&stage->scaler));
    settings->Release();
    EXPECT_FALSE(stage->QueryProperties(&kInputId, &settings));

    // Message 2 reselects the kernels.
    stage->converter.row = ColorRowNone;
    MessageRecord reselect(2);
    EXPECT_TRUE(stage->OnMessage(&reselect, 0));
    EXPECT_NE(stage->converter.row, ColorRowNone);
}

TEST_F(TransformationInterfaces, TheDefaultChainMakesTheStage) {
    testing_util::ProgramLogCapture log;
    static ComponentBase* made = nullptr;
    static testing::TestStage* reduction = nullptr;
    made = nullptr;
    PipelineServices& p = ThePipelineServices();
    p.createTransformation = [](ComponentUi* ui, ProjectItemBase* item, void* d) {
        return made = CreateTransformationFromScript(ui, item, d);
    };
    p.createReduction = [](ComponentUi*, ProjectItemBase* item, void*) -> ComponentBase* {
        return reduction = new testing::TestStage(item, &kReductionId, 0x10040);
    };
    testing::TestItem item;
    source = new RampSource(8, 8);
    source->owner = &item;
    ComponentUi ui;
    SourceOpenState request;
    SourceOpenStateInit(&request);
    request.ui = &ui;
    BuildPipelineFromScript(&request, source);
    ThePipelineServices() = PipelineServices{};
    ASSERT_NE(made, nullptr);
    ASSERT_NE(reduction, nullptr);
    EXPECT_EQ(log.Text().find("kelocolorconv"), std::string::npos);
    EXPECT_STREQ(made->name, "Transformation");
    EXPECT_STREQ(made->GetClassId()->name, "ColorConv");
    EXPECT_EQ(made->GetClassId(), &kTransformationId);
    EXPECT_EQ(made->owner, &item);
    EXPECT_EQ(made->ui, &ui);
    EXPECT_EQ(made->GetInputLink(0)->upstream, source);
    EXPECT_EQ(made->panelBuilder, &TransformationViewPage);

    // Its page is "View": the range, colour and class blocks are built in turn,
    // and a component without a view gets a disabled page.
    static std::string log2;
    log2.clear();
    TransformationUiServices& u = TheTransformationUiServices();
    u.openPage = [](PageWindow*, void*, int32_t, const char* title) {
        log2 += std::string("open ") + title + ";";
        return true;
    };
    u.setPageDisabled = [](PageWindow*, void*, bool disabled) { log2 += disabled ? "disabled;" : "enabled;"; };
    u.rangePanel = [](PageWindow*, void*, int32_t) { return (log2 += "range;"), 1; };
    u.classPanel = [](PageWindow*, void*, int32_t) { return (log2 += "class;"), 1; };
    PageWindow page;
    page.current = made;
    int window = 0;
    EXPECT_EQ(made->panelBuilder(&page, &window, 0), 2);
    EXPECT_EQ(log2, "open View;range;class;disabled;");
    log2.clear();
    EXPECT_EQ(made->panelBuilder(&page, nullptr, 0), 0);
    EXPECT_EQ(log2, "disabled;");
    TheTransformationUiServices() = TransformationUiServices{};

    ConsumerDetach(made->GetInputLink(0));
    ConsumerDetach(reduction->GetInputLink(0));
    made->Release();
    reduction->Release();
    PortListRemove(item.source.portList);
    // The item goes with this scope: so does the source it owns.
    source->Release();
    source = nullptr;
}

// ---- Threads -----------------------------------------------------------------------------------------------

class TransformationThreads : public TransformationFixture {
protected:
    RegionScope scope;
    FakeRegion shape;
};

TEST_F(TransformationThreads, TheWorkerRunsBesideSettingChanges) {
    if (!ClibInitialised()) ClibInit(nullptr, nullptr);
    static std::atomic<int> offThread{0}, onThread{0};
    offThread = onThread = 0;
    TheTransformationUiServices().showRange = [](ValueScaler*) { (ClibOnMainThread() ? onThread : offThread)++; };
    Build(64, 64);
    shape.box = {4, 4, 20, 20};
    ASSERT_TRUE(stage->AttachRegion(&shape));

    std::atomic<bool> done{false};
    std::atomic<int> produced{0};
    std::thread worker([&] {
        PullResult r;
        for (int i = 0; i < 1000; ++i) {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            r.window = ReadWindow{};
            r.window.frame = r.window.section = -1;
            r.window.x = i % 3 == 0 ? 32 : 0;
            r.window.width = r.window.height = 32;
            PullRequest request;
            request.readAgain = i % 2;
            if (stage->process(stage, &r, &request) == 3) ++produced;
        }
        done = true;
    });
    const int classes[] = {FindScaleClass("range", 5), FindScaleClass("log", 3), FindScaleClass("pow", 3)};
    for (int i = 0; !done; ++i) {
        ValueScalerSetClass(&stage->scaler, classes[i % 3]);
        ValueScalerShiftRange(&stage->scaler, i % 2 ? 10.0 : -10.0, false);
        ColorConverterSetQbits(&stage->converter, i % 9);
        ColorConverterSetClass(&stage->converter, 1 + i % 5);
        ColorConverterEdit(&stage->converter, [i](ColorSettings& s) { s.correction.gamma[0] = 1.0 + (i % 4) * 0.25; });
        if (i % 7 == 0) {
            stage->DetachRegion(false);
            stage->ReattachPendingRegion();
        }
    }
    worker.join();
    TheTransformationUiServices() = TransformationUiServices{};
    EXPECT_EQ(produced, 1000);
    EXPECT_EQ(offThread, 0);
    stage->DetachRegion(false);
}

}  // namespace
}  // namespace orva
