// Display rendering: the statistics kernels against numpy, the automatic range
// and its byte mapping, channel reduction, the size rules, bilinear enlargement
// against Pillow and reduction against a numpy evaluation of the coefficient
// rule, strips and previews drawn as curves, and a refused coefficient block.
#include "transform/display_render.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/curve_plot.h"
#include "test_support.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing_transform::ReadBytes;
using testing_transform::RenderReference;
using testing_util::CapturedLog;
using testing_util::TempFolder;

template <class T>
void WriteRaw(const std::string& path, const std::vector<T>& values) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(values.data(), sizeof(T), values.size(), f);
    std::fclose(f);
}

// The samples put into a bitmap as its window does (its block reused when it
// holds them), dirty.
template <class T>
void Fill(DisplayBitmap* b, uint32_t format, int32_t width, int32_t height, uint32_t channels,
          const std::vector<T>& samples) {
    const auto bytes = static_cast<uint32_t>(samples.size() * sizeof(T));
    ASSERT_TRUE(GlobalBufferFit(&b->buffer, bytes));
    std::memcpy(b->buffer.data, samples.data(), bytes);
    b->pixels = b->buffer.data;
    b->format = format;
    b->width = width;
    b->height = height;
    b->channels = channels;
    b->dirty = 1;
}

const uint8_t* Bytes(const DisplayBitmap& b) { return static_cast<const uint8_t*>(b.pixels); }

// ---- Statistics -------------------------------------------------------------------------------

template <class T>
void CheckStatistics(uint32_t type, const char* numpyType, std::vector<T> values) {
    TempFolder folder;
    const std::string file = folder.File("v.raw");
    WriteRaw(file, values);
    double mean = 0, sigma = 0;
    ASSERT_TRUE(SampleStatistics(type, values.data(), values.size(), &mean, &sigma)) << numpyType;
    double refMean = 0, refSigma = 0;
    ASSERT_EQ(std::sscanf(RenderReference(std::string("stats ") + numpyType + " '" + file + "'").c_str(), "%lf %lf",
                          &refMean, &refSigma),
              2)
        << numpyType;
    EXPECT_NEAR(mean, refMean, 1e-6 * std::fabs(refMean)) << numpyType;
    EXPECT_NEAR(sigma, refSigma, 1e-6 * std::fabs(refSigma)) << numpyType;
}

template <class T, class Dist>
std::vector<T> Random(size_t n, Dist dist, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<T> v(n);
    for (T& x : v) x = static_cast<T>(dist(rng));
    return v;
}

TEST(DisplayRenderStatistics, EveryElementTypeAgreesWithNumpy) {
    const size_t n = 100003;
    CheckStatistics(0x102, "u2", Random<uint16_t>(n, std::uniform_int_distribution<int>(0, 65535), 1));
    CheckStatistics(0x02, "i2", Random<int16_t>(n, std::uniform_int_distribution<int>(-32768, 32767), 2));
    CheckStatistics(0x10, "f4", Random<float>(n, std::normal_distribution<double>(1e4, 3.0), 3));
    CheckStatistics(0x101, "u1", Random<uint8_t>(n, std::uniform_int_distribution<int>(0, 255), 4));
    CheckStatistics(0x01, "i1", Random<int8_t>(n, std::uniform_int_distribution<int>(-128, 127), 5));
    CheckStatistics(0x108, "u4", Random<uint32_t>(n, std::uniform_int_distribution<uint32_t>(4000000000u, 4000100000u), 6));
    CheckStatistics(0x08, "i4", Random<int32_t>(n, std::uniform_int_distribution<int32_t>(INT32_MIN, INT32_MAX), 7));
    CheckStatistics(0x120, "u8", Random<uint64_t>(n, std::uniform_int_distribution<uint64_t>(0, UINT64_MAX), 8));
    CheckStatistics(0x20, "i8", Random<int64_t>(n, std::uniform_int_distribution<int64_t>(-1000000, 1000000), 9));
    // A large mean with a small spread keeps its σ; values whose squares overflow too.
    CheckStatistics(0x40, "f8", Random<double>(n, std::normal_distribution<double>(1e9, 0.25), 10));
    CheckStatistics(0x40, "f8", Random<double>(n, std::uniform_real_distribution<double>(-1e155, 3e155), 11));
}

