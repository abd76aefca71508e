// Integer FITS samples that the file's BLANK marks are missing values on the whole road:
// a file written by astropy (BITPIX 16, BSCALE 0.25, BZERO 500, BLANK -32768, blanks in
// a column, a block and seven pixels of a statistic rectangle) is opened into a project
// with the default chain; the values the Source delivers, its statistics, a Statistic
// rectangle's moments and a slice across blank pixels are compared with numpy on the
// samples that astropy reads as numbers (it reads the blanks as NaN).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "framework/display_lock.h"
#include "io/data_set_fixture.h"
#include "io/value_range.h"
#include "opened_file_support.h"
#include "reduction/statistic_block.h"
#include "reduction/statistic_reference.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"

namespace orva {
namespace {

using namespace reduction_testing;

using testing_views::FindStage;
using testing_views::MeasuringView;

constexpr int64_t kWidth = 200, kHeight = 150;

// Writes the file; false (with a failure) when the script failed.
bool MakeBlankFile(const std::string& path) {
    int status = -1;
    const std::string out = RunPython("blank '" + path + "'", &status, "../main/road_reference.py");
    EXPECT_EQ(status, 0) << out;
    return status == 0;
}

// astropy's physical values of the file, row by row ("nan" for the blanks).
std::vector<double> AstropyValues(const std::string& path) {
    int status = -1;
    const std::string text = testing_io::RunCommand(
        ORVA_PYTHON " -c \"import sys, numpy as np; from astropy.io import fits; "
        "print(' '.join(repr(float(v)) for v in np.asarray(fits.getdata(sys.argv[1]), np.float64).ravel()))\" '" +
            path + "'",
        &status);
    EXPECT_EQ(status, 0) << text;
    std::vector<double> values;
    std::istringstream in(text);
    for (std::string word; in >> word;) values.push_back(std::strtod(word.c_str(), nullptr));
    return values;
}

// The Reduction behind the file's Source, with a consumer of its 1-D output attached.
ReductionComponent* ReductionOf(testing_views::OpenedFile* file, testing_util::ConsumerEnd* chart) {
    auto* reduction = dynamic_cast<ReductionComponent*>(FindStage(file->source, &kReductionId));
    if (reduction == nullptr || !ConsumerAttach(chart, reduction)) return nullptr;
    return reduction;
}

int32_t PullFrame(ConsumerLink* consumer, PullResult* result) {
    result->window.frame = 0;
    result->window.section = -1;
    PullRequest fresh;
    fresh.readAgain = 1;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    return ComponentPull(consumer, result, &fresh);
}

class BlankSamples : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveReference() || std::system(ORVA_PYTHON " -c 'import astropy.io.fits' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "astropy, numpy or scipy not installed";
        path = file.folder.File("blank.fits");
        ASSERT_TRUE(MakeBlankFile(path));
        want = AstropyValues(path);
        ASSERT_EQ(want.size(), static_cast<size_t>(kWidth * kHeight));
        ASSERT_TRUE(file.Open(path));
    }

    testing_views::OpenedFile file;
    std::string path;
    std::vector<double> want;
};

// What the Source delivers (the readout's and the picture's values) and its statistics.
TEST_F(BlankSamples, TheSourceDeliversNaNAndCountsOnlyTheOtherSamples) {
    PullResult r;
    r.window.width = static_cast<int32_t>(kWidth);
    r.window.height = static_cast<int32_t>(kHeight);
    ASSERT_EQ(PullFrame(&file.direct, &r), 3);
    ASSERT_EQ(std::tuple(int64_t{r.window.width}, int64_t{r.window.height}), std::tuple(kWidth, kHeight));
    const auto* got = static_cast<const double*>(r.image.data);
    ASSERT_NE(got, nullptr);
    int wrong = 0;
    double sum = 0, lo = HUGE_VAL, hi = -HUGE_VAL;
    int64_t count = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        const bool same = std::isnan(want[i]) ? std::isnan(got[i]) : got[i] == want[i];
        if (!same && ++wrong <= 5) ADD_FAILURE() << "sample " << i << ": " << got[i] << ", astropy " << want[i];
        if (std::isnan(want[i])) continue;
        ++count;
        sum += want[i];
        lo = std::min(lo, want[i]);
        hi = std::max(hi, want[i]);
    }
    EXPECT_EQ(count, kWidth * kHeight - 150 - 300 - 7);
    EXPECT_NE(r.image.state, 0);  // the consumers look for missing samples

