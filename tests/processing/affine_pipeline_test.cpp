// End to end: a 256 x 256 FITS file written by astropy, read by the program's FITS
// reader into a data set, served by a source stage as 64-bit reals, through the
// Processing stage and its affine filter to a consumer. At zoom 2 with bilinear
// resampling the consumer gets the reference's 512 x 512 values; at the identity it
// gets the source's frame bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "affine_test_support.h"
#include "io/data_set_fixture.h"

namespace orva {
namespace {

using namespace testing_util;

// The sample the file holds at (x, y).
double Stored(int64_t x, int64_t y) { return static_cast<double>((x * 7 + y * 13) % 1000 - 300); }

// Serves the frames of an opened data set as 64-bit reals, one channel, as the
// program's Source does; its frame data gives the section's size.
class DataSetSource : public ComponentBase {
public:
    explicit DataSetSource(DataSet* d) : ComponentBase(nullptr), data(d) {
        process = &Produce;
        extent.width = d->cropSizeX;
        extent.height = d->cropSizeY;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = FormatRequest{0x40, 8, 1, 2, 0, 0};
        if (link != nullptr && !link->AcceptFormat(r)) return false;
        OutputFormat agreed{0x40, 8, 1, 2, {0, 0}};
        return data->SetOutputFormat(&agreed);
    }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        extent.frame = frame;
        extent.section = section;
        return &extent;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<DataSetSource*>(c);
        ReadWindow w = r->window;
        if (w.frame < 0) w.frame = 0;
        if (w.section < 0) w.section = 0;
        if (!s->data->ReadWindowData(&r->image, &w)) return 1;
        r->pending = 1;
        return 3;
    }
    DataSet* data;
    FrameDataRecord extent;
};

TEST(AffinePipelineTest, AFitsFrameZoomedTwiceBilinearAndAtTheIdentity) {
    if (!testing_io::HaveTool("/usr/bin/python3 -c 'import astropy.io.fits'")) GTEST_SKIP() << "astropy not installed";
    const TempFolder dir;
    const std::string path = dir.File("ramp.fits");
    int status = -1;
    testing_io::RunCommand("/usr/bin/python3 -c \"import numpy as np; from astropy.io import fits\n"
                           "y, x = np.mgrid[0:256, 0:256]\n"
                           "fits.PrimaryHDU(((x * 7 + y * 13) % 1000 - 300).astype(np.int16)).writeto('" +
                               path + "')\"",
                           &status);
    ASSERT_EQ(status, 0);
    testing_io::BuiltinFormats formats;
    testing_io::KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &keep), 2);
    ASSERT_NE(keep.kept, nullptr);

    ProjectItemBase item;
    auto* source = new DataSetSource(keep.kept);
    auto* host = new ProcessingComponent(&item);
    FilterChainInit(&host->chain);
    ConsumerEnd consumer;
    ASSERT_TRUE(ConsumerAttach(&host->chain, source));
    ASSERT_TRUE(ConsumerAttach(&consumer, host));
    FilterInstance* affine = host->chain.first;
    auto pull = [&](int32_t width, int32_t height, PullResult* out) {
        out->pending = 0;
        out->window = ReadWindow{};
        out->window.width = width;
        out->window.height = height;
        PullRequest request;
        return ComponentPull(&consumer, out, &request);
    };

    // The identity: the source's own frame, bit for bit.
    PullResult direct, through;
    direct.window.width = direct.window.height = 256;
    ASSERT_EQ(DataSetSource::Produce(source, &direct, nullptr), 3);
    ASSERT_EQ(pull(256, 256, &through), 3);
    EXPECT_EQ(affine->skip, 1);
    ASSERT_EQ(std::tuple(through.image.width, through.image.height), std::tuple(256u, 256u));
    EXPECT_EQ(std::memcmp(through.image.data, direct.image.data, 256 * 256 * sizeof(double)), 0);
    EXPECT_EQ(static_cast<const double*>(through.image.data)[255 * 256 + 17], Stored(17, 255));

    // Zoom 2, bilinear: the 512 x 512 output equals the plain double reference.
    AffineModuleState* s = AffineStateOf(affine);
    AffineRecordSetZoomX(&s->head.record, 2.0);
    AffineRecordSetZoomY(&s->head.record, 2.0);
    s->head.flags = kAffineFilterOn;
    s->filterIndex = 0;
    AffineNotifyChange(affine, true);
    const FrameDataRecord* d = host->QueryFrameData(0, 0);
    ASSERT_EQ(std::tuple(d->width, d->height), std::tuple(int64_t{512}, int64_t{512}));
    PullResult zoomed;
    ASSERT_EQ(pull(512, 512, &zoomed), 3);
    EXPECT_EQ(zoomed.image.state, 0);  // every corner has data
    Frame frame{256, 256, 1, {}};
    for (int64_t y = 0; y < 256; ++y)
        for (int64_t x = 0; x < 256; ++x) frame.values.push_back(Stored(x, y));
    AffineRecord fitted = s->head.record;
    AffineSize size;
    AffineRecordFitFrame(&fitted, &size, AffineSize{256, 256});
    const Reference ref{frame, fitted, 2, -DBL_MAX};
    const auto* v = static_cast<const double*>(zoomed.image.data);
    int wrong = 0;
    for (int64_t y = 0; y < 512; ++y)
        for (int64_t x = 0; x < 512; ++x)
            if (v[y * 512 + x] != ref.Sample(x, y, 0) && ++wrong <= 3)
                ADD_FAILURE() << x << "," << y << ": " << v[y * 512 + x] << " want " << ref.Sample(x, y, 0);
    EXPECT_EQ(wrong, 0);

    ConsumerDetach(&consumer);
    host->Release();
    source->Release();
}

}  // namespace
}  // namespace orva