TEST(DisplayRenderStatistics, SingleValuesAndNoValues) {
    double mean = -1, sigma = -1;
    const double one = 12.5;
    ASSERT_TRUE(SampleStatistics(0x40, &one, 1, &mean, &sigma));
    EXPECT_EQ(mean, 12.5);
    EXPECT_EQ(sigma, 0.0);
    const double denormal = 1e-310;
    ASSERT_TRUE(SampleStatistics(0x40, &denormal, 1, &mean, &sigma));
    EXPECT_EQ(mean, 0.0);
    const uint16_t same[4] = {7, 7, 7, 7};
    ASSERT_TRUE(SampleStatistics(0x102, same, 4, &mean, &sigma));
    EXPECT_EQ(mean, 7.0);
    EXPECT_EQ(sigma, 0.0);
    EXPECT_FALSE(SampleStatistics(0x40, &one, 0, &mean, &sigma));
    EXPECT_FALSE(SampleStatistics(0x04, same, 4, &mean, &sigma));
}

// ---- Range, bytes and channels ----------------------------------------------------------------------

TEST(DisplayRender, ConstantDataGetTheWidthOneAndScale255) {
    DisplayBitmap b;
    Fill(&b, 0x102 | kBitmapImage, 4, 3, 1, std::vector<uint16_t>(12, 1000));
    int resets = 0;
    b.resetView = 1;
    b.viewContext = &resets;
    b.resetViewTransform = [](void* c) { ++*static_cast<int*>(c); };
    ASSERT_TRUE(RenderFrameToBitmap(&b, nullptr, false));
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(b.resetView, 0);
    // low = high = 1000: high becomes 1001, the scale 255 and the offset puts 1001 at 255.
    EXPECT_EQ(b.displayScale, 255.0);
    EXPECT_DOUBLE_EQ(b.inverseScale, 1.0 / 255.0);
    EXPECT_EQ(b.displayOffset, 255.0 - 255.0 * 1001.0);
    EXPECT_TRUE(b.ready);
    EXPECT_FALSE(b.dirty);
    EXPECT_EQ(b.format, 0x400101u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(Bytes(b)[i], 0);
    // Not dirty: nothing to render.
    EXPECT_FALSE(RenderFrameToBitmap(&b, nullptr, false));
}

TEST(DisplayRender, TheRangeIsMeanMinusTwoAndAHalfSigmaToMeanPlusTwoSigma) {
    // Samples of mean 100 and σ 10 (sample standard deviation).
    std::vector<double> v;
    for (int i = 0; i < 50; ++i) {
        v.push_back(100.0 - 10.0 * std::sqrt(99.0 / 100.0));
        v.push_back(100.0 + 10.0 * std::sqrt(99.0 / 100.0));
    }
    DisplayBitmap b;
    Fill(&b, 0x40, 100, 1, 1, v);
    ASSERT_TRUE(RenderFrameToBitmap(&b, nullptr, false));
    const double low = 75.0, high = 120.0, g = 255.0 / (high - low);
    EXPECT_NEAR(b.displayScale, g, 1e-12);
    EXPECT_NEAR(b.displayOffset, 255.0 - g * high, 1e-9);
    EXPECT_EQ(Bytes(b)[0], ScaleSampleToByte(v[0], b.displayScale, b.displayOffset));
    EXPECT_EQ(Bytes(b)[1], ScaleSampleToByte(v[1], b.displayScale, b.displayOffset));

    // Statistics the window knows take the place of the kernel's.
    DisplayBitmap known;
    Fill(&known, 0x40, 100, 1, 1, v);
    known.statisticsCount = 100;
    known.minimum = 0;
    known.maximum = 1;
    known.mean = 200;
    known.sigma = 20;
    ASSERT_TRUE(RenderFrameToBitmap(&known, nullptr, false));
    EXPECT_NEAR(known.displayOffset, 255.0 - 255.0 / 90.0 * 240.0, 1e-9);

    // Byte-swapped 16-bit samples are turned round first.
    DisplayBitmap swapped;
    Fill(&swapped, 0x182, 2, 1, 1, std::vector<uint16_t>{0x0100, 0x0300});  // 1 and 3
    ASSERT_TRUE(RenderFrameToBitmap(&swapped, nullptr, false));
    EXPECT_EQ(swapped.format, 0x101u);
    double mean = 2, sigma = std::sqrt(2.0);
    const double high2 = mean + 2 * sigma, low2 = mean - 2.5 * sigma, g2 = 255.0 / (high2 - low2);
    EXPECT_NEAR(swapped.displayScale, g2, 1e-12);
}

TEST(DisplayRender, ChannelsBecomeOneOrThree) {
    std::vector<uint8_t> four, two;
    for (int i = 0; i < 24; ++i) four.push_back(static_cast<uint8_t>(i * 10));
    for (int i = 0; i < 12; ++i) two.push_back(static_cast<uint8_t>(i * 20 + (i % 2)));

    DisplayBitmap b4;
    Fill(&b4, 0x101, 3, 2, 4, four);
    ASSERT_TRUE(RenderFrameToBitmap(&b4, nullptr, false));
    EXPECT_EQ(b4.channels, 3u);
    EXPECT_EQ(b4.pixelBytes, 3u);
    EXPECT_EQ(b4.rowBytes, 9u);
    for (int p = 0; p < 6; ++p)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(Bytes(b4)[p * 3 + c], ScaleSampleToByte(four[p * 4 + c], b4.displayScale, b4.displayOffset));

    DisplayBitmap b2;
    Fill(&b2, 0x101, 3, 2, 2, two);
    ASSERT_TRUE(RenderFrameToBitmap(&b2, nullptr, false));
    EXPECT_EQ(b2.channels, 1u);
    for (int p = 0; p < 6; ++p) {
        const int a = ScaleSampleToByte(two[2 * p], b2.displayScale, b2.displayOffset);
        const int c = ScaleSampleToByte(two[2 * p + 1], b2.displayScale, b2.displayOffset);
        EXPECT_EQ(Bytes(b2)[p], (a + c) >> 1);
    }
}

TEST(DisplayRender, SizeRules) {
    auto render = [](int32_t w, int32_t h, RenderTarget t, bool fit, DisplayBitmap* b) {
        Fill(b, 0x101, w, h, 1, std::vector<uint8_t>(static_cast<size_t>(w) * h, 9));
        return RenderFrameToBitmap(b, &t, fit);
    };
    {
        // Fitting a 4050 × 200 image into 2025 × 100 gives a width of 2025: too wide.
        DisplayBitmap b;
        EXPECT_FALSE(render(4050, 200, {2025, 100}, true, &b));
        EXPECT_EQ(b.pixels, nullptr);
        EXPECT_EQ(b.buffer.block, nullptr);
    }
    {
        DisplayBitmap b;
        ASSERT_TRUE(render(4048, 2, {2024, 1}, true, &b));
        EXPECT_EQ(std::make_pair(b.width, b.height), std::make_pair(2024, 1));
        EXPECT_DOUBLE_EQ(b.xScale, 2.0);  // the matched side is the height
    }
    {
        // Covering without enlarging: a taller image narrower than the target keeps its size.
        DisplayBitmap b;
        ASSERT_TRUE(render(10, 40, {20, 20}, false, &b));
        EXPECT_EQ(std::make_pair(b.width, b.height), std::make_pair(10, 40));
        // A wider one lower than the target as well.
        DisplayBitmap c;
        ASSERT_TRUE(render(40, 10, {20, 20}, false, &c));
        EXPECT_EQ(std::make_pair(c.width, c.height), std::make_pair(40, 10));
        // A larger taller one takes the target's width, the height in proportion.
        DisplayBitmap d;
        ASSERT_TRUE(render(100, 301, {50, 50}, false, &d));
        EXPECT_EQ(std::make_pair(d.width, d.height), std::make_pair(50, 150));  // 150.5 to even
        EXPECT_DOUBLE_EQ(d.xScale, 2.0);
        // Fitting: the taller one takes the target's height.
        DisplayBitmap e;
        ASSERT_TRUE(render(100, 301, {50, 50}, true, &e));
        EXPECT_EQ(std::make_pair(e.width, e.height), std::make_pair(17, 50));
    }
}

// ---- Bilinear resizes ------------------------------------------------------------------------------------

std::vector<uint8_t> Image(size_t bytes, uint64_t seed) {
    return Random<uint8_t>(bytes, std::uniform_int_distribution<int>(0, 255), seed);
}

std::vector<uint8_t> Resized(const std::vector<uint8_t>& source, uint32_t channels, int32_t w, int32_t h,
                             int32_t tw, int32_t th) {
    GlobalBuffer block;
    const ResampleEntry* entries = ResampleCoefficients(&block, w, h, tw, th);
    std::vector<uint8_t> out(static_cast<size_t>(tw) * th * (channels > 3 ? 3 : channels), 77);
    BilinearResize(source.data(), channels, w, h, out.data(), channels > 3 ? 3 : channels, tw, th, entries);
    return out;
}

TEST(DisplayRenderResize, EnlargementAgreesWithPillowEdgesIncluded) {
    TempFolder folder;
    struct Case {
        const char* mode;
        uint32_t channels;
        int32_t w, h, tw, th;
    };
    for (const Case& c : {Case{"L", 1, 37, 23, 74, 46}, Case{"L", 1, 10, 7, 33, 29}, Case{"RGB", 3, 17, 12, 51, 25}}) {
        const std::vector<uint8_t> source = Image(static_cast<size_t>(c.w) * c.h * c.channels, c.w);
        const std::string in = folder.File("in.raw"), out = folder.File("out.raw");
        WriteRaw(in, source);
        ASSERT_EQ(RenderReference("pil " + std::string(c.mode) + " " + std::to_string(c.w) + " " + std::to_string(c.h) + " " +
                            std::to_string(c.tw) + " " + std::to_string(c.th) + " '" + in + "' '" + out + "'"),
                  "");
        const std::vector<uint8_t> expected = ReadBytes(out);
        const std::vector<uint8_t> ours = Resized(source, c.channels, c.w, c.h, c.tw, c.th);
        ASSERT_EQ(ours.size(), expected.size());
        int worst = 0;
        for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(ours[i] - expected[i]));
        EXPECT_LE(worst, 1) << c.mode << " " << c.w << "x" << c.h;
    }
}

