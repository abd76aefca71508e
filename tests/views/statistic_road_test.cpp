// The measuring road without a window: a FITS file written by astropy (a star on
// noise, a few NaN samples) is opened into a project with the program's default
// chain, a Statistic rectangle with a background ring is drawn through a shape
// container whose view hands new statistic shapes to the item's Reduction, and
// one pull of the Reduction measures it. Every field is compared with numpy and
// scipy on the same pixels, read from the file by astropy.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>

#include "framework/display_lock.h"
#include "opened_file_support.h"
#include "reduction/statistic_block.h"
#include "reduction/statistic_reference.h"
#include "reduction/statistic_tables.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"

namespace orva {
namespace {

using namespace reduction_testing;

using testing_views::FindStage;
using testing_views::MeasuringView;

TEST(StatisticRoad, AStatisticRectangleOnAnOpenedFitsFile) {
    if (!HaveReference() || std::system(ORVA_PYTHON " -c 'import astropy.io.fits' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "astropy, numpy or scipy not installed";
    testing_views::OpenedFile file;
    const std::string path = file.folder.File("star.fits");
    int status = -1;
    const std::string made = RunPython("star-fits '" + path + "'", &status);
    ASSERT_EQ(status, 0) << made;
    ASSERT_TRUE(file.Open(path));
    auto* reduction = dynamic_cast<ReductionComponent*>(FindStage(file.source, &kReductionId));
    ASSERT_NE(reduction, nullptr);
    // A consumer of the Reduction's 1-D output puts its statistic kernel in place.
    testing_util::ConsumerEnd chart;
    ASSERT_TRUE(ConsumerAttach(&chart, reduction));
    EXPECT_EQ(chart.format.format, kReductionOutputFormat);

    // The rectangle, drawn as a view hands a drag to its container, with a ring 5 pixels out.
    MeasuringView view(&reduction->itemLink, 200, 160);
    ShapeContainer shapes(&view, nullptr, std::make_unique<MemoryShapeList>());
    Shape* shape = testing_views::DragShape(shapes, kKindRect, kRoleStatistic, 60.0f, 40.0f, 121.0f, 101.0f, 6);
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(reduction->CurrentItemShape(), shape);
    ASSERT_EQ(shape->header.offset.aperture[0], 5);
    const ShapeRegion& mask = shape->derived.mask;
    const ShapeRegion& background = shape->derived.offsetRegion;
    ASSERT_FALSE(mask.IsEmpty());
    ASSERT_FALSE(background.IsEmpty());

    // One pull of the Reduction for the first frame.
    PullResult result;
    result.window.frame = 0;
    result.window.section = -1;
    PullRequest fresh;
    fresh.readAgain = 1;
    int32_t code;
    {
        std::lock_guard<std::recursive_mutex> hold(DisplayLock());
        code = ComponentPull(&chart, &result, &fresh);
    }
    ASSERT_EQ(code, 5);
    ASSERT_EQ(result.statistic, reduction->Statistic());
    const StatisticBlock& block = *reduction->Statistic();
    ASSERT_EQ(std::tuple(block.tag, block.filled, block.channels), std::tuple(651u, 1u, 1u));
    const StatisticResult& r = block.Results()[0];

    // The same pixels, from the file, in numpy and scipy.
    WriteRects(file.folder.File("mask"), mask, mask.originX, mask.originY);
    WriteRects(file.folder.File("ring"), background, background.originX, background.originY);
    const Reference want = ReferenceOf("fits-star '" + path + "' " + file.folder.File("mask") + " " +
                                       file.folder.File("ring"));
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(static_cast<double>(r.npro), want.at("n"));
    ExpectMomentsAsNumpy(r, want);
    // The background by its rules, the threshold, FWHM and the centroid above the threshold.
    EXPECT_EQ(r.backgroundValid, 1);
    EXPECT_EQ(static_cast<double>(r.nproBkgr), want.at("ring_n"));
    EXPECT_LT(RelativeError(r.bkgr, want.at("bkgr")), 1e-12);
    EXPECT_LT(RelativeError(r.rmsBkgr, want.at("rms_bkgr")), 1e-10);
    EXPECT_NEAR(r.bkgr, 100.0, 0.5);
    EXPECT_NEAR(r.rmsBkgr, 5.0, 0.25);
    EXPECT_LT(RelativeError(r.bkgrThreshold, want.at("threshold")), 1e-12);
    EXPECT_NEAR(r.fwhm, std::sqrt(want.at("half_count") * 4 / M_PI), 1e-12);
    EXPECT_NEAR(r.thresholdRadius, std::sqrt(want.at("above") / M_PI), 1e-12);
    EXPECT_NEAR(r.xc, want.at("xc"), 1e-9);
    EXPECT_NEAR(r.yc, want.at("yc"), 1e-9);
    EXPECT_LT(RelativeError(r.xsig, want.at("xsig")), 1e-9);
    EXPECT_LT(RelativeError(r.ysig, want.at("ysig")), 1e-9);
    EXPECT_NEAR(r.xysig, want.at("xysig"), 1e-9);
    EXPECT_NEAR(r.xasym, want.at("xasym"), 1e-8);
    EXPECT_NEAR(r.yasym, want.at("yasym"), 1e-8);
    EXPECT_NEAR(r.xc, 90.3, 0.05);  // the star itself
    EXPECT_NEAR(r.yc, 70.6, 0.05);

    // The histogram as the item's output, and the marks on the shape.
    EXPECT_EQ(result.status, 701);
    const auto* bins = static_cast<const double*>(result.image.data);
    ASSERT_NE(bins, nullptr);
    EXPECT_EQ(std::accumulate(bins, bins + block.binCount, 0.0), static_cast<double>(r.npro));
    EXPECT_EQ(std::tuple(shape->statMark.centreX, shape->statMark.centreY), std::tuple(r.xc, r.yc));
    EXPECT_EQ(shape->statMark.halfFwhm, static_cast<float>(r.fwhm / 2));
    EXPECT_EQ(shape->statMark.thresholdRadius, static_cast<float>(r.thresholdRadius));

    // "Add to Table" beside the file.
    ASSERT_TRUE(AddToStatisticTable(reduction, kStatValueTable));
    const std::string table = testing_util::ReadText(file.folder.File("star_stat.tab"));
    EXPECT_NE(table.find(";COMMENT=Processing [statistics] of data from \"star.fits\" \n;URL=<" + path + ">\n"),
              std::string::npos)
        << table;
    CloseStatisticTables(reduction);
    ConsumerDetach(&chart);
}

}  // namespace
}  // namespace orva
