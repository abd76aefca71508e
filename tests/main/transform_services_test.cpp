#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>

#include "app/ui_elements.h"
#include "data/display_bitmap.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"
#include "framework/pipeline.h"
#include "main/transform_services.h"
#include "shapes/shape_container.h"
#include "transform/display_render.h"
#include "transform/transformation_test_support.h"

namespace orva {
namespace {

using testing_transform::RampSource;

// The Transformation reaches the shapes, the windows reach the rendering, and
// the default chain reaches the stage's creator only through these services.
TEST(TransformServices, TheStageTakesItsRangeFromARealShapesMask) {
    const PipelineServices savedPipeline = ThePipelineServices();
    InstallTransformServices();
    EXPECT_EQ(ThePipelineServices().createTransformation, &CreateTransformationFromScript);
    EXPECT_EQ(TheDisplayRenderServices().renderFrame, &RenderFrameToBitmap);
    EXPECT_EQ(TheDisplayRenderServices().renderPreview, &RenderPreview);

    ShapeContainer container(nullptr, nullptr, std::make_unique<MemoryShapeList>());
    Shape* shape = CreateShape(kKindRect);
    ASSERT_TRUE(container.AddShape(shape));
    // Two rectangles in the shape's own frame, whose origin lies at (5, 1).
    ShapeRegion& mask = shape->derived.mask;
    ASSERT_TRUE(RegionAppendRect(&mask, 2, 3, 12, 6));
    ASSERT_TRUE(RegionAppendRect(&mask, 4, 6, 8, 9));
    mask.RecomputeBox();
    mask.originX = 5;
    mask.originY = 1;

    auto* source = new RampSource(32, 32);
    auto* stage = new TransformationComponent(nullptr, nullptr, 0);
    ASSERT_TRUE(ConsumerAttach(&stage->input, source));
    const int32_t before = static_cast<int32_t>(shape->refCount);
    ASSERT_TRUE(stage->AttachRegion(shape));
    EXPECT_EQ(static_cast<int32_t>(shape->refCount), before + 1);
    EXPECT_EQ(shape->state, kShapeHidden);

    PullResult result;
    result.window.frame = result.window.section = -1;
    result.window.width = result.window.height = 32;
    PullRequest request;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        ASSERT_EQ(stage->process(stage, &result, &request), 3);
    }
    // The values under the mask: rows 4 … 6 of columns 7 … 16, rows 7 … 9 of 9 … 12.
    double sum = 0, squares = 0;
    int n = 0;
    auto add = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x, ++n) sum += testing_transform::RampValue(32, 32, x, y);
    };
    add(7, 17, 4, 7);
    add(9, 13, 7, 10);
    const double mean = sum / n;
    auto spread = [&](int x0, int x1, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) squares += std::pow(testing_transform::RampValue(32, 32, x, y) - mean, 2);
    };
    spread(7, 17, 4, 7);
    spread(9, 13, 7, 10);
    const double sigma = std::sqrt(squares / (n - 1));
    EXPECT_NEAR(stage->scaler.Current().min, mean - 2 * sigma, 1e-9 * mean);
    EXPECT_NEAR(stage->scaler.Current().max, mean + 4 * sigma, 1e-9 * mean);

    EXPECT_TRUE(stage->DetachRegion(false));
    stage->Release();  // the pending shape's reference goes with it
    EXPECT_EQ(static_cast<int32_t>(shape->refCount), before);
    source->Release();
    // The page of the stage is titled "View" unless it has a title.
    auto* page = new UIPage;
    EXPECT_TRUE(TheTransformationUiServices().openPage(page, nullptr, 0, kTransformationPageTitle));
    EXPECT_EQ(page->name, "View");
    page->name = "Mine";
    EXPECT_TRUE(TheTransformationUiServices().openPage(page, nullptr, 0, kTransformationPageTitle));
    EXPECT_EQ(page->name, "Mine");
    delete page;

    ThePipelineServices() = savedPipeline;
    TheTransformationUiServices() = TransformationUiServices{};
    TheRegionShapeServices() = RegionShapeServices{};
    TheDisplayRenderServices() = DisplayRenderServices{};
    TheApp().Properties().Clear();
}

// The "Mask" button's default request becomes a Rect in the Statistic role on
// the visible part of the frame; the stage takes it, lists itself among its
// items so that edits of the shape refresh what is below the stage, and lets
// it go again.
TEST(TransformServices, TheStageAsksForARegionAndFollowsItsEdits) {
    InstallTransformServices();
    auto* source = new RampSource(32, 32);
    auto* stage = new TransformationComponent(nullptr, nullptr, 0);
    ASSERT_TRUE(ConsumerAttach(&stage->input, source));
    testing_transform::PixelSink sink;
    ASSERT_TRUE(ConsumerAttach(&sink, stage));
    ASSERT_TRUE(ValueScalerRegionToggle(&stage->scaler, true));
    auto* shape = static_cast<Shape*>(stage->region);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(std::make_tuple(shape->header.kind, shape->header.role), std::make_tuple(kKindRect, kRoleStatistic));
    ASSERT_NE(shape->items.head, nullptr);
    EXPECT_EQ(shape->items.head->object, stage->regionItem);

    // Its box is the default one: half the frame's width, as high, at the origin.
    BlockBox box;
    ASSERT_TRUE(TheRegionShapeServices().regionBox(shape, &box));
    EXPECT_EQ(std::make_tuple(box.x, box.y, box.width, box.height), std::make_tuple(int64_t{0}, int64_t{0}, 16, 16));

    const int changed = sink.changed;
    shape->RestartLinked();
    EXPECT_EQ(sink.changed, changed + 1);

    shape->AddRef();
    EXPECT_TRUE(stage->DetachRegion(true));
    EXPECT_EQ(shape->items.head, nullptr);
    ConsumerDetach(&sink);
    stage->Release();
    source->Release();
    EXPECT_EQ(shape->Release(), 0);
    TheRegionShapeServices() = RegionShapeServices{};
    TheDisplayRenderServices() = DisplayRenderServices{};
    ThePipelineServices() = PipelineServices{};
    TheApp().Properties().Clear();
}

}  // namespace
}  // namespace orva