TEST(DisplayRenderResize, ReductionFollowsTheCoefficientRule) {
    TempFolder folder;
    struct Case {
        uint32_t channels;
        int32_t w, h, tw, th;
    };
    for (const Case& c : {Case{1, 103, 61, 25, 17}, Case{3, 64, 48, 17, 13}, Case{1, 41, 9, 41, 4}}) {
        const std::vector<uint8_t> source = Image(static_cast<size_t>(c.w) * c.h * c.channels, c.h);
        const std::string in = folder.File("in.raw"), out = folder.File("out.raw");
        WriteRaw(in, source);
        ASSERT_EQ(RenderReference("bilinear " + std::to_string(c.channels) + " " + std::to_string(c.w) + " " +
                            std::to_string(c.h) + " " + std::to_string(c.tw) + " " + std::to_string(c.th) + " '" + in +
                            "' '" + out + "'"),
                  "");
        EXPECT_EQ(Resized(source, c.channels, c.w, c.h, c.tw, c.th), ReadBytes(out)) << c.w << "x" << c.h;
    }
}

TEST(DisplayRenderResize, AxesAndMirrors) {
    ResampleEntry e[4];
    // 2 into 4: -0.25 (the first sample), 0.25, 0.75, 1.25 (the last, fraction 0).
    ResampleAxis(e, 2, 4);
    EXPECT_EQ(std::make_tuple(e[0].index, e[0].fraction), std::make_tuple(0, 0.0f));
    EXPECT_EQ(std::make_tuple(e[1].index, e[1].fraction), std::make_tuple(0, 0.25f));
    EXPECT_EQ(std::make_tuple(e[2].index, e[2].fraction), std::make_tuple(0, 0.75f));
    EXPECT_EQ(std::make_tuple(e[3].index, e[3].fraction), std::make_tuple(1, 0.0f));
    // Mirrored: the same positions from the far end.
    ResampleAxis(e, 4, -4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(std::make_tuple(e[k].index, e[k].fraction), std::make_tuple(3 - k, 0.0f));
    // A mirrored row of 4 pixels reads backwards.
    const std::vector<uint8_t> row = {10, 20, 30, 40};
    GlobalBuffer block;
    const ResampleEntry* entries = ResampleCoefficients(&block, 4, 1, -4, 1);
    uint8_t out[4];
    BilinearResize(row.data(), 1, 4, 1, out, 1, 4, 1, entries);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{40, 30, 20, 10}));
}

