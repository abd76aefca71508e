// A spectrum trace in a FITS file, opened through the input layer and
// extracted by a slice along it: the simple extraction with SliceFlux and the
// optimal extraction recover the flux per column, and the optimal one with a
// smaller scatter. The frame: 1024 x 256 64-bit reals, a trace on row 128
// whose cross profile is a normal of sigma 2.5 and whose flux per column is
// 1000 + 300 sin(x / 50), with Poisson noise and a read noise of 10.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/data_set_fixture.h"
#include "statistic_fixture.h"

namespace orva {
namespace {

using namespace reduction_testing;

constexpr int kWidth = 1024, kHeight = 256;
constexpr double kCentre = 128.5;  // the middle of row 128
constexpr double kSigma = 2.5, kReadNoise = 10.0;

double Flux(int x) {
    return 1000.0 + 300.0 * std::sin(x / 50.0);
}

// The share of a unit flux that falls into row y.
double RowShare(int y) {
    const double s = kSigma * std::sqrt(2.0);
    return 0.5 * (std::erf((y + 1 - kCentre) / s) - std::erf((y - kCentre) / s));
}

// A FITS file of one 64-bit real image: header cards, then big-endian values.
std::string FitsImage(const std::vector<double>& values) {
    std::string header;
    auto card = [&](const std::string& text) {
        std::string c = text;
        c.resize(80, ' ');
        header += c;
    };
    card("SIMPLE  =                    T");
    card("BITPIX  =                  -64");
    card("NAXIS   =                    2");
    card("NAXIS1  =                 " + std::to_string(kWidth));
    card("NAXIS2  =                  " + std::to_string(kHeight));
    card("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    std::string data(values.size() * 8, '\0');
    for (size_t i = 0; i < values.size(); ++i) {
        uint64_t bits;
        std::memcpy(&bits, &values[i], 8);
        for (int b = 0; b < 8; ++b) data[i * 8 + b] = static_cast<char>(bits >> (56 - 8 * b));
    }
    data.resize((data.size() + 2879) / 2880 * 2880, '\0');
    return header + data;
}

// Serves windows of the opened data set as 64-bit reals.
class DataSetStage : public UpstreamStage {
public:
    DataSetStage(ProjectItemBase* owner, DataSet* d) : UpstreamStage(owner), data_(d) {
        data.width = kWidth;
        data.height = kHeight;
        process = &Serve;
    }

private:
    static int32_t Serve(ComponentBase* component, PullResult* r, PullRequest*) {
        auto* self = static_cast<DataSetStage*>(component);
        r->image.SetTypeAndCount(0x40, 1);
        if (r->window.frame < 0) r->window.frame = 0;
        ReadWindow w = r->window;
        if (w.section < 0) w.section = 0;  // the one section
        if (!self->data_->ReadWindowData(&r->image, &w)) return 1;
        r->window = w;
        r->pending = 1;
        return 3;
    }
    DataSet* data_;
};

class SliceFileTest : public ReductionTest {};

TEST_F(SliceFileTest, SimpleAndOptimalExtractionRecoverTheFluxOfATrace) {
    std::mt19937_64 random(20261207);
    std::normal_distribution<double> readNoise(0.0, kReadNoise);
    std::vector<double> frame(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double expected = Flux(x) * RowShare(y);
            std::poisson_distribution<int64_t> photons(expected > 0 ? expected : 1e-300);
            frame[static_cast<size_t>(y) * kWidth + x] =
                static_cast<double>(expected > 1e-12 ? photons(random) : 0) + readNoise(random);
        }
    testing_util::TempFolder folder;
    const std::string path = folder.File("trace.fits");
    testing_util::WriteText(path, FitsImage(frame));

    testing_io::BuiltinFormats formats;
    testing_io::KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &keep), 2);
    ASSERT_NE(keep.kept, nullptr);

    ProjectItemBase item;
    auto* stage = new DataSetStage(&item, keep.kept);
    auto* reduction =
        static_cast<ReductionComponent*>(CreateReductionFromScript(&ui, &item, nullptr));
    ASSERT_NE(reduction, nullptr);
    ASSERT_TRUE(ConsumerAttach(&reduction->input, stage));
    Measured slice(kKindLine, kRoleSlice);
    slice.Figure(0.0f, static_cast<float>(kCentre), kWidth - 1.0f, static_cast<float>(kCentre), 21);
    ASSERT_TRUE(reduction->AddItem(slice.shape));

    PullResult result;
    // The profile per column, and its mean error and rms error about the true flux.
    auto extract = [&](int32_t method, double* meanError, double* rms) {
        ReductionSliceValues& o = reduction->Options().values.slice;
        o.extractMethod = method;
        o.flux = 1;
        reduction->Options().SetGain(1.0);
        reduction->Options().SetNoise(kReadNoise);
        reduction->SelectKernels();
        result.window.frame = 0;
        result.window.section = -1;
        PullRequest request;
        request.readAgain = 1;
        ASSERT_EQ(ReductionComponent::RunItem(reduction, &result, &request), 5);
        ASSERT_EQ(result.image.width, static_cast<uint32_t>(kWidth));
        const auto* v = static_cast<const double*>(result.image.data);
        double sum = 0.0, squares = 0.0, flux = 0.0;
        for (int x = 0; x < kWidth; ++x) {
            sum += v[x] - Flux(x);
            squares += (v[x] - Flux(x)) * (v[x] - Flux(x));
            flux += Flux(x);
        }
        *meanError = sum / flux;
        *rms = std::sqrt(squares / kWidth);
    };
    double simpleError = 1, simpleRms = 0, optimalError = 1, optimalRms = 0;
    extract(0, &simpleError, &simpleRms);
    EXPECT_EQ(reduction->extraction, &ExtractSimple);
    extract(2, &optimalError, &optimalRms);
    EXPECT_EQ(reduction->extraction, &ExtractOptimal);
    EXPECT_LT(std::fabs(simpleError), 0.02);
    EXPECT_LT(std::fabs(optimalError), 0.02);
    // The scatter: about 56 for the plain sum of 21 pixels, 45 weighted (a numpy simulation).
    EXPECT_GT(simpleRms, 45.0);
    EXPECT_LE(optimalRms, 0.9 * simpleRms) << simpleRms;

    ConsumerDetach(&reduction->input);
    reduction->Release();
    stage->Release();
}

}  // namespace
}  // namespace orva
