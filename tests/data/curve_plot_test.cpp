#include "data/curve_plot.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "data/kernel_test_support.h"

namespace orva {
namespace {

using testing_data::kInf;
using Bytes = std::vector<uint8_t>;

std::vector<std::pair<int, int>> SetPixels(const std::vector<uint8_t>& bmp, int w) {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < bmp.size(); ++i) {
        if (bmp[i] != 0) out.emplace_back(static_cast<int>(i % w), static_cast<int>(i / w));
    }
    return out;
}

TEST(CurvePlot, BresenhamLines) {
    const int w = 8, h = 6;
    std::vector<uint8_t> bmp(w * h, 0);
    DrawLine8(bmp.data(), 0, 0, 4, 2, w);
    auto px = SetPixels(bmp, w);
    ASSERT_EQ(px.size(), 5u);  // one pixel per column, both ends included
    for (auto [x, y] : px) EXPECT_LE(std::fabs(y - x / 2.0), 0.5);
    EXPECT_EQ(bmp[0], 255);
    EXPECT_EQ(bmp[2 * w + 4], 255);

    // Steep lines, drawn backwards: one pixel per row.
    std::fill(bmp.begin(), bmp.end(), 0);
    DrawLine8(bmp.data(), 3, 5, 1, 0, w);
    px = SetPixels(bmp, w);
    ASSERT_EQ(px.size(), 6u);
    for (int y = 0; y < h; ++y) {
        int inRow = 0;
        for (auto [x, yy] : px) inRow += yy == y;
        EXPECT_EQ(inRow, 1);
    }
    EXPECT_EQ(bmp[5 * w + 3], 255);
    EXPECT_EQ(bmp[0 * w + 1], 255);

    // A single point, and a diagonal in colour.
    std::fill(bmp.begin(), bmp.end(), 0);
    DrawLine8(bmp.data(), 2, 2, 2, 2, w);
    EXPECT_EQ(SetPixels(bmp, w).size(), 1u);
    std::vector<uint8_t> rgb(w * h * 3, 0);
    DrawLineRgb(rgb.data(), 0, 0, 3, 3, 0x123456, w);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(std::memcmp(&rgb[(i * w + i) * 3], "\x56\x34\x12", 3), 0) << i;
    EXPECT_EQ(rgb[(1 * w + 0) * 3], 0);
}

TEST(CurvePlot, CurvesSpreadOverTheWidth) {
    const int w = 512, h = 300;
    std::vector<uint8_t> values(256);
    for (int i = 0; i < 256; ++i) values[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> bmp(w * h, 0);
    const BitmapSize size{w, h};
    const PlotPoint last = PlotCurve8(values.data(), bmp.data(), &size, 256);
    EXPECT_EQ(last.x, 510);  // two columns per value
    EXPECT_EQ(last.y, h - 1 - 255);
    EXPECT_EQ(bmp[(h - 1) * w + 0], 255);          // value 0 at column 0, bottom row
    EXPECT_EQ(bmp[(h - 1 - 100) * w + 200], 255);  // value 100 at column 200
    EXPECT_EQ(bmp[(h - 1 - 255) * w + 511], 0);    // nothing beyond the last point

    // In a bitmap 100 rows high, 200 lands in row 0.
    const BitmapSize small{4, 100};
    std::vector<uint8_t> s(4 * 100, 0);
    const uint8_t flat[2] = {200, 200};
    const PlotPoint p = PlotCurve8(flat, s.data(), &small, 2);
    EXPECT_EQ(p.x, 2);
    EXPECT_EQ(p.y, 0);
    EXPECT_EQ(Bytes(s.begin(), s.begin() + 4), (Bytes{255, 255, 255, 0}));

    // Nothing is drawn into an empty bitmap or from no values.
    const BitmapSize empty{0, 10};
    EXPECT_EQ(PlotCurve8(flat, s.data(), &empty, 2).x, 0);
    const BitmapSize flatMap{4, 0};
    EXPECT_EQ(PlotCurve8(flat, s.data(), &flatMap, 2).y, 0);
    std::vector<uint8_t> untouched(4 * 100, 0);
    PlotCurve8(flat, untouched.data(), &small, 0);
    EXPECT_EQ(SetPixels(untouched, 4).size(), 0u);
}

TEST(CurvePlot, ChannelsInColour) {
    const int w = 6, h = 20;
    const BitmapSize size{w, h};
    // Three interleaved channels, each flat at its own value.
    const uint8_t inter[9] = {1, 5, 9, 1, 5, 9, 1, 5, 9};
    std::vector<uint8_t> rgb(w * h * 3, 0);
    const PlotPoint last = PlotChannelsInterleaved(inter, rgb.data(), 3, &size, 3);
    EXPECT_EQ(last.x, 4);
    EXPECT_EQ(last.y, h - 1 - 9);
    auto at = [&](int x, int y) { return &rgb[(y * w + x) * 3]; };
    EXPECT_EQ(std::memcmp(at(2, h - 1 - 1), "\xFF\x00\x00", 3), 0);  // 0x0000FF
    EXPECT_EQ(std::memcmp(at(2, h - 1 - 5), "\x00\xFF\x00", 3), 0);  // 0x00FF00
    EXPECT_EQ(std::memcmp(at(2, h - 1 - 9), "\x00\x00\xFF", 3), 0);  // 0xFF0000

    std::fill(rgb.begin(), rgb.end(), 0);
    const uint8_t planar[6] = {2, 2, 2, 7, 7, 7};
    const uint32_t colours[1] = {0xABCDEF};
    PlotChannelsPlanarColours(planar, rgb.data(), 2, &size, 3, colours, 1);
    EXPECT_EQ(std::memcmp(at(0, h - 1 - 2), "\xEF\xCD\xAB", 3), 0);
    EXPECT_EQ(std::memcmp(at(4, h - 1 - 7), "\xEF\xCD\xAB", 3), 0);
    std::fill(rgb.begin(), rgb.end(), 0);
    PlotChannelsPlanar(planar, rgb.data(), 2, &size, 3);
    EXPECT_EQ(std::memcmp(at(3, h - 1 - 7), "\x00\xFF\x00", 3), 0);

    std::fill(rgb.begin(), rgb.end(), 0);
    const uint8_t strided[6] = {3, 0, 0, 3, 0, 0};
    PlotCurveRgbStrided(strided, rgb.data(), 3, &size, 2, 0x0000FF);
    EXPECT_EQ(std::memcmp(at(1, h - 1 - 3), "\xFF\x00\x00", 3), 0);
    EXPECT_EQ(at(0, h - 1)[0], 0);

    const uint32_t* tables[5];
    uint32_t count = 0;
    GetCurveColourTables(tables, &count);
    EXPECT_EQ(count, 19u);
    EXPECT_EQ(tables[0][0], 0x0000FFu);
    EXPECT_EQ(tables[0][18], 0xFF50AAu);
    EXPECT_EQ(tables[1][10], 0xFFB4FFu);
    EXPECT_EQ(tables[3][13], 0x6EB464u);
    EXPECT_EQ(tables[4][18], 0x781450u);
}

TEST(ScaleToBytes, RoundingAndBounds) {
    const double nan = std::nan("");
    const struct {
        double x, scale, zero;
        int want;
    } cases[] = {
        {254.4, 1, 0, 254}, {254.5, 1, 0, 255}, {0.49, 1, 0, 0},     {0.5, 1, 0, 1},
        {1.5, 1, 0, 2},     {2.5, 1, 0, 3},     {2.4999999999999996, 1, 0, 2},
        {nan, 1, 0, 255},   {-nan, 1, 0, 0},    {kInf, 1, 0, 255},   {-kInf, 1, 0, 0},
        {1e300, 1e300, 0, 255}, {-1e300, 1e300, 0, 0}, {-7.0, 1, 0, 0}, {10.0, 0.5, 100.0, 105},
    };
    for (const auto& c : cases) EXPECT_EQ(ScaleSampleToByte(c.x, c.scale, c.zero), c.want) << c.x << " " << c.scale;
}

template <class T>
Bytes ToBytes(ElementType type, const std::vector<T>& in, double scale, double zero, bool unsetToZero = false) {
    Bytes out(in.size());
    ScaleToBytes(out.data(), type, in.data(), static_cast<int32_t>(in.size()), scale, zero, unsetToZero);
    return out;
}

TEST(ScaleToBytes, EveryElementType) {
    EXPECT_EQ(ToBytes<int16_t>(kTypeI16, {-5, 0, 10, 100, 300}, 0.5, 2.0), (Bytes{0, 2, 7, 52, 152}));
    EXPECT_EQ(ToBytes<uint16_t>(kTypeU16, {65535, 200}, 1.0, 0.0), (Bytes{255, 200}));
    // 2^64 × 2^-57 and 2^60 × 2^-57; -2^63 × -2^-57.
    EXPECT_EQ(ToBytes<uint64_t>(kTypeU64, {UINT64_MAX, 1ull << 60}, std::ldexp(1.0, -57), 0.0), (Bytes{128, 8}));
    EXPECT_EQ(ToBytes<int64_t>(kTypeI64, {INT64_MIN}, -std::ldexp(1.0, -57), 0.0), Bytes{64});
    EXPECT_EQ(ToBytes<uint32_t>(kTypeU32, {4000000000u}, 1e-7, 0.0), Bytes{255});
    EXPECT_EQ(ToBytes<uint32_t>(kTypeU32, {4000000000u}, 1e-8, 0.0), Bytes{40});
    EXPECT_EQ(ToBytes<int32_t>(kTypeI32, {-2147483647 - 1}, -1e-7, 0.0), Bytes{215});
    EXPECT_EQ(ToBytes<int8_t>(kTypeI8, {-128, 127}, 1.0, 128.0), (Bytes{0, 255}));
    EXPECT_EQ(ToBytes<uint8_t>(kTypeU8, {0, 255}, -1.0, 255.0), (Bytes{255, 0}));
    EXPECT_EQ(ToBytes<float>(kTypeF32, {12.25f, std::numeric_limits<float>::infinity()}, 2.0, 0.0), (Bytes{25, 255}));
    // The unset mark of 64-bit reals: 0 only when asked for.
    EXPECT_EQ(ToBytes<double>(kTypeF64, {-DBL_MAX, 3.0}, -1.0, 0.0), (Bytes{255, 0}));
    EXPECT_EQ(ToBytes<double>(kTypeF64, {-DBL_MAX, 3.0}, -1.0, 0.0, true), (Bytes{0, 0}));
    // A type without a known width, or no values, converts nothing.
    uint8_t out[2] = {7, 7};
    const int16_t i16[2] = {1, 2};
    ScaleToBytes(out, kElemInt24, i16, 2, 1.0, 0.0, false);
    ScaleToBytes(out, kTypeI16, i16, 0, 1.0, 0.0, false);
    EXPECT_EQ(out[0], 7);
}

// The first bytes of `values` after scaling them in place.
template <class T>
Bytes InPlace(ElementType type, std::vector<T> values, ByteScale scale) {
    ScaleToBytesInPlace(&scale, type, values.data(), static_cast<int32_t>(values.size()));
    const auto* b = reinterpret_cast<const uint8_t*>(values.data());
    return Bytes(b, b + values.size());
}

TEST(ScaleToBytes, InPlace) {
    EXPECT_EQ(InPlace<double>(kTypeF64, {1.0, 2.6, -DBL_MAX, 300.0, 77.0}, {1.0, 0.0}), (Bytes{1, 3, 0, 255, 77}));
    EXPECT_EQ(InPlace<int32_t>(kTypeI32, {10, 20, 30, 40}, {2.0, 1.0}), (Bytes{21, 41, 61, 81}));
    EXPECT_EQ(InPlace<uint16_t>(kTypeU16, {0x0101, 0x0202, 0x0303}, {1.0 / 257.0, 0.0}), (Bytes{1, 2, 3}));
}

TEST(ScaleToBytes, FloatingPointStatusIsLeftClean) {
    std::feclearexcept(FE_ALL_EXCEPT);
    const double big[2] = {1e300, std::nan("")};
    uint8_t out[2];
    ScaleToBytes(out, kTypeF64, big, 2, 1e300, 0.0, false);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(std::fetestexcept(FE_OVERFLOW | FE_INVALID | FE_UNDERFLOW), 0);
}

}  // namespace
}  // namespace orva