TEST(DisplayRenderResize, ARefusedCoefficientBlockIsLogged) {
    const std::vector<uint8_t> gray = Image(30 * 20, 1), rgb = Image(30 * 20 * 3, 2);
    const std::vector<uint8_t> expected = Resized(gray, 1, 30, 20, 45, 13);
    std::vector<uint8_t> direct(45 * 13), colour(45 * 13 * 3, 5);
    const std::string log = CapturedLog([&] {
        GlobalBuffer block;
        GlobalBufferRefuseBlocksForTest(1);
        EXPECT_EQ(ResampleCoefficients(&block, 30, 20, 45, 13), nullptr);
        GlobalBufferRefuseBlocksForTest(0);
        // The gray resize finds the same positions itself; the others give nothing.
        BilinearResize(gray.data(), 1, 30, 20, direct.data(), 1, 45, 13, nullptr);
        BilinearResize(rgb.data(), 3, 30, 20, colour.data(), 3, 45, 13, nullptr);
    });
    EXPECT_NE(log.find("Can`t alloc memory for coeff"), std::string::npos) << log;
    EXPECT_EQ(direct, expected);
    EXPECT_EQ(colour, std::vector<uint8_t>(colour.size(), 0));
}

TEST(DisplayRenderResize, RenderedImagesAreResizedAndSteadyFramesReuseTheirBlocks) {
    const std::vector<uint8_t> rgb = Image(64 * 32 * 4, 3);
    DisplayBitmap b;
    const RenderTarget target{16, 16};
    Fill(&b, 0x101, 64, 32, 4, rgb);
    ASSERT_TRUE(RenderFrameToBitmap(&b, &target, true));
    EXPECT_EQ(std::make_tuple(b.width, b.height, b.channels), std::make_tuple(16, 8, 3u));
    // The same as the bytes of the first three channels resized.
    std::vector<uint8_t> bytes(64 * 32 * 4);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = ScaleSampleToByte(rgb[i], b.displayScale, b.displayOffset);
    EXPECT_EQ(std::vector<uint8_t>(Bytes(b), Bytes(b) + 16 * 8 * 3), Resized(bytes, 4, 64, 32, 16, 8));

    // Once the window's block and the spare one both hold a frame, a frame of the
    // same size takes no block but the coefficients'.
    Fill(&b, 0x101, 64, 32, 4, rgb);
    ASSERT_TRUE(RenderFrameToBitmap(&b, &target, true));
    const uint64_t before = GlobalBufferBlocksTaken();
    Fill(&b, 0x101, 64, 32, 4, rgb);
    ASSERT_TRUE(RenderFrameToBitmap(&b, &target, true));
    EXPECT_EQ(GlobalBufferBlocksTaken() - before, 1u);
}

