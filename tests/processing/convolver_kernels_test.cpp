// The convolution kernels against OpenCV (filter2D with the normalised matrix and
// repeated edges; blur for the mean) for every preset, one and three channels and
// odd sizes down to one pixel wide or high, on both loop builds; the variants for
// samples without data against the reference written in the test support.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "convolver_test_support.h"
#include "data/kernel_test_support.h"

#ifdef ORVA_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace orva {
namespace {

using namespace testing_util;
using testing_data::OnBothKernelPaths;

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{7, 5}, {13, 11}, {1, 9}, {9, 1}, {1, 1}, {2, 3}, {37, 3}};

// The largest difference between two frames, and whether they hold the same bits.
double MaxDifference(const TestFrame& a, const TestFrame& b) {
    double d = 0;
    for (size_t i = 0; i < a.v.size(); ++i) d = std::max(d, std::abs(a.v[i] - b.v[i]));
    return d;
}
bool SameBits(const TestFrame& a, const TestFrame& b) {
    return a.v.size() == b.v.size() && std::memcmp(a.v.data(), b.v.data(), a.v.size() * sizeof(double)) == 0;
}

// The same bits, but that any NaN matches any NaN: where two NaNs of different signs meet
// in a sum, the one that survives is the first operand of the add, and a compiler may swap
// the operands (the scalar loop's sign of NaN differs between optimisation levels).
bool SameValues(const TestFrame& a, const TestFrame& b) {
    if (a.v.size() != b.v.size()) return false;
    for (size_t i = 0; i < a.v.size(); ++i)
        if (!(std::isnan(a.v[i]) && std::isnan(b.v[i])) && std::memcmp(&a.v[i], &b.v[i], sizeof(double)) != 0)
            return false;
    return true;
}

#ifdef ORVA_HAVE_OPENCV
cv::Mat MatOf(TestFrame& f) { return cv::Mat(f.height, f.width, CV_64FC(f.channels), f.v.data()); }

