// End to end: a 256 x 256 FITS file written by astropy, opened through the open road,
// read by its Source, through the Processing stage and its affine filter to a consumer.
// At zoom 2 with bilinear resampling the consumer gets the reference's 512 x 512
// values; at zoom 1, angle 0 and no mirror it gets the Source's frame bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "io/data_set_fixture.h"
#include "opened_file_support.h"
#include "processing/affine_test_support.h"
#include "processing/modules/builtin_modules.h"
#include "processing/modules/convolver_module.h"

namespace orva {
namespace {

using namespace testing_util;
using testing_views::OpenedFile;

// The sample the file holds at (x, y).
double Stored(int64_t x, int64_t y) { return static_cast<double>((x * 7 + y * 13) % 1000 - 300); }

// A width x height FITS frame of those samples, written by astropy and opened.
::testing::AssertionResult OpenRamp(OpenedFile* file, int width, int height) {
    const std::string path = file->folder.File("ramp.fits");
    int status = -1;
    const std::string out = testing_io::RunCommand(
        ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits\n"
        "y, x = np.mgrid[0:" +
            std::to_string(height) + ", 0:" + std::to_string(width) +
            "]\n"
            "fits.PrimaryHDU(((x * 7 + y * 13) % 1000 - 300).astype(np.int16)).writeto('" +
            path + "')\" 2>&1",
        &status);
    if (status != 0) return ::testing::AssertionFailure() << out;
    if (!file->Open(path)) return ::testing::AssertionFailure() << "cannot open " << path;
    return ::testing::AssertionSuccess();
}

TEST(AffinePipelineTest, AFitsFrameZoomedTwiceBilinearAndAtTheIdentity) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, numpy'"))
        GTEST_SKIP() << "astropy not installed";
    OpenedFile file;
    ASSERT_TRUE(OpenRamp(&file, 256, 256));
    ProcessingComponent* host = file.processing;
    ASSERT_EQ(host->chain.count, 1);
    FilterInstance* affine = host->chain.first;
    ASSERT_STREQ(affine->Title(), "Affine Transformations");
    auto pull = [](ConsumerLink* link, int32_t width, int32_t height, PullResult* result) {
        result->pending = 0;
        result->window = ReadWindow{};
        result->window.width = width;
        result->window.height = height;
        PullRequest request;
        return ComponentPull(link, result, &request);
    };

    // The identity: the affine filter is skipped and the consumer gets the Source's
    // own frame, bit for bit, which holds the file's values.
    PullResult direct, through;
    ASSERT_EQ(pull(&file.direct, 256, 256, &direct), 3);
    ASSERT_EQ(pull(&file.consumer, 256, 256, &through), 3);
    EXPECT_EQ(affine->skip, 1);
    ASSERT_EQ(std::tuple(direct.image.width, direct.image.height), std::tuple(256u, 256u));
    ASSERT_EQ(std::tuple(through.image.width, through.image.height), std::tuple(256u, 256u));
    EXPECT_EQ(std::memcmp(through.image.data, direct.image.data, 256 * 256 * sizeof(double)), 0);
    const auto* d = static_cast<const double*>(direct.image.data);
    int wrong = 0;
    for (int64_t y = 0; y < 256; ++y)
        for (int64_t x = 0; x < 256; ++x)
            if (d[y * 256 + x] != Stored(x, y) && ++wrong <= 3)
                ADD_FAILURE() << x << "," << y << ": " << d[y * 256 + x] << " want " << Stored(x, y);
    EXPECT_EQ(wrong, 0);

    // Zoom 2, bilinear: the 512 x 512 output equals the plain double reference.
    AffineModuleState* s = AffineStateOf(affine);
    AffineRecordSetZoomX(&s->head.record, 2.0);
    AffineRecordSetZoomY(&s->head.record, 2.0);
    s->head.flags = kAffineFilterOn;
    s->filterIndex = 0;
    AffineNotifyChange(affine, true);
    EXPECT_EQ(affine->skip, 0);
    const FrameDataRecord* described = host->QueryFrameData(0, 0);
    ASSERT_NE(described, nullptr);
    ASSERT_EQ(std::tuple(described->width, described->height), std::tuple(int64_t{512}, int64_t{512}));
    PullResult zoomed;
    ASSERT_EQ(pull(&file.consumer, 512, 512, &zoomed), 3);
    ASSERT_EQ(std::tuple(zoomed.image.width, zoomed.image.height), std::tuple(512u, 512u));
    EXPECT_EQ(zoomed.image.state, 0);  // every corner has data
    Frame frame{256, 256, 1, {}};
    for (int64_t y = 0; y < 256; ++y)
        for (int64_t x = 0; x < 256; ++x) frame.values.push_back(Stored(x, y));
    AffineRecord fitted = s->head.record;
    AffineSize size;
    AffineRecordFitFrame(&fitted, &size, AffineSize{256, 256});
    const Reference ref{frame, fitted, 2, -DBL_MAX};
    const auto* v = static_cast<const double*>(zoomed.image.data);
    wrong = 0;
    for (int64_t y = 0; y < 512; ++y)
        for (int64_t x = 0; x < 512; ++x)
            if (v[y * 512 + x] != ref.Sample(x, y, 0) && ++wrong <= 3)
                ADD_FAILURE() << x << "," << y << ": " << v[y * 512 + x] << " want " << ref.Sample(x, y, 0);
    EXPECT_EQ(wrong, 0);