// ---- Strips and previews ------------------------------------------------------------------------------------

TEST(DisplayRenderStrip, AStripIsDrawnAsACurveOverItsExtremes) {
    // 8 samples 0 … 70 into 16 × 8: levels 8, the extremes 0 and 70.
    std::vector<double> v;
    for (int i = 0; i < 8; ++i) v.push_back(i * 10.0);
    DisplayBitmap b;
    Fill(&b, 0x40 | kBitmapStrip, 8, 1, 1, v);
    const RenderTarget target{16, 8};
    ASSERT_TRUE(RenderFrameToBitmap(&b, &target, false));
    EXPECT_NEAR(b.displayScale, 8.0 / 70.0, 1e-15);
    EXPECT_EQ(std::make_tuple(b.width, b.height, b.channels), std::make_tuple(16, 8, 1u));
    EXPECT_DOUBLE_EQ(b.xScale, 0.5);
    // The curve of the bytes PlotCurve8 draws.
    std::vector<uint8_t> bytes(8), expected(16 * 8, 0);
    for (int i = 0; i < 8; ++i) bytes[i] = ScaleSampleToByte(v[i], b.displayScale, b.displayOffset);
    const BitmapSize size{16, 8};
    PlotCurve8(bytes.data(), expected.data(), &size, 8);
    EXPECT_EQ(std::vector<uint8_t>(Bytes(b), Bytes(b) + 128), expected);

    // A strip needs a target of at most 65535 × 2024.
    DisplayBitmap c;
    Fill(&c, 0x40 | kBitmapStrip, 8, 1, 1, v);
    EXPECT_FALSE(RenderFrameToBitmap(&c, nullptr, false));
    c.dirty = 1;
    const RenderTarget tall{16, 2025};
    EXPECT_FALSE(RenderFrameToBitmap(&c, &tall, false));
}