TEST(ConvolverKernelTest, EveryPresetAgreesWithFilter2D) {
    uint32_t seed = 1;
    for (int channels : {1, 3}) {
        for (const std::string& name : PresetNames()) {
            auto state = PreparedState(name, channels);
            const std::vector<double> w = Weights(*state);
            double weightSum = 0;
            for (double x : w) weightSum += std::abs(x);
            cv::Mat k(3, 3, CV_64F);
            for (int i = 0; i < 9; ++i) k.at<double>(i / 3, i % 3) = w[static_cast<size_t>(i)];
            for (const Size& size : kSizes) {
                TestFrame in = RandomFrame(size.width, size.height, channels, seed++);
                TestFrame want = in;
                cv::Mat dst = MatOf(want);
                cv::filter2D(MatOf(in), dst, CV_64F, k, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
                ASSERT_EQ(dst.data, reinterpret_cast<uchar*>(want.v.data()));
                OnBothKernelPaths([&] {
                    const TestFrame got = RunKernel(state->plain, state.get(), in);
                    EXPECT_LE(MaxDifference(got, want), 1e-12 * weightSum * in.MaxAbs())
                        << name << " " << channels << "ch " << size.width << "x" << size.height;
                });
            }
        }
    }
}

TEST(ConvolverKernelTest, TheMeanAgreesWithBlur) {
    auto one = PreparedState("Blur | Mean", 1), three = PreparedState("Blur | Mean", 3);
    EXPECT_EQ(one->plain, &ConvolverMeanC1);
    EXPECT_EQ(three->plain, &ConvolverMeanC3);
    uint32_t seed = 100;
    for (const ConvolverState* state : {one.get(), three.get()}) {
        for (const Size& size : kSizes) {
            TestFrame in = RandomFrame(size.width, size.height, state->channels, seed++);
            TestFrame want = in;
            cv::Mat dst = MatOf(want);
            cv::blur(MatOf(in), dst, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
            OnBothKernelPaths([&] {
                const TestFrame got = RunKernel(state->plain, state, in);
                EXPECT_LE(MaxDifference(got, want), 4e-15 * in.MaxAbs())
                    << state->channels << "ch " << size.width << "x" << size.height;
            });
        }
    }
}
#endif

TEST(ConvolverKernelTest, BothLoopBuildsGiveTheSameBitsAsTheWrittenOutSum) {
    // The weighted sums follow the order written in the reference exactly.
    for (int channels : {1, 3}) {
        for (const char* name : {"Contrast", "Gaussian", "Blur", "Edge -8", "Contrast [vertical]"}) {
            auto state = PreparedState(name, channels);
            const TestFrame in = RandomFrame(41, 6, channels, 7);
            const TestFrame want = Reference(in, Weights(*state), false);
            OnBothKernelPaths([&] { EXPECT_TRUE(SameBits(RunKernel(state->plain, state.get(), in), want)) << name; });
        }
    }
}

TEST(ConvolverKernelTest, SamplesWithoutDataFollowTheBlankRule) {
    // By hand: "Contrast" (9 at the centre, -1 around), a centre of 5, ones around it
    // and one blank neighbour, which counts as 5: 45 - 7 - 5.
    {
        auto state = PreparedState("Contrast", 1);
        TestFrame in{3, 3, 1, std::vector<double>(9, 1.0)};
        in.At(1, 1, 0) = 5.0;
        in.At(2, 0, 0) = kConvolverBlank;
        const TestFrame out = RunKernel(state->blank, state.get(), in);
        EXPECT_EQ(out.At(1, 1, 0), 33.0);
        EXPECT_EQ(out.At(2, 0, 0), kConvolverBlank);  // a blank centre stays blank
        auto mean = PreparedState("Blur | Mean", 1);
        // Mean: eight samples and the blank's stand-in 5: (7 + 5 + 5) / 9.
        EXPECT_NEAR(RunKernel(mean->blank, mean.get(), in).At(1, 1, 0), 17.0 / 9.0, 1e-15);
    }
    // Against the reference: every preset kind, one and three channels, a tenth of the
    // samples without data (edges and corners among them); without blanks the blank
    // variant gives the plain variant's bits.
    uint32_t seed = 200;
    for (int channels : {1, 3}) {
        for (const char* name : {"Contrast", "Gaussian", "Edge -8", "Embos", "Blur | Mean"}) {
            auto state = PreparedState(name, channels);
            const bool mean = std::string(name) == "Blur | Mean";
            for (const Size& size : kSizes) {
                const TestFrame in = RandomFrame(size.width, size.height, channels, seed++, 0.1);
                const TestFrame want = Reference(in, Weights(*state), true);
                const TestFrame clean = RandomFrame(size.width, size.height, channels, seed++);
                OnBothKernelPaths([&] {
                    const TestFrame got = RunKernel(state->blank, state.get(), in);
                    if (mean) {
                        for (size_t i = 0; i < got.v.size(); ++i) {
                            if (want.v[i] == kConvolverBlank) EXPECT_EQ(got.v[i], kConvolverBlank);
                            else EXPECT_NEAR(got.v[i], want.v[i], 4e-15 * in.MaxAbs()) << i;
                        }
                    } else {
                        EXPECT_TRUE(SameBits(got, want)) << name << " " << size.width << "x" << size.height;
                    }
                    EXPECT_TRUE(SameBits(RunKernel(state->blank, state.get(), clean),
                                         RunKernel(state->plain, state.get(), clean)))
                        << name;
                });
            }
        }
    }
}

// A NaN sample (a float file's missing sample, or an integer one its BLANK marks) is
// blank like the marker: by hand, "Blur" (weights 1 1 1 / 1 2 1 / 1 1 1, times 0.1) over a
// 4 x 3 frame of 10 with one NaN and one marker: the NaN's neighbours count it as their
// centre, the NaN and the marker stay where they were, and nothing else turns NaN.
TEST(ConvolverKernelTest, NaNSamplesAreBlankLikeTheMarker) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int channels : {1, 3}) {
        auto blur = PreparedState("Blur", channels);
        auto mean = PreparedState("Blur | Mean", channels);
        TestFrame in{4, 3, channels, std::vector<double>(static_cast<size_t>(12 * channels), 10.0)};
        for (int c = 0; c < channels; ++c) {
            in.At(1, 1, c) = nan;
            in.At(3, 0, c) = kConvolverBlank;
            in.At(0, 0, c) = 20.0;
        }
        OnBothKernelPaths([&] {
            const TestFrame got = RunKernel(blur->blank, blur.get(), in);
            const TestFrame avg = RunKernel(mean->blank, mean.get(), in);
            for (int c = 0; c < channels; ++c) {
                EXPECT_TRUE(std::isnan(got.At(1, 1, c)));
                EXPECT_EQ(got.At(3, 0, c), kConvolverBlank);
                // (0,0), edges repeated: 20 under weights 1+1+1+2, 10 under four weights of 1,
                // and the NaN at (1,1) counted as the centre's 20: (100 + 40 + 20) / 10.
                EXPECT_DOUBLE_EQ(got.At(0, 0, c), 16.0);
                // (2,1): the NaN at (1,1) and the marker at (3,0) both count as its 10.
                EXPECT_DOUBLE_EQ(got.At(2, 1, c), 10.0);
                // (1,0): 20 at (0,0) twice (rows -1 and 0), the NaN once as 10: all others 10.
                EXPECT_DOUBLE_EQ(got.At(1, 0, c), (20.0 * 2 + 10.0 * 8) / 10.0);
                EXPECT_DOUBLE_EQ(avg.At(1, 0, c), (20.0 * 2 + 10.0 * 7) / 9.0);
                int nans = 0;
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 4; ++x) nans += std::isnan(got.At(x, y, c)) ? 1 : 0;
                EXPECT_EQ(nans, 1);
            }
        });
    }
}