    // The Source's statistics of the frame in physical units.
    ValueRangeTarget* target = ValueRangeTarget::Create();
    DataMessage range(kMsgValueRange, target);
    ASSERT_TRUE(file.source->OnMessage(&range, 0));
    EXPECT_EQ(std::tuple(target->range.min, target->range.max, target->range.count), std::tuple(lo, hi, count));
    EXPECT_LT(RelativeError(target->range.mean, sum / static_cast<double>(count)), 1e-12);
    target->Release();
}

// A Statistic rectangle with seven blank pixels measures the other ones, as numpy does.
TEST_F(BlankSamples, AStatisticRectangleSkipsTheBlankPixels) {
    testing_util::ConsumerEnd chart;
    ReductionComponent* reduction = ReductionOf(&file, &chart);
    ASSERT_NE(reduction, nullptr);
    MeasuringView view(&reduction->itemLink, kWidth, kHeight);
    ShapeContainer shapes(&view, nullptr, std::make_unique<MemoryShapeList>());
    Shape* shape = testing_views::DragShape(shapes, kKindRect, kRoleStatistic, 60.0f, 40.0f, 120.0f, 100.0f, 6);
    ASSERT_NE(shape, nullptr);
    const ShapeRegion& mask = shape->derived.mask;
    const ShapeRegion& background = shape->derived.offsetRegion;
    ASSERT_FALSE(mask.IsEmpty());

    PullResult result;
    ASSERT_EQ(PullFrame(&chart, &result), 5);
    const StatisticBlock& block = *reduction->Statistic();
    ASSERT_EQ(block.filled, 1u);
    const StatisticResult& r = block.Results()[0];
    WriteRects(file.folder.File("mask"), mask, mask.originX, mask.originY);
    WriteRects(file.folder.File("ring"), background, background.originX, background.originY);
    const reduction_testing::Reference numpy = ReferenceOf("fits-star '" + path + "' " + file.folder.File("mask") + " " +
                                        file.folder.File("ring"));
    ASSERT_FALSE(numpy.empty());
    EXPECT_EQ(static_cast<double>(r.npro), numpy.at("n"));
    EXPECT_EQ(static_cast<double>(r.npro), 60.0 * 60.0 - 7.0);
    ExpectMomentsAsNumpy(r, numpy);
    ConsumerDetach(&chart);
}

// A slice along row 70 crosses the blank column and a blank pixel: without filling, the
// profile holds the fill value there and astropy's values elsewhere.
TEST_F(BlankSamples, ASliceMarksTheBlankPixelsAsGaps) {
    testing_util::ConsumerEnd chart;
    ReductionComponent* reduction = ReductionOf(&file, &chart);
    ASSERT_NE(reduction, nullptr);
    ReductionSliceValues& slice = reduction->Options().values.slice;
    slice.flagBadPixInterpolate = 0;
    slice.fillValue = -1;
    MeasuringView view(&reduction->itemLink, kWidth, kHeight);
    ShapeContainer shapes(&view, nullptr, std::make_unique<MemoryShapeList>());
    ASSERT_NE(testing_views::DragShape(shapes, kKindLine, kRoleSlice, 10.0f, 70.5f, 120.0f, 70.5f), nullptr);
    reduction->SelectKernels();

    PullResult result;
    ASSERT_EQ(PullFrame(&chart, &result), 5);
    const auto* got = static_cast<const double*>(result.image.data);
    ASSERT_NE(got, nullptr);
    ASSERT_EQ(result.image.width, 111u);
    for (int64_t x = 10; x <= 120; ++x) {
        const double w = want[static_cast<size_t>(70 * kWidth + x)];
        EXPECT_EQ(got[x - 10], std::isnan(w) ? -1.0 : w) << "x " << x;
    }
    EXPECT_TRUE(std::isnan(want[70 * kWidth + 17]) && std::isnan(want[70 * kWidth + 90]));
    ConsumerDetach(&chart);
}

}  // namespace
}  // namespace orva
