// The Reduction's pages on an opened file: the sample star field (written by the
// project's sample maker) opened into a project with the program's default chain, the
// Reduction's two pages built in the main window; "Create" → "Rectangle" makes the
// statistic item, a pull gives its histogram, another interval rule another bin count,
// and "Add to Table" a statistic table whose row holds numpy's count and mean of the
// same pixels, read from the file by astropy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include "../../reduction/statistic_fixture.h"
#include "../opened_file_support.h"
#include "../../app/shell_fixture.h"
#include "../../toolkit/gl_test_support.h"
#include "app/ui_elements.h"
#include "framework/display_lock.h"
#include "reduction/statistic_tables.h"
#include "shapes/shape.h"
#include "views/extraction_page.h"
#include "views/slice_page.h"

namespace orva {
namespace {

using testing_views::FindStage;

class ReductionRoadTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        if (std::system(ORVA_PYTHON " -c 'import astropy.io.fits, numpy' >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "astropy or numpy not installed";
        saved_ = TheReductionServices();
        InstallReductionPages();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        Stop();
        TheReductionServices() = saved_;
        ResetStatisticDialogPaths();
        ResetSlicePageState();
    }
    ReductionServices saved_;
};

// One pull of the Reduction through its consumer.
int32_t Pull(ConsumerLink* chart, PullResult* result) {
    result->window.frame = 0;
    result->window.section = -1;
    PullRequest fresh;
    fresh.readAgain = 1;
    std::lock_guard<std::recursive_mutex> hold(DisplayLock());
    return ComponentPull(chart, result, &fresh);
}

TEST_F(ReductionRoadTest, ARectangleOnTheStarFieldIsMeasuredAndTabled) {
    testing_views::OpenedFile file;
    const std::string folder = file.folder.File("");
    ASSERT_EQ(std::system((ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tools/make_sample.py' '" + folder +
                           "' >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string path = file.folder.File("stars.fits");
    ASSERT_TRUE(file.Open(path));
    auto* reduction = dynamic_cast<ReductionComponent*>(FindStage(file.source, &kReductionId));
    ASSERT_NE(reduction, nullptr);
    testing_util::ConsumerEnd chart;
    ASSERT_TRUE(ConsumerAttach(&chart, reduction));

    UIPage* page = CUICreateWindowRecord(&cui());
    ASSERT_TRUE(UIPageAttachComponent(page, reduction));
    ASSERT_EQ(ReductionPanelBuilder(page, Main(), 1), 1);
    ASSERT_EQ(ReductionPanelBuilder(page, Main(), kPageOptions), 1);
    UIElement* extraction = ExtractionPageElement(reduction);
    UIElement* slice = SlicePageElement(reduction);
    ASSERT_NE(extraction, nullptr);
    ASSERT_NE(slice, nullptr);
    // In one window the SLICE / STATISTIC page stands below the Extraction/Statistic page.
    float bottom = -1e9f, top = 1e9f;
    for (uint32_t i = 0; i < extraction->slotCount; ++i)
        bottom = std::max(bottom, extraction->slots[i]->y + extraction->slots[i]->height);
    for (uint32_t i = 0; i < slice->slotCount; ++i) top = std::min(top, slice->slots[i]->y);
    EXPECT_LT(bottom, top);

    // "Create" → "Rectangle": a statistic rectangle over the central half of the frame.
    ExtractionMenuCommand(extraction, ExtractionMenu::kCreate, 2, 1);
    Shape* shape = reduction->CurrentItemShape();
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->header.kind, kKindRect);
    EXPECT_EQ(shape->header.role, kRoleStatistic);
    EXPECT_EQ(reduction->presets.count, 1u);
    const ShapeRegion& mask = shape->derived.mask;
    ASSERT_FALSE(mask.IsEmpty());
    EXPECT_EQ(extraction->slots[kExtMask]->text, "Displayed, Statistic");
    EXPECT_EQ(extraction->slots[kExtSource]->text, "stars.fits");
    // The slice controls give way to the statistic ones.
    EXPECT_FALSE(slice->slots[kSlcFlux]->enabled);
    EXPECT_TRUE(slice->slots[kSlcHistogram]->enabled);

    PullResult result;
    ASSERT_EQ(Pull(&chart, &result), 5);
    const uint32_t bins = reduction->Statistic()->binCount;
    EXPECT_GT(bins, 1u);
    EXPECT_EQ(result.image.width, bins);
    // Another interval rule, another bin count.
    SliceMenuCommand(slice, SliceMenu::kRule, 4);
    EXPECT_EQ(reduction->Options().values.stat.intervalMethod, 3);
    ASSERT_EQ(Pull(&chart, &result), 5);
    EXPECT_NE(reduction->Statistic()->binCount, bins);
    const StatisticResult record = reduction->Statistic()->Results()[0];

    ExtractionMenuCommand(extraction, ExtractionMenu::kStatistic, 2);  // Add to Table
    CloseStatisticTables(reduction);
    const std::string table = testing_util::ReadText(file.folder.File("stars_stat.tab"));
    long long x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int npro = 0, channel = 0;
    double mean = 0.0, rms = 0.0;
    size_t from = 0;
    bool found = false;
    for (size_t nl; !found && (nl = table.find('\n', from)) != std::string::npos; from = nl + 1) {
        const std::string line = table.substr(from, nl - from);
        if (line.empty() || line[0] == ';') continue;
        found = std::sscanf(line.c_str(), "%lld %lld %lld %lld %d %lf %lf %d", &x0, &y0, &x1, &y1, &npro, &mean, &rms,
                            &channel) == 8;
    }
    ASSERT_TRUE(found) << table;
    EXPECT_EQ(static_cast<uint32_t>(npro), record.npro);

    // numpy on the pixels of the mask, read from the file.
    reduction_testing::WriteRects(file.folder.File("mask"), mask, mask.originX, mask.originY);
    const std::string out = file.folder.File("numpy.txt");
    const std::string script = file.folder.File("measure.py");
    testing_util::WriteText(script,
                            "import sys\nimport numpy as np\nfrom astropy.io import fits\n"
                            "data = fits.getdata(sys.argv[1]).astype(np.float64)\n"
                            "values = []\n"
                            "for line in open(sys.argv[2]):\n"
                            "    x0, y0, x1, y1 = map(int, line.split())\n"
                            "    values.append(data[y0:y1, x0:x1].ravel())\n"
                            "v = np.concatenate(values)\n"
                            "open(sys.argv[3], 'w').write('%d %.17g\\n' % (v.size, v.mean()))\n");
    ASSERT_EQ(std::system((ORVA_PYTHON " '" + script + "' '" + path + "' '" + file.folder.File("mask") + "' '" +
                           out + "'")
                              .c_str()),
              0);
    long long count = 0;
    double want = 0.0;
    ASSERT_EQ(std::sscanf(testing_util::ReadText(out).c_str(), "%lld %lf", &count, &want), 2);
    EXPECT_EQ(npro, count);
    EXPECT_NEAR(mean, want, std::fabs(want) * 1e-5);  // the table's "%g"
    EXPECT_NEAR(record.mean, want, std::fabs(want) * 1e-12);

    // "File" → "Save" writes the rectangle as an anchor file under its default name. Here
    // the shape has no view, so no data file to name it after: the name is the kind and
    // serial alone, in the current folder (the test's own, for the while).
    ASSERT_TRUE(ExtractionEntryEnabled(extraction, ExtractionMenu::kFile, 1));
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(file.folder.Path().c_str()), 0);
    ExtractionMenuCommand(extraction, ExtractionMenu::kFile, 1);
    ASSERT_EQ(chdir(here), 0);
    const std::string name = file.folder.File("_Rect_" + std::to_string(shape->serial) + ".msk");
    ASSERT_TRUE(testing_util::Exists(name)) << name;
    const std::string saved = testing_util::ReadText(name);
    EXPECT_NE(saved.find(";SHAPETYPE='Rect'"), std::string::npos) << saved;
    EXPECT_NE(saved.find(";SHAPEROLE='Statistic'"), std::string::npos) << saved;

    ConsumerDetach(&chart);
    UIPageDetachComponent(page, nullptr);
}

}  // namespace
}  // namespace orva