// Whether a block holds NaN: anywhere in its rows, but not past a row's samples (the stride's
// gap) nor in the marker or infinities.
TEST(ConvolverKernelTest, TheScanForNaNLooksAtEverySampleOfTheRowsOnly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (size_t samples : {1u, 3u, 4u, 5u, 17u}) {
        std::vector<double> rows(samples * 3 + 6, 1.0);  // stride samples + 2
        const size_t stride = samples + 2;
        OnBothKernelPaths([&] {
            EXPECT_FALSE(ConvolverInputHoldsNaN(rows.data(), stride, samples, 3));
            for (size_t r = 0; r < 3; ++r)
                for (size_t k = 0; k < stride; ++k) {
                    std::vector<double> v = rows;
                    v[r * stride + k] = nan;
                    EXPECT_EQ(ConvolverInputHoldsNaN(v.data(), stride, samples, 3), k < samples) << samples << " " << r << " " << k;
                    v[r * stride + k] = kConvolverBlank;
                    EXPECT_FALSE(ConvolverInputHoldsNaN(v.data(), stride, samples, 3));
                    v[r * stride + k] = -std::numeric_limits<double>::infinity();
                    EXPECT_FALSE(ConvolverInputHoldsNaN(v.data(), stride, samples, 3));
                }
        });
    }
}

// The mean as the kernels sum it: each column of three samples top to bottom, then the
// three column sums left to right, times the factor; a blank neighbour counts as the
// centre, a blank centre stays blank.
TestFrame MeanReference(const TestFrame& in) {
    TestFrame out{in.width, in.height, in.channels, std::vector<double>(in.v.size())};
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            for (int c = 0; c < in.channels; ++c) {
                const double centre = in.At(x, y, c);
                auto at = [&](int dx, int dy) {
                    const double s = in.At(std::clamp(x + dx, 0, in.width - 1), std::clamp(y + dy, 0, in.height - 1), c);
                    return IsBlankSample(s) ? centre : s;
                };
                double sums[3];
                for (int dx = -1; dx <= 1; ++dx) sums[dx + 1] = (at(dx, -1) + at(dx, 0)) + at(dx, 1);
                out.At(x, y, c) =
                    IsBlankSample(centre) ? centre : ((sums[0] + sums[1]) + sums[2]) * kConvolverMeanFactor;
            }
    return out;
}