    // Back to the identity: skipped again, the Source's frame once more.
    AffineRecordSetZoomX(&s->head.record, 1.0);
    AffineRecordSetZoomY(&s->head.record, 1.0);
    AffineNotifyChange(affine, true);
    EXPECT_EQ(affine->skip, 1);
    PullResult again;
    ASSERT_EQ(pull(&file.consumer, 256, 256, &again), 3);
    ASSERT_EQ(std::tuple(again.image.width, again.image.height), std::tuple(256u, 256u));
    EXPECT_EQ(std::memcmp(again.image.data, direct.image.data, 256 * 256 * sizeof(double)), 0);
}

// The convolver after the affine filter (zoom 2 along X, then "Blur") sees the edges of the
// affine's own frame: its output is "Blur" of the zoomed frame with the edge rows and
// columns repeated, as it is of any frame alone; never the affine's background beyond it.
TEST(AffinePipelineTest, AConvolverAfterTheAffineFilterRepeatsTheZoomedFramesEdges) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, numpy'"))
        GTEST_SKIP() << "astropy not installed";
    OpenedFile file;
    ASSERT_TRUE(OpenRamp(&file, 64, 48));
    FilterChain& chain = file.processing->chain;
    FilterInstance* affine = chain.first;
    AffineModuleState* s = AffineStateOf(affine);
    AffineRecordSetZoomX(&s->head.record, 2.0);
    s->head.flags = kAffineFilterOn;
    s->filterIndex = 1;  // bilinear
    AffineNotifyChange(affine, true);
    ASSERT_EQ(affine->skip, 0);
    auto pull = [&](int32_t width, int32_t height, PullResult* result) {
        result->pending = 0;
        result->window = ReadWindow{};
        result->window.width = width;
        result->window.height = height;
        PullRequest request;
        request.readAgain = 1;
        return ComponentPull(&file.consumer, result, &request);
    };
    PullResult zoomed;
    ASSERT_EQ(pull(128, 48, &zoomed), 3);
    ASSERT_EQ(std::tuple(zoomed.image.width, zoomed.image.height), std::tuple(128u, 48u));
    const std::vector<double> a(static_cast<const double*>(zoomed.image.data),
                                static_cast<const double*>(zoomed.image.data) + 128 * 48);

    // The convolver, moved behind the affine filter, on "Blur" (1 1 1 / 1 2 1 / 1 1 1, a tenth).
    FilterInstance* convolver = nullptr;
    ASSERT_EQ(filterAdd(&chain, &ConvolverModuleDescriptor(), &convolver), 0);
    ASSERT_EQ(chain.first, convolver);
    ASSERT_TRUE(ChainMoveInstance(&chain, convolver, false));
    ASSERT_EQ(std::tuple(chain.first, chain.last), std::tuple(affine, convolver));
    NegotiateChainFormat(&chain);
    ConvolverState* c = ConvolverStateOf(convolver);
    c->currentGroup = 1;
    c->currentPreset = 2;
    ASSERT_GE(ConvolverPrepare(c, nullptr, 3), 0);
    ASSERT_STREQ(ConvolverCurrentPreset(c)->name, "Blur");
    ChainClearDone(chain.first);
    ASSERT_EQ(convolver->skip, 0);
    PullResult blurred;
    ASSERT_EQ(pull(128, 48, &blurred), 3);
    ASSERT_EQ(std::tuple(blurred.image.width, blurred.image.height), std::tuple(128u, 48u));
    const auto* v = static_cast<const double*>(blurred.image.data);
    const double w[3][3] = {{1, 1, 1}, {1, 2, 1}, {1, 1, 1}};
    int wrong = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 128; ++x) {
            double want = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    want += w[dy + 1][dx + 1] *
                            a[std::clamp(y + dy, 0, 47) * 128 + std::clamp(x + dx, 0, 127)];
            want /= 10.0;
            if (!(std::fabs(v[y * 128 + x] - want) <= 1e-9 * std::max(1.0, std::fabs(want))) &&
                ++wrong <= 3)
                ADD_FAILURE() << x << "," << y << ": " << v[y * 128 + x] << " want " << want;
        }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace orva
