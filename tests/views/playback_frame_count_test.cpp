// The frame counts that playback reads from the stages of an opened cube: the Source's
// description is the data's; a Reduction measuring a shape answers with a description
// of its measures, and the frames it follows are those of the data above it.
#include <gtest/gtest.h>

#include <memory>

#include "opened_file_support.h"
#include "output_test_support.h"
#include "reduction/reduction_component.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "views/playback.h"

namespace orva {
namespace {

using testing_views::FindStage;
using testing_views::MeasuringView;

TEST(PlaybackFrameCount, AReductionMeasuringAShapeCountsTheFramesOfItsData) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    testing_views::OpenedFile file;
    const std::string path = file.folder.File("cube.fits");
    testing_views::WriteCube(path, 5, 40, 50);
    ASSERT_TRUE(file.Open(path));
    auto* reduction = dynamic_cast<ReductionComponent*>(FindStage(file.source, &kReductionId));
    ASSERT_NE(reduction, nullptr);
    EXPECT_EQ(PlaybackFrameCount(file.source), 5);
    EXPECT_EQ(PlaybackFrameCount(reduction), 0) << "nothing measured: no description";

    MeasuringView view(&reduction->itemLink, 50, 40);
    ShapeContainer shapes(&view, nullptr, std::make_unique<MemoryShapeList>());
    ShapeRequest request;
    request.kind = kKindRect;
    request.role = kRoleStatistic;
    request.start[0] = 10.0f;
    request.start[1] = 8.0f;
    request.end[0] = 30.0f;
    request.end[1] = 25.0f;
    ASSERT_NE(shapes.ShapeFromRequest(request, nullptr, nullptr), nullptr);
    ASSERT_NE(reduction->QueryFrameDescription(), nullptr);
    EXPECT_EQ(PlaybackFrameCount(reduction), 5);
}

}  // namespace
}  // namespace orva