// Wide rows with few blank samples, runs of them and blanks on the edges and between
// neighbouring groups of samples: the blank variants give the written-out rule's bits,
// for whole frames and for blocks inside a larger input, on both loop builds.
TEST(ConvolverKernelTest, FewBlanksInWideRowsFollowTheBlankRule) {
    uint32_t seed = 400;
    for (int channels : {1, 3}) {
        for (const char* name : {"Contrast", "Edge -8", "Gaussian", "Blur | Mean"}) {
            auto state = PreparedState(name, channels);
            const bool mean = std::string(name) == "Blur | Mean";
            for (double share : {0.003, 0.02, 0.2}) {
                TestFrame in = RandomFrame(301, 9, channels, seed++, share);
                // A run of blanks, both edge columns, the corners.
                for (int x = 140; x < 150; ++x) in.At(x, 4, 0) = kConvolverBlank;
                for (int y = 0; y < 9; y += 2) {
                    in.At(0, y, channels - 1) = kConvolverBlank;
                    in.At(300, y + 1 < 9 ? y + 1 : y, 0) = kConvolverBlank;
                }
                const TestFrame want = mean ? MeanReference(in) : Reference(in, Weights(*state), true);
                OnBothKernelPaths([&] {
                    const TestFrame whole = RunKernel(state->blank, state.get(), in);
                    EXPECT_TRUE(SameBits(whole, want)) << name << " " << channels << "ch, share " << share;
                    // Blocks whose edges fall inside the input.
                    for (const auto& [x0, y0, w, h] : {std::tuple{1, 1, 299, 7}, std::tuple{37, 0, 200, 9},
                                                       std::tuple{0, 3, 133, 4}, std::tuple{150, 2, 151, 1}}) {
                        std::vector<double> out(static_cast<size_t>(w) * h * channels);
                        ConvolverBlock b = BlockOf(in, x0, y0, w, h, out.data(), w);
                        ASSERT_EQ(state->blank(state.get(), &b), 0);
                        int mismatches = 0;
                        for (int y = 0; y < h; ++y)
                            for (int x = 0; x < w; ++x)
                                for (int c = 0; c < channels; ++c) {
                                    const double got = out[(static_cast<size_t>(y) * w + x) * channels + c];
                                    const double expected = want.At(x + x0, y + y0, c);
                                    if (std::memcmp(&got, &expected, sizeof got) != 0 &&
                                        ++mismatches <= 3)
                                        ADD_FAILURE() << name << " block " << x0 << "," << y0 << " " << w << "x" << h
                                                      << ": " << x << "," << y << "," << c;
                                }
                    }
                });
            }
        }
    }
}

// Blanks beside NaN, infinities, halves and the largest finite values, in rows whose
// widths leave every remainder after the loops' runs of samples and across the words
// of their notes: the blank variants give the written-out rule's values on every path.
TEST(ConvolverKernelTest, BlanksBesideSpecialValuesFollowTheBlankRule) {
    const double special[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), 0.5, -2.5, DBL_MAX, -0.0};
    uint32_t seed = 700;
    for (int channels : {1, 3}) {
        for (const char* name : {"Contrast", "Blur", "Blur | Mean"}) {
            auto state = PreparedState(name, channels);
            const bool mean = std::string(name) == "Blur | Mean";
            for (int width : {22, 23, 24, 25, 26, 27, 28, 29, 45, 86}) {
                TestFrame in = RandomFrame(width, 5, channels, seed++, 0.05);
                for (size_t i = 3; i < in.v.size(); i += 11) in.v[i] = special[i % std::size(special)];
                const TestFrame want = mean ? MeanReference(in) : Reference(in, Weights(*state), true);
                // Every path gives the baseline loop's bits; those are the written-out rule's,
                // but for the sign of a NaN, which the rule leaves open.
                std::vector<TestFrame> got;
                OnBothKernelPaths([&] { got.push_back(RunKernel(state->blank, state.get(), in)); });
                for (const TestFrame& g : got) EXPECT_TRUE(SameValues(g, got.back())) << name << " " << width;
                for (size_t i = 0; i < want.v.size(); ++i) {
                    if (std::isnan(want.v[i])) EXPECT_TRUE(std::isnan(got.back().v[i])) << name << " " << i;
                    else EXPECT_EQ(std::memcmp(&got.back().v[i], &want.v[i], sizeof(double)), 0) << name << " " << i;
                }
            }
        }
    }
}

// One blank sample at every column of the top, middle and bottom row of a three-row frame
// in turn (a 70-pixel row holds whole runs of samples and a remainder): every output
// sample that sees it, and only those, follows the blank rule, whatever the blank's
// place among the samples the vector loops form together.
TEST(ConvolverKernelTest, ALoneBlankAtEveryColumnFollowsTheBlankRule) {
    for (int channels : {1, 3}) {
        for (const char* name : {"Contrast", "Blur | Mean"}) {
            auto state = PreparedState(name, channels);
            const bool mean = std::string(name) == "Blur | Mean";
            const TestFrame clean = RandomFrame(70, 3, channels, 900 + static_cast<uint32_t>(channels));
            for (double marker : {kConvolverBlank, std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN()})
            OnBothKernelPaths([&] {
                int failures = 0;
                for (int y = 0; y < 3; ++y)
                    for (int x = 0; x < 70 && failures < 3; ++x) {
                        TestFrame in = clean;
                        in.At(x, y, channels - 1) = marker;
                        const TestFrame want = mean ? MeanReference(in) : Reference(in, Weights(*state), true);
                        if (!SameBits(RunKernel(state->blank, state.get(), in), want)) {
                            ++failures;
                            ADD_FAILURE() << name << " " << channels << "ch, " << marker << " at " << x << "," << y;
                        }
                    }
            });
        }
    }
}