TEST(DisplayRenderStrip, PreviewsOfSeveralChannelsUseTheColours) {
    const std::vector<double> planar = {0, 1, 2, 3, 3, 2, 1, 0};  // two channels of four, one after the other
    PreviewRow row;
    row.pixels = planar.data();
    row.channels = 2;
    row.width = 4;
    row.format = 0x40 | kBitmapPlanar;
    const uint32_t colours[2] = {0x0000FF, 0x00FF00};
    DisplayBitmap p;
    ASSERT_TRUE(RenderPreview(&p, row, PreviewColours{colours, 2}, PreviewRange{0, 3}, RenderTarget{8, 6}));
    EXPECT_EQ(std::make_tuple(p.width, p.height, p.channels, p.format), std::make_tuple(8, 6, 3u, 0x10101u));
    EXPECT_DOUBLE_EQ(p.displayScale, 2.0);  // 6 levels over 0 … 3
    EXPECT_DOUBLE_EQ(p.xScale, 0.5);
    std::vector<uint8_t> bytes(8), expected(8 * 6 * 3, 0);
    for (int i = 0; i < 8; ++i) bytes[i] = ScaleSampleToByte(planar[i], 2.0, 0.0);
    const BitmapSize size{8, 6};
    PlotChannelsPlanarColours(bytes.data(), expected.data(), 2, &size, 4, colours, 2);
    EXPECT_EQ(std::vector<uint8_t>(Bytes(p), Bytes(p) + expected.size()), expected);

    // Interleaved channels, and an empty range: the levels per unit from the low end.
    row.format = 0x40;
    DisplayBitmap q;
    ASSERT_TRUE(RenderPreview(&q, row, PreviewColours{colours, 2}, PreviewRange{1, 1}, RenderTarget{8, 6}));
    EXPECT_EQ(std::make_tuple(q.displayScale, q.displayOffset), std::make_tuple(6.0, -6.0));
    std::fill(expected.begin(), expected.end(), 0);
    for (int i = 0; i < 8; ++i) bytes[i] = ScaleSampleToByte(planar[i], 6.0, -6.0);
    PlotChannelsInterleavedColours(bytes.data(), expected.data(), 2, &size, 4, colours, 2);
    EXPECT_EQ(std::vector<uint8_t>(Bytes(q), Bytes(q) + expected.size()), expected);
    EXPECT_FALSE(RenderPreview(&q, row, PreviewColours{colours, 2}, PreviewRange{0, 1}, RenderTarget{65536, 6}));
}

}  // namespace
}  // namespace orva
