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

// New statistic shapes go to the Reduction's items.
class ItemView : public ShapeView {
public:
    explicit ItemView(ShapeItem* item) : item_(item) {}
    ShapeItem* DefaultItem() override { return item_; }
    bool DataFrameSize(int64_t* width, int64_t* height) const override {
        *width = 50;
        *height = 40;
        return true;
    }

private:
    ShapeItem* item_;
};

ComponentBase* FindStage(ComponentBase* from, const ComponentId* id) {
    for (ConsumerLink* l = from->firstLink; l != nullptr; l = l->next) {
        if (l->owner == nullptr) continue;
        if (l->owner->GetClassId() == id) return l->owner;
        if (ComponentBase* deeper = FindStage(l->owner, id)) return deeper;
    }
    return nullptr;
}

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

    ItemView view(&reduction->itemLink);
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