// Results stored past the caches: the output starting at each place relative to a 32-byte
// boundary, rows whose stride keeps that place or not, blocks inside the input, and a
// blank beside the first and last samples of each row and on both sides of every place
// where the samples stored together change: the blank variants give the written-out
// rule's bits, and the same bits when every result stays in the caches.
TEST(ConvolverKernelTest, BlankResultsStoredPastTheCachesFollowTheBlankRule) {
    for (const auto& [name, channels] : {std::pair{"Contrast", 1}, std::pair{"Blur | Mean", 1},
                                         std::pair{"Contrast", 3}, std::pair{"Blur | Mean", 3}}) {
        auto state = PreparedState(name, channels);
        const bool mean = std::string(name) == "Blur | Mean";
        TestFrame in = RandomFrame(613, 6, channels, 1100 + static_cast<uint32_t>(channels), 0.004);
        for (int x : {0, 1, 2, 3, 4, 5, 41, 42, 43, 44, 45, 46, 47, 127, 128, 129, 130, 131, 132, 133, 607, 608, 609,
                      610, 611, 612})
            in.At(x, x % 6, x % channels) = kConvolverBlank;
        const TestFrame want = mean ? MeanReference(in) : Reference(in, Weights(*state), true);
        // {x0, y0, width, height, output stride}
        for (const auto& [x0, y0, w, h, stride] :
             {std::tuple{0, 0, 613, 6, 616}, std::tuple{0, 0, 613, 6, 613}, std::tuple{1, 1, 600, 4, 600},
              std::tuple{3, 0, 605, 6, 608}, std::tuple{2, 2, 9, 3, 12}, std::tuple{0, 5, 613, 1, 613}}) {
            for (int offset = 0; offset < 4; ++offset) {
                std::vector<double> out(static_cast<size_t>(stride) * h * channels + 8, -1.0);
                ConvolverBlock b = BlockOf(in, x0, y0, w, h, out.data() + offset, stride);
                kernel::StreamStoresFromForTest(0);
                ASSERT_EQ(state->blank(state.get(), &b), 0);
                const std::vector<double> streamed = out;
                kernel::StreamStoresFromForTest(kernel::kStreamStoreBytes);
                ASSERT_EQ(state->blank(state.get(), &b), 0);
                EXPECT_EQ(std::memcmp(streamed.data(), out.data(), out.size() * sizeof(double)), 0)
                    << name << " " << channels << "ch, block " << x0 << "," << y0 << " offset " << offset;
                int mismatches = 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        for (int c = 0; c < channels; ++c) {
                            const double got = streamed[(static_cast<size_t>(y) * stride + x) * channels + c + offset];
                            const double expected = want.At(x + x0, y + y0, c);
                            if (std::memcmp(&got, &expected, sizeof got) != 0 && ++mismatches <= 3)
                                ADD_FAILURE() << name << " " << channels << "ch, block " << x0 << "," << y0
                                              << " offset " << offset << ": " << x << "," << y << "," << c;
                        }
                // Nothing outside the block's rows is written.
                EXPECT_EQ(streamed[0], offset > 0 ? -1.0 : streamed[0]);
                EXPECT_EQ(streamed.back(), -1.0);
            }
        }
    }
}

TEST(ConvolverKernelTest, AnOutputInsideALargerInputUsesTheRealNeighbours) {
    auto state = PreparedState("Contrast *+ [soft]", 3);
    const TestFrame in = RandomFrame(9, 7, 3, 300);
    const TestFrame whole = RunKernel(state->plain, state.get(), in);
    // The output is pixels (2..6, 3..5) of the input.
    std::vector<double> out(5 * 3 * 3);
    ConvolverBlock b = BlockOf(in, 2, 3, 5, 3, out.data(), 5);
    ASSERT_EQ(state->plain(state.get(), &b), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(out[(static_cast<size_t>(y) * 5 + x) * 3 + c], whole.At(x + 2, y + 3, c));

    // A block reaching past its input, or without memory to read, is refused.
    b.originX = 5;
    EXPECT_EQ(state->plain(state.get(), &b), -1);
    b.originX = 2;
    b.input = nullptr;
    EXPECT_EQ(state->blank(state.get(), &b), -1);
}

}  // namespace
}  // namespace orva
